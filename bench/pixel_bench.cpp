// Shared pixel services on a 2048 x 2048 plane or frame, each beside a
// plain per-pixel loop of the same job run in the same executable. Goals:
// the byte-plane reductions and the byte mapping in at most half the
// plain loop's time; the dithered 5-6-5 shrink and the YCbCr 4:2:0
// conversion no slower than it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/ycbcr.h"
#include "graphics/plane.h"
#include "graphics/scale565.h"

namespace {

constexpr uint32_t N = 2048;

struct Data {
    std::vector<uint8_t> plane, out;
    std::vector<uint16_t> frame, frameOut;
    std::vector<uint8_t> yuv;
    uint8_t table[256];
    Data() : plane(N * N), out(N * N), frame(N * N), frameOut(N * N), yuv(N * N * 3 / 2)
    {
        std::mt19937 rng(55);
        for (uint8_t &b : plane)
            b = uint8_t(rng());
        for (uint16_t &p : frame)
            p = uint16_t(rng());
        for (int i = 0; i < 256; i++)
            table[i] = uint8_t((i * 7 + 13) & 255);
    }
};

Data &data()
{
    static Data d;
    return d;
}

void bytesDone(benchmark::State &state, size_t bytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// ---------------------------------------------------------- reductions

void plainReduce(uint32_t shift, uint8_t *plane, uint32_t stride, uint32_t w, uint32_t h)
{
    const uint32_t n = 1u << shift;
    for (uint32_t k = 0; k < h / n; k++)
        for (uint32_t j = 0; j < w / n; j++) {
            uint32_t sum = 0;
            for (uint32_t y = 0; y < n; y++)
                for (uint32_t x = 0; x < n; x++)
                    sum += plane[size_t(k * n + y) * stride + j * n + x];
            plane[size_t(k * n) * stride + j] =
                uint8_t((sum + (1u << (2 * shift - 1))) >> (2 * shift));
        }
}

void BM_PlaneReduce(benchmark::State &state)
{
    Data &d = data();
    uint32_t shift = uint32_t(state.range(0));
    for (auto _ : state) {
        Plane_reduce(shift, d.plane.data(), N, N, N);
        benchmark::ClobberMemory();
    }
    bytesDone(state, N * N);
}
BENCHMARK(BM_PlaneReduce)->Arg(1)->Arg(2)->Arg(3);

void BM_PlaneReducePlain(benchmark::State &state)
{
    Data &d = data();
    uint32_t shift = uint32_t(state.range(0));
    for (auto _ : state) {
        plainReduce(shift, d.plane.data(), N, N, N);
        benchmark::ClobberMemory();
    }
    bytesDone(state, N * N);
}
BENCHMARK(BM_PlaneReducePlain)->Arg(1)->Arg(2)->Arg(3);

// ------------------------------------------------------------- mapping

void BM_MapRows8(benchmark::State &state)
{
    Data &d = data();
    for (auto _ : state) {
        Pixel_mapRows8(d.table, d.plane.data(), d.out.data(), N, N, N, N);
        benchmark::ClobberMemory();
    }
    bytesDone(state, N * N);
}
BENCHMARK(BM_MapRows8);

void BM_MapRows8Plain(benchmark::State &state)
{
    Data &d = data();
    for (auto _ : state) {
        for (uint32_t y = 0; y < N; y++) {
            const uint8_t *s = d.plane.data() + size_t(y) * N;
            uint8_t *o = d.out.data() + size_t(y) * N;
            for (uint32_t x = 0; x < N; x++)
                o[x] = d.table[s[x]];
        }
        benchmark::ClobberMemory();
    }
    bytesDone(state, N * N);
}
BENCHMARK(BM_MapRows8Plain);

// ------------------------------------------- dithered 5-6-5 shrinking

constexpr int32_t shrunk = 1365; // 2048 x 2/3

void BM_ScaleDitherDown(benchmark::State &state)
{
    Data &d = data();
    for (auto _ : state) {
        Pixel565_scaleDitherDown(d.frame.data(), N, N, d.frameOut.data(), shrunk, shrunk, 0, 0,
                                 N * 2, shrunk, shrunk, shrunk * 2);
        benchmark::ClobberMemory();
    }
    bytesDone(state, size_t(shrunk) * shrunk * 2);
}
BENCHMARK(BM_ScaleDitherDown);

// The same picks and the same dither step, written per pixel with a
// division for every source position.
void BM_ScaleDitherDownPlain(benchmark::State &state)
{
    Data &d = data();
    const uint32_t *table = Scaler_packedTable();
    for (auto _ : state) {
        for (int32_t y = 0; y < shrunk; y++) {
            const uint16_t *row = d.frame.data() + size_t(int64_t(y) * N / shrunk) * N;
            uint16_t *o = d.frameOut.data() + size_t(y) * shrunk;
            for (int32_t x = 0; x < shrunk; x++) {
                uint32_t p = row[int64_t(x) * N / shrunk];
                uint32_t v = ((p | p << 16) & 0x07E0F81Fu) * 16 + table[(y & 31) * 32 + (x & 31)];
                uint32_t b = (v & (1u << 9)) ? 31 : (v >> 4) & 31;
                uint32_t r = (v & (1u << 20)) ? 31 : (v >> 15) & 31;
                uint32_t g = (v & (1u << 31)) ? 63 : (v >> 25) & 63;
                o[x] = uint16_t(r << 11 | g << 5 | b);
            }
        }
        benchmark::ClobberMemory();
    }
    bytesDone(state, size_t(shrunk) * shrunk * 2);
}
BENCHMARK(BM_ScaleDitherDownPlain);

// ------------------------------------------------------ YCbCr 4:2:0

void BM_ToYCbCr420(benchmark::State &state)
{
    Data &d = data();
    for (auto _ : state) {
        Pixel565_toYCbCr420(d.frame.data(), d.yuv.data(), N * 2, N, N);
        benchmark::ClobberMemory();
    }
    bytesDone(state, N * N * 2);
}
BENCHMARK(BM_ToYCbCr420);

// The same conversion per pixel with the coefficients multiplied out in
// 16.16 (no tables): Y for every pixel, then chroma for every block.
void BM_ToYCbCr420Plain(benchmark::State &state)
{
    Data &d = data();
    for (auto _ : state) {
        uint8_t *yp = d.yuv.data(), *cb = yp + N * N, *cr = cb + N * N / 4;
        for (uint32_t y = 0; y < N; y++)
            for (uint32_t x = 0; x < N; x++) {
                uint32_t p = d.frame[size_t(y) * N + x];
                int32_t r = 16 + int32_t(((p >> 11) * 1752) >> 8);
                int32_t g = 16 + int32_t((((p >> 5) & 63) * 876) >> 8);
                int32_t b = 16 + int32_t(((p & 31) * 1752) >> 8);
                yp[size_t(y) * N + x] = uint8_t((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
            }
        for (uint32_t y = 0; y < N / 2; y++)
            for (uint32_t x = 0; x < N / 2; x++) {
                uint32_t sr = 0, sg = 0, sb = 0;
                for (uint32_t k = 0; k < 4; k++) {
                    uint32_t p = d.frame[size_t(2 * y + k / 2) * N + 2 * x + (k & 1)];
                    sr += p >> 11;
                    sg += (p >> 5) & 63;
                    sb += p & 31;
                }
                int32_t r = 16 + int32_t((((sr * 8) >> 2) * 219) >> 8);
                int32_t g = 16 + int32_t((sg * 219) >> 8);
                int32_t b = 16 + int32_t((((sb * 8) >> 2) * 219) >> 8);
                cb[size_t(y) * (N / 2) + x] =
                    uint8_t((-11059 * r - 21709 * g + 32768 * b + 8421375) >> 16);
                cr[size_t(y) * (N / 2) + x] =
                    uint8_t((32768 * r - 27439 * g - 5329 * b + 8421375) >> 16);
            }
        benchmark::ClobberMemory();
    }
    bytesDone(state, N * N * 2);
}
BENCHMARK(BM_ToYCbCr420Plain);

} // namespace
