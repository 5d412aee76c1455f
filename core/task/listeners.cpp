// Viewer listeners.
//
// The listener list is a singly linked list in registration order. While a
// dispatch walks it, removal only clears the node's function (the walk may
// be standing on that node, or about to step onto it) and the outermost
// dispatch unlinks and frees such nodes when it ends. A dispatch stops at
// the node that was last when it began, so listeners added by a listener
// wait for the next announcement.
#include "core/task/listeners.h"

#include "core/mem/mem.h"
#include "core/result.h"

void Listener_init(ListenerList *list, FvViewer *viewer)
{
    if (!list)
        return;
    list->head = nullptr;
    list->viewer = viewer;
    list->dispatching = 0;
    list->removed = 0;
}

namespace {

// Unlinks and frees every node whose function was cleared.
void sweep(ListenerList *list)
{
    ListenerNode **link = &list->head;
    while (ListenerNode *node = *link) {
        if (node->function) {
            link = &node->next;
            continue;
        }
        *link = node->next;
        Mem_free(node);
    }
    list->removed = 0;
}

} // namespace

void Listener_freeAll(ListenerList *list)
{
    if (!list)
        return;
    if (list->dispatching) {
        for (ListenerNode *node = list->head; node; node = node->next) {
            if (node->function) {
                node->function = nullptr;
                list->removed++;
            }
        }
        return;
    }
    ListenerNode *node = list->head;
    while (node) {
        ListenerNode *next = node->next;
        Mem_free(node);
        node = next;
    }
    list->head = nullptr;
    list->removed = 0;
}

int Listener_add(ListenerList *list, int32_t id, ListenerFn function)
{
    if (!list || !function)
        return 0;
    ListenerNode *node = static_cast<ListenerNode *>(Mem_malloc(sizeof(ListenerNode)));
    if (!node)
        return 0;
    node->id = id;
    node->function = function;
    node->next = nullptr;
    ListenerNode **link = &list->head;
    while (*link)
        link = &(*link)->next;
    *link = node;
    return 1;
}

void Listener_remove(ListenerList *list, ListenerFn function)
{
    if (!list || !function)
        return;
    for (ListenerNode **link = &list->head; *link; link = &(*link)->next) {
        ListenerNode *node = *link;
        if (node->function != function)
            continue;
        if (list->dispatching) {
            node->function = nullptr;
            list->removed++;
        } else {
            *link = node->next;
            Mem_free(node);
        }
        return;
    }
}

int Listener_dispatch(ListenerList *list, int32_t id, void *argument)
{
    if (!list || !list->head)
        return 0;
    ListenerNode *last = list->head;
    while (last->next)
        last = last->next;
    int called = 0;
    list->dispatching++;
    for (ListenerNode *node = list->head; node; node = node->next) {
        // The function is read afresh: an earlier listener may have removed
        // this one.
        if (node->id == id && node->function) {
            node->function(list->viewer, argument);
            called = 1;
        }
        if (node == last)
            break;
    }
    list->dispatching--;
    if (!list->dispatching && list->removed)
        sweep(list);
    return called;
}

int Listener_hasFunction(const ListenerList *list, ListenerFn function)
{
    if (!list || !function)
        return 0;
    for (const ListenerNode *node = list->head; node; node = node->next)
        if (node->function == function)
            return 1;
    return 0;
}
