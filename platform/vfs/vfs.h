// Virtual streams: the stream handle opened on a URL and its dispatch.
//
// Only the services that modules built before the virtual streams call are
// declared here so far; the stream module defines the handle.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;

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
