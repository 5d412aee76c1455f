// Image items: a pixel buffer drawn at every quarter turn and mirror image
// equal to the picture turned by hand, a scaled and clipped turn equal to
// the scaled picture turned, the item's alpha with and without a mask, the
// refusal of other transforms, destination rectangles and bounds; image
// handles drawn from the store, and the grey frame with the placeholder of
// an image that cannot be shown.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "core/geom/matrix.h"
#include "graphics/imageitem.h"
#include "graphics/imagerender.h"
#include "graphics/orient.h"
#include "graphics/imageutil.h"
#include "graphics/animframe.h"
#include "graphics/imagecodec.h"
#include "viewer/dispman.h"
#include "tests/graphics/codec_support.h"
#include "tests/graphics/raster_support.h"

namespace {

constexpr int32_t kScale = 64; // bitmap scale: 1024 item units per pixel
constexpr int32_t kPx = 1024;
constexpr int32_t kOne = 0x10000;

class ImageItemTest : public RasterTest {
  protected:
    void TearDown() override
    {
        for (ObjHeader *i : items)
            Obj_destroy(i);
        Obj_freeKindRecords(&context);
        RasterTest::TearDown();
    }
    // A 565 picture whose every pixel differs.
    PixelBuf *picture(int32_t w, int32_t h)
    {
        PixelBuf *p = buffer(w, h, Pixel_format565);
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                uint16_t v = uint16_t(0x0841 * (x + 1) + 0x1000 * y + 7);
                std::memcpy(p->pixels + size_t(y) * p->stride + 2 * size_t(x), &v, 2);
            }
        return p;
    }
    ObjHeader *bufferItem(PixelBuf *pic, int32_t wPx, int32_t hPx)
    {
        Rect box{0, 0, wPx * kPx, hPx * kPx};
        ObjHeader *item = ImageItem_create(&box);
        EXPECT_NE(item, nullptr);
        items.push_back(item);
        ImageItemPart *part = ImageItem_part(item);
        part->kind = ImageItem_bufferKind;
        part->picture = pic;
        return item;
    }
    static uint16_t at(const PixelBuf *p, int32_t x, int32_t y)
    {
        uint16_t v;
        std::memcpy(&v, p->pixels + size_t(y) * p->stride + 2 * size_t(x), 2);
        return v;
    }
    std::vector<ObjHeader *> items;
};

struct Turn {
    const char *name;
    int32_t a, b, c, d;
};
constexpr Turn kTurns[] = {
    {"identity", 1, 0, 0, 1},    {"flip x", -1, 0, 0, 1},  {"flip y", 1, 0, 0, -1},
    {"half turn", -1, 0, 0, -1}, {"quarter", 0, 1, -1, 0}, {"three quarters", 0, -1, 1, 0},
    {"transpose", 0, 1, 1, 0},   {"anti", 0, -1, -1, 0},
};

// Every source pixel lands where its centre maps.
TEST_F(ImageItemTest, EveryQuarterTurnAndMirrorMatchesTheTurnedPicture)
{
    PixelBuf *pic = picture(6, 4);
    ObjHeader *item = bufferItem(pic, 6, 4);
    for (const Turn &t : kTurns) {
        Bitmap *b = bitmap(24, 24, Pixel_format565, kScale);
        Matrix m{t.a * kOne, t.b * kOne, t.c * kOne, t.d * kOne, 8 * kPx, 8 * kPx};
        DrawTarget target{b, nullptr, 3, 2};
        ASSERT_EQ(ImageItem_drawDefault(&context, item, &target, &m, 0, 15), 0) << t.name;
        int drawn = 0;
        for (int32_t y = 0; y < 4; y++)
            for (int32_t x = 0; x < 6; x++) {
                int64_t cx = (2 * x + 1) * kPx / 2, cy = (2 * (4 - y) - 1) * kPx / 2;
                int64_t X = t.a * cx + t.c * cy + 8 * kPx, Y = t.b * cx + t.d * cy + 8 * kPx;
                int32_t col = 3 + int32_t(X / kPx), up = 2 + int32_t(Y / kPx);
                EXPECT_EQ(pixel16(b, 23 - up, col), at(pic, x, y))
                    << t.name << " " << x << "," << y;
                drawn++;
            }
        EXPECT_EQ(drawn, 24);
    }
}

