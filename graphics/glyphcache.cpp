// Budgeted caches of rendered glyph data: the path cache and the mask cache.
//
// Both caches are one heap block laid out as header, bucket heads (plus the
// head of the free-entry list), entry pool and data area. The data area is
// handed out first fit from a free list kept in address order; a freed
// block merges at once with the free blocks on either side, so a drop or an
// eviction leaves the area as unfragmented as the live blocks allow. The
// two caches differ only in their entry records and keys, so the arena
// algorithms below are small helpers over the header and entry types.
//
// Use stamps are 64-bit: with 32-bit stamps the counter would wrap after
// 2^32 uses and the newest entries would then look the oldest, so a cache
// running that long would evict exactly what it had just stored.
#include "graphics/glyphcache.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/glyphmask.h"
#include "graphics/path.h"

namespace {

constexpr size_t alignUp(size_t v, size_t a)
{
    return (v + a - 1) & ~(a - 1);
}

// Budget shares of the entry pools: entries = (share x bytes / 1024) / per.
constexpr uint64_t PathPoolShare = 154, PathPoolPer = 24;
constexpr uint64_t MaskPoolShare = 384, MaskPoolPer = 60;

struct ArenaLayout {
    uint32_t entries;
    uint32_t buckets;
    size_t bucketsOffset;
    size_t entriesOffset;
    size_t dataOffset;
    size_t dataSize;
};

// Where everything goes in an arena of `bytes` bytes.
constexpr ArenaLayout layoutFor(size_t bytes, size_t headerSize, size_t entrySize,
                                size_t entryAlign, uint64_t share, uint64_t per)
{
    ArenaLayout l{};
    l.entries = static_cast<uint32_t>((share * bytes / 1024) / per);
    uint32_t quarter = l.entries / 4;
    l.buckets = 1;
    while (l.buckets <= quarter / 2)
        l.buckets *= 2;
    l.bucketsOffset = alignUp(headerSize, alignof(void *));
    l.entriesOffset =
        alignUp(l.bucketsOffset + (l.buckets + size_t{1}) * sizeof(void *), entryAlign);
    l.dataOffset = alignUp(l.entriesOffset + size_t{l.entries} * entrySize, 8);
    l.dataSize = bytes > l.dataOffset ? (bytes - l.dataOffset) & ~size_t{7} : 0;
    return l;
}

// The smallest arena (a budget of 1 KiB) still leaves a usable data area;
// larger ones keep the same proportions.
static_assert(layoutFor(1024, sizeof(LruCache), sizeof(LruPathEntry), alignof(LruPathEntry),
                        PathPoolShare, PathPoolPer)
                  .dataSize >= 512);
static_assert(layoutFor(1024, sizeof(LruArena), sizeof(LruMaskEntry), alignof(LruMaskEntry),
                        MaskPoolShare, MaskPoolPer)
                  .dataSize >= 256);
static_assert(sizeof(LruFreeBlock) == 16 && alignof(LruFreeBlock) <= 8);

// The budget in bytes: below 1024 it counts kilobytes.
size_t budgetBytes(int32_t budget)
{
    size_t b = static_cast<size_t>(budget);
    return b < 1024 ? b * 1024 : b;
}

uint32_t hashKey(uint32_t key, uint32_t bucketCount)
{
    uint32_t h = key ^ (key >> 16);
    h = (h ^ (h >> 8)) * 0x9e3779b9u;
    return h & (bucketCount - 1);
}

uint32_t maskHash(const LruMaskKey *key, uint32_t bucketCount)
{
    return hashKey(key->glyph + static_cast<uint32_t>(key->a) + static_cast<uint32_t>(key->d),
                   bucketCount);
}

// ------------------------------------------------------------ arena core

template <typename H, typename E> void arenaReset(H *h)
{
    h->useCounter = 0;
    for (uint32_t i = 0; i < h->bucketCount; i++)
        h->buckets[i] = nullptr;
    memset(static_cast<void *>(h->entries), 0, size_t{h->entryCount} * sizeof(E));
    for (uint32_t i = 0; i + 1 < h->entryCount; i++)
        h->entries[i].next = &h->entries[i + 1];
    h->buckets[h->bucketCount] = h->entryCount ? h->entries : nullptr;
    LruFreeBlock *all = reinterpret_cast<LruFreeBlock *>(h->data);
    all->next = nullptr;
    all->size = h->dataSize;
    h->freeList = all;
}

// Makes *arena one block of `bytes` bytes laid out afresh and reset; the old
// arena is kept untouched when memory runs out.
template <typename H, typename E>
int arenaResize(H **arena, size_t bytes, uint64_t share, uint64_t per)
{
    ArenaLayout l = layoutFor(bytes, sizeof(H), sizeof(E), alignof(E), share, per);
    void *block = Mem_realloc(*arena, bytes);
    if (!block)
        return Res_noMemory;
    uint8_t *base = static_cast<uint8_t *>(block);
    H *h = static_cast<H *>(block);
    h->bucketCount = l.buckets;
    h->buckets = reinterpret_cast<E **>(base + l.bucketsOffset);
    h->entryCount = l.entries;
    h->entries = reinterpret_cast<E *>(base + l.entriesOffset);
    h->dataSize = l.dataSize;
    h->data = base + l.dataOffset;
    arenaReset<H, E>(h);
    *arena = h;
    return Res_ok;
}

// First fit: takes `size` bytes from the end of the first free block large
// enough, or the whole block when it is exactly that size or the rest could
// not hold a free-block record. *taken = the bytes taken. Null when no free
// block is large enough.
template <typename H> void *takeBlock(H *h, size_t size, size_t *taken)
{
    for (LruFreeBlock **link = &h->freeList; *link; link = &(*link)->next) {
        LruFreeBlock *f = *link;
        if (f->size < size)
            continue;
        if (f->size - size < sizeof(LruFreeBlock)) {
            *link = f->next;
            *taken = f->size;
            return f;
        }
        f->size -= size;
        *taken = size;
        return reinterpret_cast<uint8_t *>(f) + f->size;
    }
    return nullptr;
}

// Returns a block to the free list in address order, merged with a free
// block that ends where it starts and with one that starts where it ends.
template <typename H> void releaseBlock(H *h, void *block, size_t size)
{
    uint8_t *start = static_cast<uint8_t *>(block);
    LruFreeBlock *prev = nullptr, *next = h->freeList;
    while (next && reinterpret_cast<uint8_t *>(next) < start) {
        prev = next;
        next = next->next;
    }
    LruFreeBlock *f;
    if (prev && reinterpret_cast<uint8_t *>(prev) + prev->size == start) {
        f = prev;
        f->size += size;
    } else {
        f = reinterpret_cast<LruFreeBlock *>(start);
        f->size = size;
        f->next = next;
        if (prev)
            prev->next = f;
        else
            h->freeList = f;
    }
    if (next && reinterpret_cast<uint8_t *>(f) + f->size == reinterpret_cast<uint8_t *>(next)) {
        f->size += next->size;
        f->next = next->next;
    }
}

// Gives an entry (already unlinked from its bucket) and its block back.
template <typename H, typename E> void freeEntry(H *h, E *e)
{
    releaseBlock(h, e->data, e->blockSize);
    e->data = nullptr;
    e->blockSize = 0;
    e->next = h->buckets[h->bucketCount];
    h->buckets[h->bucketCount] = e;
}

// Evicts the bucket head with the smallest stamp (the first such bucket on
// ties). False when every bucket is empty.
template <typename H, typename E> bool evictOldest(H *h)
{
    E *oldest = nullptr;
    uint32_t where = 0;
    for (uint32_t b = 0; b < h->bucketCount; b++) {
        E *e = h->buckets[b];
        if (e && (!oldest || e->stamp < oldest->stamp)) {
            oldest = e;
            where = b;
        }
    }
    if (!oldest)
        return false;
    h->buckets[where] = oldest->next;
    freeEntry(h, oldest);
    return true;
}

template <typename H, typename E> void arenaDropId(H *h, uintptr_t id)
{
    for (uint32_t b = 0; b < h->bucketCount; b++) {
        E **link = &h->buckets[b];
        while (*link) {
            E *e = *link;
            if (e->id == id) {
                *link = e->next;
                freeEntry(h, e);
            } else {
                link = &e->next;
            }
        }
    }
}

// True when [p, p + bytes) overlaps the arena's data area. Data that the
// cache itself holds cannot be stored again: making room for the copy may
// evict the original and write a free-block record over it before it is
// copied.
template <typename H> bool inData(const H *h, const void *p, uint64_t bytes)
{
    uintptr_t start = reinterpret_cast<uintptr_t>(p);
    uintptr_t area = reinterpret_cast<uintptr_t>(h->data);
    return p && start < area + h->dataSize && (start >= area || area - start < bytes);
}

// Steps 1 to 3 and 5 of an insertion: a data block of `size` bytes (evicting
// the oldest bucket heads until one is free) and an entry (evicting once
// more when the pool is empty), appended to the end of `bucket`, stamped
// and with its block set. The caller fills the key and copies the data.
// Null when the size is not below the data area's (nothing is evicted).
template <typename H, typename E> E *arenaInsert(H *h, uint32_t bucket, uint64_t size, uintptr_t id)
{
    if (size >= h->dataSize)
        return nullptr;
    size_t taken = 0;
    void *block;
    while (!(block = takeBlock(h, static_cast<size_t>(size), &taken))) {
        if (!evictOldest<H, E>(h))
            return nullptr; // cannot happen: an empty area holds any smaller block
    }
    E *e = h->buckets[h->bucketCount];
    if (!e && evictOldest<H, E>(h))
        e = h->buckets[h->bucketCount];
    if (!e) { // an empty pool: nothing to give the block to
        releaseBlock(h, block, taken);
        return nullptr;
    }
    h->buckets[h->bucketCount] = e->next;
    E **link = &h->buckets[bucket];
    while (*link)
        link = &(*link)->next;
    *link = e;
    e->next = nullptr;
    e->id = id;
    e->data = static_cast<decltype(e->data)>(block);
    e->blockSize = taken;
    e->stamp = h->useCounter++;
    return e;
}

// ------------------------------------------------------ coverage scaling

// One line of the box reduction (see cache.h).
struct LineReducer {
    int64_t phase;
    int64_t acc;
    int64_t step; // s
    int64_t span; // 16n
    int64_t k;
    uint8_t *out;
    size_t stride;
    uint32_t written;
    uint32_t cap;
};

void reducerStart(LineReducer *r, uint32_t n, uint32_t ratio, int32_t offset, uint8_t *out,
                  size_t stride, uint32_t m)
{
    int64_t n64 = n ? n : 1;
    r->span = 16 * n64;
    r->step = static_cast<int64_t>((uint64_t{ratio} * static_cast<uint64_t>(n64)) >> 12);
    r->phase = offset - r->span;
    r->acc = 0;
    r->k = (70000 / r->span + 1) * 128;
    r->out = out;
    r->stride = stride;
    r->written = 0;
    r->cap = m;
}

// (acc x k) >> 23; a product past the signed 32-bit range is 255. The
// product is formed in 64 bits: wrapped in 32 bits, a long line of full
// coverage would come out as a small, wrong value.
void reducerEmit(LineReducer *r, int64_t acc)
{
    if (r->written >= r->cap)
        return;
    int64_t p = acc * r->k;
    uint8_t v = p > INT32_MAX ? 255 : static_cast<uint8_t>(p >> 23);
    r->out[size_t{r->written} * r->stride] = v;
    r->written++;
}

inline void reducerPush(LineReducer *r, uint32_t v)
{
    r->phase += r->step;
    if (r->phase < 0) {
        r->acc += int64_t{v} * r->step;
        return;
    }
    reducerEmit(r, r->acc + int64_t{v} * (r->step - r->phase));
    r->acc = int64_t{v} * r->phase;
    r->phase -= r->span;
}

void reducerFinish(LineReducer *r)
{
    if (r->phase > -r->span)
        reducerEmit(r, r->acc);
    for (; r->written < r->cap; r->written++)
        r->out[size_t{r->written} * r->stride] = 0;
}

void pushRun(LineReducer *r, uint32_t value, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++)
        reducerPush(r, value);
}

