// The fuzz targets linked into one program, and the choice of one of them
// by the name the program was started under ("fuzz_<target>").
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzTarget {
    const char *name;
    int (*run)(const uint8_t *data, size_t size);
};

extern const FuzzTarget kFuzzTargets[];
extern const size_t kFuzzTargetCount;

// The target that a program path names (its last component, less the
// "fuzz_" prefix), or null with the known names printed to stderr.
const FuzzTarget *FuzzTarget_fromProgram(const char *path);
