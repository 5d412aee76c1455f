// Interim definitions of layout services whose modules are not built yet.
// Each does the least its callers need.
#include "layout/layout.h"

// Interim: nothing is laid out or shown yet, so there is nothing to redraw.
int Layout_redrawNode(EngineContext *, Edr_Doc *, Edr_Node *)
{
    return 0;
}