// Feeds row `row` of a run-coded mask (width samples) to the reducer. Rows
// outside the table, offsets outside the codes and runs past the width or
// the codes' end read as coverage 0.
void decodeRow(const GlyphMask *m, uint32_t row, LineReducer *r)
{
    uint32_t width = m->width, x = 0;
    uint32_t offset = row < m->rowsSize / 4 ? m->rows[row] : GlyphMask_emptyRow;
    if (!(offset & GlyphMask_emptyRow) && m->codes && offset < m->codesSize) {
        const uint8_t *p = m->codes + offset;
        const uint8_t *end = m->codes + m->codesSize;
        while (x < width && end - p >= 2) {
            uint32_t code = p[0] | uint32_t{p[1]} << 8;
            p += 2;
            uint32_t len = code & GlyphMask_lengthMask;
            switch (code & GlyphMask_kindMask) {
            case GlyphMask_kindFull:
                len = std::min(len, width - x);
                pushRun(r, 255, len);
                x += len;
                break;
            case GlyphMask_kindSkip:
                len = std::min(len, width - x);
                pushRun(r, 0, len);
                x += len;
                break;
            case GlyphMask_kindLiteral: {
                size_t have = static_cast<size_t>(end - p);
                for (uint32_t i = 0; i < len && x < width; i++, x++)
                    reducerPush(r, i < have ? p[i] : 0);
                p += std::min(have, size_t{len} + (len & 1));
                break;
            }
            default: // one pixel
                reducerPush(r, code & 0xFF);
                x++;
                break;
            }
            if (code & GlyphMask_lastCode)
                break;
        }
    }
    pushRun(r, 0, width - x);
}

