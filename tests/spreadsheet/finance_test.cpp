// The spreadsheet number routines: the time-value closed forms against
// Python and LibreOffice Calc, RATE and IRR against Calc (both from
// tests/fixtures/finance/make_finance_refs.py), their error codes, the
// argument lists in the formula engine's function shape, rounding,
// truncation and logarithms.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "spreadsheet/formula/finance.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/formula/eval.h"
#include "tests/support/heap_fixture.h"

namespace {

struct RefCase {
    std::string name;
    std::vector<double> args;
    double guess = 0; // IRR only
    bool hasGuess = false;
    std::string python; // "-" when none
    std::string calc;
};

std::vector<RefCase> loadRefs()
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/finance/finance_refs.txt");
    std::vector<RefCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        RefCase c;
        words >> c.name;
        std::string w;
        bool guessNext = false;
        while (words >> w && w != "=") {
            if (w == ";") {
                guessNext = true;
            } else if (guessNext) {
                c.hasGuess = w != "-";
                c.guess = c.hasGuess ? std::stod(w) : 0;
            } else {
                c.args.push_back(std::stod(w));
            }
        }
        words >> c.python >> c.calc;
        cases.push_back(c);
    }
    return cases;
}

double arg(const RefCase &c, size_t i)
{
    return i < c.args.size() ? c.args[i] : 0.0;
}

// Runs the routine of the case's function on its arguments.
int compute(const RefCase &c, double *out)
{
    if (c.name == "FV")
        return Fin_fv(arg(c, 0), arg(c, 1), arg(c, 2), arg(c, 3), arg(c, 4), out);
    if (c.name == "PV")
        return Fin_pv(arg(c, 0), arg(c, 1), arg(c, 2), arg(c, 3), arg(c, 4), out);
    if (c.name == "PMT")
        return Fin_pmt(arg(c, 0), arg(c, 1), arg(c, 2), arg(c, 3), arg(c, 4), out);
    if (c.name == "NPER")
        return Fin_nper(arg(c, 0), arg(c, 1), arg(c, 2), arg(c, 3), arg(c, 4), out);
    if (c.name == "NPV")
        return Fin_npv(c.args[0], c.args.data() + 1, uint32_t(c.args.size() - 1), out);
    if (c.name == "RATE")
        return Fin_rate(arg(c, 0), arg(c, 1), arg(c, 2), arg(c, 3), arg(c, 4),
                        c.args.size() > 5 ? c.args[5] : 0.1, out);
    if (c.name == "IRR")
        return Fin_irr(c.args.data(), uint32_t(c.args.size()), c.hasGuess ? c.guess : 0.1, out);
    ADD_FAILURE() << "unknown function " << c.name;
    return -1;
}

TEST(FinanceRefs, AgreeWithPythonAndCalc)
{
    std::vector<RefCase> cases = loadRefs();
    ASSERT_GE(cases.size(), 40u) << "fixture missing or short";
    for (const RefCase &c : cases) {
        SCOPED_TRACE(c.name + " case with first argument " + std::to_string(c.args[0]));
        double got = -1;
        ASSERT_EQ(compute(c, &got), 0);
        if (c.python != "-") {
            double want = std::stod(c.python);
            EXPECT_NEAR(got, want, 1e-12 * std::max(1.0, std::fabs(want)));
        }
        ASSERT_NE(c.calc, "err");
        double calc = std::stod(c.calc);
        if (c.name == "RATE" || c.name == "IRR") {
            // Both iterate until a step is at most 1e-7.
            EXPECT_NEAR(got, calc, 1e-7);
        } else {
            // Calc writes 15 significant digits.
            EXPECT_NEAR(got, calc, 1e-13 * std::max(1.0, std::fabs(calc)) + 1e-12);
        }
    }
}

