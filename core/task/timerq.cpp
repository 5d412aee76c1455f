// The timer queue, "timerThread", the guarded engine clock and its hook.
//
// Timers are kept in insertion order. A pass of the timer thread collects
// the due entries into a chain sorted by due time, then runs them one by
// one without the timer lock, marking each running (1) so that a cancel
// knows to wait for the run to end. A repeating timer is next due one
// period after its old due time, so a late timer catches up instead of
// drifting. Finished entries stay listed until the next pass frees them,
// because a canceller may still be waiting on their completion semaphore.
//
// The timer-thread record carries the next due time that the clock hook
// compares with every clock reading; it is recomputed after every change
// that can move it, and after every pass.
#include "core/task/timerq.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/host/hostservices.h"

namespace {

// Readings less than this far below the last value returned are small steps
// back and are ignored.
constexpr int64_t clockBackStepMs = 6000;

int64_t clockDiff(int64_t later, int64_t earlier)
{
    return int64_t(uint64_t(later) - uint64_t(earlier));
}

int64_t clockAdd(int64_t time, int64_t ms)
{
    return int64_t(uint64_t(time) + uint64_t(ms));
}

EngineInstance *instanceOf(EngineContext *context)
{
    return context ? context->instance : Host_getThreadContext();
}

int64_t nowOf(EngineContext *context)
{
    return AlienTimer_getTimeMs(instanceOf(context));
}

bool isLive(const TimerEntry *e)
{
    return e->state != TimerQ_finished;
}

// Next due time over unfinished, unsuspended entries; lock held.
void updateNextDue(TimerList *list, int64_t now)
{
    int have = 0;
    int64_t least = 0;
    for (TimerEntry *e = list->head; e; e = e->next) {
        if (e->suspended || e->state == TimerQ_cancelRequested || e->state == TimerQ_finished)
            continue;
        int64_t d = clockDiff(e->due, now);
        if (!have || d < least) {
            least = d;
            have = 1;
        }
    }
    TimerQ_setWake(list, have, have ? clockAdd(now, least) : 0);
}

int insertEntry(EngineContext *context, EventProc *processor, int64_t dueOrDelay, int absolute,
                int32_t period, int repeat, int recordStyle, TimerFn callback, void *argument,
                uint32_t *id)
{
    if (id)
        *id = 0;
    if (!processor || !callback)
        return Res_missingArgument;
    if (!context)
        context = processor->context;
    TimerEntry *e = static_cast<TimerEntry *>(Mem_calloc(1, sizeof(TimerEntry)));
    if (!e)
        return Res_noMemory;
    Sem_init(context, &e->done, 0, 1);
    int64_t now = nowOf(context);
    e->callback = callback;
    e->argument = argument;
    e->due = absolute ? dueOrDelay : clockAdd(now, dueOrDelay);
    // A repeating timer of period 0 would be due again at once, for ever:
    // it runs at most once per millisecond instead.
    e->period = (repeat && period < 1) ? 1 : period;
    e->repeat = repeat ? 1 : 0;
    e->recordStyle = recordStyle;

    TimerList *list = &processor->timers;
    Lock_acquire(&list->lock);
    e->id = ++list->idCounter;
    if (e->id == 0) // 0 means "no timer" to callers: skip it when the counter wraps
        e->id = ++list->idCounter;
    TimerEntry **link = &list->head;
    while (*link)
        link = &(*link)->next;
    *link = e;
    if (!list->running)
        updateNextDue(list, now);
    if (id)
        *id = e->id;
    Lock_release(&list->lock);
    return Res_ok;
}

TimerEntry *findById(TimerList *list, uint32_t id)
{
    for (TimerEntry *e = list->head; e; e = e->next)
        if (e->id == id && isLive(e))
            return e;
    return nullptr;
}

TimerEntry *findMatching(TimerList *list, TimerFn callback, void *argument, int32_t period,
                         int repeat)
{
    for (TimerEntry *e = list->head; e; e = e->next)
        if (isLive(e) && e->callback == callback && e->argument == argument &&
            e->period == period && (e->repeat != 0) == (repeat != 0))
            return e;
    return nullptr;
}

// Cancels an entry; called with the lock held, returns without it. A
// running entry's canceller waits for the run to end, unless it is the
// task running the pass: a callback cancelling its own timer (or another of
// the same pass, which cannot be running) must not wait for itself.
void cancelEntry(TimerList *list, TimerEntry *e)
{
    if (e->state == TimerQ_idle) {
        e->state = TimerQ_finished;
        Lock_release(&list->lock);
        return;
    }
    if (e->state == TimerQ_running)
        e->state = TimerQ_cancelRequested;
    Task *self = list->lock.scheduler ? list->lock.scheduler->current : nullptr;
    if (list->runner && list->runner == self) {
        Lock_release(&list->lock);
        return;
    }
    e->waiters++;
    Lock_release(&list->lock);
    Sem_wait(&e->done);
    Sem_signal(&e->done); // for the next waiter
    Lock_acquire(&list->lock);
    e->waiters--;
    Lock_release(&list->lock);
}

int setSuspended(EventProc *processor, TimerEntry *(*find)(TimerList *, const void *),
                 const void *key, int suspended)
{
    if (!processor)
        return Res_notFound;
    TimerList *list = &processor->timers;
    Lock_acquire(&list->lock);
    TimerEntry *e = find(list, key);
    if (!e) {
        Lock_release(&list->lock);
        return Res_notFound;
    }
    e->suspended = suspended;
    // A resumed timer may now be the earliest (or already late), and a
    // paused one no longer counts: the wake time follows at once.
    if (!list->running)
        updateNextDue(list, nowOf(processor->context));
    Lock_release(&list->lock);
    return Res_ok;
}

struct MatchKey {
    TimerFn callback;
    void *argument;
    int32_t period;
    int repeat;
};

TimerEntry *findByIdKey(TimerList *list, const void *key)
{
    return findById(list, *static_cast<const uint32_t *>(key));
}

TimerEntry *findByMatchKey(TimerList *list, const void *key)
{
    const MatchKey *k = static_cast<const MatchKey *>(key);
    return findMatching(list, k->callback, k->argument, k->period, k->repeat);
}

void timerThreadMain(void *argument)
{
    TimerThread *t = static_cast<TimerThread *>(argument);
    for (;;) {
        if (Sem_waitStoppable(&t->wake) != Res_ok)
            return;
        TimerQ_runDue(t->context, &t->processor->timers, t->context->instance->clockSeen);
    }
}

} // namespace

