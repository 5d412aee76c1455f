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
