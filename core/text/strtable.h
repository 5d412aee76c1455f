// Interned name table: names to small integer ids and back.
//
// Every document keeps one of these for its element names, class names and
// other interned strings. An importer seeds its table from a constant block
// of built-in names, so the built-in names have fixed ids (1, 2, 3 ... in
// block order); names met later are added with the following ids. Ids are
// 16-bit and never change once given; 0 means "none".
//
// Names compare case-insensitively with the engine's Latin case rule
// (Ustr_nicmp): over the shorter length, and when that part is equal the
// shorter name first. The built-in block must already be sorted in that
// order; lookups are binary searches over a sorted index.
//
// The table owns its added names and its indexes; it never owns the
// built-in block, which must outlive it. No lock: the owner serialises use.
#pragma once

#include <cstddef>
#include <cstdint>

struct StrTable {
    const char *builtin;    // block of NUL-terminated 8-bit names ending with ""; not owned
    char16_t *added;        // added names, each followed by a 0 unit; owned
    uint32_t addedUsed;     // units used in added (starts at 1)
    uint32_t addedCapacity; // units allocated in added
    uint32_t builtinCount;  // number of built-in names
    uint32_t addedCount;    // number of added names
    int32_t *sorted;        // location of each name, in name order
    int32_t *byId;          // location of the name of each id, at id - 1
    uint16_t *posToId;      // id of each name, in name order
    uint32_t capacity;      // entries in each of the three arrays
};

// A location: 0 or more is a byte offset into the built-in block; a
// negative value v is the unit offset -v-1 into the added pool.

// Largest id a table gives: ids are 16-bit.
enum : uint32_t { StrTable_maxId = 0xFFFF };

// A new table seeded with the built-in block (or none for null). The block
// is read name by name up to its empty name and must stay alive and
// unchanged while the table exists. Null when memory runs out or the block
// holds more names than ids exist.
StrTable *StrTable_create(const char *builtin);

// Frees the table with its added names and indexes; never the built-in
// block. Null is ignored.
void StrTable_destroy(StrTable *table);

// The id of the name of length units (case-insensitive), or 0 when the
// table does not hold it. The name need not be terminated.
uint16_t StrTable_findN(const StrTable *table, const char16_t *name, size_t length);
// As StrTable_findN for a NUL-terminated name.
uint16_t StrTable_find(const StrTable *table, const char16_t *name);

// The id of the name, which is added (copied) when the table lacks it. 0
// when memory runs out or every id is taken; the table stays usable and
// unchanged then.
uint16_t StrTable_internN(StrTable *table, const char16_t *name, size_t length);
uint16_t StrTable_intern(StrTable *table, const char16_t *name);

// A new 16-bit copy of the name of id (built-in names widened byte by
// byte), which the caller frees with Mem_free. Null for id 0, an unknown
// id, or when memory runs out.
char16_t *StrTable_getName(const StrTable *table, uint16_t id);

// Lends the name of id from the table's own storage: exactly one of *name8
// (a built-in name) and *name16 (an added name) is set, with *length its
// length in characters. For id 0 or an unknown id all three are 0. Any
// out-parameter may be null. The pointers stay valid until the next name
// is added.
void StrTable_entryAt(const StrTable *table, uint16_t id, const char **name8,
                      const char16_t **name16, size_t *length);

// The id of the name made by joining the names of the ids in the 0-ended
// list (an unknown id adds nothing), or 0 when the table does not hold that
// name or memory runs out. Nothing is added.
uint16_t StrTable_findJoined(const StrTable *table, const uint16_t *ids);
