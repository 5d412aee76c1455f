// The HTTP response cache: see httpcache.h.
#include "html/web/httpcache.h"

#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "html/web/filecache.h"
#include "core/time/httpdate.h"
#include "html/web/webfile.h"
#include "platform/url/url.h"

namespace {

constexpr int64_t kMaxWord = 0x7FFFFFFF;
enum : size_t { kPiece = 4096 };

HttpCacheEntry *ofCore(CacheEntry *core)
{
    return reinterpret_cast<HttpCacheEntry *>(core);
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// A lower-cased copy in a fixed buffer (long values are cut).
void lowerCopy(const char *s, char *out, size_t size)
{
    size_t i = 0;
    for (; s[i] && i + 1 < size; i++)
        out[i] = lower(s[i]);
    out[i] = 0;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// "max-age = %lu" at text: 0x7fffffff above it, 0 when unreadable.
int64_t readMaxAge(const char *text)
{
    const char *p = text + 7;
    while (isSpace(*p))
        p++;
    if (*p != '=')
        return 0;
    p++;
    while (isSpace(*p))
        p++;
    if (*p == '+')
        p++;
    if (*p < '0' || *p > '9')
        return 0;
    int64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = std::min<int64_t>(v * 10 + (*p - '0'), kMaxWord + 1);
        p++;
    }
    return std::min(v, kMaxWord);
}

// ------------------------------------------------------------ entry ops

int opInit(HttpCacheEntry *entry)
{
    entry->origin = nullptr;
    entry->ops = &HttpCache_entryOps;
    return Res_ok;
}

int opClose(HttpCacheEntry *entry)
{
    int r = entry->origin ? Vfs_close(entry->origin) : Res_ok;
    entry->origin = nullptr;
    entry->fetchState = 0;
    return r;
}

// The HTTP status an origin reports (stream property 17), 0 when none.
int32_t originStatus(VfsHandle *origin)
{
    uintptr_t value = 0;
    return Vfs_getInfo(origin, 17, &value) == Res_ok ? int32_t(uint32_t(value)) : 0;
}

char16_t *copyText(VfsHandle *origin, uint32_t code, int *err)
{
    uintptr_t value = 0;
    if (Vfs_getInfo(origin, code, &value) != Res_ok || !value)
        return nullptr;
    char16_t *copy = Ustr_dup(reinterpret_cast<const char16_t *>(value));
    if (!copy)
        *err = Res_noMemory;
    return copy;
}

int opOpenOrigin(HttpCacheEntry *entry)
{
    // There is no HTTP client here: the origin is whatever stream the
    // stream layer opens for the URL (unless the caller gave one).
    if (!entry->origin) {
        if (!entry->core.url)
            return Res_vfsNotAvailable;
        uint32_t accepted = 0;
        int err =
            Vfs_open(entry->cache->ctx, entry->core.url, Vfs_modeRead, &entry->origin, &accepted);
        if (err) {
            entry->origin = nullptr;
            return err;
        }
    }
    entry->fetchState = 1;
    // A conditional request: with validators held, an origin that answers
    // 304, or reports a Last-Modified no later than the stored one, leaves
    // the stored copy valid.
    const HttpCacheFields &f = entry->fields;
    if (f.date == -1 && f.lastModified == -1)
        return Res_ok;
    bool unchanged = originStatus(entry->origin) == 304;
    char *text = nullptr;
    if (!unchanged && f.lastModified != -1 &&
        Vfs_getHeader(entry->origin, "Last-Modified:", &text) == Res_ok && text) {
        int64_t t = HttpDate_parse(text);
        unchanged = t && t <= f.lastModified;
    }
    Mem_free(text);
    if (unchanged)
        entry->fetchState = 2;
    return Res_ok;
}

int opNothing(HttpCacheEntry *)
{
    return Res_ok;
}

int opFinish(HttpCacheEntry *entry)
{
    HttpCacheHeaders h = {};
    char *texts[6] = {};
    char *refresh = nullptr;
    const Url *finalUrl = nullptr;
    int err = Res_ok;
    const char *names[6] = {
        "Date:", "Expires:", "Age:", "Cache-Control:", "Pragma:", "Last-Modified:"};
    if (VfsHandle *origin = entry->origin) {
        for (int i = 0; i < 6; i++)
            if (Vfs_getHeader(origin, names[i], &texts[i]) != Res_ok)
                texts[i] = nullptr;
        if (Vfs_getHeader(origin, "Refresh:", &refresh) != Res_ok)
            refresh = nullptr;
        uintptr_t value = 0;
        if (Vfs_getInfo(origin, VfsInfo_size, &value) == Res_ok && value)
            entry->totalLength = *reinterpret_cast<const uint64_t *>(value);
        if (int32_t status = originStatus(origin))
            entry->httpStatus = status;
        Mem_free(entry->contentType);
        Mem_free(entry->charset);
        entry->contentType = copyText(origin, VfsInfo_mime, &err);
        entry->charset = copyText(origin, VfsInfo_string2, &err);
        finalUrl = origin->url;
    }
    // A stream that opened without an HTTP status answered as a success.
    if (!entry->httpStatus)
        entry->httpStatus = 200;
    h.date = texts[0];
    h.expires = texts[1];
    h.age = texts[2];
    h.cacheControl = texts[3];
    h.pragma = texts[4];
    h.lastModified = texts[5];
    if (!err)
        err = HttpCacheEntry_readResponse(entry, &h, refresh, finalUrl);
    for (char *t : texts)
        Mem_free(t);
    Mem_free(refresh);
    return err;
}

int opFetch(HttpCacheEntry *entry, uint64_t wanted)
{
    if (!entry->origin || !entry->store)
        return Res_ok;
    if (entry->totalLength)
        wanted = std::min(wanted, entry->totalLength);
    int err = Res_ok;
    while (!err && !entry->complete && entry->stored < wanted) {
        size_t want = size_t(std::min<uint64_t>(wanted - entry->stored, kPiece));
        const uint8_t *p = nullptr;
        size_t n = 0;
        err = Vfs_getReadBuf(entry->origin, want, &p, &n);
        if (err)
            break;
        n = std::min(n, want);
        if (n == 0) {
            (void)Vfs_readDone(entry->origin, 0);
            entry->complete = 1;
            break;
        }
        err = entry->store->write(entry, p, n);
        (void)Vfs_readDone(entry->origin, n);
    }
    if (!err && entry->totalLength && entry->stored >= entry->totalLength)
        entry->complete = 1;
    // The readers are told of the end by the stream layer, once it has
    // released the entry's lock (their callbacks may read the stream).
    if (entry->complete)
        entry->core.size = uint32_t(std::min<uint64_t>(entry->stored, 0xFFFFFFFF));
    return err;
}

int opCloseOrigin(HttpCacheEntry *entry)
{
    if (!entry->origin)
        return 0;
    (void)Vfs_close(entry->origin);
    entry->origin = nullptr;
    return 1;
}

void opIdle(HttpCacheEntry *) {}

int opPassOn(HttpCacheEntry *entry, uint32_t code, uintptr_t *value)
{
    return entry->origin ? Vfs_getInfo(entry->origin, code, value) : int(Res_vfsNotAvailable);
}

int opAvailable(HttpCacheEntry *entry, uint32_t *count)
{
    *count = uint32_t(entry->totalLength);
    return *count ? Res_ok : Res_fileSize;
}

uint32_t opEvents(HttpCacheEntry *)
{
    return 15;
}

// ------------------------------------------------------------ stores

int memSelect(HttpCacheEntry *entry)
{
    entry->store = &HttpCache_memoryStore;
    return Res_ok;
}

int memPrepare(HttpCacheEntry *entry, uint64_t wanted, uint64_t minimum)
{
    if (entry->capacity >= wanted)
        return Res_ok;
    for (uint64_t size : {wanted, minimum}) {
        if (size <= entry->capacity || size > SIZE_MAX / 2)
            continue;
        uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(entry->body, size_t(size)));
        if (grown) {
            entry->body = grown;
            entry->capacity = size;
            return Res_ok;
        }
    }
    return Res_noMemory;
}

void memDiscard(HttpCacheEntry *entry)
{
    Mem_free(entry->body);
    entry->body = nullptr;
    entry->capacity = 0;
    entry->stored = 0;
}

// The memory body seen as a response-cache sink: the sink grows it (from
// 1024 bytes, doubling) and appends to it.
struct BodySink {
    CacheSink sink; // first
    HttpCacheEntry *entry;
};

int bodyResize(CacheSink *sink, uint32_t newCapacity, uint32_t needed, int)
{
    HttpCacheEntry *entry = reinterpret_cast<BodySink *>(sink)->entry;
    int err = memPrepare(entry, newCapacity, needed);
    if (err)
        return err;
    sink->buffer = entry->body;
    sink->capacity = uint32_t(std::min<uint64_t>(entry->capacity, 0xFFFFFFFFu));
    return Res_ok;
}

int bodyAppend(CacheSink *sink, const void *data, uint32_t n)
{
    memcpy(sink->buffer + sink->size, data, n);
    sink->size += n;
    return Res_ok;
}

const CacheSinkOps kBodySinkOps = {{}, bodyResize, nullptr, bodyAppend};

int memWrite(HttpCacheEntry *entry, const uint8_t *bytes, size_t length)
{
    // A memory body stays below 4 GiB, as the entry sizes of the store.
    if (length > 0xFFFFFFFFu || entry->stored + length > 0xFFFFFFFFu)
        return Res_noMemory;
    uint32_t capacity = uint32_t(std::min<uint64_t>(entry->capacity, 0xFFFFFFFFu));
    BodySink body = {{entry->body, capacity, uint32_t(entry->stored), 0, &kBodySinkOps}, entry};
    int err = CacheSink_write(&body.sink, bytes, uint32_t(length));
    entry->stored = body.sink.size;
    return err;
}

int memRead(HttpCacheEntry *entry, uint64_t offset, size_t want, const uint8_t **bytes,
            size_t *length)
{
    *bytes = nullptr;
    *length = 0;
    if (offset >= entry->stored)
        return Res_ok;
    *length = size_t(std::min<uint64_t>(entry->stored - offset, want));
    *bytes = entry->body + offset;
    return Res_ok;
}

void memReleaseRead(HttpCacheEntry *, const uint8_t *) {}

void storeComplete(HttpCacheEntry *entry)
{
    entry->core.size = uint32_t(std::min<uint64_t>(entry->stored, 0xFFFFFFFF));
}

int fileSelect(HttpCacheEntry *entry)
{
    entry->store = &HttpCache_fileStore;
    entry->core.cls = &entry->cache->fileClass;
    entry->cache->indexInUse = 1;
    entry->core.persisted = 1;
    return Res_ok;
}

void fileDiscard(HttpCacheEntry *entry)
{
    if (entry->dataUrl && !entry->cache->saveDisabled)
        (void)WebFile_remove(entry->cache->ctx, entry->dataUrl);
    Url_free(entry->dataUrl);
    entry->dataUrl = nullptr;
    entry->stored = 0;
}

int fileWrite(HttpCacheEntry *entry, const uint8_t *bytes, size_t length)
{
    return FileCache_write(entry, bytes, length);
}

int fileRead(HttpCacheEntry *entry, uint64_t offset, size_t want, const uint8_t **bytes,
             size_t *length)
{
    *bytes = nullptr;
    *length = 0;
    if (offset >= entry->stored)
        return Res_ok;
    size_t n = size_t(std::min<uint64_t>(entry->stored - offset, want));
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(std::max<size_t>(n, 1)));
    if (!copy)
        return Res_noMemory;
    size_t got = 0;
    int err = FileCache_read(entry, offset, copy, n, &got);
    if (err) {
        Mem_free(copy);
        return err;
    }
    *bytes = copy;
    *length = got;
    return Res_ok;
}

