// Interning: one shared copy per distinct byte string, and use-counted
// record lists.
//
// The intern table keeps one heap copy of every distinct byte string it is
// given, so callers can compare interned strings by address. It has 1024
// buckets; a string found is moved to the front of its bucket, since the
// same few strings tend to be asked for again and again.
//
// An InternList is a singly linked list of use-counted copies of records
// (text formats, for one), so that all users of equal records share one
// node. A node whose count grows past its predecessor's moves one place
// forward, so the most used records drift to the front. The owner of the
// list supplies the record size and equality, sets the list up, prunes the
// nodes whose count fell to 0 and frees the list.
//
// Neither takes a lock.
#pragma once

#include <cstddef>
#include <cstdint>

// One interned string: the link, its length, then the bytes and a
// terminating 0. Strings may hold 0 bytes of their own; the length tells
// them apart.
struct InternTableNode {
    InternTableNode *next;
    size_t length;
    char bytes[1]; // really length + 1 bytes
};

enum : size_t { InternTable_buckets = 1024 };

// The table: bucket heads only, so a zero-filled record is an empty table.
struct InternTable {
    InternTableNode *heads[InternTable_buckets];
};

// The bucket of n bytes: h = 5381, h = h * 33 + byte for each byte, then
// (h * 0x9e3779b9) >> 22, all modulo 2^32.
uint32_t Intern_bucket(const void *bytes, size_t n);

// The interned copy of the n bytes (terminated by a 0 after them), which
// lives until Intern_clear; the same address for the same bytes every
// time. Null when memory runs out (the table is unchanged).
const char *Intern_bytes(InternTable *table, const void *bytes, size_t n);
// As Intern_bytes for a NUL-terminated string.
const char *Intern_cstr(InternTable *table, const char *s);

// Frees every interned copy and leaves the table empty.
void Intern_clear(InternTable *table);

// A node of an InternList: its record (a copy, kept in the same block
// right behind the node), the next node and the use count.
struct InternNode {
    void *record;
    InternNode *next;
    uint32_t useCount;
};

// Record equality of the list's owner: (record, key) non-zero when equal.
typedef int (*InternRecordEqualFn)(const void *record, const void *key);

// *out = the node whose record equals key (by equal), with its use count
// raised by one, moved one place forward when its count now exceeds its
// predecessor's; or, when none is equal, a new node with a copy of the
// recordSize bytes of key at the head, count 1. 0, or 1 when memory runs
// out (*out null, the list unchanged).
[[nodiscard]] int InternList_acquire(InternNode **head, const void *key, size_t recordSize,
                                     InternRecordEqualFn equal, InternNode **out);

// Sets an empty list up (the head null).
void InternList_init(InternNode **head);

// The style key of a document's shared intern list: nine words compared
// field by field, word 8 only as zero or non-zero. The words are
// pointer-sized, since layout stores pointers in some of them.
struct InternKey {
    uintptr_t words[9];
};
// Key equality for InternList_acquire: 1 when words 0 to 7 are equal and
// word 8 is zero in both keys or non-zero in both, else 0.
int InternList_keyEqual(const void *a, const void *b);

// Lowers the node's use count, never below 0. Null is ignored. The node
// stays on its list until the owner prunes it.
void InternList_release(InternNode *node);
// Removes and frees, in one pass from the head, every node whose use count
// is 0; the others keep their order.
void InternList_purge(InternNode **head);
// Frees every node whatever its count and leaves the head null. A null
// head pointer is ignored.
void InternList_free(InternNode **head);
