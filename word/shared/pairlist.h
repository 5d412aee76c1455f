// Pair lists: a counted list of 32-bit pairs behind two header words, a
// style property payload owned by whoever holds the value.
//
// One heap block of 12 + 8 x count bytes: the count, the two header words,
// then the pairs.
#pragma once

#include <cstdint>

struct PairList {
    uint32_t count;
    uint32_t a, b; // the header words
    // count pairs of two words follow in the same block
};

enum : int { PairList_badIndex = 14 }; // an index not below the count

// *out = a new list of count pairs, all zero, with header words a and b.
// 0; 1 when memory runs out (*out null).
[[nodiscard]] int PairList_new(PairList **out, uint32_t count, uint32_t a, uint32_t b);
// *out = a new list with the same header and pairs (null for null). 0 or 1.
[[nodiscard]] int PairList_copy(PairList **out, const PairList *list);
// Frees the list (null allowed).
void PairList_free(PairList *list);
// Stores pair i, or reads it into outPair (zeros on failure). 0; 8 for a
// null list or pair; PairList_badIndex for i not below the count.
int PairList_set(PairList *list, uint32_t i, const uint32_t pair[2]);
int PairList_get(const PairList *list, uint32_t i, uint32_t outPair[2]);
// The count and header words; each out pointer may be null. A null list
// gives zeros.
void PairList_header(const PairList *list, uint32_t *outCount, uint32_t *outA, uint32_t *outB);
// 1 when both have the same count, header words and pairs in order (two
// null lists are equal), else 0.
int PairList_equal(const PairList *a, const PairList *b);
