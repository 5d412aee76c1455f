// The LZW decode filter: a byte stream over another that yields the
// LZW-decoded bytes.
//
// Codes are 9 to 12 bits wide, most significant bit first; 256 clears the
// table and 257 ends the data. The width grows by one bit when the next
// free code passes (2^width) - 1 - earlyChange: with early change 1 (PDF's
// default) one code sooner than with 0 (TIFF-style). The filter decodes
// 1024 bytes per refill into its own buffer, which readers then take
// through the ordinary byte-stream operations. It cannot seek; control
// requests go to the source.
//
// Corrupt data (a code beyond the next free code, or a code while the
// table is full and no clear code came) ends the stream with the status
// 0x3B03; a failing source ends it with the source's status. The bytes
// decoded before either stay readable, and every refill after the end
// answers the end again.
#pragma once

#include <cstdint>

#include "core/stream/bytestream.h"

enum : uint32_t {
    Lzw_outputSize = 1024, // bytes decoded per refill
    Lzw_tableSize = 4096,  // codes of 12 bits at most
    Lzw_clearCode = 256,
    Lzw_endCode = 257,
    Lzw_firstFree = 258,
};

struct LzwStream {
    ByteStream base;               // refill, close and control are the filter's; no seek
    ByteStream *source;            // read, never closed by the filter
    int32_t ended;                 // the end code came, the source ended, or the data was corrupt
    int32_t earlyChange;           // 0 or 1
    uint32_t threshold;            // the width grows when the next free code passes it
    uint32_t nextCode;             // the next free code
    uint32_t stackCount;           // bytes on the output stack
    uint32_t firstByte;            // the first byte of the current string
    uint32_t code;                 // the code being expanded
    int32_t previousCode;          // the code before it; -1 at the start and after a clear code
    uint32_t bits;                 // bit accumulator, filled from the top
    uint32_t freeBits;             // bits of the accumulator not holding data (32 when empty)
    uint32_t width;                // the code width: 9 to 12
    uint32_t table[Lzw_tableSize]; // (prefix code << 20) | last byte; 0-255 the single bytes
    uint8_t stack[Lzw_tableSize];  // a string expanded backwards, popped from the top
    uint8_t output[Lzw_outputSize];
};

// *outStream = a new filter over source with early change 0 or 1 (any
// non-zero value is 1). 0; 1 when memory runs out (*outStream null).
[[nodiscard]] int Lzw_create(ByteStream *source, ByteStream **outStream, int32_t earlyChange);
