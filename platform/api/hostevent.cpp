// The synchronous host event interface: VexlanApp_eventSend with its send
// guard and recovery point, the host event codes, the slice driver and the
// host timer protocol with its run states.
//
// The recovery point belongs to the outermost host entry on the GUI thread:
// it is set there and nowhere else, so that it always lies in a live frame
// of the GUI thread. Nested entries (a post made by code that a host event
// runs on the GUI thread) leave it as it is, and engine tasks never touch
// it. The send guard is taken by VexlanApp_eventSend and released only by
// the call that took it.
#include "platform/api/hostevent.h"

#include <csetjmp>
#include <cstring>

#include "core/mem/mem.h"
#include "core/task/appevent.h"
#include "core/task/timerq.h"
#include "core/text/fmt.h"
#include "core/host/hostservices.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"

namespace {

bool onGuiThread(EngineInstance *inst)
{
    return !inst->scheduler || !inst->scheduler->current;
}

int64_t clockNow(EngineInstance *inst)
{
    return AlienTimer_readClock(inst);
}

int64_t clockDiff(int64_t later, int64_t earlier)
{
    return int64_t(uint64_t(later) - uint64_t(earlier));
}

struct SendJob {
    EngineInstance *inst;
    AppEvent *event;
    int gone; // the engine went away during the event
};

// Dispatches one host event on a live engine whose guard is held.
int dispatch(SendJob *job)
{
    EngineInstance *inst = job->inst;
    AppQueueRecord *q = inst->queue;
    const intptr_t *w = job->event->block;
    switch (w[0]) {
    case HostEvent_slice:
        (void)Engine_runSlice(inst); // a slice reports its own errors
        return 1;
    case HostEvent_keyPress:
    case HostEvent_keyRelease:
        if (!EventQ_post(q->ring, job->event))
            return 0;
        AlienTimer_reschedule(inst);
        return 1;
    case HostEvent_timer: AlienTimer_expired(inst, int32_t(w[2])); return 1;
    case HostEvent_stopRequest: Fmt_debugPrint("Stop event: unsupported\n"); return 0;
    case HostEvent_shutdown: {
        int r = Engine_shutdown(inst);
        if (r)
            job->gone = 1;
        return r;
    }
    case HostEvent_suspend: return q->callbacks.suspend ? q->callbacks.suspend(inst) : 1;
    case HostEvent_resume:
        if (!EventQ_pushFront(q->ring, job->event))
            return 0;
        (void)Engine_runSlice(inst); // a slice reports its own errors
        return 1;
    default: Fmt_debugPrint("unrecognised event\n"); return 0;
    }
}

// Runs dispatch with the recovery point set: a fatal error lands here,
// takes the engine down and answers 0. No object with a destructor lives
// in this frame.
int dispatchGuarded(SendJob *job)
{
    EngineInstance *inst = job->inst;
    if (setjmp(inst->recovery) != 0) {
        job->gone = 1;
        Engine_abortToHost(inst);
        return 0;
    }
    return dispatch(job);
}

struct StartJob {
    EngineInstance *inst;
    const AppEvent *event;
    int aborted;
};

int runEntryGuarded(StartJob *job)
{
    EngineInstance *inst = job->inst;
    if (setjmp(inst->recovery) != 0) {
        job->aborted = 1;
        Engine_abortToHost(inst);
        return 0;
    }
    inst->entryDepth++;
    int r = Engine_runEntry(inst, job->event);
    inst->entryDepth--;
    return r;
}

int startEngine(const AppEvent *event)
{
    HostContext *host = reinterpret_cast<HostContext *>(event->block[2]);
    TaskInstallerFn installer = reinterpret_cast<TaskInstallerFn>(event->block[8]);
    EngineInstance *inst = Engine_createContext(host, installer, int(event->block[9]));
    if (!inst)
        return 0;
    StartJob job{inst, event, 0};
    int r = runEntryGuarded(&job);
    if (job.aborted)
        return 0;
    // A failed start leaves nothing behind.
    if (!r)
        Engine_teardown(inst);
    return r;
}

int sendWords(intptr_t code, EngineInstance *inst, intptr_t a, intptr_t b)
{
    intptr_t words[HostEvent_words] = {code, reinterpret_cast<intptr_t>(inst), a, b};
    return VexlanApp_eventSend(words);
}

} // namespace

