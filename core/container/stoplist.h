// Stop lists: the colour stops of a gradient.
//
// One heap block: the stop count (2 to 20), then that many stops, each a
// position (a 16.16 fraction of the gradient's length, 0 to 1.0) and a
// value (a colour word). A style property value owns the list that it
// carries (property values of type 15).
#pragma once

#include <cstdint>

struct StopEntry {
    int32_t position; // 16.16, 0 .. 0x10000
    uint32_t value;
};

struct StopList {
    int32_t count;      // 2 .. 20
    StopEntry stops[1]; // really count entries
};

enum : int32_t { StopList_minStops = 2, StopList_maxStops = 20 };

// *out = a new list of count stops, all zero. 0; Res_stopCountInvalid when
// count is not 2 to 20; 1 when memory runs out (*out null in both cases).
[[nodiscard]] int StopList_create(StopList **out, int32_t count);

// *out = a new copy of list (null for a null list). 0; 1 when memory runs out,
// Res_stopCountInvalid when list holds a count outside 2 to 20 (*out null
// then).
[[nodiscard]] int StopList_copy(StopList **out, const StopList *list);

// Stores stop index, its position clamped to 0 .. 0x10000. 0, or 5124
// when index is negative or not below the count.
int StopList_set(StopList *list, int32_t index, StopEntry stop);

// Frees the list. Null is ignored.
void StopList_free(StopList *list);
