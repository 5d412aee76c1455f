// The overlay over a memory screen set of 40 x 30: composition at each
// orientation against the pictures composed with PIL
// (tests/fixtures/overlay/make_overlay.py), depth order, hidden sprites,
// presents without sprites, the property table and sprite removal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/imageitem.h"
#include "graphics/pixelbuf.h"
#include "host/headless/headless.h"
#include "tests/graphics/png_support.h"
#include "tests/viewer/dispman_fixture.h"
#include "layout/replaced.h"
#include "viewer/displayitem.h"
#include "viewer/screen/overlay.h"
#include "viewer/screen/screen.h"

namespace {

constexpr int32_t W = 40, H = 30;

uint16_t to565(const uint8_t *rgb)
{
    return uint16_t((rgb[0] >> 3) << 11 | (rgb[1] >> 2) << 5 | rgb[2] >> 3);
}

// The back buffer's pattern at (x, y) of a screen's own orientation.
uint16_t pattern(int32_t x, int32_t y)
{
    const uint8_t rgb[3] = {uint8_t(8 * (x % 32)), uint8_t(4 * (y % 64)),
                            uint8_t(8 * ((x + y) % 32))};
    return to565(rgb);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint16_t> pixels; // rows from the top
};

Picture fixture(const std::string &name)
{
    Picture p;
    std::vector<uint8_t> rgb =
        png::read(std::string(VEXLAN_FIXTURES) + "/overlay/" + name, &p.width, &p.height);
    EXPECT_FALSE(rgb.empty()) << name;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        p.pixels.push_back(to565(&rgb[i]));
    return p;
}

class OverlayTest : public DispmanFixture {
  protected:
    void SetUp() override
    {
        DispmanFixture::SetUp();
        const int32_t g[11] = {0, 0, 0, W, H, W, H, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(e.host, g);
        run([&] {
            ASSERT_EQ(Screen_startModule(ctx()), 0);
            ASSERT_EQ(ScreenSet_create(ctx(), 0), 0);
            Screen *s = ScreenList_get(ctx(), 0);
            ASSERT_EQ(Overlay_createManager(ctx(), s, Screen_getBuffer(s)), 1);
        });
        ASSERT_NE(manager(), nullptr);
    }
    void TearDown() override
    {
        run([this] {
            Overlay_destroyManager(ctx());
            Screen_stopModule(ctx());
        });
        Headless_clearRecords(e.host);
        Headless_setScreenGeometry(e.host, nullptr);
        DispmanFixture::TearDown();
    }
    OverlayMgr *manager()
    {
        return e.instance->overlay;
    }
    // Draws the pattern into the back buffer of the screen of orientation o.
    void drawBack(int32_t o)
    {
        Screen *s = ScreenList_get(ctx(), o);
        Screen_lock(s);
        uint16_t *p = static_cast<uint16_t *>(Screen_set(s)->drawingBuffer);
        uint32_t stride = Screen_rowBytes(s->width, 2) / 2;
        for (int32_t y = 0; y < s->height; y++)
            for (int32_t x = 0; x < s->width; x++)
                p[size_t(y) * stride + x] = pattern(x, y);
        Screen_unlock(s);
    }
    // The output buffer (device orientation), rows from the top.
    std::vector<uint16_t> output()
    {
        const uint16_t *p =
            static_cast<const uint16_t *>(Screen_getBuffer(ScreenList_get(ctx(), 0)));
        uint32_t stride = Screen_rowBytes(W, 2) / 2;
        std::vector<uint16_t> out;
        for (int32_t y = 0; y < H; y++)
            out.insert(out.end(), p + size_t(y) * stride, p + size_t(y) * stride + W);
        return out;
    }
    // A sprite showing a fixture picture.
    OverlaySprite *pictureSprite(const Picture &pic, int32_t x, int32_t y, int32_t depth,
                                 int32_t hidden = 0)
    {
        OverlaySprite *s = nullptr;
        const int32_t size[2] = {pic.width, pic.height};
        EXPECT_EQ(Overlay_addImageItemSprite(ctx(), size, x, y, 255, &s, depth, hidden), 0);
        PixelBuf *buf = ImageItem_part(s->item)->picture;
        for (int row = 0; row < pic.height; row++)
            memcpy(buf->pixels + size_t(row) * buf->stride, &pic.pixels[size_t(row) * pic.width],
                   size_t(pic.width) * 2);
        return s;
    }
    std::vector<int32_t> depths()
    {
        std::vector<int32_t> out;
        for (OverlaySprite *s = manager()->sprites; s; s = s->next)
            out.push_back(s->depth);
        return out;
    }
};

TEST_F(OverlayTest, CompositionAtEachOrientationEqualsThePilComposition)
{
    Picture a = fixture("sprite_a.png"), b = fixture("sprite_b.png");
    run([&] {
        pictureSprite(a, 3, 4, 5);
        pictureSprite(b, 6, 8, 5); // equal depth: drawn after A
        for (int32_t o = 0; o < 4; o++) {
            ASSERT_EQ(Overlay_setScreen(ctx(), o), 1);
            drawBack(o);
            Headless_clearRecords(e.host);
            Screen_presentNow(ScreenList_get(ctx(), o));
            EXPECT_EQ(Headless_screenUpdateCount(e.host), 1);
            Picture expected = fixture("expected_o" + std::to_string(o) + ".png");
            std::vector<uint16_t> got = output();
            ASSERT_EQ(got.size(), expected.pixels.size());
            int wrong = 0;
            for (size_t i = 0; i < got.size(); i++)
                if (got[i] != expected.pixels[i] && wrong++ < 5)
                    ADD_FAILURE() << "orientation " << o << " pixel " << i % W << "," << i / W
                                  << ": " << std::hex << got[i] << " != " << expected.pixels[i];
            EXPECT_EQ(wrong, 0) << "orientation " << o;
        }
    });
}

TEST_F(OverlayTest, EqualDepthsKeepInsertionOrderAndDepthMovesASprite)
{
    Picture a = fixture("sprite_a.png"), b = fixture("sprite_b.png");
    run([&] {
        OverlaySprite *first = pictureSprite(a, 3, 4, 5);
        OverlaySprite *second = pictureSprite(b, 6, 8, 5);
        OverlaySprite *low = pictureSprite(b, 30, 20, -3);
        OverlaySprite *high = pictureSprite(b, 30, 2, 9);
        EXPECT_EQ(manager()->sprites, low);
        EXPECT_EQ(low->next, first);
        EXPECT_EQ(first->next, second);
        EXPECT_EQ(second->next, high);
        // B drawn first now: A covers the overlap.
        int32_t depth = 7;
        EXPECT_EQ(Overlay_setProperty(ctx(), first, OverlayProp_depth, &depth), Res_ok);
        EXPECT_EQ(depths(), (std::vector<int32_t>{-3, 5, 7, 9}));
        EXPECT_EQ(second->next, first);
        drawBack(0);
        Screen_presentNow(ScreenList_get(ctx(), 0));
        std::vector<uint16_t> got = output();
        // Pixel (6, 8) y-up of the display is A's column 3, row from its top
        // 6 - 1 - (8 - 4) = 1.
        EXPECT_EQ(got[size_t(H - 1 - 8) * W + 6], a.pixels[size_t(1) * a.width + 3]);
        // A sprite out of the list cannot be moved.
        OverlaySprite stray{};
        stray.item = first->item;
        EXPECT_EQ(Overlay_setProperty(ctx(), &stray, OverlayProp_depth, &depth), Res_notFound);
        // Nothing to set on: no sprite, or no value.
        EXPECT_EQ(Overlay_setProperty(ctx(), nullptr, OverlayProp_depth, &depth), Res_nullInput);
        EXPECT_EQ(Overlay_setProperty(ctx(), first, OverlayProp_depth, nullptr), Res_nullInput);
        // Nothing to read from or into leaves the value as it was.
        int32_t v = 7;
        EXPECT_EQ(Overlay_getProperty(ctx(), nullptr, OverlayProp_depth, &v), Res_nullInput);
        EXPECT_EQ(Overlay_getProperty(ctx(), first, OverlayProp_depth, nullptr), Res_nullInput);
        EXPECT_EQ(v, 7);
    });
}

TEST_F(OverlayTest, AHiddenSpriteStaysAndCostsNothing)
{
    Picture a = fixture("sprite_a.png");
    run([&] {
        drawBack(0);
        OverlaySprite *shown = pictureSprite(a, 0, 0, 1);
        int32_t one = 1;
        ASSERT_EQ(Overlay_setProperty(ctx(), shown, OverlayProp_hidden, &one), Res_ok);
        OverlaySprite *hidden = pictureSprite(a, 20, 10, 2, 1);
        int32_t v = 0;
        EXPECT_EQ(Overlay_getProperty(ctx(), hidden, OverlayProp_hidden, &v), Res_ok);
        EXPECT_EQ(v, 1);
        // Its item would fail to draw: a hidden sprite is never asked.
        static const ObjItemOps failing = {[](EngineContext *, ObjHeader *, const Rect *,
                                              const Matrix *, const DrawTarget *, const DrawFlags *,
                                              intptr_t) { return 99; },
                                           nullptr, nullptr};
        static const ObjClass failingClass = {&failing, int32_t(sizeof(ImageItemPart)), nullptr,
                                              Obj_itemPlain};
        const ObjClass *real = hidden->item->cls;
        hidden->item->cls = &failingClass;
        EXPECT_EQ(Overlay_redrawAll(ctx()), 1);
        hidden->item->cls = real;
        std::vector<uint16_t> got = output();
        for (int32_t y = 0; y < H; y++)
            for (int32_t x = 0; x < W; x++)
                ASSERT_EQ(got[size_t(y) * W + x], pattern(x, y)) << x << "," << y;
        EXPECT_EQ(depths(), (std::vector<int32_t>{1, 2}));
    });
}

TEST_F(OverlayTest, WithoutSpritesAPresentCopiesTheBackBufferItself)
{
    run([&] {
        EXPECT_EQ(Overlay_redrawAll(ctx()), 0);
        drawBack(0);
        Headless_clearRecords(e.host);
        Screen_presentNow(ScreenList_get(ctx(), 0));
        EXPECT_EQ(Headless_screenUpdateCount(e.host), 1);
        std::vector<uint16_t> got = output();
        EXPECT_EQ(got[0], pattern(0, 0));
        EXPECT_EQ(got[size_t(H - 1) * W + W - 1], pattern(W - 1, H - 1));
        // Message 30 switches the composed screen; a missing index is refused.
        EXPECT_EQ(Overlay_setScreen(ctx(), 2), 1);
        EXPECT_EQ(manager()->screen, ScreenList_get(ctx(), 2));
        EXPECT_EQ(Overlay_setScreen(ctx(), 9), 0);
    });
}

TEST_F(OverlayTest, PropertiesReadAndWriteTheirPlaces)
{
    run([&] {
        OverlaySprite *line = nullptr;
        ASSERT_EQ(Overlay_addLineSprite(ctx(), 10, 20, 4, 2, 0xFF0000FFu, 3, &line, 0, 0), 0);
        EXPECT_EQ(line->x, 10);
        EXPECT_EQ(line->y, 20);
        EXPECT_EQ((std::vector<int32_t>{line->x0, line->y0, line->x1, line->y1}),
                  (std::vector<int32_t>{4, 2, 11, 21}));
        int32_t v = -1;
        // Property 13 moves the rectangle and keeps its width.
        int32_t x0 = 30;
        ASSERT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_rectX0, &x0), Res_ok);
        EXPECT_EQ(line->x0, 30);
        EXPECT_EQ(line->x1, 37);
        int32_t y0 = -5;
        ASSERT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_rectY0, &y0), Res_ok);
        EXPECT_EQ(line->y1, 14);
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_rectWidth, &v), Res_ok);
        EXPECT_EQ(v, 7);
        // Colour bytes of a path item: 0xAABBGGRR in memory order.
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_colour0, &v), Res_ok);
        EXPECT_EQ(v, 0xFF);
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_colour0 + 3, &v), Res_ok);
        EXPECT_EQ(v, 0xFF);
        int32_t green = 0x80;
        ASSERT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_colour0 + 1, &green), Res_ok);
        EXPECT_EQ(PathItem_part(line->item)->colour, 0xFF0080FFu);
        // Stroke width in pixels at the bitmap's resolution (106).
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_pathStrokeWidth, &v), Res_ok);
        EXPECT_EQ(v, 3);
        int32_t five = 5;
        ASSERT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_pathStrokeWidth, &five), Res_ok);
        EXPECT_EQ(PathItem_part(line->item)->paint->stroke[1], 5 * 65536 / 106 + 1);
        // Shape and image ids do not apply to a path item.
        EXPECT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_shapeStrokeWidth, &v),
                  Res_notImplemented);
        EXPECT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_image, &v), Res_notImplemented);
        EXPECT_EQ(Overlay_getProperty(ctx(), line, 31, &v), Res_notImplemented);
        // Caller bits: B reads as 0 or 2, A as 0 or 1.
        int32_t on = 7;
        ASSERT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_userB, &on), Res_ok);
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_userB, &v), Res_ok);
        EXPECT_EQ(v, 2);
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_userA, &v), Res_ok);
        EXPECT_EQ(v, 0);
        // Scales: 0 leaves the word.
        int32_t zero = 0, twice = 0x20000;
        ASSERT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_scaleX, &zero), Res_ok);
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_scaleX, &v), Res_ok);
        EXPECT_EQ(v, 0x10000);
        ASSERT_EQ(Overlay_setProperty(ctx(), line, OverlayProp_scaleY, &twice), Res_ok);
        ASSERT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_scaleY, &v), Res_ok);
        EXPECT_EQ(v, 0x20000);

        // An image item: 7 to 9 read 0, 10 is the alpha, the only one set.
        OverlaySprite *image = nullptr;
        const int32_t size[2] = {8, 4};
        ASSERT_EQ(Overlay_addImageItemSprite(ctx(), size, 1, 1, 200, &image, 0, 0), 0);
        ASSERT_EQ(Overlay_getProperty(ctx(), image, OverlayProp_colour0, &v), Res_ok);
        EXPECT_EQ(v, 0);
        ASSERT_EQ(Overlay_getProperty(ctx(), image, OverlayProp_colour0 + 3, &v), Res_ok);
        EXPECT_EQ(v, 200);
        EXPECT_EQ(Overlay_setProperty(ctx(), image, OverlayProp_colour0, &v), Res_notImplemented);
        ASSERT_EQ(Overlay_getProperty(ctx(), image, OverlayProp_width, &v), Res_ok);
        EXPECT_EQ(v, 8);
        ASSERT_EQ(Overlay_getProperty(ctx(), image, OverlayProp_height, &v), Res_ok);
        EXPECT_EQ(v, 4);
        EXPECT_EQ(Overlay_setProperty(ctx(), image, OverlayProp_width, &v), Res_notImplemented);

        // Removal: a sprite not in the list gives 1, the reference is kept.
        OverlaySprite stray{};
        OverlaySprite *ref = &stray;
        EXPECT_EQ(Overlay_removeSprite(ctx(), &ref), 1);
        EXPECT_EQ(ref, &stray);
        EXPECT_EQ(Overlay_removeSprite(ctx(), &line), 0);
        EXPECT_EQ(line, nullptr);
        EXPECT_EQ(Overlay_removeSprite(ctx(), &line), 0);
        EXPECT_EQ(manager()->sprites, image);
        EXPECT_EQ(manager()->items->head, image->item);
        EXPECT_EQ(manager()->items->tail, image->item);
    });
}

