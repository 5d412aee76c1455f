// Node reference lists and the focus order of link and form navigation.
//
// Code that gathers nodes and then lets go of the tree lock keeps them in
// an Edr_NodeList: a growable array in which every entry holds one node
// reference, so that the nodes stay valid as anchors until the list is
// cleared. References are counted under the document mutex only, so a list
// may be filled and cleared with or without a tree lock held.
//
// The focus rules decide which group can take the viewer's focus under the
// application's navigation mode (0 links and form controls, 1 images, 2 no
// focus in the tree), move the focus in tab order and announce a change to
// the application as a kind-2 message on its event processor: {3, document,
// node} when the focus is set, {4, document} when it is cleared.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

struct Edr_NodeList {
    Edr_Node **items; // owned array; every entry holds one node reference
    uint32_t count;
    uint32_t capacity;
};

enum : uint32_t {
    Edr_NodeList_firstCapacity = 16,

    Edr_Nav_links = 0,  // links and form controls take the focus
    Edr_Nav_images = 1, // groups that wrap an image take the focus
    Edr_Nav_none = 2,   // nothing in the tree takes the focus

    // Kind-2 message types of focus announcements.
    Edr_Focus_set = 3,
    Edr_Focus_cleared = 4,
};

// ------------------------------------------------------------ node lists

// All fields zero (an empty list that owns nothing).
void Edr_NodeList_init(Edr_NodeList *list);
// Appends node with a new reference. The array grows first (16 entries,
// then doubling): 1 when that fails (the list is unchanged). Then 1551
// when the node is deleted and 1549 when its count is full; nothing is
// appended then, but the array keeps its new size. 16 for a null
// argument.
[[nodiscard]] int Edr_NodeList_append(Edr_Doc *doc, Edr_NodeList *list, Edr_Node *node);
// Releases the references, last first (only when doc is non-null), frees
// the array and zeroes the list.
void Edr_NodeList_clear(Edr_Doc *doc, Edr_NodeList *list);
// Under the read lock: *out (cleared first) becomes a copy of source with a new
// reference on every entry and capacity equal to count. On failure (1 out of
// memory, 1551 a deleted entry, 1549 a full count, Res_missingArgument without
// a document) the references taken are released and *out is left empty.
[[nodiscard]] int Edr_NodeList_copy(Edr_Doc *doc, const Edr_NodeList *source, Edr_NodeList *out);
// 1 when the list holds node (searched from the end), else 0.
int Edr_NodeList_contains(const Edr_NodeList *list, const Edr_Node *node);
// Swaps node (found from the end) with the entry at min(index, count - 1);
// nothing when the list does not hold it.
void Edr_NodeList_moveTo(Edr_NodeList *list, Edr_Node *node, uint32_t index);

// ------------------------------------------------------- navigation mode

// The application's navigation mode (0 without an eDR record).
uint32_t Edr_App_getNavigationMode(EngineContext *app);
// Sets it (0, 1 or 2; nothing without an eDR record).
void Edr_App_setNavigationMode(EngineContext *app, uint32_t mode);

// ---------------------------------------------------------- focus rules
// The unlocked rules are for callers that hold the tree lock (or run in a
// write section); nodes are lent.

// Whether a group can take the focus under the navigation mode and the
// document's type (the HTML type 227 decides by element). 0 for anything
// but a group.
int Edr_Node_isFocusable(Edr_Doc *doc, Edr_Node *group);
// The same under the read lock.
int Edr_Node_isFocusableLocked(Edr_Doc *doc, Edr_Node *group);
// The group that takes the focus for node: for a form group the highest
// focusable form group above it (itself when its parent does not qualify,
// null unless the mode is 0); otherwise the first group from node (its
// parent for a non-group) upwards that wraps an image (mode 1) or is
// focusable (mode 0). Null when none, and always with mode 2.
Edr_Node *Edr_Node_findFocusAncestor(Edr_Doc *doc, Edr_Node *node);
// Whether node is a place the focus stops at (see the tab order).
int Edr_Node_isFocusTarget(Edr_Doc *doc, Edr_Node *node);

// ------------------------------------------------------- focus changes

// Announces node (null allowed) as the focus: {3, doc, node} to the
// application's processor; the message keeps a view reference of doc and
// a reference on node that its receiver gives back. 1551 when the node is
// deleted; the post's error (16 without a processor), in which case the
// node reference is dropped again.
[[nodiscard]] int Edr_Doc_setFocus(Edr_Doc *doc, Edr_Node *node);
// Announces that nothing has the focus: {4, doc}. The post's result.
[[nodiscard]] int Edr_Doc_clearFocus(Edr_Doc *doc);
// Moves the focus from current to the next focus target in tab order
// (forward or backward, wrapping): the target with the smallest tab-index
// step not below 0, the first met winning ties. 1546 when the targets do
// not include current or no other target qualifies; 1 out of memory; else
// the result of Edr_Doc_setFocus.
[[nodiscard]] int Edr_Doc_focusByTab(Edr_Doc *doc, Edr_Node *current, int forward);
