// The pooled list.
#include "html/web/list.h"

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

// A pool block of n nodes chained into the free chain. 0 or 1.
int addBlock(List *list, uint32_t n)
{
    if (n == 0)
        n = 1;
    ListBlock *block = static_cast<ListBlock *>(Mem_malloc(sizeof(ListBlock)));
    if (!block)
        return Res_noMemory;
    block->nodes = static_cast<ListNode *>(Mem_calloc(n, sizeof(ListNode)));
    if (!block->nodes) {
        Mem_free(block);
        return Res_noMemory;
    }
    for (uint32_t i = 0; i < n; i++) {
        block->nodes[i].next = list->freeNodes;
        list->freeNodes = &block->nodes[i];
    }
    block->next = list->blocks;
    list->blocks = block;
    return Res_ok;
}

ListNode *takeNode(List *list)
{
    if (!list->freeNodes) {
        if (addBlock(list, list->growBy) != Res_ok)
            return nullptr;
        // Doubling, held below overflow.
        if (list->growBy < 0x40000000u)
            list->growBy = list->growBy ? list->growBy * 2 : 1;
    }
    ListNode *n = list->freeNodes;
    list->freeNodes = n->next;
    n->next = nullptr;
    n->data = nullptr;
    return n;
}

void giveNode(List *list, ListNode *n)
{
    n->data = nullptr;
    n->next = list->freeNodes;
    list->freeNodes = n;
}

ListNode *predecessor(const List *list, const ListNode *node)
{
    ListNode *p = nullptr;
    for (ListNode *n = list->head; n; p = n, n = n->next)
        if (n == node)
            return p;
    return nullptr;
}

bool contains(const List *list, const ListNode *node)
{
    for (ListNode *n = list->head; n; n = n->next)
        if (n == node)
            return true;
    return false;
}

// Unlinks node (known to be in the list) without touching its datum.
void unlink(List *list, ListNode *node)
{
    ListNode *p = predecessor(list, node);
    if (p)
        p->next = node->next;
    else
        list->head = node->next;
    if (list->tail == node)
        list->tail = p;
    node->next = nullptr;
    list->count--;
}

// Links a free node at the head, at the tail, or before or after ref
// (known to be in the list).
void link(List *list, ListNode *node, ListNode *ref, int32_t where)
{
    if (where == List_before && ref == list->head)
        where = List_atHead;
    if (where == List_after && ref == list->tail)
        where = List_atTail;
    switch (where) {
    case List_atHead:
        node->next = list->head;
        list->head = node;
        if (!list->tail)
            list->tail = node;
        break;
    case List_atTail:
        node->next = nullptr;
        if (list->tail)
            list->tail->next = node;
        else
            list->head = node;
        list->tail = node;
        break;
    case List_before: {
        ListNode *p = predecessor(list, ref);
        node->next = ref;
        if (p)
            p->next = node;
        else
            list->head = node;
        break;
    }
    default:
        node->next = ref->next;
        ref->next = node;
        break;
    }
    list->count++;
}

} // namespace

int List_create(List **out, ListDestroyFn destroy, uint32_t initialNodes, uint32_t growBy)
{
    if (!out)
        return Res_noMemory;
    *out = nullptr;
    List *list = static_cast<List *>(Mem_calloc(1, sizeof(List)));
    if (!list)
        return Res_noMemory;
    list->destroy = destroy;
    list->growBy = growBy;
    if (addBlock(list, initialNodes) != Res_ok) {
        Mem_free(list);
        return Res_noMemory;
    }
    *out = list;
    return Res_ok;
}

void List_destroy(List **list)
{
    if (!list || !*list)
        return;
    List *l = *list;
    while (ListNode *n = l->head) {
        l->head = n->next;
        if (l->destroy && n->data)
            l->destroy(n->data);
    }
    while (ListBlock *b = l->blocks) {
        l->blocks = b->next;
        Mem_free(b->nodes);
        Mem_free(b);
    }
    Mem_free(l);
    *list = nullptr;
}

int32_t List_count(const List *list)
{
    return list ? list->count : 0;
}

ListNode *List_insert(List *list, void *data, ListNode *reference, int32_t where)
{
    if (!list || where < List_atHead || where > List_after)
        return nullptr;
    if (where >= List_before && (!reference || !contains(list, reference)))
        return nullptr;
    ListNode *n = takeNode(list);
    if (!n)
        return nullptr;
    n->data = data;
    link(list, n, reference, where);
    return n;
}

