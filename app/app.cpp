// The application framework: the entry that the host starts the engine
// with, the application record, "SimpleAppThread" and its run from
// configuration to teardown and the open-document callbacks.
//
// Every creation step undoes what it made when it fails, so a start that
// fails at any point leaves nothing of the application behind, and the
// instance's application-failed flag says so.
#include "app/app.h"

#include <cstring>

#include "app/capture.h"
#include "app/modules.h"
#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/appevent.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "core/host/hostservices.h"
#include "html/web/sessionhistory.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "viewer/api/forward.h"
#include "viewer/api/keys.h"
#include "platform/url/url.h"
#include "viewer/docevents.h"
#include "viewer/hostquery.h"
#include "viewer/navigate.h"
#include "viewer/screen/screen.h"
#include "viewer/view.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

// The engine's fixed locations.
constexpr const char *rootLocation = "file://localhost/okala_dir";
constexpr const char *fontLocation = "file://localhost/okala_dir/Fonts/";
constexpr const char *resourceLocation = "file://localhost/okala_dir/Resource/";

// How long the identity screen shows at start-up.
constexpr int32_t identityMs = 2000;

// Error for the host's alert: the document could not be opened.
constexpr int32_t errorOpenFailed = 0x10002;

// The built-in default settings block; the viewer reads its copy.
constexpr uint8_t defaultSettings[App_settingsBlockBytes] = {};

// The record of the ready request: the application and its entry.
struct AppReadyRecord {
    FvViewer *viewer;
    EngineEntryFn entry;
};

FvViewer *viewerOf(EngineInstance *instance)
{
    return instance ? instance->viewer : nullptr;
}

// The history listener: a document that reports its information has been
// loaded; its URL goes to the history list.
int32_t historyListener(intptr_t code, intptr_t record, intptr_t instanceWord, void *)
{
    EngineInstance *instance = reinterpret_cast<EngineInstance *>(instanceWord);
    const FvDocInfo *info = reinterpret_cast<const FvDocInfo *>(record);
    if (code != Fv_requestDocInfo || !instance || !info || !info->urlText)
        return 0;
    AppCloseHook *history = instance->closeHooks[1];
    if (!history)
        return 0;
    if (Url *url = Url_newFromCstr(info->urlText)) {
        Session_historyAdd(reinterpret_cast<SessionHistory *>(history), url);
        Url_free(url);
    }
    return 0;
}

void freeValues(FvViewer *viewer)
{
    FvValueNode *next;
    for (FvValueNode *n = viewer->values; n; n = next) {
        next = n->next;
        Mem_free(n);
    }
    viewer->values = nullptr;
}

void freeCleanups(FvViewer *viewer)
{
    FvCleanupNode *next;
    for (FvCleanupNode *n = viewer->cleanups; n; n = next) {
        next = n->next;
        Mem_free(n);
    }
    viewer->cleanups = nullptr;
}

// Runs the cleanup callbacks, each node freed after its call.
void runCleanups(EngineInstance *instance, FvViewer *viewer)
{
    while (FvCleanupNode *n = viewer->cleanups) {
        viewer->cleanups = n->next;
        AppCleanupFn fn = n->function;
        if (fn)
            fn(instance);
        Mem_free(n);
    }
}

// Frees the viewer record and what it owns outright: the settings block,
// the start URL, the lists. The cleanups run first when asked.
void freeViewer(EngineInstance *instance, FvViewer *viewer, bool runCleanupList)
{
    if (!viewer)
        return;
    if (runCleanupList)
        runCleanups(instance, viewer);
    freeCleanups(viewer);
    freeValues(viewer);
    Mem_free(viewer->searchState);
    Url_free(viewer->startUrl);
    Mem_free(reinterpret_cast<void *>(viewer->options.word[FvStart_settingsBlock]));
    Mem_free(viewer);
    if (instance && instance->viewer == viewer)
        instance->viewer = nullptr;
}

// Callback slots 12 to 14 (events 20 to 22): the zoom centre.
int zoomCentreSlot(EngineInstance *instance, intptr_t a, intptr_t x, intptr_t y)
{
    App_setZoomCentre(viewerOf(instance), a, x, y);
    return 0;
}

// Callback slot 31: the pan pre-step, with the action recorded by
// App_sendPanGesture.
int panGestureSlot(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t *outA, intptr_t *outB)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer)
        return 0;
    App_panPreStep(viewer, x, y, outA, outB, viewer->panAction);
    return 0;
}

// Callback slot 35 (event 13, the stop request): the viewer stops its
// loads.
int stopSlot(EngineInstance *instance, intptr_t)
{
    FvViewer *viewer = viewerOf(instance);
    return viewer ? Fv_stopDocuments(viewer) : 0;
}

// Callback slot 25 (event 7, the host's boolean key): the view mode the
// host asks for, 0x10000 page view or 0x10001 flow view.
int viewModeSlot(EngineInstance *instance, intptr_t value)
{
    FvViewer *viewer = viewerOf(instance);
    if (viewer)
        Fv_setViewMode(viewer, int32_t(value));
    return 0;
}

