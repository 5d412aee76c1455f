// The handlers of pans, zooms, page placements and document switches, and
// the helpers they share: the page-edge test, the redraws after a page
// changed size, the in-place bitmap scroll and the job that destroys a
// document no longer shown.
//
// Each handler changes the matrix of one page link and queues the redraws
// that follow at the front of the working array, so that they run next in
// the same pass. A pan reuses the pixels already drawn: it scrolls them and
// redraws only the bands the move exposed.
#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/pixelbuf.h"
#include "viewer/dispman.h"
#include "viewer/dispupdate.h"
#include "viewer/screen/screen.h"
#include "graphics/rects.h"

namespace {

constexpr size_t destroyJobStack = 4096;
constexpr int32_t destroyJobClass = 1;

DispmanCtx *dispmanOf(EngineContext *context)
{
    return context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
}

bool emptyRect(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

int32_t resolutionOf(const DispmanView *view)
{
    return view->resolution > 0 ? view->resolution : int32_t(Screen_defaultResolution);
}

int32_t clamp32(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

// Moves the link's page by (dx, dy) view pixels.
void moveLink(const DispmanView *view, Edr_SubdocNode *link, int32_t dx, int32_t dy)
{
    link->placement[4] = clamp32(int64_t(link->placement[4]) + Dispman_pixelsToUnits(view, dx));
    link->placement[5] = clamp32(int64_t(link->placement[5]) + Dispman_pixelsToUnits(view, dy));
}

void clientOp(DispmanView *view, int32_t op)
{
    Screen *c = view->client;
    if (c && c->lockOp)
        (void)c->lockOp(c, c->callbackArg, op, nullptr);
}

// Queues a kind-0 redraw of rect at the front of the working array.
void redrawFront(DispmanCtx *dm, DispmanView *view, const Rect &rect, uint32_t subCode,
                 uint32_t report)
{
    if (emptyRect(rect))
        return;
    DispmanRequest r;
    std::memset(&r, 0, sizeof(r));
    r.kind = DispmanKind_redraw;
    r.subCode = subCode;
    r.report = report;
    r.interrupt = 1;
    r.redraw.view = view;
    r.redraw.rect = rect;
    (void)DispmanQueue_pushFront(&dm->queue, &r);
}

// Cuts rect at the y values of edges that fall strictly inside it: at most
// three horizontal bands, top first.
uint32_t cutAtEdges(const Rect &rect, const Rect &edges, Rect out[Dispman_maxBands])
{
    int32_t cuts[2];
    uint32_t n = 0;
    if (edges.y1 > rect.y0 && edges.y1 < rect.y1)
        cuts[n++] = edges.y1;
    if (edges.y0 > rect.y0 && edges.y0 < rect.y1 && (n == 0 || edges.y0 != cuts[0]))
        cuts[n++] = edges.y0;
    uint32_t count = 0;
    int32_t top = rect.y1;
    for (uint32_t i = 0; i < n; i++) {
        out[count++] = Rect{rect.x0, cuts[i], rect.x1, top};
        top = cuts[i];
    }
    out[count++] = Rect{rect.x0, rect.y0, rect.x1, top};
    return count;
}

// Keeps a page narrower than the view inside it and a wider page from
// leaving a gap at either side: the pixel shift along one axis.
int32_t keepInside(int32_t p0, int32_t p1, int32_t v0, int32_t v1)
{
    if (p1 - p0 <= v1 - v0) {
        if (p0 < v0)
            return v0 - p0;
        if (p1 > v1)
            return v1 - p1;
        return 0;
    }
    if (p0 > v0)
        return v0 - p0;
    if (p1 < v1)
        return v1 - p1;
    return 0;
}

// The shift that brings a page back to the border for the edge flags.
void edgeShift(uint32_t flags, const Rect &p, const Rect &v, int32_t border, int32_t *dx,
               int32_t *dy)
{
    if (flags & DispmanEdge_offLeft)
        *dx += v.x0 + border - p.x1;
    else if (flags & DispmanEdge_offRight)
        *dx += v.x1 - border - p.x0;
    if (flags & DispmanEdge_offTop)
        *dy += v.y1 - border - p.y0;
    else if (flags & DispmanEdge_offBottom)
        *dy += v.y0 + border - p.y1;
}

// Cuts a pan distance along one axis: a page narrower than the limits is
// pulled back inside them; a wider one moves its far edge no further than
// the limits allow (the distance is cut, never reversed).
int32_t limitAxis(int32_t p0, int32_t p1, int32_t l0, int32_t l1, int32_t d)
{
    if (p1 - p0 < l1 - l0) {
        if (p0 + d < l0)
            return l0 - p0;
        if (p1 + d > l1)
            return l1 - p1;
        return d;
    }
    if (d < 0 && p1 + d < l1)
        return std::min(0, l1 - p1);
    if (d > 0 && p0 + d > l0)
        return std::max(0, l0 - p0);
    return d;
}

// With a border width, the moved page keeps at least that much of itself
// inside the view on every side; the distance is cut, never reversed.
int32_t borderAxis(int32_t p0, int32_t p1, int32_t v0, int32_t v1, int32_t border, int32_t d)
{
    if (border <= 0)
        return d;
    if (d < 0 && p1 + d < v0 + border)
        return std::min(0, v0 + border - p1);
    if (d > 0 && p0 + d > v1 - border)
        return std::max(0, v1 - border - p0);
    return d;
}

Edr_SubdocNode *payloadOf(Edr_Node *link)
{
    return Edr_Node_subdocPayload(link);
}

// Recomputes the view's page rectangle when link is its current page.
void refreshCurrent(DispmanCtx *dm, DispmanView *view, Edr_Node *link)
{
    if (link == Dispman_currentLink(view)) {
        view->current = link;
        (void)Dispman_pageEdges(dm, view, link, nullptr, &view->pageFrame);
    }
}

// The view rectangle queued at the front as one redraw.
void redrawView(DispmanCtx *dm, DispmanView *view, uint32_t subCode)
{
    redrawFront(dm, view, view->viewRect, subCode, 1);
}

void postCode(EngineContext *context, int32_t code, Edr_Doc *document, bool withView)
{
    if (!context->eventProc)
        return;
    EventProcCodeMsg m{code, document, nullptr, 0};
    (void)(withView ? EventProc_postCode(context->eventProc, &m)
                    : EventProc_postPlainCode(context->eventProc, &m));
}

// The edge corrections of a zoom or a placement, applied to the link; the
// page rectangle is recomputed into *page.
void correctEdges(DispmanCtx *dm, DispmanView *view, Edr_Node *link, Rect *page)
{
    int32_t dx = 0, dy = 0;
    uint32_t flags = Dispman_pageEdges(dm, view, link, nullptr, page);
    edgeShift(flags, *page, view->viewRect, dm->pageBorder, &dx, &dy);
    if (dx || dy) {
        moveLink(view, payloadOf(link), dx, dy);
        (void)Dispman_pageEdges(dm, view, link, nullptr, page);
    }
}

// Drops every area of document from the views' high-quality lists. The
// lists hold no reference on the documents of their areas, so a document
// that is about to be destroyed must leave them first. Runs under the
// render lock, which every change of the lists holds.
void forgetDocument(DispmanCtx *dm, Edr_Doc *document)
{
    for (DispmanView *v = dm->views; v; v = v->next) {
        DispmanHqList *list = &v->hqList;
        uint16_t kept = 0;
        for (uint16_t i = 0; i < list->count; i++)
            if (list->areas[i].document != document)
                list->areas[kept++] = list->areas[i];
        list->count = kept;
    }
}

} // namespace

// ------------------------------------------------------------ helpers

int32_t Dispman_pixelsToUnits(const DispmanView *view, int32_t pixels)
{
    // Rounded to the nearest unit, so that many small pans do not drift.
    int64_t res = resolutionOf(view), u = int64_t(pixels) * 65536;
    return clamp32((u + (u < 0 ? -res / 2 : res / 2)) / res);
}

Edr_Node *Dispman_currentLink(DispmanView *view)
{
    Edr_Node *found = nullptr;
    for (Edr_Node *n = view->pageGroup ? Edr_Node_firstChild(view->pageGroup) : nullptr; n;
         n = Edr_Node_nextSibling(n))
        if (Edr_Node_type(n) == Edr_NodeType_subdoc)
            found = n;
    return found;
}

void Dispman_linkToView(const DispmanView *view, const Edr_SubdocNode *link, Matrix *out)
{
    const int32_t *p = link->placement;
    *out = Matrix{p[0], p[1], p[2], p[3], p[4], p[5]};
    Matrix_concat(out, &view->viewMatrix);
}

uint32_t Dispman_pageEdges(DispmanCtx *dm, DispmanView *view, Edr_Node *link, const Matrix *matrix,
                           Rect *out)
{
    *out = Rect{0, 0, 0, 0};
    const Edr_SubdocNode *l = link ? payloadOf(link) : nullptr;
    int32_t b[4];
    if (!l || !l->child ||
        Edr_Page_getRect(l->child, int32_t(l->pageKey), uint32_t(l->pageKind), b) != 0)
        return 0;
    Matrix m;
    if (matrix) {
        m = *matrix;
        Matrix_concat(&m, &view->viewMatrix);
    } else {
        Dispman_linkToView(view, l, &m);
    }
    Rect page{b[0], b[1], b[2], b[3]};
    Rect_toDevice(out, &page, &m, view->bitmap, RectDevice_roundAll);
    int32_t border = dm ? dm->pageBorder : 0;
    if (border <= 0)
        return 0;
    const Rect &v = view->viewRect;
    uint32_t flags = 0;
    if (out->x1 < v.x0 + border)
        flags |= DispmanEdge_offLeft;
    if (out->x0 > v.x1 - border)
        flags |= DispmanEdge_offRight;
    if (out->y0 > v.y1 - border)
        flags |= DispmanEdge_offTop;
    if (out->y1 < v.y0 + border)
        flags |= DispmanEdge_offBottom;
    return flags;
}

void Dispman_queueResizeBands(DispmanQueue *queue, DispmanView *view, const Rect *oldRect,
                              int toTail)
{
    const Rect &o = *oldRect, &n = view->pageFrame;
    if (emptyRect(o) || emptyRect(n))
        return;
    if (o.x1 - o.x0 == n.x1 - n.x0 && o.y1 - o.y0 == n.y1 - n.y0)
        return;
    if (o.x0 > n.x1 || n.x0 > o.x1 || o.y0 > n.y1 || n.y0 > o.y1)
        return;
    Rect bands[Dispman_maxBands];
    uint32_t count = cutAtEdges(o, n, bands);
    for (uint32_t i = 0; i < count; i++) {
        DispmanRequest r;
        std::memset(&r, 0, sizeof(r));
        r.kind = DispmanKind_redraw;
        r.subCode = DispmanSub_hqOnly;
        r.report = 1;
        r.interrupt = 1;
        r.redraw.view = view;
        r.redraw.rect = bands[i];
        (void)(toTail ? DispmanQueue_push(queue, &r) : DispmanQueue_pushFront(queue, &r));
    }
}

void Dispman_scrollBitmap(Bitmap *bitmap, const Rect *src, const Point *dst)
{
    if (!bitmap || !src || !dst)
        return;
    uint32_t bpp = Pixel_bytesPerPixel(bitmap->format);
    uint8_t *base = Bitmap_firstRow(bitmap);
    if (!base || (bpp != 1 && bpp != 2 && bpp != 4))
        return;
    // Cut the source so that both it and its destination lie inside the
    // bitmap.
    int64_t dx = int64_t(dst->x) - src->x0, dy = int64_t(dst->y) - src->y0;
    int64_t x0 = std::max<int64_t>({src->x0, 0, -dx});
    int64_t y0 = std::max<int64_t>({src->y0, 0, -dy});
    int64_t x1 = std::min<int64_t>({src->x1, bitmap->width, bitmap->width - dx});
    int64_t y1 = std::min<int64_t>({src->y1, bitmap->height, bitmap->height - dy});
    if (x0 >= x1 || y0 >= y1)
        return;
    size_t rowBytes = size_t(x1 - x0) * bpp;
    size_t stride = bitmap->stride;
    // Rows bottom-up when moving down, so that no row is overwritten before
    // it is read; memmove copies each row safely in either direction.
    bool down = dy > 0;
    for (int64_t i = 0; i < y1 - y0; i++) {
        int64_t y = down ? y1 - 1 - i : y0 + i;
        uint8_t *from = base + size_t(y) * stride + size_t(x0) * bpp;
        uint8_t *to = base + size_t(y + dy) * stride + size_t(x0 + dx) * bpp;
        std::memmove(to, from, rowBytes);
    }
}

int Dispman_findTarget(DispmanView *view, DispmanRequest *request, Edr_Node **link, Edr_Doc **held)
{
    *link = nullptr;
    *held = nullptr;
    if (request->kind < DispmanKind_pan || request->kind > DispmanKind_switchDoc)
        return 0;
    Edr_Doc *doc = request->page.document;
    Edr_Doc_tryAddRef(doc, held);
    if (request->subCode != DispmanSub_panFlingLast &&
        request->subCode != DispmanSub_zoomStepLast) {
        Edr_Doc_releaseView(doc);
        request->page.document = nullptr;
    }
    if (!*held)
        return 0;
    if (doc == view->backdropDoc && view->pageGroup) {
        for (Edr_Node *n = Edr_Node_firstChild(view->pageGroup); n; n = Edr_Node_nextSibling(n)) {
            if (n == request->page.node && Edr_Node_type(n) == Edr_NodeType_subdoc &&
                payloadOf(n)->child) {
                *link = n;
                return 1;
            }
        }
    }
    Edr_Doc_release(*held);
    *held = nullptr;
    return 0;
}

// ---------------------------------------------------------------- pan

int Dispman_Updaters_pan(EngineContext *context, DispmanView *view, DispmanRequest *request)
{
    DispmanCtx *dm = dispmanOf(context);
    if (request->subCode == DispmanSub_panEnd && !view->panning) {
        DispmanQueue_discard(request);
        return Res_ok;
    }
    Edr_Node *link = nullptr;
    Edr_Doc *held = nullptr;
    if (!Dispman_findTarget(view, request, &link, &held))
        return Res_ok;
    Edr_SubdocNode *l = payloadOf(link);
    Rect page;
    (void)Dispman_pageEdges(dm, view, link, nullptr, &page);
    const Rect &lim = view->panLimits, &v = view->viewRect;
    int32_t dx = limitAxis(page.x0, page.x1, lim.x0, lim.x1, request->page.pan.dx);
    int32_t dy = limitAxis(page.y0, page.y1, lim.y0, lim.y1, request->page.pan.dy);
    // A tagged page narrower than the view never straddles its edges.
    if (Edr_Page_getTag(l->child, int32_t(l->pageKey), uint32_t(l->pageKind)) != 0) {
        dx +=
            keepInside(page.x0 + dx, page.x1 + dx, v.x0, v.x1) * (page.x1 - page.x0 <= v.x1 - v.x0);
        dy +=
            keepInside(page.y0 + dy, page.y1 + dy, v.y0, v.y1) * (page.y1 - page.y0 <= v.y1 - v.y0);
    }
    dx = borderAxis(page.x0, page.x1, v.x0, v.x1, dm->pageBorder, dx);
    dy = borderAxis(page.y0, page.y1, v.y0, v.y1, dm->pageBorder, dy);

    uint32_t sub = request->subCode;
    if (sub != DispmanSub_panStep && sub != DispmanSub_panFling && sub != DispmanSub_panFlingLast) {
        // The end: what was drawn quickly during the pan is redrawn in high
        // quality, cut at the edges of the page area recorded at its start.
        Edr_Doc_release(held);
        Rect q = view->pageFrame;
        Rect_intersect(&q, &view->quickDrawn);
        if (!emptyRect(q)) {
            Rect bands[Dispman_maxBands];
            uint32_t count = 1;
            bands[0] = q;
            if (!emptyRect(view->panPage))
                count = cutAtEdges(q, view->panPage, bands);
            for (uint32_t i = 0; i < count; i++)
                redrawFront(dm, view, bands[i], DispmanSub_hqOnly, 1);
        }
        dm->hqPending = dm->hqPendingSaved;
        view->panning = 0;
        Sem_signal(&dm->quickWake);
        return Res_ok;
    }

    int result = Res_ok;
    if (!view->panning) {
        view->panning = 1;
        Rect shown = page;
        Rect_intersect(&shown, &view->viewRect);
        view->quickDrawn = shown;
        view->panPage = shown;
        view->savedPageWidth = page.x1 - page.x0;
        view->savedPageHeight = page.y1 - page.y0;
        dm->hqPendingSaved = dm->hqPending;
        dm->hqPending = 0;
        DispmanArea a;
        if (Dispman_hqListFindNotifying(&view->hqList, l->child, int32_t(l->pageKey),
                                        uint32_t(l->pageKind), &a)) {
            DispmanRequest quick = *request;
            quick.subCode = DispmanSub_quick;
            DispmanPageRef top{view->backdropDoc, 0, 0};
            result = Dispman_drawArea(context, &quick, &top, &view->viewMatrix, &view->viewRect, &a,
                                      view, nullptr);
        }
    } else if (page.x1 - page.x0 != view->savedPageWidth ||
               page.y1 - page.y0 != view->savedPageHeight) {
        view->savedPageWidth = page.x1 - page.x0;
        view->savedPageHeight = page.y1 - page.y0;
        redrawView(dm, view, DispmanSub_quick);
    }

    if (dx || dy) {
        moveLink(view, l, dx, dy);
        refreshCurrent(dm, view, link);
        // The part of the view that stays visible moves with the page.
        Rect dest = Rect{v.x0 + dx, v.y0 + dy, v.x1 + dx, v.y1 + dy};
        Rect_intersect(&dest, &v);
        clientOp(view, Screen_opLock);
        if (!emptyRect(dest)) {
            int32_t h = view->bitmap->height;
            Rect src{dest.x0 - dx, h - (dest.y1 - dy), dest.x1 - dx, h - (dest.y0 - dy)};
            Point to{dest.x0, h - dest.y1};
            Dispman_scrollBitmap(view->bitmap, &src, &to);
            if (emptyRect(view->dirty))
                view->dirty = dest;
            else
                Rect_union(&view->dirty, &dest);
        }
        clientOp(view, Screen_opUnlock);
        Rect bands[4];
        uint32_t count = 1;
        bands[0] = v;
        if (!emptyRect(dest))
            count = std::min<uint32_t>(Rect_splitBands(bands, &v, &dest), Dispman_maxBands);
        // Pushed in reverse, so that the first band, which reports, is
        // drawn last: the client presents once, after every band.
        for (uint32_t i = count; i-- > 0;)
            redrawFront(dm, view, bands[i], DispmanSub_quick, i == 0 ? 1 : 0);
    }
    Edr_Doc_release(held);
    return result;
}

// --------------------------------------------------------------- zoom

int Dispman_Updaters_zoom(EngineContext *context, DispmanView *view, DispmanRequest *request)
{
    DispmanCtx *dm = dispmanOf(context);
    Edr_Node *link = nullptr;
    Edr_Doc *held = nullptr;
    if (!Dispman_findTarget(view, request, &link, &held))
        return Res_ok;
    Edr_SubdocNode *l = payloadOf(link);
    uint32_t tag = Edr_Page_getTag(l->child, int32_t(l->pageKey), uint32_t(l->pageKind));
    uint32_t sub = request->subCode;
    int32_t z = request->page.zoom.zoom;
    int32_t *p = l->placement;
    if (sub == DispmanSub_zoomFit && z == p[0] && z == p[3]) {
        Edr_Doc_release(held);
        return Res_ok;
    }
    z = std::clamp(z, view->minZoom, view->maxZoom);
    if (z != p[0] && p[0] != 0) {
        // The page point under the centre stays put.
        int32_t h = view->client ? view->client->height : 0;
        int64_t cx = Dispman_pixelsToUnits(view, request->page.zoom.centreX);
        int64_t cy = Dispman_pixelsToUnits(view, request->page.zoom.centreY - h);
        p[4] = clamp32(cx + (int64_t(p[4]) - cx) * z / p[0]);
        p[5] = clamp32(cy + (int64_t(p[5]) - cy) * z / p[0]);
        p[0] = p[3] = z;
        p[1] = p[2] = 0;
    }
    Rect page;
    if (link == Dispman_currentLink(view)) {
        (void)Dispman_pageEdges(dm, view, link, nullptr, &page);
        const Rect &v = view->viewRect;
        int32_t dx = keepInside(page.x0, page.x1, v.x0, v.x1);
        int32_t dy = keepInside(page.y0, page.y1, v.y0, v.y1);
        if (tag == DispmanTag_leftAligned)
            dx = v.x0 - page.x0;
        if (dx || dy)
            moveLink(view, l, dx, dy);
        correctEdges(dm, view, link, &page);
        view->current = link;
        view->pageFrame = page;
    }
    Edr_Doc_release(held);
    bool step =
        sub == DispmanSub_zoomFit || sub == DispmanSub_zoomStep || sub == DispmanSub_zoomStepLast;
    if (step) {
        redrawView(dm, view, tag == DispmanTag_leftAligned ? DispmanSub_hqOnly : DispmanSub_quick);
        if (!view->zooming) {
            view->zooming = 1;
            dm->hqPendingSaved = dm->hqPending;
            dm->hqPending = 0;
        }
    } else {
        redrawView(dm, view, DispmanSub_hqOnly);
        if (view->zooming) {
            view->zooming = 0;
            dm->hqPending = dm->hqPendingSaved;
        }
        Sem_signal(&dm->quickWake);
    }
    postCode(context, DispmanMsg_zoomChanged, nullptr, false);
    return Res_ok;
}

// ------------------------------------------------------------ position

int Dispman_Updaters_position(EngineContext *context, DispmanView *view, DispmanRequest *request)
{
    DispmanCtx *dm = dispmanOf(context);
    Edr_Node *link = nullptr;
    Edr_Doc *held = nullptr;
    if (!Dispman_findTarget(view, request, &link, &held))
        return Res_ok;
    int32_t *p = payloadOf(link)->placement;
    int32_t x = request->page.position.x, y = request->page.position.y;
    if (x == p[4] && y == p[5]) {
        Edr_Doc_release(held);
        return Res_ok;
    }
    p[4] = x;
    p[5] = y;
    if (link == Dispman_currentLink(view)) {
        Rect page;
        (void)Dispman_pageEdges(dm, view, link, nullptr, &page);
        if (!emptyRect(page)) {
            // Against the pan limits: a page narrower than them is centred
            // in them, a wider one leaves no gap inside them.
            const Rect &lim = view->panLimits;
            int32_t shift[2] = {0, 0};
            const int32_t pe[2][2] = {{page.x0, page.x1}, {page.y0, page.y1}};
            const int32_t le[2][2] = {{lim.x0, lim.x1}, {lim.y0, lim.y1}};
            for (int axis = 0; axis < 2; axis++) {
                int32_t p0 = pe[axis][0], p1 = pe[axis][1], l0 = le[axis][0], l1 = le[axis][1];
                if (l1 > l0 && p1 - p0 < l1 - l0)
                    shift[axis] = l0 + (l1 - l0 - (p1 - p0)) / 2 - p0;
                else if (p1 < l1)
                    shift[axis] = l1 - p1;
                else if (p0 > l0)
                    shift[axis] = l0 - p0;
            }
            if (shift[0] || shift[1])
                moveLink(view, payloadOf(link), shift[0], shift[1]);
            correctEdges(dm, view, link, &page);
            view->current = link;
        }
        view->pageFrame = page;
    }
    Edr_Doc_release(held);
    if (request->subCode)
        redrawView(dm, view, request->subCode);
    return Res_ok;
}

// ------------------------------------------------------ document switch

void Dispman_Updaters_destroyDocThreadMain(void *document)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(document);
    EngineContext *app = Edr_Doc_getApp(doc);
    Edr_Doc_release(doc);
    Edr_App *ea = app ? app->edrApp : nullptr;
    if (!ea)
        return;
    Lock_acquire(&ea->lock);
    if (ea->pendingDestroys && --ea->pendingDestroys == 0)
        Sem_signal(&ea->destroyed);
    Lock_release(&ea->lock);
}

int Dispman_Updaters_switchDoc(EngineContext *context, DispmanView *view, DispmanRequest *request)
{
    DispmanCtx *dm = dispmanOf(context);
    Edr_Doc *newDoc = request->page.switchDoc.document;
    request->page.switchDoc.document = nullptr;
    Edr_Node *link = nullptr;
    Edr_Doc *held = nullptr;
    if (!Dispman_findTarget(view, request, &link, &held)) {
        Edr_Doc_releaseView(newDoc);
        return Res_ok;
    }
    Edr_SubdocNode *l = payloadOf(link);
    Edr_Doc *target = nullptr;
    if (newDoc) {
        Edr_Doc_tryAddRef(newDoc, &target);
        Edr_Doc_releaseView(newDoc);
        if (target == view->backdropDoc) {
            // A view cannot show its own document inside itself.
            Edr_Doc_release(target);
            target = nullptr;
        }
        if (!target) {
            Edr_Doc_release(held);
            return Res_ok;
        }
    } else {
        target = l->child;
        Edr_Doc_addRef(target);
    }
    int32_t key = request->page.switchDoc.pageKey;
    uint32_t kind = request->page.switchDoc.pageKind;
    bool sameDoc = target == l->child;
    if (sameDoc && key == int32_t(l->pageKey) && kind == uint32_t(l->pageKind)) {
        Edr_Doc_release(target);
        Edr_Doc_release(held);
        return Res_ok;
    }
    if (!sameDoc) {
        // The link's reference on the old document goes to a pool job that
        // destroys it; the engine's count lets shut-down wait for the job.
        Edr_Doc *old = l->child;
        l->child = target;
        // The new document is hosted by the link; the old one no longer is.
        Edr_Doc_writeLockWait(target);
        target->parent = view->backdropDoc;
        target->hostNode = link;
        target->depth = view->backdropDoc->depth + 1;
        Edr_Doc_writeUnlock(target);
        Edr_Doc_writeLockWait(old);
        if (old->hostNode == link) {
            old->parent = nullptr;
            old->hostNode = nullptr;
        }
        Edr_Doc_writeUnlock(old);
        forgetDocument(dm, old);
        Edr_App *ea = context->edrApp;
        if (ea) {
            Lock_acquire(&ea->lock);
            ea->pendingDestroys++;
            Lock_release(&ea->lock);
        }
        WorkerJob *job = nullptr;
        if (!ea || Worker_submit(context, &job, destroyJobClass,
                                 Dispman_Updaters_destroyDocThreadMain, old, nullptr,
                                 destroyJobStack, "&Dispman_Updaters_destroyDocThreadMain") != 0) {
            if (ea)
                Dispman_Updaters_destroyDocThreadMain(old);
            else
                Edr_Doc_release(old);
        } else {
            Worker_detach(job);
        }
    } else {
        Edr_Doc_release(target);
    }
    l->pageKey = key;
    l->pageKind = kind;
    if (sameDoc)
        postCode(context, DispmanMsg_keysChanged, l->child, true);
    refreshCurrent(dm, view, link);
    Edr_Doc_release(held);
    if (request->subCode)
        redrawView(dm, view, request->subCode);
    Dispman_wakeThumbnailsIfIdle(dm);
    return Res_ok;
}
