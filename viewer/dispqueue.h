// The display manager's requests, their queue and the views' lists of
// areas waiting for high-quality drawing.
//
// Every change that must reach the screen becomes a DispmanRequest: a
// redraw of an area of a view, an area of a document that changed, a pan,
// a zoom, a move of the page to a position, a switch of document or a
// redraw watched by an observer. Producers on any engine thread append
// requests to the incoming array under the queue lock and wake the quick
// updater; the quick updater takes the whole batch at once (the two arrays
// swap), merges requests that supersede each other and pops them one by
// one. Requests are plain records copied by value; a request of kinds 2 to
// 5 holds a view reference on its document (and kind 5 one on its new
// document), which DispmanQueue_discard gives back.
//
// Each view keeps a stack of areas (DispmanHqList) that the high-quality
// updater draws later, the last one first.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "core/task/lock.h"
#include "document/edr/areareport.h"

struct DispmanCtx;
struct DispmanView;
struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

enum : uint32_t {
    // Request kinds.
    DispmanKind_redraw = 0, // redraw an area of a view
    DispmanKind_area = 1,   // an area of a document changed
    DispmanKind_pan = 2,
    DispmanKind_zoom = 3,
    DispmanKind_position = 4, // set the page position
    DispmanKind_switchDoc = 5,
    DispmanKind_observed = 6, // a redraw watched by an observer
    DispmanKind_none = 255,   // a cancelled entry; a pop from an empty queue

    // Sub-codes of redraws (kinds 0, 1; the follow-up redraw of kinds 4, 5).
    DispmanSub_quick = 2,                   // draw now in quick quality only
    DispmanSub_hqOnly = Edr_AreaSub_hqOnly, // only add the area to the high-quality list
    DispmanSub_hqAndQuick = 4,              // both
    // Pan sub-codes.
    DispmanSub_panStep = 5,
    DispmanSub_panEnd = 6,
    DispmanSub_panFling = 7,
    DispmanSub_panFlingLast = 8,
    // Zoom sub-codes: 9 and 10 merge per view, 11 a step, 12 its last form.
    DispmanSub_zoomFit = 9,
    DispmanSub_zoomFinal = 10,
    DispmanSub_zoomStep = 11,
    DispmanSub_zoomStepLast = 12,
    // The sub-code of observed redraws.
    DispmanSub_observed = 13,

    // Progress word 0 values.
    DispmanProgress_notify = 1,   // report progress when drawn in high quality
    DispmanProgress_observer = 2, // the four words are an observer's key

    // Queue capacities.
    DispmanQueue_baseCapacity = 32,
    DispmanHqList_baseCapacity = 16,
    Dispman_shrinkAfter = 17, // batches below the threshold before an array shrinks
};

// An area of a page (DispmanArea): document/edr/areareport.h.

// Kind 0: a rectangle of a view in view pixels.
struct DispmanRedrawFields {
    DispmanView *view;
    Rect rect;
};

// Kinds 2 to 5: the view, its document with a view reference taken by the
// producer, the page entry to act on, and the kind's own words.
struct DispmanPanFields {
    int32_t dx, dy;
};
struct DispmanZoomFields {
    int32_t zoom; // 16.16
    int32_t centreX, centreY;
};
struct DispmanPositionFields {
    int32_t x, y; // the translation of the page matrix
};
struct DispmanSwitchFields {
    Edr_Doc *document; // the new document with its own view reference, or null
    int32_t pageKey;
    uint32_t pageKind;
};
struct DispmanPageFields {
    DispmanView *view;
    Edr_Doc *document; // a view reference
    int32_t pageKey;
    uint32_t pageKind;
    Edr_Node *node; // the page node
    union {
        DispmanPanFields pan;
        DispmanZoomFields zoom;
        DispmanPositionFields position;
        DispmanSwitchFields switchDoc;
    };
};

