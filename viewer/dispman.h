// The display manager: its context, its views and the services that page
// rendering calls.
//
// The display manager keeps the screens up to date. One DispmanCtx per
// engine (EngineContext::dispman) holds the page and thumbnail band
// memories that pages are drawn through, the quality and cost settings,
// the request queue (viewer/dispqueue.h), the list of views, the thumbnail
// job list and three update tasks: "DispMan_quickUpdater" (priority 3),
// "DispMan_hqUpdater" (1) and "DispMan_tnUpdater" (0). Each DispmanView is
// one on-screen view: a bitmap over the pixel memory of its client Screen
// (viewer/screen/screen.h), a small document of its own whose page group
// holds the page links of what is shown, the matrices that map page units
// (1/65536 inch) to view pixels, and what the update tasks need.
//
// Lock order of a pass: the quick-pass lock, the render lock, the
// view-list lock (only while stepping the list), a view's render lock, then
// the document locks. The queue lock is a leaf; the busy count's lock and
// the thumbnail lock are leaves too.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/task/lock.h"
#include "document/edr/page.h"
#include "graphics/drawflags.h"
#include "graphics/itemwalk.h"
#include "viewer/dispqueue.h"

struct Bitmap;
struct DrawItem;
struct DrawTarget;
struct EngineContext;
struct EventProcMsg;
struct Edr_Doc;
struct Edr_Node;
struct FvViewer;
struct ObjHeader;
struct PixelBuf;
struct RenderBuffers;
struct Screen;
struct StageNode;
struct Task;
struct ThumbEntry;

enum : uint32_t {
    Dispman_pageBandDefault = 71680,  // "DispmanPageBufferSize"
    Dispman_thumbBandDefault = 12288, // "DispmanThumbBufferSize"

    // Task priorities of the three updaters.
    Dispman_quickPriority = 3,
    Dispman_hqPriority = 1,
    Dispman_thumbPriority = 0,

    // View figures.
    Dispman_minZoom = 4096,      // 1/16, 16.16
    Dispman_maxZoom = 0x1000000, // 256.0

    // "RendererRedrawMode" default.
    Dispman_redrawModeDefault = 0x10001,
};

// One on-screen view of the display manager.
struct DispmanView {
    Bitmap *bitmap; // the target, over the client's pixels
    Edr_Doc
        *backdropDoc; // the view's own document (a view document), whose first page is the backdrop
    Edr_Node *pageGroup;  // its group node holding the page links (one reference)
    Matrix viewMatrix;    // page units to view units: identity moved up by the view height
    int32_t drawnFully;   // cleared while an image page is drawn as a placeholder
    Lock geometryLock;    // guards the bitmap, the client and the matrices
    Screen *client;       // the screen the view draws for
    Rect viewRect;        // view pixels: the clip given, or the whole client
    Edr_Node *current;    // the current page link (a sub-document node of pageGroup), or null
    Rect panLimits;       // {width, height, 0, 0} until set
    Rect pageFrame;       // the current page in view pixels
    Rect dirty;           // grown by the areas moved during a pan
    DispmanHqList hqList; // areas waiting for high-quality drawing
    int32_t panning;
    int32_t zooming;
    int32_t spare;
    int32_t suspended;
    int32_t drawThrough; // set by code outside the display manager
    Rect quickDrawn;
    Rect panPage; // the page clipped to quickDrawn when a pan started
    int32_t savedPageWidth;
    int32_t savedPageHeight;
    int32_t minZoom; // 16.16
    int32_t maxZoom;
    PixelBuf *backdropTile; // the repeated background picture, or null for a plain colour
    PixelBuf *backdropMask; // its mask, or null
    void *imageSlots[4];    // further image records of the background (owned)
    Lock renderLock;        // held while the view's bitmap is drawn into
    DispmanView *next;      // the display manager's view list, newest first
    DispmanView *previous;
    int32_t redrawMode; // copied from the context at creation
    int32_t quality[DrawQuality_count];
    int32_t cost[DrawCost_count];
    int32_t frameFlag;     // frame drawn pages with a grey line
    Edr_ScreenHooks hooks; // handed to Edr_Page_fillBackground
    Rect damage;           // the union of what was drawn since it was last cleared
    int32_t resolution;    // the client's resolution when the view was set up
    uint32_t background;   // the backdrop colour 0xAABBGGRR
};

