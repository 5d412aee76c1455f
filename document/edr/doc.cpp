// The eDR document record: creation, references and views, release in its
// fixed order, the closed stub kept for views, destruction on a worker,
// the document's own worker jobs and the application's eDR record.
//
// Creation builds the record step by step; a failure at any step undoes
// what was done, so a failed create leaves no heap block behind. Release of
// the last reference closes the document: it stops the work that runs for
// it, frees the tree and every owned part in one fixed order and, when
// views still hold the record, keeps a zeroed stub (page list and load
// accounting only) that the last view frees.
#include "document/edr/doc.h"

#include <cstring>

#include "core/config/config.h"
#include "core/container/intern.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/worker.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "document/edit/selection.h"
#include "document/edr/docmarks.h"
#include "document/edr/docevents.h"
#include "document/edr/edr_internal.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/edr/requests.h"
#include "document/manager/manager.h"
#include "document/style/style.h"
#include "document/types/translate.h"
#include "fonts/docfonts.h"
#include "fonts/fontengine.h"
#include "graphics/image.h"
#include "document/edr/loadprogress.h"
#include "document/edr/webops.h"
#include "document/edr/layoutops.h"
#include "document/edr/attachtable.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "document/edr/viewops.h"

namespace {

const char16_t kEdrDomain[] = u"eDR";

// The handler of kind 11 on a document's dispatcher: nothing to do.
void ignoreKind11(EngineContext *, EventProcMsg *, void *, int *) {}

// True when named is doc or one of its sub-documents (at any depth).
bool namesDocOrChild(Edr_Doc *doc, const Edr_Doc *named)
{
    for (int hops = 0; named && hops <= int(Edr_maxDepth) + 1; hops++, named = named->parent)
        if (named == doc)
            return true;
    return false;
}

// The completion listener on the application's processor: counts down the
// outstanding completions of the document (a report, and a code message
// saying its translation finished, naming it or one of its sub-documents),
// not below -1; the last one on a finished translation wakes the manager.
void completionListener(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(context);
    const Edr_Doc *named = nullptr;
    bool finished = false;
    if (msg->kind == EventProc_kindReport) {
        named = static_cast<EventProcDocMsg *>(msg->payload)->view;
    } else if (msg->kind == EventProc_kindCode) {
        EventProcCodeMsg *m = static_cast<EventProcCodeMsg *>(msg->payload);
        if (m->code != DocMsg_codeTranslateFinished)
            return;
        named = m->document;
        finished = true;
    } else {
        return;
    }
    if (!named || !namesDocOrChild(doc, named))
        return;
    Lock_acquire(&doc->mutex);
    if (doc->pendingLoads > -1)
        doc->pendingLoads--;
    bool wake = finished && doc->pendingLoads == 0 && !doc->markFlag && !doc->closed;
    Lock_release(&doc->mutex);
    if (wake)
        // A change whose pass cannot be scheduled now is retried by the next change.
        (void)Edr_Mgr_queueChange(doc);
}

// Appends the document to the application's list and gives it its serial.
void registerDoc(Edr_App *ea, Edr_Doc *doc)
{
    if (!ea)
        return;
    Lock_acquire(&ea->lock);
    Edr_Doc **link = &ea->firstDoc;
    while (*link)
        link = &(*link)->nextDoc;
    *link = doc;
    doc->nextDoc = nullptr;
    doc->serial = ++ea->docCounter;
    Lock_release(&ea->lock);
}

void unregisterDoc(Edr_App *ea, Edr_Doc *doc)
{
    if (!ea)
        return;
    Lock_acquire(&ea->lock);
    for (Edr_Doc **link = &ea->firstDoc; *link; link = &(*link)->nextDoc) {
        if (*link == doc) {
            *link = doc->nextDoc;
            break;
        }
    }
    doc->nextDoc = nullptr;
    Lock_release(&ea->lock);
}

void freeKeyedGroups(Edr_Doc *doc)
{
    Edr_KeyedGroup *e = doc->keyedGroups;
    while (e) {
        Edr_KeyedGroup *next = e->next;
        for (Edr_Node *g : e->groups)
            if (g)
                Edr_Node_destroy(doc, g);
        Mem_free(e);
        e = next;
    }
    doc->keyedGroups = nullptr;
    Edr_NumberedGroup *n = doc->numberedGroups;
    while (n) {
        Edr_NumberedGroup *next = n->next;
        if (n->group)
            Edr_Node_destroy(doc, n->group);
        Mem_free(n);
        n = next;
    }
    doc->numberedGroups = nullptr;
}

void freeUnlinked(Edr_Doc *doc)
{
    Edr_Node *n = doc->unlinked;
    doc->unlinked = nullptr;
    while (n) {
        Edr_Node *next = n->next;
        n->next = nullptr;
        Edr_Node_destroy(doc, n);
        n = next;
    }
}

// Frees, in the fixed order of destruction, every owned part that exists;
// null-safe so that a failed creation uses it too.
void freeParts(Edr_Doc *doc)
{
    Edr_App *ea = Edr_App_get(doc->app);
    Edr_Web_redirectFree(doc->app, doc);
    doc->redirect = nullptr;
    Mem_free(doc->targetName);
    doc->targetName = nullptr;
    unregisterDoc(ea, doc);
    Mem_free(doc->auxText);
    doc->auxText = nullptr;
    if (doc->pageList) {
        Edr_Sel_free(doc, doc->pageList->selection);
        doc->pageList->selection = nullptr;
    }
    // The focus holds a reference on a node of the tree about to go.
    if (doc->pageList)
        Edr_View_releaseFocus(doc->app, doc->pageList->view, doc);
    if (doc->root) {
        Edr_Node_destroy(doc, doc->root);
        doc->root = nullptr;
    }
    freeUnlinked(doc);
    StrTable_destroy(doc->strings);
    doc->strings = nullptr;
    Url_free(doc->url);
    doc->url = nullptr;
    Url_free(doc->baseUrl);
    doc->baseUrl = nullptr;
    if (doc->translateAux) {
        Lock_fini(&doc->translateAux->lock);
        Mem_free(doc->translateAux);
        doc->translateAux = nullptr;
    }
    AppMsg_destroyDispatcher(doc->events);
    doc->events = nullptr;
    freeKeyedGroups(doc);
    Edr_Doc_freePrivateTable(doc);
    Edr_AttrRecord *r = doc->freeRecords;
    while (r) {
        Edr_AttrRecord *next = r->next;
        Mem_free(r->value);
        Mem_free(r);
        r = next;
    }
    doc->freeRecords = nullptr;
    if (doc->pageList) {
        Edr_View_destroyHighlightStyle(doc->app, doc->pageList->view);
        doc->pageList->view = nullptr;
        // The layout cache's font lists and interned text formats go
        // before the record that holds their heads.
        Edr_Layout_clearCache(doc->app, doc->pageList->sharedLists);
        Edr_View_destroySharedLists(doc->app, doc->pageList->sharedLists);
        doc->pageList->sharedLists = nullptr;
    }
    while (doc->fontCount)
        Font_unregister(doc->app, static_cast<FontFace *>(doc->fonts[--doc->fontCount]));
    Mem_free(doc->fonts);
    doc->fonts = nullptr;
    doc->fontCapacity = 0;
    Edr_StyleCtx_free(doc);
    DocRequests_free(doc->requests);
    doc->requests = nullptr;
    Edr_SourceDetails_free(doc->sourceDetails);
    doc->sourceDetails = nullptr;
    Doc_freeMarkList(doc);
    Mem_free(doc->mimeType);
    doc->mimeType = nullptr;
    Mem_free(doc->manager.record);
    doc->manager.record = nullptr;
    Mem_free(doc->jobs);
    doc->jobs = nullptr;
    doc->jobCapacity = 0;
    Lock_fini(&doc->manager.lock);
    Lock_fini(&doc->hookLock);
    Lock_fini(&doc->translateLock);
    RwLock_fini(&doc->treeLock);
    Sem_fini(&doc->questionSem);
}

// Frees the page-list record and the record itself.
void freeRecord(Edr_Doc *doc)
{
    if (doc->pageList) {
        RwLock_fini(&doc->pageList->lock);
        Mem_free(doc->pageList);
    }
    Lock_fini(&doc->mutex);
    Mem_free(doc);
}

int createDoc(EngineContext *app, Edr_Doc **out, Edr_Node **outRoot, uint32_t variant)
{
    if (out)
        *out = nullptr;
    if (outRoot)
        *outRoot = nullptr;
    if (!app || !out)
        return Res_missingArgument;
    Edr_App *ea = Edr_App_get(app);
    int err = Res_noMemory;
    bool listening = false;

    // 1. The record and its page-list record.
    Edr_Doc *doc = static_cast<Edr_Doc *>(Mem_calloc(1, sizeof(Edr_Doc)));
    if (!doc)
        return Res_noMemory;
    doc->pageList = static_cast<Edr_PageList *>(Mem_calloc(1, sizeof(Edr_PageList)));
    if (!doc->pageList) {
        Mem_free(doc);
        return Res_noMemory;
    }
    doc->pageList->owner = doc;
    doc->app = app;

    // 2. Translation fields and settings.
    Lock_init(app, &doc->translateLock);
    doc->pageOnDemand = Config_getIntA(app, app->config, kEdrDomain, "page.on.demand", 0) != 0;
    doc->referrerPolicy = Edr_referrerUnread;

    // 3. Locks and counts.
    if ((err = RwLock_init(app, &doc->treeLock)) != 0)
        goto fail;
    if ((err = RwLock_init(app, &doc->pageList->lock)) != 0)
        goto fail;
    Lock_init(app, &doc->mutex);
    doc->refCount = 1;
    doc->pendingLoads = 1;
    Lock_init(app, &doc->manager.lock);
    Lock_init(app, &doc->hookLock);
    Sem_init(app, &doc->questionSem, 1, 1);

    // 4. The root group, with its one reference.
    if ((err = Edr_Node_newGroup(&doc->root, 0)) != 0)
        goto fail;
    doc->root->flags += Edr_Node_countUnit;

    // 5. Shared lists, view record and the document's dispatcher.
    if ((err = Edr_View_createSharedLists(app, &doc->pageList->sharedLists)) != 0)
        goto fail;
    if ((err = Edr_View_createHighlightStyle(app, &doc->pageList->view)) != 0)
        goto fail;
    if ((err = AppMsg_createDispatcherMode(
             app, &doc->events, ea && (ea->options & 1) ? EventProc_inlineMode : 0)) != 0)
        goto fail;

    // 6. Handlers on the document's dispatcher, the completion listener on
    // the application's.
    if ((err = EventProc_setKindHandler(doc->events, EventProc_kindNodeEvent, Edr_Doc_onNodeEvent,
                                        doc)) != 0)
        goto fail;
    if ((err = EventProc_setKindHandler(doc->events, EventProc_kindViewText, ignoreKind11, doc)) !=
        0)
        goto fail;
    if (app->eventProc) {
        if ((err = EventProc_addListener(app, app->eventProc, EventProc_kindCode,
                                         completionListener, doc)) != 0)
            goto fail;
        listening = true;
        if ((err = EventProc_addListener(app, app->eventProc, EventProc_kindReport,
                                         completionListener, doc)) != 0)
            goto fail;
    }

    // 7. Requests, jobs, redirection, registration, translator record, hooks.
    if ((err = DocRequests_create(doc, app, &doc->requests)) != 0)
        goto fail;
    doc->jobs = static_cast<Edr_DocJob **>(Mem_calloc(4, sizeof(Edr_DocJob *)));
    if (!doc->jobs) {
        err = Res_noMemory;
        goto fail;
    }
    doc->jobCapacity = 4;
    if ((err = Edr_Mgr_init(app, doc)) != 0)
        goto fail;
    if ((err = Edr_Web_redirectCreate(app, doc)) != 0)
        goto fail;
    registerDoc(ea, doc);
    doc->stamp = 0;
    doc->translateAux = static_cast<Edr_TranslateAux *>(Mem_calloc(1, sizeof(Edr_TranslateAux)));
    if (!doc->translateAux) {
        err = Res_noMemory;
        goto fail;
    }
    Lock_init(app, &doc->translateAux->lock);
    doc->translateAux->count = 1;
    if (ea) {
        doc->hookContext = ea->hookContext;
        doc->hookSpare = ea->hookSpare;
        doc->imageHook = ea->imageHook;
        doc->pageHook = ea->pageHook;
        doc->displayHooks = ea->displayHooks;
    }

    // 8. Identity defaults.
    doc->targetName = Ustr_dup(u"_self");
    if (!doc->targetName) {
        err = Res_noMemory;
        goto fail;
    }
    doc->sourceWord = -1;
    doc->mimeId = 0;
    doc->typeCode = Edr_typeCodeNew;
    doc->startFlag = 1;
    doc->variantFlag = variant;
    Doc_clearMarks(doc);

    *out = doc;
    if (outRoot)
        *outRoot = doc->root;
    return Res_ok;

fail:
    Edr_Mgr_stop(doc);
    if (listening) {
        // Not listening any more is all that matters.
        (void)EventProc_removeListener(app->eventProc, EventProc_kindCode, completionListener, doc);
        // A listener that is already gone needs no removing; teardown goes on.
        (void)EventProc_removeListener(app->eventProc, EventProc_kindReport, completionListener,
                                       doc);
    }
    freeParts(doc);
    freeRecord(doc);
    return err;
}

// Turns a closed document whose views remain into its stub: every field
// after the counts is zeroed except app, closed, loadStats and pageList.
void makeStub(Edr_Doc *doc)
{
    EngineContext *app = doc->app;
    LoadProgress *stats = doc->loadStats;
    Edr_PageList *pages = doc->pageList;
    size_t from = offsetof(Edr_Doc, treeLock);
    memset(reinterpret_cast<char *>(doc) + from, 0, sizeof(Edr_Doc) - from);
    doc->app = app;
    doc->closed = 1;
    doc->translateJob = nullptr;
    doc->loadStats = stats;
    doc->pageList = pages;
}

// The done callback of the destroy and stop-images jobs.
void destroyDone(void *argument)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(argument);
    EngineContext *app = doc->app;
    Edr_Doc_release(doc);
    Edr_App *ea = Edr_App_get(app);
    if (!ea)
        return;
    Lock_acquire(&ea->lock);
    if (ea->pendingDestroys && --ea->pendingDestroys == 0)
        Sem_signal(&ea->destroyed);
    Lock_release(&ea->lock);
}

