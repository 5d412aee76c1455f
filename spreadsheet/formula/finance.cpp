// Time-value, rate, rounding and logarithm routines of spreadsheet
// formulas, and their argument lists.
#include "spreadsheet/formula/finance.h"

#include <cmath>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/formula/eval.h"

namespace {

const double kZero = 0x1p-52;   // magnitudes below it count as zero
const double kTolerance = 1e-7; // a Newton step at most this long ends the iteration
const double kDefaultGuess = 0.1;

bool isZero(double v)
{
    return std::fabs(v) < kZero;
}

// Stores a finished result, refusing what is not a finite number.
int financeFinish(double value, double *out)
{
    if (!std::isfinite(value))
        return Res_numNotFinite;
    *out = value;
    return Res_ok;
}

// (1 + r)^n - 1, precise also when r is tiny.
double growthMinusOne(double r, double n)
{
    if (1 + r > 0)
        return std::expm1(n * std::log1p(r));
    return std::pow(1 + r, n) - 1;
}

// Newton's iteration shared by RATE and IRR.
struct Newton {
    double (*value)(const void *args, double r);
    double (*slope)(const void *args, double r);
    const void *args;
};

int iterate(const Newton &n, double guess, double *out)
{
    double r = guess;
    for (uint32_t step = 0; step < Fin_maxSteps; step++) {
        double f = n.value(n.args, r);
        double slope = n.slope(n.args, r);
        if (std::isnan(slope) || std::isnan(f))
            return Res_numNoConvergence;
        if (isZero(slope))
            return Res_numDivideByZero;
        double next = r - f / slope;
        if (!std::isfinite(next))
            return Res_numNoConvergence;
        if (std::fabs(next - r) <= kTolerance)
            return financeFinish(next, out);
        r = next;
    }
    return Res_numNoConvergence;
}

} // namespace

// ------------------------------------------------------------ time value

int Fin_fv(double r, double n, double p, double pv, double k, double *out)
{
    *out = 0;
    if (isZero(r))
        return financeFinish(-pv - p * n, out);
    double a = std::pow(1 + r, n);
    return financeFinish(-pv * a - p * (1 + r * k) * growthMinusOne(r, n) / r, out);
}

int Fin_pv(double r, double n, double p, double fv, double k, double *out)
{
    *out = 0;
    if (isZero(r))
        return financeFinish(-fv - p * n, out);
    if (isZero(1 + r))
        return isZero(n) ? Res_numOutOfRange : Res_numDivideByZero;
    double a = std::pow(1 + r, n);
    return financeFinish(-(fv * r + p * (1 + r * k) * growthMinusOne(r, n)) / (r * a), out);
}

int Fin_pmt(double r, double n, double pv, double fv, double k, double *out)
{
    *out = 0;
    if (isZero(r)) {
        if (isZero(n))
            return Res_numDivideByZero;
        return financeFinish((-pv - fv) / n, out);
    }
    if (isZero(1 + r) && isZero(n))
        return Res_numOutOfRange;
    double whole;
    if ((1 + r < 0 || isZero(1 + r)) && std::modf(n, &whole) != 0)
        return Res_numOutOfRange;
    double a = std::pow(1 + r, n);
    double divisor = growthMinusOne(r, n) * (1 + r * k);
    if (isZero(divisor))
        return Res_numDivideByZero;
    return financeFinish(-(pv * a + fv) * r / divisor, out);
}

int Fin_nper(double r, double p, double pv, double fv, double k, double *out)
{
    *out = 0;
    if (isZero(r)) {
        if (isZero(p))
            return Res_numDivideByZero;
        return financeFinish((-fv - pv) / p, out);
    }
    if (isZero(1 + r))
        return Res_numOutOfRange;
    double pk = p * (1 + r * k);
    double below = pk + pv * r;
    if (isZero(below))
        return Res_numDivideByZero;
    double ratio = (pk - fv * r) / below;
    // Logarithms of values that are not positive have no real value.
    if (!(ratio > 0) || !(1 + r > 0))
        return Res_numOutOfRange;
    return financeFinish(std::log(ratio) / std::log(1 + r), out);
}

// ------------------------------------------------------------------ RATE

double Fin_rateValue(double r, double n, double p, double pv, double fv, double k)
{
    if (isZero(r))
        return pv + p * n + fv;
    return pv * std::pow(1 + r, n) + p * (1 + r * k) * growthMinusOne(r, n) / r + fv;
}

