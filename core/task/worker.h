// The worker pool: eight long-lived engine tasks that run submitted jobs.
//
// Work that should run beside the application loop (loading a document,
// the document manager, destroying a document, searching) goes to the pool
// instead of a task of its own. Workers differ only in stack size, and a
// job states the stack it needs: after sorting, "Worker0" to "Worker3" have
// 4096 bytes, "Worker4" and "Worker5" 16384 and "Worker6" and "Worker7"
// 18432 (requested sizes; labels on this host). Jobs come in three classes,
// 2 the most urgent: a job of class c starts only while at least 3 - c
// workers are idle, so that urgent work always finds a worker; otherwise it
// waits in its class's queue, in submission order. A job takes the first
// idle worker (smallest stack first) whose stack is large enough.
//
// Every job has an optional done callback that runs exactly once: after
// the job has run, when it is cancelled while queued, and when the pool
// stops before the job could run. The pool lock guards the queues, the
// running lists, the idle count, the stopping flag and the jobs' state;
// entries and done callbacks run without it. Every call that takes the pool
// lock, or waits, is for engine tasks only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct Task;
struct WorkerPool;

// A job's entry and done callback.
typedef void (*WorkerFn)(void *argument);

enum : int32_t {
    Worker_count = 8,
    Worker_classes = 3,
    Worker_nameBytes = 48, // a job's name, truncated to fit
};

struct WorkerSlot {
    WorkerPool *pool;
    Task *task;
    Sem wake;              // count 0, maximum 1
    struct WorkerJob *job; // null: idle
    size_t stackBytes;
    char name[16]; // "Worker%d"
};

struct WorkerJob {
    WorkerJob *next; // its class's queue or running list
    EngineContext *context;
    int32_t jobClass;  // 0 to 2
    size_t stackBytes; // stack needed
    int32_t detached;  // freed by its worker when done
    int32_t done;
    int32_t waiting; // somebody waits on completion
    Sem completion;  // count 0, maximum 1
    WorkerFn entry;
    void *argument;
    WorkerFn doneFn;             // optional; runs exactly once
    WorkerSlot *slot;            // the worker running it; null while queued
    int32_t cancelled;           // taken out of its queue without running
    char name[Worker_nameBytes]; // the worker task's name while it runs the job
};

struct WorkerPool {
    EngineContext *context;
    Lock lock;
    int32_t stopping;
    int32_t idle;                       // workers without a job
    WorkerJob **tails[Worker_classes];  // last link of each queue
    WorkerJob *heads[Worker_classes];   // waiting jobs, submission order
    WorkerJob *running[Worker_classes]; // jobs taken by a worker, newest first
    WorkerSlot slots[Worker_count];     // by stack size, smallest first
};

// Creates the pool and its eight workers (priority 1) into context->workers.
// Returns 0; 1 when memory ran out; Res_slotInUse when the context has a pool;
// 16 without context; or the task error, after which everything made is taken
// down again and the context has no pool.
[[nodiscard]] int Worker_initPool(EngineContext *context);

// Submits a job of class jobClass (0 to 2) needing stackBytes of stack. The job
// handle goes to *job; the caller owns it and ends it with Worker_waitAndFree
// or Worker_detach. name is copied. Returns 0; 1 when memory ran out;
// Res_poolStopping when the pool stops; Res_jobStackTooLarge when no worker has
// that much stack (a job no worker can run would wait for ever);
// Res_missingArgument for a missing pool, out pointer or entry, or a class
// outside 0 to 2. *job is null on failure, and the done callback is not called
// then.
[[nodiscard]] int Worker_submit(EngineContext *context, WorkerJob **job, int32_t jobClass,
                                WorkerFn entry, void *argument, WorkerFn doneFn, size_t stackBytes,
                                const char *name);

// A queued job leaves its queue and its done callback runs (a detached one
// is freed then); a running job's worker is asked to stop, so that the
// job's own stop checks end it early. Returns 0 (Res_missingArgument for null).
int Worker_cancel(WorkerJob *job);

// Ends the caller's ownership: a queued job leaves its queue (its done
// callback runs), a running one is waited for; then the job is freed.
void Worker_waitAndFree(WorkerJob *job);

// A done or cancelled job is freed at once; any other is freed by its
// worker when done.
void Worker_detach(WorkerJob *job);

// Sets the stopping flag and asks every worker to stop: jobs still queued
// or picked from now on are not run, but their done callbacks are.
void Worker_stopAll(EngineContext *context);
// Joins every worker task (from a task: it waits).
void Worker_joinAll(EngineContext *context);
// Frees the pool (the workers must have ended); a job still queued gets
// its done callback first. Clears context->workers.
void Worker_destroyPool(EngineContext *context);
// Worker_stopAll, Worker_joinAll, Worker_destroyPool.
void Worker_shutdownPool(EngineContext *context);

// Finishes the job's semaphore and frees it (null allowed).
void Worker_freeJob(WorkerJob *job);
