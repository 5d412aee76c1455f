// Path items: a path node in a line becomes a stroke item and a fill item
// that share its path, placed at the line's start limit.
#include <algorithm>
#include <cstring>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/container/stoplist.h"
#include "core/geom/matrix.h"
#include "graphics/stroke.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/edr/node.h"
#include "graphics/pathbounds.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/gradient.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "layout/boxiter.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/replaced.h"
#include "graphics/imageutil.h"

namespace {

// The part of an item made here, which is always a path item.
PathItemPart *pathItemPartOf(ObjHeader *item)
{
    return static_cast<PathItemPart *>(Obj_part(item));
}

constexpr uint32_t kPropPaintMode = 125;
constexpr uint32_t kPropFillRule = 126;
constexpr uint32_t kPropServer = 109;
constexpr uint32_t kSubpixels = 3;
constexpr uint32_t kTypeList = 15;

int32_t sat(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// Bounds of the path (a stroke of no width reaches every point).
Rect pathBounds(const Path *path)
{
    Rect r = Rect_emptyBound;
    if (!path || !path->count)
        return r;
    Pen pen{0, 0, 0, 0, 0, nullptr};
    if (Path_strokeBounds(nullptr, path, &r, Matrix_identity(), &pen) != Res_ok)
        r = Rect_emptyBound;
    return r;
}

Rect transformedBounds(const Rect &bounds, const Matrix *m)
{
    Point c[4];
    Rect_toQuad(c, &bounds);
    Matrix_transformPoints(c, 4, c, m);
    Rect r{};
    Rect_boundPoints(&r, c, 4, 1);
    return r;
}

// The 256-entry colour ramp of a paint server's stops: each byte is
// interpolated between the neighbouring stops, the end stops' colours
// held beyond them. *opaque tells whether every entry has alpha 255.
int pathItemMakeRamp(const PaintServer *server, PixelBuf **out, bool *opaque)
{
    int r = PixelBuf_create(out, 256, 1, Pixel_formatRGBA, 1);
    if (r != Res_ok)
        return r;
    const int32_t *st = server->stops;
    const uint32_t n = server->count;
    bool allOpaque = true;
    for (int32_t i = 0; i < 256; i++) {
        const int64_t t = (int64_t(i) * 0x10000 + 127) / 255;
        uint32_t k = 0;
        while (k + 1 < n && st[2 * (k + 1)] < t)
            k++;
        uint32_t c0 = uint32_t(st[2 * k + 1]), c1 = c0;
        int64_t f = 0, span = 1;
        if (t > st[2 * k] && k + 1 < n) {
            c1 = uint32_t(st[2 * (k + 1) + 1]);
            span = int64_t(st[2 * (k + 1)]) - st[2 * k];
            f = span > 0 ? t - st[2 * k] : 0;
            if (span <= 0)
                span = 1;
        }
        uint32_t c = 0;
        for (int b = 0; b < 32; b += 8) {
            const int64_t a = (c0 >> b) & 0xFF, z = (c1 >> b) & 0xFF;
            c |= uint32_t(a + ((z - a) * f + span / 2) / span) << b;
        }
        allOpaque = allOpaque && (c >> 24) == 0xFF;
        std::memcpy((*out)->pixels + 4 * i, &c, 4);
    }
    *opaque = allOpaque;
    return Res_ok;
}

// The matrix from gradient space (one period 16384 units along u) to the
// item's pixels for a server laid over box (y-up pixels). False when the
// points give no direction.
bool pathItemGradientMatrix(const PaintServer *server, const Rect &box, Matrix *out)
{
    const int64_t w = int64_t(box.x1) - box.x0, h = int64_t(box.y1) - box.y0;
    auto px = [&](int32_t f) { return box.x0 + ((w * f) >> 16); };
    auto py = [&](int32_t f) { return box.y1 - ((h * f) >> 16); };
    const int64_t sx = px(server->start[0]), sy = py(server->start[1]);
    const int64_t ex = px(server->end[0]), ey = py(server->end[1]);
    if (server->mode == 1) {
        // Outwards from the start point: the radial parameter is the
        // distance from gradient point (16384, 16384), one period away
        // at the end point's horizontal and vertical reach.
        const int64_t rx = std::max<int64_t>(ex > sx ? ex - sx : sx - ex, 1);
        const int64_t ry = std::max<int64_t>(ey > sy ? ey - sy : sy - ey, 1);
        *out = Matrix{sat(rx * 4), 0, 0, sat(ry * 4), sat(sx - rx), sat(sy - ry)};
        return true;
    }
    const int64_t dx = ex - sx, dy = ey - sy;
    if (!dx && !dy)
        return false;
    *out = Matrix{sat(dx * 4), sat(dy * 4), sat(-dy * 4), sat(dx * 4), sat(sx), sat(sy)};
    return true;
}

int drawPath(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
             const DrawTarget *target, const DrawFlags *, intptr_t)
{
    PathItemPart *p = PathItem_part(item);
    if (!p || !target || !p->path || !p->paint)
        return Res_nullInput;
    // The path goes where the item's box is shown: its bounds (under the
    // item's matrix) are moved onto the box, which layout may have moved.
    Matrix m = matrix ? *matrix : *Matrix_identity();
    Matrix local = p->matrix ? *p->matrix : *Matrix_identity();
    Rect shown = Obj_shownBox(item), mapped = transformedBounds(p->bounds, &local);
    local.tx = sat(int64_t(local.tx) + shown.x0 - mapped.x0);
    local.ty = sat(int64_t(local.ty) + shown.y0 - mapped.y0);
    Matrix_multiply(&m, &local, &m);
    DrawItem *d = target->bitmap->drawItem;
    d->kind = DrawItem_kindPath;
    d->shape.path = FillRequest{};
    d->shape.path.path = p->path;
    d->shape.path.s = kSubpixels;
    d->shape.path.matrix = &m;
    if (p->paint->isStroke) {
        d->shape.path.penKind = 1;
        const int32_t *s = p->paint->stroke;
        // An outline thinner than a pixel is drawn one pixel wide: drawn to
        // its width it fades into a grey smear, or to nothing, at small
        // scales (a half-point frame border at 48 pixels per inch).
        d->shape.path.pen = Pen{
            uint32_t(s[0]) | uint32_t(Pen_atLeastOnePixel), s[1], s[3], s[4] / 2, s[4], nullptr};
    } else {
        d->shape.path.penKind = 0;
        d->shape.path.pen.style = p->paint->stroke[0] ? Fill_ruleEvenOdd : Fill_ruleNonZero;
    }
    const StageNode *stages =
        Obj_kindRecord(ctx, (item->flags & Obj_effectMask) >> Obj_effectShift);
    uint32_t colour = p->colour;
    if (p->paintKind == 1 && p->server && p->server->count) {
        const PaintServer *server = p->server;
        // The gradient is laid over the path's box in pixels: the matrix
        // gives the device space of the path's scale, which the bitmap's
        // scale then stretches.
        Rect box = transformedBounds(p->bounds, &m);
        const Bitmap *bitmap = target->bitmap;
        if (p->path->scale > 0 && bitmap->scale != p->path->scale) {
            auto scaled = [&](int32_t v) {
                return sat(int64_t(v) * bitmap->scale / p->path->scale);
            };
            box = Rect{scaled(box.x0), scaled(box.y0), scaled(box.x1), scaled(box.y1)};
        }
        Matrix toPixels;
        PixelBuf *ramp = nullptr;
        bool opaque = true;
        const uint32_t format = bitmap->format;
        if ((format == Pixel_formatGrey8 || format == Pixel_format565 ||
             format == Pixel_format565Alt) &&
            pathItemGradientMatrix(server, box, &toPixels) &&
            pathItemMakeRamp(server, &ramp, &opaque) == Res_ok) {
            const uint32_t flags =
                server->mode == 1 ? uint32_t(Gradient_radialFlag | Gradient_padU | Gradient_padV)
                                  : uint32_t(Gradient_padU);
            GradientPaint colours{nullptr, ramp, &toPixels, nullptr, 0, 0, flags};
            GradientPaint alphas = colours;
            d->paintKind = DrawItem_sourceCallback;
            d->paint.callback = {Gradient_fetchColour, Gradient_releaseColour, &colours};
            if (opaque) {
                d->maskKind = DrawItem_sourceSolid;
                d->mask.solid = {Pixel_formatGrey8, 255};
            } else {
                d->maskKind = DrawItem_sourceCallback;
                d->mask.callback = {Gradient_fetchMask, Gradient_releaseMask, &alphas};
            }
            d->cachedRowOp = nullptr;
            int r = DrawItem_render(d, stages, nullptr, target);
            Gradient_dropCache(&colours);
            Gradient_dropCache(&alphas);
            PixelBuf_destroy(ramp);
            if (r != Res_noMemory)
                return r;
        } else {
            PixelBuf_destroy(ramp);
        }
        // Without memory for the gradient's pixels its first stop stands
        // for it.
        colour = uint32_t(server->stops[1]);
    }
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, colour & 0x00FFFFFFu};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, colour >> 24};
    d->cachedRowOp = nullptr;
    return DrawItem_render(d, stages, nullptr, target);
}

