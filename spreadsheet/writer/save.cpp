// The save of a workbook: the writer record, the sheet entries, the copy
// of the source compound file and the safe save around it all.
//
// The source workbook is read while the output is written, so the output
// never goes to the source's own file: the safe save writes a temporary
// file beside the target and renames it over the target only when the
// whole file (flush and close included) was written.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "office/save/safesave.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/xlswriter.h"
#include "spreadsheet/writer/xlswriter_internal.h"

namespace {

enum : uint32_t {
    Res_noSheetList = 17,
    Res_noSheets = 19,
    Res_noEntry = 3586,
    Res_lastChild = 3587,
};

// The first worksheet grid of the tree leads to the workbook record.
int findWorkbook(Edr_Node *node, int *stop, int *skip, void *context)
{
    (void)skip;
    if (Edr_Node_type(node) != Edr_NodeType_grid)
        return Res_ok;
    // The caller holds the read lock.
    SheetGrid *grid =
        static_cast<SheetGrid *>(static_cast<Edr_GridNode *>(Edr_Node_payload(node))->record);
    if (grid && grid->workbook) {
        *static_cast<ExcelWorkbook **>(context) = grid->workbook;
        *stop = 1;
    }
    return Res_ok;
}

void freeEntries(XlsWriter *w)
{
    while (w->entries) {
        XlsSheetEntry *next = w->entries->next;
        Mem_free(w->entries);
        w->entries = next;
    }
}

// One entry per sheet of the workbook in order: worksheets, chart sheets,
// macro modules and macro sheets (embedded charts are written with their
// sheet's drawing).
int buildEntries(XlsWriter *w)
{
    XlsSheetEntry **tail = &w->entries;
    uint32_t count = 0;
    int selected = 0;
    for (ExcelBookItem *item = w->workbook->items; item; item = item->next) {
        uint32_t kind;
        switch (item->kind) {
        case Excel_itemWorksheet: kind = XlsSheet_worksheet; break;
        case Excel_itemChartSheet: kind = XlsSheet_chart; break;
        case Excel_itemModule: kind = XlsSheet_raw; break;
        case Excel_itemMacroSheet: kind = XlsSheet_macroSheet; break;
        case Excel_itemWorkbook:
        case Excel_itemChart: continue;
        default: return Res_nullInput;
        }
        if (!item->payload)
            return Res_nullInput;
        XlsSheetEntry *e = static_cast<XlsSheetEntry *>(Mem_calloc(1, sizeof(XlsSheetEntry)));
        if (!e)
            return Res_noMemory;
        e->kind = kind;
        e->model = item->payload;
        e->name = item->name;
        memcpy(e->records, item->records, sizeof(e->records));
        e->drawing = item->drawing;
        if (!selected && (kind == XlsSheet_worksheet || kind == XlsSheet_chart))
            e->selected = selected = 1;
        *tail = e;
        tail = &e->next;
        count++;
    }
    return count ? Res_ok : int(Res_noSheets);
}

bool sameName(const char16_t *a, const char16_t *b)
{
    if (!a || !b)
        return false;
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

// Brings the sheet list in line with the source's BOUNDSHEET records: a
// sheet of the model takes its visibility from the record of its name, and
// a sheet of the source that the model holds no entry for (a worksheet
// without cells, which the loader does not lay out; a chart sheet or macro
// module without an item) gets an entry copied from the source at its
// place among the others, with the source's sheet type, so that no sheet
// is lost and sheet references keep their indexes. The entries take the
// order of the records; the model's sheets the source lacks follow the
// sheet placed before them. A sheet whose BOF cannot be read becomes an
// empty worksheet.
int addSourceSheets(XlsWriter *w)
{
    if (!w->sourceStream)
        return Res_ok;
    XlsSheetEntry *after = nullptr; // the entry of the last record seen
    for (const RecListEntry *r = w->workbook->recHead; r; r = RecList_next(r)) {
        uint32_t length = RecList_length(r);
        if (RecList_type(r) != 0x0085 || length < 8 || length > XlsWriter_recordMax)
            continue;
        size_t got = 0;
        if (Ole_streamReadAt(w->sourceStream, RecList_position(r), length, &got, w->buffer) !=
                Res_ok ||
            got != length)
            continue;
        uint32_t position = 0;
        Pack_read(w->buffer, "l", &position);
        uint32_t visibility = w->buffer[4] & 3u, type = w->buffer[5];
        size_t n = length - 6;
        char16_t *name = nullptr;
        int rc = Excel_readSheetName(w->buffer + 6, &n, &name, 0x0600);
        if (rc == Res_noMemory)
            return rc;
        if (rc != Res_ok)
            continue;
        XlsSheetEntry *match = w->entries;
        while (match && !(match->copiedFrom == 0 && sameName(match->name, name)))
            match = match->next;
        if (match) {
            match->visibility = visibility;
            // The entry moves to its record's place: the model lists
            // modules and macro sheets before the sheets it lays out.
            XlsSheetEntry **from = &w->entries;
            while (*from != match)
                from = &(*from)->next;
            *from = match->next;
            XlsSheetEntry **to = after ? &after->next : &w->entries;
            match->next = *to;
            *to = match;
            after = match;
        } else if (position) {
            uint16_t bofType = 0, bofLength = 0;
            if (XlsWriter_readSourceHeader(w, position, &bofType, &bofLength) != Res_ok ||
                bofType != Xls_recBof)
                type = XlsSheet_worksheet;
            size_t chars = 0;
            while (name[chars])
                chars++;
            // The name is kept behind the entry.
            XlsSheetEntry *e = static_cast<XlsSheetEntry *>(
                Mem_calloc(1, sizeof(XlsSheetEntry) + (chars + 1) * sizeof(char16_t)));
            if (!e) {
                Mem_free(name);
                return Res_noMemory;
            }
            char16_t *kept = reinterpret_cast<char16_t *>(e + 1);
            memcpy(kept, name, (chars + 1) * sizeof(char16_t));
            e->name = kept;
            e->kind = type;
            e->visibility = visibility;
            e->copiedFrom = position;
            XlsSheetEntry **link = after ? &after->next : &w->entries;
            e->next = *link;
            *link = e;
            after = e;
        }
        Mem_free(name);
    }
    return Res_ok;
}

// Opens the document's own compound file, copies every storage and stream
// of it but the workbook stream, and opens that stream ("Workbook", else
// "Book") as the source of the copied records.
int copySource(XlsWriter *w)
{
    int rc = Res_ok;
    if (w->workbook->heldSource) {
        // A save replaced the document's file: its bytes are read from the
        // handle kept open since.
        w->source = w->workbook->heldSource;
        w->sourceHeld = 1;
    } else {
        Url *url = nullptr;
        rc = Edr_Doc_getUrl(w->doc, &url);
        if (rc == Res_noMemory)
            return rc;
        if (!url)
            return Res_ok; // made in memory: written from the model
        VfsHandle *probe = nullptr;
        uint32_t accepted = 0;
        if (Vfs_open(w->ctx, url, Vfs_modeRead, &probe, &accepted) != Res_ok) {
            Url_free(url);
            return Res_ok; // the file is gone: written from the model
        }
        (void)Vfs_close(probe);
        rc = Ole_openUrl(w->ctx, url, &w->source, Vfs_modeRead | Vfs_modeSeekable);
        Url_free(url);
        if (rc != Res_ok)
            return rc;
    }
    uint8_t clsid[16];
    if (Ole_entryGetClsid(w->source, 0, clsid) == Res_ok)
        (void)Ole_entrySetClsid(w->out, 0, clsid);
    static constexpr const char16_t *rebuilt[] = {u"Workbook", u"Book", nullptr};
    rc = OleWriter_copyStorage(w->source, 0, w->out, 0, rebuilt);
    if (rc == Res_noEntry || rc == Res_lastChild)
        rc = Res_ok;
    if (rc != Res_ok)
        return rc;
    if (Ole_streamOpenByName(w->source, &w->sourceStream, 0, u"Workbook") != Res_ok)
        rc = Ole_streamOpenByName(w->source, &w->sourceStream, 0, u"Book");
    return rc;
}

// Back-patches the entry's BOUNDSHEET with the position of its BOF.
int patchBoundSheet(XlsWriter *w, const XlsSheetEntry *e)
{
    uint32_t here = XlsWriter_tell(w);
    uint8_t pos[4];
    Pack_write(pos, "l", here);
    int rc = OleWriter_streamSeek(w->stream, e->boundSheetPos + 4, 0);
    if (rc == Res_ok)
        rc = OleWriter_streamWrite(w->stream, pos, 4);
    if (rc == Res_ok)
        rc = OleWriter_streamSeek(w->stream, here, 0);
    return rc;
}

int writeEntry(XlsWriter *w, XlsSheetEntry *e)
{
    int rc = patchBoundSheet(w, e);
    if (rc != Res_ok)
        return rc;
    if (e->copiedFrom)
        return XlsWriter_copySheet(w, e);
    switch (e->kind) {
    case XlsSheet_worksheet: return XlsWriter_writeSheet(w, e);
    case XlsSheet_chart:
        rc = XlsWriter_writeBof(w, Xls_bofChart);
        if (rc == Res_ok)
            rc = XlsWriter_writeChart(w, static_cast<XlsChart *>(e->model));
        return rc == Res_ok ? XlsWriter_writeRecord(w, Xls_recEof, nullptr, 0) : rc;
    case XlsSheet_raw:
    case XlsSheet_macroSheet: {
        const ExcelExtent *x = static_cast<const ExcelExtent *>(e->model);
        rc = XlsWriter_writeBof(w, e->kind == XlsSheet_raw ? Xls_bofModule : Xls_bofMacroSheet);
        // The extent runs from after the source BOF to after its EOF.
        if (rc == Res_ok && x->length > 4)
            rc = XlsWriter_copyBytes(w, x->start, x->length - 4);
        return rc == Res_ok ? XlsWriter_writeRecord(w, Xls_recEof, nullptr, 0) : rc;
    }
    default: return Res_nullInput;
    }
}

struct SaveArgs {
    Edr_Doc *doc;
    uint32_t keepSource; // 1: the target is the document's own file
    OleHandle *source;   // the source the write opened, kept for the caller
};

int writeTo(void *argument, const Url *output, int *created)
{
    Edr_Doc *doc = static_cast<SaveArgs *>(argument)->doc;
    SaveArgs *args = static_cast<SaveArgs *>(argument);
    XlsWriter w{};
    w.ctx = Edr_Doc_getApp(doc);
    w.keepSource = args->keepSource;
    int rc = OleWriter_create(w.ctx, output, &w.out, 0);
    // Memory can run out after the file was made: it is the save's own.
    *created = rc == Res_ok || rc == Res_noMemory;
    if (rc != Res_ok)
        return rc;
    Edr_Doc_readLock(doc);
    rc = Excel_writeWorkbook(&w, doc, 0);
    // The source of a save over the document's own file stays open: the
    // replaced file's bytes are those the kept records point into. A
    // later step may still fail: the caller decides.
    Ole_close(&args->source);
    args->source = w.source;
    w.source = nullptr;
    Edr_Doc_readUnlock(doc);
    if (rc == Res_ok)
        rc = OleWriter_flush(w.out);
    Ole_closeFile(&w.out);
    return rc;
}

} // namespace

int Excel_writeWorkbook(XlsWriter *w, Edr_Doc *doc, uint32_t options)
{
    if (!w || !doc || !w->out)
        return Res_missingArgument;
    OleHandle *out = w->out;
    EngineContext *ctx = w->ctx ? w->ctx : Edr_Doc_getApp(doc);
    uint32_t keepSource = w->keepSource;
    *w = XlsWriter{};
    w->keepSource = keepSource;
    w->out = out;
    w->ctx = ctx;
    w->doc = doc;
    w->options = options;
    w->defaultRowHeight = 255;
    uint32_t id = 0;
    int rc = OleWriter_addStream(w->out, 0, u"Workbook", &id);
    if (rc == Res_ok)
        rc = Ole_streamOpen(w->out, &w->stream, id);
    if (rc == Res_ok) {
        w->buffer = static_cast<uint8_t *>(Mem_malloc(XlsWriter_recordMax + 4));
        if (!w->buffer)
            rc = Res_noMemory;
    }
    if (rc == Res_ok) {
        ExcelWorkbook *found = nullptr;
        Edr_Node *root = Edr_Doc_root(doc);
        rc = root ? Edr_Node_walk(findWorkbook, nullptr, &found, 0, root) : Res_ok;
        w->workbook = found;
        if (rc == Res_ok && !w->workbook)
            rc = Res_noSheetList;
    }
    if (rc == Res_ok)
        rc = buildEntries(w);
    if (rc == Res_ok)
        rc = copySource(w);
    if (rc == Res_ok)
        rc = addSourceSheets(w);
    if (rc == Res_ok)
        rc = w->workbook->recHead && w->sourceStream ? XlsWriter_mergeGlobals(w)
                                                     : XlsWriter_writeFreshGlobals(w);
    for (XlsSheetEntry *e = w->entries; e && rc == Res_ok; e = e->next)
        rc = writeEntry(w, e);
    (void)Ole_streamClose(&w->sourceStream);
    // The held handle stays the workbook's; a kept source goes to the
    // caller.
    if (w->sourceHeld)
        w->source = nullptr;
    else if (rc != Res_ok || !w->keepSource)
        Ole_close(&w->source);
    int closed = Ole_streamClose(&w->stream);
    freeEntries(w);
    Mem_free(w->buffer);
    w->buffer = nullptr;
    Mem_free(w->indexBody);
    w->indexBody = nullptr;
    return rc != Res_ok ? rc : closed;
}

int Excel_saveWorkbook(Edr_Doc *doc, const Url *target)
{
    if (!doc || !target)
        return Res_nullInput;
    SaveArgs args{doc, 0, nullptr};
    Url *own = nullptr;
    int rc = Edr_Doc_getUrl(doc, &own);
    if (rc == Res_noMemory)
        return rc;
    args.keepSource = own && Url_equals(own, target);
    Url_free(own);
    rc = SafeSave_run(Edr_Doc_getApp(doc), target, writeTo, &args);
    // The kept records point into the file as it was loaded: once a save
    // has replaced that file at its path, the workbook holds the replaced
    // file open for the saves after it.
    if (args.source) {
        ExcelWorkbook *wb = nullptr;
        if (rc == Res_ok) {
            Edr_Doc_readLock(doc);
            Edr_Node *root = Edr_Doc_root(doc);
            if (root)
                (void)Edr_Node_walk(findWorkbook, nullptr, &wb, 0, root);
            Edr_Doc_readUnlock(doc);
        }
        if (wb && !wb->heldSource)
            wb->heldSource = args.source;
        else
            Ole_close(&args.source);
    }
    return rc;
}
