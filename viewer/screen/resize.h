// The viewer's screen operations: resizing and turning the screen, full
// screen, the host's resize event and the turn of the device.
//
// The viewer binds one screen at a time (FvViewer::screen, viewer.h).
// Turning binds another screen of the same set; full screen and resizes
// change the set's areas; neither ever changes the pixel memory. Every
// operation runs on "SimpleAppThread". Updates are blocked while one runs,
// and the host hears the outcome as request 0x10003.
#pragma once

#include <cstdint>

struct FvViewer;

enum : int32_t {
    Fv_requestScreenResized =
        0x10003, // record: six words {x, y, width, height, orientation, success}
    // Viewer listener codes of a resize.
    FvListen_margins = 0,
    FvListen_resizeStart = 5,
    FvListen_resizeDone = 6,
    FvListen_shown = 7, // a document was first displayed (argument: its page record)
};

// What the listeners of codes 5 and 6 receive.
struct ResizeNotice {
    int32_t screenIndex; // the new screen's list position (0 when not turning)
    int32_t rotating;
    int32_t sizeGiven;
    int32_t orientation; // the new view orientation
};

// The view state saved by the code-5 listener for the code-6 one.
struct FvOrientationCache {
    int32_t width, height;    // the view area (swapped when the turn changes its parity)
    int32_t centreX, centreY; // its centre
    int32_t fitFlags;         // bit 0 fitted page, bit 1 fitted width, bit 2 fitted height
};

// Resizes the area to width x height at (x, y) (both sizes non-zero; else
// only turns) and turns to orientation 0-3. 0; 1 when no allowed screen
// has the orientation or an area cannot change (the areas are restored);
// the display view's error. The host is told either way.
[[nodiscard]] int Fv_resizeScreen(FvViewer *viewer, int32_t width, int32_t height, int32_t x,
                                  int32_t y, int32_t orientation);
// Turns to the orientation the host code names (0x10003-0x10006; others
// mean 0); nothing when the screen has it already.
[[nodiscard]] int Fv_setOrientation(FvViewer *viewer, int32_t hostCode);
// Turns to the next orientation, current + 1, + 2, + 3, that
// "Vexlan_rotatedScreens" allows. 0 when none is.
[[nodiscard]] int Fv_rotateNext(FvViewer *viewer);
// The host's resize event: orientation from the host code (0: the current
// one).
[[nodiscard]] int Fv_resizeFromHost(FvViewer *viewer, int32_t width, int32_t height, int32_t x,
                                    int32_t y, int32_t hostCode);
// Full screen when the screen shows the display area; the display area
// again when it shows the whole display.
[[nodiscard]] int Fv_toggleFullScreen(FvViewer *viewer);
// The viewer's action for the screen-mode key: full screen on and off.
void Fv_screenModeAction(FvViewer *viewer);
// Registers the listeners for codes 5 (Fv_saveOrientationState) and 6
// (Fv_afterResize). 0 or 1.
[[nodiscard]] int Fv_registerResizeListeners(FvViewer *viewer);
// The code-6 listener: margins, refit or recentring after a resize, then
// the saved view state is freed. Nothing without saved state.
void Fv_afterResize(FvViewer *viewer, void *notice);
// The device turned: every screen turns by the quarter turns of the host
// code (0x10004 one, 0x10005 two, 0x10006 three, others none), the list is
// ordered by the new view orientations and the screen of the old buffer
// orientation is bound.
void Screens_applyDeviceTurn(FvViewer *viewer, int32_t hostCode);

// ------------------------------------------- services of the page views
//
// These belong to page navigation and zoom (viewer/navigate.cpp,
// viewer/zoompan.cpp, viewer/flowmode.cpp).

// The view area: its width and height and its centre, in screen pixels.
void Fv_getViewArea(FvViewer *viewer, int32_t *width, int32_t *height, int32_t *centreX,
                    int32_t *centreY);
// The fit state of the page (bits as FvOrientationCache::fitFlags).
int32_t Fv_fitFlags(FvViewer *viewer);
// Tells listeners of code 0 the pan-border rectangle and makes it the pan
// limits.
void Fv_refreshMargins(FvViewer *viewer);
// Pans the page view by (dx, dy); settle 0 posts no settle.
void Fv_panBy(FvViewer *viewer, int32_t dx, int32_t dy, int32_t settle);
// Re-applies fit flags with the saved view size and centre (x, y).
void Fv_refitAfterResize(FvViewer *viewer, int32_t fitFlags, int32_t width, int32_t height,
                         int32_t x, int32_t y);
// The code-5 listener: saves the view state in FvViewer::orientationCache.
void Fv_saveOrientationState(FvViewer *viewer, void *notice);
// The view mode of the view-mode module: 0 when there is none or it shows
// pages, else the flow mode (0x10001, 0x10002).
int32_t Fv_flowMode(FvViewer *viewer);
// Posts the flow width (16.16) with mode 1 or 3, and updates the shown
// page's flow flag.
void Fv_postFlowWidth(FvViewer *viewer, uint32_t width, int32_t mode);
