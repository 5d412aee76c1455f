// Device-space paths kept across the bands of one banded drawing.
//
// A banded renderer draws a page as a column of bands, one after another,
// top band first, into the same bitmap. A figure that crosses several bands
// is drawn in each of them; without this store it is mapped into device
// space (and stroked) again in every one. The store keeps the prepared
// device path of such a figure (after the matrix and the stroker, before
// it is placed in a band) so that the next band copies it instead.
//
// The renderer makes the store, hands it to its band bitmaps
// (Bitmap::keptPaths) while it draws one page, and empties it when the
// page is done: the figures' words it is keyed by live at least that long.
// Its memory is bounded: when a band starts keeping paths, those that lie
// wholly above it (which no later band shows) are dropped; a path that
// would pass the limit is not kept, nor one whose copy runs out of memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"

struct Path;

enum : uint32_t {
    KeptPaths_defaultLimit = 4u << 20, // bytes of paths and slots a store may hold
    KeptPaths_heapShare = 16,          // at most this fraction of the heap
    KeptPaths_chunkBytes = 64u << 10,  // words of small paths are cut from chunks of this size
};

// A block that the words of small paths are cut from, one after another;
// it goes when the last of them is dropped.
struct KeptChunk {
    KeptChunk *next;
    uint32_t used; // bytes cut so far, after the header
    uint32_t live; // paths whose words lie here
};

// One kept path: what it was prepared from, and its words.
struct KeptPath {
    const void *key;  // the figure (its words); null: a free slot
    uint32_t outline; // 1: the pen's outline, 0: the path itself
    int32_t scale;    // the bitmap's scale word
    Matrix matrix;    // the figure's matrix
    Rect box;         // the device box of the path (8 fractional bits)
    int32_t *words;   // the plain path words (in chunk, or a block of their own)
    KeptChunk *chunk; // null: the words are a block of their own
    uint32_t wordCount;
    uint32_t count;  // elements
    int32_t subpath; // word offset of the last subpath start, -1: none
    uint32_t state;
};

struct KeptPaths {
    KeptPath *slots; // open addressing by key; capacity a power of two
    uint32_t capacity;
    uint32_t used;     // slots taken, dropped ones included
    uint32_t live;     // slots holding a path
    KeptChunk *chunks; // the newest first; words are cut from the first
    uint64_t bytes;    // held by the slot table, the chunks and the blocks
    uint64_t limit;
    uint32_t hits;      // paths taken back
    int32_t swept;      // the band top of the last drop pass
    uint32_t sweptOnce; // 1 once a drop pass ran
};

// An empty store holding at most limit bytes.
void KeptPaths_init(KeptPaths *kept, uint64_t limit);
// The limit for a heap of heapBytes (0: unknown): the default limit, or a
// sixteenth of the heap when that is less.
uint64_t KeptPaths_limitFor(size_t heapBytes);
// Frees every kept path and the slot table; the store stays usable.
void KeptPaths_clear(KeptPaths *kept);

// The lookup key of one preparation.
struct KeptPathKey {
    const void *key;
    uint32_t outline;
    int32_t scale;
    const Matrix *matrix;
};

// When a path prepared for this key is kept: copies it into device (its
// scale word left as it is), stores its box in *box and returns 1. 0 when
// none is kept (or device cannot take it).
int KeptPaths_fetch(KeptPaths *kept, const KeptPathKey *key, Path *device, Rect *box);
// Keeps a copy of the plain path device with its box under key, replacing
// one kept for the same figure. Paths wholly above bandTop (device units,
// 8 fractional bits; the caller's choice, at or above the top of the band
// being drawn) are dropped. Nothing is kept when it does not fit or memory runs out; nothing
// fails.
void KeptPaths_store(KeptPaths *kept, const KeptPathKey *key, const Path *device, const Rect *box,
                     int32_t bandTop);
