// Page navigation, fit and alignment (see navigate.h).
#include "viewer/navigate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/listeners.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "document/types/translate.h"
#include "core/host/hostservices.h"
#include "html/web/sessionhistory.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "viewer/flowmode.h"
#include "viewer/fvdisplay.h"
#include "viewer/reports.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/view.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

Screen *screenOf(FvViewer *viewer)
{
    return viewer && viewer->screen ? ScreenBinding_screen(viewer->screen) : nullptr;
}

EngineInstance *instanceOf(FvViewer *viewer)
{
    return viewer && viewer->context ? viewer->context->instance : nullptr;
}

int32_t readSetting(FvViewer *viewer, const char *key, uint32_t fallback)
{
    EngineContext *context = viewer->context;
    if (!context || !context->config)
        return int32_t(fallback);
    return int32_t(Config_getIntA(context, context->config, nullptr, key, fallback));
}

int32_t pageCountOf(FvPage *page, bool *known)
{
    uint32_t count = 0;
    *known = page && page->document && Edr_Page_count(page->document, &count) == Res_ok;
    return count > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(count);
}

bool emptyRect(const Rect &r)
{
    return !(r.x0 < r.x1 && r.y0 < r.y1);
}

// The extension of the URL's path, lower case, into out (empty when none).
void extensionOf(const Url *url, char *out, size_t size)
{
    out[0] = 0;
    char16_t *path = nullptr;
    if (!url || !Url_getPart(url, UrlPart_path, &path) || !path)
        return;
    const char16_t *dot = nullptr;
    for (const char16_t *p = path; *p; p++) {
        if (*p == u'.')
            dot = p + 1;
        else if (*p == u'/')
            dot = nullptr;
    }
    size_t n = 0;
    for (const char16_t *p = dot; p && *p && n + 1 < size; p++) {
        char16_t c = *p;
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        out[n++] = c < 0x80 ? char(c) : '?';
    }
    out[n] = 0;
    Mem_free(path);
}

bool extensionIn(const char *ext, const char *const *list)
{
    for (; *list; list++)
        if (strcmp(ext, *list) == 0)
            return true;
    return false;
}

bool hasUrlText(const FvPage *page)
{
    return page->url &&
           (Url_getPartsMask(page->url) & (UrlPart_path | UrlPart_host | UrlPart_scheme));
}

} // namespace

// ------------------------------------------------------------ the area

void Fv_queryMargins(FvViewer *viewer, int32_t *left, int32_t *right, int32_t *top, int32_t *bottom)
{
    int32_t m[4] = {0, 0, 0, 0};
    if (viewer) {
        Screen *screen = screenOf(viewer);
        FvMarginQuery query{screen ? Screen_orientation(screen) : 0, &m[0], &m[1], &m[2], &m[3]};
        (void)Listener_dispatch(&viewer->listeners, FvListen_viewMargins, &query);
    }
    if (left)
        *left = m[0];
    if (right)
        *right = m[1];
    if (top)
        *top = m[2];
    if (bottom)
        *bottom = m[3];
}

void Fv_getViewArea(FvViewer *viewer, int32_t *width, int32_t *height, int32_t *centreX,
                    int32_t *centreY)
{
    Screen *screen = screenOf(viewer);
    int32_t l = 0, r = 0, t = 0, b = 0;
    Fv_queryMargins(viewer, &l, &r, &t, &b);
    int32_t w = Screen_width(screen) - l - r;
    int32_t h = Screen_height(screen) - t - b;
    if (width)
        *width = w;
    if (height)
        *height = h;
    if (centreX)
        *centreX = l + w / 2;
    if (centreY)
        *centreY = t + h / 2;
}

void Fv_contentRect(FvViewer *, FvPage *page, Rect *out)
{
    Edr_Fwd_getSubRect(page ? page->pageView : nullptr, out);
}

void Fv_visibleRect(FvViewer *viewer, FvPage *page, Rect *out)
{
    if (Fv_viewMode(viewer) == FvViewMode_reflow) {
        int32_t w = 0, h = 0;
        Fv_getViewArea(viewer, &w, &h, nullptr, nullptr);
        Rect text{0, 0, 0, 0};
        Edr_Fwd_getViewRect(page ? page->pageView : nullptr, &text);
        *out = Rect{0, 0, std::max(w, text.x1 - text.x0), std::max(h, text.y1 - text.y0)};
        return;
    }
    Edr_Fwd_getViewRect(page ? page->pageView : nullptr, out);
}

