// Gradient records: the colour gradient of a shape or chart fill, a
// header of 16.16 points and 2 to 20 colour stops in one heap block.
#pragma once

#include <cstdint>

#include "core/container/stoplist.h"

// Header words: one (always 1), zero (always 0), the mode (0 linear from
// start to end, 1 from the start point out to the end point), the start
// and end points as 16.16 fractions of the box. Each stop is a 16.16
// position (0 .. 0x10000) and a colour {red, green, blue, alpha} with red
// in the low byte.
struct Gradient {
    uint32_t one;
    uint32_t zero;
    uint32_t mode;
    int32_t start[2];
    int32_t end[2];
    int32_t count;
    StopEntry stops[1]; // really count entries
};

// *out = a new gradient of count zeroed stops with header words 1 and 0 (the
// rest zero). 0; Res_stopCountInvalid when count is not 2 to 20; 1 when memory
// runs out (*out null in both cases).
[[nodiscard]] int Gradient_create(Gradient **out, int32_t count);

// Stores stop index with its position clamped to 0 .. 0x10000. 0, or 5124
// when index is negative or not below the count.
int Gradient_setStop(Gradient *gradient, int32_t index, StopEntry stop);

// Frees the gradient; null is ignored.
void Gradient_free(Gradient *gradient);
