// The document messages of the event processor: the payloads that hold
// document views, URLs and links (kinds 0, 1, 2, 6, 7, 9 and 11), their
// constructors, and each kind's release and copy operation.
//
// The event processor (core/task/eventproc.h) only queues and delivers
// messages; what a payload holds is released by the operation of its kind,
// which the constructors here put into each message: a view reference
// (Edr_Doc_releaseView), a document reference (Edr_Doc_release), an owned
// text, or for kind 6 a URL, a link reference and an object.
#pragma once

#include <cstdint>

#include "core/task/eventproc.h"
#include "document/edr/linkref.h"

struct Edr_Doc;
struct Url;
struct Obj;

// Kind 0, a document report: EventProc_postDoc.
struct EventProcDocMsg {
    int32_t code;
    intptr_t word;
    Edr_Doc *view;  // holds a view reference
    char16_t *text; // owned, freed with the message
};

// Kind 1, a code message: EventProc_postCode, EventProc_postPlainCode.
// The codes the engine itself tests:
enum : int32_t {
    DocMsg_codeTranslateStarted = 0,   // a translation job has begun
    DocMsg_codePageAdded = 1,          // argument: the new page's position
    DocMsg_codePageDropped = 2,        // a page left the page list
    DocMsg_codeDocClosed = 3,          // a document with views left was closed
    DocMsg_codeTranslateFinished = 13, // a translation job has ended
    DocMsg_codeStackExhausted = 35,    // layout stopped: too little stack left
    DocMsg_codeMimeTypeSet = 38,       // the document's MIME type was set
};
struct EventProcCodeMsg {
    int32_t code;
    Edr_Doc *document; // no reference of its own
    Edr_Doc *view;     // a view reference of document (null for plain codes)
    intptr_t argument;
};

// Kind 2: EventProc_postKind2. For types 3, 4 and 6 the subject is a
// document holding a view reference (focus set {3, document, node}, focus
// cleared {4, document}); otherwise it is a plain word.
struct EventProcKind2Msg {
    int32_t type;
    void *subject;
    void *object;    // the focused node of focus set
    void *detail[2]; // words of the sender's
};

// Kind 6, open a URL: EventProc_postKind6. The message owns the view
// reference, the URL, what the link reference holds and the object.
struct EventProcKind6Msg {
    Edr_Doc *view;
    Url *url;
    Link link;
    intptr_t words[2];
    Obj *object;
};

// Kind 7: EventProc_postKind7: a view reference and a document reference.
struct EventProcKind7Msg {
    Edr_Doc *view;
    Edr_Doc *document;
};

// Kind 9, a page update: EventProc_postKind9 {word, document, page key,
// page kind}; the document holds a view reference (null without one).
struct EventProcKind9Msg {
    intptr_t word;
    Edr_Doc *view;
    intptr_t pageKey;
    intptr_t pageKind;
};

// Kind 11: EventProc_postKind11: a view reference, an owned text, a word.
struct EventProcKind11Msg {
    Edr_Doc *view;
    char16_t *text;
    intptr_t word;
};

// ------------------------------------------------------------ constructors

// Each allocates the message and its payload, takes the references named at
// its payload record and posts it. Results as EventProc_post; on any
// failure what the call took over is released. The text of kinds 0 and 11,
// the view of kind 11 and everything of kind 6 are taken over by the call
// in every case.
[[nodiscard]] int EventProc_postDoc(Edr_Doc *document, EventProc *processor,
                                    const EventProcDocMsg *source);
[[nodiscard]] int EventProc_postCode(EventProc *processor, const EventProcCodeMsg *source);
[[nodiscard]] int EventProc_postPlainCode(EventProc *processor, const EventProcCodeMsg *source);
[[nodiscard]] int EventProc_postKind2(EventProc *processor,
                                      const EventProcKind2Msg *source); // a typed message
[[nodiscard]] int EventProc_postKind6(EventProc *processor,
                                      const EventProcKind6Msg *source); // open a URL
[[nodiscard]] int EventProc_postKind7(EventProc *processor,
                                      const EventProcKind7Msg *source); // a view and a document
[[nodiscard]] int EventProc_postKind9(Edr_Doc *document, EventProc *processor,
                                      const EventProcKind9Msg *source); // a page update
[[nodiscard]] int EventProc_postKind11(EventProc *processor,
                                       const EventProcKind11Msg *source); // a view and a text

// ------------------------------------------------ release and copy by kind

// The release operation of each kind releases exactly the references of
// its payload record and frees the payload (msg->payload becomes null);
// the copy operation makes a new payload with new references (views with
// Edr_Doc_addView, documents with Edr_Doc_addRef, texts duplicated): 0, or
// 1 when memory ran out. Kind 6 copies its URL and link (with their own
// references); one that carries an object is refused with 259, an object
// having a single owner.
void EventProc_releaseDoc(EventProcMsg *msg, void *handlerArg);
[[nodiscard]] int EventProc_copyDoc(const EventProcMsg *src, EventProcMsg *dst);
void EventProc_releaseCode(EventProcMsg *msg, void *handlerArg);
[[nodiscard]] int EventProc_copyCode(const EventProcMsg *src, EventProcMsg *dst);
// Kind 2, a typed five-word message (focus changes, the password question).
void EventProc_releaseTyped(EventProcMsg *msg, void *handlerArg);
[[nodiscard]] int EventProc_copyTyped(const EventProcMsg *src, EventProcMsg *dst);
// Kind 6, open a URL.
void EventProc_releaseOpenUrl(EventProcMsg *msg, void *handlerArg);
[[nodiscard]] int EventProc_copyOpenUrl(const EventProcMsg *src, EventProcMsg *dst);
// Kind 7, a view and a document.
void EventProc_releaseViewDoc(EventProcMsg *msg, void *handlerArg);
[[nodiscard]] int EventProc_copyViewDoc(const EventProcMsg *src, EventProcMsg *dst);
// Kind 9, a page update.
void EventProc_releasePageUpdate(EventProcMsg *msg, void *handlerArg);
[[nodiscard]] int EventProc_copyPageUpdate(const EventProcMsg *src, EventProcMsg *dst);
// Kind 11, a view, a text and a word.
void EventProc_releaseViewText(EventProcMsg *msg, void *handlerArg);
[[nodiscard]] int EventProc_copyViewText(const EventProcMsg *src, EventProcMsg *dst);
