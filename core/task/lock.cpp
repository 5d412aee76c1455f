// Engine locks, counting semaphores and reader/writer locks over the
// scheduler's task queues.
//
// A task that must wait is put on the primitive's wait queue, marked blocked
// and switched out with a forced reschedule; it runs again only after a
// release or signal has taken it off the queue and made it ready. Priority
// inheritance applies to locks (a task's completion lock included, so that
// a joiner lends its priority to the task it joins); semaphores only order
// their waiters.
#include "core/task/lock.h"

#include "core/context/context.h"
#include "core/result.h"
#include "core/task/task.h"

namespace {

// A task is the only one running while it owns the baton, so the owner
// check needs nothing but the current task. Waiting is for tasks only: the
// GUI thread cannot wait without stopping the engine.
Task *waitingTask(Scheduler *s)
{
    if (s->hold || !s->current)
        Std_abort();
    return s->current;
}

void unlinkHeld(Task *owner, Lock *lock)
{
    for (Lock **link = &owner->completion.nextHeld; *link; link = &(*link)->nextHeld) {
        if (*link == lock) {
            *link = lock->nextHeld;
            lock->nextHeld = nullptr;
            return;
        }
    }
}

} // namespace

// -------------------------------------------------------------------- Lock

int Lock_init(EngineContext *context, Lock *lock)
{
    if (!lock)
        return Res_nullInput;
    lock->owner = nullptr;
    lock->nextHeld = nullptr;
    lock->waitQueue = nullptr;
    lock->scheduler = context ? context->scheduler : nullptr;
    return Res_ok;
}

void Lock_fini(Lock *) {}

void Lock_acquire(Lock *lock)
{
    if (!lock || !lock->scheduler)
        return;
    Scheduler *s = lock->scheduler;
    Task *t = waitingTask(s);
    if (lock->owner) {
        // Deadlock: the chain lock -> owner -> the lock that owner waits on
        // -> its owner ... comes back to us (at once when we own the lock).
        for (Lock *l = lock; l && l->owner;) {
            Task *owner = l->owner;
            if (owner == t) {
                t->flags |= Task_lockWait;
                t->lockWaited = lock;
                Std_abort();
            }
            l = (owner->flags & Task_lockWait) ? owner->lockWaited : nullptr;
        }
        t->flags |= Task_lockWait;
        t->lockWaited = lock;
        if (t->priority > lock->owner->priority)
            Task_raisePriority(lock->owner, t->priority);
        Task_queueInsert(&lock->waitQueue, t);
        Task_yieldOn(s, 1);
        // Back here only as the owner: the release handed the lock over.
    } else {
        lock->owner = t;
    }
    lock->nextHeld = t->completion.nextHeld;
    t->completion.nextHeld = lock;
}

void Lock_release(Lock *lock)
{
    if (!lock || !lock->scheduler)
        return;
    Scheduler *s = lock->scheduler;
    Task *t = s->current;
    if (!t || lock->owner != t)
        Std_abort();
    // A task's completion lock heads its chain and is not in it.
    if (lock != &t->completion)
        unlinkHeld(t, lock);
    Task *w = Task_wakeFirst(s, &lock->waitQueue, Task_lockWait);
    lock->owner = w;
    if (!w || t->priority <= t->basePriority)
        return;
    // The waiter that lent us our priority now has the lock: drop back to
    // what the remaining locks and a joiner still call for. Recompute also
    // when the lent priority came from a waiter whose priority fell since,
    // so that a loan never outlives the lock.
    int lentByWaiter = t->priority == w->priority;
    int changed = Task_updatePriority(t);
    if (lentByWaiter || changed)
        Task_yieldOn(s, 1);
}

// --------------------------------------------------------------------- Sem

int Sem_init(EngineContext *context, Sem *sem, uint32_t count, uint32_t maximum)
{
    if (!sem)
        return Res_nullInput;
    sem->count = count;
    sem->maximum = maximum;
    sem->scheduler = context ? context->scheduler : nullptr;
    sem->waitQueue = nullptr;
    return Res_ok;
}

