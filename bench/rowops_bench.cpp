// Row operation speed. Goals: opaque 5-6-5 fills and copies within 1.2x of
// memset and memcpy of the same bytes; translucent, coverage and mask
// blends at least twice as fast as the plain per-channel blend written
// here (the same formulas, one channel at a time); and the run-coded rows
// of glyph masks, whose speed is shown per pixel drawn.
//
// Every benchmark works over the same 64 rows of 1000 pixels (125 KiB of
// 5-6-5 pixels, within the second-level cache), row by row, as the draw
// item does; pairs of benchmarks are named so that the engine routine and
// its baseline sit side by side.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/glyphmask.h"
#include "graphics/rowops.h"

namespace {

constexpr uint32_t W = 1000, H = 64;
constexpr size_t stride = W * 2;

struct Buffers {
    std::vector<uint16_t> dst, src;
    std::vector<uint8_t> mask, coverage;
    Buffers() : dst(W * H), src(W * H), mask(W * H), coverage(W * H)
    {
        std::mt19937 rng(7);
        for (uint16_t &p : dst)
            p = uint16_t(rng());
        for (uint16_t &p : src)
            p = uint16_t(rng());
        // Masks and coverage with the spread of anti-aliased edges: half of
        // the bytes partial, the rest empty or full.
        for (size_t i = 0; i < mask.size(); i++) {
            uint32_t r = rng();
            mask[i] = uint8_t(r % 4 == 0 ? 0 : r % 4 == 1 ? 255 : r >> 8);
            coverage[i] = uint8_t((r >> 16) % 4 == 0 ? 0 : (r >> 16) % 4 == 1 ? 255 : r >> 24);
        }
    }
    uint8_t *d()
    {
        return reinterpret_cast<uint8_t *>(dst.data());
    }
    const uint8_t *s()
    {
        return reinterpret_cast<const uint8_t *>(src.data());
    }
};

Buffers &buffers()
{
    static Buffers b;
    return b;
}

void pixelsDone(benchmark::State &state)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * W * H);
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 2);
}

// ------------------------------------------------- plain per-channel blends

inline uint32_t channelMix(uint32_t d, uint32_t s, uint32_t w)
{
    return ((d << 5) + w * s - w * d) >> 5;
}

inline uint16_t plainBlend(uint16_t d, uint16_t s, uint32_t w)
{
    uint32_t r = channelMix(d >> 11, s >> 11, w);
    uint32_t g = channelMix((d >> 5) & 63, (s >> 5) & 63, w);
    uint32_t b = channelMix(d & 31, s & 31, w);
    return uint16_t((r << 11) | (g << 5) | b);
}

inline uint32_t weight32(uint32_t t)
{
    return (t + (t >> 7)) >> 3;
}

// ------------------------------------------------------------- opaque

void BM_Fill565_RowOps(benchmark::State &state)
{
    Buffers &b = buffers();
    uint32_t colour = 0x00336699;
    uint8_t alpha = 255;
    RowOpSetupFn setup = RowOp_find(4, 6, 0, 0, 0);
    for (auto _ : state) {
        RowOp_runRows(b.d(), setup, &colour, W, &alpha, H, stride);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_Fill565_RowOps);

void BM_Fill565_Memset(benchmark::State &state)
{
    Buffers &b = buffers();
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++)
            memset(b.d() + r * stride, 0x5A, W * 2);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_Fill565_Memset);

void BM_Copy565_RowOps(benchmark::State &state)
{
    Buffers &b = buffers();
    uint8_t alpha = 255;
    RowOpSetupFn setup = RowOp_find(4, 4, 0, 1, 0);
    for (auto _ : state) {
        RowOp_runRect(b.d(), stride, W, H, b.s(), stride, &alpha, 0, setup);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_Copy565_RowOps);

void BM_Copy565_Memcpy(benchmark::State &state)
{
    Buffers &b = buffers();
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++)
            memcpy(b.d() + r * stride, b.s() + r * stride, W * 2);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_Copy565_Memcpy);

// --------------------------------------------------- translucent colour

void BM_BlendColour565_RowOps(benchmark::State &state)
{
    Buffers &b = buffers();
    uint32_t colour = 0x00336699;
    uint8_t alpha = 100;
    RowOpSetupFn setup = RowOp_find(4, 6, 0, 0, 0);
    for (auto _ : state) {
        RowOp_runRows(b.d(), setup, &colour, W, &alpha, H, stride);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_BlendColour565_RowOps);

void BM_BlendColour565_Plain(benchmark::State &state)
{
    Buffers &b = buffers();
    uint16_t colour = 0x3333;
    uint32_t w = weight32(100);
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++) {
            uint16_t *d = b.dst.data() + r * W;
            for (uint32_t i = 0; i < W; i++)
                d[i] = plainBlend(d[i], colour, w);
        }
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_BlendColour565_Plain);

// ------------------------------------------------ translucent pixels

void BM_BlendPixels565_RowOps(benchmark::State &state)
{
    Buffers &b = buffers();
    uint8_t alpha = 100;
    RowOpSetupFn setup = RowOp_find(4, 4, 0, 1, 0);
    for (auto _ : state) {
        RowOp_runRect(b.d(), stride, W, H, b.s(), stride, &alpha, 0, setup);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_BlendPixels565_RowOps);

void BM_BlendPixels565_Plain(benchmark::State &state)
{
    Buffers &b = buffers();
    uint32_t w = weight32(100);
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++) {
            uint16_t *d = b.dst.data() + r * W;
            const uint16_t *s = b.src.data() + r * W;
            for (uint32_t i = 0; i < W; i++)
                d[i] = plainBlend(d[i], s[i], w);
        }
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_BlendPixels565_Plain);

