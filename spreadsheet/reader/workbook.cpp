// The workbook record: items and their reference counting, shared strings,
// formats, XFs and styles, the FONT, FORMAT and XF parsers, and the
// resolution of the XFs' font and format references.
#include "spreadsheet/reader/workbook.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "core/stream/bytestream.h"
#include "office/ole2/oleprobe.h"
#include "office/officeart/escher.h"
#include "spreadsheet/reader/excel.h"

namespace {

// Frees the workbook's own tables (not the item list).
void workbookFree(ExcelWorkbook *wb)
{
    for (uint32_t i = 0; i < wb->fontCount; i++)
        Mem_free(wb->fonts ? wb->fonts[i] : nullptr);
    Mem_free(wb->fonts);
    Excel_sstFree(wb->sst, wb->sstCount);
    Mem_free(wb->styles);
    Mem_free(wb->xfs);
    for (uint32_t i = 0; i < wb->formatCount; i++)
        Mem_free(wb->formats[i]);
    Mem_free(wb->formats);
    for (uint32_t i = 0; i < wb->supBookCount; i++)
        Mem_free(wb->supBooks[i].body);
    Mem_free(wb->supBooks);
    Mem_free(wb->externSheets);
    while (ExcelPendingText *p = wb->pending) {
        wb->pending = p->next;
        Mem_free(p->text);
        Mem_free(p);
    }
    Mem_free(wb->url);
    RecList_free(&wb->recHead, &wb->recTail);
    Ole_close(&wb->heldSource);
    Mem_free(wb);
}

// Grows an array to hold at least need elements of size bytes.
bool growArray(void **array, uint32_t *capacity, uint32_t need, size_t size)
{
    if (need <= *capacity)
        return true;
    uint32_t cap = *capacity ? *capacity : 8;
    while (cap < need)
        cap *= 2;
    void *p = Mem_realloc(*array, size_t(cap) * size);
    if (!p)
        return false;
    *array = p;
    *capacity = cap;
    return true;
}

} // namespace

// ------------------------------------------------------------------- items

int Excel_workbookCreate(ExcelWorkbook **out)
{
    if (!out)
        return Res_missingArgument;
    if (*out)
        return Res_ok;
    ExcelWorkbook *wb = static_cast<ExcelWorkbook *>(Mem_calloc(1, sizeof(ExcelWorkbook)));
    if (!wb)
        return Res_noMemory;
    memset(&wb->palette, 0xFF, sizeof wb->palette);
    wb->items = Excel_bookItemCreate(Excel_itemWorkbook, nullptr, nullptr);
    if (!wb->items) {
        Mem_free(wb);
        return Res_noMemory;
    }
    *out = wb;
    return Res_ok;
}

ExcelBookItem *Excel_bookItemCreate(uint32_t kind, void *payload, const char16_t *name)
{
    if (kind > Excel_itemMacroSheet)
        return nullptr;
    ExcelBookItem *item = static_cast<ExcelBookItem *>(Mem_calloc(1, sizeof(ExcelBookItem)));
    if (!item)
        return nullptr;
    if (name) {
        item->name = Ustr_dup(name);
        if (!item->name) {
            Mem_free(item);
            return nullptr;
        }
    }
    item->kind = kind;
    item->payload = payload;
    return item;
}

int Excel_bookAddItem(ExcelWorkbook *workbook, ExcelBookItem *item)
{
    if (!workbook || !item)
        return Res_missingArgument;
    item->next = nullptr;
    ExcelBookItem **link = &workbook->items;
    while (*link)
        link = &(*link)->next;
    *link = item;
    return Res_ok;
}

namespace {

int addPayload(ExcelWorkbook *workbook, uint32_t kind, void *payload, const char16_t *name,
               ExcelBookItem **out)
{
    if (out)
        *out = nullptr;
    if (!workbook || !payload || !out)
        return Res_missingArgument;
    ExcelBookItem *item = Excel_bookItemCreate(kind, payload, name);
    if (!item)
        return Res_noMemory;
    int rc = Excel_bookAddItem(workbook, item);
    if (rc == Res_ok)
        *out = item;
    return rc;
}

} // namespace