void glyphCachePutCode(uint8_t *codes, size_t *at, uint32_t code)
{
    codes[(*at)++] = static_cast<uint8_t>(code);
    codes[(*at)++] = static_cast<uint8_t>(code >> 8);
}

// Run-codes one row of coverage bytes at codes + *at (at most 2 bytes per
// pixel); the row's last code gets the end bit. The row must not be all 0.
void glyphCacheEncodeRow(const uint8_t *v, uint32_t width, uint8_t *codes, size_t *at)
{
    size_t last = 0;
    uint32_t x = 0;
    while (x < width) {
        last = *at;
        uint8_t c = v[x];
        uint32_t run = 1;
        if (c == 0 || c == 255) {
            while (x + run < width && v[x + run] == c && run < GlyphMask_lengthMask)
                run++;
            glyphCachePutCode(codes, at, (c ? GlyphMask_kindFull : GlyphMask_kindSkip) | run);
        } else {
            while (x + run < width && v[x + run] != 0 && v[x + run] != 255 &&
                   run < GlyphMask_lengthMask)
                run++;
            if (run == 1) {
                glyphCachePutCode(codes, at, GlyphMask_kindPixel | c);
            } else {
                glyphCachePutCode(codes, at, GlyphMask_kindLiteral | run);
                memcpy(codes + *at, v + x, run);
                *at += run;
                if (run & 1)
                    codes[(*at)++] = 0;
            }
        }
        x += run;
    }
    codes[last + 1] |= GlyphMask_lastCode >> 8;
}

