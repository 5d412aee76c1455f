// ToUnicode maps of PDF fonts: character codes of 1 to 4 bytes to the
// text they stand for.
//
// A map is read from the text of a "ToUnicode" stream: its code space
// ranges ("begincodespacerange"), single codes ("beginbfchar") and code
// ranges ("beginbfrange") whose destination is either one string that
// counts up with the code or an array of strings, one per code; sections
// mislabelled "begincidchar" and "begincidrange" count the same, with a
// number for the character. A
// destination may be several characters (a ligature "ffi"); a name in its
// place is read through the glyph list. "usecmap" is remembered by name so
// that the font code can add the map it names.
//
// Lookups find the entry that holds a code by binary search; entries that
// overlap are all looked at, the one defined last winning.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    PdfToUnicode_maxCodeBytes = 4,
    PdfToUnicode_maxText = 32,   // units of one destination
    PdfToUnicode_maxSpaces = 64, // code space ranges kept
    PdfToUnicode_maxEntries = 1u << 20,
    PdfToUnicode_nameLength = 64,
};

struct PdfToUnicodeSpace {
    uint8_t low[PdfToUnicode_maxCodeBytes];
    uint8_t high[PdfToUnicode_maxCodeBytes];
    uint8_t length; // 1 to 4
};

// Codes low..high of length bytes; text units at offset in the pool. A
// counting entry adds the code's distance from low to its last unit.
struct PdfToUnicodeEntry {
    uint32_t low, high;
    uint32_t text;  // pool offset
    uint32_t order; // definition order (a later one wins)
    uint16_t textLength;
    uint8_t length;   // code bytes
    uint8_t counting; // 1: a range with one destination string
};

struct PdfToUnicode {
    PdfToUnicodeSpace spaces[PdfToUnicode_maxSpaces];
    uint32_t spaceCount;
    PdfToUnicodeEntry *entries; // sorted by low
    uint32_t entryCount, entryCapacity;
    uint32_t *wide; // indices of the entries of many codes
    uint32_t wideCount;
    char16_t *pool;
    uint32_t poolCount, poolCapacity;
    uint32_t lengthsSeen;                  // bit n-1: a source code of n bytes was seen
    char useName[PdfToUnicode_nameLength]; // "usecmap" name, or ""
};

// Reads a map from the stream text. *out a new map (freed with
// Pdf_ToUnicode_free); text without any mapping gives a map with no
// entries. 0 or 1: a damaged map keeps what was read before the damage.
[[nodiscard]] int Pdf_ToUnicode_parse(const uint8_t *data, size_t length, PdfToUnicode **out);
void Pdf_ToUnicode_free(PdfToUnicode *map);

// The length in bytes of the code at bytes (left > 0 bytes remain): by the
// code space ranges, else by the source codes seen (the shortest length
// whose code is mapped), else 1 for maps of one-byte codes and 2 otherwise.
// Never more than left.
uint32_t Pdf_ToUnicode_codeLength(const PdfToUnicode *map, const uint8_t *bytes, size_t left);

// The text of a code of length bytes into text (room for
// PdfToUnicode_maxText units): its unit count, 0 when the map has none
// for it.
uint32_t Pdf_ToUnicode_lookup(const PdfToUnicode *map, uint32_t code, uint32_t length,
                              char16_t *text);
