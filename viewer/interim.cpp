// Interim definitions of viewer services whose modules are not built yet:
// the view record is a zeroed head word and the shared lists an empty
// record, which is all the document model reads of them.
#include "core/mem/mem.h"
#include "core/result.h"
#include "viewer/docview.h"

int View_createHighlightStyle(EngineContext *, void **cell)
{
    *cell = Mem_calloc(1, sizeof(void *));
    return *cell ? Res_ok : Res_noMemory;
}

void View_destroyHighlightStyle(void *record)
{
    Mem_free(record);
}

int View_createSharedLists(void **cell)
{
    *cell = Mem_calloc(2, sizeof(void *));
    return *cell ? Res_ok : Res_noMemory;
}

void View_destroySharedLists(void *record)
{
    Mem_free(record);
}

// Interim: no view has an editing object before the viewer.
int View_hasEditFocus(Edr_Doc *)
{
    return 0;
}
