// The file cache: see filecache.h.
#include "html/web/filecache.h"

#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "html/web/httpcache.h"
#include "html/web/webfile.h"
#include "platform/url/url.h"

namespace {

enum : uint32_t { kAbsent = 0xFFFFFFFFu, kLatest = 0xFFFFFFFEu };

// A time word: -1 absent; later times than the word holds are written
// as the latest time.
uint32_t timeWord(int64_t t)
{
    if (t == -1)
        return kAbsent;
    return t <= 0 ? 0 : t >= int64_t(kLatest) ? kLatest : uint32_t(t);
}

int64_t timeOf(uint32_t w)
{
    return w == kAbsent ? -1 : int64_t(w);
}

size_t padded(size_t n)
{
    return (n + 3) & ~size_t(3);
}

// A growing byte buffer.
struct Bytes {
    uint8_t *p;
    size_t n;
    size_t cap;
    bool failed;
};

uint8_t *reserve(Bytes *b, size_t more)
{
    if (b->failed)
        return nullptr;
    if (b->n + more > b->cap) {
        size_t cap = std::max(b->cap * 2, b->n + more + 256);
        uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(b->p, cap));
        if (!grown) {
            b->failed = true;
            return nullptr;
        }
        b->p = grown;
        b->cap = cap;
    }
    uint8_t *at = b->p + b->n;
    b->n += more;
    return at;
}

// An item: UTF-16 little-endian with the terminator, or 8-bit with it.
struct Item {
    const char16_t *wide;
    const char *narrow;
    char16_t *own; // freed after the write
};

size_t itemLength(const Item &it)
{
    if (it.wide)
        return 2 * Ustr_len(it.wide) + 2;
    if (it.narrow)
        return strlen(it.narrow) + 1;
    return 0;
}

void putItem(Bytes *b, const Item &it)
{
    size_t n = itemLength(it);
    uint8_t *at = reserve(b, padded(n));
    if (!at)
        return;
    memset(at, 0, padded(n));
    if (it.wide) {
        for (size_t i = 0; i + 1 < n / 2 + 1 && i < n / 2; i++) {
            at[2 * i] = uint8_t(it.wide[i]);
            at[2 * i + 1] = uint8_t(it.wide[i] >> 8);
        }
    } else if (it.narrow) {
        memcpy(at, it.narrow, n);
    }
}

// A new 16-bit string from a UTF-16 item (terminated even when the item
// is not).
char16_t *wideOf(const uint8_t *p, size_t n)
{
    size_t units = n / 2;
    char16_t *s = static_cast<char16_t *>(Mem_malloc((units + 1) * sizeof(char16_t)));
    if (!s)
        return nullptr;
    for (size_t i = 0; i < units; i++)
        s[i] = char16_t(Bytes_peekU16Le(p + 2 * i));
    s[units] = 0;
    return s;
}

int makeIndexUrls(HttpCache *cache)
{
    CacheStore *store = cache->store;
    if (!store->indexUrl)
        store->indexUrl = Url_resolveText(cache->ctx, u"index.dat", cache->fileDir);
    if (!store->backupIndexUrl)
        store->backupIndexUrl = Url_resolveText(cache->ctx, u"index-bak.dat", cache->fileDir);
    return store->indexUrl && store->backupIndexUrl ? int(Res_ok) : int(Res_noMemory);
}

