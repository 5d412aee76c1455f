// Flow view (see flowmode.h).
#include "viewer/flowmode.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/docmsg.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "viewer/docview.h"
#include "viewer/navigate.h"
#include "viewer/reports.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/settings.h"
#include "viewer/view.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

Screen *screenOf(FvViewer *viewer)
{
    return viewer && viewer->screen ? ScreenBinding_screen(viewer->screen) : nullptr;
}

int32_t modeCodeOf(uint32_t flowMode)
{
    return flowMode == 1 ? FvViewMode_flow : flowMode == 3 ? FvViewMode_reflow : FvViewMode_page;
}

// The shown document, or null when nothing is shown yet.
Edr_Doc *shownDocument(FvViewer *viewer)
{
    FvPage *page = viewer->page;
    return page && page->document && !page->firstDisplayPending ? page->document : nullptr;
}

} // namespace

int ViewMode_post(EngineContext *engine, Edr_Doc *document, uint32_t mode, uint32_t width)
{
    if (!engine)
        return 0;
    engine->flowMode = mode;
    bool on = mode == 1 || mode == 3;
    engine->flowWidth = on ? width : 0;
    if (!engine->eventProc)
        return Res_ok;
    EventProcCodeMsg message{on ? Fv_messageFlowOn : Fv_messageFlowOff, document, nullptr, 0};
    return EventProc_postPlainCode(engine->eventProc, &message);
}

void ViewMode_get(EngineContext *engine, uint32_t *mode, int32_t *width)
{
    *mode = engine ? engine->flowMode : 0;
    if (width)
        *width = *mode && engine ? int32_t(engine->flowWidth) : 0;
}

void ViewMode_setTextSize(EngineContext *engine, int32_t size)
{
    if (engine)
        engine->flowTextSize = size;
}

int32_t ViewMode_getTextSize(EngineContext *engine)
{
    return engine ? engine->flowTextSize : 0;
}

uint32_t FlowMode_width(FvViewer *viewer)
{
    Screen *screen = screenOf(viewer);
    if (!screen || screen->resolution <= 0)
        return 0;
    return uint32_t((uint64_t(uint32_t(Screen_width(screen))) << 16) /
                    uint32_t(screen->resolution));
}

FvModeOps *FlowMode_ops(FvViewer *viewer)
{
    return viewer && viewer->viewCallbacks ? viewer->viewCallbacks->modeOps : nullptr;
}

int FlowMode_install(FvViewer *viewer)
{
    if (!viewer || !viewer->viewCallbacks)
        return 0;
    FlowMode_free(viewer);
    FvModeOps *ops = static_cast<FvModeOps *>(Mem_calloc(1, sizeof(FvModeOps)));
    if (!ops)
        return 0;
    ops->setMode = FlowMode_setMode;
    ops->getMode = FlowMode_getMode;
    ops->setTextSize = FlowMode_setTextSize;
    ops->leave = FlowMode_leave;
    ops->refresh = FlowMode_refresh;
    viewer->viewCallbacks->modeOps = ops;
    return 1;
}

void FlowMode_free(FvViewer *viewer)
{
    if (!viewer || !viewer->viewCallbacks)
        return;
    Mem_free(viewer->viewCallbacks->modeOps);
    viewer->viewCallbacks->modeOps = nullptr;
}

int32_t FlowMode_getMode(FvViewer *viewer)
{
    return modeCodeOf(viewer && viewer->context ? viewer->context->flowMode : 0);
}

void FlowMode_report(FvViewer *viewer, int32_t result)
{
    if (!viewer)
        return;
    if (result == 1 && viewer->page && viewer->page->url && !Fv_canFlow(viewer->page))
        result = 0x10000;
    FvViewModeReport report{int32_t(viewer->options.word[FvStart_pageMode]), result};
    App_sendRequest(viewer->context ? viewer->context->instance : nullptr, Fv_requestViewMode,
                    &report);
}

