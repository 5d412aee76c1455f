// Byte planes: reduction by 2, 4 and 8 in place (the rounded block
// averages, partial blocks, planes smaller than a block, what is left
// untouched, and random planes against PIL's box reduction from
// tests/fixtures/plane), and the byte mapping in groups of 8, 4, 2 and 1.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/plane.h"

namespace {

struct Plane {
    uint32_t width, height;
    ptrdiff_t stride;
    std::vector<uint8_t> bytes;
    Plane(uint32_t w, uint32_t h, uint32_t padding = 0)
        : width(w), height(h), stride(ptrdiff_t(w + padding)), bytes(size_t(w + padding) * h, 0xA5)
    {
    }
    uint8_t &at(uint32_t x, uint32_t y)
    {
        return bytes[size_t(y) * stride + x];
    }
};

// The reduced byte at block (j, k) of a copy of the original plane: the
// sum over the block's real pixels, rounded and divided by their count.
uint8_t blockAverage(const Plane &p, uint32_t n, uint32_t j, uint32_t k)
{
    uint32_t sum = 0, count = 0;
    for (uint32_t y = k * n; y < std::min(p.height, (k + 1) * n); y++)
        for (uint32_t x = j * n; x < std::min(p.width, (j + 1) * n); x++) {
            sum += p.bytes[size_t(y) * p.stride + x];
            count++;
        }
    return uint8_t((sum + count / 2) / count);
}

TEST(PlaneReduce, FourByFourRampByTwo)
{
    Plane p(4, 4);
    for (uint32_t i = 0; i < 16; i++)
        p.at(i % 4, i / 4) = uint8_t(i);
    Plane_reduce(1, p.bytes.data(), p.stride, 4, 4);
    EXPECT_EQ(p.at(0, 0), 3);  // (0 + 1 + 4 + 5 + 2) >> 2
    EXPECT_EQ(p.at(1, 0), 5);  // (2 + 3 + 6 + 7 + 2) >> 2
    EXPECT_EQ(p.at(0, 2), 11); // (8 + 9 + 12 + 13 + 2) >> 2
    EXPECT_EQ(p.at(1, 2), 13); // (10 + 11 + 14 + 15 + 2) >> 2
    // The rows between the block rows and the columns past the result keep
    // their bytes.
    EXPECT_EQ(p.at(2, 0), 2);
    EXPECT_EQ(p.at(3, 0), 3);
    for (uint32_t x = 0; x < 4; x++) {
        EXPECT_EQ(p.at(x, 1), 4 + x);
        EXPECT_EQ(p.at(x, 3), 12 + x);
    }
}

// Every shift over sizes with partial right, bottom and corner blocks, and
// planes smaller than one block, against the block averages; the stride's
// padding and the rows inside a block row are never written.
TEST(PlaneReduce, PartialBlocksAverageOverTheirRealSize)
{
    struct Case {
        uint32_t shift, width, height;
    } cases[] = {
        {1, 5, 2}, {1, 5, 5}, {1, 1, 1},  {1, 1, 7},  {2, 3, 2},   {2, 6, 9},    {2, 4, 4},
        {3, 7, 7}, {3, 8, 8}, {3, 9, 17}, {3, 1, 30}, {1, 600, 3}, {3, 2100, 9}, {2, 1030, 5},
    };
    std::mt19937 rng(12);
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << "x" << c.height << " by " << (1 << c.shift));
        Plane p(c.width, c.height, 3);
        for (uint32_t y = 0; y < c.height; y++)
            for (uint32_t x = 0; x < c.width; x++)
                p.at(x, y) = uint8_t(rng());
        const Plane before = p;
        Plane_reduce(c.shift, p.bytes.data(), p.stride, c.width, c.height);
        const uint32_t n = 1u << c.shift;
        const uint32_t rw = (c.width + n - 1) / n;
        for (uint32_t y = 0; y < c.height; y++)
            for (uint32_t x = 0; x < c.width + 3; x++) {
                uint8_t got = p.bytes[size_t(y) * p.stride + x];
                if (y % n == 0 && x < rw)
                    ASSERT_EQ(got, blockAverage(before, n, x, y / n)) << x << "," << y;
                else
                    ASSERT_EQ(got, before.bytes[size_t(y) * p.stride + x]) << x << "," << y;
            }
    }
    // A width of 5 by 2: the last column is averaged over 1 column x 2 rows.
    Plane five(5, 2);
    const uint8_t rows[2][5] = {{10, 20, 30, 40, 100}, {10, 20, 30, 40, 201}};
    for (uint32_t x = 0; x < 5; x++)
        five.at(x, 0) = rows[0][x], five.at(x, 1) = rows[1][x];
    Plane_reduce2(five.bytes.data(), five.stride, 5, 2);
    EXPECT_EQ(five.at(0, 0), 15);
    EXPECT_EQ(five.at(1, 0), 35);
    EXPECT_EQ(five.at(2, 0), 151); // (301 + 1) / 2
    // Smaller than the block: the whole plane's average.
    Plane small(3, 2);
    const uint8_t values[6] = {1, 2, 3, 4, 5, 6};
    for (uint32_t i = 0; i < 6; i++)
        small.at(i % 3, i / 3) = values[i];
    Plane_reduce8(small.bytes.data(), small.stride, 3, 2);
    EXPECT_EQ(small.at(0, 0), 4); // (21 + 3) / 6
}

