// Property values: the engine's one tagged value.
//
// A Prop pairs a property id (the style slot it fills, 0 to 155) with a
// typed payload. Style rules, style sets, every importer's formatting and
// the document tree's node records carry formatting as Props. It is a small
// value type: the constructors never allocate and never free what a value
// held before (the caller frees an owned payload first with Prop_free);
// Prop_copy makes a deep copy, Prop_free releases what the value owns,
// Prop_equal compares and Prop_toText renders the scalar types.
//
// Payload types (type numbers above 18 are bare keywords: the type is the
// keyword and there is no payload):
//    0, 6  none
//    1     signed integer                     "%d"
//    2     length in inches, 16.16            pixels at 96 per inch, "px"
//    3     em, 16.16                          two decimals, "Em"
//    4     ex, 16.16                          two decimals, "Ex"
//    5     inches, 16.16                      two decimals, "in"
//    7     percent, 16.16                     two decimals, "%"
//    8     colour: bytes R, G, B, A as the    "#%.6x" of red, green, blue
//          word R | G<<8 | B<<16 | A<<24
//    9     16-bit string and its length       the string         (owned)
//    10    pointer and length                                    (not owned)
//    11    16.16 Matrix                                          (owned)
//    12,13 PropCounted object                                    (one reference)
//    14    TabStopList (property 105)                            (owned)
//    15    StopList (property 109)                               (owned)
//    16    PropColumns (property 94)                             (owned)
//    17    PropLineSpacing (property 110)                        (owned)
//    18    Prop18 (property 111)                                 (owned)
#pragma once

#include <cstddef>
#include <cstdint>

struct Matrix;
struct TabStopList;
struct StopList;
struct PropColumns;
struct PropLineSpacing;
struct Prop18; // the record of property 111 (payload type 18)

struct Prop {
    uint32_t id;       // property id
    uint16_t type;     // payload type, or a keyword above 18
    uint16_t flags;    // bit 0: wins when rules are merged; others free for callers
    uintptr_t payload; // first payload word: a scalar or a pointer
    uint32_t payload2; // second payload word: string or pointer length
};

enum : uint16_t {
    PropType_none = 0,
    PropType_int = 1,
    PropType_length = 2,
    PropType_em = 3,
    PropType_ex = 4,
    PropType_inches = 5,
    PropType_none6 = 6,
    PropType_percent = 7,
    PropType_colour = 8,
    PropType_ustr = 9,
    PropType_pointer = 10,
    PropType_matrix = 11,
    PropType_counted = 12,
    PropType_counted13 = 13,
    PropType_tabStops = 14,
    PropType_stops = 15,
    PropType_columns = 16,
    PropType_lineSpacing = 17,
    PropType_record111 = 18,
    PropType_firstKeyword = 19,
};

// Flag bit 0: the value takes precedence when rules are merged.
enum : uint16_t { Prop_flagPrecedence = 1 };

// ---------------------------------------------------------- constructors
// None allocates, and all clear the flags.

// id, type and flags 0; the payload words are left as they are.
void Prop_clear(Prop *v);
// All fields 0.
void Prop_zero(Prop *v);
// A value without payload (a keyword).
void Prop_setType(Prop *v, uint32_t id, uint16_t type);
// Type 1.
void Prop_setInt(Prop *v, uint32_t id, int32_t n);
// Type 2, a 16.16 length in inches.
void Prop_setLength(Prop *v, uint32_t id, int32_t length);
// Any type with one payload word (a 32-bit scalar, stored zero-extended).
void Prop_setWord(Prop *v, uint32_t id, uint16_t type, uint32_t word);
// Any type with both payload words as given.
void Prop_set(Prop *v, uint32_t id, uint16_t type, uintptr_t word, uint32_t payload2);
// Type 9; the value takes over the heap string s of length units.
void Prop_setUstr(Prop *v, uint32_t id, char16_t *s, uint32_t length);
// Type 8 from four bytes R, G, B, A.
void Prop_setColour(Prop *v, uint32_t id, const uint8_t *rgba);
// Type 11; the value takes over the heap matrix.
void Prop_setMatrix(Prop *v, uint32_t id, Matrix *m);
// Id 136 with any type and one payload word.
void Prop_set136(Prop *v, uint16_t type, uint32_t word);
// Ids 105, 109, 94, 110 and 111 with their record types (14 to 18); each
// takes over its record.
void Prop_set105(Prop *v, TabStopList *stops);
void Prop_set109(Prop *v, StopList *stops);
void Prop_set94(Prop *v, PropColumns *columns);
void Prop_set110(Prop *v, PropLineSpacing *spacing);
void Prop_set111(Prop *v, Prop18 *record);

// ------------------------------------------------------------ accessors
uint32_t Prop_getId(const Prop *v);
uint16_t Prop_getType(const Prop *v);
// The first payload word; the typed getters return the same word.
uintptr_t Prop_getPayload(const Prop *v);
int32_t Prop_getInt(const Prop *v);
int32_t Prop_getLength(const Prop *v);
uint32_t Prop_getColour(const Prop *v);
void *Prop_getPointer(const Prop *v);
// The second payload word (a string's or pointer's length).
uint32_t Prop_getPayload2(const Prop *v);
// A new copy of a type-9 string, terminated; null for other types, a null
// string or when memory runs out. The caller frees it with Mem_free.
char16_t *Prop_dupUstr(const Prop *v);
// flags = (flags AND NOT mask) OR bits.
void Prop_setFlags(Prop *v, uint16_t bits, uint16_t mask);
// 1 when any of bits is set.
int Prop_testFlags(const Prop *v, uint16_t bits);

// ------------------------------------------------------------- lifetime
// Makes *dst a deep copy of *src (dst and src must differ; dst's old
// payload is not freed). id, type and flags are copied first; then by
// type: scalars copy the payload word, 9 duplicates the string, 10 copies
// pointer and length, 11 duplicates the matrix (null stays null), 12 and 13
// take one more reference, 14 to 18 copy their record; other types copy
// no payload. 0, or 1 when memory runs out (or a reference cannot be
// taken): then dst keeps id, type and flags with an empty payload, and the
// caller frees it with Prop_free as usual.
[[nodiscard]] int Prop_copy(Prop *dst, const Prop *src);

// Releases what the value owns (types 9, 11 and 14 to 18 free their
// payload, 12 and 13 drop their reference, clearing the payload) and sets
// the type to 0 in every case.
void Prop_free(Prop *v);

// 1 when a and b are equal: same id and type, and then types 1-5, 7 and 8
// the same payload word, 9 the same length and characters, 10 the same
// pointer and length, 14, 16, 17 equal records; 0, 6, 18 and keywords need
// nothing more. Types 11, 12, 13 and 15 are never equal.
int Prop_equal(const Prop *a, const Prop *b);

// ----------------------------------------------------------------- text
// A new 16-bit string of the value as the table above gives it (freed with
// Mem_free), or null for types without a text form or when memory runs
// out.
char16_t *Prop_toText(const Prop *v);

// A new 16-bit string of the 16.16 value v: with 0 decimals "%d" of its
// integer part (truncated toward zero); otherwise "%.*f" of v converted to
// single precision, widened and multiplied by 2^-16. Null when memory runs
// out.
char16_t *Prop_formatFixed(int32_t v, int decimals);

// A new 16-bit string "#rrggbb" of a colour word (six lowercase hex
// digits); null when memory runs out.
char16_t *Prop_formatColour(uint32_t colour);
