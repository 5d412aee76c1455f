// The contents of a worksheet: INDEX, ROW and DBCELL in blocks of 32 rows,
// one record per cell, formulas with their cached results, and the
// workbook's shared strings (SST with its EXTSST index).
//
// The cell store keeps a loaded number as its displayed text and its value
// in the sheet's loaded-value table, which follows the cells through edits
// and row and column inserts and deletes: a cell without an edit of its
// own is saved with that value (number, truth value, error or formula
// result).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "spreadsheet/errortext.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/xlswriter.h"
#include "spreadsheet/writer/xlswriter_internal.h"

namespace {

enum : uint32_t {
    Res_sstItemTooLarge = 17,
    Res_formulaResultKind = 12548,
    Res_formulaNoTokens = 12550,
    rowsPerBlock = 32,
};

// A loaded value of the cell store (Excel_Sheet_valueAt): its kind (an
// edit's value kind, 0 for none) and value.
struct LoadedValue {
    uint32_t kind;
    double value;
};

LoadedValue loadedValue(const SheetGrid *grid, uint32_t row, uint32_t column)
{
    LoadedValue v{0, 0.0};
    v.kind = Excel_Sheet_valueAt(grid, row, column, &v.value);
    return v;
}

// The byte of a truth value or error code held as a double.
uint32_t valueByte(double value)
{
    return std::isfinite(value) && value >= 0.0 && value <= 255.0 ? uint32_t(value) : 0u;
}

// ------------------------------------------------------------ cell records

int writeNumber(XlsWriter *w, uint32_t row, uint32_t column, uint32_t xf, double value)
{
    uint8_t body[14];
    Pack_write(body, "3s", row, column, xf);
    // RK holds a 30-bit integer exactly; the test is made on a finite
    // value within range before any conversion.
    if (std::isfinite(value) && value >= -536870912.0 && value <= 536870911.0 &&
        value == std::floor(value)) {
        int32_t i = int32_t(value);
        Pack_write(body + 6, "l", (uint32_t(i) << 2) | 2u);
        return XlsWriter_writeRecord(w, 0x027E, body, 10);
    }
    memcpy(body + 6, &value, 8);
    return XlsWriter_writeRecord(w, 0x0203, body, 14);
}

int writeInteger(XlsWriter *w, uint32_t row, uint32_t column, uint32_t xf, int32_t value)
{
    return writeNumber(w, row, column, xf, double(value));
}

int writeBoolErr(XlsWriter *w, uint32_t row, uint32_t column, uint32_t xf, uint32_t value,
                 uint32_t isError)
{
    uint8_t body[8];
    int n = Pack_write(body, "3s2c", row, column, xf, value, isError);
    return XlsWriter_writeRecord(w, 0x0205, body, size_t(n));
}

int writeBlank(XlsWriter *w, uint32_t row, uint32_t column, uint32_t xf)
{
    uint8_t body[6];
    int n = Pack_write(body, "3s", row, column, xf);
    return XlsWriter_writeRecord(w, 0x0201, body, size_t(n));
}

int writeLabel(XlsWriter *w, uint32_t row, uint32_t column, uint32_t xf, const char16_t *text)
{
    size_t n = text ? Ustr_len(text) : 0;
    if (n > 0xFFFF)
        return Res_tableFull;
    uint8_t *b = w->buffer;
    b += Pack_write(b, "4s", row, column, xf, uint32_t(n));
    int rc = XlsWriter_writeString(&b, w->buffer + XlsWriter_recordMax, text, n, 0);
    return rc == Res_ok ? XlsWriter_writeRecord(w, 0x0204, w->buffer, size_t(b - w->buffer)) : rc;
}

// A record whose body is prefix bytes, then the string body of count
// characters; when it is longer than a record, each CONTINUE record starts
// again with a flags byte.
int writeStringRecord(XlsWriter *w, uint16_t type, const uint8_t *prefix, size_t prefixLength,
                      const char16_t *chars, size_t count)
{
    int wide = 0;
    for (size_t i = 0; i < count && !wide; i++)
        wide = chars[i] > 255;
    size_t unit = wide ? 2 : 1;
    uint8_t *b = w->buffer;
    memcpy(b, prefix, prefixLength);
    size_t used = prefixLength;
    b[used++] = uint8_t(wide);
    size_t i = 0;
    uint16_t recordType = type;
    for (;;) {
        while (i < count && used + unit <= XlsWriter_recordMax) {
            b[used++] = uint8_t(chars[i]);
            if (wide)
                b[used++] = uint8_t(chars[i] >> 8);
            i++;
        }
        int rc = XlsWriter_writeRecord(w, recordType, b, used);
        if (rc != Res_ok || i == count)
            return rc;
        recordType = Xls_recContinue;
        used = 0;
        b[used++] = uint8_t(wide);
    }
}

int writeFormula(XlsWriter *w, SheetGrid *grid, const ExcelCell *cell, const SheetFormula *f,
                 const ExcelCellEdit *edit, LoadedValue loaded)
{
    if (!f->tokens || !f->length)
        return Res_formulaNoTokens;
    uint8_t result[8] = {3, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    const char16_t *text = nullptr;
    if (edit) {
        switch (edit->kind) {
        case Excel_editNone: break;
        case Excel_editBoolean:
            result[0] = 1;
            result[2] = uint8_t(edit->value.integer ? 1 : 0);
            break;
        case Excel_editInteger: {
            double d = double(edit->value.integer);
            memcpy(result, &d, 8);
            break;
        }
        case Excel_editNumber: memcpy(result, &edit->value.number, 8); break;
        case Excel_editError:
            result[0] = 2;
            result[2] = Excel_errorCode(edit->value.error);
            break;
        case Excel_editText:
            result[0] = 0;
            text = edit->value.text.text ? edit->value.text.text : u"";
            break;
        default: return Res_formulaResultKind;
        }
    } else if (loaded.kind == Excel_editBoolean || loaded.kind == Excel_editError) {
        result[0] = loaded.kind == Excel_editBoolean ? 1 : 2;
        result[2] = uint8_t(valueByte(loaded.value));
    } else if (loaded.kind == Excel_editInteger || loaded.kind == Excel_editNumber) {
        memcpy(result, &loaded.value, 8);
    } else if (cell && cell->text && cell->text[0]) {
        result[0] = 0;
        text = cell->text;
    }
    // Row, column, XF (6), the result (8), flags (2), the u32 (4) and the
    // token length (2) come before the tokens; the tokens' extra data
    // (array constants' values) follows them.
    size_t n = 22u + f->length + f->extra;
    if (n > XlsWriter_recordMax)
        return Res_tableFull;
    uint32_t xf = cell ? cell->xf : 15u;
    uint8_t *b = w->buffer;
    b += Pack_write(b, "3s", f->words[0], f->words[1], xf);
    memcpy(b, result, 8);
    b += 8;
    b += Pack_write(b, "sls", 3u, 0u, uint32_t(f->length));
    memcpy(b, f->tokens, size_t(f->length) + f->extra);
    int rc = XlsWriter_writeRecord(w, 0x0006, w->buffer, n);
    // An array formula or table is followed by its record.
    const SheetSharedFormula *shared =
        Excel_Sheet_findSharedFormula(grid, f->words[0], f->words[1]);
    if (rc == Res_ok && shared && (shared->type == 0x0221 || shared->type == 0x0236) &&
        shared->tokens)
        rc = XlsWriter_writeRecord(w, shared->type, shared->tokens, shared->length);
    if (rc == Res_ok && text) {
        size_t count = Ustr_len(text);
        if (count > 0xFFFF)
            count = 0xFFFF;
        uint8_t prefix[2];
        Pack_write(prefix, "s", uint32_t(count));
        rc = writeStringRecord(w, 0x0207, prefix, 2, text, count);
    }
    return rc;
}

int writeEditValue(XlsWriter *w, uint32_t row, uint32_t column, uint32_t xf,
                   const ExcelCellEdit *edit)
{
    switch (edit->kind) {
    case Excel_editBoolean:
        return writeBoolErr(w, row, column, xf, edit->value.integer ? 1u : 0u, 0);
    case Excel_editInteger: return writeInteger(w, row, column, xf, edit->value.integer);
    case Excel_editNumber: return writeNumber(w, row, column, xf, edit->value.number);
    case Excel_editError:
        return writeBoolErr(w, row, column, xf, Excel_errorCode(edit->value.error), 1);
    default: return writeBlank(w, row, column, xf);
    }
}

int writeCell(XlsWriter *w, SheetGrid *grid, const ExcelCell *cell)
{
    uint32_t row = cell->row, column = cell->column, xf = cell->xf;
    ExcelCellEdit *edit = Excel_editFind(grid->widthCells, nullptr, row, column);
    // The loaded value stands while the cell has no edit of its own.
    LoadedValue loaded = edit ? LoadedValue{0, 0.0} : loadedValue(grid, row, column);
    if (const SheetFormula *f = Excel_Sheet_findFormula(grid, row, column))
        return writeFormula(w, grid, cell, f, edit, loaded);
    if (edit && edit->kind != Excel_editText && edit->kind != Excel_editNone)
        return writeEditValue(w, row, column, xf, edit);
    switch (loaded.kind) {
    case Excel_editInteger:
    case Excel_editNumber: return writeNumber(w, row, column, xf, loaded.value);
    case Excel_editBoolean:
    case Excel_editError:
        return writeBoolErr(w, row, column, xf, valueByte(loaded.value),
                            loaded.kind == Excel_editError);
    default: break;
    }
    switch (cell->kind) {
    case Excel_cellSharedText: {
        // A shared string the table does not hold (the source's index lay
        // beyond it) shows as an empty cell and is saved as one.
        if (cell->sst < 0 || uint32_t(cell->sst) >= w->workbook->sstCount)
            return writeBlank(w, row, column, xf);
        uint8_t body[10];
        int n = Pack_write(body, "3sl", row, column, xf, uint32_t(cell->sst));
        return XlsWriter_writeRecord(w, 0x00FD, body, size_t(n));
    }
    case Excel_cellNoText: return writeBlank(w, row, column, xf);
    case Excel_cellOwnText: return writeLabel(w, row, column, xf, cell->text);
    default: return Res_ok;
    }
}

uint32_t heightOf(const SheetMetrics *m, uint32_t row)
{
    if (!m->rowPositions)
        return 0;
    uint32_t top = row ? m->rowPositions[row - 1] : 0;
    return XlsWriter_twips(m->rowPositions[row] - top);
}

int writeRow(XlsWriter *w, const SheetMetrics *m, uint32_t row, uint32_t height)
{
    uint8_t body[16];
    uint32_t columns = m->columnCount > 256 ? 256u : m->columnCount;
    int n = Pack_write(body, "8s", row, 0u, columns, height & 0x7FFF, 0u, 0u, 0x0140u, 0u);
    return XlsWriter_writeRecord(w, 0x0208, body, size_t(n));
}

// The cells of the store in row order: the index of the first cell at or
// after row.
uint32_t firstCellOfRow(const SheetCellTable *t, uint32_t row)
{
    uint32_t lo = 0, hi = t->count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (t->cells[mid].row < row)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

uint32_t XlsWriter_twips(uint32_t units)
{
    return uint32_t((uint64_t(units) * 1440 + 0x8000) >> 16);
}

int XlsWriter_reserveIndex(XlsWriter *w, XlsSheetEntry *entry)
{
    SheetGrid *grid = static_cast<SheetGrid *>(entry->model);
    uint32_t rows = grid->metrics ? grid->metrics->rowCount : 0;
    uint32_t slots = (rows >> 5) + 1;
    Mem_free(w->indexBody);
    w->indexLength = 16 + 4 * slots;
    w->indexBody = static_cast<uint8_t *>(Mem_calloc(w->indexLength, 1));
    if (!w->indexBody)
        return Res_noMemory;
    w->indexPos = XlsWriter_tell(w);
    int rc = XlsWriter_writeLongRecord(w, 0x020B, w->indexBody, w->indexLength);
    // Reserved, the first row (1, as written by others), the row count;
    // the DEFCOLWIDTH position is filled in when that record is written.
    Pack_write(w->indexBody, "3l", 0u, 1u, rows);
    w->indexSlot = w->indexBody + 16;
    return rc;
}

int XlsWriter_writeRows(XlsWriter *w, XlsSheetEntry *entry)
{
    SheetGrid *grid = static_cast<SheetGrid *>(entry->model);
    const SheetMetrics *m = grid->metrics;
    const SheetCellTable *t = grid->cellTable;
    if (!m || !t)
        return Res_ok;
    int rc = Res_ok;
    uint32_t rows = m->rowCount;
    for (uint32_t block = 0; block < rows && rc == Res_ok; block += rowsPerBlock) {
        uint32_t end = std::min(rows, block + rowsPerBlock);
        uint32_t firstRow = XlsWriter_tell(w);
        uint32_t rowRecords = 0;
        uint32_t c0 = firstCellOfRow(t, block);
        for (uint32_t r = block; r < end && rc == Res_ok; r++) {
            uint32_t height = heightOf(m, r);
            bool hasCells = c0 < t->count && t->cells[c0].row == r;
            if (hasCells || height != w->defaultRowHeight) {
                rc = writeRow(w, m, r, height);
                rowRecords++;
            }
            while (c0 < t->count && t->cells[c0].row == r)
                c0++;
        }
        uint32_t firstCell = XlsWriter_tell(w);
        (void)firstCell;
        for (uint32_t i = firstCellOfRow(t, block);
             i < t->count && t->cells[i].row < end && rc == Res_ok; i++)
            rc = writeCell(w, grid, &t->cells[i]);
        if (rc != Res_ok)
            break;
        // DBCELL: the offset back to the block's first ROW, one zero per ROW.
        uint32_t here = XlsWriter_tell(w);
        if (w->indexSlot && w->indexSlot + 4 <= w->indexBody + w->indexLength) {
            Pack_write(w->indexSlot, "l", here);
            w->indexSlot += 4;
        }
        if (4u + 2u * rowRecords > XlsWriter_recordMax) {
            rc = Res_tableFull;
            break;
        }
        uint8_t *b = w->buffer;
        b += Pack_write(b, "l", here - firstRow);
        memset(b, 0, 2u * rowRecords);
        b += 2u * rowRecords;
        rc = XlsWriter_writeRecord(w, 0x00D7, w->buffer, size_t(b - w->buffer));
    }
    // The INDEX again, completed.
    if (rc == Res_ok && w->indexBody) {
        uint32_t here = XlsWriter_tell(w);
        rc = OleWriter_streamSeek(w->stream, w->indexPos, 0);
        if (rc == Res_ok)
            rc = XlsWriter_writeLongRecord(w, 0x020B, w->indexBody, w->indexLength);
        if (rc == Res_ok)
            rc = OleWriter_streamSeek(w->stream, here, 0);
    }
    Mem_free(w->indexBody);
    w->indexBody = w->indexSlot = nullptr;
    return rc;
}

// ------------------------------------------------------------ shared strings

namespace {

// The SST being built: the record in the buffer and its type.
struct SstState {
    XlsWriter *w;
    size_t used;
    uint16_t type;
};

int flushSst(SstState *s)
{
    int rc = XlsWriter_writeRecord(s->w, s->type, s->w->buffer, s->used);
    s->type = Xls_recContinue;
    s->used = 0;
    return rc;
}

// Makes room for n bytes in the current record.
int room(SstState *s, size_t n)
{
    if (n > XlsWriter_recordMax)
        return Res_sstItemTooLarge;
    return s->used + n <= XlsWriter_recordMax ? int(Res_ok) : flushSst(s);
}

} // namespace

int XlsWriter_writeSst(XlsWriter *w)
{
    const ExcelWorkbook *wb = w->workbook;
    if (!wb->sstCount)
        return Res_ok;
    uint32_t buckets = (wb->sstCount + 7) / 8;
    size_t extLength = 2 + 8 * size_t(buckets);
    uint8_t *ext = static_cast<uint8_t *>(Mem_calloc(extLength, 1));
    if (!ext)
        return Res_noMemory;
    uint8_t *e = ext + Pack_write(ext, "s", 8u);
    SstState s{w, 0, 0x00FC};
    s.used = size_t(Pack_write(w->buffer, "2l", wb->sstCount, wb->sstCount));
    int rc = Res_ok;
    for (uint32_t i = 0; i < wb->sstCount && rc == Res_ok; i++) {
        const ExcelSstEntry &entry = wb->sst[i];
        const char16_t *text = entry.text ? entry.text : u"";
        size_t count = Ustr_len(text);
        if (count > 0xFFFF)
            count = 0xFFFF;
        uint32_t runs = entry.runCount > 0 && entry.runs ? uint32_t(entry.runCount) : 0;
        rc = room(&s, 9);
        if (rc != Res_ok)
            break;
        if (i % 8 == 0) {
            e +=
                Pack_write(e, "2l", XlsWriter_tell(w) + 4 + uint32_t(s.used), 4 + uint32_t(s.used));
        }
        int wide = 0;
        for (size_t k = 0; k < count && !wide; k++)
            wide = text[k] > 255;
        uint8_t *b = w->buffer;
        s.used += size_t(Pack_write(b + s.used, "sc", uint32_t(count),
                                    uint32_t((wide ? 1 : 0) | (runs ? 8 : 0))));
        if (runs)
            s.used += size_t(Pack_write(b + s.used, "s", runs));
        size_t unit = wide ? 2 : 1;
        for (size_t k = 0; k < count && rc == Res_ok;) {
            if (s.used + unit > XlsWriter_recordMax) {
                // The characters go on in a CONTINUE record with a new
                // flags byte.
                rc = flushSst(&s);
                b[s.used++] = uint8_t(wide);
                continue;
            }
            b[s.used++] = uint8_t(text[k]);
            if (wide)
                b[s.used++] = uint8_t(text[k] >> 8);
            k++;
        }
        for (uint32_t r = 0; r < runs && rc == Res_ok; r++) {
            rc = room(&s, 4);
            if (rc == Res_ok)
                s.used += size_t(Pack_write(b + s.used, "2s", entry.runs[r].first,
                                            uint32_t(entry.runs[r].font)));
        }
    }
    if (rc == Res_ok)
        rc = flushSst(&s);
    if (rc == Res_ok)
        rc = XlsWriter_writeLongRecord(w, 0x00FF, ext, extLength);
    Mem_free(ext);
    return rc;
}
