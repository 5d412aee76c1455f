// Embedded fonts: glyph tables, the face operations and the expansion of
// outlines that reference components or build accented glyphs.
#include "fonts/embeddedfont.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/container/array.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/fontsupport.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"

namespace {

Lock *engineLock(EmbeddedFont *f)
{
    return f->engine && f->engine->fontEngine ? &f->engine->fontEngine->lock : nullptr;
}

struct Locked {
    Lock *lock;
    explicit Locked(Lock *l) : lock(l)
    {
        if (lock)
            Lock_acquire(lock);
    }
    void release()
    {
        if (lock)
            Lock_release(lock);
        lock = nullptr;
    }
};

int resize(EmbeddedTable *t, uint32_t capacity, size_t entrySize)
{
    void *e = Mem_realloc(t->entries, std::max<size_t>(capacity, 1) * entrySize);
    if (!e)
        return Res_noMemory;
    t->entries = e;
    t->capacity = capacity;
    return Res_ok;
}

uint32_t total(const EmbeddedTable *t)
{
    return t->sorted + t->added;
}

// Room for one more entry: the smallest power of two above the capacity,
// at least 8.
int grow(EmbeddedTable *t, size_t entrySize)
{
    if (total(t) < t->capacity)
        return Res_ok;
    uint32_t cap = 8;
    while (cap <= t->capacity)
        cap *= 2;
    return resize(t, cap, entrySize);
}

int32_t toUnits(const EmbeddedFont *f, int32_t v)
{
    uint32_t em = f->face->unitsPerEm ? f->face->unitsPerEm : 16384;
    return int32_t(int64_t(v) * 16384 / em);
}

int addGlyphLocked(EmbeddedFont *f, uint16_t code, GlyphPath *outline, uint16_t sb,
                   uint16_t advance)
{
    uint32_t glyphs = total(&f->outlines);
    if (code == 0 && glyphs > 0) {
        GlyphPath **outlines = static_cast<GlyphPath **>(f->outlines.entries);
        GlyphPath_destroy(outlines[0]);
        outlines[0] = outline;
        EmbeddedMetrics *m = static_cast<EmbeddedMetrics *>(f->metrics.entries);
        for (uint32_t i = 0; i < total(&f->metrics); i++)
            if (m[i].glyph == 0) {
                m[i].advance = advance;
                m[i].sideBearing = sb;
            }
        return Res_ok;
    }
    if (glyphs >= 65535 || grow(&f->codes, sizeof(EmbeddedCode)) != Res_ok ||
        grow(&f->metrics, sizeof(EmbeddedMetrics)) != Res_ok ||
        grow(&f->outlines, sizeof(GlyphPath *)) != Res_ok) {
        GlyphPath_destroy(outline);
        return Res_noMemory;
    }
    uint16_t index = uint16_t(glyphs);
    static_cast<EmbeddedCode *>(f->codes.entries)[total(&f->codes)] = EmbeddedCode{code, index};
    static_cast<EmbeddedMetrics *>(f->metrics.entries)[total(&f->metrics)] =
        EmbeddedMetrics{index, advance, sb};
    static_cast<GlyphPath **>(f->outlines.entries)[glyphs] = outline;
    f->codes.added++;
    f->metrics.added++;
    f->outlines.added++;
    f->face->glyphCountCopy = uint16_t(f->outlines.added);
    return Res_ok;
}

const EmbeddedMetrics *findMetrics(const EmbeddedFont *f, uint16_t glyph)
{
    int32_t i =
        Array_bsearchU16(f->metrics.entries, f->metrics.sorted, sizeof(EmbeddedMetrics), glyph);
    return i < 0 ? nullptr : &static_cast<const EmbeddedMetrics *>(f->metrics.entries)[i];
}

const GlyphPath *findComponent(const EmbeddedFont *f, uint32_t id)
{
    if (!f->components)
        return nullptr;
    const EmbeddedComponent *c = static_cast<const EmbeddedComponent *>(f->components->entries);
    for (uint32_t i = 0; i < total(f->components); i++)
        if (c[i].id == id)
            return c[i].outline;
    return nullptr;
}

int appendBytes(GlyphPath *dst, const uint8_t *p, uint32_t n)
{
    if (GlyphPath_reserve(dst, n) != Res_ok)
        return Res_noMemory;
    uint32_t at = dst->lastSize ? dst->lastStart + dst->lastSize : 0;
    memcpy(dst->bytes + at, p, n);
    dst->lastStart = at;
    dst->lastSize = n;
    return Res_ok;
}

int expand(const EmbeddedFont *f, const GlyphPath *src, GlyphPath *dst, uint32_t depth, bool top);

// Copies the drawing records of src into dst: point and close records,
// components in place of their references (an unknown id adds nothing),
// and, at the top level, the end record.
int copyRecords(const EmbeddedFont *f, const GlyphPath *src, GlyphPath *dst, uint32_t depth,
                bool top)
{
    static constexpr uint8_t endCode[1] = {GlyphCode_end};
    if (!src->bytes || src->lastSize == 0)
        return top ? appendBytes(dst, endCode, 1) : Res_ok;
    const uint8_t *p = src->bytes, *limit = src->bytes + src->lastStart + src->lastSize;
    while (p < limit) {
        const uint8_t *next = GlyphPath_nextOp(p);
        if (next == p || next > limit)
            break;
        uint8_t op = p[0] & 15;
        int r = Res_ok;
        if (op == GlyphCode_end) {
            return top ? appendBytes(dst, p, 1) : Res_ok;
        } else if (op == GlyphCode_moveTo || op == GlyphCode_lineTo || op == GlyphCode_curveTo ||
                   op == GlyphCode_close) {
            r = appendBytes(dst, p, uint32_t(next - p));
        } else if (op == GlyphCode_skip4 && depth < EmbeddedFont_maxComponentDepth) {
            uint32_t id = Bytes_peekU32Le(p + 1);
            const GlyphPath *c = findComponent(f, id);
            if (c && c->kind == GlyphPath_kindCodes)
                r = expand(f, c, dst, depth + 1, false);
        }
        if (r != Res_ok)
            return r;
        p = next;
    }
    return top ? appendBytes(dst, endCode, 1) : Res_ok;
}

GlyphPath *outlineOf(const EmbeddedFont *f, uint16_t glyph)
{
    if (glyph >= total(&f->outlines))
        return nullptr;
    return static_cast<GlyphPath *const *>(f->outlines.entries)[glyph];
}

int expandGlyph(const EmbeddedFont *f, uint16_t glyph, uint32_t depth, GlyphPath **out);

// An accented glyph: the base outline with the accent's appended at its
// offset. The header's own point records are dropped.
int expandAccent(const EmbeddedFont *f, const GlyphPath *src, GlyphPath *dst, uint32_t depth)
{
    const uint8_t *h = src->bytes + 1;
    uint16_t chars[2] = {Bytes_peekU16Le(h), Bytes_peekU16Le(h + 2)};
    int32_t dx = int16_t(Bytes_peekU16Le(h + 4)), dy = int16_t(Bytes_peekU16Le(h + 6));
    uint16_t glyphs[2] = {0, 0};
    uint8_t tags[2] = {0, 0};
    uint32_t remaining = 2;
    // EmbeddedFont_mapChars cannot fail.
    (void)EmbeddedFont_mapChars(f->face, chars, 2, 0, glyphs, tags, &remaining);
    GlyphPath *base = nullptr, *accent = nullptr;
    int r = expandGlyph(f, glyphs[0], depth + 1, &base);
    if (r == Res_ok)
        r = expandGlyph(f, glyphs[1], depth + 1, &accent);
    if (r == Res_ok) {
        GlyphPathMeasure m;
        GlyphPath_count(base, &m);
        r = appendBytes(dst, base->bytes, m.length);
    }
    if (r == Res_ok)
        r = GlyphPath_append(dst, accent, dx, dy, 1);
    GlyphPath_destroy(base);
    GlyphPath_destroy(accent);
    return r;
}

int expand(const EmbeddedFont *f, const GlyphPath *src, GlyphPath *dst, uint32_t depth, bool top)
{
    if (top && src->bytes && src->lastSize && (src->bytes[0] & 15) == GlyphCode_header) {
        GlyphPathMeasure m;
        GlyphPath_count(src, &m);
        if (m.length >= 9 && depth < EmbeddedFont_maxComponentDepth)
            return expandAccent(f, src, dst, depth);
    }
    return copyRecords(f, src, dst, depth, top);
}

// A new expanded copy of a glyph's outline (an empty ended outline for a
// glyph without one).
int expandGlyph(const EmbeddedFont *f, uint16_t glyph, uint32_t depth, GlyphPath **out)
{
    *out = nullptr;
    GlyphPath *dst = nullptr;
    if (GlyphPath_create(&dst, GlyphPath_kindCodes) != Res_ok)
        return Res_noMemory;
    const GlyphPath *src = outlineOf(f, glyph);
    static constexpr uint8_t endCode[1] = {GlyphCode_end};
    int r = src && src->kind == GlyphPath_kindCodes && depth < EmbeddedFont_maxComponentDepth
                ? expand(f, src, dst, depth, true)
                : appendBytes(dst, endCode, 1);
    if (r != Res_ok) {
        GlyphPath_destroy(dst);
        return r;
    }
    *out = dst;
    return Res_ok;
}

} // namespace

