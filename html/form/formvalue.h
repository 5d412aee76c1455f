// Form-control values of HTML pages: the typed value of a control, with
// its own rectangle on the page, and the translation of a page point into
// the value's own coordinates.
//
// Only what the point translation reads is here so far; the web layer's
// form code defines the rest of the value's life.
#pragma once

#include <cstdint>

// A value's payload: its second word is the payload kind.
struct FormValuePayload {
    intptr_t word;
    int32_t kind;
};

struct FormValue {
    uint8_t kind;
    int32_t rect[4]; // {x0, y0, x1, y1}: the value's placement
    FormValuePayload *payload;
    uint16_t refCount;
    FormValue *next; // the next value of the chain
};

// A point {x, y}.
struct FormPoint {
    int32_t x, y;
};

// Moves *point into the value's own coordinates: x - x0, y - y1 (the
// rectangle's lower left corner), and clears *word. 0. The caller checks
// the payload kind (2) first.
int Form_valueToLocal(const FormValue *value, int32_t *word, FormPoint *point);
// The same, leaving the moved point in *point and in *out; word is not
// read. 0.
int Form_valueToLocalCopy(const FormValue *value, int32_t word, FormPoint *point, FormPoint *out);
