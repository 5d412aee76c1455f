// The engine heap: best fit over two splay trees kept inside the free blocks.
//
// A free block holds, after its size word, six links: parent, lower child and
// higher child in the size tree, then the same three in the address tree.
// The size tree orders blocks by size and, among equal sizes, by address; the
// address tree by address. Insertion splays the new node to the root;
// searches never splay. A block is free exactly when it is in the trees:
// allocated blocks carry nothing but their size word.
//
// Blocks start at addresses that are 8 modulo 16, so that the user pointer
// right behind the 8-byte size word is 16-byte aligned.
//
// In the sanitizer build this file is compiled without address checks and
// instead poisons every byte the caller does not own (size words, free
// blocks, the slack behind a request), so that misuse of engine memory is
// reported like misuse of system memory.
#include "core/mem/mem.h"

#include <cstring>

#include "core/result.h"

#include "core/context/context.h"
#include "core/host/hostservices.h"
#include "core/host/hostmem.h"

#if defined(VEXLAN_HEAP_POISON)
#include <sanitizer/asan_interface.h>
#endif

namespace {

enum { LinkParent = 0, LinkLo = 1, LinkHi = 2 };
enum { TreeSize = 0, TreeAddr = 1 };

void poison(const void *p, size_t n)
{
#if defined(VEXLAN_HEAP_POISON)
    __asan_poison_memory_region(p, n);
#else
    (void)p;
    (void)n;
#endif
}

void unpoison(const void *p, size_t n)
{
#if defined(VEXLAN_HEAP_POISON)
    __asan_unpoison_memory_region(p, n);
#else
    (void)p;
    (void)n;
#endif
}

inline size_t &bsize(uint8_t *b)
{
    return *reinterpret_cast<size_t *>(b);
}

inline uint8_t *&link(uint8_t *b, int tree, int which)
{
    return reinterpret_cast<uint8_t **>(b + Mem_wordSize)[tree * 3 + which];
}

inline uint8_t *&parentOf(uint8_t *b, int t)
{
    return link(b, t, LinkParent);
}
inline uint8_t *&loOf(uint8_t *b, int t)
{
    return link(b, t, LinkLo);
}
inline uint8_t *&hiOf(uint8_t *b, int t)
{
    return link(b, t, LinkHi);
}

inline uint8_t *&rootOf(MemHeap *h, int t)
{
    return t == TreeSize ? h->sizeRoot : h->addrRoot;
}

// True when x belongs on the higher side of node in tree t.
bool goesHigh(int t, uint8_t *x, uint8_t *node)
{
    if (t == TreeAddr)
        return x > node;
    size_t xs = bsize(x), ns = bsize(node);
    return xs > ns || (xs == ns && x >= node);
}

// Puts rep where x hangs from its parent (or at the root).
void replaceInParent(MemHeap *h, int t, uint8_t *x, uint8_t *rep)
{
    uint8_t *p = parentOf(x, t);
    if (!p)
        rootOf(h, t) = rep;
    else if (loOf(p, t) == x)
        loOf(p, t) = rep;
    else
        hiOf(p, t) = rep;
}

// Rotates x above its parent.
void rotateUp(MemHeap *h, int t, uint8_t *x)
{
    uint8_t *p = parentOf(x, t);
    uint8_t *g = parentOf(p, t);
    if (loOf(p, t) == x) {
        uint8_t *c = hiOf(x, t);
        loOf(p, t) = c;
        if (c)
            parentOf(c, t) = p;
        hiOf(x, t) = p;
    } else {
        uint8_t *c = loOf(x, t);
        hiOf(p, t) = c;
        if (c)
            parentOf(c, t) = p;
        loOf(x, t) = p;
    }
    parentOf(p, t) = x;
    parentOf(x, t) = g;
    if (!g)
        rootOf(h, t) = x;
    else if (loOf(g, t) == p)
        loOf(g, t) = x;
    else
        hiOf(g, t) = x;
}

// Bottom-up splay of x to the root of tree t.
void splay(MemHeap *h, int t, uint8_t *x)
{
    while (uint8_t *p = parentOf(x, t)) {
        uint8_t *g = parentOf(p, t);
        if (!g) {
            rotateUp(h, t, x);
        } else if ((loOf(g, t) == p) == (loOf(p, t) == x)) {
            rotateUp(h, t, p); // zig-zig
            rotateUp(h, t, x);
        } else {
            rotateUp(h, t, x); // zig-zag
            rotateUp(h, t, x);
        }
    }
}

void insertNode(MemHeap *h, int t, uint8_t *x, bool doSplay)
{
    parentOf(x, t) = nullptr;
    loOf(x, t) = nullptr;
    hiOf(x, t) = nullptr;
    uint8_t *node = rootOf(h, t), *prev = nullptr;
    bool high = false;
    while (node) {
        prev = node;
        high = goesHigh(t, x, node);
        node = high ? hiOf(node, t) : loOf(node, t);
    }
    parentOf(x, t) = prev;
    if (!prev)
        rootOf(h, t) = x;
    else if (high)
        hiOf(prev, t) = x;
    else
        loOf(prev, t) = x;
    if (doSplay)
        splay(h, t, x);
}

// Removes x from tree t without splaying; returns the node that took its
// place (null when none did).
uint8_t *removeNode(MemHeap *h, int t, uint8_t *x)
{
    uint8_t *lo = loOf(x, t), *hi = hiOf(x, t);
    if (!lo || !hi) {
        uint8_t *rep = lo ? lo : hi;
        replaceInParent(h, t, x, rep);
        if (rep)
            parentOf(rep, t) = parentOf(x, t);
        return rep;
    }
    uint8_t *m = lo;
    while (hiOf(m, t))
        m = hiOf(m, t);
    removeNode(h, t, m);
    lo = loOf(x, t); // changed when m was x's lower child
    loOf(m, t) = lo;
    if (lo)
        parentOf(lo, t) = m;
    hiOf(m, t) = hi;
    parentOf(hi, t) = m;
    parentOf(m, t) = parentOf(x, t);
    replaceInParent(h, t, x, m);
    return m;
}

void unlinkFree(MemHeap *h, uint8_t *x)
{
    for (int t = TreeSize; t <= TreeAddr; t++) {
        uint8_t *rep = removeNode(h, t, x);
        if (rep)
            splay(h, t, rep);
    }
}

void linkFree(MemHeap *h, uint8_t *x)
{
    insertNode(h, TreeSize, x, true);
    insertNode(h, TreeAddr, x, true);
}

// Smallest free block of at least need bytes; of equal sizes the lowest.
uint8_t *bestFit(MemHeap *h, size_t need)
{
    uint8_t *node = h->sizeRoot, *best = nullptr;
    while (node) {
        if (bsize(node) >= need) {
            best = node;
            node = loOf(node, TreeSize);
        } else {
            node = hiOf(node, TreeSize);
        }
    }
    return best;
}

// The free block that starts at end, or null; *below = the last node
// passed whose address is below end (null when none), when below is set.
uint8_t *findFollower(MemHeap *h, uint8_t *end, uint8_t **below = nullptr)
{
    uint8_t *node = h->addrRoot, *last = nullptr;
    while (node && node != end) {
        if (end > node) {
            last = node;
            node = hiOf(node, TreeAddr);
        } else {
            node = loOf(node, TreeAddr);
        }
    }
    if (below)
        *below = last;
    return node;
}

// The free neighbours of the allocated block b of s bytes: *f the one
// that starts at its end, *p the one that ends at b (null when none). The
// block below is the in-order predecessor of the end address in the
// address tree (no free block lies inside b): the highest node under the
// follower's lower child when there is one, else the last node below the
// end that the follower search passed. No second search from the root.
void findNeighbours(MemHeap *h, uint8_t *b, size_t s, uint8_t **f, uint8_t **p)
{
    uint8_t *below = nullptr;
    *f = findFollower(h, b + s, &below);
    uint8_t *node = *f ? loOf(*f, TreeAddr) : nullptr;
    if (node) {
        while (uint8_t *hi = hiOf(node, TreeAddr))
            node = hi;
    } else {
        node = below;
    }
    *p = node && node + bsize(node) == b ? node : nullptr;
}

// The block area of a chunk: blocks start at 8 modulo 16 and are multiples
// of 16 long.
void chunkSpan(const MemChunk &c, uint8_t **first, size_t *len)
{
    uintptr_t s = reinterpret_cast<uintptr_t>(c.start);
    uintptr_t b = (s + Mem_unit - 1 - Mem_wordSize) / Mem_unit * Mem_unit + Mem_wordSize;
    uintptr_t e = s + c.size;
    *first = reinterpret_cast<uint8_t *>(b);
    *len = e > b ? (e - b) / Mem_unit * Mem_unit : 0;
}

// Rounds a user size up to a block size; 0 when the rounding would wrap.
size_t needFor(size_t size)
{
    if (size > SIZE_MAX - Mem_wordSize - Mem_unit)
        return 0;
    size_t need = (size + Mem_wordSize + Mem_unit - 1) & ~size_t(Mem_unit - 1);
    return need < Mem_minBlock ? size_t(Mem_minBlock) : need;
}

// Records a chunk in the chunk table. Returns false when the table could
// not grow.
bool recordChunk(MemHeap *h, const MemChunk &c)
{
    if (!h->smallChunks) {
        h->chunkTable = &h->inlineChunk;
        h->chunkCapacity = 1;
        h->chunkCount = 0;
    } else if (h->chunkCount >= h->chunkCapacity || h->chunkTable == nullptr) {
        size_t cap = h->chunkCapacity ? h->chunkCapacity * 2 : size_t(Mem_smallTableStart);
        size_t bytes = cap * sizeof(MemChunk);
        MemChunk *table = static_cast<MemChunk *>(Host_mallocChunk(&bytes));
        if (!table || bytes < cap * sizeof(MemChunk)) {
            Host_freeBlock(table);
            return false;
        }
        if (h->chunkCount)
            memcpy(table, h->chunkTable, h->chunkCount * sizeof(MemChunk));
        if (h->chunkTable && h->chunkTable != &h->inlineChunk)
            Host_freeBlock(h->chunkTable);
        h->chunkTable = table;
        h->chunkCapacity = cap;
    }
    h->chunkTable[h->chunkCount++] = c;
    return true;
}

// Takes a chunk of at least request bytes from the host and returns it as
// one free block, not yet linked; null on failure.
uint8_t *addChunk(MemHeap *h, size_t request)
{
    size_t n = request > Mem_chunkSize() ? request : Mem_chunkSize();
    n = needFor(n);
    if (n == 0)
        return nullptr;
    n += Mem_unit; // room to align the first block
    if (h->byteLimit && (h->bytesObtained > h->byteLimit || n > h->byteLimit - h->bytesObtained))
        return nullptr;
    size_t got = n;
    uint8_t *start = static_cast<uint8_t *>(Host_mallocChunk(&got));
    if (!start)
        return nullptr;
    // The first chunk is the rest of the host's first block: it is never
    // returned on its own.
    bool first = h->firstChunk == nullptr;
    MemChunk c = {start, got};
    uint8_t *block;
    size_t len;
    chunkSpan(c, &block, &len);
    if (len < Mem_minBlock || (!first && len < needFor(request)) || !recordChunk(h, c)) {
        if (!first)
            Host_freeBlock(start);
        return nullptr;
    }
    h->bytesObtained += got;
    if (!h->firstChunk)
        h->firstChunk = start;
    bsize(block) = len;
    for (int i = 0; i < 6; i++)
        reinterpret_cast<uint8_t **>(block + Mem_wordSize)[i] = nullptr;
    poison(block, len);
    return block;
}

// Sets the heap up on its first use. False when it cannot be.
bool ensureSetUp(MemHeap *h)
{
    if (h->setUp)
        return h->firstChunk != nullptr;
    h->setUp = 1;
    uint8_t *block = addChunk(h, Mem_chunkSize());
    if (!block)
        return false;
    linkFree(h, block);
    return true;
}

// Test hook: true when this allocation attempt is to fail.
bool injectedFailure(MemHeap *h)
{
    return h->failCountdown && --h->failCountdown == 0;
}

// Best fit, growing the heap by a chunk in small mode.
uint8_t *findBlock(MemHeap *h, size_t need)
{
    uint8_t *x = bestFit(h, need);
    if (!x && h->smallChunks) {
        uint8_t *block = addChunk(h, need);
        if (block) {
            linkFree(h, block);
            x = bestFit(h, need);
        }
    }
    return x;
}

// Hands out need bytes of free block x: splits off the rest when it is big
// enough, else takes the whole block out of the trees.
void takeBlock(MemHeap *h, uint8_t *x, size_t need)
{
    size_t total = bsize(x);
    if (total - need < Mem_minBlock) {
        unlinkFree(h, x);
        return;
    }
    removeNode(h, TreeSize, x);
    uint8_t *rest = x + need;
    bsize(rest) = total - need;
    // The rest keeps x's place in the address tree: same order.
    uint8_t *p = parentOf(x, TreeAddr), *lo = loOf(x, TreeAddr), *hi = hiOf(x, TreeAddr);
    parentOf(rest, TreeAddr) = p;
    loOf(rest, TreeAddr) = lo;
    hiOf(rest, TreeAddr) = hi;
    if (lo)
        parentOf(lo, TreeAddr) = rest;
    if (hi)
        parentOf(hi, TreeAddr) = rest;
    replaceInParent(h, TreeAddr, x, rest);
    insertNode(h, TreeSize, rest, true);
    bsize(x) = need;
}

// Returns block b to the trees, merging it with free neighbours.
void freeBlock(MemHeap *h, uint8_t *b)
{
    size_t s = bsize(b);
    poison(b, s);
    uint8_t *f, *p;
    findNeighbours(h, b, s, &f, &p);
    if (p) {
        removeNode(h, TreeSize, p);
        size_t grown = bsize(p) + s;
        if (f) {
            grown += bsize(f);
            unlinkFree(h, f);
        }
        bsize(p) = grown;
        insertNode(h, TreeSize, p, true);
    } else if (f) {
        size_t grown = s + bsize(f);
        unlinkFree(h, f);
        bsize(b) = grown;
        linkFree(h, b);
    } else {
        linkFree(h, b);
    }
}

void *allocate(MemHeap *h, size_t size)
{
    if (!ensureSetUp(h)) {
        h->outOfMemory = 1;
        return nullptr;
    }
    if (size == 0)
        return nullptr;
    size_t need = needFor(size);
    if (need == 0 || injectedFailure(h)) {
        h->outOfMemory = 1;
        return nullptr;
    }
    uint8_t *x = findBlock(h, need);
    if (!x) {
        h->outOfMemory = 1;
        return nullptr;
    }
    takeBlock(h, x, need);
    unpoison(x + Mem_wordSize, size);
    return x + Mem_wordSize;
}

void *reallocate(MemHeap *h, void *ptr, size_t size)
{
    if (!ensureSetUp(h)) {
        h->outOfMemory = 1;
        return nullptr;
    }
    uint8_t *b = static_cast<uint8_t *>(ptr) - Mem_wordSize;
    size_t old = bsize(b);
    size_t need = needFor(size);
    if (need == 0 || injectedFailure(h)) {
        h->outOfMemory = 1;
        return nullptr;
    }
    uint8_t *f, *p;
    findNeighbours(h, b, old, &f, &p);
    size_t total = old + (p ? bsize(p) : 0) + (f ? bsize(f) : 0);
    size_t keep = (need < old ? need : old) - Mem_wordSize;

    if (total >= need) {
        // Grow or shrink in place, moving down into a free predecessor.
        if (f)
            unlinkFree(h, f);
        if (p)
            unlinkFree(h, p);
        uint8_t *start = p ? p : b;
        // Only the span from the predecessor to the end of the old block or
        // of the new one changes hands; the rest of a following free block
        // stays poisoned as it was (it may be the whole untouched heap, and
        // poisoning it on every growth cost more than everything else).
        size_t reach = size_t(b - start) + old;
        size_t span = need > reach ? need : reach;
        unpoison(start, span);
        memmove(start + Mem_wordSize, ptr, keep);
        if (total - need < Mem_minBlock) {
            bsize(start) = total;
        } else {
            bsize(start) = need;
            uint8_t *rest = start + need;
            bsize(rest) = total - need;
            linkFree(h, rest);
        }
        poison(start, span);
        unpoison(start + Mem_wordSize, size);
        return start + Mem_wordSize;
    }

    uint8_t *x = findBlock(h, need);
    if (!x) {
        h->outOfMemory = 1;
        return nullptr;
    }
    unlinkFree(h, x);
    size_t xsize = bsize(x);
    unpoison(x + Mem_wordSize, keep);
    unpoison(ptr, keep);
    memcpy(x + Mem_wordSize, ptr, keep);
    freeBlock(h, b);
    if (xsize - need >= Mem_minBlock) {
        bsize(x) = need;
        uint8_t *rest = x + need;
        bsize(rest) = xsize - need;
        linkFree(h, rest);
        // The rest was poisoned as part of the free block and stays so.
    }
    poison(x, bsize(x));
    unpoison(x + Mem_wordSize, size);
    return x + Mem_wordSize;
}

// In-order walk of tree t with parent links, calling visit on each node.
// Returns false when visit does.
template <typename Visit> bool walkTree(MemHeap *h, int t, Visit visit)
{
    uint8_t *node = rootOf(h, t);
    if (!node)
        return true;
    while (loOf(node, t))
        node = loOf(node, t);
    while (node) {
        if (!visit(node))
            return false;
        if (hiOf(node, t)) {
            node = hiOf(node, t);
            while (loOf(node, t))
                node = loOf(node, t);
        } else {
            uint8_t *child = node;
            node = parentOf(node, t);
            while (node && hiOf(node, t) == child) {
                child = node;
                node = parentOf(node, t);
            }
        }
    }
    return true;
}

} // namespace

