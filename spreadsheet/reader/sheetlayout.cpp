// Sheet layout: the grid of a worksheet built from its load-time store.
#include "spreadsheet/reader/sheetlayout.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/cellstyle.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/exceldraw.h"
#include "spreadsheet/reader/hyperlink.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetgrid.h"

namespace {

const ExcelXf *xfOf(const ExcelLoad *load, uint32_t xf)
{
    const ExcelWorkbook *wb = load->workbook;
    return xf < wb->xfCount ? &wb->xfs[xf] : nullptr;
}

// The XF of a column slot of a row (the default XF for a missing cell).
const ExcelXf *slotXf(const ExcelLoad *load, const ExcelRow *row, uint32_t column)
{
    if (row && column < row->slots && row->cells[column].kind != Excel_valFiller)
        return xfOf(load, row->cells[column].xf);
    return xfOf(load, Excel_defaultXf);
}

// The line between `before` and `after` (either may be null beyond the
// grid's edge): the side of the cell after the line when it has a border,
// else the facing side of the cell before; without either the grid line,
// unless a cell has a fill.
ExcelLineCell lineBetween(const ExcelXf *before, uint32_t beforeSide, const ExcelXf *after,
                          uint32_t afterSide)
{
    if (after && after->borderStyle[afterSide])
        return {after->borderStyle[afterSide], after->borderColour[afterSide]};
    if (before && before->borderStyle[beforeSide])
        return {before->borderStyle[beforeSide], before->borderColour[beforeSide]};
    if ((after && after->pattern) || (before && before->pattern))
        return {0, 0};
    return {Excel_gridLineStyle, Excel_gridLineColour};
}

} // namespace

int Excel_borderLineSet(const ExcelLineCell *cells, uint32_t count, GridEdgeList *list)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; i++)
        if (i == 0 || cells[i].style != cells[i - 1].style ||
            cells[i].colour != cells[i - 1].colour)
            n++;
    GridSegment *s = static_cast<GridSegment *>(Mem_calloc(n ? n : 1, sizeof(GridSegment)));
    if (!s)
        return Res_noMemory;
    uint32_t k = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (i == 0 || cells[i].style != cells[i - 1].style ||
            cells[i].colour != cells[i - 1].colour) {
            s[k].start = i;
            s[k].kind = cells[i].style;
            s[k].colour = cells[i].colour;
            k++;
        }
        s[k - 1].end = i;
    }
    Mem_free(list->segments);
    list->segments = s;
    list->count = n;
    return Res_ok;
}