TEST_F(OverlayTest, OutOfMemoryLeavesNoSprite)
{
    run([&] {
        const int32_t size[2] = {8, 4};
        for (uint64_t n = 1; n < 8; n++) {
            OverlaySprite *s = nullptr;
            Mem_failAfter(n);
            int r = Overlay_addImageItemSprite(ctx(), size, 1, 1, 255, &s, 0, 0);
            int l = Overlay_addLineSprite(ctx(), 0, 0, 5, 5, 0xFF000000u, 1, nullptr, 0, 0);
            Mem_failAfter(0);
            if (r != 0) {
                EXPECT_EQ(s, nullptr);
            }
            (void)l;
        }
        // Whatever was made is in both lists; the manager frees it.
        int sprites = 0, items = 0;
        for (OverlaySprite *s = manager()->sprites; s; s = s->next)
            sprites++;
        for (ObjHeader *i = manager()->items->head; i; i = Obj_next(i))
            items++;
        EXPECT_EQ(sprites, items);
    });
}

} // namespace

namespace {

// Text sprites in the box font (no family named): the rectangle is the
// text's extent, the text properties, and the line-by-line drawing.
TEST_F(OverlayTest, TextSpritesMeasureAndDrawLineByLine)
{
    run([&] {
        OverlaySprite *text = nullptr;
        ASSERT_EQ(
            Overlay_addTextSprite(ctx(), u"abc", nullptr, 12, 4, 5, 6, 0xFF000000u, &text, 0, 0),
            0);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->x, 5);
        EXPECT_GT(text->x1, text->x0 + 3); // three box glyphs of 12 points
        int32_t v = 0;
        ASSERT_EQ(Overlay_getProperty(ctx(), text, OverlayProp_style, &v), Res_ok);
        EXPECT_EQ(v, 4);
        ASSERT_EQ(Overlay_getProperty(ctx(), text, OverlayProp_fontSize, &v), Res_ok);
        EXPECT_EQ(v, 12 << 16);
        const char16_t *chars = nullptr;
        ASSERT_EQ(Overlay_getProperty(ctx(), text, OverlayProp_text, &chars), Res_ok);
        EXPECT_EQ(std::u16string(chars), u"abc");
        ASSERT_EQ(Overlay_setProperty(ctx(), text, OverlayProp_text, u"longer text"), Res_ok);
        ASSERT_EQ(Overlay_getProperty(ctx(), text, OverlayProp_text, &chars), Res_ok);
        EXPECT_EQ(std::u16string(chars), u"longer text");
        // Colour bytes reach the text colour.
        int32_t red = 0x40;
        ASSERT_EQ(Overlay_setProperty(ctx(), text, OverlayProp_colour0, &red), Res_ok);
        // Drawn whole, then line by line within the rectangle.
        drawBack(0);
        EXPECT_EQ(Overlay_redrawAll(ctx()), 1);
        int32_t one = 1;
        ASSERT_EQ(Overlay_setProperty(ctx(), text, OverlayProp_textFlag, &one), Res_ok);
        EXPECT_EQ(Overlay_redrawAll(ctx()), 1);
        // A sprite too narrow for a single character: each line takes one
        // character, and the drawing comes to its end.
        ASSERT_EQ(Overlay_setProperty(ctx(), text, OverlayProp_rectWidth, &one), Res_ok);
        int32_t x0 = 5;
        ASSERT_EQ(Overlay_setProperty(ctx(), text, OverlayProp_rectX0, &x0), Res_ok);
        EXPECT_EQ(Overlay_redrawAll(ctx()), 1);
        // No width at all: nothing to draw, and success.
        int32_t zero = 0;
        ASSERT_EQ(Overlay_setProperty(ctx(), text, OverlayProp_rectWidth, &zero), Res_ok);
        EXPECT_EQ(Overlay_redrawAll(ctx()), 1);
        // Text ids do not apply to other items.
        OverlaySprite *line = nullptr;
        ASSERT_EQ(Overlay_addLineSprite(ctx(), 0, 0, 3, 3, 0xFF000000u, 1, &line, 0, 0), 0);
        EXPECT_EQ(Overlay_getProperty(ctx(), line, OverlayProp_fontSize, &v), Res_notImplemented);
        EXPECT_EQ(Overlay_removeSprite(ctx(), &text), 0);
    });
}

} // namespace
