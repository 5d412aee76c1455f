// Drawing lists: the builder, the entry reader, bounds, comparison and the
// display item that draws every entry.
#include "graphics/drawlist.h"

#include <cmath>
#include <cstring>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "graphics/stroke.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/pixelbuf.h"
#include "graphics/imageutil.h"

const DrawPaint DrawPaint_defaults = {0xFF000000u, 0xFF000000u, 0, 0, 0, 0x10000, 0, 0, 0};

namespace {

constexpr uint32_t kHasFill = 1u << 0;
constexpr uint32_t kHasStroke = 1u << 1;
constexpr uint32_t kOutline = 1u << 2;
constexpr uint32_t kEvenOdd = 1u << 3;
constexpr uint32_t kHasWidth = 1u << 4;
constexpr uint32_t kHasParam5 = 1u << 8;
constexpr uint32_t kHasParam6 = 1u << 13;
constexpr uint32_t kHasParam7 = 1u << 14;
constexpr uint32_t kSubpixels = 3;
constexpr uint32_t kBoxGrowth = 64;

bool visible(uint32_t colour)
{
    return colour > 0xFFFFFFu;
}

// The pen flag fields 0, 1-2, 3-4, 5-6 in their header places.
uint32_t penBits(uint32_t flags)
{
    return (flags & 1u) << 5 | ((flags >> 1) & 3u) << 6 | ((flags >> 3) & 3u) << 9 |
           ((flags >> 5) & 3u) << 11;
}

uint32_t penFlagsOf(uint32_t header)
{
    return ((header >> 5) & 1u) | ((header >> 6) & 3u) << 1 | ((header >> 9) & 3u) << 3 |
           ((header >> 11) & 3u) << 5;
}

bool usesMiter(uint32_t flags)
{
    return ((flags >> 1) & 3u) == 0;
}

bool usesArrows(uint32_t flags)
{
    return ((flags >> 3) & 3u) == 3 || ((flags >> 5) & 3u) == 3;
}

Pen penOf(const DrawPaint &p)
{
    return Pen{p.penFlags, p.penWidth, p.penParam5, p.penParam6, p.penParam7, nullptr};
}

FillRequest requestFor(const Path *view, const DrawPaint &paint, bool stroke, const Matrix *m)
{
    FillRequest r{};
    r.path = view;
    r.s = kSubpixels;
    r.matrix = m;
    if (stroke) {
        r.penKind = 1;
        r.pen = penOf(paint);
    } else {
        r.penKind = 0;
        r.pen.style = paint.fillRule & 1u;
    }
    return r;
}

uint32_t scaled(uint32_t f, int64_t d)
{
    uint32_t v = uint32_t(f * uint32_t(d)) >> 23;
    return v > 255 ? 255 : v;
}

} // namespace

void DrawStyle_init(DrawStyle *style)
{
    style->last = DrawPaint_defaults;
    style->used = 0;
    style->capacity = 0;
    style->words = nullptr;
}

void DrawStyle_free(DrawStyle *style)
{
    Mem_free(style->words);
    style->words = nullptr;
    style->used = style->capacity = 0;
}

