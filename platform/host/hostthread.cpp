// Host thread services over POSIX threads and semaphores, and the platform
// thread operations that the scheduler calls through its slots.
//
// The baton: the holder writes the host's current record, posts the target's
// semaphore and waits on its own; semaphore waits interrupted by a signal
// are retried. Nothing here blocks on an OS primitive while holding the
// baton but that semaphore, and the join of a thread that was just told to
// end (it needs no baton to end).
#include "platform/host/hostthread.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdlib>

#include "core/host/hostservices.h"
#include "platform/api/engine.h"

namespace {

// Handed to a new thread, which frees it at once.
struct StartRec {
    HostContext *host;
    HostThreadRec *record;
    HostThreadRoutine routine;
    void *argument;
};

void waitBaton(HostThreadRec *record)
{
    while (sem_wait(&record->sem) != 0 && errno == EINTR) {
    }
}

// Notes where the calling thread's stack lies, for the stack query.
void noteStack(HostThreadRec *record)
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return;
    void *low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &low, &size) == 0) {
        record->stackLow = reinterpret_cast<uintptr_t>(low);
        record->stackSize = size;
    }
    pthread_attr_destroy(&attr);
}

void unlinkRecord(HostContext *host, HostThreadRec *record)
{
    for (HostThreadRec **link = &host->threadList; *link; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            record->next = nullptr;
            return;
        }
    }
}

void *threadStart(void *p)
{
    StartRec start = *static_cast<StartRec *>(p);
    free(p);
    waitBaton(start.record);
    if (start.record->exitFlag)
        return nullptr;
    noteStack(start.record);
    start.routine(start.argument);
    // A routine that returns still holds the baton: give it to the GUI
    // thread, every time it comes back, until the thread is destroyed.
    for (;;)
        HostThread_switchTo(start.host, nullptr);
}

void taskThreadEntry(void *task)
{
    Task_threadBody(static_cast<Task *>(task));
}

void finiOp(Scheduler *) {}

HostContext *hostOf(Scheduler *sched)
{
    return sched && sched->instance ? sched->instance->host : nullptr;
}

void installOps(EngineInstance *instance)
{
    Scheduler *s = instance ? instance->scheduler : nullptr;
    if (!s)
        return;
    s->ops.threaded = 1;
    s->ops.fini = finiOp;
    s->ops.createThread = AlienThread_create;
    s->ops.destroyThread = AlienThread_destroy;
    s->ops.runInPlace = Task_threadBody;
    s->ops.switchTo = AlienThread_switch;
    s->ops.abort = AlienThread_abortToHost;
    s->ops.stackQuery = AlienThread_stackLeft;
    s->ops.contextSave = nullptr;
    s->ops.guiThread = nullptr;
}

} // namespace

// ----------------------------------------------------------- host threads

HostThreadRec *HostThread_create(HostContext *host, HostThreadRoutine routine, void *argument,
                                 size_t)
{
    if (!host)
        return nullptr;
    HostThreadRec *record = static_cast<HostThreadRec *>(calloc(1, sizeof(HostThreadRec)));
    if (!record)
        return nullptr;
    if (sem_init(&record->sem, 0, 0) != 0) {
        free(record);
        return nullptr;
    }
    if (!routine) {
        record->thread = pthread_self();
        noteStack(record);
        record->next = host->threadList;
        host->threadList = record;
        if (!host->mainThread) {
            host->mainThread = record;
            host->currentThread = record;
        }
        return record;
    }

    record->next = host->threadList;
    host->threadList = record;
    StartRec *start = static_cast<StartRec *>(malloc(sizeof(StartRec)));
    sigset_t alarm, old;
    pthread_attr_t attr;
    bool masked = false, attrMade = false;
    int created = -1;
    if (!start)
        goto fail;
    *start = StartRec{host, record, routine, argument};
    // The host's timer signal must reach the GUI thread only: new threads
    // inherit a mask that blocks it.
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    if (pthread_sigmask(SIG_BLOCK, &alarm, &old) != 0)
        goto fail;
    masked = true;
    if (pthread_attr_init(&attr) != 0)
        goto fail;
    attrMade = true;
    size_t stack;
    if (pthread_attr_getstacksize(&attr, &stack) != 0 || stack < HostThread_minStack) {
        stack = HostThread_minStack;
        if (pthread_attr_setstacksize(&attr, stack) != 0)
            goto fail;
    }
    record->stackSize = stack;
    created = pthread_create(&record->thread, &attr, threadStart, start);
fail:
    if (attrMade)
        pthread_attr_destroy(&attr);
    if (masked)
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (created == 0)
        return record;
    free(start);
    unlinkRecord(host, record);
    sem_destroy(&record->sem);
    free(record);
    return nullptr;
}

