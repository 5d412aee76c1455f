// The table of layout operations handed to the document model.
#include "layout/docops.h"

#include "core/context/context.h"
#include "core/host/hostservices.h"
#include "core/result.h"
#include "document/edr/layoutops.h"
#include "layout/layout.h"
#include "layout/line.h"

namespace {

// The document keeps its layout cache as an untyped word.
void Layout_clearCacheWord(void *cache)
{
    Layout_clearCache(static_cast<LayoutCache *>(cache));
}

constexpr Edr_LayoutOps kLayoutDocumentOps = {
    Layout_document,      Layout_redrawNode,     Edr_Node_extraFree,
    Layout_paletteColour, Layout_clearCacheWord,
};

} // namespace

int Layout_installDocumentOps(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    context->layoutOps = &kLayoutDocumentOps;
    return Res_ok;
}

int Layout_gridNode(LayoutBox *box, Edr_Node *node, Edr_Style *style)
{
    EngineContext *context = box ? box->context : nullptr;
    if (!context) {
        EngineInstance *instance = Host_getThreadContext();
        context = instance ? instance->context : nullptr;
    }
    return context && context->layoutGridNode ? context->layoutGridNode(box, node, style)
                                              : int(Res_ok);
}
