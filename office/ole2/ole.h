// The compound-file reader: sector file, directory and streams of an OLE2
// compound file.
//
// A compound file is opened in two steps: the document model's probe
// (office/ole2/oleprobe.h) validates the 512-byte header and hands its
// values to Ole_fileOpen, which builds the sector file, then reads the
// directory (Ole_readDirectory) into the handle's entry list. Named streams
// are then opened and read through the entries.
//
// The sector file keeps one slot per sector id: the chain link taken from
// the FAT (loaded lazily, one FAT sector at a time, the first time a chain
// step needs it), a consumed flag, and a buffer while the sector is lent
// or cached. Small streams live in mini sectors inside the mini stream,
// with a second table of slots over the mini FAT. Sectors of a seekable
// stream are read again after release; a forward-only stream keeps every
// sector it passes in its slot, so that it can be handed out later.
//
// Ids, counts and sizes taken from the file never make a table or a buffer
// larger than the file itself: a sector id at or beyond the file's sector
// count is refused (3611), and every chain is bounded by that count.
//
// The compound-file writer (office/ole2/olewriter.h) keeps its state in
// the same records.
#pragma once

#include <cstddef>
#include <cstdint>

struct VfsHandle;
struct OleDirEntry;
struct OleStream;

// Special sector ids.
enum : uint32_t {
    Ole_sectorDifat = 0xFFFFFFFC,      // a DIFAT sector
    Ole_sectorFat = 0xFFFFFFFD,        // a FAT sector; a slot link not loaded yet
    Ole_sectorEndOfChain = 0xFFFFFFFE, // ends every chain
    Ole_sectorFree = 0xFFFFFFFF,       // a free sector; no sibling, no child
};

// Directory entry types that the reader keeps.
enum : uint32_t {
    OleEntry_storage = 1,
    OleEntry_stream = 2,
    OleEntry_root = 5,
};

// One slot of a sector table.
struct OleSectorSlot {
    uint32_t next;     // the chain link; Ole_sectorFat while not loaded
    uint32_t consumed; // decoded FAT or mini-FAT sector, or a split mini-stream sector
    uint8_t *buffer;   // the sector's bytes while lent or cached, else null
};

// The sector layer of a compound file (reader or writer).
struct OleFile {
    VfsHandle *stream;
    uint32_t seekable; // the stream's random-access bit (always 1 in a writer)
    uint32_t swap;     // byte-swapped file
    uint32_t writer;   // 1 in records made by OleWriter_create
    // The FAT sectors in DIFAT order (reader: from the DIFAT; writer: as
    // they are allocated).
    uint32_t fatSectorCount;
    uint32_t *fatSectors;
    // Writer only: the lent write buffer of the output stream.
    uint64_t writeBufPos; // file position of the buffer's first byte
    size_t writeBufUsed;  // bytes written into it
    uint8_t *writeBuf;    // null while nothing is lent
    size_t writeBufSize;
    // Reader only: one spare sector buffer.
    uint8_t *spare;
    uint32_t spareInUse;
    // The sector table, indexed by regular sector id.
    OleSectorSlot *sectors;
    uint32_t sectorCount; // the table's length
    uint32_t sectorCapacity;
    uint32_t sectorSize;
    uint32_t cutoff;     // streams smaller than this live in mini sectors
    uint64_t baseOffset; // byte offset of sector 0 (512)
    // The mini-sector table (reader); the writer keeps its count of mini
    // sectors in miniSectorCount.
    OleSectorSlot *miniSectors;
    uint32_t miniSectorCount;
    uint32_t miniSectorCapacity;
    uint32_t miniSectorSize;
    uint32_t fatStart; // the first FAT sector; end of chain until set
    uint32_t firstMiniFatSector;
    uint32_t miniFatSectorCount; // writer: mini-FAT sectors written
    uint32_t miniStart;          // the mini stream's first sector (the root's start)
    uint32_t firstDirSector;
    // Bounds from the file's size: regular sectors it holds (a last sector
    // cut short counts), and the mini sectors those can hold.
    uint32_t fileSectors;
    uint32_t miniLimit;
    // Reader: the mini-FAT sectors found so far, in chain order, and the
    // regular sectors of the mini stream found so far.
    uint32_t *miniFatChain;
    uint32_t miniFatKnown;
    uint32_t *miniStreamMap;
    uint32_t miniStreamKnown;
};

