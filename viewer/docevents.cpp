// The viewer's document events.
#include "viewer/docevents.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/types/translate.h"
#include "document/edr/page.h"
#include "graphics/pixelbuf.h"
#include "viewer/thumbqueue.h"
#include "core/host/hostservices.h"
#include "document/edr/loadprogress.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "viewer/api/forward.h"
#include "platform/api/search.h"
#include "platform/url/url.h"
#include "viewer/flowmode.h"
#include "viewer/hostquery.h"
#include "viewer/itemlist.h"
#include "viewer/navigate.h"
#include "viewer/pageset.h"
#include "viewer/reports.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

constexpr uint32_t queueCapacity = 8;
// Event kinds the filter takes, and which of them the queue keeps.
constexpr int32_t filteredKinds[] = {0, 1, 6, 9, 2, 3, 4, 8};

FvPage *pageOf(FvViewer *viewer)
{
    return viewer ? viewer->page : nullptr;
}

bool isPageDocument(FvViewer *viewer, const Edr_Doc *doc)
{
    FvPage *page = pageOf(viewer);
    return page && doc && page->document == doc;
}

// A copy of a lent message that the queue can keep; null when the kind
// cannot be copied or memory ran out.
EventProcMsg *copyMessage(const EventProcMsg *msg)
{
    if (!msg->copyFn)
        return nullptr;
    EventProcMsg *copy = static_cast<EventProcMsg *>(Mem_calloc(1, sizeof(EventProcMsg)));
    if (!copy)
        return nullptr;
    copy->kind = msg->kind;
    copy->freeFn = msg->freeFn;
    copy->copyFn = msg->copyFn;
    copy->handlerArg = msg->handlerArg;
    copy->merge = msg->merge;
    if (msg->copyFn(msg, copy) != Res_ok) {
        Mem_free(copy);
        return nullptr;
    }
    return copy;
}

// The job on the application thread: the events from the head, one at a
// time, until none is left.
void runQueue(EngineInstance *instance, void *)
{
    FvViewer *viewer = Fv_fromApp(instance);
    FvEventQueue *q = viewer ? viewer->eventQueue : nullptr;
    if (!q)
        return;
    for (;;) {
        Lock_acquire(&q->lock);
        EventProcMsg *msg = nullptr;
        if (q->count > 0) {
            msg = q->events[0];
            memmove(q->events, q->events + 1, sizeof(EventProcMsg *) * (q->count - 1));
            q->count--;
        }
        if (q->count == 0 && q->capacity > queueCapacity) {
            if (void *smaller = Mem_realloc(q->events, sizeof(EventProcMsg *) * queueCapacity)) {
                q->events = static_cast<EventProcMsg **>(smaller);
                q->capacity = queueCapacity;
            }
        }
        if (!msg)
            q->running = 0;
        Lock_release(&q->lock);
        if (!msg)
            return;
        q->handler(viewer, msg);
        EventProc_freeMsg(msg);
        // The handler may have torn the queue down (the viewer closing).
        if (viewer->eventQueue != q)
            return;
    }
}

// A frame's document asks to open its source into itself (the URL is
// followed from a sub-document, keeping its URL, with the frame record):
// it is translated in place, its record going to the importer, and the
// page that shows the frame stays. 1 when the message was such a request
// (its URL and record are taken over), else 0.
int loadFrameSource(EngineContext *context, EventProcMsg *msg)
{
    EventProcKind6Msg *m =
        msg->kind == 6 ? static_cast<EventProcKind6Msg *>(msg->payload) : nullptr;
    if (!m || !m->view || !m->url || !(m->words[0] & Edr_Follow_keepDocUrl))
        return 0;
    Edr_Doc *parent = nullptr;
    Edr_Doc_getParentDoc(m->view, &parent);
    if (!parent)
        return 0;
    Edr_Doc_release(parent);
    Edr_Node *root = Edr_Doc_root(m->view);
    if (!root)
        return 0;
    Url *url = m->url;
    Obj *record = m->object;
    m->url = nullptr;
    m->object = nullptr;
    Translate_start(context ? context : Edr_Doc_getApp(m->view), m->view, root, url, record);
    return 1;
}

