// Locales: the fixed table of user-interface locales and their number
// formats.
//
// The engine knows 46 locales, each named by a five-character tag of the
// form language-country ("en-gb"). A locale decides the default character
// set of text that declares none and how numbers are written (decimal
// point, thousands separator, digit grouping). The engine's current locale
// and any formats the host gives it live in the locale settings
// (core/time/localeset.h); this module only answers questions about the
// constant tables. The Japanese locale also draws the backslash as a yen
// sign: its filter functions are here, and the font engine installs them
// (fonts/charfilter.h).
#pragma once

#include <cstddef>
#include <cstdint>

struct CharFilter;

// One way of writing numbers. Strings are NUL-padded: a decimal point and a
// thousands separator of up to 3 characters (an empty separator means
// none), and up to 7 digit-group sizes counted from the decimal point
// leftwards, 0-padded; a size of 127 ends the grouping (no separators
// further left).
struct NumberFormatRow {
    char decimalPoint[4];
    char thousandsSep[4];
    char grouping[8];
};

// One locale: its tag (five ASCII characters and a NUL), the character set
// of text without a declared encoding (a CharsetCode) and the index of its
// number format.
struct LocaleEntry {
    char tag[6];
    uint32_t charset;
    uint16_t numberFormat;
};

enum : int32_t {
    Locale_count = 46,            // entries of the locale table
    Locale_numberFormatCount = 7, // rows of the number-format table
    Locale_groupEnd = 127,        // a group size that ends the grouping
    Locale_yenMappingKind = 14,   // mapping id of the yen filter
};

// The index of the entry whose tag equals tag ignoring ASCII case; -1 for a
// null tag, a tag that is not exactly 5 characters long, or no match.
int32_t Locale_find(const char *tag);

// The entry at index, or null when index is not 0-45.
const LocaleEntry *Locale_entry(int32_t index);

// The entry's character-set code; 10 (windows-1252) when index is not 0-45.
uint32_t Locale_charset(int32_t index);

// The first index whose character set is code; -1 when none.
int32_t Locale_findByCharset(uint32_t code);

// The number format of the entry at index; the format of entry 0 when
// index is not 0-45. Never null; the row is constant.
const NumberFormatRow *Locale_numberFormat(int32_t index);

// The yen filter's test: it always applies (1).
int Locale_yenApplies(const CharFilter *filter, const char16_t *codes, int32_t n);

// The yen filter's map: copies n codes from src to dst (which may be the
// same buffer), each U+005C becoming U+00A5; answers n (0 for n below 0).
int32_t Locale_yenMap(const char16_t *src, char16_t *dst, int32_t n);