struct DispmanRequest {
    uint32_t kind; // DispmanKind_*
    uint32_t subCode;
    uint32_t report;      // 1: tell the view's client when something was drawn
    uint32_t interrupt;   // non-zero: may interrupt a high-quality pass
    intptr_t progress[4]; // the producer's progress record
    union {
        DispmanRedrawFields redraw; // kind 0
        DispmanArea area;           // kinds 1 and 6 (area.document owns the area)
        DispmanPageFields page;     // kinds 2 to 5
    };
};

// One of the queue's two arrays. The last pan and zoom are indices into
// the array (-1: none), so that growing the array keeps them valid.
struct DispmanQueueArray {
    DispmanRequest *entries;
    uint16_t capacity;
    uint16_t count;
    uint16_t shrinkCounter;
    int32_t lastPan;
    int32_t lastZoom;
};

struct DispmanQueue {
    uint16_t baseCapacity;
    DispmanQueueArray incoming; // producers append here, under lock
    DispmanQueueArray working;  // the batch being worked through
    uint16_t readIndex;
    Lock lock;                  // guards the incoming side and the swap
    uint32_t *interruptAllowed; // the context's flag that a batch without interrupts clears
};

// A view's stack of areas waiting for high-quality drawing, and the view's
// count of interrupted high-quality passes.
struct DispmanHqList {
    uint32_t baseCapacity;
    DispmanArea *areas;
    uint16_t capacity;
    uint16_t count;
    uint16_t shrinkCounter;
    uint16_t interruptedPasses;
};

// ------------------------------------------------------------ the queue

// Sets the queue up with both arrays empty (nothing allocated) and its
// lock. interruptAllowed may be null. 0.
int DispmanQueue_init(EngineContext *context, DispmanQueue *queue, uint16_t baseCapacity,
                      uint32_t *interruptAllowed);
// Appends a copy of request to the incoming array under the lock, growing
// it by half the base capacity when full. 0; 1 when memory runs out or the
// capacity would pass 65535 (nothing appended; the request's references
// stay the caller's).
[[nodiscard]] int DispmanQueue_push(DispmanQueue *queue, const DispmanRequest *request);
// Inserts a copy of request into the working array at the read index, so
// that it is popped next; the quick updater's thread only, no lock. 0 or 1
// as DispmanQueue_push.
[[nodiscard]] int DispmanQueue_pushFront(DispmanQueue *queue, const DispmanRequest *request);
// Swaps the arrays under the lock and merges the batch: 1 when a batch
// was taken, 0 when nothing was queued.
int DispmanQueue_takeBatch(DispmanQueue *queue);
// Copies the next working entry into *out and advances; kind 255 at the
// end.
void DispmanQueue_pop(DispmanQueue *queue, DispmanRequest *out);
// Gives back the document references a request holds (kinds 2 to 5 the
// document's view reference, kind 5 also the new document's) and clears
// them in the record.
void DispmanQueue_discard(DispmanRequest *request);
// Discards every request left in either array and frees both arrays; the
// lock is finished. Null is ignored.
void DispmanQueue_free(DispmanQueue *queue);

// ------------------------------------------------- high-quality lists

// An empty list with base capacity 16 (nothing allocated). 0.
int Dispman_hqListInit(DispmanHqList *list);
// Frees the areas (the record stays the caller's).
void Dispman_hqListFree(DispmanHqList *list);
// Appends area with its notify flag 1 when the request's progress word is
// 1 (else 0) and sets the context's high-quality-pending flag (context may
// be null). 0; 1 when the list cannot grow.
[[nodiscard]] int Dispman_hqListAdd(DispmanCtx *dm, DispmanHqList *list, const DispmanArea *area,
                                    const DispmanRequest *request);
