// The sheet store of a laid-out worksheet against hand-computed tables:
// cell entries made in order, merged keys resolved, pending edits applied
// and rendered, strings shared, formulas kept and replaced, formula
// results and errors stored, rows and columns inserted and deleted with
// edits and references moved, failed allocations leaving everything valid,
// and the cell editor's value step on a workbook fixture.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "spreadsheet/edit/celledit.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/spreadsheet/sheet_fixture.h"
#include "tests/support/heap_fixture.h"

using namespace biff;

namespace {

class SheetStore : public LaidOutSheetTest {
  protected:
    // Loads a compound file and lays its first sheet out into grid.
    void layout(const std::string &file)
    {
        layoutFile(file);
    }

    // A one-sheet book of the given cell records.
    void layoutCells(const std::string &cells)
    {
        layout(compound(book8("", {cells})));
    }
};

std::string utf8(const char16_t *s)
{
    std::string out;
    for (; s && *s; s++)
        out += *s < 0x80 ? char(*s) : '?';
    return out;
}

// The cell listing of a grid: "row col kind xf text" per entry, in array
// order.
std::string listing(const SheetGrid *g)
{
    std::string out;
    const SheetCellTable *t = g->cellTable;
    for (uint32_t i = 0; i < t->count; i++) {
        const ExcelCell &c = t->cells[i];
        out += std::to_string(c.row) + " " + std::to_string(c.column) + " " +
               std::to_string(c.kind) + " " + std::to_string(c.xf) + " " + utf8(c.text) + "\n";
    }
    return out;
}

// The keys of the pending edits in list order.
std::string editKeys(const SheetGrid *g)
{
    std::string out;
    for (const ExcelCellEdit *e = g->widthCells; e; e = e->next)
        out += std::to_string(e->row) + "," + std::to_string(e->column) + ";";
    return out;
}

bool sorted(const SheetGrid *g)
{
    const SheetCellTable *t = g->cellTable;
    for (uint32_t i = 1; i < t->count; i++) {
        ExcelCellKey a{t->cells[i - 1].row, t->cells[i - 1].column},
            b{t->cells[i].row, t->cells[i].column};
        if (Excel_keyCompare(&a, &b) >= 0)
            return false;
    }
    for (const ExcelCellEdit *e = g->widthCells; e && e->next; e = e->next) {
        ExcelCellKey a{e->row, e->column}, b{e->next->row, e->next->column};
        if (Excel_keyCompare(&a, &b) >= 0)
            return false;
    }
    return true;
}

const ExcelCell *cellAt(const SheetGrid *g, uint32_t row, uint32_t column)
{
    return Excel_Sheet_cellAt(g, row, column);
}

std::string textAt(const SheetGrid *g, uint32_t row, uint32_t column)
{
    const ExcelCell *c = cellAt(g, row, column);
    return c ? utf8(c->text) : "<none>";
}

std::string refTok(uint32_t row, uint32_t col)
{
    return std::string(1, '\x24') + u16(row) + u16(0xC000 | col);
}

std::string areaTok(uint32_t r0, uint32_t r1, uint32_t c0, uint32_t c1)
{
    return std::string(1, '\x25') + u16(r0) + u16(r1) + u16(0xC000 | c0) + u16(0xC000 | c1);
}

SheetFormula *formulaOf(uint32_t row, uint32_t column, const std::string &tokens)
{
    SheetFormula *f = static_cast<SheetFormula *>(Mem_calloc(1, sizeof(SheetFormula)));
    f->words[0] = row;
    f->words[1] = column;
    if (!tokens.empty()) {
        f->tokens = static_cast<uint8_t *>(Mem_malloc(tokens.size()));
        memcpy(f->tokens, tokens.data(), tokens.size());
        f->length = uint16_t(tokens.size());
    }
    return f;
}

std::string tokensOf(const SheetFormula *f)
{
    return f ? std::string(reinterpret_cast<const char *>(f->tokens), f->length) : "<none>";
}

ExcelCellEdit *numberEdit(uint32_t row, uint32_t column, double v, uint16_t format = 0)
{
    ExcelCellEdit *e = Excel_editNew(Excel_editNumber, row, column, nullptr);
    e->value.number = v;
    e->format = format;
    return e;
}

TEST(SheetStoreKeys, CompareRowFirst)
{
    struct Case {
        ExcelCellKey a, b;
        int expected;
    } cases[] = {
        {{1, 5}, {2, 0}, -1}, {{2, 0}, {1, 5}, 1}, {{3, 3}, {3, 3}, 0},
        {{3, 2}, {3, 3}, -1}, {{3, 4}, {3, 3}, 1}, {{0, 0xFFFFFFFF}, {1, 0}, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Excel_keyCompare(&c.a, &c.b), c.expected) << c.a.row << "," << c.a.column;
}

TEST_F(SheetStore, CellsAreMadeInSortedPlaces)
{
    layoutCells(rowRec(0, 2) + number(0, 1, 1));
    ASSERT_EQ(grid->cellTable->count, 1u);
    struct Step {
        uint32_t row, column;
    } steps[] = {{2, 1}, {0, 5}, {2, 0}, {0, 0}, {1, 3}, {0, 5}};
    for (const Step &s : steps) {
        ExcelCell *c = Excel_Sheet_cellCreate(grid, s.row, s.column);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->row, s.row);
        EXPECT_EQ(c->column, s.column);
    }
    // The existing B1 kept its text; new entries hold none.
    EXPECT_EQ(listing(grid), "0 0 4 0 \n"
                             "0 1 1 15 1\n"
                             "0 5 4 0 \n"
                             "1 3 4 0 \n"
                             "2 0 4 0 \n"
                             "2 1 4 0 \n");
    EXPECT_EQ(Excel_Sheet_cellCreate(nullptr, 0, 0), nullptr);
}

TEST_F(SheetStore, FirstCellOfAnEmptyTable)
{
    layoutCells(rowRec(0, 1) + number(0, 0, 1));
    Excel_Sheet_removeLine(grid, 0, -1);
    ASSERT_EQ(grid->cellTable->count, 0u);
    ExcelCell *c = Excel_Sheet_cellCreate(grid, 4, 2);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, uint32_t(Excel_cellNoText));
    EXPECT_EQ(c->sst, -1);
    EXPECT_EQ(grid->cellTable->count, 1u);
}

