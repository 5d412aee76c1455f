// The budgeted path cache: sizing from the budget, resizing and freeing,
// finding and storing, eviction within the budget (by the data area and by
// the entry pool, through fragmentation, across 2^32 uses), dropping an
// owner, resetting, refusals, and a random run that checks every arena
// invariant after each step.
#include <map>
#include <random>
#include <utility>

#include "graphics/glyphcache.h"
#include "core/result.h"
#include "tests/graphics/glyphcache_support.h"

namespace {

using PathCacheTest = CacheTest;

uint32_t largestPow2AtMost(uint32_t v)
{
    uint32_t p = 1;
    while (p * 2 <= v)
        p *= 2;
    return p;
}

// Keys 1, 2, ... that fall into distinct buckets, count of them.
std::vector<uint32_t> keysInDistinctBuckets(uint32_t buckets, size_t count)
{
    std::vector<uint32_t> keys;
    std::vector<bool> used(buckets);
    for (uint32_t k = 1; keys.size() < count; k++) {
        uint32_t b = refBucket(k, buckets);
        if (!used[b]) {
            used[b] = true;
            keys.push_back(k);
        }
    }
    return keys;
}

bool has(LruCache *c, uintptr_t id, uint32_t key)
{
    Path *p = nullptr;
    return LruCache_find(c, id, key, &p) == 1 && p != nullptr;
}

TEST_F(PathCacheTest, SizingFollowsTheBudget)
{
    struct Case {
        int32_t budget;
        size_t bytes;
    } cases[] = {
        {1, 1024}, {64, 65536}, {1023, 1023 * 1024}, {1024, 1024}, {2048, 2048}, {5000, 5000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.budget);
        LruCache *pc = nullptr;
        LruArena *mc = nullptr;
        ASSERT_EQ(LruCache_resize(c.budget, &pc), 0);
        ASSERT_EQ(LruArena_resize(c.budget, &mc), 0);

        uint32_t pathEntries = static_cast<uint32_t>((154 * c.bytes / 1024) / 24);
        EXPECT_EQ(pc->entryCount, pathEntries);
        EXPECT_EQ(pc->bucketCount, largestPow2AtMost(pathEntries / 4));
        uint32_t maskEntries = static_cast<uint32_t>((384 * c.bytes / 1024) / 60);
        EXPECT_EQ(mc->entryCount, maskEntries);
        EXPECT_EQ(mc->bucketCount, largestPow2AtMost(maskEntries / 4));

        // One heap block of the budget's size holds everything.
        EXPECT_GE(Mem_blockSize(pc), c.bytes);
        EXPECT_LT(Mem_blockSize(pc), c.bytes + Mem_wordSize + Mem_unit);
        EXPECT_GE(Mem_blockSize(mc), c.bytes);
        EXPECT_LT(Mem_blockSize(mc), c.bytes + Mem_wordSize + Mem_unit);
        EXPECT_LE(pc->data + pc->dataSize, reinterpret_cast<uint8_t *>(pc) + c.bytes);
        EXPECT_GT(pc->data + pc->dataSize + 8, reinterpret_cast<uint8_t *>(pc) + c.bytes);
        EXPECT_LE(mc->data + mc->dataSize, reinterpret_cast<uint8_t *>(mc) + c.bytes);
        checkPathCache(pc);
        checkMaskCache(mc);
        EXPECT_EQ(pc->useCounter, 0u);
        ASSERT_EQ(freeBlocks(pc).size(), 1u);
        EXPECT_EQ(freeBlocks(pc)[0], std::make_pair(size_t{0}, pc->dataSize));

        LruCache_destroy(pc);
        LruArena_destroy(mc);
    }
}

TEST_F(PathCacheTest, ZeroOrNegativeBudgetFrees)
{
    for (int32_t budget : {0, -1, -64}) {
        LruCache *pc = nullptr;
        LruArena *mc = nullptr;
        ASSERT_EQ(LruCache_resize(8, &pc), 0);
        ASSERT_EQ(LruArena_resize(8, &mc), 0);
        EXPECT_EQ(LruCache_resize(budget, &pc), 0);
        EXPECT_EQ(LruArena_resize(budget, &mc), 0);
        EXPECT_EQ(pc, nullptr);
        EXPECT_EQ(mc, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        // Freeing what is already gone is fine too.
        EXPECT_EQ(LruCache_resize(budget, &pc), 0);
    }
    EXPECT_EQ(LruCache_resize(8, nullptr), Res_nullInput);
    EXPECT_EQ(LruArena_resize(8, nullptr), Res_nullInput);
}

TEST_F(PathCacheTest, ResizeResetsAndKeepsTheOldArenaWhenMemoryRunsOut)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(4, &pc), 0);
    TestPath a(10, 1);
    Path *p = &a.path;
    ASSERT_EQ(LruCache_insert(pc, 7, 42, &p), 1);

