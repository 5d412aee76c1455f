// Drawing requests: a picture decoded in the caller's thread, the refusal
// to decode, a handle without image, placeholders by reason, RAM: texts,
// colour-transformed and converted copies.
#include <gtest/gtest.h>

#include <vector>

#include "core/result.h"
#include "graphics/codecs/gif.h"
#include "graphics/imagerender.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/url/url.h"
#include "tests/graphics/codec_support.h"

namespace {

class ImageRenderTest : public CodecFixture {
  protected:
    void SetUp() override
    {
        CodecFixture::SetUp();
        makeCodecStore(Pixel_format565, {Codec_gifDescriptor});
    }
    std::string gif(const std::string &name)
    {
        return readFixture("gif/" + name + ".gif");
    }
};

TEST_F(ImageRenderTest, ARequestDecodesInTheCallersThread)
{
    ImageHandle *h = open(gif("transparent"), ++key, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    PixelBuf *picture = nullptr, *mask = nullptr, *placeholder = nullptr;
    ImageDrawRequest *req = nullptr;
    // Not decoded yet, and decoding refused.
    EXPECT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, ImageRender_noDecode, nullptr,
                           &picture, &mask, &placeholder, &req),
              Res_imageNotDecoded);
    EXPECT_EQ(req, nullptr);
    ImageLevelRange range{0, 0, -1};
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, &range, nullptr, 0, nullptr, &picture, &mask,
                           &placeholder, &req),
              Res_ok);
    ASSERT_NE(picture, nullptr);
    EXPECT_NE(mask, nullptr);
    EXPECT_EQ(range.level, 0);
    EXPECT_EQ(picture->width, 19);
    EXPECT_EQ(req->bits & ImageReq_decode, ImageReq_decode);
    Image_endRender(ctx, req);
    // An identity colour transform is no transform: a plain request.
    ColourTransform identity{{0x10000, 0x10000, 0x10000, 0x10000}, {0, 0, 0, 0}};
    PixelBuf *again = nullptr;
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, &identity, 0, nullptr, &again, nullptr,
                           nullptr, &req),
              Res_ok);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(req->bits & ~uint32_t(ImageReq_decode), ImageReq_plainPicture);
    Image_endRender(ctx, req);
    ImageHandle_release(h);
}

// Copies a picture's pixel values (8 or 16 bits) into a vector.
std::vector<uint32_t> valuesOf(const PixelBuf *buf)
{
    std::vector<uint32_t> out;
    uint32_t bpp = Pixel_bytesPerPixel(buf->format);
    for (int32_t y = 0; y < buf->height; y++)
        for (int32_t x = 0; x < buf->width; x++) {
            const uint8_t *p = buf->pixels + size_t(y) * buf->stride + x * bpp;
            out.push_back(bpp == 1 ? p[0] : uint32_t(p[0] | (p[1] << 8)));
        }
    return out;
}

