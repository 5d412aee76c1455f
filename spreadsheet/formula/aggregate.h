// The aggregate functions of the formula evaluator.
#pragma once

#include <cstddef>
#include <cstdint>

struct Excel_Value;

// AVERAGE, MAX and MIN of the formula evaluator. The arguments of kind
// integer or number are taken, in order; others are skipped. The result is
// a number: 0.0 when no argument is a number, else the mean (the sum in
// order divided by the count), the largest or the smallest value (a later
// equal value replaces the one found first). Returns 0, or 1 when memory
// runs out (the result is then untouched).
int Excel_Func_average(uint32_t count, const Excel_Value *args, Excel_Value *result);
int Excel_Func_max(uint32_t count, const Excel_Value *args, Excel_Value *result);
int Excel_Func_min(uint32_t count, const Excel_Value *args, Excel_Value *result);

// The smallest of n (at least 1) doubles: each later element is taken when
// it compares less than or equal, so of equal values the last wins and a
// NaN never replaces nor is replaced (a NaN first stays the result).
double Double_arrayMin(const double *values, size_t n);