// The filter on the event processor: accepted events are queued.
void filter(EngineContext *context, EventProcMsg *msg, void *argument, int *)
{
    FvViewer *viewer = static_cast<FvViewer *>(argument);
    FvEventQueue *q = viewer->eventQueue;
    if (!q || !msg || loadFrameSource(context, msg))
        return;
    EventProcMsg *copy = copyMessage(msg);
    if (!copy)
        return;
    Lock_acquire(&q->lock);
    bool stored = true;
    if (q->count == q->capacity) {
        void *grown = Mem_realloc(q->events, sizeof(EventProcMsg *) * q->capacity * 2);
        if (grown) {
            q->events = static_cast<EventProcMsg **>(grown);
            q->capacity *= 2;
        } else {
            stored = false;
        }
    }
    bool post = false;
    if (stored) {
        q->events[q->count++] = copy;
        post = !q->running;
        q->running = 1;
    }
    Lock_release(&q->lock);
    if (!stored) {
        EventProc_freeMsg(copy);
        return;
    }
    if (post && App_postCall(context->instance, runQueue, nullptr, nullptr) != 0) {
        Lock_acquire(&q->lock);
        q->running = 0;
        Lock_release(&q->lock);
    }
}

void doNothing(EngineInstance *, void *) {}

// The request that hands a link the viewer does not open to the host.
constexpr int32_t linkRequestKind = 0x1000e;
constexpr int32_t linkRequestMode = 0x10000;

// The thumbnail limits the host asked for: "Vexlan_thumbnailWidth" and
// "Vexlan_thumbnailHeight" (100 each) and the height-to-width ratio in
// percent ("Vexlan_thumbnailHeightToWidthRatio", 100) as 16.16.
void thumbnailLimits(EngineContext *context, int32_t *width, int32_t *height, int32_t *ratio)
{
    ConfigStore *store = context->config;
    *width = int32_t(Config_getIntA(context, store, nullptr, "Vexlan_thumbnailWidth", 100));
    *height = int32_t(Config_getIntA(context, store, nullptr, "Vexlan_thumbnailHeight", 100));
    uint32_t percent =
        Config_getIntA(context, store, nullptr, "Vexlan_thumbnailHeightToWidthRatio", 100);
    *ratio = int32_t((uint64_t(percent) << 16) / 100);
}

void loadStarted(EngineInstance *instance, void *argument)
{
    (void)Fv_onLoadStarted(instance->context, static_cast<FvViewer *>(argument));
}

void sendRequest(FvViewer *viewer, int32_t code, void *record)
{
    App_sendRequest(viewer->context->instance, code, record);
}