void Fv_rectSizeAndCentre(const Rect *rect, int32_t *width, int32_t *height, int32_t *cx,
                          int32_t *cy)
{
    int32_t w = 0, h = 0, x = 0, y = 0;
    if (rect && !emptyRect(*rect)) {
        w = rect->x1 - rect->x0;
        h = rect->y1 - rect->y0;
        x = rect->x0 + (w >> 1);
        y = rect->y0 + (h >> 1);
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
    if (cx)
        *cx = x;
    if (cy)
        *cy = y;
}

int Fv_fitZoomsOf(float displayWidth, float displayHeight, float pageWidth, float pageHeight,
                  int32_t *widthFit, int32_t *heightFit, int32_t *wholeFit)
{
    *widthFit = *heightFit = *wholeFit = 0;
    // A page without size has no fit: the quotient would be infinite and
    // its conversion to an integer undefined.
    if (!(pageWidth > 0.0f) || !(pageHeight > 0.0f) || !(displayWidth > 0.0f) ||
        !(displayHeight > 0.0f))
        return Res_notFound;
    float w = displayWidth * 65536.0f / pageWidth;
    float h = displayHeight * 65536.0f / pageHeight;
    if (!(w >= 1.0f) || !(h >= 1.0f) || !(w < 2147483520.0f) || !(h < 2147483520.0f))
        return Res_notFound;
    *widthFit = int32_t(w);
    *heightFit = int32_t(h);
    *wholeFit = std::min(*widthFit, *heightFit);
    return Res_ok;
}

int Fv_pageSizeAt(FvPage *page, int32_t index, float *width, float *height)
{
    *width = *height = 0.0f;
    if (!page || !page->document)
        return Fv_errorNoPage;
    int32_t key = 0;
    uint32_t kind = 0;
    int err = Edr_Page_getKeyByIndex(&key, &kind, page->document, uint32_t(std::max(index, 0)));
    if (err != Res_ok)
        return err;
    return Edr_Page_getSizeFloat(page->document, key, kind, width, height);
}

int Fv_computeFitZooms(FvViewer *viewer, FvPage *page, int32_t *widthFit, int32_t *heightFit,
                       int32_t *wholeFit)
{
    *widthFit = *heightFit = *wholeFit = 0;
    Screen *screen = screenOf(viewer);
    if (!viewer || !viewer->display || !page || !screen)
        return Res_missingArgument;
    float pw = 0.0f, ph = 0.0f;
    int err = Fv_pageSizeAt(page, page->currentIndex, &pw, &ph);
    if (err != Res_ok)
        return err;
    // Page sizes are inches: at 100 % an inch is the screen's resolution in
    // pixels.
    float resolution = float(screen->resolution > 0 ? screen->resolution : 106);
    float dw = 0.0f, dh = 0.0f;
    FvDisplay_getSize(viewer->display, &dw, &dh);
    return Fv_fitZoomsOf(dw, dh, pw * resolution, ph * resolution, widthFit, heightFit, wholeFit);
}

// ------------------------------------------------------------ the pages

int Fv_isPageIndexValid(FvPage *page, int32_t index)
{
    bool known = false;
    int32_t count = pageCountOf(page, &known);
    return known && index >= 0 && index < count;
}

void Fv_setCurrentPage(FvViewer *viewer, FvPage *page, int32_t index)
{
    if (!viewer || !page || !page->document)
        return;
    bool known = false;
    int32_t count = pageCountOf(page, &known);
    if (!known)
        count = index;
    int32_t stored = count ? index : 0;
    if (stored == page->currentIndex && count == page->pageCount)
        return;
    page->currentIndex = stored;
    page->pageCount = count;
    // A new page reports its edges again.
    page->limitsRepeat = 1;
    if (EngineInstance *instance = instanceOf(viewer))
        if (instance->host)
            Host_reportPage(instance->host, stored + 1, count);
    if (FvView *view = instanceOf(viewer) ? instanceOf(viewer)->keyView : nullptr)
        if (view->page == page)
            view->pageIndex = stored;
    (void)Listener_dispatch(&viewer->listeners, FvListen_pageChanged, &stored);
}

int Fv_gotoPage(FvViewer *viewer, FvPage *page, int32_t index)
{
    if (!viewer || !Fv_isPageIndexValid(page, index))
        return Res_ok;
    int32_t key = 0;
    uint32_t kind = 0;
    int err = Edr_Page_getKeyByIndex(&key, &kind, page->document, uint32_t(index));
    if (err != Res_ok)
        return err;
    if (page->pageView) {
        err = FvPageView_showPage(page->pageView, page->document, key, kind);
        if (err != Res_ok)
            return err;
    }
    Fv_setCurrentPage(viewer, page, index);
    Task_reschedule(viewer->context);
    if (viewer->pendingFit == 0)
        Fv_applyZoom(viewer, page, 0);
    else
        // Whether the zoom or the page moved is not needed here.
        (void)Fv_fitPage(viewer, page, viewer->pendingFit, 0);
    return Res_ok;
}

int32_t Fv_gotoAdjacentPage(FvViewer *viewer, FvPage *page, int32_t direction, int32_t *index)
{
    if (index)
        *index = 0;
    if (!viewer || !page || !page->document || (direction != 1 && direction != 2))
        return 0;
    int32_t current = page->currentIndex < 0 ? 0 : page->currentIndex;
    int32_t target = direction == 1 ? current - 1 : current + 1;
    if (!Fv_isPageIndexValid(page, target) || Fv_gotoPage(viewer, page, target) != Res_ok)
        return 0;
    if (index)
        *index = target;
    return target;
}

int Fv_gotoFragment(FvViewer *viewer, FvPage *page, Edr_Doc *document, const char16_t *fragment,
                    const Url *url, int history)
{
    if (!viewer || !page || !document || !fragment)
        return Res_missingArgument;
    int32_t rect[4] = {0, 0, 0, 0};
    int32_t index = -1;
    if (Translate_findFragment(document, fragment, rect, &index) != Res_ok)
        return Res_ok;
    int32_t before = page->currentIndex;
    bool changed = false;
    if (Fv_isPageIndexValid(page, index)) {
        EngineInstance *instance = instanceOf(viewer);
        SessionHistory *list = history && instance
                                   ? reinterpret_cast<SessionHistory *>(instance->closeHooks[1])
                                   : nullptr;
        auto addPosition = [&](int32_t at) {
            if (!list || !page->url)
                return;
            Url *copy = Url_copy(page->url);
            char16_t text[24];
            char digits[16];
            snprintf(digits, sizeof digits, "%d", at + 1);
            size_t n = 0;
            for (const char *p = "page-"; *p; p++)
                text[n++] = char16_t(*p);
            for (const char *p = digits; *p; p++)
                text[n++] = char16_t(*p);
            text[n] = 0;
            if (copy && Url_setPart(copy, UrlPart_fragment, text))
                Session_historyAdd(list, copy);
            Url_free(copy);
        };
        addPosition(before < 0 ? 0 : before);
        int err = Fv_gotoPage(viewer, page, index);
        if (err != Res_ok)
            return err;
        addPosition(index);
        changed = index != before;
    }
    Rect r{rect[0], rect[1], rect[2], rect[3]};
    if (!emptyRect(r))
        Fv_showRect(viewer, page, &r, 3, 0);
    else if (!changed)
        return Res_ok;
    if (url) {
        if (char *text = Url_toUtf8(url, UrlPart_all)) {
            App_sendRequest(instanceOf(viewer), Fv_requestFragment, text);
            Mem_free(text);
        }
    }
    return Res_ok;
}

int Fv_showRectOffsets(int32_t mode, int force, const Point *p1, const Point *p2,
                       const FvShowArea *area, const Rect *flowView, int32_t *dx, int32_t *dy)
{
    *dx = *dy = 0;
    int32_t l = area->left, t = area->top, w = area->width, h = area->height;
    bool insideX = p1->x > l && p2->x < l + w;
    bool insideY = p2->y > t && p1->y < t + h;
    if (mode == 3) {
        *dx = l - p1->x;
        *dy = p2->y - t;
        return 1;
    }
    if (mode != 1 && mode != 2)
        return 0;
    if (!force && insideX && insideY)
        return 0;
    int32_t tx = int32_t((int64_t(p1->x) + p2->x) / 2);
    int32_t ty = int32_t((int64_t(p1->y) + p2->y) / 2);
    if (flowView) {
        int32_t lo = flowView->x0 + w / 2 + 2, hi = flowView->x1 - w / 2 - 2;
        if (lo <= hi)
            tx = std::clamp(tx, lo, hi);
    }
    *dx = area->centreX - tx;
    *dy = ty - area->centreY;
    if (mode == 2) {
        if (insideX)
            *dx = 0;
        if (insideY)
            *dy = 0;
    }
    return 1;
}

void Fv_showRect(FvViewer *viewer, FvPage *page, const Rect *rect, int32_t mode, int force)
{
    if (!viewer || !page || !rect || mode < 1 || mode > 3)
        return;
    Screen *screen = screenOf(viewer);
    int32_t screenH = Screen_height(screen);
    Point a{rect->x0, rect->y0}, b{rect->x1, rect->y1};
    Point p1{a.x, a.y}, p2{b.x, b.y};
    if (page->pageView) {
        (void)Edr_Fwd_scalePoint(page->pageView, page->document, &a, &p1);
        (void)Edr_Fwd_scalePoint(page->pageView, page->document, &b, &p2);
    }
    p1.y = screenH - 1 - p1.y;
    p2.y = screenH - 1 - p2.y;
    FvShowArea area{};
    Fv_queryMargins(viewer, &area.left, nullptr, &area.top, nullptr);
    Fv_getViewArea(viewer, &area.width, &area.height, &area.centreX, &area.centreY);
    Rect v{0, 0, 0, 0};
    bool flow = Fv_viewMode(viewer) != FvViewMode_page;
    if (flow)
        Edr_Fwd_getViewRect(page->pageView, &v);
    int32_t dx = 0, dy = 0;
    if (!Fv_showRectOffsets(mode, force, &p1, &p2, &area, flow ? &v : nullptr, &dx, &dy))
        return;
    Fv_panBy(viewer, dx, dy, 0);
}

void Fv_showArea(FvView *view, FvPage *page, FvArea *area, int32_t)
{
    if (!view || !view->viewer || !page)
        return;
    if (!area) {
        // The page's start: its top-left corner at the area's (mode 2;
        // view pixels count y upwards).
        Fv_alignPage(view->viewer, page, 2, 1);
        return;
    }
    const Rect r{area->rect[0], area->rect[1], area->rect[2], area->rect[3]};
    Fv_showRect(view->viewer, page, &r, 1, 0);
}

// ------------------------------------------------------------ alignment

namespace {

int32_t snapAxis(int32_t v0, int32_t v1, int32_t c0, int32_t c1)
{
    if (v0 > c0 && v1 > c1)
        return -std::min(v0 - c0, v1 - c1);
    if (v0 < c0 && v1 < c1)
        return std::min(c0 - v0, c1 - v1);
    return 0;
}

// Mode 15: the content's centre comes back into V along an axis it left.
int32_t centreAxis(int32_t v0, int32_t v1, int32_t p)
{
    if (v0 > p)
        return p - v0;
    if (v1 < p)
        return p - v1;
    return 0;
}

} // namespace

void Fv_alignOffsetsOf(int32_t mode, const Rect *v, const Rect *c, int32_t *dx, int32_t *dy)
{
    *dx = *dy = 0;
    const Rect &V = *v, &C = *c;
    int32_t hV = V.y1 - V.y0, hC = C.y1 - C.y0;
    int32_t snapX = snapAxis(V.x0, V.x1, C.x0, C.x1), snapY = snapAxis(V.y0, V.y1, C.y0, C.y1);
    // V is where the page is and C the area it may occupy; a pan by dx
    // moves V by dx. Modes 9 and 13 show the edge of a page reached by
    // moving back onto it: the right edge of the previous page (9), the left
    // edge of the next (13). Both move V's edge onto C's, whatever the
    // widths: subtracting the other way round (V.x1 - C.x1) would move a
    // page narrower than C away from the edge instead of onto it.
    int32_t farRight = C.x1 - V.x1;
    int32_t nearLeft = C.x0 - V.x0;
    int32_t bottomFirst = hV < hC ? C.y1 - V.y1 : C.y0 - V.y0;
    int32_t topFirst = hV < hC ? C.y0 - V.y0 : C.y1 - V.y1;
    switch (mode) {
    case 1:
        *dx = snapX;
        *dy = snapY;
        break;
    case 2:
        *dy = C.y1 - V.y1;
        *dx = C.x0 - V.x0;
        break;
    case 3:
        *dy = C.y1 - V.y1;
        *dx = C.x1 - V.x1;
        break;
    case 4:
        *dy = C.y0 - V.y0;
        *dx = C.x0 - V.x0;
        break;
    case 5:
        *dy = C.y0 - V.y0;
        *dx = C.x1 - V.x1;
        break;
    case 6:
        *dy = int32_t((int64_t(C.y0) + C.y1) / 2 - (int64_t(V.y0) + V.y1) / 2);
        *dx = int32_t((int64_t(C.x0) + C.x1) / 2 - (int64_t(V.x0) + V.x1) / 2);
        break;
    case 7: *dy = bottomFirst; break;
    case 8:
        *dy = bottomFirst;
        *dx = snapX;
        break;
    case 9: *dx = farRight; break;
    case 10:
        *dy = snapY;
        *dx = farRight;
        break;
    case 11: *dy = topFirst; break;
    case 12:
        *dy = topFirst;
        *dx = snapX;
        break;
    case 13: *dx = nearLeft; break;
    case 14:
        *dy = snapY;
        *dx = nearLeft;
        break;
    case 15: {
        int32_t px = int32_t((int64_t(C.x0) + C.x1) / 2), py = int32_t((int64_t(C.y0) + C.y1) / 2);
        *dx = centreAxis(V.x0, V.x1, px);
        *dy = centreAxis(V.y0, V.y1, py);
        break;
    }
    default: break;
    }
}

void Fv_showPageEnd(FvViewer *viewer, FvPage *page)
{
    if (!viewer || !page)
        return;
    Rect v{0, 0, 0, 0}, c{0, 0, 0, 0};
    Fv_visibleRect(viewer, page, &v);
    Fv_contentRect(viewer, page, &c);
    if (int64_t(v.y1) - v.y0 <= int64_t(c.y1) - c.y0)
        return;
    // y grows upwards here: the page's end is its lower edge, y0.
    Fv_panBy(viewer, 0, c.y0 - v.y0, 1);
}

void Fv_alignOffsets(FvViewer *viewer, FvPage *page, int32_t mode, int32_t *dx, int32_t *dy)
{
    Rect v{0, 0, 0, 0}, c{0, 0, 0, 0};
    Fv_visibleRect(viewer, page, &v);
    Fv_contentRect(viewer, page, &c);
    Fv_alignOffsetsOf(mode, &v, &c, dx, dy);
}

void Fv_alignPage(FvViewer *viewer, FvPage *page, int32_t mode, int end)
{
    int32_t dx = 0, dy = 0;
    Fv_alignOffsets(viewer, page, mode, &dx, &dy);
    if (!dx && !dy)
        return;
    Fv_panPage(page, dx, dy, FvPan_move);
    if (end)
        Fv_panPage(page, 0, 0, FvPan_end);
}

void Fv_alignOrDefer(FvViewer *viewer, FvPage *page, int32_t mode, int end)
{
    if (!page)
        return;
    char ext[8];
    extensionOf(page->url, ext, sizeof ext);
    if (page->document && page->document->pageOnDemand && strcmp(ext, "txt") == 0 &&
        page->firstDisplayPending) {
        page->pendingAlign = mode;
        return;
    }
    Fv_alignPage(viewer, page, mode, end);
}

// ------------------------------------------------------------ fitting

void Fv_applyZoom(FvViewer *viewer, FvPage *page, int32_t zoom)
{
    if (!viewer || !page)
        return;
    int32_t current = Fv_pageZoom(page);
    int32_t fresh = current;
    int changed = 0;
    Fv_clampZoom(viewer, page, 0, zoom ? zoom : current, current, &fresh, &changed);
    if (!changed)
        return;
    viewer->zoom = fresh;
    int32_t cx = 0, cy = 0;
    Fv_getViewArea(viewer, nullptr, nullptr, &cx, &cy);
    Fv_setPageZoom(page, fresh, 9, cx, cy);
    Fv_setPageZoom(page, fresh, 10, cx, cy);
}

int Fv_fitPage(FvViewer *viewer, FvPage *page, int32_t fitMode, int vertical)
{
    Screen *screen = screenOf(viewer);
    if (!viewer || !viewer->context || !screen || !viewer->display || !page || !page->pageView)
        return 0;
    int32_t mode = Fv_viewMode(viewer);
    int32_t current = Fv_pageZoom(page);
    int32_t target = current;
    if (FlowMode_ops(viewer) && mode != FvViewMode_page) {
        FvZoomPanSettings *s = viewer->zoomPanSettings;
        if (s)
            // Settings that cannot be read keep their values and are read again later.
            (void)Fv_readZoomPanSettings(viewer, s);
        target = s && s->flowModeKeepZoom == 1 && viewer->zoom >= 0x10000 ? current : 0x10000;
    } else {
        int32_t wFit = 0, hFit = 0, whole = 0;
        if (Fv_computeFitZooms(viewer, page, &wFit, &hFit, &whole) != Res_ok)
            return 0;
        switch (fitMode) {
        case 1: target = whole; break;
        case 2: target = wFit; break;
        case 4: target = hFit; break;
        case 3: target = viewer->zoom; break;
        default: target = current; break;
        }
    }
    int32_t fresh = current;
    int changed = 0;
    Fv_clampZoom(viewer, page, 0, target, current, &fresh, &changed);
    Screen_blockUpdates(screen, 1);
    if (changed) {
        viewer->zoom = fresh;
        Fv_setPageZoom(page, fresh, 9, -1, -1);
    }
    Rect v{0, 0, 0, 0};
    Edr_Fwd_getViewRect(page->pageView, &v);
    int32_t w = 0, h = 0, pcx = 0, pcy = 0;
    Fv_rectSizeAndCentre(&v, &w, &h, &pcx, &pcy);
    int32_t areaH = 0, acx = 0, acy = 0;
    Fv_getViewArea(viewer, nullptr, &areaH, &acx, &acy);
    bool pageMode = mode == FvViewMode_page;
    bool hint = viewer->lastAlignment != 0;
    int32_t dx = hint && !pageMode ? 0 : acx - pcx;
    int32_t dy = 0;
    if (!(vertical == 1 && fitMode == 2)) {
        dy = h <= areaH && pageMode ? acy - pcy : areaH - v.y1;
    } else if (hint) {
        if (!pageMode) {
            if (h > areaH && v.y0 > 0)
                dy = -v.y0;
        } else if (v.y1 < areaH) {
            dy = h < areaH ? acy - pcy : areaH - v.y1;
        } else if (v.y1 > areaH && v.y0 > 0) {
            dy = -std::min(v.y1 - areaH, v.y0);
        }
    }
    bool moved = dx || dy;
    if (moved) {
        Fv_panBy(viewer, dx, dy, 0);
        Task_reschedule(viewer->context);
    }
    if (changed)
        Fv_setPageZoom(page, fresh, 10, -1, -1);
    Screen_blockUpdates(screen, 0);
    Screen_flushUpdates(screen);
    ZoomPoint_reset(viewer);
    Fv_reportZoom(viewer);
    return changed || moved;
}

void Fv_applyInitialFit(FvViewer *viewer, FvPage *page)
{
    if (!viewer || !page)
        return;
    if (page->fitState == 1) {
        Fv_applyZoom(viewer, page, 0);
        return;
    }
    if (page->fitState == 2)
        return;
    int32_t fitDefault = readSetting(viewer, "FV_pageFitDefault", 0);
    int32_t mode = fitDefault != 0 || Fv_viewMode(viewer) != FvViewMode_page ? 2 : 1;
    if (fitDefault == 2) {
        int32_t dx = 0, dy = 0;
        Fv_alignOffsets(viewer, page, 2, &dx, &dy);
        Fv_panBy(viewer, dx, dy, 1);
        // Whether the zoom or the page moved is not needed here.
        (void)Fv_fitPage(viewer, page, mode, 1);
    } else {
        // Whether the zoom or the page moved is not needed here.
        (void)Fv_fitPage(viewer, page, mode, 0);
    }
}

void Fv_applyPageFitDefault(FvViewer *viewer, FvPage *page, int32_t fitMode, int32_t)
{
    if (!viewer || !page)
        return;
    viewer->fitBusy = 1;
    // Whether the zoom or the page moved is not needed here.
    (void)Fv_fitPage(viewer, page, fitMode, 0);
    viewer->fitBusy = 0;
    viewer->pendingFit = readSetting(viewer, "FV_pageFitDefault", 0) == 2 ? 0 : fitMode;
    FvViewChange change{0, 0};
    (void)Listener_dispatch(&viewer->listeners, FvListen_viewChanged, &change);
}

int32_t Fv_fitFlags(FvViewer *viewer)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    int32_t wFit = 0, hFit = 0, whole = 0;
    if (!page || Fv_computeFitZooms(viewer, page, &wFit, &hFit, &whole) != Res_ok)
        return 0;
    int32_t zoom = Fv_pageZoom(page);
    int32_t flags = 0;
    if (zoom == wFit)
        flags |= 2;
    if (zoom == hFit)
        flags |= 4;
    if (zoom == whole && whole == std::min(wFit, hFit))
        flags |= 1;
    return flags;
}

