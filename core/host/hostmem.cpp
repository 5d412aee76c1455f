// Host memory and key-code glue: the only engine code besides the host
// thread and file services that calls the system allocator.
#include "core/host/hostmem.h"

#include <cstdint>
#include <cstdio>

#include "core/context/context.h"
#include "core/host/hostservices.h"
#include "core/mem/mem.h"

namespace {

// Widget key codes for host codes 0x10001 to 0x10014.
constexpr int keyTable[20] = {3, 4, 1, 2, 22, 21, 16, 0, 15, 0, 17, 18, 19, 20, 9, 6, 10, 5, 7, 8};

size_t headerBytes()
{
    return sizeof(EngineInstance) + Mem_heapContextSize();
}

} // namespace

void *Host_mallocInitial(size_t *size)
{
    if (!size)
        return nullptr;
    if (*size < headerBytes()) {
        HostDebug_print("Host_mallocInitial requested size is too small\n");
        return nullptr;
    }
    void *block = AlienMemory_malloc(size);
    if (!block) {
        HostDebug_print("AlienMemory_malloc returns NULL\n");
        return nullptr;
    }
    char line[64];
    snprintf(line, sizeof line, "%zu bytes allocated for RAW heap\n", *size);
    HostDebug_print(line);
    return block;
}

void *Host_mallocChunk(size_t *size)
{
    if (!size)
        return nullptr;
    EngineInstance *inst = Host_getThreadContext();
    if (inst && !inst->firstChunkGiven) {
        inst->firstChunkGiven = 1;
        size_t initial = Mem_getInitialSize();
        if (initial <= headerBytes()) {
            *size = 0;
            return nullptr;
        }
        *size = initial - headerBytes();
        return reinterpret_cast<uint8_t *>(inst) + headerBytes();
    }
    void *block = AlienMemory_malloc(size);
    if (!block)
        HostDebug_print("AlienMemory_malloc returns NULL\n");
    return block;
}

void Host_freeBlock(void *block)
{
    if (!block)
        return;
    if (block == Mem_firstChunk()) {
        Host_releaseBlock(Host_getThreadContext());
        return;
    }
    Host_releaseBlock(block);
}

int Host_mapKeyCode(int code)
{
    if (code < 0x10000)
        return code;
    if (code >= 0x10001 && code <= 0x10014)
        return keyTable[code - 0x10001];
    return 0;
}

int Host_keyCodeBase()
{
    return 0x10003;
}
