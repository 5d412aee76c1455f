// Item-list walks: drawing and measuring a chain of display items into a
// draw target.
//
// A walk works in the units of the item list: the target's pixel
// rectangle, moved by the target's origin, is turned into those units by
// the bitmap's scale word (pixels = units x scale / 65536) and the inverse
// of the drawing matrix. Items whose shown box misses that area are passed
// over without being polled or called.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct DrawFlags;
struct DrawTarget;
struct EngineContext;
struct Matrix;
struct ObjHeader;

// Draws the display items from first on (through their next words) into
// target. A stop request ends the walk (48) unless flags ask for no
// polling; an item's own failure does not. 0 or 48.
[[nodiscard]] int View_drawItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip,
                                    const Matrix *matrix, const DrawTarget *target,
                                    const DrawFlags *flags, intptr_t extra);
// Sums the measured costs of the items into *amount (0x10000 for an empty
// list) until the sum passes the cost limit of flags; 0 or the first error.
[[nodiscard]] int View_measureItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip,
                                       const Matrix *matrix, const DrawTarget *target,
                                       const DrawFlags *flags, uint32_t *amount);

// An index of a long item list by the vertical extent of the items' shown
// boxes, for a list drawn band after band: each band then visits only the
// items whose boxes reach its rows instead of walking the whole list. It
// holds the list as it was when made (its items, in list order, and their
// boxes then); the list must not change while the index is used.
struct ItemIndex;

// Below this many items a list is walked as it is.
enum : uint32_t { ItemIndex_least = 256 };

// *out = an index of the list from first on (engine heap), or null when the
// list is shorter than ItemIndex_least items. 0, or 1 when memory runs out
// (*out null: the list is then walked as it is).
[[nodiscard]] int ItemIndex_create(ObjHeader *first, ItemIndex **out);
// Frees an index; null is ignored.
void ItemIndex_free(ItemIndex *index);

// View_drawItemList over the items of an indexed list from first on
// (first being the list's first or second item), visiting only the items
// the index offers for the drawing area: the same items are drawn in the
// same order, with the same stop polling. Without an index, or for a first
// it does not start with, the list is walked as View_drawItemList walks it.
[[nodiscard]] int View_drawIndexedList(EngineContext *ctx, const ItemIndex *index, ObjHeader *first,
                                       const Rect *clip, const Matrix *matrix,
                                       const DrawTarget *target, const DrawFlags *flags,
                                       intptr_t extra);

// The drawing area of a target in item units: the target's pixel
// rectangle (the bitmap's, cut to the target's clip when it has one),
// grown by one pixel on each side relative to the target's origin (dx, dy),
// divided by the bitmap's scale word (64-bit signed division), its corners
// mapped through the inverse of matrix, and their bounding box.
void View_itemClip(const DrawTarget *target, const Matrix *matrix, Rect *out);
