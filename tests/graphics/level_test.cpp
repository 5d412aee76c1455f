// Gain and offset of 8-bit values: the converter's format pairs, rows and
// single values, clamping at both ends, and sums beyond 16 bits.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/pixelbuf.h"
#include "graphics/level.h"

namespace {

TEST(PixelLevel, GainAndOffsetClampAtBothEnds)
{
    struct Case {
        int16_t gain, offset;
        uint8_t in, out;
    } cases[] = {
        {256, 0, 0, 0},           {256, 0, 137, 137},   {256, 0, 255, 255}, // unchanged
        {512, 0, 100, 200},       {512, 0, 128, 255},   {512, 0, 255, 255}, // doubled, clamped
        {256, -40, 30, 0},        {256, -40, 200, 160}, {128, 0, 255, 127}, // negative offset
        {-256, 0, 10, 0},         {-256, 255, 55, 200}, {64, 10, 255, 73},
        {3, 0, 255, 2},           // 765 / 256, truncated
        {-3, 5, 255, 3},          // 5 + (-765 / 256): the division truncates toward zero
        {32767, 32767, 255, 255}, // a sum past 16 bits still clamps high
        {-32768, -32768, 255, 0},
    };
    for (const Case &c : cases) {
        int16_t levels[2] = {c.gain, c.offset};
        const uint8_t in[3] = {c.in, c.in, c.in};
        uint8_t out[2][4] = {{0, 0, 0, 0xEE}, {0, 0, 0, 0xEE}};
        EXPECT_EQ(Pixel_levelRows(in, 0, levels, 0, 0, 3, 2, out[0], 4), 0);
        for (int r = 0; r < 2; r++) {
            for (int i = 0; i < 3; i++)
                EXPECT_EQ(out[r][i], c.out) << c.gain << " " << c.offset << " " << int(c.in);
            EXPECT_EQ(out[r][3], 0xEE);
        }
        uint8_t one = 0;
        EXPECT_EQ(Pixel_levelOne(in, 0, levels, 0, 0, 1, 1, &one, 0), int(c.out));
        EXPECT_EQ(one, c.out);
    }
}

TEST(PixelLevel, ConverterGivesTheRoutineForEachFormatPair)
{
    int16_t levels[2] = {512, 0};
    StageRecord rec{};
    // One value of format 0: the one-pixel routine, one byte, and a result
    // of 0 (a draw takes any other result as a failure).
    ASSERT_EQ(Pixel_levelConverter(0, Pixel_formatGrey8, 7, 3, 0, levels, &rec), 0);
    EXPECT_EQ(rec.outputIsBuffer, 0u);
    EXPECT_EQ(rec.outputFormat, uint32_t(Pixel_formatGrey8));
    EXPECT_EQ(rec.worksInPlace, 0u);
    EXPECT_EQ(rec.outputBytes, 1u);
    EXPECT_EQ(rec.parameter, levels);
    uint8_t in = 100, out = 0;
    EXPECT_EQ(rec.routine.copy(&in, 0, levels, 0, 0, 1, 1, &out, 0), 0);
    EXPECT_EQ(out, 200);
    // Rows of format 0: the row routine with rows of (width + 3) & ~3.
    for (int32_t width : {0, 1, 4, 5, 8}) {
        ASSERT_EQ(Pixel_levelConverter(1, Pixel_formatGrey8, width, 3, 1, levels, &rec), 0);
        EXPECT_EQ(rec.outputIsBuffer, 1u);
        EXPECT_EQ(rec.worksInPlace, 0u); // never in place, even after a stage
        EXPECT_EQ(rec.outputBytes, uint32_t((width + 3) & ~3));
        EXPECT_EQ(rec.routine.copy, &Pixel_levelRows);
    }
    // Every other pair, a negative width or no levels: 275.
    const uint32_t refused[][2] = {
        {0, Pixel_format565}, {1, Pixel_formatRGBA}, {2, Pixel_formatGrey8}, {1, Pixel_format444}};
    for (const auto &p : refused)
        EXPECT_EQ(Pixel_levelConverter(p[0], p[1], 4, 4, 0, levels, &rec), Level_badFormats);
    EXPECT_EQ(Pixel_levelConverter(1, Pixel_formatGrey8, -1, 4, 0, levels, &rec), Level_badFormats);
    EXPECT_EQ(Pixel_levelConverter(1, Pixel_formatGrey8, 4, 4, 0, nullptr, &rec), Level_badFormats);
    EXPECT_EQ(Level_stageOps.declare, &Pixel_levelConverter);
}

} // namespace
