// Multi-column layout: column widths from a column list, the flow from
// column to column and into a new region on a box whose content and
// enclosing overflow are stand-ins, right-to-left sets, the column context
// restored after a set, and a multi-column block in a full layout pass.
#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "layout/columns.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

constexpr int32_t kInch = 0x10000;

class ColumnsTest : public EdrFixture {};

// A style set holding a column list of the (width, gap) pairs.
Edr_Style *columnStyle(Edr_Doc *doc, Edr_Node *root, const std::vector<PropColumn> &cols,
                       bool rtl = false)
{
    Edr_Node *n = group(doc, root);
    StyleRule *r = rule({kw(PropId_display, KwId_columnBlock)});
    if (rtl) {
        Prop d = kw(PropId_direction, KwId_rtl);
        EXPECT_EQ(StyleRule_appendProp(r, &d), 0);
    }
    if (!cols.empty()) {
        PropColumns *list = nullptr;
        EXPECT_EQ(PropColumns_create(&list, int32_t(cols.size())), 0);
        for (size_t i = 0; i < cols.size(); i++)
            list->columns[i] = cols[i];
        Prop p{};
        Prop_set94(&p, list);
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
        PropColumns_free(list);
    }
    own(doc, n, 2, r);
    return compute(doc, n);
}

} // namespace

TEST_F(ColumnsTest, WidthsComeFromTheListAsFarAsTheyFit)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        const Rect rect{0, -1000, 1000, 0};
        // No list: the whole width is one column.
        {
            Edr_Style *s = columnStyle(doc, root, {});
            ColumnSet set{};
            Columns_compute(s, &rect, 1, &set);
            ASSERT_EQ(set.count, 1);
            EXPECT_EQ(set.widths[0], 1000);
            EXPECT_EQ(set.gaps[0], 0);
            Edr_Style_release(s);
        }
        const struct {
            std::vector<PropColumn> cols;
            int fit;
            std::vector<int32_t> widths, gaps;
        } cases[] = {
            // Widths of 0 or less become 1, negative gaps 0.
            {{{300, 50}, {0, -5}, {-7, 10}}, 1, {300, 1, 1}, {50, 0, 10}},
            // A list wider than the rectangle keeps the columns that fit.
            {{{400, 100}, {400, 100}, {400, 0}}, 1, {400, 400}, {100, 100}},
            // With the fit flag a column wider than the rectangle is cut to
            // it; without it the list yields nothing and one column remains.
            {{{5000, 0}, {10, 0}}, 1, {1000}, {0}},
            {{{5000, 0}, {10, 0}}, 0, {1000}, {0}},
        };
        for (const auto &c : cases) {
            Edr_Style *s = columnStyle(doc, root, c.cols);
            ColumnSet set{};
            Columns_compute(s, &rect, c.fit, &set);
            ASSERT_EQ(set.count, int32_t(c.widths.size())) << c.cols.size();
            for (size_t i = 0; i < c.widths.size(); i++) {
                EXPECT_EQ(set.widths[i], c.widths[i]) << i;
                EXPECT_EQ(set.gaps[i], c.gaps[i]) << i;
            }
            Edr_Style_release(s);
        }
        // Past the hundredth entry nothing is taken.
        std::vector<PropColumn> many(130, PropColumn{1, 0});
        Edr_Style *s = columnStyle(doc, root, many);
        ColumnSet set{};
        Columns_compute(s, &rect, 1, &set);
        EXPECT_EQ(set.count, 100);
        // An empty rectangle has one unit of room.
        Rect empty{5, 0, 5, 10};
        Columns_compute(s, &empty, 0, &set);
        EXPECT_EQ(set.count, 1);
        Edr_Style_release(s);
    });
}

namespace {

// What the stand-in content saw: each column's x range and top, and the
// context's index.
struct Seen {
    int32_t x0, x1, top, index;
};
std::vector<Seen> g_seen;
int g_steps = 0;
int g_regions = 0;
LayoutBox *g_nextBox = nullptr;

// Content that fills g_steps columns: records each and asks for the next.
int fillColumns(LayoutBox **box, Edr_Node *, Edr_Style *)
{
    for (int i = 0; i < g_steps; i++) {
        ColumnContext *c = LayoutBox_getColumnContext(*box);
        g_seen.push_back({(*box)->avail[0], (*box)->avail[2], (*box)->avail[3], c ? c->index : -1});
        int moved = 0;
        if (int err = (*box)->overflow(box, &moved))
            return err;
        if (!moved)
            break;
    }
    return Res_ok;
}

// The enclosing overflow: one further region, on another box.
int nextPage(LayoutBox **box, int *moved)
{
    *moved = 0;
    if (g_regions-- <= 0 || !g_nextBox)
        return Res_ok;
    *box = g_nextBox;
    *moved = 1;
    return Res_ok;
}

struct StandInBox {
    LayoutBox box{};
    StandInBox(Edr_Doc *doc, const Rect &area)
    {
        box.context = doc->app;
        box.document = doc;
        box.layers = LayerList_create();
        EXPECT_EQ(FloatArea_create(&area, &box.items), 0);
        box.nestedBlock = fillColumns;
        box.overflow = nextPage;
    }
    ~StandInBox()
    {
        LayerList_freeItems(box.layers);
        LayerList_destroy(box.layers);
        FloatArea_destroy(box.items);
    }
};

} // namespace