int Excel_bookAddSheet(ExcelWorkbook *workbook, ExcelSheet *sheet, const char16_t *name,
                       ExcelBookItem **out)
{
    return addPayload(workbook, Excel_itemWorksheet, sheet, name, out);
}

int Excel_bookAddChart(ExcelWorkbook *workbook, XlsChart *chart, const char16_t *name, int isSheet,
                       ExcelBookItem **out)
{
    return addPayload(workbook, isSheet ? Excel_itemChartSheet : Excel_itemChart, chart, name, out);
}

int Excel_bookAddExtent(uint32_t kind, ExcelWorkbook *workbook, ExcelExtent *extent,
                        const char16_t *name, ExcelBookItem **out)
{
    if (kind != Excel_itemModule && kind != Excel_itemMacroSheet) {
        if (out)
            *out = nullptr;
        return Res_missingArgument;
    }
    return addPayload(workbook, kind, extent, name, out);
}

void Excel_bookItemFree(ExcelBookItem *item)
{
    if (!item)
        return;
    if (item->kind == Excel_itemModule || item->kind == Excel_itemMacroSheet)
        Mem_free(item->payload);
    RecList_free(&item->records[0][0], &item->records[0][1]);
    RecList_free(&item->records[1][0], &item->records[1][1]);
    if (item->drawing)
        Escher_drawingGroupFree(item->drawing);
    Mem_free(item->name);
    Mem_free(item);
}

int Excel_bookRemoveItem(ExcelWorkbook *workbook, ExcelBookItem *item)
{
    if (!workbook || !item)
        return Res_missingArgument;
    ExcelBookItem **link = &workbook->items;
    while (*link && *link != item)
        link = &(*link)->next;
    if (!*link)
        return Res_mapNotFound;
    *link = item->next;
    Excel_bookItemFree(item);
    // The record lives while a worksheet, a chart or the workbook's own
    // item holds it; VB modules and macro sheets alone do not keep it.
    for (ExcelBookItem *i = workbook->items; i; i = i->next) {
        if (i->kind != Excel_itemModule && i->kind != Excel_itemMacroSheet)
            return Res_ok;
    }
    while (ExcelBookItem *i = workbook->items) {
        workbook->items = i->next;
        Excel_bookItemFree(i);
    }
    workbookFree(workbook);
    return Res_ok;
}

namespace {

void removeByPayload(ExcelWorkbook *workbook, const void *payload, uint32_t kindA, uint32_t kindB)
{
    if (!workbook)
        return;
    for (ExcelBookItem *i = workbook->items; i; i = i->next) {
        if ((i->kind == kindA || i->kind == kindB) && i->payload == payload) {
            Excel_bookRemoveItem(workbook, i);
            return;
        }
    }
}

} // namespace

void Excel_sheetDetach(ExcelWorkbook *workbook, ExcelSheet *sheet)
{
    removeByPayload(workbook, sheet, Excel_itemWorksheet, Excel_itemWorksheet);
}

void Excel_chartDetach(ExcelWorkbook *workbook, XlsChart *chart)
{
    removeByPayload(workbook, chart, Excel_itemChart, Excel_itemChartSheet);
}

void Excel_workbookRelease(ExcelWorkbook *workbook)
{
    if (!workbook)
        return;
    for (ExcelBookItem *i = workbook->items; i; i = i->next) {
        if (i->kind == Excel_itemWorkbook) {
            Excel_bookRemoveItem(workbook, i);
            return;
        }
    }
}