// The display manager's context.
struct DispmanCtx {
    EngineContext *context;       // the engine (not owned)
    RenderBuffers *renderBuffers; // the render cache over the page band memory
    void *observers;           // the render observers, looked up by key (none are registered yet)
    uint32_t renderingEnabled; // 1 at start-up
    DispmanView *views;        // the view list, newest first, under viewLock
    Lock viewLock;
    Edr_Doc *markAllDoc;   // the last loaded document: its thumbnail jobs are marked
    Edr_Doc *failedDoc;    // the word beside it: its thumbnail jobs are dropped
    ThumbEntry *thumbList; // the thumbnail job list, under thumbLock
    Lock thumbLock;
    uint32_t thumbLockOnClear; // freeing the job list takes thumbLock (1 from start-up)
    Edr_Doc *awaited;          // a code-14 message for it posts completion
    Sem completion;            // count 0, maximum 1
    DispmanQueue queue;
    Task *quickUpdater;
    Task *hqUpdater;
    Task *thumbUpdater;
    Sem quickWake; // count 0, maximum 1 each
    Sem hqWake;
    Sem thumbWake;
    Lock quickPassLock; // held by the quick updater while it runs a pass
    Lock renderLock;    // held by whichever updater draws into the views
    int32_t busyCount;  // never below 0, under busyLock
    Lock busyLock;
    uint32_t hqRunning;
    uint32_t hqPendingSaved;   // the pending flag parked during a gesture
    uint32_t keepHqAlive;      // 1 until shut-down begins
    uint32_t hqPending;        // an area waits in a high-quality list
    uint32_t interruptAllowed; // the quick updater may interrupt a high-quality pass
    uint32_t maxHqInterrupts;  // "Dispman_MaxHqInterrupts"
    void *pageBandMemory;      // the page band memory (owned)
    uint32_t pageBandSize;     // "DispmanPageBufferSize"
    void *thumbBandMemory;     // the thumbnail band memory (owned)
    uint32_t thumbBandSize;    // "DispmanThumbBufferSize"
    int32_t pageBorder;        // "DispmanPageBorderWidth", pixels
    int32_t redrawMode;        // "RendererRedrawMode"
    int32_t quality[DrawQuality_count];
    int32_t cost[DrawCost_count];
    uint32_t thumbnailsEnabled; // "Vexlan_enableThumbnails"
    uint32_t listening;         // the two message listeners are registered
};

// A changed page rectangle reported to the document's view
// (ViewChangeReport): document/edr/areareport.h.

// ------------------------------------------------------- the context

// Dispman_init, Dispman_free, Dispman_stopUpdaters and
// Dispman_onLoadMessage, which the engine's module tables and the view-size
// request use, are declared in viewer/viewer.h.

// Stops the updaters, waits for them and frees everything
// (Dispman_stopThreads, Dispman_joinThreads, Dispman_free). Nothing
// without a context.
void Dispman_fini(EngineContext *context);
// Asks the thumbnail, high-quality and quick updaters to stop, clearing the
// keep-high-quality-alive flag first.
void Dispman_stopThreads(EngineContext *context);
// Joins the thumbnail, high-quality and quick updaters, in that order.
void Dispman_joinThreads(EngineContext *context);
// Sets the high-quality updater's priority to 1 (normal non-zero) or 3.
void Dispman_setHqPriority(EngineContext *context, int normal);
// The listener for busy messages (kind 6): the busy count rises by one.
void Dispman_onBusyMessage(EngineContext *context, EventProcMsg *msg, void *unused, int *remove);
// Posts the thumbnail updater's wake semaphore when no busy message is
// outstanding.
void Dispman_wakeThumbnailsIfIdle(DispmanCtx *dm);
// The document hook for changed documents (thumbnail jobs): kind, the
// document and the page's key pair. 0 or an error.
[[nodiscard]] int Dispman_onDocumentChanged(EngineContext *context, uint32_t kind,
                                            Edr_Doc *document, int32_t pageKey, uint32_t pageKind);

