// Viewer services that the application framework calls: configuring the
// engine, starting and tearing down the view, opening documents into the
// page record, the screen switches, page moves and the display manager's
// life.
//
// The application side (viewer/viewer.cpp) keeps one page record that holds
// the shown document: opening a URL makes a fresh eDR document and starts
// its translation, and the translation's end is reported to the host
// (request 0x1000A with the document's information when it loaded, the
// failed-load report and the load's alert when it failed).
#pragma once

#include <cstdint>

#include "core/task/lock.h"
#include "core/task/clock.h"

struct EngineContext;
struct EngineInstance;
struct EventProcMsg;
struct Edr_Doc;
struct Edr_Node;
struct FvViewer;
struct HostContext;
struct Url;
struct FvPageView;
struct Screen;

// Host request with a shown document's information, and its record: the
// texts are 8-bit strings lent for the request (null when unknown).
enum : int32_t { Fv_requestDocInfo = 0x1000A };
struct FvDocInfo {
    intptr_t key;        // the page key (0: the viewer's own page)
    const char *auxText; // the document's auxiliary text
    const char *urlText; // the document's URL, all parts, UTF-8
    const char *mime;    // the document's MIME type
};

// The viewer's screen binding: the bound screen (viewer/screen/screen.h)
// and its active flag; every binding operation on an inactive binding does
// nothing or answers 0.
struct FvScreen {
    Screen *screen;
    int32_t active;
};

// Load states of a page record.
enum : int32_t {
    FvLoad_idle = 0,
    FvLoad_loading = 1,
    FvLoad_loaded = 2,
    FvLoad_failed = 3,
    FvLoad_noMemory = 4, // failed for want of memory
};

// Host alerts of an open: the document could not be opened or read; memory
// ran out while it was opened.
enum : int32_t {
    Fv_alertOpenFailed = 0x10002,
    Fv_alertNoMemory = 0x10006,
};

// A page record: one shown document.
struct FvPage {
    FvViewer *viewer;
    Edr_Doc *document;       // the shown document (reference held)
    Edr_Node *root;          // its root group
    int32_t key;             // 0 for the viewer's own record
    Url *url;                // the document's URL (owned)
    int32_t loadState;       // FvLoad_*
    int32_t loadStatus;      // the load status of a failed load (the report's kind, 0-15)
    int32_t loadResult;      // the failed load's result code (the report's word)
    int32_t waiting;         // an opener waits on settled for the outcome
    Sem settled;             // signalled when the outcome of a waited load is known
    int32_t keptX, keptY;    // the kept scroll position
    int32_t listening;       // its listeners are on the event processor
    intptr_t loadSerial;     // counts the loads started in this record
    FvPageView *pageView;    // the document's view in the display (null: none)
    int32_t loaded;          // translation reported content
    int32_t contentReported; // the first-content request went to the host
    // Whether the page's scrolled column has content before and after the
    // shown part (0 or 1; 2 when no column answered) and two further words
    // of the group (FvPage_refreshScrollHints).
    uint32_t columnMoreBefore, columnMoreAfter;
    uint32_t columnHint2, columnHint3;
    int32_t loadPercent;          // last load percentage, -1 until known
    int32_t progressA, progressB; // translation progress words of the state report
    int32_t firstDisplayPending;  // cleared by the first display
    int32_t flowOverride;
    int32_t bytesTotal;       // size figure of the state report
    int32_t reportA, reportB; // words of the state report
    int32_t docType;          // MIME type id of the shown document
    int32_t editState;        // 0x10000 to 0x10002
    int32_t editFlag;
    // Navigation and zoom (viewer/navigate.h, viewer/zoompan.h).
    int32_t fitState;         // 0 first display fits; 1 a gesture set the view; 2 refitted
    int32_t panSettle;        // 0 and 1 a pan gesture moves; 2 settled or settle posted
    int32_t zoomSettle;       // the same for zoom gestures
    int32_t lastLimits;       // the pan-limit set reported last
    int32_t limitsRepeat;     // report an unchanged pan-limit set once more
    int32_t zoomLimitState;   // 0 between the limits, 1 at the largest, 2 at the smallest
    int32_t initialFitWanted; // the first display runs the initial fit
    int32_t currentIndex;     // the current page index (-1 none)
    int32_t pageCount;        // the page count of the last report (-1 none)
    int32_t pendingAlign;     // alignment mode to apply at the first display (0: none)
    int32_t viewZoom;         // the zoom the page view was given last (0: 0x10000)
};

// The viewer's zoom-about-point state: a mode word (0x10001 on) and the
// point that App_setZoomCentre sets.
struct FvZoomAbout {
    int32_t mode;
    int32_t x, y;
};
enum : int32_t {
    FvZoomAbout_off = 0x10000,
    FvZoomAbout_on = 0x10001,
};