EmbeddedFont *EmbeddedFont_ofFace(FontFace *face)
{
    return face && face->kind == FontFace_kindEmbedded && face->close == EmbeddedFont_destroy
               ? static_cast<EmbeddedFont *>(face->closeArg)
               : nullptr;
}

int EmbeddedFont_create(EngineContext *engine, const char *, uint16_t unitsPerEm, uintptr_t style,
                        EmbeddedFont **out)
{
    *out = nullptr;
    EmbeddedFont *f = static_cast<EmbeddedFont *>(Mem_calloc(1, sizeof(EmbeddedFont)));
    if (!f)
        return Res_noMemory;
    FontFace *face = nullptr;
    if (Font_faceCreate(engine, FontFace_kindEmbedded, 0, nullptr, &face) != Res_ok) {
        Mem_free(f);
        return Res_noMemory;
    }
    f->face = face;
    f->engine = engine;
    f->queryWord = -1;
    face->closeArg = f;
    face->close = EmbeddedFont_destroy;
    face->unitsPerEm = unitsPerEm;
    face->styleWord = style;
    face->map = EmbeddedFont_mapChars;
    face->advance = EmbeddedFont_getMetrics;
    face->kerning = EmbeddedFont_kern;
    face->outline = EmbeddedFont_getOutline;
    Font_faceFillDefaults(face);
    char name[EmbeddedFont_nameLength];
    snprintf(name, sizeof name, "%s:Forge:%p", "vexlanEmbedded", static_cast<void *>(face));
    int r = Font_faceSetName(name, face);
    if (r == Res_ok)
        r = resize(&f->codes, 8, sizeof(EmbeddedCode));
    if (r == Res_ok)
        r = resize(&f->metrics, 8, sizeof(EmbeddedMetrics));
    if (r == Res_ok)
        r = resize(&f->outlines, 8, sizeof(GlyphPath *));
    GlyphPath *box = r == Res_ok ? GlyphPath_missingGlyph(16384) : nullptr;
    if (r == Res_ok && !box)
        r = Res_noMemory;
    if (r == Res_ok)
        r = addGlyphLocked(f, 0, box, 0, EmbeddedFont_defaultAdvance);
    if (r != Res_ok) {
        Font_faceRelease(face);
        return r;
    }
    *out = f;
    return Res_ok;
}

