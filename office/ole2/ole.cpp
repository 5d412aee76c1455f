// The compound-file reader's sector layer: the DIFAT, the lazily decoded
// FAT and mini FAT, and the sector tables that lend sector buffers.
//
// Every FAT sector is decoded the first time a chain step needs one of its
// entries, and dropped after decoding; the same holds for the mini FAT. A
// regular sector of a seekable stream is read when it is asked for and
// dropped when it is given back. A regular sector of the mini stream is
// split into its mini sectors, which stay cached until the file closes. A
// forward-only stream cannot go back, so every sector it passes on the way
// to the one asked for is kept in its slot.
#include "office/ole2/ole.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/fmt.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

// The ids that never name a sector: DIFAT, FAT, end of chain, free.
inline bool isSpecial(uint32_t id)
{
    return id >= Ole_sectorDifat;
}

// The ids past the regular ones that no real file reaches: the table
// limit for a stream whose size is unknown.
constexpr uint32_t kMaxSectors = 0xFFFFFFFA;

// The header's DIFAT holds 109 entries.
constexpr uint32_t kHeaderDifatEntries = 109;

// ------------------------------------------------------------ buffers

// The spare buffer when it is free, else a new sector-size buffer.
uint8_t *Ole_bufAlloc(OleFile *f)
{
    if (f->spare && !f->spareInUse) {
        f->spareInUse = 1;
        return f->spare;
    }
    return static_cast<uint8_t *>(Mem_malloc(f->sectorSize));
}

// The spare buffer is only marked free; any other is freed.
void Ole_bufFree(OleFile *f, uint8_t **buffer)
{
    if (!*buffer)
        return;
    if (*buffer == f->spare)
        f->spareInUse = 0;
    else
        Mem_free(*buffer);
    *buffer = nullptr;
}

// ------------------------------------------------------------- tables

// Makes the table cover index length - 1 (new slots not loaded, not
// consumed, empty). The table grows by doubling underneath.
int Ole_sectorTableEnsure(OleSectorSlot **table, uint32_t *length, uint32_t *capacity,
                          uint32_t want)
{
    if (want <= *length)
        return Res_ok;
    if (want > *capacity) {
        uint64_t cap = *capacity ? *capacity : 16;
        while (cap < want)
            cap *= 2;
        if (cap > kMaxSectors)
            cap = want;
        void *grown = Mem_realloc(*table, size_t(cap) * sizeof(OleSectorSlot));
        if (!grown)
            return Res_noMemory;
        *table = static_cast<OleSectorSlot *>(grown);
        *capacity = uint32_t(cap);
    }
    for (uint32_t i = *length; i < want; i++)
        (*table)[i] = {Ole_sectorFat, 0, nullptr};
    *length = want;
    return Res_ok;
}

int ensureRegular(OleFile *f, uint32_t want)
{
    return Ole_sectorTableEnsure(&f->sectors, &f->sectorCount, &f->sectorCapacity, want);
}

int ensureMini(OleFile *f, uint32_t want)
{
    return Ole_sectorTableEnsure(&f->miniSectors, &f->miniSectorCount, &f->miniSectorCapacity,
                                 want);
}

// Frees the buffers held in a table.
void Ole_sectorCacheFree(OleFile *f, OleSectorSlot *table, uint32_t length)
{
    for (uint32_t i = 0; table && i < length; i++)
        Ole_bufFree(f, &table[i].buffer);
}

// Appends an id to a growing list (used for the mini-FAT chain and the
// mini stream's sectors).
int appendId(uint32_t **list, uint32_t *count, uint32_t id)
{
    uint32_t n = *count;
    // The room doubles at each power of two.
    if ((n & (n - 1)) == 0) {
        void *grown = Mem_realloc(*list, size_t(n ? 2 * n : 1) * 4);
        if (!grown)
            return Res_noMemory;
        *list = static_cast<uint32_t *>(grown);
    }
    (*list)[n] = id;
    *count = n + 1;
    return Res_ok;
}

// ------------------------------------------------------------ reading