void onCodeEvent(FvViewer *viewer, EventProcMsg *msg)
{
    const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
    if (!m)
        return;
    FvPage *page = pageOf(viewer);
    EngineInstance *instance = viewer->context->instance;
    switch (m->code) {
    case DocMsg_codeTranslateStarted:
        if (isPageDocument(viewer, m->document))
            (void)App_postCall(instance, loadStarted, viewer, nullptr);
        break;
    case DocMsg_codePageAdded:
        Thumb_readSizeSettings(viewer->context, msg, viewer);
        // A page added to the shown document changes its count: the host
        // hears the position again, so its "page/pages" is not left stale
        // until the next page turn.
        if (page && isPageDocument(viewer, m->document) && page->currentIndex >= 0)
            Fv_setCurrentPage(viewer, page, page->currentIndex);
        break;
    case DocMsg_codePageDropped: (void)Fv_ensureCurrentPage(viewer, page); break;
    case 10:
        // The layout changed: a document whose pages came after its first
        // display starts at its first page, and the fit follows the layout
        // unless a gesture has set the view.
        if (page && isPageDocument(viewer, m->document)) {
            if (page->currentIndex < 0 && Fv_isPageIndexValid(page, 0))
                (void)Fv_gotoPage(viewer, page, 0);
            EngineContext *context = viewer->context;
            if (Config_getIntA(context, context->config, nullptr, "FV_zoomAfterResize", 1) &&
                page->fitState != 1)
                Fv_applyInitialFit(viewer, page);
            sendRequest(viewer, Fv_requestLayoutChanged, nullptr);
        }
        break;
    case 14:
        // A layout pass ended: a flow view asked for is laid out now, so
        // the screen shows it again and the host hears the outcome.
        if (page && isPageDocument(viewer, m->document)) {
            FvModeOps *ops = FlowMode_ops(viewer);
            if (ops && ops->engaged && ops->notifyHost)
                ops->leave(viewer, 1);
        }
        break;
    case 15:
    case 16:
        // A page is ready: a page-by-page search moving to it goes on.
        if (m->code == 15)
            Search_onPageReady(viewer);
        if (page && isPageDocument(viewer, m->document)) {
            Fv_applyInitialFit(viewer, page);
            if (page->fitState != 1)
                page->fitState = 2;
            Fv_checkFlow(page, 0);
            Fv_redrawIfEnabled(viewer);
        }
        break;
    case DocMsg_codeTranslateFinished:
        if (page && isPageDocument(viewer, m->document)) {
            page->flowOverride = 1;
            char16_t *mime = nullptr;
            uint32_t id = 0;
            if (Edr_Doc_getMimeType(m->document, &mime, &id) == Res_ok && id != 0 && id != 36)
                page->docType = int32_t(id);
            Mem_free(mime);
            if (FlowMode_ops(viewer))
                (void)FlowMode_ops(viewer)->refresh(viewer);
        }
        break;
    case 17:
        if (page && isPageDocument(viewer, m->document)) {
            Fv_onFirstDisplay(viewer, page);
            // The host learns whether the shown document can flow.
            Fv_queryViewMode(viewer);
        }
        break;
    case 21: sendRequest(viewer, Fv_requestFitChanged, nullptr); break;
    case 31: {
        if (!page)
            break;
        int32_t percent = Fv_readLoadProgress(viewer, page);
        if (percent != page->loadPercent) {
            page->loadPercent = percent;
            if (page->firstDisplayPending) {
                FvProgressReport report{0, percent};
                sendRequest(viewer, Fv_requestProgress, &report);
            }
        }
        break;
    }
    case 32: {
        FvProgressReport report{0, 0};
        sendRequest(viewer, Fv_requestLimit, &report);
        break;
    }
    case DocMsg_codeStackExhausted:
        Host_engineRequest(instance->host, Fv_requestStopped, nullptr);
        break;
    case 36:
        if (page && !page->contentReported) {
            page->contentReported = 1;
            sendRequest(viewer, Fv_requestFirstContent, nullptr);
        }
        break;
    case 37: (void)App_postCall(instance, doNothing, viewer, nullptr); break;
    case 39:
    case 40:
    case 41: {
        if (!page)
            break;
        if (isPageDocument(viewer, m->document) || !m->document)
            page->editState = 0x10000 + (m->code - 39);
        else if (m->code == 41)
            page->editFlag = 1;
        FvEditReport report{page->editState, page->editFlag != 0};
        sendRequest(viewer, Fv_requestEditState, &report);
        break;
    }
    default: break;
    }
}

} // namespace

int32_t Fv_loadStatusAlert(int32_t status, int32_t firstDisplayPending)
{
    switch (status) {
    case 0: return 0x10000;
    case 1: return 0x10001;
    case 2: return 0x10002;
    case 3: return 0x10004;
    case 4: return firstDisplayPending ? 0 : 0x10003;
    case 5:
    case 8: return 0;
    case 13: return 0x10008;
    case 14: return 0x10005;
    case 15: return 0x10009;
    default: return status >= 0 && status <= 15 ? 0x10003 : 0;
    }
}

int Fv_registerDocEvents(FvViewer *viewer, int on)
{
    if (!viewer)
        return Res_missingArgument;
    if (!on) {
        FvEventQueue *q = viewer->eventQueue;
        if (!q)
            return Res_ok;
        for (int32_t kind : filteredKinds)
            // A listener that is already gone needs no removing; teardown goes on.
            (void)App_removeListener(viewer, kind, filter, viewer);
        viewer->eventQueue = nullptr;
        for (uint32_t i = 0; i < q->count; i++)
            EventProc_freeMsg(q->events[i]);
        Lock_fini(&q->lock);
        Mem_free(q->events);
        Mem_free(q);
        return Res_ok;
    }
    if (viewer->eventQueue)
        return Res_ok;
    FvEventQueue *q = static_cast<FvEventQueue *>(Mem_calloc(1, sizeof(FvEventQueue)));
    EventProcMsg **events =
        static_cast<EventProcMsg **>(Mem_calloc(queueCapacity, sizeof(EventProcMsg *)));
    if (!q || !events) {
        Mem_free(q);
        Mem_free(events);
        return Res_noMemory;
    }
    // Lock_init cannot fail.
    (void)Lock_init(viewer->context, &q->lock);
    q->events = events;
    q->capacity = queueCapacity;
    q->viewer = viewer;
    q->handler = Fv_onDocEvent;
    viewer->eventQueue = q;
    for (int32_t kind : filteredKinds) {
        int r = App_addListener(viewer, kind, filter, viewer);
        if (r != Res_ok) {
            (void)Fv_registerDocEvents(viewer, 0);
            return r;
        }
    }
    return Res_ok;
}

