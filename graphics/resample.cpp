// Image resampling: tap streams, the 8-bit and 5-6-5 passes, and the
// pattern kernels.
#include "graphics/resample.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/gradient.h"
#include "graphics/pixelbuf.h"

namespace {

int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// 32 k(t) in 8.24 fixed point without rounding, t = x / 2^32.
int64_t kernel824(uint32_t x)
{
    uint64_t h = (uint64_t(x) * x) >> 32;
    uint64_t c = (h * x) >> 32;
    return int64_t(0x20000000) - int64_t(h >> 3) - int64_t(h >> 2) + int64_t(c >> 2);
}

// The enlarge weight: 32 k(t) rounded.
uint32_t enlargeWeight(uint32_t x)
{
    return uint32_t((kernel824(x) + 0x800000) >> 24);
}

// The current source pixel of enlarge output g and its weight.
void enlargeTap(int64_t n, int64_t m, int64_t g, int32_t *cur, uint32_t *w)
{
    int64_t p = (2 * g + 1) * n - m;
    if (p < 0) {
        *cur = 0;
        *w = 32;
        return;
    }
    int64_t j = p / (2 * m), r = p % (2 * m);
    if (j >= n - 1) {
        *cur = int32_t(n - 1);
        *w = (j == n - 1 && r == 0) ? 32 : 0;
        return;
    }
    *cur = int32_t(j);
    *w = enlargeWeight(uint32_t((uint64_t(r) << 32) / uint64_t(2 * m)));
}

// The source range of reduce output g (before folding onto the edges).
void reduceRange(int64_t n, int64_t m, int64_t g, int64_t *lo, int64_t *hi)
{
    int64_t p = (2 * g + 1) * n - m;
    *lo = floorDiv(p - 2 * n, 2 * m) + 1;
    *hi = -floorDiv(-(p + 2 * n), 2 * m) - 1;
}

int64_t clampIndex(int64_t j, int64_t n)
{
    return std::clamp<int64_t>(j, 0, n - 1);
}

// ------------------------------------------------------------- passes

// The decoded form of a stream: per output pixel the first source index
// (relative to the stream's first) and its taps.
struct Taps {
    int32_t outputs;
    int32_t sourceCount;
    int32_t *start;  // outputs entries
    int32_t *offset; // outputs + 1 entries into weight
    uint8_t *weight; // every tap's weight
};

void freeTaps(Taps *t)
{
    Mem_free(t->start);
    Mem_free(t->offset);
    Mem_free(t->weight);
    *t = Taps{};
}

// Decodes an enlarge stream into two-tap groups (current, next).
int decodeEnlarge(const uint8_t *stream, int32_t count, int32_t sourceCount, Taps *t)
{
    *t = Taps{count, sourceCount, nullptr, nullptr, nullptr};
    t->start = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t) * size_t(count)));
    t->weight = static_cast<uint8_t *>(Mem_malloc(size_t(count) * 2));
    if (!t->start || !t->weight) {
        freeTaps(t);
        return Res_noMemory;
    }
    int32_t cur = 0;
    for (int32_t i = 0; i < count; i++) {
        uint32_t w = stream[i] & 63;
        t->start[i] = cur;
        t->weight[2 * i] = uint8_t(w);
        t->weight[2 * i + 1] = uint8_t(32 - w);
        if (stream[i] & 0x80)
            cur++;
    }
    return Res_ok;
}

int decodeReduce(const uint8_t *stream, int32_t length, int32_t count, int32_t sourceCount, Taps *t)
{
    *t = Taps{count, sourceCount, nullptr, nullptr, nullptr};
    t->start = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t) * size_t(count)));
    t->offset = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t) * size_t(count + 1)));
    t->weight = static_cast<uint8_t *>(Mem_malloc(size_t(length) + 1));
    if (!t->start || !t->offset || !t->weight) {
        freeTaps(t);
        return Res_noMemory;
    }
    int32_t cur = 0, at = 0;
    for (int32_t i = 0; i < count; i++) {
        t->start[i] = cur;
        t->offset[i] = at;
        int32_t next = cur;
        for (int32_t k = 0; at < length; k++) {
            uint8_t b = stream[at];
            t->weight[at++] = b & 63;
            if (b & 0x40)
                next = cur + k + 1;
            if (b & 0x80)
                break;
        }
        cur = next;
    }
    t->offset[count] = at;
    return Res_ok;
}