TEST(PlaneReduce, TableAndRefusedShifts)
{
    EXPECT_EQ(Plane_reducers[0], &Plane_reduce2);
    EXPECT_EQ(Plane_reducers[1], &Plane_reduce4);
    EXPECT_EQ(Plane_reducers[2], &Plane_reduce8);
    Plane p(4, 4);
    for (uint32_t i = 0; i < 16; i++)
        p.at(i % 4, i / 4) = uint8_t(i * 9);
    const std::vector<uint8_t> before = p.bytes;
    for (uint32_t shift : {0u, 4u, 31u})
        Plane_reduce(shift, p.bytes.data(), p.stride, 4, 4);
    Plane_reduce(1, nullptr, p.stride, 4, 4);
    Plane_reduce(1, p.bytes.data(), p.stride, 0, 4);
    Plane_reduce(1, p.bytes.data(), p.stride, 4, 0);
    EXPECT_EQ(p.bytes, before);
}

std::vector<uint8_t> hexLine(const std::string &line)
{
    std::vector<uint8_t> out;
    std::istringstream in(line);
    std::string h;
    while (in >> h)
        out.push_back(uint8_t(std::stoul(h, nullptr, 16)));
    return out;
}

// Random planes reduced by PIL's Image.reduce: the same blocks, the same
// rounding of full blocks; partial blocks within 1.
TEST(PlaneReduce, AgreesWithPilBoxReduction)
{
    std::ifstream f(std::string(VEXLAN_FIXTURES) + "/plane/reduce_expected.txt");
    ASSERT_TRUE(f.good());
    std::string line;
    int cases = 0;
    while (std::getline(f, line)) {
        uint32_t w, h, factor;
        ASSERT_EQ(sscanf(line.c_str(), "case %u %u %u", &w, &h, &factor), 3) << line;
        SCOPED_TRACE(line);
        Plane p(w, h, 5);
        for (uint32_t y = 0; y < h; y++) {
            ASSERT_TRUE(std::getline(f, line));
            std::vector<uint8_t> row = hexLine(line);
            ASSERT_EQ(row.size(), w);
            std::copy(row.begin(), row.end(), p.bytes.begin() + ptrdiff_t(y) * p.stride);
        }
        uint32_t shift = factor == 2 ? 1 : factor == 4 ? 2 : 3;
        Plane_reduce(shift, p.bytes.data(), p.stride, w, h);
        uint32_t rw = (w + factor - 1) / factor, rh = (h + factor - 1) / factor;
        for (uint32_t k = 0; k < rh; k++) {
            ASSERT_TRUE(std::getline(f, line));
            std::vector<uint8_t> want = hexLine(line);
            ASSERT_EQ(want.size(), rw);
            for (uint32_t j = 0; j < rw; j++) {
                bool full = (j + 1) * factor <= w && (k + 1) * factor <= h;
                int diff = int(p.at(j, k * factor)) - int(want[j]);
                if (full)
                    EXPECT_EQ(diff, 0) << j << "," << k;
                else
                    EXPECT_LE(std::abs(diff), 1) << j << "," << k;
            }
        }
        cases++;
    }
    EXPECT_EQ(cases, 36);
}

// Widths that end in every mix of 8-, 4-, 2- and 1-byte groups, and
// widths with whole 64-byte runs before them, over every byte value;
// padded strides that stay untouched, and mapping in place.
TEST(PixelMapRows8, EveryByteThroughTheTable)
{
    uint8_t table[256];
    for (int i = 0; i < 256; i++)
        table[i] = uint8_t(255 - i * 3);
    std::mt19937 rng(3);
    std::vector<uint32_t> widths;
    for (uint32_t w = 0; w <= 19; w++)
        widths.push_back(w);
    for (uint32_t w : {63u, 64u, 65u, 127u, 128u, 141u, 256u, 300u})
        widths.push_back(w);
    for (uint32_t width : widths) {
        SCOPED_TRACE(width);
        const uint32_t height = 3;
        Plane src(width, height, 2), dst(width, height, 5);
        for (size_t i = 0; i < src.bytes.size(); i++)
            src.bytes[i] = i % 3 ? uint8_t(rng()) : uint8_t(i); // every value appears
        Pixel_mapRows8(table, src.bytes.data(), dst.bytes.data(), width, height, src.stride,
                       dst.stride);
        for (uint32_t y = 0; y < height; y++)
            for (uint32_t x = 0; x < width + 5; x++) {
                uint8_t got = dst.at(x, y);
                ASSERT_EQ(got, x < width ? table[src.at(x, y)] : 0xA5) << x << "," << y;
            }
        Plane same = src;
        Pixel_mapRows8(table, same.bytes.data(), same.bytes.data(), width, height, same.stride,
                       same.stride);
        for (uint32_t y = 0; y < height; y++)
            for (uint32_t x = 0; x < width + 2; x++)
                ASSERT_EQ(same.at(x, y), x < width ? table[src.at(x, y)] : src.at(x, y));
    }
}

} // namespace