void appendRecord(Bytes *b, HttpCacheEntry *e)
{
    Item items[FileCache_items] = {};
    items[0].own = Url_toString(e->dataUrl, UrlPart_all);
    items[0].wide = items[0].own;
    items[1].own = Url_toString(e->core.url, UrlPart_all);
    items[1].wide = items[1].own;
    items[2].wide = e->contentType;
    items[3].wide = e->charset;
    items[4].wide = e->texts[0];
    items[5].narrow = e->streamName;
    for (int i = 0; i < 4; i++)
        items[6 + i].wide = e->auth ? e->auth->texts[i] : nullptr;
    uint8_t *f = reserve(b, FileCache_fixedSize);
    if (f) {
        const HttpCacheFields &h = e->fields;
        const int64_t times[7] = {h.date,   h.lastModified, h.expires,     h.age,
                                  h.maxAge, h.requestTime,  h.responseTime};
        for (int i = 0; i < 7; i++)
            Bytes_putU32Le(f + 4 * i, timeWord(times[i]));
        Bytes_putU32Le(f + 28, e->auth ? e->auth->words[0] : 0);
        Bytes_putU32Le(f + 32, e->auth ? e->auth->words[1] : 0);
        Bytes_putU32Le(f + 36, uint32_t(e->totalLength));
        Bytes_putU32Le(f + 40, uint32_t(e->totalLength >> 32));
        Bytes_putU32Le(f + 44, uint32_t(e->httpStatus));
        Bytes_putU32Le(f + 48, uint32_t(std::min<uint64_t>(e->stored, 0xFFFFFFFF)));
        Bytes_putU32Le(f + 52, uint32_t(e->status));
        Bytes_putU32Le(f + 56, h.noCache ? 1 : 0);
        for (int i = 0; i < int(FileCache_items); i++)
            Bytes_putU32Le(f + 60 + 4 * i, uint32_t(itemLength(items[i])));
    }
    for (const Item &it : items)
        putItem(b, it);
    Mem_free(items[0].own);
    Mem_free(items[1].own);
}

// Reads one record at data[pos..size): 0 with the entry made and *next
// set; Res_fileRead for a record cut short or an item length that does not fit.
int readRecord(HttpCache *cache, const uint8_t *data, size_t size, size_t pos, HttpCacheEntry **out,
               size_t *next)
{
    *out = nullptr;
    if (size - pos < FileCache_fixedSize)
        return Res_fileRead;
    const uint8_t *f = data + pos;
    size_t lengths[FileCache_items];
    size_t at = pos + FileCache_fixedSize;
    for (int i = 0; i < int(FileCache_items); i++) {
        lengths[i] = Bytes_peekU32Le(f + 60 + 4 * i);
        bool wide = i != 5;
        if ((wide && lengths[i] % 2) || lengths[i] > size - at || padded(lengths[i]) > size - at)
            return Res_fileRead;
        at += padded(lengths[i]);
    }
    HttpCacheEntry *e = nullptr;
    int err = HttpCacheEntry_create(cache, nullptr, &e, nullptr);
    if (err)
        return err;
    HttpCacheFields &h = e->fields;
    int64_t *times[7] = {&h.date,   &h.lastModified, &h.expires,     &h.age,
                         &h.maxAge, &h.requestTime,  &h.responseTime};
    for (int i = 0; i < 7; i++)
        *times[i] = timeOf(Bytes_peekU32Le(f + 4 * i));
    e->totalLength = uint64_t(Bytes_peekU32Le(f + 36)) | uint64_t(Bytes_peekU32Le(f + 40)) << 32;
    e->httpStatus = int32_t(Bytes_peekU32Le(f + 44));
    e->stored = Bytes_peekU32Le(f + 48);
    h.noCache = Bytes_peekU32Le(f + 56) & 1;
    (void)HttpCache_fileStore.select(e);
    e->auth = static_cast<HttpCacheAuth *>(Mem_calloc(1, sizeof(HttpCacheAuth)));
    bool ok = e->auth != nullptr;
    size_t p = pos + FileCache_fixedSize;
    for (int i = 0; i < int(FileCache_items) && ok; i++) {
        size_t n = lengths[i];
        const uint8_t *item = data + p;
        p += padded(n);
        if (n == 0)
            continue;
        if (i == 5) {
            e->streamName = static_cast<char *>(Mem_malloc(n + 1));
            ok = e->streamName != nullptr;
            if (ok) {
                memcpy(e->streamName, item, n);
                e->streamName[n] = 0;
            }
            continue;
        }
        char16_t *text = wideOf(item, n);
        ok = text != nullptr;
        if (!ok)
            break;
        if (i == 0 || i == 1) {
            Url *u = Url_new(text);
            Mem_free(text);
            ok = u != nullptr;
            if (i == 0)
                e->dataUrl = u;
            else
                e->core.url = u;
        } else if (i == 2) {
            e->contentType = text;
        } else if (i == 3) {
            e->charset = text;
        } else if (i == 4) {
            e->texts[0] = text;
        } else {
            e->auth->texts[i - 6] = text;
        }
    }
    if (!ok) {
        HttpCacheEntry_free(e);
        return Res_noMemory;
    }
    HttpCache_computeFreshness(&h, e->core.url, e->httpStatus, cache->flags);
    e->core.timeStamp = h.responseTime;
    *out = e;
    *next = p;
    return Res_ok;
}

