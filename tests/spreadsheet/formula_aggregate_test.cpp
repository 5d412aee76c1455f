// AVERAGE, MAX and MIN of the formula evaluator: number arguments only,
// the order of equal values, and out of memory.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/formula/aggregate.h"
#include "spreadsheet/formula/eval.h"
#include "tests/support/heap_fixture.h"

namespace {

class FormulaAggregate : public LeakCheckedHeapTest<(1u << 20)> {};

Excel_Value integer(int32_t v)
{
    Excel_Value x{};
    x.kind = Excel_kindInteger;
    x.u.i = v;
    return x;
}

Excel_Value number(double v)
{
    Excel_Value x{};
    x.kind = Excel_kindNumber;
    x.u.d = v;
    return x;
}

Excel_Value boolean(uint32_t v)
{
    Excel_Value x{};
    x.kind = Excel_kindBoolean;
    x.u.b = v;
    return x;
}

Excel_Value text(const char16_t *s)
{
    Excel_Value x{};
    x.kind = Excel_kindText;
    x.u.text = const_cast<char16_t *>(s);
    return x;
}

TEST_F(FormulaAggregate, Aggregates)
{
    Excel_Value mixed[] = {integer(4), text(u"12"),  number(-1.5),
                           boolean(1), number(7.25), integer(-3)};
    struct {
        Excel_FuncFn fn;
        double want;
    } cases[] = {
        {Excel_Func_average, (4 - 1.5 + 7.25 - 3) / 4},
        {Excel_Func_max, 7.25},
        {Excel_Func_min, -3},
    };
    for (auto &c : cases) {
        Excel_Value r = text(u"junk");
        EXPECT_EQ(c.fn(6, mixed, &r), 0);
        EXPECT_EQ(r.kind, Excel_kindNumber);
        EXPECT_DOUBLE_EQ(r.u.d, c.want);
    }

    // Without a number argument the result is 0.0, not an error.
    Excel_Value words[] = {text(u"a"), boolean(1)};
    for (Excel_FuncFn fn : {Excel_Func_average, Excel_Func_max, Excel_Func_min}) {
        Excel_Value r{};
        EXPECT_EQ(fn(2, words, &r), 0);
        EXPECT_EQ(r.kind, Excel_kindNumber);
        EXPECT_EQ(r.u.d, 0.0);
        EXPECT_EQ(fn(0, nullptr, &r), 0) << "no arguments at all";
        EXPECT_EQ(r.u.d, 0.0);
    }

    // A later equal value replaces the one found first: MAX of 0.0 and -0.0
    // is the later -0.0.
    Excel_Value zeros[] = {number(0.0), number(-0.0)};
    Excel_Value r{};
    Excel_Func_max(2, zeros, &r);
    EXPECT_TRUE(std::signbit(r.u.d));
    Excel_Func_min(2, zeros, &r);
    EXPECT_TRUE(std::signbit(r.u.d));
}

TEST_F(FormulaAggregate, OutOfMemoryLeavesTheResult)
{
    Excel_Value args[] = {integer(1), integer(2)};
    for (Excel_FuncFn fn : {Excel_Func_average, Excel_Func_max, Excel_Func_min}) {
        Excel_Value r = integer(77);
        Mem_failAfter(1);
        EXPECT_EQ(fn(2, args, &r), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(r.kind, Excel_kindInteger);
        EXPECT_EQ(r.u.i, 77);
    }
    Mem_takeOutOfMemory();
}

// --------------------------------------------------------------- minimum

TEST(DoubleArrayMin, Cases)
{
    const double nan = std::nan("");
    struct Case {
        const char *what;
        std::vector<double> values;
        double expect; // NaN: the result is NaN
    } cases[] = {
        {"mixed", {3.0, -1.5, 2.0}, -1.5},
        {"single", {4.25}, 4.25},
        {"NaN first stays", {nan, 1.0, -2.0}, nan},
        {"NaN later is passed over", {1.0, nan, 0.5}, 0.5},
        {"NaN last is passed over", {1.0, nan}, 1.0},
        {"infinities", {1.0, -INFINITY, INFINITY}, -INFINITY},
    };
    for (const Case &c : cases) {
        double r = Double_arrayMin(c.values.data(), c.values.size());
        if (std::isnan(c.expect))
            EXPECT_TRUE(std::isnan(r)) << c.what;
        else
            EXPECT_EQ(r, c.expect) << c.what;
    }
    // Of equal values the last wins: -0.0 after 0.0.
    const double zeros[2] = {0.0, -0.0};
    EXPECT_TRUE(std::signbit(Double_arrayMin(zeros, 2)));
}

} // namespace
