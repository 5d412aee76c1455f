// Node attachments and small services of the office importers.
//
// The importers hang their own data on eDR nodes without widening the node
// record: a per-document table (the document's side record) maps a node to
// a data pointer with a destructor. Several nodes may carry the same data;
// every entry holding it keeps the same share count, and the destructor
// runs when the last share goes. A node with an entry has bit 28 of its
// header word set, so lookups for other nodes cost nothing. The table is
// guarded by the document's tree lock: writers attach and detach (the
// destructors run under the write lock), readers look up.
//
// Besides the table: the n-th focusable node, a point test against a
// doubled box, and a walk over a tree of display items whose children are
// loaded on demand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/rect.h"
#include "document/edr/attachtable.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Url;

enum : uint32_t {
    Edr_Node_privateBit = 0x10000000, // header bit 28: the node has an attachment
};

typedef void (*Edr_PrivateDestructor)(void *data);

// One entry of the table (a free entry has a null node).
struct Edr_PrivateEntry {
    Edr_Node *node;
    void *data;
    uint32_t shares;
    Edr_PrivateDestructor destructor;
};

// Under the write lock (its error returned): detaches the node's previous
// data, then attaches data (when not null). 0, or 1 when the table cannot
// grow.
[[nodiscard]] int Edr_Node_setPrivate(Edr_Doc *doc, Edr_Node *node, void *data,
                                      Edr_PrivateDestructor destructor);
// The same detach, waiting for the write lock; a null node does nothing.
void Edr_Node_clearPrivate(Edr_Doc *doc, Edr_Node *node);
// Under the read lock: the node's data and destructor (null when none).
// Both return 0.
[[nodiscard]] int Edr_Node_getPrivate(Edr_Doc *doc, Edr_Node *node, void **out);
[[nodiscard]] int Edr_Node_getPrivateDestructor(Edr_Doc *doc, Edr_Node *node,
                                                Edr_PrivateDestructor *out);

// The n-th node (from 0, in tree order) that is a focus target, or null.
Edr_Node *Edr_Doc_nthFocusable(Edr_Doc *doc, uint32_t n);
// A module record's scratch buffer: freed and cleared.
struct Engine_ScratchRecord {
    void *scratch;
};

// 0 when skip is set; else 1 when x <= 2a and y <= 2b, else 2.
int Rect_pointInDoubled(int32_t a, int32_t b, int32_t x, int32_t y, int32_t ignored, int32_t skip);

// ------------------------------------------------------------ item trees

struct ItemTreeNode;
struct ItemTreeVisitor;

// A child of an item-tree node: kind 0 a leaf (its rectangle from the
// getter), 1 a sub-tree, 2 another item.
struct ItemTreeChild {
    uint32_t kind;
    ItemTreeNode *subtree;
    void *item;
    int (*getRect)(void *item, Rect *out);
};

struct ItemTreeNode {
    ItemTreeChild *children;
    uint32_t count;
    int (*loader)(ItemTreeVisitor *visitor, ItemTreeNode *node); // fills the children
    uint32_t loaded;
    uint32_t exact;
    int32_t width; // the owner's width, for estimated leaf rectangles
};

struct ItemTreeVisitor {
    int (*enter)(ItemTreeVisitor *visitor, ItemTreeNode *node);
    int (*perIndex)(ItemTreeVisitor *visitor, ItemTreeNode *node, uint32_t index);
    int (*leaf)(ItemTreeVisitor *visitor, void *item, const Rect *rect);
    int (*other)(ItemTreeVisitor *visitor, void *item);
    uint32_t abort;
    uint32_t reverse;
    uint32_t leafCallbacks;
    uint32_t loadAllowed;
    uint32_t loadWhenNeeded;
    ItemTreeNode *loading; // the node being loaded (for its loader)
    size_t stackBudget;    // bytes of stack the walk may use (0: 64 KiB)
    const char *stackBase; // set by the walk
    void *argument;
};

// Walks the tree from node. 0; the first error of a callback or loader;
// Res_stackExhausted when the nesting would use more stack than allowed.
[[nodiscard]] int ItemTree_walk(ItemTreeVisitor *visitor, ItemTreeNode *node);
// For x0 < x1 and y0 < y1 with width - 2 x0 non-zero: y0 = y0 (x1 - x0) /
// (width - 2 x0) (double precision, truncated) and x1 = width - x0; other
// rectangles are left alone.
void ItemTree_estimateRect(int32_t width, Rect *rect);
