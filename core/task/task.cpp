// The scheduler and engine tasks: creation, the ready queue, switch
// decisions, yield points and slices, priorities, stop requests, detach and
// join, reaping, and the abort path.
//
// A switch decision runs on the thread that asks for it. It picks the next
// thread (a ready task, or the GUI thread when the slice is over or nothing
// can run) and hands it the baton through the platform's switch operation;
// the calling thread then sleeps inside that operation until some later
// decision hands the baton back to it. Tasks that have ended and been joined
// or detached are destroyed by whichever thread runs next.
#include "core/task/task.h"

#include <cstdlib>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/timer.h"
#include "core/host/hostservices.h"

namespace {

// Clock values are compared through their difference, taken in unsigned
// arithmetic so that it stays right across a wrap.
int64_t clockDiff(int64_t later, int64_t earlier)
{
    return int64_t(uint64_t(later) - uint64_t(earlier));
}

int64_t clockAdd(int64_t time, int64_t ms)
{
    return int64_t(uint64_t(time) + uint64_t(ms));
}

bool isBlocked(const Task *t)
{
    return (t->flags & Task_blockedMask) != 0;
}

Scheduler *schedulerOfInstance(EngineInstance *instance)
{
    return instance ? instance->scheduler : nullptr;
}

// Unlinks t from a queue; false when it was not there.
bool unlinkTask(Task **queue, Task *t)
{
    for (Task **link = queue; *link; link = &(*link)->queueLink) {
        if (*link == t) {
            *link = t->queueLink;
            t->queueLink = nullptr;
            return true;
        }
    }
    return false;
}

// Puts t back in its place after its priority changed: in the wait queue it
// sits in, or in the ready queue when it is ready.
void resort(Task *t)
{
    Task **queue = nullptr;
    if (t->flags & Task_semWait)
        queue = t->semWaited ? &t->semWaited->waitQueue : nullptr;
    else if (t->flags & Task_lockWait)
        queue = t->lockWaited ? &t->lockWaited->waitQueue : nullptr;
    else if (!(t->flags & Task_ended) && t->scheduler->current != t)
        queue = &t->scheduler->readyQueue;
    if (queue && unlinkTask(queue, t))
        Task_queueInsert(queue, t);
}

void switchToGui(Scheduler *s)
{
    s->current = nullptr;
    s->ops.switchTo(s, s->ops.guiThread);
}

// The switch decision. T is the current task (none on the GUI thread), H
// the head of the ready queue.
void decideSwitch(Scheduler *s)
{
    if (s->hold)
        return;
    Task *t = s->current;
    if (s->switchBudget == 0) {
        if (!t)
            return;
        if (isBlocked(t))
            s->runnable--;
        else
            Task_queueInsert(&s->readyQueue, t);
        switchToGui(s);
        return;
    }
    s->switchBudget--;
    Task *h = s->readyQueue;
    if (!h) {
        if (!t || !isBlocked(t))
            return;
        s->runnable--;
        switchToGui(s);
        return;
    }
    if (t) {
        if (isBlocked(t)) {
            s->runnable--;
        } else {
            if (h->priority < t->priority)
                return;
            // Behind the tasks of its own priority: equal priorities take
            // turns. H stays at the head, its priority being at least T's.
            Task_queueInsert(&s->readyQueue, t);
        }
    }
    s->readyQueue = h->queueLink;
    h->queueLink = nullptr;
    s->current = h;
    if (h->flags & Task_ownThread)
        s->ops.switchTo(s, h->thread);
    else if (s->ops.runInPlace)
        s->ops.runInPlace(h);
}

// Destroys the tasks on the reap list: their threads wait in a switch that
// will never return, so any thread but their own may end them.
void reap(Scheduler *s)
{
    Task **link = &s->reapList;
    while (*link) {
        Task *t = *link;
        if (t == s->current) {
            link = &t->queueLink;
            continue;
        }
        *link = t->queueLink;
        t->queueLink = nullptr;
        for (Task **n = &s->taskList; *n; n = &(*n)->nextTask) {
            if (*n == t) {
                *n = t->nextTask;
                s->taskCount--;
                break;
            }
        }
        if (s->ops.destroyThread)
            s->ops.destroyThread(s, t);
        Mem_free(t);
    }
}

} // namespace

