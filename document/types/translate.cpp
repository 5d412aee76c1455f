// Document translation: the "docTranslate" job that loads a document from
// its URL through the handler the registry picks, serves the pages of
// page-on-demand documents, resolves URL fragments and reports every
// outcome to the application.
//
// A job is at most one per document: Translate_start claims the
// document's translation under its translate lock. An ordinary document
// keeps the claim for its life, so a second start does nothing; a
// page-on-demand document gives it back at the end of each job, so that a
// later page request can start a job that only serves pages.
#include "document/types/translate.h"

#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/manager/manager.h"
#include "document/types/doctype.h"
#include "document/edr/webops.h"
#include "platform/api/engine.h"
#include "platform/api/errortext.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint32_t kModeRead = 0x2000011;     // read, seekable, and the document-load bit
constexpr uint32_t kModeTopLevel = 0x4000000; // the document is a top-level or marked one
constexpr uint32_t kPathPart = 4;
constexpr uint32_t kInfoSize = 0;
constexpr uint32_t kTypeWord = 226; // the Word importer's type code
constexpr uint32_t kTypePdf = 229;  // the PDF importer's type code

// Codes the stream and network layers use for a refused stream.
bool isRefusal(int code)
{
    return code == Res_wordEncrypted || code == Res_pdfPasswordRefused ||
           code == Res_presentationEncrypted || code == Res_workbookEncrypted;
}

// Posts a report {kind, code, view, text} to the application; text is
// taken over (null allowed).
void postReport(EngineContext *ctx, Edr_Doc *doc, int32_t kind, int32_t code, char16_t *text)
{
    EventProcDocMsg m{kind, code, nullptr, text};
    if (ctx->eventProc)
        (void)EventProc_postDoc(doc, ctx->eventProc, &m);
    else
        Mem_free(text);
}

void postCode(EngineContext *ctx, Edr_Doc *doc, int32_t code)
{
    if (!ctx->eventProc)
        return;
    EventProcCodeMsg m{code, doc, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(ctx->eventProc, &m);
}

void freeJob(TranslateJob *job)
{
    Url_free(job->url);
    Mem_free(job->pathText);
    Obj_finalizeFree(&job->openArg);
    Mem_free(job);
}

// a. Opens the source stream, recording the path's text and flags.
int openStream(TranslateJob *job)
{
    job->pathText = Url_toString(job->url, kPathPart);
    if (!job->pathText)
        return Res_noMemory;
    job->extFlags = Mime_flagsForFileName(job->pathText);
    uint32_t mode = kModeRead;
    if (Edr_Doc_parentMarkFlag(job->doc))
        mode |= kModeTopLevel;
    uint32_t accepted = 0;
    if (Vfs_getTypeFlags(job->ctx, job->url))
        return Vfs_openCached(job->ctx, job->url, mode, &job->stream, &accepted, 0, 0, 0);
    return Vfs_open(job->ctx, job->url, job->extFlags | mode, &job->stream, &accepted);
}

// b. A stream above the configured size is refused (844).
int checkSize(TranslateJob *job)
{
    uintptr_t value = 0;
    if (Vfs_getInfo(job->stream, kInfoSize, &value) != Res_ok || !value)
        return Res_ok;
    uint64_t size = *reinterpret_cast<const uint64_t *>(value);
    uint64_t limit =
        Config_getIntA(job->ctx, job->ctx->config, u"x", "translateFileSize", 0xFFFFFFFFu);
    return size > limit ? Res_fileTooLarge : Res_ok;
}

// g. Runs the handler's open, which takes the stream over. A stream of a
// typed (cached) source that is small enough keeps a duplicate as the
// document's source stream.
int runImporter(TranslateJob *job)
{
    VfsHandle *dup = nullptr;
    if (Vfs_getTypeFlags(job->ctx, job->url)) {
        uintptr_t value = 0;
        if (Vfs_getInfo(job->stream, kInfoSize, &value) == Res_ok && value &&
            *reinterpret_cast<const uint64_t *>(value) < Translate_memoryCopyLimit)
            (void)Vfs_clone(job->stream, &dup);
    }
    VfsHandle *stream = job->stream;
    job->stream = nullptr;
    int err =
        job->handler->open(job->ctx, job->handler, job->openArg, stream, job->doc, job->target);
    if (err == Res_ok && dup) {
        Edr_Doc_setSourceStream(job->doc, dup);
        dup = nullptr;
    }
    // The stream was only read or probed: a failed close loses nothing.
    (void)Vfs_close(dup);
    return err;
}

// Steps 3a to 3g: load a document that is not page-on-demand.
int loadDocument(TranslateJob *job)
{
    int err = openStream(job);
    if (err == Res_ok)
        err = checkSize(job);
    // A MIME archive ("multipart/related") shows its document part: the
    // archive takes the stream, and the part's URL opens in its place.
    if (err == Res_ok) {
        err = Edr_Web_openArchiveInPlace(job->ctx, &job->stream, &job->url);
        if (err == Res_ok && !job->stream) {
            Mem_free(job->pathText);
            job->pathText = nullptr;
            err = openStream(job);
        }
    }
    if (err == Res_ok)
        err = Edr_Doc_setUrl(job->doc, job->url);
    if (err == Res_ok)
        err = DocType_recognise(job->ctx, job->stream, &job->mime, &job->handler);
    if (err == Res_ok)
        err = Edr_Doc_setHandler(job->doc, job->handler);
    if (err == Res_ok && job->mime)
        err = Edr_Doc_setMimeType(job->doc, job->mime,
                                  Mime_typeFromString(job->mime, Ustr_len(job->mime)));
    if (err == Res_ok) {
        // The import is loading activity whatever the document's kind: its
        // end lets the document settle, which announces its first page.
        // A failed import ends its stretch without settling: it announces
        // no page, and the failure is what reaches the host.
        Edr_Mgr_busyBegin(job->doc);
        err = runImporter(job);
        if (err == Res_ok)
            Edr_Mgr_busyEnd(job->doc);
        else
            Edr_Mgr_busyCancel(job->doc);
    }
    return err;
}

// Serves page requests until the requested page is the current one.
int loadPages(TranslateJob *job)
{
    Edr_Doc *doc = job->doc;
    if (!Edr_Doc_getLoaderData(doc))
        return Res_ok;
    Edr_HandlerDesc *handler = Edr_Doc_getHandler(doc);
    int last = Res_ok;
    for (;;) {
        uint32_t requested = Edr_Doc_getTranslateState(doc);
        uint32_t current = Edr_Doc_getSelectedRootChild(doc);
        if (requested == current)
            return last;
        if (!handler || !handler->step)
            return Res_notImplemented;
        int err = Edr_Doc_dropPage(doc, requested, 0);
        if (err != Res_ok)
            return err;
        err = handler->step(doc, requested);
        if (err != Res_ok) {
            (void)Edr_Doc_dropPage(doc, requested, 1);
            return err;
        }
        if ((err = Edr_Doc_dropPage(doc, current, 1)) != Res_ok)
            return err;
        if ((err = Edr_Doc_markRootChild(doc, requested)) != Res_ok)
            return err;
        last = err;
    }
}

// The referrer carried in the URL's text form survives only when the
// document allows it for this URL.
int checkReferrer(TranslateJob *job)
{
    const char *text = Url_getCstr(job->url);
    if (!text)
        return Res_ok;
    Url *from = Url_newFromCstr(text);
    if (!from)
        return Res_noMemory;
    if (!Edr_Doc_referrerAllowed(job->doc, job->url, from))
        Url_setCstr(job->url, nullptr);
    Url_free(from);
    return Res_ok;
}

} // namespace

