// Dithered 5-6-5 scalers over the shared ordered-dither table.
#include "graphics/scale565.h"

#include <cstring>

#include "graphics/gradient.h"
#include "graphics/resample.h"

namespace {

// The error-term walk of one axis from source size s to scaled size d.
// After j steps, position = floor(j x s / d) and error = 2(d - 1) - 2js +
// 2 x position x d, which stays in 0 .. 2d - 1.
struct Axis {
    int64_t position;
    int64_t error;
    int64_t whole; // source pixels per step: 0 (up) or s / d (down)
    int64_t minus; // taken off the error per step: 2s (up) or 2(s mod d) (down)
    int64_t plus;  // 2d, given back per extra source pixel
    int64_t last;  // s - 1
    bool up;

    Axis(int32_t s, int32_t d, int32_t start, bool upForm)
        : whole(upForm ? 0 : s / d), minus(upForm ? 2 * int64_t(s) : 2 * int64_t(s % d)),
          plus(2 * int64_t(d)), last(s - 1), up(upForm)
    {
        // Reaching the start by stepping start times leaves exactly this
        // state; it is computed at once so that a far window costs nothing.
        int64_t j = start > 0 ? start : 0;
        position = j * s / d;
        error = 2 * (int64_t(d) - 1) - 2 * j * s + 2 * position * d;
    }
    void step()
    {
        position += whole;
        error -= minus;
        if (up) {
            while (error < 0) {
                position++;
                error += plus;
            }
        } else if (error < 0) {
            position++;
            error += plus;
        }
    }
    int64_t index() const
    {
        return position < last ? position : last;
    }
};

inline uint16_t ditherPixel(uint32_t p, uint32_t word)
{
    // The pixel widened to 32 times its value in the spread layout: the
    // dither step of the resampler then adds the word to 16 times it,
    // saturates and packs.
    uint32_t spread = (p | (p << 16)) & 0x07E0F81Fu;
    return Resample_dither565(spread << 5, word);
}

void scale(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst, int32_t dstW,
           int32_t dstH, int32_t startX, int32_t startY, uint32_t srcStride, int32_t width,
           int32_t height, uint32_t dstStride, bool up)
{
    if (width <= 0 || height <= 0 || !src || !dst || srcW <= 0 || srcH <= 0 || dstW <= 0 ||
        dstH <= 0)
        return;
    const uint32_t *table = Scaler_packedTable();
    const uint8_t *base = reinterpret_cast<const uint8_t *>(src);
    uint8_t *out = reinterpret_cast<uint8_t *>(dst);
    const Axis columns(srcW, dstW, startX, up);
    Axis rows(srcH, dstH, startY, up);
    uint32_t x0 = startX > 0 ? uint32_t(startX) : 0;
    uint32_t y = startY > 0 ? uint32_t(startY) : 0;
    for (int32_t j = 0; j < height; j++, y++, rows.step()) {
        const uint8_t *row = base + size_t(rows.index()) * srcStride;
        const uint32_t *dither = table + (y & 31) * 32;
        uint8_t *o = out + size_t(j) * dstStride;
        Axis c = columns;
        uint32_t x = x0;
        for (int32_t i = 0; i < width; i++, x++, c.step()) {
            uint16_t p;
            memcpy(&p, row + size_t(c.index()) * 2, 2);
            uint16_t v = ditherPixel(p, dither[x & 31]);
            memcpy(o + size_t(i) * 2, &v, 2);
        }
    }
}

} // namespace

const uint32_t *Scaler_packedTable()
{
    return Gradient_ditherTable();
}

void Pixel565_scaleDitherUp(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst,
                            int32_t dstW, int32_t dstH, int32_t startX, int32_t startY,
                            uint32_t srcStride, int32_t width, int32_t height, uint32_t dstStride)
{
    scale(src, srcW, srcH, dst, dstW, dstH, startX, startY, srcStride, width, height, dstStride,
          true);
}

void Pixel565_scaleDitherDown(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst,
                              int32_t dstW, int32_t dstH, int32_t startX, int32_t startY,
                              uint32_t srcStride, int32_t width, int32_t height, uint32_t dstStride)
{
    scale(src, srcW, srcH, dst, dstW, dstH, startX, startY, srcStride, width, height, dstStride,
          false);
}
