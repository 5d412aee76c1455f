// Orientation transforms over whole pixel buffers, built from four row
// routines per pixel size: copy a row mirrored, mirror a row in place, and
// copy a row into a column going up or going down.
#include "graphics/orient.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pixelbuf.h"

namespace {

template <typename T> void copyMirrored(const uint8_t *src, uint8_t *dst, int32_t n)
{
    const T *s = reinterpret_cast<const T *>(src);
    T *d = reinterpret_cast<T *>(dst);
    for (int32_t i = 0; i < n; i++)
        d[i] = s[n - 1 - i];
}

template <typename T> void mirrorInPlace(uint8_t *row, int32_t n)
{
    T *p = reinterpret_cast<T *>(row);
    for (int32_t i = 0; i < n / 2; i++) {
        T t = p[i];
        p[i] = p[n - 1 - i];
        p[n - 1 - i] = t;
    }
}

// Pixel i of the row goes to dst - i x stride (up) or dst + i x stride
// (down).
template <typename T> void rowToColumn(const uint8_t *src, uint8_t *dst, int32_t n, ptrdiff_t step)
{
    const T *s = reinterpret_cast<const T *>(src);
    for (int32_t i = 0; i < n; i++)
        *reinterpret_cast<T *>(dst + i * step) = s[i];
}

void mirrorRowCopy(uint32_t bpp, const uint8_t *src, uint8_t *dst, int32_t n)
{
    bpp == 1 ? copyMirrored<uint8_t>(src, dst, n) : copyMirrored<uint16_t>(src, dst, n);
}

void mirrorRow(uint32_t bpp, uint8_t *row, int32_t n)
{
    bpp == 1 ? mirrorInPlace<uint8_t>(row, n) : mirrorInPlace<uint16_t>(row, n);
}

void columnCopy(uint32_t bpp, const uint8_t *src, uint8_t *dst, int32_t n, ptrdiff_t step)
{
    bpp == 1 ? rowToColumn<uint8_t>(src, dst, n, step) : rowToColumn<uint16_t>(src, dst, n, step);
}

int checkSize(const PixelBuf *source, uint32_t *bpp)
{
    if (!source || !source->pixels)
        return Res_nullInput;
    *bpp = Pixel_bytesPerPixel(source->format);
    return *bpp == 1 || *bpp == 2 ? int(Res_ok) : int(Orient_badPixelSize);
}

int makeResult(const PixelBuf *source, int32_t width, int32_t height, PixelBuf **made)
{
    return PixelBuf_create(made, width, height, source->format, source->scale);
}

uint8_t *rowOf(const PixelBuf *b, int32_t y)
{
    return b->pixels + ptrdiff_t(y) * b->stride;
}

// The four turning transforms: source row y goes to result column
// column(y), written down (from row 0) or up (from the last row), rows
// taken in the order given.
int turn(PixelBuf *source, PixelBuf **out, bool columnFromEnd, bool upwards)
{
    if (out)
        *out = nullptr;
    uint32_t bpp = 0;
    int r = checkSize(source, &bpp);
    if (r != Res_ok)
        return r;
    if (!out)
        return Res_nullInput;
    PixelBuf *made = nullptr;
    r = makeResult(source, source->height, source->width, &made);
    if (r != Res_ok)
        return r;
    int32_t h = source->height, w = source->width;
    ptrdiff_t step = upwards ? -ptrdiff_t(made->stride) : ptrdiff_t(made->stride);
    // In blocks of rows and columns, so that the columns written stay in
    // the cache: each source row's segment goes to its column's segment.
    // Few result rows per block: their rows, a power-of-two stride apart,
    // share few cache sets.
    const int32_t across = 8, down = 64;
    for (int32_t yb = h; yb > 0; yb -= down)
        for (int32_t x0 = 0; x0 < w; x0 += across) {
            int32_t n = std::min(across, w - x0);
            for (int32_t y = yb - 1; y >= std::max(0, yb - down); y--) {
                int32_t column = columnFromEnd ? h - 1 - y : y;
                uint8_t *start = rowOf(made, upwards ? w - 1 - x0 : x0) + ptrdiff_t(column) * bpp;
                columnCopy(bpp, rowOf(source, y) + ptrdiff_t(x0) * bpp, start, n, step);
            }
        }
    *out = made;
    return Res_ok;
}

} // namespace

