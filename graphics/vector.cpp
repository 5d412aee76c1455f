// Integer vector helpers of the drawing code.
#include "graphics/vector.h"

namespace {

// Floor of the square root of v, bit by bit from the top.
uint32_t isqrt64(uint64_t v)
{
    uint32_t root = 0;
    for (uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
        uint64_t trial = root + bit;
        if (trial * trial <= v)
            root += bit;
    }
    return root;
}

} // namespace

void Vector_setLength(Point *v, int32_t length)
{
    if (v->x == 0 && v->y == 0)
        return;
    if (length == 0) {
        *v = Point{0, 0};
        return;
    }
    int64_t x = v->x, y = v->y;
    uint32_t current = isqrt64(static_cast<uint64_t>(x * x) + static_cast<uint64_t>(y * y));
    if (current == 0) {
        *v = Point{0, 0};
        return;
    }
    uint64_t len = length < 0 ? 0u - static_cast<uint64_t>(static_cast<int64_t>(length))
                              : static_cast<uint64_t>(length);
    uint64_t ax = static_cast<uint64_t>(x < 0 ? -x : x);
    uint64_t ay = static_cast<uint64_t>(y < 0 ? -y : y);
    // |component| <= current length, so each quotient is at most |length|.
    uint32_t qx = static_cast<uint32_t>(len * ax / current);
    uint32_t qy = static_cast<uint32_t>(len * ay / current);
    if ((x < 0) != (length < 0))
        qx = 0u - qx;
    if ((y < 0) != (length < 0))
        qy = 0u - qy;
    *v = Point{static_cast<int32_t>(qx), static_cast<int32_t>(qy)};
}
