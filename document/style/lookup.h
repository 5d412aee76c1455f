// The inline content walk and intrinsic widths.
//
// Edr_StyleLookup walks the inline content of a group in document order and
// hands out each item with its computed style set: it steps into inline
// groups, stops at block boundaries (a block is handed out, not entered),
// skips groups without a display value with their content, applies
// property nodes to the style in force (copy on write, so sets handed out
// earlier keep their values) and says whether a line may break between two
// items.
//
// Layout measures intrinsic widths over this walk (layout/measure.h).
//
// The walk reads the tree with the unlocked accessors:
// the caller holds the document's read lock, and layout holds the style
// sheets locked (Edr_Sect_lockAll) for the pass.
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct Edr_StyleCtx;

struct Edr_LookupEntry {
    Edr_Node *node;
    Edr_Style *style; // one reference
};

struct Edr_StyleLookup {
    Edr_Doc *document;
    Edr_Style *rootStyle;    // the group's set, one reference
    Edr_Node *currentNode;   // the item last handed out
    Edr_Style *currentStyle; // its set, one reference
    Edr_LookupEntry *stack;  // one entry per open level
    int32_t capacity;
    int32_t depth;      // 0: the walk is over
    int32_t floatDepth; // inline groups open inside a float region
    uint32_t descend;   // classification of the top entry
    uint32_t skip;
    uint32_t apply;
    uint32_t inFloat;           // a group with property 139 was met
    uint32_t floatEndPending;   // the synthetic node is owed
    Edr_Node *synthetic;        // a data node carrying property 74 keyword 31 (owned)
    uint32_t floatEnded;        // the float region just closed
    Edr_StyleCtx *styleContext; // where new sets are created
};

// One item of the walk: the node and its set (referenced by the walker
// until the next call; retain it to keep it).
struct Edr_LookupItem {
    Edr_Node *node;
    Edr_Style *style;
};

// *out = a walker over the content of root, whose set is rootStyle (the
// walker takes a reference), creating sets in styleContext (null: the
// document's). 0, or an error with *out null (1 for memory).
[[nodiscard]] int Edr_StyleLookup_create(Edr_Doc *doc, Edr_Node *root, Edr_Style *rootStyle,
                                         Edr_StyleCtx *styleContext, Edr_StyleLookup **out);
// The next item (node null at the end), whether a line may break after it
// and whether the walk has ended. 0 or an error.
[[nodiscard]] int Edr_StyleLookup_next(Edr_StyleLookup *walker, Edr_LookupItem *item,
                                       int *breakAllowed, int *end);
// Frees the walker and every set reference it holds (null allowed).
void Edr_StyleLookup_free(Edr_StyleLookup *walker);

// *out = the nearest ancestor of node (node included) whose display makes
// it a block, with a reference, or null. Caller holds the read lock.
// 0 or the first error.
[[nodiscard]] int Edr_Style_findAncestorByProp34(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);

// The stack left to the calling thread, in bytes.
size_t Edr_Style_stackLeft(Edr_Doc *doc);
