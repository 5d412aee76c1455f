// Calls from the document model into the viewer, through the table the
// viewer installs on the engine context.
#include "document/edr/viewops.h"

#include "core/context/context.h"
#include "core/host/hostservices.h"
#include "core/result.h"

const Edr_ViewOps *Edr_ViewOps_get(EngineContext *context)
{
    if (!context) {
        EngineInstance *instance = Host_getThreadContext();
        context = instance ? instance->context : nullptr;
    }
    return context ? context->viewOps : nullptr;
}

// The installed entry of the table, or null.
#define EDR_VIEW_ENTRY(context, name) \
    (Edr_ViewOps_get(context) ? Edr_ViewOps_get(context)->name : nullptr)

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

int Edr_View_walkObjects(EngineContext *context, Edr_Doc *doc, int (*visitor)(ObjHeader *object, void *context),
                         void *visitContext, const int32_t *area, void *extra)
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

int Edr_View_redrawNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node)
{
    auto fn = EDR_VIEW_ENTRY(context, redrawNode);
    return fn ? fn(doc, node) : 1;
}

#undef EDR_VIEW_ENTRY
