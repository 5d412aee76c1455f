// Block layout and the block builder over documents built through the
// document model: relative and absolute boxes, display none, insets wider
// than the block and nested blocks in a full layout pass; the placement of
// floats, the containing rectangle of positioned boxes and the table's
// stack guard on boxes set up by hand.
#include <algorithm>
#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/triple.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "document/style/lookup.h"
#include "document/style/style.h"
#include "layout/block.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

constexpr int32_t kInch = 0x10000;
constexpr uint32_t kHtml = 227;

class BlockLayoutTest : public EdrFixture {};

Edr_Node *text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.c_str(), uint32_t(s.size())),
        0);
    return t;
}

// A section of 6 inches with text of a quarter inch.
Edr_Node *section(Edr_Doc *doc, Edr_Node *root)
{
    Edr_Node *s = group(doc, root);
    own(doc, s, 2,
        rule({kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
              len(PropId_fontSize, kInch / 4)}));
    return s;
}

int pass(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    int err = Layout_document(doc);
    Edr_Doc_readUnlock(doc);
    return err;
}

// The text items of page `page` of section index, left to right, top down.
std::vector<Rect> textBoxes(Edr_Doc *doc, int32_t index, uint32_t page = 0)
{
    std::vector<Rect> out;
    Edr_PageEntry *e = nullptr;
    if (Edr_Page_find(&e, doc, index, page, 0) != 0)
        return out;
    for (ObjHeader *o = Edr_Page_deref(e)->objects; o; o = Obj_next(o))
        if (Obj_itemKind(o) == Obj_itemText)
            out.push_back(Obj_shownBox(o));
    Edr_Page_release(e, 0);
    std::sort(out.begin(), out.end(), [](const Rect &a, const Rect &b) {
        return a.y1 != b.y1 ? a.y1 > b.y1 : a.x0 < b.x0;
    });
    return out;
}

// The box of the text item showing text on the page of section index
// (all zero when there is none).
Rect boxOf(Edr_Doc *doc, int32_t index, const std::u16string &text)
{
    Rect found{};
    Edr_PageEntry *e = nullptr;
    if (Edr_Page_find(&e, doc, index, 0, 0) != 0)
        return found;
    for (ObjHeader *o = Edr_Page_deref(e)->objects; o; o = Obj_next(o)) {
        if (Obj_itemKind(o) != Obj_itemText)
            continue;
        const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(o));
        if (t->chars && std::u16string(t->chars + t->start, t->count) == text)
            found = Obj_shownBox(o);
    }
    Edr_Page_release(e, 0);
    return found;
}

TEST_F(BlockLayoutTest, RelativeBoxesMoveAndAbsoluteBoxesTakeNoRoom)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, kHtml), 0);
        // Section 0: two plain blocks. Section 1: the first block moved
        // relatively. Section 2: the first block absolute at (2, 1)
        // inches, so the second block starts at the top.
        const struct {
            std::initializer_list<Prop> first;
        } cases[] = {
            {{kw(PropId_display, KwId_block)}},
            {{kw(PropId_display, KwId_block), kw(PropId_position, KwId_relative),
              len(PropId_left, kInch / 2), len(PropId_top, kInch / 4)}},
            {{kw(PropId_display, KwId_block), kw(PropId_position, KwId_absolute),
              len(PropId_left, 2 * kInch), len(PropId_top, kInch)}},
        };
        for (const auto &c : cases) {
            Edr_Node *s = section(doc, root);
            Edr_Node *a = group(doc, s);
            own(doc, a, 2, rule(c.first));
            text(doc, a, u"first");
            Edr_Node *b = group(doc, s);
            own(doc, b, 2, rule({kw(PropId_display, KwId_block)}));
            text(doc, b, u"second");
        }
        ASSERT_EQ(pass(doc), 0);
        Rect first[3], second[3];
        for (int32_t i = 0; i < 3; i++) {
            first[i] = boxOf(doc, i, u"first");
            second[i] = boxOf(doc, i, u"second");
        }
        // The second block lies below the first.
        EXPECT_LE(second[0].y1, first[0].y0);
        // Relative: the first moves by (left, -top); the second keeps the
        // place the first left it.
        EXPECT_EQ(first[1].x0 - first[0].x0, kInch / 2);
        EXPECT_EQ(first[1].y1 - first[0].y1, -kInch / 4);
        EXPECT_EQ(second[1].x0, second[0].x0);
        EXPECT_EQ(second[1].y1, second[0].y1);
        // Absolute: the second block takes the top; the first is at its
        // position.
        EXPECT_EQ(second[2].y1, first[0].y1);
        EXPECT_EQ(first[2].x0, 2 * kInch);
        EXPECT_EQ(first[2].y1, -kInch);
    });
}