    LruCache *before = pc;
    Mem_failAfter(1);
    EXPECT_EQ(LruCache_resize(64, &pc), Res_noMemory);
    Mem_failAfter(0);
    (void)Mem_takeOutOfMemory();
    EXPECT_EQ(pc, before);
    EXPECT_TRUE(has(pc, 7, 42)) << "the old contents are kept";
    checkPathCache(pc);

    ASSERT_EQ(LruCache_resize(8, &pc), 0);
    EXPECT_FALSE(has(pc, 7, 42)) << "a resize resets the contents";
    EXPECT_EQ(pc->entryCount, (154u * 8192 / 1024) / 24);
    checkPathCache(pc);
    LruCache_destroy(pc);
}

TEST_F(PathCacheTest, StoresACopyAndFindsIt)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(4, &pc), 0);
    TestPath a(33, 5);
    a.path.subpathStart = a.words.data() + 4;
    Path *p = &a.path;
    ASSERT_EQ(LruCache_insert(pc, 7, 42, &p), 1);
    ASSERT_NE(p, &a.path) << "the caller's pointer now names the cached copy";
    EXPECT_GE(reinterpret_cast<uint8_t *>(p), pc->data);
    EXPECT_LE(reinterpret_cast<uint8_t *>(p) + sizeof(Path) + 33 * 4, pc->data + pc->dataSize);
    EXPECT_TRUE(samePath(p, a));
    EXPECT_EQ(p->subpathStart, p->buffer + 4);
    EXPECT_EQ(p->capacity, 33u);

    // The block is the header plus the words, rounded up to 8 bytes.
    ASSERT_EQ(freeBlocks(pc).size(), 1u);
    EXPECT_EQ(freeBlocks(pc)[0].second, pc->dataSize - ((sizeof(Path) + 33 * 4 + 7) & ~size_t{7}));

    Path *found = nullptr;
    EXPECT_EQ(LruCache_find(pc, 7, 42, &found), 1);
    EXPECT_EQ(found, p);
    EXPECT_EQ(pc->useCounter, 2u) << "the insertion and the hit each take a stamp";

    // The owner is part of the key; the caller's original is untouched.
    found = &a.path;
    EXPECT_EQ(LruCache_find(pc, 8, 42, &found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_FALSE(has(pc, 7, 43));
    EXPECT_EQ(a.path.buffer, a.words.data());
    checkPathCache(pc);
    LruCache_destroy(pc);
}

TEST_F(PathCacheTest, EntriesGoToTheEndOfTheirHashedBucket)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(16, &pc), 0);
    ASSERT_GE(pc->bucketCount, 16u);
    std::vector<uint32_t> keys = {0, 1, 0x10000, 0xFFFF, 0x12345678, 0xFFFFFFFF, 77, 78};
    for (uint32_t k : keys) {
        TestPath t(2, k);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, 1, k, &p), 1);
        // The newest entry is the last of its bucket's chain.
        LruPathEntry *e = pc->buckets[refBucket(k, pc->bucketCount)];
        while (e->next)
            e = e->next;
        EXPECT_EQ(e->key, k);
    }
    checkPathCache(pc);
    LruCache_destroy(pc);
}

TEST_F(PathCacheTest, FindAndInsertNeverAllocate)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(2, &pc), 0);
    MemStats before{};
    ASSERT_EQ(Mem_getStats(&before), 0);
    for (uint32_t k = 0; k < 500; k++) {
        TestPath t(k % 40, k);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, k % 3, k, &p), 1);
        ASSERT_TRUE(has(pc, k % 3, k));
    }
    MemStats after{};
    ASSERT_EQ(Mem_getStats(&after), 0);
    EXPECT_EQ(after.usedBytes, before.usedBytes);
    EXPECT_EQ(after.usedBlocks, before.usedBlocks);
    checkPathCache(pc);
    LruCache_destroy(pc);
}

