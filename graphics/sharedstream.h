// Shared stream readers: several consumers reading one data stream.
//
// A SharedStream holds one underlying byte stream with a reference count
// and, optionally, a lock. Each consumer opens its own SharedStreamReader,
// a ByteStream with its own position and a 256-byte buffer: before every
// refill the reader moves the underlying stream to its own position, so
// readers never see each other's positions. With the lock, every access to
// the underlying stream is serialised, and readers may run on different
// engine tasks.
#pragma once

#include <cstdint>

#include "core/stream/bytestream.h"
#include "core/task/lock.h"

struct EngineContext;
struct ImageHandle;
struct ImageObject;

struct SharedStream {
    ByteStream *stream; // the underlying stream, closed with the last reference
    int32_t refs;
    Lock lock; // when locked
    uint32_t locked;
};

enum : uint32_t { SharedStreamReader_bufferSize = 256 };

struct SharedStreamReader {
    ByteStream base; // getByte refills, seek, close, control; length copied
    int32_t error;   // sticky: once set every refill answers -1
    SharedStream *shared;
    uint64_t position; // position in the underlying stream of the byte after the buffer
    uint8_t buffer[SharedStreamReader_bufferSize];
};

enum : int {
    SharedStream_noControl = 15106, // the underlying stream has no control operation
};

// Wraps stream (taken over) with one reference; locked asks for the lock.
// 0; 1 when out of memory (the stream is closed then).
[[nodiscard]] int SharedStream_create(EngineContext *context, ByteStream *stream, int locked,
                                      SharedStream **out);
// Drops a reference; the last closes the underlying stream and frees the
// record.
void SharedStream_release(SharedStream *shared);
void SharedStream_releaseIfAny(SharedStream *shared);
// A new reader at position 0 holding a reference. 0 or 1.
[[nodiscard]] int SharedStream_openReader(SharedStream *shared, SharedStreamReader **out);

// The reader's operations (its ByteStream slots).
int SharedStreamReader_refill(ByteStream *stream);
// Moves the reader to position: 0, or the underlying stream's error when
// it cannot be positioned there (the reader keeps its old position).
[[nodiscard]] int SharedStreamReader_seek(ByteStream *stream, uint64_t position);
int SharedStreamReader_close(ByteStream *stream);
// Operation 6 (position) answers the reader's own position; others go to
// the underlying stream (15106 without a control slot); a successful 10
// copies the length.
[[nodiscard]] int SharedStreamReader_control(ByteStream *stream, uint32_t op, void *arg);

// Turns the image's raw data stream into a locked shared stream and puts a
// first reader on it in its place, when the engine's feature flags have
// bit 1 and the image has no shared stream yet. 0 or the error (both
// fields cleared then).
[[nodiscard]] int Image_shareDataStream(ImageObject *image);