int Excel_bookCharts(const ExcelWorkbook *workbook, ExcelBookItem ***out, uint32_t *count)
{
    if (out)
        *out = nullptr;
    if (count)
        *count = 0;
    if (!workbook || !out || !count)
        return Res_missingArgument;
    uint32_t n = 0;
    for (ExcelBookItem *i = workbook->items; i; i = i->next)
        n += i->kind == Excel_itemChart || i->kind == Excel_itemChartSheet;
    if (n == 0)
        return Res_ok;
    ExcelBookItem **array = static_cast<ExcelBookItem **>(Mem_malloc(n * sizeof(ExcelBookItem *)));
    if (!array)
        return Res_noMemory;
    uint32_t k = 0;
    for (ExcelBookItem *i = workbook->items; i; i = i->next)
        if (i->kind == Excel_itemChart || i->kind == Excel_itemChartSheet)
            array[k++] = i;
    *out = array;
    *count = n;
    return Res_ok;
}

ExcelBookItem *Excel_bookFindByName(ExcelBookItem *head, const char16_t *name)
{
    if (!name)
        return nullptr;
    for (ExcelBookItem *i = head; i; i = i->next)
        if (i->name && Ustr_cmp(i->name, name) == 0)
            return i;
    return nullptr;
}

ExcelBookItem *Excel_bookSheetAt(const ExcelWorkbook *workbook, uint32_t index)
{
    if (!workbook)
        return nullptr;
    for (ExcelBookItem *i = workbook->items; i; i = i->next) {
        if (i->kind == Excel_itemWorkbook || i->kind == Excel_itemChartSheet)
            continue;
        if (index-- == 0)
            return i;
    }
    return nullptr;
}

ExcelBookItem *Excel_bookWorksheetAt(const ExcelWorkbook *workbook, uint32_t index)
{
    ExcelBookItem *i = Excel_bookSheetAt(workbook, index);
    return i && i->kind == Excel_itemWorksheet ? i : nullptr;
}

ExcelBookItem *Excel_bookItemOfSheet(const ExcelWorkbook *workbook, const ExcelSheet *sheet)
{
    if (!workbook || !sheet)
        return nullptr;
    for (ExcelBookItem *i = workbook->items; i; i = i->next)
        if (i->kind == Excel_itemWorksheet && i->payload == sheet)
            return i;
    return nullptr;
}

int Excel_bookExternSheet(const ExcelWorkbook *workbook, uint32_t index, uint32_t *count,
                          ExcelBookItem **out)
{
    if (out)
        *out = nullptr;
    if (count)
        *count = 0;
    if (!workbook || !count || !out)
        return Res_missingArgument;
    if (index >= workbook->externSheetCount)
        return Res_nullInput;
    const ExcelExternEntry &e = workbook->externSheets[index];
    if (e.book >= workbook->supBookCount || workbook->supBooks[e.book].length != 4 ||
        e.last < e.first)
        return Res_nullInput;
    ExcelBookItem *item = Excel_bookSheetAt(workbook, e.first);
    if (!item)
        return Res_nullInput;
    *out = item;
    *count = uint32_t(e.last - e.first) + 1;
    return Res_ok;
}

int Excel_bookRefsTo(const ExcelWorkbook *workbook, const ExcelBookItem *item, uint32_t *count,
                     uint16_t **indices)
{
    if (count)
        *count = 0;
    if (indices)
        *indices = nullptr;
    if (!workbook || !item || !count || !indices)
        return Res_missingArgument;
    // The item's position among the sheets the EXTERNSHEET entries count.
    uint32_t position = 0;
    bool found = false;
    for (ExcelBookItem *i = workbook->items; i; i = i->next) {
        if (i == item) {
            found = true;
            break;
        }
        if (i->kind != Excel_itemWorkbook && i->kind != Excel_itemChartSheet)
            position++;
    }
    if (!found)
        return Res_mapNotFound;
    uint32_t n = 0;
    for (uint32_t k = 0; k < workbook->externSheetCount; k++) {
        const ExcelExternEntry &e = workbook->externSheets[k];
        if (e.book < workbook->supBookCount && workbook->supBooks[e.book].length == 4 &&
            e.first == position)
            n++;
    }
    if (n == 0)
        return Res_ok;
    uint16_t *list = static_cast<uint16_t *>(Mem_malloc(n * sizeof(uint16_t)));
    if (!list)
        return Res_noMemory;
    uint32_t j = 0;
    for (uint32_t k = 0; k < workbook->externSheetCount; k++) {
        const ExcelExternEntry &e = workbook->externSheets[k];
        if (e.book < workbook->supBookCount && workbook->supBooks[e.book].length == 4 &&
            e.first == position)
            list[j++] = static_cast<uint16_t>(k);
    }
    *indices = list;
    *count = n;
    return Res_ok;
}

