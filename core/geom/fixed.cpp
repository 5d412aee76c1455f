// Integer trigonometry from quarter-wave tables, and an integer logarithm
// and square root.
#include "core/geom/fixed.h"

// clang-format off
const uint16_t Fixed_angleTables[2 * Fixed_tableEntries] = {
    // tan(d) x 1024, d = 0 .. 90
    0, 18, 36, 54, 72, 90, 108, 126, 144, 162,
    181, 199, 218, 236, 255, 274, 294, 313, 333, 353,
    373, 393, 414, 435, 456, 477, 499, 522, 544, 568,
    591, 615, 640, 665, 691, 717, 744, 772, 800, 829,
    859, 890, 922, 955, 989, 1024, 1060, 1098, 1137, 1178,
    1220, 1265, 1311, 1359, 1409, 1462, 1518, 1577, 1639, 1704,
    1774, 1847, 1926, 2010, 2100, 2196, 2300, 2412, 2534, 2668,
    2813, 2974, 3152, 3349, 3571, 3822, 4107, 4435, 4818, 5268,
    5807, 6465, 7286, 8340, 9743, 11704, 14644, 19539, 29324, 58665,
    65535,
    // sin(d) x 32768, d = 0 .. 90
    0, 572, 1144, 1715, 2286, 2856, 3425, 3993, 4560, 5126,
    5690, 6252, 6813, 7371, 7927, 8481, 9032, 9580, 10126, 10668,
    11207, 11743, 12275, 12803, 13328, 13848, 14365, 14876, 15384, 15886,
    16384, 16877, 17364, 17847, 18324, 18795, 19261, 19720, 20174, 20622,
    21063, 21498, 21926, 22348, 22763, 23170, 23571, 23965, 24351, 24730,
    25102, 25466, 25822, 26170, 26510, 26842, 27166, 27482, 27789, 28088,
    28378, 28660, 28932, 29197, 29452, 29698, 29935, 30163, 30382, 30592,
    30792, 30983, 31164, 31336, 31499, 31651, 31795, 31928, 32052, 32166,
    32270, 32365, 32449, 32524, 32588, 32643, 32688, 32723, 32748, 32763,
    32768,
};
// clang-format on

// |v| as an unsigned value: exact for INT32_MIN too.
static inline uint32_t magnitude(int32_t v)
{
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

int32_t Fixed_sinDeg(int32_t degrees)
{
    uint32_t a = magnitude(degrees) % 360u;
    bool negate = degrees < 0;
    uint32_t index;
    if (a >= 270) {
        index = 360 - a;
        negate = !negate;
    } else if (a >= 180) {
        index = a - 180;
        negate = !negate;
    } else if (a > 90) {
        index = 180 - a;
    } else {
        index = a;
    }
    int32_t r = static_cast<int32_t>(Fixed_angleTables[Fixed_sinOffset + index]) * 2;
    return negate ? -r : r;
}

int32_t Fixed_tanDeg(int32_t degrees)
{
    uint32_t a = magnitude(degrees) % 180u;
    bool negate = degrees < 0;
    uint32_t index = a;
    if (a > 90) {
        index = 180 - a;
        negate = !negate;
    }
    int32_t r = static_cast<int32_t>(Fixed_angleTables[Fixed_tanOffset + index]) * 64;
    return negate ? -r : r;
}

int32_t Fixed_atanDeg(int32_t value)
{
    uint32_t t = magnitude(value);
    uint32_t target = t > 0x400000u ? 65535u : t >> 6;
    int32_t d = 0;
    while (d < 90 && Fixed_angleTables[Fixed_tanOffset + static_cast<uint32_t>(d)] < target)
        d++;
    return value < 0 ? -d : d;
}

int32_t Fixed_atan2Deg(int32_t y, int32_t x)
{
    int64_t q = 0;
    bool onAxis = x == 0;
    if (!onAxis) {
        q = static_cast<int64_t>(y) * 65536 / x;
        onAxis = q > 0x7fffffff || q < -0x7fffffff;
    }
    if (onAxis)
        return y == 0 ? 0 : (y < 0 ? 270 : 90);
    int32_t d = Fixed_atanDeg(static_cast<int32_t>(q));
    if (x >= 0)
        return d;
    return d < 0 ? d + 180 : d - 180;
}

int32_t Fixed_log2(int32_t value)
{
    if (value <= 0x10000)
        return 0;
    // Rounded to an integer in 64 bits: value + 0.5 may not fit 32.
    uint32_t n = static_cast<uint32_t>((static_cast<int64_t>(value) + 32768) >> 16);
    uint32_t k = 0;
    while ((n >> (k + 1)) != 0)
        k++;
    uint32_t rest = ((n - (1u << k)) << 16) >> k;
    return static_cast<int32_t>((k << 16) + rest);
}

uint32_t Fixed_isqrt(uint32_t v)
{
    // Digit by digit: one result bit per pair of input bits, from the top.
    uint32_t root = 0;
    uint32_t rem = v;
    uint32_t bit = 1u << 30;
    while (bit > rem)
        bit >>= 2;
    while (bit != 0) {
        if (rem >= root + bit) {
            rem -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return root;
}
