// Shape property tables: FOPT records parsed into EscherPropSet.
#include <cstring>

#include "core/mem/mem.h"
#include "core/stream/bytestream.h"
#include "office/officeart/escher.h"

namespace {

// Builds the value of a complex block of n bytes at p, avail bytes being
// left in the record from p. *fail for an array whose elements do not fit.
// *used is the bytes the block fills: n, or, for an array whose entry
// leaves out the 6-byte array head (the vertices are written so) while the
// record holds those bytes beyond what the entries claim (*slack), the
// head and its elements.
void *complexValue(uint32_t id, const uint8_t *p, uint32_t n, uint32_t avail, int *fail,
                   uint32_t *used, uint64_t *slack)
{
    *used = n;
    EscherComplexKind kind = Escher_complexKind(id);
    if (kind == EscherComplex_array || kind == EscherComplex_vertices) {
        if (n == 0 || avail < 6)
            return nullptr;
        uint32_t count = Bytes_peekU16Le(p);
        uint32_t allocated = Bytes_peekU16Le(p + 2);
        int16_t rawSize = int16_t(Bytes_peekU16Le(p + 4));
        uint32_t size;
        if (rawSize > 0)
            size = uint32_t(rawSize);
        else
            size = allocated ? n / allocated : n;
        uint64_t bytes = uint64_t(count) * size;
        if (bytes > avail - 6) {
            *fail = 1;
            return nullptr;
        }
        if (bytes == n && *slack >= 6) {
            *used = n + 6;
            *slack -= 6;
        }
        auto *array =
            static_cast<EscherPropArray *>(Mem_malloc(sizeof(EscherPropArray) + size_t(bytes) + 1));
        if (!array) {
            *fail = 1;
            return nullptr;
        }
        array->count = int32_t(count);
        array->size = int32_t(size);
        if (bytes)
            memcpy(array + 1, p + 6, size_t(bytes));
        return array;
    }
    // Every other block must lie inside the record; one that does not is
    // left null.
    if (n == 0 || n > avail)
        return nullptr;
    if (kind == EscherComplex_utf16) {
        uint32_t units = n / 2;
        auto *text = static_cast<char16_t *>(Mem_malloc((size_t(units) + 1) * sizeof(char16_t)));
        if (!text) {
            *fail = 1;
            return nullptr;
        }
        for (uint32_t i = 0; i < units; i++)
            text[i] = char16_t(Bytes_peekU16Le(p + 2 * i));
        text[units] = 0;
        return text;
    }
    if (kind == EscherComplex_string8) {
        auto *text = static_cast<char *>(Mem_malloc(size_t(n) + 1));
        if (!text) {
            *fail = 1;
            return nullptr;
        }
        memcpy(text, p, n);
        text[n] = 0;
        return text;
    }
    auto *block = static_cast<EscherPropBlock *>(Mem_malloc(sizeof(EscherPropBlock) + n));
    if (!block) {
        *fail = 1;
        return nullptr;
    }
    block->length = n;
    memcpy(block + 1, p, n);
    return block;
}

} // namespace

const uint8_t *EscherPropArray_elements(const EscherPropArray *array)
{
    return reinterpret_cast<const uint8_t *>(array + 1);
}

const uint8_t *EscherPropBlock_bytes(const EscherPropBlock *block)
{
    return reinterpret_cast<const uint8_t *>(block + 1);
}

EscherPropSet *Escher_propParse(const uint8_t *bytes, uint32_t length, uint32_t count)
{
    if (!bytes)
        length = 0;
    // Only the entries the record holds are read.
    if (count > length / 6)
        count = length / 6;
    auto *set = static_cast<EscherPropSet *>(
        Mem_calloc(1, sizeof(EscherPropSet) + size_t(count) * sizeof(EscherProp)));
    if (!set)
        return nullptr;
    set->entries = reinterpret_cast<EscherProp *>(set + 1);
    uint32_t at = 6 * count;
    uint32_t avail = length - at;
    // The bytes the record holds beyond the blocks its entries claim.
    uint64_t claimed = 0;
    for (uint32_t i = 0; i < count; i++)
        if (Bytes_peekU16Le(bytes + 6 * i) & 0x8000u)
            claimed += Bytes_peekU32Le(bytes + 6 * i + 2);
    uint64_t slack = claimed < avail ? avail - claimed : 0;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *e = bytes + 6 * i;
        uint16_t word = Bytes_peekU16Le(e);
        EscherProp *prop = &set->entries[i];
        prop->id = word & 0x3FFFu;
        prop->flags = uint32_t(word >> 14);
        prop->value = Bytes_peekU32Le(e + 2);
        set->count = i + 1;
        if (!(prop->flags & EscherProp_complex))
            continue;
        uint32_t n = prop->value;
        int fail = 0;
        prop->data = complexValue(prop->id, bytes + at, n, avail, &fail, &n, &slack);
        if (fail) {
            Escher_propFree(set);
            return nullptr;
        }
        // A block that runs past the record leaves nothing for the rest.
        if (n >= avail) {
            at = length;
            avail = 0;
        } else {
            at += n;
            avail -= n;
        }
    }
    return set;
}

const EscherProp *Escher_propFind(uint32_t id, const EscherPropSet *set)
{
    if (!set || set->count == 0)
        return nullptr;
    const EscherProp *e = set->entries;
    uint32_t last = set->count - 1;
    if (id < e[0].id || id > e[last].id)
        return nullptr;
    if (e[0].id == id)
        return &e[0];
    uint32_t lo = 1, hi = last;
    while (lo <= hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (e[mid].id == id)
            return &e[mid];
        if (e[mid].id < id)
            lo = mid + 1;
        else if (mid == 0)
            break;
        else
            hi = mid - 1;
    }
    return nullptr;
}

const EscherProp *Escher_propFindInherited(uint32_t id, const EscherPropSet *set,
                                           const EscherDrawingGroup *group)
{
    const EscherProp *found = Escher_propFind(id, set);
    if (found || !group)
        return found;
    const EscherProp *master = Escher_propFind(769, set);
    if (!master)
        return nullptr;
    for (uint32_t i = 0; i < group->count; i++) {
        if (group->shapes[i].shapeId == master->value)
            return Escher_propFind(id, group->shapes[i].props);
    }
    return nullptr;
}

void Escher_propFree(EscherPropSet *set)
{
    if (!set)
        return;
    for (uint32_t i = set->count; i-- > 0;) {
        if (set->entries[i].flags & EscherProp_complex)
            Mem_free(set->entries[i].data);
    }
    Mem_free(set);
}

EscherComplexKind Escher_complexKind(uint32_t id)
{
    switch (id) {
    case 192:
    case 197:
    case 261:
    case 272:
    case 391:
    case 454:
    case 896:
    case 897: return EscherComplex_utf16;
    case 193: return EscherComplex_string8;
    case 325: return EscherComplex_vertices;
    case 326:
    case 407:
    case 463:
    case 899: return EscherComplex_array;
    default: return EscherComplex_block;
    }
}
