// Byte-plane reduction and byte mapping.
#include "graphics/plane.h"

#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#define VEXLAN_PLANE_WIDE 1
#include <immintrin.h>
#endif

namespace {

// Block columns whose column sums are gathered at once: the sums of one
// chunk live on the stack, n x chunk of them.
constexpr uint32_t chunkBlocks = 256;

// One block row of rows rows (1 to n) starting at row: every block's
// bytes summed, the sum rounded and divided, and the result written at
// the block's column index in the block row's first row. The column sums
// of a chunk are gathered before any of its results are written; results
// land at columns below the chunk's first source column (or, for the
// first chunk, inside sums already taken), so no byte is overwritten
// before it is read.
template <uint32_t shift>
void reduceBlockRow(uint8_t *row, ptrdiff_t stride, uint32_t width, uint32_t rows)
{
    constexpr uint32_t n = 1u << shift;
    uint16_t sums[chunkBlocks * n];
    const uint32_t fullBlocks = width >> shift;
    const uint32_t rest = width & (n - 1);
    const bool fullRows = rows == n;
    for (uint32_t first = 0; first < fullBlocks + (rest ? 1 : 0); first += chunkBlocks) {
        uint32_t blocks = fullBlocks + (rest ? 1 : 0) - first;
        blocks = blocks < chunkBlocks ? blocks : chunkBlocks;
        const uint32_t left = first << shift;
        uint32_t cols = blocks << shift;
        if (left + cols > width)
            cols = width - left;
        const uint8_t *p = row + left;
        for (uint32_t x = 0; x < cols; x++)
            sums[x] = p[x];
        for (uint32_t r = 1; r < rows; r++) {
            const uint8_t *q = p + ptrdiff_t(r) * stride;
            for (uint32_t x = 0; x < cols; x++)
                sums[x] = uint16_t(sums[x] + q[x]);
        }
        uint32_t whole = blocks;
        if (first + blocks > fullBlocks)
            whole = fullBlocks - first; // the last chunk ends in a partial block
        uint8_t *out = row + first;
        if (fullRows) {
            for (uint32_t j = 0; j < whole; j++) {
                uint32_t s = 0;
                for (uint32_t i = 0; i < n; i++)
                    s += sums[j * n + i];
                out[j] = uint8_t((s + (1u << (2 * shift - 1))) >> (2 * shift));
            }
        } else {
            const uint32_t count = n * rows;
            for (uint32_t j = 0; j < whole; j++) {
                uint32_t s = 0;
                for (uint32_t i = 0; i < n; i++)
                    s += sums[j * n + i];
                out[j] = uint8_t((s + count / 2) / count);
            }
        }
        if (whole < blocks) {
            // The right edge: rest columns of rows rows.
            uint32_t s = 0;
            for (uint32_t i = 0; i < rest; i++)
                s += sums[whole * n + i];
            const uint32_t count = rest * rows;
            out[whole] = uint8_t((s + count / 2) / count);
        }
    }
}

template <uint32_t shift>
void reduce(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height)
{
    if (!plane || width == 0 || height == 0)
        return;
    constexpr uint32_t n = 1u << shift;
    for (uint32_t top = 0; top < height; top += n) {
        uint32_t rows = height - top < n ? height - top : n;
        reduceBlockRow<shift>(plane + ptrdiff_t(top) * stride, stride, width, rows);
    }
}

inline uint64_t map8(const uint8_t *t, uint64_t v)
{
    return uint64_t(t[v & 255]) | uint64_t(t[(v >> 8) & 255]) << 8 |
           uint64_t(t[(v >> 16) & 255]) << 16 | uint64_t(t[(v >> 24) & 255]) << 24 |
           uint64_t(t[(v >> 32) & 255]) << 32 | uint64_t(t[(v >> 40) & 255]) << 40 |
           uint64_t(t[(v >> 48) & 255]) << 48 | uint64_t(t[v >> 56]) << 56;
}

inline uint32_t map4(const uint8_t *t, uint32_t v)
{
    return uint32_t(t[v & 255]) | uint32_t(t[(v >> 8) & 255]) << 8 |
           uint32_t(t[(v >> 16) & 255]) << 16 | uint32_t(t[v >> 24]) << 24;
}

#if defined(VEXLAN_PLANE_WIDE)
// 64 bytes at a time where the processor has byte permutes over two
// registers (AVX-512 VBMI): each 128-byte half of the table is one lookup,
// bit 7 of the byte picks the half. Returns the bytes done.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) uint32_t
mapPermute(const uint8_t *table, const uint8_t *s, uint8_t *d, uint32_t width)
{
    const __m512i t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
    uint32_t x = 0;
    for (; x + 64 <= width; x += 64) {
        __m512i v = _mm512_loadu_si512(s + x);
        __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        __m512i r = _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
        _mm512_storeu_si512(d + x, r);
    }
    return x;
}
#endif

} // namespace

void Plane_reduce2(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height)
{
    reduce<1>(plane, stride, width, height);
}

void Plane_reduce4(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height)
{
    reduce<2>(plane, stride, width, height);
}

void Plane_reduce8(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height)
{
    reduce<3>(plane, stride, width, height);
}

const PlaneReduceFn Plane_reducers[3] = {Plane_reduce2, Plane_reduce4, Plane_reduce8};

void Plane_reduce(uint32_t shift, uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height)
{
    if (shift >= 1 && shift <= 3)
        Plane_reducers[shift - 1](plane, stride, width, height);
}

void Pixel_mapRows8(const uint8_t table[256], const uint8_t *source, uint8_t *destination,
                    uint32_t width, uint32_t height, ptrdiff_t sourceStride,
                    ptrdiff_t destinationStride)
{
    if (!table || !source || !destination)
        return;
#if defined(VEXLAN_PLANE_WIDE)
    // Where the processor has byte permutes, 64-byte runs go through them
    // first; the groups below finish each row.
    const bool permute =
        width >= 64 && __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw");
#endif
    for (uint32_t y = 0; y < height; y++) {
        const uint8_t *s = source + ptrdiff_t(y) * sourceStride;
        uint8_t *d = destination + ptrdiff_t(y) * destinationStride;
        uint32_t x = 0;
#if defined(VEXLAN_PLANE_WIDE)
        if (permute)
            x = mapPermute(table, s, d, width);
#endif
        for (; x + 8 <= width; x += 8) {
            uint64_t v;
            memcpy(&v, s + x, 8);
            v = map8(table, v);
            memcpy(d + x, &v, 8);
        }
        if (x + 4 <= width) {
            uint32_t v;
            memcpy(&v, s + x, 4);
            v = map4(table, v);
            memcpy(d + x, &v, 4);
            x += 4;
        }
        if (x + 2 <= width) {
            uint8_t a = table[s[x]], b = table[s[x + 1]];
            d[x] = a;
            d[x + 1] = b;
            x += 2;
        }
        if (x < width)
            d[x] = table[s[x]];
    }
}
