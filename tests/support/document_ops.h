// Test support: the tables of operations that the layers above the
// document model install at engine start-up (web, layout, viewer, the
// spreadsheet's grid layout),
// installed in a bare context, so that tests which set up parts of the
// engine by hand get the same document behaviour as the engine.
#pragma once

struct EngineContext;

// Installs every table; false for a null context.
bool TestSupport_installDocumentOps(EngineContext *ctx);