void HostThread_switchTo(HostContext *host, HostThreadRec *record)
{
    if (!host)
        return;
    HostThreadRec *target = record ? record : host->mainThread;
    HostThreadRec *previous = host->currentThread;
    if (!target || !previous)
        return;
    host->currentThread = target;
    sem_post(&target->sem);
    waitBaton(previous);
    if (previous->exitFlag)
        pthread_exit(nullptr);
}

void HostThread_destroy(HostContext *host, HostThreadRec *record)
{
    if (!host || !record)
        return;
    unlinkRecord(host, record);
    if (record == host->mainThread || pthread_equal(record->thread, pthread_self())) {
        // A registered thread (the GUI thread) or the caller itself: there is
        // no thread to end, only the registration.
        if (host->mainThread == record)
            host->mainThread = nullptr;
        if (host->currentThread == record)
            host->currentThread = nullptr;
    } else {
        // The thread waits on its semaphore, at its start or in a switch; it
        // wakes, sees the flag and ends.
        record->exitFlag = 1;
        sem_post(&record->sem);
        pthread_join(record->thread, nullptr);
    }
    sem_destroy(&record->sem);
    free(record);
}

void HostThread_destroyAll(HostContext *host)
{
    if (!host)
        return;
    HostThreadRec *next;
    for (HostThreadRec *r = host->threadList; r; r = next) {
        next = r->next;
        HostThread_destroy(host, r);
    }
}

// ---------------------------------------------- platform thread operations

TaskInstallerFn AlienThread_getInstaller()
{
    return installOps;
}

void *AlienThread_create(Scheduler *sched, Task *task, size_t stackBytes)
{
    HostContext *host = hostOf(sched);
    // Without the GUI thread registered there is no one to hand back to.
    if (!host || !host->mainThread || !task)
        return nullptr;
    HostThreadRec *record = HostThread_create(host, taskThreadEntry, task, stackBytes);
    if (record)
        task->flags |= Task_ownThread;
    return record;
}

void AlienThread_destroy(Scheduler *sched, Task *task)
{
    if (!task)
        return;
    HostThread_destroy(hostOf(sched), static_cast<HostThreadRec *>(task->thread));
    task->thread = nullptr;
}

void AlienThread_switch(Scheduler *sched, void *thread)
{
    EngineInstance *instance = sched->instance;
    HostThread_switchTo(instance->host, static_cast<HostThreadRec *>(thread));
    if (instance->abortMark == 1)
        AlienThread_abortToHost(instance);
}

void AlienThread_abortToHost(EngineInstance *instance)
{
    HostContext *host = instance->host;
    Scheduler *s = instance->scheduler;
    if (s && s->current) {
        // A task thread: the GUI thread, waiting in its switch, finishes the
        // abort and destroys this thread, so the switch never returns.
        s->current = nullptr;
        for (;;)
            HostThread_switchTo(host, nullptr);
    }
    HostThread_destroyAll(host);
    if (s) {
        for (Task *t = s->taskList; t; t = t->nextTask)
            t->thread = nullptr;
    }
    longjmp(instance->recovery, 1);
}

size_t AlienThread_stackLeft(Task *task)
{
    HostThreadRec *record = task ? static_cast<HostThreadRec *>(task->thread) : nullptr;
    if (!record)
        return 0;
    if (!pthread_equal(record->thread, pthread_self()) || !record->stackLow)
        return record->stackSize;
    uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    return here > record->stackLow ? here - record->stackLow : 0;
}
