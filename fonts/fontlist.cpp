// Font lists: the faces the family matcher chooses for a
// list of family names, held as shared font instances, with the operations
// through which text runs map, measure and draw with them; and the box
// font that a list falls back on when the engine has no installed faces.
#include "fonts/fontlist.h"

#include <cstring>

#include "graphics/glyphcache.h"
#include "core/context/context.h"
#include "core/container/array.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/fontsupport.h"
#include "fonts/base14.h"
#include "fonts/catalogue.h"
#include "fonts/fontengine.h"
#include "fonts/synthesis.h"
#include "graphics/glyphpath.h"
#include "fonts/textrun.h"

namespace {

// The list record: the text runs' view first.
struct EngineList {
    FontList list;
    EngineContext *context; // null: the box font's list
    FontInstance *handles[FontList_maxFonts];
    uint32_t instanceCount;
    FontFace *extra; // the width-override face of the match (one reference; may be null)
    FontListOwner owner;
    FontCaches caches;      // the engine's caches; the box font's own
    SubstTransformer subst; // the engine's substitution table as the runs' transformer
};

EngineList *recordOf(FontList *list)
{
    return reinterpret_cast<EngineList *>(list);
}

const char captionFamily[] = "verdana";
const int32_t captionSize = 0x80000; // 8 points

// ------------------------------------------------------------ the box font

// Every printable character is the missing-glyph box (glyph 1), spaces a
// glyph without outline (glyph 2), one advance for all.
int boxMap(FontList *, uint32_t font, const char16_t *chars, uint32_t n, uint16_t *glyphs,
           uint8_t *fonts, uint32_t *unmapped)
{
    for (uint32_t i = 0; i < n && *unmapped; i++) {
        if (glyphs[i] != 0 || chars[i] < 32)
            continue;
        glyphs[i] = chars[i] == 32 || chars[i] == 160 ? 2 : 1;
        fonts[i] = uint8_t(font);
        --*unmapped;
    }
    return Res_ok;
}

int boxMetrics(FontList *, uint32_t font, const uint16_t *, uint32_t n, const uint8_t *fonts,
               uint16_t *first, uint16_t *advances)
{
    for (uint32_t i = 0; i < n; i++)
        if ((fonts[i] & 7) == font) {
            first[i] = 0;
            advances[i] = BoxFont_advance;
        }
    return Res_ok;
}

int boxOutline(FontList *, uint32_t, uint16_t glyph, GlyphPath **out)
{
    if (glyph != 1)
        return GlyphPath_create(out, GlyphPath_kindCodes);
    *out = GlyphPath_missingGlyph(16384);
    return *out ? Res_ok : Res_noMemory;
}

constexpr TextFontOps boxOps = {boxMap, nullptr, nullptr, boxMetrics, nullptr, boxOutline};

int boxList(const Matrix *matrix, FontList **out)
{
    EngineList *b = static_cast<EngineList *>(Mem_calloc(1, sizeof(EngineList)));
    if (!b)
        return Res_noMemory;
    b->list.refs = 1;
    if (LruCache_resize(64, &b->caches.paths) != Res_ok ||
        LruArena_resize(64, &b->caches.masks) != Res_ok) {
        Font_listRelease(&b->list);
        return Res_noMemory;
    }
    FontList *l = &b->list;
    l->hScale = l->vScale = 0x10000;
    l->baseMatrix = matrix ? *matrix : *Matrix_identity();
    l->averageAdvance = BoxFont_advance;
    l->fontCount = 1;
    l->fonts[0] = TextFont{&boxOps,
                           nullptr,
                           reinterpret_cast<uintptr_t>(b),
                           0,
                           BoxFont_ascent,
                           BoxFont_descent,
                           BoxFont_upperDecoration,
                           BoxFont_underlinePosition,
                           BoxFont_thickness,
                           (16384 / BoxFont_unitsPerEm) << 16,
                           1};
    l->owner = &b->owner;
    l->caches = &b->caches;
    *out = l;
    return Res_ok;
}

// ----------------------------------------------------- faces of instances

FontFace *faceOf(FontList *list, uint32_t font)
{
    return static_cast<FontInstance *>(list->fonts[font].font)->face;
}

int faceMap(FontList *list, uint32_t font, const char16_t *chars, uint32_t n, uint16_t *glyphs,
            uint8_t *fonts, uint32_t *unmapped)
{
    FontFace *face = faceOf(list, font);
    if (!face->map)
        return Res_ok;
    return face->map(face, reinterpret_cast<const uint16_t *>(chars), n, font, glyphs, fonts,
                     unmapped);
}

int faceMetrics(FontList *list, uint32_t font, const uint16_t *glyphs, uint32_t n,
                const uint8_t *fonts, uint16_t *first, uint16_t *advances)
{
    FontFace *face = faceOf(list, font);
    if (!face->advance) {
        for (uint32_t i = 0; i < n; i++)
            if ((fonts[i] & 7) == font)
                first[i] = advances[i] = 0;
        return Res_ok;
    }
    return face->advance(face, glyphs, n, font, fonts, first, advances);
}

int faceKerning(FontList *list, uint32_t font, const uint16_t *glyphs, uint32_t n,
                const uint8_t *fonts, uint16_t *advances)
{
    FontFace *face = faceOf(list, font);
    return face->kerning ? face->kerning(face, glyphs, n, font, fonts, advances) : Res_ok;
}

int faceOutline(FontList *list, uint32_t font, uint16_t glyph, GlyphPath **out)
{
    FontFace *face = faceOf(list, font);
    if (!face->outline)
        return GlyphPath_create(out, GlyphPath_kindCodes);
    return face->outline(face, glyph, out);
}

constexpr TextFontOps faceOps = {faceMap, nullptr, nullptr, faceMetrics, faceKerning, faceOutline};

int32_t metricOr(int32_t value, int32_t fallback)
{
    return value == FontFace_unset ? fallback : value;
}

TextFont textFontOf(FontInstance *handle)
{
    FontFace *face = handle->face;
    uint32_t em = face->unitsPerEm ? face->unitsPerEm : 16384;
    return TextFont{&faceOps,
                    handle,
                    reinterpret_cast<uintptr_t>(handle),
                    face->kind,
                    metricOr(face->metrics[3], 14600),
                    metricOr(face->metrics[4], -3536),
                    metricOr(face->metrics[2], 14600),
                    metricOr(face->metrics[0], -1784),
                    metricOr(face->metrics[1], 800),
                    int32_t((uint64_t(16384) << 16) / em),
                    1};
}

// ------------------------------------------------- the matcher's services

FontEngine *engineOf(FontMatchContext *context)
{
    return static_cast<FontEngine *>(context->owner);
}

void refreshKnown(FontMatchContext *context)
{
    FontCatalogue *c = engineOf(context)->catalogue;
    context->known = c ? c->faces : nullptr;
    context->knownCount = c ? c->faceCount : 0;
    context->aliases = c ? c->defaults : nullptr;
    context->aliasCount = c ? c->defaultCount : 0;
}

int prepareKnown(FontMatchContext *context)
{
    refreshKnown(context);
    context->knownReady = 1; // the language defaults below search the known faces
    return Css_fontLanguageDefaults(context);
}

int registerCopy(FontMatchContext *context, FontFace *copy)
{
    FontCatalogue *c = engineOf(context)->catalogue;
    if (!c)
        return Res_nullInput;
    int rc = FontCatalogue_addFace(c, nullptr, copy);
    refreshKnown(context);
    return rc;
}

int derive(FontMatchContext *context, const char *name, FontFace *candidate, FontFace **out)
{
    *out = nullptr;
    FontEngine *fe = engineOf(context);
    if (!fe->metrics || !candidate || Base14_indexOf(name) < 0)
        return Res_ok;
    Base14Slot *slot = nullptr;
    int rc = Base14_open(candidate->source, fe->metrics, name, &slot);
    if (rc != Res_ok || !slot || !slot->metrics)
        return rc == Res_noMemory ? rc : Res_ok; // a damaged file: the real face measures
    return SynthesisFace_create(candidate, slot, out);
}

void releaseCandidate(FontMatchContext *, FontFace *face)
{
    Font_faceRelease(face);
}

constexpr FontMatchOps matchOps = {prepareKnown, registerCopy, derive, releaseCandidate};

// Releases the list's instances in reverse order (the engine's lock held).
void releaseHandles(FontEngine *fe, EngineList *e)
{
    while (e->instanceCount)
        FontEngine_instanceRelease(fe, e->handles[--e->instanceCount]);
}

} // namespace