void fillCallbacks(FvAppCallbacks *cb)
{
    memset(cb, 0, sizeof *cb);
    cb->keyPress = Key_pressEvent;
    cb->keyRelease = Key_releaseEvent;
    cb->close = App_close;
    cb->openPath = App_openPath;
    cb->openResolved = App_openResolved;
    cb->openUrl = App_openUrl;
    cb->event20 = zoomCentreSlot;
    cb->event21 = zoomCentreSlot;
    cb->event22 = zoomCentreSlot;
    cb->panGesture = panGestureSlot;
    cb->pan = Fv_panEvent;
    cb->pointer = Fv_zoomEvent;
    cb->reply = HostQuery_complete;
    cb->event13 = stopSlot;
    cb->event26 = App_onCaptureEvent;
    cb->key = viewModeSlot;
}

// Undoes App_createContext's steps after a failure.
void undoContext(EngineInstance *instance, FvViewer *viewer, bool queueMade)
{
    KeyRepeat_free(instance, &instance->keys);
    if (queueMade) {
        App_removeRequestListener(instance, historyListener);
        App_unregisterObject(instance, App_objectViewer);
        AppEvent_queueDestroy(instance);
        ExitList_free(&instance->exitList);
    }
    freeViewer(instance, viewer, true);
    instance->appFailed = 1;
}

} // namespace

void App_initStartOptions(FvStartOptions *options)
{
    memset(options, 0, sizeof *options);
    intptr_t *w = options->word;
    w[FvStart_showIdentity] = 1;
    w[1] = 0x10000;
    w[3] = 0x10001;
    w[FvStart_secondStage] = -1;
    w[8] = 8;
    w[FvStart_identPortrait] =
        reinterpret_cast<intptr_t>("file://root/okala_dir/Img/fileviewer-ident.png");
    w[FvStart_identLandscape] =
        reinterpret_cast<intptr_t>("file://root/okala_dir/Img/fileviewer-ident-landscape.png");
    w[FvStart_identDraw] = 0;
    w[12] = 1;
    w[15] = 2;
    w[16] = 1;
}

int App_start(EngineInstance *instance, const AppEvent *startEvent)
{
    if (!instance || !instance->context || !startEvent)
        return 0;
    FvStartOptions options;
    App_initStartOptions(&options);
    void *block = Mem_malloc(App_settingsBlockBytes);
    if (!block) {
        instance->appFailed = 1;
        return 0;
    }
    memcpy(block, defaultSettings, App_settingsBlockBytes);
    options.word[FvStart_settingsBlock] = reinterpret_cast<intptr_t>(block);
    if (!App_createContext(instance, &options)) {
        Mem_free(block);
        return 0;
    }
    // From here the viewer owns the block; a failed thread start frees it
    // with the viewer.
    return App_startThread(instance, startEvent);
}

int App_createContext(EngineInstance *instance, const FvStartOptions *options)
{
    if (!instance || !options)
        return 0;
    FvViewer *viewer = static_cast<FvViewer *>(Mem_calloc(1, sizeof(FvViewer)));
    if (!viewer) {
        instance->appFailed = 1;
        return 0;
    }
    instance->viewer = viewer;
    viewer->context = instance->context;
    viewer->options = *options;
    viewer->modules = &Engine_moduleOps;
    FvAppCallbacks callbacks;
    fillCallbacks(&callbacks);
    if (KeyRepeat_create(instance, Key_repeatCallback, Key_releaseCallback, &instance->keys) !=
            Res_ok ||
        AppEvent_queueCreate(instance, &callbacks) != Res_ok) {
        // The settings block stays the caller's.
        viewer->options.word[FvStart_settingsBlock] = 0;
        undoContext(instance, viewer, false);
        return 0;
    }
    if (App_addRequestListener(instance, historyListener, nullptr, Handlers_atTail, nullptr) !=
            Res_ok ||
        App_registerObject(instance, App_objectViewer, viewer) != Res_ok) {
        viewer->options.word[FvStart_settingsBlock] = 0;
        undoContext(instance, viewer, true);
        return 0;
    }
    return 1;
}

EngineEntryFn App_getEntry()
{
    return App_start;
}

int App_startThread(EngineInstance *instance, const AppEvent *startEvent)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer || !startEvent)
        return 0;
    const char *path = reinterpret_cast<const char *>(startEvent->block[3]);
    int r = Res_ok;
    if (path) {
        Url *url = nullptr;
        r = Url_newFromUserString(path, &url, 1);
        if (r == Res_ok)
            viewer->startUrl = url;
    }
    Task *task = nullptr;
    if (r == Res_ok)
        r = Task_create(instance->context, &task, 2, App_threadMain, viewer, "SimpleAppThread",
                        16384);
    if (r == Res_ok)
        return 1;
    App_removeRequestListener(instance, historyListener);
    App_unregisterObject(instance, App_objectViewer);
    KeyRepeat_free(instance, &instance->keys);
    freeViewer(instance, viewer, true);
    instance->appFailed = 1;
    return 0;
}