void fileReleaseRead(HttpCacheEntry *, const uint8_t *bytes)
{
    Mem_free(const_cast<uint8_t *>(bytes));
}

// ------------------------------------------------------------ the store core

void clientDestroy(CacheEntry *core)
{
    HttpCacheEntry_free(ofCore(core));
}

void clientDone(CacheEntry *core)
{
    HttpCacheEntry *entry = ofCore(core);
    if (entry->store)
        entry->store->complete(entry);
}

const CacheEntryClient kClient = {clientDestroy, clientDone};

// Recycled entries lose their body (a file entry its data file).
void classClose(CacheEntry *core)
{
    HttpCacheEntry *entry = ofCore(core);
    if (entry->store)
        entry->store->discard(entry);
}

void makeRoom(CacheStore *store, uint32_t *wanted, CacheEntry *entry)
{
    struct Skip {
        static int other(CacheEntry *e, void *arg)
        {
            return e != arg;
        }
    };
    CacheStore_evictUntil(store, wanted, &entry->cls->bytesInUse, Skip::other, entry);
}

int hookSaveIndex(CacheStore *store)
{
    return FileCache_saveIndex(static_cast<HttpCache *>(store->owner));
}

void hookCheck(CacheStore *, CacheEntry *core, uint32_t *fresh, uint32_t *usable, uint32_t mode)
{
    HttpCache_useDecision(&ofCore(core)->fields, mode, Date_now(nullptr), fresh, usable);
}

