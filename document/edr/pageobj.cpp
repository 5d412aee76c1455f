// Page objects: overlay areas of page records, the documents nested in a
// document, the focusable objects of a view, the objects that show a node
// and the form controls behind objects.
//
// Laid-out objects belong to layout and are lent by the page records and
// the view walks; the nodes they name are tree nodes, read under the tree
// read lock. A page record still being built is waited for by sleeping on
// an engine timer, so the waiting task gives the processor to the builder.
#include "document/edr/pageobj.h"

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "document/edr/doc.h"
#include "document/edr/edr_internal.h"
#include "document/edr/nodelist.h"
#include "document/edr/page.h"
#include "core/host/hostservices.h"
#include "document/edr/webops.h"
#include "document/edr/linkref.h"
#include "core/container/obj.h"
#include "platform/api/engine.h"
#include "document/edr/viewops.h"

using edr::group;
using edr::isGroup;

namespace {

enum : int32_t {
    kBuildPollMs = 10, // how long a look at a record being built sleeps
};

// The rectangle an object is shown at: its box moved by its origin.
Rect shownRect(const ObjHeader *o)
{
    return Obj_shownBox(o);
}

bool isEmpty(const int32_t r[4])
{
    return r[2] <= r[0] || r[3] <= r[1];
}

// Unites r with s; an empty r is replaced.
void unite(int32_t r[4], const Rect &s)
{
    if (isEmpty(r)) {
        r[0] = s.x0;
        r[1] = s.y0;
        r[2] = s.x1;
        r[3] = s.y1;
        return;
    }
    Rect u{r[0], r[1], r[2], r[3]};
    Rect_union(&u, &s);
    r[0] = u.x0;
    r[1] = u.y0;
    r[2] = u.x1;
    r[3] = u.y1;
}

void wakeSleeper(EngineContext *, void *sem)
{
    Sem_signal(static_cast<Sem *>(sem));
}

// Sleeps one poll period on an engine timer (or, without a running timer
// thread, lets every other ready task run first). 0, or Res_stopRequested when
// the task is asked to stop.
int sleepTick()
{
    EngineInstance *instance = Host_getThreadContext();
    EngineContext *ctx = instance ? instance->context : nullptr;
    if (!ctx)
        return Res_missingArgument;
    if (ctx->timerThread && ctx->eventProc) {
        Sem sem;
        Sem_init(ctx, &sem, 0, 1);
        if (TimerQ_addPlain(ctx, ctx->eventProc, kBuildPollMs, 0, wakeSleeper, &sem) == 0) {
            int err = Sem_waitStoppable(&sem);
            (void)TimerQ_cancelMatching(ctx->eventProc, wakeSleeper, &sem, kBuildPollMs, 0);
            Sem_fini(&sem);
            return err;
        }
        Sem_fini(&sem);
    }
    Task_reschedule(ctx);
    return Task_checkStop(ctx);
}

} // namespace

// ------------------------------------------------------------ page records

int Edr_Page_unionObjectRects(Edr_PageRec *chain, int32_t rect[4])
{
    for (Edr_PageRec *r = chain; r; r = r->nextRec) {
        while (r->buildState == Edr_PageBuild_building) {
            int err = sleepTick();
            if (err)
                return err;
        }
        if (r->buildState != Edr_PageBuild_ready)
            continue;
        for (const ObjHeader *o = r->overlays; o; o = Obj_next(o))
            if (o->flags & Obj_overlayCounted)
                unite(rect, shownRect(o));
    }
    return Res_ok;
}

// ------------------------------------------------------- nested documents