// -------------------------------------------------------------- the list

int TimerQ_initList(EngineContext *context, TimerList *list)
{
    if (!list)
        return Res_nullInput;
    list->head = nullptr;
    list->running = 0;
    list->thread = nullptr;
    list->idCounter = 0;
    list->runner = nullptr;
    return Lock_init(context, &list->lock);
}

void TimerQ_finiList(TimerList *list)
{
    if (!list)
        return;
    while (TimerEntry *e = list->head) {
        list->head = e->next;
        Sem_fini(&e->done);
        Mem_free(e);
    }
    Lock_fini(&list->lock);
}

int TimerQ_setWake(TimerList *list, int active, int64_t wake)
{
    if (list && list->thread) {
        list->thread->active = active ? 1 : 0;
        list->thread->nextDue = active ? wake : 0;
    }
    return Res_ok;
}

// ---------------------------------------------------------------- timers

int TimerQ_add(EngineContext *context, EventProc *processor, int32_t delay, int repeat,
               TimerFn callback, void *argument, uint32_t *id)
{
    return insertEntry(context, processor, delay, 0, delay, repeat, 1, callback, argument, id);
}

int TimerQ_addPlain(EngineContext *context, EventProc *processor, int32_t delay, int repeat,
                    TimerFn callback, void *argument)
{
    return insertEntry(context, processor, delay, 0, delay, repeat, 0, callback, argument, nullptr);
}

int TimerQ_addAt(EngineContext *context, EventProc *processor, int64_t due, TimerFn callback,
                 void *argument, uint32_t *id)
{
    return insertEntry(context, processor, due, 1, 0, 0, 0, callback, argument, id);
}

int TimerQ_addAtNoId(EngineContext *context, EventProc *processor, int64_t due, TimerFn callback,
                     void *argument)
{
    return insertEntry(context, processor, due, 1, 0, 0, 0, callback, argument, nullptr);
}

int TimerQ_cancel(EventProc *processor, uint32_t *id)
{
    if (!id || *id == 0)
        return Res_ok;
    uint32_t which = *id;
    *id = 0;
    if (!processor)
        return Res_notFound;
    TimerList *list = &processor->timers;
    Lock_acquire(&list->lock);
    TimerEntry *e = findById(list, which);
    if (!e) {
        Lock_release(&list->lock);
        return Res_notFound;
    }
    cancelEntry(list, e);
    return Res_ok;
}

