// Interim definitions of layout services whose module is not built yet.
// Each does the least its callers need and says so; the real definitions
// replace them when layout is built.
#include <algorithm>
#include <cstdlib>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "graphics/boxitem.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/listmarker.h"
#include "layout/rectcollector.h"
#include "document/edr/doc.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"

// Interim: nothing is laid out or shown yet, so there is nothing to redraw.
int Layout_redrawNode(EngineContext *, Edr_Doc *, Edr_Node *)
{
    return 0;
}

// Interim rectangle collector: the union of the boxes.
void RectCollector_reset(RectCollector *collector)
{
    collector->bounds = Rect_emptyBound;
}

void RectCollector_add(RectCollector *collector, const Rect *box)
{
    Rect_union(&collector->bounds, box);
}

// Interim item clipping: an item goes when its box shares no point with
// the rectangle; nothing else is cut.
int RectCollector_clipItem(ObjHeader *item, const Rect *rect, uint32_t)
{
    Rect box = Obj_box(item);
    return Rect_disjoint(&box, rect);
}

