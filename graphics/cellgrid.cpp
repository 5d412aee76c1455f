// Cell grid drawing: the cell grid item class, one path per colour, line
// shapes by style code and the empty middle third of double lines.
#include "graphics/cellgrid.h"

#include <algorithm>
#include <climits>
#include <cstring>

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

namespace {

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

// The shape lists of an item in drawing order: the fills, then the
// horizontal, vertical and slanted lines.
enum : uint32_t { kFills = 0, kHorizontal, kVertical, kSlant, kLists };

// Below this many shapes a draw walks them all: the index would not pay.
enum : uint32_t { kIndexLeast = 64 };

// How far beyond a band the index still offers a shape: the exact test of
// CellGrid_addQuad decides, the index only has to miss nothing, and the
// middle third of a double line rounds within a unit of its outer box.
enum : int64_t { kIndexSlack = 2 };

uint32_t cellgridCount(const CellGridPart *part, uint32_t kind)
{
    switch (kind) {
    case kFills: return part->fills && part->fills->entries ? part->fills->count : 0;
    case kHorizontal:
        return part->lines && part->lines->horizontal ? part->lines->horizontalCount : 0;
    case kVertical: return part->lines && part->lines->vertical ? part->lines->verticalCount : 0;
    default: return part->lines && part->lines->slant ? part->lines->slantCount : 0;
    }
}

const void *cellgridEntries(const CellGridPart *part, uint32_t kind)
{
    switch (kind) {
    case kFills: return part->fills ? part->fills->entries : nullptr;
    case kHorizontal: return part->lines ? part->lines->horizontal : nullptr;
    case kVertical: return part->lines ? part->lines->vertical : nullptr;
    default: return part->lines ? part->lines->slant : nullptr;
    }
}

// Shape i of a list: its quadrilateral as drawn, its colour and its style
// code (0 for fills).
void cellgridShape(const CellGridPart *part, uint32_t kind, uint32_t i, Point p[4],
                   uint32_t *colour, uint32_t *style)
{
    if (kind == kFills) {
        const GridFill &f = part->fills->entries[i];
        for (int k = 0; k < 4; k++)
            p[k] = f.corners[k];
        *colour = f.colour;
        *style = 0;
    } else if (kind == kSlant) {
        const GridSlantLine &l = part->lines->slant[i];
        CellGrid_slantQuad(&l, p);
        *colour = l.colour;
        *style = l.style;
    } else {
        const GridLine &l =
            kind == kHorizontal ? part->lines->horizontal[i] : part->lines->vertical[i];
        CellGrid_lineQuad(&l, kind == kHorizontal, p);
        *colour = l.colour;
        *style = (l.flags & GridLine_styleMask) >> GridLine_styleShift;
    }
}

} // namespace

// One list's shapes ordered by the top (lowest y) of their box through the
// item matrix, ties in list order: for the k-th of them its top, its
// bottom, the largest bottom of the first k + 1 (never decreasing, so a
// band finds its first candidate by halving) and its place in the list.
struct CellGridIndexList {
    uint32_t count;
    int32_t *top; // one block holding all four arrays
    int32_t *bottom;
    int32_t *reach;
    uint32_t *order;
};

// The index of every shape of an item: made for one item matrix and the
// lists as they were; a draw with another matrix, or after the lists
// changed, makes it again.
struct CellGridIndex {
    Matrix m0;
    const void *entries[kLists];
    CellGridIndexList lists[kLists];
    uint32_t most; // the largest list
};