TEST_F(BlockLayoutTest, HiddenBlocksAndNarrowInsets)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // A block not displayed places nothing; a block whose paddings are
        // wider than the section still starts its text at its left inset;
        // nested blocks stack down the page.
        Edr_Node *s = section(doc, root);
        Edr_Node *hidden = group(doc, s);
        own(doc, hidden, 2, rule({kw(PropId_display, KwId_none)}));
        text(doc, hidden, u"never");
        Edr_Node *wide = group(doc, s);
        own(doc, wide, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_paddingLeft, 4 * kInch),
                  len(PropId_paddingRight, 4 * kInch)}));
        text(doc, wide, u"x");
        Edr_Node *outer = group(doc, s);
        own(doc, outer, 2, rule({kw(PropId_display, KwId_block), len(PropId_marginLeft, kInch)}));
        Edr_Node *inner = group(doc, outer);
        own(doc, inner, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_marginLeft, kInch / 2)}));
        text(doc, inner, u"inner");
        text(doc, outer, u"after");
        ASSERT_EQ(pass(doc), 0);
        std::vector<Rect> boxes = textBoxes(doc, 0);
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[0].x0, 4 * kInch);
        EXPECT_EQ(boxes[1].x0, kInch + kInch / 2);
        EXPECT_EQ(boxes[2].x0, kInch);
        EXPECT_LE(boxes[1].y1, boxes[0].y0);
        EXPECT_LE(boxes[2].y1, boxes[1].y0);
    });
}

TEST_F(BlockLayoutTest, ParagraphsFillEveryPageOfAPagedSection)
{
    // Pages 4 inches high with half-inch top and bottom margins hold 12
    // lines of a quarter inch. Blocks of one line each, and a block whose
    // lines run over a page break, fill every page up to its bottom margin:
    // a block that went on to a new page does not carry the previous page's
    // coordinates along and push the next block down to another page.
    struct Case {
        const char *name;
        int before;    // one-line blocks before the long block
        int longLines; // lines of the long block (0: none)
        int after;     // one-line blocks after it
        std::vector<size_t> perPage;
    } cases[] = {
        {"one-line blocks", 30, 0, 0, {12, 12, 6}},
        {"a block over a page break", 8, 10, 20, {12, 12, 12, 2}},
    };
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *s = group(doc, root);
            own(doc, s, 2,
                rule({kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
                      len(PropId_height, 4 * kInch), len(PropId_marginTop, kInch / 2),
                      len(PropId_marginBottom, kInch / 2), len(PropId_fontSize, kInch / 4)}));
            auto para = [&](const std::u16string &t) {
                Edr_Node *b = group(doc, s);
                own(doc, b, 2,
                    rule({kw(PropId_display, KwId_block), kw(PropId_whiteSpace, KwId_pre)}));
                text(doc, b, t);
            };
            for (int i = 0; i < c.before; i++)
                para(u"p");
            if (c.longLines) {
                std::u16string t = u"l";
                for (int i = 1; i < c.longLines; i++)
                    t += u"\nl";
                para(t);
            }
            for (int i = 0; i < c.after; i++)
                para(u"p");
            ASSERT_EQ(pass(doc), 0) << c.name;
            std::vector<size_t> perPage;
            for (uint32_t page = 0; page < 64; page++) {
                std::vector<Rect> lines = textBoxes(doc, 0, page);
                if (lines.empty())
                    break;
                perPage.push_back(lines.size());
                // Every line inside the margins, below the one before.
                EXPECT_LE(lines.front().y1, -kInch / 2) << c.name << " page " << page;
                EXPECT_GE(lines.back().y0, -4 * kInch + kInch / 2) << c.name << " page " << page;
                for (size_t i = 1; i < lines.size(); i++)
                    EXPECT_LE(lines[i].y1, lines[i - 1].y0) << c.name << " page " << page;
            }
            EXPECT_EQ(perPage, c.perPage) << c.name;
        });
    }
}

