// The font engine record: creation, configuration with the fonts
// directory, destruction, the yen filter and the few operations on the
// catalogue and faces that run under the engine's lock.
#include "fonts/fontengine.h"

#include "core/config/config.h"
#include "core/container/array.h"
#include "graphics/glyphcache.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/base14.h"
#include "fonts/catalogue.h"
#include "fonts/cmap.h"
#include "fonts/spaces.h"
#include "platform/url/url.h"

namespace {

void releaseFace(void *face)
{
    Font_faceRelease(static_cast<FontFace *>(face));
}

// The cache budget of a "Font Engine" setting.
int32_t cacheSetting(EngineContext *context, const char *key, uint32_t defaultValue)
{
    uint32_t v = Config_getIntA(context, context->config, u"Font Engine", key, defaultValue);
    return v > INT32_MAX ? INT32_MAX : int32_t(v);
}

int makeCaches(EngineContext *context, FontEngine *fe)
{
    int32_t pathSize = cacheSetting(context, "cache.path.size", FontEngine_defaultPathCache);
    int32_t maskSize = cacheSetting(context, "cache.clipmask.size", FontEngine_defaultMaskCache);
    int r = Res_ok;
    if (pathSize > 0)
        r = LruCache_resize(pathSize, &fe->pathCache);
    if (r == Res_ok && maskSize > 0)
        r = LruArena_resize(maskSize, &fe->maskCache);
    return r;
}

} // namespace

int FontEngine_setCacheSizes(EngineContext *context)
{
    FontEngine *fe = context ? context->fontEngine : nullptr;
    if (!fe)
        return Res_nullInput;
    Lock_acquire(&fe->lock);
    int r = makeCaches(context, fe);
    if (r != Res_ok) {
        // Half-resized caches would disagree with the settings: none at all.
        LruArena_destroy(fe->maskCache);
        LruCache_destroy(fe->pathCache);
        fe->maskCache = nullptr;
        fe->pathCache = nullptr;
    }
    Lock_release(&fe->lock);
    return r;
}

namespace {

bool tolerated(int r)
{
    return r == Res_fontFileUnreadable || r == Res_fontUnsupported;
}

} // namespace

int FontEngine_create(EngineContext *context)
{
    if (!context)
        return Res_nullInput;
    context->fontEngine = nullptr;
    FontEngine *fe = static_cast<FontEngine *>(Mem_calloc(1, sizeof(FontEngine)));
    if (!fe)
        return Res_noMemory;
    context->fontEngine = fe;
    context->memoryList = FontEngine_getMemoryList;
    FontList_initMatching(fe);
    // FontEngine_instancesInit cannot fail.
    (void)FontEngine_instancesInit(fe);
    int r = Lock_init(context, &fe->lock);
    if (r == Res_ok)
        r = FontCatalogue_create(context, &fe->catalogue);
    if (r == Res_ok)
        r = SpacesFont_create(context);
    if (r == Res_ok)
        r = Cmap_createFormatTable(&fe->cmapFormats);
    if (r == Res_ok)
        r = FontEngine_createSubstTable(&fe->charFilters) ? Res_ok : Res_noMemory;
    if (r != Res_ok)
        FontEngine_destroy(context);
    return r;
}

int FontEngine_configure(EngineContext *context, const Url *fontsDir)
{
    if (!context || !context->fontEngine || !fontsDir)
        return Res_nullInput;
    FontEngine *fe = context->fontEngine;
    Url_free(fe->fontsDir);
    fe->fontsDir = Url_copy(fontsDir);
    int r = fe->fontsDir ? Res_ok : Res_noMemory;
    fe->match.knownReady = 0;
    if (r == Res_ok) {
        r = FontCatalogue_readMap(context, fe->catalogue, fe->fontsDir);
        if (tolerated(r))
            r = Res_ok;
    }
    if (r == Res_ok) {
        r = FontCatalogue_scanDirectory(context, fe->catalogue, fe->fontsDir);
        if (tolerated(r))
            r = Res_ok;
    }
    if (r == Res_ok && !fe->metrics)
        r = Base14_create(context, &fe->metrics, fe->fontsDir);
    if (r == Res_ok)
        r = FontEngine_setCacheSizes(context);
    if (r == Res_ok) {
        return Res_ok;
    }
    FontEngine_destroy(context);
    return r;
}

int FontEngine_init(EngineContext *context, const Url *fontsDir)
{
    int r = FontEngine_create(context);
    if (r == Res_ok)
        r = FontEngine_configure(context, fontsDir);
    return r;
}

void FontEngine_destroy(EngineContext *context)
{
    if (!context || !context->fontEngine)
        return;
    FontEngine *fe = context->fontEngine;
    Lock_fini(&fe->lock);
    // Instances that lists still hold go with the engine.
    FontEngine_instancesFreeAll(fe);
    LruArena_destroy(fe->maskCache);
    LruCache_destroy(fe->pathCache);
    Base14_free(fe->metrics);
    if (fe->fonts)
        Array_destroyAndRelease(fe->fonts, releaseFace);
    FontCatalogue_free(fe->catalogue);
    SpacesFont_release(context);
    Mem_free(fe->packOps);
    Mem_free(fe->layoutOps);
    Mem_free(fe->cmapFormats);
    FontEngine_freeSubstTable(&fe->charFilters);
    Url_free(fe->fontsDir);
    Mem_free(fe);
    context->fontEngine = nullptr;
    context->memoryList = nullptr;
}

void FontEngine_installYenFilter(EngineContext *context)
{
    if (!context || !context->fontEngine)
        return;
    (void)Locale_installYenMapping(context->fontEngine->charFilters);
}

int FontEngine_rescanFonts(EngineContext *context, const Url *fontsDir)
{
    if (!context || !context->fontEngine)
        return Res_nullInput;
    FontEngine *fe = context->fontEngine;
    Lock_acquire(&fe->lock);
    fe->match.knownReady = 0;
    int r = FontCatalogue_scanDirectory(context, fe->catalogue, fontsDir);
    Lock_release(&fe->lock);
    return r;
}

void FontEngine_closeFontFiles(EngineContext *context)
{
    if (!context || !context->fontEngine)
        return;
    FontEngine *fe = context->fontEngine;
    Lock_acquire(&fe->lock);
    for (uint32_t i = 0; fe->catalogue && i < fe->catalogue->faceCount; i++) {
        FontFace *face = fe->catalogue->faces[i];
        if (face && face->reader)
            // The font file was only read: a failed close loses nothing.
            (void)Font_faceReleaseFile(face);
    }
    Lock_release(&fe->lock);
}

void FontEngine_setFaceClientData(EngineContext *context, FontFace *face, void *data,
                                  uintptr_t word, FontFaceCloseFn release)
{
    if (!context || !context->fontEngine || !face)
        return;
    FontEngine *fe = context->fontEngine;
    Lock_acquire(&fe->lock);
    if (face->close && face->closeArg)
        face->close(face->closeArg);
    face->closeArg = data;
    face->clientWord = word;
    face->close = release;
    Lock_release(&fe->lock);
}

void FontEngine_getMemoryList(EngineContext *context, const char *const **names, uint32_t *count)
{
    *names = nullptr;
    *count = 0;
    FontCatalogue *c = context && context->fontEngine ? context->fontEngine->catalogue : nullptr;
    if (!c || !c->bufferedCount)
        return;
    *names = c->buffered;
    *count = c->bufferedCount;
}
