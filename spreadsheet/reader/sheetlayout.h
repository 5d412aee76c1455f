// Sheet layout: a worksheet's load-time store turned into the sheet grid
// (spreadsheet/sheetgrid.h) that the page of the sheet carries: row and
// column geometry, border lines, cell entries with their display texts
// and style rules, merged ranges and formulas.
#pragma once

#include <cstdint>

struct ExcelLoad;
struct ExcelLoadSheet;
struct ExcelSheetEntry;
struct SheetGrid;
struct SheetMetrics;

enum : int {
    Excel_errEmptySheet = 12558, // nothing to lay out (not a failure of the load)
    Excel_errBorderCell = 12560,
    Excel_errNoDefaultFont = 12562,
};

enum : uint32_t {
    Excel_minLayoutRows = 30,
    Excel_minLayoutColumns = 10,
    Excel_defaultRawWidth = 2048, // 8 characters in 1/256 character
    Excel_gridLineStyle = 14,     // the ordinary grid line
    Excel_gridLineColour = 15,    // its palette slot
};

// The laid-out extent: rows at least 30 and the used row limit; columns at
// least 10 and the widest row's slot count.
void Excel_sheetExtent(const ExcelLoadSheet *sheet, uint32_t *rows, uint32_t *columns);

// The raw width (1/256 character) of a column past the used ones: the
// width of the last column-information record covering it, else the
// sheet's default width in characters x 256; 2048 without a sheet.
uint16_t Excel_unusedColumnWidth(const ExcelLoadSheet *sheet, uint32_t column);

// A new metrics record for the sheet: column scale 506 x the points of
// XF 15's font, raw widths (Excel_unusedColumnWidth beyond the used
// columns), cumulative row positions (16.16 twentieths of a point / 1440;
// rows beyond the used ones take the sheet's default row height), column
// widths scale x raw / 256 + 3494. 0;
// 12558 for an empty sheet; 12562 when XF 15 or its font is missing or the
// scale is 0; 1; 16.
[[nodiscard]] int Excel_gridCreate(const ExcelLoad *load, const ExcelLoadSheet *sheet,
                                   SheetMetrics **out);

// Lays one worksheet out into a new grid (*out, freed with
// Excel_gridLayoutFree) that keeps the workbook record through a worksheet
// item. 0 with *out null for an empty sheet; 1; 16; the errors of
// Excel_gridCreate.
[[nodiscard]] int Excel_sheetLayout(ExcelLoad *load, ExcelSheetEntry *entry, SheetGrid **out);

enum : uint32_t {
    Excel_notMerged = 0xFFFF, // Excel_mergedIndex of a cell outside every merged range
};

// The rows and columns the sheet really holds (last + 1 of each): cells
// with a value or a visible format (a fill or a border), whole-row formats
// that show, merged ranges, notes and hyperlinks. Empty cells of plain
// formats past them (whole rows of them, formatted column slots) are not
// shown. 0 and 0 for a sheet that holds nothing.
void Excel_heldExtent(const ExcelLoad *load, const ExcelLoadSheet *sheet, uint32_t *rows,
                      uint32_t *columns);

// The index of the merged range holding (row, column), or Excel_notMerged.
uint32_t Excel_mergedIndex(const struct ExcelRange *ranges, uint32_t count, uint32_t row,
                           uint32_t column);

// One cell of a border line before it is compressed into segments: its
// line style (0 none) and colour slot.
struct ExcelLineCell {
    uint8_t style;
    uint8_t colour;
};
struct GridEdgeList;
// Run-length compresses count cells of a line into the list's segments
// (equal neighbours share one segment), replacing what the list held. 0;
// 1 when memory runs out (the list is unchanged).
[[nodiscard]] int Excel_borderLineSet(const ExcelLineCell *cells, uint32_t count,
                                      GridEdgeList *list);

// Where the sheet's window options hide grid lines: segments of the
// ordinary grid line on the top edge take colour slot 1; on every other
// line they become style 0 (no line).
void Excel_hideGridLines(SheetGrid *grid);

struct ExcelCell;
struct TaggedRecord;

// Registers a copy of data (size bytes) for the cell range under handler:
// the grid's tagged list of that handler (made on first use) gets a
// record whose words are {first row, first column, last row, last
// column}. 0; 8 without a grid; 1 when memory runs out.
[[nodiscard]] int Excel_rangeHandlerAdd(SheetGrid *grid, void (*handler)(TaggedRecord *),
                                        uint32_t firstRow, uint32_t firstColumn, uint32_t lastRow,
                                        uint32_t lastColumn, const void *data, uint32_t size);

// The note handler's tag: a note's record holds {object id, record
// position, drawing}; nothing to dispose.
void Excel_noteTag(TaggedRecord *record);

// A note registered over its cell.
struct ExcelNoteData {
    uint32_t objectId;
    uint32_t position;
    void *drawing;
};

// The index-th cell entry of the grid, counting a text centred across the
// selection (XF alignment 6) with the empty entries of the same XF that
// follow it in its row as one; null beyond the count.
const ExcelCell *Excel_cellEntryAt(const SheetGrid *grid, uint32_t index);
