// Resampling and orientation transforms: the scaler against an independent
// re-implementation of its integer rules (tests/fixtures/resample, made by
// make_resample_fixtures.py), its edge cases and errors, tiles and the
// four-column lanes; the seven transforms against PIL's transpose, in place
// and copying, and their errors; the pattern kernels.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/orient.h"
#include "graphics/pixelbuf.h"
#include "graphics/resample.h"
#include "tests/support/heap_fixture.h"

namespace {

class ResampleTest : public LeakCheckedHeapTest<16u << 20> {};

std::vector<uint8_t> bytesOf(const std::vector<uint32_t> &v, bool wide)
{
    std::vector<uint8_t> out;
    for (uint32_t x : v) {
        out.push_back(uint8_t(x));
        if (wide)
            out.push_back(uint8_t(x >> 8));
    }
    return out;
}

uint32_t pattern(int32_t x, int32_t y, bool wide)
{
    return wide ? uint32_t(x * 1237 + y * 4567 + x * y * 331) & 0xFFFF
                : uint32_t(x * 37 + y * 91 + x * y * 13) & 0xFF;
}

// Scales a packed picture; the result packed, or empty on failure (*err).
std::vector<uint32_t> scale(const std::vector<uint32_t> &src, int32_t sw, int32_t sh, int32_t dw,
                            int32_t dh, uint32_t fmt, int *err, int32_t tx = 0, int32_t ty = 0,
                            int32_t tw = -1, int32_t th = -1, int32_t pad = 0)
{
    bool wide = fmt == Pixel_format565;
    uint32_t bpp = wide ? 2 : 1;
    if (tw < 0)
        tw = dw, th = dh;
    std::vector<uint8_t> in = bytesOf(src, wide);
    ptrdiff_t stride = ptrdiff_t(tw) * bpp + pad;
    std::vector<uint8_t> out(size_t(stride) * size_t(th) + 8, 0xEE);
    *err = Image_resample(in.data(), sw, sh, ptrdiff_t(sw) * bpp, out.data() + pad, dw, dh, stride,
                          tw, th, tx, ty, fmt, fmt);
    std::vector<uint32_t> r;
    if (*err)
        return r;
    for (int32_t y = 0; y < th; y++)
        for (int32_t x = 0; x < tw; x++) {
            const uint8_t *p = out.data() + pad + y * stride + x * bpp;
            r.push_back(wide ? uint32_t(p[0] | p[1] << 8) : p[0]);
        }
    return r;
}

std::vector<uint32_t> picture(int32_t w, int32_t h, bool wide)
{
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            v.push_back(pattern(x, y, wide));
    return v;
}

std::string fixture(const char *name)
{
    std::ifstream f(std::string(VEXLAN_FIXTURES) + "/resample/" + name);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST_F(ResampleTest, MatchesTheReferenceExactlyForBothFormats)
{
    std::istringstream in(fixture("resample_expected.txt"));
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream head(line);
        int32_t fmt, sw, sh, dw, dh, tx, ty, tw, th;
        head >> fmt >> sw >> sh >> dw >> dh >> tx >> ty >> tw >> th;
        std::vector<uint32_t> expected;
        for (int32_t y = 0; y < th; y++) {
            std::getline(in, line);
            std::istringstream row(line);
            uint32_t v;
            while (row >> v)
                expected.push_back(v);
        }
        int err = -1;
        std::vector<uint32_t> got =
            scale(picture(sw, sh, fmt == 4), sw, sh, dw, dh, uint32_t(fmt), &err, tx, ty, tw, th);
        EXPECT_EQ(err, 0);
        EXPECT_EQ(got, expected) << "format " << fmt << " " << sw << "x" << sh << " to " << dw
                                 << "x" << dh << " tile " << tx << "," << ty;
        cases++;
    }
    EXPECT_EQ(cases, 10);
}

TEST_F(ResampleTest, EdgeCasesOfTheKernel)
{
    int err = -1;
    // Edges replicate; the inner pixels take k(0.25) = 27 and k(0.75) = 5.
    EXPECT_EQ(scale({0, 255, 0, 255}, 2, 2, 4, 2, Pixel_formatGrey8, &err),
              (std::vector<uint32_t>{0, 39, 215, 255, 0, 39, 215, 255}));
    // An integer factor puts the exact source values where centres meet.
    std::vector<uint32_t> src = picture(3, 3, false);
    std::vector<uint32_t> big = scale(src, 3, 3, 9, 9, Pixel_formatGrey8, &err);
    ASSERT_EQ(err, 0);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 0; x < 3; x++)
            EXPECT_EQ(big[size_t(3 * y + 1) * 9 + size_t(3 * x + 1)], src[size_t(3 * y + x)]);
    // Four equal pixels reduce to their value; white 5-6-5 stays white
    // whatever the dither offset.
    EXPECT_EQ(scale({77, 77, 77, 77}, 2, 2, 1, 1, Pixel_formatGrey8, &err),
              std::vector<uint32_t>{77});
    std::vector<uint32_t> white(40 * 40, 0xFFFF);
    EXPECT_EQ(scale(white, 40, 40, 13, 7, Pixel_format565, &err),
              std::vector<uint32_t>(13 * 7, 0xFFFF));
    EXPECT_EQ(scale(white, 40, 40, 77, 41, Pixel_format565, &err),
              std::vector<uint32_t>(77 * 41, 0xFFFF));
}

