// Style sheets: the tokenizer's edge cases, declarations and shorthands,
// media lists, single property values, and CSS text round trips.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "html/css/css.h"
#include "html/css/cssparse.h"
#include "html/css/csstext.h"
#include "tests/support/heap_fixture.h"

namespace {

using CssTest = LeakCheckedHeapTest<>;

struct Tok {
    uint32_t kind;
    std::u16string text;
    int32_t integer;
    uint16_t fraction;
};

std::vector<Tok> tokens(const std::u16string &text, int skipSpace = 1)
{
    CssTokenizer t;
    Css_tokenizerOpenText(&t, text.data(), text.size());
    std::vector<Tok> out;
    for (int i = 0; i < 64; i++) {
        Css_tokenNext(&t, skipSpace);
        if (!t.kind)
            break;
        out.push_back({t.kind, std::u16string(t.token.chars ? t.token.chars : u"", t.token.length),
                       t.integer, t.fraction});
    }
    Css_tokenizerClose(&t);
    return out;
}

TEST_F(CssTest, TokenizerEdgeCases)
{
    struct Case {
        const char16_t *text;
        std::vector<Tok> want;
    } cases[] = {
        {u"1.5em", {{CssTok_em, u"", 1, 32770}}},
        {u"12.34567px", {{CssTok_px, u"", 12, 6554 * 3 + 655 * 4 + 66 * 5 + 7 * 6}}},
        {u"10 px", {{CssTok_px, u"", 10, 0}}},
        {u"10 foo", {{CssTok_number, u"", 10, 0}, {CssTok_ident, u"foo", 0, 0}}},
        {u"1.5 serif", {{CssTok_number, u"", 1, 32770}, {CssTok_ident, u"serif", 0, 0}}},
        {u"1.5 s", {{CssTok_s, u"", 1, 32770}}},
        {u"10pxa", {{CssTok_px, u"", 10, 0}, {CssTok_ident, u"a", 0, 0}}},
        {u"3quux", {{CssTok_dimension, u"quux", 3, 0}}},
        {u"!  IMPORTANT", {{CssTok_important, u"", 0, 0}}},
        {u"url( \"my file.png\" )", {{CssTok_url, u"my file.png", 0, 0}}},
        {u"url(a.png)x", {{CssTok_url, u"a.png", 0, 0}, {CssTok_ident, u"x", 0, 0}}},
        {u"\\41", {{CssTok_ident, u"41", 0, 0}}},
        {u"\"ab\ncd\"",
         {{'"', u"", 0, 0},
          {CssTok_ident, u"ab", 0, 0},
          {CssTok_ident, u"cd", 0, 0},
          {'"', u"", 0, 0}}},
        {u"\"a\\\nb\"", {{CssTok_string, u"ab", 0, 0}}},
        {u"\"it's\"", {{CssTok_string, u"it's", 0, 0}}},
        {u"a /* unterminated", {{CssTok_ident, u"a", 0, 0}}},
        {u"a/**/b", {{CssTok_ident, u"a", 0, 0}, {CssTok_ident, u"b", 0, 0}}},
        {u"RGB(", {{CssTok_rgb, u"", 0, 0}}},
        {u"rect(", {{CssTok_function, u"rect", 0, 0}}},
        {u"#x1", {{CssTok_hash, u"#x1", 0, 0}}},
        {u"<!-- -->", {{CssTok_cdo, u"", 0, 0}, {CssTok_cdc, u"", 0, 0}}},
        {u"~= |=", {{CssTok_includes, u"", 0, 0}, {CssTok_dashMatch, u"", 0, 0}}},
        {u"@import @MEDIA @page @font-face @charset @foo",
         {{CssTok_import, u"", 0, 0},
          {CssTok_media, u"", 0, 0},
          {CssTok_page, u"", 0, 0},
          {CssTok_fontFace, u"", 0, 0},
          {CssTok_charset, u"", 0, 0},
          {'@', u"", 0, 0},
          {CssTok_ident, u"foo", 0, 0}}},
        {u"5%", {{CssTok_percent, u"", 5, 0}}},
        {u".x", {{'.', u"", 0, 0}, {CssTok_ident, u"x", 0, 0}}},
        {u"\ufeffa", {{CssTok_ident, u"a", 0, 0}}},
    };
    for (const Case &c : cases) {
        std::vector<Tok> got = tokens(c.text);
        std::string label(c.text, c.text + std::u16string(c.text).size());
        ASSERT_EQ(got.size(), c.want.size()) << label;
        for (size_t i = 0; i < got.size(); i++) {
            EXPECT_EQ(got[i].kind, c.want[i].kind) << label << " #" << i;
            EXPECT_TRUE(got[i].text == c.want[i].text) << label << " #" << i;
            EXPECT_EQ(got[i].integer, c.want[i].integer) << label << " #" << i;
            EXPECT_EQ(got[i].fraction, c.want[i].fraction) << label << " #" << i;
        }
    }
    // White space is one token unless skipped.
    std::vector<Tok> spaced = tokens(u"a  \t b", 0);
    ASSERT_EQ(spaced.size(), 3u);
    EXPECT_EQ(spaced[1].kind, CssTok_space);
}

// The declarations of text as "id:type:payload" items, in rule order.
std::string declared(const std::u16string &text)
{
    StyleRule *rule = nullptr;
    EXPECT_EQ(StyleRule_create(&rule), 0);
    EXPECT_EQ(Css_parseDeclarationsText(nullptr, text.data(), text.size(), rule), 0);
    std::string out;
    for (StylePropItem *p = rule->firstProp; p; p = p->next) {
        char buf[64];
        if (p->value.type == PropType_ustr) {
            std::u16string s(reinterpret_cast<const char16_t *>(p->value.payload),
                             p->value.payload2);
            snprintf(buf, sizeof buf, "%u:s:", unsigned(p->value.id));
            out += buf;
            out += std::string(s.begin(), s.end());
            out += " ";
            continue;
        }
        snprintf(buf, sizeof buf, "%u:%u:%lx%s ", unsigned(p->value.id), unsigned(p->value.type),
                 static_cast<unsigned long>(p->value.payload), (p->value.flags & 1) ? "!" : "");
        out += buf;
    }
    StyleRule_destroy(rule);
    return out;
}

// Expected declarations in the form declared() writes, built from names.
std::string cssValue(uint32_t id, uint32_t type, uint32_t payload)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%u:%u:%x ", unsigned(id), unsigned(type), unsigned(payload));
    return buf;
}

