// Test support for the budgeted caches: a heap fixture, paths and masks
// built in test memory, a reference hash and decoder written from the
// description of the formats, and a check of every arena invariant.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "graphics/glyphcache.h"
#include "core/mem/mem.h"
#include "graphics/glyphmask.h"
#include "graphics/path.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

class CacheTest : public LeakCheckedHeapTest<(8u << 20)> {
  protected:
    void TearDown() override
    {
        Mem_failAfter(0);
        (void)Mem_takeOutOfMemory();
        LeakCheckedHeapTest::TearDown();
    }
};

// The bucket of a key, written from the description of the hash.
inline uint32_t refBucket(uint32_t key, uint32_t buckets)
{
    uint64_t h = key ^ (key >> 16);
    h = ((h ^ (h >> 8)) * 0x9e3779b9ull) & 0xFFFFFFFFu;
    return static_cast<uint32_t>(h) & (buckets - 1);
}

// A path header over words held by the test.
struct TestPath {
    std::vector<int32_t> words;
    Path path{};

    // A packed-looking path of n words whose values depend on seed.
    explicit TestPath(size_t n, uint32_t seed = 0) : words(n ? n : 1)
    {
        for (size_t i = 0; i < n; i++)
            words[i] = static_cast<int32_t>(seed * 2654435761u + static_cast<uint32_t>(i) * 40503u);
        path.buffer = words.data();
        path.write = words.data() + n;
        path.subpathStart = nullptr;
        path.capacity = static_cast<uint32_t>(words.size());
        path.count = static_cast<uint32_t>(n / 3);
        path.scale = 0x10000;
        path.state = Path_statePacked;
    }
    // A path whose cache block is exactly `block` bytes (a multiple of 8).
    static TestPath ofBlock(size_t block, uint32_t seed = 0)
    {
        return TestPath((block - sizeof(Path)) / 4, seed);
    }
};

// True when the cached path holds the same header fields and words.
inline bool samePath(const Path *cached, const TestPath &t)
{
    size_t n = static_cast<size_t>(t.path.write - t.path.buffer);
    if (static_cast<size_t>(cached->write - cached->buffer) != n)
        return false;
    if (cached->buffer != reinterpret_cast<const int32_t *>(cached + 1))
        return false;
    if (cached->count != t.path.count || cached->scale != t.path.scale ||
        cached->state != t.path.state)
        return false;
    return std::equal(t.words.begin(), t.words.begin() + static_cast<ptrdiff_t>(n), cached->buffer);
}

// A coverage image, row 0 first (the row table's order).
struct Coverage {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> px;
    uint8_t at(uint32_t x, uint32_t y) const
    {
        return px[size_t{y} * width + x];
    }
};

inline Coverage uniform(uint32_t w, uint32_t h, uint8_t v)
{
    return Coverage{w, h, std::vector<uint8_t>(size_t{w} * h, v)};
}

// A mask made in test memory from a coverage image. Runs of 0 and of 255
// become skip and full runs, stretches of other values literal runs, and
// any run of one pixel a pixel code, so every kind of code appears.
struct TestMask {
    std::vector<uint32_t> rows;
    std::vector<uint8_t> codes;
    GlyphMask mask{};

    explicit TestMask(const Coverage &c, int16_t x = 0, int16_t y = 0, uint32_t scale = 0x10000)
    {
        rows.assign(c.height, GlyphMask_emptyRow);
        for (uint32_t r = 0; r < c.height; r++) {
            const uint8_t *v = &c.px[size_t{r} * c.width];
            if (std::all_of(v, v + c.width, [](uint8_t b) { return b == 0; }))
                continue;
            rows[r] = static_cast<uint32_t>(codes.size());
            size_t last = 0;
            for (uint32_t i = 0; i < c.width;) {
                last = codes.size();
                bool edge = v[i] == 0 || v[i] == 255;
                uint32_t run = 1;
                while (i + run < c.width &&
                       (edge ? v[i + run] == v[i] : v[i + run] != 0 && v[i + run] != 255))
                    run++;
                if (run == 1) {
                    put(GlyphMask_kindPixel | v[i]);
                } else if (edge) {
                    put((v[i] ? GlyphMask_kindFull : GlyphMask_kindSkip) | run);
                } else {
                    put(GlyphMask_kindLiteral | run);
                    codes.insert(codes.end(), v + i, v + i + run);
                    if (run & 1)
                        codes.push_back(0xEE); // pad
                }
                i += run;
            }
            codes[last + 1] |= 0x80;
        }
        mask.width = static_cast<uint16_t>(c.width);
        mask.height = static_cast<uint16_t>(c.height);
        mask.x = x;
        mask.y = y;
        mask.scale = scale;
        mask.rows = rows.data();
        mask.rowsSize = static_cast<uint32_t>(rows.size() * 4);
        mask.codes = codes.empty() ? nullptr : codes.data();
        mask.codesSize = static_cast<uint32_t>(codes.size());
    }
    void put(uint32_t code)
    {
        codes.push_back(static_cast<uint8_t>(code));
        codes.push_back(static_cast<uint8_t>(code >> 8));
    }
};