TEST_F(SheetStore, MergedKeysResolveToTheTopLeft)
{
    // B2:D4 and F1:F2 merged.
    std::string merged =
        rec(0x00E5, u16(2) + u16(1) + u16(3) + u16(1) + u16(3) + u16(0) + u16(1) + u16(5) + u16(5));
    layoutCells(rowRec(0, 6) + number(0, 0, 1) + merged);
    struct Case {
        uint32_t row, column, wantRow, wantColumn;
    } cases[] = {
        {1, 1, 1, 1}, {2, 2, 1, 1}, {3, 3, 1, 1}, {3, 1, 1, 1}, {1, 3, 1, 1}, // inside B2:D4
        {4, 3, 4, 3}, {3, 4, 3, 4}, {0, 1, 0, 1},                             // just outside
        {1, 5, 0, 5}, {0, 5, 0, 5}, {2, 5, 2, 5},                             // F1:F2
    };
    for (const Case &c : cases) {
        uint32_t r = c.row, col = c.column;
        ASSERT_EQ(Excel_Sheet_mergedTopLeft(grid, &r, &col), 0);
        EXPECT_EQ(r, c.wantRow) << c.row << "," << c.column;
        EXPECT_EQ(col, c.wantColumn) << c.row << "," << c.column;
    }
    uint32_t r = 0;
    EXPECT_EQ(Excel_Sheet_mergedTopLeft(grid, &r, nullptr), 16);
    EXPECT_EQ(Excel_Sheet_mergedTopLeft(nullptr, &r, &r), 16);
    // A value typed into the middle of the range lands on its top-left.
    ASSERT_EQ(Excel_CellEdit_setValue(ctx, grid, 3, 2, "42", 0), 0);
    EXPECT_EQ(textAt(grid, 1, 1), "42");
    EXPECT_EQ(cellAt(grid, 3, 2), nullptr);
}

TEST_F(SheetStore, EditListOperations)
{
    layoutCells(rowRec(0, 1) + number(0, 0, 1));
    ExcelCellEdit *list = nullptr;
    struct Key {
        uint32_t row, column;
    } keys[] = {{3, 1}, {0, 7}, {3, 0}, {1, 1}, {0, 2}};
    for (const Key &k : keys)
        Excel_editInsert(&list, Excel_editNew(Excel_editInteger, k.row, k.column, nullptr));
    SheetGrid probe{};
    probe.widthCells = list;
    EXPECT_EQ(editKeys(&probe), "0,2;0,7;1,1;3,0;3,1;");
    ExcelCellEdit *prev = nullptr;
    ExcelCellEdit *e = Excel_editFind(list, &prev, 1, 1);
    ASSERT_NE(e, nullptr);
    ASSERT_NE(prev, nullptr);
    EXPECT_EQ(prev->column, 7u);
    EXPECT_EQ(Excel_editFind(list, &prev, 2, 0), nullptr);
    EXPECT_EQ(prev, e); // the insertion point
    EXPECT_EQ(Excel_editFind(list, &prev, 0, 0), nullptr);
    EXPECT_EQ(prev, nullptr);
    ExcelCellEdit *gone = Excel_editRemove(&list, 0, 2);
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->next, nullptr);
    Mem_free(gone);
    EXPECT_EQ(Excel_editRemove(&list, 0, 2), nullptr);
    Mem_free(Excel_editRemove(&list, 3, 1));
    probe.widthCells = list;
    EXPECT_EQ(editKeys(&probe), "0,7;1,1;3,0;");
    grid->widthCells = list; // freed with the grid
}

