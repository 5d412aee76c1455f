// Stand-ins for platform services that the core calls before the platform
// layer's modules exist. Each does the least its callers need and says so;
// the real definitions replace them when the module is built.
#include "core/mem/mem.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "platform/api/ident.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"

// Interim: the configuration slot sees the block; without a configuration
// store nothing else is applied, and the block's strings are freed.
void App_setConfigFromEvent(EngineInstance *instance, intptr_t *block)
{
    if (!instance || !block)
        return;
    AppQueueRecord *q = instance->queue;
    if (q && q->callbacks.configure)
        q->callbacks.configure(instance, block + 2);
    Mem_free(reinterpret_cast<void *>(block[2]));
    if (block[3] == 1)
        Mem_free(reinterpret_cast<void *>(block[4]));
}

// Interim: a zeroed record; the identity screen that fills and reads it
// comes later.
int Ident_createRecord(EngineInstance *instance)
{
    if (!instance)
        return 1;
    instance->ident = static_cast<IdentRecord *>(Mem_calloc(1, sizeof(IdentRecord)));
    return instance->ident ? 0 : 1;
}

void Ident_freeRecord(EngineInstance *instance)
{
    if (!instance || !instance->ident)
        return;
    Mem_free(instance->ident);
    instance->ident = nullptr;
}

// Interim: the application has no table of document callbacks yet, so
// every slot is missing.
int AppDoc_callSlot1(Edr_Doc *)
{
    return 0;
}

int Edr_Doc_callSelectionHook(Edr_Doc *)
{
    return 0;
}

