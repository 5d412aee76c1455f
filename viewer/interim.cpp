// Interim definitions of viewer services whose modules are not built yet:
// the view record is a zeroed head word and the shared lists an empty
// record, which is all the document model reads of them; the display-side
// services keep no state and draw nothing.
#include <cstdint>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/context/context.h"
#include "core/task/eventproc.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/page.h"
#include "core/container/obj.h"
#include "graphics/drawitem.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "graphics/pixelbuf.h"
#include "platform/api/app.h"
#include "viewer/dispman.h"
#include "viewer/docview.h"
#include "viewer/fvdisplay.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

// Interim: there is no display side to hand a layout to.
int View_publishLayout(Edr_Doc *)
{
    return Res_ok;
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

// Interim: the drawing object has no position before page rendering; both
// words read 0.
void AltRect_readPair(AltRect *, int32_t *a, int32_t *b)
{
    *a = 0;
    *b = 0;
}

int View_createSharedLists(void **cell)
{
    *cell = Mem_calloc(2, sizeof(void *));
    return *cell ? Res_ok : Res_noMemory;
}

void View_destroySharedLists(void *record)
{
    // The first two words are the document's layout cache, emptied by the
    // document's close path.
    Mem_free(record);
}

// Interim: no view has an editing object before the viewer.
int View_hasEditFocus(Edr_Doc *)
{
    return 0;
}

// Interim: there is no display yet, so the current view shows every
// published page: the walk visits the objects of each page record, in page
// order, under the page-list read lock.
int View_walkObjects(Edr_Doc *doc, View_ObjectVisitFn visitor, void *context, const int32_t *area, void *)
{
    if (!doc || !visitor)
        return 0;
    int result = 0;
    Edr_Page_readLockList(doc);
    for (Edr_PageEntry *e = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc)); e && !result; e = e->nextEntry) {
        for (ObjHeader *o = e->rec ? e->rec->objects : nullptr; o && !result; o = Obj_next(o)) {
            Rect shown = Obj_shownBox(o);
            if (area && (shown.x0 >= area[2] || shown.x1 <= area[0] || shown.y0 >= area[3] ||
                         shown.y1 <= area[1]))
                continue;
            result = visitor(o, context);
        }
    }
    Edr_Page_readUnlockList(doc);
    return result;
}

// ------------------------------------------------ the view keys act on
//
// Interim: pan animations and post-key updates have nothing to draw
// before the view's animations are built.

void Fv_cancelPanAnimation(FvView *view)
{
    view->panAnimating = 0;
}

void Fv_postKeyUpdate(FvView *)
{
}

void View_showIdentity(FvViewer *, int32_t)
{
}

// Interim: no viewer part listens for timed events yet.
void Fv_timedEventHook(FvViewer *, HostContext *, intptr_t, intptr_t)
{
}

// Interim: the viewer's settings keep no state before the viewer is built.
int View_initSettings(EngineContext *)
{
    return Res_ok;
}

void View_freeSettings(EngineContext *)
{
}

int View_initDisplaySettings(EngineContext *)
{
    return Res_ok;
}

void View_freeDisplaySettings(EngineContext *)
{
}

// Interim: until the display manager shows embedded pages of section
// lists, none is kept open.
int32_t Layout_pageQuery(const ClipEntry *)
{
    return 0;
}