int DrawStyle_appendPath(DrawStyle *style, Path *path, const DrawPaint *paint)
{
    if (!path || Path_isEmpty(path))
        return Res_ok;
    Path *clone = nullptr;
    Path *src = path;
    if (path->state != Path_statePacked) {
        clone = Path_clone(path);
        Path_reset(path);
        if (!clone)
            return Res_noMemory;
        if (Path_pack(clone) != Res_ok) {
            Path_destroy(clone);
            return Res_noMemory;
        }
        src = clone;
    }
    uint32_t pathWords = Path_wordCount(src);
    if (!pathWords || !src->count) {
        Path_destroy(clone);
        Path_reset(path);
        return Res_ok;
    }
    DrawPaint next = style->last;
    uint32_t header = 0;
    int32_t optional[8];
    uint32_t n = 0;
    if (paint->fillColour != next.fillColour) {
        header |= kHasFill;
        optional[n++] = int32_t(paint->fillColour);
        next.fillColour = paint->fillColour;
    }
    if (paint->strokeColour != next.strokeColour) {
        header |= kHasStroke;
        optional[n++] = int32_t(paint->strokeColour);
        next.strokeColour = paint->strokeColour;
    }
    if (visible(paint->fillColour) && (paint->fillRule & 1u))
        header |= kEvenOdd;
    if (visible(paint->strokeColour)) {
        header |= kOutline | penBits(paint->penFlags);
        if (paint->penWidth != next.penWidth) {
            header |= kHasWidth;
            optional[n++] = paint->penWidth;
            next.penWidth = paint->penWidth;
        }
        next.penFlags = (next.penFlags & ~1u) | (paint->penFlags & 1u);
        if (usesMiter(paint->penFlags) && paint->penParam5 != next.penParam5) {
            header |= kHasParam5;
            optional[n++] = paint->penParam5;
            next.penParam5 = paint->penParam5;
        }
        if (usesArrows(paint->penFlags)) {
            if (paint->penParam7 != next.penParam7) {
                header |= kHasParam7;
                optional[n++] = paint->penParam7;
                next.penParam7 = paint->penParam7;
            }
            if (paint->penParam6 != next.penParam6) {
                header |= kHasParam6;
                optional[n++] = paint->penParam6;
                next.penParam6 = paint->penParam6;
            }
        }
    }
    if (src->count < 256)
        header |= src->count << 15;
    else
        optional[n++] = int32_t(src->count);
    if (pathWords < 512)
        header |= pathWords << 23;
    else
        optional[n++] = int32_t(pathWords);
    uint64_t needed = uint64_t(style->used) + 2 + n + pathWords;
    if (needed > 0x3FFFFFFFu) {
        Path_destroy(clone);
        Path_reset(path);
        return Res_noMemory;
    }
    if (style->capacity < needed) {
        uint64_t cap = style->used ? uint64_t(style->used) * 2 : uint64_t(DrawList_firstCapacity);
        while (cap < needed)
            cap *= 2;
        int32_t *grown =
            static_cast<int32_t *>(Mem_realloc(style->words, size_t(cap) * sizeof(int32_t)));
        if (!grown) {
            Path_destroy(clone);
            Path_reset(path);
            return Res_noMemory;
        }
        style->words = grown;
        style->capacity = uint32_t(cap);
    }
    int32_t *w = style->words + style->used;
    *w++ = int32_t(header);
    *w++ = 0;
    for (uint32_t i = 0; i < n; i++)
        *w++ = optional[i];
    std::memcpy(w, Path_buffer(src), pathWords * sizeof(int32_t));
    style->used = uint32_t(needed);
    style->last = next;
    Path_destroy(clone);
    Path_reset(path);
    return Res_ok;
}

void DrawStyle_readEntry(const int32_t **cursor, Path *view, DrawPaint *paint)
{
    const int32_t *w = *cursor;
    uint32_t header = uint32_t(*w++);
    w++; // the box word
    if (header & kHasFill)
        paint->fillColour = uint32_t(*w++);
    if (header & kHasStroke)
        paint->strokeColour = uint32_t(*w++);
    if (visible(paint->fillColour))
        paint->fillRule = (header >> 3) & 1u;
    if (visible(paint->strokeColour)) {
        paint->penFlags = (paint->penFlags & ~0x7Fu) | penFlagsOf(header);
        paint->penParam8 = 0;
        if (header & kHasWidth)
            paint->penWidth = *w++;
        if (header & kHasParam5)
            paint->penParam5 = *w++;
        if (header & kHasParam7)
            paint->penParam7 = *w++;
        if (header & kHasParam6)
            paint->penParam6 = *w++;
    }
    uint32_t count = (header >> 15) & 0xFFu;
    if (!count)
        count = uint32_t(*w++);
    uint32_t words = header >> 23;
    if (!words)
        words = uint32_t(*w++);
    std::memset(view, 0, sizeof *view);
    view->buffer = const_cast<int32_t *>(w);
    view->write = view->buffer + words;
    view->capacity = words;
    view->count = count;
    view->scale = 0x10000;
    view->state = Path_statePacked;
    *cursor = w + words;
}

