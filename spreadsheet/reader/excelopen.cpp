// The Excel handler: recognition, open, and the load that turns each
// worksheet into a page of the document.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "spreadsheet/reader/sheetpage.h"
#include "office/ole2/oleprobe.h"
#include "document/edr/loadprogress.h"
#include "office/ole2/ole.h"
#include "platform/api/request.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/sheetgrid.h"

namespace {

void releaseNothing(EngineContext *, Edr_HandlerDesc *) {}

// Takes n units off the remaining progress units and counts them done.
void progress(LoadProgress *stats, int32_t *remaining, int32_t n)
{
    if (!stats)
        return;
    (void)LoadProgress_addDone(stats, 1, n);
    *remaining = *remaining > n ? *remaining - n : 0;
}

// A sheet entry without a cell store: when its substream is a chart, the
// chart sheet becomes a page.
int chartSheetPage(ExcelLoad *load, const ExcelSheetEntry *e, intptr_t *pageKey)
{
    if (!load->stream || Ole_streamSeek(load->stream, e->position, 0) != Res_ok)
        return Res_ok;
    ExcelRecordHeader h{};
    uint8_t body[64];
    if (Excel_readRecordHeader(load->stream, &h) != Res_ok || h.type != 0x0809 || h.length < 4 ||
        h.length > sizeof body || Ole_streamReadExact(load->stream, body, h.length) != Res_ok)
        return Res_ok;
    ExcelBof bof{};
    if (Excel_parseBof(body, h.length, &bof) != Res_ok || bof.type != Excel_subChart)
        return Res_ok;
    return Excel_readChartSheet(load, e->name, (*pageKey)++);
}

// The BIFF version of the plain record stream (see Excel_earlyBiffVersion);
// the stream is set back to its start.
uint32_t excelopenEarlyBiff(VfsHandle *stream)
{
    uint8_t head[8];
    size_t n = 0;
    const uint8_t *p = nullptr;
    size_t len = 0;
    if (Vfs_seek(stream, 0) != Res_ok)
        return 0;
    if (Vfs_getReadBuf(stream, sizeof head, &p, &len) == Res_ok) {
        n = len < sizeof head ? len : sizeof head;
        if (n)
            memcpy(head, p, n);
        (void)Vfs_readDone(stream, 0);
    }
    (void)Vfs_seek(stream, 0);
    return Excel_earlyBiffVersion(head, n);
}

} // namespace

uint32_t Excel_earlyBiffVersion(const uint8_t *head, size_t length)
{
    if (!head || length < 8)
        return 0;
    uint32_t type = Bytes_peekU16Le(head);
    uint32_t size = Bytes_peekU16Le(head + 2);
    uint32_t sheet = Bytes_peekU16Le(head + 6);
    uint32_t version = type == 0x0009 ? 2 : type == 0x0209 ? 3 : type == 0x0409 ? 4 : 0;
    if (!version || size < 4 || size > 16)
        return 0;
    bool known =
        sheet == 0x0010 || sheet == 0x0020 || sheet == 0x0040 || (version == 4 && sheet == 0x0100);
    return known ? version : 0;
}

const char *Excel_openErrorText(int code)
{
    switch (code) {
    case Excel_errBiff2File:
        return "an Excel 2.x worksheet (BIFF2), which is not read: only BIFF5 and BIFF8 workbooks "
               "are";
    case Excel_errBiff3File:
        return "an Excel 3.0 worksheet (BIFF3), which is not read: only BIFF5 and BIFF8 workbooks "
               "are";
    case Excel_errBiff4File:
        return "an Excel 4.0 worksheet or workbook (BIFF4), which is not read: only BIFF5 and "
               "BIFF8 workbooks are";
    case Excel_errVersion:
    case Excel_errBiff4:
        return "a workbook of a BIFF version other than BIFF5 and BIFF8, which is not read";
    case Excel_errEncrypted: return "an encrypted workbook, which is not read";
    default: return nullptr;
    }
}

int Excel_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && (Ustr_icmpCstr(mime, "application/vnd.ms-excel") == 0 ||
                      Ustr_icmpCstr(mime, "application/excel") == 0)
                 ? 100
                 : 0;
    return Res_ok;
}

