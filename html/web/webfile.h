// Whole-file access by file URL for the web layer's persisted state (the
// cookie files and the file cache): read a file whole, replace one whole
// through a temporary file in the same directory renamed over it (so that
// an interrupted write leaves the old file), and the small in-place and
// appending writes that the formats allow.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;

// The file's bytes in a new heap block (*data null for an empty file) and their
// number. 0; Res_fileCannotOpen when the file cannot be opened; Res_fileRead
// when it cannot be read whole; 1 out of memory; the path mapping's error.
[[nodiscard]] int WebFile_read(EngineContext *context, const Url *url, uint8_t **data,
                               size_t *length);
// Replaces the file with the bytes: written to "<name>.new" beside it,
// then renamed over it. 0 or the first error (the temporary file is
// removed after a failure).
[[nodiscard]] int WebFile_replace(EngineContext *context, const Url *url, const void *data,
                                  size_t length);
// Writes the bytes at the offset of an existing file (created when missing).
[[nodiscard]] int WebFile_writeAt(EngineContext *context, const Url *url, uint64_t offset,
                                  const void *data, size_t length);
// Appends the bytes in pieces of at most 4096 bytes; *written counts the
// bytes of the pieces written. 0 or the first error.
[[nodiscard]] int WebFile_append(EngineContext *context, const Url *url, const void *data,
                                 size_t length, uint64_t *written);
// Reads up to length bytes at the offset in pieces of at most 4096 bytes;
// *got counts them. 0 or an error.
[[nodiscard]] int WebFile_readAt(EngineContext *context, const Url *url, uint64_t offset,
                                 void *data, size_t length, size_t *got);
// Makes an empty file (an existing one is cut to nothing).
[[nodiscard]] int WebFile_create(EngineContext *context, const Url *url);
// 1 when the file opens for reading, with its size in *size (null allowed).
int WebFile_exists(EngineContext *context, const Url *url, uint64_t *size);
int WebFile_remove(EngineContext *context, const Url *url);
int WebFile_rename(EngineContext *context, const Url *from, const Url *to);
