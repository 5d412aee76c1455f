// Pool of small cells.
//
// Cells are handed out in blocks: growing the pool allocates one block of
// zeroed cells chained through their link, ready to serve as a free list,
// and keeps the block on the pool's block list so that all of them are
// freed together. The pool owns its blocks; no lock.
#pragma once

#include <cstddef>
#include <cstdint>

struct Cell {
    uintptr_t word; // the user's word
    Cell *next;     // the chain of a new block; free for the user afterwards
};

struct CellBlock {
    CellBlock *next; // the pool's block list; the cells follow the header
};

struct CellPool {
    CellBlock *blocks; // newest first
};

// Adds a block of count zeroed cells, each chained to the next and the last
// ending the chain, at the head of the pool's block list; *first = its first
// cell. 0; or 1 when memory runs out, Res_nullInput for a count of 0 (*first
// null, the pool unchanged).
[[nodiscard]] int CellPool_grow(CellPool *pool, Cell **first, size_t count);

// Frees every block of the pool and empties it.
void CellPool_free(CellPool *pool);