namespace {

// The segments of one line, built from its start to its end: a run that
// goes on from the last one with the same line joins it.
struct SheetlayoutRuns {
    GridSegment *segments;
    uint32_t count;
    uint32_t capacity;
};

// A span of a line (columns or rows, inclusive) inside merged ranges,
// where the line is not drawn.
struct SheetlayoutSpan {
    uint32_t first;
    uint32_t last;
};

int sheetlayoutRunAdd(SheetlayoutRuns *runs, uint32_t start, uint32_t end, ExcelLineCell line)
{
    if (runs->count) {
        GridSegment &last = runs->segments[runs->count - 1];
        if (last.end + 1 == start && last.kind == line.style && last.colour == line.colour) {
            last.end = end;
            return Res_ok;
        }
    }
    if (runs->count == runs->capacity) {
        uint32_t cap = runs->capacity ? runs->capacity * 2 : 64;
        GridSegment *s =
            static_cast<GridSegment *>(Mem_realloc(runs->segments, cap * sizeof(GridSegment)));
        if (!s)
            return Res_noMemory;
        runs->segments = s;
        runs->capacity = cap;
    }
    GridSegment &s = runs->segments[runs->count++];
    s = GridSegment{};
    s.start = start;
    s.end = end;
    s.kind = line.style;
    s.colour = line.colour;
    return Res_ok;
}

// Adds the run from start to end (inclusive) of `line`, with its parts
// inside the spans (sorted and apart) as no line; *next is the first span
// the line has not yet passed.
int sheetlayoutRunPut(SheetlayoutRuns *runs, uint32_t start, uint32_t end, ExcelLineCell line,
                      const SheetlayoutSpan *spans, uint32_t spanCount, uint32_t *next)
{
    int rc = Res_ok;
    uint32_t k = *next;
    while (rc == Res_ok) {
        while (k < spanCount && spans[k].last < start)
            k++;
        if (k == spanCount || spans[k].first > end) {
            rc = sheetlayoutRunAdd(runs, start, end, line);
            break;
        }
        if (spans[k].first > start) {
            rc = sheetlayoutRunAdd(runs, start, spans[k].first - 1, line);
            start = spans[k].first;
        }
        uint32_t stop = std::min(spans[k].last, end);
        if (rc == Res_ok)
            rc = sheetlayoutRunAdd(runs, start, stop, {0, 0});
        if (stop == end)
            break;
        start = stop + 1;
    }
    *next = k;
    return rc;
}

// Gives the line its segments: a copy of the runs at their size (one
// empty segment when there are none).
int sheetlayoutRunsSet(const SheetlayoutRuns *runs, GridEdgeList *list)
{
    uint32_t n = runs->count;
    GridSegment *s = static_cast<GridSegment *>(Mem_malloc((n ? n : 1) * sizeof(GridSegment)));
    if (!s)
        return Res_noMemory;
    if (n)
        memcpy(s, runs->segments, n * sizeof(GridSegment));
    else
        s[0] = GridSegment{};
    Mem_free(list->segments);
    list->segments = s;
    list->count = n;
    return Res_ok;
}

// The scratch of the border pass: the merged ranges that cover more than
// one row or column, by first row; the spans of the current line; the
// coverage changes along a horizontal line; the rows in row order still
// reaching the current column (linked) and the rows by slot count.
struct SheetlayoutBorderWork {
    const ExcelRange **ranges;
    uint32_t rangeCount;
    const ExcelRange **byLast; // the same ranges by last row
    SheetlayoutSpan *spans;
    uint32_t spanCount;
    int32_t *delta; // columns + 1
    uint32_t *next; // row count + 1 (the last: the list's head)
    uint32_t *prev;
    uint32_t *bySlots;
    SheetlayoutRuns runs;
};

void sheetlayoutBorderWorkFree(SheetlayoutBorderWork *w)
{
    Mem_free(w->ranges);
    Mem_free(w->byLast);
    Mem_free(w->spans);
    Mem_free(w->delta);
    Mem_free(w->next);
    Mem_free(w->prev);
    Mem_free(w->bySlots);
    Mem_free(w->runs.segments);
}

// The spans along horizontal line `line` from the coverage changes.
void sheetlayoutRowSpans(SheetlayoutBorderWork *w, uint32_t cols)
{
    w->spanCount = 0;
    int32_t depth = 0;
    for (uint32_t c = 0; c < cols; c++) {
        depth += w->delta[c];
        if (depth <= 0)
            continue;
        if (w->spanCount && w->spans[w->spanCount - 1].last + 1 == c)
            w->spans[w->spanCount - 1].last = c;
        else
            w->spans[w->spanCount++] = {c, c};
    }
}

// The spans along vertical line `line`: the rows of the ranges it crosses
// inside, joined (the ranges come by first row).
void sheetlayoutColumnSpans(SheetlayoutBorderWork *w, uint32_t line, uint32_t rows)
{
    w->spanCount = 0;
    for (uint32_t i = 0; i < w->rangeCount; i++) {
        const ExcelRange &r = *w->ranges[i];
        if (line <= r.firstColumn || line > r.lastColumn || r.firstRow >= rows)
            continue;
        uint32_t last = std::min<uint32_t>(r.lastRow, rows - 1);
        if (w->spanCount && r.firstRow <= w->spans[w->spanCount - 1].last + 1)
            w->spans[w->spanCount - 1].last = std::max(w->spans[w->spanCount - 1].last, last);
        else
            w->spans[w->spanCount++] = {r.firstRow, last};
    }
}

int buildBorders(const ExcelLoad *load, const ExcelLoadSheet *sheet, SheetGrid *grid)
{
    const uint32_t rows = grid->metrics->rowCount, cols = grid->metrics->columnCount;
    const ExcelXf *def = xfOf(load, Excel_defaultXf);
    SheetlayoutBorderWork w{};
    uint32_t rangeCount = 0;
    for (uint32_t m = 0; m < sheet->mergedCount; m++) {
        const ExcelRange &r = sheet->merged[m];
        if (r.firstRow <= r.lastRow && r.firstColumn <= r.lastColumn &&
            (r.firstRow < r.lastRow || r.firstColumn < r.lastColumn))
            rangeCount++;
    }
    const uint32_t rowCount = sheet->rowCount;
    w.ranges =
        static_cast<const ExcelRange **>(Mem_malloc((rangeCount + 1) * sizeof(ExcelRange *)));
    w.byLast =
        static_cast<const ExcelRange **>(Mem_malloc((rangeCount + 1) * sizeof(ExcelRange *)));
    w.spans = static_cast<SheetlayoutSpan *>(
        Mem_malloc((std::max(rows, cols) + 1) * sizeof(SheetlayoutSpan)));
    w.delta = static_cast<int32_t *>(Mem_calloc(cols + 1, sizeof(int32_t)));
    w.next = static_cast<uint32_t *>(Mem_malloc((rowCount + 1) * sizeof(uint32_t)));
    w.prev = static_cast<uint32_t *>(Mem_malloc((rowCount + 1) * sizeof(uint32_t)));
    w.bySlots = static_cast<uint32_t *>(Mem_malloc((rowCount + 1) * sizeof(uint32_t)));
    if (!w.ranges || !w.byLast || !w.spans || !w.delta || !w.next || !w.prev || !w.bySlots) {
        sheetlayoutBorderWorkFree(&w);
        return Res_noMemory;
    }
    for (uint32_t m = 0; m < sheet->mergedCount; m++) {
        const ExcelRange &r = sheet->merged[m];
        if (r.firstRow <= r.lastRow && r.firstColumn <= r.lastColumn &&
            (r.firstRow < r.lastRow || r.firstColumn < r.lastColumn)) {
            w.ranges[w.rangeCount] = w.byLast[w.rangeCount] = &r;
            w.rangeCount++;
        }
    }
    std::sort(w.ranges, w.ranges + w.rangeCount,
              [](const ExcelRange *a, const ExcelRange *b) { return a->firstRow < b->firstRow; });
    std::sort(w.byLast, w.byLast + w.rangeCount,
              [](const ExcelRange *a, const ExcelRange *b) { return a->lastRow < b->lastRow; });
    int rc = Res_ok;
    // Horizontal lines: line r runs along the top of row r. Only the slots
    // of the rows on either side are looked at; past them (and between
    // rows that do not exist) the line is that of two default cells. A
    // merged range hides the lines inside it: the ranges come into the
    // coverage changes at the line below their first row and leave it at
    // the line below their last.
    uint32_t k = 0, entered = 0, left = 0;
    for (uint32_t r = 0; r <= rows && rc == Res_ok; r++) {
        bool changed = false;
        for (; entered < w.rangeCount && w.ranges[entered]->firstRow < r; entered++) {
            const ExcelRange &m = *w.ranges[entered];
            if (m.firstRow < m.lastRow && m.firstColumn < cols) {
                w.delta[m.firstColumn]++;
                w.delta[std::min<uint32_t>(m.lastColumn, cols - 1) + 1]--;
                changed = true;
            }
        }
        for (; left < w.rangeCount && w.byLast[left]->lastRow < r; left++) {
            const ExcelRange &m = *w.byLast[left];
            if (m.firstRow < m.lastRow && m.firstColumn < cols) {
                w.delta[m.firstColumn]--;
                w.delta[std::min<uint32_t>(m.lastColumn, cols - 1) + 1]++;
                changed = true;
            }
        }
        if (changed)
            sheetlayoutRowSpans(&w, cols);
        while (k < rowCount && sheet->rows[k]->row < r)
            k++;
        const ExcelRow *above =
            k > 0 && r > 0 && sheet->rows[k - 1]->row == r - 1 ? sheet->rows[k - 1] : nullptr;
        const ExcelRow *below =
            r < rows && k < rowCount && sheet->rows[k]->row == r ? sheet->rows[k] : nullptr;
        uint32_t width = std::min<uint32_t>(
            std::max<uint32_t>(above ? above->slots : 0, below ? below->slots : 0), cols);
        w.runs.count = 0;
        uint32_t at = 0;
        for (uint32_t c = 0; c < width && rc == Res_ok; c++)
            rc = sheetlayoutRunPut(
                &w.runs, c, c,
                lineBetween(r > 0 ? slotXf(load, above, c) : nullptr, Excel_borderBottom,
                            r < rows ? slotXf(load, below, c) : nullptr, Excel_borderTop),
                w.spans, w.spanCount, &at);
        if (rc == Res_ok && width < cols)
            rc = sheetlayoutRunPut(&w.runs, width, cols - 1,
                                   lineBetween(r > 0 ? def : nullptr, Excel_borderBottom,
                                               r < rows ? def : nullptr, Excel_borderTop),
                                   w.spans, w.spanCount, &at);
        if (rc == Res_ok)
            rc = sheetlayoutRunsSet(&w.runs, &grid->edgeLists->rows[r]);
        if (load->context)
            Task_yield(load->context);
    }
    // Vertical lines: line c runs along the left of column c. The rows
    // whose slots reach column c - 1 are kept in row order in a list, from
    // which each column drops those that end before it; between them the
    // line is that of two default cells.
    const uint32_t head = rowCount;
    for (uint32_t i = 0; i < rowCount; i++) {
        w.next[i] = i + 1 < rowCount ? i + 1 : head;
        w.prev[i] = i > 0 ? i - 1 : head;
        w.bySlots[i] = i;
    }
    w.next[head] = rowCount ? 0 : head;
    w.prev[head] = rowCount ? rowCount - 1 : head;
    std::sort(w.bySlots, w.bySlots + rowCount, [sheet](uint32_t a, uint32_t b) {
        return sheet->rows[a]->slots < sheet->rows[b]->slots;
    });
    uint32_t dropped = 0;
    for (uint32_t c = 0; c <= cols && rc == Res_ok; c++) {
        for (; dropped < rowCount && sheet->rows[w.bySlots[dropped]]->slots < c; dropped++) {
            uint32_t i = w.bySlots[dropped];
            w.next[w.prev[i]] = w.next[i];
            w.prev[w.next[i]] = w.prev[i];
        }
        sheetlayoutColumnSpans(&w, c, rows);
        ExcelLineCell between = lineBetween(c > 0 ? def : nullptr, Excel_borderRight,
                                            c < cols ? def : nullptr, Excel_borderLeft);
        w.runs.count = 0;
        uint32_t at = 0, from = 0;
        for (uint32_t i = w.next[head]; i != head && rc == Res_ok; i = w.next[i]) {
            const ExcelRow *row = sheet->rows[i];
            if (row->row >= rows)
                break;
            if (row->row > from)
                rc = sheetlayoutRunPut(&w.runs, from, row->row - 1u, between, w.spans, w.spanCount,
                                       &at);
            if (rc == Res_ok)
                rc = sheetlayoutRunPut(
                    &w.runs, row->row, row->row,
                    lineBetween(c > 0 ? slotXf(load, row, c - 1) : nullptr, Excel_borderRight,
                                c < cols ? slotXf(load, row, c) : nullptr, Excel_borderLeft),
                    w.spans, w.spanCount, &at);
            from = row->row + 1u;
        }
        if (rc == Res_ok && from < rows)
            rc = sheetlayoutRunPut(&w.runs, from, rows - 1, between, w.spans, w.spanCount, &at);
        if (rc == Res_ok)
            rc = sheetlayoutRunsSet(&w.runs, &grid->edgeLists->columns[c]);
        if (load->context)
            Task_yield(load->context);
    }
    sheetlayoutBorderWorkFree(&w);
    return rc;
}

void fillPalette(const ExcelWorkbook *wb, SheetGrid *grid)
{
    for (uint32_t i = 0; i < SheetGrid_paletteSize; i++) {
        uint8_t c[4] = {0, 0, 0, 255};
        Excel_paletteColour(c, &wb->palette, i == SheetGrid_paletteSize - 1 ? 64 : i);
        grid->palette[i] = Bytes_peekU32Le(c);
    }
}

char16_t *copyText(const char16_t *t)
{
    size_t n = 0;
    while (t && t[n])
        n++;
    char16_t *c = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (c) {
        if (n)
            memcpy(c, t, n * sizeof(char16_t));
        c[n] = 0;
    }
    return c;
}

int addCell(SheetCellTable *table, uint32_t *capacity, const ExcelCell *cell)
{
    if (table->count == *capacity) {
        uint32_t cap = *capacity ? *capacity * 2 : 64;
        ExcelCell *c = static_cast<ExcelCell *>(Mem_realloc(table->cells, cap * sizeof(ExcelCell)));
        if (!c)
            return Res_noMemory;
        table->cells = c;
        *capacity = cap;
    }
    table->cells[table->count++] = *cell;
    return Res_ok;
}

// The value kind a loaded cell keeps beside its display text (an edit's
// value kind), or 0 for texts and blanks.
uint32_t valueKind(const ExcelCellValue *v)
{
    switch (v->kind) {
    case Excel_valBoolean: return Excel_editBoolean;
    case Excel_valInteger: return Excel_editInteger;
    case Excel_valNumber: return Excel_editNumber;
    case Excel_valError: return Excel_editError;
    default: return 0;
    }
}

double valueOf(const ExcelCellValue *v)
{
    switch (v->kind) {
    case Excel_valBoolean: return v->value.boolean ? 1.0 : 0.0;
    case Excel_valInteger: return double(v->value.integer);
    case Excel_valNumber: return v->value.number;
    default: return double(v->errorCode);
    }
}

// The loaded values of the sheet's cells go into the sheet store's value
// table, counted first so that it is made once at its size.
int buildValues(const ExcelLoad *load, const ExcelLoadSheet *sheet, SheetGrid *grid)
{
    const ExcelWorkbook *wb = load->workbook;
    uint32_t count = 0;
    for (uint32_t i = 0; i < sheet->rowCount; i++) {
        const ExcelRow *row = sheet->rows[i];
        for (uint32_t c = 0; c < row->slots; c++)
            if (row->cells[c].xf < wb->xfCount && valueKind(&row->cells[c]))
                count++;
    }
    if (count == 0)
        return Res_ok;
    int rc = Excel_Sheet_reserveValues(grid, count);
    for (uint32_t i = 0; i < sheet->rowCount && rc == Res_ok; i++) {
        const ExcelRow *row = sheet->rows[i];
        for (uint32_t c = 0; c < row->slots && rc == Res_ok; c++) {
            const ExcelCellValue *v = &row->cells[c];
            if (v->xf < wb->xfCount && valueKind(v))
                rc = Excel_Sheet_putValue(grid, row->row, c, valueKind(v), valueOf(v));
        }
    }
    return rc;
}

// The rotation pair of a cell whose text is turned by other than a right
// angle: its own angle, then that of the next cell of the row (its own
// again when the next one is upright). Null otherwise, or when memory runs
// out (the fill is then drawn upright).
int16_t *sheetlayoutFillAngles(const ExcelLoad *load, const ExcelRow *row, uint32_t column)
{
    int32_t own = Excel_xfRotation(slotXf(load, row, column));
    if (own == 0 || own == 90 || own == -90)
        return nullptr;
    int32_t next = column + 1 < row->slots ? Excel_xfRotation(slotXf(load, row, column + 1)) : 0;
    int16_t *pair = static_cast<int16_t *>(Mem_malloc(2 * sizeof(int16_t)));
    if (pair) {
        pair[0] = int16_t(own);
        pair[1] = int16_t(next ? next : own);
    }
    return pair;
}

// One fill entry for every cell (a column's formatted empty slots
// included) whose XF has a fill pattern: the pattern, its background as
// the first colour and its foreground as the second, which a solid fill
// shows. Counted first, so that the table is made once at its size.
int buildFills(const ExcelLoad *load, const ExcelLoadSheet *sheet, SheetGrid *grid)
{
    GridFillTable *table = grid->fillTable;
    if (!table)
        return Res_ok;
    uint32_t count = 0;
    for (uint32_t i = 0; i < sheet->rowCount; i++) {
        const ExcelRow *row = sheet->rows[i];
        for (uint32_t c = 0; c < row->slots; c++) {
            const ExcelXf *xf = xfOf(load, row->cells[c].xf);
            if (xf && xf->pattern)
                count++;
        }
    }
    if (count == 0)
        return Res_ok;
    GridFillEntry *entries = static_cast<GridFillEntry *>(Mem_calloc(count, sizeof(GridFillEntry)));
    if (!entries)
        return Res_noMemory;
    uint32_t k = 0;
    for (uint32_t i = 0; i < sheet->rowCount; i++) {
        const ExcelRow *row = sheet->rows[i];
        for (uint32_t c = 0; c < row->slots && k < count; c++) {
            const ExcelXf *xf = xfOf(load, row->cells[c].xf);
            if (!xf || !xf->pattern)
                continue;
            GridFillEntry &e = entries[k++];
            e.first = {row->row, c};
            e.colour1 = xf->patternBg;
            e.colour2 = xf->patternFg;
            e.pattern = xf->pattern;
            // Turned cells are few: the merged ranges are looked up for them only.
            e.angles = sheetlayoutFillAngles(load, row, c);
            if (e.angles && Excel_mergedIndex(sheet->merged, sheet->mergedCount, row->row, c) !=
                                Excel_notMerged) {
                Mem_free(e.angles);
                e.angles = nullptr;
            }
        }
    }
    table->entries = entries;
    table->count = k;
    return Res_ok;
}

int buildCells(ExcelLoad *load, const ExcelLoadSheet *sheet, SheetGrid *grid, ExcelRuleTable *rules)
{
    SheetCellTable *table = grid->cellTable;
    uint32_t capacity = 0;
    ExcelWorkbook *wb = load->workbook;
    if (int rc = buildValues(load, sheet, grid))
        return rc;
    for (uint32_t i = 0; i < sheet->rowCount; i++) {
        const ExcelRow *row = sheet->rows[i];
        for (uint32_t c = 0; c < row->slots; c++) {
            const ExcelCellValue *v = &row->cells[c];
            if (v->kind == Excel_valFiller || v->xf >= wb->xfCount)
                continue;
            ExcelCell cell{};
            cell.xf = v->xf;
            cell.row = row->row;
            cell.column = c;
            cell.sst = -1;
            cell.kind = Excel_cellNoText;
            uint32_t kind = v->kind;
            if (v->kind != Excel_valBlank) {
                if (v->kind == Excel_valString && v->sst >= 0 && v->value.text.runCount == 0 &&
                    uint32_t(v->sst) < wb->sstCount) {
                    // The shared text itself is shown.
                    cell.kind = Excel_cellSharedText;
                    cell.sst = v->sst;
                    cell.text = wb->sst[v->sst].text;
                    Excel_sstAddRef(wb, uint32_t(v->sst));
                } else {
                    char16_t *shown = nullptr;
                    int rc = v->kind == Excel_valString
                                 ? ((shown = copyText(v->value.text.text)) ? 0 : 1)
                                 : Excel_cellDisplayText(
                                       load, sheet, v, Excel_cellWidth(sheet, row->row, c), &shown);
                    if (rc != Res_ok)
                        return rc;
                    cell.kind = Excel_cellOwnText;
                    cell.text = shown;
                }
            }
            uint32_t index = 0;
            int rc = Excel_cellRule(rules, load, kind, &cell, &index, nullptr);
            if (rc == Res_ok)
                rc = addCell(table, &capacity, &cell);
            if (rc != Res_ok) {
                if (cell.kind == Excel_cellOwnText)
                    Mem_free(cell.text);
                else if (cell.kind == Excel_cellSharedText)
                    Excel_sstRelease(wb, uint32_t(cell.sst));
                return rc;
            }
            if (load->context)
                Task_yield(load->context);
        }
    }
    if (sheet->mergedCount) {
        uint32_t n = std::min<uint32_t>(sheet->mergedCount, 0xFFFF);
        table->merged = static_cast<SheetMergedRange *>(Mem_malloc(n * sizeof(SheetMergedRange)));
        if (!table->merged)
            return Res_noMemory;
        for (uint32_t i = 0; i < n; i++) {
            const ExcelRange &r = sheet->merged[i];
            table->merged[i] = {r.firstColumn, r.firstRow, r.lastColumn, r.lastRow};
        }
        table->mergedCount = uint16_t(n);
    }
    return Res_ok;
}

int moveFormulas(ExcelLoadSheet *sheet, SheetGrid *grid)
{
    SheetFormula **tail = &grid->formulaCells;
    while (*tail)
        tail = &(*tail)->next;
    while (ExcelLoadFormula *f = sheet->formulas) {
        if (f->length + f->extra > 0xFFFF) {
            sheet->formulas = f->next;
            Mem_free(f->tokens);
            Mem_free(f);
            continue;
        }
        SheetFormula *s = static_cast<SheetFormula *>(Mem_calloc(1, sizeof(SheetFormula)));
        if (!s)
            return Res_noMemory;
        sheet->formulas = f->next;
        s->words[0] = f->row;
        s->words[1] = f->column;
        s->tokens = f->tokens;
        s->length = uint16_t(f->length);
        s->extra = uint16_t(f->extra);
        if (s->length == 0) {
            Mem_free(s->tokens);
            s->tokens = nullptr;
        }
        Mem_free(f);
        *tail = s;
        tail = &s->next;
    }
    // The shared formulas, arrays and tables go to the sheet store under
    // their anchors, for the writer and for structural edits.
    while (ExcelSharedFormula *f = sheet->shared) {
        SheetSharedFormula e{};
        e.words[0] = f->range.firstRow;
        e.words[1] = f->range.firstColumn;
        e.type = f->type;
        e.range[0] = f->range.firstRow;
        e.range[1] = f->range.lastRow;
        e.range[2] = f->range.firstColumn;
        e.range[3] = f->range.lastColumn;
        e.tokens = f->tokens;
        e.length = f->length;
        if (Excel_Sheet_putSharedFormula(grid, &e) != Res_ok)
            return Res_noMemory;
        sheet->shared = f->next;
        Mem_free(f);
    }
    return Res_ok;
}

} // namespace