namespace {

// The number of words the entry at w takes, or 0 when its fixed part or
// its path runs past end.
uint32_t entryWords(const int32_t *w, const int32_t *end)
{
    if (end - w < 2)
        return 0;
    uint32_t header = uint32_t(w[0]);
    uint32_t n = 2;
    n += (header & kHasFill ? 1 : 0) + (header & kHasStroke ? 1 : 0) +
         (header & kHasWidth ? 1 : 0) + (header & kHasParam5 ? 1 : 0) +
         (header & kHasParam6 ? 1 : 0) + (header & kHasParam7 ? 1 : 0);
    uint32_t count = (header >> 15) & 0xFFu;
    uint32_t words = header >> 23;
    uint32_t extra = (count ? 0 : 1) + (words ? 0 : 1);
    if (uint64_t(end - w) < uint64_t(n) + extra)
        return 0;
    if (!count)
        n++;
    if (!words)
        words = uint32_t(w[n++]);
    if (uint64_t(end - w) < uint64_t(n) + words)
        return 0;
    return n + words;
}

} // namespace

int DrawList_bounds(EngineContext *context, int32_t *words, uint32_t count, Rect *out)
{
    DrawPaint paint = DrawPaint_defaults;
    Rect all = Rect_emptyBound;
    Rect *boxes = nullptr;
    int32_t **slots = nullptr;
    uint32_t walked = 0, room = 0;
    int err = Res_ok;
    const int32_t *cursor = words, *end = words + count;
    while (cursor < end) {
        uint32_t size = entryWords(cursor, end);
        if (!size)
            break;
        if (walked == room) {
            Rect *b = static_cast<Rect *>(Mem_realloc(boxes, (room + kBoxGrowth) * sizeof(Rect)));
            if (b)
                boxes = b;
            int32_t **s = b ? static_cast<int32_t **>(
                                  Mem_realloc(slots, (room + kBoxGrowth) * sizeof(int32_t *)))
                            : nullptr;
            if (s)
                slots = s;
            if (!b || !s) {
                err = Res_noMemory;
                break;
            }
            room += kBoxGrowth;
        }
        int32_t *entry = const_cast<int32_t *>(cursor);
        Path view;
        DrawStyle_readEntry(&cursor, &view, &paint);
        bool stroke = visible(paint.strokeColour);
        FillRequest request = requestFor(&view, paint, stroke, Matrix_identity());
        Rect box = Rect_emptyBound;
        err = Fill_deviceBounds(context, &request, 256, &box);
        if (err)
            break;
        boxes[walked] = box;
        slots[walked] = entry + 1;
        walked++;
        if (box.x0 < box.x1 && box.y0 < box.y1)
            Rect_union(&all, &box);
    }
    uint32_t fx = all.x0 > all.x1 ? 0 : uint32_t(0x80000000u / (uint32_t(all.x1 - all.x0) + 1u));
    uint32_t fy = all.y0 > all.y1 ? 0 : uint32_t(0x80000000u / (uint32_t(all.y1 - all.y0) + 1u));
    for (uint32_t i = 0; i < walked; i++) {
        const Rect &e = boxes[i];
        *slots[i] = int32_t(
            scaled(fx, int64_t(e.x0) - all.x0) | scaled(fx, int64_t(e.x1) - all.x0) << 8 |
            scaled(fy, int64_t(e.y0) - all.y0) << 16 | scaled(fy, int64_t(e.y1) - all.y0) << 24);
    }
    Mem_free(boxes);
    Mem_free(slots);
    if (out)
        *out = all;
    return err;
}

