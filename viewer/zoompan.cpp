// Zoom, pan and gestures (see zoompan.h).
#include "viewer/zoompan.h"

#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/appevent.h"
#include "core/task/listeners.h"
#include "core/task/task.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "viewer/screen/ident.h"
#include "viewer/flowmode.h"
#include "viewer/fvdisplay.h"
#include "viewer/navigate.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

namespace {

// The built-in template: the values the keys' defaults give, so that a
// record used before its keys are read zooms as the keys would (zoom-out
// keys 60 and 80 give factors 1.4 and 1.2, by which key handling divides).
constexpr FvZoomPanSettings settingsTemplate = {
    1.4, 1.4, 1.4, 1.4, 1.2, 1.2, 1.2, 1.2, 0.05, 8.0,        -32, 32,      32, -32, -16, 16, 16,
    -16, 0,   0,   0,   1,   3,   1,   1,   0,    0x7fffffff, 0,   0x10001, 1,  1,   0,   1,
};

Screen *screenOf(FvViewer *viewer)
{
    return viewer && viewer->screen ? ScreenBinding_screen(viewer->screen) : nullptr;
}

EngineInstance *instanceOf(FvViewer *viewer)
{
    return viewer && viewer->context ? viewer->context->instance : nullptr;
}

FvViewer *viewerOfPage(FvPage *page)
{
    return page ? page->viewer : nullptr;
}

} // namespace

// ------------------------------------------------------------ settings

FvZoomPanSettings *ZoomPan_createSettings(const FvZoomPanSettings *source)
{
    FvZoomPanSettings *s = static_cast<FvZoomPanSettings *>(Mem_malloc(sizeof(FvZoomPanSettings)));
    if (s)
        *s = source ? *source : settingsTemplate;
    return s;
}

double ZoomPan_outFactor(int32_t key, double zoomInFactor)
{
    return key >= 100 ? zoomInFactor : (200 - key) / 100.0;
}

int Fv_readZoomPanSettings(FvViewer *viewer, FvZoomPanSettings *s)
{
    if (!viewer || !s)
        return 0;
    if (!viewer->settingsChanged)
        return 1;
    EngineContext *context = viewer->context;
    ConfigStore *store = context ? context->config : nullptr;
    if (!store)
        return 0;
    auto key = [&](const char *name, int32_t fallback) {
        return int32_t(Config_getIntA(context, store, nullptr, name, uint32_t(fallback)));
    };
    auto percent = [&](const char *name, int32_t fallback) { return key(name, fallback) / 100.0; };
    s->zoomIn = percent("FV_zoomInAmount", 140);
    s->zoomOut = ZoomPan_outFactor(key("FV_zoomOutAmount", 60), s->zoomIn);
    s->zoomInRepeat = percent("FV_zoomInRepeatAmount", 140);
    s->zoomOutRepeat = ZoomPan_outFactor(key("FV_zoomOutRepeatAmount", 60), s->zoomInRepeat);
    s->powerZoomIn = percent("FV_powerZoomInAmount", 120);
    s->powerZoomOut = ZoomPan_outFactor(key("FV_powerZoomOutAmount", 80), s->powerZoomIn);
    s->powerZoomInRepeat = percent("FV_powerZoomInRepeatAmount", 120);
    s->powerZoomOutRepeat =
        ZoomPan_outFactor(key("FV_powerZoomOutRepeatAmount", 80), s->powerZoomInRepeat);
    s->zoomLimitMin = percent("FV_ZoomLimitMin", 5);
    s->zoomLimitMax = percent("FV_ZoomLimitMax", 800);
    s->panUp = key("FV_panUpAmount", -32);
    s->panDown = key("FV_panDownAmount", 32);
    s->panLeft = key("FV_panLeftAmount", 32);
    s->panRight = key("FV_panRightAmount", -32);
    s->panUpRepeat = key("FV_panUpRepeatAmount", -16);
    s->panDownRepeat = key("FV_panDownRepeatAmount", 16);
    s->panLeftRepeat = key("FV_panLeftRepeatAmount", 16);
    s->panRightRepeat = key("FV_panRightRepeatAmount", -16);
    s->panToPageEnable = key("FV_panToPageEnable", 0);
    s->panToPageLeftRight = key("FV_panToPageLeftRight", 0);
    s->panBorderWidth = key("FV_panBorderWidth", 0);
    s->panIterations = key("FV_panIterations", 1);
    s->zoomIterations = key("FV_zoomIterations", 3);
    s->powerZoomPanIterations = key("FV_powerZoomPanIterations", 1);
    s->powerZoomIterations = key("FV_powerZoomIterations", 1);
    s->panVertMin = key("FV_panVertMin", 0);
    s->panVertMax = key("FV_panVertMax", 0x7fffffff);
    s->alwaysCentreSearchResult = key("FV_alwaysCentreSearchResult", 0);
    s->panLimitsReporting = key("FV_panLimitsReporting", 0x10001);
    s->flowModeKeepZoom = key("Vexlan_flowModeKeepZoom", 1);
    s->fitSmallImages =
        Config_getIntA(context, store, u"Core", "EnableImages", 1) ? key("FitSmallImages", 1) : 0;
    s->panFocusObjsOnscreen = key("FV_panFocusObjsOnscreen", 0);
    s->smartScrolling = key("Vexlan_enableSmartScrolling", s->smartScrolling);
    if (viewer->options.word[FvStart_smartScrollAllowed] == 0)
        s->smartScrolling = 0;
    viewer->settingsChanged = 0;
    return 1;
}

