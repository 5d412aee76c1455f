// Stand-ins for platform services that the core calls before the platform
// layer's modules exist. Each does the least its callers need and says so;
// the real definitions replace them when the module is built.
#include "core/mem/mem.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/editing.h"
#include "platform/api/engine.h"
#include "platform/api/ident.h"
#include "platform/api/search.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"

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

// Interim: the identity screen is not built, so nothing is shown and no
// task ever runs.
int Ident_show(EngineContext *, const char *, const char *, Task **task, FvScreen *, int32_t,
               const IdentDone *)
{
    if (task)
        *task = nullptr;
    return 0;
}

int Ident_stop(EngineContext *, FvScreen *, Task **task)
{
    if (task)
        *task = nullptr;
    return 0;
}

int Ident_isRunning(Task *const *)
{
    return 0;
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

// Interim: there is no edit-mode record before the editing entry points
// exist, so the document is never modified and nothing is posted.
int App_setupEditMode(EngineInstance *)
{
    return 0;
}

int App_isModified(EngineInstance *)
{
    return 0;
}

int App_clearModified(EngineInstance *)
{
    return 0;
}

int App_postEditCall(EngineInstance *, intptr_t, intptr_t, intptr_t)
{
    return 0;
}

int App_viewActionsEnabled(EngineInstance *)
{
    return 0;
}

int App_viewEditActive(EngineInstance *)
{
    return 0;
}

int App_postEditHook1(EngineInstance *)
{
    return 0;
}

int App_postEditHook3(EngineInstance *)
{
    return 0;
}

int App_postValue(EngineInstance *, intptr_t)
{
    return 0;
}

int App_postNamedValue(EngineInstance *, const char *, intptr_t)
{
    return 0;
}

int App_postValue2(EngineInstance *, intptr_t)
{
    return 0;
}

int App_postValue3(EngineInstance *, intptr_t)
{
    return 0;
}

int App_postContents(EngineInstance *, const EditData *, intptr_t)
{
    return 0;
}

int App_postToggleContents(EngineInstance *)
{
    return 0;
}

int App_saveDocumentAs(EngineInstance *, const char *)
{
    return 0;
}

// Interim: no search runs before the viewer's search exists.
int App_searchStart(EngineInstance *, const char *, intptr_t, intptr_t, intptr_t)
{
    return 0;
}

int App_searchNext(EngineInstance *)
{
    return 0;
}

int App_searchFollowUp(EngineInstance *)
{
    return 0;
}

int App_searchCancel(EngineInstance *)
{
    return 0;
}

// Interim: no stream type keeps response headers before the HTTP cache's
// streams do, so every stream answers that it has none.
int Vfs_getHeader(VfsHandle *, const char *, char **value)
{
    if (value)
        *value = nullptr;
    return 769;
}