void Fv_reportView(FvViewer *viewer)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    Screen *screen = screenOf(viewer);
    if (!page || !screen)
        return;
    int32_t x = 0, y = 0;
    FvPageView_getPan(page->pageView, &x, &y);
    Rect v{0, 0, 0, 0};
    Fv_visibleRect(viewer, page, &v);
    // The screen's scale: its resolution against the 96 of a CSS pixel,
    // 16.16.
    int64_t scale = screen->resolution > 0 ? (int64_t(screen->resolution) << 16) / 96 : 0x10000;
    if (scale <= 0)
        scale = 0x10000;
    auto div = [&](int64_t value) { return int32_t((value << 16) / scale); };
    FvViewReport report{div(x), div(y), div(int64_t(v.x1) - v.x0), div(int64_t(v.y1) - v.y0)};
    App_sendRequest(instanceOf(viewer), Fv_requestView, &report);
}

void Fv_scrollOf(const Rect *page, const Rect *area, FvScrollReport *out)
{
    *out = FvScrollReport{0, 0, 0};
    int64_t height = int64_t(page->y1) - page->y0;
    int64_t visible = int64_t(area->y1) - area->y0;
    if (height <= 0 || visible <= 0)
        return;
    // y grows upwards: the part above the area's top lies between the two
    // upper edges; a page whose top shows has none.
    int64_t top = std::clamp(int64_t(page->y1) - area->y1, int64_t(0),
                             std::max(height - visible, int64_t(0)));
    out->top = int32_t(top);
    out->height = int32_t(std::min(height, int64_t(INT32_MAX)));
    out->visible = int32_t(std::min(visible, int64_t(INT32_MAX)));
}

