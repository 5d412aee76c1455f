// The engine's door to the host: start-up and shut-down of an engine
// instance. The instance and context records themselves are in
// core/context/context.h.
#pragma once

#include <cstdint>

#include "core/context/context.h"
#include "core/task/exitlist.h"

// ------------------------------------------------ start-up and shut-down
//
// A running engine is one host block: the instance at its head, the heap
// behind it. Start (host event 0x10007) creates it, runs the application
// entry and arms the host timer; stop (host event 0x10009) lets the
// application thread handle its close event, ends every engine thread,
// finishes the scheduler and hands every heap chunk back to the host, the
// first (the instance itself) last. After that the instance pointer is
// dead: the host context no longer holds it and every entry refuses it.

struct HostContext;
typedef void (*TaskInstallerFn)(EngineInstance *instance);

// Host requests and alert codes that the engine sends.
enum : int32_t {
    Engine_requestReady = 0x10004,  // the application is ready
    Engine_requestFailed = 0x10009, // the engine could not start; the host gives up
    Engine_errorOutOfMemory = 0x10006,
};

// Creates the instance: the host block with the heap, the identity record,
// the engine context, the scheduler (filled by installer) and the reply
// semaphore; registers the calling thread as the host's GUI thread when the
// host has none. Heap flags above 1 are refused (0, nothing sent); bit 0
// selects small heap chunks. Any other failure sends host request 0x10009,
// frees what was made and answers 0. The host must be current (its
// context is what Host_getThreadContext answers from).
EngineInstance *Engine_createContext(HostContext *host, TaskInstallerFn installer, int heapFlags);

// Stores the entry and calls it with the start event. A non-zero answer
// sets the timer period to 20 ms and the run state to 0x10004 and arms the
// host timer for 20 ms. The answer is stored and returned.
int Engine_runEntry(EngineInstance *instance, const AppEvent *startEvent);

// The handler of host event 0x10009, on the GUI thread. 0 when a stop hook
// refused (the engine keeps running and nothing is freed); else the engine
// goes down completely and 1 comes back.
int Engine_shutdown(EngineInstance *instance);

// After a fatal error has long-jumped back to a host entry: the engine goes
// down whatever the stop hooks say (its threads are gone already), and the
// host gets its close-down notice.
void Engine_abortToHost(EngineInstance *instance);

// 1 when the engine may stop: it has its queue record and context, is not
// shutting down, and every stop hook agrees (called in list order; the
// first 0 answers 0). With freeHooks set and all agreeing, the hooks are
// freed.
int Engine_canStop(EngineInstance *instance, int freeHooks);

// The semaphore on which the engine waits for the host's answer to a
// question (count 0, maximum 1). 0 or 1 (no memory).
[[nodiscard]] int Engine_createReplySem(EngineInstance *instance);

// 1 when instance is the engine that the calling thread's host runs now.
int Engine_isLive(const EngineInstance *instance);

// Takes down what an instance holds, whatever state it is in: pending
// events are disposed of, the exit list runs, every host thread ends, the
// scheduler is finished and every heap chunk goes back to the host (the
// instance last); the host context forgets the instance. Used by the end of
// a shut-down, an abort and a failed start.
void Engine_teardown(EngineInstance *instance);
