// The application queue record, posting (urgent and held), deferred calls,
// the application loop with its dispatch of codes 0 to 27, the request and
// error fan-out, and the application objects.
//
// A post may come from the GUI thread or from an engine task. Only a post
// on the GUI thread that is the outermost host entry sets the recovery
// point (an engine task's stack must never become the place a fatal error
// returns to), and no post touches the send guard: that belongs to the
// host event that took it.
#include "platform/api/appqueue.h"

#include <csetjmp>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/fmt.h"
#include "core/host/hostservices.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "platform/api/handlers.h"
#include "platform/api/hostevent.h"
#include "core/container/map.h"
#include "platform/url/url.h"

namespace {

// How often App_postCallRetry tries before it gives up.
constexpr int retryLimit = 64;

int32_t compareIds(const void *stored, const void *probe)
{
    uintptr_t a = reinterpret_cast<uintptr_t>(stored), b = reinterpret_cast<uintptr_t>(probe);
    return a < b ? -1 : a > b ? 1 : 0;
}

// The objects belong to whoever registered them.
void keepItem(void *) {}

bool onGuiThread(EngineInstance *inst)
{
    return !inst->scheduler || !inst->scheduler->current;
}

// The queue record of a live engine, or null.
AppQueueRecord *queueOf(EngineInstance *inst)
{
    return Engine_isLive(inst) ? inst->queue : nullptr;
}

struct PostJob {
    EngineInstance *inst;
    const AppEvent *event;
    int flags;
};

// Steps of a post once the event is built: hold, queue, then run a slice,
// arm the timer or switch tasks. 1 when queued.
int postEvent(PostJob *job)
{
    EngineInstance *inst = job->inst;
    AppEventRing *ring = inst->queue->ring;
    bool gui = onGuiThread(inst);
    bool urgent = (job->flags & AppEvent_urgent) != 0;
    bool held = (job->flags & AppEvent_hold) && !(urgent && gui);
    if (held)
        Task_holdScheduler(inst->context, 1);
    int queued = urgent ? EventQ_pushFront(ring, job->event) : EventQ_post(ring, job->event);
    if (queued) {
        if (gui) {
            if (urgent)
                (void)Engine_runSlice(inst); // a slice reports its own errors
            else
                AlienTimer_reschedule(inst);
        } else if (!(job->flags & AppEvent_hold)) {
            Task_reschedule(inst->context);
        }
    }
    if (held)
        Task_holdScheduler(inst->context, 0);
    return queued;
}

// Runs postEvent with the recovery point set; a fatal error lands here,
// takes the engine down and answers 0 with *aborted set. No object with a
// destructor lives in this frame.
int postGuarded(PostJob *job, int *aborted)
{
    EngineInstance *inst = job->inst;
    if (setjmp(inst->recovery) != 0) {
        *aborted = 1;
        Engine_abortToHost(inst);
        return 0;
    }
    inst->entryDepth++;
    int r = postEvent(job);
    inst->entryDepth--;
    return r;
}

void runCompletion(const intptr_t *block, AppEventDoneFn completion)
{
    if (!completion)
        return;
    if (block[0] == 1)
        completion(reinterpret_cast<void *>(block[2]));
    else
        completion(const_cast<intptr_t *>(block));
}

int postCall(EngineInstance *instance, intptr_t code, AppCallFn function, void *argument,
             AppEventDoneFn completion, int flags, intptr_t mode)
{
    intptr_t block[7] = {code,
                         reinterpret_cast<intptr_t>(instance),
                         reinterpret_cast<intptr_t>(function),
                         reinterpret_cast<intptr_t>(argument),
                         mode,
                         0,
                         0};
    return AppEvent_post(block, completion, flags) ? 0 : 1;
}

// Argument n of a block (the first argument is 1).
intptr_t arg(const intptr_t *block, int n)
{
    return block[n + 1];
}

void dispatchOpenUrl(EngineInstance *inst, const FvAppCallbacks *cb, const intptr_t *b)
{
    Url *url = reinterpret_cast<Url *>(arg(b, 2));
    if (cb->openUrl) {
        cb->openUrl(inst, arg(b, 1), arg(b, 2), arg(b, 3));
    } else if (cb->openPath) {
        if (char *text = Url_toUtf8(url, UrlPart_all)) {
            cb->openPath(inst, arg(b, 1), text, arg(b, 3));
            Mem_free(text);
        }
    }
    Url_free(url);
}

} // namespace

// ------------------------------------------------------- the queue record

