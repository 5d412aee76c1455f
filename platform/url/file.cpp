// File URLs and the platform file records.
//
// A file URL's host picks the local directory it maps onto, from the
// environment; the URL's path is decoded and normalised before it is put
// behind that directory, so ".." can never climb out of it. A path then
// opens as one of four kinds of platform record: a built-in file (paths
// under "/okala_dir/", never looked for on disk), a directory listing, a
// memory block registered with the engine ("/RAM:<id>/..."), or a host
// file through the host file services. Reads and writes of host files
// loop until done and check between system calls whether the task was
// asked to stop.
#include "platform/url/file.h"

#include <cstdlib>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "core/host/hostservices.h"
#include "platform/api/engine.h"
#include "platform/host/hostfile.h"
#include "platform/url/url.h"
#include "platform/vfs/romfs.h"

namespace {

constexpr size_t maxTransfer = 0x7fffffff;

HostPlatform *platformOf(EngineContext *ctx)
{
    if (!ctx || !ctx->instance || !ctx->instance->host)
        return nullptr;
    return ctx->instance->host->platform;
}

FileLayer *layerOf(EngineContext *ctx)
{
    return ctx ? ctx->fileLayer : nullptr;
}

ExitList *exitListOf(EngineContext *ctx)
{
    return ctx && ctx->instance ? ctx->instance->exitList : nullptr;
}

// The exit handler of an open host file: when the engine shuts down with
// the file still open, its descriptor is closed so that none outlives the
// engine. The record forgets the descriptor, so a later close cannot hit a
// number the system has given to another file since.
void closeAtExit(void *, void *argument)
{
    AlienFile *f = static_cast<AlienFile *>(argument);
    if (f->fd >= 0) // at exit a close failure leaves nothing to undo
        (void)HostFile_close(platformOf(f->ctx), f->fd);
    f->fd = -1;
    f->exitId = 0;
}

char *toUtf8(const char16_t *s)
{
    char *out = nullptr;
    if (Charset_fromUstr(nullptr, s ? s : u"", &out, CharsetCode_utf8) != Res_ok)
        return nullptr;
    return out;
}

int startsWith(const char *s, const char *prefix)
{
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// Collapses runs of "/" into one in place; a leading "//" keeps both.
void collapseSlashes(char *path)
{
    char *in = path, *out = path;
    if (in[0] == '/' && in[1] == '/') {
        *out++ = *in++;
        *out++ = *in++;
        while (*in == '/')
            in++;
    }
    while (*in) {
        char c = *in++;
        *out++ = c;
        if (c == '/') {
            while (*in == '/')
                in++;
        }
    }
    *out = 0;
}

// The host open flags of an access mode with its option bits.
uint32_t hostFlags(uint32_t mode)
{
    static constexpr uint32_t table[16] = {0, 2, 9, 1, 13, 5, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    uint32_t flags = table[mode & AlienFile_modeMask];
    flags |= (mode >> 2) & 0x1F00; // options 0x400..0x4000 become host bits 0x100..0x1000
    if (mode & AlienFile_optExclusive)
        flags |= HostFile_exclusive;
    return flags;
}

// A hexadecimal number of 1 to 16 digits at *p; *p moves past it.
int readHex(const char **p, uint64_t *value)
{
    uint64_t v = 0;
    int digits = 0;
    for (const char *s = *p;; s++, digits++) {
        int d;
        if (*s >= '0' && *s <= '9')
            d = *s - '0';
        else if (*s >= 'a' && *s <= 'f')
            d = *s - 'a' + 10;
        else if (*s >= 'A' && *s <= 'F')
            d = *s - 'A' + 10;
        else
            break;
        if (digits == 16)
            return 0;
        v = (v << 4) | uint64_t(d);
    }
    if (!digits)
        return 0;
    *p += digits;
    *value = v;
    return 1;
}

RamBlock *findRam(FileLayer *layer, uint32_t id)
{
    for (size_t i = 0; layer && i < layer->ramCount; i++) {
        if (layer->ramBlocks[i].id == id)
            return &layer->ramBlocks[i];
    }
    return nullptr;
}

// "/RAM:" id ["/" length ["/" capacity]] ["/." name]: a registered block.
// The text cannot name more than the registration allows: a larger length
// or capacity, an unknown id and a fourth number are refused with 780.
int openMemory(AlienFile *f, const char *text, uint32_t mode)
{
    if (!(mode & AlienFile_optMemory) || !(mode & (AlienFile_modeRead | AlienFile_modeWriteNew)))
        return Res_fileCannotOpen;
    uint64_t id = 0, length = 0, capacity = 0;
    const char *p = text;
    if (!readHex(&p, &id) || id == 0 || id > 0xFFFFFFFFu)
        return Res_fileCannotOpen;
    if (*p == '/' && p[1] != '.') {
        p++;
        if (!readHex(&p, &length))
            return Res_fileCannotOpen;
    }
    int hasCapacity = 0;
    if (*p == '/' && p[1] != '.') {
        p++;
        if (!readHex(&p, &capacity) || capacity < length)
            return Res_fileCannotOpen;
        hasCapacity = 1;
    } else if (mode & AlienFile_modeWriteNew) {
        return Res_fileCannotOpen;
    }
    if (*p == '/' && p[1] != '.')
        return Res_fileCannotOpen; // a length word is given by registration only
    RamBlock *b = findRam(layerOf(f->ctx), uint32_t(id));
    if (!b)
        return Res_fileCannotOpen;
    size_t known = b->lengthWord ? *b->lengthWord : b->length;
    if (length == 0)
        length = known;
    if (length > known || (hasCapacity && capacity > b->capacity))
        return Res_fileCannotOpen;
    if ((mode & AlienFile_modeWriteNew) && b->capacity == 0)
        return Res_fileCannotOpen;
    f->kind = AlienFile_kindMemory;
    f->fd = 1;
    f->memData = b->data;
    f->memLength = size_t(length);
    f->memCapacity = hasCapacity ? size_t(capacity) : 0;
    f->memLengthWord = b->lengthWord;
    f->position = 0;
    return Res_ok;
}

int openListing(AlienFile *f, const char *path)
{
    HostPlatform *hp = platformOf(f->ctx);
    const char *suffix = HostFile_pathSuffix(hp, path);
    char *full = nullptr;
    if (suffix) {
        size_t n = std::strlen(path) + std::strlen(suffix) + 1;
        if (!(full = static_cast<char *>(Mem_malloc(n))))
            return Res_noMemory;
        Fmt_snprintf(full, n, "%s%s", path, suffix);
        path = full;
    }
    if (!(f->listingPath = Cstr_dup(path))) {
        Mem_free(full);
        return Res_noMemory;
    }
    Mem_free(full);
    // The listing record is the engine's: the host services allocate nothing.
    f->listing = static_cast<HostListing *>(Mem_malloc(sizeof(HostListing)));
    if (!f->listing)
        return Res_noMemory;
    const char *name = nullptr;
    int r = HostFile_lsFirst(hp, f->listingPath, f->listing, &name);
    if (r == HostFile_lsFound) {
        f->kind = AlienFile_kindHost;
        f->listingFlag = 1;
        return Res_ok;
    }
    HostFile_lsClose(hp, f->listing);
    Mem_free(f->listing);
    f->listing = nullptr;
    if (r == HostFile_lsNoSlash)
        return Res_fileBadPattern;
    if (r == HostFile_lsFailed)
        return Res_fileCannotOpen; // no such directory, or a path too long to list
    f->kind = AlienFile_kindEmpty; // nothing matches: an empty listing
    return Res_ok;
}

// 1 when an injected read-only folder refuses a change.
int refusesChange(EngineContext *ctx)
{
    FileLayer *layer = layerOf(ctx);
    return layer && layer->readOnly;
}

int openHost(AlienFile *f, const char *path, uint32_t mode)
{
    HostPlatform *hp = platformOf(f->ctx);
    if ((mode & AlienFile_modeMask) != AlienFile_modeRead && refusesChange(f->ctx))
        return Res_fileCannotOpen;
    if (startsWith(path, "/file://root/"))
        path += 13;
    uint32_t flags = hostFlags(mode) | 16;
    int fd = HostFile_open(hp, path, flags);
    if (fd == -2) { // open on demand: every transfer opens and closes
        if (!(f->keptPath = Cstr_dup(path)))
            return Res_noMemory;
        f->keptFlags = flags;
    } else if (fd < 0) {
        return Res_fileCannotOpen;
    }
    f->fd = fd;
    f->kind = AlienFile_kindHost;
    f->position = 0;
    ExitList *exits = exitListOf(f->ctx);
    if (fd >= 0 && exits) {
        int32_t id = 0;
        int r = ExitList_add(exits, closeAtExit, f, &id);
        if (r != Res_ok)
            return r; // the caller's close closes the descriptor
        f->exitId = uint32_t(id);
    }
    if ((mode & AlienFile_modeAtEnd) && fd >= 0) {
        HostStat st{};
        uint64_t size = 0;
        int ok = HostFile_seek(hp, fd, nullptr, HostFile_seekEnd) >= 0 &&
                 HostFile_stat(hp, fd, &st) == 0 && HostFile_statSize(hp, fd, &st, &size) == 0;
        if (!ok)
            return Res_fileCannotOpen;
        f->position = size;
    }
    return Res_ok;
}

// Opens an on-demand descriptor and moves it to the record's position.
int openOnDemand(AlienFile *f)
{
    HostPlatform *hp = platformOf(f->ctx);
    int fd = HostFile_open(hp, f->keptPath, f->keptFlags);
    if (fd < 0)
        return -1;
    int64_t at = int64_t(f->position);
    if (HostFile_seek(hp, fd, &at, HostFile_seekSet) < 0) {
        (void)HostFile_close(hp, fd); // a close failure leaves nothing to undo here
        return -1;
    }
    return fd;
}

// The directory of an environment variable is UTF-8 text, like every path
// the engine hands the system.
char16_t *joinPath(const char *prefix, const char16_t *path)
{
    char16_t *wide = nullptr;
    if (Charset_toUstr(nullptr, prefix ? prefix : "", &wide, CharsetCode_utf8) != Res_ok)
        return nullptr;
    char16_t *out = Ustr_appendDup(wide, path);
    if (!out)
        Mem_free(wide);
    return out;
}

// 1 when a ".." segment is left in a normalised path.
int climbs(const char16_t *path)
{
    for (const char16_t *p = path; *p; p++) {
        if (p[0] == u'/' && p[1] == u'.' && p[2] == u'.' && (p[3] == u'/' || p[3] == 0))
            return 1;
    }
    return 0;
}

} // namespace

// ------------------------------------------------------------ the layer

int AlienFile_initLayer(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    HostFile_startHook(platformOf(context));
    AlienFile_finiLayer(context);
    FileLayer *layer = static_cast<FileLayer *>(Mem_calloc(1, sizeof(FileLayer)));
    Lock *second = static_cast<Lock *>(Mem_calloc(1, sizeof(Lock)));
    if (!layer || !second) {
        Mem_free(layer);
        Mem_free(second);
        return Res_noMemory;
    }
    Lock_init(context, &layer->tempLock);
    Lock_init(context, second);
    layer->secondLock = second;
    layer->ramNextId = 1;
    layer->writeRoom = -1;
    context->fileLayer = layer;
    return Res_ok;
}

void AlienFile_finiLayer(EngineContext *context)
{
    FileLayer *layer = layerOf(context);
    if (!layer)
        return;
    HostFile_endHook(platformOf(context));
    Lock_fini(&layer->tempLock);
    if (layer->secondLock)
        Lock_fini(layer->secondLock);
    Mem_free(layer->secondLock);
    Mem_free(layer->ramBlocks);
    Mem_free(layer);
    context->fileLayer = nullptr;
}

// --------------------------------------------------- memory-block registry

int AlienFile_ramRegister(EngineContext *context, void *data, size_t length, size_t capacity,
                          size_t *lengthWord, uint32_t *id)
{
    *id = 0;
    FileLayer *layer = layerOf(context);
    if (!layer || !data)
        return Res_missingArgument;
    for (size_t i = 0; i < layer->ramCount; i++) {
        RamBlock &b = layer->ramBlocks[i];
        if (b.data == data && b.length == length && b.capacity == capacity &&
            b.lengthWord == lengthWord) {
            *id = b.id;
            return Res_ok;
        }
    }
    if (layer->ramCount == layer->ramCapacity) {
        size_t cap = layer->ramCapacity ? layer->ramCapacity * 2 : 8;
        void *grown = Mem_realloc(layer->ramBlocks, cap * sizeof(RamBlock));
        if (!grown)
            return Res_noMemory;
        layer->ramBlocks = static_cast<RamBlock *>(grown);
        layer->ramCapacity = cap;
    }
    uint32_t next = layer->ramNextId;
    while (next == 0 || findRam(layer, next))
        next++;
    layer->ramNextId = next + 1;
    layer->ramBlocks[layer->ramCount++] =
        RamBlock{next, static_cast<uint8_t *>(data), length, capacity, lengthWord};
    *id = next;
    return Res_ok;
}

void AlienFile_ramRelease(EngineContext *context, const void *address)
{
    FileLayer *layer = layerOf(context);
    if (!layer)
        return;
    size_t kept = 0;
    for (size_t i = 0; i < layer->ramCount; i++) {
        if (layer->ramBlocks[i].data != address)
            layer->ramBlocks[kept++] = layer->ramBlocks[i];
    }
    layer->ramCount = kept;
}

int AlienFile_ramUrl(EngineContext *context, const void *address, size_t length,
                     const char *extension, Url **url)
{
    *url = nullptr;
    if (!address || !extension || length > 0xFFFFFFFFu)
        return Res_missingArgument;
    uint32_t id = 0;
    int r = AlienFile_ramRegister(context, const_cast<void *>(address), length, 0, nullptr, &id);
    if (r != Res_ok)
        return r;
    char text[64];
    Fmt_snprintf(text, sizeof text, "file://localhost/RAM:%08x/%08x/.%s", id, unsigned(length),
                 extension);
    char16_t *wide = Ustr_fromCstr(text);
    if (!wide)
        return Res_noMemory;
    *url = Url_newMarked(wide);
    Mem_free(wide);
    return *url ? Res_ok : Res_noMemory;
}

// ------------------------------------------------------------ file URLs

const char *Env_getDirectory(const char *name)
{
    const char *v = std::getenv(name);
    if (!v && name && std::strcmp(name, "OKALA_DIRECTORY_RO") == 0)
        v = std::getenv("OKALA_DIRECTORY");
    return v;
}

int File_urlToPath(EngineContext *, const Url *url, char16_t **path)
{
    *path = nullptr;
    if (!url || !url->host)
        return Res_urlIncomplete;
    const char16_t *host = url->host;
    const char *prefix;
    if (Ustr_cmp(host, u"root") == 0)
        prefix = "";
    else if (!host[0] || Ustr_cmp(host, u"localhost") == 0)
        prefix = std::getenv("OKALA_DIRECTORY");
    else if (Ustr_cmp(host, u"resource") == 0)
        prefix = Env_getDirectory("OKALA_DIRECTORY_RO");
    else if (Ustr_cmp(host, u"home") == 0)
        prefix = std::getenv("OKALA_FSROOT");
    else
        return Res_fileBadHost;

    char16_t *decoded = nullptr;
    if (!Url_getPart(url, UrlPart_path, &decoded))
        return Res_noMemory;
    // Normalise before joining: the path is read from its own root, so no
    // "." or ".." can take it outside the mapped directory.
    char16_t *rooted = decoded && decoded[0] == u'/' ? decoded : nullptr;
    if (!rooted) {
        rooted = Ustr_appendDup(Ustr_dup(u"/"), decoded);
        Mem_free(decoded);
        if (!rooted)
            return Res_noMemory;
    }
    Url_removeDotSegments(rooted);
    if (climbs(rooted)) {
        Mem_free(rooted);
        return Res_fileBadHost;
    }
    *path = joinPath(prefix, rooted);
    Mem_free(rooted);
    return *path ? Res_ok : Res_noMemory;
}

// ------------------------------------------------------ platform records

int AlienFile_open(EngineContext *context, AlienFile **record, const char16_t *path, uint32_t mode)
{
    *record = nullptr;
    char *p = toUtf8(path);
    if (!p)
        return Res_noMemory;
    if (!startsWith(p, "/file:"))
        collapseSlashes(p);

    int r = Res_ok;
    AlienFile *f = nullptr;
    if (startsWith(p, "/okala_dir/")) {
        size_t n = std::strlen(p);
        while (n > 1 && p[n - 1] == '/')
            p[--n] = 0;
        int handled = 0;
        r = RomFs_open(context, &f, p, mode, &handled);
        if (r == Res_ok && !handled)
            r = Res_fileCannotOpen;
        Mem_free(p);
        if (r == Res_ok)
            *record = f;
        return r;
    }

    f = static_cast<AlienFile *>(Mem_calloc(1, sizeof(AlienFile)));
    if (!f) {
        Mem_free(p);
        return Res_noMemory;
    }
    f->ctx = context;
    f->fd = -1;
    f->romCursor = -1;
    if ((mode & AlienFile_modeMask) == AlienFile_modeList)
        r = openListing(f, p);
    else if (startsWith(p, "/RAM:"))
        r = openMemory(f, p + 5, mode);
    else
        r = openHost(f, p, mode);
    Mem_free(p);
    if (r != Res_ok) {
        (void)AlienFile_close(f); // a close failure leaves nothing to undo here
        return r;
    }
    *record = f;
    return Res_ok;
}

int AlienFile_close(AlienFile *f)
{
    if (!f)
        return Res_ok;
    int r = Res_ok;
    int handled = 0;
    (void)RomFs_close(f, &handled); // a close failure leaves nothing to undo here
    if (f->exitId) {
        int32_t id = int32_t(f->exitId);
        ExitList_remove(exitListOf(f->ctx), &id);
        f->exitId = 0;
    }
    HostPlatform *hp = platformOf(f->ctx);
    if (!handled && f->kind == AlienFile_kindHost) {
        if (f->fd >= 0 && HostFile_close(hp, f->fd) != 0)
            r = Res_fileWrite;
        HostFile_lsClose(hp, f->listing);
    }
    Mem_free(f->listing);
    Mem_free(f->listingPath);
    Mem_free(f->entryName);
    Mem_free(f->keptPath);
    Mem_free(f);
    return r;
}

int AlienFile_read(AlienFile *f, void *buffer, size_t *n)
{
    size_t want = *n;
    *n = 0;
    if (!f)
        return Res_fileRead;
    int handled = 0;
    size_t count = want;
    (void)RomFs_read(f, buffer, &count, &handled); // handled says whether it answered
    if (handled) {
        *n = count;
        return Res_ok;
    }
    if (f->kind == AlienFile_kindMemory) {
        uint64_t left = f->position < f->memLength ? f->memLength - f->position : 0;
        count = left < want ? size_t(left) : want;
        if (count)
            std::memcpy(buffer, f->memData + f->position, count);
        f->position += count;
        *n = count;
        return Res_ok;
    }
    if (f->kind != AlienFile_kindHost || f->listingPath)
        return Res_fileRead;
    HostPlatform *hp = platformOf(f->ctx);
    int fd = f->fd;
    if (fd == -2 && (fd = openOnDemand(f)) < 0)
        return Res_fileRead;
    int r = Res_ok;
    uint8_t *out = static_cast<uint8_t *>(buffer);
    size_t done = 0;
    while (done < want) {
        if (Task_checkStop(f->ctx) != Res_ok) {
            r = Res_stopRequested;
            break;
        }
        size_t ask = want - done < maxTransfer ? want - done : maxTransfer;
        int64_t got = HostFile_read(hp, fd, out + done, ask);
        if (got < 0) {
            r = Res_fileRead;
            break;
        }
        if (got == 0)
            break;
        done += size_t(got);
        f->position += uint64_t(got);
    }
    if (f->fd == -2 && HostFile_close(hp, fd) != 0 && r == Res_ok)
        r = Res_fileRead;
    *n = done;
    return r;
}

int AlienFile_write(AlienFile *f, const void *buffer, size_t n)
{
    if (!f || RomFs_isEntry(f))
        return Res_fileWrite;
    if (f->kind == AlienFile_kindMemory) {
        if (f->position > f->memCapacity || n > f->memCapacity - f->position)
            return Res_fileWrite;
        if (n)
            std::memcpy(f->memData + f->position, buffer, n);
        f->position += n;
        if (f->position > f->memLength)
            f->memLength = size_t(f->position);
        if (f->memLengthWord)
            *f->memLengthWord = size_t(f->position);
        return Res_ok;
    }
    if (f->kind != AlienFile_kindHost || f->listingPath)
        return Res_fileWrite;
    HostPlatform *hp = platformOf(f->ctx);
    int fd = f->fd;
    if (fd == -2) {
        if ((fd = openOnDemand(f)) < 0)
            return Res_fileWrite;
        f->keptFlags &= ~uint32_t(HostFile_truncate); // later reopenings keep the data
    }
    int r = Res_ok;
    const uint8_t *in = static_cast<const uint8_t *>(buffer);
    // An injected full disk takes what fits of this write, then fails it.
    FileLayer *layer = layerOf(f->ctx);
    if (layer && layer->writeRoom >= 0 && uint64_t(layer->writeRoom) < n) {
        n = size_t(layer->writeRoom);
        r = Res_fileWrite;
    }
    if (layer && layer->writeRoom >= 0)
        layer->writeRoom -= int64_t(n);
    size_t done = 0;
    while (done < n) {
        if (Task_checkStop(f->ctx) != Res_ok) {
            r = Res_stopRequested;
            break;
        }
        size_t ask = n - done < maxTransfer ? n - done : maxTransfer;
        int64_t put = HostFile_write(hp, fd, in + done, ask);
        if (put <= 0) {
            r = Res_fileWrite;
            break;
        }
        done += size_t(put);
        f->position += uint64_t(put);
    }
    if (HostFile_sync(hp, fd) != 0 && r == Res_ok)
        r = Res_fileWrite;
    if (f->fd == -2 && HostFile_close(hp, fd) != 0 && r == Res_ok)
        r = Res_fileWrite;
    return r;
}

int AlienFile_tell(AlienFile *f, uint64_t *position)
{
    *position = f ? f->position : 0;
    return Res_ok;
}

int AlienFile_seek(AlienFile *f, uint64_t offset)
{
    if (!f || offset > uint64_t(INT64_MAX))
        return Res_fileSeek;
    int handled = 0;
    (void)RomFs_seek(f, offset, &handled); // handled says whether it answered
    if (handled)
        return Res_ok;
    if (f->kind == AlienFile_kindHost && f->fd >= 0) {
        int64_t at = int64_t(offset);
        if (HostFile_seek(platformOf(f->ctx), f->fd, &at, HostFile_seekSet) < 0)
            return Res_fileSeek;
    }
    f->position = offset;
    return Res_ok;
}

int AlienFile_getSize(AlienFile *f, uint64_t *size)
{
    *size = 0;
    if (!f)
        return Res_fileSize;
    int handled = 0;
    RomFs_size(f, size, &handled);
    if (handled)
        return Res_ok;
    if (f->kind == AlienFile_kindMemory) {
        *size = f->memLength;
        return Res_ok;
    }
    if (f->kind != AlienFile_kindHost || f->fd < 0)
        return Res_fileSize;
    HostPlatform *hp = platformOf(f->ctx);
    HostStat st{};
    int ok = HostFile_stat(hp, f->fd, &st) == 0 && HostFile_statSize(hp, f->fd, &st, size) == 0;
    return ok ? Res_ok : Res_fileSize;
}

int AlienFile_readDirEntry(EngineContext *, AlienFile *f, const char16_t **name)
{
    *name = nullptr;
    if (!f)
        return Res_ok;
    int handled = 0;
    int r = RomFs_readDir(f, name, &handled);
    if (handled)
        return r;
    Mem_free(f->entryName);
    f->entryName = nullptr;
    if (f->kind != AlienFile_kindHost || !f->listing)
        return Res_ok;
    HostPlatform *hp = platformOf(f->ctx);
    const char *entry = nullptr;
    int found;
    if (f->listingFlag) {
        f->listingFlag = 0;
        found = HostFile_lsCurrent(hp, f->listingPath, f->listing, &entry);
    } else {
        found = HostFile_lsNext(hp, f->listingPath, f->listing, &entry);
    }
    f->listingStarted = 1;
    if (found != HostFile_lsFound)
        return Res_ok;
    r = Charset_toUstr(nullptr, entry, &f->entryName, CharsetCode_utf8);
    HostFile_nameDone(hp, entry);
    if (r != Res_ok)
        return r;
    *name = f->entryName;
    return Res_ok;
}

int AlienFile_getHandle(AlienFile *, uintptr_t *value)
{
    if (value)
        *value = 0;
    return Res_vfsNotAvailable;
}

int AlienFile_makeDirs(EngineContext *context, const char16_t *path)
{
    // The same UTF-8 names as every other file call.
    char *p = toUtf8(path);
    if (!p)
        return Res_noMemory;
    HostPlatform *hp = platformOf(context);
    int r = Res_ok;
    for (size_t i = 1; p[i] && r == Res_ok; i++) {
        if (p[i] != '/' && p[i] != '\\')
            continue;
        char keep = p[i];
        p[i] = 0;
        if (refusesChange(context) || HostFile_mkdir(hp, p) != 0)
            r = Res_fileCannotOpen;
        p[i] = keep;
    }
    Mem_free(p);
    return r;
}

int AlienFile_remove(EngineContext *context, const char16_t *path)
{
    char *p = toUtf8(path);
    if (!p)
        return Res_noMemory;
    int r = !refusesChange(context) && HostFile_remove(platformOf(context), p) == 0
                ? Res_ok
                : Res_fileRemove;
    Mem_free(p);
    return r;
}

int AlienFile_rename(EngineContext *context, const char16_t *from, const char16_t *to)
{
    char *a = toUtf8(from);
    char *b = toUtf8(to);
    int r = Res_noMemory;
    if (a && b)
        r = !refusesChange(context) && HostFile_rename(platformOf(context), a, b) == 0
                ? Res_ok
                : Res_fileRename;
    Mem_free(a);
    Mem_free(b);
    return r;
}

int AlienFile_copy(EngineContext *context, const char16_t *from, const char16_t *to)
{
    char *a = toUtf8(from);
    char *b = toUtf8(to);
    int r = Res_noMemory;
    if (a && b)
        r = !refusesChange(context) && HostFile_copy(platformOf(context), a, b) == 0 ? Res_ok
                                                                                     : Res_fileCopy;
    Mem_free(a);
    Mem_free(b);
    return r;
}

// ------------------------------------------------------- temporary files

int File_createTemp(EngineContext *context, const char16_t *directory, const char16_t *prefix,
                    Url **url)
{
    *url = nullptr;
    char *dir = toUtf8(directory);
    if (!dir)
        return Res_noMemory;
    if (!prefix)
        prefix = u"";
    FileLayer *layer = layerOf(context);
    if (layer)
        Lock_acquire(&layer->tempLock);
    int r = Res_fileCannotOpen;
    for (int attempt = 0; attempt < 255; attempt++) {
        unsigned number = unsigned(Std_rand() % 4095 + 1);
        int n = Fmt_snprintf(nullptr, 0, "%s/%S%x", dir, prefix, number);
        char *name = static_cast<char *>(Mem_malloc(size_t(n) + 1));
        if (!name) {
            r = Res_noMemory;
            break;
        }
        Fmt_snprintf(name, size_t(n) + 1, "%s/%S%x", dir, prefix, number);
        Url *candidate = nullptr;
        r = Url_newFromUserString(name, &candidate, 1);
        Mem_free(name);
        if (r != Res_ok)
            break;
        char16_t *path = nullptr;
        r = File_urlToPath(context, candidate, &path);
        AlienFile *f = nullptr;
        if (r == Res_ok) {
            // Probe first so that taken names are skipped quietly.
            r = AlienFile_open(context, &f, path, AlienFile_modeRead);
            (void)AlienFile_close(f); // a close failure leaves nothing to undo here
            f = nullptr;
            if (r == Res_ok) {
                Mem_free(path);
                Url_free(candidate);
                r = Res_fileCannotOpen;
                continue;
            }
            // Create exclusively: a file made meanwhile is never taken over.
            r = AlienFile_open(context, &f, path, AlienFile_modeWriteNew | AlienFile_optExclusive);
            if (r == Res_ok)
                r = AlienFile_close(f);
        }
        Mem_free(path);
        if (r == Res_ok)
            *url = candidate;
        else
            Url_free(candidate);
        break;
    }
    if (layer)
        Lock_release(&layer->tempLock);
    Mem_free(dir);
    return r;
}

// ------------------------------------------------------------ fault injection

void AlienFile_injectFullDisk(EngineContext *context, int64_t room)
{
    if (FileLayer *layer = layerOf(context))
        layer->writeRoom = room < 0 ? -1 : room;
}

void AlienFile_injectReadOnly(EngineContext *context, uint32_t on)
{
    if (FileLayer *layer = layerOf(context))
        layer->readOnly = on ? 1u : 0u;
}
