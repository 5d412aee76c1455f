// Font data utilities shared beyond the font readers.
//
// Reading UTF-16 text one code point at a time is needed by the font code
// (which maps characters to glyphs) and by the formatter and character-set
// converters, which all take it from here.
#pragma once

#include <cstdint>

// Reads one code point at *pos and advances *pos past it. A high surrogate
// followed by a low surrogate gives the combined code point (two units); an
// unpaired surrogate gives U+FFFD (one unit; the unit after a lone high
// surrogate is left unread). A 0 unit is returned as code point 0 like any
// other. With end not null: returns 1 without reading when *pos has reached
// end, and also when a high surrogate is the last unit before end (then
// *pos is left where it was); otherwise 0.
int Ustr_nextCodePoint(const char16_t **pos, uint32_t *codePoint, const char16_t *end);
