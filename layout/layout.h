// Layout services that the document model calls.
//
// Only the services that modules built before layout call are declared
// here so far; layout defines them.
#pragma once

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

// Asks the display to redraw the area of a node. 0 or an error.
int Layout_redrawNode(EngineContext *app, Edr_Doc *doc, Edr_Node *node);
