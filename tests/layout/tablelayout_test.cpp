// Table layout over tables built through the document model: column widths
// from percentages, fixed layout, given-up fixed widths and spans; row
// spans, collapsed rows, footer groups and captions in a full layout pass;
// the measuring stack guard.
#include <algorithm>
#include <initializer_list>
#include <string>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "layout/tablegrid.h"
#include "document/style/lookup.h"
#include "document/style/style.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/table.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

constexpr int32_t kInch = 0x10000;

class TableLayoutTest : public EdrFixture {};

Edr_Node *part(Edr_Doc *doc, Edr_Node *parent, uint16_t keyword,
               std::initializer_list<Prop> props = {})
{
    Edr_Node *n = group(doc, parent);
    StyleRule *r = rule({kw(PropId_display, keyword)});
    for (const Prop &p : props)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, n, 2, r);
    return n;
}

void text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.c_str(), uint32_t(s.size())),
        0);
}

const LayoutExtra *extra(Edr_Node *n)
{
    return static_cast<const LayoutExtra *>(Edr_Node_getExtra(n));
}

// A box over a 6 by 8 inch area for measuring by hand.
struct HandBox {
    LayoutBox box{};
    explicit HandBox(Edr_Doc *doc)
    {
        box.context = doc->app;
        box.document = doc;
        box.availableWidth = 6 * kInch;
        box.layers = LayerList_create();
        Rect area{0, -8 * kInch, 6 * kInch, 0};
        EXPECT_EQ(FloatArea_create(&area, &box.items), 0);
    }
    ~HandBox()
    {
        LayerList_destroy(box.layers);
        FloatArea_destroy(box.items);
    }
};

// Measures table and resolves its columns for the available width.
struct Resolved {
    int err;
    int32_t columns[8];
    int32_t width;
};

Resolved resolve(Edr_Doc *doc, Edr_Node *table, int32_t available)
{
    Resolved r{};
    HandBox hb(doc);
    Edr_Doc_readLock(doc);
    Edr_Style *s = compute(doc, table);
    int32_t lo = 0, hi = 0;
    r.err = TableLayout_measure(&hb.box, table, s, &lo, &hi);
    LayoutExtra *x = static_cast<LayoutExtra *>(Edr_Node_getExtra(table));
    if (!r.err && x && x->colCount <= 8)
        TableLayout_resolveWidths(&hb.box, x, s, available, r.columns, &r.width);
    Edr_Style_release(s);
    Edr_Doc_readUnlock(doc);
    return r;
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

// The box of the text item showing text on the page of that index (all
// zero when there is none).
Rect boxOn(Edr_Doc *doc, int32_t index, const std::u16string &s)
{
    Rect found{};
    Edr_PageEntry *e = nullptr;
    if (Edr_Page_findByIndex(&e, doc, uint32_t(index), 0) != 0)
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

Rect boxOf(Edr_Doc *doc, const std::u16string &s)
{
    return boxOn(doc, 0, s);
}

bool shown(Edr_Doc *doc, const std::u16string &s)
{
    Rect r = boxOf(doc, s);
    return r.x0 != 0 || r.x1 != 0 || r.y0 != 0 || r.y1 != 0;
}

} // namespace

// ------------------------------------------------------------ widths

TEST_F(TableLayoutTest, PercentagesOverAHundredAreCutInColumnOrder)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, KwId_table, {len(PropId_width, 1000)});
        Edr_Node *r = part(doc, t, KwId_tableRow);
        part(doc, r, KwId_tableCell, {pct(PropId_width, 60)});
        part(doc, r, KwId_tableCell, {pct(PropId_width, 60)});
        part(doc, r, KwId_tableCell, {pct(PropId_width, 30)});
        Resolved res = resolve(doc, t, 6 * kInch);
        ASSERT_EQ(res.err, 0);
        const TableWidths *m = extra(t)->widths[TableWidths_maximum];
        ASSERT_NE(m, nullptr);
        // Asked 60, 60, 30: the second gets what is left, the third nothing.
        EXPECT_EQ(m->percents[0], 60);
        EXPECT_EQ(m->percents[1], 40);
        EXPECT_EQ(m->percents[2], 0);
        EXPECT_NEAR(res.columns[0], 600, 1);
        EXPECT_NEAR(res.columns[1], 400, 1);
        EXPECT_EQ(res.width, 1000);
    });
}

