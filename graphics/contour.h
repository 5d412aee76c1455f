// Quadratic contours: turns a contour's points, flagged on-curve or
// off-curve, into path operations, with the implied on-curve point halfway
// between two consecutive off-curve points. Closing the contour is the
// caller's.
#pragma once

#include <cstdint>

struct GlyphPath;

enum : uint32_t {
    Contour_start = 0,   // no point yet
    Contour_on = 1,      // after an on-curve point, or an unresolved start
    Contour_pending = 2, // an off-curve control point waits
};

struct ContourState {
    int32_t x, y;     // the last point
    uint32_t onCurve; // its on-curve flag
    uint32_t state;   // Contour_*
};

// Adds one point to the path of a kind-2 outline. 0, 1 out of memory, or
// 256 without a current point (the path's errors). The state always ends
// holding the new point.
[[nodiscard]] int Contour_addPoint(GlyphPath *outline, ContourState *state, int32_t x, int32_t y,
                                   int onCurve);