void destroyDocCallback(void *) {}

void countPendingDestroy(EngineContext *app)
{
    Edr_App *ea = Edr_App_get(app);
    if (!ea)
        return;
    Lock_acquire(&ea->lock);
    ea->pendingDestroys++;
    Lock_release(&ea->lock);
}

// Gathers the image nodes that hold an image object.
struct ImageGather {
    ImageHandle **images;
    uint32_t count;
    uint32_t capacity;
    int err;
};

int gatherImage(Edr_Node *node, int *, int *, void *context)
{
    ImageGather *g = static_cast<ImageGather *>(context);
    if (Edr_Node_type(node) != Edr_NodeType_image)
        return 0;
    ImageHandle *image = Edr_Node_imagePayload(node)->image;
    if (!image)
        return 0;
    if (g->count == g->capacity) {
        uint32_t cap = g->capacity ? g->capacity * 2 : 8;
        void *grown = Mem_realloc(g->images, cap * sizeof(ImageHandle *));
        if (!grown)
            return Res_noMemory;
        g->images = static_cast<ImageHandle **>(grown);
        g->capacity = cap;
    }
    g->images[g->count++] = image;
    return 0;
}

void stopImages(void *argument)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(argument);
    EngineContext *app = doc->app;
    ImageGather g{};
    Image_pauseJobs(app);
    Edr_Doc_readLock(doc);
    if (doc->root)
        g.err = Edr_Node_walk(gatherImage, nullptr, &g, 0, doc->root);
    Edr_Doc_readUnlock(doc);
    for (uint32_t i = 0; i < g.count; i++)
        Image_setStopped(g.images[i], 1);
    for (uint32_t i = 0; i < g.count; i++)
        Image_setStopped(g.images[i], 0);
    Image_resumeJobs(app);
    Mem_free(g.images);
}

} // namespace

