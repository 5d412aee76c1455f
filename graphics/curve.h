// Flattening of quadratic and cubic curve segments into straight lines.
//
// The scan converter, the stroker and the bounds walks turn curves into
// lines with the same rules. A quadratic segment is split at t = 1/2 while
// its control point lies more than the flatness (40 units, in the L1
// sense) from the curve's midpoint. A cubic segment is split at t = 1/2
// while any of its coordinate differences (end to start, first control to
// start, second control to end) leaves -16384..16383, or while either
// control point's cross product with the chord, shifted right by 6,
// exceeds the chord's |dx| + |dy|: the products are only formed once the
// differences fit 15 bits. A segment is laid out as in a path buffer:
// start x and y, one word (the element's opcode word; not read), then the
// control points and the end point. Coordinates are signed 32-bit;
// midpoints are taken in 64 bits and halved by an arithmetic shift, so
// coordinates anywhere in the 32-bit range neither wrap nor make the
// splitting run on: it stops at a depth of Curve_maxDepth halvings.
// Nothing here allocates.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

// Receives each flat piece as a line: end points at the piece's end point,
// whose start point lies three words before it (end[-3], end[-2]), as in a
// path buffer; valid during the call only. A non-zero result stops the
// flattening and is returned by it.
typedef int (*CurveLineFn)(const int32_t *end, void *user);

enum : uint32_t {
    Curve_quadWords = 7,  // start, opcode word, control, end
    Curve_cubicWords = 9, // start, opcode word, two control points, end
    Curve_flatness = 40,  // largest L1 distance of a flat piece's control from its midpoint
    Curve_maxDepth = 24,  // halvings before a piece counts as flat whatever its shape
};

// Flattens the quadratic segment: every flat piece whose end differs from
// its start goes to fn. 0 or the first non-zero result of fn.
int Curve_flatten(const int32_t *segment, CurveLineFn fn, void *user);

// One flattening step of the segment at the given depth (0 for a whole
// curve), shared by Curve_flatten and the bounds walk: with a box, a
// segment whose control point lies in the box, edges included, is flat
// (the box is read again at every step, so fn may grow it); otherwise it
// is flat when its flatness is at most Curve_flatness or the depth has
// reached Curve_maxDepth. A flat piece goes to fn unless its end equals its
// start; any other is split and both halves flattened in turn. 0 or the
// first non-zero result of fn.
int Curve_flattenStep(const int32_t *segment, const Rect *box, CurveLineFn fn, void *user,
                      uint32_t depth);

// Splits the segment at t = 1/2 into two segments laid out like it:
// (start, M01, mid) and (mid, M12, end), where M01 and M12 are the
// midpoints of the control legs and mid their midpoint. The opcode words
// are copied. first and second hold Curve_quadWords words each.
void Curve_flattenSplit(const int32_t *segment, int32_t *first, int32_t *second);

// The midpoint of a and b, rounded toward negative infinity, exact over the
// whole 32-bit range.
inline int32_t Curve_midpoint(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) + b) >> 1);
}

// Flattens the cubic segment: every flat piece whose end differs from its
// start goes to fn. 0 or the first non-zero result of fn.
int Curve_flattenCubic(const int32_t *segment, CurveLineFn fn, void *user);

// One flattening step of the cubic segment at the given depth (0 for a
// whole curve), shared by Curve_flattenCubic and the clipped flattening of
// the bounds walks: with a box, a piece whose two control points both lie
// in it, edges included, is flat (the box is read again at every piece, so
// fn may grow it); otherwise the rule above decides, and a piece at depth
// Curve_maxDepth is flat whatever its shape. A flat piece goes to fn unless
// its end equals its start. 0 or the first non-zero result of fn.
int Curve_flattenCubicStep(const int32_t *segment, const Rect *box, CurveLineFn fn, void *user,
                           uint32_t depth);

// Curve_flattenCubic for a scan converter that reads only the rows from y0
// to y1: a piece whose points all lie below y0 or all above y1 counts as
// flat at once (it and its chord cross none of those rows), so curves that
// reach far outside them cost no more than their part inside. 0 or the
// first non-zero result of fn.
int Curve_flattenCubicBand(const int32_t *segment, int64_t y0, int64_t y1, CurveLineFn fn,
                           void *user);