namespace {

struct Nested {
    Edr_Doc *doc; // with a document reference
    int32_t dx;
    int32_t dy;
};

struct NestedList {
    Edr_Doc *parent;
    Nested *items;
    uint32_t count;
    uint32_t capacity;
    int32_t dx;
    int32_t dy;
};

int collectSubdoc(Edr_Node *node, int *, int *, void *context)
{
    if (Edr_Node_type(node) != Edr_NodeType_subdoc)
        return Res_ok;
    NestedList *l = static_cast<NestedList *>(context);
    Edr_Doc *child = nullptr;
    Edr_Doc_tryAddRef(Edr_Node_subdocPayload(node)->child, &child);
    if (!child)
        return Res_ok;
    if (l->count == l->capacity) {
        uint32_t capacity = l->capacity ? l->capacity * 2 : 4;
        void *grown = Mem_realloc(l->items, size_t(capacity) * sizeof(Nested));
        if (!grown) {
            Edr_Doc_release(child);
            return Res_noMemory;
        }
        l->items = static_cast<Nested *>(grown);
        l->capacity = capacity;
    }
    int32_t view[4] = {0, 0, 0, 0};
    (void)Edr_View_focusHitTest(nullptr, l->parent, node, view);
    l->items[l->count++] = Nested{child, int32_t(uint32_t(l->dx) + uint32_t(view[0])),
                                  int32_t(uint32_t(l->dy) + uint32_t(view[1]))};
    return Res_ok;
}

int visitNested(Edr_DocVisitFn visit, void *argument, Edr_Doc *doc, int32_t dx, int32_t dy,
                uint32_t level)
{
    int result = visit(argument, doc, dx, dy);
    // Sub-documents nest at most Edr_maxDepth deep; going no deeper also
    // keeps a document that shows itself from looping.
    if (result || level >= Edr_maxDepth)
        return result;
    NestedList l{doc, nullptr, 0, 0, dx, dy};
    Edr_Doc_readLock(doc);
    result = Edr_Node_walk(collectSubdoc, nullptr, &l, 0, Edr_Doc_root(doc));
    Edr_Doc_readUnlock(doc);
    for (uint32_t i = 0; i < l.count; i++) {
        if (!result)
            result = visitNested(visit, argument, l.items[i].doc, l.items[i].dx, l.items[i].dy,
                                 level + 1);
        Edr_Doc_release(l.items[i].doc);
    }
    Mem_free(l.items);
    return result;
}

} // namespace

int Edr_Doc_forEachDocument(Edr_DocVisitFn visit, void *argument, Edr_Doc *doc)
{
    if (!visit || !doc)
        return Res_missingArgument;
    return visitNested(visit, argument, doc, 0, 0, 0);
}

// ----------------------------------------------------- focusable objects

namespace {

struct FocusWalk {
    Edr_Doc *doc;
    Edr_ObjVisitFn visit;
    const int32_t *area;
    void *extra;
};

void setBit(ObjHeader *o, uint32_t bit, bool on)
{
    if (on)
        o->flags |= bit;
    else
        o->flags &= ~bit;
}

int focusVisit(ObjHeader *o, void *context)
{
    FocusWalk *w = static_cast<FocusWalk *>(context);
    bool candidate;
    if (o->flags & Obj_hidden) {
        candidate = (o->flags & Obj_focusCandidate) != 0;
    } else {
        candidate = o->node && Edr_Node_isFocusTarget(w->doc, o->node);
        setBit(o, Obj_focusCandidate, candidate);
    }
    Rect shown = shownRect(o);
    Rect area{w->area[0], w->area[1], w->area[2], w->area[3]};
    bool inside = !Rect_disjoint(&shown, &area);
    setBit(o, Obj_focusInside, inside);
    return candidate && inside ? w->visit(o, w->extra) : 0;
}

} // namespace

int Edr_Doc_walkFocusables(Edr_Doc *doc, Edr_ObjVisitFn visit, const int32_t area[4], void *extra)
{
    if (!doc || !visit || !area)
        return Res_missingArgument;
    FocusWalk w{doc, visit, area, extra};
    Edr_Doc_readLock(doc);
    int result = Edr_View_walkObjects(doc->app, doc, focusVisit, &w, nullptr, nullptr);
    Edr_Doc_readUnlock(doc);
    return result;
}

// ------------------------------------------------- objects and their nodes

Edr_Node *Edr_Obj_imageNode(const ObjHeader *o)
{
    Edr_Node *node = o ? o->node : nullptr;
    if (!node)
        return nullptr;
    if (Edr_Node_type(node) == Edr_NodeType_image)
        return node;
    Edr_Node *g = isGroup(node) ? node : node->parentNode;
    for (Edr_Node *c = g ? group(g)->firstChild : nullptr; c; c = c->next)
        if (Edr_Node_type(c) == Edr_NodeType_image)
            return c;
    return nullptr;
}

