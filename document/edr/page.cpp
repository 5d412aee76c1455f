// The page list: sorted page entries under the page-list lock, lookups that
// hand out entries with their locks held, publishing with deferred freeing
// of replaced records, stale marking and purging, thumbnail bounds, counted
// record holders and the page window.
//
// The list head lives in the document's view record; a document whose view
// record is gone (a closed stub) has an empty list. Every walk of the list
// runs under the page-list lock; replaced records are collected under the
// write lock and freed after it is released, so that a reader's record is
// never freed under it.
#include "document/edr/page.h"
#include "document/edr/webops.h"

#include <algorithm>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/task.h"
#include "document/edr/appdoc.h"
#include "document/edr/doc.h"
#include "document/manager/manager.h"
#include "platform/api/errortext.h"
#include "core/container/obj.h"
#include "core/geom/rect.h"
#include "graphics/image.h"
#include "graphics/clippath.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "platform/vfs/helpers.h"
#include "document/edr/pageview.h"
#include "document/edr/viewops.h"

namespace {

// The rectangle a record with an alternate rectangle reads as.
constexpr int32_t kDefaultRect[4] = {0, 0, 0, 0};

HighlightStyle *viewOf(Edr_Doc *doc)
{
    return doc && doc->pageList ? static_cast<HighlightStyle *>(doc->pageList->view) : nullptr;
}

Edr_PageEntry *headOf(Edr_Doc *doc)
{
    HighlightStyle *view = viewOf(doc);
    return view ? view->pages : nullptr;
}

// Entries sort by key, then kind.
bool before(const Edr_PageEntry *e, int32_t key, uint32_t kind)
{
    return e->key < key || (e->key == key && e->kind < kind);
}

// Where a walk for (key, kind) may start: the hint when it lies before
// that page, else the head; *index is the start's index.
Edr_PageEntry *startFor(Edr_Doc *doc, int32_t key, uint32_t kind, uint32_t *index)
{
    HighlightStyle *view = viewOf(doc);
    *index = 0;
    if (!view)
        return nullptr;
    if (view->hint &&
        (before(view->hint, key, kind) || (view->hint->key == key && view->hint->kind == kind))) {
        *index = view->hintIndex;
        return view->hint;
    }
    return view->pages;
}

Edr_PageEntry *findEntry(Edr_Doc *doc, int32_t key, uint32_t kind, uint32_t *position)
{
    uint32_t i = 0;
    for (Edr_PageEntry *e = startFor(doc, key, kind, &i); e; e = e->nextEntry, i++) {
        if (e->key == key && e->kind == kind) {
            if (position)
                *position = i;
            return e;
        }
        if (!before(e, key, kind))
            break;
    }
    return nullptr;
}

Edr_PageEntry *entryAt(Edr_Doc *doc, uint32_t index)
{
    Edr_PageEntry *e = headOf(doc);
    HighlightStyle *view = viewOf(doc);
    if (view && view->hint && view->hintIndex <= index) {
        e = view->hint;
        index -= view->hintIndex;
    }
    for (; e && index; index--)
        e = e->nextEntry;
    return e;
}

// Takes the two locks of a lookup. 0, or the write lock's error with
// nothing held.
int lockFor(Edr_Doc *doc, uint32_t mode)
{
    if (mode & Edr_Page_treeWrite) {
        int err = Edr_Doc_writeLock(doc);
        if (err)
            return err;
    } else {
        Edr_Doc_readLock(doc);
    }
    if (mode & Edr_Page_listWrite) {
        int err = Edr_Page_writeLockList(doc);
        if (err) {
            if (mode & Edr_Page_treeWrite)
                Edr_Doc_writeUnlock(doc);
            else
                Edr_Doc_readUnlock(doc);
            return err;
        }
    } else {
        Edr_Page_readLockList(doc);
    }
    return Res_ok;
}

void unlockFor(Edr_Doc *doc, uint32_t mode)
{
    if (mode & Edr_Page_listWrite)
        Edr_Page_writeUnlockList(doc);
    else
        Edr_Page_readUnlockList(doc);
    if (mode & Edr_Page_treeWrite)
        Edr_Doc_writeUnlock(doc);
    else
        Edr_Doc_readUnlock(doc);
}

void postCode(Edr_Doc *doc, int32_t code, intptr_t argument)
{
    EngineContext *app = doc->app;
    if (!app || !app->eventProc)
        return;
    EventProcCodeMsg m{code, doc, nullptr, argument};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(app->eventProc, &m);
}

uint32_t colourOf(const Edr_PageRec *r)
{
    return uint32_t(r->background[0]) | uint32_t(r->background[1]) << 8 |
           uint32_t(r->background[2]) << 16 | uint32_t(r->background[3]) << 24;
}

// Moves the old record's thumbnail to the new record (refitted when the new
// page's thumbnail size differs); a failed refit drops it with the old
// record.
void transferThumb(EngineContext *app, Edr_PageRec *old, Edr_PageRec *fresh)
{
    if (!old->thumb || fresh->thumb)
        return;
    int32_t rect[4];
    if (Edr_Page_getBounds(app, fresh, rect)) {
        int32_t w = rect[2] - rect[0];
        int32_t h = rect[3] - rect[1];
        if (w != old->thumb->width || h != old->thumb->height) {
            if (Bitmap_refit(app, &old->thumb, w, h, colourOf(old)) != 0)
                return;
        }
    }
    fresh->thumb = old->thumb;
    old->thumb = nullptr;
}

} // namespace

