// The display manager's request queue, its batch merge, the producers and
// the views' high-quality lists (see dispqueue.h).
#include "viewer/dispqueue.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "viewer/dispman.h"

namespace {

// The object-changed hook's result when no node of the object was visited.
constexpr int noNodeVisited = 1;

bool rectEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

bool sameRect(const Rect &a, const Rect &b)
{
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
}

bool sameArea(const DispmanArea &a, const DispmanArea &b)
{
    return a.document == b.document && a.pageKey == b.pageKey && a.pageKind == b.pageKind &&
           sameRect(a.rect, b.rect) && a.notify == b.notify;
}

bool samePage(const DispmanArea &a, const DispmanArea &b)
{
    return a.document == b.document && a.pageKey == b.pageKey && a.pageKind == b.pageKind;
}

// r lies inside s.
bool inside(const Rect &r, const Rect &s)
{
    return r.x0 >= s.x0 && r.y0 >= s.y0 && r.x1 <= s.x1 && r.y1 <= s.y1;
}

// The rank of a redraw sub-code: 4 outranks 2 and 3, which rank equal.
uint32_t rank(uint32_t subCode)
{
    return subCode & 6;
}

int32_t wrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Makes room for one more entry: the capacity grows by step unless the
// 16-bit capacity would pass 65535. 0 or 1.
int growArray(DispmanQueueArray *a, uint16_t step)
{
    if (a->count < a->capacity)
        return Res_ok;
    uint32_t grown = uint32_t(a->capacity) + step;
    if (step == 0 || grown > 0xFFFF)
        return Res_noMemory;
    void *p = Mem_realloc(a->entries, grown * sizeof(DispmanRequest));
    if (!p)
        return Res_noMemory;
    a->entries = static_cast<DispmanRequest *>(p);
    a->capacity = static_cast<uint16_t>(grown);
    return Res_ok;
}

// The shrink rule shared by the queue and the high-quality lists: below
// capacity - step for 17 calls running, the array loses step entries.
template <typename T>
void shrinkRule(T **entries, uint16_t *capacity, uint16_t count, uint16_t *counter, uint32_t base,
                uint16_t step)
{
    if (*capacity <= base)
        return;
    uint32_t threshold = uint32_t(*capacity) - step;
    if (count >= threshold) {
        *counter = 0;
        return;
    }
    if (++*counter < Dispman_shrinkAfter)
        return;
    *counter = 0;
    void *p = Mem_realloc(*entries, threshold * sizeof(T));
    if (!p)
        return;
    *entries = static_cast<T *>(p);
    *capacity = static_cast<uint16_t>(threshold);
}

void cancel(DispmanRequest *r)
{
    r->kind = DispmanKind_none;
}

// Merge state: the reference of each kind (-1: none yet).
struct MergeRefs {
    int32_t redraw = -1, area = -1, pan = -1, zoomFit = -1, zoomFinal = -1, zoomOther = -1,
            position = -1, switchDoc = -1, observed = -1;
};

// Kinds 0 and 1: the later entry e against the reference at *ref.
void mergeRanked(DispmanRequest *entries, int32_t i, int32_t *ref)
{
    DispmanRequest *r = &entries[*ref], *e = &entries[i];
    if (rank(e->subCode) > rank(r->subCode)) {
        cancel(r);
        *ref = i;
    } else if (e->subCode == r->subCode || rank(e->subCode) < rank(r->subCode)) {
        cancel(e);
    }
}

// Kind 4: the surviving entry carries the latest position and the higher
// rank.
void mergePosition(DispmanRequest *entries, int32_t i, int32_t *ref)
{
    DispmanRequest *r = &entries[*ref], *e = &entries[i];
    if (rank(e->subCode) > rank(r->subCode)) {
        DispmanQueue_discard(r);
        cancel(r);
        *ref = i;
    } else if (e->subCode == r->subCode || rank(e->subCode) < rank(r->subCode)) {
        r->page.position = e->page.position;
        DispmanQueue_discard(e);
        cancel(e);
    }
}

// Kind 5: as kind 4 with the new document, whose reference moves with it.
void mergeSwitch(DispmanRequest *entries, int32_t i, int32_t *ref)
{
    DispmanRequest *r = &entries[*ref], *e = &entries[i];
    if (rank(e->subCode) > rank(r->subCode)) {
        DispmanQueue_discard(r);
        cancel(r);
        *ref = i;
    } else if (e->subCode == r->subCode || rank(e->subCode) < rank(r->subCode)) {
        Edr_Doc_releaseView(r->page.switchDoc.document);
        r->page.switchDoc = e->page.switchDoc;
        e->page.switchDoc.document = nullptr;
        DispmanQueue_discard(e);
        cancel(e);
    }
}

void mergeZoom(DispmanRequest *entries, int32_t i, MergeRefs *refs)
{
    DispmanRequest *e = &entries[i];
    int32_t *ref = e->subCode == DispmanSub_zoomFit     ? &refs->zoomFit
                   : e->subCode == DispmanSub_zoomFinal ? &refs->zoomFinal
                                                        : &refs->zoomOther;
    if (*ref < 0) {
        *ref = i;
        return;
    }
    DispmanRequest *r = &entries[*ref];
    if (r->page.node != e->page.node)
        return;
    if (r->subCode == e->subCode) {
        r->page.zoom.zoom = e->page.zoom.zoom;
        DispmanQueue_discard(e);
        cancel(e);
    } else {
        *ref = i;
    }
}

void mergeOne(DispmanRequest *entries, int32_t i, MergeRefs *refs)
{
    DispmanRequest *e = &entries[i];
    int32_t *ref = nullptr;
    switch (e->kind) {
    case DispmanKind_redraw:
        ref = &refs->redraw;
        if (*ref >= 0 && entries[*ref].redraw.view == e->redraw.view &&
            sameRect(entries[*ref].redraw.rect, e->redraw.rect))
            mergeRanked(entries, i, ref);
        break;
    case DispmanKind_area:
        ref = &refs->area;
        if (*ref >= 0 && sameArea(entries[*ref].area, e->area))
            mergeRanked(entries, i, ref);
        break;
    case DispmanKind_pan:
        ref = &refs->pan;
        if (*ref >= 0 && entries[*ref].page.node == e->page.node) {
            DispmanRequest *r = &entries[*ref];
            if (r->subCode == e->subCode) {
                r->page.pan.dx = wrapAdd(r->page.pan.dx, e->page.pan.dx);
                r->page.pan.dy = wrapAdd(r->page.pan.dy, e->page.pan.dy);
                DispmanQueue_discard(e);
                cancel(e);
            } else {
                *ref = i;
            }
        }
        break;
    case DispmanKind_zoom: mergeZoom(entries, i, refs); return;
    case DispmanKind_position:
        ref = &refs->position;
        if (*ref >= 0 && entries[*ref].page.node == e->page.node)
            mergePosition(entries, i, ref);
        break;
    case DispmanKind_switchDoc:
        ref = &refs->switchDoc;
        if (*ref >= 0 && entries[*ref].page.node == e->page.node)
            mergeSwitch(entries, i, ref);
        break;
    case DispmanKind_observed:
        ref = &refs->observed;
        if (*ref >= 0 && sameArea(entries[*ref].area, e->area))
            cancel(e);
        break;
    default: return;
    }
    if (*ref < 0)
        *ref = i;
}

// Merges the working batch, then squeezes the cancelled entries out.
void mergeBatch(DispmanQueueArray *w)
{
    MergeRefs refs;
    int32_t n = w->count;
    for (int32_t i = 0; i < n; i++)
        if (w->entries[i].kind != DispmanKind_none)
            mergeOne(w->entries, i, &refs);
    int32_t kept = 0;
    for (int32_t i = 0; i < n; i++) {
        if (w->entries[i].kind == DispmanKind_none)
            continue;
        if (i == refs.pan)
            w->lastPan = kept;
        if (i == refs.zoomOther)
            w->lastZoom = kept;
        if (kept != i)
            w->entries[kept] = w->entries[i];
        kept++;
    }
    w->count = static_cast<uint16_t>(kept);
}

DispmanCtx *dispmanOf(EngineContext *context)
{
    return context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
}

// Appends the request and wakes the quick updater whatever the result.
int pushAndWake(DispmanCtx *dm, const DispmanRequest *request)
{
    int err = DispmanQueue_push(&dm->queue, request);
    Sem_signal(&dm->quickWake);
    return err;
}

void setProgress(DispmanRequest *r, const intptr_t *progress)
{
    for (int i = 0; i < 4; i++)
        r->progress[i] = progress ? progress[i] : 0;
}

// Kinds 2 to 5: the common words, a view reference taken on document.
void pageRequest(DispmanRequest *r, uint32_t kind, uint32_t subCode, DispmanView *view,
                 Edr_Doc *document, int32_t pageKey, uint32_t pageKind, Edr_Node *node)
{
    std::memset(r, 0, sizeof(*r));
    r->kind = kind;
    r->subCode = subCode;
    r->report = 1;
    r->interrupt = 1;
    r->page.view = view;
    Edr_Doc_getView(&r->page.document, document);
    r->page.pageKey = pageKey;
    r->page.pageKind = pageKind;
    r->page.node = node;
}

// Pushes a page request; a failed push gives the references back.
int pushPage(DispmanCtx *dm, DispmanRequest *r)
{
    int err = pushAndWake(dm, r);
    if (err)
        DispmanQueue_discard(r);
    return err;
}

} // namespace

