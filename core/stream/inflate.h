// Inflate streams: one thin layer over zlib's inflate.
//
// PDF FlateDecode, zip members, compressed office payloads and compressed
// HTML all inflate through here. The layer routes zlib's memory through
// the engine heap (Inflate_zalloc, Inflate_zfree) and maps zlib's results
// onto engine codes: 0x1600 zlib refused to initialise, 0x1601 corrupt or
// truncated data (any zlib error but a memory error), 0x1602 zlib refused
// to end, 0x1603 zlib refused to reset, 0x1607 a null argument to
// Inflate_wholeBuffer; 1 out of memory (zlib's memory error everywhere).
//
// zlib's "no progress possible" is no error here: it means the data so far
// are fine and more input or output space is needed.
#pragma once

#include <cstddef>
#include <cstdint>

struct InflateStream;

// Modes of InflateStream_create.
enum : uint32_t {
    Inflate_modeRaw = 1,    // raw deflate data
    Inflate_modeZlib = 2,   // zlib-wrapped data (header and checksum checked)
    Inflate_modeRawAlt = 3, // raw deflate data (Inflate_wholeBuffer's mode)
};

// zlib's allocation functions: items x size bytes from the engine heap
// (null when the product overflows or memory runs out), and the free.
void *Inflate_zalloc(void *opaque, unsigned items, unsigned size);
void Inflate_zfree(void *opaque, void *address);

// Inflates the whole zlib-wrapped stream at input into exactly the output
// buffer (the caller knows the inflated size). 0 when the stream ended
// within capacity bytes; 1; 0x1601 otherwise (too little room, truncated
// or corrupt data). The number of bytes produced is not reported.
[[nodiscard]] int Inflate_buffer(const uint8_t *input, size_t inputLength, uint8_t *output,
                                 size_t capacity);

// *stream = a new inflate state for mode 1 or 3 (raw) or 2 (zlib-wrapped).
// 0; 1; 0x1600 (also for another mode). *stream is null on failure.
[[nodiscard]] int InflateStream_create(InflateStream **stream, uint32_t mode);
[[nodiscard]] int InflateStream_createZlib(InflateStream **stream); // mode 2
[[nodiscard]] int InflateStream_createRaw(InflateStream **stream);  // mode 1

// Inflates from the input window (input, *inputCount bytes) into the output
// window (output, *outputSpace bytes), flushing what it can. Afterwards
// *inputCount and *outputSpace hold what was left unused. The stream's end:
// *done 1 and 0. More input or space needed: *done 0 and 0 (an empty
// input window included). Out of memory: *done 1 and 1. Corrupt data:
// *done 1 and 0x1601. A null stream: *done 1 and 8.
[[nodiscard]] int InflateStream_decode(const uint8_t *input, size_t *inputCount, uint8_t *output,
                                       size_t *outputSpace, int *done, InflateStream *stream);
// Starts the stream over for new data. 0; 0x1603 (null: 0).
[[nodiscard]] int InflateStream_reset(InflateStream *stream);
// Frees the stream. 0; Res_inflateEnd when zlib refused to end (freed all the
// same). Null: 0. The stream is gone whatever it answers.
int InflateStream_destroy(InflateStream *stream);

// Inflates the whole raw deflate stream at input into a new buffer of the
// engine heap: *buffer (the caller frees it) and *length the bytes
// produced. The buffer starts at length + length mod 8 bytes and grows by
// half (plus that mod 8) whenever it fills. 0; 1; 0x1600; 0x1601 corrupt
// data, or the input (empty input included) ends before the stream or
// decoding stops making progress; 0x1602; 0x1607 a null argument. On
// failure *buffer is null and *length 0.
[[nodiscard]] int Inflate_wholeBuffer(const uint8_t *input, size_t inputLength, uint8_t **buffer,
                                      size_t *length);
// The buffer size Inflate_wholeBuffer uses for n bytes: n + n mod 8; 0 when
// that does not fit a size_t.
size_t Inflate_roundCapacity(size_t n);
