// Cubic flattening with an optional clip rectangle: the shared cubic step
// of graphics/curve.h with the rectangle as its box.
#include "graphics/curveclip.h"

int Curve_flattenCubicClipped(const int32_t *curve, CurveLineFn fn, void *user, const Rect *clip)
{
    return Curve_flattenCubicStep(curve, clip, fn, user, 0);
}