TEST_F(ImageRenderTest, AColourTransformHandsOutATransformedCopy)
{
    ImageHandle *h = open(gif("transparent"), ++key, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    PixelBuf *picture = nullptr, *mask = nullptr;
    ImageDrawRequest *req = nullptr;
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture, &mask,
                           nullptr, &req),
              Res_ok);
    ASSERT_NE(picture, nullptr);
    ASSERT_NE(mask, nullptr);
    std::vector<uint32_t> plainPicture = valuesOf(picture), plainMask = valuesOf(mask);
    Image_endRender(ctx, req);

    // Every colour channel inverted (offsets of 248 and 252 levels are the
    // top of a 5-bit and a 6-bit channel); the mask untouched comes from the
    // plain view.
    const ColourTransform invert{{-0x10000, -0x10000, -0x10000, 0x10000},
                                 {248 << 8, 252 << 8, 248 << 8, 0}};
    // Kept with the image, the copy outlives the request whatever the cache does.
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, &invert, ImageRender_keepWithImage,
                           nullptr, &picture, &mask, nullptr, &req),
              Res_ok);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(req->bits & (ImageReq_transformPicture | ImageReq_remakeTransformPicture |
                           ImageReq_plainMask),
              ImageReq_transformPicture | ImageReq_remakeTransformPicture | ImageReq_plainMask);
    EXPECT_EQ(req->bits & ImageReq_transformMask, 0u);
    EXPECT_EQ(picture, req->other->picture);
    EXPECT_EQ(mask, req->plain->mask);
    std::vector<uint32_t> inverted = valuesOf(picture);
    ASSERT_EQ(inverted.size(), plainPicture.size());
    for (size_t i = 0; i < inverted.size(); i++)
        ASSERT_EQ(inverted[i], 0xFFFFu - plainPicture[i]) << i; // 565 inversion is the complement
    EXPECT_EQ(valuesOf(req->plain->picture), plainPicture);     // the plain view is left alone
    Image_endRender(ctx, req);

    // The same transform again: the copy is current, nothing is remade.
    PixelBuf *again = nullptr;
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, &invert, 0, nullptr, &again, nullptr,
                           nullptr, &req),
              Res_ok);
    EXPECT_EQ(req->bits & (ImageReq_remakeTransformPicture | ImageReq_decode), 0u);
    EXPECT_EQ(valuesOf(again), inverted);
    Image_endRender(ctx, req);

    // Alpha words change the mask too: picture red only, mask inverted.
    const ColourTransform redInvertedMask{{0, 0, 0, -0x10000}, {255 << 8, 0, 0, 255 << 8}};
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, &redInvertedMask, 0, nullptr, &picture,
                           &mask, nullptr, &req),
              Res_ok);
    EXPECT_EQ(req->bits & (ImageReq_remakeTransformPicture | ImageReq_remakeTransformMask),
              ImageReq_remakeTransformPicture | ImageReq_remakeTransformMask);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask, req->other->mask);
    for (uint32_t v : valuesOf(picture))
        ASSERT_EQ(v, 0xF800u);
    std::vector<uint32_t> maskValues = valuesOf(mask);
    ASSERT_EQ(maskValues.size(), plainMask.size());
    for (size_t i = 0; i < maskValues.size(); i++)
        ASSERT_EQ(maskValues[i], 255u - plainMask[i]) << i;
    Image_endRender(ctx, req);
    ImageHandle_release(h);
}

TEST_F(ImageRenderTest, OffsetsSaturate)
{
    ImageHandle *h = open(gif("still"), ++key, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    const ColourTransform brighten{{0x10000, 0x10000, 0x10000, 0x10000},
                                   {300 << 8, 300 << 8, 300 << 8, 0}};
    const ColourTransform darken{{0x10000, 0x10000, 0x10000, 0x10000},
                                 {-300 << 8, -300 << 8, -300 << 8, 0}};
    struct Case {
        const ColourTransform *t;
        uint32_t every;
    } cases[] = {{&brighten, 0xFFFF}, {&darken, 0}};
    for (const Case &c : cases) {
        PixelBuf *picture = nullptr;
        ImageDrawRequest *req = nullptr;
        ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, c.t, 0, nullptr, &picture, nullptr,
                               nullptr, &req),
                  Res_ok);
        ASSERT_NE(picture, nullptr);
        for (uint32_t v : valuesOf(picture))
            ASSERT_EQ(v, c.every);
        Image_endRender(ctx, req);
    }
    ImageHandle_release(h);
}

TEST_F(ImageRenderTest, AConvertedRequestIgnoresTheLevelRangeAndChecksItsTarget)
{
    ImageHandle *h = open(gif("transparent"), ++key, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    PixelBuf *picture = nullptr, *mask = nullptr;
    ImageDrawRequest *req = nullptr;
    const ImageTarget bad[] = {
        {0, 4, Pixel_format565}, {4, -1, Pixel_format565}, {4, 4, Pixel_formatCount}};
    for (const ImageTarget &t : bad) {
        EXPECT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, &t, &picture, &mask,
                               nullptr, &req),
                  Res_missingArgument);
        EXPECT_EQ(req, nullptr);
    }
    // A range that no level satisfies would force a decode each time; with a
    // target it plays no part, so the second request finds everything current.
    const ImageTarget target{38, 20, Pixel_format565};
    for (int pass = 0; pass < 2; pass++) {
        ImageLevelRange range{5, 6, -1};
        ASSERT_EQ(Image_render(h, Pixel_format565, 0, &range, nullptr, ImageRender_keepWithImage,
                               &target, &picture, &mask, nullptr, &req),
                  Res_ok);
        ASSERT_NE(req->converted, nullptr);
        if (pass == 0) {
            ASSERT_NE(req->plain, nullptr);
            EXPECT_EQ(req->plain->level, 0);
        } else {
            // The copy is current: nothing is decoded or remade.
            EXPECT_EQ(req->bits & ImageReq_decode, 0u);
            EXPECT_EQ(req->bits & ImageReq_remakeConvertPicture, 0u);
        }
        // The copy is made by the scaled drawing service.
        ASSERT_NE(picture, nullptr);
        if (req->bits & ImageReq_convertPicture) {
            EXPECT_EQ(picture, req->converted->picture);
            EXPECT_EQ(picture->width, 38);
            EXPECT_EQ(picture->height, 20);
        } else {
            ADD_FAILURE() << "the copy was not made";
        }
        Image_endRender(ctx, req);
    }
    // The plain request still sees the plain view, not the converted one.
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture, nullptr,
                           nullptr, &req),
              Res_ok);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 19);
    Image_endRender(ctx, req);
    ImageHandle_release(h);
}

