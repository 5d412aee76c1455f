// Budgeted caches of rendered glyph data.
//
// The font engine keeps glyph outlines (packed paths) and glyph masks in
// caches of a fixed byte budget taken from its settings. Each cache is one
// heap block, an arena, that holds its header, its hash buckets, a fixed
// pool of entry records and a data area managed by a first-fit free list
// kept in address order; nothing else is allocated while the cache is used,
// so a cache can never push the heap past its budget. When the data area or
// the entry pool is full, the entry with the oldest use stamp among the
// bucket heads is evicted: eviction looks at no more entries than there are
// buckets.
//
// Two variants share the layout and the algorithms: the path cache
// (LruCache, keyed by owner and an integer) and the mask cache (LruArena,
// keyed by owner, glyph, transform, extra word and size), which can also
// serve a request from a larger cached mask by scaling its coverage down
// into a scratch buffer (at most LruArena_scratchLimit bytes).
//
// Cached data stays valid until the next insertion, reset, drop, resize or
// destruction of its cache. There is no lock: the caches belong to the font
// engine, which guards them with its own.
#pragma once

#include <cstddef>
#include <cstdint>

struct Path;
struct GlyphMask;

enum : uint32_t {
    LruArena_glyphReuse = 1u << 27, // glyph flag: a larger mask may be scaled down
    LruArena_classPlainScale = 130, // transform class: a, d positive, b, c zero
    LruArena_scratchLimit = 4096,   // largest scratch buffer of a scaled result
};

// A free block of a data area, stored at the block's start.
struct LruFreeBlock {
    LruFreeBlock *next; // the next free block, at a higher address
    size_t size;        // bytes, this record included
};

// An entry of the path cache.
struct LruPathEntry {
    LruPathEntry *next; // next in the bucket, or in the free-entry list
    uintptr_t id;       // owner (a font handle); not hashed
    uint32_t key;       // glyph id
    Path *data;         // the cached path in the data area; null while free
    size_t blockSize;   // bytes of its data block
    uint64_t stamp;     // use stamp
};

// The path cache: the header at the start of its arena.
struct LruCache {
    uint64_t useCounter;    // the stamp of the next insertion or hit
    uint32_t bucketCount;   // a power of two
    LruPathEntry **buckets; // bucketCount heads, then the free-entry list head
    uint32_t entryCount;    // entries in the pool
    LruPathEntry *entries;  // the pool
    LruFreeBlock *freeList; // free blocks of the data area, by address
    size_t dataSize;        // bytes in the data area (a multiple of 8)
    uint8_t *data;          // the data area (8-byte aligned)
};

// The key of a glyph mask.
struct LruMaskKey {
    uint32_t glyph;     // glyph code with flags (LruArena_glyphReuse)
    int32_t a, b, c, d; // the glyph transform, 16.16
    uint32_t extra;     // one more word of the caller's key
    int32_t size;       // the glyph size
};

// An entry of the mask cache.
struct LruMaskEntry {
    LruMaskEntry *next;      // next in the bucket, or in the free-entry list
    uintptr_t id;            // owner (a font handle); not hashed
    uint32_t glyph;          // glyph code with flags
    int32_t a, b, c, d;      // transform
    uint32_t transformClass; // two bits per transform word (LruArena_transformClass)
    int64_t scaledWidth;     // size x a, for class 130 (else 0)
    int64_t scaledHeight;    // size x d, for class 130 (else 0)
    uint32_t extra;          // extra key word
    int32_t size;            // glyph size
    GlyphMask *data;         // the cached mask in the data area; null while free
    size_t blockSize;        // bytes of its data block
    uint64_t stamp;          // use stamp
};

// The mask cache: the header at the start of its arena.
struct LruArena {
    uint64_t useCounter;
    uint32_t bucketCount;
    LruMaskEntry **buckets;
    uint32_t entryCount;
    LruMaskEntry *entries;
    LruFreeBlock *freeList;
    size_t dataSize;
    uint8_t *data;
    uint8_t *scratch;   // heap block holding the last scaled result, or null
    size_t scratchSize; // its size in bytes
};

// ------------------------------------------------------------ path cache

// Creates, resizes or frees the path cache in *arena for a byte budget B:
// a budget below 1024 is taken as kilobytes (B x 1024); 0 or less frees the
// cache and sets *arena to null. Creating or resizing makes the arena one
// heap block of B bytes with (154 x B / 1024) / 24 entries and the largest
// power of two not above entries / 4 as bucket count (1 at least); the
// contents are reset. 0; 1 when memory runs out (*arena and its contents
// are kept); 8 when arena is null.
[[nodiscard]] int LruCache_resize(int32_t budget, LruCache **arena);

// Looks up (id, key). On a hit: 1, *out = the cached path (lent: it belongs
// to the cache) and the entry gets a fresh use stamp. Otherwise 0 and *out
// null (also for a null cache).
int LruCache_find(LruCache *cache, uintptr_t id, uint32_t key, Path **out);