// ------------------------------------------------------------ zoom

int32_t Fv_pageZoom(FvPage *page)
{
    return page && page->viewZoom ? page->viewZoom : 0x10000;
}

void Fv_zoomLimitsOf(const FvZoomPanSettings *s, int32_t viewMin, int32_t viewMax, int pageMode,
                     int fitKnown, int32_t whole, int32_t *lo, int32_t *hi)
{
    const FvZoomPanSettings &limits = s ? *s : settingsTemplate;
    int32_t low = int32_t(limits.zoomLimitMin * 65536.0);
    int32_t high = int32_t(limits.zoomLimitMax * 65536.0);
    if (viewMax > 0 && viewMax < high)
        high = viewMax;
    if (pageMode) {
        low = std::max(low, viewMin);
        if (!fitKnown) {
            low = 0x10000;
        } else if (whole < high) {
            // A page smaller than the area is not shrunk below its own size
            // when small pages are not to be fitted.
            low = limits.fitSmallImages == 0 && whole >= 0x10000 ? 0x10000 : std::max(low, whole);
        } else {
            low = 0x10000;
        }
    }
    *lo = low;
    *hi = high;
}

void Fv_zoomLimits(FvViewer *viewer, FvPage *page, int32_t *lo, int32_t *hi)
{
    FvZoomPanSettings *s = viewer ? viewer->zoomPanSettings : nullptr;
    if (s)
        // Settings that cannot be read keep their values and are read again later.
        (void)Fv_readZoomPanSettings(viewer, s);
    int32_t viewMin = 0, viewMax = 0;
    FvPageView_getZoomLimits(page ? page->pageView : nullptr, &viewMin, &viewMax);
    bool pageMode = Fv_viewMode(viewer) == FvViewMode_page;
    int32_t wFit = 0, hFit = 0, whole = 0;
    bool fitKnown = pageMode && Fv_computeFitZooms(viewer, page, &wFit, &hFit, &whole) == Res_ok;
    Fv_zoomLimitsOf(s, viewMin, viewMax, pageMode, fitKnown, whole, lo, hi);
    if (!pageMode) {
        // Flowed text is not shrunk below the width it flows to: the flow
        // width against the screen's width in the same units.
        Screen *screen = screenOf(viewer);
        uint32_t flowWidth = viewer && viewer->context ? viewer->context->flowWidth : 0;
        int64_t screenUnits = screen && screen->resolution > 0
                                  ? (int64_t(Screen_width(screen)) << 16) / screen->resolution
                                  : 0;
        if (flowWidth && screenUnits > 0) {
            int64_t floor = (int64_t(flowWidth) << 16) / screenUnits;
            if (floor > *lo)
                *lo = int32_t(std::min<int64_t>(floor, *hi));
        }
    }
}

