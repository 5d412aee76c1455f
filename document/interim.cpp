// Interim definitions of document-model services whose modules are not
// built yet (selection). Each does the least its callers need.
#include "document/edit/selection.h"

// Interim: no selection is ever made before the selection module.
void Edr_Sel_free(Edr_Selection *)
{
}
