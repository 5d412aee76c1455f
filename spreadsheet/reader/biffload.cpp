// The substream walk of a workbook stream: the globals, then each
// worksheet's records into its load-time store.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "spreadsheet/errortext.h"
#include "office/ole2/ole.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/cellstyle.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/exceldraw.h"
#include "spreadsheet/reader/formularec.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/writer/xlswriter.h"

namespace {

enum : uint16_t {
    recFormula = 0x0006,
    recEof = 0x000A,
    recHeader = 0x0014,
    recFooter = 0x0015,
    recExternSheet = 0x0017,
    recNote = 0x001C,
    recDateMode = 0x0022,
    recLeftMargin = 0x0026,
    recBottomMargin = 0x0029,
    recFilePass = 0x002F,
    recFont = 0x0031,
    recDefColWidth = 0x0055,
    recObj = 0x005D,
    recTxo = 0x01B6,
    recHlink = 0x01B8,
    recDrawing = 0x00EC,
    recColInfo = 0x007D,
    recBoundSheet = 0x0085,
    recPalette = 0x0092,
    recSxView = 0x00B0,
    recMulRk = 0x00BD,
    recMulBlank = 0x00BE,
    recRString = 0x00D6,
    recXf = 0x00E0,
    recMerged = 0x00E5,
    recDrawingGroup = 0x00EB,
    recSst = 0x00FC,
    recLabelSst = 0x00FD,
    recSupBook = 0x01AE,
    recDimensions = 0x0200,
    recBlank = 0x0201,
    recNumber = 0x0203,
    recLabel = 0x0204,
    recBoolErr = 0x0205,
    recRow = 0x0208,
    recDefRowHeight = 0x0225,
    recFont2 = 0x0231,
    recWindow2 = 0x023E,
    recRk = 0x027E,
    recStyle = 0x0293,
    recFormat = 0x041E,
    recBof = 0x0809,
};

double rdDouble(const uint8_t *p)
{
    uint64_t bits = uint64_t(Bytes_peekU32Le(p)) | (uint64_t(Bytes_peekU32Le(p + 4)) << 32);
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

int readBody(ExcelLoad *load, const ExcelRecordHeader *h)
{
    if (h->length > load->bodyCapacity || !load->body) {
        uint32_t cap = std::max<uint32_t>(h->length, 256);
        uint8_t *b = static_cast<uint8_t *>(Mem_realloc(load->body, cap));
        if (!b)
            return Res_noMemory;
        load->body = b;
        load->bodyCapacity = cap;
    }
    return h->length ? Ole_streamReadExact(load->stream, load->body, h->length) : Res_ok;
}

int biff8(const ExcelLoad *load)
{
    return load->version == Excel_biff8 ? 1 : 0;
}

void cellInit(ExcelCellValue *v, uint16_t xf, uint32_t kind)
{
    memset(v, 0, sizeof *v);
    v->xf = xf;
    v->kind = kind;
    v->sst = -1;
}

// ------------------------------------------------------------------ globals

int addFont(ExcelLoad *load, ExcelFont *font)
{
    if (load->fontCount == load->fontCapacity) {
        if (load->fontCapacity >= 0x8000) {
            Mem_free(font);
            return Res_ok; // the table is full: further fonts are dropped
        }
        uint16_t cap = load->fontCapacity ? uint16_t(load->fontCapacity * 2) : 16;
        ExcelFont **f =
            static_cast<ExcelFont **>(Mem_realloc(load->fonts, cap * sizeof(ExcelFont *)));
        if (!f) {
            Mem_free(font);
            return Res_noMemory;
        }
        load->fonts = f;
        load->fontCapacity = cap;
    }
    load->fonts[load->fontCount++] = font;
    // The workbook frees the table: it is shared from the start.
    load->workbook->fonts = load->fonts;
    load->workbook->fontCount = load->fontCount;
    return Res_ok;
}

int readSst(ExcelLoad *load, const ExcelRecordHeader *h)
{
    ExcelBody body;
    int rc = Excel_readContinued(load->stream, h, &body);
    if (rc != Res_ok)
        return rc;
    if (body.size < 8) {
        Excel_bodyFree(&body);
        return Res_ok;
    }
    uint32_t unique = Bytes_peekU32Le(body.data + 4);
    // Every string takes at least 3 bytes: the count cannot ask for more
    // entries than the bodies hold.
    uint32_t room = (body.size - 8) / 3;
    uint32_t n = std::min(unique, room);
    ExcelSstEntry *entries =
        n ? static_cast<ExcelSstEntry *>(Mem_calloc(n, sizeof(ExcelSstEntry))) : nullptr;
    if (n && !entries) {
        Excel_bodyFree(&body);
        return Res_noMemory;
    }
    body.pos = 8;
    uint32_t got = 0;
    while (got < n) {
        int r = Excel_readRichString(&body, &entries[got], 1);
        if (r == Res_noMemory) {
            rc = r;
            break;
        }
        if (r != Res_ok)
            break;
        got++;
    }
    Excel_bodyFree(&body);
    if (rc != Res_ok) {
        Excel_sstFree(entries, got);
        return rc;
    }
    if (got == 0) {
        Mem_free(entries);
        entries = nullptr;
    }
    Excel_sstSet(load->workbook, entries, got);
    return Res_ok;
}

int readGlobals(ExcelLoad *load)
{
    ExcelWorkbook *wb = load->workbook;
    ExcelSheetEntry **tail = &load->sheets;
    while (*tail)
        tail = &(*tail)->next;
    for (;;) {
        ExcelRecordHeader h;
        int rc = Excel_readRecordHeader(load->stream, &h);
        if (rc != Res_ok)
            return rc;
        // A BIFF8 workbook lists every globals record for the writer.
        uint32_t bodyAt = Ole_streamTell(load->stream);
        RecListEntry *kept = nullptr;
        if (biff8(load)) {
            rc = RecList_append(&wb->recHead, &wb->recTail, RecList_appendAtEnd, h.type, h.length,
                                bodyAt, &kept);
            if (rc != Res_ok)
                return rc;
        }
        switch (h.type) {
        case recEof: return Res_ok;
        case recFilePass: return Excel_errEncrypted;
        case recSst: rc = readSst(load, &h); break;
        case recDrawingGroup:
            if (!biff8(load))
                return Excel_errDrawingGroup5;
            rc = ExcelDraw_openGroup(load, &h);
            break;
        default: {
            rc = readBody(load, &h);
            if (rc != Res_ok)
                return rc;
            const uint8_t *b = load->body;
            uint32_t n = h.length;
            switch (h.type) {
            case recDateMode:
                if (n >= 2) {
                    load->date1904 = Bytes_peekU16Le(b) == 1 ? 1 : 0;
                    load->workbook->date1904 =
                        load->date1904; // later edits format and read dates alike
                }
                break;
            case recFont:
            case recFont2: {
                ExcelFont *f = nullptr;
                rc = Excel_parseFont(b, n, &f, load->version);
                if (rc == Res_ok)
                    rc = addFont(load, f);
                else if (rc != Res_noMemory)
                    rc = Res_ok; // a font too short to read is left out
                break;
            }
            case recXf: {
                ExcelXf xf;
                int r = Excel_parseXf(b, n, &xf, load->version);
                if (r == Res_noMemory)
                    rc = r;
                else if (r == Res_ok && wb->xfCount < 0xFFFF && Excel_xfAdd(wb, &xf, 0) < 0)
                    rc = Res_noMemory;
                break;
            }
            case recFormat: {
                ExcelFormatRecord fr{};
                int r = Excel_parseFormat(b, n, &fr, load->version);
                if (r == Res_noMemory)
                    rc = r;
                else if (r == Res_ok) {
                    r = Excel_formatSet(wb, fr.index, fr.text);
                    if (r == Res_noMemory)
                        rc = r;
                }
                break;
            }
            case recPalette: Excel_Palette_readRecord(b, n, &wb->palette); break;
            case recBoundSheet: {
                ExcelSheetEntry *e = nullptr;
                int r = Excel_parseBoundSheet(b, n, &e, load->version);
                if (r == Res_noMemory)
                    return r;
                if (r != Res_ok)
                    break;
                if (e->type == 0) {
                    e->sheet = Excel_loadSheetCreate();
                    if (!e->sheet) {
                        Mem_free(e->name);
                        Mem_free(e);
                        return Res_noMemory;
                    }
                }
                *tail = e;
                tail = &e->next;
                load->sheetCount++;
                break;
            }
            case recExternSheet:
                if (biff8(load) && n >= 2) {
                    uint32_t count = std::min<uint32_t>(Bytes_peekU16Le(b), (n - 2) / 6);
                    for (uint32_t i = 0; i < count && rc == Res_ok; i++)
                        rc = Excel_bookAddExternSheet(wb, Bytes_peekU16Le(b + 2 + 6 * i),
                                                      Bytes_peekU16Le(b + 4 + 6 * i),
                                                      Bytes_peekU16Le(b + 6 + 6 * i));
                }
                break;
            case recSupBook:
                if (n >= 4)
                    rc = Excel_bookAddSupBook(wb, b, n);
                break;
            case recStyle:
                if (n >= 4 && (Bytes_peekU16Le(b) & 0x8000))
                    rc = Excel_styleAdd(wb, Bytes_peekU32Le(b));
                break;
            default: break;
            }
        }
        }
        if (rc != Res_ok)
            return rc;
        // A handler that read CONTINUE records after the body: the entry
        // says how far.
        uint32_t end = bodyAt + h.length;
        uint32_t now = Ole_streamTell(load->stream);
        if (kept && now > end) {
            rc = RecList_setExtent(kept, end, now - end);
            if (rc != Res_ok)
                return rc;
        }
    }
}

// --------------------------------------------------------------- worksheets

int putCell(ExcelLoadSheet *sheet, ExcelCellValue *v, uint32_t row, uint32_t column)
{
    return Excel_putCell(sheet, v, row, column);
}

// A string of a LABEL, HEADER, FOOTER or STRING body at offset at:
// BIFF8 with a flags byte, BIFF5 without. count16: the character count is
// 16-bit (else 8-bit, BIFF5 headers).
int readText(ExcelLoad *load, const uint8_t *b, uint32_t n, uint32_t at, int count16,
             ExcelSstEntry *out)
{
    *out = ExcelSstEntry{};
    if (biff8(load) || count16) {
        ExcelBody body{};
        body.data = const_cast<uint8_t *>(b);
        body.size = n;
        body.pos = at;
        return Excel_readRichString(&body, out, biff8(load));
    }
    if (n <= at)
        return Excel_errMalformed;
    uint32_t count = b[at];
    if (n - at - 1 < count)
        return Excel_errMalformed;
    out->text = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
    if (!out->text)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++)
        out->text[i] = b[at + 1 + i];
    out->text[count] = 0;
    return Res_ok;
}

// RSTRING: BIFF8 keeps its own string layout (count, flags, characters,
// u16 run count, 4-byte runs); BIFF5 has 8-bit characters and 2-byte runs.
int readRString(ExcelLoad *load, const uint8_t *b, uint32_t n, ExcelCellValue *v)
{
    ExcelSstEntry e{};
    if (biff8(load)) {
        if (n < 9)
            return Excel_errMalformed;
        uint32_t count = Bytes_peekU16Le(b + 6);
        int wide = b[8] & 1;
        uint32_t at = 9;
        if ((n - at) < (count << wide))
            return Excel_errMalformed;
        e.text = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
        if (!e.text)
            return Res_noMemory;
        for (uint32_t i = 0; i < count; i++)
            e.text[i] = wide ? char16_t(Bytes_peekU16Le(b + at + 2 * i)) : char16_t(b[at + i]);
        e.text[count] = 0;
        at += count << wide;
        uint32_t runs = 0;
        if (n - at >= 2) {
            runs = std::min<uint32_t>(Bytes_peekU16Le(b + at), (n - at - 2) / 4);
            at += 2;
        }
        if (runs) {
            e.runs = static_cast<ExcelRun *>(Mem_malloc(runs * sizeof(ExcelRun)));
            if (!e.runs) {
                Mem_free(e.text);
                return Res_noMemory;
            }
            for (uint32_t i = 0; i < runs; i++) {
                e.runs[i].first = Bytes_peekU16Le(b + at + 4 * i);
                e.runs[i].font = Bytes_peekU16Le(b + at + 4 * i + 2);
            }
            e.runCount = int16_t(std::min<uint32_t>(runs, 0x7FFF));
        }
    } else {
        if (n < 8)
            return Excel_errMalformed;
        uint32_t count = Bytes_peekU16Le(b + 6);
        uint32_t at = 8;
        if (n - at < count)
            return Excel_errMalformed;
        e.text = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
        if (!e.text)
            return Res_noMemory;
        for (uint32_t i = 0; i < count; i++)
            e.text[i] = b[at + i];
        e.text[count] = 0;
        at += count;
        uint32_t runs = 0;
        if (n - at >= 1) {
            runs = std::min<uint32_t>(b[at], (n - at - 1) / 2);
            at += 1;
        }
        if (runs) {
            e.runs = static_cast<ExcelRun *>(Mem_malloc(runs * sizeof(ExcelRun)));
            if (!e.runs) {
                Mem_free(e.text);
                return Res_noMemory;
            }
            for (uint32_t i = 0; i < runs; i++) {
                e.runs[i].first = b[at + 2 * i];
                e.runs[i].font = b[at + 2 * i + 1];
            }
            e.runCount = int16_t(runs);
        }
    }
    v->kind = Excel_valString;
    v->sst = -1;
    v->value.text = e;
    return Res_ok;
}

// Skips a pivot-table block: this record and every following one of the
// block's types; the first other header is pushed back.
int skipPivotBlock(ExcelLoad *load)
{
    static constexpr uint16_t kinds[] = {
        0x003C, 0x00B0, 0x00B1, 0x00B2, 0x00B4, 0x00B5, 0x00B6, 0x00C5, 0x00C6, 0x00CD, 0x00D0,
        0x00D1, 0x00D2, 0x00D5, 0x00DC, 0x00E3, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5,
        0x00F7, 0x00F8, 0x00F9, 0x00FB, 0x0100, 0x0103, 0x0122, 0x01BB, 0x0802, 0x0810, 0x0864};
    for (;;) {
        ExcelRecordHeader h;
        int rc = Excel_readRecordHeader(load->stream, &h);
        if (rc != Res_ok)
            return rc;
        const uint16_t *end = kinds + sizeof kinds / sizeof kinds[0];
        if (std::find(kinds, end, h.type) == end)
            return Ole_streamSeek(load->stream, uint32_t(0) - 4u, 1);
        rc = Excel_skipRecord(load->stream, &h);
        if (rc != Res_ok)
            return rc;
    }
}

int sheetText(ExcelLoad *load, const uint8_t *b, uint32_t n, char16_t **slot)
{
    if (*slot || n == 0)
        return Res_ok; // a later header or footer is dropped
    ExcelSstEntry e;
    int rc = readText(load, b, n, 0, 0, &e);
    if (rc == Res_noMemory)
        return rc;
    if (rc != Res_ok)
        return Res_ok;
    Mem_free(e.runs);
    *slot = e.text;
    return Res_ok;
}

// Gives the empty cells of whole-row formats within the rows the sheet
// holds their row's XF (cells already read keep theirs).
int placeRowFormats(ExcelLoad *load, ExcelLoadSheet *sheet)
{
    // The least grid's rows keep their formats, as the layout keeps them.
    uint32_t rows = 0;
    Excel_heldExtent(load, sheet, &rows, nullptr);
    rows = std::max<uint32_t>(rows, Excel_minLayoutRows);
    int rc = Res_ok;
    for (uint32_t i = 0; i < sheet->rowCount && rc == Res_ok; i++) {
        ExcelRow *row = sheet->rows[i];
        if (!row->formatColumns || row->row >= rows)
            continue;
        for (uint32_t c = 0; c < row->formatColumns && rc == Res_ok; c++) {
            if (c < row->slots && row->cells[c].kind != Excel_valFiller)
                continue;
            ExcelCellValue v;
            cellInit(&v, row->formatXf, Excel_valBlank);
            rc = putCell(sheet, &v, row->row, c);
        }
    }
    return rc;
}

int endSheet(ExcelLoad *load, ExcelLoadSheet *sheet)
{
    int rc = Excel_placeStrayCells(sheet);
    if (rc == Res_ok)
        rc = placeRowFormats(load, sheet);
    if (rc == Res_ok)
        rc = Excel_finishSheet(sheet);
    ExcelWorkbook *wb = load->workbook;
    if (rc == Res_ok)
        rc = Excel_resolveXfRefs(wb->xfs, wb->xfCount, wb->fonts, wb->fontCount, wb->formats,
                                 wb->formatCount);
    return rc;
}

} // namespace

