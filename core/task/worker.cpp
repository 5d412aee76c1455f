// The worker pool: submission with the admission rule, the workers' loop,
// cancelling, waiting, detaching and the pool's shut-down.
//
// A worker that finishes a job picks the next one for itself: the first
// queued job of the most urgent class that the admission rule lets start
// and that fits its stack. It also hands queued jobs that it cannot take
// to other idle workers that can: a job held back by the admission rule may
// become startable when a small worker frees up, while only a larger worker
// (asleep and idle) can run it; without this hand-over it would wait until
// that larger worker happened to finish something.
//
// While the pool stops, the admission rule no longer holds (there is no
// urgent work left to keep workers for), so the largest worker drains every
// queue before it ends: each queued job gets its done callback, not run.
#include "core/task/worker.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/fmt.h"

namespace {

// Requested stacks of the eight workers, in their original slot order.
constexpr size_t workerStacks[Worker_count] = {4096, 4096, 4096, 4096, 18432, 18432, 16384, 16384};
constexpr int32_t workerPriority = 1;

bool admits(const WorkerPool *pool, int32_t jobClass)
{
    return pool->stopping || pool->idle >= 3 - jobClass;
}

void unlinkQueued(WorkerPool *pool, WorkerJob *job)
{
    int32_t c = job->jobClass;
    for (WorkerJob **link = &pool->heads[c]; *link; link = &(*link)->next) {
        if (*link == job) {
            *link = job->next;
            if (pool->tails[c] == &job->next)
                pool->tails[c] = link;
            job->next = nullptr;
            return;
        }
    }
}

void unlinkRunning(WorkerPool *pool, WorkerJob *job)
{
    for (WorkerJob **link = &pool->running[job->jobClass]; *link; link = &(*link)->next) {
        if (*link == job) {
            *link = job->next;
            job->next = nullptr;
            return;
        }
    }
}

// Gives a job to a slot: front of its class's running list; lock held.
void startOn(WorkerPool *pool, WorkerJob *job, WorkerSlot *slot)
{
    job->slot = slot;
    slot->job = job;
    job->next = pool->running[job->jobClass];
    pool->running[job->jobClass] = job;
    pool->idle--;
}

// The next job for an idle slot, taken out of its queue; lock held.
WorkerJob *pickFor(WorkerPool *pool, WorkerSlot *slot)
{
    for (int32_t c = Worker_classes - 1; c >= 0; c--) {
        if (!admits(pool, c))
            break;
        for (WorkerJob *job = pool->heads[c]; job; job = job->next) {
            if (job->stackBytes <= slot->stackBytes) {
                unlinkQueued(pool, job);
                startOn(pool, job, slot);
                return job;
            }
        }
    }
    return nullptr;
}

// Hands queued jobs to other idle slots; the slots to wake go to wake[].
// Lock held. While stopping, workers only pick for themselves: an idle
// worker may have ended already.
int dispatchIdle(WorkerPool *pool, WorkerSlot **wake)
{
    int n = 0;
    if (pool->stopping)
        return 0;
    for (int32_t c = Worker_classes - 1; c >= 0; c--) {
        WorkerJob *job = pool->heads[c];
        while (job && admits(pool, c)) {
            WorkerJob *next = job->next;
            for (WorkerSlot &slot : pool->slots) {
                if (!slot.job && slot.stackBytes >= job->stackBytes) {
                    unlinkQueued(pool, job);
                    startOn(pool, job, &slot);
                    wake[n++] = &slot;
                    break;
                }
            }
            job = next;
        }
        if (!admits(pool, c))
            break;
    }
    return n;
}

// Marks a job done and lets go of it; lock held. Returns the completion
// semaphore to signal once the lock is released (the waiter then frees the
// job), or null.
Sem *finishJob(WorkerPool *pool, WorkerJob *job)
{
    job->done = 1;
    unlinkRunning(pool, job);
    job->slot = nullptr;
    if (job->detached) {
        Worker_freeJob(job);
        return nullptr;
    }
    return job->waiting ? &job->completion : nullptr;
}

// Runs a job and every job picked after it. skip: the job was handed over
// together with a stop request and is not run. Returns when no job is
// left for this slot.
void runJobs(WorkerSlot *slot, WorkerJob *job, int skip)
{
    WorkerPool *pool = slot->pool;
    Task *self = slot->task;
    while (job) {
        if (!skip && !pool->stopping) {
            Task_setName(self, job->name);
            job->entry(job->argument);
        }
        if (job->doneFn)
            job->doneFn(job->argument);
        Task_setName(self, slot->name);

        Lock_acquire(&pool->lock);
        // A stop request outside shut-down was meant for the job just done.
        if ((self->flags & Task_stopRequested) && !pool->stopping)
            self->flags &= ~Task_stopRequested;
        Sem *completion = finishJob(pool, job);
        pool->idle++;
        WorkerJob *next = pickFor(pool, slot);
        slot->job = next;
        WorkerSlot *wake[Worker_count];
        int woken = dispatchIdle(pool, wake);
        skip = pool->stopping;
        Lock_release(&pool->lock);

        for (int i = 0; i < woken; i++)
            Sem_signal(&wake[i]->wake);
        if (completion)
            Sem_signal(completion);
        job = next;
    }
}

void workerMain(void *argument)
{
    WorkerSlot *slot = static_cast<WorkerSlot *>(argument);
    WorkerPool *pool = slot->pool;
    for (;;) {
        int r = Sem_waitStoppable(&slot->wake);
        Lock_acquire(&pool->lock);
        WorkerJob *job = slot->job;
        if (!job) {
            if (!pool->stopping) {
                // Nothing to do: a stray stop request is dropped.
                slot->task->flags &= ~Task_stopRequested;
                Lock_release(&pool->lock);
                continue;
            }
            // The pool stops: help finish what is queued, then end.
            job = pickFor(pool, slot);
            slot->job = job;
        }
        Lock_release(&pool->lock);
        runJobs(slot, job, r != Res_ok);
        if (pool->stopping)
            return;
    }
}

void copyName(char *dst, const char *name)
{
    size_t n = name ? strlen(name) : 0;
    if (n >= Worker_nameBytes)
        n = Worker_nameBytes - 1;
    if (n)
        memcpy(dst, name, n);
    dst[n] = 0;
}

// Ends the workers created so far and frees the pool (failed set-up).
void takeDown(EngineContext *context, WorkerPool *pool)
{
    pool->stopping = 1;
    for (WorkerSlot &slot : pool->slots)
        if (slot.task)
            Task_requestStop(slot.task);
    if (!Task_hasCurrent(context)) {
        // The GUI thread cannot wait: let the workers run to their end (a
        // worker asked to stop before it ran ends at its first switch).
        for (;;) {
            int alive = 0;
            for (WorkerSlot &slot : pool->slots)
                if (slot.task && !(slot.task->flags & Task_ended))
                    alive = 1;
            if (!alive || !Task_runSlice(context->instance))
                break;
        }
    }
    for (WorkerSlot &slot : pool->slots) {
        if (slot.task)
            (void)Task_join(slot.task); // the worker is gone either way
        Sem_fini(&slot.wake);
    }
    Lock_fini(&pool->lock);
    Mem_free(pool);
}

} // namespace

