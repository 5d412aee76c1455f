// Fuzz target for the PNG decoder: any bytes decode through the image
// store (whole, then in small pieces at a coarser level) without a crash,
// a sanitizer report or a leaked heap byte. Seeds: the PNG fixtures.
#include "graphics/image.h"
#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return imagefuzz::run(Codec_pngDescriptor, data, size);
}
