// Document fonts: the engine's fonts array, embedded TrueType programs and
// width-override faces.
#include "fonts/docfonts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/container/array.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/cmap.h"
#include "fonts/embeddedfont.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/truetype.h"
#include "graphics/glyphpath.h"
#include "platform/vfs/vfs.h"

namespace {

const char marker[] = "vexlanEmbedded";

FontEngine *engineOf(EngineContext *engine)
{
    return engine ? engine->fontEngine : nullptr;
}

} // namespace

int FontEngine_registerEmbedded(EngineContext *engine, EmbeddedFont *font)
{
    FontEngine *fe = engineOf(engine);
    if (!fe || !font)
        return Res_nullInput;
    Lock_acquire(&fe->lock);
    int r = EmbeddedFont_finish(font);
    if (r == Res_ok) {
        Font_faceRetain(font->face);
        r = FontEngine_addFont(fe, font->face);
        if (r != Res_ok)
            Font_faceRelease(font->face);
    }
    Lock_release(&fe->lock);
    return r;
}

namespace {

// The destroy operation of an embedded TrueType face: its pair table,
// then the file and tables.
void destroyEmbeddedTrueType(FontFace *face)
{
    Cmap_dropLoaded(face);
    TrueType_close(face);
}

// --------------------------------------------------------- width faces

WidthTable *widthTable(FontFace *face)
{
    return face && face->kind == FontFace_kindWidthOverride && face->close == WidthFace_release
               ? static_cast<WidthTable *>(face->closeArg)
               : nullptr;
}

WidthTable *ensureTable(FontFace *face)
{
    WidthTable *t = widthTable(face);
    if (t || !face || face->kind != FontFace_kindWidthOverride)
        return t;
    t = static_cast<WidthTable *>(Mem_calloc(1, sizeof(WidthTable)));
    if (!t)
        return nullptr;
    t->entries = static_cast<WidthEntry *>(Mem_malloc(WidthTable_start * sizeof(WidthEntry)));
    if (!t->entries) {
        Mem_free(t);
        return nullptr;
    }
    t->capacity = WidthTable_start;
    face->closeArg = t;
    face->close = WidthFace_release;
    return t;
}

// Metrics: each glyph id is a character code, looked up among the
// entries; absent codes measure with the default entry.
int widthMetrics(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t runTag,
                 const uint8_t *tags, uint16_t *sideBearings, uint16_t *advances)
{
    const WidthTable *t = widthTable(face);
    for (uint32_t i = 0; i < n; i++) {
        if ((tags[i] & 7u) != (runTag & 7u))
            continue;
        if (!t) {
            sideBearings[i] = advances[i] = 0;
            continue;
        }
        int32_t at = Array_bsearchU16(t->entries, t->count, sizeof(WidthEntry), codes[i]);
        const WidthEntry &e = at >= 0 ? t->entries[at] : t->defaultEntry;
        sideBearings[i] = e.sideBearing;
        advances[i] = e.advance;
    }
    return Res_ok;
}

// Outline of a width face's glyph (a character code): the root face's
// outline of the glyph its map gives for the code.
int widthOutline(FontFace *face, uint16_t code, GlyphPath **out)
{
    *out = nullptr;
    FontFace *p = face->parent;
    if (p && p->map && p->outline) {
        uint16_t glyph = 0;
        uint8_t tag = 0;
        uint32_t remaining = 1;
        int r = p->map(p, &code, 1, 0, &glyph, &tag, &remaining);
        if (r != Res_ok)
            return r;
        if (glyph)
            return p->outline(p, glyph, out);
    }
    return GlyphPath_create(out, GlyphPath_kindCodes);
}

} // namespace

int FontEngine_addFont(FontEngine *engine, FontFace *face)
{
    if (!engine->fonts && Array_create(&engine->fonts) != Res_ok)
        return Res_noMemory;
    return Array_append(engine->fonts, face);
}

