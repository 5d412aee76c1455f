// Text runs: character tables, measurement and the glyph walk.
#include "fonts/textrun.h"

#include <algorithm>
#include <cstring>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/fontlist.h"
#include "fonts/glyphdraw.h"

// ------------------------------------------------------- character tables

int TextRun_freeCharTable(FontListOwner *owner)
{
    Mem_free(owner->charTable);
    owner->charTable = nullptr;
    owner->charTableCapacity = 0;
    return Res_ok;
}

namespace {

// The five arrays of a table of m characters in buf.
struct TableArrays {
    char16_t *chars;
    uint16_t *glyphs;
    uint16_t *first;
    uint16_t *advances;
    uint8_t *fonts;
};

TableArrays arraysOf(uint8_t *buf, uint32_t m)
{
    TableArrays a;
    a.chars = reinterpret_cast<char16_t *>(buf);
    a.glyphs = reinterpret_cast<uint16_t *>(buf + 2 * size_t(m));
    a.first = reinterpret_cast<uint16_t *>(buf + 4 * size_t(m));
    a.advances = reinterpret_cast<uint16_t *>(buf + 6 * size_t(m));
    a.fonts = buf + 8 * size_t(m);
    return a;
}

int growTable(FontListOwner *owner, uint32_t m)
{
    uint64_t need = (uint64_t(m) * 9 + 127) & ~uint64_t(127);
    if (need > 0x7FFFFFFF) {
        TextRun_freeCharTable(owner);
        return Res_noMemory;
    }
    if (owner->charTable && need <= owner->charTableCapacity)
        return Res_ok;
    uint8_t *b = static_cast<uint8_t *>(Mem_realloc(owner->charTable, size_t(need ? need : 128)));
    if (!b) {
        TextRun_freeCharTable(owner);
        return Res_noMemory;
    }
    owner->charTable = b;
    owner->charTableCapacity = uint32_t(need ? need : 128);
    return Res_ok;
}

bool isCollapsible(char16_t c)
{
    return c == 32 || c == 10 || c == 13 || c == 9;
}

} // namespace

