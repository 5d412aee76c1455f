// Decoding CJK text through CMaps: 1 MB of Shift-JIS text (level-1 kanji)
// decoded to Unicode (mode 1) through the built-in "90ms-RKSJ-H" CMap and
// the Japan1 CID-to-Unicode table, in strings of 256 bytes, and, as the
// reference in the same run, glibc's iconv converting the same bytes from
// Shift_JIS to UTF-16. The "ratio" counter is the CMap decoding's time
// over iconv's (goal: at most 2).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/builtin/builtin.h"
#include "fonts/pdfcmap.h"
#include "pdf/resources/pdfstream.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t chunk = 256;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

const RomFsEntry &builtinFile(const char *name)
{
    for (const RomFsEntry &e : Builtin_japanCmaps)
        if (strstr(e.path, name))
            return e;
    abort();
}

std::vector<uint8_t> shiftJisText(size_t bytes)
{
    std::vector<uint8_t> out;
    while (out.size() < bytes)
        for (uint32_t lead = 0x89; lead <= 0x97 && out.size() < bytes; lead++)
            for (uint32_t trail = 0x40; trail <= 0xFC && out.size() < bytes; trail++)
                if (trail != 0x7F) {
                    out.push_back(uint8_t(lead));
                    out.push_back(uint8_t(trail));
                }
    return out;
}

void BM_ShiftJisThroughCMap(benchmark::State &state)
{
    TestHeap heap;
    if (!TestHeap_open(&heap, 64 << 20, 0))
        abort();
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    const RomFsEntry &cm = builtinFile("/90ms-rksj-h.dat");
    const RomFsEntry &uni = builtinFile("/adobe-japan1-ucs2.dat");
    ByteStream *s = nullptr;
    CMap *cmap = nullptr;
    if (Pdf_Stream_openMemory(cm.data, cm.length, &s) != 0 ||
        CMap_readBinary(ctx, nullptr, s, 0, &cmap) != 0)
        abort();
    (void)ByteStream_close(s);
    if (Pdf_Stream_openMemory(uni.data, uni.length, &s) != 0 ||
        CMap_readBinaryUnicode(s, &cmap->toUnicode) != 0)
        abort();
    (void)ByteStream_close(s);

    std::vector<uint8_t> text = shiftJisText(1 << 20);
    iconv_t cd = iconv_open("UTF-16LE", "SHIFT_JIS");
    if (cd == iconv_t(-1))
        abort();
    std::vector<char> out(chunk * 2 + 16);
    double mine = 0, reference = 0;
    for (auto _ : state) {
        Clock::time_point t0 = Clock::now();
        for (size_t at = 0; at < text.size(); at += chunk) {
            char16_t *u = nullptr;
            if (CMap_decodeString(ctx, cmap, 1, text.data() + at, std::min(chunk, text.size() - at),
                                  &u) != 0)
                abort();
            benchmark::DoNotOptimize(u[0]);
            Mem_free(u);
        }
        Clock::time_point t1 = Clock::now();
        for (size_t at = 0; at < text.size(); at += chunk) {
            char *in = reinterpret_cast<char *>(text.data() + at);
            size_t inLeft = std::min(chunk, text.size() - at), outLeft = out.size();
            char *o = out.data();
            if (iconv(cd, &in, &inLeft, &o, &outLeft) == size_t(-1))
                abort();
            benchmark::DoNotOptimize(out[0]);
        }
        Clock::time_point t2 = Clock::now();
        mine += seconds(t0, t1);
        reference += seconds(t1, t2);
    }
    iconv_close(cd);
    state.counters["ratio"] = reference > 0 ? mine / reference : 0;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    CMap_free(cmap);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    TestHeap_close(&heap);
}
BENCHMARK(BM_ShiftJisThroughCMap)->Unit(benchmark::kMillisecond);

} // namespace
