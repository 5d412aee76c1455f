// The table grid builder over small hand-worked tables: rows and columns
// of cells under row spans, column groups, footers, spans out of range,
// nested tables and captions.
#include <climits>
#include <initializer_list>

#include "core/mem/mem.h"
#include "core/result.h"
#include "layout/tablegrid.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class TableGridTest : public EdrFixture {};

// A group under parent with display keyword kw and the further values.
Edr_Node *part(Edr_Doc *doc, Edr_Node *parent, uint16_t keyword,
               std::initializer_list<Prop> props = {})
{
    Edr_Node *n = group(doc, parent);
    StyleRule *r = rule({kw(34, keyword)});
    for (const Prop &p : props)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, n, 2, r);
    return n;
}

const LayoutExtra *extra(Edr_Node *n)
{
    return static_cast<const LayoutExtra *>(Edr_Node_getExtra(n));
}

// Builds the grid of table under the read lock.
int build(Edr_Doc *doc, Edr_Node *table, TableBuilder *builder = nullptr)
{
    TableBuilder local{};
    if (!builder) {
        TableBuilder_init(&local, doc);
        builder = &local;
    }
    Edr_Doc_readLock(doc);
    Edr_Style *s = nullptr;
    int err = Edr_Style_computeForNode(doc, &s, nullptr, table);
    if (!err)
        err = Table_buildGrid(builder, table, s);
    Edr_Style_release(s);
    Edr_Doc_readUnlock(doc);
    return err;
}

void expectCell(Edr_Node *cell, int32_t row, int32_t column)
{
    ASSERT_NE(extra(cell), nullptr);
    EXPECT_EQ(extra(cell)->row, row);
    EXPECT_EQ(extra(cell)->column, column);
}

} // namespace

TEST_F(TableGridTest, RowSpanPushesTheNextRowsCellsRight)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, TableKw_table);
        Edr_Node *body = part(doc, t, TableKw_rowGroup);
        Edr_Node *r1 = part(doc, body, TableKw_row);
        Edr_Node *a = part(doc, r1, TableKw_cell, {num(98, 2)});
        Edr_Node *b = part(doc, r1, TableKw_cell);
        Edr_Node *r2 = part(doc, body, TableKw_row);
        Edr_Node *c = part(doc, r2, TableKw_cell);
        Edr_Node *d = part(doc, r2, TableKw_cell, {num(97, 2)});
        Edr_Node *r3 = part(doc, body, TableKw_row);
        Edr_Node *e = part(doc, r3, TableKw_cell);
        ASSERT_EQ(build(doc, t), 0);
        expectCell(a, 0, 0);
        expectCell(b, 0, 1);
        expectCell(c, 1, 1);
        expectCell(d, 1, 2);
        expectCell(e, 2, 0);
        EXPECT_EQ(extra(a)->rowSpan, 2);
        EXPECT_EQ(extra(d)->columnSpan, 2);
        EXPECT_EQ(extra(r1)->row, 0);
        EXPECT_EQ(extra(r3)->row, 2);
        EXPECT_EQ(extra(t)->rowCount, 3);
        EXPECT_EQ(extra(t)->colCount, 4);
        EXPECT_EQ(extra(c)->flags & 0x3FF, uint32_t(TableKw_cell));
    });
}