// Stores a copy of *path (header and used words, Path_embed) for (id, key),
// evicting the oldest bucket heads until a free block is large enough and
// an entry is free. 1 when stored: *path is replaced by the cached copy,
// which belongs to the cache; the caller's original stays the caller's.
// 0 when nothing was stored (null cache or path, a path that needs as
// much as the whole data area or more, or one whose header or words lie in
// the cache's own data area, which making room could overwrite); then
// nothing is evicted and *path is unchanged. Never allocates.
int LruCache_insert(LruCache *cache, uintptr_t id, uint32_t key, Path **path);

// Removes every entry of owner id, returning their data blocks to the free
// list (merged with their free neighbours). Null cache: nothing.
void LruCache_dropId(LruCache *cache, uintptr_t id);

// Empties the cache: use counter 0, no entries, one free block.
void LruCache_reset(LruCache *cache);

// Frees the arena (null allowed). The caller clears its pointer.
void LruCache_destroy(LruCache *arena);

// ------------------------------------------------------------ mask cache

// As LruCache_resize for the mask cache, with (384 x B / 1024) / 60
// entries. The scratch buffer is freed when the resize succeeds.
[[nodiscard]] int LruArena_resize(int32_t budget, LruArena **arena);

// Looks up the mask of (id, key): an entry with equal id, glyph, extra
// word, transform and size. On a hit: 1, *out = the cached mask (lent) and
// the entry gets a fresh use stamp.
// Otherwise, when the key's glyph has LruArena_glyphReuse set and its
// transform is a plain positive scale (class 130), an entry of class 130
// with the same id, glyph and extra word whose scaled width and height are
// both at least the requested ones (size x a, size x d) can serve: its
// mask is decoded and reduced to the requested size into the cache's
// scratch buffer (grown as needed up to LruArena_scratchLimit bytes; an
// entry whose result would not fit, or whose growth fails, is skipped).
// Then 1, *out = the scaled mask in the scratch buffer (lent, valid until
// the next find, resize or destruction) and the serving entry gets a fresh
// use stamp. Otherwise 0 and *out null (also for a null cache or key).
int LruArena_find(LruArena *cache, uintptr_t id, const LruMaskKey *key, GlyphMask **out);

// Stores a copy of *mask (GlyphMask_copyTo) for (id, key), as
// LruCache_insert does for paths. 1 when stored (*mask is replaced by the
// cached copy); 0 when not (null arguments, a mask that needs as much as
// the whole data area or more, or one lying in the cache's data area).
int LruArena_insert(LruArena *cache, uintptr_t id, const LruMaskKey *key, GlyphMask **mask);

// Removes every entry of owner id. Null cache: nothing.
void LruArena_dropId(LruArena *cache, uintptr_t id);

// Empties the cache (the scratch buffer is kept).
void LruArena_reset(LruArena *cache);

// Frees the scratch buffer and the arena (null allowed).
void LruArena_destroy(LruArena *arena);

// The transform class of (a, b, c, d): each word gives two bits (0 zero,
// 1 negative, 2 positive) at bit 0 for a, 2 for b, 4 for c and 6 for d.
uint32_t LruArena_transformClass(int32_t a, int32_t b, int32_t c, int32_t d);

// --------------------------------------------------------- mask scaling
// Area-averaging (box) reduction of coverage lines, in integer phase
// arithmetic. For a line of n source samples the phase starts at
// offset - 16n and the step is s = (ratio x n) >> 12; each sample adds s to
// the phase; while the phase stays below 0 the sample's value times s goes
// to an accumulator; when it reaches 0 or more, one output is written from
// the accumulator plus the sample times (s - phase), the accumulator
// restarts with the sample times the phase and 16n is taken off the phase.
// After the line a partial last output is written when the phase is above
// -16n. An output is (accumulator x k) >> 23 with
// k = (70000 / (16n) + 1) x 128, saturated at 255. Each sample writes at
// most one output, and at most m outputs are written per line; outputs a
// line leaves unwritten are 0.
//
// ratio is 16.16 (MaskScale_ratio gives the one that turns n samples into
// exactly m); offset lies in [0, 16n).

// The 16.16 ratio that reduces n samples to m (1 <= m <= n): the smallest
// whose step is at least 16m.
uint32_t MaskScale_ratio(uint32_t n, uint32_t m);

// Reduces `lines` rows of n samples (src, srcStride bytes apart) to m
// samples each (dst, dstStride bytes apart). src and dst must not overlap.
void MaskScale_rows(const uint8_t *src, size_t srcStride, uint32_t n, uint32_t lines, uint8_t *dst,
                    size_t dstStride, uint32_t m, uint32_t ratio, int32_t offset);

// Reduces `columns` columns of n samples (rows stride bytes apart) to m
// samples each, in place: output row j replaces source row j. m is cut to
// n.
void MaskScale_columns(uint8_t *buf, size_t stride, uint32_t n, uint32_t columns, uint32_t m,
                       uint32_t ratio, int32_t offset);
