// Tab-stop lists of paragraph styles.
//
// One heap block: the stop count, then each stop's position (in the
// importer's units) and kind word (bits 0-2 the alignment, bits 3-5 the
// leader; higher bits are carried along but mean nothing to comparison).
// A style property value owns the list it carries (property values of type
// 14): it copies, compares and frees it through these calls.
#pragma once

#include <cstdint>

struct TabStop {
    int32_t stopPosition;
    uint32_t stopKind;
};

struct TabStopList {
    int32_t stopCount;
    TabStop stops[1]; // really stopCount entries
};

// Bits of stopKind that comparison looks at: alignment and leader.
enum : uint32_t { TabStops_alignMask = 0x07, TabStops_leaderMask = 0x38 };

// *out = a new list of count stops, all zero. 0; 1 when memory runs out,
// 8 for a negative count (*out null in both cases).
[[nodiscard]] int TabStops_create(TabStopList **out, int32_t count);

// Stores stop index. 0, or Res_nullInput when index is negative or not below
// the count (nothing is stored).
int TabStops_set(TabStopList *list, int32_t index, TabStop stop);

// *out = a new copy of list (null for a null list). 0, or 1 when memory
// runs out (*out null).
[[nodiscard]] int TabStops_copy(TabStopList **out, const TabStopList *list);

// Frees the list. Null is ignored.
void TabStops_free(TabStopList *list);

// 1 when both lists have the same count and every stop the same position,
// alignment and leader; else 0. A null list counts as empty.
int TabStops_equal(const TabStopList *a, const TabStopList *b);

// The smallest power of two greater than n (1 for 0, 8 for 4 and for 7,
// 16 for 8); 0 when n is 2^31 or more, since no such power fits 32 bits.
uint32_t TabStops_nextPow2(uint32_t n);
