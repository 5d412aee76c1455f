// Hash-table speed: lookups and adds in the 16-bit keyed table (with few
// and with many keys per bucket), byte interning of repeated and fresh
// strings, and finding and interning names in the interned name table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/container/intern.h"
#include "core/container/widedict.h"
#include "core/mem/mem.h"
#include "core/text/strtable.h"
#include "tests/support/test_engine.h"

static std::vector<std::u16string> keys(size_t n)
{
    std::vector<std::u16string> v;
    for (size_t i = 0; i < n; i++) {
        char buf[24];
        snprintf(buf, sizeof buf, "attr-%zu-x", i * 7919);
        v.emplace_back(buf, buf + std::char_traits<char>::length(buf));
    }
    return v;
}

// Lookups of present keys; range(0) keys over range(1) buckets.
static void BM_WideDictLookup(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    auto k = keys(static_cast<size_t>(state.range(0)));
    WideDict *d = WideDict_create(static_cast<size_t>(state.range(1)));
    for (size_t i = 0; i < k.size(); i++)
        (void)WideDict_add(d, k[i].c_str(), &k[i], 0);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(WideDict_lookup(d, k[i].c_str(), nullptr, nullptr));
        if (++i == k.size())
            i = 0;
    }
    WideDict_free(d);
    TestHeap_close(&heap);
}
BENCHMARK(BM_WideDictLookup)->Args({1000, 1024})->Args({1000, 64})->Args({10000, 4096});

// Building a table of range(0) keys and freeing it.
static void BM_WideDictBuild(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    auto k = keys(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        WideDict *d = WideDict_create(1024);
        for (size_t i = 0; i < k.size(); i++)
            (void)WideDict_add(d, k[i].c_str(), &k[i], 0);
        WideDict_free(d);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    TestHeap_close(&heap);
}
BENCHMARK(BM_WideDictBuild)->Arg(1000);

// Interning strings that are already in the table.
static void BM_InternHit(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    InternTable *t = static_cast<InternTable *>(Mem_calloc(1, sizeof(InternTable)));
    std::vector<std::string> names;
    for (int i = 0; i < 5000; i++)
        names.push_back("Font-" + std::to_string(i));
    for (auto &n : names)
        Intern_cstr(t, n.c_str());
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Intern_bytes(t, names[i].data(), names[i].size()));
        if (++i == names.size())
            i = 0;
    }
    Intern_clear(t);
    Mem_free(t);
    TestHeap_close(&heap);
}
BENCHMARK(BM_InternHit);

// Case-insensitive finds in a name table of range(0) added names.
static void BM_StrTableFind(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    auto k = keys(static_cast<size_t>(state.range(0)));
    StrTable *t = StrTable_create(nullptr);
    for (auto &s : k)
        StrTable_intern(t, s.c_str());
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(StrTable_find(t, k[i].c_str()));
        if (++i == k.size())
            i = 0;
    }
    StrTable_destroy(t);
    TestHeap_close(&heap);
}
BENCHMARK(BM_StrTableFind)->Arg(100)->Arg(5000);

// Interning range(0) fresh names into an empty name table.
static void BM_StrTableBuild(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64 << 20, 0);
    auto k = keys(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        StrTable *t = StrTable_create(nullptr);
        for (auto &s : k)
            StrTable_intern(t, s.c_str());
        StrTable_destroy(t);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    TestHeap_close(&heap);
}
BENCHMARK(BM_StrTableBuild)->Arg(1000);
