// The line builder over small documents built through the document model:
// long runs placed in pieces of at most 500 characters within the width,
// forced breaks under pre and line ends as spaces under normal, over-long
// words, white space at a break, tab stops, opposite-direction runs and
// list marker texts; and the line arithmetic on its own (alignment, limits,
// tab stops, break opportunities).
#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/tabstops.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "document/edr/doc.h"
#include "document/style/style.h"
#include "fonts/fontlist.h"
#include "fonts/textitem.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "tests/document/style_fixture.h"
#include "tests/support/heap_fixture.h"

using namespace styletest;

namespace {

class LineTest : public EdrFixture {};

class LineArithmetic : public LeakCheckedHeapTest<> {};

constexpr int32_t kInch = 0x10000;
// The blocks' text is 18 points, where one box-font character is its
// advance in glyph units.
constexpr int32_t kFontSize = kInch / 4;
constexpr int32_t kCharWidth = BoxFont_advance;

Edr_Node *text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.c_str(), uint32_t(s.size())),
        0);
    return t;
}

struct Piece {
    std::u16string text;
    Rect box;
    bool hidden;
};

using Line = std::vector<Piece>;

void collect(LayerList *list, Line *out)
{
    for (Layer *l = list->first; l; l = l->next)
        for (ObjHeader *o = l->first; o; o = Obj_next(o)) {
            if (Obj_itemKind(o) != Obj_itemText)
                continue; // inline elements' border and background items
            Piece p{};
            p.box = Obj_shownBox(o);
            p.hidden = (o->flags & Obj_hidden) != 0;
            if (Obj_itemKind(o) == Obj_itemText) {
                const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(o));
                if (t->chars)
                    p.text.assign(t->chars + t->start, t->count);
            }
            out->push_back(p);
        }
}

// A block's lines: a box over a float area of the width, lines built until
// the content ends.
struct Lines {
    std::vector<Line> lines;
    std::vector<int> results;
    int32_t finalLeft = 0, finalRight = 0;
};

struct Geometry {
    int32_t width = 6 * kInch;
    uint32_t flowMode = 0;
    uint32_t direction = KwId_ltr;
    uint32_t anchored = 0; // the box's flowOrAnchored
};

Lines layOut(Edr_Doc *doc, Edr_Node *block, const Geometry &setup = {})
{
    Lines out;
    Edr_Doc_readLock(doc);
    Edr_Style *bs = nullptr;
    EXPECT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, block), 0);
    LayoutBox box{};
    box.context = doc->app;
    box.document = doc;
    box.styleContext = Edr_StyleCtx_get(doc);
    box.flowMode = setup.flowMode;
    box.flowOrAnchored = setup.anchored;
    box.availableWidth = setup.width;
    box.block.direction = setup.direction;
    Rect area = {0, -100 * kInch, setup.width, 0};
    EXPECT_EQ(FloatArea_create(&area, &box.items), 0);
    FloatArea_setBand(box.items, 0, 0, 0, 0);
    BoxIter *it = nullptr;
    EXPECT_EQ(BoxIter_create(&it, &box, block, bs, 0), 0);
    LineCounter counter{};
    for (int n = 0; n < 200; n++) {
        LayerList *list = LayerList_create();
        box.block.lineLeft = 0;
        box.block.lineRight = setup.width;
        int r = Layout_buildLine(&box, it, block, bs, &counter, n == 0, list);
        BoxIter_commit(it);
        Line line;
        collect(list, &line);
        out.lines.push_back(line);
        out.results.push_back(r);
        out.finalLeft = box.block.lineLeft;
        out.finalRight = box.block.lineRight;
        LayerList_freeItems(list);
        LayerList_destroy(list);
        if (r != 0 && r != Layout_breakNeeded)
            break;
    }
    BoxIter_free(it);
    FloatArea_destroy(box.items);
    Edr_Style_release(bs);
    Edr_Doc_readUnlock(doc);
    return out;
}

Edr_Node *block(Edr_Doc *doc, Edr_Node *root, std::initializer_list<Prop> props)
{
    Edr_Node *b = group(doc, root);
    std::vector<Prop> all = {kw(PropId_display, KwId_block), len(PropId_fontSize, kFontSize)};
    all.insert(all.end(), props.begin(), props.end());
    StyleRule *r = nullptr;
    EXPECT_EQ(StyleRule_create(&r), 0);
    for (const Prop &p : all)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, b, 2, r);
    return b;
}

std::u16string joined(const Line &line)
{
    std::u16string s;
    for (const Piece &p : line)
        if (!p.hidden)
            s += p.text;
    return s;
}

