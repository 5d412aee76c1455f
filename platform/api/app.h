// The application record: the document viewer's record that the engine's
// entry points (app/app.h) build and that the viewer and the parts below it
// read, with its start options and the lists pushed on it.
//
// Ownership: the viewer record belongs to the instance (EngineInstance::
// viewer) from App_createContext to App_destroy; the start-document URL
// belongs to the viewer until it is opened; values and cleanup callbacks
// pushed on the viewer's lists are run or freed at close.
#pragma once

#include <cstdint>

#include "core/task/listeners.h"

struct EngineInstance;
struct EngineContext;
struct AppEvent;
struct Url;
struct FvScreen;
struct FvDisplay;
struct FvPage;
struct FvZoomAbout;
struct ViewCallbacks;
struct Sem;

// The start options: seventeen words copied into the viewer record, each
// with its default from App_initStartOptions. The framework's names for
// some words stand beside the viewer's.
enum : int {
    FvStart_showSplash = 0,         // 1: the start image shows; 0: the background colour is painted
    FvStart_pageMode = 1,           // 0x10000 page view, 0x10001 flow, 0x10002 flow variant
    FvStart_redrawEnabled = 2,      // 0
    FvStart_modeArgument = 3,       // 0x10001: the view-mode module's start argument
    FvStart_smartScrollAllowed = 4, // 0
    FvStart_reservedOption = 5,     // 0, not read
    FvStart_translateFileSize = 6, // -1: largest document translation accepts ("translateFileSize")
    FvStart_zoomPanSettings = 7,   // the settings record handed to the viewer
    FvStart_maxHqInterrupts = 8,   // 8 ("Dispman_MaxHqInterrupts")
    FvStart_splashUrl = 9,         // start image URL text, portrait
    FvStart_splashUrlLandscape = 10, // start image URL text, landscape
    FvStart_configHook = 11, // called with the engine context during configuration (0: none)
    FvStart_noLowMemoryAnimations = 12, // 1: "LowMemoryAnimations" is 0
    FvStart_thumbnailsMax = 13,         // 0: default of "Vexlan_thumbnailsMax"
    FvStart_cacheMaxSize = 14,          // 0: default of "Vexlan_CacheMaxSize"
    FvStart_reserveBufferCount = 15,    // 2 reserve buffers of 102400 bytes
    FvStart_interactiveMode =
        16, // 1; 0: updates blocked from start-up, thumbnails sent to the host
    FvStart_words = 17,

    FvStart_showIdentity = FvStart_showSplash,
    FvStart_secondStage = FvStart_translateFileSize,
    FvStart_settingsBlock =
        FvStart_zoomPanSettings, // the viewer's copy of the default settings block (owned)
    FvStart_identPortrait = FvStart_splashUrl,
    FvStart_identLandscape = FvStart_splashUrlLandscape,
    FvStart_identDraw = FvStart_configHook,
};

struct FvStartOptions {
    intptr_t word[FvStart_words];
};

// Size of the default settings block that word 7 copies.
enum : uint32_t { App_settingsBlockBytes = 172 };

// A value pushed by Engine_pushListValue.
struct FvValueNode {
    FvValueNode *next;
    intptr_t value;
};

// A cleanup callback pushed by App_pushCleanup: run with the instance at
// close.
typedef void (*AppCleanupFn)(EngineInstance *instance);
struct FvCleanupNode {
    FvCleanupNode *next;
    AppCleanupFn function;
};

// The host's configuration hook, called by the second stage of the module
// start-up with the context; a non-zero result aborts the start-up.
typedef int (*EngineHostHookFn)(EngineContext *context);

// The engine's module start-up and teardown (app/modules.h), which the
// viewer's configuration and teardown run: installed in the viewer record
// by the application (App_createContext). Without the table the viewer
// configures nothing (259) and takes no module down.
struct FvModuleOps {
    int (*initModules)(EngineContext *context, void *options);
    int (*initServices)(EngineContext *context, const char *fontUrl, const char *settingsDir,
                        EngineHostHookFn hostHook);
    void (*finiModules)(EngineContext *context, int keep);
};

// The application record (zero-filled at creation). The viewer owns most
// of it; these are the fields the framework sets or reads.
struct FvViewer {
    EngineContext *context;
    FvScreen *screen;                      // the screen binding (viewer)
    FvPage *page;                          // the current page record (viewer)
    Url *startUrl;                         // the start document, owned until it is opened
    ViewCallbacks *viewCallbacks;          // the view-callback record (viewer)
    void (*releaseView)(FvViewer *viewer); // releases the view's display (null: none)
    ListenerList listeners;                // the viewer's listener list
    int32_t started;                       // set once the view has started
    FvStartOptions options;
    FvValueNode *values;     // pushed by Engine_pushListValue, newest first
    FvCleanupNode *cleanups; // pushed by App_pushCleanup, newest first
    int32_t keyBusy;         // key handling busy flag

    // Words of the viewer's other parts.
    int32_t settingsChanged; // the zoom and pan settings must be read again: set at start
                             // and when a settings file was loaded by request
    FvZoomAbout *zoomAbout;  // zoom-about-point state (null: none)
    intptr_t panAction;      // the action of the pan gesture being pre-stepped
    FvDisplay *display;      // the display view on the bound screen (null: none)
    struct FvOrientationCache *orientationCache; // the view state saved while the screen resizes
    int32_t resizing;                            // a resize or turn of the screen is in progress
    uint32_t flowWidth;                          // the flow width last posted (16.16)
    Sem *queryGate;            // admits one synchronous host query at a time (null: none)
    void **reserveBuffers;     // the reserve buffers held while no document is shown (null: none)
    struct FvPageSet *pageSet; // the documents shown or loading, by key (null: none)
    struct FvEventQueue
        *eventQueue;              // document events waiting for the application thread (null: none)
    struct Edr_Doc **loadingDocs; // the documents being closed, each waited on for its end
    uint32_t loadingCount, loadingCapacity;
    int32_t loadPending; // a load waits for the closing documents
    int32_t configured;  // bit 0: Engine_configure has run to its end

    // Navigation, zoom and flow view (viewer/navigate.h, viewer/zoompan.h,
    // viewer/flowmode.h).
    int32_t zoom;          // the current zoom, 16.16; 0x10000 at start
    int32_t pendingFit;    // the fit mode applied again after a page change (0: none)
    int32_t lastAlignment; // the horizontal alignment hint
    struct FvZoomPanSettings *zoomPanSettings; // the settings record (owned; null: none)
    int32_t fitBusy;                           // a page-fit default is being applied
    struct CursorState *cursor; // the on-screen cursor (viewer/screen/cursor.h; null: none)

    // Search (platform/api/search.h, viewer/api/search.cpp).
    struct SearchWalkState *searchState; // the page-by-page walk (owned; null until needed)
    struct EditModeRecord
        *editMode; // the edit-mode record (platform/api/editing.h; null: no editing)
    struct SheetEditState *sheetEdit; // spreadsheet editing (viewer/sheetview.h; null: none)

    const FvModuleOps *modules; // the module start-up and teardown (null: none)
};

// ----------------------------------------------------------------- lists

// Push a node at the head of the value list or the cleanup list. 0; 16
// without a viewer; 1 without memory.
int Engine_pushListValue(FvViewer *viewer, intptr_t value);
int App_pushCleanup(FvViewer *viewer, AppCleanupFn function);