int32_t tapCount(const Taps *t, bool enlarge, int32_t i)
{
    return enlarge ? 2 : t->offset[i + 1] - t->offset[i];
}

const uint8_t *tapWeights(const Taps *t, bool enlarge, int32_t i)
{
    return enlarge ? t->weight + 2 * i : t->weight + t->offset[i];
}

// Source index of tap k of output i (relative), edges clamped.
inline int32_t tapSource(const Taps *t, int32_t i, int32_t k)
{
    return std::min(t->start[i] + k, t->sourceCount - 1);
}

// ----- 8-bit passes

// Horizontal: rows rows of the source (from in, relative column 0 the
// stream's first source pixel) into out (tile width per row).
// Four rows at a time, two rows per 32-bit word in 16-bit lanes (a lane
// never exceeds 255 x 32), then the rows left over one at a time. Both give
// the same pixels.
void horizontal8(const uint8_t *in, ptrdiff_t inStride, int32_t rows, const Taps *tx, bool enlarge,
                 uint8_t *out, ptrdiff_t outStride)
{
    int32_t grouped = rows & ~3;
    for (int32_t r = 0; r < grouped; r += 4) {
        const uint8_t *s0 = in + r * inStride, *s1 = s0 + inStride, *s2 = s1 + inStride,
                      *s3 = s2 + inStride;
        uint8_t *d0 = out + r * outStride;
        for (int32_t x = 0; x < tx->outputs; x++) {
            const uint8_t *w = tapWeights(tx, enlarge, x);
            int32_t n = tapCount(tx, enlarge, x);
            uint32_t lo = 0, hi = 0;
            for (int32_t k = 0; k < n; k++) {
                int32_t i = tapSource(tx, x, k);
                lo += w[k] * (uint32_t(s0[i]) | uint32_t(s1[i]) << 16);
                hi += w[k] * (uint32_t(s2[i]) | uint32_t(s3[i]) << 16);
            }
            d0[x] = uint8_t((lo >> 5) & 0xFF);
            d0[outStride + x] = uint8_t((lo >> 21) & 0xFF);
            d0[2 * outStride + x] = uint8_t((hi >> 5) & 0xFF);
            d0[3 * outStride + x] = uint8_t((hi >> 21) & 0xFF);
        }
    }
    for (int32_t r = grouped; r < rows; r++) {
        const uint8_t *s = in + r * inStride;
        uint8_t *d = out + r * outStride;
        for (int32_t x = 0; x < tx->outputs; x++) {
            const uint8_t *w = tapWeights(tx, enlarge, x);
            int32_t n = tapCount(tx, enlarge, x);
            uint32_t sum = 0;
            for (int32_t k = 0; k < n; k++)
                sum += uint32_t(w[k]) * s[tapSource(tx, x, k)];
            d[x] = uint8_t(sum >> 5);
        }
    }
}

// Vertical: the taps of output row y read whole rows; four columns at a
// time in two 16-bit lanes of two 32-bit words when everything is word
// aligned, the rest one at a time. Both give the same pixels.
void vertical8(const uint8_t *in, ptrdiff_t inStride, int32_t width, const Taps *ty, bool enlarge,
               uint8_t *out, ptrdiff_t outStride)
{
    bool aligned = ((reinterpret_cast<uintptr_t>(in) | reinterpret_cast<uintptr_t>(out) |
                     uintptr_t(inStride) | uintptr_t(outStride)) &
                    3) == 0;
    int32_t groups = aligned ? width / 4 : 0;
    for (int32_t y = 0; y < ty->outputs; y++) {
        const uint8_t *w = tapWeights(ty, enlarge, y);
        int32_t n = tapCount(ty, enlarge, y);
        uint8_t *d = out + y * outStride;
        for (int32_t g = 0; g < groups; g++) {
            uint32_t even = 0, odd = 0;
            for (int32_t k = 0; k < n; k++) {
                uint32_t word;
                std::memcpy(&word, in + tapSource(ty, y, k) * inStride + 4 * g, 4);
                even += w[k] * (word & 0x00FF00FFu);
                odd += w[k] * ((word >> 8) & 0x00FF00FFu);
            }
            uint32_t v = ((even >> 5) & 0x00FF00FFu) | (((odd >> 5) & 0x00FF00FFu) << 8);
            std::memcpy(d + 4 * g, &v, 4);
        }
        for (int32_t x = groups * 4; x < width; x++) {
            uint32_t sum = 0;
            for (int32_t k = 0; k < n; k++)
                sum += uint32_t(w[k]) * in[tapSource(ty, y, k) * inStride + x];
            d[x] = uint8_t(sum >> 5);
        }
    }
}

