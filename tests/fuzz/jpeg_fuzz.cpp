// Fuzz target for the JPEG decoder: any bytes decode through the image
// store (whole, then in small pieces in an asynchronous pass, where
// progressive files are shown scan by scan, at a coarser level) without a
// crash, a sanitizer report or a leaked heap byte. Seeds: the JPEG
// fixtures.
#include "graphics/image.h"
#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return imagefuzz::run(Codec_jpegDescriptor, data, size);
}
