// The sheet grid record: creation over a metrics record, clearing, freeing
// and the column widths.
#include "spreadsheet/sheetgrid.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"

namespace {

GridEdgeList *newLists(uint32_t count)
{
    // count + 1 lists; a count near the 32-bit limit cannot be allocated.
    size_t n = size_t(count) + 1;
    return static_cast<GridEdgeList *>(Mem_calloc(n, sizeof(GridEdgeList)));
}

void freeLists(GridEdgeList *lists, uint32_t count)
{
    if (!lists)
        return;
    for (size_t i = size_t(count) + 1; i-- > 0;)
        Mem_free(lists[i].segments);
    Mem_free(lists);
}

void freeCellText(ExcelCell *cell)
{
    if (cell->kind != Excel_cellSharedText)
        Mem_free(cell->text);
    cell->text = nullptr;
}

} // namespace

int Excel_gridLayoutCreate(SheetMetrics *metrics, SheetGrid *grid)
{
    if (grid)
        grid->workbook = nullptr;
    if (!grid || !metrics)
        return Res_noMemory;
    grid->metrics = metrics;
    grid->rightToLeft = 0;
    grid->edgeLists = nullptr;
    grid->fillTable = nullptr;
    grid->cellTable = nullptr;
    grid->formatTable = nullptr;
    grid->widthCells = nullptr;
    grid->formulaCells = nullptr;
    grid->counter = 0;
    grid->taggedLists = nullptr;
    grid->sharedFormulas = nullptr;
    grid->sharedCount = 0;
    grid->values = SheetValueTable{};

    grid->edgeLists = static_cast<EdgeListTable *>(Mem_calloc(1, sizeof(EdgeListTable)));
    if (grid->edgeLists)
        grid->fillTable = static_cast<GridFillTable *>(Mem_calloc(1, sizeof(GridFillTable)));
    if (grid->fillTable)
        grid->cellTable = static_cast<SheetCellTable *>(Mem_calloc(1, sizeof(SheetCellTable)));
    if (grid->cellTable)
        grid->formatTable =
            static_cast<SheetFormatTable *>(Mem_calloc(1, sizeof(SheetFormatTable)));
    if (grid->formatTable)
        grid->edgeLists->rows = newLists(metrics->rowCount);
    if (grid->formatTable && grid->edgeLists->rows)
        grid->edgeLists->columns = newLists(metrics->columnCount);
    if (!grid->edgeLists || !grid->edgeLists->columns) {
        Excel_gridLayoutClear(grid);
        return Res_noMemory;
    }
    return Res_ok;
}

void Excel_gridLayoutClear(SheetGrid *grid)
{
    if (!grid)
        return;
    // The cell entry array lives in the cell header: it is held here so
    // that it can still be freed after the header has gone.
    ExcelCell *cells = nullptr;
    if (SheetCellTable *t = grid->cellTable) {
        Mem_free(t->merged);
        cells = t->cells;
        for (uint32_t i = 0; cells && i < t->count; i++) {
            freeCellText(&cells[i]);
            ExcelCell *o = cells[i].next;
            cells[i].next = nullptr;
            while (o) {
                ExcelCell *next = o->next;
                freeCellText(o);
                Mem_free(o);
                o = next;
            }
        }
        Mem_free(t);
        grid->cellTable = nullptr;
    }
    if (GridFillTable *f = grid->fillTable) {
        for (uint32_t i = 0; f->entries && i < f->count; i++) {
            Mem_free(f->entries[i].second);
            Mem_free(f->entries[i].angles);
        }
    }
    if (SheetFormatTable *f = grid->formatTable) {
        for (uint32_t i = 0; f->rules && i < f->count; i++)
            if (f->rules[i])
                StyleRule_destroy(f->rules[i]);
    }
    Mem_free(cells);
    if (EdgeListTable *e = grid->edgeLists) {
        uint32_t columns = grid->metrics ? grid->metrics->columnCount : 0;
        uint32_t rows = grid->metrics ? grid->metrics->rowCount : 0;
        freeLists(e->columns, columns);
        freeLists(e->rows, rows);
        Mem_free(e);
        grid->edgeLists = nullptr;
    }
    if (GridFillTable *f = grid->fillTable) {
        Mem_free(f->entries);
        Mem_free(f);
        grid->fillTable = nullptr;
    }
    if (SheetFormatTable *f = grid->formatTable) {
        Mem_free(f->rules);
        Mem_free(f);
        grid->formatTable = nullptr;
    }
    Excel_gridLayoutFreeLists(grid);
    Excel_gridDetachWorkbook(grid);
}

void Excel_gridLayoutFree(SheetGrid *grid)
{
    if (!grid)
        return;
    Excel_gridLayoutClear(grid);
    if (SheetMetrics *m = grid->metrics) {
        Mem_free(m->rawWidths);
        Mem_free(m->columnWidths);
        Mem_free(m->rowPositions);
        Mem_free(m);
        grid->metrics = nullptr;
    }
    Mem_free(grid);
}

void Excel_gridRecordFree(void *record)
{
    Excel_gridLayoutFree(static_cast<SheetGrid *>(record));
}

void Excel_gridLayoutFreeLists(SheetGrid *grid)
{
    if (!grid)
        return;
    for (SheetFormula *f = grid->formulaCells; f;) {
        SheetFormula *next = f->next;
        if (f->length != 0)
            Mem_free(f->tokens);
        Mem_free(f);
        f = next;
    }
    grid->formulaCells = nullptr;
    for (ExcelCellEdit *w = grid->widthCells; w;) {
        ExcelCellEdit *next = w->next;
        Mem_free(w);
        w = next;
    }
    grid->widthCells = nullptr;
    for (uint32_t i = 0; i < grid->sharedCount; i++)
        Mem_free(grid->sharedFormulas[i].tokens);
    Mem_free(grid->sharedFormulas);
    grid->sharedFormulas = nullptr;
    grid->sharedCount = 0;
    Mem_free(grid->values.keys);
    Mem_free(grid->values.values);
    grid->values = SheetValueTable{};
    while (TaggedNode *node = grid->taggedLists) {
        grid->taggedLists = node->next;
        while (TaggedRecord *r = node->first) {
            node->first = r->next;
            if (node->tag)
                node->tag(r);
            Mem_free(r);
        }
        Mem_free(node);
    }
}

void Excel_colWidthsCompute(SheetGrid *grid)
{
    SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || m->scale <= 0)
        return;
    uint32_t total = 0;
    for (uint32_t i = 0; i < m->columnCount; i++) {
        // scale x raw fits 32 bits for every scale below 32768; wider
        // scales are taken in 64 bits and kept to the low word.
        int32_t product = int32_t(uint32_t(int64_t(m->scale) * m->rawWidths[i]));
        uint32_t w = uint32_t(product / 256 + int32_t(SheetGrid_minColumnWidth));
        m->columnWidths[i] = w;
        total += w;
    }
    m->totalWidth = int32_t(total);
}

uint32_t Excel_cellTableIndex(const SheetCellTable *table, uint32_t row, uint32_t column)
{
    uint32_t lo = 0, hi = table && table->cells ? table->count : 0;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        const ExcelCell &c = table->cells[mid];
        if (c.row < row || (c.row == row && c.column < column))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}
