// Resizing and turning the viewer's screen (see resize.h).
#include "viewer/screen/resize.h"

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/listeners.h"
#include "core/task/task.h"
#include "core/host/hostservices.h"
#include "platform/api/app.h"
#include "viewer/api/keys.h"
#include "viewer/fvdisplay.h"
#include "viewer/screen/screen.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

namespace {

Screen *bound(FvViewer *viewer)
{
    return viewer ? ScreenBinding_screen(viewer->screen) : nullptr;
}

int32_t orientationOfHostCode(int32_t code)
{
    return code >= int32_t(Screen_hostOrientation0) && code <= int32_t(Screen_hostOrientation3)
               ? code - int32_t(Screen_hostOrientation0)
               : 0;
}

// Applies an area operation to every screen of the list; 1 when one of
// them refused it (the callback answers 0 for a refusal).
int areaOnAll(EngineContext *context, int32_t op, const Rect *area)
{
    int32_t count = ScreenList_count(context);
    for (int32_t i = 0; i < count; i++)
        if (Screen_callArea(ScreenList_get(context, i), op, area) == 0)
            return 1;
    return 0;
}

// The key view follows the bound screen's orientation and size.
void updateKeyView(FvViewer *viewer, const Screen *screen)
{
    FvView *view = viewer->context->instance ? viewer->context->instance->keyView : nullptr;
    if (!view || !screen)
        return;
    view->screenFlags = (view->screenFlags & ~uint32_t(Fv_orientationMask)) |
                        (screen->flags & Screen_orientationMask);
    view->width = Screen_width(screen);
    view->height = Screen_height(screen);
}

uint32_t flowWidthOf(const Screen *screen)
{
    int32_t resolution =
        screen->resolution > 0 ? screen->resolution : int32_t(Screen_defaultResolution);
    return uint32_t((uint64_t(uint32_t(screen->width)) << 16) / uint32_t(resolution));
}

} // namespace

