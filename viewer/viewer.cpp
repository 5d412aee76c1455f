// The viewer's application side: configuring the engine, starting and
// tearing down the view, and opening documents into the page record.
//
// The viewer keeps one page record with the shown document and its view on
// the display; a load reports its end to the host: request 0x1000A with the
// document's information when it loaded, the failed-load report and its
// alert when it failed.
#include "viewer/viewer.h"

#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/listeners.h"
#include "core/text/charset.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/types/translate.h"
#include "core/host/hostservices.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "viewer/api/keys.h"
#include "platform/url/url.h"
#include "viewer/screen/bitmapscale.h"
#include "graphics/bitmap.h"
#include "graphics/image.h"
#include "viewer/dispupdate.h"
#include "viewer/thumbqueue.h"
#include "viewer/anim/anim.h"
#include "viewer/docevents.h"
#include "viewer/api/forward.h"
#include "viewer/fvdisplay.h"
#include "viewer/hostquery.h"
#include "viewer/pageset.h"
#include "viewer/reports.h"
#include "viewer/settings.h"
#include "viewer/screen/cursor.h"
#include "viewer/screen/overlay.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/flowmode.h"
#include "viewer/navigate.h"
#include "viewer/view.h"
#include "viewer/zoompan.h"

namespace {

constexpr int32_t errorOpenFailed = Fv_alertOpenFailed;
// Open flag bit 0: the URL is marked as class 2.
constexpr intptr_t openClass2 = 1;
// Open flag bit 1: reload even when the URL is the one shown.
constexpr intptr_t openReload = 2;
// Code message of a finished translation.
constexpr int32_t codeTranslated = 13;
// Code message of a display that moved to another page of its document.
constexpr int32_t codeKeysChanged = DispmanMsg_keysChanged;

// A new 8-bit (UTF-8) copy of 16-bit text; null for null or without
// memory.
char *narrow(const char16_t *text)
{
    char *out = nullptr;
    if (!text || Charset_fromUstr(nullptr, text, &out, CharsetCode_utf8) != Res_ok)
        return nullptr;
    return out;
}

// On the application thread: the outcome of the page's current load.
void reportOutcome(FvViewer *viewer, FvPage *page)
{
    if (page->loadState == FvLoad_loaded) {
        page->loaded = 1;
        Fv_onFirstDisplay(viewer, page);
    } else if (page->loadState == FvLoad_failed) {
        // The one report of a failed load of the shown document: the load
        // status's alert (an out-of-memory load, status 5, has none in the
        // table: it is the out-of-memory alert).
        int32_t alert = page->loadStatus == Translate_kindNoMemory
                            ? int32_t(Fv_alertNoMemory)
                            : Fv_loadStatusAlert(page->loadStatus, page->firstDisplayPending);
        if (alert) {
            Fv_reportLoadFailed(viewer, page->url, page->loadStatus, page->loadResult);
            App_reportError(viewer->context->instance, alert, 0);
        }
    } else if (page->loadState == FvLoad_noMemory) {
        Fv_reportLoadFailed(viewer, page->url, Translate_kindNoMemory, page->loadResult);
        App_reportError(viewer->context->instance, Fv_alertNoMemory, 0);
    }
}

// The posted outcome of a load nobody waits for; the argument is the load
// serial, so an outcome of a document that has been replaced meanwhile is
// not reported.
void loadEnded(EngineInstance *instance, void *serial)
{
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    if (page && page->loadSerial == reinterpret_cast<intptr_t>(serial))
        reportOutcome(viewer, page);
}

void settle(FvPage *page, int32_t state)
{
    if (page->loadState != FvLoad_loading)
        return;
    page->loadState = state;
    if (page->waiting) {
        Sem_signal(&page->settled);
        return;
    }
    EngineInstance *instance = page->viewer->context->instance;
    App_postCall(instance, loadEnded, reinterpret_cast<void *>(page->loadSerial), nullptr);
}

// The whole display view goes on its high-quality list: the fresh
// document replaces what the old one left on the screen.
void redrawDisplay(FvViewer *viewer)
{
    if (viewer->display)
        (void)Edr_Fwd_sendViewOp(viewer->display);
}

// On the application thread: the page the display now shows of a document
// that builds its pages on demand is asked for; the translation builds it
// unless it is the page built last. The argument is the load serial, so a
// request of a document replaced meanwhile is dropped.
void requestShownPage(EngineInstance *instance, void *serial)
{
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page || page->loadSerial != reinterpret_cast<intptr_t>(serial) || !page->document ||
        !page->pageView || !page->pageView->node)
        return;
    Edr_SubdocNode *link = Edr_Node_subdocPayload(page->pageView->node);
    uint32_t index = 0;
    if (!link || link->child != page->document || !Edr_Doc_isPageOnDemand(page->document) ||
        Edr_Page_indexOf(&index, page->document, int32_t(link->pageKey), uint32_t(link->pageKind)))
        return;
    (void)Translate_requestPage(page->document, Edr_Doc_root(page->document), index);
}

