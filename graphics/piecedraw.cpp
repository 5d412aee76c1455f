// Page piece drawing: opacity culling, piece backgrounds, clip regions and
// their compositing, and the prepare routine of prepared coverage masks.
#include "graphics/piecedraw.h"

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pathbounds.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/clippath.h"
#include "graphics/pixelbuf.h"
#include "graphics/rastergeom.h"
#include "graphics/itemwalk.h"

namespace {

bool isEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

int32_t wrapAdd(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

int32_t wrapSub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

uint32_t colourOf(const Edr_PageRec *piece)
{
    const uint8_t *c = piece->background;
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}

Rect pieceRect(const Edr_PageRec *piece)
{
    return Rect{piece->bounds[0], piece->bounds[1], piece->bounds[2], piece->bounds[3]};
}

// The piece's matrix followed by matrix, or matrix alone.
Matrix pieceMatrix(const Edr_PageRec *piece, const Matrix *matrix)
{
    Matrix m = *matrix;
    if (piece->matrix)
        Matrix_multiply(&m, piece->matrix, matrix);
    return m;
}

// Fills the clip area of target with a solid colour at an alpha through
// the bitmap's draw item.
int fillColour(const DrawTarget *target, uint32_t colour, uint32_t alpha)
{
    DrawItem *item = target->bitmap->drawItem;
    item->kind = DrawItem_kindRect;
    item->paintKind = DrawItem_sourceSolid;
    item->paint.solid = {Pixel_formatRGBA, colour & 0x00FFFFFFu};
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, alpha};
    item->cachedRowOp = nullptr;
    return DrawItem_render(item, nullptr, nullptr, target);
}

// Copies the target bitmap's pixels under the working clip into the
// offscreen target (skipped when no view of the bitmap can be made).
void copyBelow(const DrawTarget *offscreen, Bitmap *bitmap, const Rect &clip)
{
    PixelBuf *view = nullptr;
    int64_t bytes = int64_t(bitmap->height) * bitmap->stride;
    if (PixelBuf_createView(&view, bitmap->width, bitmap->height, bitmap->format, bitmap->scale,
                            Bitmap_firstRow(bitmap),
                            bytes > INT32_MAX ? INT32_MAX : int32_t(bytes)))
        return;
    DrawItem *item = offscreen->bitmap->drawItem;
    item->kind = DrawItem_kindRect;
    item->paintKind = DrawItem_sourceBuffer;
    item->paint.buffer = {view, 0, 0};
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, 255};
    item->cachedRowOp = nullptr;
    DrawTarget moved{offscreen->bitmap, nullptr, wrapSub(0, clip.x0), wrapSub(0, clip.y0)};
    (void)DrawItem_render(item, nullptr, nullptr, &moved);
    PixelBuf_destroy(view);
}

