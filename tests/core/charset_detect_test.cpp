// Character-set detection: sample texts of each family (made with Python,
// see the fixtures' script) guessed with a default of their family, fed
// whole and byte by byte; the elimination edge cases; the language mask
// and the installed tables; the detector under memory exhaustion.
#include <cstring>
#include <sstream>

#include "core/text/charset_detect.h"
#include "tests/core/charset_support.h"

namespace {

using CharsetDetect = CharsetEngine;

class CharsetDetectNoTables : public CharsetEngine {
  protected:
    bool installTables() override
    {
        return false;
    }
};

uint32_t guess(EngineContext *ctx, const Bytes &in, uint32_t def, size_t chunk = 0)
{
    CharsetDetector *d = nullptr;
    EXPECT_EQ(Charset_detectorNew(ctx, &d), 0);
    if (!d)
        return 999;
    if (chunk == 0)
        chunk = in.size();
    for (size_t i = 0; i < in.size(); i += chunk)
        Charset_detectorFeed(d, in.data() + i, std::min(chunk, in.size() - i));
    uint32_t code = Charset_detectorGuess(d, def);
    Charset_detectorFree(d);
    return code;
}

Bytes text(const char *s)
{
    return Bytes(s, s + strlen(s));
}

TEST_F(CharsetDetect, SampleTextsOfEachFamily)
{
    Bytes manifest = readFixture("detect/manifest.txt");
    std::istringstream lines(std::string(manifest.begin(), manifest.end()));
    std::string line;
    int checked = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string name;
        uint32_t def = 0, want = 0;
        fields >> name >> def >> want;
        Bytes in = readFixture("detect/" + name + ".bin");
        EXPECT_EQ(guess(ctx, in, def), want) << name;
        // UTF-16 is judged buffer by buffer; every other probe carries its
        // state from one buffer to the next.
        if (want != CharsetCode_utf16le && want != CharsetCode_utf16be) {
            EXPECT_EQ(guess(ctx, in, def, 1), want) << name << " byte by byte";
        }
        checked++;
    }
    EXPECT_GE(checked, 10);
}

TEST_F(CharsetDetect, EliminationEdgeCases)
{
    EXPECT_EQ(guess(ctx, text("just ASCII\r\n"), 34), 34u);
    EXPECT_EQ(guess(ctx, text("caf\xC3\xA9 au"), 10), 1u);
    EXPECT_EQ(guess(ctx, text("caf\xE9 au"), 10), 10u);
    EXPECT_EQ(guess(ctx, text("caf\xE9"), 10), 1u);
    EXPECT_EQ(guess(ctx, text("\x1B$B$\"$$\x1B(B"), 10), 32u);
    EXPECT_EQ(guess(ctx, Bytes{0xFF, 0xFE, 0x3C, 0x00, 0x68, 0x00}, 10), 4u);
    EXPECT_EQ(guess(ctx, Bytes{0xFE, 0xFF, 0x00, 0x3C, 0xD8, 0x00}, 10),
              10u);                                           // a cut surrogate pair
    EXPECT_EQ(guess(ctx, text("\x93\xFA\x96\x7B"), 31), 31u); // Shift_JIS with ASCII trails
    // The plain-text probe takes a few typographic bytes.
    EXPECT_EQ(guess(ctx, text("\x91quoted\x92 \xA9"), 7), 7u);
}

// Well-formed UTF-8 anywhere in the sample is UTF-8, characters beyond the
// 16-bit plane included, whatever the default's family; a sample of plain
// text decides nothing until the bytes that follow do.
TEST_F(CharsetDetect, FourByteUtf8AndPlainStarts)
{
    struct Case {
        const char *bytes;
        uint32_t def;
        bool utf8; // guessed UTF-8, or anything else
    } cases[] = {
        {"smile \xF0\x9F\x98\x80 caf\xC3\xA9", 10, true},
        {"smile \xF0\x9F\x98\x80", 33, true}, // a Japanese default
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x81", CharsetCode_big5, true},
        {"\xC0\xAF overlong", 10, false},       // never a lead byte
        {"\xF5\x80\x80\x80 beyond", 10, false}, // beyond the last plane
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(guess(ctx, text(c.bytes), c.def) == CharsetCode_utf8, c.utf8);
        EXPECT_EQ(guess(ctx, text(c.bytes), c.def, 1) == CharsetCode_utf8, c.utf8);
    }
    CharsetDetector *d = nullptr;
    ASSERT_EQ(Charset_detectorNew(ctx, &d), 0);
    Bytes ascii = text("<html><body>only ASCII so far\n");
    Charset_detectorFeed(d, ascii.data(), ascii.size());
    EXPECT_TRUE(Charset_detectorUndecided(d));
    Bytes later = text("don\xE2\x80\x99t");
    Charset_detectorFeed(d, later.data(), later.size());
    EXPECT_FALSE(Charset_detectorUndecided(d));
    EXPECT_EQ(Charset_detectorGuess(d, 10), uint32_t(CharsetCode_utf8));
    Charset_detectorFree(d);
}

TEST_F(CharsetDetect, LanguageMaskFollowsTheDefault)
{
    // EUC text fits Korean, Japanese and Chinese EUC: the default's family
    // decides, and with no family the Korean rule comes first.
    Bytes euc = text("\xA4\xA2\xA4\xA4\xA4\xA6");
    EXPECT_EQ(guess(ctx, euc, 33), 33u);
    EXPECT_EQ(guess(ctx, euc, 30), 30u);
    EXPECT_EQ(guess(ctx, euc, 10), 30u);
    EXPECT_EQ(guess(ctx, euc, 34), 34u);
}

TEST_F(CharsetDetectNoTables, CandidatesNeedTheirTables)
{
    Bytes jis = text("\x1B$B$\"$$\x1B(B");
    EXPECT_EQ(guess(ctx, jis, 10), 10u);
    Bytes euc = text("\xA4\xA2\xA4\xA4\xA4\xA6");
    EXPECT_EQ(guess(ctx, euc, 34), 34u); // nothing installed: no guess
    ASSERT_EQ(Charset_installKorean(ctx->charsetHooks), 0);
    // Default 34 without the Big5 table gives the full mask: Korean wins.
    EXPECT_EQ(guess(ctx, euc, 34), 30u);
    ASSERT_EQ(Charset_installJapanese(ctx->charsetHooks), 0);
    EXPECT_EQ(guess(ctx, jis, 10), 32u);
    EXPECT_EQ(guess(ctx, euc, 31), 33u);
}

TEST_F(CharsetDetect, DetectorSurvivesMemoryExhaustion)
{
    size_t before = TestHeap_usedBytes();
    for (uint64_t n = 1;; n++) {
        CharsetDetector *d = reinterpret_cast<CharsetDetector *>(1);
        Mem_failAfter(n);
        int r = Charset_detectorNew(ctx, &d);
        Mem_failAfter(0);
        if (r == 0) {
            Charset_detectorFree(d);
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(d, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        ASSERT_LT(n, 20u);
    }
    Charset_detectorFree(nullptr);
}

} // namespace
