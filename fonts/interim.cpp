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

int FontEngine_setLocation(EngineContext *, const Url *)
{
    return 0;
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
