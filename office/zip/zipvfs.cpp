// Members of zip archives as streams: the Zvfs stream type.
//
// A zip stream owns the archive's own stream (opened through the stream
// layer, so it may itself be a zip stream), the archive read over it, and
// either one open member with a read buffer, or a listing cursor with the
// names it has handed out. Listing walks the entries in directory order
// and answers the next path component below the listed folder: a file as
// it comes, a subfolder only the first time one of its entries is met
// (the folders returned so far are kept sorted and found by bisection).
#include "office/zip/zipvfs.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "office/zip/zip.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr size_t bufferMinimum = 4096;
constexpr size_t poolStart = 512;  // characters
constexpr size_t folderStart = 64; // folders

// The state of one zip stream (VfsHandle::priv).
struct ZipVfsStream {
    VfsHandle *file; // the archive's stream
    ZipHandle *zip;
    ZipMember *member;    // a read stream's member
    char16_t *memberPath; // its name, or the listed folder with "/" (empty: the top)
    size_t prefixLength;
    uint64_t size; // the member's size (info 0)
    uint32_t time; // its modification time (info 4)
    // The read buffer: member bytes from bufferStart on.
    uint8_t *buffer;
    size_t capacity;
    uint64_t bufferStart;
    size_t bufferLength;
    uint64_t position;
    // The listing.
    uint32_t cursor;    // next entry to look at
    ZipMemberInfo info; // scratch record of the walk
    char16_t *pool;     // every name handed out, each terminated
    size_t poolCapacity;
    size_t poolUsed;
    uint32_t *folders; // pool offsets of the folders handed out, sorted by name
    size_t folderCount;
    size_t folderCapacity;
};

ZipVfsStream *streamOf(VfsHandle *h)
{
    return h ? static_cast<ZipVfsStream *>(h->priv) : nullptr;
}

bool isLent(const VfsHandle *h)
{
    return (h->mode & Vfs_modeLent) != 0;
}

void freeStream(ZipVfsStream *s)
{
    if (!s)
        return;
    Zip_memberClose(s->member);
    Zip_infoClear(&s->info);
    Zip_close(s->zip);
    (void)Vfs_close(s->file);
    Mem_free(s->memberPath);
    Mem_free(s->buffer);
    Mem_free(s->pool);
    Mem_free(s->folders);
    Mem_free(s);
}

// The ".zip" a path is cut at: the last one followed by "/", or, when
// listing, by the end of the path; null when there is none. *levels counts
// the archives the path goes through up to it.
const char16_t *findCut(const char16_t *path, bool listing, uint32_t *levels)
{
    const char16_t *cut = nullptr;
    *levels = 0;
    for (const char16_t *p = path; (p = Ustr_findAsciiNoCase(p, ".zip")) != nullptr; p++) {
        if (p[4] == u'/' || (listing && p[4] == 0)) {
            cut = p;
            ++*levels;
        }
    }
    return cut;
}

// *archiveUrl = a copy of url whose path ends at the cut, and *member the
// name after the "/" that follows it.
int splitUrl(const Url *url, const char16_t *cut, Url **archiveUrl, char16_t **member)
{
    *archiveUrl = nullptr;
    *member = nullptr;
    const char16_t *path = url->path;
    char16_t *archivePath = Ustr_dupN(path, size_t(cut + 4 - path));
    char16_t *name = Ustr_dup(cut[4] ? cut + 5 : u"");
    Url *copy = Url_copy(url);
    if (!archivePath || !name || !copy || !Url_setPart(copy, UrlPart_path, archivePath)) {
        Mem_free(archivePath);
        Mem_free(name);
        Url_free(copy);
        return Res_noMemory;
    }
    Mem_free(archivePath);
    // File URLs keep "%", "?" and "#" of file names escaped (see
    // Url_newFromUserString); the names inside the archive are plain.
    if (Url_getScheme(url) == UrlScheme_file)
        Ustr_unescapeInPlace(name);
    *archiveUrl = copy;
    *member = name;
    return Res_ok;
}

