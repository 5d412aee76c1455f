// The display manager's context: its settings, buffers, locks, listeners
// and the three update tasks, and the order in which they are made and
// given back.
//
// The context is made once by the engine's module start table and freed by
// its stop table. Start-up runs thirteen steps; the first failure tears
// down whatever was made (Dispman_fini) and leaves the engine without a
// context. Shut-down asks the three updaters to stop (the thumbnail
// updater first, the quick updater last), waits for them in the same order
// and then frees everything.
#include "viewer/dispman.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "graphics/graphics.h"
#include "viewer/pagerender.h"
#include "viewer/thumbqueue.h"
#include "platform/api/errortext.h"
#include "viewer/dispupdate.h"
#include "viewer/viewer.h"

namespace {

constexpr int32_t observerBuckets = 12;
constexpr size_t quickStack = 4096;
constexpr size_t updaterStack = 16384;
// Event-processor kinds of the two listeners.
constexpr int32_t loadMessageKind = 1;
constexpr int32_t busyMessageKind = 6;
// Codes of the load messages.
constexpr int32_t codeCleared = 0;
constexpr int32_t codeLaidOut = 14;
constexpr int32_t codeLoaded = 15;
constexpr int32_t codeLoadedToo = 16;

constexpr uint32_t listeningLoad = 1;
constexpr uint32_t listeningBusy = 2;

DispmanCtx *dispmanOf(EngineContext *context)
{
    return context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
}

// One setting from the default domain (a key read first takes the default
// into the store).
int32_t setting(EngineContext *context, const char *key, uint32_t fallback)
{
    return static_cast<int32_t>(Config_getIntA(context, context->config, nullptr, key, fallback));
}

void readSettings(EngineContext *context, DispmanCtx *dm)
{
    dm->pageBandSize = uint32_t(setting(context, "DispmanPageBufferSize", Dispman_pageBandDefault));
    dm->thumbBandSize =
        uint32_t(setting(context, "DispmanThumbBufferSize", Dispman_thumbBandDefault));
    dm->pageBorder = setting(context, "DispmanPageBorderWidth", 32);
    static constexpr const char *qualityKeys[DrawQuality_count] = {
        "RendererQualityBox",  "RendererQualityImage", "RendererQualityPath",
        "RendererQualityText", "RendererQualityUi",    "RendererQualityWa"};
    static constexpr uint32_t qualityDefaults[DrawQuality_count] = {15, 15, 15, 15, 5, 10};
    for (uint32_t i = 0; i < DrawQuality_count; i++)
        dm->quality[i] = setting(context, qualityKeys[i], qualityDefaults[i]);
    static constexpr const char *costKeys[DrawCost_count] = {
        "RendererCostLimit",         "RendererCostPath",
        "RendererCostPathStroked",   "RendererCostImage",
        "RendererCostImageUncached", "RendererCostGlyph",
        "RendererCostGlyphUncached", "RendererCostUi"};
    static constexpr uint32_t costDefaults[DrawCost_count] = {0,     377, 993, 237,
                                                              65536, 2,   379, 1000};
    for (uint32_t i = 0; i < DrawCost_count; i++)
        dm->cost[i] = setting(context, costKeys[i], costDefaults[i]);
    dm->redrawMode = setting(context, "RendererRedrawMode", Dispman_redrawModeDefault);
}

int startTask(DispmanCtx *dm, Task **task, int32_t priority, TaskEntryFn body, const char *name,
              size_t stack)
{
    return Task_create(dm->context, task, priority, body, dm->context, name, stack);
}

void installHooks(EngineContext *context)
{
    if (!context->edrApp)
        return;
    Edr_DisplayHooks &h = context->edrApp->displayHooks;
    h.argument = context;
    h.areaChanged = Dispman_queueArea;
    h.objectChanged = Dispman_queueObjectRedraw;
    h.thumbnail = Dispman_onDocumentChanged;
}

void removeHooks(EngineContext *context)
{
    if (context->edrApp && context->edrApp->displayHooks.argument == context)
        context->edrApp->displayHooks = Edr_DisplayHooks{};
}

// Steps 2 to 13 of start-up (see Dispman_init).
int startUp(EngineContext *context, DispmanCtx *dm)
{
    readSettings(context, dm);
    dm->pageBandMemory = Mem_malloc(dm->pageBandSize);
    dm->thumbBandMemory = Mem_malloc(dm->thumbBandSize);
    if (!dm->pageBandMemory || !dm->thumbBandMemory)
        return Res_noMemory;
    int err =
        RenderBuffers_create(context, &dm->renderBuffers, dm->pageBandMemory, dm->pageBandSize);
    if (err)
        return err;
    dm->renderingEnabled = 1;
    dm->observers = Mem_calloc(observerBuckets, sizeof(void *));
    if (!dm->observers)
        return Res_noMemory;
    Lock_init(context, &dm->quickPassLock);
    Lock_init(context, &dm->renderLock);
    dm->busyCount = 0;
    Lock_init(context, &dm->busyLock);
    Lock_init(context, &dm->viewLock);
    Lock_init(context, &dm->thumbLock);
    dm->thumbLockOnClear = 1;
    Sem_init(context, &dm->completion, 0, 1);
    Sem_init(context, &dm->quickWake, 0, 1);
    Sem_init(context, &dm->hqWake, 0, 1);
    Sem_init(context, &dm->thumbWake, 0, 1);
    DispmanQueue_init(context, &dm->queue, DispmanQueue_baseCapacity, &dm->interruptAllowed);
    if ((err = EventProc_addListener(context, context->eventProc, loadMessageKind,
                                     Dispman_onLoadMessage, nullptr)) != 0)
        return err;
    dm->listening |= listeningLoad;
    if ((err = EventProc_addListener(context, context->eventProc, busyMessageKind,
                                     Dispman_onBusyMessage, nullptr)) != 0)
        return err;
    dm->listening |= listeningBusy;
    if ((err = startTask(dm, &dm->quickUpdater, Dispman_quickPriority, Dispman_quickUpdaterMain,
                         "DispMan_quickUpdater", quickStack)) != 0)
        return err;
    dm->hqRunning = 0;
    dm->hqPending = 0;
    dm->keepHqAlive = 1;
    dm->interruptAllowed = 1;
    dm->maxHqInterrupts = uint32_t(setting(context, "Dispman_MaxHqInterrupts", 8));
    dm->thumbnailsEnabled =
        Config_getIntA(context, context->config, u"Core", "Vexlan_enableThumbnails", 1) != 0;
    if ((err = startTask(dm, &dm->hqUpdater, Dispman_hqPriority, Dispman_hqUpdaterMain,
                         "DispMan_hqUpdater", updaterStack)) != 0)
        return err;
    if ((err = startTask(dm, &dm->thumbUpdater, Dispman_thumbPriority, Dispman_tnUpdaterMain,
                         "DispMan_tnUpdater", updaterStack)) != 0)
        return err;
    installHooks(context);
    return Res_ok;
}

void stopTask(Task *task)
{
    if (task)
        Engine_abortIfError(Task_requestStop(task));
}

void joinTask(Task **task)
{
    if (!*task)
        return;
    Engine_abortIfError(Task_join(*task));
    *task = nullptr;
}

} // namespace