TEST_F(SheetStore, EditsRenderIntoTheirCells)
{
    layoutCells(rowRec(0, 3) + number(0, 0, 1) + number(0, 1, 2));
    struct Case {
        const char *what;
        uint32_t kind;
        double number;
        int32_t integer;
        const char *error;
        const char16_t *text;
        uint16_t format;
        const char *shown;
    } cases[] = {
        {"number", Excel_editNumber, 2.5, 0, nullptr, nullptr, 0, "2.5"},
        {"number in a percent format", Excel_editNumber, 0.125, 0, nullptr, nullptr, 10, "12.50%"},
        {"integer", Excel_editInteger, 0, 7, nullptr, nullptr, 0, "7"},
        {"integer with two decimals", Excel_editInteger, 0, 7, nullptr, nullptr, 2, "7.00"},
        {"true", Excel_editBoolean, 0, 1, nullptr, nullptr, 0, "TRUE"},
        {"false", Excel_editBoolean, 0, 0, nullptr, nullptr, 0, "FALSE"},
        {"error", Excel_editError, 0, 0, "#DIV/0!", nullptr, 0, "#DIV/0!"},
        {"text", Excel_editText, 0, 0, nullptr, u"words", 0, "words"},
    };
    for (const Case &c : cases) {
        ExcelCellEdit *e = Excel_editNew(c.kind, 0, 1, c.text);
        ASSERT_NE(e, nullptr);
        e->format = c.format;
        if (c.kind == Excel_editNumber)
            e->value.number = c.number;
        else if (c.kind == Excel_editError)
            e->value.error = c.error;
        else if (c.kind != Excel_editText)
            e->value.integer = c.integer;
        ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, e, 0), 0) << c.what;
        EXPECT_EQ(textAt(grid, 0, 1), c.shown) << c.what;
        EXPECT_EQ(cellAt(grid, 0, 1)->kind, uint32_t(Excel_cellOwnText)) << c.what;
        ExcelCellEdit *got = nullptr;
        const char16_t *text = nullptr;
        uint16_t xf = 0;
        ASSERT_EQ(Excel_Sheet_getCellEdit(grid, 0, 1, &got, &text, &xf), 0);
        EXPECT_EQ(got, e) << c.what;
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(xf, 15);
    }
    EXPECT_EQ(editKeys(grid), "0,1;");
    // A cell without an edit gives its text.
    ExcelCellEdit *got = nullptr;
    const char16_t *text = nullptr;
    uint16_t xf = 0;
    ASSERT_EQ(Excel_Sheet_getCellEdit(grid, 0, 0, &got, &text, &xf), 0);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(utf8(text), "1");
    EXPECT_EQ(Excel_Sheet_getCellEdit(grid, 0, 0, &got, nullptr, &xf), 16);
    // An edit of kind 0 clears the value and goes.
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, Excel_editNew(Excel_editNone, 0, 1, nullptr), 0), 0);
    EXPECT_EQ(editKeys(grid), "");
    ASSERT_NE(cellAt(grid, 0, 1), nullptr);
    EXPECT_EQ(cellAt(grid, 0, 1)->kind, uint32_t(Excel_cellNoText));
    EXPECT_EQ(cellAt(grid, 0, 1)->text, nullptr);
    // A new cell takes the edit's XF.
    ExcelCellEdit *e = numberEdit(5, 2, 1.5);
    e->xf = 17;
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, e, 0), 0);
    EXPECT_EQ(cellAt(grid, 5, 2)->xf, 17);
    EXPECT_TRUE(sorted(grid));
}

TEST_F(SheetStore, ApplyModesMergeFormats)
{
    layoutCells(rowRec(0, 2) + number(0, 0, 1));
    struct Case {
        uint32_t mode;
        uint16_t oldFormat;
        const char *shown;
    } cases[] = {
        {0, 10, "0.5"},    // mode 0 keeps the new edit's format
        {1, 10, "50.00%"}, // mode 1 takes a format the old edit had
        {1, 0, "0.5"},     // ... but not format 0
        {2, 10, "50.00%"}, // mode 2 always
        {2, 0, "0.5"},
    };
    for (const Case &c : cases) {
        ExcelCellEdit *old = numberEdit(0, 0, 3, c.oldFormat);
        old->xf = 20;
        ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, old, 0), 0);
        ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, numberEdit(0, 0, 0.5), c.mode), 0);
        EXPECT_EQ(textAt(grid, 0, 0), c.shown) << c.mode << " " << c.oldFormat;
        EXPECT_EQ(grid->widthCells->xf, c.mode == 2 || (c.mode == 1 && c.oldFormat) ? 20 : 15);
        EXPECT_EQ(editKeys(grid), "0,0;");
    }
    // An edit that is already linked, and a kind beyond 5.
    EXPECT_EQ(Excel_Sheet_applyEdit(ctx, grid, grid->widthCells, 0), 16);
    EXPECT_EQ(Excel_Sheet_applyEdit(ctx, grid, Excel_editNew(9, 0, 0, nullptr), 0), 8);
    EXPECT_EQ(Excel_Sheet_applyEdit(ctx, nullptr, nullptr, 0), 16);
    EXPECT_EQ(editKeys(grid), "0,0;");
}

TEST_F(SheetStore, StringsGoThroughTheSharedTable)
{
    std::string sst = rec(0x00FC, u32(1) + u32(1) + str8("kept"));
    layout(compound(book8(sst, {rowRec(0, 2) + rec(0x00FD, cell(0, 0, 15) + u32(0))})));
    ExcelWorkbook *wb = grid->workbook;
    ASSERT_EQ(wb->sstCount, 1u);
    EXPECT_EQ(wb->sst[0].refs, 1u);
    // The same text as A1's: the entry is shared.
    ASSERT_EQ(Excel_Sheet_setCellText(grid, 0, 1, 0, u"kept"), 0);
    const ExcelCell *b1 = cellAt(grid, 0, 1);
    ASSERT_NE(b1, nullptr);
    EXPECT_EQ(b1->kind, uint32_t(Excel_cellSharedText));
    EXPECT_EQ(b1->sst, 0);
    EXPECT_EQ(wb->sstCount, 1u);
    EXPECT_EQ(wb->sst[0].refs, 2u);
    ExcelCellEdit *e = nullptr;
    const char16_t *text = nullptr;
    uint16_t xf = 0;
    ASSERT_EQ(Excel_Sheet_getCellEdit(grid, 0, 1, &e, &text, &xf), 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, uint32_t(Excel_editText));
    EXPECT_EQ(utf8(e->value.text.text), "kept");
    // A new text gets a new entry and gives back the old reference.
    ASSERT_EQ(Excel_Sheet_setCellText(grid, 0, 1, 0, u"fresh"), 0);
    EXPECT_EQ(wb->sstCount, 2u);
    EXPECT_EQ(wb->sst[0].refs, 1u);
    EXPECT_EQ(wb->sst[1].refs, 1u);
    EXPECT_EQ(textAt(grid, 0, 1), "fresh");
    EXPECT_EQ(editKeys(grid), "0,1;");
    // Overwriting A1 releases the last reference of "kept".
    ASSERT_EQ(Excel_Sheet_setCellText(grid, 0, 0, 0, u"fresh"), 0);
    EXPECT_EQ(wb->sst[0].refs, 0u);
    EXPECT_EQ(wb->sst[1].refs, 2u);
    EXPECT_EQ(Excel_Sheet_setCellText(grid, 0, 0, 0, nullptr), 16);
    // Deleting column B gives its reference back too.
    ASSERT_EQ(Excel_Sheet_deleteColumn(ctx, grid, 1), 0);
    EXPECT_EQ(wb->sst[1].refs, 1u);
    EXPECT_EQ(editKeys(grid), "0,0;");
}

