// The BIFF record stream: records, strings across CONTINUE records, the
// workbook globals, the worksheet records and the load-time cell store.
#include "spreadsheet/reader/biff.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/errortext.h"
#include "office/ole2/ole.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/cellstyle.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetobj.h"

namespace {

enum : uint16_t {
    recContinue = 0x003C,
};

// Moves the stream back over a header that was read but not wanted.
int pushBack(OleStream *stream)
{
    return Ole_streamSeek(stream, uint32_t(0) - 4u, 1);
}

// A copy of n 8-bit or 16-bit characters as UTF-16 text.
char16_t *widen(const uint8_t *p, uint32_t n, int wide)
{
    char16_t *t = static_cast<char16_t *>(Mem_malloc((size_t(n) + 1) * sizeof(char16_t)));
    if (!t)
        return nullptr;
    for (uint32_t i = 0; i < n; i++)
        t[i] = wide ? char16_t(Bytes_peekU16Le(p + 2 * i)) : char16_t(p[i]);
    t[n] = 0;
    return t;
}

void sstEntryFree(ExcelSstEntry *e)
{
    Mem_free(e->text);
    Mem_free(e->runs);
    *e = ExcelSstEntry{};
}

void valueInit(ExcelCellValue *v, uint16_t xf, uint32_t kind)
{
    memset(v, 0, sizeof *v);
    v->xf = xf;
    v->kind = kind;
    v->sst = -1;
}

} // namespace

// ------------------------------------------------------------------ records

int Excel_readRecordHeader(OleStream *stream, ExcelRecordHeader *out)
{
    if (!stream || !out)
        return Res_missingArgument;
    *out = ExcelRecordHeader{};
    uint8_t b[4];
    int rc = Ole_streamReadExact(stream, b, 4);
    if (rc != Res_ok)
        return rc;
    out->type = Bytes_peekU16Le(b);
    out->length = Bytes_peekU16Le(b + 2);
    return Res_ok;
}

int Excel_parseBof(const uint8_t *body, size_t length, ExcelBof *out)
{
    if (!body || !out)
        return Res_missingArgument;
    *out = ExcelBof{};
    if (length < 4)
        return Excel_errMalformed;
    out->version = Bytes_peekU16Le(body);
    out->type = Bytes_peekU16Le(body + 2);
    if (out->version == Excel_biff5 || out->version == Excel_biff8)
        return Res_ok;
    return out->version == 0x0680 ? Excel_errBiff4 : Excel_errVersion;
}

int Excel_skipRecord(OleStream *stream, const ExcelRecordHeader *header)
{
    if (!stream || !header)
        return Res_missingArgument;
    if (header->length == 0)
        return Res_ok;
    return Ole_streamSeek(stream, header->length, 1);
}

void Excel_decodeRk(uint32_t rk, ExcelCellValue *value)
{
    if (rk & 2) {
        int32_t v = int32_t(rk) >> 2;
        if (!(rk & 1)) {
            value->kind = Excel_valInteger;
            value->value.integer = v;
        } else if (v >= 0 && v % 100 == 0) {
            value->kind = Excel_valInteger;
            value->value.integer = v / 100;
        } else {
            value->kind = Excel_valNumber;
            value->value.number = v / 100.0;
        }
        return;
    }
    uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
    double d;
    memcpy(&d, &bits, sizeof d);
    value->kind = Excel_valNumber;
    value->value.number = (rk & 1) ? d / 100.0 : d;
}

