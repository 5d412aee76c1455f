// Stand-ins for core services whose modules are not built yet. Each does
// the least its callers need and says so.
#include "core/geom/rect.h"
#include "core/geom/stroke.h"
#include "core/result.h"

// Interim: the stroker is not built yet, so pen outlines cannot be made
// (the fill reports 259 and draws nothing).
int Path_stroke(EngineContext *, const Path *, Path *, const Matrix *, const Pen *, int32_t,
                const Rect *)
{
    return Res_notImplemented;
}

// Interim: as Path_stroke; the rectangle is left as it was.
int Path_strokeBounds(EngineContext *, const Path *, Rect *, const Matrix *, const Pen *)
{
    return Res_notImplemented;
}
