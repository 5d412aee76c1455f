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

// The point at the given distance from (x0, y0) in the direction of
// (x1, y1); a negative distance points away from (x1, y1). Exact along a
// horizontal or vertical direction; (x0, y0) itself when the two points are
// equal. Other directions scale the difference vector to the distance with
// Vector_setLength (integer square root, quotients truncated toward zero),
// after multiplying it by a power of two that brings its larger component to
// at least 2^29, so that short vectors are measured as precisely as long
// ones; the result is then within a unit or two per axis of the true point. A
// difference too wide for 32 bits (points more than 2^31 apart) is halved
// first, which keeps its direction instead of letting it wrap round. Writes
// *out only.
void Geom_stepToward(Point *out, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     int32_t distance);
