// The File stream type: buffered reading and writing over a platform file.
//
// Readers borrow buffers instead of passing their own: a get call lends
// the bytes at the read position and a done call says how many were used.
// With read-ahead the stream fetches 4096 bytes more than it holds, so
// small reads cost one system call per block. Bytes keep the word
// alignment of their file offsets inside the buffer (the index keeps its
// value modulo 4 when unread bytes move to the front), which lets readers
// of word-aligned formats cast freely. Writers are lent an area of the
// buffer the same way; written bytes go to the file when the buffer fills,
// on a seek, on tell and on close. A stream alternates between reading and
// writing: a seek that drops the buffer switches between them.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr size_t readAheadBytes = 4096;
constexpr size_t writeBufferBytes = 4096;

FileStream *streamOf(VfsHandle *h)
{
    return h ? static_cast<FileStream *>(h->priv) : nullptr;
}

int isLent(const VfsHandle *h)
{
    return (h->mode & Vfs_modeLent) != 0;
}

// Moves the unread bytes (from the index rounded down to a multiple of 4)
// to the start of dst, keeping the index modulo 4.
void moveUnread(FileStream *fs, uint8_t *dst)
{
    size_t from = fs->index & ~size_t(3);
    std::memmove(dst, fs->buffer + from, fs->fill - from);
    fs->fill -= from;
    fs->index -= from;
}

int flush(FileStream *fs)
{
    if (!fs->dirty)
        return Res_ok;
    int r = AlienFile_write(fs->file, fs->buffer, fs->index);
    fs->index = 0;
    fs->dirty = 0;
    return r;
}

void dropBuffer(FileStream *fs)
{
    Mem_free(fs->buffer);
    fs->buffer = nullptr;
    fs->capacity = fs->fill = fs->index = 0;
}

// The local path of a URL as UTF-8 for messages; null on failure.
char *pathText(const Url *url)
{
    return Url_toUtf8(url, UrlPart_path);
}

} // namespace

int FileStream_makeDirs(EngineContext *context, const Url *url)
{
    char16_t *path = nullptr;
    int r = File_urlToPath(context, url, &path);
    if (r == Res_ok)
        r = AlienFile_makeDirs(context, path);
    Mem_free(path);
    return r;
}

int FileStream_open(EngineContext *context, VfsHandle *handle, const Url *url, uint32_t mode,
                    uint32_t *accepted)
{
    *accepted = 0;
    if (!handle || !url)
        return Res_missingArgument;
    char16_t *path = nullptr;
    int r = File_urlToPath(context, url, &path);
    if (r != Res_ok)
        return r;
    // Only a URL with the memory mark may name a memory block.
    uint32_t m = mode & ~uint32_t(AlienFile_optMemory);
    if (Url_getFlag16(url) & Url_memoryMark)
        m |= AlienFile_optMemory;
    AlienFile *f = nullptr;
    r = AlienFile_open(context, &f, path, m);
    Mem_free(path);
    if (r != Res_ok)
        return r;
    FileStream *fs = static_cast<FileStream *>(Mem_calloc(1, sizeof(FileStream)));
    if (!fs) {
        (void)AlienFile_close(f); // a close failure leaves nothing to undo here
        return Res_noMemory;
    }
    fs->file = f;
    fs->readAhead = (mode & AlienFile_optReadAhead) != 0;
    handle->priv = fs;
    handle->ctx = context;
    uint32_t kept = mode & ~uint32_t(AlienFile_optMemory | AlienFile_optExclusive | Vfs_modeLent);
    if ((mode & AlienFile_modeMask) != AlienFile_modeList)
        kept |= Vfs_modeSeekable;
    *accepted = kept;
    return Res_ok;
}

int FileStream_close(VfsHandle *handle)
{
    FileStream *fs = streamOf(handle);
    if (!fs)
        return Res_ok;
    int r = isLent(handle) ? Res_vfsBufferLent : Res_ok;
    handle->mode &= ~uint32_t(Vfs_modeLent);
    int f = flush(fs);
    if (r == Res_ok)
        r = f;
    Mem_free(fs->buffer);
    Mem_free(fs->mime);
    int c = AlienFile_close(fs->file);
    if (r == Res_ok)
        r = c;
    Mem_free(fs);
    handle->priv = nullptr;
    return r;
}

