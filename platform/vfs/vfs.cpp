// Virtual streams: handles, the stream type registry and its dispatch.
//
// Every wrapper checks what the stream layer promises before the type
// sees the call: the slot exists (769), the handle was opened for this
// kind of access (778) and a buffer request stays within 4096 bytes
// (773). The types themselves keep the lent-buffer state (776, 777).
// Streams that the host watches (a non-zero hook cookie) report their
// lends, consumption, seeks, notifications and close to the host hooks.
#include "platform/vfs/vfs.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/engine.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/romfs.h"

const VfsTypeOps VfsFileOps = {
    .name = "File",
    .flags = 0,
    .makeDir = FileStream_makeDirs,        // 2
    .open = FileStream_open,               // 3
    .close = FileStream_close,             // 4
    .getReadBuf = FileStream_getReadBuf,   // 5
    .readDone = FileStream_readDone,       // 6
    .getHandle = FileStream_getHandle,     // 7
    .getWriteBuf = FileStream_getWriteBuf, // 8
    .writeDone = FileStream_writeDone,     // 9
    .readDir = FileStream_readDirEntry,    // 10
    .tell = FileStream_tell,               // 11
    .seek = FileStream_seek,               // 12
    .getInfo = FileStream_getInfo,         // 13
    .setInfo = FileStream_setInfo,         // 14
    .remove = FileStream_remove,           // 15
    .rename = FileStream_rename,           // 16
    .pathQuery = FileStream_pathQuery,     // 21
    .copy = FileStream_copy,               // 25
};

// The stream types registered in a context (EngineContext::streamTypes):
// the entries by type index and the indexes in order of registration.
struct VfsTypeRegistry {
    VfsTypeEntry entry[VfsType_count];
    uint32_t order[VfsType_count];
    uint32_t count;
};

namespace {

const char16_t defaultMime[] = u"application/octet-stream";

const VfsTypeOps *rowOf(const VfsHandle *h)
{
    return h ? Vfs_typeOps(h->ctx, h->type) : nullptr;
}

// The registered entry of a type index, or null.
const VfsTypeEntry *entryOf(EngineContext *ctx, uint32_t type)
{
    const VfsTypeRegistry *registry = ctx ? ctx->streamTypes : nullptr;
    if (!registry || type >= VfsType_count || !registry->entry[type].ops)
        return nullptr;
    return &registry->entry[type];
}

bool isReadable(const VfsHandle *h)
{
    return (h->mode & Vfs_modeRead) != 0;
}

bool isWritable(const VfsHandle *h)
{
    return (h->mode & (Vfs_modeAppend | Vfs_modeWrite)) != 0;
}

bool modeAllowed(uint32_t mode)
{
    if (mode & Vfs_modeRefused)
        return false;
    switch (mode & Vfs_modeAccessMask) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 8: return true;
    default: return false;
    }
}

// The row for an operation on a URL: its handler object's type when it
// has one, else the type chosen for it.
int rowForUrl(EngineContext *ctx, const Url *url, const VfsTypeOps **row)
{
    *row = nullptr;
    uint32_t type = VfsType_none;
    if (const UrlHandler *h = Url_getHandler(url)) {
        type = h->streamType;
    } else {
        int r = Vfs_typeForUrl(ctx, url, &type);
        if (r != Res_ok)
            return r;
    }
    *row = Vfs_typeOps(ctx, type);
    return *row ? Res_ok : Res_vfsNoType;
}

// Calls the open slot of type on the handle.
int openAs(VfsHandle *h, uint32_t type, uint32_t mode, uint32_t *accepted, EngineContext *ctx)
{
    const VfsTypeOps *row = Vfs_typeOps(ctx, type);
    if (!row)
        return Res_vfsNoType;
    if (!row->open)
        return Res_vfsNotAvailable;
    h->type = type;
    int r = row->open(ctx, h, h->url, mode, accepted);
    if (r != Res_ok)
        h->type = VfsType_none;
    return r;
}