int32_t Fv_clampZoomTo(int32_t lo, int32_t hi, int forceReport, int32_t r, int32_t c,
                       int32_t *state, int32_t *zoom, int *changed)
{
    *changed = 0;
    if (r > lo && ((uint32_t(lo) + 4) & ~7u) == ((uint32_t(r) + 4) & ~7u))
        r = lo;
    int32_t report = -1;
    if (r > lo && r < hi) {
        if (*state != 0)
            report = 0x10002;
        *state = 0;
    } else if (r > lo) {
        if (*state != 1 || forceReport)
            report = 0x10001;
        *state = 1;
    } else {
        if (*state != 2 || forceReport)
            report = 0x10000;
        *state = 2;
    }
    if ((r == c && c >= lo) || (c == lo && r <= c) || (c == hi && r >= c))
        return report;
    *zoom = std::max(lo, std::min(r, hi));
    *changed = 1;
    return report;
}

void Fv_clampZoom(FvViewer *viewer, FvPage *page, int forceReport, int32_t r, int32_t c,
                  int32_t *zoom, int *changed)
{
    int32_t lo = 0, hi = 0;
    Fv_zoomLimits(viewer, page, &lo, &hi);
    int32_t spare = 0;
    int32_t report = Fv_clampZoomTo(lo, hi, forceReport, r, c,
                                    page ? &page->zoomLimitState : &spare, zoom, changed);
    if (report >= 0 && viewer) {
        int32_t word = report;
        App_sendRequest(instanceOf(viewer), Fv_requestZoomLimit, &word);
    }
}

void Fv_setPageZoom(FvPage *page, int32_t zoom, uint32_t code, int32_t x, int32_t y)
{
    if (!page)
        return;
    FvViewer *viewer = page->viewer;
    if (x < 0 || y < 0)
        Fv_getViewArea(viewer, nullptr, nullptr, &x, &y);
    if (page->pageView)
        (void)FvPageView_setZoom(page->pageView, zoom, code, x, y);
    page->viewZoom = zoom;
    if (EngineInstance *instance = instanceOf(viewer))
        if (FvView *view = instance->keyView)
            if (view->page == page)
                view->zoom = zoom;
    if (code != 10)
        Fv_redrawIfEnabled(viewer);
}

void Fv_panPage(FvPage *page, int32_t dx, int32_t dy, int32_t mode)
{
    if (!page)
        return;
    if (page->pageView)
        (void)FvPageView_pan(page->pageView, dx, dy, mode);
    if (dx || dy)
        Fv_redrawIfEnabled(page->viewer);
}

void Fv_redrawIfEnabled(FvViewer *viewer)
{
    if (viewer && viewer->options.word[FvStart_redrawEnabled] && FlowMode_ops(viewer) &&
        Fv_viewMode(viewer) == FvViewMode_reflow)
        Fv_reportView(viewer);
}

// ------------------------------------------------------------ gestures

namespace {

struct CoalesceScan {
    int32_t state;
    int32_t code;
    int32_t *values;
};

int coalesceOne(const AppEvent *entry, void *argument)
{
    CoalesceScan *scan = static_cast<CoalesceScan *>(argument);
    if (scan->state == FvPhase_last || entry->kind != AppEvent_kindApp)
        return 0;
    intptr_t code = entry->block[0];
    if (code != Fv_panGestureEvent && code != Fv_zoomGestureEvent)
        return 0;
    if (code != scan->code) {
        // The other gesture begins: what follows it stays for later.
        scan->state = FvPhase_last;
        return 0;
    }
    bool pan = code == Fv_panGestureEvent;
    intptr_t phase = pan ? entry->block[4] : entry->block[5];
    if (phase == FvPhase_last) {
        if (scan->state == FvPhase_first) {
            scan->state = FvPhase_step;
            return 0;
        }
        return 1;
    }
    if (pan) {
        scan->values[0] = int32_t(scan->values[0] + entry->block[2]);
        scan->values[1] = int32_t(scan->values[1] + entry->block[3]);
    } else {
        scan->values[0] = int32_t(entry->block[2]);
        scan->values[1] = int32_t(entry->block[3]);
        scan->values[2] = int32_t(entry->block[4]);
    }
    return 1;
}

} // namespace