// Scaled to twice the size and turned a quarter, with only part of it
// visible: the visible pixels are those of the whole scaled picture turned.
TEST_F(ImageItemTest, ScaledAndClippedTurnsEqualTheScaledPictureTurned)
{
    PixelBuf *pic = picture(6, 4);
    ObjHeader *item = bufferItem(pic, 12, 8);
    Bitmap *flat = bitmap(12, 8, Pixel_format565, kScale);
    DrawTarget whole{flat, nullptr, 0, 0};
    ASSERT_EQ(ImageItem_drawDefault(&context, item, &whole, nullptr, 0, 15), 0);
    PixelBuf *scaled = buffer(12, 8, Pixel_format565);
    std::memcpy(scaled->pixels, flat->pixels, size_t(scaled->stride) * 8);
    for (const Turn &t : kTurns) {
        Bitmap *b =
            t.a ? bitmap(12, 8, Pixel_format565, kScale) : bitmap(8, 12, Pixel_format565, kScale);
        int32_t minX = std::min(0, t.a * 12) + std::min(0, t.c * 8);
        int32_t minY = std::min(0, t.b * 12) + std::min(0, t.d * 8);
        Matrix m{t.a * kOne, t.b * kOne, t.c * kOne, t.d * kOne, -minX * kPx, -minY * kPx};
        Rect clip{2, 3, b->width - 1, b->height - 2};
        DrawTarget target{b, &clip, 0, 0};
        ASSERT_EQ(ImageItem_drawDefault(&context, item, &target, &m, 0, 15), 0) << t.name;
        int known = 0;
        Point corners[4] = {{0, 0}, {0, 8 * kPx}, {12 * kPx, 8 * kPx}, {12 * kPx, 0}};
        Rect placed;
        uint32_t code = 0;
        ASSERT_EQ(ImageItem_orientation(corners, &m, &placed, &code), 0);
        OrientFn fn = Orient_routine(code, &known);
        PixelBuf *turned = nullptr;
        if (fn) {
            ASSERT_EQ(fn(scaled, &turned), 0);
        }
        const PixelBuf *expect = fn ? turned : scaled;
        for (int32_t y = 0; y < b->height; y++)
            for (int32_t x = 0; x < b->width; x++) {
                int32_t up = b->height - 1 - y;
                bool inside = x >= clip.x0 && x < clip.x1 && up >= clip.y0 && up < clip.y1;
                EXPECT_EQ(pixel16(b, y, x), inside ? at(expect, x, y) : 0)
                    << t.name << " " << x << "," << y;
            }
        PixelBuf_destroy(turned);
    }
}

TEST_F(ImageItemTest, AlphaWeakensTheConstantOrTheMask)
{
    PixelBuf *white = buffer(4, 4, Pixel_format565);
    std::memset(white->pixels, 0xFF, size_t(white->stride) * 4);
    PixelBuf *mask = buffer(4, 4, Pixel_formatGrey8);
    std::memset(mask->pixels, 0xFF, size_t(mask->stride) * 4);
    ObjHeader *plain = bufferItem(white, 4, 4);
    ImageItem_part(plain)->alpha = 127;
    ObjHeader *masked = bufferItem(white, 4, 4);
    ImageItem_part(masked)->mask = mask;
    ImageItem_part(masked)->alpha = 128; // each mask byte 255 -> 255 x 128 / 256 = 127
    Bitmap *a = bitmap(4, 4, Pixel_format565, kScale), *b = bitmap(4, 4, Pixel_format565, kScale);
    DrawTarget ta{a, nullptr, 0, 0}, tb{b, nullptr, 0, 0};
    ASSERT_EQ(ImageItem_drawDefault(&context, plain, &ta, nullptr, 0, 15), 0);
    ASSERT_EQ(ImageItem_drawDefault(&context, masked, &tb, nullptr, 0, 15), 0);
    EXPECT_NE(pixel16(a, 1, 1), 0);
    EXPECT_NE(pixel16(a, 1, 1), 0xFFFF);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(pixel16(b, y, x), pixel16(a, y, x));
    // At 255 the mask draws the picture as it is.
    ImageItem_part(masked)->alpha = 255;
    ASSERT_EQ(ImageItem_drawDefault(&context, masked, &tb, nullptr, 0, 15), 0);
    EXPECT_EQ(pixel16(b, 2, 2), 0xFFFF);
}