void FontList_initMatching(FontEngine *fe)
{
    fe->match.ops = &matchOps;
    fe->match.owner = fe;
    fe->match.knownReady = 0;
}

int Font_listCreate(EngineInstance *instance, const char *const *families, uint32_t count,
                    uint32_t flags, const Matrix *matrix, FontList **out)
{
    if (!out)
        return Res_nullInput;
    *out = nullptr;
    EngineContext *context = instance ? instance->context : nullptr;
    FontEngine *fe = context ? context->fontEngine : nullptr;
    if (!fe || FontCatalogue_isEmpty(fe->catalogue) != Res_ok)
        return boxList(matrix, out);
    Lock_acquire(&fe->lock);
    Matrix m = matrix ? *matrix : *Matrix_identity();
    FontFace *candidates[FontMatch_maxCandidates];
    uint32_t n = 0;
    FontFace *extra = nullptr;
    // The document faces, which "vexlanEmbedded" names find.
    fe->match.embedded =
        fe->fonts ? reinterpret_cast<FontFace *const *>(fe->fonts->items) : nullptr;
    fe->match.embeddedCount = fe->fonts ? uint32_t(fe->fonts->count) : 0;
    int rc = Css_fontMatchFamilies(context, &fe->match, families, families ? count : 0, flags,
                                   candidates, &n, &m, &extra);
    if (rc != Res_ok) {
        Lock_release(&fe->lock);
        return rc;
    }
    // A document face found by name comes back without a reference of the
    // candidate list, which the list's release below drops: take it here.
    for (uint32_t i = 0; i < n; i++)
        if (fe->fonts && Array_contains(fe->fonts, candidates[i]))
            Font_faceRetain(candidates[i]);
    if (extra && fe->fonts && Array_contains(fe->fonts, extra))
        Font_faceRetain(extra);
    EngineList *e = n ? static_cast<EngineList *>(Mem_calloc(1, sizeof(EngineList))) : nullptr;
    rc = n == 0 ? Res_notFound : e ? Res_ok : Res_noMemory;
    for (uint32_t i = 0; i < n && rc == Res_ok; i++) {
        // A width-override face found by name measures with its widths and
        // draws its parent's glyphs: it takes its parent's place.
        FontFace *face = candidates[i];
        if (extra && extra->kind == FontFace_kindWidthOverride && extra->parent == face)
            face = extra;
        rc = FontEngine_instanceGet(fe, face, &e->handles[i]);
        if (rc == Res_ok)
            e->instanceCount++;
    }
    // The spaces face closes every list that has room for it.
    bool hasSpaces = false;
    for (uint32_t i = 0; i < n; i++)
        hasSpaces = hasSpaces || candidates[i] == fe->spacesFont;
    if (rc == Res_ok && fe->spacesFont && !hasSpaces && e->instanceCount < FontList_maxFonts) {
        rc = FontEngine_instanceGet(fe, fe->spacesFont, &e->handles[e->instanceCount]);
        if (rc == Res_ok)
            e->instanceCount++;
    }
    if (rc == Res_ok && extra) {
        Font_faceRetain(extra);
        e->extra = extra;
    }
    Css_fontListRelease(&fe->match, candidates, n, extra);
    if (rc == Res_ok)
        rc = Lock_init(context, &e->list.lock);
    if (rc != Res_ok) {
        if (e) {
            releaseHandles(fe, e);
            Font_faceRelease(e->extra);
            Mem_free(e);
        }
        Lock_release(&fe->lock);
        return rc;
    }
    e->context = context;
    FontList *l = &e->list;
    l->hScale = l->vScale = 0x10000;
    l->baseMatrix = m;
    l->fontCount = e->instanceCount;
    for (uint32_t i = 0; i < e->instanceCount; i++)
        l->fonts[i] = textFontOf(e->handles[i]);
    FontFace *first = e->handles[0]->face;
    l->averageAdvance = first->unitsPerEm && first->avgCharWidth > 0
                            ? int32_t(int64_t(first->avgCharWidth) * 16384 / first->unitsPerEm)
                            : 0;
    SubstTable_initTransformer(&e->subst, fe->charFilters);
    if (fe->charFilters)
        l->transformer = &e->subst.base;
    e->caches.paths = fe->pathCache;
    e->caches.masks = fe->maskCache;
    l->owner = &e->owner;
    l->caches = &e->caches;
    l->refs = 1;
    Lock_release(&fe->lock);
    *out = l;
    return Res_ok;
}