MemHeap *Mem_heapContext()
{
    EngineInstance *inst = Host_getThreadContext();
    return inst ? inst->heap : nullptr;
}

void *Mem_malloc(size_t size)
{
    MemHeap *h = Mem_heapContext();
    return h ? allocate(h, size) : nullptr;
}

void *Mem_calloc(size_t count, size_t size)
{
    MemHeap *h = Mem_heapContext();
    if (!h)
        return nullptr;
    if (size && count > SIZE_MAX / size) {
        h->outOfMemory = 1;
        return nullptr;
    }
    void *p = allocate(h, count * size);
    if (p)
        memset(p, 0, count * size);
    return p;
}

void *Mem_realloc(void *ptr, size_t size)
{
    MemHeap *h = Mem_heapContext();
    if (!h)
        return nullptr;
    if (!ptr)
        return allocate(h, size);
    if (size == 0) {
        Mem_free(ptr);
        return nullptr;
    }
    return reallocate(h, ptr, size);
}

void Mem_free(void *ptr)
{
    MemHeap *h = Mem_heapContext();
    if (!h)
        return;
    if (!ensureSetUp(h)) {
        h->outOfMemory = 1;
        return;
    }
    if (ptr)
        freeBlock(h, static_cast<uint8_t *>(ptr) - Mem_wordSize);
}

