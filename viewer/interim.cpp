// Interim definitions of viewer services whose modules are not built yet:
// the view record is a zeroed head word and the shared lists an empty
// record, which is all the document model reads of them; the display-side
// services keep no state and draw nothing.
#include <cstdint>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/context/context.h"
#include "core/task/eventproc.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/page.h"
#include "core/container/obj.h"
#include "graphics/drawitem.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "graphics/pixelbuf.h"
#include "platform/api/app.h"
#include "viewer/dispman.h"
#include "viewer/docview.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

// Interim: there is no display side to hand a layout to.
int View_publishLayout(Edr_Doc *)
{
    return Res_ok;
}

// Interim: documents have no animations before the viewer.
void Anim_cancelTick(Edr_Doc *)
{
}

void Anim_tick(void *, EventProcMsg *, Edr_Doc *)
{
}

// Interim: an alternate rectangle is an empty record that answers 0.
struct AltRect {
    intptr_t word;
};

int AltRect_create(const void *, AltRect **out)
{
    *out = static_cast<AltRect *>(Mem_calloc(1, sizeof(AltRect)));
    return *out ? Res_ok : Res_noMemory;
}

void AltRect_free(AltRect *record)
{
    Mem_free(record);
}

int AltRect_query(AltRect *, intptr_t, intptr_t)
{
    return Res_ok;
}

int AltRect_merge(AltRect *, AltRect *)
{
    return Res_ok;
}

// Interim: the drawing object has no position before page rendering; both
// words read 0.
void AltRect_readPair(AltRect *, int32_t *a, int32_t *b)
{
    *a = 0;
    *b = 0;
}

int View_createSharedLists(void **cell)
{
    *cell = Mem_calloc(2, sizeof(void *));
    return *cell ? Res_ok : Res_noMemory;
}

void View_destroySharedLists(void *record)
{
    // The first two words are the document's layout cache, emptied by the
    // document's close path.
    Mem_free(record);
}

// Interim: no view has an editing object before the viewer.
int View_hasEditFocus(Edr_Doc *)
{
    return 0;
}

// Interim: there is no display yet, so the current view shows every
// published page: the walk visits the objects of each page record, in page
// order, under the page-list read lock.
int View_walkObjects(Edr_Doc *doc, View_ObjectVisitFn visitor, void *context, const int32_t *area, void *)
{
    if (!doc || !visitor)
        return 0;
    int result = 0;
    Edr_Page_readLockList(doc);
    for (Edr_PageEntry *e = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc)); e && !result; e = e->nextEntry) {
        for (ObjHeader *o = e->rec ? e->rec->objects : nullptr; o && !result; o = Obj_next(o)) {
            Rect shown = Obj_shownBox(o);
            if (area && (shown.x0 >= area[2] || shown.x1 <= area[0] || shown.y0 >= area[3] ||
                         shown.y1 <= area[1]))
                continue;
            result = visitor(o, context);
        }
    }
    Edr_Page_readUnlockList(doc);
    return result;
}

// Interim: without views a sub-document is shown where its parent is.
int View_focusHitTest(Edr_Doc *, Edr_Node *, int32_t out[4], void *)
{
    for (int i = 0; i < 4; i++)
        out[i] = 0;
    return 0;
}

// ------------------------------------------------ the view keys act on
//
// Interim: there is no display yet, so these services keep the view record
// itself as the whole view: areas, settles and
// post-key updates have nothing to draw, and page moves, fit modes, zoom
// and rotation are remembered in the record's words so that the next key
// starts from them.

void Fv_readZoomPanSettings(FvView *, FvZoomPanSettings *)
{
}

void Fv_showArea(FvView *, FvPage *, FvArea *, int32_t)
{
}

void Fv_cancelPanAnimation(FvView *view)
{
    view->panAnimating = 0;
}

void Fv_applyPageFitDefault(FvView *view, int32_t mode, int32_t)
{
    view->fitMode = mode;
}

namespace {

int32_t pageCount(FvView *view)
{
    uint32_t count = 0;
    if (view->doc)
        Edr_Page_count(view->doc, &count);
    return count > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(count);
}

} // namespace

