// Item-list walks (see itemwalk.h).
#include "graphics/itemwalk.h"

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/result.h"
#include "core/task/task.h"
#include "graphics/bitmap.h"
#include "graphics/drawflags.h"
#include "graphics/drawitem.h"

namespace
{

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
    Rect u{itemwalkToItemUnits(px.x0, target->dx, -1, scale), itemwalkToItemUnits(px.y0, target->dy, -1, scale),
           itemwalkToItemUnits(px.x1, target->dx, 1, scale), itemwalkToItemUnits(px.y1, target->dy, 1, scale)};
    Point corners[4];
    Rect_toQuad(corners, &u);
    for (Point &p : corners)
        Matrix_untransformPoint(&p, p.x, p.y, matrix);
    Rect_boundPoints(out, corners, 4, 1);
}

int View_drawItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip, const Matrix *matrix,
                      const DrawTarget *target, const DrawFlags *flags, intptr_t extra)
{
    bool poll = !flags || !(flags->flags & DrawFlags_noPoll);
    if (poll) {
        int r = Task_checkStop(ctx);
        if (r)
            return r;
    }
    Rect area;
    if (!first || !itemwalkArea(clip, matrix, target, &area))
        return Res_ok;
    for (ObjHeader *item = first; item; item = Obj_next(item)) {
        Rect box;
        if (!itemwalkShown(item, area, &box))
            continue;
        if (poll) {
            int r = Task_checkStop(ctx);
            if (r == Res_stopRequested)
                return r;
            if (r)
                continue;
        }
        const ObjItemOps *ops = Obj_itemOps(item);
        if (!ops || !ops->draw)
            continue;
        // One bad item must not blank the page: only a stop ends the walk.
        if (ops->draw(ctx, item, &area, matrix, target, flags, extra) == Res_stopRequested)
            return Res_stopRequested;
    }
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