void Fv_onDocEvent(FvViewer *viewer, EventProcMsg *msg)
{
    if (!viewer || !msg)
        return;
    PageSet_onEvent(viewer->pageSet, msg);
    if (msg->kind == 1)
        onCodeEvent(viewer, msg);
    else if (msg->kind == 9)
        Fv_sendPageThumbnail(viewer, msg);
    else if (msg->kind == 6)
        Fv_onLinkEvent(viewer, msg);
    // The end of a closing document's translation, finished or failed,
    // lets a pending load go on.
    Edr_Doc *ended = nullptr;
    if (msg->kind == EventProc_kindCode && msg->payload) {
        const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
        if (m->code == DocMsg_codeDocClosed || m->code == DocMsg_codeTranslateFinished)
            ended = m->document;
    } else if (msg->kind == EventProc_kindReport && msg->payload) {
        ended = static_cast<const EventProcDocMsg *>(msg->payload)->view;
    }
    if (ended && viewer->loadingCount)
        Fv_removeLoading(viewer, ended);
}

int32_t Fv_readLoadProgress(FvViewer *viewer, FvPage *page)
{
    if (!viewer || !page || !page->document)
        return -1;
    LoadProgress *tracker = PageSet_tracker(viewer->pageSet, uint32_t(page->key));
    if (!tracker)
        return -1;
    static constexpr uint32_t weights[LoadProgress_categories] = {30, 50, 10, 10, 0};
    int32_t percent = LoadProgress_percent(tracker, weights);
    int32_t done1 = 0, total1 = 0, done2 = 0, total2 = 0;
    LoadProgress_get(tracker, 1, &done1, &total1);
    LoadProgress_get(tracker, 2, &done2, &total2);
    if (done1 != -1 && total1 != -1 && done2 != -1 && total2 != -1 && done1 != 0)
        page->bytesTotal = done1;
    return percent;
}

void Thumb_readSizeSettings(EngineContext *context, EventProcMsg *msg, FvViewer *viewer)
{
    FvPage *page = pageOf(viewer);
    if (!context || !msg || !page || viewer->options.word[FvStart_interactiveMode] != 0)
        return;
    const EventProcCodeMsg *m =
        msg->kind == 1 ? static_cast<const EventProcCodeMsg *>(msg->payload) : nullptr;
    if (!m || m->document != page->document || !page->document)
        return;
    int32_t width = 0, height = 0, ratio = 0;
    thumbnailLimits(context, &width, &height, &ratio);
    uint16_t *pixels = nullptr;
    int32_t w = 0, h = 0, stride = 0;
    if (Thumb_renderDocument(context, page->document, width, height, uint32_t(ratio), &pixels, &w,
                             &h, &stride) != Res_ok)
        return;
    FvThumbnailReport report{pixels, w, h, m->argument, h * stride, page->document};
    App_sendRequest(context->instance, Fv_requestThumbnail, &report);
    Mem_free(pixels);
}

