// The viewer's handles on the display manager: its display view on the
// current screen (FvDisplay) and one document's view inside it
// (FvPageView), with one-line forwarding operations.
//
// The viewer never calls the display manager directly. Each operation
// passes the handle's fields to one display-manager operation and returns
// its result unchanged; the adapter adds only the handle bookkeeping, the
// colour reordering and FvPageView_panStep.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct DispmanView;
struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Point;
struct Screen;

struct FvDisplay {
    EngineContext *engine;
    DispmanView *view;
    Edr_Doc *viewDocument; // read from the view at creation (lent)
    Edr_Node *pageGroup;   // its page group (lent)
};

struct FvPageView {
    FvDisplay *display;
    Edr_Node *node; // the page link showing the document (0 until there is one)
};

enum : int32_t {
    // Pan change modes.
    FvPan_move = 2,
    FvPan_end = 3,
};

// A display view for screen with the background colour 0xRRGGBBAA (its
// bytes reversed into 0xFFBBGGRR, alpha forced to 0xff). 0 with *out; 1
// out of memory, or the display manager's error (nothing kept).
[[nodiscard]] int FvDisplay_create(EngineContext *engine, Screen *screen, uint32_t colour,
                                   FvDisplay **out);
// Closes the view and frees the handle (null allowed).
void FvDisplay_free(FvDisplay *display);
// The size of the view's page.
void FvDisplay_getSize(FvDisplay *display, float *width, float *height);
// Queues the whole view for the high-quality list only (sub-code 3).
int Edr_Fwd_sendViewOp(FvDisplay *display);
// The high-quality updater's priority: 1 for a set flag, 3 otherwise.
void FvDisplay_setHqPriority(FvDisplay *display, int flag);
// Makes screen the view's client. 0 or the error.
[[nodiscard]] int FvDisplay_request(FvDisplay *display, Screen *screen, const Rect *clip);

// A page view in the display showing document (none yet for null). 0; 1
// on any failure (*out null).
[[nodiscard]] int FvPageView_create(FvDisplay *display, Edr_Doc *document, FvPageView **out);
void FvPageView_free(FvPageView *pageView);
// Makes the view show document. 0 or an error.
[[nodiscard]] int FvPageView_setDocument(FvPageView *pageView, Edr_Doc *document);
// The pan position: the translation of the page link's placement.
void FvPageView_getPan(FvPageView *pageView, int32_t *x, int32_t *y);
// Queues a pan (FvPan_move or FvPan_end). 0 or the queue's error.
int FvPageView_pan(FvPageView *pageView, int32_t dx, int32_t dy, int32_t mode);
// Pans by (dx, dy); when the position did not change, ends the pan.
[[nodiscard]] int FvPageView_panStep(FvPageView *pageView, int32_t dx, int32_t dy);
// The display view's page rectangle in view pixels (under its render
// lock) and its pan-limit rectangle (under its geometry lock).
void Edr_Fwd_getViewRect(FvPageView *pageView, Rect *out);
void Edr_Fwd_getSubRect(FvPageView *pageView, Rect *out);
// Sets the zoom (16.16) about (x, y); code 9 and 10 are the passes of a
// fit.
int FvPageView_setZoom(FvPageView *pageView, int32_t zoom, uint32_t code, int32_t x, int32_t y);
// The scale word (16.16) of the page link: the zoom the document is shown
// at; 0x10000 when the page view has no page link.
int32_t Edr_Fwd_subdocScale(FvPageView *pageView);
void FvPageView_getZoomLimits(FvPageView *pageView, int32_t *minimum, int32_t *maximum);
// The pan-limit rectangle becomes rect clipped to the view rectangle, or
// returns to its start without one.
void FvPageView_setPanLimits(FvPageView *pageView, const Rect *rect);
// A point of document's page into view pixels. 0 or the display manager's
// error.
[[nodiscard]] int Edr_Fwd_scalePoint(FvPageView *pageView, Edr_Doc *document, const Point *in,
                                     Point *out);
// The document and page index the view shows: 1 when found (else 0,
// *document null and *index -1).
int Edr_Fwd_findSubdocPage(FvPageView *pageView, Edr_Doc **document, int32_t *index);
// Queues the switch of the view to document's page (key, kind).
int FvPageView_showPage(FvPageView *pageView, Edr_Doc *document, int32_t key, uint32_t kind);

// Selects in the page view at the screen point (x, y) with the view mode
// (0-7). 0 when a selection was made; 4356 or 1558 when the point hit
// nothing selectable; another value is an error.
[[nodiscard]] int Edr_Fwd_selectAtPoint(FvPageView *pageView, int32_t x, int32_t y, uint32_t mode);
// Extends the selection to the text nearest the screen point (x, y), on
// the page under it; 1 when extended.
int Edr_Fwd_extendAtPoint(FvPageView *pageView, int32_t x, int32_t y);
// The page point of the screen point in document's page: 0 when it lies
// on a page.
[[nodiscard]] int Edr_Fwd_pagePoint(FvPageView *pageView, Edr_Doc *document, const Point *in,
                                    Point *out);
