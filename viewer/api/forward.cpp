// Application forwarders and small entry points: page moves and settings
// loads posted to the application thread, forwarders to the document
// model, the translator and the event processor, the zoom-centre and pan
// pre-step handlers, and the embedding of child documents.
#include "viewer/api/forward.h"

#include "platform/config/settings.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/manager/manager.h"
#include "document/types/translate.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "platform/api/errortext.h"
#include "viewer/api/keys.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "viewer/dispman.h"
#include "viewer/navigate.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

namespace {

// The match key and id of the embedding rule, and the error code of a
// failed embedding.
enum : uint32_t {
    embedMatchKey = 2,
    embedId = 2,
    codeError = 8,
};

void freeCopy(void *arg)
{
    const intptr_t *block = static_cast<const intptr_t *>(arg);
    Mem_free(reinterpret_cast<void *>(block[3]));
}

// Posts function with a heap copy of value.
int postWithCopy(EngineInstance *instance, AppCallFn function, intptr_t value)
{
    intptr_t *copy = static_cast<intptr_t *>(Mem_malloc(sizeof(intptr_t)));
    if (!copy)
        return 0;
    *copy = value;
    return App_postCall(instance, function, copy, freeCopy) == 0 ? 1 : 0;
}

void runPageStep(EngineInstance *instance, void *copy)
{
    intptr_t code = *static_cast<intptr_t *>(copy);
    Mem_free(copy);
    FvViewer *viewer = Fv_fromApp(instance);
    if (!viewer || !viewer->page)
        return;
    int32_t direction = code == App_pageStepPrevious ? 1 : code == App_pageStepNext ? 2 : 0;
    if (direction) {
        int32_t index = 0;
        (void)Fv_gotoAdjacentPage(viewer, viewer->page, direction, &index);
    }
}

void runScrollReport(EngineInstance *instance, void *)
{
    Fv_reportScroll(Fv_fromApp(instance));
}

void runLoadSettings(EngineInstance *instance, void *text)
{
    App_loadSettingsUrl(instance, static_cast<const char *>(text));
}

void runEvent12(EngineInstance *instance, void *argument)
{
    const FvAppCallbacks *cb = instance && instance->queue ? &instance->queue->callbacks : nullptr;
    if (cb && cb->event12)
        cb->event12(instance, reinterpret_cast<intptr_t>(argument));
}

EngineContext *contextOf(FvViewer *viewer)
{
    return viewer ? viewer->context : nullptr;
}

} // namespace

// ------------------------------------------------------------- posting

int App_postPageStep(EngineInstance *instance, intptr_t code)
{
    return postWithCopy(instance, runPageStep, code);
}

int App_postScrollReport(EngineInstance *instance)
{
    return App_postCall(instance, runScrollReport, nullptr, nullptr) == 0 ? 1 : 0;
}

int App_gotoPageNumber(EngineInstance *instance, int32_t number)
{
    return postWithCopy(instance, App_runGotoPage, number);
}

void App_runGotoPage(EngineInstance *instance, void *copy)
{
    if (!copy)
        return;
    intptr_t number = *static_cast<intptr_t *>(copy);
    Mem_free(copy);
    FvViewer *viewer = Fv_fromApp(instance);
    FvView *view = instance->keyView;
    FvPage *page = viewer ? Fv_pageById(viewer, 0) : nullptr;
    if (!page || !view || number < 1)
        return;
    int32_t x = 0, y = 0;
    Fv_getKeptPosition(viewer, page, 1, &x, &y);
    (void)Fv_gotoPage(viewer, page, int32_t(number - 1));
    // A null area is the page's start.
    if (x == 0 && y == 0)
        Fv_showArea(view, page, nullptr, 1);
}

int App_postLoadSettings(EngineInstance *instance, const char *urlText)
{
    if (!Engine_isLive(instance) || !urlText)
        return 0;
    if (Task_current(instance->context)) {
        App_loadSettingsUrl(instance, urlText);
        return 1;
    }
    return App_postCall(instance, runLoadSettings, const_cast<char *>(urlText), nullptr) == 0 ? 1
                                                                                              : 0;
}

