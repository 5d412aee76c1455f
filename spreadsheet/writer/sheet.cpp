// A worksheet's substream: the kept source records of the sheet table
// copied at their place, the records the model owns written fresh.
#include <cstring>

#include "core/result.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/hyperlink.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/xlswriter.h"
#include "spreadsheet/writer/xlswriter_internal.h"

namespace {

SheetGrid *gridOf(XlsSheetEntry *e)
{
    return static_cast<SheetGrid *>(e->model);
}

// Copies every kept source record of the sheet whose type is in types, in
// source order; with first, only the first one of each type.
int copyTypes(XlsWriter *w, XlsSheetEntry *e, const uint16_t *types, uint32_t count, bool first)
{
    uint32_t seen = 0; // bit per type already copied
    for (const RecListEntry *r = e->records[0][0]; r; r = RecList_next(r)) {
        for (uint32_t k = 0; k < count; k++) {
            if (RecList_type(r) != types[k] || (first && (seen >> k & 1)))
                continue;
            seen |= 1u << k;
            int rc = XlsWriter_copySourceRecord(w, r);
            if (rc != Res_ok)
                return rc;
        }
    }
    return Res_ok;
}

bool hasType(const XlsSheetEntry *e, uint16_t type)
{
    for (const RecListEntry *r = e->records[0][0]; r; r = RecList_next(r))
        if (RecList_type(r) == type)
            return true;
    return false;
}

int bof(XlsWriter *w, XlsSheetEntry *)
{
    return XlsWriter_writeBof(w, Xls_bofWorksheet);
}

int defaultRowHeight(XlsWriter *w, XlsSheetEntry *e)
{
    const SheetMetrics *m = gridOf(e)->metrics;
    uint32_t height = m ? XlsWriter_twips(uint32_t(m->defaultRowHeight)) : 255u;
    w->defaultRowHeight = uint16_t(height);
    uint8_t body[4];
    int n = Pack_write(body, "2s", 0u, height);
    return XlsWriter_writeRecord(w, 0x0225, body, size_t(n));
}

int defColWidth(XlsWriter *w, XlsSheetEntry *)
{
    if (w->indexBody)
        Pack_write(w->indexBody + 12, "l", XlsWriter_tell(w));
    uint8_t body[2];
    int n = Pack_write(body, "s", 8u);
    return XlsWriter_writeRecord(w, 0x0055, body, size_t(n));
}

int colInfo(XlsWriter *w, XlsSheetEntry *e)
{
    const SheetMetrics *m = gridOf(e)->metrics;
    if (!m || !m->rawWidths || !m->columnCount)
        return Res_ok;
    uint32_t columns = m->columnCount > 256 ? 256u : m->columnCount;
    for (uint32_t first = 0; first < columns;) {
        uint32_t last = first;
        while (last + 1 < columns && m->rawWidths[last + 1] == m->rawWidths[first])
            last++;
        uint8_t body[12];
        // The last run reaches the sheet's end.
        int n = Pack_write(body, "4sl", first, last + 1 == columns ? 256u : last,
                           uint32_t(m->rawWidths[first]), 15u, 0u);
        int rc = XlsWriter_writeRecord(w, 0x007D, body, size_t(n));
        if (rc != Res_ok)
            return rc;
        first = last + 1;
    }
    return Res_ok;
}

int dimensions(XlsWriter *w, XlsSheetEntry *e)
{
    const SheetMetrics *m = gridOf(e)->metrics;
    uint32_t rows = m ? m->rowCount : 0, columns = m ? m->columnCount : 0;
    uint8_t body[14];
    int n = Pack_write(body, "2l3s", 0u, rows, 0u, columns > 256 ? 256u : columns, 0u);
    return XlsWriter_writeRecord(w, 0x0200, body, size_t(n));
}

int window2(XlsWriter *w, XlsSheetEntry *e)
{
    if (hasType(e, Xls_recWindow2)) {
        static constexpr uint16_t view[] = {0x0866, 0x00B0, 0x023E, 0x00A0, 0x0041, 0x001D};
        return copyTypes(w, e, view, 6, true);
    }
    uint16_t grbit = 0x0036;
    if (gridOf(e)->rightToLeft)
        grbit |= 0x0040;
    if (e->selected)
        grbit |= 0x0200;
    return XlsWriter_writeWindow2(w, grbit);
}

int mergedCells(XlsWriter *w, XlsSheetEntry *e)
{
    const SheetCellTable *t = gridOf(e)->cellTable;
    if (!t || !t->merged || !t->mergedCount)
        return Res_ok;
    for (uint32_t done = 0; done < t->mergedCount;) {
        uint32_t n = t->mergedCount - done > 1027 ? 1027u : t->mergedCount - done;
        uint8_t *b = w->buffer;
        b += Pack_write(b, "s", n);
        for (uint32_t i = 0; i < n; i++) {
            const SheetMergedRange &r = t->merged[done + i];
            b += Pack_write(b, "4s", uint32_t(r.firstRow), uint32_t(r.lastRow),
                            uint32_t(r.firstColumn), uint32_t(r.lastColumn));
        }
        int rc = XlsWriter_writeRecord(w, 0x00E5, w->buffer, size_t(b - w->buffer));
        if (rc != Res_ok)
            return rc;
        done += n;
    }
    return Res_ok;
}

// Reads the body of the source record whose header lies at position into
// the record buffer; 17 unless the record is of the given type and holds
// at least minimum bytes.
int readSourceBody(XlsWriter *w, uint32_t position, uint16_t type, uint16_t minimum,
                   uint16_t *length)
{
    uint16_t found = 0;
    int rc = XlsWriter_readSourceHeader(w, position, &found, length);
    if (rc == Res_ok && (found != type || *length < minimum))
        rc = Res_unexpectedKind;
    size_t got = 0;
    if (rc == Res_ok)
        rc = Ole_streamReadAt(w->sourceStream, position + 4, *length, &got, w->buffer);
    if (rc == Res_ok && got != *length)
        rc = Res_unexpectedKind;
    return rc;
}

// The HLINK records of the sheet's links as they now lie: each record
// re-read from the source with its range (and its tooltip's) replaced by
// the link's current range, the CONTINUE records that follow it copied; a
// link whose cells were deleted is left out with its records.
int hyperlinks(XlsWriter *w, XlsSheetEntry *e)
{
    for (const TaggedNode *n = gridOf(e)->taggedLists; n; n = n->next) {
        if (n->tag != Excel_hyperlinkRecordTag)
            continue;
        for (const TaggedRecord *r = n->first; r; r = r->next) {
            uint32_t body = 0;
            memcpy(&body, r + 1, sizeof body);
            uint8_t range[8];
            Pack_write(range, "4s", uint32_t(r->words[0]), uint32_t(r->words[2]),
                       uint32_t(r->words[1]), uint32_t(r->words[3]));
            uint16_t length = 0;
            int rc = body >= 4 ? readSourceBody(w, body - 4, 0x01B8, 8, &length)
                               : int(Res_unexpectedKind);
            if (rc == Res_ok) {
                memcpy(w->buffer, range, 8);
                rc = XlsWriter_writeRecord(w, 0x01B8, w->buffer, length);
            }
            uint32_t at = body + length;
            while (rc == Res_ok) {
                uint16_t type = 0, size = 0;
                if (XlsWriter_readSourceHeader(w, at, &type, &size) != Res_ok)
                    break;
                if (type == Xls_recContinue) {
                    rc = XlsWriter_copyBytes(w, at, 4u + size);
                } else if (type == 0x0800 && size >= 10) {
                    // The tooltip names the link's range after its type.
                    rc = readSourceBody(w, at, 0x0800, 10, &size);
                    if (rc == Res_ok) {
                        memcpy(w->buffer + 2, range, 8);
                        rc = XlsWriter_writeRecord(w, 0x0800, w->buffer, size);
                    }
                } else {
                    break;
                }
                at += 4u + size;
            }
            if (rc != Res_ok)
                return rc;
        }
    }
    return Res_ok;
}

int eof(XlsWriter *w, XlsSheetEntry *)
{
    return XlsWriter_writeRecord(w, Xls_recEof, nullptr, 0);
}

int drawing(XlsWriter *w, XlsSheetEntry *e)
{
    return XlsWriter_writeDrawing(w, e);
}

typedef int (*SheetHandler)(XlsWriter *w, XlsSheetEntry *e);

// A row of the sheet table: a handler, or the kept records of a group of
// types to copy (all of them, or the first of each type).
struct SheetRow {
    SheetHandler handler;
    uint16_t types[13];
    uint8_t count;
    bool firstOnly;
};

constexpr SheetRow sheetTable[] = {
    {bof, {}, 0, false},
    {nullptr, {0x005E}, 1, true},
    {XlsWriter_reserveIndex, {}, 0, false},
    {nullptr, {0x000C, 0x000D, 0x000F, 0x0010, 0x0011}, 5, false},
    {nullptr, {0x002A}, 1, true},
    {nullptr, {0x002B}, 1, true},
    {nullptr, {0x0082}, 1, true},
    {nullptr, {0x0080}, 1, true},
    {defaultRowHeight, {}, 0, false},
    {nullptr, {0x0081}, 1, true},
    {nullptr,
     {0x001B, 0x001A, 0x0014, 0x0015, 0x0083, 0x0084, 0x0026, 0x0027, 0x0028, 0x0029, 0x004D,
      0x00A1, 0x00E9},
     13,
     false},
    // The sheet's protection follows its page setup.
    {nullptr, {0x0012, 0x00DD, 0x0063, 0x0013, 0x0019}, 5, true},
    {defColWidth, {}, 0, false},
    {colInfo, {}, 0, false},
    {nullptr, {0x0090}, 1, true},
    {nullptr, {0x009D}, 1, true},
    {dimensions, {}, 0, false},
    {XlsWriter_writeRows, {}, 0, false},
    {drawing, {}, 0, false},
    {window2, {}, 0, false},
    {nullptr, {0x0099}, 1, true},
    {mergedCells, {}, 0, false},
    {nullptr, {0x00EF}, 1, true},
    {nullptr, {0x01BA}, 1, true},
    {nullptr, {0x01B0, 0x01B1}, 2, false},
    {hyperlinks, {}, 0, false},
    {nullptr, {0x01B2, 0x01BE}, 2, false},
    {nullptr, {0x0867}, 1, true},
    {eof, {}, 0, false},
};

// A worksheet without source records.
constexpr SheetHandler freshSheet[] = {
    bof,        XlsWriter_reserveIndex, defaultRowHeight, defColWidth, colInfo,
    dimensions, XlsWriter_writeRows,    window2,          mergedCells, drawing,
    eof};

} // namespace