TEST_F(LineTest, ALongRunIsPlacedInPiecesOfAtMost500WithinTheWidth)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {});
        std::u16string words;
        while (words.size() < 1200)
            words += u"abcd ";
        words.resize(1200);
        text(doc, b, words);
        Lines l = layOut(doc, b);
        ASSERT_GE(l.lines.size(), 3u);
        EXPECT_EQ(l.results.back(), int(Layout_contentEnd));
        size_t total = 0;
        for (const Line &line : l.lines)
            for (const Piece &p : line) {
                EXPECT_LE(p.text.size(), 500u);
                EXPECT_GE(p.box.x0, 0);
                EXPECT_LE(p.box.x1, 6 * kInch);
                total += p.text.size();
            }
        // Every word is placed; only the spaces at the line ends are gone.
        EXPECT_GE(total, 1200u - l.lines.size());

        // On a line wide enough for all of it, the run still comes in calls
        // of at most 500 characters.
        Edr_Doc_readLock(doc);
        Edr_Style *bs = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, b), 0);
        LayoutBox box{};
        box.document = doc;
        box.context = doc->app;
        box.styleContext = Edr_StyleCtx_get(doc);
        box.block.lineRight = 0x7FFF0000;
        box.availableWidth = 0x7FFF0000;
        BoxIter *it = nullptr;
        ASSERT_EQ(BoxIter_create(&it, &box, b, bs, 0), 0);
        IterEntry e{};
        ASSERT_EQ(BoxIter_next(it, &e, &box), 0);
        TextFormat f{};
        ASSERT_EQ(Layout_textFormat(&box, e.style, &f), 0);
        LayerList *list = LayerList_create();
        LineState st{};
        st.line = list;
        st.startOfLine = 1;
        st.span = box.block.lineRight;
        int calls = 0;
        while (e.resume < 1200 && calls < 10) {
            int32_t before = e.resume;
            EXPECT_EQ(
                Layout_placeTextRun(&box, &st, nullptr, &e, &f, nullptr, 0x7FFF0000, KwId_normal),
                0);
            EXPECT_LE(e.resume - before, 500);
            calls++;
        }
        EXPECT_GE(calls, 3);
        EXPECT_EQ(e.resume, 1200);
        LayerList_freeItems(list);
        LayerList_destroy(list);
        BoxIter_free(it);
        Edr_Style_release(bs);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(LineTest, CarriageReturnLineFeedBreaksUnderPreAndIsSpaceUnderNormal)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *pre = block(doc, root, {kw(PropId_whiteSpace, KwId_pre)});
        text(doc, pre, u"a\r\nb");
        Edr_Node *normal = block(doc, root, {kw(PropId_whiteSpace, KwId_normal)});
        text(doc, normal, u"a\r\nb");
        Lines p = layOut(doc, pre);
        ASSERT_EQ(p.lines.size(), 2u);
        EXPECT_EQ(joined(p.lines[0]), u"a");
        EXPECT_EQ(joined(p.lines[1]), u"b");
        EXPECT_EQ(p.lines[1][0].box.x0, 0);
        Lines n = layOut(doc, normal);
        ASSERT_EQ(n.lines.size(), 1u);
        ASSERT_EQ(n.lines[0].size(), 1u);
        EXPECT_EQ(n.lines[0][0].text, u"a  b");
    });
}

TEST_F(LineTest, PreWrapBreaksAtLineEndsAndWraps)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Geometry narrow;
        narrow.width = 5 * kCharWidth + kCharWidth / 2;
        Edr_Node *b = block(doc, root, {kw(PropId_whiteSpace, KwId_preWrap)});
        text(doc, b, u"a\n\rb  c ddd eee");
        Lines l = layOut(doc, b, narrow);
        ASSERT_EQ(l.lines.size(), 4u);
        EXPECT_EQ(joined(l.lines[0]), u"a");
        EXPECT_EQ(joined(l.lines[1]), u"b  c");
        EXPECT_EQ(joined(l.lines[2]), u"ddd");
        EXPECT_EQ(joined(l.lines[3]), u"eee");
    });
}

TEST_F(LineTest, AnchoredGroupsArePassedOverButTheirBlocksTextStays)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // The block itself is anchored (as a cell is): its own text stays.
        Edr_Node *b = block(doc, root, {kw(PropId_verticalAnchor, KwId_middle)});
        text(doc, b, u"kept ");
        Edr_Node *anchored = group(doc, b);
        own(doc, anchored, 2,
            rule({kw(PropId_display, KwId_inline), kw(PropId_verticalAnchor, KwId_bottom)}));
        text(doc, anchored, u"passed");
        text(doc, b, u"over");
        Lines l = layOut(doc, b);
        ASSERT_EQ(l.lines.size(), 1u);
        EXPECT_EQ(joined(l.lines[0]), u"kept over");
    });
}

