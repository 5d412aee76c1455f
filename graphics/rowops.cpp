// Row operations: fills, copies and blends of pixel spans, the row drivers
// and the player of run-coded coverage rows.
//
// These loops run for every pixel the engine draws. Fills store 16 pixels
// a step after aligning the destination, copies are plain memory moves,
// and blends work a block of 16 pixels at a time with no branch that
// depends on the pixels: a weight of 0 leaves a pixel exactly and full
// weight gives the source exactly, so no shortcut is needed. Every pixel
// comes out as the one-pixel formulas of rowops.h say. Pixels are read and
// written through memcpy, so spans may start at any address.
#include "graphics/rowops.h"

#include <cstring>

#include "graphics/glyphmask.h"

namespace {

// ------------------------------------------------------------ pixel words

constexpr uint32_t spreadMask = 0x07E0F81Fu;

inline uint32_t load16(const uint8_t *p)
{
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}

inline void store16(uint8_t *p, uint32_t v)
{
    uint16_t w = uint16_t(v);
    memcpy(p, &w, 2);
}

inline void store64(uint8_t *p, uint64_t v)
{
    memcpy(p, &v, 8);
}

// A 5-6-5 pixel with red in bits 15-11, blue in 4-0 and green in 26-21.
inline uint32_t spread(uint32_t p)
{
    return (p | (p << 16)) & spreadMask;
}

// Back from the spread layout; bits outside the three channels (the low
// bits of a blend) are dropped first.
inline uint32_t fold(uint32_t x)
{
    x &= spreadMask;
    return (x | (x >> 16)) & 0xFFFFu;
}

// The 32-level blend of one pixel toward a spread source.
inline uint32_t blend565(uint32_t d, uint32_t sSpread, uint32_t w)
{
    uint32_t x = spread(d);
    return fold(((x << 5) + w * sSpread - w * x) >> 5);
}

inline uint32_t weight32(uint32_t t)
{
    return (t + (t >> 7)) >> 3;
}

inline uint32_t weight256(uint32_t t)
{
    return t + (t >> 7);
}

inline uint32_t widen(uint32_t a)
{
    return a + (a >> 7);
}

// A coverage c combined with a weight widened to 256 levels.
inline uint32_t combine(uint32_t c, uint32_t wide)
{
    return (c * wide) >> 8;
}

inline uint32_t blend8(uint32_t d, uint32_t s, uint32_t w)
{
    return ((d << 8) + w * s - w * d) >> 8;
}

// A format-6 colour 0xAABBGGRR as 5-6-5.
inline uint32_t colourTo565(uint32_t c)
{
    return ((c & 0xF8u) << 8) | ((c >> 5) & 0x07E0u) | ((c >> 19) & 0x1Fu);
}

inline const uint8_t *evenAfter(const uint8_t *p, uint32_t n)
{
    uintptr_t a = reinterpret_cast<uintptr_t>(p) + n;
    return p + n + (a & 1);
}

// The three channels of a 5-6-5 pixel blended separately in 256 levels,
// with weights wr, wg, wb.
inline uint32_t blendRGB(uint32_t d, uint32_t s, uint32_t wr, uint32_t wg, uint32_t wb)
{
    uint32_t r = blend8(d >> 11, s >> 11, wr);
    uint32_t g = blend8((d >> 5) & 63, (s >> 5) & 63, wg);
    uint32_t b = blend8(d & 31, s & 31, wb);
    return (r << 11) | (g << 5) | b;
}

// ------------------------------------------------------------ blocks
//
// Blends run over blocks of 16 pixels copied to a local array: the fixed
// count lets the compiler keep the block in vector registers, and the
// copies make any alignment of the span safe. A constant weight blends
// each channel in 16-bit lanes; weights that change from pixel to pixel
// blend the spread word, one multiply a pixel.

constexpr uint32_t blockPixels = 16;

// The source from which the per-pixel weights of a block come.
enum WeightFrom {
    fromMask,         // the mask byte
    fromCoverage,     // the coverage combined with the constant alpha
    fromMaskCoverage, // the coverage combined with the mask byte
};

// Weights of n (at most 16) pixels, in 32 levels or in 256 levels.
inline void blockWeights(uint32_t *w, uint32_t n, WeightFrom from, const uint8_t *c,
                         const uint8_t *m, uint32_t alphaWide, bool levels32)
{
    for (uint32_t k = 0; k < n; k++) {
        uint32_t t = from == fromMask       ? m[k]
                     : from == fromCoverage ? combine(c[k], alphaWide)
                                            : combine(c[k], widen(m[k]));
        w[k] = levels32 ? weight32(t) : weight256(t);
    }
}

// 5-6-5 pixels toward one colour with one weight: per channel,
// d(32 - w) + s w, with s w worked out once.
inline void mixConstBlock(uint16_t *px, uint32_t n, uint32_t w, uint32_t s)
{
    uint16_t inv = uint16_t(32 - w);
    uint16_t wr = uint16_t((s >> 11) * w), wg = uint16_t(((s >> 5) & 63) * w),
             wb = uint16_t((s & 31) * w);
    for (uint32_t k = 0; k < n; k++) {
        uint16_t p = px[k];
        uint16_t r = uint16_t(uint16_t((p >> 11) * inv + wr) >> 5);
        uint16_t g = uint16_t(uint16_t(((p >> 5) & 63) * inv + wg) >> 5);
        uint16_t b = uint16_t(uint16_t((p & 31) * inv + wb) >> 5);
        px[k] = uint16_t((r << 11) | (g << 5) | b);
    }
}

// 5-6-5 pixels toward source pixels with one weight, per channel.
inline void mixSrcBlock(uint16_t *px, const uint16_t *sp, uint32_t n, uint32_t w)
{
    uint16_t inv = uint16_t(32 - w), ww = uint16_t(w);
    for (uint32_t k = 0; k < n; k++) {
        uint16_t p = px[k], q = sp[k];
        uint16_t r = uint16_t(uint16_t((p >> 11) * inv + (q >> 11) * ww) >> 5);
        uint16_t g = uint16_t(uint16_t(((p >> 5) & 63) * inv + ((q >> 5) & 63) * ww) >> 5);
        uint16_t b = uint16_t(uint16_t((p & 31) * inv + (q & 31) * ww) >> 5);
        px[k] = uint16_t((r << 11) | (g << 5) | b);
    }
}

// 5-6-5 pixels toward a spread colour, or spread source pixels, each with
// its own weight (0 leaves the pixel, 32 gives the source exactly).
inline void mixColourWeighted(uint16_t *px, const uint32_t *w, uint32_t n, uint32_t sSpread)
{
    for (uint32_t k = 0; k < n; k++) {
        uint32_t x = spread(px[k]);
        px[k] = uint16_t(fold(((x << 5) + w[k] * (sSpread - x)) >> 5));
    }
}

inline void mixSrcWeighted(uint16_t *px, const uint16_t *sp, const uint32_t *w, uint32_t n)
{
    for (uint32_t k = 0; k < n; k++) {
        uint32_t x = spread(px[k]), y = spread(sp[k]);
        px[k] = uint16_t(fold(((x << 5) + w[k] * (y - x)) >> 5));
    }
}

// 8-bit pixels toward one value or source bytes: d(256 - w) + s w, which
// stays within 16 bits.
inline void mixConst8(uint8_t *d, uint32_t n, uint32_t w, uint32_t s)
{
    uint16_t inv = uint16_t(256 - w), ws = uint16_t(w * s);
    for (uint32_t k = 0; k < n; k++)
        d[k] = uint8_t(uint16_t(d[k] * inv + ws) >> 8);
}

inline void mixSrc8(uint8_t *d, const uint8_t *s, uint32_t n, uint32_t w)
{
    uint16_t inv = uint16_t(256 - w), ww = uint16_t(w);
    for (uint32_t k = 0; k < n; k++)
        d[k] = uint8_t(uint16_t(d[k] * inv + s[k] * ww) >> 8);
}

inline void mixWeighted8(uint8_t *d, const uint8_t *s, uint32_t value, const uint32_t *w,
                         uint32_t n)
{
    for (uint32_t k = 0; k < n; k++) {
        uint32_t src = s ? s[k] : value;
        d[k] = uint8_t(uint32_t(d[k] * (256 - w[k]) + src * w[k]) >> 8);
    }
}

// --------------------------------------------------------- 5-6-5 spans

// Stores the colour into n pixels: one pixel to reach a 4-byte boundary,
// then 16 pixels a step.
void fill565(uint8_t *d, uint32_t n, uint32_t v)
{
    if ((reinterpret_cast<uintptr_t>(d) & 2) && n) {
        store16(d, v);
        d += 2;
        n--;
    }
    uint64_t q = uint64_t(v & 0xFFFFu) * 0x0001000100010001ull;
    const uint64_t block[4] = {q, q, q, q};
    for (; n >= 16; n -= 16, d += 32)
        memcpy(d, block, 32);
    for (; n >= 4; n -= 4, d += 8)
        store64(d, q);
    for (; n; n--, d += 2)
        store16(d, v);
}

void blendConst565(uint8_t *d, uint32_t n, uint32_t s, uint32_t w)
{
    uint16_t px[blockPixels];
    for (; n >= blockPixels; n -= blockPixels, d += 2 * blockPixels) {
        memcpy(px, d, sizeof px);
        mixConstBlock(px, blockPixels, w, s);
        memcpy(d, px, sizeof px);
    }
    memcpy(px, d, 2 * n);
    mixConstBlock(px, n, w, s);
    memcpy(d, px, 2 * n);
}

void blendSrc565(uint8_t *d, const uint8_t *s, uint32_t n, uint32_t w)
{
    uint16_t px[blockPixels], sp[blockPixels];
    for (; n >= blockPixels; n -= blockPixels, d += 2 * blockPixels, s += 2 * blockPixels) {
        memcpy(px, d, sizeof px);
        memcpy(sp, s, sizeof sp);
        mixSrcBlock(px, sp, blockPixels, w);
        memcpy(d, px, sizeof px);
    }
    memcpy(px, d, 2 * n);
    memcpy(sp, s, 2 * n);
    mixSrcBlock(px, sp, n, w);
    memcpy(d, px, 2 * n);
}

// n pixels toward the spread colour with per-pixel weights from c and m.
inline void blendColourWeighted(uint8_t *d, uint32_t n, uint32_t sSpread, WeightFrom from,
                                const uint8_t *c, const uint8_t *m, uint32_t alphaWide)
{
    uint16_t px[blockPixels];
    uint32_t w[blockPixels];
    for (; n >= blockPixels;
         n -= blockPixels, d += 2 * blockPixels, c += blockPixels, m += blockPixels) {
        blockWeights(w, blockPixels, from, c, m, alphaWide, true);
        memcpy(px, d, sizeof px);
        mixColourWeighted(px, w, blockPixels, sSpread);
        memcpy(d, px, sizeof px);
    }
    blockWeights(w, n, from, c, m, alphaWide, true);
    memcpy(px, d, 2 * n);
    mixColourWeighted(px, w, n, sSpread);
    memcpy(d, px, 2 * n);
}

inline void blendSrcWeighted(uint8_t *d, const uint8_t *s, uint32_t n, WeightFrom from,
                             const uint8_t *c, const uint8_t *m, uint32_t alphaWide)
{
    uint16_t px[blockPixels], sp[blockPixels];
    uint32_t w[blockPixels];
    for (; n >= blockPixels; n -= blockPixels, d += 2 * blockPixels, s += 2 * blockPixels,
                             c += blockPixels, m += blockPixels) {
        blockWeights(w, blockPixels, from, c, m, alphaWide, true);
        memcpy(px, d, sizeof px);
        memcpy(sp, s, sizeof sp);
        mixSrcWeighted(px, sp, w, blockPixels);
        memcpy(d, px, sizeof px);
    }
    blockWeights(w, n, from, c, m, alphaWide, true);
    memcpy(px, d, 2 * n);
    memcpy(sp, s, 2 * n);
    mixSrcWeighted(px, sp, w, n);
    memcpy(d, px, 2 * n);
}

// ------------------------------------------------------ 8-bit spans

void blendConst8(uint8_t *d, uint32_t n, uint32_t s, uint32_t w)
{
    for (; n >= blockPixels; n -= blockPixels, d += blockPixels)
        mixConst8(d, blockPixels, w, s);
    mixConst8(d, n, w, s);
}

void blendSrc8(uint8_t *d, const uint8_t *s, uint32_t n, uint32_t w)
{
    for (; n >= blockPixels; n -= blockPixels, d += blockPixels, s += blockPixels)
        mixSrc8(d, s, blockPixels, w);
    mixSrc8(d, s, n, w);
}

// n bytes toward source bytes (s) or one value (s null) with per-pixel
// weights from c and m.
inline void blendWeighted8(uint8_t *d, const uint8_t *s, uint32_t value, uint32_t n,
                           WeightFrom from, const uint8_t *c, const uint8_t *m, uint32_t alphaWide)
{
    uint32_t w[blockPixels];
    while (n) {
        uint32_t k = n < blockPixels ? n : blockPixels;
        blockWeights(w, k, from, c, m, alphaWide, false);
        mixWeighted8(d, s, value, w, k);
        n -= k;
        d += k;
        c += k;
        m += k;
        if (s)
            s += k;
    }
}

inline uint32_t clampCoverage(uint32_t c)
{
    return c > 255 ? 255 : c;
}

// ------------------------------------------------------ shared routines

void skipAll(RowOpSet *set, uint32_t n)
{
    set->dst += size_t(n) * set->dstBytes;
    set->src += size_t(n) * set->srcBytes;
    set->mask += size_t(n) * set->maskBytes;
}

void setupCommon(RowOpSet *set, uint32_t dstBytes, uint32_t srcBytes, uint32_t maskBytes)
{
    set->skip = skipAll;
    set->spanCoverageRGB = nullptr;
    set->dst = nullptr;
    set->src = nullptr;
    set->mask = nullptr;
    set->dstBytes = dstBytes;
    set->srcBytes = srcBytes;
    set->maskBytes = maskBytes;
    set->value = 0;
    set->spread = 0;
    set->alphaWide = 256;
    set->weight = 0;
}

// Reads the constant alpha: the opaque set takes full weight.
void setupAlpha(RowOpSet *set, const void *alpha, bool levels32)
{
    uint32_t a = *static_cast<const uint8_t *>(alpha);
    set->alphaWide = widen(a);
    set->weight = levels32 ? weight32(a) : weight256(a);
}

inline bool opaque(const void *alpha)
{
    return *static_cast<const uint8_t *>(alpha) == 255;
}

// ------------------------------------------ 0x4C0: 5-6-5 from one colour

void colourSpanOpaque(RowOpSet *set, uint32_t n)
{
    fill565(set->dst, n, set->value);
    set->dst += size_t(n) * 2;
}

void colourSpanAlpha(RowOpSet *set, uint32_t n)
{
    blendConst565(set->dst, n, set->value, set->weight);
    set->dst += size_t(n) * 2;
}

void colourCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendColourWeighted(set->dst, n, set->spread, fromCoverage, c, c, set->alphaWide);
    set->dst += size_t(n) * 2;
    *coverage = evenAfter(c, n);
}

void colourPixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight32(combine(clampCoverage(c), set->alphaWide));
    store16(set->dst, blend565(load16(set->dst), set->spread, w));
    set->dst += 2;
}

void colourCoverageRGB(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    uint8_t *d = set->dst;
    uint32_t aw = set->alphaWide;
    for (uint32_t i = 0; i < n; i++, d += 2, c += 3)
        store16(d, blendRGB(load16(d), set->value, weight256(combine(c[0], aw)),
                            weight256(combine(c[1], aw)), weight256(combine(c[2], aw))));
    set->dst = d;
    *coverage = c;
}

void setup4C0(RowOpSet *set, const void *source, const void *alpha)
{
    setupCommon(set, 2, 0, 0);
    uint32_t colour;
    memcpy(&colour, source, 4);
    set->value = colourTo565(colour);
    set->spread = spread(set->value);
    setupAlpha(set, alpha, true);
    set->span = opaque(alpha) ? colourSpanOpaque : colourSpanAlpha;
    set->spanCoverage = colourCoverage;
    set->pixel = colourPixel;
    set->spanCoverageRGB = colourCoverageRGB;
}

// ----------------------------------- 0x4C1: 5-6-5 from one colour, masked

void colourMaskSpan(RowOpSet *set, uint32_t n)
{
    blendColourWeighted(set->dst, n, set->spread, fromMask, set->mask, set->mask, 0);
    set->dst += size_t(n) * 2;
    set->mask += n;
}

void colourMaskCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendColourWeighted(set->dst, n, set->spread, fromMaskCoverage, c, set->mask, 0);
    set->dst += size_t(n) * 2;
    set->mask += n;
    *coverage = evenAfter(c, n);
}

void colourMaskPixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight32(combine(clampCoverage(c), widen(*set->mask)));
    store16(set->dst, blend565(load16(set->dst), set->spread, w));
    set->dst += 2;
    set->mask++;
}

void colourMaskCoverageRGB(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    uint8_t *d = set->dst;
    const uint8_t *m = set->mask;
    for (uint32_t i = 0; i < n; i++, d += 2, c += 3) {
        uint32_t mw = widen(m[i]);
        store16(d, blendRGB(load16(d), set->value, weight256(combine(c[0], mw)),
                            weight256(combine(c[1], mw)), weight256(combine(c[2], mw))));
    }
    set->dst = d;
    set->mask = m + n;
    *coverage = c;
}

void setup4C1(RowOpSet *set, const void *source, const void *mask)
{
    setupCommon(set, 2, 0, 1);
    uint32_t colour;
    memcpy(&colour, source, 4);
    set->value = colourTo565(colour);
    set->spread = spread(set->value);
    set->mask = static_cast<const uint8_t *>(mask);
    set->span = colourMaskSpan;
    set->spanCoverage = colourMaskCoverage;
    set->pixel = colourMaskPixel;
    set->spanCoverageRGB = colourMaskCoverageRGB;
}