// Listener of the application's event processor: code 13 (translated),
// code 12 (the display moved to another page of the document) and reports
// (kind 0: the translation failed) of the page's document.
void pageListener(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    FvPage *page = static_cast<FvPage *>(context);
    if (!page->document)
        return;
    if (msg->kind == EventProc_kindCode) {
        const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
        if (m->document == page->document && m->code == codeTranslated)
            settle(page, FvLoad_loaded);
        if (m->document == page->document && m->code == codeKeysChanged)
            App_postCall(page->viewer->context->instance, requestShownPage,
                         reinterpret_cast<void *>(page->loadSerial), nullptr);
    } else if (msg->kind == EventProc_kindReport) {
        const EventProcDocMsg *m = static_cast<const EventProcDocMsg *>(msg->payload);
        if (m->view == page->document && page->loadState == FvLoad_loading) {
            page->loadStatus = m->code;
            page->loadResult = int32_t(m->word);
            settle(page, m->code == Translate_kindNoMemory ? FvLoad_noMemory : FvLoad_failed);
        }
    }
}

void stopListening(EngineContext *context, FvPage *page)
{
    if (!page->listening || !context->eventProc)
        return;
    // Not listening any more is all that matters.
    (void)EventProc_removeListener(context->eventProc, EventProc_kindReport, pageListener, page);
    // A listener that is already gone needs no removing; teardown goes on.
    (void)EventProc_removeListener(context->eventProc, EventProc_kindCode, pageListener, page);
    page->listening = 0;
}

void freePage(EngineContext *context, FvPage *page)
{
    if (!page)
        return;
    FvPageView_free(page->pageView);
    page->pageView = nullptr;
    stopListening(context, page);
    Edr_Doc_release(page->document);
    Url_free(page->url);
    Sem_fini(&page->settled);
    Mem_free(page);
}

// The screens from the host's geometry, and the start screen bound: the
// allowed screen of the orientation "Vexlan_defaultScreen" names, else the
// first. A host that reports no usable display leaves the viewer without a
// screen; nothing is drawn then.
void bindStartScreen(FvViewer *viewer)
{
    EngineContext *context = viewer->context;
    if (ScreenList_count(context) == 0 && ScreenSet_create(context, 0) != Res_ok)
        return;
    uint32_t code =
        Config_getIntA(context, context->config, nullptr, "Vexlan_defaultScreen", 0x10000);
    int32_t orientation = Fv_orientationOfScreenSetting(code);
    Screen *screen = Screen_findAllowedByOrientation(context, orientation, nullptr);
    ScreenBinding_setScreen(viewer->screen, screen ? screen : ScreenList_get(context, 0));
}

// The settings directory: root followed by "/".
char *settingsDirOf(const char *root)
{
    size_t n = strlen(root);
    char *dir = static_cast<char *>(Mem_malloc(n + 2));
    if (!dir)
        return nullptr;
    memcpy(dir, root, n);
    dir[n] = '/';
    dir[n + 1] = 0;
    return dir;
}

// The same document: scheme, host, path and query equal.
bool sameDocument(const Url *a, const Url *b)
{
    return a && b &&
           Url_compare(a, b, UrlPart_scheme | UrlPart_host | UrlPart_path | UrlPart_query) == 0;
}