int Excel_sniff(EngineContext *, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
                uint32_t *typeId)
{
    *score = 0;
    OleHandle *ole = nullptr;
    int err = Ole_openStream(stream, &ole);
    if (err == Res_ok) {
        OleStream *s = nullptr;
        err = Ole_streamOpenByName(ole, &s, 0, u"Workbook");
        if (err == 3586)
            err = Ole_streamOpenByName(ole, &s, 0, u"Book");
        (void)Ole_streamClose(&s);
        Ole_close(&ole);
        if (err == Res_ok) {
            *score = 100;
            *typeId = Excel_mimeTypeId;
        }
    }
    if (err == Res_noMemory)
        return err;
    if (*score == 0 && excelopenEarlyBiff(stream)) {
        *score = 100;
        *typeId = Excel_mimeTypeId;
    }
    return Vfs_seek(stream, 0);
}

int Excel_loadWorkbook(EngineContext *context, OleHandle *ole, Edr_Doc *doc, Edr_Node *root)
{
    if (!ole || !doc || !root)
        return Res_missingArgument;
    ExcelLoad load{};
    load.context = context;
    load.doc = doc;
    load.root = root;
    LoadProgress *stats = Edr_Doc_getLoadStats(doc);
    int32_t remaining = 0;
    if (stats) {
        (void)LoadProgress_addDone(stats, 2, 1);
        (void)LoadProgress_addTotal(stats, 1, 1);
        remaining = 1;
    }
    int err = Edr_Doc_setTypeCode(doc, Excel_typeCode);
    if (err == Res_ok)
        err = Excel_readWorkbookStream(&load, ole);
    if (err == Res_ok && stats && load.sheetCount) {
        int32_t more = int32_t(2 * load.sheetCount - 1);
        (void)LoadProgress_addTotal(stats, 1, more);
        remaining += more;
    }
    intptr_t pageKey = 1;
    for (ExcelSheetEntry *e = load.sheets; e && err == Res_ok; e = e->next) {
        if (!e->sheet) {
            err = chartSheetPage(&load, e, &pageKey);
            progress(stats, &remaining, 2);
            continue;
        }
        progress(stats, &remaining, 1);
        SheetGrid *grid = nullptr;
        err = Excel_sheetLayout(&load, e, &grid);
        if (err == Res_ok && grid) {
            const ExcelLoadSheet *s = e->sheet;
            ExcelPageSetup setup{s->header,     s->footer,     s->margins[0],
                                 s->margins[1], s->margins[2], s->margins[3]};
            load.layoutSheet = e->sheet;
            load.window2Options = s->window2Options;
            err = Excel_Page_build(&load, &setup, grid, pageKey++, 0);
            load.layoutSheet = nullptr;
        }
        progress(stats, &remaining, 1);
    }
    // Series that plot cells now refer to them; every chart is drawn from
    // the cells' values.
    if (err == Res_ok && load.workbook)
        err = Excel_resolveChartRefs(&load);
    if (err == Res_ok && load.workbook)
        err = Excel_bindCharts(load.workbook, doc);
    Request_release(load.styleSheet);
    load.styleSheet = nullptr;
    Excel_loadFree(&load);
    if (stats && remaining > 0)
        (void)LoadProgress_addDone(stats, 1, remaining);
    return err;
}

int Excel_open(EngineContext *context, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *doc,
               Edr_Node *target)
{
    int err = Edr_Doc_setFlags(doc, 2);
    if (err == Res_ok)
        err = Edr_Doc_setupFromStream(doc, stream);
    OleHandle *ole = nullptr;
    if (err == Res_ok) {
        err = Ole_openStream(stream, &ole);
        // Not a compound file: a plain record stream of an early version
        // is told by its version.
        if (err != Res_ok && err != Res_noMemory) {
            if (uint32_t version = excelopenEarlyBiff(stream))
                err = version == 2   ? Excel_errBiff2File
                      : version == 3 ? Excel_errBiff3File
                                     : Excel_errBiff4File;
        }
    }
    if (err == Res_ok)
        err = Excel_loadWorkbook(context, ole, doc, target);
    Ole_close(&ole);
    int closed = Vfs_close(stream);
    return err != Res_ok ? err : closed;
}

int Excel_describe(EngineContext *, Edr_HandlerDesc *desc)
{
    desc->matchMime = Excel_matchMime;
    desc->sniff = Excel_sniff;
    desc->open = Excel_open;
    desc->release = releaseNothing;
    desc->enabled = 1;
    return Res_ok;
}
