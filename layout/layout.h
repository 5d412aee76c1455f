// Layout services that the document model calls: the layout pass the eDR
// manager runs, and the parts of laid-out page records that the page list
// frees.
//
// Only the services that modules built before layout call are declared
// here so far; layout/interim.cpp holds their interim definitions.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

// A laid-out object of a page record (layout defines the rest of it): the
// page list only walks and frees the chains of a record.
struct LayoutObject {
    LayoutObject *next;
};

// Lays the whole document out again. Called by the eDR manager once per
// pass under the document's read lock. 0 or an error (48 when the task was
// asked to stop).
int Layout_runPass(Edr_Doc *doc);
// Frees a page record's layout record (null allowed). 0 or an error.
int Layout_freePageLayout(void *layout);
// Frees one laid-out object (its successor is not touched).
void Layout_freeObject(LayoutObject *object);
// Asks the display to redraw the area of a node. 0 or an error.
int Layout_redrawNode(EngineContext *app, Edr_Doc *doc, Edr_Node *node);

// Until layout exists the pass lays nothing out. A caller may stand in for
// it by storing a LayoutStandIn in the document's layout word
// (Edr_Doc_setLayoutWord): the interim pass then returns what the stand-in
// returns. Deleted together with the interim definitions.
struct LayoutStandIn {
    int (*pass)(void *argument, Edr_Doc *doc);
    void *argument;
};
