// Page navigation, fit and alignment: the viewer moves between the pages
// of the shown document and places a page in the visible area.
//
// Geometry is in integer screen pixels; zoom values are 16.16 (0x10000 is
// 100 %, one page inch shown as the screen's resolution in pixels). The view
// area is the bound screen less the margins that the viewer's listeners of
// code 1 claim; V is the page view's view rectangle and C its content
// rectangle (viewer/fvdisplay.h). Everything here runs on the application
// thread.
#pragma once

#include <cstdint>

#include "core/geom/geom.h"
#include "core/geom/rect.h"

struct FvViewer;
struct FvPage;
struct Edr_Doc;
struct Url;
struct FvScrollReport;

enum : int32_t {
    // View modes.
    FvViewMode_page = 0x10000,
    FvViewMode_flow = 0x10001,
    FvViewMode_reflow = 0x10002,

    // Listener codes of the viewer record.
    FvListen_viewMargins = 1, // FvMarginQuery: the margins of the view area
    FvListen_viewChanged = 2, // FvViewChange: the view moved
    FvListen_pageChanged = 3, // the new current index (int32_t *)
    FvListen_panLimits = 4,
    FvListen_docRect = 9, // FvRectEvent: a document rectangle to note

    // Host requests.
    Fv_requestView = 0x10013,     // FvViewReport
    Fv_requestFragment = 0x1001a, // the URL's text (char *)

    // A page record is missing.
    Fv_errorNoPage = 23296,
};

// The record of a margin query: the screen's orientation code and the four
// margins, each 0 until a listener sets it.
struct FvMarginQuery {
    int32_t orientation;
    int32_t *left;
    int32_t *right;
    int32_t *top;
    int32_t *bottom;
};

// The record of listener code 2: {1, flag}.
struct FvViewChange {
    int32_t one;
    int32_t flag;
};

// Request 0x10013: the page view's pan position and the visible
// rectangle's extents, both divided by the screen's scale (16.16).
struct FvViewReport {
    int32_t panX;
    int32_t panY;
    int32_t width;
    int32_t height;
};

// ------------------------------------------------------------ the area

// Clears the margins, then asks the listeners of code 1 for them. Each
// output may be null.
void Fv_queryMargins(FvViewer *viewer, int32_t *left, int32_t *right, int32_t *top,
                     int32_t *bottom);
// Fv_getViewArea is declared with the screen operations
// (viewer/screen/resize.h).

// The page view's view rectangle (V) and content rectangle (C); in view
// mode 0x10002 V is the usable area.
void Fv_visibleRect(FvViewer *viewer, FvPage *page, Rect *out);
void Fv_contentRect(FvViewer *viewer, FvPage *page, Rect *out);
// Pans a page taller than the area it is shown in so that its end (its
// bottom edge) shows at the area's bottom, as a desktop viewer's End shows
// the end of a document; a page that fits is left where it is.
void Fv_showPageEnd(FvViewer *viewer, FvPage *page);
// Width, height and centre of a rectangle with the halves taken by
// shifting; all 0 for an empty one.
void Fv_rectSizeAndCentre(const Rect *rect, int32_t *width, int32_t *height, int32_t *cx,
                          int32_t *cy);

// Fit zooms of a page of pageWidth x pageHeight pixels (at 100 %) in a
// display area: width fit, height fit and the smaller as whole-page fit.
// 0; Res_notFound when the page or the display has no size (or a fit
// would not be a zoom), the outputs then 0.
[[nodiscard]] int Fv_fitZoomsOf(float displayWidth, float displayHeight, float pageWidth,
                                float pageHeight, int32_t *widthFit, int32_t *heightFit,
                                int32_t *wholeFit);
// The same for the page's current page in the display view.
[[nodiscard]] int Fv_computeFitZooms(FvViewer *viewer, FvPage *page, int32_t *widthFit,
                                     int32_t *heightFit, int32_t *wholeFit);

// ------------------------------------------------------------ the pages

int Fv_isPageIndexValid(FvPage *page, int32_t index);
// Stores the current index and count; a change goes to the host
// (Host_reportPage with index + 1 and the count) and to listeners of code 3.
void Fv_setCurrentPage(FvViewer *viewer, FvPage *page, int32_t index);
// Shows page index; an invalid index does nothing. 0 or the first error.
[[nodiscard]] int Fv_gotoPage(FvViewer *viewer, FvPage *page, int32_t index);
// Goes to the previous (direction 1) or next (2) page: the new index into
// *index (may be null) and returned; 0 when nothing moved.
int32_t Fv_gotoAdjacentPage(FvViewer *viewer, FvPage *page, int32_t direction, int32_t *index);
// Jumps to the fragment of document: its page and its rectangle. With
// history, the positions before and after go to the browsing history as
// "page-N" fragments of the page's URL; with url, its text goes to the host
// (request 0x1001a). 0 or the first error.
[[nodiscard]] int Fv_gotoFragment(FvViewer *viewer, FvPage *page, Edr_Doc *document,
                                  const char16_t *fragment, const Url *url, int history);