int Excel_readSheet(ExcelLoad *load, ExcelLoadSheet *sheet)
{
    if (!load || !sheet)
        return Res_missingArgument;
    ExcelWorkbook *wb = load->workbook;
    for (;;) {
        if (load->context)
            Task_yield(load->context);
        ExcelRecordHeader h;
        int rc = Excel_readRecordHeader(load->stream, &h);
        if (rc != Res_ok)
            return rc;
        uint32_t bodyAt = Ole_streamTell(load->stream);
        if (biff8(load)) {
            rc = Excel_keepSheetRecord(sheet, &h, bodyAt);
            if (rc != Res_ok)
                return rc;
        }
        if (h.type == recSxView && biff8(load)) {
            rc = Excel_skipRecord(load->stream, &h);
            if (rc == Res_ok)
                rc = skipPivotBlock(load);
            if (rc != Res_ok)
                return rc;
            continue;
        }
        if (h.type == recFormula) {
            rc = Excel_Formula_readRecord(load, sheet, &h);
            if (rc != Res_ok)
                return rc;
            continue;
        }
        rc = readBody(load, &h);
        if (rc != Res_ok)
            return rc;
        const uint8_t *b = load->body;
        uint32_t n = h.length;
        ExcelCellValue v;
        switch (h.type) {
        case recEof:
            if (biff8(load)) {
                rc = RecList_append(&sheet->kept[0], &sheet->kept[1], RecList_appendAtEnd, h.type,
                                    h.length, bodyAt, nullptr);
                if (rc != Res_ok)
                    return rc;
            }
            return endSheet(load, sheet);
        case recNumber:
            if (n < 14)
                return Excel_errMalformed;
            cellInit(&v, Bytes_peekU16Le(b + 4), Excel_valNumber);
            v.value.number = rdDouble(b + 6);
            rc = putCell(sheet, &v, Bytes_peekU16Le(b), Bytes_peekU16Le(b + 2));
            break;
        case recRk:
            if (n < 10)
                return Excel_errMalformed;
            cellInit(&v, Bytes_peekU16Le(b + 4), Excel_valNumber);
            Excel_decodeRk(Bytes_peekU32Le(b + 6), &v);
            rc = putCell(sheet, &v, Bytes_peekU16Le(b), Bytes_peekU16Le(b + 2));
            break;
        case recBlank:
            if (n < 6)
                return Excel_errMalformed;
            cellInit(&v, Bytes_peekU16Le(b + 4), Excel_valBlank);
            rc = putCell(sheet, &v, Bytes_peekU16Le(b), Bytes_peekU16Le(b + 2));
            break;
        case recBoolErr:
            if (n < 8)
                return Excel_errMalformed;
            cellInit(&v, Bytes_peekU16Le(b + 4), Excel_valBoolean);
            if (b[7]) {
                v.kind = Excel_valError;
                v.errorCode = b[6];
                v.value.error = Excel_errorText(b[6]);
            } else {
                v.value.boolean = b[6];
            }
            rc = putCell(sheet, &v, Bytes_peekU16Le(b), Bytes_peekU16Le(b + 2));
            break;
        case recLabelSst: {
            if (n < 10)
                return Excel_errMalformed;
            uint32_t index = Bytes_peekU32Le(b + 6);
            cellInit(&v, Bytes_peekU16Le(b + 4), Excel_valBlank);
            if (index < wb->sstCount) {
                v.kind = Excel_valString;
                v.sst = int32_t(index);
                v.value.text = wb->sst[index];
            }
            rc = putCell(sheet, &v, Bytes_peekU16Le(b), Bytes_peekU16Le(b + 2));
            break;
        }
        case recLabel: {
            if (n < 6)
                return Excel_errMalformed;
            ExcelSstEntry e;
            rc = readText(load, b, n, 6, 1, &e);
            if (rc != Res_ok)
                return rc;
            uint32_t index = 0;
            int taken = 0;
            rc = Excel_sstAdd(wb, &e, &index, &taken);
            if (!taken) {
                Mem_free(e.text);
                Mem_free(e.runs);
            }
            if (rc != Res_ok)
                return rc;
            cellInit(&v, Bytes_peekU16Le(b + 4), Excel_valString);
            v.sst = int32_t(index);
            v.value.text = wb->sst[index];
            rc = putCell(sheet, &v, Bytes_peekU16Le(b), Bytes_peekU16Le(b + 2));
            break;
        }
        case recRString:
            if (n < 6)
                return Excel_errMalformed;
            cellInit(&v, Bytes_peekU16Le(b + 4), Excel_valString);
            rc = readRString(load, b, n, &v);
            if (rc != Res_ok)
                return rc;
            rc = putCell(sheet, &v, Bytes_peekU16Le(b), Bytes_peekU16Le(b + 2));
            break;
        case recMulRk:
        case recMulBlank: {
            uint32_t unit = h.type == recMulRk ? 6 : 2;
            if (n < 6)
                return Excel_errMalformed;
            uint32_t first = Bytes_peekU16Le(b + 2), last = Bytes_peekU16Le(b + n - 2);
            // The body must hold every entry from the first to the last
            // column: a record that cannot is refused, the sheet goes on.
            if (last < first || (last - first + 1) * unit > n - 6)
                break;
            uint32_t row = Bytes_peekU16Le(b);
            for (uint32_t c = first; c <= last && rc == Res_ok; c++) {
                const uint8_t *p = b + 4 + (c - first) * unit;
                cellInit(&v, Bytes_peekU16Le(p), Excel_valBlank);
                if (unit == 6)
                    Excel_decodeRk(Bytes_peekU32Le(p + 2), &v);
                rc = putCell(sheet, &v, row, c);
            }
            break;
        }
        case recRow: {
            if (n < 16)
                return Excel_errMalformed;
            uint32_t number = Bytes_peekU16Le(b);
            uint16_t options = Bytes_peekU16Le(b + 12);
            uint16_t xf = Bytes_peekU16Le(b + 14) & 0x0FFF;
            ExcelRow *r = static_cast<ExcelRow *>(Mem_calloc(1, sizeof(ExcelRow)));
            if (!r)
                return Res_noMemory;
            r->row = uint16_t(number);
            r->first = 0xFFFF;
            r->height = Bytes_peekU16Le(b + 6);
            r->xf = xf;
            r->options = options;
            rc = Excel_rowsInsert(sheet, &r);
            if (rc != Res_ok) {
                Mem_free(r);
                return rc;
            }
            if (options == 0x0180 && xf >= 16 && xf <= wb->xfCount) {
                // The row's empty cells take its format; they are made when
                // the sheet ends, so that rows of formats alone past what
                // the sheet holds cost no cells.
                ExcelRow *held = r ? r : Excel_rowsLookup(sheet->rows, sheet->rowCount, number);
                if (held) {
                    held->formatXf = xf;
                    held->formatColumns = uint16_t(
                        std::min<uint32_t>(std::max<uint32_t>(Bytes_peekU16Le(b + 4), 10), 256));
                }
            }
            break;
        }
        case recColInfo: {
            if (n < 8)
                break;
            ExcelColInfo *c = static_cast<ExcelColInfo *>(Mem_calloc(1, sizeof(ExcelColInfo)));
            if (!c)
                return Res_noMemory;
            c->first = Bytes_peekU16Le(b);
            c->last = Bytes_peekU16Le(b + 2);
            c->width = Bytes_peekU16Le(b + 4);
            c->xf = Bytes_peekU16Le(b + 6);
            ExcelColInfo **t = &sheet->colInfo;
            while (*t)
                t = &(*t)->next;
            *t = c;
            break;
        }
        case recDimensions:
        case 0x0000:
            // The declared extent is not taken on trust: a sheet may claim
            // every row and column while holding a few cells, and the cells
            // read make its extent.
            break;
        case recHeader: rc = sheetText(load, b, n, &sheet->header); break;
        case recFooter: rc = sheetText(load, b, n, &sheet->footer); break;
        case recNote:
            if (biff8(load) && n >= 8) {
                ExcelNote *notes = static_cast<ExcelNote *>(
                    Mem_realloc(sheet->notes, (sheet->noteCount + 1) * sizeof(ExcelNote)));
                if (!notes)
                    return Res_noMemory;
                sheet->notes = notes;
                ExcelNote &note = notes[sheet->noteCount++];
                note.row = Bytes_peekU16Le(b);
                note.column = Bytes_peekU16Le(b + 2);
                note.position = Ole_streamTell(load->stream) - n - 4;
                note.objectId = Bytes_peekU16Le(b + 6);
            }
            break;
        case recLeftMargin:
        case recLeftMargin + 1:
        case recLeftMargin + 2:
        case recBottomMargin:
            (void)Excel_readMargin(b, n, &sheet->margins[h.type - recLeftMargin]);
            break;
        case recDefColWidth:
            if (n >= 2)
                sheet->defaultColWidth = Bytes_peekU16Le(b);
            break;
        case recDefRowHeight:
            if (n >= 4)
                sheet->defaultRowHeight = uint32_t(Bytes_peekU16Le(b + 2)) << 16;
            break;
        case recMerged:
            if (n >= 2) {
                uint32_t count = std::min<uint32_t>(Bytes_peekU16Le(b), (n - 2) / 8);
                if (count) {
                    ExcelRange *m = static_cast<ExcelRange *>(Mem_realloc(
                        sheet->merged, (sheet->mergedCount + count) * sizeof(ExcelRange)));
                    if (!m)
                        return Res_noMemory;
                    sheet->merged = m;
                    for (uint32_t i = 0; i < count; i++) {
                        const uint8_t *p = b + 2 + 8 * i;
                        ExcelRange &r = m[sheet->mergedCount++];
                        r = {Bytes_peekU16Le(p), Bytes_peekU16Le(p + 2), Bytes_peekU16Le(p + 4),
                             Bytes_peekU16Le(p + 6)};
                        // The grid reaches a merged range as it reaches a cell
                        // (within the sheet's 256 columns).
                        if (r.firstRow <= r.lastRow && r.firstColumn <= r.lastColumn) {
                            if (sheet->extent[0] < 0 || r.firstRow < sheet->extent[0])
                                sheet->extent[0] = r.firstRow;
                            sheet->extent[1] = std::max<int32_t>(sheet->extent[1], r.lastRow + 1);
                            sheet->extent[2] = std::min<int32_t>(sheet->extent[2], r.firstColumn);
                            sheet->extent[3] = std::max<int32_t>(sheet->extent[3],
                                                                 std::min(r.lastColumn + 1, 256));
                        }
                    }
                }
            }
            break;
        case recWindow2:
            if (n >= 2)
                sheet->window2Options = Bytes_peekU16Le(b);
            if (n >= 6) {
                sheet->topRow = Bytes_peekU16Le(b + 2);
                sheet->leftColumn = Bytes_peekU16Le(b + 4);
            }
            if (n >= 10)
                sheet->gridColour = Bytes_peekU32Le(b + 6);
            break;
        case recObj: {
            int added = 0;
            rc = Excel_sheetAddObject(load, sheet, b, n, bodyAt - 4, &added);
            break;
        }
        case recTxo: {
            int attached = 0;
            rc = Excel_sheetAddText(load, sheet, b, n, bodyAt - 4, &attached);
            break;
        }
        case recHlink: rc = Excel_keepHyperlink(sheet, b, n, bodyAt); break;
        case recDrawing:
            if (biff8(load))
                rc = RecList_append(&sheet->drawing[0], &sheet->drawing[1], RecList_appendAtEnd,
                                    h.type, h.length, bodyAt, nullptr);
            if (rc == Res_ok && biff8(load)) {
                // A drawing that cannot be read leaves the sheet without
                // shapes; its cells load all the same.
                rc = ExcelDraw_readSheetDrawing(load, sheet, b, n);
                if (rc != Res_noMemory && rc != Res_stopRequested)
                    rc = Res_ok;
            }
            break;
        default: break;
        }
        if (rc != Res_ok)
            return rc;
    }
}

