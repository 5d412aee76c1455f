// The built-in functions of formulas: the function table by id, the
// operators, comparisons, the number and truth functions, and the rules
// the evaluator asks of them (argument counts, result formats).
//
// The financial functions and ROUND, TRUNC and LOG are the number routines
// of spreadsheet/formula/finance.h; AVERAGE, MIN and MAX are in aggregate.cpp.
#include <cfloat>
#include <cmath>

#include "spreadsheet/formula/finance.h"
#include "core/result.h"
#include "core/support/support.h"
#include "core/time/date.h"
#include "spreadsheet/formula/aggregate.h"
#include "spreadsheet/formula/eval.h"

namespace {

// The tolerance of equality and of truth: the double epsilon.
constexpr double kEpsilon = 2.220446049250313e-16;
// Divisors and logarithm arguments below the smallest normal double count
// as zero.
constexpr double kTiny = DBL_MIN;

int setNumber(Excel_Value *result, double value)
{
    result->kind = Excel_kindNumber;
    result->u.d = value;
    return Res_ok;
}

int setBoolean(Excel_Value *result, bool value)
{
    result->kind = Excel_kindBoolean;
    result->u.b = value ? 1 : 0;
    return Res_ok;
}

bool isNumberKind(uint32_t kind)
{
    return kind == Excel_kindInteger || kind == Excel_kindNumber;
}

bool isFalse(double x)
{
    return std::fabs(x) < kEpsilon;
}

// ------------------------------------------------------------- operators

int fnAdd(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    return setNumber(result, Excel_Func_argToDouble(&args[0]) + Excel_Func_argToDouble(&args[1]));
}

int fnSub(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    return setNumber(result, Excel_Func_argToDouble(&args[0]) - Excel_Func_argToDouble(&args[1]));
}

int fnMul(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    return setNumber(result, Excel_Func_argToDouble(&args[0]) * Excel_Func_argToDouble(&args[1]));
}

int fnDiv(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    double b = Excel_Func_argToDouble(&args[1]);
    if (std::fabs(b) < kTiny)
        return Res_formulaDivideByZero;
    return setNumber(result, Excel_Func_argToDouble(&args[0]) / b);
}

// "^" and POWER.
int fnPower(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    return setNumber(result,
                     std::pow(Excel_Func_argToDouble(&args[0]), Excel_Func_argToDouble(&args[1])));
}

int compareAs(uint32_t op, const Excel_Value *args, Excel_Value *result)
{
    return setBoolean(result, Excel_Func_compare(op, &args[0], &args[1]) != 0);
}

int fnLt(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    return compareAs(Excel_funcLt, args, result);
}

int fnLe(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    return compareAs(Excel_funcLe, args, result);
}

int fnEq(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    return compareAs(Excel_funcEq, args, result);
}

int fnGt(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    return compareAs(Excel_funcGt, args, result);
}

int fnGe(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    return compareAs(Excel_funcGe, args, result);
}

int fnNe(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    return compareAs(Excel_funcNe, args, result);
}

// ------------------------------------------------------- number functions

// SUM and PRODUCT take the integer and number arguments only.
int fnSum(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    double sum = 0.0;
    for (uint32_t i = 0; i < count; i++)
        if (isNumberKind(args[i].kind))
            sum += Excel_Func_argToDouble(&args[i]);
    return setNumber(result, sum);
}

int fnProduct(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    double product = 1.0;
    bool any = false;
    for (uint32_t i = 0; i < count; i++) {
        if (isNumberKind(args[i].kind)) {
            product *= Excel_Func_argToDouble(&args[i]);
            any = true;
        }
    }
    return setNumber(result, any ? product : 0.0);
}

// The one-argument functions refuse text themselves.
int oneNumber(const Excel_Value *args, double *x)
{
    if (args[0].kind == Excel_kindText)
        return Res_formulaBadArgument;
    *x = Excel_Func_argToDouble(&args[0]);
    return Res_ok;
}

int fnAbs(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    double x;
    if (int err = oneNumber(args, &x))
        return err;
    return setNumber(result, std::fabs(x));
}

int fnInt(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    double x;
    if (int err = oneNumber(args, &x))
        return err;
    return setNumber(result, std::floor(x));
}

int fnSqrt(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    double x;
    if (int err = oneNumber(args, &x))
        return err;
    if (x < -kTiny)
        return Res_formulaNumber;
    // A negative value too small to count is taken as zero.
    return setNumber(result, x < 0 ? 0.0 : std::sqrt(x));
}

int fnLn(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    double x;
    if (int err = oneNumber(args, &x))
        return err;
    if (x < kTiny)
        return Res_formulaNumber;
    return setNumber(result, std::log(x));
}

int fnLog10(uint32_t, const Excel_Value *args, Excel_Value *result)
{
    double x;
    if (int err = oneNumber(args, &x))
        return err;
    if (x < kTiny)
        return Res_formulaBadArgument;
    return setNumber(result, std::log10(x));
}

int fnMod(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    double a = Excel_Func_argToDouble(&args[0]);
    double b = Excel_Func_argToDouble(&args[1]);
    if (std::fabs(b) < kTiny)
        return Res_formulaDivideByZero;
    return setNumber(result, a - std::floor(a / b) * b);
}

int storeRoutine(int err, double value, Excel_Value *result)
{
    if (err != Res_ok)
        return err;
    return setNumber(result, value);
}

// ROUND(x, digits): the routine truncates the digits and refuses NaN and
// counts beyond its range before converting them.
int fnRound(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    double value;
    int err = Num_round(Excel_Func_argToDouble(&args[0]), Excel_Func_argToDouble(&args[1]), &value);
    return storeRoutine(err, value, result);
}

int fnTrunc(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    double digits = count > 1 ? Excel_Func_argToDouble(&args[1]) : 0.0;
    double value;
    int err = Num_trunc(Excel_Func_argToDouble(&args[0]), digits, &value);
    return storeRoutine(err, value, result);
}

int fnLog(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    double base = count > 1 ? Excel_Func_argToDouble(&args[1]) : 10.0;
    double value;
    int err = Num_logBase(Excel_Func_argToDouble(&args[0]), base, &value);
    return storeRoutine(err, value, result);
}

// --------------------------------------------------------- truth values

int fnTrue(uint32_t, const Excel_Value *, Excel_Value *result)
{
    return setBoolean(result, true);
}

int fnFalse(uint32_t, const Excel_Value *, Excel_Value *result)
{
    return setBoolean(result, false);
}

// AND and OR count every argument that is neither text nor empty. AND
// over no counted argument is TRUE, OR FALSE.
int fnAnd(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    bool all = true;
    for (uint32_t i = 0; i < count; i++) {
        if (args[i].kind == Excel_kindText || args[i].kind == Excel_kindEmpty)
            continue;
        if (isFalse(Excel_Func_argToDouble(&args[i])))
            all = false;
    }
    return setBoolean(result, all);
}

int fnOr(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    bool any = false;
    for (uint32_t i = 0; i < count; i++) {
        if (args[i].kind == Excel_kindText || args[i].kind == Excel_kindEmpty)
            continue;
        if (!isFalse(Excel_Func_argToDouble(&args[i])))
            any = true;
    }
    return setBoolean(result, any);
}

int fnNot(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    if (int err = Excel_Func_argsHaveError(args, count))
        return err;
    return setBoolean(result, isFalse(Excel_Func_argToDouble(&args[0])));
}

// ---------------------------------------------------------------- table

constexpr Excel_FuncTable makeTable()
{
    Excel_FuncTable t{};
    for (uint32_t i = 0; i < Excel_funcCount; i++)
        t.entry[i] = Excel_FuncEntry{0, -1, nullptr};
    t.entry[4] = {1, -1, fnSum};
    t.entry[5] = {1, -1, Excel_Func_average};
    t.entry[6] = {1, -1, Excel_Func_min};
    t.entry[7] = {1, -1, Excel_Func_max};
    t.entry[11] = {1, -1, Fin_npvArgs};
    t.entry[20] = {1, 1, fnSqrt};
    t.entry[22] = {1, 1, fnLn};
    t.entry[23] = {1, 1, fnLog10};
    t.entry[24] = {1, 1, fnAbs};
    t.entry[25] = {1, 1, fnInt};
    t.entry[27] = {2, 2, fnRound};
    t.entry[34] = {0, 0, fnTrue};
    t.entry[35] = {0, 0, fnFalse};
    t.entry[36] = {1, -1, fnAnd};
    t.entry[37] = {1, -1, fnOr};
    t.entry[38] = {1, 1, fnNot};
    t.entry[39] = {2, 2, fnMod};
    t.entry[56] = {3, 5, Fin_pvArgs};
    t.entry[57] = {3, 5, Fin_fvArgs};
    t.entry[58] = {3, 5, Fin_nperArgs};
    t.entry[59] = {3, 5, Fin_pmtArgs};
    t.entry[60] = {3, 6, Fin_rateArgs};
    t.entry[62] = {2, -1, Fin_irrArgs};
    t.entry[74] = {0, 0, Excel_Func_now};
    t.entry[109] = {1, 2, fnLog};
    t.entry[183] = {1, -1, fnProduct};
    t.entry[197] = {1, 2, fnTrunc};
    t.entry[337] = {2, 2, fnPower};
    t.entry[Excel_funcAdd] = {2, 2, fnAdd};
    t.entry[Excel_funcSub] = {2, 2, fnSub};
    t.entry[Excel_funcMul] = {2, 2, fnMul};
    t.entry[Excel_funcDiv] = {2, 2, fnDiv};
    t.entry[Excel_funcPower] = {2, 2, fnPower};
    t.entry[Excel_funcLt] = {2, 2, fnLt};
    t.entry[Excel_funcLe] = {2, 2, fnLe};
    t.entry[Excel_funcEq] = {2, 2, fnEq};
    t.entry[Excel_funcGt] = {2, 2, fnGt};
    t.entry[Excel_funcGe] = {2, 2, fnGe};
    t.entry[Excel_funcNe] = {2, 2, fnNe};
    return t;
}

// Fixed argument counts of ptgFunc ids, as runs of ids.
struct ArgRun {
    uint16_t first;
    uint16_t last;
    uint8_t count;
};

constexpr ArgRun kFixedArgs[] = {
    {10, 10, 0},   {19, 19, 0},   {34, 35, 0},   {63, 63, 0},   {74, 74, 0},   {221, 221, 0},
    {2, 3, 1},     {15, 18, 1},   {20, 26, 1},   {32, 33, 1},   {38, 38, 1},   {67, 73, 1},
    {75, 77, 1},   {83, 83, 1},   {86, 86, 1},   {98, 99, 1},   {105, 105, 1}, {111, 114, 1},
    {118, 118, 1}, {121, 121, 1}, {126, 131, 1}, {140, 141, 1}, {162, 164, 1}, {184, 184, 1},
    {190, 190, 1}, {197, 198, 1}, {211, 211, 1}, {214, 215, 1}, {229, 234, 1}, {244, 244, 1},
    {261, 261, 1}, {271, 271, 1}, {279, 279, 1}, {283, 284, 1}, {294, 294, 1}, {296, 296, 1},
    {298, 299, 1}, {342, 343, 1}, {347, 347, 1}, {352, 352, 1}, {360, 360, 1}, {14, 14, 2},
    {27, 27, 2},   {30, 30, 2},   {39, 39, 2},   {48, 48, 2},   {97, 97, 2},   {117, 117, 2},
    {165, 165, 2}, {212, 213, 2}, {220, 220, 2}, {252, 252, 2}, {274, 276, 2}, {285, 285, 2},
    {288, 288, 2}, {303, 308, 2}, {310, 315, 2}, {325, 328, 2}, {331, 332, 2}, {337, 337, 2},
    {346, 346, 2}, {353, 353, 2}, {31, 31, 3},   {40, 45, 3},   {47, 47, 3},   {61, 61, 3},
    {65, 66, 3},   {101, 102, 3}, {142, 142, 3}, {189, 189, 3}, {195, 196, 3}, {199, 199, 3},
    {210, 210, 3}, {235, 235, 3}, {277, 278, 3}, {280, 282, 3}, {287, 287, 3}, {290, 292, 3},
    {295, 295, 3}, {297, 297, 3}, {300, 301, 3}, {309, 309, 3}, {351, 351, 3}, {119, 119, 4},
    {143, 143, 4}, {207, 207, 4}, {273, 273, 4}, {286, 286, 4}, {289, 289, 4}, {293, 293, 4},
    {302, 302, 4}, {316, 316, 4}, {350, 350, 4},
};

// Codes of the number routines (spreadsheet/formula/finance.h) and the formula codes
// they become.
int mapRoutineCode(int err)
{
    switch (err) {
    case Res_numDivideByZero: return Res_formulaDivideByZero;
    case Res_numNotFinite:
    case Res_numNoConvergence:
    case 0x6905: return Res_formulaNumber;
    case Res_numOutOfRange:
    case Res_numNoSignChange: return Res_formulaBadArgument;
    default: return err;
    }
}

} // namespace

