// The view that keys act on, and the viewer services that key handling
// calls.
//
// The viewer keeps one FvView per viewer record: the document and page
// record it shows, its size, zoom and screen orientation, its zoom and pan
// settings and the words through which key handling and the viewer talk
// (interaction, key used, pan state, in repeat). The viewer fills it,
// keeps it current and hangs it in EngineInstance::keyView while it runs;
// key handling (viewer/api/keys.h) reads and writes it on the
// application thread only.
//
// The viewer services below are the viewer's. Page moves, fits, margins, zoom, settles and the
// settings are the viewer's own (viewer/navigate.h, viewer/zoompan.h), called with FvView::viewer;
// a view without a viewer record keeps its page index, fit mode and zoom in its own words.
#pragma once

#include <cstdint>

#include "document/edr/pageview.h"

struct EngineInstance;
struct Edr_Doc;
struct FvViewer;
struct FvView;

// A page record of the viewer (its layout of one page view); opaque here.
struct FvPage;

// An area of a page to bring into view (FvArea): document/edr/pageview.h.

// The zoom and pan settings the viewer reads from its configuration
// (viewer/zoompan.h reads them; the key and its default beside each).
// Factors multiply (zoom in) or divide (zoom out) the 16.16 zoom; the
// percent keys hold the factor times 100. Pan distances are in screen
// pixels, negative upwards and leftwards.
struct FvZoomPanSettings {
    double zoomIn;            // "FV_zoomInAmount" 140
    double zoomOut;           // "FV_zoomOutAmount" 60: (200 - key) / 100; 100 or more: zoomIn
    double zoomInRepeat;      // "FV_zoomInRepeatAmount" 140, while a key repeats
    double zoomOutRepeat;     // "FV_zoomOutRepeatAmount" 60, falling back to zoomInRepeat
    double powerZoomIn;       // "FV_powerZoomInAmount" 120, in power-zoom display mode
    double powerZoomOut;      // "FV_powerZoomOutAmount" 80, falling back to powerZoomIn
    double powerZoomInRepeat; // "FV_powerZoomInRepeatAmount" 120
    double
        powerZoomOutRepeat;  // "FV_powerZoomOutRepeatAmount" 80, falling back to powerZoomInRepeat
    double zoomLimitMin;     // "FV_ZoomLimitMin" 5: the smallest zoom, 0.05
    double zoomLimitMax;     // "FV_ZoomLimitMax" 800: the largest, 8.0
    int32_t panUp;           // "FV_panUpAmount" -32, per press
    int32_t panDown;         // "FV_panDownAmount" 32
    int32_t panLeft;         // "FV_panLeftAmount" 32
    int32_t panRight;        // "FV_panRightAmount" -32
    int32_t panUpRepeat;     // "FV_panUpRepeatAmount" -16, per repeat
    int32_t panDownRepeat;   // "FV_panDownRepeatAmount" 16
    int32_t panLeftRepeat;   // "FV_panLeftRepeatAmount" 16
    int32_t panRightRepeat;  // "FV_panRightRepeatAmount" -16
    int32_t panToPageEnable; // "FV_panToPageEnable" 0: vertical pans past the edge change page
    int32_t panToPageLeftRight;       // "FV_panToPageLeftRight" 0: horizontal ones do
    int32_t panBorderWidth;           // "FV_panBorderWidth" 0: edge tolerance in pixels
    int32_t panIterations;            // "FV_panIterations" 1: pan messages one key pan is cut into
    int32_t zoomIterations;           // "FV_zoomIterations" 3
    int32_t powerZoomPanIterations;   // "FV_powerZoomPanIterations" 1: the same in power-zoom mode
    int32_t powerZoomIterations;      // "FV_powerZoomIterations" 1
    int32_t panVertMin;               // "FV_panVertMin" 0: smallest power-zoom pan component
    int32_t panVertMax;               // "FV_panVertMax" 0x7fffffff: largest
    int32_t alwaysCentreSearchResult; // "FV_alwaysCentreSearchResult" 0
    int32_t panLimitsReporting;   // "FV_panLimitsReporting" 0x10001: 0x10000 off, 0x10002 repeats
    int32_t flowModeKeepZoom;     // "Vexlan_flowModeKeepZoom" 1
    int32_t fitSmallImages;       // "FitSmallImages" 1 (0 when "Core"/"EnableImages" is 0)
    int32_t panFocusObjsOnscreen; // "FV_panFocusObjsOnscreen" 0: the direction keys move the focus
    int32_t smartScrolling;       // "Vexlan_enableSmartScrolling": the second focus switch
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
    Fv_displayPowerZoom = 0x10002, // continuous (power-zoom) display mode
    Fv_orientationShift = 10,      // screen flags: orientation 0-3 in bits 10-11
    Fv_orientationMask = 3 << 10,
};

struct FvView {
    FvViewer *viewer;            // the viewer record (opaque here)
    EngineInstance *instance;    // the engine that posts the view's messages
    Edr_Doc *doc;                // the document shown (null: none)
    FvPage *page;                // the current page record (null: none)
    FvZoomPanSettings *settings; // null: none read yet
    KeyHook *hooks;              // asked in list order
    FvModalKeyFn modalHook;      // null: none
    int32_t modal;               // non-zero: a modal state; keys are not handled
    int32_t interaction;         // 1: handled keys set keyUsed
    int32_t keyUsed;
    int32_t panState; // 1 while key pans run; 2 is turned into 0 by a key pan
    int32_t inRepeat; // 1 while a repeat is dispatched
    int32_t width;    // view size in pixels
    int32_t height;
    int32_t zoom;          // 16.16
    uint32_t screenFlags;  // orientation in bits 10-11
    int32_t displayMode;   // Fv_displayPowerZoom or another mode
    int32_t zoomCentre[2]; // the point keys zoom about; (-1, -1) when unset
    int32_t keySequence;   // position in the hidden key sequence
    int32_t pageIndex;     // index of the page shown
    int32_t fitMode;       // the page fit mode applied last (0: none)
    int32_t panAnimating;  // a pan animation runs
};

// ----------------------------------------------------- viewer services

// Finds the next focusable object (link, form field) from the current
// focus in direction 1 up, 2 down, 3 right, 4 left. Either output may stay
// null: an object to focus, or an area to bring into view (lent until the
// next call). 0 or an error.
[[nodiscard]] int Fv_findFocusInDirection(FvView *view, FvPage *page, int32_t direction,
                                          void **object, FvArea **area);
// Moves the focus to object (from Fv_findFocusInDirection); *area may be
// set to an area to show. 0 when moved.
[[nodiscard]] int Fv_moveFocus(FvView *view, FvPage *page, void *object, FvArea **area);
// Brings an area into view: with the focus drawn on it, or animated.
void Fv_showFocusArea(FvView *view, FvPage *page, FvArea *area, int32_t flag);
void Fv_showArea(FvView *view, FvPage *page, FvArea *area, int32_t animate);
// Stops a running pan animation.
void Fv_cancelPanAnimation(FvView *view);
// The viewer's update after a key release.
void Fv_postKeyUpdate(FvView *view);
// Shows the identity screen for ms milliseconds (0: until it is stopped).
void View_showIdentity(FvViewer *viewer, int32_t ms);