TEST_F(ColumnsTest, ContentFlowsThroughTheColumnsThenIntoANewRegionAtColumnZero)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        for (bool rtl : {false, true}) {
            Edr_Style *s = columnStyle(doc, root, {{300, 100}, {300, 100}}, rtl);
            StandInBox first(doc, Rect{0, -1000, 1000, 0});
            StandInBox second(doc, Rect{0, -3000, 1000, -2000});
            first.box.rtl = rtl ? 1 : 0;
            second.box.rtl = first.box.rtl;
            ColumnContext outer{};
            LayoutBox_setColumnContext(&first.box, &outer);
            g_seen.clear();
            g_steps = 6;
            g_regions = 1;
            g_nextBox = &second.box;
            LayoutBox *b = &first.box;
            Rect free{0, -1000, 1000, 0}, used{};
            ASSERT_EQ(Columns_layout(&b, nullptr, s, &free, &used), 0);
            // Two columns here, two in the next region, then no region.
            ASSERT_EQ(g_seen.size(), 4u) << rtl;
            const int32_t left[2] = {0, 400}, right[2] = {1000, 600};
            for (int i = 0; i < 4; i++) {
                int32_t col = i % 2;
                EXPECT_EQ(g_seen[i].index, col) << rtl << i;
                if (rtl) {
                    EXPECT_EQ(g_seen[i].x1, right[col]) << i;
                    EXPECT_EQ(g_seen[i].x0, right[col] - 300) << i;
                } else {
                    EXPECT_EQ(g_seen[i].x0, left[col]) << i;
                    EXPECT_EQ(g_seen[i].x1, left[col] + 300) << i;
                }
                EXPECT_EQ(g_seen[i].top, i < 2 ? 0 : -2000) << i;
            }
            // The flow ended on the second box, which has its own state
            // back; both boxes have the context of the enclosing set.
            EXPECT_EQ(b, &second.box);
            EXPECT_EQ(LayoutBox_getColumnContext(&first.box), &outer);
            EXPECT_EQ(LayoutBox_getColumnContext(&second.box), &outer);
            EXPECT_EQ(second.box.overflow, nextPage);
            EXPECT_EQ(first.box.overflow, nextPage);
            Edr_Style_release(s);
        }
    });
}

TEST_F(ColumnsTest, ShortContentStaysInTheFirstColumnAndTheContextComesBack)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Style *s = columnStyle(doc, root, {{200, 0}, {200, 0}, {200, 0}});
        StandInBox box(doc, Rect{0, -1000, 1000, 0});
        g_seen.clear();
        g_steps = 1;
        g_regions = 0;
        g_nextBox = nullptr;
        LayoutBox *b = &box.box;
        Rect free{100, -1000, 1000, 0}, used{};
        ASSERT_EQ(Columns_layout(&b, nullptr, s, &free, &used), 0);
        ASSERT_GE(g_seen.size(), 1u);
        EXPECT_EQ(g_seen[0].x0, 100);
        EXPECT_EQ(g_seen[0].index, 0);
        EXPECT_EQ(LayoutBox_getColumnContext(&box.box), nullptr);
        // The set takes the width of its columns and the region's height.
        EXPECT_EQ(used.x0, 100);
        EXPECT_EQ(used.x1, 700);
        EXPECT_EQ(used.y0, -1000);
        EXPECT_EQ(used.y1, 0);
        Edr_Style_release(s);
    });
}

namespace {

Rect boxOf(Edr_Doc *doc, const std::u16string &s)
{
    Rect found{};
    Edr_PageEntry *e = nullptr;
    if (Edr_Page_find(&e, doc, 0, 0, 0) != 0)
        return found;
    for (ObjHeader *o = Edr_Page_deref(e)->objects; o; o = Obj_next(o)) {
        if (Obj_itemKind(o) != Obj_itemText)
            continue;
        const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(o));
        if (t->chars && std::u16string(t->chars + t->start, t->count) == s)
            found = Obj_shownBox(o);
    }
    Edr_Page_release(e, 0);
    return found;
}

} // namespace

TEST_F(ColumnsTest, AMultiColumnBlockLaysOutItsTextInTheFirstColumnAfterItsMargin)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *sec = group(doc, root);
        own(doc, sec, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
                  len(PropId_fontSize, kInch / 4)}));
        Edr_Node *block = group(doc, sec);
        StyleRule *r = rule({kw(PropId_display, KwId_columnBlock), len(PropId_marginLeft, kInch)});
        PropColumns *list = nullptr;
        ASSERT_EQ(PropColumns_create(&list, 2), 0);
        list->columns[0] = {2 * kInch, kInch / 2};
        list->columns[1] = {2 * kInch, 0};
        Prop p{};
        Prop_set94(&p, list);
        ASSERT_EQ(StyleRule_appendProp(r, &p), 0);
        PropColumns_free(list);
        own(doc, block, 2, r);
        Edr_Node *t = nullptr;
        const std::u16string words = u"column";
        ASSERT_EQ(Edr_Node_createText(doc, block, Edr_Insert_lastChild, &t, words.c_str(),
                                      uint32_t(words.size())),
                  0);
        Edr_Doc_readLock(doc);
        int err = Layout_document(doc);
        Edr_Doc_readUnlock(doc);
        ASSERT_EQ(err, 0);
        Rect box = boxOf(doc, u"column");
        // The first column starts after the block's left margin.
        EXPECT_GE(box.x0, kInch);
        EXPECT_LE(box.x1, 3 * kInch);
        EXPECT_LT(box.y0, box.y1);
    });
}
