// The sheet store of a laid-out worksheet: the cell entries of its grid
// (sorted by row, then column), merged ranges resolved to their top-left
// cell, the pending edits that the contents-editing bridge and formula
// results make, the formula list, and the recalculation driver.
//
// Every operation keeps the sorted arrays and lists valid when it fails:
// what can fail (allocations) is done before anything is changed. The
// caller holds the document's write lock.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct ExcelCell;
struct ExcelCellEdit;
struct ExcelWorkbook;
struct Excel_Value;
struct SheetFormula;
struct SheetGrid;

// A cell position: the sort key of cells and edits.
struct ExcelCellKey {
    uint32_t row;
    uint32_t column;
};

// -1, 0 or 1 as a comes before, at or after b (row first, then column).
int Excel_keyCompare(const ExcelCellKey *a, const ExcelCellKey *b);

// ------------------------------------------------------------ cells

// The first entry of the cell at (row, column), inserted at its sorted
// place as {kind 4 (no text), shared-string index -1, rest 0} when absent.
// Lent; null for a null grid or when memory runs out (nothing changed).
ExcelCell *Excel_Sheet_cellCreate(SheetGrid *grid, uint32_t row, uint32_t column);

// Replaces a key that lies inside a merged range by the range's top-left
// cell; other keys stay. 0; 16 for null arguments.
int Excel_Sheet_mergedTopLeft(const SheetGrid *grid, uint32_t *row, uint32_t *column);

// Releases the text of one entry: a shared text gives back one reference
// of its shared string, an own text waits on the workbook's pending list
// (freed at once without a workbook or when the list entry cannot be
// had). The entry becomes kind 4 with index -1 and no text.
void Excel_cellClearText(ExcelWorkbook *workbook, ExcelCell *cell);
// The same for the cell and every further run entry, which are freed.
void Excel_cellClear(ExcelWorkbook *workbook, ExcelCell *cell);

// Removes every cell entry (with its runs), loaded value, pending edit,
// formula and shared-formula entry (by its anchor) of one row (column = -1) or one
// column (row = -1); nothing when both are -1. 0; 16 for a null grid.
int Excel_Sheet_removeLine(SheetGrid *grid, int64_t row, int64_t column);

// ------------------------------------------------------------ loaded values
// The values behind the display texts of loaded cells (SheetValueTable in
// spreadsheet/sheetgrid.h): numbers, integers, truth values and errors of
// NUMBER, RK, MULRK, BOOLERR records and cached formula results. A pending
// edit of the cell comes first; an edit that gives a cell a new value or
// clears it drops the loaded one.

enum : uint32_t {
    Excel_valueKeyMask = 0xFFFFFF, // row << 8 | column
    Excel_valueKindShift = 24,
};

// Makes room for count more values, so that a table filled in row and
// column order grows once and holds no slack. 0; 16 for a null grid; 1
// when memory runs out (nothing changed).
[[nodiscard]] int Excel_Sheet_reserveValues(SheetGrid *grid, uint32_t count);
// Stores the loaded value of a cell: kind Excel_editBoolean (value 1 or
// 0), Excel_editInteger, Excel_editNumber or Excel_editError (the BIFF
// error code). The value of the same cell is replaced; a value after the
// last goes on the end. 0; 16 for a null grid; 8 for another kind or a
// cell beyond row 65535 or column 255; 1 when memory runs out (nothing
// changed).
[[nodiscard]] int Excel_Sheet_putValue(SheetGrid *grid, uint32_t row, uint32_t column,
                                       uint32_t kind, double value);
// The kind of the cell's loaded value (0: none, or replaced by an edit)
// and the value in *value when there is one (value may be null).
uint32_t Excel_Sheet_valueAt(const SheetGrid *grid, uint32_t row, uint32_t column, double *value);
// The cell's loaded value no longer stands: its entry is marked replaced
// (kind 0), without moving the table.
void Excel_Sheet_dropValue(SheetGrid *grid, uint32_t row, uint32_t column);

// ------------------------------------------------------------ pending edits

// A new edit of kind (Excel_edit*) with XF 15, format 0 and the key; for
// kind 5 the text (null: empty) is copied behind the record and the
// value's entry points at it. Freed with Mem_free. Null when memory runs
// out.
ExcelCellEdit *Excel_editNew(uint32_t kind, uint32_t row, uint32_t column, const char16_t *text);

// The format request of an edit's value; truth holds a boolean's byte
// (the request points into the edit and at truth).
struct Excel_FmtRequest;
void Excel_editFormatRequest(const ExcelCellEdit *edit, Excel_FmtRequest *r, uint8_t *truth);

// The edit of the list with the key, or null; *previous (when not null)
// receives the last edit before the key (null: the key goes first).
ExcelCellEdit *Excel_editFind(ExcelCellEdit *edits, ExcelCellEdit **previous, uint32_t row,
                              uint32_t column);
// Links the edit at its sorted place (before an edit of the same key).
void Excel_editInsert(ExcelCellEdit **list, ExcelCellEdit *edit);
// Unlinks the edit with the key and hands it to the caller; null when none.
ExcelCellEdit *Excel_editRemove(ExcelCellEdit **list, uint32_t row, uint32_t column);

// The pending edit of the cell and the cell's XF; without one, a null
// edit and the cell's text (lent; null for a missing cell, XF 15). 0; 16
// for a null grid or outputs.
int Excel_Sheet_getCellEdit(SheetGrid *grid, uint32_t row, uint32_t column, ExcelCellEdit **edit,
                            const char16_t **text, uint16_t *xf);

