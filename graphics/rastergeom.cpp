// Raster geometry utilities: integer roots and division, rectangle
// containment, the run-coded mask hit test, polygons as paths and the
// cached drawing buffer destructors.
#include "graphics/rastergeom.h"

#include <cmath>

#include "core/geom/rect.h"
#include "core/result.h"
#include "graphics/glyphmask.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"

// The double-precision root is correctly rounded, so it is the same on
// every processor and lies within one of the exact floor; one step either
// way makes it exact (what the bit-by-bit search finds), at a fraction of
// the cost: the stroker takes a root for every piece it offsets.
uint32_t Math_isqrt64(uint32_t low, uint32_t high)
{
    uint64_t value = (static_cast<uint64_t>(high) << 32) | low;
    uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<double>(value)));
    if (root > 0xFFFFFFFFu)
        root = 0xFFFFFFFFu;
    while (root * root > value)
        root--;
    while (root < 0xFFFFFFFFu && (root + 1) * (root + 1) <= value)
        root++;
    return static_cast<uint32_t>(root);
}

// With high below the divisor the quotient fits 32 bits: the machine's
// 64-bit division gives exactly what the restoring steps give.
uint32_t Math_divide64(uint32_t low, uint32_t high, uint32_t divisor, uint32_t *remainder)
{
    if (divisor == 0 || high >= divisor) {
        if (remainder)
            *remainder = 0;
        return 0xFFFFFFFFu;
    }
    uint64_t value = (static_cast<uint64_t>(high) << 32) | low;
    if (remainder)
        *remainder = static_cast<uint32_t>(value % divisor);
    return static_cast<uint32_t>(value / divisor);
}

uint32_t Path_pointDistance(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    int64_t dx = static_cast<int32_t>(static_cast<uint32_t>(x1) - static_cast<uint32_t>(x0));
    int64_t dy = static_cast<int32_t>(static_cast<uint32_t>(y1) - static_cast<uint32_t>(y0));
    uint64_t sum = static_cast<uint64_t>(dx * dx) + static_cast<uint64_t>(dy * dy);
    return Math_isqrt64(static_cast<uint32_t>(sum), static_cast<uint32_t>(sum >> 32));
}

int Rect_contains(const Rect *outer, const Rect *inner)
{
    return inner->x0 >= outer->x0 && inner->y0 >= outer->y0 && inner->x1 <= outer->x1 &&
           inner->y1 <= outer->y1;
}

int MaskRle_hit(int32_t rowStart, const uint8_t *data, uint32_t size, int32_t x, int *out)
{
    *out = 0;
    if (rowStart < 0 || x < 0 || !data)
        return Res_ok;
    uint64_t at = static_cast<uint32_t>(rowStart);
    uint32_t left = static_cast<uint32_t>(x);
    while (at + 2 <= size) {
        uint32_t code = data[at] | (uint32_t(data[at + 1]) << 8);
        uint32_t kind = code & GlyphMask_kindMask;
        uint32_t length = kind == GlyphMask_kindPixel ? 1 : code & GlyphMask_lengthMask;
        if (left < length) {
            if (kind == GlyphMask_kindFull)
                *out = 1;
            else if (kind == GlyphMask_kindPixel)
                *out = (code & 0xFF) >= 128;
            else if (kind == GlyphMask_kindLiteral && at + 2 + left < size)
                *out = data[at + 2 + left] >= 128;
            return Res_ok;
        }
        left -= length;
        if (code & GlyphMask_lastCode)
            return Res_ok;
        at += 2;
        if (kind == GlyphMask_kindLiteral)
            at += length + (length & 1);
    }
    return Res_ok;
}

int Path_fromPolygon(const PolygonShape *shape, const Rect *rect, Path **out)
{
    *out = nullptr;
    Path *path = nullptr;
    int r = Path_create(&path, 0x10000);
    if (r != Res_ok)
        return r;
    uint32_t count = (shape->info >> 8) & 0x7F;
    if (count > 255)
        count = 255;
    // In 64 bits: the span of a wide rectangle does not fit 32.
    int64_t spanX = int64_t(rect->x1) - rect->x0, spanY = int64_t(rect->y1) - rect->y0;
    int32_t scaleX = shape->widthUnit ? static_cast<int32_t>(spanX / shape->widthUnit) : 0;
    int32_t scaleY = shape->heightUnit ? static_cast<int32_t>(spanY / shape->heightUnit) : 0;
    for (uint32_t i = 0; i < count && r == Res_ok; i++) {
        // Products and sums wrap as 32-bit values, as path coordinates do.
        uint32_t x = static_cast<uint32_t>(rect->x0) +
                     static_cast<uint32_t>(shape->points[2 * i]) * static_cast<uint32_t>(scaleX);
        uint32_t y =
            static_cast<uint32_t>(rect->y0) +
            static_cast<uint32_t>(shape->points[2 * i + 1]) * static_cast<uint32_t>(scaleY);
        if (i == 0)
            r = Path_moveTo(path, static_cast<int32_t>(x), static_cast<int32_t>(y));
        else
            r = Path_lineTo(path, static_cast<int32_t>(x), static_cast<int32_t>(y));
    }
    if (r == Res_ok)
        r = Path_close(path);
    if (r != Res_ok) {
        Path_destroy(path);
        return r;
    }
    Path_trim(path);
    *out = path;
    return Res_ok;
}
