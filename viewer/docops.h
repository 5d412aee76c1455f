// The viewer's side of the document model: installs the table of viewer
// operations (highlight styles, shared lists, focus, publishing a layout
// pass, walks over laid-out objects) that the document model calls through
// (document/edr/viewops.h).
#pragma once

struct EngineContext;

// Installs the table on context (again is harmless). 0; Res_missingArgument for
// a null context.
[[nodiscard]] int View_installDocumentOps(EngineContext *context);