// Reads n bytes into to; *got the count that came. Res_vfsShortRead
// when the stream ends first.
int readFully(VfsHandle *stream, uint8_t *to, size_t n, size_t *got)
{
    *got = 0;
    while (*got < n) {
        size_t part = 0;
        int err = Vfs_readBytes(stream, to + *got, n - *got, &part);
        *got += part;
        if (err != Res_ok)
            return err;
    }
    return Res_ok;
}

// Positions the stream at sector id. A forward-only stream reads its way
// there, keeping every whole sector it passes in that sector's slot.
int Ole_sectorSeek(OleFile *f, uint32_t id)
{
    uint64_t position = f->baseOffset + uint64_t(f->sectorSize) * id;
    if (f->seekable)
        return Vfs_seekFrom(f->stream, int64_t(position), 0);
    if (!f->sectors)
        return Res_oleForwardNoTable;
    uint64_t current = 0;
    int err = Vfs_tell(f->stream, &current);
    if (err != Res_ok)
        return err;
    if (current < f->baseOffset)
        return Res_oleSectorBehind;
    uint64_t k = (current - f->baseOffset) / f->sectorSize;
    uint32_t r = uint32_t((current - f->baseOffset) % f->sectorSize);
    // The sector the stream stands in is behind it too: its start is passed.
    if (id < k || (r && id == k))
        return Res_oleSectorBehind;
    if (r) {
        // The stream stands inside a sector: drop the rest of it.
        uint32_t rest = f->sectorSize - r;
        Fmt_debugLevel(2, "OLE: Potential leak of %u bytes\n", rest);
        uint8_t *scratch = Ole_bufAlloc(f);
        if (!scratch)
            return Res_noMemory;
        size_t got = 0;
        err = readFully(f->stream, scratch, rest, &got);
        Ole_bufFree(f, &scratch);
        if (err == Res_vfsShortRead)
            return Res_oleEndsInSector;
        if (err != Res_ok)
            return err;
        k++;
    }
    if (id < k)
        return Res_oleSectorBehind;
    if (id > k && (err = ensureRegular(f, id)) != Res_ok)
        return err;
    for (uint64_t s = k; s < id; s++) {
        uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(f->sectorSize));
        if (!buf)
            return Res_noMemory;
        size_t got = 0;
        err = readFully(f->stream, buf, f->sectorSize, &got);
        OleSectorSlot *slot = &f->sectors[s];
        if (err != Res_ok || slot->buffer || slot->consumed) {
            Mem_free(buf);
            if (err == Res_vfsShortRead)
                return Res_oleEndsInSector;
            if (err != Res_ok)
                return err;
            continue;
        }
        slot->buffer = buf;
    }
    return Res_ok;
}

// Reads sector id into a buffer (the spare when free). A short read gives
// 3614 with the buffer and the count that came; another error no buffer.
int Ole_sectorRead(OleFile *f, uint32_t id, uint8_t **buffer, uint32_t *count)
{
    *buffer = nullptr;
    *count = 0;
    int err = Ole_sectorSeek(f, id);
    if (err != Res_ok)
        return err;
    uint8_t *buf = Ole_bufAlloc(f);
    if (!buf)
        return Res_noMemory;
    size_t got = 0;
    err = readFully(f->stream, buf, f->sectorSize, &got);
    if (err == Res_vfsShortRead) {
        *buffer = buf;
        *count = uint32_t(got);
        return Res_oleEndsInSector;
    }
    if (err != Res_ok) {
        Ole_bufFree(f, &buf);
        return err;
    }
    *buffer = buf;
    *count = uint32_t(got);
    return Res_ok;
}

// ------------------------------------------------------------ the FAT

