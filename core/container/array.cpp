// Growable pointer array: doubling growth on the engine heap.
#include "core/container/array.h"

#include <cstdint>
#include <cstring>

#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "core/text/number.h"

namespace {
const size_t kFirstSlots = 4;
}

int Array_create(Array **out)
{
    *out = nullptr;
    Array *a = static_cast<Array *>(Mem_calloc(1, sizeof(Array)));
    if (!a)
        return 1;
    *out = a;
    return 0;
}

int Array_append(Array *array, void *item)
{
    if (array->count == array->capacity) {
        size_t cap = array->capacity ? array->capacity * 2 : kFirstSlots;
        if (cap < array->capacity || cap > SIZE_MAX / sizeof(void *))
            return 1;
        void **items = static_cast<void **>(Mem_realloc(array->items, cap * sizeof(void *)));
        if (!items)
            return 1;
        array->items = items;
        array->capacity = cap;
    }
    array->items[array->count++] = item;
    return 0;
}

size_t Array_indexOf(const Array *array, const void *item)
{
    size_t i = 0;
    while (i < array->count && array->items[i] != item)
        i++;
    return i;
}

int Array_contains(const Array *array, const void *item)
{
    return Array_indexOf(array, item) < array->count ? 1 : 0;
}

int Array_removeAndRelease(Array *array, void *item, Array_ReleaseFn release)
{
    size_t i = Array_indexOf(array, item);
    if (i == array->count)
        return 0;
    void *found = array->items[i];
    memmove(array->items + i, array->items + i + 1, (array->count - i - 1) * sizeof(void *));
    array->count--;
    if (release)
        release(found);
    return 1;
}

void *Array_findByName(const Array *array, const char *name, Array_NameFn nameOf)
{
    if (!name || !nameOf)
        return nullptr;
    for (size_t i = 0; i < array->count; i++) {
        const char *n = nameOf(array->items[i]);
        if (n && Cstr_cmp(n, name) == 0)
            return array->items[i];
    }
    return nullptr;
}

void Array_destroyAndRelease(Array *array, Array_ReleaseFn release)
{
    if (!array)
        return;
    if (release) {
        for (size_t i = 0; i < array->count; i++)
            release(array->items[i]);
    }
    Mem_free(array->items);
    Mem_free(array);
}

namespace {

uint16_t keyAt(const uint8_t *table, uint32_t index, uint32_t stride)
{
    uint16_t v;
    memcpy(&v, table + size_t(index) * stride, sizeof v);
    return v;
}

} // namespace

int32_t Array_bsearchU16(const void *table, uint32_t n, uint32_t stride, uint16_t key)
{
    if (n == 0)
        return -1;
    const uint8_t *t = static_cast<const uint8_t *>(table);
    uint32_t p = Math_floorPow2(n);
    uint32_t i = keyAt(t, p - 1, stride) < key ? n - p : p - 1;
    uint16_t v;
    do {
        v = keyAt(t, i, stride);
        p >>= 1;
        if (key < v)
            i -= p;
        else if (key == v)
            break;
        else
            i += p;
    } while (p != 0);
    return v == key ? int32_t(i) : -1;
}
