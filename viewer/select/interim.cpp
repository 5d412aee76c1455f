// Interim definitions of the viewer's highlight services, kept apart from
// the viewer's other stand-ins so that tests can bring their own views.
#include "core/result.h"
#include "graphics/path.h"
#include "viewer/docview.h"

// Interim: no page is shown before the display manager, so no view shows a
// run.
int Select_visitViewNodes(PageView *, Edr_Node *, Select_RunVisitFn, void *, void *, int)
{
    return Res_ok;
}

// Interim: nothing is drawn; the outline is freed.
int Select_addHighlight(EngineContext *, const int32_t *, PageView *, void **handle, Path *path, void *, int,
                        uint32_t, int, uint32_t, int)
{
    if (handle)
        *handle = nullptr;
    Path_destroy(path);
    return Res_ok;
}

void Select_removeHighlights(PageView *, int)
{
}
