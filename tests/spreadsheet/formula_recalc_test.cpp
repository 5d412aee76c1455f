// The recalculation order of a sheet's formulas: dependencies first,
// circular references found, areas followed, long chains walked without
// recursion; and a changed input recalculated through its dependents in
// that order by a minimal driver of the test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/formula/eval.h"
#include "tests/spreadsheet/formula_support.h"
#include "tests/support/heap_fixture.h"

using namespace ftok;

namespace {

double valueAt(FakeSheet &sheet, uint32_t column)
{
    return sheet.cells[std::make_pair(0u, column)].value.number;
}

struct Formula {
    uint32_t row;
    uint32_t column;
    std::string tokens;
};

class FormulaRecalc : public LeakCheckedHeapTest<> {
  protected:
    std::vector<Excel_RecalcCell> cells(const std::vector<Formula> &list)
    {
        std::vector<Excel_RecalcCell> out;
        for (const Formula &f : list)
            out.push_back({f.row, f.column, reinterpret_cast<const uint8_t *>(f.tokens.data()),
                           f.tokens.size()});
        return out;
    }

    // The order as indexes; the error code in err.
    std::vector<uint32_t> order(const std::vector<Formula> &list, int *err)
    {
        std::vector<Excel_RecalcCell> c = cells(list);
        uint32_t *o = nullptr;
        *err = Excel_Formula_recalcOrder(c.data(), uint32_t(c.size()), &o);
        std::vector<uint32_t> out;
        if (o)
            out.assign(o, o + c.size());
        Mem_free(o);
        return out;
    }

