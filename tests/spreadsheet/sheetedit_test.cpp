// The sheet grid as cell editing sees it, on hand-built grids: merged
// ranges, row heights and column widths, cells under a point, the cell
// rectangle and moves (also right to left), the lines free for insertion
// and row-height changes.
#include <gtest/gtest.h>

#include "core/geom/geom.h"
#include "spreadsheet/edit/celledit.h"
#include "viewer/sheetview.h"
#include "spreadsheet/sheetedit.h"
#include "tests/spreadsheet/sheetgrid_support.h"
#include "tests/support/heap_fixture.h"

namespace {

using namespace gridtest;

class SheetEditTest : public LeakCheckedHeapTest<(16u << 20)> {};

// 4 rows of 100, columns 10, 20, 30, 40; B2:C3 merged.
SheetGrid *smallGrid(bool rtl = false)
{
    SheetGrid *g = makeGrid(4, 4, 100, 0, {10, 20, 30, 40});
    setMerged(g, {{1, 1, 2, 2}});
    setCells(g, {{0, 0, Excel_cellOwnText, u"a"},
                 {1, 1, Excel_cellOwnText, u"merged"},
                 {3, 3, Excel_cellNoText, nullptr}});
    g->rightToLeft = rtl ? 1 : 0;
    return g;
}

TEST_F(SheetEditTest, ReadersOfTheGrid)
{
    SheetGrid *g = smallGrid();
    uint32_t row = 2, column = 2;
    ASSERT_NE(Excel_Sheet_findRangeAt(g, &row, &column), nullptr);
    EXPECT_EQ(row, 1u);
    EXPECT_EQ(column, 1u);
    row = 0;
    column = 1;
    EXPECT_EQ(Excel_Sheet_findRangeAt(g, &row, &column), nullptr);
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 0), 100u);
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 3), 100u);
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 4), 0u);
    EXPECT_EQ(Excel_Sheet_getColWidth(g, 2), 30u);
    EXPECT_EQ(Excel_Sheet_getColWidth(g, 9), 0u);
    ASSERT_NE(Excel_Sheet_cellAt(g, 1, 1), nullptr);
    EXPECT_EQ(Excel_Sheet_cellAt(g, 3, 3)->kind, uint32_t(Excel_cellNoText));
    EXPECT_EQ(Excel_Sheet_cellAt(g, 2, 2), nullptr);

    const struct {
        Point p;
        int none;
        uint32_t row, column;
    } points[] = {{{0, 0}, 0, 0, 0},    {{9, 99}, 0, 0, 0},  {{10, 100}, 0, 1, 1},
                  {{99, 399}, 0, 3, 3}, {{100, 0}, 1, 0, 0}, {{0, 400}, 1, 0, 0},
                  {{-1, 5}, 1, 0, 0}};
    for (const auto &c : points) {
        uint32_t r = 0, col = 0;
        EXPECT_EQ(Excel_Sheet_cellAtPoint(g, &c.p, &r, &col), c.none) << c.p.x << "," << c.p.y;
        if (!c.none) {
            EXPECT_EQ(r, c.row);
            EXPECT_EQ(col, c.column);
        }
    }
    Excel_gridLayoutFree(g);
}

