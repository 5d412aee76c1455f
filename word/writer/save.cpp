// The save hook of Word documents.
//
// The output always goes to the target's path with ".tmp" appended; that
// file replaces the target by one rename, only after the writer, the
// storage copy, the compound file's flush and the close all succeeded.
// The rename replaces the target in one step, so the user is never left
// with neither file; a failed save removes the temporary file and leaves
// the target, and the document's own file when that is the target, as
// they were.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/types/oleprobe.h"
#include "fonts/office/wordfonts.h"
#include "office/attach/attach.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "word/reader/build.h"
#include "word/writer/writer.h"

namespace {

enum : uint32_t {
    urlPathPart = 4,
};

// The target's URL with ".tmp" appended to its path; null without memory.
Url *temporaryUrl(const Url *target)
{
    Url *copy = Url_copy(target);
    if (!copy)
        return nullptr;
    char16_t *path = Url_toString(copy, urlPathPart);
    char16_t *longer = path ? Ustr_appendCstr(path, ".tmp") : nullptr;
    if (!longer) {
        Mem_free(path);
        Url_free(copy);
        return nullptr;
    }
    // 1 when the part was set.
    int set = Url_setPart(copy, urlPathPart, longer);
    Mem_free(longer);
    if (!set) {
        Url_free(copy);
        return nullptr;
    }
    return copy;
}

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
    if (!source || Vfs_open(source, Vfs_modeRead, &probe, &accepted, w->ctx) != Res_ok)
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
        err = Ole_streamReadAt(w->srcDoc, 0, 12, &got, head) == Res_ok && got == 12 ? Res_ok : int(Res_wordNotWord);
    uint16_t ident = 0, unused = 0, unused2 = 0, unused3 = 0, unused4 = 0, flags = 0;
    if (!err)
        Pack_read(head, "6s", &ident, &unused, &unused2, &unused3, &unused4, &flags);
    if (!err && ident == Word_identWord6) {
        w->srcTable = w->srcData = w->srcDoc;
    } else if (!err && ident == Word_identWord97) {
        err = Ole_streamOpenByName(w->source, &w->srcTable, 0, (flags & Word_flagWhichTblStm) ? u"1Table" : u"0Table");
        // A file without pictures may have no "Data".
        if (!err && Ole_streamOpenByName(w->source, &w->srcData, 0, u"Data") != Res_ok)
            w->srcData = nullptr;
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
    if (Edr_Node_getPrivateDestructor(w->doc, root, &destructor) != Res_ok || destructor != Word_rootDataFree)
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

int writeAll(WordWriter *w, const Url *out, const Url *source, int *created)
{
    int err = OleWriter_create(w->ctx, out, &w->out, 0);
    *created = err == Res_ok;
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
    Url *temp = err ? nullptr : temporaryUrl(target);
    if (!err && !temp)
        err = Res_noMemory;
    if (!err) {
        // A file the save may have made, even partly, is its own to
        // remove; anything that held the name before is not.
        int existed = 0;
        static constexpr uint32_t modes[2] = {Vfs_modeRead, Vfs_modeList};
        for (uint32_t mode : modes) {
            VfsHandle *probe = nullptr;
            uint32_t accepted = 0;
            if (!existed && Vfs_open(temp, mode, &probe, &accepted, w->ctx) == Res_ok) {
                existed = 1;
                (void)Vfs_close(probe);
            }
        }
        int created = 0;
        err = writeAll(w, temp, source, &created);
        created |= !existed;
        // Only a complete file replaces the target, by one rename; a
        // temporary file the save made goes again on failure (whatever
        // else holds its name is not the save's to remove).
        if (!err)
            err = Vfs_rename(w->ctx, temp, target);
        if (err && created)
            (void)Vfs_urlOp15(w->ctx, temp);
    }
    WordWriter_freeState(w);
    Url_free(temp);
    Url_free(source);
    Mem_free(w);
    return err;
}