// ----- 5-6-5 passes

inline uint16_t fold565(uint32_t v)
{
    v &= 0x07E0F81Fu;
    return uint16_t(v | (v >> 16));
}

inline uint16_t load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void store16(uint8_t *p, uint16_t v)
{
    std::memcpy(p, &v, 2);
}

// The first 5-6-5 pass: rounded (enlarge) or truncated (reduce), along
// rows (horizontal) or columns (vertical).
void first565(const uint8_t *in, ptrdiff_t inStride, int32_t lines, const Taps *t, bool enlarge,
              bool horizontalPass, uint8_t *out, ptrdiff_t outStride)
{
    uint32_t round = enlarge ? 0x2008010u : 0;
    if (horizontalPass) {
        for (int32_t r = 0; r < lines; r++) {
            const uint8_t *s = in + r * inStride;
            uint8_t *d = out + r * outStride;
            for (int32_t x = 0; x < t->outputs; x++) {
                const uint8_t *w = tapWeights(t, enlarge, x);
                int32_t n = tapCount(t, enlarge, x);
                uint32_t sum = round;
                for (int32_t k = 0; k < n; k++)
                    sum += w[k] * Resample_spread565(load16(s + 2 * tapSource(t, x, k)));
                store16(d + 2 * x, fold565(sum >> 5));
            }
        }
        return;
    }
    for (int32_t y = 0; y < t->outputs; y++) {
        const uint8_t *w = tapWeights(t, enlarge, y);
        int32_t n = tapCount(t, enlarge, y);
        uint8_t *d = out + y * outStride;
        for (int32_t x = 0; x < lines; x++) {
            uint32_t sum = round;
            for (int32_t k = 0; k < n; k++)
                sum +=
                    w[k] * Resample_spread565(load16(in + tapSource(t, y, k) * inStride + 2 * x));
            store16(d + 2 * x, fold565(sum >> 5));
        }
    }
}

// The second 5-6-5 pass: the weighted sum W dithered by the pixel's place
// (tileX + x, tileY + y) in the whole scaled picture.
void second565(const uint8_t *in, ptrdiff_t inStride, int32_t lines, const Taps *t, bool enlarge,
               bool horizontalPass, uint8_t *out, ptrdiff_t outStride, int32_t tileX, int32_t tileY)
{
    const uint32_t *table = Gradient_ditherTable();
    if (horizontalPass) {
        for (int32_t r = 0; r < lines; r++) {
            const uint8_t *s = in + r * inStride;
            uint8_t *d = out + r * outStride;
            const uint32_t *row = table + ((tileY + r) & 31) * 32;
            for (int32_t x = 0; x < t->outputs; x++) {
                const uint8_t *w = tapWeights(t, enlarge, x);
                int32_t n = tapCount(t, enlarge, x);
                uint32_t sum = 0;
                for (int32_t k = 0; k < n; k++)
                    sum += w[k] * Resample_spread565(load16(s + 2 * tapSource(t, x, k)));
                store16(d + 2 * x, Resample_dither565(sum, row[(tileX + x) & 31]));
            }
        }
        return;
    }
    for (int32_t y = 0; y < t->outputs; y++) {
        const uint8_t *w = tapWeights(t, enlarge, y);
        int32_t n = tapCount(t, enlarge, y);
        uint8_t *d = out + y * outStride;
        const uint32_t *row = table + ((tileY + y) & 31) * 32;
        for (int32_t x = 0; x < lines; x++) {
            uint32_t sum = 0;
            for (int32_t k = 0; k < n; k++)
                sum +=
                    w[k] * Resample_spread565(load16(in + tapSource(t, y, k) * inStride + 2 * x));
            store16(d + 2 * x, Resample_dither565(sum, row[(tileX + x) & 31]));
        }
    }
}