// The display view on the bound screen in the background colour, and the
// page's view in it. Without a screen, or without memory for them, the
// viewer runs without a display: nothing is drawn.
void createDisplay(FvViewer *viewer, FvPage *page)
{
    Screen *screen = ScreenBinding_screen(viewer->screen);
    EngineContext *context = viewer->context;
    if (!screen || viewer->display)
        return;
    uint32_t colour =
        Config_getIntA(context, context->config, nullptr, "FV_bgColour", Fv_defaultBackground);
    if (FvDisplay_create(context, screen, colour, &viewer->display) != Res_ok)
        return;
    if (FvPageView_create(viewer->display, nullptr, &page->pageView) != Res_ok)
        page->pageView = nullptr;
    Fv_refreshMargins(viewer);
}

// The closing list: adds doc once (false without memory), takes it off
// (false when it was not there).
bool addLoading(FvViewer *viewer, Edr_Doc *doc)
{
    for (uint32_t i = 0; i < viewer->loadingCount; i++)
        if (viewer->loadingDocs[i] == doc)
            return true;
    if (viewer->loadingCount == viewer->loadingCapacity) {
        uint32_t capacity = viewer->loadingCapacity ? viewer->loadingCapacity * 2 : 4;
        void *grown = Mem_realloc(viewer->loadingDocs, sizeof(Edr_Doc *) * capacity);
        if (!grown)
            return false;
        viewer->loadingDocs = static_cast<Edr_Doc **>(grown);
        viewer->loadingCapacity = capacity;
    }
    viewer->loadingDocs[viewer->loadingCount++] = doc;
    return true;
}

bool takeLoading(FvViewer *viewer, Edr_Doc *doc)
{
    for (uint32_t i = 0; i < viewer->loadingCount; i++) {
        if (viewer->loadingDocs[i] != doc)
            continue;
        viewer->loadingDocs[i] = viewer->loadingDocs[--viewer->loadingCount];
        return true;
    }
    return false;
}

} // namespace

int Engine_configure(FvViewer *viewer, intptr_t, const char *rootUrl, const char *fontUrl,
                     const char *)
{
    if (!viewer || !viewer->context || !rootUrl || !fontUrl)
        return Res_nullInput;
    EngineContext *context = viewer->context;
    Listener_init(&viewer->listeners, viewer);
    if (context->config) {
        // Another application configured the engine already: only its
        // thumbnail limit is registered, and this viewer binds a screen.
        Fv_registerDefaults(viewer, 1);
        if (!viewer->screen)
            viewer->screen = static_cast<FvScreen *>(Mem_calloc(1, sizeof(FvScreen)));
        if (!viewer->screen || Fv_registerResizeListeners(viewer) != Res_ok)
            return Res_noMemory;
        bindStartScreen(viewer);
        viewer->configured = 1;
        return Res_ok;
    }
    // The module start-up and teardown are the application's.
    const FvModuleOps *modules = viewer->modules;
    if (!modules || !modules->initModules || !modules->initServices || !modules->finiModules)
        return Res_notImplemented;
    int r = modules->initModules(context, &viewer->options);
    if (r != Res_ok)
        return r;
    if (!context->config)
        context->config = Config_createStore(context, u"Core");
    if (!context->config) {
        modules->finiModules(context, 0);
        return Res_noMemory;
    }
    r = Config_createWatchRegistry(context);
    char *dir = r == Res_ok ? settingsDirOf(rootUrl) : nullptr;
    if (r == Res_ok && !dir)
        r = Res_noMemory;
    if (r != Res_ok) {
        modules->finiModules(context, 0);
        return r;
    }
    Fv_registerDefaults(viewer, 0);
    r = modules->initServices(context, fontUrl, dir, Host_configure);
    Mem_free(dir);
    if (r != Res_ok)
        return r;
    // The services watch the thumbnail size limit from now on; the value the
    // viewer stored above is told to them once, else the limit stays 0 (none)
    // and every thumbnail is drawn at its page's full size.
    Config_notify(context, nullptr, u"DispmanthumbMaxSize");
    if (auto hook =
            reinterpret_cast<void (*)(EngineContext *)>(viewer->options.word[FvStart_configHook]))
        hook(context);
    Config_setIntA(context, context->config, u"x", "translateFileSize",
                   uint32_t(viewer->options.word[FvStart_translateFileSize]), 0);
    Config_setIntA(context, context->config, nullptr, "OptimiseTextDaForPowerzoom", 1, 0);
    if (!viewer->screen)
        viewer->screen = static_cast<FvScreen *>(Mem_calloc(1, sizeof(FvScreen)));
    if (!viewer->screen || Screen_startModule(context) != Res_ok ||
        Fv_registerResizeListeners(viewer) != Res_ok) {
        modules->finiModules(context, 0);
        return Res_noMemory;
    }
    Fv_setFontCacheSizes(viewer, viewer->startUrl);
    (void)Fv_readSubsampleThreshold(viewer, viewer->startUrl);
    Config_setIntA(context, context->config, nullptr, "Dispman_MaxHqInterrupts",
                   uint32_t(viewer->options.word[FvStart_maxHqInterrupts]), 0);
    Fv_allocReserve(viewer);
    bindStartScreen(viewer);
    // The overlay composes its sprites over the start screen; the cursor
    // and the busy indicator are two of them.
    if (Screen *start = ScreenBinding_screen(viewer->screen)) {
        (void)Fv_registerBuiltinImages(context);
        if (Overlay_createManager(context, start, Screen_getBuffer(start)))
            (void)Overlay_createCursor(viewer, nullptr);
    }
    if (PageSet_create(context, &viewer->pageSet) != Res_ok) {
        modules->finiModules(context, 0);
        return Res_noMemory;
    }
    viewer->configured = 1;
    return Res_ok;
}