TEST_F(LineTest, SuperscriptTextIsSmallerAndRaised)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {kw(PropId_verticalAlign, KwId_middle)});
        text(doc, b, u"x");
        Edr_Node *sup = group(doc, b);
        own(doc, sup, 2,
            rule({kw(PropId_display, KwId_inline), kw(PropId_verticalAlign, KwId_super)}));
        text(doc, sup, u"2");
        Lines l = layOut(doc, b);
        ASSERT_EQ(l.lines.size(), 1u);
        ASSERT_EQ(l.lines[0].size(), 2u);
        const Rect &x = l.lines[0][0].box, &two = l.lines[0][1].box;
        // The block's own alignment does not move its text.
        EXPECT_EQ(x.y0, -int32_t(-int64_t(BoxFont_descent) * 0x120000 / 0x120000));
        EXPECT_LT(two.y1 - two.y0, x.y1 - x.y0);
        EXPECT_GT(two.y0, x.y0);
        EXPECT_EQ(two.x0, x.x1);
    });
}

TEST_F(LineTest, AnInlineElementsEdgesSurroundItsText)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {kw(PropId_whiteSpace, KwId_pre)});
        text(doc, b, u"a");
        Edr_Node *span = group(doc, b);
        own(doc, span, 2,
            rule({kw(PropId_display, KwId_inline), len(PropId_paddingLeft, 0x1000),
                  len(PropId_marginRight, 0x2000)}));
        text(doc, span, u"bc");
        text(doc, b, u"d");
        Lines l = layOut(doc, b);
        ASSERT_EQ(l.lines.size(), 1u);
        ASSERT_EQ(l.lines[0].size(), 3u);
        const Line &line = l.lines[0];
        EXPECT_EQ(line[1].box.x0, line[0].box.x1 + 0x1000);
        EXPECT_EQ(line[2].box.x0, line[1].box.x1 + 0x2000);
    });
}

TEST_F(LineTest, TextTransformChangesAPrivateCopy)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        const std::pair<uint32_t, std::u16string> cases[] = {
            {KwId_uppercase, u"HELLO WORLD"},
            {KwId_lowercase, u"hello world"},
            {KwId_capitalize, u"Hello World"},
            {KwId_none, u"hello World"},
        };
        for (const auto &c : cases) {
            Edr_Node *b = block(doc, root, {kw(PropId_textTransform, uint16_t(c.first))});
            Edr_Node *t = text(doc, b, u"hello World");
            Lines l = layOut(doc, b);
            ASSERT_EQ(l.lines.size(), 1u);
            EXPECT_EQ(joined(l.lines[0]), c.second);
            // The node's own text is left as it was.
            EXPECT_EQ(std::u16string(Edr_Node_textPayload(t)->chars), u"hello World");
        }
    });
}

TEST_F(LineTest, AnOverLongWordOverflowsAFullLineOrMovesToTheNext)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Geometry narrow;
        narrow.width = 4 * kCharWidth + kCharWidth / 2;
        Edr_Node *alone = block(doc, root, {});
        text(doc, alone, u"abcdefghij kl");
        Edr_Node *after = block(doc, root, {});
        text(doc, after, u"ab abcdefghij");
        Lines a = layOut(doc, alone, narrow);
        ASSERT_GE(a.lines.size(), 2u);
        EXPECT_EQ(joined(a.lines[0]), u"abcdefghij");
        EXPECT_GT(a.lines[0][0].box.x1, narrow.width);
        EXPECT_EQ(joined(a.lines[1]), u"kl");
        Lines b = layOut(doc, after, narrow);
        ASSERT_GE(b.lines.size(), 2u);
        EXPECT_EQ(joined(b.lines[0]), u"ab");
        EXPECT_EQ(joined(b.lines[1]), u"abcdefghij");
        EXPECT_EQ(b.lines[1][0].box.x0, 0);
    });
}

