// Interim definitions of layout services whose module is not built yet.
// Each does the least its callers need.
#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "layout/layout.h"

// Interim: nothing is laid out; a stand-in in the layout word answers
// instead when there is one.
int Layout_runPass(Edr_Doc *doc)
{
    const LayoutStandIn *standIn = doc ? reinterpret_cast<const LayoutStandIn *>(doc->manager.layoutWord) : nullptr;
    return standIn && standIn->pass ? standIn->pass(standIn->argument, doc) : 0;
}

// Interim: a layout record is a single heap block until layout defines it.
int Layout_freePageLayout(void *layout)
{
    Mem_free(layout);
    return 0;
}

// Interim: a laid-out object is a single heap block until layout defines it.
void Layout_freeObject(LayoutObject *object)
{
    Mem_free(object);
}

// Interim: nothing is laid out or shown yet, so there is nothing to redraw.
int Layout_redrawNode(EngineContext *, Edr_Doc *, Edr_Node *)
{
    return 0;
}
