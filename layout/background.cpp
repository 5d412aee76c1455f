// Background images: a box's picture positioned in its rectangle and
// tiled across it through one image item.
#include <algorithm>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/text/number.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "fonts/fontdata.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/image.h"
#include "graphics/imageitem.h"
#include "layout/boxiter.h"
#include "layout/layout.h"
#include "layout/replaced.h"

namespace {

constexpr uint32_t kTypeLength = 2;
constexpr uint32_t kTypePercent = 7;
constexpr uint32_t kTileLimit = 16384; // tiles drawn per item at most

int32_t sat(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

void readPos(const Edr_Style *style, uint32_t id, uint32_t *mode, int32_t *value)
{
    Edr_StylePayload p{};
    uint32_t type = style ? Edr_Style_get(style, id, &p) : 0;
    if (type == kTypeLength || type == kTypePercent) {
        *mode = type == kTypeLength ? Background_absolute : Background_percent;
        *value = int32_t(p.word);
    } else {
        *mode = Background_absolute;
        *value = 0;
    }
}

TiledImagePart *tiledPart(ObjHeader *item)
{
    return item && item->cls == &TiledImage_class ? static_cast<TiledImagePart *>(Obj_part(item))
                                                  : nullptr;
}

void freeTiled(ObjHeader *item)
{
    if (TiledImagePart *t = tiledPart(item)) {
        Obj_destroy(t->image);
        t->image = nullptr;
    }
}

// Draws the image once for every tile that meets the item's rectangle,
// stepping from the first tile's corner along the repeated axes.
int drawTiled(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
              const DrawTarget *target, const DrawFlags *flags, intptr_t)
{
    TiledImagePart *t = tiledPart(item);
    if (!t || !t->image)
        return Res_nullInput;
    const Rect area = Obj_shownBox(item);
    int32_t w = sat(int64_t(t->imageBounds.x1) - t->imageBounds.x0);
    int32_t h = sat(int64_t(t->imageBounds.y1) - t->imageBounds.y0);
    if (w <= 0 || h <= 0)
        return Res_ok;
    bool rx = t->repeat == KwId_repeat || t->repeat == KwId_repeatX || t->repeat == 0;
    bool ry = t->repeat == KwId_repeat || t->repeat == KwId_repeatY || t->repeat == 0;
    int64_t x0 = int64_t(t->origin.x) + item->origin[0];
    int64_t y0 = int64_t(t->origin.y) + item->origin[1];
    // Repeated axes start at the last tile edge at or before the area's.
    if (rx)
        x0 -= w * ((x0 - area.x0 + (x0 > area.x0 ? w - 1 : 0)) / w);
    if (ry)
        y0 -= h * ((y0 - area.y0 + (y0 > area.y0 ? h - 1 : 0)) / h);
    // Tiles that cross the rectangle's edges are cut at them: the picture
    // shows inside its box only.
    DrawTarget clipped = *target;
    Rect clip{};
    const Point corners[4] = {
        {area.x0, area.y0}, {area.x0, area.y1}, {area.x1, area.y1}, {area.x1, area.y0}};
    Rect placed{};
    uint32_t code = 0;
    if (target->bitmap && ImageItem_orientation(corners, matrix, &placed, &code) == Res_ok) {
        Point offset{target->dx, target->dy};
        ImageItem_destRect(&placed, target->bitmap->scale, &offset, &clip);
        if (target->clip)
            Rect_intersect(&clip, target->clip);
        if (clip.x0 >= clip.x1 || clip.y0 >= clip.y1)
            return Res_ok;
        clipped.clip = &clip;
    }
    const ObjItemOps *ops = Obj_itemOps(t->image);
    uint32_t drawn = 0;
    for (int64_t x = x0; x < area.x1 && drawn < kTileLimit; x += w) {
        for (int64_t y = y0; y < area.y1 && drawn < kTileLimit; y += h, drawn++) {
            if (x + w > area.x0 && y + h > area.y0) {
                Rect r{sat(x), sat(y), sat(x + w), sat(y + h)};
                Obj_setBox(t->image, &r);
                int err = ops->draw(ctx, t->image, nullptr, matrix, &clipped, flags, 0);
                if (err)
                    return err;
            }
            if (!ry)
                break;
        }
        if (!rx)
            break;
    }
    return Res_ok;
}

int identifyTiled(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
                  const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = 0x54696C; // "Til"
    return Res_ok;
}

int boundsTiled(EngineContext *, ObjHeader *item, Rect *rect)
{
    *rect = Obj_shownBox(item);
    return Res_ok;
}

const ObjItemOps kTiledOps = {drawTiled, identifyTiled, boundsTiled};

} // namespace

const ObjClass TiledImage_class = {&kTiledOps, int32_t(sizeof(TiledImagePart)), freeTiled,
                                   Obj_itemPlain};

int BoxBackground_create(const Edr_Style *style, int32_t imageId, const Rect *rect,
                         BoxBackground **out)
{
    *out = static_cast<BoxBackground *>(Mem_calloc(1, sizeof(BoxBackground)));
    if (!*out)
        return Res_noMemory;
    BoxBackground *b = *out;
    b->imageId = imageId;
    b->rect = rect ? *rect : Rect{1, 1, 0, 0};
    readPos(style, PropId_backgroundPositionX, &b->xMode, &b->x);
    readPos(style, PropId_backgroundPositionY, &b->yMode, &b->y);
    b->repeat = style ? Edr_Style_get(style, PropId_backgroundRepeat, nullptr) : 0;
    return Res_ok;
}

void BoxBackground_free(BoxBackground *record)
{
    Mem_free(record);
}

void BoxBackground_position(const BoxBackground *r, const Rect *b, Point *out)
{
    const Rect &R = r->rect;
    if (r->xMode == Background_percent) {
        int32_t p = r->x;
        out->x = sat(int64_t(R.x0) + Fixed_mulPercent(sat(int64_t(R.x1) - R.x0), p) -
                     (int64_t(Fixed_mulPercent(sat(int64_t(b->x1) - b->x0), p)) + b->x0));
    } else {
        out->x = sat(int64_t(R.x0) + r->x);
    }
    if (r->yMode == Background_percent) {
        int32_t p = r->y;
        out->y = sat((int64_t(R.y1) - Fixed_mulPercent(sat(int64_t(R.y1) - R.y0), p)) -
                     (int64_t(b->y1) - Fixed_mulPercent(sat(int64_t(b->y1) - b->y0), p)));
    } else {
        out->y = sat((int64_t(R.y1) - r->y) - (int64_t(b->y1) - b->y0));
    }
}

int BoxBackground_findImage(LayoutBox *box, int32_t imageId, uint32_t styleWord, ObjHeader **item)
{
    *item = nullptr;
    if (!box || !box->document)
        return Res_ok;
    for (Edr_NumberedGroup *g = box->document->numberedGroups; g; g = g->next) {
        if (int32_t(g->number) != imageId)
            continue;
        Edr_Node *child = g->group ? Edr_Node_firstChild(g->group) : nullptr;
        if (!child || Edr_Node_type(child) != Edr_NodeType_image)
            return Res_ok;
        Edr_ImageNode *im = Edr_Node_imagePayload(child);
        if (!im || !im->image || !Image_isUsable(im->image))
            return Res_ok;
        IterEntry request{};
        request.node = child;
        int err = Layout_makeDocImageItem(box, item, &request);
        if (err == Layout_cannotMeasure)
            return Res_ok;
        if (!err && *item && styleWord)
            (*item)->spare[0] = styleWord;
        return err;
    }
    return Res_ok;
}

ObjHeader *BoxBackground_makeTiled(const BoxBackground *record, ObjHeader *image)
{
    ObjHeader *o = Obj_create(&TiledImage_class, 0);
    if (!o)
        return nullptr;
    TiledImagePart *t = tiledPart(o);
    o->flags |= image->flags & Obj_hidden;
    o->node = image->node;
    Rect box{0, 0, sat(int64_t(record->rect.x1) - record->rect.x0),
             sat(int64_t(record->rect.y1) - record->rect.y0)};
    Obj_setBox(o, &box);
    o->origin[0] = record->rect.x0;
    o->origin[1] = record->rect.y0;
    t->width = box.x1;
    t->height = box.y1;
    t->imageBounds = Obj_box(image);
    // The first tile's corner, kept from the item's origin so that it
    // moves with the item.
    BoxBackground_position(record, &t->imageBounds, &t->origin);
    t->origin.x = sat(int64_t(t->origin.x) - record->rect.x0);
    t->origin.y = sat(int64_t(t->origin.y) - record->rect.y0);
    t->repeat = record->repeat;
    t->image = image;
    return o;
}

int BoxBackground_addItem(LayoutBox *box, const BoxBackground *record, uint32_t styleWord)
{
    if (!box->layers)
        return Res_ok;
    ObjHeader *image = nullptr;
    int err = BoxBackground_findImage(box, record->imageId, styleWord, &image);
    if (err || !image)
        return err;
    ObjHeader *tiled = BoxBackground_makeTiled(record, image);
    if (!tiled) {
        Obj_destroy(image);
        return Res_noMemory;
    }
    LayerList_prepend(box->layers, tiled);
    return Res_ok;
}

void Layout_paletteColour(uint32_t index, uint8_t out[4])
{
    // The palette is the named-colour table; index 17, just past it, is
    // the all-zero (transparent) colour that stands for "no background".
    uint32_t word = 0;
    Pixel_namedColour(&word, index > 17 ? 17 : int32_t(index));
    out[0] = uint8_t(word);
    out[1] = uint8_t(word >> 8);
    out[2] = uint8_t(word >> 16);
    out[3] = uint8_t(word >> 24);
}
