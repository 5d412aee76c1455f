// Viewer services that the document model calls (viewer/docview.h): what
// the views show of a document, the redraw after a layout pass, the
// document's shared lists and the alternate rectangles of page records.
#include <cstdint>

#include "core/container/obj.h"
#include "core/context/context.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "viewer/dispman.h"
#include "viewer/dispqueue.h"
#include "viewer/dispupdate.h"
#include "viewer/docview.h"
#include "viewer/screen/screen.h"

namespace {

// The most pages of one document that the walk visits at once: every view
// shows a handful of pages at most (a page and its neighbours while it
// pans), so more are not looked for.
constexpr uint32_t shownPagesMax = 16;

struct ShownPage {
    int32_t key;
    uint32_t kind;
};

DispmanCtx *docServicesDispman(Edr_Doc *doc)
{
    EngineContext *app = doc ? Edr_Doc_queryApp(doc) : nullptr;
    return app ? static_cast<DispmanCtx *>(app->dispman) : nullptr;
}

// Whether the view's page group links to a page of doc.
bool viewShows(const DispmanView *view, const Edr_Doc *doc)
{
    for (Edr_Node *n = view->pageGroup ? Edr_Node_firstChild(view->pageGroup) : nullptr; n;
         n = Edr_Node_nextSibling(n)) {
        if (Edr_Node_type(n) != Edr_NodeType_subdoc)
            continue;
        const Edr_SubdocNode *link = Edr_Node_subdocPayload(n);
        if (link && link->child == doc)
            return true;
    }
    return false;
}

// The pages of doc that the display's views link to (each once), under the
// view list's lock. The count found.
uint32_t shownPages(DispmanCtx *dm, const Edr_Doc *doc, ShownPage *out)
{
    uint32_t count = 0;
    Lock_acquire(&dm->viewLock);
    for (const DispmanView *v = dm->views; v; v = v->next) {
        for (Edr_Node *n = v->pageGroup ? Edr_Node_firstChild(v->pageGroup) : nullptr; n;
             n = Edr_Node_nextSibling(n)) {
            if (Edr_Node_type(n) != Edr_NodeType_subdoc)
                continue;
            const Edr_SubdocNode *link = Edr_Node_subdocPayload(n);
            if (!link || link->child != doc)
                continue;
            ShownPage p{int32_t(link->pageKey), uint32_t(link->pageKind)};
            bool seen = false;
            for (uint32_t i = 0; i < count && !seen; i++)
                seen = out[i].key == p.key && out[i].kind == p.kind;
            if (!seen && count < shownPagesMax)
                out[count++] = p;
        }
    }
    Lock_release(&dm->viewLock);
    return count;
}

} // namespace

// ------------------------------------------------------- the current view

namespace {

// Visits the objects of every piece of a page record chain that meet area.
int walkRecords(Edr_PageRec *chain, View_ObjectVisitFn visitor, void *context, const int32_t *area)
{
    int result = 0;
    for (Edr_PageRec *rec = chain; rec && !result; rec = rec->nextRec) {
        for (ObjHeader *o = rec->objects; o && !result; o = Obj_next(o)) {
            Rect shown = Obj_shownBox(o);
            if (area && (shown.x0 >= area[2] || shown.x1 <= area[0] || shown.y0 >= area[3] ||
                         shown.y1 <= area[1]))
                continue;
            result = visitor(o, context);
        }
    }
    return result;
}

} // namespace

int View_walkObjects(Edr_Doc *doc, View_ObjectVisitFn visitor, void *context, const int32_t *area,
                     void *)
{
    if (!doc || !visitor)
        return 0;
    DispmanCtx *dm = docServicesDispman(doc);
    int result = 0;
    if (!dm) {
        // An engine without a display (the headless tools) shows a document
        // as its published pages, each drawn whole: the walk covers them
        // all, in page order, under the page list's read lock.
        Edr_Page_readLockList(doc);
        for (Edr_PageEntry *e = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc)); e && !result;
             e = e->nextEntry)
            result = walkRecords(e->rec, visitor, context, area);
        Edr_Page_readUnlockList(doc);
        return result;
    }
    // With a display, the pages its views link to, each once.
    ShownPage pages[shownPagesMax];
    uint32_t count = shownPages(dm, doc, pages);
    for (uint32_t i = 0; i < count && !result; i++) {
        Edr_PageEntry *entry = nullptr;
        if (Edr_Page_find(&entry, doc, pages[i].key, pages[i].kind, 0) != Res_ok)
            continue; // the link names a page that is gone
        result = walkRecords(Edr_Page_deref(entry), visitor, context, area);
        Edr_Page_release(entry, 0);
    }
    return result;
}

int View_publishLayout(Edr_Doc *doc)
{
    DispmanCtx *dm = docServicesDispman(doc);
    if (!dm)
        return Res_ok;
    // A pass that replaced a page's records in place posts no page message,
    // so the views that show a page of the document are redrawn whole: the
    // quick updater at once, the high-quality one after it.
    DispmanView *redraw[shownPagesMax];
    uint32_t count = 0;
    Lock_acquire(&dm->viewLock);
    for (DispmanView *v = dm->views; v && count < shownPagesMax; v = v->next)
        if (viewShows(v, doc))
            redraw[count++] = v;
    Lock_release(&dm->viewLock);
    int err = Res_ok;
    for (uint32_t i = 0; i < count && !err; i++) {
        DispmanRedrawArg arg{redraw[i], redraw[i]->viewRect};
        err = Dispman_queueRedraw(dm->context, DispmanSub_hqAndQuick, 0, &arg);
    }
    return err;
}