int VexlanApp_eventSend(const intptr_t *event)
{
    if (!event)
        return 0;
    AppEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.kind = AppEvent_kindHost;
    memcpy(ev.block, event, HostEvent_words * sizeof(intptr_t));
    if (ev.block[0] == HostEvent_start)
        return startEngine(&ev);

    EngineInstance *inst = reinterpret_cast<EngineInstance *>(ev.block[1]);
    if (!Engine_isLive(inst) || !inst->queue)
        return 0;
    AppQueueRecord *q = inst->queue;
    // Host events come from the GUI thread, one at a time; an engine task
    // calling in is a second thread even when no host event is inside.
    if (q->sendGuard || !onGuiThread(inst)) {
        Fmt_debugPrint("SERIOUS ERROR, VexlanApp_eventSend called from 2 threads\n");
        return 0;
    }
    q->sendGuard = 1;
    SendJob job{inst, &ev, 0};
    int r;
    if (inst->entryDepth == 0) {
        inst->entryDepth = 1;
        r = dispatchGuarded(&job);
        if (!job.gone)
            inst->entryDepth = 0;
    } else {
        r = dispatch(&job);
    }
    // The queue record is gone after a shut-down or an abort.
    if (!job.gone)
        q->sendGuard = 0;
    return r;
}

int Engine_start(HostContext *host, const intptr_t *options, EngineEntryFn entry,
                 TaskInstallerFn installer, int heapFlags)
{
    intptr_t words[HostEvent_words] = {HostEvent_start,
                                       0,
                                       reinterpret_cast<intptr_t>(host),
                                       options ? options[0] : 0,
                                       options ? options[1] : 0,
                                       options ? options[2] : 0,
                                       options ? options[3] : 0,
                                       reinterpret_cast<intptr_t>(entry),
                                       reinterpret_cast<intptr_t>(installer),
                                       heapFlags};
    return VexlanApp_eventSend(words);
}

int Engine_stop(EngineInstance *instance)
{
    if (!Engine_isLive(instance) || Engine_canStop(instance, 1) != 1)
        return 0;
    Scheduler *s = instance->scheduler;
    for (Task *t = s ? s->taskList : nullptr; t; t = t->nextTask) {
        if (t == instance->appTask) {
            Task_requestStop(t);
            break;
        }
    }
    return sendWords(HostEvent_shutdown, instance, 0, 0);
}

int Engine_timerExpired(EngineInstance *instance, int32_t timerId)
{
    if (!Engine_isLive(instance) || !instance->queue)
        return 0;
    AppQueueRecord *q = instance->queue;
    if (q->dispatcherBusy) {
        q->pendingTimerId = timerId;
        q->timerPending = 1;
        return 1;
    }
    return sendWords(HostEvent_timer, instance, timerId, 0);
}

int Engine_replayTimer(EngineInstance *instance)
{
    if (!Engine_isLive(instance) || !instance->queue)
        return 0;
    AppQueueRecord *q = instance->queue;
    q->dispatcherBusy = 0;
    if (!q->timerPending)
        return 1;
    q->timerPending = 0;
    return sendWords(HostEvent_timer, instance, q->pendingTimerId, 0);
}

int Engine_keyPress(EngineInstance *instance, intptr_t key, intptr_t repeat)
{
    return sendWords(HostEvent_keyPress, instance, key, repeat);
}

int Engine_keyRelease(EngineInstance *instance, intptr_t key)
{
    return sendWords(HostEvent_keyRelease, instance, key, 0);
}

