// The kinds of document the engine opens: one registry, filled at start-up
// for every host.
#pragma once

struct EngineContext;

// Registers the document handlers with the context's document-type
// registry, in the order Word, Excel, PowerPoint, images, plain text, PDF,
// HTML (the registry's tie order: the first handler of several that rate
// a stream equally wins). 1 when every registration was accepted, else 0.
int App_registerDocumentKinds(EngineContext *context);
