// Calls from the document model into layout, through the table layout
// installs on the engine context.
#include "document/edr/layoutops.h"

#include "core/context/context.h"
#include "core/host/hostservices.h"
#include "core/result.h"

const Edr_LayoutOps *Edr_LayoutOps_get(EngineContext *context)
{
    if (!context) {
        EngineInstance *instance = Host_getThreadContext();
        context = instance ? instance->context : nullptr;
    }
    return context ? context->layoutOps : nullptr;
}

// The installed entry of the table, or null. The table is looked up once:
// without a context the lookup goes through the calling thread.
#define EDR_LAYOUT_ENTRY(context, name)                                                            \
    ([](const Edr_LayoutOps *ops) { return ops ? ops->name : nullptr; }(Edr_LayoutOps_get(context)))

int Edr_Layout_document(EngineContext *context, Edr_Doc *doc)
{
    auto fn = EDR_LAYOUT_ENTRY(context, layoutDocument);
    return fn ? fn(doc) : Res_ok;
}

int Edr_Layout_redrawNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node)
{
    auto fn = EDR_LAYOUT_ENTRY(context, redrawNode);
    return fn ? fn(context, doc, node) : Res_ok;
}

void Edr_Layout_extraFree(EngineContext *context, void *record)
{
    if (auto fn = EDR_LAYOUT_ENTRY(context, extraFree))
        fn(record);
}

void Edr_Layout_paletteColour(EngineContext *context, uint32_t index, uint8_t out[4])
{
    if (auto fn = EDR_LAYOUT_ENTRY(context, paletteColour)) {
        fn(index, out);
        return;
    }
    out[0] = out[1] = out[2] = out[3] = 0;
}

void Edr_Layout_clearCache(EngineContext *context, void *cache)
{
    if (auto fn = EDR_LAYOUT_ENTRY(context, clearCache))
        fn(cache);
}

#undef EDR_LAYOUT_ENTRY
