// The sheet grid as editing reads it (see sheetedit.h).
#include "spreadsheet/sheetedit.h"

#include "core/geom/geom.h"
#include "core/result.h"
#include "spreadsheet/sheetgrid.h"

namespace {

const SheetMetrics *metricsOf(const SheetGrid *grid)
{
    return grid && grid->metrics && grid->metrics->rowPositions && grid->metrics->columnWidths
               ? grid->metrics
               : nullptr;
}

} // namespace

const SheetMergedRange *Excel_Sheet_findRangeAt(const SheetGrid *grid, uint32_t *row,
                                                uint32_t *column)
{
    const SheetCellTable *t = grid ? grid->cellTable : nullptr;
    if (!t || !t->merged)
        return nullptr;
    for (uint16_t i = 0; i < t->mergedCount; i++) {
        const SheetMergedRange &m = t->merged[i];
        if (int64_t(*row) >= m.firstRow && int64_t(*row) <= m.lastRow &&
            int64_t(*column) >= m.firstColumn && int64_t(*column) <= m.lastColumn) {
            *row = uint32_t(m.firstRow);
            *column = uint32_t(m.firstColumn);
            return &m;
        }
    }
    return nullptr;
}

uint32_t Excel_Sheet_getRowHeight(const SheetGrid *grid, uint32_t row)
{
    const SheetMetrics *m = metricsOf(grid);
    if (!m || row >= m->rowCount)
        return 0;
    return row == 0 ? m->rowPositions[0] : m->rowPositions[row] - m->rowPositions[row - 1];
}

uint32_t Excel_Sheet_getColWidth(const SheetGrid *grid, uint32_t column)
{
    const SheetMetrics *m = metricsOf(grid);
    return m && column < m->columnCount ? m->columnWidths[column] : 0;
}

const ExcelCell *Excel_Sheet_cellAt(const SheetGrid *grid, uint32_t row, uint32_t column)
{
    const SheetCellTable *t = grid ? grid->cellTable : nullptr;
    if (!t || !t->cells)
        return nullptr;
    uint32_t lo = Excel_cellTableIndex(t, row, column);
    if (lo < t->count && t->cells[lo].row == row && t->cells[lo].column == column)
        return &t->cells[lo];
    return nullptr;
}

int Excel_Sheet_cellAtPoint(const SheetGrid *grid, const Point *point, uint32_t *row,
                            uint32_t *column)
{
    const SheetMetrics *m = metricsOf(grid);
    if (!m || !point || point->x < 0 || point->y < 0)
        return 1;
    uint32_t r = 0;
    while (r < m->rowCount && m->rowPositions[r] <= uint32_t(point->y))
        r++;
    if (r >= m->rowCount)
        return 1;
    int64_t x = point->x;
    if (grid->rightToLeft) {
        int64_t total = 0;
        for (uint32_t c = 0; c < m->columnCount; c++)
            total += m->columnWidths[c];
        x = total - 1 - x;
        if (x < 0)
            return 1;
    }
    uint32_t c = 0;
    int64_t right = 0;
    for (; c < m->columnCount; c++) {
        right += m->columnWidths[c];
        if (x < right)
            break;
    }
    if (c >= m->columnCount)
        return 1;
    *row = r;
    *column = c;
    return 0;
}

int Excel_Sheet_edgeLinesUsed(const SheetGrid *grid, int columns, uint32_t n)
{
    if (!grid || n == 0)
        return 0;
    uint32_t limit = columns ? SheetGrid_maxColumns : SheetGrid_maxRows;
    uint32_t first = n >= limit ? 0 : limit - n;
    const SheetCellTable *t = grid->cellTable;
    if (!t)
        return 0;
    for (uint32_t i = 0; t->cells && i < t->count; i++)
        if ((columns ? t->cells[i].column : t->cells[i].row) >= first)
            return 1;
    for (uint16_t i = 0; t->merged && i < t->mergedCount; i++)
        if ((columns ? t->merged[i].lastColumn : t->merged[i].lastRow) >= int64_t(first))
            return 1;
    return 0;
}

int Excel_Sheet_setRowHeight(SheetGrid *grid, uint32_t row, uint32_t height)
{
    SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!metricsOf(grid) || row >= m->rowCount)
        return Res_missingArgument;
    int64_t delta = int64_t(height) - int64_t(Excel_Sheet_getRowHeight(grid, row));
    for (uint32_t r = row; r < m->rowCount; r++)
        m->rowPositions[r] = uint32_t(int64_t(m->rowPositions[r]) + delta);
    m->totalHeight = int32_t(int64_t(m->totalHeight) + delta);
    return Res_ok;
}
