// The libFuzzer entry points of the program that holds every fuzz target:
// the target is chosen once, from the name the program was started under,
// before libFuzzer runs any input.
#include <cstdlib>

#include "tests/fuzz/fuzz_targets.h"

namespace {

struct FuzzChoice {
    const FuzzTarget *target;
};

FuzzChoice &fuzzChoice()
{
    static FuzzChoice choice = {nullptr};
    return choice;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    fuzzChoice().target = FuzzTarget_fromProgram((*argv)[0]);
    if (!fuzzChoice().target)
        exit(2);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzChoice().target->run(data, size);
}