// Gives back a buffer left lent by a failed step, so that the handle can
// be used (and closed) normally.
void releaseLent(VfsHandle *h)
{
    if (h->mode & Vfs_modeLent)
        (void)Vfs_readDone(h, 0);
}

} // namespace

const VfsTypeOps *Vfs_typeOps(EngineContext *context, uint32_t type)
{
    if (type == VfsType_file)
        return &VfsFileOps;
    if (type == VfsType_mem)
        return &VfsMemOps;
    const VfsTypeEntry *entry = entryOf(context, type);
    return entry ? entry->ops : nullptr;
}

int Vfs_registerType(EngineContext *context, uint32_t type, const VfsTypeEntry *entry)
{
    if (!context || !entry || !entry->ops || type >= VfsType_count || type == VfsType_file ||
        type == VfsType_mem)
        return Res_missingArgument;
    if (!context->streamTypes)
        context->streamTypes =
            static_cast<VfsTypeRegistry *>(Mem_calloc(1, sizeof(VfsTypeRegistry)));
    VfsTypeRegistry *registry = context->streamTypes;
    if (!registry)
        return Res_noMemory;
    if (registry->entry[type].ops) {
        // A second registration replaces the first, which stops first.
        uint32_t kept = 0;
        for (uint32_t i = 0; i < registry->count; i++) {
            if (registry->order[i] != type)
                registry->order[kept++] = registry->order[i];
        }
        registry->count = kept;
        VfsTypeEntry old = registry->entry[type];
        registry->entry[type] = VfsTypeEntry{};
        if (old.stop)
            old.stop(context);
    }
    if (entry->start) {
        int r = entry->start(context);
        if (r != Res_ok)
            return r;
    }
    registry->entry[type] = *entry;
    registry->order[registry->count++] = type;
    return Res_ok;
}

void Vfs_unregisterTypes(EngineContext *context)
{
    VfsTypeRegistry *registry = context ? context->streamTypes : nullptr;
    if (!registry)
        return;
    while (registry->count > 0) {
        const VfsTypeEntry &entry = registry->entry[registry->order[--registry->count]];
        if (entry.stop)
            entry.stop(context);
    }
    context->streamTypes = nullptr;
    Mem_free(registry);
}

// ------------------------------------------------------------- handles

int Vfs_newHandle(const Url *url, VfsHandle **handle)
{
    *handle = nullptr;
    VfsHandle *h = static_cast<VfsHandle *>(Mem_calloc(1, sizeof(VfsHandle)));
    if (!h)
        return Res_noMemory;
    if (url && !(h->url = Url_copy(url))) {
        Mem_free(h);
        return Res_noMemory;
    }
    h->mime = defaultMime;
    h->type = VfsType_none;
    *handle = h;
    return Res_ok;
}

void Vfs_freeHandle(VfsHandle *handle)
{
    if (!handle)
        return;
    Url_free(handle->url);
    Mem_free(handle);
}

int Vfs_open(EngineContext *context, const Url *url, uint32_t mode, VfsHandle **handle,
             uint32_t *accepted)
{
    *handle = nullptr;
    *accepted = 0;
    if (!modeAllowed(mode))
        return Res_vfsNotAvailable;
    VfsHandle *h = nullptr;
    int r = Vfs_newHandle(url, &h);
    if (r != Res_ok)
        return r;
    h->ctx = context;
    uint32_t got = 0;
    uint32_t type = VfsType_none;
    if (const UrlHandler *handler = Url_getHandler(h->url)) {
        type = handler->streamType;
    } else {
        // Zip members come first: a URL may name a file inside an archive.
        const VfsTypeOps *zip = Vfs_typeOps(context, VfsType_zvfs);
        r = zip && zip->open ? zip->open(context, h, h->url, mode, &got) : Res_ok;
        if (r == Res_ok && h->type == VfsType_zvfs) {
            h->mode = got;
            *handle = h;
            *accepted = got;
            return Res_ok;
        }
        if (r == Res_ok)
            r = Vfs_typeForUrl(context, h->url, &type);
    }
    if (r == Res_ok)
        r = openAs(h, type, mode, &got, context);
    if (r == Res_vfsRetryUnhandled) {
        // The type will not take the URL with its handler object: choose
        // again from the URL alone, once.
        Url_setHandler(h->url, nullptr);
        r = Vfs_typeForUrl(context, h->url, &type);
        if (r == Res_ok)
            r = openAs(h, type, mode, &got, context);
    }
    if (r != Res_ok) {
        Vfs_freeHandle(h);
        return r;
    }
    h->mode = got;
    *handle = h;
    *accepted = got;
    return Res_ok;
}

