// String and formatter speed: Ustr_len (word at a time) against a plain
// unit loop, Ustr_cmp and Ustr_icmpCstr on typical keys, the formatter on
// integers, strings and floats against the C library, and Std_strtol.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"

static std::u16string sample(size_t n)
{
    std::u16string s;
    for (size_t i = 0; i < n; i++)
        s += static_cast<char16_t>(u'a' + i % 26);
    return s;
}

static void BM_UstrLen(benchmark::State &state)
{
    std::u16string s = sample(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Ustr_len(s.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_UstrLen)->Arg(8)->Arg(64)->Arg(1024);

static size_t plainLen(const char16_t *s)
{
    const char16_t *p = s;
    while (*p)
        p++;
    return static_cast<size_t>(p - s);
}

static void BM_PlainLoopLen(benchmark::State &state)
{
    std::u16string s = sample(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        const char16_t *volatile p = s.c_str();
        benchmark::DoNotOptimize(plainLen(p));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_PlainLoopLen)->Arg(8)->Arg(64)->Arg(1024);

static void BM_UstrCmp(benchmark::State &state)
{
    std::u16string a = u"Vexlan_keyPageUpDownRepeat", b = u"Vexlan_keyPageUpDownRepeaT";
    for (auto _ : state)
        benchmark::DoNotOptimize(Ustr_cmp(a.c_str(), b.c_str()));
}
BENCHMARK(BM_UstrCmp);

static void BM_UstrIcmpCstr(benchmark::State &state)
{
    std::u16string a = u"Application/Vnd.MS-Excel";
    for (auto _ : state)
        benchmark::DoNotOptimize(Ustr_icmpCstr(a.c_str(), "application/vnd.ms-excel"));
}
BENCHMARK(BM_UstrIcmpCstr);

static void BM_FmtInteger(benchmark::State &state)
{
    char buf[64];
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Fmt_snprintf(buf, sizeof buf, "Series%d: %5u %#x", i++, 42u, 255u));
}
BENCHMARK(BM_FmtInteger);

static void BM_LibcInteger(benchmark::State &state)
{
    char buf[64];
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(snprintf(buf, sizeof buf, "Series%d: %5u %#x", i++, 42u, 255u));
}
BENCHMARK(BM_LibcInteger);

static void BM_FmtFloat(benchmark::State &state)
{
    char buf[64];
    double v = 1234.5678;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Fmt_snprintf(buf, sizeof buf, "%g %.2f %e", v, v, v));
        v += 0.25;
    }
}
BENCHMARK(BM_FmtFloat);

static void BM_FmtString(benchmark::State &state)
{
    char buf[128];
    for (auto _ : state)
        benchmark::DoNotOptimize(Fmt_snprintf(buf, sizeof buf, "%s/%s: %-12s|", "file://localhost",
                                              "okala_dir", "choices.txt"));
}
BENCHMARK(BM_FmtString);

static void BM_StdStrtol(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Std_strtol("  -123456789", nullptr, 0));
}
BENCHMARK(BM_StdStrtol);
