// Members of zip archives as streams.
//
// The Zvfs stream type (row 2 of the stream type table, platform/vfs/vfs.h)
// reads a member of a zip archive named by a URL, or lists a folder of an
// archive. Its open is also the first probe of every Vfs_open for a URL
// without a handler object: the URL's path is cut at the last ".zip"
// (ignoring case) that is followed by "/" (or, when listing, that ends the
// path). The part before is the archive, opened through Vfs_open itself,
// so an archive inside an archive works; the part after is the member's
// name (its percent escapes decoded for file URLs, as the file driver does
// with paths). A URL without such a ".zip", or whose archive file does not
// exist, is left to the other types.
//
// Reading lends a buffer of at least 4096 bytes holding the member's next
// bytes. Seeking within the buffered bytes is free; seeking back inflates
// the member again from its start. The mode word of a zip stream has
// 0x30000000 added (0x20000000 makes byte streams copy it rather than seek
// it), and 0x8000000 for a listing of an archive's top level.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;
struct VfsTypeOps;

// Marks of a zip stream's mode word.
enum : uint32_t {
    ZipVfs_modeMarks = 0x30000000,
    ZipVfs_modeTopLevel = 0x8000000,
    ZipVfs_maxSeek = 0x7FFFFFFF,
    ZipVfs_maxNesting = 8, // archives inside archives one URL may go through
};

// The Zvfs row: slots 3, 4, 5, 6, 10, 11, 12 and 13.
extern const VfsTypeOps VfsZipOps;

// Slot 3: opens the archive member (modes with bit 1) or folder (bit 8)
// that the URL names, setting handle->type to 2 and *accepted. Leaves the
// handle alone and answers 0 for modes with bit 2 or 4, for a URL that
// names no archive member, and when the archive file cannot be opened
// (780). Errors: 1; 17408 a damaged archive, a member it cannot read, or
// more than ZipVfs_maxNesting archives in one path; 17409 no such member;
// 799 a listed folder that no entry lies in; the archive's open errors.
[[nodiscard]] int ZipVfs_open(EngineContext *context, VfsHandle *handle, const Url *url,
                              uint32_t mode, uint32_t *accepted);
// Slot 4: closes the member, the archive and its stream; Res_vfsBufferLent when
// a buffer was still lent (closed all the same).
int ZipVfs_close(VfsHandle *handle);
// Slot 5: lends the member's next bytes (at least want, fewer only at the
// member's end). 776 while lent; 17408 a damaged member.
[[nodiscard]] int ZipVfs_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr,
                                    size_t *len);
// Slot 6: n bytes of the loan were used. 777 without a loan.
int ZipVfs_readDone(VfsHandle *handle, size_t n);
// Slot 10: the next name of the listed folder (lent until the next call;
// a subfolder once, without its "/"), null at the end.
int ZipVfs_readDir(VfsHandle *handle, const char16_t **name);
// Slot 11: the position. 776 while lent.
[[nodiscard]] int ZipVfs_tell(VfsHandle *handle, uint64_t *position);
// Slot 12: moves to a position of the member. 776 while lent; 788 beyond
// the member's size or above 0x7FFFFFFF, or when the member ends early.
[[nodiscard]] int ZipVfs_seek(VfsHandle *handle, uint64_t position);
// Slot 13: code 0 the 64-bit size, 1 the MIME type of the member's name
// (constant text), 4 the modification time in seconds since 1970; 771
// for any other code.
int ZipVfs_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value);
