// Interim definitions of document-model services whose modules are not
// built yet (selection, translation). Each does the least its callers
// need.
#include "core/task/eventproc.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/types/doctype.h"
#include "document/types/translate.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"

// Interim: no selection is ever made before the selection module.
void Edr_Sel_free(Edr_Selection *)
{
}

// Interim: no page-on-demand work exists before the translator.
void Translate_stopPageWork(Edr_Doc *)
{
}

int Translate_registerImage(Edr_Doc *, Edr_Node *)
{
    return 0;
}

// Interim: nothing can queue a deferred load before the translator.
void Edr_LoadQueue_runAll(Edr_Doc *, int)
{
}

// Interim: the registry is an empty list; registrations are accepted and
// kept nowhere, so no document type is recognised before the registry.
DocTypeRegistry *DocType_registry(EngineContext *context)
{
    return context ? static_cast<DocTypeRegistry *>(context->docHandlers) : nullptr;
}

int DocType_newRegistry(EngineContext *context, DocTypeRegistry **out)
{
    *out = static_cast<DocTypeRegistry *>(Mem_calloc(1, sizeof(DocTypeRegistry)));
    if (!*out)
        return Res_noMemory;
    if (Lock_init(context, &(*out)->lock) != Res_ok) {
        Mem_free(*out);
        *out = nullptr;
        return Res_noMemory;
    }
    return Res_ok;
}

void DocType_freeRegistry(EngineContext *, DocTypeRegistry *registry)
{
    if (!registry)
        return;
    Lock_fini(&registry->lock);
    Mem_free(registry);
}

int Engine_registerHandler(EngineContext *app, Edr_DescribeFn describe)
{
    return app && describe ? 1 : 0;
}

// Interim: without the translator every load fails at once with the
// report of a document that nothing recognised.
void Translate_start(EngineContext *ctx, Edr_Doc *doc, Edr_Node *, Url *url, Obj *openArg)
{
    Url_free(url);
    Obj_finalizeFree(&openArg);
    if (!ctx || !doc || !ctx->eventProc)
        return;
    EventProcDocMsg report{0, 0, doc, nullptr};
    EventProc_postDoc(doc, ctx->eventProc, &report);
}