void Font_listRetain(EngineInstance *, FontList **out, FontList *list)
{
    if (out)
        *out = list;
    if (!list)
        return;
    EngineList *e = recordOf(list);
    FontEngine *fe = e->context ? e->context->fontEngine : nullptr;
    if (fe)
        Lock_acquire(&fe->lock);
    list->refs++;
    if (fe)
        Lock_release(&fe->lock);
}

void Font_listRelease(FontList *list)
{
    if (!list)
        return;
    EngineList *e = recordOf(list);
    if (!e->context) {
        if (--list->refs > 0)
            return;
        TextRun_freeCharTable(&e->owner);
        LruCache_destroy(e->caches.paths);
        LruArena_destroy(e->caches.masks);
        Mem_free(e);
        return;
    }
    FontEngine *fe = e->context->fontEngine;
    if (fe)
        Lock_acquire(&fe->lock);
    if (--list->refs > 0) {
        if (fe)
            Lock_release(&fe->lock);
        return;
    }
    // Without the font engine its instances are gone with it.
    if (fe)
        releaseHandles(fe, e);
    Font_faceRelease(e->extra);
    TextRun_freeCharTable(&e->owner);
    Lock_fini(&list->lock);
    if (fe)
        Lock_release(&fe->lock);
    Mem_free(e);
}

FontInstance *const *Font_listHandles(const FontList *list, uint32_t *count)
{
    const EngineList *e = reinterpret_cast<const EngineList *>(list);
    *count = e && e->context ? e->instanceCount : 0;
    return *count ? e->handles : nullptr;
}

int Font_measureCaption(EngineInstance *instance, const char16_t *text, Rect *bounds)
{
    if (!bounds)
        return Res_nullInput;
    *bounds = Rect{};
    uint32_t n = 0;
    while (text && text[n])
        n++;
    if (n == 0)
        return Res_ok;
    const char *families[] = {captionFamily};
    FontList *list = nullptr;
    int rc = Font_listCreate(instance, families, 1, 0, nullptr, &list);
    if (rc == Res_ok)
        rc = TextRun_measureFit(list, captionSize, 0, nullptr, text, n, 0, 0, 0x7FFFFFFF, nullptr,
                                bounds);
    Font_listRelease(list);
    return rc;
}
