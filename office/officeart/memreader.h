// The in-memory record reader: the flavour of the OfficeArt record source
// that reads from a block already in memory (the OfficeArt, presentation
// and shape code read their records either from a compound-file stream or
// from such a block). The reader does not own the bytes.
#pragma once

#include <cstdint>

struct MemReader {
    const uint8_t *base; // the first byte
    uint32_t pos;        // the position, bytes from base
    uint32_t size;       // the block's byte count
};

// Seek origins.
enum : uint32_t {
    MemReader_fromStart = 0,
    MemReader_fromCurrent = 1,
    MemReader_toEnd = 2,
};

// Reads size bytes at base, from position 0.
void MemReader_init(MemReader *reader, const uint8_t *base, uint32_t size);
// The position.
uint32_t MemReader_tell(const MemReader *reader);
// Moves to offset (origin 0), to the position plus offset (origin 1, the
// sum taken modulo 2^32, so a negative offset moves back) or to the end
// (origin 2; offset not used). 0; 14848 when the new position is beyond the
// size (the position is unchanged). Any other origin stops the engine.
[[nodiscard]] int MemReader_seek(MemReader *reader, int32_t offset, uint32_t origin);
// Copies n bytes from the position into dst and advances past them. 0;
// 14848 when fewer than n bytes are left (nothing is copied).
[[nodiscard]] int MemReader_read(MemReader *reader, void *dst, uint32_t n);