int TextRun_buildCharTable(FontList *list, uint32_t flags, const char16_t *chars, uint32_t count,
                           const uint8_t **fonts, const uint16_t **glyphs, const uint16_t **first,
                           const uint16_t **advances, const char16_t **outChars, uint32_t *fontMask,
                           uint32_t *outCount)
{
    FontListOwner *owner = list->owner;
    if (!owner)
        return Res_nullInput;
    void *run = nullptr;
    TextTransformer *tx = list->transformer;
    if (tx && list->fontCount > 0 && list->fonts[0].kind != 48 && list->fonts[0].kind != 50) {
        int r = tx->begin(tx, chars, count, &run);
        if (r != Res_ok)
            return r;
    }
    uint32_t m = count, n = count;
    TableArrays a{};
    for (;;) {
        int r = growTable(owner, m);
        if (r != Res_ok) {
            if (run)
                tx->end(run);
            return r;
        }
        a = arraysOf(owner->charTable, m);
        memset(a.glyphs, 0, 7 * size_t(m));
        if (!run) {
            if (count)
                memcpy(a.chars, chars, count * sizeof(char16_t));
            n = count;
            break;
        }
        r = tx->convert(run, a.chars, a.glyphs, a.fonts, m, &n);
        if (r != Res_ok) {
            tx->end(run);
            return r;
        }
        if (n <= m)
            break;
        m = n;
    }
    if (run)
        tx->end(run);
    // The arrays of the table were laid out for m characters; n of them
    // are used.
    uint32_t unmapped = n;
    bool inSpaces = false;
    for (uint32_t i = 0; i < n; i++) {
        char16_t c = a.chars[i];
        if (flags & CharTable_collapseSpace) {
            if (isCollapsible(c)) {
                if (inSpaces) {
                    a.glyphs[i] = CharTable_noGlyph;
                    unmapped--;
                    continue;
                }
                a.chars[i] = 32;
                inSpaces = true;
            } else {
                inSpaces = false;
            }
        }
        if (c == 0x200E || c == 0x200F || (i + 1 == n && (c == 0x200C || c == 0x200D))) {
            a.glyphs[i] = CharTable_noGlyph;
            unmapped--;
        }
    }
    uint32_t mask = 0;
    for (uint32_t f = 0; unmapped != 0; f++) {
        if (f >= list->fontCount || f >= FontList_maxFonts) {
            mask |= 1;
            break;
        }
        uint32_t before = unmapped;
        int r = list->fonts[f].ops->map(list, f, a.chars, n, a.glyphs, a.fonts, &unmapped);
        if (r != Res_ok)
            return r;
        if (unmapped < before)
            mask |= 1u << f;
    }
    for (uint32_t f = 0; f < FontList_maxFonts; f++) {
        if (!(mask & (1u << f)) || f >= list->fontCount || !list->fonts[f].ops->prepare)
            continue;
        int r = list->fonts[f].ops->prepare(list, f, a.chars, a.glyphs, a.fonts, n);
        if (r != Res_ok)
            return r;
    }
    if (list->overrideMetrics) {
        int r = list->overrideMetrics->metrics(list->overrideMetrics, a.glyphs, n, a.fonts, a.first,
                                               a.advances);
        if (r != Res_ok)
            return r;
    }
    for (uint32_t f = 0; f < FontList_maxFonts; f++) {
        if (!(mask & (1u << f)) || f >= list->fontCount)
            continue;
        const TextFontOps *ops = list->fonts[f].ops;
        if (!list->overrideMetrics) {
            int r = ops->metrics(list, f, a.glyphs, n, a.fonts, a.first, a.advances);
            if (r != Res_ok)
                return r;
        }
        if ((flags & CharTable_zeroMarks) && ops->glyphKind) {
            for (uint32_t i = 0; i < n; i++) {
                if ((a.fonts[i] & 7) != f || a.glyphs[i] == CharTable_noGlyph)
                    continue;
                uint32_t kind = 0;
                int r = ops->glyphKind(list, f, a.glyphs[i], &kind);
                if (r != Res_ok)
                    return r;
                if (kind == GlyphKind_zeroWidthMark)
                    a.advances[i] = 0;
            }
        }
    }
    // Hidden characters take no room, whatever their font reported.
    for (uint32_t i = 0; i < n; i++)
        if (a.glyphs[i] == CharTable_noGlyph)
            a.advances[i] = 0;
    if ((flags & CharTable_kerning) && n >= 2) {
        for (uint32_t f = 0; f < FontList_maxFonts; f++) {
            if (!(mask & (1u << f)) || f >= list->fontCount || !list->fonts[f].ops->kerning)
                continue;
            int r = list->fonts[f].ops->kerning(list, f, a.glyphs, n, a.fonts, a.advances);
            if (r != Res_ok)
                return r;
        }
    }
    if (fonts)
        *fonts = a.fonts;
    if (glyphs)
        *glyphs = a.glyphs;
    if (first)
        *first = a.first;
    if (advances)
        *advances = a.advances;
    if (outChars)
        *outChars = a.chars;
    if (fontMask)
        *fontMask = mask;
    if (outCount)
        *outCount = n;
    return Res_ok;
}

// ------------------------------------------------------------ measurement