// An open compound file as its users hold it.
struct OleHandle {
    VfsHandle *stream;   // the source (or output) stream
    uint32_t ownsStream; // 1 when the handle opened the stream and closes it
    uint16_t minorVersion;
    uint16_t majorVersion;
    uint32_t byteSwapped;   // 1 for a big-endian file
    OleDirEntry *entries;   // the directory entry list (reader: walk order; writer: newest first)
    OleStream *openStreams; // streams opened on the handle, newest first
    OleFile *file;          // the sector file, filled by Ole_fileOpen
    OleDirEntry *lastEntry; // the list's tail
};

// One directory entry in memory.
struct OleDirEntry {
    uint32_t id;          // index in the directory; the root is 0
    char16_t name[32];    // at most 31 characters and a NUL
    uint32_t type;        // 1 storage, 2 stream, 5 root
    uint32_t parentId;    // 0 for the root's children and the root itself
    uint32_t start;       // first sector (or mini sector)
    uint32_t sectorCount; // sectors (or mini sectors) of the data; 0 for storages
    uint32_t *sectorMap;  // sectorCount ids: the first is start, others found lazily
    uint32_t regular;     // 1 when the data lives in regular sectors
    uint32_t unitSize;    // the sector or mini-sector size
    uint32_t size;        // bytes (the low 32 bits of the stored size)
    OleDirEntry *next;
    void *extra; // freed with the entry (null in the reader)
    uint8_t classId[16];
    // Writer only.
    uint8_t *data;        // a stream's bytes while below the cutoff (4096 bytes)
    uint32_t mapCapacity; // room in sectorMap
};

// An open stream over a directory entry.
struct OleStream {
    OleHandle *owner;
    uint32_t entryId;
    uint32_t position; // bytes from the start
    OleDirEntry *entry;
    OleStream *next; // the next open stream of the same handle
};

// ------------------------------------------------------------ handles

// A new handle with every word cleared, or null when memory runs out.
OleHandle *Ole_allocFile();
// Frees the directory entries with their sector maps, every open stream
// and the sector file (handing a writer's last buffered bytes to the
// stream), closes the stream when the handle owns it, frees the handle and
// clears *handle. Null (or a null handle) is ignored.
void Ole_closeFile(OleHandle **handle);

// ------------------------------------------------------- sector layer

// Builds the sector file from the header values: cutoff (mini-stream cut-off
// size), sector and mini-sector sizes, headerDifat (the header's 436 bytes of
// DIFAT entries, in the file's byte order), the FAT sector count, the base
// offset (512), the first directory, mini-FAT and DIFAT sectors, the DIFAT
// sector count and the byte-swapped flag. The stream stays the caller's and
// must stand at the base offset (else 3608). More than 109 FAT sectors need the
// DIFAT chain: Res_oleNoDifat when no DIFAT sector is counted,
// Res_oleDifatLength when the chain is longer or shorter than counted or cannot
// hold the FAT sectors; Res_oleSectorBeyond for a special or out-of-file FAT
// sector, first directory or first mini-FAT sector; Res_oleZeroShift for a
// sector size below 8 or a mini-sector size that does not divide it;
// Res_oleForwardNoTable when a forward-only stream needs the DIFAT chain. 0
// with *file, or the error with *file null and nothing left allocated.
[[nodiscard]] int Ole_fileOpen(OleFile **file, VfsHandle *stream, uint32_t cutoff,
                               uint32_t sectorSize, uint32_t miniSectorSize,
                               const uint8_t *headerDifat, uint32_t fatSectorCount,
                               uint32_t baseOffset, uint32_t firstDirSector,
                               uint32_t firstMiniFatSector, uint32_t firstDifatSector,
                               uint32_t difatSectorCount, uint32_t byteSwap);
// Releases every buffer held in both tables, the tables, the FAT sector
// list, the spare buffer and the record (a writer first hands its pending
// buffered bytes to the stream), and clears *file. The stream stays open.
void Ole_fileClose(OleFile **file);
// Records the mini stream's first sector: Res_oleSectorBeyond for 0xFFFFFFFD
// and 0xFFFFFFFF (0xFFFFFFFE, no mini stream, is accepted).
[[nodiscard]] int Ole_fileSetMiniStart(OleFile *file, uint32_t sector);

