// Owned-pointer records: replace or clear the owned block.
#include "core/container/owned.h"

#include "core/mem/mem.h"

int Owned_set(OwnedBlock *record, void *block)
{
    int r = Mem_freeRet0(record->block);
    record->block = block;
    return r;
}

void Owned_clear(OwnedBlock *record)
{
    Mem_free(record->block);
    record->block = nullptr;
}
