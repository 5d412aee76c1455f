// The worksheet cell store: the records of a laid-out worksheet that the
// cell formatting uses. The cell store itself adds the rest of the sheet
// store and its operations.
#pragma once

#include <cstdint>

#include "spreadsheet/reader/workbook.h"

struct ExcelWorkbook;
struct StyleRule;

// The style rules that the cells of a sheet refer to by index. The first
// 3 x xfCount slots are set aside: slot xf for cells drawn as their XF
// says, xfCount + xf for numbers in a general-aligned XF, 2 x xfCount + xf
// for numbers coloured by their number format; equal rules beyond them
// are shared.
struct ExcelRuleTable {
    uint32_t count;               // slots in rules
    StyleRule **rules;            // owned; null for an empty slot
    uint32_t xfCount;             // the XF count the slots were laid out for
    uint8_t rightToLeft;          // bit 6 of the sheet's WINDOW2 options
    struct ExcelRuleIndex *index; // owned lookup of the rules made, or null
};

// Kinds of a sheet-store cell entry.
enum : uint32_t {
    Excel_cellOwnText = 1,      // the entry owns its text
    Excel_cellNoText = 4,       // format only
    Excel_cellSharedText = 128, // the text belongs to the shared-string table
};

// A cell entry of the sheet store (one per formatting run; only the first
// run of a cell is in the sorted array).
struct ExcelCell {
    uint16_t rule; // index into the sheet's rule table
    uint16_t font; // font index of the run
    uint16_t xf;   // XF index
    uint32_t row;
    uint32_t column;
    uint32_t kind; // Excel_cellOwnText, Excel_cellNoText, Excel_cellSharedText
    char16_t *text;
    ExcelCell *next; // the next run of the same cell
    int32_t sst;     // shared-string index, or -1
};

// The sheet store of a laid-out worksheet.
struct ExcelSheet {
    ExcelRuleTable rules;
    ExcelWorkbook *workbook;
};

// Value kinds of a pending edit.
enum : uint32_t {
    Excel_editNone = 0,
    Excel_editBoolean = 1,
    Excel_editInteger = 2,
    Excel_editNumber = 3,
    Excel_editError = 4,
    Excel_editText = 5,
};

// A pending edit of a cell: the value the editing bridge or a formula gave
// it, with its number format and XF.
struct ExcelCellEdit {
    uint16_t format; // number-format index
    uint16_t xf;     // XF index (15 when the cell has none)
    uint32_t row;
    uint32_t column;
    uint32_t kind; // Excel_edit*
    union {
        int32_t integer;
        double number;
        const char *error;
        ExcelSstEntry text;
    } value;
    ExcelCellEdit *next;
};
