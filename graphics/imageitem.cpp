// Image items: placement, orientation, pixels, scaling and the blit.
#include "graphics/imageitem.h"

#include <algorithm>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/image.h"
#include "graphics/imagerender.h"
#include "graphics/orient.h"
#include "graphics/pixelbuf.h"
#include "graphics/imageutil.h"
#include "graphics/level.h"
#include "graphics/drawflags.h"

namespace {

int32_t clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool isEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

// The corners of the box moved by the item's origin, in the order of
// orientation codes (y-up): bottom-left, top-left, top-right, bottom-right.
void boxCorners(const ObjHeader *item, Point out[4])
{
    Rect b = Obj_box(item);
    int64_t x0 = int64_t(b.x0) + item->origin[0], x1 = int64_t(b.x1) + item->origin[0];
    int64_t y0 = int64_t(b.y0) + item->origin[1], y1 = int64_t(b.y1) + item->origin[1];
    out[0] = Point{clamp32(x0), clamp32(y0)};
    out[1] = Point{clamp32(x0), clamp32(y1)};
    out[2] = Point{clamp32(x1), clamp32(y1)};
    out[3] = Point{clamp32(x1), clamp32(y0)};
}

Matrix itemMatrix(const ObjHeader *item, const Matrix *transform)
{
    Matrix m = transform ? *transform : *Matrix_identity();
    if (item->matrix)
        Matrix_multiply(&m, item->matrix, &m);
    return m;
}

// The part of the scaled picture (sw x sh, rows from the top) that the
// orientation turns into the visible part v of the destination.
Rect sourceTile(uint32_t code, const Rect &v, int32_t sw, int32_t sh)
{
    switch (code) {
    case Orient_flipHorizontal: return Rect{sw - v.x1, v.y0, sw - v.x0, v.y1};
    case Orient_flipVertical: return Rect{v.x0, sh - v.y1, v.x1, sh - v.y0};
    case Orient_rotate180: return Rect{sw - v.x1, sh - v.y1, sw - v.x0, sh - v.y0};
    case Orient_rotateClockwise: return Rect{v.y0, sh - v.x1, v.y1, sh - v.x0};
    case Orient_rotateAnticlockwise: return Rect{sw - v.y1, v.x0, sw - v.y0, v.x1};
    case Orient_transpose: return Rect{v.y0, v.x0, v.y1, v.x1};
    case Orient_antiTranspose: return Rect{sw - v.y1, sh - v.x1, sw - v.y0, sh - v.x0};
    default: return v;
    }
}

// Turns *buf by the orientation (in place when the size stays).
int orient(uint32_t code, PixelBuf **buf)
{
    if (!*buf)
        return Res_ok;
    OrientFn fn = Orient_routine(code, nullptr);
    if (!fn)
        return Res_ok;
    if (Orient_keepsSize(code))
        return fn(*buf, nullptr);
    PixelBuf *turned = nullptr;
    int r = fn(*buf, &turned);
    if (r != Res_ok)
        return r;
    PixelBuf_destroy(*buf);
    *buf = turned;
    return Res_ok;
}

// Draws the placeholder picture unscaled at the destination's top-left,
// clipped to the destination.
int drawPlaceholder(EngineContext *app, const ObjHeader *item, const PixelBuf *placeholder,
                    const Rect &dest, const DrawTarget *target, ImageBlitFn blit)
{
    if (!placeholder || !placeholder->pixels ||
        Pixel_normaliseFormat(placeholder->format) != Pixel_normaliseFormat(target->bitmap->format))
        return Res_ok;
    Rect clip = dest;
    if (target->clip)
        Rect_intersect(&clip, target->clip);
    DrawTarget t{target->bitmap, &clip, 0, 0};
    return blit(app, item, placeholder, nullptr, dest.x0, dest.y1 - placeholder->height, &t);
}

// Scales, turns and blits the visible part (or, repeated, the whole).
int drawPixels(EngineContext *app, ObjHeader *item, ImageItemPart *part, const PixelBuf *picture,
               const PixelBuf *mask, uint32_t code, const Rect &dest, const Rect &visible,
               int32_t quality, const DrawTarget *target, ImageBlitFn blit)
{
    bool swap = !Orient_keepsSize(code);
    int32_t dw = dest.x1 - dest.x0, dh = dest.y1 - dest.y0;
    int32_t sw = swap ? dh : dw, sh = swap ? dw : dh;
    int32_t repeatX = std::max(part->repeatX, 1), repeatY = std::max(part->repeatY, 1);
    bool repeated = repeatX > 1 || repeatY > 1;
    // The part of the destination to make, rows from its top.
    Rect v = repeated ? Rect{0, 0, dw, dh}
                      : Rect{visible.x0 - dest.x0, dest.y1 - visible.y1, visible.x1 - dest.x0,
                             dest.y1 - visible.y0};
    Rect t = sourceTile(code, v, sw, sh);
    PixelBuf *pic = nullptr, *msk = nullptr;
    int r = ImageItem_convert(app, picture, mask, &pic, mask ? &msk : nullptr, sw, sh, t.x0, t.y0,
                              t.x1 - t.x0, t.y1 - t.y0, target->bitmap->format, quality);
    if (r == Res_ok)
        r = orient(code, &pic);
    if (r == Res_ok)
        r = orient(code, &msk);
    if (r == Res_ok && !repeated) {
        r = blit(app, item, pic, msk, dest.x0 + v.x0, dest.y1 - v.y1, target);
    } else if (r == Res_ok) {
        // A repeated picture is first tiled into one larger buffer so that
        // fewer blits cover the area.
        int32_t countX = repeatX, countY = repeatY, sizeX = pic->width, sizeY = pic->height;
        PixelBuf *tp = nullptr, *tm = nullptr;
        int tr = PixelBuf_tile(pic, msk, &tp, msk ? &tm : nullptr, &countX, &countY, &sizeX, &sizeY,
                               ImageItem_tileBytes);
        const PixelBuf *bp = tr == Res_ok ? tp : pic;
        const PixelBuf *bm = tr == Res_ok ? tm : msk;
        if (tr != Res_ok) {
            countX = repeatX;
            countY = repeatY;
            sizeX = pic->width;
            sizeY = pic->height;
        }
        for (int32_t j = 0; r == Res_ok && j < countY; j++)
            for (int32_t i = 0; r == Res_ok && i < countX; i++) {
                int64_t x = int64_t(dest.x0) + int64_t(i) * sizeX;
                int64_t y = int64_t(dest.y1) - int64_t(j) * sizeY - bp->height;
                r = blit(app, item, bp, bm, clamp32(x), clamp32(y), target);
            }
        PixelBuf_destroy(tp);
        PixelBuf_destroy(tm);
    }
    PixelBuf_destroy(pic);
    PixelBuf_destroy(msk);
    return r;
}

// ---------------------------------------------------------------- class

ImageItemPart *partOf(ObjHeader *item)
{
    return ImageItem_part(item);
}

int drawSlot(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
             const DrawTarget *target, const DrawFlags *flags, intptr_t)
{
    int32_t quality = flags ? flags->quality[DrawQuality_image] : 15;
    uint32_t options = ImageItem_frameAllowed;
    if (flags && (flags->flags & DrawFlags_still))
        options |= ImageItem_still;
    return ImageItem_drawDefault(ctx, item, target, matrix, options, quality);
}

int identify(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
             const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = 0x496D67; // "Img"
    return Res_ok;
}

int boundsSlot(EngineContext *ctx, ObjHeader *item, Rect *rect)
{
    return ImageItem_getBounds(ctx, item, rect);
}

void freePayloads(ObjHeader *item)
{
    ImageItemPart *part = partOf(item);
    if (!part || !(item->flags & Obj_ownsData))
        return;
    ImageHandle_release(part->handle);
    PixelBuf_destroy(part->picture);
    PixelBuf_destroy(part->mask);
    part->handle = nullptr;
    part->picture = part->mask = nullptr;
}

const ObjItemOps kOps = {drawSlot, identify, boundsSlot};

} // namespace

