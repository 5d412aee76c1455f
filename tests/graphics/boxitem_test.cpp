// Box items: shading, the uniform frame against separately drawn sides,
// the three-dimensional styles, thin doubles, hidden and absent borders,
// bounds, the identifier slot, the background and image drawing.
//
// Box coordinates here are pixels: the item matrix is the identity and the
// bitmaps have the scale word 0x10000.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "core/geom/matrix.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/boxitem.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"
#include "tests/support/heap_fixture.h"
#include "viewer/dispman.h"

namespace {

constexpr uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255)
{
    return a << 24 | b << 16 | g << 8 | r;
}

constexpr uint16_t to565(uint32_t c)
{
    return uint16_t(((c & 0xFF) >> 3) << 11 | (((c >> 8) & 0xFF) >> 2) << 5 |
                    ((c >> 16) & 0xFF) >> 3);
}

TEST(ColourShade, HalfStepsPerChannelWithoutCarryOrBorrow)
{
    struct Case {
        uint32_t colour, flag, shaded;
    } cases[] = {
        {0xFF123456, 0, 0x123456}, // flag 0: the colour without its alpha
        {0x000000, 1, 0x808080},   // black becomes grey
        {0x0000FF, 1, 0x00007F},   // pure red darkens
        {0x404040, 1, 0xC0C0C0},   // dark grey lightens
        {0xC0C0C0, 1, 0x404040},   // light grey darkens
        {0x00F020, 1, 0x007000},   // red would borrow from green: it stops at 0
        {0x0040A0, 1, 0x00C0FF},   // red would carry into green: it stops at 255
        {0x800080, 1, 0x000000},   // equal to the half step: darker
        {0x010000, 1, 0x810000},   // only the non-zero channel moves
    };
    for (const Case &c : cases)
        EXPECT_EQ(Colour_shade(c.colour, c.flag), c.shaded) << std::hex << c.colour;
}

class BoxItemTest : public LeakCheckedContextTest<> {
  protected:
    void TearDown() override
    {
        for (ObjHeader *i : items)
            Obj_destroy(i);
        for (Bitmap *b : bitmaps)
            Bitmap_destroy(b);
        for (PixelBuf *b : bufs)
            PixelBuf_destroy(b);
        LeakCheckedContextTest::TearDown();
    }
    Bitmap *picture(int32_t w, int32_t h, uint16_t fill = 0xFFFF)
    {
        PixelBuf *buf = nullptr;
        EXPECT_EQ(PixelBuf_create(&buf, w, h, Pixel_format565, 0x10000), 0);
        PixelBuf_fillRect(buf, 0, 0, w, h, fill);
        bufs.push_back(buf);
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(ctx, &b, buf), 0);
        bitmaps.push_back(b);
        return b;
    }
    ObjHeader *box(const Rect &r)
    {
        items.push_back(BoxItem_create(&r));
        return items.back();
    }
    static void all(ObjHeader *item, uint32_t style, uint32_t colour, int32_t width)
    {
        for (BoxBorder &b : BoxItem_part(item)->borders)
            b = BoxBorder{style, colour, width};
    }
    int draw(ObjHeader *item, Bitmap *b, const DrawFlags *flags = nullptr)
    {
        DrawTarget t{b, nullptr, 0, 0};
        return Obj_itemOps(item)->draw(ctx, item, nullptr, Matrix_identity(), &t, flags, 0);
    }
    // The pixel at y-up (x, y).
    static uint16_t px(const Bitmap *b, int32_t x, int32_t y)
    {
        return reinterpret_cast<const uint16_t *>(static_cast<const uint8_t *>(b->pixels) +
                                                  size_t(b->height - 1 - y) * b->stride)[x];
    }

    std::vector<ObjHeader *> items;
    std::vector<Bitmap *> bitmaps;
    std::vector<PixelBuf *> bufs;
};

