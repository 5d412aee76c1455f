// The eDR manager: turns changes to a document into layout passes.
//
// A change to a document's tree only asks for a pass: the first request
// arms a one-shot timer of the current period on the application's event
// processor, and every later request before the pass is served by that same
// pass. When the timer expires it posts code 26 for the document; the
// manager's listener then submits the worker job "Edr_manager", which runs
// one pass for the whole document: deferred loads, dead nodes, changed
// pages, the layout pass under the tree's read lock, and the publication of
// the result. While the document is still loading (its busy count is
// non-zero) the period follows how long passes take (six times the last
// pass, 1 to 60 seconds), so a document being filled is relaid out every few
// seconds; an idle document reacts within 200 ms.
//
// Messages posted to the application's event processor, each as the code
// message {code, document}: 14 a pass ended with no further pass scheduled;
// 15 or 16 the document settled (16 after a redraw request); 21 and 22 the
// first page access began and the last ended; 26 the pass timer expired; 35
// the layout pass failed. The listener serves 23 to 25 (request a pass on
// every document), 9 (hold), 10 (release the hold and notify), 11 (release
// the hold), 15 (the document's animation tick) and 26 (run the pass).
//
// The state is a record owned by the document (doc->manager.record, freed
// with the document) and guarded by doc->manager.lock, a leaf lock: it is
// never held across a pass, and only the settle notification posts under
// it. Lock order: the tree lock, the page-list lock, the manager's lock,
// the document mutex. Every function takes the lock itself; all of them are
// for engine tasks and do nothing for a document without a manager (never
// initialised, or already stopped).
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct EventProcMsg;
struct WorkerJob;

// Called once with the document (under its read lock) when the first
// page's size differs from the watched size.
typedef void (*Edr_SizeWatchFn)(Edr_Doc *doc);

enum : uint32_t {
    Edr_Mgr_periodStart = 1000,    // the period at creation
    Edr_Mgr_periodIdle = 200,      // the period of a document not loading
    Edr_Mgr_periodLoading = 10000, // the period while a pass of a loading document runs
    Edr_Mgr_periodMin = 1000,      // bounds of the measured period while loading
    Edr_Mgr_periodMax = 60000,
    Edr_Mgr_jobStack = 18432,
};

// The manager's state of one document.
struct Edr_MgrState {
    WorkerJob *job;            // the running "Edr_manager" job, null when none
    int64_t passStartedAt;     // engine clock when the last pass began its layout work
    int64_t busySince;         // when busyCount left 0
    int64_t busyEndedAt;       // when busyCount returned to 0
    uint32_t timer;            // the pass timer's id, 0 when none
    uint32_t period;           // delay of the pass timer in ms
    uint32_t hold;             // passes' settle notification held back (codes 9/10/11)
    uint32_t redrawRequested;  // the settle notification uses 16 instead of 15
    uint32_t stopping;         // the manager is being torn down
    uint32_t timerSet;         // a pass is scheduled (timer set, or promoted to run now)
    uint32_t runAgain;         // the running job must run another cycle
    uint32_t settleDue;        // the settle notification is owed
    uint32_t suspendCount;     // page-list writers inside: the pass timer is paused
    uint32_t passRunning;      // a pass is in progress
    uint32_t busyCount;        // nesting count of loading activity
    uint32_t accessCount;      // nesting count of page accesses
    Edr_SizeWatchFn sizeWatch; // null when none
    int32_t watchWidth;        // the watched size (16.16, as the page bounds)
    int32_t watchHeight;
    uint32_t listening; // the listener is registered on the application's processor
};

// Creates the manager state of a new document and, when the application
// has an event processor, registers the manager's kind-1 listener on it
// with the document as context. Period 1000, every flag clear. 0, 1 when
// memory runs out, or the registration error (nothing is left made then).
[[nodiscard]] int Edr_Mgr_init(EngineContext *app, Edr_Doc *doc);
// Stops the manager of a document being destroyed (or whose creation
// failed): sets stopping, unregisters the listener, cancels the animation
// tick and the pass timer, cancels the running job and waits for it. The
// state record itself is freed with the document. Null and a document
// without a manager are allowed.
void Edr_Mgr_stop(Edr_Doc *doc);

