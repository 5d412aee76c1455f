// Font instances, the character substitution table and the configured
// font directories of the font engine.
#include <cstring>

#include "core/config/config.h"
#include "graphics/glyphcache.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/fontsupport.h"
#include "core/text/charset.h"
#include "fonts/catalogue.h"
#include "fonts/fontengine.h"
#include "platform/url/url.h"

// ------------------------------------------------------------ instances

int FontEngine_instancesInit(FontEngine *fe)
{
    fe->instances = nullptr;
    fe->instanceCount = 0;
    fe->instanceCapacity = 0;
    return Res_ok;
}

int FontEngine_instanceCreate(FontEngine *fe, FontFace *face, FontInstance **out)
{
    *out = nullptr;
    FontInstance *in = static_cast<FontInstance *>(Mem_calloc(1, sizeof(FontInstance)));
    if (!in)
        return Res_noMemory;
    if (fe->instanceCount == fe->instanceCapacity) {
        uint32_t next = fe->instanceCount * 2 < 8 ? 8 : fe->instanceCount * 2;
        void *p = Mem_realloc(fe->instances, size_t(next) * sizeof(FontInstance *));
        if (!p) {
            Mem_free(in);
            return Res_noMemory;
        }
        fe->instances = static_cast<FontInstance **>(p);
        fe->instanceCapacity = next;
    }
    in->face = face;
    Font_faceRetain(face);
    fe->instances[fe->instanceCount++] = in;
    *out = in;
    return Res_ok;
}

int FontEngine_instanceGet(FontEngine *fe, FontFace *face, FontInstance **out)
{
    *out = nullptr;
    for (uint32_t i = 0; i < fe->instanceCount; i++)
        if (fe->instances[i]->face == face) {
            Font_faceRetain(face);
            fe->instances[i]->refs++;
            *out = fe->instances[i];
            return Res_ok;
        }
    int rc = FontEngine_instanceCreate(fe, face, out);
    if (rc == Res_ok)
        (*out)->refs = 1;
    return rc;
}

void FontEngine_instanceDestroy(FontEngine *fe, FontInstance *in)
{
    if (!in)
        return;
    // Every reference on the face that the instance took goes with it: the
    // one of its creation and one for each further user.
    for (uint32_t n = in->refs > 1 ? in->refs : 1; n > 0; n--)
        Font_faceRelease(in->face);
    in->face = nullptr;
    for (uint32_t i = 0; i < fe->instanceCount; i++)
        if (fe->instances[i] == in) {
            memmove(fe->instances + i, fe->instances + i + 1,
                    (fe->instanceCount - i - 1) * sizeof(FontInstance *));
            fe->instanceCount--;
            break;
        }
    if (fe->pathCache)
        LruCache_dropId(fe->pathCache, reinterpret_cast<uintptr_t>(in));
    if (fe->maskCache)
        LruArena_dropId(fe->maskCache, reinterpret_cast<uintptr_t>(in));
    Mem_free(in->decoration);
    Mem_free(in->glyphWalk);
    Mem_free(in);
}

void FontEngine_instanceRelease(FontEngine *fe, FontInstance *in)
{
    if (!in)
        return;
    if (in->refs > 1) {
        in->refs--;
        Font_faceRelease(in->face);
        return;
    }
    FontEngine_instanceDestroy(fe, in);
}

void FontEngine_instancesFreeAll(FontEngine *fe)
{
    if (!fe)
        return;
    while (fe->instanceCount)
        FontEngine_instanceDestroy(fe, fe->instances[fe->instanceCount - 1]);
    Mem_free(fe->instances);
    FontEngine_instancesInit(fe);
}

// ------------------------------------------------- substitution table

int FontEngine_createSubstTable(CharFilterList **slot)
{
    if (!slot)
        return 0;
    if (*slot)
        return 1;
    *slot = static_cast<CharFilterList *>(Mem_calloc(1, sizeof(CharFilterList)));
    return *slot ? 1 : 0;
}

void FontEngine_freeSubstTable(CharFilterList **slot)
{
    if (!slot)
        return;
    Mem_free(*slot);
    *slot = nullptr;
}

const CharFilter *SubstTable_find(const CharFilterList *table, const char16_t *chars, int32_t count)
{
    if (!table)
        return nullptr;
    int32_t n = table->count < CharFilter_max ? table->count : CharFilter_max;
    for (int32_t i = 0; i < n; i++) {
        const CharFilter *e = &table->entries[i];
        if (e->test && e->test(e, chars, count))
            return e;
    }
    return nullptr;
}

namespace {

SubstTransformer *substOf(void *p)
{
    return static_cast<SubstTransformer *>(p);
}

int substBegin(TextTransformer *tx, const char16_t *chars, uint32_t count, void **run)
{
    *run = nullptr;
    SubstTransformer *s = reinterpret_cast<SubstTransformer *>(tx);
    if (count > INT32_MAX)
        return Res_ok;
    const CharFilter *e = SubstTable_find(s->table, chars, int32_t(count));
    if (!e || !e->map)
        return Res_ok;
    s->entry = e;
    s->chars = chars;
    s->count = count;
    *run = s;
    return Res_ok;
}

int substConvert(void *run, char16_t *chars, uint16_t *glyphs, uint8_t *fonts, uint32_t capacity,
                 uint32_t *count)
{
    SubstTransformer *s = substOf(run);
    *count = s->count;
    if (s->count > capacity)
        return Res_ok; // asked again with room
    int32_t n = s->entry->map(s->chars, chars, int32_t(s->count));
    // A map may only rewrite, never lengthen, the run.
    *count = n < 0 ? 0 : uint32_t(n) > s->count ? s->count : uint32_t(n);
    memset(glyphs, 0, size_t(*count) * sizeof(uint16_t));
    memset(fonts, 0, *count);
    return Res_ok;
}

void substEnd(void *run)
{
    SubstTransformer *s = substOf(run);
    s->entry = nullptr;
    s->chars = nullptr;
    s->count = 0;
}

} // namespace

void SubstTable_initTransformer(SubstTransformer *t, const CharFilterList *table)
{
    t->base = TextTransformer{substBegin, substConvert, substEnd};
    t->table = table;
    t->entry = nullptr;
    t->chars = nullptr;
    t->count = 0;
}

// ----------------------------------------------------- font directories

int FontEngine_addDirectory(EngineContext *context, const Url *directory)
{
    return FontEngine_rescanFonts(context, directory);
}

void FontEngine_addConfiguredDirectories(EngineContext *context)
{
    if (!context || !context->fontEngine)
        return;
    char16_t *value =
        Config_getUstr(context, context->config, nullptr, u"Vexlan_fontsDirectory", nullptr);
    if (!value)
        return;
    const char16_t *piece = value;
    for (;;) {
        const char16_t *end = piece;
        while (*end && *end != u',')
            end++;
        char *utf8 = nullptr;
        if (Charset_fromUstrN(context, piece, size_t(end - piece), &utf8, 1) == Res_ok && utf8) {
            Url *url = nullptr;
            if (Url_newFromUserString(utf8, &url, 1) == Res_ok && url) {
                (void)FontEngine_addDirectory(context, url);
                Url_free(url);
            }
            Mem_free(utf8);
        }
        if (!*end)
            break;
        piece = end + 1;
    }
    Mem_free(value);
}