// want / have as 16.16 (want <= have, both positive): at most 0x10000.
uint32_t ratio16(int64_t want, int64_t have)
{
    uint64_t num = static_cast<uint64_t>(want), den = static_cast<uint64_t>(have);
    while (den >> 47) {
        num >>= 1;
        den >>= 1;
    }
    if (den == 0)
        return 0x10000;
    return static_cast<uint32_t>(std::min<uint64_t>((num << 16) / den, 0x10000));
}

// Length scaled by a 16.16 ratio (<= 1), to nearest, at least 1 when the
// length is not 0.
uint32_t scaleLength(uint32_t len, uint32_t ratio)
{
    if (len == 0)
        return 0;
    uint32_t v = static_cast<uint32_t>((uint64_t{len} * ratio + 0x8000) >> 16);
    return std::clamp<uint32_t>(v, 1, len);
}

int16_t scaleCoord(int16_t c, uint32_t ratio)
{
    int64_t v = (int64_t{c} * ratio + 0x8000) >> 16;
    return static_cast<int16_t>(v);
}

// Reduces the mask of entry e to (wantW, wantH) in scaled units into the
// scratch buffer: the header, the row table, the codes and, behind them,
// the work area of the reduction. Null when the result would not fit the
// scratch limit or the buffer cannot grow.
GlyphMask *scaleEntry(LruArena *a, const LruMaskEntry *e, int64_t wantW, int64_t wantH)
{
    const GlyphMask *src = e->data;
    uint32_t rx = ratio16(wantW, e->scaledWidth), ry = ratio16(wantH, e->scaledHeight);
    uint32_t w = src->width, h = src->height;
    uint32_t outW = scaleLength(w, rx), outH = scaleLength(h, ry);
    size_t rowsOffset = alignUp(sizeof(GlyphMask), 8);
    size_t codesOffset = rowsOffset + size_t{outH} * 4;
    size_t workOffset = codesOffset + 2 * size_t{outW} * outH;
    size_t need = workOffset + size_t{outW} * h;
    if (need > LruArena_scratchLimit)
        return nullptr;
    if (a->scratchSize < need) {
        void *grown = Mem_realloc(a->scratch, need);
        if (!grown)
            return nullptr;
        a->scratch = static_cast<uint8_t *>(grown);
        a->scratchSize = need;
    }
    uint8_t *base = a->scratch;
    uint32_t *rows = reinterpret_cast<uint32_t *>(base + rowsOffset);
    uint8_t *codes = base + codesOffset;
    uint8_t *work = base + workOffset;

    uint32_t rowRatio = MaskScale_ratio(w, outW);
    for (uint32_t y = 0; y < h; y++) {
        LineReducer r;
        reducerStart(&r, w, rowRatio, 0, work + size_t{y} * outW, 1, outW);
        decodeRow(src, y, &r);
        reducerFinish(&r);
    }
    MaskScale_columns(work, outW, h, outW, outH, MaskScale_ratio(h, outH), 0);

    size_t at = 0;
    for (uint32_t y = 0; y < outH; y++) {
        const uint8_t *line = work + size_t{y} * outW;
        bool empty = true;
        for (uint32_t x = 0; x < outW && empty; x++)
            empty = line[x] == 0;
        if (empty) {
            rows[y] = GlyphMask_emptyRow;
            continue;
        }
        rows[y] = static_cast<uint32_t>(at);
        glyphCacheEncodeRow(line, outW, codes, &at);
    }

    GlyphMask *out = reinterpret_cast<GlyphMask *>(base);
    out->width = static_cast<uint16_t>(outW);
    out->height = static_cast<uint16_t>(outH);
    out->x = scaleCoord(src->x, rx);
    out->y = scaleCoord(src->y, ry);
    out->scale = src->scale;
    out->rows = rows;
    out->rowsSize = outH * 4;
    out->codes = at ? codes : nullptr;
    out->codesSize = static_cast<uint32_t>(at);
    return out;
}

