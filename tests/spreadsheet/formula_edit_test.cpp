// Formulas typed into cells through the cell editor's value step: parsed
// into the cell's token string, recalculated with the cells they read, a
// bad formula or one closing a circle refused with the cell unchanged, the
// check made before a record is applied, the formula given back as text;
// and the workbook's 1904 date system kept for edits.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/edit/celledit.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/format/input.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/formula/formulatext.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/spreadsheet/sheet_fixture.h"
#include "tests/support/heap_fixture.h"

using namespace biff;

namespace {

class FormulaEdit : public LaidOutSheetTest {
  protected:
    // Lays out the first sheet of a one-sheet book.
    void layout(const std::string &globals, const std::string &cells)
    {
        layoutFile(compound(book8(globals, {cells})));
    }

    // The cell's formula as text ("<none>" without one).
    std::string formulaText(uint32_t row, uint32_t column)
    {
        const SheetFormula *f = Excel_Sheet_findFormula(grid, row, column);
        if (!f)
            return "<none>";
        char *text = nullptr;
        int rc = Excel_Formula_toText(ctx, f->tokens, f->length, &text);
        std::string out = rc == 0 ? text : "<" + std::to_string(rc) + ">";
        Mem_free(text);
        return out;
    }
};

// A small sheet: row 0 and row 1 have cells so that the grid has rows.
std::string smallSheet()
{
    return rowRec(0, 4) + rowRec(1, 4) + number(1, 3, 7);
}

TEST_F(FormulaEdit, TypedFormulaRecalculatesWithItsInputs)
{
    layout("", smallSheet());
    ASSERT_EQ(set(0, 0, "3"), 0);
    ASSERT_EQ(set(0, 1, "4"), 0);
    ASSERT_EQ(set(0, 2, "=a1+B1*2"), 0);
    EXPECT_EQ(shown(0, 2), "11");
    EXPECT_EQ(formulaText(0, 2), "A1+B1*2");
    // A formula over the formula: the order puts C1 first.
    ASSERT_EQ(set(1, 0, "=C1*10"), 0);
    EXPECT_EQ(shown(1, 0), "110");

    // Changing an input recalculates both dependents, in order.
    ASSERT_EQ(set(0, 0, "5"), 0);
    EXPECT_EQ(shown(0, 2), "13");
    EXPECT_EQ(shown(1, 0), "130");
    ASSERT_EQ(set(0, 1, "0.5"), 0);
    EXPECT_EQ(shown(0, 2), "6");
    EXPECT_EQ(shown(1, 0), "60");

    // Two leading signs are a formula too; its value replaces the old one.
    ASSERT_EQ(set(0, 1, "--2"), 0);
    EXPECT_EQ(formulaText(0, 1), "--2");
    EXPECT_EQ(shown(0, 2), "9");

    // A value typed over a formula drops the formula.
    ASSERT_EQ(set(0, 2, "1"), 0);
    EXPECT_EQ(formulaText(0, 2), "<none>");
    EXPECT_EQ(shown(1, 0), "10");
}

TEST_F(FormulaEdit, RefusedFormulasLeaveTheCellUnchanged)
{
    layout("", smallSheet());
    ASSERT_EQ(set(0, 0, "2"), 0);
    ASSERT_EQ(set(0, 1, "=A1*3"), 0);
    ASSERT_EQ(set(0, 2, "=B1+1"), 0);
    ASSERT_EQ(shown(0, 2), "7");
    struct Case {
        uint32_t row, column;
        const char *text;
        int rc;
    } cases[] = {
        {0, 2, "=B1+", Res_formulaSyntax},
        {0, 2, "=(B1", Res_formulaSyntax},
        {0, 2, "=NOSUCH(1)", Res_formulaSyntax},
        {0, 2, "=C1", Res_formulaCircular},   // the cell itself
        {0, 0, "=C1-1", Res_formulaCircular}, // A1 -> C1 -> B1 -> A1
        {0, 0, "=SUM(B1:C1)", Res_formulaCircular},
    };
    for (const Case &c : cases) {
        std::string before = shown(c.row, c.column), formula = formulaText(c.row, c.column);
        EXPECT_EQ(set(c.row, c.column, c.text), c.rc) << c.text;
        EXPECT_EQ(shown(c.row, c.column), before) << c.text;
        EXPECT_EQ(formulaText(c.row, c.column), formula) << c.text;
        // The sheet still recalculates: the circle was never stored.
        EXPECT_EQ(Excel_CellEdit_checkFormula(ctx, grid, c.row, c.column, c.text), c.rc) << c.text;
    }
    ASSERT_EQ(set(0, 0, "4"), 0);
    EXPECT_EQ(shown(0, 2), "13");
    EXPECT_EQ(formulaText(0, 0), "<none>");
}

TEST_F(FormulaEdit, EvaluationFailuresShowInTheCell)
{
    layout("", smallSheet());
    struct Case {
        const char *text;
        const char *shown;
        int check; // what the check before applying answers
    } cases[] = {
        {"=1/0", "#DIV/0!", Res_formulaDivideByZero},
        {"=SQRT(-1)", "#NUM!", Res_formulaNumber},
        {"=#REF!", "#REF!", Res_formulaBadReference},
        {"=MOD(-1,3)", "2", Res_ok},
        {"=\"abc\"", "abc", Res_ok},
        {"abc", "abc", Res_ok}, // no formula: nothing to check
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Excel_CellEdit_checkFormula(ctx, grid, 0, 0, c.text), c.check) << c.text;
        EXPECT_EQ(set(0, 0, c.text), 0) << c.text;
        EXPECT_EQ(shown(0, 0), c.shown) << c.text;
    }
    // An error travels into the formulas that read it.
    ASSERT_EQ(set(0, 0, "=1/0"), 0);
    ASSERT_EQ(set(0, 1, "=A1+1"), 0);
    EXPECT_EQ(shown(0, 1), "#DIV/0!");
    ASSERT_EQ(set(0, 0, "1"), 0);
    EXPECT_EQ(shown(0, 1), "2");
    // Without a sheet the text is only parsed.
    EXPECT_EQ(Excel_CellEdit_checkFormula(ctx, nullptr, 0, 0, "=1/0"), 0);
    EXPECT_EQ(Excel_CellEdit_checkFormula(ctx, nullptr, 0, 0, "=1/"), Res_formulaSyntax);
    EXPECT_EQ(Excel_CellEdit_checkFormula(ctx, grid, 0, 0, nullptr), Res_missingArgument);
}