int Excel_bookAddSupBook(ExcelWorkbook *workbook, const uint8_t *body, uint32_t length)
{
    if (!workbook || (!body && length))
        return Res_missingArgument;
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(length ? length : 1));
    if (!copy)
        return Res_noMemory;
    if (length)
        memcpy(copy, body, length);
    void *p = Mem_realloc(workbook->supBooks, (workbook->supBookCount + 1) * sizeof(ExcelSupBook));
    if (!p) {
        Mem_free(copy);
        return Res_noMemory;
    }
    workbook->supBooks = static_cast<ExcelSupBook *>(p);
    workbook->supBooks[workbook->supBookCount++] = ExcelSupBook{copy, length};
    return Res_ok;
}

int Excel_bookAddExternSheet(ExcelWorkbook *workbook, uint16_t book, uint16_t first, uint16_t last)
{
    if (!workbook)
        return Res_missingArgument;
    void *p = Mem_realloc(workbook->externSheets,
                          (workbook->externSheetCount + 1) * sizeof(ExcelExternEntry));
    if (!p)
        return Res_noMemory;
    workbook->externSheets = static_cast<ExcelExternEntry *>(p);
    workbook->externSheets[workbook->externSheetCount++] = ExcelExternEntry{book, first, last};
    return Res_ok;
}

// ---------------------------------------------------------- shared strings

void Excel_sstFree(ExcelSstEntry *entries, uint32_t count)
{
    if (!entries)
        return;
    for (uint32_t i = 0; i < count; i++) {
        Mem_free(entries[i].text);
        Mem_free(entries[i].runs);
    }
    Mem_free(entries);
}

void Excel_sstSet(ExcelWorkbook *workbook, ExcelSstEntry *entries, uint32_t count)
{
    if (!workbook)
        return;
    Excel_sstFree(workbook->sst, workbook->sstCount);
    workbook->sst = entries;
    workbook->sstCount = entries ? count : 0;
}

void Excel_sstAddRef(ExcelWorkbook *workbook, uint32_t index)
{
    if (workbook && index < workbook->sstCount)
        workbook->sst[index].refs++;
}

void Excel_sstRelease(ExcelWorkbook *workbook, uint32_t index)
{
    if (!workbook || index >= workbook->sstCount)
        return;
    ExcelSstEntry &e = workbook->sst[index];
    if (e.refs == 0 || --e.refs != 0)
        return;
    // A cell may still show the text until the next layout: it waits on the
    // pending list and is freed with the workbook.
    if (e.text) {
        ExcelPendingText *p = static_cast<ExcelPendingText *>(Mem_malloc(sizeof(ExcelPendingText)));
        if (p) {
            p->text = e.text;
            p->next = workbook->pending;
            workbook->pending = p;
            e.text = nullptr;
        }
    }
    Mem_free(e.runs);
    e.runs = nullptr;
    e.runCount = 0;
}

namespace {

bool sstEqual(const ExcelSstEntry &a, const ExcelSstEntry &b)
{
    if (!a.text || !b.text || Ustr_cmp(a.text, b.text) != 0 || a.runCount != b.runCount)
        return false;
    for (int16_t i = 0; i < a.runCount; i++)
        if (a.runs[i].first != b.runs[i].first || a.runs[i].font != b.runs[i].font)
            return false;
    return true;
}

} // namespace

