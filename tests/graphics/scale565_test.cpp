// The dithered 5-6-5 scalers against a direct transcription of their
// stepping (the error term per column and row from the start, whole steps
// plus remainder for the down form) and of the dither step on picked
// pixels; the dither never moves a channel by more than one step; windows
// past the scaled picture, empty windows, and the shared dither table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "graphics/gradient.h"
#include "graphics/scale565.h"

namespace {

// The source index of scaled position j, stepped from position 0.
int64_t stepUp(int64_t s, int64_t d, int64_t j)
{
    int64_t e = 2 * (d - 1), pos = 0;
    for (int64_t k = 0; k < j; k++) {
        e -= 2 * s;
        while (e < 0) {
            pos++;
            e += 2 * d;
        }
    }
    return std::min(pos, s - 1);
}

int64_t stepDown(int64_t s, int64_t d, int64_t j)
{
    int64_t q = s / d, r = s % d, e = 2 * (d - 1), pos = 0;
    for (int64_t k = 0; k < j; k++) {
        pos += q;
        e -= 2 * r;
        if (e < 0) {
            pos++;
            e += 2 * d;
        }
    }
    return std::min(pos, s - 1);
}

// The pixel widened, times 16, plus the dither word, saturated per
// channel, shifted down by 4 and packed.
uint16_t dither(uint16_t p, uint32_t word)
{
    uint32_t v = ((uint32_t(p) | uint32_t(p) << 16) & 0x07E0F81Fu) * 16 + word;
    uint32_t b = (v & (1u << 9)) ? 31 : (v >> 4) & 31;
    uint32_t r = (v & (1u << 20)) ? 31 : (v >> 15) & 31;
    uint32_t g = (v & (1u << 31)) ? 63 : (v >> 25) & 63;
    return uint16_t(r << 11 | g << 5 | b);
}

struct Picture {
    int32_t w, h;
    uint32_t stride; // bytes
    std::vector<uint16_t> px;
    Picture(int32_t width, int32_t height, int32_t padding)
        : w(width), h(height), stride(uint32_t(width + padding) * 2),
          px(size_t(width + padding) * height, 0xBEEF)
    {
    }
    uint16_t &at(int32_t x, int32_t y)
    {
        return px[size_t(y) * (stride / 2) + x];
    }
};

TEST(Scale565, PicksAndDithersAsTheSteppingSays)
{
    struct Case {
        int32_t sw, sh, dw, dh, startX, startY, width, height;
        bool up;
    } cases[] = {
        {3, 2, 7, 5, 0, 0, 7, 5, true},     {4, 4, 8, 8, 2, 3, 5, 4, true},
        {5, 5, 5, 5, 0, 0, 5, 5, true},     {1, 1, 4, 3, 0, 0, 4, 3, true},
        {6, 3, 40, 35, 31, 29, 9, 6, true}, {3, 3, 7, 7, 5, 5, 6, 6, true}, // past the end
        {9, 7, 4, 3, 0, 0, 4, 3, false},    {16, 5, 5, 2, 1, 0, 4, 2, false},
        {7, 11, 3, 4, 0, 1, 3, 3, false},   {5, 5, 5, 5, 0, 0, 5, 5, false},
        {40, 37, 3, 2, 1, 1, 5, 4, false},  {9, 4, 13, 2, 0, 0, 13, 2, true},
    };
    const uint32_t *table = Scaler_packedTable();
    std::mt19937 rng(55);
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh << " window "
                     << c.startX << "," << c.startY << " " << c.width << "x" << c.height
                     << (c.up ? " up" : " down"));
        Picture src(c.sw, c.sh, 3), dst(c.width, c.height, 2);
        for (int32_t y = 0; y < c.sh; y++)
            for (int32_t x = 0; x < c.sw; x++)
                src.at(x, y) = (x + y) % 5 == 0 ? 0xFFFF : uint16_t(rng());
        (c.up ? Pixel565_scaleDitherUp : Pixel565_scaleDitherDown)(
            src.px.data(), c.sw, c.sh, dst.px.data(), c.dw, c.dh, c.startX, c.startY, src.stride,
            c.width, c.height, dst.stride);
        for (int32_t y = 0; y < c.height; y++)
            for (int32_t x = 0; x < c.width + 2; x++) {
                if (x >= c.width) {
                    ASSERT_EQ(dst.at(x, y), 0xBEEF); // the padding stays
                    continue;
                }
                int64_t sx = (c.up ? stepUp : stepDown)(c.sw, c.dw, c.startX + x);
                int64_t sy = (c.up ? stepUp : stepDown)(c.sh, c.dh, c.startY + y);
                uint16_t picked = src.at(int32_t(sx), int32_t(sy));
                uint32_t word = table[((c.startY + y) & 31) * 32 + ((c.startX + x) & 31)];
                ASSERT_EQ(dst.at(x, y), dither(picked, word)) << x << "," << y;
                // One step per channel at most.
                uint16_t got = dst.at(x, y);
                EXPECT_LE(std::abs(int(got >> 11) - int(picked >> 11)), 1);
                EXPECT_LE(std::abs(int((got >> 5) & 63) - int((picked >> 5) & 63)), 1);
                EXPECT_LE(std::abs(int(got & 31) - int(picked & 31)), 1);
            }
    }
}