int EmbeddedFont_addGlyph(EmbeddedFont *font, uint16_t code, GlyphPath *outline,
                          int32_t sideBearing, int32_t advance)
{
    Locked l(engineLock(font));
    int r = addGlyphLocked(font, code, outline, uint16_t(toUnits(font, sideBearing)),
                           uint16_t(toUnits(font, advance)));
    l.release();
    return r;
}

int EmbeddedFont_addEmptyGlyph(EmbeddedFont *font, int32_t sideBearing, int32_t advance)
{
    GlyphPath *o = nullptr;
    if (GlyphPath_create(&o, GlyphPath_kindCodes) != Res_ok)
        return Res_noMemory;
    if (GlyphPath_finish(o) != Res_ok) {
        GlyphPath_destroy(o);
        return Res_noMemory;
    }
    return EmbeddedFont_addGlyph(font, 0, o, sideBearing, advance);
}

int EmbeddedFont_addKerning(EmbeddedFont *font, uint16_t first, uint16_t second, int32_t adjustment)
{
    Locked l(engineLock(font));
    int r = Res_ok;
    if (!font->kerning) {
        font->kerning = static_cast<EmbeddedTable *>(Mem_calloc(1, sizeof(EmbeddedTable)));
        r = font->kerning ? Res_ok : Res_noMemory;
    }
    if (r == Res_ok)
        r = grow(font->kerning, sizeof(EmbeddedKern));
    if (r == Res_ok) {
        static_cast<EmbeddedKern *>(font->kerning->entries)[total(font->kerning)] =
            EmbeddedKern{uint32_t(first) | uint32_t(second) << 16, adjustment};
        font->kerning->added++;
    }
    l.release();
    return r;
}