int Excel_sstAdd(ExcelWorkbook *workbook, ExcelSstEntry *entry, uint32_t *index, int *taken)
{
    if (taken)
        *taken = 0;
    if (!workbook || !entry || !index || !taken)
        return Res_missingArgument;
    for (uint32_t i = 0; i < workbook->sstCount; i++) {
        if (sstEqual(workbook->sst[i], *entry)) {
            *index = i;
            return Res_ok;
        }
    }
    void *p = Mem_realloc(workbook->sst, (workbook->sstCount + 1) * sizeof(ExcelSstEntry));
    if (!p)
        return Res_noMemory;
    workbook->sst = static_cast<ExcelSstEntry *>(p);
    ExcelSstEntry &e = workbook->sst[workbook->sstCount];
    e = *entry;
    e.refs = 0;
    *index = workbook->sstCount++;
    *taken = 1;
    return Res_ok;
}

// ------------------------------------------------------- formats, XFs, styles

int Excel_formatSet(ExcelWorkbook *workbook, uint32_t index, char16_t *text)
{
    if (!workbook) {
        Mem_free(text);
        return Res_missingArgument;
    }
    if (index > Excel_formatMaxIndex) {
        Mem_free(text);
        return Res_tableFull;
    }
    if (index >= workbook->formatCount) {
        void *p = Mem_realloc(workbook->formats, (index + 1) * sizeof(char16_t *));
        if (!p) {
            Mem_free(text);
            return Res_noMemory;
        }
        workbook->formats = static_cast<char16_t **>(p);
        for (uint32_t i = workbook->formatCount; i <= index; i++)
            workbook->formats[i] = nullptr;
        workbook->formatCount = index + 1;
    }
    Mem_free(workbook->formats[index]);
    workbook->formats[index] = text;
    return Res_ok;
}

int Excel_xfEqual(const ExcelXf *a, const ExcelXf *b)
{
    return a->fontIndex == b->fontIndex && a->font == b->font && a->formatIndex == b->formatIndex &&
           a->format == b->format && a->locked == b->locked && a->hidden == b->hidden &&
           a->styleXf == b->styleXf && a->parent == b->parent && a->alignment == b->alignment &&
           a->indent == b->indent && a->shrinkMerge == b->shrinkMerge &&
           memcmp(a->borderStyle, b->borderStyle, sizeof a->borderStyle) == 0 &&
           memcmp(a->borderColour, b->borderColour, sizeof a->borderColour) == 0 &&
           a->diagonal == b->diagonal && a->diagonalStyle == b->diagonalStyle &&
           a->diagonalColour == b->diagonalColour && a->pattern == b->pattern &&
           a->patternFg == b->patternFg && a->patternBg == b->patternBg;
}

int32_t Excel_xfAdd(ExcelWorkbook *workbook, const ExcelXf *xf, int merge)
{
    if (!workbook || !xf)
        return -1;
    if (merge) {
        for (uint32_t i = 0; i < workbook->xfCount; i++)
            if (Excel_xfEqual(&workbook->xfs[i], xf))
                return static_cast<int32_t>(i);
    }
    if (workbook->xfCount >= 0xFFFF)
        return -1;
    void *array = workbook->xfs;
    if (!growArray(&array, &workbook->xfCapacity, workbook->xfCount + 1, sizeof(ExcelXf)))
        return -1;
    workbook->xfs = static_cast<ExcelXf *>(array);
    workbook->xfs[workbook->xfCount] = *xf;
    return static_cast<int32_t>(workbook->xfCount++);
}

int Excel_styleAdd(ExcelWorkbook *workbook, uint32_t word)
{
    if (!workbook)
        return Res_missingArgument;
    void *p = Mem_realloc(workbook->styles, (workbook->styleCount + 1) * sizeof(uint32_t));
    if (!p)
        return Res_noMemory;
    workbook->styles = static_cast<uint32_t *>(p);
    workbook->styles[workbook->styleCount++] = word;
    return Res_ok;
}

bool Excel_xfShows(const ExcelXf *xf)
{
    return xf && (xf->pattern || xf->borderStyle[0] || xf->borderStyle[1] || xf->borderStyle[2] ||
                  xf->borderStyle[3] || (xf->diagonal && xf->diagonalStyle));
}