// Draws a clipped piece through its region: offscreen, then composited.
int drawClipped(EngineContext *ctx, Edr_PageRec *piece, const Matrix *matrix, const Matrix *m,
                const DrawTarget *target, Rect work, uint32_t colour, uint32_t alpha,
                const DrawFlags *flags)
{
    Bitmap *bitmap = target->bitmap;
    CrossingTable *region = nullptr;
    int err = PieceClip_buildRegion(piece->layout, bitmap, matrix, &region);
    if (err || !region)
        return err;
    Rect box;
    CrossingTable_bounds(region, 1, &box);
    box = Rect{wrapAdd(box.x0, target->dx), wrapAdd(box.y0, target->dy),
               wrapAdd(box.x1, target->dx), wrapAdd(box.y1, target->dy)};
    Rect_intersect(&work, &box);
    PixelBuf *buf = nullptr;
    Bitmap *off = nullptr;
    if (!isEmpty(work)) {
        err = PixelBuf_create(&buf, work.x1 - work.x0, work.y1 - work.y0, bitmap->format,
                              bitmap->scale);
        if (!err)
            err = Bitmap_createLike(ctx, &off, buf);
        if (!err) {
            DrawTarget offscreen{off, nullptr, wrapSub(target->dx, work.x0),
                                 wrapSub(target->dy, work.y0)};
            if (alpha < 255)
                copyBelow(&offscreen, bitmap, work);
            if (alpha != 0)
                err = fillColour(&offscreen, colour, alpha);
            Rect r = pieceRect(piece);
            if (!err)
                err = View_drawItemList(ctx, piece->objects, isEmpty(r) ? nullptr : &r, m,
                                        &offscreen, flags, 0);
        }
        if (!err) {
            DrawItem *item = bitmap->drawItem;
            item->kind = DrawItem_kindCoverageMask;
            item->shape.coverage = {region, 1};
            item->paintKind = DrawItem_sourceBuffer;
            item->paint.buffer = {buf, wrapSub(work.x0, target->dx), wrapSub(work.y0, target->dy)};
            item->maskKind = DrawItem_sourceSolid;
            item->mask.solid = {Pixel_formatGrey8, 255};
            item->cachedRowOp = nullptr;
            DrawTarget composite{bitmap, &work, target->dx, target->dy};
            err = DrawItem_render(item, nullptr, nullptr, &composite);
        }
    }
    CrossingTable_free(region);
    Bitmap_destroy(off);
    PixelBuf_destroy(buf);
    return err;
}

} // namespace

void Rect_toPixels(const Rect *rect, const Matrix *matrix, int32_t dx, int32_t dy, int32_t scale,
                   Rect *out)
{
    if (Rect_isInfinite(rect)) {
        *out = *rect;
        return;
    }
    Point p[2] = {{rect->x0, rect->y0}, {wrapSub(rect->x1, 1), wrapSub(rect->y1, 1)}};
    if (matrix)
        Matrix_transformPoints(p, 2, p, matrix);
    // The product is taken in 64 bits: page coordinates times a scale
    // word overflow 32 bits for any page of real size.
    for (Point &q : p) {
        q.x = wrapAdd(dx, int32_t((int64_t(scale) * q.x) >> 16));
        q.y = wrapAdd(dy, int32_t((int64_t(scale) * q.y) >> 16));
    }
    Rect_boundPoints(out, p, 2, 1);
    out->x1 = wrapAdd(out->x1, 1);
    out->y1 = wrapAdd(out->y1, 1);
}

int Piece_coverBounds(EngineContext *ctx, const Edr_PageRec *piece, const Matrix *matrix,
                      const Bitmap *bitmap, int32_t dx, int32_t dy, Rect *out)
{
    Rect r = pieceRect(piece);
    Matrix m = *Matrix_identity();
    if (piece->layout) {
        for (const ClipEntry *e = piece->layout; e; e = e->next) {
            Rect b;
            int err =
                Edr_Draw_getBounds(ctx, e->path, e->matrix ? e->matrix : Matrix_identity(), &b);
            if (err)
                return err;
            if (isEmpty(b))
                continue;
            Rect_intersect(&r, &b);
            if (isEmpty(r)) {
                r = pieceRect(piece);
                break;
            }
        }
    } else if (piece->matrix) {
        m = *piece->matrix;
    }
    Matrix_concat(&m, matrix);
    Rect_toPixels(&r, &m, dx, dy, bitmap->scale, out);
    return Res_ok;
}

int PieceClip_buildRegion(const ClipEntry *list, Bitmap *bitmap, const Matrix *matrix,
                          CrossingTable **out)
{
    *out = nullptr;
    CrossingTable *region = nullptr;
    for (const ClipEntry *e = list; e; e = e->next) {
        Matrix m = e->matrix ? *e->matrix : *Matrix_identity();
        Matrix_translate(&m, e->dx, e->dy);
        Matrix_concat(&m, matrix);
        FillRequest request{};
        request.path = e->path;
        request.s = 1;
        request.matrix = &m;
        request.penKind = 0;
        request.pen.style = e->fillRule;
        CrossingTable *table = nullptr;
        int err = Fill_newCrossingTable(&table, &request, bitmap);
        if (err) {
            CrossingTable_free(region);
            return err;
        }
        if (!region) {
            region = table;
            continue;
        }
        CrossingTable *both = nullptr;
        err = CrossingTable_intersect(region, table, &both, 1);
        CrossingTable_free(region);
        CrossingTable_free(table);
        if (err)
            return err;
        if (!both)
            return Res_ok;
        region = both;
    }
    *out = region;
    return Res_ok;
}