// Four solid borders of one colour make one even-odd frame: every pixel of
// the ring gets the colour once. Another alpha on one side draws four
// mitred sides, whose corner diagonals are blended twice.
TEST_F(BoxItemTest, OneFrameForFourAlikeSolidBordersElseFourSides)
{
    const uint32_t half = rgba(0, 0, 0xFF, 0x80);
    auto ringColours = [&](Bitmap *b) {
        std::set<uint16_t> seen;
        for (int32_t y = 4; y < 36; y++)
            for (int32_t x = 4; x < 36; x++)
                if (x < 10 || x >= 30 || y < 10 || y >= 30)
                    seen.insert(px(b, x, y));
        return seen;
    };
    ObjHeader *frame = box(Rect{4, 4, 36, 36});
    all(frame, BorderStyle_solid, half, 6);
    Bitmap *one = picture(40, 40);
    ASSERT_EQ(draw(frame, one), 0);
    EXPECT_EQ(ringColours(one).size(), 1u);
    EXPECT_EQ(px(one, 20, 20), 0xFFFF) << "no background";
    EXPECT_EQ(px(one, 3, 20), 0xFFFF);

    ObjHeader *sides = box(Rect{4, 4, 36, 36});
    all(sides, BorderStyle_solid, half, 6);
    BoxItem_part(sides)->borders[BoxBorder_y1].colour = rgba(0, 0, 0xFF, 0x81);
    Bitmap *four = picture(40, 40);
    ASSERT_EQ(draw(sides, four), 0);
    EXPECT_GT(ringColours(four).size(), 1u);
    EXPECT_EQ(px(four, 20, 7), px(one, 20, 7)) << "the middle of a side is the same";
}

// Inset and outset: a dark colour shades lighter, a light one darker; the
// shaded sides follow the style and swap when the shade is darker.
TEST_F(BoxItemTest, InsetAndOutsetShadeTheirSides)
{
    struct Case {
        uint32_t style, colour;
        bool topLeftShaded; // sides y1 and x0; else sides y0 and x1
    } cases[] = {
        {BorderStyle_inset, rgba(0x40, 0x40, 0x40), false},
        {BorderStyle_inset, rgba(0xC0, 0xC0, 0xC0), true},
        {BorderStyle_outset, rgba(0x40, 0x40, 0x40), true},
        {BorderStyle_outset, rgba(0xC0, 0xC0, 0xC0), false},
    };
    for (const Case &c : cases) {
        ObjHeader *item = box(Rect{0, 0, 40, 40});
        all(item, c.style, c.colour, 8);
        Bitmap *b = picture(40, 40);
        ASSERT_EQ(draw(item, b), 0);
        uint16_t plain = to565(c.colour), shaded = to565(Colour_shade(c.colour, 1) | 0xFF000000);
        uint16_t topLeft = c.topLeftShaded ? shaded : plain,
                 bottomRight = c.topLeftShaded ? plain : shaded;
        EXPECT_EQ(px(b, 20, 37), topLeft) << "y1 side, style " << c.style;
        EXPECT_EQ(px(b, 2, 20), topLeft) << "x0 side";
        EXPECT_EQ(px(b, 20, 2), bottomRight) << "y0 side";
        EXPECT_EQ(px(b, 37, 20), bottomRight) << "x1 side";
    }
}

// Sides are mitred: the corner is split along its diagonal between the
// two sides, and the background fills the inner rectangle.
TEST_F(BoxItemTest, SidesAreMitredAndTheBackgroundFillsTheInside)
{
    ObjHeader *item = box(Rect{0, 0, 40, 40});
    BoxItemPart *part = BoxItem_part(item);
    part->borders[BoxBorder_x0] = BoxBorder{BorderStyle_solid, rgba(0xFF, 0, 0), 10};
    part->borders[BoxBorder_y1] = BoxBorder{BorderStyle_solid, rgba(0, 0, 0xFF), 10};
    part->borders[BoxBorder_y0] = BoxBorder{BorderStyle_none, rgba(0, 0xFF, 0), 0};
    part->borders[BoxBorder_x1] = BoxBorder{BorderStyle_hidden, rgba(0, 0xFF, 0), 5};
    part->background.colour = rgba(0xFF, 0xFF, 0);
    item->origin[0] = 2;
    Bitmap *b = picture(50, 50);
    ASSERT_EQ(draw(item, b), 0);
    EXPECT_EQ(px(b, 4, 32), to565(rgba(0xFF, 0, 0))) << "x0 side, below the diagonal";
    EXPECT_EQ(px(b, 8, 38), to565(rgba(0, 0, 0xFF))) << "y1 side, above the diagonal";
    EXPECT_EQ(px(b, 20, 20), to565(rgba(0xFF, 0xFF, 0))) << "background";
    EXPECT_EQ(px(b, 36, 20), to565(rgba(0xFF, 0xFF, 0))) << "up to the hidden side's width";
    EXPECT_EQ(px(b, 38, 20), 0xFFFF) << "the hidden side draws nothing";
    EXPECT_EQ(px(b, 20, 0), to565(rgba(0xFF, 0xFF, 0))) << "no y0 border";
    EXPECT_EQ(px(b, 1, 20), 0xFFFF) << "the origin moves the box";
}

