// Cubic curve flattening that knows a clip rectangle.
//
// The bounding-box walks over drawings turn cubic curves into lines: a
// piece whose two inner control points already lie inside the rectangle
// needs no further halving, since the curve then stays inside the
// rectangle (it lies in the hull of its points) and only its end matters.
// Without a rectangle this is the plain cubic flattener of graphics/curve.h
// (Curve_flattenCubic): a piece is halved at t = 1/2 until its coordinate
// differences fit 15 bits and its control points lie near the chord.
#pragma once

#include <cstdint>

#include "graphics/curve.h"
#include "core/geom/rect.h"

// Flattens the cubic curve laid out as in a path buffer: start x and y, one
// word (not read), first control, second control, end. Every flat piece
// whose end differs from its start goes to fn as a line (its end, with the
// start three words before it). With clip (edges included) a piece whose
// control points both lie in it is flat; the rectangle is read again at
// every piece, so fn may grow it. Midpoints are taken in 64 bits and the
// halving stops at Curve_maxDepth, so any 32-bit coordinates are safe.
// 0 or the first non-zero result of fn.
int Curve_flattenCubicClipped(const int32_t *curve, CurveLineFn fn, void *user, const Rect *clip);
