// Rectangles turned to a search direction, and the test whether a
// focusable object lies between two rectangles.
//
// Directional focus search always looks to the right: the caller turns
// every rectangle into a frame in which the wanted direction points right
// (Rect_orient) and searches in that frame.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct Edr_Doc;
struct ObjHeader;

enum : uint32_t {
    Rect_orientSwap = 0x500,   // any of these bits: exchange x and y
    Rect_orientMirror = 0x900, // any of these bits: mirror horizontally
};

// *out = in with x and y exchanged when flags has any of the bits 0x500,
// then mirrored horizontally (x0 = -x1, x1 = -x0) when it has any of the
// bits 0x900. out may be in.
void Rect_orient(Rect *out, const Rect *in, uint32_t flags);

// Which focusable objects a search counts: non-zero to count the object.
typedef int (*FocusFilterFn)(const ObjHeader *object, void *argument);

// 1 when a focusable object of the document's view (one the filter, when
// given, accepts) lies in the band that runs from the right edge of a to
// the left edge of b, with a top edge from (a.x1, a.y0) to (b.x0, b.y0)
// and a bottom edge from (a.x1, a.y1) to (b.x0, b.y1); else 0. a and b are
// in the frame of the orientation flags, and each object is turned into
// it before the test. Nothing is searched when b does not start right of
// a's right edge.
int Edr_Doc_anyFocusableBetween(Edr_Doc *doc, const Rect *a, const Rect *b, uint32_t flags,
                                FocusFilterFn filter, void *filterArgument);