// A double border whose third maps to less than 100 units is a solid
// border of the full width.
TEST_F(BoxItemTest, AThinDoubleBorderIsDrawnSolid)
{
    ObjHeader *item = box(Rect{0, 0, 40, 40});
    all(item, BorderStyle_double, rgba(0, 0x80, 0), 9);
    BoxItemPart *part = BoxItem_part(item);
    part->borders[BoxBorder_y1].colour = rgba(0, 0x80, 1); // four sides
    Bitmap *b = picture(40, 40);
    ASSERT_EQ(draw(item, b), 0);
    for (int32_t x : {1, 4, 7})
        EXPECT_EQ(px(b, x, 20), to565(rgba(0, 0x80, 0))) << x;
}

// Drawn at a quarter of the box units per pixel, a border of one unit (a
// quarter pixel) is widened to one whole pixel, framed or drawn as
// sides; a border of width 0 still draws nothing.
TEST_F(BoxItemTest, ABorderThinnerThanAPixelDrawsOnePixelWide)
{
    const Matrix quarter{0x4000, 0, 0, 0x4000, 0, 0};
    const uint16_t black = to565(rgba(0, 0, 0)), white = 0xFFFF;
    struct Case {
        const char *name;
        int32_t width;     // of every side, in box units
        int32_t thickLeft; // the left side's width instead, when not 0
        uint16_t edge;     // the pixels of the left and bottom edges
    } cases[] = {
        {"a quarter-pixel frame", 1, 0, black},
        {"quarter-pixel sides beside a thick one", 1, 8, black},
        {"width 0", 0, 0, white},
    };
    for (const Case &c : cases) {
        // Pixels 4 to 36 each way.
        ObjHeader *item = box(Rect{16, 16, 144, 144});
        all(item, BorderStyle_solid, rgba(0, 0, 0), c.width);
        if (c.thickLeft)
            BoxItem_part(item)->borders[BoxBorder_x0].width = c.thickLeft;
        Bitmap *b = picture(40, 40);
        DrawTarget t{b, nullptr, 0, 0};
        ASSERT_EQ(Obj_itemOps(item)->draw(ctx, item, nullptr, &quarter, &t, nullptr, 0), 0)
            << c.name;
        EXPECT_EQ(px(b, 4, 20), c.thickLeft ? black : c.edge) << c.name;
        EXPECT_EQ(px(b, 35, 20), c.edge) << c.name << ": right";
        EXPECT_EQ(px(b, 20, 4), c.edge) << c.name << ": bottom";
        EXPECT_EQ(px(b, 20, 35), c.edge) << c.name << ": top";
        // One pixel, no more: the pixels inside the edges stay white.
        EXPECT_EQ(px(b, 36, 20), white) << c.name;
        EXPECT_EQ(px(b, 20, 5), white) << c.name;
        EXPECT_EQ(px(b, 34, 20), white) << c.name;
        EXPECT_EQ(px(b, 20, 20), white) << c.name;
        // The stored widths are left as they are.
        EXPECT_EQ(BoxItem_part(item)->borders[BoxBorder_x1].width, c.width) << c.name;
    }
}

// Bounds grow by the border widths of every side whose style is not 0,
// through the item's matrix.
TEST_F(BoxItemTest, BoundsGrowByTheBordersThroughTheMatrix)
{
    ObjHeader *item = box(Rect{0, 0, 10, 10});
    BoxItemPart *part = BoxItem_part(item);
    part->borders[BoxBorder_x0] = BoxBorder{BorderStyle_hidden, 0, 1};
    part->borders[BoxBorder_y0] = BoxBorder{BorderStyle_solid, 0, 2};
    part->borders[BoxBorder_x1] = BoxBorder{BorderStyle_none, 0, 3};
    part->borders[BoxBorder_y1] = BoxBorder{BorderStyle_dotted, 0, 4};
    Rect r{0, 0, 10, 10};
    ASSERT_EQ(Obj_itemOps(item)->bounds(ctx, item, &r), 0);
    EXPECT_EQ(r.x0, -1);
    EXPECT_EQ(r.y0, -2);
    EXPECT_EQ(r.x1, 10) << "style 0 adds nothing";
    EXPECT_EQ(r.y1, 14);
    item->matrix = static_cast<Matrix *>(Mem_calloc(1, sizeof(Matrix)));
    *item->matrix = Matrix{0x20000, 0, 0, 0x10000, 100, 0};
    r = Rect{0, 0, 10, 10};
    ASSERT_EQ(Obj_itemOps(item)->bounds(ctx, item, &r), 0);
    EXPECT_EQ(r.x0, 0) << "grown from the rectangle it had";
    EXPECT_EQ(r.x1, 120);
    uint32_t id = 0;
    EXPECT_EQ(Obj_itemOps(item)->measure(ctx, item, nullptr, nullptr, nullptr, nullptr, &id), 0);
    EXPECT_EQ(id, uint32_t(BoxItem_identifier));
    EXPECT_FALSE(BoxItem_is(nullptr));
    EXPECT_EQ(BoxItem_part(nullptr), nullptr);
}

