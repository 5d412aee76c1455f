// Chart series references: after the workbook is loaded, the name, values
// and categories that a series takes from worksheet cells (BRAI records
// with a 3-D reference token) become cell and range references of its
// lists; after rows or columns of a sheet are inserted or deleted they are
// shifted with the sheet.
#include <cstring>

#include "core/mem/mem.h"
#include "core/stream/bytestream.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"

namespace {

// A 3-D reference as the chart uses it.
struct Ref3d {
    bool area;
    uint32_t sheetIndex; // BIFF8 EXTERNSHEET index; BIFF5 the chart's own table index
    uint32_t firstSheet; // BIFF5 itabFirst (0xFFFF: none)
    uint32_t firstRow, lastRow, firstColumn, lastColumn;
};

// Decodes the first token: ptgRef3d or ptgArea3d of any class. False for
// any other token or a token cut short.
bool decode(const uint8_t *t, uint32_t n, uint32_t version, Ref3d *out)
{
    *out = Ref3d{};
    if (n < 1)
        return false;
    uint8_t id = uint8_t(t[0] & 0x1F) | 0x20;
    if (id != 0x3A && id != 0x3B)
        return false;
    out->area = id == 0x3B;
    if (version >= Excel_biff8) {
        if (n < (out->area ? 11u : 7u))
            return false;
        out->sheetIndex = Bytes_peekU16Le(t + 1);
        out->firstSheet = 0xFFFF;
        if (out->area) {
            out->firstRow = Bytes_peekU16Le(t + 3);
            out->lastRow = Bytes_peekU16Le(t + 5);
            out->firstColumn = Bytes_peekU16Le(t + 7) & 0x3FFF;
            out->lastColumn = Bytes_peekU16Le(t + 9) & 0x3FFF;
        } else {
            out->firstRow = out->lastRow = Bytes_peekU16Le(t + 3);
            out->firstColumn = out->lastColumn = Bytes_peekU16Le(t + 5) & 0x3FFF;
        }
        return true;
    }
    if (n < (out->area ? 21u : 18u))
        return false;
    int16_t ixals = int16_t(Bytes_peekU16Le(t + 1));
    out->sheetIndex = ixals < 0 ? uint32_t(-int32_t(ixals) - 1) : 0xFFFF;
    out->firstSheet = Bytes_peekU16Le(t + 11);
    if (out->area) {
        out->firstRow = Bytes_peekU16Le(t + 15) & 0x3FFF;
        out->lastRow = Bytes_peekU16Le(t + 17) & 0x3FFF;
        out->firstColumn = t[19];
        out->lastColumn = t[20];
    } else {
        out->firstRow = out->lastRow = Bytes_peekU16Le(t + 15) & 0x3FFF;
        out->firstColumn = out->lastColumn = t[17];
    }
    return true;
}

const ExcelSheetEntry *entryAt(const ExcelLoad *load, uint32_t index)
{
    const ExcelSheetEntry *e = load->sheets;
    for (uint32_t i = 0; e && i < index; i++)
        e = e->next;
    return e;
}

const ExcelLoadSheet *loadSheetNamed(const ExcelLoad *load, const char16_t *name)
{
    for (const ExcelSheetEntry *e = load->sheets; e && name; e = e->next)
        if (e->name && Ustr_cmp(e->name, name) == 0)
            return e->sheet;
    return nullptr;
}

// Resolves one list of a series.
int resolveList(ExcelLoad *load, XlsChart *chart, XlsChartSeries *s, uint32_t which)
{
    const XlsChartRef &ref = s->refs[which];
    if (ref.type != 2 || !ref.tokens || !ref.length)
        return Res_ok;
    Ref3d r;
    if (!decode(ref.tokens, ref.length, chart->version, &r))
        return Res_ok;
    const char16_t *sheet = Excel_chartSheetByIndex(load, chart, r.sheetIndex, r.firstSheet);
    if (!sheet)
        return Res_ok;
    uint32_t entries = 1;
    if (which != XlsChart_linkName) {
        entries = s->lists[which] ? Excel_RefArray_count(s->lists[which]) : 0;
        uint32_t declared = s->declared[which == XlsChart_linkValues ? 1 : 0];
        if (declared > entries)
            entries = declared;
    }
    if (!s->lists[which]) {
        s->lists[which] = Excel_RefArray_create(r.area ? 0 : 1);
        if (!s->lists[which])
            return Res_noMemory;
    }
    Excel_RefArray *a = s->lists[which];
    if (!r.area) {
        if (a->kind != Excel_refList)
            return Res_noMemory;
        if (a->count == 0) {
            Excel_RefArray *n = Excel_RefArray_create(1);
            if (!n)
                return Res_noMemory;
            Excel_RefArray_free(a);
            s->lists[which] = a = n;
        }
        return Excel_RefArray_setCell(sheet, r.firstRow, r.firstColumn, a, 0);
    }
    if (r.lastRow < r.firstRow)
        r.lastRow = r.firstRow;
    if (r.lastColumn < r.firstColumn)
        r.lastColumn = r.firstColumn;
    // Texts (categories, names) take one row, or the first column.
    bool numbers =
        which == XlsChart_linkValues || (which == XlsChart_linkCategories && s->categoryType != 3);
    if (!numbers) {
        if (r.lastRow <= r.firstRow)
            r.lastRow = r.firstRow;
        else
            r.lastColumn = r.firstColumn;
    }
    if (entries) {
        if (r.lastRow - r.firstRow + 1 > entries)
            r.lastRow = r.firstRow + entries - 1;
        if (r.lastColumn - r.firstColumn + 1 > entries)
            r.lastColumn = r.firstColumn + entries - 1;
    }
    if (which == XlsChart_linkValues) {
        uint32_t flag = 0;
        s->numberFormat =
            Excel_chartSeriesFormat(load, chart, ref.length, ref.tokens, &flag, ref.format);
    }
    return Excel_RefArray_setArea(sheet, r.firstRow, r.firstColumn, r.lastRow, r.lastColumn, a);
}

} // namespace