int TimerQ_cancelMatching(EventProc *processor, TimerFn callback, void *argument, int32_t period,
                          int repeat)
{
    if (!processor)
        return Res_notFound;
    TimerList *list = &processor->timers;
    Lock_acquire(&list->lock);
    TimerEntry *e = findMatching(list, callback, argument, period, repeat);
    if (!e) {
        Lock_release(&list->lock);
        return Res_notFound;
    }
    cancelEntry(list, e);
    return Res_ok;
}

int TimerQ_cancelAt(EventProc *processor, int64_t due, TimerFn callback, void *argument)
{
    if (!processor)
        return Res_notFound;
    TimerList *list = &processor->timers;
    Lock_acquire(&list->lock);
    TimerEntry *found = nullptr;
    for (TimerEntry *e = list->head; e && !found; e = e->next)
        if (isLive(e) && e->due == due && e->period == 0 && !e->repeat && e->callback == callback &&
            e->argument == argument)
            found = e;
    if (!found) {
        Lock_release(&list->lock);
        return Res_notFound;
    }
    cancelEntry(list, found);
    return Res_ok;
}

int TimerQ_pause(EventProc *processor, uint32_t id)
{
    return setSuspended(processor, findByIdKey, &id, 1);
}

int TimerQ_resume(EventProc *processor, uint32_t id)
{
    return setSuspended(processor, findByIdKey, &id, 0);
}

int TimerQ_pauseMatching(EventProc *processor, TimerFn callback, void *argument, int32_t period,
                         int repeat)
{
    MatchKey k{callback, argument, period, repeat};
    return setSuspended(processor, findByMatchKey, &k, 1);
}

void TimerQ_runDue(EngineContext *context, TimerList *list, int64_t now)
{
    if (!list)
        return;
    Lock_acquire(&list->lock);
    list->running = 1;
    list->runner = list->lock.scheduler ? list->lock.scheduler->current : nullptr;
    TimerEntry *chain = nullptr;
    for (TimerEntry **link = &list->head; *link;) {
        TimerEntry *e = *link;
        if (e->state == TimerQ_finished) {
            if (e->waiters == 0) {
                *link = e->next;
                Sem_fini(&e->done);
                Mem_free(e);
                continue;
            }
        } else if (e->state == TimerQ_idle && !e->suspended && clockDiff(e->due, now) < 1) {
            // Before the first entry due at the same time or later.
            TimerEntry **at = &chain;
            while (*at && clockDiff((*at)->due, e->due) < 0)
                at = &(*at)->dueLink;
            e->dueLink = *at;
            *at = e;
        }
        link = &e->next;
    }
    Lock_release(&list->lock);

    while (chain) {
        TimerEntry *e = chain;
        chain = e->dueLink;
        e->dueLink = nullptr;
        Lock_acquire(&list->lock);
        if (e->state != TimerQ_idle) {
            Lock_release(&list->lock);
            continue;
        }
        TimerRun run{e->id, e->argument, e->period, e->repeat};
        e->state = TimerQ_running;
        Lock_release(&list->lock);

        e->callback(context, e->recordStyle ? static_cast<void *>(&run) : e->argument);

        Lock_acquire(&list->lock);
        e->argument = run.argument;
        if (run.period != e->period) {
            e->period = (run.repeat && run.period < 1) ? 1 : run.period;
            e->due = now; // the new period counts from this run
        }
        e->repeat = run.repeat;
        if (e->repeat && e->state == TimerQ_running) {
            e->state = TimerQ_idle;
            e->due = clockAdd(e->due, e->period);
        } else {
            e->state = TimerQ_finished;
            Sem_signal(&e->done);
        }
        Lock_release(&list->lock);
    }

    Lock_acquire(&list->lock);
    list->running = 0;
    list->runner = nullptr;
    updateNextDue(list, now);
    Lock_release(&list->lock);
}

// ------------------------------------------------------------ the thread