TEST_F(BlockLayoutTest, LineSpacingRulesAndTheFirstLineIndent)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // Text a quarter inch high: a line's natural height is 16384.
        const int32_t natural = kInch / 4;
        struct Case {
            int32_t kind; // -1: no rule
            int32_t value;
            int32_t pitch;
        } cases[] = {
            {-1, 0, natural},
            {0, kInch / 2, kInch / 2},       // exact
            {1, 150 << 16, natural * 3 / 2}, // a multiple in percent
            {2, kInch / 2, kInch / 2},       // a minimum above the natural height
            {2, kInch / 100, natural},       // a minimum below it
        };
        for (const Case &c : cases) {
            Edr_Node *s = section(doc, root);
            Edr_Node *b = group(doc, s);
            Prop spacing{};
            PropLineSpacing *record = nullptr;
            if (c.kind >= 0) {
                ASSERT_EQ(Obj_newTriple(&record, c.kind, c.value, 100 << 16), 0);
                Prop_set110(&spacing, record);
            }
            if (record)
                own(doc, b, 2,
                    rule({kw(PropId_display, KwId_block), kw(PropId_whiteSpace, KwId_pre),
                          len(PropId_textIndent, kInch / 2), spacing}));
            else
                own(doc, b, 2,
                    rule({kw(PropId_display, KwId_block), kw(PropId_whiteSpace, KwId_pre),
                          len(PropId_textIndent, kInch / 2)}));
            if (record)
                Prop_free(&spacing);
            text(doc, b, u"a\nb\nc");
        }
        ASSERT_EQ(pass(doc), 0);
        for (int32_t i = 0; i < int32_t(std::size(cases)); i++) {
            std::vector<Rect> lines = textBoxes(doc, i);
            ASSERT_EQ(lines.size(), 3u) << "case " << i;
            EXPECT_EQ(lines[0].y1 - lines[1].y1, cases[i].pitch) << "case " << i;
            EXPECT_EQ(lines[1].y1 - lines[2].y1, cases[i].pitch) << "case " << i;
            // The indent moves the first line only.
            EXPECT_EQ(lines[0].x0, kInch / 2);
            EXPECT_EQ(lines[1].x0, 0);
        }
    });
}

TEST_F(BlockLayoutTest, ListItemMarkersTakeTheirRoomInsideAndHangOutside)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // Section 0: an inside marker moves the item's text right by at
        // least the marker's least room. Section 1: an outside marker hangs
        // to the left of text that starts at the block's edge.
        const uint32_t positions[] = {KwId_inside, KwId_outside};
        for (uint32_t position : positions) {
            Edr_Node *s = section(doc, root);
            Edr_Node *item = group(doc, s);
            own(doc, item, 2,
                rule({kw(PropId_display, KwId_listItem), kw(PropId_listStyleType, KwId_disc),
                      kw(PropId_listStylePosition, position), len(PropId_marginLeft, kInch)}));
            text(doc, item, u"item");
        }
        ASSERT_EQ(pass(doc), 0);
        for (int32_t i = 0; i < 2; i++) {
            Rect word = boxOf(doc, i, u"item");
            Rect bullet = boxOf(doc, i, u"\u2022");
            ASSERT_LT(word.x0, word.x1) << "section " << i;
            ASSERT_LT(bullet.x0, bullet.x1) << "section " << i << ": no marker";
            EXPECT_LE(bullet.x1, word.x0) << "section " << i;
            // Both sit on the same line.
            EXPECT_GT(bullet.y1, word.y0);
            EXPECT_LT(bullet.y0, word.y1);
            if (i == 0)
                EXPECT_GE(word.x0 - kInch, 0x3000);
            else
                EXPECT_EQ(word.x0, kInch);
        }
    });
}

