// Presentation text styles: interning of character and paragraph records
// into shared style rules, the properties each writes (scheme and RGB
// colours, escapement, the spacing rule), the style sheet's classes, and
// bullets and text runs in the Symbol and Wingdings fonts.
#include <gtest/gtest.h>

#include <set>

#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/text/charset.h"
#include "core/text/strtable.h"
#include "tests/office/ppttext_support.h"

namespace {

class PptStyleTest : public PptTextFixture {
  protected:
    static const Prop *propOf(const PptContext *ppt, uint32_t id, uint32_t propId)
    {
        StyleRule *rule = ruleOf(ppt, id);
        StylePropItem *item = rule ? StyleRule_findProp(rule, propId) : nullptr;
        return item ? &item->value : nullptr;
    }

    static char16_t decode(bool wingdings, uint8_t byte)
    {
        uint8_t out[4] = {};
        size_t consumed = 0, produced = 0;
        CharsetState state{};
        if (wingdings)
            Charset_wingdingsToUtf16(nullptr, &byte, 1, out, 4, &consumed, &produced, &state);
        else
            Charset_symbolToUtf16(nullptr, &byte, 1, out, 4, &consumed, &produced, &state);
        char16_t c;
        memcpy(&c, out, 2);
        return c;
    }
};

TEST_F(PptStyleTest, StyleSheetHasItsThreeClasses)
{
    withContext(
        [&](PptContext *ppt, Edr_Node *) {
            EXPECT_EQ(ppt->serial, 3u);
            EXPECT_EQ(StrTable_find(ppt->strings, u"Block"), 1);
            EXPECT_EQ(StrTable_find(ppt->strings, u"Bullet"), 2);
            EXPECT_EQ(StrTable_find(ppt->strings, u"Slide"), 3);
            StyleRule *slide = ruleOf(ppt, 3);
            ASSERT_NE(slide, nullptr);
            EXPECT_EQ(StyleRule_findProp(slide, PropId_width)->value.payload, 576u * 10 * 1024 / 9);
            EXPECT_EQ(StyleRule_findProp(slide, PropId_height)->value.payload, 576u * 7 * 1024 / 9);
            EXPECT_EQ(StyleRule_findProp(slide, PropId_whiteSpace)->value.type, KwId_preWrap);
            EXPECT_EQ(propOf(ppt, 1, PropId_display)->type, KwId_block);
            EXPECT_EQ(propOf(ppt, 2, PropId_tabInterval)->payload, 1u);
            // The bullet class outweighs the block class.
            EXPECT_GT(ruleOf(ppt, 2)->weight, ruleOf(ppt, 1)->weight);
        },
        [](PptContext *ppt) {
            ppt->slideWidth = 576 * 10;
            ppt->slideHeight = 576 * 7;
        });
}

TEST_F(PptStyleTest, EqualCharacterRecordsShareOneStyle)
{
    withContext([&](PptContext *ppt, Edr_Node *) {
        PptCharProps a{};
        a.mask = PptChar_size | PptChar_flags;
        a.size = 18;
        a.flags = PptCharFlag_bold;
        PptCharProps b = a;
        b.mask |= PptChar_symbolFont; // the symbol-font word is ignored
        b.symbolFont = 3;
        PptCharProps c = a;
        c.size = 20;
        PptCharProps d = a;
        d.font = 9; // a field whose mask bit is clear does not count
        uint32_t ia = 0, ib = 0, ic = 0, id = 0;
        ASSERT_EQ(Ppt_charStyleId(ppt, &a, &ia), 0);
        ASSERT_EQ(Ppt_charStyleId(ppt, &b, &ib), 0);
        ASSERT_EQ(Ppt_charStyleId(ppt, &c, &ic), 0);
        ASSERT_EQ(Ppt_charStyleId(ppt, &d, &id), 0);
        EXPECT_EQ(ia, ib);
        EXPECT_EQ(ia, id);
        EXPECT_NE(ia, ic);
        EXPECT_GT(ia, 3u);
        EXPECT_EQ(ppt->charStyles.count, 2u);
        EXPECT_EQ(propOf(ppt, ia, PropId_fontSize)->payload, 18u * 8192 / 9);
        EXPECT_EQ(propOf(ppt, ia, PropId_fontWeight)->type, KwId_bold);
        EXPECT_EQ(propOf(ppt, ia, PropId_fontStyle)->type, KwId_normal);
        EXPECT_EQ(propOf(ppt, ia, PropId_textDecoration), nullptr);
        EXPECT_EQ(ruleOf(ppt, ia)->weight, 2000u + 1); // weight 1 in a kind-2 request
    });
}

TEST_F(PptStyleTest, ManyStylesStayFoundAfterTheTablesGrow)
{
    withContext([&](PptContext *ppt, Edr_Node *) {
        std::vector<uint32_t> ids;
        for (uint16_t size = 100; size > 60; size--) {
            PptCharProps c{};
            c.mask = PptChar_size;
            c.size = size;
            uint32_t id = 0;
            ASSERT_EQ(Ppt_charStyleId(ppt, &c, &id), 0);
            ids.push_back(id);
        }
        EXPECT_EQ(std::set<uint32_t>(ids.begin(), ids.end()).size(), ids.size());
        for (uint16_t size = 100; size > 60; size--) {
            PptCharProps c{};
            c.mask = PptChar_size;
            c.size = size;
            uint32_t id = 0;
            ASSERT_EQ(Ppt_charStyleId(ppt, &c, &id), 0);
            EXPECT_EQ(id, ids[100 - size]);
        }
        EXPECT_EQ(ppt->charStyles.count, 40u);
    });
}

TEST_F(PptStyleTest, ColoursFromTheSchemeOrAsRgb)
{
    withContext(
        [&](PptContext *ppt, Edr_Node *) {
            struct Case {
                uint32_t colour;
                uint32_t word; // R | G << 8 | B << 16 | A << 24
            };
            const Case cases[] = {
                {0x03000000, 0xFF302010},
                {0xFE112233, 0xFF112233},
                {0x07FFFFFF, 0xFF0C0B0A},
            };
            for (const Case &c : cases) {
                SCOPED_TRACE(c.colour);
                PptCharProps p{};
                p.mask = PptChar_colour;
                p.colour = c.colour;
                uint32_t id = 0;
                ASSERT_EQ(Ppt_charStyleId(ppt, &p, &id), 0);
                const Prop *v = propOf(ppt, id, PropId_color);
                ASSERT_NE(v, nullptr);
                EXPECT_EQ(v->type, PropType_colour);
                EXPECT_EQ(uint32_t(v->payload), c.word);
            }
            // A scheme index resolves before interning: another scheme gives
            // another style.
            PptCharProps p{};
            p.mask = PptChar_colour;
            p.colour = 0x03000000;
            uint32_t before = 0, after = 0;
            ASSERT_EQ(Ppt_charStyleId(ppt, &p, &before), 0);
            ppt->scheme[3][0] = 0x99;
            ASSERT_EQ(Ppt_charStyleId(ppt, &p, &after), 0);
            EXPECT_NE(before, after);
        },
        [](PptContext *ppt) {
            const uint8_t three[4] = {0x10, 0x20, 0x30, 0};
            const uint8_t seven[4] = {0x0A, 0x0B, 0x0C, 0};
            memcpy(ppt->scheme[3], three, 4);
            memcpy(ppt->scheme[7], seven, 4);
        });
}

TEST_F(PptStyleTest, EscapementFontAndShadow)
{
    char16_t arial[] = u"Arial";
    char16_t empty[] = u"";
    char16_t *fonts[2] = {arial, empty};
    withContext(
        [&](PptContext *ppt, Edr_Node *) {
            struct Case {
                int16_t escapement;
                uint32_t keyword;
            };
            const Case cases[] = {{0, KwId_baseline}, {30, KwId_super}, {-25, KwId_sub}};
            for (const Case &c : cases) {
                PptCharProps p{};
                p.mask = PptChar_escapement;
                p.escapement = c.escapement;
                uint32_t id = 0;
                ASSERT_EQ(Ppt_charStyleId(ppt, &p, &id), 0);
                EXPECT_EQ(propOf(ppt, id, PropId_verticalAlign)->type, c.keyword);
            }
            // Font 0 is named; font 1 has an empty name and font 2 does not
            // exist: neither writes a family.
            for (uint16_t font = 0; font < 3; font++) {
                PptCharProps p{};
                p.mask = PptChar_font | PptChar_flags;
                p.font = font;
                p.flags = PptCharFlag_italic | PptCharFlag_underline | PptCharFlag_shadow;
                uint32_t id = 0;
                ASSERT_EQ(Ppt_charStyleId(ppt, &p, &id), 0);
                const Prop *family = propOf(ppt, id, PropId_fontFamily);
                if (font == 0) {
                    ASSERT_NE(family, nullptr);
                    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(family->payload),
                                             family->payload2),
                              u"Arial");
                } else {
                    EXPECT_EQ(family, nullptr);
                }
                EXPECT_EQ(propOf(ppt, id, PropId_fontStyle)->type, KwId_italic);
                EXPECT_EQ(propOf(ppt, id, PropId_textDecoration)->type, KwId_underline);
                EXPECT_EQ(uint32_t(propOf(ppt, id, PropId_textShadow)->payload), 0x80000000u);
            }
        },
        [&](PptContext *ppt) {
            ppt->fonts = fonts;
            ppt->fontCount = 2;
        });
}

