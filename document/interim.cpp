// Interim definitions of document-model services whose modules are not
// built yet (manager, selection, page list, event dispatch). Each does
// the least its callers need.
#include "document/import/textdoc.h"
#include "document/types/doctype.h"
#include "core/task/eventproc.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/node.h"
#include "document/manager/manager.h"
#include "document/edr/page.h"

// Interim: no manager runs passes yet, so a change needs no scheduling.
int Edr_Mgr_queueChange(Edr_Doc *)
{
    return 0;
}

void Edr_Mgr_stop(Edr_Doc *)
{
}

void Edr_Mgr_busyBegin(Edr_Doc *)
{
}

void Edr_Mgr_busyEnd(Edr_Doc *)
{
}

// Interim: no selection is ever made before the selection module.
void Edr_Sel_free(Edr_Selection *)
{
}

// Interim: no page list keeps a window before the page list is built.
int Edr_Page_updateWindow(Edr_Doc *, int32_t)
{
    return 0;
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

// Interim: the plain-text importer is not built yet, so its handler recognises nothing.
int TextDoc_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    return DocType_describeInterim(context, desc);
}