void Font_unregister(EngineContext *engine, FontFace *face)
{
    FontEngine *fe = engineOf(engine);
    if (!face || !fe)
        return;
    Lock_acquire(&fe->lock);
    if (fe->fonts)
        (void)Array_removeAndRelease(fe->fonts, face,
                                     [](void *f) { Font_faceRelease(static_cast<FontFace *>(f)); });
    Lock_release(&fe->lock);
}

int FontEngine_openEmbeddedTrueType(EngineContext *engine, uint8_t *data, size_t length,
                                    FontFace **out, uint32_t preferredRank, uint32_t flags)
{
    *out = nullptr;
    FontEngine *fe = engineOf(engine);
    if (!fe || !data || length > UINT32_MAX)
        return Res_nullInput;
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    int r = Vfs_openMemory(engine, data, length, 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted);
    if (r != Res_ok)
        return r;
    FontFace *face = nullptr;
    if (Font_faceCreate(engine, FontFace_kindEmbeddedTrueType, 0, nullptr, &face) != Res_ok) {
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(h);
        return Res_noMemory;
    }
    r = BufStream_open(engine, nullptr, h, uint32_t(length), BufStream_bigEndian, &face->reader);
    if (r != Res_ok) {
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(h);
        Font_faceRelease(face);
        return r;
    }
    face->destroy = destroyEmbeddedTrueType;
    r = TrueType_open(face, 0, preferredRank);
    if (r == Res_ok) {
        face->tables->fontData = data;
        if (face->tables->tables[FontTable_cmap].length == 0)
            face->map = Cmap_identityMap;
        else if (face->mapRank == DocFonts_symbolRank || (flags & DocFonts_flagSymbol))
            r = Cmap_buildSymbolPairs(face);
    }
    char name[DocFonts_nameLength];
    snprintf(name, sizeof name, "%s:TrueType:%p", marker, static_cast<void *>(face));
    if (r == Res_ok)
        r = Font_faceSetName(name, face);
    if (r == Res_ok) {
        Font_faceFillDefaults(face);
        Lock_acquire(&fe->lock);
        Font_faceRetain(face);
        r = FontEngine_addFont(fe, face);
        if (r != Res_ok)
            Font_faceRelease(face);
        Lock_release(&fe->lock);
    }
    if (r != Res_ok) {
        // The data stay the caller's.
        if (face->tables)
            face->tables->fontData = nullptr;
        if (!face->tables) {
            face->destroy = nullptr;
            BufStream_close(face->reader);
            face->reader = nullptr;
        }
        Font_faceRelease(face);
        return r;
    }
    *out = face;
    return Res_ok;
}

int Font_setCodeHook(EngineContext *, FontFace *face, void *table, FontCodeHookFn hook,
                     FontCodeHookReleaseFn release)
{
    if (!face) {
        if (release)
            release(table);
        return Res_nullInput;
    }
    FontCodeHook *h = face->codeHook;
    if (!h) {
        h = static_cast<FontCodeHook *>(Mem_calloc(1, sizeof(FontCodeHook)));
        if (!h) {
            if (release)
                release(table);
            return Res_noMemory;
        }
        face->codeHook = h;
    } else if (h->release) {
        h->release(h->table);
    }
    h->table = table;
    h->hook = hook;
    h->release = release;
    return Res_ok;
}

void Font_applyCodeHook(const FontFace *face, uint16_t *codes, uint32_t count)
{
    if (face && face->codeHook && face->codeHook->hook)
        face->codeHook->hook(face->codeHook->table, codes, count);
}

uint32_t Font_glyphCount(const FontFace *face)
{
    return face ? face->glyphCount : 0;
}

int32_t Font_codePairCount(const FontFace *face)
{
    if (!face || !face->mapData)
        return -1;
    const FontMapData *m = static_cast<const FontMapData *>(face->mapData);
    if (m->format != CmapFormat_pairsNumber || !m->data)
        return -1;
    return int32_t(Cmap_pairCount(m->data));
}

