// Cache streams: the opener, which finds, revalidates or creates the cache
// entry of a URL and opens its origin through the stream layer, and the
// Cache row's operations on a reader handle: reading while the entry is
// still being filled, positions, properties, control codes, how many bytes
// remain to the end of the resource and the entry's events.
//
// An entry may be shared by readers on several threads while it is still
// being filled; then every access takes the entry's lock. That lock is not
// recursive, and a notification callback commonly reads the stream that
// told it, so the callbacks run after the lock is released.
#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "html/web/httpcache.h"
#include "platform/url/url.h"

namespace {

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

enum : uint32_t {
    kInfoLength = 0,
    kInfoType = 1,
    kInfoCharset = 2,
    kInfoLastModified = 4,
    kInfoStatus = 7,
    kInfoAuth = 8,
    kInfoWhole = 11,
    kInfoText3 = 15,
    kInfoHttpStatus = 17,
    kControlCancel = 3,
    kControlFinalUrl = 16,
    kEventEnd = 8,
};

void doom(HttpCacheEntry *entry)
{
    CacheStore *store = entry->core.store;
    Lock_acquire(&store->lock);
    entry->core.doomed = 1;
    Lock_release(&store->lock);
}

// Whether a complete response may be kept: a URL that lookups can find,
// no error status and not given up.
bool keepable(const HttpCacheEntry *entry)
{
    return entry->core.url && !Url_hasDataPart(entry->core.url) && !entry->core.doomed &&
           entry->status == 0 && entry->httpStatus < 400;
}

// Reads the origin into the entry until wanted bytes are stored or the
// origin ends (entry lock held when shared). At the end the origin is
// closed, an unknown length becomes the stored one and a keepable entry
// is published, and *ended is set: the caller tells the readers once it
// has released the entry's lock. A failure of the origin is kept as the
// entry's status and the entry is given up: it is read no further and
// never kept.
int fill(HttpCacheEntry *entry, uint64_t wanted, bool *ended)
{
    if (entry->status)
        return entry->status;
    if (!entry->origin || entry->complete)
        return Res_ok;
    uint64_t before = entry->stored;
    int err = entry->ops->fetch(entry, wanted);
    if (err) {
        entry->status = err;
        (void)entry->ops->closeOrigin(entry);
        doom(entry);
        return err;
    }
    if (entry->complete) {
        *ended = true;
        if (!entry->totalLength)
            entry->totalLength = entry->stored;
        (void)entry->ops->closeOrigin(entry);
        if (keepable(entry))
            HttpCacheEntry_publish(entry);
    }
    if (entry->stored != before) {
        for (HttpCacheHandle *h = entry->readers; h; h = h->next)
            if (h->progress)
                (void)h->progress(h->progressArg, entry->stored, entry->totalLength);
    }
    return Res_ok;
}

// Tells the readers of the end of the data (entry lock not held).
void tellEnd(HttpCacheEntry *entry, bool ended)
{
    if (ended)
        HttpCacheEntry_notifyHandles(entry, 15);
}

// A new reader on entry for stream, which then holds the reader. A second
// reader makes the entry shared.
int attach(VfsHandle *stream, HttpCacheEntry *entry, uint32_t mode)
{
    if (entry->readers)
        entry->core.shared = 1;
    HttpCacheHandle *reader = nullptr;
    int err = HttpCache_handleNew(entry, mode, &reader);
    if (err)
        return err;
    stream->priv = reader;
    return Res_ok;
}

// The stored copy was found still valid by the answer in probe: its times
// are renewed from that answer, its body and validators stay.
void renew(HttpCacheEntry *entry, HttpCacheEntry *probe)
{
    enter(entry);
    HttpCacheFields fields = probe->fields;
    if (fields.lastModified == -1)
        fields.lastModified = entry->fields.lastModified;
    fields.noCache |= entry->fields.noCache;
    entry->fields = fields;
    HttpCache_computeFreshness(&entry->fields, entry->core.url, entry->httpStatus,
                               entry->cache->flags);
    entry->core.timeStamp = fields.responseTime;
    leave(entry);
}

// Opens the origin of url in a new entry; with stale, the entry carries
// its validators (a conditional request). *out is stale itself when the
// origin finds it still valid, otherwise the new entry (unpublished, one
// reference).
int fetchEntry(HttpCache *cache, const Url *url, HttpCacheEntry *stale, HttpCacheEntry **out)
{
    *out = nullptr;
    HttpCacheEntry *entry = nullptr;
    int err = HttpCacheEntry_create(cache, url, &entry, cache->entryInit);
    if (err)
        return err;
    entry->core.refCount = 1;
    if (stale) {
        enter(stale);
        entry->fields.date = stale->fields.date;
        entry->fields.lastModified = stale->fields.lastModified;
        leave(stale);
    }
    err = entry->ops->openOrigin(entry);
    if (!err && stale && entry->fetchState == 2) {
        err = entry->ops->finish(entry);
        if (!err)
            renew(stale, entry);
        HttpCacheEntry_free(entry);
        if (!err)
            *out = stale;
        return err;
    }
    if (!err) {
        // A new answer: the validators of the old one do not describe it.
        entry->fields.date = entry->fields.lastModified = -1;
        err = entry->ops->finish(entry);
    }
    if (!err) {
        HttpCacheEntry_chooseStore(entry);
        // Without a data file the body is kept in memory.
        if (entry->store == &HttpCache_fileStore &&
            entry->store->prepare(entry, entry->totalLength, 0) != Res_ok) {
            entry->core.cls = &cache->memoryClass;
            entry->core.persisted = 0;
            (void)HttpCache_memoryStore.select(entry);
        }
    }
    if (err) {
        HttpCacheEntry_free(entry);
        return err;
    }
    *out = entry;
    return Res_ok;
}

// ------------------------------------------------------------ the Cache row

int cacheClose(VfsHandle *stream)
{
    HttpCacheHandle *reader = readerOf(stream);
    if (!reader)
        return Res_ok;
    HttpCacheEntry *entry = reader->entry;
    int r = reader->error ? int(Res_vfsBufferLent) : int(Res_ok);
    HttpCache_handleFree(reader);
    stream->priv = nullptr;
    // The last reference of an entry that is not complete (unpublished)
    // recycles it with whatever it holds.
    CacheEntry_release(&entry->core);
    return r;
}

int cacheGetReadBuf(VfsHandle *stream, size_t want, const uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    HttpCacheHandle *reader = readerOf(stream);
    if (reader->error)
        return Res_vfsBufferLent;
    HttpCacheEntry *entry = reader->entry;
    want = std::min<size_t>(want, Vfs_maxRequest);
    if (!reader->buffer && !(reader->buffer = Mem_malloc(Vfs_maxRequest)))
        return Res_noMemory;
    enter(entry);
    // The entry fetches to the next multiple of 1024 beyond the wanted end.
    uint64_t end = reader->position + want;
    bool ended = false;
    int err = fill(entry, (end / 1024 + 1) * 1024, &ended);
    if (!err && entry->store && want) {
        const uint8_t *bytes = nullptr;
        size_t n = 0;
        err = entry->store->read(entry, reader->position, want, &bytes, &n);
        if (!err && bytes) {
            // Another reader's fetch may move the body: the reader keeps a copy.
            memcpy(reader->buffer, bytes, n);
            entry->store->releaseRead(entry, bytes);
            *ptr = static_cast<const uint8_t *>(reader->buffer);
            *len = n;
        }
    }
    leave(entry);
    tellEnd(entry, ended);
    if (err)
        reader->error = 1;
    return err;
}

int cacheReadDone(VfsHandle *stream, size_t n)
{
    HttpCacheHandle *reader = readerOf(stream);
    HttpCacheEntry *entry = reader->entry;
    enter(entry);
    uint64_t room = entry->stored > reader->position ? entry->stored - reader->position : 0;
    reader->position += std::min<uint64_t>(n, room);
    leave(entry);
    return Res_ok;
}

int cacheTell(VfsHandle *stream, uint64_t *position)
{
    HttpCacheHandle *reader = readerOf(stream);
    *position = reader->position;
    return reader->error ? int(Res_vfsBufferLent) : int(Res_ok);
}

// A position beyond the resource's end is refused (788).
int cacheSeek(VfsHandle *stream, uint64_t position)
{
    HttpCacheHandle *reader = readerOf(stream);
    if (reader->error)
        return Res_vfsBufferLent;
    HttpCacheEntry *entry = reader->entry;
    enter(entry);
    bool ended = false;
    int err = position > entry->stored ? fill(entry, position, &ended) : int(Res_ok);
    if (!err && position > entry->stored)
        err = Res_fileSeek;
    if (!err)
        reader->position = position;
    leave(entry);
    tellEnd(entry, ended);
    return err;
}

int cacheGetInfo(VfsHandle *stream, uint32_t code, uintptr_t *value)
{
    *value = 0;
    HttpCacheHandle *reader = readerOf(stream);
    HttpCacheEntry *entry = reader->entry;
    int r = Res_ok;
    bool ended = false;
    enter(entry);
    switch (code) {
    case kInfoWhole:
        if (!entry->totalLength)
            r = fill(entry, UINT64_MAX, &ended);
        [[fallthrough]];
    case kInfoLength:
        if (entry->totalLength)
            *value = reinterpret_cast<uintptr_t>(&entry->totalLength);
        break;
    case kInfoType:
    case kInfoCharset:
    case kInfoText3: {
        const char16_t *text = code == kInfoType      ? entry->contentType
                               : code == kInfoCharset ? entry->charset
                                                      : entry->texts[2];
        if (text)
            *value = reinterpret_cast<uintptr_t>(text);
        else
            r = Res_vfsInfoUnknown;
        break;
    }
    case kInfoLastModified: *value = uintptr_t(HttpCacheEntry_lastModified(entry)); break;
    case kInfoStatus: *value = uintptr_t(uint32_t(entry->status)); break;
    case kInfoAuth:
        // The record has the layout of VfsInfo8: four texts and two words.
        if (entry->auth)
            *value = reinterpret_cast<uintptr_t>(entry->auth);
        else
            r = Res_vfsInfoUnknown;
        break;
    case kInfoHttpStatus: *value = uintptr_t(uint32_t(entry->httpStatus)); break;
    default: r = Res_vfsNotAvailable; break;
    }
    leave(entry);
    tellEnd(entry, ended);
    return r;
}

// Control codes: 3 cancels the reader, 16 gives the stream the entry's
// final URL; other codes 772.
int cacheSetInfo(VfsHandle *stream, uint32_t code, uintptr_t)
{
    HttpCacheHandle *reader = readerOf(stream);
    HttpCacheEntry *entry = reader->entry;
    if (code == kControlCancel) {
        if (reader->error) {
            // The reader failed: its entry is given up rather than told.
            doom(entry);
            return Res_ok;
        }
        reader->error = 1;
        if (reader->notify && (reader->mask & kEventEnd))
            reader->notify(nullptr, reader->userData, kEventEnd);
        return Res_ok;
    }
    if (code != kControlFinalUrl)
        return Res_vfsInfoNotSettable;
    enter(entry);
    int r = Res_ok;
    if (entry->core.url && (!stream->url || !Url_equals(stream->url, entry->core.url))) {
        Url *copy = Url_copy(entry->core.url);
        if (copy) {
            Url_free(stream->url);
            stream->url = copy;
        } else {
            r = Res_noMemory;
        }
    }
    leave(entry);
    return r;
}

int cacheClone(VfsHandle *stream, VfsHandle *copy)
{
    HttpCacheHandle *reader = readerOf(stream);
    HttpCacheEntry *entry = reader->entry;
    CacheEntry_addRefLocked(&entry->core);
    int err = attach(copy, entry, reader->mode);
    if (err)
        CacheEntry_release(&entry->core);
    return err;
}

// The header lookup: (name, char **value). Only "Refresh:" is kept.
int cacheHeader(VfsHandle *stream, uintptr_t a, uintptr_t b)
{
    const char *name = reinterpret_cast<const char *>(a);
    char **value = reinterpret_cast<char **>(b);
    *value = nullptr;
    HttpCacheEntry *entry = readerOf(stream)->entry;
    if (!name || Cstr_icmp(name, "Refresh:") != 0)
        return Res_vfsNotAvailable;
    enter(entry);
    int r = Res_vfsNotAvailable;
    if (entry->refresh) {
        size_t n = strlen(entry->refresh) + 1;
        *value = static_cast<char *>(Mem_malloc(n));
        r = *value ? int(Res_ok) : int(Res_noMemory);
        if (*value)
            memcpy(*value, entry->refresh, n);
    }
    leave(entry);
    return r;
}

// Starts a fetch of a bytes (0: all of the resource); Res_vfsBufferLent for a
// failed reader.
int cacheFetch(VfsHandle *stream, uintptr_t a, uintptr_t)
{
    HttpCacheHandle *reader = readerOf(stream);
    if (reader->error)
        return Res_vfsBufferLent;
    HttpCacheEntry *entry = reader->entry;
    enter(entry);
    bool ended = false;
    int err = fill(entry, a ? uint64_t(a) : UINT64_MAX, &ended);
    leave(entry);
    tellEnd(entry, ended);
    return err;
}

// A seek to the 64-bit position (low, high words); 788 beyond the end.
int cacheSeekWords(VfsHandle *stream, uintptr_t low, uintptr_t high)
{
    if ((low >> 32) || (high >> 32))
        return Res_fileSeek;
    return cacheSeek(stream, (uint64_t(high) << 32) | low);
}

// The load-charging callback and its argument.
int cacheProgress(VfsHandle *stream, uintptr_t a, uintptr_t b)
{
    HttpCacheHandle *reader = readerOf(stream);
    reader->progress = reinterpret_cast<int (*)(void *, uint64_t, uint64_t)>(a);
    reader->progressArg = reinterpret_cast<void *>(b);
    return Res_ok;
}

} // namespace

