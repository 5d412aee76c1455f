// Document events: the node-event handler of the document's dispatcher.
//
// Only the services that the document record registers are declared here
// so far.
#pragma once

struct EngineContext;
struct EventProcMsg;

// The handler registered for kind 5 on a document's dispatcher: dispatches
// the node event it carries (context: the document).
void Edr_Doc_onNodeEvent(EngineContext *app, EventProcMsg *msg, void *doc, int *remove);
