// The built-in character-set tables (constant data, made by
// tools/gen/gen_charset_tables.py from Python's codec tables).
//
// Single-byte code pages keep only bytes 0x80-0xFF (bytes below map to
// themselves); the two symbol-font encodings cover all 256 bytes.
//
// The East Asian tables use one record format. Two-byte codes (lead byte in
// the high 8 bits) map to 16-bit units through:
//  - linear entries {first code, first unit} with a length byte each: codes
//    first .. first+length-1 map to consecutive units;
//  - runs {first code, index}: a run covers the codes from its first code,
//    one Unicode array entry each, up to the next run's index (a sentinel
//    run closes the last one);
// both sorted by code. Codes that share a character with a preferred code
// are kept out of the linear entries (and, for Japanese, out of both tables
// in a list of extra pairs) so that encoding finds the preferred code.
#pragma once

#include <cstddef>
#include <cstdint>

struct CharsetRun {
    uint16_t first; // first code of the run
    uint16_t index; // index of its unit in the Unicode array
};

struct CharsetLinear {
    uint16_t first;   // first code
    uint16_t unicode; // unit of the first code
};

struct CharsetPair {
    uint16_t code;
    uint16_t unicode;
};

// A GB18030 four-byte range: linear indexes from first up to the next
// range's first (39420 after the last) map to index + offset.
struct CharsetGbRange {
    uint16_t first;
    uint16_t offset;
};

// Codes 6-26, index code-6: units of bytes 0x80-0xFF.
extern const uint16_t Charset_sbcsHigh[21][128];
extern const uint16_t Charset_symbolTable[256];
extern const uint16_t Charset_wingdingsTable[256];

// Each East Asian table: Unicode array, runs (count+1 entries with the
// sentinel), linear entries and their lengths, and {array length, run
// count, linear count}.
extern const uint16_t Charset_japaneseUnicode[];
extern const CharsetRun Charset_japaneseRuns[];
extern const CharsetLinear Charset_japaneseLinear[];
extern const uint8_t Charset_japaneseLinearLen[];
extern const uint32_t Charset_japaneseCounts[3];
extern const CharsetPair Charset_japaneseExtras[];
extern const uint32_t Charset_japaneseExtraCount;

extern const uint16_t Charset_big5Unicode[];
extern const CharsetRun Charset_big5Runs[];
extern const CharsetLinear Charset_big5Linear[];
extern const uint8_t Charset_big5LinearLen[];
extern const uint32_t Charset_big5Counts[3];

extern const uint16_t Charset_koreanUnicode[];
extern const CharsetRun Charset_koreanRuns[];
extern const CharsetLinear Charset_koreanLinear[];
extern const uint8_t Charset_koreanLinearLen[];
extern const uint32_t Charset_koreanCounts[3];

extern const uint16_t Charset_chineseUnicode[];
extern const CharsetRun Charset_chineseRuns[];
extern const CharsetLinear Charset_chineseLinear[];
extern const uint8_t Charset_chineseLinearLen[];
extern const uint32_t Charset_chineseCounts[3];

extern const CharsetGbRange Charset_gbRanges[];
extern const uint32_t Charset_gbRangeCount;
