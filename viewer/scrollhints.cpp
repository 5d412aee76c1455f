// Column scroll hints and image scale requests (see scrollhints.h).
#include "viewer/scrollhints.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "platform/api/app.h"
#include "viewer/fvdisplay.h"
#include "viewer/viewer.h"

// A page record keeps no scrolled column: no importer lays a page out as a
// column that scrolls inside it (a column of the viewer, viewer/column.h,
// belongs to a view, not to a page). So a page that is there answers Res_noSuchPage
// and the viewer keeps its hints undecided.
int Page_queryScrollHints(Edr_Doc *document, int32_t key, uint32_t kind, uint32_t *, uint32_t *)
{
    Edr_PageEntry *entry = nullptr;
    int err = Edr_Page_find(&entry, document, key, kind, 0);
    if (err)
        return err;
    Edr_Page_release(entry, 0);
    return Res_noSuchPage;
}

int FvPage_refreshScrollHints(FvViewer *viewer)
{
    FvPage *page = viewer ? viewer->page : nullptr;
    if (!page)
        return Res_ok;
    page->columnMoreBefore = ScrollHint_undecided;
    page->columnMoreAfter = ScrollHint_undecided;
    page->columnHint2 = 0;
    page->columnHint3 = 0;
    if (!page->document)
        return Res_ok;
    Edr_Doc *shown = page->document;
    int32_t index = 0;
    if (!Edr_Fwd_findSubdocPage(page->pageView, &shown, &index) || shown != page->document)
        return Res_ok;
    int32_t key = 0;
    uint32_t kind = 0;
    int r = Edr_Page_getKeyByIndex(&key, &kind, shown, index);
    if (r != Res_ok)
        return r;
    (void)Page_queryScrollHints(shown, key, kind, &page->columnMoreBefore, &page->columnMoreAfter);
    return Res_ok;
}

int Image_setScaleRequest(ImageScaleRequest **field, const ImageScaleRequest *request)
{
    if (!request) {
        Mem_free(*field);
        *field = nullptr;
        return Res_ok;
    }
    if (!*field) {
        *field = static_cast<ImageScaleRequest *>(Mem_calloc(1, sizeof(ImageScaleRequest)));
        if (!*field)
            return Res_noMemory;
    }
    std::memcpy(*field, request, sizeof(ImageScaleRequest));
    return Res_ok;
}
