// Stand-ins for font-engine services that other modules call before the
// fonts subsystem exists. Each does the least its callers need and says so;
// the real definitions replace them when the subsystem is built.
#include "core/result.h"
#include "fonts/fontengine.h"
#include "fonts/base14.h"
#include "fonts/catalogue.h"
#include "fonts/spaces.h"

#include "core/container/cache.h"
#include "core/mem/mem.h"
#include "fonts/fontlist.h"
#include "graphics/glyphpath.h"
#include "graphics/textrun.h"

// Interim: no built-in fonts ship before the font catalogue.
void FontEngine_registerBuiltins(EngineContext *)
{
}

// Interim: the catalogue stays empty until font files and the font map
// are read.
int FontCatalogue_create(EngineContext *, FontCatalogue **out)
{
    *out = static_cast<FontCatalogue *>(Mem_calloc(1, sizeof(FontCatalogue)));
    return *out ? Res_ok : Res_noMemory;
}

void FontCatalogue_free(FontCatalogue *catalogue)
{
    Mem_free(catalogue);
}

int FontCatalogue_readMap(EngineContext *, FontCatalogue *, const Url *)
{
    return Res_ok;
}

int FontCatalogue_scanDirectory(EngineContext *, FontCatalogue *, const Url *)
{
    return Res_ok;
}

// Interim: no "Spaces" face in the font engine before the catalogue is built.
int SpacesFont_create(EngineContext *)
{
    return Res_ok;
}

void SpacesFont_release(EngineContext *)
{
}

// Interim: without the font engine no file is kept in memory.
void FontEngine_getMemoryList(EngineContext *, const char *const **names, uint32_t *count)
{
    *names = nullptr;
    *count = 0;
}

// Interim: without the font engine every family resolves to the box font:
// one font whose printable characters are all the missing-glyph box
// (glyph 1), spaces a glyph without outline (glyph 2), one advance for
// all, with a path cache and a mask cache so that both drawing routes run.
namespace {

int boxMap(FontList *, uint32_t font, const char16_t *chars, uint32_t n, uint16_t *glyphs, uint8_t *fonts,
           uint32_t *unmapped)
{
    for (uint32_t i = 0; i < n && *unmapped; i++) {
        if (glyphs[i] != 0 || chars[i] < 32)
            continue;
        glyphs[i] = chars[i] == 32 || chars[i] == 160 ? 2 : 1;
        fonts[i] = uint8_t(font);
        --*unmapped;
    }
    return 0;
}

int boxMetrics(FontList *, uint32_t font, const uint16_t *, uint32_t n, const uint8_t *fonts, uint16_t *first,
               uint16_t *advances)
{
    for (uint32_t i = 0; i < n; i++)
        if ((fonts[i] & 7) == font) {
            first[i] = 0;
            advances[i] = BoxFont_advance;
        }
    return 0;
}

int boxOutline(FontList *, uint32_t, uint16_t glyph, GlyphPath **out)
{
    if (glyph != 1)
        return GlyphPath_create(out, GlyphPath_kindCodes);
    *out = GlyphPath_missingGlyph(16384);
    return *out ? 0 : Res_noMemory;
}

constexpr TextFontOps boxOps = {boxMap, nullptr, nullptr, boxMetrics, nullptr, boxOutline};

struct BoxList {
    FontList list;
    FontListOwner owner;
    FontCaches caches;
};

} // namespace

int Font_listCreate(EngineInstance *, const char *const *, uint32_t, uint32_t, const Matrix *matrix, FontList **out)
{
    *out = nullptr;
    BoxList *b = static_cast<BoxList *>(Mem_calloc(1, sizeof(BoxList)));
    if (b)
        b->list.refs = 1;
    if (!b || LruCache_resize(64, &b->caches.paths) != 0 || LruArena_resize(64, &b->caches.masks) != 0) {
        Font_listRelease(b ? &b->list : nullptr);
        return Res_noMemory;
    }
    FontList *l = &b->list;
    l->hScale = l->vScale = 0x10000;
    l->baseMatrix = matrix ? *matrix : *Matrix_identity();
    l->averageAdvance = BoxFont_advance;
    l->fontCount = 1;
    l->fonts[0] = TextFont{&boxOps, nullptr, reinterpret_cast<uintptr_t>(b), 0, BoxFont_ascent, BoxFont_descent,
                           BoxFont_upperDecoration, BoxFont_underlinePosition, BoxFont_thickness,
                           (16384 / BoxFont_unitsPerEm) << 16, 1};
    l->owner = &b->owner;
    l->caches = &b->caches;
    l->refs = 1;
    *out = l;
    return Res_ok;
}

void Font_listRelease(FontList *list)
{
    if (!list || --list->refs > 0)
        return;
    BoxList *b = reinterpret_cast<BoxList *>(list);
    TextRun_freeCharTable(&b->owner);
    LruCache_destroy(b->caches.paths);
    LruArena_destroy(b->caches.masks);
    Mem_free(b);
}

// Interim embedded-font services: no embedded font can be made before
// document fonts exist, so nothing reaches these with a real face; each
// answers "nothing".
#include "fonts/fontface.h"

int32_t EmbeddedTrueType_queryWord(FontFace *)
{
    return -1;
}

int EmbeddedTrueType_forward(FontFace *, uintptr_t, uintptr_t, uintptr_t)
{
    return 0;
}

int EmbeddedFont_forward(FontFace *, uintptr_t, uintptr_t, uintptr_t)
{
    return 0;
}
