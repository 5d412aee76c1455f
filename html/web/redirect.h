// Redirections of a page after a delay, the policy that decides whether
// the user is asked before one is followed, and blocking questions that
// engine tasks put to the host.
//
// A question is posted to the engine's event processor as a kind-3
// message whose payload is a HostQuestionRecord: word 1 (words[0]) points
// at the int32_t where the answer is written, word 2 is the waiter; kind 4
// also gets word 5 pointing at a char * slot for a text answer (a heap
// string the host leaves there). The message may be copied; the asker
// waits until every copy has been released.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct EventProc;
struct HostQuestionRecord;
struct Url;

enum : int32_t {
    UserQuestion_messageKind = 3,
    UserQuestion_cookie = 0,
    UserQuestion_twoUrls = 1,
    UserQuestion_redirect = 2,
    UserQuestion_openUrl = 3,
    UserQuestion_text = 4,
    UserQuestion_message = 5,
};

// Asks the question and waits for the answer. The caller sets the kind,
// the default answer in *reinterpret_cast<int32_t *>(words[0]) and the
// kind's words; texts stay the caller's (they are duplicated). 0 with the
// answer written through word 1 (kind 4: a new copy of the text answer, or
// null, in *reinterpret_cast<char **>(words[4])); 1 when memory runs out;
// 48 when the asking task is asked to stop; an error of the post.
int UserQuestion_ask(EventProc *processor, const HostQuestionRecord *request);

// 1 when a redirection from one URL to another may be followed: the
// setting "Vexlan_httpRedirectionPolicy" (0 never ask, 1 always ask, 2 the
// default: ask when leaving https for another scheme) and force decide
// whether the user is asked first; flags are passed on in the question
// and the notice. 0 when refused or when asking fails.
int Redirect_isAllowed(EngineContext *context, const Url *from, const Url *to, int32_t flags,
                       int force);

// Cancels the document's pending redirection: its timer, its job (waited
// for) and its target. Nothing happens without one.
void Redirect_cancel(Edr_Doc *doc);
