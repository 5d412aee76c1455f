// Scaled drawing of pictures into buffers: placement and clipping (also
// with negative offsets), plain and smoothed scaling, conversion from
// another format, sizes the resampler refuses, and bad arguments.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/result.h"
#include "graphics/pixelbuf.h"
#include "graphics/imageutil.h"
#include "tests/support/heap_fixture.h"

namespace {

class ScaleIntoBufferTest : public LeakCheckedHeapTest<> {
  protected:
    PixelBuf *make(int32_t w, int32_t h, uint32_t fmt, uint32_t fill)
    {
        PixelBuf *b = nullptr;
        EXPECT_EQ(PixelBuf_create(&b, w, h, fmt, 0x10000), Res_ok);
        std::memset(b->pixels, 0, size_t(b->stride) * size_t(h));
        PixelBuf_fillRect(b, 0, 0, w, h, fill);
        return b;
    }
    static uint32_t at(const PixelBuf *b, int32_t x, int32_t y)
    {
        uint32_t v = 0;
        std::memcpy(&v,
                    b->pixels + size_t(y) * b->stride + size_t(x) * Pixel_bytesPerPixel(b->format),
                    Pixel_bytesPerPixel(b->format));
        return v;
    }
};

TEST_F(ScaleIntoBufferTest, PlacesClipsAndScales)
{
    // A 2 x 2 picture: left column 10, right column 200.
    PixelBuf *pic = make(2, 2, Pixel_formatGrey8, 10);
    PixelBuf_fillRect(pic, 1, 0, 1, 2, 200);
    struct Case {
        int32_t w, h, x, y, quality;
        int32_t probeX, probeY;
        uint32_t expected;
    } cases[] = {
        {2, 2, 1, 1, 0, 1, 1, 10}, // same size: copied at (1, 1)
        {2, 2, 1, 1, 0, 2, 2, 200},
        {2, 2, 1, 1, 0, 0, 0, 0},  // outside the picture: untouched
        {4, 4, 0, 0, 0, 1, 3, 10}, // plain: nearest pixel
        {4, 4, 0, 0, 0, 2, 0, 200},
        {4, 4, 0, 0, 1, 1, 0, 39},   // smoothed: the cubic weights (27 of 32 on 10)
        {4, 4, -2, 0, 0, 0, 0, 200}, // a negative offset shows the right half
        {8, 2, 0, 0, 1, 0, 0, 10},   // one side stays: still enlarging
        {1, 4, 0, 0, 1, 0, 0, 200},  // mixed growth: plain scaling instead
    };
    for (const Case &c : cases) {
        PixelBuf *target = make(6, 6, Pixel_formatGrey8, 0);
        EXPECT_EQ(Image_scaleIntoBuffer(nullptr, pic, c.w, c.h, target, c.x, c.y, c.quality), 0);
        EXPECT_EQ(at(target, c.probeX, c.probeY), c.expected)
            << c.w << "x" << c.h << " at " << c.x << "," << c.y << " q" << c.quality;
        PixelBuf_destroy(target);
    }
    PixelBuf_destroy(pic);
}

TEST_F(ScaleIntoBufferTest, ConvertsOtherFormatsAndRefusesWhatItCannot)
{
    PixelBuf *rgba = make(3, 3, Pixel_formatRGBA, 0x0000FF00); // green
    PixelBuf *target = make(6, 6, Pixel_format565, 0);
    EXPECT_EQ(Image_scaleIntoBuffer(nullptr, rgba, 6, 6, target, 0, 0, 2), 0);
    EXPECT_EQ(at(target, 3, 3), 0x07E0u);
    PixelBuf *grey = make(3, 3, Pixel_formatGrey8, 7);
    EXPECT_NE(Image_scaleIntoBuffer(nullptr, grey, 6, 6, target, 0, 0, 1), 0); // no 0 -> 4
    EXPECT_EQ(Image_scaleIntoBuffer(nullptr, nullptr, 6, 6, target, 0, 0, 1), Res_nullInput);
    EXPECT_EQ(Image_scaleIntoBuffer(nullptr, rgba, 0, 6, target, 0, 0, 1), Res_nullInput);
    // Entirely outside: nothing to do.
    EXPECT_EQ(Image_scaleIntoBuffer(nullptr, rgba, 6, 6, target, 10, 0, 1), 0);
    PixelBuf_destroy(rgba);
    PixelBuf_destroy(grey);
    PixelBuf_destroy(target);
}

} // namespace
