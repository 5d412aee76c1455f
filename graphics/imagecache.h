// The image cache: keeps decoded pictures alive after their last user let
// go, up to a byte budget.
//
// Every cached record starts with an ImageCacheEntry. The cache keeps its
// entries in one list from the least to the most recently used and, when a
// new entry needs room, drops the oldest entries nobody pins, through each
// entry's evict callback. Image views (graphics/imageview.h) are the main
// users; other drawing caches share the same budget with their own evict
// callbacks. One cache per engine instance (EngineContext::imageCache),
// shared by reference count. The budget is the setting
// "Vexlan_Image_Cache_Bytes", read once at creation; its default 0 caches
// nothing.
//
// The cache lock is taken after the image store lock and before any image
// lock; `used`, the list and every entry's pins change only under it.
// Evict callbacks run with the cache lock held.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct ImageCacheEntry;

// Frees the record that starts with entry; called with the cache lock held
// after the entry has left the cache.
typedef void (*ImageCacheEvictFn)(EngineContext *app, ImageCacheEntry *entry);

struct ImageCacheEntry {
    ImageCacheEntry *next; // the entry used after this one (towards newest)
    ImageCacheEntry *prev; // the entry used before it (towards oldest)
    uint32_t bytes;        // bytes counted; 0: not in the cache
    int32_t pins;          // current users; a pinned entry is never evicted
    ImageCacheEvictFn evict;
};

struct ImageCache {
    int32_t refCount;
    Lock lock;
    uint32_t used;   // bytes of every cached entry
    uint32_t budget; // "Vexlan_Image_Cache_Bytes"
    ImageCacheEntry *newest;
    ImageCacheEntry *oldest;
};

// Creates the context's cache (one reference, budget from the setting) or
// adds a reference to it. 0; 1 when memory runs out (nothing made).
[[nodiscard]] int ImageCache_acquire(EngineContext *app);
// Drops a reference; the last one frees the cache. Entries still cached
// then are left to their owners (they are only unlinked).
void ImageCache_release(EngineContext *app);

// Take and release the cache lock (nothing without a cache).
void ImageCache_lock(EngineContext *app);
void ImageCache_unlock(EngineContext *app);

// Clears links, bytes and pins and sets the callback.
void ImageCache_initEntry(ImageCacheEntry *entry, ImageCacheEvictFn evict);

// Reserves room for entry and caches it at the newest end: 1 when it is
// cached afterwards (also when it was already), 0 when it cannot be: larger
// than the budget, or the unpinned entries cannot make room (then nothing is
// evicted). Evicts the oldest unpinned entries until the new one fits.
// The caller holds the cache lock; ImageCache_reserveLocked takes it.
int ImageCache_reserve(EngineContext *app, ImageCacheEntry *entry, uint64_t bytes);
int ImageCache_reserveLocked(EngineContext *app, ImageCacheEntry *entry, uint64_t bytes);

// Takes a cached entry out of the cache (nothing for one not cached).
// The caller holds the lock; the Locked form takes it.
void ImageCache_remove(EngineContext *app, ImageCacheEntry *entry);
void ImageCache_removeLocked(EngineContext *app, ImageCacheEntry *entry);

// Marks a cached entry as the most recently used. The caller holds the
// lock.
void ImageCache_touch(EngineContext *app, ImageCacheEntry *entry);

// Add or drop one pin, taking the lock; the Held forms are for callers that
// hold it.
void ImageCache_pin(EngineContext *app, ImageCacheEntry *entry);
void ImageCache_unpin(EngineContext *app, ImageCacheEntry *entry);
void ImageCache_pinHeld(ImageCacheEntry *entry);
void ImageCache_unpinHeld(ImageCacheEntry *entry);

// A user lets go of entry, whose pixels now take bytes (caller holds the
// lock). 1 when the entry stays: other users still pin it, or it is cached
// at that size; 0 when the caller must free it: bytes 0, or no room.
int ImageCache_settle(EngineContext *app, ImageCacheEntry *entry, uint64_t bytes);
