// The counted list of the widget toolkit.
#include "html/forms/ptrlist.h"

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

PtrCell *cellAt(const PtrList *list, uint32_t index)
{
    PtrCell *c = list->head;
    while (c && index--)
        c = c->next;
    return c;
}

int endOf(const PtrList *list)
{
    return list->count ? Res_listEnd : Res_listEmpty;
}

} // namespace

int PtrList_create(EngineContext *context, PtrList **out)
{
    *out = nullptr;
    PtrList *list = static_cast<PtrList *>(Mem_calloc(1, sizeof(PtrList)));
    if (!list)
        return Res_noMemory;
    list->kind = 10;
    int err = Lock_init(context, &list->lock);
    if (!err)
        err = Sem_init(context, &list->sem, 0, 1);
    if (err) {
        Mem_free(list);
        return err;
    }
    *out = list;
    return Res_ok;
}

void PtrList_clear(PtrList *list)
{
    if (!list)
        return;
    for (PtrCell *c = list->head, *n; c; c = n) {
        n = c->next;
        Mem_free(c);
    }
    list->head = list->tail = nullptr;
    list->count = 0;
}

void PtrList_destroy(PtrList *list)
{
    if (!list)
        return;
    PtrList_clear(list);
    Sem_fini(&list->sem);
    Lock_fini(&list->lock);
    Mem_free(list);
}

int PtrList_insertAt(PtrList *list, uint32_t index, void *value)
{
    if (!list)
        return Res_formNoWidget;
    if (index > list->count)
        return Res_listEnd;
    PtrCell *cell = static_cast<PtrCell *>(Mem_malloc(sizeof(PtrCell)));
    if (!cell)
        return Res_noMemory;
    cell->value = value;
    if (index == 0) {
        cell->next = list->head;
        list->head = cell;
        if (!list->tail)
            list->tail = cell;
    } else {
        PtrCell *prev = cellAt(list, index - 1);
        if (!prev) {
            // The count says more cells than the chain holds.
            Mem_free(cell);
            return Res_listEnd;
        }
        cell->next = prev->next;
        prev->next = cell;
        if (prev == list->tail)
            list->tail = cell;
    }
    list->count++;
    return Res_ok;
}

int PtrList_append(PtrList *list, void *value)
{
    return list ? PtrList_insertAt(list, list->count, value) : int(Res_formNoWidget);
}

int PtrList_prepend(PtrList *list, void *value)
{
    return PtrList_insertAt(list, 0, value);
}

int PtrList_removeAt(PtrList *list, uint32_t index, void **value)
{
    if (value)
        *value = nullptr;
    if (!list)
        return Res_formNoWidget;
    if (index >= list->count)
        return endOf(list);
    PtrCell *prev = index ? cellAt(list, index - 1) : nullptr;
    PtrCell *cell = prev ? prev->next : list->head;
    if (prev)
        prev->next = cell->next;
    else
        list->head = cell->next;
    if (list->tail == cell)
        list->tail = prev;
    list->count--;
    if (value)
        *value = cell->value;
    Mem_free(cell);
    return Res_ok;
}

int PtrList_removeFirst(PtrList *list, const void *value)
{
    uint32_t index = 0;
    int err = PtrList_indexOf(list, value, &index);
    return err ? err : PtrList_removeAt(list, index, nullptr);
}

int PtrList_get(const PtrList *list, uint32_t index, void **value)
{
    *value = nullptr;
    if (!list)
        return Res_formNoWidget;
    PtrCell *c = cellAt(list, index);
    if (!c)
        return endOf(list);
    *value = c->value;
    return Res_ok;
}

int PtrList_indexOf(const PtrList *list, const void *value, uint32_t *index)
{
    *index = 0;
    if (!list)
        return Res_formNoWidget;
    uint32_t i = 0;
    for (PtrCell *c = list->head; c; c = c->next, i++) {
        if (c->value == value) {
            *index = i;
            return Res_ok;
        }
    }
    return endOf(list);
}

int PtrList_first(const PtrList *list, PtrCell **cursor, void **value)
{
    *cursor = nullptr;
    *value = nullptr;
    if (!list)
        return Res_formNoWidget;
    if (!list->head)
        return Res_listEmpty;
    *cursor = list->head;
    *value = list->head->value;
    return Res_ok;
}

int PtrList_next(PtrCell **cursor, void **value)
{
    *value = nullptr;
    if (!*cursor || !(*cursor)->next) {
        *cursor = nullptr;
        return Res_listEnd;
    }
    *cursor = (*cursor)->next;
    *value = (*cursor)->value;
    return Res_ok;
}

uint32_t PtrList_count(const PtrList *list)
{
    return list ? list->count : 0;
}

int PtrList_appendAll(PtrList *list, const PtrList *source)
{
    if (!list || !source)
        return Res_formNoWidget;
    // Counted, so that appending a list to itself ends.
    uint32_t n = source->count;
    PtrCell *c = source->head;
    for (uint32_t i = 0; i < n && c; i++, c = c->next) {
        int err = PtrList_append(list, c->value);
        if (err)
            return err;
    }
    return Res_ok;
}