// An image item shows the image of its node's group (Obj_itemImage).
const ObjClass ImageItem_class = {&kOps, int32_t(sizeof(ImageItemPart)), freePayloads,
                                  Obj_itemImage};

ObjHeader *ImageItem_create(const Rect *box)
{
    ObjHeader *item = Obj_create(&ImageItem_class, 0);
    if (!item)
        return nullptr;
    if (box)
        Obj_setBox(item, box);
    // Made of this class just above: its part is there.
    static_cast<ImageItemPart *>(Obj_part(item))->alpha = 255;
    return item;
}

ImageItemPart *ImageItem_part(ObjHeader *item)
{
    return ImageItem_is(item) ? static_cast<ImageItemPart *>(Obj_part(item)) : nullptr;
}

int ImageItem_is(const ObjHeader *item)
{
    return item && item->cls == &ImageItem_class;
}

// ------------------------------------------------------------ queries

int ImageItem_getInfo(ObjHeader *item, uint32_t options, int32_t *width, int32_t *height,
                      int32_t *resolution, int32_t *scale, uint32_t *flags)
{
    *width = *height = *resolution = *scale = 0;
    *flags = 0;
    ImageItemPart *part = partOf(item);
    if (!part)
        return Res_nullInput;
    if (part->kind == ImageItem_bufferKind) {
        if (!part->picture)
            return Res_nullInput;
        *width = part->picture->width;
        *height = part->picture->height;
        *resolution = part->resolution;
        *scale = part->scale ? part->scale : part->picture->scale;
        *flags = ImageItem_mustScale | (options & ImageItem_frameAllowed);
        return Res_ok;
    }
    int32_t info[6] = {0, 0, 0, 0, 0, 0};
    uint32_t caps = 0;
    int r = Image_getDocImageInfo(part->handle, info, nullptr, &caps);
    if (r != Res_ok)
        return r;
    *width = part->width ? part->width : info[0];
    *height = part->height ? part->height : info[1];
    *resolution = part->resolution ? part->resolution : info[2];
    *scale = part->scale ? part->scale : info[3];
    uint32_t f = options & ImageItem_frameAllowed;
    if (caps & ImageCap_sequence)
        f |= ImageItem_sequence;
    if (!(caps & ImageOpt_staticSubsample))
        f |= ImageItem_dynamicSubsample;
    if (!((caps & ImageCap_final) && !(caps & ImageCap_alphaWord)))
        f |= ImageItem_noPixels;
    if (!(options & 1) || (caps & (ImageCap_final | ImageCap_sequence)))
        f |= ImageItem_mustScale;
    if (caps & ImageCap_maskWord)
        f &= ~uint32_t(ImageItem_frameAllowed);
    *flags = f;
    return Res_ok;
}