// Builds and decodes one axis's stream.
int axisTaps(bool enlarge, int32_t n, int32_t m, int32_t first, int32_t count, int32_t *firstSource,
             Taps *t)
{
    int32_t used = 0;
    if (enlarge) {
        uint8_t *stream = static_cast<uint8_t *>(Mem_malloc(size_t(count)));
        if (!stream)
            return Res_noMemory;
        *firstSource = Resample_enlargeTaps(stream, n, m, first, count, &used);
        int r = decodeEnlarge(stream, count, used, t);
        Mem_free(stream);
        return r;
    }
    size_t bound = Resample_reduceStreamBound(n, m, count);
    uint8_t *stream = static_cast<uint8_t *>(Mem_malloc(bound));
    if (!stream)
        return Res_noMemory;
    int32_t length = 0;
    *firstSource = Resample_reduceTaps(stream, n, m, first, count, &length, &used);
    int r = decodeReduce(stream, length, count, used, t);
    Mem_free(stream);
    return r;
}

} // namespace

// --------------------------------------------------------------- streams

int32_t Resample_enlargeTaps(uint8_t *stream, int32_t sourceSize, int32_t destinationSize,
                             int32_t first, int32_t count, int32_t *sourceCount)
{
    int64_t n = sourceSize, m = destinationSize;
    int32_t firstCur = 0, cur = 0, lastCur = 0;
    uint32_t w = 0;
    if (count <= 0) {
        if (sourceCount)
            *sourceCount = 0;
        return 0;
    }
    enlargeTap(n, m, first, &firstCur, &w);
    cur = firstCur;
    for (int32_t i = 0; i < count; i++) {
        int32_t nextCur;
        uint32_t nextW;
        enlargeTap(n, m, int64_t(first) + i + 1, &nextCur, &nextW);
        stream[i] = uint8_t(w | (nextCur > cur && i + 1 < count ? 0x80 : 0));
        lastCur = cur;
        cur = nextCur;
        w = nextW;
    }
    if (sourceCount)
        *sourceCount = lastCur - firstCur + 1 + (lastCur < sourceSize - 1 ? 1 : 0);
    return firstCur;
}

size_t Resample_reduceStreamBound(int32_t sourceSize, int32_t destinationSize, int32_t count)
{
    int64_t perOutput = 2 * ((int64_t(sourceSize) + destinationSize - 1) / destinationSize) + 3;
    return size_t(std::max<int64_t>(count, 1) * perOutput);
}

int32_t Resample_reduceTaps(uint8_t *stream, int32_t sourceSize, int32_t destinationSize,
                            int32_t first, int32_t count, int32_t *tapsOut, int32_t *sourceCount)
{
    int64_t n = sourceSize, m = destinationSize;
    int64_t scale = (m << 16) / n;
    int32_t at = 0;
    int64_t firstSource = 0, lastSource = 0;
    uint32_t weights[128];
    for (int32_t i = 0; i < count; i++) {
        int64_t g = int64_t(first) + i;
        int64_t lo, hi;
        reduceRange(n, m, g, &lo, &hi);
        int64_t p = (2 * g + 1) * n - m;
        int64_t a = clampIndex(lo, n), b = clampIndex(hi, n);
        int32_t len = int32_t(b - a + 1);
        // Long groups (strong reductions) are kept in a heap array.
        uint32_t *wt = weights;
        uint32_t *heap = nullptr;
        if (len > 128) {
            heap = static_cast<uint32_t *>(Mem_malloc(sizeof(uint32_t) * size_t(len)));
            if (!heap) {
                // Room for a uniform group: each weight its share of 32.
                for (int32_t k = 0; k < len; k++)
                    stream[at + k] = uint8_t(k < 32 ? 1 : 0);
                goto emit;
            }
            wt = heap;
        }
        {
            std::memset(wt, 0, sizeof(uint32_t) * size_t(len));
            int64_t carry = 0;
            for (int64_t j = lo; j <= hi; j++) {
                int64_t dist = 2 * m * j - p;
                if (dist < 0)
                    dist = -dist;
                uint32_t x = uint32_t((uint64_t(dist) << 32) / uint64_t(2 * n));
                int64_t value = ((kernel824(x) * scale) >> 16) + carry + 0x800000;
                int64_t w = value >> 24;
                carry = (value & 0xFFFFFF) - 0x800000;
                uint32_t &slot = wt[clampIndex(j, n) - a];
                slot = uint32_t(std::min<int64_t>(int64_t(slot) + w, 63));
            }
            int32_t sum = 0;
            for (int32_t k = 0; k < len; k++)
                sum += int32_t(wt[k]);
            while (sum != 32) {
                int32_t best = 0;
                for (int32_t k = 1; k < len; k++)
                    if (wt[k] >= wt[best])
                        best = k;
                if (sum < 32) {
                    wt[best]++;
                    sum++;
                } else {
                    wt[best]--;
                    sum--;
                }
            }
            for (int32_t k = 0; k < len; k++)
                stream[at + k] = uint8_t(wt[k]);
            Mem_free(heap);
        }
    emit:
        stream[at + len - 1] |= 0x80;
        if (i + 1 < count) {
            int64_t nlo, nhi;
            reduceRange(n, m, g + 1, &nlo, &nhi);
            int64_t next = clampIndex(nlo, n);
            if (next > a && next - 1 <= b)
                stream[at + (next - 1 - a)] |= 0x40;
        }
        if (i == 0)
            firstSource = a;
        lastSource = std::max(lastSource, b);
        at += len;
    }
    if (tapsOut)
        *tapsOut = at;
    if (sourceCount)
        *sourceCount = count > 0 ? int32_t(lastSource - firstSource + 1) : 0;
    return int32_t(firstSource);
}