TEST_F(SheetEditTest, CellRectanglesAndMoves)
{
    SheetGrid *g = smallGrid();
    Rect r{};
    ASSERT_EQ(Excel_View_cellRect(g, 0, 0, &r), 0);
    EXPECT_EQ(r.x0, 0);
    EXPECT_EQ(r.x1, 10);
    EXPECT_EQ(r.y1, 100);
    ASSERT_EQ(Excel_View_cellRect(g, 2, 2, &r), 0); // inside B2:C3
    EXPECT_EQ(r.x0, 10);
    EXPECT_EQ(r.x1, 60);
    EXPECT_EQ(r.y0, 100);
    EXPECT_EQ(r.y1, 300);
    EXPECT_EQ(Excel_View_cellRect(g, 4, 0, &r), 16);

    const struct {
        uint32_t row, column;
        int32_t dcol, drow;
        uint32_t wantRow, wantColumn;
    } moves[] = {
        {0, 0, -1, 0, 0, 0},                     // at the edge: stays
        {0, 0, 1, 0, 0, 1},  {0, 1, 0, 1, 1, 1}, // into the merged range
        {1, 1, 1, 0, 1, 3},                      // out of the range in one step
        {2, 2, 0, 1, 3, 2},  {1, 1, 0, -1, 0, 1}, {3, 3, 0, 1, 3, 3},
    };
    for (const auto &m : moves) {
        uint32_t row = m.row, column = m.column;
        Excel_View_stepCell(g, &row, &column, m.dcol, m.drow);
        EXPECT_EQ(row, m.wantRow) << m.row << "," << m.column << " by " << m.dcol << "," << m.drow;
        EXPECT_EQ(column, m.wantColumn)
            << m.row << "," << m.column << " by " << m.dcol << "," << m.drow;
    }
    Excel_gridLayoutFree(g);

    // Right to left: columns run from the right edge, and a step to the
    // "right" goes toward lower columns.
    g = smallGrid(true);
    ASSERT_EQ(Excel_View_cellRect(g, 0, 0, &r), 0);
    EXPECT_EQ(r.x0, 90);
    EXPECT_EQ(r.x1, 100);
    uint32_t row = 0, column = 1;
    Excel_View_stepCell(g, &row, &column, 1, 0);
    EXPECT_EQ(column, 0u);
    Point p{95, 10};
    ASSERT_EQ(Excel_Sheet_cellAtPoint(g, &p, &row, &column), 0);
    EXPECT_EQ(column, 0u);
    Excel_gridLayoutFree(g);
}

TEST_F(SheetEditTest, LinesFreeForInsertion)
{
    SheetGrid *g = makeGrid(4, 4, 100, 10);
    setCells(g, {{0, 0, Excel_cellOwnText, u"a"}});
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 0, 1), 0);
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 1, 255), 0);
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 1, 256), 1); // column 0 would leave the sheet
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 0, 0), 0);
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 0, 0xFFFFFFFF), 1);
    Excel_gridLayoutFree(g);

    // Row 65535 holds a value: inserting one row is refused (29).
    g = makeGrid(4, 4, 100, 10);
    setCells(g, {{65535, 2, Excel_cellOwnText, u"last"}});
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 0, 1), 1);
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 1, 1), 0);
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 1, 254), 1);
    Excel_gridLayoutFree(g);

    // A formatted blank and a merged range count as well.
    g = makeGrid(4, 4, 100, 10);
    setCells(g, {{3, 255, Excel_cellNoText, nullptr}});
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 1, 1), 1);
    Excel_gridLayoutFree(g);
    g = makeGrid(4, 4, 100, 10);
    setMerged(g, {{0, 65530, 1, 65531}});
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 0, 5), 1);
    EXPECT_EQ(Excel_Sheet_edgeLinesUsed(g, 0, 4), 0);
    Excel_gridLayoutFree(g);
}

TEST_F(SheetEditTest, RowHeights)
{
    SheetGrid *g = makeGrid(3, 1, 20000, 10);
    // A dialog height of 5000 becomes 10000, 400000 becomes 372245; every
    // later row edge moves with the change.
    ASSERT_EQ(Excel_Sheet_setRowHeight(g, 1, Excel_CellEdit_clampRowHeight(5000)), 0);
    EXPECT_EQ(g->metrics->rowPositions[0], 20000u);
    EXPECT_EQ(g->metrics->rowPositions[1], 30000u);
    EXPECT_EQ(g->metrics->rowPositions[2], 50000u);
    EXPECT_EQ(g->metrics->totalHeight, 50000);
    ASSERT_EQ(Excel_Sheet_setRowHeight(g, 0, Excel_CellEdit_clampRowHeight(400000)), 0);
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 0), 372245u);
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 1), 10000u);
    EXPECT_EQ(g->metrics->rowPositions[2], 402245u);
    EXPECT_EQ(Excel_Sheet_setRowHeight(g, 3, 10000), 16);
    EXPECT_EQ(Excel_Sheet_setRowHeight(nullptr, 0, 10000), 16);
    Excel_gridLayoutFree(g);
}

} // namespace
