// Byte streams over virtual streams.
//
// Parsers that read byte by byte (PDF, image decoders, compound files)
// take a ByteStream (core/stream/bytestream.h). This module makes one over
// an open virtual stream in one of two ways:
// - the lending variant walks through the stream's own lent buffers
//   without copying; it seeks by seeking the stream;
// - the copying variant gathers the data into one growing buffer, so that
//   a parser can seek freely over a stream that cannot seek itself.
// Positions and lengths are 64-bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/stream/bytestream.h"

struct VfsHandle;

// Mode bits that decide the variant: a stream whose mode word masked with
// this is exactly Vfs_modeSeekable seeks well enough to be lent.
enum : uint32_t {
    VfsByteStream_modeNoLend = 0x20000000,
    VfsByteStream_lendMask = 0x20000010,
};

struct VfsByteStream {
    ByteStream base;
    uint64_t consumed;   // lending: stream bytes handed back before the current buffer
    VfsHandle *handle;   // the virtual stream
    size_t capacity;     // copying: the buffer's size
    size_t fill;         // copying: bytes in the buffer
    uint8_t *buffer;     // copying: the owned buffer; lending: the lent buffer or null
    uint32_t ownsHandle; // 1: the virtual stream is closed with the byte stream
};

// *stream = a byte stream over the open handle; its length is the stream's
// size (info code 0; 0 when it has none). With wantCopy the copying variant
// is made, unless the stream's mode word masked with 0x20000010 is exactly
// 0x10 (seekable); otherwise the lending variant. A copying stream of
// unknown length reads the whole stream at once and takes the amount read
// as its length. With ownHandle the handle closes with the byte stream.
// 0; 1 out of memory; the mode query's errors. A read error while copying
// does not fail the creation: it becomes the stream's status. On failure
// *stream is null and the handle stays the caller's.
[[nodiscard]] int VfsByteStream_create(VfsHandle *handle, ByteStream **stream, int wantCopy,
                                       int ownHandle);

// The control operations both variants share: 8 sets the stream's info
// code 3 to 0 (15106 when the stream cannot), 9 the memory-backed bit of
// the mode word (0 or 1), 10 the 64-bit length from info code 0 (kept in
// the record when non-zero), 11 a new copy of the stream's URL (null for a
// stream without one), 12 the MIME type id of the stream's MIME type (0
// when none); 15106 for any other operation.
[[nodiscard]] int VfsByteStream_control(ByteStream *stream, uint32_t op, void *arg);

// Seeks an open virtual stream to a 64-bit position: the one place where
// the byte streams and the buffered reader reach Vfs_seek.
[[nodiscard]] int VfsByteStream_seekHandle(VfsHandle *handle, uint64_t position);
