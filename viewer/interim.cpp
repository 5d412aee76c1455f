// Interim definitions of viewer services whose modules are not built yet:
// the view record is a zeroed head word and the shared lists an empty
// record, which is all the document model reads of them.
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "viewer/docview.h"

// Interim: no colours and no page window until the viewer reads its
// settings.
int View_createHighlightStyle(EngineContext *, void **cell)
{
    DocViewRecord *view = static_cast<DocViewRecord *>(Mem_calloc(1, sizeof(DocViewRecord)));
    if (view) {
        view->windowFirst = -1;
        view->windowLast = -1;
    }
    *cell = view;
    return view ? Res_ok : Res_noMemory;
}

void View_destroyHighlightStyle(void *record)
{
    if (!record)
        return;
    DocViewRecord *view = static_cast<DocViewRecord *>(record);
    Edr_Page_freeEntries(view->pages);
    view->pages = nullptr;
    Mem_free(view);
}

// Interim: there is no display side to hand a layout to.
int View_publishLayout(Edr_Doc *)
{
    return Res_ok;
}

// Interim: documents have no animations before the viewer.
void Anim_cancelTick(Edr_Doc *)
{
}

void Anim_tick(void *, EventProcMsg *, Edr_Doc *)
{
}

// Interim: an alternate rectangle is an empty record that answers 0.
struct AltRect {
    intptr_t word;
};

int AltRect_create(const void *, AltRect **out)
{
    *out = static_cast<AltRect *>(Mem_calloc(1, sizeof(AltRect)));
    return *out ? Res_ok : Res_noMemory;
}

void AltRect_free(AltRect *record)
{
    Mem_free(record);
}

int AltRect_query(AltRect *, intptr_t, intptr_t)
{
    return Res_ok;
}

int AltRect_merge(AltRect *, AltRect *)
{
    return Res_ok;
}

// Interim: no thumbnail limits before the viewer's settings.
void App_thumbnailLimits(EngineContext *, int32_t *minimum, int32_t *maximum)
{
    *minimum = 0;
    *maximum = 0;
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
