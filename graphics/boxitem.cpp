// Box border drawing: the box item class, its background and borders,
// shading, and image drawing for items of the class.
#include "graphics/boxitem.h"

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawflags.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "graphics/rastergeom.h"
#include "graphics/imageutil.h"

namespace {

enum : uint32_t {
    kSubpixels = 3, // sub-pixel bits of every fill but the uniform frame
    kPenStyle = 4,  // the low 7 bits of a border line's pen style
    kFrameMaxBits = 8,
    kDoubleMinimum = 100, // a third of a double border thinner than this is drawn solid
};

int32_t add(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

int32_t sub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

// The paint of a fill: the colour shaded as asked, its alpha.
void setSolidPaint(DrawItem *item, uint32_t colour, uint32_t shade)
{
    item->paintKind = DrawItem_sourceSolid;
    item->paint.solid = {Pixel_formatRGBA, Colour_shade(colour, shade)};
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, colour >> 24};
    item->cachedRowOp = nullptr;
}

void setPathShape(DrawItem *item, const Path *path, uint32_t s, const Matrix *matrix,
                  uint32_t penKind)
{
    item->kind = DrawItem_kindPath;
    item->shape.path = FillRequest{};
    item->shape.path.path = path;
    item->shape.path.s = s;
    item->shape.path.matrix = matrix;
    item->shape.path.penKind = penKind;
}

bool sameBorder(const BoxBorder &a, const BoxBorder &b)
{
    return a.style == b.style && a.colour == b.colour;
}

Rect innerRect(const ObjHeader *item, const BoxItemPart *part)
{
    Rect box = Obj_box(item);
    const BoxBorder *b = part->borders;
    return Rect{add(add(box.x0, item->origin[0]), b[BoxBorder_x0].width),
                add(add(box.y0, item->origin[1]), b[BoxBorder_y0].width),
                sub(add(box.x1, item->origin[0]), b[BoxBorder_x1].width),
                sub(add(box.y1, item->origin[1]), b[BoxBorder_y1].width)};
}

// The uniform frame: the outer and inner rectangles filled even-odd.
int drawFrame(const Rect &inner, const BoxItemPart *part, uint32_t s, const BoxPaint *paint)
{
    const BoxBorder *b = part->borders;
    Rect outer{sub(inner.x0, b[BoxBorder_x0].width), sub(inner.y0, b[BoxBorder_y0].width),
               add(inner.x1, b[BoxBorder_x1].width), add(inner.y1, b[BoxBorder_y1].width)};
    Path_reset(paint->path);
    int err = Path_addRect(paint->path, &outer);
    if (!err)
        err = Path_addRect(paint->path, &inner);
    if (err)
        return err;
    setPathShape(paint->item, paint->path, s, paint->matrix, 0);
    paint->item->shape.path.pen.style = Fill_ruleEvenOdd;
    setSolidPaint(paint->item, b[BoxBorder_x0].colour, 0);
    return DrawItem_render(paint->item, paint->stages, nullptr, paint->target);
}

// Each side on its centre line: y0, x1, y1, x0.
int drawSides(const Rect &inner, const BoxItemPart *part, const BoxPaint *paint)
{
    const BoxBorder *b = part->borders;
    int32_t wx0 = b[BoxBorder_x0].width, wy1 = b[BoxBorder_y1].width;
    int32_t wy0 = b[BoxBorder_y0].width, wx1 = b[BoxBorder_x1].width;
    struct Side {
        uint32_t side;
        Point start, end;
        int32_t a, b;
        const BoxBorder *border;
    };
    const Side sides[4] = {
        {BoxSide_y0,
         {add(inner.x1, wx1), sub(inner.y0, wy0 / 2)},
         {sub(inner.x0, wx0), sub(inner.y0, wy0 / 2)},
         wx1,
         wx0,
         &b[BoxBorder_y0]},
        {BoxSide_x1,
         {add(inner.x1, wx1 / 2), add(inner.y1, wy1)},
         {add(inner.x1, wx1 / 2), sub(inner.y0, wy0)},
         wy1,
         wy0,
         &b[BoxBorder_x1]},
        {BoxSide_y1,
         {sub(inner.x0, wx0), add(inner.y1, wy1 / 2)},
         {add(inner.x1, wx1), add(inner.y1, wy1 / 2)},
         wx0,
         wx1,
         &b[BoxBorder_y1]},
        {BoxSide_x0,
         {sub(inner.x0, wx0 / 2), sub(inner.y0, wy0)},
         {sub(inner.x0, wx0 / 2), add(inner.y1, wy1)},
         wy0,
         wy1,
         &b[BoxBorder_x0]},
    };
    for (const Side &s : sides) {
        int err = BoxBorder_drawSide(s.side, &s.start, &s.end, s.a, s.b, s.border, paint);
        if (err)
            return err;
    }
    return Res_ok;
}

// Border widths as drawn: a drawn border thinner than one device pixel
// along its axis is widened to one, so that the thinnest line still
// shows at any scale (a width of 0 draws nothing).
void widenThinBorders(BoxItemPart *part, const Matrix *m, int32_t scale)
{
    if (scale <= 0)
        return;
    for (uint32_t slot = 0; slot < 4; slot++) {
        BoxBorder &b = part->borders[slot];
        if (b.style < BorderStyle_dotted || b.style > BorderStyle_outset || b.width <= 0)
            continue;
        // The device length of one inch across the side's line.
        bool across = slot == BoxBorder_x0 || slot == BoxBorder_x1;
        Point v;
        Matrix_transformPoint(&v, across ? 0x10000 : 0, across ? 0 : 0x10000, m);
        int64_t inch = Path_pointDistance(m->tx, m->ty, v.x, v.y);
        if (inch <= 0)
            continue;
        // One pixel is 65536 / scale device units (as Rect_toDevice counts).
        int64_t pixel = (int64_t(0x10000) * 0x10000 + inch * scale - 1) / (inch * scale);
        if (b.width < pixel)
            b.width = pixel > INT32_MAX ? INT32_MAX : int32_t(pixel);
    }
}

int render(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
           const DrawTarget *target, const DrawFlags *flags, intptr_t)
{
    const BoxItemPart *stored = BoxItem_part(item);
    if (!stored || !target)
        return Res_nullInput;
    const StageNode *stages =
        Obj_kindRecord(ctx, (item->flags & Obj_effectMask) >> Obj_effectShift);
    uint32_t frameBits = kSubpixels;
    if (flags) {
        int64_t q = int64_t(flags->quality[DrawQuality_box]) * 3 / 15;
        frameBits = (flags->flags & DrawFlags_fastBoxes) ? 1
                    : q < 0                              ? 0
                    : q > kFrameMaxBits                  ? kFrameMaxBits
                                                         : uint32_t(q);
    }
    Matrix m = matrix ? *matrix : *Matrix_identity();
    if (item->matrix)
        Matrix_multiply(&m, item->matrix, &m);
    BoxItemPart shown = *stored;
    BoxItemPart *part = &shown;
    widenThinBorders(part, &m, target->bitmap->scale);
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (err)
        return err;
    BoxPaint paint{&m, stages, target, path, target->bitmap->drawItem};

    Rect inner = innerRect(item, part);
    err = Path_addRect(path, &inner);
    if (!err) {
        setPathShape(paint.item, path, kSubpixels, &m, 0);
        paint.item->shape.path.pen.style = Fill_ruleEvenOdd;
        err = View_paintBackground(ctx, &part->background, paint.item, stages, target);
    }
    if (!err) {
        const BoxBorder *b = part->borders;
        bool uniform = sameBorder(b[0], b[1]) && sameBorder(b[0], b[2]) && sameBorder(b[0], b[3]);
        if (uniform && b[0].style == BorderStyle_solid)
            err = drawFrame(inner, part, frameBits, &paint);
        else
            err = drawSides(inner, part, &paint);
    }
    Path_destroy(path);
    return err;
}

int identify(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
             const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = BoxItem_identifier;
    return Res_ok;
}

int bounds(EngineContext *, ObjHeader *item, Rect *rect)
{
    BoxItemPart *part = BoxItem_part(item);
    if (!part || !rect)
        return Res_nullInput;
    auto width = [part](uint32_t edge) {
        const BoxBorder &b = part->borders[edge];
        return b.style == BorderStyle_none ? 0 : b.width;
    };
    Rect r{sub(rect->x0, width(BoxBorder_x0)), sub(rect->y0, width(BoxBorder_y0)),
           add(rect->x1, width(BoxBorder_x1)), add(rect->y1, width(BoxBorder_y1))};
    Point corners[4];
    Rect_toQuad(corners, &r);
    Matrix_transformPoints(corners, 4, corners, item->matrix ? item->matrix : Matrix_identity());
    Rect_boundPoints(rect, corners, 4, 0);
    return Res_ok;
}

const ObjItemOps kOps = {render, identify, bounds};

} // namespace