// Both forms step to the same source pixels, floor(j x source / scaled),
// whatever the ratio.
TEST(Scale565, BothFormsPickTheSamePixels)
{
    for (int32_t s = 1; s <= 12; s++)
        for (int32_t d = 1; d <= 12; d++)
            for (int32_t j = 0; j < d; j++) {
                ASSERT_EQ(stepUp(s, d, j), int64_t(j) * s / d);
                ASSERT_EQ(stepDown(s, d, j), int64_t(j) * s / d);
            }
    Picture src(7, 5, 0), a(11, 3, 0), b(11, 3, 0);
    for (size_t i = 0; i < src.px.size(); i++)
        src.px[i] = uint16_t(i * 0x1357);
    Pixel565_scaleDitherUp(src.px.data(), 7, 5, a.px.data(), 11, 3, 0, 0, src.stride, 11, 3,
                           a.stride);
    Pixel565_scaleDitherDown(src.px.data(), 7, 5, b.px.data(), 11, 3, 0, 0, src.stride, 11, 3,
                             b.stride);
    EXPECT_EQ(a.px, b.px);
}

TEST(Scale565, EmptyWindowsAndMissingSizesDrawNothing)
{
    Picture src(4, 4, 0), dst(4, 4, 0);
    for (uint16_t &p : src.px)
        p = 0x1234;
    const std::vector<uint16_t> before = dst.px;
    struct Case {
        int32_t sw, sh, dw, dh, width, height;
    } cases[] = {{4, 4, 8, 8, 0, 4}, {4, 4, 8, 8, 4, -1}, {0, 4, 8, 8, 4, 4},
                 {4, 4, 0, 8, 4, 4}, {4, -2, 8, 8, 4, 4}, {4, 4, 8, 0, 4, 4}};
    for (const Case &c : cases) {
        Pixel565_scaleDitherUp(src.px.data(), c.sw, c.sh, dst.px.data(), c.dw, c.dh, 0, 0,
                               src.stride, c.width, c.height, dst.stride);
        Pixel565_scaleDitherDown(src.px.data(), c.sw, c.sh, dst.px.data(), c.dw, c.dh, 0, 0,
                                 src.stride, c.width, c.height, dst.stride);
        EXPECT_EQ(dst.px, before);
    }
    Pixel565_scaleDitherUp(nullptr, 4, 4, dst.px.data(), 8, 8, 0, 0, 8, 4, 4, 8);
    EXPECT_EQ(dst.px, before);
}

// The scalers read the ordered-dither table of the gradient and resampling
// passes; each of its words stays below one unit in every channel.
TEST(Scale565, TheDitherTableIsTheSharedOne)
{
    EXPECT_EQ(Scaler_packedTable(), Gradient_ditherTable());
    const uint32_t *t = Scaler_packedTable();
    for (int i = 0; i < 32 * 32; i++) {
        EXPECT_LT(t[i] & 0x3FFu, 16u) << i;     // blue: 4 fraction bits
        EXPECT_EQ(t[i] & 0x000F8000u, 0u) << i; // red: below bit 15
        EXPECT_EQ(t[i] & 0xFE000000u, 0u) << i; // green: below bit 25
    }
}

} // namespace
