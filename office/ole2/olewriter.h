// The compound-file writer.
//
// Only the writer's chain of directory entries exists yet, as far as the
// entry lookup of the shared routines (OleWriter_findEntry) walks it; the
// writer itself comes with the office storage subsystem.
#pragma once

#include <cstdint>

// One directory entry of the writer's chain.
struct OleWriterEntry {
    uintptr_t word;        // the entry's first word: what a lookup hands back
    uint32_t id;           // the entry's directory id
    OleWriterEntry *next;  // the next entry of the chain, or null
};

struct OleWriter {
    OleWriterEntry *entries; // the first entry of the chain, or null
};
