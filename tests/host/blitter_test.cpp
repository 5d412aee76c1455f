// The screen blitter: the pixel conversion, rows of odd widths, the
// window's position and visible region, and redrawing without the
// engine's memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/blitrows.h"
#include "host/blitter.h"
#include "host/toolkit/toolkit.h"
#include "tests/host/gui_fixture.h"

TEST(BlitRows, PixelVectors)
{
    const struct {
        uint16_t pixel;
        uint8_t bytes[3];
    } cases[] = {
        {0xF800, {0x00, 0xF0, 0xFF}}, // red
        {0x001F, {0x3F, 0x00, 0xFC}}, // blue
        {0xFFFF, {0xFF, 0xFF, 0xFF}}, // white
        {0x07E0, {0xC0, 0x0F, 0xFC}}, // green
        {0x0000, {0x00, 0x00, 0xFC}}, // black, written
        {0x0821, {0x42, 0x20, 0xFC}}, // the lowest bit of each channel
    };
    for (const auto &c : cases) {
        // Each pixel alone and inside a run of four.
        for (int w : {1, 4, 5}) {
            std::vector<uint16_t> src(size_t(w), c.pixel);
            std::vector<uint8_t> dst(size_t(w) * 3, 0x55);
            Blit_rows565To18(reinterpret_cast<const uint8_t *>(src.data()), w * 2, dst.data(),
                             w * 3, w, 1);
            for (int x = 0; x < w; x++)
                for (int i = 0; i < 3; i++)
                    EXPECT_EQ(dst[size_t(x) * 3 + size_t(i)], c.bytes[i])
                        << "pixel " << std::hex << c.pixel << " width " << w << " x " << x
                        << " byte " << i;
        }
    }
}

TEST(BlitRows, OddWidthsReadEngineRowsAndWriteLineSteps)
{
    // Width 7: engine rows of 16 bytes (not 14), destination rows of 30.
    const int w = 7, h = 3, rowBytes = Blit_engineRowBytes(w), step = 30;
    ASSERT_EQ(rowBytes, 16);
    EXPECT_EQ(Blit_engineRowBytes(1), 4);
    EXPECT_EQ(Blit_engineRowBytes(480), 960);
    std::vector<uint8_t> src(size_t(rowBytes) * h, 0xAB); // padding that must not show
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint16_t p = uint16_t(y << 11 | x);
            memcpy(&src[size_t(y) * rowBytes + size_t(x) * 2], &p, 2);
        }
    std::vector<uint8_t> dst(size_t(step) * h, 0);
    Blit_rows565To18(src.data(), rowBytes, dst.data(), step, w, h);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint32_t v = Blit_pixel18(uint16_t(y << 11 | x));
            const uint8_t *d = &dst[size_t(y) * step + size_t(x) * 3];
            EXPECT_EQ(d[0], uint8_t(v)) << x << "," << y;
            EXPECT_EQ(d[1], uint8_t(v >> 8)) << x << "," << y;
            EXPECT_EQ(d[2], uint8_t(0xFC | v >> 16)) << x << "," << y;
        }
        // Past the block the destination row is untouched.
        for (int i = w * 3; i < step; i++)
            EXPECT_EQ(dst[size_t(y) * step + size_t(i)], 0) << "row " << y;
    }
}

namespace {

// A window at (0, 0) and the frame buffer cleared.
class Blitter : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ZFrameBuffer::clear();
        window.setGeometry(0, 0, ZFrameBuffer::width(), ZFrameBuffer::height());
        window.show();
        pumpEvents();
    }
    void TearDown() override
    {
        ZFrameBuffer::clear();
    }

    const uint8_t *frameAt(int x, int y) const
    {
        return ZFrameBuffer::bits() + size_t(y) * size_t(ZFrameBuffer::lineStep()) + size_t(x) * 3;
    }

    ZMainWidget window;
};

} // namespace

TEST_F(Blitter, ProbeFindsTheThreeBytePixels)
{
    DirectPainterBlitter blitter(&window, 7, 5);
    EXPECT_EQ(blitter.clipRect(), QRect(QPoint(0, 0), QPoint(-1, -1)));
    EXPECT_TRUE(blitter.probe());
    EXPECT_EQ(blitter.depthCode(), 3);
    EXPECT_EQ(blitter.lineStep(), ZFrameBuffer::width() * 3);
    EXPECT_EQ(blitter.clipRect(), QRect(0, 0, 7, 5));
    EXPECT_EQ(blitter.sourceRowBytes(), 16);
}