int View_start(FvViewer *viewer)
{
    if (!viewer)
        return Res_missingArgument;
    if (viewer->page)
        return Res_ok;
    EngineContext *context = viewer->context;
    FvPage *page = static_cast<FvPage *>(Mem_calloc(1, sizeof(FvPage)));
    if (!page)
        return Res_noMemory;
    page->viewer = viewer;
    page->loadPercent = -1;
    page->editState = 0x10002;
    page->panSettle = page->zoomSettle = FvSettle_done;
    page->currentIndex = page->pageCount = -1;
    FvView *view = static_cast<FvView *>(Mem_calloc(1, sizeof(FvView)));
    FvZoomPanSettings *settings = ZoomPan_createSettings(nullptr);
    if (!view || !settings || Sem_init(context, &page->settled, 0, 1) != Res_ok) {
        Mem_free(settings);
        Mem_free(view);
        Mem_free(page);
        return Res_noMemory;
    }
    int r = EventProc_addListener(context, context->eventProc, EventProc_kindReport, pageListener,
                                  page);
    if (r == Res_ok) {
        r = EventProc_addListener(context, context->eventProc, EventProc_kindCode, pageListener,
                                  page);
        if (r != Res_ok) // undoing the first: r already says what failed
            // A listener that is already gone needs no removing; teardown goes on.
            (void)EventProc_removeListener(context->eventProc, EventProc_kindReport, pageListener,
                                           page);
    }
    if (r != Res_ok) {
        Sem_fini(&page->settled);
        Mem_free(settings);
        Mem_free(view);
        Mem_free(page);
        return r;
    }
    page->listening = 1;
    if (!HostQuery_initGate(viewer) || Fv_registerDocEvents(viewer, 1) != Res_ok ||
        Fv_registerPanLimits(viewer) != 0 || ZoomPoint_create(viewer) != 0 ||
        (!viewer->viewCallbacks && FvViewer_createCallbacks(viewer) != Res_ok) ||
        !FlowMode_ops(viewer)) {
        FvViewer_freeCallbacks(viewer);
        ZoomPoint_free(viewer);
        HostQuery_finiGate(viewer);
        stopListening(context, page);
        Sem_fini(&page->settled);
        Mem_free(settings);
        Mem_free(view);
        Mem_free(page);
        return Res_noMemory;
    }
    viewer->page = page;
    createDisplay(viewer, page);
    view->viewer = viewer;
    view->instance = context->instance;
    view->page = page;
    view->settings = settings;
    viewer->zoomPanSettings = settings;
    viewer->settingsChanged = 1;
    context->settingsChanged = App_settingsChanged;
    viewer->zoom = 0x10000;
    view->zoom = 0x10000;
    view->zoomCentre[0] = view->zoomCentre[1] = -1;
    // The key view has the screen's size from the start: the page keys pan
    // by it, and without it they would not move until the first resize.
    if (const Screen *screen = ScreenBinding_screen(viewer->screen)) {
        view->width = Screen_width(screen);
        view->height = Screen_height(screen);
        view->screenFlags = (view->screenFlags & ~uint32_t(Fv_orientationMask)) |
                            (screen->flags & Screen_orientationMask);
    }
    context->instance->keyView = view;
    return Res_ok;
}