int Worker_initPool(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    if (context->workers)
        return Res_slotInUse;
    WorkerPool *pool = static_cast<WorkerPool *>(Mem_calloc(1, sizeof(WorkerPool)));
    if (!pool)
        return Res_noMemory;
    pool->context = context;
    Lock_init(context, &pool->lock);
    pool->idle = Worker_count;
    for (int32_t c = 0; c < Worker_classes; c++)
        pool->tails[c] = &pool->heads[c];

    // Slots sorted by stack size, smallest first, then numbered.
    size_t stacks[Worker_count];
    for (int i = 0; i < Worker_count; i++) {
        size_t s = workerStacks[i];
        int j = i;
        for (; j > 0 && stacks[j - 1] > s; j--)
            stacks[j] = stacks[j - 1];
        stacks[j] = s;
    }
    for (int i = 0; i < Worker_count; i++) {
        WorkerSlot &slot = pool->slots[i];
        slot.pool = pool;
        slot.stackBytes = stacks[i];
        Fmt_snprintf(slot.name, sizeof slot.name, "Worker%d", i);
        Sem_init(context, &slot.wake, 0, 1);
    }
    for (WorkerSlot &slot : pool->slots) {
        int r = Task_create(context, &slot.task, workerPriority, workerMain, &slot, slot.name,
                            slot.stackBytes);
        if (r != Res_ok) {
            takeDown(context, pool);
            return r;
        }
    }
    context->workers = pool;
    return Res_ok;
}