int Fv_pageStep(FvView *view, FvPage *, int32_t direction, int32_t *index)
{
    int32_t target = view->pageIndex + (direction == 1 ? -1 : direction == 2 ? 1 : 0);
    if (target == view->pageIndex || target < 0 || target >= pageCount(view)) {
        *index = view->pageIndex;
        return Res_notFound;
    }
    view->pageIndex = target;
    *index = target;
    return Res_ok;
}

void Fv_gotoPage(FvView *view, FvPage *, int32_t index)
{
    if (index >= 0 && index < pageCount(view))
        view->pageIndex = index;
}

void Fv_queryMargins(FvView *, int32_t out[4])
{
    for (int i = 0; i < 4; i++)
        out[i] = 0;
}

int Fv_zoomAboutPoint16(FvView *view, FvPage *, int32_t, int32_t newZoom, int32_t, int32_t *,
                        int32_t *)
{
    view->zoom = newZoom;
    return Res_ok;
}

void Fv_scheduleSettle(FvPage *, int32_t)
{
}

void Fv_postKeyUpdate(FvView *)
{
}

void View_showIdentity(FvViewer *, int32_t)
{
}

// Interim: no viewer part listens for timed events yet.
void Fv_timedEventHook(FvViewer *, HostContext *, intptr_t, intptr_t)
{
}

// Interim: the viewer's settings keep no state before the viewer is built.
int View_initSettings(EngineContext *)
{
    return Res_ok;
}

void View_freeSettings(EngineContext *)
{
}

int View_initDisplaySettings(EngineContext *)
{
    return Res_ok;
}

void View_freeDisplaySettings(EngineContext *)
{
}

// ------------------------------------------- display-side stand-ins
//
// Interim: until changed areas are reported through the views, a changed
// page rectangle goes straight to the document's area-changed hook (the
// display manager's), so that laid-out pages reach the screen: the section
// and page name the page, redrawAll asks for the whole page.
int View_invalidateRect(const ViewChangeReport *report, int32_t redrawAll, int32_t)
{
    if (!report || !report->document)
        return Res_nullInput;
    Edr_DisplayHooks hooks = report->document->displayHooks;
    if (!hooks.areaChanged)
        return Res_ok;
    DispmanArea area{report->document, report->section, uint32_t(report->page),
                     Rect{report->rect[0], report->rect[1], report->rect[2], report->rect[3]}, 0};
    return hooks.areaChanged(hooks.argument, DispmanSub_hqAndQuick, redrawAll ? 1 : 0, &area, 1, 1,
                             nullptr);
}

// Interim: there is no current page view to lock before the view records
// exist.
void View_lockCurrent(Edr_Doc *, intptr_t)
{
}

void View_unlockCurrent(Edr_Doc *, intptr_t)
{
}

// Interim: the background painter knows colours only until background
// images are drawn.
int View_paintBackground(EngineContext *, const ViewBackground *background, DrawItem *item,
                         const StageNode *stages, const DrawTarget *target)
{
    if (!background || (background->colour >> 24) == 0)
        return Res_ok;
    item->paintKind = DrawItem_sourceSolid;
    item->paint.solid = {Pixel_formatRGBA, background->colour & 0x00FFFFFFu};
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, background->colour >> 24};
    item->cachedRowOp = nullptr;
    return DrawItem_render(item, stages, nullptr, target);
}

// Interim: the viewer's modes are not built, so the record's five
// operations are empty.
int FvViewer_installModeOps(FvViewer *viewer)
{
    if (!viewer || !viewer->viewCallbacks)
        return 0;
    FvModeOps *ops = static_cast<FvModeOps *>(Mem_calloc(1, sizeof(FvModeOps)));
    if (!ops)
        return 0;
    Mem_free(viewer->viewCallbacks->modeOps);
    viewer->viewCallbacks->modeOps = ops;
    return 1;
}

// Interim playback clock until the viewer's own lands: one slot (slot 0)
// over the engine's timer queue, no pause, no listeners.
#include "core/task/timer.h"
#include "core/task/timerq.h"

