// Fuzz target for WMF playback (plain, placeable and clipboard-wrapped).
// Input: an option byte (bit 0 a frame is given, bit 1 keep the aspect,
// bits 4-5 widen the target), then the picture.
#include "tests/fuzz/metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return metafuzz::run(data, size);
}
