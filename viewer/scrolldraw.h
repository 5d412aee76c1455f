// Drawing a page view whose content is a scrolled column: its display
// items and its highlight list are drawn moved up by the column's scroll
// position, and a whole view is rendered band by band through a band
// bitmap into the page.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"

struct Bitmap;
struct DrawFlags;
struct DrawTarget;
struct EngineContext;
struct Edr_Doc;
struct Edr_PageRec;
struct Edr_ScreenHooks;
struct ObjHeader;
struct PixelBuf;
struct ViewColumnState;

// A view shown through a scrolled column.
struct ScrolledView {
    ObjHeader *items;        // the view's display items
    ObjHeader *highlights;   // its highlight list, drawn under the current view's lock
    Edr_Doc *document;       // the document whose current view that is
    ViewColumnState *column; // the column state (viewer/column.h)
};

enum : uint32_t {
    ScrolledDraw_items = 0,
    ScrolledDraw_highlights = 1,
};

// What to draw and where: the kind (ScrolledDraw_*), the matrix from
// column units to the target's units, the target, an optional clip in
// column units, the flags and the extra word handed to the items.
struct ScrolledRequest {
    uint32_t kind;
    Matrix matrix;
    const DrawTarget *target;
    const Rect *clip;
    const DrawFlags *flags;
    intptr_t extra;
};

// Draws with the identity moved by (0, -scrollPosition) followed by the
// request's matrix: kind 0 the item list, kind 1 the highlight list
// (holding the current view's lock); other kinds draw nothing. 0 or the
// walk's result (Res_stopRequested when the task was asked to stop).
[[nodiscard]] int View_drawScrolledItems(EngineContext *ctx, ScrolledView *view,
                                         int32_t scrollPosition, const ScrolledRequest *request);
// Draws the highlight list at the view's scroll position: the request's
// kind is 1 meanwhile and 0 afterwards.
[[nodiscard]] int View_drawScrolledHighlights(EngineContext *ctx, ScrolledView *view,
                                              ScrolledRequest *request);

// The band memory and where the bands go: band (pixels of the target's
// width, bandHeight rows) with bandBitmap over the same pixels, the
// background colour 0x00BBGGRR each band starts from, and the page, hooks
// and bitmap that Edr_Page_fillBackground paints the band into.
struct ScrolledBands {
    PixelBuf *band;
    Bitmap *bandBitmap;
    int32_t bandHeight;
    uint32_t background;
    const Edr_PageRec *page;
    Edr_ScreenHooks *hooks;
    Bitmap *pageBitmap;
};

// Renders rect (pixels of the page bitmap) band by band from the bottom
// up: each band is filled with the background, the items meeting it are
// drawn, the highlights over them, and the band is painted into the page.
// 0, Res_nullInput without bands, or the first error (48 stops).
[[nodiscard]] int View_renderBands(EngineContext *ctx, ScrolledView *view, const Rect *rect,
                                   ScrolledRequest *request, const ScrolledBands *bands);
// Sets the view's column up for the box, matrix and scale of the current
// display (Column_setupForView) and renders rect in bands.
[[nodiscard]] int View_renderScrolled(EngineContext *ctx, ScrolledView *view, const Rect *box,
                                      int32_t pageScale, const Rect *rect, ScrolledRequest *request,
                                      const ScrolledBands *bands);