int XlsWriter_writeSheet(XlsWriter *w, XlsSheetEntry *e)
{
    if (!w || !e || !e->model)
        return Res_missingArgument;
    w->defaultRowHeight = 255;
    int rc = Res_ok;
    if (!e->records[0][0] || !w->sourceStream) {
        for (SheetHandler h : freshSheet)
            if (rc == Res_ok)
                rc = h(w, e);
        return rc;
    }
    for (const SheetRow &row : sheetTable) {
        rc = row.handler ? row.handler(w, e) : copyTypes(w, e, row.types, row.count, row.firstOnly);
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

int XlsWriter_copySheet(XlsWriter *w, XlsSheetEntry *e)
{
    if (!w || !e)
        return Res_missingArgument;
    uint32_t at = e->copiedFrom;
    uint16_t type = 0, length = 0;
    if (XlsWriter_readSourceHeader(w, at, &type, &length) != Res_ok || type != Xls_recBof) {
        int rc = XlsWriter_writeBof(w, Xls_bofWorksheet);
        uint8_t body[14] = {};
        if (rc == Res_ok)
            rc = XlsWriter_writeRecord(w, 0x0200, body, sizeof(body));
        if (rc == Res_ok)
            rc = XlsWriter_writeWindow2(w, 0x0036);
        return rc == Res_ok ? XlsWriter_writeRecord(w, Xls_recEof, nullptr, 0) : rc;
    }
    int rc = XlsWriter_copyBytes(w, at, 4u + length);
    at += 4u + length;
    uint32_t depth = 0;    // embedded substreams open
    uint32_t indexPos = 0; // the fresh INDEX, 0 until written
    while (rc == Res_ok) {
        if (XlsWriter_readSourceHeader(w, at, &type, &length) != Res_ok) {
            // The stream ends inside the sheet: every open substream is
            // closed.
            for (uint32_t k = 0; k <= depth && rc == Res_ok; k++)
                rc = XlsWriter_writeRecord(w, Xls_recEof, nullptr, 0);
            return rc;
        }
        uint32_t record = at;
        at += 4u + length;
        if (type == Xls_recBof) {
            depth++;
        } else if (type == Xls_recEof) {
            if (depth == 0)
                return XlsWriter_copyBytes(w, record, 4);
            depth--;
        } else if (depth == 0 && type == 0x020B) {
            // No rows, so no DBCELL slots; the DEFCOLWIDTH position follows.
            uint8_t body[16] = {};
            indexPos = XlsWriter_tell(w);
            rc = XlsWriter_writeRecord(w, 0x020B, body, sizeof(body));
            continue;
        } else if (depth == 0 && type == 0x00D7) {
            continue;
        } else if (depth == 0 && type == 0x0055 && indexPos) {
            uint32_t here = XlsWriter_tell(w);
            uint8_t pos[4];
            Pack_write(pos, "l", here);
            rc = OleWriter_streamSeek(w->stream, indexPos + 4 + 12, 0);
            if (rc == Res_ok)
                rc = OleWriter_streamWrite(w->stream, pos, 4);
            if (rc == Res_ok)
                rc = OleWriter_streamSeek(w->stream, here, 0);
        }
        if (rc == Res_ok)
            rc = XlsWriter_copyBytes(w, record, 4u + length);
    }
    return rc;
}