void Fv_sendPageThumbnail(FvViewer *viewer, EventProcMsg *msg)
{
    const EventProcKind9Msg *m =
        msg && msg->kind == 9 ? static_cast<const EventProcKind9Msg *>(msg->payload) : nullptr;
    if (!viewer || !m || !m->view)
        return;
    EngineContext *context = viewer->context;
    Edr_Doc *doc = m->view;
    int32_t key = int32_t(m->pageKey);
    uint32_t kind = uint32_t(m->pageKind);
    uint32_t index = 0;
    if (Edr_Page_indexOf(&index, doc, key, kind) != Res_ok)
        return;
    int32_t width = 0, height = 0, ratio = 0;
    thumbnailLimits(context, &width, &height, &ratio);
    PixelBuf *thumb = nullptr;
    if (View_renderThumbnail(context, doc, key, kind, &thumb, width, height, ratio) != Res_ok ||
        !thumb)
        return;
    FvThumbnailReport report{thumb->pixels,
                             thumb->width,
                             thumb->height,
                             intptr_t(index),
                             thumb->height * int32_t(thumb->stride),
                             reinterpret_cast<const void *>(intptr_t(key))};
    App_sendRequest(context->instance, Fv_requestThumbnail, &report);
    PixelBuf_destroy(thumb);
}

void Fv_onLinkEvent(FvViewer *viewer, EventProcMsg *msg)
{
    const EventProcKind6Msg *m =
        msg && msg->kind == 6 ? static_cast<const EventProcKind6Msg *>(msg->payload) : nullptr;
    FvPage *page = pageOf(viewer);
    if (!m || !m->url || !page)
        return;
    int32_t linkFlags = int32_t(m->words[0]);
    bool shown =
        page->url && Url_compare(m->url, page->url,
                                 UrlPart_scheme | UrlPart_host | UrlPart_path | UrlPart_query) == 0;
    uint32_t scheme = Url_getScheme(m->url);
    if (!shown && scheme != UrlScheme_file && scheme != UrlScheme_about) {
        // Not the viewer's to open: the host follows it.
        char *text = Url_toUtf8(m->url, UrlPart_all);
        if (!text)
            return;
        FvLinkReport report{linkRequestKind, text, linkRequestMode};
        sendRequest(viewer, Fv_requestLink, &report);
        Mem_free(text);
        return;
    }
    if (!shown) {
        int32_t accepted = 0;
        if (Fv_confirmLink(viewer, page, m->url, linkFlags, 0, &accepted) != Res_ok || !accepted)
            return;
    }
    // The page record opens it: a fragment of the shown document moves the
    // view, another document loads.
    Url *copy = Url_copy(m->url);
    if (!copy)
        return;
    int r = View_openUrl(viewer, 0, copy, 0);
    if (r != Res_ok) {
        Url_free(copy);
        if (r != 1)
            App_reportError(viewer->context->instance, Fv_alertOpenFailed, 0);
    }
}

int32_t Fv_linkKind(int32_t linkFlags)
{
    if (linkFlags & 8)
        return 0x10001;
    if (linkFlags & 64)
        return 0x10003;
    if (linkFlags & 32)
        return 0x10002;
    return 0x10000;
}

int Fv_confirmLink(FvViewer *viewer, FvPage *, const Url *url, int32_t linkFlags, int32_t flagWord,
                   int32_t *accepted)
{
    *accepted = 0;
    if (!viewer || !url)
        return Res_missingArgument;
    char *text = Url_toUtf8(url, UrlPart_scheme | UrlPart_host | UrlPart_path | UrlPart_query |
                                     UrlPart_fragment);
    if (!text)
        return Res_noMemory;
    HostQueryLink link{
        0, text, url->data, uint32_t(url->dataLength), flagWord, Fv_linkKind(linkFlags), 0};
    if (HostQuery_ask(viewer, 0, HostQuery_linkQuestion, &link, nullptr, nullptr))
        *accepted = link.answer == HostQuery_yes ? 1 : 0;
    Mem_free(text);
    return Res_ok;
}

int Fv_stopDocuments(FvViewer *viewer)
{
    FvPage *page = pageOf(viewer);
    if (!page || !page->document || page->loadPercent == 100)
        return Res_ok;
    (void)Edr_Doc_stopTranslation(page->document);
    Edr_Doc_stopImages(page->document);
    page->progressA = 1;
    return Res_ok;
}

int Fv_onLoadStarted(EngineContext *context, FvViewer *viewer)
{
    Host_engineRequest(context->instance->host, Fv_requestWorkStarted, nullptr);
    // The start notice is queued and may come after a quick load has
    // already been shown: the first display is armed again only while the
    // load is still running, or it would be reported twice.
    if (FvPage *page = pageOf(viewer); page && page->loadState == FvLoad_loading)
        page->firstDisplayPending = 1;
    return 1;
}
