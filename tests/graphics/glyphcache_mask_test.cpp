// The budgeted glyph-mask cache: transform classes, the full key, the
// stored copy, refusals, owners and resets, and the reuse of a larger mask
// by scaling its coverage down (conditions, the scratch limit, allocation
// failure); and the box reduction of coverage lines on its own (weights,
// the partial last output, saturation, exact output counts, columns in
// place).
#include <cstring>
#include <random>

#include "graphics/glyphcache.h"
#include "core/result.h"
#include "tests/graphics/glyphcache_support.h"

namespace {

using MaskCacheTest = CacheTest;

constexpr uint32_t Glyph = 65;

LruMaskKey key(uint32_t glyph, int32_t a, int32_t d, int32_t size, uint32_t extra = 0)
{
    return LruMaskKey{glyph, a, 0, 0, d, extra, size};
}

int find(LruArena *c, uintptr_t id, LruMaskKey k, GlyphMask **out)
{
    return LruArena_find(c, id, &k, out);
}

int insert(LruArena *c, uintptr_t id, LruMaskKey k, TestMask &m, GlyphMask **out = nullptr)
{
    GlyphMask *p = &m.mask;
    int r = LruArena_insert(c, id, &k, &p);
    if (out)
        *out = p;
    return r;
}

// Coverage with four quadrants: 0 and 255 on the first half of the rows,
// 255 and 0 on the second.
Coverage quadrants(uint32_t n)
{
    Coverage c = uniform(n, n, 0);
    for (uint32_t y = 0; y < n; y++)
        for (uint32_t x = 0; x < n; x++)
            c.px[size_t{y} * n + x] = ((x < n / 2) != (y < n / 2)) ? 255 : 0;
    return c;
}

// What a uniform line of value v over n samples reduces to: every output
// carries the full weight 16n.
uint8_t uniformOut(uint32_t v, uint32_t n)
{
    int64_t k = (70000 / (16 * int64_t{n}) + 1) * 128;
    int64_t p = int64_t{v} * 16 * n * k;
    return p > INT32_MAX ? 255 : static_cast<uint8_t>(p >> 23);
}

TEST(MaskTransformClass, TwoBitsPerWord)
{
    struct Case {
        int32_t a, b, c, d;
        uint32_t cls;
    } cases[] = {
        {0x10000, 0, 0, 0x10000, 130},
        {0x10000, 0, 0, 0x20000, 130},
        {0, 0, 0, 0, 0},
        {-1, 0, 0, 1, 0x81},
        {1, 1, 1, 1, 0xAA},
        {-5, -5, -5, -5, 0x55},
        {0, 0x10000, -0x10000, 0, 0x18},
        {0x10000, 0, 0, -0x10000, 0x42},
    };
    for (const Case &c : cases)
        EXPECT_EQ(LruArena_transformClass(c.a, c.b, c.c, c.d), c.cls)
            << c.a << " " << c.b << " " << c.c << " " << c.d;
}

TEST_F(MaskCacheTest, StoresACopyInOneBlockAndFindsItByTheWholeKey)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(8, &mc), 0);
    Coverage cov = quadrants(6);
    cov.px[3] = 77; // a pixel code and a literal stretch among the runs
    cov.px[6 * 2 + 1] = 12;
    cov.px[6 * 2 + 2] = 200;
    TestMask m(cov, -2, 3, 0x8000);
    LruMaskKey k{Glyph, 0x10000, 5, -7, 0x20000, 9, 0xC0000};
    GlyphMask *stored = nullptr;
    ASSERT_EQ(insert(mc, 4, k, m, &stored), 1);
    ASSERT_NE(stored, &m.mask);
    EXPECT_EQ(reinterpret_cast<uint8_t *>(stored->rows),
              reinterpret_cast<uint8_t *>(stored) + sizeof(GlyphMask));
    EXPECT_EQ(stored->codes, reinterpret_cast<uint8_t *>(stored->rows) + stored->rowsSize);
    EXPECT_EQ(stored->x, -2);
    EXPECT_EQ(stored->y, 3);
    EXPECT_EQ(stored->scale, 0x8000u);
    Coverage back = decodeMask(stored);
    EXPECT_EQ(back.px, cov.px);
    EXPECT_EQ(freeBlocks(mc)[0].second,
              mc->dataSize -
                  ((sizeof(GlyphMask) + m.mask.rowsSize + m.mask.codesSize + 7) & ~size_t{7}));

    GlyphMask *found = nullptr;
    EXPECT_EQ(LruArena_find(mc, 4, &k, &found), 1);
    EXPECT_EQ(found, stored);

    // Any one field of the key changed is another mask.
    struct Variant {
        const char *what;
        uintptr_t id;
        LruMaskKey k;
    } variants[] = {
        {"owner", 5, k},
        {"glyph", 4, {Glyph + 1, k.a, k.b, k.c, k.d, k.extra, k.size}},
        {"a", 4, {Glyph, k.a + 1, k.b, k.c, k.d, k.extra, k.size}},
        {"b", 4, {Glyph, k.a, k.b + 1, k.c, k.d, k.extra, k.size}},
        {"c", 4, {Glyph, k.a, k.b, k.c + 1, k.d, k.extra, k.size}},
        {"d", 4, {Glyph, k.a, k.b, k.c, k.d + 1, k.extra, k.size}},
        {"extra", 4, {Glyph, k.a, k.b, k.c, k.d, k.extra + 1, k.size}},
        {"size", 4, {Glyph, k.a, k.b, k.c, k.d, k.extra, k.size + 1}},
    };
    for (const Variant &v : variants) {
        found = stored;
        EXPECT_EQ(LruArena_find(mc, v.id, &v.k, &found), 0) << v.what;
        EXPECT_EQ(found, nullptr) << v.what;
    }
    checkMaskCache(mc);
    LruArena_destroy(mc);
}

