// Clearing the entries of a cell list inside cell ranges (see celllist.h).
//
// A range comes from the file and may cover the whole sheet (65536 rows by
// 256 columns), so the entries are matched against the ranges, not the
// cells of the ranges against the entries: the work is bounded by entries
// times ranges plus a sort of the entries.
#include "spreadsheet/celllist.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"

namespace {

constexpr uint32_t yieldEvery = 4096; // entries checked between yields

bool inRange(const CellEntry &e, const CellRange &r)
{
    return e.row >= r.firstRow && e.row <= r.lastRow && e.column >= r.firstColumn &&
           e.column <= r.lastColumn;
}

bool keyLess(const CellEntry &a, const CellEntry &b)
{
    return memcmp(a.key, b.key, 3) < 0;
}

// Stable sort of n entries by their key bytes, with scratch room for n.
void sortByKey(CellEntry *a, CellEntry *scratch, uint32_t n)
{
    for (uint32_t width = 1; width < n; width *= 2) {
        for (uint32_t lo = 0; lo < n; lo += 2 * width) {
            uint32_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            uint32_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                scratch[k++] = keyLess(a[j], a[i]) ? a[j++] : a[i++];
            while (i < mid)
                scratch[k++] = a[i++];
            while (j < hi)
                scratch[k++] = a[j++];
        }
        memcpy(a, scratch, n * sizeof(CellEntry));
    }
}

} // namespace

int CellList_clearRanges(EngineContext *context, CellList *list, const CellRange *ranges,
                         uint32_t rangeCount)
{
    if (!context)
        return Res_missingArgument;
    if (!list || !ranges)
        return Res_ok;
    uint32_t n = list->count;
    CellEntry *e = list->entries;
    if (!n || !e)
        return Res_ok;

    // Only the first lockless entry of each cell may be cleared: order the
    // lockless entries by cell, then by position.
    uint32_t *order = static_cast<uint32_t *>(Mem_malloc(size_t(n) * sizeof(uint32_t)));
    CellEntry *scratch = static_cast<CellEntry *>(Mem_malloc(size_t(n) * sizeof(CellEntry)));
    if (!order || !scratch) {
        Mem_free(order);
        Mem_free(scratch);
        return Res_noMemory;
    }
    uint32_t m = 0;
    for (uint32_t i = 0; i < n; i++)
        if (e[i].lock == 0)
            order[m++] = i;
    std::sort(order, order + m, [e](uint32_t a, uint32_t b) {
        if (e[a].row != e[b].row)
            return e[a].row < e[b].row;
        if (e[a].column != e[b].column)
            return e[a].column < e[b].column;
        return a < b;
    });
    for (uint32_t k = 0; k < m; k++) {
        if ((k + 1) % yieldEvery == 0)
            Task_yield(context);
        CellEntry &c = e[order[k]];
        if (k > 0 && e[order[k - 1]].row == c.row && e[order[k - 1]].column == c.column)
            continue;
        for (uint32_t r = 0; r < rangeCount; r++)
            if (inRange(c, ranges[r])) {
                c.key[2] = 0;
                Mem_free(c.payload);
                c.payload = nullptr;
                break;
            }
    }
    Mem_free(order);

    // Entries still used first, each group in its order.
    uint32_t k = 0;
    for (uint32_t i = 0; i < n; i++)
        if (e[i].key[2])
            scratch[k++] = e[i];
    uint32_t used = k;
    for (uint32_t i = 0; i < n; i++)
        if (!e[i].key[2])
            scratch[k++] = e[i];
    memcpy(e, scratch, size_t(n) * sizeof(CellEntry));
    if (used == n) {
        Mem_free(scratch);
        return Res_ok;
    }

    // Entries dropped from the list take their payloads with them.
    for (uint32_t i = used; i < n; i++) {
        Mem_free(e[i].payload);
        e[i].payload = nullptr;
    }
    if (used == 0) {
        Mem_free(scratch);
        Mem_free(e);
        list->entries = nullptr;
        list->count = 0;
        return Res_ok;
    }
    sortByKey(e, scratch, used);
    Mem_free(scratch);
    // A block of the new size; without memory the larger one is kept.
    CellEntry *kept = static_cast<CellEntry *>(Mem_calloc(used, sizeof(CellEntry)));
    if (kept) {
        memcpy(kept, e, size_t(used) * sizeof(CellEntry));
        Mem_free(e);
        list->entries = kept;
    }
    list->count = used;
    return Res_ok;
}
