// Drawing requests: a picture decoded in the caller's thread, the refusal
// to decode, a handle without image, placeholders by reason, RAM: texts.
#include <gtest/gtest.h>

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
    EXPECT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, ImageRender_noDecode, nullptr, &picture, &mask,
                           &placeholder, &req),
              Res_imageNotDecoded);
    EXPECT_EQ(req, nullptr);
    ImageLevelRange range{0, 0, -1};
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, &range, nullptr, 0, nullptr, &picture, &mask, &placeholder, &req),
              Res_ok);
    ASSERT_NE(picture, nullptr);
    EXPECT_NE(mask, nullptr);
    EXPECT_EQ(range.level, 0);
    EXPECT_EQ(picture->width, 19);
    EXPECT_EQ(req->bits & ImageReq_decode, ImageReq_decode);
    Image_endRender(ctx, req);
    // An identity colour transform is no transform: a plain request.
    ImageColourTransform identity{{0x10000, 0x10000, 0x10000, 0x10000}, {0, 0, 0, 0}};
    PixelBuf *again = nullptr;
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, &identity, 0, nullptr, &again, nullptr, nullptr, &req),
              Res_ok);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(req->bits & ~uint32_t(ImageReq_decode), ImageReq_plainPicture);
    Image_endRender(ctx, req);
    ImageHandle_release(h);
}

TEST_F(ImageRenderTest, AHandleWithoutImageAnswers7184)
{
    ImageHandle *h = nullptr;
    ASSERT_EQ(ImageHandle_create(ctx, &h, nullptr, 0), Res_ok);
    PixelBuf *picture = nullptr;
    ImageDrawRequest *req = nullptr;
    EXPECT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture, nullptr, nullptr, &req),
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
        ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture, nullptr, &placeholder,
                               &req),
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