// ----------------------------------------------------------- the views

// Creates a view for the client screen and links it at the head of the view
// list. clip (null: the whole client) is in view pixels; colour is the
// background 0xAABBGGRR; imageUrl (null: none) a background picture. 0 with
// *view set; 1 out of memory; Res_dispmanNoTile when the page band memory
// cannot hold a tile in the client's pixel format; Res_nullInput without a
// client; the error of a step. *view is null on failure and nothing is linked.
[[nodiscard]] int Dispman_createView(EngineContext *context, DispmanView **view, Screen *client,
                                     const Rect *clip, uint32_t colour, const char16_t *imageUrl);
// Makes client the view's client (new pixel memory, size, format or
// orientation). Nothing is redrawn when the pixels, format, size and
// resolution are unchanged. 0 or an error.
[[nodiscard]] int Dispman_updateView(EngineContext *context, DispmanView *view, Screen *client,
                                     const Rect *clip);
// Unlinks and frees *view after any pass drawing into it has ended; *view
// becomes null. Null is ignored.
void Dispman_destroyView(EngineContext *context, DispmanView **view);
// The view document and its page group (lent), under the geometry lock.
void Dispman_viewDocument(DispmanView *view, Edr_Doc **document, Edr_Node **group);
// The pan-limit rectangle becomes rect clipped to the view rectangle, or
// returns to {client width, client height, 0, 0}; under the render lock.
void Dispman_setPanLimits(DispmanView *view, const Rect *rect);
void Dispman_resetPanLimits(DispmanView *view);
// Gives the view document the "screensize" style rule: width (property 90) and
// height (property 44) as lengths, background colour (property 2) and property
// 34 set to 39, attached to group. 0 or an error. Writes width and height
// (16.16 lengths) into the first rule of the document's first request, under
// the request's lock; the caller queues the change. 0; Res_nullInput when the
// document has no request, its first request no rule, or that rule lacks either
// property (nothing is written); the error of looking the request up.
[[nodiscard]] int Dispman_writeViewSize(Edr_Doc *doc, int32_t width, int32_t height);
[[nodiscard]] int Dispman_setViewStyle(EngineContext *context, Edr_Doc *document, Edr_Node *group,
                                       int32_t width, int32_t height, uint32_t colour);

// Coordinate queries, under the geometry lock, through the page link found
// at the view point (x, y). 4355 when no page link is there.
// The zoom of that page link (16.16).
[[nodiscard]] int Dispman_viewScale(DispmanView *view, int32_t x, int32_t y, int32_t *scale);
// One point of the linked page into view pixels (rounded).
int Dispman_toViewPoint(Point *out, DispmanView *view, int32_t x, int32_t y, const Point *point);
[[nodiscard]] int Dispman_toViewPoints(DispmanView *view, int32_t x, int32_t y, uint32_t count,
                                       const Point *points, Point *out);
// Points of document's page shown by page link node into view pixels.
[[nodiscard]] int Dispman_pageToViewPoints(DispmanView *view, Edr_Node *node, Edr_Doc *document,
                                           uint32_t count, const Point *points, Point *out);
// The bounding rectangle in view pixels of a rectangle of the linked page.
[[nodiscard]] int Dispman_toViewRect(DispmanView *view, int32_t x, int32_t y, const Rect *rect,
                                     Rect *out);