namespace {

int readBof(ExcelLoad *load, ExcelBof *bof, int strict, ExcelRecordHeader *header = nullptr)
{
    ExcelRecordHeader local;
    ExcelRecordHeader &h = header ? *header : local;
    int rc = Excel_readRecordHeader(load->stream, &h);
    if (rc != Res_ok)
        return rc;
    if (h.type != recBof)
        return Excel_errMalformed;
    rc = readBody(load, &h);
    if (rc != Res_ok)
        return rc;
    rc = Excel_parseBof(load->body, h.length, bof);
    if (!strict && rc != Res_ok && rc != Excel_errMalformed)
        rc = Res_ok; // a sheet is read with the globals' version
    return rc;
}

} // namespace

int Excel_readWorkbookStream(ExcelLoad *load, OleHandle *ole)
{
    if (!load || !ole)
        return Res_missingArgument;
    int rc = Ole_streamOpenByName(ole, &load->stream, 0, u"Workbook");
    if (rc == 3586)
        rc = Ole_streamOpenByName(ole, &load->stream, 0, u"Book");
    if (rc == 3586)
        return Excel_errNoStream;
    if (rc != Res_ok)
        return rc;
    if (!load->workbook) {
        rc = Excel_workbookCreate(&load->workbook);
        if (rc != Res_ok)
            return rc;
        Excel_Palette_setDefault(&load->workbook->palette);
    }
    ExcelBof bof;
    ExcelRecordHeader bofHeader{};
    rc = readBof(load, &bof, 1, &bofHeader);
    if (rc != Res_ok)
        return rc;
    if (bof.type != Excel_subGlobals)
        return Excel_errMalformed;
    load->version = bof.version;
    if (biff8(load)) {
        // The globals list starts with the BOF itself.
        rc = RecList_append(&load->workbook->recHead, &load->workbook->recTail, RecList_appendAtEnd,
                            bofHeader.type, bofHeader.length,
                            Ole_streamTell(load->stream) - bofHeader.length, nullptr);
        if (rc != Res_ok)
            return rc;
    }
    rc = Excel_addBuiltinFormats(load->context, load->workbook);
    if (rc == Res_ok)
        rc = readGlobals(load);
    if (rc == Res_ok)
        rc = Excel_fontsToRules(load);
    if (rc != Res_ok)
        return rc;
    for (ExcelSheetEntry *e = load->sheets; e; e = e->next) {
        rc = Ole_streamSeek(load->stream, e->position, 0);
        if (rc != Res_ok)
            return Excel_errMalformed;
        rc = readBof(load, &bof, 0);
        if (rc != Res_ok)
            return rc;
        if (bof.type != Excel_subWorksheet && e->sheet) {
            Excel_sheetDataFree(e->sheet);
            e->sheet = nullptr;
        }
        switch (bof.type) {
        case Excel_subWorksheet:
            if (!e->sheet) {
                e->sheet = Excel_loadSheetCreate();
                if (!e->sheet)
                    return Res_noMemory;
            }
            rc = Excel_readSheet(load, e->sheet);
            break;
        case Excel_subChart: {
            // A chart sheet has no cells: its substream is passed over here
            // and read by the chart reader when the pages are built, in the
            // sheets' order, so that its page comes after the pages of the
            // worksheets before it (and the cells-only reading needs no
            // document).
            ExcelExtent skipped;
            rc = Excel_skipSubstream(load, &skipped);
            break;
        }
        case Excel_subModule:
        case Excel_subMacro: {
            ExcelExtent *x = static_cast<ExcelExtent *>(Mem_malloc(sizeof(ExcelExtent)));
            if (!x)
                return Res_noMemory;
            rc = Excel_skipSubstream(load, x);
            ExcelBookItem *item = nullptr;
            if (rc == Res_ok)
                rc = Excel_bookAddExtent(bof.type == Excel_subModule ? Excel_itemModule
                                                                     : Excel_itemMacroSheet,
                                         load->workbook, x, e->name, &item);
            if (rc != Res_ok)
                Mem_free(x);
            break;
        }
        case Excel_subWorkspace: break;
        default: return Excel_errMalformed;
        }
        if (rc != Res_ok)
            return rc;
    }
    // A BIFF8 workbook saves back as one.
    if (biff8(load) && load->doc)
        Edr_Doc_setCallbackA(load->doc, Excel_saveWorkbook);
    return Res_ok;
}