TEST_F(ImageItemTest, OtherTransformsAreRefusedAndNothingIsDrawn)
{
    PixelBuf *pic = picture(4, 4);
    ObjHeader *item = bufferItem(pic, 4, 4);
    Bitmap *b = bitmap(16, 16, Pixel_format565, kScale);
    Matrix turn45{46341, 46341, -46341, 46341, 8 * kPx, 0};
    Matrix shear{kOne, 0, kOne / 2, kOne, 0, 0};
    DrawTarget t{b, nullptr, 0, 0};
    for (const Matrix &m : {turn45, shear})
        EXPECT_EQ(ImageItem_drawDefault(&context, item, &t, &m, 0, 15), ImageItem_notQuarterTurn);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(pixel16(b, y, x), 0);
}

// The decode level of a picture drawn smaller than its size: the coarsest
// one that keeps a pixel per pixel drawn on the shorter side, whichever way
// the picture is turned.
TEST(ImageItemLevel, CoarsestLevelThatKeepsTheSizeDrawn)
{
    struct Case {
        int32_t width, height, drawnWidth, drawnHeight, level;
    } cases[] = {
        {10000, 10000, 1073, 1073, 3}, // a scanned page on a screen: 1250 pixels a side
        {10000, 10000, 1250, 1250, 3}, // exactly the level's size
        {10000, 10000, 1251, 1251, 2},
        {8000, 6000, 1073, 805, 2}, // the shorter side decides: 1500 at level 2, 750 at 3
        {6000, 8000, 805, 1073, 2}, // a quarter turn of the same
        {400, 300, 400, 300, 0},    // drawn at its size
        {400, 300, 800, 600, 0},    // drawn larger
        {400, 300, 199, 149, 0},    // halved would leave 150 < 199 across
        {400, 300, 150, 100, 1},
        {1 << 20, 1 << 20, 1, 1, 7}, // never beyond the levels a decode can reach
        {100, 100, 0, 10, 0},        // nothing drawn, or no picture: the full size
        {0, 100, 10, 10, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ImageItem_levelForSize(c.width, c.height, c.drawnWidth, c.drawnHeight), c.level)
            << c.width << "x" << c.height << " drawn " << c.drawnWidth << "x" << c.drawnHeight;
}

TEST_F(ImageItemTest, DestinationRectanglesAndBounds)
{
    Rect out;
    Point offset{10, 20};
    Rect r{kPx / 2, 0, 3 * kPx + kPx / 2, kPx / 4};
    ImageItem_destRect(&r, kScale, &offset, &out);
    EXPECT_EQ(out.x0, 11); // 0.5 rounds up
    EXPECT_EQ(out.x1, 14);
    EXPECT_EQ(out.y0, 20);
    EXPECT_EQ(out.y1, 21); // collapsed: widened to one pixel
    // Bounds are limited to 8192 pixels per side at the resolution.
    Rect huge{0, 0, 0x7FFF0000, 0x100000};
    ObjHeader *item = ImageItem_create(&huge);
    items.push_back(item);
    ImageItem_part(item)->kind = ImageItem_bufferKind;
    ImageItem_part(item)->resolution = 96;
    Rect bounds{};
    ASSERT_EQ(ImageItem_getBounds(&context, item, &bounds), 0);
    EXPECT_EQ(bounds.x1 - bounds.x0, 8192 * 0x10000 / 96);
    EXPECT_EQ(bounds.y1 - bounds.y0, 0x100000);
}

TEST_F(ImageItemTest, RepeatedPicturesAreTiled)
{
    PixelBuf *pic = picture(3, 2);
    ObjHeader *item = bufferItem(pic, 3, 2);
    ImageItem_part(item)->repeatX = 4;
    ImageItem_part(item)->repeatY = 3;
    Rect top{0, 4 * kPx, 3 * kPx, 6 * kPx}; // repeats run right and down from here
    Obj_setBox(item, &top);
    Bitmap *b = bitmap(12, 6, Pixel_format565, kScale);
    DrawTarget t{b, nullptr, 0, 0};
    ASSERT_EQ(ImageItem_drawDefault(&context, item, &t, nullptr, 0, 15), 0);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 12; x++)
            EXPECT_EQ(pixel16(b, y, x), at(pic, x % 3, y % 2)) << x << "," << y;
}

// -------------------------------------------------------- image handles

