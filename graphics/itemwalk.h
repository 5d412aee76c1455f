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
int View_drawItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip, const Matrix *matrix,
                      const DrawTarget *target, const DrawFlags *flags, intptr_t extra);
// Sums the measured costs of the items into *amount (0x10000 for an empty
// list) until the sum passes the cost limit of flags; 0 or the first error.
int View_measureItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip,
                         const Matrix *matrix, const DrawTarget *target, const DrawFlags *flags,
                         uint32_t *amount);

// The drawing area of a target in item units: the target's pixel
// rectangle (the bitmap's, cut to the target's clip when it has one),
// grown by one pixel on each side relative to the target's origin (dx, dy),
// divided by the bitmap's scale word (64-bit signed division), its corners
// mapped through the inverse of matrix, and their bounding box.
void View_itemClip(const DrawTarget *target, const Matrix *matrix, Rect *out);