TEST_F(FormulaEdit, FormulaResultFormats)
{
    layout("", smallSheet());
    ASSERT_EQ(set(0, 0, "2.5"), 0);
    // A chosen format shows the result (format 2 is "0.00").
    ASSERT_EQ(set(0, 1, "=A1*2", 2), 0);
    EXPECT_EQ(shown(0, 1), "5.00");
    ASSERT_EQ(set(0, 0, "1.25"), 0);
    EXPECT_EQ(shown(0, 1), "2.50");
    // General again: the earlier format does not stick to the new formula.
    ASSERT_EQ(set(0, 1, "=A1*4", 0), 0);
    EXPECT_EQ(shown(0, 1), "5");
    // A zero result shows as 0 on a sheet that shows zero values.
    ASSERT_EQ(set(0, 2, "=A1-A1"), 0);
    EXPECT_EQ(shown(0, 2), "0");
}

TEST_F(FormulaEdit, FailedAllocationsChangeNothing)
{
    layout("", smallSheet());
    ASSERT_EQ(set(0, 0, "3"), 0);
    ASSERT_EQ(set(0, 1, "=A1*2"), 0);
    for (uint32_t n = 1;; n++) {
        std::string b1 = shown(0, 1), c1 = shown(0, 2), f = formulaText(0, 2);
        Mem_failAfter(n);
        int rc = set(0, 2, "=B1+A1");
        Mem_failAfter(0);
        if (rc == 0)
            break;
        ASSERT_EQ(rc, Res_noMemory) << n;
        // Before the formula is stored nothing changes; a recalculation
        // that runs short leaves the formula in place.
        if (formulaText(0, 2) == "<none>") {
            EXPECT_EQ(shown(0, 2), c1) << n;
        }
        EXPECT_EQ(shown(0, 1), b1) << n;
        ASSERT_EQ(Mem_check(), 0);
        ASSERT_LT(n, 200u);
    }
    EXPECT_EQ(shown(0, 2), "9");
}