int DrawList_equal(const int32_t *a, const int32_t *b, uint32_t count)
{
    const int32_t *end = a + count;
    while (a < end) {
        uint32_t size = entryWords(a, end);
        if (!size)
            return std::memcmp(a, b, size_t(end - a) * sizeof(int32_t)) ? 1 : 0;
        if (a[0] != b[0])
            return 1;
        // Everything after the box word: the optional words, the counts
        // and the path.
        if (std::memcmp(a + 2, b + 2, (size - 2) * sizeof(int32_t)))
            return 1;
        a += size;
        b += size;
    }
    return 0;
}

// ------------------------------------------------------------ the item

namespace {

DrawListItemPart *partOf(ObjHeader *item)
{
    return static_cast<DrawListItemPart *>(Obj_part(item));
}

int renderEntry(EngineContext *ctx, ObjHeader *item, const Path *view, const DrawPaint &paint,
                bool stroke, const Matrix *m, const DrawTarget *target, KeptPaths *kept,
                bool keepNew)
{
    DrawItem *d = target->bitmap->drawItem;
    uint32_t colour = stroke ? paint.strokeColour : paint.fillColour;
    d->kind = DrawItem_kindPath;
    d->shape.path = requestFor(view, paint, stroke, m);
    // The entry's words stand for it in the store.
    d->shape.path.kept = kept;
    d->shape.path.keptKey = kept ? view->buffer : nullptr;
    d->shape.path.keepNew = keepNew ? 1u : 0u;
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, colour & 0x00FFFFFFu};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, colour >> 24};
    d->cachedRowOp = nullptr;
    const StageNode *stages =
        Obj_kindRecord(ctx, (item->flags & Obj_effectMask) >> Obj_effectShift);
    int err = DrawItem_render(d, stages, nullptr, target);
    return err == Res_pathEmptyArea ? Res_ok : err;
}

// The target's drawing area (its bitmap cut to its clip) in device pixels,
// grown on every side, and what decodes an entry's box word: the list's
// bounds. `cull` is false when boxes cannot be trusted to place entries.
struct DrawListBand {
    bool cull;
    Rect pixels;   // the band, grown
    Rect bounds;   // the list's bounds, in list units
    int32_t scale; // the bitmap's scale word
    int32_t dx, dy;
    // With a matrix that neither turns nor shears, the band in list units
    // (grown by the same margin): boxes are tested without mapping them.
    bool straight;
    int64_t listX0, listX1, listY0, listY1;
};

// Pixels added around the band before entries are tested against it: the
// anti-aliased edge, a pen drawn at least one pixel wide and the rounding of
// the coarse boxes all stay inside it.
constexpr int32_t kBandMargin = 4;

