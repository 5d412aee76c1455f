// The engine heap: block sizes, best fit, splitting, merging, realloc moves,
// chunk modes, the out-of-memory flag, and a randomized run against a
// reference model with the full invariant check after every step.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "core/mem/mem.h"
#include "tests/support/test_engine.h"

namespace {

class HeapTest : public ::testing::Test {
  protected:
    void open(int mode, size_t bytes = 1 << 20)
    {
        ASSERT_TRUE(TestHeap_open(&heap, bytes, mode));
    }
    void SetUp() override
    {
        open(0);
    }
    void TearDown() override
    {
        EXPECT_EQ(Mem_check(), 0);
        TestHeap_close(&heap);
    }
    void reopen(int mode, size_t bytes = 1 << 20)
    {
        TestHeap_close(&heap);
        open(mode, bytes);
    }
    TestHeap heap{};
};

uint8_t *bytes(void *p)
{
    return static_cast<uint8_t *>(p);
}

TEST_F(HeapTest, RequestSizesRoundToBlocks)
{
    struct {
        size_t request, block;
    } cases[] = {{1, 64}, {24, 64}, {56, 64}, {57, 80}, {72, 80}, {73, 96}, {1000, 1008}};
    for (auto c : cases) {
        void *p = Mem_malloc(c.request);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Mem_blockSize(p), c.block) << "request " << c.request;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << "request " << c.request;
        Mem_free(p);
    }
    EXPECT_EQ(TestHeap_usedBytes(), 0u);
}

TEST_F(HeapTest, FreeBlockSplitsOnlyWhenTheRestIsBigEnough)
{
    void *a = Mem_malloc(120); // a 128-byte block
    void *guard = Mem_malloc(8);
    ASSERT_EQ(Mem_blockSize(a), 128u);
    Mem_free(a);

    void *p = Mem_malloc(56); // needs 64: splits into 64 + 64
    EXPECT_EQ(p, a);
    EXPECT_EQ(Mem_blockSize(p), 64u);
    void *q = Mem_malloc(56); // takes the 64-byte rest
    EXPECT_EQ(q, bytes(a) + 64);
    Mem_free(p);
    Mem_free(q);

    void *r = Mem_malloc(72); // needs 80: the rest would be 48, so no split
    EXPECT_EQ(r, a);
    EXPECT_EQ(Mem_blockSize(r), 128u);
    Mem_free(r);
    Mem_free(guard);
}

TEST_F(HeapTest, EqualSizesTakeTheLowerAddress)
{
    void *a = Mem_malloc(200);
    void *g1 = Mem_malloc(8);
    void *b = Mem_malloc(200);
    void *g2 = Mem_malloc(8);
    Mem_free(b);
    Mem_free(a);
    EXPECT_EQ(Mem_malloc(200), a);
    EXPECT_EQ(Mem_malloc(200), b);
    Mem_free(a);
    Mem_free(b);
    Mem_free(g1);
    Mem_free(g2);
}

TEST_F(HeapTest, FreeingFirstThirdSecondLeavesOneBlock)
{
    void *p[3];
    for (auto &x : p)
        x = Mem_malloc(100);
    void *guard = Mem_malloc(8);
    MemStats before;
    Mem_getStats(&before);
    Mem_free(p[0]);
    Mem_free(p[2]);
    Mem_free(p[1]);
    MemStats after;
    Mem_getStats(&after);
    EXPECT_EQ(after.freeBlocks, before.freeBlocks + 1);
    // The merged block serves a request of all three at the first address.
    void *big = Mem_malloc(3 * 112 - 8);
    EXPECT_EQ(big, p[0]);
    Mem_free(big);
    Mem_free(guard);
}

TEST_F(HeapTest, ReallocMovesDownIntoAFreePredecessor)
{
    void *a = Mem_malloc(200);
    uint8_t *b = bytes(Mem_malloc(200));
    void *guard = Mem_malloc(8);
    for (int i = 0; i < 200; i++)
        b[i] = uint8_t(i);
    Mem_free(a);
    uint8_t *c = bytes(Mem_realloc(b, 40)); // a shrink, still moved down
    EXPECT_EQ(c, a);
    for (int i = 0; i < 40; i++)
        ASSERT_EQ(c[i], uint8_t(i));
    Mem_free(c);
    Mem_free(guard);
}

TEST_F(HeapTest, ReallocGrowsInPlaceOrMovesKeepingContents)
{
    uint8_t *a = bytes(Mem_malloc(100));
    for (int i = 0; i < 100; i++)
        a[i] = uint8_t(3 * i);
    uint8_t *grown = bytes(Mem_realloc(a, 5000)); // free space follows
    EXPECT_EQ(grown, a);
    void *blocker = Mem_malloc(8);
    uint8_t *moved = bytes(Mem_realloc(grown, 20000)); // no room: moves
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, grown);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(moved[i], uint8_t(3 * i));
    Mem_free(moved);
    Mem_free(blocker);
    EXPECT_EQ(TestHeap_usedBytes(), 0u);
}