int Engine_suspend(EngineInstance *instance)
{
    return sendWords(HostEvent_suspend, instance, 0, 0);
}

int Engine_resume(EngineInstance *instance)
{
    return sendWords(HostEvent_resume, instance, 0, 0);
}

void Engine_setTimeSlice(EngineInstance *instance, int32_t period, int32_t slice)
{
    if (!Engine_isLive(instance) || period < 0 || slice == 0)
        return;
    Task_setSlice(instance, slice);
    instance->timerPeriod = period;
}

void Engine_setQueueOptions(EngineInstance *instance, int optionA, int optionB)
{
    if (!Engine_isLive(instance))
        return;
    if (instance->queue && instance->queue->ring) // unknown options leave the ring as it was
        (void)EventQ_setOptions(instance->queue->ring, optionA, optionB);
    instance->queueOptionA = optionA;
    instance->queueOptionB = optionB;
}

// ------------------------------------------------------------ slices

int Engine_runSlice(EngineInstance *instance)
{
    int work = Task_runSlice(instance);
    if (Mem_takeOutOfMemory())
        App_reportError(instance, Engine_errorOutOfMemory, 0);
    return work;
}

int AlienTimer_arm(EngineInstance *instance, int32_t *timerId, int32_t ms)
{
    AppQueueRecord *q = instance->queue;
    if (q->timerArmed) {
        int r = HostTimer_stop(instance->host, timerId);
        if (r != 1)
            return r;
        q->timerArmed = 0;
    }
    HostTimer_start(instance->host, timerId, ms);
    q->timerArmed = 1;
    return 1;
}

void AlienTimer_expired(EngineInstance *instance, int32_t timerId)
{
    AppQueueRecord *q = instance->queue;
    if (timerId != q->timerId) {
        Fmt_debugPrint("Unknown timer\n");
        return;
    }
    q->timerArmed = 0;
    instance->lastExpiry = clockNow(instance);
    // The timer thread runs the due timers in the slice; then the next due
    // time decides, with the work left, how the host timer is armed.
    EngineContext *context = instance->context;
    if (context && context->eventProc)
        TimerQ_wakeThread(context);
    int work = Engine_runSlice(instance);
    int64_t due = context && context->eventProc ? TimerQ_nextDue(context) : 0;
    int32_t state =
        work ? (due ? Engine_busyAndTimers : Engine_busy) : (due ? Engine_timersOnly : Engine_idle);
    int32_t delay = instance->timerPeriod;
    if (state == Engine_timersOnly) {
        int64_t ahead = clockDiff(due, clockNow(instance));
        if (ahead > 0)
            delay = ahead > INT32_MAX ? INT32_MAX : int32_t(ahead);
    } else if (state == Engine_idle) {
        delay = -1;
    }
    instance->runState = state;
    instance->nextDelay = delay;
    if (delay != -1)
        AlienTimer_arm(instance, &q->timerId, delay);
}

void AlienTimer_reschedule(EngineInstance *instance)
{
    AppQueueRecord *q = instance->queue;
    switch (instance->runState) {
    case Engine_busyAndTimers:
    case Engine_busy:
        // The timer runs while there is work; one that was lost (a stop that
        // failed) is armed again. An armed timer is left alone: re-arming it
        // on every post would put the next slice off for as long as posts
        // keep coming.
        if (!q->timerArmed)
            AlienTimer_arm(instance, &q->timerId, instance->timerPeriod);
        return;
    case Engine_timersOnly:
        if (q->timerArmed) {
            if (HostTimer_stop(instance->host, &q->timerId) != 1)
                return;
            q->timerArmed = 0;
        }
        break;
    default: break;
    }
    instance->runState = Engine_busyAndTimers;
    q->wokenAt = clockNow(instance);
    AlienTimer_arm(instance, &q->timerId, instance->timerPeriod);
}
