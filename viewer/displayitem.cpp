// Display items and display lists built by the viewer (see displayitem.h).
#include "viewer/displayitem.h"

#include <algorithm>
#include <cstring>

#include "core/geom/matrix.h"
#include "graphics/stroke.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/boxitem.h"
#include "graphics/drawitem.h"
#include "graphics/bitmap.h"
#include "graphics/fill.h"
#include "fonts/glyphrun.h"
#include "graphics/image.h"
#include "graphics/imageitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "core/text/ustr.h"
#include "layout/replaced.h"
#include "graphics/imageutil.h"

namespace {

enum : uint32_t {
    kSubpixels = 3,
    kAlwaysSet = 1u << 3,
    kSharedFormat = 1u << 10,
};

// Appends, stores and asks the class for the bounds.
int finish(EngineContext *engine, DisplayList *list, DisplayItem **out, DisplayItem *item)
{
    Rect bounds = Obj_box(item);
    const ObjItemOps *ops = Obj_itemOps(item);
    int r = ops && ops->bounds ? ops->bounds(engine, item, &bounds) : Res_ok;
    DisplayList_append(list, item);
    if (out)
        *out = item;
    return r;
}

int32_t toUnits(int32_t pixels, int32_t resolution)
{
    return int32_t(int64_t(pixels) * 65536 / (resolution > 0 ? resolution : 96));
}

} // namespace

// ------------------------------------------------------------- lists

DisplayList *DisplayList_new()
{
    return static_cast<DisplayList *>(Mem_calloc(1, sizeof(DisplayList)));
}

DisplayItem *DisplayList_takeHead(DisplayList *list)
{
    if (!list)
        return nullptr;
    DisplayItem *head = list->head;
    list->head = list->tail = nullptr;
    return head;
}

void DisplayList_append(DisplayList *list, DisplayItem *item)
{
    if (!list || !item)
        return;
    Obj_setNext(item, nullptr);
    if (list->tail)
        Obj_setNext(list->tail, item);
    else
        list->head = item;
    list->tail = item;
}

void DisplayList_removeItem(DisplayList *list, DisplayItem *item)
{
    if (!list || !item)
        return;
    DisplayItem *previous = nullptr;
    DisplayItem *at = list->head;
    while (at && at != item) {
        previous = at;
        at = Obj_next(at);
    }
    if (!at)
        return; // not in this list: nothing changes
    DisplayItem *next = Obj_next(item);
    if (previous)
        Obj_setNext(previous, next);
    else
        list->head = next;
    if (list->tail == item)
        list->tail = previous;
    DisplayItem_free(item);
}

void DisplayList_free(DisplayList *list)
{
    if (!list)
        return;
    for (DisplayItem *item = list->head; item;) {
        DisplayItem *next = Obj_next(item);
        DisplayItem_free(item);
        item = next;
    }
    Mem_free(list);
}

// ------------------------------------------------------------- items

DisplayItem *DisplayItem_new(const ObjClass *cls, int32_t x, int32_t y, Matrix *transform,
                             uint32_t options)
{
    DisplayItem *item = Obj_create(cls, 0);
    if (!item) {
        Mem_free(transform);
        return nullptr;
    }
    item->flags = (options & (DisplayItem_optOwns | DisplayItem_optFontList)) | kAlwaysSet;
    if (!(options & DisplayItem_optOwnFont))
        item->flags |= kSharedFormat;
    item->origin[0] = x;
    item->origin[1] = y;
    item->matrix = transform;
    return item;
}

void DisplayItem_free(DisplayItem *item)
{
    Obj_destroy(item); // the class frees the data the item owns, then the transform
}

void DisplayItem_setTransform(DisplayItem *item, Matrix *matrix)
{
    if (!item)
        return;
    Mem_free(item->matrix);
    item->matrix = matrix;
}

void DisplayItem_setUserBits(DisplayItem *item, uint32_t mask, uint32_t value)
{
    if (!item)
        return;
    uint32_t bits = uint32_t(item->spare[0]) & DisplayItem_userMask;
    bits = ((bits & ~mask) ^ value) & DisplayItem_userMask;
    item->spare[0] = (item->spare[0] & ~uintptr_t(DisplayItem_userMask)) | bits;
}