namespace {

// The box font's record, read where a run has no font list.
constexpr TextFont boxFont = {nullptr,
                              nullptr,
                              0,
                              0,
                              BoxFont_ascent,
                              BoxFont_descent,
                              BoxFont_upperDecoration,
                              BoxFont_underlinePosition,
                              BoxFont_thickness,
                              0x10000,
                              0};

// A run's character table, or the box font's advances without a list.
struct RunTable {
    const char16_t *chars;
    const uint16_t *glyphs;
    const uint16_t *advances;
    const uint8_t *fonts;
    uint32_t n;
    uint32_t mask;
    FontList *list;
};

const TextFont *fontOf(const RunTable &t, uint32_t f)
{
    return t.list && f < t.list->fontCount ? &t.list->fonts[f] : &boxFont;
}

uint32_t textRunAdvanceOf(const RunTable &t, uint32_t i)
{
    return t.advances ? t.advances[i] : uint32_t(BoxFont_advance);
}

int buildRun(FontList *list, uint32_t flags, const char16_t *chars, uint32_t count, RunTable *t)
{
    *t = RunTable{chars, nullptr, nullptr, nullptr, count, 1, list};
    if (!list)
        return Res_ok;
    // Runs of white space collapse in the table when the style asks.
    uint32_t tableFlags = ((flags & TextStyle_noKerning) ? 0u : uint32_t(CharTable_kerning)) |
                          (flags & CharTable_collapseSpace);
    return TextRun_buildCharTable(list, tableFlags, chars, count, &t->fonts, &t->glyphs, nullptr,
                                  &t->advances, &t->chars, &t->mask, &t->n);
}

int64_t unitOf(int32_t size)
{
    int64_t u = (int64_t(size) + 9) / 18;
    return u > 0 ? u : 1;
}

int32_t clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The run's vertical extent and decorations, in document units.
void verticalExtent(const RunTable &t, int32_t size, uint32_t flags, const int32_t *style,
                    int64_t unit, int64_t *y0, int64_t *y1)
{
    int32_t ascent = INT32_MIN, descent = INT32_MAX;
    for (uint32_t f = 0; f < FontList_maxFonts; f++) {
        if (!(t.mask & (1u << f)))
            continue;
        ascent = std::max(ascent, fontOf(t, f)->ascent);
        descent = std::min(descent, fontOf(t, f)->descent);
    }
    if (ascent == INT32_MIN) {
        ascent = fontOf(t, 0)->ascent;
        descent = fontOf(t, 0)->descent;
    }
    *y0 = int64_t(size) * descent / 0x120000;
    *y1 = int64_t(size) * ascent / 0x120000;
    if (flags & TextStyle_decorations) {
        const TextFont *f0 = fontOf(t, 0);
        int64_t th =
            style && style[1] > 0 ? style[1] : int64_t(f0->decorationThickness) * unit / 65536;
        if (flags & TextStyle_overline)
            *y1 = std::max(*y1, int64_t(f0->upperDecoration) * unit / 65536 + th);
        if ((flags & TextStyle_underline) && style && style[0] > 0)
            *y0 = std::min(*y0, int64_t(f0->underlinePosition) * unit / 65536 -
                                    th * (2 * int64_t(style[0]) - 1));
    }
}

int measurePrefixLocked(FontList *list, int32_t size, uint32_t flags, const int32_t *style,
                        const char16_t *chars, uint32_t count, int32_t charSpacing,
                        int32_t wordSpacing, int32_t maxWidth, uint32_t *fitted, Rect *out)
{
    int64_t unit = unitOf(size);
    RunTable t;
    int r = buildRun(list, flags, chars, count, &t);
    if (r != Res_ok)
        return r;
    int64_t cs = int64_t(charSpacing) * 65536 / unit, ws = int64_t(wordSpacing) * 65536 / unit;
    int64_t h = list && list->hScale > 0 ? list->hScale : 0x10000;
    int64_t v = list && list->vScale > 0 ? list->vScale : 0x10000;
    bool limited = maxWidth != 0x7FFFFFFF;
    int64_t limit = maxWidth;
    if (limited) {
        if (h != 0x10000)
            limit = (limit * 65536 + h / 2) / h;
        limit = ((limit * 16384 + unit - 1) / unit) * 4;
    }
    int64_t s = 0;
    uint32_t passed = 0;
    for (; passed < t.n; passed++) {
        uint32_t adv = textRunAdvanceOf(t, passed);
        if (adv == 0)
            continue;
        int64_t next = s + adv + cs + (t.chars[passed] == 32 ? ws : 0);
        if (limited && next > limit)
            break;
        s = next;
    }
    if (fitted)
        *fitted = passed;
    int64_t y0 = 0, y1 = 0;
    verticalExtent(t, size, flags, style, unit, &y0, &y1);
    int64_t width = s * unit / 65536;
    int64_t x0 = t.n && textRunAdvanceOf(t, 0) == 0 ? -(4096 * unit / 65536) : 0;
    int64_t x1 = width * h / 65536;
    y0 = y0 * v / 65536;
    y1 = y1 * v / 65536;
    if (x1 == x0)
        x1 = x0 + 1;
    if (y1 == y0)
        y1 = y0 + 1;
    *out = Rect{clamp32(x0), clamp32(y0), clamp32(x1), clamp32(y1)};
    return Res_ok;
}

void lockList(FontList *list)
{
    if (list)
        Lock_acquire(&list->lock);
}

void unlockList(FontList *list)
{
    if (list)
        Lock_release(&list->lock);
}

int measureFitLocked(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                     const char16_t *chars, uint32_t count, int32_t charSpacing,
                     int32_t wordSpacing, int32_t maxWidth, uint32_t *fitted, Rect *out)
{
    uint32_t chunk = count;
    int64_t average = fonts ? fonts->averageAdvance : BoxFont_advance;
    if (maxWidth != 0x7FFFFFFF && count > 50 && average > 0 && size > 0) {
        int64_t e = int64_t(std::max(maxWidth, 0)) * 0x120000 / (average * size);
        chunk = uint32_t(std::min<int64_t>(std::max<int64_t>(e + e / 4, 50), count));
    }
    for (;;) {
        uint32_t got = 0;
        int r = measurePrefixLocked(fonts, size, flags, style, chars, chunk, charSpacing,
                                    wordSpacing, maxWidth, &got, out);
        if (r != Res_ok)
            return r;
        if (got < chunk || chunk == count) {
            if (fitted)
                *fitted = got;
            return Res_ok;
        }
        chunk = uint32_t(std::min<uint64_t>(uint64_t(chunk) * 2, count));
    }
}

} // namespace