void hookTrim(CacheEntry *core)
{
    HttpCacheEntry *entry = ofCore(core);
    if (entry->store == &HttpCache_memoryStore && entry->capacity > entry->stored &&
        entry->stored) {
        uint8_t *trimmed = static_cast<uint8_t *>(Mem_realloc(entry->body, size_t(entry->stored)));
        if (trimmed) {
            entry->body = trimmed;
            entry->capacity = entry->stored;
        }
    }
}

const CacheStoreHooks kHooks = {hookSaveIndex, hookCheck, hookTrim};

void freeAuth(HttpCacheAuth *auth)
{
    if (!auth)
        return;
    for (char16_t *t : auth->texts)
        Mem_free(t);
    Mem_free(auth);
}

} // namespace

const HttpCacheEntryOps HttpCache_entryOps = {
    opInit,        opClose, opOpenOrigin, opFinish,    opNothing, opFetch,
    opCloseOrigin, opIdle,  opPassOn,     opAvailable, opEvents,
};

const HttpCacheStoreOps HttpCache_memoryStore = {
    memSelect, memPrepare, memDiscard, memWrite, memRead, memReleaseRead, storeComplete,
};

const HttpCacheStoreOps HttpCache_fileStore = {
    fileSelect, FileCache_newDataFile, fileDiscard,   fileWrite,
    fileRead,   fileReleaseRead,       storeComplete,
};