// Stores the entries of one decoded FAT (or mini-FAT) sector as the next
// links of the table from firstIndex on. Entries naming FAT or free
// sectors are skipped; indexes past the file's bounds are dropped.
int Ole_fatDecode(OleFile *f, bool mini, uint32_t firstIndex, const uint8_t *bytes, uint32_t length)
{
    uint32_t limit = mini ? f->miniLimit : f->fileSectors;
    uint32_t n = length / 4;
    uint32_t highest = 0;
    bool any = false;
    for (uint32_t i = 0; i < n && uint64_t(firstIndex) + i < limit; i++) {
        uint32_t v = Bytes_peekU32(bytes + 4 * i, f->swap);
        if (v != Ole_sectorFat && v != Ole_sectorFree) {
            highest = firstIndex + i;
            any = true;
        }
    }
    if (!any)
        return Res_ok;
    int err = mini ? ensureMini(f, highest + 1) : ensureRegular(f, highest + 1);
    if (err != Res_ok)
        return err;
    OleSectorSlot *table = mini ? f->miniSectors : f->sectors;
    for (uint32_t i = 0; firstIndex + i <= highest; i++) {
        uint32_t v = Bytes_peekU32(bytes + 4 * i, f->swap);
        if (v != Ole_sectorFat && v != Ole_sectorFree)
            table[firstIndex + i].next = v;
    }
    return Res_ok;
}

// Decodes FAT (or mini-FAT) sector `sector` into the table at firstIndex,
// from the buffer its slot keeps or from the file, then marks the slot
// consumed.
int decodeSector(OleFile *f, bool mini, uint32_t sector, uint32_t firstIndex)
{
    OleSectorSlot *slot = &f->sectors[sector];
    if (slot->consumed)
        return Res_ok;
    uint8_t *buf = slot->buffer;
    uint32_t count = f->sectorSize;
    int err = Res_ok;
    if (!buf) {
        err = Ole_sectorRead(f, sector, &buf, &count);
        if (err != Res_ok) {
            Ole_bufFree(f, &buf);
            return err;
        }
    }
    err = Ole_fatDecode(f, mini, firstIndex, buf, count);
    if (err != Res_ok) {
        // Keep a cached buffer for another try; a fresh one is dropped.
        if (buf != f->sectors[sector].buffer)
            Ole_bufFree(f, &buf);
        return err;
    }
    slot = &f->sectors[sector];
    Ole_bufFree(f, &buf);
    slot->buffer = nullptr;
    slot->consumed = 1;
    return Res_ok;
}

// A sector id that may be read: real and inside the file and the table.
bool validSector(const OleFile *f, uint32_t id)
{
    return !isSpecial(id) && id < f->fileSectors && id < f->sectorCount;
}

int Ole_fatEnsure(OleFile *f, bool mini, uint32_t id);

// Decodes the mini-FAT sectors 0..j of the mini-FAT chain into the mini
// table, making each one's own FAT link known on the way.
int Ole_miniFatLoad(OleFile *f, uint32_t j)
{
    uint32_t per = f->sectorSize / 4;
    while (f->miniFatKnown <= j) {
        uint32_t id;
        if (f->miniFatKnown == 0) {
            id = f->firstMiniFatSector;
        } else {
            id = f->miniFatChain[f->miniFatKnown - 1];
            int err = Ole_fatEnsure(f, false, id);
            if (err != Res_ok)
                return err;
            id = f->sectors[id].next;
        }
        if (!validSector(f, id) || f->miniFatKnown >= f->fileSectors)
            return Res_oleSectorBeyond;
        int err = appendId(&f->miniFatChain, &f->miniFatKnown, id);
        if (err != Res_ok)
            return err;
    }
    for (uint32_t i = 0; i <= j; i++) {
        uint32_t id = f->miniFatChain[i];
        int err = Ole_fatEnsure(f, false, id);
        if (err == Res_ok)
            err = decodeSector(f, true, id, per * i);
        if (err != Res_ok)
            return err;
    }
    return Res_ok;
}

