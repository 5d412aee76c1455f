// Small font-data utilities that the font readers and other subsystems
// share: big-endian words (font files store every integer most significant
// byte first), byte swapping of 16-bit and 32-bit runs, and the table of
// the basic named colours.
//
// Reading one code point of UTF-16 text is Ustr_nextCodePoint
// (core/text/ustr.h).
#pragma once

#include <cstddef>
#include <cstdint>

// Stores value at bytes, most significant byte first.
void FontFile_putU32BE(uint8_t *bytes, uint32_t value);
// 1 when the four bytes at a and b are equal, else 0.
int FontFile_tagEqual(const uint8_t *a, const uint8_t *b);

// Swaps the two bytes of each of the n 16-bit units at units, in place.
void Ustr_byteSwap(char16_t *units, size_t n);
// Reverses the four bytes of each of the n 32-bit words at words, in place.
void Bytes_swap32(uint32_t *words, size_t n);

enum : int32_t { Pixel_namedColourCount = 17 };

// Copies the 32-bit colour 0xAABBGGRR (alpha 0xFF) of named colour index
// 0-16 into *out: 0 aqua, 1 black, 2 blue, 3 fuchsia, 4 gray, 5 green,
// 6 lime, 7 maroon, 8 navy, 9 olive, 10 orange, 11 purple, 12 red,
// 13 silver, 14 teal, 15 yellow, 16 white. Any other index gives 0 (the
// all-zero word). A null out does nothing.
void Pixel_namedColour(uint32_t *out, int32_t index);
// Sets the alpha of a 0xAABBGGRR colour (its fourth byte in memory) to the
// low byte of value.
void Pixel_setColourAlpha(uint32_t *colour, uint32_t value);

// A font's private settings table (big-endian): u16 version, then for
// version 1 entries {i16 key, u16 value} up to the table's end; key 1 sets
// settings[0], key 2 settings[1], other keys are skipped. The settings
// start as 2 and 10; a missing table (null) leaves them so, and so does a
// table of another version. A trailing partial entry is ignored.
void Font_readSettingsTable(const uint8_t *table, size_t length, int32_t settings[2]);
