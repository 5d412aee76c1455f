#include "tests/support/test_engine.h"

bool TestHeap_open(TestHeap *t, size_t heapBytes, int mode)
{
    t->instance = nullptr;
    t->host = Headless_createContext(heapBytes);
    if (!t->host)
        return false;
    Headless_setCurrent(t->host);
    t->instance = Mem_createEngineContext(mode);
    if (!t->instance) {
        Headless_destroyContext(t->host);
        t->host = nullptr;
        return false;
    }
    t->instance->host = t->host;
    Host_setInstance(t->host, t->instance);
    Mem_resetContext();
    if (mode == 1)
        Mem_setChunkMode(1);
    return true;
}

void TestHeap_close(TestHeap *t)
{
    if (t->instance) {
        Mem_releaseChunks();
        Host_setInstance(t->host, nullptr);
        t->instance = nullptr;
    }
    Headless_destroyContext(t->host);
    t->host = nullptr;
}

size_t TestHeap_usedBytes()
{
    MemStats s;
    if (Mem_getStats(&s) != 0)
        return 0;
    return s.usedBytes;
}

#include <csetjmp>

#include "core/task/task.h"
#include "platform/host/hostthread.h"
#include "platform/vfs/vfs.h"
#include "tests/support/document_ops.h"
#include "tests/support/stream_types.h"

bool TestEngine_open(TestEngine *e, size_t heapBytes)
{
    *e = TestEngine{};
    if (!TestHeap_open(&e->heap, heapBytes, 0))
        return false;
    e->host = e->heap.host;
    e->instance = e->heap.instance;
    Headless_setManualClock(e->host, 1);
    e->context = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    if (e->context) {
        e->context->instance = e->instance;
        e->instance->context = e->context;
        if (TestSupport_registerStreamTypes(e->context) &&
            TestSupport_installDocumentOps(e->context) &&
            HostThread_create(e->host, nullptr, nullptr, 0) &&
            Task_initScheduler(e->instance, AlienThread_getInstaller()) == 0) {
            e->scheduler = e->context->scheduler;
            return true;
        }
    }
    TestEngine_close(e);
    return false;
}

void TestEngine_close(TestEngine *e)
{
    if (e->host)
        HostThread_destroyAll(e->host);
    if (e->instance && e->context) {
        Task_finiScheduler(e->instance);
        Vfs_unregisterTypes(e->context);
        e->instance->context = nullptr;
        Mem_free(e->context);
    }
    TestHeap_close(&e->heap);
    *e = TestEngine{};
}

// Kept free of objects with destructors: an abort long-jumps into it.
int TestEngine_runSlice(TestEngine *e)
{
    if (setjmp(e->instance->recovery) != 0)
        return -1;
    return Task_runSlice(e->instance);
}

int TestEngine_runAll(TestEngine *e, int limit)
{
    int slices = 0;
    while (slices < limit) {
        int r = TestEngine_runSlice(e);
        if (r < 0)
            return -1;
        slices++;
        if (r == 0)
            break;
    }
    return slices;
}

int TestEngine_catch(TestEngine *e, void (*fn)(void *arg), void *arg)
{
    if (setjmp(e->instance->recovery) != 0)
        return -1;
    fn(arg);
    return 0;
}
