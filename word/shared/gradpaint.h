// Gradient paint set-up: turns a gradient description (stops, kind, end
// points or centre and size fractions) and a box into a ramp paint: a
// 256-entry colour ramp (or two colours) placed by a matrix.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"

struct PixelBuf;
struct Rect;

enum : uint32_t {
    GradientKind_linear = 0,
    GradientKind_elliptical = 1,
    GradientKind_circular = 2,
    // Paint forms, as the renderer reads them.
    GradientForm_circular = 0,
    GradientForm_elliptical = 1,
    GradientForm_linear = 2,
    Paint_kindRamp = 1,
    Paint_maxStops = 20,
};

// A gradient description. Points, centres and sizes are 16.16 fractions
// of the box; stops are count pairs {position 16.16, colour 0xAABBGGRR}.
struct GradientDesc {
    uint32_t kind;            // GradientKind_*
    int32_t x1, y1, x2, y2;   // linear: start and end points
    uint32_t keepAngle;       // linear: keep the angle as computed
    int32_t centreX, centreY; // elliptical and circular
    int32_t sizeX, sizeY;     // elliptical (circular uses sizeX)
    uint32_t count;
    const int32_t *stops;
};

// The gradient of a ramp paint: the colour ramp (owned, format 6), whether
// any stop is transparent, the matrix from gradient space to the box and
// the form (GradientForm_*).
struct PaintGradient {
    PixelBuf *ramp;
    uint32_t transparent;
    Matrix matrix;
    uint32_t form;
};

struct Paint {
    uint32_t kind;           // Paint_kindRamp after set-up
    PaintGradient *gradient; // owned
};

// Fills paint from the description for box (paint's old gradient is not
// freed: pass a fresh paint). Takes at most 20 stops. 0; 1 when memory
// runs out (paint->gradient null then).
[[nodiscard]] int Paint_setGradient(Paint *paint, const GradientDesc *desc, const Rect *box);

// The linear case: the matrix's angle, scales and origin, form 2. 0.
int Paint_setLinearGradient(PaintGradient *gradient, const GradientDesc *desc, const Rect *box);

// Frees the paint's gradient and ramp; null allowed.
void Paint_free(Paint *paint);