uint32_t DisplayItem_userBits(const DisplayItem *item)
{
    return item ? uint32_t(item->spare[0]) & DisplayItem_userMask : 0;
}

int DisplayItem_newPath(EngineContext *engine, DisplayList *list, DisplayItem **out, int32_t x,
                        int32_t y, Matrix *transform, Path *path, const PathPaint *paint,
                        uint32_t colour, uint32_t options)
{
    if (out)
        *out = nullptr;
    DisplayItem *item = DisplayItem_new(&PathItem_class, x, y, transform, options);
    PathPaint *copy = item ? static_cast<PathPaint *>(Mem_malloc(sizeof(PathPaint))) : nullptr;
    if (!copy) {
        DisplayItem_free(item);
        if (options & DisplayItem_optOwns)
            Path_destroy(path);
        return Res_noMemory;
    }
    *copy = paint ? *paint : PathPaint{};
    PathItemPart *part = PathItem_part(item);
    part->path = path;
    part->paint = copy;
    part->colour = colour;
    part->flags = options & (DisplayItem_optOwns | DisplayItem_optFontList);
    // The path is drawn where its bounds are shown: the box is the bounds.
    Rect bounds = Rect_emptyBound;
    Pen pen{0, 0, 0, 0, 0, nullptr};
    if (!path || !path->count ||
        Path_strokeBounds(nullptr, path, &bounds, Matrix_identity(), &pen) != Res_ok)
        bounds = Rect{0, 0, 0, 0};
    part->bounds = bounds;
    Obj_setBox(item, &bounds);
    return finish(engine, list, out, item);
}

int DisplayItem_newPolygon(EngineContext *engine, DisplayList *list, DisplayItem **out,
                           const Point *points, int32_t count, uint32_t colour, uint32_t options)
{
    if (out)
        *out = nullptr;
    Path *path = nullptr;
    int r = Path_create(&path, 0x10000);
    if (r != Res_ok)
        return r;
    for (int32_t i = 0; i < count && r == Res_ok; i++)
        r = i == 0 ? Path_moveTo(path, points[i].x, points[i].y)
                   : Path_lineTo(path, points[i].x, points[i].y);
    if (r == Res_ok && count > 0)
        r = Path_close(path);
    if (r != Res_ok) {
        Path_destroy(path);
        return r;
    }
    PathPaint fill{0, {0, 0, 0x10000, 0, 0, 0}}; // a non-zero fill
    return DisplayItem_newPath(engine, list, out, 0, 0, nullptr, path, &fill, colour,
                               options | DisplayItem_optOwns);
}

int DisplayItem_newImage(EngineContext *engine, DisplayList *list, DisplayItem **out, int32_t x,
                         int32_t y, Matrix *transform, ImageHandle *image, uint32_t colour,
                         uint32_t options)
{
    if (out)
        *out = nullptr;
    int32_t info[6] = {};
    (void)Image_getDocImageInfo(image, info, nullptr, nullptr);
    Rect box{0, 0, toUnits(info[0], info[2]), toUnits(info[1], info[2])};
    DisplayItem *item = DisplayItem_new(&ImageItem_class, x, y, transform, options);
    if (!item) {
        if (options & DisplayItem_optOwns)
            ImageHandle_release(image);
        return Res_noMemory;
    }
    Obj_setBox(item, &box);
    ImageItemPart *part = ImageItem_part(item);
    part->kind = ImageItem_handleKind;
    part->handle = image;
    part->alpha = colour >> 24;
    part->quality = -1; // a sprite is drawn at its own size
    return finish(engine, list, out, item);
}

