// Table keyed by 16-bit strings, with value chains and prefixed keys.
//
// A fixed number of buckets, chosen at creation; keys whose hashes meet in
// one bucket are chained there, so every key can be added whatever else the
// table holds. An entry owns a copy of its key and holds one value (a
// pointer the table does not own); further values under the same key hang
// on the entry's value chain, in the order they were added.
//
// Prefixed keys serve two-level names: WideDict_addPrefixed files a value
// under "prefix:name" and also on the chain of the prefix alone, so that
// all the values of one prefix can be listed. No lock.
#pragma once

#include <cstddef>
#include <cstdint>

struct WideDictEntry {
    char16_t *key; // owned copy; null on the value chain
    void *value;
    WideDictEntry *nextValue; // second and later values of this key
    WideDictEntry *nextKey;   // next key of the same bucket
};

struct WideDict {
    size_t bucketCount;
    WideDictEntry **buckets;
};

// A new empty table of bucketCount buckets; null for 0 buckets or when
// memory runs out.
WideDict *WideDict_create(size_t bucketCount);

// Files value under key (NUL-terminated). 0 when added; Res_slotInUse when the
// key is present and allowSecond is 0; 1 when memory runs out; Res_nullInput
// for a null table or key. A failure leaves the table as it was.
[[nodiscard]] int WideDict_add(WideDict *dict, const char16_t *key, void *value, int allowSecond);

// Files value under prefix alone (added to its value chain) and under
// "prefix:name" (which must not be present yet). 0, or what WideDict_add
// gives for the failing step; on failure the table is left as it was.
[[nodiscard]] int WideDict_addPrefixed(WideDict *dict, const char16_t *prefix, const char16_t *name,
                                       void *value);

// The entry of "prefix:name", or of prefix alone when name is null; null
// when absent. *bucket (when not null) receives the key's bucket index.
// The entry is lent: it stays valid until its key is removed.
WideDictEntry *WideDict_lookup(const WideDict *dict, const char16_t *prefix, const char16_t *name,
                               size_t *bucket);

// *values = a new heap array (freed with Mem_free) of the values filed
// under prefix alone: the first only, or the whole chain when withSecond is
// non-zero; *count their number. A prefix not present gives null and 0.
// 0, or 1 when memory runs out (null and 0).
[[nodiscard]] int WideDict_listKeys(const WideDict *dict, const char16_t *prefix, void ***values,
                                    size_t *count, int withSecond);

// Removes "prefix:name" with its values and takes its value off the chain
// of the prefix (which goes when its chain empties); with a null name,
// removes prefix alone with its values. 1 when a key was removed, else 0.
int WideDict_remove(WideDict *dict, const char16_t *prefix, const char16_t *name);

// Frees every entry, the buckets and the table. Null is ignored.
void WideDict_free(WideDict *dict);
