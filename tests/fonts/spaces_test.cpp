// The "Spaces" font's map, metrics and outline.
#include "fonts/spaces.h"

#include <gtest/gtest.h>

#include <cstring>

#include "graphics/glyphpath.h"
#include "tests/support/heap_fixture.h"

namespace {

class SpacesFontTest : public LeakCheckedHeapTest<> {};

TEST_F(SpacesFontTest, MapsTheTableAndMeasuresItsAdvances)
{
    struct Case {
        uint16_t code;
        int32_t glyph;
        uint16_t advance;
    } cases[] = {
        {0x2000, 1, 8192}, {0x2001, 2, 16384}, {0x2002, 3, 8192}, {0x2003, 4, 16384},
        {0x2004, 5, 5461}, {0x2005, 6, 4096},  {0x2006, 7, 2730}, {0x200B, 8, 0},
        {0x205F, 9, 3640}, {0x2060, 10, 0},    {0xFEFF, 11, 0},   {0, 0, 0},
        {0x20, -1, 0},     {0x2007, -1, 0},    {0xFFFF, -1, 0},   {0x200A, -1, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.glyph, SpacesFont_glyphOf(c.code)) << c.code;
        if (c.glyph >= 0) {
            EXPECT_EQ(c.advance, SpacesFont_advanceOf(uint16_t(c.glyph))) << c.code;
        }
    }
    EXPECT_EQ(0, SpacesFont_advanceOf(65535));
    EXPECT_EQ(0, SpacesFont_advanceOf(12));
}

TEST_F(SpacesFontTest, MapFillsOnlyEmptyPositionsAndStopsWhenAllAreMapped)
{
    const uint16_t codes[6] = {'a', 0x2003, 0xFEFF, 0x2003, 0x2009, 0x2000};
    uint16_t glyphs[6] = {0, 0, 0, 77, 0, 0};
    uint8_t tags[6] = {0, 0xF8, 0, 1, 0, 0};
    uint32_t remaining = 5;
    ASSERT_EQ(0, SpacesFont_map(nullptr, codes, 6, 3, glyphs, tags, &remaining));
    const uint16_t wantGlyphs[6] = {0, 4, 11, 77, 0, 1};
    const uint8_t wantTags[6] = {0, 0xFB, 3, 1, 0, 3};
    EXPECT_EQ(0, memcmp(wantGlyphs, glyphs, sizeof glyphs));
    EXPECT_EQ(0, memcmp(wantTags, tags, sizeof tags));
    EXPECT_EQ(2u, remaining);
    // The walk ends when nothing is left to map.
    uint16_t g2[3] = {0, 0, 0};
    uint8_t t2[3] = {0, 0, 0};
    const uint16_t c2[3] = {0x2001, 0x2002, 0x2003};
    remaining = 1;
    ASSERT_EQ(0, SpacesFont_map(nullptr, c2, 3, 2, g2, t2, &remaining));
    EXPECT_EQ(2, g2[0]);
    EXPECT_EQ(0, g2[1]);
    EXPECT_EQ(0u, remaining);
}

TEST_F(SpacesFontTest, MetricsOfTheRunsOwnPositions)
{
    const uint16_t glyphs[4] = {4, 11, 65535, 9};
    const uint8_t tags[4] = {2, 0x12, 2, 1};
    uint16_t first[4] = {9, 9, 9, 9}, adv[4] = {9, 9, 9, 9};
    ASSERT_EQ(0, SpacesFont_metrics(nullptr, glyphs, 4, 2, tags, first, adv));
    EXPECT_EQ(16384, adv[0]) << "U+2003 is one em";
    EXPECT_EQ(0, adv[1]) << "U+FEFF";
    EXPECT_EQ(0, adv[2]);
    EXPECT_EQ(9, adv[3]) << "another font's position";
    EXPECT_EQ(0, first[0]);
    EXPECT_EQ(9, first[3]);
}

TEST_F(SpacesFontTest, OutlinesAreEmpty)
{
    GlyphPath *path = nullptr;
    ASSERT_EQ(0, SpacesFont_outline(nullptr, 4, &path));
    ASSERT_NE(nullptr, path);
    EXPECT_EQ(0u, path->lastSize) << "nothing drawn";
    GlyphPath_destroy(path);
    EXPECT_STREQ("%VexlanFont{Spaces}%", SpacesFont_name);
}

} // namespace
