// Pixel formats and pixel buffers: construction, views, copies, tiling,
// crop and extend, and format conversion.
#include "graphics/pixelbuf.h"

#include <algorithm>
#include <cstring>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"

namespace {

constexpr uint8_t bytesPerPixel[Pixel_formatCount] = {1, 2, 2, 2, 2, 4, 4, 2};

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

inline uint32_t load32(const uint8_t *p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

// The address of row r (from the top), column c of a buffer.
inline uint8_t *at(const PixelBuf *b, int64_t row, int64_t col)
{
    return b->pixels + row * int64_t(b->stride) + col * int64_t(bytesPerPixel[b->format]);
}

// A record; the pixels are filled in by the caller.
PixelBuf *newRecord(int32_t width, int32_t height, uint32_t format, int32_t scale, void *pixels,
                    uint32_t stride, uint32_t owns)
{
    PixelBuf *b = static_cast<PixelBuf *>(Mem_malloc(sizeof(PixelBuf)));
    if (b)
        *b = PixelBuf{width, height, stride, static_cast<uint8_t *>(pixels), owns, format, scale};
    return b;
}

// Copies the rows of src into dst, which has its size and its bytes per
// pixel; each side with its own stride. Only the pixels of each row are
// read: a view's last row may end where its parent's buffer ends.
void copyRows(const PixelBuf *src, PixelBuf *dst)
{
    size_t rowBytes = size_t(src->width) * bytesPerPixel[src->format];
    if (rowBytes == 0)
        return;
    for (int32_t r = 0; r < src->height; r++)
        memcpy(at(dst, r, 0), at(src, r, 0), rowBytes);
}

// ------------------------------------------------------------ conversion

inline uint32_t greyOf565(uint32_t p)
{
    return (((19595u * (p & 0xF800u)) >> 11) + ((38470u * (p & 0x07E0u)) >> 6) +
            7471u * (p & 0x001Fu)) >>
           13;
}

inline uint32_t to444(uint32_t p)
{
    return ((p >> 4) & 0xF00u) | ((p >> 3) & 0xF0u) | ((p >> 1) & 0xFu);
}

inline uint32_t colourTo565(uint32_t c)
{
    return ((c & 0xF8u) << 8) | ((c >> 5) & 0x07E0u) | ((c >> 19) & 0x1Fu);
}

// 1-5-5-5 to 5-6-5: red and green up a bit; a full green fills the sixth bit.
inline uint32_t from1555(uint32_t p)
{
    uint32_t v = (p & 0x1Fu) | ((p & 0x7FE0u) << 1);
    if ((p & 0x03E0u) == 0x03E0u)
        v |= 0x20u;
    return v;
}

// Converts every pixel of src into dst (same size); with mask, writes the
// mask bytes of a 1-5-5-5 source and answers whether a pixel had bit 15.
bool convertPixels(const PixelBuf *src, PixelBuf *dst, PixelBuf *mask)
{
    bool transparent = false;
    for (int32_t r = 0; r < src->height; r++) {
        const uint8_t *s = at(src, r, 0);
        uint8_t *d = at(dst, r, 0);
        uint8_t *m = mask ? at(mask, r, 0) : nullptr;
        for (int32_t c = 0; c < src->width; c++) {
            switch (src->format) {
            case Pixel_formatRGBA: store16(d + 2 * c, colourTo565(load32(s + 4 * c))); break;
            case Pixel_format1555: {
                uint32_t p = load16(s + 2 * c);
                store16(d + 2 * c, from1555(p));
                if (m) {
                    m[c] = (p & 0x8000u) ? 0 : 255;
                    transparent |= (p & 0x8000u) != 0;
                }
                break;
            }
            default: {
                uint32_t p = load16(s + 2 * c);
                if (dst->format == Pixel_formatGrey8)
                    d[c] = uint8_t(greyOf565(p));
                else
                    store16(d + 2 * c, to444(p));
                break;
            }
            }
        }
    }
    return transparent;
}

inline bool is565(uint32_t format)
{
    return format == Pixel_format565 || format == Pixel_format565Alt;
}

} // namespace

// ------------------------------------------------------------- formats

uint32_t Pixel_bytesPerPixel(uint32_t format)
{
    return format < Pixel_formatCount ? bytesPerPixel[format] : 0;
}

uint32_t Pixel_normaliseFormat(uint32_t format)
{
    return format >= 1 && format <= 3 ? uint32_t(Pixel_format565) : format;
}

int Pixel_bufferSize(int32_t width, int32_t height, uint32_t format, uint32_t *stride,
                     uint64_t *bytes)
{
    *stride = 0;
    *bytes = 0;
    if (format >= Pixel_formatCount)
        return Res_pixelUnsupported;
    if (width < 0 || height < 0)
        return Res_nullInput;
    uint64_t rowBytes = (uint64_t(width) * bytesPerPixel[format] + 3) & ~uint64_t(3);
    if (rowBytes > UINT32_MAX)
        return Res_noMemory;
    *stride = uint32_t(rowBytes);
    *bytes = rowBytes * uint64_t(height);
    return Res_ok;
}

// ------------------------------------------------------------ buffers

int PixelBuf_create(PixelBuf **out, int32_t width, int32_t height, uint32_t format, int32_t scale)
{
    *out = nullptr;
    uint32_t stride;
    uint64_t bytes;
    int r = Pixel_bufferSize(width, height, format, &stride, &bytes);
    if (r != Res_ok)
        return r;
    if (bytes > SIZE_MAX / 2)
        return Res_noMemory;
    void *pixels = Mem_malloc(bytes ? size_t(bytes) : 1);
    PixelBuf *b = pixels ? newRecord(width, height, format, scale, pixels, stride, 1) : nullptr;
    if (!b) {
        Mem_free(pixels);
        return Res_noMemory;
    }
    *out = b;
    return Res_ok;
}

int PixelBuf_wrap(PixelBuf **out, int32_t width, int32_t height, uint32_t format, int32_t scale,
                  void *pixels, uint32_t stride)
{
    *out = nullptr;
    if (format >= Pixel_formatCount)
        return Res_pixelUnsupported;
    *out = newRecord(width, height, format, scale, pixels, stride, 0);
    return *out ? Res_ok : Res_noMemory;
}

int PixelBuf_createView(PixelBuf **out, int32_t width, int32_t height, uint32_t format,
                        int32_t scale, void *pixels, int32_t maxBytes)
{
    *out = nullptr;
    uint32_t stride;
    uint64_t bytes;
    int r = Pixel_bufferSize(width, height, format, &stride, &bytes);
    if (r != Res_ok)
        return r;
    if (int64_t(bytes) > int64_t(maxBytes))
        return Res_pixelOverBudget;
    return PixelBuf_wrap(out, width, height, format, scale, pixels, stride);
}

int PixelBuf_createPlaceholder(PixelBuf **out)
{
    return PixelBuf_createView(out, 1, 1, Pixel_formatRGBA, 1, nullptr, 1024);
}

void PixelBuf_destroy(PixelBuf *buf)
{
    if (!buf)
        return;
    if (buf->ownsPixels)
        Mem_free(buf->pixels);
    Mem_free(buf);
}

int PixelBuf_attach(PixelBuf *buf, int32_t width, int32_t height, uint32_t format, int32_t scale,
                    void *pixels, uint32_t stride)
{
    if (format >= Pixel_formatCount)
        return Res_pixelUnsupported;
    if (buf->ownsPixels)
        Mem_free(buf->pixels);
    *buf = PixelBuf{width, height, stride, static_cast<uint8_t *>(pixels), 0, format, scale};
    return Res_ok;
}

int PixelBuf_attachPacked(PixelBuf *buf, int32_t width, int32_t height, uint32_t format,
                          int32_t scale, void *pixels)
{
    uint32_t stride;
    uint64_t bytes;
    int r = Pixel_bufferSize(width, height, format, &stride, &bytes);
    if (r != Res_ok)
        return r;
    return PixelBuf_attach(buf, width, height, format, scale, pixels, stride);
}

void PixelBuf_subView(PixelBuf *view, const PixelBuf *src, const Rect *rect)
{
    *view = PixelBuf{int32_t(uint32_t(rect->x1) - uint32_t(rect->x0)),
                     int32_t(uint32_t(rect->y1) - uint32_t(rect->y0)),
                     src->stride,
                     at(src, rect->y0, rect->x0),
                     0,
                     src->format,
                     src->scale};
}

int PixelBuf_clone(const PixelBuf *src, PixelBuf **out)
{
    if (out)
        *out = nullptr;
    if (!src || !out)
        return Res_ok;
    int r = PixelBuf_create(out, src->width, src->height, src->format, src->scale);
    if (r == Res_ok)
        copyRows(src, *out);
    return r;
}

int PixelBuf_copyRect(const PixelBuf *src, PixelBuf *dst, const Rect *rect)
{
    if (src->width != dst->width || src->height != dst->height || src->format != dst->format ||
        src->format >= Pixel_formatCount)
        return Res_nullInput;
    if (!rect) {
        copyRows(src, dst);
        return Res_ok;
    }
    Rect r = *rect;
    Rect whole = {0, 0, src->width, src->height};
    Rect_intersect(&r, &whole);
    if (r.x0 >= r.x1 || r.y0 >= r.y1)
        return Res_ok;
    size_t rowBytes = size_t(r.x1 - r.x0) * bytesPerPixel[src->format];
    for (int32_t row = src->height - r.y1; row < src->height - r.y0; row++)
        memcpy(at(dst, row, r.x0), at(src, row, r.x0), rowBytes);
    return Res_ok;
}

void PixelBuf_paste(const PixelBuf *src, PixelBuf *dst, int32_t x, int32_t y)
{
    if (src->format != dst->format || src->format >= Pixel_formatCount)
        return;
    int64_t c0 = std::max<int64_t>(x, 0),
            c1 = std::min<int64_t>(int64_t(x) + src->width, dst->width);
    int64_t r0 = std::max<int64_t>(y, 0),
            r1 = std::min<int64_t>(int64_t(y) + src->height, dst->height);
    if (c0 >= c1 || r0 >= r1)
        return;
    size_t rowBytes = size_t(c1 - c0) * bytesPerPixel[src->format];
    for (int64_t r = r0; r < r1; r++)
        memcpy(at(dst, r, c0), at(src, r - y, c0 - x), rowBytes);
}

// ---------------------------------------------------------------- tiling

int PixelBuf_tile(const PixelBuf *picture, const PixelBuf *mask, PixelBuf **outPicture,
                  PixelBuf **outMask, int32_t *countX, int32_t *countY, int32_t *sizeX,
                  int32_t *sizeY, int32_t maxBytes)
{
    if (outPicture)
        *outPicture = nullptr;
    if (outMask)
        *outMask = nullptr;
    if (!picture || !outPicture || !sizeX || !sizeY || !countX || !countY || *countX < 1 ||
        *countY < 1)
        return Res_nullInput;
    if (!outMask)
        mask = nullptr;
    uint32_t maskStride = 0;
    uint64_t maskBytes = 0;
    if (mask) {
        int r = Pixel_bufferSize(picture->width, picture->height, mask->format, &maskStride,
                                 &maskBytes);
        if (r != Res_ok)
            return r;
    }
    int64_t tileBytes = int64_t(picture->height) * int64_t(picture->stride) + int64_t(maskBytes);
    if (tileBytes < 1)
        return Res_pixelOverBudget;
    int64_t n = int64_t(maxBytes) / tileBytes;
    if (n < 2)
        return Res_pixelTooFewTiles;
    int64_t nx = std::min<int64_t>(*countX, n), ny = 1;
    if (*countY >= 2 && nx < n) {
        int64_t m = n / nx;
        if (m > 1)
            ny = std::min<int64_t>(*countY, m);
    }
    int64_t width = int64_t(picture->width) * nx, height = int64_t(picture->height) * ny;
    if (width > INT32_MAX || height > INT32_MAX)
        return Res_noMemory;
    PixelBuf *tiles = nullptr, *maskTiles = nullptr;
    int r =
        PixelBuf_create(&tiles, int32_t(width), int32_t(height), picture->format, picture->scale);
    if (r == Res_ok && mask)
        r = PixelBuf_create(&maskTiles, int32_t(width), int32_t(height), mask->format, mask->scale);
    if (r != Res_ok) {
        PixelBuf_destroy(tiles);
        return r;
    }
    for (int64_t j = 0; j < ny; j++) {
        for (int64_t i = 0; i < nx; i++) {
            int32_t x = int32_t(i * picture->width), y = int32_t(j * picture->height);
            PixelBuf_paste(picture, tiles, x, y);
            if (mask)
                PixelBuf_paste(mask, maskTiles, x, y);
        }
    }
    *countX = int32_t((int64_t(*countX) + nx - 1) / nx);
    *countY = int32_t((int64_t(*countY) + ny - 1) / ny);
    *sizeX = int32_t(uint32_t(*sizeX) * uint32_t(nx));
    *sizeY = int32_t(uint32_t(*sizeY) * uint32_t(ny));
    *outPicture = tiles;
    if (outMask)
        *outMask = maskTiles;
    return Res_ok;
}

// ---------------------------------------------------------------- extend

int PixelBuf_extend(EngineContext *ctx, PixelBuf **buf, const Rect *rect, uint32_t colour)
{
    PixelBuf *old = *buf;
    int64_t width = int64_t(rect->x1) - rect->x0, height = int64_t(rect->y1) - rect->y0;
    if (width > INT32_MAX || height > INT32_MAX)
        return Res_noMemory;
    PixelBuf *fresh = nullptr;
    int r = PixelBuf_create(&fresh, int32_t(width), int32_t(height), old->format, old->scale);
    if (r != Res_ok)
        return r;
    memset(fresh->pixels, 0, size_t(fresh->height) * fresh->stride);
    Bitmap *painter = nullptr;
    r = Bitmap_createLike(ctx, &painter, fresh);
    if (r != Res_ok) {
        PixelBuf_destroy(fresh);
        return r;
    }
    // Only some formats have a solid fill; the others keep the cleared area.
    (void)Bitmap_fillColour(painter, colour);
    Bitmap_destroy(painter);

    // The old pixels inside the rectangle, row by row: y-up row y is old
    // memory row height - 1 - y and new memory row y1 - 1 - y.
    int64_t x0 = std::max<int64_t>(rect->x0, 0), x1 = std::min<int64_t>(rect->x1, old->width);
    int64_t y0 = std::max<int64_t>(rect->y0, 0), y1 = std::min<int64_t>(rect->y1, old->height);
    if (x0 < x1 && old->format < Pixel_formatCount) {
        size_t rowBytes = size_t(x1 - x0) * bytesPerPixel[old->format];
        for (int64_t y = y0; y < y1; y++)
            memcpy(at(fresh, rect->y1 - 1 - y, x0 - rect->x0), at(old, old->height - 1 - y, x0),
                   rowBytes);
    }
    PixelBuf_destroy(old);
    *buf = fresh;
    return Res_ok;
}

// ------------------------------------------------------------ conversion

int PixelBuf_convert(const PixelBuf *src, uint32_t format, PixelBuf **out, PixelBuf **outMask)
{
    if (out)
        *out = nullptr;
    if (outMask)
        *outMask = nullptr;
    if (!src || !out)
        return Res_nullInput;
    bool sameLayout = src->format == format || (is565(src->format) && is565(format));
    bool supported = sameLayout || (is565(src->format) && format <= Pixel_format444) ||
                     ((src->format == Pixel_formatRGBA || src->format == Pixel_format1555) &&
                      format == Pixel_format565);
    if (!supported || src->format >= Pixel_formatCount)
        return Res_pixelUnsupported;
    if (sameLayout) {
        int r = PixelBuf_clone(src, out);
        if (r == Res_ok)
            (*out)->format = format;
        return r;
    }
    PixelBuf *dst = nullptr, *mask = nullptr;
    int r = PixelBuf_create(&dst, src->width, src->height, format, src->scale);
    if (r == Res_ok && outMask && src->format == Pixel_format1555)
        r = PixelBuf_create(&mask, src->width, src->height, Pixel_formatGrey8, src->scale);
    if (r != Res_ok) {
        PixelBuf_destroy(dst);
        return r;
    }
    if (!convertPixels(src, dst, mask)) {
        PixelBuf_destroy(mask);
        mask = nullptr;
    }
    *out = dst;
    if (outMask)
        *outMask = mask;
    return Res_ok;
}

// ------------------------------------------------------- rectangle fills

void PixelBuf_fillRect(PixelBuf *buf, int32_t x, int32_t y, int32_t width, int32_t height,
                       uint32_t value)
{
    if (!buf || !buf->pixels)
        return;
    uint32_t format = buf->format;
    if (format != Pixel_formatGrey8 && format != Pixel_formatRGBA && (format < 1 || format > 4))
        return;
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(int64_t(x) + width, buf->width);
    int64_t y1 = std::min<int64_t>(int64_t(y) + height, buf->height);
    if (x0 >= x1 || y0 >= y1)
        return;
    for (int64_t row = y0; row < y1; row++) {
        uint8_t *line = buf->pixels + size_t(row) * buf->stride;
        if (format == Pixel_formatGrey8) {
            memset(line + x0, int(value & 0xFF), size_t(x1 - x0));
        } else if (format == Pixel_formatRGBA) {
            uint32_t *p = reinterpret_cast<uint32_t *>(line) + x0;
            for (int64_t i = x0; i < x1; i++)
                *p++ = value;
        } else if ((value & 0xFF) == ((value >> 8) & 0xFF)) {
            // White and black (the backgrounds of decoded pictures) are one
            // byte repeated.
            memset(line + x0 * 2, int(value & 0xFF), size_t(x1 - x0) * 2);
        } else {
            uint16_t *p = reinterpret_cast<uint16_t *>(line) + x0;
            for (int64_t i = x0; i < x1; i++)
                *p++ = uint16_t(value);
        }
    }
}

void PixelBuf_fillRectWhite(PixelBuf *buf, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!buf)
        return;
    static constexpr uint32_t white[Pixel_formatCount] = {255,    0x0FFF, 0xFFFF,     0x7FFF,
                                                          0xFFFF, 0,      0x00FFFFFF, 0};
    if (buf->format >= Pixel_formatCount || buf->format == Pixel_format32 ||
        buf->format == Pixel_format1555)
        return;
    PixelBuf_fillRect(buf, x, y, width, height, white[buf->format]);
}
