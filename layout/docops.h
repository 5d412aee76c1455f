// Layout's side of the document model: installs the table of layout
// operations (the layout pass, redraws, extra records, the palette and the
// layout cache) that the document model calls through
// (document/edr/layoutops.h).
#pragma once

struct EngineContext;

// Installs the table on context (again is harmless). 0; Res_missingArgument for
// a null context.
[[nodiscard]] int Layout_installDocumentOps(EngineContext *context);
