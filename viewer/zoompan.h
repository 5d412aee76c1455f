// Zoom, pan and gestures: the viewer turns the host's pan and zoom
// gestures into moves of the page view.
//
// Queued gesture events are merged before a step runs; screen directions
// go through the screen's orientation (bits 10-11 of its flags); zooms are
// clamped to the configured limits and the whole-page fit and snapped to
// multiples of 8; the last event of a gesture (phase 0x10005) settles it
// with a deferred call; the host hears when the view reaches a page edge or
// a zoom limit. Everything runs on the application thread.
#pragma once

#include <cstdint>

struct EngineInstance;
struct FvViewer;
struct FvPage;
struct FvZoomPanSettings;
struct Rect;

enum : int32_t {
    // Gesture phases.
    FvPhase_first = 0x10003,
    FvPhase_step = 0x10004,
    FvPhase_last = 0x10005,

    // Settle states of a page record.
    FvSettle_moving = 0,
    FvSettle_movedAgain = 1,
    FvSettle_done = 2,

    // Host requests.
    Fv_requestZoomLimit = 0x1000b, // one word: 0x10000 smallest, 0x10001 largest, 0x10002 between
    Fv_requestPanLimits = 0x10014, // FvPanLimitsReport

    // Pan-limit reporting ("FV_panLimitsReporting").
    FvPanLimits_off = 0x10000,
    FvPanLimits_changes = 0x10001,
    FvPanLimits_repeat = 0x10002,

    // Application events of the gestures.
    Fv_panGestureEvent = 15,
    Fv_zoomGestureEvent = 18,
};

struct FvPanLimitsReport {
    int32_t zero;
    int32_t set;
    int32_t zero2;
};

// ------------------------------------------------------------ settings

// A new settings record: a copy of source, or of the built-in template for
// null. Null without memory.
FvZoomPanSettings *ZoomPan_createSettings(const FvZoomPanSettings *source);
// Reads every key into settings when the viewer's settingsChanged is set
// (and clears it when every read succeeded). 1 when all were read or
// nothing was due, else 0 (also without a viewer).
int Fv_readZoomPanSettings(FvViewer *viewer, FvZoomPanSettings *settings);
// The factor of a zoom-out key: (200 - key) / 100, or the zoom-in factor
// for a key of 100 or more.
double ZoomPan_outFactor(int32_t key, double zoomInFactor);

// ------------------------------------------------------------ zoom

// The zoom limits for the page, and the clamp of requested against
// current: *zoom (new) and *changed. The limit report (0x1000b) goes to
// the host when the state changes (or with forceReport).
// The limits from the settings (null: the template), the display view's
// own limits (0: none), the view mode and the whole-page fit (fitKnown 0:
// none could be computed).
void Fv_zoomLimitsOf(const FvZoomPanSettings *settings, int32_t viewMin, int32_t viewMax,
                     int pageMode, int fitKnown, int32_t wholeFit, int32_t *lo, int32_t *hi);
void Fv_zoomLimits(FvViewer *viewer, FvPage *page, int32_t *lo, int32_t *hi);
// The clamp of requested r against current c within lo..hi, snapped; the
// limit state (0 between, 1 largest, 2 smallest) in *state. The report
// word due for the host, or -1 for none.
int32_t Fv_clampZoomTo(int32_t lo, int32_t hi, int forceReport, int32_t r, int32_t c,
                       int32_t *state, int32_t *zoom, int *changed);
void Fv_clampZoom(FvViewer *viewer, FvPage *page, int forceReport, int32_t requested,
                  int32_t current, int32_t *zoom, int *changed);
// The zoom the page view was last given (0x10000 before any).
int32_t Fv_pageZoom(FvPage *page);
void Fv_setPageZoom(FvPage *page, int32_t zoom, uint32_t code, int32_t x, int32_t y);
void Fv_panPage(FvPage *page, int32_t dx, int32_t dy, int32_t mode);
void Fv_redrawIfEnabled(FvViewer *viewer);

// ------------------------------------------------------------ gestures

void Fv_onPanGesture(FvViewer *viewer, int32_t dx, int32_t dy, int32_t phase);
void Fv_onZoomGesture(FvViewer *viewer, int32_t zoom, int32_t x, int32_t y, int32_t phase);
// The application's slots of event 15 (dx, dy, phase) and 18 (x, y,
// zoom, phase).
int Fv_panEvent(EngineInstance *instance, intptr_t dx, intptr_t dy, intptr_t phase);
int Fv_zoomEvent(EngineInstance *instance, intptr_t zoom, intptr_t x, intptr_t y, intptr_t phase);
// Merges the queued gesture events of kind code (15 or 18) into the
// values: a pan adds {dx, dy}, a zoom replaces {x, y, zoom}.
void Fv_coalesceGestures(EngineInstance *instance, int32_t code, int32_t values[3]);
// The page pan of a screen pan (dx, dy) at orientation o.
void Fv_mapPan(int32_t orientation, int32_t dx, int32_t dy, int32_t *px, int32_t *py);
void Fv_panStep(FvViewer *viewer, FvPage *page, int32_t dx, int32_t dy, int32_t phase);
void Fv_zoomAboutPoint(FvViewer *viewer, FvPage *page, int32_t zoom, int32_t x, int32_t y,
                       int32_t phase);
// Fv_panBy is declared with the screen operations.
// Posts the settle of the page's gesture: which 1 after a pan, 2 after a
// zoom, as a deferred call tagged with which. 0 when posted; 2 when nothing
// was due (the gesture had settled already, or another value of which).
int Fv_scheduleSettle(FvPage *page, int32_t which);
void Fv_settleZoom(EngineInstance *instance, void *page);
void Fv_settlePan(EngineInstance *instance, void *page);
void Fv_notifyViewChanged(FvViewer *viewer, int32_t flag);
// The orientation code of the bound screen (0-3).
int32_t Fv_orientation(FvViewer *viewer);
void Fv_orientPoint(FvViewer *viewer, int32_t *x, int32_t *y);

// ------------------------------------------------------------ pan limits

int Fv_registerPanLimits(FvViewer *viewer);
// The pan-limit set of V and C at orientation o (0x1000f for an empty V).
int32_t Fv_panLimitSet(int32_t orientation, const Rect *v, const Rect *c, int bottomRelaxed);
void Fv_onPanLimits(FvViewer *viewer, int32_t *once, int32_t code);

// ------------------------------------------------------------ zoom point

int ZoomPoint_create(FvViewer *viewer);
void ZoomPoint_set(FvViewer *viewer, int32_t x, int32_t y);
void ZoomPoint_reset(FvViewer *viewer);
void ZoomPoint_free(FvViewer *viewer);
// The record of listener code 9: a document rectangle.
struct FvRectEvent {
    int32_t rect[4];
};
void ZoomPoint_onRect(FvViewer *viewer, void *event);
