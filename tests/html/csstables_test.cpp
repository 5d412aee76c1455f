// The style vocabulary: name tables, number and length conversion, the
// colour readers and the integer table search.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "core/style/propids.h"
#include "html/css/csstables.h"
#include "tests/support/heap_fixture.h"

namespace {

std::u16string wide(const char *s)
{
    std::u16string out;
    for (; *s; s++)
        out += char16_t(static_cast<unsigned char>(*s));
    return out;
}

std::u16string upper(const char *s)
{
    std::u16string out = wide(s);
    for (auto &c : out)
        if (c >= 'a' && c <= 'z')
            c = char16_t(c - 32);
    return out;
}

// Every row is found by its own name in any case: the tables are sorted
// the way the searches expect.
TEST(CssTables, EveryNameFindsItsRow)
{
    for (uint32_t i = 1; i < Css_propertyCount; i++) {
        std::u16string n = upper(Css_propertyRows[i].name);
        EXPECT_EQ(Css_propertyIndex(n.data(), n.size()), i) << Css_propertyRows[i].name;
    }
    for (uint32_t i = Css_keywordFirstSorted; i < Css_keywordCount; i++) {
        std::u16string n = wide(Css_keywordRows[i].name);
        const CssKeywordRow *row = Css_keywordLookup(n.data(), n.size());
        ASSERT_NE(row, nullptr) << Css_keywordRows[i].name;
        EXPECT_EQ(row->value, Css_keywordRows[i].value);
    }
    for (uint32_t i = 0; i < Css_colourCount; i++) {
        std::u16string n = upper(Css_colourRows[i].name);
        uint8_t rgba[4] = {};
        ASSERT_EQ(Css_colourByName(n.data(), n.size(), rgba), 1) << Css_colourRows[i].name;
        EXPECT_EQ(rgba[0], Css_colourRows[i].red);
        EXPECT_EQ(rgba[3], 255);
    }
}

TEST(CssTables, LookupsAndMisses)
{
    std::u16string color = u"color", colo = u"colo", colorx = u"colorx", none = u"NONE",
                   bold = u"bold";
    EXPECT_EQ(Css_propertyEngineId(Css_propertyIndex(color.data(), color.size())), PropId_color);
    EXPECT_EQ(Css_propertyIndex(colo.data(), colo.size()), 0u);
    EXPECT_EQ(Css_propertyIndex(colorx.data(), colorx.size()), 0u);
    EXPECT_EQ(Css_propertyIdByName(u"margin-right"), PropId_marginRight);
    EXPECT_EQ(Css_propertyIdByName(u"margin"), 0u); // a shorthand sets nothing itself
    EXPECT_EQ(Css_keywordLookup(none.data(), none.size()), &Css_keywordRows[0]);
    EXPECT_EQ(Css_keywordLookup(bold.data(), bold.size())->value, KwId_bold);
    EXPECT_EQ(Css_keywordLookup(colo.data(), colo.size()), nullptr);
    // Class 1 keywords.
    std::u16string thin = u"thin";
    EXPECT_EQ(Css_keywordLookup(thin.data(), thin.size())->valueClass, CssClass_numeric);
}

using CssNameCopyTest = LeakCheckedHeapTest<>;

TEST_F(CssNameCopyTest, NamesAreCopied)
{
    char16_t *n = Css_propertyName(Css_propertyIndex(u"z-index", 7));
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(std::u16string(n), u"z-index");
    Mem_free(n);
    n = Css_keywordName(KwId_tableCell);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(std::u16string(n), u"table-cell");
    Mem_free(n);
    EXPECT_EQ(Css_keywordName(57), nullptr); // the unset marker is no keyword
    EXPECT_EQ(Css_keywordName(120), nullptr);
    EXPECT_EQ(Css_propertyName(Css_propertyCount), nullptr);
}

// Colours the table gives on purpose differently from published lists, and
// the names with a space.
TEST(CssTables, ColourValues)
{
    struct Case {
        const char16_t *name;
        uint8_t r, g, b;
    } cases[] = {
        {u"pink", 0xff, 0xc8, 0xcb},
        {u"darkturquoise", 0x00, 0xde, 0xd1},
        {u"darkseagreen", 0x8d, 0xbc, 0x8f},
        {u"mediumsea green", 0x3c, 0xb3, 0x71},
        {u"mediumviolet red", 0xc7, 0x15, 0x85},
        {u"ButtonFace", 0xe8, 0xe8, 0xe8},
    };
    for (const Case &c : cases) {
        uint8_t rgba[4] = {};
        std::u16string n = c.name;
        ASSERT_EQ(Css_colourByName(n.data(), n.size(), rgba), 1);
        EXPECT_EQ(rgba[0], c.r);
        EXPECT_EQ(rgba[1], c.g);
        EXPECT_EQ(rgba[2], c.b);
    }
    uint8_t rgba[4];
    std::u16string spaced = u"mediumseagreen", digit = u"1red";
    EXPECT_EQ(Css_colourByName(spaced.data(), spaced.size(), rgba), 0);
    EXPECT_EQ(Css_colourByName(digit.data(), digit.size(), rgba), 0);
}

TEST(CssValues, Lengths)
{
    struct Case {
        uint32_t integer;
        uint16_t fraction;
        uint32_t unit;
        uint32_t type;
        int32_t value;
    } cases[] = {
        {72, 0, CssUnit_pt, 2, 65536},
        {1, 0, CssUnit_in, 2, 65536},
        {96, 0, CssUnit_px, 2, 65536},
        {96, 0, CssUnit_number, 2, 65536}, // a bare number counts as pixels
        {2, 35390, CssUnit_cm, 2, 65536},  // 2.54cm
        {1, 0, CssUnit_cm, 2, 25801},
        {50, 52429, CssUnit_mm, 2, 131072}, // 50.8mm
        {6, 0, CssUnit_pc, 2, 65536},
        {2, 0, CssUnit_em, 3, 131072},
        {2, 0, CssUnit_ex, 3, 131072},
        {50, 0, CssUnit_percent, 7, 50 << 16},
        {100000, 0, CssUnit_in, 2, 32767 << 16}, // clamped
        {1000, 0, CssUnit_cm, 2, int32_t((int64_t(327) << 16) * 100 / 254)},
    };
    for (const Case &c : cases) {
        CssTypedValue v{};
        ASSERT_EQ(Css_numberValue(c.integer, c.fraction, 0, c.unit, 0, 0, &v), 1)
            << c.integer << " " << c.unit;
        EXPECT_EQ(v.type, c.type);
        EXPECT_EQ(int32_t(v.payload), c.value) << c.integer << " " << c.unit;
    }
    CssTypedValue v{};
    EXPECT_EQ(Css_numberValue(5, 0, 0, CssUnit_other, 0, 0, &v), 0);
    ASSERT_EQ(Css_numberValue(5, 0, 0, CssUnit_number, 1, 0, &v), 1);
    EXPECT_EQ(v.type, 1u);
    EXPECT_EQ(v.payload, 5u << 16);
    ASSERT_EQ(Css_numberValue(5, 0, 0, CssUnit_number, 2, 0, &v), 1);
    EXPECT_EQ(v.payload, 5u);
}

TEST(CssValues, NegativeValuesOnlyWhereAllowed)
{
    std::u16string width = u"width", margin = u"margin-left";
    CssTypedValue v{};
    EXPECT_EQ(
        Css_numberValue(1, 0, 1, CssUnit_in, 0, Css_propertyIndex(width.data(), width.size()), &v),
        0);
    ASSERT_EQ(Css_numberValue(1, 0, 1, CssUnit_in, 0,
                              Css_propertyIndex(margin.data(), margin.size()), &v),
              1);
    EXPECT_EQ(int32_t(v.payload), -65536);
}

TEST(CssValues, FontWeights)
{
    EXPECT_EQ(Css_fontWeightKeyword(100, 0), KwId_weight100);
    EXPECT_EQ(Css_fontWeightKeyword(900, 0), KwId_weight900);
    EXPECT_EQ(Css_fontWeightKeyword(450, 0), 0u);
    EXPECT_EQ(Css_fontWeightKeyword(1000, 0), 0u);
    EXPECT_EQ(Css_fontWeightKeyword(400, 1), 0u);
}

TEST(CssValues, HexColours)
{
    uint8_t rgba[4];
    std::u16string abc = u"abc", white = u"ffffff", hash = u"#0a0B0c", bad = u"abg", four = u"abcd";
    ASSERT_EQ(Css_colourFromHex(abc.data(), abc.size(), rgba), 1);
    EXPECT_EQ(rgba[0], 0xaa);
    EXPECT_EQ(rgba[2], 0xcc);
    ASSERT_EQ(Css_colourFromHex(white.data(), white.size(), rgba), 1);
    EXPECT_EQ(rgba[1], 0xff);
    ASSERT_EQ(Css_colourFromHex(hash.data(), hash.size(), rgba), 1);
    EXPECT_EQ(rgba[1], 0x0b);
    EXPECT_EQ(Css_colourFromHex(bad.data(), bad.size(), rgba), 0);
    EXPECT_EQ(Css_colourFromHex(four.data(), four.size(), rgba), 0);
}

TEST(HtmlColour, LegacyReader)
{
    struct Case {
        const char16_t *text;
        uint8_t r, g, b;
    } cases[] = {
        {u"12345", 0x12, 0x34, 0x50},
        {u"#ff8000", 0xff, 0x80, 0x00},
        {u"#1234567", 0x23, 0x45, 0x67}, // the last six of seven or more
        {u"1234", 0x12, 0x34, 0x00},
        {u"123", 0, 0, 0},
        {u"zzzzzz", 0, 0, 0}, // not a name: letters read as digits
        {u"abcxyz", 0xab, 0xc0, 0x00},
        {u"mediumsea green", 0x3c, 0xb3, 0x71},
        {u"Red", 0xff, 0, 0},
        {u"", 0, 0, 0},
    };
    for (const Case &c : cases) {
        std::u16string t = c.text;
        uint8_t rgba[4] = {1, 1, 1, 1};
        Html_parseColour(t.data(), t.size(), rgba);
        EXPECT_EQ(rgba[0], c.r) << std::string(t.begin(), t.end());
        EXPECT_EQ(rgba[1], c.g) << std::string(t.begin(), t.end());
        EXPECT_EQ(rgba[2], c.b) << std::string(t.begin(), t.end());
        EXPECT_EQ(rgba[3], 255);
    }
}

TEST(TableFindInt, Search)
{
    struct Rec {
        int32_t key;
        int32_t other;
    };
    const Rec table[] = {{-5, 0}, {1, 0}, {3, 0}, {8, 0}, {13, 0}, {21, 0}, {34, 0}};
    for (int32_t i = 0; i < 7; i++)
        EXPECT_EQ(Table_findInt(table, 7, sizeof(Rec), table[i].key), i);
    EXPECT_EQ(Table_findInt(table, 7, sizeof(Rec), 2), -1);
    EXPECT_EQ(Table_findInt(table, 7, sizeof(Rec), 100), -1);
    EXPECT_EQ(Table_findInt(table, 7, sizeof(Rec), -100), -1);
    EXPECT_EQ(Table_findInt(table, 1, sizeof(Rec), -5), 0);
    EXPECT_EQ(Table_findInt(table, 0, sizeof(Rec), -5), -1);
}

} // namespace
