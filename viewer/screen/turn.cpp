// Turning a 16-bit image by a quarter, half or three-quarter turn (see
// screen.h). The quarter turns move 8 x 8 blocks: eight rows are loaded,
// transposed in registers and stored as eight turned rows; for a quarter
// turn the source rows are taken bottom up, which puts each turned row in
// its reversed order at no cost. Where the processor has AVX2, two blocks
// side by side go through one transpose. The half turn reverses eight
// pixels at a time. Edges that do not fill a block, and machines without
// SSE2, take the pixel-by-pixel path.
#include "viewer/screen/screen.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__) && defined(__x86_64__)
#define VEXLAN_TURN_AVX2 1
#include <immintrin.h>
#endif

namespace {

inline uint32_t strideOf(int32_t width)
{
    return Screen_rowBytes(width, 2) / 2; // in pixels
}

// One source pixel to its turned place.
inline void turnPixel(const uint16_t *source, uint32_t in, uint16_t *out, uint32_t to, int32_t w,
                      int32_t h, int32_t o, int32_t x, int32_t y)
{
    uint16_t p = source[size_t(y) * in + x];
    if (o == 1)
        out[size_t(x) * to + (h - 1 - y)] = p;
    else if (o == 2)
        out[size_t(h - 1 - y) * to + (w - 1 - x)] = p;
    else
        out[size_t(w - 1 - x) * to + y] = p;
}

#if defined(__SSE2__)

inline void transpose8(__m128i r[8])
{
    __m128i t0 = _mm_unpacklo_epi16(r[0], r[1]), t1 = _mm_unpackhi_epi16(r[0], r[1]);
    __m128i t2 = _mm_unpacklo_epi16(r[2], r[3]), t3 = _mm_unpackhi_epi16(r[2], r[3]);
    __m128i t4 = _mm_unpacklo_epi16(r[4], r[5]), t5 = _mm_unpackhi_epi16(r[4], r[5]);
    __m128i t6 = _mm_unpacklo_epi16(r[6], r[7]), t7 = _mm_unpackhi_epi16(r[6], r[7]);
    __m128i u0 = _mm_unpacklo_epi32(t0, t2), u1 = _mm_unpackhi_epi32(t0, t2);
    __m128i u2 = _mm_unpacklo_epi32(t1, t3), u3 = _mm_unpackhi_epi32(t1, t3);
    __m128i u4 = _mm_unpacklo_epi32(t4, t6), u5 = _mm_unpackhi_epi32(t4, t6);
    __m128i u6 = _mm_unpacklo_epi32(t5, t7), u7 = _mm_unpackhi_epi32(t5, t7);
    r[0] = _mm_unpacklo_epi64(u0, u4);
    r[1] = _mm_unpackhi_epi64(u0, u4);
    r[2] = _mm_unpacklo_epi64(u1, u5);
    r[3] = _mm_unpackhi_epi64(u1, u5);
    r[4] = _mm_unpacklo_epi64(u2, u6);
    r[5] = _mm_unpackhi_epi64(u2, u6);
    r[6] = _mm_unpacklo_epi64(u3, u7);
    r[7] = _mm_unpackhi_epi64(u3, u7);
}

inline __m128i reverse8(__m128i v)
{
    v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
}

inline __m128i load(const uint16_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline void store(uint16_t *p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

// Stores the eight turned rows of the block whose source corner is
// (x0, y0).
template <int O>
inline void storeBlock(uint16_t *out, uint32_t to, int32_t w, int32_t h, int32_t x0, int32_t y0,
                       int32_t i, __m128i v)
{
    if (O == 1)
        store(out + size_t(x0 + i) * to + (h - 8 - y0), v);
    else
        store(out + size_t(w - 1 - x0 - i) * to + y0, v);
}

// 8 x 8 blocks from column x from on; the source rows go bottom up for a
// quarter turn.
template <int O>
void quarterBlocks(const uint16_t *source, int32_t w, int32_t h, uint16_t *out, int32_t from)
{
    const uint32_t in = strideOf(w), to = strideOf(h);
    const int32_t bw = w & ~7, bh = h & ~7;
    __m128i r[8];
    for (int32_t x0 = from; x0 < bw; x0 += 8) {
        for (int32_t y0 = 0; y0 < bh; y0 += 8) {
            for (int32_t k = 0; k < 8; k++)
                r[k] = load(source + size_t(O == 1 ? y0 + 7 - k : y0 + k) * in + x0);
            transpose8(r);
            for (int32_t i = 0; i < 8; i++)
                storeBlock<O>(out, to, w, h, x0, y0, i, r[i]);
        }
    }
}

#if defined(VEXLAN_TURN_AVX2)
// 16 x 8 blocks: two 8 x 8 transposes side by side, one per 128-bit lane.
// Returns the first column it left.
template <int O>
__attribute__((target("avx2"))) int32_t quarterBlocksWide(const uint16_t *source, int32_t w,
                                                          int32_t h, uint16_t *out)
{
    const uint32_t in = strideOf(w), to = strideOf(h);
    const int32_t bw = w & ~15, bh = h & ~7;
    __m256i r[8];
    for (int32_t x0 = 0; x0 < bw; x0 += 16) {
        for (int32_t y0 = 0; y0 < bh; y0 += 8) {
            for (int32_t k = 0; k < 8; k++)
                r[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(
                    source + size_t(O == 1 ? y0 + 7 - k : y0 + k) * in + x0));
            __m256i t0 = _mm256_unpacklo_epi16(r[0], r[1]), t1 = _mm256_unpackhi_epi16(r[0], r[1]);
            __m256i t2 = _mm256_unpacklo_epi16(r[2], r[3]), t3 = _mm256_unpackhi_epi16(r[2], r[3]);
            __m256i t4 = _mm256_unpacklo_epi16(r[4], r[5]), t5 = _mm256_unpackhi_epi16(r[4], r[5]);
            __m256i t6 = _mm256_unpacklo_epi16(r[6], r[7]), t7 = _mm256_unpackhi_epi16(r[6], r[7]);
            __m256i u0 = _mm256_unpacklo_epi32(t0, t2), u1 = _mm256_unpackhi_epi32(t0, t2);
            __m256i u2 = _mm256_unpacklo_epi32(t1, t3), u3 = _mm256_unpackhi_epi32(t1, t3);
            __m256i u4 = _mm256_unpacklo_epi32(t4, t6), u5 = _mm256_unpackhi_epi32(t4, t6);
            __m256i u6 = _mm256_unpacklo_epi32(t5, t7), u7 = _mm256_unpackhi_epi32(t5, t7);
            r[0] = _mm256_unpacklo_epi64(u0, u4);
            r[1] = _mm256_unpackhi_epi64(u0, u4);
            r[2] = _mm256_unpacklo_epi64(u1, u5);
            r[3] = _mm256_unpackhi_epi64(u1, u5);
            r[4] = _mm256_unpacklo_epi64(u2, u6);
            r[5] = _mm256_unpackhi_epi64(u2, u6);
            r[6] = _mm256_unpacklo_epi64(u3, u7);
            r[7] = _mm256_unpackhi_epi64(u3, u7);
            for (int32_t i = 0; i < 8; i++) {
                storeBlock<O>(out, to, w, h, x0, y0, i, _mm256_castsi256_si128(r[i]));
                storeBlock<O>(out, to, w, h, x0 + 8, y0, i, _mm256_extracti128_si256(r[i], 1));
            }
        }
    }
    return bw;
}
#endif

template <int O> void quarter(const uint16_t *source, int32_t w, int32_t h, uint16_t *out)
{
    int32_t from = 0;
#if defined(VEXLAN_TURN_AVX2)
    if (__builtin_cpu_supports("avx2"))
        from = quarterBlocksWide<O>(source, w, h, out);
#endif
    quarterBlocks<O>(source, w, h, out, from);
}

void halfBlocks(const uint16_t *source, int32_t w, int32_t h, uint16_t *out)
{
    const uint32_t stride = strideOf(w);
    const int32_t bw = w & ~7;
    for (int32_t y = 0; y < h; y++) {
        const uint16_t *s = source + size_t(y) * stride;
        uint16_t *d = out + size_t(h - 1 - y) * stride;
        for (int32_t x = 0; x < bw; x += 8)
            store(d + (w - 8 - x), reverse8(load(s + x)));
    }
}

#endif

} // namespace

void Screen_turn16(const uint16_t *source, int32_t width, int32_t height, uint16_t *out,
                   int32_t orientation)
{
    if (!source || !out || width <= 0 || height <= 0 || orientation < 1 || orientation > 3)
        return;
    const uint32_t in = strideOf(width), to = strideOf(orientation & 1 ? height : width);
    int32_t doneW = 0, doneH = 0;
#if defined(__SSE2__)
    if (orientation == 2) {
        halfBlocks(source, width, height, out);
        doneH = height;
    } else {
        if (orientation == 1)
            quarter<1>(source, width, height, out);
        else
            quarter<3>(source, width, height, out);
        doneH = height & ~7;
    }
    doneW = width & ~7;
#endif
    // What the blocks left: the columns right of them in their rows, and
    // the rows below them.
    for (int32_t y = 0; y < height; y++) {
        int32_t from = y < doneH ? doneW : 0;
        for (int32_t x = from; x < width; x++)
            turnPixel(source, in, out, to, width, height, orientation, x, y);
    }
}
