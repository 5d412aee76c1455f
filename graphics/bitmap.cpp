// Bitmaps: creation with their draw item and clip path, re-pointing,
// scratch buffers and solid fills.
#include "graphics/bitmap.h"

#include <algorithm>
#include <cstring>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "graphics/rowops.h"

int Bitmap_create(EngineContext *ctx, Bitmap **out, int32_t width, int32_t height, uint32_t format,
                  int32_t scale, void *pixels, uint32_t flags)
{
    *out = nullptr;
    uint32_t stride;
    uint64_t bytes;
    int r = Pixel_bufferSize(width, height, format, &stride, &bytes);
    if (r != Res_ok)
        return r;
    Bitmap *b = static_cast<Bitmap *>(Mem_calloc(1, sizeof(Bitmap)));
    if (!b)
        return Res_noMemory;
    r = DrawItem_create(&b->drawItem);
    if (r == Res_ok)
        r = Path_create(&b->clipPath, scale);
    if (r != Res_ok) {
        Bitmap_destroy(b);
        return r;
    }
    b->width = width;
    b->height = height;
    b->stride = stride;
    b->format = format;
    b->pixels = pixels;
    b->scale = scale;
    b->flags = flags;
    b->owner = ctx;
    *out = b;
    return Res_ok;
}

int Bitmap_createNoFlags(EngineContext *ctx, Bitmap **out, int32_t width, int32_t height,
                         uint32_t format, int32_t scale, void *pixels)
{
    return Bitmap_create(ctx, out, width, height, format, scale, pixels, 0);
}

int Bitmap_createSolid1x1(EngineContext *ctx, Bitmap **out)
{
    return Bitmap_create(ctx, out, 1, 1, Pixel_formatRGBA, 1, nullptr, 0);
}

int Bitmap_createLike(EngineContext *ctx, Bitmap **out, const PixelBuf *buf)
{
    int r =
        Bitmap_create(ctx, out, buf->width, buf->height, buf->format, buf->scale, buf->pixels, 0);
    if (r == Res_ok)
        (*out)->stride = buf->stride;
    return r;
}

int Bitmap_attachPixels(EngineContext *, Bitmap *bitmap, int32_t width, int32_t height,
                        uint32_t format, int32_t scale, void *pixels, uint32_t flags)
{
    uint32_t stride;
    uint64_t bytes;
    int r = Pixel_bufferSize(width, height, format, &stride, &bytes);
    if (r != Res_ok)
        return r;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->stride = stride;
    bitmap->format = format;
    bitmap->pixels = pixels;
    bitmap->scale = scale;
    bitmap->flags = flags;
    bitmap->clipPath->scale = scale;
    return Res_ok;
}

int Bitmap_attachInfo(EngineContext *ctx, Bitmap *bitmap, const PixelBuf *buf)
{
    int r = Bitmap_attachPixels(ctx, bitmap, buf->width, buf->height, buf->format, buf->scale,
                                buf->pixels, 0);
    if (r == Res_ok)
        bitmap->stride = buf->stride;
    return r;
}

void Bitmap_destroy(Bitmap *bitmap)
{
    if (!bitmap)
        return;
    Mem_free(bitmap->scratch[0]);
    Mem_free(bitmap->scratch[1]);
    Path_destroy(bitmap->clipPath);
    DrawItem_destroy(bitmap->drawItem);
    Mem_free(bitmap);
}

// --------------------------------------------------------------- scratch

int Bitmap_scratchBuffer(Bitmap *bitmap, int i, uint32_t n, void **outPtr, uint32_t *outSize)
{
    *outPtr = nullptr;
    *outSize = 0;
    if (i != 0 && i != 1)
        return Res_nullInput;
    if (bitmap->scratchSize[i] >= n) {
        *outPtr = bitmap->scratch[i];
        *outSize = bitmap->scratchSize[i];
        return Res_ok;
    }
    uint64_t size =
        bitmap->scratchSize[i] ? bitmap->scratchSize[i] : uint64_t(Bitmap_scratchFirstSize);
    while (size < n)
        size *= 2;
    if (size > UINT32_MAX)
        return Res_noMemory;
    void *grown = Mem_realloc(bitmap->scratch[i], size_t(size));
    if (!grown)
        return Res_noMemory;
    bitmap->scratch[i] = grown;
    bitmap->scratchSize[i] = uint32_t(size);
    *outPtr = grown;
    *outSize = uint32_t(size);
    return Res_ok;
}