int ImageItem_getBounds(EngineContext *, ObjHeader *item, Rect *bounds)
{
    ImageItemPart *part = partOf(item);
    if (!part || !bounds)
        return Res_nullInput;
    Point c[4];
    boxCorners(item, c);
    // Each side at most 8192 pixels at the item's resolution.
    int32_t resolution = part->resolution > 0 ? part->resolution : 96;
    int64_t limit = int64_t(ImageItem_boundsLimit) * 0x10000 / resolution;
    c[2].x = c[3].x = clamp32(std::min<int64_t>(c[3].x, int64_t(c[0].x) + limit));
    c[0].y = c[3].y = clamp32(std::min<int64_t>(c[0].y, int64_t(c[1].y) + limit));
    Matrix_transformPoints(c, 4, c, item->matrix ? item->matrix : Matrix_identity());
    Rect_boundPoints(bounds, c, 4, 0);
    return Res_ok;
}

int ImageItem_orientation(const Point corners[4], const Matrix *transform, Rect *rect,
                          uint32_t *code)
{
    Point p[4] = {corners[0], corners[1], corners[2], corners[3]};
    Matrix_transformPoints(p, 4, p, transform ? transform : Matrix_identity());
    Rect b{p[0].x, p[0].y, p[0].x, p[0].y};
    for (const Point &q : p) {
        b.x0 = std::min(b.x0, q.x);
        b.x1 = std::max(b.x1, q.x);
        b.y0 = std::min(b.y0, q.y);
        b.y1 = std::max(b.y1, q.y);
    }
    *rect = b;
    *code = 0;
    // Two bits per corner of the result: the source corner that lands
    // there.
    uint32_t c = 0;
    for (uint32_t i = 0; i < 4; i++) {
        bool left = p[i].x == b.x0, right = p[i].x == b.x1;
        bool bottom = p[i].y == b.y0, top = p[i].y == b.y1;
        if (!(left || right) || !(top || bottom))
            return ImageItem_notQuarterTurn;
        uint32_t corner = (left && bottom) ? 0 : left ? 1 : top ? 2 : 3;
        c |= i << (2 * corner);
    }
    if (b.x0 == b.x1 || b.y0 == b.y1)
        c = Orient_identity;
    int known = 0;
    Orient_routine(c, &known);
    if (!known)
        return ImageItem_notQuarterTurn;
    *code = c;
    return Res_ok;
}

