// The viewer's display and page view handles (see fvdisplay.h).
#include "viewer/fvdisplay.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "viewer/dispman.h"
#include "viewer/dispqueue.h"

namespace {

// The document and page key pair the page link shows (none without one).
struct LinkInfo {
    Edr_Doc *document;
    int32_t key;
    uint32_t kind;
};

LinkInfo linkInfo(FvPageView *pageView)
{
    Edr_SubdocNode *link =
        pageView && pageView->node ? Edr_Node_subdocPayload(pageView->node) : nullptr;
    if (!link)
        return LinkInfo{nullptr, 0, 0};
    return LinkInfo{link->child, int32_t(link->pageKey), uint32_t(link->pageKind)};
}

// The document a page view's requests name: the display manager finds the
// page link among the children of its view document's page group, so the
// requests carry the view document with the link, not the document the
// link shows (which it would not find, dropping the request).
Edr_Doc *targetOf(FvPageView *pageView)
{
    return pageView && pageView->display ? pageView->display->viewDocument : nullptr;
}

DispmanView *viewOf(FvPageView *pageView)
{
    return pageView && pageView->display ? pageView->display->view : nullptr;
}

} // namespace

int FvDisplay_create(EngineContext *engine, Screen *screen, uint32_t colour, FvDisplay **out)
{
    *out = nullptr;
    FvDisplay *display = static_cast<FvDisplay *>(Mem_calloc(1, sizeof(FvDisplay)));
    if (!display)
        return Res_noMemory;
    display->engine = engine;
    // 0xRRGGBBAA to 0xFFBBGGRR.
    uint32_t reordered =
        0xFF000000u | (colour >> 8 & 0xFF) << 16 | (colour >> 16 & 0xFF) << 8 | colour >> 24;
    int r = Dispman_createView(engine, &display->view, screen, nullptr, reordered, nullptr);
    if (r != Res_ok) {
        Mem_free(display);
        return r;
    }
    Dispman_viewDocument(display->view, &display->viewDocument, &display->pageGroup);
    *out = display;
    return Res_ok;
}

void FvDisplay_free(FvDisplay *display)
{
    if (!display)
        return;
    if (display->view)
        Dispman_destroyView(display->engine, &display->view);
    Mem_free(display);
}

void FvDisplay_getSize(FvDisplay *display, float *width, float *height)
{
    *width = 0;
    *height = 0;
    if (!display || !display->view)
        return;
    Lock_acquire(&display->view->geometryLock);
    Rect r = display->view->viewRect;
    Lock_release(&display->view->geometryLock);
    *width = float(r.x1 - r.x0);
    *height = float(r.y1 - r.y0);
}

int Edr_Fwd_sendViewOp(FvDisplay *display)
{
    return Dispman_queueRedraw(display->engine, DispmanSub_hqOnly, 1, display->view);
}

void FvDisplay_setHqPriority(FvDisplay *display, int flag)
{
    Dispman_setHqPriority(display->engine, flag ? 1 : 0);
}

int FvDisplay_request(FvDisplay *display, Screen *screen, const Rect *clip)
{
    if (!display || !display->view)
        return Res_nullInput;
    return Dispman_updateView(display->engine, display->view, screen, clip);
}

// ------------------------------------------------------------ page views

int FvPageView_create(FvDisplay *display, Edr_Doc *document, FvPageView **out)
{
    *out = nullptr;
    if (!display || !display->view)
        return Res_noMemory;
    FvPageView *pageView = static_cast<FvPageView *>(Mem_calloc(1, sizeof(FvPageView)));
    if (!pageView)
        return Res_noMemory;
    pageView->display = display;
    if (document && FvPageView_setDocument(pageView, document) != Res_ok) {
        Mem_free(pageView);
        return Res_noMemory;
    }
    *out = pageView;
    return Res_ok;
}

void FvPageView_free(FvPageView *pageView)
{
    if (!pageView)
        return;
    if (pageView->node && pageView->display)
        (void)Edr_Node_remove(pageView->display->viewDocument, pageView->node);
    Mem_free(pageView);
}

int FvPageView_setDocument(FvPageView *pageView, Edr_Doc *document)
{
    if (!pageView || !pageView->display || !document)
        return Res_nullInput;
    FvDisplay *display = pageView->display;
    if (pageView->node)
        return Edr_Node_replaceSubdoc(display->engine, display->viewDocument, pageView->node,
                                      document, 0, 0);
    const int32_t placement[6] = {0x10000, 0, 0, 0x10000, 0, 0};
    Edr_Node *node = nullptr;
    int r = Edr_Node_createSubdoc(display->viewDocument, display->pageGroup, Edr_Insert_lastChild,
                                  &node, document, placement, 0, 0);
    if (r == Res_ok)
        pageView->node = node;
    return r;
}

void FvPageView_getPan(FvPageView *pageView, int32_t *x, int32_t *y)
{
    *x = 0;
    *y = 0;
    DispmanView *view = viewOf(pageView);
    if (!view || !pageView->node)
        return;
    Lock_acquire(&view->geometryLock);
    if (Edr_SubdocNode *link = Edr_Node_subdocPayload(pageView->node)) {
        *x = link->placement[4];
        *y = link->placement[5];
    }
    Lock_release(&view->geometryLock);
}

