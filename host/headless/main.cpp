// vexlan-headless: runs the engine without a screen.
//
// For now it brings up the engine's memory (the host's first block, the
// instance record and the heap), exercises the heap and reports what it
// has; opening documents comes with the engine's later layers.
#include <cstdio>
#include <cstring>

#include "core/mem/mem.h"
#include "host/headless/headless.h"
#include "platform/api/engine.h"

int main(int argc, char **argv)
{
    if (argc > 2 || (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help")))) {
        fprintf(stderr, "usage: %s [document]\n", argv[0]);
        return 2;
    }
    HostContext *host = Headless_createContext(0);
    if (!host) {
        fprintf(stderr, "vexlan-headless: out of memory\n");
        return 1;
    }
    Headless_setCurrent(host);
    EngineInstance *inst = Mem_createEngineContext(0);
    if (!inst) {
        fprintf(stderr, "vexlan-headless: the engine heap could not be created\n");
        Headless_destroyContext(host);
        return 1;
    }
    inst->host = host;
    Host_setInstance(host, inst);
    Mem_resetContext();

    void *probe = Mem_malloc(4096);
    MemStats stats;
    Mem_getStats(&stats);
    Mem_free(probe);
    printf("vexlan-headless: engine heap of %zu bytes ready (%zu bytes free)\n",
           Mem_getInitialSize(), stats.freeBytes + stats.usedBytes);
    if (argc == 2)
        printf("vexlan-headless: %s not opened: this build cannot open documents yet\n", argv[1]);

    Mem_releaseChunks();
    Host_setInstance(host, nullptr);
    Headless_destroyContext(host);
    return 0;
}