const ObjClass BoxItem_class = {&kOps, int32_t(sizeof(BoxItemPart)), nullptr, Obj_itemPlain};

ObjHeader *BoxItem_create(const Rect *box)
{
    ObjHeader *item = Obj_create(&BoxItem_class, 0);
    if (item && box)
        Obj_setBox(item, box);
    return item;
}

BoxItemPart *BoxItem_part(ObjHeader *item)
{
    return BoxItem_is(item) ? static_cast<BoxItemPart *>(Obj_part(item)) : nullptr;
}

int BoxItem_is(const ObjHeader *item)
{
    return item && item->cls == &BoxItem_class;
}

uint32_t Colour_shade(uint32_t colour, uint32_t flag)
{
    uint32_t v = colour & 0x00FFFFFFu;
    if (flag == 0)
        return v;
    uint32_t m = 0;
    for (int shift = 0; shift < 24; shift += 8)
        if ((v >> shift) & 0xFF)
            m |= 0xFFu << shift;
    if (v == 0)
        m = 0x00FFFFFFu;
    uint32_t h = m & 0x00808080u;
    bool lighter = (v & m) < h;
    // Channel by channel, so that nothing carries into or borrows from
    // the neighbouring channel.
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t c = int32_t((v >> shift) & 0xFF), d = int32_t((h >> shift) & 0xFF);
        int32_t r = lighter ? c + d : c - d;
        r = r < 0 ? 0 : r > 255 ? 255 : r;
        out |= uint32_t(r) << shift;
    }
    return out;
}