// ------------------------------------------------------------- resample

int Image_resample(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                   ptrdiff_t sourceStride, uint8_t *destination, int32_t destinationWidth,
                   int32_t destinationHeight, ptrdiff_t destinationStride, int32_t tileWidth,
                   int32_t tileHeight, int32_t tileX, int32_t tileY, uint32_t sourceFormat,
                   uint32_t destinationFormat)
{
    if (sourceFormat != destinationFormat ||
        (sourceFormat != Pixel_formatGrey8 && sourceFormat != Pixel_format565))
        return Resample_badFormat;
    if (sourceWidth <= 1 || sourceHeight <= 1 || destinationWidth < 1 || destinationHeight < 1)
        return Resample_badSize;
    bool growX = destinationWidth > sourceWidth, growY = destinationHeight > sourceHeight;
    bool shrinkX = destinationWidth < sourceWidth, shrinkY = destinationHeight < sourceHeight;
    if ((growX && shrinkY) || (growY && shrinkX))
        return Resample_badSize;
    if (tileWidth < 1 || tileHeight < 1 || tileX < 0 || tileY < 0 ||
        int64_t(tileX) + tileWidth > destinationWidth ||
        int64_t(tileY) + tileHeight > destinationHeight || !source || !destination)
        return Resample_badSize;
    bool enlarge = !(shrinkX || shrinkY);
    bool wide = sourceFormat == Pixel_format565;
    uint32_t bpp = wide ? 2 : 1;

    Taps tx{}, ty{};
    int32_t sx = 0, sy = 0;
    int r = axisTaps(enlarge, sourceWidth, destinationWidth, tileX, tileWidth, &sx, &tx);
    if (r == Res_ok)
        r = axisTaps(enlarge, sourceHeight, destinationHeight, tileY, tileHeight, &sy, &ty);
    uint8_t *temp = nullptr;
    if (r == Res_ok) {
        const uint8_t *origin = source + sy * sourceStride + ptrdiff_t(sx) * bpp;
        if (wide && enlarge) {
            // Columns first, rounded; then rows, dithered.
            ptrdiff_t tempStride = ptrdiff_t(tx.sourceCount) * 2;
            temp = static_cast<uint8_t *>(Mem_malloc(size_t(tempStride) * size_t(tileHeight)));
            if (!temp) {
                r = Res_noMemory;
            } else {
                first565(origin, sourceStride, tx.sourceCount, &ty, true, false, temp, tempStride);
                second565(temp, tempStride, tileHeight, &tx, true, true, destination,
                          destinationStride, tileX, tileY);
            }
        } else {
            // Rows first into a temporary of the rows used; then columns.
            ptrdiff_t tempStride = ptrdiff_t(tileWidth) * bpp;
            temp =
                static_cast<uint8_t *>(Mem_malloc(size_t(tempStride) * size_t(ty.sourceCount) + 4));
            if (!temp) {
                r = Res_noMemory;
            } else if (wide) {
                first565(origin, sourceStride, ty.sourceCount, &tx, false, true, temp, tempStride);
                second565(temp, tempStride, tileWidth, &ty, false, false, destination,
                          destinationStride, tileX, tileY);
            } else {
                horizontal8(origin, sourceStride, ty.sourceCount, &tx, enlarge, temp, tempStride);
                vertical8(temp, tempStride, tileWidth, &ty, enlarge, destination,
                          destinationStride);
            }
        }
    }
    Mem_free(temp);
    freeTaps(&tx);
    freeTaps(&ty);
    return r;
}

