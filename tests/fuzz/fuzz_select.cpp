// Chooses a fuzz target by the program's name: each target is a link named
// fuzz_<target> to the one program that holds them all.
#include "tests/fuzz/fuzz_targets.h"

#include <cstdio>
#include <cstring>

const FuzzTarget *FuzzTarget_fromProgram(const char *path)
{
    const char *base = strrchr(path, '/');
    base = base ? base + 1 : path;
    const char *name = strncmp(base, "fuzz_", 5) == 0 ? base + 5 : base;
    for (size_t i = 0; i < kFuzzTargetCount; i++)
        if (strcmp(kFuzzTargets[i].name, name) == 0)
            return &kFuzzTargets[i];
    fprintf(stderr, "%s: no fuzz target \"%s\"; start the program as fuzz_<target>, one of:\n",
            base, name);
    for (size_t i = 0; i < kFuzzTargetCount; i++)
        fprintf(stderr, "  fuzz_%s\n", kFuzzTargets[i].name);
    return nullptr;
}
