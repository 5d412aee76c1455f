// Owned-pointer records: a two-word record whose second word is a heap
// block that the record owns (the small form-control objects keep their
// texts and buffers this way). Replacing or clearing the block frees the
// old one.
#pragma once

#include <cstdint>

struct OwnedBlock {
    intptr_t word; // the owner's own word, never touched here
    void *block;   // engine heap block owned by the record, or null
};

// Frees the record's block (null allowed) and stores block in its place;
// the record owns it from now on. Returns what the free returns (0).
int Owned_set(OwnedBlock *record, void *block);
// Frees the record's block and stores null.
void Owned_clear(OwnedBlock *record);
