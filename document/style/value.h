// Typed cell values: an integer, a number or a text, always with the text
// form that is shown for it.
//
// The spreadsheet side keeps one of these for a cell reference, a value the
// workbook writer stores or a formula's result. Every change of a number
// regenerates its text form ("%d" for integers, "%lg" for numbers), so that
// display and saving never format numbers themselves. Conversions between
// the kinds follow fixed rules (Edr_Value_convert).
//
// A value is owned by its creator and freed with Edr_Value_free; it owns its
// label and its text. No lock: the owner serialises use.
#pragma once

#include <cstdint>

enum : uint32_t {
    Edr_valueNone = 0,
    Edr_valueInt = 1,
    Edr_valueNumber = 2,
    Edr_valueText = 3,
};

struct Edr_Value {
    char16_t *label; // a name given at creation (owned, may be null)
    uint32_t key[2]; // an identifying pair given at creation, not interpreted
    uint32_t type;   // Edr_value*
    union {
        int32_t intValue; // type 1
        double numValue;  // type 2
    };
    char16_t *text; // the text form (owned); for type 3 the value itself
};

// A new value with a copy of label (may be null), the key pair (may be
// null: 0 and 0) and the type; no payload and no text. Null when memory
// runs out.
Edr_Value *Edr_Value_new(const char16_t *label, const uint32_t *key, uint32_t type);
// Frees label, text and record. Null is ignored.
void Edr_Value_free(Edr_Value *value);
// The type; 0 for null.
uint32_t Edr_Value_getType(const Edr_Value *value);

// The setters: Res_missingArgument for a null value, Res_nullInput when the
// value's type is not the setter's (integer, number, text), 1 when memory runs
// out (nothing changes). An integer's text is "%d", a number's "%lg"; setText
// stores a copy of text (null clears it).
[[nodiscard]] int Edr_Value_setInt(Edr_Value *value, int32_t n);
[[nodiscard]] int Edr_Value_setNumber(Edr_Value *value, double x);
[[nodiscard]] int Edr_Value_setText(Edr_Value *value, const char16_t *text);

// Converts to the new type (1, 2 or 3). 16 for a null value or a new type of 0;
// 0 when the type is already the new one; Res_nullInput for an untyped value or
// a pair without a rule. Integer to number goes through setNumber; number to
// integer truncates toward zero (NaN gives 0, values beyond the 32-bit range
// the nearest limit); integer or number to text keeps the text form; text to
// integer or number reads a leading decimal number of the text (0 when there is
// none; an integer beyond the 32-bit range gives the nearest limit). The type
// changes only when the new payload and text were stored: a failure (1) leaves
// the value as it was.
[[nodiscard]] int Edr_Value_convert(Edr_Value *value, uint32_t type);

// A new copy of the text form (freed by the caller), or null.
char16_t *Edr_Value_textCopy(const Edr_Value *value);
// The integer when the type is 1, else 0; the number when the type is 2,
// else 0.
int32_t Edr_Value_getInt(const Edr_Value *value);
double Edr_Value_getNumber(const Edr_Value *value);
// The label (lent) when the value has a type, else null.
const char16_t *Edr_Value_getBuffer(const Edr_Value *value);
// A new two-word block holding the key pair (freed by the caller with
// Mem_free); null for an untyped value or when memory runs out.
uint32_t *Edr_Value_copyPair(const Edr_Value *value);
// A deep copy; null for null or when memory runs out.
Edr_Value *Edr_Value_clone(const Edr_Value *value);
