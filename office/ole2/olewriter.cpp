// The compound-file writer.
//
// Regular stream data reaches the output while it is written; small
// streams, the directory, the FATs and the header only at the flush. All
// output goes through the stream's lent write buffer, which is handed back
// whenever a write does not continue the bytes already in it.
#include "office/ole2/olewriter.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "office/ole2/ole.h"
#include "core/container/map.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint32_t kSector = OleWriter_sectorSize;
constexpr uint32_t kMini = OleWriter_miniSectorSize;
constexpr uint32_t kIdsPerSector = kSector / 4; // 128
constexpr uint32_t kHeaderDifat = 109;
constexpr uint32_t kIdsPerDifat = kIdsPerSector - 1; // 127
constexpr uint32_t kEntryBytes = 128;
constexpr uint32_t kNameChars = 31;
constexpr uint32_t kWriteChunk = 4096;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Appends id to the entry's sector list.
int appendToMap(OleDirEntry *e, uint32_t id)
{
    if (e->sectorCount == e->mapCapacity) {
        uint32_t cap = e->mapCapacity ? 2 * e->mapCapacity : 8;
        void *grown = Mem_realloc(e->sectorMap, size_t(cap) * 4);
        if (!grown)
            return Res_noMemory;
        e->sectorMap = static_cast<uint32_t *>(grown);
        e->mapCapacity = cap;
    }
    e->sectorMap[e->sectorCount++] = id;
    return Res_ok;
}

// Adds one slot {end of chain, in use, no buffer} to the sector table.
int addSlot(OleFile *f, uint32_t *id)
{
    if (f->sectorCount == f->sectorCapacity) {
        uint32_t cap = f->sectorCapacity ? 2 * f->sectorCapacity : 256;
        void *grown = Mem_realloc(f->sectors, size_t(cap) * sizeof(OleSectorSlot));
        if (!grown)
            return Res_noMemory;
        f->sectors = static_cast<OleSectorSlot *>(grown);
        f->sectorCapacity = cap;
    }
    *id = f->sectorCount;
    f->sectors[f->sectorCount++] = {Ole_sectorEndOfChain, 1, nullptr};
    return Res_ok;
}

// A new sector, chained after previous unless that is the end of chain.
// When the table's length reaches a multiple of 128, a FAT sector comes
// first.
int OleWriter_allocSector(OleFile *f, uint32_t previous, uint32_t *id)
{
    *id = Ole_sectorEndOfChain;
    if (f->sectorCount % kIdsPerSector == 0) {
        // Room in the FAT list first, so that a failure leaves no slot behind.
        if ((f->fatSectorCount & (f->fatSectorCount - 1)) == 0) {
            uint32_t cap = f->fatSectorCount ? 2 * f->fatSectorCount : 4;
            void *grown = Mem_realloc(f->fatSectors, size_t(cap) * 4);
            if (!grown)
                return Res_noMemory;
            f->fatSectors = static_cast<uint32_t *>(grown);
        }
        uint32_t fat = 0;
        int err = addSlot(f, &fat);
        if (err != Res_ok)
            return err;
        f->sectors[fat].next = Ole_sectorFat;
        f->fatSectors[f->fatSectorCount++] = fat;
    }
    int err = addSlot(f, id);
    if (err != Res_ok)
        return err;
    if (previous != Ole_sectorEndOfChain)
        f->sectors[previous].next = *id;
    return Res_ok;
}

// Hands the used part of the lent buffer to the stream.
int handOver(OleFile *f)
{
    if (!f->writeBuf)
        return Res_ok;
    int err = Vfs_writeDone(f->stream, f->writeBufUsed);
    f->writeBuf = nullptr;
    f->writeBufPos += f->writeBufUsed;
    f->writeBufUsed = 0;
    f->writeBufSize = 0;
    return err;
}

