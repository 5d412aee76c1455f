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

struct Matrix;

// A laid-out object of a page record: the page list walks and frees the
// chains of a record; the document's page-object operations read what the
// object shows and where (layout defines the rest of it).
struct LayoutObject {
    LayoutObject *next;
    int32_t rect[4];        // x0, y0, x1, y1 in page units
    int32_t offset[2];      // dx, dy by which the rectangle is shown moved
    uint32_t flags;         // LayoutObject_* bits
    Edr_Node *node;         // the node the object shows (a tree node; no reference)
    uint32_t objClass;      // LayoutObject_class*
    Matrix *matrix;         // the object's transformation; null for the identity
    intptr_t words[4];      // layout's own words; the last is the record's fifteenth word
};

enum : uint32_t {
    LayoutObject_overlayCounted = 4,    // an overlay counted in a page's object area
    LayoutObject_focusCandidate = 8,    // its node is a focus target
    LayoutObject_focusInside = 16,      // its rectangle meets the focus walk's area
    LayoutObject_focusFixed = 128,      // the focus bits are kept, not tested again

    LayoutObject_classPlain = 0,
    LayoutObject_classImage = 1,        // shows the image of its node's group
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