int identifyPath(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
                 const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = 0x506168; // "Pah"
    return Res_ok;
}

int boundsPath(EngineContext *, ObjHeader *item, Rect *rect)
{
    *rect = Obj_shownBox(item);
    return Res_ok;
}

void freePath(ObjHeader *item)
{
    PathItemPart *p = PathItem_part(item);
    if (!p)
        return;
    Mem_free(p->matrix);
    if (p->paintKind == 1 && p->server) {
        Mem_free(p->server->stops);
        Mem_free(p->server);
    }
    Mem_free(p->paint);
    if (p->flags & 3)
        Path_destroy(p->path);
    std::memset(p, 0, sizeof *p);
}

const ObjItemOps kPathOps = {drawPath, identifyPath, boundsPath};

bool isHidden(const Edr_Style *style)
{
    uint32_t v = style ? Edr_Style_get(style, PropId_visibility, nullptr) : 0;
    return v == KwId_hidden || v == KwId_collapse;
}

// One item painted from property id of the node's style.
int makeItem(Edr_Node *node, const Edr_Style *style, uint32_t id, ObjHeader **out)
{
    *out = nullptr;
    ObjHeader *o = Obj_create(&PathItem_class, 0);
    if (!o)
        return Res_noMemory;
    PathItemPart *p = pathItemPartOf(o);
    p->paint = static_cast<PathPaint *>(Mem_calloc(1, sizeof(PathPaint)));
    if (!p->paint) {
        Obj_destroy(o);
        return Res_noMemory;
    }
    p->paint->isStroke = id == PropId_drawColour;
    if (p->paint->isStroke)
        Edr_Style_getLineRecord(style, p->paint->stroke);
    else
        p->paint->stroke[0] =
            Edr_Style_get(style, kPropFillRule, nullptr) == FillRule_evenOddKeyword ? 1 : 0;
    if (isHidden(style))
        o->flags |= Obj_hidden;
    o->node = node;
    p->node = node;
    p->path = static_cast<Path *>(Edr_Node_payloadOrNull(node));
    p->bounds = pathBounds(p->path);
    // A fill covers hidden edges too (an outline drawn with hidden lines
    // only still encloses an area the stroke bounds never reach).
    if (!p->paint->isStroke && p->path) {
        Rect all = Rect_emptyBound;
        if (Edr_Draw_getBounds(nullptr, p->path, nullptr, &all) == Res_ok && all.x0 <= all.x1 &&
            all.y0 <= all.y1)
            p->bounds = Rect{std::min(p->bounds.x0, all.x0), std::min(p->bounds.y0, all.y0),
                             std::max(p->bounds.x1, all.x1), std::max(p->bounds.y1, all.y1)};
    }
    if (p->paint->isStroke && p->bounds.x0 <= p->bounds.x1 && p->bounds.y0 <= p->bounds.y1) {
        // A straight vertical or horizontal line has no area but its pen
        // covers half its width on either side: it is still drawn.
        const int32_t half = std::max<int32_t>(p->paint->stroke[1] / 2, 1);
        if (p->bounds.x0 == p->bounds.x1) {
            p->bounds.x0 = sat(int64_t(p->bounds.x0) - half);
            p->bounds.x1 = sat(int64_t(p->bounds.x1) + half);
        }
        if (p->bounds.y0 == p->bounds.y1) {
            p->bounds.y0 = sat(int64_t(p->bounds.y0) - half);
            p->bounds.y1 = sat(int64_t(p->bounds.y1) + half);
        }
    }
    Rect box = p->bounds;
    if (box.x0 < box.x1 && box.y0 < box.y1)
        Obj_setBox(o, &box);
    Edr_StylePayload v{};
    uint32_t type = Edr_Style_get(style, id, &v);
    if (id == kPropServer) {
        p->server = static_cast<PaintServer *>(Mem_calloc(1, sizeof(PaintServer)));
        int err = p->server ? PaintServer_fromStopList(p->server, type == kTypeList ? v.word : 0)
                            : Res_noMemory;
        p->paintKind = 1;
        if (err) {
            Obj_destroy(o);
            return err;
        }
    } else {
        uint8_t c[4] = {0, 0, 0, 0xFF};
        Edr_Style_getWithFallback(style, id, c, 1);
        p->colour =
            uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
    }
    *out = o;
    return Res_ok;
}