int Worker_submit(EngineContext *context, WorkerJob **job, int32_t jobClass, WorkerFn entry,
                  void *argument, WorkerFn doneFn, size_t stackBytes, const char *name)
{
    if (job)
        *job = nullptr;
    WorkerPool *pool = context ? context->workers : nullptr;
    if (!pool || !job || !entry || jobClass < 0 || jobClass >= Worker_classes)
        return Res_missingArgument;
    if (stackBytes > pool->slots[Worker_count - 1].stackBytes)
        return Res_jobStackTooLarge;
    WorkerJob *j = static_cast<WorkerJob *>(Mem_calloc(1, sizeof(WorkerJob)));
    if (!j)
        return Res_noMemory;
    j->context = context;
    j->jobClass = jobClass;
    j->stackBytes = stackBytes;
    j->entry = entry;
    j->argument = argument;
    j->doneFn = doneFn;
    copyName(j->name, name);
    Sem_init(context, &j->completion, 0, 1);

    Lock_acquire(&pool->lock);
    if (pool->stopping) {
        Lock_release(&pool->lock);
        Worker_freeJob(j);
        return Res_poolStopping;
    }
    *job = j;
    WorkerSlot *target = nullptr;
    if (admits(pool, jobClass)) {
        for (WorkerSlot &slot : pool->slots) {
            if (!slot.job && slot.stackBytes >= stackBytes) {
                target = &slot;
                break;
            }
        }
    }
    if (target) {
        startOn(pool, j, target);
    } else {
        *pool->tails[jobClass] = j;
        pool->tails[jobClass] = &j->next;
    }
    Lock_release(&pool->lock);
    if (target)
        Sem_signal(&target->wake);
    return Res_ok;
}

int Worker_cancel(WorkerJob *job)
{
    if (!job)
        return Res_missingArgument;
    WorkerPool *pool = job->context->workers;
    if (!pool)
        return Res_ok;
    Lock_acquire(&pool->lock);
    if (job->done || job->cancelled) {
        Lock_release(&pool->lock);
        return Res_ok;
    }
    if (job->slot) {
        // Under the lock the worker cannot finish the job meanwhile, so the
        // request cannot reach the worker's next job.
        Task_requestStop(job->slot->task);
        Lock_release(&pool->lock);
        return Res_ok;
    }
    unlinkQueued(pool, job);
    job->cancelled = 1;
    WorkerFn doneFn = job->doneFn;
    void *argument = job->argument;
    int detached = job->detached;
    Lock_release(&pool->lock);
    if (doneFn)
        doneFn(argument);
    // Nobody else will free a detached job that never runs.
    if (detached)
        Worker_freeJob(job);
    return Res_ok;
}

void Worker_waitAndFree(WorkerJob *job)
{
    if (!job)
        return;
    WorkerPool *pool = job->context->workers;
    if (!pool) {
        Worker_freeJob(job);
        return;
    }
    Lock_acquire(&pool->lock);
    if (job->done || job->cancelled) {
        Lock_release(&pool->lock);
        Worker_freeJob(job);
        return;
    }
    if (!job->slot) {
        unlinkQueued(pool, job);
        job->cancelled = 1;
        Lock_release(&pool->lock);
        if (job->doneFn)
            job->doneFn(job->argument);
        Worker_freeJob(job);
        return;
    }
    job->waiting = 1;
    Lock_release(&pool->lock);
    Sem_wait(&job->completion);
    Worker_freeJob(job);
}

void Worker_detach(WorkerJob *job)
{
    if (!job)
        return;
    WorkerPool *pool = job->context->workers;
    if (!pool) {
        Worker_freeJob(job);
        return;
    }
    Lock_acquire(&pool->lock);
    int finished = job->done || job->cancelled;
    if (!finished)
        job->detached = 1;
    Lock_release(&pool->lock);
    if (finished)
        Worker_freeJob(job);
}

void Worker_stopAll(EngineContext *context)
{
    WorkerPool *pool = context ? context->workers : nullptr;
    if (!pool)
        return;
    Lock_acquire(&pool->lock);
    pool->stopping = 1;
    for (WorkerSlot &slot : pool->slots)
        if (slot.task)
            Task_requestStop(slot.task);
    Lock_release(&pool->lock);
}

void Worker_joinAll(EngineContext *context)
{
    WorkerPool *pool = context ? context->workers : nullptr;
    if (!pool)
        return;
    for (WorkerSlot &slot : pool->slots) {
        if (slot.task) {
            (void)Task_join(slot.task); // the worker is gone either way
            slot.task = nullptr;
        }
    }
}

void Worker_destroyPool(EngineContext *context)
{
    WorkerPool *pool = context ? context->workers : nullptr;
    if (!pool)
        return;
    // Normally empty: the workers drain the queues before they end.
    for (int32_t c = 0; c < Worker_classes; c++) {
        while (WorkerJob *job = pool->heads[c]) {
            unlinkQueued(pool, job);
            job->cancelled = 1;
            if (job->doneFn)
                job->doneFn(job->argument);
            if (job->detached)
                Worker_freeJob(job);
        }
    }
    for (WorkerSlot &slot : pool->slots)
        Sem_fini(&slot.wake);
    Lock_fini(&pool->lock);
    context->workers = nullptr;
    Mem_free(pool);
}

void Worker_shutdownPool(EngineContext *context)
{
    Worker_stopAll(context);
    Worker_joinAll(context);
    Worker_destroyPool(context);
}

void Worker_freeJob(WorkerJob *job)
{
    if (!job)
        return;
    Sem_fini(&job->completion);
    Mem_free(job);
}