int32_t Excel_xfRotation(const ExcelXf *xf)
{
    int32_t r = xf ? xf->alignment >> 8 : 0;
    if (r == 255)
        return 0;
    if (r <= 90)
        return r;
    if (r <= 180)
        return 90 - r;
    return 0;
}

uint32_t Excel_rotationAlignKeyword(int32_t degrees)
{
    if (degrees == -90 || (degrees >= 0 && degrees < 90))
        return 86; // left
    return 117;    // right
}

uint32_t Excel_xfWrapKeyword(const ExcelXf *xf)
{
    return xf && (xf->alignment & Excel_alignWrap) ? 209 : 104;
}

// ------------------------------------------------------------------ parsers

namespace {

// A new NUL-terminated 16-bit string of n characters, 8-bit (widened) or
// 16-bit little-endian.
char16_t *readChars(const uint8_t *p, size_t n, bool wide)
{
    char16_t *s = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!s)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        s[i] = wide ? Bytes_peekU16Le(p + 2 * i) : p[i];
    s[n] = 0;
    return s;
}

} // namespace

int Excel_parseFont(const uint8_t *body, size_t length, ExcelFont **out, uint32_t version)
{
    if (out)
        *out = nullptr;
    if (!body || !out)
        return Res_missingArgument;
    bool biff8 = version >= Excel_biff8;
    size_t nameAt = biff8 ? 16 : 15;
    if (length < nameAt)
        return Res_excelMalformed;
    size_t n = body[14];
    bool wide = biff8 && (body[15] & 1);
    if (length < nameAt + n * (wide ? 2 : 1))
        return Res_excelMalformed;
    ExcelFont *f =
        static_cast<ExcelFont *>(Mem_calloc(1, sizeof(ExcelFont) + (n + 1) * sizeof(char16_t)));
    if (!f)
        return Res_noMemory;
    f->height = Bytes_peekU16Le(body);
    f->options = Bytes_peekU16Le(body + 2);
    f->colourSlot = Excel_Palette_slot(Bytes_peekU16Le(body + 4) & 0x7F);
    f->weight = Bytes_peekU16Le(body + 6);
    f->escapement = Bytes_peekU16Le(body + 8);
    f->underline = body[10];
    f->wideName = wide ? 1 : 0;
    f->name = reinterpret_cast<char16_t *>(f + 1);
    const uint8_t *p = body + nameAt;
    for (size_t i = 0; i < n; i++)
        f->name[i] = wide ? Bytes_peekU16Le(p + 2 * i) : p[i];
    f->name[n] = 0;
    *out = f;
    return Res_ok;
}

int Excel_parseFormat(const uint8_t *body, size_t length, ExcelFormatRecord *out, uint32_t version)
{
    if (out)
        *out = ExcelFormatRecord{0, nullptr};
    if (!body || !out)
        return Res_missingArgument;
    size_t n, at;
    bool wide = false;
    if (version >= Excel_biff8) {
        if (length < 5)
            return Res_excelMalformed;
        n = Bytes_peekU16Le(body + 2);
        wide = body[4] & 1;
        at = 5;
    } else {
        if (length < 3)
            return Res_excelMalformed;
        n = body[2];
        at = 3;
    }
    if (length < at + n * (wide ? 2 : 1))
        return Res_excelMalformed;
    char16_t *text = readChars(body + at, n, wide);
    if (!text)
        return Res_noMemory;
    out->index = Bytes_peekU16Le(body);
    out->text = text;
    return Res_ok;
}

