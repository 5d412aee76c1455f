// The web cache store: see cachestore.h.
#include "html/web/cachestore.h"

#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/number.h"
#include "platform/url/url.h"

namespace {

bool isUnpublished(const CacheEntry *entry)
{
    return entry->next == entry && entry->prev == entry;
}

// Out of the in-use list: unpublished, or recycled onto the free list
// (whose link is next; prev stays pointing at the entry).
bool isUnlisted(const CacheEntry *entry)
{
    return entry->prev == entry;
}

void selfLink(CacheEntry *entry)
{
    entry->next = entry;
    entry->prev = entry;
}

void cacheStoreUnlink(CacheStore *store, CacheEntry *entry)
{
    if (entry->prev)
        entry->prev->next = entry->next;
    else
        store->head = entry->next;
    if (entry->next)
        entry->next->prev = entry->prev;
    else
        store->tail = entry->prev;
    selfLink(entry);
}

void appendTail(CacheStore *store, CacheEntry *entry)
{
    entry->next = nullptr;
    entry->prev = store->tail;
    if (store->tail)
        store->tail->next = entry;
    else
        store->head = entry;
    store->tail = entry;
}

void saveIndex(CacheStore *store)
{
    if (store->hooks && store->hooks->saveIndex)
        (void)store->hooks->saveIndex(store);
}

bool urlMatches(const CacheEntry *entry, const Url *url)
{
    if (entry->url && !Url_hasDataPart(entry->url) && Url_equals(entry->url, url))
        return true;
    for (const CacheAlias *a = entry->aliases; a; a = a->next)
        if (a->url && Url_equals(a->url, url))
            return true;
    return false;
}

// The smallest difference that makes one stamp newer than another.
constexpr double kStampEpsilon = 1.0 / 4503599627370496.0; // 2^-52

} // namespace

int Url_hasDataPart(const Url *url)
{
    return url && url->dataLength != 0;
}

int CacheStore_create(EngineContext *context, void *owner, const CacheStoreHooks *hooks,
                      CacheStore **out)
{
    *out = nullptr;
    CacheStore *store = static_cast<CacheStore *>(Mem_calloc(1, sizeof(CacheStore)));
    if (!store)
        return Res_noMemory;
    int err = Lock_init(context, &store->lock);
    if (err) {
        Mem_free(store);
        return err;
    }
    store->owner = owner;
    store->hooks = hooks;
    *out = store;
    return Res_ok;
}

void CacheStore_destroy(CacheStore *store)
{
    if (!store)
        return;
    // An empty store needs no lock: nothing else can reach its entries.
    bool busy = store->head || store->freeList;
    if (busy)
        Lock_acquire(&store->lock);
    saveIndex(store);
    store->closing = 1;
    if (busy) {
        Lock_release(&store->lock);
        CacheStore_clear(store, 0);
    }
    Url_free(store->indexUrl);
    Url_free(store->backupIndexUrl);
    Lock_fini(&store->lock);
    Mem_free(store);
}

void CacheStore_clear(CacheStore *store, uint32_t keepBusy)
{
    if (!store)
        return;
    Lock_acquire(&store->lock);
    CacheEntry *entry = store->head;
    while (entry) {
        CacheEntry *next = entry->next;
        if (keepBusy && entry->refCount)
            entry->doomed = 1;
        else
            CacheEntry_recycle(entry);
        entry = next;
    }
    Lock_release(&store->lock);
    CacheStore_drainFree(store);
}

void CacheStore_clearKeepBusy(CacheStore *store)
{
    CacheStore_clear(store, 1);
}

void CacheStore_drainFree(CacheStore *store)
{
    Lock_acquire(&store->lock);
    CacheEntry *list = store->freeList;
    store->freeList = nullptr;
    Lock_release(&store->lock);
    while (list) {
        CacheEntry *next = list->next;
        selfLink(list);
        list->client->destroy(list);
        list = next;
    }
}

CacheEntry *CacheStore_lookup(CacheStore *store, const Url *url, uint32_t *fresh, uint32_t *usable,
                              uint32_t mode)
{
    *fresh = 0;
    *usable = 0;
    Lock_acquire(&store->lock);
    CacheEntry *entry = CacheStore_findEntry(store, url);
    if (entry) {
        CacheEntry_addRef(entry);
        if (store->hooks && store->hooks->checkEntry)
            store->hooks->checkEntry(store, entry, fresh, usable, mode);
    }
    Lock_release(&store->lock);
    return entry;
}

CacheEntry *CacheStore_findEntry(CacheStore *store, const Url *url)
{
    if (!url || Url_hasDataPart(url))
        return nullptr;
    CacheEntry *best = nullptr;
    for (CacheEntry *entry = store->head; entry; entry = entry->next) {
        if (entry->doomed || !urlMatches(entry, url))
            continue;
        if (!best || Std_difftime(entry->timeStamp, best->timeStamp) > kStampEpsilon)
            best = entry;
    }
    return best;
}

void CacheStore_evictUntil(CacheStore *store, uint32_t *wanted, const uint32_t *total,
                           int (*accept)(CacheEntry *entry, void *arg), void *arg)
{
    uint32_t total0 = *total;
    bool oneEntry = *wanted == 0;
    uint32_t target = *wanted > total0 ? 0 : total0 - *wanted;
    CacheEntry *entry = store->head;
    while (entry && (oneEntry || *total > target)) {
        CacheEntry *next = entry->next;
        if (entry->refCount == 0 && (!accept || accept(entry, arg))) {
            CacheEntry_evict(entry);
            if (oneEntry)
                break;
            // Start again at the head, unless an evict hook kept the entry
            // listed: then go on after it, so that the walk always ends.
            if (isUnlisted(entry))
                next = store->head;
        }
        entry = next;
    }
    *wanted = total0 >= *total ? total0 - *total : 0;
}

