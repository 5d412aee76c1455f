// The event processor: typed messages from senders to listeners, without
// making the sender wait.
//
// A sender posts a message (EventProcMsg) of kind 0 to 11; the processor
// queues it and a worker-pool job, "emptyEventProcessor", later hands every
// queued message, in order, to the listeners registered for its kind. When
// no listener takes a kind, the handler in that kind's slot gets the
// message. A message that would only repeat one still queued can be dropped
// at posting time through its merge function. In inline mode there is no
// delivery job: messages wait until somebody drains the processor.
//
// The engine context holds one processor and each document one of its own;
// a processor also carries a timer list (core/task/timerq.h).
//
// The queue lock guards the queue and the stop flag, the list lock the
// listener list; each listener and slot has its own lock, held while its
// callback runs, so a listener is never called twice at once and removing
// it waits for a running call. Callbacks run without the queue and list
// locks: they may post messages and add or remove listeners. Every call
// that takes a lock is for engine tasks only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"
#include "core/task/timerq.h"
#include "html/link.h"

struct EngineContext;
struct Edr_Doc;
struct Url;
struct Obj;
struct EventProcMsg;
struct Task;

// Releases what the message's payload holds; the message record itself is
// freed by the caller (EventProc_freeMsg).
typedef void (*EventProcFreeFn)(EventProcMsg *msg, void *handlerArg);
// Fills dst's payload with a copy of src's, taking new references. dst null:
// only asks whether src may be posted (kind 8). 0, or an error.
typedef int (*EventProcCopyFn)(const EventProcMsg *src, EventProcMsg *dst);
// Non-zero when the new message only repeats the queued one.
typedef int (*EventProcMergeFn)(const EventProcMsg *fresh, const EventProcMsg *queued);
// A listener or kind handler. The message is lent for the call. Setting
// *remove removes the listener (or empties the slot) after this call.
typedef void (*EventProcListenerFn)(EngineContext *context, EventProcMsg *msg, void *callbackContext,
                                    int *remove);

enum : int32_t {
    EventProc_kinds = 12,
    EventProc_inlineMode = 1, // mode bit: no delivery job; drains deliver
};

struct EventProcMsg {
    int32_t kind;             // 0 to 11
    EventProcFreeFn freeFn;   // optional
    EventProcCopyFn copyFn;   // optional
    void *handlerArg;         // given to freeFn
    EventProcMergeFn merge;   // optional
    void *payload;            // owned by the message
};

// ------------------------------------------------------------- payloads

// Kind 0, a document report: EventProc_postDoc.
struct EventProcDocMsg {
    int32_t code;
    intptr_t word;
    Edr_Doc *view;            // holds a view reference
    char16_t *text;           // owned, freed with the message
};

// Kind 1, a code message: EventProc_postCode, EventProc_postPlainCode.
struct EventProcCodeMsg {
    int32_t code;
    Edr_Doc *document;        // no reference of its own
    Edr_Doc *view;            // a view reference of document (null for plain codes)
    intptr_t argument;
};

// Kind 2: EventProc_postKind2. For types 3, 4 and 6 the subject is a
// document holding a view reference (focus set {3, document, node}, focus
// cleared {4, document}); otherwise it is a plain word.
struct EventProcKind2Msg {
    int32_t type;
    void *subject;
    void *word2;
    void *word3;
    void *word4;
};

