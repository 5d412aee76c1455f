// Clearing the marks left on the display manager's views (viewer/viewmarks.h).
#include "viewer/viewmarks.h"

#include "core/context/context.h"
#include "viewer/dispman.h"

void DocList_clearViewMarks(EngineContext *context)
{
    DispmanCtx *dm = context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
    DispmanView *view = nullptr;
    while (dm && DocList_nextLocked(dm, &view, 0, 0)) {
        view->drawThrough = 0;
        view->spare = 0;
    }
}
