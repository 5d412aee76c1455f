// Update-rectangle lists and the outline of their union.
//
// The outline walk runs over the grid that the rectangles' edges make: the
// distinct x and y edges cut the plane into cells, each either covered by
// some rectangle or not. A walk follows the boundary between covered and
// uncovered cells with the covered side on its right, corner by corner: at
// each grid point it turns back (left) when the cell ahead on its left is
// covered, goes on when the cell ahead on its right is covered, and turns
// forward (right) otherwise. Every turn is a corner of the outline. Each
// boundary edge is walked once, so overlapping rectangles merge into one
// outline as they are walked, and a hole that rectangles enclose gets an
// outline of its own running the other way. Rectangles touching only at a
// corner are walked as one outline through that corner.
#include "graphics/rectlist.h"

#include <algorithm>
#include <cstring>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/path.h"

namespace {

// Internal result: a limit was reached, the bounding rectangle is used.
constexpr int kLimitReached = -1;

bool overlapsClosed(const RectList *a, const RectList *b)
{
    return a->x0 <= b->x1 && a->x1 >= b->x0 && a->y0 <= b->y1 && a->y1 >= b->y0;
}

bool inside(const RectList *inner, const RectList *outer)
{
    return inner->x0 >= outer->x0 && inner->y0 >= outer->y0 && inner->x1 <= outer->x1 &&
           inner->y1 <= outer->y1;
}

bool isEmpty(const RectList *r)
{
    return r->x0 >= r->x1 || r->y0 >= r->y1;
}

void unlinkAndFree(RectList **first, RectList *n)
{
    if (n->prev)
        n->prev->next = n->next;
    else
        *first = n->next;
    if (n->next)
        n->next->prev = n->prev;
    Mem_free(n);
}

// Marks unused every rectangle that lies inside another used one.
void pruneContained(RectList *list)
{
    for (RectList *a = list; a; a = a->next) {
        if (!a->used)
            continue;
        for (RectList *b = a->next; b && a->used; b = b->next) {
            if (!b->used)
                continue;
            if (inside(b, a))
                b->used = 0;
            else if (inside(a, b))
                a->used = 0;
        }
    }
}

// ------------------------------------------------------------- the grid

struct Grid {
    int32_t *xs; // distinct x edges, ascending
    int32_t *ys;
    uint32_t nx, ny;  // edge counts; cells are (nx - 1) by (ny - 1)
    uint64_t *cover;  // a bit per cell, rows of rowWords words
    uint64_t *walked; // a bit per horizontal edge (ny rows), walked already
    uint32_t rowWords;
};

uint32_t sortUnique(int32_t *v, uint32_t n)
{
    std::sort(v, v + n);
    return uint32_t(std::unique(v, v + n) - v);
}

uint32_t indexOf(const int32_t *v, uint32_t n, int32_t value)
{
    return uint32_t(std::lower_bound(v, v + n, value) - v);
}

bool testBit(const uint64_t *bits, uint32_t rowWords, uint32_t i, uint32_t j)
{
    return (bits[size_t(j) * rowWords + i / 64] >> (i % 64)) & 1;
}

void setBit(uint64_t *bits, uint32_t rowWords, uint32_t i, uint32_t j)
{
    bits[size_t(j) * rowWords + i / 64] |= uint64_t(1) << (i % 64);
}

// Sets bits i0 .. i1 - 1 of row j.
void setRange(uint64_t *bits, uint32_t rowWords, uint32_t i0, uint32_t i1, uint32_t j)
{
    uint64_t *row = bits + size_t(j) * rowWords;
    while (i0 < i1) {
        uint32_t w = i0 / 64, b = i0 % 64;
        uint32_t n = std::min<uint32_t>(64 - b, i1 - i0);
        uint64_t mask = (n == 64 ? ~uint64_t(0) : ((uint64_t(1) << n) - 1)) << b;
        row[w] |= mask;
        i0 += n;
    }
}

// Cell (i, j) covered; cells outside the grid are not.
bool covered(const Grid *g, int64_t i, int64_t j)
{
    if (i < 0 || j < 0 || i >= int64_t(g->nx) - 1 || j >= int64_t(g->ny) - 1)
        return false;
    return testBit(g->cover, g->rowWords, uint32_t(i), uint32_t(j));
}

void freeGrid(Grid *g)
{
    Mem_free(g->xs);
    Mem_free(g->ys);
    Mem_free(g->cover);
    Mem_free(g->walked);
}

// Builds the grid of the used, non-empty rectangles. 0; 1 when memory runs
// out; kLimitReached when the grid would pass RectList_maxCells.
int buildGrid(RectList *list, Grid *g)
{
    memset(g, 0, sizeof *g);
    uint32_t n = 0;
    for (RectList *r = list; r; r = r->next)
        if (r->used && !isEmpty(r))
            n++;
    if (n == 0)
        return Res_ok;
    g->xs = static_cast<int32_t *>(Mem_malloc(size_t(n) * 2 * sizeof(int32_t)));
    g->ys = static_cast<int32_t *>(Mem_malloc(size_t(n) * 2 * sizeof(int32_t)));
    if (!g->xs || !g->ys)
        return Res_noMemory;
    uint32_t k = 0;
    for (RectList *r = list; r; r = r->next) {
        if (!r->used || isEmpty(r))
            continue;
        g->xs[k] = r->x0, g->xs[k + 1] = r->x1;
        g->ys[k] = r->y0, g->ys[k + 1] = r->y1;
        k += 2;
    }
    g->nx = sortUnique(g->xs, k);
    g->ny = sortUnique(g->ys, k);
    if (uint64_t(g->nx - 1) * (g->ny - 1) > RectList_maxCells)
        return kLimitReached;
    g->rowWords = (g->nx + 63) / 64;
    g->cover =
        static_cast<uint64_t *>(Mem_calloc(size_t(g->rowWords) * (g->ny - 1), sizeof(uint64_t)));
    g->walked = static_cast<uint64_t *>(Mem_calloc(size_t(g->rowWords) * g->ny, sizeof(uint64_t)));
    if (!g->cover || !g->walked)
        return Res_noMemory;
    for (RectList *r = list; r; r = r->next) {
        if (!r->used || isEmpty(r))
            continue;
        uint32_t i0 = indexOf(g->xs, g->nx, r->x0), i1 = indexOf(g->xs, g->nx, r->x1);
        uint32_t j0 = indexOf(g->ys, g->ny, r->y0), j1 = indexOf(g->ys, g->ny, r->y1);
        for (uint32_t j = j0; j < j1; j++)
            setRange(g->cover, g->rowWords, i0, i1, j);
        r->merged = 1;
    }
    return Res_ok;
}

// ------------------------------------------------------------- the walk

// Directions: 0 +x, 1 +y, 2 -x, 3 -y (y grows downwards). The cells ahead
// of grid point (i, j) on the left and on the right of each direction, as
// offsets from the point: the cell (i + dx, j + dy).
const int8_t kAheadLeft[4][2] = {{0, -1}, {0, 0}, {-1, 0}, {-1, -1}};
const int8_t kAheadRight[4][2] = {{0, 0}, {-1, 0}, {-1, -1}, {0, -1}};
const int8_t kStep[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};

enum WalkResult { Walk_closed, Walk_tooLong };

// Walks one boundary from grid point (i, j), leaving it in direction d
// along an unwalked horizontal edge, and appends its corners to path as a
// closed subpath. *err gets a path error.
WalkResult walkOutline(Grid *g, Path *path, int64_t i, int64_t j, uint32_t d, int *err)
{
    const int64_t startI = i, startJ = j;
    const uint32_t startD = d;
    uint32_t corners = 0;
    // Every boundary edge is walked at most once: a walk longer than the
    // grid has edges cannot happen, and is cut short all the same.
    uint64_t steps = 0, maxSteps = 2 * uint64_t(g->nx) * g->ny + 4;
    *err = Res_ok;
    for (;;) {
        if (++steps > maxSteps)
            return Walk_tooLong;
        // Take the edge in direction d; horizontal edges are marked walked.
        if (d == 0)
            setBit(g->walked, g->rowWords, uint32_t(i), uint32_t(j));
        else if (d == 2)
            setBit(g->walked, g->rowWords, uint32_t(i - 1), uint32_t(j));
        i += kStep[d][0];
        j += kStep[d][1];
        uint32_t nd = d;
        if (covered(g, i + kAheadLeft[d][0], j + kAheadLeft[d][1]))
            nd = (d + 3) & 3;
        else if (!covered(g, i + kAheadRight[d][0], j + kAheadRight[d][1]))
            nd = (d + 1) & 3;
        if (nd != d) {
            if (++corners >= RectList_maxSteps)
                return Walk_tooLong;
            int32_t x = g->xs[i], y = g->ys[j];
            *err = corners == 1 ? Path_moveTo(path, x, y) : Path_lineTo(path, x, y);
            if (*err)
                return Walk_closed;
        }
        d = nd;
        if (i == startI && j == startJ && d == startD)
            break;
    }
    *err = Path_close(path);
    return Walk_closed;
}

// Walks every boundary of the grid. 0, kLimitReached, or a path error.
int walkAll(Grid *g, Path *path)
{
    uint32_t outlines = 0;
    for (uint32_t j = 0; j < g->ny; j++) {
        for (uint32_t i = 0; i + 1 < g->nx; i++) {
            bool below = covered(g, i, j), above = covered(g, i, int64_t(j) - 1);
            if (below == above || testBit(g->walked, g->rowWords, i, j))
                continue;
            if (++outlines >= RectList_maxOutlines)
                return kLimitReached;
            int err;
            // Covered below: the edge runs +x from its left end; covered
            // above: -x from its right end.
            WalkResult w = below ? walkOutline(g, path, i, j, 0, &err)
                                 : walkOutline(g, path, i + 1, j, 2, &err);
            if (err)
                return err;
            if (w == Walk_tooLong)
                return kLimitReached;
        }
    }
    return Res_ok;
}

} // namespace

