// The value step of the cell editor's round trip: the edit text read as a
// number, a truth value or a string and stored in the sheet store as the
// cell's pending edit, followed by a recalculation of the sheet.
#include <cmath>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "document/edit/celledit.h"
#include "spreadsheet/format/input.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetgrid.h"

namespace
{

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

} // namespace

int Excel_CellEdit_setValue(EngineContext *context, SheetGrid *grid, uint32_t row, uint32_t column, const char *text,
                            uint32_t formatIndex)
{
    if (!grid || !text || !grid->cellTable)
        return Res_missingArgument;
    if (Excel_CellEdit_isFormulaText(text))
        return Res_notImplemented;
    (void)Excel_Sheet_mergedTopLeft(grid, &row, &column);
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
            edit = Excel_editNew(whole ? Excel_editInteger : Excel_editNumber, row, column, nullptr);
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
            rc = Charset_toUstr(text, &wide, CharsetCode_utf8, context);
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
    (void)Excel_Sheet_putFormula(grid, none); // a record without tokens only drops the cell's formula
    // Evaluation failures are stored in their cells; only running out of
    // memory is a failure of the edit.
    return Excel_Formula_recalcCells(context, grid, row, column, recalcEdited) == Res_noMemory ? Res_noMemory
                                                                                            : Res_ok;
}