TEST_F(PptStyleTest, SpacingRule)
{
    struct Case {
        int16_t value;
        int16_t lineSpacing;
        uint32_t textSize;
        int32_t expected; // 0: no property
    };
    const Case cases[] = {
        {20, 100, 18, 3276},              // 20 % of a 100 % line of 18 points: 0.05 inch
        {-144, 100, 18, 16384},           // 144 master units: a quarter inch
        {50, -576, 18, 32768},            // half of a one-inch line
        {0, 100, 18, 0},                  // nothing
        {32767, 32767, 65535, INT32_MAX}, // the 64-bit product, held to 32 bits
    };
    withContext([&](PptContext *, Edr_Node *) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.value);
            StyleRule *rule = nullptr;
            ASSERT_EQ(StyleRule_create(&rule), 0);
            PptParaProps p{};
            p.lineSpacing = c.lineSpacing;
            Prop scratch{};
            ASSERT_EQ(Ppt_spacingProp(&p, c.value, PropId_marginTop, &scratch, rule, c.textSize),
                      0);
            StylePropItem *item = StyleRule_findProp(rule, PropId_marginTop);
            if (c.expected == 0) {
                EXPECT_EQ(item, nullptr);
            } else {
                ASSERT_NE(item, nullptr);
                EXPECT_EQ(int32_t(item->value.payload), c.expected);
            }
            StyleRule_destroy(rule);
        }
    });
}