void Fv_coalesceGestures(EngineInstance *instance, int32_t code, int32_t values[3])
{
    if (!instance || !instance->queue || !instance->queue->ring)
        return;
    CoalesceScan scan{FvPhase_first, code, values};
    (void)EventQ_removeIf(instance->queue->ring, &scan, coalesceOne);
}

void Fv_onPanGesture(FvViewer *viewer, int32_t dx, int32_t dy, int32_t phase)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page)
        return;
    page->fitState = 1;
    int32_t values[3] = {dx, dy, 0};
    if (phase != FvPhase_last)
        Fv_coalesceGestures(instanceOf(viewer), Fv_panGestureEvent, values);
    Fv_panStep(viewer, page, values[0], values[1], phase);
    if (phase == FvPhase_last)
        Fv_reportView(viewer);
}

void Fv_onZoomGesture(FvViewer *viewer, int32_t zoom, int32_t x, int32_t y, int32_t phase)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page)
        return;
    page->fitState = 1;
    int32_t values[3] = {x, y, zoom};
    if (phase != FvPhase_last && Fv_viewMode(viewer) != FvViewMode_reflow)
        Fv_coalesceGestures(instanceOf(viewer), Fv_zoomGestureEvent, values);
    Fv_zoomAboutPoint(viewer, page, values[2], values[0], values[1], phase);
    if (phase == FvPhase_last)
        Fv_reportZoom(viewer);
}

int Fv_panEvent(EngineInstance *instance, intptr_t dx, intptr_t dy, intptr_t phase)
{
    Fv_onPanGesture(Fv_fromApp(instance), int32_t(dx), int32_t(dy), int32_t(phase));
    return 0;
}

int Fv_zoomEvent(EngineInstance *instance, intptr_t zoom, intptr_t x, intptr_t y, intptr_t phase)
{
    Fv_onZoomGesture(Fv_fromApp(instance), int32_t(zoom), int32_t(x), int32_t(y), int32_t(phase));
    return 0;
}

void Fv_mapPan(int32_t o, int32_t dx, int32_t dy, int32_t *px, int32_t *py)
{
    switch (o) {
    case 1:
        *px = dy;
        *py = dx;
        break;
    case 2:
        *px = -dx;
        *py = dy;
        break;
    case 3:
        *px = -dy;
        *py = -dx;
        break;
    default:
        *px = dx;
        *py = -dy;
        break;
    }
}

void Fv_panStep(FvViewer *viewer, FvPage *page, int32_t dx, int32_t dy, int32_t phase)
{
    if (!viewer || !page)
        return;
    (void)Fv_scheduleSettle(page, 2);
    if (phase == FvPhase_last) {
        (void)Fv_scheduleSettle(page, 1);
        return;
    }
    if (phase != FvPhase_first && phase != FvPhase_step)
        return;
    FvZoomPanSettings *s = viewer->zoomPanSettings;
    if (s)
        // Settings that cannot be read keep their values and are read again later.
        (void)Fv_readZoomPanSettings(viewer, s);
    if (s && (s->panToPageEnable || s->panToPageLeftRight)) {
        int32_t direction = dy > 0 ? 1 : dy < 0 ? 2 : dx > 0 ? 3 : dx < 0 ? 4 : 0;
        int32_t move = 0;
        int32_t mode = direction ? Fv_panToPageMode(viewer, page, direction, &move) : 0;
        if (mode) {
            // A settle waiting at the head of the queue belongs to the page
            // being left: it runs before the page changes.
            (void)App_runPendingCall(instanceOf(viewer));
            int32_t before = page->currentIndex;
            (void)Fv_gotoAdjacentPage(viewer, page, move, nullptr);
            if (page->currentIndex != before) {
                int32_t sx = 0, sy = 0;
                Fv_alignOffsets(viewer, page, 1, &sx, &sy);
                if (sx && sy)
                    mode++;
                Fv_alignOrDefer(viewer, page, mode, 1);
            }
            return;
        }
    }
    int32_t px = 0, py = 0;
    Fv_mapPan(Fv_orientation(viewer), dx, dy, &px, &py);
    page->panSettle = page->panSettle != FvSettle_done ? FvSettle_movedAgain : FvSettle_moving;
    if (page->pageView)
        (void)FvPageView_panStep(page->pageView, px, py);
    if (px || py)
        Fv_redrawIfEnabled(viewer);
    Fv_notifyViewChanged(viewer, 0);
}