// The scaled reuse of LruArena_find: the first class-130 entry of the same
// owner, glyph and extra word, at least as large in both directions, whose
// reduction fits the scratch buffer.
GlyphMask *findScaled(LruArena *a, uintptr_t id, const LruMaskKey *key)
{
    if (!(key->glyph & LruArena_glyphReuse) ||
        LruArena_transformClass(key->a, key->b, key->c, key->d) != LruArena_classPlainScale)
        return nullptr;
    int64_t wantW = int64_t{key->size} * key->a, wantH = int64_t{key->size} * key->d;
    if (wantW <= 0 || wantH <= 0)
        return nullptr;
    for (uint32_t i = 0; i < a->entryCount; i++) {
        LruMaskEntry *e = &a->entries[i];
        if (!e->data || e->id != id || e->glyph != key->glyph || e->extra != key->extra ||
            e->transformClass != LruArena_classPlainScale || e->scaledWidth < wantW ||
            e->scaledHeight < wantH)
            continue;
        GlyphMask *m = scaleEntry(a, e, wantW, wantH);
        if (m) {
            e->stamp = a->useCounter++;
            return m;
        }
    }
    return nullptr;
}

} // namespace

// ------------------------------------------------------------ path cache

int LruCache_resize(int32_t budget, LruCache **arena)
{
    if (!arena)
        return Res_nullInput;
    if (budget <= 0) {
        LruCache_destroy(*arena);
        *arena = nullptr;
        return Res_ok;
    }
    return arenaResize<LruCache, LruPathEntry>(arena, budgetBytes(budget), PathPoolShare,
                                               PathPoolPer);
}