namespace {

bool docServicesEmpty(const Rect *r)
{
    return r->x1 <= r->x0 || r->y1 <= r->y0;
}

// Whether item, or an item inside it, shows node: an item of the node
// itself, or an image item of its group (image items show the picture of
// their node's group).
bool docServicesItemShows(const ObjHeader *item, const Edr_Node *node, const Edr_Node *group,
                          int depth)
{
    if (item->node == node ||
        (group && item->node == group && item->cls && item->cls->itemKind == Obj_itemImage))
        return true;
    if (depth >= 32)
        return false;
    for (const ObjHeader *c = Obj_children(item); c; c = Obj_next(c))
        if (docServicesItemShows(c, node, group, depth + 1))
            return true;
    return false;
}

// The bounding box, in page units, of the top-level items of a page record
// chain that show node; empty when none does.
Rect docServicesNodeBox(Edr_PageRec *chain, const Edr_Node *node, const Edr_Node *group)
{
    Rect box{0, 0, 0, 0};
    bool any = false;
    for (Edr_PageRec *rec = chain; rec; rec = rec->nextRec)
        for (ObjHeader *o = rec->objects; o; o = Obj_next(o)) {
            if (!docServicesItemShows(o, node, group, 0))
                continue;
            Rect shown = Obj_shownBox(o);
            if (any)
                Rect_union(&box, &shown);
            else
                box = shown;
            any = true;
        }
    return box;
}

} // namespace

int View_redrawNode(Edr_Doc *doc, Edr_Node *node)
{
    DispmanCtx *dm = docServicesDispman(doc);
    if (!dm || !node)
        return 1;
    // The node's box on each shown page.
    Edr_Node *group = Edr_Node_parent(node);
    ShownPage pages[shownPagesMax];
    Rect boxes[shownPagesMax];
    uint32_t count = shownPages(dm, doc, pages);
    bool any = false;
    for (uint32_t i = 0; i < count; i++) {
        boxes[i] = Rect{0, 0, 0, 0};
        Edr_PageEntry *entry = nullptr;
        if (Edr_Page_find(&entry, doc, pages[i].key, pages[i].kind, 0) != Res_ok)
            continue;
        boxes[i] = docServicesNodeBox(Edr_Page_deref(entry), node, group);
        Edr_Page_release(entry, 0);
        any = any || !docServicesEmpty(&boxes[i]);
    }
    if (!any)
        return 1;
    // The links of the views that show one of those pages.
    struct Shown {
        DispmanView *view;
        Edr_Node *link;
        uint32_t page;
    } shown[shownPagesMax];
    uint32_t links = 0;
    Lock_acquire(&dm->viewLock);
    for (DispmanView *v = dm->views; v; v = v->next)
        for (Edr_Node *n = v->pageGroup ? Edr_Node_firstChild(v->pageGroup) : nullptr;
             n && links < shownPagesMax; n = Edr_Node_nextSibling(n)) {
            const Edr_SubdocNode *link =
                Edr_Node_type(n) == Edr_NodeType_subdoc ? Edr_Node_subdocPayload(n) : nullptr;
            if (!link || link->child != doc)
                continue;
            for (uint32_t i = 0; i < count; i++)
                if (pages[i].key == int32_t(link->pageKey) &&
                    pages[i].kind == uint32_t(link->pageKind) && !docServicesEmpty(&boxes[i]))
                    shown[links++] = Shown{v, n, i};
        }
    Lock_release(&dm->viewLock);
    // Each box in view pixels (a pixel more on every side for rounding), cut
    // to the view, is redrawn by the quick updater at once and by the
    // high-quality one after it.
    int err = Res_ok;
    uint32_t queued = 0;
    for (uint32_t i = 0; i < links && !err; i++) {
        DispmanView *v = shown[i].view;
        Point corners[4];
        Rect_toQuad(corners, &boxes[shown[i].page]);
        Lock_acquire(&v->geometryLock);
        Matrix m;
        Dispman_linkToView(v, Edr_Node_subdocPayload(shown[i].link), &m);
        int32_t res = v->resolution > 0 ? v->resolution : int32_t(Screen_defaultResolution);
        for (Point &c : corners) {
            Point p;
            Matrix_transformPoint(&p, c.x, c.y, &m);
            c = Point{int32_t((int64_t(p.x) * res + 32768) >> 16),
                      int32_t((int64_t(p.y) * res + 32768) >> 16)};
        }
        Rect area;
        Rect_boundPoints(&area, corners, 4, 1);
        area = Rect{area.x0 - 1, area.y0 - 1, area.x1 + 1, area.y1 + 1};
        Rect_intersect(&area, &v->viewRect);
        Lock_release(&v->geometryLock);
        if (docServicesEmpty(&area))
            continue;
        DispmanRedrawArg arg{v, area};
        err = Dispman_queueRedraw(dm->context, DispmanSub_hqAndQuick, 0, &arg);
        queued++;
    }
    return err ? err : queued ? Res_ok : 1;
}

// The views keep no editing object of their own: a focused form control
// is the document's focus, reached through its laid-out objects
// (Edr_Obj_formEvent), so no view answers that it holds one.
int View_hasEditFocus(Edr_Doc *)
{
    return 0;
}

// ---------------------------------------------------- the shared lists

// The record holds the document's layout cache in its first two words
// (layout/layout.h), emptied by the document's close path before the record
// is freed.
int View_createSharedLists(void **cell)
{
    *cell = Mem_calloc(2, sizeof(void *));
    return *cell ? Res_ok : Res_noMemory;
}

void View_destroySharedLists(void *record)
{
    Mem_free(record);
}

// ------------------------------------------------ alternate rectangles

// A page record's alternate rectangle stands for a drawing object that
// draws the page itself instead of its display items. No importer makes
// such pages (every page is drawn from its display items), so the record
// is an empty marker: queries and merges have nothing to do and both
// position words read 0.
