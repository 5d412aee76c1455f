// The request and error handler list.
//
// The application keeps one ordered list of handlers through which the
// requests and error reports that the engine sends to the host are also
// offered to engine-side parties (the current document, the history list,
// whoever registered). Each handler is entered once per kind; a dispatch
// walks the list from the head and stops at the first handler that answers
// non-zero.
#pragma once

#include <cstdint>

// A handler: the three words of the request or error (in the order the
// dispatcher received them) and the handler's user data. Non-zero means
// handled: later handlers do not see it.
typedef int32_t (*HandlerFn)(intptr_t first, intptr_t second, intptr_t third, void *userData);

enum : int32_t {
    Handlers_kindRequest = 0,
    Handlers_kindError = 1,
};

// Insertion positions: at the head, at the tail, before or after the entry
// of a reference handler of the same kind.
enum : int {
    Handlers_atHead = 0,
    Handlers_atTail = 1,
    Handlers_before = 2,
    Handlers_after = 3,
};

struct HandlerEntry {
    int32_t kind;
    void *userData;
    HandlerFn handler;
    HandlerEntry *next;
};

struct HandlerList {
    HandlerEntry *head;
};

// An empty list, the caller's until Handlers_destroy. 0 with *list set;
// Res_handlersNoList when it cannot be made (no memory or no out
// pointer).
[[nodiscard]] int Handlers_create(HandlerList **list);

// Frees every entry and the list. Null is ignored.
void Handlers_destroy(HandlerList *list);

// Adds a request handler at position (reference names the handler that
// positions 2 and 3 refer to; it must be registered as a request handler). A
// function already registered as a request handler is left as it is (its user
// data is not updated) and the answer is 0. 0; Res_handlersNullList for a null
// list; 25601 when the position cannot be used (a missing reference, an unknown
// position, a null function); 1 without memory.
int Handlers_addRequest(HandlerList *list, HandlerFn handler, HandlerFn reference, int position,
                        void *userData);

// The same for error handlers.
[[nodiscard]] int Handlers_addError(HandlerList *list, HandlerFn handler, HandlerFn reference,
                                    int position, void *userData);

// Removes the request handler with that function; error handlers stay.
void Handlers_remove(HandlerList *list, HandlerFn handler);

// Offers three words to the request (error) handlers in list order until
// one answers non-zero. A null list does nothing.
void Handlers_dispatchRequest(HandlerList *list, intptr_t first, intptr_t second, intptr_t third);
void Handlers_dispatchError(HandlerList *list, intptr_t first, intptr_t second, intptr_t third);