namespace {

void cellgridIndexFree(CellGridIndex *ix)
{
    if (!ix)
        return;
    for (CellGridIndexList &l : ix->lists)
        Mem_free(l.top);
    Mem_free(ix);
}

int cellgridIndexList(const CellGridPart *part, uint32_t kind, const Matrix *m0,
                      CellGridIndexList *out)
{
    uint32_t n = cellgridCount(part, kind);
    out->count = n;
    if (!n)
        return Res_ok;
    void *block = Mem_malloc(size_t(n) * (3 * sizeof(int32_t) + sizeof(uint32_t)));
    int32_t *tops = static_cast<int32_t *>(Mem_malloc(size_t(n) * 2 * sizeof(int32_t)));
    if (!block || !tops) {
        Mem_free(block);
        Mem_free(tops);
        return Res_noMemory;
    }
    out->top = static_cast<int32_t *>(block);
    out->bottom = out->top + n;
    out->reach = out->bottom + n;
    out->order = reinterpret_cast<uint32_t *>(out->reach + n);
    int32_t *bottoms = tops + n;
    for (uint32_t i = 0; i < n; i++) {
        Point p[4], q[4];
        uint32_t colour, style;
        cellgridShape(part, kind, i, p, &colour, &style);
        Matrix_transformPoints(p, 4, q, m0);
        Rect box;
        Rect_boundPoints(&box, q, 4, 1);
        tops[i] = box.y0;
        bottoms[i] = box.y1;
        out->order[i] = i;
    }
    std::sort(out->order, out->order + n, [tops](uint32_t a, uint32_t b) {
        return tops[a] < tops[b] || (tops[a] == tops[b] && a < b);
    });
    int32_t reach = INT32_MIN;
    for (uint32_t k = 0; k < n; k++) {
        uint32_t i = out->order[k];
        out->top[k] = tops[i];
        out->bottom[k] = bottoms[i];
        reach = std::max(reach, bottoms[i]);
        out->reach[k] = reach;
    }
    Mem_free(tops);
    return Res_ok;
}

// The item's index for the item matrix m0, made (again) when missing or
// stale; null for small items and when memory runs out (a draw then walks
// every shape).
CellGridIndex *cellgridIndexFor(CellGridPart *part, const Matrix *m0)
{
    uint32_t total = 0;
    for (uint32_t kind = 0; kind < kLists; kind++)
        total += cellgridCount(part, kind);
    if (total < kIndexLeast)
        return nullptr;
    if (CellGridIndex *ix = part->index) {
        bool same = std::memcmp(&ix->m0, m0, sizeof(Matrix)) == 0;
        for (uint32_t kind = 0; same && kind < kLists; kind++)
            same = ix->entries[kind] == cellgridEntries(part, kind) &&
                   ix->lists[kind].count == cellgridCount(part, kind);
        if (same)
            return ix;
        cellgridIndexFree(ix);
        part->index = nullptr;
    }
    CellGridIndex *ix = static_cast<CellGridIndex *>(Mem_calloc(1, sizeof(CellGridIndex)));
    if (!ix)
        return nullptr;
    ix->m0 = *m0;
    for (uint32_t kind = 0; kind < kLists; kind++) {
        ix->entries[kind] = cellgridEntries(part, kind);
        if (cellgridIndexList(part, kind, m0, &ix->lists[kind])) {
            cellgridIndexFree(ix);
            return nullptr;
        }
        ix->most = std::max(ix->most, ix->lists[kind].count);
    }
    part->index = ix;
    return ix;
}

// Marks a query whose band reaches most of the list: walk it all.
enum : uint32_t { kWalkAll = UINT32_MAX };

// The places in the list of the shapes whose boxes may reach the rows of
// clip, in list order, into out; their number, or kWalkAll.
uint32_t cellgridIndexQuery(const CellGridIndexList *l, const Rect *clip, uint32_t *out)
{
    int64_t low = int64_t(clip->y0) - kIndexSlack, high = int64_t(clip->y1) + kIndexSlack;
    uint32_t n = l->count;
    uint32_t end =
        uint32_t(std::upper_bound(l->top, l->top + n, high,
                                  [](int64_t v, int32_t top) { return v < int64_t(top); }) -
                 l->top);
    uint32_t start =
        uint32_t(std::lower_bound(l->reach, l->reach + n, low,
                                  [](int32_t reach, int64_t v) { return int64_t(reach) < v; }) -
                 l->reach);
    // One long shape early in the order (a column's border running down
    // the whole sheet) keeps start near the front for every band: the
    // bottoms still pass over the shapes that end above the band, which
    // costs far less than testing each shape's corners.
    uint32_t m = 0;
    for (uint32_t k = start; k < end; k++)
        if (int64_t(l->bottom[k]) >= low)
            out[m++] = l->order[k];
    if (m > n / 2)
        return kWalkAll;
    std::sort(out, out + m);
    return m;
}

// Whether the box of quadrilateral p through the item matrix meets clip
// (null: no clip), as CellGrid_addQuad decides.
bool cellgridMeets(const Point p[4], const Rect *clip, const Matrix *m0)
{
    if (!clip)
        return true;
    Point q[4];
    Matrix_transformPoints(p, 4, q, m0);
    Rect box;
    Rect_boundPoints(&box, q, 4, 1);
    Rect_intersect(&box, clip);
    return box.x0 <= box.x1 && box.y0 <= box.y1;
}

// Whether a matrix keeps horizontal and vertical lines horizontal and
// vertical (a scale, a mirror or a quarter turn): each device coordinate
// then depends on one path coordinate only, so points on one axis-parallel
// line stay on one device line exactly.
bool cellgridAxisKeeping(const Matrix &m)
{
    return (m.b == 0 && m.c == 0) || (m.a == 0 && m.d == 0);
}

// Strictly monotone: a0, a1, b1 in ascending or in descending order.
bool cellgridRuns(int32_t a0, int32_t a1, int32_t b1)
{
    return (a0 < a1 && a1 < b1) || (a0 > a1 && a1 > b1);
}

// Joins quadrilateral b onto a when b continues a along one axis: b's
// first and last corners are a's second and third (so the side they share
// is the same segment run both ways), and a's sides from corner 0 to 1 and
// from 3 to 2 carry on straight, in the same direction, to b's corners 1
// and 2. Under a matrix that keeps the axes (cellgridAxisKeeping), the
// joined shape crosses every sub-row at the same places as the two did,
// less the shared side's crossings, which cancel under non-zero winding:
// a row of filled cells of one colour becomes one rectangle, two
// crossings per sub-row instead of two per cell.
bool cellgridJoin(Point a[4], const Point b[4])
{
    if (a[1].x != b[0].x || a[1].y != b[0].y || a[2].x != b[3].x || a[2].y != b[3].y)
        return false;
    bool alongX = a[0].y == a[1].y && b[1].y == a[1].y && a[3].y == a[2].y && b[2].y == a[2].y &&
                  cellgridRuns(a[0].x, a[1].x, b[1].x) && cellgridRuns(a[3].x, a[2].x, b[2].x);
    bool alongY = a[0].x == a[1].x && b[1].x == a[1].x && a[3].x == a[2].x && b[2].x == a[2].x &&
                  cellgridRuns(a[0].y, a[1].y, b[1].y) && cellgridRuns(a[3].y, a[2].y, b[2].y);
    if (!alongX && !alongY)
        return false;
    a[1] = b[1];
    a[2] = b[2];
    return true;
}

// Adds the shapes of one list that meet clip to their colours' paths, in
// list order; with an index only the shapes it offers are tested. When
// join is set, a shape that continues the one before it in the same colour
// (cellgridJoin) is added as part of it: the path is filled to the same
// pixels with fewer edges. The middle third of a double line keeps its own
// shape and its outer one is never joined, so that it stays empty.
int cellgridAddList(const CellGridPart *part, uint32_t kind, const CellGridIndex *ix,
                    uint32_t *picked, const Rect *clip, const Matrix *m0, bool join,
                    ColourPaths **paths)
{
    uint32_t n = cellgridCount(part, kind);
    uint32_t m = ix && n ? cellgridIndexQuery(&ix->lists[kind], clip, picked) : kWalkAll;
    if (m != kWalkAll)
        n = m;
    Point run[4];
    uint32_t runColour = 0;
    bool running = false;
    for (uint32_t j = 0; j < n; j++) {
        Point p[4];
        uint32_t colour, style;
        cellgridShape(part, kind, m == kWalkAll ? j : picked[j], p, &colour, &style);
        if (!cellgridMeets(p, clip, m0))
            continue;
        const bool doubled = kind != kFills && style == GridLine_styleDouble;
        if (running && !doubled && colour == runColour && cellgridJoin(run, p))
            continue;
        int err = running ? CellGrid_addQuad(run, nullptr, m0, runColour, paths) : Res_ok;
        running = false;
        if (!err && join && !doubled) {
            for (int k = 0; k < 4; k++)
                run[k] = p[k];
            runColour = colour;
            running = true;
            continue;
        }
        if (!err)
            err = CellGrid_addQuad(p, nullptr, m0, colour, paths);
        if (!err && doubled)
            err = CellGrid_addInnerThird(p, clip, m0, colour, paths);
        if (err)
            return err;
    }
    return running ? CellGrid_addQuad(run, nullptr, m0, runColour, paths) : Res_ok;
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

    // Under a clip (a band), an index by vertical position offers only the
    // shapes that may reach it; the exact test stays CellGrid_addQuad's.
    CellGridIndex *ix = clip ? cellgridIndexFor(part, &m0) : nullptr;
    uint32_t *picked = nullptr, room = ix ? ix->most : 0;
    if (ix) {
        picked = static_cast<uint32_t *>(Mem_malloc(size_t(room) * sizeof(uint32_t)));
        if (!picked)
            ix = nullptr;
    }
    const bool join = cellgridAxisKeeping(m);
    ColourPaths *paths = nullptr;
    int err = Res_ok;
    if (part->fills) {
        err = cellgridAddList(part, kFills, ix, picked, clip, &m0, join, &paths);
        if (!err)
            err = ColourPaths_render(ctx, paths, &m, stages, target);
        ColourPaths_free(&paths);
    }
    // Drawing the fills may have yielded to another task that drew the item
    // under another matrix and made the index again: ask for it afresh.
    if (ix) {
        ix = cellgridIndexFor(part, &m0);
        if (ix && ix->most > room)
            ix = nullptr;
    }
    for (uint32_t kind = kHorizontal; !err && kind < kLists; kind++)
        err = cellgridAddList(part, kind, ix, picked, clip, &m0, join, &paths);
    Mem_free(picked);
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
    cellgridIndexFree(part->index);
    part->fills = nullptr;
    part->lines = nullptr;
    part->index = nullptr;
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
    *static_cast<CellGridPart *>(Obj_part(item)) = CellGridPart{fills, lines, nullptr};
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
    case 0: return 0;
    case 5: return width;
    case 2:
    case 8:
    case 10:
    case 12:
    case 13: return width / 2;
    case 7:
    case 14: return width / 8;
    default: return width / 4;
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
