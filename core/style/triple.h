// Three-word values: a heap record of three 32-bit words kept in their
// order, the payload of a type-17 property value (property 110). The
// plain-text importer stores {1, 120.0, 100.0} (16.16), the Word reader a
// selector and two 16.16 values; layout reads them as a line-spacing rule.
#pragma once

#include <cstdint>

#include "core/style/proprecords.h"

// *out = a new record {a, b, c}. 0, or 1 with *out null when memory runs
// out.
[[nodiscard]] int Obj_newTriple(PropLineSpacing **out, int32_t a, int32_t b, int32_t c);
// *out = a new record with the source's words (null for a null source).
// 0, or 1 with *out null.
[[nodiscard]] int Obj_copyTriple(PropLineSpacing **out, const PropLineSpacing *source);
// Null is ignored.
void Obj_freeTriple(PropLineSpacing *record);
// 1 when the three words are equal pairwise (null only equals null).
int Obj_tripleEquals(const PropLineSpacing *a, const PropLineSpacing *b);
