// Keyed lists: the small tables of the configuration store.
//
// A keyed list is a singly linked list of entry records, newest first, with
// at most one entry per key. Every entry record starts with two words, a
// pointer to its key and a pointer to its value; the rest of the record is
// its owner's. The list owns its entries: removing one frees the value, the
// key, the record and the node, in that order (each with Mem_free). Keys are
// compared by the list's key type, and a lookup may probe with a key of
// another type (an 8-bit key against stored 16-bit keys, for one).
//
// Every operation takes the list's own engine lock. The store that holds
// these lists takes its lock first, so the order is always store, then list.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;

// Key types.
enum : uint32_t {
    KeyedList_keyCstr = 0, // NUL-terminated 8-bit string
    KeyedList_keyUstr = 1, // NUL-terminated 16-bit string
    KeyedList_key1 = 2,    // fixed fields of 1, 2, 4, 8 and 16 bytes
    KeyedList_key2 = 3,
    KeyedList_key4 = 4,
    KeyedList_key8 = 5,
    KeyedList_key16 = 6,
};

// Magic words of a list's life.
enum : uint32_t {
    KeyedList_alive = 171,
    KeyedList_dying = 172,
};

// The two words every entry record starts with.
struct KeyedEntry {
    void *key;
    void *value;
};

struct KeyedNode {
    KeyedEntry *entry;
    KeyedNode *next;
};

struct KeyedList {
    KeyedNode *head; // newest entry first; null when empty
    uint32_t keyType;
    uint32_t magic; // KeyedList_alive, then KeyedList_dying
    Lock lock;
};

// 1 when a stored key of type storedType equals a probe of type probeType.
// Equal types: 8-bit keys compare as strings, 16-bit keys exactly (case
// matters), fixed fields byte by byte. An 8-bit key against a 16-bit one
// (either way round) compares each byte, zero-extended, with each unit, the
// way an 8-bit key is widened when it is stored. Other mixes, unknown types
// and null keys are never equal.
int KeyedList_keysEqual(const void *stored, uint32_t storedType, const void *probe,
                        uint32_t probeType);

// *list = a new empty list of the given key type. 0; 1 without memory; 16
// (Res_missingArgument) for a null out pointer. *list is null on failure.
[[nodiscard]] int KeyedList_create(EngineContext *context, KeyedList **list, uint32_t keyType);

// Frees every entry and node, then the list. 16 unless the list is alive
// (null included); 0 otherwise.
int KeyedList_destroy(KeyedList *list);

// Puts entry at the head, replacing (and freeing) the entry with an equal
// key. The list owns the entry from a result of 0 on. 16 for a list that is
// not alive or a null entry or key; 1 when the node cannot be allocated, and
// then the list is unchanged (an equal entry stays) and the entry is still
// the caller's.
[[nodiscard]] int KeyedList_put(KeyedList *list, KeyedEntry *entry);

// *entry = the entry whose key equals the probe (of probeType), lent: it
// stays the list's. 0 when found; Res_notFound with *entry null when
// not; Res_missingArgument for a null list, probe or out pointer.
[[nodiscard]] int KeyedList_get(KeyedList *list, const void *probe, uint32_t probeType,
                                KeyedEntry **entry);

// Removes and frees the entry whose key equals key (of the list's type);
// *removed is 1 when one went, else 0. 0; Res_missingArgument for a null list,
// key or out pointer.
int KeyedList_remove(KeyedList *list, const void *key, int *removed);

// *next = the entry after entry in list order (the head's for a null entry);
// null at the end or when entry is not in the list. 0; Res_missingArgument for
// a null list or out pointer.
int KeyedList_next(KeyedList *list, const KeyedEntry *entry, KeyedEntry **next);