// ------------------------------------------------------------- the queue

int DispmanQueue_init(EngineContext *context, DispmanQueue *queue, uint16_t baseCapacity,
                      uint32_t *interruptAllowed)
{
    std::memset(queue, 0, sizeof(*queue));
    queue->baseCapacity = baseCapacity;
    queue->incoming.lastPan = queue->incoming.lastZoom = -1;
    queue->working.lastPan = queue->working.lastZoom = -1;
    queue->interruptAllowed = interruptAllowed;
    return Lock_init(context, &queue->lock);
}

int DispmanQueue_push(DispmanQueue *queue, const DispmanRequest *request)
{
    Lock_acquire(&queue->lock);
    DispmanQueueArray *a = &queue->incoming;
    int err = growArray(a, static_cast<uint16_t>(queue->baseCapacity / 2));
    if (!err) {
        int32_t at = a->count++;
        a->entries[at] = *request;
        if (request->kind == DispmanKind_pan)
            a->lastPan = at;
        else if (request->kind == DispmanKind_zoom)
            a->lastZoom = at;
    }
    Lock_release(&queue->lock);
    return err;
}

int DispmanQueue_pushFront(DispmanQueue *queue, const DispmanRequest *request)
{
    DispmanQueueArray *w = &queue->working;
    int err = growArray(w, static_cast<uint16_t>(queue->baseCapacity / 2));
    if (err)
        return err;
    uint16_t at = queue->readIndex;
    if (at > w->count)
        at = w->count;
    std::memmove(&w->entries[at + 1], &w->entries[at], (w->count - at) * sizeof(DispmanRequest));
    w->entries[at] = *request;
    w->count++;
    if (w->lastPan >= at)
        w->lastPan++;
    if (w->lastZoom >= at)
        w->lastZoom++;
    return Res_ok;
}

