// Pool of small cells: block allocation and release.
#include "core/container/cellpool.h"

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

Cell *cellsOf(CellBlock *block)
{
    return reinterpret_cast<Cell *>(block + 1);
}

} // namespace

int CellPool_grow(CellPool *pool, Cell **first, size_t count)
{
    *first = nullptr;
    if (count == 0)
        return Res_nullInput;
    if (count > (SIZE_MAX - sizeof(CellBlock)) / sizeof(Cell))
        return Res_noMemory;
    CellBlock *block =
        static_cast<CellBlock *>(Mem_calloc(1, sizeof(CellBlock) + count * sizeof(Cell)));
    if (!block)
        return Res_noMemory;
    Cell *cells = cellsOf(block);
    for (size_t i = 0; i + 1 < count; i++)
        cells[i].next = &cells[i + 1];
    block->next = pool->blocks;
    pool->blocks = block;
    *first = cells;
    return 0;
}

void CellPool_free(CellPool *pool)
{
    CellBlock *block = pool->blocks;
    while (block) {
        CellBlock *next = block->next;
        Mem_free(block);
        block = next;
    }
    pool->blocks = nullptr;
}
