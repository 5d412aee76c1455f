// Interim definitions of document-model services whose module is not built
// yet: no document exists before it, so references are not counted and no
// document has started.
#include "document/edr/doc.h"

void Edr_Doc_addRef(Edr_Doc *)
{
}

void Edr_Doc_release(Edr_Doc *)
{
}

void Edr_Doc_addView(Edr_Doc *)
{
}

void Edr_Doc_releaseView(Edr_Doc *)
{
}

int Edr_Doc_isStarted(const Edr_Doc *)
{
    return 0;
}