// Buffered output of n bytes at a file position.
int OleWriter_writeBytes(OleFile *f, const uint8_t *data, uint64_t position, size_t n)
{
    // 1. Inside what the buffer already holds: overwrite there.
    if (f->writeBuf && position >= f->writeBufPos &&
        position + n <= f->writeBufPos + f->writeBufUsed) {
        std::memcpy(f->writeBuf + (position - f->writeBufPos), data, n);
        return Res_ok;
    }
    // 2. Elsewhere than the end of the buffered bytes: hand them over and seek.
    if (position != f->writeBufPos + f->writeBufUsed) {
        int err = handOver(f);
        if (err == Res_ok)
            err = Vfs_seekFrom(f->stream, int64_t(position), 0);
        if (err != Res_ok)
            return err;
        f->writeBufPos = position;
    }
    while (n) {
        // 3. A buffer when none is lent.
        if (!f->writeBuf) {
            uint8_t *buf = nullptr;
            size_t size = 0;
            int err = Vfs_getWriteBuf(f->stream, kWriteChunk, &buf, &size);
            if (err != Res_ok)
                return err;
            if (size > kWriteChunk)
                size = kWriteChunk;
            f->writeBuf = buf;
            f->writeBufSize = size;
            f->writeBufUsed = 0;
        }
        // 4. As much as fits; a full buffer goes to the stream.
        size_t take = f->writeBufSize - f->writeBufUsed;
        if (take > n)
            take = n;
        std::memcpy(f->writeBuf + f->writeBufUsed, data, take);
        f->writeBufUsed += take;
        data += take;
        n -= take;
        if (f->writeBufUsed == f->writeBufSize) {
            int err = handOver(f);
            if (err != Res_ok)
                return err;
        }
    }
    return Res_ok;
}

uint64_t sectorPosition(uint32_t sector)
{
    return kSector + uint64_t(kSector) * sector;
}

// Writes n bytes of the entry's data at offset, allocating its sectors.
int OleWriter_writeAt(OleFile *f, OleDirEntry *e, uint32_t offset, const uint8_t *data, uint32_t n)
{
    uint64_t end = uint64_t(offset) + n;
    uint64_t needed = (end + kSector - 1) / kSector;
    while (e->sectorCount < needed) {
        uint32_t previous =
            e->sectorCount ? e->sectorMap[e->sectorCount - 1] : Ole_sectorEndOfChain;
        uint32_t id = 0;
        int err = OleWriter_allocSector(f, previous, &id);
        if (err == Res_ok)
            err = appendToMap(e, id);
        if (err != Res_ok)
            return err;
        if (e->sectorCount == 1)
            e->start = id;
    }
    uint32_t at = offset;
    while (n) {
        uint32_t sector = e->sectorMap[at / kSector];
        uint32_t within = at % kSector;
        uint32_t take = kSector - within;
        if (take > n)
            take = n;
        int err = OleWriter_writeBytes(f, data, sectorPosition(sector) + within, take);
        if (err != Res_ok)
            return err;
        data += take;
        at += take;
        n -= take;
    }
    if (end > e->size)
        e->size = uint32_t(end);
    return Res_ok;
}

// Allocates a sector chained after *last and writes one whole sector there.
int OleWriter_appendSector(OleFile *f, uint32_t *last, uint32_t *first, const uint8_t *bytes)
{
    uint32_t id = 0;
    int err = OleWriter_allocSector(f, *last, &id);
    if (err != Res_ok)
        return err;
    if (*first == Ole_sectorEndOfChain)
        *first = id;
    *last = id;
    return OleWriter_writeBytes(f, bytes, sectorPosition(id), kSector);
}

// Writes one whole sector at its id.
int OleWriter_writeSector(OleFile *f, uint32_t id, const uint8_t *bytes)
{
    return OleWriter_writeBytes(f, bytes, sectorPosition(id), kSector);
}

