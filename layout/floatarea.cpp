// The float area as a list of maximal free rectangles. Occupying an
// obstacle splits every free rectangle it overlaps into the (up to four)
// maximal pieces around it; a piece inside another free rectangle is not
// kept, so the list stays a set of maximal rectangles whose union is the
// free space.
#include "layout/floatarea.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

bool isEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

bool contains(const Rect &outer, const Rect &inner)
{
    return inner.x0 >= outer.x0 && inner.y0 >= outer.y0 && inner.x1 <= outer.x1 &&
           inner.y1 <= outer.y1;
}

void resetWalk(FloatArea *area)
{
    area->cursor = 0;
    area->orderedCount = -1;
    area->lastIndex = -1;
}

// Removes the null slots, keeping the order.
void compact(FloatArea *area)
{
    int32_t n = 0;
    for (int32_t i = 0; i < area->count; i++)
        if (area->rects[i])
            area->rects[n++] = area->rects[i];
    for (int32_t i = n; i < area->count; i++)
        area->rects[i] = nullptr;
    area->count = n;
}

int append(FloatArea *area, const Rect &r)
{
    if (area->count == area->capacity) {
        size_t bytes = size_t(area->capacity) * 2 * sizeof(Rect *);
        Rect **grown = static_cast<Rect **>(Mem_realloc(area->rects, bytes));
        if (!grown)
            return Res_noMemory;
        area->rects = grown;
        area->capacity *= 2;
    }
    Rect *block = static_cast<Rect *>(Mem_malloc(sizeof(Rect)));
    if (!block)
        return Res_noMemory;
    *block = r;
    area->rects[area->count++] = block;
    return Res_ok;
}

// Adds a piece unless a free rectangle holds it already; pieces added by
// this occupation that the new one holds are dropped.
int addPiece(FloatArea *area, const Rect &piece, int32_t firstNew)
{
    for (int32_t i = 0; i < area->count; i++)
        if (area->rects[i] && contains(*area->rects[i], piece))
            return Res_ok;
    for (int32_t i = firstNew; i < area->count; i++)
        if (area->rects[i] && contains(piece, *area->rects[i])) {
            Mem_free(area->rects[i]);
            area->rects[i] = nullptr;
        }
    return append(area, piece);
}

bool sortsBefore(const Rect *a, const Rect *b, int32_t mode)
{
    if (!a || !b)
        return a && !b;
    if (a->y1 != b->y1)
        return a->y1 > b->y1;
    if (mode == FloatArea_fromRight) {
        if (a->x1 != b->x1)
            return a->x1 > b->x1;
        return a->x0 < b->x0;
    }
    if (a->x0 != b->x0)
        return a->x0 < b->x0;
    return a->x1 > b->x1;
}

// The walk key of the ordered entries: the left edge from the left, minus
// the right edge from the right. Equal keys go by the lower index first:
// the sort put the wider rectangle there, so a line above a float takes
// the full width and tries the narrow band beside the float only when it
// does not fit above it.
int64_t walkKey(const FloatArea *area, int32_t i)
{
    const Rect *r = area->rects[i];
    return area->mode == FloatArea_fromRight ? -int64_t(r->x1) : int64_t(r->x0);
}

bool keyBefore(const FloatArea *area, int32_t a, int32_t b)
{
    int64_t ka = walkKey(area, a), kb = walkKey(area, b);
    return ka != kb ? ka < kb : a < b;
}

// The index of the entry visited at walk position area->cursor.
int32_t nextIndex(const FloatArea *area)
{
    if (area->cursor >= area->count)
        return -1;
    if (area->cursor >= area->orderedCount)
        return area->cursor;
    int32_t best = -1;
    for (int32_t i = 0; i < area->orderedCount; i++) {
        if (area->cursor > 0 && !keyBefore(area, area->lastIndex, i))
            continue;
        if (best < 0 || keyBefore(area, i, best))
            best = i;
    }
    return best;
}

// Whether entry i has been visited by the walk so far.
bool visited(const FloatArea *area, int32_t i)
{
    if (area->orderedCount < 0 || area->cursor == 0)
        return false;
    if (i < area->orderedCount)
        return area->cursor > area->orderedCount || !keyBefore(area, area->lastIndex, i);
    return i < area->cursor;
}

} // namespace