TEST_F(SheetStore, FormulasAreReplacedPerCell)
{
    layoutCells(rowRec(0, 2) + number(0, 0, 1));
    std::string a = refTok(0, 0) + std::string(1, '\x03');
    std::string exp = std::string(1, '\x01') + u16(4) + u16(2); // ptgExp: the shared formula at C5
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(1, 1, a)), 0);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(4, 2, exp)), 0);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(5, 2, exp)), 0);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(6, 2, exp + "x")),
              0); // a new member drops its siblings
    EXPECT_EQ(tokensOf(Excel_Sheet_findFormula(grid, 1, 1)), a);
    EXPECT_EQ(Excel_Sheet_findFormula(grid, 4, 2), nullptr);
    EXPECT_EQ(Excel_Sheet_findFormula(grid, 5, 2), nullptr);
    EXPECT_EQ(tokensOf(Excel_Sheet_findFormula(grid, 6, 2)), exp + "x");
    // Replacing B2's formula, then a record without tokens removes it.
    std::string b = refTok(0, 1);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(1, 1, b)), 0);
    EXPECT_EQ(tokensOf(Excel_Sheet_findFormula(grid, 1, 1)), b);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(1, 1, "")), 0);
    EXPECT_EQ(Excel_Sheet_findFormula(grid, 1, 1), nullptr);
    EXPECT_EQ(Excel_Sheet_putFormula(grid, grid->formulaCells), 16);
    EXPECT_EQ(Excel_Sheet_putFormula(grid, nullptr), 16);
    uint32_t n = 0;
    for (SheetFormula *f = grid->formulaCells; f; f = f->next)
        n++;
    EXPECT_EQ(n, 1u);
}

TEST_F(SheetStore, FormulaResultsAndErrors)
{
    layoutCells(rowRec(0, 2) + number(0, 0, 1));
    struct Value {
        const char *what;
        Excel_Value value;
        uint32_t isError;
        int32_t format;
        uint32_t kind;
        const char *shown;
    } values[] = {
        {"integer", {Excel_kindInteger, {.i = 12}}, 0, -1, Excel_editInteger, "12"},
        {"number", {Excel_kindNumber, {.d = 0.25}}, 0, -1, Excel_editNumber, "0.25"},
        {"number with its format", {Excel_kindNumber, {.d = 0.25}}, 0, 9, Excel_editNumber, "25%"},
        {"boolean", {Excel_kindBoolean, {.b = 1}}, 0, -1, Excel_editBoolean, "TRUE"},
        {"empty", {Excel_kindEmpty, {.i = 0}}, 0, -1, Excel_editInteger, "0"},
        {"error", {Excel_kindInteger, {.i = 7}}, 1, -1, Excel_editError, "#DIV/0!"},
    };
    for (const Value &v : values) {
        // Each result lands in a cell without a pending edit.
        ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, Excel_editNew(Excel_editNone, 2, 1, nullptr), 0),
                  0);
        ExcelFormulaResult r{&v.value, v.isError, v.format};
        ASSERT_EQ(Excel_Sheet_setFormulaResult(ctx, &r, 2, 1, grid, 2), 0) << v.what;
        EXPECT_EQ(textAt(grid, 2, 1), v.shown) << v.what;
        ASSERT_NE(grid->widthCells, nullptr);
        EXPECT_EQ(grid->widthCells->kind, v.kind) << v.what;
    }
    // A later result in mode 2 keeps the format the cell's edit has.
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, Excel_editNew(Excel_editNone, 2, 1, nullptr), 0), 0);
    Excel_Value percent{Excel_kindNumber, {.d = 0.25}};
    ExcelFormulaResult first{&percent, 0, 9};
    ASSERT_EQ(Excel_Sheet_setFormulaResult(ctx, &first, 2, 1, grid, 2), 0);
    Excel_Value half{Excel_kindNumber, {.d = 0.5}};
    ExcelFormulaResult later{&half, 0, -1};
    ASSERT_EQ(Excel_Sheet_setFormulaResult(ctx, &later, 2, 1, grid, 2), 0);
    EXPECT_EQ(textAt(grid, 2, 1), "50%");
    char16_t words[] = u"a result";
    Excel_Value text{Excel_kindText, {.text = words}};
    ExcelFormulaResult r{&text, 0, -1};
    ASSERT_EQ(Excel_Sheet_setFormulaResult(ctx, &r, 2, 1, grid, 2), 0);
    EXPECT_EQ(textAt(grid, 2, 1), "a result");
    words[0] = 'X'; // the edit holds its own copy
    EXPECT_EQ(utf8(grid->widthCells->value.text.text), "a result");
    EXPECT_EQ(Excel_Sheet_setFormulaResult(ctx, nullptr, 2, 1, grid, 2), 16);

    struct Failure {
        int code;
        const char *shown;
    } failures[] = {{0x6601, "#VALUE!"}, {0x6602, "#REF!"}, {0x6603, "#NUM!"},
                    {0x6604, "#NULL!"},  {0x6605, "#N/A"},  {0x6606, "#DIV/0!"},
                    {0x6600, "#NAME?"},  {0x6607, "#NAME?"}};
    for (const Failure &f : failures) {
        ASSERT_EQ(Excel_Sheet_setFormulaError(ctx, grid, -1, f.code, 3, 0), 0);
        EXPECT_EQ(textAt(grid, 3, 0), f.shown) << std::hex << f.code;
        EXPECT_EQ(grid->widthCells->next->kind, uint32_t(Excel_editError));
    }
    EXPECT_EQ(editKeys(grid), "2,1;3,0;");
    EXPECT_EQ(Excel_Sheet_setFormulaError(ctx, nullptr, -1, 0x6601, 0, 0), 16);
}