// ------------------------------------------------------------ the HTTP fields

void HttpCache_readHeaders(HttpCacheFields *f, const HttpCacheHeaders *h, int64_t now)
{
    int64_t date = h->date ? HttpDate_parse(h->date) : 0;
    f->date = date ? date : now;
    f->expires = h->expires ? HttpDate_parse(h->expires) : -1;
    if (h->lastModified) {
        int64_t lm = HttpDate_parse(h->lastModified);
        f->lastModified = lm ? lm : -1;
    }
    if (h->age) {
        const char *p = h->age;
        int64_t v = 0;
        bool whole = *p != 0;
        for (; *p; p++) {
            if (*p < '0' || *p > '9') {
                whole = false;
                break;
            }
            v = std::min<int64_t>(v * 10 + (*p - '0'), kMaxWord + 1);
        }
        f->age = whole && v <= kMaxWord ? v : kMaxWord;
    }
    if (h->cacheControl) {
        char cc[512];
        lowerCopy(h->cacheControl, cc, sizeof cc);
        const char *m = strstr(cc, "max-age");
        if (m)
            f->maxAge = readMaxAge(m);
        if (strstr(cc, "no-cache") || strstr(cc, "no-store"))
            f->noCache = 1;
    }
    if (h->pragma) {
        char pragma[512];
        lowerCopy(h->pragma, pragma, sizeof pragma);
        if (strstr(pragma, "no-cache"))
            f->noCache = 1;
    }
    f->responseTime = now;
}