TEST(Finance, ErrorCodes)
{
    double v = 7;
    // NPER with neither rate nor payment divides by nothing.
    EXPECT_EQ(Fin_nper(0, 0, 1000, 0, 0, &v), Res_numDivideByZero);
    EXPECT_EQ(v, 0.0);
    // Logarithms of values that are not positive: no NaN is stored.
    v = 7;
    EXPECT_EQ(Fin_nper(0.1, -100, 2000, 0, 0, &v), Res_numOutOfRange); // quotient negative
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(Fin_nper(-1.5, -100, 1000, 0, 0, &v), Res_numOutOfRange);   // 1 + r negative
    EXPECT_EQ(Fin_nper(-1, -100, 1000, 0, 0, &v), Res_numOutOfRange);     // 1 + r zero
    EXPECT_EQ(Fin_nper(0.5, -100, 1000, -300, 1, &v), Res_numOutOfRange); // quotient zero
    EXPECT_EQ(Fin_nper(0.1, 100, -1000, 0, 0, &v), Res_numDivideByZero);  // inner divisor zero

    EXPECT_EQ(Fin_pv(-1, 0, 100, 0, 0, &v), Res_numOutOfRange);
    EXPECT_EQ(Fin_pv(-1, 5, 100, 0, 0, &v), Res_numDivideByZero);
    EXPECT_EQ(Fin_pmt(-1, 0, 100, 0, 0, &v), Res_numOutOfRange);
    EXPECT_EQ(Fin_pmt(-1.5, 2.5, 100, 0, 0, &v), Res_numOutOfRange); // no real power
    EXPECT_EQ(Fin_pmt(0, 0, 100, 0, 0, &v), Res_numDivideByZero);
    EXPECT_EQ(Fin_pmt(0.1, 0, 100, 0, 0, &v), Res_numDivideByZero); // (1 + r)^0 - 1 = 0
    EXPECT_EQ(Fin_npv(-1, nullptr, 0, &v), Res_numDivideByZero);
    // Rates within 2^-52 of zero take the zero-rate forms.
    EXPECT_EQ(Fin_fv(0x1p-53, 10, -10, -5, 0, &v), 0);
    EXPECT_EQ(v, 105.0);
    // A result too large for a double is refused.
    EXPECT_EQ(Fin_fv(1e10, 1e5, -1, 0, 0, &v), Res_numNotFinite);
}

TEST(Finance, IrrAndRateEdges)
{
    double v = 7;
    const double gain[] = {-100, 110};
    EXPECT_EQ(Fin_irr(gain, 2, 0.1, &v), 0);
    EXPECT_NEAR(v, 0.1, 1e-12);
    // A zero guess starts from 0.1 instead.
    EXPECT_EQ(Fin_irr(gain, 2, 0x1p-60, &v), 0);
    EXPECT_NEAR(v, 0.1, 1e-12);
    const double noLoss[] = {100, 110};
    EXPECT_EQ(Fin_irr(noLoss, 2, 0.1, &v), Res_numNoSignChange);
    // Signs anywhere in the flows count, not only between neighbours.
    const double apart[] = {-100, 0, 121};
    EXPECT_EQ(Fin_irr(apart, 3, 0.1, &v), 0);
    EXPECT_NEAR(v, 0.1, 1e-9);
    const double tiny[] = {-0x1p-53, 100};
    EXPECT_EQ(Fin_irr(tiny, 2, 0.1, &v), Res_numNoSignChange);
    EXPECT_EQ(Fin_irr(nullptr, 0, 0.1, &v), Res_numNoSignChange);
    // Flows whose value has no root: the iteration fails (here it meets a
    // zero derivative) instead of answering.
    const double wild[] = {-100, 300, -300};
    EXPECT_EQ(Fin_irr(wild, 3, 0.1, &v), Res_numDivideByZero);
    // Zero derivative: a single flow after the first, at the guess where
    // the slope vanishes is impossible, so use a constant function.
    EXPECT_EQ(Fin_rate(10, 0, 0, 0, 0, 0.1, &v), Res_numDivideByZero);
    // Many periods and a guess far above the rate: 25 steps are too few.
    EXPECT_EQ(Fin_rate(360, -1000, 150000, 0, 0, 0.1, &v), Res_numNoConvergence);
    EXPECT_EQ(v, 0.0);
    // A rate of zero solves the annuity equation exactly.
    EXPECT_EQ(Fin_rate(12, -500, 5000, 1000, 1, 0.1, &v), 0);
    EXPECT_NEAR(v, 0.0, 1e-9);
    // The value and slope at zero are the limits of the general forms.
    for (double k : {0.0, 1.0}) {
        double h = 1e-6;
        EXPECT_NEAR(Fin_rateValue(0, 12, -50, 400, 100, k),
                    Fin_rateValue(1e-12, 12, -50, 400, 100, k), 1e-6);
        double numeric =
            (Fin_rateValue(h, 12, -50, 400, 100, k) - Fin_rateValue(-h, 12, -50, 400, 100, k)) /
            (2 * h);
        EXPECT_NEAR(Fin_rateSlope(0, 12, -50, 400, 100, k), numeric, 1e-3);
        numeric = (Fin_rateValue(0.05 + h, 12, -50, 400, 100, k) -
                   Fin_rateValue(0.05 - h, 12, -50, 400, 100, k)) /
                  (2 * h);
        EXPECT_NEAR(Fin_rateSlope(0.05, 12, -50, 400, 100, k), numeric, 1e-3);
    }
    const double flows[] = {-1000, 300, 400, 500};
    double h = 1e-6;
    double numeric =
        (Fin_irrValue(flows, 4, 0.08 + h) - Fin_irrValue(flows, 4, 0.08 - h)) / (2 * h);
    EXPECT_NEAR(Fin_irrSlope(flows, 4, 0.08), numeric, 1e-3);
}

