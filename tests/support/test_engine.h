// Test support: a headless host context with an engine instance and heap,
// made current for the calling process.
#pragma once

#include <cstddef>

#include "core/mem/mem.h"
#include "host/headless/headless.h"
#include "platform/api/engine.h"

struct TestHeap {
    HostContext *host;
    EngineInstance *instance;
};

// Creates the host context (heapBytes, 0 for the default), makes it current,
// creates the engine instance and resets the heap; mode 1 selects small
// chunks. Returns false when anything fails.
bool TestHeap_open(TestHeap *t, size_t heapBytes, int mode);

// Returns every chunk to the host and destroys the host context.
void TestHeap_close(TestHeap *t);

// Bytes in allocated heap blocks right now.
size_t TestHeap_usedBytes();

struct Scheduler;

// A test engine: a TestHeap, an engine context from its heap, the calling
// thread registered as the GUI thread and a scheduler over the host thread
// operations. The host clock is manual and starts at 0.
struct TestEngine {
    TestHeap heap;
    HostContext *host;
    EngineInstance *instance;
    EngineContext *context;
    Scheduler *scheduler;
};

// Returns false when anything fails (everything made is undone).
bool TestEngine_open(TestEngine *e, size_t heapBytes = 0);

// Ends every host thread (tasks still alive included), finishes the
// scheduler and closes the heap. Also fine after an abort.
void TestEngine_close(TestEngine *e);

// Runs one slice on the calling (GUI) thread with the instance's recovery
// point set: returns what Task_runSlice returned, or -1 when the engine
// aborted back to the recovery point.
int TestEngine_runSlice(TestEngine *e);

// Runs slices until none is left to run or the limit is reached; returns
// the number of slices run, or -1 after an abort.
int TestEngine_runAll(TestEngine *e, int limit = 1000);

// Calls fn(arg) on the calling (GUI) thread with the recovery point set:
// 0 when it returned, -1 when the engine aborted.
int TestEngine_catch(TestEngine *e, void (*fn)(void *arg), void *arg);
