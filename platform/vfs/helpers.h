// Stream helpers and small platform records.
//
// Convenience operations that most readers use instead of the raw
// lent-buffer protocol of platform/vfs/vfs.h: copy-out reads, seeks with a
// "whence", size and seekability queries, and a reader for one small table
// file format. Beside them: the engine's non-local jump pair and the start
// and end steps of a module without state.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;

// ------------------------------------------------------------ streams

// Opens url for reading with mode 0x31 (read, seekable, read-ahead). 0 with
// *handle (the caller closes it); 3606 when the stream is not readable
// (it is closed again; a close error is returned instead); Vfs_open's
// errors. *handle is null on failure.
[[nodiscard]] int Vfs_openForReading(EngineContext *context, VfsHandle **handle, const Url *url);
// Closes the stream kept in *holder (null allowed) and clears it; the
// close's result.
[[nodiscard]] int Vfs_closeHolder(VfsHandle **holder);
// Copies up to min(n, 4096) bytes from the stream into buffer; *got is the
// count copied. 3605 when fewer than min(n, 4096) came (the end of the
// data); the stream's errors. A caller that wants more calls it again.
[[nodiscard]] int Vfs_readBytes(VfsHandle *handle, void *buffer, size_t n, size_t *got);
// Seeks to the signed 64-bit offset: whence 0 from the start, 1 from the
// current position, 2 from the end (the size, info code 0). The position is
// read back: Res_vfsSeekMissed when it differs from the target. 8 for another
// whence; the stream's errors (Res_fileSeek for a negative target).
[[nodiscard]] int Vfs_seekFrom(VfsHandle *handle, int64_t offset, int whence);
// *flag = 1 when the mode word has the seekable bit. 0, Res_missingArgument
// without a handle.
int Vfs_isSeekable(VfsHandle *handle, int *flag);
// *size = the 64-bit size (info code 0). 0 or the stream's error.
[[nodiscard]] int Vfs_getSize(VfsHandle *handle, uint64_t *size);

// Reads a table file: big-endian words, offset 0 and 4 two words that are
// skipped, 8 the count N, 12 N values. 0 with *count and values[0..N-1]; 773
// when N exceeds capacity (nothing is stored); Res_vfsShortRead when the file
// is shorter than its count says; the open's error. *count is 0 on failure. The
// stream is closed in every case.
[[nodiscard]] int File_readIndexTable(EngineContext *context, const Url *url, uint32_t *count,
                                      uint32_t *values, uint32_t capacity);

// ---------------------------------------------------- non-local jumps

// A jump buffer of the engine's own.
typedef jmp_buf JmpBuf;
// Saves the registers in buffer and answers 0; answers again, with the
// value given to Jmp_long, when a jump comes back to it. A macro because
// the saving call must be made in the caller's own frame.
#define Jmp_set(buffer) setjmp(buffer)
// Returns from the Jmp_set of buffer again, with value (1 when value is
// 0). The frame that called Jmp_set must still be live.
[[noreturn]] void Jmp_long(JmpBuf buffer, int value);

// ------------------------------------------------- start and end steps

// The start and end steps of a module without state: 0 / nothing.
int Module_startNoop();
void Module_endNoop();