TEST(Finance, RoundTruncLog)
{
    struct Case {
        double x, digits, round, trunc;
    };
    const Case cases[] = {
        {2.5, 0, 3, 2},
        {-2.5, 0, -3, -2},
        {1.25, 1, 1.3, 1.2},
        {-1.25, 1, -1.3, -1.2},
        {1234.5678, -2, 1200, 1200},
        {1250, -2, 1300, 1200},
        {-1250, -2, -1300, -1200},
        {0.5, 0, 1, 0},
        {-0.4999, 0, 0, 0},
        {7, 20, 7, 7},
        {123456, -20, 0, 0},
        {2.9, 0.99, 3, 2},
        {2.25, 1.7, 2.3, 2.2},
        {1e300, 20, 1e300, 1e300},
        {-1e300, 20, -1e300, -1e300},
    };
    for (const Case &c : cases) {
        double v = 99;
        ASSERT_EQ(Num_round(c.x, c.digits, &v), 0) << c.x << " " << c.digits;
        EXPECT_DOUBLE_EQ(v, c.round) << c.x << " " << c.digits;
        ASSERT_EQ(Num_trunc(c.x, c.digits, &v), 0) << c.x << " " << c.digits;
        EXPECT_DOUBLE_EQ(v, c.trunc) << c.x << " " << c.digits;
    }
    double v = 99;
    for (double digits : {21.0, -21.0, 1e300, double(NAN)}) {
        EXPECT_EQ(Num_round(1, digits, &v), Res_numOutOfRange) << digits;
        EXPECT_EQ(Num_trunc(1, digits, &v), Res_numOutOfRange) << digits;
    }
    EXPECT_EQ(Num_logBase(1000, 10, &v), 0);
    EXPECT_NEAR(v, 3, 1e-15);
    EXPECT_EQ(Num_logBase(8, 2, &v), 0);
    EXPECT_NEAR(v, 3, 1e-15);
    for (auto [x, base] : {std::pair{0.0, 10.0},
                           {-1.0, 10.0},
                           {10.0, 1.0},
                           {10.0, 0.0},
                           {10.0, -2.0},
                           {double(NAN), 10.0}}) {
        v = 99;
        EXPECT_EQ(Num_logBase(x, base, &v), Res_numOutOfRange) << x << " " << base;
        EXPECT_EQ(v, 0.0);
    }
}

// ---------------------------------------------------------- argument lists

class FinanceArgs : public LeakCheckedHeapTest<> {};

Excel_Value financeNum(double d)
{
    Excel_Value v{};
    v.kind = Excel_kindNumber;
    v.u.d = d;
    return v;
}

Excel_Value financeInteger(int32_t i)
{
    Excel_Value v{};
    v.kind = Excel_kindInteger;
    v.u.i = i;
    return v;
}

Excel_Value ofKind(uint32_t kind)
{
    Excel_Value v{};
    v.kind = kind;
    return v;
}

