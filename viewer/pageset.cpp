// The viewer's page set.
#include "viewer/pageset.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/loadprogress.h"

namespace {

constexpr uint32_t categoryDocuments = 2;
constexpr uint32_t categoryObjects = 3;
constexpr int32_t codeFirstPage = 17;

FvPageSetEntry *findKey(FvPageSet *set, uint32_t key)
{
    for (FvPageSetEntry *e = set->head; e; e = e->next)
        if (e->key == key)
            return e;
    return nullptr;
}

void startCounters(LoadProgress *tracker)
{
    // Progress counts only feed the progress notice; the load goes on either way.
    (void)LoadProgress_setTotal(tracker, categoryDocuments, 1);
    (void)LoadProgress_setDone(tracker, categoryDocuments, 0);
    (void)LoadProgress_setTotal(tracker, categoryObjects, 1);
    (void)LoadProgress_setDone(tracker, categoryObjects, 0);
}

// The document takes the tracker (its reference released with it).
void giveTracker(Edr_Doc *document, LoadProgress *tracker)
{
    LoadProgress *old = Edr_Doc_getLoadStats(document);
    if (old == tracker)
        return;
    LoadProgress_addRef(tracker);
    Edr_Doc_setLoadStats(document, tracker);
    LoadProgress_release(old);
}

void freeEntry(FvPageSetEntry *e)
{
    LoadProgress_release(e->tracker);
    Edr_Doc_release(e->document);
    Mem_free(e);
}

} // namespace

int PageSet_create(EngineContext *context, FvPageSet **set)
{
    *set = nullptr;
    FvPageSet *s = static_cast<FvPageSet *>(Mem_calloc(1, sizeof(FvPageSet)));
    if (!s)
        return Res_noMemory;
    s->context = context;
    s->maxKey = 0xffffffffu;
    // Lock_init cannot fail.
    (void)Lock_init(context, &s->lock);
    *set = s;
    return Res_ok;
}

void PageSet_free(FvPageSet *set)
{
    if (!set)
        return;
    while (FvPageSetEntry *e = set->head) {
        set->head = e->next;
        freeEntry(e);
    }
    Lock_fini(&set->lock);
    Mem_free(set);
}

int PageSet_add(FvPageSet *set, FvPage *page, uint32_t *key)
{
    *key = 0;
    FvPageSetEntry *e = static_cast<FvPageSetEntry *>(Mem_calloc(1, sizeof(FvPageSetEntry)));
    if (!e)
        return Res_noMemory;
    Lock_acquire(&set->lock);
    // At most every non-zero key once, ending at the last key handed out.
    uint32_t candidate = set->lastKey;
    uint32_t maxKey = set->maxKey ? set->maxKey : 0xffffffffu;
    bool found = false;
    for (uint32_t tries = 0; tries < maxKey && !found; tries++) {
        candidate = candidate >= maxKey ? 1 : candidate + 1;
        found = !findKey(set, candidate);
    }
    if (!found) {
        Lock_release(&set->lock);
        Mem_free(e);
        return Res_pageSetKeysExhausted;
    }
    e->key = candidate;
    e->page = page;
    FvPageSetEntry **tail = &set->head;
    while (*tail)
        tail = &(*tail)->next;
    *tail = e;
    set->lastKey = candidate;
    Lock_release(&set->lock);
    *key = candidate;
    return Res_ok;
}

void PageSet_remove(FvPageSet *set, uint32_t key)
{
    if (!set)
        return;
    Lock_acquire(&set->lock);
    FvPageSetEntry *gone = nullptr;
    for (FvPageSetEntry **link = &set->head; *link; link = &(*link)->next) {
        if ((*link)->key == key) {
            gone = *link;
            *link = gone->next;
            break;
        }
    }
    Lock_release(&set->lock);
    if (gone)
        freeEntry(gone);
}

