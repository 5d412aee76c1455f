// Small font-data utilities that other subsystems share: the table of the
// basic named colours.
#pragma once

#include <cstdint>

enum : int32_t { Pixel_namedColourCount = 17 };

// Copies the 32-bit colour 0xAABBGGRR (alpha 0xFF) of named colour index
// 0-16 into *out: 0 aqua, 1 black, 2 blue, 3 fuchsia, 4 gray, 5 green,
// 6 lime, 7 maroon, 8 navy, 9 olive, 10 orange, 11 purple, 12 red,
// 13 silver, 14 teal, 15 yellow, 16 white. Any other index gives 0 (the
// all-zero word). A null out does nothing.
void Pixel_namedColour(uint32_t *out, int32_t index);