void Excel_loadFree(ExcelLoad *load)
{
    if (!load)
        return;
    while (ExcelSheetEntry *e = load->sheets) {
        load->sheets = e->next;
        Excel_sheetDataFree(e->sheet);
        Mem_free(e->name);
        Mem_free(e);
    }
    load->sheetCount = 0;
    ExcelDraw_free(load);
    Mem_free(load->body);
    load->body = nullptr;
    load->bodyCapacity = 0;
    if (load->stream)
        (void)Ole_streamClose(&load->stream);
    Excel_rulesFree(load->fontRules, load->fontRules ? load->fontCount : 0);
    load->fontRules = nullptr;
    if (load->workbook) {
        // The font table belongs to the workbook record.
        load->fonts = nullptr;
        load->fontCount = load->fontCapacity = 0;
        Excel_workbookRelease(load->workbook);
        load->workbook = nullptr;
    } else {
        for (uint16_t i = 0; i < load->fontCount; i++)
            Mem_free(load->fonts[i]);
        Mem_free(load->fonts);
        load->fonts = nullptr;
        load->fontCount = load->fontCapacity = 0;
    }
}

uint32_t Excel_cellWidth(const ExcelLoadSheet *sheet, uint32_t row, uint32_t column)
{
    auto rawWidth = [sheet](uint32_t c) -> uint32_t {
        return sheet && c < sheet->colTableCount ? sheet->colWidths[c] : 2048u;
    };
    for (uint32_t i = 0; sheet && i < sheet->mergedCount; i++) {
        const ExcelRange &m = sheet->merged[i];
        if (row >= m.firstRow && row <= m.lastRow && column >= m.firstColumn &&
            column <= m.lastColumn) {
            uint32_t sum = 0;
            for (uint32_t c = m.firstColumn; c <= m.lastColumn; c++)
                sum += rawWidth(c);
            return sum;
        }
    }
    return rawWidth(column);
}

