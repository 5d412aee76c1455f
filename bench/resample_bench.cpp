// Resampling and orientation speed; also the smooth cubic reduction of
// 2048 x 1536 to 640 x 480 in grey and 4-byte pixels within 1.5x of PIL's
// bicubic resize of the same size ("L" and "RGBA"). Goals (bench/resample_vs_pil.py runs
// this and PIL on the same pictures in the same run): 1024 x 1024 to
// 256 x 256 and 256 x 256 to 1024 x 1024 in formats 0 and 4 within 1.5x of
// PIL's bicubic resize, and the four quarter-turn transforms of a
// 1024 x 1024 picture within 1.5x of PIL's transpose.
//
// Pictures are a fixed pseudo-random pattern; PIL gets the same sizes in
// mode "L" for format 0 and "RGB" beside format 4 (PIL has no 5-6-5 mode).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "graphics/cubic.h"
#include "graphics/orient.h"
#include "graphics/pixelbuf.h"
#include "graphics/resample.h"
#include "tests/support/test_engine.h"

namespace {

struct World {
    TestHeap heap{};
    std::vector<uint8_t> small[2], large[2], out[2];
    PixelBuf *turnSource[2] = {};

    World()
    {
        TestHeap_open(&heap, size_t(128) << 20, 0);
        std::mt19937 rng(11);
        for (int f = 0; f < 2; f++) {
            uint32_t bpp = f ? 2 : 1;
            small[f].resize(256 * 256 * bpp);
            large[f].resize(1024 * 1024 * bpp);
            out[f].resize(1024 * 1024 * bpp);
            for (uint8_t &b : small[f])
                b = uint8_t(rng());
            for (uint8_t &b : large[f])
                b = uint8_t(rng());
            (void)PixelBuf_create(&turnSource[f], 1024, 1024,
                                  f ? Pixel_format565 : Pixel_formatGrey8, 0x10000);
            for (size_t i = 0; i < size_t(turnSource[f]->stride) * 1024; i++)
                turnSource[f]->pixels[i] = uint8_t(rng());
        }
    }
};

World &world()
{
    static World w;
    return w;
}

void resample(benchmark::State &state, int f, bool reduce)
{
    World &w = world();
    uint32_t fmt = f ? Pixel_format565 : Pixel_formatGrey8;
    uint32_t bpp = f ? 2 : 1;
    int32_t sn = reduce ? 1024 : 256, dn = reduce ? 256 : 1024;
    const uint8_t *src = reduce ? w.large[f].data() : w.small[f].data();
    for (auto _ : state) {
        int r = Image_resample(src, sn, sn, ptrdiff_t(sn) * bpp, w.out[f].data(), dn, dn,
                               ptrdiff_t(dn) * bpp, dn, dn, 0, 0, fmt, fmt);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
}

void turn(benchmark::State &state, int f, OrientFn fn)
{
    World &w = world();
    for (auto _ : state) {
        PixelBuf *out = nullptr;
        int r = fn(w.turnSource[f], &out);
        benchmark::DoNotOptimize(r);
        PixelBuf_destroy(out);
    }
}

// The smooth reduction of a 2048 x 1536 picture to 640 x 480 in grey and
// in 4-byte pixels.
void cubic(benchmark::State &state, uint32_t format)
{
    world(); // opens the heap
    PixelBuf *src = nullptr, *dst = nullptr;
    if (PixelBuf_create(&src, 2048, 1536, format, 0x10000) != 0 ||
        PixelBuf_create(&dst, 640, 480, format, 0x10000) != 0) {
        state.SkipWithError("no memory");
        PixelBuf_destroy(src);
        return;
    }
    std::mt19937 rng(86);
    for (size_t i = 0; i < size_t(src->stride) * 1536; i++)
        src->pixels[i] = uint8_t(rng());
    for (auto _ : state) {
        int r = Image_resampleCubic(src, dst);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    PixelBuf_destroy(src);
    PixelBuf_destroy(dst);
}

} // namespace

BENCHMARK_CAPTURE(cubic, grey, Pixel_formatGrey8)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(cubic, rgba, Pixel_formatRGBA)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(resample, reduce_f0, 0, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(resample, reduce_f4, 1, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(resample, enlarge_f0, 0, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(resample, enlarge_f4, 1, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, cw_f0, 0, PixelBuf_rotateClockwise)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, acw_f0, 0, PixelBuf_rotateAnticlockwise)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, half_f0, 0, PixelBuf_rotate180)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, transpose_f0, 0, PixelBuf_transpose)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, cw_f4, 1, PixelBuf_rotateClockwise)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, acw_f4, 1, PixelBuf_rotateAnticlockwise)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, half_f4, 1, PixelBuf_rotate180)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(turn, transpose_f4, 1, PixelBuf_transpose)->Unit(benchmark::kMicrosecond);
