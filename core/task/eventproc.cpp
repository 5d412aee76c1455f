// The event processor: the message queue and its delivery job, listeners
// and kind slots, and the messages of kinds 5 and 8.
//
// The head of the queue stays queued while it is delivered: a message
// posted meanwhile sees a non-empty queue and needs no new delivery job,
// since the running one goes on until the queue is empty. The head is not
// a merge candidate while it is delivered, because its listeners may have
// read the state already: a repeat posted now must reach them.
//
// Listeners marked removed are freed when the next delivery collects its
// listeners, unless a removal still waits for a running call of theirs.
#include "core/task/eventproc.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/task/worker.h"

namespace {

constexpr size_t deliveryStack = 4096;
constexpr int32_t deliveryClass = 2;

bool validKind(int32_t kind)
{
    return kind >= 0 && kind < EventProc_kinds;
}

Task *currentTask(const Lock *lock)
{
    return lock->scheduler ? lock->scheduler->current : nullptr;
}

void noWork(void *) {}

bool kind5OwnsBlock(const EventProcKind5Msg *m)
{
    return m->code == 14 && m->flag == 1;
}

void freeListener(EventProcListener *l)
{
    Lock_fini(&l->lock);
    Mem_free(l);
}

} // namespace

// ---------------------------------------------------------- the processor

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
    if (Task_hasCurrent(processor->context)) {
        EventProc_stop(processor);
        AppMsg_drain(processor);
    } else {
        processor->stopping = 1; // nothing can run the queue now
    }
    while (EventProcListener *l = processor->listeners) {
        processor->listeners = l->next;
        freeListener(l);
    }
    for (EventProcSlot &slot : processor->slots)
        Lock_fini(&slot.lock);
    while (EventProcNode *n = processor->queue) {
        processor->queue = n->next;
        EventProc_freeMsg(n->msg);
        Mem_free(n);
    }
    TimerQ_finiList(&processor->timers);
    Lock_fini(&processor->queueLock);
    Lock_fini(&processor->listLock);
    Sem_fini(&processor->drained);
    Mem_free(processor);
}

void EventProc_stop(EventProc *processor)
{
    if (!processor)
        return;
    Lock_acquire(&processor->queueLock);
    processor->stopping = 1;
    Lock_release(&processor->queueLock);
}

void AppMsg_deliverAll(void *argument)
{
    EventProc *p = static_cast<EventProc *>(argument);
    Lock_acquire(&p->queueLock);
    // Another task delivers already (inline drains from two tasks): it goes
    // on until the queue is empty.
    if (p->delivering) {
        Lock_release(&p->queueLock);
        return;
    }
    while (EventProcNode *n = p->queue) {
        p->delivering = n;
        p->deliverer = currentTask(&p->queueLock);
        Lock_release(&p->queueLock);
        EventProc_deliver(p, n->msg);
        EventProc_freeMsg(n->msg);
        Lock_acquire(&p->queueLock);
        p->queue = n->next;
        if (!p->queue)
            p->tail = nullptr;
        if (p->mergedInto == n)
            p->mergedInto = nullptr;
        p->delivering = nullptr;
        p->deliverer = nullptr;
        Mem_free(n);
    }
    Sem_signal(&p->drained);
    Lock_release(&p->queueLock);
}

void AppMsg_drain(EventProc *processor)
{
    if (!processor)
        return;
    if (processor->mode & EventProc_inlineMode)
        AppMsg_deliverAll(processor);
    for (;;) {
        Lock_acquire(&processor->queueLock);
        bool empty = !processor->queue;
        // A listener that drains its own processor would wait for itself.
        bool self =
            processor->deliverer && processor->deliverer == currentTask(&processor->queueLock);
        Lock_release(&processor->queueLock);
        if (empty || self)
            break;
        Sem_wait(&processor->drained);
    }
    Sem_signal(&processor->drained); // for any other drainer
}