const Excel_FuncTable Excel_Func_table = makeTable();

double Excel_Func_argToDouble(const Excel_Value *value)
{
    switch (value->kind) {
    case Excel_kindInteger: return static_cast<double>(value->u.i);
    case Excel_kindNumber: return value->u.d;
    case Excel_kindBoolean: return value->u.b ? 1.0 : 0.0;
    default: return 0.0;
    }
}

int Excel_Func_argsHaveError(const Excel_Value *args, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++)
        if (args[i].kind == Excel_kindText)
            return Res_formulaBadArgument;
    return Res_ok;
}

int Excel_Func_bothNumbers(const Excel_Value *a, const Excel_Value *b)
{
    return isNumberKind(a->kind) && isNumberKind(b->kind);
}

namespace {

bool emptyLike(const Excel_Value *v)
{
    return v->kind == Excel_kindEmpty ||
           (v->kind == Excel_kindText && (!v->u.text || !v->u.text[0]));
}

int compareText(const Excel_Value *a, const Excel_Value *b)
{
    const char16_t *ta = a->u.text ? a->u.text : u"";
    const char16_t *tb = b->u.text ? b->u.text : u"";
    return Ustr_icmp(ta, tb);
}

bool sameKindForComparison(const Excel_Value *a, const Excel_Value *b)
{
    return a->kind == b->kind || Excel_Func_bothNumbers(a, b);
}

bool equalValues(const Excel_Value *a, const Excel_Value *b)
{
    if (a->kind == Excel_kindText && b->kind == Excel_kindText)
        return compareText(a, b) == 0;
    if (!sameKindForComparison(a, b))
        return Excel_Func_bothEmpty(a, b) != 0;
    return std::fabs(Excel_Func_argToDouble(a) - Excel_Func_argToDouble(b)) < kEpsilon;
}

// Values of different kinds order empty < number < text < boolean.
bool lessThan(const Excel_Value *a, const Excel_Value *b)
{
    if (a->kind == Excel_kindText && b->kind == Excel_kindText)
        return compareText(a, b) < 0;
    if (!sameKindForComparison(a, b)) {
        if (a->kind == Excel_kindEmpty)
            return true;
        bool aNumber = isNumberKind(a->kind);
        if ((aNumber || a->kind == Excel_kindText) && b->kind == Excel_kindBoolean)
            return true;
        return aNumber && b->kind == Excel_kindText;
    }
    return Excel_Func_argToDouble(a) < Excel_Func_argToDouble(b);
}

} // namespace

