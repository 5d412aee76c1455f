// The compound-file reader: sector file, directory and streams of an OLE2
// compound file; so far what the probe and the Word recogniser need. The
// sector file keeps the whole FAT (from the header's 109 DIFAT
// entries only; larger files are refused), the directory is read into an
// array with each entry's parent worked out from the sibling trees, and
// streams read through the FAT, or through the mini FAT and the root's
// mini stream below the cut-off. Sectors are read straight from the stream
// each time; nothing is cached.
#include "office/ole2/ole.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

struct OleFile {
    VfsHandle *stream;
    uint32_t sectorSize;
    uint32_t miniSectorSize;
    uint32_t cutoff;
    uint32_t firstDirSector;
    uint32_t firstMiniFatSector;
    uint32_t swap;
    uint32_t *fat;
    uint32_t fatCount;
    uint32_t *miniFat;
    uint32_t miniFatCount;
    uint32_t miniStart;         // the root entry's first sector
    uint32_t sectorCount;       // sectors the file holds: no chain is longer
};

struct OleDirEntryRec {
    char16_t name[32];
    uint32_t type;
    uint32_t left, right, child;
    uint32_t start;
    uint64_t size;
    uint32_t parent;            // 0xFFFFFFFF: not reached from the root
};

struct OleDirectory {
    OleDirEntryRec *entries;
    uint32_t count;
};

struct OleStream {
    OleHandle *owner;
    uint32_t entry;
    uint64_t position;
    OleStream *next;
};

namespace {

uint32_t oleU32(const uint8_t *p, uint32_t swap)
{
    return swap ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                : uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint32_t oleU16(const uint8_t *p, uint32_t swap)
{
    return swap ? (uint32_t(p[0]) << 8) | p[1] : uint32_t(p[0]) | (uint32_t(p[1]) << 8);
}

// Reads n bytes at a file offset.
int oleReadRaw(VfsHandle *stream, uint64_t offset, uint8_t *to, size_t n)
{
    int err = Vfs_seek(stream, offset);
    while (err == Res_ok && n) {
        size_t got = 0;
        err = Vfs_readBytes(stream, to, n, &got);
        if (err == Res_vfsShortRead)
            return Res_oleEndsInSector;
        to += got;
        n -= got;
    }
    return err;
}

int oleReadSector(OleFile *f, uint32_t id, uint8_t *to)
{
    if (id >= 0xFFFFFFFA)
        return Res_oleSectorBeyond;
    return oleReadRaw(f->stream, uint64_t(id + 1) * f->sectorSize, to, f->sectorSize);
}

// Reads a whole chain's words (FAT-style tables) into a new array.
int oleReadChainWords(OleFile *f, uint32_t first, uint32_t **out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    uint32_t per = f->sectorSize / 4;
    uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(f->sectorSize));
    if (!buf)
        return Res_noMemory;
    int err = Res_ok;
    uint32_t *words = nullptr;
    uint32_t n = 0;
    for (uint32_t id = first, steps = 0; id != Ole_sectorEndOfChain; steps++) {
        if (id >= f->fatCount || steps > f->sectorCount) {
            err = Res_oleBadChain;
            break;
        }
        if ((err = oleReadSector(f, id, buf)) != Res_ok)
            break;
        uint32_t *grown = static_cast<uint32_t *>(Mem_realloc(words, size_t(n + per) * 4));
        if (!grown) {
            err = Res_noMemory;
            break;
        }
        words = grown;
        for (uint32_t i = 0; i < per; i++)
            words[n + i] = oleU32(buf + 4 * i, f->swap);
        n += per;
        id = f->fat[id];
    }
    Mem_free(buf);
    if (err != Res_ok) {
        Mem_free(words);
        return err;
    }
    *out = words;
    *count = n;
    return Res_ok;
}

// Walks one directory tree level: every node of the sibling tree rooted at
// id gets parent; their children are queued through the stack.
void oleAssignParents(OleDirectory *d)
{
    uint32_t *stack = static_cast<uint32_t *>(Mem_malloc(size_t(d->count) * 2 * 4 + 4));
    if (!stack || !d->count) {
        Mem_free(stack);
        return;
    }
    uint32_t *parentOf = stack + d->count;
    uint32_t top = 0;
    if (d->entries[0].child < d->count) {
        stack[top] = d->entries[0].child;
        parentOf[top++] = 0;
    }
    d->entries[0].parent = 0;
    while (top) {
        top--;
        uint32_t id = stack[top], parent = parentOf[top];
        OleDirEntryRec *e = &d->entries[id];
        if (e->parent != 0xFFFFFFFF || id == 0)
            continue;                       // seen already: a cycle
        e->parent = parent;
        uint32_t next[3] = {e->left, e->right, e->child};
        uint32_t parents[3] = {parent, parent, id};
        for (int i = 0; i < 3; i++)
            if (next[i] < d->count && d->entries[next[i]].parent == 0xFFFFFFFF && next[i] != 0 &&
                top < d->count) {
                stack[top] = next[i];
                parentOf[top++] = parents[i];
            }
    }
    Mem_free(stack);
}

// Reads bytes of a stream that lives in regular sectors.
int oleReadBig(OleFile *f, uint32_t start, uint64_t offset, uint8_t *to, size_t n)
{
    uint32_t id = start;
    uint64_t skip = offset / f->sectorSize;
    for (uint64_t i = 0; i < skip; i++) {
        if (id >= f->fatCount)
            return Res_oleBadChain;
        id = f->fat[id];
    }
    uint32_t within = uint32_t(offset % f->sectorSize);
    while (n) {
        if (id >= f->fatCount)
            return Res_oleBadChain;
        size_t take = f->sectorSize - within;
        if (take > n)
            take = n;
        int err = oleReadRaw(f->stream, uint64_t(id + 1) * f->sectorSize + within, to, take);
        if (err != Res_ok)
            return err;
        to += take;
        n -= take;
        within = 0;
        id = f->fat[id];
    }
    return Res_ok;
}

// Reads bytes of a stream that lives in mini sectors.
int oleReadMini(OleFile *f, uint32_t start, uint64_t offset, uint8_t *to, size_t n)
{
    if (!f->miniFat)
        return Res_oleBadChain;
    uint32_t id = start;
    uint64_t skip = offset / f->miniSectorSize;
    for (uint64_t i = 0; i < skip; i++) {
        if (id >= f->miniFatCount)
            return Res_oleBadChain;
        id = f->miniFat[id];
    }
    uint32_t within = uint32_t(offset % f->miniSectorSize);
    while (n) {
        if (id >= f->miniFatCount)
            return Res_oleBadChain;
        size_t take = f->miniSectorSize - within;
        if (take > n)
            take = n;
        int err = oleReadBig(f, f->miniStart, uint64_t(id) * f->miniSectorSize + within, to, take);
        if (err != Res_ok)
            return err;
        to += take;
        n -= take;
        within = 0;
        id = f->miniFat[id];
    }
    return Res_ok;
}

} // namespace

