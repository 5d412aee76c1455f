// Page rendering: the walk around embedded pages, the banded draw routine
// with its clip compositing, the image routine, cost measuring, the
// backdrop, damage notes and the page frame.
#include "viewer/pagerender.h"

#include <algorithm>

#include "core/container/obj.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/bitmap.h"
#include "graphics/boxitem.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "graphics/imageutil.h"
#include "graphics/itemwalk.h"
#include "viewer/dispman.h"
#include "viewer/docview.h"
#include "graphics/rects.h"

namespace {

bool isEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

bool overlaps(const Rect &a, const Rect &b)
{
    return !isEmpty(a) && !isEmpty(b) && !Rect_disjoint(&a, &b);
}

Rect pieceRect(const Edr_PageRec *piece)
{
    return Rect{piece->bounds[0], piece->bounds[1], piece->bounds[2], piece->bounds[3]};
}

uint32_t colourOf(const Edr_PageRec *piece)
{
    const uint8_t *c = piece->background;
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}

bool isContent(const Edr_PageRec *piece)
{
    return piece->buildState == Edr_PageBuild_ready;
}

bool isEmbedded(const Edr_PageRec *piece)
{
    return piece->buildState == Edr_PageBuild_embedded;
}

// The matrix with its translation set to 0: items are placed through the
// draw target's dx and dy.
Matrix itemMatrix(const Matrix *m)
{
    Matrix r = *m;
    r.tx = 0;
    r.ty = 0;
    return r;
}

int32_t wrapAdd(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

int32_t wrapSub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

// An embedded page found for a piece: its entry (locks held in mode 0),
// its chain and the matrices that place it.
struct Embedded {
    Edr_PageEntry *entry;
    Edr_PageRec *chain;
    Matrix combined; // the embedded matrix, then the outer one
};

// Looks up the page an embedded piece shows; 0 with *out filled (release
// with Edr_Page_release(out->entry, 0)), or non-zero when there is none.
int findEmbedded(const Edr_PageRec *piece, const Matrix *matrix, Embedded *out)
{
    int err = PagePiece_findEmbedded(piece, matrix, &out->entry, &out->combined);
    if (!err)
        out->chain = Edr_Page_deref(out->entry);
    return err;
}

Rect pageRectOf(const Edr_PageRec *page)
{
    const int32_t *r = Edr_Page_rectOrDefault(page);
    return Rect{r[0], r[1], r[2], r[3]};
}

// ----------------------------------------------------------------- walk

struct RectList {
    Rect *items;
    uint32_t count;
    uint32_t capacity;
};

// Replaces every non-empty rectangle of the list that overlaps cut by its
// parts outside cut; a rectangle for which the list cannot grow stays.
void cutAround(RectList *list, const Rect &cut)
{
    uint32_t n = list->count;
    for (uint32_t i = 0; i < n; i++) {
        Rect r = list->items[i];
        if (!overlaps(r, cut))
            continue;
        if (list->count + 4 > list->capacity) {
            uint32_t capacity = list->capacity;
            while (capacity < list->count + 4)
                capacity *= 2;
            void *grown = Mem_realloc(list->items, size_t(capacity) * sizeof(Rect));
            if (!grown)
                continue;
            list->items = static_cast<Rect *>(grown);
            list->capacity = capacity;
        }
        Rect parts[4];
        uint32_t k = Rect_splitBands(parts, &r, &cut);
        list->items[i] = Rect{0, 0, 0, 0};
        for (uint32_t j = 0; j < k; j++)
            list->items[list->count++] = parts[j];
    }
}

struct WalkArgs {
    Bitmap *bitmap;
    Edr_ScreenHooks *hooks;
    const DrawFlags *flags;
    Edr_FillDoneFn painter;
    void *painterArg;
    PageDrawFn drawRoutine;
    void *routineArg;
    EngineContext *ctx;
    int recurse;
    intptr_t extra;
};

// The device rectangle of an embedded page and of its piece.
void embeddedRects(const Edr_PageRec *piece, const Embedded &e, const Matrix *matrix,
                   Bitmap *bitmap, uint32_t mode, Rect *page, Rect *pieceDevice)
{
    Rect r = pageRectOf(e.chain);
    Rect_toDevice(page, &r, &e.combined, bitmap, mode);
    r = pieceRect(piece);
    Rect_toDevice(pieceDevice, &r, matrix, bitmap, mode);
}

int walk(Edr_PageRec *chain, const Matrix *matrix, const Rect *clip, const Rect *pageRect,
         const WalkArgs &a, uint32_t depth)
{
    RectList list{static_cast<Rect *>(Mem_malloc(8 * sizeof(Rect))), 1, 8};
    if (!list.items)
        return Res_noMemory;
    list.items[0] = *clip;
    // A page that embeds itself, directly or through others, would recurse
    // without end: at the document depth limit embedded pages are neither
    // entered nor cut out (the page around them is drawn there instead).
    const bool deepest = a.recurse && depth >= Edr_maxDepth;
    for (Edr_PageRec *p = chain; p && !deepest; p = p->nextRec) {
        Embedded e;
        if (!isEmbedded(p) || findEmbedded(p, matrix, &e))
            continue;
        Rect device, pieceDevice;
        embeddedRects(p, e, matrix, a.bitmap, RectDevice_round, &device, &pieceDevice);
        Rect_intersect(&device, &pieceDevice);
        Rect_intersect(&device, clip);
        if (!isEmpty(device))
            cutAround(&list, device);
        Edr_Page_release(e.entry, 0);
    }
    int result = Res_ok;
    for (uint32_t i = 0; i < list.count; i++) {
        if (isEmpty(list.items[i]))
            continue;
        int err = a.drawRoutine(a.ctx, a.routineArg, chain, &list.items[i], a.hooks, a.bitmap,
                                pageRect, matrix, a.flags, a.painter, a.painterArg, a.extra);
        if (err == Res_stopRequested) {
            result = err;
            break;
        }
    }
    if (!result && a.recurse && !deepest) {
        for (Edr_PageRec *p = chain; p && !result; p = p->nextRec) {
            Embedded e;
            if (!isEmbedded(p) || findEmbedded(p, matrix, &e))
                continue;
            Rect device, pieceDevice;
            embeddedRects(p, e, matrix, a.bitmap, RectDevice_round, &device, &pieceDevice);
            Rect inner = *clip;
            Rect_intersect(&inner, &pieceDevice);
            Rect_intersect(&inner, &device);
            if (!isEmpty(inner))
                result = walk(e.chain, &e.combined, &inner, &device, a, depth + 1);
            Edr_Page_release(e.entry, 0);
        }
    }
    Mem_free(list.items);
    return result;
}

// --------------------------------------------------------------- bands

// Rows of band, the band height and the row bytes for a rectangle of
// width x height pixels of the format in size bytes cut in parts; 0 rows
// when not one fits.
struct BandPlan {
    uint32_t rowBytes;
    int32_t bandHeight;
};

bool planBands(uint32_t size, uint32_t parts, int32_t width, int32_t height, uint32_t format,
               BandPlan *plan)
{
    uint64_t rowBytes =
        (uint64_t(uint32_t(width)) * Pixel_bytesPerPixel(format) + 3) & ~uint64_t(3);
    if (rowBytes == 0 || rowBytes > UINT32_MAX)
        return false;
    uint64_t rows = size / rowBytes / parts;
    if (rows == 0)
        return false;
    uint64_t h = uint64_t(uint32_t(height));
    uint64_t bands = (h + rows - 1) / rows;
    plan->rowBytes = uint32_t(rowBytes);
    plan->bandHeight = int32_t((h + bands - 1) / bands);
    return true;
}

// The band of one drawing: its device rectangle and the buffers in their
// current roles (the clip composite swaps band and scratch).
// The item indexes of a chain's long content lists, made once for all the
// bands of one draw (graphics/itemwalk.h); pieces beyond the first few
// are walked as they are.
enum : uint32_t { kIndexedPieces = 4 };

struct PieceIndexes {
    const Edr_PageRec *piece[kIndexedPieces];
    ItemIndex *index[kIndexedPieces];
};

// Indexes the content pieces of the chain whose lists are long; a piece
// that cannot be indexed is walked as it is.
void indexPieces(Edr_PageRec *chain, PieceIndexes *out)
{
    *out = PieceIndexes{};
    uint32_t n = 0;
    for (Edr_PageRec *p = chain; p && n < kIndexedPieces; p = p->nextRec) {
        if (!isContent(p))
            continue;
        ItemIndex *ix = nullptr;
        if (ItemIndex_create(p->objects, &ix) == Res_ok && ix) {
            out->piece[n] = p;
            out->index[n++] = ix;
        }
    }
}

void freePieceIndexes(PieceIndexes *indexes)
{
    for (ItemIndex *&ix : indexes->index) {
        ItemIndex_free(ix);
        ix = nullptr;
    }
}

const ItemIndex *pieceIndexOf(const PieceIndexes *indexes, const Edr_PageRec *piece)
{
    for (uint32_t i = 0; indexes && i < kIndexedPieces; i++)
        if (indexes->piece[i] == piece)
            return indexes->index[i];
    return nullptr;
}

struct BandState {
    RenderBuffers *buffers;
    PixelBuf *current;
    Bitmap *currentBitmap;
    PixelBuf *other;
    Bitmap *otherBitmap;
    Rect band;
    const PieceIndexes *indexes; // null: every list walked as it is
};

void swapRoles(BandState *s)
{
    std::swap(s->current, s->other);
    std::swap(s->currentBitmap, s->otherBitmap);
}

// Composites the piece drawn in the current band through each of its clip
// entries over the backdrop (the band before the piece).
int compositeClips(const Edr_PageRec *piece, const Matrix *matrix, BandState *s)
{
    Point origin{s->band.x0, s->band.y0};
    for (const ClipEntry *e = piece->layout; e; e = e->next) {
        int err = PixelBuf_copyRect(s->buffers->backdrop, s->other, nullptr);
        if (!err)
            err = PageRender_clipBand(s->current, &origin, matrix, e, s->otherBitmap);
        if (err)
            return err;
        swapRoles(s);
    }
    return Res_ok;
}

// The first item of the page's first piece, when it is a box item whose
// box placed at its origin is the piece rectangle: the band is filled with
// the page colour instead.
bool isPageBackground(const Edr_PageRec *first, const ObjHeader *item)
{
    if (!item || !BoxItem_is(item))
        return false;
    Rect shown = Obj_shownBox(item);
    Rect piece = pieceRect(first);
    return Rect_equal(&shown, &piece) != 0;
}

// The band in page units: its pixels, grown by one on every side for the
// edges of anti-aliased shapes, relative to the page's top-left corner,
// through the inverse of the item matrix. Item lists need not look at
// items outside it. The unbounded rectangle when the matrix or the scale
// cannot be inverted.
Rect bandInPageUnits(const Rect &band, const Rect *pageRect, const Matrix *items, int32_t scale)
{
    if (scale <= 0 || Matrix_det(items) == 0)
        return *Rect_getInfinite();
    auto units = [scale](int64_t px) {
        int64_t v = px * 65536 / scale;
        return int32_t(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
    };
    int32_t x0 = units(int64_t(band.x0) - pageRect->x0 - 1),
            x1 = units(int64_t(band.x1) - pageRect->x0 + 1);
    int32_t y0 = units(int64_t(band.y0) - pageRect->y1 - 1),
            y1 = units(int64_t(band.y1) - pageRect->y1 + 1);
    Point p[4];
    Matrix_untransformPoint(&p[0], x0, y0, items);
    Matrix_untransformPoint(&p[1], x0, y1, items);
    Matrix_untransformPoint(&p[2], x1, y1, items);
    Matrix_untransformPoint(&p[3], x1, y0, items);
    Rect r;
    Rect_boundPoints(&r, p, 4, 1);
    return r;
}

int drawBand(EngineContext *ctx, Edr_PageRec *chain, const Matrix *matrix, const Matrix *items,
             const Rect *pageRect, const DrawFlags *flags, intptr_t extra, bool clipping,
             BandState *s)
{
    const Rect bandArea = bandInPageUnits(s->band, pageRect, items, s->currentBitmap->scale);
    int32_t width = s->band.x1 - s->band.x0;
    int32_t height = s->band.y1 - s->band.y0;
    Rect bandClip{0, 0, width, height};
    DrawTarget target{s->currentBitmap, &bandClip, wrapSub(pageRect->x0, s->band.x0),
                      wrapSub(pageRect->y1, s->band.y0)};
    if (flags && (flags->flags & DrawFlags_noHighlights)) {
        int err = Bitmap_fillColour(s->currentBitmap, colourOf(chain));
        if (err)
            return err;
    }
    for (Edr_PageRec *p = chain; p; p = p->nextRec) {
        if (!isContent(p))
            continue;
        Rect r = pieceRect(p), device;
        Rect_toDevice(&device, &r, matrix, s->currentBitmap, RectDevice_outer);
        if (!overlaps(device, s->band))
            continue;
        // The band as it is before a clipped piece is what shows outside
        // its clip paths.
        if (clipping && p->layout) {
            int err = PixelBuf_copyRect(s->current, s->buffers->backdrop, nullptr);
            if (err)
                return err;
        }
        ObjHeader *first = p->objects;
        if (p == chain && isPageBackground(chain, first) &&
            Bitmap_fillColour(s->currentBitmap, colourOf(chain)) == Res_ok)
            first = Obj_next(first);
        target.bitmap = s->currentBitmap;
        // The piece rectangle cut to the band: all of the piece that the
        // band can show, so that the walk passes over the items outside.
        Rect shown = r;
        Rect_intersect(&shown, &bandArea);
        int err = View_drawIndexedList(ctx, pieceIndexOf(s->indexes, p), first, &shown, items,
                                       &target, flags, extra);
        if (!err && clipping && p->layout)
            err = compositeClips(p, matrix, s);
        if (err)
            return err;
    }
    if (flags && (flags->flags & DrawFlags_noHighlights))
        return Res_ok;
    target.bitmap = s->currentBitmap;
    for (Edr_PageRec *p = chain; p; p = p->nextRec) {
        if (!isContent(p) || !p->overlays)
            continue;
        Rect r = pieceRect(p), device;
        Rect_toDevice(&device, &r, matrix, s->currentBitmap, RectDevice_outer);
        if (!overlaps(device, s->band))
            continue;
        Rect shown = r;
        Rect_intersect(&shown, &bandArea);
        View_lockCurrent(chain->doc, 0);
        int err = View_drawItemList(ctx, p->overlays, &shown, items, &target, flags, extra);
        View_unlockCurrent(chain->doc, 0);
        if (err)
            return err;
    }
    // The selection's and search matches' highlights over the page.
    if (chain->views) {
        View_lockCurrent(chain->doc, 0);
        int err = Select_drawViewHighlights(ctx, chain->views, items, &target);
        View_unlockCurrent(chain->doc, 0);
        if (err)
            return err;
    }
    return Res_ok;
}

} // namespace

// -------------------------------------------------------------- records

const EmbeddedPageRef *PagePiece_embeddedRef(const Edr_PageRec *piece)
{
    if (!piece || !isEmbedded(piece) || !piece->objects || !piece->objects->node)
        return nullptr;
    return static_cast<const EmbeddedPageRef *>(Edr_Node_payload(piece->objects->node));
}

void PagePiece_embeddedMatrix(Matrix *out, const Edr_PageRec *piece, const EmbeddedPageRef *ref)
{
    *out = ref->matrix;
    if (piece->matrix)
        Matrix_concat(out, piece->matrix);
    Matrix_translate(out, piece->bounds[0], piece->bounds[3]);
}

int PagePiece_findEmbedded(const Edr_PageRec *piece, const Matrix *matrix, Edr_PageEntry **entry,
                           Matrix *combined)
{
    *entry = nullptr;
    const EmbeddedPageRef *ref = PagePiece_embeddedRef(piece);
    if (!ref)
        return Res_notFound;
    Matrix m;
    PagePiece_embeddedMatrix(&m, piece, ref);
    Edr_PageEntry *found = nullptr;
    int err = Edr_Page_find(&found, ref->document, ref->pageKey, ref->pageKind, 0);
    if (err)
        return err;
    if (!Edr_Page_deref(found)) {
        Edr_Page_release(found, 0);
        return Res_notFound;
    }
    *entry = found;
    Matrix_multiply(combined, &m, matrix);
    return Res_ok;
}

int RenderBuffers_create(EngineContext *ctx, RenderBuffers **out, void *memory, uint32_t size)
{
    *out = nullptr;
    RenderBuffers *b = static_cast<RenderBuffers *>(Mem_calloc(1, sizeof(RenderBuffers)));
    if (!b)
        return Res_noMemory;
    b->context = ctx;
    b->memory = memory;
    b->size = size;
    KeptPaths_init(&b->kept, KeptPaths_limitFor(Mem_getInitialSize()));
    int err = PixelBuf_createPlaceholder(&b->band);
    if (!err)
        err = PixelBuf_createPlaceholder(&b->scratch);
    if (!err)
        err = PixelBuf_createPlaceholder(&b->backdrop);
    if (!err)
        err = Bitmap_createSolid1x1(ctx, &b->bandBitmap);
    if (!err)
        err = Bitmap_createSolid1x1(ctx, &b->scratchBitmap);
    if (err) {
        RenderBuffers_free(b);
        return err;
    }
    *out = b;
    return Res_ok;
}

void RenderBuffers_free(RenderBuffers *buffers)
{
    if (!buffers)
        return;
    PixelBuf_destroy(buffers->band);
    PixelBuf_destroy(buffers->scratch);
    PixelBuf_destroy(buffers->backdrop);
    Bitmap_destroy(buffers->bandBitmap);
    Bitmap_destroy(buffers->scratchBitmap);
    KeptPaths_clear(&buffers->kept);
    Mem_free(buffers);
}

void RenderBuffers_trim(RenderBuffers *buffers)
{
    if (!buffers)
        return;
    Bitmap_scratchFree0(buffers->bandBitmap);
    Bitmap_scratchFree0(buffers->scratchBitmap);
    KeptPaths_clear(&buffers->kept);
}

// ---------------------------------------------------------------- walk

int PageRender_walk(EngineContext *ctx, Edr_PageRec *chain, const Matrix *matrix, const Rect *clip,
                    const Rect *pageRect, Bitmap *bitmap, Edr_ScreenHooks *hooks,
                    const DrawFlags *flags, Edr_FillDoneFn painter, void *painterArg,
                    PageDrawFn drawRoutine, void *routineArg, int recurse, intptr_t extra)
{
    if (!chain || !matrix || !clip || !pageRect || !bitmap || !drawRoutine)
        return Res_nullInput;
    WalkArgs a{bitmap,      hooks,      flags, painter, painterArg,
               drawRoutine, routineArg, ctx,   recurse, extra};
    return walk(chain, matrix, clip, pageRect, a, 0);
}

// ---------------------------------------------------------------- bands

int PageRender_drawBanded(EngineContext *ctx, void *routineArg, Edr_PageRec *chain,
                          const Rect *rect, Edr_ScreenHooks *hooks, Bitmap *bitmap,
                          const Rect *pageRect, const Matrix *matrix, const DrawFlags *flags,
                          Edr_FillDoneFn painter, void *painterArg, intptr_t extra)
{
    RenderBuffers *b = static_cast<RenderBuffers *>(routineArg);
    if (!b || !chain || !rect || !bitmap || !pageRect || !matrix)
        return Res_nullInput;
    if (isEmpty(*rect))
        return Res_ok;
    bool clipping = false;
    for (const Edr_PageRec *p = chain; p; p = p->nextRec)
        clipping = clipping || (isContent(p) && p->layout);
    uint32_t size = clipping ? b->size - b->size % 12 : b->size;
    int32_t width = rect->x1 - rect->x0;
    BandPlan plan;
    if (!b->memory ||
        !planBands(size, clipping ? 3 : 1, width, rect->y1 - rect->y0, bitmap->format, &plan))
        return PageRender_bandTooSmall;

    uint8_t *memory = static_cast<uint8_t *>(b->memory);
    int err = PixelBuf_attachPacked(b->band, width, plan.bandHeight, bitmap->format, bitmap->scale,
                                    memory);
    if (!err)
        err = Bitmap_attachInfo(ctx, b->bandBitmap, b->band);
    if (!err && clipping) {
        err = PixelBuf_attachPacked(b->scratch, width, plan.bandHeight, bitmap->format,
                                    bitmap->scale, memory + size / 3);
        if (!err)
            err = PixelBuf_attachPacked(b->backdrop, width, plan.bandHeight, bitmap->format,
                                        bitmap->scale, memory + size / 3 * 2);
        if (!err)
            err = Bitmap_attachInfo(ctx, b->scratchBitmap, b->scratch);
    }
    if (err)
        return err;

    Matrix items = itemMatrix(matrix);
    // With more than one band, each band visits only the items that reach
    // it rather than every item of a long list.
    PieceIndexes indexes{};
    if (rect->y1 - rect->y0 > plan.bandHeight)
        indexPieces(chain, &indexes);
    BandState s{b, b->band, b->bandBitmap, b->scratch, b->scratchBitmap, {}, &indexes};
    s.band = Rect{rect->x0, rect->y1 - plan.bandHeight, rect->x1, rect->y1};
    // Figures that cross bands keep their device paths for the next bands
    // while this drawing runs; the store is emptied when it ends, before the
    // figures it is keyed by can change.
    const bool banded = plan.bandHeight < rect->y1 - rect->y0;
    if (banded)
        b->bandBitmap->keptPaths = b->scratchBitmap->keptPaths = &b->kept;
    while (s.band.y1 > rect->y0) {
        if (s.band.y0 <= rect->y0)
            s.band = Rect{rect->x0, rect->y0, rect->x1, rect->y0 + plan.bandHeight};
        err = drawBand(ctx, chain, matrix, &items, pageRect, flags, extra, clipping, &s);
        if (err)
            break;
        Point origin{s.band.x0, s.band.y0};
        err = Edr_Page_fillBackground(s.current, &origin, nullptr, nullptr, chain, hooks, bitmap,
                                      &s.band, painter, painterArg);
        if (err)
            break;
        s.band.y0 -= plan.bandHeight;
        s.band.y1 -= plan.bandHeight;
    }
    b->bandBitmap->keptPaths = b->scratchBitmap->keptPaths = nullptr;
    KeptPaths_clear(&b->kept);
    freePieceIndexes(&indexes);
    return err;
}

int PageRender_clipBand(const PixelBuf *band, const Point *origin, const Matrix *matrix,
                        const ClipEntry *entry, Bitmap *target)
{
    Matrix m = entry->matrix ? *entry->matrix : *Matrix_identity();
    Matrix_translate(&m, entry->dx, entry->dy);
    Matrix_concat(&m, matrix);
    DrawItem *item = target->drawItem;
    item->kind = DrawItem_kindPath;
    item->shape.path = FillRequest{};
    item->shape.path.path = entry->path;
    item->shape.path.s = 1;
    item->shape.path.matrix = &m;
    item->shape.path.penKind = 0;
    item->shape.path.pen.style = entry->fillRule;
    item->paintKind = DrawItem_sourceBuffer;
    item->paint.buffer = {band, origin->x, origin->y};
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, 255};
    item->cachedRowOp = nullptr;
    DrawTarget t{target, nullptr, wrapSub(0, origin->x), wrapSub(0, origin->y)};
    return DrawItem_render(item, nullptr, nullptr, &t);
}

// ------------------------------------------------------- image routine

int PageRender_drawWithImage(EngineContext *ctx, DispmanView *view, Edr_PageRec *chain,
                             const Rect *rect, Edr_ScreenHooks *, Bitmap *bitmap,
                             const Rect *pageRect, const Matrix *matrix, const DrawFlags *flags)
{
    if (!ctx || !view || !chain || !rect || !bitmap || !pageRect || !matrix)
        return Res_nullInput;
    if (view->backdropDoc && Edr_Doc_isSame(chain->doc, view->backdropDoc)) {
        (void)PageRender_drawBackdrop(chain, rect, view);
        return Res_ok;
    }
    if (Edr_Page_hasAltRect(chain))
        return Res_ok;
    if (!chain->thumb)
        return PageRender_fillArea(nullptr, nullptr, nullptr, nullptr, chain, view, rect);
    if (isEmpty(*rect))
        return Res_ok;

    DispmanCtx *dm = static_cast<DispmanCtx *>(ctx->dispman);
    void *memory = dm ? dm->pageBandMemory : nullptr;
    uint32_t size = dm ? dm->pageBandSize : 0;
    int32_t width = rect->x1 - rect->x0;
    BandPlan plan;
    if (!memory || !planBands(size, 1, width, rect->y1 - rect->y0, bitmap->format, &plan))
        return PageRender_imageBandTooSmall;
    PixelBuf *buf = nullptr;
    int32_t budget = size > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(size);
    if (PixelBuf_createView(&buf, width, plan.bandHeight, bitmap->format, bitmap->scale, memory,
                            budget))
        return PageRender_fillArea(nullptr, nullptr, nullptr, nullptr, chain, view, rect);

    int quality = 2 * view->quality[DrawQuality_image] / 15 >= 1 ? 1 : 0;
    Matrix items = itemMatrix(matrix);
    int result = Res_ok;
    Rect band{rect->x0, rect->y1 - plan.bandHeight, rect->x1, rect->y1};
    while (!result && band.y1 > rect->y0) {
        if (band.y0 <= rect->y0)
            band = Rect{rect->x0, rect->y0, rect->x1, rect->y0 + plan.bandHeight};
        if (Image_scaleIntoBuffer(ctx, chain->thumb, pageRect->x1 - pageRect->x0,
                                  pageRect->y1 - pageRect->y0, buf, wrapSub(pageRect->x0, band.x0),
                                  wrapSub(band.y1, pageRect->y1), quality)) {
            result = PageRender_fillArea(nullptr, nullptr, nullptr, nullptr, chain, view, rect);
        } else {
            Bitmap *bandBitmap = nullptr;
            result = Bitmap_createLike(ctx, &bandBitmap, buf);
            if (!result) {
                DrawTarget target{bandBitmap, nullptr, wrapSub(pageRect->x0, band.x0),
                                  wrapSub(pageRect->y1, band.y0)};
                Rect r = pieceRect(chain);
                View_lockCurrent(chain->doc, 0);
                result = View_drawItemList(ctx, chain->objects, &r, &items, &target, flags, 0);
                View_unlockCurrent(chain->doc, 0);
                Bitmap_destroy(bandBitmap);
            }
            if (!result) {
                Point origin{band.x0, band.y0};
                result = PageRender_fillArea(buf, &origin, nullptr, nullptr, chain, view, &band);
            }
        }
        band.y0 -= plan.bandHeight;
        band.y1 -= plan.bandHeight;
    }
    PixelBuf_destroy(buf);
    return result;
}

int PageRender_measureCost(EngineContext *ctx, Edr_PageRec *chain, const Rect *rect,
                           DispmanView *view, const Rect *pageRect, const Matrix *matrix,
                           const DrawFlags *flags, uint32_t *cost)
{
    if (cost)
        *cost = 0xFFFFFFFFu;
    if (!chain || !rect || !view || !pageRect || !matrix || !flags || !cost)
        return Res_nullInput;
    Matrix items = itemMatrix(matrix);
    DrawTarget target{view->bitmap, rect, pageRect->x0, pageRect->y1};
    uint64_t total = 0;
    uint32_t limit = uint32_t(flags->cost[DrawCost_limit]);
    for (Edr_PageRec *p = chain; p && total <= limit; p = p->nextRec) {
        if (!isContent(p))
            continue;
        Rect r = pieceRect(p), device;
        Rect_toDevice(&device, &r, matrix, view->bitmap, RectDevice_outer);
        if (isEmpty(device))
            continue;
        uint32_t amount = 0;
        int err = View_measureItemList(ctx, p->objects, &r, &items, &target, flags, &amount);
        if (err)
            return err;
        total += amount;
    }
    *cost = total > 0xFFFFFFFEu ? 0xFFFFFFFEu : uint32_t(total);
    return Res_ok;
}

// ------------------------------------------------------------ backdrop

int PageRender_drawBackdrop(Edr_PageRec *chain, const Rect *rect, DispmanView *view)
{
    const PixelBuf *tile = view->backdropTile;
    if (!tile || tile->width <= 0 || tile->height <= 0)
        return PageRender_fillArea(nullptr, nullptr, nullptr, nullptr, chain, view, rect);
    uint32_t w = uint32_t(tile->width), h = uint32_t(tile->height);
    for (uint32_t r = uint32_t(rect->y0) / h; r <= uint32_t(rect->y1) / h; r++) {
        for (uint32_t c = uint32_t(rect->x0) / w; c <= uint32_t(rect->x1) / w; c++) {
            Rect t{int32_t(c * w), int32_t(r * h), int32_t(c * w + w), int32_t(r * h + h)};
            Rect_intersect(&t, rect);
            if (isEmpty(t))
                continue;
            Point origin{int32_t(c * w), int32_t(r * h)};
            int err = PageRender_fillArea(tile, &origin, nullptr, nullptr, chain, view, &t);
            if (err)
                return err;
        }
    }
    return Res_ok;
}

int PageRender_fillArea(const PixelBuf *paint, const Point *paintOrigin, const PixelBuf *mask,
                        const Point *maskOrigin, Edr_PageRec *chain, DispmanView *view,
                        const Rect *rect)
{
    return Edr_Page_fillBackground(paint, paintOrigin, mask, maskOrigin, chain, &view->hooks,
                                   view->bitmap, rect, PageRender_noteDrawn, view);
}

void PageRender_noteDrawn(void *argument, const Rect *rect)
{
    DispmanView *view = static_cast<DispmanView *>(argument);
    if (!isEmpty(view->damage))
        Rect_union(&view->damage, rect);
    else
        view->damage = *rect;
    if (view->frameFlag)
        PageRender_drawFrame(view, rect);
}

void PageRender_drawFrame(DispmanView *view, const Rect *rect)
{
    const Rect &f = view->pageFrame;
    Rect r = f;
    Rect_intersect(&r, rect);
    if (isEmpty(r))
        return;
    const uint32_t grey = uint32_t(PageRender_frameColour);
    if (r.x0 == f.x0) {
        Rect line{r.x0, r.y0, wrapAdd(r.x0, 1), r.y1};
        Bitmap_fillRect16(view->bitmap, &line, grey);
    }
    if (r.y0 == f.y0) {
        Rect line{r.x0, r.y0, r.x1, wrapAdd(r.y0, 1)};
        Bitmap_fillRect16(view->bitmap, &line, grey);
    }
    if (r.x1 == f.x1) {
        Rect line{wrapSub(r.x1, 1), r.y0, r.x1, r.y1};
        Bitmap_fillRect16(view->bitmap, &line, grey);
    }
    if (r.y1 == f.y1) {
        Rect line{r.x0, wrapSub(r.y1, 1), r.x1, r.y1};
        Bitmap_fillRect16(view->bitmap, &line, grey);
    }
}

void Bitmap_fillRect16(Bitmap *bitmap, const Rect *rect, uint32_t colour)
{
    uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    uint32_t value;
    switch (bitmap->format) {
    case Pixel_format444: value = (red >> 4) << 8 | (green >> 4) << 4 | blue >> 4; break;
    case Pixel_format555: value = (blue >> 3) << 10 | (green >> 3) << 5 | red >> 3; break;
    case Pixel_format565Alt:
    case Pixel_format565: value = (red >> 3) << 11 | (green >> 2) << 5 | blue >> 3; break;
    default: return;
    }
    // Cut to the bitmap: a rectangle reaching outside it must not write
    // outside its rows.
    Rect r{0, 0, bitmap->width, bitmap->height};
    if (rect)
        Rect_intersect(&r, rect);
    uint8_t *rows = Bitmap_firstRow(bitmap);
    if (isEmpty(r) || !rows)
        return;
    uint16_t *first =
        reinterpret_cast<uint16_t *>(rows + size_t(bitmap->height - r.y1) * bitmap->stride) + r.x0;
    Bitmap_fill16Rows(&r, value, first, bitmap->stride / 2 - uint32_t(r.x1 - r.x0));
}
