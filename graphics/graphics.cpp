// The graphics services of the second start-up stage: the image store
// with its cache, its workers and its codec table.
#include "graphics/graphics.h"

#include "core/result.h"
#include "graphics/image.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

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
