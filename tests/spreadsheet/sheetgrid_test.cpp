// Sheet grid records: creation over the metrics (one edge list more than
// rows and columns each way), clearing and freeing without leaks (shared
// texts kept, overflow entries and owned records freed, tagged lists
// disposed of), creation under out of memory, and the column widths.
#include <gtest/gtest.h>

#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/sheetspan.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/sheetgrid_support.h"
#include "tests/support/heap_fixture.h"

using namespace gridtest;

namespace {

class SheetGridTest : public LeakCheckedHeapTest<> {};

TEST_F(SheetGridTest, CreationGivesEmptyTablesAndOneEdgeListMoreEachWay)
{
    for (uint32_t n : {0u, 3u}) {
        SheetGrid *g = makeGrid(n, n + 1, 100, 200);
        ASSERT_NE(g->edgeLists, nullptr);
        ASSERT_NE(g->edgeLists->rows, nullptr);
        ASSERT_NE(g->edgeLists->columns, nullptr);
        // Lists 0..n and 0..n+1 exist and are empty (the sanitizer build
        // catches a shorter array).
        for (uint32_t r = 0; r <= n; r++)
            EXPECT_EQ(g->edgeLists->rows[r].count, 0u);
        for (uint32_t c = 0; c <= n + 1; c++)
            EXPECT_EQ(g->edgeLists->columns[c].segments, nullptr);
        EXPECT_EQ(g->cellTable->count, 0u);
        EXPECT_EQ(g->cellTable->merged, nullptr);
        EXPECT_EQ(g->fillTable->count, 0u);
        EXPECT_EQ(g->formatTable->count, 0u);
        EXPECT_EQ(g->workbook, nullptr);
        EXPECT_EQ(g->rightToLeft, 0u);
        Excel_gridLayoutFree(g);
    }
}

TEST_F(SheetGridTest, CreationRefusesAMissingGridOrMetrics)
{
    SheetMetrics m{};
    EXPECT_EQ(Excel_gridLayoutCreate(&m, nullptr), Res_noMemory);
    SheetGrid g{};
    g.workbook = reinterpret_cast<ExcelWorkbook *>(&m);
    EXPECT_EQ(Excel_gridLayoutCreate(nullptr, &g), Res_noMemory);
    EXPECT_EQ(g.workbook, nullptr); // the link is cleared first
}

TEST_F(SheetGridTest, CreationUnderOutOfMemoryLeavesNothingBehind)
{
    SheetMetrics m{};
    m.rowCount = 5;
    m.columnCount = 7;
    for (uint64_t n = 1;; n++) {
        SheetGrid g{};
        Mem_failAfter(n);
        int err = Excel_gridLayoutCreate(&m, &g);
        Mem_failAfter(0);
        if (err == Res_ok) {
            Excel_gridLayoutClear(&g);
            EXPECT_GE(n, 7u); // six records and the loop's last try
            break;
        }
        EXPECT_EQ(err, Res_noMemory);
        EXPECT_EQ(g.edgeLists, nullptr);
        EXPECT_EQ(g.cellTable, nullptr);
        EXPECT_EQ(g.fillTable, nullptr);
        EXPECT_EQ(g.formatTable, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << n;
    }
}

int disposed = 0;
void countDisposal(TaggedRecord *r)
{
    disposed += int(r->words[0]);
}

// A fully filled grid is cleared and freed without a leak or a use after
// free: overflow entries and their texts, fill corners and angle pairs,
// format rules, segments of every list, formulas, width cells and tagged
// records all go; a shared text stays with its owner.
TEST_F(SheetGridTest, FillClearAndFreeReleaseEverythingButSharedTexts)
{
    static char16_t shared[] = u"shared";
    SheetGrid *g = makeGrid(2, 2, 100, 200);
    setCells(g, {{0, 0, 1, u"own"}, {0, 1, Excel_cellSharedText, shared}, {1, 0, 4, nullptr}});
    // Overflow runs on an owning and on a shared cell.
    for (uint32_t i : {0u, 1u}) {
        ExcelCell *o = static_cast<ExcelCell *>(Mem_calloc(1, sizeof(ExcelCell)));
        o->kind = 1;
        o->text = heapText(u"run");
        ExcelCell *o2 = static_cast<ExcelCell *>(Mem_calloc(1, sizeof(ExcelCell)));
        o2->kind = Excel_cellSharedText;
        o2->text = shared;
        o->next = o2;
        g->cellTable->cells[i].next = o;
    }
    setMerged(g, {{0, 0, 1, 0}});
    setFills(g, {{{0, 0}, true, {1, 1}, 1, 2, 0, true, {10, -10}},
                 {{1, 1}, false, {}, 3, 4, 2, false, {}}});
    setSegments(&g->edgeLists->rows[2], {{0, 1, 1, 8, 0, 0}});
    setSegments(&g->edgeLists->columns[0], {{0, 1, 2, 9, 0, 0}});
    g->formatTable->count = 2;
    g->formatTable->rules = static_cast<StyleRule **>(Mem_calloc(2, sizeof(StyleRule *)));
    SheetFormula *f = static_cast<SheetFormula *>(Mem_calloc(1, sizeof(SheetFormula)));
    f->tokens = static_cast<uint8_t *>(Mem_malloc(4));
    f->length = 4;
    f->next =
        static_cast<SheetFormula *>(Mem_calloc(1, sizeof(SheetFormula))); // length 0: no tokens
    g->formulaCells = f;
    g->widthCells = static_cast<ExcelCellEdit *>(Mem_calloc(1, sizeof(ExcelCellEdit)));
    g->widthCells->next = static_cast<ExcelCellEdit *>(Mem_calloc(1, sizeof(ExcelCellEdit)));
    const char payload[] = "payload";
    disposed = 0;
    ASSERT_EQ(
        TaggedList_append(&g->taggedLists, countDisposal, 1, 0, 0, 0, payload, sizeof payload), 0);
    ASSERT_EQ(TaggedList_append(&g->taggedLists, countDisposal, 10, 0, 0, 0, nullptr, 0), 0);
    ASSERT_EQ(TaggedList_append(&g->taggedLists, nullptr, 100, 0, 0, 0, payload, 3), 0);

    Excel_gridLayoutClear(g);
    EXPECT_EQ(disposed, 11); // the null tag calls nothing
    EXPECT_EQ(g->cellTable, nullptr);
    EXPECT_EQ(g->fillTable, nullptr);
    EXPECT_EQ(g->formatTable, nullptr);
    EXPECT_EQ(g->edgeLists, nullptr);
    EXPECT_EQ(g->formulaCells, nullptr);
    EXPECT_EQ(g->widthCells, nullptr);
    EXPECT_EQ(g->taggedLists, nullptr);
    EXPECT_EQ(std::u16string(shared), u"shared");
    Excel_gridLayoutClear(g); // a second clear finds nothing to free
    Excel_gridLayoutFree(g);
}

TEST_F(SheetGridTest, FreeIgnoresNullAndFreesAGridWithoutMetrics)
{
    Excel_gridLayoutFree(nullptr);
    SheetGrid *g = makeGrid(1, 1, 10, 10);
    Excel_gridLayoutClear(g);
    SheetMetrics *m = g->metrics;
    Mem_free(m->rawWidths);
    Mem_free(m->rowPositions);
    Mem_free(m->columnWidths);
    Mem_free(m);
    g->metrics = nullptr;
    Excel_gridLayoutFree(g);
}

TEST_F(SheetGridTest, ColumnWidthsFollowTheScaleAndKeepOldValuesWithoutOne)
{
    SheetGrid *g = makeGrid(1, 4, 10, 0);
    SheetMetrics *m = g->metrics;
    const uint16_t raw[4] = {0, 256, 512 + 128, 65280};
    for (int i = 0; i < 4; i++)
        m->rawWidths[i] = raw[i];
    for (int32_t scale : {0, -5}) {
        m->scale = scale;
        m->totalWidth = 77;
        Excel_colWidthsCompute(g);
        EXPECT_EQ(m->totalWidth, 77);
        EXPECT_EQ(m->columnWidths[1], 0u);
    }
    m->scale = 1000;
    Excel_colWidthsCompute(g);
    const uint32_t want[4] = {3494, 1000 + 3494, 2500 + 3494, 255000 + 3494};
    uint32_t total = 0;
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(m->columnWidths[i], want[i]) << i;
        total += want[i];
    }
    EXPECT_EQ(m->totalWidth, int32_t(total));
    Excel_colWidthsCompute(nullptr);
    Excel_gridLayoutFree(g);
}

TEST_F(SheetGridTest, CellTableIndexFindsACellOrWhereItWouldGo)
{
    ExcelCell cells[4] = {};
    const uint32_t keys[4][2] = {{0, 2}, {1, 0}, {1, 5}, {7, 1}};
    for (int i = 0; i < 4; i++) {
        cells[i].row = keys[i][0];
        cells[i].column = keys[i][1];
    }
    SheetCellTable table{4, cells, nullptr, 0};
    const struct {
        uint32_t row, column, index;
    } cases[] = {
        {0, 0, 0}, {0, 2, 0}, {0, 3, 1}, {1, 0, 1}, {1, 4, 2},
        {1, 5, 2}, {2, 0, 3}, {7, 1, 3}, {7, 2, 4}, {9, 0, 4},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Excel_cellTableIndex(&table, c.row, c.column), c.index)
            << c.row << "," << c.column;
    SheetCellTable empty{3, nullptr, nullptr, 0};
    EXPECT_EQ(Excel_cellTableIndex(&empty, 1, 1), 0u);
    EXPECT_EQ(Excel_cellTableIndex(nullptr, 1, 1), 0u);
}

} // namespace
