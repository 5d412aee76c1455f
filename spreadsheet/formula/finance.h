// The financial and rounding functions of spreadsheet formulas.
//
// The computing routines work in IEEE double precision with the system
// mathematics library and answer 0 or an error code (26880 to 26884, which
// the formula engine turns into spreadsheet error values); the result goes
// through the out pointer, which is cleared first. A value whose magnitude
// is below 2^-52 counts as zero wherever a zero would divide or decide a
// case. A result that is not a finite number is refused with 26881 rather
// than stored.
//
// The argument-list routines have the shape of the formula engine's
// built-in functions (Excel_FuncFn, spreadsheet/formula/eval.h) so that its
// function table points at them: they check the arguments, read them as
// numbers, call the computing routine and store the result as a number.
// They refuse a first argument that is not a number, any text argument and
// an argument count outside the function's range with 0x6601.
#pragma once

#include <cstdint>

struct Excel_Value;

enum : uint32_t {
    Fin_maxSteps = 25, // Newton steps of RATE and IRR
};

// The future value: for r not zero
// -pv (1 + r)^n - p (1 + r k) ((1 + r)^n - 1) / r, else -pv - p n.
// k is the payment timing: 0 at the end of each period, 1 at the start.
int Fin_fv(double r, double n, double p, double pv, double k, double *out);
// The present value: for r not zero
// -(fv r + p (1 + r k) ((1 + r)^n - 1)) / (r (1 + r)^n), else -fv - p n;
// 26883 when 1 + r and n are both zero, 26880 when 1 + r is.
int Fin_pv(double r, double n, double p, double fv, double k, double *out);
// The payment per period: for r not zero
// -(pv (1 + r)^n + fv) r / (((1 + r)^n - 1) (1 + r k)), 26880 when the
// divisor is zero, 26883 when 1 + r and n are both zero or when 1 + r is not
// positive and n has a fractional part; for r zero (-pv - fv) / n, 26880
// when n is zero.
int Fin_pmt(double r, double n, double pv, double fv, double k, double *out);
// The number of periods: for r not zero
// ln((p (1 + r k) - fv r) / (p (1 + r k) + pv r)) / ln(1 + r), 26880 when the
// inner divisor is zero, 26883 when 1 + r or the quotient is not positive;
// for r zero (-fv - pv) / p, 26880 when p is zero.
int Fin_nper(double r, double p, double pv, double fv, double k, double *out);

// The annuity equation RATE solves, pv (1 + r)^n + p (1 + r k) ((1 + r)^n -
// 1) / r + fv (= 0), and its derivative in r; at r zero (magnitude below
// 2^-52) their limits pv + p n + fv and pv n + p (k n + n (n - 1) / 2).
// (1 + r)^n - 1 is taken as expm1(n log1p(r)), precise for small rates.
double Fin_rateValue(double r, double n, double p, double pv, double fv, double k);
double Fin_rateSlope(double r, double n, double p, double pv, double fv, double k);
// The rate per period: Newton's iteration of the annuity equation from the
// guess, at most 25 steps, done when a step moves the rate by at most
// 1e-7. 26880 for a zero derivative, 26882 when it does not converge
// (as with many periods and a guess far above the rate: each step then
// moves the rate by about (1 + r) / n).
int Fin_rate(double n, double p, double pv, double fv, double k, double guess, double *out);

// The net present value: the sum of values[i] / (1 + rate)^(i + 1); 26880
// when 1 + rate is zero.
int Fin_npv(double rate, const double *values, uint32_t count, double *out);

// The sum of values[i] / (1 + r)^i and its derivative in r.
double Fin_irrValue(const double *values, uint32_t count, double r);
double Fin_irrSlope(const double *values, uint32_t count, double r);
// The internal rate of return: Newton's iteration from the guess (0.1 when
// the guess is zero), as for RATE. 26884 unless the values hold both a
// positive and a negative one.
int Fin_irr(const double *values, uint32_t count, double guess, double *out);

// x rounded to digits decimal digits (digits truncated toward zero; -20 to
// 20, else 26883), halves away from zero.
int Num_round(double x, double digits, double *out);
// x cut toward zero to digits decimal digits (as for Num_round).
int Num_trunc(double x, double digits, double *out);
// The logarithm of x to the base; 26883 when x or the base is not
// positive or the base is 1.
int Num_logBase(double x, double base, double *out);

// Argument lists, formula order:
// NPV(rate, value...): every later argument that is a number is a value.
int Fin_npvArgs(uint32_t count, const Excel_Value *args, Excel_Value *result);
// PV(rate, nper, pmt [, fv [, type]]).
int Fin_pvArgs(uint32_t count, const Excel_Value *args, Excel_Value *result);
// FV(rate, nper, pmt [, pv [, type]]).
int Fin_fvArgs(uint32_t count, const Excel_Value *args, Excel_Value *result);
// NPER(rate, pmt, pv [, fv [, type]]).
int Fin_nperArgs(uint32_t count, const Excel_Value *args, Excel_Value *result);
// PMT(rate, nper, pv [, fv [, type]]).
int Fin_pmtArgs(uint32_t count, const Excel_Value *args, Excel_Value *result);
// RATE(nper, pmt, pv [, fv [, type [, guess]]]); the guess is 0.1 when
// absent.
int Fin_rateArgs(uint32_t count, const Excel_Value *args, Excel_Value *result);
// IRR(value... [, guess]): numbers are cash flows; a last argument of the
// guess kind (Excel_kindGuess) is the guess, 0.1 when there is none.
int Fin_irrArgs(uint32_t count, const Excel_Value *args, Excel_Value *result);
