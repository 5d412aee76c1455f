// Posted values: small typed values that engine modules post to the
// application's event processor when what they report carries text (a
// document node asking for a URL, an HTTP redirection that needs the
// user's consent).
//
// The sender describes the value on its own stack; posting deep-copies it
// and its texts into a kind-4 message that owns the copy, with copy and
// free handlers of its own, so the processor can duplicate or discard the
// message without knowing the value's kind. The sender keeps its value and
// its texts in every case.
#pragma once

#include <cstdint>

struct EventProc;
struct EventProcMsg;

// A value: a kind word and five payload words (pointer-sized here). By
// kind, the words that hold texts (NUL-terminated 8-bit strings, null
// allowed, owned by a copy):
//   kind 0: word 3;
//   kind 1: word 2 (word 1 a code: the node request uses 3 with a URL);
//   kind 2: words 1 and 2 (a redirection: the old URL, the new URL; word 3
//           set when the old URL is secure and the new one is not; words 4
//           and 5 the caller's);
//   kinds 3 to 6: word 2.
// Every other word is a plain value. A kind above 6 is copied as it is.
// Words are numbered 1 to 5: words[0] is word 1.
struct PostedValue {
    uint32_t kind;
    uintptr_t words[5];
};

enum : int32_t {
    PostedValue_msgKind = 4, // the event-processor kind of the messages
};

// *out = a heap copy of text (null for a null text). 0; 1 when memory runs
// out (*out null).
[[nodiscard]] int PostedValue_dupText(char **out, const char *text);

// Deep copy: dst takes src's words, then a heap copy of each of src's
// texts. 0; 1 when memory runs out: no copied text is left behind and the
// text words of dst are null.
[[nodiscard]] int PostedValue_copy(const PostedValue *src, PostedValue *dst);

// Frees the texts a copy owns (by its kind) and clears their words.
void PostedValue_freeTexts(PostedValue *value);

// The message handlers. msgCopy gives dst a new deep copy of src's payload
// (0; 1 when memory runs out: dst's payload stays null); asked with a null
// dst it only answers 0. msgFree frees the payload's texts and the payload,
// and clears the payload word.
[[nodiscard]] int PostedValue_msgCopy(const EventProcMsg *src, EventProcMsg *dst);
void PostedValue_msgFree(EventProcMsg *msg, void *handlerArg);

// Posts a kind-4 message carrying a deep copy of value. 0; 1 when memory
// runs out (nothing posted, nothing left allocated); otherwise the result
// of EventProc_post, which frees the message when it cannot queue it.
[[nodiscard]] int EventQ_postValueCopy(EventProc *processor, const PostedValue *value);