int Excel_readContinued(OleStream *stream, const ExcelRecordHeader *header, ExcelBody *out)
{
    if (!stream || !header || !out)
        return Res_missingArgument;
    *out = ExcelBody{};
    uint32_t cap = std::max<uint32_t>(header->length, 16);
    out->data = static_cast<uint8_t *>(Mem_malloc(cap));
    if (!out->data)
        return Res_noMemory;
    int rc = header->length ? Ole_streamReadExact(stream, out->data, header->length) : Res_ok;
    out->size = header->length;
    uint32_t breakCap = 0;
    while (rc == Res_ok) {
        ExcelRecordHeader next;
        if (Excel_readRecordHeader(stream, &next) != Res_ok)
            break; // the stream ends: the body is complete
        if (next.type != recContinue) {
            rc = pushBack(stream);
            break;
        }
        if (out->size + next.length > cap) {
            uint32_t want = std::max(cap * 2, out->size + next.length);
            uint8_t *d = static_cast<uint8_t *>(Mem_realloc(out->data, want));
            if (!d) {
                rc = Res_noMemory;
                break;
            }
            out->data = d;
            cap = want;
        }
        if (out->breakCount == breakCap) {
            uint32_t want = breakCap ? breakCap * 2 : 8;
            uint32_t *b =
                static_cast<uint32_t *>(Mem_realloc(out->breaks, want * sizeof(uint32_t)));
            if (!b) {
                rc = Res_noMemory;
                break;
            }
            out->breaks = b;
            breakCap = want;
        }
        out->breaks[out->breakCount++] = out->size;
        if (next.length)
            rc = Ole_streamReadExact(stream, out->data + out->size, next.length);
        out->size += next.length;
    }
    if (rc != Res_ok)
        Excel_bodyFree(out);
    return rc;
}

void Excel_bodyFree(ExcelBody *body)
{
    if (!body)
        return;
    Mem_free(body->data);
    Mem_free(body->breaks);
    *body = ExcelBody{};
}

namespace {

// Where the continued body holding pos ends (the next break, or the size).
uint32_t segmentEnd(const ExcelBody *b, uint32_t pos)
{
    const uint32_t *first = b->breaks;
    const uint32_t *end = first + b->breakCount;
    const uint32_t *it = std::upper_bound(first, end, pos);
    return it == end ? b->size : *it;
}

int isBreak(const ExcelBody *b, uint32_t pos)
{
    return std::binary_search(b->breaks, b->breaks + b->breakCount, pos) ? 1 : 0;
}

} // namespace

int Excel_readRichString(ExcelBody *body, ExcelSstEntry *out, int biff8)
{
    if (!body || !out)
        return Res_missingArgument;
    *out = ExcelSstEntry{};
    uint32_t pos = body->pos;
    uint32_t size = body->size;
    const uint8_t *d = body->data;
    if (size < pos || size - pos < (biff8 ? 3u : 2u))
        return Excel_errMalformed;
    uint32_t count = Bytes_peekU16Le(d + pos);
    pos += 2;
    uint8_t flags = biff8 ? d[pos++] : 0;
    uint32_t runCount = 0, extra = 0;
    if (flags & 8) {
        if (size - pos < 2)
            return Excel_errMalformed;
        runCount = Bytes_peekU16Le(d + pos);
        pos += 2;
    }
    if (flags & 4) {
        if (size - pos < 4)
            return Excel_errMalformed;
        extra = Bytes_peekU32Le(d + pos) & 0xFFFF;
        pos += 4;
    }
    char16_t *text = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
    if (!text)
        return Res_noMemory;
    int wide = flags & 1;
    uint32_t got = 0;
    while (got < count) {
        if (biff8 && isBreak(body, pos)) {
            // The characters continue in a new record, which starts with
            // its own flags byte.
            if (pos >= size) {
                Mem_free(text);
                return Excel_errMalformed;
            }
            wide = d[pos++] & 1;
        }
        uint32_t end = segmentEnd(body, pos);
        uint32_t unit = wide ? 2 : 1;
        uint32_t avail = (end - pos) / unit;
        if (avail == 0) {
            Mem_free(text);
            return Excel_errMalformed;
        }
        uint32_t take = std::min(avail, count - got);
        for (uint32_t i = 0; i < take; i++)
            text[got + i] =
                wide ? char16_t(Bytes_peekU16Le(d + pos + 2 * i)) : char16_t(d[pos + i]);
        got += take;
        pos += take * unit;
    }
    text[count] = 0;
    ExcelRun *runs = nullptr;
    if (runCount) {
        if (size - pos < 4 * runCount) {
            Mem_free(text);
            return Excel_errMalformed;
        }
        runs = static_cast<ExcelRun *>(Mem_malloc(runCount * sizeof(ExcelRun)));
        if (!runs) {
            Mem_free(text);
            return Res_noMemory;
        }
        for (uint32_t i = 0; i < runCount; i++) {
            runs[i].first = Bytes_peekU16Le(d + pos + 4 * i);
            runs[i].font = Bytes_peekU16Le(d + pos + 4 * i + 2);
        }
        pos += 4 * runCount;
    }
    if (size - pos < extra) {
        Mem_free(text);
        Mem_free(runs);
        return Excel_errMalformed;
    }
    pos += extra;
    body->pos = pos;
    out->text = text;
    out->runCount = int16_t(std::min<uint32_t>(runCount, 0x7FFF));
    out->runs = runs;
    return Res_ok;
}

