// The thumbnail pass: re-marking, processing entries one by one, drawing
// a page chain with its embedded pages, and the embedding test.
#include "viewer/thumbrender.h"

#include <algorithm>

#include "core/context/context.h"
#include "core/geom/matrix.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "graphics/bitmap.h"
#include "viewer/pagerender.h"
#include "graphics/pixelbuf.h"
#include "viewer/thumbqueue.h"
#include "graphics/image.h"
#include "graphics/imageutil.h"
#include "viewer/dispman.h"
#include "graphics/rects.h"

namespace {

bool isEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

Rect boundsOf(const Edr_PageRec *page)
{
    return Rect{page->bounds[0], page->bounds[1], page->bounds[2], page->bounds[3]};
}

uint32_t colourOf(const Edr_PageRec *page)
{
    const uint8_t *c = page->background;
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}

int32_t clamp32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

int drawChain(Edr_PageRec *chain, const Rect *clip, DispmanView *view, const Matrix *matrix,
              EngineContext *ctx, uint32_t depth)
{
    DispmanCtx *dm = static_cast<DispmanCtx *>(ctx->dispman);
    RenderBuffers *buffers = nullptr;
    int err = RenderBuffers_create(ctx, &buffers, dm->thumbBandMemory, dm->thumbBandSize);
    if (err)
        return err;
    DrawFlags flags;
    DrawFlags_clear(ctx, &flags);
    flags.flags |= DrawFlags_offscreen | DrawFlags_noHighlights | DrawFlags_still;
    for (uint32_t i = 0; i < DrawQuality_count; i++)
        flags.quality[i] = view->quality[i];
    Rect page = boundsOf(chain), pageRect;
    Rect_toDevice(&pageRect, &page, matrix, view->bitmap, RectDevice_round);
    err = PageRender_drawBanded(ctx, buffers, chain, clip, &view->hooks, view->bitmap, &pageRect,
                                matrix, &flags, PageRender_noteDrawn, view, 0);
    // Embedded pages are drawn over their pieces, each by its own chain; a
    // page that embeds itself stops at the document depth limit.
    for (Edr_PageRec *p = chain; !err && depth < Edr_maxDepth && p; p = p->nextRec) {
        Edr_PageEntry *entry = nullptr;
        Matrix combined;
        if (p->buildState != Edr_PageBuild_embedded ||
            PagePiece_findEmbedded(p, matrix, &entry, &combined))
            continue;
        Edr_PageRec *inner = Edr_Page_deref(entry);
        const int32_t *ir = Edr_Page_rectOrDefault(inner);
        Rect r{ir[0], ir[1], ir[2], ir[3]}, device, pieceDevice;
        Rect_toDevice(&device, &r, &combined, view->bitmap, RectDevice_roundAll);
        r = boundsOf(p);
        Rect_toDevice(&pieceDevice, &r, matrix, view->bitmap, RectDevice_roundAll);
        Rect_intersect(&device, &pieceDevice);
        Rect_intersect(&device, clip);
        if (!isEmpty(device))
            err = drawChain(inner, &device, view, &combined, ctx, depth + 1);
        Edr_Page_release(entry, 0);
    }
    RenderBuffers_free(buffers);
    return err;
}

int isEmbeddedIn(Edr_PageRec *chain, const ThumbEntry *entry, uint32_t depth)
{
    for (Edr_PageRec *p = chain; p; p = p->nextRec) {
        const EmbeddedPageRef *ref = PagePiece_embeddedRef(p);
        if (!ref)
            continue;
        if (ref->pageKey == entry->pageKey && ref->pageKind == entry->pageKind &&
            Edr_Doc_isSame(ref->document, entry->document))
            return 1;
        if (depth >= Edr_maxDepth)
            continue;
        Edr_PageEntry *found = nullptr;
        if (Edr_Page_find(&found, ref->document, ref->pageKey, ref->pageKind, 0))
            continue;
        int yes = isEmbeddedIn(Edr_Page_deref(found), entry, depth + 1);
        Edr_Page_release(found, 0);
        if (yes)
            return 1;
    }
    return 0;
}

// Marks the entries that a view shows and drops those of its backdrop
// document and of the failed document.
void remark(DispmanCtx *dm)
{
    DispmanView *view = nullptr;
    while (DocList_nextLocked(dm, &view, 0, 0)) {
        ThumbEntry *entry = nullptr;
        while (ThumbQueue_next(dm, &entry)) {
            if (view->backdropDoc && Edr_Doc_isSame(entry->document, view->backdropDoc)) {
                ThumbQueue_remove(dm, &entry);
            } else if (dm->failedDoc && Edr_Doc_isSame(entry->document, dm->failedDoc)) {
                ThumbQueue_remove(dm, &entry);
            } else if (dm->markAllDoc && Edr_Doc_isSame(entry->document, dm->markAllDoc)) {
                entry->marked = 1;
            } else if (view->backdropDoc) {
                Edr_PageEntry *backdrop = nullptr;
                if (Edr_Page_find(&backdrop, view->backdropDoc, 0, 0, 0) == Res_ok) {
                    if (isEmbeddedIn(Edr_Page_deref(backdrop), entry, 0))
                        entry->marked = 1;
                    Edr_Page_release(backdrop, 0);
                }
            }
        }
    }
}

// Kind 2: the page's stored picture is freed.
void discardPicture(Edr_Doc *doc, const ThumbEntry *entry)
{
    Edr_PageEntry *found = nullptr;
    if (Edr_Page_find(&found, doc, entry->pageKey, entry->pageKind, Edr_Page_listWrite))
        return;
    Edr_PageRec *page = Edr_Page_deref(found);
    PixelBuf_destroy(page->thumb);
    page->thumb = nullptr;
    Edr_Page_release(found, Edr_Page_listWrite);
}

// Stores the drawn picture as the page's image, cut or extended when the
// page's thumbnail size changed while it was drawn, and posts the page
// update. The picture is taken over when stored (*picture null).
void storePicture(EngineContext *ctx, Edr_Doc *doc, const ThumbEntry *entry, PixelBuf **picture)
{
    Edr_PageEntry *found = nullptr;
    if (Edr_Page_find(&found, doc, entry->pageKey, entry->pageKind, Edr_Page_listWrite))
        return;
    Edr_PageRec *page = Edr_Page_deref(found);
    int32_t now[4] = {0, 0, 0, 0};
    (void)Edr_Page_getBounds(ctx, page, now);
    int32_t w = now[2] - now[0], h = now[3] - now[1];
    PixelBuf *pic = *picture;
    if ((w != pic->width || h != pic->height) && h > 0 && w > 0) {
        // The top rows stay (y-up: the picture's height is its top).
        Rect fit{now[0], pic->height - h, now[0] + w, pic->height};
        (void)PixelBuf_extend(ctx, picture, &fit, colourOf(page));
    }
    PixelBuf_destroy(page->thumb);
    page->thumb = *picture;
    *picture = nullptr;
    Edr_Page_release(found, Edr_Page_listWrite);
    EventProcKind9Msg m{0, nullptr, entry->pageKey, entry->pageKind};
    (void)EventProc_postKind9(doc, ctx->eventProc, &m);
}

// Renders one entry's page into a new picture and stores it. 0 also when
// the page is gone or empty; 1 when the picture cannot be made; a drawing
// error.
int renderEntry(EngineContext *ctx, DispmanCtx *dm, Edr_Doc *doc, const ThumbEntry *entry)
{
    Edr_PageEntry *found = nullptr;
    if (Edr_Page_find(&found, doc, entry->pageKey, entry->pageKind, 0))
        return Res_ok;
    Edr_PageRec *page = Edr_Page_deref(found);
    Rect bounds = boundsOf(page);
    int32_t size[4];
    if (isEmpty(bounds) || !Edr_Page_getBounds(ctx, page, size)) {
        Edr_Page_release(found, 0);
        return Res_ok;
    }
    int32_t w = size[2] - size[0], h = size[3] - size[1];
    // With the picture's scale word of 8 this maps the page rectangle onto
    // the w x h picture, top to top.
    Matrix m{clamp32((int64_t(w) << 32) / (8 * int64_t(bounds.x1))),
             0,
             0,
             clamp32(-((int64_t(h) << 32) / (8 * int64_t(bounds.y0)))),
             0,
             clamp32(int64_t(h) * 65536 / 8)};
    PixelBuf *picture = nullptr;
    Bitmap *bitmap = nullptr;
    int err = PixelBuf_create(&picture, w, h, Pixel_format565, Thumb_pictureScale);
    if (!err)
        err = Bitmap_createLike(ctx, &bitmap, picture);
    if (err) {
        Edr_Page_release(found, 0);
        PixelBuf_destroy(picture);
        return Res_noMemory;
    }
    DispmanView view{};
    view.bitmap = bitmap;
    view.frameFlag = 1;
    for (uint32_t i = 0; i < DrawQuality_count; i++)
        view.quality[i] = dm->quality[i];
    Rect clip{0, 0, w, h};
    err = drawChain(page, &clip, &view, &m, ctx, 0);
    Edr_Page_release(found, 0);
    if (!err)
        storePicture(ctx, doc, entry, &picture);
    Bitmap_destroy(bitmap);
    PixelBuf_destroy(picture);
    return err;
}

} // namespace

