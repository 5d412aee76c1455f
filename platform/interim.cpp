// Interim definitions of platform services whose modules are not built yet.
#include "core/mem/mem.h"
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