int Excel_readSheetName(const uint8_t *bytes, size_t *length, char16_t **name, uint32_t version)
{
    if (name)
        *name = nullptr;
    if (!bytes || !length || !name)
        return Res_missingArgument;
    size_t have = *length;
    size_t at = version == Excel_biff8 ? 2 : 1;
    if (have < at)
        return Excel_errMalformed;
    uint32_t n = bytes[0];
    int wide = version == Excel_biff8 ? bytes[1] & 1 : 0;
    if (have - at < size_t(n) << wide)
        return Excel_errMalformed;
    *name = widen(bytes + at, n, wide);
    if (!*name)
        return Res_noMemory;
    *length = at + (size_t(n) << wide);
    return Res_ok;
}

int Excel_parseBoundSheet(const uint8_t *body, size_t length, ExcelSheetEntry **out,
                          uint32_t version)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!body)
        return Res_missingArgument;
    if (length < 8)
        return Excel_errMalformed;
    size_t n = length - 6;
    char16_t *name = nullptr;
    int rc = Excel_readSheetName(body + 6, &n, &name, version);
    if (rc != Res_ok)
        return rc;
    ExcelSheetEntry *e = static_cast<ExcelSheetEntry *>(Mem_calloc(1, sizeof(ExcelSheetEntry)));
    if (!e) {
        Mem_free(name);
        return Res_noMemory;
    }
    e->name = name;
    e->position = Bytes_peekU32Le(body);
    e->visibility = body[4] & 3;
    e->type = body[5];
    *out = e;
    return Res_ok;
}

// ---------------------------------------------------------- load-time store

ExcelLoadSheet *Excel_loadSheetCreate()
{
    ExcelLoadSheet *s = static_cast<ExcelLoadSheet *>(Mem_calloc(1, sizeof(ExcelLoadSheet)));
    if (!s)
        return nullptr;
    s->margins[0] = s->margins[1] = 0.2;
    s->margins[2] = s->margins[3] = 0.3;
    s->extent[0] = -1;
    s->extent[1] = 0;
    s->extent[2] = 0xFFFF;
    s->extent[3] = 0;
    s->defaultRowHeight = 255u << 16;
    s->defaultColWidth = 8;
    // Without a WINDOW2 record the sheet shows grid lines, headings and
    // zero values.
    s->window2Options = 0x00B6;
    s->rows = static_cast<ExcelRow **>(Mem_malloc(256 * sizeof(ExcelRow *)));
    if (!s->rows) {
        Mem_free(s);
        return nullptr;
    }
    s->rowCapacity = 256;
    return s;
}

void Excel_cellValueFree(ExcelCellValue *value)
{
    if (!value)
        return;
    if (value->kind == Excel_valString && value->sst < 0)
        sstEntryFree(&value->value.text);
    uint16_t xf = value->xf;
    uint8_t formula = value->formula;
    valueInit(value, xf, Excel_valBlank);
    value->formula = formula;
}

namespace {

void rowFree(ExcelRow *row)
{
    if (!row)
        return;
    for (uint32_t i = 0; i < row->slots; i++)
        Excel_cellValueFree(&row->cells[i]);
    Mem_free(row->cells);
    Mem_free(row);
}

void straysFree(ExcelLoadSheet *sheet)
{
    while (ExcelStrayCell *c = sheet->strays) {
        sheet->strays = c->next;
        Excel_cellValueFree(&c->value);
        Mem_free(c);
    }
}

// The number of used columns of the extent (0 when nothing is used).
uint32_t extentColumns(const ExcelLoadSheet *s)
{
    return s->extent[3] > s->extent[2] ? uint32_t(s->extent[3]) : 0;
}

} // namespace