void HttpCache_computeFreshness(HttpCacheFields *f, const Url *url, int32_t httpStatus,
                                uint32_t flags)
{
    f->dateUsed = f->date != -1 ? f->date : f->responseTime;
    if (f->noCache || (httpStatus >= 400 && httpStatus <= 599)) {
        f->mustRevalidate = 1;
        f->maxAge = 0;
    }
    uint32_t scheme = url ? Url_getScheme(url) : UrlScheme_none;
    if (scheme != UrlScheme_none && scheme != UrlScheme_http && scheme != UrlScheme_https)
        f->maxAge = 0;
    if (Url_hasDataPart(url))
        f->mustRevalidate = 1;
    bool heuristic = !(url && url->query && !(flags & HttpCache_queryUrls));
    int64_t apparent = std::max<int64_t>(0, f->responseTime - f->dateUsed);
    int64_t received = std::max(apparent, f->age);
    f->correctedInitialAge = received + (f->responseTime - f->requestTime);
    if (f->maxAge >= 0) {
        f->freshnessLifetime = f->maxAge;
    } else if (f->expires != -1) {
        f->freshnessLifetime = std::max<int64_t>(0, f->expires - f->dateUsed);
    } else if (!heuristic) {
        f->mustRevalidate = 1;
        f->freshnessLifetime = 0;
    } else if (f->lastModified != -1) {
        f->freshnessLifetime = std::max<int64_t>(0, (f->dateUsed - f->lastModified) * 10 / 100);
    } else {
        f->freshnessLifetime = 0;
    }
}

int HttpCacheEntry_readResponse(HttpCacheEntry *entry, const HttpCacheHeaders *headers,
                                const char *refresh, const Url *finalUrl)
{
    int64_t now = Date_now(nullptr);
    if (refresh) {
        size_t n = strlen(refresh) + 1;
        char *copy = static_cast<char *>(Mem_malloc(n));
        if (!copy)
            return Res_noMemory;
        memcpy(copy, refresh, n);
        Mem_free(entry->refresh);
        entry->refresh = copy;
    }
    if (finalUrl && entry->core.url && !Url_equals(finalUrl, entry->core.url)) {
        Url *copy = Url_copy(finalUrl);
        if (!copy)
            return Res_noMemory;
        if (entry->cache->flags & HttpCache_redirections) {
            CacheAlias *alias = static_cast<CacheAlias *>(Mem_calloc(1, sizeof(CacheAlias)));
            if (!alias) {
                Url_free(copy);
                return Res_noMemory;
            }
            alias->url = entry->core.url;
            alias->next = entry->core.aliases;
            entry->core.aliases = alias;
        } else {
            Url_free(entry->core.url);
        }
        entry->core.url = copy;
        entry->urlClass = Url_getClass(copy);
    }
    HttpCache_readHeaders(&entry->fields, headers, now);
    HttpCache_computeFreshness(&entry->fields, entry->core.url, entry->httpStatus,
                               entry->cache->flags);
    return Res_ok;
}

int64_t HttpCache_currentAge(const HttpCacheFields *f, int64_t now)
{
    return (now - f->responseTime) + f->correctedInitialAge;
}

int64_t HttpCacheEntry_lastModified(HttpCacheEntry *entry)
{
    const HttpCacheFields &f = entry->fields;
    if (f.lastModified != -1)
        return f.lastModified;
    if (f.date != -1)
        return f.date;
    EngineContext *ctx = entry->cache->ctx;
    if (Config_getIntA(ctx, ctx->config, nullptr, "Vexlan_UseDeviceDateForLastModified", 0))
        return f.requestTime;
    return -1;
}

void HttpCache_useDecision(const HttpCacheFields *f, uint32_t kind, int64_t now, uint32_t *fresh,
                           uint32_t *usable)
{
    if (kind == 3 || kind == 4)
        *fresh = 0;
    else if (kind == 2)
        *fresh = !f->mustRevalidate;
    else
        *fresh = !f->mustRevalidate && f->freshnessLifetime > HttpCache_currentAge(f, now);
    *usable = *fresh ? 1 : (kind != 4 && !f->mustRevalidate);
}

// ------------------------------------------------------------ the record