int Vfs_openMemory(EngineContext *context, const uint8_t *data, size_t length, int own,
                   uint32_t mode, VfsHandle **handle, uint32_t *accepted)
{
    *handle = nullptr;
    *accepted = 0;
    VfsHandle *h = nullptr;
    if (Vfs_newHandle(nullptr, &h) != Res_ok) {
        if (own)
            Mem_free(const_cast<uint8_t *>(data));
        return Res_noMemory;
    }
    h->type = VfsType_mem;
    h->ctx = context;
    uint32_t got = 0;
    int r = MemFile_open(context, h, data, length, own, mode, &got);
    if (r != Res_ok) {
        Vfs_freeHandle(h);
        return r;
    }
    h->mode = got;
    *handle = h;
    *accepted = got;
    return Res_ok;
}

int Vfs_openCached(EngineContext *context, const Url *url, uint32_t mode, VfsHandle **handle,
                   uint32_t *accepted, uintptr_t a, uintptr_t b, uintptr_t extra)
{
    *handle = nullptr;
    *accepted = 0;
    if (Url_getHandler(url))
        return Vfs_open(context, url, mode, handle, accepted);
    const VfsTypeEntry *cache = entryOf(context, VfsType_cache);
    if (!cache || !cache->openCached)
        return Res_vfsNoType;
    uint32_t hookFlag = (mode & Vfs_modeCacheHook) ? 1 : 0;
    if (hookFlag)
        mode = (mode & ~uint32_t(Vfs_modeCacheHook)) | Vfs_modeSeekable;
    VfsHandle *h = nullptr;
    int r = Vfs_newHandle(url, &h);
    if (r != Res_ok)
        return r;
    h->ctx = context;
    uint32_t cookie = 0;
    if (Vfs_typeFlagsForUrl(context, url) != 0) {
        r = HostHooks_onOpen(context, url, hookFlag, &cookie);
        if (r != Res_ok) {
            Vfs_freeHandle(h);
            return r;
        }
    }
    h->type = VfsType_cache;
    uint32_t got = 0;
    r = cache->openCached(context, h, h->url, mode, &got, extra);
    if (r != Res_ok) {
        // The host was told of the open: tell it the stream is gone.
        if (cookie)
            HostHooks_onClose(context, cookie);
        Vfs_freeHandle(h);
        return r;
    }
    h->mode = got;
    h->hookCookie = cookie;
    if (a) {
        const VfsTypeOps *row = rowOf(h);
        r = row->setProgress ? row->setProgress(h, a, b) : Res_vfsNotAvailable;
        if (r != Res_ok) {
            (void)Vfs_close(h); // a close failure leaves nothing to undo here
            return r;
        }
    }
    *handle = h;
    *accepted = got;
    return Res_ok;
}

int Vfs_close(VfsHandle *handle)
{
    if (!handle)
        return Res_ok;
    const VfsTypeOps *row = rowOf(handle);
    int r = row && row->close ? row->close(handle) : Res_ok;
    if (handle->hookCookie)
        HostHooks_onClose(handle->ctx, handle->hookCookie);
    Vfs_freeHandle(handle);
    return r;
}

// --------------------------------------------- reading and writing

int Vfs_getReadBufOnce(VfsHandle *handle, size_t want, const uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->getReadBuf)
        return Res_vfsNotAvailable;
    if (!isReadable(handle))
        return Res_vfsNotOpenedFor;
    if (want > Vfs_maxRequest)
        return Res_vfsRequestTooLarge;
    int r = row->getReadBuf(handle, want, ptr, len);
    if (r == Res_ok && handle->hookCookie)
        HostHooks_onBuffer(handle->ctx, handle->hookCookie, handle, *ptr, *len);
    return r;
}