TEST_F(PptStyleTest, ParagraphStyles)
{
    withContext([&](PptContext *ppt, Edr_Node *) {
        PptParaProps p{};
        p.mask = PptPara_spaceBefore | PptPara_spaceAfter | PptPara_lineSpacing |
                 PptPara_alignment | PptPara_leftMargin | PptPara_defaultTab;
        p.spaceBefore = 20;
        p.spaceAfter = -144;
        p.lineSpacing = 100;
        p.alignment = 2;
        p.leftMargin = 576;
        p.indent = 288; // not marked: counts as 0
        p.defaultTab = 576;
        PptCharProps chr{};
        chr.mask = PptChar_size;
        chr.size = 18;
        uint32_t id = 0;
        ASSERT_EQ(Ppt_paraStyleId(ppt, &p, &chr, &id), 0);
        EXPECT_EQ(propOf(ppt, id, PropId_display)->type, KwId_block);
        EXPECT_EQ(propOf(ppt, id, PropId_textAlign)->type, KwId_right);
        EXPECT_EQ(int32_t(propOf(ppt, id, PropId_marginTop)->payload), 3276);
        EXPECT_EQ(int32_t(propOf(ppt, id, PropId_marginBottom)->payload), 16384);
        EXPECT_EQ(int32_t(propOf(ppt, id, PropId_marginLeft)->payload), 65536);
        EXPECT_EQ(int32_t(propOf(ppt, id, PropId_textIndent)->payload), -65536);
        EXPECT_EQ(int32_t(propOf(ppt, id, PropId_tabInterval)->payload), 65536);
        const Prop *spacing = propOf(ppt, id, PropId_lineSpacing);
        ASSERT_NE(spacing, nullptr);
        const PropLineSpacing *ls = reinterpret_cast<const PropLineSpacing *>(spacing->payload);
        EXPECT_EQ(ls->kind, 1);
        EXPECT_EQ(ls->value, 100 * 65536);
        EXPECT_EQ(ls->base, 6553600);
        EXPECT_EQ(ruleOf(ppt, id)->weight, 2000u + 10);

        // The same record at another text size spaces differently, so it is
        // another style; at the same size it is the same one.
        uint32_t same = 0, other = 0;
        ASSERT_EQ(Ppt_paraStyleId(ppt, &p, &chr, &same), 0);
        chr.size = 36;
        ASSERT_EQ(Ppt_paraStyleId(ppt, &p, &chr, &other), 0);
        EXPECT_EQ(same, id);
        EXPECT_NE(other, id);
        EXPECT_EQ(int32_t(propOf(ppt, other, PropId_marginTop)->payload), 6553);

        // Negative line spacing is an absolute height; without one no line
        // spacing is written.
        PptParaProps q{};
        q.mask = PptPara_lineSpacing;
        q.lineSpacing = -576;
        ASSERT_EQ(Ppt_paraStyleId(ppt, &q, nullptr, &id), 0);
        ls =
            reinterpret_cast<const PropLineSpacing *>(propOf(ppt, id, PropId_lineSpacing)->payload);
        EXPECT_EQ(ls->kind, 0);
        EXPECT_EQ(ls->value, 65536);
        PptParaProps none{};
        ASSERT_EQ(Ppt_paraStyleId(ppt, &none, nullptr, &id), 0);
        EXPECT_EQ(propOf(ppt, id, PropId_lineSpacing), nullptr);
    });
}