void Fv_reportScroll(FvViewer *viewer)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page || !page->pageView)
        return;
    Rect v{0, 0, 0, 0}, c{0, 0, 0, 0};
    Fv_visibleRect(viewer, page, &v);
    Fv_contentRect(viewer, page, &c);
    FvScrollReport report{0, 0, 0};
    Fv_scrollOf(&v, &c, &report);
    App_sendRequest(instanceOf(viewer), Fv_requestScroll, &report);
}

void Fv_reportZoom(FvViewer *viewer)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page)
        return;
    FvZoomReport report{Fv_pageZoom(page)};
    App_sendRequest(instanceOf(viewer), Fv_requestZoom, &report);
}

void Fv_gotoEveryPage(FvViewer *viewer, FvPage *page)
{
    bool known = false;
    int32_t count = pageCountOf(page, &known);
    for (int32_t i = 0; i < count; i++) {
        if (Fv_gotoPage(viewer, page, i) != Res_ok)
            return;
        Edr_Doc *shown = nullptr;
        int32_t index = -1;
        if (Edr_Fwd_findSubdocPage(page->pageView, &shown, &index) && shown == page->document)
            return;
    }
}

int Fv_ensureCurrentPage(FvViewer *viewer, FvPage *page)
{
    if (!viewer || !viewer->context || !viewer->display || !page || !page->pageView)
        return Res_ok;
    Edr_Doc *shown = nullptr;
    int32_t index = -1;
    if (Edr_Fwd_findSubdocPage(page->pageView, &shown, &index) && shown == page->document) {
        Fv_setCurrentPage(viewer, page, index);
        return Res_ok;
    }
    if (page->firstDisplayPending == 1) {
        Fv_gotoEveryPage(viewer, page);
        return Res_ok;
    }
    bool known = false;
    int32_t count = pageCountOf(page, &known);
    if (!known)
        count = 1;
    return Fv_gotoPage(viewer, page, count - 1);
}

