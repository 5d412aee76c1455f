// Viewer services that the document model calls: the document's view
// record and shared lists, and the display record whose rectangle the view
// forwarders read. The viewer defines the records.
#pragma once

#include <cstdint>

#include "core/task/lock.h"
#include "document/edr/doc.h"
#include "document/edr/pageview.h"
// The document's animation tick (Anim_cancelTick at manager shut-down,
// Anim_tick on the settle notification).
#include "viewer/anim/anim.h"
#include "viewer/view.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_PageEntry;
struct EventProcMsg;
struct DrawTarget;
struct Matrix;
struct ObjHeader;

// DispView and DispPageSize: document/edr/doc.h.

// Under the view's lock sets its clip rectangle {x0, y0, x1, y1} to rect
// clipped to the view's rectangle; nothing for a null rect.
void View_setClipRect(DispView *view, const int32_t rect[4]);

// HighlightStyle, PageView and FvArea: document/edr/pageview.h.

// The default highlight colours: the border is entry 6 (focus) or 0
// (active) of the named colours; the fill is the border with red, green
// and blue halved and alpha 0x40.
void View_defaultHighlightColours(uint32_t *border, uint32_t *fill, int active);

// Creates the document's highlight style record into *cell, its colours
// read from "Vexlan_FocusBorderColour", "Vexlan_FocusFillColour",
// "Vexlan_ActiveBorderColour" and "Vexlan_ActiveFillColour" and its
// thumbnail maximum from "Vexlan_thumbnailsMax" (section "Core"). 0, 1 when
// out of memory, or the lock's error.
[[nodiscard]] int View_createHighlightStyle(EngineContext *context, void **cell);
// Frees the page entries (with their records), frees the search and the
// record (null allowed). The focus must have been let go
// (View_releaseFocus) while the node tree still stood.
void View_destroyHighlightStyle(void *record);
// Gives back the focused node's reference and forgets the focus, for the
// document's tear-down before its node tree goes (no lock is taken: no
// other task reaches the document then). Null record allowed.
void View_releaseFocus(void *record, Edr_Doc *doc);

// Hands a finished layout pass to the display side so that changed pages
// are redrawn (called by the eDR manager after a successful pass). 0 or an
// error.
[[nodiscard]] int View_publishLayout(Edr_Doc *doc);
// Queues a redraw of the area that node's display items (or the image
// items of its group, for a picture) take in the views that show their
// pages: 0, 1 when no view shows an item of it, or an error.
[[nodiscard]] int View_redrawNode(Edr_Doc *doc, Edr_Node *node);

// The document's shared lists.
[[nodiscard]] int View_createSharedLists(void **cell);
void View_destroySharedLists(void *record);
// Non-zero when the document's view has a focused editing object.
int View_hasEditFocus(Edr_Doc *doc);
// A visitor of laid-out objects: 0 to go on, anything else stops the walk
// with that value.
typedef int (*View_ObjectVisitFn)(ObjHeader *object, void *context);
// Walks the laid-out objects of the document's current view whose
// rectangles meet area {x0, y0, x1, y1} (null: all). The objects are lent
// for the call. 0 or the visitor's stop value.
[[nodiscard]] int View_walkObjects(Edr_Doc *doc, View_ObjectVisitFn visitor, void *context,
                                   const int32_t *area, void *extra);
// The view rectangle of a sub-document node in its parent document's
// coordinates into out {x0, y0, x1, y1}: the bounding box of the node's
// display items in the parent's page views, moved by their origins; all 0
// when no view shows it. The caller holds the parent's read lock. 0 or an
// error.
[[nodiscard]] int View_focusHitTest(Edr_Doc *doc, Edr_Node *subdoc, int32_t out[4], void *unused);

// The engine's view mode: *mode 0 (page view), 1 or 3 (the flow modes) and,
// when the mode is not 0 and width is not null, *width the width the
// layout flows to (16.16).
void ViewMode_get(EngineContext *app, uint32_t *mode, int32_t *width);

// ------------------------------------------------------------ highlights

struct LaidOutTextRun;
struct Path;

// Calls visitor for every laid-out run of node (of every node for null)
// shown by the chain of page views starting at view (only that view when
// all is 0). out is the
// viewer's word (may be null). The first error.
[[nodiscard]] int Select_visitViewNodes(PageView *view, Edr_Node *node, Select_RunVisitFn visitor,
                                        void *context, void *out, int all);
// Frees a chain of views with their children and highlight records,
// reporting nothing (the page they showed is gone).
void Select_freeViews(PageView *views);
// Draws the highlight records of a chain of views through matrix into
// target. 0 or the first drawing error.
[[nodiscard]] int Select_drawViewHighlights(EngineContext *ctx, PageView *views,
                                            const Matrix *matrix, const DrawTarget *target);
// The same over a page entry: its views, or for a page shown without
// views the display items of its content pieces. The first error.
[[nodiscard]] int Select_visitEntryRuns(Edr_PageEntry *entry, Edr_Node *node,
                                        Select_RunVisitFn visitor, void *context);
// Adds a highlight drawn with the outline path (taken over) on the view
// and reports the changed area: border colour, border width, fill colour
// (0xRRGGBBAA) and the temporary flag. *handle (may be null) gets the
// record. 0 or an error (the path is freed then too).
[[nodiscard]] int Select_addHighlight(EngineContext *app, const int32_t key[2], PageView *view,
                                      void **handle, Path *path, void *unused, int zero,
                                      uint32_t border, int width, uint32_t fill, int flag);
// Removes the view's highlights whose temporary flag is flag.
void Select_removeHighlights(PageView *view, int flag);