// ------------------------------------------------------------------ queues

void Task_queueInsert(Task **queue, Task *task)
{
    Task **link = queue;
    while (*link && (*link)->priority >= task->priority) {
        if (*link == task)
            return;
        link = &(*link)->queueLink;
    }
    // A task is on one queue at most, once: refuse a second insertion even
    // when it sits behind its place.
    for (Task *rest = *link; rest; rest = rest->queueLink) {
        if (rest == task)
            return;
    }
    task->queueLink = *link;
    *link = task;
}

void Task_queueRemove(Task **queue, Task *task)
{
    unlinkTask(queue, task);
}

Task *Task_wakeFirst(Scheduler *sched, Task **queue, uint32_t waitFlag)
{
    Task *t = *queue;
    if (!t)
        return nullptr;
    *queue = t->queueLink;
    t->queueLink = nullptr;
    t->flags &= ~waitFlag;
    if (waitFlag == Task_semWait)
        t->semWaited = nullptr;
    else
        t->lockWaited = nullptr;
    Task_queueInsert(&sched->readyQueue, t);
    sched->runnable++;
    return t;
}

// --------------------------------------------------------------- switching

void Task_switchNext(Scheduler *sched)
{
    if (sched->hold)
        return;
    decideSwitch(sched);
    reap(sched);
}

void Task_yieldOn(Scheduler *s, int force)
{
    // Yield points belong to tasks: the GUI thread runs tasks through
    // Task_runSlice only.
    if (!s || s->hold || !s->current)
        return;
    s->inSwitch = 1;
    s->scratch = 0;
    int64_t now = AlienTimer_getTimeMs(s->instance);
    if (clockDiff(s->sliceDeadline, now) < 1) {
        s->switchBudget = 0;
    } else if (!force && clockDiff(s->nextSwitch, now) >= 1) {
        s->inSwitch = 0;
        return;
    }
    s->nextSwitch = clockAdd(now, s->floorMs);
    Task_switchNext(s);
    s->inSwitch = 0;
}

void Task_yield(EngineContext *context)
{
    Task_yieldOn(Task_schedulerOf(context), 0);
}

void Task_reschedule(EngineContext *context)
{
    Task_yieldOn(Task_schedulerOf(context), 1);
}

int Task_checkStop(EngineContext *context)
{
    Scheduler *s = Task_schedulerOf(context);
    Task *t = s ? s->current : nullptr;
    if (!t)
        return Res_ok;
    if (t->flags & Task_stopRequested)
        return Res_stopRequested;
    Task_yieldOn(s, 0);
    return Res_ok;
}

// ----------------------------------------------------------- the scheduler

int Task_initScheduler(EngineInstance *instance, TaskInstallerFn installer)
{
    if (!instance || !instance->context)
        return Res_noMemory;
    Scheduler *s = static_cast<Scheduler *>(Mem_calloc(1, sizeof(Scheduler)));
    if (!s)
        return Res_noMemory;
    s->instance = instance;
    s->sliceMs = Task_defaultSliceMs;
    s->floorMs = Task_defaultFloorMs;
    s->budgetPerSlice = Task_budgetPerMs * Task_defaultSliceMs;
    instance->scheduler = s;
    instance->context->scheduler = s;
    if (installer)
        installer(instance);
    return Res_ok;
}

void Task_finiScheduler(EngineInstance *instance)
{
    Scheduler *s = schedulerOfInstance(instance);
    if (!s)
        return;
    if (s->ops.fini)
        s->ops.fini(s);
    Mem_free(s->platformData);
    Mem_free(s);
    instance->scheduler = nullptr;
    if (instance->context && instance->context->scheduler == s)
        instance->context->scheduler = nullptr;
}

