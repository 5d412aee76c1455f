// The display manager's passes: the quick updater that dispatches each
// batch of requests to the views, the handlers that pan, zoom, place and
// switch the pages they show, the high-quality updater that redraws what
// the quick pass drew cheaply, and the thumbnail updater.
//
// A view shows pages through page links: the sub-document nodes of its
// page group (document/edr/node.h, Edr_SubdocNode), each with the document
// shown, a matrix from that page's units to the view document's and the
// page's key pair. The last page link of the group is the view's current
// page. View pixels count y upwards from the bottom row, like the device
// rectangles of page rendering; the view matrix turns the view document's
// units into view units and the bitmap's scale word (the resolution) turns
// view units into pixels.
//
// Every pass runs under the quick-pass lock (quick updater only), then the
// render lock, then a view's render lock while it works on that view.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "viewer/dispqueue.h"

struct Bitmap;
struct DispmanCtx;
struct DispmanView;
struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_SubdocNode;

enum : uint32_t {
    // Edge flags of Dispman_pageEdges: the page has (nearly) left the view
    // past one side, keeping less than the border width inside it.
    DispmanEdge_offLeft = 2,    // its right edge is left of view x0 + border
    DispmanEdge_offRight = 4,   // its left edge is right of view x1 - border
    DispmanEdge_offTop = 8,     // its bottom edge is above the view's top - border
    DispmanEdge_offBottom = 16, // its top edge is below the view's bottom + border

    // Redraw modes ("RendererRedrawMode") of quick requests.
    DispmanRedraw_budgetQuick = 0x10001, // quick bit, cost-budgeted items (no budget: quick)
    DispmanRedraw_budget = 0x10002,      // cost-budgeted items (no budget: quick)
    DispmanRedraw_fullQuick = 0x10003,   // quick bit, full items
    DispmanRedraw_full = 0x10004,        // full items

    // The page tag that keeps a zoomed page's left edge on the view's.
    DispmanTag_leftAligned = 3,

    // Event-processor codes (kind 1) the passes post.
    DispmanMsg_keysChanged = 12,   // a switch changed only the page keys
    DispmanMsg_hqBegin = 9,        // an area is about to be drawn in high quality
    DispmanMsg_hqDone = 10,        // it was drawn
    DispmanMsg_hqInterrupted = 11, // its drawing was interrupted
    DispmanMsg_incomplete = 36,    // a drawing skipped work (over its budget)
    DispmanMsg_zoomChanged = 37,

    // The most bands a pan step, a pan end or a resize queues.
    Dispman_maxBands = 3,
};

// The drawing state of one area: the quick bit (DispmanDraw_quick) and
// which item routine draws it.
enum : uint32_t {
    DispmanDraw_quick = 4, // item drawing takes its quick forms

    DispmanRoutine_quick = 0,  // every item in its quick form
    DispmanRoutine_full = 1,   // every item fully
    DispmanRoutine_budget = 2, // fully while the measured cost fits the budget
};

// ------------------------------------------------------- quick updater

// "DispMan_quickUpdater" (argument: the engine context). Ends when its wait
// or a pass yields 48; stray wait errors abort the engine.
void Dispman_quickUpdaterMain(void *engine);
// One quick pass over the batch taken: every request popped is walked over the
// views, newest first. 0, or Res_stopRequested when the thread was asked to
// stop while drawing.
[[nodiscard]] int Dispman_dispatchRequests(EngineContext *context);
// Steps *view through the view list: unless first is set, unlocks *view
// (its render lock when renderLock is set, else its geometry lock); then,
// under the view-list lock, takes the view after it (the head when first is
// set or when *view is no longer listed) and locks it the same way.
// Returns the new *view (null at the end, nothing locked then).
DispmanView *Dispman_nextView(DispmanCtx *dm, DispmanView **view, int first, int renderLock);

// Render observers: kind-6 requests whose progress word 0 is 2 name an
// observer by their four progress words. The quick pass calls it with phase
// 0 before the area is drawn and phase 1 after (both also when the area is
// not on the view's current page and nothing is drawn); a non-zero result
// stops the request's walk over the views.
typedef int (*DispmanObserverFn)(void *argument, int32_t phase, const DispmanRequest *request);
// Registers fn under key (the progress words it watches), replacing one
// registered under the same key. 0; 1 when memory runs out; Res_nullInput
// without a display-manager context or function.
[[nodiscard]] int Dispman_addObserver(EngineContext *context, const intptr_t key[4],
                                      DispmanObserverFn fn, void *argument);
// Removes the observer registered under key (nothing when there is none).
void Dispman_removeObserver(EngineContext *context, const intptr_t key[4]);
// The observer of a kind-6 request, or null.
struct DispmanObserver;
DispmanObserver *Dispman_findObserver(DispmanCtx *dm, const DispmanRequest *request);
// Calls observer with phase; its result.
int Dispman_callObserver(DispmanObserver *observer, int32_t phase, const DispmanRequest *request);
// Frees every observer record (the bucket array stays the context's).
void Dispman_freeObservers(DispmanCtx *dm);

// ------------------------------------------------------------ handlers