// --------------------------------------- 0x490: 5-6-5 from 5-6-5 pixels

void copySpanOpaque(RowOpSet *set, uint32_t n)
{
    memmove(set->dst, set->src, size_t(n) * 2);
    set->dst += size_t(n) * 2;
    set->src += size_t(n) * 2;
}

void copySpanAlpha(RowOpSet *set, uint32_t n)
{
    blendSrc565(set->dst, set->src, n, set->weight);
    set->dst += size_t(n) * 2;
    set->src += size_t(n) * 2;
}

void copyCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendSrcWeighted(set->dst, set->src, n, fromCoverage, c, c, set->alphaWide);
    set->dst += size_t(n) * 2;
    set->src += size_t(n) * 2;
    *coverage = evenAfter(c, n);
}

void copyPixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight32(combine(clampCoverage(c), set->alphaWide));
    store16(set->dst, blend565(load16(set->dst), spread(load16(set->src)), w));
    set->dst += 2;
    set->src += 2;
}

void copyCoverageRGB(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    uint8_t *d = set->dst;
    const uint8_t *s = set->src;
    uint32_t aw = set->alphaWide;
    for (uint32_t i = 0; i < n; i++, d += 2, s += 2, c += 3)
        store16(d, blendRGB(load16(d), load16(s), weight256(combine(c[0], aw)),
                            weight256(combine(c[1], aw)), weight256(combine(c[2], aw))));
    set->dst = d;
    set->src = s;
    *coverage = c;
}

