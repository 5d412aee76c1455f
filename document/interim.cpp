// Interim definitions of document-model services whose modules are not
// built yet (selection), and the handler description that the interims of
// importers not built yet register. Each does the least its callers need.
#include "core/result.h"
#include "document/edit/selection.h"
#include "document/edr/node.h"
#include "document/interim.h"
#include "document/types/doctype.h"
#include "platform/vfs/vfs.h"

// Interim: no selection is ever made before the selection module.
void Edr_Sel_free(Edr_Selection *)
{
}

// Interim: image nodes over streams are not made before the image-node
// stream reader; the stream is closed and nothing is added.
int Edr_Node_createImageStream(Edr_Doc *, Edr_Node *, int32_t, Edr_Node **out, VfsHandle *stream, int32_t,
                               int32_t, uint32_t)
{
    if (out)
        *out = nullptr;
    if (stream)
        (void)Vfs_close(stream);
    return Res_ok;
}

// Interim: the handler of an importer not built yet recognises nothing.
namespace {

// The operations of a handler that recognises nothing.
int rateNothing(EngineContext *, Edr_HandlerDesc *, const char16_t *, int32_t *score)
{
    *score = 0;
    return Res_ok;
}

int sniffNothing(EngineContext *, Edr_HandlerDesc *, VfsHandle *, int32_t *score, uint32_t *typeId)
{
    *score = 0;
    *typeId = 0;
    return Res_ok;
}

int openNothing(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *, Edr_Node *)
{
    (void)Vfs_close(stream);
    return Res_notImplemented;
}

void releaseNothing(EngineContext *, Edr_HandlerDesc *)
{
}

} // namespace

int DocType_describeInterim(EngineContext *, Edr_HandlerDesc *desc)
{
    desc->matchMime = rateNothing;
    desc->sniff = sniffNothing;
    desc->open = openNothing;
    desc->release = releaseNothing;
    desc->enabled = 1;
    return Res_ok;
}

#include "core/geom/geom.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"

// Interim: the whole fill, until the layout services of the document model
// bring it (page rendering needs it now).
int Edr_Page_fillBackground(const PixelBuf *paint, const Point *paintOrigin, const PixelBuf *mask,
                            const Point *maskOrigin, const Edr_PageRec *page, Edr_ScreenHooks *hooks,
                            Bitmap *bitmap, const Rect *rect, Edr_FillDoneFn after, void *argument)
{
    DrawItem *item = bitmap->drawItem;
    uint32_t colour = uint32_t(page->background[0]) | uint32_t(page->background[1]) << 8 |
                      uint32_t(page->background[2]) << 16 | uint32_t(page->background[3]) << 24;
    item->kind = DrawItem_kindRect;
    item->paintKind = paint ? DrawItem_sourceBuffer : DrawItem_sourceSolid;
    if (paint)
        item->paint.buffer = {paint, paintOrigin ? paintOrigin->x : 0, paintOrigin ? paintOrigin->y : 0};
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
