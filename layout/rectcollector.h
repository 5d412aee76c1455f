// The rectangle collector and item clipping of layout's display lists.
//
// A layer list hands every movable item's box to a collector (reset, then
// add) to learn what a page's items cover, and asks layout whether an item
// survives a clip.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct ObjHeader;

struct RectCollector {
    Rect bounds; // the union of the boxes added since the last reset
};

// Starts a new collection: bounds become the empty bound.
void RectCollector_reset(RectCollector *collector);
// Adds one item's box.
void RectCollector_add(RectCollector *collector, const Rect *box);
// Clips one display item to the non-empty rectangle (flags as the caller
// of LayerList_clipToRect gave them). 1 when the item lies wholly outside
// and is to be freed, 0 when it stays.
int RectCollector_clipItem(ObjHeader *item, const Rect *rect, uint32_t flags);