// ------------------------------------------------------- shared formulas

std::string hex(const uint8_t *p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; i++)
        out += std::string(1, digits[p[i] >> 4]) + digits[p[i] & 15];
    return out;
}

std::string entryText(const SheetSharedFormula *e)
{
    if (!e)
        return "<none>";
    return std::to_string(e->words[0]) + "," + std::to_string(e->words[1]) + " " +
           std::to_string(e->type) + " " + std::to_string(e->range[0]) + "-" +
           std::to_string(e->range[1]) + " " + std::to_string(e->range[2]) + "-" +
           std::to_string(e->range[3]) + " " + hex(e->tokens, e->length);
}

TEST_F(FormulaEdit, SharedFormulaTableFollowsTheSheet)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/shrfmla.xls", std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(file.empty());
    layoutFile(file);
    // B2:B5 share B1+1, defined at B2 (shrfmla.cells.expect).
    ASSERT_EQ(grid->sharedCount, 1u);
    EXPECT_EQ(entryText(Excel_Sheet_findSharedFormula(grid, 1, 1)),
              "1,1 1212 1-4 1-1 24000001c01e010003");
    EXPECT_EQ(Excel_Sheet_findSharedFormula(grid, 2, 1), nullptr);

    // A row inserted above moves the anchor, the range and the reference.
    ASSERT_EQ(Excel_Sheet_insertRow(ctx, grid, 0), 0);
    EXPECT_EQ(entryText(Excel_Sheet_findSharedFormula(grid, 2, 1)),
              "2,1 1212 2-5 1-1 24010001c01e010003");
    EXPECT_EQ(formulaText(3, 1), "B3+1");
    // A row deleted inside the range shrinks it; one deleted before the
    // column's references are unaffected by columns.
    ASSERT_EQ(Excel_Sheet_deleteRow(ctx, grid, 4), 0);
    EXPECT_EQ(entryText(Excel_Sheet_findSharedFormula(grid, 2, 1)),
              "2,1 1212 2-4 1-1 24010001c01e010003");
    ASSERT_EQ(Excel_Sheet_insertColumn(ctx, grid, 0), 0);
    EXPECT_EQ(entryText(Excel_Sheet_findSharedFormula(grid, 2, 2)),
              "2,2 1212 2-4 2-2 24010002c01e010003");
    // Deleting the anchor's row drops the entry.
    ASSERT_EQ(Excel_Sheet_deleteRow(ctx, grid, 2), 0);
    EXPECT_EQ(grid->sharedCount, 0u);
}