int Excel_cellDisplayText(const ExcelLoad *load, const ExcelLoadSheet *sheet,
                          const ExcelCellValue *value, uint32_t width, char16_t **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!load || !value || !load->workbook)
        return Res_missingArgument;
    const ExcelWorkbook *wb = load->workbook;
    Excel_FmtRequest r{};
    if (value->xf < wb->xfCount) {
        r.formatIndex = wb->xfs[value->xf].formatIndex;
        r.code = wb->xfs[value->xf].format;
        if (!r.code && r.formatIndex < wb->formatCount && wb->formats)
            r.code = wb->formats[r.formatIndex];
    }
    r.flags = load->date1904 ? uint32_t(Excel_fmtDate1904) : 0u;
    // Zero values show unless the sheet's window hides them.
    if (!sheet || (sheet->window2Options & 0x0010))
        r.flags |= Excel_fmtShowZero;
    r.width = width;
    r.context = load->context;
    switch (value->kind) {
    case Excel_valBoolean:
        r.kind = Excel_fmtBoolean;
        r.value = &value->value.boolean;
        break;
    case Excel_valInteger:
        r.kind = Excel_fmtInteger;
        r.value = &value->value.integer;
        break;
    case Excel_valNumber:
        r.kind = Excel_fmtNumber;
        r.value = &value->value.number;
        break;
    case Excel_valError:
        r.kind = Excel_fmtError;
        r.value = value->value.error ? value->value.error : "";
        break;
    case Excel_valString:
        r.kind = Excel_fmtText;
        r.value = value->value.text.text ? value->value.text.text : u"";
        break;
    default:
        r.kind = Excel_fmtEmpty;
        r.value = nullptr;
        break;
    }
    return Excel_Fmt_formatValue(&r, out);
}