TEST_F(PptStyleTest, BulletsInSymbolFonts)
{
    char16_t symbol[] = u"Symbol";
    char16_t arial[] = u"Arial";
    char16_t wingdings[] = u"Wingdings";
    char16_t *fonts[3] = {symbol, arial, wingdings};
    struct Case {
        uint16_t font;
        uint16_t character;
        char16_t expected;
    };
    const Case cases[] = {
        {0, 0xB7, decode(false, 0xB7)},
        {0, 0x61, decode(false, 0x61)}, // alpha: the Symbol table is used
        {1, 0x41, 0x2022},
        {1, '-', u'-'},
        {1, '>', u'>'},
        {1, 0xE9, 0x2022},
        {2, 0x6C, decode(true, 0x6C)},
        {3, 0x61, decode(false, 0x61)}, // index = count: the first font
        {0, 0x2013, 0x2022},            // not a byte of the font
    };
    EXPECT_EQ(decode(false, 0x61), 0x03B1);
    EXPECT_NE(decode(true, 0x6C), 0xFFFD);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.character);
        withContext(
            [&](PptContext *ppt, Edr_Node *box) {
                PptParaRun run{10, 0, PptParaProps{}, nullptr};
                run.props.mask = PptPara_bulletFlags | PptPara_bulletChar | PptPara_bulletFont;
                run.props.bulletFlags = PptBullet_has | PptBullet_font;
                run.props.bulletChar = c.character;
                run.props.bulletFont = c.font;
                PptCharRun chr{10, PptCharProps{}, nullptr};
                Edr_Node *para = nullptr;
                ASSERT_EQ(Ppt_startParagraph(ppt, &run, &chr, box, &para, 4), 0);
                Edr_Node_release(ppt->doc, para);
                std::u16string expected = u"P[B[";
                expected += c.expected == 0xA0 ? u'~' : c.expected;
                expected += u">]]";
                EXPECT_EQ(dump(ppt, box), expected);
            },
            [&](PptContext *ppt) {
                ppt->fonts = fonts;
                ppt->fontCount = 3;
            });
    }
}

TEST_F(PptStyleTest, BulletStyleAndParagraphsWithoutBullets)
{
    char16_t arial[] = u"Arial";
    char16_t *fonts[1] = {arial};
    withContext(
        [&](PptContext *ppt, Edr_Node *box) {
            // The master level gives size 20 and a colour; the bullet has
            // its own colour and 150 % of the size.
            PptMasterLevel &master = ppt->masterStyles[1][2];
            master.chr.mask = PptChar_size | PptChar_colour | PptChar_flags;
            master.chr.size = 20;
            master.chr.colour = 0xFE000000;
            master.chr.flags = PptCharFlag_bold;
            PptParaRun run{10, 2, PptParaProps{}, nullptr};
            run.props.mask = PptPara_bulletFlags | PptPara_bulletColour | PptPara_bulletSize;
            run.props.bulletFlags = PptBullet_has | PptBullet_colour | PptBullet_size;
            run.props.bulletColour = 0xFE0000FF;
            run.props.bulletSize = 150;
            run.props.bulletChar = 0;
            PptCharRun chr{10, PptCharProps{}, nullptr};
            Edr_Node *para = nullptr;
            ASSERT_EQ(Ppt_startParagraph(ppt, &run, &chr, box, &para, 1), 0);
            Edr_Node *bullet = Edr_Node_firstChild(para);
            ASSERT_NE(bullet, nullptr);
            EXPECT_TRUE(hasId(bullet, ppt->bulletClass));
            uint32_t style = Edr_Node_group(bullet)->element;
            EXPECT_EQ(propOf(ppt, style, PropId_fontSize)->payload, 30u * 8192 / 9);
            EXPECT_EQ(uint32_t(propOf(ppt, style, PropId_color)->payload), 0xFF0000FFu);
            EXPECT_EQ(propOf(ppt, style, PropId_fontWeight)->type, KwId_normal);
            // The paragraph carries the master level's character style.
            uint32_t paraChar = Edr_Node_group(para)->element;
            EXPECT_EQ(propOf(ppt, paraChar, PropId_fontWeight)->type, KwId_bold);
            Edr_Node_release(ppt->doc, para);

            // Bullet flags present but "has bullet" clear, and no flags at
            // all: no bullet node.
            run.props.bulletFlags = PptBullet_colour;
            ASSERT_EQ(Ppt_startParagraph(ppt, &run, &chr, box, &para, 1), 0);
            EXPECT_EQ(Edr_Node_firstChild(para), nullptr);
            Edr_Node_release(ppt->doc, para);
            run.props.mask = 0;
            run.props.bulletFlags = PptBullet_has;
            ASSERT_EQ(Ppt_startParagraph(ppt, &run, &chr, box, &para, 1), 0);
            EXPECT_EQ(Edr_Node_firstChild(para), nullptr);
            Edr_Node_release(ppt->doc, para);
            EXPECT_EQ(dump(ppt, box), u"P[B[\x2022>]]P[]P[]");
        },
        [&](PptContext *ppt) {
            ppt->fonts = fonts;
            ppt->fontCount = 1;
        });
}

