// Engine locks, counting semaphores and reader/writer locks.
//
// Engine tasks run one at a time, but a task can be switched out at any
// yield point or wait, so records shared between tasks are guarded by these
// primitives, built on the scheduler's task queues. They are never OS
// primitives: waiting always hands the baton to another task through the
// scheduler, so a waiting task never blocks the engine.
//
// - Lock: mutual exclusion with an owner, waiters ordered by priority
//   (first come, first served among equals), priority inheritance along
//   chains of owners, and a deadlock check that aborts the engine. Not
//   recursive: taking a lock one already holds is a deadlock.
// - Sem: a counting semaphore with a maximum count; a signal hands its unit
//   straight to the first waiter; a stoppable wait ends early when the task
//   is asked to stop.
// - RwLock: readers share, a writer drains the readers and then keeps the
//   inner lock for the whole write.
//
// Only engine tasks lock or wait. The GUI thread may signal a semaphore;
// a lock operation or a wait that would block on the GUI thread, and any
// lock or semaphore wait while the scheduler is held, abort the engine
// (Std_abort). The records are plain structs embedded in their owners.
#pragma once

#include <cstdint>

struct EngineContext;
struct Scheduler;
struct Task;

struct Lock {
    Task *owner;          // the task that holds it; null when free
    Lock *nextHeld;       // next lock in the owner's chain of held locks
    Task *waitQueue;      // waiting tasks, highest priority first
    Scheduler *scheduler; // null: never initialised, operations do nothing
};

struct Sem {
    uint32_t count;
    uint32_t maximum;     // a signal without a waiter raises count only below this
    Scheduler *scheduler; // null: never initialised, operations do nothing
    Task *waitQueue;      // waiting tasks, highest priority first
};

struct RwLock {
    int32_t readers; // readers inside
    Lock lock;       // held briefly by readers, for the whole write by a writer
    Sem writerGate;  // count 0, maximum 1: wakes a writer when readers leave
};

// Makes lock free and ties it to the context's scheduler. Returns 0.
int Lock_init(EngineContext *context, Lock *lock);
// Nothing to release; the record belongs to its owner.
void Lock_fini(Lock *lock);

// Takes the lock for the current task, waiting (and lending the waiter's
// priority to the owner and the owners it waits on) while another task
// holds it. A deadlock, including taking a lock the task already holds,
// a call while the scheduler is held, and a call from the GUI thread
// abort the engine and do not return.
void Lock_acquire(Lock *lock);

// Gives the lock to its first waiter, or frees it. The owner's priority
// drops back to what its base, its joiner and its other locks' waiters
// call for. A release by a task that does not own the lock aborts.
void Lock_release(Lock *lock);

// Sets count and maximum and ties the semaphore to the context's scheduler.
// Returns 0.
int Sem_init(EngineContext *context, Sem *sem, uint32_t count, uint32_t maximum);
// Nothing to release.
void Sem_fini(Sem *sem);

// Takes one unit, waiting for a signal when there is none. A wait while the
// scheduler is held, or one that would block the GUI thread, aborts.
void Sem_wait(Sem *sem);

// Sem_wait that ends early when the current task is asked to stop: 48
// (Res_stopRequested) when a stop was requested before or during the wait,
// else 0. A unit that reached the task together with a stop request goes
// back to the semaphore, so no unit is lost.
[[nodiscard]] int Sem_waitStoppable(Sem *sem);

// Hands one unit to the first waiter (which runs at once when its priority
// is above the running task's), or adds it to the count while the count is
// below the maximum. Callable from the GUI thread.
void Sem_signal(Sem *sem);

// The current count through *count (0 when sem is null). Returns 0, or 8
// (Res_nullInput) without an out pointer.
[[nodiscard]] int Sem_getCount(const Sem *sem, uint32_t *count);

// Reader/writer lock. Init returns 0, or the error of the semaphore set-up
// (the inner lock is finished again then).
[[nodiscard]] int RwLock_init(EngineContext *context, RwLock *rw);
void RwLock_fini(RwLock *rw);
void RwLock_readLock(RwLock *rw);
void RwLock_readUnlock(RwLock *rw);

// Takes the write lock: returns 0 holding the inner lock once no reader is
// inside. With readers inside and mayWait 0 it returns 1556
// (Res_readersPresent) without the lock; when the task is asked to stop
// while it waits for readers, Res_stopRequested without the lock.
[[nodiscard]] int RwLock_writeLock(RwLock *rw, int mayWait);

// Takes the write lock, waiting (not stoppable) until no reader is inside.
void RwLock_writeLockWait(RwLock *rw);

// Ends a write: releases the inner lock and wakes a writer waiting for the
// gate, so that it checks the readers again.
void RwLock_writeUnlock(RwLock *rw);
