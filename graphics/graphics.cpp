// The graphics module steps: the first start-up stage, and the services of
// the second (the image store with its cache, its workers and its codec
// table).
#include "graphics/graphics.h"

#include "core/result.h"
#include "graphics/image.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

// The first stage has nothing to set up: everything graphics keeps for an
// engine (the image store, the codec table, the glyph caches) is made by
// the second stage or on first use, and lives in the records it hands out.
int Graphics_initModule(EngineContext *)
{
    return Res_ok;
}

void Graphics_finiModule(EngineContext *) {}

int Graphics_initServices(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    return ImageStore_acquire(context, 0, Pixel_format565);
}

void Graphics_freeServices(EngineContext *context)
{
    if (context && context->imageStore)
        ImageStore_release(context);
}
