// Colour palettes made from colour stops, for gradient ramps and style
// values.
//
// Stops are a count word followed by that many pairs {position 0-255,
// colour 0xAABBGGRR}.
#pragma once

#include <cstdint>

struct PixelBuf;

enum : int {
    Palette_noStops = 16,    // a count of 0
    Palette_badBuffer = 264, // not format 6, one row, wide enough for the palette
};

// 1 when the stops make the short palette: exactly two, at 0 and 255, and
// flag 0. The palette then has 2 entries, else 256.
int Palette_isTwoEntry(const uint32_t *stops, uint32_t flag);

// Fills the one-row format-6 buffer: the short palette's entries are the
// two colours. Otherwise 256 entries: those before the first stop's
// position take its colour; between two stops every channel moves
// linearly (a 16.16 step of difference x 65536 / distance, the value taken
// from the running sum shifted right by 16), and each stop's own colour
// is written at its position; a stop whose position lies before the
// previous one ends the filling, and every entry after the last stop
// filled takes that stop's colour. Positions above 255 count as 255.
// 0; 8 for a null argument; Palette_noStops; Palette_badBuffer.
int Palette_fromStops(PixelBuf *buffer, const uint32_t *stops, uint32_t flag);
