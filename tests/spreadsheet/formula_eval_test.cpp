// The formula evaluator over hand-built token strings and a sheet held in
// the test: operators, functions, IF through attribute tokens, SUMIF and
// COUNTIF, error cells, result formats, bad tokens and memory failures.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/time/date.h"
#include "spreadsheet/formula/funcnames.h"
#include "spreadsheet/formula/eval.h"
#include "tests/spreadsheet/formula_support.h"
#include "tests/support/heap_fixture.h"

using namespace ftok;

namespace {

TEST(FormulaArgToDouble, EveryKind)
{
    Excel_Value v{};
    v.kind = Excel_kindInteger;
    v.u.i = -7;
    EXPECT_EQ(Excel_Func_argToDouble(&v), -7.0);
    v.kind = Excel_kindNumber;
    v.u.d = 2.5;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 2.5);
    v.kind = Excel_kindBoolean;
    v.u.b = 1;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 1.0);
    v.u.b = 0;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0);
    v.kind = Excel_kindText;
    v.u.text = const_cast<char16_t *>(u"12");
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0);
    v.kind = Excel_kindEmpty;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0);
    v.kind = Excel_kindGuess;
    v.u.d = 0.1;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0) << "only integers, numbers and booleans count";
}

class FormulaEval : public LeakCheckedContextTest<> {
  protected:
    FakeSheet sheet;
    Excel_FormulaContext fctx{};

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedContextTest::SetUp());
        ASSERT_EQ(FuncNames_init(ctx), 0);
        baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        FuncNames_free(ctx);
        baseline = TestHeap_usedBytes();
        LeakCheckedContextTest::TearDown();
    }

    // Evaluates tokens against the test's sheet; a text result is copied
    // out and freed.
    int eval(const std::string &tokens, Excel_Value *out, std::u16string *text = nullptr)
    {
        Excel_Formula_evalInit(ctx, &fctx, reinterpret_cast<const uint8_t *>(tokens.data()),
                               tokens.size(), nullptr);
        fctx.readCell = FakeSheet::read;
        fctx.readData = &sheet;
        int err = Excel_Formula_eval(&fctx, out);
        if (out->kind == Excel_kindText) {
            if (text)
                *text = out->u.text;
            Mem_free(out->u.text);
            out->u.text = nullptr;
        }
        return err;
    }

    double asNumber(const std::string &tokens)
    {
        Excel_Value v{};
        EXPECT_EQ(eval(tokens, &v), 0);
        EXPECT_TRUE(v.kind == Excel_kindNumber || v.kind == Excel_kindInteger) << "kind " << v.kind;
        return Excel_Func_argToDouble(&v);
    }

    int asBool(const std::string &tokens)
    {
        Excel_Value v{};
        EXPECT_EQ(eval(tokens, &v), 0);
        EXPECT_EQ(v.kind, uint32_t(Excel_kindBoolean));
        return int(v.u.b);
    }

    int asError(const std::string &tokens)
    {
        Excel_Value v{};
        int err = eval(tokens, &v);
        EXPECT_EQ(v.kind, uint32_t(Excel_kindEmpty)) << "a failed evaluation gives no value";
        return err;
    }
};

