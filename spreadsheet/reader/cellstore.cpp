// Structural edits of a laid-out sheet: rows and columns inserted or
// deleted, with the cells, merged ranges, fills, border lines, row and
// column geometry and formula references moved along.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint32_t {
    maxRow = 65535,
    maxColumn = 255,
    sharedFormulaRecord = 0x04BC, // SHRFMLA: the entry holds tokens
    arrayRecord = 0x0221,         // ARRAY: a record body with tokens from byte 14
};

// A line index moved by an insertion (+1) or a deletion (-1) at `at`: -1
// when it falls off the sheet or lies on the deleted line.
int64_t moved(int64_t value, uint32_t at, int insert, uint32_t limit)
{
    if (insert) {
        if (value < int64_t(at))
            return value;
        return value + 1 > int64_t(limit) ? -1 : value + 1;
    }
    if (value < int64_t(at))
        return value;
    return value == int64_t(at) ? -1 : value - 1;
}

// Moves the cells of the table; cells that fall off or lie on a deleted
// line are freed. The order stays sorted: a whole line moves together.
void moveCells(ExcelWorkbook *workbook, SheetCellTable *t, uint32_t at, int insert, int columns)
{
    uint32_t k = 0;
    for (uint32_t i = 0; i < t->count; i++) {
        ExcelCell &c = t->cells[i];
        int64_t v = moved(columns ? c.column : c.row, at, insert, columns ? maxColumn : maxRow);
        if (v < 0) {
            Excel_cellClear(workbook, &c);
            continue;
        }
        for (ExcelCell *o = &c; o; o = o->next) {
            if (columns)
                o->column = uint32_t(v);
            else
                o->row = uint32_t(v);
        }
        t->cells[k++] = c;
    }
    t->count = k;
}

// Moves the loaded values along with their cells: values at or after the
// line move by one; those on a deleted line or pushed past row 65535 or
// column 255 go, as do replaced entries. The order stays sorted; the
// table never grows.
void moveValues(SheetValueTable *v, uint32_t at, int insert, int columns)
{
    uint32_t k = 0;
    for (uint32_t i = 0; i < v->count; i++) {
        uint32_t kind = v->keys[i] >> Excel_valueKindShift;
        uint32_t row = (v->keys[i] & Excel_valueKeyMask) >> 8, column = v->keys[i] & 0xFF;
        int64_t w = moved(columns ? column : row, at, insert, columns ? maxColumn : maxRow);
        if (kind == 0 || w < 0)
            continue;
        (columns ? column : row) = uint32_t(w);
        v->keys[k] = kind << Excel_valueKindShift | row << 8 | column;
        v->values[k++] = v->values[i];
    }
    v->count = k;
}

void moveMerged(SheetCellTable *t, uint32_t at, int insert, int columns)
{
    uint16_t k = 0;
    for (uint16_t i = 0; i < t->mergedCount; i++) {
        SheetMergedRange m = t->merged[i];
        int32_t &first = columns ? m.firstColumn : m.firstRow;
        int32_t &last = columns ? m.lastColumn : m.lastRow;
        uint32_t limit = columns ? maxColumn : maxRow;
        if (insert) {
            if (first >= int32_t(at))
                first++;
            if (last >= int32_t(at))
                last++;
            if (first > int32_t(limit))
                continue;
            last = std::min(last, int32_t(limit));
        } else {
            if (first == int32_t(at) && last == int32_t(at))
                continue;
            if (first > int32_t(at))
                first--;
            if (last >= int32_t(at))
                last--;
        }
        if (m.firstRow == m.lastRow && m.firstColumn == m.lastColumn)
            continue; // a range of one cell is no longer merged
        t->merged[k++] = m;
    }
    t->mergedCount = k;
}

void moveFills(GridFillTable *f, uint32_t at, int insert, int columns)
{
    uint32_t k = 0;
    for (uint32_t i = 0; i < f->count; i++) {
        GridFillEntry e = f->entries[i];
        uint32_t &a = columns ? e.first.column : e.first.row;
        int64_t v = moved(a, at, insert, columns ? maxColumn : maxRow);
        if (v < 0) {
            Mem_free(e.second);
            Mem_free(e.angles);
            continue;
        }
        a = uint32_t(v);
        if (e.second) {
            uint32_t &b = columns ? e.second->column : e.second->row;
            int64_t w = moved(b, at, insert, columns ? maxColumn : maxRow);
            b = w < 0 ? (insert ? (columns ? maxColumn : maxRow) : a) : uint32_t(w);
        }
        f->entries[k++] = e;
    }
    f->count = k;
}