    // Position of each formula in the order.
    static std::vector<uint32_t> positions(const std::vector<uint32_t> &order)
    {
        std::vector<uint32_t> at(order.size());
        for (uint32_t i = 0; i < order.size(); i++)
            at[order[i]] = i;
        return at;
    }
};

TEST_F(FormulaRecalc, DependenciesComeFirst)
{
    // A1 = B1 + 1; B1 = SUM(C1:C3); C2 = D1 * 2; E5 = A1 + C2; F1 = 7.
    std::vector<Formula> list = {
        {0, 0, ref(0, 1) + integer(1) + opAdd},
        {0, 1, area(0, 2, 2, 2) + funcVar(1, 4)},
        {1, 2, ref(0, 3) + integer(2) + opMul},
        {4, 4, ref(0, 0) + ref(1, 2) + opAdd},
        {0, 5, integer(7)},
    };
    int err;
    std::vector<uint32_t> o = order(list, &err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(o.size(), list.size());
    std::vector<uint32_t> at = positions(o);
    EXPECT_LT(at[2], at[1]) << "C2 lies in B1's area";
    EXPECT_LT(at[1], at[0]);
    EXPECT_LT(at[0], at[3]);
    EXPECT_LT(at[2], at[3]);
    std::vector<bool> seen(list.size());
    for (uint32_t i : o)
        seen[i] = true;
    for (bool s : seen)
        EXPECT_TRUE(s) << "every formula placed once";
}

TEST_F(FormulaRecalc, CircularReferences)
{
    int err;
    // Through two formula cells.
    std::vector<uint32_t> o =
        order({{0, 0, ref(0, 1) + integer(1) + opAdd}, {0, 1, ref(0, 0)}}, &err);
    EXPECT_EQ(err, Res_formulaCircular);
    EXPECT_TRUE(o.empty());
    // Onto itself, directly and through an area that holds it.
    order({{3, 3, ref(3, 3)}}, &err);
    EXPECT_EQ(err, Res_formulaCircular);
    order({{4, 0, area(0, 0, 9, 0) + funcVar(1, 4)}}, &err);
    EXPECT_EQ(err, Res_formulaCircular);
    // A reversed area, through a chain of three.
    order({{0, 0, area(5, 2, 0, 2) + funcVar(1, 4)},
           {2, 2, ref(9, 9)},
           {9, 9, ref(0, 0) + integer(1) + opAdd}},
          &err);
    EXPECT_EQ(err, Res_formulaCircular);
    // A diamond is no cycle.
    o = order({{0, 0, ref(1, 0) + ref(2, 0) + opAdd},
               {1, 0, ref(3, 0)},
               {2, 0, ref(3, 0)},
               {3, 0, integer(1)}},
              &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(o.back(), 0u);
    EXPECT_EQ(o.front(), 3u);
}

TEST_F(FormulaRecalc, OddInput)
{
    int err;
    // A bad token ends that formula's scan; the references before it count.
    std::vector<uint32_t> o = order(
        {{0, 0, ref(1, 0) + b(0x80) + ref(2, 0)}, {1, 0, integer(1)}, {2, 0, ref(0, 0)}}, &err);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(o.size(), 3u);
    EXPECT_LT(positions(o)[1], positions(o)[0]);
    // Relative references name no cell; empty and absent token strings.
    o = order({{0, 0, b(0x2C) + w(0) + w(0)}, {1, 0, ""}, {2, 0, ref(0, 0).substr(0, 3)}}, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(o.size(), 3u);
    // Two formulas for one cell: each placed.
    o = order({{0, 0, integer(1)}, {0, 0, integer(2)}, {1, 0, ref(0, 0)}}, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(o.size(), 3u);
    uint32_t *none = reinterpret_cast<uint32_t *>(1);
    EXPECT_EQ(Excel_Formula_recalcOrder(nullptr, 0, &none), 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Excel_Formula_recalcOrder(nullptr, 2, &none), Res_missingArgument);
    EXPECT_EQ(Excel_Formula_recalcOrder(nullptr, 0, nullptr), Res_missingArgument);
}

// A chain far deeper than any machine stack would allow for recursion.
TEST_F(FormulaRecalc, LongChainNeedsNoRecursion)
{
    const uint32_t n = 60000;
    std::vector<Formula> list;
    for (uint32_t r = 0; r < n; r++)
        list.push_back(
            {r, 0, r + 1 < n ? ref(uint16_t(r + 1), 0) + integer(1) + opAdd : integer(1)});
    int err;
    std::vector<uint32_t> o = order(list, &err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(o.size(), n);
    for (uint32_t i = 0; i < n; i++)
        ASSERT_EQ(o[i], n - 1 - i);
    list.back().tokens = ref(0, 0);
    order(list, &err);
    EXPECT_EQ(err, Res_formulaCircular);
}

TEST_F(FormulaRecalc, OutOfMemory)
{
    std::vector<Formula> list = {
        {0, 0, ref(1, 0)}, {1, 0, integer(1)}, {2, 0, area(0, 0, 1, 0) + funcVar(1, 4)}};
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        int err;
        std::vector<uint32_t> o = order(list, &err);
        bool failed = Mem_failPending() == 0;
        Mem_failAfter(0);
        if (!failed) {
            EXPECT_EQ(err, 0);
            EXPECT_EQ(o.size(), 3u);
            break;
        }
        EXPECT_EQ(err, Res_noMemory);
        ASSERT_LT(n, 20u);
    }
}

// A changed input cell recalculates its dependents in order: the test's
// own minimal driver orders the formulas, evaluates each against the
// sheet and stores the result in its cell.
TEST_F(FormulaRecalc, ChangedInputRecalculatesDependents)
{
    FakeSheet sheet;
    sheet.integer(0, 0, 2); // A1
    // Listed so that list order would read stale values: C1 = B1 * 10,
    // B1 = A1 + 1, D1 = SUM(A1:C1), E1 = IF(D1>50, "big", "small").
    std::vector<Formula> list = {
        {0, 2, ref(0, 1) + integer(10) + opMul},
        {0, 1, ref(0, 0) + integer(1) + opAdd},
        {0, 4, ifThen(ref(0, 3) + integer(50) + opGt, str("big"), str("small"))},
        {0, 3, area(0, 0, 0, 2) + funcVar(1, 4)},
    };
    auto recalc = [&]() {
        int err;
        std::vector<uint32_t> o = order(list, &err);
        ASSERT_EQ(err, 0);
        for (uint32_t i : o) {
            const Formula &f = list[i];
            Excel_FormulaContext fc;
            Excel_Formula_evalInit(nullptr, &fc, reinterpret_cast<const uint8_t *>(f.tokens.data()),
                                   f.tokens.size(), nullptr);
            fc.readCell = FakeSheet::read;
            fc.readData = &sheet;
            Excel_Value v{};
            ASSERT_EQ(Excel_Formula_eval(&fc, &v), 0);
            if (v.kind == Excel_kindText) {
                sheet.text(f.row, f.column, v.u.text);
                Mem_free(v.u.text);
            } else {
                sheet.number(f.row, f.column, Excel_Func_argToDouble(&v));
            }
        }
    };
    recalc();
    EXPECT_EQ(valueAt(sheet, 1), 3.0);
    EXPECT_EQ(valueAt(sheet, 2), 30.0);
    EXPECT_EQ(valueAt(sheet, 3), 35.0);
    EXPECT_EQ((sheet.texts[{0, 4}]), u"small");
    sheet.integer(0, 0, 4);
    recalc();
    EXPECT_EQ(valueAt(sheet, 1), 5.0);
    EXPECT_EQ(valueAt(sheet, 2), 50.0);
    EXPECT_EQ(valueAt(sheet, 3), 59.0);
    EXPECT_EQ((sheet.texts[{0, 4}]), u"big");
}

} // namespace