void App_threadMain(void *viewer)
{
    App_run(static_cast<FvViewer *>(viewer), rootLocation, fontLocation, resourceLocation);
}

int App_run(FvViewer *viewer, const char *rootUrl, const char *fontUrl, const char *resourceUrl)
{
    EngineContext *context = viewer->context;
    EngineInstance *instance = context->instance;
    instance->appTask = Task_current(context);
    int r = Engine_configure(viewer, 0, rootUrl, fontUrl, resourceUrl);
    if (r == Res_ok) {
        SessionHistory *history = SessionHistory_create(instance);
        instance->closeHooks[1] = history ? &history->hook : nullptr;
        if (!history)
            r = Res_noMemory;
    }
    if (r == Res_ok) {
        if (viewer->options.word[FvStart_showIdentity] == 0) {
            uint32_t block = Config_getIntA(context, context->config, nullptr,
                                            "FV_blockScreenUpdatesOnStartup", 0);
            uint32_t colour =
                Config_getIntA(context, context->config, nullptr, "FV_bgColour", 0x808080ffu);
            Fv_setBackgroundColour(viewer->screen, colour);
            if (block)
                Screen_blockUpdates(ScreenBinding_screen(viewer->screen), 1);
        } else {
            View_showIdentity(viewer, identityMs);
        }
        if (viewer->options.word[FvStart_interactiveMode] == 0)
            Screen_blockUpdates(ScreenBinding_screen(viewer->screen), 1);
        r = View_start(viewer);
    }
    if (r == Res_ok) {
        viewer->started = 1;
        if (Url *start = viewer->startUrl) {
            viewer->startUrl = nullptr;
            r = App_openStart(viewer, &viewer->page, start);
        }
    }
    if (r != Res_ok) {
        App_destroy(instance, 1);
        Host_engineRequest(instance->host, Engine_requestFailed, nullptr);
        return 0;
    }
    AppReadyRecord ready{viewer, App_start};
    App_sendRequest(instance, Engine_requestReady, &ready);
    App_eventLoop(context);
    App_destroy(instance, 0);
    return 1;
}

void App_destroy(EngineInstance *instance, int full)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer)
        return;
    EngineContext *context = instance->context;
    Engine_stopModules(context);
    if (viewer->releaseView) {
        viewer->releaseView(viewer);
        viewer->releaseView = nullptr;
    }
    KeyRepeat_free(instance, &instance->keys);
    App_unregisterObject(instance, App_objectViewer);
    App_removeRequestListener(instance, historyListener);
    View_destroy(viewer, full);
    freeViewer(instance, viewer, false);
}

// ------------------------------------------------------- opening documents

int App_loadUrl(EngineInstance *instance, intptr_t name, Url *url, intptr_t flags)
{
    FvViewer *viewer = Fv_fromApp(instance);
    if (!viewer) {
        Url_free(url);
        return Res_missingArgument;
    }
    int r = View_openUrl(viewer, name, url, flags);
    if (r != Res_ok) {
        if (r != 1) {
            Fv_reportLoadFailed(viewer, url, -1, r);
            App_reportError(instance, errorOpenFailed, 0);
        }
        Url_free(url);
    }
    return r;
}

int App_openPath(EngineInstance *instance, intptr_t a, const char *path, intptr_t flags)
{
    if (!path)
        return Res_nullInput;
    Url *url = nullptr;
    int r = Url_newFromUserString(path, &url, 1);
    if (r != Res_ok) {
        if (r != Res_noMemory)
            App_reportError(instance, errorOpenFailed, 0);
        return r;
    }
    return App_loadUrl(instance, a, url, flags);
}

int App_openResolved(EngineInstance *instance, intptr_t base, intptr_t text, intptr_t a, intptr_t,
                     intptr_t flags)
{
    const char *path = reinterpret_cast<const char *>(text);
    if (!path)
        return Res_nullInput;
    const Url *baseUrl = reinterpret_cast<const Url *>(base);
    if (!baseUrl)
        return App_openPath(instance, a, path, flags);
    char16_t *relative = Ustr_fromCstr(path);
    Url *url = relative ? Url_resolveText(instance ? instance->context : nullptr, relative, baseUrl)
                        : nullptr;
    Mem_free(relative);
    if (!url)
        return Res_noMemory;
    return App_loadUrl(instance, a, url, flags);
}

int App_openUrl(EngineInstance *instance, intptr_t a, intptr_t url, intptr_t flags)
{
    const Url *given = reinterpret_cast<const Url *>(url);
    if (!given)
        return Res_nullInput;
    Url *copy = Url_copy(given);
    if (!copy)
        return Res_noMemory;
    return App_loadUrl(instance, a, copy, flags);
}

int App_close(EngineInstance *instance)
{
    FvViewer *viewer = Fv_fromApp(instance);
    if (!viewer)
        return 0;
    runCleanups(instance, viewer);
    freeValues(viewer);
    return 0;
}
