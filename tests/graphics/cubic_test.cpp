// Smooth reduction with the cubic B-spline: weights, refused sizes and
// formats, and results against ImageMagick's spline resize of the same
// pictures (tests/fixtures/cubic/make_cubic_fixtures.py made them).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/cubic.h"
#include "graphics/pixelbuf.h"
#include "graphics/resample.h"
#include "tests/support/heap_fixture.h"

namespace {

struct Pnm {
    int32_t width = 0, height = 0, channels = 0;
    std::vector<uint8_t> data;
};

Pnm readPnm(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/cubic/" + name, std::ios::binary);
    Pnm p;
    std::string magic;
    int maxval = 0;
    in >> magic >> p.width >> p.height >> maxval;
    in.get();
    p.channels = magic == "P5" ? 1 : 3;
    p.data.resize(size_t(p.width) * size_t(p.height) * size_t(p.channels));
    in.read(reinterpret_cast<char *>(p.data.data()), std::streamsize(p.data.size()));
    EXPECT_TRUE(in.good()) << name;
    return p;
}

class CubicTest : public LeakCheckedHeapTest<(16u << 20)> {
  protected:
    std::vector<PixelBuf *> made;
    void TearDown() override
    {
        for (PixelBuf *b : made)
            PixelBuf_destroy(b);
        LeakCheckedHeapTest<(16u << 20)>::TearDown();
    }
    PixelBuf *make(int32_t w, int32_t h, uint32_t format)
    {
        PixelBuf *b = nullptr;
        EXPECT_EQ(PixelBuf_create(&b, w, h, format, 0x10000), Res_ok);
        if (b) {
            std::memset(b->pixels, 0, size_t(b->stride) * size_t(h));
            made.push_back(b);
        }
        return b;
    }
    // The picture in format 0 (grey) or 6 (colour, the fourth byte 0).
    PixelBuf *load(const Pnm &p)
    {
        PixelBuf *b =
            make(p.width, p.height, p.channels == 1 ? Pixel_formatGrey8 : Pixel_formatRGBA);
        for (int32_t y = 0; y < p.height; y++)
            for (int32_t x = 0; x < p.width; x++)
                for (int32_t c = 0; c < p.channels; c++)
                    b->pixels[size_t(y) * b->stride + size_t(x) * (p.channels == 1 ? 1 : 4) +
                              size_t(c)] =
                        p.data[(size_t(y) * size_t(p.width) + size_t(x)) * size_t(p.channels) +
                               size_t(c)];
        return b;
    }
};

TEST_F(CubicTest, WeightsAddUpAndFollowTheSpline)
{
    int32_t w[4];
    Image_cubicWeights(0, w);
    // At a pixel: 1/6, 4/6, 1/6 of 1024.
    EXPECT_EQ(w[0], 171);
    EXPECT_EQ(w[1], 683);
    EXPECT_EQ(w[2], 170);
    EXPECT_EQ(w[3], 0);
    Image_cubicWeights(1u << 29, w); // halfway: symmetric
    EXPECT_EQ(w[0], w[3]);
    EXPECT_EQ(w[1], w[2]);
    EXPECT_EQ(w[0], 21); // 1/48 of 1024
    for (uint32_t t = 0; t < (1u << 30); t += 12345679) {
        Image_cubicWeights(t, w);
        EXPECT_EQ(w[0] + w[1] + w[2] + w[3], 1024);
        for (int k = 0; k < 4; k++)
            EXPECT_GE(w[k], 0);
    }
}

TEST_F(CubicTest, TapsAddUpToOneAndStayInside)
{
    for (auto [s, d] : {std::pair{64, 20}, {5, 5}, {1000, 3}, {7, 1}, {4, 9}}) {
        CubicTaps t{};
        ASSERT_EQ(Image_cubicTaps(s, d, &t), Res_ok);
        for (int32_t i = 0; i < d; i++) {
            EXPECT_GE(t.first[i], 0);
            EXPECT_LE(t.first[i] + t.count[i], s);
            int32_t sum = 0;
            for (int32_t k = 0; k < t.count[i]; k++)
                sum += t.weights[t.offset[i] + k];
            EXPECT_EQ(sum, 1024) << s << " " << d << " " << i;
        }
        CubicTaps_free(&t);
    }
    CubicTaps t{};
    Mem_failAfter(2);
    EXPECT_EQ(Image_cubicTaps(64, 20, &t), Res_noMemory);
    Mem_failAfter(0);
}

TEST_F(CubicTest, RefusedSizesAndFormats)
{
    PixelBuf *narrow = make(3, 10, Pixel_formatGrey8);
    PixelBuf *low = make(10, 3, Pixel_formatGrey8);
    PixelBuf *out = make(2, 2, Pixel_formatGrey8);
    EXPECT_EQ(Image_reduceSmooth(narrow, out), Resample_badSize);
    EXPECT_EQ(Image_reduceSmooth(low, out), Resample_badSize);
    PixelBuf *src = make(8, 8, Pixel_formatGrey8);
    PixelBuf *larger = make(9, 4, Pixel_formatGrey8);
    EXPECT_EQ(Image_reduceSmooth(src, larger), Resample_badSize); // growing is not reducing
    PixelBuf *s565 = make(8, 8, Pixel_format565);
    PixelBuf *d565 = make(4, 4, Pixel_format565);
    EXPECT_EQ(Image_resampleCubic(s565, d565), Resample_badFormat);
    PixelBuf *rgba = make(4, 4, Pixel_formatRGBA);
    EXPECT_EQ(Image_resampleCubic(src, rgba), Resample_badFormat);
    // A constant picture stays constant.
    std::memset(src->pixels, 77, size_t(src->stride) * 8);
    PixelBuf *half = make(3, 5, Pixel_formatGrey8);
    ASSERT_EQ(Image_reduceSmooth(src, half), Res_ok);
    for (int32_t y = 0; y < 5; y++)
        for (int32_t x = 0; x < 3; x++)
            EXPECT_EQ(half->pixels[size_t(y) * half->stride + size_t(x)], 77);
    // Out of memory leaves the destination as it was.
    std::memset(half->pixels, 5, size_t(half->stride) * 5);
    for (uint64_t n = 1; n <= 6; n++) {
        Mem_failAfter(n);
        int r = Image_reduceSmooth(src, half);
        Mem_failAfter(0);
        if (r == Res_ok)
            break;
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(half->pixels[0], 5);
    }
}

TEST_F(CubicTest, MatchesTheReferenceSplineResize)
{
    struct {
        const char *source, *reduced;
    } cases[] = {
        {"grey.pgm", "grey_20x15.pgm"},   {"grey.pgm", "grey_64x24.pgm"},
        {"grey.pgm", "grey_13x11.pgm"},   {"colour.ppm", "colour_25x20.ppm"},
        {"colour.ppm", "colour_7x9.ppm"},
    };
    for (auto &c : cases) {
        Pnm src = readPnm(c.source), ref = readPnm(c.reduced);
        PixelBuf *in = load(src);
        PixelBuf *out = make(ref.width, ref.height, in->format);
        ASSERT_EQ(Image_reduceSmooth(in, out), Res_ok) << c.reduced;
        int worst = 0;
        uint32_t bpp = Pixel_bytesPerPixel(out->format);
        for (int32_t y = 0; y < ref.height; y++)
            for (int32_t x = 0; x < ref.width; x++)
                for (int32_t ch = 0; ch < ref.channels; ch++) {
                    int got = out->pixels[size_t(y) * out->stride + size_t(x) * bpp + size_t(ch)];
                    int want = ref.data[(size_t(y) * size_t(ref.width) + size_t(x)) *
                                            size_t(ref.channels) +
                                        size_t(ch)];
                    worst = std::max(worst, std::abs(got - want));
                }
        EXPECT_LE(worst, 2) << c.reduced;
        if (bpp == 4) { // the fourth byte is filtered as a channel of its own
            EXPECT_EQ(out->pixels[3], 0);
        }
    }
}

TEST_F(CubicTest, DrawScaledLadder)
{
    PixelBuf *src = make(16, 16, Pixel_formatGrey8);
    for (int32_t y = 0; y < 16; y++)
        for (int32_t x = 0; x < 16; x++)
            src->pixels[size_t(y) * src->stride + size_t(x)] = uint8_t((x + y) & 1 ? 200 : 0);
    // Smooth reduction of a checkerboard averages it; the plain drawing
    // picks pixels.
    PixelBuf *smooth = make(8, 8, Pixel_formatGrey8);
    PixelBuf *plain = make(8, 8, Pixel_formatGrey8);
    ASSERT_EQ(Image_drawScaled(nullptr, smooth, src, 4, 4, 2, 2, 2), Res_ok);
    ASSERT_EQ(Image_drawScaled(nullptr, plain, src, 4, 4, 2, 2, 0), Res_ok);
    EXPECT_NEAR(smooth->pixels[3 * smooth->stride + 3], 100, 3);
    uint8_t p = plain->pixels[3 * plain->stride + 3];
    EXPECT_TRUE(p == 0 || p == 200);
    EXPECT_EQ(smooth->pixels[0], 0); // outside the drawn area
    // A picture too small for the smooth reduction still draws.
    PixelBuf *tiny = make(3, 3, Pixel_formatGrey8);
    std::memset(tiny->pixels, 90, size_t(tiny->stride) * 3);
    PixelBuf *target = make(4, 4, Pixel_formatGrey8);
    ASSERT_EQ(Image_drawScaled(nullptr, target, tiny, 2, 2, 0, 0, 2), Res_ok);
    EXPECT_EQ(target->pixels[0], 90);
    EXPECT_EQ(Image_drawScaled(nullptr, target, nullptr, 2, 2, 0, 0, 2), Res_nullInput);
}

} // namespace

