// Small routines other subsystems call: the setter of a 31-bit value that
// shares its word with a flag bit, and the zero-terminated text of a list
// number given a Word number-format code.
#pragma once

#include <cstdint>

// *word = (its top bit) | (value & 0x7FFFFFFF).
void Bits_setLow31(uint32_t *word, uint32_t value);

// Word number-format codes with a list style of their own; every other
// code is decimal.
enum : uint32_t {
    WordNumFormat_upperRoman = 1,
    WordNumFormat_lowerRoman = 2,
    WordNumFormat_upperAlpha = 3,
    WordNumFormat_lowerAlpha = 4,
    WordNumFormat_cjkIdeographic = 11,
};

// The list-style keyword (KwId) of a Word number-format code.
uint32_t ListNum_wordFormatKeyword(uint32_t code);
// *out = a new zero-terminated 16-bit text of number in the list style of
// the code, freed by the caller with Mem_free. 0, or 1 with *out null when
// memory runs out.
int ListNum_wordFormatText(int32_t number, uint32_t code, char16_t **out);
