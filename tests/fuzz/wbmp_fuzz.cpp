// Fuzz target for the WBMP codec: the input is a WBMP file. It decodes in
// both formats alike, only to black and white, and a header that
// recognises decodes or fails on its data, never on its header; nothing
// leaks.
#include "graphics/codecs/wbmp.h"
#include "tests/fuzz/codec_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 18)
        return 0;
    EngineContext *ctx = codecfuzz::world();
    ImageCodec *codec = Codec_wbmpDescriptor();
    codecfuzz::requireAt(codec != nullptr, "wbmp_fuzz", __LINE__);
    int32_t score = 0;
    (void)Wbmp_recognise(&score, nullptr, nullptr, data, uint32_t(size < 12 ? size : 12),
                         ImageDec_flagRecognise);
    codecfuzz::decodeBothFormats("wbmp_fuzz", codec, data, size, nullptr, nullptr);
    uint32_t *picture = nullptr;
    int32_t width = 0, height = 0;
    int r = codecfuzz::decodeInto(ctx, codec, data, size, Pixel_formatRGBA, nullptr, nullptr,
                                  &picture, &width, &height);
    if (score == 90 && size >= 6)
        codecfuzz::requireAt(r != Res_wbmpBadHeader, "wbmp_fuzz", __LINE__);
    if (r == Res_ok) {
        codecfuzz::requireAt(width <= Wbmp_maxSize && height <= Wbmp_maxSize, "wbmp_fuzz",
                             __LINE__);
        for (size_t i = 0; i < size_t(width) * size_t(height); i++)
            codecfuzz::requireAt(picture[i] == 0 || picture[i] == 0xFFFFFF, "wbmp_fuzz", __LINE__);
    }
    free(picture);
    Mem_free(codec);
    return 0;
}