TEST_F(Blitter, AnOddWidthImageLandsBelowTheStripAtTheLineStep)
{
    const int w = 7, h = 5, rowBytes = Blit_engineRowBytes(w);
    DirectPainterBlitter blitter(&window, w, h);
    ASSERT_TRUE(blitter.probe());
    // The probe's clip is the content's size; the strip's rows come on top.
    blitter.setClipRect(QRect(0, 0, w + 2, h + 16));
    std::vector<uint8_t> pixels(size_t(rowBytes) * h, 0xFF);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint16_t p = uint16_t((x + 1) << 11 | (y + 1));
            memcpy(&pixels[size_t(y) * rowBytes + size_t(x) * 2], &p, 2);
        }
    // Rows 1 to 3, columns 2 to 5, in window coordinates.
    QRect rect(QPoint(2, 16 + 1), QPoint(5, 16 + 3));
    blitter.blit(reinterpret_cast<const short *>(pixels.data()), &rect);
    for (int y = 0; y < h + 16; y++)
        for (int x = 0; x < w + 2; x++) {
            const uint8_t *d = frameAt(x, y);
            bool inside = x >= 2 && x <= 5 && y >= 17 && y <= 19;
            if (!inside) {
                EXPECT_EQ(d[2], 0) << "written outside at " << x << "," << y;
                continue;
            }
            uint32_t v = Blit_pixel18(uint16_t((x + 1) << 11 | (y - 16 + 1)));
            EXPECT_EQ(d[0] | d[1] << 8 | (d[2] & 3) << 16, int(v)) << x << "," << y;
            EXPECT_EQ(d[2] & 0xFC, 0xFC);
        }
}

TEST_F(Blitter, TheWindowsPositionAndClipPlaceThePixels)
{
    window.setGeometry(10, 20, 100, 80);
    pumpEvents();
    DirectPainterBlitter blitter(&window, 100, 64);
    ASSERT_TRUE(blitter.probe());
    std::vector<uint16_t> pixels(100 * 64, 0xF800);
    QRect rect(QPoint(0, 16), QPoint(99, 16 + 63));
    // The clip keeps the top 40 rows of the window.
    blitter.setClipRect(QRect(0, 0, 100, 40));
    blitter.blit(reinterpret_cast<const short *>(pixels.data()), &rect);
    EXPECT_EQ(frameAt(10, 20 + 16)[2], 0xFF);
    EXPECT_EQ(frameAt(109, 20 + 39)[2], 0xFF);
    EXPECT_EQ(frameAt(9, 20 + 16)[2], 0);
    EXPECT_EQ(frameAt(10, 20 + 40)[2], 0); // below the clip
    EXPECT_EQ(frameAt(10, 20 + 15)[2], 0); // the strip
}

TEST_F(Blitter, ARectangleUnderAnotherWindowWritesNothing)
{
    DirectPainterBlitter blitter(&window, 64, 64);
    ASSERT_TRUE(blitter.probe());
    QWidget cover;
    cover.setWindowFlags(Qt::FramelessWindowHint);
    cover.setGeometry(0, 0, 64, 100);
    cover.show();
    pumpEvents();
    std::vector<uint16_t> pixels(64 * 64, 0xFFFF);
    QRect rect(QPoint(0, 16), QPoint(63, 79));
    blitter.blit(reinterpret_cast<const short *>(pixels.data()), &rect);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 64; x++)
            ASSERT_EQ(frameAt(x, y)[2], 0) << x << "," << y;
}

TEST_F(Blitter, RedrawShowsTheFrameBufferWithoutTheEnginesPixels)
{
    DirectPainterBlitter blitter(&window, 8, 4);
    ASSERT_TRUE(blitter.probe());
    blitter.setClipRect(QRect(0, 0, 8, 20));
    blitter.redraw(); // nothing blitted yet: nothing happens
    EXPECT_EQ(frameAt(0, 16)[2], 0);
    auto *pixels = new uint16_t[8 * 4];
    std::fill(pixels, pixels + 32, uint16_t(0x001F));
    QRect rect(QPoint(0, 16), QPoint(7, 19));
    blitter.blit(reinterpret_cast<const short *>(pixels), &rect);
    // The engine's memory goes (as when the engine stops); a redraw reads
    // only the frame buffer, which the sanitizer build checks.
    delete[] pixels;
    blitter.redraw();
    pumpEvents();
    EXPECT_EQ(frameAt(0, 16)[0], 0x3F);
    EXPECT_EQ(frameAt(7, 19)[2], 0xFC);
}
