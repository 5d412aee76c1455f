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
