// Host memory glue: the first block and its first chunk, chunk release, the
// debug messages, and the key-code table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "host/headless/headless.h"
#include "platform/api/engine.h"
#include "core/host/hostmem.h"
#include "tests/support/test_engine.h"

namespace {

size_t headerBytes()
{
    return sizeof(EngineInstance) + Mem_heapContextSize();
}

TEST(HostMemory, FirstBlockGivesTheRestAsFirstChunk)
{
    HostContext *host = Headless_createContext(1 << 20);
    Headless_setCurrent(host);
    Headless_captureDebug(host, 1);
    EngineInstance *inst = Mem_createEngineContext(0);
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(std::string(Headless_debugText(host)), "8388608 bytes allocated for RAW heap\n");
    EXPECT_EQ(Mem_getInitialSize(), 0u); // no instance in the host context yet
    Host_setInstance(host, inst);
    Mem_resetContext();
    EXPECT_EQ(Mem_getInitialSize(), size_t(8 << 20));
    EXPECT_EQ(reinterpret_cast<uint8_t *>(inst->heap),
              reinterpret_cast<uint8_t *>(inst) + sizeof(EngineInstance));

    size_t size = 100;
    void *chunk = Host_mallocChunk(&size);
    EXPECT_EQ(chunk, reinterpret_cast<uint8_t *>(inst) + headerBytes());
    EXPECT_EQ(size, size_t(8 << 20) - headerBytes());
    // Later chunks come from the host allocator, at least the request.
    size_t more = 3 << 20;
    void *second = Host_mallocChunk(&more);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(more, size_t(3 << 20));
    Host_freeBlock(second);
    Host_setInstance(host, nullptr);
    free(inst);
    Headless_destroyContext(host);
}

TEST(HostMemory, OneMegabyteFirstBlock)
{
    HostContext *host = Headless_createContext(1 << 20);
    Headless_setCurrent(host);
    size_t size = 1 << 20;
    void *block = Host_mallocInitial(&size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, size_t(1 << 20));
    free(block);
    Headless_destroyContext(host);
}

TEST(HostMemory, TooSmallFirstBlockIsRefused)
{
    HostContext *host = Headless_createContext(0);
    Headless_setCurrent(host);
    Headless_captureDebug(host, 1);
    size_t size = headerBytes() - 1;
    EXPECT_EQ(Host_mallocInitial(&size), nullptr);
    EXPECT_EQ(std::string(Headless_debugText(host)),
              "Host_mallocInitial requested size is too small\n");
    Headless_destroyContext(host);
}

TEST(HostMemory, ReleasingChunksReturnsEverything)
{
    // Under the sanitizer build a double or missing release is reported.
    TestHeap heap;
    ASSERT_TRUE(TestHeap_open(&heap, 1 << 20, 1));
    void *big = Mem_malloc(2 << 20);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(Mem_firstChunk(), reinterpret_cast<uint8_t *>(heap.instance) + headerBytes());
    TestHeap_close(&heap);
}

TEST(HostMemory, KeyCodes)
{
    struct {
        int host, widget;
    } cases[] = {{0x41, 0x41}, {0, 0},       {0xFFFF, 0xFFFF}, {0x10000, 0}, {0x10001, 3},
                 {0x10003, 1}, {0x10008, 0}, {0x10009, 15},    {0x1000a, 0}, {0x1000f, 9},
                 {0x10014, 8}, {0x10015, 0}, {0x20000, 0}};
    for (auto c : cases)
        EXPECT_EQ(Host_mapKeyCode(c.host), c.widget) << std::hex << c.host;
    EXPECT_EQ(Host_keyCodeBase(), 0x10003);
}

} // namespace
