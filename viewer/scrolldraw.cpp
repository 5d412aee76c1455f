// Drawing scrolled-column views (see scrolldraw.h).
#include "viewer/scrolldraw.h"

#include "core/result.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "viewer/column.h"
#include "viewer/dispman.h"

namespace {

constexpr int kBadInput = 8;

int32_t scrollOf(ScrolledView *view)
{
    return View_columnScrollPosition(view->column);
}

} // namespace

int View_drawScrolledItems(EngineContext *ctx, ScrolledView *view, int32_t scrollPosition,
                           const ScrolledRequest *request)
{
    if (!view || !request || !request->target)
        return Res_ok;
    Matrix m;
    Matrix_setIdentity(&m);
    Matrix_translate(&m, 0, -scrollPosition);
    Matrix_concat(&m, &request->matrix);
    switch (request->kind) {
    case ScrolledDraw_items:
        return View_drawItemList(ctx, view->items, request->clip, &m, request->target,
                                 request->flags, request->extra);
    case ScrolledDraw_highlights: {
        View_lockCurrent(view->document, 0);
        int r = View_drawItemList(ctx, view->highlights, request->clip, &m, request->target,
                                  request->flags, request->extra);
        View_unlockCurrent(view->document, 0);
        return r;
    }
    default: return Res_ok;
    }
}

int View_drawScrolledHighlights(EngineContext *ctx, ScrolledView *view, ScrolledRequest *request)
{
    if (!view || !request)
        return Res_ok;
    request->kind = ScrolledDraw_highlights;
    int r = View_drawScrolledItems(ctx, view, scrollOf(view), request);
    request->kind = ScrolledDraw_items;
    return r;
}

int View_renderBands(EngineContext *ctx, ScrolledView *view, const Rect *rect,
                     ScrolledRequest *request, const ScrolledBands *bands)
{
    if (!view || !rect || !request || !bands || !bands->band || !bands->bandBitmap ||
        bands->bandHeight <= 0 || !bands->page || !bands->pageBitmap)
        return kBadInput;
    const int32_t h = bands->bandHeight;
    Rect band{rect->x0, rect->y1 - h, rect->x1, rect->y1};
    const DrawTarget *saved = request->target;
    int r = Res_ok;
    while (r == Res_ok && band.y1 > rect->y0) {
        if (band.y0 <= rect->y0)
            band = Rect{rect->x0, rect->y0, rect->x1, rect->y0 + h};
        Rect bandClip{0, 0, band.x1 - band.x0, band.y1 - band.y0};
        DrawTarget target{bands->bandBitmap, &bandClip, -band.x0, -band.y0};
        request->target = &target;
        request->kind = ScrolledDraw_items;
        r = Bitmap_fillColour(bands->bandBitmap, bands->background);
        if (r == Res_ok)
            r = View_drawScrolledItems(ctx, view, scrollOf(view), request);
        if (r == Res_ok && !(request->flags && (request->flags->flags & DrawFlags_noHighlights)))
            r = View_drawScrolledHighlights(ctx, view, request);
        if (r == Res_ok) {
            Point origin{band.x0, band.y0};
            r = Edr_Page_fillBackground(bands->band, &origin, nullptr, nullptr, bands->page,
                                        bands->hooks, bands->pageBitmap, &band, nullptr, nullptr);
        }
        band.y0 -= h;
        band.y1 -= h;
    }
    request->target = saved;
    return r;
}

int View_renderScrolled(EngineContext *ctx, ScrolledView *view, const Rect *box, int32_t pageScale,
                        const Rect *rect, ScrolledRequest *request, const ScrolledBands *bands)
{
    if (!view || !view->column || !request)
        return kBadInput;
    int r = Column_setupForView(view->column, box, &request->matrix, pageScale);
    if (r != Res_ok)
        return r;
    return View_renderBands(ctx, view, rect, request, bands);
}