void EventProc_deliver(EventProc *processor, EventProcMsg *msg)
{
    if (!processor || !msg)
        return;
    EventProcListener *chain = nullptr;
    EventProcListener **tail = &chain;
    Lock_acquire(&processor->listLock);
    for (EventProcListener **link = &processor->listeners; *link;) {
        EventProcListener *l = *link;
        if (l->removed && l->removers == 0) {
            *link = l->next;
            freeListener(l);
            continue;
        }
        if (!l->removed && l->kind == msg->kind) {
            l->deliveryLink = nullptr;
            *tail = l;
            tail = &l->deliveryLink;
        }
        link = &l->next;
    }
    Lock_release(&processor->listLock);

    for (EventProcListener *l = chain; l; l = l->deliveryLink) {
        Lock_acquire(&l->lock);
        if (!l->removed) {
            int remove = 0;
            l->callback(processor->context, msg, l->callbackContext, &remove);
            if (remove)
                l->removed = 1;
        }
        Lock_release(&l->lock);
    }
    if (chain || !validKind(msg->kind))
        return;
    EventProcSlot *slot = &processor->slots[msg->kind];
    Lock_acquire(&slot->lock);
    if (slot->handler && !slot->removed) {
        int remove = 0;
        slot->handler(processor->context, msg, slot->handlerContext, &remove);
        if (remove)
            slot->removed = 1;
    }
    Lock_release(&slot->lock);
}

// --------------------------------------------------------------- messages

int EventProc_post(EventProc *processor, EventProcMsg *msg)
{
    if (!msg)
        return Res_missingArgument;
    if (!processor) {
        EventProc_freeMsg(msg);
        return Res_missingArgument;
    }
    EventProcNode *node = static_cast<EventProcNode *>(Mem_malloc(sizeof(EventProcNode)));
    if (!node) {
        EventProc_freeMsg(msg);
        return Res_noMemory;
    }
    node->msg = msg;
    node->next = nullptr;
    Lock_acquire(&processor->queueLock);
    if (processor->stopping) {
        Lock_release(&processor->queueLock);
        Mem_free(node);
        EventProc_freeMsg(msg);
        return Res_eventProcStopping;
    }
    if (!processor->queue) {
        processor->queue = node;
        processor->tail = node;
        if (!(processor->mode & EventProc_inlineMode)) {
            // The delivery is the job's done callback, so that it runs even
            // while the pool stops.
            WorkerJob *job = nullptr;
            int r = Worker_submit(processor->context, &job, deliveryClass, noWork, processor,
                                  AppMsg_deliverAll, deliveryStack, "emptyEventProcessor");
            if (r != Res_ok) {
                processor->queue = nullptr;
                processor->tail = nullptr;
                Lock_release(&processor->queueLock);
                Mem_free(node);
                EventProc_freeMsg(msg);
                return r;
            }
            Worker_detach(job);
        }
        Lock_release(&processor->queueLock);
        return Res_ok;
    }
    // Only a message that may merge with a queued one walks the queue; the
    // others go straight to its tail.
    EventProcNode *hint = processor->mergedInto;
    bool hinted = msg->merge && hint && hint != processor->delivering &&
                  processor->mergedBy == msg->merge && msg->merge(msg, hint->msg);
    for (EventProcNode *queued = hinted ? hint : processor->queue; msg->merge && queued;
         queued = queued->next) {
        if (queued != processor->delivering &&
            ((hinted && queued == hint) || msg->merge(msg, queued->msg))) {
            processor->mergedInto = queued;
            processor->mergedBy = msg->merge;
            Lock_release(&processor->queueLock);
            Mem_free(node);
            EventProc_freeMsg(msg);
            return Res_ok;
        }
    }
    processor->tail->next = node;
    processor->tail = node;
    Lock_release(&processor->queueLock);
    return Res_ok;
}