// Reports a change: when not stopping and no pass is scheduled, schedules
// one. 0 or the timer error (the next change tries again then).
[[nodiscard]] int Edr_Mgr_queueChange(Edr_Doc *doc);
// Re-arms the pass timer with the current period (paused at once while
// suspended); timerSet tells whether it worked. 0 or the timer error (16
// when the application has no event processor).
[[nodiscard]] int Edr_Mgr_setTimer(Edr_Doc *doc);
// Submits the "Edr_manager" job when the document wants a manager and no
// job runs (class 2 for a marked document, else 1); returns the submission
// result. A document that wants none drops its scheduled pass; a closed one
// also asks for a redraw and tries the settle notification. 0 otherwise.
[[nodiscard]] int Edr_Mgr_start(Edr_Doc *doc);
// Promotes a scheduled pass to run now (on the running job when there is
// one). 0 or the submission result.
[[nodiscard]] int Edr_Mgr_runNow(Edr_Doc *doc);
// Schedules a pass and starts the job, unless the document is marked.
[[nodiscard]] int Edr_Mgr_requestPass(Edr_Doc *doc);
// Pause and resume the pass timer around page-list writers (nesting).
void Edr_Mgr_suspend(Edr_Doc *doc);
void Edr_Mgr_resume(Edr_Doc *doc);
// The next settle notification is code 16.
void Edr_Mgr_requestRedraw(Edr_Doc *doc);
// Loading activity: begin counts up; the end that brings the count to 0
// owes the settle notification and runs a scheduled pass at once (or, with
// none scheduled, notifies when the document has pages or a redraw was
// asked for). An end without a begin is ignored.
void Edr_Mgr_busyBegin(Edr_Doc *doc);
void Edr_Mgr_busyEnd(Edr_Doc *doc);
// Ends a busy stretch whose work failed: the count drops, but the document
// does not settle, so a failed import announces no page.
void Edr_Mgr_busyCancel(Edr_Doc *doc);
// While loading activity is counted, owes and tries the settle
// notification now (a document reference is being dropped).
void Edr_Mgr_flushSettle(Edr_Doc *doc);
// Page accesses: the first begin posts 21, the last end posts 22. An end
// without a begin is ignored.
void Edr_Mgr_accessBegin(Edr_Doc *doc);
void Edr_Mgr_accessEnd(Edr_Doc *doc);
// Stores the size watch (null clears it).
void Edr_Mgr_setSizeWatch(Edr_Doc *doc, Edr_SizeWatchFn watch, int32_t width, int32_t height);
// The settle notification: when settle is due, no pass is scheduled or
// running and nothing holds it (the arguments, checked again under the
// lock), posts 16 after a redraw request, else 15, and clears settleDue.
// The post's result, 0 when nothing was posted.
[[nodiscard]] int Edr_Mgr_notify(Edr_Doc *doc, uint32_t settleDue, uint32_t scheduled,
                                 uint32_t running, uint32_t held);
// Recomputes the period: 200 when not loading; while loading and neither
// held nor in a pass, six times the time since the last pass began its
// layout work, within 1000 and 60000.
void Edr_Mgr_updatePeriod(Edr_Doc *doc);

// The job body (argument: the document) and the listener; exposed for the
// engine's tables, not for direct calls.
void Edr_Mgr_run(void *doc);
void Edr_Mgr_listener(EngineContext *context, EventProcMsg *msg, void *doc, int *remove);

// The document's manager state (lent; null without a manager). For
// diagnostics and tests: read fields under doc->manager.lock.
Edr_MgrState *Edr_Mgr_state(Edr_Doc *doc);
