// The lazily expanded entry tree: a tree of entries whose nested lists are
// filled on demand. A nested entry carries an open callback; the first walk
// that reaches it calls the callback, which adds the entry's children
// through a cursor, so a large structure is only built as far as it is
// visited. Leaves carry caller data; references stand for the root of
// another tree, which a walk visits in their place.
//
// Builders and readers take the tree's lock around each change or read of
// a child array; callbacks run without it.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct EntryTree;
struct EntryTreeCursor;
struct EntryTreeWalker;

enum : int32_t {
    EntryTree_leaf = 0,
    EntryTree_list = 1,
    EntryTree_ref = 2,
    EntryTree_templateWords = 7,
    EntryTree_maxWalkDepth = 256, // nesting (references included) a walk follows
};

typedef void (*EntryTreeReleaseFn)(void *data);
// Fills a nested entry's children through the cursor. 0 or a status that
// ends the walk.
typedef int (*EntryTreeOpenFn)(EntryTreeCursor *cursor, void *data, intptr_t value);
// The tree a reference stands for (null: none).
typedef EntryTree *(*EntryTreeResolveFn)(void *reference);

// Every entry starts with its kind.
struct EntryTreeEntry {
    int32_t kind;
};

// A child array: entry pointers, count and capacity.
struct EntryTreeChildren {
    EntryTreeEntry **entries;
    uint32_t count;
    uint32_t capacity;
};

struct EntryTreeLeaf {
    int32_t kind; // 0
    void *data;
    intptr_t valueA, valueB;
    EntryTreeReleaseFn release; // called with data
};

struct EntryTreeList {
    int32_t kind; // 1
    EntryTreeChildren *children;
    void *data;
    intptr_t value;
    EntryTreeOpenFn open;
    EntryTreeReleaseFn release; // called with data
    int32_t loaded, opened;
    EntryTreeChildren *parent; // null for the root
};

struct EntryTreeRef {
    int32_t kind; // 2
    void *reference;
    intptr_t valueA, valueB;
    EntryTreeResolveFn resolve;
    intptr_t valueC;
    EntryTreeReleaseFn release; // called with the reference
    EntryTreeChildren *parent;
};

struct EntryTree {
    Lock lock;
    EntryTreeList *root;
    int32_t templateWords[EntryTree_templateWords]; // six 0, then -3640
    int32_t state;
    int32_t words[3];
    int32_t params[2]; // 2, 2
};

struct EntryTreeCursor {
    EntryTree *tree;
    int32_t scale;
    EntryTreeList *current; // the nested entry being filled
    uint32_t index;         // the insertion index in its children
};

// The walk: callbacks for leaves and references, its order and its stop
// flag. A callback's non-zero status ends the walk with that status.
struct EntryTreeWalker {
    int (*leaf)(EntryTreeWalker *walker, EntryTreeLeaf *leaf);
    int (*reference)(EntryTreeWalker *walker, EntryTreeRef *ref); // may be null
    int32_t reverse;                                              // visit children last to first
    int32_t stop;  // set by a callback: the walk ends with 0
    int32_t scale; // handed to the cursors of open callbacks
    void *user;
    // Used by the walk: the trees it is inside and their number.
    EntryTree *path[EntryTree_maxWalkDepth];
    int32_t depth;
};

// *out = a new empty tree. 0, 1 when memory runs out, or the lock's
// failure (*out null).
int EntryTree_create(EngineContext *context, EntryTree **out);
// Releases every entry (children before their parent), the lock and the
// record. Null is ignored.
void EntryTree_free(EntryTree *tree);
// A new root nested entry; any old root is released first. 0 or 1.
int EntryTree_setRoot(EntryTree *tree, void *data, intptr_t value, EntryTreeOpenFn open,
                      EntryTreeReleaseFn release);
// New entries stored at the cursor's insertion index of its nested entry.
// 0, or 1 when memory runs out: the entry is then released with its data
// word cleared, so the caller keeps its data.
int EntryTree_addList(EntryTreeCursor *cursor, void *data, intptr_t value, EntryTreeOpenFn open,
                      EntryTreeReleaseFn release);
int EntryTree_addRef(EntryTreeCursor *cursor, void *reference, intptr_t valueA,
                     EntryTreeResolveFn resolve, intptr_t valueB, intptr_t valueC,
                     EntryTreeReleaseFn release);
int EntryTree_addLeaf(EntryTreeCursor *cursor, void *data, intptr_t valueA, intptr_t valueB,
                      EntryTreeReleaseFn release);
void EntryTree_advance(EntryTreeCursor *cursor);
// The first word of the entry at the insertion index (a leaf's data, a
// nested entry's child array, a reference's value); null past the end.
void *EntryTree_currentData(EntryTreeCursor *cursor);
void *EntryTree_nodeData(const EntryTreeCursor *cursor);
// 1 while the cursor's nested entry has not been opened.
int EntryTree_needsOpen(const EntryTreeCursor *cursor);
int32_t EntryTree_getState(EntryTree *tree);
void EntryTree_getParams(EntryTree *tree, int32_t *first, int32_t *second);

// Releases one entry: a leaf's and a reference's release callback get its
// data or reference; a nested entry's gets its data and its child array is
// freed (not the children, which the caller releases first). Null is
// ignored.
void EntryTree_releaseEntry(EntryTreeEntry *entry);
// Stores entry at index, doubling the array as needed (2 first). An index
// below the count already holds an entry: the new one is released
// instead. 0, or 1 when memory runs out (the entry is not stored).
int EntryTree_storeChild(EntryTreeChildren *children, uint32_t index, EntryTreeEntry *entry);
// Walks the children of a nested entry of tree: opens an unopened nested
// entry first, calls the walker's leaf callback for leaves, walks nested
// entries, and for references calls the reference callback, then walks the
// root of the tree the reference resolves to. A reference into a tree the
// walk is inside ends it with Res_entryTreeCycle, nesting deeper than
// EntryTree_maxWalkDepth with Res_entryTreeTooDeep.
int EntryTree_walk(EntryTreeWalker *walker, EntryTree *tree, EntryTreeList *list);