TEST_F(MaskCacheTest, AMaskWithoutCodesIsStoredWithoutThem)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(8, &mc), 0);
    TestMask m(uniform(5, 4, 0));
    ASSERT_EQ(m.mask.codes, nullptr);
    GlyphMask *stored = nullptr;
    ASSERT_EQ(insert(mc, 1, key(Glyph, 0x10000, 0x10000, 0x10000), m, &stored), 1);
    EXPECT_EQ(stored->codes, nullptr);
    EXPECT_EQ(stored->codesSize, 0u);
    EXPECT_EQ(decodeMask(stored).px, uniform(5, 4, 0).px);
    LruArena_destroy(mc);
}

// The block size is figured in 64 bits: row and code sizes whose 32-bit sum
// wraps to a few bytes must not pass as a small block.
TEST_F(MaskCacheTest, SizesThatWouldWrapAreRefused)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(8, &mc), 0);
    TestMask small(uniform(4, 4, 255));
    ASSERT_EQ(insert(mc, 1, key(Glyph, 1, 1, 1), small), 1);
    uint64_t counter = mc->useCounter;

    TestMask bogus(uniform(2, 2, 255));
    bogus.mask.rowsSize = 0xFFFFFFF8u;
    bogus.mask.codesSize = 0x10;
    // Never read: placed past the arena so that only the size decides.
    uint8_t *beyond = mc->data + mc->dataSize + 64;
    bogus.mask.rows = reinterpret_cast<uint32_t *>(beyond);
    bogus.mask.codes = beyond;
    GlyphMask *p = &bogus.mask;
    LruMaskKey k = key(Glyph + 1, 1, 1, 1);
    EXPECT_EQ(LruArena_insert(mc, 1, &k, &p), 0);
    EXPECT_EQ(p, &bogus.mask);
    EXPECT_EQ(mc->useCounter, counter) << "nothing was stamped or evicted";
    GlyphMask *found = nullptr;
    EXPECT_EQ(find(mc, 1, key(Glyph, 1, 1, 1), &found), 1);
    checkMaskCache(mc);

    // A mask the cache holds is not stored again.
    EXPECT_EQ(LruArena_insert(mc, 1, &k, &found), 0);
    EXPECT_EQ(LruArena_insert(nullptr, 1, &k, &found), 0);
    EXPECT_EQ(LruArena_insert(mc, 1, nullptr, &found), 0);
    EXPECT_EQ(LruArena_find(mc, 1, nullptr, &found), 0);
    EXPECT_EQ(found, nullptr);
    LruArena_destroy(mc);
}