// Formats the edit's value into its cell (made when absent, with the
// edit's XF): the value under the edit's number format, General within the
// column's width (a merged range's columns together), becomes the cell's
// own text (kind 1). Text edits are left alone unless force is set (their
// text does not depend on the width). 0; 16 for null arguments; 1 when
// memory runs out (the cell keeps its old text).
int Excel_Sheet_renderEdit(EngineContext *context, ExcelCellEdit *edit, SheetGrid *grid, int force);

// Applies a pending edit (taken over in every case but 16): an existing
// edit of the same cell is replaced, its number format and XF taken over
// in mode 2, and in mode 1 when it has a format; an edit of kind 0 clears
// the cell's text and is dropped; any other is rendered into the cell and
// linked in the sorted list. 0; 16 for null arguments or an edit that is
// already linked; 8 for a kind above 5; 1 when memory runs out (nothing
// changed).
int Excel_Sheet_applyEdit(EngineContext *context, SheetGrid *grid, ExcelCellEdit *edit,
                          uint32_t mode);

// Stores text as the cell's string: a copy goes into the workbook's
// shared-string table (an equal entry is reused), the cell shows it (kind
// 128 with the index; kind 1 with its own copy without a workbook), and
// the cell's pending edit becomes a text edit of that string under the
// format index. 0; 16 for null arguments; 1 when memory runs out (nothing
// changed but an unused shared string).
int Excel_Sheet_setCellText(SheetGrid *grid, uint32_t row, uint32_t column, uint32_t formatIndex,
                            const char16_t *text);

// Re-renders every pending edit of a column (after its width changed).
// 0 or the first failure.
int Excel_Sheet_renderColumn(EngineContext *context, SheetGrid *grid, uint32_t column);

// ------------------------------------------------------------ formulas

// Links a formula record (taken over): the formula of the same cell is
// replaced; a formula whose first token is a 5-byte ptgExp or ptgTbl
// reference also drops every other formula with those 5 bytes (the other
// members of its shared formula or table). A record without tokens is
// freed, which leaves the cell without a formula. 0; 16 for a null grid
// or formula or one that is already linked.
int Excel_Sheet_putFormula(SheetGrid *grid, SheetFormula *formula);
// The formula of the cell, or null.
SheetFormula *Excel_Sheet_findFormula(const SheetGrid *grid, uint32_t row, uint32_t column);

struct SheetSharedFormula;
// Stores a shared formula, array or table entry under its anchor (the
// entry's two key words): an entry with the same key is replaced (its
// bytes freed), else the entry is appended. The entry's bytes are taken
// over on success. 0; 16 for null arguments or an entry already in the
// table; 1 when memory runs out (nothing changed, the bytes still the
// caller's).
[[nodiscard]] int Excel_Sheet_putSharedFormula(SheetGrid *grid, const SheetSharedFormula *entry);
// The entry anchored at the cell, or null (lent).
const SheetSharedFormula *Excel_Sheet_findSharedFormula(const SheetGrid *grid, uint32_t row,
                                                        uint32_t column);

// The result of one evaluation: the value (null: empty), whether it is an
// error (its BIFF error code in value->u.i) and the number format the
// result takes (-1: none).
struct ExcelFormulaResult {
    const Excel_Value *value;
    uint32_t isError;
    int32_t format;
};

// Stores an evaluation result as the cell's pending edit (XF 15; integer
// 2, number 3, boolean 1, text 5 copied, error 4, empty as the integer 0)
// through Excel_Sheet_applyEdit with mode. A result with a number format
// takes it and Excel_Sheet_applyResultFormat. 0; 16 for null arguments;
// 1 when memory runs out.
int Excel_Sheet_setFormulaResult(EngineContext *context, const ExcelFormulaResult *result,
                                 uint32_t row, uint32_t column, SheetGrid *grid, uint32_t mode);
// Used when a result carries a number format: the cell's style rule is
// copied without its text colour (property 154), which the format's
// colour section gives back when it names one and the value is no error;
// the copy becomes the cell's rule. Nothing without the format's text, for
// format 0, or when there is no colour to set or take away (the cell keeps
// its rule and XF). 0 or the failure of the rule change.
int Excel_Sheet_applyResultFormat(ExcelCellEdit *edit, SheetGrid *grid, uint32_t row,
                                  uint32_t column);
// Stores the error value of an evaluation failure code: 0x6601 #VALUE!,
// 0x6602 #REF!, 0x6603 #NUM!, 0x6604 #NULL!, 0x6605 #N/A, 0x6606 #DIV/0!,
// any other #NAME?. 0; 16; 1.
int Excel_Sheet_setFormulaError(EngineContext *context, SheetGrid *grid, int32_t format, int code,
                                uint32_t row, uint32_t column);
// The BIFF error code of an evaluation failure code (as above).
uint32_t Excel_Formula_errorCode(int code);

// Re-evaluates the grid's formulas in list order, yielding before each:
// a result is stored in mode 1 for the edited cell (row, column) and mode
// 2 for the others, under the number format of the cell's XF unless that
// is General (then the format the evaluation gave); an evaluation failure stores its error; a
// formula with features the evaluator does not model stores #NAME? in mode 2 (in mode 1 only when
// it uses one of the functions that cannot be approximated) and otherwise keeps its value; a
// formula the engine cannot evaluate at all (259) keeps its cached value. 0, or the last evaluation
// failure code; 1 when memory runs out; the first failure to store a result ends the pass with it.
// 16 for a null grid.
int Excel_Formula_recalcCells(EngineContext *context, SheetGrid *grid, uint32_t row,
                              uint32_t column, uint32_t mode);
