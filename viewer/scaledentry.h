// Scaled-image cache entries: a pixel buffer made by drawing an image at a
// new size, offered to the engine's image cache (graphics/imagecache.h) so
// that the next redraw at that size can reuse it.
//
// An entry arrives in the cache pinned once; its owner unpins it
// (ImageCache_unpin) while not drawing with it and pins it again to use it.
// When the budget runs short the cache evicts unpinned entries: the
// eviction frees the scaled buffer and leaves the entry record with its
// owner, who frees it with ImageCacheEntry_remove.
//
// Lock order: the cache lock before the entry lock (the engine's
// scaledEntryLock, made by ImageCacheModule_start). Eviction runs inside
// the cache lock and takes the entry lock; removal drops the entry lock
// while it takes the cache lock and then looks at the entry again.
#pragma once

#include <cstdint>

#include "graphics/imagecache.h"

struct EngineContext;
struct PixelBuf;

enum : uint32_t {
    ScaledEntry_kindCount = 4,   // kinds 0 to 3; the two image-scaling paths use 2 and 3
    ScaledEntry_holdsBuffer = 1, // flags bit 0: the entry still holds its buffer
};

// The cache's link record first, then the entry's own fields. The owner's
// fields may follow.
struct ScaledImageEntry {
    ImageCacheEntry cache; // links, charged size, pins and evict callback
    EngineContext *context;
    PixelBuf *buffer; // the scaled buffer (owned; its pixels when it owns them)
    uint32_t kind;    // 0 to 3
    uint32_t flags;   // ScaledEntry_holdsBuffer
};

// Module start: takes a reference to the image cache and makes the entry
// lock. 0; 1 out of memory or the cache's error (nothing kept).
[[nodiscard]] int ImageCacheModule_start(EngineContext *context);
// Module stop: frees the entry lock and drops the cache reference when the
// lock exists.
void ImageCacheModule_stop(EngineContext *context);
// The module sequences' empty steps.
int Module_startNothing(EngineContext *context);
void Module_stopNothing(EngineContext *context);

// Offers entry (a record of the caller's, null allowed) holding its buffer
// to the cache, charged at bytes. Non-zero when the cache took it (the
// caller keeps the entry, pinned once). 0 when it did not: the buffer
// pointer is cleared and stays the caller's; the caller frees the entry.
// 0 for a null entry, or an engine without the entry lock.
int ImageCacheEntry_add(EngineContext *context, uint32_t kind, ScaledImageEntry *entry,
                        uint64_t bytes);
// The evict callback: under the entry lock, clears flag bit 0 and frees
// the scaled buffer. The entry record stays with its owner.
void ImageCacheEntry_onEvict(EngineContext *context, ImageCacheEntry *entry);
// Takes entry out of the cache when it still holds its buffer, frees that
// buffer and then the entry record. Null does nothing.
void ImageCacheEntry_remove(ScaledImageEntry *entry);