const VfsTypeOps VfsCacheOps = {
    .name = "Cache",
    .flags = 0,
    .close = cacheClose,                      // 4
    .getReadBuf = cacheGetReadBuf,            // 5
    .readDone = cacheReadDone,                // 6
    .tell = cacheTell,                        // 11
    .seek = cacheSeek,                        // 12
    .getInfo = cacheGetInfo,                  // 13
    .setInfo = cacheSetInfo,                  // 14
    .clone = cacheClone,                      // 17
    .getHeader = cacheHeader,                 // 18
    .fetch = cacheFetch,                      // 19
    .seekWords = cacheSeekWords,              // 24
    .setProgress = cacheProgress,             // 26
    .subscribe = HttpCacheHandle_setNotify,   // 27
    .getLength32 = HttpCacheHandle_available, // 28
    .events = HttpCacheHandle_events,         // 29
};

int HttpCache_openStream(EngineContext *context, VfsHandle *stream, const Url *url, uint32_t mode,
                         uint32_t *accepted, uintptr_t extra)
{
    *accepted = 0;
    HttpCache *cache = context ? context->httpCache : nullptr;
    if (!cache || !url || (mode & ~uint32_t(Vfs_modeSeekable)) != Vfs_modeRead)
        return Res_vfsNotAvailable;
    uint32_t fresh = 0, usable = 0;
    CacheEntry *found = CacheStore_lookup(cache->store, url, &fresh, &usable, uint32_t(extra));
    HttpCacheEntry *stale = found ? reinterpret_cast<HttpCacheEntry *>(found) : nullptr;
    HttpCacheEntry *entry = stale;
    if (stale && stale->status) {
        // A stored entry that failed is not served: fetch afresh.
        doom(stale);
        CacheEntry_release(&stale->core);
        stale = entry = nullptr;
    }
    if (!entry || !fresh) {
        int err = fetchEntry(cache, url, stale, &entry);
        if (err) {
            if (stale)
                CacheEntry_release(&stale->core);
            return err;
        }
        if (stale && entry != stale) {
            // Replaced: the old entry is found no more and goes with its
            // last reader.
            doom(stale);
            CacheEntry_release(&stale->core);
        }
    }
    int err = attach(stream, entry, mode);
    if (err) {
        CacheEntry_release(&entry->core);
        return err;
    }
    *accepted = mode;
    return Res_ok;
}

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
