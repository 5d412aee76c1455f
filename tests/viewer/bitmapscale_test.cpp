// Nearest-neighbour scaling: the columns and rows a 4 x 4 picture takes at
// 7 x 7, windows of the scaled picture, every pixel size, pairs of formats
// that are refused, the 16-bit enlarging and shrinking paths, and scaled
// sizes of 1.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/result.h"
#include "viewer/screen/bitmapscale.h"
#include "graphics/pixelbuf.h"

namespace {

template <typename Pixel> struct Picture {
    std::vector<uint8_t> bytes;
    PixelBuf buf{};
    Picture(int32_t w, int32_t h, uint32_t format, uint32_t padding = 0)
    {
        buf.width = w;
        buf.height = h;
        buf.stride = uint32_t(w * sizeof(Pixel) + padding);
        buf.format = format;
        bytes.assign(size_t(buf.stride) * h + 1, 0xEE);
        buf.pixels = bytes.data();
    }
    Pixel &at(int32_t x, int32_t y)
    {
        return *reinterpret_cast<Pixel *>(bytes.data() + size_t(y) * buf.stride +
                                          x * sizeof(Pixel));
    }
    // Source pixel values that name their column and row.
    void label()
    {
        for (int32_t y = 0; y < buf.height; y++)
            for (int32_t x = 0; x < buf.width; x++)
                at(x, y) = Pixel(y * 16 + x + 1);
    }
};

// The source index nearest to j x (source - 1) / (scaled - 1), halves down.
int32_t nearest(int32_t j, int32_t source, int32_t scaled)
{
    if (scaled <= 1)
        return 0;
    int64_t a = int64_t(source - 1), b = int64_t(scaled - 1);
    return int32_t((2 * j * a + b - 1) / (2 * b));
}

template <typename Pixel>
void expectNearest(Picture<Pixel> &src, Picture<Pixel> &dst, int32_t sw, int32_t sh,
                   int32_t firstRow, int32_t firstColumn)
{
    for (int32_t y = 0; y < dst.buf.height; y++)
        for (int32_t x = 0; x < dst.buf.width; x++) {
            int32_t sx = nearest(firstColumn + x, src.buf.width, sw);
            int32_t sy = nearest(firstRow + y, src.buf.height, sh);
            ASSERT_EQ(dst.at(x, y), src.at(sx, sy)) << "at " << x << "," << y;
        }
}

TEST(BitmapScale, FourToSevenRepeatsColumnsAndCopiesRows)
{
    Picture<uint8_t> src(4, 4, Pixel_formatGrey8);
    src.label();
    Picture<uint8_t> dst(7, 7, Pixel_formatGrey8, 1);
    ASSERT_EQ(Bitmap_scaleNearest(&src.buf, 7, 7, &dst.buf, 0, 0), Res_ok);
    const int32_t columns[7] = {0, 0, 1, 1, 2, 2, 3};
    for (int32_t x = 0; x < 7; x++)
        EXPECT_EQ(dst.at(x, 0), src.at(columns[x], 0)) << x;
    for (int32_t y : {1, 3, 5})
        EXPECT_EQ(memcmp(&dst.at(0, y), &dst.at(0, y - 1), 7), 0) << y;
    expectNearest(src, dst, 7, 7, 0, 0);
    // The padding byte after each row is never written.
    for (int32_t y = 0; y < 7; y++)
        EXPECT_EQ(dst.bytes[size_t(y) * dst.buf.stride + 7], 0xEE) << y;
}

TEST(BitmapScale, WindowsOfTheScaledPictureInEveryPixelSize)
{
    struct Case {
        int32_t srcW, srcH, scaledW, scaledH, dstW, dstH, firstRow, firstColumn;
    };
    const Case cases[] = {
        {4, 4, 7, 7, 3, 2, 2, 3}, {5, 3, 13, 9, 6, 5, 4, 7},  {9, 7, 4, 3, 4, 3, 0, 0},
        {9, 7, 4, 3, 2, 2, 1, 2}, {6, 6, 6, 6, 6, 6, 0, 0},   {3, 8, 10, 2, 10, 2, 0, 0},
        {1, 1, 5, 4, 5, 4, 0, 0}, {7, 2, 3, 11, 3, 11, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.srcW << "x" << c.srcH << " to " << c.scaledW << "x" << c.scaledH << " at "
                     << c.firstColumn << "," << c.firstRow);
        {
            Picture<uint8_t> src(c.srcW, c.srcH, Pixel_formatGrey8, 3);
            src.label();
            Picture<uint8_t> dst(c.dstW, c.dstH, Pixel_formatGrey8, 2);
            ASSERT_EQ(Bitmap_scaleNearest(&src.buf, c.scaledW, c.scaledH, &dst.buf, c.firstRow,
                                          c.firstColumn),
                      0);
            expectNearest(src, dst, c.scaledW, c.scaledH, c.firstRow, c.firstColumn);
        }
        {
            Picture<uint32_t> src(c.srcW, c.srcH, Pixel_formatRGBA);
            src.label();
            Picture<uint32_t> dst(c.dstW, c.dstH, Pixel_formatRGBA, 4);
            ASSERT_EQ(Bitmap_scaleNearest(&src.buf, c.scaledW, c.scaledH, &dst.buf, c.firstRow,
                                          c.firstColumn),
                      0);
            expectNearest(src, dst, c.scaledW, c.scaledH, c.firstRow, c.firstColumn);
        }
        // 16-bit pictures scaled the same way in both directions go to the
        // dithered scalers; the others are exact.
        bool mixed = (c.srcW < c.scaledW && c.srcH > c.scaledH) ||
                     (c.srcW > c.scaledW && c.srcH < c.scaledH);
        if (mixed) {
            Picture<uint16_t> src(c.srcW, c.srcH, Pixel_format565, 2);
            src.label();
            Picture<uint16_t> dst(c.dstW, c.dstH, Pixel_format565, 2);
            ASSERT_EQ(Bitmap_scaleNearest(&src.buf, c.scaledW, c.scaledH, &dst.buf, c.firstRow,
                                          c.firstColumn),
                      0);
            expectNearest(src, dst, c.scaledW, c.scaledH, c.firstRow, c.firstColumn);
        }
    }
}

TEST(BitmapScale, MixedOrUnhandledFormatsAreRefusedAndDrawNothing)
{
    const uint32_t pairs[][2] = {{Pixel_formatGrey8, Pixel_format565},
                                 {Pixel_format565, Pixel_formatGrey8},
                                 {Pixel_format565, Pixel_formatRGBA},
                                 {Pixel_format555, Pixel_format555},
                                 {Pixel_format444, Pixel_format444}};
    for (const auto &p : pairs) {
        Picture<uint16_t> src(4, 4, p[0]);
        src.label();
        Picture<uint16_t> dst(7, 7, p[1]);
        std::vector<uint8_t> before = dst.bytes;
        EXPECT_EQ(Bitmap_scaleNearest(&src.buf, 7, 7, &dst.buf, 0, 0), Res_scaleFormatPair);
        EXPECT_EQ(dst.bytes, before);
    }
}

// A 16-bit picture enlarged across and shrunk down (or the reverse) takes
// the row copier: exact nearest neighbours, no dithering.
TEST(BitmapScale, SixteenBitMixedDirectionsUseTheRowCopier)
{
    Picture<uint16_t> src(3, 9, Pixel_format565);
    for (int32_t y = 0; y < 9; y++)
        for (int32_t x = 0; x < 3; x++)
            src.at(x, y) = uint16_t(0x8421u * (y + 1) + x * 0x1111u);
    Picture<uint16_t> dst(8, 4, Pixel_format565);
    ASSERT_EQ(Bitmap_scaleNearest(&src.buf, 8, 4, &dst.buf, 0, 0), 0);
    expectNearest(src, dst, 8, 4, 0, 0);

    Picture<uint16_t> wide(9, 3, Pixel_format565);
    wide.label();
    Picture<uint16_t> tall(4, 8, Pixel_format565);
    ASSERT_EQ(Bitmap_scaleNearest(&wide.buf, 4, 8, &tall.buf, 0, 0), 0);
    expectNearest(wide, tall, 4, 8, 0, 0);
}

// A 16-bit picture enlarged or shrunk in both directions goes to the
// dithered scalers: source pixel floor(j x source / scaled), which the
// dither leaves as it is.
TEST(BitmapScale, SixteenBitSameDirectionsUseTheDitheredScalers)
{
    struct Case {
        int32_t srcW, srcH, scaledW, scaledH, firstRow, firstColumn;
    } cases[] = {{3, 2, 7, 5, 0, 0}, {9, 7, 4, 3, 0, 0}, {4, 4, 9, 9, 2, 3}};
    for (const Case &c : cases) {
        Picture<uint16_t> src(c.srcW, c.srcH, Pixel_format565, 2);
        src.label();
        Picture<uint16_t> dst(3, 2, Pixel_format565, 2);
        ASSERT_EQ(Bitmap_scaleNearest(&src.buf, c.scaledW, c.scaledH, &dst.buf, c.firstRow,
                                      c.firstColumn),
                  0);
        for (int32_t y = 0; y < 2; y++)
            for (int32_t x = 0; x < 3; x++)
                EXPECT_EQ(dst.at(x, y), src.at((c.firstColumn + x) * c.srcW / c.scaledW,
                                               (c.firstRow + y) * c.srcH / c.scaledH))
                    << x << "," << y;
    }
}

// A scaled size of 1 has no step: the first source pixel and row are
// taken, whatever the window asks, and nothing loops or divides by zero.
TEST(BitmapScale, ScaledSizeOfOneTakesTheFirstPixelAndRow)
{
    Picture<uint8_t> src(5, 4, Pixel_formatGrey8);
    src.label();
    Picture<uint8_t> one(1, 1, Pixel_formatGrey8);
    ASSERT_EQ(Bitmap_scaleNearest(&src.buf, 1, 1, &one.buf, 0, 0), 0);
    EXPECT_EQ(one.at(0, 0), src.at(0, 0));
    Picture<uint8_t> strip(3, 2, Pixel_formatGrey8);
    ASSERT_EQ(Bitmap_scaleNearest(&src.buf, 1, 1, &strip.buf, 2, 2), 0);
    for (int32_t y = 0; y < 2; y++)
        for (int32_t x = 0; x < 3; x++)
            EXPECT_EQ(strip.at(x, y), src.at(0, 0));
    Picture<uint8_t> column(1, 4, Pixel_formatGrey8);
    ASSERT_EQ(Bitmap_scaleNearest(&src.buf, 1, 4, &column.buf, 0, 0), 0);
    for (int32_t y = 0; y < 4; y++)
        EXPECT_EQ(column.at(0, y), src.at(0, y));
}

// A window that reaches past the scaled picture repeats its last pixel
// and row instead of reading past the source.
TEST(BitmapScale, WindowsPastTheEndRepeatTheLastPixelAndRow)
{
    Picture<uint8_t> src(3, 3, Pixel_formatGrey8);
    src.label();
    Picture<uint8_t> dst(6, 6, Pixel_formatGrey8);
    ASSERT_EQ(Bitmap_scaleNearest(&src.buf, 5, 5, &dst.buf, 3, 3), 0);
    for (int32_t y = 0; y < 6; y++)
        for (int32_t x = 0; x < 6; x++)
            EXPECT_EQ(dst.at(x, y),
                      src.at(x == 0 ? nearest(3, 3, 5) : 2, y == 0 ? nearest(3, 3, 5) : 2))
                << x << "," << y;
}

TEST(BitmapScale, EmptySizesDrawNothing)
{
    Picture<uint8_t> src(3, 3, Pixel_formatGrey8);
    src.label();
    Picture<uint8_t> dst(2, 2, Pixel_formatGrey8);
    std::vector<uint8_t> before = dst.bytes;
    EXPECT_EQ(Bitmap_scaleNearest(&src.buf, 0, 4, &dst.buf, 0, 0), 0);
    EXPECT_EQ(Bitmap_scaleNearest(&src.buf, 4, -1, &dst.buf, 0, 0), 0);
    PixelBuf empty = dst.buf;
    empty.height = 0;
    EXPECT_EQ(Bitmap_scaleNearest(&src.buf, 4, 4, &empty, 0, 0), 0);
    EXPECT_EQ(dst.bytes, before);
}

} // namespace
