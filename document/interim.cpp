// Interim definitions of document-model services whose modules are not
// built yet (selection, the plain-text importer). Each does the least its
// callers need.
#include "document/edit/selection.h"
#include "document/import/textdoc.h"
#include "document/types/doctype.h"

// Interim: no selection is ever made before the selection module.
void Edr_Sel_free(Edr_Selection *)
{
}

// Interim: the plain-text importer is not built yet, so its handler
// recognises nothing.
int TextDoc_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    return DocType_describeInterim(context, desc);
}