TEST_F(SheetStore, RecalculationWithoutFormulas)
{
    layoutCells(rowRec(0, 1) + number(0, 0, 1));
    EXPECT_EQ(Excel_Formula_recalcCells(ctx, grid, 0, 0, 1), 0);
    EXPECT_EQ(Excel_Formula_recalcCells(ctx, nullptr, 0, 0, 1), 16);
    EXPECT_EQ(textAt(grid, 0, 0), "1");
}

TEST_F(SheetStore, RecalculationReadsEditsAndLoadedValues)
{
    // A1 a loaded number; B1 = A1+1, C1 = B1*2 (listed before B1).
    layoutCells(rowRec(0, 3) + number(0, 0, 1));
    std::string b1 = refTok(0, 0) + std::string("\x1E\x01\x00\x03", 4);
    std::string c1 = refTok(0, 1) + std::string("\x1E\x02\x00\x05", 4);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(0, 2, c1)), 0);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(0, 1, b1)), 0);
    // The formulas read A1's loaded value.
    EXPECT_EQ(Excel_Formula_recalcCells(ctx, grid, 0, 0, 1), 0);
    EXPECT_EQ(textAt(grid, 0, 1), "2");
    EXPECT_EQ(textAt(grid, 0, 2), "4");
    // Once A1 is edited, both formulas follow in dependency order.
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, numberEdit(0, 0, 5), 0), 0);
    EXPECT_EQ(Excel_Formula_recalcCells(ctx, grid, 0, 0, 1), 0);
    EXPECT_EQ(textAt(grid, 0, 1), "6");
    EXPECT_EQ(textAt(grid, 0, 2), "12");
}

TEST_F(SheetStore, StructuralEditsMoveEditsAndFormulas)
{
    // A1, B3 and C2 hold numbers; D1 a formula over A3 and A2:A4; B1:B2
    // merged.
    std::string tokens = refTok(2, 0) + areaTok(1, 3, 0, 0) + std::string(1, '\x03');
    std::string merged = rec(0x00E5, u16(1) + u16(0) + u16(1) + u16(1) + u16(1));
    layoutCells(rowRec(0, 4) + rowRec(1, 4) + rowRec(2, 4) + number(0, 0, 1) + number(2, 1, 3) +
                number(1, 2, 2) + merged);
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(0, 3, tokens)), 0);
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, numberEdit(2, 1, 30), 0), 0);
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, grid, numberEdit(1, 2, 20), 0), 0);
    EXPECT_EQ(editKeys(grid), "1,2;2,1;");

    // Row 1 inserted: rows 1 and 2 move down.
    ASSERT_EQ(Excel_Sheet_insertRow(ctx, grid, 1), 0);
    EXPECT_EQ(editKeys(grid), "2,2;3,1;");
    EXPECT_EQ(textAt(grid, 3, 1), "30");
    EXPECT_EQ(textAt(grid, 2, 2), "20");
    EXPECT_EQ(tokensOf(grid->formulaCells),
              refTok(3, 0) + areaTok(2, 4, 0, 0) + std::string(1, '\x03'));
    EXPECT_EQ(grid->cellTable->merged[0].lastRow, 2);
    EXPECT_TRUE(sorted(grid));

    // Column A inserted: everything moves right.
    ASSERT_EQ(Excel_Sheet_insertColumn(ctx, grid, 0), 0);
    EXPECT_EQ(editKeys(grid), "2,3;3,2;");
    EXPECT_EQ(grid->formulaCells->words[1], 4u);
    EXPECT_EQ(tokensOf(grid->formulaCells),
              refTok(3, 1) + areaTok(2, 4, 1, 1) + std::string(1, '\x03'));

    // Row 2 deleted: its cell, edit and nothing else go; row 3 moves up.
    ASSERT_EQ(Excel_Sheet_deleteRow(ctx, grid, 2), 0);
    EXPECT_EQ(editKeys(grid), "2,2;");
    EXPECT_EQ(textAt(grid, 2, 2), "30");
    EXPECT_EQ(cellAt(grid, 2, 3), nullptr);
    EXPECT_EQ(tokensOf(grid->formulaCells),
              refTok(2, 1) + areaTok(2, 3, 1, 1) + std::string(1, '\x03'));

    // Column E (the formula's) deleted: the formula goes with it.
    ASSERT_EQ(Excel_Sheet_deleteColumn(ctx, grid, 4), 0);
    EXPECT_EQ(grid->formulaCells, nullptr);
    EXPECT_TRUE(sorted(grid));

    // removeLine of a column takes cells and edits of that column only.
    ASSERT_EQ(Excel_Sheet_removeLine(grid, -1, 2), 0);
    EXPECT_EQ(editKeys(grid), "");
    EXPECT_EQ(cellAt(grid, 2, 2), nullptr);
    EXPECT_NE(cellAt(grid, 0, 1), nullptr);
    ASSERT_EQ(Excel_Sheet_removeLine(grid, -1, -1), 0);
    EXPECT_NE(cellAt(grid, 0, 1), nullptr);
    EXPECT_EQ(Excel_Sheet_removeLine(nullptr, 0, -1), 16);
}