// Drops a loaded entry that is not kept: recycled, its data file deleted,
// except for a second record of a URL already cached, whose data file may
// be the kept entry's.
void dropLoaded(HttpCacheEntry *e, bool duplicate)
{
    if (!duplicate)
        HttpCache_fileStore.discard(e);
    HttpCacheEntry_free(e);
}

} // namespace

Url *FileCache_directory(EngineContext *context)
{
    char16_t *value = Config_getUstrA(context, context->config, u"Paths", "File.cache",
                                      u"file://localhost/okala_dir/");
    if (!value)
        return nullptr;
    size_t n = Ustr_len(value);
    Url *url = nullptr;
    char16_t *text = static_cast<char16_t *>(Mem_malloc((n + 2) * sizeof(char16_t)));
    if (text) {
        memcpy(text, value, n * sizeof(char16_t));
        if (!n || text[n - 1] != '/')
            text[n++] = '/';
        text[n] = 0;
        url = Url_new(text);
        Mem_free(text);
    }
    Mem_free(value);
    return url;
}

int FileCache_newDataFile(HttpCacheEntry *entry, uint64_t, uint64_t minimum)
{
    if (entry->dataUrl)
        return Res_ok;
    HttpCache *cache = entry->cache;
    for (int attempt = 0; attempt < 100; attempt++) {
        char16_t name[16];
        uint32_t v = uint32_t(Std_rand()) & 0x7FFF;
        char16_t digits[8];
        int k = 0;
        do {
            digits[k++] = char16_t("0123456789abcdef"[v & 15]);
            v >>= 4;
        } while (v);
        int j = 0;
        while (k)
            name[j++] = digits[--k];
        for (char16_t c : {u'.', u'd', u'a', u't'})
            name[j++] = c;
        name[j] = 0;
        Url *url = Url_resolveText(cache->ctx, name, cache->fileDir);
        if (!url)
            return Res_noMemory;
        if (WebFile_exists(cache->ctx, url, nullptr)) {
            Url_free(url);
            continue;
        }
        int err = WebFile_create(cache->ctx, url);
        if (err) {
            Url_free(url);
            return err;
        }
        entry->dataUrl = url;
        entry->minimumSize = minimum;
        return Res_ok;
    }
    return Res_ok;
}

int FileCache_write(HttpCacheEntry *entry, const uint8_t *bytes, size_t length)
{
    if (!entry->dataUrl)
        return Res_fileCannotOpen;
    return WebFile_append(entry->cache->ctx, entry->dataUrl, bytes, length, &entry->stored);
}

int FileCache_read(HttpCacheEntry *entry, uint64_t offset, uint8_t *bytes, size_t length,
                   size_t *got)
{
    *got = 0;
    if (!entry->dataUrl)
        return Res_fileCannotOpen;
    return WebFile_readAt(entry->cache->ctx, entry->dataUrl, offset, bytes, length, got);
}

