// The value step of the cell editor's round trip: the edit text read as a
// formula, a number, a truth value or a string and stored in the sheet
// store (a formula as the cell's token string, a value as its pending
// edit), followed by a recalculation of the sheet.
#include <cmath>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "spreadsheet/edit/celledit.h"
#include "spreadsheet/format/input.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/formula/formulatext.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint32_t {
    textFormat = 49, // the typed-input answer for plain text
    recalcEdited = 1,
};

// A value that is whole (within 2^-52) and within 0..65535 is stored as
// an integer.
bool smallWhole(double v)
{
    return v >= 0 && v <= 65535 && std::fabs(v - std::nearbyint(v)) <= 2.220446049250313e-16;
}

// Parses formula text (after its "=", which a text of two leading signs
// does not have) into tokens. 0, 0x6608, 1.
int parseFormula(EngineContext *context, const char *text, Excel_FormulaTokens *out)
{
    Excel_FormulaSource source{context, text[0] == '=' ? text + 1 : text};
    return Excel_Formula_parseText(&source, out);
}

// 0x6607 when the sheet's formulas, with the cell at (row, column) given
// the tokens instead of its own formula, refer to each other in a circle;
// else 0 (1 when memory runs out).
int checkCycle(const SheetGrid *grid, uint32_t row, uint32_t column, const uint8_t *tokens,
               size_t length)
{
    uint32_t count = 1;
    for (const SheetFormula *f = grid->formulaCells; f; f = f->next)
        count++;
    Excel_RecalcCell *cells =
        static_cast<Excel_RecalcCell *>(Mem_malloc(count * sizeof(Excel_RecalcCell)));
    if (!cells)
        return Res_noMemory;
    uint32_t n = 0;
    cells[n++] = {row, column, tokens, length};
    for (const SheetFormula *f = grid->formulaCells; f && n < count; f = f->next)
        if (f->words[0] != row || f->words[1] != column)
            cells[n++] = {f->words[0], f->words[1], f->tokens, f->length};
    uint32_t *order = nullptr;
    int rc = Excel_Formula_recalcOrder(cells, n, &order);
    Mem_free(order);
    Mem_free(cells);
    return rc;
}

// Stores a formula typed into the cell (a merged range's top-left): the
// tokens replace the cell's formula, and the cell's value is cleared (or,
// under a chosen format, set to a placeholder that hands the format on to
// the result) until the recalculation gives it the result.
int storeFormula(EngineContext *context, SheetGrid *grid, uint32_t row, uint32_t column,
                 const char *text, uint32_t formatIndex)
{
    Excel_FormulaTokens tokens{};
    int rc = parseFormula(context, text, &tokens);
    if (rc != Res_ok)
        return rc;
    if (tokens.length == 0 || tokens.length > 0xFFFF)
        rc = Res_formulaSyntax;
    if (rc == Res_ok)
        rc = checkCycle(grid, row, column, tokens.tokens, tokens.length);
    SheetFormula *formula = nullptr;
    ExcelCellEdit *placeholder = nullptr;
    if (rc == Res_ok) {
        uint32_t format = formatIndex         ? formatIndex
                          : tokens.format > 0 ? uint32_t(tokens.format)
                                              : 0;
        formula = static_cast<SheetFormula *>(Mem_calloc(1, sizeof(SheetFormula)));
        placeholder =
            Excel_editNew(format ? Excel_editInteger : Excel_editNone, row, column, nullptr);
        if (!formula || !placeholder) {
            Mem_free(placeholder);
            rc = Res_noMemory;
        } else {
            placeholder->format = uint16_t(format);
            ExcelCellEdit *old = nullptr;
            const char16_t *shown = nullptr;
            uint16_t xf = uint16_t(Excel_defaultXf);
            if (Excel_Sheet_getCellEdit(grid, row, column, &old, &shown, &xf) == Res_ok)
                placeholder->xf = xf;
            rc = Excel_Sheet_applyEdit(context, grid, placeholder, 0); // takes the edit
        }
    }
    if (rc != Res_ok) {
        Mem_free(formula);
        Excel_FormulaTokens_free(&tokens);
        return rc;
    }
    formula->words[0] = row;
    formula->words[1] = column;
    formula->tokens = tokens.tokens; // taken over
    formula->length = uint16_t(tokens.length);
    return Excel_Sheet_putFormula(grid, formula);
}

} // namespace

