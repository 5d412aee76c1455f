// The scheduler and engine tasks.
//
// Every engine task has a host thread of its own, but exactly one thread
// runs at any time: the host's GUI thread or one task's thread. A baton
// passes between them (platform/host/hostthread.h), so the engine is
// switched only where its code asks for it: at yield points and when a task
// waits on a lock or semaphore (core/task/lock.h). The host gives the engine
// time in slices: a slice starts when the GUI thread calls Task_runSlice and
// ends when control comes back to the GUI thread. Within a slice the
// scheduler switches between ready tasks by priority, round robin among
// equal priorities, at time-driven yield points that are at least a floor
// apart; a switch budget bounds the switch decisions of one slice.
//
// Scheduler and task fields change only on the thread that holds the baton,
// so they need no OS lock. Engine frames hold no objects with destructors:
// an abort long-jumps back to the host and destroyed threads unwind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct EngineInstance;
struct Scheduler;
struct Task;

// A task's body; it runs on the task's own thread.
typedef void (*TaskEntryFn)(void *argument);

// Fills the scheduler's platform operations; called once by
// Task_initScheduler with the instance, whose context points at the new
// scheduler.
typedef void (*TaskInstallerFn)(EngineInstance *instance);

// Task flags.
enum : uint32_t {
    Task_detached = 1,      // reaped as soon as it ends
    Task_stoppableWait = 2, // inside Sem_waitStoppable
    Task_ownThread = 4,     // runs on a host thread of its own
    Task_stopRequested = 8,
    Task_semWait = 16,  // waiting on a semaphore
    Task_lockWait = 32, // waiting on a lock
    Task_ended = 64,    // the entry function has returned
    Task_blockedMask = Task_semWait | Task_lockWait | Task_ended,
};

// The operations a platform gives the scheduler, in slot order.
struct TaskPlatformOps {
    int32_t threaded; // 1: every task has its own thread
    void (*fini)(Scheduler *sched);
    void *(*createThread)(Scheduler *sched, Task *task, size_t stackBytes); // handle or null
    void (*destroyThread)(Scheduler *sched, Task *task);
    void (*runInPlace)(Task *task);                   // runs a task without a thread of its own
    void (*switchTo)(Scheduler *sched, void *thread); // null: the GUI thread
    void (*abort)(EngineInstance *instance);          // does not return
    size_t (*stackQuery)(Task *task);                 // bytes of stack left
    void *contextSave;                                // unused on this platform
    void *guiThread;                                  // the GUI thread's handle: null
};

struct Scheduler {
    EngineInstance *instance;
    Task *current;      // running task; null while the GUI thread runs
    Task *readyQueue;   // by current priority, highest first, FIFO among equals
    Task *taskList;     // every task, through Task::nextTask
    Task *finishedList; // ended tasks waiting to be joined
    Task *reapList;     // ended tasks destroyed at the next switch
    int32_t runnable;   // ready or running tasks
    int32_t taskCount;
    int32_t switchBudget;   // switch decisions left; 0 returns to the GUI thread
    int32_t budgetPerSlice; // 100 x slice length
    int32_t scratch;        // cleared at every yield; nothing reads it
    int32_t sliceMs;
    int64_t sliceDeadline; // engine clock (ms)
    int32_t floorMs;       // least time between two time-driven switches
    int64_t nextSwitch;    // engine clock (ms)
    int32_t inSwitch;      // 1 while a switch is decided or performed
    int32_t hold;          // non-zero: no switch; a wait aborts the engine
    TaskPlatformOps ops;
    void *platformData; // engine heap block freed with the scheduler
};

struct Task {
    Task *nextTask;  // scheduler's task list
    Task *queueLink; // ready queue, a wait queue, finished or reap list
    TaskEntryFn entry;
    void *argument;
    Sem *semWaited;       // while Task_semWait
    Lock *lockWaited;     // while Task_lockWait
    Sem *stopSem;         // while Task_stoppableWait
    const char *name;     // owned by the creator
    int32_t basePriority; // larger runs first
    int32_t priority;     // current: base, raised by inheritance
    int32_t state;        // 1 from creation
    Scheduler *scheduler;
    Lock completion; // held by the task until it ends; joiners wait on it;
                     // its nextHeld heads the task's chain of held locks
    void *thread;    // platform thread handle
    uint32_t flags;
};

// Default figures of a new scheduler and the stack every thread gets on top
// of what its creator asks for.
enum : int32_t {
    Task_defaultSliceMs = 200,
    Task_defaultFloorMs = 50,
    Task_budgetPerMs = 100,
    Task_extraStackBytes = 8192,
};

// ------------------------------------------------------------- scheduler

// Creates the scheduler (slice 200 ms, floor 50 ms, budget 20000), points
// the instance and its engine context at it and calls the installer with
// the instance. Returns 0, or 1 when the instance has no engine context or
// memory ran out. The scheduler belongs to the instance until
// Task_finiScheduler.
[[nodiscard]] int Task_initScheduler(EngineInstance *instance, TaskInstallerFn installer);

// Calls the platform's fini operation and frees the platform data and the
// scheduler; the instance's pointer is cleared, and the context's when the
// instance still has its context (clear instance->context first when the
// context has been freed already). Tasks still alive are left to the host,
// which ends their threads when it destroys them.
void Task_finiScheduler(EngineInstance *instance);

