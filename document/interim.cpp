// Interim definitions of document-model services whose modules are not
// built yet (selection, translation, event dispatch). Each does
// the least its callers need.
#include "core/task/eventproc.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/node.h"
#include "document/types/translate.h"

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

// Interim: nothing listens for node events yet; the handler gives back the
// reference an event holds on its target.
void Edr_Doc_onNodeEvent(EngineContext *, EventProcMsg *msg, void *doc, int *)
{
    Edr_NodeEvent event;
    Edr_NodeEvent_fromMsg(msg->payload, &event);
    if (event.ownsTarget)
        Edr_Node_dropRefOpt(static_cast<Edr_Doc *>(doc), event.target);
}