// The current page link's matrix followed by the view matrix; Res_dispmanNoPage
// when the view shows no page.
[[nodiscard]] int Dispman_viewMatrix(DispmanView *view, Matrix *out);

// The page node under a view pixel (x, y): the point in the view
// document's 16.16 units (the pixel divided by the view's scale, then
// through the inverse of the view matrix) and the page link there. 1 with
// both; 0 when the point lies on the view document itself (no page there).
int View_hitTestPoint(DispmanView *view, int32_t x, int32_t y, Point *point, Edr_Node **node);

// Hit-test flags.
enum : uint32_t {
    DispmanHit_formGroup = 1, // the node's nearest form-group ancestor
    DispmanHit_searchMask = 2 | 4 | 8,
    DispmanHit_centre = 0x10 | 0x20 | 0x40, // test the centre of the view, not the point
    DispmanHit_linked = 0x70,               // the same bits: the document the page link shows
};
// Finds what lies under a view point (the centre with any of flags 0x10,
// 0x20, 0x40): the page link there, the document it shows (flags 0x70) or
// the view document, and the point in that page's units. Every output may
// be null. 0; Res_dispmanNoPage when no page link is under the point.
[[nodiscard]] int Dispman_hitTest(Edr_Node **node, Edr_Doc **document, int32_t mode, Matrix *matrix,
                                  int32_t *flag, Point *point, int32_t *kind, DispmanView *view,
                                  uint32_t flags, const Point *at);
// Thin queries over the hit test at a view point. The link target of the node
// there: the inherited string property 143, a new copy into *out (null when
// none). 0, Res_dispmanNoPage when no page is there, 1 out of memory.
[[nodiscard]] int Dispman_linkAt(DispmanView *view, const Point *at, char16_t **out);
// The image node (type 7) at the point into *out (lent; null when the
// node there is no image). 0 or 4355.
[[nodiscard]] int Dispman_imageAt(DispmanView *view, const Point *at, Edr_Node **out);
// The page point under a view point: the page link there whose document
// is document (any document for null), the point in that page's units
// into *out and the document shown into *shown (either may be null). 0;
// 4355 when no such page lies under the point.
[[nodiscard]] int Dispman_pagePoint(DispmanView *view, Edr_Doc *document, const Point *at,
                                    Point *out, Edr_Doc **shown);
// Selects the text under a view point with selection mode 0-7 (text-hit modes
// 0, 1, 2, 3, 4, 6, 7, 8: character, word, line, sentence, block, run, extend
// start, extend). 0 when selected; Res_dispmanNoPage when no page lies under
// the point, Res_dispmanNoNode when no text does, 1558 when it is not
// selectable, 8 for a mode above 7; another error as it is.
[[nodiscard]] int Dispman_textAt(DispmanView *view, const Point *at, uint32_t mode);
// Extends the shown document's selection to the text nearest a view point
// on one of its pages, measured on that page alone; 1 when extended.
int Dispman_extendAt(DispmanView *view, const Point *at);

// ---------------------------------- what page rendering calls (item lists)

// The item-list walks (View_drawItemList, View_measureItemList) and the
// draw flags they hand to items: graphics/itemwalk.h, graphics/drawflags.h.
// A box's background and its painter: graphics/boxitem.h.

// ----------------------------------------------------------- others

// View_invalidateRect and View_reportAreas: document/edr/areareport.h.
// Lock and unlock the current page view of document (held while highlight
// items are drawn).
void View_lockCurrent(Edr_Doc *document, intptr_t word);
void View_unlockCurrent(Edr_Doc *document, intptr_t word);
// Steps *view through the display manager's view list under its list
// lock: the first view when *view is null (or no longer on the list), else
// the next; null at the end. Returns the new *view.
DispmanView *DocList_nextLocked(DispmanCtx *dm, DispmanView **view, int32_t flag, intptr_t unused);