int Fv_resizeScreen(FvViewer *viewer, int32_t width, int32_t height, int32_t x, int32_t y,
                    int32_t orientation)
{
    Screen *current = bound(viewer);
    if (!current)
        return Res_nullInput;
    EngineContext *context = viewer->context;
    orientation &= 3;

    // 1. What the view looks like now.
    int32_t viewW, viewH, centreX, centreY, originX, originY;
    Fv_getViewArea(viewer, &viewW, &viewH, &centreX, &centreY);
    Screen_getViewOrigin(current, &originX, &originY);

    // 2, 3.
    bool sizeGiven = width != 0 && height != 0;
    if (!sizeGiven) {
        x = originX;
        y = originY;
    }
    int32_t currentOrientation = Screen_orientation(current);
    bool rotating = orientation != currentOrientation;
    if ((orientation ^ currentOrientation) & 1) {
        int32_t t = viewW;
        viewW = viewH;
        viewH = t;
    }

    // 4.
    viewer->resizing = rotating || sizeGiven;
    Screen_blockUpdates(current, 1);

    int result = Res_ok;
    bool owed = false;
    ResizeNotice notice{0, 0, sizeGiven ? 1 : 0, orientation};
    Screen *target = current;
    Rect area{x, y, int32_t(int64_t(x) + width), int32_t(int64_t(y) + height)};
    // The memory holds images no larger than the display: a larger or
    // negative size is refused before any area changes.
    bool turnedNow = currentOrientation & 1;
    int32_t fullW = turnedNow ? current->fullHeight : current->fullWidth;
    int32_t fullH = turnedNow ? current->fullWidth : current->fullHeight;
    bool badSize = sizeGiven && (width < 0 || height < 0 || width > fullW || height > fullH);
    if (badSize)
        sizeGiven = false;
    do {
        if (badSize) {
            result = 1;
            break;
        }
        // 5.
        if (sizeGiven && areaOnAll(context, Screen_areaSet, &area) != 0) {
            result = 1;
            break;
        }
        // 6. Without a back buffer nothing can be turned.
        if (orientation != 0 && !Screen_usesBackBuffer(current)) {
            orientation = 0;
            rotating = true;
        }
        // 7.
        int32_t index = 0;
        if (rotating) {
            target = Screen_findAllowedByOrientation(context, orientation, &index);
            if (!target) {
                target = current;
                result = 1;
                break;
            }
        }
        // 8.
        notice =
            ResizeNotice{rotating ? index : 0, rotating ? 1 : 0, sizeGiven ? 1 : 0, orientation};
        Listener_dispatch(&viewer->listeners, FvListen_resizeStart, &notice);
        owed = true;
        // 9.
        if (viewer->display) {
            int r = FvDisplay_request(viewer->display, target, nullptr);
            if (r != Res_ok) {
                target = current;
                result = r;
                break;
            }
        }
        ScreenBinding_setScreen(viewer->screen, target);
        updateKeyView(viewer, target);
        // 10.
        int32_t flow = Fv_flowMode(viewer);
        if (flow) {
            viewer->flowWidth = flowWidthOf(target);
            Fv_postFlowWidth(viewer, viewer->flowWidth, flow == 0x10001 ? 1 : 3);
        }
        Fv_refreshMargins(viewer);
        // 11.
        if (sizeGiven)
            areaOnAll(context, Screen_areaDone, nullptr);
    } while (false);

    // 12.
    if (result != Res_ok && sizeGiven) {
        areaOnAll(context, Screen_areaRestore, nullptr);
        Screen_getViewOrigin(bound(viewer), &x, &y);
    }
    // 13.
    if (owed)
        Listener_dispatch(&viewer->listeners, FvListen_resizeDone, &notice);

    // 14. Keep the content where it was on the display.
    Screen *now = bound(viewer);
    if (result == Res_ok && sizeGiven &&
        Config_getIntA(context, context->config, nullptr, "FV_zoomAfterResize", 1) == 0) {
        int32_t nx, ny;
        Screen_getViewOrigin(now, &nx, &ny);
        int32_t W = now->width, H = now->height, dx = 0, dy = 0;
        switch (Screen_orientation(now)) {
        case 0:
            dx = originX - nx;
            dy = ny - originY;
            break;
        case 1:
            dx = originY - ny;
            dy = viewH + originX - (H + nx);
            break;
        case 2:
            dx = W + nx - (viewW + originX);
            dy = viewH + originY - (H + ny);
            break;
        default:
            dx = W + ny - (viewW + originY);
            dy = nx - originX;
            break;
        }
        if (dx || dy) {
            Fv_panBy(viewer, dx, dy, 0);
            Task_reschedule(context);
            Fv_refreshMargins(viewer);
        }
    }

    // 15. The host hears the outcome.
    int32_t deviceW = Screen_orientation(now) & 1 ? now->height : now->width;
    int32_t deviceH = Screen_orientation(now) & 1 ? now->width : now->height;
    int32_t record[6] = {x,
                         y,
                         deviceW,
                         deviceH,
                         int32_t(Screen_hostOrientation0) + Screen_orientation(now),
                         result == Res_ok ? 1 : 0};
    if (context->instance)
        Host_engineRequest(context->instance->host, Fv_requestScreenResized, record);

    // 16.
    viewer->resizing = 0;
    Screen_blockUpdates(current, 0);
    Screen_flushUpdates(now);
    return result;
}

int Fv_setOrientation(FvViewer *viewer, int32_t hostCode)
{
    Screen *screen = bound(viewer);
    int32_t orientation = orientationOfHostCode(hostCode);
    if (!screen || Screen_orientation(screen) == orientation)
        return Res_ok;
    return Fv_resizeScreen(viewer, 0, 0, 0, 0, orientation);
}

int Fv_rotateNext(FvViewer *viewer)
{
    Screen *screen = bound(viewer);
    if (!screen)
        return Res_ok;
    int32_t current = Screen_orientation(screen);
    for (int32_t turn = 1; turn < 4; turn++) {
        int32_t orientation = (current + turn) & 3;
        if (Screen_findAllowedByOrientation(viewer->context, orientation, nullptr))
            return Fv_resizeScreen(viewer, 0, 0, 0, 0, orientation);
    }
    return Res_ok;
}

int Fv_resizeFromHost(FvViewer *viewer, int32_t width, int32_t height, int32_t x, int32_t y,
                      int32_t hostCode)
{
    Screen *screen = bound(viewer);
    if (!screen)
        return Res_nullInput;
    int32_t orientation = hostCode ? orientationOfHostCode(hostCode) : Screen_orientation(screen);
    return Fv_resizeScreen(viewer, width, height, x, y, orientation);
}