void HttpCache_applySettings(HttpCache *cache)
{
    EngineContext *ctx = cache->ctx;
    uint32_t query = Config_getIntA(ctx, ctx->config, nullptr, "Vexlan_CacheQueryUrls", 0);
    uint32_t redirections =
        Config_getIntA(ctx, ctx->config, nullptr, "Vexlan_CacheRedirections", 1);
    cache->flags = (query ? uint32_t(HttpCache_queryUrls) : 0u) |
                   (redirections ? uint32_t(HttpCache_redirections) : 0u);
    cache->maxSize = Config_getIntA(ctx, ctx->config, nullptr, "Vexlan_CacheMaxSize", 0);
    cache->maxEntries = Config_getIntA(ctx, ctx->config, nullptr, "Vexlan_CacheMaxEntries", 0);
    cache->memoryClass.byteBudget = cache->maxSize;
    cache->memoryClass.maxEntries = int32_t(std::min<uint32_t>(cache->maxEntries, 0x7FFFFFFF));
    // Data files count against no memory budget: the file class takes
    // what the file limit allows, under the same entry maximum.
    cache->fileClass.byteBudget = cache->fileLimit ? 0xFFFFFFFFu : 0;
    cache->fileClass.maxEntries = cache->memoryClass.maxEntries;
}

int HttpCache_install(EngineContext *context)
{
    if (!context || context->httpCache)
        return Res_ok;
    HttpCache *cache = static_cast<HttpCache *>(Mem_calloc(1, sizeof(HttpCache)));
    if (!cache)
        return Res_noMemory;
    cache->ctx = context;
    int err = CacheStore_create(context, cache, &kHooks, &cache->store);
    if (err) {
        Mem_free(cache);
        return err;
    }
    cache->store->persistent = 1;
    cache->fileDir = FileCache_directory(context);
    // The file store takes any response whose length fits the index's
    // 32-bit stored length.
    cache->fileLimit = cache->fileDir ? 0xFFFFFFFFu : 0;
    for (CacheClass *cls : {&cache->memoryClass, &cache->fileClass}) {
        cls->close = classClose;
        cls->makeRoom = makeRoom;
    }
    context->httpCache = cache;
    HttpCache_applySettings(cache);
    if (cache->fileDir)
        (void)FileCache_loadIndex(cache); // a missing or damaged index starts empty
    return Res_ok;
}

void HttpCache_uninstall(EngineContext *context)
{
    HttpCache *cache = context ? context->httpCache : nullptr;
    if (!cache)
        return;
    // The store saves the index as it closes; then saving is disabled, so
    // that the entries it recycles keep their data files for the next start.
    CacheStore *store = cache->store;
    bool busy = store->head != nullptr;
    if (busy)
        Lock_acquire(&store->lock);
    (void)FileCache_saveIndex(cache);
    cache->saveDisabled = 1;
    if (busy)
        Lock_release(&store->lock);
    CacheStore_destroy(store);
    Url_free(cache->fileDir);
    Mem_free(cache);
    context->httpCache = nullptr;
}

// ------------------------------------------------------------ entries

int HttpCacheEntry_create(HttpCache *cache, const Url *url, HttpCacheEntry **out,
                          int (*init)(HttpCacheEntry *entry))
{
    *out = nullptr;
    HttpCacheEntry *entry = static_cast<HttpCacheEntry *>(Mem_calloc(1, sizeof(HttpCacheEntry)));
    if (!entry)
        return Res_noMemory;
    entry->urlClass = 1;
    if (url) {
        entry->core.url = Url_copy(url);
        if (!entry->core.url) {
            Mem_free(entry);
            return Res_noMemory;
        }
        entry->urlClass = Url_getClass(url);
    }
    HttpCacheFields *f = &entry->fields;
    f->date = f->lastModified = f->expires = f->age = f->maxAge = -1;
    f->responseTime = f->dateUsed = f->correctedInitialAge = f->freshnessLifetime = -1;
    f->requestTime = Date_now(nullptr);
    entry->cache = cache;
    int err =
        CacheEntry_init(cache->ctx, &entry->core, cache->store, &kClient, &cache->memoryClass, 0);
    if (!err)
        err = (init ? init : opInit)(entry);
    if (err) {
        Lock_fini(&entry->core.entryLock);
        Url_free(entry->core.url);
        Mem_free(entry);
        return err;
    }
    entry->core.timeStamp = f->requestTime;
    *out = entry;
    return Res_ok;
}

