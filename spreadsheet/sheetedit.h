// What editing asks of a laid-out sheet: its lines, merged ranges and cells
// as the sheet grid holds them, the lines still free at the sheet's far
// edges, and the changes editing makes to the sheet.
//
// The readers and the row-height change work on the grid's own records;
// the cell-store changes (rows and columns inserted or deleted, values,
// styles and column widths) come with the cell store.
#pragma once

#include <cstdint>

struct EngineContext;
struct SheetGrid;
struct SheetMergedRange;
struct ExcelCell;
struct StyleRule;
struct Point;

// The merged range that holds (*row, *column), whose first row and column
// are written back; null when none.
const SheetMergedRange *Excel_Sheet_findRangeAt(const SheetGrid *grid, uint32_t *row,
                                                uint32_t *column);
// The height of a row from the row edges (edge[r] - edge[r - 1], edge[0]
// for row 0) and the width of a column; 0 outside the sheet.
uint32_t Excel_Sheet_getRowHeight(const SheetGrid *grid, uint32_t row);
uint32_t Excel_Sheet_getColWidth(const SheetGrid *grid, uint32_t column);
// The first cell entry at (row, column) (lent), or null.
const ExcelCell *Excel_Sheet_cellAt(const SheetGrid *grid, uint32_t row, uint32_t column);
// The cell under a point of the grid (its top-left corner at 0, 0; for a
// right-to-left grid the columns run from the right edge): 0 and the cell,
// 1 when no cell lies there.
int Excel_Sheet_cellAtPoint(const SheetGrid *grid, const Point *point, uint32_t *row,
                            uint32_t *column);
// 1 when a cell, a formatted blank or a merged range lies in the last n
// rows of the 65536 (columns: the last n of the 256), so that inserting n
// lines would push it off the sheet; else 0. n of 0 gives 0; an n beyond
// the sheet counts every line.
int Excel_Sheet_edgeLinesUsed(const SheetGrid *grid, int columns, uint32_t n);
// Sets a row's height: every row edge from this row on moves by the
// difference, and the total height with them. 0; 16 outside the sheet or
// without metrics.
int Excel_Sheet_setRowHeight(SheetGrid *grid, uint32_t row, uint32_t height);

// Changes of the cell store (one line at a time; engine error codes).
[[nodiscard]] int Excel_Sheet_insertRow(EngineContext *context, SheetGrid *grid, uint32_t index);
[[nodiscard]] int Excel_Sheet_insertColumn(EngineContext *context, SheetGrid *grid, uint32_t index);
[[nodiscard]] int Excel_Sheet_deleteRow(EngineContext *context, SheetGrid *grid, uint32_t index);
[[nodiscard]] int Excel_Sheet_deleteColumn(EngineContext *context, SheetGrid *grid, uint32_t index);
// The cell takes the rule (taken over on success).
[[nodiscard]] int Excel_Sheet_setCellStyle(SheetGrid *grid, uint32_t row, uint32_t column,
                                           StyleRule *rule);
// Row mode 0 (set by hand) or 2 (automatic height); column width and mode
// (0 the default width, 2 automatic). Automatic sizes measure the texts
// with the measurer (null: estimated, spreadsheet/reader/sheetstyle.h).
struct ExcelMeasurer;
[[nodiscard]] int Excel_Sheet_setRowMode(EngineContext *context, SheetGrid *grid, uint32_t row,
                                         uint32_t mode, const ExcelMeasurer *measurer);
[[nodiscard]] int Excel_Sheet_setColumnWidth(EngineContext *context, SheetGrid *grid,
                                             uint32_t column, uint32_t width);
[[nodiscard]] int Excel_Sheet_setColumnMode(EngineContext *context, SheetGrid *grid,
                                            uint32_t column, uint32_t mode,
                                            const ExcelMeasurer *measurer);
