// Item-list walks (see itemwalk.h).
#include "graphics/itemwalk.h"

#include <algorithm>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "graphics/bitmap.h"
#include "graphics/drawflags.h"
#include "graphics/drawitem.h"

namespace {

bool itemwalkEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

int32_t itemwalkClamp(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

// (v - origin + grow) x 65536 / scale, in 64 bits.
int32_t itemwalkToItemUnits(int32_t v, int32_t origin, int32_t grow, int32_t scale)
{
    return itemwalkClamp(((int64_t(v) - origin + grow) * 65536) / scale);
}

// Whether an item is walked at all: not hidden, and its shown box meets the
// clip.
bool itemwalkShown(const ObjHeader *item, const Rect &clip, Rect *box)
{
    if (item->flags & Obj_hidden)
        return false;
    *box = Obj_shownBox(item);
    Rect_intersect(box, &clip);
    return !itemwalkEmpty(*box);
}

// The walk's area: the target's drawing area in item units cut to the
// clip. False when it is empty.
bool itemwalkArea(const Rect *clip, const Matrix *matrix, const DrawTarget *target, Rect *area)
{
    View_itemClip(target, matrix, area);
    if (clip)
        Rect_intersect(area, clip);
    return !itemwalkEmpty(*area);
}

} // namespace

void View_itemClip(const DrawTarget *target, const Matrix *matrix, Rect *out)
{
    const Bitmap *b = target->bitmap;
    Rect px =
        b ? Rect{0, 0, b->width, b->height} : Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    if (target->clip)
        Rect_intersect(&px, target->clip);
    int32_t scale = b && b->scale > 0 ? b->scale : 0x10000;
    Rect u{itemwalkToItemUnits(px.x0, target->dx, -1, scale),
           itemwalkToItemUnits(px.y0, target->dy, -1, scale),
           itemwalkToItemUnits(px.x1, target->dx, 1, scale),
           itemwalkToItemUnits(px.y1, target->dy, 1, scale)};
    Point corners[4];
    Rect_toQuad(corners, &u);
    for (Point &p : corners)
        Matrix_untransformPoint(&p, p.x, p.y, matrix);
    Rect_boundPoints(out, corners, 4, 1);
}

namespace {

// Draws one item of a walk when it is shown in the area. 0, or
// Res_stopRequested when the walk ends.
int itemwalkDrawOne(EngineContext *ctx, ObjHeader *item, const Rect &area, const Matrix *matrix,
                    const DrawTarget *target, const DrawFlags *flags, intptr_t extra, bool poll)
{
    Rect box;
    if (!itemwalkShown(item, area, &box))
        return Res_ok;
    if (poll) {
        int r = Task_checkStop(ctx);
        if (r == Res_stopRequested)
            return r;
        if (r)
            return Res_ok;
    }
    const ObjItemOps *ops = Obj_itemOps(item);
    if (!ops || !ops->draw)
        return Res_ok;
    // One bad item must not blank the page: only a stop ends the walk.
    if (ops->draw(ctx, item, &area, matrix, target, flags, extra) == Res_stopRequested)
        return Res_stopRequested;
    return Res_ok;
}

// The first poll of a walk: 0 to go on, else the walk's result.
int itemwalkStartPoll(EngineContext *ctx, const DrawFlags *flags, bool *poll)
{
    *poll = !flags || !(flags->flags & DrawFlags_noPoll);
    return *poll ? Task_checkStop(ctx) : Res_ok;
}

} // namespace

// The items of a list, in list order, and the vertical extents of their
// shown boxes ordered by their lower edge (ties in list order): for the
// k-th of them its lower edge, its upper edge, the largest upper edge of
// the first k + 1 (never decreasing, so that an area finds its first
// candidate by halving) and its place in the list. Items whose box is
// empty can never be shown and are left out of the extents.
struct ItemIndex {
    uint32_t count;    // items in the list
    uint32_t boxed;    // entries of the extents
    ObjHeader **items; // count items, in list order
    int32_t *low;      // boxed entries each; one block with items
    int32_t *high;
    int32_t *reach;
    uint32_t *place;
    uint32_t *picked; // room for boxed places, filled per draw
};

int ItemIndex_create(ObjHeader *first, ItemIndex **out)
{
    *out = nullptr;
    // Lists beyond this are walked as they are: the sizes stay in 32 bits.
    const uint32_t most = UINT32_MAX / 64;
    uint32_t count = 0;
    for (ObjHeader *item = first; item; item = Obj_next(item))
        if (++count > most)
            return Res_ok;
    if (count < ItemIndex_least)
        return Res_ok;
    ItemIndex *ix = static_cast<ItemIndex *>(Mem_calloc(1, sizeof(ItemIndex)));
    void *block = ix ? Mem_malloc(size_t(count) * (sizeof(ObjHeader *) + 5 * 4)) : nullptr;
    int32_t *gathered = block ? static_cast<int32_t *>(Mem_malloc(size_t(count) * 3 * 4)) : nullptr;
    if (!gathered) {
        Mem_free(block);
        Mem_free(ix);
        return Res_noMemory;
    }
    ix->count = count;
    ix->items = static_cast<ObjHeader **>(block);
    ix->low = reinterpret_cast<int32_t *>(ix->items + count);
    ix->high = ix->low + count;
    ix->reach = ix->high + count;
    ix->place = reinterpret_cast<uint32_t *>(ix->reach + count);
    ix->picked = ix->place + count;
    // The boxed items' extents and places in list order, then ordered by
    // the lower edge through a permutation (ties keep list order).
    int32_t *lows = gathered, *highs = gathered + count;
    uint32_t *places = reinterpret_cast<uint32_t *>(gathered + 2 * size_t(count));
    uint32_t n = 0, k = 0;
    for (ObjHeader *item = first; item; item = Obj_next(item), k++) {
        ix->items[k] = item;
        Rect box = Obj_shownBox(item);
        if (itemwalkEmpty(box))
            continue;
        lows[n] = box.y0;
        highs[n] = box.y1;
        places[n++] = k;
    }
    ix->boxed = n;
    uint32_t *perm = ix->picked;
    for (uint32_t i = 0; i < n; i++)
        perm[i] = i;
    std::sort(perm, perm + n, [lows](uint32_t a, uint32_t b) {
        return lows[a] < lows[b] || (lows[a] == lows[b] && a < b);
    });
    int32_t top = INT32_MIN;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t j = perm[i];
        ix->low[i] = lows[j];
        ix->high[i] = highs[j];
        ix->place[i] = places[j];
        top = std::max(top, highs[j]);
        ix->reach[i] = top;
    }
    Mem_free(gathered);
    *out = ix;
    return Res_ok;
}