TEST_F(SheetStore, ReferencesPushedOffTheSheetBreak)
{
    // Inserting a line moves references on the last row or column off the
    // sheet: they become error references instead of wrapping to 0.
    layoutCells(rowRec(0, 2) + number(0, 0, 1));
    struct Case {
        const char *what;
        int columns;
        std::string before, after;
    } cases[] = {
        {"ref on row 65535", 0, refTok(65535, 1),
         std::string(1, '\x2A') + u16(65535) + u16(0xC001)},
        {"area starting on row 65535", 0, areaTok(65535, 65535, 0, 1),
         std::string(1, '\x2B') + areaTok(65535, 65535, 0, 1).substr(1)},
        {"area to row 65535 keeps its end", 0, areaTok(3, 65535, 0, 0), areaTok(4, 65535, 0, 0)},
        {"ref on row 65534", 0, refTok(65534, 1), refTok(65535, 1)},
        {"ref on column 255", 1, refTok(3, 255), std::string(1, '\x2A') + u16(3) + u16(0xC0FF)},
        {"area from column 255", 1, areaTok(0, 2, 255, 255),
         std::string(1, '\x2B') + areaTok(0, 2, 255, 255).substr(1)},
        {"ref on column 254", 1, refTok(3, 254), refTok(3, 255)},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(0, 1, c.before)), 0);
        ASSERT_EQ(c.columns ? Excel_Sheet_insertColumn(ctx, grid, 2)
                            : Excel_Sheet_insertRow(ctx, grid, 2),
                  0);
        EXPECT_EQ(tokensOf(Excel_Sheet_findFormula(grid, 0, 1)), c.after) << c.what;
    }
}

// Runs op with the n-th allocation failing for n = 1, 2, ... until it
// succeeds; each failure must give 1 and leave the grid's cells, edits and
// formulas as they were.
template <typename Op> void failEachAllocation(SheetGrid *grid, Op op)
{
    for (uint64_t n = 1;; n++) {
        std::string cells = listing(grid), edits = editKeys(grid);
        std::string formulas = tokensOf(grid->formulaCells);
        uint32_t rows = grid->metrics->rowCount, columns = grid->metrics->columnCount;
        Mem_failAfter(n);
        int rc = op();
        Mem_failAfter(0);
        if (rc == 0)
            return;
        ASSERT_EQ(rc, 1) << n;
        EXPECT_EQ(listing(grid), cells) << n;
        EXPECT_EQ(editKeys(grid), edits) << n;
        EXPECT_EQ(tokensOf(grid->formulaCells), formulas) << n;
        EXPECT_EQ(grid->metrics->rowCount, rows) << n;
        EXPECT_EQ(grid->metrics->columnCount, columns) << n;
        EXPECT_TRUE(sorted(grid)) << n;
        ASSERT_EQ(Mem_check(), 0);
        ASSERT_LT(n, 100u);
    }
}

// An edit made outside the fault injection that is running.
ExcelCellEdit *numberEditAside(uint32_t row, uint32_t column, double v)
{
    uint64_t pending = Mem_failPending();
    Mem_failAfter(0);
    ExcelCellEdit *e = numberEdit(row, column, v);
    Mem_failAfter(pending);
    return e;
}

TEST_F(SheetStore, FailedAllocationsLeaveTheStoreValid)
{
    std::string sst = rec(0x00FC, u32(1) + u32(1) + str8("one"));
    layout(compound(book8(sst, {rowRec(0, 3) + rowRec(2, 3) + number(0, 0, 1) + number(2, 2, 3) +
                                rec(0x00FD, cell(0, 1, 15) + u32(0))})));
    ASSERT_EQ(Excel_Sheet_putFormula(grid, formulaOf(2, 2, refTok(0, 0))), 0);
    failEachAllocation(grid, [&] { return Excel_Sheet_cellCreate(grid, 1, 1) ? 0 : 1; });
    failEachAllocation(
        grid, [&] { return Excel_Sheet_applyEdit(ctx, grid, numberEditAside(1, 0, 4.5), 0); });
    failEachAllocation(grid, [&] { return Excel_Sheet_setCellText(grid, 1, 2, 0, u"new text"); });
    failEachAllocation(grid, [&] { return Excel_Sheet_setCellText(grid, 0, 0, 0, u"one"); });
    failEachAllocation(grid, [&] { return Excel_CellEdit_setValue(ctx, grid, 2, 2, "12.5", 0); });
    failEachAllocation(grid, [&] { return Excel_Sheet_insertRow(ctx, grid, 1); });
    failEachAllocation(grid, [&] { return Excel_Sheet_insertColumn(ctx, grid, 0); });
    Excel_Value v{Excel_kindNumber, {.d = 2}};
    ExcelFormulaResult r{&v, 0, -1};
    failEachAllocation(grid, [&] { return Excel_Sheet_setFormulaResult(ctx, &r, 4, 4, grid, 2); });
    // A1 "one" and B1 "one" moved right with column A; row 2 moved down.
    EXPECT_EQ(listing(grid), "0 1 128 15 one\n"
                             "0 2 128 15 one\n"
                             "2 1 1 15 4.5\n"
                             "2 2 4 0 \n"
                             "2 3 128 15 new text\n"
                             "3 3 1 15 12.5\n"
                             "4 4 1 15 2\n");
    EXPECT_EQ(editKeys(grid), "0,1;2,1;2,3;3,3;4,4;");
    EXPECT_EQ(grid->formulaCells, nullptr); // a typed value replaced C3's formula
}

// ------------------------------------------------------------ load-time rows

ExcelRow *emptyRow(ExcelLoadSheet *s, uint16_t number)
{
    ExcelRow *r = static_cast<ExcelRow *>(Mem_calloc(1, sizeof(ExcelRow)));
    r->row = number;
    r->first = 0xFFFF;
    ExcelRow *in = r;
    EXPECT_EQ(Excel_rowsInsert(s, &in), 0);
    return r;
}

