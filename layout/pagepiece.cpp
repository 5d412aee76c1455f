// Page-record pieces and index lists.
//
// A page's record heads a chain of further records (pieces); a piece that
// belongs to an outline item of the page (kind 3) follows its owner in the
// page's item order, so the pieces paint in the order their items do.
#include <cstring>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "layout/line.h"

int PagePiece_create(Edr_PageRec **out, const Edr_PageRec *templ, ObjHeader *owner)
{
    *out = nullptr;
    Edr_PageRec *piece = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
    if (!piece)
        return Res_noMemory;
    if (templ) {
        // The first eight words: the document, the key words, the bounds
        // and the word after them.
        piece->doc = templ->doc;
        std::memcpy(piece->words1, templ->words1, sizeof(piece->words1));
        std::memcpy(piece->bounds, templ->bounds, sizeof(piece->bounds));
        piece->boundsTail = templ->boundsTail;
    }
    // Named colour 17: transparent, all zero (from the zeroed block).
    if (owner) {
        piece->buildState = 3;
        piece->objects = owner;
    }
    *out = piece;
    return Res_ok;
}

void PagePiece_append(Edr_PageRec *head, Edr_PageRec *piece)
{
    if (!head || !piece)
        return;
    Edr_PageRec *last = head;
    while (last->nextRec)
        last = last->nextRec;
    last->nextRec = piece;
}

namespace {

struct Order {
    Edr_PageRec *detached; // the pieces not yet placed
    Edr_PageRec *tail;     // the last piece of the page's chain
};

// Moves the detached piece owned by item (if any) to the page's chain.
void takeOwned(Order *o, const ObjHeader *item)
{
    Edr_PageRec **link = &o->detached;
    while (*link) {
        Edr_PageRec *p = *link;
        if (p->buildState == 3 && p->objects == item) {
            *link = p->nextRec;
            p->nextRec = nullptr;
            o->tail->nextRec = p;
            o->tail = p;
            return;
        }
        link = &p->nextRec;
    }
}

void walk(Order *o, const ObjHeader *item, int depth)
{
    for (; item && o->detached; item = Obj_next(item)) {
        takeOwned(o, item);
        if (depth < 64 && Obj_itemKind(item) == Obj_itemContainer)
            walk(o, Obj_children(item), depth + 1);
    }
}

} // namespace

void PagePiece_orderByItems(Edr_PageRec *page)
{
    if (!page || page->buildState != 0 || !page->nextRec || !page->nextRec->nextRec)
        return;
    Order o{page->nextRec, page};
    page->nextRec = nullptr;
    walk(&o, page->objects, 0);
    o.tail->nextRec = o.detached; // pieces without an owner on the page
}

// ------------------------------------------------------------- index lists

uint32_t IndexList_position(const ObjHeader *item)
{
    return uint32_t(item->spare[1]);
}

void IndexList_remove(IndexList *list, ObjHeader *item)
{
    if (!list || !item)
        return;
    IndexNode **link = &list->first;
    while (*link && (*link)->item != item)
        link = &(*link)->next;
    IndexNode *node = *link;
    if (!node)
        return;
    *link = node->next;
    for (IndexNode *n = node->next; n; n = n->next)
        n->item->spare[1]--;
    Mem_free(node);
    list->count--;
}

int IndexList_moveToEnd(IndexList *list, ObjHeader *item)
{
    if (!list || !item)
        return Res_nullInput;
    IndexList_remove(list, item);
    IndexNode *node = static_cast<IndexNode *>(Mem_malloc(sizeof(IndexNode)));
    if (!node)
        return Res_noMemory;
    *node = IndexNode{item, nullptr};
    IndexNode **link = &list->first;
    while (*link)
        link = &(*link)->next;
    *link = node;
    item->spare[1] = list->count;
    list->count++;
    return Res_ok;
}

void IndexList_free(IndexList *list)
{
    if (!list)
        return;
    while (IndexNode *n = list->first) {
        list->first = n->next;
        Mem_free(n);
    }
    list->count = 0;
}