void ImageItem_destRect(const Rect *rect, int32_t scale, const Point *offset, Rect *out)
{
    // 8 fraction bits kept through the product, then rounded.
    auto px = [scale](int32_t v, int32_t o) {
        int64_t fine = (int64_t(v) * scale) >> 8;
        return clamp32(int64_t(o) + ((fine + 128) >> 8));
    };
    int32_t ox = offset ? offset->x : 0, oy = offset ? offset->y : 0;
    Rect r{px(rect->x0, ox), px(rect->y0, oy), px(rect->x1, ox), px(rect->y1, oy)};
    if (r.x1 <= r.x0)
        r.x1 = clamp32(int64_t(r.x0) + 1);
    if (r.y1 <= r.y0)
        r.y1 = clamp32(int64_t(r.y0) + 1);
    *out = r;
}

int32_t ImageItem_levelForSize(int32_t width, int32_t height, int32_t drawnWidth,
                               int32_t drawnHeight)
{
    int64_t across = std::max<int64_t>(drawnWidth, drawnHeight);
    if (width <= 0 || height <= 0 || drawnWidth <= 0 || drawnHeight <= 0)
        return 0;
    int32_t level = 0;
    // Each halving rounds up, so a level keeps at least `across` pixels
    // on the shorter side.
    while (level < ImageStore_maxExtraLevels + 3 &&
           ((int64_t(std::min(width, height)) + (int64_t(1) << (level + 1)) - 1) >> (level + 1)) >=
               across)
        level++;
    return level;
}

int ImageItem_getPixels(ImageHandle *handle, int32_t displayScale, ImageLevelRange *range,
                        int32_t resolution, int32_t width, int32_t height, uint32_t format,
                        PixelBuf **picture, PixelBuf **mask, PixelBuf **placeholder,
                        ImageDrawRequest **request, uint32_t mode)
{
    format = Pixel_normaliseFormat(format);
    uint32_t first = mode | (displayScale > 0 ? uint32_t(ImageRender_noDecode) : 0);
    int r = Image_render(handle, format, 0, range, nullptr, first, nullptr, picture, mask,
                         placeholder, request);
    if (r != Res_imageNotDecoded)
        return r;
    // Not decoded yet: decode straight into a copy of display size.
    int32_t res = resolution > 0 ? resolution : 96;
    ImageTarget target{int32_t(std::min<int64_t>(int64_t(displayScale) * width / res + 1, width)),
                       int32_t(std::min<int64_t>(int64_t(displayScale) * height / res + 1, height)),
                       format};
    if (target.width < 1 || target.height < 1)
        target = ImageTarget{std::max(width, 1), std::max(height, 1), format};
    // Drawn much smaller than that: the copy has about the size drawn.
    if (range && range->start > 0 && range->start < 31) {
        int32_t step = int32_t(1) << range->start;
        target.width =
            std::min(target.width, std::max(1, int32_t((int64_t(width) + step - 1) / step)));
        target.height =
            std::min(target.height, std::max(1, int32_t((int64_t(height) + step - 1) / step)));
    }
    return Image_render(handle, format, 0, range, nullptr, mode | ImageRender_keepWithImage,
                        &target, picture, mask, placeholder, request);
}

int32_t ImageItem_scaleQuality(const ImageItemPart *part, int32_t drawQuality)
{
    if (part && part->quality < 0)
        return 0;
    return std::min<int32_t>(15, std::max<int32_t>(0, 2 * drawQuality));
}

int ImageItem_convert(EngineContext *app, const PixelBuf *picture, const PixelBuf *mask,
                      PixelBuf **newPicture, PixelBuf **newMask, int32_t scaledWidth,
                      int32_t scaledHeight, int32_t tileX, int32_t tileY, int32_t width,
                      int32_t height, uint32_t format, int32_t quality)
{
    *newPicture = nullptr;
    if (newMask)
        *newMask = nullptr;
    PixelBuf *pic = nullptr, *msk = nullptr;
    int32_t q = quality <= 0                                                         ? 0
                : (scaledWidth != picture->width || scaledHeight != picture->height) ? 2
                                                                                     : 1;
    int r = PixelBuf_create(&pic, width, height, Pixel_normaliseFormat(format), picture->scale);
    if (r == Res_ok)
        r = Image_scaleIntoBuffer(app, picture, scaledWidth, scaledHeight, pic, -tileX, -tileY, q);
    if (r == Res_ok && mask && newMask) {
        r = PixelBuf_create(&msk, width, height, Pixel_formatGrey8, mask->scale);
        if (r == Res_ok)
            r = Image_scaleIntoBuffer(app, mask, scaledWidth, scaledHeight, msk, -tileX, -tileY, q);
    }
    if (r != Res_ok) {
        PixelBuf_destroy(pic);
        PixelBuf_destroy(msk);
        return r;
    }
    *newPicture = pic;
    if (newMask)
        *newMask = msk;
    return Res_ok;
}

