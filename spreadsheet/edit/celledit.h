// Spreadsheet contents editing: one cell's round trip through the host's
// contents dialog.
//
// The current cell is gathered into a CellEdit (value as edit text, font,
// colour, alignment, number format, row height and column width), sent to
// the host as an EditData of kind 4065 (request 0x17000) and the record the
// host returns is turned back into a CellEdit, validated (flag 1) or
// applied (flag 0). These are the steps that do not touch the viewer:
// cell references in A1 form, the edit text of a value, the palette match,
// the exchange of style properties with the cell's rule, validation and
// the row-height limits.
#pragma once

#include <cstddef>
#include <cstdint>

struct EditData;
struct EditModeRecord;
struct EngineContext;
struct ExcelCellEdit;
struct Prop;
struct StyleRule;

enum : uint32_t {
    CellEdit_bold = 0x01,
    CellEdit_italic = 0x02,
    CellEdit_underline = 0x04,
    CellEdit_underline2 = 0x08,
    CellEdit_strike = 0x10,

    CellEdit_alignDefault = 0x10000, // horizontal: general; vertical: top
    CellEdit_alignMiddle = 0x10001,  // horizontal: centre; vertical: centre
    CellEdit_alignEnd = 0x10002,     // horizontal: right; vertical: bottom

    CellEdit_resizeBoth = 0x10000, // apply height and width
    CellEdit_resizeWidthAuto = 0x10001,
    CellEdit_resizeHeightAuto = 0x10002,
    CellEdit_resizeNone = 0x10003,
    CellEdit_resizeResetColumn = 0x103EB,

    CellEdit_minRowHeight = 10000,
    CellEdit_maxRowHeight = 372245,
    CellEdit_minFontSize = 2,
    CellEdit_maxFontSize = 144,
    CellEdit_paletteSize = 56,
    CellEdit_userFormat = 164, // the first user number format index
    CellEdit_maxRows = 65536,
    CellEdit_maxColumns = 256,
};

// Notification codes of the editing round trip (request 0x10016).
enum : int32_t {
    CellEdit_noticeValid = 37,
    CellEdit_noticeBadFont = 39,
    CellEdit_noticeBadSize = 40,
    CellEdit_noticeNoFormat = 41,
    CellEdit_noticeBadColour = 42,
    CellEdit_noticeGotoDone = 22,
    CellEdit_noticeGotoOutside = 24,
    CellEdit_noticeGotoBadRef = 25,
    CellEdit_noticeGotoNotShown = 26,
    CellEdit_noticeInserted = 27,
    CellEdit_noticeInsertBadCode = 28,
    CellEdit_noticeLinesInUse = 29,
    CellEdit_noticeDeleted = 31,
    CellEdit_noticeDeleteBadCode = 32,
};

// One cell as the dialog sees it (owned by the operation that made it;
// freed with Excel_CellEdit_free).
struct CellEdit {
    uint32_t row;
    uint32_t column;
    char *text;           // edit text, UTF-8 ("" for an empty cell)
    char *fontName;       // UTF-8; "Arial" when the cell's style names none
    uint32_t fontSize;    // points
    uint32_t colourIndex; // palette index 0..55
    uint32_t styleFlags;  // CellEdit_bold ...
    uint32_t hAlign;
    uint32_t vAlign;
    uint32_t formulaReadable; // 0: the cell's formula could not be made text
    uint32_t formatIndex;
    char *formatString; // UTF-8, or null
    uint32_t resizeMode;
    uint32_t rowHeight;
    uint32_t columnWidth;
};

// A new record with the defaults (formula readable, heights and widths 0,
// alignment 0x10000 / 0x10002, resize 0x10000); null without memory.
CellEdit *Excel_CellEdit_new(uint32_t row, uint32_t column);
// Frees the record and its strings. Null is ignored.
void Excel_CellEdit_free(CellEdit *edit);
// Fills what gathering left unset: fontName "Arial", fontSize 10 when
// outside 2..144, text "". 0 or 1.
[[nodiscard]] int Excel_CellEdit_finish(CellEdit *edit);

// ------------------------------------------------------------ references

// Parses an A1 reference: one or two ASCII letters (either case) and one to
// five digits, nothing else. *row = number - 1 (-1 for row 0), *column the
// letters' value - 1. 0, or 25 for anything else (a reference longer than
// a sheet allows included, refused before any arithmetic can overflow).
int Excel_CellEdit_parseRef(const char *text, int32_t *row, int32_t *column);
// Writes the A1 form of (row, column) into buffer (at least 16 bytes for
// every 32-bit pair): column 0 is A, 25 Z, 26 AA, 255 IV. The length.
size_t Excel_CellEdit_refText(uint32_t row, uint32_t column, char *buffer, size_t capacity);

// ------------------------------------------------------------ edit text

// The format the edit text of a built-in format index is made with: dates
// (14-17, 30, 31, 55-58) 14, times (18-21, 45, 47) 21, 22 stays 22 (the
// locale's date and time), 46 stays 46, every other 0 (General).
uint32_t Excel_CellEdit_editFormat(uint32_t formatIndex);
// The locale's date-time format for format 22: "Vexlan_excelLocaleDateShort",
// else "yyyy/mm/dd" for the language "ja-jp" and "dd/mm/yyyy" otherwise;
// then " h:mm:ss" for "ja-jp" and " hh:mm:ss" otherwise. A new string; 0,
// 1 without memory.
[[nodiscard]] int Excel_CellEdit_localeDateFormat(EngineContext *context, const char *language,
                                                  char16_t **out);
