// Drawing highlight records onto a small 16-bit bitmap: a fill covers its
// path, an outline only the path's edges, the record's origin moves it, a
// hidden record draws nothing, and a paint style other than fill and
// outline is refused; the colour and shape of a record by its style.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "tests/support/heap_fixture.h"
#include "viewer/select/highlight.h"

namespace {

class HighlightDrawTest : public LeakCheckedHeapTest<> {
  protected:
    static constexpr int kSize = 16;
    uint16_t pixels[kSize * kSize];
    Bitmap *bitmap = nullptr;
    int32_t style[7] = {0, 1, 0, 0, 0, 0, 0};
    HighlightRecord record{};

    void make(int32_t styleKind, int32_t width)
    {
        std::memset(pixels, 0, sizeof pixels);
        Bitmap_destroy(bitmap);
        bitmap = nullptr;
        ASSERT_EQ(Bitmap_create(nullptr, &bitmap, kSize, kSize, Pixel_format565, 1, pixels, 0), 0);
        Path *path = nullptr;
        ASSERT_EQ(Path_create(&path, 1), 0);
        Rect r{4, 4, 12, 12};
        ASSERT_EQ(Path_addRect(path, &r), 0);
        const int32_t outline[7] = {1, 0, width, 182000, 9100, 18200, 0};
        if (styleKind == 1)
            std::memcpy(style, outline, sizeof style);
        else
            style[0] = styleKind;
        record = HighlightRecord{};
        record.bounds = r;
        record.path = path;
        record.style = style;
        record.colour = 0xFF0000FFu; // opaque red
    }
    void TearDown() override
    {
        if (record.path)
            Path_destroy(record.path);
        Bitmap_destroy(bitmap);
        LeakCheckedHeapTest<>::TearDown();
    }
    // Red in 565 at (x, y), rows counted from either edge alike: the
    // shapes here are symmetric in y.
    bool red(int x, int y) const
    {
        return pixels[y * kSize + x] == 0xF800;
    }
    int draw()
    {
        const DrawTarget target{bitmap, nullptr, 0, 0};
        return Highlight_draw(nullptr, &record, nullptr, &target);
    }
};

TEST_F(HighlightDrawTest, FillCoversThePath)
{
    make(0, 0);
    ASSERT_EQ(draw(), 0);
    EXPECT_TRUE(red(4, 4));
    EXPECT_TRUE(red(8, 8));
    EXPECT_TRUE(red(11, 11));
    EXPECT_FALSE(red(3, 8));
    EXPECT_FALSE(red(12, 8));
    EXPECT_FALSE(red(8, 2));
}

TEST_F(HighlightDrawTest, OutlineDrawsOnlyTheEdges)
{
    make(1, 2);
    ASSERT_EQ(draw(), 0);
    EXPECT_TRUE(red(4, 8));
    EXPECT_TRUE(red(11, 8));
    EXPECT_TRUE(red(8, 4) || red(8, 11));
    EXPECT_FALSE(red(8, 8)) << "the inside stays";
    EXPECT_FALSE(red(1, 8));
}

TEST_F(HighlightDrawTest, OriginMovesAndHiddenDrawsNothing)
{
    make(0, 0);
    record.origin[0] = -4;
    ASSERT_EQ(draw(), 0);
    EXPECT_TRUE(red(0, 8));
    EXPECT_FALSE(red(9, 8));
    std::memset(pixels, 0, sizeof pixels);
    record.flags |= Highlight_hidden;
    ASSERT_EQ(draw(), 0);
    for (uint16_t p : pixels)
        ASSERT_EQ(p, 0);
}

TEST_F(HighlightDrawTest, BadStyleIsRefused)
{
    make(2, 0);
    EXPECT_EQ(draw(), Highlight_badStyle);
    for (uint16_t p : pixels)
        ASSERT_EQ(p, 0);
    HighlightShape shape;
    EXPECT_EQ(Highlight_shape(nullptr, &record, nullptr, &shape), Highlight_badStyle);
    uint32_t c = 9;
    uint32_t colours[11] = {};
    EXPECT_EQ(Highlight_colour(&record, colours, &c), Highlight_badStyle);
    EXPECT_EQ(c, 0u);
}

TEST_F(HighlightDrawTest, ColourAndShapeByStyle)
{
    uint32_t colours[11] = {};
    colours[9] = 0x11111111;
    colours[10] = 0x22222222;
    uint32_t c = 0;
    make(0, 0);
    ASSERT_EQ(Highlight_colour(&record, colours, &c), 0);
    EXPECT_EQ(c, 0x11111111u) << "a fill takes word 9";
    HighlightShape shape;
    record.origin[1] = 2;
    ASSERT_EQ(Highlight_shape(nullptr, &record, nullptr, &shape), 0);
    EXPECT_EQ(shape.request.penKind, 0u);
    EXPECT_EQ(shape.request.path, record.path);
    EXPECT_EQ(shape.request.matrix, &shape.matrix);
    EXPECT_EQ(shape.colour, record.colour);
    // The path's units with 8 fractional bits, moved by the origin.
    EXPECT_EQ(shape.device.x0, 4 * 256);
    EXPECT_EQ(shape.device.y0, 6 * 256);
    EXPECT_EQ(shape.device.x1, 12 * 256);
    EXPECT_EQ(shape.device.y1, 14 * 256);
    Path_destroy(record.path);
    record.path = nullptr;
    make(1, 2);
    ASSERT_EQ(Highlight_colour(&record, colours, &c), 0);
    EXPECT_EQ(c, 0x22222222u) << "an outline takes word 10";
    ASSERT_EQ(Highlight_shape(nullptr, &record, nullptr, &shape), 0);
    EXPECT_EQ(shape.request.penKind, 1u);
    EXPECT_EQ(shape.request.pen.width, 2);
    EXPECT_EQ(shape.request.pen.miterLimit, 182000);
}

} // namespace