int Fv_toggleFullScreen(FvViewer *viewer)
{
    Screen *screen = bound(viewer);
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return Res_nullInput;
    int32_t orientation = Screen_orientation(screen);
    if (Screen_isFullSize(screen)) {
        Rect display = set->displayArea;
        return Fv_resizeScreen(viewer, display.x1 - display.x0, display.y1 - display.y0, display.x0,
                               display.y0, orientation);
    }
    // Area rectangles are in the device's orientation.
    bool swap = orientation & 1;
    return Fv_resizeScreen(viewer, swap ? screen->fullHeight : screen->fullWidth,
                           swap ? screen->fullWidth : screen->fullHeight, 0, 0, orientation);
}

void Fv_screenModeAction(FvViewer *viewer)
{
    (void)Fv_toggleFullScreen(viewer);
}

int Fv_registerResizeListeners(FvViewer *viewer)
{
    if (!viewer)
        return Res_nullInput;
    if (!Listener_add(&viewer->listeners, FvListen_resizeStart, Fv_saveOrientationState) ||
        !Listener_add(&viewer->listeners, FvListen_resizeDone, Fv_afterResize))
        return Res_noMemory;
    return Res_ok;
}

void Fv_afterResize(FvViewer *viewer, void *argument)
{
    FvOrientationCache *cache = static_cast<FvOrientationCache *>(viewer->orientationCache);
    const ResizeNotice *notice = static_cast<const ResizeNotice *>(argument);
    if (!cache)
        return;
    EngineContext *context = viewer->context;
    int32_t flow = Fv_flowMode(viewer);
    if (flow) {
        Screen *screen = bound(viewer);
        uint32_t width = screen ? flowWidthOf(screen) : 0;
        if (width != viewer->flowWidth) {
            viewer->flowWidth = width;
            Fv_postFlowWidth(viewer, width, flow == 0x10001 ? 1 : 3);
        }
    }
    Fv_refreshMargins(viewer);
    uint32_t zoomAfter = Config_getIntA(context, context->config, nullptr, "FV_zoomAfterResize", 1);
    if (zoomAfter && !flow) {
        Fv_refitAfterResize(viewer, cache->fitFlags, cache->width, cache->height, cache->centreX,
                            cache->centreY);
    } else if (!zoomAfter && notice && notice->rotating) {
        int32_t w, h, cx, cy;
        Fv_getViewArea(viewer, &w, &h, &cx, &cy);
        if (cx != cache->centreX || cy != cache->centreY)
            Fv_panBy(viewer, cx - cache->centreX, cy - cache->centreY, 0);
    }
    Mem_free(cache);
    viewer->orientationCache = nullptr;
}

void Screens_applyDeviceTurn(FvViewer *viewer, int32_t hostCode)
{
    Screen *current = bound(viewer);
    if (!current)
        return;
    EngineContext *context = viewer->context;
    int32_t turn = hostCode == 0x10004 ? 1 : hostCode == 0x10005 ? 2 : hostCode == 0x10006 ? 3 : 0;
    int32_t oldBuffer = Screen_bufferOrientation(current);
    Screen *screens[4] = {};
    for (int32_t o = 0; o < 4; o++) {
        screens[o] = Screen_findByOrientation(context, o, nullptr);
        if (screens[o])
            ScreenList_remove(context, screens[o]);
    }
    Screen *ordered[4] = {};
    for (Screen *s : screens) {
        if (!s)
            continue;
        int32_t buffer = (Screen_bufferOrientation(s) + turn) & 3;
        int32_t view = (Screen_orientation(s) + turn) & 3;
        s->flags = (s->flags & ~uint32_t(Screen_bufferMask | Screen_orientationMask)) |
                   uint32_t(buffer) << Screen_bufferShift |
                   uint32_t(view) << Screen_orientationShift;
        ordered[view] = s;
    }
    for (Screen *s : ordered)
        if (s && ScreenList_add(context, s) != Res_ok)
            Screen_destroy(s);
    Screen *screen = Screen_findAllowedByOrientation(context, oldBuffer, nullptr);
    if (screen) {
        ScreenBinding_setScreen(viewer->screen, screen);
        updateKeyView(viewer, screen);
    }
    ScreenSet_refreshArea(context, bound(viewer));
}