// ----------------------------------------------------------------- lookup

int Edr_Page_find(Edr_PageEntry **entry, Edr_Doc *doc, int32_t key, uint32_t kind, uint32_t mode)
{
    *entry = nullptr;
    if (!doc)
        return Res_nullInput;
    int err = lockFor(doc, mode);
    if (err)
        return err;
    Edr_PageEntry *e = findEntry(doc, key, kind, nullptr);
    if (!e) {
        unlockFor(doc, mode);
        return Edr_Page_noSuchPage;
    }
    Edr_Mgr_accessBegin(doc);
    *entry = e;
    return Res_ok;
}

int Edr_Page_findByIndex(Edr_PageEntry **entry, Edr_Doc *doc, uint32_t index, uint32_t mode)
{
    *entry = nullptr;
    if (!doc)
        return Res_nullInput;
    int err = lockFor(doc, mode);
    if (err)
        return err;
    Edr_PageEntry *e = entryAt(doc, index);
    if (!e) {
        unlockFor(doc, mode);
        return Edr_Page_noSuchPage;
    }
    Edr_Mgr_accessBegin(doc);
    *entry = e;
    return Res_ok;
}

void Edr_Page_release(Edr_PageEntry *entry, uint32_t mode)
{
    if (!entry || !entry->rec)
        return;
    Edr_Doc *doc = entry->rec->doc;
    Edr_Mgr_accessEnd(doc);
    unlockFor(doc, mode);
}

Edr_PageRec *Edr_Page_deref(Edr_PageEntry *entry)
{
    return entry ? entry->rec : nullptr;
}

Edr_PageEntry *Edr_Page_nextEntry(Edr_PageEntry *entry)
{
    return entry ? entry->nextEntry : nullptr;
}

Edr_PageEntry *Edr_Page_first(Edr_PageEntry *entry)
{
    return entry && entry->rec ? headOf(entry->rec->doc) : nullptr;
}

int Edr_Page_indexOf(uint32_t *index, Edr_Doc *doc, int32_t key, uint32_t kind)
{
    *index = 0;
    if (!doc)
        return Res_nullInput;
    Edr_Page_readLockList(doc);
    Edr_PageEntry *e = findEntry(doc, key, kind, index);
    Edr_Page_readUnlockList(doc);
    return e ? Res_ok : int(Edr_Page_noSuchPage);
}

uint32_t Edr_Page_indexOfKey(Edr_Doc *doc, int32_t key)
{
    if (!doc)
        return 0;
    uint32_t n = 0;
    Edr_Page_readLockList(doc);
    for (Edr_PageEntry *e = startFor(doc, key, 0, &n); e && e->key < key; e = e->nextEntry)
        n++;
    Edr_Page_readUnlockList(doc);
    return n;
}

int Edr_Page_getKeyByIndex(int32_t *key, uint32_t *kind, Edr_Doc *doc, uint32_t index)
{
    *key = 0;
    *kind = 0;
    if (!doc)
        return Res_nullInput;
    Edr_Page_readLockList(doc);
    Edr_PageEntry *e = entryAt(doc, index);
    if (e) {
        *key = e->key;
        *kind = e->kind;
    }
    Edr_Page_readUnlockList(doc);
    return e ? Res_ok : int(Edr_Page_noSuchPage);
}