TEST_F(PptStyleTest, SymbolRunsAreDecoded)
{
    char16_t symbol[] = u"Symbol";
    char16_t arial[] = u"Arial";
    char16_t *fonts[2] = {symbol, arial};
    withContext(
        [&](PptContext *ppt, Edr_Node *box) {
            const char16_t text[] = {u'a', 0xF061, u'b'};
            PptCharRun inSymbol{3, PptCharProps{}, nullptr};
            inSymbol.props.mask = PptChar_font;
            inSymbol.props.font = 0;
            PptCharRun symbolWord{3, PptCharProps{}, nullptr};
            symbolWord.props.mask = PptChar_font | PptChar_symbolFont;
            symbolWord.props.font = 1;
            PptCharRun plain{3, PptCharProps{}, nullptr};
            ASSERT_EQ(Ppt_addTextRun(ppt, &inSymbol, box, text, 3), 0);
            ASSERT_EQ(Ppt_addTextRun(ppt, &symbolWord, box, text, 3), 0);
            ASSERT_EQ(Ppt_addTextRun(ppt, &plain, box, text, 3), 0);
            std::u16string alpha(1, char16_t(0x03B1)), beta(1, char16_t(0x03B2));
            EXPECT_EQ(dump(ppt, box), u"P[" + alpha + alpha + beta + u"]P[a" + alpha +
                                          u"b]a\xF061"
                                          u"b");
        },
        [&](PptContext *ppt) {
            ppt->fonts = fonts;
            ppt->fontCount = 2;
        });
}

TEST_F(PptStyleTest, RunningOutOfMemoryKeepsTheTablesSound)
{
    bool done = false;
    for (uint64_t n = 1; n < 200; n++) {
        withContext([&](PptContext *ppt, Edr_Node *box) {
            PptParaRun run{10, 0, PptParaProps{}, nullptr};
            run.props.mask = PptPara_bulletFlags | PptPara_spaceBefore;
            run.props.bulletFlags = PptBullet_has;
            run.props.spaceBefore = 10;
            PptCharRun chr{10, PptCharProps{}, nullptr};
            chr.props.mask = PptChar_size;
            chr.props.size = 12;
            Edr_Node *para = nullptr;
            Mem_failAfter(n);
            int err = Ppt_startParagraph(ppt, &run, &chr, box, &para, 4);
            done = Mem_failPending() != 0;
            Mem_failAfter(0);
            EXPECT_TRUE(err == 0 || err == 1);
            Edr_Node_release(ppt->doc, para);
            // Every interned style has its rule.
            for (uint32_t i = 0; i < ppt->charStyles.count; i++)
                EXPECT_NE(ruleOf(ppt, ppt->charStyles.entries[i].id), nullptr);
            for (uint32_t i = 0; i < ppt->paraStyles.count; i++)
                EXPECT_NE(ruleOf(ppt, ppt->paraStyles.entries[i].id), nullptr);
            // And a second try finds or makes them.
            ASSERT_EQ(Ppt_startParagraph(ppt, &run, &chr, box, &para, 4), 0);
            Edr_Node_release(ppt->doc, para);
        });
        if (done)
            break;
    }
    EXPECT_TRUE(done);
}

} // namespace
