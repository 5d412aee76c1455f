// Memory streams: a block of memory read as a stream, without copying.
//
// The Mem stream type (row 3 of the stream type table, platform/vfs/vfs.h)
// lends the bytes of the block straight from memory. Several handles can
// share one block (clones): each reads on its own, and the block (with
// the data, when the stream owns them) is freed when the last handle
// closes. Only the use count is shared state, guarded by an engine lock,
// so clones may be closed from different engine tasks. The MIME type
// (row 4) uses the same close, read, tell, seek and info operations on
// the bytes of its parts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct VfsHandle;
struct VfsTypeOps;

// The block shared by a family of clones.
struct MemFileShared {
    const uint8_t *data;
    size_t length;
    uint64_t size;     // the length as 64 bits, answered by info code 0
    char16_t *mime;    // owned, null at first: info code 1
    char16_t *string2; // owned, null at first: info code 2
    uint32_t ownsData; // the data are an engine heap block freed with the block
    Lock lock;         // guards the use count
    uint32_t useCount; // handles on the block; 1 at open
};

// A handle's own record (VfsHandle::priv).
struct MemFileHandle {
    MemFileShared *shared;
    size_t position; // the read offset; may lie beyond the length
};

// The Mem row: slots 4, 5, 6, 11, 12, 13, 14 and 17.
extern const VfsTypeOps VfsMemOps;

// Makes the shared block and the handle's record on handle (which gets
// context): the accepted mode is mode | 0x40000010. 769 for mode bits outside
// 0x6007C31, 1 out of memory; on failure the data are freed when own is
// set.
[[nodiscard]] int MemFile_open(EngineContext *context, VfsHandle *handle, const uint8_t *data,
                               size_t length, int own, uint32_t mode, uint32_t *accepted);
// Slot 4: drops the handle's use of the block; the last one frees the
// data (when owned), both strings and the block. The handle's record is
// freed. 776 when a buffer was still lent (closed all the same), else 0.
[[nodiscard]] int MemFile_close(VfsHandle *handle);
// Slot 17: a record on the same block for newHandle, reading from the
// start. 1 out of memory.
[[nodiscard]] int MemFile_clone(VfsHandle *handle, VfsHandle *newHandle);
// Slot 5: lends everything from the read position to the end, whatever
// want is (0 bytes at or beyond the end). 48 when the task is asked to
// stop, 776 while lent.
[[nodiscard]] int MemFile_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr,
                                     size_t *len);
// Slot 6: the position advances by n, at most to the end. 777 when
// nothing is lent.
[[nodiscard]] int MemFile_readDone(VfsHandle *handle, size_t n);
// Slot 11: the read offset. 776 while lent.
[[nodiscard]] int MemFile_tell(VfsHandle *handle, uint64_t *position);
// Slot 12: the read offset becomes position. 788 for a position above
// 32 bits, 776 while lent.
[[nodiscard]] int MemFile_seek(VfsHandle *handle, uint64_t position);
// The lending steps of every stream whose bytes sit in memory (this type,
// the MIME parts, the built-in "about:" pages), over the stream's bytes
// data[0..length) and its read position:
// lends data from the position (at most to the end; 0 bytes at or beyond
// it) and marks the handle lent: 776 while lent;
[[nodiscard]] int MemFile_lendBytes(VfsHandle *handle, const uint8_t *data, size_t length,
                                    size_t position, const uint8_t **ptr, size_t *len);
// ends the lending, the position advancing by n at most to the end: 777
// when nothing is lent;
[[nodiscard]] int MemFile_endLending(VfsHandle *handle, size_t length, size_t *position, size_t n);
// the position into *out (0 on failure): 776 while lent.
[[nodiscard]] int MemFile_tellPosition(VfsHandle *handle, size_t position, uint64_t *out);

// Slot 13: 0 a pointer to the 64-bit size, 1 the MIME type, 2 the second
// string (both lent, null when unset); other codes 771.
int MemFile_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value);
// Slot 14: codes 1 and 2 replace the owned string by value (a heap
// string; ownership passes, the old one is freed); other codes 772.
int MemFile_setInfo(VfsHandle *handle, uint32_t code, uintptr_t value);
