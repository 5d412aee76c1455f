// Image looks: a decoded picture drawn by its look into the request's
// rectangle, the same pixels as the picture itself at its own size;
// nothing at opacity 0; and, while the image's size is unknown, only the
// look's placement recorded.
#include <cstring>

#include "core/container/obj.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/imagerender.h"
#include "html/forms/formvalue.h"
#include "html/forms/widgetclass.h"
#include "graphics/imageutil.h"
#include "tests/graphics/codec_support.h"

namespace {

class ImageLookTest : public CodecFixture {
  protected:
    void SetUp() override
    {
        CodecFixture::SetUp();
        makeCodecStore(Pixel_format565, {Codec_gifDescriptor});
    }
    void TearDown() override
    {
        Obj_freeKindRecords(ctx);
        CodecFixture::TearDown();
    }
    static uint16_t px(const PixelBuf *p, int32_t x, int32_t y)
    {
        uint16_t v;
        std::memcpy(&v, p->pixels + size_t(y) * p->stride + 2 * size_t(x), 2);
        return v;
    }
};

TEST_F(ImageLookTest, ThePictureFillsTheRequestRectangle)
{
    ImageHandle *h = open(readFixture("gif/still.gif"), ++key, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    int32_t info[6] = {};
    ASSERT_EQ(Image_getDocImageInfo(h, info, nullptr, nullptr), 0);
    const int32_t w = info[0], hh = info[1], res = info[2] > 0 ? info[2] : 96;
    FormValue *look = nullptr;
    ASSERT_EQ(Form_valueNew(&look), 0);
    ASSERT_EQ(Form_valueSetImage(look, h, nullptr), 0); // the look takes the handle
    FormDrawRequest req{
        {0, 0, (w * 0x10000 + res / 2) / res, (hh * 0x10000 + res / 2) / res}, 0, 0, nullptr, 0, 0};

    auto draw = [&](uint8_t opacity, PixelBuf **pixels) {
        EXPECT_EQ(PixelBuf_create(pixels, w, hh, Pixel_format565, res), 0);
        std::memset((*pixels)->pixels, 0, size_t((*pixels)->stride) * size_t(hh));
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(ctx, &b, *pixels), 0);
        DrawTarget t{b, nullptr, 0, 0};
        Form_valueSetAlpha(look, opacity);
        EXPECT_EQ(Form_valueDraw(ctx, look, &req, nullptr, &t, 0, nullptr), 0);
        Bitmap_destroy(b);
    };
    PixelBuf *none = nullptr;
    draw(0, &none);
    for (int32_t y = 0; y < hh; y++)
        for (int32_t x = 0; x < w; x++)
            ASSERT_EQ(px(none, x, y), 0);
    PixelBuf_destroy(none);

    PixelBuf *pixels = nullptr;
    draw(255, &pixels);
    PixelBuf *picture = nullptr;
    ImageDrawRequest *render = nullptr;
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture, nullptr,
                           nullptr, &render),
              0);
    ASSERT_NE(picture, nullptr);
    int differing = 0, lit = 0;
    for (int32_t y = 0; y < hh; y++)
        for (int32_t x = 0; x < w; x++) {
            differing += px(pixels, x, y) != px(picture, x, y);
            lit += px(pixels, x, y) != 0;
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(lit, w * hh / 4); // the picture is there, not the cleared bitmap
    Image_endRender(ctx, render);
    PixelBuf_destroy(pixels);
    Form_valueRelease(look);
}

TEST_F(ImageLookTest, AnUnknownSizeOnlyRecordsThePlacement)
{
    FormValue *look = nullptr;
    ASSERT_EQ(Form_valueNew(&look), 0);
    ASSERT_EQ(Form_valueSetImage(look, nullptr, nullptr), 0);
    FormDrawRequest req{{10, 20, 30, 40}, 0, 0, nullptr, 0, 0};
    EXPECT_EQ(Form_valueDraw(ctx, look, &req, nullptr, nullptr, 0, nullptr), 0);
    int32_t box[4];
    Form_valueGetBox(look, box);
    EXPECT_EQ(box[0], 10);
    EXPECT_EQ(box[3], 40);
    Form_valueRelease(look);
}

} // namespace
