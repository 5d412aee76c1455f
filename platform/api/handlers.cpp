// The request and error handler list: a singly linked list of small heap
// entries, searched by kind and function.
#include "platform/api/handlers.h"

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

// The link that points at the entry of this kind and function, or null.
HandlerEntry **findLink(HandlerList *list, int32_t kind, HandlerFn handler)
{
    for (HandlerEntry **link = &list->head; *link; link = &(*link)->next) {
        if ((*link)->kind == kind && (*link)->handler == handler)
            return link;
    }
    return nullptr;
}

int add(HandlerList *list, int32_t kind, HandlerFn handler, HandlerFn reference, int position,
        void *userData)
{
    if (!list)
        return Res_handlersNullList;
    if (!handler)
        return Res_handlersInsertFailed;
    HandlerEntry **ref = reference ? findLink(list, kind, reference) : nullptr;
    if (findLink(list, kind, handler))
        return Res_ok;
    HandlerEntry **link = nullptr;
    switch (position) {
    case Handlers_atHead: link = &list->head; break;
    case Handlers_atTail:
        for (link = &list->head; *link; link = &(*link)->next) {
        }
        break;
    case Handlers_before: link = ref; break;
    case Handlers_after: link = ref ? &(*ref)->next : nullptr; break;
    default: break;
    }
    if (!link)
        return Res_handlersInsertFailed;
    HandlerEntry *e = static_cast<HandlerEntry *>(Mem_malloc(sizeof(HandlerEntry)));
    if (!e)
        return Res_noMemory;
    e->kind = kind;
    e->userData = userData;
    e->handler = handler;
    e->next = *link;
    *link = e;
    return Res_ok;
}

void dispatch(HandlerList *list, int32_t kind, intptr_t a, intptr_t b, intptr_t c)
{
    if (!list)
        return;
    for (HandlerEntry *e = list->head; e; e = e->next) {
        if (e->kind == kind && e->handler(a, b, c, e->userData) != 0)
            return;
    }
}

} // namespace

int Handlers_create(HandlerList **list)
{
    if (!list)
        return Res_handlersNoList;
    *list = static_cast<HandlerList *>(Mem_calloc(1, sizeof(HandlerList)));
    return *list ? Res_ok : Res_handlersNoList;
}

void Handlers_destroy(HandlerList *list)
{
    if (!list)
        return;
    HandlerEntry *next;
    for (HandlerEntry *e = list->head; e; e = next) {
        next = e->next;
        Mem_free(e);
    }
    Mem_free(list);
}

int Handlers_addRequest(HandlerList *list, HandlerFn handler, HandlerFn reference, int position,
                        void *userData)
{
    return add(list, Handlers_kindRequest, handler, reference, position, userData);
}

int Handlers_addError(HandlerList *list, HandlerFn handler, HandlerFn reference, int position,
                      void *userData)
{
    return add(list, Handlers_kindError, handler, reference, position, userData);
}

void Handlers_remove(HandlerList *list, HandlerFn handler)
{
    if (!list)
        return;
    if (HandlerEntry **link = findLink(list, Handlers_kindRequest, handler)) {
        HandlerEntry *e = *link;
        *link = e->next;
        Mem_free(e);
    }
}

void Handlers_dispatchRequest(HandlerList *list, intptr_t first, intptr_t second, intptr_t third)
{
    dispatch(list, Handlers_kindRequest, first, second, third);
}

void Handlers_dispatchError(HandlerList *list, intptr_t first, intptr_t second, intptr_t third)
{
    dispatch(list, Handlers_kindError, first, second, third);
}