Edr_Node *data(Edr_Doc *doc, Edr_Node *parent, const Prop &value)
{
    Edr_Node *n = nullptr;
    EXPECT_EQ(Edr_Node_createData(doc, parent, Edr_Insert_lastChild, &n, &value), 0);
    return n;
}

TEST_F(BlockLayoutTest, ContentAfterAnAbsolutePositionMarkerGoesToItsRectangle)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // Section 0: text, then a marker with a 2 by 1 inch rectangle at
        // (1, 2) inches holding "inside". Section 1: the same marker with no
        // width: its content is skipped.
        for (int32_t width : {2 * kInch, 0}) {
            Edr_Node *s = section(doc, root);
            Edr_Node *b = group(doc, s);
            own(doc, b, 2, rule({kw(PropId_display, KwId_block)}));
            text(doc, b, u"before");
            data(doc, b, kw(PropId_position, KwId_absolute));
            data(doc, b, len(PropId_left, kInch));
            data(doc, b, len(PropId_top, 2 * kInch));
            data(doc, b, len(PropId_width, width));
            data(doc, b, len(PropId_height, kInch));
            text(doc, b, u"inside");
        }
        ASSERT_EQ(pass(doc), 0);
        Rect before = boxOf(doc, 0, u"before"), inside = boxOf(doc, 0, u"inside");
        EXPECT_EQ(before.x0, 0);
        EXPECT_EQ(before.y1, 0);
        EXPECT_EQ(inside.x0, kInch);
        EXPECT_EQ(inside.y1, -2 * kInch);
        std::vector<Rect> skipped = textBoxes(doc, 1);
        ASSERT_EQ(skipped.size(), 1u);
        EXPECT_EQ(skipped[0].y1, 0);
    });
}

TEST_F(BlockLayoutTest, FrameSetsStackTheirFramesDownOrAcross)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, kHtml), 0);
        for (uint16_t display : {uint16_t(KwId_framesetRows), uint16_t(KwId_framesetColumns)}) {
            Edr_Node *s = section(doc, root);
            Edr_Node *set = group(doc, s);
            own(doc, set, 2, rule({kw(PropId_display, display)}));
            for (const char16_t *name : {u"one", u"two"}) {
                Edr_Node *frame = group(doc, set);
                own(doc, frame, 2,
                    rule({kw(PropId_display, KwId_block), len(PropId_width, 2 * kInch),
                          len(PropId_height, kInch)}));
                text(doc, frame, name);
            }
        }
        ASSERT_EQ(pass(doc), 0);
        Rect down[2] = {boxOf(doc, 0, u"one"), boxOf(doc, 0, u"two")};
        Rect across[2] = {boxOf(doc, 1, u"one"), boxOf(doc, 1, u"two")};
        EXPECT_EQ(down[0].y1, 0);
        EXPECT_EQ(down[1].y1, -kInch);
        EXPECT_EQ(down[1].x0, down[0].x0);
        EXPECT_EQ(across[1].x0 - across[0].x0, 2 * kInch);
        EXPECT_EQ(across[1].y1, across[0].y1);
    });
}

TEST_F(BlockLayoutTest, AnAnchoredObjectReservesItsRoomBeforeTheText)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // A document type whose groups anchor objects: an object of kind
        // 213 an inch high at the top reserves the full width of its band,
        // so the block's text starts below it; kind 211 reserves nothing.
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, 232), 0);
        for (uint16_t kind : {uint16_t(213), uint16_t(211)}) {
            Edr_Node *s = group(doc, root);
            own(doc, s, 2,
                rule({kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
                      len(PropId_height, 10 * kInch), len(PropId_fontSize, kInch / 4)}));
            Edr_Node *b = group(doc, s);
            own(doc, b, 2, rule({kw(PropId_display, KwId_block)}));
            Edr_Node *object = group(doc, b);
            own(doc, object, 2,
                rule({kw(PropId_display, KwId_block), kw(PropId_floatRegion, kind),
                      len(PropId_width, 2 * kInch), len(PropId_height, kInch)}));
            text(doc, b, u"after");
        }
        ASSERT_EQ(pass(doc), 0);
        EXPECT_LE(boxOf(doc, 0, u"after").y1, -kInch);
        EXPECT_EQ(boxOf(doc, 1, u"after").y1, 0);
    });
}