int Dispman_init(EngineContext *context)
{
    if (!context)
        return Res_nullInput;
    if (context->dispman)
        return Res_ok;
    DispmanCtx *dm = static_cast<DispmanCtx *>(Mem_calloc(1, sizeof(DispmanCtx)));
    if (!dm)
        return Res_noMemory;
    dm->context = context;
    context->dispman = dm;
    int err = startUp(context, dm);
    if (err)
        Dispman_fini(context);
    return err;
}

void Dispman_fini(EngineContext *context)
{
    if (!dispmanOf(context))
        return;
    Dispman_stopThreads(context);
    Dispman_joinThreads(context);
    Dispman_free(context);
}

void Dispman_stopThreads(EngineContext *context)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return;
    stopTask(dm->thumbUpdater);
    // Cleared first, so that the high-quality updater ends instead of
    // treating the request as an interruption.
    dm->keepHqAlive = 0;
    stopTask(dm->hqUpdater);
    stopTask(dm->quickUpdater);
}

void Dispman_joinThreads(EngineContext *context)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return;
    joinTask(&dm->thumbUpdater);
    joinTask(&dm->hqUpdater);
    joinTask(&dm->quickUpdater);
}

void Dispman_stopUpdaters(EngineContext *context)
{
    Dispman_stopThreads(context);
    Dispman_joinThreads(context);
}