int FileCache_saveIndex(HttpCache *cache)
{
    if (!cache || cache->saveDisabled || !cache->fileLimit || cache->loading || !cache->indexInUse)
        return Res_ok;
    EngineContext *ctx = cache->ctx;
    int err = makeIndexUrls(cache);
    if (err)
        return err;
    CacheStore *store = cache->store;
    if (!WebFile_exists(ctx, store->backupIndexUrl, nullptr))
        (void)WebFile_rename(ctx, store->indexUrl, store->backupIndexUrl);
    Bytes b = {};
    uint8_t *header = reserve(&b, 8);
    if (header) {
        Bytes_putU32Le(header, FileCache_magic);
        Bytes_putU32Le(header + 4, FileCache_version);
    }
    for (CacheEntry *c = store->head; c; c = c->next) {
        HttpCacheEntry *e = reinterpret_cast<HttpCacheEntry *>(c);
        if (e->dataUrl && !c->doomed && e->store == &HttpCache_fileStore)
            appendRecord(&b, e);
    }
    if (b.failed) {
        Mem_free(b.p);
        return Res_noMemory;
    }
    err = WebFile_create(ctx, store->indexUrl);
    uint64_t written = 0;
    if (!err)
        err = WebFile_append(ctx, store->indexUrl, b.p, b.n, &written);
    Mem_free(b.p);
    if (!err)
        (void)WebFile_remove(ctx, store->backupIndexUrl);
    return err;
}

int FileCache_loadIndex(HttpCache *cache)
{
    if (!cache || !cache->fileDir)
        return Res_ok;
    EngineContext *ctx = cache->ctx;
    int err = makeIndexUrls(cache);
    if (err)
        return err;
    CacheStore *store = cache->store;
    cache->loading = 1;
    uint8_t *data = nullptr;
    size_t size = 0;
    bool fromBackup = WebFile_exists(ctx, store->backupIndexUrl, nullptr) != 0;
    if (fromBackup) {
        (void)WebFile_remove(ctx, store->indexUrl);
        err = WebFile_read(ctx, store->backupIndexUrl, &data, &size);
    } else {
        err = WebFile_read(ctx, store->indexUrl, &data, &size);
    }
    if (!err) {
        cache->indexInUse = 1;
        if (size < 8 || Bytes_peekU32Le(data) != FileCache_magic ||
            Bytes_peekU32Le(data + 4) != FileCache_version)
            size = 0; // a bad header loads nothing
        size_t pos = size ? 8 : 0;
        while (pos < size) {
            HttpCacheEntry *e = nullptr;
            size_t next = pos;
            err = readRecord(cache, data, size, pos, &e, &next);
            if (err)
                break;
            pos = next;
            uint64_t fileSize = 0;
            bool duplicate = e->core.url && FileCache_hasEntry(cache, e->core.url, 0);
            bool keep = e->dataUrl && e->core.url && !duplicate &&
                        WebFile_exists(ctx, e->dataUrl, &fileSize) &&
                        fileSize < (uint64_t(1) << 32) && fileSize == e->stored;
            if (!keep) {
                dropLoaded(e, duplicate);
                continue;
            }
            // Published, then settled idle: counted in the cache totals.
            e->core.refCount = 1;
            HttpCacheEntry_publish(e);
            CacheEntry_release(&e->core);
        }
    }
    Mem_free(data);
    if (fromBackup)
        (void)WebFile_rename(ctx, store->backupIndexUrl, store->indexUrl);
    cache->loading = 0;
    return err;
}

int FileCache_hasEntry(HttpCache *cache, const Url *url, int usableOnly)
{
    if (!cache || !url || Url_hasDataPart(url))
        return 0;
    CacheStore *store = cache->store;
    if (!store->head)
        return 0;
    int found = 0;
    Lock_acquire(&store->lock);
    for (CacheEntry *c = store->head; c && !found; c = c->next) {
        HttpCacheEntry *e = reinterpret_cast<HttpCacheEntry *>(c);
        if (usableOnly && e->httpStatus >= 400 && e->httpStatus <= 505)
            continue;
        found = c->url && Url_equals(c->url, url);
    }
    Lock_release(&store->lock);
    return found;
}