bool emptyBounds(ObjHeader *item)
{
    const Rect &b = pathItemPartOf(item)->bounds;
    return !(b.x0 < b.x1 && b.y0 < b.y1);
}

// Places one item at the start limit, or Layout_lineFull when it is wider than the
// room (the entry pushed back first while it may fit on a later line).
int fit(LayoutBox *box, BoxIter *iter, ObjHeader *item, IterEntry *entry)
{
    PathItemPart *p = pathItemPartOf(item);
    int64_t w = int64_t(p->bounds.x1) - p->bounds.x0;
    int64_t room = int64_t(box->block.lineRight) - box->block.lineLeft;
    if (room < w) {
        if (room < box->availableWidth && entry->rewinds < Replaced_maxRewinds && iter)
            BoxIter_rewindTo(iter, entry);
        return Layout_lineFull;
    }
    p->offset[0] = sat(int64_t(box->block.lineLeft) - p->bounds.x0);
    p->offset[1] = 0;
    item->origin[0] = p->offset[0];
    item->origin[1] = 0;
    box->block.lineLeft = sat(int64_t(box->block.lineLeft) + w);
    return Res_ok;
}

} // namespace

int PaintServer_fromStopList(PaintServer *out, uintptr_t value)
{
    const StopList *list = reinterpret_cast<const StopList *>(value);
    const bool given = list && list->count >= StopList_minStops;
    uint32_t count = given ? uint32_t(list->count) : 2;
    if (count > PaintServer_maxStops)
        count = PaintServer_maxStops;
    out->kind = PaintServer_kindRamp;
    out->count = 0;
    out->stops = static_cast<int32_t *>(Mem_calloc(size_t(count) * 2, sizeof(int32_t)));
    if (!out->stops)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++) {
        int32_t position = given ? list->stops[i].position : int32_t(i * 0x10000);
        position = position < 0 ? 0 : (position > 0x10000 ? 0x10000 : position);
        out->stops[2 * i] = position;
        out->stops[2 * i + 1] = given ? int32_t(list->stops[i].value) : int32_t(0xFF000000u);
    }
    out->mode = 0;
    out->start[0] = out->start[1] = out->end[0] = 0;
    out->end[1] = 0x10000;
    out->count = count;
    return Res_ok;
}