int Edr_Page_count(Edr_Doc *doc, uint32_t *count)
{
    if (!doc || !count)
        return 0;
    uint32_t n = 0;
    Edr_Page_readLockList(doc);
    // The walk starts at the hint when there is one (the entry a layout
    // pass published last, usually near the end): a document of thousands
    // of pages is asked its count often while it opens.
    Edr_PageEntry *e = headOf(doc);
    HighlightStyle *view = viewOf(doc);
    if (view && view->hint) {
        e = view->hint;
        n = view->hintIndex;
    }
    for (; e; e = e->nextEntry)
        n++;
    Edr_Page_readUnlockList(doc);
    *count = n;
    return 0;
}

int Edr_Page_hasPages(Edr_Doc *doc)
{
    if (!doc)
        return 0;
    Edr_Page_readLockList(doc);
    int any = headOf(doc) != nullptr;
    Edr_Page_readUnlockList(doc);
    return any;
}

int Edr_Page_getRect(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t out[4])
{
    out[0] = out[1] = out[2] = out[3] = 0;
    if (!doc)
        return Res_nullInput;
    Edr_Page_readLockList(doc);
    Edr_PageEntry *e = findEntry(doc, key, kind, nullptr);
    if (e)
        std::copy(e->rec->bounds, e->rec->bounds + 4, out);
    Edr_Page_readUnlockList(doc);
    return e ? Res_ok : int(Edr_Page_noSuchPage);
}

int Edr_Page_getSizeFloat(Edr_Doc *doc, int32_t key, uint32_t kind, float *width, float *height)
{
    int32_t r[4];
    int err = Edr_Page_getRect(doc, key, kind, r);
    if (err) {
        *width = 0.0f;
        *height = 0.0f;
        return err;
    }
    // The differences in 64 bits: an unset y0 (0x80000000) must not wrap.
    *width = float(int64_t(r[2]) - r[0]) / 65536.0f;
    *height = float(int64_t(r[3]) - r[1]) / 65536.0f;
    return Res_ok;
}

uint32_t Edr_Page_getTag(Edr_Doc *doc, int32_t key, uint32_t kind)
{
    if (!doc)
        return 0;
    Edr_Page_readLockList(doc);
    Edr_PageEntry *e = findEntry(doc, key, kind, nullptr);
    uint32_t tag = e ? e->tag : 0;
    Edr_Page_readUnlockList(doc);
    return tag;
}

// --------------------------------------------------- alternate rectangles

int Edr_Page_hasAltRect(const Edr_PageRec *record)
{
    return record && record->altRect;
}

const int32_t *Edr_Page_rectOrDefault(const Edr_PageRec *record)
{
    return record->altRect ? kDefaultRect : record->bounds;
}

int Edr_Page_setAltRect(Edr_PageRec *record, const void *source)
{
    AltRect *made = nullptr;
    int err = AltRect_create(source, &made);
    if (err)
        return err;
    AltRect_free(record->altRect);
    record->altRect = made;
    return Res_ok;
}

int Edr_Page_objectPair(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t *a, int32_t *b)
{
    Edr_PageEntry *e = nullptr;
    int err = Edr_Page_find(&e, doc, key, kind, 0);
    if (err)
        return err;
    if (e->rec && e->rec->altRect)
        AltRect_readPair(e->rec->altRect, a, b);
    Edr_Page_release(e, 0);
    return Res_ok;
}

// ------------------------------------------------------------- thumbnails

void Edr_Page_fitThumb(int32_t *w, int32_t *h, int32_t minimum, int32_t maximum)
{
    int64_t x = *w, y = *h;
    if ((minimum == 0 && maximum == 0) || x == 0 || y == 0)
        return;
    if (minimum && (x < minimum || y < minimum)) {
        if (x <= y) {
            y = minimum * y / x;
            x = minimum;
        } else {
            x = minimum * x / y;
            y = minimum;
        }
    }
    if (maximum && (x > maximum || y > maximum)) {
        if (x >= y) {
            y = maximum * y / x;
            x = maximum;
        } else {
            x = maximum * x / y;
            y = maximum;
        }
    }
    if (minimum) {
        x = std::max<int64_t>(x, minimum);
        y = std::max<int64_t>(y, minimum);
    }
    *w = int32_t(x);
    *h = int32_t(y);
}