int EmbeddedFont_addComponent(EmbeddedFont *font, uint32_t id, GlyphPath *outline)
{
    Locked l(engineLock(font));
    int r = Res_ok;
    if (!font->components) {
        font->components = static_cast<EmbeddedTable *>(Mem_calloc(1, sizeof(EmbeddedTable)));
        r = font->components ? Res_ok : Res_noMemory;
    }
    if (r == Res_ok)
        r = grow(font->components, sizeof(EmbeddedComponent));
    if (r == Res_ok) {
        static_cast<EmbeddedComponent *>(font->components->entries)[total(font->components)] =
            EmbeddedComponent{id, outline};
        font->components->added++;
    } else {
        GlyphPath_destroy(outline);
    }
    l.release();
    return r;
}

int EmbeddedFont_finish(EmbeddedFont *f)
{
    EmbeddedTable *tables[] = {&f->codes, &f->metrics, &f->outlines, f->kerning, f->components};
    const size_t sizes[] = {sizeof(EmbeddedCode), sizeof(EmbeddedMetrics), sizeof(GlyphPath *),
                            sizeof(EmbeddedKern), sizeof(EmbeddedComponent)};
    for (size_t i = 0; i < 5; i++) {
        EmbeddedTable *t = tables[i];
        if (!t)
            continue;
        t->sorted = total(t);
        t->added = 0;
        if (t->sorted < t->capacity)
            (void)resize(t, t->sorted, sizes[i]); // a failed shrink keeps the larger block
    }
    EmbeddedCode *c = static_cast<EmbeddedCode *>(f->codes.entries);
    std::sort(c, c + f->codes.sorted,
              [](const EmbeddedCode &a, const EmbeddedCode &b) { return a.code < b.code; });
    EmbeddedMetrics *m = static_cast<EmbeddedMetrics *>(f->metrics.entries);
    std::sort(m, m + f->metrics.sorted,
              [](const EmbeddedMetrics &a, const EmbeddedMetrics &b) { return a.glyph < b.glyph; });
    if (f->kerning) {
        EmbeddedKern *k = static_cast<EmbeddedKern *>(f->kerning->entries);
        std::sort(k, k + f->kerning->sorted,
                  [](const EmbeddedKern &a, const EmbeddedKern &b) { return a.key < b.key; });
    }
    f->face->glyphCount = uint16_t(f->outlines.sorted);
    f->face->glyphCountCopy = 0;
    return Res_ok;
}

void EmbeddedFont_release(EmbeddedFont *font)
{
    if (font)
        Font_faceRelease(font->face);
}

