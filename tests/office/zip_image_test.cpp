// Pictures inside zip archives open as images through their URLs: the URL
// byte source reads the member through the zip stream type. No PNG codec
// is registered in these tests: a small codec of their own recognises the
// PNG signature, reads the size from IHDR and paints the picture one
// colour.
#include "core/config/config.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/graphics/image_support.h"
#include "tests/office/zip_support.h"
#include "tests/support/stream_types.h"

namespace {

constexpr uint16_t pngFill = 0xF800;

int pngRecognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                 uint32_t flags)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    *score = (flags & ImageDec_flagRecognise) && count >= 8 && memcmp(bytes, signature, 8) == 0
                 ? 100
                 : 0;
    return Res_ok;
}

// Width and height of IHDR, the first chunk after the signature.
int pngSize(ByteStream *stream, int32_t *width, int32_t *height)
{
    uint8_t b[24];
    if (ByteStream_readExact(stream, b, sizeof b) != Res_ok || memcmp(b + 12, "IHDR", 4) != 0)
        return 0x2201;
    *width = int32_t(uint32_t(b[16]) << 24 | uint32_t(b[17]) << 16 | uint32_t(b[18]) << 8 | b[19]);
    *height = int32_t(uint32_t(b[20]) << 24 | uint32_t(b[21]) << 16 | uint32_t(b[22]) << 8 | b[23]);
    return Res_ok;
}

int pngReadHeader(EngineContext *, ByteStream *stream, ImageObject *image, ImageHook, void *)
{
    int32_t w = 0, h = 0;
    int r = pngSize(stream, &w, &h);
    return r != Res_ok ? r : ImageDec_setHeader(image, w, h, 72, 0, 3, nullptr);
}

int pngDecode(EngineContext *, void *, ByteStream *stream, ImageObject *image,
              const ImageCodecParams *params)
{
    int32_t w = 0, h = 0;
    int r = pngSize(stream, &w, &h);
    if (r == Res_ok)
        r = ImageDec_setHeader(image, w, h, 72, 0, 3, nullptr);
    PixelBuf *pic = nullptr;
    if (r == Res_ok)
        r = ImageDec_getBuffers(image, &pic, params->pixelFormat, nullptr, 0, 0);
    if (r != Res_ok)
        return r;
    for (int32_t y = 0; y < pic->height; y++) {
        uint16_t *line = reinterpret_cast<uint16_t *>(pic->pixels + size_t(y) * pic->stride);
        for (int32_t x = 0; x < pic->width; x++)
            line[x] = pngFill;
    }
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

class ZipImageTest : public ImageStoreFixture {
  protected:
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        // Read once now, so that reading it later stores nothing.
        Mem_free(Config_getUstrA(ctx, ctx->config, u"Core", "DefaultCharacterSet", nullptr));
        makeStore(false);
        ASSERT_EQ(Plugin_register(ctx, pngCodec()), Res_ok);
        ASSERT_EQ(AlienFile_initLayer(ctx), Res_ok);
        ASSERT_TRUE(TestSupport_registerStreamTypes(ctx));
    }
    void TearDown() override
    {
        Vfs_unregisterTypes(ctx);
        AlienFile_finiLayer(ctx);
        ImageStoreFixture::TearDown();
    }
    Url *zipUrl(const std::string &after)
    {
        std::u16string text = U("file://root" + zipFixturePath("image.zip") + after);
        return Url_new(text.c_str());
    }
};

TEST_F(ZipImageTest, APngInsideAnArchiveOpensThroughItsUrl)
{
    Url *u = zipUrl("/pic.png");
    ImageHandle *h = nullptr;
    ASSERT_EQ(Image_openUrl(ctx, u, nullptr, nullptr, nullptr, &h), Res_ok);
    int32_t info[6] = {};
    ASSERT_EQ(Image_getDocImageInfo(h, info, nullptr, nullptr), Res_ok);
    EXPECT_EQ(info[0], 3);
    EXPECT_EQ(info[1], 2);
    EXPECT_EQ(Image_getTypeId(h->image), 78);
    ImageView *view = decodeNow(h->image);
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->picture, nullptr);
    EXPECT_EQ(pixel16(view->picture, 2, 1), pngFill);
    EXPECT_TRUE(Image_isUsable(h));
    // The image knows its URL.
    Url *source = Image_getSourceUrl(h);
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(Url_equals(source, u));
    Url_free(source);
    // The same URL shares the image.
    ImageHandle *again = nullptr;
    ASSERT_EQ(Image_openUrl(ctx, u, nullptr, nullptr, nullptr, &again), Res_ok);
    EXPECT_EQ(again->image, h->image);
    ImageHandle_release(again);
    ImageHandle_release(h);
    Url_free(u);
}

TEST_F(ZipImageTest, OptionsAndMissingSourcesAndMembers)
{
    // The caller's options with animations added.
    Url *u = zipUrl("/pic.png");
    ImageHandle *h = nullptr;
    ASSERT_EQ(Image_openUrlFlags(ctx, u, nullptr, nullptr, nullptr,
                                 ImageOpt_recognise | ImageOpt_neverShare, &h),
              Res_ok);
    EXPECT_EQ(h->image->options & (ImageOpt_neverShare | ImageOpt_animations),
              uint32_t(ImageOpt_neverShare) | uint32_t(ImageOpt_animations));
    ImageHandle_release(h);
    Url_free(u);

    // No URL parts: no source, no image.
    Url *empty = Url_new(u"");
    h = reinterpret_cast<ImageHandle *>(1);
    EXPECT_EQ(Image_openUrl(ctx, empty, nullptr, nullptr, nullptr, &h), Res_urlIncomplete);
    EXPECT_EQ(h, nullptr);
    Url_free(empty);

    // A member that is not there: the image fails when read.
    Url *missing = zipUrl("/nothing.png");
    ASSERT_EQ(Image_openUrl(ctx, missing, nullptr, nullptr, nullptr, &h), Res_ok);
    int32_t info[6] = {};
    (void)Image_getDocImageInfo(h, info, nullptr, nullptr);
    EXPECT_FALSE(Image_isUsable(h));
    EXPECT_EQ(Image_getDocImageState(h), Res_zipNoEntry);
    ImageHandle_release(h);
    Url_free(missing);

    // An image from another source has no URL.
    ImageHandle *other = open(fakePicture(4, 4), 5);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Image_getSourceUrl(other), nullptr);
    ImageHandle_release(other);
    EXPECT_EQ(Image_getSourceUrl(nullptr), nullptr);
}

} // namespace