// --------------------------------------------------------------- drawing

int ImageItem_blitSpan(EngineContext *app, const ObjHeader *item, const PixelBuf *picture,
                       const PixelBuf *mask, int32_t x, int32_t y, const DrawTarget *target)
{
    if (!picture || !target || !target->bitmap)
        return Res_nullInput;
    const ImageItemPart *part =
        ImageItem_is(item)
            ? static_cast<const ImageItemPart *>(Obj_part(const_cast<ObjHeader *>(item)))
            : nullptr;
    uint32_t alpha = part ? std::min<uint32_t>(part->alpha, 255) : 255;
    DrawItem *d = target->bitmap->drawItem;
    d->kind = DrawItem_kindRect;
    d->paintKind = DrawItem_sourceBuffer;
    d->paint.buffer = {picture, x, y};
    int16_t scaleWords[2] = {int16_t(alpha), 0};
    StageNode alphaStage{&Level_stageOps, scaleWords, nullptr};
    const StageNode *maskStages = nullptr;
    if (mask) {
        d->maskKind = DrawItem_sourceBuffer;
        d->mask.buffer = {mask, x, y};
        if (alpha < 255)
            maskStages = &alphaStage;
    } else {
        d->maskKind = DrawItem_sourceSolid;
        d->mask.solid = {Pixel_formatGrey8, alpha};
    }
    d->cachedRowOp = nullptr;
    uint32_t effect = item ? (item->flags & Obj_effectMask) >> Obj_effectShift : 0;
    DrawTarget t{target->bitmap, target->clip, 0, 0};
    return DrawItem_render(d, Obj_kindRecord(app, effect), maskStages, &t);
}

int ImageItem_drawFrame(EngineContext *, const Rect *rect, const DrawTarget *target)
{
    if (!rect || !target || !target->bitmap)
        return Res_nullInput;
    Bitmap *bitmap = target->bitmap;
    Rect clip{0, 0, bitmap->width, bitmap->height};
    if (target->clip)
        Rect_intersect(&clip, target->clip);
    auto fill = [&](Rect r, uint32_t colour, uint32_t alpha) -> int {
        Rect_intersect(&r, &clip);
        if (isEmpty(r))
            return Res_ok;
        return Bitmap_fillColourAlpha(bitmap, colour, alpha, &r);
    };
    int r = fill(*rect, 0x00A0A0A0u, 127);
    int32_t line =
        std::max<int32_t>(1, int32_t((int64_t(ImageItem_frameLine) * bitmap->scale) >> 16));
    const Rect sides[4] = {
        {rect->x0, rect->y0, rect->x1, rect->y0 + line},
        {rect->x0, rect->y1 - line, rect->x1, rect->y1},
        {rect->x0, rect->y0, rect->x0 + line, rect->y1},
        {rect->x1 - line, rect->y0, rect->x1, rect->y1},
    };
    for (const Rect &s : sides)
        if (r == Res_ok)
            r = fill(s, 0, 255);
    return r;
}

