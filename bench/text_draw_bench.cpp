// Text drawing and measuring speed over the box font list.
//
// Drawing: 10,000 glyphs (100 runs of 100 characters) into a 5-6-5 bitmap
// from cached glyph masks, against the same glyphs filled from their
// outline paths every time. Goal: masks at least 4x faster.
//
// Measuring: fitting one line into a width at the start of a
// 10,000-character paragraph, against measuring that line's characters
// alone. Goal: at most 2x.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"
#include "fonts/textrun.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

constexpr int32_t width = 1024, height = 1024;
constexpr int32_t size = 10 << 16; // 10 points at 72 pixels an inch

struct World {
    TestHeap heap{};
    EngineContext context{};
    std::vector<uint8_t> pixels;
    Bitmap *bitmap = nullptr;
    FontList *fonts = nullptr;
    std::u16string line, paragraph;
    World()
    {
        TestHeap_open(&heap, size_t(64) << 20, 0);
        context.textTone = nullptr;
        pixels.assign(size_t(width) * height * 2, 0);
        (void)Bitmap_create(&context, &bitmap, width, height, Pixel_format565, 0x10000,
                            pixels.data(), 0);
        (void)Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &fonts);
        for (int i = 0; i < 100; i++)
            line += char16_t(u'A' + i % 26);
        for (int i = 0; i < 10000; i++)
            paragraph += i % 7 == 6 ? u' ' : char16_t(u'a' + i % 26);
    }
};

World &world()
{
    static World w;
    return w;
}

void drawRuns(World &w, uint32_t masks)
{
    w.fonts->fonts[0].wantsMasks = masks;
    DrawTarget target{w.bitmap, nullptr, 0, 0};
    for (int r = 0; r < 100; r++) {
        Matrix m = {72, 0, 0, 72, 0, 10 * r + 4};
        (void)TextRun_outline(w.fonts, size, 0, nullptr, w.line.data(), uint32_t(w.line.size()), 0,
                              0, &m, nullptr, &target, 0xFF000000);
    }
}

void BM_GlyphsFromCachedMasks(benchmark::State &state)
{
    World &w = world();
    drawRuns(w, 1); // fills the mask cache
    for (auto _ : state)
        drawRuns(w, 1);
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_GlyphsFromCachedMasks)->Unit(benchmark::kMillisecond);

void BM_GlyphsFilledFromPaths(benchmark::State &state)
{
    World &w = world();
    for (auto _ : state)
        drawRuns(w, 0);
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_GlyphsFilledFromPaths)->Unit(benchmark::kMillisecond);

// A line of about 80 characters.
constexpr int32_t lineWidth = int32_t(80LL * 12744 * ((size + 9) / 18) / 65536);

void BM_FitLineInParagraph(benchmark::State &state)
{
    World &w = world();
    uint32_t fitted = 0;
    for (auto _ : state) {
        Rect r{};
        (void)TextRun_measureFit(w.fonts, size, 0, nullptr, w.paragraph.data(),
                                 uint32_t(w.paragraph.size()), 0, 0, lineWidth, &fitted, &r);
        benchmark::DoNotOptimize(r);
    }
    state.counters["fitted"] = fitted;
}
BENCHMARK(BM_FitLineInParagraph)->Unit(benchmark::kMicrosecond);

void BM_MeasureLineAlone(benchmark::State &state)
{
    World &w = world();
    for (auto _ : state) {
        Rect r{};
        (void)TextRun_measureFit(w.fonts, size, 0, nullptr, w.paragraph.data(), 80, 0, 0,
                                 0x7FFFFFFF, nullptr, &r);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_MeasureLineAlone)->Unit(benchmark::kMicrosecond);

} // namespace
