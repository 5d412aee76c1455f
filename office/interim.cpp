// Interim definitions of office services whose modules are not built yet.
// Each does the least its callers need and says so; the real definitions
// replace them when the module is built.
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/interim.h"
#include "document/types/doctype.h"
#include "office/powerpoint/ppt.h"
#include "office/powerpoint/ppttext.h"

// Interim: the presentation reader is not built yet, so its handler recognises nothing.
int Ppt_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    return DocType_describeInterim(context, desc);
}

// Interim: the presentation reader's run parser is not built yet, so a text
// keeps its default runs.
int Ppt_parseRuns(const uint8_t *, uint32_t, uint32_t, PptParaRun **paraRuns, PptCharRun **charRuns)
{
    *paraRuns = nullptr;
    *charRuns = nullptr;
    return Res_ok;
}

// Interim: rulers are applied by the presentation reader, not built yet.
void Ppt_applyRuler(const uint8_t *, uint32_t, PptParaRun *)
{
}

// Interim: the largest character size per paragraph comes with the reader.
void Ppt_applyCharMax(PptParaRun *, const PptCharRun *)
{
}
