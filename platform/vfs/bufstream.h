// The buffered reader.
//
// Binary-file parsers (fonts above all, also image, office and PDF
// readers) read a byte range of a file (a window: offset and length) with
// cheap small reads: bytes, 16-bit and 32-bit integers in the file's byte
// order, byte runs and forward skips. The reader borrows buffers from the
// stream layer (platform/vfs/vfs.h) instead of copying.
//
// A reader made over a URL opens its file lazily, when a window is set,
// and may close it between windows (BufStream_closeFile); a reader made
// over a stream that its caller opened keeps that stream. A file whose URL
// ends in "/" and a name on the context's in-memory list (installed by the
// font engine) is read whole into memory when it is first opened and served from memory after that.
//
// Windows and positions are 32-bit like the files these parsers read; the
// arithmetic on them is done in 64 bits, so no sum wraps past a check.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;

// Byte orders: 23 reads integers little-endian, any other value (callers
// use 24) big-endian.
enum : uint32_t {
    BufStream_littleEndian = 23,
    BufStream_bigEndian = 24,
};

// States of the in-memory copy.
enum : uint32_t {
    BufStream_memoryNo = 0,      // the file is not on the list
    BufStream_memoryAllowed = 1, // not looked up yet, or copying failed
    BufStream_memoryDone = 2,    // the copy is made
};

struct BufStream {
    Url *url;            // owned copy of the source's URL, or null for a given stream
    uint32_t isOpen;     // 1 while source is open
    VfsHandle *source;   // the stream read
    uint32_t byteOrder;  // 23 little-endian, else big-endian
    uint32_t sourceSize; // the source's size in bytes (capped at 2^32 - 1)
    uint32_t windowStart;
    uint32_t windowLength; // 0: no window
    uint32_t position;     // counted from windowStart
    const uint8_t *block;  // the buffer lent by the stream now
    size_t blockIndex;     // the next unread byte of block
    size_t blockFill;      // bytes lent in block; 0: nothing lent
    uint32_t memoryState;  // BufStream_memory*
    uint8_t *memoryCopy;   // owned copy of the whole source, or null
    size_t memoryLength;   // bytes in memoryCopy
};

// *reader = a new reader. With url, the file is opened for reading once to
// learn its size and closed again; without, stream (opened for reading)
// and its size are taken as they are and the reader owns the stream from
// then on. 0; 1 out of memory; the stream layer's errors. On failure
// *reader is null and a given stream stays the caller's.
[[nodiscard]] int BufStream_open(EngineContext *context, const Url *url, VfsHandle *stream,
                                 uint32_t size, uint32_t byteOrder, BufStream **reader);
// Flushes, closes the file, closes a given stream, frees the copy and the
// record (null allowed).
void BufStream_close(BufStream *reader);

// Opens the source when it is not open: the URL's file, or the memory copy
// when one is made; with the context's in-memory list, a listed file is
// copied into memory first. 0 or the stream layer's error.
[[nodiscard]] int BufStream_openSource(EngineContext *context, BufStream *reader);
// BufStream_openSource with a given in-memory list of count 8-bit names
// instead of the context's.
[[nodiscard]] int BufStream_openSourceListed(EngineContext *context, BufStream *reader,
                                             const char *const *names, uint32_t count);

// Sets the window to length bytes from offset (opening the source when needed);
// position 0. 0; Res_bufWindowBeyond when the window passes the source's end;
// the stream layer's errors. Every failure closes the file.
[[nodiscard]] int BufStream_setRange(EngineContext *context, BufStream *reader, uint32_t offset,
                                     uint32_t length);
// Changes the window's length. 0; Res_bufWindowBeyond when it would pass the
// source's end.
[[nodiscard]] int BufStream_setLimit(BufStream *reader, uint32_t length);
// Gives the lent buffer back and ends the window: reads fail with 2313
// until the next BufStream_setRange. 0 or the stream's error (null: 0).
[[nodiscard]] int BufStream_flush(BufStream *reader);
// Skips count bytes of the window. 0; 2311 past the window's end; the
// stream's errors.
[[nodiscard]] int BufStream_skip(BufStream *reader, size_t count);

// Each reads its value in the reader's byte order and moves the position
// on. 0, or an error of BufStream_ensure (*value 0, nothing moved).
[[nodiscard]] int BufStream_readU8(uint8_t *value, BufStream *reader);
[[nodiscard]] int BufStream_readU16(uint16_t *value, BufStream *reader);
[[nodiscard]] int BufStream_readU32(uint32_t *value, BufStream *reader);
// Copies count bytes to destination. 0, or the first error of
// BufStream_ensure; the bytes copied before it stay copied and counted in
// the position.
[[nodiscard]] int BufStream_read(BufStream *reader, void *destination, size_t count);
// Makes count bytes readable at block + blockIndex, borrowing at least 512
// bytes when the lent buffer lacks them. 0; 2313 fewer than count bytes
// left in the window; 2319 the stream lent fewer than count bytes even
// when asked again; the stream's errors.
[[nodiscard]] int BufStream_ensure(BufStream *reader, size_t count);

// Closes the file of a URL reader (the window ends); a given stream stays
// open. The handle is gone afterwards whatever the result: 0 or the
// close's error (null: 0).
[[nodiscard]] int BufStream_closeFile(BufStream *reader);
// Gives the lent buffer back with blockIndex bytes used. 0 or the
// stream's error.
[[nodiscard]] int BufStream_releaseBlock(BufStream *reader);

uint32_t BufStream_getStart(const BufStream *reader);
uint32_t BufStream_tell(const BufStream *reader);
uint32_t BufStream_getLimit(const BufStream *reader);