// ------------------------------------------------------------ coverage

void BM_CoverageColour565_RowOps(benchmark::State &state)
{
    Buffers &b = buffers();
    uint32_t colour = 0x00336699;
    uint8_t alpha = 255;
    RowOpSet set;
    RowOp_find(4, 6, 0, 0, 0)(&set, &colour, &alpha);
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++) {
            set.dst = b.d() + r * stride;
            const uint8_t *c = b.coverage.data() + r * W;
            set.spanCoverage(&set, W, &c);
        }
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_CoverageColour565_RowOps);

void BM_CoverageColour565_Plain(benchmark::State &state)
{
    Buffers &b = buffers();
    uint16_t colour = 0x3333;
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++) {
            uint16_t *d = b.dst.data() + r * W;
            const uint8_t *c = b.coverage.data() + r * W;
            for (uint32_t i = 0; i < W; i++)
                d[i] = plainBlend(d[i], colour, weight32(c[i]));
        }
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_CoverageColour565_Plain);

// ---------------------------------------------------------------- masks

void BM_MaskColour565_RowOps(benchmark::State &state)
{
    Buffers &b = buffers();
    uint32_t colour = 0x00336699;
    RowOpSetupFn setup = RowOp_find(4, 6, 0, 0, 1);
    for (auto _ : state) {
        RowOp_runRect(b.d(), stride, W, H, &colour, 0, b.mask.data(), W, setup);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_MaskColour565_RowOps);

void BM_MaskColour565_Plain(benchmark::State &state)
{
    Buffers &b = buffers();
    uint16_t colour = 0x3333;
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++) {
            uint16_t *d = b.dst.data() + r * W;
            const uint8_t *m = b.mask.data() + r * W;
            for (uint32_t i = 0; i < W; i++)
                d[i] = plainBlend(d[i], colour, weight32(m[i]));
        }
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_MaskColour565_Plain);

void BM_MaskPixels565_RowOps(benchmark::State &state)
{
    Buffers &b = buffers();
    RowOpSetupFn setup = RowOp_find(4, 4, 0, 1, 1);
    for (auto _ : state) {
        RowOp_runRect(b.d(), stride, W, H, b.s(), stride, b.mask.data(), W, setup);
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_MaskPixels565_RowOps);

void BM_MaskPixels565_Plain(benchmark::State &state)
{
    Buffers &b = buffers();
    for (auto _ : state) {
        for (uint32_t r = 0; r < H; r++) {
            uint16_t *d = b.dst.data() + r * W;
            const uint16_t *s = b.src.data() + r * W;
            const uint8_t *m = b.mask.data() + r * W;
            for (uint32_t i = 0; i < W; i++)
                d[i] = plainBlend(d[i], s[i], weight32(m[i]));
        }
        benchmark::ClobberMemory();
    }
    pixelsDone(state);
}
BENCHMARK(BM_MaskPixels565_Plain);

// ----------------------------------------------------------- coded rows

// Glyph-like coded rows: per 16-pixel glyph cell a blank run, an edge
// pixel, a literal run of two edge pixels, a full stem, edge pixels and a
// closing blank, repeated across the row.
struct CodedRows {
    std::vector<uint32_t> rows;
    std::vector<uint8_t> codes;
    uint32_t width = 0;
    CodedRows()
    {
        for (uint32_t r = 0; r < H; r++) {
            rows.push_back(uint32_t(codes.size()));
            uint32_t cells = W / 16;
            for (uint32_t g = 0; g < cells; g++) {
                bool lastCell = g + 1 == cells;
                uint32_t stem = 3 + (r + g) % 6;
                code(GlyphMask_kindSkip | 2);
                code(GlyphMask_kindPixel | (40 + r % 100));
                code(GlyphMask_kindLiteral | 2);
                codes.push_back(uint8_t(90 + g));
                codes.push_back(uint8_t(200 - g));
                code(GlyphMask_kindFull | stem);
                code(GlyphMask_kindPixel | 128);
                code((lastCell ? uint32_t(GlyphMask_lastCode) : 0u) | GlyphMask_kindSkip |
                     (16 - 2 - 1 - 2 - stem - 1));
            }
            width = cells * 16;
        }
    }
    void code(uint32_t c)
    {
        codes.push_back(uint8_t(c));
        codes.push_back(uint8_t(c >> 8));
    }
};

void BM_CodedRows565(benchmark::State &state)
{
    Buffers &b = buffers();
    static CodedRows coded;
    uint32_t colour = 0x00000000;
    uint8_t alpha = 255;
    RowOpSetupFn setup = RowOp_find(4, 6, 0, 0, 0);
    for (auto _ : state) {
        RowOp_runCodedRows(b.d(), stride, coded.rows.data(), coded.codes.data(), 0, coded.width, H,
                           &colour, 0, &alpha, 0, setup);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * coded.width * H);
}
BENCHMARK(BM_CodedRows565);

} // namespace