// A bare keyword: the keyword is the type and there is no payload.
std::string cssKeyword(uint32_t id, uint32_t keyword)
{
    return cssValue(id, keyword, 0);
}

std::string cssText(uint32_t id, const char *text)
{
    return std::to_string(id) + ":s:" + text + " ";
}

// The same declaration marked !important.
std::string cssImportant(std::string declaration)
{
    declaration.insert(declaration.size() - 1, "!");
    return declaration;
}

// A length of n CSS pixels (96 per inch) in 16.16 inches, cut towards zero.
uint32_t cssPx(int32_t n)
{
    return uint32_t(int32_t(n * 65536 / 96));
}

uint32_t cssPercent(uint32_t n)
{
    return n << 16;
}

TEST_F(CssTest, DeclarationsAndShorthands)
{
    struct Case {
        const char16_t *text;
        std::string want;
    } cases[] = {
        // margin with one to four values (lengths in 16.16 inches).
        {u"margin: 96px", cssValue(PropId_marginTop, PropType_length, cssPx(96)) +
                              cssValue(PropId_marginRight, PropType_length, cssPx(96)) +
                              cssValue(PropId_marginBottom, PropType_length, cssPx(96)) +
                              cssValue(PropId_marginLeft, PropType_length, cssPx(96))},
        {u"margin: 1px 2px", cssValue(PropId_marginTop, PropType_length, cssPx(1)) +
                                 cssValue(PropId_marginRight, PropType_length, cssPx(2)) +
                                 cssValue(PropId_marginBottom, PropType_length, cssPx(1)) +
                                 cssValue(PropId_marginLeft, PropType_length, cssPx(2))},
        {u"margin: 1px 2px 3px", cssValue(PropId_marginTop, PropType_length, cssPx(1)) +
                                     cssValue(PropId_marginRight, PropType_length, cssPx(2)) +
                                     cssValue(PropId_marginBottom, PropType_length, cssPx(3)) +
                                     cssValue(PropId_marginLeft, PropType_length, cssPx(2))},
        {u"margin: 1px 2px 3px 4px", cssValue(PropId_marginTop, PropType_length, cssPx(1)) +
                                         cssValue(PropId_marginRight, PropType_length, cssPx(2)) +
                                         cssValue(PropId_marginBottom, PropType_length, cssPx(3)) +
                                         cssValue(PropId_marginLeft, PropType_length, cssPx(4))},
        {u"margin: 1px, 2px", ""},
        {u"border: 1px solid red",
         cssValue(PropId_borderTopWidth, PropType_length, cssPx(1)) +
             cssKeyword(PropId_borderTopStyle, KwId_solid) +
             cssValue(PropId_borderTopColor, PropType_colour, 0xff0000ff) +
             cssValue(PropId_borderBottomWidth, PropType_length, cssPx(1)) +
             cssKeyword(PropId_borderBottomStyle, KwId_solid) +
             cssValue(PropId_borderBottomColor, PropType_colour, 0xff0000ff) +
             cssValue(PropId_borderLeftWidth, PropType_length, cssPx(1)) +
             cssKeyword(PropId_borderLeftStyle, KwId_solid) +
             cssValue(PropId_borderLeftColor, PropType_colour, 0xff0000ff) +
             cssValue(PropId_borderRightWidth, PropType_length, cssPx(1)) +
             cssKeyword(PropId_borderRightStyle, KwId_solid) +
             cssValue(PropId_borderRightColor, PropType_colour, 0xff0000ff)},
        {u"border: solid", cssKeyword(PropId_borderTopWidth, Css_unsetMarker) +
                               cssKeyword(PropId_borderTopStyle, KwId_solid) +
                               cssKeyword(PropId_borderTopColor, Css_unsetMarker) +
                               cssKeyword(PropId_borderBottomWidth, Css_unsetMarker) +
                               cssKeyword(PropId_borderBottomStyle, KwId_solid) +
                               cssKeyword(PropId_borderBottomColor, Css_unsetMarker) +
                               cssKeyword(PropId_borderLeftWidth, Css_unsetMarker) +
                               cssKeyword(PropId_borderLeftStyle, KwId_solid) +
                               cssKeyword(PropId_borderLeftColor, Css_unsetMarker) +
                               cssKeyword(PropId_borderRightWidth, Css_unsetMarker) +
                               cssKeyword(PropId_borderRightStyle, KwId_solid) +
                               cssKeyword(PropId_borderRightColor, Css_unsetMarker)},
        {u"font: bold 12pt/1.5 serif, \"Times New Roman\"",
         cssValue(PropId_fontSize, PropType_length, cssPx(16)) +
             cssValue(PropId_lineHeight, PropType_int, 0x18002) +
             cssKeyword(PropId_fontWeight, KwId_bold) +
             cssText(PropId_fontFamily, "serif,\"Times New Roman\"")},
        {u"font: inherit", cssKeyword(PropId_fontSize, KwId_inherit) +
                               cssKeyword(PropId_lineHeight, KwId_inherit) +
                               cssKeyword(PropId_fontVariant, KwId_inherit) +
                               cssKeyword(PropId_fontStyle, KwId_inherit) +
                               cssKeyword(PropId_fontWeight, KwId_inherit) +
                               cssKeyword(PropId_fontStretch, KwId_inherit) +
                               cssKeyword(PropId_fontFamily, KwId_inherit)},
        {u"font-family: inherit", cssKeyword(PropId_fontFamily, KwId_inherit)},
        {u"font-family: Arial Black, serif", cssText(PropId_fontFamily, "Arial Black,serif")},
        {u"background: url(x.png) no-repeat right",
         cssKeyword(PropId_backgroundColor, KwId_transparent) +
             cssText(PropId_backgroundImage, "x.png") +
             cssKeyword(PropId_backgroundRepeat, KwId_noRepeat) +
             cssKeyword(PropId_backgroundAttachment, KwId_scroll) +
             cssValue(PropId_backgroundPositionX, PropType_percent, cssPercent(100)) +
             cssValue(PropId_backgroundPositionY, PropType_percent, cssPercent(50))},
        {u"background: inherit", cssKeyword(PropId_backgroundColor, KwId_inherit) +
                                     cssKeyword(PropId_backgroundImage, KwId_inherit) +
                                     cssKeyword(PropId_backgroundRepeat, KwId_inherit) +
                                     cssKeyword(PropId_backgroundAttachment, KwId_inherit) +
                                     cssKeyword(PropId_backgroundPositionX, KwId_inherit) +
                                     cssKeyword(PropId_backgroundPositionY, KwId_inherit)},
        {u"background-position: top",
         cssValue(PropId_backgroundPositionX, PropType_percent, cssPercent(50)) +
             cssValue(PropId_backgroundPositionY, PropType_percent, cssPercent(0))},
        {u"list-style: square inside", cssKeyword(PropId_listStyleType, KwId_square) +
                                           cssKeyword(PropId_listStylePosition, KwId_inside) +
                                           cssKeyword(PropId_listStyleImage, Css_unsetMarker)},
        {u"clip: rect(1px, 2px, 3px, 4px)",
         cssValue(PropId_clipTop, PropType_length, cssPx(1)) +
             cssValue(PropId_clipRight, PropType_length, cssPx(2)) +
             cssValue(PropId_clipBottom, PropType_length, cssPx(3)) +
             cssValue(PropId_clipLeft, PropType_length, cssPx(4))},
        {u"clip: rect(1px 2px)", cssValue(PropId_clipTop, PropType_length, cssPx(1)) +
                                     cssValue(PropId_clipRight, PropType_length, cssPx(2)) +
                                     cssValue(PropId_clipBottom, PropType_length, cssPx(1)) +
                                     cssValue(PropId_clipLeft, PropType_length, cssPx(2))},
        {u"clip: rect(1px, f(2px), 3px); color: red",
         cssValue(PropId_clipTop, PropType_length, cssPx(1)) +
             cssValue(PropId_clipRight, PropType_length, cssPx(3)) +
             cssValue(PropId_clipBottom, PropType_length, cssPx(1)) +
             cssValue(PropId_clipLeft, PropType_length, cssPx(3)) +
             cssValue(PropId_color, PropType_colour, 0xff0000ff)},
        {u"border-spacing: 2px", cssValue(PropId_borderSpacingX, PropType_length, cssPx(2)) +
                                     cssValue(PropId_borderSpacingY, PropType_length, cssPx(2))},
        {u"border-spacing: 2px 3px",
         cssValue(PropId_borderSpacingX, PropType_length, cssPx(2)) +
             cssValue(PropId_borderSpacingY, PropType_length, cssPx(3))},
        {u"width: 10px 20px", ""},
        {u"width: -5px", ""},
        {u"text-indent: -5px", cssValue(PropId_textIndent, PropType_length, cssPx(-5))},
        {u"display: table-row", cssKeyword(PropId_display, Css_displayTableLike)},
        {u"display: table-column", cssKeyword(PropId_display, KwId_block)},
        {u"font-weight: 450", ""},
        {u"font-weight: 700", cssKeyword(PropId_fontWeight, KwId_weight700)},
        {u"color: ff0000", cssValue(PropId_color, PropType_colour, 0xff0000ff)},
        {u"color: abc", cssValue(PropId_color, PropType_colour, 0xffccbbaa)},
        {u"color: rgb(255, 50%, -1)", cssValue(PropId_color, PropType_colour, 0xff0080ff)},
        {u"color: red !important; color: blue",
         cssImportant(cssValue(PropId_color, PropType_colour, 0xff0000ff))},
        {u"color: red;; unknown: 1px; -moz-thing: 2; background-color: #00f",
         cssValue(PropId_color, PropType_colour, 0xff0000ff) +
             cssValue(PropId_backgroundColor, PropType_colour, 0xffff0000)},
        {u"color: red; junk here; font-style: italic",
         cssValue(PropId_color, PropType_colour, 0xff0000ff) +
             cssKeyword(PropId_fontStyle, KwId_italic)},
        {u"line-height: 1.5; z-index: 3", cssValue(PropId_lineHeight, PropType_int, 0x18002) +
                                              cssValue(PropId_zIndex, PropType_int, 3)},
        {u"color: red } font-style: italic", cssValue(PropId_color, PropType_colour, 0xff0000ff) +
                                                 cssKeyword(PropId_fontStyle, KwId_italic)},
        {u"list-style-image: url()", ""},
        {u"border-top-style: wavy", ""},
    };
    for (const Case &c : cases) {
        std::u16string text(c.text);
        EXPECT_EQ(declared(text), c.want) << std::string(text.begin(), text.end());
    }
}

