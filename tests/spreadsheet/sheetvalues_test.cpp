// The values behind loaded cells: the sheet store keeps the numbers,
// integers, truth values and errors of a LibreOffice workbook (RK, NUMBER,
// BOOLERR records and cached formula results) beside their display texts;
// formulas typed over them and chart bindings read those values; the
// values follow inserted and deleted rows and columns, and a cell edited
// to something else no longer answers its loaded value.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/edit/celledit.h"
#include "core/text/ustr.h"
#include "document/style/value.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/sheet_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

// loaded_values.xls (make_value_fixtures.py), sheet "Values":
//   1        2.5       1234567.891 (#,##0.00)   TRUE
//   2        -0.75     2024-01-28               FALSE
//   4        =A1+B1    =A1>0                    =1/0
//   "12"     ="ab"&"cd" 5.0%
class SheetValues : public LaidOutSheetTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LaidOutSheetTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(layoutFixture("loaded_values.xls"));
    }

    // The loaded value as "kind:value" ("-" for none).
    std::string value(uint32_t row, uint32_t column)
    {
        double v = 0;
        uint32_t kind = Excel_Sheet_valueAt(grid, row, column, &v);
        if (!kind)
            return "-";
        char buf[64];
        snprintf(buf, sizeof buf, "%u:%.17g", kind, v);
        return buf;
    }
};