// ----------------------------------------------------------- application

Edr_App *Edr_App_get(EngineContext *app)
{
    return app ? app->edrApp : nullptr;
}

int Edr_App_init(EngineContext *app, uint32_t options)
{
    if (!app)
        return Res_missingArgument;
    if (app->edrApp)
        return Res_slotInUse;
    Edr_App *ea = static_cast<Edr_App *>(Mem_calloc(1, sizeof(Edr_App)));
    if (!ea)
        return Res_noMemory;
    ea->defaults = static_cast<Prop *>(Mem_calloc(Edr_defaultPropCount, sizeof(Prop)));
    if (!ea->defaults) {
        Mem_free(ea);
        return Res_noMemory;
    }
    // The default property table is the style sets' defaults.
    if (Edr_Style_initDefaults(ea->defaults)) {
        for (uint32_t id = 0; id < Edr_defaultPropCount; id++)
            Prop_free(&ea->defaults[id]);
        Mem_free(ea->defaults);
        Mem_free(ea);
        return Res_noMemory;
    }
    Lock_init(app, &ea->lock);
    Sem_init(app, &ea->destroyed, 0, 1);
    ea->reflowLimit = 0x80000;
    ea->rejectWidth = Config_getIntA(app, app->config, kEdrDomain, "reflow.reject.width", 0);
    ea->rejectHeight = Config_getIntA(app, app->config, kEdrDomain, "reflow.reject.height", 0);
    ea->options = options;
    app->edrApp = ea;
    return Res_ok;
}

