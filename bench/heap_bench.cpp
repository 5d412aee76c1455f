// Heap speed: steady-state malloc/free of mixed small sizes, and a growing
// realloc, against the engine heap.
#include <benchmark/benchmark.h>

#include <cstdint>

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