// Makes the listed folder's prefix: the member path with one "/" after it
// (none for the top level), which at least one entry must start with.
int setUpListing(ZipVfsStream *s)
{
    size_t n = Ustr_len(s->memberPath);
    if (n == 0)
        return Res_ok;
    if (s->memberPath[n - 1] != u'/') {
        char16_t *withSlash = Ustr_appendDup(s->memberPath, u"/");
        if (!withSlash)
            return Res_noMemory;
        s->memberPath = withSlash;
        n++;
    }
    s->prefixLength = n;
    ZipArchive *a = Zip_getArchive(s->zip);
    if (!a)
        return Res_zipBad;
    for (uint32_t e = 0; e < a->entryCount; e++) {
        int r = Zip_entryInfo(a, &s->info, e);
        if (r != Res_ok)
            return r;
        if (Ustr_ncmp(s->info.name, s->memberPath, n) == 0)
            return Res_ok;
    }
    return Res_fileBadPattern;
}

int setUpReading(ZipVfsStream *s)
{
    int r = Zip_memberOpen(s->zip, s->memberPath, &s->member);
    if (r != Res_ok)
        return r;
    s->size = Zip_memberSize(s->member);
    s->time = uint32_t(Zip_memberTime(s->member));
    s->buffer = static_cast<uint8_t *>(Mem_malloc(bufferMinimum));
    if (!s->buffer)
        return Res_noMemory;
    s->capacity = bufferMinimum;
    return Res_ok;
}

// Reads the member's next bytes into the buffer after what it holds.
int fillBuffer(ZipVfsStream *s)
{
    size_t got = 0;
    int r =
        Zip_memberRead(s->member, s->buffer + s->bufferLength, s->capacity - s->bufferLength, &got);
    s->bufferLength += got;
    return r;
}

// The key of a folder lookup: the name and the pool it is compared in.
struct FolderKey {
    const char16_t *name;
    size_t length;
    const char16_t *pool;
};

int compareFolder(const FolderKey *key, uint32_t offset)
{
    const char16_t *other = key->pool + offset;
    int c = Ustr_ncmp(key->name, other, key->length);
    if (c != 0)
        return c;
    return other[key->length] == 0 ? 0 : -1;
}

int compareFolderKey(const void *key, const void *element)
{
    return compareFolder(static_cast<const FolderKey *>(key),
                         *static_cast<const uint32_t *>(element));
}

// Adds n characters of name to the pool: *offset where they start.
int poolAdd(ZipVfsStream *s, const char16_t *name, size_t n, uint32_t *offset)
{
    if (s->poolCapacity - s->poolUsed < n + 1) {
        size_t capacity = s->poolCapacity ? s->poolCapacity : poolStart;
        while (capacity - s->poolUsed < n + 1)
            capacity *= 2;
        char16_t *grown =
            static_cast<char16_t *>(Mem_realloc(s->pool, capacity * sizeof(char16_t)));
        if (!grown)
            return Res_noMemory;
        s->pool = grown;
        s->poolCapacity = capacity;
    }
    memcpy(s->pool + s->poolUsed, name, n * sizeof(char16_t));
    s->pool[s->poolUsed + n] = 0;
    *offset = uint32_t(s->poolUsed);
    s->poolUsed += n + 1;
    return Res_ok;
}

// Puts the folder at offset into the sorted list.
int folderInsert(ZipVfsStream *s, uint32_t offset, size_t n)
{
    if (s->folderCount == s->folderCapacity) {
        size_t capacity = s->folderCapacity ? s->folderCapacity * 2 : folderStart;
        uint32_t *grown =
            static_cast<uint32_t *>(Mem_realloc(s->folders, capacity * sizeof(uint32_t)));
        if (!grown)
            return Res_noMemory;
        s->folders = grown;
        s->folderCapacity = capacity;
    }
    FolderKey key = {s->pool + offset, n, s->pool};
    size_t low = 0, high = s->folderCount;
    while (low < high) {
        size_t mid = (low + high) / 2;
        if (compareFolder(&key, s->folders[mid]) > 0)
            low = mid + 1;
        else
            high = mid;
    }
    memmove(s->folders + low + 1, s->folders + low, (s->folderCount - low) * sizeof(uint32_t));
    s->folders[low] = offset;
    s->folderCount++;
    return Res_ok;
}

} // namespace