int PageSet_setDocument(FvPageSet *set, uint32_t key, Edr_Doc *document)
{
    Lock_acquire(&set->lock);
    FvPageSetEntry *e = findKey(set, key);
    if (!e && key == 0 && document) {
        // The viewer's own page (key 0, never handed out by PageSet_add)
        // gets its entry with its first document, so that its loads are
        // tracked and announce their first page like the others.
        e = static_cast<FvPageSetEntry *>(Mem_calloc(1, sizeof(FvPageSetEntry)));
        if (!e) {
            Lock_release(&set->lock);
            return Res_noMemory;
        }
        e->next = set->head;
        set->head = e;
    }
    int r = Res_ok;
    if (!e) {
        r = Res_pageSetNoEntry;
    } else if (document && !e->tracker &&
               LoadProgress_create(set->context, &e->tracker) != Res_ok) {
        r = Res_noMemory;
    } else {
        if (document) {
            Edr_Doc_addRef(document);
            LoadProgress_reset(e->tracker);
            giveTracker(document, e->tracker);
            startCounters(e->tracker);
        }
        Edr_Doc_release(e->document);
        e->document = document;
    }
    Lock_release(&set->lock);
    return r;
}

int PageSet_restartTracking(FvPageSet *set, uint32_t key, Edr_Doc *document)
{
    Lock_acquire(&set->lock);
    FvPageSetEntry *e = findKey(set, key);
    int r = Res_ok;
    if (!e)
        r = Res_pageSetNoEntry;
    else if (!e->tracker)
        r = Res_pageSetNoTracker;
    if (r == Res_ok) {
        if (document)
            giveTracker(document, e->tracker);
        startCounters(e->tracker);
    }
    Lock_release(&set->lock);
    return r;
}

void PageSet_finishTracking(FvPageSet *set, uint32_t key)
{
    Lock_acquire(&set->lock);
    FvPageSetEntry *e = findKey(set, key);
    if (e && e->tracker) {
        // Progress counts only feed the progress notice; the load goes on either way.
        (void)LoadProgress_setDone(e->tracker, categoryDocuments, 1);
        (void)LoadProgress_setDone(e->tracker, categoryObjects, 1);
    }
    Lock_release(&set->lock);
}

LoadProgress *PageSet_tracker(FvPageSet *set, uint32_t key)
{
    if (!set)
        return nullptr;
    Lock_acquire(&set->lock);
    FvPageSetEntry *e = findKey(set, key);
    LoadProgress *tracker = e ? e->tracker : nullptr;
    Lock_release(&set->lock);
    return tracker;
}

FvPage *PageSet_page(FvPageSet *set, uint32_t key)
{
    if (!set)
        return nullptr;
    Lock_acquire(&set->lock);
    FvPageSetEntry *e = findKey(set, key);
    FvPage *page = e ? e->page : nullptr;
    Lock_release(&set->lock);
    return page;
}

void PageSet_onEvent(FvPageSet *set, const EventProcMsg *msg)
{
    if (!set || !msg || msg->kind != 1 || !msg->payload)
        return;
    const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
    if (m->code != 15 && m->code != 16)
        return;
    Lock_acquire(&set->lock);
    LoadProgress *tracker = nullptr;
    for (FvPageSetEntry *e = set->head; e && !tracker; e = e->next)
        if (e->document && e->document == m->document)
            tracker = e->tracker;
    bool complete = false;
    if (tracker) {
        // Only the event that brings the count to its total announces the
        // first page; later ones find it there already.
        int32_t before = 0, done = 0, total = 0;
        LoadProgress_get(tracker, categoryObjects, &before, &total);
        // Progress counts only feed the progress notice; the load goes on either way.
        (void)LoadProgress_addDone(tracker, categoryObjects, 1);
        LoadProgress_get(tracker, categoryObjects, &done, &total);
        complete = total >= 0 && before < total && done >= total;
    }
    if (complete && set->context->eventProc) {
        EventProcCodeMsg first{codeFirstPage, m->document, nullptr, 0};
        // A notice that cannot be posted is lost; what it reports is done either way.
        (void)EventProc_postCode(set->context->eventProc, &first);
    }
    Lock_release(&set->lock);
}