TEST_F(ResampleTest, RefusesWhatItCannotScaleAndWritesNothing)
{
    struct Case {
        int32_t sw, sh, dw, dh;
        uint32_t sf, df;
        int result;
    } cases[] = {
        {1, 5, 4, 10, 0, 0, Resample_badSize}, // a 1-pixel side
        {5, 1, 10, 4, 0, 0, Resample_badSize},
        {3, 3, 6, 2, 0, 0, Resample_badSize}, // one side grows, the other shrinks
        {3, 3, 2, 6, 4, 4, Resample_badSize},
        {3, 3, 6, 6, 0, 4, Resample_badFormat}, // formats differ
        {3, 3, 6, 6, 6, 6, Resample_badFormat}, // not 0 or 4
    };
    std::vector<uint8_t> src(64, 9), dst(256, 0xEE);
    for (const Case &c : cases) {
        EXPECT_EQ(Image_resample(src.data(), c.sw, c.sh, 16, dst.data(), c.dw, c.dh, 32, c.dw, c.dh,
                                 0, 0, c.sf, c.df),
                  c.result)
            << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh;
    }
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.end()), std::vector<uint8_t>(256, 0xEE));
    // A tile outside the scaled picture.
    EXPECT_EQ(Image_resample(src.data(), 4, 4, 4, dst.data(), 8, 8, 8, 4, 4, 6, 0, 0, 0),
              Resample_badSize);
}

// The same picture scaled in one piece or in tiles gives the same pixels,
// and the word-lane column pass (aligned rows) equals the pixel-by-pixel one
// (rows shifted by a byte).
TEST_F(ResampleTest, TilesAndLanesGiveTheSamePixels)
{
    struct Case {
        int32_t sw, sh, dw, dh;
        uint32_t fmt;
    } cases[] = {
        {23, 17, 61, 45, 0}, {61, 45, 23, 17, 0}, {23, 17, 61, 45, 4}, {61, 45, 23, 17, 4}};
    for (const Case &c : cases) {
        bool wide = c.fmt == Pixel_format565;
        std::vector<uint32_t> src = picture(c.sw, c.sh, wide);
        int err = -1;
        std::vector<uint32_t> whole = scale(src, c.sw, c.sh, c.dw, c.dh, c.fmt, &err);
        ASSERT_EQ(err, 0);
        std::vector<uint32_t> unaligned =
            scale(src, c.sw, c.sh, c.dw, c.dh, c.fmt, &err, 0, 0, c.dw, c.dh, 1);
        EXPECT_EQ(unaligned, whole);
        std::vector<uint32_t> tiled(whole.size(), 0);
        for (int32_t ty = 0; ty < c.dh; ty += 7)
            for (int32_t tx = 0; tx < c.dw; tx += 9) {
                int32_t tw = std::min(9, c.dw - tx), th = std::min(7, c.dh - ty);
                std::vector<uint32_t> t =
                    scale(src, c.sw, c.sh, c.dw, c.dh, c.fmt, &err, tx, ty, tw, th);
                ASSERT_EQ(err, 0);
                for (int32_t y = 0; y < th; y++)
                    for (int32_t x = 0; x < tw; x++)
                        tiled[size_t(ty + y) * size_t(c.dw) + size_t(tx + x)] =
                            t[size_t(y * tw + x)];
            }
        EXPECT_EQ(tiled, whole) << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh;
    }
}

