// Single-byte converters: every byte of every code page against Python's
// codecs (whole and byte by byte), the rule-made tables (TIS-620's low
// half, the ISO-2022 placeholders) and the symbol-font samples.
#include "tests/core/charset_support.h"

namespace {

using CharsetSbcs = CharsetEngine;

TEST_F(CharsetSbcs, EveryByteOfEveryCodePageMatchesPython)
{
    const uint32_t codes[] = {6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                              16, 17, 18, 19, 20, 21, 22, 23, 24};
    for (uint32_t code : codes) {
        Bytes in = readFixture("dec_" + std::to_string(code) + ".in");
        Units want = unitsOf(readFixture("dec_" + std::to_string(code) + ".out"));
        ASSERT_EQ(in.size(), 256u);
        CharsetConverter fn = Charset_findConverter(code, CharsetCode_utf16, nullptr, nullptr);
        ASSERT_NE(fn, nullptr) << code;
        for (size_t chunk : {size_t(0), size_t(1)}) {
            Units got = unitsOf(runStream(bindConverter(fn, ctx), in, chunk, 6).out);
            size_t at = firstDiff(got, want);
            EXPECT_EQ(got, want) << "code " << code << " byte " << at << ": "
                                 << hexUnits(got, at, 1);
        }
        char16_t *s = nullptr;
        ASSERT_EQ(Charset_toUstrN(ctx, in.data() + 1, 255, &s, code), 0);
        EXPECT_EQ(Units(s), want.substr(1)) << code;
        Mem_free(s);
    }
}

TEST_F(CharsetSbcs, RuleMadeTablesAndSymbolFontSamples)
{
    struct Case {
        uint32_t code;
        uint8_t byte;
        char16_t unit;
    } cases[] = {
        {10, 0x80, 0x20AC},
        {10, 0x81, 0xFFFD},
        {23, 0xC0, 0x0E20},
        {23, 0xFF, 0xFFFD},
        {23, 0x90, 0x0090},
        {23, 0xDB, 0xFFFD},
        {25, 0x80, 0xFF80},
        {26, 0xFE, 0xFFFE},
        {25, 0x41, 'A'},
        {27, 0x41, 0x0391},
        {27, 0x61, 0x03B1},
        {27, 0xA1, 0x03D2},
        {27, 0xE5, 0x2211},
        {27, 0x7F, 0xFFFD},
        {27, 0xA0, 0xFFFD},
        {27, 0xFF, 0xFFFD},
        {27, 0xF0, 0xF8FF},
        {27, 0x0A, 0x000A},
        {28, 0x21, 0x270E},
        {28, 0x41, 0x270C},
        {28, 0x4A, 0x263A},
        {28, 0xFC, 0x2713},
        {28, 0x7F, 0xFFFD},
        {28, 0xFF, 0xFFFD},
        {28, 0x20, 0x0020},
        {28, 0xA0, 0x00A0},
        {28, 0x81, 0x2460},
        // Codes the single-byte decoder does not know: ASCII passes.
        {5, 0x41, 'A'},
        {5, 0xC1, 0xFFFD},
        {99, 0x80, 0xFFFD},
    };
    for (const Case &c : cases) {
        uint8_t dst[2];
        size_t consumed = 0, produced = 0;
        EXPECT_EQ(Charset_singleByteToUtf16(c.code, &c.byte, 1, dst, 2, &consumed, &produced), 0);
        ASSERT_EQ(produced, 2u);
        EXPECT_EQ(char16_t(dst[0] | dst[1] << 8), c.unit)
            << "code " << c.code << " byte " << int(c.byte);
    }
    EXPECT_EQ(decode(27, {'a', 'b'}), u"\u03B1\u03B2");
    EXPECT_EQ(decode(28, {0x4A}), u"\u263A");
}

TEST_F(CharsetSbcs, SingleByteDecoderStopsWhenTheDestinationIsFull)
{
    const uint8_t in[3] = {'a', 0xE9, 'c'};
    uint8_t dst[5];
    size_t consumed = 0, produced = 0;
    EXPECT_EQ(Charset_win1252ToUtf16(nullptr, in, 3, dst, 5, &consumed, &produced, nullptr),
              Res_charsetDestFull);
    EXPECT_EQ(consumed, 2u);
    EXPECT_EQ(produced, 4u);
}

} // namespace