TEST_F(CssTest, PropertyTextAndMedia)
{
    StyleRule *rule = nullptr;
    ASSERT_EQ(StyleRule_create(&rule), 0);
    int changed = 0;
    EXPECT_EQ(Css_parsePropertyText(nullptr, rule, u"colour", 6, u"red", 3, &changed), 8);
    EXPECT_EQ(Css_parsePropertyText(nullptr, rule, u"COLOR", 5, u"00ff00", 6, &changed), 0);
    EXPECT_EQ(changed, 1);
    StylePropItem *item = StyleRule_findProp(rule, PropId_color);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->value.payload, 0xff00ff00u);
    StyleRule_destroy(rule);
    struct Media {
        const char16_t *text;
        int applies;
    } media[] = {{u"screen", 1}, {u"print", 0}, {u"print, Screen", 1}, {u"ALL", 1},
                 {u"scr", 1},    {u"", 0},      {u"tv, braille", 0}};
    for (const Media &m : media)
        EXPECT_EQ(Css_mediaListApplies(m.text, std::u16string(m.text).size()), m.applies)
            << std::string(m.text, m.text + std::u16string(m.text).size());
}

std::u16string ruleText(StyleRule *rule)
{
    char16_t *t = Css_ruleToText(rule);
    std::u16string out = t ? t : u"(null)";
    Mem_free(t);
    return out;
}