int AppEvent_queueCreate(EngineInstance *instance, const FvAppCallbacks *callbacks)
{
    if (!instance || !instance->context)
        return Res_missingArgument;
    AppQueueRecord *q = static_cast<AppQueueRecord *>(Mem_calloc(1, sizeof(AppQueueRecord)));
    if (!q)
        return Res_noMemory;
    if (callbacks)
        q->callbacks = *callbacks;
    q->timerId = AppQueue_noTimer;
    int r = Handlers_create(&q->handlers);
    if (r == Res_ok)
        r = Map_create(instance->context, compareIds, keepItem, keepItem, 0, &q->objects);
    if (r == Res_ok) {
        r = EventQ_create(instance->context, &q->ring);
        if (r != Res_ok)
            Fmt_debugPrint("AppEvent_queueCreate failed\n");
    }
    if (r == Res_ok && ExitList_create(instance, &instance->exitList) != Res_ok)
        r = Res_noMemory;
    if (r != Res_ok) {
        EventQ_destroy(q->ring);
        Map_destroy(q->objects);
        Handlers_destroy(q->handlers);
        Mem_free(q);
        return r;
    }
    instance->queue = q;
    return Res_ok;
}

int AppEvent_openPath(EngineInstance *instance, intptr_t w1, const char *path, intptr_t w3)
{
    AppQueueRecord *queue = instance ? instance->queue : nullptr;
    if (!queue || !queue->callbacks.openPath)
        return Res_notImplemented;
    return queue->callbacks.openPath(instance, w1, path, w3);
}

void AppEvent_queueDestroy(EngineInstance *instance)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    if (!q)
        return;
    instance->queue = nullptr;
    EventQ_destroy(q->ring);
    Map_destroy(q->objects);
    Handlers_destroy(q->handlers);
    AppStopHook *next;
    for (AppStopHook *h = q->stopHooks; h; h = next) {
        next = h->next;
        Mem_free(h);
    }
    Mem_free(q);
}

// ---------------------------------------------------------------- posting

int AppEvent_post(const intptr_t *block, AppEventDoneFn completion, int flags)
{
    if (!block)
        return 0;
    AppEvent event;
    memset(&event, 0, sizeof event);
    event.kind = AppEvent_kindApp;
    event.completion = completion;
    memcpy(event.block, block, 7 * sizeof(intptr_t));
    EngineInstance *inst = reinterpret_cast<EngineInstance *>(block[1]);
    AppQueueRecord *q = queueOf(inst);
    int queued = 0;
    if (q && !q->shuttingDown) {
        PostJob job{inst, &event, flags};
        if (onGuiThread(inst) && inst->entryDepth == 0) {
            int aborted = 0;
            queued = postGuarded(&job, &aborted);
            if (aborted)
                return 0; // the engine is gone; the ring disposed of what it held
        } else {
            queued = postEvent(&job);
        }
    }
    if (!queued)
        runCompletion(block, completion);
    return queued;
}

int App_postCall(EngineInstance *instance, AppCallFn function, void *argument,
                 AppEventDoneFn completion)
{
    return postCall(instance, AppEvent_codeCall, function, argument, completion, 0, 0);
}

int App_postCallHeld(EngineInstance *instance, AppCallFn function, void *argument,
                     AppEventDoneFn completion)
{
    return postCall(instance, AppEvent_codeCall, function, argument, completion, AppEvent_hold, 0);
}

int App_postCallRetry(EngineInstance *instance, AppCallFn function, void *argument,
                      AppEventDoneFn completion)
{
    AppQueueRecord *q = queueOf(instance);
    if (!q || q->shuttingDown)
        return postCall(instance, AppEvent_codeCall, function, argument, completion, 0, 0);
    AppEvent event;
    memset(&event, 0, sizeof event);
    event.kind = AppEvent_kindApp;
    event.completion = completion;
    event.block[0] = AppEvent_codeCall;
    event.block[1] = reinterpret_cast<intptr_t>(instance);
    event.block[2] = reinterpret_cast<intptr_t>(function);
    event.block[3] = reinterpret_cast<intptr_t>(argument);
    for (int tries = 1; tries < retryLimit; tries++) {
        if (EventQ_admit(q->ring, &event))
            break;
        // Let the application thread empty the ring.
        if (onGuiThread(instance))
            (void)Engine_runSlice(instance); // a slice reports its own errors
        else
            Task_reschedule(instance->context);
        if (!Engine_isLive(instance) || instance->queue->shuttingDown)
            break;
    }
    return postCall(instance, AppEvent_codeCall, function, argument, completion, 0, 0);
}

int App_postCall6(EngineInstance *instance, AppCallFn function, void *argument,
                  AppEventDoneFn completion, int mode)
{
    return postCall(instance, AppEvent_codeCallAmongMoves, function, argument, completion, 0, mode);
}