int DispmanQueue_takeBatch(DispmanQueue *queue)
{
    Lock_acquire(&queue->lock);
    DispmanQueueArray *in = &queue->incoming, *w = &queue->working;
    if (in->count == 0) {
        Lock_release(&queue->lock);
        return 0;
    }
    shrinkRule(&in->entries, &in->capacity, in->count, &in->shrinkCounter, queue->baseCapacity,
               static_cast<uint16_t>(queue->baseCapacity / 2));
    DispmanQueueArray old = *w;
    *w = *in;
    *in = old;
    in->count = 0;
    in->lastPan = in->lastZoom = -1;
    w->lastPan = w->lastZoom = -1;
    queue->readIndex = 0;
    Lock_release(&queue->lock);

    if (queue->interruptAllowed && *queue->interruptAllowed) {
        bool any = false;
        for (uint16_t i = 0; i < w->count && !any; i++)
            any = w->entries[i].interrupt != 0;
        if (!any)
            *queue->interruptAllowed = 0;
    }
    mergeBatch(w);
    return 1;
}

void DispmanQueue_pop(DispmanQueue *queue, DispmanRequest *out)
{
    DispmanQueueArray *w = &queue->working;
    if (queue->readIndex < w->count) {
        *out = w->entries[queue->readIndex++];
        return;
    }
    std::memset(out, 0, sizeof(*out));
    out->kind = DispmanKind_none;
}

void DispmanQueue_discard(DispmanRequest *request)
{
    if (request->kind < DispmanKind_pan || request->kind > DispmanKind_switchDoc)
        return;
    Edr_Doc_releaseView(request->page.document);
    request->page.document = nullptr;
    if (request->kind == DispmanKind_switchDoc) {
        Edr_Doc_releaseView(request->page.switchDoc.document);
        request->page.switchDoc.document = nullptr;
    }
}

void DispmanQueue_free(DispmanQueue *queue)
{
    if (!queue)
        return;
    DispmanQueueArray *arrays[2] = {&queue->incoming, &queue->working};
    for (DispmanQueueArray *a : arrays) {
        uint16_t first = a == &queue->working ? queue->readIndex : 0;
        for (uint16_t i = first; i < a->count; i++)
            DispmanQueue_discard(&a->entries[i]);
        Mem_free(a->entries);
        a->entries = nullptr;
        a->capacity = a->count = 0;
    }
    queue->readIndex = 0;
    Lock_fini(&queue->lock);
}

