// Hand-built sheet grids for the tests of the grid records, cell spans and
// grid layout: metrics and tables sized by their counts, every block on the
// engine heap as the importer would make it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/mem/mem.h"
#include "spreadsheet/sheetgrid.h"

namespace gridtest {

// A grid of rows x columns, every row rowHeight high and column i
// widths[i] wide (or columnWidth when widths is empty).
inline SheetGrid *makeGrid(uint32_t rows, uint32_t columns, uint32_t rowHeight,
                           uint32_t columnWidth, std::vector<uint32_t> widths = {})
{
    SheetMetrics *m = static_cast<SheetMetrics *>(Mem_calloc(1, sizeof(SheetMetrics)));
    SheetGrid *g = static_cast<SheetGrid *>(Mem_calloc(1, sizeof(SheetGrid)));
    EXPECT_NE(m, nullptr);
    EXPECT_NE(g, nullptr);
    m->rowCount = rows;
    m->columnCount = columns;
    m->rawWidths = static_cast<uint16_t *>(Mem_calloc(columns + 1, sizeof(uint16_t)));
    m->rowPositions = static_cast<uint32_t *>(Mem_calloc(rows + 1, sizeof(uint32_t)));
    m->columnWidths = static_cast<uint32_t *>(Mem_calloc(columns + 1, sizeof(uint32_t)));
    for (uint32_t r = 0; r < rows; r++) {
        m->rowPositions[r] = (r + 1) * rowHeight;
        m->totalHeight = int32_t((r + 1) * rowHeight);
    }
    for (uint32_t c = 0; c < columns; c++) {
        m->columnWidths[c] = c < widths.size() ? widths[c] : columnWidth;
        m->totalWidth += int32_t(m->columnWidths[c]);
    }
    EXPECT_EQ(Excel_gridLayoutCreate(m, g), 0);
    return g;
}

inline char16_t *heapText(const char16_t *s)
{
    if (!s)
        return nullptr;
    size_t n = std::char_traits<char16_t>::length(s);
    char16_t *t = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    std::memcpy(t, s, (n + 1) * sizeof(char16_t));
    return t;
}

struct CellDef {
    uint32_t row, column, kind;
    const char16_t *text; // copied onto the heap unless kind is 128 (lent)
    uint16_t rule = 0;
    uint16_t xf = 0;
};

inline void setCells(SheetGrid *g, std::initializer_list<CellDef> cells)
{
    SheetCellTable *t = g->cellTable;
    t->count = uint32_t(cells.size());
    t->cells = static_cast<ExcelCell *>(Mem_calloc(cells.size() + 1, sizeof(ExcelCell)));
    uint32_t i = 0;
    for (const CellDef &c : cells) {
        ExcelCell &e = t->cells[i++];
        e.rule = c.rule;
        e.xf = c.xf;
        e.row = c.row;
        e.column = c.column;
        e.kind = c.kind;
        e.sst = -1;
        e.text = c.kind == Excel_cellSharedText ? const_cast<char16_t *>(c.text) : heapText(c.text);
    }
}

inline void setMerged(SheetGrid *g, std::initializer_list<SheetMergedRange> ranges)
{
    SheetCellTable *t = g->cellTable;
    t->merged =
        static_cast<SheetMergedRange *>(Mem_calloc(ranges.size() + 1, sizeof(SheetMergedRange)));
    t->mergedCount = uint16_t(ranges.size());
    std::copy(ranges.begin(), ranges.end(), t->merged);
}

// Segments of row list r (horizontal) or column list c (vertical).
inline void setSegments(GridEdgeList *list, std::initializer_list<GridSegment> segments)
{
    list->count = uint32_t(segments.size());
    list->segments =
        static_cast<GridSegment *>(Mem_calloc(segments.size() + 1, sizeof(GridSegment)));
    std::copy(segments.begin(), segments.end(), list->segments);
}

struct FillDef {
    GridCorner first;
    bool hasSecond;
    GridCorner second;
    uint8_t colour1, colour2, pattern;
    bool hasAngles;
    int16_t angles[2];
};

inline void setFills(SheetGrid *g, std::initializer_list<FillDef> fills)
{
    GridFillTable *t = g->fillTable;
    t->count = uint32_t(fills.size());
    t->entries = static_cast<GridFillEntry *>(Mem_calloc(fills.size() + 1, sizeof(GridFillEntry)));
    uint32_t i = 0;
    for (const FillDef &f : fills) {
        GridFillEntry &e = t->entries[i++];
        e.first = f.first;
        if (f.hasSecond) {
            e.second = static_cast<GridCorner *>(Mem_malloc(sizeof(GridCorner)));
            *e.second = f.second;
        }
        e.colour1 = f.colour1;
        e.colour2 = f.colour2;
        e.pattern = f.pattern;
        if (f.hasAngles) {
            e.angles = static_cast<int16_t *>(Mem_malloc(2 * sizeof(int16_t)));
            e.angles[0] = f.angles[0];
            e.angles[1] = f.angles[1];
        }
    }
}

} // namespace gridtest
