// Cell keys and cell ranges of a worksheet, and the ranges registered over
// a laid-out sheet (hyperlinks, notes) kept valid when rows or columns are
// inserted or deleted.
#pragma once

#include <cstdint>

#include "spreadsheet/reader/sheetstore.h"

struct SheetGrid;

// Operations of a structural edit.
enum : uint32_t {
    ExcelRange_insertRows = 0,
    ExcelRange_deleteRows = 1,
    ExcelRange_insertColumns = 2,
    ExcelRange_deleteColumns = 3,
};

// Cell keys ({row, column}) and Excel_keyCompare are those of the sheet
// store (spreadsheet/reader/sheetstore.h).

// Where key lies against the rectangle spanned by the corner keys first and
// last (in either order): 0 inside; -1 before it (a row above it, or a row
// of it left of its first column); 1 after it. Null arguments give 0.
int Excel_keyInRange(const ExcelCellKey *key, const ExcelCellKey *first, const ExcelCellKey *last);

// 1 when some cell of the rectangle from first up to but not including last
// (with last null: the cell first alone) lies in the range spanned by
// corner1 and corner2 (either order); else 0 (also for null corners).
int Excel_rangeIntersects(const ExcelCellKey *first, const ExcelCellKey *last,
                          const ExcelCellKey *corner1, const ExcelCellKey *corner2);

// Adjusts the range {first, last} for count rows (operations 0 insert, 1
// delete) or columns (2 insert, 3 delete) inserted or deleted at index.
// *valid becomes 0 when the range no longer exists (deleted whole, or
// pushed past the last row or column), else 1. Inserting past the limits
// (65536 rows, 256 columns) cuts the range's end at the last row or column;
// a whole-row range (columns 0 to 255) ignores column operations; a range's
// end at the last row or column stays there when rows or columns are
// deleted before it. 0; 8 for null arguments, a zero count or another
// operation.
[[nodiscard]] int Excel_rangeShift(ExcelCellKey *first, ExcelCellKey *last, uint32_t operation,
                                   uint32_t index, uint32_t count, uint32_t *valid);

// After a row or column insertion or deletion: shifts every range
// registered over the sheet store (Excel_rangeHandlerAdd: hyperlinks,
// notes) with Excel_rangeShift. A range that no longer exists is unlinked,
// handed to its handler's tag when there is one and freed; a handler left
// without ranges is removed. Every range is visited; the first failure is
// returned. 16 for a null store.
[[nodiscard]] int Excel_shiftRangeHandlers(SheetGrid *store, uint32_t operation, uint32_t index,
                                           uint32_t count);
