// The constant coverage curve, worked out at compile time.
#include "graphics/coverage.h"

namespace {

struct Curve {
    uint8_t v[Coverage_tableSize];
};

// Below the middle: i plus a parabola that is 31 at entry 1 and 0 from
// entry 125 on, whose slope never reaches 1, so that the entries rise by
// 0 or 1. The upper half mirrors the lower.
constexpr Curve makeCurve()
{
    Curve c{};
    for (int i = 1; i < 128; i++) {
        int j = i < 125 ? 125 - i : 0;
        c.v[i] = uint8_t(i + 31 * j * j / (124 * 124));
    }
    for (int i = 0; i < 128; i++)
        c.v[255 - i] = uint8_t(255 - c.v[i]);
    return c;
}

constexpr Curve curve = makeCurve();

constexpr bool followsTheRules()
{
    if (curve.v[0] != 0 || curve.v[255] != 255 || curve.v[1] != 32 || curve.v[254] != 223)
        return false;
    for (int i = 1; i < 254; i++)
        if (curve.v[i + 1] - curve.v[i] != 0 && curve.v[i + 1] - curve.v[i] != 1)
            return false;
    for (int i = 0; i < 256; i++)
        if (curve.v[255 - i] != 255 - curve.v[i])
            return false;
    for (int i = 126; i <= 130; i++)
        if (curve.v[i] != i)
            return false;
    return true;
}
static_assert(followsTheRules(), "the coverage curve breaks its rules");

} // namespace

const uint8_t *Coverage_curve()
{
    return curve.v;
}