int View_openUrl(FvViewer *viewer, intptr_t key, Url *url, intptr_t flags)
{
    FvPage *page = viewer ? Fv_pageById(viewer, int32_t(key)) : nullptr;
    if (!page)
        return 1;
    if (!url && !page->url)
        return Res_ok;
    const Url *target = url ? url : page->url;
    if (!(flags & openReload) && page->document && sameDocument(target, page->url)) {
        // The document shown already: only its fragment, when the URL has
        // one, moves the view.
        char16_t *fragment = nullptr;
        if (Url_getPart(target, UrlPart_fragment, &fragment) && fragment && *fragment)
            (void)Fv_gotoFragment(viewer, page, page->document, fragment, target, 1);
        Mem_free(fragment);
        Url_free(url);
        return Res_ok;
    }
    if (!viewer->loadPending) {
        int r = Fv_startLoad(viewer, page);
        if (r != Res_ok) {
            if (r != 1)
                return r;
            // The callers take 1 for a dropped request and say nothing: the
            // alert goes out here, once (the slice's own report is taken).
            (void)Mem_takeOutOfMemory();
            App_reportError(viewer->context->instance, Fv_alertNoMemory, 0);
            return 1;
        }
    }
    // The load started or waits: flag bit 0 marks the URL as class 2, bit
    // 1 (a reload) as class 4.
    Url *marked = url ? url : page->url;
    if (flags & openClass2)
        Url_setClass(marked, 2);
    if (flags & openReload)
        Url_setClass(marked, 4);
    // A pending load translates whatever URL the page holds when the
    // closing documents have ended: the newest open wins.
    if (url) {
        Url_free(page->url);
        page->url = url;
    }
    Fv_removeLoading(viewer, nullptr);
    return Res_ok;
}

int Fv_startLoad(FvViewer *viewer, FvPage *page)
{
    if (!viewer || !page)
        return Res_missingArgument;
    Edr_Doc *old = page->document;
    // A translation still running reports its end once stopped; one that
    // ended has nothing more to say, so its document is released now
    // rather than waited on.
    bool closing = old && page->loadState == FvLoad_loading;
    if (closing && !addLoading(viewer, old))
        return 1;
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    int r = Edr_Doc_create(viewer->context, &doc, &root);
    if (r != Res_ok) {
        if (closing)
            (void)takeLoading(viewer, old);
        return r == Res_noMemory ? 1 : r;
    }
    viewer->loadPending = 1;
    page->document = doc;
    page->root = root;
    // The page-set entry tracks the new document's load: its progress and
    // the first-page event (17) that edit mode waits for. Without memory
    // the load goes on untracked.
    (void)PageSet_setDocument(viewer->pageSet, uint32_t(page->key), doc);
    if (page->pageView)
        (void)FvPageView_setDocument(page->pageView, doc);
    if (FvView *view = viewer->context->instance->keyView) {
        if (view->page == page) {
            view->doc = doc;
            view->pageIndex = 0;
        }
    }
    page->loadSerial++;
    page->loadState = FvLoad_loading;
    page->firstDisplayPending = 1;
    page->initialFitWanted = 1;
    page->fitState = 0;
    page->currentIndex = page->pageCount = -1;
    page->loaded = 0;
    page->loadPercent = -1;
    page->contentReported = 0;
    if (closing)
        (void)Edr_Doc_stopTranslation(old);
    else
        Edr_Doc_release(old);
    return Res_ok;
}

