// The in-place scroll of a pan. A 480 x 800 view of 16-bit pixels is
// scrolled by every offset from -100 to 100 (0 left out), vertically and
// horizontally. The reference, in the same run, moves the same rows with
// memmove through a temporary buffer (the whole source rectangle copied
// out, then copied to its destination).
//
// Goal: the scroll costs at most 1.2x the reference.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/pixelbuf.h"
#include "viewer/dispupdate.h"

namespace {

constexpr int32_t kWidth = 480, kHeight = 800, kMaxOffset = 100;

struct View {
    std::vector<uint16_t> pixels;
    Bitmap bitmap{};
    View() : pixels(size_t(kWidth) * kHeight)
    {
        for (size_t i = 0; i < pixels.size(); i++)
            pixels[i] = uint16_t(i * 31);
        bitmap.width = kWidth;
        bitmap.height = kHeight;
        bitmap.stride = kWidth * 2;
        bitmap.format = Pixel_format565;
        bitmap.pixels = pixels.data();
    }
};

// The source rectangle that stays inside the view when it moves by (dx, dy).
Rect sourceOf(int32_t dx, int32_t dy)
{
    Rect r{0, 0, kWidth, kHeight};
    if (dx > 0)
        r.x1 -= dx;
    else
        r.x0 -= dx;
    if (dy > 0)
        r.y1 -= dy;
    else
        r.y0 -= dy;
    return r;
}

void scrollAll(benchmark::State &state, bool reference)
{
    View v;
    std::vector<uint8_t> temp(size_t(kWidth) * kHeight * 2);
    for (auto _ : state) {
        for (int32_t axis = 0; axis < 2; axis++) {
            for (int32_t d = -kMaxOffset; d <= kMaxOffset; d++) {
                if (d == 0)
                    continue;
                int32_t dx = axis == 0 ? d : 0, dy = axis == 1 ? d : 0;
                Rect src = sourceOf(dx, dy);
                Point dst{src.x0 + dx, src.y0 + dy};
                if (!reference) {
                    Dispman_scrollBitmap(&v.bitmap, &src, &dst);
                    continue;
                }
                uint8_t *base = reinterpret_cast<uint8_t *>(v.pixels.data());
                size_t rowBytes = size_t(src.x1 - src.x0) * 2;
                size_t rows = size_t(src.y1 - src.y0);
                for (size_t i = 0; i < rows; i++)
                    std::memmove(&temp[i * rowBytes],
                                 base + size_t(src.y0 + i) * v.bitmap.stride + size_t(src.x0) * 2,
                                 rowBytes);
                for (size_t i = 0; i < rows; i++)
                    std::memmove(base + size_t(dst.y + i) * v.bitmap.stride + size_t(dst.x) * 2,
                                 &temp[i * rowBytes], rowBytes);
            }
        }
        benchmark::DoNotOptimize(v.pixels.data());
        benchmark::ClobberMemory();
    }
}

void BM_ScrollInPlace(benchmark::State &state)
{
    scrollAll(state, false);
}

void BM_ScrollThroughBuffer(benchmark::State &state)
{
    scrollAll(state, true);
}

BENCHMARK(BM_ScrollInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollThroughBuffer)->Unit(benchmark::kMillisecond);

} // namespace
