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

struct EngineContext;
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
typedef void (*EventProcListenerFn)(EngineContext *context, EventProcMsg *msg,
                                    void *callbackContext, int *remove);

enum : int32_t {
    EventProc_kinds = 12,
    // The kinds that have a payload record of their own.
    EventProc_kindReport = 0,     // a document report (EventProcDocMsg)
    EventProc_kindCode = 1,       // a code message (EventProcCodeMsg)
    EventProc_kindTyped = 2,      // a typed message (EventProcKind2Msg)
    EventProc_kindNodeEvent = 5,  // seventeen words (EventProcKind5Msg): node events
    EventProc_kindOpenUrl = 6,    // open a URL (EventProcKind6Msg)
    EventProc_kindViewDoc = 7,    // a view and a document (EventProcKind7Msg)
    EventProc_kindCustom = 8,     // two words of the sender's (EventProcCustomMsg)
    EventProc_kindPageUpdate = 9, // a page update (EventProcKind9Msg)
    EventProc_kindViewText = 11,  // a view, a text and a word (EventProcKind11Msg)
    EventProc_inlineMode = 1,     // mode bit: no delivery job; drains deliver
};

struct EventProcMsg {
    int32_t kind;           // 0 to 11 (EventProc_kind*)
    EventProcFreeFn freeFn; // optional
    EventProcCopyFn copyFn; // optional
    void *handlerArg;       // given to freeFn
    EventProcMergeFn merge; // optional
    void *payload;          // owned by the message
};

// ------------------------------------------------------------- payloads
//
// The processor carries kind 5 and kind 8 itself; the kinds whose payloads
// hold document views, URLs and links are made by document/edr/docmsg.h.

// Kind 5: EventProc_postKind5, seventeen words. When code is 14 and flag is
// 1, block is an engine heap block owned by the message.
struct EventProcKind5Msg {
    int32_t action;     // what the receiver is to do (a node event's action)
    int32_t code;       // the event type
    int32_t detail;     // a word of the sender's (a node event's target-owned flag)
    uint16_t flag;      // the seventh 16-bit unit
    uint16_t spare;     // the eighth 16-bit unit, unused
    void *block;        // the fifth word
    intptr_t words[12]; // words 5 to 16
};

// Kind 8, custom: EventProc_postCustom. What the two words hold is the
// business of the message's own free and copy handlers.
struct EventProcCustomMsg {
    void *data;
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
    int32_t removers; // removals waiting for a running call: not freed meanwhile
    Lock lock;        // held while its callback runs
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
    EventProcNode *queue; // oldest first
    Sem drained;          // count 0, max 1: the delivery emptied the queue
    Lock queueLock;
    int32_t stopping; // posting fails with 53
    EventProcListener *listeners;
    Lock listLock;
    EventProcSlot slots[EventProc_kinds];
    TimerList timers;
    EngineContext *context;
    uint32_t mode;             // EventProc_inlineMode
    EventProcNode *delivering; // the head node while it is being delivered
    Task *deliverer;           // the task delivering it
    EventProcNode *tail;       // the newest queued node (null with an empty queue)
    // The node a message merged into last, and that message's merge
    // function: merge functions compare a key of both messages, so for a
    // message of the same function that matches it, no older node matches
    // (nodes only join at the tail). Cleared when the node leaves.
    EventProcNode *mergedInto;
    EventProcMergeFn mergedBy;
};

// ------------------------------------------------------- the processor

// Creates a processor (mode 0) into *processor (null on failure). Returns
// 0, 1 when memory ran out, Res_missingArgument without context or out pointer.
[[nodiscard]] int AppMsg_createDispatcher(EngineContext *context, EventProc **processor);
[[nodiscard]] int AppMsg_createDispatcherMode(EngineContext *context, EventProc **processor,
                                              uint32_t mode);
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

// Queues the message; it belongs to the processor from now on, also on failure,
// when it is freed. Returns 0 (also when a merge dropped it), 1 when memory ran
// out, Res_eventProcStopping when the processor stops, Res_missingArgument
// without processor or message, or the error of submitting the delivery job.
[[nodiscard]] int EventProc_post(EventProc *processor, EventProcMsg *msg);
// Its free handler, then the payload block (when the handler left it) and
// the record. Null is allowed.
void EventProc_freeMsg(EventProcMsg *msg);
// A copy with new references into *copy (null on failure). 0, 1 when memory ran out, or the copy
// handler's error; Res_notImplemented when a payload has no copy handler, or holds what cannot be
// copied (a kind-5 heap block, the URL, link and object of kind 6).
[[nodiscard]] int EventProcMsg_copy(const EventProcMsg *msg, EventProcMsg **copy);
// Posts a payload block of the kind with its kind's free and copy handlers
// and merge function (null: none). The payload is taken over: when the
// message cannot be made, freeFn releases it. Results as EventProc_post.
[[nodiscard]] int EventProc_postPayload(EventProc *processor, int32_t kind, void *payload,
                                        EventProcFreeFn freeFn, EventProcCopyFn copyFn,
                                        EventProcMergeFn merge);

// Kind 5's handlers (a message that may own a heap block): the release frees the heap block the
// payload owns and the payload; the copy refuses a payload that owns a block (259).
void EventProc_releaseBlockMsg(EventProcMsg *msg, void *handlerArg);
int EventProc_copyBlockMsg(const EventProcMsg *src, EventProcMsg *dst);

// Constructors: each allocates the message and its payload and posts it.
// Results as EventProc_post; on any failure what the call took over is
// released. The heap block of kind 5 is taken over in every case.
[[nodiscard]] int EventProc_postKind5(EventProc *processor, const EventProcKind5Msg *source);
[[nodiscard]] int EventProc_postCustom(EventProc *processor, const EventProcCustomMsg *source,
                                       EventProcFreeFn freeFn, EventProcCopyFn copyFn);

// ------------------------------------------------------------ listeners

// Appends a listener for a kind. 0, 1 when memory ran out, Res_missingArgument for a null processor
// or callback or a kind outside 0 to 11.
[[nodiscard]] int EventProc_addListener(EngineContext *context, EventProc *processor, int32_t kind,
                                        EventProcListenerFn callback, void *callbackContext);
// Marks the first live listener with these values removed (waiting for a running call of it); it is
// freed at the next delivery. 0, or Res_notFound when none matches (0 for a null processor).
[[nodiscard]] int EventProc_removeListener(EventProc *processor, int32_t kind,
                                           EventProcListenerFn callback, void *callbackContext);
// Fills the kind's slot. 0; Res_slotInUse when it holds a live handler;
// Res_missingArgument for a bad kind or a null handler.
[[nodiscard]] int EventProc_setKindHandler(EventProc *processor, int32_t kind,
                                           EventProcListenerFn handler, void *handlerContext);
// Empties the slot when it holds this handler and context. 0 or 13.
[[nodiscard]] int EventProc_clearKindHandler(EventProc *processor, int32_t kind,
                                             EventProcListenerFn handler, void *handlerContext);
