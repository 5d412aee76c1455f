// Zip archives: the central directory, the name index and member reading.
//
// An archive is read over any stream that can seek (a file, a memory block,
// or a member of another archive). Opening it finds the end record in the
// last bytes of the file, walks the central directory once, remembers
// where each entry's header lies and indexes the decoded names by hash;
// entry details are read again from the directory whenever they are
// asked for, so an open archive holds little memory. Members are stored
// or deflated; they are read through a 2048-byte input buffer and the
// engine's inflate streams (core/stream/inflate.h). Every read of the
// underlying stream is a positioned read under the archive's lock, so
// several members of one archive can be read by turns.
//
// Only the low 16 bits of the entry count are used, and the zip64
// extensions are not read: archives of more than 65535 entries or 4 GiB
// are not supported.
//
// Results: 0; 1 out of memory; Res_zipBad for a file that is not
// a zip archive or is damaged, and for a member that cannot be read (a
// compression method other than stored or deflated, or an encrypted one);
// Res_zipNoEntry for a name that is not in the archive; the
// stream layer's errors as they come.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct InflateStream;
struct VfsHandle;

// Figures of the format and of the reader.
enum : uint32_t {
    Zip_endRecordSize = 22,
    Zip_centralHeaderSize = 46,
    Zip_localHeaderSize = 30,
    Zip_minFileSize = 98,        // an end record, one central and one local header
    Zip_tailSearch = 65535 + 22, // the longest comment and the end record before it
    Zip_inputBufferSize = 2048,  // input buffer of a deflated member
    Zip_readPiece = 4096,        // the largest piece of one positioned read step
    Zip_methodStored = 0,
    Zip_methodDeflated = 8,
    Zip_hostNtfs = 11,    // host system byte whose names follow the configured set
    Zip_noIndex = 0xFFFF, // end of a hash chain, empty bucket
};

// The name hash index: a chain through the entry numbers for each bucket.
struct ZipNameIndex {
    uint16_t bucketCount; // entry count / 2, at least 1
    uint16_t entryCount;
    uint16_t *heads; // first entry of each bucket, Zip_noIndex when empty
    uint16_t *links; // next entry of the same bucket, Zip_noIndex at the end
};

// One open archive. The stream stays the caller's: the archive reads it
// but never closes it.
struct ZipArchive {
    VfsHandle *stream;
    Lock lock; // held around every positioned read
    uint16_t entryCount;
    int64_t baseAdjust; // bytes in front of the archive proper (a stub)
    uint64_t dirStart;  // central directory start as found in the file
    uint64_t endRecord; // position of the end record
    uint64_t fileSize;
    uint64_t *headerOffsets; // file position of each entry's central header
    ZipNameIndex index;
    EngineContext *ctx;
    uint32_t nameCharset; // the configured character set of names
};

// What a lookup or a listing gives about one entry. The name is owned by
// the record (Zip_infoClear frees it).
struct ZipMemberInfo {
    char16_t *name;
    uint16_t index;    // entry number
    uint32_t size;     // uncompressed size
    int64_t time;      // modification time, seconds since 1970
    uint8_t deflated;  // compression method 8
    uint8_t encrypted; // flag bit 0
    uint16_t method;   // the compression method as recorded
    uint32_t compressedSize;
    uint64_t localHeader; // file position of the local header
};

// An archive with a listing cursor.
struct ZipHandle {
    ZipArchive *archive;
    ZipMemberInfo info; // the entry Zip_next gave last
    uint16_t next;
    uint16_t count;
};

// An open member.
struct ZipMember {
    ZipArchive *archive;
    ZipMemberInfo info;
    uint64_t dataStart;     // file position of the member's data
    uint64_t position;      // file position of the next compressed byte
    uint64_t produced;      // uncompressed bytes handed out since the start
    InflateStream *inflate; // deflated members only
    uint8_t *input;         // Zip_inputBufferSize bytes, deflated members only
    size_t inputFilled;     // bytes in the input buffer
    size_t inputLeft;       // of which not yet decoded
    int ended;              // the deflate stream reported its end
};

// ------------------------------------------------------------- archives

// *archive = the archive read from stream (which must be able to seek and
// tell its size): the name character set from the setting
// "DefaultCharacterSet" of section "Core", the end record, the central
// directory and the name index. 0; 1; 17408; the stream's errors. *archive
// is null on failure.
[[nodiscard]] int Zip_archiveOpen(EngineContext *context, VfsHandle *stream, ZipArchive **archive);
// Frees the archive (null allowed); the stream is left open.
void Zip_archiveClose(ZipArchive *archive);

// Fills *info for entry index from its central header: the previous name
// the record held is freed first. 0; 1; Res_zipBad for an index at or beyond
// the count or a damaged header (the record is then cleared).
[[nodiscard]] int Zip_entryInfo(ZipArchive *archive, ZipMemberInfo *info, uint32_t index);
// As Zip_entryInfo for the entry whose name equals name exactly (through
// the name index). 17409 when there is none.
[[nodiscard]] int Zip_findEntry(ZipArchive *archive, ZipMemberInfo *info, const char16_t *name);
// Frees the name and clears the record (null allowed).
void Zip_infoClear(ZipMemberInfo *info);

// Copies n bytes at the file position into buffer, under the archive's
// lock, through the stream's read buffers. 0; Res_zipBad when fewer bytes came
// (a position outside the file included); the stream's errors.
[[nodiscard]] int Zip_readAt(ZipArchive *archive, uint64_t position, void *buffer, size_t n);

// -------------------------------------------------------------- handles

// *handle = a handle over the archive read from stream (Zip_archiveOpen's
// results). *handle is null on failure.
[[nodiscard]] int Zip_open(EngineContext *context, VfsHandle *stream, ZipHandle **handle);
// Closes the archive and frees the handle (null allowed).
void Zip_close(ZipHandle *handle);
// *info = the next entry (lent: valid until the next call on the handle),
// or null after the last. 0; 1; 17408.
[[nodiscard]] int Zip_next(ZipHandle *handle, const ZipMemberInfo **info);
// Starts the listing over.
void Zip_rewind(ZipHandle *handle);
// The handle's archive (lent).
ZipArchive *Zip_getArchive(ZipHandle *handle);

// -------------------------------------------------------------- members

// *member = the member named name, positioned at its start. 0; 1; 17409;
// 17408 for a damaged local header, an encrypted member or a compression
// method other than stored and deflated. *member is null on failure.
[[nodiscard]] int Zip_memberOpen(ZipHandle *handle, const char16_t *name, ZipMember **member);
// As Zip_memberOpen on an archive and a found entry (info is copied).
[[nodiscard]] int Zip_memberOpenInfo(ZipArchive *archive, const ZipMemberInfo *info,
                                     ZipMember **member);
// Reads up to n uncompressed bytes into buffer: *got is the count, less
// than n only at the member's end (0 there). 0; 1; Res_zipBad when the file or
// the deflate data end before the member does, or the data are corrupt.
[[nodiscard]] int Zip_memberRead(ZipMember *member, void *buffer, size_t n, size_t *got);
// Back to the member's start. 0 or the inflate stream's reset error.
[[nodiscard]] int Zip_memberRewind(ZipMember *member);
// The uncompressed size and the modification time.
uint32_t Zip_memberSize(const ZipMember *member);
int64_t Zip_memberTime(const ZipMember *member);
// Frees the member (null allowed).
void Zip_memberClose(ZipMember *member);