double Fin_rateSlope(double r, double n, double p, double pv, double fv, double k)
{
    (void)fv;
    if (isZero(r))
        return pv * n + p * (k * n + n * (n - 1) / 2);
    double a1 = std::pow(1 + r, n - 1);
    double g = growthMinusOne(r, n) / r; // the annuity factor
    double gSlope = (n * a1 * r - growthMinusOne(r, n)) / (r * r);
    return pv * n * a1 + p * k * g + p * (1 + r * k) * gSlope;
}

namespace {

struct RateArgs {
    double n, p, pv, fv, k;
};

double rateValue(const void *args, double r)
{
    const RateArgs *a = static_cast<const RateArgs *>(args);
    return Fin_rateValue(r, a->n, a->p, a->pv, a->fv, a->k);
}

double rateSlope(const void *args, double r)
{
    const RateArgs *a = static_cast<const RateArgs *>(args);
    return Fin_rateSlope(r, a->n, a->p, a->pv, a->fv, a->k);
}

struct CashFlows {
    const double *values;
    uint32_t count;
};

double irrValue(const void *args, double r)
{
    const CashFlows *c = static_cast<const CashFlows *>(args);
    return Fin_irrValue(c->values, c->count, r);
}

double irrSlope(const void *args, double r)
{
    const CashFlows *c = static_cast<const CashFlows *>(args);
    return Fin_irrSlope(c->values, c->count, r);
}

} // namespace

int Fin_rate(double n, double p, double pv, double fv, double k, double guess, double *out)
{
    *out = 0;
    RateArgs args{n, p, pv, fv, k};
    return iterate(Newton{rateValue, rateSlope, &args}, guess, out);
}

// ------------------------------------------------------------- NPV and IRR

int Fin_npv(double rate, const double *values, uint32_t count, double *out)
{
    *out = 0;
    if (isZero(1 + rate))
        return Res_numDivideByZero;
    double sum = 0;
    for (uint32_t i = 0; i < count; i++)
        sum += values[i] / std::pow(1 + rate, static_cast<double>(i) + 1);
    return financeFinish(sum, out);
}

double Fin_irrValue(const double *values, uint32_t count, double r)
{
    double sum = 0;
    for (uint32_t i = 0; i < count; i++)
        sum += values[i] / std::pow(1 + r, static_cast<double>(i));
    return sum;
}

double Fin_irrSlope(const double *values, uint32_t count, double r)
{
    double sum = 0;
    for (uint32_t i = 1; i < count; i++)
        sum -= static_cast<double>(i) * values[i] / std::pow(1 + r, static_cast<double>(i) + 1);
    return sum;
}

int Fin_irr(const double *values, uint32_t count, double guess, double *out)
{
    *out = 0;
    if (isZero(guess))
        guess = kDefaultGuess;
    bool positive = false, negative = false;
    for (uint32_t i = 0; i < count; i++) {
        positive |= values[i] >= kZero;
        negative |= values[i] <= -kZero;
    }
    if (!positive || !negative)
        return Res_numNoSignChange;
    CashFlows flows{values, count};
    return iterate(Newton{irrValue, irrSlope, &flows}, guess, out);
}

// ----------------------------------------------------- rounding, logarithm

namespace {

// The whole number of digits, when it lies in -20..20.
bool digitsInRange(double digits, int *whole)
{
    double d = std::trunc(digits);
    if (!(d >= -20 && d <= 20))
        return false;
    *whole = static_cast<int>(d);
    return true;
}

} // namespace

int Num_round(double x, double digits, double *out)
{
    *out = 0;
    int d;
    if (!digitsInRange(digits, &d))
        return Res_numOutOfRange;
    double scale = std::pow(10.0, d);
    double y = x * scale;
    // Beyond 2^52 every double is whole: nothing to round.
    if (!std::isfinite(y) || std::fabs(y) >= 0x1p52)
        return financeFinish(d >= 0 ? x : y / scale, out);
    double whole;
    double fraction = std::modf(y, &whole);
    if (y >= 0 && fraction >= 0.5)
        whole += 1;
    else if (y < 0 && fraction <= -0.5)
        whole -= 1;
    return financeFinish(whole / scale, out);
}

int Num_trunc(double x, double digits, double *out)
{
    *out = 0;
    int d;
    if (!digitsInRange(digits, &d))
        return Res_numOutOfRange;
    double scale = std::pow(10.0, d);
    double y = x * scale;
    if (!std::isfinite(y) || std::fabs(y) >= 0x1p52)
        return financeFinish(d >= 0 ? x : y / scale, out);
    double whole;
    std::modf(y, &whole);
    return financeFinish(whole / scale, out);
}