int Mem_takeOutOfMemory()
{
    MemHeap *h = Mem_heapContext();
    if (!h || !h->outOfMemory)
        return 0;
    h->outOfMemory = 0;
    return 1;
}

EngineInstance *Mem_createEngineContext(int mode)
{
    size_t size = mode == 1 ? size_t(Mem_smallChunkSize) : size_t(Mem_normalChunkSize);
    uint8_t *block = static_cast<uint8_t *>(Host_mallocInitial(&size));
    if (!block)
        return nullptr;
    EngineInstance *inst = reinterpret_cast<EngineInstance *>(block);
    memset(inst, 0, sizeof *inst);
    inst->heap = reinterpret_cast<MemHeap *>(block + sizeof(EngineInstance));
    memset(inst->heap, 0, sizeof(MemHeap));
    inst->heap->initialSize = size;
    return inst;
}

void Mem_resetContext()
{
    MemHeap *h = Mem_heapContext();
    if (!h)
        return;
    size_t initial = h->initialSize;
    memset(h, 0, sizeof *h);
    h->initialSize = initial;
}

void Mem_setChunkMode(int mode)
{
    MemHeap *h = Mem_heapContext();
    if (h)
        h->smallChunks = uint32_t(mode);
}

int Mem_getChunkMode()
{
    MemHeap *h = Mem_heapContext();
    return h ? int(h->smallChunks) : 0;
}