int OleWriter_addEntry(OleHandle *h, const char16_t *name, uint32_t type, uint32_t parent,
                       const uint8_t *clsid, uint32_t *id)
{
    *id = 0;
    OleDirEntry *e = static_cast<OleDirEntry *>(Mem_calloc(1, sizeof(OleDirEntry)));
    if (!e)
        return Res_noMemory;
    if (type == OleEntry_stream) {
        e->data = static_cast<uint8_t *>(Mem_calloc(1, OleWriter_cutoff));
        if (!e->data) {
            Mem_free(e);
            return Res_noMemory;
        }
    }
    for (uint32_t k = 0; name && k < kNameChars && name[k]; k++)
        e->name[k] = name[k];
    e->type = type;
    e->parentId = parent;
    e->start = Ole_sectorEndOfChain;
    e->regular = 1;
    e->unitSize = kSector;
    if (clsid)
        std::memcpy(e->classId, clsid, 16);
    e->id = h->entries ? h->entries->id + 1 : 0;
    e->next = h->entries;
    h->entries = e;
    *id = e->id;
    return Res_ok;
}

// ------------------------------------------------------------- flush

// The mini stream: every stream still holding its buffer, newest first,
// becomes a run of mini sectors in the root's data, with the mini FAT.
int OleWriter_writeMiniStream(OleHandle *h)
{
    OleFile *f = h->file;
    OleDirEntry *root = nullptr;
    if (Ole_entryFindById(h->entries, 0, &root) != Res_ok)
        return Res_oleNoEntry;
    uint32_t total = 0;
    for (OleDirEntry *e = h->entries; e; e = e->next)
        if (e->data && e->size > 0)
            total += (e->size + kMini - 1) / kMini;
    f->firstMiniFatSector = Ole_sectorEndOfChain;
    f->miniFatSectorCount = 0;
    f->miniSectorCount = total;
    if (!total)
        return Res_ok;
    uint32_t fatSectors = (total + kIdsPerSector - 1) / kIdsPerSector;
    uint8_t *miniFat = static_cast<uint8_t *>(Mem_malloc(size_t(fatSectors) * kSector));
    if (!miniFat)
        return Res_noMemory;
    std::memset(miniFat, 0xFF, size_t(fatSectors) * kSector);
    uint32_t m = 0;
    int err = Res_ok;
    for (OleDirEntry *e = h->entries; e && err == Res_ok; e = e->next) {
        if (!e->data || e->size == 0)
            continue;
        err = OleWriter_writeAt(f, root, m * kMini, e->data, e->size);
        if (err != Res_ok)
            break;
        Mem_free(e->data);
        e->data = nullptr;
        e->start = m;
        e->regular = 0;
        e->unitSize = kMini;
        uint32_t count = (e->size + kMini - 1) / kMini;
        for (uint32_t k = 0; k < count; k++)
            ByteBuf_put32Order(miniFat + 4 * size_t(m + k),
                               k + 1 < count ? m + k + 1 : Ole_sectorEndOfChain, f->swap);
        m += count;
    }
    // The mini stream holds whole mini sectors: readers that fetch the
    // last one in full find it inside the root's size.
    if (err == Res_ok)
        root->size = total * kMini;
    // The mini FAT as a regular chain of its own.
    OleDirEntry carrier = {};
    carrier.start = Ole_sectorEndOfChain;
    if (err == Res_ok)
        err = OleWriter_writeAt(f, &carrier, 0, miniFat, fatSectors * kSector);
    if (err == Res_ok) {
        f->firstMiniFatSector = carrier.start;
        f->miniFatSectorCount = carrier.sectorCount;
    }
    Mem_free(carrier.sectorMap);
    Mem_free(miniFat);
    return err;
}

// A no-op free for the directory trees, which own nothing.
void keepItem(void *) {}