int App_postMove(EngineInstance *instance, intptr_t code, intptr_t a, intptr_t b, intptr_t c)
{
    intptr_t inst = reinterpret_cast<intptr_t>(instance);
    if (code == AppEvent_codePan) {
        intptr_t block[7] = {code, inst, a, b, AppEvent_moveStep, 0, 0};
        return AppEvent_post(block, nullptr, 0) ? 0 : 1;
    }
    if (code == AppEvent_codePointer) {
        intptr_t block[7] = {code, inst, a, b, c, AppEvent_moveStep, 0};
        return AppEvent_post(block, nullptr, 0) ? 0 : 1;
    }
    return 1;
}

void App_compressMoves(EngineInstance *instance, intptr_t code)
{
    if (AppQueueRecord *q = queueOf(instance))
        EventQ_compress(q->ring, code);
}

int App_runPendingCall(EngineInstance *instance)
{
    AppQueueRecord *q = queueOf(instance);
    if (!q)
        return Res_missingArgument;
    AppEvent call;
    int r = EventQ_takeCall6(q->ring, &call);
    if (call.kind == AppEvent_kindApp && call.block[0] == AppEvent_codeCallAmongMoves) {
        AppCallFn fn = reinterpret_cast<AppCallFn>(call.block[2]);
        if (fn)
            fn(instance, reinterpret_cast<void *>(call.block[3]));
    }
    return r;
}

// --------------------------------------------------------------- the loop

int App_eventLoop(EngineContext *context)
{
    EngineInstance *inst = context ? context->instance : nullptr;
    if (!inst || !inst->queue)
        return 0;
    AppEvent entry;
    while (EventQ_take(inst->queue->ring, &entry) == Res_ok) {
        if (App_dispatchEntry(inst, &entry))
            break;
    }
    return 0;
}

int App_dispatchEntry(EngineInstance *instance, const AppEvent *entry)
{
    if (entry->kind == AppEvent_kindHost) {
        App_handleApiEvent(instance, entry->block);
        return entry->block[0] == AppEvent_codeClose ? 1 : 0;
    }
    App_dispatchAppEvent(instance, entry->block);
    return 0;
}

void App_handleApiEvent(EngineInstance *instance, const intptr_t *ev)
{
    const FvAppCallbacks *cb = &instance->queue->callbacks;
    switch (ev[0]) {
    case HostEvent_keyPress:
        if (cb->keyPress)
            cb->keyPress(instance, ev[2], ev[3]);
        break;
    case HostEvent_keyRelease:
        if (cb->keyRelease)
            cb->keyRelease(instance, ev[2]);
        break;
    case HostEvent_resume:
        if (cb->resume)
            cb->resume(instance);
        break;
    case HostEvent_shutdown:
        Task_clearStop(instance->context);
        for (int i = 1; i >= 0; i--) {
            AppCloseHook *hook = instance->closeHooks[i];
            if (hook && hook->close)
                hook->close(hook, instance);
        }
        if (cb->close)
            cb->close(instance);
        break;
    default: break;
    }
}

