// The reader operations of Cache streams: how many bytes remain to the end
// of the resource, and the entry's events, told to the reader.
//
// An entry may be shared by readers on several threads while it is still
// being filled; then every access takes the entry's lock. That lock is not
// recursive, and a notification callback commonly reads the stream that
// told it, so the callbacks run after the lock is released.
#include "core/result.h"
#include "html/web/httpcache.h"

namespace
{

HttpCacheHandle *readerOf(VfsHandle *stream)
{
    return static_cast<HttpCacheHandle *>(stream->priv);
}

void enter(HttpCacheEntry *entry)
{
    if (entry->core.shared)
        Lock_acquire(&entry->core.entryLock);
}

void leave(HttpCacheEntry *entry)
{
    if (entry->core.shared)
        Lock_release(&entry->core.entryLock);
}

} // namespace

int HttpCacheHandle_setNotify(VfsHandle *stream, VfsEventFn callback, void *userData, uint32_t mask)
{
    HttpCacheHandle *reader = readerOf(stream);
    HttpCacheEntry *entry = reader->entry;
    enter(entry);
    reader->notify = callback;
    reader->userData = userData;
    reader->mask = mask;
    uint32_t due = callback ? entry->ops->events(entry) & mask : 0;
    leave(entry);
    for (uint32_t bit = 1; due; bit <<= 1) {
        if (due & bit) {
            due &= ~bit;
            callback(nullptr, userData, bit);
        }
    }
    return Res_ok;
}

int HttpCacheHandle_available(VfsHandle *stream, uint32_t *count)
{
    *count = 0;
    HttpCacheHandle *reader = readerOf(stream);
    HttpCacheEntry *entry = reader->entry;
    enter(entry);
    uint32_t length = 0;
    int r = entry->ops->available(entry, &length);
    // Without a length there is no count: it stays 0 rather than going
    // negative by the reader's position.
    if (r == Res_ok && length > reader->position)
        *count = uint32_t(length - reader->position);
    leave(entry);
    return r;
}

uint32_t HttpCacheHandle_events(VfsHandle *stream)
{
    HttpCacheEntry *entry = readerOf(stream)->entry;
    enter(entry);
    uint32_t events = entry->ops->events(entry);
    leave(entry);
    return events;
}