int LruCache_find(LruCache *cache, uintptr_t id, uint32_t key, Path **out)
{
    if (out)
        *out = nullptr;
    if (!cache || !out)
        return 0;
    for (LruPathEntry *e = cache->buckets[hashKey(key, cache->bucketCount)]; e; e = e->next) {
        if (e->id == id && e->key == key) {
            e->stamp = cache->useCounter++;
            *out = e->data;
            return 1;
        }
    }
    return 0;
}

int LruCache_insert(LruCache *cache, uintptr_t id, uint32_t key, Path **path)
{
    if (!cache || !path || !*path)
        return 0;
    const Path *p = *path;
    if (p->write < p->buffer)
        return 0;
    uint64_t bytes = uint64_t{static_cast<uint64_t>(p->write - p->buffer)} * sizeof(int32_t);
    uint64_t size = alignUp(sizeof(Path) + bytes, 8);
    if (inData(cache, p, sizeof(Path)) || inData(cache, p->buffer, bytes))
        return 0;
    LruPathEntry *e =
        arenaInsert<LruCache, LruPathEntry>(cache, hashKey(key, cache->bucketCount), size, id);
    if (!e)
        return 0;
    e->key = key;
    Path_embed(e->data, p);
    *path = e->data;
    return 1;
}

void LruCache_dropId(LruCache *cache, uintptr_t id)
{
    if (cache)
        arenaDropId<LruCache, LruPathEntry>(cache, id);
}

void LruCache_reset(LruCache *cache)
{
    if (cache)
        arenaReset<LruCache, LruPathEntry>(cache);
}

void LruCache_destroy(LruCache *arena)
{
    Mem_free(arena);
}

// ------------------------------------------------------------ mask cache

uint32_t LruArena_transformClass(int32_t a, int32_t b, int32_t c, int32_t d)
{
    auto sign = [](int32_t v) -> uint32_t { return v == 0 ? 0 : v < 0 ? 1 : 2; };
    return sign(a) | sign(b) << 2 | sign(c) << 4 | sign(d) << 6;
}

int LruArena_resize(int32_t budget, LruArena **arena)
{
    if (!arena)
        return Res_nullInput;
    if (budget <= 0) {
        LruArena_destroy(*arena);
        *arena = nullptr;
        return Res_ok;
    }
    uint8_t *oldScratch = *arena ? (*arena)->scratch : nullptr;
    int rc =
        arenaResize<LruArena, LruMaskEntry>(arena, budgetBytes(budget), MaskPoolShare, MaskPoolPer);
    if (rc != Res_ok)
        return rc;
    Mem_free(oldScratch);
    (*arena)->scratch = nullptr;
    (*arena)->scratchSize = 0;
    return Res_ok;
}