int Excel_parseXf(const uint8_t *body, size_t length, ExcelXf *out, uint32_t version)
{
    if (out)
        *out = ExcelXf{};
    if (!body || !out)
        return Res_missingArgument;
    bool biff8 = version >= Excel_biff8;
    if (length < (biff8 ? 20u : 16u))
        return Res_excelMalformed;
    ExcelXf &x = *out;
    x.fontIndex = Bytes_peekU16Le(body);
    x.formatIndex = Bytes_peekU16Le(body + 2);
    uint16_t options = Bytes_peekU16Le(body + 4);
    x.locked = options & 1;
    x.hidden = (options >> 1) & 1;
    x.styleXf = (options >> 2) & 1;
    x.parent = options >> 4;
    uint16_t align = Bytes_peekU16Le(body + 6);
    if (biff8) {
        x.alignment = align;
        uint16_t w8 = Bytes_peekU16Le(body + 8);
        x.indent = w8 & 0x0F;
        x.shrinkMerge = static_cast<uint8_t>(w8 & 0xC0);
        uint16_t w10 = Bytes_peekU16Le(body + 10);
        x.borderStyle[Excel_borderLeft] = w10 & 0x0F;
        x.borderStyle[Excel_borderRight] = (w10 >> 4) & 0x0F;
        x.borderStyle[Excel_borderTop] = (w10 >> 8) & 0x0F;
        x.borderStyle[Excel_borderBottom] = (w10 >> 12) & 0x0F;
        uint16_t w12 = Bytes_peekU16Le(body + 12);
        x.borderColour[Excel_borderLeft] = static_cast<uint8_t>(Excel_Palette_slot(w12 & 0x7F));
        x.borderColour[Excel_borderRight] =
            static_cast<uint8_t>(Excel_Palette_slot((w12 >> 7) & 0x7F));
        uint32_t w14 = Bytes_peekU32Le(body + 14);
        x.diagonalStyle = (w14 >> 21) & 0x0F;
        // Each diagonal flag takes the diagonal style when set.
        x.diagonal = static_cast<uint8_t>(((w12 >> 14) & 1) | ((w12 >> 15) & 1) << 1);
        x.borderColour[Excel_borderTop] = static_cast<uint8_t>(Excel_Palette_slot(w14 & 0x7F));
        x.borderColour[Excel_borderBottom] =
            static_cast<uint8_t>(Excel_Palette_slot((w14 >> 7) & 0x7F));
        x.diagonalColour = static_cast<uint8_t>(Excel_Palette_slot((w14 >> 14) & 0x7F));
        x.pattern = static_cast<uint8_t>(w14 >> 26);
        uint16_t w18 = Bytes_peekU16Le(body + 18);
        x.patternFg = static_cast<uint8_t>(Excel_Palette_slot(w18 & 0x7F));
        x.patternBg = static_cast<uint8_t>(Excel_Palette_slot((w18 >> 7) & 0x7F));
    } else {
        // The orientation bits 8-9 become the rotation byte.
        static constexpr uint8_t rotations[4] = {0, 255, 90, 180};
        x.alignment = static_cast<uint16_t>((align & 0x00FF) | rotations[(align >> 8) & 3] << 8);
        uint16_t w8 = Bytes_peekU16Le(body + 8);
        x.patternFg = static_cast<uint8_t>(Excel_Palette_slot(w8 & 0x7F));
        x.patternBg = static_cast<uint8_t>(Excel_Palette_slot((w8 >> 7) & 0x3F));
        uint16_t w10 = Bytes_peekU16Le(body + 10);
        x.pattern = w10 & 0x3F;
        x.borderStyle[Excel_borderBottom] = (w10 >> 6) & 7;
        x.borderColour[Excel_borderBottom] = static_cast<uint8_t>(Excel_Palette_slot(w10 >> 9));
        uint16_t w12 = Bytes_peekU16Le(body + 12);
        x.borderStyle[Excel_borderTop] = w12 & 7;
        x.borderStyle[Excel_borderLeft] = (w12 >> 3) & 7;
        x.borderStyle[Excel_borderRight] = (w12 >> 6) & 7;
        x.borderColour[Excel_borderTop] = static_cast<uint8_t>(Excel_Palette_slot(w12 >> 9));
        uint16_t w14 = Bytes_peekU16Le(body + 14);
        x.borderColour[Excel_borderLeft] = static_cast<uint8_t>(Excel_Palette_slot(w14 & 0x7F));
        x.borderColour[Excel_borderRight] =
            static_cast<uint8_t>(Excel_Palette_slot((w14 >> 7) & 0x7F));
    }
    if (x.pattern >= 19)
        x.pattern = 0;
    return Res_ok;
}

