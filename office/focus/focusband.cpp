// Oriented rectangles and the band test of directional focus search.
#include "office/focus/focusband.h"

#include <algorithm>

#include "core/container/obj.h"
#include "document/edr/pageobj.h"

namespace {

int32_t negate(int32_t v)
{
    return static_cast<int32_t>(0u - static_cast<uint32_t>(v));
}

struct Band {
    Rect a, b;
    int32_t low, high; // the y range the band spans
    uint32_t flags;
    FocusFilterFn filter;
    void *filterArgument;
};

// y of the edge from (x0, y0) to (x1, y1) at x compared with v, without
// division: the sign of v - edge(x), with x1 > x0.
int compareToEdge(int64_t v, int64_t x, int64_t x0, int64_t y0, int64_t x1, int64_t y1)
{
    // v - (y0 + (y1 - y0) * (x - x0) / (x1 - x0)), scaled by x1 - x0 > 0.
    const int64_t lhs = (v - y0) * (x1 - x0);
    const int64_t rhs = (y1 - y0) * (x - x0);
    return lhs < rhs ? -1 : lhs > rhs ? 1 : 0;
}

int bandVisit(ObjHeader *object, void *context)
{
    const Band *band = static_cast<const Band *>(context);
    if (band->filter && !band->filter(object, band->filterArgument))
        return 0;
    Rect shown = Obj_shownBox(object);
    Rect r;
    Rect_orient(&r, &shown, band->flags);
    const Rect &a = band->a;
    const Rect &b = band->b;
    if (!(r.x1 > a.x1 && r.x0 < b.x0 && r.y1 > band->low && r.y0 < band->high))
        return 0;
    // The object's x nearest to a, inside the band.
    const int64_t x = std::max(r.x0, a.x1);
    // Wholly above the top edge, or wholly below the bottom edge.
    if (compareToEdge(r.y1, x, a.x1, a.y0, b.x0, b.y0) <= 0)
        return 0;
    if (compareToEdge(r.y0, x, a.x1, a.y1, b.x0, b.y1) >= 0)
        return 0;
    return 1;
}

} // namespace

void Rect_orient(Rect *out, const Rect *in, uint32_t flags)
{
    Rect r = *in;
    if (flags & Rect_orientSwap)
        r = Rect{r.y0, r.x0, r.y1, r.x1};
    if (flags & Rect_orientMirror)
        r = Rect{negate(r.x1), r.y0, negate(r.x0), r.y1};
    *out = r;
}

int Edr_Doc_anyFocusableBetween(Edr_Doc *doc, const Rect *a, const Rect *b, uint32_t flags,
                                FocusFilterFn filter, void *filterArgument)
{
    if (!doc || !a || !b || b->x0 <= a->x1)
        return 0;
    Band band{*a,    *b,     std::min(a->y0, b->y0), std::max(a->y1, b->y1),
              flags, filter, filterArgument};
    // Objects are turned into the search frame one by one, so the walk
    // covers the whole view.
    static constexpr int32_t everywhere[4] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    return Edr_Doc_walkFocusables(doc, bandVisit, everywhere, &band) == 1 ? 1 : 0;
}
