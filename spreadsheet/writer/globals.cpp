// The workbook globals of a save: the kept source records merged with the
// records the model owns (fonts, formats, XF entries, styles, palette,
// sheet list, shared strings), or the globals written from the model
// alone when there is no source.
#include <cstring>

#include "core/result.h"
#include "office/pack/pack.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/writer/xlswriter.h"
#include "spreadsheet/writer/xlswriter_internal.h"

namespace {

typedef int (*GlobalsHandler)(XlsWriter *w);

size_t ustrLength(const char16_t *s)
{
    size_t n = 0;
    while (s && s[n])
        n++;
    return n;
}

int writeBofGlobals(XlsWriter *w)
{
    return XlsWriter_writeBof(w, Xls_bofGlobals);
}

// The colour index of a palette entry. Entry 1 is what the reader makes of
// the automatic colour (0x7FFF), which is written back as such.
uint32_t fontColour(uint32_t slot)
{
    return slot == 1 ? 0x7FFFu : Excel_Palette_indexOfSlot(slot);
}

int writeFonts(XlsWriter *w)
{
    if (w->fontsWritten)
        return Res_ok;
    w->fontsWritten = 1;
    const ExcelWorkbook *wb = w->workbook;
    for (uint32_t i = 0; i < wb->fontCount; i++) {
        const ExcelFont *f = wb->fonts[i];
        if (!f)
            continue;
        uint8_t *b = w->buffer;
        // The weight says bold; bit 0 of the options is reserved in BIFF8
        // and readers take it for bold whatever the weight says.
        uint32_t grbit = f->options & (Excel_fontItalic | Excel_fontStrikeout);
        size_t n = ustrLength(f->name);
        if (n > 255)
            return Res_tableFull;
        b += Pack_write(b, "7sc", uint32_t(f->height), grbit, fontColour(f->colourSlot),
                        uint32_t(f->weight), uint32_t(f->escapement), uint32_t(f->underline), 1u,
                        uint32_t(n));
        int rc = XlsWriter_writeString(&b, w->buffer + XlsWriter_recordMax, f->name, n, 0);
        if (rc == Res_ok)
            rc = XlsWriter_writeRecord(w, 0x0031, w->buffer, size_t(b - w->buffer));
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

int writeFormats(XlsWriter *w)
{
    const ExcelWorkbook *wb = w->workbook;
    for (uint32_t i = 0; i < wb->formatCount; i++) {
        // Slots 14 and 22 are the locale's date formats.
        if (!wb->formats[i] || i == 14 || i == 22)
            continue;
        size_t n = ustrLength(wb->formats[i]);
        if (n > 0xFFFF)
            return Res_tableFull;
        uint8_t *b = w->buffer;
        b += Pack_write(b, "2s", i, uint32_t(n));
        int rc = XlsWriter_writeString(&b, w->buffer + XlsWriter_recordMax, wb->formats[i], n, 0);
        if (rc == Res_ok)
            rc = XlsWriter_writeRecord(w, 0x041E, w->buffer, size_t(b - w->buffer));
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

uint32_t colour(uint8_t slot)
{
    return Excel_Palette_indexOfSlot(slot) & 0x7F;
}

int writeXfs(XlsWriter *w)
{
    const ExcelWorkbook *wb = w->workbook;
    for (uint32_t i = 0; i < wb->xfCount; i++) {
        const ExcelXf &x = wb->xfs[i];
        uint32_t protection = (x.locked ? 1u : 0u) | (x.hidden ? 2u : 0u) | (x.styleXf ? 4u : 0u) |
                              (uint32_t(x.parent & 0x0FFF) << 4);
        // Every attribute is written as the model holds it: a cell XF marks
        // all six groups as its own, a style XF marks none as missing.
        uint32_t used = x.styleXf ? 0u : 0xFCu;
        uint32_t border1 = uint32_t(x.borderStyle[Excel_borderLeft] & 15) |
                           uint32_t(x.borderStyle[Excel_borderRight] & 15) << 4 |
                           uint32_t(x.borderStyle[Excel_borderTop] & 15) << 8 |
                           uint32_t(x.borderStyle[Excel_borderBottom] & 15) << 12 |
                           colour(x.borderColour[Excel_borderLeft]) << 16 |
                           colour(x.borderColour[Excel_borderRight]) << 23 |
                           uint32_t(x.diagonal & 3) << 30;
        uint32_t border2 = colour(x.borderColour[Excel_borderTop]) |
                           colour(x.borderColour[Excel_borderBottom]) << 7 |
                           colour(x.diagonalColour) << 14 | uint32_t(x.diagonalStyle & 15) << 21 |
                           uint32_t(x.pattern & 63) << 26;
        uint32_t fill = colour(x.patternFg) | colour(x.patternBg) << 7;
        int n =
            Pack_write(w->buffer, "4s2c2ls", uint32_t(x.fontIndex), uint32_t(x.formatIndex),
                       protection, uint32_t(x.alignment),
                       uint32_t((x.indent & 0x0F) | x.shrinkMerge), used, border1, border2, fill);
        int rc = XlsWriter_writeRecord(w, 0x00E0, w->buffer, size_t(n));
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

int writeStyles(XlsWriter *w)
{
    const ExcelWorkbook *wb = w->workbook;
    for (uint32_t i = 0; i < wb->styleCount; i++) {
        int n = Pack_write(w->buffer, "l", wb->styles[i]);
        int rc = XlsWriter_writeRecord(w, 0x0293, w->buffer, size_t(n));
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

int writePalette(XlsWriter *w)
{
    uint8_t *b = w->buffer;
    b += Pack_write(b, "s", uint32_t(Excel_paletteSize));
    for (uint32_t k = 0; k < Excel_paletteSize; k++) {
        const uint8_t *e = w->workbook->palette.entries[k];
        b += Pack_write(b, "4c", uint32_t(e[0]), uint32_t(e[1]), uint32_t(e[2]), 0u);
    }
    return XlsWriter_writeRecord(w, 0x0092, w->buffer, size_t(b - w->buffer));
}

int writeBoundSheets(XlsWriter *w)
{
    for (XlsSheetEntry *e = w->entries; e; e = e->next) {
        const char16_t *name = e->name && e->name[0] ? e->name : u"Unnamed";
        size_t n = ustrLength(name);
        if (n > 255)
            return Res_tableFull;
        e->boundSheetPos = XlsWriter_tell(w);
        uint8_t *b = w->buffer;
        b += Pack_write(b, "l3c", 0u, e->visibility, e->kind, uint32_t(n));
        int rc = XlsWriter_writeString(&b, w->buffer + XlsWriter_recordMax, name, n, 0);
        if (rc == Res_ok)
            rc = XlsWriter_writeRecord(w, 0x0085, w->buffer, size_t(b - w->buffer));
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

int writeExternals(XlsWriter *w)
{
    const ExcelWorkbook *wb = w->workbook;
    for (uint32_t i = 0; i < wb->supBookCount; i++) {
        int rc = XlsWriter_writeLongRecord(w, 0x01AE, wb->supBooks[i].body, wb->supBooks[i].length);
        if (rc != Res_ok)
            return rc;
    }
    if (!wb->externSheetCount)
        return Res_ok;
    if (wb->externSheetCount > (XlsWriter_recordMax - 2) / 6)
        return Res_tableFull;
    uint8_t *b = w->buffer;
    b += Pack_write(b, "s", wb->externSheetCount);
    for (uint32_t i = 0; i < wb->externSheetCount; i++) {
        const ExcelExternEntry &x = wb->externSheets[i];
        b += Pack_write(b, "3s", uint32_t(x.book), uint32_t(x.first), uint32_t(x.last));
    }
    return XlsWriter_writeRecord(w, 0x0017, w->buffer, size_t(b - w->buffer));
}

int writeNothing(XlsWriter *)
{
    return Res_ok;
}

int writeEof(XlsWriter *w)
{
    return XlsWriter_writeRecord(w, Xls_recEof, nullptr, 0);
}

struct GlobalsRow {
    uint16_t type;
    GlobalsHandler handler; // null: the source record is copied
};

constexpr GlobalsRow globalsTable[] = {
    {0x0809, writeBofGlobals}, {0x0086, nullptr},
    {0x002F, nullptr},         {0x005C, nullptr},
    {0x005B, nullptr},         {0x0042, nullptr},
    {0x013D, nullptr},         {0x009C, nullptr},
    {0x0012, nullptr},         {0x0019, nullptr},
    {0x0063, nullptr},         {0x00DD, nullptr},
    {0x0013, nullptr},         {0x003D, nullptr},
    {0x0040, nullptr},         {0x008D, nullptr},
    {0x0022, nullptr},         {0x000E, nullptr},
    {0x01B7, nullptr},         {0x00DA, nullptr},
    {0x0031, writeFonts},      {0x0231, writeFonts},
    {0x041E, writeFormats},    {0x00E0, writeXfs},
    {0x0293, writeStyles},     {0x0092, writePalette},
    {0x0160, nullptr},         {0x0085, writeBoundSheets},
    {0x008C, nullptr},         {0x01AE, nullptr},
    {0x0017, nullptr},         {0x0218, nullptr},
    {0x0866, nullptr},         {0x00FC, XlsWriter_writeSst},
    {0x00FF, writeNothing},    {0x000A, writeEof},
};
constexpr uint32_t globalsRows = sizeof(globalsTable) / sizeof(globalsTable[0]);
static_assert(globalsRows == 36);

int rowOf(uint32_t type)
{
    for (uint32_t k = 0; k < globalsRows; k++)
        if (globalsTable[k].type == type)
            return int(k);
    return -1;
}

int runRow(XlsWriter *w, uint32_t k, uint8_t *done)
{
    if (done[k] || !globalsTable[k].handler)
        return Res_ok;
    done[k] = 1;
    return globalsTable[k].handler(w);
}

} // namespace

int XlsWriter_mergeGlobals(XlsWriter *w)
{
    uint8_t done[globalsRows] = {};
    int last = -1;
    // The source position up to which records were copied: a record the
    // reader listed but that was already copied with the one before it (a
    // continuation, a drawing-group record gathered with the first) is not
    // written twice.
    uint32_t copiedEnd = 0;
    for (const RecListEntry *e = w->workbook->recHead; e; e = RecList_next(e)) {
        uint32_t type = RecList_type(e);
        uint32_t at = RecList_position(e);
        // A continuation goes with its record: copied with it, or rewritten
        // from the model with it.
        if (type == Xls_recContinue || at < copiedEnd)
            continue;
        int k = rowOf(type);
        int rc = Res_ok;
        if (k > last) {
            for (int j = last + 1; j < k && rc == Res_ok; j++)
                rc = runRow(w, uint32_t(j), done);
            last = k;
        }
        if (rc == Res_ok && k >= 0 && globalsTable[k].handler) {
            rc = runRow(w, uint32_t(k), done);
        } else if (rc == Res_ok && (k < 0 || type != Xls_recEof)) {
            rc = XlsWriter_copySourceRecord(w, e);
            uint32_t end = RecList_getLength(e) ? RecList_getStart(e) + RecList_getLength(e)
                                                : at + RecList_length(e);
            copiedEnd = end > copiedEnd ? end : copiedEnd;
        }
        if (rc != Res_ok)
            return rc;
    }
    for (uint32_t j = uint32_t(last + 1); j < globalsRows; j++) {
        int rc = runRow(w, j, done);
        if (rc != Res_ok)
            return rc;
    }
    // A source without EOF still ends its globals with one.
    return done[globalsRows - 1] ? int(Res_ok) : runRow(w, globalsRows - 1, done);
}

int XlsWriter_writeFreshGlobals(XlsWriter *w)
{
    int rc = writeBofGlobals(w);
    if (rc == Res_ok) {
        uint8_t body[18];
        int n = Pack_write(body, "9s", 0u, 0u, 14400u, 10080u, 0x0038u, 0u, 0u, 1u, 500u);
        rc = XlsWriter_writeRecord(w, 0x003D, body, size_t(n));
    }
    static constexpr GlobalsHandler steps[] = {writeFonts,     writeFormats,       writeXfs,
                                               writeStyles,    writePalette,       writeBoundSheets,
                                               writeExternals, XlsWriter_writeSst, writeEof};
    for (GlobalsHandler step : steps)
        if (rc == Res_ok)
            rc = step(w);
    return rc;
}