// Runs ready tasks for one slice on the GUI thread; returns when a switch
// decision hands control back. 1 when ready tasks remain afterwards, else 0
// (also at once when nothing is ready).
int Task_runSlice(EngineInstance *instance);

// Sets the slice length (negative is ignored). The floor shrinks to the
// slice when it is longer; the budget becomes 100 x ms.
void Task_setSlice(EngineInstance *instance, int32_t ms);

// Ends the slice at the next switch decision.
void Task_expireSlice(EngineContext *context);

// While on is non-zero no switch happens, and any lock or semaphore wait
// aborts the engine.
void Task_holdScheduler(EngineContext *context, int on);

// ------------------------------------------------------------------ tasks

// Creates a task and puts it in the ready queue; it first runs when the
// scheduler switches to it. The platform is asked for a thread with
// stackBytes + 8192 (a label: real threads get a generous stack). The task
// record is the engine's; it goes away when the task has ended and been
// joined or detached. Returns 0 with *task set; Res_missingArgument
// without an out pointer, entry, context or scheduler; 1 when memory ran out
// or the platform gave no thread (*task stays null).
[[nodiscard]] int Task_create(EngineContext *context, Task **task, int32_t priority,
                              TaskEntryFn entry, void *argument, const char *name,
                              size_t stackBytes);

// The running task; null on the GUI thread. A null context means the
// calling thread's engine instance.
Task *Task_current(EngineContext *context);
// 1 when called from a task, else 0.
int Task_hasCurrent(EngineContext *context);

// Bytes of stack left to the task (the current one when task is null), as
// measured by the platform; 0 when there is no task.
size_t Task_stackLeft(EngineContext *context, Task *task);

// The engine context of the task's scheduler (of the current task when null;
// the calling thread's instance context when there is no task).
EngineContext *Task_getSchedulerCtx(Task *task);

// Changes the base priority. Raising also raises the owners of the locks the
// task waits for; lowering keeps what inheritance lent. Switches at once
// when a running task now has a lower priority than a ready changed task.
void Task_setPriority(Task *task, int32_t priority);
// The current priority (0 for null).
int32_t Task_getPriority(const Task *task);
// The name pointer stays the caller's.
void Task_setName(Task *task, const char *name);

// Time-driven yield point: switches when the floor time has passed since
// the last switch, and returns to the GUI thread when the slice is over.
void Task_yield(EngineContext *context);
// Forced yield: switches now (the slice still ends at its deadline).
void Task_reschedule(EngineContext *context);
// Res_stopRequested when the current task has been asked to stop;
// else yields like Task_yield and returns 0. From tasks only (0 elsewhere).
[[nodiscard]] int Task_checkStop(EngineContext *context);

// Asks a task to stop: it sees the request at its next Task_checkStop or
// stoppable wait (both return 48); a task inside Sem_waitStoppable is woken
// ahead of the other waiters. Returns 0 (Res_missingArgument for null).
int Task_requestStop(Task *task);
// Clears the current task's stop request. Returns 0.
int Task_clearStop(EngineContext *context);

// The task is reaped as soon as it has ended (at once when it has).
// Returns 0 (Res_missingArgument for null).
int Task_detach(Task *task);

// Waits until the task ends (lending it the caller's priority meanwhile), then
// detaches it: the record is gone after the next switch. Returns 0;
// Res_notJoinable when it is detached or already has a joiner;
// Res_missingArgument for null. Joining oneself, or a task that waits for the
// joiner, aborts.
[[nodiscard]] int Task_join(Task *task);

// The abort path of the engine: sets the abort mark of the calling thread's
// engine instance and hands control back to the host's recovery point, after
// the platform has ended every engine thread. Does not return.
[[noreturn]] void Std_abort();
// The scheduler's abort service: runs the platform abort operation.
[[noreturn]] void Std_abortService(EngineInstance *instance);

// ---------------------------------------- inside the task module and locks

// Inserts a task into a queue by current priority, behind the tasks of its
// own priority; nothing when the task is met before its place.
void Task_queueInsert(Task **queue, Task *task);
// Unlinks a task from a queue (nothing when it is not there).
void Task_queueRemove(Task **queue, Task *task);
// Takes the first task off a wait queue, ends its wait (flag 16 or 32) and
// makes it ready. Returns it, or null for an empty queue.
Task *Task_wakeFirst(Scheduler *sched, Task **queue, uint32_t waitFlag);
// Switch decision on the calling thread, then destruction of reaped tasks.
void Task_switchNext(Scheduler *sched);
// The same on a given scheduler.
void Task_yieldOn(Scheduler *sched, int force);
// Raises a task and, transitively, the owners of the locks it waits on, to
// at least priority.
void Task_raisePriority(Task *task, int32_t priority);
// Recomputes a task's current priority from its base, its joiner and the
// waiters of the locks it holds; returns 1 when it changed.
int Task_updatePriority(Task *task);
// The routine every task thread runs when first switched to.
void Task_threadBody(Task *task);
// The scheduler of the calling thread's engine instance, or null.
Scheduler *Task_schedulerOf(EngineContext *context);