void Excel_heldExtent(const ExcelLoad *load, const ExcelLoadSheet *sheet, uint32_t *rows,
                      uint32_t *columns)
{
    uint32_t r = 0, c = 0;
    for (uint32_t i = 0; sheet && load && load->workbook && i < sheet->rowCount; i++) {
        const ExcelRow *row = sheet->rows[i];
        if (row->formatColumns && Excel_xfShows(xfOf(load, row->formatXf))) {
            r = std::max<uint32_t>(r, row->row + 1u);
            c = std::max<uint32_t>(c, row->formatColumns);
        }
        for (uint32_t k = row->slots; k > 0; k--) {
            const ExcelCellValue &v = row->cells[k - 1];
            if (v.kind == Excel_valFiller)
                continue;
            if (v.kind == Excel_valBlank && !v.formula && !Excel_xfShows(xfOf(load, v.xf)))
                continue;
            r = std::max<uint32_t>(r, row->row + 1u);
            c = std::max(c, k);
            break;
        }
    }
    for (uint32_t m = 0; sheet && m < sheet->mergedCount; m++) {
        r = std::max<uint32_t>(r, sheet->merged[m].lastRow + 1u);
        c = std::max<uint32_t>(c, sheet->merged[m].lastColumn + 1u);
    }
    for (uint32_t n = 0; sheet && n < sheet->noteCount; n++) {
        r = std::max<uint32_t>(r, sheet->notes[n].row + 1u);
        c = std::max<uint32_t>(c, sheet->notes[n].column + 1u);
    }
    for (uint32_t l = 0; sheet && l < sheet->linkCount; l++) {
        const ExcelRange &range = sheet->links[l].range;
        r = std::max<uint32_t>(r, std::max(range.firstRow, range.lastRow) + 1u);
        c = std::max<uint32_t>(c, std::max(range.firstColumn, range.lastColumn) + 1u);
    }
    if (rows)
        *rows = r;
    if (columns)
        *columns = c;
}

