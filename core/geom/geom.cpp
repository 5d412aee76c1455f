// Quarter turns about a centre and steps toward a point: the constructions
// that pen outlines, caps and elliptical arcs are built from.
#include "core/geom/geom.h"

#include <algorithm>
#include <bit>

#include "graphics/vector.h"

static inline int32_t add32(int32_t p, int32_t q)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p) + static_cast<uint32_t>(q));
}

static inline int32_t sub32(int32_t p, int32_t q)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p) - static_cast<uint32_t>(q));
}

void Geom_rotateQuarter(Point *out, int32_t cx, int32_t cy, int32_t x, int32_t y, int flag)
{
    int32_t dx = sub32(x, cx);
    int32_t dy = sub32(y, cy);
    if (flag) {
        out->x = sub32(cx, dy);
        out->y = add32(cy, dx);
    } else {
        out->x = add32(cx, dy);
        out->y = sub32(cy, dx);
    }
}

void Geom_stepToward(Point *out, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                     int32_t distance)
{
    if (y0 == y1 && x0 == x1) {
        *out = Point{x0, y0};
        return;
    }
    if (y0 == y1) {
        *out = Point{x1 > x0 ? add32(x0, distance) : sub32(x0, distance), y0};
        return;
    }
    if (x0 == x1) {
        *out = Point{x0, y1 > y0 ? add32(y0, distance) : sub32(y0, distance)};
        return;
    }
    // The difference of two 32-bit values needs 33 bits; when it does not
    // fit 32, halve both components so the direction survives.
    int64_t dx = static_cast<int64_t>(x1) - x0;
    int64_t dy = static_cast<int64_t>(y1) - y0;
    if (dx < INT32_MIN || dx > INT32_MAX || dy < INT32_MIN || dy > INT32_MAX) {
        dx >>= 1;
        dy >>= 1;
    }
    // The length comes from an integer square root, which is coarse for
    // short vectors ((1, 1) would count as length 1 and step 41% too far).
    // Scaling both components by the same power of two keeps the direction
    // and brings the largest to 2^29 or more; results that were exact stay
    // the same, the others come within a unit or two of the true point.
    uint32_t ax = static_cast<uint32_t>(dx < 0 ? -dx : dx);
    uint32_t ay = static_cast<uint32_t>(dy < 0 ? -dy : dy);
    int shift = std::countl_zero(std::max(ax, ay)) - 2;
    if (shift > 0) {
        dx *= static_cast<int64_t>(1) << shift;
        dy *= static_cast<int64_t>(1) << shift;
    }
    Point v = {static_cast<int32_t>(dx), static_cast<int32_t>(dy)};
    Vector_setLength(&v, distance);
    *out = Point{add32(x0, v.x), add32(y0, v.y)};
}