const char16_t *Excel_chartSheetByIndex(ExcelLoad *load, const XlsChart *chart, uint32_t index,
                                        uint32_t firstSheet)
{
    if (!load || !chart)
        return nullptr;
    if (chart->version >= Excel_biff8) {
        const ExcelWorkbook *wb = load->workbook;
        if (index == 0xFFFF || !wb || index >= wb->externSheetCount)
            return nullptr;
        const ExcelExternEntry &e = wb->externSheets[index];
        if (e.book >= wb->supBookCount || wb->supBooks[e.book].length != 4)
            return nullptr;
        const ExcelSheetEntry *s = entryAt(load, e.first);
        return s ? s->name : nullptr;
    }
    if (index < chart->externCount) {
        const XlsChartExtern &e = chart->externs[index];
        if (e.kind == 1 && e.name)
            return e.name;
        if (e.kind != 2)
            return nullptr;
    }
    const ExcelSheetEntry *s = firstSheet != 0xFFFF ? entryAt(load, firstSheet) : nullptr;
    return s ? s->name : nullptr;
}

uint32_t Excel_chartSeriesFormat(ExcelLoad *load, const XlsChart *chart, uint32_t length,
                                 const uint8_t *formula, uint32_t *flag, uint32_t format)
{
    if (flag)
        *flag = 0;
    if (!load || !load->workbook)
        return 0;
    const ExcelWorkbook *wb = load->workbook;
    Ref3d r;
    if (formula && decode(formula, length, chart->version, &r) && r.area) {
        const ExcelLoadSheet *sheet =
            loadSheetNamed(load, Excel_chartSheetByIndex(load, chart, r.sheetIndex, r.firstSheet));
        const ExcelCellValue *v =
            sheet ? Excel_loadCellAt(sheet, r.firstRow, r.firstColumn) : nullptr;
        if (v && v->xf < wb->xfCount) {
            if (flag)
                *flag = 1;
            return wb->xfs[v->xf].formatIndex;
        }
    }
    for (uint32_t i = 0; i < wb->xfCount; i++) {
        if (wb->xfs[i].formatIndex == format) {
            if (flag)
                *flag = 1;
            return format;
        }
    }
    return 0;
}

