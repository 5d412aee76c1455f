// Exact bounding boxes of vector paths.
//
// Layering, hit testing, repainting and the scan converter need the box a
// path covers, optionally after a 16.16 matrix. The box comes from two
// walks over the path: the first takes the end point of every element;
// the second looks only at curves whose control points stick out of that
// box and flattens just those, extending the box to every point produced.
// The result is the box of the curve itself, not of its control points,
// to within the flattening tolerance.
#pragma once

#include <cstdint>

#include "graphics/curve.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "graphics/path.h"

struct EngineContext;

// *out = the box of the path after the matrix (null: none). Points are
// extended into the box as Rect_extendToPoint does, so a single point gives
// a zero-size box; a path without points leaves the empty bound
// {0x7FFFFFFF, 0x7FFFFFFF, 0x80000000, 0x80000000}, which *out holds from
// the start. Close elements and the end of an open subpath add nothing; an
// element the path format does not define ends the walk with 259. Returns
// 0 (the box is valid), 8 for a null path or out, or the walker's error
// (259 also for a packed path the walker cannot read). context is not read.
[[nodiscard]] int Edr_Draw_getBounds(EngineContext *context, const Path *path, const Matrix *matrix,
                                     Rect *out);

// The same without a matrix.
int Edr_Draw_getBounds2(EngineContext *context, const Path *path, Rect *out);

// Flattens the quadratic segment (laid out as in graphics/curve.h) into
// *box: a piece whose control point lies in the box, edges included, is
// flat; every flat piece extends the box to its end point. The segment's
// start is taken to be in the box already. Cannot fail.
void Curve_flattenQuad(const int32_t *segment, Rect *box);
