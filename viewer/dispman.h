// The display manager's records as page and thumbnail rendering read them,
// and the viewer services that rendering calls.
//
// The display manager (EngineContext::dispman) keeps the band memories that
// pages and thumbnails are drawn through, the quality and cost settings,
// the thumbnail queue and the list of views; each DispmanView is one
// on-screen view with its target bitmap. Only the fields that rendering and
// the view-size request read are declared here; the display manager adds
// the rest when it is built. The services below the records have interim
// definitions in viewer/interim.cpp until then.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "core/task/lock.h"
#include "document/edr/page.h"

struct Bitmap;
struct DrawItem;
struct DrawTarget;
struct EngineContext;
struct Edr_Doc;
struct FvViewer;
struct Matrix;
struct ObjHeader;
struct PixelBuf;
struct RenderBuffers;
struct StageNode;
struct ThumbEntry;

enum : uint32_t {
    Dispman_pageBandDefault = 71680,  // "DispmanPageBufferSize"
    Dispman_thumbBandDefault = 12288, // "DispmanThumbBufferSize"

    // The quality settings, in their order: "RendererQualityBox",
    // "RendererQualityImage", "RendererQualityPath", "RendererQualityText",
    // "RendererQualityUi", "RendererQualityWa".
    DrawQuality_box = 0,
    DrawQuality_image = 1,
    DrawQuality_path = 2,
    DrawQuality_text = 3,
    DrawQuality_ui = 4,
    DrawQuality_wa = 5,
    DrawQuality_count = 6,

    // The cost settings, from "RendererCostLimit" to "RendererCostUi".
    DrawCost_limit = 0,
    DrawCost_path = 1,
    DrawCost_pathStroked = 2,
    DrawCost_image = 3,
    DrawCost_imageUncached = 4,
    DrawCost_glyph = 5,
    DrawCost_glyphUncached = 6,
    DrawCost_ui = 7,
    DrawCost_count = 8,

    // Bits of DrawFlags::flags.
    DrawFlags_offscreen = 1,    // drawing a picture of its own, not a view
    DrawFlags_fastBoxes = 2,    // box frames with one sub-pixel bit
    DrawFlags_noHighlights = 8, // highlight items are not drawn (thumbnails)
};

// What the renderer hands unchanged to item drawing: the flags word, a
// word, the six quality settings, the eight cost settings and a word.
struct DrawFlags {
    uint32_t flags;
    uint32_t word1;
    int32_t quality[DrawQuality_count];
    int32_t cost[DrawCost_count];
    uint32_t word16;
};

// One on-screen view of the display manager.
struct DispmanView {
    Bitmap *bitmap;         // the target
    Edr_Doc *backdropDoc;   // the view's own document, whose first page is the backdrop
    int32_t frameFlag;      // frame drawn pages with a grey line
    Edr_ScreenHooks hooks;  // handed to Edr_Page_fillBackground
    Rect pageFrame;         // the page frame (device pixels)
    Rect damage;            // the union of what was drawn since it was last cleared
    PixelBuf *backdropTile; // the repeated backdrop picture, or null for a plain colour
    int32_t quality[DrawQuality_count];
    int32_t cost[DrawCost_count];
    DispmanView *next; // the display manager's view list
    DispmanView *previous;
};

// The display manager's context.
struct DispmanCtx {
    EngineContext *context;       // its event processor hears when the thumbnail queue empties
    RenderBuffers *renderBuffers; // over the page band memory
    DispmanView *views;           // the view list, newest first, under viewLock
    Lock viewLock;
    ThumbEntry *thumbList; // the thumbnail queue's head, under thumbLock
    Lock thumbLock;
    uint32_t thumbLockOnClear; // ThumbQueue_clear takes thumbLock
    Edr_Doc *awaited;          // a code-14 message for it posts completion
    Sem completion;            // count 0, maximum 1
    Edr_Doc *markAllDoc;       // every queued entry of this document is marked
    Edr_Doc *failedDoc;        // identity only: its queued entries are dropped
    void *pageBandMemory;      // the page band memory (owned)
    uint32_t pageBandSize;     // "DispmanPageBufferSize"
    void *thumbBandMemory;     // the thumbnail band memory (owned)
    uint32_t thumbBandSize;    // "DispmanThumbBufferSize"
    int32_t quality[DrawQuality_count];
    int32_t cost[DrawCost_count];
};

// The background of a box item: a colour 0xAABBGGRR (alpha 0: none) and an
// optional image (the painter's own record; null for none).
struct ViewBackground {
    uint32_t colour;
    void *image;
};

// A changed page rectangle reported to the document's view.
struct ViewChangeReport {
    Edr_Doc *document;
    int32_t section;
    int32_t page;
    int32_t rect[4];
};

// ------------------------------------------------------- item lists

// Draws the display items from first on (through their next words) into
// target: hidden items are skipped, every other item's draw operation is
// called with (ctx, item, clip, matrix, target, flags, extra). 0; 48 when
// the task is asked to stop (the walk ends); other errors of an item are
// ignored.
int View_drawItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip, const Matrix *matrix,
                      const DrawTarget *target, const DrawFlags *flags, intptr_t extra);
// Sums the measured costs of the items (hidden ones skipped) into *amount
// until the sum passes the cost limit of flags; 0 or the first error.
int View_measureItemList(EngineContext *ctx, ObjHeader *first, const Rect *clip,
                         const Matrix *matrix, const DrawTarget *target, const DrawFlags *flags,
                         uint32_t *amount);
// Paints a box's background into the area of item's shape (a path draw
// item, its shape set by the caller): sets the item's paint and mask and
// renders it into target with the paint stages. 0 or the drawing's error.
int View_paintBackground(EngineContext *ctx, const ViewBackground *background, DrawItem *item,
                         const StageNode *stages, const DrawTarget *target);

// ----------------------------------------------------------- others

// Reports a changed page rectangle to the document's view. 0 or an error.
int View_invalidateRect(const ViewChangeReport *report, int32_t redrawAll, int32_t flag);
// Lock and unlock the current page view of document (held while highlight
// items are drawn).
void View_lockCurrent(Edr_Doc *document, intptr_t word);
void View_unlockCurrent(Edr_Doc *document, intptr_t word);
// Zeroes words 0-7 and 16 of flags (the cost settings stay).
void DrawFlags_clear(EngineContext *ctx, DrawFlags *flags);
// Steps *view through the display manager's view list under its list
// lock: the first view when *view is null, else the next; null at the end.
// Returns the new *view.
DispmanView *DocList_nextLocked(DispmanCtx *dm, DispmanView **view, int32_t flag, intptr_t unused);
