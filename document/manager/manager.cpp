// The eDR manager: the pass timer, the "Edr_manager" job and its passes,
// busy and access counting, hold, suspension, settle notifications and the
// size watch of one document.
//
// Scheduling moves a document through idle (no timer, no job), scheduled
// (timerSet, the timer counting the period), job submitted (timer code 26,
// a promotion to run now, or the last busy end) and pass running; the job
// runs cycles while requests keep arriving for it and ends with the job
// slot cleared under the lock, in the same critical section that checks for
// late requests, so that no request is left to a job that is going away.
// Teardown (Edr_Mgr_stop) sets stopping first: from then on nothing submits
// a job or arms a timer, and the running job is cancelled and waited for.
#include "document/manager/manager.h"

#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/lock.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "document/edr/appdoc.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/types/translate.h"
#include "document/edr/layoutops.h"
#include "platform/api/engine.h"
#include "platform/vfs/helpers.h"
#include "document/edr/viewops.h"

namespace {

enum : int32_t {
    kPassEnded = 14,
    kSettled = 15,
    kSettledRedraw = 16,
    kFirstAccess = 21,
    kLastAccess = 22,
    kTimerExpired = 26,
    kLayoutFailed = 35,
    kHold = 9,
    kReleaseNotify = 10,
    kRelease = 11,
};

Edr_MgrState *stateOf(Edr_Doc *doc)
{
    return doc ? static_cast<Edr_MgrState *>(doc->manager.record) : nullptr;
}

EventProc *appProc(Edr_Doc *doc)
{
    return doc->app ? doc->app->eventProc : nullptr;
}

int post(Edr_Doc *doc, int32_t code)
{
    EventProc *proc = appProc(doc);
    if (!proc)
        return Res_missingArgument;
    EventProcCodeMsg m{code, doc, nullptr, 0};
    return EventProc_postCode(proc, &m);
}

// The pass timer's expiry, on the timer thread: asks the application's
// processor to start the pass (the manager's listener gets code 26).
void timerExpired(EngineContext *, void *argument)
{
    TimerRun *run = static_cast<TimerRun *>(argument);
    (void)post(static_cast<Edr_Doc *>(run->argument), kTimerExpired);
}

void cancelTimerLocked(Edr_Doc *doc, Edr_MgrState *st)
{
    if (st->timer)
        // A timer that has already ended needs no cancelling.
        (void)TimerQ_cancel(appProc(doc), &st->timer);
    st->timer = 0;
}

int setTimerLocked(Edr_Doc *doc, Edr_MgrState *st)
{
    cancelTimerLocked(doc, st);
    EventProc *proc = appProc(doc);
    int err =
        proc ? TimerQ_add(doc->app, proc, int32_t(st->period), 0, timerExpired, doc, &st->timer)
             : int(Res_missingArgument);
    st->timerSet = err == 0;
    if (err) {
        st->timer = 0;
        return err;
    }
    if (st->suspendCount)
        (void)TimerQ_pause(proc, st->timer);
    return Res_ok;
}

void updatePeriodLocked(Edr_MgrState *st)
{
    if (st->busyCount == 0) {
        st->period = Edr_Mgr_periodIdle;
        return;
    }
    if (st->hold || st->passRunning)
        return;
    // Six times the last pass, in 64 bits so that a very long pass cannot
    // wrap round to a short period; a clock that went back counts as 0.
    int64_t took = std::max<int64_t>(Time_nowMs() - st->passStartedAt, 0);
    int64_t period = std::clamp<int64_t>(took * 6, Edr_Mgr_periodMin, Edr_Mgr_periodMax);
    st->period = uint32_t(period);
}

// Reads the settle flags under the lock and tries the notification.
int tryNotify(Edr_Doc *doc, Edr_MgrState *st)
{
    Lock_acquire(&doc->manager.lock);
    uint32_t due = st->settleDue, scheduled = st->timerSet, running = st->passRunning,
             held = st->hold;
    Lock_release(&doc->manager.lock);
    return Edr_Mgr_notify(doc, due, scheduled, running, held);
}

// Calls the size watch once when the first page's size differs from the
// watched one.
void checkSizeWatch(Edr_Doc *doc, Edr_MgrState *st)
{
    Lock_acquire(&doc->manager.lock);
    Edr_SizeWatchFn watch = st->sizeWatch;
    int32_t w = st->watchWidth, h = st->watchHeight;
    Lock_release(&doc->manager.lock);
    if (!watch)
        return;
    int32_t r[4];
    if (Edr_Page_getRect(doc, 0, 0, r) != 0)
        return;
    if (int64_t(r[2]) - r[0] == w && int64_t(r[3]) - r[1] == h)
        return;
    Lock_acquire(&doc->manager.lock);
    bool mine = st->sizeWatch == watch;
    if (mine)
        st->sizeWatch = nullptr;
    Lock_release(&doc->manager.lock);
    if (!mine)
        return;
    Edr_Doc_readLock(doc);
    watch(doc);
    Edr_Doc_readUnlock(doc);
}

enum class Cycle { ranPass, nothing, stopped };

// One cycle of the job: a whole pass when one is scheduled.
Cycle runCycle(Edr_Doc *doc, Edr_MgrState *st)
{
    // 1-2. Take the scheduled pass.
    Lock_acquire(&doc->manager.lock);
    if (st->stopping) {
        st->timerSet = 0;
        st->runAgain = 0;
        st->redrawRequested = 1;
        Lock_release(&doc->manager.lock);
        (void)tryNotify(doc, st);
        return Cycle::stopped;
    }
    if (!st->timerSet) {
        Lock_release(&doc->manager.lock);
        return Cycle::nothing;
    }
    st->timerSet = 0;
    st->runAgain = 0;
    st->passRunning = 1;
    Lock_release(&doc->manager.lock);

    // 3-5. Selection hook, deferred loads, dead nodes and changed pages.
    (void)Edr_Doc_callSelectionHook(doc);
    Edr_LoadQueue_runAll(doc, 1);
    Edr_Node *dead = nullptr;
    int err = Edr_Doc_collectDead(doc, &dead);
    if (!err)
        err = Edr_Doc_collectRootChanges(doc);
    if (err && err != Res_stopRequested)
        Std_abort();

    int layoutErr = err;
    if (!err) {
        // 6-7. The layout pass under the read lock.
        Lock_acquire(&doc->manager.lock);
        st->passStartedAt = Time_nowMs();
        st->period = st->busyCount ? Edr_Mgr_periodLoading : Edr_Mgr_periodIdle;
        Lock_release(&doc->manager.lock);
        Edr_Doc_readLock(doc);
        layoutErr = Edr_Layout_document(doc->app, doc);
        Edr_Doc_readUnlock(doc);
    }

    // 8. Dead nodes go for good after a successful pass; otherwise they
    // return to the unlinked chain, so that nothing collected is lost.
    if (!layoutErr) {
        Edr_Doc_freeDead(doc, dead);
    } else {
        Edr_Doc_restoreDead(doc, dead);
    }

    // A stop request ends the cycle without further steps or messages;
    // the pass is no longer running then.
    if (layoutErr == Res_stopRequested) {
        Lock_acquire(&doc->manager.lock);
        st->passRunning = 0;
        Lock_release(&doc->manager.lock);
        return Cycle::stopped;
    }

    // 9. Publish, or report the failure and go on.
    if (!layoutErr)
        (void)Edr_View_publishLayout(doc->app, doc);
    else
        (void)post(doc, kLayoutFailed);

    // 10. Nothing scheduled: the pass ended the work for now.
    Lock_acquire(&doc->manager.lock);
    uint32_t scheduled = st->timerSet;
    Lock_release(&doc->manager.lock);
    if (!scheduled)
        (void)post(doc, kPassEnded);

    // 11. The pass is over: new period, settle notification.
    Lock_acquire(&doc->manager.lock);
    st->passRunning = 0;
    updatePeriodLocked(st);
    uint32_t due = st->settleDue, held = st->hold;
    scheduled = st->timerSet;
    Lock_release(&doc->manager.lock);
    (void)Edr_Mgr_notify(doc, due, scheduled, 0, held);
    return Cycle::ranPass;
}

} // namespace

