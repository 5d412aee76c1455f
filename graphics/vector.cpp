// Vector lengths and scaling to a length.
#include "graphics/vector.h"

#include <algorithm>
#include <bit>

#include "graphics/rastergeom.h"

namespace {

uint64_t square(int32_t v)
{
    int64_t w = v;
    return static_cast<uint64_t>(w * w);
}

uint32_t magnitude(int32_t v)
{
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

int32_t vectorAdd32(int32_t p, int32_t q)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p) + static_cast<uint32_t>(q));
}

int32_t vectorSub32(int32_t p, int32_t q)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p) - static_cast<uint32_t>(q));
}

} // namespace

uint32_t Vector_length(int32_t x, int32_t y)
{
    // Each square is at most 2^62, so the sum fits 64 bits.
    uint64_t sum = square(x) + square(y);
    return Math_isqrt64(static_cast<uint32_t>(sum), static_cast<uint32_t>(sum >> 32));
}

void Vector_setLength(Point *v, int32_t length)
{
    if (v->x == 0 && v->y == 0)
        return;
    uint32_t current = Vector_length(v->x, v->y);
    if (length == 0 || current == 0) {
        *v = Point{0, 0};
        return;
    }
    uint32_t len = magnitude(length);
    int32_t out[2];
    const int32_t in[2] = {v->x, v->y};
    for (int i = 0; i < 2; i++) {
        // |component| <= current length, so the quotient is at most |length|
        // and the high word of the product stays below the divisor.
        uint64_t product = static_cast<uint64_t>(len) * magnitude(in[i]);
        uint32_t rest;
        uint32_t q = Math_divide64(static_cast<uint32_t>(product),
                                   static_cast<uint32_t>(product >> 32), current, &rest);
        if ((in[i] < 0) != (length < 0))
            q = 0u - q;
        out[i] = static_cast<int32_t>(q);
    }
    *v = Point{out[0], out[1]};
}

void Geom_stepToward(Point *out, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t distance)
{
    if (y0 == y1 && x0 == x1) {
        *out = Point{x0, y0};
        return;
    }
    if (y0 == y1) {
        *out = Point{x1 > x0 ? vectorAdd32(x0, distance) : vectorSub32(x0, distance), y0};
        return;
    }
    if (x0 == x1) {
        *out = Point{x0, y1 > y0 ? vectorAdd32(y0, distance) : vectorSub32(y0, distance)};
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
    *out = Point{vectorAdd32(x0, v.x), vectorAdd32(y0, v.y)};
}