TEST_F(MaskCacheTest, EvictionDropAndResetWithinTheBudget)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(2, &mc), 0);
    MemStats before{};
    ASSERT_EQ(Mem_getStats(&before), 0);
    for (uint32_t g = 0; g < 300; g++) {
        TestMask m(quadrants(4 + g % 12));
        ASSERT_EQ(insert(mc, 1 + g % 2, key(g, 0x10000, 0x10000, 0x10000), m), 1);
        checkMaskCache(mc);
    }
    MemStats after{};
    ASSERT_EQ(Mem_getStats(&after), 0);
    EXPECT_EQ(after.usedBytes, before.usedBytes) << "inserting never allocates";

    GlyphMask *found = nullptr;
    EXPECT_EQ(find(mc, 1, key(0, 0x10000, 0x10000, 0x10000), &found), 0) << "long evicted";
    EXPECT_EQ(find(mc, 2, key(299, 0x10000, 0x10000, 0x10000), &found), 1);
    EXPECT_EQ(decodeMask(found).px, quadrants(4 + 299 % 12).px);

    LruArena_dropId(mc, 2);
    for (uint32_t g = 0; g < 300; g++)
        EXPECT_EQ(find(mc, 2, key(g, 0x10000, 0x10000, 0x10000), &found), 0);
    EXPECT_EQ(find(mc, 1, key(298, 0x10000, 0x10000, 0x10000), &found), 1);
    checkMaskCache(mc);

    LruArena_reset(mc);
    EXPECT_EQ(find(mc, 1, key(298, 0x10000, 0x10000, 0x10000), &found), 0);
    EXPECT_EQ(mc->useCounter, 0u);
    ASSERT_EQ(freeBlocks(mc).size(), 1u);
    checkMaskCache(mc);
    LruArena_dropId(nullptr, 1);
    LruArena_reset(nullptr);
    LruArena_destroy(mc);
    LruArena_destroy(nullptr);
}

// ---------------------------------------------------------- scaled reuse

// A cached 8 x 8 mask at twice the requested scale serves the request as a
// 4 x 4 mask in the scratch buffer; its origin is scaled along.
TEST_F(MaskCacheTest, ALargerMaskIsScaledDownIntoTheScratchBuffer)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(8, &mc), 0);
    TestMask m(quadrants(8), -3, 5, 0x10000);
    uint32_t glyph = Glyph | LruArena_glyphReuse;
    GlyphMask *stored = nullptr;
    ASSERT_EQ(insert(mc, 1, key(glyph, 0x20000, 0x20000, 0x100000), m, &stored), 1);
    LruMaskEntry *entry = nullptr;
    for (uint32_t i = 0; i < mc->entryCount; i++)
        if (mc->entries[i].data == stored)
            entry = &mc->entries[i];
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->transformClass, 130u);
    EXPECT_EQ(entry->scaledWidth, int64_t{0x100000} * 0x20000);

    GlyphMask *out = nullptr;
    ASSERT_EQ(find(mc, 1, key(glyph, 0x10000, 0x10000, 0x100000), &out), 1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(reinterpret_cast<uint8_t *>(out), mc->scratch);
    EXPECT_LE(mc->scratchSize, size_t{LruArena_scratchLimit});
    EXPECT_EQ(out->width, 4);
    EXPECT_EQ(out->height, 4);
    EXPECT_EQ(out->x, -1);
    EXPECT_EQ(out->y, 3);
    EXPECT_EQ(out->scale, 0x10000u);
    EXPECT_EQ(decodeMask(out).px, quadrants(4).px);
    EXPECT_EQ(entry->stamp, mc->useCounter - 1) << "the serving entry counts as used";
    // The cached mask itself is unchanged.
    EXPECT_EQ(decodeMask(stored).px, quadrants(8).px);

    // The scaled result can be stored in its own right and then found.
    GlyphMask *kept = out;
    LruMaskKey half = key(glyph, 0x10000, 0x10000, 0x100000);
    ASSERT_EQ(LruArena_insert(mc, 1, &half, &kept), 1);
    GlyphMask *again = nullptr;
    ASSERT_EQ(find(mc, 1, key(glyph, 0x10000, 0x10000, 0x100000), &again), 1);
    EXPECT_EQ(again, kept);
    EXPECT_EQ(decodeMask(again).px, quadrants(4).px);
    checkMaskCache(mc);
    LruArena_destroy(mc);
}

