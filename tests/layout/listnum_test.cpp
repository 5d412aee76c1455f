// List numbering text: a table of numbers and keywords (decimal, leading
// zero, letters, roman, CJK), the fallbacks for numbers the tables cannot
// spell, and measuring with a null buffer.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/style/propids.h"
#include "layout/listnum.h"

namespace {

std::u16string format(int32_t n, uint32_t keyword)
{
    uint32_t length = ListNum_format(n, keyword, nullptr);
    std::u16string out(length, u'?');
    EXPECT_EQ(ListNum_format(n, keyword, out.data()), length) << n << " kw " << keyword;
    return out;
}

TEST(ListNumTest, FormatsByKeyword)
{
    struct Case {
        int32_t number;
        uint32_t keyword;
        std::u16string text;
    } cases[] = {
        {0, KwId_decimal, u"0"},
        {120, KwId_decimal, u"120"},
        {7, KwId_none, u"7"},
        {0, KwId_decimalLeadingZero, u"00"},
        {7, KwId_decimalLeadingZero, u"07"},
        {10, KwId_decimalLeadingZero, u"10"},
        {1, KwId_lowerAlpha, u"a"},
        {26, KwId_lowerLatin, u"z"},
        {27, KwId_upperAlpha, u"AA"},
        {28, KwId_upperLatin, u"BB"},
        {53, KwId_lowerAlpha, u"aaa"},
        {1994, KwId_lowerRoman, u"mcmxciv"},
        {4, KwId_upperRoman, u"IV"},
        {9, KwId_lowerRoman, u"ix"},
        {3999, KwId_lowerRoman, u"mmmcmxcix"},
        {4000, KwId_lowerRoman, u"mmmm"},
        {4999, KwId_lowerRoman, u"mmmmcmxcix"},
        {0, KwId_lowerRoman, u""},
        {0, KwId_cjkIdeographic, u"0"},
        {12, KwId_cjkIdeographic, u"\u5341\u4E8C"},
        {10000, KwId_cjkIdeographic, u"\u4E00\u4E07"},
        {101, KwId_cjkIdeographic, u"\u767E\u4E00"},
        {10000000, KwId_cjkIdeographic, u"\u4E00\u5343"},
        {-3, KwId_cjkIdeographic, u""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(format(c.number, c.keyword), c.text) << c.number << " kw " << c.keyword;
}

TEST(ListNumTest, NumbersTheTablesCannotSpellFallBackToDecimal)
{
    struct Case {
        int32_t number;
        uint32_t keyword;
        std::u16string text;
    } cases[] = {
        {INT32_MAX, KwId_decimal, u"2147483647"},
        {INT32_MIN, KwId_decimal, u"-2147483648"},
        {1000000000, KwId_decimal, u"1000000000"},
        {-5, KwId_decimal, u"-5"},
        {-5, KwId_decimalLeadingZero, u"-5"},
        {5000, KwId_lowerRoman, u"5000"},
        {INT32_MAX, KwId_upperRoman, u"2147483647"},
        {-1, KwId_lowerRoman, u"-1"},
        {0, KwId_lowerAlpha, u"0"},
        {INT32_MIN, KwId_upperAlpha, u"-2147483648"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(format(c.number, c.keyword), c.text) << c.number << " kw " << c.keyword;
    // The largest CJK number stays within its tables.
    EXPECT_LE(ListNum_format(INT32_MAX, KwId_cjkIdeographic, nullptr), 20u);
    // Letters repeat at most 65535 times, and measuring agrees with writing.
    uint32_t letters = ListNum_format(INT32_MAX, KwId_lowerAlpha, nullptr);
    EXPECT_LE(letters, uint32_t(ListNum_maxLength));
    std::u16string big = format(INT32_MAX, KwId_lowerAlpha);
    EXPECT_EQ(big.size(), letters);
}

} // namespace
