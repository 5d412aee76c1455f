// Blips decoded into images: a PNG blip of the generated blip store opens
// as an image of its size through the image store, and its release gives
// the handle back. The
// tests register a small codec of their own that recognises the PNG
// signature and reads the size from IHDR.
#include <fstream>
#include <sstream>

#include "office/officeart/escher.h"
#include "tests/graphics/image_support.h"

namespace {

int pngRecognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                 uint32_t flags)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    *score = (flags & ImageDec_flagRecognise) && count >= 8 && memcmp(bytes, signature, 8) == 0
                 ? 100
                 : 0;
    return Res_ok;
}

int pngReadHeader(EngineContext *, ByteStream *stream, ImageObject *image, ImageHook, void *)
{
    uint8_t b[24];
    if (ByteStream_readExact(stream, b, sizeof b) != Res_ok || memcmp(b + 12, "IHDR", 4) != 0)
        return 0x2201;
    int32_t w =
        int32_t(uint32_t(b[16]) << 24 | uint32_t(b[17]) << 16 | uint32_t(b[18]) << 8 | b[19]);
    int32_t h =
        int32_t(uint32_t(b[20]) << 24 | uint32_t(b[21]) << 16 | uint32_t(b[22]) << 8 | b[23]);
    return ImageDec_setHeader(image, w, h, 72, 0, 3, nullptr);
}

int pngDecode(EngineContext *ctx, void *, ByteStream *stream, ImageObject *image,
              const ImageCodecParams *params)
{
    int r = pngReadHeader(ctx, stream, image, nullptr, nullptr);
    PixelBuf *pic = nullptr;
    if (r == Res_ok)
        r = ImageDec_getBuffers(image, &pic, params->pixelFormat, nullptr, 0, 0);
    if (r != Res_ok)
        return r;
    for (int32_t y = 0; y < pic->height; y++)
        memset(pic->pixels + size_t(y) * pic->stride, 0, size_t(pic->width) * 2);
    return ImageDec_rowsDone(image, 0, 0, pic->width, pic->height);
}

int32_t pngTypeId()
{
    return 78;
}

ImageCodec *pngCodec()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->recognise = pngRecognise;
    c->readHeader = pngReadHeader;
    c->decode = pngDecode;
    c->typeId = pngTypeId;
    return c;
}

std::string drawingFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/office/drawing/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class EscherImageTest : public ImageStoreFixture {
  protected:
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        makeStore(false);
        ASSERT_EQ(Plugin_register(ctx, pngCodec()), Res_ok);
    }
};

TEST_F(EscherImageTest, PngBlipDecodes)
{
    std::string bytes = drawingFixture("bstore.bin");
    const auto *base = reinterpret_cast<const uint8_t *>(bytes.data());
    EscherSource main;
    EscherSource_initMemory(&main, base, uint32_t(bytes.size()));
    uint32_t second = 8 + (uint32_t(uint8_t(bytes[4])) | uint32_t(uint8_t(bytes[5])) << 8);
    ASSERT_EQ(EscherSource_seek(&main, second, 0), Res_ok);
    EscherDrawing *d = nullptr;
    ASSERT_EQ(Escher_openDrawing(ctx, &main, nullptr, &d, nullptr, nullptr, nullptr, nullptr),
              Res_ok);
    ASSERT_GE(d->blipCount, 1u);
    EscherBlip *blip = &d->blips[0];
    ASSERT_EQ(Escher_blipLoad(d, blip, 1), Res_ok);
    ASSERT_NE(blip->image, nullptr);
    ASSERT_NE(blip->data, nullptr);
    // The image reads the blip's bytes: the codec finds the 2 x 2 PNG.
    ImageView *view = decodeNow(blip->image->image);
    ASSERT_NE(view, nullptr);
    int32_t info[6] = {};
    ASSERT_EQ(Image_getDocImageInfo(blip->image, info, nullptr, nullptr), Res_ok);
    EXPECT_EQ(info[0], 2);
    EXPECT_EQ(info[1], 2);
    Escher_blipRelease(d, 0);
    EXPECT_EQ(blip->image, nullptr);
    EXPECT_EQ(blip->data, nullptr);
    Escher_drawingStateFree(d);
}

} // namespace