TEST_F(CssTest, TextRoundTrips)
{
    const char16_t *sheets[] = {
        u"color: red !important; margin-top: 1px",
        u"margin: 1px 2px 3px 4px; padding: 2em; border: 2px dotted blue",
        u"background: url(a.png) repeat-x fixed 10% 20px; list-style-type: circle",
        u"font: italic small-caps bold 12pt/1.5 \"Times New Roman\", serif",
        u"border-spacing: 2px 3px; text-align: center; width: 50%; display: inline",
    };
    for (const char16_t *s : sheets) {
        StyleRule *first = nullptr, *second = nullptr;
        ASSERT_EQ(StyleRule_create(&first), 0);
        ASSERT_EQ(StyleRule_create(&second), 0);
        std::u16string text(s);
        ASSERT_EQ(Css_parseDeclarationsText(nullptr, text.data(), text.size(), first), 0);
        std::u16string written = ruleText(first);
        ASSERT_EQ(Css_parseDeclarationsText(nullptr, written.data(), written.size(), second), 0);
        EXPECT_TRUE(StyleRule_equalProps(first, second))
            << std::string(written.begin(), written.end());
        EXPECT_EQ(ruleText(second), written);
        StyleRule_destroy(first);
        StyleRule_destroy(second);
    }
    StyleRule *rule = nullptr;
    ASSERT_EQ(StyleRule_create(&rule), 0);
    std::u16string text = u"color: red !important; margin-top: 1px; background-image: url(a.png)";
    ASSERT_EQ(Css_parseDeclarationsText(nullptr, text.data(), text.size(), rule), 0);
    EXPECT_TRUE(ruleText(rule) ==
                u"color:#ff0000!important; margin-top:1px; background-image:url(a.png)");
    struct Recomposed {
        const char16_t *decls;
        const char16_t *name;
        const char16_t *want;
    } cases[] = {
        {u"border: 1px solid red", u"border", u"#ff0000 solid 1px"},
        {u"border: 1px solid red; border-left-color: blue", u"border", u"solid 1px"},
        {u"border-top: 1px solid red", u"border-top", u"1px #ff0000 solid"},
        {u"margin: 1px 2px", u"margin", u"1px 2px 1px 2px"},
        {u"font: bold 12pt serif", u"font", u"16px bold serif"},
        {u"color: red", u"margin", nullptr},
    };
    for (const Recomposed &c : cases) {
        StyleRule *r = nullptr;
        ASSERT_EQ(StyleRule_create(&r), 0);
        std::u16string d(c.decls);
        ASSERT_EQ(Css_parseDeclarationsText(nullptr, d.data(), d.size(), r), 0);
        char16_t *got = Css_propertyToText(r, c.name);
        if (!c.want) {
            EXPECT_EQ(got, nullptr);
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_TRUE(std::u16string(got) == c.want) << std::string(d.begin(), d.end());
        }
        Mem_free(got);
        StyleRule_destroy(r);
    }
    StyleRule_destroy(rule);
}

} // namespace
