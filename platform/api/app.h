// The application framework: the document viewer that runs inside the
// engine.
//
// App_start is the application entry that the host hands to Engine_start.
// It builds the application record (FvViewer), fills the application's
// callback table and queue, and starts the task "SimpleAppThread". That
// task configures the engine (every module up, the settings read, the
// document handlers registered), opens the start document when the host
// gave one, tells the host that the application is ready (request 0x10004)
// and serves the application queue until the close event; then it takes
// the viewer and the modules down again.
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
    FvStart_showSplash = 0,           // 1: the start image shows; 0: the background colour is painted
    FvStart_pageMode = 1,             // 0x10000 page view, 0x10001 flow, 0x10002 flow variant
    FvStart_redrawEnabled = 2,        // 0
    FvStart_modeArgument = 3,         // 0x10001: the view-mode module's start argument
    FvStart_smartScrollAllowed = 4,   // 0
    FvStart_reservedOption = 5,       // 0, not read
    FvStart_translateFileSize = 6,    // -1: largest document translation accepts ("translateFileSize")
    FvStart_zoomPanSettings = 7,      // the settings record handed to the viewer
    FvStart_maxHqInterrupts = 8,      // 8 ("Dispman_MaxHqInterrupts")
    FvStart_splashUrl = 9,            // start image URL text, portrait
    FvStart_splashUrlLandscape = 10,  // start image URL text, landscape
    FvStart_configHook = 11,          // called with the engine context during configuration (0: none)
    FvStart_noLowMemoryAnimations = 12, // 1: "LowMemoryAnimations" is 0
    FvStart_thumbnailsMax = 13,       // 0: default of "Vexlan_thumbnailsMax"
    FvStart_cacheMaxSize = 14,        // 0: default of "Vexlan_CacheMaxSize"
    FvStart_reserveBufferCount = 15,  // 2 reserve buffers of 102400 bytes
    FvStart_interactiveMode = 16,     // 1; 0: updates blocked from start-up, thumbnails sent to the host
    FvStart_words = 17,

    FvStart_showIdentity = FvStart_showSplash,
    FvStart_secondStage = FvStart_translateFileSize,
    FvStart_settingsBlock = FvStart_zoomPanSettings, // the viewer's copy of the default settings block (owned)
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

// The application record (zero-filled at creation). The viewer owns most
// of it; these are the fields the framework sets or reads.
struct FvViewer {
    EngineContext *context;
    FvScreen *screen;               // the screen binding (viewer)
    FvPage *page;                   // the current page record (viewer)
    Url *startUrl;                  // the start document, owned until it is opened
    ViewCallbacks *viewCallbacks;   // the view-callback record (viewer)
    void (*releaseView)(FvViewer *viewer); // releases the view's display (null: none)
    ListenerList listeners;         // the viewer's listener list
    int32_t started;                // set once the view has started
    FvStartOptions options;
    FvValueNode *values;            // pushed by Engine_pushListValue, newest first
    FvCleanupNode *cleanups;        // pushed by App_pushCleanup, newest first
    int32_t keyBusy;                // key handling busy flag

    // Words of the viewer's other parts.
    int32_t settingsChanged;        // the zoom and pan settings must be read again: set at start
                                    // and when a settings file was loaded by request
    FvZoomAbout *zoomAbout;         // zoom-about-point state (null: none)
    intptr_t panAction;             // the action of the pan gesture being pre-stepped
    FvDisplay *display;             // the display view on the bound screen (null: none)
    struct FvOrientationCache *orientationCache; // the view state saved while the screen resizes
    int32_t resizing;               // a resize or turn of the screen is in progress
    uint32_t flowWidth;             // the flow width last posted (16.16)
    Sem *queryGate;                 // admits one synchronous host query at a time (null: none)
    void **reserveBuffers;          // the reserve buffers held while no document is shown (null: none)
    struct FvPageSet *pageSet;      // the documents shown or loading, by key (null: none)
    struct FvEventQueue *eventQueue; // document events waiting for the application thread (null: none)
    struct Edr_Doc **loadingDocs;   // the documents being closed, each waited on for its end
    uint32_t loadingCount, loadingCapacity;
    int32_t loadPending;            // a load waits for the closing documents
    int32_t configured;             // bit 0: Engine_configure has run to its end