namespace {

// The rounding written out channel by channel on a copy.
std::vector<uint16_t> halveReference(const std::vector<uint16_t> &in, int32_t pitch, int32_t w,
                                     int32_t h)
{
    std::vector<uint16_t> out = in;
    for (int32_t y = 0; y < h / 2; y++)
        for (int32_t x = 0; x < w / 2; x++) {
            int shifts[3] = {11, 5, 0}, masks[3] = {31, 63, 31};
            uint16_t v = 0;
            for (int c = 0; c < 3; c++) {
                int sum = 0;
                for (int dy = 0; dy < 2; dy++)
                    for (int dx = 0; dx < 2; dx++)
                        sum += (in[size_t(2 * y + dy) * size_t(pitch) + size_t(2 * x + dx)] >>
                                shifts[c]) &
                               masks[c];
                v = uint16_t(v | (((sum + 2) / 4) << shifts[c]));
            }
            out[size_t(y) * size_t(pitch) + size_t(x)] = v;
        }
    return out;
}

TEST(HalveRgb565Test, MatchesTheRoundingOnRandomPictures)
{
    uint32_t seed = 86;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (auto [w, h, pitch] :
         {std::tuple{8, 6, 8}, {7, 5, 9}, {2, 2, 2}, {33, 17, 40}, {1, 4, 1}}) {
        std::vector<uint16_t> pic(size_t(pitch) * size_t(h));
        for (auto &v : pic)
            v = uint16_t(next());
        std::vector<uint16_t> want = halveReference(pic, pitch, w, h);
        Pixel_halveRgb565(pic.data(), pitch, w, h);
        EXPECT_EQ(pic, want) << w << "x" << h;
    }
    // White stays white, and 1 + 2 + 2 + 2 rounds up to 2.
    std::vector<uint16_t> white(4, 0xFFFF);
    Pixel_halveRgb565(white.data(), 2, 2, 2);
    EXPECT_EQ(white[0], 0xFFFF);
    std::vector<uint16_t> blue = {1, 2, 2, 2};
    Pixel_halveRgb565(blue.data(), 2, 2, 2);
    EXPECT_EQ(blue[0], 2);
    Pixel_halveRgb565(nullptr, 2, 2, 2);
}

} // namespace
