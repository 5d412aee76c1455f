// Presentation text boxes: the record streams of
// tests/fixtures/presentation/textbox (make_textbox_fixtures.py) built into
// paragraphs, lines and fields; records that run past their data and
// outline references past the stored texts refused; dates of every format
// against Python's formatting; runs used up early; and the box geometry
// (quarter turns, flips, insets, vertical anchoring) of text shapes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/time/date.h"
#include "office/officeart/escher.h"
#include "office/shape/place.h"
#include "tests/office/ppttext_support.h"

namespace {

class PptTextTest : public PptTextFixture {};

TEST_F(PptTextTest, RecordStreamsBuildTheirParagraphs)
{
    struct Case {
        const char *file;
        std::u16string expected;
    };
    const Case cases[] = {
        {"one_word_cr.bin", u"P[Word]P[~]"},    {"three_words_vt.bin", u"P[oneL[two]three]"},
        {"leading_space.bin", u"P[~lead]"},     {"field_alone.bin", u"P[7]"},
        {"footer_mid.bin", u"P[aFOOTb]"},       {"field_before_text.bin", u"P[x]"},
        {"second_text.bin", u"P[second]"},      {"style_before_text.bin", u""},
        {"outline_1.bin", u"P[StoredL[text]]"},
    };
    char16_t stored0[] = u"unused";
    char16_t stored1[] = u"Stored\x0btext";
    PptOutlineText outline[2] = {{4, 0, stored0, nullptr, nullptr},
                                 {4, 0, stored1, nullptr, nullptr}};
    char16_t footer[] = u"FOOT";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::string bytes = fixture(c.file);
        ASSERT_FALSE(bytes.empty());
        withContext(
            [&](PptContext *ppt, Edr_Node *box) {
                EXPECT_EQ(PptText_parseRecords(ppt, box, bytesOf(bytes), uint32_t(bytes.size())),
                          0);
                EXPECT_EQ(dump(ppt, box), c.expected);
            },
            [&](PptContext *ppt) {
                ppt->slideNumber = 7;
                ppt->headerFooterB.first = 0;
                ppt->headerFooterB.footerText = footer;
                ppt->outlineTexts = outline;
                ppt->outlineTextCount = 2;
            });
    }
}

TEST_F(PptTextTest, RecordsPastTheirDataAndBadOutlineIndexesAreRefused)
{
    struct Case {
        const char *file;
        int result;
        uint32_t outlineCount;
    };
    const Case cases[] = {
        {"overrun_first.bin", PptText_errRecord, 2},
        {"overrun_later.bin", PptText_errRecord, 2},
        {"short_header.bin", PptText_errRecord, 2},
        {"outline_2.bin", PptText_errOutlineIndex, 2},
        {"outline_1.bin", PptText_errOutlineIndex, 0},
    };
    char16_t stored[] = u"Stored";
    PptOutlineText outline[2] = {{4, 0, stored, nullptr, nullptr},
                                 {4, 0, stored, nullptr, nullptr}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::string bytes = fixture(c.file);
        ASSERT_FALSE(bytes.empty());
        withContext(
            [&](PptContext *ppt, Edr_Node *box) {
                EXPECT_EQ(PptText_parseRecords(ppt, box, bytesOf(bytes), uint32_t(bytes.size())),
                          c.result);
                EXPECT_EQ(dump(ppt, box), u"");
            },
            [&](PptContext *ppt) {
                ppt->outlineTexts = c.outlineCount ? outline : nullptr;
                ppt->outlineTextCount = c.outlineCount;
            });
    }
    // Data shorter than one header, and none at all.
    withContext([&](PptContext *ppt, Edr_Node *box) {
        const uint8_t few[5] = {0, 0, 0xA0, 0x0F, 0};
        EXPECT_EQ(PptText_parseRecords(ppt, box, few, sizeof few), PptText_errRecord);
        EXPECT_EQ(PptText_parseRecords(ppt, box, few, 0), PptText_errRecord);
    });
}

TEST_F(PptTextTest, TheFinalEmptyParagraphHasNoBullet)
{
    std::string bytes = fixture("one_word_cr.bin");
    withContext(
        [&](PptContext *ppt, Edr_Node *box) {
            ASSERT_EQ(PptText_parseRecords(ppt, box, bytesOf(bytes), uint32_t(bytes.size())), 0);
            // The text header gave text type 1, whose master level 0 has a
            // bullet "-": the word's paragraph shows it, the empty one not.
            EXPECT_EQ(dump(ppt, box), u"P[B[->]Word]P[~]");
        },
        [](PptContext *ppt) {
            PptParaProps &para = ppt->masterStyles[1][0].para;
            para.mask = PptPara_bulletFlags | PptPara_bulletChar;
            para.bulletFlags = PptBullet_has;
            para.bulletChar = '-';
        });
}

