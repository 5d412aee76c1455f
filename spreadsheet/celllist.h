// Cell lists of the spreadsheet side: clearing the entries that fall inside
// a set of cell ranges (rows or columns are inserted) and compacting the
// list afterwards.
//
// The column widths of sheet layout are computed by Excel_colWidthsCompute
// (spreadsheet/sheetgrid.h).
#pragma once

#include <cstdint>

struct EngineContext;

// One entry of a cell list.
struct CellEntry {
    uint32_t row;
    uint32_t column;
    uint32_t lock;  // non-zero: the entry is never cleared
    uint8_t key[3]; // sort key; key[2] is the used byte (non-zero: holds something)
    uint8_t spare;
    void *payload; // owned heap block, or null
};

struct CellList {
    uint32_t count;
    CellEntry *entries; // heap block of count entries; null when count is 0
};

// A cell range, both ends inclusive.
struct CellRange {
    uint32_t firstColumn;
    uint32_t firstRow;
    uint32_t lastColumn;
    uint32_t lastRow;
};

// Clears, for every cell that some range covers, the first entry of the
// list at that row and column whose lock word is 0 (its used byte becomes
// 0, its payload is freed). Then the entries still used come first in
// their order, and the others are dropped (their payloads freed): when
// some are dropped the rest is sorted by its three key bytes (stably), and
// when none is left the array is freed. The work grows with the entries
// and the ranges, not with the cells a range covers; the calling task
// yields now and then.
// 16 for a null context; 0 for a null list or ranges; 1 when memory runs
// out (checked before anything changes); else 0.
[[nodiscard]] int CellList_clearRanges(EngineContext *context, CellList *list,
                                       const CellRange *ranges, uint32_t rangeCount);
