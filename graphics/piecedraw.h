// Page piece drawing: a chain of page pieces drawn into any draw target,
// without the display manager's band memory.
//
// The view code renders a page into a picture of its own this way. Pieces
// hidden under the last opaque piece that covers the whole target are not
// drawn; every other content piece gets its background colour at its alpha
// and then its display items. A piece with clip paths is drawn into an
// offscreen buffer of its size (holding a copy of what lies below when its
// background is not opaque) and composited back through the coverage
// region where all its clip paths overlap: a crossing table with one
// sub-pixel bit drawn as a prepared coverage mask (draw item kind 3, whose
// prepare routine, CoverageMask_prepare, is declared in
// graphics/drawitem.h and defined here). Embedded-page pieces carry no
// items and are left to the caller.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "graphics/pagerec.h"

struct Bitmap;
struct ClipEntry;
struct CrossingTable;
struct DrawFlags;
struct DrawTarget;
struct EngineContext;
struct Matrix;

// Draws the chain into target (flags handed to item drawing), from the
// last piece with an opaque colour whose cover bounds hold the whole
// drawing area (the bitmap cut to the target's clip) on. 0 or the first
// error of a piece (1 when memory runs out; 48 when the task is asked to
// stop).
[[nodiscard]] int PieceChain_draw(EngineContext *ctx, Edr_PageRec *chain, const Matrix *matrix,
                                  const DrawTarget *target, const DrawFlags *flags);
// Draws one content piece (other pieces draw nothing): its background,
// its items, and with a clip list both through the clip region. A clip
// region that is empty or null leaves the piece invisible (0). 0 or an
// error.
[[nodiscard]] int Piece_draw(EngineContext *ctx, Edr_PageRec *piece, const Matrix *matrix,
                             const DrawTarget *target, const DrawFlags *flags);
// The pixel rectangle the opacity test uses: the piece rectangle (cut to
// the bounds of its clip paths, or the whole rectangle when they leave
// nothing) through the piece's matrix (without clip paths only) and
// matrix, placed at (dx, dy) with the bitmap's scale word. 0 or a bounds
// error.
[[nodiscard]] int Piece_coverBounds(EngineContext *ctx, const Edr_PageRec *piece,
                                    const Matrix *matrix, const Bitmap *bitmap, int32_t dx,
                                    int32_t dy, Rect *out);
// The coverage region inside every clip path of the list (one sub-pixel
// bit, the entries' matrices moved by their (dx, dy), then matrix): 0 with
// *out the table (null for an empty list or paths whose row ranges do not
// meet); 1, or 266 for a path whose pixel box is empty (*out null).
[[nodiscard]] int PieceClip_buildRegion(const ClipEntry *list, Bitmap *bitmap, const Matrix *matrix,
                                        CrossingTable **out);
// The pixel rectangle of a page-space rectangle: the corners (x0, y0) and
// (x1 - 1, y1 - 1) through the matrix (null: none), each coordinate c
// placed at d + ((scale x c) >> 16), d being dx or dy (the product in 64
// bits), then the bounding rectangle with x1 and y1 one larger. The
// unbounded rectangle stays unbounded.
void Rect_toPixels(const Rect *rect, const Matrix *matrix, int32_t dx, int32_t dy, int32_t scale,
                   Rect *out);