int BoxBorder_strokeLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                         int32_t width, const int32_t *dash, uint32_t shade, const BoxPaint *paint)
{
    Path_reset(paint->path);
    int err = Path_moveTo(paint->path, x0, y0);
    if (!err)
        err = Path_lineTo(paint->path, x1, y1);
    if (err)
        return err;
    setPathShape(paint->item, paint->path, kSubpixels, paint->matrix, 1);
    paint->item->shape.path.pen = Pen{kPenStyle, width, 0, 0, 0, dash};
    setSolidPaint(paint->item, colour, shade);
    return DrawItem_render(paint->item, paint->stages, nullptr, paint->target);
}

int BoxBorder_fillQuad(const int32_t x[4], const int32_t y[4], uint32_t colour, uint32_t shade,
                       const BoxPaint *paint)
{
    Path_reset(paint->path);
    int err = Path_moveTo(paint->path, x[0], y[0]);
    for (int i = 1; i < 4 && !err; i++)
        err = Path_lineTo(paint->path, x[i], y[i]);
    if (!err)
        err = Path_close(paint->path);
    if (err)
        return err;
    setPathShape(paint->item, paint->path, kSubpixels, paint->matrix, 0);
    paint->item->shape.path.pen.style = Fill_ruleEvenOdd;
    setSolidPaint(paint->item, colour, shade);
    return DrawItem_render(paint->item, paint->stages, nullptr, paint->target);
}