int FileStream_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    FileStream *fs = streamOf(handle);
    if (!fs)
        return Res_missingArgument;
    if (isLent(handle))
        return Res_vfsBufferLent;
    if (fs->dirty)
        return Res_vfsNotAvailable;
    size_t avail = fs->fill - fs->index;
    size_t target = want;
    if (avail < want && fs->readAhead)
        target = avail + readAheadBytes > want ? avail + readAheadBytes : want;
    if (target == 0)
        target = 1;
    if (!fs->buffer) {
        if (!(fs->buffer = static_cast<uint8_t *>(Mem_malloc(target))))
            return Res_noMemory;
        fs->capacity = target;
        fs->fill = fs->index = 0;
    }
    size_t align = fs->index & 3;
    if (fs->capacity < align + target) {
        uint8_t *grown = static_cast<uint8_t *>(Mem_malloc(align + target));
        if (!grown)
            return Res_noMemory;
        moveUnread(fs, grown);
        Mem_free(fs->buffer);
        fs->buffer = grown;
        fs->capacity = align + target;
    }
    if (avail < target) {
        size_t missing = target - avail;
        if (fs->capacity - fs->fill < missing)
            moveUnread(fs, fs->buffer);
        size_t n = missing;
        int r = AlienFile_read(fs->file, fs->buffer + fs->fill, &n);
        fs->fill += n;
        if (r != Res_ok)
            return r;
    }
    *ptr = fs->buffer + fs->index;
    *len = fs->fill - fs->index;
    handle->mode |= Vfs_modeLent;
    return Res_ok;
}

int FileStream_readDone(VfsHandle *handle, size_t n)
{
    FileStream *fs = streamOf(handle);
    if (!fs || !isLent(handle))
        return Res_vfsNothingLent;
    size_t avail = fs->fill - fs->index;
    fs->index += n < avail ? n : avail;
    handle->mode &= ~uint32_t(Vfs_modeLent);
    return Res_ok;
}

int FileStream_getHandle(VfsHandle *handle, uintptr_t *value)
{
    if (value)
        *value = 0;
    return handle && isLent(handle) ? Res_vfsBufferLent : Res_vfsNotAvailable;
}

int FileStream_getWriteBuf(VfsHandle *handle, size_t want, uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    FileStream *fs = streamOf(handle);
    if (!fs)
        return Res_missingArgument;
    if (isLent(handle))
        return Res_vfsBufferLent;
    if (fs->fill != 0)
        return Res_vfsNotAvailable;
    if (!fs->buffer) {
        size_t size = want > writeBufferBytes ? want : writeBufferBytes;
        if (!(fs->buffer = static_cast<uint8_t *>(Mem_malloc(size))))
            return Res_noMemory;
        fs->capacity = size;
        fs->index = 0;
    }
    size_t start = (fs->index + 3) & ~size_t(3);
    if (fs->dirty && (start > fs->capacity || fs->capacity - start < want)) {
        int r = flush(fs);
        if (r != Res_ok)
            return r;
        start = 0;
    }
    if (start > fs->capacity || fs->capacity - start < want) {
        void *grown = Mem_realloc(fs->buffer, start + want);
        if (!grown)
            return Res_noMemory;
        fs->buffer = static_cast<uint8_t *>(grown);
        fs->capacity = start + want;
    }
    *ptr = fs->buffer + start;
    *len = fs->capacity - start;
    fs->lentLength = *len;
    handle->mode |= Vfs_modeLent;
    return Res_ok;
}

int FileStream_writeDone(VfsHandle *handle, size_t n)
{
    FileStream *fs = streamOf(handle);
    if (!fs || !isLent(handle))
        return Res_vfsNothingLent;
    handle->mode &= ~uint32_t(Vfs_modeLent);
    if (n > fs->lentLength)
        return Res_vfsRequestTooLarge;
    size_t start = (fs->index + 3) & ~size_t(3);
    if (start != fs->index && n)
        std::memmove(fs->buffer + fs->index, fs->buffer + start, n);
    fs->index += n;
    if (n)
        fs->dirty = 1;
    return Res_ok;
}

int FileStream_readDirEntry(VfsHandle *handle, const char16_t **name)
{
    *name = nullptr;
    FileStream *fs = streamOf(handle);
    if (!fs)
        return Res_missingArgument;
    return AlienFile_readDirEntry(handle->ctx, fs->file, name);
}