// Makes the FAT (or mini-FAT) entry of id known.
int Ole_fatEnsure(OleFile *f, bool mini, uint32_t id)
{
    if (id >= Ole_sectorFat)
        return Res_oleSectorBeyond;
    if (mini && f->firstMiniFatSector == Ole_sectorEndOfChain)
        return Res_oleNoMiniFat;
    if (id >= (mini ? f->miniLimit : f->fileSectors))
        return Res_oleSectorBeyond;
    OleSectorSlot *table = mini ? f->miniSectors : f->sectors;
    uint32_t length = mini ? f->miniSectorCount : f->sectorCount;
    if (id < length && table[id].next != Ole_sectorFat)
        return Res_ok;
    uint32_t per = f->sectorSize / 4;
    uint32_t k = id / per;
    int err;
    if (mini) {
        err = Ole_miniFatLoad(f, k);
    } else {
        if (k >= f->fatSectorCount)
            return Res_oleSectorBeyond;
        uint32_t sector = f->fatSectors[k];
        if (!validSector(f, sector))
            return Res_oleSectorBeyond;
        err = decodeSector(f, false, sector, per * k);
    }
    if (err != Res_ok)
        return err;
    table = mini ? f->miniSectors : f->sectors;
    length = mini ? f->miniSectorCount : f->sectorCount;
    if (id >= length || table[id].next == Ole_sectorFat)
        return Res_oleFatUnknown;
    return Res_ok;
}

// The FAT sectors from the assembled DIFAT: each must be a real sector of
// the file; the table covers them and links them in DIFAT order.
int Ole_fatSetup(OleFile *f, const uint8_t *difat, uint32_t count)
{
    if (!count)
        return Res_ok;
    uint32_t *list = static_cast<uint32_t *>(Mem_malloc(size_t(count) * 4));
    if (!list)
        return Res_noMemory;
    uint32_t highest = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t id = Bytes_peekU32(difat + 4 * i, f->swap);
        if (isSpecial(id) || id >= f->fileSectors) {
            Mem_free(list);
            return Res_oleSectorBeyond;
        }
        list[i] = id;
        if (id > highest)
            highest = id;
    }
    int err = ensureRegular(f, highest + 1);
    if (err != Res_ok) {
        Mem_free(list);
        return err;
    }
    f->fatSectors = list;
    f->fatSectorCount = count;
    f->fatStart = list[0];
    for (uint32_t i = 0; i < count; i++)
        f->sectors[list[i]].next = i + 1 < count ? list[i + 1] : Ole_sectorEndOfChain;
    return Res_ok;
}

// Assembles the DIFAT: the header's 436 bytes, then the DIFAT chain's
// sectors (sector size - 4 bytes each). *out is a new buffer.
int assembleDifat(OleFile *f, const uint8_t *headerDifat, uint32_t fatSectorCount,
                  uint32_t firstDifat, uint32_t difatCount, uint8_t **out)
{
    *out = nullptr;
    if (difatCount == 0)
        return Res_oleNoDifat;
    uint32_t perDifat = f->sectorSize / 4 - 1;
    // The chain cannot be longer than the file, and it must hold every
    // FAT sector that the header counts.
    if (difatCount > f->fileSectors ||
        uint64_t(fatSectorCount) > kHeaderDifatEntries + uint64_t(difatCount) * perDifat)
        return Res_oleDifatLength;
    uint64_t bytes = 436 + uint64_t(difatCount) * (f->sectorSize - 4);
    uint8_t *difat = static_cast<uint8_t *>(Mem_malloc(size_t(bytes)));
    if (!difat)
        return Res_noMemory;
    std::memcpy(difat, headerDifat, 436);
    uint64_t at = 436;
    uint32_t read = 0;
    uint32_t id = firstDifat;
    int err = Res_ok;
    while (read < difatCount && !isSpecial(id)) {
        if (id >= f->fileSectors) {
            err = Res_oleSectorBeyond;
            break;
        }
        uint8_t *buf = nullptr;
        uint32_t got = 0;
        err = Ole_sectorRead(f, id, &buf, &got);
        if (err != Res_ok) {
            Ole_bufFree(f, &buf);
            break;
        }
        std::memcpy(difat + at, buf, f->sectorSize - 4);
        at += f->sectorSize - 4;
        id = Bytes_peekU32(buf + f->sectorSize - 4, f->swap);
        Ole_bufFree(f, &buf);
        read++;
    }
    if (err == Res_ok && (read != difatCount || !isSpecial(id)))
        err = Res_oleDifatLength;
    if (err != Res_ok) {
        Mem_free(difat);
        return err;
    }
    *out = difat;
    return Res_ok;
}