TEST_F(LineTest, AWordStartingARunThatDoesNotFitMovesWholeToTheNextLine)
{
    // Lines of 6.5 characters where text may be cut at any character (a
    // paged document laid out at its anchors). A word that begins a run
    // after the line's text goes whole to the next line, as it does
    // inside one run; only a word longer than a line of its own is cut
    // where it stops fitting.
    struct Case {
        const char *name;
        std::vector<std::u16string> runs;
        std::vector<std::u16string> lines;
    } cases[] = {
        {"one run", {u"abcd efghij"}, {u"abcd", u"efghij"}},
        {"a word starting the second run", {u"abcd ", u"efghij"}, {u"abcd", u"efghij"}},
        {"a word after a space run", {u"abcd", u" ", u"efghij"}, {u"abcd", u"efghij"}},
        {"an over-long word", {u"ab ", u"cdefghijkl"}, {u"ab", u"cdefgh", u"ijkl"}},
    };
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Geometry g;
            g.width = 6 * kCharWidth + kCharWidth / 2;
            g.anchored = 1;
            Edr_Node *b = block(doc, root, {});
            for (const std::u16string &r : c.runs)
                text(doc, b, r);
            Lines l = layOut(doc, b, g);
            // Each line's text without the white space at its end.
            std::vector<std::u16string> got;
            for (const Line &line : l.lines) {
                std::u16string t = joined(line);
                while (!t.empty() && t.back() == u' ')
                    t.pop_back();
                if (!t.empty())
                    got.push_back(t);
            }
            EXPECT_EQ(got, c.lines) << c.name;
            for (const Line &line : l.lines) {
                for (const Piece &p : line) {
                    if (!p.hidden && p.text != u" ") {
                        EXPECT_LE(p.box.x1, g.width) << c.name;
                    }
                }
            }
        });
    }
}

TEST_F(LineTest, WhiteSpaceAtABreakIsNeitherEndNorStartOfALine)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Geometry s;
        s.width = 6 * kCharWidth + kCharWidth / 2;
        Edr_Node *b = block(doc, root, {});
        text(doc, b, u"aaaa   bbbb");
        Lines l = layOut(doc, b, s);
        ASSERT_EQ(l.lines.size(), 2u);
        ASSERT_EQ(l.lines[0].size(), 1u);
        EXPECT_EQ(l.lines[0][0].text, u"aaaa");
        EXPECT_EQ(l.lines[0][0].box.x1 - l.lines[0][0].box.x0, 4 * kCharWidth);
        ASSERT_EQ(l.lines[1].size(), 1u);
        EXPECT_EQ(l.lines[1][0].text, u"bbbb");
        EXPECT_EQ(l.lines[1][0].box.x0, 0);
    });
}

TEST_F(LineTest, FontSizesFollowTheStyle)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        struct Case {
            std::vector<Prop> props;
            int32_t size;
        };
        const Case cases[] = {
            {{len(PropId_fontSize, 100)}, 0x80000},       // below 1 point
            {{len(PropId_fontSize, kInch / 8)}, 0x90000}, // 9 points
            {{len(PropId_fontSize, kInch / 8), kw(PropId_verticalAlign, KwId_super)},
             int32_t(int64_t(0x90000) * 39322 / 65536)},
            {{len(PropId_fontSize, kInch / 8), kw(PropId_verticalAlign, KwId_sub)},
             int32_t(int64_t(0x90000) * 39322 / 65536)},
        };
        for (const Case &c : cases) {
            Edr_Node *g = group(doc, root);
            StyleRule *r = nullptr;
            ASSERT_EQ(StyleRule_create(&r), 0);
            for (const Prop &p : c.props)
                ASSERT_EQ(StyleRule_appendProp(r, &p), 0);
            own(doc, g, 2, r);
            Edr_Style *s = compute(doc, g);
            ASSERT_NE(s, nullptr);
            LayoutBox box{};
            box.document = doc;
            box.context = doc->app;
            TextFormat f{};
            EXPECT_EQ(Layout_textFormat(&box, s, &f), 0);
            EXPECT_EQ(f.size, c.size);
            EXPECT_NE(f.font, nullptr);
            // The ascent and descent follow the size.
            int32_t a = 0, d = 0;
            EXPECT_EQ(Layout_textAscent(&box, s, &a, &d), 0);
            EXPECT_EQ(a, int32_t(int64_t(BoxFont_ascent) * c.size / 0x120000));
            EXPECT_EQ(d, int32_t(-int64_t(BoxFont_descent) * c.size / 0x120000));
            Edr_Style_release(s);
        }
        // Without a style's length the size is 16 points.
        TextFormat f{};
        EXPECT_EQ(Layout_textFormat(nullptr, nullptr, &f), 0);
        EXPECT_EQ(f.size, 0x100000);
        EXPECT_EQ(f.decoration, uint32_t(TextDecor_initial));
    });
}

TEST_F(LineTest, TheReflowLimitCompressesLargeSizes)
{
    // L + log2(s - L + 1) with the piecewise linear log2.
    EXPECT_EQ(Layout_log2Fixed(0x10000), 0);
    EXPECT_EQ(Layout_log2Fixed(0x20000), 0x10000);
    EXPECT_EQ(Layout_log2Fixed(0x90000), 0x30000 + 0x2000); // 9: k 3, (9 - 8) / 8
    EXPECT_EQ(Layout_log2Fixed(0x7FFFFFFF), 15 << 16);      // 32768 rounded: k is at most 15
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({len(PropId_fontSize, kInch / 4)})); // 18 points
        Edr_Style *s = compute(doc, g);
        LayoutBox box{};
        box.document = doc;
        box.context = doc->app;
        box.flowMode = 1;
        TextFormat f{};
        EXPECT_EQ(Layout_textFormat(&box, s, &f), 0);
        int32_t limit = int32_t(doc->app->edrApp->reflowLimit);
        EXPECT_EQ(f.size, limit + Layout_log2Fixed(0x120000 - limit + 0x10000));
        Edr_Style_release(s);
    });
}