void Fv_removeLoading(FvViewer *viewer, Edr_Doc *doc)
{
    if (!viewer)
        return;
    if (doc && takeLoading(viewer, doc))
        Edr_Doc_release(doc);
    FvPage *page = viewer->page;
    if (viewer->loadingCount != 0 || !viewer->loadPending || !page)
        return;
    viewer->loadPending = 0;
    Fv_setFontCacheSizes(viewer, page->url);
    if (Fv_readSubsampleThreshold(viewer, page->url) != Res_ok) {
        settle(page, FvLoad_noMemory);
        return;
    }
    // The image store takes the new subsampling threshold.
    ImageStore_applySettings(viewer->context);
    Fv_allocReserve(viewer);
    if (!page->url) {
        page->loadState = FvLoad_idle;
        redrawDisplay(viewer);
        return;
    }
    Url *copy = Url_copy(page->url);
    if (!copy) {
        (void)Mem_takeOutOfMemory();
        settle(page, FvLoad_noMemory);
        return;
    }
    if (char16_t *path = nullptr; Url_getPart(page->url, UrlPart_path, &path)) {
        Fv_setLowMemoryAnimations(viewer, path);
        Mem_free(path);
    }
    Translate_start(viewer->context, page->document, page->root, copy, nullptr);
    redrawDisplay(viewer);
    Fv_checkFlow(page, 1);
}

void Fv_reportLoadFailed(FvViewer *viewer, const Url *url, int32_t kind, int32_t code)
{
    if (!viewer || !viewer->context)
        return;
    char *path = nullptr;
    if (char16_t *wide = nullptr; url && Url_getPart(url, UrlPart_path, &wide)) {
        path = narrow(wide);
        Mem_free(wide);
    }
    FvLoadFailedReport report{kind, code, path};
    App_sendRequest(viewer->context->instance, Fv_requestLoadFailed, &report);
    Mem_free(path);
}

int App_openStart(FvViewer *viewer, FvPage **pageField, Url *url)
{
    FvPage *page = pageField ? *pageField : nullptr;
    if (!viewer || !page || !url) {
        Url_free(url);
        return Res_missingArgument;
    }
    // Waiting is declared first: the outcome may come while the load starts.
    page->waiting = 1;
    int r = View_openUrl(viewer, 0, url, 0);
    if (r != Res_ok) {
        page->waiting = 0;
        if (r != 1) {
            Fv_reportLoadFailed(viewer, url, -1, r);
            App_reportError(viewer->context->instance, errorOpenFailed, 0);
        }
        Url_free(url);
        return r;
    }
    if (viewer->loadPending) {
        // Documents still closing: the outcome is posted when it comes.
        page->waiting = 0;
        return Res_ok;
    }
    while (page->loadState == FvLoad_loading)
        Sem_wait(&page->settled);
    page->waiting = 0;
    reportOutcome(viewer, page);
    return Res_ok;
}

void View_destroy(FvViewer *viewer, int full)
{
    Engine_unconfigure(viewer, full);
}

void Engine_unconfigure(FvViewer *viewer, int)
{
    if (!viewer)
        return;
    EngineContext *context = viewer->context;
    context->settingsChanged = nullptr;
    if (FvView *view = context->instance->keyView) {
        context->instance->keyView = nullptr;
        Key_freeHooks(view);
        if (viewer->zoomPanSettings == view->settings)
            viewer->zoomPanSettings = nullptr;
        Mem_free(view->settings);
        Mem_free(view);
    }
    (void)Fv_registerDocEvents(viewer, 0);
    freePage(context, viewer->page);
    viewer->page = nullptr;
    PageSet_free(viewer->pageSet);
    viewer->pageSet = nullptr;
    for (uint32_t i = 0; i < viewer->loadingCount; i++)
        Edr_Doc_release(viewer->loadingDocs[i]);
    Mem_free(viewer->loadingDocs);
    viewer->loadingDocs = nullptr;
    viewer->loadingCount = viewer->loadingCapacity = 0;
    viewer->loadPending = 0;
    FvDisplay_free(viewer->display);
    viewer->display = nullptr;
    Mem_free(viewer->screen);
    viewer->screen = nullptr;
    HostQuery_finiGate(viewer);
    Listener_freeAll(&viewer->listeners);
    Fv_freeReserve(viewer);
    Mem_free(viewer->orientationCache);
    viewer->orientationCache = nullptr;
    ZoomPoint_free(viewer);
    FvViewer_freeCallbacks(viewer);
    Mem_free(viewer->zoomPanSettings);
    viewer->zoomPanSettings = nullptr;
    Cursor_destroy(viewer);
    (void)Overlay_destroyManager(context);
    Screen_stopModule(context);
    viewer->configured = 0;
    if (viewer->modules && viewer->modules->finiModules)
        viewer->modules->finiModules(context, 0);
}