TEST_F(TableGridTest, ColumnGroupMergesChildStylesAndMarksItsLastColumn)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, TableKw_table);
        part(doc, t, TableKw_column, {len(90, 111)});
        Edr_Node *g = part(doc, t, TableKw_columnGroup, {num(97, 3), len(90, 500)});
        part(doc, g, TableKw_column, {len(44, 7)});
        part(doc, g, TableKw_column, {len(90, 9)});
        Edr_Node *r = part(doc, t, TableKw_row);
        part(doc, r, TableKw_cell);
        ASSERT_EQ(build(doc, t), 0);
        const LayoutExtra *x = extra(t);
        ASSERT_EQ(x->columnCount, 4u);
        EXPECT_EQ(lengthOf(x->columns[0].style, 90), 111);
        // Entry 1: the first child's height over the group's width.
        EXPECT_EQ(lengthOf(x->columns[1].style, 90), 500);
        EXPECT_EQ(lengthOf(x->columns[1].style, 44), 7);
        // Entry 2: the second child's width wins.
        EXPECT_EQ(lengthOf(x->columns[2].style, 90), 9);
        // Entry 3 keeps the group's.
        EXPECT_EQ(lengthOf(x->columns[3].style, 90), 500);
        const uint32_t first[4] = {0, 1, 0, 0}, last[4] = {0, 0, 0, 1};
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(x->columns[i].firstOfGroup, first[i]) << i;
            EXPECT_EQ(x->columns[i].lastOfGroup, last[i]) << i;
        }
        EXPECT_EQ(x->colCount, 1);
    });
}

TEST_F(TableGridTest, FooterGroupComesLastEvenWhenWrittenFirst)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, TableKw_table);
        Edr_Node *foot = part(doc, t, TableKw_footerGroup);
        Edr_Node *f = part(doc, part(doc, foot, TableKw_row), TableKw_cell);
        Edr_Node *head = part(doc, t, TableKw_headerGroup);
        Edr_Node *h = part(doc, part(doc, head, TableKw_row), TableKw_cell);
        Edr_Node *body = part(doc, t, TableKw_rowGroup);
        Edr_Node *b1 = part(doc, part(doc, body, TableKw_row), TableKw_cell);
        Edr_Node *b2 = part(doc, part(doc, body, TableKw_row), TableKw_cell);
        ASSERT_EQ(build(doc, t), 0);
        expectCell(h, 0, 0);
        expectCell(b1, 1, 0);
        expectCell(b2, 2, 0);
        expectCell(f, 3, 0);
        EXPECT_EQ(extra(t)->rowCount, 4);
    });
}

TEST_F(TableGridTest, SpansOutOfRangeAreTakenAsOneOrClamped)
{
    struct Case {
        Prop span;
        int32_t columns;
    };
    const Case cases[] = {
        {num(97, 0), 1},
        {num(97, -4), 1},
        {num(97, INT32_MAX), Table_maxColumnSpan},
        {len(97, 2 * 65536 + 32768), 2}, // a length: (value + 256) / 65536
        {len(97, 65536 - 256), 1},
        {len(97, -3 * 65536), 1},
        {pct(97, 300), 1},
    };
    for (const Case &k : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *t = part(doc, root, TableKw_table);
            Edr_Node *r = part(doc, t, TableKw_row);
            Edr_Node *a = part(doc, r, TableKw_cell, {k.span, num(98, INT32_MAX)});
            Edr_Node *b = part(doc, r, TableKw_cell);
            ASSERT_EQ(build(doc, t), 0);
            EXPECT_EQ(extra(a)->columnSpan, k.columns);
            expectCell(b, 0, k.columns);
            EXPECT_EQ(extra(t)->colCount, k.columns + 1);
            EXPECT_EQ(extra(a)->rowSpan, int32_t(Table_maxRowSpan));
            EXPECT_EQ(extra(t)->rowCount, int32_t(Table_maxRowSpan));
        });
    }
}

TEST_F(TableGridTest, SizesFromLengthsPercentagesAndPixels)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, TableKw_table, {num(90, 960), pct(44, 40)});
        Edr_Node *r = part(doc, t, TableKw_row, {len(44, 3000)});
        Edr_Node *a = part(doc, r, TableKw_cell, {len(90, 1234), num(44, 10)});
        Edr_Node *b = part(doc, r, TableKw_cell, {num(90, INT32_MAX)});
        ASSERT_EQ(build(doc, t), 0);
        EXPECT_EQ(extra(t)->width, 655360);
        EXPECT_EQ(extra(t)->height, 0);
        EXPECT_EQ(extra(t)->heightPercent, 40);
        EXPECT_EQ(extra(a)->width, 1234);
        // The row's height replaces the cell's own.
        EXPECT_EQ(extra(a)->height, 3000);
        // Pixels times 65536 / 96 in 64 bits, held at the largest length.
        EXPECT_EQ(extra(b)->width, INT32_MAX);
    });
}

