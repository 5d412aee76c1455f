// Integer points and two point constructions used when building shapes.
//
// A point is a pair of signed 32-bit coordinates, in 16.16 units or in plain
// units as the caller uses them; nothing here cares which. Turning a point a
// quarter about a centre and stepping from one point toward another are the
// building blocks of pen outlines, caps and elliptical arcs. Coordinate sums
// and differences wrap as 32-bit two's complement values (they are done in
// unsigned arithmetic): callers keep their coordinates in range.
#pragma once

#include <cstdint>

struct Point {
    int32_t x;
    int32_t y;
};

// Turns (x, y) a quarter turn about (cx, cy). With d = (x - cx, y - cy),
// a non-zero flag gives (cx - d.y, cy + d.x) (in a y-up frame a turn
// counter-clockwise), a zero flag gives (cx + d.y, cy - d.x). Exact; writes
// *out only.
void Geom_rotateQuarter(Point *out, int32_t cx, int32_t cy, int32_t x, int32_t y, int flag);

// The point where the line through (x1, y1) and (x2, y2) meets the line
// through (x3, y3) and (x4, y4). With D = (y2 - y1)(x4 - x3) + (y4 - y3)(x1 -
// x2) and N = (y3 - y1)x4 + (y1 - y4)x3 + (y4 - y3)x1, the point is
// x = x1 - N(x1 - x2) / D, y = y1 + N(y2 - y1) / D, the quotients truncated
// toward zero; D = 0 (parallel or degenerate lines) gives (x2, y2). The
// products are exact whatever the coordinates (N and D need up to 66 bits,
// which are kept as two 64-bit halves); a quotient whose numerator would
// pass 62 bits is taken in double precision instead, which is within a unit
// of the exact one. Returns 1 with *out the point; 0 when the point lies
// outside the 32-bit range (nearly parallel lines), with *out = (x2, y2).
int Geom_lineIntersection(Point *out, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3,
                          int32_t y3, int32_t x4, int32_t y4);

// The octant 0 to 7 of the direction (x, y), counter-clockwise from the
// positive x axis in a y-up frame: 0 for x > y > 0, 1 for 0 < x <= y, 2 for
// 0 < -x <= y, 3 for -x > y > 0 (x <= 0 counts as negative), and 4 to 7 the
// same below the axis (y <= 0 counts as negative); (0, 0) is octant 5.
int Geom_octant(int32_t x, int32_t y);

// 1 when direction 2 lies clockwise of direction 1 (in a y-up frame, by
// less than a half turn), else 0. Octants decide when they are not a
// multiple of 4 apart; otherwise the sign of the cross product does (x1*y2 <
// x2*y1, in 64 bits). Equal directions answer 0; exactly opposite ones
// answer as their octants fall (1 for (1, 0) then (-1, 0), 0 for (-1, 0)
// then (1, 0)).
int Geom_isClockwise(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