int Vfs_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr, size_t *len)
{
    int r = Vfs_getReadBufOnce(handle, want, ptr, len);
    if (r != Res_vfsDrainFirst)
        return r;
    size_t lent = (handle->mode & Vfs_modeLent) ? *len : 0;
    *ptr = nullptr;
    *len = 0;
    r = Vfs_refillDrain(handle, lent);
    if (r != Res_ok)
        return r;
    return Vfs_getReadBufOnce(handle, want, ptr, len);
}

int Vfs_readDone(VfsHandle *handle, size_t n)
{
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->readDone)
        return Res_vfsNotAvailable;
    if (!isReadable(handle))
        return Res_vfsNotOpenedFor;
    int r = row->readDone(handle, n);
    if (r == Res_ok && handle->hookCookie)
        HostHooks_onConsumed(handle->ctx, handle->hookCookie, n);
    return r;
}

int Vfs_refillDrain(VfsHandle *handle, size_t n)
{
    if (!handle)
        return Res_missingArgument;
    int r = Res_ok;
    if (handle->mode & Vfs_modeLent) {
        r = Vfs_readDone(handle, n);
        if (r != Res_ok)
            return r;
    } else {
        n = 0;
    }
    uint64_t position = 0;
    r = Vfs_tell(handle, &position);
    if (r != Res_ok)
        return r;
    for (;;) {
        const uint8_t *p = nullptr;
        size_t len = 0;
        r = Vfs_getReadBufOnce(handle, Vfs_maxRequest, &p, &len);
        if (r != Res_ok) {
            releaseLent(handle);
            return r;
        }
        r = Vfs_readDone(handle, len);
        if (r != Res_ok)
            return r;
        if (len == 0)
            break;
    }
    uint64_t back = position >= n ? position - n : 0;
    return Vfs_seek(handle, back);
}

int Vfs_getWriteBuf(VfsHandle *handle, size_t want, uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->getWriteBuf)
        return Res_vfsNotAvailable;
    if (!isWritable(handle))
        return Res_vfsNotOpenedFor;
    if (want > Vfs_maxRequest)
        return Res_vfsRequestTooLarge;
    return row->getWriteBuf(handle, want, ptr, len);
}

int Vfs_writeDone(VfsHandle *handle, size_t n)
{
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->writeDone)
        return Res_vfsNotAvailable;
    if (!isWritable(handle))
        return Res_vfsNotOpenedFor;
    if (n > Vfs_maxRequest)
        return Res_vfsRequestTooLarge;
    return row->writeDone(handle, n);
}

int Vfs_readDir(VfsHandle *handle, const char16_t **name)
{
    *name = nullptr;
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->readDir)
        return Res_vfsNotAvailable;
    if (!(handle->mode & Vfs_modeList))
        return Res_vfsNotOpenedFor;
    return row->readDir(handle, name);
}

int Vfs_tell(VfsHandle *handle, uint64_t *position)
{
    *position = 0;
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->tell)
        return Res_vfsNotAvailable;
    return row->tell(handle, position);
}

int Vfs_seek(VfsHandle *handle, uint64_t position)
{
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->seek)
        return Res_vfsNotAvailable;
    int r = row->seek(handle, position);
    if (r == Res_ok && handle->hookCookie)
        HostHooks_onSeek(handle->ctx, handle->hookCookie, position);
    return r;
}

// -------------------------------------------------------- properties

int Vfs_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value)
{
    *value = 0;
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->getInfo)
        return Res_vfsNotAvailable;
    int r = row->getInfo(handle, code, value);
    if (code == VfsInfo_size11 && (r == Res_vfsNotAvailable || r == Res_vfsInfoUnknown))
        r = row->getInfo(handle, VfsInfo_size, value);
    return r;
}

int Vfs_setInfo(VfsHandle *handle, uint32_t code, uintptr_t value)
{
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->setInfo)
        return Res_vfsNotAvailable;
    return row->setInfo(handle, code, value);
}