TEST_F(FinanceArgs, TimeValueArgumentLists)
{
    Excel_Value r{};
    // FV(5%, 10, -100, 500, 2): a timing of 2 counts as 1.
    const Excel_Value fv[] = {financeNum(0.05), financeInteger(10), financeInteger(-100),
                              financeInteger(500), financeInteger(2)};
    ASSERT_EQ(Fin_fvArgs(5, fv, &r), 0);
    double want;
    ASSERT_EQ(Fin_fv(0.05, 10, -100, 500, 1, &want), 0);
    EXPECT_EQ(r.kind, Excel_kindNumber);
    EXPECT_DOUBLE_EQ(r.u.d, want);
    // A timing below 2^-52 counts as 0; absent arguments as 0.
    const Excel_Value pv[] = {financeNum(0.05), financeInteger(10), financeInteger(-100),
                              ofKind(Excel_kindEmpty), financeNum(0x1p-53)};
    ASSERT_EQ(Fin_pvArgs(5, pv, &r), 0);
    ASSERT_EQ(Fin_pv(0.05, 10, -100, 0, 0, &want), 0);
    EXPECT_DOUBLE_EQ(r.u.d, want);
    ASSERT_EQ(Fin_pmtArgs(3, pv, &r), 0);
    ASSERT_EQ(Fin_pmt(0.05, 10, -100, 0, 0, &want), 0);
    EXPECT_DOUBLE_EQ(r.u.d, want);
    const Excel_Value nper[] = {financeNum(0), financeNum(0), financeInteger(1000)};
    EXPECT_EQ(Fin_nperArgs(3, nper, &r), Res_numDivideByZero);
    EXPECT_EQ(r.kind, Excel_kindEmpty);
    // RATE with and without a guess.
    const Excel_Value rate[] = {financeInteger(10), financeInteger(-100), financeInteger(800),
                                financeInteger(0),  financeInteger(0),    financeNum(0.3)};
    ASSERT_EQ(Fin_rateArgs(3, rate, &r), 0);
    EXPECT_NEAR(r.u.d, 0.0427749780351118, 1e-9);
    ASSERT_EQ(Fin_rateArgs(6, rate, &r), 0);
    EXPECT_NEAR(r.u.d, 0.0427749780351118, 1e-9);

    // Refused: a first argument that is not a number, text anywhere, a
    // count outside the function's range.
    Excel_Value text = ofKind(Excel_kindText);
    text.u.text = nullptr;
    const Excel_Value badFirst[] = {ofKind(Excel_kindBoolean), financeInteger(10),
                                    financeInteger(-100)};
    const Excel_Value withText[] = {financeNum(0.05), financeInteger(10), text};
    EXPECT_EQ(Fin_fvArgs(3, badFirst, &r), Res_formulaBadArgument);
    EXPECT_EQ(Fin_fvArgs(3, withText, &r), Res_formulaBadArgument);
    EXPECT_EQ(Fin_fvArgs(2, fv, &r), Res_formulaBadArgument);
    const Excel_Value seven[] = {financeInteger(10), financeInteger(-100), financeInteger(800),
                                 financeInteger(0),  financeInteger(0),    financeNum(0.3),
                                 financeNum(1)};
    EXPECT_EQ(Fin_rateArgs(7, seven, &r), Res_formulaBadArgument);
    EXPECT_EQ(Fin_npvArgs(0, fv, &r), Res_formulaBadArgument);
    EXPECT_EQ(Fin_irrArgs(3, withText, &r), Res_formulaBadArgument);
}

TEST_F(FinanceArgs, NpvAndIrrCollectNumbers)
{
    Excel_Value r{};
    // NPV skips arguments that are not numbers (booleans, empties).
    const Excel_Value npv[] = {financeNum(0.1), financeInteger(-100),    ofKind(Excel_kindBoolean),
                               financeNum(60),  ofKind(Excel_kindEmpty), financeNum(60)};
    ASSERT_EQ(Fin_npvArgs(6, npv, &r), 0);
    EXPECT_NEAR(r.u.d, 3.7565740045078755, 1e-12);
    // IRR: a last argument of the guess kind is the guess.
    Excel_Value guess = financeNum(0.05);
    guess.kind = Excel_kindGuess;
    const Excel_Value irr[] = {financeInteger(-1000), financeInteger(100), financeInteger(100),
                               financeInteger(1200), guess};
    ASSERT_EQ(Fin_irrArgs(5, irr, &r), 0);
    EXPECT_NEAR(r.u.d, 0.12936990157248598, 1e-9);
    const Excel_Value gain[] = {financeInteger(-100), financeInteger(110)};
    ASSERT_EQ(Fin_irrArgs(2, gain, &r), 0);
    EXPECT_NEAR(r.u.d, 0.1, 1e-12);
    const Excel_Value noLoss[] = {financeInteger(100), financeInteger(110)};
    EXPECT_EQ(Fin_irrArgs(2, noLoss, &r), Res_numNoSignChange);
    // Out of memory for the value array: a clean 1.
    Mem_failAfter(1);
    EXPECT_EQ(Fin_irrArgs(2, gain, &r), Res_noMemory);
    Mem_failAfter(1);
    EXPECT_EQ(Fin_npvArgs(6, npv, &r), Res_noMemory);
    Mem_failAfter(0);
}

} // namespace
