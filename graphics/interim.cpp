// Stand-ins for graphics services that the core calls before the graphics
// subsystem exists. Each does the least its callers need and says so; the
// real definitions replace them when the subsystem is built.
#include <cstring>

#include "core/result.h"
#include "graphics/glyphpath.h"
#include "graphics/graphics.h"
#include "graphics/image.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"

#include "core/mem/mem.h"


// Interim: the graphics module keeps no state before it is built.
int Graphics_initModule(EngineContext *)
{
    return Res_ok;
}

void Graphics_finiModule(EngineContext *)
{
}


#include "graphics/layerpayload.h"

// Interim group payloads: an origin only, the group covering everything,
// until the display groups are built.
struct LayerPayload {
    Point origin;
};

int LayerPayload_derive(const LayerPayload *parent, const void *, LayerPayload **out)
{
    *out = static_cast<LayerPayload *>(Mem_calloc(1, sizeof(LayerPayload)));
    if (!*out)
        return Res_noMemory;
    if (parent)
        (*out)->origin = parent->origin;
    return Res_ok;
}

void LayerPayload_release(LayerPayload *payload)
{
    Mem_free(payload);
}

Point *LayerPayload_origin(LayerPayload *payload)
{
    return &payload->origin;
}

void LayerPayload_bounds(const LayerPayload *, Rect *out)
{
    *out = *Rect_getInfinite();
}

// Interim: pages have no display lists to draw before page rendering; the
// bitmap keeps what it holds.
int DisplayList_drawPage(EngineContext *, Edr_PageRec *, Bitmap *, const Matrix *)
{
    return Res_ok;
}

// Interim: page records carry no scrolled column before page rendering
// keeps one, so no page answers.
int Page_queryScrollHints(Edr_Doc *, int32_t, uint32_t, uint32_t *, uint32_t *)
{
    return 4097;
}