TEST_F(BlockLayoutTest, TextAfterAFloatsParagraphFlowsBesideIt)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // Each section: a paragraph "anchor" holding an object of kind 130
        // (wrap on both sides) placed from the paragraph's top-left corner,
        // then a paragraph "beside". left and top place the object, width
        // its width (an inch high in every case).
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, 232), 0);
        const struct {
            int32_t left, top, width;
        } cases[] = {
            {4 * kInch, 0, 2 * kInch},      // on the right: the text beside it on the left
            {kInch / 10, 0, 2 * kInch},     // a strip too narrow for a word on its left
            {kInch / 10, kInch, 2 * kInch}, // an inch down: the first line above it
        };
        for (const auto &c : cases) {
            Edr_Node *s = group(doc, root);
            own(doc, s, 2,
                rule({kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
                      len(PropId_height, 10 * kInch), len(PropId_fontSize, kInch / 4)}));
            Edr_Node *a = group(doc, s);
            own(doc, a, 2, rule({kw(PropId_display, KwId_block)}));
            text(doc, a, u"anchor");
            Edr_Node *object = group(doc, a);
            own(doc, object, 2,
                rule({kw(PropId_display, KwId_block), kw(PropId_floatRegion, 130), kw(140, 215),
                      kw(141, 221), kw(142, 221), len(PropId_left, c.left), len(PropId_top, c.top),
                      len(PropId_width, c.width), len(PropId_height, kInch)}));
            Edr_Node *b = group(doc, s);
            own(doc, b, 2, rule({kw(PropId_display, KwId_block)}));
            text(doc, b, u"beside");
        }
        ASSERT_EQ(pass(doc), 0);
        for (int32_t i = 0; i < 3; i++) {
            SCOPED_TRACE(i);
            Rect anchor = boxOf(doc, i, u"anchor"), beside = boxOf(doc, i, u"beside");
            ASSERT_LT(beside.x0, beside.x1) << "the word is shown whole";
            // The section's content starts at x 0; the first line at the
            // paragraph's top.
            int32_t left = cases[i].left, right = left + cases[i].width;
            int32_t top = anchor.y1 - cases[i].top, bottom = top - kInch;
            // The text stays out of the object's box.
            bool apart =
                beside.x1 <= left || beside.x0 >= right || beside.y0 >= top || beside.y1 <= bottom;
            EXPECT_TRUE(apart);
            // It follows the first paragraph without waiting for the
            // object's bottom.
            EXPECT_GT(beside.y0, bottom);
            EXPECT_LE(beside.y1, anchor.y0 + 1);
            if (i == 0) {
                EXPECT_EQ(beside.x0, 0); // left of the object
            } else if (i == 1) {
                EXPECT_GE(beside.x0, right); // not in the strip, right of it
            } else {
                EXPECT_EQ(beside.x0, 0); // above the object, at the margin
                EXPECT_GE(beside.y0, top);
            }
        }
    });
}

// A box over a float area of the rectangle, with an overflow operation
// that counts its calls and hands out a second area.
struct FloatBox {
    LayoutBox box{};
    FloatArea *next = nullptr;
    int breaks = 0;
};

FloatBox *current = nullptr;

int nextRegion(LayoutBox **box, int *moved)
{
    current->breaks++;
    *moved = 0;
    if (!current->next)
        return Res_ok;
    FloatArea_destroy((*box)->items);
    (*box)->items = current->next;
    current->next = nullptr;
    *moved = 1;
    return Res_ok;
}

