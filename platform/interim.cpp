// Stand-ins for platform services that the core calls before the platform
// layer's modules exist. Each does the least its callers need and says so;
// the real definitions replace them when the module is built.
#include "core/mem/mem.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/editing.h"
#include "platform/api/engine.h"
#include "platform/api/search.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"

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


// Interim: no view action or view edit runs before the viewer's pointer
// actions exist.
int App_viewActionsEnabled(EngineInstance *)
{
    return 0;
}

int App_viewEditActive(EngineInstance *)
{
    return 0;
}