int TextRun_measureFit(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                       const char16_t *chars, uint32_t count, int32_t charSpacing,
                       int32_t wordSpacing, int32_t maxWidth, uint32_t *fitted, Rect *out)
{
    *out = Rect{0, 0, 0, 0};
    if (fitted)
        *fitted = 0;
    if (!chars || count == 0)
        return Res_ok;
    lockList(fonts);
    int r = measureFitLocked(fonts, size, flags, style, chars, count, charSpacing, wordSpacing,
                             maxWidth, fitted, out);
    unlockList(fonts);
    return r;
}

int TextRun_measureXform(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                         const char16_t *chars, uint32_t count, int32_t charSpacing,
                         int32_t wordSpacing, const Matrix *matrix, Rect *out)
{
    int r = TextRun_measureFit(fonts, size, flags, style, chars, count, charSpacing, wordSpacing,
                               0x7FFFFFFF, nullptr, out);
    if (r != Res_ok || !matrix)
        return r;
    Point corners[4] = {
        {out->x0, out->y0}, {out->x1, out->y0}, {out->x1, out->y1}, {out->x0, out->y1}};
    Point mapped[4];
    Matrix_transformPoints(corners, 4, mapped, matrix);
    Rect_boundPoints(out, mapped, 4, 1);
    return Res_ok;
}

int64_t TextRun_width(const char16_t *chars, uint32_t count, int32_t charSpacing,
                      int32_t wordSpacing, const uint16_t *advances)
{
    int64_t s = 0;
    for (uint32_t i = 0; i < count; i++)
        if (advances[i] != 0)
            s += int64_t(advances[i]) + charSpacing + (chars[i] == 32 ? wordSpacing : 0);
    return s;
}

void Rect_scaleOutward(Rect *r, int32_t factor)
{
    auto floorDiv = [](int64_t a) { return a >= 0 ? a / 65536 : -((-a + 65535) / 65536); };
    auto ceilDiv = [](int64_t a) { return a >= 0 ? (a + 65535) / 65536 : -((-a) / 65536); };
    r->x0 = clamp32(floorDiv(int64_t(r->x0) * factor));
    r->y0 = clamp32(floorDiv(int64_t(r->y0) * factor));
    r->x1 = clamp32(ceilDiv(int64_t(r->x1) * factor));
    r->y1 = clamp32(ceilDiv(int64_t(r->y1) * factor));
}

// ------------------------------------------------------------------ walk

