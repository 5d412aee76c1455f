// Zip member reading speed, as a ratio against a reference measured in the
// same run on the same data (the reported time is the engine's): a 16 MiB
// deflated member of a zip file on disk, read to its end through the zip
// stream type in lent buffers of 4096 bytes (the archive opened, the
// member found, inflated through its 2048-byte input buffer), against
// zlib's inflate of the same compressed bytes called directly:
// - "ratio": zlib fed from memory in the same windows, 2048 bytes in and
//   4096 bytes out, so that the figure is what the archive reader and the
//   stream layer add to inflating (goal: at most 1.15);
// - "ratioWhole": zlib in one call from memory into one buffer of the
//   whole size. Inflating in one call skips zlib's sliding window, which
//   makes it about a fifth faster than any inflating in pieces, zlib's
//   own included; this figure is shown for comparison.
// The argument "image" is 0 for text, 1 for image-like data.
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
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/office/zip_writer.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t memberSize = 16u << 20;

std::string textData()
{
    static const char *words[] = {"the",    "of",      "and",    "document", "page",  "viewer",
                                  "stream", "inflate", "window", "byte",     "table", "font",
                                  "glyph",  "render",  "layout", "x"};
    std::string out;
    uint32_t rng = 1;
    while (out.size() < memberSize) {
        rng = rng * 1103515245u + 12345u;
        out += words[(rng >> 16) % 16];
        out += (rng >> 8) % 13 == 0 ? '\n' : ' ';
    }
    out.resize(memberSize);
    return out;
}

std::string imageData()
{
    // 16-bit pixel rows: gradients with a little noise.
    std::string out(memberSize, '\0');
    uint32_t rng = 7;
    for (size_t i = 0; i + 1 < memberSize; i += 2) {
        size_t x = (i / 2) % 1024, y = (i / 2) / 1024;
        uint16_t v = uint16_t(x * 3 + y * 5);
        rng = rng * 1103515245u + 12345u;
        if ((rng >> 16) % 20 == 0)
            v ^= uint16_t((rng >> 8) & 15);
        out[i] = char(v & 0xFF);
        out[i + 1] = char(v >> 8);
    }
    return out;
}

struct Sample {
    std::string plain;
    std::string packed;  // the member's raw deflate data
    std::string archive; // the zip file
};

const Sample &sample(int which)
{
    static Sample samples[2];
    Sample &s = samples[which];
    if (s.plain.empty()) {
        s.plain = which ? imageData() : textData();
        s.packed = zipDeflateRaw(s.plain);
        s.archive = zipWrite(
            {{"readme.txt", "a small member first", false}, {"member.bin", s.plain, true}});
    }
    return s;
}

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Folds every 997th byte of the member into h: p holds n bytes from
// position at on.
uint32_t fold(uint32_t h, size_t at, const uint8_t *p, size_t n)
{
    for (size_t i = (997 - at % 997) % 997; i < n; i += 997)
        h = h * 31u + p[i];
    return h;
}

// zlib in the engine's windows: 2048 bytes of input, 4096 of output.
uint32_t zlibWindows(const Sample &s, std::vector<uint8_t> &room)
{
    z_stream z{};
    inflateInit2(&z, -15);
    size_t at = 0, total = 0;
    uint32_t h = 0;
    int r = Z_OK;
    while (r == Z_OK) {
        size_t n = std::min<size_t>(2048, s.packed.size() - at);
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(s.packed.data() + at));
        z.avail_in = uInt(n);
        while (r == Z_OK && z.avail_in > 0) {
            z.next_out = room.data();
            z.avail_out = 4096;
            r = inflate(&z, Z_SYNC_FLUSH);
            size_t made = 4096 - z.avail_out;
            h = fold(h, total, room.data(), made);
            total += made;
        }
        at += n;
        if (r == Z_BUF_ERROR && at < s.packed.size())
            r = Z_OK;
    }
    if (r != Z_STREAM_END || total != s.plain.size())
        abort();
    inflateEnd(&z);
    return h;
}

void zlibWhole(const Sample &s, std::vector<uint8_t> &out)
{
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(s.packed.data()));
    z.avail_in = uInt(s.packed.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END)
        abort();
    inflateEnd(&z);
}

void BM_ZipMemberThroughTheStreamLayer(benchmark::State &state)
{
    TestHeap heap;
    TestHeap_open(&heap, 16u << 20, 0);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    if (Vfs_initLayer(ctx) != 0 || App_registerStreamTypes(ctx) != 0)
        abort();
    const Sample &s = sample(int(state.range(0)));
    const char *tmp = getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlan-zip-bench.zip";
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(s.archive.data(), 1, s.archive.size(), f);
    fclose(f);
    Url *url = Url_newFromCstr(("file://root" + path + "/member.bin").c_str());
    std::vector<uint8_t> out(s.plain.size());
    double engine = 0, reference = 0, whole = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        if (Vfs_open(ctx, url, Vfs_modeRead, &h, &accepted) != 0)
            abort();
        size_t total = 0;
        uint32_t ha = 0;
        for (;;) {
            const uint8_t *p = nullptr;
            size_t len = 0;
            if (Vfs_getReadBuf(h, 4096, &p, &len) != 0)
                abort();
            ha = fold(ha, total, p, len);
            (void)Vfs_readDone(h, len);
            total += len;
            if (len == 0)
                break;
        }
        (void)Vfs_close(h);
        auto t1 = Clock::now();
        uint32_t hb = zlibWindows(s, out);
        auto t2 = Clock::now();
        zlibWhole(s, out);
        uint32_t hc = fold(0, 0, out.data(), out.size());
        auto t3 = Clock::now();
        if (total != s.plain.size() || ha != hb || ha != hc)
            abort();
        engine += seconds(t0, t1);
        reference += seconds(t1, t2);
        whole += seconds(t2, t3);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = engine / reference;
    state.counters["ratioWhole"] = engine / whole;
    state.SetBytesProcessed(int64_t(state.iterations() * s.plain.size()));
    Url_free(url);
    unlink(path.c_str());
    Vfs_unregisterTypes(ctx);
    Vfs_finiLayer(ctx);
    Mem_free(ctx);
    TestHeap_close(&heap);
}
BENCHMARK(BM_ZipMemberThroughTheStreamLayer)
    ->ArgName("image")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