int FloatArea_create(const Rect *rect, FloatArea **out)
{
    *out = nullptr;
    FloatArea *area = static_cast<FloatArea *>(Mem_calloc(1, sizeof(FloatArea)));
    if (!area)
        return Res_noMemory;
    area->capacity = 8;
    area->rects = static_cast<Rect **>(Mem_calloc(size_t(area->capacity), sizeof(Rect *)));
    Rect *plane = static_cast<Rect *>(Mem_malloc(sizeof(Rect)));
    if (!area->rects || !plane) {
        Mem_free(plane);
        Mem_free(area->rects);
        Mem_free(area);
        return Res_noMemory;
    }
    *plane = {FloatArea_openLow, FloatArea_openLow, FloatArea_openHigh, FloatArea_openHigh};
    area->rects[0] = plane;
    area->count = 1;
    area->area = *rect;
    area->band = *rect;
    area->used = Rect_emptyBound;
    area->mode = FloatArea_fromLeft;
    area->flag = 1;
    resetWalk(area);
    *out = area;
    return Res_ok;
}

void FloatArea_destroy(FloatArea *area)
{
    if (!area)
        return;
    for (int32_t i = 0; i < area->count; i++)
        Mem_free(area->rects[i]);
    Mem_free(area->rects);
    Mem_free(area);
}

void FloatArea_setBand(FloatArea *area, int32_t left, int32_t right, int32_t topInset,
                       int32_t bottomInset)
{
    int64_t width = int64_t(area->area.x1) - area->area.x0;
    int64_t limit = (width * 62259) >> 16;
    int64_t l = left, r = right;
    if (l + r > limit) {
        int64_t half = (l + r - limit) / 2;
        int64_t lRest = l - half, rRest = r - half;
        l = std::max<int64_t>(lRest, 0) + std::min<int64_t>(rRest + std::min<int64_t>(lRest, 0), 0);
        r = std::max<int64_t>(rRest + std::min<int64_t>(lRest, 0), 0);
        l = std::max<int64_t>(l, 0);
    }
    area->band.x0 = int32_t(area->area.x0 + l);
    area->band.x1 = int32_t(area->area.x1 - r);
    area->band.y0 = int32_t(int64_t(area->area.y0) + bottomInset);
    area->band.y1 = int32_t(int64_t(area->area.y1) - std::max(area->clearOffset, topInset));
    area->bandTop = topInset;
    resetWalk(area);
}

void FloatArea_first(FloatArea *area, const Rect **out, int32_t mode)
{
    if (mode != area->mode || !area->sorted) {
        area->mode = mode;
        std::sort(area->rects, area->rects + area->count,
                  [mode](const Rect *a, const Rect *b) { return sortsBefore(a, b, mode); });
        while (area->count > 0 && !area->rects[area->count - 1])
            area->count--;
        area->sorted = 1;
    }
    int32_t ordered = 0;
    while (ordered < area->count && area->rects[ordered]->y1 >= area->band.y1)
        ordered++;
    area->orderedCount = ordered == 1 ? 0 : ordered;
    area->cursor = 0;
    area->lastIndex = -1;
    FloatArea_next(area, out);
}

void FloatArea_next(FloatArea *area, const Rect **out)
{
    *out = nullptr;
    if (area->orderedCount < 0)
        return;
    for (;;) {
        int32_t i = nextIndex(area);
        if (i < 0)
            return;
        area->cursor++;
        area->lastIndex = i;
        Rect c = *area->rects[i];
        Rect_intersect(&c, &area->band);
        if (isEmpty(c))
            continue;
        area->clip = c;
        *out = &area->clip;
        return;
    }
}

