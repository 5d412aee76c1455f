// Display-item list drawing and its helpers (see itemlist.h).
#include "viewer/itemlist.h"

#include <algorithm>
#include <cstring>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "viewer/dispman.h"
#include "viewer/pagerender.h"

namespace {

bool isEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

int32_t clamp32(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

} // namespace

void View_untransformRect(Rect *rect, const Matrix *matrix)
{
    Point a, b;
    Matrix_untransformPoint(&a, rect->x0, rect->y0, matrix);
    Matrix_untransformPoint(&b, rect->x1, rect->y1, matrix);
    *rect = Rect{a.x, a.y, b.x, b.y};
}

void View_rectToPageUnits(DispmanArea *out, const Rect *rect, const ViewPageContext *page)
{
    std::memset(out, 0, sizeof(*out));
    Rect r = *rect;
    Rect_intersect(&r, &page->visible);
    if (isEmpty(r) || page->scale == 0)
        return;
    auto unit = [page](int32_t v, int32_t shift) {
        return clamp32(((int64_t(v) - shift) * 65536) / page->scale);
    };
    out->document = page->document;
    out->rect = Rect{unit(r.x0, 0), unit(r.y0, page->top), unit(r.x1, 0), unit(r.y1, page->top)};
}

int View_rectPath(Path **out, const Rect *rect, int32_t userWord, int32_t grow)
{
    *out = nullptr;
    Path *path = nullptr;
    int err = Path_create(&path, userWord);
    if (err)
        return err;
    Rect r{clamp32(int64_t(rect->x0) - grow), clamp32(int64_t(rect->y0) - grow),
           clamp32(int64_t(rect->x1) + grow), clamp32(int64_t(rect->y1) + grow)};
    err = Path_addRect(path, &r);
    if (err) {
        Path_destroy(path);
        return err;
    }
    *out = path;
    return Res_ok;
}

int View_bandHeight(EngineContext *ctx, const ViewBandParams *params, Bitmap *band,
                    int32_t *bandHeight, int32_t *bands)
{
    *bandHeight = 0;
    *bands = 0;
    uint64_t rowBytes =
        (uint64_t(params->width > 0 ? params->width : 0) * Pixel_bytesPerPixel(params->format) +
         3) &
        ~uint64_t(3);
    uint64_t rows = rowBytes ? params->size / rowBytes : 0;
    if (rows == 0)
        return Res_bandNoRow;
    int64_t h = params->height > 0 ? params->height : 0;
    int64_t n = (h + int64_t(rows) - 1) / int64_t(rows);
    int64_t bh = n ? (h + n - 1) / n : 0;
    if (band) {
        int err = Bitmap_attachPixels(ctx, band, params->width, int32_t(bh), params->format,
                                      band->scale, params->buffer, 0);
        if (err)
            return err;
    }
    *bandHeight = int32_t(bh);
    *bands = int32_t(n);
    return Res_ok;
}

int View_thumbnailSize(int32_t width, int32_t height, int32_t widthLimit, int32_t heightLimit,
                       int32_t ratioLimit, int32_t *outWidth, int32_t *outHeight, int32_t *divisor)
{
    *outWidth = *outHeight = 0;
    *divisor = 1;
    if (width <= 0 || height <= 0 || widthLimit < 1 || heightLimit < 1)
        return Res_nullInput;
    bool portrait = height > width;
    int64_t L = portrait ? height : width, S = portrait ? width : height;
    int64_t longLimit = portrait ? heightLimit : widthLimit;
    int64_t shortLimit = portrait ? widthLimit : heightLimit;
    int64_t r = (L * 65536) / S;
    int64_t d, longSide, shortSide;
    // A page smaller than the limits would give d = 0: it is drawn at its
    // own size.
    if (r <= ratioLimit) {
        d = L / longLimit > 0 ? L / longLimit : 1;
        longSide = L / d;
        shortSide = std::min((longSide * 65536) / r, shortLimit);
    } else {
        d = S / shortLimit > 0 ? S / shortLimit : 1;
        shortSide = S / d;
        longSide = std::min((r * shortSide) / 65536, longLimit);
    }
    if (longSide < 1)
        longSide = 1;
    if (shortSide < 1)
        shortSide = 1;
    *outWidth = int32_t(portrait ? shortSide : longSide);
    *outHeight = int32_t(portrait ? longSide : shortSide);
    *divisor = int32_t(d);
    return Res_ok;
}

namespace {

// The scale word of the thumbnail bitmap: the matrix's units are pixels
// times 65536 / 8, as in the thumbnail pass's pictures.
constexpr int32_t itemThumbScale = 8;

void itemNoteDrawn(void *, const Rect *) {}

} // namespace

int View_renderThumbnail(EngineContext *ctx, Edr_Doc *document, int32_t pageKey, uint32_t pageKind,
                         PixelBuf **output, int32_t widthLimit, int32_t heightLimit,
                         int32_t ratioLimit)
{
    *output = nullptr;
    Edr_PageEntry *entry = nullptr;
    int err = Edr_Page_find(&entry, document, pageKey, pageKind, 0);
    if (err)
        return err;
    Edr_PageRec *page = Edr_Page_deref(entry);
    const int32_t *b = page ? Edr_Page_rectOrDefault(page) : nullptr;
    // The page rectangle is in 16.16 inches: its sides are sized as they
    // are, 1/65536 inch to the unit, so that the divisor d makes the page's
    // fitted side as long as the limit whatever the page's size (sides in
    // whole inches would make an A4 page an 8 x 11 picture).
    int64_t w = b ? int64_t(b[2]) - b[0] : 0, h = b ? int64_t(b[3]) - b[1] : 0;
    int32_t tw = 0, th = 0, d = 1;
    err = View_thumbnailSize(clamp32(w), clamp32(h), widthLimit, heightLimit, ratioLimit, &tw, &th,
                             &d);
    PixelBuf *thumb = nullptr;
    Bitmap *bitmap = nullptr;
    void *band = nullptr;
    RenderBuffers *buffers = nullptr;
    if (!err)
        err = PixelBuf_create(&thumb, tw, th, Pixel_format565, 0x10000);
    if (!err) {
        memset(thumb->pixels, 0, size_t(thumb->stride) * size_t(thumb->height));
        err =
            Bitmap_create(ctx, &bitmap, tw, th, Pixel_format565, itemThumbScale, thumb->pixels, 0);
    }
    if (!err) {
        band = Mem_malloc(Dispman_pageBandDefault);
        err = band ? RenderBuffers_create(ctx, &buffers, band, Dispman_pageBandDefault)
                   : int(Res_noMemory);
    }
    if (!err) {
        // One pixel for every d units along both axes, through the bitmap's
        // scale word: the page keeps its shape, its top-left corner on the
        // picture's top-left corner (y grows upward in both), and a side
        // longer than the picture is cut at the far edge. The page is drawn
        // as the thumbnail pass draws one, embedded pages included, with its
        // own colour under its items, no highlights, and animations still.
        int64_t s = (int64_t(1) << 32) / (int64_t(itemThumbScale) * d);
        int64_t top = int64_t(th) * 65536 / itemThumbScale;
        Matrix m{clamp32(s),
                 0,
                 0,
                 clamp32(s),
                 clamp32(-(int64_t(b[0]) * s) / 65536),
                 clamp32(top - (int64_t(b[3]) * s) / 65536)};
        DrawFlags flags;
        DrawFlags_clear(ctx, &flags);
        flags.flags |= DrawFlags_offscreen | DrawFlags_noHighlights | DrawFlags_still;
        Rect clip{0, 0, tw, th};
        err = PageRender_walk(ctx, page, &m, &clip, &clip, bitmap, nullptr, &flags, itemNoteDrawn,
                              nullptr, PageRender_drawBanded, buffers, 1, 0);
    }
    RenderBuffers_free(buffers);
    Mem_free(band);
    Bitmap_destroy(bitmap);
    Edr_Page_release(entry, 0);
    if (err) {
        PixelBuf_destroy(thumb);
        return err;
    }
    // The bitmap drew straight into the thumbnail's 16-bit pixels.
    *output = thumb;
    return Res_ok;
}

int Paint_setupItem(EngineContext *, const PaintRecord *paint, DrawItem *item,
                    const DrawTarget *target)
{
    switch (paint->kind) {
    case Paint_solid: {
        const uint8_t *c = paint->colour;
        if (c[3] == 0)
            return Res_ok;
        item->paintKind = DrawItem_sourceSolid;
        item->paint.solid.format = Pixel_formatRGBA;
        item->paint.solid.value = uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16;
        item->maskKind = DrawItem_sourceSolid;
        item->mask.solid.format = Pixel_formatGrey8;
        item->mask.solid.value = c[3];
        item->cachedRowOp = nullptr;
        return DrawItem_render(item, nullptr, nullptr, target);
    }
    case Paint_image:
    case Paint_linear:
    case Paint_radial: return Res_notImplemented;
    default: return Res_ok;
    }
}

// ------------------------------------------------------- bitmap access

void *Bitmap_pixels(const Bitmap *bitmap, uint32_t *flags)
{
    if (flags)
        *flags = bitmap ? bitmap->flags : 0;
    return bitmap ? Bitmap_firstRow(bitmap) : nullptr;
}

int Bitmap_beginAccess(Bitmap *bitmap)
{
    if (!bitmap || !bitmap->access)
        return 0;
    bitmap->access(bitmap, bitmap->accessContext, 0);
    return Bitmap_firstRow(bitmap) == nullptr ? 1 : 0;
}

void Bitmap_endAccess(Bitmap *bitmap)
{
    if (bitmap && bitmap->access)
        bitmap->access(bitmap, bitmap->accessContext, 1);
}

void Bitmap_syncAccess(Bitmap *bitmap)
{
    if (bitmap && bitmap->access && !(bitmap->flags & 0x10))
        bitmap->access(bitmap, bitmap->accessContext, 2);
}