const VfsTypeOps VfsZipOps = {
    .name = "Zvfs",
    .flags = 0,
    .open = ZipVfs_open,             // 3
    .close = ZipVfs_close,           // 4
    .getReadBuf = ZipVfs_getReadBuf, // 5
    .readDone = ZipVfs_readDone,     // 6
    .readDir = ZipVfs_readDir,       // 10
    .tell = ZipVfs_tell,             // 11
    .seek = ZipVfs_seek,             // 12
    .getInfo = ZipVfs_getInfo,       // 13
};

int ZipVfs_open(EngineContext *context, VfsHandle *handle, const Url *url, uint32_t mode,
                uint32_t *accepted)
{
    *accepted = 0;
    if ((mode & (Vfs_modeAppend | Vfs_modeWrite)) || !(mode & (Vfs_modeRead | Vfs_modeList)))
        return Res_ok;
    if (!url || !url->path)
        return Res_ok;
    bool listing = (mode & Vfs_modeList) != 0;
    uint32_t levels = 0;
    const char16_t *cut = findCut(url->path, listing, &levels);
    if (!cut)
        return Res_ok;
    // Each archive level opens the one it lies in through Vfs_open: a
    // path through very many of them would nest that deeply.
    if (levels > ZipVfs_maxNesting)
        return Res_zipBad;
    Url *archiveUrl = nullptr;
    char16_t *memberPath = nullptr;
    int r = splitUrl(url, cut, &archiveUrl, &memberPath);
    if (r != Res_ok)
        return r;
    VfsHandle *file = nullptr;
    uint32_t fileMode = 0;
    r = Vfs_open(context, archiveUrl, Vfs_modeRead | Vfs_modeSeekable | Vfs_modeReadAhead, &file,
                 &fileMode);
    Url_free(archiveUrl);
    if (r != Res_ok) {
        Mem_free(memberPath);
        // No such archive: perhaps a real folder whose name ends in ".zip".
        return r == Res_fileCannotOpen ? Res_ok : r;
    }
    ZipVfsStream *s = static_cast<ZipVfsStream *>(Mem_calloc(1, sizeof(ZipVfsStream)));
    if (!s) {
        Mem_free(memberPath);
        (void)Vfs_close(file);
        return Res_noMemory;
    }
    s->file = file;
    s->memberPath = memberPath;
    r = Zip_open(context, file, &s->zip);
    if (r == Res_ok)
        r = listing ? setUpListing(s) : setUpReading(s);
    if (r != Res_ok) {
        freeStream(s);
        return r;
    }
    handle->priv = s;
    handle->type = VfsType_zvfs;
    handle->ctx = context;
    *accepted = mode | ZipVfs_modeMarks |
                (listing && s->prefixLength == 0 ? uint32_t(ZipVfs_modeTopLevel) : 0u);
    return Res_ok;
}

int ZipVfs_close(VfsHandle *handle)
{
    ZipVfsStream *s = streamOf(handle);
    if (!s)
        return Res_ok;
    int r = isLent(handle) ? Res_vfsBufferLent : Res_ok;
    handle->mode &= ~uint32_t(Vfs_modeLent);
    freeStream(s);
    handle->priv = nullptr;
    return r;
}

int ZipVfs_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    ZipVfsStream *s = streamOf(handle);
    if (!s)
        return Res_missingArgument;
    if (!s->member)
        return Res_vfsNotAvailable;
    if (isLent(handle))
        return Res_vfsBufferLent;
    want = std::max<size_t>(want, 1);
    size_t avail = size_t(s->bufferStart + s->bufferLength - s->position);
    if (avail < want && s->bufferStart + s->bufferLength < s->size) {
        // Keep the unread bytes, grow to the request, read on after them.
        size_t used = size_t(s->position - s->bufferStart);
        memmove(s->buffer, s->buffer + used, avail);
        s->bufferStart = s->position;
        s->bufferLength = avail;
        if (s->capacity < want) {
            uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(s->buffer, want));
            if (!grown)
                return Res_noMemory;
            s->buffer = grown;
            s->capacity = want;
        }
        int r = fillBuffer(s);
        if (r != Res_ok)
            return r;
        avail = s->bufferLength;
    }
    *ptr = s->buffer + (s->position - s->bufferStart);
    *len = avail;
    handle->mode |= Vfs_modeLent;
    return Res_ok;
}

