// Glyphs and decorations into draw items.
#include "fonts/glyphdraw.h"

#include <algorithm>

#include "graphics/glyphcache.h"
#include "core/geom/rect.h"
#include "core/result.h"
#include "fonts/fontlist.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/glyphmask.h"
#include "graphics/glyphpath.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "fonts/textrun.h"

namespace {

// The glyph matrix followed by the run matrix: outline units to pixels.
Matrix deviceMatrix(const GlyphWalk *walk)
{
    Matrix m = walk->glyphMatrix;
    Matrix_concat(&m, walk->runMatrix);
    return m;
}

int drawPath(Path *path, const Matrix *m, const DrawTarget *target, uint32_t colour)
{
    DrawItem *d = target->bitmap->drawItem;
    path->scale = 0x10000; // page units, like every other item
    d->kind = DrawItem_kindPath;
    d->shape.path = FillRequest{};
    d->shape.path.path = path;
    d->shape.path.s = 3;
    d->shape.path.matrix = m;
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, colour & 0xFFFFFF};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, colour >> 24};
    d->cachedRowOp = nullptr;
    return DrawItem_render(d, nullptr, nullptr, target);
}

// The glyph's packed outline path: from the path cache, or built. *owned
// is set when the caller must destroy it.
int fetchPath(GlyphWalk *walk, Path **out, bool *owned)
{
    *out = nullptr;
    *owned = false;
    FontList *list = walk->list;
    const TextFont *font = &list->fonts[walk->font];
    LruCache *cache = list->caches ? list->caches->paths : nullptr;
    if (LruCache_find(cache, font->cacheId, walk->glyph, out))
        return Res_ok;
    GlyphPath *outline = nullptr;
    int r = font->ops->outline ? font->ops->outline(list, walk->font, walk->glyph, &outline)
                               : Res_notImplemented;
    if (r != Res_ok)
        return r;
    Path *path = nullptr;
    r = GlyphPath_toPath(outline, &path);
    GlyphPath_destroy(outline);
    if (r == Res_ok)
        r = Path_pack(path);
    if (r != Res_ok) {
        Path_destroy(path);
        return r;
    }
    Path *kept = path;
    if (LruCache_insert(cache, font->cacheId, walk->glyph, &kept)) {
        Path_destroy(path);
        *out = kept;
    } else {
        *out = path;
        *owned = true;
    }
    return Res_ok;
}

} // namespace

int Glyph_drawAtPen(GlyphWalk *walk, const GlyphMask *mask, Path *path)
{
    Matrix m = deviceMatrix(walk);
    if (mask) {
        // The mask was made with the glyph origin at pixel (0, 0): it is
        // placed at the origin's pixel. The origin is in page units, which
        // the bitmap's scale turns into pixels.
        DrawItem *d = walk->target->bitmap->drawItem;
        d->kind = DrawItem_kindGlyphMask;
        d->shape.glyph = {mask, 0x10000, m.tx, m.ty};
        d->paintKind = DrawItem_sourceSolid;
        d->paint.solid = {Pixel_formatRGBA, walk->colour & 0xFFFFFF};
        d->maskKind = DrawItem_sourceSolid;
        d->mask.solid = {Pixel_formatGrey8, walk->colour >> 24};
        d->cachedRowOp = nullptr;
        return DrawItem_render(d, nullptr, nullptr, walk->target);
    }
    return drawPath(path, &m, walk->target, walk->colour);
}

int Glyph_fetchAndDraw(GlyphWalk *walk)
{
    FontList *list = walk->list;
    const TextFont *font = &list->fonts[walk->font];
    LruArena *masks = list->caches ? list->caches->masks : nullptr;
    Bitmap *bitmap = walk->target->bitmap;
    Matrix m = deviceMatrix(walk);
    LruMaskKey key{walk->glyph, m.a, m.b, m.c, m.d, 0, bitmap->scale};
    bool useMasks = font->wantsMasks && masks;
    if (useMasks) {
        GlyphMask *cached = nullptr;
        if (LruArena_find(masks, font->cacheId, &key, &cached))
            return Glyph_drawAtPen(walk, cached, nullptr);
    }
    Path *path = nullptr;
    bool owned = false;
    int r = fetchPath(walk, &path, &owned);
    if (r != Res_ok)
        return r;
    if (path->count < 2) {
        if (owned)
            Path_destroy(path);
        return Res_pathEmptyArea;
    }
    path->scale = 0x10000; // page units, like every other item
    if (useMasks) {
        Matrix at = m;
        at.tx = at.ty = 0;
        FillRequest req{};
        req.path = path;
        req.s = 3;
        req.matrix = &at;
        GlyphMask *mask = nullptr;
        r = GlyphMask_create(&mask, &req, bitmap);
        if (r == Res_ok) {
            GlyphMask *kept = mask;
            LruArena_insert(masks, font->cacheId, &key, &kept);
            r = Glyph_drawAtPen(walk, kept, nullptr);
            GlyphMask_free(mask);
        }
    } else {
        r = Glyph_drawAtPen(walk, nullptr, path);
    }
    if (owned)
        Path_destroy(path);
    return r;
}

