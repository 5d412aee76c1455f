// The viewer's operations that the document model calls: a document's
// highlight style and shared lists, its focus, the publication of a
// finished layout pass, and walks over the laid-out objects of its view.
// The viewer installs the table on the engine context when it starts
// (viewer/docops.h); the document model calls through the Edr_View_
// functions below. Without a table no record is made (0, *cell null),
// nothing is published (0), no tick runs, the view mode is the page view (0), there is no edit
// focus, a walk visits nothing (0), a sub-document has the empty rectangle (0) and no node is shown
// to be redrawn (1).
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct ObjHeader;
struct EventProcMsg;
struct Edr_PageEntry;
struct LaidOutTextRun;
struct PageView;
struct Path;
typedef int (*Select_RunVisitFn)(LaidOutTextRun *run, void *context);

struct Edr_ViewOps {
    int (*createHighlightStyle)(EngineContext *context, void **cell);
    void (*destroyHighlightStyle)(void *record);
    void (*releaseFocus)(void *record, Edr_Doc *doc);
    int (*publishLayout)(Edr_Doc *doc);
    int (*createSharedLists)(void **cell);
    void (*destroySharedLists)(void *record);
    int (*hasEditFocus)(Edr_Doc *doc);
    // Visits the laid-out objects of the view meeting area (null: all):
    // 0 or the visitor's stop value.
    int (*walkObjects)(Edr_Doc *doc, int (*visitor)(ObjHeader *object, void *context),
                       void *context, const int32_t *area, void *extra);
    int (*focusHitTest)(Edr_Doc *doc, Edr_Node *subdoc, int32_t out[4], void *unused);
    // The document's animation tick: stopped at manager shut-down, run on
    // the settle notification.
    void (*cancelTick)(Edr_Doc *doc);
    void (*tick)(void *context, EventProcMsg *msg, Edr_Doc *doc);
    // The engine's view mode (0 page view, 1 or 3 flow) and, in a flow
    // mode, the width text flows to (16.16; null width allowed).
    void (*viewMode)(EngineContext *app, uint32_t *mode, int32_t *width);
    // The laid-out runs of the page views and highlights drawn on them
    // (document/edr/pageview.h): the runs of a node (of every node for a
    // null node) shown by a chain of views (one view when all is 0) or by a
    // page entry, a highlight added on a view with its outline path (taken
    // over) and its colours, the removal of a view's highlights by their
    // temporary flag, and the freeing of a chain of views.
    int (*visitViewNodes)(PageView *view, Edr_Node *node, Select_RunVisitFn visitor, void *context,
                          void *out, int all);
    int (*visitEntryRuns)(Edr_PageEntry *entry, Edr_Node *node, Select_RunVisitFn visitor,
                          void *context);
    int (*addHighlight)(EngineContext *app, const int32_t key[2], PageView *view, void **handle,
                        Path *path, void *unused, int zero, uint32_t border, int width,
                        uint32_t fill, int flag);
    void (*removeHighlights)(PageView *view, int flag);
    void (*freeViews)(PageView *views);
    // Queues a redraw of the area that the display items of node take on
    // the pages the views show: 0 when one was queued, 1 when no shown
    // page holds an item of it, or an error code.
    int (*redrawNode)(Edr_Doc *doc, Edr_Node *node);
};

// The installed table of context, or of the calling engine thread's
// context when context is null; null when none is installed.
const Edr_ViewOps *Edr_ViewOps_get(EngineContext *context);

// The calls through the table (context null: the calling thread's).
[[nodiscard]] int Edr_View_createHighlightStyle(EngineContext *context, void **cell);
void Edr_View_destroyHighlightStyle(EngineContext *context, void *record);
void Edr_View_releaseFocus(EngineContext *context, void *record, Edr_Doc *doc);
[[nodiscard]] int Edr_View_publishLayout(EngineContext *context, Edr_Doc *doc);
[[nodiscard]] int Edr_View_createSharedLists(EngineContext *context, void **cell);
void Edr_View_destroySharedLists(EngineContext *context, void *record);
int Edr_View_hasEditFocus(EngineContext *context, Edr_Doc *doc);
[[nodiscard]] int Edr_View_walkObjects(EngineContext *context, Edr_Doc *doc,
                                       int (*visitor)(ObjHeader *object, void *context),
                                       void *visitContext, const int32_t *area, void *extra);
[[nodiscard]] int Edr_View_focusHitTest(EngineContext *context, Edr_Doc *doc, Edr_Node *subdoc,
                                        int32_t out[4]);
void Edr_View_cancelTick(EngineContext *context, Edr_Doc *doc);
void Edr_View_tick(EngineContext *context, void *tickContext, EventProcMsg *msg, Edr_Doc *doc);
void Edr_View_viewMode(EngineContext *context, uint32_t *mode, int32_t *width);
// Without a table a visit visits nothing (0), an added highlight frees its
// path and is not drawn (0), nothing is removed, and views are freed with
// their children (no highlight is made without the viewer).
[[nodiscard]] int Edr_View_visitViewNodes(EngineContext *context, PageView *view, Edr_Node *node,
                                          Select_RunVisitFn visitor, void *visitContext, void *out,
                                          int all);
[[nodiscard]] int Edr_View_visitEntryRuns(EngineContext *context, Edr_PageEntry *entry,
                                          Edr_Node *node, Select_RunVisitFn visitor,
                                          void *visitContext);
[[nodiscard]] int Edr_View_addHighlight(EngineContext *context, const int32_t key[2],
                                        PageView *view, void **handle, Path *path, uint32_t border,
                                        int width, uint32_t fill, int flag);
void Edr_View_removeHighlights(EngineContext *context, PageView *view, int flag);
void Edr_View_freeViews(EngineContext *context, PageView *views);
int Edr_View_redrawNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node);