// A float area of the width with a left and a right obstacle that leave
// bands of the given width between them.
FloatArea *narrowArea(int32_t band)
{
    Rect all{0, -10 * kInch, 6 * kInch, 0};
    FloatArea *a = nullptr;
    EXPECT_EQ(FloatArea_create(&all, &a), 0);
    FloatArea_setBand(a, 0, 0, 0, 0);
    Rect left{INT32_MIN, INT32_MIN, kInch, INT32_MAX};
    Rect right{kInch + band, INT32_MIN, INT32_MAX, INT32_MAX};
    EXPECT_EQ(FloatArea_occupy(a, &left), 0);
    EXPECT_EQ(FloatArea_occupy(a, &right), 0);
    return a;
}

TEST_F(BlockLayoutTest, AFloatWiderThanEveryBandBreaksOnceThenTakesTheLastBand)
{
    run([&] {
        struct Case {
            bool secondRegion; // the break gives a region
            int result;
            int breaks;
        } cases[] = {{true, 0, 1}, {false, 0, 1}};
        for (const Case &c : cases) {
            FloatBox f;
            current = &f;
            f.box.items = narrowArea(2 * kInch);
            f.next = c.secondRegion ? narrowArea(3 * kInch) : nullptr;
            f.box.overflow = nextRegion;
            f.box.block.floatSide = KwId_left;
            LayerList *list = LayerList_create();
            ASSERT_NE(list, nullptr);
            Rect r{0, -kInch, 4 * kInch, 0}; // 4 inches wide: fits no band
            LayoutBox *b = &f.box;
            EXPECT_EQ(Layout_placeFloat(&b, list, &r), c.result);
            EXPECT_EQ(f.breaks, c.breaks);
            // Placed at the left of the last band seen, at its top.
            EXPECT_EQ(r.x0, kInch);
            EXPECT_EQ(r.y1, 0);
            // Nothing may rise beside it on its left any more.
            const Rect *free = nullptr;
            FloatArea_first(b->items, &free, FloatArea_fromLeft);
            ASSERT_NE(free, nullptr);
            EXPECT_LE(free->y1, -kInch);
            LayerList_destroy(list);
            FloatArea_destroy(b->items);
            FloatArea_destroy(f.next);
        }
        current = nullptr;
    });
}

TEST_F(BlockLayoutTest, PositionedBoxesGetTheirContainingRectangle)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        const int32_t I = kInch;
        struct Case {
            std::initializer_list<Prop> props;
            int32_t x0, x1;
            uint32_t flags;
        } cases[] = {
            // left and right: the width lies between them.
            {{kw(PropId_position, KwId_absolute), len(PropId_left, I), len(PropId_right, 2 * I)},
             I,
             4 * I,
             Layout_placedX},
            // right alone with a width: right-aligned in the container.
            {{kw(PropId_position, KwId_absolute), len(PropId_right, I), len(PropId_width, I)},
             4 * I,
             5 * I,
             Layout_placedX},
            // left with a width.
            {{kw(PropId_position, KwId_absolute), len(PropId_left, I / 2), len(PropId_width, I),
              len(PropId_top, I)},
             I / 2,
             I / 2 + I,
             Layout_placedX | Layout_placedY},
        };
        for (const Case &c : cases) {
            Edr_Node *g = group(doc, root);
            own(doc, g, 2, rule(c.props));
            Edr_Style *style = compute(doc, g);
            LayoutBox box{};
            box.context = doc->app;
            box.document = doc;
            box.availableWidth = 6 * I;
            int32_t avail[4] = {0, -8 * I, 6 * I, 0};
            std::copy(avail, avail + 4, box.avail);
            Rect area{0, -8 * I, 6 * I, 0};
            ASSERT_EQ(FloatArea_create(&area, &box.items), 0);
            FloatArea_setBand(box.items, 0, 0, 0, 0);
            Box_applyStyle(&box, style);
            uint32_t flags = 0;
            EXPECT_EQ(Layout_positionBox(&box, style, &flags), 0);
            EXPECT_EQ(box.avail[0], c.x0);
            EXPECT_EQ(box.avail[2], c.x1);
            EXPECT_EQ(flags, c.flags);
            FloatArea_destroy(box.items);
            Edr_Style_release(style);
        }
    });
}