// The regular sector of the mini stream at index `index` of its chain.
int miniStreamSector(OleFile *f, uint32_t index, uint32_t *sector)
{
    *sector = Ole_sectorEndOfChain;
    if (f->miniStreamKnown == 0) {
        if (isSpecial(f->miniStart))
            return Res_oleMiniChainEnds;
        int err = appendId(&f->miniStreamMap, &f->miniStreamKnown, f->miniStart);
        if (err != Res_ok)
            return err;
    }
    while (f->miniStreamKnown <= index) {
        uint32_t id = f->miniStreamMap[f->miniStreamKnown - 1];
        int err = Ole_fatEnsure(f, false, id);
        if (err != Res_ok)
            return err;
        id = f->sectors[id].next;
        if (isSpecial(id))
            return Res_oleMiniChainEnds;
        if (f->miniStreamKnown >= f->fileSectors)
            return Res_oleSectorBeyond;
        if ((err = appendId(&f->miniStreamMap, &f->miniStreamKnown, id)) != Res_ok)
            return err;
    }
    *sector = f->miniStreamMap[index];
    return Res_ok;
}

// The common body of the two getters.
int Ole_sectorGet(OleFile *f, bool mini, uint32_t id, uint8_t **buffer, uint32_t *length)
{
    *buffer = nullptr;
    if (length)
        *length = 0;
    int err = Ole_fatEnsure(f, mini, id);
    if (err != Res_ok)
        return err;
    OleSectorSlot *slot = mini ? &f->miniSectors[id] : &f->sectors[id];
    if (slot->consumed)
        return Res_oleSectorConsumed;
    if (slot->buffer) {
        *buffer = slot->buffer;
        if (length)
            *length = mini ? f->miniSectorSize : f->sectorSize;
        return Res_ok;
    }
    uint32_t per = f->sectorSize / f->miniSectorSize;
    uint32_t reg = id;
    if (mini) {
        if ((err = miniStreamSector(f, id / per, &reg)) != Res_ok)
            return err;
        if ((err = Ole_fatEnsure(f, false, reg)) != Res_ok)
            return err;
    }
    OleSectorSlot *regSlot = &f->sectors[reg];
    uint8_t *buf = regSlot->buffer;
    if (!buf) {
        if (regSlot->consumed)
            return Res_oleSectorConsumed;
        uint32_t count = 0;
        err = Ole_sectorRead(f, reg, &buf, &count);
        if (err == Res_oleEndsInSector && buf) {
            if (!mini && length) {
                // The last sector of the file, cut short: its bytes, not kept.
                *buffer = buf;
                *length = count;
                return Res_ok;
            }
            Ole_bufFree(f, &buf);
            if (mini)
                f->sectors[reg].consumed = 1;
            return Res_oleEndsInSector;
        }
        if (err != Res_ok)
            return err;
        regSlot = &f->sectors[reg];
        regSlot->buffer = buf;
    }
    if (!mini) {
        *buffer = buf;
        if (length)
            *length = f->sectorSize;
        return Res_ok;
    }
    // Split the regular sector into its mini sectors.
    uint32_t first = per * (id / per);
    uint32_t end = first + per;
    if (end > f->miniLimit)
        end = f->miniLimit;
    if ((err = ensureMini(f, end)) != Res_ok)
        return err;
    for (uint32_t m = first; m < end; m++) {
        OleSectorSlot *ms = &f->miniSectors[m];
        if (ms->buffer || ms->consumed)
            continue;
        uint8_t *piece = static_cast<uint8_t *>(Mem_malloc(f->miniSectorSize));
        if (!piece)
            return Res_noMemory;
        std::memcpy(piece, buf + size_t(m - first) * f->miniSectorSize, f->miniSectorSize);
        ms->buffer = piece;
    }
    regSlot = &f->sectors[reg];
    Ole_bufFree(f, &regSlot->buffer);
    regSlot->consumed = 1;
    *buffer = f->miniSectors[id].buffer;
    if (length)
        *length = f->miniSectorSize;
    return Res_ok;
}