int ThumbRender_isEmbedded(Edr_PageRec *chain, const ThumbEntry *entry)
{
    return chain && entry ? isEmbeddedIn(chain, entry, 0) : 0;
}

int Dispman_thumbnailPass(EngineContext *ctx)
{
    DispmanCtx *dm = ctx ? static_cast<DispmanCtx *>(ctx->dispman) : nullptr;
    if (!dm)
        return Res_nullInput;
    remark(dm);
    ThumbEntry *entry = nullptr;
    bool lastDone = false;
    while (!lastDone && ThumbQueue_next(dm, &entry)) {
        Task_reschedule(ctx);
        if (Task_checkStop(ctx) == Res_stopRequested) {
            ThumbQueue_clear(dm);
            return Res_stopRequested;
        }
        Edr_Doc *doc = nullptr;
        Edr_Doc_tryAddRef(entry->document, &doc);
        if (!doc) {
            ThumbQueue_remove(dm, &entry);
            continue;
        }
        if (!entry->marked) {
            Edr_Doc_release(doc);
            continue;
        }
        Lock_acquire(&dm->thumbLock);
        entry->busy = 1;
        Lock_release(&dm->thumbLock);
        int err = Res_ok;
        if (entry->kind == ThumbKind_discard)
            discardPicture(doc, entry);
        else
            err = renderEntry(ctx, dm, doc, entry);
        if (err == Res_stopRequested || err == Res_noMemory) {
            // Only the document's identity is kept: its later entries are
            // dropped by the next pass.
            dm->failedDoc = doc;
            ThumbQueue_clear(dm);
            Edr_Doc_release(doc);
            return err;
        }
        lastDone = entry->kind == ThumbKind_renderLast;
        Edr_Doc_release(doc);
        ThumbQueue_remove(dm, &entry);
    }
    return Res_ok;
}