// Lend a sector's or mini sector's bytes; *length (optional) receives the
// byte count: the unit size, or less for a regular last sector cut short by
// the end of the file (such a buffer is not kept in the table). Give the
// buffer back with the matching release. 3611 special or out-of-file id,
// 3612 no mini FAT, 3613 a chain entry that its FAT sector leaves unknown,
// 3615 a consumed sector (FAT, mini-FAT or split mini-stream sector), 3609
// the mini stream ends before the mini sector, 3614 the file ends inside
// the sector (a mini sector, or a regular one asked without a length),
// 3610 a forward-only stream is already past the sector, stream errors.
[[nodiscard]] int Ole_getSector(OleFile *file, uint32_t id, uint8_t **buffer, uint32_t *length);
[[nodiscard]] int Ole_getMiniSector(OleFile *file, uint32_t id, uint8_t **buffer, uint32_t *length);
// Give a lent buffer back and clear *buffer when it was freed. A regular
// sector of a seekable stream is dropped (read again later); mini sectors
// and sectors of forward-only streams stay cached. 3613 for an id beyond
// the table, Res_oleWrongBuffer when the buffer is not the one the table holds.
[[nodiscard]] int Ole_releaseSector(OleFile *file, uint32_t id, uint8_t **buffer);
[[nodiscard]] int Ole_releaseMiniSector(OleFile *file, uint32_t id, uint8_t **buffer);
// Replace *id by the next id of its chain (loading FAT or mini-FAT sectors
// as needed); errors as the getters'.
[[nodiscard]] int Ole_nextSector(OleFile *file, uint32_t *id);
[[nodiscard]] int Ole_nextMiniSector(OleFile *file, uint32_t *id);

// ---------------------------------------------------------- directory

// Reads the directory into the handle's entry list: the sibling trees
// walked from the root, left subtree first, each storage's children after
// it; storages, streams and the root are kept, entries of other types are
// walked but not listed, empty entries (name length 0) are skipped with
// their links, and a loop in the links ends where it meets a visited entry.
// Yields to the scheduler once per entry. 3584 for a directory chain that
// starts at or runs into 0xFFFFFFFD or 0xFFFFFFFF or is longer than the
// file; Res_oleNameTooLong for a name length above 64; sector errors; 1.
[[nodiscard]] int Ole_readDirectory(OleHandle *handle);

// The entry with the id in the list that starts at list: 0 with *entry;
// 3585 (entry null) when none has it.
[[nodiscard]] int Ole_entryFindById(OleDirEntry *list, uint32_t id, OleDirEntry **entry);
// 0 when the handle has an entry with the id, else 3585.
[[nodiscard]] int Ole_entryCheck(OleHandle *handle, uint32_t id);
// The type word of the entry with the id into *type. 0; Res_oleNoEntry when
// there is none (*type untouched).
[[nodiscard]] int Ole_entryGetType(OleHandle *handle, uint32_t id, uint32_t *type);
// Steps *id from one child of the storage parentId to the next, in the order of
// the entry list (the first child is found by name or by the caller's own walk;
// an entry is never its own child). 0 with *id the next child;
// Res_oleNoSuchEntry when *id is not a child of parentId; Res_oleLastChild when
// it is the last (*id untouched in both).
[[nodiscard]] int Ole_entryNextChild(OleHandle *handle, uint32_t parentId, uint32_t *id);
// The first entry in list order whose parent is parentId and whose name equals
// name exactly (case and length count): 0 with *id; Res_oleNoSuchEntry when
// none.
[[nodiscard]] int Ole_entryFindByName(OleHandle *handle, uint32_t parentId, uint32_t *id,
                                      const char16_t *name);
