// The PowerPoint handler: MIME and content recognition, the open that
// loads a presentation slide by slide into the document, and the step and
// close of page-on-demand documents, whose reader stays with the document
// so that each page is read when it is needed.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "office/powerpoint/ppt.h"
#include "platform/vfs/vfs.h"

namespace {

void releaseNothing(EngineContext *, Edr_HandlerDesc *) {}

// The reader of a page-on-demand document with the stream it reads.
struct PptLoader {
    PptReader *reader;
    VfsHandle *stream;
};

} // namespace

int Ppt_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && (Ustr_icmpCstr(mime, "application/powerpoint") == 0 ||
                      Ustr_icmpCstr(mime, "application/vnd.ms-powerpoint") == 0)
                 ? 100
                 : 0;
    return Res_ok;
}

int Ppt_sniff(EngineContext *, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
              uint32_t *typeId)
{
    *score = 0;
    OleHandle *ole = nullptr;
    int err = Ole_openStream(stream, &ole);
    if (err == Res_ok) {
        OleStream *s = nullptr;
        uint8_t b[28];
        size_t got = 0;
        uint32_t storage = 0;
        err = Ppt_findStorage(ole, &storage);
        if (err == Res_ok)
            err = Ole_streamOpenByName(ole, &s, storage, u"Current User");
        if (err == Res_ok)
            err = Ole_streamReadAt(s, 0, sizeof b, &got, b);
        // An encrypted presentation is taken too, so that its open can say
        // why it is not shown.
        if (err == Res_ok && Ppt_currentUserKind(b, uint32_t(got)) != 0) {
            *score = 100;
            *typeId = Ppt_docKind;
        }
        (void)Ole_streamClose(&s);
        Ole_close(&ole);
    }
    if (err == Res_noMemory)
        return err;
    return Vfs_seek(stream, 0);
}

int Ppt_open(EngineContext *context, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root)
{
    PptReader *r = nullptr;
    OleHandle *ole = nullptr;
    PptLoader *loader = nullptr;
    int err = Edr_Doc_setTypeCode(doc, Ppt_typeCode);
    if (err == Res_ok)
        err = Ole_openStream(stream, &ole);
    if (err == Res_ok)
        err = Ppt_readerCreate(context, doc, root, &r);
    if (err == Res_ok) {
        err = Ppt_openStreams(r, ole);
        ole = nullptr; // the reader's now
    }
    // The style sheet starts in the load, once the slide size is read.
    if (err == Res_ok) {
        r->onDemand = Edr_Doc_isPageOnDemand(doc);
        err = Ppt_loadDocument(r);
    }
    if (err == Res_ok && r->onDemand) {
        loader = static_cast<PptLoader *>(Mem_calloc(1, sizeof(PptLoader)));
        if (!loader)
            err = Res_noMemory;
    }
    if (err == Res_ok && loader) {
        loader->reader = r;
        loader->stream = stream;
        Edr_Doc_setLoaderData(doc, loader);
        return Res_ok;
    }
    Ole_close(&ole);
    Ppt_readerFree(r);
    int closed = Vfs_close(stream);
    return err != Res_ok ? err : closed;
}

int Ppt_handlerOpen(EngineContext *context, Edr_HandlerDesc *, void *, VfsHandle *stream,
                    Edr_Doc *doc, Edr_Node *target)
{
    int err = Edr_Doc_setFlags(doc, Ppt_featureFlags);
    if (err == Res_ok)
        err = Edr_Doc_setupFromStream(doc, stream);
    if (err != Res_ok) {
        (void)Vfs_close(stream);
        return err;
    }
    return Ppt_open(context, stream, doc, target);
}

int Ppt_step(Edr_Doc *doc, uint32_t index)
{
    auto *loader = static_cast<PptLoader *>(Edr_Doc_getLoaderData(doc));
    if (!loader)
        return Res_notImplemented;
    return Ppt_walkRecords(loader->reader, index);
}

void Ppt_close(Edr_Doc *doc)
{
    auto *loader = static_cast<PptLoader *>(Edr_Doc_getLoaderData(doc));
    if (!loader)
        return;
    Edr_Doc_setLoaderData(doc, nullptr);
    Ppt_readerFree(loader->reader);
    (void)Vfs_close(loader->stream);
    Mem_free(loader);
}

int Ppt_describe(EngineContext *, Edr_HandlerDesc *desc)
{
    desc->matchMime = Ppt_matchMime; // word 1
    desc->sniff = Ppt_sniff;         // word 2
    desc->open = Ppt_handlerOpen;    // word 3
    desc->step = Ppt_step;           // word 4
    desc->close = Ppt_close;         // word 5
    desc->release = releaseNothing;  // word 12
    desc->enabled = 1;               // word 15
    return Res_ok;
}
