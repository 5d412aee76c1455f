// The HTTP response cache.
//
// Fetched documents and resources are read through streams of the Cache
// type (row 5 of the stream type table, platform/vfs/vfs.h). A cache entry
// holds one response: its origin stream, its headers and the HTTP fields of
// the expiration model, and its body in one of two stores: memory, or a
// data file of the file cache (html/web/filecache.h) for large responses.
// Entries live in the engine's cache store (html/web/cachestore.h),
// whose budgets come from the settings "Vexlan_CacheMaxSize" and
// "Vexlan_CacheMaxEntries". Times are engine seconds, -1 when absent.
//
// An entry may be shared by readers on several threads while it is still
// being filled; then every access takes the entry's lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "html/web/cachestore.h"
#include "core/task/lock.h"
#include "platform/vfs/vfs.h"

struct EngineContext;
struct HttpCache;
struct HttpCacheEntry;
struct HttpCacheHandle;
struct Url;

// The eleven operations of an entry, in slot order.
struct HttpCacheEntryOps {
    int (*init)(HttpCacheEntry *entry);       // 0
    int (*close)(HttpCacheEntry *entry);      // 1
    int (*openOrigin)(HttpCacheEntry *entry); // 2
    int (*finish)(HttpCacheEntry *entry);     // 3
    int (*nothing)(HttpCacheEntry *entry);    // 4: answers 0
    // 5: reads the origin into the store until wanted bytes are stored
    // (all of them with UINT64_MAX), never past a known content length.
    int (*fetch)(HttpCacheEntry *entry, uint64_t wanted);
    int (*closeOrigin)(HttpCacheEntry *entry); // 6: 1 when one was open
    void (*idle)(HttpCacheEntry *entry);       // 7
    int (*passOn)(HttpCacheEntry *entry, uint32_t code,
                  uintptr_t *value); // 8: Res_vfsNotAvailable without origin
    // 9: *count = the low 32 bits of the content length; Res_fileSize when they
    // are 0.
    int (*available)(HttpCacheEntry *entry, uint32_t *count);
    uint32_t (*events)(HttpCacheEntry *entry); // 10: always 15
};

// The HTTP fields of the expiration model.
struct HttpCacheFields {
    int64_t date; // "Date:", or the response time
    int64_t lastModified;
    int64_t expires; // an unparseable "Expires:" is 0
    int64_t age;
    int64_t maxAge;
    uint32_t noCache; // no-cache or no-store
    int64_t requestTime;
    int64_t responseTime;
    int64_t dateUsed; // the date of the computation
    int64_t correctedInitialAge;
    int64_t freshnessLifetime;
    uint32_t mustRevalidate;
};

// The response header texts the cache reads (null: missing).
struct HttpCacheHeaders {
    const char *date;
    const char *expires;
    const char *age;
    const char *cacheControl;
    const char *pragma;
    const char *lastModified;
};

// The redirect or authentication record: four texts and two words.
struct HttpCacheAuth {
    char16_t *texts[4];
    uint32_t words[2];
};

// An entry store's operations, in this order.
struct HttpCacheStoreOps {
    int (*select)(HttpCacheEntry *entry);
    int (*prepare)(HttpCacheEntry *entry, uint64_t wanted, uint64_t minimum);
    void (*discard)(HttpCacheEntry *entry);
    int (*write)(HttpCacheEntry *entry, const uint8_t *bytes, size_t length);
    // A window on the body from offset: *length = stored - offset, at most
    // the request. Memory lends a pointer; the file store reads a heap copy.
    int (*read)(HttpCacheEntry *entry, uint64_t offset, size_t want, const uint8_t **bytes,
                size_t *length);
    void (*releaseRead)(HttpCacheEntry *entry, const uint8_t *bytes);
    void (*complete)(HttpCacheEntry *entry);
};

extern const HttpCacheStoreOps HttpCache_memoryStore;
extern const HttpCacheStoreOps HttpCache_fileStore;