void Fv_firstDisplayPlacement(FvViewer *viewer, FvPage *page)
{
    if (!viewer || !page)
        return;
    if (page->currentIndex < 0 && Fv_isPageIndexValid(page, 0))
        Fv_setCurrentPage(viewer, page, 0);
    if (page->initialFitWanted && page->fitState != 1) {
        page->fitState = 0;
        Fv_applyInitialFit(viewer, page);
    }
    if (page->url) {
        char16_t *fragment = nullptr;
        if (Url_getPart(page->url, UrlPart_fragment, &fragment) && fragment && *fragment)
            (void)Fv_gotoFragment(viewer, page, page->document, fragment, nullptr, 0);
        Mem_free(fragment);
    }
    if (page->pendingAlign) {
        int32_t dx = 0, dy = 0;
        Fv_alignOffsets(viewer, page, page->pendingAlign, &dx, &dy);
        Fv_panBy(viewer, dx, dy, 1);
        page->pendingAlign = 0;
    }
    if (viewer->pendingFit)
        // Whether the zoom or the page moved is not needed here.
        (void)Fv_fitPage(viewer, page, viewer->pendingFit, 0);
}

// ------------------------------------------------------------ flow

int32_t Fv_viewMode(FvViewer *viewer)
{
    return FlowMode_ops(viewer) ? FlowMode_getMode(viewer) : FvViewMode_page;
}

