// The viewer services that key handling calls (viewer/view.h), over the
// view that keys act on. A view of a running viewer passes each to the
// viewer's page navigation and zoom; a view without a viewer record (one
// that only remembers) keeps page index, fit mode and zoom in its own
// words so that the next key starts from them.
#include <cstdint>

#include "core/result.h"
#include "document/edr/page.h"
#include "platform/api/app.h"
#include "viewer/navigate.h"
#include "viewer/view.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

int32_t pageCountOf(FvView *view)
{
    uint32_t count = 0;
    if (view->doc)
        Edr_Page_count(view->doc, &count);
    return count > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(count);
}

// The viewer's page record behind the view, when it shows one.
FvPage *viewerPage(FvView *view, FvPage *page)
{
    return view && view->viewer && page && page->viewer == view->viewer ? page : nullptr;
}

} // namespace

void Fv_readZoomPanSettings(FvView *view, FvZoomPanSettings *settings)
{
    if (view && view->viewer)
        (void)Fv_readZoomPanSettingsOf(view->viewer, settings);
}

void Fv_applyPageFitDefault(FvView *view, int32_t mode, int32_t flags)
{
    view->fitMode = mode;
    if (FvPage *page = viewerPage(view, view->page))
        Fv_applyPageFitDefault(view->viewer, page, mode, flags);
}

int Fv_pageStep(FvView *view, FvPage *page, int32_t direction, int32_t *index)
{
    if (FvPage *shown = viewerPage(view, page)) {
        int32_t before = shown->currentIndex;
        int32_t target = 0;
        (void)Fv_gotoAdjacentPage(view->viewer, shown, direction, &target);
        *index = shown->currentIndex < 0 ? 0 : shown->currentIndex;
        return shown->currentIndex != before ? Res_ok : Res_notFound;
    }
    int32_t target = view->pageIndex + (direction == 1 ? -1 : direction == 2 ? 1 : 0);
    if (target == view->pageIndex || target < 0 || target >= pageCountOf(view)) {
        *index = view->pageIndex;
        return Res_notFound;
    }
    view->pageIndex = target;
    *index = target;
    return Res_ok;
}

void Fv_gotoPage(FvView *view, FvPage *page, int32_t index)
{
    if (FvPage *shown = viewerPage(view, page)) {
        (void)Fv_gotoPage(view->viewer, shown, index);
        return;
    }
    if (index >= 0 && index < pageCountOf(view))
        view->pageIndex = index;
}

void Fv_queryMargins(FvView *view, int32_t out[4])
{
    // Key handling's order: left, top, right, bottom.
    Fv_queryMargins(view ? view->viewer : nullptr, &out[0], &out[2], &out[1], &out[3]);
}

int Fv_zoomAboutPoint16(FvView *view, FvPage *page, int32_t, int32_t newZoom, int32_t, int32_t *x,
                        int32_t *y)
{
    FvPage *shown = viewerPage(view, page);
    if (!shown) {
        view->zoom = newZoom;
        return Res_ok;
    }
    Fv_zoomAboutPoint(view->viewer, shown, newZoom, x ? *x : -1, y ? *y : -1, FvPhase_step);
    view->zoom = Fv_pageZoom(shown);
    Fv_reportZoom(view->viewer);
    return Res_ok;
}
