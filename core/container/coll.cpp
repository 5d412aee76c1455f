// Collections: the dispatchers and the default intrusive list.
//
// The default slots keep the count in step with the links, clear an
// item's link pair when it leaves the list, and check that an anchor or an
// item to unlink really sits on the list before touching its neighbours,
// so a stale or foreign item gives an error instead of corrupting links.
#include "core/container/coll.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

CollLink *linkOf(const Coll *c, void *item)
{
    return reinterpret_cast<CollLink *>(static_cast<uint8_t *>(item) + c->linkOffset);
}

void *itemOf(const Coll *c, CollLink *link)
{
    return link ? static_cast<void *>(reinterpret_cast<uint8_t *>(link) - c->linkOffset) : nullptr;
}

// True when link is on c's list, judged by its neighbours.
bool isLinked(const Coll *c, const CollLink *link)
{
    if (link->prev ? link->prev->next != link : c->head != link)
        return false;
    if (link->next ? link->next->prev != link : c->tail != link)
        return false;
    return true;
}

void linkBetween(Coll *c, CollLink *link, CollLink *prev, CollLink *next)
{
    link->prev = prev;
    link->next = next;
    if (prev)
        prev->next = link;
    else
        c->head = link;
    if (next)
        next->prev = link;
    else
        c->tail = link;
    c->count++;
}

void listClear(Coll *c)
{
    c->head = nullptr;
    c->tail = nullptr;
    c->count = 0;
}

int listDestroyCheck(Coll *c)
{
    return c->head ? Coll_stillHolds : 0;
}

int listPushFront(Coll *c, void *item)
{
    if (!item)
        return Res_nullInput;
    linkBetween(c, linkOf(c, item), nullptr, c->head);
    return 0;
}

int listAppend(Coll *c, void *item)
{
    if (!item)
        return Res_nullInput;
    linkBetween(c, linkOf(c, item), c->tail, nullptr);
    return 0;
}

int listInsertBefore(Coll *c, void *item, void *at)
{
    if (!item || !at)
        return Res_nullInput;
    CollLink *anchor = linkOf(c, at);
    if (!isLinked(c, anchor))
        return Res_nullInput;
    linkBetween(c, linkOf(c, item), anchor->prev, anchor);
    return 0;
}

int listInsertAfter(Coll *c, void *item, void *at)
{
    if (!item || !at)
        return Res_nullInput;
    CollLink *anchor = linkOf(c, at);
    if (!isLinked(c, anchor))
        return Res_nullInput;
    linkBetween(c, linkOf(c, item), anchor, anchor->next);
    return 0;
}

int listInsertSorted(Coll *c, void *item)
{
    if (!item)
        return Res_nullInput;
    CollLink *at = c->head;
    if (c->compare) {
        while (at && c->compare(item, itemOf(c, at)) != 0)
            at = at->next;
    } else {
        at = nullptr;
    }
    linkBetween(c, linkOf(c, item), at ? at->prev : c->tail, at);
    return 0;
}

void *listFind(Coll *c, const void *key)
{
    if (!c->match)
        return nullptr;
    for (CollLink *l = c->head; l; l = l->next) {
        void *item = itemOf(c, l);
        if (c->match(key, item))
            return item;
    }
    return nullptr;
}

int listUnlink(Coll *c, void *item)
{
    if (!item)
        return Res_nullInput;
    CollLink *link = linkOf(c, item);
    if (!isLinked(c, link))
        return Res_nullInput;
    if (link->prev)
        link->prev->next = link->next;
    else
        c->head = link->next;
    if (link->next)
        link->next->prev = link->prev;
    else
        c->tail = link->prev;
    link->prev = nullptr;
    link->next = nullptr;
    c->count--;
    return 0;
}

void *listFirst(Coll *c)
{
    return itemOf(c, c->head);
}

void *listLast(Coll *c)
{
    return itemOf(c, c->tail);
}

void *listNext(Coll *c, void *item)
{
    return item ? itemOf(c, linkOf(c, item)->next) : nullptr;
}

void *listPrev(Coll *c, void *item)
{
    return item ? itemOf(c, linkOf(c, item)->prev) : nullptr;
}

const CollMethods kListMethods = {
    listClear,        // clear
    listDestroyCheck, // destroy check
    listPushFront,    // push front
    listAppend,       // append
    listInsertBefore, // insert before
    listInsertAfter,  // insert after
    listInsertSorted, // sorted insert
    listFind,         // find
    listUnlink,       // unlink
    listFirst,        // first
    listLast,         // last
    listNext,         // next
    listPrev,         // previous
};

} // namespace

int Coll_create(Coll *c, const CollMethods *methods, size_t linkOffset)
{
    if (!c)
        return Res_nullInput;
    memset(c, 0, sizeof(*c));
    CollMethods *own = static_cast<CollMethods *>(Mem_malloc(sizeof(CollMethods)));
    if (!own)
        return Res_noMemory;
    *own = methods ? *methods : kListMethods;
    c->methods = own;
    c->linkOffset = linkOffset;
    return 0;
}

void Coll_setMatchFn(Coll *c, CollMatchFn match)
{
    if (c)
        c->match = match;
}

size_t Coll_count(const Coll *c)
{
    return c ? c->count : 0;
}

int Coll_pushFront(Coll *c, void *item)
{
    if (!c || !c->methods || !c->methods->pushFront)
        return Res_nullInput;
    return c->methods->pushFront(c, item);
}

void *Coll_first(Coll *c)
{
    if (!c || !c->methods || !c->methods->first)
        return nullptr;
    return c->methods->first(c);
}

void *Coll_find(Coll *c, const void *key)
{
    if (!c || !c->match || !c->methods || !c->methods->find)
        return nullptr;
    return c->methods->find(c, key);
}

int Coll_remove(Coll *c, void *item)
{
    if (!c || !item || !c->methods || !c->methods->unlink)
        return Res_nullInput;
    return c->methods->unlink(c, item);
}

int Coll_destroy(Coll *c)
{
    if (!c || !c->methods)
        return Res_nullInput;
    int result = c->methods->destroyCheck ? c->methods->destroyCheck(c) : Res_nullInput;
    Mem_free(c->methods);
    c->methods = nullptr;
    return result;
}