void Translate_start(EngineContext *ctx, Edr_Doc *doc, Edr_Node *target, Url *url, Obj *openArg)
{
    // 1. Missing arguments, a claimed translation, or a page job for a
    // document that has no pages to serve: nothing to do.
    if (!ctx || !doc || !target || (!url && !Edr_Doc_isPageOnDemand(doc)) ||
        !Edr_Doc_claimTranslation(doc)) {
        Url_free(url);
        Obj_finalizeFree(&openArg);
        return;
    }
    // 2. The job record and its target reference.
    TranslateJob *job = static_cast<TranslateJob *>(Mem_calloc(1, sizeof(TranslateJob)));
    int err = Res_noMemory;
    if (job) {
        job->ctx = ctx;
        job->url = url;
        job->doc = doc;
        job->openArg = openArg;
        url = nullptr;
        openArg = nullptr;
        err = Edr_Node_acquire(doc, target, &job->target);
    }
    // 3. The worker job. A finished page job that was never detached goes
    // first.
    if (err == Res_ok) {
        WorkerJob *old = Edr_Doc_detachTranslation(doc);
        if (old)
            Worker_detach(old);
        WorkerJob *worker = nullptr;
        err = Worker_submit(ctx, &worker, Translate_jobPriority, Translate_run, job,
                            Translate_cleanup, Translate_jobStack, "docTranslate");
        if (err == Res_ok) {
            Edr_Doc_startTranslation(doc, worker);
            return;
        }
        // 4. The target reference goes back.
        Edr_Node_release(doc, job->target);
    }
    // 5. The failure is reported and the claim given back.
    postReport(ctx, doc, isRefusal(err) ? Translate_kindRefused : Translate_kindError, err,
               Ustr_dup(Engine_unknownErrorText(err)));
    Edr_Doc_endTranslation(doc);
    Url_free(url);
    Obj_finalizeFree(&openArg);
    if (job)
        freeJob(job);
}

void Translate_run(void *argument)
{
    TranslateJob *job = static_cast<TranslateJob *>(argument);
    postCode(job->ctx, job->doc, DocMsg_codeTranslateStarted);
    job->started = 1;
    int err = job->url ? checkReferrer(job) : Res_ok;
    if (err == Res_ok && job->url && !Edr_Doc_isPageOnDemand(job->doc))
        err = loadDocument(job);
    // A handler may have switched page-on-demand on while opening.
    if (err == Res_ok && Edr_Doc_isPageOnDemand(job->doc))
        err = loadPages(job);
    job->result = err;
}

