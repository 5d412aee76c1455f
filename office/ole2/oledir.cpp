// The compound-file directory and stream access: the directory read into
// the handle's entry list, lookups by id and by parent and name, and byte
// streams over the entries.
//
// The directory's sibling trees are walked with an explicit stack in the
// order a recursive walk would take (left subtree, the entry, right
// subtree, then the entry's children), so that a list-shaped tree of
// thousands of entries costs no machine stack. An entry's name length is
// cleared in the directory buffer when it is first visited, which ends
// any loop in the links.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint32_t kEntryBytes = 128;
constexpr uint32_t kMaxNameBytes = 64;
constexpr uint32_t kMaxNameChars = 31;

// Where the fields of a 128-byte directory record lie (the name, in
// 16-bit units, starts the record).
enum : size_t {
    kEntryNameBytes = 64,
    kEntryType = 66,
    kEntryLeft = 68,
    kEntryRight = 72,
    kEntryChild = 76,
    kEntryClassId = 80,
    kEntryStart = 116,
    kEntrySize = 120,
};

EngineContext *contextOf(const OleHandle *h)
{
    return h->stream ? h->stream->ctx : nullptr;
}

// Reads the directory chain into one buffer of whole sectors (a last
// sector cut short is padded with zeros).
int readDirectoryBytes(OleFile *f, uint8_t **out, size_t *bytes)
{
    *out = nullptr;
    *bytes = 0;
    uint32_t id = f->firstDirSector;
    if (id == Ole_sectorFat || id == Ole_sectorEndOfChain || id == Ole_sectorFree)
        return Res_oleBadChain;
    size_t capacity = 2 * size_t(f->sectorSize);
    uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(capacity));
    if (!buf)
        return Res_noMemory;
    size_t used = 0;
    uint32_t steps = 0;
    int err = Res_ok;
    while (id != Ole_sectorEndOfChain) {
        // A special id in the chain, or a chain longer than the file (a loop).
        if (id >= Ole_sectorDifat || steps++ >= f->fileSectors) {
            err = Res_oleBadChain;
            break;
        }
        uint8_t *sector = nullptr;
        uint32_t length = 0;
        if ((err = Ole_getSector(f, id, &sector, &length)) != Res_ok)
            break;
        if (used + f->sectorSize > capacity) {
            void *grown = Mem_realloc(buf, capacity * 2);
            if (!grown) {
                err = Res_noMemory;
                (void)Ole_releaseSector(f, id, &sector);
                break;
            }
            buf = static_cast<uint8_t *>(grown);
            capacity *= 2;
        }
        std::memcpy(buf + used, sector, length);
        std::memset(buf + used + length, 0, f->sectorSize - length);
        used += f->sectorSize;
        if ((err = Ole_releaseSector(f, id, &sector)) != Res_ok)
            break;
        if ((err = Ole_nextSector(f, &id)) != Res_ok)
            break;
    }
    if (err != Res_ok) {
        Mem_free(buf);
        return err;
    }
    void *cut = Mem_realloc(buf, used);
    *out = cut ? static_cast<uint8_t *>(cut) : buf;
    *bytes = used;
    return Res_ok;
}