// The data area fills up: the oldest bucket head goes first, and a hit
// makes an entry young again.
TEST_F(PathCacheTest, EvictsTheOldestBucketHeadWhenTheAreaIsFull)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(4, &pc), 0);
    std::vector<uint32_t> keys = keysInDistinctBuckets(pc->bucketCount, 4);
    // Four blocks of a quarter of the area (less a little) fill it.
    size_t block = (pc->dataSize / 4) & ~size_t{7};
    for (uint32_t k : keys) {
        TestPath t = TestPath::ofBlock(block, k);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, 1, k, &p), 1);
    }
    ASSERT_TRUE(has(pc, 1, keys[0])); // keys[0] is now the youngest

    TestPath t = TestPath::ofBlock(block, 99);
    Path *p = &t.path;
    uint32_t newKey = keys.back() + 1000;
    ASSERT_EQ(LruCache_insert(pc, 1, newKey, &p), 1);
    EXPECT_TRUE(has(pc, 1, keys[0]));
    EXPECT_FALSE(has(pc, 1, keys[1])) << "the oldest head is evicted";
    EXPECT_TRUE(has(pc, 1, keys[2]));
    EXPECT_TRUE(has(pc, 1, keys[3]));
    EXPECT_TRUE(has(pc, 1, newKey));
    checkPathCache(pc);
    LruCache_destroy(pc);
}

// The entry pool runs out before the data area. All keys share one bucket,
// so only its head is a candidate, however recently it was used.
TEST_F(PathCacheTest, EvictsWhenThePoolIsEmptyLookingOnlyAtBucketHeads)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(1, &pc), 0); // 1024 bytes
    ASSERT_EQ(pc->bucketCount, 1u);
    uint32_t n = pc->entryCount;
    ASSERT_GT(pc->dataSize, (n + 1) * (sizeof(Path) + 8)) << "the pool must run out first";
    for (uint32_t k = 0; k <= n; k++) {
        TestPath t(0, k);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, 1, k, &p), 1);
    }
    EXPECT_FALSE(has(pc, 1, 0));
    for (uint32_t k = 1; k <= n; k++)
        EXPECT_TRUE(has(pc, 1, k));
    // Key 1 was just used, but as the bucket's head it is still the one seen.
    ASSERT_TRUE(has(pc, 1, 1));
    TestPath t(0, 500);
    Path *p = &t.path;
    ASSERT_EQ(LruCache_insert(pc, 1, 500, &p), 1);
    EXPECT_FALSE(has(pc, 1, 1));
    EXPECT_TRUE(has(pc, 1, 2));
    checkPathCache(pc);
    LruCache_destroy(pc);
}

// Eight blocks fill the area from its top down. A block twice their size
// needs two neighbours freed: the oldest heads go until a large enough
// free block has formed, and no further.
TEST_F(PathCacheTest, FragmentedAreaEvictsUntilABlockFits)
{
    for (bool touchFirst : {false, true}) {
        SCOPED_TRACE(touchFirst);
        LruCache *pc = nullptr;
        ASSERT_EQ(LruCache_resize(8, &pc), 0);
        ASSERT_GE(pc->bucketCount, 8u);
        std::vector<uint32_t> keys = keysInDistinctBuckets(pc->bucketCount, 8);
        size_t block = (pc->dataSize / 9) & ~size_t{7};
        for (uint32_t k : keys) {
            TestPath t = TestPath::ofBlock(block, k);
            Path *p = &t.path;
            ASSERT_EQ(LruCache_insert(pc, 1, k, &p), 1);
        }
        size_t rest = pc->dataSize - 8 * block;
        ASSERT_LT(rest, 2 * block);
        if (touchFirst) {
            ASSERT_TRUE(has(pc, 1, keys[0]));
        }

        TestPath big = TestPath::ofBlock(2 * block, 7);
        Path *p = &big.path;
        ASSERT_EQ(LruCache_insert(pc, 2, 1, &p), 1);
        EXPECT_TRUE(samePath(p, big));
        // Without the hit keys[0] and keys[1] go (adjacent at the top);
        // with it keys[1] and keys[2] go, and keys[0] stays.
        size_t firstGone = touchFirst ? 1 : 0;
        for (size_t i = 0; i < keys.size(); i++)
            EXPECT_EQ(has(pc, 1, keys[i]), i != firstGone && i != firstGone + 1) << i;
        // The new block filled the merged hole exactly.
        ASSERT_EQ(freeBlocks(pc).size(), 1u);
        EXPECT_EQ(freeBlocks(pc)[0], std::make_pair(size_t{0}, rest));
        checkPathCache(pc);
        LruCache_destroy(pc);
    }
}