size_t Mem_chunkSize()
{
    return Mem_getChunkMode() ? size_t(Mem_smallChunkSize) : size_t(Mem_normalChunkSize);
}

size_t Mem_getInitialSize()
{
    MemHeap *h = Mem_heapContext();
    return h ? h->initialSize : 0;
}

void Mem_setLimit(size_t bytes)
{
    MemHeap *h = Mem_heapContext();
    if (h)
        h->byteLimit = bytes;
}

uint8_t *Mem_firstChunk()
{
    MemHeap *h = Mem_heapContext();
    return h ? h->firstChunk : nullptr;
}

size_t Mem_heapContextSize()
{
    return sizeof(MemHeap);
}

void Mem_releaseChunks()
{
    MemHeap *h = Mem_heapContext();
    if (!h)
        return;
    if (!h->chunkTable) {
        // Never set up: the first block still goes back, through the address
        // its first chunk would have had.
        h->firstChunk = reinterpret_cast<uint8_t *>(h) + sizeof(MemHeap);
        Host_freeBlock(h->firstChunk);
        return;
    }
    for (size_t i = 1; i < h->chunkCount; i++) {
        MemChunk c = h->chunkTable[i];
        unpoison(c.start, c.size);
        h->bytesObtained -= c.size;
        Host_freeBlock(c.start);
    }
    MemChunk first = h->chunkTable[0];
    if (h->chunkTable != &h->inlineChunk)
        Host_freeBlock(h->chunkTable);
    h->chunkTable = nullptr;
    h->chunkCount = 0;
    unpoison(first.start, first.size);
    Host_freeBlock(first.start);
}