TEST_F(FormulaEdit, PutSharedFormulaReplacesByAnchor)
{
    layout("", smallSheet());
    auto entry = [](uint32_t row, uint32_t column, uint16_t type, const std::string &bytes) {
        SheetSharedFormula e{};
        e.words[0] = row;
        e.words[1] = column;
        e.type = type;
        e.range[0] = e.range[1] = row;
        e.range[2] = e.range[3] = column;
        e.tokens = static_cast<uint8_t *>(Mem_malloc(bytes.size()));
        memcpy(e.tokens, bytes.data(), bytes.size());
        e.length = uint32_t(bytes.size());
        return e;
    };
    SheetSharedFormula a = entry(0, 0, 0x04BC, std::string("\x1e\x01\x00", 3));
    ASSERT_EQ(Excel_Sheet_putSharedFormula(grid, &a), 0);
    EXPECT_EQ(Excel_Sheet_putSharedFormula(grid, &grid->sharedFormulas[0]), Res_missingArgument);
    // An array anchored at B2 over B2:C2: its record body holds the range
    // and the tokens (a reference to D2) from byte 14.
    std::string body = std::string("\x01\x00\x01\x00\x01\x02", 6) + std::string(6, '\0') +
                       std::string("\x05\x00", 2) + std::string("\x24\x01\x00\x03\xc0", 5);
    SheetSharedFormula b = entry(1, 1, 0x0221, body);
    b.range[3] = 2;
    ASSERT_EQ(Excel_Sheet_putSharedFormula(grid, &b), 0);
    SheetSharedFormula c = entry(0, 0, 0x04BC, std::string("\x1e\x02\x00", 3));
    ASSERT_EQ(Excel_Sheet_putSharedFormula(grid, &c), 0); // replaces the first
    ASSERT_EQ(grid->sharedCount, 2u);
    EXPECT_EQ(entryText(Excel_Sheet_findSharedFormula(grid, 0, 0)), "0,0 1212 0-0 0-0 1e0200");
    EXPECT_EQ(Excel_Sheet_putSharedFormula(nullptr, &c), Res_missingArgument);
    EXPECT_EQ(Excel_Sheet_putSharedFormula(grid, nullptr), Res_missingArgument);

    // A column inserted before the array moves its body's range and its
    // reference; a failed allocation leaves the table as it was.
    ASSERT_EQ(Excel_Sheet_insertColumn(ctx, grid, 1), 0);
    EXPECT_EQ(entryText(Excel_Sheet_findSharedFormula(grid, 1, 2)),
              "1,2 545 1-1 2-3 010001000203000000000000050024010004c0");
    SheetSharedFormula d = entry(5, 5, 0x04BC, std::string("\x1e\x03\x00", 3));
    Mem_failAfter(1);
    EXPECT_EQ(Excel_Sheet_putSharedFormula(grid, &d), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(grid->sharedCount, 2u);
    Mem_free(d.tokens);
}

// ------------------------------------------------------------ 1904 dates

TEST_F(FormulaEdit, DateSystemOfTheWorkbook)
{
    layout(rec(0x0022, u16(1)), smallSheet());
    ASSERT_NE(grid->workbook, nullptr);
    EXPECT_EQ(grid->workbook->date1904, 1u);
    EXPECT_NE(grid->displayFlags & Excel_fmtDate1904, 0u);
    // Typed dates count from 1904-01-01; earlier ones have no serial.
    struct Case {
        const char *text;
        double value;
        uint16_t format;
    } cases[] = {
        {"1/1/1904", 0, Excel_inputDate},
        {"2/1/1904 12:00", 1.5, Excel_inputDateTime},
        {"1/1/2008", 39448 - 1462, Excel_inputDate},
        {"31/12/1903", 0, Excel_inputText},
        {"12.5", 12.5, Excel_inputGeneral}, // numbers are not dates
    };
    for (const Case &c : cases) {
        double v = -1;
        uint16_t f = 0;
        ASSERT_EQ(Excel_Input_parse(grid->workbook, c.text, &v, &f), 0) << c.text;
        EXPECT_EQ(f, c.format) << c.text;
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
    // An edit shows a date of the same system: typed and shown alike.
    ASSERT_EQ(set(0, 0, "5/3/2010"), 0);
    ExcelCellEdit *e = nullptr;
    const char16_t *text = nullptr;
    uint16_t xf = 0;
    ASSERT_EQ(Excel_Sheet_getCellEdit(grid, 0, 0, &e, &text, &xf), 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->value.integer, 40242 - 1462);
    EXPECT_EQ(shown(0, 0), "05/03/2010");
    char *edit = nullptr;
    ASSERT_EQ(Excel_CellEdit_valueText(ctx, e, nullptr, "en-gb", grid->workbook->date1904, &edit),
              0);
    EXPECT_STREQ(edit, "05/03/2010");
    Mem_free(edit);
}

TEST_F(FormulaEdit, DateSystemOfASavedBook)
{
    // formats1904.xls was saved in the 1904 date system (its generator
    // sets it); its first sheet's cells show 1904 dates.
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/formats1904.xls",
                     std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(file.empty());
    layoutFile(file);
    EXPECT_EQ(grid->workbook->date1904, 1u);
    EXPECT_NE(grid->displayFlags & Excel_fmtDate1904, 0u);
}

TEST_F(FormulaEdit, DateSystemDefaultsTo1900)
{
    layout(rec(0x0022, u16(0)), smallSheet());
    EXPECT_EQ(grid->workbook->date1904, 0u);
    EXPECT_EQ(grid->displayFlags & Excel_fmtDate1904, 0u);
    ASSERT_EQ(set(0, 0, "5/3/2010"), 0);
    EXPECT_EQ(shown(0, 0), "05/03/2010");
    double v = 0;
    uint16_t f = 0;
    ASSERT_EQ(Excel_Input_parse(grid->workbook, "1/1/1904", &v, &f), 0);
    EXPECT_EQ(v, 1462);
}

} // namespace
