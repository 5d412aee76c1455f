// Shared pixel routines held to the cases their other callers rely on: the
// 16-bit rectangle fill, the rectangle of a crossing table and the stencil
// row expanders with both Decode arrays.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/fill.h"
#include "graphics/rasterrows.h"

namespace {

TEST(Fill16Rows, WritesExactlyTheRectangle)
{
    // A 48-pixel-wide picture of 4 rows with guard pixels all round; the
    // rectangle starts one pixel past a 4-byte boundary.
    constexpr uint32_t stride = 48;
    alignas(16) uint16_t pixels[stride * 4];
    for (uint16_t &p : pixels)
        p = 0xDEAD;
    uint16_t *first = pixels + stride + 5; // row 1, column 5: odd, so not 4-byte aligned
    ASSERT_NE(reinterpret_cast<uintptr_t>(first) % 4, 0u);
    const Rect r{100, 7, 137, 9}; // 37 x 2
    Bitmap_fill16Rows(&r, 0x12345678u, first, stride - 37);
    for (uint32_t y = 0; y < 4; y++)
        for (uint32_t x = 0; x < stride; x++) {
            bool inside = (y == 1 || y == 2) && x >= 5 && x < 42;
            ASSERT_EQ(pixels[y * stride + x], inside ? 0x5678 : 0xDEAD) << x << "," << y;
        }
}

TEST(Fill16Rows, NarrowAndEmptyRectangles)
{
    uint16_t pixels[32];
    for (uint16_t &p : pixels)
        p = 0;
    const Rect column{0, 0, 1, 3};
    Bitmap_fill16Rows(&column, 0xABCD, pixels, 9);
    for (int i = 0; i < 32; i++)
        EXPECT_EQ(pixels[i], (i == 0 || i == 10 || i == 20) ? 0xABCD : 0) << i;
    const Rect empties[] = {{4, 0, 4, 3}, {0, 5, 3, 4}, {3, 0, 1, 2}};
    for (const Rect &e : empties) {
        Bitmap_fill16Rows(&e, 0x1111, pixels + 1, 0);
        EXPECT_EQ(pixels[1], 0);
    }
}

TEST(CrossingTableBounds, TopIsTheFloorOfTheFixedEdge)
{
    struct Case {
        int32_t yOffset;
        uint32_t rowCount;
        Rect expect;
    } cases[] = {
        {2560, 20, {3, 10, 9, 20}}, // top 10.0, 20 sub-rows at shift 1
        {-1, 20, {3, -1, 9, 9}},    // just above 0: top -1
        {-256, 4, {3, -1, 9, 1}},
        {2600, 21, {3, 10, 9, 20}}, // fractions and odd counts round down
    };
    for (const Case &c : cases) {
        CrossingTable t{};
        t.yOffset = c.yOffset;
        t.rowCount = c.rowCount;
        t.clipX0 = 3;
        t.clipX1 = 9;
        Rect out{};
        CrossingTable_bounds(&t, 1, &out);
        EXPECT_EQ(out.x0, c.expect.x0);
        EXPECT_EQ(out.y0, c.expect.y0) << c.yOffset;
        EXPECT_EQ(out.x1, c.expect.x1);
        EXPECT_EQ(out.y1, c.expect.y1) << c.yOffset;
    }
}

// The default Decode [0 1] paints where the sample is 0 (the inverted
// expander); Decode [1 0] paints where it is not.
TEST(StencilRows, DecodeArraysPickTheirExpander)
{
    const uint8_t mask[] = {0, 1, 255};
    struct Case {
        const char *what;
        bool defaultDecode;
        std::vector<uint32_t> colours;
        std::vector<uint8_t> alphas;
    } cases[] = {
        {"Decode [1 0]: non-zero paints", false, {0xFFFF, 0x1234, 0x1234}, {0, 255, 255}},
        {"default Decode: zero paints", true, {0x1234, 0xFFFF, 0xFFFF}, {255, 0, 0}},
    };
    for (const Case &c : cases) {
        uint32_t colours[3];
        uint8_t alphas[3];
        (c.defaultDecode ? StencilRow_toColourInverted : StencilRow_toColour)(mask, colours, alphas,
                                                                              3, 0, 0, 0x1234);
        EXPECT_EQ(std::vector<uint32_t>(colours, colours + 3), c.colours) << c.what;
        EXPECT_EQ(std::vector<uint8_t>(alphas, alphas + 3), c.alphas) << c.what;
    }
}

} // namespace