int Piece_draw(EngineContext *ctx, Edr_PageRec *piece, const Matrix *matrix,
               const DrawTarget *target, const DrawFlags *flags)
{
    if (piece->buildState != Edr_PageBuild_ready)
        return Res_ok;
    Bitmap *bitmap = target->bitmap;
    Matrix m = pieceMatrix(piece, matrix);
    uint32_t colour = colourOf(piece) & 0x00FFFFFFu;
    uint32_t alpha = colourOf(piece) >> 24;
    Rect all{0, 0, bitmap->width, bitmap->height};
    Rect work;
    Rect r = pieceRect(piece);
    if (isEmpty(r)) {
        work = target->clip ? *target->clip : all;
        alpha = 0;
    } else {
        Rect_toPixels(&r, &m, target->dx, target->dy, bitmap->scale, &work);
        if (target->clip)
            Rect_intersect(&work, target->clip);
    }
    if (isEmpty(work))
        return Res_ok;
    if (piece->layout) {
        // The clip paths take the given matrix, not the piece's.
        int err = drawClipped(ctx, piece, matrix, &m, target, work, colour, alpha, flags);
        // A clip region with an empty pixel box hides the piece; the
        // chain goes on.
        return err == Res_pathEmptyArea ? Res_ok : err;
    }
    DrawTarget t{bitmap, &work, target->dx, target->dy};
    if (alpha != 0) {
        int err = fillColour(&t, colour, alpha);
        if (err)
            return err;
    }
    // An empty piece rectangle limits nothing: the target's clip does.
    return View_drawItemList(ctx, piece->objects, isEmpty(r) ? nullptr : &r, &m, &t, flags, 0);
}

int PieceChain_draw(EngineContext *ctx, Edr_PageRec *chain, const Matrix *matrix,
                    const DrawTarget *target, const DrawFlags *flags)
{
    if (!chain || !matrix || !target || !target->bitmap)
        return Res_nullInput;
    Bitmap *bitmap = target->bitmap;
    Rect c{0, 0, bitmap->width, bitmap->height};
    if (target->clip)
        Rect_intersect(&c, target->clip);
    DrawTarget working{bitmap, &c, target->dx, target->dy};
    Edr_PageRec *start = chain;
    for (Edr_PageRec *p = chain; p; p = p->nextRec) {
        if (colourOf(p) >> 24 != 255)
            continue;
        Rect cover;
        if (Piece_coverBounds(ctx, p, matrix, bitmap, target->dx, target->dy, &cover) == Res_ok &&
            Rect_contains(&cover, &c))
            start = p;
    }
    for (Edr_PageRec *p = start; p; p = p->nextRec) {
        int err = Piece_draw(ctx, p, matrix, &working, flags);
        if (err)
            return err;
    }
    return Res_ok;
}

int CoverageMask_prepare(const CoverageMaskShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy,
                         SpanRecord *spans, Rect *rect)
{
    const CrossingTable *table = shape->table;
    spans->table = PreparedTableSpans{table, shape->s, bitmap, 0, 0, wrapSub(dy, rect->y1)};
    int32_t top = wrapAdd(dy, table->yOffset >> 8);
    Rect box{wrapAdd(table->clipX0, dx), top, wrapAdd(table->clipX1, dx),
             wrapAdd(top, int32_t(table->rowCount >> shape->s))};
    Rect_intersect(rect, &box);
    spans->table.xOffset = wrapSub(rect->x0, box.x0);
    spans->table.yOffset = wrapSub(rect->y0, box.y0);
    return Res_ok;
}
