// Stand-ins for font-engine services that other modules call before the
// fonts subsystem exists. Each does the least its callers need and says so;
// the real definitions replace them when the subsystem is built.
#include "core/result.h"
#include "fonts/fontengine.h"

// Interim: no font engine keeps registrations yet.
void FontEngine_unregisterFont(EngineContext *, void *)
{
}

// Interim: the font engine keeps no state before it is built.
int FontEngine_init(EngineContext *)
{
    return 0;
}

void FontEngine_free(EngineContext *)
{
}

// Interim: no built-in fonts ship before the font catalogue.
void FontEngine_registerBuiltins(EngineContext *)
{
}

int FontEngine_setLocation(EngineContext *, const Url *)
{
    return 0;
}

// Interim: without the font engine no file is kept in memory.
void FontEngine_getMemoryList(EngineContext *, const char *const **names, uint32_t *count)
{
    *names = nullptr;
    *count = 0;
}

// Interim: without the font engine no family has a face, so every list
// request answers "not found".
int Font_listCreate(EngineInstance *, const char *const *, uint32_t, uint32_t, const Matrix *, FontList **out)
{
    if (out)
        *out = nullptr;
    return Res_notFound;
}

void Font_listRelease(FontList *)
{
}

// Interim font-pack and embedded-font services: no font pack or embedded
// font can be opened before the font engine exists, so nothing reaches
// these with a real face; each refuses or answers "nothing".
#include "fonts/fontface.h"

int FontPack_glyphOutline(FontFace *, uint16_t, GlyphPath **out)
{
    *out = nullptr;
    return Res_notImplemented;
}

int FontPack_glyphDataPos(FontFace *, uint16_t, uint32_t *position)
{
    *position = 0;
    return Res_notImplemented;
}

int FontPack_readHeader(FontFace *, BufStream *, FontTableDir *)
{
    return Res_notImplemented;
}

int FontPack_freeGlyphOffsets(FontFace *)
{
    return Res_ok;
}

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