int Task_runSlice(EngineInstance *instance)
{
    Scheduler *s = schedulerOfInstance(instance);
    if (!s || s->current || !s->readyQueue)
        return 0;
    int64_t now = AlienTimer_getTimeMs(instance);
    s->switchBudget = s->budgetPerSlice;
    s->sliceDeadline = clockAdd(now, s->sliceMs);
    s->nextSwitch = clockAdd(now, s->floorMs);
    s->inSwitch = 1;
    Task_switchNext(s);
    s->inSwitch = 0;
    return s->readyQueue ? 1 : 0;
}

void Task_setSlice(EngineInstance *instance, int32_t ms)
{
    Scheduler *s = schedulerOfInstance(instance);
    if (!s || ms < 0)
        return;
    s->sliceMs = ms;
    if (s->floorMs > ms) {
        s->nextSwitch = clockAdd(s->nextSwitch, int64_t(ms) - s->floorMs);
        s->floorMs = ms;
    }
    int64_t budget = int64_t(Task_budgetPerMs) * ms;
    s->budgetPerSlice = budget > INT32_MAX ? INT32_MAX : int32_t(budget);
}

void Task_expireSlice(EngineContext *context)
{
    if (Scheduler *s = Task_schedulerOf(context))
        s->switchBudget = 0;
}

void Task_holdScheduler(EngineContext *context, int on)
{
    if (Scheduler *s = Task_schedulerOf(context))
        s->hold = on;
}

Scheduler *Task_schedulerOf(EngineContext *context)
{
    if (!context)
        return schedulerOfInstance(Host_getThreadContext());
    return context->scheduler;
}

// ------------------------------------------------------------------- tasks

int Task_create(EngineContext *context, Task **task, int32_t priority, TaskEntryFn entry,
                void *argument, const char *name, size_t stackBytes)
{
    if (task)
        *task = nullptr;
    if (!task || !entry || !context || !context->scheduler)
        return Res_missingArgument;
    Scheduler *s = context->scheduler;
    if (!s->ops.createThread)
        return Res_noMemory;
    Task *t = static_cast<Task *>(Mem_calloc(1, sizeof(Task)));
    if (!t)
        return Res_noMemory;
    t->entry = entry;
    t->argument = argument;
    t->name = name;
    t->basePriority = priority;
    t->priority = priority;
    t->state = 1;
    t->scheduler = s;
    t->completion.owner = t;
    t->completion.scheduler = s;
    t->thread = s->ops.createThread(s, t, stackBytes + Task_extraStackBytes);
    if (!t->thread) {
        Mem_free(t);
        return Res_noMemory;
    }
    Task_queueInsert(&s->readyQueue, t);
    s->runnable++;
    t->nextTask = s->taskList;
    s->taskList = t;
    s->taskCount++;
    *task = t;
    return Res_ok;
}

void Task_threadBody(Task *task)
{
    Scheduler *s = task->scheduler;
    s->inSwitch = 0;
    task->entry(task->argument);
    task->flags |= Task_ended | Task_stopRequested;
    Task_queueInsert(task->flags & Task_detached ? &s->reapList : &s->finishedList, task);
    Lock_release(&task->completion);
    s->inSwitch = 1;
    Task_switchNext(s);
    // Only a held scheduler lets an ended task get here; it has nothing left
    // to run, so it is an impossible state.
    Std_abort();
}

Task *Task_current(EngineContext *context)
{
    Scheduler *s = Task_schedulerOf(context);
    return s ? s->current : nullptr;
}

int Task_hasCurrent(EngineContext *context)
{
    return Task_current(context) ? 1 : 0;
}

size_t Task_stackLeft(EngineContext *context, Task *task)
{
    Scheduler *s = Task_schedulerOf(context);
    if (!s)
        return 0;
    if (!task)
        task = s->current;
    if (!task || !s->ops.stackQuery)
        return 0;
    return s->ops.stackQuery(task);
}

EngineContext *Task_getSchedulerCtx(Task *task)
{
    if (!task)
        task = Task_current(nullptr);
    if (task)
        return task->scheduler->instance->context;
    EngineInstance *instance = Host_getThreadContext();
    return instance ? instance->context : nullptr;
}

