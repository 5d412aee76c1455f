// Interim definitions of document-model services whose modules are not
// built yet (manager, selection, translation). Each does the least its
// callers need.
#include "core/task/eventproc.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/manager/manager.h"
#include "document/types/translate.h"

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

void Edr_Mgr_flushSettle(Edr_Doc *)
{
}

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