void setup490(RowOpSet *set, const void *source, const void *alpha)
{
    setupCommon(set, 2, 2, 0);
    set->src = static_cast<const uint8_t *>(source);
    setupAlpha(set, alpha, true);
    set->span = opaque(alpha) ? copySpanOpaque : copySpanAlpha;
    set->spanCoverage = copyCoverage;
    set->pixel = copyPixel;
    set->spanCoverageRGB = copyCoverageRGB;
}

// ------------------------------- 0x491: 5-6-5 from 5-6-5 pixels, masked

void copyMaskSpan(RowOpSet *set, uint32_t n)
{
    blendSrcWeighted(set->dst, set->src, n, fromMask, set->mask, set->mask, 0);
    set->dst += size_t(n) * 2;
    set->src += size_t(n) * 2;
    set->mask += n;
}

void copyMaskCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendSrcWeighted(set->dst, set->src, n, fromMaskCoverage, c, set->mask, 0);
    set->dst += size_t(n) * 2;
    set->src += size_t(n) * 2;
    set->mask += n;
    *coverage = evenAfter(c, n);
}

void copyMaskPixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight32(combine(clampCoverage(c), widen(*set->mask)));
    store16(set->dst, blend565(load16(set->dst), spread(load16(set->src)), w));
    set->dst += 2;
    set->src += 2;
    set->mask++;
}