TEST_F(FormulaEval, ArithmeticOperators)
{
    struct Case {
        std::string tokens;
        double value;
    } cases[] = {
        {integer(1) + integer(2) + opAdd, 3},
        {integer(5) + integer(7) + opSub, -2},
        {num(1.5) + integer(4) + opMul, 6},
        {integer(7) + integer(2) + opDiv, 3.5},
        {integer(2) + integer(10) + opPow, 1024},
        {integer(2) + integer(3) + opPow + integer(2) + opPow, 64}, // left to right
        {integer(2) + opUminus + integer(2) + opPow, 4},            // unary minus binds first
        {integer(3) + opUminus, -3},
        {integer(50) + opPercent, 0.5},
        {integer(3) + opUplus + opParen, 3},
        {boolean(true) + integer(1) + opAdd, 2},
        {boolean(true) + opUminus, -1},
        {opMissing + integer(1) + opAdd, 1},
        {integer(1) + integer(2) + opAdd + opParen + integer(3) + opMul, 9},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(asNumber(c.tokens), c.value) << "case " << (&c - cases);
}

TEST_F(FormulaEval, ComparisonsIgnoreCaseAndOrderKinds)
{
    sheet.text(0, 0, u"abc");
    sheet.text(1, 0, u"ABC");
    struct Case {
        std::string tokens;
        int value;
    } cases[] = {
        {integer(1) + integer(2) + opLt, 1},
        {integer(2) + integer(2) + opLe, 1},
        {integer(2) + num(2.0) + opEq, 1},
        {integer(3) + integer(2) + opGt, 1},
        {integer(2) + integer(3) + opGe, 0},
        {integer(1) + integer(2) + opNe, 1},
        {str("a") + str("B") + opLt, 1}, // case-insensitive: a before B
        {str("b") + str("A") + opLt, 0},
        {ref(0, 0) + ref(1, 0) + opEq, 1}, // abc = ABC
        {wstr(u"ABC") + str("abc") + opNe, 0},
        {boolean(true) + num(1e300) + opGt, 1},  // booleans above numbers
        {boolean(false) + str("zzz") + opGt, 1}, // and above text
        {integer(1) + str("a") + opLt, 1},       // numbers below text
        {str("a") + integer(1) + opLt, 0},
        {boolean(true) + integer(1) + opEq, 0}, // kinds differ: never equal
        {ref(5, 5) + str("") + opEq, 1},        // an empty cell equals an empty text
        {ref(5, 5) + integer(0) + opEq, 0},     // but not the number 0
        {ref(5, 5) + num(-1) + opLt, 1},        // and orders below every number
        {boolean(true) + boolean(false) + opGt, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(asBool(c.tokens), c.value) << "case " << (&c - cases);
}

TEST_F(FormulaEval, NumberFunctions)
{
    struct Case {
        std::string tokens;
        double value;
    } cases[] = {
        {integer(16) + func(20), 4},                // SQRT
        {num(M_E) + func(22), 1},                   // LN
        {integer(1000) + func(23), 3},              // LOG10
        {num(-3.5) + func(24), 3.5},                // ABS
        {num(-2.5) + func(25), -3},                 // INT
        {num(2.345) + integer(2) + func(27), 2.35}, // ROUND
        {num(-2.5) + integer(0) + func(27), -3},
        {num(1234.5) + integer(2) + opUminus + func(27), 1200},
        {num(2.5) + num(0.9) + func(27), 3},                // digits truncated
        {integer(1) + opUminus + integer(3) + func(39), 2}, // MOD(-1,3)
        {integer(5) + integer(3) + opUminus + func(39), -1},
        {num(5.5) + integer(2) + func(39), 1.5},
        {num(2.789) + integer(1) + funcVar(2, 197), 2.7}, // TRUNC
        {num(-2.7) + funcVar(1, 197), -2},
        {integer(8) + integer(2) + funcVar(2, 109), 3}, // LOG
        {integer(100) + funcVar(1, 109), 2},
        {integer(2) + num(0.5) + func(337), std::sqrt(2.0)}, // POWER
        {integer(1) + integer(2) + integer(3) + funcVar(3, 4), 6},
        {integer(2) + integer(3) + funcVar(2, 183), 6}, // PRODUCT
        {integer(1) + integer(2) + integer(6) + funcVar(3, 5), 3},
        {integer(1) + integer(9) + integer(6) + funcVar(3, 6), 1},
        {integer(1) + integer(9) + integer(6) + funcVar(3, 7), 9},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(asNumber(c.tokens), c.value, 1e-12) << "case " << (&c - cases);
}

TEST_F(FormulaEval, Errors)
{
    struct Case {
        std::string tokens;
        int code;
    } cases[] = {
        {integer(1) + integer(0) + opDiv, Res_formulaDivideByZero},
        {integer(5) + integer(0) + func(39), Res_formulaDivideByZero}, // MOD(5,0)
        {integer(1) + opUminus + func(20), Res_formulaNumber},         // SQRT(-1)
        {integer(0) + func(22), Res_formulaNumber},                    // LN(0)
        {integer(0) + func(23), Res_formulaBadArgument},               // LOG10(0)
        {str("abc") + integer(1) + opAdd, Res_formulaBadArgument},
        {str("abc") + func(24), Res_formulaBadArgument},                 // ABS("abc")
        {str("x") + func(38), Res_formulaBadArgument},                   // NOT("x")
        {integer(0) + integer(1) + opUminus + opPow, Res_formulaNumber}, // 0^-1 is no number
        {num(1e300) + num(1e300) + opMul, Res_formulaNumber},            // overflow
        {integer(1) + integer(2) + integer(3) + funcVar(3, 39),
         Res_formulaBadArgument},                                      // MOD with 3
        {integer(1) + integer(30) + func(27), Res_formulaBadArgument}, // ROUND digits beyond 20
        {str("a") + str("b") + opConcat, Res_formulaBadToken},         // "&" has no handler
        {integer(1) + opAdd, Res_formulaBadArgument},                  // stack underflow
        {opUminus, Res_formulaBadArgument},
        {ref(0, 0) + b(0x2A) + w(0) + w(0) + opAdd, Res_formulaBadReference}, // ptgRefErr
        {b(0x2B) + std::string(8, '\0'), Res_formulaBadReference},            // ptgAreaErr
        {b(0x1C) + b(7), Res_formulaBadToken}, // ptgErr has no handler
        {b(0x80), Res_formulaBadToken},
        {integer(1).substr(0, 2), Res_formulaBadToken}, // overruns the string
        {str("abc").substr(0, 5), Res_formulaBadToken},
        {b(0x1F) + std::string(8, '\xFF'), Res_formulaBadToken},  // a NaN number token
        {integer(1) + attr(0x04, 0) + w(0), Res_formulaBadToken}, // choose
        {integer(1) + attr(0x00, 0), Res_formulaBadToken},
        {integer(1) + funcVar(1, 0x8000 | 4), Res_formulaBadToken}, // command bit
        {integer(1) + func(200), Res_formulaBadToken},              // no fixed count
        {integer(0) + attr(0x02, 100), Res_formulaBadToken},        // if jumps past the end
        {integer(1) + attr(0x08, 100), Res_formulaBadToken},
        {b(0x2C) + w(0) + w(0), Res_formulaBadToken},          // ptgRefN in a cell formula
        {b(0x39) + std::string(6, '\0'), Res_formulaBadToken}, // ptgNameX
    };
    for (const Case &c : cases)
        EXPECT_EQ(asError(c.tokens), c.code) << "case " << (&c - cases);
}

TEST_F(FormulaEval, DeliberateResults)
{
    sheet.text(0, 0, u"one");
    sheet.text(1, 0, u"two");
    // AND over text only counts no argument: TRUE. PRODUCT over text: 0.
    EXPECT_EQ(asBool(area(0, 0, 1, 0) + funcVar(1, 36)), 1);
    EXPECT_EQ(asNumber(area(0, 0, 1, 0) + funcVar(1, 183)), 0.0);
    EXPECT_EQ(asBool(area(0, 0, 1, 0) + funcVar(1, 37)), 0); // OR
    // SUM skips booleans and texts.
    EXPECT_EQ(asNumber(integer(1) + boolean(true) + str("5") + funcVar(3, 4)), 1.0);
    // AND, OR and NOT over numbers and booleans.
    EXPECT_EQ(asBool(integer(1) + boolean(false) + funcVar(2, 36)), 0);
    EXPECT_EQ(asBool(num(1e-17) + funcVar(1, 37)), 0) << "below the epsilon counts as false";
    EXPECT_EQ(asBool(num(0.5) + func(38)), 0);
    EXPECT_EQ(asBool(func(34)), 1);
    EXPECT_EQ(asBool(func(35)), 0);
}

TEST_F(FormulaEval, UnimplementedFunctionGivesOneAndIsCounted)
{
    EXPECT_EQ(asNumber(integer(1) + func(15)), 1.0); // SIN
    EXPECT_EQ(fctx.unsupported, 1u);
    EXPECT_EQ(fctx.funcCount, 1u);
    EXPECT_EQ(fctx.funcIds[0], 15u);
    // Twice in one formula, and an id beyond the table.
    EXPECT_EQ(asNumber(integer(1) + func(15) + integer(2) + funcVar(1, 400) + opAdd), 2.0);
    EXPECT_EQ(fctx.unsupported, 2u);
}

TEST_F(FormulaEval, RecordsAtMostThirtyFunctions)
{
    std::string t = integer(1);
    for (int i = 0; i < 40; i++)
        t += func(24); // ABS
    EXPECT_EQ(asNumber(t), 1.0);
    EXPECT_EQ(fctx.funcCount, 30u);
}

TEST_F(FormulaEval, AreasPushEveryExistingCell)
{
    for (uint32_t r = 0; r < 1000; r++)
        sheet.integer(r, 1, int32_t(r + 1));
    sheet.text(3, 1, u"skip");
    EXPECT_EQ(asNumber(area(0, 1, 999, 1) + funcVar(1, 4)), 500500.0 - 4.0);
    // Two areas and a value: each cell is an argument of its own.
    EXPECT_EQ(asNumber(area(0, 1, 2, 1) + integer(10) + area(9, 1, 9, 1) + funcVar(3, 4)),
              1 + 2 + 3 + 10 + 10);
    // Backwards area, and one with no cell at all (one empty value).
    EXPECT_EQ(asNumber(area(2, 1, 0, 1) + funcVar(1, 4)), 6.0);
    EXPECT_EQ(asNumber(area(0, 7, 50, 9) + funcVar(1, 4)), 0.0);
    EXPECT_EQ(asNumber(area(0, 7, 50, 9) + funcVar(1, 5)), 0.0);
    // An area value where one value is needed.
    EXPECT_EQ(asError(area(0, 1, 2, 1) + opUminus), Res_formulaBadArgument);
    EXPECT_EQ(asError(area(0, 1, 2, 1) + integer(1) + opAdd), Res_formulaBadArgument);
    // The sum attribute sums the area on the stack.
    EXPECT_EQ(asNumber(area(0, 1, 4, 1) + attr(0x10, 0)), 1 + 2 + 3 + 5.0);
}

TEST_F(FormulaEval, IfThroughAttributes)
{
    sheet.integer(0, 0, 1);
    struct Case {
        std::string tokens;
        double value;
    } cases[] = {
        {ifThen(ref(0, 0) + integer(0) + opGt, integer(10), integer(20)), 10},
        {ifThen(ref(0, 0) + integer(0) + opLt, integer(10), integer(20)), 20},
        {ifThen(integer(0), integer(1), integer(2)) + integer(1) + opAdd, 3},
        {ifThen(ref(0, 0), ifThen(integer(0), integer(1), integer(2)), integer(3)), 2},
        {ifThen(num(0.0), integer(1), ifThen(boolean(true), integer(7), integer(8))), 7},
        {ifThen(ref(0, 0), area(0, 0, 2, 0) + funcVar(1, 4), integer(0)), 1},
        {attr(0x40, 0) + ifThen(attr(0x01, 0) + integer(1), integer(5), integer(6)),
         5}, // space, volatile
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(asNumber(c.tokens), c.value) << "case " << (&c - cases);
    EXPECT_EQ(fctx.format, 0) << "IF gives the General format";
    // No false branch: FALSE.
    EXPECT_EQ(asBool(ifThen(integer(0), integer(1), "")), 0);
    EXPECT_EQ(asNumber(ifThen(integer(2), integer(1), "")), 1.0);
    // A text condition is refused; the text results come back.
    EXPECT_EQ(asError(ifThen(str("x"), integer(1), integer(2))), Res_formulaBadArgument);
    Excel_Value v{};
    std::u16string text;
    ASSERT_EQ(eval(ifThen(integer(1), str("pos"), str("neg")), &v, &text), 0);
    EXPECT_EQ(v.kind, uint32_t(Excel_kindText));
    EXPECT_EQ(text, u"pos");
    ASSERT_EQ(eval(ifThen(integer(0), str("pos"), wstr(u"n\u00e9g")), &v, &text), 0);
    EXPECT_EQ(text, u"n\u00e9g");
}

TEST_F(FormulaEval, CountIfAndSumIf)
{
    sheet.integer(0, 0, 1);
    sheet.integer(1, 0, 2);
    sheet.number(2, 0, 3);
    sheet.text(3, 0, u"ABC");
    sheet.text(4, 0, u"aBc");
    sheet.boolean(5, 0, true);
    sheet.number(7, 0, -1.5);
    for (uint32_t r = 0; r < 3; r++)
        sheet.integer(r, 2, int32_t(100 * (r + 1)));
    std::string range = area(0, 0, 9, 0);
    auto countIf = [&](const std::string &crit) {
        Excel_Value v{};
        EXPECT_EQ(eval(range + crit + func(346), &v), 0);
        EXPECT_EQ(v.kind, uint32_t(Excel_kindInteger)) << "COUNTIF counts in an integer";
        return v.u.i;
    };
    EXPECT_EQ(countIf(str(">=2")), 2);
    EXPECT_EQ(countIf(str("abc")), 2);
    EXPECT_EQ(countIf(str("=abc")), 2);
    EXPECT_EQ(countIf(integer(2)), 1);
    EXPECT_EQ(countIf(str("2")), 1);
    EXPECT_EQ(countIf(str(" 3")), 1);
    EXPECT_EQ(countIf(str("<2.5")), 3);
    EXPECT_EQ(countIf(str("<>2")), 6) << "other kinds take part in <>";
    EXPECT_EQ(countIf(str(">1e0")), 2);
    EXPECT_EQ(countIf(boolean(true)), 2) << "TRUE and the number 1";
    EXPECT_EQ(countIf(str("true")), 2) << "the workbook's truth words";
    EXPECT_EQ(countIf(integer(1)), 2);
    EXPECT_EQ(countIf(str("<ABD")), 2);
    EXPECT_EQ(countIf(str("1 2")), 0) << "inner spaces that do not convert: text";
    EXPECT_EQ(fctx.format, 0);
    Excel_Value v{};
    ASSERT_EQ(eval(range + str(">=2") + funcVar(2, 345), &v), 0);
    EXPECT_EQ(v.kind, uint32_t(Excel_kindNumber));
    EXPECT_DOUBLE_EQ(v.u.d, 5.0);
    ASSERT_EQ(eval(area(0, 0, 2, 0) + str(">1") + area(0, 2, 2, 2) + funcVar(3, 345), &v), 0);
    EXPECT_DOUBLE_EQ(v.u.d, 500.0);
    EXPECT_EQ(asError(integer(1) + str(">1") + funcVar(2, 345)), Res_formulaBadArgument)
        << "SUMIF needs an area";
    EXPECT_EQ(asError(range + funcVar(1, 345)), Res_formulaBadArgument);
}

TEST_F(FormulaEval, ErrorCellsStopWithTheirCodes)
{
    struct Case {
        uint8_t code;
        int result;
    } cases[] = {
        {0x00, Res_formulaNull},         {0x07, Res_formulaDivideByZero},
        {0x0F, Res_formulaBadArgument},  {0x17, Res_formulaBadReference},
        {0x1D, Res_formulaBadToken},     {0x24, Res_formulaNumber},
        {0x2A, Res_formulaNotAvailable}, {0x99, Res_formulaBadArgument},
    };
    for (const Case &c : cases) {
        sheet.error(2, 2, c.code, 14);
        EXPECT_EQ(asError(ref(2, 2) + integer(1) + opAdd), c.result) << int(c.code);
        EXPECT_EQ(fctx.format, 14) << "the error cell's format";
        EXPECT_EQ(asError(area(0, 2, 5, 2) + funcVar(1, 4)), c.result) << int(c.code);
    }
    Excel_FormulaCell bad{};
    bad.type = 9;
    sheet.cells[{4, 4}] = bad;
    EXPECT_EQ(asError(ref(4, 4)), Res_formulaBadArgument);
}

TEST_F(FormulaEval, ResultFormats)
{
    sheet.number(0, 0, 5, 14);
    sheet.number(0, 1, 7, 3);
    Excel_Value v{};
    ASSERT_EQ(eval(ref(0, 0) + ref(0, 1) + opAdd, &v), 0);
    EXPECT_EQ(fctx.format, 14) << "the first referenced cell's format";
    ASSERT_EQ(eval(num(0.1) + integer(100) + integer(200) + funcVar(3, 11), &v), 0);
    EXPECT_EQ(fctx.format, 8); // NPV
    ASSERT_EQ(eval(ref(0, 0) + num(0.05) + integer(10) + integer(100) + funcVar(3, 56) + opAdd, &v),
              0);
    EXPECT_EQ(fctx.format, 8) << "a function's format replaces the cell's";
    ASSERT_EQ(eval(integer(1) + integer(2) + opAdd, &v), 0);
    EXPECT_EQ(fctx.format, -1);
    int64_t before = Date_now(nullptr);
    ASSERT_EQ(eval(func(74), &v), 0);
    int64_t after = Date_now(nullptr);
    EXPECT_EQ(fctx.format, 22);
    ASSERT_EQ(v.kind, uint32_t(Excel_kindNumber));
    EXPECT_GE(v.u.d, double(before / 86400 + 25569));
    EXPECT_LE(v.u.d, double(after / 86400 + 25570));
    struct Fmt {
        uint32_t id;
        int32_t format;
    } formats[] = {{11, 8}, {56, 8}, {57, 8},  {59, 8},  {60, 10}, {62, 10}, {74, 22},
                   {58, 0}, {1, 0},  {345, 0}, {346, 0}, {4, -1},  {368, -1}};
    for (const Fmt &f : formats)
        EXPECT_EQ(Excel_Func_resultFormat(f.id), f.format) << f.id;
}

TEST_F(FormulaEval, FinancialFunctionsThroughTheTable)
{
    sheet.integer(0, 0, -1000);
    sheet.integer(1, 0, 300);
    sheet.integer(2, 0, 400);
    sheet.integer(3, 0, 500);
    double irr = asNumber(area(0, 0, 3, 0) + funcVar(1, 62));
    EXPECT_NEAR(irr, 0.0889633947, 1e-9);
    // Two argument entries with a plain number on top: the number is the
    // guess.
    EXPECT_NEAR(asNumber(area(0, 0, 3, 0) + num(0.2) + funcVar(2, 62)), irr, 1e-9);
    EXPECT_NEAR(asNumber(num(0.05) + integer(10) + integer(100) + opUminus + funcVar(3, 56)),
                772.1734929, 1e-6);
    EXPECT_EQ(asError(integer(1) + opUminus + integer(10) + integer(100) + funcVar(3, 56)),
              Res_formulaDivideByZero)
        << "PV at a rate of -1: the number routine's division by zero";
    EXPECT_EQ(asError(area(0, 1, 3, 1) + funcVar(1, 62)), Res_formulaBadArgument)
        << "IRR without cash flows";
}

TEST_F(FormulaEval, TextResultsAndTheTextList)
{
    sheet.text(0, 0, u"cell");
    Excel_Value v{};
    std::u16string text;
    ASSERT_EQ(eval(str("a") + str("b") + ref(0, 0), &v, &text), 0);
    EXPECT_EQ(text, u"cell");
    // A text that is not the result is freed (the fixture checks the heap).
    ASSERT_EQ(eval(ref(0, 0) + str("x") + opEq, &v), 0);
    EXPECT_EQ(v.kind, uint32_t(Excel_kindBoolean));
    // Nothing pushed: empty.
    ASSERT_EQ(eval(opParen, &v), 0);
    EXPECT_EQ(v.kind, uint32_t(Excel_kindEmpty));
    ASSERT_EQ(eval(std::string(), &v), 0);
    EXPECT_EQ(v.kind, uint32_t(Excel_kindEmpty));
    EXPECT_EQ(Excel_Formula_eval(nullptr, &v), Res_missingArgument);
    EXPECT_EQ(Excel_Formula_eval(&fctx, nullptr), Res_missingArgument);
}

// Every allocation of an evaluation fails in turn: each time a clean
// out-of-memory result and no bytes lost.
TEST_F(FormulaEval, OutOfMemoryLoop)
{
    for (uint32_t r = 0; r < 300; r++)
        sheet.integer(r, 0, 1);
    sheet.text(0, 1, u"t");
    sheet.text(1, 1, u"T");
    std::string tokens = area(0, 0, 299, 0) + funcVar(1, 4) + str("a") + str("b") +
                         area(0, 1, 1, 1) + str("t") + func(346) + funcVar(3, 6) + ref(0, 1) +
                         ifThen(integer(1), str("yes"), str("no")) + funcVar(3, 4) +
                         area(0, 0, 2, 0) + area(0, 0, 2, 0) + area(0, 0, 2, 0) + area(0, 0, 2, 0) +
                         funcVar(5, 7);
    Excel_Value v{};
    ASSERT_EQ(eval(tokens, &v), 0);
    ASSERT_DOUBLE_EQ(v.u.d, 2.0);
    for (uint64_t n = 1;; n++) {
        size_t before = TestHeap_usedBytes();
        Mem_failAfter(n);
        int err = eval(tokens, &v);
        bool failed = Mem_failPending() == 0;
        Mem_failAfter(0);
        EXPECT_EQ(TestHeap_usedBytes(), before) << "allocation " << n;
        if (!failed) {
            EXPECT_EQ(err, 0);
            break;
        }
        EXPECT_EQ(err, Res_noMemory) << "allocation " << n;
        ASSERT_LT(n, 1000u);
    }
}

TEST(FormulaFuncTable, CallChecksCountsAndMapsRoutineCodes)
{
    Excel_Value args[3]{};
    for (Excel_Value &a : args) {
        a.kind = Excel_kindNumber;
        a.u.d = 2;
    }
    Excel_Value r{};
    Excel_FuncCall call{27, 1, args}; // ROUND with one argument
    EXPECT_EQ(Excel_Func_call(&call, &r), Res_formulaBadArgument);
    call = {27, 3, args};
    EXPECT_EQ(Excel_Func_call(&call, &r), Res_formulaBadArgument);
    call = {15, 1, args}; // SIN: known, not implemented
    EXPECT_EQ(Excel_Func_call(&call, &r), Res_formulaBadToken);
    call = {379, 1, args};
    EXPECT_EQ(Excel_Func_call(&call, &r), Res_formulaBadToken);
    call = {4, 3, args};
    EXPECT_EQ(Excel_Func_call(&call, nullptr), Res_noMemory);
    ASSERT_EQ(Excel_Func_call(&call, &r), 0);
    EXPECT_EQ(r.u.d, 6.0);
    // Num_logBase's domain failure (0x6903) becomes a bad argument.
    args[0].u.d = -1;
    call = {109, 2, args};
    EXPECT_EQ(Excel_Func_call(&call, &r), Res_formulaBadArgument);
    // Argument counts of the table's entries as listed.
    EXPECT_EQ(Excel_Func_table.entry[62].minArgs, 2);
    EXPECT_EQ(Excel_Func_table.entry[60].maxArgs, 6);
    EXPECT_EQ(Excel_Func_table.entry[4].maxArgs, -1);
    EXPECT_EQ(Excel_Func_table.entry[5].fn, Excel_Func_table.entry[5].fn);
    EXPECT_EQ(Excel_Func_table.entry[372].fn, Excel_Func_table.entry[337].fn) << "^ is POWER";
    int implemented = 0;
    for (const Excel_FuncEntry &e : Excel_Func_table.entry)
        implemented += e.fn != nullptr;
    EXPECT_EQ(implemented, 28 + 11);
}

TEST(FormulaFuncTable, FixedArgumentCounts)
{
    struct Case {
        uint32_t id;
        int count; // -1: refused
    } cases[] = {{10, 0},  {74, 0},  {221, 0},  {2, 1},    {15, 1},   {18, 1},
                 {197, 1}, {360, 1}, {14, 2},   {27, 2},   {346, 2},  {353, 2},
                 {31, 3},  {45, 3},  {351, 3},  {119, 4},  {350, 4},  {0, -1},
                 {1, -1},  {4, -1},  {200, -1}, {361, -1}, {378, -1}, {1000, -1}};
    for (const Case &c : cases) {
        uint32_t n = 99;
        int err = Excel_Func_fixedArgCount(c.id, &n);
        if (c.count < 0) {
            EXPECT_EQ(err, Res_formulaBadToken) << c.id;
        } else {
            EXPECT_EQ(err, 0) << c.id;
            EXPECT_EQ(n, uint32_t(c.count)) << c.id;
        }
    }
}

} // namespace
