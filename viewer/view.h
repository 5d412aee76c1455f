// The view that keys act on, and the viewer services that key handling
// calls.
//
// The viewer keeps one FvView per viewer record: the document and page
// record it shows, its size, zoom and screen orientation, its zoom and pan
// settings and the words through which key handling and the viewer talk
// (interaction, key used, pan state, in repeat). The viewer fills it,
// keeps it current and hangs it in EngineInstance::keyView while it runs;
// key handling (platform/api/keys.h) reads and writes it on the
// application thread only.
//
// The viewer services below are the viewer's; until the viewer is built,
// viewer/interim.cpp gives each the least that key handling needs of it.
#pragma once

#include <cstdint>

struct EngineInstance;
struct Edr_Doc;
struct FvViewer;
struct FvView;

// A page record of the viewer (its layout of one page view); opaque here.
struct FvPage;

// An area of a page to bring into view, in page units {x0, y0, x1, y1}.
struct FvArea {
    int32_t rect[4];
};

// The zoom and pan settings the viewer reads from its configuration.
// Factors multiply (zoom in) or divide (zoom out) the 16.16 zoom; pan
// distances are in screen pixels, negative upwards and leftwards.
struct FvZoomPanSettings {
    double zoomIn;              // per press
    double zoomOut;
    double zoomInRepeat;        // per repeat of a held key
    double zoomOutRepeat;
    double powerZoomIn;         // the same in power-zoom (continuous) display mode
    double powerZoomOut;
    double powerZoomInRepeat;
    double powerZoomOutRepeat;
    int32_t panUp;              // per press
    int32_t panDown;
    int32_t panRight;
    int32_t panLeft;
    int32_t panUpRepeat;        // per repeat
    int32_t panDownRepeat;
    int32_t panRightRepeat;
    int32_t panLeftRepeat;
    int32_t panSteps;           // pan messages that one pan is cut into
    int32_t powerPanSteps;      // the same in power-zoom display mode
    int32_t panMin;             // smallest and largest power-zoom pan component
    int32_t panMax;
    int32_t focusNavigation;    // move the focus with the direction keys
    int32_t focusNavigationAlt; // the second focus-navigation switch
};

// A key hook: asked before the viewer acts on a key (isRelease 0, with the
// repeat count) or on its release (isRelease 1); 1 consumes the key.
typedef int (*KeyHookFn)(FvView *view, int32_t key, int32_t repeatCount, int isRelease);
struct KeyHook {
    KeyHook *next;
    KeyHookFn hook;
};

// The viewer's modal hook for repeats: 1 when it takes the key itself.
typedef int (*FvModalKeyFn)(FvView *view, int32_t key);

enum : int32_t {
    Fv_displayPowerZoom = 0x10002,  // continuous (power-zoom) display mode
    Fv_orientationShift = 10,       // screen flags: orientation 0-3 in bits 10-11
    Fv_orientationMask = 3 << 10,
};

struct FvView {
    FvViewer *viewer;               // the viewer record (opaque here)
    EngineInstance *instance;       // the engine that posts the view's messages
    Edr_Doc *doc;                   // the document shown (null: none)
    FvPage *page;                   // the current page record (null: none)
    FvZoomPanSettings *settings;    // null: none read yet
    KeyHook *hooks;                 // asked in list order
    FvModalKeyFn modalHook;         // null: none
    int32_t modal;                  // non-zero: a modal state; keys are not handled
    int32_t interaction;            // 1: handled keys set keyUsed
    int32_t keyUsed;
    int32_t panState;               // 1 while key pans run; 2 is turned into 0 by a key pan
    int32_t inRepeat;               // 1 while a repeat is dispatched
    int32_t width;                  // view size in pixels
    int32_t height;
    int32_t zoom;                   // 16.16
    uint32_t screenFlags;           // orientation in bits 10-11
    int32_t displayMode;            // Fv_displayPowerZoom or another mode
    int32_t zoomCentre[2];          // the point keys zoom about; (-1, -1) when unset
    int32_t keySequence;            // position in the hidden key sequence
    int32_t pageIndex;              // index of the page shown
    int32_t fitMode;                // the page fit mode applied last (0: none)
    int32_t panAnimating;           // a pan animation runs
};

// ----------------------------------------------------- viewer services

// Refreshes the zoom and pan settings from the configuration.
void Fv_readZoomPanSettings(FvView *view, FvZoomPanSettings *settings);
// Finds the next focusable object (link, form field) from the current
// focus in direction 1 up, 2 down, 3 right, 4 left. Either output may stay
// null: an object to focus, or an area to bring into view (lent until the
// next call). 0 or an error.
int Fv_findFocusInDirection(FvView *view, FvPage *page, int32_t direction, void **object,
                            FvArea **area);
// Moves the focus to object (from Fv_findFocusInDirection); *area may be
// set to an area to show. 0 when moved.
int Fv_moveFocus(FvView *view, FvPage *page, void *object, FvArea **area);
// Brings an area into view: with the focus drawn on it, or animated.
void Fv_showFocusArea(FvView *view, FvPage *page, FvArea *area, int32_t flag);
void Fv_showArea(FvView *view, FvPage *page, FvArea *area, int32_t animate);
// Stops a running pan animation.
void Fv_cancelPanAnimation(FvView *view);
// Applies page fit mode 1, 2 or 4.
void Fv_applyPageFitDefault(FvView *view, int32_t mode, int32_t flags);
// Moves to the neighbouring page position: direction 1 previous, 2 next.
// The new page index goes to *index. 0 when moved.
int Fv_pageStep(FvView *view, FvPage *page, int32_t direction, int32_t *index);
// Moves to page index; an index outside 0..count-1 does nothing.
void Fv_gotoPage(FvView *view, FvPage *page, int32_t index);
// The view's margins {left, top, right, bottom} in pixels.
void Fv_queryMargins(FvView *view, int32_t out[4]);
// Zooms the page view from oldZoom to newZoom (16.16) about the point
// (*x, *y), which comes back as the point's new place. 0 or an error.
int Fv_zoomAboutPoint16(FvView *view, FvPage *page, int32_t flags, int32_t newZoom,
                        int32_t oldZoom, int32_t *x, int32_t *y);
// Posts one settle callback for the page: mode 1 after a pan, 2 after a
// zoom.
void Fv_scheduleSettle(FvPage *page, int32_t mode);
// The viewer's update after a key release.
void Fv_postKeyUpdate(FvView *view);
// Shows the identity screen for ms milliseconds (0: until it is stopped).
void View_showIdentity(FvViewer *viewer, int32_t ms);