TEST_F(PathCacheTest, DataAsLargeAsTheAreaIsRefusedWithoutEviction)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(4, &pc), 0);
    for (uint32_t k = 0; k < 3; k++) {
        TestPath t(8, k);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, 1, k, &p), 1);
    }
    uint64_t counter = pc->useCounter;
    // Blocks of the whole area and larger are refused; nothing moves.
    for (size_t block : {pc->dataSize, pc->dataSize + 8, pc->dataSize * 4}) {
        TestPath t = TestPath::ofBlock(block);
        Path *p = &t.path;
        EXPECT_EQ(LruCache_insert(pc, 1, 100, &p), 0);
        EXPECT_EQ(p, &t.path);
    }
    // A block whose words and header round up to the area is refused too.
    TestPath odd((pc->dataSize - sizeof(Path) - 4) / 4 + 1);
    Path *p = &odd.path;
    EXPECT_EQ(LruCache_insert(pc, 1, 100, &p), 0);
    for (uint32_t k = 0; k < 3; k++)
        EXPECT_TRUE(has(pc, 1, k));
    EXPECT_EQ(pc->useCounter, counter + 3);

    // One step smaller fits, at the cost of everything else.
    TestPath fits = TestPath::ofBlock(pc->dataSize - 8);
    p = &fits.path;
    EXPECT_EQ(LruCache_insert(pc, 1, 100, &p), 1);
    for (uint32_t k = 0; k < 3; k++)
        EXPECT_FALSE(has(pc, 1, k));
    EXPECT_TRUE(has(pc, 1, 100));
    checkPathCache(pc);

    EXPECT_EQ(LruCache_insert(nullptr, 1, 1, &p), 0);
    EXPECT_EQ(LruCache_insert(pc, 1, 1, nullptr), 0);
    Path *none = nullptr;
    EXPECT_EQ(LruCache_insert(pc, 1, 1, &none), 0);
    EXPECT_EQ(LruCache_find(nullptr, 1, 1, &none), 0);
    LruCache_destroy(pc);
}

// A path the cache already holds cannot be stored again: making room for
// the copy could free the original and write a free-block record over it
// before it is read.
TEST_F(PathCacheTest, CachedDataIsNotStoredAgain)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(4, &pc), 0);
    size_t block = (pc->dataSize / 2) & ~size_t{7};
    TestPath a = TestPath::ofBlock(block, 1);
    Path *p = &a.path;
    ASSERT_EQ(LruCache_insert(pc, 1, 1, &p), 1);
    Path *cached = p;
    EXPECT_EQ(LruCache_insert(pc, 1, 2, &p), 0);
    EXPECT_EQ(p, cached);
    // Nor a header of the caller's whose words lie in the cache.
    Path header = *cached;
    p = &header;
    EXPECT_EQ(LruCache_insert(pc, 1, 3, &p), 0);
    EXPECT_TRUE(has(pc, 1, 1));
    EXPECT_TRUE(samePath(cached, a));
    checkPathCache(pc);
    LruCache_destroy(pc);
}

TEST_F(PathCacheTest, DropIdRemovesAnOwnerAndMergesItsBlocks)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(8, &pc), 0);
    // Owners 1 and 2 interleave in memory, then owner 1's blocks go.
    for (uint32_t k = 0; k < 16; k++) {
        TestPath t(20, k);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, 1 + (k & 1), k, &p), 1);
    }
    LruCache_dropId(pc, 1);
    for (uint32_t k = 0; k < 16; k++)
        EXPECT_EQ(has(pc, 1, k), false) << k;
    for (uint32_t k = 1; k < 16; k += 2)
        EXPECT_TRUE(has(pc, 2, k)) << k;
    checkPathCache(pc);
    // Blocks are taken from the top of the area down: each freed block of
    // owner 1 lies between blocks of owner 2, and with the untouched start
    // of the area that makes nine free blocks.
    ASSERT_GT(pc->dataSize, 16 * ((sizeof(Path) + 80 + 7) & ~size_t{7}));
    EXPECT_EQ(freeBlocks(pc).size(), 9u);

    LruCache_dropId(pc, 2);
    checkPathCache(pc);
    ASSERT_EQ(freeBlocks(pc).size(), 1u) << "every freed block merged with its neighbours";
    EXPECT_EQ(freeBlocks(pc)[0], std::make_pair(size_t{0}, pc->dataSize));
    LruCache_dropId(pc, 3);
    LruCache_dropId(nullptr, 3);
    LruCache_destroy(pc);
}