ListNode *List_insertSorted(List *list, void *data, ListCompareFn compare, int descending)
{
    if (!list || !compare)
        return nullptr;
    ListNode *last = nullptr;
    for (ListNode *e = list->head; e; e = e->next) {
        int c = compare(data, e->data);
        if (descending ? c > 0 : c < 0)
            break;
        last = e;
    }
    return last ? List_insert(list, data, last, List_after)
                : List_insert(list, data, nullptr, List_atHead);
}

int List_move(List *list, ListNode *node, ListNode *reference, int32_t where)
{
    if (!list || !node || !reference || (where != List_before && where != List_after))
        return Res_noMemory;
    if (list->count < 2 || node == reference)
        return Res_ok;
    if (!contains(list, node) || !contains(list, reference))
        return Res_noMemory;
    if (where == List_before ? node->next == reference : reference->next == node)
        return Res_ok; // already in place
    unlink(list, node);
    link(list, node, reference, where);
    return Res_ok;
}

int List_sort(List *list, ListCompareFn compare, int32_t order, int swapData)
{
    if (!list || !compare)
        return Res_noMemory;
    if (list->count < 2)
        return Res_ok;
    for (bool changed = true; changed;) {
        changed = false;
        for (ListNode *e = list->head; e && e->next;) {
            ListNode *s = e->next;
            int c = order == 1 ? compare(e->data, s->data) : compare(s->data, e->data);
            if (c < 0) {
                changed = true;
                if (swapData) {
                    void *d = e->data;
                    e->data = s->data;
                    s->data = d;
                    e = s;
                } else {
                    // e moves after s; s is now in e's old place and e is
                    // the next entry to compare.
                    unlink(list, e);
                    link(list, e, s, List_after);
                }
            } else {
                e = s;
            }
        }
    }
    return Res_ok;
}

ListNode *List_at(const List *list, int32_t index)
{
    if (!list || index < 0 || index >= list->count)
        return nullptr;
    ListNode *n = list->head;
    while (index-- > 0)
        n = n->next;
    return n;
}

void *List_nodeData(const ListNode *node)
{
    return node ? node->data : nullptr;
}

int List_remove(List *list, ListNode **node)
{
    if (!list || !node)
        return Res_noMemory;
    if (!*node || !list->head)
        return Res_ok;
    ListNode *n = *node;
    if (!contains(list, n))
        return Res_noMemory;
    unlink(list, n);
    if (list->destroy && n->data)
        list->destroy(n->data);
    giveNode(list, n);
    *node = nullptr;
    return Res_ok;
}

ListNode *List_findWith(const List *list, const void *key, ListFindFn compare, ListNode *after)
{
    if (!list)
        return nullptr;
    for (ListNode *n = after ? after->next : list->head; n; n = n->next) {
        int c = compare ? compare(key, n->data) : (key == n->data ? 0 : 1);
        if (c == 0)
            return n;
        if (c == 2)
            return nullptr;
    }
    return nullptr;
}

int List_forEach(List *list, ListEachFn callback, void *argument, ListNode *after)
{
    if (!list || !callback)
        return Res_noMemory;
    for (ListNode *n = after ? after->next : list->head; n;) {
        ListNode *next = n->next; // the callback may remove n
        int r = callback(n, argument);
        if (r == -1)
            return 0;
        if (r == 1)
            return 1;
        n = next;
    }
    return 0;
}

int List_walk(List *list, void *argument, ListWalkFn callback, ListWalkState *state)
{
    if (!list || !callback || !state)
        return Res_noMemory;
    if (callback(0, argument, nullptr, state) != 0) {
        callback(1, argument, nullptr, state);
        return 1;
    }
    int result = 0;
    if (!state->fill) {
        for (ListNode *n = list->head; n;) {
            ListNode *next = n->next;
            if (callback(2, argument, n, state) != 0) {
                result = 1;
                break;
            }
            n = next;
        }
    } else {
        while (!state->done) {
            ListNode *n = takeNode(list);
            if (!n) {
                result = Res_noMemory;
                break;
            }
            if (callback(2, argument, n, state) != 0) {
                giveNode(list, n);
                result = 1;
                break;
            }
            link(list, n, nullptr, List_atTail);
        }
    }
    callback(1, argument, nullptr, state);
    return result;
}

int List_replaceData(const List *ops, void **slot, void *data)
{
    if (!ops || !slot)
        return Res_noMemory;
    if (*slot && ops->destroy)
        ops->destroy(*slot);
    *slot = data;
    return Res_ok;
}
