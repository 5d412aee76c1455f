// Quarter turns about a centre and steps toward a point: the constructions
// that pen outlines, caps and elliptical arcs are built from.
#include "core/geom/geom.h"

#include <algorithm>
#include <bit>

#include "core/geom/int128.h"

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

namespace {

// Whether v fits a signed 64-bit value, and that value.
bool fits64(Int128 v, int64_t *out)
{
    int64_t low = static_cast<int64_t>(v.lo);
    if (v.hi != (low < 0 ? -1 : 0))
        return false;
    *out = low;
    return true;
}

double toDouble(Int128 v)
{
    return static_cast<double>(v.hi) * 18446744073709551616.0 + static_cast<double>(v.lo);
}

uint64_t magnitude(int64_t v)
{
    return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// trunc(n * f / d) for d != 0, |f| < 2^33: exact in 64 bits when the
// product has at most 62 bits, else in double precision. 0 when the
// quotient's magnitude reaches 2^62 (far outside any coordinate).
bool scaledQuotient(Int128 n, int64_t f, Int128 d, int64_t *out)
{
    int64_t n64, d64;
    if (fits64(n, &n64) && fits64(d, &d64) &&
        std::bit_width(magnitude(n64)) + std::bit_width(magnitude(f)) <= 62) {
        *out = n64 * f / d64;
        return true;
    }
    double q = toDouble(n) * static_cast<double>(f) / toDouble(d);
    if (!(q > -4611686018427387904.0 && q < 4611686018427387904.0))
        return false;
    *out = static_cast<int64_t>(q);
    return true;
}

Int128 wide(int64_t v)
{
    return Int128{static_cast<uint64_t>(v), v < 0 ? -1 : 0};
}

} // namespace

int Geom_lineIntersection(Point *out, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3,
                          int32_t y3, int32_t x4, int32_t y4)
{
    *out = Point{x2, y2};
    int64_t a = static_cast<int64_t>(x2) - x1, b = static_cast<int64_t>(y2) - y1;
    int64_t c = static_cast<int64_t>(x4) - x3, e = static_cast<int64_t>(y4) - y3;
    // N does not change when every x moves by the same amount, so it is taken
    // relative to (x1, y1), which keeps each factor within 33 bits.
    int64_t f = static_cast<int64_t>(x3) - x1, g = static_cast<int64_t>(y3) - y1;
    int64_t h = static_cast<int64_t>(x4) - x1, k = static_cast<int64_t>(y4) - y1;
    Int128 d, n;
    if ((magnitude(a) | magnitude(b) | magnitude(c) | magnitude(e) | magnitude(f) | magnitude(g) |
         magnitude(h) | magnitude(k)) < (uint64_t(1) << 30)) {
        // The usual case: every product and sum fits 64 bits.
        d = wide(b * c - e * a);
        n = wide(g * h - k * f);
    } else {
        d = Int128_add(Int128_mul64(b, c), Int128_mul64(-e, a));
        n = Int128_add(Int128_mul64(g, h), Int128_mul64(-k, f));
    }
    if (d.hi == 0 && d.lo == 0)
        return 1;
    int64_t dx, dy;
    if (!scaledQuotient(n, a, d, &dx) || !scaledQuotient(n, b, d, &dy))
        return 0;
    int64_t x = x1 + dx, y = y1 + dy;
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX)
        return 0;
    *out = Point{static_cast<int32_t>(x), static_cast<int32_t>(y)};
    return 1;
}

int Geom_octant(int32_t x, int32_t y)
{
    int64_t px = x, py = y; // wide, so that INT32_MIN negates
    int octant = 0;
    if (px <= 0) {
        octant = 3;
        px = -px;
    }
    if (py <= 0) {
        octant ^= 7;
        py = -py;
    }
    if (px <= py)
        octant ^= 1;
    return octant;
}

int Geom_isClockwise(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    int d = (Geom_octant(x2, y2) - Geom_octant(x1, y1)) & 7;
    if ((d & 3) != 0)
        return d >= 4 ? 1 : 0;
    return static_cast<int64_t>(x1) * y2 < static_cast<int64_t>(x2) * y1 ? 1 : 0;
}