// Creates the in-memory entry of directory record id (raw: its 128 bytes)
// with parent p and appends it to the list.
int Ole_entryNew(OleHandle *h, const uint8_t *raw, uint32_t id, uint32_t p)
{
    OleFile *f = h->file;
    uint32_t swap = f->swap;
    uint32_t type = raw[kEntryType];
    uint32_t start = Bytes_peekU32(raw + kEntryStart, swap);
    uint32_t size = Bytes_peekU32(raw + kEntrySize, swap);
    uint32_t regular = 1;
    if (id == 0) {
        int err = Ole_fileSetMiniStart(f, start);
        if (err != Res_ok)
            return err;
    } else {
        regular = size >= f->cutoff ? 1 : 0;
    }
    OleDirEntry *e = static_cast<OleDirEntry *>(Mem_calloc(1, sizeof(OleDirEntry)));
    if (!e)
        return Res_noMemory;
    e->id = id;
    e->type = type;
    e->parentId = p;
    e->start = start;
    e->size = size;
    e->regular = regular;
    e->unitSize = regular ? f->sectorSize : f->miniSectorSize;
    std::memcpy(e->classId, raw + kEntryClassId, 16);
    for (uint32_t k = 0; k < kMaxNameChars; k++) {
        char16_t c = char16_t(Bytes_peekU16(raw + 2 * k, swap));
        if (!c)
            break;
        e->name[k] = c;
    }
    if (type != OleEntry_storage) {
        uint64_t count = (uint64_t(size) + e->unitSize - 1) / e->unitSize;
        // Data that needs more sectors than the file holds has no map: its
        // reads find no sector.
        if (count > (regular ? f->fileSectors : f->miniLimit))
            count = 0;
        if (count) {
            e->sectorMap = static_cast<uint32_t *>(Mem_malloc(size_t(count) * 4));
            if (!e->sectorMap) {
                Mem_free(e);
                return Res_noMemory;
            }
            e->sectorMap[0] = start;
            for (uint64_t i = 1; i < count; i++)
                e->sectorMap[i] = Ole_sectorFree;
        }
        e->sectorCount = uint32_t(count);
    }
    if (h->lastEntry)
        h->lastEntry->next = e;
    else
        h->entries = e;
    h->lastEntry = e;
    Task_yield(contextOf(h));
    return Res_ok;
}

// One step of the directory walk: visit entry id (parent p), or create it.
struct WalkItem {
    uint32_t id;
    uint32_t parent;
    uint32_t create;
};

int walkTree(OleHandle *h, uint8_t *dir, uint32_t count)
{
    // Each entry is visited once and pushes at most four items.
    WalkItem *stack =
        static_cast<WalkItem *>(Mem_malloc((size_t(count) * 4 + 1) * sizeof(WalkItem)));
    if (!stack)
        return Res_noMemory;
    uint32_t swap = h->file->swap;
    size_t top = 0;
    stack[top++] = {0, 0, 0};
    int err = Res_ok;
    while (top && err == Res_ok) {
        WalkItem item = stack[--top];
        if (item.id >= count)
            continue;
        uint8_t *raw = dir + size_t(item.id) * kEntryBytes;
        if (item.create) {
            err = Ole_entryNew(h, raw, item.id, item.parent);
            continue;
        }
        uint32_t nameBytes = Bytes_peekU16(raw + kEntryNameBytes, swap);
        if (nameBytes == 0)
            continue; // empty, or visited already
        if (nameBytes > kMaxNameBytes) {
            err = Res_oleNameTooLong;
            break;
        }
        raw[kEntryNameBytes] = raw[kEntryNameBytes + 1] = 0;
        uint32_t left = Bytes_peekU32(raw + kEntryLeft, swap);
        uint32_t right = Bytes_peekU32(raw + kEntryRight, swap);
        uint32_t child = Bytes_peekU32(raw + kEntryChild, swap);
        uint32_t type = raw[kEntryType];
        // Pushed in reverse: left subtree, entry, right subtree, children.
        if (child != Ole_sectorFree)
            stack[top++] = {child, item.id, 0};
        if (right != Ole_sectorFree)
            stack[top++] = {right, item.parent, 0};
        if (type == OleEntry_storage || type == OleEntry_stream || type == OleEntry_root)
            stack[top++] = {item.id, item.parent, 1};
        if (left != Ole_sectorFree)
            stack[top++] = {left, item.parent, 0};
    }
    Mem_free(stack);
    return err;
}

