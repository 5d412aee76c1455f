// Engine start-up and shut-down: the instance and its context, the reply
// semaphore, the exit list, stop hooks, the orderly stop and the fatal-error
// path back to the host.
//
// Shut-down is complete and ordered so that nothing is freed while it is
// still in use: pending events are disposed of, the close event goes to the
// application thread and that thread is given slices until it has run the
// close event and ended (its own teardown finishes the modules); only then
// does every engine thread end, the scheduler finish and every heap chunk
// go back to the host, the first (which holds the instance) last.
#include "platform/api/engine.h"

#include <cstring>

#include "core/context/statics.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/appevent.h"
#include "core/task/lock.h"
#include "core/task/task.h"
#include "core/host/hostservices.h"
#include "platform/api/appqueue.h"
#include "platform/api/hostevent.h"
#include "platform/api/identrecord.h"
#include "platform/host/hostthread.h"

namespace {

// Slices given to the application thread to run its close event; a thread
// that needs more is ended with the others.
constexpr int closeSliceLimit = 1000;

bool taskAlive(Scheduler *s, Task *t)
{
    for (Task *x = s ? s->taskList : nullptr; x; x = x->nextTask) {
        if (x == t)
            return !(t->flags & Task_ended);
    }
    return false;
}

void stopHostTimer(EngineInstance *inst)
{
    AppQueueRecord *q = inst->queue;
    if (q && q->timerArmed && HostTimer_stop(inst->host, &q->timerId) == 1)
        q->timerArmed = 0;
}

// The first steps of a shut-down: flags, pending events, the identity
// record, the host timer, and (unless the engine aborted) the close event.
void beginShutdown(EngineInstance *inst, bool postClose)
{
    AppQueueRecord *q = inst->queue;
    inst->stopping = 1;
    if (q) {
        q->shuttingDown = 1;
        EventQ_clear(q->ring);
    }
    Ident_freeRecord(inst);
    stopHostTimer(inst);
    if (q && postClose) {
        AppEvent close;
        EventQ_emptyEntry(&close);
        close.block[0] = AppEvent_codeClose;
        close.block[1] = reinterpret_cast<intptr_t>(inst);
        EventQ_post(q->ring, &close);
    }
}

// Gives the application thread slices until it has ended, or nothing is
// ready to run any more.
void runApplicationToEnd(EngineInstance *inst)
{
    Scheduler *s = inst->scheduler;
    if (!s || inst->abortMark)
        return;
    for (int i = 0; i < closeSliceLimit && taskAlive(s, inst->appTask); i++) {
        if (!Task_runSlice(inst) && taskAlive(s, inst->appTask))
            break;
    }
}

} // namespace

// --------------------------------------------------------------- start-up

int Engine_isLive(const EngineInstance *instance)
{
    return instance && instance == Host_getThreadContext();
}

EngineInstance *Engine_createContext(HostContext *host, TaskInstallerFn installer, int heapFlags)
{
    if (!host || heapFlags < 0 || heapFlags > 1)
        return nullptr;
    // One engine per host: a second start would take over the first's
    // instance pointer.
    if (host->instance)
        return nullptr;
    bool registered = false;
    if (!host->mainThread) {
        if (!HostThread_create(host, nullptr, nullptr, 0)) {
            Host_engineRequest(host, Engine_requestFailed, nullptr);
            return nullptr;
        }
        registered = true;
    }
    EngineInstance *inst = Mem_createEngineContext(heapFlags & 1);
    if (!inst) {
        Host_engineRequest(host, Engine_requestFailed, nullptr);
        if (registered)
            HostThread_destroy(host, host->mainThread);
        return nullptr;
    }
    inst->host = host;
    Host_setInstance(host, inst);
    Mem_resetContext();
    if (heapFlags & 1)
        Mem_setChunkMode(1);
    if (Ident_createRecord(inst) == Res_ok) {
        EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        if (ctx) {
            ctx->instance = inst;
            inst->context = ctx;
            Engine_resetStatics();
            inst->appFailed = 0;
            inst->queueOptionA = 0;
            inst->queueOptionB = 1;
            if (Task_initScheduler(inst, installer) == Res_ok &&
                Engine_createReplySem(inst) == Res_ok)
                return inst;
        }
    }
    Host_engineRequest(host, Engine_requestFailed, nullptr);
    Engine_teardown(inst);
    return nullptr;
}