int Vfs_getUrl(VfsHandle *handle, Url **url)
{
    *url = nullptr;
    if (!handle)
        return Res_missingArgument;
    (void)Vfs_setInfo(handle, VfsInfo_flag16, 0);
    *url = handle->url;
    return Res_ok;
}

int Vfs_getHeader(VfsHandle *handle, const char *name, char **value)
{
    if (value)
        *value = nullptr;
    const VfsTypeOps *row = handle ? rowOf(handle) : nullptr;
    // Slot 18 of a type that keeps response headers: (name, value).
    if (!row || !row->getHeader || !name || !value || handle->type != VfsType_cache)
        return Res_vfsNotAvailable;
    return row->getHeader(handle, reinterpret_cast<uintptr_t>(name),
                          reinterpret_cast<uintptr_t>(value));
}

int Vfs_getFlags(VfsHandle *handle, uint32_t *mode)
{
    *mode = 0;
    if (!handle)
        return Res_missingArgument;
    *mode = handle->mode;
    return Res_ok;
}

int Vfs_notifyMonitor(VfsHandle *handle, uintptr_t value)
{
    if (!handle || !handle->hookCookie)
        return Res_ok;
    return HostHooks_onNotify(handle->ctx, handle->hookCookie, value);
}

int Vfs_clone(VfsHandle *handle, VfsHandle **newHandle)
{
    *newHandle = nullptr;
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (!row || !row->clone)
        return Res_vfsNotAvailable;
    if (!isReadable(handle))
        return Res_vfsNotOpenedFor;
    VfsHandle *c = nullptr;
    int r = Vfs_newHandle(handle->url, &c);
    if (r != Res_ok)
        return r;
    c->mime = handle->mime;
    c->type = handle->type;
    // A clone starts with nothing lent, whatever the original has out.
    c->mode = handle->mode & ~uint32_t(Vfs_modeLent);
    c->mimeId = handle->mimeId;
    c->ctx = handle->ctx;
    r = row->clone(handle, c);
    if (r != Res_ok) {
        Vfs_freeHandle(c);
        return r;
    }
    *newHandle = c;
    return Res_ok;
}

int Vfs_subscribe(VfsHandle *handle, VfsEventFn callback, void *arg, uint32_t mask)
{
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (row && row->subscribe)
        return row->subscribe(handle, callback, arg, mask);
    if (callback) {
        for (uint32_t bit = 1; bit <= 8; bit <<= 1) {
            if (mask & bit)
                callback(handle, arg, bit);
        }
    }
    return Res_ok;
}

int Vfs_getLength32(VfsHandle *handle, uint32_t *length)
{
    *length = 0;
    if (!handle)
        return Res_missingArgument;
    const VfsTypeOps *row = rowOf(handle);
    if (row && row->getLength32)
        return row->getLength32(handle, length);
    uintptr_t value = 0;
    int r = Vfs_getInfo(handle, VfsInfo_size, &value);
    if (r == Res_ok && value)
        *length = uint32_t(*reinterpret_cast<const uint64_t *>(value));
    return r;
}

// ----------------------------------------------------- URL operations

int Vfs_typeForUrl(EngineContext *context, const Url *url, uint32_t *type)
{
    *type = VfsType_none;
    uint32_t scheme = Url_getScheme(url);
    if (scheme == UrlScheme_none)
        return Res_urlIncomplete;
    uint32_t parts = Url_getPartsMask(url);
    uint32_t t;
    if (scheme == UrlScheme_http || scheme == UrlScheme_https) {
        if ((parts & (UrlPart_scheme | UrlPart_host)) != (UrlPart_scheme | UrlPart_host))
            return Res_urlIncomplete;
        return Res_vfsNoType;
    }
    if (scheme == UrlScheme_about) {
        t = VfsType_about;
    } else if (scheme == UrlScheme_cid) {
        t = VfsType_mime;
    } else {
        const uint32_t need = UrlPart_scheme | UrlPart_host | UrlPart_path;
        if ((parts & need) != need)
            return Res_urlIncomplete;
        if (scheme != UrlScheme_file)
            return Res_vfsNoType;
        t = VfsType_file;
    }
    const UrlHandler *h = Url_getHandler(url);
    const VfsTypeEntry *mime = entryOf(context, VfsType_mime);
    if (h && mime && mime->claimsHandler && mime->claimsHandler(h))
        t = VfsType_mime;
    *type = t;
    return Res_ok;
}