void Excel_sheetExtent(const ExcelLoadSheet *sheet, uint32_t *rows, uint32_t *columns)
{
    uint32_t r = Excel_minLayoutRows, c = Excel_minLayoutColumns;
    if (sheet) {
        if (sheet->extent[1] > 0)
            r = std::max(r, uint32_t(sheet->extent[1]));
        for (uint32_t i = 0; i < sheet->rowCount; i++)
            c = std::max<uint32_t>(c, sheet->rows[i]->slots);
        if (sheet->extent[3] > sheet->extent[2])
            c = std::max(c, uint32_t(sheet->extent[3]));
        // Shapes anchored past the cells widen the grid to reach them.
        uint32_t dc = 0, dr = 0;
        ExcelDraw_objectsExtent(sheet, &dc, &dr);
        r = std::max(r, dr);
        c = std::max(c, dc);
    }
    if (rows)
        *rows = r;
    if (columns)
        *columns = c;
}

uint16_t Excel_unusedColumnWidth(const ExcelLoadSheet *sheet, uint32_t column)
{
    if (!sheet)
        return uint16_t(Excel_defaultRawWidth);
    // A column-information record reaches past the used columns as often
    // as not (a whole sheet's widths in one run); the last one read wins,
    // as it does for the used columns.
    uint16_t width = uint16_t(std::min<uint32_t>(uint32_t(sheet->defaultColWidth) << 8, 0xFFFF));
    for (const ExcelColInfo *c = sheet->colInfo; c; c = c->next)
        if (column >= c->first && column <= c->last)
            width = c->width;
    return width;
}

