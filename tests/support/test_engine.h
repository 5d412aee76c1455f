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
