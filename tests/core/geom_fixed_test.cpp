// Integer angles, logarithm and square root: both tables and every angle
// from -720 to 720 against references built here from libm, the arc
// tangents against a search of such a reference, and the edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "core/geom/fixed.h"

namespace {

const double kPi = 3.14159265358979323846;

double radians(int64_t degrees)
{
    // Reduce first so that large angles lose no precision.
    return static_cast<double>(degrees % 360) * kPi / 180.0;
}

// The tables' rounding: to the nearest integer (no entry lies on a half).
int64_t tanEntry(int d)
{
    return d == 90 ? 65535 : std::llround(std::tan(radians(d)) * 1024);
}

int64_t sinEntry(int d)
{
    return std::llround(std::sin(radians(d)) * 32768);
}

TEST(FixedTables, EntriesAreRoundedLibmValues)
{
    for (int d = 0; d <= 90; d++) {
        EXPECT_EQ(Fixed_angleTables[Fixed_tanOffset + d], tanEntry(d)) << "tan " << d;
        EXPECT_EQ(Fixed_angleTables[Fixed_sinOffset + d], sinEntry(d)) << "sin " << d;
    }
    // The values the tables are known by.
    EXPECT_EQ(Fixed_angleTables[Fixed_tanOffset + 30], 591);
    EXPECT_EQ(Fixed_angleTables[Fixed_tanOffset + 45], 1024);
    EXPECT_EQ(Fixed_angleTables[Fixed_tanOffset + 60], 1774);
    EXPECT_EQ(Fixed_angleTables[Fixed_tanOffset + 89], 58665);
    EXPECT_EQ(Fixed_angleTables[Fixed_sinOffset + 30], 16384);
    EXPECT_EQ(Fixed_angleTables[Fixed_sinOffset + 45], 23170);
}

TEST(FixedAngles, EveryAngleAgreesWithLibm)
{
    for (int d = -720; d <= 720; d++) {
        // Sine: the rounded quarter-wave value, twice (16.16), odd.
        EXPECT_EQ(Fixed_sinDeg(d), 2 * std::llround(std::sin(radians(d)) * 32768)) << d;
        // Tangent: 64 times the rounded value in 1/1024; the poles give
        // 65535 with the sign of the angle's side of the period.
        int64_t want;
        int64_t m = ((d % 180) + 180) % 180;
        if (m == 90)
            want = (d < 0 ? -65535 : 65535) * 64;
        else
            want = 64 * std::llround(std::tan(radians(d)) * 1024);
        EXPECT_EQ(Fixed_tanDeg(d), want) << d;
    }
}

TEST(FixedAngles, EdgeCases)
{
    EXPECT_EQ(Fixed_sinDeg(90), 65536);
    EXPECT_EQ(Fixed_sinDeg(30), 32768);
    EXPECT_EQ(Fixed_sinDeg(-30), -32768);
    EXPECT_EQ(Fixed_sinDeg(390), 32768);
    EXPECT_EQ(Fixed_sinDeg(210), -32768);
    EXPECT_EQ(Fixed_sinDeg(-210), 32768);
    EXPECT_EQ(Fixed_tanDeg(45), 65536);
    EXPECT_EQ(Fixed_tanDeg(135), -65536);
    EXPECT_EQ(Fixed_tanDeg(-45), -65536);
    // The magnitude of INT32_MIN is taken without overflow:
    // 2147483648 = 360 x 5965232 + 128 and = 180 x 11930464 + 128.
    EXPECT_EQ(Fixed_sinDeg(INT32_MIN), -2 * sinEntry(52));
    EXPECT_EQ(Fixed_tanDeg(INT32_MIN), 64 * tanEntry(52));
    EXPECT_EQ(Fixed_sinDeg(INT32_MAX), 2 * std::llround(std::sin(radians(INT32_MAX)) * 32768));
    EXPECT_EQ(Fixed_tanDeg(INT32_MAX),
              64 * std::llround(std::tan(radians(INT32_MAX % 180)) * 1024));
}

// The first degree whose reference tangent entry reaches the target.
int32_t referenceAtan(int32_t value)
{
    uint32_t t = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    int64_t target = t > 0x400000u ? 65535 : t >> 6;
    int d = 0;
    while (d < 90 && tanEntry(d) < target)
        d++;
    return value < 0 ? -d : d;
}

TEST(FixedAngles, ArcTangent)
{
    EXPECT_EQ(Fixed_atanDeg(65536), 45);
    EXPECT_EQ(Fixed_atanDeg(-65536), -45);
    EXPECT_EQ(Fixed_atanDeg(0x500000), 90); // no entry below 90 reaches 65535
    EXPECT_EQ(Fixed_atanDeg(0), 0);
    EXPECT_EQ(Fixed_atanDeg(INT32_MIN), -90);
    EXPECT_EQ(Fixed_atanDeg(INT32_MAX), 90);
    // The tangent of every whole degree below 90 comes back.
    for (int d = -89; d <= 89; d++)
        EXPECT_EQ(Fixed_atanDeg(Fixed_tanDeg(d)), d) << d;
    // A sweep of values across the table, both signs.
    for (int64_t v = -0x480000; v <= 0x480000; v += 977)
        ASSERT_EQ(Fixed_atanDeg(int32_t(v)), referenceAtan(int32_t(v))) << v;
}

TEST(FixedAngles, Direction)
{
    struct Case {
        int32_t y, x, want;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, 1, 0},
        {0, -1, -180},
        {-1, 0, 270},
        {1, 0, 90},
        {1, 1, 45},
        {1, -1, 135},
        {-1, -1, -135},
        {-1, 1, -45},
        {65536, -0x20000, 153},
        // Quotients too large for 32 bits count as the y axis.
        {INT32_MAX, 1, 90},
        {INT32_MIN, 1, 270},
        {INT32_MAX, -1, 90},
        {0x8000, 1, 90},
        {0x7FFF, 1, 90},
        {INT32_MIN, INT32_MIN, -135},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Fixed_atan2Deg(c.y, c.x), c.want) << c.y << ", " << c.x;
}

