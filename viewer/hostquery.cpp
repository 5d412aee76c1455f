// Host queries: the asking side, the gate and the answer.
#include "viewer/hostquery.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/host/hostservices.h"
#include "platform/api/app.h"

namespace {

HostQuery *makeQuery(FvViewer *viewer, intptr_t kind, int32_t code, void *data,
                     HostQueryDoneFn onComplete, void *argument, int32_t synchronous)
{
    HostQuery *query = static_cast<HostQuery *>(Mem_calloc(1, sizeof(HostQuery)));
    HostQueryWaiter *waiter =
        static_cast<HostQueryWaiter *>(Mem_calloc(1, sizeof(HostQueryWaiter)));
    if (!query || !waiter) {
        Mem_free(query);
        Mem_free(waiter);
        return nullptr;
    }
    // Sem_init cannot fail.
    (void)Sem_init(viewer->context, &waiter->sem, 0, 1);
    waiter->synchronous = synchronous;
    waiter->onComplete = onComplete;
    waiter->argument = argument;
    query->waiter = waiter;
    query->kind = kind;
    query->code = code;
    query->data = data;
    query->status = HostQuery_yes;
    return query;
}

void freeQuery(HostQuery *query)
{
    if (!query)
        return;
    if (query->waiter)
        Sem_fini(&query->waiter->sem);
    Mem_free(query->waiter);
    Mem_free(query);
}

HostContext *hostOf(FvViewer *viewer)
{
    return viewer->context->instance ? viewer->context->instance->host : nullptr;
}

} // namespace

int HostQuery_initGate(FvViewer *viewer)
{
    if (!viewer)
        return 0;
    if (viewer->queryGate)
        return 1;
    Sem *gate = static_cast<Sem *>(Mem_calloc(1, sizeof(Sem)));
    if (!gate)
        return 0;
    // Sem_init cannot fail.
    (void)Sem_init(viewer->context, gate, 1, 1);
    viewer->queryGate = gate;
    return 1;
}

void HostQuery_finiGate(FvViewer *viewer)
{
    if (!viewer || !viewer->queryGate)
        return;
    Sem_fini(viewer->queryGate);
    Mem_free(viewer->queryGate);
    viewer->queryGate = nullptr;
}

int HostQuery_ask(FvViewer *viewer, intptr_t kind, int32_t code, void *data,
                  HostQueryDoneFn onComplete, void *argument)
{
    if (!viewer || !viewer->queryGate)
        return 0;
    HostQuery *query = makeQuery(viewer, kind, code, data, onComplete, argument, 1);
    if (!query)
        return 0;
    HostQueryWaiter *waiter = query->waiter;
    if (Sem_waitStoppable(viewer->queryGate) != Res_ok) {
        freeQuery(query);
        return 0;
    }
    Host_onOverlayChange(hostOf(viewer), query);
    int result = 0;
    bool freeNow = true;
    if (query->status != HostQuery_refused) {
        if (Sem_waitStoppable(&waiter->sem) == Res_ok) {
            result = query->status == HostQuery_yes ? 1 : 0;
        } else if (!waiter->answered && !Host_cancelQuery(hostOf(viewer), query)) {
            // The host let go of the query before the cancel came: its
            // answer is on its way and frees it then.
            waiter->abandoned = 1;
            freeNow = false;
        }
    }
    Sem_signal(viewer->queryGate);
    if (freeNow)
        freeQuery(query);
    return result;
}

HostQuery *HostQuery_post(FvViewer *viewer, intptr_t kind, int32_t code, void *data,
                          HostQueryDoneFn onComplete, void *argument)
{
    if (!viewer)
        return nullptr;
    HostQuery *query = makeQuery(viewer, kind, code, data, onComplete, argument, 0);
    if (!query)
        return nullptr;
    Host_onOverlayChange(hostOf(viewer), query);
    if (query->status == HostQuery_refused) {
        freeQuery(query);
        return nullptr;
    }
    return query;
}

int HostQuery_complete(EngineInstance *, void *record)
{
    HostQuery *query = static_cast<HostQuery *>(record);
    if (!query || !query->waiter)
        return 0;
    HostQueryWaiter *waiter = query->waiter;
    if (waiter->abandoned) {
        // Nobody waits any longer: the asker's callback and data are gone.
        freeQuery(query);
        return 1;
    }
    if (waiter->onComplete)
        waiter->onComplete(query, waiter->argument);
    if (waiter->synchronous) {
        waiter->answered = 1;
        Sem_signal(&waiter->sem);
    } else {
        freeQuery(query);
    }
    return 1;
}