void EventProc_freeMsg(EventProcMsg *msg)
{
    if (!msg)
        return;
    if (msg->freeFn)
        msg->freeFn(msg, msg->handlerArg);
    Mem_free(msg->payload);
    Mem_free(msg);
}

int EventProcMsg_copy(const EventProcMsg *msg, EventProcMsg **copy)
{
    if (copy)
        *copy = nullptr;
    if (!msg || !copy)
        return Res_missingArgument;
    if (msg->payload && !msg->copyFn)
        return Res_notImplemented;
    EventProcMsg *c = static_cast<EventProcMsg *>(Mem_malloc(sizeof(EventProcMsg)));
    if (!c)
        return Res_noMemory;
    *c = *msg;
    c->payload = nullptr;
    if (msg->payload) {
        int r = msg->copyFn(msg, c);
        if (r != Res_ok) {
            Mem_free(c);
            return r;
        }
    }
    *copy = c;
    return Res_ok;
}

int EventProc_postPayload(EventProc *processor, int32_t kind, void *payload, EventProcFreeFn freeFn,
                          EventProcCopyFn copyFn, EventProcMergeFn merge)
{
    EventProcMsg *msg = static_cast<EventProcMsg *>(Mem_calloc(1, sizeof(EventProcMsg)));
    if (!msg) {
        EventProcMsg tmp{kind, freeFn, copyFn, nullptr, merge, payload};
        if (freeFn)
            freeFn(&tmp, nullptr);
        Mem_free(tmp.payload);
        return Res_noMemory;
    }
    msg->kind = kind;
    msg->freeFn = freeFn;
    msg->copyFn = copyFn;
    msg->merge = merge;
    msg->payload = payload;
    return EventProc_post(processor, msg);
}

void EventProc_releaseBlockMsg(EventProcMsg *msg, void *)
{
    if (!msg || !msg->payload)
        return;
    EventProcKind5Msg *m = static_cast<EventProcKind5Msg *>(msg->payload);
    if (kind5OwnsBlock(m))
        Mem_free(m->block);
    Mem_free(m);
    msg->payload = nullptr;
}

int EventProc_copyBlockMsg(const EventProcMsg *src, EventProcMsg *dst)
{
    if (!src || !dst)
        return Res_missingArgument;
    dst->payload = nullptr;
    if (!src->payload)
        return Res_ok;
    const EventProcKind5Msg *m = static_cast<const EventProcKind5Msg *>(src->payload);
    if (kind5OwnsBlock(m))
        return Res_notImplemented;
    EventProcKind5Msg *p = static_cast<EventProcKind5Msg *>(Mem_malloc(sizeof(EventProcKind5Msg)));
    if (!p)
        return Res_noMemory;
    *p = *m;
    dst->payload = p;
    return Res_ok;
}

// ----------------------------------------------------------- constructors

int EventProc_postKind5(EventProc *processor, const EventProcKind5Msg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcKind5Msg *m = static_cast<EventProcKind5Msg *>(Mem_malloc(sizeof(EventProcKind5Msg)));
    if (!m) {
        if (kind5OwnsBlock(source))
            Mem_free(source->block);
        return Res_noMemory;
    }
    *m = *source;
    return EventProc_postPayload(processor, EventProc_kindNodeEvent, m, EventProc_releaseBlockMsg,
                                 EventProc_copyBlockMsg, nullptr);
}

int EventProc_postCustom(EventProc *processor, const EventProcCustomMsg *source,
                         EventProcFreeFn freeFn, EventProcCopyFn copyFn)
{
    if (!source)
        return Res_missingArgument;
    EventProcMsg *msg = static_cast<EventProcMsg *>(Mem_calloc(1, sizeof(EventProcMsg)));
    EventProcCustomMsg *payload =
        static_cast<EventProcCustomMsg *>(Mem_malloc(sizeof(EventProcCustomMsg)));
    if (!msg || !payload) {
        Mem_free(msg);
        Mem_free(payload);
        return Res_noMemory;
    }
    *payload = *source;
    msg->kind = 8;
    msg->freeFn = freeFn;
    msg->copyFn = copyFn;
    msg->payload = payload;
    if (copyFn) {
        int r = copyFn(msg, nullptr);
        if (r != Res_ok) {
            // Refused before anything was taken: nothing for the handler.
            Mem_free(payload);
            Mem_free(msg);
            return r;
        }
    }
    return EventProc_post(processor, msg);
}

