// Document translation and deferred loads.
//
// Only the services that modules built before the translator call are
// declared here so far.
#pragma once

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Obj;
struct Url;

// Stops the page-on-demand translation work of a document being destroyed.
void Translate_stopPageWork(Edr_Doc *doc);
// Registers a new image node for page-on-demand image handling.
int Translate_registerImage(Edr_Doc *doc, Edr_Node *node);
// Carries out the document's deferred loads (sub-documents, images,
// callbacks); with work 0 they are only disposed of. Run by the eDR
// manager's pass.
void Edr_LoadQueue_runAll(Edr_Doc *doc, int work);

// Starts translating url into doc under target. Takes over url and openArg
// in every case. Every outcome reaches the application's event processor:
// code message 13 when the document was built, otherwise one report (a
// kind-0 document message).
void Translate_start(EngineContext *ctx, Edr_Doc *doc, Edr_Node *target, Url *url, Obj *openArg);