TEST_F(PptTextTest, DateFieldsPrintEveryFormatAsPythonDoes)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/presentation/textbox/dates.txt");
    std::string bytes = fixture("date_field.bin");
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        SCOPED_TRACE(line);
        size_t bar1 = line.find('|');
        size_t bar2 = line.find('|', bar1 + 1);
        ASSERT_NE(bar2, std::string::npos);
        uint32_t formatId = uint32_t(std::stoul(line.substr(0, bar1)));
        HostLocalTime t{};
        ASSERT_EQ(sscanf(line.c_str() + bar1 + 1, "%d-%d-%d %d:%d:%d", &t.year, &t.month, &t.day,
                         &t.hour, &t.minute, &t.second),
                  6);
        std::string text = line.substr(bar2 + 1);
        std::u16string expected = u"P[" + std::u16string(text.begin(), text.end()) + u"]";
        Headless_setLocalTime(e.host, &t);
        withContext(
            [&](PptContext *ppt, Edr_Node *box) {
                ASSERT_EQ(PptText_parseRecords(ppt, box, bytesOf(bytes), uint32_t(bytes.size())),
                          0);
                EXPECT_EQ(dump(ppt, box), expected);
            },
            [&](PptContext *ppt) {
                ppt->headerFooterB.first = 0;
                ppt->headerFooterB.formatId = formatId;
            });
        lines++;
    }
    Headless_setLocalTime(e.host, nullptr);
    EXPECT_EQ(lines, 39);
}

TEST_F(PptTextTest, UserDatesSlideNumbersAndTheActiveHeaderFooterRecord)
{
    std::string date = fixture("date_field.bin");
    std::string number = fixture("field_alone.bin");
    char16_t userA[] = u"record A";
    char16_t userB[] = u"record B";
    struct Case {
        uint32_t firstB;
        const std::string *bytes;
        int32_t slideNumber;
        std::u16string expected;
        char16_t *userDateB;
    };
    const Case cases[] = {
        {0, &date, 0, u"P[record B]", userB},
        {1, &date, 0, u"P[record A]", userB},
        {0, &number, INT32_MIN, u"P[-2147483648]", userB},
        {0, &number, INT32_MAX, u"P[2147483647]", userB},
        // A user date the record leaves without a text shows nothing, not
        // the field's placeholder character: an empty paragraph.
        {0, &date, 0, u"P[~]", nullptr},
    };
    for (const Case &c : cases) {
        withContext(
            [&](PptContext *ppt, Edr_Node *box) {
                ASSERT_EQ(
                    PptText_parseRecords(ppt, box, bytesOf(*c.bytes), uint32_t(c.bytes->size())),
                    0);
                EXPECT_EQ(dump(ppt, box), c.expected);
            },
            [&](PptContext *ppt) {
                ppt->slideNumber = c.slideNumber;
                ppt->headerFooterA = HeaderFooterRec{1, 1, 0, userA, nullptr};
                ppt->headerFooterB = HeaderFooterRec{c.firstB, 1, 0, c.userDateB, nullptr};
            });
    }
}

TEST_F(PptTextTest, LongDatesFitTheirBuffer)
{
    BrokenTime t{};
    Time_gmtime(1790812798, &t); // Wednesday, 30 September 2026 23:59:58
    char out[PptText_dateSize];
    PptText_formatDate(&t, 1, out);
    EXPECT_STREQ(out, "Wednesday, 30 September 2026");
    // A year of ten digits still ends in its NUL inside the buffer.
    t.year = 2000000000;
    for (uint32_t id = 0; id < 13; id++) {
        memset(out, 'x', sizeof out);
        PptText_formatDate(&t, id, out);
        EXPECT_NE(memchr(out, 0, sizeof out), nullptr);
    }
}

