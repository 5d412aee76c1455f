// The image cache: a byte budget over a least-recently-used list of
// entries, evicting only entries that nobody pins.
#include "graphics/imagecache.h"

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/engine.h"

int ImageCache_acquire(EngineContext *app)
{
    if (app->imageCache) {
        app->imageCache->refCount++;
        return Res_ok;
    }
    ImageCache *cache = static_cast<ImageCache *>(Mem_calloc(1, sizeof(ImageCache)));
    if (!cache)
        return Res_noMemory;
    cache->refCount = 1;
    // Lock_init cannot fail.
    (void)Lock_init(app, &cache->lock);
    cache->budget = Config_getIntA(app, app->config, nullptr, "Vexlan_Image_Cache_Bytes", 0);
    app->imageCache = cache;
    return Res_ok;
}

void ImageCache_release(EngineContext *app)
{
    ImageCache *cache = app ? app->imageCache : nullptr;
    if (!cache || --cache->refCount > 0)
        return;
    for (ImageCacheEntry *e = cache->oldest; e;) {
        ImageCacheEntry *next = e->next;
        e->next = e->prev = nullptr;
        e->bytes = 0;
        e = next;
    }
    Lock_fini(&cache->lock);
    Mem_free(cache);
    app->imageCache = nullptr;
}

void ImageCache_lock(EngineContext *app)
{
    if (app && app->imageCache)
        Lock_acquire(&app->imageCache->lock);
}

void ImageCache_unlock(EngineContext *app)
{
    if (app && app->imageCache)
        Lock_release(&app->imageCache->lock);
}

void ImageCache_initEntry(ImageCacheEntry *entry, ImageCacheEvictFn evict)
{
    entry->next = entry->prev = nullptr;
    entry->bytes = 0;
    entry->pins = 0;
    entry->evict = evict;
}

namespace {

void unlink(ImageCache *cache, ImageCacheEntry *entry)
{
    if (entry->prev)
        entry->prev->next = entry->next;
    else
        cache->oldest = entry->next;
    if (entry->next)
        entry->next->prev = entry->prev;
    else
        cache->newest = entry->prev;
    entry->next = entry->prev = nullptr;
}

void appendNewest(ImageCache *cache, ImageCacheEntry *entry)
{
    entry->next = nullptr;
    entry->prev = cache->newest;
    if (cache->newest)
        cache->newest->next = entry;
    else
        cache->oldest = entry;
    cache->newest = entry;
}

} // namespace

int ImageCache_reserve(EngineContext *app, ImageCacheEntry *entry, uint64_t bytes)
{
    ImageCache *cache = app ? app->imageCache : nullptr;
    if (!cache)
        return 0;
    if (entry->bytes != 0)
        return 1;
    if (bytes == 0 || bytes > cache->budget)
        return 0;
    uint64_t used = cache->used;
    if (used + bytes > cache->budget) {
        // First see whether the unpinned entries can make room at all, so
        // that a refused entry costs nobody else their place.
        int64_t need = int64_t(bytes + used - cache->budget);
        for (ImageCacheEntry *e = cache->oldest; e && need > 0; e = e->next)
            if (e->pins == 0)
                need -= int64_t(e->bytes);
        if (need > 0)
            return 0;
        int64_t target = int64_t(cache->budget) - int64_t(bytes);
        if (target < 0)
            target = 0;
        for (ImageCacheEntry *e = cache->oldest; e && int64_t(cache->used) > target;) {
            ImageCacheEntry *next = e->next;
            if (e->pins == 0) {
                ImageCache_remove(app, e);
                if (e->evict)
                    e->evict(app, e);
            }
            e = next;
        }
    }
    entry->bytes = uint32_t(bytes);
    cache->used += uint32_t(bytes);
    appendNewest(cache, entry);
    return 1;
}

int ImageCache_reserveLocked(EngineContext *app, ImageCacheEntry *entry, uint64_t bytes)
{
    ImageCache_lock(app);
    int r = ImageCache_reserve(app, entry, bytes);
    ImageCache_unlock(app);
    return r;
}

void ImageCache_remove(EngineContext *app, ImageCacheEntry *entry)
{
    ImageCache *cache = app ? app->imageCache : nullptr;
    if (!cache || entry->bytes == 0)
        return;
    cache->used -= entry->bytes;
    entry->bytes = 0;
    unlink(cache, entry);
}

void ImageCache_removeLocked(EngineContext *app, ImageCacheEntry *entry)
{
    ImageCache_lock(app);
    ImageCache_remove(app, entry);
    ImageCache_unlock(app);
}

void ImageCache_touch(EngineContext *app, ImageCacheEntry *entry)
{
    ImageCache *cache = app ? app->imageCache : nullptr;
    if (!cache || entry->bytes == 0 || cache->newest == entry)
        return;
    unlink(cache, entry);
    appendNewest(cache, entry);
}

void ImageCache_pinHeld(ImageCacheEntry *entry)
{
    entry->pins++;
}

void ImageCache_unpinHeld(ImageCacheEntry *entry)
{
    if (entry->pins > 0)
        entry->pins--;
}

void ImageCache_pin(EngineContext *app, ImageCacheEntry *entry)
{
    ImageCache_lock(app);
    ImageCache_pinHeld(entry);
    ImageCache_unlock(app);
}

void ImageCache_unpin(EngineContext *app, ImageCacheEntry *entry)
{
    ImageCache_lock(app);
    ImageCache_unpinHeld(entry);
    ImageCache_unlock(app);
}

int ImageCache_settle(EngineContext *app, ImageCacheEntry *entry, uint64_t bytes)
{
    if (entry->pins != 1)
        return 1;
    if (bytes == 0) {
        ImageCache_remove(app, entry);
        return 0;
    }
    if (entry->bytes != 0 && entry->bytes == bytes) {
        ImageCache_touch(app, entry);
        return 1;
    }
    ImageCache_remove(app, entry);
    return ImageCache_reserve(app, entry, bytes);
}
