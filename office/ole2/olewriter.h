// The compound-file writer: builds a new OLE2 compound file on a seekable
// output stream.
//
// The writer is an OleHandle (office/ole2/ole.h) whose sector file has its
// writer flag set. Storages and streams are created in memory as directory
// entries (newest first in the handle's list); stream data goes out as it
// is written, except that a stream is held in a 4096-byte buffer of its
// own while it is smaller than the cut-off. OleWriter_flush then lays down
// the mini stream (the root entry's data) with its mini FAT, the directory
// with each storage's children as a red-black tree, the DIFAT, the FAT and
// the header. The file is version 3, minor version 0x3B, with 512-byte
// sectors, 64-byte mini sectors and a cut-off of 4096.
//
// Sectors are numbered in order of allocation: the first allocation makes
// sector 0 a FAT sector, and every 128 sectors (the entries one FAT sector
// describes) another FAT sector comes first, so each FAT sector lies in the
// range it describes.
#pragma once

#include <cstdint>

struct EngineContext;
struct OleHandle;
struct OleStream;
struct Url;

// The writer's fixed geometry.
enum : uint32_t {
    OleWriter_sectorSize = 512,
    OleWriter_miniSectorSize = 64,
    OleWriter_cutoff = 4096,
    OleWriter_minorVersion = 0x3B,
};

// Opens url with access mode 0x14 (write, random access) and sets up a
// writer with the root entry "Root Entry" (type 5, id 0). flags is kept
// for the callers' options; none is defined. 0 with *handle (finished with
// OleWriter_flush, then closed with Ole_closeFile); 3606 when the stream
// does not grant both write and random access (or the close's error); the
// open's errors; 1. On failure *handle is null and nothing stays open.
[[nodiscard]] int OleWriter_create(EngineContext *context, const Url *url, OleHandle **handle,
                                   uint32_t flags);
// A storage (type 1) under parent with a 16-byte class id (null: zero);
// *id its entry id. 0 or 1.
[[nodiscard]] int OleWriter_addStorage(OleHandle *handle, uint32_t parent, const char16_t *name,
                                       const uint8_t *clsid, uint32_t *id);
// A stream (type 2) under parent; *id its entry id. Opened for writing with
// Ole_streamOpen. 0 or 1.
[[nodiscard]] int OleWriter_addStream(OleHandle *handle, uint32_t parent, const char16_t *name,
                                      uint32_t *id);
// Writes n bytes at the stream's position and advances it; the size grows
// to the position. 0, 1, or the output stream's errors.
[[nodiscard]] int OleWriter_streamWrite(OleStream *stream, const void *data, uint32_t n);
// Moves as Ole_streamSeek (whence 0, 1, 2); a position beyond the size is
// reached by writing zero bytes from the end up to it. 0, 1, Res_nullInput for
// another whence, or the write's errors.
[[nodiscard]] int OleWriter_streamSeek(OleStream *stream, uint32_t offset, int whence);
// Writes the mini stream, the mini FAT, the directory, the DIFAT, the FAT
// and the header. A null handle, or one that is not a writer, is 0 and
// nothing is done. 0, 1, or the output stream's errors (the file is then
// not usable).
[[nodiscard]] int OleWriter_flush(OleHandle *handle);
// Copies the children of source's storage sourceId under outParent of the
// writer: storages are made again with their names and class ids and
// their children copied, streams are copied whole. Streams directly under
// the root whose names are in skip (a null-terminated list, may be null)
// are left out. 0, 1, or the reader's and writer's errors.
[[nodiscard]] int OleWriter_copyStorage(OleHandle *source, uint32_t sourceId, OleHandle *out,
                                        uint32_t outParent, const char16_t *const *skip);
// The order of names in a storage: the shorter name first; names of equal
// length character by character, characters up to U+017F upper-cased.
// -1, 0 or 1.
int OleWriter_nameCompare(const char16_t *a, const char16_t *b);

// Finds the first directory entry with the id in the entry list of a
// compound-file writer and stores its first word,
// the entry id, in *word (cleared first): 0, or Res_oleNoSuchEntry
// when no entry has the id.
int OleWriter_findEntry(const OleHandle *writer, uint32_t id, uintptr_t *word);

// Stores the low 16 or all 32 bits little-endian, or big-endian when
// bigEndian is set.
void ByteBuf_put16Order(uint8_t *buffer, uint32_t value, uint32_t bigEndian);
void ByteBuf_put32Order(uint8_t *buffer, uint32_t value, uint32_t bigEndian);
