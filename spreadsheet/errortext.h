// Spreadsheet error values: the one-byte BIFF error codes and their texts.
//
// Cells and formula results keep an error as its code; the reader, the
// formula parser and the formula text show it through Excel_errorText, and
// the writer and the cell-value classifier turn a text back into its code
// through Excel_errorCode. Both always answer: a code or a text that the
// table does not hold falls back to the first row ("#NULL!", 0x00).
#pragma once

#include <cstdint>

// The text of the error code: a constant, never null.
const char *Excel_errorText(uint32_t code);

// The code of the error text (compared exactly); 0x00 for any other text,
// a null text included.
uint8_t Excel_errorCode(const char *text);
