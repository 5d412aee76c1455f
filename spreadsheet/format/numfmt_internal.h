// What the files of the number-format engine share: the bounded output
// text, the digit strings of numbers, and the date and time formatter.
// Not for other modules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/format/numfmt.h"

// Formatted text under construction: at most Excel_fmtMaxOutput characters;
// what does not fit is dropped.
struct ExcelFmtOut {
    char16_t s[Excel_fmtMaxOutput + 1];
    uint32_t n;
};

void Excel_FmtOut_put(ExcelFmtOut *out, char16_t c);
void Excel_FmtOut_putAscii(ExcelFmtOut *out, const char *text);
void Excel_FmtOut_putN(ExcelFmtOut *out, const char16_t *text, size_t n);
// printf-style through the engine's formatter, 8-bit result widened.
void Excel_FmtOut_printf(ExcelFmtOut *out, const char *format, ...);

// The significant digits of a magnitude: value = 0.d[0]d[1]... x 10^(exp+1),
// that is d[0] is the digit of 10^exp. n is 0 for zero.
struct ExcelFmtDigits {
    char d[24];
    int32_t n;
    int32_t exp;
};

// The 15 significant digits of |v| (trailing zeros dropped).
void Excel_FmtDigits_of(double v, ExcelFmtDigits *digits);
// Rounds to decimals digits after the point, half up on the digit string;
// a carry out of the first digit raises the exponent. Negative decimals
// round to tens, hundreds and so on.
void Excel_FmtDigits_round(ExcelFmtDigits *digits, int32_t decimals);
// Rounds to count significant digits (at least 1).
void Excel_FmtDigits_roundSignificant(ExcelFmtDigits *digits, int32_t count);
// The digit of 10^power (0 outside the digits).
char Excel_FmtDigits_at(const ExcelFmtDigits *digits, int32_t power);

// Formats the serial v with one date and time section [code, code + length)
// into out. False when the serial cannot be broken down.
bool Excel_Fmt_formatDateSection(const Excel_FmtRequest *request, const char16_t *code,
                                 size_t length, double v, ExcelFmtOut *out);

// The built-in date and time formats 15-21, 30-33, 45-47, 55-58 and the
// fallback of 22 into out. False when the serial cannot be broken down.
bool Excel_Fmt_formatBuiltinDate(const Excel_FmtRequest *request, uint32_t index, double v,
                                 ExcelFmtOut *out);

// A new copy of a configuration key's text, or of the default when the key
// is not set (null when memory runs out).
char16_t *Excel_Fmt_configText(const Excel_FmtRequest *request, const char *key,
                               const char *defaultText);

// True when the locale tag equals tag ignoring case.
bool Excel_Fmt_localeIs(const char *locale, const char *tag);

// The section of a digit-pattern code chosen by its conditions for v: the
// text after the "]" of the condition that holds, or the section reached
// when the conditions run out (the whole code when none is reached).
const char16_t *Excel_Fmt_chooseDigitSection(const char16_t *code, double v);

// True when the section (up to its ";") holds a group pattern of the digit
// laying: "#-##", "# ##", "#,##", "###" or "00".
bool Excel_Fmt_hasGroupPattern(const char16_t *section);