int RectList_create(RectList **out)
{
    *out = static_cast<RectList *>(Mem_calloc(1, sizeof(RectList)));
    return *out ? Res_ok : Res_noMemory;
}

void RectList_clear(RectList *list)
{
    RectList *n = list->next;
    while (n) {
        RectList *next = n->next;
        Mem_free(n);
        n = next;
    }
    memset(list, 0, sizeof *list);
}

void RectList_destroy(RectList **list)
{
    if (!list || !*list)
        return;
    RectList_clear(*list);
    Mem_free(*list);
    *list = nullptr;
}

int RectList_add(RectList *list, uint32_t tag, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    RectList *n = list;
    if (list->used) {
        n = static_cast<RectList *>(Mem_calloc(1, sizeof(RectList)));
        if (!n)
            return Res_noMemory;
        RectList *tail = list;
        while (tail->next)
            tail = tail->next;
        tail->next = n;
        n->prev = tail;
    }
    n->x0 = x0, n->y0 = y0, n->x1 = x1, n->y1 = y1;
    n->tag = tag;
    n->used = 1;
    n->merged = 0;
    return Res_ok;
}

void RectList_bounds(const RectList *list, Rect *out)
{
    *out = {list->x0, list->y0, list->x1, list->y1};
    for (const RectList *n = list->next; n; n = n->next) {
        out->x0 = std::min(out->x0, n->x0);
        out->y0 = std::min(out->y0, n->y0);
        out->x1 = std::max(out->x1, n->x1);
        out->y1 = std::max(out->y1, n->y1);
    }
}