// Moves the references of a token string (ptgRef and ptgArea of this
// sheet) for a row (columns 0) or column (columns 1) inserted (insert 1)
// or deleted at `at`: references at or after it move by one; whole-column
// areas (rows 0 to 65535) and area ends on the last line stay. A
// reference pushed past row 65535 or column 255, or one lying wholly on a
// deleted line, becomes ptgRefErr or ptgAreaErr of the same class.
void moveTokens(uint8_t *tokens, size_t length, uint32_t at, int insert, int columns)
{
    size_t pos = 0;
    uint32_t limit = columns ? maxColumn : maxRow;
    while (pos < length) {
        uint8_t id = 0;
        if (Excel_Ptg_nextRef(tokens, length, &pos, &id) != Res_ok || id == 0 || pos >= length)
            return;
        uint8_t *t = tokens + pos;
        if (id == 0x24 && length - pos >= 5) {
            uint32_t v = columns ? (Bytes_peekU16Le(t + 3) & 0x3FFF) : Bytes_peekU16Le(t + 1);
            int64_t w = moved(v, at, insert, limit);
            if (w < 0)
                t[0] = uint8_t(t[0] + 6); // ptgRefErr
            else if (columns)
                Bytes_putU16Le(t + 3, uint32_t((Bytes_peekU16Le(t + 3) & 0xC000) | uint32_t(w)));
            else
                Bytes_putU16Le(t + 1, uint32_t(w));
            pos += 5;
        } else if (id == 0x25 && length - pos >= 9) {
            uint32_t first = columns ? (Bytes_peekU16Le(t + 5) & 0x3FFF) : Bytes_peekU16Le(t + 1);
            uint32_t last = columns ? (Bytes_peekU16Le(t + 7) & 0x3FFF) : Bytes_peekU16Le(t + 3);
            bool whole = first == 0 && last == limit;
            if (!whole) {
                int64_t f, l;
                if (insert) {
                    f = first >= at ? int64_t(first) + 1 : first;
                    l = last == limit ? last : last >= at ? int64_t(last) + 1 : last;
                } else if (first == at && last == at) {
                    f = l = -1;
                } else {
                    // A deleted line inside the area only shrinks it.
                    f = first > at ? int64_t(first) - 1 : first;
                    l = last == limit ? last : last >= at ? int64_t(last) - 1 : last;
                }
                if (f < 0 || l < 0 || f > int64_t(limit) || l > int64_t(limit) || f > l) {
                    t[0] = uint8_t(t[0] + 6); // ptgAreaErr
                } else if (columns) {
                    Bytes_putU16Le(t + 5,
                                   uint32_t((Bytes_peekU16Le(t + 5) & 0xC000) | uint32_t(f)));
                    Bytes_putU16Le(t + 7,
                                   uint32_t((Bytes_peekU16Le(t + 7) & 0xC000) | uint32_t(l)));
                } else {
                    Bytes_putU16Le(t + 1, uint32_t(f));
                    Bytes_putU16Le(t + 3, uint32_t(l));
                }
            }
            pos += 9;
        } else {
            size_t size = 0;
            if (Excel_Ptg_tokenSize(tokens, length, pos, &size) != Res_ok || size == 0)
                return;
            pos += size;
        }
    }
}

void moveFormulas(EngineContext *context, SheetGrid *grid, uint32_t at, int insert, int columns)
{
    SheetFormula **link = &grid->formulaCells;
    while (SheetFormula *f = *link) {
        int64_t v = moved(f->words[columns ? 1 : 0], at, insert, columns ? maxColumn : maxRow);
        if (v < 0) {
            *link = f->next;
            if (f->length)
                Mem_free(f->tokens);
            Mem_free(f);
            continue;
        }
        f->words[columns ? 1 : 0] = uint32_t(v);
        if (f->tokens && f->length)
            moveTokens(f->tokens, f->length, at, insert, columns);
        if (context)
            Task_yield(context);
        link = &f->next;
    }
}

// The shared formulas, arrays and tables move with their anchors (those on
// a deleted line are already gone): their ranges like areas, the
// references inside their tokens like a formula's. An array's or table's
// record body starts with its range, which follows.
void moveShared(SheetGrid *grid, uint32_t at, int insert, int columns)
{
    uint32_t limit = columns ? maxColumn : maxRow;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < grid->sharedCount; i++) {
        SheetSharedFormula e = grid->sharedFormulas[i];
        int64_t anchor = moved(e.words[columns ? 1 : 0], at, insert, limit);
        if (anchor < 0) {
            Mem_free(e.tokens);
            continue;
        }
        e.words[columns ? 1 : 0] = uint32_t(anchor);
        uint32_t &first = e.range[columns ? 2 : 0];
        uint32_t &last = e.range[columns ? 3 : 1];
        first = uint32_t(anchor);
        int64_t end = moved(last, at, insert, limit);
        last = end < 0 ? (insert ? limit : std::max(first, last - 1)) : uint32_t(end);
        bool record = e.type != sharedFormulaRecord;
        if (record && e.tokens && e.length >= 6) {
            Bytes_putU16Le(e.tokens, e.range[0]);
            Bytes_putU16Le(e.tokens + 2, e.range[1]);
            e.tokens[4] = uint8_t(e.range[2]);
            e.tokens[5] = uint8_t(e.range[3]);
        }
        if (!record && e.tokens)
            moveTokens(e.tokens, e.length, at, insert, columns);
        else if (e.type == arrayRecord && e.tokens && e.length >= 14)
            moveTokens(e.tokens + 14,
                       std::min<size_t>(Bytes_peekU16Le(e.tokens + 12), e.length - 14), at, insert,
                       columns);
        grid->sharedFormulas[kept++] = e;
    }
    grid->sharedCount = kept;
}

