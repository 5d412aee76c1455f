// Integer vector helpers of the drawing code.
//
// Lengths come from the integer square root of the squared components taken
// in 64 bits (graphics/rastergeom.h), so they are exact floors and the same
// on every processor.
#pragma once

#include <cstdint>

#include "core/geom/geom.h"

// The floor of the length of (x, y): the integer square root of x^2 + y^2
// (signed 32-bit components squared into 64 bits).
uint32_t Vector_length(int32_t x, int32_t y);

// Scales *v in place to the signed length: a zero vector stays zero; a
// length of 0 gives (0, 0); otherwise each component becomes
// |length| * |component| / current length (the current length that of
// Vector_length; a 64-by-32 division, truncated), with the component's
// sign, and both are negated when length is negative.
void Vector_setLength(Point *v, int32_t length);

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
void Geom_stepToward(Point *out, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t distance);