TEST_F(LineTest, TabsMoveToTheStopsOfTheStyle)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b =
            block(doc, root, {kw(PropId_whiteSpace, KwId_pre), len(PropId_tabInterval, kInch / 2)});
        text(doc, b, u"a\tb\t\tc");
        Lines l = layOut(doc, b);
        ASSERT_EQ(l.lines.size(), 1u);
        std::vector<Piece> shown;
        for (const Piece &p : l.lines[0])
            if (!p.hidden)
                shown.push_back(p);
        ASSERT_EQ(shown.size(), 3u);
        EXPECT_EQ(shown[0].box.x0, 0);
        EXPECT_EQ(shown[1].text, u"b");
        EXPECT_EQ(shown[1].box.x0, kInch / 2);
        EXPECT_EQ(shown[2].text, u"c");
        EXPECT_EQ(shown[2].box.x0, 3 * kInch / 2);

        // The list itself: flow mode cuts the interval to a quarter of the
        // width; without property 102 there is no list.
        Edr_Style *s = compute(doc, b);
        TabList t{};
        ASSERT_NE(Layout_tabStops(s, &t, 4 * kInch, 0), nullptr);
        EXPECT_EQ(t.interval, kInch / 2);
        ASSERT_NE(Layout_tabStops(s, &t, kInch, 1), nullptr);
        EXPECT_EQ(t.interval, kInch / 4);
        Edr_Node *plain = group(doc, root);
        Edr_Style *ps = compute(doc, plain);
        EXPECT_EQ(Layout_tabStops(ps, &t, kInch, 0), nullptr);
        Edr_Style_release(ps);
        Edr_Style_release(s);
    });
}

TEST_F(LineTest, ExplicitStopsSpreadInFlowModeWhenTheyPassTheWidth)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        TabStopList *stops = nullptr;
        ASSERT_EQ(TabStops_create(&stops, 2), 0);
        TabStops_set(stops, 0, TabStop{kInch, 0});
        TabStops_set(stops, 1, TabStop{5 * kInch, 0});
        Prop p{};
        Prop_set105(&p, stops);
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({len(PropId_tabInterval, kInch), p}));
        Prop_free(&p);
        Edr_Style *s = compute(doc, g);
        TabList t{};
        ASSERT_NE(Layout_tabStops(s, &t, 2 * kInch, 1), nullptr);
        int32_t x = 0;
        EXPECT_EQ(Layout_tabStop(&t, &x), 1);
        EXPECT_EQ(x, kInch); // (0 + 1) x 2 / 2
        EXPECT_EQ(Layout_tabStop(&t, &x), 1);
        EXPECT_EQ(x, 2 * kInch);
        ASSERT_NE(Layout_tabStops(s, &t, 8 * kInch, 0), nullptr);
        x = 2 * kInch;
        EXPECT_EQ(Layout_tabStop(&t, &x), 1);
        EXPECT_EQ(x, 5 * kInch);
        Edr_Style_release(s);
    });
}

TEST_F(LineTest, AnOppositeDirectionRunIsPlacedAtTheLeftLimit)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {kw(PropId_whiteSpace, KwId_pre)});
        text(doc, b, u"ab");
        Edr_Node *span = group(doc, b);
        own(doc, span, 2, rule({kw(PropId_display, KwId_inline), kw(PropId_direction, KwId_rtl)}));
        text(doc, span, u"xyz");
        text(doc, b, u"cd");
        Lines l = layOut(doc, b);
        ASSERT_EQ(l.lines.size(), 1u);
        ASSERT_EQ(l.lines[0].size(), 3u);
        EXPECT_EQ(l.lines[0][0].text, u"ab");
        EXPECT_EQ(l.lines[0][1].text, u"xyz");
        EXPECT_EQ(l.lines[0][2].text, u"cd");
        EXPECT_EQ(l.lines[0][1].box.x0, 2 * kCharWidth);
        EXPECT_EQ(l.lines[0][2].box.x0, 5 * kCharWidth);
        EXPECT_EQ(l.finalLeft, 7 * kCharWidth);
        EXPECT_EQ(l.finalRight, 6 * kInch); // the right limit is unchanged overall
    });
}

