// The pooled list: a singly linked list whose nodes come from pool blocks
// owned by the list. Removed nodes go back to the list's free chain; pool
// memory is only given back when the list is destroyed. Each new pool
// block holds growBy nodes, and growBy doubles after every block.
//
// Unless said otherwise, operations answer 1 for a null list, a missing
// argument or no memory, and then leave the list unchanged. Nothing here
// takes a lock.
#pragma once

#include <cstdint>

// Called for an entry's datum when the entry is removed or the list
// destroyed.
typedef void (*ListDestroyFn)(void *data);
// <0, 0 or >0, as the two data order.
typedef int (*ListCompareFn)(const void *a, const void *b);

struct ListNode {
    void *data;
    ListNode *next;
};

struct ListBlock {
    ListNode *nodes;
    ListBlock *next;
};

struct List {
    int32_t count;
    ListDestroyFn destroy; // may be null
    ListNode *freeNodes;
    ListBlock *blocks;
    uint32_t growBy; // nodes of the next pool block
    ListNode *head;
    ListNode *tail;
};

enum : int32_t {
    List_atHead = 0,
    List_atTail = 1,
    List_before = 2,
    List_after = 3,
};

// The state handed to a List_walk callback.
struct ListWalkState {
    int32_t fill; // set: offer new nodes from the pool to be appended
    int32_t done; // set by the callback to end a fill after this node
};

// Walk callback: op 0 starts (node null), 2 offers a node, 1 ends.
typedef int (*ListWalkFn)(int32_t op, void *argument, ListNode *node, ListWalkState *state);
// forEach callback: -1 stops with 0, 1 stops with 1, others go on.
typedef int (*ListEachFn)(ListNode *node, void *argument);
// findWith compare: 0 found, 2 stop without a find, others go on.
typedef int (*ListFindFn)(const void *key, const void *data);

// *out = a new list with a first pool block of initialNodes nodes (at least
// one). 0, or 1 with *out null.
int List_create(List **out, ListDestroyFn destroy, uint32_t initialNodes, uint32_t growBy);
// Removes every entry (destroying each datum), frees the pool and the
// record, and clears *list. Null is ignored.
void List_destroy(List **list);
int32_t List_count(const List *list);
// A new entry for data at the head, at the tail, or before or after the
// reference node. The new node, or null (no list, no reference for 2 and
// 3, no memory, unknown where).
ListNode *List_insert(List *list, void *data, ListNode *reference, int32_t where);
// Inserts after the last entry, walking from the head, for which
// compare(data, entry) is not below 0 (not above 0 when descending); at the
// head when there is none. The new node or null.
ListNode *List_insertSorted(List *list, void *data, ListCompareFn compare, int descending);
// Moves node before (2) or after (3) reference. 0; 1 for a missing
// argument or another where.
int List_move(List *list, ListNode *node, ListNode *reference, int32_t where);
// Bubble sort in passes until one changes nothing; order 1 sorts the other
// way round. swapData: exchange data words rather than relink nodes.
int List_sort(List *list, ListCompareFn compare, int32_t order, int swapData);
ListNode *List_at(const List *list, int32_t index);
void *List_nodeData(const ListNode *node);
// Unlinks *node, destroys its datum, returns it to the pool and clears
// *node. 0 also for a null *node or an empty list.
int List_remove(List *list, ListNode **node);
// The first node from the head (or after `after`) whose datum compare
// answers 0 for; plain equality of key and datum without compare.
ListNode *List_findWith(const List *list, const void *key, ListFindFn compare, ListNode *after);
// callback(node, argument) for each node; the callback may remove its own
// node.
int List_forEach(List *list, ListEachFn callback, void *argument, ListNode *after);
int List_walk(List *list, void *argument, ListWalkFn callback, ListWalkState *state);
// Destroys the old datum at *slot (when present, with the list's destroy)
// and stores data there.
int List_replaceData(const List *ops, void **slot, void *data);