// ------------------------------------------------------------- lifecycle

int Edr_Mgr_init(EngineContext *app, Edr_Doc *doc)
{
    if (!doc)
        return Res_missingArgument;
    Edr_MgrState *st = static_cast<Edr_MgrState *>(Mem_calloc(1, sizeof(Edr_MgrState)));
    if (!st)
        return Res_noMemory;
    st->period = Edr_Mgr_periodStart;
    if (app && app->eventProc) {
        int err =
            EventProc_addListener(app, app->eventProc, EventProc_kindCode, Edr_Mgr_listener, doc);
        if (err) {
            Mem_free(st);
            return err;
        }
        st->listening = 1;
    }
    doc->manager.record = st;
    return Res_ok;
}

void Edr_Mgr_stop(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    st->stopping = 1;
    uint32_t listening = st->listening;
    st->listening = 0;
    Lock_release(&doc->manager.lock);
    if (listening)
        // A listener that is already gone needs no removing; teardown goes on.
        (void)EventProc_removeListener(appProc(doc), EventProc_kindCode, Edr_Mgr_listener, doc);
    Edr_View_cancelTick(doc->app, doc);
    Lock_acquire(&doc->manager.lock);
    cancelTimerLocked(doc, st);
    WorkerJob *job = st->job;
    st->job = nullptr;
    if (job)
        (void)Worker_cancel(job);
    Lock_release(&doc->manager.lock);
    if (job)
        Worker_waitAndFree(job);
    Lock_acquire(&doc->manager.lock);
    st->timerSet = 0;
    st->runAgain = 0;
    st->passRunning = 0;
    st->hold = 0;
    Lock_release(&doc->manager.lock);
}

