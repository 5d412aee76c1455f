// Small viewer routines offered to focus navigation and other subsystems.
#include "viewer/support.h"

#include "core/context/context.h"
#include "core/result.h"
#include "core/task/listeners.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "viewer/pagerender.h"
#include "document/types/doctype.h"
#include "html/docweb.h"
#include "platform/api/app.h"
#include "spreadsheet/focus/focusnext.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/viewer.h"

int View_findInDirection(Edr_Doc *doc, uint32_t direction, Edr_Node **node, Edr_Doc **nodeDoc,
                         uint32_t *serial, const Rect *rect, FocusFilterFn filter,
                         void *filterArgument)
{
    if (!node || !nodeDoc || !serial || !rect)
        return Res_missingArgument;
    Rect r;
    Rect_orient(&r, rect, direction);
    FocusItem item{*nodeDoc, *node, *serial, r.x0, r.y0, r.x1, r.y1};
    int err = Focus_findNext(doc, &item, direction, filter, filterArgument);
    if (err || !item.node) {
        *node = nullptr;
        *nodeDoc = nullptr;
        *serial = 0;
        return err;
    }
    *node = item.node;
    *nodeDoc = item.doc;
    *serial = item.serial;
    return Res_ok;
}

namespace {

bool axisEnough(int32_t a0, int32_t a1, int32_t b0, int32_t b1)
{
    if (!(b1 > a0 && a1 > b0))
        return false;
    const int64_t middle = (int64_t(b0) + b1) / 2;
    const int64_t tenth = (int64_t(a1) - a0) / 10;
    if (b0 < a0)
        return !(a0 + tenth > b1 && middle < a0);
    if (b1 > a1)
        return !(a1 - tenth < b0 && middle > a1);
    return true;
}

} // namespace

int Rect_overlapsEnough(const Rect *a, const Rect *b)
{
    return axisEnough(a->x0, a->x1, b->x0, b->x1) && axisEnough(a->y0, a->y1, b->y0, b->y1) ? 1 : 0;
}

int32_t App_isConfigured(const EngineContext *context)
{
    const FvViewer *viewer = context && context->instance ? context->instance->viewer : nullptr;
    return viewer ? viewer->configured : 0;
}

double Double_maxOf(const double *values, int32_t n)
{
    double best = values[0];
    for (int32_t i = 1; i < n; i++)
        if (values[i] >= best)
            best = values[i];
    return best;
}

int Html_registerHandler(EngineContext *context)
{
    if (!context || !context->instance || !context->instance->viewer)
        return 0;
    return Engine_registerHandler(context, Html_describe) == 1 ? 1 : 0;
}

namespace {

void visitTree(Edr_PageEntry *entry, View_PageTreeVisitFn visitor, void *argument, int32_t x,
               int32_t y, uint32_t depth)
{
    (void)visitor(entry, argument, x, y);
    // Documents nest at most Edr_maxDepth deep; a page that embeds itself
    // (directly or through others) ends there instead of running the
    // stack out.
    if (depth >= Edr_maxDepth)
        return;
    for (Edr_PageEntry *e = entry; e; e = e->nextEntry)
        for (Edr_PageRec *r = e->rec; r; r = r->nextRec) {
            if (r->buildState != Edr_PageBuild_embedded)
                continue;
            const EmbeddedPageRef *ref = PagePiece_embeddedRef(r);
            if (!ref || !ref->document)
                continue;
            Edr_PageEntry *child = nullptr;
            if (Edr_Page_find(&child, ref->document, ref->pageKey, ref->pageKind, 0) != Res_ok ||
                !child)
                continue;
            visitTree(child, visitor, argument, int32_t(uint32_t(x) + uint32_t(r->bounds[0])),
                      int32_t(uint32_t(y) + uint32_t(r->bounds[3])), depth + 1);
            Edr_Page_release(child, 0);
        }
}

} // namespace

void View_visitPageTree(Edr_PageEntry *entry, View_PageTreeVisitFn visitor, void *argument,
                        int32_t x, int32_t y)
{
    if (!entry || !visitor)
        return;
    visitTree(entry, visitor, argument, x, y, 0);
}

namespace {

int notifyResize(FvViewer *viewer, int32_t code, const Screen *screen, int32_t orientation,
                 int32_t rotating, int32_t sizeGiven)
{
    if (!viewer)
        return 0;
    ResizeNotice notice{screen ? screen->index : 0, rotating, sizeGiven, orientation};
    return Listener_dispatch(&viewer->listeners, code, &notice);
}

} // namespace

int Fv_notifyResizeStart(FvViewer *viewer, const Screen *screen, int32_t orientation,
                         int32_t rotating, int32_t sizeGiven)
{
    return notifyResize(viewer, FvListen_resizeStart, screen, orientation, rotating, sizeGiven);
}

int Fv_notifyResizeDone(FvViewer *viewer, const Screen *screen, int32_t orientation,
                        int32_t rotating, int32_t sizeGiven)
{
    return notifyResize(viewer, FvListen_resizeDone, screen, orientation, rotating, sizeGiven);
}

uint32_t App_readColumnFlags(EngineContext *context, int32_t *before, int32_t *after)
{
    *before = 0;
    *after = 0;
    const FvViewer *viewer = context && context->instance ? context->instance->viewer : nullptr;
    const FvPage *page = viewer ? viewer->page : nullptr;
    if (!page)
        return 0;
    *before = page->columnMoreBefore ? 1 : 0;
    *after = page->columnMoreAfter ? 1 : 0;
    return page->columnMoreAfter;
}