uint32_t Excel_mergedIndex(const ExcelRange *ranges, uint32_t count, uint32_t row, uint32_t column)
{
    for (uint32_t i = 0; ranges && i < count && i < Excel_notMerged; i++)
        if (row >= ranges[i].firstRow && row <= ranges[i].lastRow &&
            column >= ranges[i].firstColumn && column <= ranges[i].lastColumn)
            return i;
    return Excel_notMerged;
}

int Excel_gridCreate(const ExcelLoad *load, const ExcelLoadSheet *sheet, SheetMetrics **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!load || !sheet || !load->workbook)
        return Res_missingArgument;
    // A sheet without cells still shows the shapes anchored on it: its grid
    // reaches them with the default row and column sizes.
    uint32_t drawnColumns = 0, drawnRows = 0;
    ExcelDraw_objectsExtent(sheet, &drawnColumns, &drawnRows);
    bool cells =
        sheet->extent[1] > 0 && sheet->rowCount != 0 && sheet->rowHeights && sheet->colWidths;
    if (!cells && (drawnColumns == 0 || drawnRows == 0))
        return Excel_errEmptySheet;
    const ExcelXf *xf = xfOf(load, Excel_defaultXf);
    if (!xf || !xf->font)
        return Excel_errNoDefaultFont;
    int32_t scale = 506 * (xf->font->height / 20);
    if (scale == 0)
        return Excel_errNoDefaultFont;
    uint32_t rows = 0, cols = 0;
    Excel_sheetExtent(sheet, &rows, &cols);
    SheetMetrics *m = static_cast<SheetMetrics *>(Mem_calloc(1, sizeof(SheetMetrics)));
    if (!m)
        return Res_noMemory;
    m->rawWidths = static_cast<uint16_t *>(Mem_malloc(cols * sizeof(uint16_t)));
    m->columnWidths = static_cast<uint32_t *>(Mem_malloc(cols * sizeof(uint32_t)));
    m->rowPositions = static_cast<uint32_t *>(Mem_malloc(rows * sizeof(uint32_t)));
    if (!m->rawWidths || !m->columnWidths || !m->rowPositions) {
        Mem_free(m->rawWidths);
        Mem_free(m->columnWidths);
        Mem_free(m->rowPositions);
        Mem_free(m);
        return Res_noMemory;
    }
    m->rowCount = rows;
    m->columnCount = cols;
    m->scale = scale;
    m->defaultColumnChars = sheet->defaultColWidth;
    m->defaultRowHeight = int32_t(sheet->defaultRowHeight / 1440);
    m->lastWord = Excel_defaultXf;
    for (uint32_t c = 0; c < cols; c++)
        m->rawWidths[c] =
            c < sheet->colTableCount ? sheet->colWidths[c] : Excel_unusedColumnWidth(sheet, c);
    // Rows past the used ones (the grid's least extent, rows reaching
    // shapes) are as high as the sheet's default row.
    uint32_t defaultHeight = sheet->defaultRowHeight ? sheet->defaultRowHeight : (255u << 16);
    uint64_t sum = 0;
    for (uint32_t r = 0; r < rows; r++) {
        sum += r < sheet->rowTableCount ? sheet->rowHeights[r] : defaultHeight;
        m->rowPositions[r] = uint32_t(sum / 1440);
    }
    m->totalHeight = int32_t(rows ? m->rowPositions[rows - 1] : 0);
    // The column widths in layout units and their total.
    SheetGrid probe{};
    probe.metrics = m;
    Excel_colWidthsCompute(&probe);
    *out = m;
    return Res_ok;
}