void App_dispatchAppEvent(EngineInstance *instance, const intptr_t *b)
{
    const FvAppCallbacks *cb = &instance->queue->callbacks;
    switch (b[0]) {
    case AppEvent_codeConfig: App_setConfigFromEvent(instance, const_cast<intptr_t *>(b)); break;
    case 1:
        if (cb->event1)
            cb->event1(instance, arg(b, 1));
        break;
    case AppEvent_codeOpenResolved:
        if (cb->openResolved)
            cb->openResolved(instance, arg(b, 1), arg(b, 2), arg(b, 3), arg(b, 4), arg(b, 5));
        Mem_free(reinterpret_cast<void *>(arg(b, 4)));
        break;
    case AppEvent_codeOpenUrl: dispatchOpenUrl(instance, cb, b); break;
    case AppEvent_codeCall:
    case AppEvent_codeCallAmongMoves:
        if (AppCallFn fn = reinterpret_cast<AppCallFn>(arg(b, 1)))
            fn(instance, reinterpret_cast<void *>(arg(b, 2)));
        break;
    case 7:
        if (cb->key)
            cb->key(instance, arg(b, 1));
        break;
    case 8:
        if (cb->event8)
            cb->event8(instance);
        break;
    case 9:
        if (cb->event9)
            cb->event9(instance, arg(b, 2));
        break;
    case 10:
        if (cb->event10)
            cb->event10(instance, arg(b, 1), arg(b, 2), arg(b, 3), arg(b, 4));
        break;
    case 12:
        if (cb->event12)
            cb->event12(instance, arg(b, 1));
        break;
    case 13:
        if (cb->event13)
            cb->event13(instance, 0);
        break;
    case 14:
        if (cb->event14)
            cb->event14(instance, arg(b, 1), arg(b, 2));
        break;
    case AppEvent_codePan:
        if (cb->pan)
            cb->pan(instance, arg(b, 1), arg(b, 2), arg(b, 3));
        break;
    case 16:
        if (cb->event16)
            cb->event16(instance, arg(b, 1));
        break;
    case 17:
        if (cb->event17)
            cb->event17(instance);
        break;
    case AppEvent_codePointer:
        if (cb->pointer)
            cb->pointer(instance, arg(b, 3), arg(b, 1), arg(b, 2), arg(b, 4));
        break;
    case 19:
        if (cb->pointerPress)
            cb->pointerPress(instance);
        break;
    case 20:
        if (cb->event20)
            cb->event20(instance, arg(b, 1), arg(b, 2), arg(b, 3));
        break;
    case 21:
        if (cb->event21)
            cb->event21(instance, arg(b, 1), arg(b, 2), arg(b, 3));
        break;
    case 22:
        if (cb->event22)
            cb->event22(instance, arg(b, 1), arg(b, 2), arg(b, 3));
        break;
    case 23:
        if (cb->choice)
            cb->choice(instance, arg(b, 1), arg(b, 2), arg(b, 3), arg(b, 4), arg(b, 5));
        break;
    case 24:
        if (cb->event24)
            cb->event24(instance, arg(b, 1));
        break;
    case 25:
        if (cb->event25)
            cb->event25(instance);
        break;
    case 26:
        if (cb->event26)
            cb->event26(instance, arg(b, 1), arg(b, 2), arg(b, 3));
        break;
    case 27:
        if (cb->promptAnswer)
            cb->promptAnswer(instance, arg(b, 1));
        break;
    default: // 4, 11 and unknown codes
        break;
    }
}

// ------------------------------------------------ requests and handlers

void App_sendRequest(EngineInstance *instance, int32_t code, void *record)
{
    if (!instance)
        return;
    Host_engineRequest(instance->host, code, record);
    if (instance->queue)
        Handlers_dispatchRequest(instance->queue->handlers, code,
                                 reinterpret_cast<intptr_t>(record),
                                 reinterpret_cast<intptr_t>(instance));
}

void App_reportError(EngineInstance *instance, int32_t code, intptr_t argument)
{
    if (!instance)
        return;
    Host_showErrorAlert(instance->host, code);
    if (instance->queue)
        Handlers_dispatchError(instance->queue->handlers, code, argument,
                               reinterpret_cast<intptr_t>(instance));
}

int App_addRequestListener(EngineInstance *instance, HandlerFn handler, HandlerFn reference,
                           int position, void *userData)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    return Handlers_addRequest(q ? q->handlers : nullptr, handler, reference, position, userData);
}

void App_removeRequestListener(EngineInstance *instance, HandlerFn handler)
{
    if (instance && instance->queue)
        Handlers_remove(instance->queue->handlers, handler);
}

int App_addErrorListener(EngineInstance *instance, HandlerFn handler, HandlerFn reference,
                         int position, void *userData)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    return Handlers_addError(q ? q->handlers : nullptr, handler, reference, position, userData);
}

int App_registerObject(EngineInstance *instance, int32_t id, void *object)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    if (!q || id == 0)
        return Res_missingArgument;
    void *key = reinterpret_cast<void *>(uintptr_t(uint32_t(id)));
    // Set or add: at most one entry per id.
    while (Map_remove(q->objects, key) == Res_ok) {
    }
    return Map_insert(q->objects, key, object);
}

void App_unregisterObject(EngineInstance *instance, int32_t id)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    if (q && id != 0)
        Map_remove(q->objects, reinterpret_cast<void *>(uintptr_t(uint32_t(id))));
}

void *App_getObject(EngineInstance *instance)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    void *object = nullptr; // a missing entry leaves it null
    if (q)
        (void)Map_find(q->objects, reinterpret_cast<void *>(uintptr_t(App_objectViewer)), &object);
    return object;
}

int App_addStopHook(EngineInstance *instance, AppStopFn function)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    if (!q)
        return Res_missingArgument;
    AppStopHook *h = static_cast<AppStopHook *>(Mem_malloc(sizeof(AppStopHook)));
    if (!h)
        return Res_noMemory;
    h->function = function;
    h->next = q->stopHooks;
    q->stopHooks = h;
    return Res_ok;
}
