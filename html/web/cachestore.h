// The web cache store: entry management of the HTTP cache's in-memory
// store.
//
// Entries sit in an in-use list, least recently used first. Readers hold
// references; an entry that nobody references is idle and counted once in
// its class's totals (bytes and entries) against the class's budgets. The
// last release of an entry settles it (kept and made most recently used,
// or recycled when it cannot be kept); recycled entries wait on a free
// list whose final release (the client's destroy operation) runs outside
// the store's lock. Lookup by URL matches an entry's URL or one of its
// aliases; among matches the newest stamp wins. What an entry holds and
// when it is fetched belong to the HTTP cache (html/web/httpcache.h).
//
// States of an entry: unpublished (self-linked, owned by its creator);
// published and busy (listed, references held, not counted); published
// and idle (listed, no reference, counted); free (on the free list).
//
// Locking: the store lock guards the list, the reference counts of
// published entries and the class totals; an entry's own lock (shared
// entries only) is always taken before the store lock. The client's done
// and destroy operations run without the store lock; the class's commit,
// close and make-room operations and the store hooks run under it.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct CacheEntry;
struct CacheStore;
struct EngineContext;
struct Url;

// Operations of an entry's owner.
struct CacheEntryClient {
    void (*destroy)(CacheEntry *entry); // the final release (never null)
    // Called when the entry is published, and when the last reference of an
    // unpublished entry goes. May be null.
    void (*done)(CacheEntry *entry);
};

// Shared by the entries of one kind: totals, budgets and operations (each
// may be null).
struct CacheClass {
    uint32_t bytesInUse; // bytes of the idle entries counted
    uint32_t byteBudget; // 0: entries of the class are never kept
    uint32_t count;      // idle entries counted
    int32_t maxEntries;  // 0 or less: no maximum
    void (*commit)(CacheEntry *entry);
    void (*close)(CacheEntry *entry);
    // Asked to make room for entry: *wanted bytes (0 when only the entry
    // count is at its maximum); may lower *wanted to what it freed.
    void (*makeRoom)(CacheStore *store, uint32_t *wanted, CacheEntry *entry);
};

// The owning module's services, called with the store lock held.
struct CacheStoreHooks {
    // Saves the file cache index (the hook itself skips a closing,
    // suspended or not persistent store). 0 or an error. May be null.
    int (*saveIndex)(CacheStore *store);
    // The two answers of a lookup for the entry and the request mode:
    // whether the entry is fresh and whether it may be used. May be null
    // (both answers 0).
    void (*checkEntry)(CacheStore *store, CacheEntry *entry, uint32_t *fresh, uint32_t *usable,
                       uint32_t mode);
    // Trims the entry's body buffer to its size at publishing. May be null.
    void (*trim)(CacheEntry *entry);
};

// A further URL under which an entry is found.
struct CacheAlias {
    Url *url;
    uint32_t word;
    CacheAlias *next;
};

struct CacheStore {
    void *owner; // the cache module
    Lock lock;
    CacheEntry *head; // the in-use list, least recently used first
    CacheEntry *tail;
    CacheEntry *freeList; // waiting for their final release, through next
    uint32_t persistent;  // read by the index writer
    uint32_t closing;     // set by CacheStore_destroy
    Url *indexUrl;        // the index file and its backup (owned)
    Url *backupIndexUrl;
    uint32_t suspended;           // read by the index writer
    const CacheStoreHooks *hooks; // may be null
};

struct CacheEntry {
    CacheStore *store;
    uint32_t shared; // non-zero: entryLock guards the entry
    uint32_t doomed; // no longer found, not kept once idle
    const CacheEntryClient *client;
    CacheEntry *next; // in-use list (and free list through next);
    CacheEntry *prev; // both pointing at the entry: unpublished
    uint32_t refCount;
    int64_t timeStamp;      // seconds; the newest wins a lookup
    uint32_t accountedSize; // what the entry adds to its class totals
    uint32_t accounted;
    Lock entryLock;
    CacheEntry *attached;   // a further entry this one holds a reference on
    Url *url;               // null: never kept
    uint32_t size;          // bytes
    uint32_t publishedSize; // size when published
    uint32_t publishedWord; // 0 when published
    CacheClass *cls;
    uint32_t persisted; // has a copy in the file cache
    void (*evictHook)(CacheEntry *entry);
    CacheAlias *aliases;
};