int FloatArea_occupy(FloatArea *area, const Rect *rect)
{
    const Rect r = *rect;
    int32_t before = area->count;
    bool split = false;
    int result = Res_ok;
    for (int32_t i = 0; i < before && result == Res_ok; i++) {
        Rect *f = area->rects[i];
        if (!f || !(r.x0 < f->x1 && f->x0 < r.x1 && r.y0 < f->y1 && f->y0 < r.y1))
            continue;
        Rect whole = *f;
        Mem_free(f);
        area->rects[i] = nullptr;
        split = true;
        Rect pieces[4];
        int n = 0;
        if (whole.x0 < r.x0)
            pieces[n++] = {whole.x0, whole.y0, r.x0, whole.y1};
        if (whole.x1 > r.x1)
            pieces[n++] = {r.x1, whole.y0, whole.x1, whole.y1};
        if (whole.y0 < r.y0)
            pieces[n++] = {whole.x0, whole.y0, whole.x1, r.y0};
        if (whole.y1 > r.y1)
            pieces[n++] = {whole.x0, r.y1, whole.x1, whole.y1};
        for (int k = 0; k < n && result == Res_ok; k++)
            result = addPiece(area, pieces[k], before);
    }
    compact(area);
    if (split) {
        area->sorted = 0;
        resetWalk(area);
    }
    area->flag = 0;
    Rect c = r;
    Rect_intersect(&c, &area->area);
    if (!isEmpty(c)) {
        if (isEmpty(area->used))
            area->used = c;
        else
            Rect_union(&area->used, &c);
    }
    return result;
}

int FloatArea_clearTo(FloatArea *area, int32_t side)
{
    Rect band = area->band;
    int32_t bandTop = area->bandTop;
    area->band = area->area;
    area->clearOffset = 0;
    resetWalk(area);
    int32_t offset = -1;
    const Rect *clip;
    for (FloatArea_first(area, &clip, FloatArea_fromLeft); clip; FloatArea_next(area, &clip)) {
        const Rect *f = area->rects[area->lastIndex];
        bool left = f->x0 <= area->area.x0, right = f->x1 >= area->area.x1;
        if ((side == 0 && left) || (side == 1 && right) || (side == 2 && left && right)) {
            offset = int32_t(int64_t(area->area.y1) - clip->y1);
            break;
        }
    }
    // With no free space reaching the side within the area, the band
    // starts below the whole area.
    area->clearOffset = offset >= 0 ? offset : int32_t(int64_t(area->area.y1) - area->area.y0);
    area->band = band;
    area->bandTop = bandTop;
    int32_t top = int32_t(int64_t(area->area.y1) - area->clearOffset);
    if (top < area->band.y1)
        area->band.y1 = top;
    resetWalk(area);
    return Res_ok;
}

int32_t FloatArea_clearOffset(const FloatArea *area)
{
    return area->clearOffset;
}

void FloatArea_setClearOffset(FloatArea *area, int32_t offset)
{
    area->clearOffset = offset;
    area->band.y1 = int32_t(int64_t(area->area.y1) - std::max(offset, area->bandTop));
    resetWalk(area);
}

int32_t FloatArea_bandWidth(const FloatArea *area)
{
    return int32_t(uint32_t(area->band.x1) - uint32_t(area->band.x0));
}

int FloatArea_hasFurther(const FloatArea *area, const Rect *rect)
{
    for (int32_t i = 0; i < area->count; i++) {
        const Rect *f = area->rects[i];
        if (!f || visited(area, i) || f->y1 < rect->y1)
            continue;
        if (area->mode == FloatArea_fromRight ? f->x1 <= rect->x0 : f->x0 >= rect->x1)
            return 1;
    }
    return 0;
}

void FloatArea_dropFirst(FloatArea *area)
{
    if (area->count == 0)
        return;
    Mem_free(area->rects[0]);
    std::memmove(area->rects, area->rects + 1, size_t(area->count - 1) * sizeof(Rect *));
    area->rects[--area->count] = nullptr;
    resetWalk(area);
}

Rect FloatArea_usedRect(const FloatArea *area)
{
    return area->used;
}

void FloatArea_setFlag(FloatArea *area, uint32_t flag)
{
    area->flag = flag;
}

uint32_t FloatArea_getFlag(const FloatArea *area)
{
    return area->flag;
}

int32_t FloatArea_margins(const FloatArea *area, int32_t *left, int32_t *right, int32_t *topInset,
                          int32_t *bottomInset)
{
    *left = int32_t(int64_t(area->band.x0) - area->area.x0);
    *right = int32_t(int64_t(area->area.x1) - area->band.x1);
    *topInset = area->bandTop;
    *bottomInset = int32_t(int64_t(area->band.y0) - area->area.y0);
    return area->bandTop;
}
