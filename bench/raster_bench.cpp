// Anti-aliased fill speed. Four shapes fill a 1024 x 1024 bitmap in format
// 0 (8-bit) and format 4 (5-6-5) with 0 to 3 sub-pixel bits: a five-point
// star, an ellipse of four cubic curves, a glyph-like outline (two rings
// of cubics and a bowl of quadratic curves, even-odd) and a polygon of
// 1000 edges. Each draw goes through the draw item as a page renderer
// would: device path, crossing table, span painter, row operations.
//
// Baseline in the same binary: a brute-force supersampling rasteriser
// that evaluates every one of the 2^s x 2^s samples of every pixel of the
// shape's box against the crossings of its sample row and averages them.
// Goals (bench/raster_vs_pil.py runs this and PIL's ImageDraw.polygon on
// the same shapes in the same run and prints the ratios): s = 0 within
// 1.5x of PIL, s = 2 within 4x of PIL, every s at least 10x faster than
// the brute-force rasteriser.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/curve.h"
#include "core/geom/matrix.h"
#include "graphics/pathwalk.h"
#include "core/geom/rect.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

constexpr int32_t size = 1024;
constexpr int32_t unit = 256; // device units per pixel
constexpr Matrix deviceUnits = {0x100, 0, 0, 0x100, 0, 0};

// The polygon's points come from this generator; bench/raster_vs_pil.py
// uses the same one.
struct Lcg {
    uint32_t state = 12345;
    uint32_t next()
    {
        state = state * 1103515245u + 12345u;
        return (state >> 8) & 0xFFFF;
    }
};

struct Shape {
    const char *name;
    Path *path;
    uint32_t rule;
};

struct World {
    TestHeap heap{};
    EngineContext context{};
    std::vector<Shape> shapes;
    std::vector<uint8_t> pixels[2];
    Bitmap *bitmaps[2] = {};

    World()
    {
        TestHeap_open(&heap, size_t(64) << 20, 0);
        context.textTone = nullptr; // the engine's own coverage curve
        shapes.push_back({"star", star(), 0});
        shapes.push_back({"ellipse", ellipse(), 0});
        shapes.push_back({"glyph", glyph(), 1});
        shapes.push_back({"poly1000", polygon1000(), 0});
        const uint32_t formats[2] = {Pixel_formatGrey8, Pixel_format565};
        for (int i = 0; i < 2; i++) {
            uint32_t stride;
            uint64_t bytes;
            Pixel_bufferSize(size, size, formats[i], &stride, &bytes);
            pixels[i].assign(bytes, 0);
            (void)Bitmap_create(&context, &bitmaps[i], size, size, formats[i], 0x10000,
                                pixels[i].data(), 0);
        }
    }

    static Path *make()
    {
        Path *p = nullptr;
        (void)Path_create(&p, 0x10000);
        return p;
    }
    static Path *star()
    {
        Path *p = make();
        for (int i = 0; i < 10; i++) {
            double r = (i % 2 ? 200.0 : 500.0) * unit, a = M_PI * i / 5;
            int32_t x = int32_t(512 * unit + r * std::sin(a)),
                    y = int32_t(512 * unit + r * std::cos(a));
            if (i == 0)
                (void)Path_moveTo(p, x, y);
            else
                (void)Path_lineTo(p, x, y);
        }
        (void)Path_close(p);
        return p;
    }
    static void addEllipse(Path *p, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
    {
        const Rect r = {x0 * unit, y0 * unit, x1 * unit, y1 * unit};
        (void)Path_addArc(p, &r, x1 * unit, (y0 + y1) / 2 * unit, x1 * unit, (y0 + y1) / 2 * unit);
        (void)Path_close(p);
    }
    static Path *ellipse()
    {
        Path *p = make();
        addEllipse(p, 32, 100, 992, 924);
        return p;
    }
    static Path *glyph()
    {
        Path *p = make();
        addEllipse(p, 100, 300, 700, 1000);
        addEllipse(p, 250, 450, 550, 850);
        // A bowl of quadratic curves above it.
        (void)Path_moveTo(p, 300 * unit, 280 * unit);
        (void)Path_quadTo(p, 520 * unit, 20 * unit, 900 * unit, 120 * unit);
        (void)Path_quadTo(p, 1000 * unit, 400 * unit, 760 * unit, 620 * unit);
        (void)Path_quadTo(p, 820 * unit, 300 * unit, 620 * unit, 230 * unit);
        (void)Path_quadTo(p, 450 * unit, 180 * unit, 300 * unit, 280 * unit);
        (void)Path_close(p);
        return p;
    }
    static Path *polygon1000()
    {
        Path *p = make();
        Lcg rng;
        for (int i = 0; i < 1000; i++) {
            double r = (150 + rng.next() % 350) * double(unit), a = 2 * M_PI * i / 1000;
            int32_t x = int32_t(512 * unit + r * std::cos(a)),
                    y = int32_t(512 * unit + r * std::sin(a));
            if (i == 0)
                (void)Path_moveTo(p, x, y);
            else
                (void)Path_lineTo(p, x, y);
        }
        (void)Path_close(p);
        return p;
    }
};

World &world()
{
    static World w;
    return w;
}

void fill(benchmark::State &state, int shape, uint32_t s, int format)
{
    World &w = world();
    Bitmap *b = w.bitmaps[format];
    DrawItem *item = b->drawItem;
    item->kind = DrawItem_kindPath;
    item->shape.path = FillRequest{w.shapes[shape].path, s, &deviceUnits, 0,
                                   Pen{w.shapes[shape].rule, 0, 0, 0, 0, nullptr}};
    item->paintKind = DrawItem_sourceSolid;
    item->paint.solid.format = format == 0 ? Pixel_formatGrey8 : Pixel_formatRGBA;
    item->paint.solid.value = format == 0 ? 0xC0 : 0x0040C0FF;
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, 255};
    item->cachedRowOp = nullptr;
    const DrawTarget target = {b, nullptr, 0, 0};
    for (auto _ : state) {
        int r = DrawItem_render(item, nullptr, nullptr, &target);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * size * size);
}

