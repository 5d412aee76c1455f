// Document translation and deferred loads.
//
// Only the services that modules built before the translator call are
// declared here so far.
#pragma once

struct Edr_Doc;
struct Edr_Node;

// Stops the page-on-demand translation work of a document being destroyed.
void Translate_stopPageWork(Edr_Doc *doc);
// Registers a new image node for page-on-demand image handling.
int Translate_registerImage(Edr_Doc *doc, Edr_Node *node);
// Carries out the document's deferred loads (sub-documents, images,
// callbacks); with work 0 they are only disposed of. Run by the eDR
// manager's pass.
void Edr_LoadQueue_runAll(Edr_Doc *doc, int work);
