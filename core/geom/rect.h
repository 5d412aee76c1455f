// Integer rectangles: the common currency of layout, drawing and the display
// manager.
//
// A Rect {x0, y0, x1, y1} is half-open: it holds the points with
// x0 <= x < x1 and y0 <= y < y1, so a rectangle with x1 <= x0 or y1 <= y0
// holds nothing, and two rectangles that meet along an edge share no point.
// The coordinates are signed 32-bit, in whatever units the caller uses.
//
// Two special values:
// - the unbounded rectangle {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}
//   (one constant record, Rect_getInfinite);
// - the empty bound {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}
//   (Rect_emptyBound), the start for code that grows a bound point by point:
//   the first point widened into it sets all four edges.
// Nothing here allocates or fails. Pointers must not be null.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/geom.h"

struct Rect {
    int32_t x0, y0, x1, y1;
};

constexpr Rect Rect_emptyBound = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};

// *r = {max(x0), max(y0), min(x1), min(y1)} of r and s; the result may be
// empty (even inverted: x1 < x0), and then holds no point.
void Rect_intersect(Rect *r, const Rect *s);

// Only the x edges of Rect_intersect: x0 = max, x1 = min.
void Rect_clipX(Rect *r, const Rect *s);

// Only the y edges of Rect_intersect: y0 = max, y1 = min.
void Rect_clipY(Rect *r, const Rect *s);

// *r = {min(x0), min(y0), max(x1), max(y1)} of r and s. Empty rectangles are
// not special: uniting with the empty bound changes nothing, but uniting
// with another empty rectangle may widen r.
void Rect_union(Rect *r, const Rect *s);

// Widens *r to take in (x, y) on its edge: x0 = min(x0, x), x1 = max(x1, x),
// and likewise for y. (The point lands on x1 or y1, which the half-open test
// does not count as inside.)
void Rect_extendToPoint(Rect *r, int32_t x, int32_t y);

// 1 when (x, y) lies in the half-open rectangle, else 0. An empty or
// inverted rectangle holds nothing. The differences x - x0 and x1 - x0 are
// compared as unsigned 32-bit numbers, so the test is exact over the whole
// 32-bit range, the unbounded rectangle included.
int Rect_containsPoint(const Rect *r, int32_t x, int32_t y);

// 1 when a.x0 >= b.x1, a.x1 <= b.x0, a.y1 <= b.y0 or a.y0 >= b.y1 (the two
// share no point; rectangles that touch along an edge are disjoint), else 0.
int Rect_disjoint(const Rect *a, const Rect *b);

// 1 when all four values are equal, else 0.
int Rect_equal(const Rect *a, const Rect *b);

// 1 when x1 >= x0 and y1 >= y0 (a zero-size box included), else 0.
int Rect_isOrdered(const Rect *r);

// 1 for the unbounded rectangle, else 0.
int Rect_isInfinite(const Rect *r);

// Moves r so that its first corner is (x, y), keeping its size
// (coordinates wrap).
void Rect_moveTo(Rect *r, int32_t x, int32_t y);

// The constant unbounded rectangle (read-only, lives for the program).
const Rect *Rect_getInfinite();

// *r = the unbounded rectangle: the clip that lets a shape keep its own
// box.
void Rect_setInvertedEmpty(Rect *r);

// With start set, *r becomes the zero-size rectangle of points[0] and is
// widened by the later points; with start clear, *r as it stands is widened
// by every point. Widening follows Rect_extendToPoint. A count of 0 leaves
// *r unchanged.
void Rect_boundPoints(Rect *r, const Point *points, size_t count, int start);

// The four corners (x0, y0), (x0, y1), (x1, y1), (x1, y0) into out[0..3].
void Rect_toQuad(Point *out, const Rect *r);