int ZipVfs_readDone(VfsHandle *handle, size_t n)
{
    ZipVfsStream *s = streamOf(handle);
    if (!s || !isLent(handle))
        return Res_vfsNothingLent;
    size_t avail = size_t(s->bufferStart + s->bufferLength - s->position);
    s->position += std::min(n, avail);
    handle->mode &= ~uint32_t(Vfs_modeLent);
    return Res_ok;
}

int ZipVfs_readDir(VfsHandle *handle, const char16_t **name)
{
    *name = nullptr;
    ZipVfsStream *s = streamOf(handle);
    if (!s)
        return Res_missingArgument;
    ZipArchive *a = Zip_getArchive(s->zip);
    while (s->cursor < a->entryCount) {
        int r = Zip_entryInfo(a, &s->info, s->cursor);
        if (r != Res_ok)
            return r;
        s->cursor++;
        const char16_t *full = s->info.name;
        if (Ustr_ncmp(full, s->memberPath, s->prefixLength) != 0)
            continue;
        const char16_t *part = full + s->prefixLength;
        const char16_t *slash = Ustr_chr(part, u'/');
        size_t n = slash ? size_t(slash - part) : Ustr_len(part);
        if (n == 0)
            continue;
        if (slash) {
            FolderKey key = {part, n, s->pool};
            if (s->folderCount &&
                Std_bsearch(&key, s->folders, s->folderCount, sizeof(uint32_t), compareFolderKey))
                continue;
        }
        uint32_t offset = 0;
        r = poolAdd(s, part, n, &offset);
        if (r == Res_ok && slash)
            r = folderInsert(s, offset, n);
        if (r != Res_ok) {
            s->cursor--; // the same entry is tried again
            return r;
        }
        *name = s->pool + offset;
        return Res_ok;
    }
    return Res_ok;
}

int ZipVfs_tell(VfsHandle *handle, uint64_t *position)
{
    *position = 0;
    ZipVfsStream *s = streamOf(handle);
    if (!s)
        return Res_missingArgument;
    if (isLent(handle))
        return Res_vfsBufferLent;
    *position = s->position;
    return Res_ok;
}

int ZipVfs_seek(VfsHandle *handle, uint64_t position)
{
    ZipVfsStream *s = streamOf(handle);
    if (!s)
        return Res_missingArgument;
    if (!s->member)
        return Res_vfsNotAvailable;
    if (isLent(handle))
        return Res_vfsBufferLent;
    if (position > s->size || position > ZipVfs_maxSeek)
        return Res_fileSeek;
    if (position < s->bufferStart) {
        int r = Zip_memberRewind(s->member);
        if (r != Res_ok)
            return r;
        s->bufferStart = 0;
        s->bufferLength = 0;
        s->position = 0;
    }
    // Forward through the member in steps of one buffer.
    while (s->bufferStart + s->bufferLength < position) {
        s->bufferStart += s->bufferLength;
        s->bufferLength = 0;
        s->position = s->bufferStart;
        int r = fillBuffer(s);
        if (r != Res_ok)
            return r;
        if (s->bufferLength == 0)
            return Res_fileSeek;
    }
    s->position = position;
    return Res_ok;
}

int ZipVfs_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value)
{
    *value = 0;
    ZipVfsStream *s = streamOf(handle);
    if (!s)
        return Res_missingArgument;
    switch (code) {
    case VfsInfo_size: *value = reinterpret_cast<uintptr_t>(&s->size); return Res_ok;
    case VfsInfo_mime: {
        // The MIME type, as every stream type answers code 1, taken from
        // the member's name.
        const char16_t *mime = nullptr;
        (void)Mime_typeFromFileName(s->memberPath, &mime);
        *value = reinterpret_cast<uintptr_t>(mime);
        return Res_ok;
    }
    case VfsInfo_modTime: *value = s->time; return Res_ok;
    default: return Res_vfsInfoUnknown;
    }
}