TEST(FixedRoots, LogarithmAndSquareRoot)
{
    EXPECT_EQ(Fixed_log2(0x40000), 0x20000);
    EXPECT_EQ(Fixed_log2(0x30000), 0x18000);
    EXPECT_EQ(Fixed_log2(0x10000), 0);
    EXPECT_EQ(Fixed_log2(0), 0);
    EXPECT_EQ(Fixed_log2(-0x40000), 0);
    EXPECT_EQ(Fixed_log2(0x10001), 0);       // rounds to 1
    EXPECT_EQ(Fixed_log2(0x18000), 0x10000); // 1.5 rounds to 2
    // Exact at every power of two up to 2^15; the largest value rounds to
    // 32768 in 64 bits instead of wrapping.
    for (int k = 0; k <= 14; k++)
        EXPECT_EQ(Fixed_log2(int32_t(0x10000u << k)), k << 16) << k;
    EXPECT_EQ(Fixed_log2(INT32_MAX), 15 << 16);
    EXPECT_EQ(Fixed_log2(0x7FFF0000), (14 << 16) + (((32767 - 16384) << 16) >> 14));
    // Linear between powers: n = 5 lies a quarter of the way from 4 to 8.
    EXPECT_EQ(Fixed_log2(5 << 16), 0x24000);

    EXPECT_EQ(Fixed_isqrt(17), 4u);
    EXPECT_EQ(Fixed_isqrt(0), 0u);
    EXPECT_EQ(Fixed_isqrt(1), 1u);
    EXPECT_EQ(Fixed_isqrt(0xFFFFFFFFu), 65535u);
    EXPECT_EQ(Fixed_isqrt(0xFFFE0001u), 65535u);
    EXPECT_EQ(Fixed_isqrt(0xFFFE0000u), 65534u);
    for (uint64_t r = 0; r < 65536; r += 7) {
        uint32_t sq = uint32_t(r * r);
        ASSERT_EQ(Fixed_isqrt(sq), r);
        if (sq) {
            ASSERT_EQ(Fixed_isqrt(sq - 1), r - 1);
        }
        uint64_t below = (r + 1) * (r + 1) - 1;
        if (below <= 0xFFFFFFFFu) {
            ASSERT_EQ(Fixed_isqrt(uint32_t(below)), r);
        }
    }
}

} // namespace