void Sem_fini(Sem *) {}

void Sem_wait(Sem *sem)
{
    if (!sem || !sem->scheduler)
        return;
    Scheduler *s = sem->scheduler;
    if (s->hold)
        Std_abort();
    if (sem->count > 0) {
        sem->count--;
        return;
    }
    Task *t = waitingTask(s);
    Task_queueInsert(&sem->waitQueue, t);
    t->flags |= Task_semWait;
    t->semWaited = sem;
    Task_yieldOn(s, 1);
    // Back here once a signal has taken us off the queue.
}

int Sem_waitStoppable(Sem *sem)
{
    Task *t = sem && sem->scheduler ? sem->scheduler->current : nullptr;
    if (!t) {
        Sem_wait(sem);
        return Res_ok;
    }
    if (t->flags & Task_stopRequested)
        return Res_stopRequested;
    t->flags |= Task_stoppableWait;
    t->stopSem = sem;
    Sem_wait(sem);
    t->flags &= ~Task_stoppableWait;
    t->stopSem = nullptr;
    return (t->flags & Task_stopRequested) ? Res_stopRequested : Res_ok;
}

void Sem_signal(Sem *sem)
{
    if (!sem || !sem->scheduler)
        return;
    Scheduler *s = sem->scheduler;
    Task *t = s->current;
    if (s->inSwitch && t && (t->flags & Task_semWait) && t->semWaited == sem) {
        // The current task is on its way out to wait on this semaphore (the
        // signal came from inside its switch, e.g. the clock hook): give it
        // the unit and let it go on running.
        Task_queueRemove(&sem->waitQueue, t);
        t->flags &= ~Task_semWait;
        t->semWaited = nullptr;
        return;
    }
    if (Task *w = Task_wakeFirst(s, &sem->waitQueue, Task_semWait)) {
        if (t && !s->inSwitch && w->priority > t->priority && !s->instance->abortMark)
            Task_yieldOn(s, 1);
        return;
    }
    if (sem->count < sem->maximum)
        sem->count++;
}

int Sem_getCount(const Sem *sem, uint32_t *count)
{
    if (!count)
        return Res_nullInput;
    *count = sem ? sem->count : 0;
    return Res_ok;
}

// ------------------------------------------------------------------ RwLock

int RwLock_init(EngineContext *context, RwLock *rw)
{
    if (!rw)
        return Res_nullInput;
    rw->readers = 0;
    Lock_init(context, &rw->lock);
    int r = Sem_init(context, &rw->writerGate, 0, 1);
    if (r != Res_ok)
        Lock_fini(&rw->lock);
    return r;
}

void RwLock_fini(RwLock *rw)
{
    if (!rw)
        return;
    Sem_fini(&rw->writerGate);
    Lock_fini(&rw->lock);
}

void RwLock_readLock(RwLock *rw)
{
    Lock_acquire(&rw->lock);
    rw->readers++;
    Lock_release(&rw->lock);
}

void RwLock_readUnlock(RwLock *rw)
{
    Lock_acquire(&rw->lock);
    int32_t left = --rw->readers;
    Lock_release(&rw->lock);
    if (left <= 0)
        Sem_signal(&rw->writerGate);
}

int RwLock_writeLock(RwLock *rw, int mayWait)
{
    Lock_acquire(&rw->lock);
    while (rw->readers >= 1) {
        Lock_release(&rw->lock);
        if (!mayWait)
            return Res_readersPresent;
        int r = Sem_waitStoppable(&rw->writerGate);
        if (r != Res_ok)
            return r;
        Lock_acquire(&rw->lock);
    }
    return Res_ok;
}

void RwLock_writeLockWait(RwLock *rw)
{
    Lock_acquire(&rw->lock);
    while (rw->readers >= 1) {
        Lock_release(&rw->lock);
        Sem_wait(&rw->writerGate);
        Lock_acquire(&rw->lock);
    }
}

void RwLock_writeUnlock(RwLock *rw)
{
    Lock_release(&rw->lock);
    Sem_signal(&rw->writerGate);
}