void Decoration_setup(DecorationState *s, const TextFont *font, int32_t emSize, uint32_t flags,
                      int32_t count, int32_t thickness)
{
    *s = DecorationState{};
    s->font = font;
    s->emSize = emSize;
    bool under = flags & TextStyle_underline, over = flags & TextStyle_overline,
         strike = flags & TextStyle_strike;
    uint32_t f = strike && over ? 2 : (strike || over) ? 1 : 0;
    int64_t lines = int64_t(f) + (under ? std::max(count, 0) : 0);
    s->n = uint32_t(std::min<int64_t>(lines, Decoration_maxLines));
    int64_t t = thickness > 0 ? thickness : int64_t(emSize) * font->decorationThickness / 16384;
    s->t = int32_t(t);
    int64_t h = int64_t(emSize) * font->upperDecoration / 16384;
    if (strike)
        s->offsets[0] = int32_t(h / 3 - t);
    if (over)
        s->offsets[strike ? 1 : 0] = int32_t(h - t);
    int64_t u = int64_t(emSize) * font->underlinePosition / 16384;
    for (uint32_t i = f; i < s->n; i++)
        s->offsets[i] = int32_t(u - t * (2 * int64_t(i - f) + 1));
}

void Decoration_setStart(DecorationState *s, int32_t x)
{
    s->start = x;
}

void Decoration_setEnd(DecorationState *s, int32_t x)
{
    s->end = x;
}

int Decoration_drawSegment(const DecorationState *s, const Matrix *runMatrix,
                           const DrawTarget *target, uint32_t colour)
{
    if (s->end <= s->start || s->t <= 0)
        return Res_ok;
    for (uint32_t i = 0; i < s->n; i++) {
        Path *path = nullptr;
        if (Path_create(&path, 0x10000) != Res_ok)
            return Res_noMemory;
        Rect line = {s->start, s->offsets[i], s->end, s->offsets[i] + s->t};
        int r = Path_addRect(path, &line);
        if (r == Res_ok)
            r = drawPath(path, runMatrix, target, colour);
        Path_destroy(path);
        if (r != Res_ok && r != Res_pathEmptyArea)
            return r;
    }
    return Res_ok;
}

// ------------------------------------------------- text-run cost estimate

namespace {

struct CostWalk {
    const int32_t *weights; // {hit, miss}
    int64_t total;
};

// Asks the glyph-mask cache for the glyph the way drawing would.
int countGlyph(GlyphWalk *walk)
{
    CostWalk *cost = static_cast<CostWalk *>(walk->data);
    const TextFont *font = &walk->list->fonts[walk->font];
    LruArena *masks = walk->list->caches ? walk->list->caches->masks : nullptr;
    Matrix m = deviceMatrix(walk);
    int32_t scale =
        walk->target && walk->target->bitmap ? int32_t(walk->target->bitmap->scale) : 0x10000;
    LruMaskKey key{walk->glyph, m.a, m.b, m.c, m.d, 0, scale};
    GlyphMask *cached = nullptr;
    bool hit = masks && LruArena_find(masks, font->cacheId, &key, &cached) == 1;
    cost->total += hit ? cost->weights[0] : cost->weights[1];
    return 0;
}

} // namespace

int TextRun_estimateCost(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                         const char16_t *chars, uint32_t count, int32_t charSpacing,
                         int32_t wordSpacing, const Matrix *matrix, const Rect *clip,
                         const DrawTarget *target, const int32_t weights[2], int64_t *total)
{
    CostWalk cost{weights, 0};
    // The low three bits select drawing variants that do not change which
    // glyphs are drawn.
    int r = TextRun_walk(fonts, size, flags & ~7u, style, chars, count, charSpacing, wordSpacing,
                         matrix, clip, target, 0, countGlyph, &cost);
    *total = cost.total;
    return r;
}
