// Stand-ins for platform services that the core calls before the platform
// layer's modules exist. Each does the least its callers need and says so;
// the real definitions replace them when the module is built.
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"

// Interim: no URL record exists before the URL module, so there is nothing
// to free.
void Url_free(Url *)
{
}

// Interim: finalises and frees an object from the engine heap.
void Obj_finalizeFree(Obj **obj)
{
    if (!obj || !*obj)
        return;
    if ((*obj)->finalize)
        (*obj)->finalize(*obj);
    Mem_free(*obj);
    *obj = nullptr;
}

// Interim: nothing creates an exit list before engine start-up and
// shut-down are built, so no caller reaches here with one; a null list is
// refused as the real list refuses it.
int ExitList_add(ExitList *list, ExitFn function, void *, int32_t *id)
{
    if (id)
        *id = 0;
    if (!list || !function)
        return Res_missingArgument;
    return Res_notImplemented;
}
