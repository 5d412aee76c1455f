// Scaled drawing of pictures into buffers.
#include "graphics/imageutil.h"

#include <algorithm>
#include <cstring>

#include "core/geom/rect.h"
#include "core/result.h"
#include "graphics/pixelbuf.h"
#include "graphics/resample.h"

namespace {

// Nearest-pixel scaling of the part of the scaled picture that lands in
// the target: target pixel (tx, ty) takes the source pixel under its
// centre.
void scaleNearest(const PixelBuf *src, int32_t width, int32_t height, PixelBuf *target, int32_t x,
                  int32_t y, const Rect &r)
{
    uint32_t bpp = Pixel_bytesPerPixel(src->format);
    for (int32_t ty = r.y0; ty < r.y1; ty++) {
        int64_t sy = ((2 * int64_t(ty - y) + 1) * src->height) / (2 * int64_t(height));
        const uint8_t *row = src->pixels + sy * src->stride;
        uint8_t *d = target->pixels + int64_t(ty) * target->stride;
        for (int32_t tx = r.x0; tx < r.x1; tx++) {
            int64_t sx = ((2 * int64_t(tx - x) + 1) * src->width) / (2 * int64_t(width));
            std::memcpy(d + int64_t(tx) * bpp, row + sx * bpp, bpp);
        }
    }
}

} // namespace

int Image_scaleIntoBuffer(EngineContext *, const PixelBuf *picture, int32_t width, int32_t height,
                          PixelBuf *target, int32_t x, int32_t y, int32_t quality)
{
    if (!picture || !picture->pixels || !target || !target->pixels || width < 1 || height < 1 ||
        picture->width < 1 || picture->height < 1)
        return Res_nullInput;
    // The target area the scaled picture covers (rows from the top).
    Rect r{std::max(0, x), std::max(0, y),
           int32_t(std::min<int64_t>(target->width, int64_t(x) + width)),
           int32_t(std::min<int64_t>(target->height, int64_t(y) + height))};
    if (r.x0 >= r.x1 || r.y0 >= r.y1)
        return Res_ok;

    uint32_t format = Pixel_normaliseFormat(target->format);
    const PixelBuf *src = picture;
    PixelBuf *converted = nullptr;
    if (Pixel_normaliseFormat(picture->format) != format) {
        int err = PixelBuf_convert(picture, format, &converted, nullptr);
        if (err != Res_ok)
            return err;
        src = converted;
    }
    uint32_t bpp = Pixel_bytesPerPixel(format);
    int result = Res_ok;
    if (src->width == width && src->height == height) {
        for (int32_t ty = r.y0; ty < r.y1; ty++)
            std::memcpy(target->pixels + int64_t(ty) * target->stride + int64_t(r.x0) * bpp,
                        src->pixels + int64_t(ty - y) * src->stride + int64_t(r.x0 - x) * bpp,
                        size_t(r.x1 - r.x0) * bpp);
    } else {
        int err = Resample_badSize; // not tried: plain scaling
        if (quality > 0 && (format == Pixel_formatGrey8 || format == Pixel_format565))
            err = Image_resample(src->pixels, src->width, src->height, src->stride,
                                 target->pixels + int64_t(r.y0) * target->stride +
                                     int64_t(r.x0) * bpp,
                                 width, height, target->stride, r.x1 - r.x0, r.y1 - r.y0, r.x0 - x,
                                 r.y0 - y, format, format);
        if (err == Res_noMemory)
            result = err;
        else if (err != Res_ok)
            scaleNearest(src, width, height, target, x, y, r);
    }
    PixelBuf_destroy(converted);
    return result;
}