TEST_F(PathCacheTest, ResetEmptiesTheCache)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(4, &pc), 0);
    for (uint32_t k = 0; k < 10; k++) {
        TestPath t(5, k);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, k, k, &p), 1);
    }
    LruCache_reset(pc);
    EXPECT_EQ(pc->useCounter, 0u);
    for (uint32_t k = 0; k < 10; k++)
        EXPECT_FALSE(has(pc, k, k));
    checkPathCache(pc);
    ASSERT_EQ(freeBlocks(pc).size(), 1u);
    // The free-entry list is the pool in order.
    LruPathEntry *e = pc->buckets[pc->bucketCount];
    for (uint32_t i = 0; i < pc->entryCount; i++, e = e->next)
        ASSERT_EQ(e, &pc->entries[i]);
    EXPECT_EQ(e, nullptr);
    LruCache_reset(nullptr);
    LruCache_destroy(pc);
    LruCache_destroy(nullptr);
}

// Stamps keep their order past 2^32 uses: the entry stamped just before the
// 32-bit boundary is older than the one stamped just after it.
TEST_F(PathCacheTest, StampsKeepTheirOrderPastTwoToThe32Uses)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(4, &pc), 0);
    std::vector<uint32_t> keys = keysInDistinctBuckets(pc->bucketCount, 4);
    size_t block = (pc->dataSize / 7 * 2) & ~size_t{7};
    pc->useCounter = 0xFFFFFFFEu;
    for (size_t i = 0; i < 3; i++) {
        TestPath t = TestPath::ofBlock(block, keys[i]);
        Path *p = &t.path;
        ASSERT_EQ(LruCache_insert(pc, 1, keys[i], &p), 1);
    }
    TestPath t = TestPath::ofBlock(block, 9);
    Path *p = &t.path;
    ASSERT_EQ(LruCache_insert(pc, 1, keys[3], &p), 1);
    EXPECT_FALSE(has(pc, 1, keys[0])) << "the oldest entry goes";
    EXPECT_TRUE(has(pc, 1, keys[1]));
    EXPECT_TRUE(has(pc, 1, keys[2])) << "the newest entry stays";
    EXPECT_TRUE(has(pc, 1, keys[3]));
    checkPathCache(pc);
    LruCache_destroy(pc);
}

// Random look-ups, stores (of what was not found, as callers do) and drops
// against a record of what was stored: whatever is found holds exactly what
// was stored under its key, what was just stored is found, and every arena
// invariant holds after each step.
TEST_F(PathCacheTest, RandomRunKeepsEveryInvariant)
{
    LruCache *pc = nullptr;
    ASSERT_EQ(LruCache_resize(3, &pc), 0);
    std::mt19937 rng(1234);
    struct Stored {
        size_t words;
        uint32_t seed;
    };
    std::map<std::pair<uintptr_t, uint32_t>, Stored> stored;
    size_t evicted = 0;
    for (int step = 0; step < 4000; step++) {
        uintptr_t id = 1 + rng() % 4;
        uint32_t key = rng() % 64;
        if (rng() % 40 == 0) {
            LruCache_dropId(pc, id);
            for (uint32_t k = 0; k < 64; k++) {
                ASSERT_FALSE(has(pc, id, k));
                stored.erase({id, k});
            }
        } else {
            Path *found = nullptr;
            if (LruCache_find(pc, id, key, &found)) {
                auto it = stored.find({id, key});
                ASSERT_NE(it, stored.end());
                ASSERT_TRUE(samePath(found, TestPath(it->second.words, it->second.seed)));
            } else {
                evicted += stored.erase({id, key});
                Stored s{rng() % 120, static_cast<uint32_t>(rng())};
                TestPath t(s.words, s.seed);
                Path *p = &t.path;
                ASSERT_EQ(LruCache_insert(pc, id, key, &p), 1);
                stored[{id, key}] = s;
                ASSERT_EQ(LruCache_find(pc, id, key, &found), 1);
                ASSERT_EQ(found, p);
                ASSERT_TRUE(samePath(found, t));
            }
        }
        checkPathCache(pc);
        if (HasFailure())
            break;
    }
    EXPECT_GT(evicted, 100u) << "the run must exercise eviction";
    EXPECT_EQ(Mem_check(), 0);
    LruCache_destroy(pc);
}

} // namespace
