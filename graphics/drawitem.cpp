// The draw item record and its defaults.
#include "graphics/drawitem.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pixelbuf.h"

int DrawItem_create(DrawItem **out)
{
    *out = nullptr;
    DrawItem *item = static_cast<DrawItem *>(Mem_calloc(1, sizeof(DrawItem)));
    if (!item)
        return Res_noMemory;
    item->kind = DrawItem_kindRect;
    item->paintKind = DrawItem_sourceSolid;
    item->paint[0] = Pixel_formatRGBA;
    item->paint[1] = 0;
    item->maskKind = DrawItem_sourceSolid;
    item->mask[0] = Pixel_formatGrey8;
    item->mask[1] = 0;
    item->cachedRowOp = nullptr;
    *out = item;
    return Res_ok;
}

void DrawItem_destroy(DrawItem *item)
{
    Mem_free(item);
}