// Visits every storage below the root depth-first, yielding at each entry
// passed; nothing else changes.
int visitStorages(OleHandle *h)
{
    uint32_t n = 0;
    for (OleDirEntry *e = h->entries; e; e = e->next)
        n++;
    if (!n)
        return Res_ok;
    OleDirEntry **stack =
        static_cast<OleDirEntry **>(Mem_malloc(size_t(n) * sizeof(OleDirEntry *)));
    if (!stack)
        return Res_noMemory;
    size_t top = 0;
    stack[top++] = h->entries;
    while (top) {
        OleDirEntry *s = stack[--top];
        for (OleDirEntry *e = h->entries; e; e = e->next) {
            if (e->parentId != s->id || e == s || e->id == 0)
                continue;
            Task_yield(contextOf(h));
            if (e->type == OleEntry_storage && top < n)
                stack[top++] = e;
        }
    }
    Mem_free(stack);
    return Res_ok;
}

int findEntry(OleHandle *h, uint32_t id, OleDirEntry **entry)
{
    return Ole_entryFindById(h ? h->entries : nullptr, id, entry);
}

// Removes the stream from its handle's open list: true when it was there.
bool unlinkStream(OleStream *s)
{
    for (OleStream **link = &s->owner->openStreams; *link; link = &(*link)->next)
        if (*link == s) {
            *link = s->next;
            return true;
        }
    return false;
}

} // namespace

// ---------------------------------------------------------- directory

int Ole_readDirectory(OleHandle *handle)
{
    uint8_t *dir = nullptr;
    size_t bytes = 0;
    int err = readDirectoryBytes(handle->file, &dir, &bytes);
    if (err != Res_ok)
        return err;
    uint32_t count = uint32_t(bytes / kEntryBytes);
    if (count)
        err = walkTree(handle, dir, count);
    Mem_free(dir);
    if (err == Res_ok)
        err = visitStorages(handle);
    return err;
}

int Ole_entryFindById(OleDirEntry *list, uint32_t id, OleDirEntry **entry)
{
    *entry = nullptr;
    for (OleDirEntry *e = list; e; e = e->next)
        if (e->id == id) {
            *entry = e;
            return Res_ok;
        }
    return Res_oleNoEntry;
}

int Ole_entryCheck(OleHandle *handle, uint32_t id)
{
    OleDirEntry *e = nullptr;
    return findEntry(handle, id, &e);
}

int Ole_entryFindByName(OleHandle *handle, uint32_t parentId, uint32_t *id, const char16_t *name)
{
    *id = 0;
    // Names of a compound file compare without regard to case ("BOOK" is
    // "Book"); an entry spelt exactly as asked wins over one that differs
    // only in case.
    OleDirEntry *folded = nullptr;
    for (OleDirEntry *e = handle->entries; e; e = e->next) {
        if (e->parentId != parentId)
            continue;
        if (Ustr_cmp(e->name, name) == 0) {
            *id = e->id;
            return Res_ok;
        }
        if (!folded && Ustr_nicmp(e->name, name, SIZE_MAX) == 0)
            folded = e;
    }
    if (folded) {
        *id = folded->id;
        return Res_ok;
    }
    return Res_oleNoSuchEntry;
}

int Ole_entryGetSize(OleHandle *handle, uint32_t id, uint32_t *size)
{
    *size = 0;
    OleDirEntry *e = nullptr;
    int err = findEntry(handle, id, &e);
    if (err == Res_ok)
        *size = e->size;
    return err;
}

int Ole_entryGetClsid(OleHandle *handle, uint32_t id, uint8_t *clsid)
{
    OleDirEntry *e = nullptr;
    int err = findEntry(handle, id, &e);
    if (err == Res_ok && clsid)
        std::memcpy(clsid, e->classId, 16);
    return err;
}

int Ole_entrySetClsid(OleHandle *handle, uint32_t id, const uint8_t *clsid)
{
    OleDirEntry *e = nullptr;
    int err = findEntry(handle, id, &e);
    if (err == Res_ok && clsid)
        std::memcpy(e->classId, clsid, 16);
    return err;
}

int Ole_entryGetName(OleHandle *handle, uint32_t id, const char16_t **name)
{
    *name = nullptr;
    OleDirEntry *e = nullptr;
    int err = findEntry(handle, id, &e);
    if (err == Res_ok)
        *name = e->name;
    return err;
}

