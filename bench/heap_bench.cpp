// Heap speed: steady-state malloc/free of mixed small sizes, and a growing
// realloc, against the engine heap; the same mixed loop on the C library's
// malloc for comparison.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "tests/support/test_engine.h"

static void BM_MixedMallocFree(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    void *slots[1024] = {};
    uint32_t rng = 12345;
    for (auto _ : state) {
        rng = rng * 1103515245u + 12345u;
        unsigned i = (rng >> 8) & 1023;
        Mem_free(slots[i]);
        slots[i] = Mem_malloc(16 + ((rng >> 20) & 511));
        benchmark::DoNotOptimize(slots[i]);
    }
    for (void *p : slots)
        Mem_free(p);
    TestHeap_close(&heap);
}
BENCHMARK(BM_MixedMallocFree);

// The loop above on the C library's allocator: the yardstick for the
// engine heap's cost per allocation and free.
static void BM_MixedMallocFreeSystem(benchmark::State &state)
{
    void *slots[1024] = {};
    uint32_t rng = 12345;
    for (auto _ : state) {
        rng = rng * 1103515245u + 12345u;
        unsigned i = (rng >> 8) & 1023;
        std::free(slots[i]);
        slots[i] = std::malloc(16 + ((rng >> 20) & 511));
        benchmark::DoNotOptimize(slots[i]);
    }
    for (void *p : slots)
        std::free(p);
}
BENCHMARK(BM_MixedMallocFreeSystem);

static void BM_GrowingRealloc(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    for (auto _ : state) {
        void *p = nullptr;
        for (size_t n = 64; n <= 65536; n *= 2)
            p = Mem_realloc(p, n);
        Mem_free(p);
    }
    TestHeap_close(&heap);
}
BENCHMARK(BM_GrowingRealloc);