// -------------------------------------------------- high-quality lists

int Dispman_hqListInit(DispmanHqList *list)
{
    std::memset(list, 0, sizeof(*list));
    list->baseCapacity = DispmanHqList_baseCapacity;
    return Res_ok;
}

void Dispman_hqListFree(DispmanHqList *list)
{
    Mem_free(list->areas);
    list->areas = nullptr;
    list->capacity = list->count = 0;
}

int Dispman_hqListAdd(DispmanCtx *dm, DispmanHqList *list, const DispmanArea *area,
                      const DispmanRequest *request)
{
    if (list->count >= list->capacity) {
        uint32_t grown = uint32_t(list->capacity) + list->baseCapacity / 2;
        if (list->baseCapacity / 2 == 0 || grown > 0xFFFF)
            return Res_noMemory;
        void *p = Mem_realloc(list->areas, grown * sizeof(DispmanArea));
        if (!p)
            return Res_noMemory;
        list->areas = static_cast<DispmanArea *>(p);
        list->capacity = static_cast<uint16_t>(grown);
    }
    DispmanArea *a = &list->areas[list->count++];
    *a = *area;
    a->notify = request && request->progress[0] == DispmanProgress_notify ? 1 : 0;
    if (dm)
        dm->hqPending = 1;
    return Res_ok;
}

int Dispman_hqListPrepare(DispmanHqList *list)
{
    shrinkRule(&list->areas, &list->capacity, list->count, &list->shrinkCounter, list->baseCapacity,
               static_cast<uint16_t>(list->baseCapacity / 2));
    // A removed area is marked with notify -1 until the squeeze.
    int32_t n = list->count;
    DispmanArea *a = list->areas;
    for (int32_t i = 0; i < n; i++) {
        for (int32_t j = i + 1; j < n && a[i].notify >= 0; j++) {
            if (a[j].notify < 0 || !samePage(a[i], a[j]))
                continue;
            if (inside(a[j].rect, a[i].rect)) {
                a[i].notify |= a[j].notify;
                a[j].notify = -1;
            } else if (inside(a[i].rect, a[j].rect)) {
                // A requested progress report survives with the area that
                // swallows its own.
                a[j].notify |= a[i].notify;
                a[i].notify = -1;
            }
        }
    }
    int32_t kept = 0;
    for (int32_t i = 0; i < n; i++)
        if (a[i].notify >= 0)
            a[kept++] = a[i];
    list->count = static_cast<uint16_t>(kept);
    return kept > 0;
}

DispmanArea *Dispman_hqListTop(DispmanHqList *list)
{
    return list->count ? &list->areas[list->count - 1] : nullptr;
}

void Dispman_hqListDropTop(DispmanHqList *list)
{
    if (list->count)
        list->count--;
}

int Dispman_hqListFindNotifying(const DispmanHqList *list, const Edr_Doc *document, int32_t pageKey,
                                uint32_t pageKind, DispmanArea *out)
{
    for (int32_t i = 0; i + 1 < list->count; i++) {
        const DispmanArea &a = list->areas[i];
        if (a.notify == 1 && a.document == document && a.pageKey == pageKey &&
            a.pageKind == pageKind) {
            *out = a;
            return 1;
        }
    }
    std::memset(out, 0, sizeof(*out));
    return 0;
}

// ------------------------------------------------------------ producers

int Dispman_queueRedraw(EngineContext *context, uint32_t subCode, int32_t mode, const void *arg)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    DispmanRequest r;
    std::memset(&r, 0, sizeof(r));
    r.kind = DispmanKind_redraw;
    r.subCode = subCode;
    r.report = 1;
    r.interrupt = 1;
    int err = Res_ok;
    if (mode == 0 && arg) {
        const DispmanRedrawArg *a = static_cast<const DispmanRedrawArg *>(arg);
        if (rectEmpty(a->rect))
            return Res_ok;
        r.redraw.view = a->view;
        r.redraw.rect = a->rect;
    } else if (mode == 1 && arg) {
        DispmanView *view = static_cast<DispmanView *>(const_cast<void *>(arg));
        r.redraw.view = view;
        Lock_acquire(&view->geometryLock);
        r.redraw.rect = view->viewRect;
        Lock_release(&view->geometryLock);
    } else {
        err = mode == 0 || mode == 1 ? Res_nullInput : Res_dispmanBadMode;
    }
    if (err) {
        Sem_signal(&dm->quickWake);
        return err;
    }
    return pushAndWake(dm, &r);
}