TEST_F(LineTest, RightToLeftLinesFillFromTheRight)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Geometry g;
        g.width = 3 * kCharWidth + kCharWidth / 2;
        g.direction = KwId_rtl;
        Edr_Node *b = block(doc, root, {kw(PropId_direction, KwId_rtl)});
        text(doc, b, u"ab cd");
        Lines l = layOut(doc, b, g);
        ASSERT_EQ(l.lines.size(), 2u);
        ASSERT_EQ(l.lines[0].size(), 1u);
        EXPECT_EQ(l.lines[0][0].text, u"ab");
        EXPECT_EQ(l.lines[0][0].box.x1, g.width);
        ASSERT_EQ(l.lines[1].size(), 1u);
        EXPECT_EQ(l.lines[1][0].text, u"cd");
        EXPECT_EQ(l.lines[1][0].box.x1, g.width);
        EXPECT_EQ(l.finalRight, g.width - 2 * kCharWidth);
    });
}

TEST_F(LineTest, AListMarkerUsesTheNextNumber)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {});
        Edr_Node *m = group(doc, b);
        own(doc, m, 2, rule({kw(PropId_display, KwId_inline), num(123, KwId_lowerRoman)}));
        text(doc, m, u"ignored");
        Edr_Style *s = compute(doc, m);
        char16_t *t = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(Layout_listMarkerText(4, s, &t, &n), 0);
        EXPECT_EQ(std::u16string(t, n), u"iv");
        EXPECT_EQ(t[n], 0);
        Mem_free(t);
        Edr_Style_release(s);
        Lines l = layOut(doc, b);
        ASSERT_EQ(l.lines.size(), 1u);
        EXPECT_EQ(joined(l.lines[0]), u"i");
    });
}

// Every allocation of a line in turn fails: the line ends with 1 and
// leaves nothing behind (the fixture checks the heap), and a later try
// succeeds.
TEST_F(LineTest, RunningOutOfMemoryMidLineLeavesNothingBehind)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {kw(PropId_textTransform, KwId_uppercase)});
        text(doc, b, u"one two ");
        Edr_Node *sup = group(doc, b);
        own(doc, sup, 2, rule({kw(PropId_display, KwId_inline), kw(PropId_direction, KwId_rtl)}));
        text(doc, sup, u"three");
        text(doc, b, u" four");
        Edr_Doc_readLock(doc);
        Edr_Style *bs = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, b), 0);
        bool done = false;
        for (uint64_t n = 1; n < 200 && !done; n++) {
            LayoutBox box{};
            box.context = doc->app;
            box.document = doc;
            box.styleContext = Edr_StyleCtx_get(doc);
            box.availableWidth = 6 * kInch;
            box.block.direction = KwId_ltr;
            box.block.lineRight = 6 * kInch;
            Rect area = {0, -kInch, 6 * kInch, 0};
            ASSERT_EQ(FloatArea_create(&area, &box.items), 0);
            FloatArea_setBand(box.items, 0, 0, 0, 0);
            BoxIter *it = nullptr;
            ASSERT_EQ(BoxIter_create(&it, &box, b, bs, 0), 0);
            LayerList *list = LayerList_create();
            ASSERT_NE(list, nullptr);
            LineCounter counter{};
            Mem_failAfter(n);
            int r = Layout_buildLine(&box, it, b, bs, &counter, 1, list);
            Mem_failAfter(0);
            if (r == Layout_contentEnd) {
                done = true;
                Line line;
                collect(list, &line);
                EXPECT_EQ(joined(line), u"ONE TWO THREE FOUR");
            } else {
                EXPECT_EQ(r, int(Res_noMemory)) << n;
            }
            LayerList_freeItems(list);
            LayerList_destroy(list);
            BoxIter_free(it);
            FloatArea_destroy(box.items);
            if (LayoutCache *cache = static_cast<LayoutCache *>(Edr_Page_listHead2(doc)))
                Layout_clearCache(cache);
        }
        EXPECT_TRUE(done);
        Edr_Style_release(bs);
        Edr_Doc_readUnlock(doc);
    });
}

