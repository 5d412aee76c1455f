// Cell keys, ranges and the shifting of registered ranges after structural
// edits of a sheet.
#include "spreadsheet/reader/ranges.h"

#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint32_t {
    rowLimit = 65536,
    columnLimit = 256,
};

} // namespace

int Excel_keyInRange(const ExcelCellKey *key, const ExcelCellKey *first, const ExcelCellKey *last)
{
    if (!key || !first || !last)
        return 0;
    uint32_t r0 = std::min(first->row, last->row), r1 = std::max(first->row, last->row);
    uint32_t c0 = std::min(first->column, last->column), c1 = std::max(first->column, last->column);
    if (key->row < r0)
        return -1;
    if (key->row > r1)
        return 1;
    if (key->column < c0)
        return -1;
    if (key->column > c1)
        return 1;
    return 0;
}

int Excel_rangeIntersects(const ExcelCellKey *first, const ExcelCellKey *last,
                          const ExcelCellKey *corner1, const ExcelCellKey *corner2)
{
    if (!first || !corner1 || !corner2)
        return 0;
    if (!last)
        return Excel_keyInRange(first, corner1, corner2) == 0 ? 1 : 0;
    if (last->row <= first->row || last->column <= first->column)
        return 0; // an empty rectangle
    uint32_t r0 = std::min(corner1->row, corner2->row), r1 = std::max(corner1->row, corner2->row);
    uint32_t c0 = std::min(corner1->column, corner2->column),
             c1 = std::max(corner1->column, corner2->column);
    // Half-open [first, last) against the inclusive range.
    bool rows = first->row <= r1 && last->row > r0;
    bool columns = first->column <= c1 && last->column > c0;
    return rows && columns ? 1 : 0;
}

int Excel_rangeShift(ExcelCellKey *first, ExcelCellKey *last, uint32_t operation, uint32_t index,
                     uint32_t count, uint32_t *valid)
{
    if (valid)
        *valid = 1;
    if (!first || !last || !valid || count == 0 || operation > ExcelRange_deleteColumns)
        return Res_nullInput;
    bool columns = operation == ExcelRange_insertColumns || operation == ExcelRange_deleteColumns;
    uint32_t limit = columns ? uint32_t(columnLimit) : uint32_t(rowLimit);
    uint32_t maximum = limit - 1;
    uint32_t &a = columns ? first->column : first->row;
    uint32_t &b = columns ? last->column : last->row;
    if (columns && first->column == 0 && last->column == maximum)
        return Res_ok; // whole rows are not moved by column edits
    if (operation == ExcelRange_insertRows || operation == ExcelRange_insertColumns) {
        if (b < index)
            return Res_ok;
        if (a >= index) {
            if (uint64_t(a) + count > maximum) {
                *valid = 0;
                return Res_ok;
            }
            a += count;
        }
        b = uint64_t(b) + count > maximum ? maximum : b + count;
        return Res_ok;
    }
    // Deletion of the block [index, end].
    uint64_t end = uint64_t(index) + count - 1;
    if (b < index)
        return Res_ok;
    if (a >= index && b <= end) {
        *valid = 0;
        return Res_ok;
    }
    // The end: inside the block it moves to the row or column before it;
    // after the block it moves back by count, except at the maximum.
    if (b <= end)
        b = index - 1;
    else if (b != maximum)
        b -= count;
    // The start: after the block it moves back; inside it, it becomes the
    // first row or column after the deleted block, now at index.
    if (a > end)
        a -= count;
    else if (a >= index)
        a = index;
    return Res_ok;
}

int Excel_shiftRangeHandlers(SheetGrid *store, uint32_t operation, uint32_t index, uint32_t count)
{
    if (!store)
        return Res_missingArgument;
    int first = Res_ok;
    TaggedNode **link = &store->taggedLists;
    while (TaggedNode *node = *link) {
        TaggedRecord **at = &node->first;
        while (TaggedRecord *r = *at) {
            ExcelCellKey a{uint32_t(r->words[0]), uint32_t(r->words[1])};
            ExcelCellKey b{uint32_t(r->words[2]), uint32_t(r->words[3])};
            uint32_t valid = 1;
            int rc = Excel_rangeShift(&a, &b, operation, index, count, &valid);
            if (rc != Res_ok) {
                if (first == Res_ok)
                    first = rc;
                at = &r->next;
                continue;
            }
            if (!valid) {
                *at = r->next;
                if (node->tag)
                    node->tag(r);
                Mem_free(r);
                continue;
            }
            r->words[0] = intptr_t(a.row);
            r->words[1] = intptr_t(a.column);
            r->words[2] = intptr_t(b.row);
            r->words[3] = intptr_t(b.column);
            at = &r->next;
        }
        if (!node->first) {
            *link = node->next;
            Mem_free(node);
            continue;
        }
        link = &node->next;
    }
    return first;
}
