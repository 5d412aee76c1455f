// The font table of a Word .doc file: the font records that the table
// stream keeps at fcSttbfffn, read into entries of the Word reader.
//
// Word 97 and later (wIdent 0xA5EC) store a count (0xFFFF escapes to a
// second count word), a size of extra data and records of 40 to 170 bytes
// with 16-bit names; Word 6 and Word 95 (0xA5DC) store the table's total
// size and records of 6 to 71 bytes with 8-bit names. A name that carries
// an alternative name reads "primary,alternative"; an empty name becomes
// "Times". The reader resolves every run's font index against the entries
// and keeps the positions of the fonts named "Symbol" and "Wingdings" for
// its symbol-character mapping.
#pragma once

#include <cstddef>
#include <cstdint>

struct WordReader;

// One font of the table, in file order.
struct WordFont {
    uint16_t flags; // bits 0-1 pitch request, bit 2 TrueType, bits 3-5 family
    uint16_t weight;
    uint8_t charset;
    uint8_t panose[10]; // Word 97 only
    uint32_t signature[6];
    char16_t *name; // owned, NUL-terminated
};

// Parses length bytes of a font table for the reader's file version into
// reader->fonts and reader->fontCount. 0; 1 out of memory; 3844 for a
// wIdent that is neither Word 97 nor Word 6/95; 3858 for a malformed
// table. On an error no entries are left and the count is 0.
[[nodiscard]] int Word_parseFontTable(const uint8_t *bytes, size_t length, WordReader *reader);
// Load step: reads the whole table (lcbSttbfffn bytes at fcSttbfffn of
// the table stream; nothing when the size is 0), parses it and sets the
// Symbol and Wingdings indexes (-1 when absent; the last match wins).
[[nodiscard]] int Word_readFontTable(WordReader *reader);
// Frees the entries and their names; the count becomes 0.
void Word_fontTableFree(WordReader *reader);
// Frees an entry array of count fonts (names included); null allowed.
void Word_fontsFree(WordFont *fonts, uint32_t count);
