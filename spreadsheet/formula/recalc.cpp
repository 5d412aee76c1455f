// The order in which the formulas of a sheet recalculate: every formula
// after the formulas it refers to, found by a depth-first walk over the
// references of each token string. The walk keeps its own stack of frames
// (one per formula on the current path), so a long chain of formulas
// cannot exhaust the machine stack; meeting a formula that is still on
// the path is a circular reference.
#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/formula/ptg.h"

namespace {

enum : uint8_t {
    nodeVisited = 1,
    nodePlaced = 2,
    nodeOnPath = 4,
};

// One walk frame: the formula and where its scan stands. Inside an area
// the frame walks the formulas of the sorted index that lie in it.
struct Frame {
    uint32_t node;
    size_t pos; // the next token to scan
    bool inArea;
    uint16_t firstRow, lastRow, firstColumn, lastColumn;
    uint32_t cursor; // the next entry of the sorted index
};

struct Walk {
    const Excel_RecalcCell *cells;
    uint32_t count;
    uint8_t *flags;
    uint32_t *sorted; // node indexes by (row, column)
    uint32_t *order;
    uint32_t placed;
    Frame *frames;
    uint32_t depth;
};

bool cellBefore(const Excel_RecalcCell &a, uint32_t row, uint32_t column)
{
    return a.row < row || (a.row == row && a.column < column);
}

// The first position of the sorted index at or after (row, column).
uint32_t lowerBound(const Walk *w, uint32_t row, uint32_t column)
{
    uint32_t lo = 0, hi = w->count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (cellBefore(w->cells[w->sorted[mid]], row, column))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// The formula at (row, column), or count when there is none.
uint32_t nodeAt(const Walk *w, uint32_t row, uint32_t column)
{
    uint32_t i = lowerBound(w, row, column);
    if (i < w->count) {
        const Excel_RecalcCell &c = w->cells[w->sorted[i]];
        if (c.row == row && c.column == column)
            return w->sorted[i];
    }
    return w->count;
}

// The next formula the frame's node refers to, or count when its tokens
// are exhausted. A token string that cannot be scanned ends at the bad
// token: its evaluation reports it.
uint32_t nextReference(Walk *w, Frame *f)
{
    const Excel_RecalcCell &cell = w->cells[f->node];
    for (;;) {
        if (f->inArea) {
            while (f->cursor < w->count) {
                uint32_t node = w->sorted[f->cursor];
                const Excel_RecalcCell &c = w->cells[node];
                if (c.row > f->lastRow)
                    break;
                f->cursor++;
                if (c.column >= f->firstColumn && c.column <= f->lastColumn)
                    return node;
            }
            f->inArea = false;
        }
        if (!cell.tokens || f->pos >= cell.length)
            return w->count;
        uint8_t id;
        if (Excel_Ptg_nextRef(cell.tokens, cell.length, &f->pos, &id) != Res_ok || id == 0) {
            f->pos = cell.length;
            return w->count;
        }
        const uint8_t *t = cell.tokens + f->pos;
        size_t size = Excel_Ptg_size[id];
        f->pos += size;
        if (id == Excel_ptgRef) {
            uint32_t node = nodeAt(w, Bytes_peekU16Le(t + 1), t[3]);
            if (node < w->count)
                return node;
        } else if (id == Excel_ptgArea) {
            uint16_t r0 = Bytes_peekU16Le(t + 1), r1 = Bytes_peekU16Le(t + 3);
            uint8_t c0 = t[5], c1 = t[7];
            f->firstRow = std::min(r0, r1);
            f->lastRow = std::max(r0, r1);
            f->firstColumn = std::min(c0, c1);
            f->lastColumn = std::max(c0, c1);
            f->cursor = lowerBound(w, f->firstRow, 0);
            f->inArea = true;
        }
        // ptgRefN and ptgAreaN hold offsets from a cell that a cell
        // formula never has: they name no cell here.
    }
}

void pushFrame(Walk *w, uint32_t node)
{
    w->flags[node] |= nodeVisited | nodeOnPath;
    Frame &f = w->frames[w->depth++];
    f = Frame{};
    f.node = node;
}

int walkFrom(Walk *w, uint32_t start)
{
    pushFrame(w, start);
    while (w->depth > 0) {
        Frame *f = &w->frames[w->depth - 1];
        uint32_t next = nextReference(w, f);
        if (next < w->count) {
            if (w->flags[next] & nodeOnPath)
                return Res_formulaCircular;
            if (!(w->flags[next] & nodeVisited))
                pushFrame(w, next);
            continue;
        }
        uint32_t node = f->node;
        if (!(w->flags[node] & nodePlaced)) {
            w->flags[node] |= nodePlaced;
            w->order[w->placed++] = node;
        }
        w->flags[node] &= uint8_t(~nodeOnPath);
        w->depth--;
    }
    return Res_ok;
}

} // namespace

int Excel_Formula_recalcOrder(const Excel_RecalcCell *cells, uint32_t count, uint32_t **order)
{
    if (!order)
        return Res_missingArgument;
    *order = nullptr;
    if (count == 0)
        return Res_ok;
    if (!cells)
        return Res_missingArgument;
    Walk w{};
    w.cells = cells;
    w.count = count;
    w.flags = static_cast<uint8_t *>(Mem_calloc(count, 1));
    w.sorted = static_cast<uint32_t *>(Mem_malloc(size_t(count) * sizeof(uint32_t)));
    w.order = static_cast<uint32_t *>(Mem_malloc(size_t(count) * sizeof(uint32_t)));
    w.frames = static_cast<Frame *>(Mem_malloc(size_t(count) * sizeof(Frame)));
    int err = Res_ok;
    if (!w.flags || !w.sorted || !w.order || !w.frames) {
        err = Res_noMemory;
        goto cleanup;
    }
    for (uint32_t i = 0; i < count; i++)
        w.sorted[i] = i;
    // Of two formulas for one cell the first in the list is found.
    std::sort(w.sorted, w.sorted + count, [&](uint32_t a, uint32_t b) {
        if (cells[a].row != cells[b].row || cells[a].column != cells[b].column)
            return cellBefore(cells[a], cells[b].row, cells[b].column);
        return a < b;
    });
    for (uint32_t i = 0; i < count && err == Res_ok; i++)
        if (!(w.flags[i] & nodeVisited))
            err = walkFrom(&w, i);
cleanup:
    Mem_free(w.flags);
    Mem_free(w.sorted);
    Mem_free(w.frames);
    if (err != Res_ok) {
        Mem_free(w.order);
        return err;
    }
    *order = w.order;
    return Res_ok;
}
