// GIF decoding: every frame of an animated GIF and of a large still one,
// composed onto screen buffers in the 5-6-5 format. The files come from
// bench/gif_vs_pil.py, which writes them into the directory named by
// GIF_BENCH_DIR ("anim.gif" and "still.gif") and compares the times with
// PIL opening and loading every frame of the same files in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/codecs/gif.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

struct World {
    TestHeap heap{};
    EngineContext *ctx = nullptr;
    World()
    {
        TestHeap_open(&heap, 256u << 20, 0);
        ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        ctx->instance = heap.instance;
    }
};

World &world()
{
    static World w;
    return w;
}

std::string readFile(const char *name)
{
    const char *dir = getenv("GIF_BENCH_DIR");
    std::string path = std::string(dir ? dir : ".") + "/" + name;
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    fclose(f);
    return data;
}

// A seekable stream over bytes the caller keeps.
struct MemStream {
    ByteStream base;
    const uint8_t *data;
    size_t size;
};

int memGetByte(ByteStream *s)
{
    return s->readPtr < s->end ? int(*s->readPtr++) : int(ByteStream_end);
}

int memSeek(ByteStream *s, uint64_t position)
{
    MemStream *m = reinterpret_cast<MemStream *>(s);
    if (position > m->size)
        return Res_byteStreamEnded;
    s->readPtr = m->data + position;
    return Res_ok;
}

// Decodes one pass over every frame of the file.
void decodeAllFrames(benchmark::State &state, const char *name)
{
    std::string bytes = readFile(name);
    if (bytes.empty()) {
        state.SkipWithError("run bench/gif_vs_pil.py (GIF_BENCH_DIR)");
        return;
    }
    EngineContext *ctx = world().ctx;
    int64_t frames = 0;
    for (auto _ : state) {
        MemStream m{};
        m.data = reinterpret_cast<const uint8_t *>(bytes.data());
        m.size = bytes.size();
        m.base.getByte = memGetByte;
        m.base.seek = memSeek;
        m.base.length = bytes.size();
        m.base.readPtr = m.data;
        m.base.end = m.data + m.size;
        void *instance = nullptr;
        (void)Gif_createInstance(ctx, nullptr, 0, &instance);
        GifDecoder *d = static_cast<GifDecoder *>(instance);
        d->maxLoops = 1;
        int32_t w = 0, h = 0;
        (void)Gif_readScreen(d, &m.base, &w, &h);
        PixelBuf *picture = nullptr, *mask = nullptr;
        (void)PixelBuf_create(&picture, w, h, Pixel_format565, 0x10000);
        (void)PixelBuf_create(&mask, w, h, Pixel_formatGrey8, 0x10000);
        for (;;) {
            int32_t shown = 0, duration = 0;
            if (Gif_stepFrame(ctx, d, &m.base, picture, mask, &shown, &duration) != Res_ok ||
                !shown)
                break;
            frames++;
        }
        PixelBuf_destroy(picture);
        PixelBuf_destroy(mask);
        Gif_destroyInstance(nullptr, d);
    }
    state.counters["frames"] = double(frames) / double(state.iterations());
}

void BM_GifAnimated(benchmark::State &state)
{
    decodeAllFrames(state, "anim.gif");
}
BENCHMARK(BM_GifAnimated)->Unit(benchmark::kMillisecond);

void BM_GifLargeStill(benchmark::State &state)
{
    decodeAllFrames(state, "still.gif");
}
BENCHMARK(BM_GifLargeStill)->Unit(benchmark::kMillisecond);

} // namespace
