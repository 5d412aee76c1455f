// The little-endian record codec.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "office/pack/pack.h"

namespace {

std::string hex(const uint8_t *b, int n)
{
    std::string out;
    char buf[4];
    for (int i = 0; i < n; i++) {
        snprintf(buf, sizeof buf, "%02x", b[i]);
        out += buf;
    }
    return out;
}

TEST(Pack, WriteLaysValuesOutLittleEndian)
{
    uint8_t b[64];
    memset(b, 0xEE, sizeof b);
    EXPECT_EQ(Pack_write(b, "sc", 0x1234, 0x56), 3);
    EXPECT_EQ(hex(b, 4), "341256ee");
    EXPECT_EQ(Pack_write(b, "2l", 0x11223344u, 0xA0B0C0D0u), 8);
    EXPECT_EQ(hex(b, 8), "44332211d0c0b0a0");
    // Values are 32-bit arguments: only the letter's width is kept.
    EXPECT_EQ(Pack_write(b, "csl", 0x1FF, 0x12345, -2), 7);
    EXPECT_EQ(hex(b, 7), "ff4523feffffff");
    // A count of 0 writes nothing and takes no argument.
    memset(b, 0xEE, sizeof b);
    EXPECT_EQ(Pack_write(b, "0c"), 0);
    EXPECT_EQ(Pack_write(b, "0cs", 0xABCD), 2);
    EXPECT_EQ(hex(b, 3), "cdabee");
    // Multi-digit counts.
    EXPECT_EQ(Pack_write(b, "12c", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), 12);
    EXPECT_EQ(hex(b, 12), "0102030405060708090a0b0c");
}

TEST(Pack, StarCopiesAnArray)
{
    uint8_t b[32];
    const uint16_t s[3] = {0x0102, 0x0304, 0x0506};
    EXPECT_EQ(Pack_write(b, "*s", 3, s), 6);
    EXPECT_EQ(hex(b, 6), "020104030605");
    const uint32_t l[2] = {1, 0x80000000u};
    const uint8_t c[2] = {9, 8};
    EXPECT_EQ(Pack_write(b, "c*l*cs", 7, 2, l, 2, c, 0x4142), 13);
    EXPECT_EQ(hex(b, 13), "07010000000000008009084241");
    EXPECT_EQ(Pack_write(b, "*s", 0, s), 0);
}

TEST(Pack, BadLettersGiveMinusOne)
{
    uint8_t b[16];
    memset(b, 0, sizeof b);
    const struct {
        const char *format;
    } bad[] = {{"3q"}, {"3"}, {"l12"}, {"*q"}, {"*"}, {"x"}, {"s "}};
    for (const auto &c : bad)
        EXPECT_EQ(Pack_write(b, c.format, 1, 2, 3, 4), -1) << c.format;
    // What came before the bad letter stays written.
    EXPECT_EQ(Pack_write(b, "sq", 0x0A0B), -1);
    EXPECT_EQ(hex(b, 2), "0b0a");
    uint8_t c8;
    EXPECT_EQ(Pack_read(b, "cz", &c8), -1);
    EXPECT_EQ(c8, 0x0B);
    EXPECT_EQ(Pack_read(b, "3q"), -1);
    EXPECT_EQ(Pack_read(b, "*c", &c8), -1) << "no * form when reading";
}

TEST(Pack, ReadTakesRecordsApart)
{
    const uint8_t b[] = {0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x04, 0x00,
                         0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x77};
    uint32_t a = 0, bb = 0, d[3] = {};
    uint16_t s = 0;
    EXPECT_EQ(Pack_read(b, "lls3l", &a, &bb, &s, &d[0], &d[1], &d[2]), 22);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(bb, 2u);
    EXPECT_EQ(s, 3u);
    EXPECT_EQ(d[0], 4u);
    EXPECT_EQ(d[1], 5u);
    EXPECT_EQ(d[2], 0xFFFFFFFFu);
    // "0c" reads one byte, unlike Pack_write.
    uint8_t c = 0;
    EXPECT_EQ(Pack_read(b + 22, "0c", &c), 1);
    EXPECT_EQ(c, 0x77);
    // Round trip of a mixed record.
    uint8_t rec[32];
    int n = Pack_write(rec, "csl2s", 0xAB, 0xBEEF, 0xDEADBEEFu, 1, 2);
    ASSERT_EQ(n, 11);
    uint8_t rc = 0;
    uint16_t rs = 0, r2[2] = {};
    uint32_t rl = 0;
    EXPECT_EQ(Pack_read(rec, "csl2s", &rc, &rs, &rl, &r2[0], &r2[1]), n);
    EXPECT_EQ(rc, 0xAB);
    EXPECT_EQ(rs, 0xBEEF);
    EXPECT_EQ(rl, 0xDEADBEEFu);
    EXPECT_EQ(r2[1], 2);
}

} // namespace