int TimerQ_startThread(EngineContext *context, EventProc *processor)
{
    if (!context || !processor || !context->instance)
        return Res_missingArgument;
    if (processor->timers.thread || context->timerThread)
        return Res_timerThreadRunning;
    TimerThread *t = static_cast<TimerThread *>(Mem_calloc(1, sizeof(TimerThread)));
    if (!t)
        return Res_noMemory;
    Sem_init(context, &t->wake, 0, 1);
    t->context = context;
    t->processor = processor;
    int r = Task_create(context, &t->task, 2, timerThreadMain, t, "timerThread", 4096);
    if (r != Res_ok) {
        Sem_fini(&t->wake);
        Mem_free(t);
        return r;
    }
    processor->timers.thread = t;
    context->timerThread = t;
    EngineInstance *instance = context->instance;
    instance->clockSeen = AlienTimer_readClock(instance);
    // Timers added while no thread ran them get their wake time now, or
    // nothing would ever wake the thread for them. The list is consistent
    // whenever this thread holds the baton; a task takes the lock anyway.
    TimerList *list = &processor->timers;
    int locked = Task_hasCurrent(context);
    if (locked)
        Lock_acquire(&list->lock);
    if (!list->running)
        updateNextDue(list, instance->clockSeen);
    if (locked)
        Lock_release(&list->lock);
    AlienTimer_setHook(context, TimerQ_clockHook);
    return Res_ok;
}

int TimerQ_stopThread(EngineContext *context, EventProc *processor)
{
    if (!processor)
        return Res_missingArgument;
    TimerThread *t = processor->timers.thread;
    if (!t)
        return Res_ok;
    if (!context)
        context = t->context;
    if (context->instance && context->instance->clockHook == TimerQ_clockHook)
        AlienTimer_clearHook(context);
    int r = Task_requestStop(t->task);
    int j = Task_join(t->task);
    if (r == Res_ok)
        r = j;
    processor->timers.thread = nullptr;
    if (context->timerThread == t)
        context->timerThread = nullptr;
    Sem_fini(&t->wake);
    Mem_free(t);
    return r;
}

void TimerQ_wakeThread(EngineContext *context)
{
    TimerThread *t = context ? context->timerThread : nullptr;
    if (!t)
        return;
    int64_t now = AlienTimer_getTimeMs(context->instance); // the hook may wake it already
    context->instance->clockSeen = now;
    if (t->wake.count == 0)
        Sem_signal(&t->wake);
}

int64_t TimerQ_nextDue(EngineContext *context)
{
    TimerThread *t = context ? context->timerThread : nullptr;
    if (!t || !t->active)
        return 0;
    // 0 means "none" to the host: a timer really due at clock 0 is reported
    // a millisecond later rather than lost.
    return t->nextDue == 0 ? 1 : t->nextDue;
}

int32_t TimerQ_threadPriority(EngineContext *context)
{
    TimerThread *t = context ? context->timerThread : nullptr;
    return (t && t->task) ? Task_getPriority(t->task) : 2;
}

// ------------------------------------------------------------- the clock

int64_t AlienTimer_readClock(EngineInstance *instance)
{
    if (!instance)
        return 0;
    int64_t reading = AlienTimer_getMs(instance->host);
    int64_t back = clockDiff(instance->clockLast, reading);
    if (back > 0 && back < clockBackStepMs)
        return instance->clockLast;
    instance->clockLast = reading;
    return reading;
}

int64_t AlienTimer_getTimeMs(EngineInstance *instance)
{
    if (!instance)
        return 0;
    int64_t now = AlienTimer_readClock(instance);
    if (instance->clockHook && instance->context)
        instance->clockHook(instance->context, now);
    return now;
}

int64_t Time_nowMs()
{
    EngineInstance *instance = Host_getThreadContext();
    if (!instance || !instance->context)
        return 0;
    return AlienTimer_getTimeMs(instance);
}

void AlienTimer_setHook(EngineContext *context, ClockHookFn hook)
{
    if (context && context->instance)
        context->instance->clockHook = hook;
}

void AlienTimer_clearHook(EngineContext *context)
{
    if (context && context->instance)
        context->instance->clockHook = nullptr;
}

void TimerQ_clockHook(EngineContext *context, int64_t now)
{
    EngineInstance *instance = context->instance;
    int64_t previous = instance->clockSeen;
    instance->clockSeen = now;
    TimerThread *t = context->timerThread;
    if (!t || !t->active || t->wake.count != 0)
        return;
    bool reached = clockDiff(t->nextDue, now) <= 0;
    bool wrapped = clockDiff(now, previous) < 0 && clockDiff(t->nextDue, previous) > 0;
    if (reached || wrapped)
        Sem_signal(&t->wake);
}