TEST_F(SheetValues, LoadedCellsKeepTheirValues)
{
    struct Case {
        uint32_t row, column;
        const char *value; // kind (1 boolean, 2 integer, 3 number, 4 error):value
        const char *shown;
    } cases[] = {
        {0, 0, "2:1", "1"},                             // RK integer
        {0, 1, "3:2.5", "2.5"},                         // RK number
        {0, 2, "3:1234567.8910000001", "1,234,567.89"}, // NUMBER under its format
        {0, 3, "1:1", "TRUE"},                          // BOOLERR
        {1, 3, "1:0", "FALSE"},
        {1, 1, "3:-0.75", "-0.75"},
        {1, 2, "2:45319", "2024-01-28"}, // a date is its serial number
        {2, 1, "3:3.5", "3.5"},          // cached formula results
        {2, 2, "1:1", "TRUE"},
        {2, 3, "4:7", "#DIV/0!"},
        {3, 2, "3:0.050000000000000003", "5.0%"},
        {3, 0, "-", "12"}, // texts have no value
        {3, 1, "-", "abcd"},
        {5, 5, "-", "<none>"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(value(c.row, c.column), c.value) << c.row << "," << c.column;
        EXPECT_EQ(shown(c.row, c.column), c.shown) << c.row << "," << c.column;
    }
    // What the evaluator's cell reader answers, before any recalculation
    // (which would evaluate the loaded formulas again): values with their
    // XF's number format, texts (a cached formula text too) as texts.
    struct Read {
        uint32_t row, column, type;
        double number;
        const char *text;
    } reads[] = {
        {0, 0, Excel_cellInteger, 1, nullptr}, {0, 2, Excel_cellNumber, 1234567.891, nullptr},
        {0, 3, Excel_cellBoolean, 1, nullptr}, {2, 3, Excel_cellError, 7, nullptr},
        {3, 0, Excel_cellText, 0, "12"},       {3, 1, Excel_cellText, 0, "abcd"},
        {9, 9, Excel_cellNone, 0, nullptr},
    };
    for (const Read &r : reads) {
        SCOPED_TRACE(std::to_string(r.row) + "," + std::to_string(r.column));
        Excel_FormulaCell cell{};
        ASSERT_EQ(Excel_Sheet_formulaCell(grid, r.row, r.column, &cell), 0);
        EXPECT_EQ(cell.type, r.type);
        if (r.type == Excel_cellInteger) {
            EXPECT_EQ(cell.value.integer, int32_t(r.number));
        } else if (r.type == Excel_cellNumber) {
            EXPECT_EQ(cell.value.number, r.number);
        } else if (r.type == Excel_cellBoolean) {
            EXPECT_EQ(cell.value.boolean, uint32_t(r.number));
        } else if (r.type == Excel_cellError) {
            EXPECT_EQ(cell.value.error, uint8_t(r.number));
        } else if (r.type == Excel_cellText) {
            std::string t;
            for (const char16_t *p = cell.value.text; p && *p; p++)
                t += char(*p);
            EXPECT_EQ(t, r.text);
        }
    }
    Excel_FormulaCell c1{};
    ASSERT_EQ(Excel_Sheet_formulaCell(grid, 0, 2, &c1), 0);
    const ExcelCell *entry = Excel_Sheet_cellAt(grid, 0, 2);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(c1.format, grid->workbook->xfs[entry->xf].formatIndex);
    EXPECT_NE(c1.format, 0); // "#,##0.00", not General
    // A cell sized table: one value per loaded number, truth value or error.
    EXPECT_EQ(grid->values.count, 13u);
    EXPECT_EQ(grid->values.capacity, 13u);
}

TEST_F(SheetValues, FormulasTypedOverLoadedCells)
{
    struct Case {
        const char *formula;
        const char *shown;
    } cases[] = {
        {"=SUM(A1:A3)", "7"},
        {"=C1*2", "2,469,135.78"}, // the value, not "1,234,567.89", under C1's format
        {"=B3+1", "4.5"},          // a cached formula result
        {"=IF(D1,1,2)+IF(D2,10,20)", "21"},
        {"=D3", "#DIV/0!"}, // a cached error travels on
        {"=C3", "TRUE"},
        {"=A4", "12"},           // a loaded text
        {"=C2+1", "2024-01-29"}, // the date's format comes with it
        {"=C4*2", "10.0%"},
        {"=SUM(A1:D2)", "1279891.641"},  // truth values in a range are not summed
        {"=COUNTIF(A1:C3,\">0\")", "7"}, // numbers only, not the truth value
    };
    for (const Case &c : cases) {
        ASSERT_EQ(set(5, 0, c.formula), 0) << c.formula;
        EXPECT_EQ(shown(5, 0), c.shown) << c.formula;
    }
    // The typed formula's own cell reads back as its result.
    ASSERT_EQ(set(5, 0, "=SUM(A1:A3)"), 0);
    ASSERT_EQ(set(5, 1, "=A6*10"), 0);
    EXPECT_EQ(shown(5, 1), "70");
    // Editing an input recalculates from the loaded values around it.
    ASSERT_EQ(set(1, 0, "20"), 0);
    EXPECT_EQ(shown(5, 0), "25");
    EXPECT_EQ(shown(5, 1), "250");
}

TEST_F(SheetValues, EditedCellsDropTheirLoadedValues)
{
    ASSERT_EQ(set(5, 0, "=SUM(A1:A3)"), 0);
    ASSERT_EQ(shown(5, 0), "7");
    // A loaded number edited to text counts no more; so is a cleared one.
    ASSERT_EQ(set(0, 0, "abc"), 0);
    EXPECT_EQ(value(0, 0), "-");
    EXPECT_EQ(shown(5, 0), "6");
    ASSERT_EQ(set(1, 0, ""), 0);
    EXPECT_EQ(value(1, 0), "-");
    EXPECT_EQ(shown(1, 0), "");
    EXPECT_EQ(shown(5, 0), "4");
    // A formula typed over a loaded number replaces it with its result.
    ASSERT_EQ(set(2, 0, "=B1*4"), 0);
    EXPECT_EQ(value(2, 0), "-");
    EXPECT_EQ(shown(5, 0), "10");
    // The store's own edits drop the value too.
    ExcelCellEdit *e = Excel_editNew(Excel_editBoolean, 0, 1, nullptr);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, e, 0), 0);
    EXPECT_EQ(value(0, 1), "-");
    ASSERT_EQ(Excel_Sheet_setCellText(grid, 1, 1, 0, u"text"), 0);
    EXPECT_EQ(value(1, 1), "-");
    // Values of other cells stay.
    EXPECT_EQ(value(0, 2), "3:1234567.8910000001");
}

