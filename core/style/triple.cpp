// Three-word values.
#include "core/style/triple.h"

#include "core/mem/mem.h"
#include "core/result.h"

int Obj_newTriple(PropLineSpacing **out, int32_t a, int32_t b, int32_t c)
{
    *out = nullptr;
    PropLineSpacing *rec = static_cast<PropLineSpacing *>(Mem_malloc(sizeof(PropLineSpacing)));
    if (!rec)
        return Res_noMemory;
    *rec = PropLineSpacing{a, b, c};
    *out = rec;
    return Res_ok;
}

int Obj_copyTriple(PropLineSpacing **out, const PropLineSpacing *source)
{
    *out = nullptr;
    if (!source)
        return Res_ok;
    return Obj_newTriple(out, source->kind, source->value, source->base);
}

void Obj_freeTriple(PropLineSpacing *record)
{
    Mem_free(record);
}

int Obj_tripleEquals(const PropLineSpacing *a, const PropLineSpacing *b)
{
    if (!a || !b)
        return a == b ? 1 : 0;
    return a->kind == b->kind && a->value == b->value && a->base == b->base ? 1 : 0;
}