// A cache entry.
struct HttpCacheEntry {
    CacheEntry core; // the cache store's part (first)
    HttpCache *cache;
    uint32_t urlClass;
    int32_t status; // the entry's status word (stream property 7)
    int32_t httpStatus;
    VfsHandle *origin;
    uint32_t fetchState; // 1 new data follows, 2 the stored copy is valid
    const HttpCacheEntryOps *ops;
    uint64_t totalLength; // content length; 0 when none was reported
    char16_t *contentType;
    char16_t *charset;
    char16_t *texts[3]; // further text properties of the origin
    char *streamName;   // 8-bit
    HttpCacheAuth *auth;
    char *refresh;
    HttpCacheFields fields;
    HttpCacheHandle *readers;       // the handle chain, newest first
    const HttpCacheStoreOps *store; // the body's store
    // Body: memory store.
    uint8_t *body;
    uint64_t capacity;
    // Body: both stores.
    uint64_t stored;   // bytes stored
    uint32_t complete; // the origin reached its end
    // File store.
    Url *dataUrl;
    uint64_t minimumSize;
    CacheAlias *redirects; // further URLs of the entry
};

// A reader on a cache entry: the first word of a Cache stream's handle.
struct HttpCacheHandle {
    HttpCacheEntry *entry;
    uint64_t position; // bytes read, as the stream's tell reports it
    void *buffer;      // held by the handle, freed with it
    uint32_t mode;
    VfsEventFn notify; // 0 until set
    void *userData;
    uint32_t mask;         // events the reader wants
    HttpCacheHandle *next; // the next reader of the entry
    uint32_t error;        // the reader failed: position queries and close answer 776
    // The load-charging callback (stream slot 26): told of the bytes the
    // entry holds and the resource's length (0 unknown) as they grow.
    int (*progress)(void *arg, uint64_t done, uint64_t total);
    void *progressArg;
};

// The cache record (one per engine, at context->httpCache).
struct HttpCache {
    EngineContext *ctx;
    uint32_t flags;      // bit 0 URLs with a query may be cached; bit 1 redirections
    uint32_t maxSize;    // "Vexlan_CacheMaxSize"
    uint32_t maxEntries; // "Vexlan_CacheMaxEntries"
    uint64_t fileLimit;  // largest response of the file store (0: none)
    CacheStore *store;
    CacheClass memoryClass;
    CacheClass fileClass;
    Url *fileDir;          // the file cache's directory
    uint32_t loading;      // an index load is running: no saves
    uint32_t saveDisabled; // no index saves; data files are kept when entries go
    uint32_t indexInUse;   // an index was loaded or a file entry made: saves are due
    // The initialise operation of entries that the opener makes (null:
    // the default, which installs HttpCache_entryOps).
    int (*entryInit)(HttpCacheEntry *entry);
};

enum : uint32_t {
    HttpCache_queryUrls = 1,
    HttpCache_redirections = 2,
};

// The entry operations of the cache (slot 9 the content length's low
// word, Res_fileSize without one; slot 10 always 15).
extern const HttpCacheEntryOps HttpCache_entryOps;

// The Cache row: slots 4-6, 11-14, 17-19, 24, 26-29. A read fetches to the
// next multiple of 1024 bytes beyond its end and copies into the reader's
// buffer; consuming stops at the stored end; a reader in the error state
// answers 776 to tell, reads and close. Properties (slot 13): 0 length, 1
// content type, 2 charset, 4 the Last-Modified date handed to readers, 7
// status word, 8 redirect record, 11 the length after fetching to the end
// when it was unknown, 15 third text, 17 HTTP status; others 769. Control
// codes (slot 14): 3 cancels the reader, 16 gives the stream the entry's
// final URL; others 772. Slot 18 is the header lookup (name, char **out),
// which knows only "Refresh:"; slot 19 fetches a bytes (0: all); slot 24
// seeks to (low, high), 788 beyond the end; slot 26 sets the load-charging
// callback, int (*)(void *arg, uint64_t stored, uint64_t length), and arg.
extern const VfsTypeOps VfsCacheOps;

// The cache opener: makes handle a Cache stream on url. Only read access
// is taken (mode 1, with or without 16; others 769). extra is the request
// kind of HttpCache_useDecision (0 normal). A fresh entry is joined; a
// stale one is revalidated by a new entry carrying its validators: when
// the origin finds the stored copy still valid (fetch state 2) the stored
// body is served with renewed times, otherwise the new response replaces
// the old entry, which is no longer found. An origin that cannot be opened
// gives its error and nothing is cached. 769 without a cache.
[[nodiscard]] int HttpCache_openStream(EngineContext *context, VfsHandle *handle, const Url *url,
                                       uint32_t mode, uint32_t *accepted, uintptr_t extra);
// The Cache row's reader operations (slots 27 to 29). Each runs under the
// entry's lock when the entry is shared.
// setNotify stores the callback, its user data and the event mask in the
// reader (a null callback switches notification off); with a callback set,
// the entry's current events that the mask holds are then reported, lowest
// bit first, as callback(null, userData, bit), after the entry's lock is
// released, so a callback may read the stream. 0.
int HttpCacheHandle_setNotify(VfsHandle *stream, VfsEventFn callback, void *userData,
                              uint32_t mask);
