// The viewer record's value and cleanup lists (platform/api/app.h): pushed
// by the parts of the engine, run and freed by the application at close.
#include "platform/api/app.h"

#include "core/mem/mem.h"
#include "core/result.h"

int Engine_pushListValue(FvViewer *viewer, intptr_t value)
{
    if (!viewer)
        return Res_missingArgument;
    FvValueNode *n = static_cast<FvValueNode *>(Mem_malloc(sizeof(FvValueNode)));
    if (!n)
        return Res_noMemory;
    n->value = value;
    n->next = viewer->values;
    viewer->values = n;
    return Res_ok;
}

int App_pushCleanup(FvViewer *viewer, AppCleanupFn function)
{
    if (!viewer)
        return Res_missingArgument;
    FvCleanupNode *n = static_cast<FvCleanupNode *>(Mem_malloc(sizeof(FvCleanupNode)));
    if (!n)
        return Res_noMemory;
    n->function = function;
    n->next = viewer->cleanups;
    viewer->cleanups = n;
    return Res_ok;
}
