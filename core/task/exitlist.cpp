// The exit list: a singly linked list of handlers with ids, run newest
// first when the engine shuts down.
#include "core/task/exitlist.h"

#include "core/mem/mem.h"
#include "core/result.h"

int ExitList_create(void *owner, ExitList **list)
{
    if (!list)
        return Res_missingArgument;
    *list = static_cast<ExitList *>(Mem_calloc(1, sizeof(ExitList)));
    if (!*list)
        return Res_noMemory;
    (*list)->owner = owner;
    (*list)->nextId = 1;
    return Res_ok;
}

int ExitList_add(ExitList *list, ExitFn function, void *argument, int32_t *id)
{
    if (id)
        *id = 0;
    if (!list || !function)
        return Res_missingArgument;
    ExitHandler *h = static_cast<ExitHandler *>(Mem_malloc(sizeof(ExitHandler)));
    if (!h)
        return Res_noMemory;
    h->function = function;
    h->argument = argument;
    h->id = list->nextId++;
    h->next = list->first;
    list->first = h;
    if (id)
        *id = h->id;
    return Res_ok;
}

void ExitList_remove(ExitList *list, int32_t *id)
{
    if (!list || !id)
        return;
    for (ExitHandler **link = &list->first; *link; link = &(*link)->next) {
        if ((*link)->id == *id) {
            ExitHandler *h = *link;
            *link = h->next;
            Mem_free(h);
            break;
        }
    }
    *id = 0;
}

void ExitList_runAll(ExitList *list)
{
    if (!list)
        return;
    while (ExitHandler *h = list->first) {
        list->first = h->next;
        ExitFn fn = h->function;
        void *arg = h->argument;
        Mem_free(h);
        fn(list->owner, arg);
    }
}

void ExitList_free(ExitList **list)
{
    if (!list || !*list)
        return;
    ExitHandler *next;
    for (ExitHandler *h = (*list)->first; h; h = next) {
        next = h->next;
        Mem_free(h);
    }
    Mem_free(*list);
    *list = nullptr;
}