int Bitmap_scratchFree(Bitmap *bitmap, int i)
{
    if (i != 0 && i != 1)
        return Res_ok;
    Mem_free(bitmap->scratch[i]);
    bitmap->scratch[i] = nullptr;
    bitmap->scratchSize[i] = 0;
    return Res_ok;
}

int Bitmap_scratchFree0(Bitmap *bitmap)
{
    return Bitmap_scratchFree(bitmap, 0);
}

// ----------------------------------------------------------------- fills

uint8_t *Bitmap_firstRow(const Bitmap *bitmap)
{
    if (bitmap->flags & Bitmap_flagIndirect) {
        if (!bitmap->pixels)
            return nullptr;
        void *row;
        memcpy(&row, bitmap->pixels, sizeof row);
        return static_cast<uint8_t *>(row);
    }
    return static_cast<uint8_t *>(bitmap->pixels);
}

int Bitmap_fillGeneral(Bitmap *bitmap, uint32_t colourFormat, uint32_t colour, uint32_t alpha,
                       const Rect *rect)
{
    RowOpSetupFn setup = RowOp_find(bitmap->format, colourFormat, 0, 0, 0);
    if (!setup)
        return Res_pixelNoRowOp;
    // The row operations check nothing, so the rectangle is kept inside
    // the bitmap here.
    Rect area = {0, 0, bitmap->width, bitmap->height};
    if (rect)
        Rect_intersect(&area, rect);
    uint8_t *base = Bitmap_firstRow(bitmap);
    if (area.x0 >= area.x1 || area.y0 >= area.y1 || !base)
        return Res_ok;
    uint8_t *first = base + int64_t(bitmap->height - area.y1) * bitmap->stride +
                     int64_t(area.x0) * Pixel_bytesPerPixel(bitmap->format);
    uint8_t value = uint8_t(colour);
    const void *source =
        colourFormat == Pixel_formatGrey8 ? static_cast<const void *>(&value) : &colour;
    uint8_t a = uint8_t(std::min<uint32_t>(alpha, 255));
    RowOp_runRows(first, setup, source, uint32_t(area.x1 - area.x0), &a,
                  uint32_t(area.y1 - area.y0), ptrdiff_t(bitmap->stride));
    return Res_ok;
}

int Bitmap_fillAlpha(Bitmap *bitmap, uint32_t colourFormat, uint32_t colour, uint32_t alpha)
{
    if (bitmap->format == Pixel_formatGrey8 && colourFormat == Pixel_formatGrey8) {
        uint8_t *base = Bitmap_firstRow(bitmap);
        if (base)
            memset(base, int(colour & 0xFF), size_t(bitmap->height) * bitmap->stride);
        return Res_ok;
    }
    return Bitmap_fillGeneral(bitmap, colourFormat, colour, alpha, nullptr);
}

int Bitmap_fill(Bitmap *bitmap, uint32_t colourFormat, uint32_t colour)
{
    return Bitmap_fillAlpha(bitmap, colourFormat, colour, 255);
}

int Bitmap_fillColourAlpha(Bitmap *bitmap, uint32_t colour, uint32_t alpha, const Rect *rect)
{
    return Bitmap_fillGeneral(bitmap, Pixel_formatRGBA, colour, alpha, rect);
}

int Bitmap_fillColour(Bitmap *bitmap, uint32_t colour)
{
    return Bitmap_fillGeneral(bitmap, Pixel_formatRGBA, colour, 255, nullptr);
}

void Bitmap_fill16Rows(const Rect *rect, uint32_t value, uint16_t *first, uint32_t rowSkip)
{
    int64_t width = int64_t(rect->x1) - rect->x0, rows = int64_t(rect->y1) - rect->y0;
    if (width <= 0 || rows <= 0)
        return;
    uint16_t v = uint16_t(value);
    for (int64_t r = 0; r < rows; r++) {
        if (r)
            first += width + rowSkip;
        std::fill(first, first + width, v);
    }
}