// Storage order, ties by id: an equal name created later goes right, as
// equal keys do, and every key stays unique for the link lookup.
int32_t compareEntries(const void *stored, const void *probe)
{
    const OleDirEntry *a = static_cast<const OleDirEntry *>(stored);
    const OleDirEntry *b = static_cast<const OleDirEntry *>(probe);
    int c = OleWriter_nameCompare(a->name, b->name);
    if (c)
        return c;
    return a->id < b->id ? -1 : (a->id > b->id ? 1 : 0);
}

// Per entry id: the directory links the trees give it.
struct DirLinks {
    OleDirEntry *entry;
    uint32_t left, right, child;
    uint32_t black;
    Map *tree; // for a storage or the root: its children
};

uint32_t idOf(void *value)
{
    return value ? static_cast<OleDirEntry *>(value)->id : Ole_sectorFree;
}

void putEntry(uint8_t *raw, const DirLinks *l, uint32_t swap)
{
    std::memset(raw, 0, kEntryBytes);
    const OleDirEntry *e = l->entry;
    if (!e) {
        ByteBuf_put32Order(raw + 0x44, Ole_sectorFree, swap);
        ByteBuf_put32Order(raw + 0x48, Ole_sectorFree, swap);
        ByteBuf_put32Order(raw + 0x4C, Ole_sectorFree, swap);
        return;
    }
    uint32_t chars = uint32_t(Ustr_len(e->name));
    for (uint32_t k = 0; k < chars; k++)
        ByteBuf_put16Order(raw + 2 * k, e->name[k], swap);
    ByteBuf_put16Order(raw + 0x40, 2 * chars + 2, swap);
    raw[0x42] = uint8_t(e->type);
    raw[0x43] = uint8_t(l->black);
    ByteBuf_put32Order(raw + 0x44, l->left, swap);
    ByteBuf_put32Order(raw + 0x48, l->right, swap);
    ByteBuf_put32Order(raw + 0x4C, l->child, swap);
    std::memcpy(raw + 0x50, e->classId, 16);
    uint32_t start = e->type == OleEntry_storage || e->size == 0 ? Ole_sectorEndOfChain : e->start;
    if (e->type == OleEntry_storage)
        start = 0;
    ByteBuf_put32Order(raw + 0x74, start, swap);
    ByteBuf_put32Order(raw + 0x78, e->size, swap);
}

int OleWriter_writeDirectory(OleHandle *h)
{
    OleFile *f = h->file;
    uint32_t n = h->entries ? h->entries->id + 1 : 0;
    DirLinks *links = static_cast<DirLinks *>(Mem_calloc(n ? n : 1, sizeof(DirLinks)));
    if (!links)
        return Res_noMemory;
    for (uint32_t i = 0; i < n; i++)
        links[i] = {nullptr, Ole_sectorFree, Ole_sectorFree, Ole_sectorFree, 1, nullptr};
    for (OleDirEntry *e = h->entries; e; e = e->next)
        links[e->id].entry = e;
    EngineContext *ctx = h->stream ? h->stream->ctx : nullptr;
    int err = Res_ok;
    // Each entry goes into its parent's tree, in id order.
    for (uint32_t i = 1; i < n && err == Res_ok; i++) {
        OleDirEntry *e = links[i].entry;
        uint32_t p = e ? e->parentId : Ole_sectorFree;
        if (p >= n || !links[p].entry || p == i ||
            (links[p].entry->type != OleEntry_storage && links[p].entry->type != OleEntry_root))
            continue;
        if (!links[p].tree)
            err = Map_create(ctx, compareEntries, keepItem, keepItem, 0, &links[p].tree);
        if (err == Res_ok)
            err = Map_insert(links[p].tree, e, e);
    }
    // The trees' shape becomes the sibling links and colours.
    for (uint32_t p = 0; p < n && err == Res_ok; p++) {
        if (!links[p].tree)
            continue;
        links[p].child = idOf(Map_rootValue(links[p].tree));
        for (uint32_t i = 1; i < n && err == Res_ok; i++) {
            OleDirEntry *e = links[i].entry;
            if (!e || e->parentId != p)
                continue;
            int red = 0;
            void *left = nullptr, *right = nullptr;
            err = Map_nodeInfo(links[p].tree, e, &red, &left, &right);
            links[i].left = idOf(left);
            links[i].right = idOf(right);
            links[i].black = red ? 0 : 1;
        }
    }
    // Four entries to a sector, each full sector appended to the chain.
    uint8_t sector[kSector];
    uint32_t last = Ole_sectorEndOfChain;
    f->firstDirSector = Ole_sectorEndOfChain;
    uint32_t perSector = kSector / kEntryBytes;
    uint32_t padded = (n + perSector - 1) / perSector * perSector;
    for (uint32_t i = 0; i < padded && err == Res_ok; i++) {
        DirLinks empty = {nullptr, Ole_sectorFree, Ole_sectorFree, Ole_sectorFree, 0, nullptr};
        putEntry(sector + (i % perSector) * kEntryBytes, i < n ? &links[i] : &empty, f->swap);
        if (i % perSector == perSector - 1)
            err = OleWriter_appendSector(f, &last, &f->firstDirSector, sector);
    }
    for (uint32_t i = 0; i < n; i++)
        if (links[i].tree)
            (void)Map_destroy(links[i].tree);
    Mem_free(links);
    return err;
}