void App_loadSettingsUrl(EngineInstance *instance, const char *urlText)
{
    if (!instance || !instance->context || !urlText)
        return;
    Url *url = nullptr;
    if (Url_newFromUserString(urlText, &url, 1) != Res_ok)
        return;
    EngineContext *context = instance->context;
    int r = Settings_loadUrl(context, context->config, url);
    Url_free(url);
    (void)r; // a missing or broken file leaves the settings as they were
    App_settingsChanged(instance);
}

void App_settingsChanged(EngineInstance *instance)
{
    if (FvViewer *viewer = Fv_fromApp(instance))
        viewer->settingsChanged = 1;
    KeyRepeat_markDirty(instance);
}

int App_sendEvent1(EngineInstance *instance, intptr_t value, AppEventDoneFn completion)
{
    AppQueueRecord *q = Engine_isLive(instance) ? instance->queue : nullptr;
    if (!q || q->sendGuard) {
        if (completion)
            completion(reinterpret_cast<void *>(value));
        return 0;
    }
    q->sendGuard = 1;
    intptr_t block[7] = {1, reinterpret_cast<intptr_t>(instance), value, 0, 0, 0, 0};
    int r = AppEvent_post(block, completion, AppEvent_hold);
    if (Engine_isLive(instance) && instance->queue == q)
        q->sendGuard = 0;
    return r;
}

int App_queueEvent12Call(EngineInstance *instance, intptr_t argument)
{
    const FvAppCallbacks *cb =
        Engine_isLive(instance) && instance->queue ? &instance->queue->callbacks : nullptr;
    if (!cb || !cb->event12)
        return 0;
    return App_postCallHeld(instance, runEvent12, reinterpret_cast<void *>(argument), nullptr) == 0
               ? 1
               : 0;
}

int App_sendTimedEvent21(EngineInstance *instance, intptr_t a, intptr_t b)
{
    if (!Engine_isLive(instance))
        return 0;
    if (FvViewer *viewer = Fv_fromApp(instance))
        Fv_timedEventHook(viewer, instance->host, a, b);
    intptr_t block[7] = {21, reinterpret_cast<intptr_t>(instance), intptr_t(Time_nowMs()), a, b, 0,
                         0};
    return AppEvent_post(block, nullptr, AppEvent_hold);
}

// ---------------------------------------------------------- forwarders

void App_releaseDocument(Edr_Doc *doc)
{
    Edr_Doc_release(doc);
}

int App_pageSize(FvPage *page, int32_t key, uint32_t kind, float *width, float *height)
{
    float w = 0, h = 0;
    int r = page && page->document ? Edr_Page_getSizeFloat(page->document, key, kind, &w, &h)
                                   : Res_noSuchPage;
    if (r != Res_ok)
        w = h = 0;
    if (width)
        *width = w;
    if (height)
        *height = h;
    return r == Res_ok ? 1 : 0;
}

void App_translateDocument(EngineContext *context, FvViewer *viewer, Url *url, Edr_Doc *doc,
                           Edr_Node *target)
{
    if (!url && (!viewer || !doc))
        return;
    Translate_start(context, doc, target, url, nullptr);
}

int App_replaceSubdoc(EngineContext *context, Edr_Node *node, Edr_Doc *doc, Edr_Doc *child,
                      intptr_t key, intptr_t kind)
{
    if (!child) {
        if (Edr_Node_remove(doc, node) != Res_ok)
            return 1;
    } else if (Edr_Node_replaceSubdoc(context, doc, node, child, key, kind) != Res_ok) {
        return 1;
    }
    // The page changed under the views: each view is redrawn whole, now and
    // again in high quality.
    DispmanCtx *dm = context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
    DispmanView *view = nullptr;
    while (dm && DocList_nextLocked(dm, &view, 0, 0))
        (void)Dispman_queueRedraw(context, DispmanSub_hqAndQuick, 1, view);
    return 0;
}