int Edr_Obj_isForNode(const ObjHeader *o, const Edr_Node *node)
{
    if (!o || !node)
        return 0;
    if (o->node == node)
        return 1;
    return Obj_itemKind(o) == Obj_itemImage && Edr_Obj_imageNode(o) == node;
}

namespace {

struct NodeWalk {
    const Edr_ObjWalkOps *ops;
    const Edr_Node *key;
    void *context;
};

int nodeWalkVisit(ObjHeader *o, void *context)
{
    NodeWalk *w = static_cast<NodeWalk *>(context);
    if (w->ops->match && !w->ops->match(o, w->key))
        return 0;
    return w->ops->visit(o, w->context);
}

} // namespace

int Edr_Node_walkObjects(Edr_Doc *doc, Edr_Node *node, const Edr_ObjWalkOps *ops, void *context)
{
    if (!doc || !ops || !ops->visit)
        return Res_missingArgument;
    NodeWalk w{ops, node, context};
    Edr_Doc_readLock(doc);
    int result = Edr_View_walkObjects(doc->app, doc, nodeWalkVisit, &w, nullptr, nullptr);
    Edr_Doc_readUnlock(doc);
    return result;
}

int Edr_Obj_matchKey(const ObjHeader *o, const void *key)
{
    return o && o->node == key;
}

int Edr_Obj_accumulateBounds(ObjHeader *o, void *context)
{
    Edr_ObjBounds *b = static_cast<Edr_ObjBounds *>(context);
    Rect shown = shownRect(o);
    unite(b->rect, shown);
    if (shown.x0 < b->minX)
        b->minX = shown.x0;
    if (shown.y0 < b->minY)
        b->minY = shown.y0;
    return 0;
}

// ----------------------------------------------------------- form objects

namespace {

// The control of the form-control group an object shows (its node, or the
// node's group for a non-group), or null.
void *controlOf(const ObjHeader *o)
{
    Edr_Node *node = o ? o->node : nullptr;
    if (node && !isGroup(node))
        node = node->parentNode;
    return Edr_Node_isFormGroup(node) ? group(node)->subtypeValue : nullptr;
}

} // namespace

int Edr_Obj_formEvent(EngineContext *context, ObjHeader *o, void *event)
{
    void *control = controlOf(o);
    if (!control)
        return Res_notFound;
    return Edr_Web_widgetSendEvent(context, control, event);
}

int Edr_Obj_formBounds(ObjHeader *o, int32_t out[4])
{
    void *control = controlOf(o);
    if (!control)
        return Res_notFound;
    int32_t r[4];
    int err = Edr_Web_widgetGetRect(nullptr, control, r);
    if (err)
        return err;
    Rect rect{r[0], r[1], r[2], r[3]};
    Point corners[4];
    Rect_toQuad(corners, &rect);
    Matrix_transformPoints(corners, 4, corners, o->matrix ? o->matrix : Matrix_identity());
    Rect_boundPoints(&rect, corners, 4, 1);
    out[0] = rect.x0;
    out[1] = rect.y0;
    out[2] = rect.x1;
    out[3] = rect.y1;
    return Res_ok;
}

int Edr_Obj_formHit(ObjHeader *o, int32_t x, int32_t y, int *hit)
{
    *hit = 0;
    int32_t b[4];
    int err = Edr_Obj_formBounds(o, b);
    if (err)
        return err;
    Rect r{b[0], b[1], b[2], b[3]};
    *hit = Rect_containsPoint(&r, x, y);
    return Res_ok;
}

intptr_t Edr_Obj_word15(const ObjHeader *o)
{
    // The class part follows the header; layout's word is its fourth.
    if (!o || Obj_classPartSize(o->cls) < int32_t(4 * sizeof(intptr_t)))
        return 0;
    return static_cast<const intptr_t *>(Obj_part(const_cast<ObjHeader *>(o)))[3];
}

// ------------------------------------------------------------ link target

int Edr_Doc_resolveLinkTarget(Edr_Doc *doc, Edr_Node **node, Edr_Doc **document)
{
    if (!doc || !node || !document)
        return Res_nullInput;
    *node = nullptr;
    *document = nullptr;
    Link link;
    Link_init(&link);
    int err = Link_resolveTarget(doc, &link);
    if (!err && !(link.kind == 1 && !link.document && !link.node))
        err = Link_resolveNode(&link, node, document);
    Link_release(&link);
    return err;
}
