// The Word text window: long 8-bit and 16-bit pieces are fetched in
// windows of at most 32768 bytes, every character where its CP says.
#include "tests/word/word_support.h"
#include "word/reader/build.h"

namespace {

class TextWindowTest : public WordTest {
  public:
    WordLoad load{};

    // A Word 97 file whose only piece holds count characters from 0x1000
    // (8-bit or 16-bit), with a CLX in the table stream.
    int openPiece(uint32_t count, bool wide)
    {
        std::string text;
        for (uint32_t i = 0; i < count; i++) {
            char16_t c = char16_t('A' + i % 26);
            if (wide)
                text += le16(i % 26 == 0 ? 0x416 : c);
            else
                text += char(c);
        }
        uint32_t fc = wide ? 0x1000 : (0x1000 * 2) | 0x40000000;
        std::string plc = le32(0) + le32(count) + le16(0) + le32(fc) + le16(0);
        std::string clx = bytes({2}) + le32(uint32_t(plc.size())) + plc;
        Fib97 fib;
        fib.pair(WordPair_clx, 16, uint32_t(clx.size())).ccp(0, count);
        int err = openStreams(placeAt(fib.b, 0x1000, text), std::string(16, '\0') + clx);
        if (err == Res_ok)
            err = Word_readPieceTable(reader);
        reader->load = &load;
        return err;
    }
    void TearDown() override
    {
        if (reader) {
            Word_fieldsFree(reader);
            reader->load = nullptr;
        }
        WordTest::TearDown();
    }
};

TEST_F(TextWindowTest, EightBitTextInWindowsOf32768)
{
    ASSERT_EQ(openPiece(70000, false), Res_ok);
    uint32_t cp = 0, windows = 0;
    while (cp < 70000) {
        uint32_t end = 0;
        const char16_t *chars = nullptr;
        ASSERT_EQ(Word_fetchText(cp, 70000, &end, &chars, reader), Res_ok);
        ASSERT_GT(end, cp);
        EXPECT_LE(end - cp, 32768u);
        for (uint32_t i = cp; i < end; i += 997)
            ASSERT_EQ(chars[i - cp], char16_t('A' + i % 26)) << i;
        cp = end;
        windows++;
    }
    EXPECT_EQ(windows, 3u);
    // A CP inside the window is served without a new read.
    uint32_t end = 0;
    const char16_t *chars = nullptr;
    ASSERT_EQ(Word_fetchText(69990, 69995, &end, &chars, reader), Res_ok);
    EXPECT_EQ(end, 69995u);
    EXPECT_EQ(chars[0], char16_t('A' + 69990 % 26));
}

TEST_F(TextWindowTest, SixteenBitTextInWindowsOf16384)
{
    ASSERT_EQ(openPiece(40000, true), Res_ok);
    uint32_t cp = 0, windows = 0;
    while (cp < 40000) {
        uint32_t end = 0;
        const char16_t *chars = nullptr;
        ASSERT_EQ(Word_fetchText(cp, 40000, &end, &chars, reader), Res_ok);
        EXPECT_LE(end - cp, 16384u);
        EXPECT_EQ(chars[0], cp % 26 == 0 ? char16_t(0x416) : char16_t('A' + cp % 26));
        cp = end;
        windows++;
    }
    EXPECT_EQ(windows, 3u);
}

TEST_F(TextWindowTest, LanguageCharsets)
{
    struct Case {
        uint32_t lid, charset;
    } cases[] = {{0x41E, 7},  {0x405, 8},  {0x419, 9},  {0x408, 11}, {0x41F, 12},
                 {0x40D, 13}, {0x401, 14}, {0x425, 15}, {0x412, 30}, {0x411, 31},
                 {0x404, 34}, {0x804, 35}, {0x409, 10}, {0, 10}};
    for (const Case &c : cases)
        EXPECT_EQ(Word_lidCharset(c.lid), c.charset) << std::hex << c.lid;
}

} // namespace
