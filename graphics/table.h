// Binary search in sorted tables of fixed-size records keyed by a 32-bit
// word at the start of each record.
#pragma once

#include <cstddef>
#include <cstdint>

// The index of the record whose key equals key in a table of count records
// that lie strideBytes apart, sorted by their first 32-bit word (unsigned);
// -1 when none has it (also for count 0).
int32_t Table_find(const void *table, uint32_t count, size_t strideBytes, uint32_t key);