TEST_F(PptTextTest, RunsUsedUpEarlyNeverStallTheBuild)
{
    withContext([&](PptContext *ppt, Edr_Node *box) {
        // The first paragraph run covers 2 characters of a 7-character
        // paragraph; the rest of the paragraph stays under it and the next
        // paragraph takes the next run.
        PptParaRun para2{100, 0, PptParaProps{}, nullptr};
        para2.props.mask = PptPara_alignment;
        para2.props.alignment = 1;
        PptParaRun para1{2, 0, PptParaProps{}, &para2};
        // Character runs: an empty one, 3 bold characters, another empty
        // one and nothing after: the rest of the text keeps the last run.
        PptCharRun chr3{0, PptCharProps{}, nullptr};
        PptCharRun chr2{3, PptCharProps{}, &chr3};
        chr2.props.mask = PptChar_flags;
        chr2.props.flags = PptCharFlag_bold;
        PptCharRun chr1{0, PptCharProps{}, &chr2};
        char16_t text[] = u"abcdef\rxy";
        ASSERT_EQ(PptText_buildRuns(ppt, box, text, 4, &para1, &chr1, nullptr, nullptr), 0);
        EXPECT_EQ(dump(ppt, box), u"P[R[abc]def]P[xy]");
        Edr_Node *first = Edr_Node_firstChild(box);
        Edr_Node *second = Edr_Node_nextSibling(first);
        ASSERT_TRUE(first && second);
        const uint32_t *ids1 = Edr_Node_group(first)->ids;
        const uint32_t *ids2 = Edr_Node_group(second)->ids;
        ASSERT_TRUE(ids1 && ids2);
        EXPECT_NE(ids1[0], ids2[0]); // the second paragraph is centred
        // The runs are left as they were.
        EXPECT_EQ(para1.count, 2u);
        EXPECT_EQ(chr2.count, 3u);
    });
}

TEST_F(PptTextTest, NbspDropsTheUnderline)
{
    withContext([&](PptContext *ppt, Edr_Node *box) {
        PptCharRun run{1, PptCharProps{}, nullptr};
        run.props.mask = PptChar_flags;
        run.props.flags = PptCharFlag_underline | PptCharFlag_bold;
        ASSERT_EQ(PptText_addNbsp(ppt, &run, box), 0);
        Edr_Node *group = Edr_Node_firstChild(box);
        ASSERT_NE(group, nullptr);
        StyleRule *rule = ruleOf(ppt, Edr_Node_group(group)->element);
        ASSERT_NE(rule, nullptr);
        EXPECT_EQ(StyleRule_findProp(rule, PropId_textDecoration), nullptr);
        ASSERT_NE(StyleRule_findProp(rule, PropId_fontWeight), nullptr);
        EXPECT_EQ(StyleRule_findProp(rule, PropId_fontWeight)->value.type, KwId_bold);
        EXPECT_EQ(run.props.flags, PptCharFlag_underline | PptCharFlag_bold);
    });
}

// ------------------------------------------------------------ geometry

struct BoxProps {
    std::vector<std::pair<uint16_t, uint32_t>> entries; // ascending ids
};

EscherPropSet *makeProps(const BoxProps &props)
{
    std::string fopt;
    for (const auto &e : props.entries) {
        uint8_t b[6] = {uint8_t(e.first),       uint8_t(e.first >> 8),   uint8_t(e.second),
                        uint8_t(e.second >> 8), uint8_t(e.second >> 16), uint8_t(e.second >> 24)};
        fopt.append(reinterpret_cast<const char *>(b), 6);
    }
    return Escher_propParse(reinterpret_cast<const uint8_t *>(fopt.data()), uint32_t(fopt.size()),
                            uint32_t(props.entries.size()));
}

struct BoxResult {
    bool built = false;
    int32_t x = 0, y = 0;
    bool hasRule = false;
    uint32_t vertical = 0;
    int32_t width = 0;
    bool hasHeight = false;
    int32_t height = 0;
    bool hasMatrix = false;
    Matrix matrix{};
    bool noWrap = false;
    std::u16string text;
};

constexpr int32_t inch = 65536;