// The DIFAT sectors (when more than 109 FAT sectors) and the FAT.
int OleWriter_writeFat(OleFile *f, uint32_t *firstDifat, uint32_t *difatCount)
{
    *firstDifat = Ole_sectorEndOfChain;
    *difatCount = 0;
    uint32_t *difat = nullptr;
    uint32_t count = 0;
    int err = Res_ok;
    // Each DIFAT sector allocated may add a FAT sector: recount each time.
    while (err == Res_ok && f->fatSectorCount > kHeaderDifat &&
           count < (f->fatSectorCount - kHeaderDifat + kIdsPerDifat - 1) / kIdsPerDifat) {
        void *grown = Mem_realloc(difat, size_t(count + 1) * 4);
        if (!grown) {
            err = Res_noMemory;
            break;
        }
        difat = static_cast<uint32_t *>(grown);
        uint32_t id = 0;
        if ((err = OleWriter_allocSector(f, Ole_sectorEndOfChain, &id)) != Res_ok)
            break;
        f->sectors[id].next = Ole_sectorDifat;
        difat[count++] = id;
    }
    uint8_t sector[kSector];
    for (uint32_t d = 0; d < count && err == Res_ok; d++) {
        for (uint32_t k = 0; k < kIdsPerDifat; k++) {
            uint64_t i = kHeaderDifat + uint64_t(d) * kIdsPerDifat + k;
            ByteBuf_put32Order(sector + 4 * k,
                               i < f->fatSectorCount ? f->fatSectors[i] : Ole_sectorFree, f->swap);
        }
        ByteBuf_put32Order(sector + kSector - 4,
                           d + 1 < count ? difat[d + 1] : Ole_sectorEndOfChain, f->swap);
        err = OleWriter_writeSector(f, difat[d], sector);
    }
    if (count) {
        *firstDifat = difat[0];
        *difatCount = count;
    }
    Mem_free(difat);
    for (uint32_t s = 0; s < f->fatSectorCount && err == Res_ok; s++) {
        for (uint32_t k = 0; k < kIdsPerSector; k++) {
            uint64_t i = uint64_t(s) * kIdsPerSector + k;
            ByteBuf_put32Order(sector + 4 * k,
                               i < f->sectorCount ? f->sectors[i].next : Ole_sectorFree, f->swap);
        }
        err = OleWriter_writeSector(f, f->fatSectors[s], sector);
    }
    return err;
}