int FvPageView_pan(FvPageView *pageView, int32_t dx, int32_t dy, int32_t mode)
{
    LinkInfo link = linkInfo(pageView);
    return Dispman_queuePan(pageView->display->engine, mode, viewOf(pageView), targetOf(pageView),
                            link.key, link.kind, pageView->node, dx, dy);
}

int FvPageView_panStep(FvPageView *pageView, int32_t dx, int32_t dy)
{
    int32_t x0, y0, x1, y1;
    FvPageView_getPan(pageView, &x0, &y0);
    int r = FvPageView_pan(pageView, dx, dy, FvPan_move);
    FvPageView_getPan(pageView, &x1, &y1);
    if (x1 == x0 && y1 == y0)
        r = FvPageView_pan(pageView, 0, 0, FvPan_end);
    return r;
}

void Edr_Fwd_getViewRect(FvPageView *pageView, Rect *out)
{
    *out = Rect{0, 0, 0, 0};
    DispmanView *view = viewOf(pageView);
    if (!view)
        return;
    Lock_acquire(&view->renderLock);
    *out = view->pageFrame;
    Lock_release(&view->renderLock);
}

void Edr_Fwd_getSubRect(FvPageView *pageView, Rect *out)
{
    *out = Rect{0, 0, 0, 0};
    DispmanView *view = viewOf(pageView);
    if (!view)
        return;
    Lock_acquire(&view->geometryLock);
    *out = view->panLimits;
    Lock_release(&view->geometryLock);
}

int FvPageView_setZoom(FvPageView *pageView, int32_t zoom, uint32_t code, int32_t x, int32_t y)
{
    LinkInfo link = linkInfo(pageView);
    return Dispman_queueZoom(pageView->display->engine, code, viewOf(pageView), targetOf(pageView),
                             link.key, link.kind, pageView->node, zoom, x, y);
}

int32_t Edr_Fwd_subdocScale(FvPageView *pageView)
{
    Edr_SubdocNode *link =
        pageView && pageView->node ? Edr_Node_subdocPayload(pageView->node) : nullptr;
    return link ? link->placement[0] : 0x10000;
}

void FvPageView_getZoomLimits(FvPageView *pageView, int32_t *minimum, int32_t *maximum)
{
    DispmanView *view = viewOf(pageView);
    *minimum = view ? view->minZoom : 0;
    *maximum = view ? view->maxZoom : 0;
}

void FvPageView_setPanLimits(FvPageView *pageView, const Rect *rect)
{
    DispmanView *view = viewOf(pageView);
    if (!view)
        return;
    if (rect)
        Dispman_setPanLimits(view, rect);
    else
        Dispman_resetPanLimits(view);
}

int Edr_Fwd_scalePoint(FvPageView *pageView, Edr_Doc *document, const Point *in, Point *out)
{
    DispmanView *view = viewOf(pageView);
    if (!view || !pageView->node)
        return Res_dispmanNoPage;
    return Dispman_pageToViewPoints(view, pageView->node, document, 1, in, out);
}

int FvPageView_showPage(FvPageView *pageView, Edr_Doc *document, int32_t key, uint32_t kind)
{
    LinkInfo link = linkInfo(pageView);
    return Dispman_queueDocSwitch(pageView->display->engine, DispmanSub_hqAndQuick,
                                  viewOf(pageView), targetOf(pageView), link.key, link.kind,
                                  pageView->node, document, key, kind);
}

int Edr_Fwd_findSubdocPage(FvPageView *pageView, Edr_Doc **document, int32_t *index)
{
    *document = nullptr;
    *index = -1;
    LinkInfo link = linkInfo(pageView);
    uint32_t at = 0;
    if (!link.document || Edr_Page_indexOf(&at, link.document, link.key, link.kind) != Res_ok)
        return 0;
    *document = link.document;
    *index = int32_t(at);
    return 1;
}

int Edr_Fwd_selectAtPoint(FvPageView *pageView, int32_t x, int32_t y, uint32_t mode)
{
    DispmanView *view = viewOf(pageView);
    if (!view)
        return Res_dispmanNoNode;
    const Point at{x, y};
    int err = Dispman_textAt(view, &at, mode);
    // Off every page is as off every text.
    return err == Res_dispmanNoPage ? int(Res_dispmanNoNode) : err;
}

int Edr_Fwd_extendAtPoint(FvPageView *pageView, int32_t x, int32_t y)
{
    DispmanView *view = viewOf(pageView);
    if (!view)
        return 0;
    const Point at{x, y};
    return Dispman_extendAt(view, &at);
}

int Edr_Fwd_pagePoint(FvPageView *pageView, Edr_Doc *document, const Point *in, Point *out)
{
    DispmanView *view = viewOf(pageView);
    if (!view || !in)
        return Res_dispmanNoPage;
    return Dispman_pagePoint(view, document, in, out, nullptr);
}