TEST_F(HeapTest, ZeroSizesAndNullPointers)
{
    EXPECT_EQ(Mem_malloc(0), nullptr);
    EXPECT_EQ(Mem_calloc(0, 10), nullptr);
    EXPECT_EQ(Mem_calloc(10, 0), nullptr);
    EXPECT_EQ(Mem_takeOutOfMemory(), 0);
    Mem_free(nullptr);
    void *p = Mem_realloc(nullptr, 30);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Mem_realloc(p, 0), nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), 0u);
    EXPECT_EQ(Mem_takeOutOfMemory(), 0);
}

TEST_F(HeapTest, CallocZeroesReusedMemory)
{
    uint8_t *p = bytes(Mem_malloc(500));
    memset(p, 0xAB, 500);
    Mem_free(p);
    uint8_t *q = bytes(Mem_calloc(50, 10));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 500; i++)
        ASSERT_EQ(q[i], 0);
    Mem_free(q);
}

TEST_F(HeapTest, NormalModeFailsAndFlagsOnce)
{
    EXPECT_EQ(Mem_malloc(16 << 20), nullptr); // beyond the one 8 MiB chunk
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    EXPECT_EQ(Mem_takeOutOfMemory(), 0);
    void *p = Mem_malloc(100);
    EXPECT_EQ(Mem_realloc(p, 16 << 20), nullptr); // old block untouched
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    EXPECT_EQ(Mem_blockSize(p), 112u);
    Mem_free(p);
}

TEST_F(HeapTest, SizesThatWouldWrapAreRefused)
{
    struct {
        size_t count, size;
    } cases[] = {{1, SIZE_MAX}, {1, SIZE_MAX - 8}, {SIZE_MAX / 2, 4}, {SIZE_MAX, SIZE_MAX}};
    for (auto c : cases) {
        EXPECT_EQ(Mem_calloc(c.count, c.size), nullptr);
        EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    }
    EXPECT_EQ(Mem_malloc(SIZE_MAX), nullptr);
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    void *p = Mem_malloc(10);
    EXPECT_EQ(Mem_realloc(p, SIZE_MAX - 3), nullptr);
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    Mem_free(p);
}

TEST_F(HeapTest, SmallModeAddsChunksOfAtLeastTheRequest)
{
    reopen(1);
    EXPECT_EQ(Mem_getChunkMode(), 1);
    EXPECT_EQ(Mem_chunkSize(), size_t(Mem_smallChunkSize));
    std::vector<void *> blocks;
    for (int i = 0; i < 3; i++) {
        void *p = Mem_malloc(3 << 20); // bigger than any chunk so far
        ASSERT_NE(p, nullptr);
        memset(p, i, 3 << 20);
        blocks.push_back(p);
    }
    MemStats s;
    Mem_getStats(&s);
    EXPECT_EQ(s.chunkCount, 4u);
    EXPECT_EQ(Mem_takeOutOfMemory(), 0);
    for (void *p : blocks)
        Mem_free(p);
}

TEST_F(HeapTest, SmallModeChunkTableGrows)
{
    reopen(1);
    std::vector<void *> blocks;
    for (int i = 0; i < 70; i++) { // more chunks than the first table holds
        void *p = Mem_malloc(1 << 20);
        ASSERT_NE(p, nullptr) << i;
        blocks.push_back(p);
    }
    MemStats s;
    Mem_getStats(&s);
    EXPECT_GE(s.chunkCount, 70u);
    for (void *p : blocks)
        Mem_free(p);
}

TEST_F(HeapTest, ByteLimitStopsChunkGrowth)
{
    reopen(1);
    Mem_setLimit(4 << 20);
    void *a = Mem_malloc(2 << 20);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Mem_malloc(3 << 20), nullptr);
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    Mem_free(a);
}

TEST_F(HeapTest, InjectedFailuresLeaveTheHeapSound)
{
    void *keep = Mem_malloc(64);
    Mem_failAfter(3);
    EXPECT_NE(Mem_malloc(10), nullptr);
    void *second = Mem_malloc(10);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(Mem_realloc(keep, 5000), nullptr);
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    EXPECT_EQ(Mem_blockSize(keep), 80u);
    void *later = Mem_malloc(10); // only one failure was asked for
    EXPECT_NE(later, nullptr);
    EXPECT_EQ(Mem_check(), 0);
    Mem_free(keep);
    Mem_free(second);
    Mem_free(later);
}