void Excel_hideGridLines(SheetGrid *grid)
{
    if (!grid || !grid->edgeLists || !grid->metrics)
        return;
    for (uint32_t r = 0; r <= grid->metrics->rowCount; r++) {
        GridEdgeList &l = grid->edgeLists->rows[r];
        for (uint32_t i = 0; i < l.count; i++)
            if (l.segments[i].kind == Excel_gridLineStyle) {
                if (r == 0)
                    l.segments[i].colour = 1;
                else
                    l.segments[i].kind = 0;
            }
    }
    for (uint32_t c = 0; c <= grid->metrics->columnCount; c++) {
        GridEdgeList &l = grid->edgeLists->columns[c];
        for (uint32_t i = 0; i < l.count; i++)
            if (l.segments[i].kind == Excel_gridLineStyle)
                l.segments[i].kind = 0;
    }
}

int Excel_sheetLayout(ExcelLoad *load, ExcelSheetEntry *entry, SheetGrid **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!load || !entry || !entry->sheet || !load->workbook)
        return Res_missingArgument;
    ExcelLoadSheet *sheet = entry->sheet;
    uint32_t contentRows = 0, contentColumns = 0;
    Excel_heldExtent(load, sheet, &contentRows, &contentColumns);
    // The least grid keeps its cells, so that a sheet of empty cells alone
    // still shows.
    Excel_trimSheet(sheet, std::max<uint32_t>(contentRows, Excel_minLayoutRows),
                    std::max<uint32_t>(contentColumns, Excel_minLayoutColumns));
    SheetMetrics *m = nullptr;
    int rc = Excel_gridCreate(load, sheet, &m);
    if (rc == Excel_errEmptySheet)
        return Res_ok;
    if (rc != Res_ok)
        return rc;
    SheetGrid *grid = static_cast<SheetGrid *>(Mem_calloc(1, sizeof(SheetGrid)));
    if (!grid) {
        Mem_free(m->rawWidths);
        Mem_free(m->columnWidths);
        Mem_free(m->rowPositions);
        Mem_free(m);
        return Res_noMemory;
    }
    if (Excel_gridLayoutCreate(m, grid) != Res_ok) {
        grid->metrics = m;
        Excel_gridLayoutFree(grid);
        return Res_noMemory;
    }
    rc = buildBorders(load, sheet, grid);
    if (rc == Res_ok && !(sheet->window2Options & 0x0002))
        Excel_hideGridLines(grid);
    load->window2Options = sheet->window2Options;
    ExcelRuleTable rules{};
    if (rc == Res_ok)
        rc = Excel_defaultRules(load, &rules);
    grid->rightToLeft = (sheet->window2Options >> 6) & 1;
    grid->displayFlags = ((sheet->window2Options & 0x0010) ? uint32_t(Excel_fmtShowZero) : 0u) |
                         (load->date1904 ? uint32_t(Excel_fmtDate1904) : 0u);
    if (rc == Res_ok)
        rc = buildFills(load, sheet, grid);
    if (rc == Res_ok)
        rc = buildCells(load, sheet, grid, &rules);
    // The rules go to the grid's format table, which destroys them.
    Excel_ruleIndexFree(&rules);
    if (rules.rules) {
        grid->formatTable->rules = rules.rules;
        grid->formatTable->count = uint16_t(std::min<uint32_t>(rules.count, 0xFFFF));
        for (uint32_t i = grid->formatTable->count; i < rules.count; i++)
            if (rules.rules[i])
                StyleRule_destroy(rules.rules[i]);
    }
    if (rc == Res_ok)
        rc = moveFormulas(sheet, grid);
    fillPalette(load->workbook, grid);
    if (rc == Res_ok) {
        ExcelBookItem *item = Excel_bookItemCreate(Excel_itemWorksheet, grid, entry->name);
        if (!item)
            rc = Res_noMemory;
        else if ((rc = Excel_bookAddItem(load->workbook, item)) != Res_ok)
            Excel_bookItemFree(item);
        else {
            grid->workbook = load->workbook;
            // The kept records go with the sheet's item to the writer.
            for (int i = 0; i < 2; i++) {
                item->records[0][i] = sheet->kept[i];
                item->records[1][i] = sheet->drawing[i];
                sheet->kept[i] = sheet->drawing[i] = nullptr;
            }
            // So does the drawing model; the sheet keeps it lent for placing.
            ExcelSheetDrawing *sd = sheet->drawingState;
            if (sd && sd->group && !sd->groupLent) {
                item->drawing = sd->group;
                sd->groupLent = 1;
            }
        }
    }
    if (rc != Res_ok) {
        Excel_gridLayoutFree(grid);
        return rc;
    }
    *out = grid;
    return Res_ok;
}

