// The text of a list item's number by its list-style-type keyword:
// decimal, decimal with a leading zero, letters, roman numerals and CJK
// ideographic numbers. Output is 16-bit characters without a terminating
// NUL; every function returns the character count, and a null buffer only
// measures (callers size their buffer with a first call).
#pragma once

#include <cstdint>

enum : uint32_t {
    ListNum_maxLength = 65535, // letters repeat at most this often; others are far shorter
};

// The marker text of number under the keyword (a KwId of core/style/propids.h).
uint32_t ListNum_format(int32_t number, uint32_t keyword, char16_t *buffer);
// Decimal digits of any 32-bit value, with a minus sign below 0.
uint32_t ListNum_decimal(int32_t number, char16_t *buffer);
// Letters a to z repeated: 1 "a", 26 "z", 27 "aa", 53 "aaa". Numbers of 0
// and below are written in decimal.
uint32_t ListNum_letters(int32_t number, char16_t *buffer);
// Lower-case roman numerals; 0 gives the empty text. Numbers below 0 or
// from 5000 up are written in decimal.
uint32_t ListNum_roman(int32_t number, char16_t *buffer);
// CJK ideographic number; numbers below 0 give the empty text.
uint32_t ListNum_cjk(int32_t number, char16_t *buffer);
