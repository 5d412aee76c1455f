// Interned name table: sorted index, id index and the added-name pool.
//
// Three parallel arrays keep the names in name order (their locations and
// their ids) and by id (their locations). Finding a name is a binary search
// over the sorted index; adding one appends it to the pool and opens a slot
// in the two name-order arrays, so ids stay fixed while the order changes.
#include "core/text/strtable.h"

#include <climits>
#include <cstring>

#include "core/mem/mem.h"
#include "core/text/ustr.h"

namespace {

const uint32_t kFirstCapacity = 20;
const size_t kJoinStackUnits = 20;

// The units of name up to its first 0 unit, at most length.
size_t effectiveLength(const char16_t *name, size_t length)
{
    size_t n = 0;
    while (n < length && name[n] != 0)
        n++;
    return n;
}

bool isBuiltin(int32_t loc)
{
    return loc >= 0;
}

const char *builtinAt(const StrTable *t, int32_t loc)
{
    return t->builtin + loc;
}

const char16_t *addedAt(const StrTable *t, int32_t loc)
{
    return t->added + (static_cast<int64_t>(-(static_cast<int64_t>(loc))) - 1);
}

size_t nameLength(const StrTable *t, int32_t loc)
{
    if (isBuiltin(loc))
        return strlen(builtinAt(t, loc));
    return Ustr_len(addedAt(t, loc));
}

// Compares key (length units, no 0 unit inside) with the name at loc over
// the key's length: negative when the key sorts first, positive after.
int compareKey(const StrTable *t, const char16_t *key, size_t length, int32_t loc)
{
    if (length == 0)
        return 0;
    if (isBuiltin(loc))
        return Ustr_nicmpCstr(key, builtinAt(t, loc), length);
    return Ustr_nicmp(key, addedAt(t, loc), length);
}

// Binary search over the positions. True with *pos the hit, or false with
// *pos where the key would go.
bool search(const StrTable *t, const char16_t *key, size_t length, uint32_t *pos)
{
    uint32_t lo = 0, hi = t->builtinCount + t->addedCount;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        int32_t loc = t->sorted[mid];
        int c = compareKey(t, key, length, loc);
        if (c < 0) {
            hi = mid;
        } else if (c > 0) {
            lo = mid + 1;
        } else {
            size_t nl = nameLength(t, loc);
            if (nl > length) {
                hi = mid;
            } else if (nl < length) {
                lo = mid + 1;
            } else {
                *pos = mid;
                return true;
            }
        }
    }
    *pos = lo;
    return false;
}

// Doubles the three arrays. The capacity changes only when all three
// grew; a block that grew before a later failure is simply larger.
bool growArrays(StrTable *t)
{
    if (t->capacity > UINT32_MAX / 2)
        return false;
    uint32_t cap = t->capacity * 2;
    int32_t *sorted = static_cast<int32_t *>(Mem_realloc(t->sorted, cap * sizeof(int32_t)));
    if (!sorted)
        return false;
    t->sorted = sorted;
    int32_t *byId = static_cast<int32_t *>(Mem_realloc(t->byId, cap * sizeof(int32_t)));
    if (!byId)
        return false;
    t->byId = byId;
    uint16_t *posToId = static_cast<uint16_t *>(Mem_realloc(t->posToId, cap * sizeof(uint16_t)));
    if (!posToId)
        return false;
    t->posToId = posToId;
    t->capacity = cap;
    return true;
}

// Makes room for need units in the added pool, growing it geometrically.
bool reservePool(StrTable *t, uint64_t need)
{
    if (need > INT32_MAX)
        return false; // locations are signed 32-bit
    if (need <= t->addedCapacity)
        return true;
    uint64_t cap = static_cast<uint64_t>(t->addedCapacity) * 2;
    if (cap < need)
        cap = need;
    if (cap > INT32_MAX)
        cap = INT32_MAX;
    char16_t *pool = static_cast<char16_t *>(Mem_realloc(t->added, cap * sizeof(char16_t)));
    if (!pool)
        return false;
    if (t->addedCapacity == 0)
        pool[0] = 0; // unit 0 is never a name
    t->added = pool;
    t->addedCapacity = static_cast<uint32_t>(cap);
    return true;
}

} // namespace

StrTable *StrTable_create(const char *builtin)
{
    StrTable *t = static_cast<StrTable *>(Mem_calloc(1, sizeof(StrTable)));
    if (!t)
        return nullptr;
    t->builtin = builtin;
    t->addedUsed = 1;
    t->capacity = kFirstCapacity;
    t->sorted = static_cast<int32_t *>(Mem_malloc(kFirstCapacity * sizeof(int32_t)));
    t->byId = static_cast<int32_t *>(Mem_malloc(kFirstCapacity * sizeof(int32_t)));
    t->posToId = static_cast<uint16_t *>(Mem_malloc(kFirstCapacity * sizeof(uint16_t)));
    if (!t->sorted || !t->byId || !t->posToId)
        goto fail;
    if (builtin) {
        size_t offset = 0;
        uint32_t count = 0;
        while (builtin[offset] != 0) {
            if (count >= StrTable_maxId || offset > INT32_MAX)
                goto fail;
            if (count == t->capacity && !growArrays(t))
                goto fail;
            t->sorted[count] = static_cast<int32_t>(offset);
            t->byId[count] = static_cast<int32_t>(offset);
            t->posToId[count] = static_cast<uint16_t>(count + 1);
            count++;
            offset += strlen(builtin + offset) + 1;
        }
        t->builtinCount = count;
    }
    return t;

fail:
    StrTable_destroy(t);
    return nullptr;
}