class PptTextBoxTest : public PptTextFixture {
  protected:
    BoxResult build(const BoxProps &props, uint32_t flags, ShapeRect anchor, int32_t rotation = 0)
    {
        BoxResult r;
        std::string bytes = fixture("three_words_vt.bin");
        withContext([&](PptContext *ppt, Edr_Node *parent) {
            EscherShape shape{};
            shape.flags = flags;
            shape.props = makeProps(props);
            shape.textbox.bytes = reinterpret_cast<uint8_t *>(bytes.data());
            shape.textbox.length = uint32_t(bytes.size());
            const int32_t rect[4] = {anchor.x, anchor.y, anchor.w, anchor.h};
            EXPECT_EQ(PptText_buildTextBox(ppt, parent, &shape, rect, rotation), 0);
            Escher_propFree(shape.props);
            Edr_Node *data = Edr_Node_firstChild(parent);
            if (!data)
                return;
            r.built = true;
            const Prop *p = static_cast<const Prop *>(Edr_Node_payloadOrNull(data));
            EXPECT_EQ(p->id, PropId_position);
            r.x = int32_t(uint32_t(p->payload));
            r.y = int32_t(p->payload2);
            Edr_Node *group = Edr_Node_nextSibling(data);
            ASSERT_NE(group, nullptr);
            EXPECT_EQ(Edr_Node_group(group)->element, boxElement);
            dumpInto(ppt, group, 0, &r.text);
            const uint32_t *ids = Edr_Node_group(group)->ids;
            if (!ids)
                return;
            StyleRule *rule = ruleOf(ppt, ids[0]);
            ASSERT_NE(rule, nullptr);
            r.hasRule = true;
            StylePropItem *first = StyleRule_firstProp(rule);
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(first->value.id, PropId_verticalAnchor);
            r.vertical = first->value.type;
            if (StylePropItem *w = StyleRule_findProp(rule, PropId_width))
                r.width = int32_t(w->value.payload);
            if (StylePropItem *h = StyleRule_findProp(rule, PropId_height)) {
                r.hasHeight = true;
                r.height = int32_t(h->value.payload);
            }
            if (StylePropItem *m = StyleRule_findProp(rule, PropId_transform)) {
                r.hasMatrix = true;
                r.matrix = *reinterpret_cast<const Matrix *>(m->value.payload);
            }
            if (StylePropItem *ws = StyleRule_findProp(rule, PropId_whiteSpace))
                r.noWrap = ws->value.type == KwId_pre;
        });
        return r;
    }
};

TEST_F(PptTextBoxTest, PlainBoxTakesTheDefaultInsets)
{
    BoxResult r = build({}, EscherFsp_haveAnchor, {0, 0, 2 * inch, inch});
    ASSERT_TRUE(r.hasRule);
    EXPECT_EQ(r.x, 6553);
    EXPECT_EQ(r.y, 3276);
    EXPECT_EQ(r.width, 2 * inch - 13106);
    EXPECT_EQ(r.vertical, KwId_top);
    EXPECT_FALSE(r.hasMatrix);
    EXPECT_FALSE(r.hasHeight);
    EXPECT_FALSE(r.noWrap);
    EXPECT_EQ(r.text, u"P[oneL[two]three]");
    // A negative width is taken from the other side.
    BoxResult n = build({}, EscherFsp_haveAnchor, {2 * inch, 0, -2 * inch, inch});
    EXPECT_EQ(n.x, r.x);
    EXPECT_EQ(n.width, r.width);
}

TEST_F(PptTextBoxTest, QuarterTurnsFromPropertiesAndFlips)
{
    // 137 = 1 with a horizontal flip: three quarters. Width and height
    // swap about the centre and 270 degrees come off the rotation.
    BoxResult r =
        build({{{137, 1}}}, EscherFsp_haveAnchor | EscherFsp_flipH, {0, 0, 2 * inch, inch});
    ASSERT_TRUE(r.hasRule);
    // After the swap: x 32768, y -32768, width 1 inch, height 2 inches; the
    // insets in turned order: left 3276 and right 3276, top 6553 and
    // bottom 6553.
    EXPECT_EQ(r.x, 32768 + 3276);
    EXPECT_EQ(r.y, -32768 + 6553);
    EXPECT_EQ(r.width, inch - 6552);
    ASSERT_TRUE(r.hasMatrix);
    ASSERT_TRUE(r.hasHeight);
    EXPECT_EQ(r.height, 2 * inch - 13106);
    Matrix expected;
    Matrix_setIdentity(&expected);
    Matrix_rotation(&expected, 270 * inch);
    EXPECT_EQ(r.matrix.a, expected.a);
    EXPECT_EQ(r.matrix.b, expected.b);
    EXPECT_EQ(r.matrix.c, expected.c);
    EXPECT_EQ(r.matrix.d, expected.d);
    EXPECT_EQ(r.matrix.b, -inch);

    // The same turn from a given rotation of 270 degrees cancels out.
    BoxResult z = build({{{137, 1}}}, EscherFsp_haveAnchor | EscherFsp_flipH,
                        {0, 0, 2 * inch, inch}, 270 * inch);
    EXPECT_FALSE(z.hasMatrix);

    // Text flow 2 adds a quarter turn; a vertical flip of an even count
    // adds two. Uneven insets show which side is which.
    struct Case {
        uint32_t flow;
        uint32_t flags;
        int32_t x, y, width;
    };
    const Case cases[] = {
        // q = 1: the insets are taken from the top on: left 3276 (top), top
        // 1310 (right), right 3276 (bottom), bottom 655 (left).
        {2, EscherFsp_haveAnchor, 32768 + 3276, -32768 + 1310, inch - 3276 - 3276},
        // q = 2: left 1310 (right), top 3276 (bottom), right 655 (left).
        {0, EscherFsp_haveAnchor | EscherFsp_flipV, 1310, 3276, 2 * inch - 1965},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flow);
        BoxProps props{{{129, 9144}, {131, 18288}}};
        if (c.flow)
            props.entries.push_back({136, c.flow});
        BoxResult q = build(props, c.flags, {0, 0, 2 * inch, inch});
        EXPECT_EQ(q.x, c.x);
        EXPECT_EQ(q.y, c.y);
        EXPECT_EQ(q.width, c.width);
        EXPECT_TRUE(q.hasMatrix);
    }
}

