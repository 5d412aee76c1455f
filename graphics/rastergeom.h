// Raster geometry utilities: small fixed-point and raster routines shared
// by the drawing code.
//
// Integer square roots and a 64-by-32-bit division for lengths, gradients
// and strokes; rectangle containment; the hit test on one run-coded mask
// row (the row format of graphics/glyphmask.h); a polygon-to-path builder
// for normalised shapes; and the destructors of cached drawing buffers.
// Nothing here keeps state.
#pragma once

#include <cstdint>

struct Path;
struct PixelBuf;
struct Rect;

// The floor of the square root of the unsigned 64-bit value high:low: the
// root that a search bit by bit from the top finds (the first trial bit
// 0x80000000 when high is not 0, 0x8000 when low is at least 0x10000, else
// 0x80; a bit kept when (root + bit)^2 does not exceed the value), here
// taken from the double-precision root and corrected to the exact floor.
uint32_t Math_isqrt64(uint32_t low, uint32_t high);

// The unsigned division of high:low by divisor (what 32 restoring steps
// give, by the machine's 64-bit division): returns the quotient and stores the remainder in
// *remainder (null allowed). The quotient fits 32 bits only when high is below the divisor; a
// divisor of 0, or one not above high, gives the quotient 0xFFFFFFFF and the remainder 0 rather
// than a wrong small number.
uint32_t Math_divide64(uint32_t low, uint32_t high, uint32_t divisor, uint32_t *remainder);

// The floor of the distance between (x0, y0) and (x1, y1): Math_isqrt64 of
// dx^2 + dy^2, the signed 32-bit differences squared into 64 bits (the
// differences wrap as 32-bit values).
uint32_t Path_pointDistance(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// 1 when inner lies within outer: inner.x0 >= outer.x0, inner.y0 >=
// outer.y0, inner.x1 <= outer.x1 and inner.y1 <= outer.y1; else 0.
int Rect_contains(const Rect *outer, const Rect *inner);

// Whether pixel x of a run-coded mask row is set: *out = 1 when its
// coverage is at least 128, else 0. rowStart is the row's byte offset into
// data (a negative offset, bit 31 set, is an empty row); data holds size
// bytes of codes. Whole runs are passed while x lies at or beyond their
// length (1 for a one-pixel run), a literal run with its coverage bytes
// and padding; a row that ends first, a negative x or codes that would run
// past size give 0. Returns 0.
int MaskRle_hit(int32_t rowStart, const uint8_t *data, uint32_t size, int32_t x, int *out);

// A normalised polygon: the point count in bits 8-14 of info, the width
// and height units of its coordinate space, then the points as x, y pairs
// (points holds at least twice the count words).
struct PolygonShape {
    uint32_t info;
    int32_t widthUnit;
    int32_t heightUnit;
    const int32_t *points;
};

// A new closed path (scale 0x10000) through the polygon's points scaled
// into rect: scale x = (rect.x1 - rect.x0) / width unit and scale y =
// (rect.y1 - rect.y0) / height unit (integer divisions, 0 for a zero
// unit), each point placed at (rect.x0 + x * scale x, rect.y0 + y * scale
// y): a move to the first, a line to each further one (at most 255 points
// in all), a close; the path is trimmed. A polygon without points gives an
// empty path. 0 with *out the path (the caller frees it with
// Path_destroy); 1 when memory runs out (*out null, nothing kept).
[[nodiscard]] int Path_fromPolygon(const PolygonShape *shape, const Rect *rect, Path **out);
