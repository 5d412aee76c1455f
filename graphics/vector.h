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
