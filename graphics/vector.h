// Integer vector helpers of the drawing code.
#pragma once

#include <cstdint>

#include "core/geom/geom.h"

// Scales *v in place to the signed length: a zero vector stays zero; a
// length of 0 gives (0, 0); otherwise each component becomes
// |length| * |component| / current length (the current length the integer
// square root of x^2 + y^2 taken in 64 bits; quotients truncated), with the
// component's sign, and both are negated when length is negative.
void Vector_setLength(Point *v, int32_t length);

// The distance between (x0, y0) and (x1, y1): the floor of the square root
// of dx^2 + dy^2, the differences taken as signed 32-bit values (they wrap
// for points 2^31 or more apart) and squared into 64 bits.
uint32_t Path_pointDistance(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
