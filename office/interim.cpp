// Interim definitions of office services whose modules are not built yet.
#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "office/docside.h"

// Interim: no office importer keeps a record set of nodes yet.
void Edr_Doc_forgetNode(Edr_Doc *, Edr_Node *)
{
}

// Interim: frees the side record and its buffer, the least destruction needs.
void Edr_Doc_freeSideRecord(Edr_Doc *doc)
{
    if (!doc->sideRecord)
        return;
    Mem_free(doc->sideRecord->buffer);
    Mem_free(doc->sideRecord);
    doc->sideRecord = nullptr;
}
