// Interim definitions of office services whose modules are not built yet.
// Each does the least its callers need and says so; the real definitions
// replace them when the module is built.
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/interim.h"
#include "document/types/doctype.h"
#include "office/powerpoint/ppt.h"

// Interim: the presentation reader is not built yet, so its handler recognises nothing.
int Ppt_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    return DocType_describeInterim(context, desc);
}