void Edr_App_fini(EngineContext *app)
{
    Edr_App *ea = Edr_App_get(app);
    if (!ea)
        return;
    for (;;) {
        Lock_acquire(&ea->lock);
        uint32_t pending = ea->pendingDestroys;
        Lock_release(&ea->lock);
        if (!pending)
            break;
        Sem_wait(&ea->destroyed);
    }
    for (uint32_t id = 0; id < Edr_defaultPropCount; id++)
        Prop_free(&ea->defaults[id]);
    Mem_free(ea->defaults);
    Mem_free(ea->block);
    Sem_fini(&ea->destroyed);
    Lock_fini(&ea->lock);
    Mem_free(ea);
    app->edrApp = nullptr;
}

// -------------------------------------------------------------- lifecycle

int Edr_Doc_create(EngineContext *app, Edr_Doc **doc, Edr_Node **root)
{
    return createDoc(app, doc, root, 0);
}

int Edr_Doc_createVariant(EngineContext *app, Edr_Doc **doc, Edr_Node **root)
{
    return createDoc(app, doc, root, 1);
}

void Edr_Doc_addRef(Edr_Doc *doc)
{
    if (!doc)
        return;
    Lock_acquire(&doc->mutex);
    doc->refCount++;
    Lock_release(&doc->mutex);
}