TEST_F(TableLayoutTest, FixedLayoutSizesFromTheFirstRowOnly)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        for (uint16_t layout : {uint16_t(KwId_fixed), uint16_t(KwId_auto)}) {
            Edr_Node *t = part(doc, root, KwId_table, {kw(PropId_tableLayout, layout)});
            Edr_Node *r1 = part(doc, t, KwId_tableRow);
            part(doc, r1, KwId_tableCell, {len(PropId_width, 1000)});
            part(doc, r1, KwId_tableCell, {len(PropId_width, 2000)});
            Edr_Node *r2 = part(doc, t, KwId_tableRow);
            part(doc, r2, KwId_tableCell, {len(PropId_width, 5000)});
            Resolved res = resolve(doc, t, 6 * kInch);
            ASSERT_EQ(res.err, 0);
            const TableWidths *f = extra(t)->widths[TableWidths_fixed];
            EXPECT_EQ(f->widths[0], layout == KwId_fixed ? 1000 : 5000) << layout;
            EXPECT_EQ(f->widths[1], 2000) << layout;
            EXPECT_EQ(res.columns[0], layout == KwId_fixed ? 1000 : 5000) << layout;
        }
    });
}

TEST_F(TableLayoutTest, AFixedColumnWithAWiderAutoCellLosesItsFixedWidth)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = section(doc, root);
        Edr_Node *t = part(doc, s, KwId_table);
        Edr_Node *r1 = part(doc, t, KwId_tableRow);
        part(doc, r1, KwId_tableCell, {len(PropId_width, 100)});
        Edr_Node *r2 = part(doc, t, KwId_tableRow);
        Edr_Node *wide = part(doc, r2, KwId_tableCell);
        text(doc, wide, u"wider than a hundred units");
        // A narrow fixed cell with a narrower auto cell keeps its width.
        Edr_Node *t2 = part(doc, s, KwId_table);
        Edr_Node *q1 = part(doc, t2, KwId_tableRow);
        part(doc, q1, KwId_tableCell, {len(PropId_width, 4 * kInch)});
        Edr_Node *q2 = part(doc, t2, KwId_tableRow);
        Edr_Node *narrow = part(doc, q2, KwId_tableCell);
        text(doc, narrow, u"x");
        ASSERT_EQ(resolve(doc, t, 6 * kInch).err, 0);
        ASSERT_EQ(resolve(doc, t2, 6 * kInch).err, 0);
        EXPECT_EQ(extra(t)->widths[TableWidths_fixed]->widths[0], 0);
        EXPECT_EQ(extra(t2)->widths[TableWidths_fixed]->widths[0], 4 * kInch);
    });
}

TEST_F(TableLayoutTest, ASpanOverColumnsWithoutWidthGivesEachAnEqualShareAndOne)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, KwId_table);
        Edr_Node *r1 = part(doc, t, KwId_tableRow);
        part(doc, r1, KwId_tableCell, {num(97, 3), len(PropId_width, 3000)});
        Edr_Node *r2 = part(doc, t, KwId_tableRow);
        part(doc, r2, KwId_tableCell);
        part(doc, r2, KwId_tableCell);
        part(doc, r2, KwId_tableCell);
        ASSERT_EQ(resolve(doc, t, 6 * kInch).err, 0);
        const TableWidths *f = extra(t)->widths[TableWidths_fixed];
        ASSERT_EQ(f->count, 3);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(f->widths[i], 1001) << i;
    });
}

TEST_F(TableLayoutTest, AColumnWindowTakesTheColumnsThatFitAndSharesTheRest)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, KwId_table);
        Edr_Node *r = part(doc, t, KwId_tableRow);
        part(doc, r, KwId_tableCell, {len(PropId_width, 1000)});
        part(doc, r, KwId_tableCell, {len(PropId_width, 1000)});
        part(doc, r, KwId_tableCell, {len(PropId_width, 1000)});
        ASSERT_EQ(resolve(doc, t, 6 * kInch).err, 0);
        LayoutExtra *x = static_cast<LayoutExtra *>(Edr_Node_getExtra(t));
        const struct {
            int32_t width, start, end, total;
        } cases[] = {
            {2500, 0, 1, 2000}, // two fit, no spare room to share
            {500, 0, 0, 1000},  // at least the first column
            {5000, 1, 2, 2000}, // from a later column to the end
            {5000, 0, 2, 3000}, // every column
        };
        for (const auto &c : cases) {
            int32_t columns[3] = {1000, 1000, 1000};
            int32_t end = -1;
            EXPECT_EQ(TableLayout_columnWindow(x, columns, c.width, c.start, &end), c.total)
                << c.width << " " << c.start;
            EXPECT_EQ(end, c.end) << c.width << " " << c.start;
        }
        // With spare room (maximum above minimum) the rest is shared, each
        // column getting at most its spare room.
        for (int i = 0; i < 3; i++)
            x->widths[TableWidths_minimum]->widths[i] = 1000;
        x->widths[TableWidths_maximum]->widths[0] = 1400;
        x->widths[TableWidths_maximum]->widths[1] = 1100;
        int32_t columns[3] = {1000, 1000, 1000};
        int32_t end = -1;
        EXPECT_EQ(TableLayout_columnWindow(x, columns, 2300, 0, &end), 2300);
        EXPECT_EQ(end, 1);
        EXPECT_EQ(columns[0], 1240); // 300 x 400 / 500
        EXPECT_EQ(columns[1], 1060); // 300 x 100 / 500
    });
}