void drawlistBand(DrawListBand *band, const Rect &bounds, const Matrix *m, const DrawTarget *target)
{
    const Bitmap *b = target->bitmap;
    band->cull = false;
    if (!b || bounds.x0 > bounds.x1 || bounds.y0 > bounds.y1)
        return;
    Rect px{0, 0, b->width, b->height};
    if (target->clip)
        Rect_intersect(&px, target->clip);
    if (px.x0 >= px.x1 || px.y0 >= px.y1)
        return;
    band->pixels =
        Rect{px.x0 - kBandMargin, px.y0 - kBandMargin, px.x1 + kBandMargin, px.y1 + kBandMargin};
    band->bounds = bounds;
    band->scale = b->scale > 0 ? b->scale : 0x10000;
    band->dx = target->dx;
    band->dy = target->dy;
    // A matrix so large that list units overflow on the way to pixels is
    // drawn entry by entry, as without boxes.
    int64_t w = int64_t(bounds.x1) - bounds.x0, h = int64_t(bounds.y1) - bounds.y0;
    int64_t reach = (w > h ? w : h) + (int64_t(bounds.x0 < 0 ? -bounds.x0 : bounds.x0)) +
                    (int64_t(bounds.y0 < 0 ? -bounds.y0 : bounds.y0));
    const int32_t entries[4] = {m->a, m->b, m->c, m->d};
    int64_t factor = 0;
    for (int32_t v : entries)
        factor += v < 0 ? -int64_t(v) : int64_t(v);
    band->cull = reach * (factor >> 16 | 1) < (int64_t(1) << 29) &&
                 (int64_t(m->tx < 0 ? -int64_t(m->tx) : m->tx) < (int64_t(1) << 29)) &&
                 (int64_t(m->ty < 0 ? -int64_t(m->ty) : m->ty) < (int64_t(1) << 29));
    band->straight = band->cull && m->b == 0 && m->c == 0 && m->a != 0 && m->d != 0;
    if (band->straight) {
        // Pixels to item units to list units, one pixel and two list units
        // of slack on each side for the rounding on the way.
        double scale = double(band->scale) / 65536.0;
        double ax = double(m->a) / 65536.0, dy = double(m->d) / 65536.0;
        double x0 = ((band->pixels.x0 - 1 - band->dx) / scale - m->tx) / ax;
        double x1 = ((band->pixels.x1 + 1 - band->dx) / scale - m->tx) / ax;
        double y0 = ((band->pixels.y0 - 1 - band->dy) / scale - m->ty) / dy;
        double y1 = ((band->pixels.y1 + 1 - band->dy) / scale - m->ty) / dy;
        band->listX0 = int64_t(std::floor(x0 < x1 ? x0 : x1)) - 2;
        band->listX1 = int64_t(std::ceil(x0 < x1 ? x1 : x0)) + 2;
        band->listY0 = int64_t(std::floor(y0 < y1 ? y0 : y1)) - 2;
        band->listY1 = int64_t(std::ceil(y0 < y1 ? y1 : y0)) + 2;
    }
}

// One edge of a box word's range in list units: the low edge rounds down,
// the high edge (byte v + 1) up, so the decoded range holds the entry.
int32_t drawlistEdge(int32_t origin, int64_t extent, uint32_t v, bool high)
{
    int64_t e = high ? ((int64_t(v) + 1) * extent + 255) >> 8 : (int64_t(v) * extent) >> 8;
    return int32_t(origin + e);
}

// Where the entry with this box word lies against the band. Bands are
// drawn top band first, so an entry matters to later bands when it reaches
// below this one.
enum DrawlistPlace {
    drawlistMiss,   // wholly outside: nothing to draw
    drawlistInside, // drawn here, and (as far as its box tells) in no later band
    drawlistBelow,  // drawn here and reaching below the band
};

// A box byte of 255 (an entry at, or clamped past, the list's far edge) or
// a box whose low edge passes its high edge is never skipped, nor is any
// box when boxes cannot be trusted.
DrawlistPlace drawlistPlace(const DrawListBand &band, uint32_t word, const Matrix *m)
{
    if (!band.cull || !word)
        return drawlistInside;
    uint32_t x0 = word & 0xFFu, x1 = (word >> 8) & 0xFFu, y0 = (word >> 16) & 0xFFu,
             y1 = word >> 24;
    if (x0 == 255 || x1 == 255 || y0 == 255 || y1 == 255 || x0 > x1 || y0 > y1)
        return drawlistInside;
    int64_t ex = int64_t(band.bounds.x1) - band.bounds.x0 + 1;
    int64_t ey = int64_t(band.bounds.y1) - band.bounds.y0 + 1;
    Rect box{
        drawlistEdge(band.bounds.x0, ex, x0, false), drawlistEdge(band.bounds.y0, ey, y0, false),
        drawlistEdge(band.bounds.x0, ex, x1, true), drawlistEdge(band.bounds.y0, ey, y1, true)};
    if (band.straight && (box.x1 < band.listX0 || box.x0 > band.listX1 || box.y1 < band.listY0 ||
                          box.y0 > band.listY1))
        return drawlistMiss;
    Point c[4];
    Rect_toQuad(c, &box);
    Matrix_transformPoints(c, 4, c, m);
    Rect mapped{};
    Rect_boundPoints(&mapped, c, 4, 1);
    // Item units to pixels, as the item walk places items.
    int64_t px0 = (int64_t(mapped.x0) * band.scale >> 16) + band.dx - 1;
    int64_t px1 = (int64_t(mapped.x1) * band.scale >> 16) + band.dx + 1;
    int64_t py0 = (int64_t(mapped.y0) * band.scale >> 16) + band.dy - 1;
    int64_t py1 = (int64_t(mapped.y1) * band.scale >> 16) + band.dy + 1;
    if (!band.straight && (px1 < band.pixels.x0 || px0 > band.pixels.x1 || py1 < band.pixels.y0 ||
                           py0 > band.pixels.y1))
        return drawlistMiss;
    // The next band down, grown as this one is, starts kBandMargin above
    // this band's own lower edge, which lies kBandMargin above pixels.y0.
    return py0 <= int64_t(band.pixels.y0) + 2 * kBandMargin ? drawlistBelow : drawlistInside;
}