// The page link a request of kinds 2 to 5 acts on (else 0): takes a live
// reference on the request's document into *held (released by the caller
// with Edr_Doc_release) and, unless the sub-code is 8 or 12 (which share
// it with their follow-up copy), gives back the request's view reference.
// 1 with *link set when the request's node is a page link of the view's
// page group showing a page; 0 otherwise (*link and *held null).
int Dispman_findTarget(DispmanView *view, DispmanRequest *request, Edr_Node **link, Edr_Doc **held);
// The page of a page link in view pixels into *out (through matrix, the
// link's own when null, then the view matrix) and its edge flags; 0 and an
// empty rectangle when the page cannot be found; flags 0 when the border
// width is 0.
uint32_t Dispman_pageEdges(DispmanCtx *dm, DispmanView *view, Edr_Node *link, const Matrix *matrix,
                           Rect *out);
// When the old page rectangle and the view's current one are both
// non-empty, differ in size and touch, queues the old rectangle cut at the
// new one's top and bottom edges (those strictly inside it; at most three
// bands) as kind-0 redraws with sub-code 3: at the tail of the incoming
// array when toTail is set, else at the front of the working array.
void Dispman_queueResizeBands(DispmanQueue *queue, DispmanView *view, const Rect *oldRect,
                              int toTail);
// Moves the pixels of src (rows counted from the top of the bitmap's
// memory) so that its top-left corner lands on dst, in place: rows
// bottom-up when moving down, each row backwards when moving right, so that
// overlapping parts are read before they are written. 1-, 2- and 4-byte
// pixels; parts outside the bitmap are cut away first; an empty rectangle
// does nothing.
void Dispman_scrollBitmap(Bitmap *bitmap, const Rect *src, const Point *dst);

// The handlers of kinds 2 to 5, on the quick updater's thread under the
// quick-pass, render and view render locks. Each gives back the request's
// references and queues the redraws that follow at the front of the
// working array. 0 or an error.
[[nodiscard]] int Dispman_Updaters_pan(EngineContext *context, DispmanView *view,
                                       DispmanRequest *request);
int Dispman_Updaters_zoom(EngineContext *context, DispmanView *view, DispmanRequest *request);
int Dispman_Updaters_position(EngineContext *context, DispmanView *view, DispmanRequest *request);
int Dispman_Updaters_switchDoc(EngineContext *context, DispmanView *view, DispmanRequest *request);
// The pool job that destroys a document no view shows any more: releases
// it, then lowers the engine's count of pending destructions, signalling
// its semaphore when the count reaches 0.
void Dispman_Updaters_destroyDocThreadMain(void *document);

// ------------------------------------------- high-quality and thumbnails

// "DispMan_hqUpdater" and "DispMan_tnUpdater" (argument: the engine).
void Dispman_hqUpdaterMain(void *engine);
void Dispman_tnUpdaterMain(void *engine);
// One high-quality pass over every view. 0 when every list was worked down; the
// drawing's result (Res_stopRequested when asked to stop) when interrupted.
[[nodiscard]] int Dispman_hqUpdatePass(EngineContext *context);

// The page an area is drawn in: a document's page by its key pair.
struct DispmanPageRef {
    Edr_Doc *document;
    int32_t pageKey;
    uint32_t pageKind;
};
// Draws area into the view's bitmap where page shows it: matrix maps the page's
// units to view units, clip (view pixels) bounds the drawing. An area of
// another page is looked for in the page links the page holds. 0 when drawn or
// when there was nothing to draw; Res_stopRequested when the drawing was asked
// to stop; *drawn (may be null) becomes 1 when a drawing began. parent is the
// request the area came from (null: a high-quality drawing).
[[nodiscard]] int Dispman_drawArea(EngineContext *context, const DispmanRequest *parent,
                                   const DispmanPageRef *page, const Matrix *matrix,
                                   const Rect *clip, const DispmanArea *area, DispmanView *view,
                                   int *drawn);
// Draws rect (view pixels) of page into the view's bitmap, choosing the
// item routine from the request (parent) and the view's redraw mode and
// cost limit. 0, Res_stopRequested when asked to stop, or the drawing's error.
[[nodiscard]] int Dispman_drawPage(EngineContext *context, const DispmanRequest *parent,
                                   const DispmanPageRef *page, const Matrix *matrix,
                                   const Rect *rect, DispmanView *view);
// The drawing state chosen for a page: the flags word (DispmanDraw_quick),
// the routine and whether the drawing polls for a stop request.
struct DispmanDrawChoice {
    uint32_t flags;
    uint32_t routine;
    int cancellable;
};
void Dispman_chooseDrawing(const DispmanRequest *parent, const DispmanView *view, int ownTopLevel,
                           DispmanDrawChoice *out);
// Posts progress code (9, 10 or 11) for document on the event processor.
void Dispman_postProgress(EngineContext *context, Edr_Doc *document, int32_t code);

// -------------------------------------------------------- shared helpers

// The view's current page link: the last page link of its page group (null
// when none).
Edr_Node *Dispman_currentLink(DispmanView *view);
// The link's matrix followed by the view matrix: the linked page's units to
// view units.
void Dispman_linkToView(const DispmanView *view, const Edr_SubdocNode *link, Matrix *out);
// Whether an area belongs to a page link (none: every area does): it is
// of the linked page, or of another document with both keys 0.
bool Dispman_areaOnCurrent(const DispmanArea *area, Edr_Node *link);
// Pixels to view units: x 65536 / the view's resolution, rounded to the
// nearest unit.
int32_t Dispman_pixelsToUnits(const DispmanView *view, int32_t pixels);
