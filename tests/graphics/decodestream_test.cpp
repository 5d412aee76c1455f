// The Flate and RunLength decode streams: whole, cut and corrupt zlib
// data, RunLength literals, repeats and the end marker.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "core/result.h"
#include "graphics/codecs/decodestream.h"
#include "tests/graphics/codec_support.h"
#include "tests/support/heap_fixture.h"

namespace {

struct DecodestreamOut {
    std::string bytes;
    int status;
};

// Decodes input through the decoder make opens over a memory stream: the
// bytes to the end and the taken status.
DecodestreamOut decodestreamRun(const std::string &input, int (*make)(ByteStream *, ByteStream **))
{
    TestMemStream *mem = memStream(input);
    EXPECT_NE(mem, nullptr);
    DecodestreamOut d{"", 0};
    if (!mem)
        return d;
    ByteStream *s = nullptr;
    EXPECT_EQ(make(&mem->base, &s), 0);
    if (s) {
        for (;;) {
            while (s->readPtr < s->end)
                d.bytes += char(*s->readPtr++);
            int c = s->getByte(s);
            if (c < 0)
                break;
            d.bytes += char(c);
        }
        d.status = ByteStream_takeStatus(s);
        EXPECT_EQ(s->getByte(s), ByteStream_end) << "the end stays the end";
        ByteStream_close(s);
    }
    ByteStream_close(&mem->base);
    return d;
}

std::string decodestreamZlib(const std::string &text)
{
    uLongf n = compressBound(text.size());
    std::vector<Bytef> buf(n);
    EXPECT_EQ(compress(buf.data(), &n, reinterpret_cast<const Bytef *>(text.data()), text.size()),
              Z_OK);
    return std::string(reinterpret_cast<const char *>(buf.data()), n);
}

std::string decodestreamText()
{
    std::string t;
    for (int i = 0; i < 3000; i++)
        t += char('a' + (i * 7 + i / 13) % 26);
    return t;
}

class DecodeStreamTest : public LeakCheckedHeapTest<> {};

TEST_F(DecodeStreamTest, FlateEndsQuietlyAtCutOrCorruptData)
{
    std::string text = decodestreamText();
    std::string z = decodestreamZlib(text);
    DecodestreamOut whole = decodestreamRun(z, Pdf_Filter_flateNew);
    EXPECT_EQ(whole.bytes, text);
    EXPECT_EQ(whole.status, 0);
    DecodestreamOut cut = decodestreamRun(z.substr(0, z.size() / 2), Pdf_Filter_flateNew);
    EXPECT_EQ(cut.status, 0);
    EXPECT_FALSE(cut.bytes.empty());
    EXPECT_LT(cut.bytes.size(), text.size());
    EXPECT_EQ(text.compare(0, cut.bytes.size(), cut.bytes), 0) << "a prefix of the text";
    std::string bad = z;
    bad[bad.size() / 2] = char(bad[bad.size() / 2] ^ 0x55);
    DecodestreamOut corrupt = decodestreamRun(bad, Pdf_Filter_flateNew);
    EXPECT_EQ(corrupt.status, 0);
    EXPECT_LE(corrupt.bytes.size(), text.size() + 1024);
    DecodestreamOut garbage = decodestreamRun("not zlib at all", Pdf_Filter_flateNew);
    EXPECT_EQ(garbage.bytes, "");
    EXPECT_EQ(garbage.status, 0);
}

TEST_F(DecodeStreamTest, RunLengthCopiesRepeatsAndNeedsItsMarker)
{
    struct Case {
        std::string input;
        std::string output;
        int status;
    } cases[] = {
        {std::string("\x02"
                     "abc"
                     "\xFE"
                     "x"
                     "\x80",
                     7),
         "abcxxx", 0},
        {std::string("\x81"
                     "y"
                     "\x80"
                     "zz",
                     5),
         std::string(128, 'y'), 0},
        {std::string("\x80", 1), "", 0},
        {std::string("\x01"
                     "ab"
                     "\xFF"
                     "c",
                     5),
         "abcc", Res_pdfRunLengthNoEnd},
        {std::string("\x05"
                     "ab",
                     3),
         "ab", Res_pdfRunLengthNoEnd},
        {"", "", Res_pdfRunLengthNoEnd},
    };
    for (const Case &c : cases) {
        DecodestreamOut d = decodestreamRun(c.input, Pdf_Filter_rlNew);
        EXPECT_EQ(d.bytes, c.output) << c.input.size();
        EXPECT_EQ(d.status, c.status) << c.input.size();
    }
    // Long repeats fill several blocks.
    std::string many;
    for (int i = 0; i < 20; i++)
        many += std::string("\x81"
                            "q",
                            2);
    many += '\x80';
    EXPECT_EQ(decodestreamRun(many, Pdf_Filter_rlNew).bytes, std::string(20 * 128, 'q'));
}

} // namespace