void HttpCacheEntry_free(HttpCacheEntry *entry)
{
    if (!entry)
        return;
    if (entry->ops && entry->ops->close)
        (void)entry->ops->close(entry);
    if (entry->store)
        entry->store->complete(entry);
    Lock_fini(&entry->core.entryLock);
    Mem_free(entry->contentType);
    Mem_free(entry->charset);
    for (char16_t *t : entry->texts)
        Mem_free(t);
    Mem_free(entry->streamName);
    Mem_free(entry->refresh);
    freeAuth(entry->auth);
    Url_free(entry->core.url);
    for (CacheAlias *lists[2] = {entry->core.aliases, entry->redirects}; CacheAlias * &a : lists) {
        while (a) {
            CacheAlias *next = a->next;
            Url_free(a->url);
            Mem_free(a);
            a = next;
        }
    }
    // The body: a memory buffer is freed; a data file stays on disk (it is
    // listed in the index, or was discarded when the entry was recycled).
    Mem_free(entry->body);
    Url_free(entry->dataUrl);
    Mem_free(entry);
}

void HttpCacheEntry_addHandle(HttpCacheEntry *entry, HttpCacheHandle *handle)
{
    bool shared = entry->core.shared != 0;
    if (shared)
        Lock_acquire(&entry->core.entryLock);
    handle->next = entry->readers;
    entry->readers = handle;
    if (shared)
        Lock_release(&entry->core.entryLock);
}

void HttpCacheEntry_removeHandle(HttpCacheEntry *entry, HttpCacheHandle *handle)
{
    bool shared = entry->core.shared != 0;
    if (shared)
        Lock_acquire(&entry->core.entryLock);
    for (HttpCacheHandle **link = &entry->readers; *link; link = &(*link)->next) {
        if (*link == handle) {
            *link = handle->next;
            handle->next = nullptr;
            break;
        }
    }
    if (shared)
        Lock_release(&entry->core.entryLock);
}

void HttpCacheEntry_notifyHandles(HttpCacheEntry *entry, uint32_t mask)
{
    for (HttpCacheHandle *h = entry->readers; h; h = h->next)
        if (h->notify && (h->mask & mask))
            h->notify(nullptr, h->userData, mask);
}

void HttpCacheEntry_chooseStore(HttpCacheEntry *entry)
{
    HttpCache *cache = entry->cache;
    uint64_t length = entry->totalLength;
    // A cache without a memory budget keeps nothing: its entries only pass
    // their bodies on, in memory.
    bool file = cache->maxSize && cache->fileLimit && length && length <= cache->fileLimit &&
                length >= uint64_t(cache->maxSize) / 2 && !Url_hasDataPart(entry->core.url);
    (void)(file ? HttpCache_fileStore.select(entry) : HttpCache_memoryStore.select(entry));
}

void HttpCacheEntry_publish(HttpCacheEntry *entry)
{
    entry->core.size = uint32_t(std::min<uint64_t>(entry->stored, 0xFFFFFFFF));
    CacheEntry_notifyClient(&entry->core);
}

int HttpCache_handleNew(HttpCacheEntry *entry, uint32_t mode, HttpCacheHandle **out)
{
    *out = static_cast<HttpCacheHandle *>(Mem_calloc(1, sizeof(HttpCacheHandle)));
    if (!*out)
        return Res_noMemory;
    (*out)->entry = entry;
    (*out)->mode = mode;
    HttpCacheEntry_addHandle(entry, *out);
    return Res_ok;
}

HttpCacheEntry *HttpCache_handleEntry(HttpCacheHandle *handle)
{
    return handle ? handle->entry : nullptr;
}

void HttpCache_handleFree(HttpCacheHandle *handle)
{
    if (!handle)
        return;
    HttpCacheEntry_removeHandle(handle->entry, handle);
    Mem_free(handle->buffer);
    Mem_free(handle);
}

int HttpCache_handleRetarget(HttpCacheHandle *handle, HttpCacheEntry *entry)
{
    HttpCacheEntry *old = handle->entry;
    HttpCacheEntry_removeHandle(old, handle);
    handle->entry = entry;
    handle->position = 0;
    if (entry->readers)
        entry->core.shared = 1;
    HttpCacheEntry_addHandle(entry, handle);
    CacheEntry_release(&old->core);
    return Res_ok;
}