OleHandle *Ole_allocFile()
{
    return static_cast<OleHandle *>(Mem_calloc(1, sizeof(OleHandle)));
}

void Ole_closeFile(OleHandle **handle)
{
    if (!handle || !*handle)
        return;
    OleHandle *h = *handle;
    while (h->openStreams) {
        OleStream *s = h->openStreams;
        (void)Ole_streamClose(&s);
    }
    if (h->directory) {
        Mem_free(h->directory->entries);
        Mem_free(h->directory);
    }
    if (h->file) {
        Mem_free(h->file->fat);
        Mem_free(h->file->miniFat);
        Mem_free(h->file);
    }
    if (h->ownsStream)
        (void)Vfs_close(h->stream);
    Mem_free(h);
    *handle = nullptr;
}

int Ole_fileOpen(OleFile **file, VfsHandle *stream, uint32_t cutoff, uint32_t sectorSize, uint32_t miniSectorSize,
                 const uint8_t *headerDifat, uint32_t fatSectorCount, uint32_t, uint32_t firstDirSector,
                 uint32_t firstMiniFatSector, uint32_t, uint32_t, uint32_t byteSwap)
{
    *file = nullptr;
    if (sectorSize < 128 || sectorSize > 65536 || miniSectorSize < 8 || fatSectorCount > 109)
        return Res_oleSectorBeyond;
    OleFile *f = static_cast<OleFile *>(Mem_calloc(1, sizeof(OleFile)));
    uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(sectorSize));
    uint32_t per = sectorSize / 4;
    uint32_t *fat = static_cast<uint32_t *>(Mem_malloc(size_t(fatSectorCount) * per * 4 + 4));
    if (!f || !buf || !fat) {
        Mem_free(f);
        Mem_free(buf);
        Mem_free(fat);
        return Res_noMemory;
    }
    f->stream = stream;
    f->sectorSize = sectorSize;
    f->miniSectorSize = miniSectorSize;
    f->cutoff = cutoff;
    f->firstDirSector = firstDirSector;
    f->firstMiniFatSector = firstMiniFatSector;
    f->swap = byteSwap;
    f->miniStart = Ole_sectorEndOfChain;
    uintptr_t sizeInfo = 0;
    uint64_t fileSize = 0;
    if (Vfs_getInfo(stream, VfsInfo_size, &sizeInfo) == Res_ok && sizeInfo)
        fileSize = *reinterpret_cast<const uint64_t *>(sizeInfo);
    uint64_t sectors = fileSize / sectorSize;
    f->sectorCount = sectors > 0xFFFFFFF0u ? 0xFFFFFFF0u : uint32_t(sectors);
    int err = Res_ok;
    for (uint32_t i = 0; i < fatSectorCount && err == Res_ok; i++) {
        err = oleReadSector(f, oleU32(headerDifat + 4 * i, byteSwap), buf);
        for (uint32_t k = 0; err == Res_ok && k < per; k++)
            fat[i * per + k] = oleU32(buf + 4 * k, byteSwap);
    }
    Mem_free(buf);
    if (err != Res_ok) {
        Mem_free(fat);
        Mem_free(f);
        return err;
    }
    f->fat = fat;
    f->fatCount = fatSectorCount * per;
    *file = f;
    return Res_ok;
}