struct PlayClock {
    EngineContext *owner;
    int64_t start;
    int32_t running;
    uint32_t frozen;
    ClockCallbackFn callback;
    void *argument;
    uint32_t timer;
};

int Clock_create(EngineContext *app, PlayClock **clock)
{
    *clock = static_cast<PlayClock *>(Mem_calloc(1, sizeof(PlayClock)));
    if (!*clock)
        return Res_noMemory;
    (*clock)->owner = app;
    return Res_ok;
}

void Clock_destroy(PlayClock *clock)
{
    if (clock)
        Clock_stop(clock);
    Mem_free(clock);
}

int Clock_start(PlayClock *clock)
{
    clock->start = AlienTimer_getTimeMs(clock->owner->instance) - clock->frozen;
    clock->running = 1;
    return Res_ok;
}

void Clock_stop(PlayClock *clock)
{
    if (clock->timer && clock->owner->eventProc)
        (void)TimerQ_cancel(clock->owner->eventProc, &clock->timer);
    clock->running = 0;
    clock->frozen = 0;
}

int Clock_elapsedMs(PlayClock *clock, uint32_t *elapsed)
{
    *elapsed = clock->running ? uint32_t(AlienTimer_getTimeMs(clock->owner->instance) - clock->start) : clock->frozen;
    return Res_ok;
}

void Clock_setCallback(PlayClock *clock, int32_t slot, ClockCallbackFn callback, void *argument)
{
    if (slot == 0) {
        clock->callback = callback;
        clock->argument = argument;
    }
}

int Clock_setTimer(PlayClock *clock, int32_t slot, uint32_t offset)
{
    if (slot != 0 || !clock->running || !clock->callback || !clock->owner->eventProc)
        return Res_ok;
    if (clock->timer)
        (void)TimerQ_cancel(clock->owner->eventProc, &clock->timer);
    return TimerQ_addAt(clock->owner, clock->owner->eventProc, clock->start + offset, clock->callback,
                        clock->argument, &clock->timer);
}

// Interim: there is no overlay manager before the overlay is built, so
// presenting always copies and hands over itself.
#include "viewer/screen/overlay.h"

int Overlay_exists(EngineContext *)
{
    return 0;
}

int Overlay_redrawAll(EngineContext *)
{
    return 0;
}

// Interim stand-ins of page navigation and zoom for the screen operations:
// the view area is the bound screen, no fit is known, margins, pans and
// refits do nothing, and there is no flow mode. The code-5 listener keeps
// the view area so that the code-6 one has its state.
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"

void Fv_getViewArea(FvViewer *viewer, int32_t *width, int32_t *height, int32_t *centreX, int32_t *centreY)
{
    Screen *screen = viewer ? ScreenBinding_screen(viewer->screen) : nullptr;
    *width = Screen_width(screen);
    *height = Screen_height(screen);
    *centreX = *width / 2;
    *centreY = *height / 2;
}

int32_t Fv_fitFlags(FvViewer *)
{
    return 0;
}

void Fv_refreshMargins(FvViewer *)
{
}

void Fv_panBy(FvViewer *, int32_t, int32_t, int32_t)
{
}

void Fv_refitAfterResize(FvViewer *, int32_t, int32_t, int32_t, int32_t, int32_t)
{
}

void Fv_saveOrientationState(FvViewer *viewer, void *)
{
    if (viewer->orientationCache)
        return;
    FvOrientationCache *cache = static_cast<FvOrientationCache *>(Mem_calloc(1, sizeof(FvOrientationCache)));
    if (cache)
        Fv_getViewArea(viewer, &cache->width, &cache->height, &cache->centreX, &cache->centreY);
    viewer->orientationCache = cache;
}

int32_t Fv_flowMode(FvViewer *)
{
    return 0;
}

void Fv_postFlowWidth(FvViewer *, uint32_t, int32_t)
{
}

// Interim: before the viewer's flow view the engine is always in page view.
void ViewMode_get(EngineContext *, uint32_t *mode, int32_t *width)
{
    *mode = 0;
    if (width)
        *width = 0;
}

// Interim: until the display manager shows embedded pages of section
// lists, none is kept open.
int32_t Layout_pageQuery(const ClipEntry *)
{
    return 0;
}
