// The compound-file reader: sector file, directory and streams of an OLE2
// compound file.
//
// A compound file is opened in two steps: the document model's probe
// (document/types/oleprobe.h) validates the 512-byte header and hands its
// values to Ole_fileOpen, which builds the sector file; the directory is
// then read into memory, and named streams are opened and read from it.
// Only the services that the probe and the Word recogniser call exist so
// far (office/ole2/ole.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

struct VfsHandle;
struct OleFile;
struct OleDirectory;
struct OleStream;

// An open compound file as its users hold it.
struct OleHandle {
    VfsHandle *stream;          // the source stream
    uint32_t ownsStream;        // 1 when the handle opened the stream and closes it
    uint16_t minorVersion;
    uint16_t majorVersion;
    uint32_t byteSwapped;       // 1 for a big-endian file
    OleDirectory *directory;    // filled by Ole_readDirectory
    OleFile *file;              // the sector file, filled by Ole_fileOpen
    OleStream *openStreams;     // streams opened on the handle, newest first
};

// Special sector ids.
enum : uint32_t {
    Ole_sectorEndOfChain = 0xFFFFFFFE,
    Ole_sectorFree = 0xFFFFFFFF,
};


// A new handle with every word cleared, or null when memory runs out.
OleHandle *Ole_allocFile();
// Frees the directory, every open stream and the sector file, closes the
// stream when the handle owns it, frees the handle and clears *handle.
// Null (or a null handle) is ignored.
void Ole_closeFile(OleHandle **handle);

// Builds the sector file from the header values: cutoff (mini-stream
// cut-off size), sector and mini-sector sizes, headerDifat (the header's
// 436 bytes of DIFAT entries, in the file's byte order), the FAT sector
// count, the base offset (512), the first directory, mini-FAT and DIFAT
// sectors, the DIFAT sector count and the byte-swapped flag. The stream
// stays the caller's. 0 with *file, or the error with *file null.
[[nodiscard]] int Ole_fileOpen(OleFile **file, VfsHandle *stream, uint32_t cutoff, uint32_t sectorSize,
                               uint32_t miniSectorSize, const uint8_t *headerDifat, uint32_t fatSectorCount,
                               uint32_t baseOffset, uint32_t firstDirSector, uint32_t firstMiniFatSector,
                               uint32_t firstDifatSector, uint32_t difatSectorCount, uint32_t byteSwap);
// Reads the directory stream's sectors into memory. 0 with *directory;
// 3584 for a broken chain; 1 when memory runs out.
[[nodiscard]] int Ole_readDirectory(OleDirectory **directory, OleFile *file);
// Lets the sector file and the directory finish their set-up once both
// exist (the mini stream's start comes from the root entry). 0 or an error.
[[nodiscard]] int Ole_finishOpen(OleHandle *handle);

// Opens the stream named name (exact comparison) among the children of the
// entry parentId (0: the root's children) at position 0. 0 with *stream
// (closed with Ole_streamClose or with the handle); 3586 when there is no
// such entry; 1 when memory runs out.
[[nodiscard]] int Ole_streamOpenByName(OleHandle *handle, OleStream **stream, uint32_t parentId,
                                       const char16_t *name);
// Reads up to n bytes at offset into buffer; *got is the count read. The
// short-read code 3594 when fewer than n bytes exist there; sector errors.
[[nodiscard]] int Ole_streamReadAt(OleStream *stream, uint64_t offset, size_t n, size_t *got, void *buffer);
// The stream's size in bytes.
uint64_t Ole_streamSize(const OleStream *stream);
// Unlinks and frees the stream and clears *stream. Null is 0.
int Ole_streamClose(OleStream **stream);