int32_t Fv_flowMode(FvViewer *viewer)
{
    int32_t mode = FlowMode_ops(viewer) ? FlowMode_getMode(viewer) : FvViewMode_page;
    return mode == FvViewMode_page ? 0 : mode;
}

int Fv_canReflow(FvPage *page)
{
    if (!page || !page->viewer || !FlowMode_ops(page->viewer))
        return 0;
    if (page->flowOverride)
        return page->document && (page->document->featureFlags & 8) ? 1 : 0;
    if (!hasUrlText(page))
        return 1;
    char ext[8];
    extensionOf(page->url, ext, sizeof ext);
    static const char *const types[] = {"html",  "htm", "shtml", "php",  "mht",
                                        "mhtml", "eml", "txt",   nullptr};
    return extensionIn(ext, types) ? 1 : 0;
}

int Fv_canFlow(FvPage *page)
{
    if (!page || !page->viewer || !FlowMode_ops(page->viewer))
        return 0;
    if (page->flowOverride && page->document && (page->document->featureFlags & 1))
        return 1;
    if (!hasUrlText(page))
        return 1;
    char ext[8];
    extensionOf(page->url, ext, sizeof ext);
    static const char *const types[] = {"doc", "txt",   "html", "htm", "shtml", "php",
                                        "mht", "mhtml", "eml",  "hwp", nullptr};
    return extensionIn(ext, types) ? 1 : 0;
}