int Edr_Page_getBounds(EngineContext *app, const Edr_PageRec *record, int32_t out[4])
{
    // 16.16 to 1/8 units, truncating; 64 bits so that -y0 cannot overflow.
    int64_t w = int64_t(record->bounds[2]) * 8 / 65536;
    int64_t h = -int64_t(record->bounds[1]) * 8 / 65536;
    out[0] = out[1] = 0;
    out[2] = int32_t(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX));
    out[3] = int32_t(std::clamp<int64_t>(h, INT32_MIN, INT32_MAX));
    if (out[2] < 1 || out[3] < 1)
        return 0;
    int32_t minimum = 0, maximum = 0;
    App_thumbnailLimits(app, &minimum, &maximum);
    Edr_Page_fitThumb(&out[2], &out[3], minimum, maximum);
    return out[2] >= 1 && out[3] >= 1;
}

// ------------------------------------------------------------- publishing

namespace {

// The first content piece of a chain (its display items are what a view
// of the page shows), or null.
Edr_PageRec *firstContent(Edr_PageRec *chain)
{
    while (chain && chain->buildState != Edr_PageBuild_ready)
        chain = chain->nextRec;
    return chain;
}

// Points the entry's view at the record's display items and the record at
// the entry's views.
void attachViews(Edr_PageEntry *e, Edr_PageRec *record)
{
    Edr_PageRec *content = firstContent(record);
    for (PageView *v = e->views; v; v = v->next) {
        v->items = content ? content->objects : nullptr;
        for (int i = 0; i < 4; i++)
            v->box[i] = record->bounds[i];
    }
    for (Edr_PageRec *p = record; p; p = p->nextRec)
        p->views = e->views;
}

} // namespace

int Edr_Page_publish(Edr_Doc *doc, int32_t key, uint32_t kind, uint32_t tag, Edr_PageRec *record,
                     int keepTaller, int noThumbTransfer, Edr_PageRec **old, uint32_t *position,
                     int *added)
{
    *old = nullptr;
    *position = 0;
    *added = 0;
    HighlightStyle *view = viewOf(doc);
    if (!view)
        return Res_nullInput;
    Edr_PageEntry **link = &view->pages;
    uint32_t i = 0;
    if (view->hint && before(view->hint, key, kind)) {
        link = &view->hint->nextEntry;
        i = view->hintIndex + 1;
    }
    while (*link && before(*link, key, kind)) {
        link = &(*link)->nextEntry;
        i++;
    }
    *position = i;
    Edr_PageEntry *e = *link;
    if (e && e->key == key && e->kind == kind) {
        if (e->stale && view->staleCount)
            view->staleCount--;
        e->stale = 0;
        view->hint = e;
        view->hintIndex = i;
        Edr_PageRec *current = e->rec;
        if (keepTaller && (uint32_t(record->bounds[1]) == 0x80000000u ||
                           current->bounds[1] < record->bounds[1])) {
            *old = record;
            return Res_ok;
        }
        e->rec = record;
        e->tag = tag;
        *old = current;
        attachViews(e, record);
        for (Edr_PageRec *q = current; q; q = q->nextRec)
            q->views = nullptr;
        if (!noThumbTransfer)
            transferThumb(doc->app, current, record);
        return Res_ok;
    }
    Edr_PageEntry *fresh = static_cast<Edr_PageEntry *>(Mem_calloc(1, sizeof(Edr_PageEntry)));
    PageView *pageView = fresh ? Select_createPageView(doc, key, kind) : nullptr;
    if (!pageView) {
        Mem_free(fresh);
        return Res_noMemory;
    }
    fresh->views = pageView;
    attachViews(fresh, record);
    fresh->rec = record;
    fresh->kind = kind;
    fresh->key = key;
    fresh->tag = tag;
    fresh->nextEntry = e;
    *link = fresh;
    *added = 1;
    view->hint = fresh;
    view->hintIndex = i;
    return Res_ok;
}