int OleWriter_writeHeader(OleHandle *h, uint32_t firstDifat, uint32_t difatCount)
{
    OleFile *f = h->file;
    uint32_t swap = f->swap;
    uint8_t header[512] = {};
    std::memcpy(header, kSignature, sizeof kSignature);
    ByteBuf_put16Order(header + 0x18, h->minorVersion, swap);
    ByteBuf_put16Order(header + 0x1A, h->majorVersion, swap);
    header[0x1C] = swap ? 0xFF : 0xFE;
    header[0x1D] = swap ? 0xFE : 0xFF;
    ByteBuf_put16Order(header + 0x1E, 9, swap);
    ByteBuf_put16Order(header + 0x20, 6, swap);
    ByteBuf_put32Order(header + 0x2C, f->fatSectorCount, swap);
    ByteBuf_put32Order(header + 0x30, f->firstDirSector, swap);
    ByteBuf_put32Order(header + 0x38, f->cutoff, swap);
    ByteBuf_put32Order(header + 0x3C, f->firstMiniFatSector, swap);
    ByteBuf_put32Order(header + 0x40, f->miniFatSectorCount, swap);
    ByteBuf_put32Order(header + 0x44, firstDifat, swap);
    ByteBuf_put32Order(header + 0x48, difatCount, swap);
    for (uint32_t i = 0; i < kHeaderDifat; i++)
        ByteBuf_put32Order(header + 0x4C + 4 * i,
                           i < f->fatSectorCount ? f->fatSectors[i] : Ole_sectorFree, swap);
    return OleWriter_writeBytes(f, header, 0, sizeof header);
}

} // namespace

void ByteBuf_put16Order(uint8_t *buffer, uint32_t value, uint32_t bigEndian)
{
    if (bigEndian) {
        buffer[0] = uint8_t(value >> 8);
        buffer[1] = uint8_t(value);
    } else {
        buffer[0] = uint8_t(value);
        buffer[1] = uint8_t(value >> 8);
    }
}

void ByteBuf_put32Order(uint8_t *buffer, uint32_t value, uint32_t bigEndian)
{
    for (int i = 0; i < 4; i++)
        buffer[i] = uint8_t(value >> (bigEndian ? 24 - 8 * i : 8 * i));
}