// Uniform coverage comes out uniform, each direction reduced in turn; with
// a ratio of 2/3 the 6 x 6 mask becomes 4 x 4.
TEST_F(MaskCacheTest, ScaledCoverageIsTheBoxAverageInBothDirections)
{
    struct Case {
        uint32_t n;
        int32_t cachedScale, wantedScale;
        uint8_t v;
        uint32_t m;
        uint8_t expect;
    } cases[] = {
        {8, 0x20000, 0x10000, 100, 4, 113},
        {6, 0x30000, 0x20000, 200, 4, 227},
        {6, 0x30000, 0x20000, 255, 4, 255},
        {10, 0x10000, 0x8000, 1, 5, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(uniformOut(uniformOut(c.v, c.n), c.n), c.expect);
        LruArena *mc = nullptr;
        ASSERT_EQ(LruArena_resize(8, &mc), 0);
        TestMask m(uniform(c.n, c.n, c.v));
        uint32_t glyph = Glyph | LruArena_glyphReuse;
        ASSERT_EQ(insert(mc, 1, key(glyph, c.cachedScale, c.cachedScale, 0x10000), m), 1);
        GlyphMask *out = nullptr;
        ASSERT_EQ(find(mc, 1, key(glyph, c.wantedScale, c.wantedScale, 0x10000), &out), 1);
        ASSERT_EQ(out->width, c.m);
        ASSERT_EQ(out->height, c.m);
        EXPECT_EQ(decodeMask(out).px, uniform(c.m, c.m, c.expect).px);
        LruArena_destroy(mc);
    }
}

// Random coverage with runs of 0 and 255, odd and even literal stretches
// and single pixels: the scaled result is what the box reduction makes of
// the decoded source, row by row and then column by column.
TEST_F(MaskCacheTest, ScaledResultMatchesTheReductionOfTheDecodedSource)
{
    std::mt19937 rng(99);
    uint32_t glyph = Glyph | LruArena_glyphReuse;
    for (int round = 0; round < 40; round++) {
        SCOPED_TRACE(round);
        Coverage c = uniform(3 + rng() % 30, 3 + rng() % 30, 0);
        for (size_t i = 0; i < c.px.size();) {
            size_t run = 1 + rng() % 6;
            uint32_t kind = rng() % 3;
            for (size_t j = 0; j < run && i < c.px.size(); j++, i++)
                c.px[i] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<uint8_t>(1 + rng() % 254);
        }
        TestMask m(c);
        LruArena *mc = nullptr;
        ASSERT_EQ(LruArena_resize(16, &mc), 0);
        ASSERT_EQ(insert(mc, 1, key(glyph, 0x10000, 0x10000, 0x10000), m), 1);
        int32_t sx = 0x4000 + static_cast<int32_t>(rng() % 0xC001);
        int32_t sy = 0x4000 + static_cast<int32_t>(rng() % 0xC001);
        GlyphMask *out = nullptr;
        ASSERT_EQ(find(mc, 1, key(glyph, sx, sy, 0x10000), &out), 1);
        uint32_t w = out->width, h = out->height;
        EXPECT_EQ(w, std::max<uint32_t>(1, (c.width * static_cast<uint32_t>(sx) + 0x8000) >> 16));
        EXPECT_EQ(h, std::max<uint32_t>(1, (c.height * static_cast<uint32_t>(sy) + 0x8000) >> 16));

        std::vector<uint8_t> ref(size_t{w} * c.height);
        MaskScale_rows(c.px.data(), c.width, c.width, c.height, ref.data(), w, w,
                       MaskScale_ratio(c.width, w), 0);
        MaskScale_columns(ref.data(), w, c.height, w, h, MaskScale_ratio(c.height, h), 0);
        ref.resize(size_t{w} * h);
        EXPECT_EQ(decodeMask(out).px, ref);
        LruArena_destroy(mc);
    }
}

TEST_F(MaskCacheTest, ScaledReuseOnlyWhenEverythingAllowsIt)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(8, &mc), 0);
    uint32_t glyph = Glyph | LruArena_glyphReuse;
    TestMask m(quadrants(8));
    ASSERT_EQ(insert(mc, 1, key(glyph, 0x20000, 0x20000, 0x10000, 3), m), 1);
    // The same glyph under a sheared transform: never a source of reuse.
    TestMask sheared(quadrants(8));
    ASSERT_EQ(insert(mc, 2, LruMaskKey{glyph, 0x40000, 1, 0, 0x40000, 3, 0x10000}, sheared), 1);

    struct Case {
        const char *what;
        uintptr_t id;
        LruMaskKey k;
        int hit;
    } cases[] = {
        {"allowed", 1, key(glyph, 0x10000, 0x18000, 0x10000, 3), 1},
        {"same size in one direction", 1, key(glyph, 0x20000, 0x10000, 0x10000, 3), 1},
        {"no reuse flag", 1, key(Glyph, 0x10000, 0x10000, 0x10000, 3), 0},
        {"other glyph", 1, key(glyph + 1, 0x10000, 0x10000, 0x10000, 3), 0},
        {"other extra word", 1, key(glyph, 0x10000, 0x10000, 0x10000, 4), 0},
        {"other owner", 7, key(glyph, 0x10000, 0x10000, 0x10000, 3), 0},
        {"request wider", 1, key(glyph, 0x20001, 0x10000, 0x10000, 3), 0},
        {"request taller", 1, key(glyph, 0x10000, 0x20001, 0x10000, 3), 0},
        {"request larger by size", 1, key(glyph, 0x10000, 0x10000, 0x20001, 3), 0},
        {"request sheared", 1, LruMaskKey{glyph, 0x10000, 1, 0, 0x10000, 3, 0x10000}, 0},
        {"request mirrored", 1, key(glyph, -0x10000, 0x10000, 0x10000, 3), 0},
        {"request of size 0", 1, key(glyph, 0x10000, 0x10000, 0, 3), 0},
        {"request of negative size", 1, key(glyph, 0x10000, 0x10000, -0x10000, 3), 0},
        {"source sheared", 2, key(glyph, 0x10000, 0x10000, 0x10000, 3), 0},
    };
    for (const Case &c : cases) {
        GlyphMask dummy{};
        GlyphMask *out = &dummy;
        EXPECT_EQ(LruArena_find(mc, c.id, &c.k, &out), c.hit) << c.what;
        if (!c.hit) {
            EXPECT_EQ(out, nullptr) << c.what;
        }
    }
    checkMaskCache(mc);
    LruArena_destroy(mc);
}

