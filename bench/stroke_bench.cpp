// Stroking speed: three paths stroked into an outline (Path_stroke), each
// as a ratio against walking the same path and flattening its curves with
// a counting callback (Path_walk, the same matrix, Curve_flatten and the
// cubic flattener) in the same run (the "ratio" counter; the reported time
// is the stroke's). The paths: a 100,000-piece polyline with miter joins, a
// circle of cubics with a dash pattern, and a zigzag with round joins and
// caps. Coordinates are in 1/256 pixel, as the drawing code strokes them.
// Goal: ratio at most 10.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "graphics/curve.h"
#include "core/geom/matrix.h"
#include "graphics/pathwalk.h"
#include "graphics/stroke.h"
#include "core/result.h"
#include "graphics/path.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// ------------------------------------------------- the counting baseline

struct Count {
    const Matrix *matrix;
    size_t pieces;
};

int countPiece(const int32_t *, void *user)
{
    static_cast<Count *>(user)->pieces++;
    return 0;
}

Point mapped(const Count *c, const int32_t *p)
{
    Point out;
    Matrix_transformPoint(&out, p[0], p[1], c->matrix);
    return out;
}

int countLine(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    Count *c = static_cast<Count *>(user);
    if (last) {
        Point a = mapped(c, last), b = mapped(c, points);
        c->pieces += a.x != b.x || a.y != b.y;
    }
    return 0;
}

int countQuad(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    Count *c = static_cast<Count *>(user);
    if (!last)
        return 0;
    Point p0 = mapped(c, last), p1 = mapped(c, points), p2 = mapped(c, points + 2);
    const int32_t seg[Curve_quadWords] = {p0.x, p0.y, int32_t(Path_opQuad), p1.x, p1.y, p2.x, p2.y};
    return Curve_flatten(seg, countPiece, c);
}

int countCubic(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    Count *c = static_cast<Count *>(user);
    if (!last)
        return 0;
    Point p0 = mapped(c, last), p1 = mapped(c, points), p2 = mapped(c, points + 2),
          p3 = mapped(c, points + 4);
    const int32_t curve[Curve_cubicWords] = {
        p0.x, p0.y, int32_t(Path_opCubic), p1.x, p1.y, p2.x, p2.y, p3.x, p3.y};
    return Curve_flattenCubic(curve, countPiece, c);
}

const PathWalkFn kCount[16] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, countLine, countQuad, countCubic,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,   nullptr,   nullptr,
};

// ------------------------------------------------------------- the paths

constexpr int32_t kPixel = 256;

Path *polyline()
{
    Path *p = nullptr;
    if (Path_create(&p, 0x10000) != Res_ok || Path_moveTo(p, 0, 0) != Res_ok)
        abort();
    // 100,000 pieces of 3 to 10 pixels turning by up to 60 degrees.
    uint32_t seed = 12345;
    int32_t x = 0, y = 0;
    for (int i = 0; i < 100000; i++) {
        seed = seed * 1103515245u + 12345u;
        x += int32_t(3 + (seed >> 16) % 8) * kPixel;
        y += (int32_t((seed >> 8) % 11) - 5) * kPixel;
        if (Path_lineTo(p, x, y) != Res_ok)
            abort();
    }
    return p;
}

Path *circle()
{
    Path *p = nullptr;
    const int32_t r = 400 * kPixel, k = int32_t(0.5523 * r), c = 500 * kPixel;
    if (Path_create(&p, 0x10000) != Res_ok || Path_moveTo(p, c + r, c) != Res_ok ||
        Path_curveTo(p, c + r, c + k, c + k, c + r, c, c + r) != Res_ok ||
        Path_curveTo(p, c - k, c + r, c - r, c + k, c - r, c) != Res_ok ||
        Path_curveTo(p, c - r, c - k, c - k, c - r, c, c - r) != Res_ok ||
        Path_curveTo(p, c + k, c - r, c + r, c - k, c + r, c) != Res_ok || Path_close(p) != Res_ok)
        abort();
    return p;
}

Path *zigzag()
{
    Path *p = nullptr;
    if (Path_create(&p, 0x10000) != Res_ok || Path_moveTo(p, 0, 0) != Res_ok)
        abort();
    for (int i = 1; i <= 2000; i++)
        if (Path_lineTo(p, i * 20 * kPixel, (i % 2) * 30 * kPixel) != Res_ok)
            abort();
    return p;
}

uint32_t penStyle(uint32_t join, uint32_t cap)
{
    return join << Pen_joinShift | cap << Pen_startCapShift | cap << Pen_endCapShift;
}

void strokeAgainstWalk(benchmark::State &state, Path *(*make)(), const Pen &pen)
{
    TestHeap heap;
    if (!TestHeap_open(&heap, 256u << 20, 0))
        abort();
    Path *source = make(), *out = nullptr;
    if (Path_create(&out, 0x10000) != Res_ok)
        abort();
    const Matrix *m = Matrix_identity();
    double stroke = 0, walk = 0;
    size_t pieces = 0;
    for (auto _ : state) {
        Path_reset(out);
        auto t0 = Clock::now();
        if (Path_stroke(nullptr, source, out, m, &pen, 0x10000, nullptr) != Res_ok)
            abort();
        auto t1 = Clock::now();
        Count count{m, 0};
        if (Path_walk(source, kCount, &count) != Res_ok)
            abort();
        auto t2 = Clock::now();
        benchmark::DoNotOptimize(count.pieces);
        pieces = count.pieces;
        stroke += seconds(t0, t1);
        walk += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = stroke / walk;
    state.counters["pieces"] = double(pieces);
    state.counters["outline_words"] = double(Path_wordCount(out));
    Path_destroy(source);
    Path_destroy(out);
    TestHeap_close(&heap);
}

void BM_PolylineMiter(benchmark::State &state)
{
    strokeAgainstWalk(
        state, polyline,
        Pen{penStyle(Pen_joinMiter, Pen_capButt), 4 * kPixel, 16 * kPixel, 0, 0, nullptr});
}
BENCHMARK(BM_PolylineMiter)->UseManualTime()->Unit(benchmark::kMillisecond);

// 12, 6, 3 and 6 pixels (the dash scale is 1.0).
const int32_t kDash[] = {12 * kPixel, 6 * kPixel, 3 * kPixel, 6 * kPixel, -1};

void BM_DashedCircle(benchmark::State &state)
{
    strokeAgainstWalk(
        state, circle,
        Pen{penStyle(Pen_joinMiter, Pen_capButt), 3 * kPixel, 12 * kPixel, 0, 0, kDash});
}
BENCHMARK(BM_DashedCircle)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ZigzagRound(benchmark::State &state)
{
    strokeAgainstWalk(state, zigzag,
                      Pen{penStyle(Pen_joinRound, Pen_capRound), 6 * kPixel, 0, 0, 0, nullptr});
}
BENCHMARK(BM_ZigzagRound)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