int BoxBorder_drawSide(uint32_t side, const Point *start, const Point *end, int32_t a, int32_t b,
                       const BoxBorder *border, const BoxPaint *paint)
{
    const int32_t w = border->width;
    const int32_t xa = start->x, ya = start->y, xb = end->x, yb = end->y;
    uint32_t style = border->style;
    if (style == BorderStyle_dotted || style == BorderStyle_dashed) {
        int32_t on = style == BorderStyle_dotted ? w : int32_t(int64_t(w) * 3);
        const int32_t dash[3] = {on, on, -1};
        return BoxBorder_strokeLine(xa, ya, xb, yb, border->colour, w, dash, 0, paint);
    }
    if (style < BorderStyle_dotted || style > BorderStyle_outset)
        return Res_ok;

    int32_t t = w / 2, r = 0;
    if (style == BorderStyle_groove || style == BorderStyle_ridge) {
        t = w / 4;
        r = w / 2;
    } else if (style == BorderStyle_double) {
        const Matrix *m = paint->matrix;
        Point v;
        Matrix_transformPoint(&v, w / 3, 0, m);
        if (Path_pointDistance(m->tx, m->ty, v.x, v.y) < kDoubleMinimum) {
            style = BorderStyle_solid;
        } else {
            t = w / 3;
            r = w / 3;
        }
    }
    a = sub(a, r);
    b = sub(b, r);

    int32_t x[4], y[4];
    switch (side) {
    case BoxSide_y1:
        x[0] = xa, y[0] = add(ya, t), x[1] = xb, y[1] = add(yb, t);
        x[2] = sub(xb, b), y[2] = sub(yb, t), x[3] = add(xa, a), y[3] = sub(ya, t);
        break;
    case BoxSide_y0:
        x[0] = sub(xa, a), y[0] = add(ya, t), x[1] = add(xb, b), y[1] = add(yb, t);
        x[2] = xb, y[2] = sub(yb, t), x[3] = xa, y[3] = sub(ya, t);
        break;
    case BoxSide_x0:
        x[0] = sub(xa, t), y[0] = ya, x[1] = sub(xb, t), y[1] = yb;
        x[2] = add(xb, t), y[2] = sub(yb, b), x[3] = add(xa, t), y[3] = add(ya, a);
        break;
    default: // BoxSide_x1
        x[0] = sub(xa, t), y[0] = sub(ya, a), x[1] = sub(xb, t), y[1] = add(yb, b);
        x[2] = add(xb, t), y[2] = yb, x[3] = add(xa, t), y[3] = ya;
        break;
    }

    switch (style) {
    case BorderStyle_solid: return BoxBorder_fillQuad(x, y, border->colour, 0, paint);
    case BorderStyle_double:
    case BorderStyle_groove:
    case BorderStyle_ridge: {
        int err = BoxBorder_strokeLine(x[0], y[0], x[1], y[1], border->colour, r, nullptr,
                                       style == BorderStyle_ridge, paint);
        if (err)
            return err;
        return BoxBorder_strokeLine(x[2], y[2], x[3], y[3], border->colour, r, nullptr,
                                    style == BorderStyle_groove, paint);
    }
    default: { // inset, outset
        uint32_t shade = style == BorderStyle_outset ? (side == BoxSide_y1 || side == BoxSide_x0)
                                                     : (side == BoxSide_y0 || side == BoxSide_x1);
        if (Colour_shade(border->colour, 1) < Colour_shade(border->colour, 0))
            shade ^= 1;
        return BoxBorder_fillQuad(x, y, border->colour, shade, paint);
    }
    }
}

int BoxItem_drawImage(EngineContext *ctx, const PixelBuf *picture, const PixelBuf *mask,
                      uint32_t alpha, int32_t x, int32_t y, const ObjHeader *item,
                      const DrawTarget *target)
{
    if (!picture || !target || !target->bitmap)
        return Res_nullInput;
    DrawItem *d = target->bitmap->drawItem;
    d->paintKind = DrawItem_sourceBuffer;
    d->paint.buffer = {picture, x, y};
    if (mask) {
        d->maskKind = DrawItem_sourceBuffer;
        d->mask.buffer = {mask, x, y};
    } else {
        d->maskKind = DrawItem_sourceSolid;
        d->mask.solid = {Pixel_formatGrey8, alpha};
    }
    d->cachedRowOp = nullptr;
    uint32_t effect = item ? (item->flags & Obj_effectMask) >> Obj_effectShift : 0;
    return DrawItem_render(d, Obj_kindRecord(ctx, effect), nullptr, target);
}

int View_paintBackground(EngineContext *, const ViewBackground *background, DrawItem *item,
                         const StageNode *stages, const DrawTarget *target)
{
    // A box's background colour fills the item's shape under its alpha; a
    // transparent colour paints nothing, and so does a background without
    // a colour (a colour-stop list is not drawn here).
    if (!background || !item || !target || (background->colour >> 24) == 0)
        return Res_ok;
    item->paintKind = DrawItem_sourceSolid;
    item->paint.solid = {Pixel_formatRGBA, background->colour & 0x00FFFFFFu};
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, background->colour >> 24};
    item->cachedRowOp = nullptr;
    return DrawItem_render(item, stages, nullptr, target);
}