TEST_F(ResampleTest, TapStreamsCarryTheirSteps)
{
    uint8_t s[8];
    int32_t used = 0;
    EXPECT_EQ(Resample_enlargeTaps(s, 2, 4, 0, 4, &used), 0);
    EXPECT_EQ(used, 2);
    EXPECT_EQ(s[0], 32);
    EXPECT_EQ(s[1], 27);
    EXPECT_EQ(s[2], 5 | 0x80); // then the next source pixel
    EXPECT_EQ(s[3] & 63, 0);   // beyond the last centre
    // Reduce 4 to 1: one group over every pixel adding up to 32, last tap
    // marked.
    uint8_t r[32];
    int32_t taps = 0;
    EXPECT_EQ(Resample_reduceTaps(r, 4, 1, 0, 1, &taps, &used), 0);
    EXPECT_EQ(used, 4);
    int sum = 0;
    for (int32_t i = 0; i < taps; i++)
        sum += r[i] & 63;
    EXPECT_EQ(sum, 32);
    EXPECT_EQ(r[taps - 1] & 0x80, 0x80);
}

TEST_F(ResampleTest, PatternKernelsRepeatAndMirror)
{
    const uint8_t src[2][3] = {{1, 2, 3}, {4, 5, 6}};
    uint8_t out[2][7];
    // One pixel per step along u, rows of v one source row apart; the
    // destination is written from its last row up.
    Pattern_repeat8(&src[0][0], &out[0][0], 2, 7, 0, 0, 3, 2, 0x10000, 0, 3, 0, 0x10000);
    EXPECT_EQ(std::vector<uint8_t>(out[1], out[1] + 7),
              (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(std::vector<uint8_t>(out[0], out[0] + 7),
              (std::vector<uint8_t>{4, 5, 6, 4, 5, 6, 4}));
    Pattern_mirror8(&src[0][0], &out[0][0], 2, 7, 0, 0, 3, 2, 0x10000, 0, 3, 0, 0x10000);
    EXPECT_EQ(std::vector<uint8_t>(out[1], out[1] + 7),
              (std::vector<uint8_t>{1, 2, 3, 3, 2, 1, 1}));
    // Negative steps wrap too; 16-bit pixels.
    const uint16_t wide[3] = {10, 20, 30};
    uint16_t w[5];
    Pattern_repeat16(reinterpret_cast<const uint8_t *>(wide), reinterpret_cast<uint8_t *>(w), 1, 5,
                     0, 0, 3, 1, -0x10000, 0, 6, 0, 0);
    EXPECT_EQ(std::vector<uint16_t>(w, w + 5), (std::vector<uint16_t>{10, 30, 20, 10, 30}));
}

// -------------------------------------------------------- orientations

class OrientTest : public LeakCheckedHeapTest<> {
  protected:
    PixelBuf *make(int32_t w, int32_t h, uint32_t fmt)
    {
        PixelBuf *b = nullptr;
        EXPECT_EQ(PixelBuf_create(&b, w, h, fmt, 0x10000), Res_ok);
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                uint32_t v = uint32_t(x * 17 + y * 83 + 1) & 255;
                uint8_t *p =
                    b->pixels + size_t(y) * b->stride + size_t(x) * Pixel_bytesPerPixel(fmt);
                if (fmt == Pixel_formatGrey8)
                    *p = uint8_t(v);
                else
                    std::memcpy(p, &v, Pixel_bytesPerPixel(fmt));
            }
        return b;
    }
    static std::vector<uint32_t> values(const PixelBuf *b)
    {
        std::vector<uint32_t> v;
        uint32_t bpp = Pixel_bytesPerPixel(b->format);
        for (int32_t y = 0; y < b->height; y++)
            for (int32_t x = 0; x < b->width; x++) {
                uint32_t p = 0;
                std::memcpy(&p, b->pixels + size_t(y) * b->stride + size_t(x) * bpp, bpp);
                v.push_back(p);
            }
        return v;
    }
};

TEST_F(OrientTest, EveryTransformMatchesPilTranspose)
{
    std::istringstream in(fixture("orient_expected.txt"));
    std::string line;
    int seen = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream row(line);
        uint32_t code;
        int32_t w, h;
        row >> code >> w >> h;
        std::vector<uint32_t> expected;
        uint32_t v;
        while (row >> v)
            expected.push_back(v);
        int known = 0;
        OrientFn fn = Orient_routine(code, &known);
        ASSERT_TRUE(known && fn) << code;
        for (uint32_t fmt : {uint32_t(Pixel_formatGrey8), uint32_t(Pixel_format565)}) {
            PixelBuf *src = make(5, 3, fmt);
            std::vector<uint32_t> before = values(src);
            PixelBuf *out = nullptr;
            ASSERT_EQ(fn(src, &out), Res_ok) << code;
            EXPECT_EQ(out->width, w);
            EXPECT_EQ(out->height, h);
            EXPECT_EQ(out->format, fmt);
            EXPECT_EQ(values(out), expected) << code << " format " << fmt;
            EXPECT_EQ(values(src), before) << "the source is left as it was";
            PixelBuf_destroy(out);
            if (Orient_keepsSize(code)) {
                ASSERT_EQ(fn(src, nullptr), Res_ok);
                EXPECT_EQ(values(src), expected) << code << " in place";
            }
            PixelBuf_destroy(src);
        }
        seen++;
    }
    EXPECT_EQ(seen, 7);
    int known = 1;
    EXPECT_EQ(Orient_routine(Orient_identity, &known), nullptr);
    EXPECT_EQ(known, 1);
    EXPECT_EQ(Orient_routine(0x55, &known), nullptr);
    EXPECT_EQ(known, 0);
}