TEST_F(TableLayoutTest, SpanConstraintsKeepTheirOrderAndTheLargerValues)
{
    TableWidths *w = TableWidths_create();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(TableWidths_add(w, 50, 0, 1, 3), 0);
    ASSERT_EQ(TableWidths_add(w, 70, 10, 2, 2), 0);
    ASSERT_EQ(TableWidths_add(w, 40, 20, 1, 3), 0);
    ASSERT_EQ(TableWidths_add(w, 9, 5, 3, 1), 0);
    EXPECT_EQ(w->count, 4);
    const TableSpan *s = w->spans[3];
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->span, 2);
    EXPECT_EQ(s->width, 70);
    ASSERT_NE(s->next, nullptr);
    EXPECT_EQ(s->next->span, 3);
    EXPECT_EQ(s->next->width, 50);
    EXPECT_EQ(s->next->percent, 20);
    EXPECT_EQ(w->widths[3], 9);
    EXPECT_EQ(w->percents[3], 5);
    Layout_freeTripleBuf(w);
}

TEST_F(TableLayoutTest, RowSpansGrowRowsInProportionOrEvenly)
{
    const struct {
        int32_t rows[3];
        int32_t needed;
        int32_t want[3];
    } cases[] = {
        {{0, 0, 0}, 10, {4, 3, 3}},     // no heights yet: even, adding up
        {{10, 30, 0}, 80, {20, 60, 0}}, // in proportion to the heights
        {{10, 30, 0}, 20, {10, 30, 0}}, // tall enough already
        {{1, 1, 1}, 10, {3, 3, 4}},     // truncation's rest to the last
    };
    for (const auto &c : cases) {
        int32_t rows[3] = {c.rows[0], c.rows[1], c.rows[2]};
        TableLayout_shareSpan(rows, 0, 3, c.needed);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(rows[i], c.want[i]) << c.needed << " " << i;
    }
}

// ------------------------------------------------------------ full layout

TEST_F(TableLayoutTest, CellsSitInTheirColumnsAndRowsBelowEachOther)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = section(doc, root);
        Edr_Node *t = part(doc, s, KwId_table, {len(PropId_width, 4 * kInch)});
        Edr_Node *r1 = part(doc, t, KwId_tableRow);
        Edr_Node *a = part(doc, r1, KwId_tableCell, {num(98, 2), len(PropId_height, 2 * kInch)});
        text(doc, a, u"a");
        Edr_Node *b = part(doc, r1, KwId_tableCell, {kw(PropId_verticalAlign, KwId_top)});
        text(doc, b, u"b");
        Edr_Node *low = part(doc, r1, KwId_tableCell, {kw(PropId_verticalAlign, KwId_bottom)});
        text(doc, low, u"low");
        Edr_Node *r2 = part(doc, t, KwId_tableRow);
        Edr_Node *c = part(doc, r2, KwId_tableCell);
        text(doc, c, u"c");
        Edr_Node *r3 = part(doc, t, KwId_tableRow);
        Edr_Node *d = part(doc, r3, KwId_tableCell);
        text(doc, d, u"d");
        ASSERT_EQ(pass(doc), 0);
        Rect ra = boxOf(doc, u"a"), rb = boxOf(doc, u"b"), rc = boxOf(doc, u"c"),
             rd = boxOf(doc, u"d");
        EXPECT_GT(rb.x0, ra.x1);
        EXPECT_EQ(rc.x0, rb.x0); // pushed right by the row span
        EXPECT_EQ(rd.x0, ra.x0);
        // The two rows under the span share its two inches evenly: the
        // third row starts two inches below the first.
        EXPECT_LE(rc.y1, rb.y0);
        EXPECT_NEAR(double(rb.y1 - rd.y1), 2.0 * kInch, kInch / 8.0);
        // A bottom-aligned cell of the first row ends at the row's bottom,
        // a row's height above the third row's top.
        Rect rl = boxOf(doc, u"low");
        EXPECT_NEAR(double(rl.y1 - rd.y1), 1.0 * kInch + (rl.y1 - rl.y0), kInch / 8.0);
    });
}