void Fv_zoomAboutPoint(FvViewer *viewer, FvPage *page, int32_t z, int32_t x, int32_t y,
                       int32_t phase)
{
    if (!viewer || !page)
        return;
    (void)Fv_scheduleSettle(page, 1);
    if (phase == FvPhase_first || phase == FvPhase_step) {
        int32_t w = 0, h = 0, cx = 0, cy = 0;
        Fv_getViewArea(viewer, &w, &h, &cx, &cy);
        int32_t px = cx, py = cy;
        if (x >= 0 && y >= 0) {
            switch (Fv_orientation(viewer)) {
            case 1:
                px = y;
                py = h - x;
                break;
            case 2:
                px = w - x;
                py = h - y;
                break;
            case 3:
                px = w - y;
                py = x;
                break;
            default:
                px = x;
                py = y;
                break;
            }
        }
        int32_t request = int32_t((uint32_t(z) + 4) & ~7u);
        int32_t current = Fv_pageZoom(page);
        int32_t fresh = current;
        int changed = 0;
        Fv_clampZoom(viewer, page, 0, request, current, &fresh, &changed);
        if (changed) {
            page->zoomSettle =
                page->zoomSettle != FvSettle_done ? FvSettle_movedAgain : FvSettle_moving;
            if (viewer->zoom == current)
                viewer->zoom = fresh;
            Fv_setPageZoom(page, fresh, 10, px, py);
        }
        Fv_notifyViewChanged(viewer, 0);
    } else if (phase == FvPhase_last) {
        (void)Fv_scheduleSettle(page, 2);
    }
    viewer->pendingFit = 0;
}

void Fv_panBy(FvViewer *viewer, int32_t dx, int32_t dy, int32_t settle)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page || (!dx && !dy))
        return;
    Fv_panPage(page, dx, dy, FvPan_move);
    Fv_notifyViewChanged(viewer, 0);
    if (!settle) {
        Fv_panPage(page, 0, 0, FvPan_end);
        return;
    }
    (void)App_postCall6(instanceOf(viewer), Fv_settlePan, page, nullptr, 1);
    Task_reschedule(viewer->context);
}

int Fv_scheduleSettle(FvPage *page, int32_t which)
{
    FvViewer *viewer = viewerOfPage(page);
    if (!viewer || (which != 1 && which != 2))
        return 2;
    int32_t *state = which == 1 ? &page->panSettle : &page->zoomSettle;
    if (*state != FvSettle_moving && *state != FvSettle_movedAgain)
        return 2;
    *state = FvSettle_done;
    (void)App_postCall6(instanceOf(viewer), which == 1 ? Fv_settlePan : Fv_settleZoom, page,
                        nullptr, which);
    Fv_notifyViewChanged(viewer, 1);
    Task_reschedule(viewer->context);
    return 0;
}

void Fv_settleZoom(EngineInstance *instance, void *argument)
{
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = static_cast<FvPage *>(argument);
    // A page record of another viewer, or one gone meanwhile, is left alone.
    if (!viewer || page != viewer->page)
        return;
    Fv_setPageZoom(page, Fv_pageZoom(page), 10, -1, -1);
}

