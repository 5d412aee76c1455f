// Number conversion, random numbers and search: tables of the edge cases,
// round trips number -> text -> number through the formatter and Std_itoa,
// the Park-Miller sequence, the seed per engine, the binary search and the
// small allocation callbacks.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "core/mem/mem.h"
#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "tests/support/test_engine.h"

namespace {

// ------------------------------------------------------------- integers

TEST(NumberStrtol, Table)
{
    struct Case {
        const char *text;
        int base;
        int32_t value;
        int endAt;
    } cases[] = {
        {" -0x1A", 0, -26, 6},
        {"2147483648", 10, 2147483647, 10},
        {"-2147483649", 10, INT32_MIN, 11},
        {"-2147483648", 10, INT32_MIN, 11},
        {"2147483647", 10, INT32_MAX, 10},
        {"99999999999999999999xyz", 10, INT32_MAX, 20},
        {"zz", 36, 1295, 2},
        {"ZZ", 36, 1295, 2},
        {"x", 10, 0, 0},
        {"   ", 10, 0, 0},
        {"  +", 10, 0, 0},
        {"017", 0, 15, 3},
        {"019", 0, 1, 2},
        {"0", 0, 0, 1},
        {"0x", 16, 0, 0},
        {"0x1f", 16, 31, 4},
        {"1f", 16, 31, 2},
        {"0x1f", 10, 0, 1},
        {"\t\n\v\f\r 42z", 10, 42, 8},
        {"\xA0"
         "7",
         10, 7, 2},            // the no-break space is white space in the class table
        {"12\xC0", 36, 38, 2}, // Latin-1 letters are no digits
        {"-12", 8, -10, 3},
        {"101", 2, 5, 3},
        {"5", 1, 0, 0},
        {"5", 37, 0, 0},
        {"5", -3, 0, 0},
    };
    for (const Case &c : cases) {
        const char *end = nullptr;
        EXPECT_EQ(Std_strtol(c.text, &end, c.base), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.endAt) << c.text;
    }
    EXPECT_EQ(Std_strtol("77", nullptr, 8), 63);
    EXPECT_EQ(Std_atoi(" -35abc"), -35);
    EXPECT_EQ(Std_atol("0x10"), 0) << "base 10: the x ends it";
}

TEST(NumberStrtoul, Table)
{
    struct Case {
        const char *text;
        int base;
        uint32_t value;
        int endAt;
    } cases[] = {
        {"4294967296", 10, 4294967295u, 10},  {"4294967295", 10, 4294967295u, 10},
        {"-1", 10, 4294967295u, 2},           {"-4294967295", 10, 1u, 11},
        {"-4294967296", 10, 4294967295u, 11}, {"0xFFFFFFFF", 0, 0xFFFFFFFFu, 10},
        {"0x100000000", 0, 0xFFFFFFFFu, 11},  {"", 10, 0, 0},
    };
    for (const Case &c : cases) {
        const char *end = nullptr;
        EXPECT_EQ(Std_strtoul(c.text, &end, c.base), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.endAt) << c.text;
    }
}

// Every value printed by the formatter or by Std_itoa reads back.
TEST(NumberRoundTrip, IntegersThroughText)
{
    std::mt19937 rng(11);
    char text[64];
    const int32_t extremes[] = {0, INT32_MIN, INT32_MAX, -1};
    for (int i = 0; i < 20000; i++) {
        int32_t v = i < 4 ? extremes[i] : static_cast<int32_t>(rng());
        const char *end;
        Fmt_snprintf(text, sizeof text, "%d", v);
        ASSERT_EQ(Std_strtol(text, &end, 10), v) << text;
        ASSERT_EQ(*end, 0);
        Fmt_snprintf(text, sizeof text, "%u", static_cast<uint32_t>(v));
        ASSERT_EQ(Std_strtoul(text, &end, 0), static_cast<uint32_t>(v)) << text;
        Fmt_snprintf(text, sizeof text, "%#x", static_cast<uint32_t>(v));
        ASSERT_EQ(Std_strtoul(text, &end, 0), static_cast<uint32_t>(v)) << text;
        Fmt_snprintf(text, sizeof text, "%#o", static_cast<uint32_t>(v));
        ASSERT_EQ(Std_strtoul(text, &end, 0), static_cast<uint32_t>(v)) << text;
        int radix = 2 + static_cast<int>(rng() % 35);
        Std_itoa(v, text, radix);
        ASSERT_EQ(Std_strtol(text, &end, radix), v) << text << " radix " << radix;
        ASSERT_EQ(*end, 0);

        char16_t wide[32];
        Fmt_snprintf16(wide, 32, "%d", v);
        int32_t parsed;
        ASSERT_EQ(Ustr_parseInt(wide, nullptr, nullptr, &parsed), 1);
        ASSERT_EQ(parsed, v);
        uint16_t small;
        Fmt_snprintf16(wide, 32, "%hu", static_cast<unsigned>(v));
        ASSERT_EQ(Ustr_parseU16(wide, nullptr, nullptr, &small), 1);
        ASSERT_EQ(small, static_cast<uint16_t>(v));
    }
}

TEST(NumberItoa, Table)
{
    char buf[40];
    EXPECT_STREQ(Std_itoa(-255, buf, 16), "-ff");
    EXPECT_STREQ(Std_itoa(-255, buf, 99), "-255");
    EXPECT_STREQ(Std_itoa(0, buf, 2), "0");
    EXPECT_STREQ(Std_itoa(INT32_MIN, buf, 2), "-10000000000000000000000000000000");
    EXPECT_STREQ(Std_itoa(INT32_MIN, buf, 10), "-2147483648");
    EXPECT_STREQ(Std_itoa(35, buf, 36), "z");
    EXPECT_STREQ(Std_itoa(7, buf, 1), "7");
}

TEST(NumberMisc, AbsDifftimeAndPowers)
{
    EXPECT_EQ(Std_abs(-5), 5);
    EXPECT_EQ(Std_abs(5), 5);
    EXPECT_EQ(Std_abs(INT_MIN), INT_MIN);
    EXPECT_EQ(Std_difftime(10, 3), 7.0);
    EXPECT_EQ(Std_difftime(3, 10), -7.0);
    EXPECT_EQ(Std_difftime(INT64_MAX, INT64_MIN), 18446744073709551615.0);
    EXPECT_EQ(Std_difftime(INT64_MIN, INT64_MAX), -18446744073709551615.0);
    EXPECT_EQ(Std_difftime(int64_t(1) << 40, 0), 1099511627776.0) << "dates after 2038";
    struct {
        uint32_t in, out;
    } pow2[] = {{0, 1},
                {1, 1},
                {2, 2},
                {3, 2},
                {1000, 512},
                {0x80000000u, 0x80000000u},
                {0xFFFFFFFFu, 0x80000000u}};
    for (auto c : pow2)
        EXPECT_EQ(Math_floorPow2(c.in), c.out) << c.in;
}

TEST(NumberPercent, Table)
{
    struct {
        int32_t v, p, out;
    } cases[] = {
        {200, 3276800, 100},
        {-3, 3276800, -2},
        {3, 3276800, 2},
        {3, -3276800, -2},
        {-3, -3276800, 2},
        {5, 0, 0},
        {INT32_MIN, 6553600, INT32_MIN},
        {7, 6553600, 7},
        {7, -6553600, -7},
        {1, 65536, 0},
        {50, 65536, 1},
        {1000, 13107200, 2000},
        {INT32_MAX, INT32_MAX,
         static_cast<int32_t>(((uint64_t(INT32_MAX) * INT32_MAX + 3276800) / 6553600) &
                              0xFFFFFFFF)},
    };
    for (auto c : cases)
        EXPECT_EQ(Fixed_mulPercent(c.v, c.p), c.out) << c.v << " at " << c.p;
}

TEST(NumberFixedMul, Table)
{
    struct {
        int32_t a, b, out;
    } cases[] = {
        {0x18000, 0x20000, 0x30000}, // 1.5 x 2.0 = 3.0
        {-0x10000, 0x8000, -0x8000}, // -1.0 x 0.5 = -0.5
        {1, 1, 0},                   // the raw units: 1 / 65536 rounds down
        {-1, 1, -1},                 // toward minus infinity
        {INT32_MIN, INT32_MIN, 0},   // 2^62 >> 16 = 2^46: the low 32 bits are 0
        {INT32_MAX, 0x20000, -2},    // wraps: (2^31 - 1) x 2 = 2^32 - 2
    };
    for (auto c : cases)
        EXPECT_EQ(Fixed_mul(c.a, c.b), c.out) << c.a << " x " << c.b;
}

TEST(NumberMean, Table)
{
    const double three[] = {1.0, 2.0, 6.0};
    EXPECT_EQ(Double_mean(three, 3), 3.0);
    EXPECT_EQ(Double_mean(three, 1), 1.0);
    EXPECT_TRUE(std::isnan(Double_mean(nullptr, 0)));
    // The sum is taken in index order: 1e16 + 1 + 1 loses both ones.
    const double order[] = {1e16, 1.0, 1.0};
    EXPECT_EQ(Double_mean(order, 3), 1e16 / 3.0);
}

// ------------------------------------------------------------- decimals

TEST(NumberStrtod, Table)
{
    struct Case {
        const char *text;
        double value;
        int endAt; // -1: the end pointer is null
    } cases[] = {
        {"12.5", 12.5, -1},    {"-0.25px", -0.25, 5}, {"1e3", 1.0, 1}, {"+7", 7.0, -1},
        {"000123", 123.0, -1}, {".5", 0.5, -1},       {"5.", 5.0, -1}, {"", 0.0, -1},
        {" 1", 0.0, 0},        {"abc", 0.0, 0},       {"--1", 0.0, 1}, {"1.2.3", 1.2, 3},
        {"-0", 0.0, -1},
    };
    for (const Case &c : cases) {
        const char *end = reinterpret_cast<const char *>(1);
        EXPECT_DOUBLE_EQ(Std_strtod(c.text, &end), c.value) << c.text;
        if (c.endAt < 0)
            EXPECT_EQ(end, nullptr) << c.text;
        else
            EXPECT_EQ(end - c.text, c.endAt) << c.text;
    }
    const char *end = reinterpret_cast<const char *>(1);
    EXPECT_EQ(Std_strtod(nullptr, &end), 0.0);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(Std_strtod(nullptr, nullptr), 0.0);
    EXPECT_FALSE(std::signbit(Std_strtod("0", nullptr))) << "zero reads as +0.0";
    EXPECT_TRUE(std::signbit(Std_strtod("-0", nullptr)));
}

TEST(NumberStrtod, LongInputStaysFinite)
{
    std::string longFraction = "1." + std::string(400, '0');
    EXPECT_EQ(Std_strtod(longFraction.c_str(), nullptr), 1.0);
    std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(Std_strtod(tiny.c_str(), nullptr), 0.0);
    std::string both = std::string(200, '1') + "." + std::string(200, '2');
    double v = Std_strtod(both.c_str(), nullptr);
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(v / 1.1111111111111111e199, 1.0, 1e-12);
    std::string huge(400, '9');
    EXPECT_EQ(Std_strtod(huge.c_str(), nullptr), HUGE_VAL);
    EXPECT_EQ(Std_atof((huge + ".5e1").c_str()), HUGE_VAL);
}

TEST(NumberAtof, Table)
{
    struct Case {
        const char *text;
        double value;
    } cases[] = {
        {"1.5e2", 150.0},           {"2E-1", 0.2}, {"-3e0", -3.0}, {"4e", 4.0},    {"1e+2", 100.0},
        {"1e0.5", std::sqrt(10.0)}, {"12", 12.0},  {"x", 0.0},     {"0e999", 0.0}, {"1e-999", 0.0},
        {"1e999", HUGE_VAL},        {" 1", 0.0},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(Std_atof(c.text), c.value) << c.text;
    EXPECT_EQ(Std_atof(nullptr), 0.0);
    EXPECT_FALSE(std::isnan(Std_atof("0e999")));
}

// Decimal text the formatter writes reads back: exactly for values the
// formatter prints exactly, closely for the rest.
TEST(NumberRoundTrip, DecimalsThroughText)
{
    std::mt19937 rng(17);
    char text[400];
    for (int i = 0; i < 20000; i++) {
        double exact = static_cast<double>(static_cast<int>(rng() % 2000001) - 1000000) / 256.0;
        Fmt_snprintf(text, sizeof text, "%.8f", exact);
        ASSERT_EQ(Std_strtod(text, nullptr), exact) << text;
        ASSERT_EQ(Std_atof(text), exact) << text;

        double any = std::ldexp(static_cast<double>(rng()) / 4294967296.0 + 0.5,
                                static_cast<int>(rng() % 200) - 100);
        Fmt_snprintf(text, sizeof text, "%.15e", any);
        ASSERT_NEAR(Std_atof(text) / any, 1.0, 1e-13) << text;
        Fmt_snprintf(text, sizeof text, "%.17f", any);
        if (any > 1e-3) {
            ASSERT_NEAR(Std_strtod(text, nullptr) / any, 1.0, 1e-12) << text;
        }
    }
}

// ----------------------------------------------------------------- random

class NumberRand : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestHeap_open(&heap, 1 << 20, 0));
    }
    void TearDown() override
    {
        TestHeap_close(&heap);
    }
    TestHeap heap{};
};