// -------------------------------------------------------------- listeners

int EventProc_addListener(EngineContext *context, EventProc *processor, int32_t kind,
                          EventProcListenerFn callback, void *callbackContext)
{
    if (!processor || !callback || !validKind(kind))
        return Res_missingArgument;
    if (!context)
        context = processor->context;
    EventProcListener *l =
        static_cast<EventProcListener *>(Mem_calloc(1, sizeof(EventProcListener)));
    if (!l)
        return Res_noMemory;
    l->kind = kind;
    l->callback = callback;
    l->callbackContext = callbackContext;
    Lock_init(context, &l->lock);
    Lock_acquire(&processor->listLock);
    EventProcListener **link = &processor->listeners;
    while (*link)
        link = &(*link)->next;
    *link = l;
    Lock_release(&processor->listLock);
    return Res_ok;
}

int EventProc_removeListener(EventProc *processor, int32_t kind, EventProcListenerFn callback,
                             void *callbackContext)
{
    if (!processor)
        return Res_ok;
    Lock_acquire(&processor->listLock);
    EventProcListener *found = nullptr;
    for (EventProcListener *l = processor->listeners; l && !found; l = l->next)
        if (!l->removed && l->kind == kind && l->callback == callback &&
            l->callbackContext == callbackContext)
            found = l;
    if (!found) {
        Lock_release(&processor->listLock);
        return Res_notFound;
    }
    // No new call starts from now on. A running call is waited for without
    // the list lock (its callback may need that lock), the listener kept
    // alive meanwhile; from inside its own callback there is nothing to
    // wait for.
    found->removed = 1;
    bool own = found->lock.owner && found->lock.owner == currentTask(&found->lock);
    if (own) {
        Lock_release(&processor->listLock);
        return Res_ok;
    }
    found->removers++;
    Lock_release(&processor->listLock);
    Lock_acquire(&found->lock);
    Lock_release(&found->lock);
    Lock_acquire(&processor->listLock);
    found->removers--;
    Lock_release(&processor->listLock);
    return Res_ok;
}

int EventProc_setKindHandler(EventProc *processor, int32_t kind, EventProcListenerFn handler,
                             void *handlerContext)
{
    if (!processor || !handler || !validKind(kind))
        return Res_missingArgument;
    EventProcSlot *slot = &processor->slots[kind];
    bool own = slot->lock.owner && slot->lock.owner == currentTask(&slot->lock);
    if (!own)
        Lock_acquire(&slot->lock);
    int r = Res_ok;
    if (slot->handler && !slot->removed) {
        r = Res_slotInUse;
    } else {
        slot->handler = handler;
        slot->handlerContext = handlerContext;
        slot->removed = 0;
    }
    if (!own)
        Lock_release(&slot->lock);
    return r;
}

int EventProc_clearKindHandler(EventProc *processor, int32_t kind, EventProcListenerFn handler,
                               void *handlerContext)
{
    if (!processor || !validKind(kind))
        return Res_notFound;
    EventProcSlot *slot = &processor->slots[kind];
    bool own = slot->lock.owner && slot->lock.owner == currentTask(&slot->lock);
    if (!own)
        Lock_acquire(&slot->lock);
    int r = Res_notFound;
    if (slot->handler == handler && slot->handlerContext == handlerContext && !slot->removed) {
        slot->removed = 1;
        slot->handler = nullptr;
        slot->handlerContext = nullptr;
        r = Res_ok;
    }
    if (!own)
        Lock_release(&slot->lock);
    return r;
}