int ImageItem_draw(EngineContext *app, ObjHeader *item, const DrawTarget *target,
                   const Matrix *transform, uint32_t options, int32_t quality, ImageBlitFn blit)
{
    ImageItemPart *part = partOf(item);
    if (!part || !target || !target->bitmap || !blit)
        return Res_nullInput;
    Bitmap *bitmap = target->bitmap;

    // 1. The frame only for items large enough.
    Rect box = Obj_box(item);
    if (int64_t(box.x1) - box.x0 < ImageItem_frameMinimum ||
        int64_t(box.y1) - box.y0 < ImageItem_frameMinimum)
        options &= ~uint32_t(ImageItem_frameAllowed);

    // 2. Size, resolution and flags.
    int32_t width = 0, height = 0, resolution = 0, scale = 0;
    uint32_t flags = 0;
    int r = ImageItem_getInfo(item, options, &width, &height, &resolution, &scale, &flags);
    if (r != Res_ok)
        return r;
    if (resolution == 0)
        resolution = 96;

    // 3. Orientation and destination.
    Point corners[4];
    boxCorners(item, corners);
    Matrix m = itemMatrix(item, transform);
    Rect placed;
    uint32_t code = 0;
    r = ImageItem_orientation(corners, &m, &placed, &code);
    if (r != Res_ok)
        return r;
    if (part->orient && part->orient != Orient_identity) {
        // The picture is first turned within its box: result corner k
        // shows the box corner code gives it, which shows the picture
        // corner the item's own code gives that one.
        uint32_t both = 0;
        for (uint32_t k = 0; k < 4; k++) {
            uint32_t viaBox = (code >> (2 * k)) & 3;
            both |= ((part->orient >> (2 * viaBox)) & 3) << (2 * k);
        }
        code = both;
    }
    Point offset{target->dx, target->dy};
    Rect dest;
    ImageItem_destRect(&placed, bitmap->scale, &offset, &dest);
    Rect visible{0, 0, bitmap->width, bitmap->height};
    if (target->clip)
        Rect_intersect(&visible, target->clip);
    Rect_intersect(&visible, &dest);
    int32_t smooth = ImageItem_scaleQuality(part, quality);

    // 4. Pixels, level by level while memory runs out. A picture drawn
    // much smaller than its size is decoded at the coarsest level that
    // still has a pixel per pixel drawn (either way round, so a quarter
    // turn keeps that too), and finer kept copies serve it as well.
    int32_t wanted = ImageItem_levelForSize(width, height, dest.x1 - dest.x0, dest.y1 - dest.y0);
    ImageLevelRange range{0, wanted > 0 ? wanted : ImageStore_noLevelLimit, -1, wanted};
    for (int attempt = 0; attempt <= ImageStore_noLevelLimit; attempt++) {
        const PixelBuf *picture = nullptr, *mask = nullptr;
        PixelBuf *placeholder = nullptr, *converted = nullptr, *got = nullptr, *gotMask = nullptr;
        ImageDrawRequest *request = nullptr;
        uint32_t f = flags;
        if (part->kind == ImageItem_bufferKind) {
            picture = part->picture;
            mask = part->mask;
            if (picture &&
                Pixel_normaliseFormat(picture->format) != Pixel_normaliseFormat(bitmap->format)) {
                r = PixelBuf_convert(picture, Pixel_normaliseFormat(bitmap->format), &converted,
                                     nullptr);
                picture = converted;
            }
        } else {
            r = ImageItem_getPixels(part->handle, bitmap->scale, &range, resolution, width, height,
                                    bitmap->format, &got, &gotMask, &placeholder, &request,
                                    (options & ImageItem_still) ? uint32_t(ImageRender_still) : 0);
            picture = got;
            mask = gotMask;
        }
        if (!picture)
            f |= ImageItem_noPixels;
        else
            f &= ~uint32_t(ImageItem_noPixels);
        int drawn = Res_ok;
        if ((f & ImageItem_noPixels) && (f & ImageItem_frameAllowed))
            drawn = ImageItem_drawFrame(app, &dest, target);
        if (drawn == Res_ok && picture && (f & ImageItem_mustScale) &&
            (!isEmpty(visible) || part->repeatX > 1 || part->repeatY > 1))
            drawn = drawPixels(app, item, part, picture, mask, code, dest, visible, smooth, target,
                               blit);
        else if (drawn == Res_ok && !picture && placeholder)
            drawn = drawPlaceholder(app, item, placeholder, dest, target, blit);
        PixelBuf_destroy(converted);
        if (request)
            Image_endRender(app, request);
        if (r == Res_ok || r == Res_imageNoImage)
            r = drawn;
        // 5. Out of memory: once more one level coarser, when allowed.
        if (r != Res_noMemory || !(flags & ImageItem_dynamicSubsample) ||
            part->kind != ImageItem_handleKind)
            return r;
        if (range.level < range.low)
            return Res_noMemory;
        range.low = range.level + 1;
        range.level = -1;
        if (range.low > ImageStore_noLevelLimit)
            return Res_noMemory;
        range.high = std::max(range.high, range.low);
    }
    return Res_noMemory;
}

int ImageItem_drawDefault(EngineContext *app, ObjHeader *item, const DrawTarget *target,
                          const Matrix *transform, uint32_t options, int32_t quality)
{
    return ImageItem_draw(app, item, target, transform, options, quality, ImageItem_blitSpan);
}
