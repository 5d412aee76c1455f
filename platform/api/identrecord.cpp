// The identity record of an engine instance.
#include "platform/api/identrecord.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"

int Ident_createRecord(EngineInstance *instance)
{
    if (!instance)
        return Res_noMemory;
    instance->ident = static_cast<IdentRecord *>(Mem_calloc(1, sizeof(IdentRecord)));
    return instance->ident ? Res_ok : Res_noMemory;
}

void Ident_freeRecord(EngineInstance *instance)
{
    if (!instance || !instance->ident)
        return;
    Mem_free(instance->ident);
    instance->ident = nullptr;
}