int Ole_entrySectorAt(OleDirEntry *entry, OleFile *file, uint32_t offset, uint32_t *sector,
                      uint32_t *within)
{
    *sector = Ole_sectorEndOfChain;
    uint32_t q = offset / entry->unitSize;
    *within = offset % entry->unitSize;
    if (q >= entry->sectorCount)
        return Res_ok;
    uint32_t *map = entry->sectorMap;
    if (map[q] != Ole_sectorFree) {
        *sector = map[q];
        return Res_ok;
    }
    // Walk from the last known slot before q.
    uint32_t i = q;
    while (i > 0 && map[i] == Ole_sectorFree)
        i--;
    for (; i < q; i++) {
        uint32_t id = map[i];
        if (id >= Ole_sectorDifat)
            return Res_ok; // the chain ended early
        int err = entry->regular ? Ole_nextSector(file, &id) : Ole_nextMiniSector(file, &id);
        if (err != Res_ok)
            return err;
        if (id == Ole_sectorFree)
            return Res_ok;
        map[i + 1] = id;
    }
    *sector = map[q];
    return Res_ok;
}

// ------------------------------------------------------------ streams

int Ole_streamOpenById(OleHandle *handle, uint32_t id, OleStream **stream)
{
    *stream = nullptr;
    OleDirEntry *e = nullptr;
    int err = findEntry(handle, id, &e);
    if (err != Res_ok)
        return err;
    OleStream *s = static_cast<OleStream *>(Mem_calloc(1, sizeof(OleStream)));
    if (!s)
        return Res_noMemory;
    s->owner = handle;
    s->entryId = id;
    s->entry = e;
    s->next = handle->openStreams;
    handle->openStreams = s;
    *stream = s;
    return Res_ok;
}

int Ole_streamOpen(OleHandle *handle, OleStream **stream, uint32_t id)
{
    return Ole_streamOpenById(handle, id, stream);
}

int Ole_streamOpenByName(OleHandle *handle, OleStream **stream, uint32_t parentId,
                         const char16_t *name)
{
    *stream = nullptr;
    uint32_t id = 0;
    int err = Ole_entryFindByName(handle, parentId, &id, name);
    if (err != Res_ok)
        return err;
    return Ole_streamOpenById(handle, id, stream);
}

int Ole_streamClose(OleStream **stream)
{
    if (!stream || !*stream)
        return Res_ok;
    if (!unlinkStream(*stream))
        return Res_oleNotOpen;
    Mem_free(*stream);
    *stream = nullptr;
    return Res_ok;
}

void Ole_closeAllStreams(OleHandle *handle)
{
    while (handle->openStreams) {
        OleStream *s = handle->openStreams;
        handle->openStreams = s->next;
        Mem_free(s);
    }
}

uint32_t Ole_streamTell(const OleStream *stream)
{
    return stream->position;
}

uint64_t Ole_streamSize(const OleStream *stream)
{
    return stream->entry->size;
}

int Ole_streamSeek(OleStream *stream, uint32_t offset, int whence)
{
    uint32_t size = stream->entry->size;
    uint32_t target;
    switch (whence) {
    case 0: target = offset; break;
    case 1: target = stream->position + offset; break;
    case 2: target = size; break;
    default: return Res_nullInput;
    }
    if (target > size)
        return Res_oleSeekBeyond;
    stream->position = target;
    return Res_ok;
}

int Ole_streamAtEnd(const OleStream *stream)
{
    return stream->position == stream->entry->size ? Res_oleStreamEnd : Res_ok;
}

