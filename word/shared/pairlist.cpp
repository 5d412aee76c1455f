// Pair lists in one heap block.
#include "word/shared/pairlist.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

uint32_t *pairsOf(PairList *list)
{
    return reinterpret_cast<uint32_t *>(list + 1);
}

const uint32_t *pairsOf(const PairList *list)
{
    return reinterpret_cast<const uint32_t *>(list + 1);
}

size_t blockSize(uint32_t count)
{
    return sizeof(PairList) + size_t(count) * 8;
}

} // namespace

int PairList_new(PairList **out, uint32_t count, uint32_t a, uint32_t b)
{
    *out = static_cast<PairList *>(Mem_calloc(1, blockSize(count)));
    if (!*out)
        return Res_noMemory;
    (*out)->count = count;
    (*out)->a = a;
    (*out)->b = b;
    return Res_ok;
}

int PairList_copy(PairList **out, const PairList *list)
{
    *out = nullptr;
    if (!list)
        return Res_ok;
    size_t size = blockSize(list->count);
    PairList *copy = static_cast<PairList *>(Mem_malloc(size));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, list, size);
    *out = copy;
    return Res_ok;
}

void PairList_free(PairList *list)
{
    Mem_free(list);
}

int PairList_set(PairList *list, uint32_t i, const uint32_t pair[2])
{
    if (!list || !pair)
        return Res_nullInput;
    if (i >= list->count)
        return PairList_badIndex;
    pairsOf(list)[2 * size_t(i)] = pair[0];
    pairsOf(list)[2 * size_t(i) + 1] = pair[1];
    return Res_ok;
}

int PairList_get(const PairList *list, uint32_t i, uint32_t outPair[2])
{
    if (!outPair)
        return Res_nullInput;
    outPair[0] = outPair[1] = 0;
    if (!list)
        return Res_nullInput;
    if (i >= list->count)
        return PairList_badIndex;
    outPair[0] = pairsOf(list)[2 * size_t(i)];
    outPair[1] = pairsOf(list)[2 * size_t(i) + 1];
    return Res_ok;
}

void PairList_header(const PairList *list, uint32_t *outCount, uint32_t *outA, uint32_t *outB)
{
    if (outCount)
        *outCount = list ? list->count : 0;
    if (outA)
        *outA = list ? list->a : 0;
    if (outB)
        *outB = list ? list->b : 0;
}

int PairList_equal(const PairList *a, const PairList *b)
{
    if (!a || !b)
        return a == b ? 1 : 0;
    if (a->count != b->count || a->a != b->a || a->b != b->b)
        return 0;
    return memcmp(pairsOf(a), pairsOf(b), size_t(a->count) * 8) == 0 ? 1 : 0;
}
