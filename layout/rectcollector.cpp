// The rectangle collector and item clipping of layout's display lists
// (layout/rectcollector.h).
#include "layout/rectcollector.h"

#include "core/container/obj.h"

void RectCollector_reset(RectCollector *collector)
{
    collector->bounds = Rect_emptyBound;
}

void RectCollector_add(RectCollector *collector, const Rect *box)
{
    Rect_union(&collector->bounds, box);
}

// Display items are drawn through their own clip when they are drawn, so
// clipping a list only has to drop what cannot show: an item goes when its
// box shares no point with the rectangle; an item that crosses the edge
// stays whole.
int RectCollector_clipItem(ObjHeader *item, const Rect *rect, uint32_t)
{
    Rect box = Obj_box(item);
    return Rect_disjoint(&box, rect);
}
