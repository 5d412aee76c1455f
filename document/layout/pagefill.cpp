// The page background fill that page rendering paints every page with.
#include "core/result.h"
#include "core/geom/geom.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"

// Fills a rectangle of a bitmap with a page's background through the
// bitmap's own draw item: a rectangle painted with the pattern picture (at
// its origin) or the page colour, under the second picture as a mask or the
// page colour's opacity byte.
int Edr_Page_fillBackground(const PixelBuf *paint, const Point *paintOrigin, const PixelBuf *mask,
                            const Point *maskOrigin, const Edr_PageRec *page,
                            Edr_ScreenHooks *hooks, Bitmap *bitmap, const Rect *rect,
                            Edr_FillDoneFn after, void *argument)
{
    DrawItem *item = bitmap->drawItem;
    uint32_t colour = uint32_t(page->background[0]) | uint32_t(page->background[1]) << 8 |
                      uint32_t(page->background[2]) << 16 | uint32_t(page->background[3]) << 24;
    item->kind = DrawItem_kindRect;
    item->paintKind = paint ? DrawItem_sourceBuffer : DrawItem_sourceSolid;
    if (paint)
        item->paint.buffer = {paint, paintOrigin ? paintOrigin->x : 0,
                              paintOrigin ? paintOrigin->y : 0};
    else
        item->paint.solid = {Pixel_formatRGBA, colour};
    item->maskKind = mask ? DrawItem_sourceBuffer : DrawItem_sourceSolid;
    if (mask)
        item->mask.buffer = {mask, maskOrigin ? maskOrigin->x : 0, maskOrigin ? maskOrigin->y : 0};
    else
        item->mask.solid = {Pixel_formatGrey8, colour >> 24};
    item->cachedRowOp = nullptr;
    if (hooks && hooks->beginEnd)
        hooks->beginEnd(hooks, 0);
    const DrawTarget target = {bitmap, rect, 0, 0};
    int r = DrawItem_render(item, nullptr, nullptr, &target);
    if (hooks && hooks->beginEnd)
        hooks->beginEnd(hooks, 1);
    if (r == 0 && after)
        after(argument, rect);
    return r;
}