// Box frames with one sub-pixel bit when the flags ask for fast boxes,
// else the box quality's share (quality x 3 / 15 bits): an edge across
// pixels shows coverage levels accordingly.
TEST_F(BoxItemTest, TheFrameTakesItsSubPixelBitsFromTheQuality)
{
    ObjHeader *item = box(Rect{0, 0, 40, 40});
    all(item, BorderStyle_solid, rgba(0, 0, 0), 6);
    item->matrix = static_cast<Matrix *>(Mem_calloc(1, sizeof(Matrix)));
    *item->matrix = Matrix{0x10000, 0, 0x4000, 0x10000, 0, 0}; // sheared: slanted edges
    auto levels = [&](const DrawFlags &flags) {
        Bitmap *b = picture(60, 40);
        EXPECT_EQ(draw(item, b, &flags), 0);
        std::set<uint16_t> seen;
        for (int32_t y = 0; y < 40; y++)
            for (int32_t x = 0; x < 60; x++)
                seen.insert(px(b, x, y));
        return seen.size();
    };
    DrawFlags fast{};
    fast.flags = DrawFlags_fastBoxes;
    fast.quality[DrawQuality_box] = 15;
    DrawFlags fine{};
    fine.quality[DrawQuality_box] = 15; // 3 bits
    DrawFlags none{};                   // 0 bits: no grey at all
    EXPECT_EQ(levels(none), 2u);
    EXPECT_GT(levels(fast), 2u);
    EXPECT_GT(levels(fine), levels(fast));
}

// A picture is drawn at its place under a constant alpha or a mask.
TEST_F(BoxItemTest, ImagesDrawAtTheirPlaceUnderAlphaOrMask)
{
    ObjHeader *item = box(Rect{0, 0, 10, 10});
    PixelBuf *pic = nullptr;
    ASSERT_EQ(PixelBuf_create(&pic, 4, 4, Pixel_format565, 0x10000), 0);
    bufs.push_back(pic);
    PixelBuf_fillRect(pic, 0, 0, 4, 4, 0xF800);
    Bitmap *b = picture(10, 10, 0x001F);
    Rect area{0, 0, 10, 10};
    DrawTarget t{b, &area, 1, 1};
    DrawItem *d = b->drawItem;
    d->kind = DrawItem_kindRect;
    ASSERT_EQ(BoxItem_drawImage(ctx, pic, nullptr, 255, 2, 3, item, &t), 0);
    EXPECT_EQ(px(b, 3, 4), 0xF800);
    EXPECT_EQ(px(b, 6, 7), 0xF800);
    EXPECT_EQ(px(b, 7, 7), 0x001F);
    EXPECT_EQ(px(b, 2, 4), 0x001F);
    PixelBuf *mask = nullptr;
    ASSERT_EQ(PixelBuf_create(&mask, 4, 4, Pixel_formatGrey8, 0x10000), 0);
    bufs.push_back(mask);
    memset(mask->pixels, 0, size_t(mask->stride) * 4);
    mask->pixels[0] = 255; // the picture's top-left pixel only
    PixelBuf_fillRect(pic, 0, 0, 4, 4, 0x07E0);
    ASSERT_EQ(BoxItem_drawImage(ctx, pic, mask, 0, 2, 3, item, &t), 0);
    EXPECT_EQ(px(b, 3, 7), 0x07E0);
    EXPECT_EQ(px(b, 4, 7), 0xF800);
    EXPECT_EQ(BoxItem_drawImage(ctx, nullptr, nullptr, 255, 0, 0, item, &t), int(Res_nullInput));
}

} // namespace