void Edr_Doc_tryAddRef(Edr_Doc *doc, Edr_Doc **out)
{
    *out = nullptr;
    if (!doc)
        return;
    Lock_acquire(&doc->mutex);
    if (doc->refCount && !doc->closed) {
        doc->refCount++;
        *out = doc;
    }
    Lock_release(&doc->mutex);
}

int Edr_Doc_dropRefKeep(Edr_Doc *doc)
{
    if (!doc)
        return 0;
    Lock_acquire(&doc->mutex);
    int dropped = doc->refCount > 1;
    if (dropped)
        doc->refCount--;
    Lock_release(&doc->mutex);
    return dropped;
}

void Edr_Doc_release(Edr_Doc *doc)
{
    if (!doc)
        return;
    // 1. The last reference closes the document.
    Lock_acquire(&doc->mutex);
    if (doc->refCount != 1 || doc->closed) {
        // A closed stub has count 0 and is never released again.
        if (doc->refCount > 1)
            doc->refCount--;
        Lock_release(&doc->mutex);
        return;
    }
    doc->closed = 1;
    Lock_release(&doc->mutex);

    EngineContext *app = doc->app;
    // 2. Hold the image jobs; take the translation job out and cancel it.
    Image_pauseJobs(app);
    Lock_acquire(&doc->translateLock);
    WorkerJob *job = doc->translateJob;
    doc->translateJob = nullptr;
    doc->translating = 0;
    Lock_release(&doc->translateLock);
    if (job)
        Worker_cancel(job);

    // 3. No tree change from now on.
    Edr_Doc_writeLockWait(doc);
    doc->closing = 1;
    Edr_Doc_writeUnlock(doc);

    // 4. Stop listening for completions; wait for the translation job.
    if (app->eventProc) {
        // Not listening any more is all that matters.
        (void)EventProc_removeListener(app->eventProc, EventProc_kindCode, completionListener, doc);
        // A listener that is already gone needs no removing; teardown goes on.
        (void)EventProc_removeListener(app->eventProc, EventProc_kindReport, completionListener,
                                       doc);
    }
    if (job)
        Worker_waitAndFree(job);

    // 5. The importer frees its state.
    if (doc->handler && doc->handler->close)
        doc->handler->close(doc);

    // 6. Jobs, manager, page work, dispatcher.
    Edr_Doc_cancelAllJobs(doc);
    Edr_Mgr_stop(doc);
    Translate_stopPageWork(doc);
    EventProc_stop(doc->events);
    AppMsg_drain(doc->events);
    // No handler left is all that matters.
    (void)EventProc_clearKindHandler(doc->events, EventProc_kindNodeEvent, Edr_Doc_onNodeEvent,
                                     doc);
    (void)EventProc_clearKindHandler(doc->events, EventProc_kindViewText, ignoreKind11, doc);

    // 7. Every owned part, in the fixed order.
    freeParts(doc);

    // 8. The source stream; then the stub or the end of the record.
    Lock_acquire(&doc->mutex);
    (void)Vfs_close(doc->sourceStream); // a close failure leaves nothing to undo here
    doc->sourceStream = nullptr;
    if (doc->viewCount) {
        makeStub(doc);
        doc->refCount = 0;
        doc->viewCount++;
        Lock_release(&doc->mutex);
        if (app->eventProc) {
            EventProcCodeMsg closedMsg{DocMsg_codeDocClosed, doc, nullptr, 0};
            // A notice that cannot be posted is lost; what it reports is done either way.
            (void)EventProc_postCode(app->eventProc, &closedMsg);
        }
        Edr_Doc_releaseView(doc);
    } else {
        LoadProgress_release(doc->loadStats);
        Lock_release(&doc->mutex);
        freeRecord(doc);
    }
    // 9. Let the image jobs go on.
    Image_resumeJobs(app);
}