void Fv_settlePan(EngineInstance *instance, void *argument)
{
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = static_cast<FvPage *>(argument);
    if (!viewer || page != viewer->page)
        return;
    Fv_panPage(page, 0, 0, FvPan_end);
}

void Fv_notifyViewChanged(FvViewer *viewer, int32_t flag)
{
    if (!viewer)
        return;
    if (viewer->context)
        Task_reschedule(viewer->context);
    FvViewChange change{1, flag};
    (void)Listener_dispatch(&viewer->listeners, FvListen_viewChanged, &change);
}

int32_t Fv_orientation(FvViewer *viewer)
{
    Screen *screen = screenOf(viewer);
    return screen ? int32_t((screen->flags >> 10) & 3) : 0;
}

void Fv_orientPoint(FvViewer *viewer, int32_t *x, int32_t *y)
{
    int32_t w = 0, h = 0;
    Fv_getViewArea(viewer, &w, &h, nullptr, nullptr);
    int32_t px = *x, py = *y;
    switch (Fv_orientation(viewer)) {
    case 0: py = h - *y; break;
    case 1:
        px = *y;
        py = *x;
        break;
    case 2: px = w - *x; break;
    default:
        px = w - *y;
        py = h - *x;
        break;
    }
    *x = px;
    *y = py;
}

// ------------------------------------------------------------ pan limits

namespace {

// The codes of the edges right, left, top and bottom by orientation.
constexpr int32_t edgeCodes[4][4] = {
    {0x10004, 0x10008, 0x10002, 0x10001},
    {0x10001, 0x10002, 0x10004, 0x10008},
    {0x10008, 0x10004, 0x10001, 0x10002},
    {0x10002, 0x10001, 0x10008, 0x10004},
};

void panLimitsListener(FvViewer *viewer, void *)
{
    Fv_onPanLimits(viewer, nullptr, 0);
}

} // namespace

int Fv_registerPanLimits(FvViewer *viewer)
{
    if (!viewer)
        return 1;
    for (int32_t code : {FvListen_viewChanged, FvListen_panLimits, FvListen_docRect})
        if (!Listener_add(&viewer->listeners, code, panLimitsListener))
            return 1;
    return 0;
}

int32_t Fv_panLimitSet(int32_t o, const Rect *v, const Rect *c, int bottomRelaxed)
{
    const Rect &V = *v, &C = *c;
    if (!(V.x0 < V.x1 && V.y0 < V.y1))
        return 0x1000f;
    const int32_t *codes = edgeCodes[o & 3];
    int32_t set = 0;
    if (V.x0 >= C.x0 && V.x1 >= C.x1)
        set |= codes[0];
    if (V.x1 <= C.x1 && V.x0 <= C.x0)
        set |= codes[1];
    if (V.y1 <= C.y1 && (V.y0 <= C.y0 || bottomRelaxed))
        set |= codes[3];
    if (V.y0 >= C.y0 && V.y1 >= C.y1)
        set |= codes[2];
    return set;
}

void Fv_onPanLimits(FvViewer *viewer, int32_t *once, int32_t)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page)
        return;
    FvZoomPanSettings *s = viewer->zoomPanSettings;
    if (s)
        // Settings that cannot be read keep their values and are read again later.
        (void)Fv_readZoomPanSettings(viewer, s);
    if (once && *once == 0) {
        Task_reschedule(viewer->context);
        *once = 1;
    }
    Rect c{0, 0, 0, 0}, v{0, 0, 0, 0};
    Fv_contentRect(viewer, page, &c);
    if (!(c.x0 < c.x1 && c.y0 < c.y1)) {
        Fv_refreshMargins(viewer);
        Fv_contentRect(viewer, page, &c);
    }
    Edr_Fwd_getViewRect(page->pageView, &v);
    bool relaxed = viewer->options.word[FvStart_pageMode] != FvViewMode_page;
    int32_t set = Fv_panLimitSet(Fv_orientation(viewer), &v, &c, relaxed);
    int32_t reporting = s ? s->panLimitsReporting : FvPanLimits_changes;
    if (reporting == FvPanLimits_off)
        return;
    if (set != page->lastLimits || (reporting == FvPanLimits_repeat && page->limitsRepeat)) {
        FvPanLimitsReport report{0, set, 0};
        App_sendRequest(instanceOf(viewer), Fv_requestPanLimits, &report);
    }
    page->lastLimits = set;
    page->limitsRepeat = 0;
}