int FileStream_tell(VfsHandle *handle, uint64_t *position)
{
    *position = 0;
    FileStream *fs = streamOf(handle);
    if (!fs)
        return Res_missingArgument;
    if (isLent(handle))
        return Res_vfsBufferLent;
    int r = flush(fs);
    if (r != Res_ok)
        return r;
    uint64_t at = 0;
    (void)AlienFile_tell(fs->file, &at); // a failed tell leaves at 0
    *position = at - (fs->fill - fs->index);
    return Res_ok;
}

int FileStream_seek(VfsHandle *handle, uint64_t position)
{
    FileStream *fs = streamOf(handle);
    if (!fs)
        return Res_missingArgument;
    if (isLent(handle))
        return Res_vfsBufferLent;
    int r = flush(fs);
    if (r != Res_ok)
        return r;
    if (position > uint64_t(INT64_MAX))
        return Res_fileSeek;
    uint64_t target = position;
    if (fs->fill && !(handle->mode & (Vfs_modeAppend | Vfs_modeWrite))) {
        uint64_t at = 0;
        (void)AlienFile_tell(fs->file, &at); // a failed tell leaves at 0
        uint64_t start = at - fs->fill;
        if (target >= start && target <= at) {
            fs->index = size_t(target - start);
            return Res_ok;
        }
    }
    dropBuffer(fs);
    return AlienFile_seek(fs->file, target);
}

int FileStream_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value)
{
    *value = 0;
    FileStream *fs = streamOf(handle);
    if (!fs)
        return Res_missingArgument;
    const char16_t *mime = nullptr;
    uint32_t id = 0;
    switch (code) {
    case 0: {
        if (!isLent(handle)) {
            int r = flush(fs);
            if (r != Res_ok)
                return r;
        }
        int r = AlienFile_getSize(fs->file, &fs->size);
        if (r != Res_ok)
            return r;
        *value = reinterpret_cast<uintptr_t>(&fs->size);
        return Res_ok;
    }
    case 1:
        if (Vfs_fileMimeInfo(handle, &mime, &id) != Res_ok)
            return Res_noMemory;
        *value = reinterpret_cast<uintptr_t>(mime);
        return Res_ok;
    case 2: return Res_ok;
    case 6:
        if (Vfs_fileMimeInfo(handle, &mime, &id) != Res_ok)
            return Res_noMemory;
        *value = id;
        return Res_ok;
    case 10: return Res_ok;
    case 4:
        fs->infoWord = 0;
        *value = reinterpret_cast<uintptr_t>(&fs->infoWord);
        return Res_vfsInfoUnknown;
    default: return Res_vfsInfoUnknown;
    }
}

int FileStream_setInfo(VfsHandle *, uint32_t, uintptr_t)
{
    return Res_vfsInfoNotSettable;
}

int FileStream_remove(EngineContext *context, const Url *url)
{
    char16_t *path = nullptr;
    int r = File_urlToPath(context, url, &path);
    if (r == Res_ok)
        r = AlienFile_remove(context, path);
    Mem_free(path);
    return r;
}

namespace {

// Maps both URLs to paths and runs a two-path file operation on them; a
// failure is reported to the debug output with the verb given.
int twoPathOp(EngineContext *ctx, const Url *url, const Url *to,
              int (*op)(EngineContext *, const char16_t *, const char16_t *), const char *verb)
{
    char16_t *from = nullptr, *dest = nullptr;
    int r = File_urlToPath(ctx, url, &from);
    if (r == Res_ok)
        r = File_urlToPath(ctx, to, &dest);
    if (r == Res_ok)
        r = op(ctx, from, dest);
    if (r != Res_ok) {
        char *a = pathText(url), *b = pathText(to);
        Fmt_debugPrint("Error %s %s to %s: %d\n", verb, a, b, r);
        Mem_free(a);
        Mem_free(b);
    }
    Mem_free(from);
    Mem_free(dest);
    return r;
}

} // namespace

int FileStream_rename(EngineContext *context, const Url *url, const Url *to)
{
    return twoPathOp(context, url, to, AlienFile_rename, "renaming");
}

int FileStream_copy(EngineContext *context, const Url *url, const Url *to)
{
    return twoPathOp(context, url, to, AlienFile_copy, "copying");
}

int FileStream_pathQuery(EngineContext *, const Url *url, uint32_t code, uintptr_t)
{
    if (code != 10 || !url || !url->path)
        return Res_vfsInfoUnknown;
    for (const char16_t *p = url->path; *p; p++) {
        if (*p == u'.' && Ustr_nicmpCstr(p, ".zip", 4) == 0)
            return Res_vfsNotAvailable;
    }
    return Res_vfsInfoUnknown;
}
