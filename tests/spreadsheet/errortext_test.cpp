// Spreadsheet error texts and codes: the seven-row table both ways, and
// the first row as the answer for anything else.
#include <gtest/gtest.h>

#include "fonts/fontdata.h"
#include "spreadsheet/errortext.h"

namespace {

TEST(ErrorText, CodesAndTexts)
{
    const struct {
        uint8_t code;
        const char *text;
    } rows[] = {{0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
                {0x1D, "#NAME?"}, {0x24, "#NUM!"},   {0x2A, "#N/A"}};
    for (const auto &r : rows) {
        EXPECT_STREQ(Excel_errorText(r.code), r.text);
        EXPECT_EQ(Excel_errorCode(r.text), r.code);
    }
    EXPECT_STREQ(Excel_errorText(0x99), "#NULL!");
    EXPECT_STREQ(Excel_errorText(0x10F), "#NULL!");
    EXPECT_EQ(Excel_errorCode(""), 0x00);
    EXPECT_EQ(Excel_errorCode("#value!"), 0x00);
    EXPECT_EQ(Excel_errorCode("#N/A "), 0x00);
    EXPECT_EQ(Excel_errorCode(nullptr), 0x00);
}

TEST(NamedColour, Table)
{
    uint32_t c = 0;
    Pixel_namedColour(&c, 12);
    EXPECT_EQ(c, 0xFF0000FFu); // red
    Pixel_namedColour(&c, 1);
    EXPECT_EQ(c, 0xFF000000u);
    Pixel_namedColour(&c, 16);
    EXPECT_EQ(c, 0xFFFFFFFFu);
    Pixel_namedColour(&c, 10);
    EXPECT_EQ(c, 0xFF00A5FFu); // orange
    Pixel_namedColour(&c, 17);
    EXPECT_EQ(c, 0u);
    Pixel_namedColour(&c, -1);
    EXPECT_EQ(c, 0u);
    Pixel_namedColour(nullptr, 3);
}

} // namespace
