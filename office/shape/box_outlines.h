// The coded preset outlines built directly in the shape's box (polygons,
// rounded corners, brackets and braces, block arrows, connectors, waves,
// the sun and the shaded three-dimensional looking types).
#pragma once

#include <cstdint>

struct Path;
struct ShapeGeom;
struct ShadePath;

// Builds the outline of shape's type in the box w x h (after the flips)
// with adjust 1 a1 and orientation sign (+1 or -1). Shade sub-paths go to
// the head of *shades. *built says whether the type is one of these.
// 0; 1 when memory runs out; a path error otherwise.
[[nodiscard]] int Shape_buildBoxOutline(Path *path, const ShapeGeom *shape, int32_t w, int32_t h,
                                        int32_t a1, int32_t sign, ShadePath **shades, bool *built);

struct EscherDrawing;

// Builds the outline of shape's type in a 21600 square and maps it into
// the box w x h (after the flips) with adjust 1 a1. Shade, line-only and
// thought-bubble sub-paths go to the head of *shades. *built says whether
// the type is one of these. 0; 1 when memory runs out; a path error
// otherwise.
[[nodiscard]] int Shape_buildSquareOutline(EscherDrawing *drawing, Path *path,
                                           const ShapeGeom *shape, int32_t w, int32_t h, int32_t a1,
                                           ShadePath **shades, bool *built);