class ImageItemStoreTest : public CodecFixture {
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
    Bitmap *target(int32_t w, int32_t h, PixelBuf **pixels, int32_t scale = kScale)
    {
        EXPECT_EQ(PixelBuf_create(pixels, w, h, Pixel_format565, scale), Res_ok);
        std::memset((*pixels)->pixels, 0, size_t((*pixels)->stride) * size_t(h));
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(ctx, &b, *pixels), Res_ok);
        return b;
    }
    static uint16_t px(const PixelBuf *p, int32_t x, int32_t y)
    {
        uint16_t v;
        std::memcpy(&v, p->pixels + size_t(y) * p->stride + 2 * size_t(x), 2);
        return v;
    }
    // Draws an animation's frames as stills and as paints of the screen
    // while its clock moves (below).
    void firstFrameShown(const char *name);
};

TEST_F(ImageItemStoreTest, AHandleItemDrawsTheDecodedPicture)
{
    ImageHandle *h = open(readFixture("gif/still.gif"), ++key, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    int32_t info[6] = {};
    ASSERT_EQ(Image_getDocImageInfo(h, info, nullptr, nullptr), 0);
    // Drawn at its own resolution: one picture pixel per bitmap pixel.
    int32_t w = info[0], hh = info[1], res = info[2] > 0 ? info[2] : 96;
    Rect box{0, 0, (w * 0x10000 + res / 2) / res, (hh * 0x10000 + res / 2) / res};
    ObjHeader *item = ImageItem_create(&box);
    ASSERT_NE(item, nullptr);
    ImageItem_part(item)->handle = h;
    PixelBuf *pixels = nullptr;
    Bitmap *b = target(w, hh, &pixels, res);
    DrawTarget t{b, nullptr, 0, 0};
    EXPECT_EQ(ImageItem_drawDefault(ctx, item, &t, nullptr, ImageItem_frameAllowed, 15), 0);
    // The same pixels as a plain request now that it is decoded.
    PixelBuf *picture = nullptr;
    ImageDrawRequest *req = nullptr;
    ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, 0, nullptr, &picture, nullptr,
                           nullptr, &req),
              0);
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(picture->width, w);
    for (int32_t y = 0; y < hh; y++)
        for (int32_t x = 0; x < w; x++)
            ASSERT_EQ(px(pixels, x, y), px(picture, x, y)) << x << "," << y;
    Image_endRender(ctx, req);
    Obj_destroy(item);
    ImageHandle_release(h);
    Bitmap_destroy(b);
    PixelBuf_destroy(pixels);
}

// An animated picture drawn through its item's class: a still (draw flag
// DrawFlags_still, as page renders and thumbnails draw) shows the first
// frame, red, after the clock made the third frame, blue, current. So does
// the screen's first paint, and every paint after it until the clock moves
// to another frame; then the screen shows the current frame and stills
// stay red. The same with varied frame delays and with delays of 0.
TEST_F(ImageItemStoreTest, AStillAndTheFirstPaintDrawTheFirstFrameOfAnAnimation)
{
    for (const char *name : {"stills/anim3.gif", "stills/anim3_nodelay.gif"}) {
        SCOPED_TRACE(name);
        firstFrameShown(name);
    }
}

