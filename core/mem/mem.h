// The engine heap.
//
// Every allocation of the engine goes through this one heap, carved out of
// large blocks ("chunks") that the host hands over. It is a best-fit
// allocator: free blocks are indexed twice, by size and by address, in two
// splay trees whose links live inside the free blocks themselves, and a freed
// block is merged at once with its free neighbours on both sides.
//
// Block layout on this host: an 8-byte size word (the whole block's length,
// size word included), then the caller's bytes. Block sizes are multiples of
// 16, user pointers are 16-byte aligned, and no block is smaller than 64
// bytes (the size word plus six tree links of a free block).
//
// There is one heap per engine instance and no lock: engine threads run one
// at a time. Every call finds the heap through the calling thread's engine
// instance (Host_getThreadContext).
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineInstance;

// One chunk obtained from the host: where the host's block starts and the
// size the host reported for it.
struct MemChunk {
    uint8_t *start;
    size_t size;
};

// The heap context. It lives in the host's first block, right behind the
// engine instance record.
struct MemHeap {
    size_t initialSize;   // size of the host's first block, as reported
    uint8_t *sizeRoot;    // root of the size-ordered free tree
    uint8_t *addrRoot;    // root of the address-ordered free tree
    uint8_t *firstChunk;  // start of the first chunk
    uint32_t setUp;       // 1 once set-up has started
    uint32_t outOfMemory; // set by every failed allocation
    MemChunk *chunkTable; // {start, size} for every chunk
    size_t chunkCount;
    size_t chunkCapacity;
    MemChunk inlineChunk; // the whole chunk table in normal mode
    uint32_t smallChunks; // 0 normal mode, else small-chunk mode
    size_t bytesObtained; // total of the chunks taken from the host
    size_t byteLimit;     // 0 = no limit on bytesObtained
    // Test hook: when non-zero, counts down on every allocation attempt and
    // makes the attempt that brings it to zero fail as if memory ran out.
    uint64_t failCountdown;
};

// Heap constants on this host.
enum : size_t {
    Mem_wordSize = 8,               // the size word before every block
    Mem_unit = 16,                  // block sizes are multiples of this
    Mem_minBlock = 64,              // smallest block and smallest split rest
    Mem_normalChunkSize = 0x800000, // normal mode
    Mem_smallChunkSize = 0x3ff80,   // small mode: 128 bytes short of 256 KiB
    Mem_smallTableStart = 64,       // first chunk table capacity in small mode
};

// The heap of the calling thread's engine instance, or null.
MemHeap *Mem_heapContext();

// Allocation. All return null on failure with the out-of-memory flag set;
// a size (or product) of 0 returns null without setting it. Null pointers
// are accepted by Mem_free and Mem_realloc. On a failed realloc the old
// block is untouched.
void *Mem_malloc(size_t size);
void *Mem_calloc(size_t count, size_t size);
void *Mem_realloc(void *ptr, size_t size);
void Mem_free(void *ptr);

// 1 when an allocation failed since the last call, else 0; clears the flag.
int Mem_takeOutOfMemory();

// Creates the host's first block with the engine instance at its head and
// the heap context right behind it. Mode 1 asks for the small chunk size,
// anything else for the normal one; the host may give another size. The
// instance is zero-filled and its first word points at the heap context.
// Returns null when the host gives nothing.
EngineInstance *Mem_createEngineContext(int mode);

// Zeroes every heap field but the initial size.
void Mem_resetContext();

void Mem_setChunkMode(int mode);
int Mem_getChunkMode();          // 0 without a heap
size_t Mem_chunkSize();          // small or normal chunk size
size_t Mem_getInitialSize();     // size of the host's first block
void Mem_setLimit(size_t bytes); // 0 = no limit
uint8_t *Mem_firstChunk();
size_t Mem_heapContextSize();

// Returns every chunk to the host, the first (which holds the instance and
// the heap context themselves) last. Nothing may touch the heap afterwards.
void Mem_releaseChunks();

// ---------------------------------------------------------------- testing
// Usage figures and an invariant check, for tests, fuzzing and benchmarks.
struct MemStats {
    size_t freeBytes;   // bytes in free blocks
    size_t freeBlocks;  // number of free blocks
    size_t largestFree; // size of the largest free block
    size_t usedBytes;   // bytes in allocated blocks, size words included
    size_t usedBlocks;
    size_t chunkCount;
};

// Fills *stats by walking every chunk. Returns 0, or 8 without a heap.
int Mem_getStats(MemStats *stats);

// Checks every invariant of the heap: both trees well formed and ordered,
// parents consistent, every free block in both trees, free blocks never
// adjacent, block sizes multiples of 16 and at least 64, blocks tiling each
// chunk exactly. Returns 0 when all hold, else a non-zero step number.
int Mem_check();

// Makes the n-th allocation attempt from now fail (1 = the next one);
// 0 turns fault injection off.
void Mem_failAfter(uint64_t n);

// The allocation attempts still to go before the injected failure: 0 once
// it has happened (or with fault injection off).
uint64_t Mem_failPending();

// Size of the block that holds ptr (size word included).
size_t Mem_blockSize(const void *ptr);

// ------------------------------------------------------ block helpers
// (core/mem/memops.cpp, built with the rest of the engine so that the
// sanitizers see their accesses.)

// Comparison of n unsigned bytes: -1, 0 or 1.
int Mem_cmp(const void *a, const void *b, size_t n);
// Buffer callbacks of the file streams:
// Allocates size bytes into *out and stores the size in *outSize; 0, or 1
// when memory ran out (then *out is null and *outSize 0).
[[nodiscard]] int Mem_allocOut(size_t size, void **out, size_t *outSize);
// Frees block with Mem_free and returns 0.
int Mem_freeRet0(void *block);
// Replaces *block by a new block of newSize bytes holding the first keep
// bytes of the old one (no more than newSize), freeing the old block. 0, or
// 1 when the new block could not be had (the old block stays in *block).
[[nodiscard]] int Mem_growCopy(void **block, size_t keep, size_t newSize);