int PixelBuf_flipVertical(PixelBuf *source, PixelBuf **out)
{
    if (out)
        *out = nullptr;
    if (!source || !source->pixels)
        return Res_nullInput;
    int32_t h = source->height;
    size_t rowBytes = size_t(source->width) * Pixel_bytesPerPixel(source->format);
    if (out) {
        PixelBuf *made = nullptr;
        int r = makeResult(source, source->width, h, &made);
        if (r != Res_ok)
            return r;
        for (int32_t y = 0; y < h; y++)
            std::memcpy(rowOf(made, h - 1 - y), rowOf(source, y), rowBytes);
        *out = made;
        return Res_ok;
    }
    uint8_t *temp = static_cast<uint8_t *>(Mem_malloc(rowBytes ? rowBytes : 1));
    if (!temp)
        return Res_noMemory;
    for (int32_t y = 0; y < h / 2; y++) {
        std::memcpy(temp, rowOf(source, y), rowBytes);
        std::memcpy(rowOf(source, y), rowOf(source, h - 1 - y), rowBytes);
        std::memcpy(rowOf(source, h - 1 - y), temp, rowBytes);
    }
    Mem_free(temp);
    return Res_ok;
}

int PixelBuf_flipHorizontal(PixelBuf *source, PixelBuf **out)
{
    if (out)
        *out = nullptr;
    uint32_t bpp = 0;
    int r = checkSize(source, &bpp);
    if (r != Res_ok)
        return r;
    if (out) {
        PixelBuf *made = nullptr;
        r = makeResult(source, source->width, source->height, &made);
        if (r != Res_ok)
            return r;
        for (int32_t y = 0; y < source->height; y++)
            mirrorRowCopy(bpp, rowOf(source, y), rowOf(made, y), source->width);
        *out = made;
        return Res_ok;
    }
    for (int32_t y = 0; y < source->height; y++)
        mirrorRow(bpp, rowOf(source, y), source->width);
    return Res_ok;
}

int PixelBuf_rotate180(PixelBuf *source, PixelBuf **out)
{
    if (out)
        *out = nullptr;
    uint32_t bpp = 0;
    int r = checkSize(source, &bpp);
    if (r != Res_ok)
        return r;
    int32_t w = source->width, h = source->height;
    if (out) {
        PixelBuf *made = nullptr;
        r = makeResult(source, w, h, &made);
        if (r != Res_ok)
            return r;
        for (int32_t y = 0; y < h; y++)
            mirrorRowCopy(bpp, rowOf(source, y), rowOf(made, h - 1 - y), w);
        *out = made;
        return Res_ok;
    }
    for (int32_t y = 0; y < h / 2; y++) {
        uint8_t *a = rowOf(source, y), *b = rowOf(source, h - 1 - y);
        for (int32_t i = 0; i < w; i++) {
            uint8_t *p = a + ptrdiff_t(i) * bpp, *q = b + ptrdiff_t(w - 1 - i) * bpp;
            uint8_t t[2];
            std::memcpy(t, p, bpp);
            std::memcpy(p, q, bpp);
            std::memcpy(q, t, bpp);
        }
    }
    if (h & 1)
        mirrorRow(bpp, rowOf(source, h / 2), w);
    return Res_ok;
}

int PixelBuf_rotateClockwise(PixelBuf *source, PixelBuf **out)
{
    // Row y becomes column h - 1 - y, from the top down.
    return turn(source, out, true, false);
}

int PixelBuf_rotateAnticlockwise(PixelBuf *source, PixelBuf **out)
{
    // Row y becomes column y, from the bottom up.
    return turn(source, out, false, true);
}

int PixelBuf_transpose(PixelBuf *source, PixelBuf **out)
{
    return turn(source, out, false, false);
}

int PixelBuf_antiTranspose(PixelBuf *source, PixelBuf **out)
{
    return turn(source, out, true, true);
}

OrientFn Orient_routine(uint32_t code, int *known)
{
    int k = 1;
    OrientFn fn = nullptr;
    switch (code) {
    case Orient_identity: break;
    case Orient_flipHorizontal: fn = PixelBuf_flipHorizontal; break;
    case Orient_flipVertical: fn = PixelBuf_flipVertical; break;
    case Orient_rotate180: fn = PixelBuf_rotate180; break;
    case Orient_rotateClockwise: fn = PixelBuf_rotateClockwise; break;
    case Orient_rotateAnticlockwise: fn = PixelBuf_rotateAnticlockwise; break;
    case Orient_transpose: fn = PixelBuf_transpose; break;
    case Orient_antiTranspose: fn = PixelBuf_antiTranspose; break;
    default: k = 0; break;
    }
    if (known)
        *known = k;
    return fn;
}

int Orient_keepsSize(uint32_t code)
{
    return code == Orient_identity || code == Orient_flipHorizontal ||
           code == Orient_flipVertical || code == Orient_rotate180;
}