Edr_MgrState *Edr_Mgr_state(Edr_Doc *doc)
{
    return stateOf(doc);
}

// ------------------------------------------------------------ scheduling

int Edr_Mgr_queueChange(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return Res_ok;
    int err = Res_ok;
    Lock_acquire(&doc->manager.lock);
    if (!st->stopping && !st->timerSet)
        err = setTimerLocked(doc, st);
    Lock_release(&doc->manager.lock);
    return err;
}

int Edr_Mgr_setTimer(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return Res_ok;
    Lock_acquire(&doc->manager.lock);
    int err = st->stopping ? int(Res_ok) : setTimerLocked(doc, st);
    Lock_release(&doc->manager.lock);
    return err;
}

int Edr_Mgr_start(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return Res_ok;
    Lock_acquire(&doc->manager.lock);
    if (st->stopping) {
        // Nothing may start a job that the teardown would not wait for.
        Lock_release(&doc->manager.lock);
        return Res_ok;
    }
    if (Edr_Doc_needsManager(doc)) {
        int err = Res_ok;
        if (!st->job) {
            int32_t jobClass = doc->markFlag ? 2 : 1;
            err = Worker_submit(doc->app, &st->job, jobClass, Edr_Mgr_run, doc, nullptr,
                                Edr_Mgr_jobStack, "Edr_manager");
        }
        Lock_release(&doc->manager.lock);
        return err;
    }
    st->timerSet = 0;
    st->runAgain = 0;
    bool closed = doc->closed != 0;
    if (closed)
        st->redrawRequested = 1;
    Lock_release(&doc->manager.lock);
    if (closed)
        (void)tryNotify(doc, st);
    return Res_ok;
}

int Edr_Mgr_runNow(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return Res_ok;
    Lock_acquire(&doc->manager.lock);
    bool promote = st->timerSet && !st->runAgain;
    if (promote) {
        cancelTimerLocked(doc, st);
        st->runAgain = 1;
    }
    Lock_release(&doc->manager.lock);
    return promote ? Edr_Mgr_start(doc) : int(Res_ok);
}

int Edr_Mgr_requestPass(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st || Edr_Doc_getMarkFlag(doc))
        return Res_ok;
    Lock_acquire(&doc->manager.lock);
    st->timerSet = 1;
    Lock_release(&doc->manager.lock);
    return Edr_Mgr_start(doc);
}

void Edr_Mgr_suspend(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    if (st->suspendCount++ == 0 && st->timer)
        (void)TimerQ_pause(appProc(doc), st->timer);
    Lock_release(&doc->manager.lock);
}

void Edr_Mgr_resume(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    if (st->suspendCount && --st->suspendCount == 0 && st->timer)
        (void)TimerQ_resume(appProc(doc), st->timer);
    Lock_release(&doc->manager.lock);
}

void Edr_Mgr_requestRedraw(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    st->redrawRequested = 1;
    Lock_release(&doc->manager.lock);
}

void Edr_Mgr_updatePeriod(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    updatePeriodLocked(st);
    Lock_release(&doc->manager.lock);
}

// ---------------------------------------------------------------- counts

void Edr_Mgr_busyBegin(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    if (st->busyCount++ == 0)
        st->busySince = Time_nowMs();
    Lock_release(&doc->manager.lock);
}

void Edr_Mgr_busyCancel(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    if (st->busyCount > 0)
        st->busyCount--;
    Lock_release(&doc->manager.lock);
}

void Edr_Mgr_busyEnd(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    if (st->busyCount == 0 || --st->busyCount != 0) {
        Lock_release(&doc->manager.lock);
        return;
    }
    st->settleDue = 1;
    st->busyEndedAt = Time_nowMs();
    if (st->timerSet) {
        // The final pass runs at once.
        cancelTimerLocked(doc, st);
        st->runAgain = 1;
        Lock_release(&doc->manager.lock);
        (void)Edr_Mgr_start(doc);
        return;
    }
    uint32_t redraw = st->redrawRequested;
    Lock_release(&doc->manager.lock);
    if (redraw || Edr_Page_hasPages(doc))
        (void)tryNotify(doc, st);
}