int App_addListener(FvViewer *viewer, int32_t kind, EventProcListenerFn routine, void *context)
{
    EngineContext *ctx = contextOf(viewer);
    if (!ctx)
        return Res_missingArgument;
    return EventProc_addListener(ctx, ctx->eventProc, kind, routine, context);
}

int App_removeListener(FvViewer *viewer, int32_t kind, EventProcListenerFn routine, void *context)
{
    EngineContext *ctx = contextOf(viewer);
    if (!ctx)
        return Res_missingArgument;
    return EventProc_removeListener(ctx->eventProc, kind, routine, context);
}

void App_setZoomCentre(FvViewer *viewer, intptr_t, intptr_t x, intptr_t y)
{
    FvZoomAbout *state = viewer ? viewer->zoomAbout : nullptr;
    if (!state || state->mode != FvZoomAbout_on)
        return;
    state->x = int32_t(x);
    state->y = int32_t(y);
}

void App_panPreStep(FvViewer *viewer, intptr_t x, intptr_t y, intptr_t *outA, intptr_t *outB,
                    intptr_t action)
{
    const ViewCallbackOps *ops =
        viewer && viewer->viewCallbacks ? viewer->viewCallbacks->ops : nullptr;
    if (!ops)
        return;
    if (action == 0x10003) {
        if (ops->panStep10)
            ops->panStep10(viewer, x, y, outA);
    } else if (action == 0x10004) {
        if (ops->panStep11)
            ops->panStep11(viewer, outA, outB);
    } else if (ops->panStep12) {
        ops->panStep12(viewer, x, y, outA);
    }
}

// -------------------------------------------------------------- embedding

int App_markEmbedGroup(Edr_Doc *doc, Edr_Node *group)
{
    StyleRule *rule = nullptr;
    int r = StyleRule_create(&rule);
    if (r != Res_ok)
        return r;
    Prop p;
    Prop_zero(&p);
    Prop_setType(&p, PropId_display, KwId_replacedBox);
    r = StyleRule_appendProp(rule, &p);
    if (r == Res_ok) {
        Prop_setWord(&p, PropId_width, PropType_percent, 100u << 16);
        r = StyleRule_appendProp(rule, &p);
    }
    if (r == Res_ok) {
        Prop_setWord(&p, PropId_height, PropType_percent, 100u << 16);
        r = StyleRule_appendProp(rule, &p);
    }
    if (r == Res_ok)
        r = StyleRule_addMatch(rule, embedMatchKey, 0, 10);
    Request *request = nullptr;
    if (r == Res_ok)
        r = Edr_Doc_getRequest(doc, nullptr, &request);
    if (r == Res_ok && !request)
        r = Res_notFound;
    if (r == Res_ok)
        r = Request_addItem(request, &rule);
    Request_release(request);
    StyleRule_destroy(rule);
    if (r == Res_ok)
        r = Edr_Node_addId(doc, group, embedId);
    return r;
}

int App_embedDocument(EngineContext *context, Edr_Doc *doc, Edr_Node *parent,
                      const int32_t placement[6], Edr_Doc *child, intptr_t key, intptr_t kind)
{
    Edr_Node *group = nullptr;
    int r = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, &group);
    Edr_Node *subdoc = nullptr;
    if (r == Res_ok)
        r = Edr_Node_createSubdoc(doc, group, Edr_Insert_lastChild, &subdoc, child, placement, key,
                                  kind);
    Edr_Node_release(doc, subdoc);
    if (r == Res_ok)
        r = App_markEmbedGroup(doc, group);
    Edr_Node_release(doc, group);
    if (r == Res_ok) {
        // The child is embedded either way; running the pending layout pass
        // now is only a head start, and a failed start leaves it pending.
        (void)Edr_Mgr_runNow(doc);
        return 0;
    }
    (void)context;
    EventProc *processor = child ? child->events : nullptr;
    if (processor) {
        EventProcDocMsg report{codeError, intptr_t(r), child, Ustr_dup(Engine_unknownErrorText(r))};
        // The embedding failed already and this returns failure; a report
        // that cannot be posted has no one else to go to.
        (void)EventProc_postDoc(child, processor, &report);
    }
    return 1;
}