int Vfs_makeDir(EngineContext *context, const Url *url)
{
    const VfsTypeOps *row = nullptr;
    int r = rowForUrl(context, url, &row);
    if (r != Res_ok)
        return r;
    return row->makeDir ? row->makeDir(context, url) : Res_vfsNotAvailable;
}

int Vfs_urlOp15(EngineContext *context, const Url *url)
{
    const VfsTypeOps *row = nullptr;
    int r = rowForUrl(context, url, &row);
    if (r != Res_ok)
        return r;
    return row->remove ? row->remove(context, url) : Res_vfsNotAvailable;
}

int Vfs_rename(EngineContext *context, const Url *url, const Url *to)
{
    const VfsTypeOps *row = nullptr;
    int r = rowForUrl(context, url, &row);
    if (r != Res_ok)
        return r;
    return row->rename ? row->rename(context, url, to) : Res_vfsNotAvailable;
}

int Vfs_copy(EngineContext *context, const Url *url, const Url *to)
{
    const VfsTypeOps *row = nullptr;
    int r = rowForUrl(context, url, &row);
    if (r != Res_ok)
        return r;
    return row->copy ? row->copy(context, url, to) : Res_vfsNotAvailable;
}

int Vfs_pathQuery(EngineContext *context, const Url *url, uint32_t code, uintptr_t arg)
{
    const VfsTypeOps *row = nullptr;
    int r = rowForUrl(context, url, &row);
    if (r != Res_ok)
        return r;
    return row->pathQuery ? row->pathQuery(context, url, code, arg) : Res_vfsNotAvailable;
}

int Vfs_handlerQuery(EngineContext *context, const Url *url, uintptr_t *result)
{
    *result = 0;
    UrlHandler *h = Url_getHandler(url);
    if (!h)
        return Res_ok;
    const VfsTypeOps *row = Vfs_typeOps(context, h->streamType);
    if (!row)
        return Res_vfsNoType;
    return row->handlerQuery ? row->handlerQuery(h, result) : Res_vfsNotAvailable;
}

int Vfs_urlSlot23(EngineContext *context, const Url *url, uintptr_t arg)
{
    const UrlHandler *h = Url_getHandler(url);
    if (!h)
        return Res_ok;
    const VfsTypeOps *row = Vfs_typeOps(context, h->streamType);
    if (!row)
        return Res_vfsNoType;
    return row->closeUrlSource ? row->closeUrlSource(url, arg) : Res_vfsNotAvailable;
}

uint32_t Vfs_getTypeFlags(EngineContext *context, const Url *url)
{
    const VfsTypeOps *row = nullptr;
    return rowForUrl(context, url, &row) == Res_ok ? row->flags : 0;
}

uint32_t Vfs_typeFlagsForUrl(EngineContext *context, const Url *url)
{
    return Vfs_getTypeFlags(context, url);
}

int Vfs_isSecureTyped(EngineContext *context, const Url *url)
{
    return Vfs_getTypeFlags(context, url) != 0 && Url_getScheme(url) == UrlScheme_https;
}

// ------------------------------------------------------------ set-up

int Vfs_initLayer(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    int r = AlienFile_initLayer(context);
    if (r != Res_ok)
        return r;
    int started = 0; // steps after the file layer that came up
    if ((r = RomFs_createTable(context)) == Res_ok) {
        started = 1;
        if ((r = Module_startNoop()) == Res_ok)
            return Res_ok;
    }
    if (started >= 1)
        RomFs_freeTable(context);
    AlienFile_finiLayer(context);
    return r;
}

void Vfs_finiLayer(EngineContext *context)
{
    if (!context || !context->fileLayer)
        return;
    Module_endNoop();
    RomFs_freeTable(context);
    AlienFile_finiLayer(context);
}