int Ole_readDirectory(OleDirectory **directory, OleFile *f)
{
    *directory = nullptr;
    // The directory's sectors, read as bytes through the FAT chain.
    uint32_t *words = nullptr;
    uint32_t n = 0;
    int err = oleReadChainWords(f, f->firstDirSector, &words, &n);
    if (err != Res_ok)
        return err;
    OleDirectory *d = static_cast<OleDirectory *>(Mem_calloc(1, sizeof(OleDirectory)));
    uint32_t count = n / 32;
    OleDirEntryRec *entries = static_cast<OleDirEntryRec *>(Mem_calloc(count ? count : 1, sizeof(OleDirEntryRec)));
    if (!d || !entries) {
        Mem_free(words);
        Mem_free(d);
        Mem_free(entries);
        return Res_noMemory;
    }
    for (uint32_t i = 0; i < count; i++) {
        // Back to the entry's bytes in file order, then its fields.
        uint8_t raw[128];
        for (uint32_t k = 0; k < 32; k++) {
            uint32_t w = words[i * 32 + k];
            if (f->swap) {
                raw[4 * k] = uint8_t(w >> 24), raw[4 * k + 1] = uint8_t(w >> 16);
                raw[4 * k + 2] = uint8_t(w >> 8), raw[4 * k + 3] = uint8_t(w);
            } else {
                raw[4 * k] = uint8_t(w), raw[4 * k + 1] = uint8_t(w >> 8);
                raw[4 * k + 2] = uint8_t(w >> 16), raw[4 * k + 3] = uint8_t(w >> 24);
            }
        }
        OleDirEntryRec *e = &entries[i];
        uint32_t bytes = oleU16(raw + 64, f->swap);
        uint32_t units = bytes >= 2 ? (bytes / 2 - 1) : 0;
        if (units > 31)
            units = 31;
        for (uint32_t k = 0; k < units; k++)
            e->name[k] = char16_t(oleU16(raw + 2 * k, f->swap));
        e->type = raw[66];
        e->left = oleU32(raw + 68, f->swap);
        e->right = oleU32(raw + 72, f->swap);
        e->child = oleU32(raw + 76, f->swap);
        e->start = oleU32(raw + 116, f->swap);
        e->size = oleU32(raw + 120, f->swap);
        e->parent = 0xFFFFFFFF;
    }
    Mem_free(words);
    d->entries = entries;
    d->count = count;
    oleAssignParents(d);
    *directory = d;
    return Res_ok;
}

int Ole_finishOpen(OleHandle *handle)
{
    OleFile *f = handle->file;
    OleDirectory *d = handle->directory;
    if (!d->count)
        return Res_oleBadChain;
    f->miniStart = d->entries[0].start;
    if (f->firstMiniFatSector == Ole_sectorEndOfChain)
        return Res_ok;
    return oleReadChainWords(f, f->firstMiniFatSector, &f->miniFat, &f->miniFatCount);
}

int Ole_streamOpenByName(OleHandle *handle, OleStream **stream, uint32_t parentId, const char16_t *name)
{
    *stream = nullptr;
    OleDirectory *d = handle->directory;
    for (uint32_t i = 1; d && i < d->count; i++) {
        if (d->entries[i].parent != parentId || Ustr_cmp(d->entries[i].name, name) != 0)
            continue;
        OleStream *s = static_cast<OleStream *>(Mem_calloc(1, sizeof(OleStream)));
        if (!s)
            return Res_noMemory;
        s->owner = handle;
        s->entry = i;
        s->next = handle->openStreams;
        handle->openStreams = s;
        *stream = s;
        return Res_ok;
    }
    return Res_oleNoSuchEntry;
}

int Ole_streamReadAt(OleStream *stream, uint64_t offset, size_t n, size_t *got, void *buffer)
{
    *got = 0;
    OleFile *f = stream->owner->file;
    const OleDirEntryRec *e = &stream->owner->directory->entries[stream->entry];
    if (offset >= e->size)
        return n ? Res_oleShortRead : Res_ok;
    size_t take = e->size - offset < n ? size_t(e->size - offset) : n;
    uint8_t *to = static_cast<uint8_t *>(buffer);
    int err = e->size < f->cutoff ? oleReadMini(f, e->start, offset, to, take) : oleReadBig(f, e->start, offset, to, take);
    if (err != Res_ok)
        return err;
    *got = take;
    stream->position = offset + take;
    return take < n ? Res_oleShortRead : Res_ok;
}

uint64_t Ole_streamSize(const OleStream *stream)
{
    return stream->owner->directory->entries[stream->entry].size;
}

int Ole_streamClose(OleStream **stream)
{
    if (!stream || !*stream)
        return Res_ok;
    OleStream *s = *stream;
    for (OleStream **link = &s->owner->openStreams; *link; link = &(*link)->next)
        if (*link == s) {
            *link = s->next;
            break;
        }
    Mem_free(s);
    *stream = nullptr;
    return Res_ok;
}