// A result that would not fit the scratch limit skips its source, and the
// next entry that can serve does; the buffer grows only when needed, and a
// failed growth skips the entry cleanly.
TEST_F(MaskCacheTest, ScratchLimitAndAllocationFailureSkipAnEntry)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(64, &mc), 0);
    uint32_t glyph = Glyph | LruArena_glyphReuse;
    TestMask big(uniform(64, 64, 255)); // small codes: one full run a row
    ASSERT_EQ(insert(mc, 1, key(glyph, 0x40000, 0x40000, 0x10000), big), 1);

    // 0.9 of 64 x 64 needs far more than the limit: no hit, no allocation.
    GlyphMask *out = nullptr;
    EXPECT_EQ(find(mc, 1, key(glyph, 0x39999, 0x39999, 0x10000), &out), 0);
    EXPECT_EQ(mc->scratch, nullptr);

    // A smaller source that can serve it does.
    TestMask medium(uniform(20, 20, 255));
    ASSERT_EQ(insert(mc, 1, key(glyph, 0x3C000, 0x3C000, 0x10000), medium), 1);
    ASSERT_EQ(find(mc, 1, key(glyph, 0x39999, 0x39999, 0x10000), &out), 1);
    EXPECT_EQ(out->width, 19);
    uint8_t *scratch = mc->scratch;
    size_t scratchSize = mc->scratchSize;

    // A quarter of the big one fits; the buffer grows once, then is reused.
    ASSERT_EQ(find(mc, 1, key(glyph, 0x10000, 0x10000, 0x10000), &out), 1);
    EXPECT_EQ(out->width, 16);
    EXPECT_EQ(decodeMask(out).px, uniform(16, 16, 255).px);
    EXPECT_LE(mc->scratchSize, size_t{LruArena_scratchLimit});
    EXPECT_GE(mc->scratchSize, scratchSize);
    scratch = mc->scratch;
    ASSERT_EQ(find(mc, 1, key(glyph, 0x8000, 0x8000, 0x10000), &out), 1);
    EXPECT_EQ(mc->scratch, scratch) << "a smaller result reuses the buffer";
    EXPECT_EQ(out->width, 8);

    // Growth that fails skips the entry and keeps the old buffer.
    ASSERT_EQ(LruArena_resize(64, &mc), 0);
    EXPECT_EQ(mc->scratch, nullptr) << "a resize frees the scratch buffer";
    ASSERT_EQ(insert(mc, 1, key(glyph, 0x40000, 0x40000, 0x10000), big), 1);
    Mem_failAfter(1);
    EXPECT_EQ(find(mc, 1, key(glyph, 0x10000, 0x10000, 0x10000), &out), 0);
    EXPECT_EQ(out, nullptr);
    Mem_failAfter(0);
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    EXPECT_EQ(mc->scratch, nullptr);
    ASSERT_EQ(find(mc, 1, key(glyph, 0x10000, 0x10000, 0x10000), &out), 1);
    checkMaskCache(mc);
    LruArena_destroy(mc); // frees the scratch buffer too
}