ExcelCellValue numberValue(double v)
{
    ExcelCellValue value{};
    value.xf = 15;
    value.kind = Excel_valNumber;
    value.sst = -1;
    value.value.number = v;
    return value;
}

TEST_F(SheetStore, LoadTimeRowsGrowByTheirRules)
{
    ExcelLoadSheet *s = Excel_loadSheetCreate();
    ASSERT_NE(s, nullptr);
    // Columns 0-30 carry XF 20; 20 columns are in use.
    ExcelColInfo *info = static_cast<ExcelColInfo *>(Mem_calloc(1, sizeof(ExcelColInfo)));
    info->first = 0;
    info->last = 30;
    info->xf = 20;
    s->colInfo = info;
    s->extent[0] = 0;
    s->extent[1] = 4;
    s->extent[2] = 0;
    s->extent[3] = 20;
    ExcelRow *r0 = emptyRow(s, 0), *r1 = emptyRow(s, 1), *r2 = emptyRow(s, 2);
    struct Case {
        const char *what;
        ExcelRow *row;
        uint32_t column;
        int32_t usedColumns; // extent[3] before the put
        uint32_t slots, widest;
    } cases[] = {
        {"widened to the formatted used columns", r0, 2, 20, 20, 20},
        {"beyond them: column + 1", r0, 25, 20, 26, 26},
        {"a new row takes the widest row", r1, 0, 20, 26, 26},
        {"300 columns are never widened to", r2, 299, 400, 300, 26},
    };
    for (const Case &c : cases) {
        s->extent[3] = c.usedColumns;
        ExcelCellValue v = numberValue(c.column);
        ASSERT_EQ(Excel_rowPutCell(s, c.row, &v, c.column), 0) << c.what;
        EXPECT_EQ(c.row->slots, c.slots) << c.what;
        EXPECT_EQ(s->widest, c.widest) << c.what;
        EXPECT_EQ(c.row->cells[c.column].value.number, double(c.column)) << c.what;
    }
    // Fillers of the new slots take the column's XF.
    EXPECT_EQ(r0->cells[0].kind, uint32_t(Excel_valFiller));
    EXPECT_EQ(r0->cells[0].xf, 20);
    EXPECT_EQ(r0->first, 2);
    // A second value replaces the first; its own string is freed (the heap
    // check finds any leak).
    ExcelCellValue own{};
    own.xf = 15;
    own.kind = Excel_valString;
    own.sst = -1;
    own.value.text.text = static_cast<char16_t *>(Mem_calloc(4, sizeof(char16_t)));
    ASSERT_EQ(Excel_rowPutCell(s, r0, &own, 3), 0);
    ExcelCellValue again = numberValue(9);
    ASSERT_EQ(Excel_rowPutCell(s, r0, &again, 3), 0);
    EXPECT_EQ(r0->cells[3].kind, uint32_t(Excel_valNumber));
    // A failed growth leaves the row as it was.
    ExcelCellValue *cells = r1->cells;
    ExcelCellValue far = numberValue(1);
    Mem_failAfter(1);
    EXPECT_EQ(Excel_rowPutCell(s, r1, &far, 40), 1);
    Mem_failAfter(0);
    EXPECT_EQ(r1->slots, 26);
    EXPECT_EQ(r1->cells, cells);
    ExcelCellValue beyond = numberValue(1);
    EXPECT_EQ(Excel_rowPutCell(s, r1, &beyond, 0xFFFF), 8);
    // The row index by bisection.
    struct Index {
        uint32_t row, index;
    } indexes[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {70000, 3}};
    for (const Index &i : indexes)
        EXPECT_EQ(Excel_rowsIndex(s->rows, s->rowCount, i.row), i.index) << i.row;
    EXPECT_EQ(Excel_rowsIndex(s->rows, 0, 5), 0u);
    Excel_sheetDataFree(s);
}

// ------------------------------------------------------------ the editor

