// The language modules: the built-in fonts, binary CMaps and character-set
// tables, registered in their fixed order by the hosts' configuration.
#include "fonts/fontengine.h"

#include "core/context/context.h"
#include "core/result.h"
#include "fonts/fontsupport.h"
#include "core/text/charset_cjk.h"
#include "fonts/builtin/builtin.h"
#include "fonts/catalogue.h"
#include "fonts/cmap.h"
#include "platform/vfs/romfs.h"

namespace {

void registerFiles(EngineContext *context, const RomFsEntry *files, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++)
        RomFs_addFile(context, files[i].path, files[i].data, files[i].length);
}

// A charset module: a table that cannot be installed leaves that
// module's charsets without conversion; the next module still runs.
void installCharset(EngineContext *context, int (*install)(CharsetHooks *))
{
    if (context->charsetHooks)
        (void)install(context->charsetHooks);
}

// The font modules of the CJK languages: the font packs' map format and
// operations (no pack ships, so they only make packs readable).
void installPackSupport(EngineContext *context)
{
    FontEngine *fe = context->fontEngine;
    (void)Cmap_installBitmapFormat(fe);
    if (fe)
        (void)FontPack_installOps(&fe->packOps);
}

// Reads the catalogue again once the built-in files are there, so that
// map lines naming them find them. A failure keeps the catalogue read
// before.
void reloadCatalogue(EngineContext *context)
{
    FontEngine *fe = context->fontEngine;
    if (!fe || !fe->fontsDir)
        return;
    Lock_acquire(&fe->lock);
    FontCatalogue *fresh = nullptr;
    int r = FontCatalogue_create(context, &fresh);
    if (r == Res_ok)
        r = FontCatalogue_readMap(context, fresh, fe->fontsDir);
    if (r == Res_ok)
        r = FontCatalogue_scanDirectory(context, fresh, fe->fontsDir);
    if (r == Res_ok) {
        FontCatalogue_free(fe->catalogue);
        fe->catalogue = fresh;
        fe->match.knownReady = 0;
    } else {
        FontCatalogue_free(fresh);
    }
    Lock_release(&fe->lock);
}

} // namespace

void FontEngine_registerBuiltins(EngineContext *context)
{
    if (!context)
        return;
    // 1-2: the Latin font groups (only the symbol fonts have a free source).
    registerFiles(context, Builtin_symbolFonts, 2);
    // 3-5: Japanese.
    installCharset(context, Charset_installJapanese);
    registerFiles(context, Builtin_japanCmaps, 22);
    installPackSupport(context);
    // 6-8: Korean.
    installCharset(context, Charset_installKorean);
    registerFiles(context, Builtin_koreanCmaps, 13);
    installPackSupport(context);
    // 9-11: Simplified Chinese (its font has no free source).
    installCharset(context, Charset_installChinese);
    registerFiles(context, Builtin_simplifiedChineseCmaps, 18);
    // 12-14: Traditional Chinese.
    installCharset(context, Charset_installBig5);
    registerFiles(context, Builtin_traditionalChineseCmaps, 28);
    installPackSupport(context);
    reloadCatalogue(context);
}