int drawList(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
             const DrawTarget *target, const DrawFlags *, intptr_t)
{
    DrawListItemPart *p = partOf(item);
    if (!target || !target->bitmap)
        return Res_nullInput;
    // The list's words are in the units of the item's box: they are shown
    // where the box is shown, which layout may have moved (a line moves
    // its items' boxes down to its baseline) as well as the origin.
    Matrix local = item->matrix ? *item->matrix : *Matrix_identity();
    Point c[4];
    Rect_toQuad(c, &p->bounds);
    Matrix_transformPoints(c, 4, c, &local);
    Rect mapped{};
    Rect_boundPoints(&mapped, c, 4, 1);
    Rect shown = Obj_shownBox(item);
    local.tx = int32_t(uint32_t(local.tx) + uint32_t(shown.x0) - uint32_t(mapped.x0));
    local.ty = int32_t(uint32_t(local.ty) + uint32_t(shown.y0) - uint32_t(mapped.y0));
    Matrix m = matrix ? *matrix : *Matrix_identity();
    Matrix_multiply(&m, &local, &m);
    DrawListBand band{};
    drawlistBand(&band, p->bounds, &m, target);
    KeptPaths *kept = target->bitmap->keptPaths;
    DrawPaint paint = DrawPaint_defaults;
    const int32_t *cursor = p->words, *end = p->words + p->count;
    while (cursor < end) {
        if (!entryWords(cursor, end))
            break;
        uint32_t boxWord = uint32_t(cursor[1]);
        Path view;
        DrawStyle_readEntry(&cursor, &view, &paint);
        // An entry whose box lies wholly outside the band draws nothing
        // there: its path is neither transformed nor stroked. One that
        // reaches below the band keeps its device path for the next bands,
        // which take it from the store.
        DrawlistPlace place = drawlistPlace(band, boxWord, &m);
        if (place == drawlistMiss)
            continue;
        bool keep = place == drawlistBelow;
        int err = Res_ok;
        if (visible(paint.fillColour))
            err = renderEntry(ctx, item, &view, paint, false, &m, target, kept, keep);
        if (!err && visible(paint.strokeColour))
            err = renderEntry(ctx, item, &view, paint, true, &m, target, kept, keep);
        if (err)
            return err;
    }
    return Res_ok;
}

int identifyList(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
                 const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = DrawListItem_identifier;
    return Res_ok;
}

int boundsList(EngineContext *, ObjHeader *item, Rect *rect)
{
    *rect = Obj_shownBox(item);
    return Res_ok;
}

const ObjItemOps kListOps = {drawList, identifyList, boundsList};

} // namespace

const ObjClass DrawListItem_class = {&kListOps, int32_t(sizeof(DrawListItemPart)), nullptr,
                                     Obj_itemPlain};