int Edr_Page_publishLayout(Edr_Doc *doc, int32_t key, uint32_t kind, uint32_t tag,
                           Edr_PageRec *record, int keepTaller, int noThumbTransfer)
{
    if (!doc)
        return Res_nullInput;
    int err = Edr_Page_writeLockList(doc);
    if (err)
        return err;
    Edr_PageRec *old = nullptr;
    uint32_t position = 0;
    int added = 0;
    if (record) {
        err = Edr_Page_publish(doc, key, kind, tag, record, keepTaller, noThumbTransfer, &old,
                               &position, &added);
    } else {
        HighlightStyle *view = viewOf(doc);
        for (Edr_PageEntry **link = view ? &view->pages : nullptr; link && *link;
             link = &(*link)->nextEntry) {
            Edr_PageEntry *e = *link;
            if (e->key == key && e->kind == kind) {
                *link = e->nextEntry;
                view->hint = nullptr;
                if (e->stale && view->staleCount)
                    view->staleCount--;
                old = e->rec;
                for (Edr_PageRec *q = old; q; q = q->nextRec)
                    q->views = nullptr;
                Edr_View_freeViews(doc->app, e->views);
                Mem_free(e);
                break;
            }
        }
    }
    Edr_PageList *list = doc->pageList;
    bool held = list && list->noticesHeld > 0;
    if (held && added) {
        if (!list->heldAdded || position < list->heldPosition)
            list->heldPosition = position;
        list->heldAdded = 1;
    }
    Edr_Page_writeUnlockList(doc);
    if (err)
        return err;
    if (!old && !added)
        return Res_ok; // nothing changed
    if (added) {
        if (!held) // else announced once when the hold ends
            postCode(doc, DocMsg_codePageAdded, intptr_t(position));
    } else if (!record)
        postCode(doc, DocMsg_codePageDropped, 0);
    else if (old != record && tag == 3 && record->altRect && old->altRect)
        (void)AltRect_merge(record->altRect, old->altRect);
    (void)AppDoc_callSlot1(doc);
    return Edr_Page_freeRecords(old);
}

int Edr_Page_holdNotices(Edr_Doc *doc)
{
    if (!doc || !doc->pageList)
        return Res_nullInput;
    int err = Edr_Page_writeLockList(doc);
    if (err)
        return err;
    if (doc->pageList->noticesHeld++ == 0)
        doc->pageList->heldAdded = 0;
    Edr_Page_writeUnlockList(doc);
    return Res_ok;
}

int Edr_Page_releaseNotices(Edr_Doc *doc)
{
    if (!doc || !doc->pageList)
        return Res_nullInput;
    int err = Edr_Page_writeLockList(doc);
    if (err)
        return err;
    Edr_PageList *list = doc->pageList;
    bool post = false;
    uint32_t position = 0;
    if (list->noticesHeld > 0 && --list->noticesHeld == 0 && list->heldAdded) {
        post = true;
        position = list->heldPosition;
        list->heldAdded = 0;
    }
    Edr_Page_writeUnlockList(doc);
    if (post)
        postCode(doc, DocMsg_codePageAdded, intptr_t(position));
    return Res_ok;
}

int Edr_Page_markKey(Edr_Doc *doc, int32_t key)
{
    if (!doc)
        return Res_nullInput;
    int err = Edr_Page_writeLockList(doc);
    if (err)
        return err;
    HighlightStyle *view = viewOf(doc);
    uint32_t i = 0;
    // The list sorts by key: the walk ends past the key.
    for (Edr_PageEntry *e = startFor(doc, key, 0, &i); e && e->key <= key; e = e->nextEntry) {
        if (e->key == key && !e->stale) {
            e->stale = 1;
            view->staleCount++;
        }
    }
    Edr_Page_writeUnlockList(doc);
    return Res_ok;
}

int Edr_Page_purgeStale(Edr_Doc *doc)
{
    if (!doc)
        return Res_nullInput;
    int err = Edr_Page_writeLockList(doc);
    if (err)
        return err;
    Edr_PageEntry *gone = nullptr;
    Edr_PageEntry **tail = &gone;
    HighlightStyle *view = viewOf(doc);
    if (!view || !view->staleCount) {
        Edr_Page_writeUnlockList(doc);
        return Res_ok;
    }
    view->staleCount = 0;
    view->hint = nullptr;
    for (Edr_PageEntry **link = view ? &view->pages : nullptr; link && *link;) {
        Edr_PageEntry *e = *link;
        if (!e->stale) {
            link = &e->nextEntry;
            continue;
        }
        *link = e->nextEntry;
        e->nextEntry = nullptr;
        *tail = e;
        tail = &e->nextEntry;
    }
    Edr_Page_writeUnlockList(doc);
    if (gone) {
        postCode(doc, DocMsg_codePageDropped, 0);
        Edr_Page_freeEntries(doc->app, gone);
    }
    return Res_ok;
}

