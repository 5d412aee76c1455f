// Page objects: the small operations that relate layout's laid-out
// objects (display items, core/container/obj.h) to the nodes they show.
//
// Layout hands each page record two chains of objects, the page's contents
// and its overlays; the display walks the objects of the current view. The
// document side asks which objects show a node, which of them can take the
// focus, how large the area of a page's overlays is, and passes events, hit
// tests and bounds queries on to the form controls that objects show. It
// also visits a document together with every document nested in it, and
// resolves the document's current link target to its node.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_PageRec;
struct ObjHeader;

// A visitor of laid-out objects: 0 to go on, anything else stops the walk
// with that value. The object is lent for the call.
typedef int (*Edr_ObjVisitFn)(ObjHeader *object, void *context);
// Whether an object is one the walk wants (key: what the walk looks for).
typedef int (*Edr_ObjMatchFn)(const ObjHeader *object, const void *key);

// The callback table of Edr_Node_walkObjects.
struct Edr_ObjWalkOps {
    Edr_ObjMatchFn match; // null: every object
    Edr_ObjVisitFn visit;
};

// The context of Edr_Obj_accumulateBounds: the union of the objects' shown
// rectangles (start with an empty rectangle) and the smallest x0 and y0.
struct Edr_ObjBounds {
    int32_t rect[4];
    int32_t minX;
    int32_t minY;
};

// A document met by Edr_Doc_forEachDocument: the document and the offset
// of its coordinates in those of the first document. 0 to go on, anything
// else stops the walk with that value.
typedef int (*Edr_DocVisitFn)(void *argument, Edr_Doc *doc, int32_t dx, int32_t dy);

// For every record of the chain (through nextRec) that is ready (build state
// 0), unites rect with the shown rectangle (moved by the object's offset) of
// every overlay flagged Obj_overlayCounted; an empty rect is replaced by the
// first one. A record still being built (state 4) is waited for, sleeping
// between looks. 0, or Res_stopRequested when the task is asked to stop while
// it waits.
[[nodiscard]] int Edr_Page_unionObjectRects(Edr_PageRec *chain, int32_t rect[4]);

// Calls visit for doc and, through its sub-document nodes, for every
// document nested in it, with their coordinates offset by the view
// rectangles of the sub-documents. 0, the visitor's stop value, or 1 when
// memory runs out.
[[nodiscard]] int Edr_Doc_forEachDocument(Edr_DocVisitFn visit, void *argument, Edr_Doc *doc);

// Walks the laid-out objects of the document's view and calls visit for
// each whose node is a focus target and whose shown rectangle meets area
// {x0, y0, x1, y1}. On the way every object's Obj_focusCandidate and
// Obj_focusInside bits are set or cleared; hidden objects (Obj_hidden)
// keep their candidate bit untested. Runs under the tree read lock. 0 or
// the visitor's stop value.
[[nodiscard]] int Edr_Doc_walkFocusables(Edr_Doc *doc, Edr_ObjVisitFn visit, const int32_t area[4],
                                         void *extra);

// The image node an object shows: its node when that is an image node,
// else the first image child of its group, else null.
Edr_Node *Edr_Obj_imageNode(const ObjHeader *object);
// Whether the object shows node: directly, or for objects of the image
// class through Edr_Obj_imageNode.
int Edr_Obj_isForNode(const ObjHeader *object, const Edr_Node *node);
// Walks the document's laid-out objects and calls ops->visit for those
// ops->match accepts with node as the key. 0 or the visitor's stop value.
[[nodiscard]] int Edr_Node_walkObjects(Edr_Doc *doc, Edr_Node *node, const Edr_ObjWalkOps *ops,
                                       void *context);
// A match function: the object's node is the key.
int Edr_Obj_matchKey(const ObjHeader *object, const void *key);
// A visit function over an Edr_ObjBounds context; always 0.
int Edr_Obj_accumulateBounds(ObjHeader *object, void *context);

// For objects that show a form-control group: passes the event to the
// control; Res_notFound for other objects, else the control's result.
[[nodiscard]] int Edr_Obj_formEvent(EngineContext *context, ObjHeader *object, void *event);
// *hit becomes 1 when (x, y) lies in the control's bounds (see below). 13
// for objects that show no form control.
[[nodiscard]] int Edr_Obj_formHit(ObjHeader *object, int32_t x, int32_t y, int *hit);
// The control's rectangle transformed by the object's matrix (the identity
// when it has none) and bounded again. 13 for objects that show no form
// control; the control's error as it is.
[[nodiscard]] int Edr_Obj_formBounds(ObjHeader *object, int32_t out[4]);
// A word of layout's: the fourth word of the object's class part (0 when
// the class part is shorter).
intptr_t Edr_Obj_word15(const ObjHeader *object);

// The document's current link target: *node (with a node reference) and
// *document (with a document reference), both null for the empty link. 8
// for null arguments, else 0 or the link's error.
[[nodiscard]] int Edr_Doc_resolveLinkTarget(Edr_Doc *doc, Edr_Node **node, Edr_Doc **document);
