// The high-quality and thumbnail updaters, and how one area of a view is
// drawn.
//
// What the quick pass draws at once is drawn cheaply; areas that deserve
// full quality wait on their view's high-quality list. "DispMan_hqUpdater"
// works the lists down one area at a time, the last one first, and gives
// way when the quick updater asks it to stop: the area in hand stays on the
// list for the next pass. After more than "Dispman_MaxHqInterrupts"
// interruptions of one view the work is allowed to finish, so that a
// steady stream of requests cannot starve it. "DispMan_tnUpdater" renders
// thumbnails for the jobs documents register, woken only while no document
// is busy.
//
// An area is drawn where its page is shown: the view document's own areas
// directly (the backdrop, then every page link's page), an area of a shown
// page through the page link that shows it. The item routine depends on
// the request: quick requests follow "RendererRedrawMode" and
// "RendererCostLimit"; everything else is drawn fully.
#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/graphics.h"
#include "viewer/pagerender.h"
#include "viewer/thumbqueue.h"
#include "viewer/thumbrender.h"
#include "platform/api/errortext.h"
#include "viewer/dispman.h"
#include "viewer/dispupdate.h"
#include "viewer/screen/screen.h"
#include "graphics/rects.h"

namespace {

// The most rectangles the backdrop of a view is cut into around its page
// links; past it a rectangle stays whole (drawn twice, never missed).
constexpr uint32_t maxBackdropRects = 32;

DispmanCtx *dispmanOf(EngineContext *context)
{
    return context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
}

bool emptyRect(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t ceilDiv(int64_t a, int64_t b)
{
    return -floorDiv(-a, b);
}

int32_t clamp32(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

// rect (page units) through matrix into view pixels: rounded outwards, or
// inwards (a pixel is drawn only when the rectangle covers it).
Rect toPixels(const Rect &rect, const Matrix *matrix, int32_t scale, bool outwards)
{
    Point c[4];
    Rect_toQuad(c, &rect);
    Matrix_transformQuad(c, c, matrix);
    Rect u;
    Rect_boundPoints(&u, c, 4, 1);
    auto lo = [&](int32_t v) {
        int64_t s = int64_t(v) * scale;
        return clamp32(outwards ? floorDiv(s, 65536) : ceilDiv(s, 65536));
    };
    auto hi = [&](int32_t v) {
        int64_t s = int64_t(v) * scale;
        return clamp32(outwards ? ceilDiv(s, 65536) : floorDiv(s, 65536));
    };
    return Rect{lo(u.x0), lo(u.y0), hi(u.x1), hi(u.y1)};
}

// The linked page of a page link: its matrix to view units (the link's,
// then matrix) and its rectangle in view pixels. False when the page is
// not there.
bool linkedPage(const DispmanView *view, Edr_Node *node, const Matrix *matrix, Matrix *out,
                Rect *px)
{
    if (Edr_Node_type(node) != Edr_NodeType_subdoc)
        return false;
    const Edr_SubdocNode *l = Edr_Node_subdocPayload(node);
    int32_t b[4];
    if (!l->child || Edr_Page_getRect(l->child, int32_t(l->pageKey), uint32_t(l->pageKind), b))
        return false;
    const int32_t *p = l->placement;
    *out = Matrix{p[0], p[1], p[2], p[3], p[4], p[5]};
    Matrix_concat(out, matrix);
    Rect page{b[0], b[1], b[2], b[3]};
    Rect_toDevice(px, &page, out, view->bitmap, RectDevice_roundAll);
    return !emptyRect(*px);
}

// What the page draw routines of one drawing share.
struct DrawState {
    DispmanView *view;
    RenderBuffers *buffers;
    uint32_t routine;
    int incomplete; // an item list was over its budget: drawn from the page image
};

int drawFull(EngineContext *ctx, void *arg, Edr_PageRec *chain, const Rect *rect,
             Edr_ScreenHooks *hooks, Bitmap *bitmap, const Rect *pageRect, const Matrix *matrix,
             const DrawFlags *flags, Edr_FillDoneFn painter, void *painterArg, intptr_t extra)
{
    DrawState *s = static_cast<DrawState *>(arg);
    return PageRender_drawBanded(ctx, s->buffers, chain, rect, hooks, bitmap, pageRect, matrix,
                                 flags, painter, painterArg, extra);
}

// Fully while the measured cost fits the budget, else from the page image.
int drawBudgeted(EngineContext *ctx, void *arg, Edr_PageRec *chain, const Rect *rect,
                 Edr_ScreenHooks *hooks, Bitmap *bitmap, const Rect *pageRect, const Matrix *matrix,
                 const DrawFlags *flags, Edr_FillDoneFn painter, void *painterArg, intptr_t extra)
{
    DrawState *s = static_cast<DrawState *>(arg);
    uint32_t cost = 0;
    int err = PageRender_measureCost(ctx, chain, rect, s->view, pageRect, matrix, flags, &cost);
    if (err)
        return err;
    if (cost <= uint32_t(flags->cost[DrawCost_limit]))
        return drawFull(ctx, arg, chain, rect, hooks, bitmap, pageRect, matrix, flags, painter,
                        painterArg, extra);
    s->incomplete = 1;
    return PageRender_drawWithImage(ctx, s->view, chain, rect, hooks, bitmap, pageRect, matrix,
                                    flags);
}

PageDrawFn routineOf(uint32_t routine)
{
    return routine == DispmanRoutine_budget ? drawBudgeted : drawFull;
}

// The view document's own page: the backdrop where no page link shows a
// page, then each linked page with its own chain.
int drawViewPage(EngineContext *ctx, DispmanView *view, const Matrix *matrix, const Rect *rect,
                 const DrawFlags *flags, DrawState *state)
{
    Rect rects[maxBackdropRects];
    uint32_t count = 1;
    rects[0] = *rect;
    for (Edr_Node *n = view->pageGroup ? Edr_Node_firstChild(view->pageGroup) : nullptr; n;
         n = Edr_Node_nextSibling(n)) {
        Matrix m;
        Rect px;
        if (!linkedPage(view, n, matrix, &m, &px))
            continue;
        uint32_t live = count;
        for (uint32_t i = 0; i < live; i++) {
            Rect r = rects[i];
            if (emptyRect(r) || Rect_disjoint(&r, &px) || count + 4 > maxBackdropRects)
                continue;
            Rect parts[4];
            uint32_t k = Rect_splitBands(parts, &r, &px);
            rects[i] = Rect{0, 0, 0, 0};
            for (uint32_t j = 0; j < k; j++)
                rects[count++] = parts[j];
        }
    }
    Edr_PageRec backdrop{};
    for (int i = 0; i < 4; i++)
        backdrop.background[i] = uint8_t(view->background >> (8 * i));
    for (uint32_t i = 0; i < count; i++)
        if (!emptyRect(rects[i]))
            (void)PageRender_drawBackdrop(&backdrop, &rects[i], view);

    for (Edr_Node *n = view->pageGroup ? Edr_Node_firstChild(view->pageGroup) : nullptr; n;
         n = Edr_Node_nextSibling(n)) {
        Matrix m;
        Rect px;
        if (!linkedPage(view, n, matrix, &m, &px))
            continue;
        Rect clip = *rect;
        Rect_intersect(&clip, &px);
        if (emptyRect(clip))
            continue;
        const Edr_SubdocNode *l = Edr_Node_subdocPayload(n);
        Edr_PageEntry *entry = nullptr;
        if (Edr_Page_find(&entry, l->child, int32_t(l->pageKey), uint32_t(l->pageKind), 0))
            continue;
        int err = Res_ok;
        if (Edr_PageRec *chain = Edr_Page_deref(entry))
            err =
                PageRender_walk(ctx, chain, &m, &clip, &px, view->bitmap, &view->hooks, flags,
                                PageRender_noteDrawn, view, routineOf(state->routine), state, 1, 0);
        Edr_Page_release(entry, 0);
        if (err == Res_stopRequested)
            return err;
    }
    return Res_ok;
}

bool samePage(const DispmanArea &a, const DispmanPageRef &p)
{
    return a.document == p.document && a.pageKey == p.pageKey && a.pageKind == p.pageKind;
}

void present(DispmanView *view)
{
    Screen *c = view->client;
    if (c && c->lockOp)
        (void)c->lockOp(c, c->callbackArg, Screen_opPresent, nullptr);
}

// Queues a thumbnail job with a view reference of its own. 0 when a job
// was added or merged, else the error.
int addJob(DispmanCtx *dm, uint32_t kind, Edr_Doc *document, int32_t key, uint32_t pageKind,
           bool referenced)
{
    if (!referenced)
        Edr_Doc_addView(document);
    int r = ThumbQueue_add(dm, kind, document, key, pageKind);
    if (r == Res_noMemory)
        Edr_Doc_releaseView(document);
    return r == int(ThumbQueue_merged) ? int(Res_ok) : r;
}

} // namespace

// ------------------------------------------------------------- drawing

void Dispman_chooseDrawing(const DispmanRequest *parent, const DispmanView *view, int ownTopLevel,
                           DispmanDrawChoice *out)
{
    out->flags = 0;
    out->routine = DispmanRoutine_full;
    out->cancellable = !(ownTopLevel && !view->drawThrough);
    if (!parent || parent->subCode != DispmanSub_quick)
        return;
    out->routine = DispmanRoutine_quick;
    if (view->zooming)
        return;
    bool budget = view->cost[DrawCost_limit] != 0;
    switch (uint32_t(view->redrawMode)) {
    case DispmanRedraw_budgetQuick:
        out->flags = DispmanDraw_quick;
        out->routine = budget ? DispmanRoutine_budget : DispmanRoutine_quick;
        break;
    case DispmanRedraw_budget:
        out->routine = budget ? DispmanRoutine_budget : DispmanRoutine_quick;
        break;
    case DispmanRedraw_fullQuick:
        out->flags = DispmanDraw_quick;
        out->routine = DispmanRoutine_full;
        break;
    case DispmanRedraw_full: out->routine = DispmanRoutine_full; break;
    default: break;
    }
}

int Dispman_drawPage(EngineContext *context, const DispmanRequest *parent,
                     const DispmanPageRef *page, const Matrix *matrix, const Rect *rect,
                     DispmanView *view)
{
    DispmanCtx *dm = dispmanOf(context);
    bool own = page->document == view->backdropDoc;
    DispmanDrawChoice choice;
    Dispman_chooseDrawing(parent, view, own, &choice);
    DrawFlags flags;
    std::memset(&flags, 0, sizeof(flags));
    std::memcpy(flags.quality, view->quality, sizeof(flags.quality));
    std::memcpy(flags.cost, view->cost, sizeof(flags.cost));
    // Items take their quick forms in the quick routine and under the quick
    // bit; a drawing that may not be cancelled does not poll.
    if (choice.routine == DispmanRoutine_quick || (choice.flags & DispmanDraw_quick))
        flags.flags |= DrawFlags_fastBoxes;
    if (!choice.cancellable)
        flags.flags |= DrawFlags_noPoll;
    DrawState state{view, dm->renderBuffers, choice.routine, 0};
    int err = Res_ok;
    if (own) {
        err = drawViewPage(context, view, matrix, rect, &flags, &state);
    } else {
        Edr_PageEntry *entry = nullptr;
        if (Edr_Page_find(&entry, page->document, page->pageKey, page->pageKind, 0) != 0)
            return Res_ok;
        if (Edr_PageRec *chain = Edr_Page_deref(entry)) {
            const int32_t *b = Edr_Page_rectOrDefault(chain);
            Rect pr{b[0], b[1], b[2], b[3]}, pagePx;
            Rect_toDevice(&pagePx, &pr, matrix, view->bitmap, RectDevice_roundAll);
            err = PageRender_walk(context, chain, matrix, rect, &pagePx, view->bitmap, &view->hooks,
                                  &flags, PageRender_noteDrawn, view, routineOf(choice.routine),
                                  &state, 1, 0);
        }
        Edr_Page_release(entry, 0);
    }
    if (state.incomplete && context->eventProc) {
        EventProcCodeMsg m{DispmanMsg_incomplete, nullptr, nullptr, 0};
        (void)EventProc_postPlainCode(context->eventProc, &m);
    }
    return err;
}

int Dispman_drawArea(EngineContext *context, const DispmanRequest *parent,
                     const DispmanPageRef *page, const Matrix *matrix, const Rect *clip,
                     const DispmanArea *area, DispmanView *view, int *drawn)
{
    if (!area->document || emptyRect(area->rect))
        return Res_ok;
    bool own = page->document == view->backdropDoc;
    if (!samePage(*area, *page)) {
        // Look for the area's page among the pages this one shows.
        if (own) {
            for (Edr_Node *n = view->pageGroup ? Edr_Node_firstChild(view->pageGroup) : nullptr; n;
                 n = Edr_Node_nextSibling(n)) {
                Matrix m;
                Rect px;
                if (!linkedPage(view, n, matrix, &m, &px))
                    continue;
                Rect c = *clip;
                Rect_intersect(&c, &px);
                if (emptyRect(c))
                    continue;
                const Edr_SubdocNode *l = Edr_Node_subdocPayload(n);
                DispmanPageRef sub{l->child, int32_t(l->pageKey), uint32_t(l->pageKind)};
                int err = Dispman_drawArea(context, parent, &sub, &m, &c, area, view, drawn);
                if (err)
                    return err;
            }
            return Res_ok;
        }
        Edr_PageEntry *entry = nullptr;
        if (Edr_Page_find(&entry, page->document, page->pageKey, page->pageKind, 0) != 0)
            return Res_ok;
        int err = Res_ok;
        for (Edr_PageRec *piece = Edr_Page_deref(entry); piece && !err; piece = piece->nextRec) {
            const EmbeddedPageRef *ref = PagePiece_embeddedRef(piece);
            Edr_PageEntry *inner = nullptr;
            Matrix m;
            if (!ref || PagePiece_findEmbedded(piece, matrix, &inner, &m) != 0)
                continue;
            const int32_t *b = Edr_Page_rectOrDefault(Edr_Page_deref(inner));
            Rect pr{b[0], b[1], b[2], b[3]}, px;
            Rect_toDevice(&px, &pr, &m, view->bitmap, RectDevice_roundAll);
            Edr_Page_release(inner, 0);
            Rect c = *clip;
            Rect_intersect(&c, &px);
            if (emptyRect(c))
                continue;
            DispmanPageRef sub{ref->document, ref->pageKey, ref->pageKind};
            err = Dispman_drawArea(context, parent, &sub, &m, &c, area, view, drawn);
        }
        Edr_Page_release(entry, 0);
        return err;
    }
    Rect r = area->rect;
    if (!own) {
        int32_t b[4];
        if (Edr_Page_getRect(page->document, page->pageKey, page->pageKind, b) != 0)
            return Res_ok;
        Rect pr{b[0], b[1], b[2], b[3]};
        Rect_intersect(&r, &pr);
        if (emptyRect(r))
            return Res_ok;
    }
    // The view's own areas round outwards; an embedded page's inwards, so
    // that it never paints outside the place its link gives it.
    Rect px = toPixels(r, matrix, view->bitmap->scale, own);
    Rect_intersect(&px, clip);
    Rect_intersect(&px, &view->viewRect);
    if (emptyRect(px))
        return Res_ok;
    if (drawn)
        *drawn = 1;
    return Dispman_drawPage(context, parent, page, matrix, &px, view);
}

void Dispman_postProgress(EngineContext *context, Edr_Doc *document, int32_t code)
{
    if (!context || !context->eventProc)
        return;
    EventProcCodeMsg m{code, document, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(context->eventProc, &m);
}

// -------------------------------------------------------- high quality

int Dispman_hqUpdatePass(EngineContext *context)
{
    DispmanCtx *dm = dispmanOf(context);
    DispmanView *view = nullptr;
    for (Dispman_nextView(dm, &view, 1, 1); view; Dispman_nextView(dm, &view, 0, 1)) {
        DispmanHqList *list = &view->hqList;
        if (view->suspended || !Dispman_hqListPrepare(list) || !view->pageGroup)
            continue;
        Rect saved = view->pageFrame;
        Edr_Node *current = Dispman_currentLink(view);
        view->current = current;
        if (current)
            (void)Dispman_pageEdges(dm, view, current, nullptr, &view->pageFrame);
        Dispman_queueResizeBands(&dm->queue, view, &saved, 1);
        if (list->interruptedPasses > dm->maxHqInterrupts)
            dm->interruptAllowed = 0;
        bool drawnAny = false;
        DispmanPageRef top{view->backdropDoc, 0, 0};
        while (DispmanArea *topArea = Dispman_hqListTop(list)) {
            DispmanArea a = *topArea;
            if (!Dispman_areaOnCurrent(&a, current)) {
                Dispman_postProgress(context, a.document, DispmanMsg_hqBegin);
                Dispman_postProgress(context, a.document, DispmanMsg_hqDone);
                Dispman_hqListDropTop(list);
                continue;
            }
            if (a.notify == 1)
                Dispman_postProgress(context, a.document, DispmanMsg_hqBegin);
            int drawn = 0;
            int err = Dispman_drawArea(context, nullptr, &top, &view->viewMatrix, &view->viewRect,
                                       &a, view, &drawn);
            drawnAny = drawnAny || drawn;
            if (err == Res_stopRequested) {
                // The area in hand stays for the next pass.
                if (list->interruptedPasses < UINT16_MAX)
                    list->interruptedPasses++;
                if (a.notify == 1)
                    Dispman_postProgress(context, a.document, DispmanMsg_hqInterrupted);
                if (drawnAny)
                    present(view);
                Lock_release(&view->renderLock);
                return err;
            }
            // Any other failure cannot be mended by drawing the area again:
            // it leaves the list like a drawn one, so that it cannot keep the
            // updater busy for ever.
            if (a.notify == 1)
                Dispman_postProgress(context, a.document, DispmanMsg_hqDone);
            Dispman_hqListDropTop(list);
        }
        list->interruptedPasses = 0;
        dm->interruptAllowed = 1;
        if (drawnAny)
            present(view);
        RenderBuffers_trim(dm->renderBuffers);
        (void)Bitmap_scratchFree0(view->bitmap);
    }
    dm->hqPending = 0;
    return Res_ok;
}

void Dispman_hqUpdaterMain(void *engine)
{
    EngineContext *context = static_cast<EngineContext *>(engine);
    DispmanCtx *dm = dispmanOf(context);
    for (;;) {
        int r = Sem_waitStoppable(&dm->hqWake);
        if (r == Res_ok) {
            dm->hqRunning = 1;
            Lock_acquire(&dm->renderLock);
            r = Dispman_hqUpdatePass(context);
            Lock_release(&dm->renderLock);
            dm->hqRunning = 0;
            if (r != Res_stopRequested)
                continue;
        } else if (r != Res_stopRequested) {
            Engine_abortIfError(r);
            continue;
        }
        // A stop request while the context keeps this thread alive is an
        // interruption; once shut-down has begun it ends the thread.
        if (!dm->keepHqAlive)
            return;
        (void)Task_clearStop(context);
    }
}

// ----------------------------------------------------------- thumbnails

void Dispman_tnUpdaterMain(void *engine)
{
    EngineContext *context = static_cast<EngineContext *>(engine);
    DispmanCtx *dm = dispmanOf(context);
    for (;;) {
        int r = Sem_waitStoppable(&dm->thumbWake);
        if (r == Res_stopRequested)
            return;
        Engine_abortIfError(r);
        if (Dispman_thumbnailPass(context) == Res_stopRequested)
            return;
    }
}

int Dispman_onDocumentChanged(EngineContext *context, uint32_t kind, Edr_Doc *document,
                              int32_t pageKey, uint32_t pageKind)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm || !document)
        return Res_ok;
    int result = addJob(dm, kind, document, pageKey, pageKind, false);
    bool added = result == Res_ok;
    if (kind == 0 || kind == ThumbKind_renderLast) {
        // The page's thumbnail shows in its parent document's first page.
        Edr_Doc *parent = nullptr;
        Edr_Doc_getParentView(&parent, document);
        if (parent && addJob(dm, kind, parent, 0, 0, true) == Res_ok)
            added = true;
    }
    if (added) {
        if (kind == ThumbKind_renderLast)
            Sem_signal(&dm->thumbWake);
        else
            Dispman_wakeThumbnailsIfIdle(dm);
    }
    return result;
}