void Fv_updateFlowFlag(FvPage *page)
{
    if (!page || !page->url || !page->viewer)
        return;
    FvViewer *viewer = page->viewer;
    bool flowing = Fv_canFlow(page) && Fv_viewMode(viewer) == FvViewMode_reflow;
    FvDisplay_setHqPriority(viewer->display, flowing ? 0 : 1);
}

void Fv_checkFlow(FvPage *page, int typedOnly)
{
    if (!page)
        return;
    if (typedOnly == 1 && page->url) {
        // Only a URL whose type the table knows by its flags.
        char16_t *path = nullptr;
        uint32_t flags = 0x800;
        if (Url_getPart(page->url, UrlPart_path, &path) && path)
            flags = Mime_flagsForFileName(path);
        Mem_free(path);
        if (flags == 0)
            return;
    }
    Fv_updateFlowFlag(page);
}

void Fv_setViewMode(FvViewer *viewer, int32_t mode)
{
    if (!viewer)
        return;
    FvPage *page = viewer->page;
    if (!FlowMode_ops(viewer)) {
        FvViewModeReport report{FvViewMode_page, 0};
        App_sendRequest(instanceOf(viewer), Fv_requestViewMode, &report);
        return;
    }
    if (mode == FvViewMode_reflow && page && !Fv_canReflow(page))
        mode = FvViewMode_flow;
    if (page && page->url && !Fv_canFlow(page)) {
        FvViewModeReport report{Fv_viewMode(viewer), 0x10000};
        App_sendRequest(instanceOf(viewer), Fv_requestViewMode, &report);
        return;
    }
    (void)FlowMode_ops(viewer)->setMode(viewer, mode);
}

