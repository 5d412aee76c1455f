// Vector lengths and scaling to a length.
#include "graphics/vector.h"

#include "graphics/rastergeom.h"

namespace
{

uint64_t square(int32_t v)
{
    int64_t w = v;
    return static_cast<uint64_t>(w * w);
}

uint32_t magnitude(int32_t v)
{
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
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
