// Payload records of property values that the style code itself defines:
// counted objects (types 12 and 13), column lists (type 16, property 94)
// and line-spacing records (type 17, property 110).
//
// A property value owns its record (or, for a counted object, one
// reference on it) and copies, compares and frees it through these calls.
// The records of types 14, 15 and 18 live with their own modules (tab-stop
// lists, stop lists, and the platform's type-18 record).
#pragma once

#include <cstdint>

// Base record of a reference-counted payload: an object made elsewhere
// puts this first and sets refs to 1 and destroy to its own free routine.
struct PropCounted {
    uint32_t refs;
    void (*destroy)(PropCounted *self); // frees the object when refs reaches 0
};

// Takes one more reference. 0; 1 when the count is already at its maximum
// (nothing taken). Null is accepted (0).
int PropCounted_addRef(PropCounted *obj);
// Drops one reference and destroys the object at 0. Null is ignored.
void PropCounted_release(PropCounted *obj);

// A column list: for each column its width and the gap after it.
struct PropColumn {
    int32_t width;
    int32_t gap;
};

struct PropColumns {
    int32_t count;
    uint32_t flags;        // 1 evenly spaced, 2 a line between columns
    PropColumn columns[1]; // really count entries
};

// *out = a new list of count zero columns. 0; 1 when memory runs out, 8
// for a negative count (*out null).
[[nodiscard]] int PropColumns_create(PropColumns **out, int32_t count);
// *out = a new copy (null for null). 0, or 1 with *out null.
[[nodiscard]] int PropColumns_copy(PropColumns **out, const PropColumns *src);
// 1 when count, flags and every column are equal (null only equals null).
int PropColumns_equal(const PropColumns *a, const PropColumns *b);
void PropColumns_free(PropColumns *list);

// Line spacing: kind 0 exact height, 1 a multiple in percent, 2 a minimum
// height; value and base are 16.16.
struct PropLineSpacing {
    int32_t kind;
    int32_t value;
    int32_t base;
};

// Made, copied, compared and freed as a three-word value (core/style/triple.h).

// ------------------------------------------------ property payload 18

// The payload of a type-18 property value: five words, {0, 0, 6, 85, 0}
// when new.
struct Prop18 {
    uint32_t words[5];
};

// *payload = a new record holding {0, 0, 6, 85, 0}. 0, or 1 with *payload
// null when memory runs out.
[[nodiscard]] int Prop18_new(Prop18 **payload);
// *payload = a new copy of source (null for a null source). 0, or 1 with
// *payload null when memory runs out.
[[nodiscard]] int Prop18_copy(Prop18 **payload, const Prop18 *source);
// Frees the record. Null is ignored.
void Prop18_free(Prop18 *payload);
