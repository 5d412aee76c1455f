// The heap of a fuzz target: opened on the first input and kept open for
// the inputs after it. Setting up a heap of many megabytes (and, under the
// address sanitizer, poisoning all of it) costs far more than most inputs
// do, so a fresh heap per input left the fuzzer a few runs a second. Each
// input still checks that it leaves the heap with the bytes it found.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "tests/support/test_engine.h"

inline TestHeap &FuzzHeap_get(size_t bytes)
{
    static TestHeap heap;
    static bool open = false;
    if (!open) {
        if (!TestHeap_open(&heap, bytes, 0))
            abort();
        open = true;
    }
    return heap;
}
