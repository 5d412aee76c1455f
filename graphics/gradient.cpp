// Gradient paint: the ordered-dither table, the fast span routines, the
// general mapping path and the callback paint with its cached result.
#include "graphics/gradient.h"

namespace
{

// Rows 0 and 1 of the dither levels; the other rows are an ordered-dither
// matrix of 1024 steps cut to 32 levels, shifted along each row so that
// columns do not line up.
constexpr uint8_t kFirstRows[2][32] = {
    {2, 31, 15, 7, 13, 23, 26, 0, 17, 11, 21, 6, 30, 15, 3, 25,
     22, 6, 12, 16, 29, 8, 18, 0, 28, 12, 22, 9, 26, 5, 23, 17},
    {24, 12, 1, 20, 29, 12, 3, 16, 25, 5, 27, 13, 18, 6, 26, 0,
     12, 19, 31, 3, 11, 20, 23, 15, 3, 27, 7, 18, 2, 30, 16, 9},
};

constexpr uint32_t orderedLevel(uint32_t x, uint32_t y)
{
    uint32_t sx = (x + 13 * y) & 31;
    uint32_t v = 0;
    for (int bit = 4; bit >= 0; bit--) {
        uint32_t a = (sx >> bit) & 1, b = (y >> bit) & 1;
        v = (v << 2) | ((a ^ b) << 1) | b;
    }
    return v >> 5;
}

constexpr uint32_t ditherWord(uint32_t d)
{
    return (d >> 1) | (d << 10) | ((d & ~1u) << 20);
}

struct DitherTable {
    uint32_t words[1024];
};

constexpr DitherTable makeDitherTable()
{
    DitherTable t{};
    for (uint32_t y = 0; y < 32; y++)
        for (uint32_t x = 0; x < 32; x++)
            t.words[y * 32 + x] = ditherWord(y < 2 ? kFirstRows[y][x] : orderedLevel(x, y));
    return t;
}

constexpr DitherTable kDither = makeDitherTable();

} // namespace

const uint32_t *Gradient_ditherTable()
{
    return kDither.words;
}