TEST_F(SheetValues, RecalculationStoresOnlyChangedResults)
{
    // A typed formula recalculates the sheet: the loaded =A1+B1 gives what
    // it was loaded with and stays a loaded value without a pending edit.
    ASSERT_EQ(set(5, 0, "=A3*2"), 0);
    EXPECT_EQ(shown(5, 0), "8");
    ExcelCellEdit *e = nullptr;
    const char16_t *text = nullptr;
    uint16_t xf = 0;
    ASSERT_EQ(Excel_Sheet_getCellEdit(grid, 2, 1, &e, &text, &xf), 0);
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(value(2, 1), "3:3.5");
    // Its input changes: the new result is stored and shown.
    ASSERT_EQ(set(0, 0, "10"), 0);
    ASSERT_EQ(Excel_Sheet_getCellEdit(grid, 2, 1, &e, &text, &xf), 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->value.number, 12.5);
    EXPECT_EQ(shown(2, 1), "12.5");
    EXPECT_EQ(value(2, 1), "-");
    // Back to the loaded input: the result is 3.5 again, now as an edit.
    ASSERT_EQ(set(0, 0, "1"), 0);
    EXPECT_EQ(shown(2, 1), "3.5");
}

TEST_F(SheetValues, FormulasNothingHereEvaluatesKeepTheirLoadedResults)
{
    // ="ab"&"cd" uses an operator the evaluator has no handler for: a
    // recalculation of the sheet leaves its loaded text alone (the parser
    // refuses such a formula when it is typed).
    ASSERT_EQ(set(0, 0, "10"), 0);
    EXPECT_EQ(shown(2, 1), "12.5");
    EXPECT_EQ(shown(3, 1), "abcd");
    EXPECT_NE(set(5, 0, "=\"x\"&\"y\""), 0);
    ASSERT_EQ(set(0, 0, "2"), 0);
    EXPECT_EQ(shown(2, 1), "4.5");
    EXPECT_EQ(shown(3, 1), "abcd");
}

// Values pushed past the last row or column by an inserted line go, as
// do those of a deleted line; the table keeps only what is left.
TEST_F(SheetValues, ValuesPushedOffTheSheetOrDeletedGo)
{
    ASSERT_EQ(Excel_Sheet_putValue(grid, 65535, 0, Excel_editBoolean, 1), 0);
    ASSERT_EQ(Excel_Sheet_putValue(grid, 0, 255, Excel_editInteger, 7), 0);
    ASSERT_EQ(Excel_Sheet_putValue(grid, 5, 4, Excel_editNumber, 1.5), 0);
    uint32_t before = grid->values.count;
    ASSERT_EQ(Excel_Sheet_insertRow(ctx, grid, 1), 0);
    EXPECT_EQ(value(65535, 0), "-");
    EXPECT_EQ(value(6, 4), "3:1.5");
    EXPECT_EQ(value(0, 255), "2:7") << "row 0 stays";
    ASSERT_EQ(Excel_Sheet_insertColumn(ctx, grid, 0), 0);
    EXPECT_EQ(value(0, 255), "-");
    EXPECT_EQ(value(6, 5), "3:1.5");
    ASSERT_EQ(Excel_Sheet_deleteColumn(ctx, grid, 5), 0);
    EXPECT_EQ(value(6, 5), "-");
    EXPECT_EQ(value(0, 1), "2:1") << "the loaded A1, moved to B1";
    EXPECT_LT(grid->values.count, before);
}

