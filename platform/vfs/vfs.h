// Virtual streams: the stream handle and the services of the stream layer
// that the file driver uses.
//
// All engine reading and writing goes through a stream handle opened on a
// URL, whose operations dispatch through a table of stream types; readers
// borrow buffers from the stream (the lent-buffer protocol). The file
// driver (platform/url/file.h) fills the File row of that table. Only what
// the file driver needs is declared here so far; platform/interim.cpp
// holds interim definitions of the services that are not built yet.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;

// Bits of a handle's mode word.
enum : uint32_t {
    Vfs_modeRead = 0x1,         // readable
    Vfs_modeAppend = 0x2,       // writable at the end
    Vfs_modeWrite = 0x4,        // writable from the start
    Vfs_modeList = 0x8,         // a directory listing
    Vfs_modeSeekable = 0x10,
    Vfs_modeReadAhead = 0x20,
    Vfs_modeLent = 0x10000,     // a buffer is lent right now
};

// Rows of the stream type table.
enum : uint32_t {
    VfsType_about = 0,
    VfsType_file = 1,
    VfsType_zvfs = 2,
    VfsType_mem = 3,
    VfsType_mime = 4,
    VfsType_cache = 5,
    VfsType_none = 6,
};

// One open stream.
struct VfsHandle {
    void *priv;                 // the type's own record (File: FileStream)
    Url *url;                   // owned copy, or null for a memory stream
    const char16_t *mime;       // MIME type: "application/octet-stream" at creation
    uint32_t type;              // row of the stream type table, VfsType_none for none
    uint32_t mode;              // the access mode the type accepted, plus Vfs_modeLent
    uint32_t mimeId;            // 0 until derived; an id of the extension table
    EngineContext *ctx;
    uint32_t hookCookie;        // non-zero while the host stream hooks watch the stream
};

// The MIME type and its id, derived once from the handle's URL path by the
// extension table and cached in the handle (mime, mimeId); *mime is
// constant text. 0, or 1 when the path cannot be read.
[[nodiscard]] int Vfs_fileMimeInfo(VfsHandle *handle, const char16_t **mime, uint32_t *id);

// Information codes of Vfs_getInfo, and its "not available" answers.
enum : uint32_t {
    VfsInfo_size = 0,       // value: uint64_t
    VfsInfo_mime = 1,       // value: char16_t * (lent)
    VfsInfo_word4 = 4,      // value: int32_t
    VfsInfo_code7 = 7,      // value: uint32_t
    VfsInfo_code8 = 8,      // value: VfsInfo8
    Vfs_infoUnavailable = 769,
    Vfs_infoUnknown = 771,
};

// What information code 8 answers: four strings (lent) and two words.
struct VfsInfo8 {
    const char16_t *strings[4];
    uint32_t words[2];
};

// Reads information code of the stream into *value. 0, or 769/771 when the
// stream does not have it, or another error.
int Vfs_getInfo(VfsHandle *handle, uint32_t code, void *value);
// Closes the stream (null allowed). 0 or the close error.
int Vfs_close(VfsHandle *handle);
// The stream's URL (lent) into *url.
int Vfs_getUrl(VfsHandle *handle, Url **url);
// The flag word of the stream-type row chosen for the URL; 0 when none.
uint32_t Vfs_getTypeFlags(EngineContext *context, const Url *url);
// The MIME table's id of a MIME type of length units; 36 when unknown.
uint32_t Mime_typeFromString(const char16_t *text, size_t length);