void ImageItemStoreTest::firstFrameShown(const char *name)
{
    ImageHandle *h = open(readFixture(name), ++key, ImageOpt_recognise | ImageOpt_animations);
    ASSERT_NE(h, nullptr);
    ImageObject *image = h->image;
    ASSERT_EQ(image->kind, 2);
    // Decodes until the pool is full, then moves the clock past every
    // queued frame.
    auto decodeAndPass = [&] {
        for (int guard = 0; guard < 20; guard++) {
            ImageCodecParams params{Image_getCapFlags(image), Pixel_format565, 0, nullptr, nullptr};
            int r = ImageCodec_of(image)->decode(ctx, image->codecInstance, image->stream, image,
                                                 &params);
            if (r == Res_imageNoFreeFrame)
                break;
            ASSERT_TRUE(r == Res_imageGoRound || r == Res_imageFrameDone) << r;
        }
        int32_t next = 0;
        (void)Anim_pickCurrentAt(image, 100000, &next, nullptr);
    };
    decodeAndPass();
    ASSERT_NE(image->queue, nullptr);
    EXPECT_EQ(image->queue, &image->frames[2]);
    // 16 x 12 pixels at 72 per inch, drawn one to one.
    Rect box{0, 0, 16 * 0x10000 / 72, 12 * 0x10000 / 72};
    ObjHeader *item = ImageItem_create(&box);
    ASSERT_NE(item, nullptr);
    ImageItem_part(item)->handle = h;
    auto draw = [&](uint32_t drawFlags) {
        PixelBuf *pixels = nullptr;
        Bitmap *b = target(16, 12, &pixels, 72);
        DrawTarget t{b, nullptr, 0, 0};
        DrawFlags flags{};
        flags.flags = drawFlags;
        flags.quality[DrawQuality_image] = 15;
        EXPECT_EQ(Obj_itemOps(item)->draw(ctx, item, nullptr, nullptr, &t, &flags, 0), 0);
        std::map<uint16_t, int> colours;
        for (int32_t y = 0; y < 12; y++)
            for (int32_t x = 0; x < 16; x++)
                colours[px(pixels, x, y)]++;
        Bitmap_destroy(b);
        PixelBuf_destroy(pixels);
        return colours.size() == 1 ? int32_t(colours.begin()->first) : -1;
    };
    const uint16_t red = 0xF800, green = 0x07E0;
    struct Case {
        uint32_t flags;
        uint16_t colour;
    } cases[] = {
        {DrawFlags_offscreen | DrawFlags_noHighlights | DrawFlags_still, red},
        {DrawFlags_still, red},
        {0, red},                                            // the first paint
        {DrawFlags_offscreen | DrawFlags_noHighlights, red}, // the clock has not moved since
        {0, red},
    };
    for (const Case &c : cases)
        EXPECT_EQ(draw(c.flags), c.colour) << "flags " << c.flags;
    // The clock moves on, round the loop to its second frame, green.
    decodeAndPass();
    EXPECT_EQ(draw(0), green);
    EXPECT_EQ(draw(DrawFlags_offscreen | DrawFlags_noHighlights), green);
    EXPECT_EQ(draw(DrawFlags_still), red);
    Obj_destroy(item);
    ImageHandle_release(h);
}

// An image that cannot be shown gets the grey frame (when allowed and the
// item is large enough) and the placeholder of its reason.
TEST_F(ImageItemStoreTest, ABrokenImageDrawsItsFrameAndPlaceholder)
{
    PixelBuf *slots[4] = {};
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(PixelBuf_create(&slots[i], 2, 2, Pixel_format565, 0x10000), Res_ok);
        std::memset(slots[i]->pixels, 0x11 * (i + 1), size_t(slots[i]->stride) * 2);
        ctx->imageStore->placeholders[i] = slots[i];
    }
    ImageHandle *h = open("not a picture at all", ++key, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    Rect box{0, 0, 20 * kPx, 10 * kPx};
    ObjHeader *item = ImageItem_create(&box);
    ImageItem_part(item)->handle = h;
    for (uint32_t options : {uint32_t(ImageItem_frameAllowed), 0u}) {
        PixelBuf *pixels = nullptr;
        Bitmap *b = target(20, 10, &pixels);
        DrawTarget t{b, nullptr, 0, 0};
        EXPECT_EQ(ImageItem_drawDefault(ctx, item, &t, nullptr, options, 15), 0);
        uint16_t placeholder = px(slots[ImageReason_noCodec], 0, 0);
        EXPECT_EQ(px(pixels, 0, 0), placeholder);
        EXPECT_EQ(px(pixels, 1, 1), placeholder);
        if (options) {
            EXPECT_EQ(px(pixels, 10, 0), 0); // the black outline
            EXPECT_EQ(px(pixels, 19, 5), 0);
            uint16_t grey = px(pixels, 10, 5); // 160 grey at alpha 127 over black
            EXPECT_NE(grey, 0);
            EXPECT_EQ(grey >> 11, grey & 31);
        } else {
            EXPECT_EQ(px(pixels, 10, 5), 0); // no frame
        }
        Bitmap_destroy(b);
        PixelBuf_destroy(pixels);
    }
    // Too small an item gets no frame.
    Rect small{0, 0, 0x1000, 0x1000};
    Obj_setBox(item, &small);
    PixelBuf *pixels = nullptr;
    Bitmap *b = target(8, 8, &pixels);
    DrawTarget t{b, nullptr, 0, 0};
    EXPECT_EQ(ImageItem_drawDefault(ctx, item, &t, nullptr, ImageItem_frameAllowed, 15), 0);
    EXPECT_EQ(px(pixels, 3, 3), 0);
    Bitmap_destroy(b);
    PixelBuf_destroy(pixels);
    Obj_destroy(item);
    ImageHandle_release(h);
}

} // namespace