void copyMaskCoverageRGB(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    uint8_t *d = set->dst;
    const uint8_t *s = set->src;
    const uint8_t *m = set->mask;
    for (uint32_t i = 0; i < n; i++, d += 2, s += 2, c += 3) {
        uint32_t mw = widen(m[i]);
        store16(d, blendRGB(load16(d), load16(s), weight256(combine(c[0], mw)),
                            weight256(combine(c[1], mw)), weight256(combine(c[2], mw))));
    }
    set->dst = d;
    set->src = s;
    set->mask = m + n;
    *coverage = c;
}

void setup491(RowOpSet *set, const void *source, const void *mask)
{
    setupCommon(set, 2, 2, 1);
    set->src = static_cast<const uint8_t *>(source);
    set->mask = static_cast<const uint8_t *>(mask);
    set->span = copyMaskSpan;
    set->spanCoverage = copyMaskCoverage;
    set->pixel = copyMaskPixel;
    set->spanCoverageRGB = copyMaskCoverageRGB;
}

// ---------------------------------------- 0x000: 8-bit from one value

void valueSpanOpaque(RowOpSet *set, uint32_t n)
{
    memset(set->dst, int(set->value), n);
    set->dst += n;
}

void valueSpanAlpha(RowOpSet *set, uint32_t n)
{
    blendConst8(set->dst, n, set->value, set->weight);
    set->dst += n;
}

void valueCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendWeighted8(set->dst, nullptr, set->value, n, fromCoverage, c, c, set->alphaWide);
    set->dst += n;
    *coverage = evenAfter(c, n);
}

void valuePixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight256(combine(clampCoverage(c), set->alphaWide));
    *set->dst = uint8_t(blend8(*set->dst, set->value, w));
    set->dst++;
}

void setup000(RowOpSet *set, const void *source, const void *alpha)
{
    setupCommon(set, 1, 0, 0);
    set->value = *static_cast<const uint8_t *>(source);
    setupAlpha(set, alpha, false);
    set->span = opaque(alpha) ? valueSpanOpaque : valueSpanAlpha;
    set->spanCoverage = valueCoverage;
    set->pixel = valuePixel;
}

// -------------------------------- 0x001: 8-bit from one value, masked

void valueMaskSpan(RowOpSet *set, uint32_t n)
{
    blendWeighted8(set->dst, nullptr, set->value, n, fromMask, set->mask, set->mask, 0);
    set->dst += n;
    set->mask += n;
}

void valueMaskCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendWeighted8(set->dst, nullptr, set->value, n, fromMaskCoverage, c, set->mask, 0);
    set->dst += n;
    set->mask += n;
    *coverage = evenAfter(c, n);
}

void valueMaskPixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight256(combine(clampCoverage(c), widen(*set->mask)));
    *set->dst = uint8_t(blend8(*set->dst, set->value, w));
    set->dst++;
    set->mask++;
}

