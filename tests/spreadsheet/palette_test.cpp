// The workbook colour palette: the default colours, index mapping,
// PALETTE records and the nearest index of a colour.
#include <gtest/gtest.h>

#include <cstring>

#include "spreadsheet/format/palette.h"
#include "spreadsheet/reader/workbook.h"

namespace {

TEST(Palette, DefaultAndIndexes)
{
    ExcelPalette p;
    memset(&p, 0, sizeof p);
    Excel_Palette_setDefault(&p);
    const uint8_t *e = Excel_Palette_entry(&p, 10);
    EXPECT_EQ(e[0], 255);
    EXPECT_EQ(e[1], 0);
    EXPECT_EQ(e[2], 0);
    EXPECT_EQ(e[3], 255);
    const uint8_t last[4] = {51, 51, 51, 255};
    EXPECT_EQ(memcmp(Excel_Palette_entry(&p, 63), last, 4), 0);
    const struct {
        uint32_t index;
        uint32_t slot;
    } slots[] = {{0, 0},    {7, 7},    {8, 0},    {10, 2},   {63, 55},  {0x40, 0},
                 {0x4D, 0}, {0x4F, 0}, {0x51, 0}, {0x7F, 0}, {0x41, 1}, {0x7FFF, 1}};
    for (const auto &s : slots)
        EXPECT_EQ(Excel_Palette_slot(s.index), s.slot) << s.index;
    EXPECT_EQ(Excel_Palette_entry(&p, 0x7F), p.entries[0]);
    EXPECT_EQ(Excel_Palette_entry(nullptr, 8), nullptr);
    EXPECT_EQ(Excel_Palette_indexOfSlot(0), 8u);
    EXPECT_EQ(Excel_Palette_indexOfSlot(55), 63u);
    EXPECT_EQ(Excel_Palette_indexOfSlot(56), 0u);
}

TEST(Palette, Nearest)
{
    ExcelPalette p;
    Excel_Palette_setDefault(&p);
    const uint8_t red[3] = {255, 0, 0};
    EXPECT_EQ(Excel_Palette_nearest(&p, red), 10u); // not a later duplicate red
    const uint8_t blue[3] = {0, 0, 255};
    EXPECT_EQ(Excel_Palette_nearest(&p, blue), 12u); // index 39 is blue too
    const uint8_t nearRed[3] = {250, 10, 5};
    EXPECT_EQ(Excel_Palette_nearest(&p, nearRed), 10u);
    const uint8_t grey[3] = {190, 190, 190};
    EXPECT_EQ(Excel_Palette_nearest(&p, grey), 22u);
    // Weighted distance: green weighs most.
    ExcelPalette two;
    memset(&two, 0, sizeof two);
    two.entries[1][0] = 100; // (100, 0, 0)
    two.entries[2][1] = 60;  // (0, 60, 0)
    for (uint32_t k = 3; k < Excel_paletteSize; k++)
        two.entries[k][0] = two.entries[k][1] = two.entries[k][2] = 255;
    two.entries[0][2] = 255;
    const uint8_t c[3] = {70, 40, 0}; // red part 30 off entry 1, more from entry 2
    EXPECT_EQ(Excel_Palette_nearest(&two, c), 9u);
    // Equal distances: the first entry wins.
    ExcelPalette same;
    memset(&same, 7, sizeof same);
    const uint8_t x[3] = {0, 0, 0};
    EXPECT_EQ(Excel_Palette_nearest(&same, x), 8u);
}

TEST(Palette, Records)
{
    ExcelPalette p;
    Excel_Palette_setDefault(&p);
    // A record announcing 60 colours fills only 56 entries.
    uint8_t body[2 + 60 * 4];
    body[0] = 60;
    body[1] = 0;
    for (int k = 0; k < 60; k++) {
        body[2 + 4 * k] = static_cast<uint8_t>(k);
        body[3 + 4 * k] = 1;
        body[4 + 4 * k] = 2;
        body[5 + 4 * k] = 0x55;
    }
    Excel_Palette_readRecord(body, sizeof body, &p);
    EXPECT_EQ(p.entries[55][0], 55);
    EXPECT_EQ(p.entries[55][3], 255);
    EXPECT_EQ(p.entries[0][1], 1);
    // 60 colours announced in a body of 100 bytes: the count is taken as 0.
    ExcelPalette q;
    Excel_Palette_setDefault(&q);
    ExcelPalette before = q;
    Excel_Palette_readRecord(body, 100, &q);
    EXPECT_EQ(memcmp(&q, &before, sizeof q), 0);
    Excel_Palette_read(body + 2, 0, &q);
    Excel_Palette_read(nullptr, 3, &q);
    EXPECT_EQ(memcmp(&q, &before, sizeof q), 0);
}

TEST(Palette, WorkbookColours)
{
    ExcelPalette p;
    Excel_Palette_setDefault(&p);
    uint8_t c[4];
    EXPECT_EQ(Excel_paletteColour(c, &p, 2), 1);
    EXPECT_EQ(c[0], 255);
    EXPECT_EQ(c[3], 255);
    EXPECT_EQ(Excel_paletteColour(c, &p, 55), 1);
    EXPECT_EQ(c[0], 51);
    // Entry 56 lies past the palette: the default colour, not a stray read.
    EXPECT_EQ(Excel_paletteColour(c, &p, 56), 0);
    EXPECT_EQ(c[0] | c[1] | c[2], 0);
    for (uint32_t i : {63u, 64u, 127u}) {
        EXPECT_EQ(Excel_paletteColour(c, &p, i), 1);
        EXPECT_EQ(c[0] | c[1] | c[2], 0);
        EXPECT_EQ(c[3], 255);
    }
    EXPECT_EQ(Excel_paletteColour(c, &p, 65), 1);
    EXPECT_EQ(c[0] & c[1] & c[2], 255);
    EXPECT_EQ(Excel_paletteColour(c, &p, 66), 0);
}

} // namespace