void Fv_refreshMargins(FvViewer *viewer)
{
    Screen *screen = screenOf(viewer);
    if (!viewer || !screen)
        return;
    FvZoomPanSettings *s = viewer->zoomPanSettings;
    int32_t border = s ? s->panBorderWidth : 0;
    Rect rect{border, border, Screen_width(screen) - border, Screen_height(screen) - border};
    (void)Listener_dispatch(&viewer->listeners, FvListen_margins, &rect);
    if (viewer->page && viewer->page->pageView)
        FvPageView_setPanLimits(viewer->page->pageView, &rect);
}

void Fv_refitAfterResize(FvViewer *viewer, int32_t fitFlags, int32_t, int32_t, int32_t x, int32_t y)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page)
        return;
    int32_t pending = viewer->pendingFit;
    if ((fitFlags & 1) && pending != 2 && pending != 4)
        // Whether the zoom or the page moved is not needed here.
        (void)Fv_fitPage(viewer, page, 1, 0);
    else if ((fitFlags & 2) && (!(fitFlags & 4) || pending != 4))
        // Whether the zoom or the page moved is not needed here.
        (void)Fv_fitPage(viewer, page, 2, 1);
    else if (!(fitFlags & 4)) {
        // The point that was the centre of the view area stays its centre.
        int32_t cx = 0, cy = 0;
        Fv_getViewArea(viewer, nullptr, nullptr, &cx, &cy);
        if (cx != x || cy != y) {
            Fv_panBy(viewer, cx - x, cy - y, 0);
            Task_reschedule(viewer->context);
        }
        Fv_applyZoom(viewer, page, 0);
    } else
        // Whether the zoom or the page moved is not needed here.
        (void)Fv_fitPage(viewer, page, 4, 0);
}

void Fv_saveOrientationState(FvViewer *viewer, void *argument)
{
    if (!viewer || viewer->orientationCache)
        return;
    FvOrientationCache *cache =
        static_cast<FvOrientationCache *>(Mem_calloc(1, sizeof(FvOrientationCache)));
    if (!cache)
        return;
    Fv_getViewArea(viewer, &cache->width, &cache->height, &cache->centreX, &cache->centreY);
    const ResizeNotice *notice = static_cast<const ResizeNotice *>(argument);
    // A quarter turn trades width and height.
    if (notice && notice->rotating && ((notice->orientation ^ Fv_orientation(viewer)) & 1))
        std::swap(cache->width, cache->height);
    cache->fitFlags = Fv_fitFlags(viewer);
    viewer->orientationCache = cache;
}

// ------------------------------------------------------------ zoom point

int ZoomPoint_create(FvViewer *viewer)
{
    if (!viewer)
        return 1;
    if (viewer->zoomAbout)
        return 0;
    FvZoomAbout *point = static_cast<FvZoomAbout *>(Mem_malloc(sizeof(FvZoomAbout)));
    if (!point)
        return 1;
    EngineContext *context = viewer->context;
    point->mode = context && context->config
                      ? int32_t(Config_getIntA(context, context->config, nullptr,
                                               "Vexlan_zoomAboutPoint", FvZoomAbout_off))
                      : FvZoomAbout_off;
    point->x = point->y = -1;
    viewer->zoomAbout = point;
    if ((point->mode & 0x10002) == 0x10002)
        (void)Listener_add(&viewer->listeners, FvListen_docRect, ZoomPoint_onRect);
    return 0;
}

