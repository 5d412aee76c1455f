// Walks over the display items of a document's page views, and finding
// and reporting where a node is shown.
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "document/edr/pageobj.h"
#include "viewer/dispman.h"
#include "viewer/select/highlight.h"

namespace {

// The views still to visit after the current subtree; grown four at a
// time.
struct ViewStack {
    PageView **views;
    uint32_t count, capacity;
};

int push(ViewStack *s, PageView *v)
{
    if (s->count == s->capacity) {
        const uint32_t cap = s->capacity + 4;
        auto *views = static_cast<PageView **>(Mem_realloc(s->views, cap * sizeof(PageView *)));
        if (!views)
            return Res_noMemory;
        s->views = views;
        s->capacity = cap;
    }
    s->views[s->count++] = v;
    return Res_ok;
}

int visitItems(ObjHeader *first, PageView *view, Select_ItemWalkFn callback, void *argument,
               uint32_t *stop)
{
    for (ObjHeader *o = first; o; o = Obj_next(o)) {
        int r = callback(o, argument, view, stop);
        if (r == Select_deletedNode)
            r = Res_ok;
        if (r || (*stop & 1))
            return r;
    }
    return Res_ok;
}

} // namespace

int Select_walkView(PageView *view, Select_ItemWalkFn callback, void *argument, uint32_t *stop)
{
    uint32_t local = 0;
    if (!stop)
        stop = &local;
    *stop &= ~1u;
    if (!callback)
        return Res_nullInput;
    ViewStack stack{nullptr, 0, 0};
    int result = Res_ok;
    PageView *v = view;
    while (v || stack.count) {
        if (!v) {
            v = stack.views[--stack.count];
            if (!v)
                continue;
        }
        if (v->kind == PageView_group && v->firstChild) {
            result = push(&stack, v->next);
            if (result)
                break;
            v = v->firstChild;
            continue;
        }
        if (v->kind == PageView_leaf) {
            result = visitItems(v->items, v, callback, argument, stop);
            if (result) {
                *stop |= 1;
                break;
            }
            if (*stop & 1)
                break;
        }
        v = v->next;
    }
    Mem_free(stack.views);
    return result;
}

int Select_walkEntry(Edr_PageEntry *entry, Select_ItemWalkFn callback, void *argument,
                     uint32_t *stop)
{
    uint32_t local = 0;
    if (!stop)
        stop = &local;
    *stop &= ~1u;
    if (!entry || !callback)
        return Res_ok;
    if (entry->views)
        return Select_walkView(entry->views, callback, argument, stop);
    // Shown without views: the items of its records, at no offset.
    for (Edr_PageRec *r = entry->rec; r; r = r->nextRec) {
        if (r->buildState != Edr_PageBuild_ready)
            continue;
        int result = visitItems(r->objects, nullptr, callback, argument, stop);
        if (result) {
            *stop |= 1;
            return result;
        }
        if (*stop & 1)
            return Res_ok;
    }
    return Res_ok;
}

int Select_walkEntries(Edr_PageEntry *first, Select_ItemWalkFn callback, void *argument,
                       uint32_t *stop)
{
    uint32_t local = 0;
    if (!stop)
        stop = &local;
    for (Edr_PageEntry *e = first; e; e = e->nextEntry) {
        int result = Select_walkEntry(e, callback, argument, stop);
        if (result || (*stop & 1))
            return result;
    }
    return Res_ok;
}

int Select_locateNode(ObjHeader *item, void *argument, PageView *view, uint32_t *stop)
{
    SelectLocate *l = static_cast<SelectLocate *>(argument);
    if (!Edr_Obj_isForNode(item, l->node))
        return Res_ok;
    const Rect box = Obj_shownBox(item);
    const int32_t dx = view ? view->origin[0] : 0, dy = view ? view->origin[1] : 0;
    l->report->rect[0] = box.x0 + dx;
    l->report->rect[1] = box.y0 + dy;
    l->report->rect[2] = box.x1 + dx;
    l->report->rect[3] = box.y1 + dy;
    l->found = 1;
    *stop |= 1;
    return Res_ok;
}

int Select_invalidateNode(ViewChangeReport *report, Edr_Doc *doc, const Edr_Node *node, int32_t a,
                          int32_t b)
{
    if (!report || !doc || !node)
        return Res_nullInput;
    SelectLocate locate{node, report, 0};
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
    (void)Select_walkEntries(static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc)),
                             Select_locateNode, &locate, nullptr);
    Edr_Page_readUnlockList(doc);
    int result = Res_ok;
    if (locate.found)
        result = View_invalidateRect(report, a, b);
    Edr_Doc_readUnlock(doc);
    return result;
}