int Num_logBase(double x, double base, double *out)
{
    *out = 0;
    if (!(x > 0) || !(base > 0) || base == 1)
        return Res_numOutOfRange;
    return financeFinish(std::log(x) / std::log(base), out);
}

// ---------------------------------------------------------- argument lists

namespace {

bool isNumber(const Excel_Value *v)
{
    return v->kind == Excel_kindInteger || v->kind == Excel_kindNumber;
}

// The checks every financial function makes: the count within its range
// (max -1: no limit), a number first, no text anywhere.
int checkArgs(uint32_t count, const Excel_Value *args, uint32_t min, int32_t max)
{
    if (count < min || (max >= 0 && count > static_cast<uint32_t>(max)))
        return Res_formulaBadArgument;
    if (count == 0 || !isNumber(&args[0]))
        return Res_formulaBadArgument;
    for (uint32_t i = 0; i < count; i++)
        if (args[i].kind == Excel_kindText)
            return Res_formulaBadArgument;
    return Res_ok;
}

double argAt(uint32_t count, const Excel_Value *args, uint32_t i, double absent)
{
    return i < count ? Excel_Func_argToDouble(&args[i]) : absent;
}

// The payment timing: 1 when the fifth argument is not zero.
double timingAt(uint32_t count, const Excel_Value *args)
{
    return isZero(argAt(count, args, 4, 0)) ? 0 : 1;
}

int store(int err, double value, Excel_Value *result)
{
    if (err == Res_ok) {
        result->kind = Excel_kindNumber;
        result->u.d = value;
    }
    return err;
}

typedef int (*TimeValueFn)(double, double, double, double, double, double *);

// PV, FV, NPER and PMT: three arguments, a fourth and the timing.
int timeValueArgs(TimeValueFn fn, uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    result->kind = Excel_kindEmpty;
    if (int err = checkArgs(count, args, 3, 5))
        return err;
    double value;
    int err = fn(argAt(count, args, 0, 0), argAt(count, args, 1, 0), argAt(count, args, 2, 0),
                 argAt(count, args, 3, 0), timingAt(count, args), &value);
    return store(err, value, result);
}

} // namespace

int Fin_pvArgs(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    return timeValueArgs(Fin_pv, count, args, result);
}

int Fin_fvArgs(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    return timeValueArgs(Fin_fv, count, args, result);
}

int Fin_nperArgs(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    return timeValueArgs(Fin_nper, count, args, result);
}

int Fin_pmtArgs(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    return timeValueArgs(Fin_pmt, count, args, result);
}

int Fin_rateArgs(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    result->kind = Excel_kindEmpty;
    if (int err = checkArgs(count, args, 3, 6))
        return err;
    double value;
    int err = Fin_rate(argAt(count, args, 0, 0), argAt(count, args, 1, 0), argAt(count, args, 2, 0),
                       argAt(count, args, 3, 0), timingAt(count, args),
                       argAt(count, args, 5, kDefaultGuess), &value);
    return store(err, value, result);
}

int Fin_npvArgs(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    result->kind = Excel_kindEmpty;
    if (int err = checkArgs(count, args, 1, -1))
        return err;
    double *values = static_cast<double *>(Mem_malloc(sizeof(double) * count));
    if (!values)
        return Res_noMemory;
    uint32_t n = 0;
    for (uint32_t i = 1; i < count; i++)
        if (isNumber(&args[i]))
            values[n++] = Excel_Func_argToDouble(&args[i]);
    double value;
    int err = Fin_npv(Excel_Func_argToDouble(&args[0]), values, n, &value);
    Mem_free(values);
    return store(err, value, result);
}

int Fin_irrArgs(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    result->kind = Excel_kindEmpty;
    if (int err = checkArgs(count, args, 1, -1))
        return err;
    double guess = kDefaultGuess;
    uint32_t flows = count;
    if (args[count - 1].kind == Excel_kindGuess) {
        guess = args[count - 1].u.d;
        flows--;
    }
    double *values = static_cast<double *>(Mem_malloc(sizeof(double) * count));
    if (!values)
        return Res_noMemory;
    uint32_t n = 0;
    for (uint32_t i = 0; i < flows; i++)
        if (isNumber(&args[i]))
            values[n++] = Excel_Func_argToDouble(&args[i]);
    double value;
    int err = Fin_irr(values, n, guess, &value);
    Mem_free(values);
    return store(err, value, result);
}