void setup001(RowOpSet *set, const void *source, const void *mask)
{
    setupCommon(set, 1, 0, 1);
    set->value = *static_cast<const uint8_t *>(source);
    set->mask = static_cast<const uint8_t *>(mask);
    set->span = valueMaskSpan;
    set->spanCoverage = valueMaskCoverage;
    set->pixel = valueMaskPixel;
}

// ---------------------------------------- 0x010: 8-bit from 8-bit pixels

void bytesSpanOpaque(RowOpSet *set, uint32_t n)
{
    memmove(set->dst, set->src, n);
    set->dst += n;
    set->src += n;
}

void bytesSpanAlpha(RowOpSet *set, uint32_t n)
{
    blendSrc8(set->dst, set->src, n, set->weight);
    set->dst += n;
    set->src += n;
}

void bytesCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendWeighted8(set->dst, set->src, 0, n, fromCoverage, c, c, set->alphaWide);
    set->dst += n;
    set->src += n;
    *coverage = evenAfter(c, n);
}

void bytesPixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight256(combine(clampCoverage(c), set->alphaWide));
    *set->dst = uint8_t(blend8(*set->dst, *set->src, w));
    set->dst++;
    set->src++;
}

void setup010(RowOpSet *set, const void *source, const void *alpha)
{
    setupCommon(set, 1, 1, 0);
    set->src = static_cast<const uint8_t *>(source);
    setupAlpha(set, alpha, false);
    set->span = opaque(alpha) ? bytesSpanOpaque : bytesSpanAlpha;
    set->spanCoverage = bytesCoverage;
    set->pixel = bytesPixel;
}

// -------------------------------- 0x011: 8-bit from 8-bit pixels, masked

void bytesMaskSpan(RowOpSet *set, uint32_t n)
{
    blendWeighted8(set->dst, set->src, 0, n, fromMask, set->mask, set->mask, 0);
    set->dst += n;
    set->src += n;
    set->mask += n;
}

void bytesMaskCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    const uint8_t *c = *coverage;
    blendWeighted8(set->dst, set->src, 0, n, fromMaskCoverage, c, set->mask, 0);
    set->dst += n;
    set->src += n;
    set->mask += n;
    *coverage = evenAfter(c, n);
}

void bytesMaskPixel(RowOpSet *set, uint32_t c)
{
    uint32_t w = weight256(combine(clampCoverage(c), widen(*set->mask)));
    *set->dst = uint8_t(blend8(*set->dst, *set->src, w));
    set->dst++;
    set->src++;
    set->mask++;
}

void setup011(RowOpSet *set, const void *source, const void *mask)
{
    setupCommon(set, 1, 1, 1);
    set->src = static_cast<const uint8_t *>(source);
    set->mask = static_cast<const uint8_t *>(mask);
    set->span = bytesMaskSpan;
    set->spanCoverage = bytesMaskCoverage;
    set->pixel = bytesMaskPixel;
}

// ---------------------------------------------------- coded rows

inline uint32_t readCode(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
}

inline uint32_t codeLength(uint32_t code)
{
    return (code & GlyphMask_kindMask) == GlyphMask_kindPixel ? 1 : code & GlyphMask_lengthMask;
}

// The address of the code after the one at p.
inline const uint8_t *nextCode(const uint8_t *p, uint32_t code)
{
    if ((code & GlyphMask_kindMask) != GlyphMask_kindLiteral)
        return p + 2;
    uint32_t n = code & GlyphMask_lengthMask;
    return p + 2 + n + (n & 1);
}