// *count = the bytes from the reader's position to the end of the resource (0
// when the position is beyond it). The entry's result: 0, or Res_fileSize when
// the resource's length is unknown (*count 0).
int HttpCacheHandle_available(VfsHandle *stream, uint32_t *count);
// The entry's current event bits.
uint32_t HttpCacheHandle_events(VfsHandle *stream);

// Start and stop of the cache with the file layer: the record, its store,
// the settings and the file cache's index. 0 or an error / nothing.
[[nodiscard]] int HttpCache_install(EngineContext *context);
void HttpCache_uninstall(EngineContext *context);
// Reads the four settings into the record.
void HttpCache_applySettings(HttpCache *cache);

// A zero-filled entry in its initial state (no URL when url is null),
// then init (null: the cache's default, which installs HttpCache_entryOps).
// 0; 1 when memory or the URL copy fails; the lock's or init's error.
[[nodiscard]] int HttpCacheEntry_create(HttpCache *cache, const Url *url, HttpCacheEntry **out,
                                        int (*init)(HttpCacheEntry *entry));
// Closes, frees the texts, record, URL, redirect URLs and the store's
// data, and the entry. Null: nothing.
void HttpCacheEntry_free(HttpCacheEntry *entry);
void HttpCacheEntry_addHandle(HttpCacheEntry *entry, HttpCacheHandle *handle);
void HttpCacheEntry_removeHandle(HttpCacheEntry *entry, HttpCacheHandle *handle);
// Calls callback(0, user word, mask) of each handle whose mask shares a bit.
void HttpCacheEntry_notifyHandles(HttpCacheEntry *entry, uint32_t mask);
// Gives the store for a new entry (file store for a known length within
// the file limit and at least half of the memory budget) and selects it.
void HttpCacheEntry_chooseStore(HttpCacheEntry *entry);
// Joins the entry to the cache's in-use list (publishing it).
void HttpCacheEntry_publish(HttpCacheEntry *entry);

// Reader handles: a new one at the head of the entry's chain (0 or 1), its
// entry, and its end (removed from the chain, buffer freed).
[[nodiscard]] int HttpCache_handleNew(HttpCacheEntry *entry, uint32_t mode, HttpCacheHandle **out);
HttpCacheEntry *HttpCache_handleEntry(HttpCacheHandle *handle);
void HttpCache_handleFree(HttpCacheHandle *handle);
// Moves the reader to entry (the replacement of its entry), reading from
// the start: the reader leaves the old entry's chain and gives back its
// reference there, and takes over a reference the caller holds on entry.
// 0.
int HttpCache_handleRetarget(HttpCacheHandle *handle, HttpCacheEntry *entry);

// The end of the origin's header phase with the headers read: the fields,
// the Refresh text (copied), the final URL (null: the same) and the
// freshness. A final URL other than the entry's becomes the entry's URL;
// with the cache's redirections flag the URL asked for stays an alias, so
// that it finds the entry too. 0 or 1 (out of memory: the entry is then
// not kept).
[[nodiscard]] int HttpCacheEntry_readResponse(HttpCacheEntry *entry,
                                              const HttpCacheHeaders *headers, const char *refresh,
                                              const Url *finalUrl);

// ------------------------------------------------------- the HTTP fields

// The last-modified date handed to a reader: Last-Modified, else Date,
// else with "Vexlan_UseDeviceDateForLastModified" set the request time;
// -1 when none.
int64_t HttpCacheEntry_lastModified(HttpCacheEntry *entry);

// Reads the headers into fields at now (the response time). noCache and
// the Refresh text are the caller's.
void HttpCache_readHeaders(HttpCacheFields *fields, const HttpCacheHeaders *headers, int64_t now);
// The age and freshness computation for url (null allowed), the HTTP
// status and the cache's flags.
void HttpCache_computeFreshness(HttpCacheFields *fields, const Url *url, int32_t httpStatus,
                                uint32_t flags);
// (now - response time) + corrected initial age.
int64_t HttpCache_currentAge(const HttpCacheFields *fields, int64_t now);
// The use decision for a request kind: *fresh and *usable.
void HttpCache_useDecision(const HttpCacheFields *fields, uint32_t kind, int64_t now,
                           uint32_t *fresh, uint32_t *usable);