void Excel_gridDetachWorkbook(SheetGrid *grid)
{
    if (!grid)
        return;
    ExcelWorkbook *wb = grid->workbook;
    grid->workbook = nullptr;
    for (ExcelBookItem *i = wb ? wb->items : nullptr; i; i = i->next) {
        if (i->kind == Excel_itemWorksheet && i->payload == grid) {
            (void)Excel_bookRemoveItem(wb, i);
            return;
        }
    }
}

int Excel_rangeHandlerAdd(SheetGrid *grid, void (*handler)(TaggedRecord *), uint32_t firstRow,
                          uint32_t firstColumn, uint32_t lastRow, uint32_t lastColumn,
                          const void *data, uint32_t size)
{
    if (!grid)
        return Res_nullInput;
    TaggedNode *node = grid->taggedLists;
    while (node && node->tag != handler)
        node = node->next;
    bool made = false;
    if (!node) {
        node = static_cast<TaggedNode *>(Mem_calloc(1, sizeof(TaggedNode)));
        if (!node)
            return Res_noMemory;
        node->tag = handler;
        made = true;
    }
    TaggedRecord *r = static_cast<TaggedRecord *>(Mem_calloc(1, sizeof(TaggedRecord) + size));
    if (!r) {
        if (made)
            Mem_free(node);
        return Res_noMemory;
    }
    r->words[0] = intptr_t(firstRow);
    r->words[1] = intptr_t(firstColumn);
    r->words[2] = intptr_t(lastRow);
    r->words[3] = intptr_t(lastColumn);
    if (size && data)
        memcpy(r + 1, data, size);
    TaggedRecord **tail = &node->first;
    while (*tail)
        tail = &(*tail)->next;
    *tail = r;
    if (made) {
        node->next = grid->taggedLists;
        grid->taggedLists = node;
    }
    return Res_ok;
}