int Ole_streamRead(OleStream *stream, size_t n, size_t *got, void *buffer)
{
    *got = 0;
    if (n == 0)
        return Res_ok;
    OleDirEntry *e = stream->entry;
    OleFile *f = stream->owner->file;
    size_t left = e->size > stream->position ? e->size - stream->position : 0;
    size_t want = n < left ? n : left;
    uint8_t *to = static_cast<uint8_t *>(buffer);
    size_t done = 0;
    int err = Res_ok;
    while (done < want) {
        uint32_t sector = 0, within = 0;
        err = Ole_entrySectorAt(e, f, uint32_t(stream->position + done), &sector, &within);
        if (err != Res_ok)
            break;
        if (sector >= Ole_sectorDifat) {
            err = Res_oleChainEnds;
            break;
        }
        uint8_t *bytes = nullptr;
        uint32_t length = 0;
        err = e->regular ? Ole_getSector(f, sector, &bytes, &length)
                         : Ole_getMiniSector(f, sector, &bytes, &length);
        if (err != Res_ok)
            break;
        size_t take = e->unitSize - within;
        if (take > want - done)
            take = want - done;
        if (within + take > length) {
            err = Res_oleEndsInSector;
        } else {
            std::memcpy(to + done, bytes + within, take);
            done += take;
        }
        int rel = e->regular ? Ole_releaseSector(f, sector, &bytes)
                             : Ole_releaseMiniSector(f, sector, &bytes);
        if (err == Res_ok)
            err = rel;
        if (err != Res_ok)
            break;
    }
    stream->position += uint32_t(done);
    *got = done;
    if (err != Res_ok)
        return err;
    return done < n ? Res_oleStreamEnd : Res_ok;
}

int Ole_streamReadAt(OleStream *stream, uint64_t offset, size_t n, size_t *got, void *buffer)
{
    *got = 0;
    if (offset > 0xFFFFFFFFu)
        return Res_oleSeekBeyond;
    int err = Ole_streamSeek(stream, uint32_t(offset), 0);
    if (err != Res_ok)
        return err;
    return Ole_streamRead(stream, n, got, buffer);
}

int Ole_streamReadExact(OleStream *stream, void *buffer, size_t n)
{
    size_t got = 0;
    int err = Ole_streamRead(stream, n, &got, buffer);
    if (err != Res_ok)
        return err;
    return got < n ? Res_oleExactShort : Res_ok;
}

int Ole_streamReadBytes(OleStream *stream, void *buffer, size_t n)
{
    return Ole_streamReadExact(stream, buffer, n);
}

int Ole_streamReadU8(OleStream *stream, uint8_t *value)
{
    return Ole_streamReadExact(stream, value, 1);
}

int Ole_streamReadU16(OleStream *stream, uint16_t *value)
{
    uint8_t b[2];
    int err = Ole_streamReadExact(stream, b, 2);
    if (err == Res_ok)
        *value = Bytes_peekU16Le(b);
    return err;
}

int Ole_streamReadU32(OleStream *stream, uint32_t *value)
{
    uint8_t b[4];
    int err = Ole_streamReadExact(stream, b, 4);
    if (err == Res_ok)
        *value = Bytes_peekU32Le(b);
    return err;
}

int Ole_streamScanFor(OleStream *stream, void *buffer, const void *pattern, size_t itemSize,
                      uint32_t maxItems, uint32_t *count)
{
    *count = 0;
    uint8_t *to = static_cast<uint8_t *>(buffer);
    for (uint32_t i = 0; i < maxItems; i++) {
        size_t got = 0;
        int err = Ole_streamRead(stream, itemSize, &got, to + size_t(i) * itemSize);
        if (got < itemSize || (err != Res_ok && err != Res_oleStreamEnd))
            return Res_oleExactShort;
        if (std::memcmp(to + size_t(i) * itemSize, pattern, itemSize) == 0)
            return Res_ok;
        *count = i + 1;
    }
    return Res_oleNoMatch;
}

int Ole_streamReadCstr(OleStream *stream, char *buffer, uint32_t maxItems, uint32_t *count)
{
    const uint8_t nul = 0;
    return Ole_streamScanFor(stream, buffer, &nul, 1, maxItems, count);
}

int Ole_streamReadUstr(OleStream *stream, char16_t *buffer, uint32_t maxItems, uint32_t *count)
{
    const uint8_t nul[2] = {0, 0};
    return Ole_streamScanFor(stream, buffer, nul, 2, maxItems, count);
}