void Edr_Doc_getView(Edr_Doc **out, Edr_Doc *doc)
{
    *out = doc;
    Edr_Doc_addView(doc);
}

void Edr_Doc_addView(Edr_Doc *doc)
{
    if (!doc)
        return;
    Lock_acquire(&doc->mutex);
    doc->viewCount++;
    Lock_release(&doc->mutex);
}

void Edr_Doc_releaseView(Edr_Doc *doc)
{
    if (!doc)
        return;
    Lock_acquire(&doc->mutex);
    uint32_t was = doc->viewCount;
    if (was)
        doc->viewCount--;
    bool last = was == 1 && doc->refCount == 0;
    if (last)
        LoadProgress_release(doc->loadStats);
    Lock_release(&doc->mutex);
    if (!last)
        return;
    Edr_Sel_free(doc, doc->pageList ? doc->pageList->selection : nullptr);
    freeRecord(doc);
}

int Edr_Doc_isSame(const Edr_Doc *a, const Edr_Doc *b)
{
    return a == b;
}

// ------------------------------------------------------------ translation

int Edr_Doc_stopTranslation(Edr_Doc *doc)
{
    Lock_acquire(&doc->translateLock);
    WorkerJob *job = doc->translateJob;
    int r = job ? Worker_cancel(job) : 0;
    Lock_release(&doc->translateLock);
    return r;
}

void Edr_Doc_startTranslation(Edr_Doc *doc, WorkerJob *job)
{
    Lock_acquire(&doc->translateLock);
    doc->translateJob = job;
    Lock_release(&doc->translateLock);
}

WorkerJob *Edr_Doc_detachTranslation(Edr_Doc *doc)
{
    Lock_acquire(&doc->translateLock);
    WorkerJob *job = doc->translateJob;
    doc->translateJob = nullptr;
    Lock_release(&doc->translateLock);
    return job;
}

int Edr_Doc_claimTranslation(Edr_Doc *doc)
{
    Lock_acquire(&doc->translateLock);
    int claimed = !doc->translating;
    doc->translating = 1;
    Lock_release(&doc->translateLock);
    return claimed;
}

void Edr_Doc_endTranslation(Edr_Doc *doc)
{
    Lock_acquire(&doc->translateLock);
    doc->translating = 0;
    Lock_release(&doc->translateLock);
}

// ------------------------------------------------------------------- jobs

