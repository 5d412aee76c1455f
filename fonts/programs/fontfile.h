// Charstring data of font programs: {data, length} entries (Subrs lists).
#pragma once

#include <cstdint>

struct FontFileEntry {
    uint8_t *data;
    uint32_t length;
};

// Frees the data of each entry, then the array, and clears *count.
void FontFile_freeEntryArray(FontFileEntry *entries, uint32_t *count);