// --------------------------------------------------------------- freeing

void Edr_Page_freeObjects(ObjHeader *chain)
{
    while (chain) {
        ObjHeader *next = Obj_next(chain);
        Obj_destroy(chain);
        chain = next;
    }
}

int Edr_Page_freeRecords(Edr_PageRec *chain)
{
    while (chain) {
        Edr_PageRec *next = chain->nextRec;
        PixelBuf_destroy(chain->thumb);
        Mem_free(chain->block);
        ClipEntry_freeList(chain->layout);
        if (chain->buildState == Edr_PageBuild_embedded)
            Mem_free(chain->matrix);
        AltRect_free(chain->altRect);
        if (chain->buildState == Edr_PageBuild_ready)
            Edr_Page_freeObjects(chain->objects);
        Edr_Page_freeObjects(chain->overlays);
        Edr_Web_freeSources(nullptr, chain->sources);
        Mem_free(chain);
        chain = next;
    }
    return Res_ok;
}

void Edr_Page_setSources(Edr_PageRec *record, MimeSrcList *sources)
{
    if (!record) {
        Edr_Web_freeSources(nullptr, sources);
        return;
    }
    if (record->sources != sources)
        Edr_Web_freeSources(nullptr, record->sources);
    record->sources = sources;
}

void Edr_Page_freeEntries(EngineContext *context, Edr_PageEntry *list)
{
    while (list) {
        Edr_PageEntry *next = list->nextEntry;
        Engine_abortIfError(Edr_Page_freeRecords(list->rec));
        Edr_View_freeViews(context, list->views);
        Mem_free(list);
        list = next;
    }
}

int Edr_PageRecRef_create(EngineContext *ctx, Edr_PageRec *chain, Edr_PageRecRef **out)
{
    *out = nullptr;
    Edr_PageRecRef *ref = static_cast<Edr_PageRecRef *>(Mem_calloc(1, sizeof(Edr_PageRecRef)));
    if (!ref)
        return Res_noMemory;
    Lock_init(ctx, &ref->mutex);
    ref->chain = chain;
    ref->refs = 1;
    *out = ref;
    return Res_ok;
}

void Edr_PageRecRef_addRef(Edr_PageRecRef *ref)
{
    if (!ref)
        return;
    Lock_acquire(&ref->mutex);
    ref->refs++;
    Lock_release(&ref->mutex);
}

void Edr_PageRecRef_release(Edr_PageRecRef *ref)
{
    if (!ref)
        return;
    Lock_acquire(&ref->mutex);
    bool last = ref->refs == 1;
    if (ref->refs)
        ref->refs--;
    Lock_release(&ref->mutex);
    if (!last)
        return;
    Engine_abortIfError(Edr_Page_freeRecords(ref->chain));
    Lock_fini(&ref->mutex);
    Mem_free(ref);
}

// ------------------------------------------------------------ page window

int Edr_Page_loadByIndex(Edr_Doc *doc, uint32_t index, intptr_t how)
{
    Edr_PageRef page{doc, 0, 0};
    int err = Edr_Page_getKeyByIndex(&page.key, &page.kind, doc, index);
    if (err)
        return err;
    Lock_acquire(&doc->hookLock);
    int r = doc->pageHook ? doc->pageHook(doc->hookContext, &page, how, 0) : 0;
    Lock_release(&doc->hookLock);
    return r;
}

int Edr_Page_updateWindow(Edr_Doc *doc, int32_t current)
{
    if (!doc || !Edr_Doc_getStartFlag(doc))
        return Res_ok;
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
    HighlightStyle *view = viewOf(doc);
    int32_t count = 0;
    for (Edr_PageEntry *e = headOf(doc); e; e = e->nextEntry)
        count++;
    int32_t oldFirst = view ? view->windowFirst : -1;
    int32_t oldLast = view ? view->windowLast : -1;
    bool hadOld = oldFirst >= 0;
    bool pod = doc->pageOnDemand && (doc->featureFlags & Edr_featurePageOnDemand);
    int32_t n = view ? view->thumbMax : 0;
    int32_t first = -1, last = -1;
    if (pod) {
        first = last = current;
    } else if (n > 0) {
        first = std::max(current - n / 2, 0);
        last = first + n - 1;
        if (last >= count) {
            last = count - 1;
            first = std::max(count - n, 0);
        }
    }
    if (view) {
        view->windowFirst = first;
        view->windowLast = last;
    }
    Edr_Page_readUnlockList(doc);
    Edr_Doc_readUnlock(doc);
    bool hasNew = first >= 0;
    if (hadOld) {
        for (int32_t i = oldFirst; i <= oldLast; i++) {
            if (hasNew && i >= first && i <= last)
                continue;
            int err = Edr_Page_loadByIndex(doc, uint32_t(i), Edr_PageHook_unload);
            if (err)
                return err;
        }
    }
    if (hasNew) {
        for (int32_t i = first; i <= last; i++) {
            if (hadOld && i >= oldFirst && i <= oldLast)
                continue;
            int err = Edr_Page_loadByIndex(doc, uint32_t(i), Edr_PageHook_load);
            if (err)
                return err;
        }
    }
    return Res_ok;
}