TEST_F(HeapTest, NoEngineInstanceMeansNoHeap)
{
    Host_setInstance(heap.host, nullptr);
    EXPECT_EQ(Mem_malloc(10), nullptr);
    EXPECT_EQ(Mem_takeOutOfMemory(), 0);
    Mem_free(nullptr);
    Host_setInstance(heap.host, heap.instance);
}

// Random operations checked against a reference model of the live blocks
// and their contents, with the full invariant check after every step.
TEST_F(HeapTest, RandomOperationsAgainstAReferenceModel)
{
    for (int mode = 0; mode <= 1; mode++) {
        reopen(mode);
        std::mt19937 rng(1234 + mode);
        std::map<uint8_t *, std::pair<size_t, uint8_t>> live;
        auto fill = [](uint8_t *p, size_t n, uint8_t seed, size_t from) {
            for (size_t i = from; i < n; i++)
                p[i] = uint8_t(seed + i * 13);
        };
        auto verify = [](uint8_t *p, size_t n, uint8_t seed) {
            for (size_t i = 0; i < n; i++)
                if (p[i] != uint8_t(seed + i * 13))
                    return false;
            return true;
        };
        for (int step = 0; step < 6000; step++) {
            int op = rng() % 10;
            size_t n = (rng() % 4 == 0) ? rng() % 60000 : rng() % 600;
            if (op < 4 || live.empty()) {
                uint8_t *p = bytes(Mem_malloc(n));
                if (p) {
                    ASSERT_EQ(live.count(p), 0u);
                    uint8_t seed = uint8_t(rng());
                    fill(p, n, seed, 0);
                    live[p] = {n, seed};
                }
            } else {
                auto it = live.begin();
                std::advance(it, rng() % live.size());
                uint8_t *p = it->first;
                auto [size, seed] = it->second;
                ASSERT_TRUE(verify(p, size, seed)) << "step " << step;
                if (op < 7) {
                    Mem_free(p);
                    live.erase(it);
                } else {
                    uint8_t *q = bytes(Mem_realloc(p, n));
                    if (q || n == 0) {
                        live.erase(it);
                        if (q) {
                            size_t kept = size < n ? size : n;
                            ASSERT_TRUE(verify(q, kept, seed)) << "step " << step;
                            fill(q, n, seed, kept);
                            live[q] = {n, seed};
                        }
                    } else {
                        ASSERT_TRUE(verify(p, size, seed));
                    }
                }
            }
            Mem_takeOutOfMemory();
            ASSERT_EQ(Mem_check(), 0) << "step " << step;
        }
        for (auto &[p, info] : live) {
            ASSERT_TRUE(verify(p, info.first, info.second));
            Mem_free(p);
        }
        EXPECT_EQ(TestHeap_usedBytes(), 0u);
        MemStats s;
        Mem_getStats(&s);
        EXPECT_EQ(s.freeBlocks, s.chunkCount); // everything merged back
    }
}

#if defined(VEXLAN_SANITIZE)
// The sanitizer build sees misuse of engine memory.
TEST(HeapSanitizerDeathTest, OverrunAndUseAfterFreeAreReported)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto overrun = [] {
        TestHeap h;
        TestHeap_open(&h, 1 << 20, 0);
        char *p = static_cast<char *>(Mem_malloc(20));
        p[20] = 1; // one past the request, inside the block's slack
    };
    EXPECT_DEATH(overrun(), "AddressSanitizer");
    auto useAfterFree = [] {
        TestHeap h;
        TestHeap_open(&h, 1 << 20, 0);
        char *p = static_cast<char *>(Mem_malloc(100));
        Mem_free(p);
        p[0] = 1;
    };
    EXPECT_DEATH(useAfterFree(), "AddressSanitizer");
    // A block grown or shrunk in place: past its new end, and the free
    // space after it, stay out of bounds.
    auto pastGrown = [] {
        TestHeap h;
        TestHeap_open(&h, 1 << 20, 0);
        char *p = static_cast<char *>(Mem_realloc(Mem_malloc(20), 200));
        p[200] = 1;
    };
    EXPECT_DEATH(pastGrown(), "AddressSanitizer");
    auto freeAfterGrown = [] {
        TestHeap h;
        TestHeap_open(&h, 1 << 20, 0);
        char *p = static_cast<char *>(Mem_realloc(Mem_malloc(20), 200));
        p[4096] = 1;
    };
    EXPECT_DEATH(freeAfterGrown(), "AddressSanitizer");
    auto shrunkTail = [] {
        TestHeap h;
        TestHeap_open(&h, 1 << 20, 0);
        char *p = static_cast<char *>(Mem_realloc(Mem_malloc(200), 20));
        p[100] = 1;
    };
    EXPECT_DEATH(shrunkTail(), "AddressSanitizer");
}
#endif

} // namespace
