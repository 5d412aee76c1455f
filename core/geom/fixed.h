// Integer trigonometry, logarithm and square root.
//
// Sines and tangents of whole degrees come from two quarter-wave tables, arc
// tangents from a search of the tangent table, so that angles come out the
// same on every processor and the drawing code needs no floating point.
// Values are 16.16 fixed point (65536 = 1.0) unless stated. Nothing here
// allocates, fails or keeps state.
#pragma once

#include <cstdint>

// The two tables, stored one after the other, each indexed by whole degrees
// 0 to 90: first tan(d) x 1024 rounded (65535 at 90 degrees), then
// sin(d) x 32768 rounded.
enum : uint32_t {
    Fixed_tableEntries = 91,
    Fixed_tanOffset = 0,
    Fixed_sinOffset = 91,
};
extern const uint16_t Fixed_angleTables[2 * Fixed_tableEntries];

// The sine of whole degrees in 16.16: odd, period 360; every input is
// taken, INT32_MIN included.
int32_t Fixed_sinDeg(int32_t degrees);

// The tangent of whole degrees in 16.16: odd, period 180; 90 degrees gives
// 65535 x 64 (and -90 its negation).
int32_t Fixed_tanDeg(int32_t degrees);

// The arc tangent of a 16.16 value in whole degrees, -90 to 90: the first
// degree whose tangent entry reaches |value| in 1/1024 units, 90 when none
// below 90 does (|value| above 64.0 always gives 90), with the sign of the
// value.
int32_t Fixed_atanDeg(int32_t value);

// The direction of (x, y) in whole degrees, from -180 to 270: 0, 90 or 270
// on the y axis (0 for the origin); otherwise the arc tangent of y / x,
// moved by 180 degrees toward zero when x is negative. A quotient too large
// for 32 bits counts as the y axis.
int32_t Fixed_atan2Deg(int32_t y, int32_t x);

// The base-2 logarithm of a 16.16 value in 16.16: 0 for values up to 1.0;
// otherwise the value rounded to an integer n, exact at powers of two and
// linear between them.
int32_t Fixed_log2(int32_t value);

// The floor of the square root of v.
uint32_t Fixed_isqrt(uint32_t v);