void EmbeddedFont_destroy(void *data)
{
    EmbeddedFont *f = static_cast<EmbeddedFont *>(data);
    if (!f)
        return;
    GlyphPath **o = static_cast<GlyphPath **>(f->outlines.entries);
    for (uint32_t i = 0; i < total(&f->outlines); i++)
        GlyphPath_destroy(o[i]);
    if (f->components) {
        EmbeddedComponent *c = static_cast<EmbeddedComponent *>(f->components->entries);
        for (uint32_t i = 0; i < total(f->components); i++)
            GlyphPath_destroy(c[i].outline);
        Mem_free(f->components->entries);
        Mem_free(f->components);
    }
    if (f->kerning) {
        Mem_free(f->kerning->entries);
        Mem_free(f->kerning);
    }
    Mem_free(f->codes.entries);
    Mem_free(f->metrics.entries);
    Mem_free(f->outlines.entries);
    Mem_free(f);
}

int32_t EmbeddedFont_glyphCount(const EmbeddedFont *font)
{
    return font && font->codes.entries ? int32_t(total(&font->codes)) : -1;
}

uint16_t EmbeddedFont_glyphCode(const EmbeddedFont *font, uint32_t i)
{
    return i < total(&font->codes) ? static_cast<const EmbeddedCode *>(font->codes.entries)[i].code
                                   : 0;
}

int EmbeddedFont_mapChars(FontFace *face, const uint16_t *chars, uint32_t n, uint32_t slot,
                          uint16_t *glyphs, uint8_t *flags, uint32_t *remaining)
{
    const EmbeddedFont *f = EmbeddedFont_ofFace(face);
    if (!f)
        return Res_ok;
    for (uint32_t i = 0; i < n && *remaining; i++) {
        if (glyphs[i] != 0)
            continue;
        int32_t at =
            Array_bsearchU16(f->codes.entries, f->codes.sorted, sizeof(EmbeddedCode), chars[i]);
        if (at < 0)
            continue;
        glyphs[i] = static_cast<const EmbeddedCode *>(f->codes.entries)[at].glyph;
        flags[i] = uint8_t((flags[i] & ~7u) | (slot & 7u));
        --*remaining;
    }
    return Res_ok;
}

int EmbeddedFont_getMetrics(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t slot,
                            const uint8_t *flags, uint16_t *sideBearings, uint16_t *advances)
{
    const EmbeddedFont *f = EmbeddedFont_ofFace(face);
    for (uint32_t i = 0; i < n; i++) {
        if ((flags[i] & 7u) != (slot & 7u))
            continue;
        const EmbeddedMetrics *m = f && glyphs[i] != 0xFFFF ? findMetrics(f, glyphs[i]) : nullptr;
        sideBearings[i] = m ? m->sideBearing : 0;
        advances[i] = m ? m->advance : 0;
    }
    return Res_ok;
}

int EmbeddedFont_kern(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t slot,
                      const uint8_t *flags, uint16_t *advances)
{
    const EmbeddedFont *f = EmbeddedFont_ofFace(face);
    if (!f || !f->kerning || f->kerning->sorted == 0)
        return Res_ok;
    const EmbeddedKern *k = static_cast<const EmbeddedKern *>(f->kerning->entries);
    for (uint32_t i = 0; i + 1 < n; i++) {
        if ((flags[i] & 7u) != (slot & 7u) || (flags[i + 1] & 7u) != (slot & 7u))
            continue;
        uint32_t key = uint32_t(glyphs[i]) | uint32_t(glyphs[i + 1]) << 16;
        const EmbeddedKern *end = k + f->kerning->sorted;
        const EmbeddedKern *hit = std::lower_bound(
            k, end, key, [](const EmbeddedKern &e, uint32_t v) { return e.key < v; });
        if (hit != end && hit->key == key)
            advances[i] = uint16_t(advances[i] + hit->adjustment);
    }
    return Res_ok;
}

int EmbeddedFont_getOutline(FontFace *face, uint16_t glyph, GlyphPath **out)
{
    *out = nullptr;
    const EmbeddedFont *f = EmbeddedFont_ofFace(face);
    if (!f)
        return GlyphPath_create(out, GlyphPath_kindCodes);
    const GlyphPath *src = outlineOf(f, glyph);
    if (src && src->kind == GlyphPath_kindPoints) {
        *out = GlyphPath_cloneRecords(src);
        return *out ? Res_ok : Res_noMemory;
    }
    return expandGlyph(f, glyph, 0, out);
}