// Shrinks the array after 17 calls below the threshold, then drops every
// area that lies inside another of the same page (the surviving one takes
// the notify flag of an earlier one it swallows). 1 when areas remain.
int Dispman_hqListPrepare(DispmanHqList *list);
// The last area (null when the list is empty); lent until the list changes.
DispmanArea *Dispman_hqListTop(DispmanHqList *list);
// Removes the last area (nothing when empty).
void Dispman_hqListDropTop(DispmanHqList *list);
// Copies into *out the first area of page (document, key, kind) whose
// notify flag is 1, searching every area but the last; clears *out when
// none matches. 1 when found.
int Dispman_hqListFindNotifying(const DispmanHqList *list, const Edr_Doc *document, int32_t pageKey,
                                uint32_t pageKind, DispmanArea *out);

// ------------------------------------------------------------ producers
//
// Each builds a request, appends it and posts the quick updater's wake
// semaphore, even when the append failed; each returns the append's result
// (0 without a display-manager context, where nothing is queued).

// Kind 0, report 1, interrupt 1. Mode 0: arg is a DispmanRedrawArg; an
// empty rectangle queues nothing. Mode 1: arg is the view, the rectangle
// the view's whole rectangle. Other modes: 4353.
struct DispmanRedrawArg {
    DispmanView *view;
    Rect rect;
};
[[nodiscard]] int Dispman_queueRedraw(EngineContext *context, uint32_t subCode, int32_t mode,
                                      const void *arg);
// Kind 2: change 2, 3, 4 become pan step, end and fling step; nothing is
// queued (0) unless change is 3 or the distance is not zero. The producer
// takes a view reference on document (given back when the push fails).
[[nodiscard]] int Dispman_queuePan(EngineContext *context, int32_t change, DispmanView *view,
                                   Edr_Doc *document, int32_t pageKey, uint32_t pageKind,
                                   Edr_Node *node, int32_t dx, int32_t dy);
// Kind 3: zoom (16.16) about (centreX, centreY).
[[nodiscard]] int Dispman_queueZoom(EngineContext *context, uint32_t subCode, DispmanView *view,
                                    Edr_Doc *document, int32_t pageKey, uint32_t pageKind,
                                    Edr_Node *node, int32_t zoom, int32_t centreX, int32_t centreY);
// Kind 4: place the page at (x, y).
[[nodiscard]] int Dispman_queueKind4(EngineContext *context, uint32_t subCode, DispmanView *view,
                                     Edr_Doc *document, int32_t pageKey, uint32_t pageKind,
                                     Edr_Node *node, int32_t x, int32_t y);
// Kind 5: show newDocument's page (newKey, newKind) instead; a view
// reference is taken on the new document when given.
[[nodiscard]] int Dispman_queueDocSwitch(EngineContext *context, uint32_t subCode,
                                         DispmanView *view, Edr_Doc *document, int32_t pageKey,
                                         uint32_t pageKind, Edr_Node *node, Edr_Doc *newDocument,
                                         int32_t newKey, uint32_t newKind);
// The document's area-changed hook. Mode 0: area is the area record (an
// empty one queues nothing). Mode 1: area names a page (document and key
// pair); the rectangle is that page's (a page that cannot be found queues
// nothing). Other modes 4353. Kind 1, report 1, the interrupt word and the
// progress record (null: zeros) as given. When thumbnails are enabled and
// notifyThumbnails is set, the page's thumbnail is marked for update and
// that result is returned.
[[nodiscard]] int Dispman_queueArea(EngineContext *context, uint32_t subCode, int32_t mode,
                                    const DispmanArea *area, int32_t notifyThumbnails,
                                    uint32_t interrupt, const intptr_t *progress);
// The document's object-changed hook: kind 6, sub-code 13, report 1,
// interrupt 1. Mode 0: the rectangle of area (empty: 0, nothing queued).
// Mode non-zero: the on-screen rectangle of the object's node in the views
// that show it; no such node gives 1.
[[nodiscard]] int Dispman_queueObjectRedraw(EngineContext *context, const DispmanArea *area,
                                            int32_t mode, const intptr_t *progress);
