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