void moveEdits(SheetGrid *grid, uint32_t at, int insert, int columns)
{
    ExcelCellEdit **link = &grid->widthCells;
    while (ExcelCellEdit *w = *link) {
        int64_t v = moved(columns ? w->column : w->row, at, insert, columns ? maxColumn : maxRow);
        if (v < 0) {
            *link = w->next;
            Mem_free(w);
            continue;
        }
        (columns ? w->column : w->row) = uint32_t(v);
        link = &w->next;
    }
}

// The segments of the lines across the moved axis: cell indexes from at
// on move by one; a deleted cell shortens its segment.
void moveSegments(GridEdgeList *lists, uint32_t count, uint32_t at, int insert, uint32_t cells)
{
    for (uint32_t l = 0; l <= count; l++) {
        GridEdgeList &list = lists[l];
        uint32_t k = 0;
        for (uint32_t i = 0; i < list.count; i++) {
            GridSegment s = list.segments[i];
            if (insert) {
                if (s.start >= at)
                    s.start++;
                if (s.end >= at)
                    s.end++;
                if (s.start >= cells)
                    continue;
                s.end = std::min(s.end, cells - 1);
            } else {
                if (s.start == at && s.end == at)
                    continue;
                if (s.start > at)
                    s.start--;
                if (s.end >= at)
                    s.end--;
            }
            list.segments[k++] = s;
        }
        list.count = k;
    }
}

// A line slot with one segment of the ordinary grid line over `cells`.
int defaultLine(GridEdgeList *list, uint32_t cells)
{
    list->segments = static_cast<GridSegment *>(Mem_calloc(1, sizeof(GridSegment)));
    if (!list->segments)
        return Res_noMemory;
    list->count = 1;
    list->segments[0].start = 0;
    list->segments[0].end = cells ? cells - 1 : 0;
    list->segments[0].kind = Excel_gridLineStyle;
    list->segments[0].colour = Excel_gridLineColour;
    return Res_ok;
}