// Random texts in every white-space mode and line width: the lines end,
// every character that is not white space is placed once and in order,
// and a line is only wider than the width when it holds a single piece.
TEST_F(LineTest, RandomTextsAreLaidOutWholeAndWithinTheWidth)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        const char16_t alphabet[] = {u'a',  u'b',  u'c',   u' ',   u' ',   u'\n',
                                     u'\r', u'\t', 0x4E00, 0x0E01, 0x0E34, u'-'};
        const uint32_t modes[] = {KwId_normal, KwId_nowrap, KwId_pre, KwId_preWrap};
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return seed >> 16;
        };
        for (int round = 0; round < 240; round++) {
            uint32_t ws = modes[round % 4];
            std::u16string t;
            size_t n = 1 + next() % 120;
            for (size_t i = 0; i < n; i++)
                t += (next() % 5 == 0) ? std::u16string(next() % 12, u'x')
                                       : std::u16string(1, alphabet[next() % 12]);
            Geometry g;
            g.width = int32_t(kCharWidth / 2 + next() % (12 * kCharWidth));
            g.flowMode = next() % 3 == 0 ? 1 : 0;
            Edr_Node *b = block(
                doc, root,
                {kw(PropId_whiteSpace, uint16_t(ws)), len(PropId_tabInterval, 2 * kCharWidth)});
            text(doc, b, t);
            Lines l = layOut(doc, b, g);
            ASSERT_LT(l.lines.size(), 2 * t.size() + 5) << round;
            EXPECT_EQ(l.results.back(), int(Layout_contentEnd)) << round;
            std::u16string want, got;
            for (char16_t c : t)
                if (c != u' ' && (c < 9 || c > 13))
                    want += c;
            for (const Line &line : l.lines) {
                size_t shown = 0;
                for (const Piece &p : line) {
                    for (char16_t c : p.text)
                        if (c != u' ' && (c < 9 || c > 13))
                            got += c;
                    shown += p.hidden ? 0 : 1;
                }
                if (shown > 1 && ws != KwId_pre && ws != KwId_nowrap && !g.flowMode) {
                    for (const Piece &p : line) {
                        EXPECT_LE(p.box.x1, g.width + 1) << round;
                    }
                }
            }
            EXPECT_EQ(got, want) << round;
        }
    });
}

TEST_F(LineArithmetic, AlignmentOffsets)
{
    struct Case {
        uint32_t align, ws, dir;
        int32_t free, expect;
    };
    const Case cases[] = {
        {KwId_left, KwId_normal, KwId_ltr, 100, 0},
        {KwId_left, KwId_normal, KwId_rtl, 100, -100},
        {KwId_right, KwId_normal, KwId_ltr, 100, 100},
        {KwId_right, KwId_normal, KwId_rtl, 100, 0},
        {KwId_center, KwId_normal, KwId_ltr, 100, 50},
        {KwId_center, KwId_normal, KwId_rtl, 100, -50},
        {KwId_justify, KwId_normal, KwId_ltr, 100, 0},
        {KwId_right, KwId_normal, KwId_ltr, -40, 0},
        {KwId_right, KwId_pre, KwId_ltr, -40, -40},
        {KwId_center, KwId_nowrap, KwId_ltr, -40, -20},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Layout_alignOffset(c.align, c.ws, c.dir, c.free), c.expect)
            << c.align << " " << c.ws << " " << c.dir << " " << c.free;
}

TEST_F(LineArithmetic, PlacingAtALimitMovesThatLimit)
{
    ObjHeader *item = Obj_create(&TextItem_class, 0);
    ASSERT_NE(item, nullptr);
    Rect r = {0, -5, 30, 10};
    Obj_setBox(item, &r);
    int32_t left = 100, right = 500;
    Layout_placeAtLimit(item, KwId_ltr, &left, &right, 4, 6);
    EXPECT_EQ(Obj_box(item).x0, 104);
    EXPECT_EQ(Obj_box(item).x1, 134);
    EXPECT_EQ(left, 140);
    EXPECT_EQ(right, 500);
    Layout_placeAtLimit(item, KwId_rtl, &left, &right, 4, 6);
    EXPECT_EQ(right, 460);
    EXPECT_EQ(Obj_box(item).x0, 464);
    EXPECT_EQ(left, 140);
    Obj_destroy(item);
}

TEST_F(LineArithmetic, TabStopRules)
{
    const int32_t stops[] = {100, 0, 300, 0};
    TabList t{};
    t.origin = 10;
    t.interval = 50;
    t.ref[0] = 60;
    t.stopCount = 2;
    t.stops = stops;
    int32_t x = 0;
    EXPECT_EQ(Layout_tabStop(&t, &x), 1);
    EXPECT_EQ(x, 60); // the reference lies before the first stop (110)
    EXPECT_EQ(Layout_tabStop(&t, &x), 1);
    EXPECT_EQ(x, 110);
    EXPECT_EQ(Layout_tabStop(&t, &x), 1);
    EXPECT_EQ(x, 310);
    EXPECT_EQ(Layout_tabStop(&t, &x), 1);
    EXPECT_EQ(x, 360); // past the stops: origin + k x interval
    // A last stop of a kind other than 0 steps on by 4096 only.
    const int32_t centred[] = {100, 2};
    t.stops = centred;
    t.stopCount = 1;
    x = 70;
    EXPECT_EQ(Layout_tabStop(&t, &x), 1);
    EXPECT_EQ(x, 70 + 4096);
    t.stopCount = 0;
    t.interval = 0;
    x = 500;
    EXPECT_EQ(Layout_tabStop(&t, &x), 1);
    EXPECT_EQ(x, 500);
    t.interval = -5;
    EXPECT_EQ(Layout_tabStop(&t, &x), 0);
    EXPECT_EQ(x, 500);
}