TEST_F(TableGridTest, NestedTablesAndCaptions)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, TableKw_table);
        Edr_Node *cap = part(doc, t, TableKw_caption);
        Edr_Node *r = part(doc, t, TableKw_row);
        Edr_Node *outer = part(doc, r, TableKw_cell);
        Edr_Node *wrap = part(doc, outer, 39);
        Edr_Node *inner = part(doc, wrap, TableKw_table);
        Edr_Node *ir = part(doc, inner, TableKw_row);
        part(doc, ir, TableKw_cell);
        Edr_Node *i2 = part(doc, ir, TableKw_cell);
        Edr_Node *ir2 = part(doc, inner, TableKw_row);
        Edr_Node *i3 = part(doc, ir2, TableKw_cell);
        Edr_Node *next = part(doc, r, TableKw_cell);
        ASSERT_EQ(build(doc, t), 0);
        EXPECT_EQ(extra(t)->caption, cap);
        EXPECT_EQ(extra(t)->rowCount, 1);
        EXPECT_EQ(extra(t)->colCount, 2);
        expectCell(next, 0, 1);
        ASSERT_NE(extra(inner), nullptr);
        EXPECT_EQ(extra(inner)->rowCount, 2);
        EXPECT_EQ(extra(inner)->colCount, 2);
        expectCell(i2, 0, 1);
        expectCell(i3, 1, 0);
        // A caption is not a row.
        EXPECT_EQ(extra(cap), nullptr);
    });
}

TEST_F(TableGridTest, CellHookSeesEveryCellAndItsErrorEndsTheBuild)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, TableKw_table);
        Edr_Node *r = part(doc, t, TableKw_row);
        part(doc, r, TableKw_cell);
        part(doc, r, TableKw_cell);
        TableBuilder b{};
        TableBuilder_init(&b, doc);
        b.cellHook = [](TableBuilder *, Edr_Node *, Edr_Node *, Edr_Style *, int32_t column) {
            return column == 1 ? 77 : 0;
        };
        EXPECT_EQ(build(doc, t, &b), 77);
        // A rebuild without the hook starts from clean records.
        EXPECT_EQ(build(doc, t), 0);
        EXPECT_EQ(extra(t)->colCount, 2);
        Table_dropExtras(ctx(), t);
        EXPECT_EQ(extra(t), nullptr);
        EXPECT_EQ(extra(r), nullptr);
    });
}

namespace {

// Recurses with a sizeable frame, building the grid at every level, until
// the walk's stack guard refuses.
int descend(TableBuilder *b, Edr_Node *table, Edr_Style *style, int depth, int *levels)
{
    volatile char frame[4096];
    frame[0] = char(depth);
    int err = Table_buildGrid(b, table, style);
    if (err)
        return err;
    ++*levels;
    if (depth > 100000)
        return -1;
    return descend(b, table, style, depth + 1, levels) + frame[0] * 0;
}

} // namespace

TEST_F(TableGridTest, StackGuardReportsInsteadOfCuttingTheGrid)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = part(doc, root, TableKw_table);
        part(doc, part(doc, t, TableKw_row), TableKw_cell);
        TableBuilder b{};
        TableBuilder_init(&b, doc);
        int levels = 0;
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, t), 0);
        EXPECT_EQ(descend(&b, t, s, 0, &levels), int(Res_stackExhausted));
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
        EXPECT_GT(levels, 0);
        AppMsg_drain(ctx()->eventProc);
    });
}
