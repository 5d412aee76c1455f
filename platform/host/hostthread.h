// Host thread services and the platform thread operations of the scheduler.
//
// Every engine task gets a POSIX thread of its own, yet exactly one of the
// host's GUI thread and the task threads runs at any time: each thread owns
// a semaphore and sleeps on it whenever it does not hold the baton. Handing
// over posts the target's semaphore and waits on one's own. The host context
// keeps the GUI thread's record (main), the holder of the baton (current)
// and the list of every record.
//
// The records live outside the engine heap (system allocator), since they
// belong to the host and outlive an engine that aborts.
#pragma once

#include <pthread.h>
#include <semaphore.h>

#include <cstddef>
#include <cstdint>

#include "core/task/task.h"

struct HostContext;

struct HostThreadRec {
    pthread_t thread;
    sem_t sem;           // the thread sleeps on it while it lacks the baton
    int32_t exitFlag;    // end the thread instead of resuming
    HostThreadRec *next; // the host's thread list
    uintptr_t stackLow;  // lowest address of the thread's stack, once known
    size_t stackSize;    // size of the thread's stack
};

typedef void (*HostThreadRoutine)(void *argument);

// Real threads get at least this much stack whatever the engine asks for:
// the requested sizes are labels.
enum : size_t { HostThread_minStack = 256 * 1024 };

// With a routine: starts a thread that waits for the baton before it runs
// routine(argument); should the routine return, the thread hands the baton
// to the GUI thread and waits to be destroyed. Without a routine: registers
// the calling thread; the first thread registered becomes the host's main
// and current thread. stackBytes is a label (see HostThread_minStack).
// The record belongs to the host until HostThread_destroy. Null when memory,
// the semaphore, the signal mask or the thread could not be had; then
// nothing is left behind.
HostThreadRec *HostThread_create(HostContext *host, HostThreadRoutine routine, void *argument,
                                 size_t stackBytes);

// Hands the baton to the record's thread (the main thread for null) and
// sleeps until it comes back. A thread destroyed meanwhile never returns.
void HostThread_switchTo(HostContext *host, HostThreadRec *record);

// Ends one thread (it must be waiting for the baton: at start or in a
// switch) and frees its record. The main record and the calling thread's
// own record are only unregistered. Nothing for null.
void HostThread_destroy(HostContext *host, HostThreadRec *record);

// Destroys every record in the host's list.
void HostThread_destroyAll(HostContext *host);

// ------------------------------------------- platform thread operations

// The installer that fills a scheduler's platform operations with the
// functions below; the host hands it to engine start-up.
TaskInstallerFn AlienThread_getInstaller();

// A host thread for the task, running the task body when first switched to;
// sets the task's own-thread flag. Null on failure.
void *AlienThread_create(Scheduler *sched, Task *task, size_t stackBytes);

// Ends the task's thread and clears its handle.
void AlienThread_destroy(Scheduler *sched, Task *task);

// Hands the baton to the thread (null: the GUI thread). When the calling
// thread runs again while the engine aborts, it continues the abort.
void AlienThread_switch(Scheduler *sched, void *thread);

// On a task thread: clears the current task and hands the baton to the GUI
// thread for good. On the GUI thread: ends every thread, clears the tasks'
// thread handles and long-jumps to the instance's recovery point with 1.
[[noreturn]] void AlienThread_abortToHost(EngineInstance *instance);

// Bytes of stack left: measured below the caller's frame when the task is
// the calling thread's, else the whole stack of the task's thread.
size_t AlienThread_stackLeft(Task *task);