int RectList_forEach(RectList *list, RectListFn fn, void *context)
{
    for (RectList *n = list; n; n = n->next) {
        if (!n->used)
            continue;
        if (int r = fn(n, n->tag, context))
            return r;
    }
    return Res_ok;
}

void RectList_keepTag(RectList **list, uint32_t tag)
{
    bool any = false;
    for (RectList *n = *list; n; n = n->next) {
        n->merged = n->tag == tag;
        any = any || n->merged;
    }
    if (!any)
        return;
    for (bool changed = true; changed;) {
        changed = false;
        for (RectList *n = *list; n; n = n->next) {
            if (n->merged)
                continue;
            for (RectList *m = *list; m; m = m->next) {
                if (m->merged && overlapsClosed(n, m)) {
                    n->merged = 1;
                    changed = true;
                    break;
                }
            }
        }
    }
    for (RectList *n = *list; n;) {
        RectList *next = n->next;
        if (!n->merged)
            unlinkAndFree(list, n);
        n = next;
    }
}

int RectList_toPath(RectList *list, Path **out)
{
    *out = nullptr;
    if (!list->next && !list->used && list->x0 == 0 && list->y0 == 0 && list->x1 == 0 &&
        list->y1 == 0)
        return Res_ok;
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (err)
        return err;
    for (RectList *n = list; n; n = n->next) {
        n->used = 1;
        n->merged = 0;
    }
    pruneContained(list);
    Grid g;
    err = buildGrid(list, &g);
    if (err == Res_ok && g.nx > 0)
        err = walkAll(&g, path);
    freeGrid(&g);
    if (err == kLimitReached) {
        // Too crowded for outlines: the bounding rectangle instead.
        Rect bounds;
        RectList_bounds(list, &bounds);
        err = Res_ok;
        if (bounds.x0 < bounds.x1 && bounds.y0 < bounds.y1) {
            Path_reset(path);
            err = Path_addRect(path, &bounds);
        }
    }
    if (err) {
        Path_destroy(path);
        return err;
    }
    *out = path;
    return Res_ok;
}
