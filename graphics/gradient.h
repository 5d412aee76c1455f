// Gradient paint: linear, radial and square gradients as callback paints
// of draw items, and the ordered-dither table shared with the 16-bit
// resampling passes.
#pragma once

#include <cstdint>

// The 32 x 32 ordered-dither table, read at row (y & 31), column (x & 31).
// Each word carries a level d (0 to 31) as d/32 of a unit below each
// channel of a widened 5-6-5 pixel: (d >> 1) | (d << 10) | ((d & ~1) << 20).
const uint32_t *Gradient_ditherTable();
