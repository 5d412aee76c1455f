// Helpers shared by the coded preset outlines: 64-bit box arithmetic that
// truncates toward zero, and a pen that sends path operations to the main
// path or the current shade sub-path and keeps the first error.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/result.h"
#include "graphics/path.h"
#include "office/shape/geometry.h"

namespace shape_pen {

inline constexpr int64_t kCornerControl = 7511415; // 0.447715 as an 8.24 fraction

// Values are held in 32 bits as the box is: each operand of a product is
// wrapped into 32 bits first, so a hostile box or adjust value gives a wrong
// outline, never an overflow (the 64-bit product of two 32-bit values
// always fits).
inline int32_t w32(int64_t v)
{
    return int32_t(uint32_t(uint64_t(v)));
}

// a x b / c, 64-bit product, truncating division, the result held in 32
// bits; 0 when c is 0.
inline int64_t mulDiv(int64_t a, int64_t b, int64_t c)
{
    const int64_t d = w32(c);
    return d ? w32(int64_t(w32(a)) * w32(b) / d) : 0;
}

// The distance from a corner to the control point of a quarter ellipse
// whose end lies v away from that corner.
inline int64_t kv(int64_t v)
{
    return mulDiv(v, kCornerControl, Shape_fractionOne);
}

// Shape_scaleAdjust and Shape_scaleFraction over held values.
inline int64_t sa(int64_t value, int64_t size)
{
    return mulDiv(value, size, Shape_space);
}

inline int64_t sf(int64_t fraction, int64_t size)
{
    return mulDiv(size, fraction, Shape_fractionOne);
}

// Where the operations go: the main path or the current shade sub-path.
// The first failing operation sticks; later ones do nothing.
struct Pen {
    Path *path;
    ShadePath **shades;
    int err;
};

inline void penMove(Pen *p, int64_t x, int64_t y)
{
    if (!p->err)
        p->err = Path_moveTo(p->path, w32(x), w32(y));
}

inline void penLine(Pen *p, int64_t x, int64_t y)
{
    if (!p->err)
        p->err = Path_lineTo(p->path, w32(x), w32(y));
}

inline void penLine1(Pen *p, int64_t x, int64_t y)
{
    if (!p->err)
        p->err = Path_lineToOp1(p->path, w32(x), w32(y));
}

inline void penCurve(Pen *p, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t x3, int64_t y3)
{
    if (!p->err)
        p->err = Path_curveTo(p->path, w32(x1), w32(y1), w32(x2), w32(y2), w32(x3), w32(y3));
}

inline void penClose(Pen *p)
{
    if (!p->err)
        p->err = Path_close(p->path);
}

// Shape_addArc over the ellipse inscribed in (x0, y0)-(x1, y1), from the
// ray through (sx, sy) to the ray through (ex, ey).
inline void penArc(Pen *p, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t sx, int64_t sy,
                   int64_t ex, int64_t ey, int mirrored)
{
    if (p->err)
        return;
    const Rect r = {w32(x0), w32(y0), w32(x1), w32(y1)};
    p->err = Shape_addArc(p->path, &r, w32(sx), w32(sy), w32(ex), w32(ey), mirrored);
}

// Transforms everything the current path holds.
inline void penTransform(Pen *p, const Matrix &m)
{
    if (!p->err)
        p->err = Path_copyTransformed(p->path, p->path, &m);
}

// Starts a sub-path of kind with value; what follows goes there.
inline void penSub(Pen *p, uint32_t kind, uint32_t value)
{
    if (p->err)
        return;
    Path *sub = Shape_addShadePath(p->shades, kind, value);
    if (sub)
        p->path = sub;
    else
        p->err = Res_noMemory;
}

// Starts a shade sub-path with colour factor f.
inline void penShade(Pen *p, uint32_t factor)
{
    penSub(p, ShadePath_shade, factor);
}

// A closed polygon through count points (x, y pairs).
inline void penPolygon(Pen *p, const int64_t (*pts)[2], size_t count)
{
    penMove(p, pts[0][0], pts[0][1]);
    for (size_t i = 1; i < count; i++)
        penLine(p, pts[i][0], pts[i][1]);
    penClose(p);
}

struct Pt {
    int64_t x, y;
};

inline void polygon(Pen *p, std::initializer_list<Pt> pts)
{
    bool first = true;
    for (const Pt &pt : pts) {
        if (first)
            penMove(p, pt.x, pt.y);
        else
            penLine(p, pt.x, pt.y);
        first = false;
    }
    penClose(p);
}

inline int32_t prop(const ShapeGeom *shape, uint32_t id, int32_t fallback)
{
    uint32_t v = 0;
    if (shape->props.value && shape->props.value(shape->props.set, id, &v))
        return int32_t(v);
    return fallback;
}

inline bool present(const ShapeGeom *shape, uint32_t id, int32_t *out)
{
    uint32_t v = 0;
    if (!shape->props.value || !shape->props.value(shape->props.set, id, &v))
        return false;
    *out = int32_t(v);
    return true;
}

// The scaled adjust pN by size, or the given share of the box when the
// property is absent.
inline int64_t scaledOr(const ShapeGeom *shape, uint32_t id, int64_t size, int64_t absent)
{
    int32_t v;
    return present(shape, id, &v) ? sa(v, size) : absent;
}

} // namespace shape_pen
