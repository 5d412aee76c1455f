// The store of device-space paths kept across bands: an open-addressed
// table keyed by the figure's words, bounded in bytes.
#include "graphics/keptpath.h"

#include <cstring>

#include "core/mem/mem.h"
#include "graphics/path.h"

namespace {

constexpr uint32_t keptpathFirstCapacity = 64;
// The outline word of a slot whose path was dropped: it matches no lookup
// but keeps the probe chains through it intact until the table is rebuilt.
constexpr uint32_t keptpathDropped = 2;

uint32_t keptpathHash(const void *key, uint32_t outline)
{
    uint64_t v = uint64_t(reinterpret_cast<uintptr_t>(key)) >> 2;
    v = v * 0x9E3779B97F4A7C15ull;
    return uint32_t(v >> 32) ^ outline;
}

bool keptpathSameMatrix(const Matrix &a, const Matrix &b)
{
    return a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.tx == b.tx && a.ty == b.ty;
}

// The slot holding (key, outline), or the free slot where it would go.
KeptPath *keptpathProbe(const KeptPaths *kept, const void *key, uint32_t outline)
{
    uint32_t mask = kept->capacity - 1;
    for (uint32_t i = keptpathHash(key, outline) & mask;; i = (i + 1) & mask) {
        KeptPath *slot = &kept->slots[i];
        if (!slot->key || (slot->key == key && slot->outline == outline))
            return slot;
    }
}

// Gives back the words of a slot: a block of their own is freed; a chunk
// goes with its last path, except the one words are cut from, which starts
// over.
void keptpathFreeWords(KeptPaths *kept, KeptPath *slot)
{
    KeptChunk *chunk = slot->chunk;
    if (!chunk) {
        kept->bytes -= uint64_t(slot->wordCount) * sizeof(int32_t);
        Mem_free(slot->words);
    } else if (--chunk->live == 0) {
        if (chunk == kept->chunks) {
            chunk->used = 0;
        } else {
            KeptChunk **link = &kept->chunks;
            while (*link != chunk)
                link = &(*link)->next;
            *link = chunk->next;
            kept->bytes -= KeptPaths_chunkBytes;
            Mem_free(chunk);
        }
    }
    slot->words = nullptr;
    slot->chunk = nullptr;
}

// Room for `need` bytes of words (a multiple of 4): cut from the current
// chunk, from a new one, or a block of its own for a large path. Null when
// the limit or the heap has no room.
int32_t *keptpathTakeWords(KeptPaths *kept, uint64_t need, KeptChunk **chunkOut)
{
    *chunkOut = nullptr;
    const uint64_t room = KeptPaths_chunkBytes - sizeof(KeptChunk);
    if (need > room / 4) {
        if (kept->bytes + need > kept->limit)
            return nullptr;
        int32_t *words = static_cast<int32_t *>(Mem_malloc(size_t(need)));
        if (words)
            kept->bytes += need;
        return words;
    }
    KeptChunk *chunk = kept->chunks;
    if (!chunk || chunk->used + need > room) {
        if (kept->bytes + KeptPaths_chunkBytes > kept->limit)
            return nullptr;
        chunk = static_cast<KeptChunk *>(Mem_malloc(KeptPaths_chunkBytes));
        if (!chunk)
            return nullptr;
        chunk->next = kept->chunks;
        chunk->used = 0;
        chunk->live = 0;
        kept->chunks = chunk;
        kept->bytes += KeptPaths_chunkBytes;
    }
    int32_t *words =
        reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(chunk + 1) + chunk->used);
    chunk->used += uint32_t(need);
    chunk->live++;
    *chunkOut = chunk;
    return words;
}

void keptpathDrop(KeptPaths *kept, KeptPath *slot)
{
    keptpathFreeWords(kept, slot);
    slot->wordCount = 0;
    slot->outline = keptpathDropped;
    kept->live--;
}

// A table of `capacity` slots holding the live paths of the old one. False
// when memory runs out (the old table stays).
bool keptpathRebuild(KeptPaths *kept, uint32_t capacity)
{
    KeptPath *slots = static_cast<KeptPath *>(Mem_calloc(capacity, sizeof(KeptPath)));
    if (!slots)
        return false;
    KeptPath *old = kept->slots;
    uint32_t oldCapacity = kept->capacity;
    kept->slots = slots;
    kept->capacity = capacity;
    kept->used = 0;
    kept->live = 0;
    for (uint32_t i = 0; i < oldCapacity; i++) {
        const KeptPath &s = old[i];
        if (!s.key || s.outline == keptpathDropped)
            continue;
        *keptpathProbe(kept, s.key, s.outline) = s;
        kept->used++;
        kept->live++;
    }
    Mem_free(old);
    kept->bytes = kept->bytes - uint64_t(oldCapacity) * sizeof(KeptPath) +
                  uint64_t(capacity) * sizeof(KeptPath);
    return true;
}

