// The table of viewer operations handed to the document model.
#include "viewer/docops.h"

#include "core/context/context.h"
#include "core/result.h"
#include "document/edr/viewops.h"
#include "viewer/anim/anim.h"
#include "viewer/docview.h"

namespace {

constexpr Edr_ViewOps kViewDocumentOps = {
    View_createHighlightStyle,
    View_destroyHighlightStyle,
    View_releaseFocus,
    View_publishLayout,
    View_createSharedLists,
    View_destroySharedLists,
    View_hasEditFocus,
    View_walkObjects,
    View_focusHitTest,
    Anim_cancelTick,
    Anim_tick,
    ViewMode_get,
    Select_visitViewNodes,
    Select_visitEntryRuns,
    Select_addHighlight,
    Select_removeHighlights,
    Select_freeViews,
    View_redrawNode,
};

} // namespace

int View_installDocumentOps(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    context->viewOps = &kViewDocumentOps;
    return Res_ok;
}