const ObjClass PathItem_class = {&kPathOps, int32_t(sizeof(PathItemPart)), freePath, Obj_itemPlain};

PathItemPart *PathItem_part(ObjHeader *item)
{
    return item && item->cls == &PathItem_class ? static_cast<PathItemPart *>(Obj_part(item))
                                                : nullptr;
}

int PathItem_makePair(LayoutBox *, IterEntry *entry, ObjHeader **stroke, ObjHeader **fill)
{
    *stroke = *fill = nullptr;
    const Edr_Style *style = entry->style;
    uint32_t mode = style ? Edr_Style_get(style, kPropPaintMode, nullptr) : 0;
    bool wantStroke = mode == PaintMode_stroke || mode == PaintMode_strokeFill ||
                      mode == PaintMode_strokeFillServer;
    bool wantFill = mode == PaintMode_fill || mode == PaintMode_fillServer ||
                    mode == PaintMode_strokeFill || mode == PaintMode_strokeFillServer;
    if (wantStroke) {
        int err = makeItem(entry->node, style, PropId_drawColour, stroke);
        if (err)
            return err;
        if (emptyBounds(*stroke)) {
            Obj_destroy(*stroke);
            *stroke = nullptr;
        }
    }
    if (wantFill) {
        uint32_t id =
            (mode == PaintMode_fill || mode == PaintMode_strokeFill) ? PropId_color : kPropServer;
        int err = makeItem(entry->node, style, id, fill);
        if (err) {
            Obj_destroy(*stroke);
            *stroke = nullptr;
            return err;
        }
        if (emptyBounds(*fill)) {
            Obj_destroy(*fill);
            *fill = nullptr;
        }
    }
    return Res_ok;
}