// The entry's size. 0 or 3585.
[[nodiscard]] int Ole_entryGetSize(OleHandle *handle, uint32_t id, uint32_t *size);
// Copies the 16-byte class id to clsid (null only checks the entry). 0 or 3585.
[[nodiscard]] int Ole_entryGetClsid(OleHandle *handle, uint32_t id, uint8_t *clsid);
// Stores a 16-byte class id into the entry (null changes nothing). 0 or 3585.
[[nodiscard]] int Ole_entrySetClsid(OleHandle *handle, uint32_t id, const uint8_t *clsid);
// The entry's own name (not a copy). 0 or 3585 (*name null).
[[nodiscard]] int Ole_entryGetName(OleHandle *handle, uint32_t id, const char16_t **name);
// The sector (or mini sector) holding byte offset of the entry's data and
// the offset within it: 0xFFFFFFFE when the offset lies beyond the entry's
// sectors or its chain ends early. Chain errors.
[[nodiscard]] int Ole_entrySectorAt(OleDirEntry *entry, OleFile *file, uint32_t offset,
                                    uint32_t *sector, uint32_t *within);

// ------------------------------------------------------------ streams

// Open a stream over any entry at position 0, put at the head of the
// handle's open list; closed with Ole_streamClose or with the handle. 3585
// when the entry does not exist; 1.
[[nodiscard]] int Ole_streamOpenById(OleHandle *handle, uint32_t id, OleStream **stream);
[[nodiscard]] int Ole_streamOpen(OleHandle *handle, OleStream **stream, uint32_t id);
// Ole_entryFindByName, then open (Res_oleNoSuchEntry when there is no such
// entry).
[[nodiscard]] int Ole_streamOpenByName(OleHandle *handle, OleStream **stream, uint32_t parentId,
                                       const char16_t *name);
// Unlinks and frees the stream and clears *stream. Null is 0; a stream not
// in its handle's open list gives 3600 (nothing is freed).
int Ole_streamClose(OleStream **stream);
// Frees every open stream of the handle.
void Ole_closeAllStreams(OleHandle *handle);
// The position.
uint32_t Ole_streamTell(const OleStream *stream);
// The stream's size in bytes.
uint64_t Ole_streamSize(const OleStream *stream);
// whence 0: to offset; 1: offset added (unsigned, so a negative offset in two's
// complement moves back); 2: to the end (offset not used). 3601 for a result
// beyond the size (the position stays); Res_nullInput for another whence.
[[nodiscard]] int Ole_streamSeek(OleStream *stream, uint32_t offset, int whence);
// 3599 when the position equals the size, else 0.
int Ole_streamAtEnd(const OleStream *stream);
// Reads up to n bytes at the position into buffer and advances by *got: 0 when
// n bytes were there; Res_oleStreamEnd when fewer were left (those are read);
// 3602 when the chain runs into a special id; Res_oleEndsInSector when the file
// ends inside a sector the read needs; sector errors.
[[nodiscard]] int Ole_streamRead(OleStream *stream, size_t n, size_t *got, void *buffer);
// Seeks to offset (3601 beyond the size), then reads.
[[nodiscard]] int Ole_streamReadAt(OleStream *stream, uint64_t offset, size_t n, size_t *got,
                                   void *buffer);
// Read exactly n bytes (1, 2 or 4 for the fixed forms, little-endian as
// stored): the read's error unchanged (Res_oleStreamEnd when the stream ends
// first), 3603 when fewer came without an error.
[[nodiscard]] int Ole_streamReadExact(OleStream *stream, void *buffer, size_t n);
[[nodiscard]] int Ole_streamReadBytes(OleStream *stream, void *buffer, size_t n);
[[nodiscard]] int Ole_streamReadU8(OleStream *stream, uint8_t *value);
[[nodiscard]] int Ole_streamReadU16(OleStream *stream, uint16_t *value);
[[nodiscard]] int Ole_streamReadU32(OleStream *stream, uint32_t *value);
// Reads items of itemSize bytes into consecutive places of buffer until
// one equals pattern (0); *count is the number of items before it. 3603
// when an item cannot be read whole; Res_oleNoMatch when maxItems items passed
// without a match.
[[nodiscard]] int Ole_streamScanFor(OleStream *stream, void *buffer, const void *pattern,
                                    size_t itemSize, uint32_t maxItems, uint32_t *count);
// A NUL-terminated 8-bit or 16-bit string of at most maxItems units (NUL
// included); *count is its length without the NUL.
[[nodiscard]] int Ole_streamReadCstr(OleStream *stream, char *buffer, uint32_t maxItems,
                                     uint32_t *count);
[[nodiscard]] int Ole_streamReadUstr(OleStream *stream, char16_t *buffer, uint32_t maxItems,
                                     uint32_t *count);
