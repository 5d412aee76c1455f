// Block helpers on top of the engine heap: a byte comparison and the
// buffer callbacks of the file streams.
#include "core/mem/mem.h"

#include <cstring>

int Mem_cmp(const void *a, const void *b, size_t n)
{
    int d = memcmp(a, b, n);
    return (d > 0) - (d < 0);
}

int Mem_allocOut(size_t size, void **out, size_t *outSize)
{
    *out = nullptr;
    *outSize = 0;
    if (size == 0)
        return 0;
    void *p = Mem_malloc(size);
    if (!p)
        return 1;
    *out = p;
    *outSize = size;
    return 0;
}

int Mem_freeRet0(void *block)
{
    Mem_free(block);
    return 0;
}

int Mem_growCopy(void **block, size_t keep, size_t newSize)
{
    void *fresh;
    size_t got;
    if (Mem_allocOut(newSize, &fresh, &got) != 0)
        return 1;
    if (got != newSize) {
        Mem_free(fresh);
        return 1;
    }
    if (*block && fresh)
        memcpy(fresh, *block, keep < newSize ? keep : newSize);
    Mem_free(*block);
    *block = fresh;
    return 0;
}