int Ole_sectorRelease(OleFile *f, bool mini, uint32_t id, uint8_t **buffer)
{
    if (id >= (mini ? f->miniSectorCount : f->sectorCount))
        return Res_oleFatUnknown;
    int err = Ole_fatEnsure(f, mini, id);
    if (err != Res_ok)
        return err;
    OleSectorSlot *slot = mini ? &f->miniSectors[id] : &f->sectors[id];
    if (!slot->buffer) {
        // A buffer the table never held (a last sector cut short).
        Ole_bufFree(f, buffer);
        return Res_ok;
    }
    if (slot->buffer != *buffer)
        return Res_oleWrongBuffer;
    if (!mini && f->seekable) {
        Ole_bufFree(f, &slot->buffer);
        *buffer = nullptr;
    }
    return Res_ok;
}

} // namespace

// ------------------------------------------------------------ handles

OleHandle *Ole_allocFile()
{
    return static_cast<OleHandle *>(Mem_calloc(1, sizeof(OleHandle)));
}

void Ole_closeFile(OleHandle **handle)
{
    if (!handle || !*handle)
        return;
    OleHandle *h = *handle;
    Ole_closeAllStreams(h);
    while (h->entries) {
        OleDirEntry *e = h->entries;
        h->entries = e->next;
        Mem_free(e->sectorMap);
        Mem_free(e->data);
        Mem_free(e->extra);
        Mem_free(e);
    }
    h->lastEntry = nullptr;
    Ole_fileClose(&h->file);
    if (h->ownsStream)
        (void)Vfs_close(h->stream);
    Mem_free(h);
    *handle = nullptr;
}

// ------------------------------------------------------- sector layer

int Ole_fileOpen(OleFile **file, VfsHandle *stream, uint32_t cutoff, uint32_t sectorSize,
                 uint32_t miniSectorSize, const uint8_t *headerDifat, uint32_t fatSectorCount,
                 uint32_t baseOffset, uint32_t firstDirSector, uint32_t firstMiniFatSector,
                 uint32_t firstDifatSector, uint32_t difatSectorCount, uint32_t byteSwap)
{
    *file = nullptr;
    // Sizes come from the header's shifts (powers of two); anything below
    // 8 bytes, above 2 GiB, or a mini sector that does not divide the
    // sector has no meaning here.
    if (sectorSize < 8 || sectorSize > 0x80000000u || (sectorSize & (sectorSize - 1)) ||
        miniSectorSize == 0 || miniSectorSize > sectorSize || sectorSize % miniSectorSize)
        return Res_oleZeroShift;
    // 1. The record and the spare buffer.
    OleFile *f = static_cast<OleFile *>(Mem_calloc(1, sizeof(OleFile)));
    if (!f)
        return Res_noMemory;
    f->spare = static_cast<uint8_t *>(Mem_malloc(sectorSize));
    if (!f->spare) {
        Mem_free(f);
        return Res_noMemory;
    }
    f->stream = stream;
    f->swap = byteSwap ? 1 : 0;
    f->sectorSize = sectorSize;
    f->miniSectorSize = miniSectorSize;
    f->cutoff = cutoff;
    f->baseOffset = baseOffset;
    f->fatStart = Ole_sectorEndOfChain;
    f->miniStart = Ole_sectorEndOfChain;
    f->firstMiniFatSector = firstMiniFatSector;
    f->firstDirSector = firstDirSector;
    // 2. Seekable or forward-only.
    uint32_t flags = 0;
    (void)Vfs_getFlags(stream, &flags);
    f->seekable = (flags & Vfs_modeSeekable) ? 1 : 0;
    // The file's bounds: every sector it holds, a last one cut short
    // included; unbounded when the size is unknown.
    uint64_t size = 0;
    uint64_t sectors = kMaxSectors;
    if (Vfs_getSize(stream, &size) == Res_ok)
        sectors = size > baseOffset ? (size - baseOffset + sectorSize - 1) / sectorSize : 0;
    f->fileSectors = sectors > kMaxSectors ? kMaxSectors : uint32_t(sectors);
    uint64_t minis = uint64_t(f->fileSectors) * (sectorSize / miniSectorSize);
    f->miniLimit = minis > kMaxSectors ? kMaxSectors : uint32_t(minis);

    // 3. The stream must stand after the header.
    uint64_t position = 0;
    int err = Vfs_tell(stream, &position);
    if (err == Res_ok && position != baseOffset)
        err = Res_oleNotAfterHeader;
    // 4. and 5. The DIFAT and the FAT sector chain.
    uint8_t *difat = nullptr;
    if (err == Res_ok && fatSectorCount > kHeaderDifatEntries)
        err = assembleDifat(f, headerDifat, fatSectorCount, firstDifatSector, difatSectorCount,
                            &difat);
    if (err == Res_ok)
        err = Ole_fatSetup(f, difat ? difat : headerDifat, fatSectorCount);
    Mem_free(difat);
    // 6. The first mini-FAT sector.
    if (err == Res_ok && firstMiniFatSector != Ole_sectorEndOfChain) {
        if (isSpecial(firstMiniFatSector) || firstMiniFatSector >= f->fileSectors)
            err = Res_oleSectorBeyond;
        else
            err = ensureRegular(f, firstMiniFatSector + 1);
    }
    // 7. The first directory sector.
    if (err == Res_ok) {
        if (isSpecial(firstDirSector) || firstDirSector >= f->fileSectors)
            err = Res_oleSectorBeyond;
        else
            err = ensureRegular(f, firstDirSector + 1);
    }
    if (err != Res_ok) {
        Ole_fileClose(&f);
        return err;
    }
    *file = f;
    return Res_ok;
}