// A mask whose rows are damaged (offsets past the codes, a row running
// past the width, codes ending without the last-code bit) reads as
// coverage 0 where the data is missing, never past the stored block.
TEST_F(MaskCacheTest, DamagedRowsReadAsEmpty)
{
    LruArena *mc = nullptr;
    ASSERT_EQ(LruArena_resize(8, &mc), 0);
    TestMask m(uniform(4, 4, 255));
    m.rows[1] = 0x7FFF;            // past the codes
    m.codes[m.rows[2] + 0] = 0x20; // a full run of 32 pixels in a row of 4
    m.codes[m.rows[2] + 1] = 0x80;
    m.mask.codesSize = m.rows[3] + 1; // row 3's code cut in half
    uint32_t glyph = Glyph | LruArena_glyphReuse;
    ASSERT_EQ(insert(mc, 1, key(glyph, 0x10000, 0x10000, 0x10000), m), 1);
    GlyphMask *out = nullptr;
    ASSERT_EQ(find(mc, 1, key(glyph, 0x10000, 0x10000, 0x8000), &out), 1);
    // Rows 0 and 2 read full, rows 1 and 3 empty: each output row averages
    // one of each, 255 x 32 x 140032 >> 23.
    EXPECT_EQ(decodeMask(out).px, uniform(2, 2, 136).px);
    LruArena_destroy(mc);
}

// ---------------------------------------------------------- box reduction

TEST(MaskScale, LinesReduceByWeightedAverages)
{
    struct Case {
        std::vector<uint8_t> in;
        uint32_t m;
        std::vector<uint8_t> out;
    } cases[] = {
        {{100, 200, 0, 0}, 2, {160, 0}},       // (100 x 32 + 200 x 32) x k >> 23
        {{0, 0, 255, 255}, 2, {0, 255}},       // full weight saturates
        {{100, 100, 100, 100}, 2, {106, 106}}, // the gain of k
        {{30, 60, 90}, 2, {42, 85}},           // weights 32 + 16 and 16 + 32 of 48
        {{9, 9, 9, 9, 9, 9, 9}, 7, {9, 9, 9, 9, 9, 9, 9}},
        {{255}, 1, {255}},
    };
    for (const Case &c : cases) {
        uint32_t n = static_cast<uint32_t>(c.in.size());
        std::vector<uint8_t> out(c.m + 1, 0xAA);
        MaskScale_rows(c.in.data(), n, n, 1, out.data(), c.m, c.m, MaskScale_ratio(n, c.m), 0);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + c.m), c.out)
            << n << " to " << c.m;
        EXPECT_EQ(out[c.m], 0xAA) << "nothing written past m";
    }
}