int Excel_resolveXfRefs(ExcelXf *xfs, uint32_t count, ExcelFont *const *fonts, uint32_t fontCount,
                        char16_t *const *formats, uint32_t formatCount)
{
    if (!xfs)
        return Res_excelNoXfTable;
    for (uint32_t i = 0; i < count; i++) {
        ExcelXf &x = xfs[i];
        uint32_t f = x.fontIndex >= 4 ? x.fontIndex - 1u : x.fontIndex;
        if (!fonts || f >= fontCount || !fonts[f])
            return Res_excelNoFont;
        x.font = fonts[f];
        x.format = nullptr;
        if (formats && x.formatIndex < formatCount) {
            x.format = formats[x.formatIndex];
            // A file's own "GENERAL" is the General format.
            if (x.format && Ustr_cmpCstr(x.format, "GENERAL") == 0) {
                x.formatIndex = 0;
                x.format = formatCount > 0 ? formats[0] : nullptr;
            }
        }
    }
    return Res_ok;
}

int Excel_addBuiltinFormats(EngineContext *context, ExcelWorkbook *workbook)
{
    if (!workbook)
        return Res_missingArgument;
    static constexpr const char *codes[Excel_builtinFormatCount] = {
        "General",
        "0",
        "0.00",
        "#,##0",
        "#,##0.00",
        "$#,##0_);($#,##0)",
        "$#,##0_);[Red]($#,##0)",
        "$#,##0.00_);($#,##0.00)",
        "$#,##0.00_);[Red]($#,##0.00)",
        "0%",
        "0.00%",
        "0.00E+00",
        "# ?/?",
        "# ?\?/?\?",
        "dd/mm/yyyy",
        "d-mmm-yy",
        "d-mmm",
        "mmm-yy",
        "h:mm AM/PM",
        "h:mm:ss AM/PM",
        "h:mm",
        "h:mm:ss",
        "dd/mm/yyyy hh:mm",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "#,##0_);(#,##0)",
        "#,##0_);[Red](#,##0)",
        "#,##0.00_);(#,##0.00)",
        "#,##0.00_);[Red](#,##0.00)",
        "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
        "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)",
        "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)",
        "_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)",
        "mm:ss",
        "[h]:mm:ss",
        "mm:ss.0",
        "##0.0E+0",
        "@",
    };
    int rc = Excel_formatSet(workbook, Excel_builtinFormatCount - 1, nullptr);
    for (uint32_t i = 0; rc == Res_ok && i < Excel_builtinFormatCount; i++) {
        char16_t *text = Ustr_fromCstr(codes[i]);
        rc = text ? Excel_formatSet(workbook, i, text) : Res_noMemory;
    }
    if (rc != Res_ok || !context || !context->config)
        return rc;
    static constexpr const char *keys[2] = {"Vexlan_excelLocaleDateShort",
                                            "Vexlan_excelLocaleDateAndTime"};
    static constexpr uint32_t slots[2] = {14, 22};
    for (int k = 0; k < 2 && rc == Res_ok; k++) {
        char16_t *text = Config_getUstrA(context, context->config, nullptr, keys[k], nullptr);
        if (text)
            rc = Excel_formatSet(workbook, slots[k], text);
    }
    return rc;
}

int Excel_paletteColour(uint8_t *out, const ExcelPalette *palette, uint32_t index)
{
    if (!out)
        return 0;
    out[0] = out[1] = out[2] = 0;
    out[3] = 255;
    // Entries 0 to 55: an index of 56 would read past the palette.
    if (index < Excel_paletteSize) {
        if (!palette)
            return 0;
        memcpy(out, palette->entries[index], 3);
        return 1;
    }
    if (index == 63 || index == 64 || index == 127)
        return 1;
    if (index == 65) {
        out[0] = out[1] = out[2] = 255;
        return 1;
    }
    return 0;
}