int LruArena_find(LruArena *cache, uintptr_t id, const LruMaskKey *key, GlyphMask **out)
{
    if (out)
        *out = nullptr;
    if (!cache || !key || !out)
        return 0;
    for (LruMaskEntry *e = cache->buckets[maskHash(key, cache->bucketCount)]; e; e = e->next) {
        if (e->id == id && e->glyph == key->glyph && e->extra == key->extra && e->a == key->a &&
            e->b == key->b && e->c == key->c && e->d == key->d && e->size == key->size) {
            e->stamp = cache->useCounter++;
            *out = e->data;
            return 1;
        }
    }
    *out = findScaled(cache, id, key);
    return *out ? 1 : 0;
}

int LruArena_insert(LruArena *cache, uintptr_t id, const LruMaskKey *key, GlyphMask **mask)
{
    if (!cache || !key || !mask || !*mask)
        return 0;
    const GlyphMask *m = *mask;
    // 64-bit sum: two 32-bit sizes must not wrap into a small block.
    uint64_t size = alignUp(sizeof(GlyphMask) + uint64_t{m->rowsSize} + m->codesSize, 8);
    if (inData(cache, m, sizeof(GlyphMask)) || inData(cache, m->rows, m->rowsSize) ||
        inData(cache, m->codes, m->codesSize))
        return 0;
    LruMaskEntry *e =
        arenaInsert<LruArena, LruMaskEntry>(cache, maskHash(key, cache->bucketCount), size, id);
    if (!e)
        return 0;
    e->glyph = key->glyph;
    e->a = key->a;
    e->b = key->b;
    e->c = key->c;
    e->d = key->d;
    e->transformClass = LruArena_transformClass(key->a, key->b, key->c, key->d);
    bool plain = e->transformClass == LruArena_classPlainScale;
    e->scaledWidth = plain ? int64_t{key->size} * key->a : 0;
    e->scaledHeight = plain ? int64_t{key->size} * key->d : 0;
    e->extra = key->extra;
    e->size = key->size;
    GlyphMask_copyTo(e->data, m);
    *mask = e->data;
    return 1;
}

void LruArena_dropId(LruArena *cache, uintptr_t id)
{
    if (cache)
        arenaDropId<LruArena, LruMaskEntry>(cache, id);
}

void LruArena_reset(LruArena *cache)
{
    if (cache)
        arenaReset<LruArena, LruMaskEntry>(cache);
}

void LruArena_destroy(LruArena *arena)
{
    if (!arena)
        return;
    Mem_free(arena->scratch);
    Mem_free(arena);
}

// --------------------------------------------------------- mask scaling

uint32_t MaskScale_ratio(uint32_t n, uint32_t m)
{
    if (n == 0)
        return 0x10000;
    return static_cast<uint32_t>((uint64_t{m} * 0x10000 + n - 1) / n);
}

void MaskScale_rows(const uint8_t *src, size_t srcStride, uint32_t n, uint32_t lines, uint8_t *dst,
                    size_t dstStride, uint32_t m, uint32_t ratio, int32_t offset)
{
    for (uint32_t y = 0; y < lines; y++) {
        const uint8_t *in = src + size_t{y} * srcStride;
        LineReducer r;
        reducerStart(&r, n, ratio, offset, dst + size_t{y} * dstStride, 1, m);
        for (uint32_t i = 0; i < n; i++)
            reducerPush(&r, in[i]);
        reducerFinish(&r);
    }
}

void MaskScale_columns(uint8_t *buf, size_t stride, uint32_t n, uint32_t columns, uint32_t m,
                       uint32_t ratio, int32_t offset)
{
    m = std::min(m, n);
    for (uint32_t x = 0; x < columns; x++) {
        LineReducer r;
        reducerStart(&r, n, ratio, offset, buf + x, stride, m);
        // Each sample writes at most one output, at an index no higher than
        // its own, so every sample is read before its row is overwritten.
        for (uint32_t i = 0; i < n; i++)
            reducerPush(&r, buf[x + size_t{i} * stride]);
        reducerFinish(&r);
    }
}