int Mem_getStats(MemStats *stats)
{
    if (!stats)
        return Res_nullInput;
    memset(stats, 0, sizeof *stats);
    MemHeap *h = Mem_heapContext();
    if (!h)
        return Res_nullInput;
    walkTree(h, TreeAddr, [&](uint8_t *b) {
        stats->freeBytes += bsize(b);
        stats->freeBlocks++;
        if (bsize(b) > stats->largestFree)
            stats->largestFree = bsize(b);
        return true;
    });
    for (size_t i = 0; i < h->chunkCount; i++) {
        uint8_t *b;
        size_t len;
        chunkSpan(h->chunkTable[i], &b, &len);
        for (uint8_t *end = b + len; b < end && bsize(b) >= Mem_minBlock; b += bsize(b)) {
            stats->usedBytes += bsize(b);
            stats->usedBlocks++;
        }
    }
    stats->usedBytes -= stats->freeBytes;
    stats->usedBlocks -= stats->freeBlocks;
    stats->chunkCount = h->chunkCount;
    return 0;
}

int Mem_check()
{
    MemHeap *h = Mem_heapContext();
    if (!h)
        return 1;
    if (!h->setUp || !h->firstChunk)
        return 0;
    // Both trees: parent links consistent, in-order strictly ordered.
    for (int t = TreeSize; t <= TreeAddr; t++) {
        if (rootOf(h, t) && parentOf(rootOf(h, t), t))
            return 2;
        uint8_t *prev = nullptr;
        bool ok = walkTree(h, t, [&](uint8_t *b) {
            uint8_t *lo = loOf(b, t), *hi = hiOf(b, t);
            if ((lo && parentOf(lo, t) != b) || (hi && parentOf(hi, t) != b))
                return false;
            if (prev && !goesHigh(t, b, prev))
                return false;
            if (prev == b)
                return false;
            prev = b;
            return true;
        });
        if (!ok)
            return 3 + t;
    }
    // Walk every chunk; each free block met must be the next one of the
    // address tree's in-order sequence, and free blocks never touch.
    size_t freeInTree = 0;
    walkTree(h, TreeAddr, [&](uint8_t *) {
        freeInTree++;
        return true;
    });
    size_t freeInSize = 0;
    walkTree(h, TreeSize, [&](uint8_t *) {
        freeInSize++;
        return true;
    });
    if (freeInSize != freeInTree)
        return 5;
    size_t freeMet = 0;
    for (size_t i = 0; i < h->chunkCount; i++) {
        uint8_t *b;
        size_t len;
        chunkSpan(h->chunkTable[i], &b, &len);
        uint8_t *end = b + len;
        bool prevFree = false;
        while (b < end) {
            size_t s = bsize(b);
            if (s < Mem_minBlock || s % Mem_unit || s > size_t(end - b))
                return 6;
            bool isFree = findFollower(h, b) == b;
            if (isFree) {
                if (prevFree)
                    return 7;
                freeMet++;
                // It must be findable in the size tree too.
                uint8_t *node = h->sizeRoot;
                while (node && node != b)
                    node =
                        goesHigh(TreeSize, b, node) ? hiOf(node, TreeSize) : loOf(node, TreeSize);
                if (node != b)
                    return 8;
            }
            prevFree = isFree;
            b += s;
        }
    }
    if (freeMet != freeInTree)
        return 9;
    return 0;
}

void Mem_failAfter(uint64_t n)
{
    MemHeap *h = Mem_heapContext();
    if (h)
        h->failCountdown = n;
}

uint64_t Mem_failPending()
{
    MemHeap *h = Mem_heapContext();
    return h ? h->failCountdown : 0;
}

size_t Mem_blockSize(const void *ptr)
{
    if (!ptr)
        return 0;
    return *reinterpret_cast<const size_t *>(static_cast<const uint8_t *>(ptr) - Mem_wordSize);
}