void Excel_noteTag(TaggedRecord *) {}

const ExcelCell *Excel_cellEntryAt(const SheetGrid *grid, uint32_t index)
{
    const SheetCellTable *t = grid ? grid->cellTable : nullptr;
    if (!t)
        return nullptr;
    const ExcelWorkbook *wb = grid->workbook;
    auto centredAcross = [wb](const ExcelCell &c) {
        return wb && c.xf < wb->xfCount && (wb->xfs[c.xf].alignment & 7) == 6;
    };
    uint32_t i = 0;
    for (uint32_t n = 0; i < t->count; n++) {
        if (n == index)
            return &t->cells[i];
        const ExcelCell &c = t->cells[i++];
        if (centredAcross(c) && c.text) {
            while (i < t->count && t->cells[i].row == c.row && t->cells[i].xf == c.xf &&
                   !t->cells[i].text)
                i++;
        }
    }
    return nullptr;
}

int Excel_Sheet_buildGrid(ExcelLoad *book, SheetGrid *grid, Edr_Node *body)
{
    // The grid record is already in the page body; what is left is to
    // register the notes of the sheet over their cells.
    if (!book || !grid || !body)
        return Res_missingArgument;
    const ExcelLoadSheet *sheet = book->layoutSheet;
    for (uint32_t i = 0; sheet && i < sheet->noteCount; i++) {
        const ExcelNote &n = sheet->notes[i];
        // The note names the sheet's drawing group, which moves to the
        // sheet's item below and lives as long as the sheet.
        ExcelNoteData data{n.objectId, n.position,
                           sheet->drawingState ? static_cast<void *>(sheet->drawingState->group)
                                               : nullptr};
        int rc = Excel_rangeHandlerAdd(grid, Excel_noteTag, n.row, n.column, n.row, n.column, &data,
                                       sizeof data);
        if (rc != Res_ok)
            return rc;
    }
    int rc = Excel_registerHyperlinks(book, grid, book->doc ? body : nullptr);
    if (rc == Res_ok && book->doc)
        rc = ExcelDraw_placeSheet(book, grid, book->doc, body);
    if (rc == Res_ok)
        ExcelDraw_keepGroup(book, grid);
    return rc;
}
