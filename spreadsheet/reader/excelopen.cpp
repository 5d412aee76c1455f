// The Excel handler: recognition, open, and the load that turns each
// worksheet into a page of the document.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
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

} // namespace

int Excel_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && (Ustr_icmpCstr(mime, "application/vnd.ms-excel") == 0 ||
                      Ustr_icmpCstr(mime, "application/excel") == 0)
                 ? 100
                 : 0;
    return Res_ok;
}

int Excel_sniff(EngineContext *, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score, uint32_t *typeId)
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
            ExcelPageSetup setup{s->header, s->footer, s->margins[0], s->margins[1], s->margins[2], s->margins[3]};
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

int Excel_open(EngineContext *context, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *doc, Edr_Node *target)
{
    int err = Edr_Doc_setFlags(doc, 2);
    if (err == Res_ok)
        err = Edr_Doc_setupFromStream(doc, stream);
    OleHandle *ole = nullptr;
    if (err == Res_ok)
        err = Ole_openStream(stream, &ole);
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