void Edr_Mgr_flushSettle(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    bool busy = st->busyCount != 0;
    if (busy) {
        st->busyEndedAt = Time_nowMs();
        st->settleDue = 1;
    }
    Lock_release(&doc->manager.lock);
    if (busy)
        (void)tryNotify(doc, st);
}

void Edr_Mgr_accessBegin(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    bool first = st->accessCount++ == 0;
    Lock_release(&doc->manager.lock);
    if (first)
        (void)post(doc, kFirstAccess);
}

void Edr_Mgr_accessEnd(Edr_Doc *doc)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    bool last = st->accessCount && --st->accessCount == 0;
    Lock_release(&doc->manager.lock);
    if (last)
        (void)post(doc, kLastAccess);
}

void Edr_Mgr_setSizeWatch(Edr_Doc *doc, Edr_SizeWatchFn watch, int32_t width, int32_t height)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st)
        return;
    Lock_acquire(&doc->manager.lock);
    st->sizeWatch = watch;
    st->watchWidth = width;
    st->watchHeight = height;
    Lock_release(&doc->manager.lock);
}

int Edr_Mgr_notify(Edr_Doc *doc, uint32_t settleDue, uint32_t scheduled, uint32_t running,
                   uint32_t held)
{
    Edr_MgrState *st = stateOf(doc);
    if (!st || !settleDue || scheduled || running || held)
        return Res_ok;
    int r = Res_ok;
    Lock_acquire(&doc->manager.lock);
    // Checked again: another task may have posted or scheduled meanwhile.
    if (st->settleDue && !st->timerSet && !st->passRunning && !st->hold) {
        r = post(doc, st->redrawRequested ? kSettledRedraw : kSettled);
        st->settleDue = 0;
    }
    Lock_release(&doc->manager.lock);
    return r;
}

// ---------------------------------------------------------- the listener

void Edr_Mgr_listener(EngineContext *context, EventProcMsg *msg, void *argument, int *)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(argument);
    Edr_MgrState *st = stateOf(doc);
    if (!st || msg->kind != 1 || !msg->payload)
        return;
    const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
    bool mine = m->document == doc;
    switch (m->code) {
    case 23:
    case 24:
    case 25: (void)Edr_Mgr_requestPass(doc); break;
    case kHold:
        if (mine) {
            Lock_acquire(&doc->manager.lock);
            st->hold = 1;
            Lock_release(&doc->manager.lock);
        }
        break;
    case kReleaseNotify:
        if (mine) {
            Lock_acquire(&doc->manager.lock);
            bool was = st->hold != 0;
            st->hold = 0;
            if (was)
                updatePeriodLocked(st);
            Lock_release(&doc->manager.lock);
            (void)tryNotify(doc, st);
        }
        break;
    case kRelease:
        if (mine) {
            Lock_acquire(&doc->manager.lock);
            st->hold = 0;
            Lock_release(&doc->manager.lock);
        }
        break;
    case kSettled:
        if (mine)
            Edr_View_tick(doc->app, context, msg, doc);
        break;
    case kTimerExpired:
        if (mine)
            (void)Edr_Mgr_start(doc);
        break;
    default: break;
    }
}

// --------------------------------------------------------------- the job

void Edr_Mgr_run(void *argument)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(argument);
    Edr_MgrState *st = stateOf(doc);
    for (;;) {
        for (;;) {
            if (runCycle(doc, st) != Cycle::ranPass)
                break;
            Lock_acquire(&doc->manager.lock);
            bool again = st->runAgain != 0;
            Lock_release(&doc->manager.lock);
            if (!again)
                break;
        }
        // The size watch runs while the job still owns its slot, so that
        // a teardown waits for it.
        checkSizeWatch(doc, st);
        // Late requests and the end of the job in one critical section: a
        // request that set runAgain after the last cycle is served here,
        // and every later one finds the slot empty and submits a new job.
        Lock_acquire(&doc->manager.lock);
        if (st->runAgain && !st->stopping) {
            Lock_release(&doc->manager.lock);
            continue;
        }
        if (st->timerSet && !st->stopping)
            (void)setTimerLocked(doc, st);
        WorkerJob *job = st->job;
        st->job = nullptr;
        Lock_release(&doc->manager.lock);
        if (job)
            Worker_detach(job);
        return;
    }
}