// ------------------------------------------------------------ brute force

struct Line {
    double x0, y0, x1, y1;
};

int collectPiece(const int32_t *end, void *user)
{
    static_cast<std::vector<Line> *>(user)->push_back(
        {double(end[-3]), double(end[-2]), double(end[0]), double(end[1])});
    return 0;
}

struct Flatten {
    std::vector<Line> lines;
};

int onLine(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    if (last)
        static_cast<Flatten *>(user)->lines.push_back(
            {double(last[0]), double(last[1]), double(p[0]), double(p[1])});
    return 0;
}

int onClose(const int32_t *, void *user, const int32_t *last, const int32_t *start)
{
    if (last && start)
        static_cast<Flatten *>(user)->lines.push_back(
            {double(last[0]), double(last[1]), double(start[0]), double(start[1])});
    return 0;
}

int onQuad(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    const int32_t seg[Curve_quadWords] = {last[0], last[1], 6, p[0], p[1], p[2], p[3]};
    return Curve_flatten(seg, collectPiece, &static_cast<Flatten *>(user)->lines);
}

int onCubic(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    const int32_t seg[Curve_cubicWords] = {last[0], last[1], 7, p[0], p[1], p[2], p[3], p[4], p[5]};
    return Curve_flattenCubic(seg, collectPiece, &static_cast<Flatten *>(user)->lines);
}

// Every sample of every pixel: for each sample row, the crossings of all
// lines; then each sample of the row is tested against them one by one.
void brute(benchmark::State &state, int shape, uint32_t s)
{
    World &w = world();
    const PathWalkFn slots[16] = {onClose, onLine,  nullptr, nullptr, onClose, onLine,
                                  onQuad,  onCubic, nullptr, onClose, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr};
    Flatten f;
    Path_walk(w.shapes[shape].path, slots, &f);
    const bool evenOdd = w.shapes[shape].rule != 0;
    const int sub = 1 << s;
    std::vector<uint8_t> out(size_t(size) * size);
    std::vector<std::pair<double, int>> xs;
    std::vector<uint16_t> counts(size);
    for (auto _ : state) {
        for (int py = 0; py < size; py++) {
            std::fill(counts.begin(), counts.end(), 0);
            for (int j = 0; j < sub; j++) {
                double y = (py + (j + 0.5) / sub) * unit;
                xs.clear();
                for (const Line &l : f.lines)
                    if ((l.y0 < y) != (l.y1 < y))
                        xs.push_back({l.x0 + (y - l.y0) * (l.x1 - l.x0) / (l.y1 - l.y0),
                                      l.y1 > l.y0 ? 1 : -1});
                std::sort(xs.begin(), xs.end());
                for (int px = 0; px < size; px++)
                    for (int i = 0; i < sub; i++) {
                        double x = (px + (i + 0.5) / sub) * unit;
                        int wind = 0;
                        for (const auto &c : xs) {
                            if (c.first > x)
                                break;
                            wind = evenOdd ? wind ^ 1 : wind + c.second;
                        }
                        counts[px] += wind != 0;
                    }
            }
            for (int px = 0; px < size; px++)
                out[size_t(py) * size + px] = uint8_t(counts[px] * 255 / (sub * sub));
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * size * size);
}

int registerAll()
{
    static const char *formatNames[2] = {"f0", "f4"};
    for (int shape = 0; shape < 4; shape++) {
        const char *name = world().shapes[shape].name;
        for (uint32_t s = 0; s <= 3; s++) {
            for (int format = 0; format < 2; format++) {
                std::string n = std::string("fill/") + name + "/s" + std::to_string(s) + "/" +
                                formatNames[format];
                benchmark::RegisterBenchmark(n.c_str(), fill, shape, s, format)
                    ->Unit(benchmark::kMicrosecond);
            }
            std::string b = std::string("brute/") + name + "/s" + std::to_string(s);
            benchmark::RegisterBenchmark(b.c_str(), brute, shape, s)
                ->Unit(benchmark::kMicrosecond)
                ->Iterations(1);
        }
    }
    return 0;
}

const int registered = registerAll();

} // namespace