TEST_F(TableLayoutTest, ACollapsedRowTakesNoRoomAndIsNotLaidOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = section(doc, root);
        Edr_Node *t = part(doc, s, KwId_table);
        Edr_Node *r1 = part(doc, t, KwId_tableRow);
        text(doc, part(doc, r1, KwId_tableCell), u"one");
        Edr_Node *r2 = part(doc, t, KwId_tableRow, {kw(PropId_visibility, KwId_collapse)});
        text(doc, part(doc, r2, KwId_tableCell, {len(PropId_height, 3 * kInch)}), u"gone");
        Edr_Node *r3 = part(doc, t, KwId_tableRow);
        text(doc, part(doc, r3, KwId_tableCell), u"three");
        ASSERT_EQ(pass(doc), 0);
        EXPECT_FALSE(shown(doc, u"gone"));
        Rect one = boxOf(doc, u"one"), three = boxOf(doc, u"three");
        EXPECT_LE(three.y1, one.y0);
        EXPECT_LT(one.y1 - three.y1, kInch);
    });
}

TEST_F(TableLayoutTest, OnlyTheLastFooterGroupCountsAndComesLast)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = section(doc, root);
        Edr_Node *t = part(doc, s, KwId_table);
        Edr_Node *f1 = part(doc, t, KwId_tableFooterGroup);
        text(doc, part(doc, part(doc, f1, KwId_tableRow), KwId_tableCell), u"early");
        Edr_Node *f2 = part(doc, t, KwId_tableFooterGroup);
        text(doc, part(doc, part(doc, f2, KwId_tableRow), KwId_tableCell), u"foot");
        Edr_Node *body = part(doc, t, KwId_tableRowGroup);
        text(doc, part(doc, part(doc, body, KwId_tableRow), KwId_tableCell), u"body");
        ASSERT_EQ(pass(doc), 0);
        EXPECT_FALSE(shown(doc, u"early"));
        ASSERT_TRUE(shown(doc, u"foot"));
        EXPECT_LE(boxOf(doc, u"foot").y1, boxOf(doc, u"body").y0);
    });
}

TEST_F(TableLayoutTest, ACaptionGoesAboveUnlessAlignedToTheBottom)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = section(doc, root);
        for (uint16_t align : {uint16_t(0), uint16_t(KwId_bottom)}) {
            Edr_Node *t = part(doc, s, KwId_table);
            Edr_Node *cap = align
                                ? part(doc, t, KwId_tableCaption, {kw(PropId_verticalAlign, align)})
                                : part(doc, t, KwId_tableCaption);
            text(doc, cap, align ? u"under" : u"over");
            text(doc, part(doc, part(doc, t, KwId_tableRow), KwId_tableCell),
                 align ? u"cell2" : u"cell1");
        }
        ASSERT_EQ(pass(doc), 0);
        EXPECT_LE(boxOf(doc, u"cell1").y1, boxOf(doc, u"over").y0);
        EXPECT_LE(boxOf(doc, u"under").y1, boxOf(doc, u"cell2").y0);
        // The second table starts below the first and its caption.
        EXPECT_LE(boxOf(doc, u"cell2").y1, boxOf(doc, u"cell1").y0);
    });
}

