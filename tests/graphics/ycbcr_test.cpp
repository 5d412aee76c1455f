// RGB565 to planar YCbCr 4:2:0: pure colours, the plane layout of 1 x 1
// and 3 x 3 frames (odd sizes repeat the last column and row), a stride
// wider than the frame, and random frames against a real-valued model of
// the same video-range conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "graphics/ycbcr.h"

namespace {

struct Planes {
    size_t w, h;
    std::vector<uint8_t> bytes;
    Planes(int32_t width, int32_t height)
        : w((size_t(width) + 1) & ~size_t(1)), h((size_t(height) + 1) & ~size_t(1)),
          bytes(w * h * 3 / 2 + 4, 0xEE)
    {
    }
    uint8_t y(size_t x, size_t row) const
    {
        return bytes[row * w + x];
    }
    uint8_t cb(size_t x, size_t row) const
    {
        return bytes[w * h + row * (w / 2) + x];
    }
    uint8_t cr(size_t x, size_t row) const
    {
        return bytes[w * h + w * h / 4 + row * (w / 2) + x];
    }
};

TEST(YCbCr420, PureColours)
{
    struct Case {
        uint16_t pixel;
        uint8_t y, cb, cr;
    } cases[] = {
        {0xFFFF, 230, 127, 127}, // white
        {0x0000, 16, 128, 128},  // black
        {0xF800, 79, 92, 234},   // red
    };
    for (const Case &c : cases) {
        const uint16_t frame[4] = {c.pixel, c.pixel, c.pixel, c.pixel};
        Planes p(2, 2);
        Pixel565_toYCbCr420(frame, p.bytes.data(), 4, 2, 2);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(p.bytes[size_t(i)], c.y) << std::hex << c.pixel;
        EXPECT_EQ(p.cb(0, 0), c.cb) << std::hex << c.pixel;
        EXPECT_EQ(p.cr(0, 0), c.cr) << std::hex << c.pixel;
        EXPECT_EQ(p.bytes[6], 0xEE); // nothing past the planes
    }
}

TEST(YCbCr420, OddSizesRepeatTheLastColumnAndRow)
{
    // 1 x 1: a 2 x 2 Y plane of the pixel's Y, one Cb and one Cr.
    const uint16_t red = 0xF800;
    Planes one(1, 1);
    Pixel565_toYCbCr420(&red, one.bytes.data(), 4, 1, 1);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(one.bytes[size_t(i)], 79);
    EXPECT_EQ(one.bytes[4], 92);
    EXPECT_EQ(one.bytes[5], 234);
    EXPECT_EQ(one.bytes[6], 0xEE);

    // 3 x 3, rows 4 pixels apart (the even width x 2 bytes): a 4 x 4 Y
    // plane whose fourth column repeats the third and whose fourth row
    // repeats the third; the right and bottom blocks' chroma from the
    // repeated pixels.
    const uint16_t k = 0x0000, w = 0xFFFF, r = 0xF800;
    const uint16_t frame[3 * 4] = {k, w, r, 0x1234, w, k, w, 0x1234, r, r, k, 0x1234};
    Planes p(3, 3);
    Pixel565_toYCbCr420(frame, p.bytes.data(), 8, 3, 3);
    const uint8_t wantY[4][4] = {
        {16, 230, 79, 79}, {230, 16, 230, 230}, {79, 79, 16, 16}, {79, 79, 16, 16}};
    for (size_t row = 0; row < 4; row++)
        for (size_t x = 0; x < 4; x++)
            EXPECT_EQ(p.y(x, row), wantY[row][x]) << x << "," << row;
    // The block of the right column pair: red, red (top), white, white.
    Planes half(2, 2);
    const uint16_t block[4] = {r, r, w, w};
    Pixel565_toYCbCr420(block, half.bytes.data(), 4, 2, 2);
    EXPECT_EQ(p.cb(1, 0), half.cb(0, 0));
    EXPECT_EQ(p.cr(1, 0), half.cr(0, 0));
    // The bottom-right block: one black pixel four times.
    EXPECT_EQ(p.cb(1, 1), 128);
    EXPECT_EQ(p.cr(1, 1), 128);
    EXPECT_EQ(p.bytes[16 + 4 + 4], 0xEE);
}

// The video-range model in real numbers: each component scaled to 8 bits
// (r5 x 8, g6 x 4), then by 219 / 256 and raised by 16; chroma from the
// block's mean. The table rounds each scaled component down and the sum
// to nearest, so it stays within one and a half levels of it.
TEST(YCbCr420, RandomFramesFollowTheVideoRangeModel)
{
    std::mt19937 rng(160);
    for (int32_t width : {2, 5, 16}) {
        for (int32_t height : {1, 4, 7}) {
            SCOPED_TRACE(::testing::Message() << width << "x" << height);
            const uint32_t strideWords = uint32_t(width) + 3;
            std::vector<uint16_t> frame(size_t(strideWords) * height);
            for (uint16_t &px : frame)
                px = uint16_t(rng());
            Planes p(width, height);
            Pixel565_toYCbCr420(frame.data(), p.bytes.data(), strideWords * 2, width, height);
            auto at = [&](int32_t x, int32_t y) {
                return frame[size_t(std::min(y, height - 1)) * strideWords +
                             size_t(std::min(x, width - 1))];
            };
            auto comps = [](uint16_t px, double *r, double *g, double *b) {
                *r += (px >> 11) * 8.0;
                *g += ((px >> 5) & 63) * 4.0;
                *b += (px & 31) * 8.0;
            };
            auto scaled = [](double v) { return 16 + v * 219 / 256; };
            for (size_t y = 0; y < p.h; y++)
                for (size_t x = 0; x < p.w; x++) {
                    double r = 0, g = 0, b = 0;
                    comps(at(int32_t(x), int32_t(y)), &r, &g, &b);
                    double want = 0.299 * scaled(r) + 0.587 * scaled(g) + 0.114 * scaled(b);
                    ASSERT_LE(std::fabs(p.y(x, y) - want), 1.5) << x << "," << y;
                }
            for (size_t y = 0; y < p.h / 2; y++)
                for (size_t x = 0; x < p.w / 2; x++) {
                    double r = 0, g = 0, b = 0;
                    for (int dy = 0; dy < 2; dy++)
                        for (int dx = 0; dx < 2; dx++)
                            comps(at(int32_t(2 * x) + dx, int32_t(2 * y) + dy), &r, &g, &b);
                    double R = scaled(r / 4), G = scaled(g / 4), B = scaled(b / 4);
                    double cb = 128 - 0.16874 * R - 0.33126 * G + 0.5 * B;
                    double cr = 128 + 0.5 * R - 0.41869 * G - 0.08131 * B;
                    ASSERT_LE(std::fabs(p.cb(x, y) - cb), 1.5) << x << "," << y;
                    ASSERT_LE(std::fabs(p.cr(x, y) - cr), 1.5) << x << "," << y;
                }
        }
    }
    // Nothing is written for an empty frame.
    Planes p(2, 2);
    const uint16_t px = 0;
    Pixel565_toYCbCr420(&px, p.bytes.data(), 4, 0, 2);
    Pixel565_toYCbCr420(&px, p.bytes.data(), 4, 2, -1);
    Pixel565_toYCbCr420(nullptr, p.bytes.data(), 4, 2, 2);
    for (uint8_t v : p.bytes)
        EXPECT_EQ(v, 0xEE);
}

} // namespace
