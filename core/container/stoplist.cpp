// Stop lists: creation, copy and clamped stores.
#include "core/container/stoplist.h"

#include <cstddef>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

size_t bytesFor(int32_t count)
{
    return offsetof(StopList, stops) + static_cast<size_t>(count) * sizeof(StopEntry);
}

bool countValid(int32_t count)
{
    return count >= StopList_minStops && count <= StopList_maxStops;
}

} // namespace

int StopList_create(StopList **out, int32_t count)
{
    *out = nullptr;
    if (!countValid(count))
        return Res_stopCountInvalid;
    StopList *list = static_cast<StopList *>(Mem_calloc(1, bytesFor(count)));
    if (!list)
        return Res_noMemory;
    list->count = count;
    *out = list;
    return 0;
}

int StopList_copy(StopList **out, const StopList *list)
{
    *out = nullptr;
    if (!list)
        return 0;
    if (!countValid(list->count))
        return Res_stopCountInvalid;
    StopList *copy = static_cast<StopList *>(Mem_malloc(bytesFor(list->count)));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, list, bytesFor(list->count));
    *out = copy;
    return 0;
}

int StopList_set(StopList *list, int32_t index, StopEntry stop)
{
    if (index < 0 || index >= list->count)
        return Res_stopIndexInvalid;
    if (stop.position < 0)
        stop.position = 0;
    else if (stop.position > 0x10000)
        stop.position = 0x10000;
    list->stops[index] = stop;
    return 0;
}

void StopList_free(StopList *list)
{
    Mem_free(list);
}