TEST_F(TableLayoutTest, ATableTallerThanThePageContinuesOnTheNextPage)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = group(doc, root);
        own(doc, s, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
                  len(PropId_height, 3 * kInch), len(PropId_fontSize, kInch / 4)}));
        Edr_Node *t = part(doc, s, KwId_table);
        const std::u16string names[8] = {u"r0", u"r1", u"r2", u"r3", u"r4", u"r5", u"r6", u"r7"};
        for (const auto &name : names) {
            Edr_Node *r = part(doc, t, KwId_tableRow);
            text(doc, part(doc, r, KwId_tableCell, {len(PropId_height, kInch / 2)}), name);
        }
        ASSERT_EQ(pass(doc), 0);
        uint32_t pages = 0;
        Edr_Page_count(doc, &pages);
        EXPECT_GE(pages, 2u);
        // The first rows are on the first page, the last on the second,
        // starting again at its top.
        EXPECT_TRUE(shown(doc, u"r0"));
        EXPECT_FALSE(shown(doc, u"r7"));
        Rect last = boxOn(doc, 1, u"r7");
        EXPECT_LT(last.y0, last.y1);
        int32_t firstOnNext = -1;
        for (int32_t i = 0; i < 8; i++)
            if (firstOnNext < 0 && !shown(doc, names[i]))
                firstOnNext = i;
        ASSERT_GT(firstOnNext, 0);
        Rect top = boxOn(doc, 1, names[firstOnNext]);
        EXPECT_GT(top.y1, -kInch);
        // Every row is shown once.
        for (int32_t i = 0; i < 8; i++)
            EXPECT_NE(shown(doc, names[i]),
                      boxOn(doc, 1, names[i]).y1 != boxOn(doc, 1, names[i]).y0)
                << i;
    });
}

TEST_F(TableLayoutTest, ACellTallerThanThePageIsSplitAcrossPages)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = group(doc, root);
        own(doc, s, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
                  len(PropId_height, 2 * kInch), len(PropId_fontSize, kInch / 4)}));
        Edr_Node *t = part(doc, s, KwId_table);
        Edr_Node *cell = part(doc, part(doc, t, KwId_tableRow), KwId_tableCell);
        std::u16string lines[12];
        for (int i = 0; i < 12; i++) {
            lines[i] = u"line" + std::u16string(1, char16_t(u'a' + i));
            text(doc, part(doc, cell, KwId_block), lines[i]);
        }
        ASSERT_EQ(pass(doc), 0);
        uint32_t pages = 0;
        Edr_Page_count(doc, &pages);
        ASSERT_GE(pages, 2u);
        // Every line is shown on exactly one page, in order down the pages.
        int32_t lastPage = 0;
        for (int i = 0; i < 12; i++) {
            int found = 0, page = -1;
            for (uint32_t k = 0; k < pages; k++) {
                Rect r = boxOn(doc, int32_t(k), lines[i]);
                if (r.y0 != r.y1) {
                    found++;
                    page = int32_t(k);
                    EXPECT_GE(r.y0, -2 * kInch) << i;
                }
            }
            EXPECT_EQ(found, 1) << i;
            EXPECT_GE(page, lastPage) << i;
            lastPage = std::max(lastPage, page);
        }
        EXPECT_GE(lastPage, 1);
    });
}

// ------------------------------------------------------------ guard

namespace {

int deepMeasure(LayoutBox *box, Edr_Node *node, Edr_Style *style, int depth)
{
    volatile char frame[2048];
    frame[0] = char(depth);
    if (Edr_Style_stackLeft(box->document) > 32 * 1024 && depth < 100000)
        return deepMeasure(box, node, style, depth + 1) + frame[0] * 0;
    int32_t lo = 0, hi = 0;
    return TableLayout_measure(box, node, style, &lo, &hi);
}

} // namespace

TEST_F(TableLayoutTest, MeasuringWithTooLittleStackLeftFailsCleanly)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, KwId_table);
        text(doc, part(doc, part(doc, t, KwId_tableRow), KwId_tableCell), u"x");
        HandBox hb(doc);
        Edr_Doc_readLock(doc);
        Edr_Style *style = compute(doc, t);
        EXPECT_EQ(deepMeasure(&hb.box, t, style, 0), int(Res_stackExhausted));
        EXPECT_EQ(extra(t), nullptr);
        int32_t lo = 0, hi = 0;
        EXPECT_EQ(TableLayout_measure(&hb.box, t, style, &lo, &hi), 0);
        EXPECT_GT(hi, 0);
        Edr_Style_release(style);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(TableLayoutTest, DeeplyNestedTablesLayOutWithoutACrash)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *s = section(doc, root);
        Edr_Node *parent = s;
        for (int i = 0; i < 400; i++) {
            Edr_Node *t = part(doc, parent, KwId_table);
            parent = part(doc, part(doc, t, KwId_tableRow), KwId_tableCell);
        }
        text(doc, parent, u"deep");
        int err = pass(doc);
        EXPECT_TRUE(err == 0 || err == int(Res_stackExhausted)) << err;
    });
}
