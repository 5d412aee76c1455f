// Group payloads of layer lists (graphics/layerpayload.h).
//
// A payload is the origin of its group: derived from the parent's origin,
// moved with the layer's items. No display code of the engine opens
// clip or transform groups in a layer list (layout keeps its lists in key
// mode), so a group clips nothing and its box is the whole plane; the
// origin is all a wrapped container needs.
#include "graphics/layerpayload.h"

#include "core/mem/mem.h"
#include "core/result.h"

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