int Dispman_queuePan(EngineContext *context, int32_t change, DispmanView *view, Edr_Doc *document,
                     int32_t pageKey, uint32_t pageKind, Edr_Node *node, int32_t dx, int32_t dy)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    if (change < 2 || change > 4) {
        Sem_signal(&dm->quickWake);
        return Res_dispmanBadMode;
    }
    if (change != 3 && dx == 0 && dy == 0)
        return Res_ok;
    DispmanRequest r;
    pageRequest(&r, DispmanKind_pan, uint32_t(change) + 3, view, document, pageKey, pageKind, node);
    r.page.pan = {dx, dy};
    return pushPage(dm, &r);
}

int Dispman_queueZoom(EngineContext *context, uint32_t subCode, DispmanView *view,
                      Edr_Doc *document, int32_t pageKey, uint32_t pageKind, Edr_Node *node,
                      int32_t zoom, int32_t centreX, int32_t centreY)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    DispmanRequest r;
    pageRequest(&r, DispmanKind_zoom, subCode, view, document, pageKey, pageKind, node);
    r.page.zoom = {zoom, centreX, centreY};
    return pushPage(dm, &r);
}

int Dispman_queueKind4(EngineContext *context, uint32_t subCode, DispmanView *view,
                       Edr_Doc *document, int32_t pageKey, uint32_t pageKind, Edr_Node *node,
                       int32_t x, int32_t y)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    DispmanRequest r;
    pageRequest(&r, DispmanKind_position, subCode, view, document, pageKey, pageKind, node);
    r.page.position = {x, y};
    return pushPage(dm, &r);
}

int Dispman_queueDocSwitch(EngineContext *context, uint32_t subCode, DispmanView *view,
                           Edr_Doc *document, int32_t pageKey, uint32_t pageKind, Edr_Node *node,
                           Edr_Doc *newDocument, int32_t newKey, uint32_t newKind)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    DispmanRequest r;
    pageRequest(&r, DispmanKind_switchDoc, subCode, view, document, pageKey, pageKind, node);
    if (newDocument)
        Edr_Doc_getView(&r.page.switchDoc.document, newDocument);
    r.page.switchDoc.pageKey = newKey;
    r.page.switchDoc.pageKind = newKind;
    return pushPage(dm, &r);
}

int Dispman_queueArea(EngineContext *context, uint32_t subCode, int32_t mode,
                      const DispmanArea *area, int32_t notifyThumbnails, uint32_t interrupt,
                      const intptr_t *progress)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    if ((mode != 0 && mode != 1) || !area) {
        Sem_signal(&dm->quickWake);
        return area ? Res_dispmanBadMode : Res_nullInput;
    }
    DispmanRequest r;
    std::memset(&r, 0, sizeof(r));
    r.kind = DispmanKind_area;
    r.subCode = subCode;
    r.report = 1;
    r.interrupt = interrupt;
    setProgress(&r, progress);
    r.area = *area;
    r.area.notify = 0;
    if (mode == 1) {
        Edr_PageEntry *entry = nullptr;
        if (!area->document ||
            Edr_Page_find(&entry, area->document, area->pageKey, area->pageKind, 0) != Res_ok)
            return Res_ok;
        const int32_t *b = Edr_Page_rectOrDefault(Edr_Page_deref(entry));
        r.area.rect = Rect{b[0], b[1], b[2], b[3]};
        Edr_Page_release(entry, 0);
    }
    if (!r.area.document || rectEmpty(r.area.rect))
        return Res_ok;
    int err = pushAndWake(dm, &r);
    if (dm->thumbnailsEnabled && notifyThumbnails)
        return Edr_Page_notifyThumbnail(area->document, area->pageKey, area->pageKind, 0);
    return err;
}

int Dispman_queueObjectRedraw(EngineContext *context, const DispmanArea *area, int32_t mode,
                              const intptr_t *progress)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm)
        return Res_ok;
    if (!area)
        return Res_nullInput;
    // The nodes that views show for an object are found through the
    // display items of the pages, which the views do not keep yet: with
    // mode non-zero no node is visited.
    if (mode != 0)
        return noNodeVisited;
    if (!area->document || rectEmpty(area->rect))
        return Res_ok;
    DispmanRequest r;
    std::memset(&r, 0, sizeof(r));
    r.kind = DispmanKind_observed;
    r.subCode = DispmanSub_observed;
    r.report = 1;
    r.interrupt = 1;
    setProgress(&r, progress);
    r.area = *area;
    r.area.notify = 0;
    return pushAndWake(dm, &r);
}
