// 2D affine transforms in 16.16 fixed point.
//
// All geometry of the engine (page placement, zoom and rotation, glyph and
// image placement, content transforms, drawing shapes) goes through these
// transforms, so results are the same on every processor and the drawing
// paths need no floating point. A point (x, y) maps to
//     x' = a*x + c*y + tx,   y' = b*x + d*y + ty.
// "M then N" is the transform that applies M first and N second.
//
// Rounding, used wherever a 16.16 product (or a sum of two) is brought back
// to 16.16: the exact sum of the 64-bit products plus 0x8000, shifted right
// arithmetically by 16, low 32 bits kept: round half up, no saturation, and
// a result too wide for 32 bits wraps. The arithmetic is done in unsigned
// 64-bit words, which give exactly those low bits even when the
// intermediate sum would not fit a signed 64-bit word.
//
// MatrixWide is a higher-precision variant for long chains of transforms:
// its 2x2 part has 32 fraction bits. The records belong to the caller;
// nothing here allocates, fails or keeps state. Pointers must not be null.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/geom.h"

// Six 16.16 values; the identity is {0x10000, 0, 0, 0x10000, 0, 0}.
struct Matrix {
    int32_t a, b, c, d;
    int32_t tx, ty;
};

// a, b, c, d in 32.32 fixed point (1.0 is 2^32); tx, ty in 16.16.
struct MatrixWide {
    int64_t a, b, c, d;
    int32_t tx, ty;
};

// Writes the identity into *m.
void Matrix_setIdentity(Matrix *m);

// The one constant identity record (read-only, lives for the program).
const Matrix *Matrix_identity();

// tx += dx, ty += dy (the offsets are not transformed); wraps.
void Matrix_translate(Matrix *m, int32_t dx, int32_t dy);

// *m becomes "*m then *n". Chooses by n alone: a shear or rotation in n takes
// the general products; a scale (no shear, a or d not 1.0) takes the scale
// shortcut; a translation only adds the offsets. Each entry is a sum of
// products rounded once as above (half up), and all three ways give exactly
// what the general formula gives. m and n may be the same record.
void Matrix_concat(Matrix *m, const Matrix *n);

// *out = "*m then *n", rounded as Matrix_concat; out may be m or n.
void Matrix_multiply(Matrix *out, const Matrix *m, const Matrix *n);

// *m becomes "*m then R", R the rotation by angle (16.16 degrees; positive
// turns the x axis toward the y axis). The cosine and sine are computed in
// double precision, multiplied by 65536 and truncated toward zero (so 90
// degrees gives an exact {0, 1, -1, 0}). Angle 0 leaves *m unchanged.
void Matrix_rotation(Matrix *m, int32_t angle);

// Each of the six entries becomes entry * factor (16.16), rounded.
void Matrix_scaleAll(Matrix *m, int32_t factor);

// The determinant a*d - b*c as a 32.32 value. Exact: it always fits.
int64_t Matrix_det(const Matrix *m);

// *out = the inverse of *m; all six zero when the determinant is 0 (and
// only then). The 2x2 entries are the quotients entry / det rounded to the
// nearest 16.16 value (halves up), good to half a unit whatever the size of
// the determinant; tx and ty are then -(rounded sums of their products with
// those entries), so a pure translation inverts exactly. out may be m.
void Matrix_invert(Matrix *out, const Matrix *m);

// The point that *m maps onto (x, y), at higher precision than
// Matrix_invert followed by Matrix_transformPoint: the inverse's 2x2 entries
// are taken with 32 fraction bits ((entry * 2^48) / det, truncated toward
// zero), all products of the point and of the offsets are summed exactly,
// and the sum is rounded once, half up, by adding 2^31 before shifting right
// by 32; low 32 bits kept. The result is within a unit of the exact answer
// for points and offsets up to about 32768.0 apart. (0, 0) when the
// determinant is 0.
void Matrix_untransformPoint(Point *out, int32_t x, int32_t y, const Matrix *m);

// x' = tx + round(a*x + c*y), y' = ty + round(b*x + d*y) with the rounding
// above; wraps.
void Matrix_transformPoint(Point *out, int32_t x, int32_t y, const Matrix *m);

// The same for 3 and for 4 points; out may be in.
void Matrix_transformTriple(Point *out, const Point *in, const Matrix *m);
void Matrix_transformQuad(Point *out, const Point *in, const Matrix *m);

// The same for count points; in and out may be the same array. A count of
// 0 does nothing.
void Matrix_transformPoints(const Point *in, size_t count, Point *out, const Matrix *m);

// Maps (x, y) through a wide matrix: the 2x2 products are summed in 64 bits
// and rounded by adding 2^31 and shifting right by 32 (half up), then tx or
// ty is added; low 32 bits kept.
void MatrixWide_transformPoint(Point *out, int32_t x, int32_t y, const MatrixWide *w);

// *w becomes "*w then *n". Each new 2x2 entry is the exact 128-bit sum of
// two products of a 32.32 entry and a 16.16 entry, shifted right
// arithmetically by 16 (truncated toward negative infinity, no rounding),
// low 64 bits kept. tx and ty follow the Matrix rules (rounded sum of two
// products, plus n's offset).
void Matrix_mulWide(MatrixWide *w, const Matrix *n);