uint16_t Font_codePairCode(const FontFace *face, uint32_t i)
{
    if (Font_codePairCount(face) <= int32_t(i))
        return 0;
    return Cmap_pairCode(static_cast<const FontMapData *>(face->mapData)->data, i);
}

int WidthFace_create(FontFace *parent, FontFace **out)
{
    *out = nullptr;
    FontFace *root = parent;
    while (root && root->parent)
        root = root->parent;
    FontFace *face = nullptr;
    if (Font_faceCreate(root ? root->source : nullptr, FontFace_kindWidthOverride, 0, root,
                        &face) != Res_ok)
        return Res_noMemory;
    face->advance = widthMetrics;
    face->map = Cmap_identityMap;
    face->outline = widthOutline;
    // Kerning and the substitution slots keep the face's defaults.
    Font_faceFillDefaults(face);
    *out = face;
    return Res_ok;
}

int WidthFace_setDefault(FontFace *face, WidthEntry entry)
{
    WidthTable *t = ensureTable(face);
    if (!t)
        return Res_noMemory;
    t->defaultEntry = entry;
    return Res_ok;
}

int WidthFace_addWidths(FontFace *face, const WidthEntry *entries, uint32_t n)
{
    bool any = false;
    for (uint32_t i = 0; i < n && !any; i++)
        any = entries[i].advance != 0;
    if (!any)
        return Res_ok;
    WidthTable *t = ensureTable(face);
    if (!t)
        return Res_noMemory;
    for (uint32_t i = 0; i < n; i++) {
        if (entries[i].advance == 0)
            continue;
        if (t->count == t->capacity) {
            uint32_t cap = t->capacity ? t->capacity * 2 : WidthTable_start;
            WidthEntry *e = static_cast<WidthEntry *>(
                Mem_realloc(t->entries, size_t(cap) * sizeof(WidthEntry)));
            if (!e)
                return Res_noMemory;
            t->entries = e;
            t->capacity = cap;
        }
        t->entries[t->count++] = entries[i];
    }
    return Res_ok;
}

uint16_t WidthFace_fromThousandths(int32_t v)
{
    return uint16_t(int64_t(v) * 16384 / 1000);
}

int FontEngine_finishWidthFace(EngineContext *engine, FontFace *face)
{
    FontEngine *fe = engineOf(engine);
    if (!fe || !face)
        return Res_nullInput;
    Lock_acquire(&fe->lock);
    int r = Res_ok;
    const char *old = face->name ? face->name : "";
    if (!strchr(old, ':')) {
        char name[DocFonts_nameLength];
        int n = snprintf(name, sizeof name, "%s:Alter:%p%s", marker, static_cast<void *>(face),
                         old[0] ? "" : ":");
        if (n >= 0 && size_t(n) < sizeof name)
            snprintf(name + n, sizeof name - size_t(n), "%s", old);
        r = Font_faceSetName(name, face);
    }
    WidthTable *t = widthTable(face);
    if (r == Res_ok && t) {
        std::sort(t->entries, t->entries + t->count,
                  [](const WidthEntry &a, const WidthEntry &b) { return a.code < b.code; });
        if (t->count < t->capacity) {
            WidthEntry *e = static_cast<WidthEntry *>(
                Mem_realloc(t->entries, std::max<size_t>(t->count, 1) * sizeof(WidthEntry)));
            if (e) {
                t->entries = e;
                t->capacity = t->count;
            }
        }
    }
    if (r == Res_ok && !(fe->fonts && Array_contains(fe->fonts, face))) {
        Font_faceRetain(face);
        r = FontEngine_addFont(fe, face);
        if (r != Res_ok)
            Font_faceRelease(face);
    }
    Lock_release(&fe->lock);
    return r;
}

void WidthFace_release(void *table)
{
    WidthTable *t = static_cast<WidthTable *>(table);
    if (!t)
        return;
    Mem_free(t->entries);
    Mem_free(t);
}
