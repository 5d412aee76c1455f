// The host's screen changes: a turn of the display and a new content size
// after full screen toggles. Both run on the application thread as
// deferred calls, where the viewer turns or resizes its screen and reports
// the outcome to the host (request 0x10003).
#include "app/screenreq.h"

#include <cstdint>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "viewer/screen/resize.h"
#include "viewer/viewer.h"

namespace {

struct ScreenRequest {
    int32_t rotation; // host orientation code; 0 for a resize
    int32_t width, height, x, y;
};

// Completion of a refused or discarded request.
void freeScreenRequest(void *arg)
{
    const intptr_t *block = static_cast<const intptr_t *>(arg);
    Mem_free(reinterpret_cast<void *>(block[3]));
}

void runScreenRequest(EngineInstance *instance, void *argument)
{
    ScreenRequest *r = static_cast<ScreenRequest *>(argument);
    if (!r)
        return;
    FvViewer *viewer = instance ? instance->viewer : nullptr;
    // Without a viewer (the engine is still starting or already stopping)
    // there is no screen to change.
    if (viewer) {
        if (r->rotation)
            (void)Fv_setOrientation(viewer, r->rotation);
        else
            (void)Fv_resizeFromHost(viewer, r->width, r->height, r->x, r->y, 0);
    }
    Mem_free(r);
}

int postScreenRequest(EngineInstance *instance, const ScreenRequest &request)
{
    if (!Engine_isLive(instance))
        return 0;
    ScreenRequest *copy = static_cast<ScreenRequest *>(Mem_malloc(sizeof(ScreenRequest)));
    if (!copy)
        return 0;
    *copy = request;
    return App_postCallHeld(instance, runScreenRequest, copy, freeScreenRequest) == 0 ? 1 : 0;
}

} // namespace

int App_setRotation(EngineInstance *instance, intptr_t value)
{
    // Codes outside the host's four turn the screen upright.
    int32_t code = value >= 0x10003 && value <= 0x10006 ? int32_t(value) : 0x10003;
    return postScreenRequest(instance, ScreenRequest{code, 0, 0, 0, 0});
}

int App_setScreenSize(EngineInstance *instance, int32_t width, int32_t height, intptr_t a,
                      intptr_t b)
{
    // A size of nothing would leave the engine no screen to draw on.
    if (width <= 0 || height <= 0)
        return 0;
    return postScreenRequest(instance, ScreenRequest{0, width, height, int32_t(a), int32_t(b)});
}