int PathItem_place(LayoutBox *box, BoxIter *iter, IterEntry *entry)
{
    ObjHeader *stroke = nullptr, *fill = nullptr;
    int err = PathItem_makePair(box, entry, &stroke, &fill);
    if (err || (!stroke && !fill))
        return err;
    LayerList_selectKey(box->layers, LayerList_normalKey);
    err = fit(box, iter, fill ? fill : stroke, entry);
    if (err) {
        Obj_destroy(stroke);
        Obj_destroy(fill);
        return err;
    }
    if (fill && stroke) {
        PathItemPart *s = pathItemPartOf(stroke), *f = pathItemPartOf(fill);
        s->offset[0] = f->offset[0];
        s->offset[1] = f->offset[1];
        stroke->origin[0] = fill->origin[0];
        stroke->origin[1] = fill->origin[1];
        if (f->matrix) {
            s->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
            if (!s->matrix) {
                Obj_destroy(stroke);
                Obj_destroy(fill);
                return Res_noMemory;
            }
            *s->matrix = *f->matrix;
        }
    }
    // The fill goes under the outline: painted over it, it would hide the
    // outline's inner half (all of a pen thinner than a pixel).
    if (fill)
        LayerList_append(box->layers, fill);
    if (stroke)
        LayerList_append(box->layers, stroke);
    return Res_ok;
}

int Layout_placePathItem(LayoutBox *box, Edr_Style *style, Edr_Node *node, Edr_Node *,
                         const Rect *rect, int32_t height)
{
    IterEntry e{};
    e.style = style;
    e.node = node;
    // Fill first, outline over it.
    ObjHeader *items[2] = {nullptr, nullptr};
    int err = PathItem_makePair(box, &e, &items[1], &items[0]);
    if (err)
        return err;
    int32_t rh = rect->y1 - rect->y0;
    for (ObjHeader *o : items) {
        if (!o)
            continue;
        if (height && rh > 0 && height != rh) {
            PathItemPart *p = pathItemPartOf(o);
            p->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
            if (!p->matrix) {
                Obj_destroy(items[0]);
                Obj_destroy(items[1]);
                return Res_noMemory;
            }
            *p->matrix = *Matrix_identity();
            p->matrix->d = -sat((int64_t(height) << 16) / rh);
            Rect turned = transformedBounds(p->bounds, p->matrix);
            Obj_setBox(o, &turned);
        }
        o->origin[0] = rect->x0;
        o->origin[1] = rect->y0;
        LayerList_append(box->layers, o);
    }
    return Res_ok;
}