int Engine_createReplySem(EngineInstance *instance)
{
    if (!instance || !instance->context)
        return Res_missingArgument;
    Sem *sem = static_cast<Sem *>(Mem_malloc(sizeof(Sem)));
    if (!sem)
        return Res_noMemory;
    Sem_init(instance->context, sem, 0, 1);
    instance->replySem = sem;
    return Res_ok;
}

int Engine_runEntry(EngineInstance *instance, const AppEvent *startEvent)
{
    instance->entry = reinterpret_cast<EngineEntryFn>(startEvent->block[7]);
    int r = instance->entry ? instance->entry(instance, startEvent) : 0;
    // Without its queue the application cannot be reached: not a start.
    if (r && !instance->queue)
        r = 0;
    if (r) {
        instance->timerPeriod = 20;
        instance->runState = Engine_busy;
        AlienTimer_arm(instance, &instance->queue->timerId, 20);
    }
    instance->entryResult = r;
    return r;
}

// --------------------------------------------------------------- stopping

int Engine_canStop(EngineInstance *instance, int freeHooks)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    if (!q || !instance->context || q->shuttingDown)
        return 0;
    for (AppStopHook *h = q->stopHooks; h; h = h->next) {
        if (h->function && h->function(instance) == 0)
            return 0;
    }
    if (freeHooks) {
        AppStopHook *next;
        for (AppStopHook *h = q->stopHooks; h; h = next) {
            next = h->next;
            Mem_free(h);
        }
        q->stopHooks = nullptr;
    }
    return 1;
}

int Engine_shutdown(EngineInstance *instance)
{
    if (Engine_canStop(instance, 1) != 1)
        return 0;
    beginShutdown(instance, true);
    runApplicationToEnd(instance);
    Engine_teardown(instance);
    return 1;
}

void Engine_abortToHost(EngineInstance *instance)
{
    HostContext *host = instance->host;
    instance->entryDepth = 0;
    if (!instance->queue || !instance->queue->shuttingDown)
        beginShutdown(instance, false);
    Engine_teardown(instance);
    Host_postCloseDown(host);
}

void Engine_teardown(EngineInstance *instance)
{
    if (!instance)
        return;
    HostContext *host = instance->host;
    instance->stopping = 1;
    if (instance->queue) {
        instance->queue->shuttingDown = 1;
        EventQ_clear(instance->queue->ring);
    }
    Ident_freeRecord(instance);
    stopHostTimer(instance);
    if (instance->replySem) {
        Sem_fini(instance->replySem);
        Mem_free(instance->replySem);
        instance->replySem = nullptr;
    }
    if (instance->exitList) {
        ExitList_runAll(instance->exitList);
        ExitList_free(&instance->exitList);
    }
    // Every engine thread waits for the baton now (this, the GUI thread,
    // holds it): end them all, and the GUI thread's registration with them.
    HostThread_destroyAll(host);
    if (Scheduler *s = instance->scheduler) {
        for (Task *t = s->taskList; t; t = t->nextTask)
            t->thread = nullptr;
    }
    instance->appTask = nullptr;
    Task_finiScheduler(instance);
    AppEvent_queueDestroy(instance);
    Mem_free(instance->context);
    instance->context = nullptr;
    // The first chunk holds the instance: nothing may touch it afterwards.
    Mem_releaseChunks();
    Host_setInstance(host, nullptr);
}