    // Navigation, zoom and flow view (viewer/navigate.h, viewer/zoompan.h,
    // viewer/flowmode.h).
    int32_t zoom;                   // the current zoom, 16.16; 0x10000 at start
    int32_t pendingFit;             // the fit mode applied again after a page change (0: none)
    int32_t lastAlignment;          // the horizontal alignment hint
    struct FvZoomPanSettings *zoomPanSettings; // the settings record (owned; null: none)
    int32_t fitBusy;                // a page-fit default is being applied
    struct CursorState *cursor;     // the on-screen cursor (viewer/screen/cursor.h; null: none)

    // Search (platform/api/search.h).
    struct SearchWalkState *searchState; // the page-by-page walk (owned; null until needed)
    struct EditModeRecord *editMode;     // the edit-mode record (platform/api/editing.h; null: no editing)
    struct SheetEditState *sheetEdit;    // spreadsheet editing (viewer/sheetview.h; null: none)
};

// ------------------------------------------------------------ the entry

// The application entry (see engine.h): start options from the start
// event, the application record, queue and task. 1 on success; 0 on
// failure, with nothing of the application left and the instance's
// application-failed flag set.
int App_start(EngineInstance *instance, const AppEvent *startEvent);

// The application entry (App_start), for hosts that take it through a
// getter.
typedef int (*EngineEntryFn)(struct EngineInstance *instance, const AppEvent *startEvent);
EngineEntryFn App_getEntry();

// Fills the seventeen option words with their defaults; word 7 stays 0
// (App_start gives it its own copy of the default settings block).
void App_initStartOptions(FvStartOptions *options);

// The built-in default settings block (App_settingsBlockBytes bytes).
const uint8_t *App_defaultSettingsBlock();

// Makes the viewer record with a copy of the options (taking over the
// settings block of word 7), the callback table, the key record
// (EngineInstance::keys), the
// application queue, the history listener and the viewer as application
// object 1. 1, or 0 with everything undone and the application-failed
// flag set (the settings block is then the caller's again).
int App_createContext(EngineInstance *instance, const FvStartOptions *options);

// Makes the start-document URL from the start event's first option word
// (an 8-bit path or URL text, 0 for none) and starts "SimpleAppThread". 1,
// or 0 with the viewer freed and the application-failed flag set.
int App_startThread(EngineInstance *instance, const AppEvent *startEvent);

// The body of "SimpleAppThread": App_run with the engine's fixed locations.
void App_threadMain(void *viewer);

// Configures the engine, opens the start document, reports readiness and
// serves the queue until the close event; then tears the application
// down. 1 after a normal close; 0 when the start failed (the host then
// receives request 0x10009).
int App_run(FvViewer *viewer, const char *rootUrl, const char *fontUrl, const char *resourceUrl);

// Stops the modules, frees the key record, forgets the viewer object and
// the history listener, tears the viewer down (which finishes the modules)
// and frees the viewer record. full is handed to the viewer's teardown.
// Nothing when the instance has no viewer.
void App_destroy(EngineInstance *instance, int full);

// ------------------------------------------------------- opening documents

// Asks the view to open url under the name (a page key). Takes over url.
// 0 when the view accepted or completed it; otherwise the URL is freed,
// error 0x10002 goes to the host unless the view answered 1 (a request it
// dropped), and the view's answer comes back.
int App_loadUrl(EngineInstance *instance, intptr_t name, Url *url, intptr_t flags);

// Callback slot 7: an 8-bit path or URL text made a URL and opened with
// App_loadUrl (name a, flags). Slot 8: the same after resolving the text
// in w2 against the base URL in w1 (null: none). Slot 9: a copy of the URL
// in the argument word is opened (the event's own URL stays the caller's).
int App_openPath(EngineInstance *instance, intptr_t a, const char *path, intptr_t flags);
int App_openResolved(EngineInstance *instance, intptr_t base, intptr_t text, intptr_t a,
                     intptr_t owned, intptr_t flags);
int App_openUrl(EngineInstance *instance, intptr_t a, intptr_t url, intptr_t flags);

// Callback slot 4: runs every cleanup callback with the instance (each node
// freed after its call), then frees the value list. 0.
int App_close(EngineInstance *instance);

// ----------------------------------------------------------------- lists

// Push a node at the head of the value list or the cleanup list. 0; 16
// without a viewer; 1 without memory.
int Engine_pushListValue(FvViewer *viewer, intptr_t value);
int App_pushCleanup(FvViewer *viewer, AppCleanupFn function);