void Fv_queryViewMode(FvViewer *viewer)
{
    if (!viewer)
        return;
    FvViewModeReport report{FvViewMode_page, 0};
    if (FlowMode_ops(viewer)) {
        FvPage *page = viewer->page;
        report.mode = Fv_viewMode(viewer);
        report.result = page && page->url && !Fv_canFlow(page) ? 0x10000 : 1;
    }
    App_sendRequest(instanceOf(viewer), Fv_requestViewMode, &report);
}

int32_t Fv_panToPageMode(FvViewer *viewer, FvPage *page, int32_t direction, int32_t *move)
{
    *move = 0;
    FvZoomPanSettings *s = viewer ? viewer->zoomPanSettings : nullptr;
    if (!s || !page || direction < 1 || direction > 4)
        return 0;
    if (!s->panToPageEnable && !s->panToPageLeftRight)
        return 0;
    int32_t o = Fv_orientation(viewer);
    bool upDown = direction <= 2;
    // Orientations 0 and 2 turn pages with up and down, 1 and 3 with left
    // and right; 2 and 3 swap previous and next.
    bool pageAxis = (o == 0 || o == 2) ? upDown : !upDown;
    bool allowed = pageAxis ? s->panToPageEnable != 0 : s->panToPageLeftRight != 0;
    if (!allowed)
        return 0;
    bool previous = direction == 1 || direction == 3;
    if (o >= 2)
        previous = !previous;
    Rect v{0, 0, 0, 0}, c{0, 0, 0, 0};
    Fv_visibleRect(viewer, page, &v);
    Fv_contentRect(viewer, page, &c);
    // The pan has reached the page's edge on its side when that edge is in
    // the area, or within the border of it. View pixels count y upwards:
    // the page's top edge is y1.
    int32_t border = s->panBorderWidth;
    bool atEdge;
    if (upDown)
        atEdge = direction == 1 ? v.y1 <= c.y1 + border : v.y0 >= c.y0 - border;
    else
        atEdge = direction == 3 ? v.x0 >= c.x0 - border : v.x1 <= c.x1 + border;
    if (!atEdge)
        return 0;
    int32_t target = (page->currentIndex < 0 ? 0 : page->currentIndex) + (previous ? -1 : 1);
    if (!Fv_isPageIndexValid(page, target))
        return 0;
    *move = previous ? 1 : 2;
    if (pageAxis)
        return previous ? 7 : 11;
    return previous ? 9 : 13;
}