TEST_F(SheetValues, ValuesFollowInsertedAndDeletedLines)
{
    ASSERT_EQ(set(5, 0, "=SUM(A1:A3)"), 0);
    struct Step {
        int op; // 0 insert row, 1 delete row, 2 insert column, 3 delete column
        uint32_t at;
        uint32_t row, column; // where the loaded 2 (A2) is now
        const char *sum;      // the formula's text after the recalculation
    } steps[] = {
        {0, 0, 2, 0, "7"}, // a row above: A2 -> A3, the sum follows to A2:A4
        {2, 0, 2, 1, "7"}, // a column before: A3 -> B3
        {0, 2, 3, 1, "7"}, // a row between the first and the second value
        {1, 1, 2, 1, "6"}, // the row of the 1 goes: the sum loses it
        {3, 0, 2, 0, "6"},
    };
    uint32_t sumRow = 5, sumColumn = 0;
    for (const Step &s : steps) {
        SCOPED_TRACE("step " + std::to_string(s.op) + " at " + std::to_string(s.at));
        bool columns = s.op >= 2;
        int rc = s.op == 0   ? Excel_Sheet_insertRow(ctx, grid, s.at)
                 : s.op == 1 ? Excel_Sheet_deleteRow(ctx, grid, s.at)
                 : s.op == 2 ? Excel_Sheet_insertColumn(ctx, grid, s.at)
                             : Excel_Sheet_deleteColumn(ctx, grid, s.at);
        ASSERT_EQ(rc, 0);
        uint32_t &line = columns ? sumColumn : sumRow;
        if (s.op % 2 == 0 && line >= s.at)
            line++;
        else if (s.op % 2 == 1 && line > s.at)
            line--;
        // Loaded formulas (=1/0 among them) report their errors; the pass
        // goes on.
        ASSERT_NE(Excel_Formula_recalcCells(ctx, grid, sumRow, sumColumn, 2), Res_noMemory);
        EXPECT_EQ(value(s.row, s.column), "2:2");
        EXPECT_EQ(shown(sumRow, sumColumn), s.sum);
        // The table stays sorted: every value is found where it is.
        const SheetValueTable &t = grid->values;
        for (uint32_t i = 1; i < t.count; i++)
            EXPECT_LT(t.keys[i - 1] & Excel_valueKeyMask, t.keys[i] & Excel_valueKeyMask);
    }
}

TEST_F(SheetValues, ChartBindingReadsLoadedNumbers)
{
    ExcelWorkbook *wb = grid->workbook;
    ASSERT_NE(wb, nullptr);
    // Value cells as a chart series lists them: the formatted number, the
    // percentage, the integer, a text that reads like a number.
    struct Case {
        uint32_t row, column;
        uint32_t type;
        double number;
    } cases[] = {
        {0, 2, Edr_valueNumber, 1234567.891},
        {3, 2, Edr_valueNumber, 0.05},
        {0, 0, Edr_valueInt, 1},
        {3, 0, Edr_valueText, 0},
    };
    ExcelValueCells *cells = ExcelValueCells_create();
    ASSERT_NE(cells, nullptr);
    for (const Case &c : cases) {
        uint32_t key[2] = {c.row, c.column};
        ExcelValueCell v{Edr_Value_new(nullptr, key, Edr_valueNone), Ustr_fromCstr("Values")};
        ASSERT_EQ(ExcelValueCells_add(&v, cells), 0);
    }
    ASSERT_EQ(Excel_fillValueCells(wb, cells), 0);
    for (const Case &c : cases) {
        uint32_t key[2] = {c.row, c.column};
        ExcelValueCell *v = ExcelValueCells_find(cells, key, nullptr);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->value->type, c.type) << c.row << "," << c.column;
        if (c.type == Edr_valueNumber) {
            EXPECT_EQ(Edr_Value_getNumber(v->value), c.number);
        } else if (c.type == Edr_valueInt) {
            EXPECT_EQ(Edr_Value_getInt(v->value), int32_t(c.number));
        }
    }
    ExcelValueCells_free(cells);

    // A series over an area reads the same values.
    Excel_RefArray *area = Excel_RefArray_create(0);
    ASSERT_NE(area, nullptr);
    ASSERT_EQ(Excel_RefArray_setArea(u"Values", 0, 2, 3, 2, area), 0);
    double want[] = {1234567.891, 45319, 0 /* a truth value */, 0.05};
    for (uint32_t i = 0; i < 4; i++)
        EXPECT_EQ(Excel_RefArray_numberAt(area, i, wb), want[i]) << i;
    // An edited cell gives its new value; a cell edited to text gives 0.
    ASSERT_EQ(set(0, 2, "12.5"), 0);
    ASSERT_EQ(set(1, 2, "n/a"), 0);
    EXPECT_EQ(Excel_RefArray_numberAt(area, 0, wb), 12.5);
    EXPECT_EQ(Excel_RefArray_numberAt(area, 1, wb), 0.0);
    Excel_RefArray_free(area);
}

