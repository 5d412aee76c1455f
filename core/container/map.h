// The keyed map: an ordered associative container kept as a red-black tree.
//
// Keys and values are opaque machine words ordered by a caller-given
// comparison. Equal keys may coexist: an equal key goes to the right of the
// existing one, and a search returns the first equal node on its path.
// The tree's exact shape after a given sequence of inserts and removals is
// part of the contract: the compound-file writer copies each entry's left
// child, right child and colour into the directory of the file it writes.
// So insertion and removal follow the classic algorithms to the letter, and
// a removal moves the successor node into the removed node's place (keys and
// values never move between nodes).
//
// A map made with the locked flag owns an engine Lock and takes it around
// every operation but Map_rootValue; such a map may be used from engine
// tasks only (a lock taken on the GUI thread aborts the engine), and a walk
// callback must not call into the same map. Other maps belong to one task.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;

// Negative, 0 or positive as the stored key sorts before, equal to or after
// the probe.
typedef int32_t (*MapCompareFn)(const void *stored, const void *probe);
// Frees a key or a value when its entry goes.
typedef void (*MapFreeFn)(void *item);
// A walk's callback; non-zero stops the walk.
typedef int (*MapWalkFn)(void *key, void *value, void *userData);

struct MapNode {
    void *key;
    void *value;
    MapNode *left;
    MapNode *right;
    MapNode *parent; // the root's parent is the map's header
    uint8_t red;     // 1 red, 0 black
};

struct Map {
    MapCompareFn compare;
    MapFreeFn freeKey; // may be null
    MapFreeFn freeValue;
    MapNode *header; // black; its left child is the root (nil when empty)
    MapNode *nil;    // the shared leaf: black, key null, value null
    int32_t count;
    int32_t locked;
    Lock lock;              // initialised when locked
    MapWalkFn walkCallback; // set only during Map_walk
    void *walkData;
};

// Creates an empty map; the map owns its nodes and, through freeKey and
// freeValue, the keys and values it is given. Returns 0 with *map set; 16
// (Res_missingArgument) when compare, freeValue or the out pointer is null;
// 1 without memory (*map stays null).
[[nodiscard]] int Map_create(EngineContext *context, MapCompareFn compare, MapFreeFn freeKey,
                             MapFreeFn freeValue, int locked, Map **map);

// Frees every entry (freeKey, then freeValue, in post-order) and the map.
// 0; Res_missingArgument for null.
int Map_destroy(Map *map);

// Adds an entry; an equal key is kept beside the existing one. 0; 1 without
// memory; Res_missingArgument for a null map or key.
int Map_insert(Map *map, void *key, void *value);

// The value of the first entry equal to key met from the root: 0 with *value
// set; Res_mapNotFound with *value null; Res_missingArgument for a null map,
// key or out pointer.
[[nodiscard]] int Map_find(Map *map, const void *key, void **value);

// Removes the first entry equal to key met from the root, calling freeKey and
// freeValue on it. 0; Res_mapNotFound when absent; Res_missingArgument for a
// null map or key.
int Map_remove(Map *map, const void *key);

// For the entry found as by Map_find: its colour (1 red) and the values of its
// left and right children (null for a leaf). 0; Res_mapNotFound when absent
// (all three outputs cleared); Res_missingArgument when any argument is null.
int Map_nodeInfo(Map *map, const void *key, int *red, void **leftValue, void **rightValue);

// The value of the root entry; null for an empty or null map.
void *Map_rootValue(const Map *map);

// Calls callback(key, value, userData) on every entry in post-order (left
// subtree, right subtree, node); the first non-zero result stops the walk and
// is returned. 0 (also for a null callback); Res_missingArgument for a null
// map.
int Map_walk(Map *map, MapWalkFn callback, void *userData);

// ------------------------------------------------------ tree primitives
//
// The red-black tree steps the operations above are made of, for code that
// keeps its own trees of MapNode records under a Map head. They change
// links and colours only; counts and locks are the caller's.

// The node whose key compares equal to key (map->compare), searching down
// from start (normally the root, the header's left link): a positive
// comparison goes left, a negative one right. Null when a null or nil link
// is reached.
MapNode *List_treeFind(const void *key, MapNode *start, const Map *map);
// x's right child takes x's place (under x's parent, or as the root) and x
// becomes its left child; the mirror image for Map_rotateRight. Links that
// point to nil are not given a parent.
void Map_rotateLeft(Map *map, MapNode *x);
void Map_rotateRight(Map *map, MapNode *x);
// Restores the red-black rules after a black node was removed: x is the
// node (nil included, with its parent set) that took the removed node's
// place. The textbook delete fix-up; the root is the header's left link.
void Map_removeFixup(Map *map, MapNode *x);
