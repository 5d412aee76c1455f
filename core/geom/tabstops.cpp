// Tab-stop lists: one block per list, compared on the bits that matter.
#include "core/geom/tabstops.h"

#include <cstddef>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

size_t bytesFor(int32_t count)
{
    return offsetof(TabStopList, stops) + static_cast<size_t>(count) * sizeof(TabStop);
}

int32_t countOf(const TabStopList *list)
{
    return list && list->stopCount > 0 ? list->stopCount : 0;
}

} // namespace

int TabStops_create(TabStopList **out, int32_t count)
{
    *out = nullptr;
    if (count < 0)
        return Res_nullInput;
    TabStopList *list = static_cast<TabStopList *>(Mem_calloc(1, bytesFor(count)));
    if (!list)
        return Res_noMemory;
    list->stopCount = count;
    *out = list;
    return 0;
}

int TabStops_set(TabStopList *list, int32_t index, TabStop stop)
{
    if (index < 0 || index >= list->stopCount)
        return Res_nullInput;
    list->stops[index] = stop;
    return 0;
}

int TabStops_copy(TabStopList **out, const TabStopList *list)
{
    *out = nullptr;
    if (!list)
        return 0;
    size_t bytes = bytesFor(countOf(list));
    TabStopList *copy = static_cast<TabStopList *>(Mem_malloc(bytes));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, list, bytes);
    copy->stopCount = countOf(list);
    *out = copy;
    return 0;
}

void TabStops_free(TabStopList *list)
{
    Mem_free(list);
}

int TabStops_equal(const TabStopList *a, const TabStopList *b)
{
    int32_t n = countOf(a);
    if (n != countOf(b))
        return 0;
    const uint32_t mask = TabStops_alignMask | TabStops_leaderMask;
    for (int32_t i = 0; i < n; i++) {
        if (a->stops[i].stopPosition != b->stops[i].stopPosition)
            return 0;
        if ((a->stops[i].stopKind & mask) != (b->stops[i].stopKind & mask))
            return 0;
    }
    return 1;
}

uint32_t TabStops_nextPow2(uint32_t n)
{
    if (n >= 0x80000000u)
        return 0;
    uint32_t p = 1;
    while (p <= n)
        p <<= 1;
    return p;
}