int Excel_Func_bothEmpty(const Excel_Value *a, const Excel_Value *b)
{
    if (a->kind == Excel_kindEmpty && b->kind == Excel_kindEmpty)
        return 1;
    return (a->kind == Excel_kindEmpty && emptyLike(b)) ||
           (b->kind == Excel_kindEmpty && emptyLike(a));
}

int Excel_Func_compare(uint32_t op, const Excel_Value *a, const Excel_Value *b)
{
    switch (op) {
    case Excel_funcLt: return lessThan(a, b);
    case Excel_funcLe: return lessThan(a, b) || equalValues(a, b);
    case Excel_funcEq: return equalValues(a, b);
    case Excel_funcGt: return !(lessThan(a, b) || equalValues(a, b));
    case Excel_funcGe: return !lessThan(a, b);
    case Excel_funcNe: return !equalValues(a, b);
    default: return 0;
    }
}

int32_t Excel_Func_resultFormat(uint32_t id)
{
    switch (id) {
    case 11: // NPV
    case 56: // PV
    case 57: // FV
    case 59: // PMT
        return 8;
    case 60: // RATE
    case 62: // IRR
        return 10;
    case 74: // NOW
        return 22;
    case 58: // NPER
    case Excel_funcIf:
    case Excel_funcSumIf:
    case Excel_funcCountIf: return 0;
    default: return -1;
    }
}

