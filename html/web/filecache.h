// The file cache: large HTTP responses in data files of their own, named
// by a pseudo-random number in lower-case hexadecimal ("1a2b.dat"), and an
// index of them ("index.dat", little-endian) written with a backup
// ("index-bak.dat") so that an interrupted save never loses the cache.
//
// Index: magic 0xCACEF17F, version 3; then per entry a 100-byte fixed part
// (25 words: Date, Last-Modified, Expires, Age, max-age, request and
// response times, the two words of the redirect record, content length low
// and high, HTTP status, stored length, status word, noCache, and the byte
// lengths of the ten items) and ten items, each padded with zeros to a
// multiple of 4: the data file's URL and the cached URL (UTF-16 with the
// terminator), content type, charset and a third text (UTF-16), the stream
// name (8-bit) and the four texts of the redirect record (UTF-16). Times are
// unsigned 32-bit, 0xFFFFFFFF for absent; later times are written as
// 0xFFFFFFFE.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct HttpCache;
struct HttpCacheEntry;
struct Url;

enum : uint32_t {
    FileCache_magic = 0xCACEF17Fu,
    FileCache_version = 3,
    FileCache_fixedSize = 100,
    FileCache_items = 10,
};

// The directory from "File.cache" in "Paths" (default
// "file://localhost/okala_dir/"), with a '/' added. Null when out of memory.
Url *FileCache_directory(EngineContext *context);
// The file store's prepare operation: a new data file for the entry (up to
// 100 names tried; all taken leaves the entry without one and answers 0).
[[nodiscard]] int FileCache_newDataFile(HttpCacheEntry *entry, uint64_t wanted, uint64_t minimum);
// Appends to / reads from the entry's data file in pieces of 4096 bytes.
[[nodiscard]] int FileCache_write(HttpCacheEntry *entry, const uint8_t *bytes, size_t length);
[[nodiscard]] int FileCache_read(HttpCacheEntry *entry, uint64_t offset, uint8_t *bytes,
                                 size_t length, size_t *got);
// Saves the index (skipped while saving is disabled, without a file store
// or during a load). 0 or the first error.
[[nodiscard]] int FileCache_saveIndex(HttpCache *cache);
// Loads the index at start-up; kept entries join the cache. 0; Res_fileRead for
// a record cut short; 1 out of memory; the open's error.
[[nodiscard]] int FileCache_loadIndex(HttpCache *cache);
// 1 when an in-use entry has the URL (scheme, host, path and query); never
// for a URL with a data part. usableOnly skips HTTP statuses 400-505.
int FileCache_hasEntry(HttpCache *cache, const Url *url, int usableOnly);
