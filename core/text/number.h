// Number conversion, random numbers and search.
//
// The engine uses none of the platform's routines for numbers, random
// numbers or searching: these take their place, with the engine's own rules
// for bases, overflow and end pointers. Text is 8-bit; character tests use
// Char_classTable. Beside them stand a 16.16 multiply and percentage
// multiply, the mean of doubles, a power of two helper and three small
// allocation routines that the file streams use as buffer callbacks.
#pragma once

#include <cstddef>
#include <cstdint>

// |v|; the absolute value of INT_MIN is INT_MIN.
int Std_abs(int v);

// Reads a 32-bit integer: white space, one '-' or '+', then digits of the
// base (0, 8, 10, 16, or any base up to 36: letters count from 10). Base 16
// or 0 skips a "0x"/"0X"; base 0 then means 16, else 8 after a leading '0'
// and 10 otherwise. A value beyond the limit gives the limit (0x7FFFFFFF,
// or 0x80000000 when negative) and the remaining digits are consumed. *end
// (when end is not null) receives the position after the last digit, or
// the start of the text when no digit was taken. Other bases take no digit.
int32_t Std_strtol(const char *text, const char **end, int base);
// As Std_strtol with the limit 0xFFFFFFFF; '-' negates modulo 2^32.
uint32_t Std_strtoul(const char *text, const char **end, int base);
// Std_strtol in base 10 without an end pointer.
int32_t Std_atoi(const char *text);
int32_t Std_atol(const char *text);

// Reads a decimal number without exponent: one '-' or '+', digits, and an
// optional '.' with fraction digits; no white space. *end (when end is not
// null) receives where scanning stopped, or null when that is the text's
// end (so a null *end means the whole text was a number). A null text
// gives 0.0 and a null *end.
double Std_strtod(const char *text, const char **end);
// As Std_strtod, then an exponent after 'e' or 'E' read by the same rule
// (it may carry a sign and even a fraction): mantissa × 10^exponent. A null
// text gives 0.0.
double Std_atof(const char *text);

// Writes value in the radix (2 to 36; any other counts as 10) with digits
// '0'-'9', 'a'-'z' and a leading '-' for negative values into dst, which
// must hold 34 bytes; returns dst.
char *Std_itoa(int32_t value, char *dst, int radix);

// The next value of the Park-Miller minimal standard generator, 0 to 32767.
// The seed is a word of the calling thread's engine instance; a seed of 0
// is first set from the host's millisecond clock. Without an engine
// instance each call draws from the seed 1.
int Std_rand();
// Stores the seed; 0 makes the next Std_rand reseed from the clock.
void Std_srand(uint32_t seed);

// Binary search of count sorted elements of size bytes for key; compare
// (key, element) answers negative, 0 or positive. The matching element, or
// null. Zero elements never call compare.
void *Std_bsearch(const void *key, const void *base, size_t count, size_t size,
                  int (*compare)(const void *key, const void *element));

// a - b in seconds as a double, without overflow.
double Std_difftime(int64_t a, int64_t b);

// v times a 16.16 percentage (6553600 = 100 %), rounded half away from
// zero; 0 for a percentage of 0. The product is cut to 32 bits.
int32_t Fixed_mulPercent(int32_t v, int32_t percent);

// The 16.16 product of a and b: the 64-bit product shifted right by 16
// (the floor of the exact quotient by 65536), low 32 bits kept.
int32_t Fixed_mul(int32_t a, int32_t b);

// The mean of n doubles: their sum, taken in index order from 0.0,
// divided by n (0.0 / 0.0, not a number, for n = 0).
double Double_mean(const double *values, int32_t n);

// The largest power of two not above v (1 for 0).
uint32_t Math_floorPow2(uint32_t v);
// The number of set bits of word.
uint32_t Bits_popCount(uint32_t word);
// The position of the highest set bit of x: 0 for 0 and 1.
uint32_t Bits_floorLog2(uint32_t x);
// Points (1/72 inch) to the style system's 16.16 length unit (inches),
// rounded; and back, rounded.
int32_t Units_pointsToLength(int32_t points);
int32_t Units_lengthToPoints(int32_t length);

// The value (0-15) of a hexadecimal digit character of any width, or -1.
inline int Hex_digitValue(uint32_t c)
{
    if (c >= '0' && c <= '9')
        return int(c - '0');
    c |= 0x20;
    return c >= 'a' && c <= 'f' ? int(c - 'a' + 10) : -1;
}