// A zeroed store with its lock, owned by owner, using hooks (may be null).
// 0; 1 when memory runs out, or the lock's error.
[[nodiscard]] int CacheStore_create(EngineContext *context, void *owner,
                                    const CacheStoreHooks *hooks, CacheStore **out);
// Saves the index under the lock, sets closing, clears the store (busy
// entries not kept) and frees both URLs, the lock and the store. A store
// without entries is not locked. Null: nothing.
void CacheStore_destroy(CacheStore *store);
// Recycles every listed entry, except that with keepBusy a referenced
// entry is marked doomed instead; then drains the free list.
void CacheStore_clear(CacheStore *store, uint32_t keepBusy);
void CacheStore_clearKeepBusy(CacheStore *store);
// Detaches the free list under the lock; after unlocking, makes each entry
// self-linked and calls its client's destroy operation.
void CacheStore_drainFree(CacheStore *store);
// Under the lock: CacheStore_findEntry; a found entry gets a reference and
// the hooks' two answers for mode. The entry or null (answers 0).
CacheEntry *CacheStore_lookup(CacheStore *store, const Url *url, uint32_t *fresh, uint32_t *usable,
                              uint32_t mode);
// The listed entry, not doomed, whose URL (or failing that one of its
// aliases) equals url; of several the newest stamp, ties to the one nearer
// the head. A URL with a data part is never found. Lock held by the caller.
CacheEntry *CacheStore_findEntry(CacheStore *store, const Url *url);
// Evicts idle entries that accept (null: all) from the head on: with
// *wanted 0 one entry at most, otherwise until *total has dropped by
// *wanted (or to 0). *wanted becomes the bytes freed from *total. Lock held
// by the caller.
void CacheStore_evictUntil(CacheStore *store, uint32_t *wanted, const uint32_t *total,
                           int (*accept)(CacheEntry *entry, void *arg), void *arg);

// Makes entry unpublished in store, with client and class, its lock set up
// when shared is non-zero. 0 or the lock's error.
[[nodiscard]] int CacheEntry_init(EngineContext *context, CacheEntry *entry, CacheStore *store,
                                  const CacheEntryClient *client, CacheClass *cls, uint32_t shared);
// A reference: an idle entry leaves its class totals. Store lock held by
// the caller (the Locked form takes it).
void CacheEntry_addRef(CacheEntry *entry);
void CacheEntry_addRefLocked(CacheEntry *entry);
// Gives back a reference (see the file comment) and drains the free list.
void CacheEntry_release(CacheEntry *entry);
// The count less one; at 0 the entry is settled. Store lock held by the
// caller (the Locked form takes it).
void CacheData_release(CacheEntry *entry);
// Keeps an idle entry (commit, account) or recycles it; veto (null: none)
// may refuse with a non-zero answer, which is returned. Lock held.
int CacheEntry_settle(CacheStore *store, CacheEntry *entry, CacheClass *cls,
                      int (*veto)(CacheStore *store, CacheEntry *entry));
// Counts the entry in its class and makes it the most recently used. Lock held.
void CacheEntry_account(CacheStore *store, CacheEntry *entry);
void CacheEntry_dropAccounting(CacheEntry *entry);
// Drops the accounting, then the evict hook, else CacheEntry_recycle. Lock held.
void CacheEntry_evict(CacheEntry *entry);
// Unlinks a published entry, releases its attached entry, closes it for
// its class and puts it on the free list. Null: nothing. Lock held.
void CacheEntry_recycle(CacheEntry *entry);
// Publishes: the client's done operation, then (unpublished entries only)
// the entry joins the tail of the in-use list.
void CacheEntry_notifyClient(CacheEntry *entry);

// True when the URL carries attached data (a posted body) of non-zero length.
int Url_hasDataPart(const Url *url);