TEST_F(NumberRand, MinimalStandardSequence)
{
    Std_srand(1);
    int first = Std_rand();
    EXPECT_EQ(first, 16807 & 0x7FFF);
    EXPECT_EQ(heap.instance->randSeed, 16807u);
    EXPECT_EQ(Std_rand(), 282475249 & 0x7FFF);
    Std_srand(1);
    for (int i = 0; i < 10000; i++) {
        int r = Std_rand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
    // The published check value of the minimal standard generator.
    EXPECT_EQ(heap.instance->randSeed, 1043618065u);
}

TEST_F(NumberRand, SeedFromTheClock)
{
    Headless_setManualClock(heap.host, 1);
    Headless_advanceClock(heap.host, 1234);
    Std_srand(0);
    EXPECT_EQ(Std_rand(), (16807 * 1234) & 0x7FFF);
    EXPECT_EQ(heap.instance->randSeed, 16807u * 1234);

    // A clock that reads 0 does not leave the generator stuck at 0.
    Headless_advanceClock(heap.host, -1234);
    Std_srand(0);
    EXPECT_EQ(Std_rand(), 16807 & 0x7FFF);
    EXPECT_NE(Std_rand(), 0);
    // Seeds beyond the modulus are reduced into it.
    Std_srand(2147483647u + 1);
    EXPECT_EQ(Std_rand(), 16807 & 0x7FFF);
}

TEST_F(NumberRand, EachEngineHasItsOwnSeed)
{
    Std_srand(1);
    Std_rand();
    TestHeap other{};
    ASSERT_TRUE(TestHeap_open(&other, 1 << 20, 0));
    Std_srand(1);
    EXPECT_EQ(Std_rand(), 16807 & 0x7FFF) << "the other engine starts its own sequence";
    TestHeap_close(&other);
    Headless_setCurrent(heap.host);
    EXPECT_EQ(Std_rand(), 282475249 & 0x7FFF);
}

TEST(NumberRandNoEngine, DrawsFromSeedOne)
{
    EXPECT_EQ(Std_rand(), 16807 & 0x7FFF);
    Std_srand(5);
    EXPECT_EQ(Std_rand(), 16807 & 0x7FFF);
}

// ----------------------------------------------------------------- search

int compareCalls;

int compareInts(const void *key, const void *element)
{
    compareCalls++;
    int a = *static_cast<const int *>(key), b = *static_cast<const int *>(element);
    return (a > b) - (a < b);
}

TEST(NumberBsearch, FindsEveryElementAndNothingElse)
{
    int none = 1;
    compareCalls = 0;
    EXPECT_EQ(Std_bsearch(&none, nullptr, 0, sizeof(int), compareInts), nullptr);
    EXPECT_EQ(compareCalls, 0);
    for (size_t n = 1; n < 70; n++) {
        int table[70];
        for (size_t i = 0; i < n; i++)
            table[i] = static_cast<int>(i * 2);
        for (int key = -1; key <= static_cast<int>(2 * n); key++) {
            compareCalls = 0;
            void *hit = Std_bsearch(&key, table, n, sizeof(int), compareInts);
            if (key >= 0 && key % 2 == 0 && key < static_cast<int>(2 * n))
                ASSERT_EQ(hit, &table[key / 2]) << n << " " << key;
            else
                ASSERT_EQ(hit, nullptr) << n << " " << key;
            ASSERT_LE(compareCalls, 8);
        }
    }
}

// ------------------------------------------------------------- callbacks

TEST(NumberCallbacks, AllocationRoutines)
{
    TestHeap heap{};
    ASSERT_TRUE(TestHeap_open(&heap, 1 << 20, 0));
    size_t base = TestHeap_usedBytes();
    void *p = reinterpret_cast<void *>(1);
    size_t got = 99;
    EXPECT_EQ(Mem_allocOut(100, &p, &got), 0);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(got, 100u);
    memcpy(p, "0123456789", 10);
    EXPECT_EQ(Mem_growCopy(&p, 10, 400), 0);
    EXPECT_EQ(memcmp(p, "0123456789", 10), 0);
    EXPECT_EQ(Mem_growCopy(&p, 400, 4), 0) << "keep is cut to the new size";
    EXPECT_EQ(memcmp(p, "0123", 4), 0);

    Mem_failAfter(1);
    void *old = p;
    EXPECT_EQ(Mem_growCopy(&p, 4, 1000), 1);
    EXPECT_EQ(p, old) << "a failed grow keeps the old block";
    Mem_failAfter(1);
    void *q = reinterpret_cast<void *>(1);
    EXPECT_EQ(Mem_allocOut(10, &q, &got), 1);
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(got, 0u);
    Mem_failAfter(0);
    Mem_takeOutOfMemory();

    EXPECT_EQ(Mem_freeRet0(p), 0);
    EXPECT_EQ(Mem_freeRet0(nullptr), 0);
    EXPECT_EQ(TestHeap_usedBytes(), base);
    TestHeap_close(&heap);
}

TEST(BitsUnitsTest, FloorLog2AndPointLengths)
{
    struct {
        uint32_t x, log;
    } logs[] = {{0, 0},           {1, 0}, {2, 1}, {3, 1}, {1023, 9}, {1024, 10}, {0x80000000u, 31},
                {0xFFFFFFFFu, 31}};
    for (auto c : logs)
        EXPECT_EQ(Bits_floorLog2(c.x), c.log) << c.x;
    EXPECT_EQ(Units_pointsToLength(72), 65536);
    EXPECT_EQ(Units_pointsToLength(0), 0);
    EXPECT_EQ(Units_pointsToLength(1), 910); // 910.2
    EXPECT_EQ(Units_lengthToPoints(65536), 72);
    EXPECT_EQ(Units_lengthToPoints(0), 0);
    // Negative sizes round like positive ones.
    EXPECT_EQ(Units_pointsToLength(-72), -65536);
    EXPECT_EQ(Units_lengthToPoints(-65536), -72);
    // Whole points survive the round trip.
    for (int32_t p = -2000; p <= 2000; p++)
        EXPECT_EQ(Units_lengthToPoints(Units_pointsToLength(p)), p) << p;
    // Large values do not overflow on the way.
    EXPECT_EQ(Units_pointsToLength(1000000), 910222222);
}

} // namespace