int DisplayItem_newPixelImage(EngineContext *engine, DisplayList *list, DisplayItem **out,
                              int32_t x, int32_t y, Matrix *transform, PixelBuf *pixels,
                              uint32_t colour, int32_t resolution, uint32_t options)
{
    if (out)
        *out = nullptr;
    DisplayItem *item = DisplayItem_new(&ImageItem_class, x, y, transform, options);
    if (!item) {
        if (options & DisplayItem_optOwns)
            PixelBuf_destroy(pixels);
        return Res_noMemory;
    }
    Rect box{0, 0, pixels ? toUnits(pixels->width, resolution) : 0,
             pixels ? toUnits(pixels->height, resolution) : 0};
    Obj_setBox(item, &box);
    ImageItemPart *part = ImageItem_part(item);
    part->kind = ImageItem_bufferKind;
    part->picture = pixels;
    part->resolution = resolution;
    part->alpha = colour >> 24;
    part->quality = -1;
    return finish(engine, list, out, item);
}

int DisplayItem_setText(DisplayItem *item, const char16_t *text)
{
    if (!item || item->cls != &TextItem_class)
        return Res_nullInput;
    size_t n = text ? Ustr_len(text) : 0;
    char16_t *copy = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!copy)
        return Res_noMemory;
    if (n)
        memcpy(copy, text, n * sizeof(char16_t));
    copy[n] = 0;
    Mem_free(item->block);
    item->block = copy;
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(item));
    part->base.chars = copy;
    part->base.start = 0;
    part->base.count = uint32_t(n);
    return Res_ok;
}

int DisplayItem_measureText(DisplayItem *item, Rect *extent)
{
    if (!item || item->cls != &TextItem_class)
        return Res_nullInput;
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(item));
    const ObjTextPart &t = part->base;
    Rect rect{0, 0, 0, 0};
    int r = TextRun_measureFit(t.fonts, t.size, t.styleFlags, t.style, t.chars, t.count, 0, 0,
                               0x7FFFFFFF, nullptr, &rect);
    if (r != Res_ok)
        return r;
    if (rect.x1 < rect.x0 || rect.y1 < rect.y0)
        rect = Rect{0, 0, 0, 0};
    Obj_setBox(item, &rect);
    part->baseline = -rect.y0;
    *extent = rect;
    return Res_ok;
}

int DisplayItem_newText(EngineContext *, DisplayList *list, DisplayItem **out, int32_t x, int32_t y,
                        Matrix *transform, const char16_t *text, FontList *fonts, int32_t size,
                        uint32_t colour, uint32_t options)
{
    if (out)
        *out = nullptr;
    DisplayItem *item = DisplayItem_new(&TextItem_class, x, y, transform, options);
    if (!item)
        return Res_noMemory;
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(item));
    part->base.fonts = fonts;
    part->base.size = size;
    part->colour = colour;
    Rect extent{};
    int r = DisplayItem_setText(item, text);
    if (r == Res_ok)
        r = DisplayItem_measureText(item, &extent);
    if (r != Res_ok) {
        if (out)
            *out = item;
        else
            DisplayItem_free(item);
        return r;
    }
    DisplayList_append(list, item);
    if (out)
        *out = item;
    return Res_ok;
}

int DisplayItem_newShape(EngineContext *, DisplayList *list, DisplayItem **out, int32_t x,
                         int32_t y, int32_t width, int32_t height, Matrix *transform, uint32_t fill,
                         uint32_t stroke, int32_t strokeWidth)
{
    if (out)
        *out = nullptr;
    DisplayItem *item = DisplayItem_new(&BoxItem_class, x, y, transform, 0);
    if (!item)
        return Res_noMemory;
    // The shape's bounds are its own rectangle.
    Rect box{0, 0, width, height};
    Obj_setBox(item, &box);
    BoxItemPart *part = BoxItem_part(item);
    uint32_t style = strokeWidth >= 1 ? uint32_t(BorderStyle_solid) : uint32_t(BorderStyle_none);
    for (BoxBorder &b : part->borders)
        b = BoxBorder{style, stroke, strokeWidth >= 1 ? strokeWidth : 0};
    part->background.colour = fill;
    DisplayList_append(list, item);
    if (out)
        *out = item;
    return Res_ok;
}