// The edit text of a cell value (UTF-8, new string): "=" and the formula
// text when formula is not null; else the value shown in its edit format
// (a user format: integers "%d", numbers General, strings their text),
// dates counted from 1904-01-01 when date1904 is set (the workbook's date
// system). language is the engine's current language (null: none). 0, 1
// without memory, 16 for null arguments.
[[nodiscard]] int Excel_CellEdit_valueText(EngineContext *context, const ExcelCellEdit *value,
                                           const char *formula, const char *language,
                                           uint32_t date1904, char **out);
// 1 when the text is to be read as a formula: "=" followed by anything
// but another "=", or two leading signs ("--", "-+", "+-", "++").
int Excel_CellEdit_isFormulaText(const char *text);

// ------------------------------------------------------------ colours

// The palette index of a colour (bytes R, G, B, A) among count palette
// words 0xRRGGBBAA: the first equal in all four bytes, else the smallest
// sum of the four byte differences (first on ties). 0 without a palette.
uint32_t Excel_CellEdit_nearestColour(const uint32_t *palette, uint32_t count, const uint8_t *rgba);

// ------------------------------------------------------------ properties

// One property of the cell's style rule into the record (see the
// exchange table of the source file).
void Excel_CellEdit_takeProp(CellEdit *edit, const Prop *value, const uint32_t *palette,
                             uint32_t count);
// The style rule of an edited cell: bold, italic, strike, underline,
// colour, family, size, horizontal and vertical alignment. A font name
// that is empty, a colour index outside 0..55 or a size outside 2..144 is
// replaced by current's value, and its notification code (39, 42, 40) is
// added to notices (room for 3; *noticeCount counts them). 0 or 1.
[[nodiscard]] int Excel_CellEdit_makeRule(const CellEdit *edit, const CellEdit *current,
                                          const uint32_t *palette, uint32_t count, StyleRule **out,
                                          int32_t *notices, uint32_t *noticeCount);

// ------------------------------------------------------------ checks

// Validation of a returned record: 40 size outside 2..144, 39 no font
// name, 42 colour outside 0..55, 41 no format string; 0 when they pass
// (the text's formula is checked next).
int32_t Excel_CellEdit_validate(const CellEdit *edit);
// A requested row height within 10000..372245.
uint32_t Excel_CellEdit_clampRowHeight(uint32_t height);
// How an engine error of the editing is reported: a notification code
// (*notice) or a host error (*hostError); 0 reports nothing. 1 -> host
// 0x10006; 26112..26118 -> 4096; 26119 -> 4098; 26120, 26121 -> 4097;
// others host 0x10003.
void Excel_CellEdit_errorReport(int code, int32_t *notice, int32_t *hostError);

// ------------------------------------------------------------ the exchange

// Fills the host's record (cleared first; its strings new UTF-8 copies,
// freed with EditData_freeStrings): kind 4065, the A1 reference, the
// font's index in the record's font list, format "General" when there is
// none. 0 or 1.
[[nodiscard]] int EditData_fromCell(const CellEdit *edit, const EditModeRecord *record,
                                    EditData *out);
void EditData_freeStrings(EditData *data);
// The host's record as a new CellEdit (formatIndex 164, the font list
// entry at fontIndex when it is in the list, size fontSize >> 16). 0, 1
// without memory, 16 for null arguments.
[[nodiscard]] int EditData_toCellEdit(const EditData *data, const EditModeRecord *record,
                                      CellEdit **out);

// ------------------------------------------------------------ the value

struct SheetGrid;

// Stores the edit text (UTF-8) as the value of the cell at (row, column)
// (a merged range's top-left) under the format index, then recalculates
// the sheet's formulas. Formula text (Excel_CellEdit_isFormulaText) is
// parsed without its "=" and becomes the cell's formula, whose result the
// recalculation shows (under formatIndex, else the format the parser
// chose for the last function named); a formula that does not parse
// (0x6608, 0x6609) or that would close a circle of formulas (0x6607)
// leaves the cell unchanged. Other text: an empty text clears the value; a
// number read by the typed-input rules becomes an integer when it is whole
// and within 0..65535, else a number, taking the input's format when
// formatIndex is 0; "TRUE" or "FALSE" (either case) a truth value;
// anything else a string; the cell's formula is dropped. An evaluation
// failure is what the cell shows, not a failure of the call. 0; 16 for
// null arguments; 1 when memory runs out (before the value is stored the
// cell stays unchanged; a recalculation that runs short leaves the new
// value in place).
[[nodiscard]] int Excel_CellEdit_setValue(EngineContext *context, SheetGrid *grid, uint32_t row,
                                          uint32_t column, const char *text, uint32_t formatIndex);

// The check of a returned record's text before it is applied: formula
// text is parsed (0x6608, 0x6609), tried against the sheet's other
// formulas for a circle (0x6607) and evaluated once against the sheet
// (without a grid only parsed); its evaluation failure (0x6600-0x6606) is
// returned. Other text, and a formula whose inputs the sheet store cannot
// read, give 0. 1 when memory runs out; 16 for a null text.
[[nodiscard]] int Excel_CellEdit_checkFormula(EngineContext *context, SheetGrid *grid, uint32_t row,
                                              uint32_t column, const char *text);
