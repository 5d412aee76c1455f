// Budgeted cache speed: path-cache hits, insertions that evict once the
// cache is full (eviction scans only the bucket heads, so its cost follows
// the bucket count, not the entry count), and mask requests served by
// scaling a larger cached mask down.
#include <benchmark/benchmark.h>

#include <vector>

#include "graphics/glyphcache.h"
#include "core/mem/mem.h"
#include "graphics/glyphmask.h"
#include "graphics/path.h"
#include "tests/support/test_engine.h"

namespace {

struct BenchPath {
    std::vector<int32_t> words;
    Path path{};
    explicit BenchPath(size_t n) : words(n + 1, 7)
    {
        path.buffer = words.data();
        path.write = words.data() + n;
        path.capacity = static_cast<uint32_t>(n + 1);
        path.scale = 0x10000;
        path.state = Path_statePacked;
    }
};

// Hits on range(0) glyphs held in a cache of range(1) kilobytes.
void BM_PathFindHit(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    LruCache *cache = nullptr;
    (void)LruCache_resize(static_cast<int32_t>(state.range(1)), &cache);
    uint32_t glyphs = static_cast<uint32_t>(state.range(0));
    BenchPath p(24);
    for (uint32_t g = 0; g < glyphs; g++) {
        Path *q = &p.path;
        (void)LruCache_insert(cache, 1, g, &q);
    }
    uint32_t g = 0;
    for (auto _ : state) {
        Path *out = nullptr;
        benchmark::DoNotOptimize(LruCache_find(cache, 1, g, &out));
        if (++g == glyphs)
            g = 0;
    }
    LruCache_destroy(cache);
    TestHeap_close(&heap);
}
BENCHMARK(BM_PathFindHit)->Args({64, 64})->Args({256, 64});

// Insertions of fresh glyphs into a full cache of range(0) kilobytes: every
// insertion evicts.
void BM_PathInsertEvicting(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    LruCache *cache = nullptr;
    (void)LruCache_resize(static_cast<int32_t>(state.range(0)), &cache);
    BenchPath p(40);
    uint32_t g = 0;
    for (auto _ : state) {
        Path *q = &p.path;
        benchmark::DoNotOptimize(LruCache_insert(cache, 1, g++, &q));
    }
    state.counters["buckets"] = cache->bucketCount;
    LruCache_destroy(cache);
    TestHeap_close(&heap);
}
BENCHMARK(BM_PathInsertEvicting)->Arg(16)->Arg(64)->Arg(512);

// A 32 x 32 cached mask reduced to 16 x 16 for every request.
void BM_MaskScaledFind(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    LruArena *cache = nullptr;
    (void)LruArena_resize(128, &cache);
    std::vector<uint32_t> rows(32);
    std::vector<uint8_t> codes;
    for (uint32_t y = 0; y < 32; y++) {
        rows[y] = static_cast<uint32_t>(codes.size());
        codes.push_back(8);
        codes.push_back(0x20); // 8 untouched
        codes.push_back(16);
        codes.push_back(0x40); // 16 literal
        for (int i = 0; i < 16; i++)
            codes.push_back(static_cast<uint8_t>(i * 16 + y));
        codes.push_back(8);
        codes.push_back(0x80); // 8 full, last
    }
    GlyphMask m{32,     32,           0,
                0,      0x10000,      rows.data(),
                32 * 4, codes.data(), static_cast<uint32_t>(codes.size())};
    uint32_t glyph = 65 | LruArena_glyphReuse;
    LruMaskKey big{glyph, 0x20000, 0, 0, 0x20000, 0, 0x10000};
    GlyphMask *p = &m;
    (void)LruArena_insert(cache, 1, &big, &p);
    LruMaskKey want{glyph, 0x10000, 0, 0, 0x10000, 0, 0x10000};
    for (auto _ : state) {
        GlyphMask *out = nullptr;
        benchmark::DoNotOptimize(LruArena_find(cache, 1, &want, &out));
    }
    LruArena_destroy(cache);
    TestHeap_close(&heap);
}
BENCHMARK(BM_MaskScaledFind);

} // namespace