int32_t Task_getPriority(const Task *task)
{
    return task ? task->priority : 0;
}

void Task_setName(Task *task, const char *name)
{
    if (task)
        task->name = name;
}

void Task_raisePriority(Task *task, int32_t priority)
{
    // The deadlock check keeps the chain of waiting owners free of cycles;
    // a task already at the priority ends the walk in any case.
    while (task && task->priority < priority) {
        task->priority = priority;
        resort(task);
        if (!(task->flags & Task_lockWait) || !task->lockWaited)
            break;
        task = task->lockWaited->owner;
    }
}

int Task_updatePriority(Task *task)
{
    int32_t p = task->basePriority;
    if (Task *joiner = task->completion.waitQueue) {
        if (task->priority == joiner->priority)
            return 0;
        if (joiner->priority > p)
            p = joiner->priority;
    }
    for (Lock *l = task->completion.nextHeld; l; l = l->nextHeld) {
        if (l->waitQueue && l->waitQueue->priority > p)
            p = l->waitQueue->priority;
    }
    if (p == task->priority)
        return 0;
    task->priority = p;
    resort(task);
    return 1;
}

void Task_setPriority(Task *task, int32_t priority)
{
    if (!task)
        return;
    if (priority <= task->priority) {
        if (task->priority > task->basePriority) {
            // Lent by inheritance: the loan stays until the lock goes.
            task->basePriority = priority;
        } else if (task->priority == priority) {
            return;
        } else {
            task->basePriority = priority;
            Task_updatePriority(task);
        }
    } else {
        Task_raisePriority(task, priority);
        task->basePriority = priority;
    }
    Scheduler *s = task->scheduler;
    if (s->current && s->current->priority < priority && !isBlocked(task))
        Task_yieldOn(s, 1);
}

int Task_requestStop(Task *task)
{
    if (!task)
        return Res_missingArgument;
    if (task->flags & Task_stopRequested)
        return Res_ok;
    task->flags |= Task_stopRequested;
    if (!(task->flags & Task_stoppableWait))
        return Res_ok;
    if ((task->flags & Task_semWait) && task->semWaited) {
        // Put the task first so that the signal wakes this one.
        Sem *sem = task->semWaited;
        if (sem->waitQueue != task) {
            unlinkTask(&sem->waitQueue, task);
            task->queueLink = sem->waitQueue;
            sem->waitQueue = task;
        }
        Sem_signal(sem);
    } else if (task->stopSem) {
        // Already woken by a signal but not yet running: it will report the
        // stop and not use the unit it was given, so the unit goes back.
        Sem_signal(task->stopSem);
    }
    return Res_ok;
}

int Task_clearStop(EngineContext *context)
{
    if (Task *t = Task_current(context))
        t->flags &= ~Task_stopRequested;
    return Res_ok;
}

int Task_detach(Task *task)
{
    if (!task)
        return Res_missingArgument;
    if (task->flags & Task_detached)
        return Res_ok;
    task->flags |= Task_detached;
    if (task->flags & Task_ended) {
        Scheduler *s = task->scheduler;
        unlinkTask(&s->finishedList, task);
        Task_queueInsert(&s->reapList, task);
    }
    return Res_ok;
}

int Task_join(Task *task)
{
    if (!task)
        return Res_missingArgument;
    if ((task->flags & Task_detached) || task->completion.waitQueue)
        return Res_notJoinable;
    if (!(task->flags & Task_ended)) {
        // The task holds its completion lock until it ends; waiting for it
        // lends the task our priority.
        Lock_acquire(&task->completion);
        Lock_release(&task->completion);
    }
    return Task_detach(task);
}

// ------------------------------------------------------------------- abort

void Std_abort()
{
    EngineInstance *instance = Host_getThreadContext();
    if (instance)
        instance->abortMark = 1;
    Std_abortService(instance);
}

void Std_abortService(EngineInstance *instance)
{
    Scheduler *s = schedulerOfInstance(instance);
    if (s && s->ops.abort)
        s->ops.abort(instance);
    // Without a platform there is no recovery point to go back to.
    abort();
}
