// Cell grid drawing: the cell grid item class, one path per colour, line
// shapes by style code and the empty middle third of double lines.
#include "graphics/cellgrid.h"

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "graphics/pathbounds.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "graphics/imageutil.h"
#include "graphics/stroke.h"
#include "graphics/vector.h"

namespace
{

enum : uint32_t { kSubpixels = 3 };

int32_t add(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

int32_t sub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

// The item matrix: the header's matrix with the origin added to its
// translation.
Matrix itemMatrix(const ObjHeader *item)
{
    Matrix m = item->matrix ? *item->matrix : *Matrix_identity();
    Matrix_translate(&m, item->origin[0], item->origin[1]);
    return m;
}

// Receives one line's quadrilateral with its colour and style.
typedef int (*QuadFn)(void *user, const Point *p, uint32_t colour, uint32_t style);

// The quadrilaterals of every line of the list, in drawing order, handed
// to fn.
int eachLineQuad(const GridLineList *lines, QuadFn fn, void *user)
{
    if (!lines)
        return Res_ok;
    Point p[4];
    for (uint32_t i = 0; lines->horizontal && i < lines->horizontalCount; i++) {
        const GridLine &l = lines->horizontal[i];
        CellGrid_lineQuad(&l, 1, p);
        if (int err = fn(user, p, l.colour, (l.flags & GridLine_styleMask) >> GridLine_styleShift))
            return err;
    }
    for (uint32_t i = 0; lines->vertical && i < lines->verticalCount; i++) {
        const GridLine &l = lines->vertical[i];
        CellGrid_lineQuad(&l, 0, p);
        if (int err = fn(user, p, l.colour, (l.flags & GridLine_styleMask) >> GridLine_styleShift))
            return err;
    }
    for (uint32_t i = 0; lines->slant && i < lines->slantCount; i++) {
        const GridSlantLine &l = lines->slant[i];
        CellGrid_slantQuad(&l, p);
        if (int err = fn(user, p, l.colour, l.style))
            return err;
    }
    return Res_ok;
}

struct AddLines {
    const Rect *clip;
    const Matrix *m0;
    ColourPaths **paths;
};

int addLine(void *user, const Point *p, uint32_t colour, uint32_t style)
{
    AddLines *a = static_cast<AddLines *>(user);
    int err = CellGrid_addQuad(p, a->clip, a->m0, colour, a->paths);
    if (!err && style == GridLine_styleDouble)
        err = CellGrid_addInnerThird(p, a->clip, a->m0, colour, a->paths);
    return err;
}

struct BoundLines {
    const Matrix *m0;
    Rect *box;
};

int boundLine(void *user, const Point *p, uint32_t, uint32_t)
{
    BoundLines *b = static_cast<BoundLines *>(user);
    Point q[4];
    Matrix_transformPoints(p, 4, q, b->m0);
    Rect_boundPoints(b->box, q, 4, 0);
    return Res_ok;
}

int render(EngineContext *ctx, ObjHeader *item, const Rect *clip, const Matrix *matrix,
           const DrawTarget *target, const DrawFlags *, intptr_t)
{
    CellGridPart *part = CellGrid_part(item);
    if (!part || !target)
        return Res_nullInput;
    const StageNode *stages =
        Obj_kindRecord(ctx, (item->flags & Obj_effectMask) >> Obj_effectShift);
    Matrix m0 = itemMatrix(item);
    Matrix m = m0;
    if (matrix)
        Matrix_concat(&m, matrix);

    ColourPaths *paths = nullptr;
    int err = Res_ok;
    if (const GridFillList *fills = part->fills) {
        for (uint32_t i = 0; !err && fills->entries && i < fills->count; i++)
            err = CellGrid_addQuad(fills->entries[i].corners, clip, &m0,
                                   fills->entries[i].colour, &paths);
        if (!err)
            err = ColourPaths_render(ctx, paths, &m, stages, target);
        ColourPaths_free(&paths);
    }
    AddLines add{clip, &m0, &paths};
    if (!err)
        err = eachLineQuad(part->lines, addLine, &add);
    if (!err)
        err = ColourPaths_render(ctx, paths, &m, stages, target);
    ColourPaths_free(&paths);
    return err;
}

int identify(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
             const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = CellGrid_identifier;
    return Res_ok;
}

int bounds(EngineContext *ctx, ObjHeader *item, Rect *rect)
{
    CellGridPart *part = CellGrid_part(item);
    if (!part || !rect)
        return Res_nullInput;
    Matrix m0 = itemMatrix(item);
    Rect box = Rect_emptyBound;
    Point q[4];
    if (const GridFillList *fills = part->fills)
        for (uint32_t i = 0; fills->entries && i < fills->count; i++) {
            Matrix_transformPoints(fills->entries[i].corners, 4, q, &m0);
            Rect_boundPoints(&box, q, 4, 0);
        }
    if (const GridLineList *lines = part->lines) {
        GridLineList straight = *lines;
        straight.slantCount = 0;
        BoundLines bound{&m0, &box};
        (void)eachLineQuad(&straight, boundLine, &bound);
        if (lines->slant && lines->slantCount) {
            // Slanted lines: their strokes, all in one outline, bounded
            // through the item matrix.
            Path *line = nullptr, *outline = nullptr;
            int err = Path_create(&line, 0x10000);
            if (!err)
                err = Path_create(&outline, 0x10000);
            for (uint32_t i = 0; !err && i < lines->slantCount; i++) {
                const GridSlantLine &l = lines->slant[i];
                Path_reset(line);
                err = Path_moveTo(line, l.start.x, l.start.y);
                if (!err)
                    err = Path_lineTo(line, l.end.x, l.end.y);
                Pen pen{0, l.width, 0, 0, 0, nullptr};
                if (!err)
                    err = Path_stroke(ctx, line, outline, Matrix_identity(), &pen, 0, nullptr);
            }
            Rect r = Rect_emptyBound;
            if (!err)
                err = Edr_Draw_getBounds(ctx, outline, &m0, &r);
            Path_destroy(line);
            Path_destroy(outline);
            if (err)
                return err;
            if (r.x0 <= r.x1)
                Rect_union(&box, &r);
        }
    }
    if (box.x0 <= box.x1)
        Rect_union(rect, &box);
    return Res_ok;
}

void freePart(ObjHeader *item)
{
    CellGridPart *part = static_cast<CellGridPart *>(Obj_part(item));
    GridFillList_free(part->fills);
    GridLineList_free(part->lines);
    part->fills = nullptr;
    part->lines = nullptr;
}

const ObjItemOps kOps = {render, identify, bounds};

} // namespace

const ObjClass CellGrid_class = {&kOps, int32_t(sizeof(CellGridPart)), freePart, Obj_itemPlain};

ObjHeader *CellGrid_create(GridFillList *fills, GridLineList *lines)
{
    ObjHeader *item = Obj_create(&CellGrid_class, 0);
    if (!item) {
        GridFillList_free(fills);
        GridLineList_free(lines);
        return nullptr;
    }
    *static_cast<CellGridPart *>(Obj_part(item)) = CellGridPart{fills, lines};
    Obj_setBox(item, &Rect_emptyBound);
    return item;
}

CellGridPart *CellGrid_part(ObjHeader *item)
{
    return item && item->cls == &CellGrid_class ? static_cast<CellGridPart *>(Obj_part(item))
                                                : nullptr;
}

void GridFillList_free(GridFillList *list)
{
    if (!list)
        return;
    Mem_free(list->entries);
    Mem_free(list);
}

void GridLineList_free(GridLineList *list)
{
    if (!list)
        return;
    Mem_free(list->horizontal);
    Mem_free(list->vertical);
    Mem_free(list->slant);
    Mem_free(list);
}

int32_t Path_styleExtent(int32_t width, uint32_t style)
{
    switch (style) {
    case 0:
        return 0;
    case 5:
        return width;
    case 2:
    case 8:
    case 10:
    case 12:
    case 13:
        return width / 2;
    case 7:
    case 14:
        return width / 8;
    default:
        return width / 4;
    }
}

void CellGrid_lineQuad(const GridLine *l, int horizontal, Point p[4])
{
    uint32_t style = (l->flags & GridLine_styleMask) >> GridLine_styleShift;
    int32_t e = Path_styleExtent(l->width, style);
    uint32_t start = l->flags & 3, far = (l->flags >> 2) & 3;
    if (horizontal) {
        int32_t x0 = l->a, x1 = l->b, y = l->c;
        p[0] = {x0, sub(y, e)};
        p[1] = {x1, sub(y, e)};
        p[2] = {x1, add(y, e)};
        p[3] = {x0, add(y, e)};
        if (start < 2) {
            int32_t s = start == 0 ? e : -e;
            p[0].x = add(p[0].x, s);
            p[3].x = sub(p[3].x, s);
        }
        if (far < 2) {
            int32_t s = far == 0 ? e : -e;
            p[1].x = add(p[1].x, s);
            p[2].x = sub(p[2].x, s);
        }
    } else {
        int32_t x = l->a, y0 = l->b, y1 = l->c;
        p[0] = {sub(x, e), y0};
        p[1] = {sub(x, e), y1};
        p[2] = {add(x, e), y1};
        p[3] = {add(x, e), y0};
        if (start < 2) {
            int32_t s = start == 0 ? e : -e;
            p[0].y = sub(p[0].y, s);
            p[3].y = add(p[3].y, s);
        }
        if (far < 2) {
            int32_t s = far == 0 ? e : -e;
            p[1].y = sub(p[1].y, s);
            p[2].y = add(p[2].y, s);
        }
    }
}

void CellGrid_slantQuad(const GridSlantLine *l, Point p[4])
{
    int32_t e = Path_styleExtent(l->width, l->style);
    int32_t x0 = l->start.x, y0 = l->start.y, x1 = l->end.x, y1 = l->end.y;
    int32_t dx = sub(x1, x0), dy = sub(y1, y0);
    Point turned, offset;
    Geom_rotateQuarter(&turned, x0, y0, x1, y1, 0);
    Geom_stepToward(&offset, x0, y0, turned.x, turned.y, e);
    int32_t nx = sub(offset.x, x0), ny = sub(offset.y, y0);
    p[0] = offset;
    p[1] = {add(p[0].x, dx), add(p[0].y, dy)};
    p[2] = {sub(x1, nx), sub(y1, ny)};
    p[3] = {sub(p[2].x, dx), sub(p[2].y, dy)};
}

int ColourPaths_get(ColourPaths **list, uint32_t colour, ColourPaths **out)
{
    *out = nullptr;
    for (ColourPaths *n = *list; n; n = n->next)
        if (n->colour == colour) {
            *out = n;
            return Res_ok;
        }
    ColourPaths *n = static_cast<ColourPaths *>(Mem_malloc(sizeof(ColourPaths)));
    if (!n)
        return Res_noMemory;
    *n = ColourPaths{colour, nullptr, *list};
    if (int err = Path_create(&n->path, 0x10000)) {
        Mem_free(n);
        return err;
    }
    *list = n;
    *out = n;
    return Res_ok;
}

int ColourPaths_render(EngineContext *ctx, ColourPaths *list, const Matrix *matrix,
                       const StageNode *stages, const DrawTarget *target)
{
    for (ColourPaths *n = list; n; n = n->next) {
        int err = Task_checkStop(ctx);
        if (err)
            return err;
        DrawItem *d = nullptr;
        err = DrawItem_create(&d);
        if (err)
            return err;
        d->kind = DrawItem_kindPath;
        d->shape.path = FillRequest{};
        d->shape.path.path = n->path;
        d->shape.path.s = kSubpixels;
        d->shape.path.matrix = matrix;
        d->shape.path.penKind = 0;
        d->shape.path.pen.style = Fill_ruleNonZero;
        d->paintKind = DrawItem_sourceSolid;
        d->paint.solid = {Pixel_formatRGBA, n->colour & 0x00FFFFFFu};
        d->maskKind = DrawItem_sourceSolid;
        d->mask.solid = {Pixel_formatGrey8, n->colour >> 24};
        err = DrawItem_render(d, stages, nullptr, target);
        DrawItem_destroy(d);
        if (err)
            return err;
    }
    return Res_ok;
}

void ColourPaths_free(ColourPaths **list)
{
    while (ColourPaths *n = *list) {
        *list = n->next;
        Path_destroy(n->path);
        Mem_free(n);
    }
}

int CellGrid_addQuad(const Point p[4], const Rect *clip, const Matrix *m, uint32_t colour,
                     ColourPaths **list)
{
    if (clip) {
        Point q[4];
        Matrix_transformPoints(p, 4, q, m ? m : Matrix_identity());
        Rect box;
        Rect_boundPoints(&box, q, 4, 1);
        Rect_intersect(&box, clip);
        if (box.x0 > box.x1 || box.y0 > box.y1)
            return Res_ok;
    }
    ColourPaths *node = nullptr;
    int err = ColourPaths_get(list, colour, &node);
    if (!err)
        err = Path_moveTo(node->path, p[0].x, p[0].y);
    for (int i = 1; !err && i < 4; i++)
        err = Path_lineTo(node->path, p[i].x, p[i].y);
    if (!err)
        err = Path_close(node->path);
    return err;
}

int CellGrid_addInnerThird(const Point p[4], const Rect *clip, const Matrix *m, uint32_t colour,
                           ColourPaths **list)
{
    Point d{sub(p[3].x, p[0].x) / 3, sub(p[3].y, p[0].y) / 3};
    Point e{sub(p[2].x, p[1].x) / 3, sub(p[2].y, p[1].y) / 3};
    const Point q[4] = {{sub(p[3].x, d.x), sub(p[3].y, d.y)},
                        {sub(p[2].x, e.x), sub(p[2].y, e.y)},
                        {add(p[1].x, e.x), add(p[1].y, e.y)},
                        {add(p[0].x, d.x), add(p[0].y, d.y)}};
    return CellGrid_addQuad(q, clip, m, colour, list);
}
