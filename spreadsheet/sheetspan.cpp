// Worksheet cell spans and the small record operations beside them.
#include "spreadsheet/sheetspan.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/sheetgrid.h"

namespace {

bool contains(const SheetMergedRange &r, const ExcelCell *cell)
{
    int64_t row = cell->row, column = cell->column;
    return r.firstRow <= row && row <= r.lastRow && r.firstColumn <= column &&
           column <= r.lastColumn;
}

uint32_t alignmentOf(const SheetGrid *grid, const ExcelCell *cell)
{
    const ExcelWorkbook *book = grid->workbook;
    if (!book || !book->xfs || cell->xf >= book->xfCount)
        return 0;
    return book->xfs[cell->xf].alignment & 7;
}

} // namespace

int32_t Sheet_findMergedRange(const SheetGrid *grid, const ExcelCell *cell)
{
    const SheetCellTable *t = grid ? grid->cellTable : nullptr;
    if (!t || !t->merged || !cell)
        return -1;
    for (uint32_t i = 0; i < t->mergedCount; i++)
        if (contains(t->merged[i], cell))
            return int32_t(i);
    return -1;
}

int Sheet_isMerged(const SheetGrid *grid, const ExcelCell *cell)
{
    return Sheet_findMergedRange(grid, cell) >= 0;
}

void Sheet_mergedEnd(uint32_t out[2], const SheetGrid *grid, const ExcelCell *cell)
{
    int32_t i = Sheet_findMergedRange(grid, cell);
    if (i < 0) {
        out[0] = SheetGrid_maxRows;
        out[1] = SheetGrid_maxColumns;
        return;
    }
    const SheetMergedRange &r = grid->cellTable->merged[i];
    out[0] = uint32_t(r.lastRow);
    out[1] = uint32_t(r.lastColumn);
}

const ExcelCell *Sheet_spanEnd(const SheetGrid *grid, uint32_t index)
{
    const SheetCellTable *t = grid ? grid->cellTable : nullptr;
    if (!t || !t->cells || index >= t->count)
        return nullptr;
    const ExcelCell *cell = &t->cells[index];
    if (alignmentOf(grid, cell) != Sheet_alignCentreAcross)
        return cell;
    for (uint32_t i = index + 1; i < t->count; i++) {
        const ExcelCell *next = &t->cells[i];
        if (next->row != cell->row || next->column != cell->column + 1 ||
            next->kind != Excel_cellNoText || alignmentOf(grid, next) != Sheet_alignCentreAcross)
            break;
        cell = next;
    }
    return cell;
}

int Sheet_hasCell(const SheetRow *row, uint32_t id)
{
    if (!row)
        return 0;
    for (uint32_t i = 0; row->entries && i < row->count; i++)
        if (row->entries[i].id == id)
            return 1;
    for (const SheetRowOverflow *o = row->overflow; o; o = o->next)
        if (o->id == id)
            return 1;
    return 0;
}

int TaggedList_append(TaggedNode **head, void (*tag)(TaggedRecord *), intptr_t a, intptr_t b,
                      intptr_t c, intptr_t d, const void *payload, size_t size)
{
    if (!head)
        return Res_nullInput;
    TaggedNode *node = *head;
    while (node && node->tag != tag)
        node = node->next;
    TaggedRecord *r = static_cast<TaggedRecord *>(Mem_malloc(sizeof(TaggedRecord) + size));
    if (!r)
        return Res_noMemory;
    if (!node) {
        node = static_cast<TaggedNode *>(Mem_malloc(sizeof(TaggedNode)));
        if (!node) {
            Mem_free(r);
            return Res_noMemory;
        }
        *node = TaggedNode{*head, tag, nullptr};
        *head = node;
    }
    r->next = nullptr;
    r->words[0] = a;
    r->words[1] = b;
    r->words[2] = c;
    r->words[3] = d;
    if (size && payload)
        std::memcpy(r + 1, payload, size);
    TaggedRecord **tail = &node->first;
    while (*tail)
        tail = &(*tail)->next;
    *tail = r;
    return Res_ok;
}

int Hook_callLocked(HookRecord *record, const char16_t *text, uint32_t length)
{
    if (!record || record->useCount <= 0)
        return 0;
    Lock_acquire(&record->lock);
    int result = record->hook ? record->hook(record->context, text, length) : 0;
    Lock_release(&record->lock);
    return result;
}

void *Rec_fieldAt20(SheetGrid *grid)
{
    return grid ? reinterpret_cast<char *>(grid) + offsetof(SheetGrid, widthCells) : nullptr;
}