void Dispman_free(EngineContext *context)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return;
    // The updaters read the context: they end before it goes.
    if (dm->quickUpdater || dm->hqUpdater || dm->thumbUpdater)
        Dispman_stopUpdaters(context);
    removeHooks(context);
    // Not listening any more is all that matters here.
    if (dm->listening & listeningLoad)
        (void)EventProc_removeListener(context->eventProc, loadMessageKind, Dispman_onLoadMessage,
                                       nullptr);
    if (dm->listening & listeningBusy)
        // A listener that is already gone needs no removing; teardown goes on.
        (void)EventProc_removeListener(context->eventProc, busyMessageKind, Dispman_onBusyMessage,
                                       nullptr);
    Dispman_freeObservers(dm);
    Mem_free(dm->observers);
    ThumbQueue_clear(dm);
    while (dm->views) {
        DispmanView *view = dm->views;
        Dispman_destroyView(context, &view);
    }
    DispmanQueue_free(&dm->queue);
    Sem_fini(&dm->completion);
    Sem_fini(&dm->quickWake);
    Sem_fini(&dm->hqWake);
    Sem_fini(&dm->thumbWake);
    Lock_fini(&dm->quickPassLock);
    Lock_fini(&dm->renderLock);
    Lock_fini(&dm->busyLock);
    Lock_fini(&dm->viewLock);
    Lock_fini(&dm->thumbLock);
    RenderBuffers_free(dm->renderBuffers);
    Mem_free(dm->pageBandMemory);
    Mem_free(dm->thumbBandMemory);
    Mem_free(dm);
    context->dispman = nullptr;
}

void Dispman_setHqPriority(EngineContext *context, int normal)
{
    DispmanCtx *dm = dispmanOf(context);
    if (dm && dm->hqUpdater)
        Task_setPriority(dm->hqUpdater, normal ? Dispman_hqPriority : Dispman_quickPriority);
}

void Dispman_wakeThumbnailsIfIdle(DispmanCtx *dm)
{
    Lock_acquire(&dm->busyLock);
    bool idle = dm->busyCount == 0;
    Lock_release(&dm->busyLock);
    if (idle)
        Sem_signal(&dm->thumbWake);
}

void Dispman_onLoadMessage(EngineContext *context, EventProcMsg *msg, void *, int *)
{
    DispmanCtx *dm = dispmanOf(context);
    const EventProcCodeMsg *m = msg ? static_cast<const EventProcCodeMsg *>(msg->payload) : nullptr;
    if (!dm || !m)
        return;
    switch (m->code) {
    case codeCleared:
        dm->markAllDoc = nullptr;
        dm->failedDoc = nullptr;
        break;
    case codeLaidOut:
        if (dm->awaited && m->document == dm->awaited)
            Sem_signal(&dm->completion);
        break;
    case codeLoaded:
    case codeLoadedToo:
        dm->markAllDoc = m->document;
        Lock_acquire(&dm->busyLock);
        if (dm->busyCount > 0)
            dm->busyCount--;
        Lock_release(&dm->busyLock);
        Dispman_wakeThumbnailsIfIdle(dm);
        Sem_signal(&dm->quickWake);
        break;
    default: break;
    }
}

void Dispman_onBusyMessage(EngineContext *context, EventProcMsg *, void *, int *)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return;
    Lock_acquire(&dm->busyLock);
    dm->busyCount++;
    Lock_release(&dm->busyLock);
}

DispmanView *DocList_nextLocked(DispmanCtx *dm, DispmanView **view, int32_t, intptr_t)
{
    Lock_acquire(&dm->viewLock);
    DispmanView *next = dm->views;
    if (*view) {
        DispmanView *v = dm->views;
        while (v && v != *view)
            v = v->next;
        // A view no longer on the list starts the walk again.
        next = v ? v->next : dm->views;
    }
    *view = next;
    Lock_release(&dm->viewLock);
    return next;
}