int Edr_Doc_startJob(Edr_Doc *doc, intptr_t key, int32_t priority, Edr_DocJobFn entry,
                     intptr_t word, Edr_DocJobFn cancel, size_t stack)
{
    Edr_DocJob *rec = static_cast<Edr_DocJob *>(Mem_calloc(1, sizeof(Edr_DocJob)));
    if (!rec)
        return Res_noMemory;
    rec->key = key;
    rec->word = word;
    // Room and the closing check under the mutex; the record is listed
    // before the job is queued, so that a job ending at once finds it.
    Lock_acquire(&doc->mutex);
    if (doc->closing) {
        Lock_release(&doc->mutex);
        Mem_free(rec);
        return Res_docClosing;
    }
    if (doc->jobCount == doc->jobCapacity) {
        uint32_t cap = doc->jobCapacity ? doc->jobCapacity * 2 : 4;
        void *grown = Mem_realloc(doc->jobs, cap * sizeof(Edr_DocJob *));
        if (!grown) {
            Lock_release(&doc->mutex);
            Mem_free(rec);
            return Res_noMemory;
        }
        doc->jobs = static_cast<Edr_DocJob **>(grown);
        doc->jobCapacity = cap;
    }
    doc->jobs[doc->jobCount++] = rec;
    Lock_release(&doc->mutex);

    int err = Worker_submit(doc->app, &rec->job, priority, entry, rec, cancel, stack, "f");
    if (err) {
        Lock_acquire(&doc->mutex);
        for (uint32_t i = 0; i < doc->jobCount; i++) {
            if (doc->jobs[i] == rec) {
                memmove(doc->jobs + i, doc->jobs + i + 1,
                        (doc->jobCount - i - 1) * sizeof(Edr_DocJob *));
                doc->jobCount--;
                break;
            }
        }
        Lock_release(&doc->mutex);
        Mem_free(rec);
    }
    return err;
}

uint32_t Edr_Doc_jobCount(Edr_Doc *doc)
{
    Lock_acquire(&doc->mutex);
    uint32_t n = doc->jobCount;
    Lock_release(&doc->mutex);
    return n;
}

namespace {

void cancelMatching(Edr_Doc *doc, bool all, intptr_t key)
{
    Edr_DocJob **taken = nullptr;
    uint32_t count = 0, capacity = 0;
    Lock_acquire(&doc->mutex);
    uint32_t keep = 0;
    for (uint32_t i = 0; i < doc->jobCount; i++) {
        Edr_DocJob *rec = doc->jobs[i];
        if (all || rec->key == key) {
            if (count == capacity) {
                uint32_t cap = capacity ? capacity * 2 : 4;
                void *grown = Mem_realloc(taken, cap * sizeof(Edr_DocJob *));
                if (!grown) {
                    // Without room the record stays listed; it is taken at
                    // the next cancel or freed by the job's own end.
                    doc->jobs[keep++] = rec;
                    continue;
                }
                taken = static_cast<Edr_DocJob **>(grown);
                capacity = cap;
            }
            taken[count++] = rec;
        } else {
            doc->jobs[keep++] = rec;
        }
    }
    doc->jobCount = keep;
    Lock_release(&doc->mutex);
    for (uint32_t i = 0; i < count; i++) {
        Worker_cancel(taken[i]->job);
        Worker_waitAndFree(taken[i]->job);
        Mem_free(taken[i]);
    }
    Mem_free(taken);
}

} // namespace

void Edr_Doc_cancelJobs(Edr_Doc *doc, intptr_t key)
{
    cancelMatching(doc, false, key);
}

void Edr_Doc_cancelAllJobs(Edr_Doc *doc)
{
    cancelMatching(doc, true, 0);
}

// ------------------------------------------------------ work on workers

void Edr_Doc_stopImages(Edr_Doc *doc)
{
    if (!doc)
        return;
    EngineContext *app = doc->app;
    Edr_Doc_addRef(doc);
    countPendingDestroy(app);
    WorkerJob *job = nullptr;
    int err = Worker_submit(app, &job, 1, stopImages, doc, destroyDone, 4096,
                            "(void(*)(void*))stopImages");
    if (err) {
        // Without a worker the work runs here; the reference taken for it
        // is given back by the completion once the work is done.
        stopImages(doc);
        destroyDone(doc);
        return;
    }
    Worker_detach(job);
}

void Edr_Doc_destroyOnWorker(Edr_Doc *doc)
{
    if (!doc)
        return;
    EngineContext *app = doc->app;
    countPendingDestroy(app);
    WorkerJob *job = nullptr;
    int err = Worker_submit(app, &job, 1, destroyDocCallback, doc, destroyDone, 4096,
                            "(void(*)(void*))destroyDocCallback");
    if (err) {
        destroyDone(doc);
        return;
    }
    Worker_detach(job);
}