int Excel_rowGrow(ExcelLoadSheet *sheet, ExcelRow *row, uint32_t from)
{
    if (!sheet || !row)
        return Res_missingArgument;
    ExcelCellValue *c =
        static_cast<ExcelCellValue *>(Mem_realloc(row->cells, row->slots * sizeof(ExcelCellValue)));
    if (!c)
        return Res_noMemory;
    row->cells = c;
    for (uint32_t i = from; i < row->slots; i++) {
        valueInit(&c[i], Excel_colDefaultXf(sheet, i), Excel_valFiller);
        c[i].sst = 0;
    }
    return Res_ok;
}

static void growExtent(ExcelLoadSheet *s, uint32_t row, uint32_t column)
{
    if (s->extent[0] < 0 || int32_t(row) < s->extent[0])
        s->extent[0] = int32_t(row);
    if (int32_t(row) + 1 > s->extent[1])
        s->extent[1] = int32_t(row) + 1;
    if (int32_t(column) < s->extent[2])
        s->extent[2] = int32_t(column);
    if (int32_t(column) + 1 > s->extent[3])
        s->extent[3] = int32_t(column) + 1;
}

// The slot count a row gets when it must hold column: widened to the
// sheet's column count when the columns carry a format of their own.
static uint32_t wantedSlots(const ExcelLoadSheet *sheet, uint32_t column, uint32_t atLeast)
{
    uint32_t n = std::max(column + 1, atLeast);
    uint32_t cols = extentColumns(sheet);
    if (cols > n && cols < 257 && Excel_colDefaultXf(sheet, cols - 1) != Excel_defaultXf)
        n = cols;
    return n;
}

int Excel_rowPutCell(ExcelLoadSheet *sheet, ExcelRow *row, ExcelCellValue *value, uint32_t column)
{
    if (!sheet || !row || !value)
        return Res_missingArgument;
    if (column > 0xFFFE) {
        // Beyond what a slot count can hold.
        Excel_cellValueFree(value);
        return Res_nullInput;
    }
    if (column < row->slots) {
        Excel_cellValueFree(&row->cells[column]);
    } else {
        uint32_t from = row->slots;
        uint32_t n = wantedSlots(sheet, column, row->cells ? 0 : sheet->widest);
        if (n > 0xFFFF)
            n = 0xFFFF;
        uint16_t old = row->slots;
        row->slots = uint16_t(n);
        if (Excel_rowGrow(sheet, row, from) != Res_ok) {
            row->slots = old;
            Excel_cellValueFree(value);
            return Res_noMemory;
        }
        if (n > sheet->widest && n < 257)
            sheet->widest = n;
    }
    row->cells[column] = *value;
    if (column < row->first)
        row->first = uint16_t(column);
    return Res_ok;
}