TEST_F(ImageRenderTest, AHandleWithoutImageAnswers7184)
{
    ImageHandle *h = nullptr;
    ASSERT_EQ(ImageHandle_create(ctx, &h, nullptr, 0), Res_ok);
    PixelBuf *picture = nullptr;
    ImageDrawRequest *req = nullptr;
    EXPECT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture, nullptr,
                           nullptr, &req),
              Res_imageNoImage);
    EXPECT_EQ(req, nullptr);
    ImageHandle_free(h);
}

TEST_F(ImageRenderTest, AFailedImageHandsOutThePlaceholderOfItsReason)
{
    PixelBuf *slots[4] = {};
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(PixelBuf_create(&slots[i], 1 + i, 1, Pixel_format565, 0x10000), Res_ok);
        ctx->imageStore->placeholders[i] = slots[i];
    }
    struct Case {
        const char *what;
        std::string bytes;
        int32_t reason;
    } cases[] = {
        {"no codec recognises it", "not a picture at all", ImageReason_noCodec},
        {"corrupt data", gif("codesize10"), ImageReason_decode},
        {"a good picture", gif("still"), -1},
    };
    for (const Case &c : cases) {
        ImageHandle *h = open(c.bytes, ++key, ImageOpt_sync | ImageOpt_recognise);
        ASSERT_NE(h, nullptr);
        PixelBuf *picture = nullptr, *placeholder = nullptr;
        ImageDrawRequest *req = nullptr;
        ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture,
                               nullptr, &placeholder, &req),
                  Res_ok)
            << c.what;
        if (c.reason < 0) {
            EXPECT_NE(picture, nullptr) << c.what;
            EXPECT_EQ(placeholder, slots[0]) << c.what;
        } else {
            EXPECT_EQ(placeholder, slots[c.reason]) << c.what;
        }
        Image_endRender(ctx, req);
        ImageHandle_release(h);
    }
}

TEST_F(ImageRenderTest, RamTextsNameBlockIds)
{
    struct Case {
        const char16_t *text;
        int result;
        const char *url;
    } cases[] = {
        {u"RAM:0000a000/00000400/png", Res_ok, "file://localhost/RAM:0000a000/00000400/.png"},
        {u"RAM:0000A000x00000400-png", Res_ok, "file://localhost/RAM:0000a000/00000400/.png"},
        {u"RAM:00000007/00000010/gif", Res_ok, "file://localhost/RAM:00000007/00000010/.gif"},
        {u"RAM:0000a000/00000400/", Res_ramUrlText, nullptr}, // 22 characters
        {u"ram:0000a000/00000400/png", Res_ramUrlText, nullptr},
        {u"RAM:0000g000/00000400/png", Res_ramUrlText, nullptr},
        {u"file:///x.png", Res_ramUrlText, nullptr},
    };
    for (const Case &c : cases) {
        Url *url = nullptr;
        EXPECT_EQ(RamUrl_parse(ctx, c.text, &url), c.result);
        if (c.url) {
            ASSERT_NE(url, nullptr);
            std::u16string want(c.url, c.url + strlen(c.url));
            Url *expected = Url_newMarked(want.c_str());
            ASSERT_NE(expected, nullptr);
            EXPECT_TRUE(Url_equals(url, expected)) << c.url;
            Url_free(expected);
        } else {
            EXPECT_EQ(url, nullptr);
        }
        Url_free(url);
    }
}

} // namespace