TEST_F(PptTextBoxTest, InsetsThatDoNotFitLeaveTheBox)
{
    BoxResult r =
        build({{{129, 914400}, {131, 914400}}}, EscherFsp_haveAnchor, {inch, 0, inch, inch});
    EXPECT_EQ(r.x, inch);
    EXPECT_EQ(r.width, inch);
    EXPECT_EQ(r.y, 3276); // top and bottom still fit
}

TEST_F(PptTextBoxTest, VerticalAnchoringAndWrap)
{
    struct Case {
        uint32_t anchor;
        int32_t y;
        uint32_t keyword;
    };
    const int32_t h = inch - 6552;
    const Case cases[] = {
        {0, 3276, KwId_top},        {1, 3276 + h / 2, KwId_middle}, {4, 3276 + h / 2, KwId_middle},
        {2, 3276 + h, KwId_bottom}, {9, 3276 + h, KwId_bottom},     {3, 3276, KwId_top},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.anchor);
        BoxResult r = build({{{135, c.anchor}}}, EscherFsp_haveAnchor, {0, 0, 2 * inch, inch});
        EXPECT_EQ(r.y, c.y);
        EXPECT_EQ(r.vertical, c.keyword);
    }
    EXPECT_TRUE(build({{{133, 2}}}, EscherFsp_haveAnchor, {0, 0, 2 * inch, inch}).noWrap);
    EXPECT_FALSE(
        build({{{133, 2}, {136, 5}}}, EscherFsp_haveAnchor, {0, 0, 2 * inch, inch}).noWrap);
}

TEST_F(PptTextBoxTest, NoAnchorNoTextOrNoWidth)
{
    EXPECT_FALSE(build({}, 0, {0, 0, 2 * inch, inch}).built);
    // Zero width: the text is built, the box gets no style.
    BoxResult r = build({}, EscherFsp_haveAnchor, {0, 0, 0, inch});
    EXPECT_TRUE(r.built);
    EXPECT_FALSE(r.hasRule);
    EXPECT_EQ(r.text, u"P[oneL[two]three]");
}

TEST_F(PptTextBoxTest, RunningOutOfMemoryLeavesNothingBehind)
{
    std::string bytes = fixture("one_word_cr.bin");
    bool succeeded = false;
    for (uint64_t n = 1; n < 400 && !succeeded; n++) {
        int result = -1;
        withContext([&](PptContext *ppt, Edr_Node *box) {
            EscherShape shape{};
            shape.flags = EscherFsp_haveAnchor;
            shape.textbox.bytes = reinterpret_cast<uint8_t *>(bytes.data());
            shape.textbox.length = uint32_t(bytes.size());
            const int32_t rect[4] = {0, 0, 2 * inch, inch};
            Mem_failAfter(n);
            result = PptText_buildTextBox(ppt, box, &shape, rect, 0);
            bool failed = Mem_failPending() == 0;
            Mem_failAfter(0);
            EXPECT_TRUE(result == 0 || result == 1);
            if (!failed) {
                succeeded = true;
                EXPECT_EQ(dump(ppt, Edr_Node_nextSibling(Edr_Node_firstChild(box))),
                          u"P[Word]P[~]");
            }
        });
    }
    EXPECT_TRUE(succeeded);
}

} // namespace