// ------------------------------------------------------------- refitting

int Bitmap_refit(EngineContext *app, PixelBuf **thumb, int32_t width, int32_t height,
                 uint32_t colour)
{
    if (!thumb || !*thumb || width < 1 || height < 1)
        return Res_nullInput;
    PixelBuf *old = *thumb;
    PixelBuf *made = nullptr;
    int r = PixelBuf_create(&made, width, height, old->format, old->scale);
    if (r != Res_ok)
        return r;
    uint32_t value = colour;
    uint32_t f = Pixel_normaliseFormat(old->format);
    if (f == Pixel_format565)
        value = ((colour & 0xF8) << 8) | ((colour >> 5) & 0x7E0) | ((colour >> 19) & 0x1F);
    PixelBuf_fillRect(made, 0, 0, width, height, value);
    // The largest size of the old proportions that fits.
    int64_t w = width, h = height;
    if (old->width > 0 && old->height > 0) {
        if (int64_t(width) * old->height > int64_t(height) * old->width)
            w = std::max<int64_t>(1, int64_t(height) * old->width / old->height);
        else
            h = std::max<int64_t>(1, int64_t(width) * old->height / old->width);
        r = Image_scaleIntoBuffer(app, old, int32_t(w), int32_t(h), made, 0, 0, 1);
    }
    if (r != Res_ok) {
        PixelBuf_destroy(made);
        return r;
    }
    PixelBuf_destroy(old);
    *thumb = made;
    return Res_ok;
}