// With a step below 16m the line yields fewer full outputs: the partial
// last one carries the weight left when the phase is above -16n, and
// outputs the line never reached are 0.
TEST(MaskScale, PartialLastOutputAndUnreachedOutputs)
{
    uint8_t in[4] = {255, 255, 255, 255};
    uint8_t out[3] = {0xAA, 0xAA, 0xAA};
    // ratio 24576: s = 24; one full output (weight 64), then weight 32 left.
    MaskScale_rows(in, 4, 4, 1, out, 3, 3, 24576, 0);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 136); // 255 x 32 x 140032 >> 23
    EXPECT_EQ(out[2], 0);

    // ratio 16384: s = 16; the phase ends exactly at -16n: no partial.
    uint8_t out4[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    MaskScale_rows(in, 4, 4, 1, out4, 4, 4, 16384, 0);
    EXPECT_EQ(out4[0], 255);
    EXPECT_EQ(out4[1], 0);
    EXPECT_EQ(out4[3], 0);
}

// The product of accumulator and k is formed without wrapping: a long line
// of full coverage reduces to 255. Wrapped to 32 bits it would give 48.
TEST(MaskScale, LongLinesSaturateInsteadOfWrapping)
{
    std::vector<uint8_t> in(9000, 255);
    uint8_t out = 0;
    MaskScale_rows(in.data(), in.size(), 9000, 1, &out, 1, 1, MaskScale_ratio(9000, 1), 0);
    EXPECT_EQ(out, 255);
}

// The ratio the cache uses turns n samples into exactly m outputs: each of
// them carries its full weight (so full coverage stays 255) and none is
// left over for output m + 1.
TEST(MaskScale, RatioGivesExactlyMOutputs)
{
    for (uint32_t n = 1; n <= 200; n++) {
        std::vector<uint8_t> in(n, 255);
        for (uint32_t m = 1; m <= n; m++) {
            std::vector<uint8_t> out(m + 1, 0xAA);
            MaskScale_rows(in.data(), n, n, 1, out.data(), m + 1, m + 1, MaskScale_ratio(n, m), 0);
            for (uint32_t i = 0; i < m; i++)
                ASSERT_EQ(out[i], 255) << n << " to " << m << " output " << i;
            ASSERT_EQ(out[m], 0) << n << " to " << m;
        }
    }
}

TEST(MaskScale, RowsThenColumnsInPlace)
{
    // Quadrants 0, 100 over 200, 255 on a 4 x 4 grid, two lines at once.
    uint8_t src[16], work[16];
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            src[y * 4 + x] = y < 2 ? (x < 2 ? 0 : 100) : (x < 2 ? 200 : 255);
    memset(work, 0xAA, sizeof work);
    MaskScale_rows(src, 4, 4, 4, work, 2, 2, MaskScale_ratio(4, 2), 0);
    MaskScale_columns(work, 2, 4, 2, 2, MaskScale_ratio(4, 2), 0);
    EXPECT_EQ(work[0], 0);
    EXPECT_EQ(work[1], uniformOut(uniformOut(100, 4), 4));
    EXPECT_EQ(work[2], uniformOut(uniformOut(200, 4), 4));
    EXPECT_EQ(work[3], 255);
    EXPECT_EQ(work[1], 113);
    EXPECT_EQ(work[2], 227);

    // A column of distinct values reduced in place gives what the same
    // values reduced as a row into separate memory give.
    uint8_t col[6] = {10, 20, 30, 40, 50, 60};
    uint8_t expect[3];
    MaskScale_rows(col, 6, 6, 1, expect, 3, 3, MaskScale_ratio(6, 3), 0);
    MaskScale_columns(col, 1, 6, 1, 3, MaskScale_ratio(6, 3), 0);
    EXPECT_EQ(col[0], expect[0]);
    EXPECT_EQ(col[1], expect[1]);
    EXPECT_EQ(col[2], expect[2]);
    EXPECT_NE(expect[0], expect[2]);
}

} // namespace