int Excel_CellEdit_checkFormula(EngineContext *context, SheetGrid *grid, uint32_t row,
                                uint32_t column, const char *text)
{
    if (!text)
        return Res_missingArgument;
    if (!Excel_CellEdit_isFormulaText(text))
        return Res_ok;
    Excel_FormulaTokens tokens{};
    int rc = parseFormula(context, text, &tokens);
    if (rc == Res_ok && tokens.length == 0)
        rc = Res_formulaSyntax;
    if (rc == Res_ok && grid) {
        (void)Excel_Sheet_mergedTopLeft(grid, &row, &column);
        rc = checkCycle(grid, row, column, tokens.tokens, tokens.length);
    }
    if (rc == Res_ok && grid) {
        // Evaluated once against the sheet as it is; a formula whose inputs
        // the store cannot read (259) is not at fault.
        Excel_FormulaContext ec;
        Excel_Formula_evalInit(context, &ec, tokens.tokens, tokens.length, grid);
        Excel_Value value{};
        value.kind = Excel_kindEmpty;
        rc = Excel_Formula_eval(&ec, &value);
        if (value.kind == Excel_kindText)
            Mem_free(value.u.text);
        if (rc == Res_notImplemented)
            rc = Res_ok;
    }
    Excel_FormulaTokens_free(&tokens);
    return rc;
}

int Excel_CellEdit_setValue(EngineContext *context, SheetGrid *grid, uint32_t row, uint32_t column,
                            const char *text, uint32_t formatIndex)
{
    if (!grid || !text || !grid->cellTable)
        return Res_missingArgument;
    (void)Excel_Sheet_mergedTopLeft(grid, &row, &column);
    if (Excel_CellEdit_isFormulaText(text)) {
        int rc = storeFormula(context, grid, row, column, text, formatIndex);
        if (rc != Res_ok)
            return rc;
        // The formula's own evaluation failure is what its cell shows.
        return Excel_Formula_recalcCells(context, grid, row, column, recalcEdited) == Res_noMemory
                   ? Res_noMemory
                   : Res_ok;
    }
    // Everything that can fail comes before the first change.
    SheetFormula *none = static_cast<SheetFormula *>(Mem_calloc(1, sizeof(SheetFormula)));
    if (!none)
        return Res_noMemory;
    none->words[0] = row;
    none->words[1] = column;
    double value = 0;
    uint16_t format = textFormat;
    int rc = *text ? Excel_Input_parse(grid->workbook, text, &value, &format) : Res_ok;
    ExcelCellEdit *edit = nullptr;
    char16_t *wide = nullptr;
    if (rc == Res_ok) {
        if (!*text) {
            edit = Excel_editNew(Excel_editNone, row, column, nullptr);
        } else if (format != textFormat) {
            bool whole = smallWhole(value);
            edit =
                Excel_editNew(whole ? Excel_editInteger : Excel_editNumber, row, column, nullptr);
            if (edit && whole)
                edit->value.integer = int32_t(std::nearbyint(value));
            else if (edit)
                edit->value.number = value;
            if (edit)
                edit->format = uint16_t(formatIndex ? formatIndex : format);
        } else if (Cstr_icmp(text, "TRUE") == 0 || Cstr_icmp(text, "FALSE") == 0) {
            edit = Excel_editNew(Excel_editBoolean, row, column, nullptr);
            if (edit) {
                edit->value.integer = Cstr_icmp(text, "TRUE") == 0 ? 1 : 0;
                edit->format = uint16_t(formatIndex);
            }
        } else {
            rc = Charset_toUstr(context, text, &wide, CharsetCode_utf8);
        }
        if (rc == Res_ok && !edit && !wide)
            rc = Res_noMemory;
    }
    if (rc == Res_ok && edit) {
        const char16_t *shown = nullptr;
        ExcelCellEdit *old = nullptr;
        uint16_t xf = uint16_t(Excel_defaultXf);
        if (Excel_Sheet_getCellEdit(grid, row, column, &old, &shown, &xf) == Res_ok)
            edit->xf = xf;
        rc = Excel_Sheet_applyEdit(context, grid, edit, 0); // takes the edit
    } else if (rc == Res_ok) {
        rc = Excel_Sheet_setCellText(grid, row, column, formatIndex, wide);
    } else {
        Mem_free(edit);
    }
    Mem_free(wide);
    if (rc != Res_ok) {
        Mem_free(none);
        return rc;
    }
    (void)Excel_Sheet_putFormula(grid,
                                 none); // a record without tokens only drops the cell's formula
    // Evaluation failures are stored in their cells; only running out of
    // memory is a failure of the edit.
    return Excel_Formula_recalcCells(context, grid, row, column, recalcEdited) == Res_noMemory
               ? Res_noMemory
               : Res_ok;
}
