// Scaled-image cache entries (see scaledentry.h).
#include "viewer/scaledentry.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "graphics/pixelbuf.h"

namespace {

// The clean-up of every kind: frees the scaled buffer (its pixels with it
// when it owns them) and clears the pointer.
void freeBuffer(ScaledImageEntry *entry)
{
    PixelBuf_destroy(entry->buffer);
    entry->buffer = nullptr;
}

typedef void (*CleanupFn)(ScaledImageEntry *entry);
constexpr CleanupFn kCleanup[ScaledEntry_kindCount] = {freeBuffer, freeBuffer, freeBuffer,
                                                       freeBuffer};

void cleanup(ScaledImageEntry *entry)
{
    kCleanup[entry->kind < ScaledEntry_kindCount ? entry->kind : 0](entry);
}

} // namespace

int ImageCacheModule_start(EngineContext *context)
{
    int r = ImageCache_acquire(context);
    if (r != Res_ok)
        return r;
    Lock *lock = static_cast<Lock *>(Mem_calloc(1, sizeof(Lock)));
    r = lock ? Lock_init(context, lock) : Res_noMemory;
    if (r != Res_ok) {
        Mem_free(lock);
        ImageCache_release(context);
        return r;
    }
    context->scaledEntryLock = lock;
    return Res_ok;
}

void ImageCacheModule_stop(EngineContext *context)
{
    if (!context || !context->scaledEntryLock)
        return;
    Lock_fini(context->scaledEntryLock);
    Mem_free(context->scaledEntryLock);
    context->scaledEntryLock = nullptr;
    ImageCache_release(context);
}

int Module_startNothing(EngineContext *)
{
    return Res_ok;
}

void Module_stopNothing(EngineContext *) {}

int ImageCacheEntry_add(EngineContext *context, uint32_t kind, ScaledImageEntry *entry,
                        uint64_t bytes)
{
    if (!entry)
        return 0;
    ImageCache_initEntry(&entry->cache, ImageCacheEntry_onEvict);
    entry->flags |= ScaledEntry_holdsBuffer;
    entry->context = context;
    entry->kind = kind < ScaledEntry_kindCount ? kind : 0;
    int taken = 0;
    if (context && context->scaledEntryLock) {
        ImageCache_pin(context, &entry->cache);
        taken = ImageCache_reserveLocked(context, &entry->cache, bytes);
    }
    if (taken)
        return taken;
    // Refused: the buffer stays the caller's, so the clean-up frees nothing.
    entry->buffer = nullptr;
    entry->flags &= ~uint32_t(ScaledEntry_holdsBuffer);
    cleanup(entry);
    return 0;
}

void ImageCacheEntry_onEvict(EngineContext *context, ImageCacheEntry *cacheEntry)
{
    ScaledImageEntry *entry = reinterpret_cast<ScaledImageEntry *>(cacheEntry);
    Lock *lock = context ? context->scaledEntryLock : nullptr;
    if (lock)
        Lock_acquire(lock);
    entry->flags &= ~uint32_t(ScaledEntry_holdsBuffer);
    cleanup(entry);
    if (lock)
        Lock_release(lock);
}

void ImageCacheEntry_remove(ScaledImageEntry *entry)
{
    if (!entry)
        return;
    EngineContext *context = entry->context;
    Lock *lock = context ? context->scaledEntryLock : nullptr;
    if (lock)
        Lock_acquire(lock);
    if (entry->flags & ScaledEntry_holdsBuffer) {
        // The cache lock comes first: drop ours while taking it, then look
        // again, since an eviction may have freed the buffer meanwhile.
        if (lock)
            Lock_release(lock);
        ImageCache_removeLocked(context, &entry->cache);
        if (lock)
            Lock_acquire(lock);
        if (entry->flags & ScaledEntry_holdsBuffer) {
            entry->flags &= ~uint32_t(ScaledEntry_holdsBuffer);
            cleanup(entry);
        }
    }
    Mem_free(entry);
    if (lock)
        Lock_release(lock);
}
