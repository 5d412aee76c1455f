// The quick updater: it takes each batch of requests at once, interrupts
// the high-quality pass when the batch asks for it, and walks every request
// over the views, newest first. Pans, zooms, placements and switches change
// the view's geometry through their handlers (viewer/disphandlers.cpp);
// changed areas are drawn at once in quick quality, areas that deserve
// full quality are filed on the view's high-quality list, and the view's
// client is told when its bitmap changed.
#include <cstring>

#include "core/context/context.h"
#include "core/result.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/graphics.h"
#include "platform/api/errortext.h"
#include "viewer/dispman.h"
#include "viewer/dispupdate.h"
#include "viewer/screen/screen.h"

namespace {

DispmanCtx *dispmanOf(EngineContext *context)
{
    return context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
}

bool emptyRect(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

bool emptyArea(const DispmanArea &a)
{
    return !a.document || emptyRect(a.rect);
}

void lockView(DispmanView *view, int renderLock)
{
    Lock_acquire(renderLock ? &view->renderLock : &view->geometryLock);
}

void unlockView(DispmanView *view, int renderLock)
{
    Lock_release(renderLock ? &view->renderLock : &view->geometryLock);
}

// View pixels (y up) into the view document's units.
DispmanArea viewArea(DispmanView *view, const Rect &px)
{
    Rect r = px;
    Rect_intersect(&r, &view->viewRect);
    DispmanArea a{};
    if (emptyRect(r))
        return a;
    int32_t h = view->client ? view->client->height : 0;
    a.document = view->backdropDoc;
    a.rect = Rect{Dispman_pixelsToUnits(view, r.x0), Dispman_pixelsToUnits(view, r.y0 - h),
                  Dispman_pixelsToUnits(view, r.x1), Dispman_pixelsToUnits(view, r.y1 - h)};
    return a;
}

// Whether one of the view's page links shows a page of document.
bool showsDocument(DispmanView *view, const Edr_Doc *document)
{
    for (Edr_Node *n = view->pageGroup ? Edr_Node_firstChild(view->pageGroup) : nullptr; n;
         n = Edr_Node_nextSibling(n))
        if (Edr_Node_type(n) == Edr_NodeType_subdoc && Edr_Node_subdocPayload(n)->child == document)
            return true;
    return false;
}

// Files an area on the high-quality list: for an area of the view
// document, first the part of it over each page link, in that page's
// units; then the area itself. The list holds no reference on the
// documents of its areas, so an area of a document that no page link
// shows (and keeps alive) is not filed: it could not be drawn here anyway.
void fileHighQuality(DispmanCtx *dm, DispmanView *view, const DispmanArea &area,
                     const DispmanRequest *request)
{
    if (area.document != view->backdropDoc && !showsDocument(view, area.document))
        return;
    if (area.document == view->backdropDoc && view->pageGroup) {
        for (Edr_Node *n = Edr_Node_firstChild(view->pageGroup); n; n = Edr_Node_nextSibling(n)) {
            if (Edr_Node_type(n) != Edr_NodeType_subdoc)
                continue;
            const Edr_SubdocNode *l = Edr_Node_subdocPayload(n);
            int32_t b[4];
            if (!l->child ||
                Edr_Page_getRect(l->child, int32_t(l->pageKey), uint32_t(l->pageKind), b) != 0)
                continue;
            const int32_t *p = l->placement;
            Matrix m{p[0], p[1], p[2], p[3], p[4], p[5]};
            Point corners[4];
            Rect_toQuad(corners, &area.rect);
            for (Point &c : corners)
                Matrix_untransformPoint(&c, c.x, c.y, &m);
            Rect mapped;
            Rect_boundPoints(&mapped, corners, 4, 1);
            Rect page{b[0], b[1], b[2], b[3]};
            Rect_intersect(&mapped, &page);
            if (emptyRect(mapped))
                continue;
            DispmanArea sub{l->child, int32_t(l->pageKey), uint32_t(l->pageKind), mapped, 0};
            (void)Dispman_hqListAdd(dm, &view->hqList, &sub, request);
        }
    }
    (void)Dispman_hqListAdd(dm, &view->hqList, &area, request);
}

void present(DispmanView *view)
{
    Screen *c = view->client;
    if (c && c->lockOp)
        (void)c->lockOp(c, c->callbackArg, Screen_opPresent, nullptr);
}

// What the walk of one request over one view decided.
enum Step { nextViewStep, stopWalk };

// Steps 2 to 7 of the quick pass for a view that takes the request. *result
// receives a drawing error.
Step handleOnView(EngineContext *ctx, DispmanCtx *dm, DispmanView *view, DispmanRequest *r,
                  bool lastPan, bool lastZoom, int *result)
{
    DispmanQueue *q = &dm->queue;
    uint32_t kind = r->kind;
    if ((view->panning && kind != DispmanKind_redraw && kind != DispmanKind_pan) ||
        (view->zooming && kind != DispmanKind_redraw && kind != DispmanKind_zoom)) {
        // A gesture is under way: the request waits for a later batch.
        if (DispmanQueue_push(q, r) != 0)
            DispmanQueue_discard(r);
        return stopWalk;
    }
    if (!view->pageGroup) {
        if (DispmanQueue_push(q, r) != 0)
            DispmanQueue_discard(r);
        return nextViewStep;
    }
    Rect savedPage = view->pageFrame;
    Edr_Node *current = Dispman_currentLink(view);
    view->current = current;
    if (current)
        (void)Dispman_pageEdges(dm, view, current, nullptr, &view->pageFrame);

    DispmanArea area{};
    switch (kind) {
    case DispmanKind_redraw: area = viewArea(view, r->redraw.rect); break;
    case DispmanKind_area:
        area = r->area;
        if (current) {
            const Edr_SubdocNode *l = Edr_Node_subdocPayload(current);
            if (area.document == l->child && area.pageKey == int32_t(l->pageKey) &&
                area.pageKind == uint32_t(l->pageKind))
                (void)Dispman_pageEdges(dm, view, current, nullptr, &view->pageFrame);
        }
        break;
    case DispmanKind_pan:
        if (r->subCode == DispmanSub_panFling && lastPan && q->incoming.lastPan < 0) {
            // The fling's last step is followed at once by its end.
            DispmanRequest end = *r;
            end.subCode = DispmanSub_panEnd;
            if (DispmanQueue_pushFront(q, &end) == 0)
                r->subCode = DispmanSub_panFlingLast;
        }
        *result = Dispman_Updaters_pan(ctx, view, r);
        break;
    case DispmanKind_zoom:
        if (r->subCode == DispmanSub_zoomStep && lastZoom && q->incoming.lastZoom < 0) {
            DispmanRequest end = *r;
            end.subCode = DispmanSub_zoomFinal;
            if (DispmanQueue_pushFront(q, &end) == 0)
                r->subCode = DispmanSub_zoomStepLast;
        }
        *result = Dispman_Updaters_zoom(ctx, view, r);
        return stopWalk;
    case DispmanKind_position: *result = Dispman_Updaters_position(ctx, view, r); break;
    case DispmanKind_switchDoc: *result = Dispman_Updaters_switchDoc(ctx, view, r); break;
    case DispmanKind_observed: area = r->area; break;
    default: return nextViewStep;
    }
    if (!(kind == DispmanKind_area || kind == DispmanKind_observed) ||
        r->area.document != view->backdropDoc)
        Dispman_queueResizeBands(q, view, &savedPage, 0);
    if (kind >= DispmanKind_pan && kind <= DispmanKind_switchDoc)
        return stopWalk;
    if (emptyArea(area))
        return nextViewStep;

    DispmanRequest parent = *r;
    if (r->subCode == DispmanSub_hqOnly || r->subCode == DispmanSub_hqAndQuick) {
        fileHighQuality(dm, view, area, r);
        if (r->subCode == DispmanSub_hqOnly)
            return nextViewStep;
        parent.subCode = DispmanSub_quick;
    }
    DispmanObserver *observer = Dispman_findObserver(dm, r);
    if ((kind == DispmanKind_area || kind == DispmanKind_observed) &&
        !Dispman_areaOnCurrent(&area, current)) {
        if (observer) {
            (void)Dispman_callObserver(observer, 0, r);
            (void)Dispman_callObserver(observer, 1, r);
        }
        return nextViewStep;
    }
    if (Dispman_callObserver(observer, 0, r) != 0)
        return stopWalk;
    int drawn = 0;
    DispmanPageRef top{view->backdropDoc, 0, 0};
    int err = Dispman_drawArea(ctx, &parent, &top, &view->viewMatrix, &view->viewRect, &area, view,
                               &drawn);
    if (err)
        *result = err;
    if (err == Res_stopRequested)
        return stopWalk;
    if (Dispman_callObserver(observer, 1, r) != 0)
        return stopWalk;
    if (drawn && r->report == 1)
        present(view);
    return nextViewStep;
}

} // namespace

bool Dispman_areaOnCurrent(const DispmanArea *area, Edr_Node *link)
{
    if (!link)
        return true;
    const Edr_SubdocNode *l = Edr_Node_subdocPayload(link);
    if (area->document == l->child)
        return area->pageKey == int32_t(l->pageKey) && area->pageKind == uint32_t(l->pageKind);
    return area->pageKey == 0 && area->pageKind == 0;
}

DispmanView *Dispman_nextView(DispmanCtx *dm, DispmanView **view, int first, int renderLock)
{
    DispmanView *given = first ? nullptr : *view;
    if (given)
        unlockView(given, renderLock);
    Lock_acquire(&dm->viewLock);
    DispmanView *next = dm->views;
    if (given) {
        DispmanView *v = dm->views;
        while (v && v != given)
            v = v->next;
        next = v ? v->next : dm->views;
    }
    if (next)
        lockView(next, renderLock);
    Lock_release(&dm->viewLock);
    *view = next;
    return next;
}

int Dispman_dispatchRequests(EngineContext *context)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    DispmanQueue *q = &dm->queue;
    int result = Res_ok;
    for (;;) {
        int32_t index = q->readIndex;
        bool lastPan = index == q->working.lastPan;
        bool lastZoom = index == q->working.lastZoom;
        DispmanRequest r;
        DispmanQueue_pop(q, &r);
        if (r.kind == DispmanKind_none)
            break;
        bool handled = false;
        DispmanView *view = nullptr;
        for (Dispman_nextView(dm, &view, 1, 1); view; Dispman_nextView(dm, &view, 0, 1)) {
            bool pageKind = r.kind >= DispmanKind_pan && r.kind <= DispmanKind_switchDoc;
            if ((r.kind == DispmanKind_redraw || pageKind) && r.redraw.view != view)
                continue;
            if (view->suspended) {
                if (!pageKind)
                    continue;
                DispmanQueue_discard(&r);
                handled = true;
                break;
            }
            if (r.kind == DispmanKind_observed && r.progress[0] == DispmanProgress_observer &&
                !dm->renderingEnabled) {
                if (DispmanQueue_push(q, &r) != 0)
                    DispmanQueue_discard(&r);
                handled = true;
                break;
            }
            handled = true;
            int err = Res_ok;
            Step s = handleOnView(context, dm, view, &r, lastPan, lastZoom, &err);
            if (err)
                result = err;
            if (s == stopWalk)
                break;
        }
        if (view)
            unlockView(view, 1);
        if (!handled)
            DispmanQueue_discard(&r);
        if (result == Res_stopRequested)
            return result;
    }
    return result;
}

void Dispman_quickUpdaterMain(void *engine)
{
    EngineContext *context = static_cast<EngineContext *>(engine);
    DispmanCtx *dm = dispmanOf(context);
    for (;;) {
        int r = Sem_waitStoppable(&dm->quickWake);
        if (r == Res_stopRequested)
            return;
        Engine_abortIfError(r);
        if (!DispmanQueue_takeBatch(&dm->queue))
            continue;
        if (dm->hqRunning && dm->interruptAllowed && dm->hqUpdater)
            // A task that has already ended needs no stop.
            (void)Task_requestStop(dm->hqUpdater);
        Lock_acquire(&dm->quickPassLock);
        Lock_acquire(&dm->renderLock);
        r = Dispman_dispatchRequests(context);
        Lock_release(&dm->renderLock);
        Lock_release(&dm->quickPassLock);
        if (r == Res_stopRequested)
            return;
        if (dm->hqPending)
            Sem_signal(&dm->hqWake);
    }
}