TEST_F(OrientTest, InPlaceHalfTurnOfAnOddHeightAndTurningBack)
{
    PixelBuf *src = make(4, 5, Pixel_format565);
    std::vector<uint32_t> start = values(src);
    ASSERT_EQ(PixelBuf_rotate180(src, nullptr), Res_ok);
    std::vector<uint32_t> turned = values(src);
    for (size_t i = 0; i < start.size(); i++)
        EXPECT_EQ(turned[i], start[start.size() - 1 - i]);
    PixelBuf *a = nullptr, *b = nullptr;
    ASSERT_EQ(PixelBuf_rotateAnticlockwise(src, &a), Res_ok);
    ASSERT_EQ(PixelBuf_rotateClockwise(a, &b), Res_ok);
    EXPECT_EQ(values(b), turned);
    PixelBuf_destroy(a);
    PixelBuf_destroy(b);
    PixelBuf_destroy(src);
}

TEST_F(OrientTest, FourBytePixelsOnlyFlipVertically)
{
    PixelBuf *src = make(3, 2, Pixel_formatRGBA);
    for (OrientFn fn : {PixelBuf_flipHorizontal, PixelBuf_rotate180, PixelBuf_rotateClockwise,
                        PixelBuf_rotateAnticlockwise, PixelBuf_transpose, PixelBuf_antiTranspose}) {
        PixelBuf *out = reinterpret_cast<PixelBuf *>(1);
        EXPECT_EQ(fn(src, &out), Orient_badPixelSize);
        EXPECT_EQ(out, nullptr);
    }
    std::vector<uint32_t> v = values(src);
    ASSERT_EQ(PixelBuf_flipVertical(src, nullptr), Res_ok);
    EXPECT_EQ(values(src), (std::vector<uint32_t>{v[3], v[4], v[5], v[0], v[1], v[2]}));
    PixelBuf_destroy(src);
}

TEST_F(OrientTest, OutOfMemoryLeavesTheSourceAndStoresNothing)
{
    PixelBuf *src = make(6, 4, Pixel_format565);
    std::vector<uint32_t> v = values(src);
    for (OrientFn fn : {PixelBuf_flipVertical, PixelBuf_rotateClockwise, PixelBuf_transpose}) {
        PixelBuf *out = nullptr;
        Mem_failAfter(1);
        EXPECT_EQ(fn(src, &out), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(out, nullptr);
    }
    Mem_failAfter(1);
    EXPECT_EQ(PixelBuf_flipVertical(src, nullptr), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(values(src), v);
    PixelBuf_destroy(src);
}

} // namespace