// Draws one coded row whose first code is at p, after passing over skip
// pixels of it.
void playCodedRow(RowOpSet *set, const uint8_t *p, uint32_t skip, uint32_t width)
{
    uint32_t code = readCode(p);
    uint32_t cut = 0; // pixels of the first drawn run that were skipped
    while (skip) {
        uint32_t n = codeLength(code);
        if (n > skip) {
            cut = skip;
            break;
        }
        if (code & GlyphMask_lastCode)
            return;
        skip -= n;
        p = nextCode(p, code);
        code = readCode(p);
    }
    uint32_t left = width;
    while (left) {
        uint32_t kind = code & GlyphMask_kindMask;
        uint32_t n = codeLength(code) - cut;
        if (n > left)
            n = left;
        left -= n;
        if (kind == GlyphMask_kindFull) {
            set->span(set, n);
        } else if (kind == GlyphMask_kindSkip) {
            set->skip(set, n);
        } else if (kind == GlyphMask_kindLiteral) {
            const uint8_t *coverage = p + 2 + cut;
            set->spanCoverage(set, n, &coverage);
        } else {
            set->pixel(set, code & 0xFF);
        }
        if (code & GlyphMask_lastCode)
            return;
        cut = 0;
        p = nextCode(p, code);
        code = left ? readCode(p) : 0;
    }
}

} // namespace

const RowOpEntry RowOp_table[RowOp_tableSize] = {
    {0x000, setup000}, {0x001, setup001}, {0x010, setup010}, {0x011, setup011},
    {0x490, setup490}, {0x491, setup491}, {0x4C0, setup4C0}, {0x4C1, setup4C1},
};

RowOpSetupFn RowOp_find(uint32_t destinationFormat, uint32_t sourceFormat, uint32_t maskFormat,
                        int sourceIsBuffer, int maskIsBuffer)
{
    if (destinationFormat > 7 || sourceFormat > 7 || maskFormat > 7)
        return nullptr;
    RowOpKey key = (maskIsBuffer ? 1u : 0u) + 2 * maskFormat + (sourceIsBuffer ? 16u : 0u) +
                   32 * sourceFormat + 256 * destinationFormat;
    for (const RowOpEntry &e : RowOp_table)
        if (e.key == key)
            return e.setup;
    return nullptr;
}

void RowOp_runRows(void *destination, RowOpSetupFn setup, const void *source, uint32_t width,
                   const void *alpha, uint32_t rows, ptrdiff_t destinationStride)
{
    RowOpSet set;
    setup(&set, source, alpha);
    uint8_t *row = static_cast<uint8_t *>(destination);
    const uint8_t *src = static_cast<const uint8_t *>(source);
    const uint8_t *mask = static_cast<const uint8_t *>(alpha);
    for (uint32_t r = 0; r < rows; r++, row += destinationStride) {
        set.dst = row;
        set.src = src;
        set.mask = mask;
        set.span(&set, width);
    }
}

void RowOp_runRect(void *destination, ptrdiff_t destinationStride, uint32_t width, uint32_t rows,
                   const void *source, ptrdiff_t sourceStride, const void *mask,
                   ptrdiff_t maskStride, RowOpSetupFn setup)
{
    RowOpSet set;
    setup(&set, source, mask);
    uint8_t *row = static_cast<uint8_t *>(destination);
    const uint8_t *src = static_cast<const uint8_t *>(source);
    const uint8_t *m = static_cast<const uint8_t *>(mask);
    for (uint32_t r = 0; r < rows; r++) {
        set.dst = row;
        set.src = src;
        set.mask = m;
        set.span(&set, width);
        row += destinationStride;
        src += sourceStride;
        m += maskStride;
    }
}

void RowOp_runCodedRows(void *destination, ptrdiff_t destinationStride, const uint32_t *rowOffsets,
                        const uint8_t *codes, uint32_t skip, uint32_t width, uint32_t rows,
                        const void *source, ptrdiff_t sourceStride, const void *mask,
                        ptrdiff_t maskStride, RowOpSetupFn setup)
{
    RowOpSet set;
    setup(&set, source, mask);
    uint8_t *row = static_cast<uint8_t *>(destination);
    const uint8_t *src = static_cast<const uint8_t *>(source);
    const uint8_t *m = static_cast<const uint8_t *>(mask);
    for (uint32_t r = 0; r < rows; r++) {
        uint32_t offset = rowOffsets[r];
        if (!(offset & GlyphMask_emptyRow)) {
            set.dst = row;
            set.src = src;
            set.mask = m;
            playCodedRow(&set, codes + offset, skip, width);
        }
        row += destinationStride;
        src += sourceStride;
        m += maskStride;
    }
}
