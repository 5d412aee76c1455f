// Payload records of property values: counted objects, column lists and
// line-spacing records.
#include "core/style/proprecords.h"

#include <cstddef>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

size_t columnBytes(int32_t count)
{
    return offsetof(PropColumns, columns) + static_cast<size_t>(count) * sizeof(PropColumn);
}

} // namespace

int PropCounted_addRef(PropCounted *obj)
{
    if (!obj)
        return 0;
    if (obj->refs == UINT32_MAX)
        return Res_noMemory;
    obj->refs++;
    return 0;
}

void PropCounted_release(PropCounted *obj)
{
    if (!obj || obj->refs == 0)
        return;
    if (--obj->refs == 0 && obj->destroy)
        obj->destroy(obj);
}

int PropColumns_create(PropColumns **out, int32_t count)
{
    *out = nullptr;
    if (count < 0)
        return Res_nullInput;
    PropColumns *list = static_cast<PropColumns *>(Mem_calloc(1, columnBytes(count)));
    if (!list)
        return Res_noMemory;
    list->count = count;
    *out = list;
    return 0;
}

int PropColumns_copy(PropColumns **out, const PropColumns *src)
{
    *out = nullptr;
    if (!src)
        return 0;
    int32_t count = src->count > 0 ? src->count : 0;
    PropColumns *copy = static_cast<PropColumns *>(Mem_malloc(columnBytes(count)));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, src, columnBytes(count));
    copy->count = count;
    *out = copy;
    return 0;
}

int PropColumns_equal(const PropColumns *a, const PropColumns *b)
{
    if (!a || !b)
        return a == b ? 1 : 0;
    if (a->count != b->count || a->flags != b->flags)
        return 0;
    for (int32_t i = 0; i < a->count; i++) {
        if (a->columns[i].width != b->columns[i].width || a->columns[i].gap != b->columns[i].gap)
            return 0;
    }
    return 1;
}

void PropColumns_free(PropColumns *list)
{
    Mem_free(list);
}

// ------------------------------------------------ property payload 18

int Prop18_new(Prop18 **payload)
{
    *payload = nullptr;
    Prop18 *p = static_cast<Prop18 *>(Mem_malloc(sizeof(Prop18)));
    if (!p)
        return 1;
    const Prop18 fresh = {{0, 0, 6, 85, 0}};
    *p = fresh;
    *payload = p;
    return 0;
}

int Prop18_copy(Prop18 **payload, const Prop18 *source)
{
    *payload = nullptr;
    if (!source)
        return 0;
    Prop18 *p = static_cast<Prop18 *>(Mem_malloc(sizeof(Prop18)));
    if (!p)
        return 1;
    *p = *source;
    *payload = p;
    return 0;
}

void Prop18_free(Prop18 *payload)
{
    Mem_free(payload);
}