int32_t Fv_hostEncodingOf(uint32_t charset)
{
    switch (charset) {
    case 0: return 0x10000;
    case 1: return 0x10007;
    case 30: return 0x10006;
    case 31: return 0x10003;
    case 32: return 0x10004;
    case 33: return 0x10005;
    case 34: return 0x10001;
    case 35: return 0x10002;
    default: return 0x10008;
    }
}

void Fv_reportDocInfo(FvViewer *viewer, intptr_t key)
{
    FvPage *page = Fv_pageById(viewer, int32_t(key));
    if (!page || !page->document)
        return;
    EngineInstance *instance = viewer->context->instance;
    char16_t *aux = nullptr, *mime = nullptr;
    uint32_t mimeId = 0;
    if (Edr_Doc_copyAuxText(page->document, &aux) != Res_ok)
        aux = nullptr;
    if (Edr_Doc_getMimeType(page->document, &mime, &mimeId) != Res_ok)
        mime = nullptr;
    char *auxText = narrow(aux);
    char *mimeText = narrow(mime);
    char *urlText = page->url ? Url_toUtf8(page->url, UrlPart_all) : nullptr;
    FvDocInfo info{page->key, auxText, urlText, mimeText};
    App_sendRequest(instance, Fv_requestDocInfo, &info);
    Mem_free(aux);
    Mem_free(mime);
    Mem_free(auxText);
    Mem_free(mimeText);
    Mem_free(urlText);
}

void Fv_onFirstDisplay(FvViewer *viewer, FvPage *page)
{
    if (!viewer || !page || !page->firstDisplayPending)
        return;
    page->firstDisplayPending = 0;
    Fv_freeReserve(viewer);
    FvStateReport report{};
    if (!page->loaded) {
        report.status = 0x10000;
    } else if (page->progressA || page->progressB) {
        report.status = 0x10001;
        page->progressA = page->progressB = 0;
    } else {
        report.status = 0x10002;
    }
    report.bytesOther = page->bytesTotal;
    report.reportA = page->reportA;
    report.loaded = page->loaded;
    report.reportB = page->reportB;
    report.encoding = Fv_hostEncodingOf(page->document ? Edr_Doc_getCharset(page->document) : 0);
    App_sendRequest(viewer->context->instance, Fv_requestState, &report);
    Fv_reportDocInfo(viewer, page->key);
    Fv_firstDisplayPlacement(viewer, page);
    (void)Listener_dispatch(&viewer->listeners, FvListen_shown, page);
}

int32_t Fv_orientationOfScreenSetting(uint32_t code)
{
    return code == 0x10001 ? 1 : code == 0x10002 ? 2 : code == 0x10004 ? 3 : 0;
}

FvViewer *Fv_fromApp(EngineInstance *instance)
{
    return static_cast<FvViewer *>(App_getObject(instance));
}

Screen *ScreenBinding_screen(const FvScreen *binding)
{
    return binding && binding->active ? binding->screen : nullptr;
}

void ScreenBinding_setScreen(FvScreen *binding, Screen *screen)
{
    if (!binding)
        return;
    binding->screen = screen;
    binding->active = screen ? 1 : 0;
}

void Fv_setBackgroundColour(FvScreen *binding, uint32_t colour)
{
    Screen *screen = ScreenBinding_screen(binding);
    if (!screen || !screen->lockOp)
        return;
    Screen_lock(screen);
    if (Bitmap *bitmap = Bitmap_createFromRecord(screen)) {
        // 0xRRGGBBAA into the drawing order 0xAABBGGRR.
        (void)Bitmap_fillColour(bitmap, __builtin_bswap32(colour));
        Bitmap_destroy(bitmap);
    }
    Screen_unlock(screen);
    Screen_flushUpdates(screen);
}

FvPage *Fv_pageById(FvViewer *viewer, int32_t id)
{
    return viewer && id == 0 ? viewer->page : nullptr;
}

void Fv_getKeptPosition(FvViewer *, FvPage *page, int, int32_t *x, int32_t *y)
{
    *x = page ? page->keptX : 0;
    *y = page ? page->keptY : 0;
}
