// Colour transforms of decoded pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/colourtransform.h"
#include "graphics/pixelbuf.h"

namespace {

// -------------------------------------------------------- colour transform

constexpr ColourTransform identity = {{0x10000, 0x10000, 0x10000, 0x10000}, {0, 0, 0, 0}};

TEST(ColourTransformTables, Cases)
{
    struct Case {
        const char *what;
        int32_t multiply, offset;
        uint32_t bits;
        std::vector<std::pair<int, int>> entries; // {index, value}
    } cases[] = {
        {"identity, 5 bits", 0x10000, 0, 5, {{0, 0}, {1, 1}, {15, 15}, {31, 31}}},
        {"identity, 6 bits", 0x10000, 0, 6, {{0, 0}, {32, 32}, {63, 63}}},
        {"identity, 8 bits", 0x10000, 0, 8, {{0, 0}, {128, 128}, {255, 255}}},
        {"halving", 0x8000, 0, 5, {{31, 15}, {1, 0}, {2, 1}}},
        {"offset of one level, clamped", 0x10000, 8 * 256, 5, {{0, 1}, {30, 31}, {31, 31}}},
        {"negative offset clamps to 0", 0x10000, -8 * 256, 5, {{0, 0}, {1, 0}, {2, 1}}},
        {"negative multiplier inverts", -0x10000, 255 * 256, 8, {{0, 255}, {255, 0}}},
        {"zero multiplier, grey offset", 0, 100 * 256, 8, {{0, 100}, {255, 100}}},
    };
    for (const Case &c : cases) {
        uint8_t table[256];
        ColourTransform_channelTable(c.multiply, c.offset, c.bits, table);
        for (auto [i, v] : c.entries)
            EXPECT_EQ(table[i], v) << c.what << " entry " << i;
    }
}

PixelBuf buffer(std::vector<uint8_t> &bytes, int32_t w, int32_t h, uint32_t stride, uint32_t format)
{
    PixelBuf b{};
    b.width = w;
    b.height = h;
    b.stride = stride;
    b.pixels = bytes.data();
    b.format = format;
    return b;
}

TEST(ColourTransform, Pictures565)
{
    // Two rows of two pixels, stride 6 bytes (one spare pixel per row).
    auto pix = [](uint32_t r, uint32_t g, uint32_t b) { return uint16_t(r << 11 | g << 5 | b); };
    const uint16_t in[6] = {pix(31, 63, 31), pix(1, 2, 3), 0xAAAA,
                            pix(30, 0, 16),  pix(0, 0, 0), 0xBBBB};
    std::vector<uint8_t> src(12), dst(12, 0x55);
    memcpy(src.data(), in, 12);
    PixelBuf s = buffer(src, 2, 2, 6, Pixel_format565), d = buffer(dst, 2, 2, 6, Pixel_format565);

    ColourTransform t = identity;
    t.multiply[0] = 0x8000; // red halved
    t.offset[2] = 8 * 256;  // blue one level up, clamped
    PixelBuf_applyColourTransform(&d, &s, &t);
    uint16_t out[6];
    memcpy(out, dst.data(), 12);
    EXPECT_EQ(out[0], pix(15, 63, 31));
    EXPECT_EQ(out[1], pix(0, 2, 4));
    EXPECT_EQ(out[2], 0x5555) << "the spare pixel is not written";
    EXPECT_EQ(out[3], pix(15, 0, 17));
    EXPECT_EQ(out[4], pix(0, 0, 1));

    // The identity leaves the pixels as they are.
    PixelBuf_applyColourTransform(&d, &s, &identity);
    memcpy(out, dst.data(), 12);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1]);
    EXPECT_EQ(out[3], in[3]);
}

TEST(ColourTransform, GreyUsesTheGreyWords)
{
    std::vector<uint8_t> src = {0, 100, 255, 7}, dst(4, 9);
    PixelBuf s = buffer(src, 3, 1, 4, Pixel_formatGrey8),
             d = buffer(dst, 3, 1, 4, Pixel_formatGrey8);
    ColourTransform t = identity;
    t.multiply[0] = 0; // the colour words do not apply
    t.multiply[3] = 0x8000;
    t.offset[3] = 10 * 256;
    PixelBuf_applyColourTransform(&d, &s, &t);
    EXPECT_EQ(dst, (std::vector<uint8_t>{10, 60, 138, 9}));
}

TEST(ColourTransform, OtherDestinationFormatsAreLeftAlone)
{
    std::vector<uint8_t> src(8, 0x12), dst(8, 0x34);
    PixelBuf s = buffer(src, 2, 1, 8, Pixel_formatRGBA), d = buffer(dst, 2, 1, 8, Pixel_formatRGBA);
    ColourTransform t = identity;
    t.multiply[0] = 0;
    PixelBuf_applyColourTransform(&d, &s, &t);
    EXPECT_EQ(dst, std::vector<uint8_t>(8, 0x34));
}

} // namespace
