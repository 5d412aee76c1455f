// The event processor: creation and teardown.
//
// A processor carries the engine's timer list beside its message queue; it
// is made by engine module start-up (and per document) and taken down after
// its timer thread has stopped.
#include "core/task/eventproc.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/engine.h"

int AppMsg_createDispatcherMode(EngineContext *context, EventProc **processor, uint32_t mode)
{
    if (processor)
        *processor = nullptr;
    if (!context || !processor)
        return Res_missingArgument;
    EventProc *p = static_cast<EventProc *>(Mem_calloc(1, sizeof(EventProc)));
    if (!p)
        return Res_noMemory;
    p->context = context;
    p->mode = mode;
    Sem_init(context, &p->drained, 0, 1);
    Lock_init(context, &p->queueLock);
    Lock_init(context, &p->listLock);
    for (int32_t k = 0; k < EventProc_kinds; k++) {
        p->slots[k].kind = k;
        Lock_init(context, &p->slots[k].lock);
    }
    TimerQ_initList(context, &p->timers);
    *processor = p;
    return Res_ok;
}

int AppMsg_createDispatcher(EngineContext *context, EventProc **processor)
{
    return AppMsg_createDispatcherMode(context, processor, 0);
}

void AppMsg_destroyDispatcher(EventProc *processor)
{
    if (!processor)
        return;
    TimerQ_finiList(&processor->timers);
    Mem_free(processor);
}