void ItemIndex_free(ItemIndex *index)
{
    if (!index)
        return;
    Mem_free(index->items);
    Mem_free(index);
}

int View_drawIndexedList(EngineContext *ctx, const ItemIndex *index, ObjHeader *first,
                         const Rect *clip, const Matrix *matrix, const DrawTarget *target,
                         const DrawFlags *flags, intptr_t extra)
{
    uint32_t from = 0;
    if (index && index->count && first != index->items[0])
        from = index->count > 1 && first == index->items[1] ? 1 : UINT32_MAX;
    if (!index || !first || from == UINT32_MAX)
        return View_drawItemList(ctx, first, clip, matrix, target, flags, extra);
    bool poll = false;
    if (int r = itemwalkStartPoll(ctx, flags, &poll))
        return r;
    Rect area;
    if (!itemwalkArea(clip, matrix, target, &area))
        return Res_ok;
    // The entries whose lower edge lies below the area's top and whose
    // upper edge lies above its bottom, back in list order.
    const uint32_t n = index->boxed;
    uint32_t end = uint32_t(std::lower_bound(index->low, index->low + n, area.y1) - index->low);
    uint32_t start =
        uint32_t(std::upper_bound(index->reach, index->reach + n, area.y0) - index->reach);
    uint32_t *picked = index->picked, m = 0;
    for (uint32_t k = start; k < end; k++)
        if (index->high[k] > area.y0 && index->place[k] >= from)
            picked[m++] = index->place[k];
    std::sort(picked, picked + m);
    for (uint32_t j = 0; j < m; j++) {
        if (itemwalkDrawOne(ctx, index->items[picked[j]], area, matrix, target, flags, extra,
                            poll) == Res_stopRequested)
            return Res_stopRequested;
    }
    return Res_ok;
}

int View_drawItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip, const Matrix *matrix,
                      const DrawTarget *target, const DrawFlags *flags, intptr_t extra)
{
    bool poll = false;
    if (int r = itemwalkStartPoll(ctx, flags, &poll))
        return r;
    Rect area;
    if (!first || !itemwalkArea(clip, matrix, target, &area))
        return Res_ok;
    for (ObjHeader *item = first; item; item = Obj_next(item))
        if (itemwalkDrawOne(ctx, item, area, matrix, target, flags, extra, poll) ==
            Res_stopRequested)
            return Res_stopRequested;
    return Res_ok;
}

int View_measureItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip,
                         const Matrix *matrix, const DrawTarget *target, const DrawFlags *flags,
                         uint32_t *amount)
{
    *amount = first ? 0 : 0x10000;
    Rect area;
    if (!first || !itemwalkArea(clip, matrix, target, &area))
        return Res_ok;
    uint64_t limit = flags ? uint32_t(flags->cost[DrawCost_limit]) : UINT32_MAX;
    uint64_t sum = 0;
    for (ObjHeader *item = first; item && sum <= limit; item = Obj_next(item)) {
        Rect box;
        if (!itemwalkShown(item, area, &box))
            continue;
        const ObjItemOps *ops = Obj_itemOps(item);
        // An identifier word is not a cost: counting it put a plain text
        // page over any budget.
        if (!ops || !ops->measure || !ops->measuresCost)
            continue;
        uint32_t one = 0;
        int r = ops->measure(ctx, item, &area, matrix, target, flags, &one);
        if (r) {
            *amount = sum > UINT32_MAX ? UINT32_MAX : uint32_t(sum);
            return r;
        }
        sum += one;
    }
    *amount = sum > UINT32_MAX ? UINT32_MAX : uint32_t(sum);
    return Res_ok;
}

void DrawFlags_clear(EngineContext *, DrawFlags *flags)
{
    flags->flags = 0;
    flags->lead = 0;
    for (int32_t &q : flags->quality)
        q = 0;
    flags->trail = 0;
}
