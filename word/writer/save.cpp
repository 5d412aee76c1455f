// The save hook of Word documents.
//
// The output goes through the safe save (office/save/safesave.h): the
// temporary file replaces the target only after the writer, the storage
// copy, the compound file's flush and the close all succeeded.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/ole2/oleprobe.h"
#include "word/reader/wordfonts.h"
#include "document/edr/attach.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "office/save/safesave.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "word/reader/build.h"
#include "word/writer/writer.h"

namespace {

int addStream(WordWriter *w, const char16_t *name, OleStream **stream)
{
    uint32_t id = 0;
    int err = OleWriter_addStream(w->out, 0, name, &id);
    return err ? err : Ole_streamOpen(w->out, stream, id);
}

// Opens the document's own file for the parts the writer copies. A file
// that is gone is no error (the host asks the user before such a save):
// the document is then written from the tree alone. A file that opens but
// is not a readable Word file is.
int openSource(WordWriter *w, const Url *source)
{
    VfsHandle *probe = nullptr;
    uint32_t accepted = 0;
    if (!source)
        return Res_ok;
    int opened = Vfs_open(w->ctx, source, Vfs_modeRead, &probe, &accepted);
    // Memory running out is no missing file: a save without the source
    // would lose its drawings.
    if (opened == Res_noMemory)
        return opened;
    if (opened != Res_ok)
        return Res_ok;
    (void)Vfs_close(probe);
    int err = Ole_openUrl(w->ctx, source, &w->source, Vfs_modeRead | Vfs_modeSeekable);
    if (err)
        return err;
    uint8_t clsid[16];
    if (Ole_entryGetClsid(w->source, 0, clsid) == Res_ok)
        (void)Ole_entrySetClsid(w->out, 0, clsid);
    err = Ole_streamOpenByName(w->source, &w->srcDoc, 0, u"WordDocument");
    uint8_t head[12];
    size_t got = 0;
    if (!err)
        err = Ole_streamReadAt(w->srcDoc, 0, 12, &got, head) == Res_ok && got == 12
                  ? Res_ok
                  : int(Res_wordNotWord);
    uint16_t ident = 0, unused = 0, unused2 = 0, unused3 = 0, unused4 = 0, flags = 0;
    if (!err)
        Pack_read(head, "6s", &ident, &unused, &unused2, &unused3, &unused4, &flags);
    if (!err && ident == Word_identWord6) {
        w->srcTable = w->srcData = w->srcDoc;
    } else if (!err && ident == Word_identWord97) {
        err = Ole_streamOpenByName(w->source, &w->srcTable, 0,
                                   (flags & Word_flagWhichTblStm) ? u"1Table" : u"0Table");
        // A file without pictures may have no "Data"; memory running out
        // is no missing stream.
        if (!err) {
            int data = Ole_streamOpenByName(w->source, &w->srcData, 0, u"Data");
            if (data == Res_noMemory)
                err = data;
            else if (data != Res_ok)
                w->srcData = nullptr;
        }
    } else if (!err) {
        err = Res_wordNotWord;
    }
    return err;
}

void closeSource(WordWriter *w)
{
    if (w->srcData != w->srcDoc)
        (void)Ole_streamClose(&w->srcData);
    if (w->srcTable != w->srcDoc)
        (void)Ole_streamClose(&w->srcTable);
    (void)Ole_streamClose(&w->srcDoc);
    w->srcData = w->srcTable = nullptr;
    if (w->source)
        Ole_close(&w->source);
}

// The source's font table as the loader left it on the root node.
int takeFonts(WordWriter *w)
{
    void *data = nullptr;
    Edr_Node *root = Edr_Doc_root(w->doc);
    if (!root || Edr_Node_getPrivate(w->doc, root, &data) != Res_ok || !data)
        return Res_ok;
    Edr_PrivateDestructor destructor = nullptr;
    if (Edr_Node_getPrivateDestructor(w->doc, root, &destructor) != Res_ok ||
        destructor != Word_rootDataFree)
        return Res_ok;
    w->rootData = static_cast<WordRootData *>(data);
    const WordRootData *d = w->rootData;
    for (uint32_t i = 0; i < d->fontCount; i++) {
        uint32_t index = 0;
        const WordFont &f = d->fonts[i];
        // Every source font keeps its index, a name met twice included:
        // list levels name their fonts by these indexes.
        int err = WordStyles_addFont(w, f.name ? f.name : u"", &index);
        if (err)
            return err;
        WordOutFont &o = w->fonts[index];
        o.flags = uint8_t(f.flags & 0x3F);
        o.weight = f.weight;
        o.chs = f.charset;
        memcpy(o.panose, f.panose, 10);
        for (uint32_t s = 0; s < 6; s++)
            Pack_write(o.signature + 4 * s, "l", f.signature[s]);
    }
    return Res_ok;
}

struct SaveArgs {
    WordWriter *writer;
    const Url *source;
};

int writeAll(WordWriter *w, const Url *out, const Url *source, int *created)
{
    int err = OleWriter_create(w->ctx, out, &w->out, 0);
    // Memory can run out after the file was made: it is the save's own.
    *created = err == Res_ok || err == Res_noMemory;
    if (!err)
        err = addStream(w, u"WordDocument", &w->docStream);
    if (!err)
        err = addStream(w, u"1Table", &w->tableStream);
    if (!err)
        err = addStream(w, u"Data", &w->dataStream);
    if (!err)
        err = openSource(w, source);
    if (!err)
        err = takeFonts(w);
    if (!err)
        err = WordStyles_writeSheet(w);
    if (!err)
        err = WordWriter_writeDocument(w);
    if (!err)
        err = WordWriter_writeFib(w);
    if (!err)
        err = WordSave_copyOtherStreams(w);
    closeSource(w);
    if (w->out) {
        if (!err)
            err = OleWriter_flush(w->out);
        (void)Ole_streamClose(&w->docStream);
        (void)Ole_streamClose(&w->tableStream);
        (void)Ole_streamClose(&w->dataStream);
        Ole_closeFile(&w->out);
    }
    return err;
}

int writeTo(void *argument, const Url *out, int *created)
{
    SaveArgs *a = static_cast<SaveArgs *>(argument);
    return writeAll(a->writer, out, a->source, created);
}

} // namespace

int Word_saveDocument(Edr_Doc *doc, const Url *target)
{
    if (!doc || !target)
        return Res_nullInput;
    WordWriter *w = static_cast<WordWriter *>(Mem_calloc(1, sizeof(WordWriter)));
    if (!w)
        return Res_noMemory;
    WordWriter_initFib(w);
    w->doc = doc;
    w->ctx = Edr_Doc_getApp(doc);
    // A document made in memory has no file of its own to copy from.
    Url *source = nullptr;
    int err = Edr_Doc_getUrl(doc, &source) == Res_noMemory ? int(Res_noMemory) : Res_ok;
    if (!err) {
        SaveArgs args{w, source};
        err = SafeSave_run(w->ctx, target, writeTo, &args);
    }
    WordWriter_freeState(w);
    Url_free(source);
    Mem_free(w);
    return err;
}
