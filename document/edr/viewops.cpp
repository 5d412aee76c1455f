// Calls from the document model into the viewer, through the table the
// viewer installs on the engine context.
#include "document/edr/viewops.h"

#include "core/context/context.h"
#include "core/host/hostservices.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/pageview.h"
#include "graphics/path.h"

const Edr_ViewOps *Edr_ViewOps_get(EngineContext *context)
{
    if (!context) {
        EngineInstance *instance = Host_getThreadContext();
        context = instance ? instance->context : nullptr;
    }
    return context ? context->viewOps : nullptr;
}

// The installed entry of the table, or null. The table is looked up once:
// without a context the lookup goes through the calling thread.
#define EDR_VIEW_ENTRY(context, name)                                                              \
    ([](const Edr_ViewOps *ops) { return ops ? ops->name : nullptr; }(Edr_ViewOps_get(context)))

int Edr_View_createHighlightStyle(EngineContext *context, void **cell)
{
    if (auto fn = EDR_VIEW_ENTRY(context, createHighlightStyle))
        return fn(context, cell);
    *cell = nullptr;
    return Res_ok;
}

void Edr_View_destroyHighlightStyle(EngineContext *context, void *record)
{
    if (auto fn = EDR_VIEW_ENTRY(context, destroyHighlightStyle))
        fn(record);
}

void Edr_View_releaseFocus(EngineContext *context, void *record, Edr_Doc *doc)
{
    if (auto fn = EDR_VIEW_ENTRY(context, releaseFocus))
        fn(record, doc);
}

int Edr_View_publishLayout(EngineContext *context, Edr_Doc *doc)
{
    auto fn = EDR_VIEW_ENTRY(context, publishLayout);
    return fn ? fn(doc) : Res_ok;
}

int Edr_View_createSharedLists(EngineContext *context, void **cell)
{
    if (auto fn = EDR_VIEW_ENTRY(context, createSharedLists))
        return fn(cell);
    *cell = nullptr;
    return Res_ok;
}

void Edr_View_destroySharedLists(EngineContext *context, void *record)
{
    if (auto fn = EDR_VIEW_ENTRY(context, destroySharedLists))
        fn(record);
}

int Edr_View_hasEditFocus(EngineContext *context, Edr_Doc *doc)
{
    auto fn = EDR_VIEW_ENTRY(context, hasEditFocus);
    return fn ? fn(doc) : 0;
}

int Edr_View_walkObjects(EngineContext *context, Edr_Doc *doc,
                         int (*visitor)(ObjHeader *object, void *context), void *visitContext,
                         const int32_t *area, void *extra)
{
    auto fn = EDR_VIEW_ENTRY(context, walkObjects);
    return fn ? fn(doc, visitor, visitContext, area, extra) : Res_ok;
}

int Edr_View_focusHitTest(EngineContext *context, Edr_Doc *doc, Edr_Node *subdoc, int32_t out[4])
{
    if (auto fn = EDR_VIEW_ENTRY(context, focusHitTest))
        return fn(doc, subdoc, out, nullptr);
    out[0] = out[1] = out[2] = out[3] = 0;
    return Res_ok;
}

void Edr_View_cancelTick(EngineContext *context, Edr_Doc *doc)
{
    if (auto fn = EDR_VIEW_ENTRY(context, cancelTick))
        fn(doc);
}

void Edr_View_tick(EngineContext *context, void *tickContext, EventProcMsg *msg, Edr_Doc *doc)
{
    if (auto fn = EDR_VIEW_ENTRY(context, tick))
        fn(tickContext, msg, doc);
}

void Edr_View_viewMode(EngineContext *context, uint32_t *mode, int32_t *width)
{
    if (auto fn = EDR_VIEW_ENTRY(context, viewMode)) {
        fn(context, mode, width);
        return;
    }
    *mode = 0;
    if (width)
        *width = 0;
}

int Edr_View_visitViewNodes(EngineContext *context, PageView *view, Edr_Node *node,
                            Select_RunVisitFn visitor, void *visitContext, void *out, int all)
{
    auto fn = EDR_VIEW_ENTRY(context, visitViewNodes);
    return fn ? fn(view, node, visitor, visitContext, out, all) : Res_ok;
}

int Edr_View_visitEntryRuns(EngineContext *context, Edr_PageEntry *entry, Edr_Node *node,
                            Select_RunVisitFn visitor, void *visitContext)
{
    auto fn = EDR_VIEW_ENTRY(context, visitEntryRuns);
    return fn ? fn(entry, node, visitor, visitContext) : Res_ok;
}

int Edr_View_addHighlight(EngineContext *context, const int32_t key[2], PageView *view,
                          void **handle, Path *path, uint32_t border, int width, uint32_t fill,
                          int flag)
{
    if (auto fn = EDR_VIEW_ENTRY(context, addHighlight))
        return fn(context, key, view, handle, path, nullptr, 0, border, width, fill, flag);
    if (handle)
        *handle = nullptr;
    Path_destroy(path);
    return Res_ok;
}

void Edr_View_removeHighlights(EngineContext *context, PageView *view, int flag)
{
    if (auto fn = EDR_VIEW_ENTRY(context, removeHighlights))
        fn(view, flag);
}

void Edr_View_freeViews(EngineContext *context, PageView *views)
{
    if (auto fn = EDR_VIEW_ENTRY(context, freeViews)) {
        fn(views);
        return;
    }
    while (views) {
        PageView *next = views->next;
        Edr_View_freeViews(context, views->firstChild);
        Mem_free(views);
        views = next;
    }
}

int Edr_View_redrawNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node)
{
    auto fn = EDR_VIEW_ENTRY(context, redrawNode);
    return fn ? fn(doc, node) : 1;
}

#undef EDR_VIEW_ENTRY