int FlowMode_setMode(FvViewer *viewer, int32_t mode)
{
    FvModeOps *ops = FlowMode_ops(viewer);
    if (!ops)
        return Res_missingArgument;
    FvPage *page = viewer->page;
    bool can = page && (mode == FvViewMode_reflow ? Fv_canReflow(page)
                                                  : mode == FvViewMode_flow && Fv_canFlow(page));
    uint32_t posted = 0, width = 0;
    int32_t state = FvViewMode_page;
    if (can) {
        width = FlowMode_width(viewer);
        FvZoomPanSettings *s = viewer->zoomPanSettings;
        if (s)
            // Settings that cannot be read keep their values and are read again later.
            (void)Fv_readZoomPanSettings(viewer, s);
        // Flow that keeps a zoom above 100 % flows to the width the zoomed
        // text has room for.
        if (s && s->flowModeKeepZoom == 1 && viewer->zoom > 0x10000)
            width = uint32_t((uint64_t(width) << 16) / uint32_t(viewer->zoom));
        posted = mode == FvViewMode_reflow ? 3 : 1;
        state = FvViewMode_flow;
    }
    Fv_setThumbMaxSizeDefault(viewer, state);
    Edr_Doc *shown = shownDocument(viewer);
    if (shown) {
        Screen *screen = screenOf(viewer);
        if (!ops->engaged && screen)
            Screen_blockUpdates(screen, 1);
        ops->engaged = 1;
        ops->notifyHost = 1;
        viewer->flowWidth = width;
        int r = ViewMode_post(viewer->context, shown, posted, width);
        if (r != Res_ok) {
            FlowMode_leave(viewer, 0);
            return r;
        }
    }
    viewer->options.word[FvStart_pageMode] = mode;
    Fv_updateFlowFlag(page);
    if (!shown)
        FlowMode_report(viewer, 1);
    return Res_ok;
}

void FlowMode_leave(FvViewer *viewer, int refit)
{
    FvModeOps *ops = FlowMode_ops(viewer);
    if (!ops)
        return;
    if (ops->engaged) {
        int32_t m = FlowMode_getMode(viewer);
        Screen *screen = screenOf(viewer);
        if (screen)
            Screen_blockUpdates(screen, 0);
        if (refit == 1) {
            FvZoomPanSettings *s = viewer->zoomPanSettings;
            if (s)
                // Settings that cannot be read keep their values and are read again later.
                (void)Fv_readZoomPanSettings(viewer, s);
            int32_t fit;
            if (s && s->flowModeKeepZoom == 1)
                fit = m == FvViewMode_page && viewer->zoom > 0x10000 ? 0 : 2;
            else
                fit = m == FvViewMode_page ? 1 : 2;
            if (Fv_fitPage(viewer, viewer->page, fit, 0) && screen)
                Screen_flushUpdates(screen);
        } else {
            Fv_setThumbMaxSizeDefault(viewer, m);
        }
        if (ops->notifyHost)
            FlowMode_report(viewer, refit);
        ops->engaged = 0;
    }
    ops->notifyHost = 0;
}

void FlowMode_setTextSize(FvViewer *viewer, int32_t sizeCode)
{
    if (!viewer || !viewer->context)
        return;
    int32_t size = sizeCode == 0x10000 ? 6 << 16 : sizeCode == 0x10002 ? 10 << 16 : 8 << 16;
    EngineContext *engine = viewer->context;
    if (ViewMode_getTextSize(engine) == size)
        return;
    ViewMode_setTextSize(engine, size);
    if (engine->flowMode && viewer->page)
        (void)ViewMode_post(engine, viewer->page->document, engine->flowMode, engine->flowWidth);
}

int32_t FlowMode_refresh(FvViewer *viewer)
{
    FvModeOps *ops = FlowMode_ops(viewer);
    if (!ops || !viewer->context)
        return 0;
    EngineContext *engine = viewer->context;
    uint32_t current = engine->flowMode;
    int32_t requested = int32_t(viewer->options.word[FvStart_pageMode]);
    uint32_t posted = 0, width = 0;
    if (requested != FvViewMode_page && viewer->page && Fv_canFlow(viewer->page)) {
        posted = requested == FvViewMode_reflow ? 3 : 1;
        width = FlowMode_width(viewer);
    }
    if (posted == current)
        return int32_t(current);
    Fv_setThumbMaxSizeDefault(viewer, posted ? FvViewMode_flow : FvViewMode_page);
    ops->engaged = 1;
    (void)ViewMode_post(engine, viewer->page ? viewer->page->document : nullptr, posted, width);
    return int32_t(posted);
}

void Fv_postFlowWidth(FvViewer *viewer, uint32_t width, int32_t mode)
{
    if (!viewer || !viewer->context || !viewer->page)
        return;
    (void)ViewMode_post(viewer->context, viewer->page->document, uint32_t(mode), width);
    Fv_updateFlowFlag(viewer->page);
}