int structural(EngineContext *context, SheetGrid *grid, uint32_t at, int insert, int columns)
{
    SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || !grid->edgeLists || !grid->cellTable || !m->rowPositions || !m->columnWidths ||
        !m->rawWidths)
        return Res_missingArgument;
    uint32_t &count = columns ? m->columnCount : m->rowCount;
    uint32_t limit = columns ? maxColumn : maxRow;
    if (insert ? at > count : at >= count)
        return Res_nullInput;
    GridEdgeList *&lines = columns ? grid->edgeLists->columns : grid->edgeLists->rows;
    GridEdgeList *across = columns ? grid->edgeLists->rows : grid->edgeLists->columns;
    uint32_t acrossCount = columns ? m->rowCount : m->columnCount;
    bool grows = insert && count < limit;
    // Reserve everything first so that a failure changes nothing.
    if (grows) {
        GridEdgeList *l = static_cast<GridEdgeList *>(
            Mem_realloc(lines, (size_t(count) + 2) * sizeof(GridEdgeList)));
        if (!l)
            return Res_noMemory;
        lines = l;
        lines[count + 1] = GridEdgeList{};
        if (columns) {
            uint16_t *raw = static_cast<uint16_t *>(
                Mem_realloc(m->rawWidths, (size_t(count) + 1) * sizeof(uint16_t)));
            if (!raw)
                return Res_noMemory;
            m->rawWidths = raw;
            uint32_t *w = static_cast<uint32_t *>(
                Mem_realloc(m->columnWidths, (size_t(count) + 1) * sizeof(uint32_t)));
            if (!w)
                return Res_noMemory;
            m->columnWidths = w;
        } else {
            uint32_t *p = static_cast<uint32_t *>(
                Mem_realloc(m->rowPositions, (size_t(count) + 1) * sizeof(uint32_t)));
            if (!p)
                return Res_noMemory;
            m->rowPositions = p;
        }
        GridEdgeList fresh{};
        if (defaultLine(&fresh, acrossCount) != Res_ok)
            return Res_noMemory;
        // The new line goes at at + 1 (the far edge of the new row or
        // column); the lines after it move on.
        memmove(lines + at + 2, lines + at + 1, (size_t(count) - at) * sizeof(GridEdgeList));
        lines[at + 1] = fresh;
    }
    // Geometry.
    if (columns) {
        if (grows) {
            uint16_t raw = at > 0 ? m->rawWidths[at - 1] : uint16_t(Excel_defaultRawWidth);
            uint32_t w = at > 0 ? m->columnWidths[at - 1] : m->columnWidths[0];
            memmove(m->rawWidths + at + 1, m->rawWidths + at,
                    (size_t(count) - at) * sizeof(uint16_t));
            memmove(m->columnWidths + at + 1, m->columnWidths + at,
                    (size_t(count) - at) * sizeof(uint32_t));
            m->rawWidths[at] = raw;
            m->columnWidths[at] = w;
            m->totalWidth = int32_t(uint32_t(m->totalWidth) + w);
            count++;
        } else if (!insert) {
            m->totalWidth = int32_t(uint32_t(m->totalWidth) - m->columnWidths[at]);
            memmove(m->rawWidths + at, m->rawWidths + at + 1,
                    (size_t(count) - at - 1) * sizeof(uint16_t));
            memmove(m->columnWidths + at, m->columnWidths + at + 1,
                    (size_t(count) - at - 1) * sizeof(uint32_t));
            Mem_free(lines[at + 1].segments);
            memmove(lines + at + 1, lines + at + 2,
                    (size_t(count) - at - 1) * sizeof(GridEdgeList));
            lines[count] = GridEdgeList{};
            count--;
        }
    } else {
        uint32_t *p = m->rowPositions;
        if (grows) {
            uint32_t h =
                at > 0 ? p[at - 1] - (at > 1 ? p[at - 2] : 0) : uint32_t(m->defaultRowHeight);
            memmove(p + at + 1, p + at, (size_t(count) - at) * sizeof(uint32_t));
            p[at] = (at > 0 ? p[at - 1] : 0) + h;
            for (uint32_t r = at + 1; r <= count; r++)
                p[r] += h;
            m->totalHeight = int32_t(uint32_t(m->totalHeight) + h);
            count++;
        } else if (!insert) {
            uint32_t h = p[at] - (at > 0 ? p[at - 1] : 0);
            memmove(p + at, p + at + 1, (size_t(count) - at - 1) * sizeof(uint32_t));
            for (uint32_t r = at; r + 1 < count; r++)
                p[r] -= h;
            m->totalHeight = int32_t(uint32_t(m->totalHeight) - h);
            Mem_free(lines[at + 1].segments);
            memmove(lines + at + 1, lines + at + 2,
                    (size_t(count) - at - 1) * sizeof(GridEdgeList));
            lines[count] = GridEdgeList{};
            count--;
        }
    }
    moveSegments(across, acrossCount, at, insert, count);
    if (!insert)
        (void)Excel_Sheet_removeLine(grid, columns ? -1 : int64_t(at), columns ? int64_t(at) : -1);
    moveCells(grid->workbook, grid->cellTable, at, insert, columns);
    moveValues(&grid->values, at, insert, columns);
    moveMerged(grid->cellTable, at, insert, columns);
    if (grid->fillTable)
        moveFills(grid->fillTable, at, insert, columns);
    moveEdits(grid, at, insert, columns);
    moveFormulas(context, grid, at, insert, columns);
    moveShared(grid, at, insert, columns);
    return Res_ok;
}

} // namespace

int Excel_Sheet_insertRow(EngineContext *context, SheetGrid *grid, uint32_t index)
{
    return structural(context, grid, index, 1, 0);
}

int Excel_Sheet_insertColumn(EngineContext *context, SheetGrid *grid, uint32_t index)
{
    return structural(context, grid, index, 1, 1);
}

int Excel_Sheet_deleteRow(EngineContext *context, SheetGrid *grid, uint32_t index)
{
    return structural(context, grid, index, 0, 0);
}

int Excel_Sheet_deleteColumn(EngineContext *context, SheetGrid *grid, uint32_t index)
{
    return structural(context, grid, index, 0, 1);
}

int Excel_Sheet_setColumnWidth(EngineContext *context, SheetGrid *grid, uint32_t column,
                               uint32_t width)
{
    SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || !m->rawWidths || !m->columnWidths || m->scale <= 0)
        return Res_missingArgument;
    if (column >= m->columnCount)
        return Res_nullInput;
    // Layout units back to 1/256 character, within what a column holds.
    uint64_t raw = uint64_t(width) * 256 / uint32_t(m->scale);
    m->rawWidths[column] = uint16_t(std::min<uint64_t>(raw, 65280));
    Excel_colWidthsCompute(grid);
    // Values shown in the column are formatted for its new width.
    return Excel_Sheet_renderColumn(context, grid, column);
}
