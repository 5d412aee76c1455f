// The style vocabulary shared by style sheets and HTML attributes: CSS
// property names with the value class each accepts and the engine
// property id it sets, keywords with their engine values, colour names,
// number and length conversion, and the legacy colour reader of HTML
// attributes.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    Css_propertyCount = 123, // row 0 is the placeholder "None"
    Css_keywordCount = 160,  // rows 0..21 are "none" placeholders
    Css_keywordFirstSorted = 22,
    Css_colourCount = 167,
};

// Value classes of properties and typed values.
enum : uint32_t {
    CssClass_none = 0, // shorthand or not supported
    CssClass_numeric = 1,
    CssClass_keyword = 2,
    CssClass_colour = 3,
    CssClass_shape = 6,
    CssClass_url = 7,
    CssClass_string = 8,
};

struct CssPropertyRow {
    const char *name;
    uint8_t valueClass;
    uint8_t engineId;
};

struct CssKeywordRow {
    const char *name;
    uint8_t valueClass; // 0 for the placeholders that are no keyword
    uint8_t value;
};

struct CssColourRow {
    const char *name;
    uint8_t red, green, blue;
};

extern const CssPropertyRow Css_propertyRows[Css_propertyCount];
extern const CssKeywordRow Css_keywordRows[Css_keywordCount];
extern const CssColourRow Css_colourRows[Css_colourCount];

// A converted value: word 0 the Prop type (or a keyword's engine value),
// word 1 the value class, word 2 the payload (16.16 number or length,
// colour bytes red, green, blue, alpha in memory order); a string value
// (type 9) owns its text instead.
struct CssTypedValue {
    uint32_t type;
    uint32_t valueClass;
    uint32_t payload;
    char16_t *text;
    uint32_t textLength;
};

// The row of a property name (length units, ASCII case ignored); 0 when
// absent.
uint32_t Css_propertyIndex(const char16_t *name, size_t length);
// The engine property id of a row (0 for rows out of range).
uint32_t Css_propertyEngineId(uint32_t index);
// The engine property id of a NUL-terminated name; 0 when unknown.
uint32_t Css_propertyIdByName(const char16_t *name);
// A new 16-bit copy of a row's name (NUL-terminated), or null when out of
// memory or out of range.
char16_t *Css_propertyName(uint32_t index);

// The keyword row of a text: "none" gives row 0; absent gives null.
const CssKeywordRow *Css_keywordLookup(const char16_t *text, size_t length);
// A new 16-bit copy of the name of the first keyword row with value, or
// null when there is none (or memory runs out).
char16_t *Css_keywordName(uint32_t value);

// 1 and *rgba (red, green, blue, 255) when text starts with a letter and
// names a colour (ASCII case ignored); 0 otherwise.
int Css_colourByName(const char16_t *text, size_t length, uint8_t rgba[4]);
// 1 and the colour of 3 or 6 hexadecimal digits after an optional '#'.
int Css_colourFromHex(const char16_t *text, size_t length, uint8_t rgba[4]);

// Number kinds of a parsed term.
enum : uint32_t {
    CssUnit_number = 0,
    CssUnit_percent,
    CssUnit_em,
    CssUnit_ex,
    CssUnit_px,
    CssUnit_cm,
    CssUnit_mm,
    CssUnit_in,
    CssUnit_pt,
    CssUnit_pc,
    CssUnit_other, // angles, times, frequencies, dimensions
};

// Converts a number term (integer part, 16-bit fraction, sign and unit)
// into a typed value. mode: how a bare number reads (0 pixels, 1 a plain
// number, 2 the integer as the fraction word). property: the row of the
// property, which refuses a negative value when it cannot be negative.
// 1 when it converts, else 0.
int Css_numberValue(uint32_t integer, uint16_t fraction, int negative, uint32_t unit, uint32_t mode,
                    uint32_t property, CssTypedValue *out);
// The font weight keyword (22..30) of an integer 100..900 in steps of
// 100; 0 for any other number.
uint32_t Css_fontWeightKeyword(uint32_t integer, uint16_t fraction);

// The colour of an HTML colour attribute: a colour name, else
// hexadecimal digits read leniently (see the source). Always succeeds;
// alpha 255.
void Html_parseColour(const char16_t *text, size_t length, uint8_t rgba[4]);

// Binary search of count records of stride bytes sorted by a leading
// signed 32-bit key; the index of the record with key, or -1.
int32_t Table_findInt(const void *table, uint32_t count, uint32_t stride, int32_t key);
