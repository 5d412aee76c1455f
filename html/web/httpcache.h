// The HTTP response cache: the services the stream layer calls.
//
// Fetched documents and resources are read through streams of the Cache
// type (row 5 of the stream type table, platform/vfs/vfs.h), made by the
// cache opener. Only what the stream layer calls is declared here so far;
// html/interim.cpp holds interim definitions until the cache is built.
#pragma once

#include <cstdint>

#include "core/task/lock.h"
#include "platform/vfs/vfs.h"

struct EngineContext;
struct HttpCacheEntry;
struct HttpCacheHandle;
struct Url;

// The operations of a cache entry that its readers use.
struct HttpCacheEntryOps {
    // *count = the low 32 bits of the resource's total length; 0, or 786
    // when the length is 0 (none was reported).
    int (*available)(HttpCacheEntry *entry, uint32_t *count);
    // The entry's current event bits (1, 2, 4 and 8).
    uint32_t (*events)(HttpCacheEntry *entry);
};

// A cache entry, as its readers see it.
struct HttpCacheEntry {
    int32_t shared;             // not 0: used by several threads, every access under lock
    Lock lock;
    const HttpCacheEntryOps *ops;
    HttpCacheHandle *readers;   // the reader list
    uint64_t totalLength;       // from the source stream (information code 0); 0 when none
};

// A reader on a cache entry: the first word of a Cache stream's handle.
struct HttpCacheHandle {
    HttpCacheEntry *entry;
    uint64_t position;          // bytes read, as the stream's tell reports it
    void *buffer;
    uint32_t mode;
    VfsEventFn notify;          // 0 until set
    void *userData;
    uint32_t mask;              // events the reader wants
    HttpCacheHandle *next;      // the next reader of the entry
};

// The HTTP cache's own entry operations: the total length's low 32 bits
// (786 without one), and all four events at all times (15).
extern const HttpCacheEntryOps HttpCache_entryOps;

// The Cache row: slots 4-6, 11-14, 17-19, 24, 26-29.
extern const VfsTypeOps VfsCacheOps;

// The cache opener: makes handle a Cache stream on url (finding or
// creating the cache entry). 0 with *accepted, or an error.
[[nodiscard]] int HttpCache_openStream(VfsHandle *handle, const Url *url, uint32_t mode,
                                       uint32_t *accepted, EngineContext *ctx, uintptr_t extra);
// The Cache row's reader operations (slots 27 to 29). Each runs under the
// entry's lock when the entry is shared.
// setNotify stores the callback, its user data and the event mask in the
// reader (a null callback switches notification off); with a callback set,
// the entry's current events that the mask holds are then reported, lowest
// bit first, as callback(null, userData, bit), after the entry's lock is
// released, so a callback may read the stream. 0.
int HttpCacheHandle_setNotify(VfsHandle *stream, VfsEventFn callback, void *userData, uint32_t mask);
// *count = the bytes from the reader's position to the end of the resource
// (0 when the position is beyond it). The entry's result: 0, or 786 when
// the resource's length is unknown (*count 0).
int HttpCacheHandle_available(VfsHandle *stream, uint32_t *count);
// The entry's current event bits.
uint32_t HttpCacheHandle_events(VfsHandle *stream);

// Start and stop of the cache module with the file layer: 0 or an error /
// nothing.
[[nodiscard]] int HttpCache_install(EngineContext *ctx);
void HttpCache_uninstall(EngineContext *ctx);
