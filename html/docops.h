// The web layer's side of the document model: installs the table of web
// operations (form controls, attribute names, redirection, questions,
// links and page sources) that the document model calls through
// (document/edr/webops.h).
#pragma once

struct EngineContext;

// Installs the table on context (again is harmless). 0; Res_missingArgument for
// a null context.
int Html_installDocumentOps(EngineContext *context);