int Edr_Page_requestByKey(Edr_Doc *doc, int32_t key, uint32_t kind, intptr_t flag)
{
    if (!doc)
        return Res_nullInput;
    Edr_Page_readLockList(doc);
    HighlightStyle *view = viewOf(doc);
    int32_t n = view ? view->thumbMax : 0;
    int32_t first = view ? view->windowFirst : -1;
    int32_t last = view ? view->windowLast : -1;
    uint32_t index = 0;
    bool present = findEntry(doc, key, kind, &index) != nullptr;
    Edr_Page_readUnlockList(doc);
    bool ask = n == 0 || Edr_Doc_parentMarkFlag(doc) != 0 ||
               (present && first >= 0 && int64_t(index) >= first && int64_t(index) <= last);
    if (!ask)
        return Res_ok;
    Edr_PageRef page{doc, key, kind};
    Lock_acquire(&doc->hookLock);
    int r = doc->pageHook ? doc->pageHook(doc->hookContext, &page, flag, 0) : 0;
    Lock_release(&doc->hookLock);
    return r;
}

int Edr_Page_notifyThumbnail(Edr_Doc *doc, int32_t key, uint32_t kind, intptr_t flag)
{
    if (!doc)
        return Res_nullInput;
    Edr_Page_readLockList(doc);
    HighlightStyle *view = viewOf(doc);
    uint32_t index = 0;
    bool present = findEntry(doc, key, kind, &index) != nullptr;
    // A document that builds its pages on demand keeps the window of the
    // page in hand: thumbnails of the other pages, which hold nothing yet,
    // would take memory in proportion to the document's length.
    bool pod = doc->pageOnDemand && (doc->featureFlags & Edr_featurePageOnDemand);
    bool limited = view && (view->thumbMax > 0 || pod);
    bool outside = !view || view->windowFirst < 0 || int64_t(index) < view->windowFirst ||
                   int64_t(index) > view->windowLast;
    Edr_Page_readUnlockList(doc);
    if (!present)
        return Edr_Page_noSuchPage;
    if (limited && flag == 0 && outside)
        return Res_ok;
    Lock_acquire(&doc->hookLock);
    Edr_DisplayHooks hooks = doc->displayHooks;
    int r = hooks.thumbnail ? hooks.thumbnail(hooks.argument, uint32_t(flag), doc, key, kind) : 0;
    Lock_release(&doc->hookLock);
    return r;
}

// ------------------------------------------------------------ page views

PageView *Select_createPageView(Edr_Doc *doc, int32_t key, uint32_t kind)
{
    PageView *v = static_cast<PageView *>(Mem_calloc(1, sizeof(PageView)));
    if (v) {
        v->pageKey[0] = key;
        v->pageKey[1] = int32_t(kind);
        v->doc = doc;
        v->kind = PageView_leaf;
    }
    return v;
}

// ------------------------------------------------- alternate rectangles

// The record keeps one word; nothing queries or merges a position yet.
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

int AltRect_merge(AltRect *, AltRect *)
{
    return Res_ok;
}

void AltRect_readPair(AltRect *, int32_t *a, int32_t *b)
{
    *a = 0;
    *b = 0;
}

// ------------------------------------------------------- thumbnail sizes

void App_thumbnailLimits(EngineContext *app, int32_t *minimum, int32_t *maximum)
{
    const int32_t *limits = app ? app->thumbSizes : nullptr;
    *minimum = limits ? limits[0] : 0;
    *maximum = limits ? limits[1] : 0;
}
