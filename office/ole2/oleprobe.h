// The compound-file probe: the shared first step of the Word, Excel and
// PowerPoint handlers.
//
// Each of them recognises and opens its files by opening the stream as an
// OLE2 compound file. The probe validates the 512-byte header at the start
// of the stream, reading it byte by byte in the byte order its mark gives,
// hands the header's values to the sector file (office/ole2/ole.h), reads
// the directory and gives back a compound-file handle.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct OleHandle;
struct Url;
struct VfsHandle;

// The header's size and the values it must hold.
enum : uint32_t {
    Ole_headerSize = 512,
    Ole_majorVersion = 3,
};

// Validates the header of handle's stream (at position 0) and opens the sector
// file and the directory. 0; Res_oleNotAtStart when the stream is not at its
// start; Res_oleShortHeader when it is shorter than 512 bytes; 3592 bad
// signature, 3597 bad byte-order mark, 3593 unsupported version, 3596 a sector
// shift outside 7-16 (sectors of 128 to 65536 bytes) or a zero mini-sector
// shift, 3590 a mini-sector shift not below the sector shift (checked in that
// order); the errors of the stream, the sector file and the directory; 1 when
// memory runs out.
[[nodiscard]] int Ole_probe(OleHandle *handle);

// Opens a compound file on an open stream that stays the caller's. 0 with
// *handle (closed with Ole_close); on failure the handle is closed and the
// probe's error returned (*handle null); 1 when memory runs out.
[[nodiscard]] int Ole_openStream(VfsHandle *stream, OleHandle **handle);

// Opens the URL's stream with mode and a compound file on it; the handle
// owns the stream. Errors as Ole_openStream, or the open's.
[[nodiscard]] int Ole_openUrl(EngineContext *context, const Url *url, OleHandle **handle,
                              uint32_t mode);

// Closes the handle (and its stream when owned) and clears *handle.
void Ole_close(OleHandle **handle);

// Seeks the handle's stream to offset from its start and reads exactly n
// bytes into buffer. 3594 on a short read; the stream's errors.
[[nodiscard]] int Ole_readAt(OleHandle *handle, void *buffer, uint64_t offset, size_t n);

// Stores the low byte of value at p: the one-byte member of the
// byte-order stores.
void Ole_storeByte(uint8_t *p, uint32_t value);