TEST_F(LineArithmetic, BreakOpportunities)
{
    const char16_t *s = u"hello world";
    uint32_t i = 8;
    EXPECT_EQ(LineBreak_findBefore(s, 11, &i), 1);
    EXPECT_EQ(i, 5u);
    i = 3;
    EXPECT_EQ(LineBreak_findBefore(s, 11, &i), 0);
    EXPECT_EQ(i, 0u);
    i = 2;
    EXPECT_EQ(LineBreak_findAfter(s, 11, &i), 1);
    EXPECT_EQ(i, 5u);
    i = 8;
    EXPECT_EQ(LineBreak_findAfter(s, 11, &i), 0);
    EXPECT_EQ(i, 11u);
    // Ideographs break on both sides; a Thai mark never begins a piece.
    const char16_t cjk[] = {0x4E00, 0x4E01, 0x4E02, 0};
    i = 2;
    EXPECT_EQ(LineBreak_findBefore(cjk, 3, &i), 1);
    EXPECT_EQ(i, 2u);
    const char16_t thai[] = {0x0E01, 0x0E34, 0x0E02, 0};
    i = 1;
    EXPECT_EQ(LineBreak_findBefore(thai, 3, &i), 0);
    i = 2;
    EXPECT_EQ(LineBreak_findBefore(thai, 3, &i), 1);
    EXPECT_EQ(i, 2u);
    i = 1;
    EXPECT_EQ(LineBreak_findAfter(thai, 3, &i), 1);
    EXPECT_EQ(i, 2u);
    EXPECT_EQ(LineBreak_isWordChar(u'a'), 1);
    EXPECT_EQ(LineBreak_isWordChar(0x0410), 1); // Cyrillic
    EXPECT_EQ(LineBreak_isWordChar(0x4E00), 0);
    EXPECT_EQ(LineBreak_isWordChar(u' '), 0);
}

TEST_F(LineArithmetic, LineCounter)
{
    LineCounter c{};
    Layout_raise(&c.extent, 40);
    Layout_raise(&c.extent, 10);
    EXPECT_EQ(LineCounter_extent(&c), 40);
    LineCounter_newLine(&c);
    LineCounter_newLine(&c);
    EXPECT_EQ(LineCounter_extent(&c), 0);
    EXPECT_EQ(LineCounter_count(&c), 2u);
    LineCounter_reset(&c);
    EXPECT_EQ(LineCounter_count(&c), 0u);
}

// An opposite-direction run of width w: flushed at the left limit in a
// left-to-right block (both limits grow by w), before the right limit in
// a right-to-left block (both shrink by w).
TEST_F(LineArithmetic, FlushingARun)
{
    for (uint32_t dir : {uint32_t(KwId_ltr), uint32_t(KwId_rtl)}) {
        LayerList *main = LayerList_create();
        LayerList *run = LayerList_create();
        ASSERT_TRUE(main && run);
        ObjHeader *item = Obj_create(&TextItem_class, 0);
        Rect r = {900, 0, 940, 10};
        Obj_setBox(item, &r);
        LayerList_append(run, item);
        int32_t left = 100, right = 960;
        ASSERT_EQ(Layout_flushReverseRun(main, &run, dir, &left, &right), 0);
        EXPECT_EQ(run, nullptr);
        ASSERT_EQ(LayerList_firstItem(main), item);
        if (dir == KwId_ltr) {
            EXPECT_EQ(Obj_shownBox(item).x0, 100);
            EXPECT_EQ(left, 140);
            EXPECT_EQ(right, 1000);
        } else {
            EXPECT_EQ(right, 920);
            EXPECT_EQ(Obj_shownBox(item).x0, 920);
            EXPECT_EQ(left, 60);
        }
        LayerList_freeItems(main);
        LayerList_destroy(main);
    }
    // An empty run is freed without a move.
    LayerList *main = LayerList_create();
    LayerList *run = LayerList_create();
    int32_t left = 1, right = 2;
    ASSERT_EQ(Layout_flushReverseRun(main, &run, KwId_ltr, &left, &right), 0);
    EXPECT_EQ(run, nullptr);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 2);
    LayerList_destroy(main);
}

} // namespace
