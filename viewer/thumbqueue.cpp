// The thumbnail queue under the display manager's thumbnail lock, and the
// viewer's callback record.
#include "viewer/thumbqueue.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/page.h"
#include "graphics/pixelbuf.h"
#include "platform/api/app.h"
#include "viewer/screen/ident.h"
#include "viewer/dispman.h"
#include "viewer/flowmode.h"
#include "viewer/itemlist.h"
#include "viewer/viewer.h"

int ThumbQueue_add(DispmanCtx *dm, uint32_t kind, Edr_Doc *document, int32_t pageKey,
                   uint32_t pageKind)
{
    Lock_acquire(&dm->thumbLock);
    ThumbEntry *last = nullptr;
    for (ThumbEntry *e = dm->thumbList; e; e = e->next) {
        last = e;
        if (Edr_Doc_isSame(e->document, document) && e->pageKey == pageKey &&
            e->pageKind == pageKind && !e->busy) {
            e->kind = kind;
            Lock_release(&dm->thumbLock);
            // The entry keeps the reference it holds: the caller's goes.
            Edr_Doc_releaseView(document);
            return kind == ThumbKind_renderLast ? int(Res_ok) : int(ThumbQueue_merged);
        }
    }
    ThumbEntry *entry = static_cast<ThumbEntry *>(Mem_calloc(1, sizeof(ThumbEntry)));
    if (!entry) {
        Lock_release(&dm->thumbLock);
        return Res_noMemory;
    }
    *entry = ThumbEntry{kind, document, pageKey, pageKind, 0, 0, nullptr, last};
    if (last)
        last->next = entry;
    else
        dm->thumbList = entry;
    Lock_release(&dm->thumbLock);
    return Res_ok;
}

ThumbEntry *ThumbQueue_next(DispmanCtx *dm, ThumbEntry **cursor)
{
    Lock_acquire(&dm->thumbLock);
    *cursor = *cursor ? (*cursor)->next : dm->thumbList;
    Lock_release(&dm->thumbLock);
    return *cursor;
}

void ThumbQueue_remove(DispmanCtx *dm, ThumbEntry **cursor)
{
    ThumbEntry *entry = *cursor;
    if (!entry)
        return;
    Lock_acquire(&dm->thumbLock);
    *cursor = entry->previous;
    if (dm->thumbList == entry)
        dm->thumbList = entry->next;
    if (entry->previous)
        entry->previous->next = entry->next;
    if (entry->next)
        entry->next->previous = entry->previous;
    bool empty = dm->thumbList == nullptr;
    Lock_release(&dm->thumbLock);
    Edr_Doc_releaseView(entry->document);
    Mem_free(entry);
    if (empty)
        (void)ThumbQueue_postEmpty(dm->context);
}

void ThumbQueue_clear(DispmanCtx *dm)
{
    bool locked = dm->thumbLockOnClear != 0;
    if (locked)
        Lock_acquire(&dm->thumbLock);
    ThumbEntry *list = dm->thumbList;
    dm->thumbList = nullptr;
    if (locked)
        Lock_release(&dm->thumbLock);
    while (list) {
        ThumbEntry *next = list->next;
        Edr_Doc_releaseView(list->document);
        Mem_free(list);
        list = next;
    }
    (void)ThumbQueue_postEmpty(dm->context);
}

int ThumbQueue_postEmpty(EngineContext *ctx)
{
    if (!ctx || !ctx->eventProc)
        return Res_nullInput;
    EventProcCodeMsg m{ThumbQueue_emptyCode, nullptr, nullptr, 0};
    return EventProc_postCode(ctx->eventProc, &m);
}

// ------------------------------------------------------ callback record

int FvViewer_createCallbacks(FvViewer *viewer)
{
    if (!viewer)
        return Res_nullInput;
    FvViewer_freeCallbacks(viewer);
    viewer->viewCallbacks = static_cast<ViewCallbacks *>(Mem_calloc(1, sizeof(ViewCallbacks)));
    if (!viewer->viewCallbacks)
        return Res_noMemory;
    (void)FlowMode_install(viewer);
    (void)FvViewer_installIdentOps(viewer);
    return Res_ok;
}

int FvViewer_installIdentOps(FvViewer *viewer)
{
    if (!viewer || !viewer->viewCallbacks)
        return 0;
    ViewCallbacks *cb = viewer->viewCallbacks;
    Mem_free(cb->identOps);
    cb->identOps = static_cast<IdentOps *>(Mem_calloc(1, sizeof(IdentOps)));
    if (!cb->identOps)
        return 0;
    *cb->identOps = IdentOps{Ident_show, Ident_stop, Ident_isRunning};
    return 1;
}

void FvViewer_freeCallbacks(FvViewer *viewer)
{
    if (!viewer || !viewer->viewCallbacks)
        return;
    ViewCallbacks *cb = viewer->viewCallbacks;
    // An identity screen still showing ends with the viewer.
    if (cb->identTask && cb->identOps && cb->identOps->stop)
        (void)cb->identOps->stop(viewer->context, viewer->screen, &cb->identTask);
    Mem_free(const_cast<ViewCallbackOps *>(cb->ops));
    Mem_free(cb->modeOps);
    Mem_free(cb->identOps);
    Mem_free(cb);
    viewer->viewCallbacks = nullptr;
}

// The document's thumbnail is its first page drawn by the page thumbnail
// renderer (fitted within the limits, its shape kept, animations showing
// their first frame); the pixels are copied into a block of their own,
// which the caller frees with Mem_free. Res_notFound for limits that make no
// picture, a document without pages or a page that draws nothing; 1 out
// of memory.
int Thumb_renderDocument(EngineContext *context, Edr_Doc *doc, int32_t width, int32_t height,
                         uint32_t ratio, uint16_t **pixels, int32_t *outWidth, int32_t *outHeight,
                         int32_t *stride)
{
    *pixels = nullptr;
    if (!doc || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return Res_notFound;
    int32_t key = 0;
    uint32_t kind = 0;
    if (Edr_Page_getKeyByIndex(&key, &kind, doc, 0) != Res_ok)
        return Res_notFound;
    PixelBuf *thumb = nullptr;
    int err = View_renderThumbnail(context, doc, key, kind, &thumb, width, height, int32_t(ratio));
    if (err == Res_noMemory)
        return Res_noMemory;
    if (err || !thumb)
        return Res_notFound;
    size_t bytes = size_t(thumb->height) * thumb->stride;
    *pixels = static_cast<uint16_t *>(Mem_malloc(bytes ? bytes : 1));
    if (!*pixels) {
        PixelBuf_destroy(thumb);
        return Res_noMemory;
    }
    memcpy(*pixels, thumb->pixels, bytes);
    *outWidth = thumb->width;
    *outHeight = thumb->height;
    *stride = int32_t(thumb->stride);
    PixelBuf_destroy(thumb);
    return 0;
}