std::string readFixture(const char *name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines of a listing that lie in row.
std::string rowListing(const SheetGrid *g, uint32_t row)
{
    std::istringstream in(listing(g));
    std::string line, out, prefix = std::to_string(row) + " ";
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            out += line + "\n";
    return out;
}

TEST_F(SheetStore, EditorValuesOnAWorkbookFixture)
{
    std::string file = readFixture("lo_book.xls");
    ASSERT_FALSE(file.empty());
    layout(file);
    // Row 2 of the first sheet as loaded (lo_book.cells.expect).
    EXPECT_EQ(rowListing(grid, 1), "1 0 128 15 Apples\n"
                                   "1 1 1 15 1\n"
                                   "1 2 1 21 1.25\n"
                                   "1 3 1 21 1.25\n"
                                   "1 4 1 22 2024-01-28\n"
                                   "1 5 1 23 08:00\n"
                                   "1 6 1 24 5.0%\n");
    struct Step {
        uint32_t column;
        const char *text;
        uint32_t format;
        int rc;
        uint32_t editKind; // 9: no edit
        const char *shown;
    } steps[] = {
        {1, "12", 0, 0, Excel_editInteger, "12"},
        {2, "2.75", 2, 0, Excel_editNumber, "2.75"},
        {6, "1,234.5", 0, 0, Excel_editNumber, "1,234.50"}, // the input's grouped format (4)
        {0, "Quinces", 0, 0, Excel_editText, "Quinces"},
        {5, "true", 0, 0, Excel_editBoolean, "TRUE"},
        {4, "", 0, 0, 9, ""},
        // The typed formula replaces the loaded B2*C2 and is evaluated
        // over the two edits above; the cell keeps its "0.00".
        {3, "=B2*C2", 0, 0, Excel_editNumber, "33.00"},
    };
    for (const Step &s : steps) {
        EXPECT_EQ(Excel_CellEdit_setValue(ctx, grid, 1, s.column, s.text, s.format), s.rc)
            << s.text;
        EXPECT_EQ(textAt(grid, 1, s.column), s.shown) << s.text;
        ExcelCellEdit *e = nullptr;
        const char16_t *text = nullptr;
        uint16_t xf = 0;
        ASSERT_EQ(Excel_Sheet_getCellEdit(grid, 1, s.column, &e, &text, &xf), 0);
        EXPECT_EQ(e ? e->kind : 9u, s.editKind) << s.text;
    }
    // Cells keep their XFs; the text went to the shared-string table.
    EXPECT_EQ(rowListing(grid, 1), "1 0 128 15 Quinces\n"
                                   "1 1 1 15 12\n"
                                   "1 2 1 21 2.75\n"
                                   "1 3 1 21 33.00\n" // no colour: the XF stays
                                   "1 4 4 22 \n"
                                   "1 5 1 23 TRUE\n"
                                   "1 6 1 24 1,234.50\n");
    // The sheet recalculated: "ab"&"cd" has no evaluation and keeps the
    // text it was loaded with. The formulas over loaded numbers read
    // the loaded values: those whose results are what LibreOffice computed
    // (rows 3 to 9, 1/0, B2<0) keep their loaded values without a pending
    // edit; those over the edits (the sums of row 10, B2>3) and the empty
    // text (no text to compare) were stored.
    EXPECT_EQ(rowListing(grid, 11),
              "11 0 1 15 #DIV/0!\n11 1 1 28 TRUE\n11 2 1 15 \n11 3 1 15 abcd\n11 4 1 28 FALSE\n");
    EXPECT_EQ(editKeys(grid), "1,0;1,1;1,2;1,3;1,5;1,6;9,3;9,4;11,1;11,2;");
    EXPECT_EQ(textAt(grid, 2, 3), "8.00");
    EXPECT_EQ(textAt(grid, 8, 3), "143.00");
    // The sums mix the edits with loaded values: 451 - 1.25 + 33; B2 + B3.
    EXPECT_EQ(textAt(grid, 9, 3), "482.75");
    EXPECT_EQ(textAt(grid, 9, 4), "16");
    // A loaded formula over an edited cell shows its new result under the
    // cell's own "0.00": B3 * C3 = 5 * 2.
    ASSERT_EQ(Excel_CellEdit_setValue(ctx, grid, 2, 1, "5", 0), 0);
    EXPECT_EQ(textAt(grid, 2, 3), "10.00");
    EXPECT_EQ(Excel_CellEdit_setValue(ctx, nullptr, 0, 0, "1", 0), 16);
}

} // namespace

// A BIFF8 XF with a fill: pattern, foreground and background colour
// indexes and a text rotation.
static std::string filledXf(uint32_t pattern, uint32_t fg, uint32_t bg, uint32_t rotation = 0)
{
    return rec(0x00E0, u16(0) + u16(0) + u16(0) + u16(rotation << 8) + u16(0) + u16(0) + u16(0) +
                           u32(pattern << 26) + u16(fg | bg << 7));
}

TEST_F(SheetStore, FilledCellsGiveFillEntries)
{
    // XF 21 solid in colour 10 over automatic, XF 22 a grey pattern of
    // colour 12 over colour 9 with text at 45 degrees; a PALETTE record
    // replaces the first five entries (indexes 8 to 12).
    std::string palette = rec(0x0092, u16(5) + u32(0x010203) + u32(0x040506) + u32(0x070809) +
                                          u32(0x3C1E0A) + u32(0x0B0C0D));
    std::string globals = filledXf(1, 10, 0x41) + filledXf(2, 12, 9, 45) + palette;
    std::string blank = rec(0x0201, cell(1, 0, 21));
    layout(compound(book8(globals, {rowRec(0, 4) + rowRec(1, 4) + number(0, 0, 1, 21) +
                                    number(0, 1, 2, 22) + blank + number(1, 1, 3)})));
    const GridFillTable *t = grid->fillTable;
    ASSERT_NE(t, nullptr);
    struct Want {
        uint32_t row, column, pattern;
        uint32_t foreground; // the second colour's palette word
        bool turned;
    } want[] = {
        {0, 0, 1, 0xFF070809u, false}, // index 10: the record's third colour
        {0, 1, 2, 0xFF0B0C0Du, true},
        {1, 0, 1, 0xFF070809u, false}, // a blank cell is filled too
    };
    ASSERT_EQ(t->count, std::size(want));
    for (uint32_t i = 0; i < t->count; i++) {
        const GridFillEntry &e = t->entries[i];
        const Want &w = want[i];
        EXPECT_EQ(e.first.row, w.row) << i;
        EXPECT_EQ(e.first.column, w.column) << i;
        EXPECT_EQ(e.second, nullptr) << i;
        EXPECT_EQ(e.pattern, w.pattern) << i;
        EXPECT_EQ(grid->palette[e.colour2], w.foreground) << i;
        ASSERT_EQ(e.angles != nullptr, w.turned) << i;
        if (e.angles) {
            EXPECT_EQ(e.angles[0], 45);
            EXPECT_EQ(e.angles[1], 45); // the next cell is upright
        }
    }
    // The grey pattern's background: index 9, the record's second colour.
    EXPECT_EQ(grid->palette[t->entries[1].colour1], 0xFF040506u);
    // No grid line between the two filled cells of row 0.
    const GridEdgeList &between = grid->edgeLists->columns[1];
    ASSERT_GT(between.count, 0u);
    EXPECT_EQ(between.segments[0].kind, 0u);
}