TEST_F(BlockLayoutTest, ATableStartsAtItsOwnBlocksEdgeNotAtTheIndentOfTheTextBefore)
{
    // An indented paragraph (a list item's indent) before a table: the
    // table's cells start where the paragraph after the table starts, at
    // the edge of the block that holds them both.
    struct Case {
        const char *name;
        int32_t holderIndent;    // of the block holding paragraph and table
        int32_t paragraphIndent; // of the paragraph before the table
    } cases[] = {
        {"in the section", 0, kInch / 2},
        {"in an indented block", kInch / 4, kInch},
    };
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *s = section(doc, root);
            Edr_Node *holder = group(doc, s);
            own(doc, holder, 2,
                rule({kw(PropId_display, KwId_block), len(PropId_marginLeft, c.holderIndent)}));
            Edr_Node *p = group(doc, holder);
            own(doc, p, 2,
                rule({kw(PropId_display, KwId_block), len(PropId_marginLeft, c.paragraphIndent)}));
            text(doc, p, u"indented");
            Edr_Node *t = group(doc, holder);
            own(doc, t, 2, rule({kw(PropId_display, KwId_table)}));
            Edr_Node *row = group(doc, t);
            own(doc, row, 2, rule({kw(PropId_display, KwId_tableRow)}));
            Edr_Node *cell = group(doc, row);
            own(doc, cell, 2, rule({kw(PropId_display, KwId_tableCell)}));
            text(doc, cell, u"cell");
            Edr_Node *after = group(doc, holder);
            own(doc, after, 2, rule({kw(PropId_display, KwId_block)}));
            text(doc, after, u"after");
            ASSERT_EQ(pass(doc), 0) << c.name;
            EXPECT_EQ(boxOf(doc, 0, u"indented").x0, c.holderIndent + c.paragraphIndent) << c.name;
            EXPECT_EQ(boxOf(doc, 0, u"after").x0, c.holderIndent) << c.name;
            Rect inCell = boxOf(doc, 0, u"cell");
            EXPECT_EQ(inCell.x0, c.holderIndent) << c.name;
            EXPECT_LE(inCell.y1, boxOf(doc, 0, u"indented").y0) << c.name;
        });
    }
}

// Recurses with a sizeable frame until the stack left is near the guard,
// then places a table.
int deepTable(LayoutBox *box, Edr_Node *node, Edr_Style *style, int depth)
{
    volatile char frame[2048];
    frame[0] = char(depth);
    if (Edr_Style_stackLeft(box->document) > Layout_nestedStackMargin && depth < 100000)
        return deepTable(box, node, style, depth + 1) + frame[0] * 0;
    LayoutBox *b = box;
    return Layout_placeTable(&b, style, node);
}

TEST_F(BlockLayoutTest, ATableWithTooLittleStackLeftIsReportedAndPlacesNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = group(doc, root);
        own(doc, t, 2, rule({kw(PropId_display, KwId_table)}));
        Edr_Style *style = compute(doc, t);
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        box.layers = LayerList_create();
        Rect area{0, -8 * kInch, 6 * kInch, 0};
        ASSERT_EQ(FloatArea_create(&area, &box.items), 0);
        FloatArea_setBand(box.items, 0, 0, 0, 0);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(deepTable(&box, t, style, 0), int(Res_stackExhausted));
        Edr_Doc_readUnlock(doc);
        EXPECT_FALSE(LayerList_hasItems(box.layers));
        EXPECT_EQ(box.inTable, 0u);
        // With stack to spare the same table is placed (its layout stands
        // in: nothing to show) and the flag comes back.
        LayoutBox *b = &box;
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Layout_placeTable(&b, style, t), 0);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(box.inTable, 0u);
        LayerList_destroy(box.layers);
        FloatArea_destroy(box.items);
        Edr_Style_release(style);
    });
}

} // namespace