// The view-callback record: word 0 is an operation table whose tenth,
// eleventh and twelfth routines take the pan pre-steps.
typedef int (*ViewPanStepFn)(FvViewer *viewer, intptr_t x, intptr_t y, intptr_t *outA);
typedef int (*ViewPanEndFn)(FvViewer *viewer, intptr_t *outA, intptr_t *outB);
struct ViewCallbackOps {
    void *slots[9];          // operations of the viewer's other parts
    ViewPanStepFn panStep10; // action 0x10003
    ViewPanEndFn panStep11;  // action 0x10004
    ViewPanStepFn panStep12; // any other action
};
// The view-mode operations (flow view, viewer/flowmode.h): its two words
// and its five operations.
struct FvModeOps {
    int32_t engaged;    // 1 from the moment flow view is asked until it ends
    int32_t notifyHost; // the end of flow view is reported to the host
    int (*setMode)(FvViewer *viewer, int32_t mode);
    int32_t (*getMode)(FvViewer *viewer);
    void (*setTextSize)(FvViewer *viewer, int32_t sizeCode);
    void (*leave)(FvViewer *viewer, int refit);
    int32_t (*refresh)(FvViewer *viewer);
};
struct IdentOps;
struct Task;
// The view-callback record (made by FvViewer_createCallbacks,
// graphics/thumbqueue.h): three slots, each a heap record freed with it.
struct ViewCallbacks {
    const ViewCallbackOps *ops; // slot 1, filled by the viewer's other parts (or null)
    FvModeOps *modeOps;         // slot 2 (FlowMode_install, viewer/flowmode.h)
    IdentOps *identOps;         // slot 3 (FvViewer_installIdentOps)
    Task *identTask;            // the identity screen's task while it shows (View_showIdentity)
};

// ------------------------------------------------------- engine set-up

// Empties the viewer's listener list, brings the modules up
// (Engine_initModules with the viewer's start options), creates the
// configuration store, runs the second stage (Engine_initServices with the
// font location, the settings directory below root and the host's
// configuration hook) and applies the display settings. 0 or the first
// error; on failure every module is down again. From "SimpleAppThread".
[[nodiscard]] int Engine_configure(FvViewer *viewer, intptr_t unused, const char *rootUrl,
                                   const char *fontUrl, const char *resourceUrl);

// Starts the view after configuration: the viewer's page record and the
// view that keys act on (EngineInstance::keyView). 0, or 1 without memory.
[[nodiscard]] int View_start(FvViewer *viewer);

// Opens the start document url (taken over in every case) into *page and
// waits until its translation has ended. 0 when the document was opened
// (a translation that failed has been reported to the host as error
// 0x10002); another value when the open could not start.
[[nodiscard]] int App_openStart(FvViewer *viewer, FvPage **page, Url *url);

// Opens url in the page record of key (0: the viewer's own). Takes over url
// only when it answers 0. 0 when the URL was opened (or is the shown
// document already); 1 for a request it dropped; 1 also without memory;
// any other value is a failure (the caller reports error 0x10002). An open
// that runs out of memory has told the host (alert 0x10006) and answers 1.
[[nodiscard]] int View_openUrl(FvViewer *viewer, intptr_t key, Url *url, intptr_t flags);

// The first half of a load: the page's old document goes on the closing
// list while its translation still runs (which is stopped), else it is
// released at once; the page gets a fresh empty document and the load is
// pending. 0; 1 without memory (the page is left as it was); another value
// when the document could not be made.
[[nodiscard]] int Fv_startLoad(FvViewer *viewer, FvPage *page);
// The second half: takes doc (null: none) off the closing list and releases
// it. Once the list is empty and a load is pending, the page's URL is
// translated into its document; a failure reaches the host (out of memory
// as alert 0x10006, others as 0x10002) and ends the pending load. An open
// while another is pending only replaces the URL to be translated.
void Fv_removeLoading(FvViewer *viewer, Edr_Doc *doc);

// Tears the viewer's own parts down (page record, key view, screen,
// listeners) and
// finishes the engine modules through its module table. The record itself stays the
// caller's.
void View_destroy(FvViewer *viewer, int full);
// The tear-down behind View_destroy, in order: the key view, the document
// events, the page record, the page set, the closing documents, the display
// view, the screen binding, the query gate, the listeners, the reserve
// buffers, the saved orientation state and the zoom-about point; then the
// screen module and the engine modules.
void Engine_unconfigure(FvViewer *viewer, int full);

// The orientation code of a "Vexlan_defaultScreen" value: 0x10001 -> 1,
// 0x10002 -> 2, 0x10004 -> 3, anything else 0.
int32_t Fv_orientationOfScreenSetting(uint32_t code);

