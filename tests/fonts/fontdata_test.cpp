// Font data utilities: big-endian words, byte swapping, named colours and
// their alpha.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fonts/fontdata.h"

namespace {

TEST(FontDataTest, BigEndianWordsAndTags)
{
    uint8_t b[4];
    FontFile_putU32BE(b, 0x636D6170);
    EXPECT_EQ(memcmp(b, "cmap", 4), 0);
    EXPECT_EQ(FontFile_tagEqual(b, reinterpret_cast<const uint8_t *>("cmap")), 1);
    EXPECT_EQ(FontFile_tagEqual(b, reinterpret_cast<const uint8_t *>("cmaq")), 0);
}

TEST(FontDataTest, ByteSwaps)
{
    char16_t u[3] = {0x1234, 0xFF00, 0x00AB};
    Ustr_byteSwap(u, 2);
    EXPECT_EQ(u[0], 0x3412);
    EXPECT_EQ(u[1], 0x00FF);
    EXPECT_EQ(u[2], 0x00AB); // past n
    uint32_t w[2] = {0x11223344, 0xA0B0C0D0};
    Bytes_swap32(w, 2);
    EXPECT_EQ(w[0], 0x44332211u);
    EXPECT_EQ(w[1], 0xD0C0B0A0u);
    Bytes_swap32(w, 0);
    EXPECT_EQ(w[0], 0x44332211u);
}

TEST(FontDataTest, NamedColoursAndAlpha)
{
    struct Case {
        int32_t index;
        uint32_t colour;
    } cases[] = {{0, 0xFFFFFF00},  {1, 0xFF000000}, {10, 0xFF00A5FF},
                 {16, 0xFFFFFFFF}, {17, 0},         {-1, 0}};
    for (const Case &c : cases) {
        uint32_t out = 0x12345678;
        Pixel_namedColour(&out, c.index);
        EXPECT_EQ(out, c.colour) << c.index;
    }
    Pixel_namedColour(nullptr, 1);
    uint32_t colour = 0xFF0000FF; // red
    Pixel_setColourAlpha(&colour, 0x180);
    EXPECT_EQ(colour, 0x800000FFu);
    uint8_t bytes[4];
    memcpy(bytes, &colour, 4);
    EXPECT_EQ(bytes[3], 0x80); // the fourth byte in memory
}

} // namespace

TEST(FontDataTest, SettingsTable)
{
    struct Case {
        std::vector<uint8_t> table;
        int32_t first, second;
    } cases[] = {
        {{}, 2, 10},                                      // missing
        {{0, 1}, 2, 10},                                  // no entries
        {{0, 1, 0, 1, 0, 7}, 7, 10},                      // key 1
        {{0, 1, 0, 2, 0xFF, 0xFE, 0, 1, 0, 3}, 3, 65534}, // both, value unsigned
        {{0, 1, 0xFF, 0xFF, 0, 9, 0, 5, 0, 9}, 2, 10},    // other keys skipped
        {{0, 2, 0, 1, 0, 7}, 2, 10},                      // another version
        {{0, 1, 0, 1, 0, 7, 0, 2, 0}, 7, 10},             // a cut-off entry
    };
    for (const Case &c : cases) {
        int32_t s[2] = {-1, -1};
        Font_readSettingsTable(c.table.empty() ? nullptr : c.table.data(), c.table.size(), s);
        EXPECT_EQ(s[0], c.first);
        EXPECT_EQ(s[1], c.second);
    }
}