// -------------------------------------------------------- pattern kernels

namespace {

// Wraps c into [0, period) after a step that was reduced by one period.
inline int64_t wrapStep(int64_t c, int64_t period)
{
    return c < 0 ? c + period : c;
}

// A step reduced into (-period, 0].
inline int64_t reduceStep(int64_t step, int64_t period)
{
    step %= period;
    return step > 0 ? step - period : step;
}

template <typename T, bool Mirror>
void pattern(const uint8_t *source, uint8_t *destination, int32_t rows, int32_t columns, int32_t u,
             int32_t v, int32_t sourceWidth, int32_t sourceHeight, int32_t du, int32_t dv,
             ptrdiff_t sourceStride, int32_t duRow, int32_t dvRow)
{
    if (rows <= 0 || columns <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return;
    const int64_t periodU = int64_t(sourceWidth) << (Mirror ? 17 : 16);
    const int64_t periodV = int64_t(sourceHeight) << (Mirror ? 17 : 16);
    int64_t su = ((int64_t(u) % periodU) + periodU) % periodU;
    int64_t sv = ((int64_t(v) % periodV) + periodV) % periodV;
    const int64_t stepU = reduceStep(du, periodU), stepV = reduceStep(dv, periodV);
    const int64_t rowU = reduceStep(duRow, periodU), rowV = reduceStep(dvRow, periodV);
    auto index = [](int64_t c, int32_t size) {
        int32_t i = int32_t(c >> 16);
        return Mirror && i >= size ? 2 * size - 1 - i : i;
    };
    T *out = reinterpret_cast<T *>(destination);
    for (int32_t r = rows - 1; r >= 0; r--) {
        int64_t cu = su, cv = sv;
        T *d = out + ptrdiff_t(r) * columns;
        if (dv == 0) {
            const T *row =
                reinterpret_cast<const T *>(source + index(cv, sourceHeight) * sourceStride);
            for (int32_t x = 0; x < columns; x++) {
                d[x] = row[index(cu, sourceWidth)];
                cu = wrapStep(cu + stepU, periodU);
            }
        } else {
            for (int32_t x = 0; x < columns; x++) {
                const T *row =
                    reinterpret_cast<const T *>(source + index(cv, sourceHeight) * sourceStride);
                d[x] = row[index(cu, sourceWidth)];
                if (du != 0)
                    cu = wrapStep(cu + stepU, periodU);
                cv = wrapStep(cv + stepV, periodV);
            }
        }
        su = wrapStep(su + rowU, periodU);
        sv = wrapStep(sv + rowV, periodV);
    }
}

} // namespace

void Pattern_repeat8(const uint8_t *s, uint8_t *d, int32_t rows, int32_t columns, int32_t u,
                     int32_t v, int32_t w, int32_t h, int32_t du, int32_t dv, ptrdiff_t stride,
                     int32_t duRow, int32_t dvRow)
{
    pattern<uint8_t, false>(s, d, rows, columns, u, v, w, h, du, dv, stride, duRow, dvRow);
}

void Pattern_repeat16(const uint8_t *s, uint8_t *d, int32_t rows, int32_t columns, int32_t u,
                      int32_t v, int32_t w, int32_t h, int32_t du, int32_t dv, ptrdiff_t stride,
                      int32_t duRow, int32_t dvRow)
{
    pattern<uint16_t, false>(s, d, rows, columns, u, v, w, h, du, dv, stride, duRow, dvRow);
}

void Pattern_mirror8(const uint8_t *s, uint8_t *d, int32_t rows, int32_t columns, int32_t u,
                     int32_t v, int32_t w, int32_t h, int32_t du, int32_t dv, ptrdiff_t stride,
                     int32_t duRow, int32_t dvRow)
{
    pattern<uint8_t, true>(s, d, rows, columns, u, v, w, h, du, dv, stride, duRow, dvRow);
}