void Ole_fileClose(OleFile **file)
{
    if (!file || !*file)
        return;
    OleFile *f = *file;
    if (f->writer && f->writeBuf) {
        (void)Vfs_writeDone(f->stream, f->writeBufUsed);
        f->writeBuf = nullptr;
    }
    Ole_sectorCacheFree(f, f->sectors, f->sectorCount);
    Ole_sectorCacheFree(f, f->miniSectors, f->miniSectorCount);
    Mem_free(f->sectors);
    Mem_free(f->miniSectors);
    Mem_free(f->fatSectors);
    Mem_free(f->miniFatChain);
    Mem_free(f->miniStreamMap);
    Mem_free(f->spare);
    Mem_free(f);
    *file = nullptr;
}

int Ole_fileSetMiniStart(OleFile *file, uint32_t sector)
{
    if (sector == Ole_sectorFat || sector == Ole_sectorFree)
        return Res_oleSectorBeyond;
    file->miniStart = sector;
    return Res_ok;
}

int Ole_getSector(OleFile *file, uint32_t id, uint8_t **buffer, uint32_t *length)
{
    return Ole_sectorGet(file, false, id, buffer, length);
}

int Ole_getMiniSector(OleFile *file, uint32_t id, uint8_t **buffer, uint32_t *length)
{
    return Ole_sectorGet(file, true, id, buffer, length);
}

int Ole_releaseSector(OleFile *file, uint32_t id, uint8_t **buffer)
{
    return Ole_sectorRelease(file, false, id, buffer);
}

int Ole_releaseMiniSector(OleFile *file, uint32_t id, uint8_t **buffer)
{
    return Ole_sectorRelease(file, true, id, buffer);
}

int Ole_nextSector(OleFile *file, uint32_t *id)
{
    int err = Ole_fatEnsure(file, false, *id);
    if (err == Res_ok)
        *id = file->sectors[*id].next;
    return err;
}

int Ole_nextMiniSector(OleFile *file, uint32_t *id)
{
    int err = Ole_fatEnsure(file, true, *id);
    if (err == Res_ok)
        *id = file->miniSectors[*id].next;
    return err;
}