// Brings a document rectangle into view: mode 1 centred when outside, 2
// moved only along the axes it is outside, 3 to the top-left corner.
void Fv_showRect(FvViewer *viewer, FvPage *page, const Rect *rect, int32_t mode, int force);
// The view area as Fv_showRect sees it: left and top margins, usable size
// and centre.
struct FvShowArea {
    int32_t left, top, width, height, centreX, centreY;
};
// The pan of Fv_showRect for the rectangle's screen corners p1 (x0, y0)
// and p2 (x1, y1), y counted down; flowView is the page view's view
// rectangle outside page view (null in page view). 1 when it pans.
int Fv_showRectOffsets(int32_t mode, int force, const Point *p1, const Point *p2,
                       const FvShowArea *area, const Rect *flowView, int32_t *dx, int32_t *dy);

// The alignment offsets of mode 0-15 for V and C.
void Fv_alignOffsetsOf(int32_t mode, const Rect *v, const Rect *c, int32_t *dx, int32_t *dy);
void Fv_alignOffsets(FvViewer *viewer, FvPage *page, int32_t mode, int32_t *dx, int32_t *dy);
void Fv_alignPage(FvViewer *viewer, FvPage *page, int32_t mode, int end);
void Fv_alignOrDefer(FvViewer *viewer, FvPage *page, int32_t mode, int end);

// ------------------------------------------------------------ fitting

// Fit mode 0 the current zoom, 1 whole page, 2 width, 3 the previous
// target, 4 height. Non-zero when the zoom changed or the page moved.
int Fv_fitPage(FvViewer *viewer, FvPage *page, int32_t fitMode, int vertical);
// Clamps zoom (0: the current page zoom) and applies it about the view
// area's centre when it changed.
void Fv_applyZoom(FvViewer *viewer, FvPage *page, int32_t zoom);
void Fv_applyInitialFit(FvViewer *viewer, FvPage *page);
void Fv_applyPageFitDefault(FvViewer *viewer, FvPage *page, int32_t fitMode, int32_t flag);
// Fv_fitFlags is declared with the screen operations.
void Fv_reportView(FvViewer *viewer);
// Host request 0x10026 (FvScrollReport) with the current page's vertical
// position in the visible area.
void Fv_reportScroll(FvViewer *viewer);
// The report's figures from the page's rectangle (page) and the visible
// area (area), both in view pixels counting y upwards.
void Fv_scrollOf(const Rect *page, const Rect *area, FvScrollReport *out);
void Fv_reportZoom(FvViewer *viewer);
// Makes sure the page has a current page. 0 or the page-change hook's
// refusal.
[[nodiscard]] int Fv_ensureCurrentPage(FvViewer *viewer, FvPage *page);
void Fv_gotoEveryPage(FvViewer *viewer, FvPage *page);
// Width and height of the n-th page's bounds (page units as floats,
// inches). 0, Fv_errorNoPage without a page record, or the lookup's error.
[[nodiscard]] int Fv_pageSizeAt(FvPage *page, int32_t index, float *width, float *height);

// The fit, alignment and fragment steps of a first display.
void Fv_firstDisplayPlacement(FvViewer *viewer, FvPage *page);

// ------------------------------------------------------------ flow

// The view mode (0x10000 without the flow view operations).
int32_t Fv_viewMode(FvViewer *viewer);
int Fv_canFlow(FvPage *page);
int Fv_canReflow(FvPage *page);
void Fv_updateFlowFlag(FvPage *page);
void Fv_checkFlow(FvPage *page, int typedOnly);
void Fv_setViewMode(FvViewer *viewer, int32_t mode);
void Fv_queryViewMode(FvViewer *viewer);

// Pan to page: for a pan in direction d (1 up, 2 down, 3 left, 4 right)
// that reaches the page edge, the alignment mode of the page to show (7,
// 9 previous; 11, 13 next) and the direction of the move (1 previous, 2
// next) into *move; 0 when the pan stays on the page.
int32_t Fv_panToPageMode(FvViewer *viewer, FvPage *page, int32_t direction, int32_t *move);