int Excel_Func_fixedArgCount(uint32_t id, uint32_t *count)
{
    *count = 0;
    for (const ArgRun &run : kFixedArgs) {
        if (id >= run.first && id <= run.last) {
            *count = run.count;
            return Res_ok;
        }
    }
    return Res_formulaBadToken;
}

int Excel_Func_call(const Excel_FuncCall *call, Excel_Value *result)
{
    if (!result)
        return Res_noMemory;
    result->kind = Excel_kindEmpty;
    result->u.d = 0.0;
    if (!call || call->id >= Excel_funcCount || !Excel_Func_table.entry[call->id].fn)
        return Res_formulaBadToken;
    const Excel_FuncEntry &e = Excel_Func_table.entry[call->id];
    if (call->count < uint32_t(e.minArgs) || (e.maxArgs >= 0 && call->count > uint32_t(e.maxArgs)))
        return Res_formulaBadArgument;
    if (call->count > 0 && !call->args)
        return Res_formulaBadArgument;
    int err = mapRoutineCode(e.fn(call->count, call->args, result));
    if (err != Res_ok) {
        result->kind = Excel_kindEmpty;
        return err;
    }
    // Infinities and NaN are not values a cell can hold: an overflowing
    // product or a power such as 0^-1 or (-8)^0.5 is a number error.
    if ((result->kind == Excel_kindNumber || result->kind == Excel_kindGuess) &&
        !std::isfinite(result->u.d)) {
        result->kind = Excel_kindEmpty;
        return Res_formulaNumber;
    }
    return Res_ok;
}

int Excel_Func_now(uint32_t, const Excel_Value *, Excel_Value *result)
{
    int64_t t = Date_now(nullptr);
    int64_t days = t / 86400;
    int64_t seconds = t % 86400;
    if (seconds < 0) {
        seconds += 86400;
        days--;
    }
    // The day fraction divides by 86399, as the serials of this system
    // always have.
    return setNumber(result, double(days + 25569) + double(seconds) / 86399.0);
}
