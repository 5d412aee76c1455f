// Gradient records: creation and clamped stop stores.
#include "core/container/gradient.h"

#include <cstddef>

#include "core/mem/mem.h"
#include "core/result.h"

int Gradient_create(Gradient **out, int32_t count)
{
    *out = nullptr;
    if (count < StopList_minStops || count > StopList_maxStops)
        return Res_stopCountInvalid;
    size_t bytes = offsetof(Gradient, stops) + size_t(count) * sizeof(StopEntry);
    Gradient *g = static_cast<Gradient *>(Mem_calloc(1, bytes));
    if (!g)
        return Res_noMemory;
    g->one = 1;
    g->count = count;
    *out = g;
    return Res_ok;
}

int Gradient_setStop(Gradient *gradient, int32_t index, StopEntry stop)
{
    if (index < 0 || index >= gradient->count)
        return Res_stopIndexInvalid;
    if (stop.position < 0)
        stop.position = 0;
    else if (stop.position > 0x10000)
        stop.position = 0x10000;
    gradient->stops[index] = stop;
    return Res_ok;
}

void Gradient_free(Gradient *gradient)
{
    Mem_free(gradient);
}
