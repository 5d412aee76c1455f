// Stand-ins for platform services that the core calls before the platform
// layer's modules exist. Each does the least its callers need and says so;
// the real definitions replace them when the module is built.
#include "core/result.h"
#include "platform/api/engine.h"

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