int CacheEntry_init(EngineContext *context, CacheEntry *entry, CacheStore *store,
                    const CacheEntryClient *client, CacheClass *cls, uint32_t shared)
{
    entry->store = store;
    entry->client = client;
    entry->cls = cls;
    selfLink(entry);
    int err = Lock_init(context, &entry->entryLock);
    if (err)
        return err;
    entry->shared = shared;
    return Res_ok;
}

void CacheEntry_addRef(CacheEntry *entry)
{
    if (entry->refCount == 0)
        CacheEntry_dropAccounting(entry);
    entry->refCount++;
}

void CacheEntry_addRefLocked(CacheEntry *entry)
{
    Lock_acquire(&entry->store->lock);
    CacheEntry_addRef(entry);
    Lock_release(&entry->store->lock);
}

void CacheEntry_release(CacheEntry *entry)
{
    CacheStore *store = entry->store;
    bool shared = entry->shared != 0;
    if (shared)
        Lock_acquire(&entry->entryLock);
    Lock_acquire(&store->lock);
    if (!isUnpublished(entry)) {
        if (shared)
            Lock_release(&entry->entryLock);
        CacheData_release(entry);
    } else {
        uint32_t left = entry->refCount ? --entry->refCount : 0;
        Lock_release(&store->lock);
        if (left == 0 && entry->client->done)
            entry->client->done(entry);
        if (shared)
            Lock_release(&entry->entryLock);
        Lock_acquire(&store->lock);
        if (left == 0)
            CacheEntry_recycle(entry);
    }
    Lock_release(&store->lock);
    CacheStore_drainFree(store);
}

void CacheData_release(CacheEntry *entry)
{
    if (entry->refCount == 0)
        return;
    if (--entry->refCount == 0)
        (void)CacheEntry_settle(entry->store, entry, entry->cls, nullptr);
}

int CacheEntry_settle(CacheStore *store, CacheEntry *entry, CacheClass *cls,
                      int (*veto)(CacheStore *store, CacheEntry *entry))
{
    if (!entry->url || isUnpublished(entry) || entry->doomed || !cls || cls->byteBudget == 0 ||
        entry->size > cls->byteBudget) {
        CacheEntry_recycle(entry);
        return 0;
    }
    uint32_t wanted = 0;
    bool makeRoom = false;
    if (uint64_t(cls->bytesInUse) + entry->size > cls->byteBudget) {
        wanted = entry->size - (cls->byteBudget - std::min(cls->bytesInUse, cls->byteBudget));
        makeRoom = true;
    }
    if (cls->maxEntries > 0 && cls->count >= uint32_t(cls->maxEntries))
        makeRoom = true;
    if (makeRoom && cls->makeRoom) {
        cls->makeRoom(store, &wanted, entry);
        if (isUnlisted(entry))
            return 0; // the make-room slot evicted the entry itself
    }
    if (veto) {
        int answer = veto(store, entry);
        if (answer) {
            CacheEntry_recycle(entry);
            return answer;
        }
    }
    if (cls->commit)
        cls->commit(entry);
    CacheEntry_account(store, entry);
    return 0;
}

void CacheEntry_account(CacheStore *store, CacheEntry *entry)
{
    CacheClass *cls = entry->cls;
    entry->accountedSize = entry->size;
    cls->bytesInUse += entry->size;
    cls->count++;
    entry->accounted = 1;
    if (store->tail != entry && !isUnpublished(entry)) {
        cacheStoreUnlink(store, entry);
        appendTail(store, entry);
    }
}

void CacheEntry_dropAccounting(CacheEntry *entry)
{
    if (!entry->accounted)
        return;
    CacheClass *cls = entry->cls;
    cls->count--;
    cls->bytesInUse -= entry->accountedSize;
    entry->accountedSize = 0;
    entry->accounted = 0;
}

void CacheEntry_evict(CacheEntry *entry)
{
    CacheEntry_dropAccounting(entry);
    if (entry->evictHook)
        entry->evictHook(entry);
    else
        CacheEntry_recycle(entry);
}

void CacheEntry_recycle(CacheEntry *entry)
{
    if (!entry)
        return;
    CacheStore *store = entry->store;
    if (!isUnpublished(entry)) {
        CacheEntry_dropAccounting(entry);
        cacheStoreUnlink(store, entry);
        if (entry->persisted)
            saveIndex(store);
    }
    if (entry->attached) {
        CacheEntry *attached = entry->attached;
        entry->attached = nullptr;
        CacheData_release(attached);
    }
    if (entry->cls && entry->cls->close)
        entry->cls->close(entry);
    entry->next = store->freeList;
    store->freeList = entry;
}

void CacheEntry_notifyClient(CacheEntry *entry)
{
    CacheStore *store = entry->store;
    if (entry->client->done)
        entry->client->done(entry);
    Lock_acquire(&store->lock);
    if (isUnpublished(entry)) {
        entry->publishedSize = entry->size;
        entry->publishedWord = 0;
        if (store->hooks && store->hooks->trim)
            store->hooks->trim(entry);
        if (entry->attached) {
            CacheEntry *attached = entry->attached;
            entry->attached = nullptr;
            CacheData_release(attached);
        }
        appendTail(store, entry);
        if (entry->persisted)
            saveIndex(store);
    }
    Lock_release(&store->lock);
    CacheStore_drainFree(store);
}