// Decodes a run-coded mask, checking its form as it goes: offsets even and
// inside the codes, every row covering exactly the width and ending with
// the last-code bit.
inline Coverage decodeMask(const GlyphMask *m)
{
    Coverage c{m->width, m->height, std::vector<uint8_t>(size_t{m->width} * m->height, 0)};
    EXPECT_EQ(m->rowsSize, uint32_t{m->height} * 4);
    for (uint32_t r = 0; r < m->height; r++) {
        uint32_t off = m->rows[r];
        if (off & GlyphMask_emptyRow)
            continue;
        EXPECT_EQ(off & 1, 0u);
        EXPECT_LT(off, m->codesSize);
        if (off >= m->codesSize)
            return c;
        size_t p = off;
        uint32_t x = 0;
        for (;;) {
            EXPECT_LE(p + 2, m->codesSize);
            if (p + 2 > m->codesSize)
                return c;
            uint32_t code = m->codes[p] | uint32_t{m->codes[p + 1]} << 8;
            p += 2;
            uint32_t len = code & GlyphMask_lengthMask;
            uint32_t kind = code & GlyphMask_kindMask;
            if (kind == GlyphMask_kindPixel)
                len = 1;
            EXPECT_LE(x + len, c.width) << "row " << r;
            for (uint32_t i = 0; i < len && x < c.width; i++, x++) {
                uint8_t v = kind == GlyphMask_kindFull    ? 255
                            : kind == GlyphMask_kindSkip  ? 0
                            : kind == GlyphMask_kindPixel ? static_cast<uint8_t>(code)
                                                          : m->codes[p + i];
                c.px[size_t{r} * c.width + x] = v;
            }
            if (kind == GlyphMask_kindLiteral)
                p += len + (len & 1);
            if (code & GlyphMask_lastCode)
                break;
        }
        EXPECT_EQ(x, c.width) << "row " << r;
    }
    return c;
}

// Every invariant of an arena: free blocks inside the data area, in address
// order, never touching, multiples of 8 and at least a free record; live
// blocks inside the area, clear of each other and of the free blocks; free
// and live bytes adding up to the area; every live entry in one bucket
// chain (the bucket its hash names, told by bucketOf) and every other entry
// on the free-entry list.
template <typename H, typename BucketOf> void checkArena(const H *h, BucketOf bucketOf)
{
    ASSERT_NE(h, nullptr);
    struct Span {
        uintptr_t start, end;
    };
    std::vector<Span> spans;
    uintptr_t area = reinterpret_cast<uintptr_t>(h->data), areaEnd = area + h->dataSize;
    EXPECT_EQ(area % 8, 0u);
    EXPECT_EQ(h->dataSize % 8, 0u);
    size_t freeBytes = 0;
    uintptr_t prevEnd = 0;
    for (const LruFreeBlock *f = h->freeList; f; f = f->next) {
        uintptr_t s = reinterpret_cast<uintptr_t>(f);
        EXPECT_GE(s, area);
        EXPECT_LE(s + f->size, areaEnd);
        EXPECT_EQ(f->size % 8, 0u);
        EXPECT_GE(f->size, sizeof(LruFreeBlock));
        EXPECT_GT(s, prevEnd) << "free blocks out of order or touching";
        prevEnd = s + f->size;
        freeBytes += f->size;
        spans.push_back({s, s + f->size});
    }
    size_t live = 0, liveBytes = 0;
    for (uint32_t b = 0; b < h->bucketCount; b++) {
        for (auto *e = h->buckets[b]; e; e = e->next) {
            live++;
            EXPECT_EQ(bucketOf(e), b);
            uintptr_t s = reinterpret_cast<uintptr_t>(e->data);
            EXPECT_NE(e->data, nullptr);
            EXPECT_GE(s, area);
            EXPECT_LE(s + e->blockSize, areaEnd);
            EXPECT_EQ(e->blockSize % 8, 0u);
            EXPECT_LT(e->stamp, h->useCounter);
            liveBytes += e->blockSize;
            spans.push_back({s, s + e->blockSize});
        }
    }
    size_t freeEntries = 0;
    for (auto *e = h->buckets[h->bucketCount]; e; e = e->next) {
        freeEntries++;
        EXPECT_EQ(e->data, nullptr);
        ASSERT_LE(freeEntries, h->entryCount);
    }
    EXPECT_EQ(live + freeEntries, h->entryCount);
    EXPECT_EQ(freeBytes + liveBytes, h->dataSize);
    std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.start < b.start; });
    for (size_t i = 1; i < spans.size(); i++)
        EXPECT_LE(spans[i - 1].end, spans[i].start) << "blocks overlap";
}

inline void checkPathCache(const LruCache *c)
{
    checkArena(c, [c](const LruPathEntry *e) { return refBucket(e->key, c->bucketCount); });
}

inline uint32_t maskBucket(const LruMaskEntry *e, uint32_t buckets)
{
    return refBucket(e->glyph + static_cast<uint32_t>(e->a) + static_cast<uint32_t>(e->d), buckets);
}

inline void checkMaskCache(const LruArena *c)
{
    checkArena(c, [c](const LruMaskEntry *e) { return maskBucket(e, c->bucketCount); });
}

// Free blocks of an arena as (offset from the data area, size) pairs.
template <typename H> std::vector<std::pair<size_t, size_t>> freeBlocks(const H *h)
{
    std::vector<std::pair<size_t, size_t>> v;
    for (const LruFreeBlock *f = h->freeList; f; f = f->next)
        v.emplace_back(reinterpret_cast<const uint8_t *>(f) - h->data, f->size);
    return v;
}