void ZoomPoint_set(FvViewer *viewer, int32_t x, int32_t y)
{
    if (FvZoomAbout *point = viewer ? viewer->zoomAbout : nullptr) {
        point->x = x;
        point->y = y;
    }
}

void ZoomPoint_reset(FvViewer *viewer)
{
    ZoomPoint_set(viewer, -1, -1);
}

void ZoomPoint_free(FvViewer *viewer)
{
    if (!viewer)
        return;
    Listener_remove(&viewer->listeners, ZoomPoint_onRect);
    Mem_free(viewer->zoomAbout);
    viewer->zoomAbout = nullptr;
}

void ZoomPoint_onRect(FvViewer *viewer, void *argument)
{
    const FvRectEvent *event = static_cast<const FvRectEvent *>(argument);
    FvPage *page = viewer ? viewer->page : nullptr;
    Screen *screen = screenOf(viewer);
    if (!event || !page || !screen)
        return;
    Point a{event->rect[0], event->rect[1]}, b{event->rect[2], event->rect[3]};
    Point p1 = a, p2 = b;
    if (page->pageView) {
        (void)Edr_Fwd_scalePoint(page->pageView, page->document, &a, &p1);
        (void)Edr_Fwd_scalePoint(page->pageView, page->document, &b, &p2);
    }
    int32_t width = Screen_width(screen), height = Screen_height(screen);
    auto pick = [](int32_t mid, int32_t first, int32_t second, int32_t limit, int32_t *out) {
        if (mid >= 1 && mid <= limit - 1)
            *out = mid;
        else if (first >= 0 && first <= limit)
            *out = first;
        else if (second >= 0 && second <= limit)
            *out = second;
        else
            return false;
        return true;
    };
    int32_t x = 0, y = 0;
    if (!pick(int32_t((int64_t(p1.x) + p2.x) / 2), p1.x, p2.x, width, &x) ||
        !pick(int32_t((int64_t(p1.y) + p2.y) / 2), p1.y, p2.y, height, &y))
        return;
    y = height - y;
    int32_t w = screen->width, h = screen->height;
    int32_t ox = 0, oy = 0;
    Screen_getAreaOrigin(screen, &ox, &oy);
    int32_t sx = x, sy = y;
    switch (Fv_orientation(viewer)) {
    case 1:
        sx = h - y;
        sy = x;
        break;
    case 2:
        sx = w - x;
        sy = h - y;
        break;
    case 3:
        sx = y;
        sy = w - x;
        break;
    default: break;
    }
    ZoomPoint_set(viewer, sx + ox, sy + oy);
}

// ------------------------------------------------ what keys leave behind

// A pan animation is a flag of the view that the next pan step reads; the
// steps themselves are the display manager's queued pans, so stopping one
// is clearing the flag.
void Fv_cancelPanAnimation(FvView *view)
{
    view->panAnimating = 0;
}

// Each key's action already queued what it changed (a pan, a zoom, a page
// switch or a focus move, each with its own redraw), so a key release has
// nothing left to update.
void Fv_postKeyUpdate(FvView *) {}

// The identity screen runs on its own task through the viewer's identity
// operations (platform/api/ident.h); the pictures are the identity
// record's. A screen that already shows is left to run.
void View_showIdentity(FvViewer *viewer, int32_t ms)
{
    ViewCallbacks *cb = viewer ? viewer->viewCallbacks : nullptr;
    const IdentOps *ops = cb ? cb->identOps : nullptr;
    if (!ops || !ops->show)
        return;
    if (cb->identTask && ops->running && ops->running(&cb->identTask))
        return;
    (void)ops->show(viewer->context, nullptr, nullptr, &cb->identTask, viewer->screen, ms, nullptr);
}

// Timed event 21 is for the viewer's own timers; the viewer parts that
// keep timers (animations, the click timer, the thumbnail pass) run them
// on the timer queue instead, so nothing listens here.
void Fv_timedEventHook(FvViewer *, HostContext *, intptr_t, intptr_t) {}