int OleWriter_nameCompare(const char16_t *a, const char16_t *b)
{
    size_t la = Ustr_len(a), lb = Ustr_len(b);
    if (la != lb)
        return la < lb ? -1 : 1;
    for (size_t i = 0; i < la; i++) {
        uint32_t ca = a[i] <= 0x17F ? Ustr_upperChar(a[i]) : a[i];
        uint32_t cb = b[i] <= 0x17F ? Ustr_upperChar(b[i]) : b[i];
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return 0;
}

int OleWriter_create(EngineContext *context, const Url *url, OleHandle **handle, uint32_t)
{
    *handle = nullptr;
    constexpr uint32_t access = Vfs_modeWrite | Vfs_modeSeekable;
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    int err = Vfs_open(context, url, access, &stream, &accepted);
    if (err != Res_ok)
        return err;
    uint32_t flags = 0;
    (void)Vfs_getFlags(stream, &flags);
    if ((flags & access) != access) {
        int closed = Vfs_close(stream);
        return closed != Res_ok ? closed : Res_oleWriterAccess;
    }
    OleHandle *h = Ole_allocFile();
    if (!h) {
        (void)Vfs_close(stream);
        return Res_noMemory;
    }
    h->stream = stream;
    h->ownsStream = 1;
    h->minorVersion = OleWriter_minorVersion;
    h->majorVersion = 3;
    OleFile *f = static_cast<OleFile *>(Mem_calloc(1, sizeof(OleFile)));
    if (!f) {
        Ole_closeFile(&h);
        return Res_noMemory;
    }
    h->file = f;
    f->stream = stream;
    f->writer = 1;
    f->seekable = 1;
    f->sectorSize = kSector;
    f->miniSectorSize = kMini;
    f->cutoff = OleWriter_cutoff;
    f->baseOffset = kSector;
    f->fatStart = Ole_sectorEndOfChain;
    f->firstMiniFatSector = Ole_sectorEndOfChain;
    f->miniStart = Ole_sectorEndOfChain;
    f->firstDirSector = Ole_sectorEndOfChain;
    f->writeBufPos = 0;
    uint32_t rootId = 0;
    err = OleWriter_addEntry(h, u"Root Entry", OleEntry_root, 0, nullptr, &rootId);
    if (err != Res_ok) {
        Ole_closeFile(&h);
        return err;
    }
    *handle = h;
    return Res_ok;
}

int OleWriter_addStorage(OleHandle *handle, uint32_t parent, const char16_t *name,
                         const uint8_t *clsid, uint32_t *id)
{
    return OleWriter_addEntry(handle, name, OleEntry_storage, parent, clsid, id);
}

int OleWriter_addStream(OleHandle *handle, uint32_t parent, const char16_t *name, uint32_t *id)
{
    return OleWriter_addEntry(handle, name, OleEntry_stream, parent, nullptr, id);
}

int OleWriter_streamWrite(OleStream *stream, const void *data, uint32_t n)
{
    OleDirEntry *e = stream->entry;
    OleFile *f = stream->owner->file;
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    if (e->data) {
        uint32_t pos = stream->position;
        if (uint64_t(pos) + n < OleWriter_cutoff) {
            std::memcpy(e->data + pos, bytes, n);
            stream->position = pos + n;
            if (stream->position > e->size)
                e->size = stream->position;
            return Res_ok;
        }
        // The stream reaches the cut-off: its buffer becomes regular data.
        uint32_t fill = OleWriter_cutoff - pos;
        std::memcpy(e->data + pos, bytes, fill);
        int err = OleWriter_writeAt(f, e, 0, e->data, OleWriter_cutoff);
        if (err != Res_ok)
            return err;
        e->start = e->sectorMap[0];
        Mem_free(e->data);
        e->data = nullptr;
        bytes += fill;
        n -= fill;
        stream->position = OleWriter_cutoff;
    }
    if (n) {
        int err = OleWriter_writeAt(f, e, stream->position, bytes, n);
        if (err != Res_ok)
            return err;
        stream->position += n;
    }
    return Res_ok;
}

int OleWriter_streamSeek(OleStream *stream, uint32_t offset, int whence)
{
    OleDirEntry *e = stream->entry;
    uint32_t target;
    switch (whence) {
    case 0: target = offset; break;
    case 1: target = stream->position + offset; break;
    case 2: target = e->size; break;
    default: return Res_nullInput;
    }
    if (target <= e->size) {
        stream->position = target;
        return Res_ok;
    }
    // Zero bytes from the end up to the target.
    static constexpr uint8_t zeros[512] = {};
    stream->position = e->size;
    while (stream->position < target) {
        uint32_t take = target - stream->position;
        if (take > sizeof zeros)
            take = sizeof zeros;
        int err = OleWriter_streamWrite(stream, zeros, take);
        if (err != Res_ok)
            return err;
    }
    return Res_ok;
}

int OleWriter_flush(OleHandle *handle)
{
    if (!handle || !handle->file || !handle->file->writer)
        return Res_ok;
    OleFile *f = handle->file;
    int err = OleWriter_writeMiniStream(handle);
    if (err == Res_ok)
        err = OleWriter_writeDirectory(handle);
    uint32_t firstDifat = Ole_sectorEndOfChain, difatCount = 0;
    if (err == Res_ok)
        err = OleWriter_writeFat(f, &firstDifat, &difatCount);
    if (err == Res_ok)
        err = OleWriter_writeHeader(handle, firstDifat, difatCount);
    return err;
}

int OleWriter_findEntry(const OleHandle *writer, uint32_t id, uintptr_t *word)
{
    *word = 0;
    for (const OleDirEntry *e = writer->entries; e; e = e->next) {
        if (e->id == id) {
            *word = e->id;
            return Res_ok;
        }
    }
    return Res_oleNoSuchEntry;
}
