// Stream speed, each as a ratio against a reference measured in the same
// run on the same data (the "ratio" counter; the reported time is the
// engine's; the argument "image" is 0 for text, 1 for image-like data):
// - inflating 4 MiB of text and of image-like data through
//   Inflate_wholeBuffer against zlib's own inflate into a buffer of the
//   known size (goal: ratio at most 1.1);
// - the same data through InflateStream_decode in 64 KiB windows against
//   zlib's inflate in the same windows (goal: at most 1.1);
// - reading a file byte by byte through a lending byte stream against a
//   plain loop over the same bytes in memory, both folding every byte into
//   a hash (goal: at most 2).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>
#include <zlib.h>

#include "app/streamtypes.h"
#include "core/mem/mem.h"
#include "core/stream/bytestream.h"
#include "core/stream/inflate.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "platform/vfs/vfsbytestream.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t dataSize = 4u << 20;
constexpr size_t window = 64u << 10;

std::vector<uint8_t> textData()
{
    static const char *words[] = {"the",    "of",      "and",    "document", "page",  "viewer",
                                  "stream", "inflate", "window", "byte",     "table", "font",
                                  "glyph",  "render",  "layout", "x"};
    std::vector<uint8_t> out;
    uint32_t rng = 1;
    while (out.size() < dataSize) {
        rng = rng * 1103515245u + 12345u;
        const char *w = words[(rng >> 16) % 16];
        out.insert(out.end(), w, w + strlen(w));
        out.push_back((rng >> 8) % 13 == 0 ? '\n' : ' ');
    }
    out.resize(dataSize);
    return out;
}

std::vector<uint8_t> imageData()
{
    // 16-bit pixel rows: gradients with a little noise.
    std::vector<uint8_t> out(dataSize);
    uint32_t rng = 7;
    for (size_t i = 0; i + 1 < dataSize; i += 2) {
        size_t x = (i / 2) % 1024, y = (i / 2) / 1024;
        uint16_t v = uint16_t(x * 3 + y * 5);
        rng = rng * 1103515245u + 12345u;
        if ((rng >> 16) % 20 == 0)
            v ^= uint16_t((rng >> 8) & 15);
        out[i] = uint8_t(v);
        out[i + 1] = uint8_t(v >> 8);
    }
    return out;
}

std::vector<uint8_t> deflateRaw(const std::vector<uint8_t> &data)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())));
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct Sample {
    std::vector<uint8_t> plain, raw;
};

const Sample &sample(int which)
{
    static Sample text{textData(), {}}, image{imageData(), {}};
    Sample &s = which ? image : text;
    if (s.raw.empty())
        s.raw = deflateRaw(s.plain);
    return s;
}

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// zlib's own raw inflate into a buffer of the known size.
void zlibWhole(const Sample &s, std::vector<uint8_t> &out)
{
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef *>(s.raw.data());
    z.avail_in = uInt(s.raw.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END)
        abort();
    inflateEnd(&z);
}

// zlib's own raw inflate in windows of the given size.
size_t zlibWindows(const Sample &s, std::vector<uint8_t> &room)
{
    z_stream z{};
    inflateInit2(&z, -15);
    size_t at = 0, total = 0;
    int r = Z_OK;
    while (r == Z_OK || r == Z_BUF_ERROR) {
        size_t n = std::min(window, s.raw.size() - at);
        z.next_in = const_cast<Bytef *>(s.raw.data() + at);
        z.avail_in = uInt(n);
        z.next_out = room.data();
        z.avail_out = uInt(window);
        r = inflate(&z, Z_SYNC_FLUSH);
        at += n - z.avail_in;
        total += window - z.avail_out;
        if (r == Z_BUF_ERROR && n == 0)
            break;
    }
    inflateEnd(&z);
    return total;
}

size_t engineWindows(const Sample &s, std::vector<uint8_t> &room)
{
    InflateStream *st = nullptr;
    if (InflateStream_createRaw(&st) != 0)
        abort();
    size_t at = 0, total = 0;
    int done = 0;
    while (!done) {
        size_t n = std::min(window, s.raw.size() - at), inCount = n, space = window;
        if (InflateStream_decode(s.raw.data() + at, &inCount, room.data(), &space, &done, st) != 0)
            abort();
        at += n - inCount;
        total += window - space;
    }
    InflateStream_destroy(st);
    return total;
}

void BM_InflateWholeBuffer(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64u << 20, 0);
    const Sample &s = sample(int(state.range(0)));
    std::vector<uint8_t> out(s.plain.size());
    double engine = 0, reference = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        uint8_t *buf = nullptr;
        size_t len = 0;
        if (Inflate_wholeBuffer(s.raw.data(), s.raw.size(), &buf, &len) != 0 ||
            len != s.plain.size())
            abort();
        Mem_free(buf);
        auto t1 = Clock::now();
        zlibWhole(s, out);
        auto t2 = Clock::now();
        engine += seconds(t0, t1);
        reference += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = engine / reference;
    state.SetBytesProcessed(int64_t(state.iterations() * s.plain.size()));
    TestHeap_close(&heap);
}
BENCHMARK(BM_InflateWholeBuffer)
    ->ArgName("image")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_InflateDecodeWindows(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 64u << 20, 0);
    const Sample &s = sample(int(state.range(0)));
    std::vector<uint8_t> room(window);
    double engine = 0, reference = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        size_t a = engineWindows(s, room);
        auto t1 = Clock::now();
        size_t b = zlibWindows(s, room);
        auto t2 = Clock::now();
        if (a != s.plain.size() || b != a)
            abort();
        engine += seconds(t0, t1);
        reference += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = engine / reference;
    state.SetBytesProcessed(int64_t(state.iterations() * s.plain.size()));
    TestHeap_close(&heap);
}
BENCHMARK(BM_InflateDecodeWindows)
    ->ArgName("image")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Every byte folded into a hash, one at a time, in both loops.
inline uint32_t fold(uint32_t h, uint8_t b)
{
    return (h * 31u) ^ b;
}

void BM_LendingByteStreamByteByByte(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 16u << 20, 0);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    if (Vfs_initLayer(ctx) != 0 || App_registerStreamTypes(ctx) != 0)
        abort();
    const std::vector<uint8_t> &bytes = sample(0).plain;
    const char *tmp = getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlan-stream-bench.bin";
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    Url *url = Url_newFromCstr(("file://root" + path).c_str());
    double engine = 0, reference = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ByteStream *s = nullptr;
        if (Vfs_open(ctx, url, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) != 0 ||
            VfsByteStream_create(h, &s, 0, 1) != 0)
            abort();
        uint32_t ha = 0;
        uint8_t b;
        while (ByteStream_readByte(s, &b) == 0)
            ha = fold(ha, b);
        ByteStream_close(s);
        auto t1 = Clock::now();
        const uint8_t *volatile base = bytes.data();
        const uint8_t *p = base;
        uint32_t hb = 0;
        for (size_t i = 0; i < bytes.size(); i++)
            hb = fold(hb, p[i]);
        auto t2 = Clock::now();
        if (ha != hb)
            abort();
        benchmark::DoNotOptimize(ha);
        engine += seconds(t0, t1);
        reference += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = engine / reference;
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
    Url_free(url);
    unlink(path.c_str());
    Vfs_unregisterTypes(ctx);
    Vfs_finiLayer(ctx);
    Mem_free(ctx);
    TestHeap_close(&heap);
}
BENCHMARK(BM_LendingByteStreamByteByByte)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
