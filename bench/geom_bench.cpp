// Matrix speed: concatenation is done for every placed item of a page, so
// the translation and scale shortcuts should cost a fraction of the general
// products. Each benchmark concatenates one kind of second matrix onto a
// running first matrix; the general case is the baseline. Point mapping of
// a 64-point array shows the per-point cost.
#include <benchmark/benchmark.h>

#include "core/geom/matrix.h"

static void concatLoop(benchmark::State &state, Matrix n)
{
    Matrix m = {0x12345, 0x234, -0x345, 0xFEDC, 0x10000, 0x20000};
    for (auto _ : state) {
        Matrix_concat(&m, &n);
        benchmark::DoNotOptimize(m);
        // Keep the running matrix in range so every round does the same work.
        m.tx &= 0xFFFFF;
        m.ty &= 0xFFFFF;
        m.a |= 0x10000;
        m.d |= 0x10000;
    }
}

static void BM_ConcatTranslation(benchmark::State &state)
{
    concatLoop(state, Matrix{0x10000, 0, 0, 0x10000, 0x1234, -0x5678});
}
BENCHMARK(BM_ConcatTranslation);

static void BM_ConcatScale(benchmark::State &state)
{
    concatLoop(state, Matrix{0x10001, 0, 0, 0xFFFF, 0x1234, -0x5678});
}
BENCHMARK(BM_ConcatScale);

static void BM_ConcatGeneral(benchmark::State &state)
{
    concatLoop(state, Matrix{0xFFFF, 0x10, -0x10, 0xFFFF, 0x1234, -0x5678});
}
BENCHMARK(BM_ConcatGeneral);

static void BM_TransformPoints64(benchmark::State &state)
{
    const Matrix m = {0x12345, 0x234, -0x345, 0xFEDC, 0x10000, 0x20000};
    Point pts[64];
    for (int i = 0; i < 64; i++)
        pts[i] = Point{i * 0x1000, -i * 0x800};
    for (auto _ : state) {
        Matrix_transformPoints(pts, 64, pts, &m);
        benchmark::DoNotOptimize(pts);
        for (Point &p : pts) {
            p.x &= 0xFFFFFF;
            p.y &= 0xFFFFFF;
        }
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_TransformPoints64);
