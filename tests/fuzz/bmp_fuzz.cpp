// Fuzz target for the BMP codec: the input is a BMP file. It decodes in
// the 32-bit format and in 565 with the same result, the 565 picture being
// the 32-bit one converted; its header reads to the same size; nothing
// leaks.
#include "graphics/codecs/bmp.h"
#include "tests/fuzz/codec_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 16)
        return 0;
    EngineContext *ctx = codecfuzz::world();
    ImageCodec *codec = Codec_bmpDescriptor();
    codecfuzz::requireAt(codec != nullptr, "bmp_fuzz", __LINE__);
    int32_t score = 0;
    codecfuzz::requireAt(Bmp_recognise(&score, nullptr, nullptr, data, uint32_t(size),
                                       ImageDec_flagRecognise) == Res_ok,
                         "bmp_fuzz", __LINE__);
    codecfuzz::decodeBothFormats("bmp_fuzz", codec, data, size, nullptr, nullptr);
    codecfuzz::InputStream in;
    codecfuzz::inputInit(&in, data, size);
    codecfuzz::Target t;
    codecfuzz::targetInit(&t, ctx, nullptr, nullptr);
    if (Bmp_readHeader(ctx, &in.base, &t.image, nullptr, nullptr) == Res_ok)
        codecfuzz::requireAt(t.image.nominalWidth > 0 && t.image.nominalHeight > 0, "bmp_fuzz",
                             __LINE__);
    codecfuzz::targetFree(&t);
    Mem_free(codec);
    return 0;
}