int Excel_resolveChartRefsOf(ExcelLoad *load, XlsChart *chart)
{
    if (!load || !chart)
        return Res_missingArgument;
    for (uint32_t i = 0; i < chart->seriesCount; i++) {
        XlsChartSeries *s = chart->series[i];
        for (uint32_t which = 0; which < 3; which++) {
            int rc = resolveList(load, chart, s, which);
            if (rc != Res_ok)
                return rc;
        }
    }
    return Res_ok;
}

int Excel_resolveChartRefs(ExcelLoad *load)
{
    if (!load || !load->workbook)
        return Res_mapNotFound;
    ExcelBookItem **items = nullptr;
    uint32_t count = 0;
    int rc = Excel_bookCharts(load->workbook, &items, &count);
    if (rc != Res_ok)
        return rc == Res_noMemory ? rc : Res_mapNotFound;
    for (uint32_t i = 0; i < count && rc == Res_ok; i++)
        rc = Excel_resolveChartRefsOf(load, static_cast<XlsChart *>(items[i]->payload));
    Mem_free(items);
    return rc;
}

// ------------------------------------------------------------ shifting

namespace {

// Shifts one coordinate for a change; false when it was deleted.
bool shiftOne(uint32_t *v, bool insert, uint32_t at, uint32_t count, uint32_t limit)
{
    if (*v < at)
        return true;
    if (insert) {
        *v = *v + count > limit ? limit : *v + count;
        return true;
    }
    if (*v < at + count)
        return false;
    *v -= count;
    return true;
}

// Shifts a BIFF8 3-D token of the named sheet in place.
void shiftTokens(XlsChartRef *ref, uint32_t change, const uint16_t *indices, uint32_t n,
                 uint32_t at, uint32_t count)
{
    if (!ref->tokens || ref->length < 7)
        return;
    uint8_t *t = ref->tokens;
    uint8_t id = uint8_t(t[0] & 0x1F) | 0x20;
    if (id != 0x3A && id != 0x3B)
        return;
    if (id == 0x3B && ref->length < 11)
        return;
    uint16_t ixti = Bytes_peekU16Le(t + 1);
    bool mine = false;
    for (uint32_t i = 0; i < n; i++)
        mine = mine || indices[i] == ixti;
    if (!mine)
        return;
    bool rows = change == Excel_insertRows || change == Excel_deleteRows;
    bool insert = change == Excel_insertRows || change == Excel_insertColumns;
    uint32_t limit = rows ? 65535u : 255u;
    // Offsets of the coordinates the change moves.
    uint32_t offsets[2];
    uint32_t k = 0;
    if (id == 0x3A) {
        offsets[k++] = rows ? 3 : 5;
    } else {
        offsets[k++] = rows ? 3 : 7;
        offsets[k++] = rows ? 5 : 9;
    }
    for (uint32_t i = 0; i < k; i++) {
        uint16_t word = Bytes_peekU16Le(t + offsets[i]);
        uint32_t flags = rows ? 0 : word & 0xC000u;
        uint32_t v = rows ? word : word & 0x3FFFu;
        if (!shiftOne(&v, insert, at, count, limit))
            v = at > 0 && i == 1 ? at - 1 : at;
        Bytes_putU16Le(t + offsets[i], flags | v);
    }
}

} // namespace

int Excel_Chart_adjustRefs(XlsChart *chart, uint32_t change, const char16_t *sheetName,
                           const uint16_t *externIndices, uint32_t externCount, uint32_t at,
                           uint32_t count)
{
    if (!chart || !sheetName)
        return Res_missingArgument;
    for (uint32_t i = 0; i < chart->seriesCount; i++) {
        XlsChartSeries *s = chart->series[i];
        for (uint32_t which = 0; which < 3; which++) {
            if (s->lists[which]) {
                int alive = 1;
                int rc =
                    Excel_RefArray_adjust(s->lists[which], change, sheetName, at, count, &alive);
                if (rc != Res_ok)
                    return rc;
            }
            if (chart->version >= Excel_biff8 && externIndices)
                shiftTokens(&s->refs[which], change, externIndices, externCount, at, count);
        }
    }
    return Res_ok;
}