// The host encoding code of a character-set code: 0 (Latin-1) 0x10000,
// 1 (UTF-8) 0x10007, 30 0x10006, 31 0x10003, 32 0x10004, 33 0x10005, 34
// 0x10001, 35 0x10002, any other 0x10008.
int32_t Fv_hostEncodingOf(uint32_t charset);
// The first display of the page's document, once per load: the reserve
// buffers go, the host hears the state report (request 0x10001) and the
// document's information (0x1000A), and listeners of code 7 are told.
void Fv_onFirstDisplay(FvViewer *viewer, FvPage *page);
// Request 0x1000A for the page of key.
void Fv_reportDocInfo(FvViewer *viewer, intptr_t key);

// The FvViewer registered as application object 1, or null.
FvViewer *Fv_fromApp(EngineInstance *instance);

// ------------------------------------------------------------ the screen

// The bound screen (null without one or while inactive); binding another
// makes the binding active.
Screen *ScreenBinding_screen(const FvScreen *binding);
void ScreenBinding_setScreen(FvScreen *binding, Screen *screen);
// Paints the bound screen with the colour 0xRRGGBBAA and flushes it.
void Fv_setBackgroundColour(FvScreen *binding, uint32_t colour);

// --------------------------------------------------------------- pages

// The page record of a view id (0: the current page record); null when
// gone.
FvPage *Fv_pageById(FvViewer *viewer, int32_t id);
// The kept scroll position of the page view into *x and *y.
void Fv_getKeptPosition(FvViewer *viewer, FvPage *page, int kind, int32_t *x, int32_t *y);

// The viewer's hook for a timed event 21 (a, b), called on the posting
// thread before the event is posted.
void Fv_timedEventHook(FvViewer *viewer, HostContext *host, intptr_t a, intptr_t b);

// ------------------------------------------------- the display manager
//
// The display manager's context (EngineContext::dispman) is DispmanCtx of
// viewer/dispman.h; its requests are in viewer/dispqueue.h.

// Creates the display-manager context (nothing when one exists): 0, 1 when
// memory runs out, or the error of a later start-up step (nothing is left
// then).
[[nodiscard]] int Dispman_init(EngineContext *context);
// Frees the context and everything it holds (its updaters are stopped and
// joined first when they still run). Nothing without a context.
void Dispman_free(EngineContext *context);
// The engine's stop step: asks the three updaters to stop and waits for
// them (nothing when none run).
void Dispman_stopUpdaters(EngineContext *context);

// The display manager's listener for code messages (event-processor kind
// 1, no callback context): code 0 forgets the last loaded document; code
// 14, a layout pass ended, for the awaited document posts the completion
// semaphore; codes 15 and 16 (a document loaded) remember the document,
// lower the busy count (not below 0), wake the thumbnail updater when no
// busy message is outstanding, and wake the quick updater.
void Dispman_onLoadMessage(EngineContext *context, EventProcMsg *msg, void *unused, int *remove);

// Sets the view size of doc: the first rule of its first request gets width
// (property 90) and height (property 44), 16.16 lengths, under the request's
// lock; a change is queued for the document's manager, its timer armed, and the
// calling task waits until the manager has run the pass (message 14 for doc).
// 0; Res_nullInput when the document has no request, its first request no rule,
// or that rule lacks either property (nothing set, no wait);
// Res_missingArgument without a display-manager context; the error of queueing
// the change; Res_stopRequested when the task is asked to stop while it waits
// (the wait ends). One such request at a time per engine.
[[nodiscard]] int Dispman_setDocViewSize(EngineContext *context, Edr_Doc *doc, int32_t width,
                                         int32_t height);

// The thumbnail size watches, the view settings and the display settings
// of module start-up. 0 or an error; the teardowns accept a module that
// never started.
// Thumb_watchSizeSettings keeps the thumbnail side limits {minimum,
// maximum} that App_thumbnailLimits answers current with the settings
// "Vexlan_thumbMinSize" (default 32) and "DispmanthumbMaxSize" (default 0):
// each watch re-reads its key when it changes. 1 when out of memory.
// Thumb_unwatchSizeSettings removes both watches and
// Thumb_freeSizeSettings frees the limits; the stop path calls them in
// that order.
[[nodiscard]] int Thumb_watchSizeSettings(EngineContext *context);
void Thumb_unwatchSizeSettings(EngineContext *context);
void Thumb_freeSizeSettings(EngineContext *context);
int32_t Thumb_onMinSizeChanged(EngineContext *context, void *limits);
int32_t Thumb_onMaxSizeChanged(EngineContext *context, void *limits);
int View_initSettings(EngineContext *context);
void View_freeSettings(EngineContext *context);
int View_initDisplaySettings(EngineContext *context);
void View_freeDisplaySettings(EngineContext *context);

// Tells the host why the load of url failed (the load-failed request,
// viewer/reports.h), before the alert that reports the failure.
void Fv_reportLoadFailed(FvViewer *viewer, const Url *url, int32_t kind, int32_t code);