// The table's own operations on a bare grid: stores out of order stay
// sorted, a second store replaces, bad kinds and cells are refused,
// failed allocations change nothing.
class ValueTable : public LeakCheckedContextTest<(1u << 20)> {};

TEST_F(ValueTable, PutFindAndDrop)
{
    SheetGrid g{};
    EXPECT_EQ(Excel_Sheet_putValue(nullptr, 0, 0, Excel_editNumber, 1), Res_missingArgument);
    EXPECT_EQ(Excel_Sheet_putValue(&g, 0, 0, Excel_editText, 1), Res_nullInput);
    EXPECT_EQ(Excel_Sheet_putValue(&g, 0, 0, 0, 1), Res_nullInput);
    EXPECT_EQ(Excel_Sheet_putValue(&g, 65536, 0, Excel_editNumber, 1), Res_nullInput);
    EXPECT_EQ(Excel_Sheet_putValue(&g, 0, 256, Excel_editNumber, 1), Res_nullInput);
    struct Put {
        uint32_t row, column, kind;
        double value;
    } puts[] = {
        {5, 3, Excel_editNumber, 1.5},    {0, 255, Excel_editInteger, 7},
        {65535, 0, Excel_editBoolean, 1}, {5, 2, Excel_editError, 42},
        {0, 0, Excel_editNumber, -2},     {5, 3, Excel_editInteger, 9},
    };
    for (const Put &p : puts)
        ASSERT_EQ(Excel_Sheet_putValue(&g, p.row, p.column, p.kind, p.value), 0);
    EXPECT_EQ(g.values.count, 5u);
    double v = 0;
    EXPECT_EQ(Excel_Sheet_valueAt(&g, 5, 3, &v), uint32_t(Excel_editInteger));
    EXPECT_EQ(v, 9);
    EXPECT_EQ(Excel_Sheet_valueAt(&g, 65535, 0, &v), uint32_t(Excel_editBoolean));
    EXPECT_EQ(Excel_Sheet_valueAt(&g, 0, 255, &v), uint32_t(Excel_editInteger));
    EXPECT_EQ(Excel_Sheet_valueAt(&g, 5, 4, &v), 0u);
    EXPECT_EQ(Excel_Sheet_valueAt(&g, 70000, 0, &v), 0u);
    Excel_Sheet_dropValue(&g, 5, 2);
    EXPECT_EQ(Excel_Sheet_valueAt(&g, 5, 2, &v), 0u);
    EXPECT_EQ(g.values.count, 5u); // marked, not moved
    // Allocation failures leave the table as it was.
    for (uint32_t n = 1;; n++) {
        SheetValueTable before = g.values;
        Mem_failAfter(n);
        int rc = Excel_Sheet_reserveValues(&g, 1000);
        Mem_failAfter(0);
        if (rc == 0)
            break;
        ASSERT_EQ(rc, Res_noMemory);
        EXPECT_EQ(g.values.count, before.count);
        EXPECT_EQ(g.values.capacity, before.capacity);
        EXPECT_EQ(Excel_Sheet_valueAt(&g, 0, 0, &v), uint32_t(Excel_editNumber));
        ASSERT_LT(n, 10u);
    }
    EXPECT_EQ(g.values.capacity, g.values.count + 1000u);
    Mem_free(g.values.keys);
    Mem_free(g.values.values);
}

} // namespace
