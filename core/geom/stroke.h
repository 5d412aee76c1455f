// The pen stroker: turns a path and a pen into the outline that a pen
// drawn along the path covers, for the scan converter to fill with the
// non-zero rule, and the bounding rectangle of that outline without
// building it.
//
// Only the pen record and the two entries are declared so far (the
// stroker itself comes later; until then both answer 259).
#pragma once

#include <cstdint>

struct EngineContext;
struct Matrix;
struct Path;
struct Rect;

// The pen: the style word (bit 0: at least one pixel wide, read by the
// scan converter and left alone by the stroker; bits 1-2 the join: 0
// miter, 1 round, 2 bevel; bits 3-4 the start cap and bits 5-6 the end
// cap: 0 butt, 1 round, 2 square, 3 arrow), the width, the miter limit (the
// longest allowed distance between the two miter points), the arrow half
// width and length, all in output units, and a dash pattern {on, off, ...}
// ended by a negative value, or null for a solid line.
struct Pen {
    uint32_t style;
    int32_t width;
    int32_t miterLimit;
    int32_t arrowHalfWidth;
    int32_t arrowLength;
    const int32_t *dash;
};

enum : uint32_t {
    Pen_atLeastOnePixel = 1, // style bit 0
};

// Appends to out the outline of the pen drawn along src, every point
// mapped by m; dash lengths are scaled by dashScale (16.16); with clip,
// curves wholly outside it are stroked as one straight piece. 0, 257 for
// join bits 3, or a path error.
[[nodiscard]] int Path_stroke(EngineContext *context, const Path *src, Path *out, const Matrix *m,
                              const Pen *pen, int32_t dashScale, const Rect *clip);

// Grows *out (which starts as {0x7FFFFFFF, 0x7FFFFFFF, 0x80000000,
// 0x80000000}) to the rectangle that Path_stroke's outline would cover.
// 0, 257 for join bits 3, or a walk error.
[[nodiscard]] int Path_strokeBounds(EngineContext *context, const Path *src, Rect *out,
                                    const Matrix *m, const Pen *pen);