void Translate_report(TranslateJob *job)
{
    int32_t code = job->result;
    if (code != Res_ok && Task_checkStop(job->ctx) == Res_stopRequested)
        code = Res_stopRequested;
    int32_t kind = -1;
    char16_t *text = nullptr;
    switch (code) {
    case Res_ok:
        if (!job->started) {
            kind = Translate_kindAborted;
            text = Ustr_dup(u"Aborted");
        }
        break;
    case 24832: code = Res_ok; break;
    case Res_noMemory: kind = Translate_kindNoMemory; break;
    case Res_stopRequested: kind = Translate_kindAborted; break;
    case Res_docTypeNoMime:
        kind = Translate_kindError;
        text = Ustr_dup(u"No mimetype available");
        break;
    case Res_docTypeUnknown:
    case Res_docTypeNeedsContent:
        kind = Translate_kindUnknownType;
        text = job->mime ? Ustr_dup(job->mime) : nullptr;
        break;
    case Res_docTypeNoData:
        kind = Translate_kindNoData;
        text = Ustr_dup(u"No data received");
        break;
    default: kind = isRefusal(code) ? Translate_kindRefused : Translate_kindError; break;
    }
    if (kind >= 0 && !text &&
        (kind == Translate_kindNoMemory || kind == Translate_kindAborted ||
         kind == Translate_kindRefused || kind == Translate_kindError))
        text = Ustr_dup(Engine_unknownErrorText(code));
    Edr_Node_release(job->doc, job->target);
    job->target = nullptr;
    if (kind < 0) {
        if (job->started)
            postCode(job->ctx, job->doc, DocMsg_codeTranslateFinished);
    } else {
        postReport(job->ctx, job->doc, kind, code, text);
    }
    job->result = code;
}

void Translate_cleanup(void *argument)
{
    TranslateJob *job = static_cast<TranslateJob *>(argument);
    Edr_Doc *doc = job->doc;
    Translate_report(job);
    if (Edr_Doc_isPageOnDemand(doc)) {
        WorkerJob *worker = Edr_Doc_detachTranslation(doc);
        Edr_Doc_endTranslation(doc);
        if (worker)
            Worker_detach(worker);
    }
    // The stream was only read or probed: a failed close loses nothing.
    (void)Vfs_close(job->stream);
    job->stream = nullptr;
    freeJob(job);
}

int Translate_requestPage(Edr_Doc *doc, Edr_Node *target, uint32_t page)
{
    if (Edr_Doc_isPageOnDemand(doc)) {
        (void)Edr_Doc_setTranslateState(doc, page);
        if (Edr_Doc_getSelectedRootChild(doc) != page)
            Translate_start(Edr_Doc_getApp(doc), doc, target, nullptr, nullptr);
    }
    return Edr_Page_updateWindow(doc, int32_t(page));
}

int Translate_fragmentPage(Edr_Doc *doc, const char16_t *name, int32_t *page, int32_t rect[4])
{
    if (!doc || !name || !page || !rect)
        return Res_nullInput;
    *page = -1;
    uint32_t type = Edr_Doc_getTypeCodeLocked(doc);
    if (type != kTypeWord && type != kTypePdf)
        return Res_ok;
    if (Ustr_ncmpCstr(name, "page-", 5) == 0) {
        const char16_t *p = name + 5;
        uint64_t n = 0;
        bool digits = false;
        while (*p >= u'0' && *p <= u'9') {
            if (n < 0x80000000u)
                n = n * 10 + uint32_t(*p - u'0');
            digits = true;
            p++;
        }
        if (!digits || *p || n < 1 || n > 0x7FFFFFFFu)
            return Res_ok;
        *page = int32_t(n - 1);
    }
    Edr_HandlerDesc *handler = Edr_Doc_getHandler(doc);
    if (handler && handler->findFragment)
        return handler->findFragment(doc, name, rect);
    return Res_ok;
}

int Translate_findFragment(Edr_Doc *doc, const char16_t *name, int32_t rect[4], int32_t *page)
{
    memset(rect, 0, 4 * sizeof(int32_t));
    *page = -1;
    int err = Translate_fragmentPage(doc, name, page, rect);
    if (err != Res_ok || *page != -1)
        return err;
    return Edr_Web_fragmentRect(doc ? doc->app : nullptr, doc, name, rect, page);
}

int Translate_registerImage(Edr_Doc *doc, Edr_Node *node)
{
    // A node made final at creation (state 1) or without a picture to
    // fetch waits for nothing; every other one is fetched by the load queue
    // on the manager's next pass, which layout follows once it is decoded.
    Edr_ImageNode *payload = node ? Edr_Node_imagePayload(node) : nullptr;
    if (!doc || !payload || payload->image || (payload->loadState & 7) == 1)
        return Res_ok;
    const Url *url = payload->imageUrl;
    if (!url || ((!url->path || !url->path[0]) && (!url->host || !url->host[0]) && !url->data))
        return Res_ok;
    return Edr_LoadQueue_postImage(doc, node, 1);
}
