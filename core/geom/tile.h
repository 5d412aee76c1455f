// The grid of whole tiles that covers a rectangle: where a repeated
// picture (a background image) starts and how many copies of it are drawn
// across and down.
//
// Rectangles are {x0, y0, x1, y1} with x0 < x1 and y0 < y1 when not empty.
// The arithmetic is done in 64 bits, so that targets and tiles anywhere in
// the 32-bit range give exact results; divisions truncate toward zero.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

// The tile moved and widened by whole tile steps so that it covers the
// target: x0 is the tile's x0 moved by a multiple of its width into
// (target x0 - width, target x0] (a tile already on the target's left edge
// stays), y0 likewise with the height; x1 is the tile's x1 moved by a
// multiple of the width into [target x1, target x1 + width), y1 likewise.
// The tile must not be empty (its width and height are the steps); an empty
// tile gives the target itself. Values beyond the 32-bit range are clamped.
void Tile_cover(const Rect *tile, const Rect *target, Rect *cover);

// The number of tiles across (*columns) and down (*rows) that cover the
// target, and the first tile's corner (*x, *y): the corner of Tile_cover's
// rectangle. All four are 0 unless both the target and the tile are not
// empty.
void Tile_grid(const Rect *target, const Rect *tile, int32_t *columns, int32_t *rows, int32_t *x,
               int32_t *y);