// Kind 5: EventProc_postKind5, seventeen words. When code is 14 and flag is
// 1, block is an engine heap block owned by the message.
struct EventProcKind5Msg {
    int32_t word0;
    int32_t code;
    int32_t word2;
    uint16_t flag;            // the seventh 16-bit unit
    uint16_t unit7;
    void *block;              // the fifth word
    intptr_t words[12];       // words 5 to 16
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

// Kind 8, custom: EventProc_postCustom. What the two words hold is the
// business of the message's own free and copy handlers.
struct EventProcCustomMsg {
    void *data;
    intptr_t word;
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

// ---------------------------------------------------------- the records

struct EventProcNode {
    EventProcMsg *msg;
    EventProcNode *next;
};

struct EventProcListener {
    int32_t kind;
    EventProcListenerFn callback;
    void *callbackContext;
    int32_t removed;
    int32_t removers;         // removals waiting for a running call: not freed meanwhile
    Lock lock;                // held while its callback runs
    EventProcListener *next;
    EventProcListener *deliveryLink; // the listeners of one delivery
};

struct EventProcSlot {
    int32_t kind;
    EventProcListenerFn handler; // null: empty
    void *handlerContext;
    int32_t removed;
    Lock lock;
};

struct EventProc {
    EventProcNode *queue;     // oldest first
    Sem drained;              // count 0, max 1: the delivery emptied the queue
    Lock queueLock;
    int32_t stopping;         // posting fails with 53
    EventProcListener *listeners;
    Lock listLock;
    EventProcSlot slots[EventProc_kinds];
    TimerList timers;
    EngineContext *context;
    uint32_t mode;            // EventProc_inlineMode
    EventProcNode *delivering; // the head node while it is being delivered
    Task *deliverer;          // the task delivering it
};

// ------------------------------------------------------- the processor

// Creates a processor (mode 0) into *processor (null on failure). Returns
// 0, 1 when memory ran out, 16 without context or out pointer.
int AppMsg_createDispatcher(EngineContext *context, EventProc **processor);
int AppMsg_createDispatcherMode(EngineContext *context, EventProc **processor, uint32_t mode);
// Stops the processor, delivers what is queued, frees the listeners, the
// queued messages, the timers and the processor. From a task (draining
// waits); the timer thread must have been stopped. Null is allowed.
void AppMsg_destroyDispatcher(EventProc *processor);
// Sets the stop flag: from now on posting fails with 53; queued messages
// are still delivered.
void EventProc_stop(EventProc *processor);
// Returns when the queue is empty; in inline mode delivers the queued
// messages itself, on the calling task.
void AppMsg_drain(EventProc *processor);
// Delivers every queued message in order (the delivery job's body).
void AppMsg_deliverAll(void *processor);
// Hands one message to the live listeners of its kind, or to the kind's
// slot handler when there is none. The message stays the caller's.
void EventProc_deliver(EventProc *processor, EventProcMsg *msg);

// ------------------------------------------------------------- messages

// Queues the message; it belongs to the processor from now on, also on
// failure, when it is freed. Returns 0 (also when a merge dropped it), 1
// when memory ran out, 53 when the processor stops, 16 without processor
// or message, or the error of submitting the delivery job.
int EventProc_post(EventProc *processor, EventProcMsg *msg);
// Its free handler, then the payload block (when the handler left it) and
// the record. Null is allowed.
void EventProc_freeMsg(EventProcMsg *msg);
// A copy with new references into *copy (null on failure). 0, 1 when memory
// ran out, or the copy handler's error; 259 when a payload has no copy
// handler, or holds what cannot be copied here (a kind-5 heap block, the
// URL, link and object of kind 6).
int EventProcMsg_copy(const EventProcMsg *msg, EventProcMsg **copy);
// The common handlers of kinds 0 to 2, 5 to 7, 9 and 11.
void EventProcMsg_freePayload(EventProcMsg *msg, void *handlerArg);
int EventProcMsg_copyPayload(const EventProcMsg *src, EventProcMsg *dst);

// Constructors: each allocates the message and its payload, takes the
// references named at its payload record and posts it. Results as
// EventProc_post; on any failure what the call took over is released.
// The text of kinds 0 and 11, the view of kind 11, the heap block of kind
// 5 and everything of kind 6 are taken over by the call in every case.
int EventProc_postDoc(Edr_Doc *document, EventProc *processor, const EventProcDocMsg *source);
int EventProc_postCode(EventProc *processor, const EventProcCodeMsg *source);
int EventProc_postPlainCode(EventProc *processor, const EventProcCodeMsg *source);
int EventProc_postKind2(EventProc *processor, const EventProcKind2Msg *source);
int EventProc_postKind5(EventProc *processor, const EventProcKind5Msg *source);
int EventProc_postKind6(EventProc *processor, const EventProcKind6Msg *source);
int EventProc_postKind7(EventProc *processor, const EventProcKind7Msg *source);
int EventProc_postCustom(EventProc *processor, const EventProcCustomMsg *source,
                         EventProcFreeFn freeFn, EventProcCopyFn copyFn);
int EventProc_postKind9(Edr_Doc *document, EventProc *processor, const EventProcKind9Msg *source);
int EventProc_postKind11(EventProc *processor, const EventProcKind11Msg *source);

// ------------------------------------------------------------ listeners

// Appends a listener for a kind. 0, 1 when memory ran out, 16 for a null
// processor or callback or a kind outside 0 to 11.
int EventProc_addListener(EngineContext *context, EventProc *processor, int32_t kind,
                          EventProcListenerFn callback, void *callbackContext);
// Marks the first live listener with these values removed (waiting for a
// running call of it); it is freed at the next delivery. 0, or 13 when none
// matches (0 for a null processor).
int EventProc_removeListener(EventProc *processor, int32_t kind, EventProcListenerFn callback,
                             void *callbackContext);
// Fills the kind's slot. 0; 15 when it holds a live handler; 16 for a bad
// kind or a null handler.
int EventProc_setKindHandler(EventProc *processor, int32_t kind, EventProcListenerFn handler,
                             void *handlerContext);
// Empties the slot when it holds this handler and context. 0 or 13.
int EventProc_clearKindHandler(EventProc *processor, int32_t kind, EventProcListenerFn handler,
                               void *handlerContext);
