// Chart substreams of the BIFF8 writer (see chartwrite.h).
#include "spreadsheet/writer/chartwrite.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/number.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "office/pack/pack.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/xlswriter.h"

namespace {

enum : uint16_t {
    recDimensions = 0x0200,
    recBlank = 0x0201,
    recNumber = 0x0203,
    recLabel = 0x0204,
    recExternCount = 0x0016,
    recExternSheet = 0x0017,
    recWindow1 = 0x003D,
    recPls = 0x004D,
    recWindow2 = 0x023E,
    recBof = 0x0809,
    recEof = 0x000A,
    recSeries = 0x1003,
    recSeriesText = 0x100D,
    recBegin = 0x1033,
    recEnd = 0x1034,
    recBrai = 0x1051,
    recSiIndex = 0x1065,
};

enum : uint32_t {
    recordMax = 8224,
    bofChart = 0x0020,
    textCategories = 3, // the category data type of text categories
    window2Selected = 0x0200,
    labelMax = 255, // characters of a cached text or a series name
};

bool biff8(const XlsChart *c)
{
    return c->version >= Excel_biff8;
}

// The next record of the walk: its type, body and length; false at the end
// or when the record runs past the substream.
bool nextRecord(XlsChartWriter *cw, uint16_t *type, const uint8_t **body, uint32_t *length)
{
    if (cw->pos + 4 > cw->size)
        return false;
    uint32_t n = Bytes_peekU16Le(cw->data + cw->pos + 2);
    if (cw->pos + 4 + n > cw->size)
        return false;
    *type = Bytes_peekU16Le(cw->data + cw->pos);
    *body = cw->data + cw->pos + 4;
    *length = n;
    cw->pos += 4 + n;
    return true;
}

// Writes a record of the source as it is, or, from a BIFF5 substream,
// brought to BIFF8 first.
int copyRecord(XlsChartWriter *cw, uint16_t type, const uint8_t *body, uint32_t length)
{
    if (biff8(cw->chart))
        return XlsWriter_writeRecord(cw->writer, type, body, length);
    if (!cw->scratch && !(cw->scratch = static_cast<uint8_t *>(Mem_malloc(recordMax))))
        return Res_noMemory;
    if (length > recordMax)
        return Res_nullInput;
    memcpy(cw->scratch, body, length);
    size_t n = length;
    const ExcelWorkbook *book = cw->writer->workbook;
    int rc = Excel_Chart_convertRecord(type, cw->scratch, &n, recordMax,
                                       book ? &book->palette : nullptr, nullptr, &cw->tables);
    if (rc != Res_ok)
        return rc;
    return XlsWriter_writeRecord(cw->writer, type, cw->scratch, uint32_t(n));
}

// True when the reference's formula is a worksheet reference (a 3-D
// reference or area of any class); *deleted when its sheet is gone.
bool worksheetRef(const XlsChartRef *ref, bool *deleted)
{
    *deleted = false;
    if (ref->type != 2 || !ref->tokens || ref->length == 0)
        return false;
    uint8_t id = ref->tokens[0];
    if (id >= 0x20)
        id = uint8_t((id & 0x1F) | 0x20);
    if (id == 0x3C || id == 0x3D) {
        *deleted = true;
        return true;
    }
    return id == 0x3A || id == 0x3B;
}

// A cell value as the caches write it.
struct CacheValue {
    uint32_t kind; // 0 nothing (BLANK), 1 number, 2 text
    double number;
    char16_t *text; // owned
    uint16_t xf;
    uint16_t format; // number format index of an edit
};

// Reads a decimal number that fills the whole text.
bool numberOf(const char16_t *text, double *out)
{
    char ascii[64];
    size_t n = 0;
    for (; text[n]; n++) {
        if (n + 1 >= sizeof ascii || text[n] > 0x7F)
            return false;
        ascii[n] = char(text[n]);
    }
    if (n == 0)
        return false;
    ascii[n] = 0;
    const char *end = nullptr;
    *out = Std_strtod(ascii, &end);
    return end == nullptr;
}

// The current value of point i of a worksheet reference's list.
int cellValue(const ExcelWorkbook *book, const Excel_RefArray *a, uint32_t i, CacheValue *v)
{
    Excel_RefCell cell;
    uint16_t sheet;
    if (a->kind == Excel_refArea) {
        if (i >= Excel_RefArray_count(a))
            return Res_ok;
        cell = Excel_RefArray_areaCell(a, i);
        sheet = a->sheet;
    } else {
        if (i >= a->count || a->items[i].kind != Excel_itemCell)
            return Res_ok;
        cell = *a->items[i].u.ref.cell;
        sheet = a->items[i].u.ref.sheet;
    }
    char16_t *name = StrTable_getName(a->names, sheet);
    if (!name)
        return Res_noMemory;
    ExcelBookItem *item = book ? Excel_bookFindByName(book->items, name) : nullptr;
    Mem_free(name);
    if (!item || item->kind != Excel_itemWorksheet || !item->payload)
        return Res_ok;
    ExcelCellEdit *edit = nullptr;
    const char16_t *text = nullptr;
    uint16_t xf = Excel_defaultXf;
    if (Excel_Sheet_getCellEdit(static_cast<SheetGrid *>(item->payload), cell.row, cell.column,
                                &edit, &text, &xf) != Res_ok)
        return Res_ok;
    v->xf = xf;
    if (edit) {
        v->format = edit->format;
        switch (edit->kind) {
        case Excel_editInteger:
            v->kind = 1;
            v->number = edit->value.integer;
            return Res_ok;
        case Excel_editNumber:
            v->kind = 1;
            v->number = edit->value.number;
            return Res_ok;
        case Excel_editText: text = edit->value.text.text; break;
        default: return Res_ok;
        }
    }
    if (!text || !text[0])
        return Res_ok;
    // A loaded cell keeps its shown text: a number shows as one.
    if (!edit && numberOf(text, &v->number)) {
        v->kind = 1;
        v->text = Ustr_dup(text);
        return v->text ? Res_ok : Res_noMemory;
    }
    v->kind = 2;
    v->text = Ustr_dup(text);
    return v->text ? Res_ok : Res_noMemory;
}

// A number as text under number format `format` of the workbook (General
// when 0 or unknown).
int formatNumber(const ExcelWorkbook *book, uint16_t format, double number, char16_t **out)
{
    Excel_FmtRequest r;
    memset(&r, 0, sizeof r);
    r.formatIndex = format;
    r.code = book && format < book->formatCount ? book->formats[format] : nullptr;
    r.kind = format && r.code ? uint32_t(Excel_fmtNumber) : uint32_t(Excel_fmtGeneral);
    r.value = &number;
    r.flags = Excel_fmtShowZero | (book && book->date1904 ? uint32_t(Excel_fmtDate1904) : 0u);
    return Excel_Fmt_formatValue(&r, out);
}

int writeBlank(XlsWriter *w, uint32_t point, uint32_t series, uint16_t xf)
{
    uint8_t b[6];
    Pack_write(b, "3s", point, series, xf);
    return XlsWriter_writeRecord(w, recBlank, b, 6);
}

int writeNumber(XlsWriter *w, uint32_t point, uint32_t series, uint16_t xf, double number)
{
    uint8_t b[14];
    Pack_write(b, "3s", point, series, xf);
    uint64_t bits;
    memcpy(&bits, &number, 8);
    Pack_write(b + 6, "ll", uint32_t(bits), uint32_t(bits >> 32));
    return XlsWriter_writeRecord(w, recNumber, b, 14);
}

int writeLabel(XlsWriter *w, uint32_t point, uint32_t series, uint16_t xf, const char16_t *text)
{
    uint32_t n = text ? uint32_t(Ustr_len(text)) : 0;
    if (n > labelMax)
        n = labelMax;
    uint8_t b[9 + 2 * labelMax];
    Pack_write(b, "4sc", point, series, xf, n, 1u);
    for (uint32_t i = 0; i < n; i++)
        Pack_write(b + 9 + 2 * i, "s", uint32_t(text[i]));
    return XlsWriter_writeRecord(w, recLabel, b, 9 + 2 * n);
}

// The cached points of one series list (which: values or categories).
int writeListCache(XlsWriter *w, const XlsChart *chart, uint32_t index, uint32_t which)
{
    const XlsChartSeries *s = chart->series[index];
    const Excel_RefArray *a = s->lists[which];
    uint32_t count = which == XlsChart_linkValues ? Excel_chartSeriesValueCount(s)
                                                  : Excel_chartSeriesCategoryCount(s);
    if (!a || count == 0)
        return Res_ok;
    const ExcelWorkbook *book = chart->workbook ? chart->workbook : w->workbook;
    bool text = which == XlsChart_linkCategories && s->categoryType == textCategories;
    bool deleted = false;
    (void)worksheetRef(&s->refs[which], &deleted);
    int rc = Res_ok;
    for (uint32_t p = 0; rc == Res_ok && p < count && p <= 0xFFFF; p++) {
        if (deleted) {
            rc = writeBlank(w, p, index, Excel_defaultXf);
            continue;
        }
        CacheValue v;
        memset(&v, 0, sizeof v);
        v.xf = Excel_defaultXf;
        if (a->kind == Excel_refArea || (p < a->count && a->items[p].kind == Excel_itemCell)) {
            rc = cellValue(book, a, p, &v);
        } else if (p < a->count) {
            // A literal list, or values not bound to cells: the stored items.
            if (a->items[p].kind == Excel_itemNumber) {
                v.kind = 1;
                v.number = a->items[p].u.number;
            } else if (a->items[p].kind == Excel_itemText) {
                v.kind = 2;
                v.text = Ustr_dup(a->items[p].u.text);
                rc = v.text ? Res_ok : Res_noMemory;
            }
        }
        if (rc == Res_ok) {
            if (text && v.kind == 1) {
                // A number among text categories shows under the
                // category reference's format, else as the cell shows it.
                uint16_t format = s->refs[which].format ? s->refs[which].format : v.format;
                if (!v.text || s->refs[which].format) {
                    Mem_free(v.text);
                    v.text = nullptr;
                    rc = formatNumber(book, format, v.number, &v.text);
                }
                if (rc == Res_ok)
                    rc = writeLabel(w, p, index, v.xf, v.text);
            } else if (text && v.kind == 2) {
                rc = writeLabel(w, p, index, v.xf, v.text);
            } else if (!text && v.kind == 1) {
                rc = writeNumber(w, p, index, v.xf, v.number);
            } else {
                rc = writeBlank(w, p, index, v.xf);
            }
        }
        Mem_free(v.text);
    }
    return rc;
}

int writeSiIndex(XlsWriter *w, uint32_t index)
{
    uint8_t b[2];
    Pack_write(b, "s", index);
    return XlsWriter_writeRecord(w, recSiIndex, b, 2);
}

// The name a series shows: the current text of the cell its name refers
// to, else the stored name (owned copy; null for none).
int seriesName(const XlsChart *chart, const XlsChartSeries *s, XlsWriter *w, char16_t **out)
{
    *out = nullptr;
    bool deleted = false;
    const Excel_RefArray *a = s->lists[XlsChart_linkName];
    if (worksheetRef(&s->refs[XlsChart_linkName], &deleted) && !deleted && a) {
        CacheValue v;
        memset(&v, 0, sizeof v);
        const ExcelWorkbook *book = chart->workbook ? chart->workbook : w->workbook;
        int rc = cellValue(book, a, 0, &v);
        if (rc == Res_ok && v.kind == 1 && !v.text)
            rc = formatNumber(book, v.format, v.number, &v.text);
        if (rc != Res_ok) {
            Mem_free(v.text);
            return rc;
        }
        *out = v.text;
        return Res_ok;
    }
    if (s->name) {
        *out = Ustr_dup(s->name);
        return *out ? Res_ok : Res_noMemory;
    }
    return Res_ok;
}

int writeSeriesText(XlsChartWriter *cw, const XlsChartSeries *s)
{
    char16_t *name = nullptr;
    int rc = seriesName(cw->chart, s, cw->writer, &name);
    if (rc != Res_ok)
        return rc;
    uint32_t n = name ? uint32_t(Ustr_len(name)) : 0;
    if (n > labelMax)
        n = labelMax;
    uint8_t b[4 + 2 * labelMax];
    Pack_write(b, "sc", 0u, n);
    uint8_t *at = b + 3;
    rc = XlsWriter_writeString(&at, b + sizeof b, name ? name : u"", n, 0);
    Mem_free(name);
    if (rc != Res_ok)
        return rc;
    return XlsWriter_writeRecord(cw->writer, recSeriesText, b, size_t(at - b));
}

int writeBrai(XlsChartWriter *cw, const XlsChartSeries *s, const uint8_t *body, uint32_t length)
{
    // Link 3 names the bubble sizes, which the model does not keep: it is
    // copied as it stands.
    if (length >= 1 && body[0] == 3)
        return copyRecord(cw, recBrai, body, length);
    if (length < 1 || body[0] > 2)
        return XlsChartWrite_errBadLink;
    const XlsChartRef *ref = &s->refs[body[0]];
    uint32_t n = ref->tokens ? ref->length : 0;
    if (8 + n > recordMax)
        return Res_nullInput;
    uint8_t b[recordMax];
    Pack_write(b, "2c3s", uint32_t(body[0]), uint32_t(ref->type), ref->formatFlag & 1u,
               uint32_t(ref->format), n);
    if (n)
        memcpy(b + 8, ref->tokens, n);
    return copyRecord(cw, recBrai, b, 8 + n);
}

// The records after a Series record: Begin, the series' records up to its
// End, SeriesText and the BRAI records of links 0-2 from the model.
int seriesBlock(XlsChartWriter *cw, const XlsChartSeries *series)
{
    if (!cw || !series)
        return Res_missingArgument;
    uint16_t type;
    const uint8_t *body;
    uint32_t length;
    if (!nextRecord(cw, &type, &body, &length) || type != recBegin)
        return XlsChartWrite_errNoBegin;
    int rc = XlsWriter_writeRecord(cw->writer, type, body, length);
    uint32_t depth = 1;
    while (rc == Res_ok && depth && nextRecord(cw, &type, &body, &length)) {
        switch (type) {
        case recBegin:
            depth++;
            rc = XlsWriter_writeRecord(cw->writer, type, body, length);
            break;
        case recEnd:
            depth--;
            rc = XlsWriter_writeRecord(cw->writer, type, body, length);
            break;
        case recSeriesText: rc = writeSeriesText(cw, series); break;
        case recBrai: rc = writeBrai(cw, series, body, length); break;
        default: rc = copyRecord(cw, type, body, length); break;
        }
    }
    return rc;
}

// The caches are written once, at the first cache record of the source.
int cachesOnce(XlsChartWriter *cw)
{
    if (cw->cachesWritten)
        return Res_ok;
    cw->cachesWritten = 1;
    return XlsWriter_writeChartCaches(cw->writer, cw->chart);
}

int writeSeries(XlsChartWriter *cw, const uint8_t *body, uint32_t length)
{
    XlsChart *c = cw->chart;
    uint32_t index = cw->series++;
    if (index >= c->seriesCount || !c->series[index]) {
        // A series the model did not keep: copied as it is.
        return copyRecord(cw, recSeries, body, length);
    }
    const XlsChartSeries *s = c->series[index];
    uint32_t valueType = length >= 4 ? Bytes_peekU16Le(body + 2) : 1;
    uint32_t categories = Excel_chartSeriesCategoryCount(s);
    uint32_t values = Excel_chartSeriesValueCount(s);
    uint8_t b[12];
    Pack_write(b, "6s", uint32_t(s->categoryType), valueType,
               categories > 0xFFFF ? 0xFFFFu : categories, values > 0xFFFF ? 0xFFFFu : values, 0u,
               0u);
    int rc = XlsWriter_writeRecord(cw->writer, recSeries, b, 12);
    if (rc == Res_ok)
        rc = seriesBlock(cw, s);
    return rc;
}

// Copies a nested chart substream whole, up to its matching EOF.
int copyNested(XlsChartWriter *cw)
{
    uint32_t depth = 1;
    uint16_t type;
    const uint8_t *body;
    uint32_t length;
    while (depth && nextRecord(cw, &type, &body, &length)) {
        if (type == recBof)
            depth++;
        else if (type == recEof)
            depth--;
        int rc = XlsWriter_writeRecord(cw->writer, type, body, length);
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

int walk8(XlsChartWriter *cw)
{
    uint16_t type;
    const uint8_t *body;
    uint32_t length;
    int rc = Res_ok;
    while (rc == Res_ok && nextRecord(cw, &type, &body, &length)) {
        switch (type) {
        case recBof:
            rc = XlsWriter_writeRecord(cw->writer, type, body, length);
            if (rc == Res_ok && length >= 4 && Bytes_peekU16Le(body + 2) == bofChart)
                rc = copyNested(cw);
            break;
        case recBlank:
        case recNumber:
        case recLabel:
        case recSiIndex: rc = cachesOnce(cw); break;
        case recSeries: rc = writeSeries(cw, body, length); break;
        default: rc = XlsWriter_writeRecord(cw->writer, type, body, length); break;
        }
    }
    return rc;
}

int walk5(XlsChartWriter *cw)
{
    uint16_t type;
    const uint8_t *body;
    uint32_t length;
    int rc = Res_ok;
    while (rc == Res_ok && nextRecord(cw, &type, &body, &length)) {
        switch (type) {
        case recExternCount:
        case recExternSheet:
        case recWindow1:
        case recPls: break;
        case recDimensions:
        case recBlank:
        case recNumber:
        case recLabel:
        case recSiIndex: // the rebuilt caches bring their own
            rc = cachesOnce(cw);
            break;
        case recWindow2: rc = XlsWriter_writeWindow2(cw->writer, window2Selected); break;
        case recSeries: rc = writeSeries(cw, body, length); break;
        default: rc = copyRecord(cw, type, body, length); break;
        }
    }
    return rc;
}

} // namespace

int XlsWriter_writeChartCaches(XlsWriter *writer, XlsChart *chart)
{
    if (!writer || !chart)
        return Res_missingArgument;
    int rc = writeSiIndex(writer, 2);
    for (uint32_t i = 0; rc == Res_ok && i < chart->seriesCount; i++)
        if (chart->series[i])
            rc = writeListCache(writer, chart, i, XlsChart_linkCategories);
    if (rc == Res_ok)
        rc = writeSiIndex(writer, 1);
    for (uint32_t i = 0; rc == Res_ok && i < chart->seriesCount; i++)
        if (chart->series[i])
            rc = writeListCache(writer, chart, i, XlsChart_linkValues);
    if (rc == Res_ok)
        rc = writeSiIndex(writer, 3);
    return rc;
}

int XlsWriter_writeChartBytes(XlsWriter *writer, XlsChart *chart, const uint8_t *data, size_t size)
{
    if (!writer || !chart)
        return Res_missingArgument;
    XlsChartWriter cw;
    memset(&cw, 0, sizeof cw);
    cw.writer = writer;
    cw.chart = chart;
    cw.data = data;
    cw.size = data ? size : 0;
    cw.tables.workbook = writer->workbook;
    int rc = biff8(chart) ? walk8(&cw) : walk5(&cw);
    // A chart whose source held no cache record still gets its caches.
    if (rc == Res_ok && !cw.cachesWritten)
        rc = cachesOnce(&cw);
    Excel_RefTables_free(&cw.tables);
    Mem_free(cw.scratch);
    return rc;
}

int XlsWriter_writeChart(XlsWriter *writer, XlsChart *chart)
{
    if (!writer || !chart)
        return Res_missingArgument;
    if (!writer->sourceStream)
        return Res_nullInput;
    uint8_t *data = chart->length ? static_cast<uint8_t *>(Mem_malloc(chart->length)) : nullptr;
    if (chart->length && !data)
        return Res_noMemory;
    size_t got = 0;
    int rc = chart->length
                 ? Ole_streamReadAt(writer->sourceStream, chart->start, chart->length, &got, data)
                 : int(Res_ok);
    if (rc == Res_ok && got != chart->length)
        rc = Res_unexpectedKind;
    if (rc == Res_ok)
        rc = XlsWriter_writeChartBytes(writer, chart, data, chart->length);
    Mem_free(data);
    return rc;
}