namespace {

bool touches(int64_t a0, int64_t a1, int64_t b0, int64_t b1)
{
    return a1 >= b0 && a0 <= b1;
}

int outlineCallback(GlyphWalk *walk)
{
    return Glyph_fetchAndDraw(walk);
}

int walkLocked(FontList *list, int32_t size, uint32_t flags, const int32_t *style,
               const char16_t *chars, uint32_t count, int32_t charSpacing, int32_t wordSpacing,
               const Matrix *matrix, const Rect *clip, const DrawTarget *target, uint32_t colour,
               GlyphWalkFn callback, void *data)
{
    int64_t unit = unitOf(size);
    Matrix run = list ? list->baseMatrix : *Matrix_identity();
    if (matrix)
        Matrix_concat(&run, matrix);
    // Clip culling: the run's box in device pixels against the clip.
    bool culled = false;
    int64_t cx0 = 0, cx1 = 0;
    if (clip) {
        Rect box{};
        int r = measurePrefixLocked(list, size, flags, style, chars, count, charSpacing,
                                    wordSpacing, 0x7FFFFFFF, nullptr, &box);
        if (r != Res_ok)
            return r;
        Point corners[4] = {{box.x0, box.y0}, {box.x1, box.y0}, {box.x1, box.y1}, {box.x0, box.y1}};
        Matrix_transformPoints(corners, 4, corners, &run);
        Rect dev;
        Rect_boundPoints(&dev, corners, 4, 1);
        dev.x1++; // the last pixel the run reaches
        dev.y1++;
        Rect cut = dev;
        Rect_intersect(&cut, clip);
        if (cut.x0 >= cut.x1 || cut.y0 >= cut.y1)
            return Res_ok;
        if (!Rect_equal(&cut, &dev)) {
            Matrix inverse;
            Matrix_invert(&inverse, &run);
            Point c[4] = {{clip->x0, clip->y0},
                          {clip->x1, clip->y0},
                          {clip->x1, clip->y1},
                          {clip->x0, clip->y1}};
            Matrix_transformPoints(c, 4, c, &inverse);
            Rect back;
            Rect_boundPoints(&back, c, 4, 1);
            culled = true;
            cx0 = int64_t(back.x0) * 65536 / unit;
            cx1 = int64_t(back.x1) * 65536 / unit;
        }
    }
    RunTable t;
    int r = buildRun(list, flags, chars, count, &t);
    if (r != Res_ok)
        return r;
    int64_t cs = int64_t(charSpacing) * 65536 / unit, ws = int64_t(wordSpacing) * 65536 / unit;
    GlyphWalk walk{};
    walk.list = list;
    walk.size = size;
    walk.unit = int32_t(unit);
    walk.runMatrix = &run;
    walk.target = target;
    walk.colour = colour;
    walk.data = data;
    DecorationState deco{};
    bool decorate = (flags & TextStyle_decorations) && target;
    if (decorate)
        Decoration_setup(&deco, fontOf(t, 0), int32_t(int64_t(size) / 72), flags,
                         style ? style[0] : 1, style ? style[1] : 0);
    bool inSegment = false, touched = false;
    int64_t pen = 0;
    auto doc = [unit](int64_t g) { return int32_t(g * unit / 65536); };
    for (uint32_t k = 0; k < t.n; k++) {
        uint32_t i = (flags & TextStyle_rightToLeft) ? t.n - 1 - k : k;
        uint32_t f = t.fonts ? t.fonts[i] & 7 : 0;
        uint16_t glyph = t.glyphs ? t.glyphs[i] : 0;
        int64_t adv = textRunAdvanceOf(t, i);
        char16_t c = t.chars[i];
        const TextFont *font = fontOf(t, f);
        bool blank = glyph == CharTable_noGlyph ||
                     (font->kind != 48 && font->kind != 50 && (c == 32 || c == 160)) ||
                     ((flags & TextStyle_skipMissing) && glyph == 0);
        if (decorate) {
            if (blank && inSegment) {
                r = Decoration_drawSegment(&deco, &run, target, colour);
                if (r != Res_ok)
                    return r;
                inSegment = false;
            } else if (!blank && glyph != CharTable_noGlyph) {
                if (!inSegment)
                    Decoration_setStart(&deco, doc(pen));
                Decoration_setEnd(&deco, doc(pen + adv));
                inSegment = true;
            }
        }
        bool draw = !blank && list && callback;
        if (draw && culled) {
            if (!touches(pen, pen + adv, cx0, cx1)) {
                draw = false;
                if (touched)
                    break;
            } else {
                touched = true;
            }
        }
        if (draw) {
            walk.penX = pen;
            walk.index = i;
            walk.font = f;
            walk.glyph = glyph;
            walk.advance = int32_t(adv);
            int64_t scale =
                std::clamp<int64_t>(int64_t(list->fonts[f].scale) * unit / 65536, 1, INT32_MAX);
            walk.glyphMatrix = Matrix{int32_t(scale), 0, 0, int32_t(scale), doc(pen), 0};
            r = callback(&walk);
            if (r == Res_pathEmptyArea)
                r = Res_ok;
            if (r != Res_ok)
                return r;
        }
        if (adv != 0)
            pen += adv + cs + (c == 32 ? ws : 0);
    }
    if (decorate && inSegment)
        return Decoration_drawSegment(&deco, &run, target, colour);
    return Res_ok;
}

} // namespace

int TextRun_walk(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                 const char16_t *chars, uint32_t count, int32_t charSpacing, int32_t wordSpacing,
                 const Matrix *matrix, const Rect *clip, const DrawTarget *target, uint32_t colour,
                 GlyphWalkFn callback, void *data)
{
    if (!chars || count == 0)
        return Res_ok;
    lockList(fonts);
    int r = walkLocked(fonts, size, flags, style, chars, count, charSpacing, wordSpacing, matrix,
                       clip, target, colour, callback, data);
    unlockList(fonts);
    return r;
}

int TextRun_outline(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                    const char16_t *chars, uint32_t count, int32_t charSpacing, int32_t wordSpacing,
                    const Matrix *matrix, const Rect *clip, const DrawTarget *target,
                    uint32_t colour)
{
    return TextRun_walk(fonts, size, flags, style, chars, count, charSpacing, wordSpacing, matrix,
                        clip, target, colour, outlineCallback, nullptr);
}
