// Quadratic contours into paths: moveTo at the contour's first on-curve
// point (or the midpoint of two leading off-curve points), lineTo between
// on-curve points, quadTo through each off-curve control point.
#include "graphics/contour.h"

#include "core/result.h"
#include "graphics/glyphpath.h"
#include "graphics/path.h"

int Contour_addPoint(GlyphPath *outline, ContourState *st, int32_t x, int32_t y, int onCurve)
{
    Path *path = outline->path;
    int32_t mx = int32_t((int64_t(st->x) + x) / 2), my = int32_t((int64_t(st->y) + y) / 2);
    int r = Res_ok;
    uint32_t next = st->state;
    if (st->state == Contour_start) {
        if (onCurve)
            r = Path_moveTo(path, x, y);
        next = Contour_on;
    } else if (st->state == Contour_on && st->onCurve) {
        if (onCurve)
            r = Path_lineTo(path, x, y);
        else
            next = Contour_pending;
    } else if (st->state == Contour_on) {
        // The contour began off-curve: it starts here or at the midpoint.
        if (onCurve) {
            r = Path_moveTo(path, x, y);
        } else {
            r = Path_moveTo(path, mx, my);
            next = Contour_pending;
        }
    } else if (st->state == Contour_pending) {
        if (onCurve) {
            r = Path_quadTo(path, st->x, st->y, x, y);
            next = Contour_on;
        } else {
            r = Path_quadTo(path, st->x, st->y, mx, my);
        }
    }
    st->x = x;
    st->y = y;
    st->onCurve = onCurve ? 1 : 0;
    st->state = next;
    return r;
}