void StrTable_destroy(StrTable *table)
{
    if (!table)
        return;
    Mem_free(table->added);
    Mem_free(table->sorted);
    Mem_free(table->byId);
    Mem_free(table->posToId);
    Mem_free(table);
}

uint16_t StrTable_findN(const StrTable *table, const char16_t *name, size_t length)
{
    if (!table || (!name && length != 0))
        return 0;
    length = effectiveLength(name, length);
    uint32_t pos;
    if (!search(table, name, length, &pos))
        return 0;
    return table->posToId[pos];
}

uint16_t StrTable_find(const StrTable *table, const char16_t *name)
{
    return StrTable_findN(table, name, Ustr_len(name));
}

uint16_t StrTable_internN(StrTable *table, const char16_t *name, size_t length)
{
    if (!table || (!name && length != 0))
        return 0;
    length = effectiveLength(name, length);
    uint32_t pos;
    if (search(table, name, length, &pos))
        return table->posToId[pos];

    uint32_t total = table->builtinCount + table->addedCount;
    if (total >= StrTable_maxId)
        return 0;
    if (total + 1 > table->capacity && !growArrays(table))
        return 0;
    uint64_t need = static_cast<uint64_t>(table->addedUsed) + length + 1;
    if (!reservePool(table, need))
        return 0;

    uint32_t at = table->addedUsed;
    if (length)
        memcpy(table->added + at, name, length * sizeof(char16_t));
    table->added[at + length] = 0;
    table->addedUsed = static_cast<uint32_t>(need);
    table->addedCount++;

    int32_t loc = -static_cast<int32_t>(at) - 1;
    uint16_t id = static_cast<uint16_t>(total + 1);
    memmove(table->sorted + pos + 1, table->sorted + pos, (total - pos) * sizeof(int32_t));
    memmove(table->posToId + pos + 1, table->posToId + pos, (total - pos) * sizeof(uint16_t));
    table->sorted[pos] = loc;
    table->posToId[pos] = id;
    table->byId[id - 1] = loc;
    return id;
}

uint16_t StrTable_intern(StrTable *table, const char16_t *name)
{
    return StrTable_internN(table, name, Ustr_len(name));
}

void StrTable_entryAt(const StrTable *table, uint16_t id, const char **name8,
                      const char16_t **name16, size_t *length)
{
    if (name8)
        *name8 = nullptr;
    if (name16)
        *name16 = nullptr;
    if (length)
        *length = 0;
    if (!table || id == 0 || id > table->builtinCount + table->addedCount)
        return;
    int32_t loc = table->byId[id - 1];
    if (isBuiltin(loc)) {
        if (name8)
            *name8 = builtinAt(table, loc);
    } else {
        if (name16)
            *name16 = addedAt(table, loc);
    }
    if (length)
        *length = nameLength(table, loc);
}

char16_t *StrTable_getName(const StrTable *table, uint16_t id)
{
    const char *n8;
    const char16_t *n16;
    size_t len;
    StrTable_entryAt(table, id, &n8, &n16, &len);
    if (n8)
        return Ustr_fromCstrN(n8, len);
    if (n16)
        return Ustr_dupN(n16, len);
    return nullptr;
}

uint16_t StrTable_findJoined(const StrTable *table, const uint16_t *ids)
{
    if (!table || !ids)
        return 0;
    size_t total = 0;
    for (const uint16_t *p = ids; *p; p++) {
        size_t len;
        StrTable_entryAt(table, *p, nullptr, nullptr, &len);
        total += len;
    }
    char16_t local[kJoinStackUnits] = {};
    char16_t *buf = local;
    if (total > kJoinStackUnits) {
        buf = static_cast<char16_t *>(Mem_malloc(total * sizeof(char16_t)));
        if (!buf)
            return 0;
    }
    size_t at = 0;
    for (const uint16_t *p = ids; *p; p++) {
        const char *n8;
        const char16_t *n16;
        size_t len;
        StrTable_entryAt(table, *p, &n8, &n16, &len);
        for (size_t i = 0; i < len; i++)
            buf[at + i] = n8 ? static_cast<char16_t>(static_cast<uint8_t>(n8[i])) : n16[i];
        at += len;
    }
    uint16_t id = StrTable_findN(table, buf, total);
    if (buf != local)
        Mem_free(buf);
    return id;
}