uint32_t Excel_rowsIndex(ExcelRow *const *rows, uint32_t count, uint32_t row)
{
    uint32_t lo = 0, hi = count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (rows[mid]->row < row)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

namespace {

ExcelRow *rowCreate(uint32_t number, uint16_t height, uint16_t xf, uint16_t options)
{
    ExcelRow *r = static_cast<ExcelRow *>(Mem_calloc(1, sizeof(ExcelRow)));
    if (!r)
        return nullptr;
    r->row = uint16_t(number);
    r->first = 0xFFFF;
    r->height = height;
    r->xf = xf;
    r->options = options;
    return r;
}

} // namespace

ExcelRow *Excel_rowsLookup(ExcelRow **rows, uint32_t count, uint32_t row)
{
    if (!rows)
        return nullptr;
    uint32_t i = Excel_rowsIndex(rows, count, row);
    return i < count && rows[i]->row == row ? rows[i] : nullptr;
}

int Excel_rowsInsert(ExcelLoadSheet *sheet, ExcelRow **row)
{
    if (!sheet || !row || !*row)
        return Res_missingArgument;
    uint32_t i = Excel_rowsIndex(sheet->rows, sheet->rowCount, (*row)->row);
    if (i < sheet->rowCount && sheet->rows[i]->row == (*row)->row) {
        rowFree(*row);
        *row = nullptr;
        return Res_ok;
    }
    if (sheet->rowCount == sheet->rowCapacity) {
        uint32_t cap = sheet->rowCapacity ? sheet->rowCapacity * 2 : 256;
        ExcelRow **r = static_cast<ExcelRow **>(Mem_realloc(sheet->rows, cap * sizeof(ExcelRow *)));
        if (!r)
            return Res_noMemory;
        sheet->rows = r;
        sheet->rowCapacity = cap;
    }
    memmove(sheet->rows + i + 1, sheet->rows + i, (sheet->rowCount - i) * sizeof(ExcelRow *));
    sheet->rows[i] = *row;
    sheet->rowCount++;
    return Res_ok;
}

uint16_t Excel_colDefaultXf(const ExcelLoadSheet *sheet, uint32_t column)
{
    for (const ExcelColInfo *c = sheet ? sheet->colInfo : nullptr; c; c = c->next)
        if (column >= c->first && column <= c->last)
            return c->xf;
    return Excel_defaultXf;
}

int Excel_putCell(ExcelLoadSheet *sheet, ExcelCellValue *value, uint32_t row, uint32_t column)
{
    if (!sheet || !value)
        return Res_missingArgument;
    if (row > 0xFFFF || column > 0xFFFE) {
        Excel_cellValueFree(value);
        return Res_ok;
    }
    growExtent(sheet, row, column);
    ExcelRow *r = sheet->lastRow && sheet->lastRow->row == row
                      ? sheet->lastRow
                      : Excel_rowsLookup(sheet->rows, sheet->rowCount, row);
    if (r) {
        sheet->lastRow = r;
        return Excel_rowPutCell(sheet, r, value, column);
    }
    ExcelStrayCell *s = static_cast<ExcelStrayCell *>(Mem_malloc(sizeof(ExcelStrayCell)));
    if (!s) {
        Excel_cellValueFree(value);
        return Res_noMemory;
    }
    s->row = uint16_t(row);
    s->column = uint16_t(column);
    s->value = *value;
    s->next = sheet->strays;
    sheet->strays = s;
    return Res_ok;
}

int Excel_placeStrayCells(ExcelLoadSheet *sheet)
{
    if (!sheet)
        return Res_missingArgument;
    // The list is newest first: place oldest first so that a later value
    // for the same cell wins.
    ExcelStrayCell *rev = nullptr;
    while (ExcelStrayCell *c = sheet->strays) {
        sheet->strays = c->next;
        c->next = rev;
        rev = c;
    }
    sheet->strays = rev;
    int rc = Res_ok;
    while (ExcelStrayCell *c = sheet->strays) {
        if (rc == Res_ok) {
            ExcelRow *r = Excel_rowsLookup(sheet->rows, sheet->rowCount, c->row);
            if (!r) {
                r = rowCreate(c->row, 0x8000 | uint16_t(sheet->defaultRowHeight >> 16),
                              Excel_defaultXf, 0);
                rc = r ? Excel_rowsInsert(sheet, &r) : Res_noMemory;
                if (rc != Res_ok)
                    rowFree(r);
            }
            if (rc == Res_ok) {
                sheet->strays = c->next;
                rc = Excel_rowPutCell(sheet, r, &c->value, c->column);
                Mem_free(c);
                continue;
            }
        }
        sheet->strays = c->next;
        Excel_cellValueFree(&c->value);
        Mem_free(c);
    }
    sheet->lastRow = nullptr;
    return rc;
}

int Excel_finishSheet(ExcelLoadSheet *sheet)
{
    if (!sheet)
        return Res_missingArgument;
    uint32_t rows = sheet->extent[1] > 0 ? uint32_t(sheet->extent[1]) : 0;
    uint32_t cols = extentColumns(sheet);
    if (rows == 0 || cols == 0 || sheet->rowCount == 0)
        return Res_ok;
    while (sheet->rowCount && sheet->rows[sheet->rowCount - 1]->row >= rows)
        rowFree(sheet->rows[--sheet->rowCount]);
    sheet->lastRow = nullptr;
    // A row without cells is a row of the columns' own formats; where no
    // column has one it stays without slots (a missing slot reads as a
    // default cell), so that rows of heights alone cost no cells.
    bool columnFormats = false;
    for (const ExcelColInfo *c = sheet->colInfo; c && !columnFormats; c = c->next)
        columnFormats = c->xf != Excel_defaultXf && c->first < cols;
    for (uint32_t i = 0; i < sheet->rowCount; i++) {
        ExcelRow *r = sheet->rows[i];
        if (r->slots == 0 && columnFormats) {
            r->slots = uint16_t(std::min<uint32_t>(cols, 0xFFFF));
            if (Excel_rowGrow(sheet, r, 0) != Res_ok) {
                r->slots = 0;
                return Res_noMemory;
            }
        } else if (r->slots > cols) {
            for (uint32_t c = cols; c < r->slots; c++)
                Excel_cellValueFree(&r->cells[c]);
            r->slots = uint16_t(cols);
        }
    }
    uint32_t *heights = static_cast<uint32_t *>(Mem_malloc(rows * sizeof(uint32_t)));
    uint16_t *widths = static_cast<uint16_t *>(Mem_malloc(cols * sizeof(uint16_t)));
    if (!heights || !widths) {
        Mem_free(heights);
        Mem_free(widths);
        return Res_noMemory;
    }
    for (uint32_t i = 0; i < rows; i++)
        heights[i] = sheet->defaultRowHeight;
    for (uint32_t i = 0; i < sheet->rowCount; i++) {
        const ExcelRow *r = sheet->rows[i];
        if (!(r->height & 0x8000))
            heights[r->row] = uint32_t(r->height) << 16;
    }
    for (uint32_t i = 0; i < cols; i++)
        widths[i] = uint16_t(std::min<uint32_t>(uint32_t(sheet->defaultColWidth) << 8, 0xFFFF));
    for (const ExcelColInfo *c = sheet->colInfo; c; c = c->next)
        for (uint32_t k = c->first; k <= c->last && k < cols; k++)
            widths[k] = c->width;
    Mem_free(sheet->rowHeights);
    Mem_free(sheet->colWidths);
    sheet->rowHeights = heights;
    sheet->colWidths = widths;
    sheet->rowTableCount = rows;
    sheet->colTableCount = cols;
    return Res_ok;
}

void Excel_trimSheet(ExcelLoadSheet *sheet, uint32_t rows, uint32_t columns)
{
    if (!sheet)
        return;
    while (sheet->rowCount && sheet->rows[sheet->rowCount - 1]->row >= rows)
        rowFree(sheet->rows[--sheet->rowCount]);
    sheet->lastRow = nullptr;
    for (uint32_t i = 0; i < sheet->rowCount; i++) {
        ExcelRow *r = sheet->rows[i];
        if (r->slots <= columns)
            continue;
        for (uint32_t c = columns; c < r->slots; c++)
            Excel_cellValueFree(&r->cells[c]);
        r->slots = uint16_t(columns);
        if (r->first >= columns)
            r->first = 0xFFFF;
    }
    if (sheet->extent[1] > int32_t(rows))
        sheet->extent[1] = int32_t(rows);
    if (sheet->extent[3] > int32_t(columns))
        sheet->extent[3] = int32_t(columns);
    sheet->rowTableCount = std::min(sheet->rowTableCount, rows);
    sheet->colTableCount = std::min(sheet->colTableCount, columns);
}

const ExcelCellValue *Excel_loadCellAt(const ExcelLoadSheet *sheet, uint32_t row, uint32_t column)
{
    if (!sheet)
        return nullptr;
    ExcelRow *r = Excel_rowsLookup(sheet->rows, sheet->rowCount, row);
    return r && column < r->slots ? &r->cells[column] : nullptr;
}

void Excel_sheetDataFree(ExcelLoadSheet *sheet)
{
    if (!sheet)
        return;
    Mem_free(sheet->header);
    Mem_free(sheet->footer);
    for (uint32_t i = 0; i < sheet->rowCount; i++)
        rowFree(sheet->rows[i]);
    Mem_free(sheet->rows);
    straysFree(sheet);
    while (ExcelColInfo *c = sheet->colInfo) {
        sheet->colInfo = c->next;
        Mem_free(c);
    }
    while (ExcelLoadFormula *f = sheet->formulas) {
        sheet->formulas = f->next;
        Mem_free(f->tokens);
        Mem_free(f);
    }
    while (ExcelSharedFormula *f = sheet->shared) {
        sheet->shared = f->next;
        Mem_free(f->tokens);
        Mem_free(f);
    }
    Mem_free(sheet->rowHeights);
    Mem_free(sheet->colWidths);
    Mem_free(sheet->merged);
    Mem_free(sheet->notes);
    Excel_sheetKeptFree(sheet);
    Mem_free(sheet);
}
