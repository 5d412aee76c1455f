// Collections: caller-owned items on an intrusive doubly linked list.
//
// Each item embeds a link pair {previous, next} at a fixed offset; the
// collection links those pairs and turns a link back into its item by
// subtracting the offset, so adding and removing never allocate. All list
// work goes through a table of thirteen methods that the collection copies
// at creation; the default table is the plain list below, and a caller may
// hand its own (for another ordering or bookkeeping).
//
// An item's link pair must be zero before the item is first added (the
// list slots clear it again when the item leaves). The collection never
// owns its items and takes no lock. Its fields are
// public: a caller sets `compare` directly when it uses sorted insertion.
#pragma once

#include <cstddef>
#include <cstdint>

struct CollLink {
    CollLink *prev;
    CollLink *next;
};

struct Coll;

// Thirteen slots in this order; every slot takes the collection first.
struct CollMethods {
    void (*clear)(Coll *c);                // empties the list (items untouched)
    int (*destroyCheck)(Coll *c);          // Coll_stillHolds while items remain, else 0
    int (*pushFront)(Coll *c, void *item); // links item first
    int (*append)(Coll *c, void *item);    // links item last
    int (*insertBefore)(Coll *c, void *item, void *at); // links item before at
    int (*insertAfter)(Coll *c, void *item, void *at);  // links item after at
    int (*insertSorted)(Coll *c, void *item); // before the first x with compare(item, x) == 0
    void *(*find)(Coll *c, const void *key);  // first x with match(key, x) != 0
    int (*unlink)(Coll *c, void *item);       // takes item out of the list
    void *(*first)(Coll *c);
    void *(*last)(Coll *c);
    void *(*next)(Coll *c, void *item);
    void *(*prev)(Coll *c, void *item);
};

// 0 when a belongs before b.
typedef int (*CollCompareFn)(const void *a, const void *b);
// Non-zero when item matches key.
typedef int (*CollMatchFn)(const void *key, const void *item);

struct Coll {
    CollMethods *methods;  // the collection's own copy of its table
    CollCompareFn compare; // for sorted insertion
    CollMatchFn match;     // for find
    size_t linkOffset;     // where each item keeps its CollLink
    size_t count;          // items linked
    CollLink *head;
    CollLink *tail;
};

// Result of the destroy check while the collection still holds items.
enum : int { Coll_stillHolds = 2 };

// Sets up *c: its own copy of methods (the default list for null), the link
// offset, no functions, count 0 and an empty list. 0; Res_nullInput for a null
// c; 1 when memory runs out (c is then left without a table).
[[nodiscard]] int Coll_create(Coll *c, const CollMethods *methods, size_t linkOffset);

// Sets the match function that find uses.
void Coll_setMatchFn(Coll *c, CollMatchFn match);

// Items linked; 0 for null.
size_t Coll_count(const Coll *c);

// Dispatchers. Each gives 8 (or null) for a missing collection, table or
// slot and otherwise what the slot gives. The default slots give 0, or 8
// for a null item or for an anchor (or an item to unlink) that is not on
// this list.
int Coll_pushFront(Coll *c, void *item);
void *Coll_first(Coll *c);
// The first item matching key; null without a match function.
void *Coll_find(Coll *c, const void *key);
// Unlinks item (the caller still owns it).
int Coll_remove(Coll *c, void *item);

// The destroy check's result (Coll_stillHolds while items remain, so the
// caller can tell that it forgot some), after which the table is freed in
// any case; Res_nullInput for a missing collection, table or slot.
int Coll_destroy(Coll *c);