// Drops the paths that lie wholly above bandTop, once per band top.
void keptpathDropAbove(KeptPaths *kept, int32_t bandTop)
{
    if (kept->sweptOnce && kept->swept == bandTop)
        return;
    kept->sweptOnce = 1;
    kept->swept = bandTop;
    for (uint32_t i = 0; i < kept->capacity; i++) {
        KeptPath *s = &kept->slots[i];
        if (s->key && s->outline != keptpathDropped && s->box.y0 >= bandTop)
            keptpathDrop(kept, s);
    }
}

} // namespace

void KeptPaths_init(KeptPaths *kept, uint64_t limit)
{
    std::memset(kept, 0, sizeof *kept);
    kept->limit = limit;
}

uint64_t KeptPaths_limitFor(size_t heapBytes)
{
    uint64_t share = uint64_t(heapBytes) / KeptPaths_heapShare;
    return heapBytes && share < KeptPaths_defaultLimit ? share : uint64_t(KeptPaths_defaultLimit);
}

void KeptPaths_clear(KeptPaths *kept)
{
    for (uint32_t i = 0; i < kept->capacity; i++)
        if (!kept->slots[i].chunk)
            Mem_free(kept->slots[i].words);
    while (KeptChunk *chunk = kept->chunks) {
        kept->chunks = chunk->next;
        Mem_free(chunk);
    }
    Mem_free(kept->slots);
    kept->slots = nullptr;
    kept->capacity = kept->used = kept->live = 0;
    kept->bytes = 0;
    kept->sweptOnce = 0;
}

int KeptPaths_fetch(KeptPaths *kept, const KeptPathKey *key, Path *device, Rect *box)
{
    if (!kept->capacity || !key->key)
        return 0;
    const KeptPath *s = keptpathProbe(kept, key->key, key->outline);
    if (!s->key || s->scale != key->scale || !keptpathSameMatrix(s->matrix, *key->matrix))
        return 0;
    Path_reset(device);
    if (device->capacity < s->wordCount && Path_grow(device, s->wordCount) != 0)
        return 0;
    std::memcpy(device->buffer, s->words, size_t(s->wordCount) * sizeof(int32_t));
    device->write = device->buffer + s->wordCount;
    device->count = s->count;
    device->state = s->state;
    device->subpathStart = s->subpath >= 0 ? device->buffer + s->subpath : nullptr;
    *box = s->box;
    kept->hits++;
    return 1;
}

void KeptPaths_store(KeptPaths *kept, const KeptPathKey *key, const Path *device, const Rect *box,
                     int32_t bandTop)
{
    if (!key->key || device->state == Path_statePacked)
        return;
    uint32_t wordCount = Path_wordCount(device);
    uint64_t need = uint64_t(wordCount) * sizeof(int32_t);
    if (kept->capacity) {
        // Paths no later band shows go when a new band starts keeping.
        keptpathDropAbove(kept, bandTop);
        KeptPath *s = keptpathProbe(kept, key->key, key->outline);
        if (s->key)
            keptpathDrop(kept, s); // a path for another matrix or scale
    }
    // The table is rebuilt (leaving the dropped slots behind) when it is
    // half full, and doubled when the live paths alone fill a quarter of it.
    if (uint64_t(kept->used + 1) * 2 > kept->capacity) {
        uint32_t capacity = kept->capacity ? kept->capacity : keptpathFirstCapacity;
        while (uint64_t(kept->live + 1) * 4 > capacity)
            capacity *= 2;
        uint64_t growth =
            capacity > kept->capacity ? uint64_t(capacity - kept->capacity) * sizeof(KeptPath) : 0;
        if (kept->bytes + growth + need > kept->limit || !keptpathRebuild(kept, capacity))
            return;
    }
    KeptChunk *chunk = nullptr;
    int32_t *words = keptpathTakeWords(kept, need ? need : sizeof(int32_t), &chunk);
    if (!words)
        return;
    std::memcpy(words, device->buffer, size_t(need));
    KeptPath *s = keptpathProbe(kept, key->key, key->outline);
    if (!s->key)
        kept->used++;
    kept->live++;
    s->key = key->key;
    s->outline = key->outline;
    s->scale = key->scale;
    s->matrix = *key->matrix;
    s->box = *box;
    s->words = words;
    s->chunk = chunk;
    s->wordCount = wordCount;
    s->count = device->count;
    s->subpath = device->subpathStart ? int32_t(device->subpathStart - device->buffer) : -1;
    s->state = device->state;
}
