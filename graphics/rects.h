// Rectangle services shared by the graphics, display and Word code: the
// pixel rectangle of a document rectangle, the parts of one rectangle that
// lie outside another, and the bounds of a rectangle through a matrix.
//
// Document rectangles are 16.16 values {x0, y0, x1, y1}; pixel rectangles
// are those of the target bitmap's y-up pixel space. Nothing here
// allocates, keeps state or fails.
#pragma once

#include <cstdint>

struct Bitmap;
struct Matrix;
struct Rect;

enum : uint32_t {
    RectDevice_round = 0,    // rounded, at least one pixel wide and high
    RectDevice_outer = 1,    // truncated, widened by two pixels at x1 and y1
    RectDevice_roundAll = 2, // rounded, nothing more
};

// The pixel rectangle of rect: its corners (x0, y0) and (x1, y1) mapped
// through matrix (null: the identity), each value multiplied by twice the
// bitmap's scale word in 64 bits and shifted right by 17, then the
// bounding rectangle of the two points. Mode RectDevice_round adds 0x10000
// before the shift and then keeps width and height at least 1;
// RectDevice_outer shifts without rounding and adds 2 to x1 and y1;
// RectDevice_roundAll rounds; other modes leave the mapped values
// unscaled. The unbounded rectangle is copied unchanged. out may be rect.
void Rect_toDevice(Rect *out, const Rect *rect, const Matrix *matrix, const Bitmap *bitmap,
                   uint32_t mode);

// Writes the parts of r outside s into out (room for four) and returns
// their count: the part from s.y1 up, the part below s.y0, the part right
// of s.x1, the part left of s.x0, in that order, each only when that edge
// of s lies strictly inside what is left of r, and each cut from what is
// left after the earlier ones. An s that covers r gives none; an s in the
// middle of r gives four.
uint32_t Rect_splitBands(Rect out[4], const Rect *r, const Rect *s);

// Replaces rect by the bounding rectangle of its four corners mapped
// through matrix (null: the identity). The unbounded rectangle stays.
void Rect_transform(Rect *rect, const Matrix *matrix);
