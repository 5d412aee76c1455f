// Fuzz target for the GIF codec: the input is a GIF file. Its first frame
// decodes through the codec slots in both formats alike, then up to 64
// frames are stepped onto screen buffers; nothing leaks, whatever the data.
#include "graphics/codecs/gif.h"
#include "tests/fuzz/codec_fuzz.h"

namespace {

int decodeFirst(EngineContext *ctx, ImageCodec *codec, const uint8_t *data, size_t size,
                uint32_t format)
{
    codecfuzz::InputStream in;
    codecfuzz::inputInit(&in, data, size);
    codecfuzz::Target t;
    codecfuzz::targetInit(&t, ctx, nullptr, nullptr);
    void *instance = nullptr;
    int r = codec->createInstance(ctx, &t.image, ImageDec_flagRecognise, &instance);
    if (r == Res_ok) {
        ImageCodecParams params{ImageDec_flagRecognise, format, 0, nullptr, nullptr};
        r = codec->decode(ctx, instance, &in.base, &t.image, &params);
        codec->destroyInstance(&t.image, instance);
    }
    codecfuzz::targetFree(&t);
    return r;
}

void stepFrames(EngineContext *ctx, const uint8_t *data, size_t size)
{
    codecfuzz::InputStream in;
    codecfuzz::inputInit(&in, data, size);
    void *instance = nullptr;
    if (Gif_createInstance(ctx, nullptr, 0, &instance) != Res_ok)
        return;
    GifDecoder *d = static_cast<GifDecoder *>(instance);
    int32_t w = 0, h = 0;
    PixelBuf *picture = nullptr, *mask = nullptr;
    if (Gif_readScreen(d, &in.base, &w, &h) == Res_ok && w > 0 && h > 0 &&
        int64_t(w) * h <= (1 << 20) &&
        PixelBuf_create(&picture, w, h, Pixel_format565, 0x10000) == Res_ok &&
        PixelBuf_create(&mask, w, h, Pixel_formatGrey8, 0x10000) == Res_ok) {
        for (int i = 0; i < 64; i++) {
            int32_t duration = 0, shown = 0;
            if (Gif_stepFrame(ctx, d, &in.base, picture, mask, &shown, &duration) != Res_ok ||
                !shown)
                break;
            codecfuzz::requireAt(duration >= 100 && duration % 10 == 0, "gif_fuzz", __LINE__);
        }
    }
    PixelBuf_destroy(picture);
    PixelBuf_destroy(mask);
    Gif_destroyInstance(nullptr, d);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 18)
        return 0;
    EngineContext *ctx = codecfuzz::world();
    ImageCodec *codec = Codec_gifDescriptor();
    codecfuzz::requireAt(codec != nullptr, "gif_fuzz", __LINE__);
    size_t before = TestHeap_usedBytes();
    int r1 = decodeFirst(ctx, codec, data, size, Pixel_formatRGBA);
    int r2 = decodeFirst(ctx, codec, data, size, Pixel_format565);
    if (r1 != Res_noMemory && r2 != Res_noMemory)
        codecfuzz::requireAt(r1 == r2, "gif_fuzz", __LINE__);
    stepFrames(ctx, data, size);
    codecfuzz::requireAt(TestHeap_usedBytes() == before, "gif_fuzz", __LINE__);
    codecfuzz::requireAt(Mem_check() == 0, "gif_fuzz", __LINE__);
    Mem_free(codec);
    return 0;
}
