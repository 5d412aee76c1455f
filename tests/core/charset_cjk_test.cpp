// East Asian codecs: a sample of every valid code of each table against
// Python's codecs in both directions, fed whole, byte by byte, in chunks
// and through a small destination (ISO-2022-JP keeps its shift state across
// every boundary); malformed and truncated input case by case; the
// Japanese hooks; missing tables; the hooks record under memory exhaustion.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/core/charset_support.h"

namespace {

using CharsetCjk = CharsetEngine;

class CharsetCjkNoTables : public CharsetEngine {
  protected:
    bool installTables() override
    {
        return false;
    }
};

Convert multibyte(bool encode, uint32_t code, CharsetHooks *hooks)
{
    return [encode, code, hooks](const uint8_t *s, size_t n, uint8_t *d, size_t cap, size_t *c,
                                 size_t *p, CharsetState *st) {
        return encode ? Charset_encodeMultibyte(code, s, n, d, cap, c, p, st, hooks)
                      : Charset_decodeMultibyte(code, s, n, d, cap, c, p, st, hooks);
    };
}

const uint32_t MultibyteCodes[] = {30, 31, 32, 33, 34, 35};

TEST_F(CharsetCjk, DecodingMatchesPythonInEveryFeedingPattern)
{
    for (uint32_t code : MultibyteCodes) {
        Bytes in = readFixture("dec_" + std::to_string(code) + ".in");
        Units want = unitsOf(readFixture("dec_" + std::to_string(code) + ".out"));
        ASSERT_GT(in.size(), 1000u);
        Convert fn = multibyte(false, code, ctx->charsetHooks);
        for (size_t chunk : {size_t(0), size_t(1), size_t(7)}) {
            for (size_t cap : {2 * in.size() + 4, size_t(5)}) {
                StreamResult r = runStream(fn, in, chunk, cap);
                Units got = unitsOf(r.out);
                EXPECT_EQ(r.status, 0);
                EXPECT_EQ(r.left, 0u);
                size_t at = firstDiff(got, want);
                EXPECT_TRUE(got == want)
                    << "code " << code << " chunk " << chunk << " cap " << cap << " unit " << at
                    << ": " << hexUnits(got, at) << "/ " << hexUnits(want, at);
            }
        }
        // The same through the converter table and the whole-string call.
        EXPECT_TRUE(decode(code, in) == want) << code;
        char16_t *s = nullptr;
        ASSERT_EQ(Charset_toUstrN(ctx, in.data(), in.size(), &s, code), 0);
        EXPECT_TRUE(Units(s) == want) << code;
        Mem_free(s);
    }
}

TEST_F(CharsetCjk, EncodingMatchesPythonInEveryFeedingPattern)
{
    for (uint32_t code : MultibyteCodes) {
        Bytes in = readFixture("enc_" + std::to_string(code) + ".in");
        Bytes want = readFixture("enc_" + std::to_string(code) + ".out");
        ASSERT_GT(in.size(), 1000u);
        Convert fn = multibyte(true, code, ctx->charsetHooks);
        for (size_t chunk : {size_t(0), size_t(1), size_t(7)}) {
            for (size_t cap : {2 * in.size() + 16, size_t(6)}) {
                StreamResult r = runStream(fn, in, chunk, cap);
                EXPECT_EQ(r.status, 0);
                size_t at = firstDiff(r.out, want);
                EXPECT_TRUE(r.out == want)
                    << "code " << code << " chunk " << chunk << " cap " << cap << " byte " << at;
            }
        }
        Units text = unitsOf(in);
        char *s = nullptr;
        ASSERT_EQ(Charset_fromUstrN(ctx, text.data(), text.size(), &s, code), 0);
        EXPECT_TRUE(Bytes(s, s + strlen(s)) == want)
            << code << " at " << firstDiff(Bytes(s, s + strlen(s)), want);
        Mem_free(s);
    }
}

struct Case {
    const char *name;
    uint32_t code;
    Bytes in;
    Units out;
    int status;
    size_t consumed;
};

TEST_F(CharsetCjk, DecodesMalformedAndTruncatedInputCaseByCase)
{
    const Case cases[] = {
        {"katakana byte", 31, {0xB1}, u"\uFF71", 0, 1},
        {"cut lead", 31, {0x81}, u"", Res_charsetIncomplete, 0},
        {"bytes that are not characters", 31, {0x80, 0xA0, 'a', 0xFD, 0xFF}, u"a", 0, 5},
        {"unassigned pair keeps its ASCII byte", 31, {0x85, 0x40}, u"\uFFFD@", 0, 2},
        {"code page 932 extra pair", 31, {0xFA, 0x5C}, u"\u7E8A", 0, 2},
        {"JIS-Roman yen", 32, {0x1B, '(', 'J', 0x5C, '~'}, u"\u00A5~", 0, 5},
        {"cut escape", 32, {'a', 0x1B, '$'}, u"a", Res_charsetIncomplete, 1},
        {"line end returns to ASCII",
         32,
         {0x1B, '$', 'B', 0x24, 0x22, '\n', 0x24, 0x22},
         u"\u3042\n$\"",
         0,
         8},
        {"control byte inside a pair is kept",
         32,
         {0x1B, '$', 'B', 0x24, '\n', 'a'},
         u"\uFFFD\na",
         0,
         6},
        {"eight-bit byte", 32, {0xA4, 'a'}, u"\uFFFDa", 0, 2},
        {"cut pair", 32, {0x1B, '$', 'B', 0x24}, u"", Res_charsetIncomplete, 3},
        {"unknown escape is dropped", 32, {0x1B, '$', 'D', 'a'}, u"a", 0, 4},
        {"half-width katakana", 33, {0x8E, 0xB1}, u"\uFF71", 0, 2},
        {"bad katakana trail keeps ASCII", 33, {0x8E, 'A'}, u"\uFFFDA", 0, 2},
        {"JIS X 0212 is one replacement", 33, {0x8F, 0xA2, 0xC3, 'a'}, u"\uFFFDa", 0, 4},
        {"bad JIS X 0212 byte", 33, {0x8F, 0xA2, 'x'}, u"\uFFFD\uFFFDx", 0, 3},
        {"lone lead before ASCII", 33, {0xA4, 'a'}, u"\uFFFDa", 0, 2},
        {"cut two-byte", 33, {0xA4}, u"", Res_charsetIncomplete, 0},
        {"Korean lead before a line end", 30, {0xB0, '\n', 0xB0, 0xA1}, u"\uFFFD\n\uAC00", 0, 4},
        {"Big5 cut", 34, {'a', 0xA4}, u"a", Res_charsetIncomplete, 1},
        {"GB18030 first four-byte form", 35, {0x81, 0x30, 0x81, 0x30}, u"\u0080", 0, 4},
        {"GB18030 above U+FFFF", 35, {0x90, 0x30, 0x81, 0x30}, u"\U00010000", 0, 4},
        {"GB18030 last form", 35, {0xE3, 0x32, 0x9A, 0x35}, u"\U0010FFFF", 0, 4},
        {"GB18030 index between the planes", 35, {0x84, 0x31, 0xA5, 0x30}, u"\uFFFD", 0, 4},
        {"GB18030 broken four-byte form", 35, {0x81, 0x30, 'A', '0'}, u"\uFFFD0A0", 0, 4},
        {"GB18030 cut four-byte form", 35, {0x81, 0x30, 0x81}, u"", Res_charsetIncomplete, 0},
        {"GB18030 lead 0x80 and 0xFF", 35, {0x80, 0xFF, 'a'}, u"\uFFFD\uFFFDa", 0, 3},
        {"GB18030 bad second byte", 35, {0x81, 0x7F, 0x81, 0xFF}, u"\uFFFD\x7F\uFFFD", 0, 4},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> dst(64);
        size_t consumed = 0, produced = 0;
        CharsetState st = {0, 0};
        int r = Charset_decodeMultibyte(c.code, c.in.data(), c.in.size(), dst.data(), dst.size(),
                                        &consumed, &produced, &st, ctx->charsetHooks);
        Units got = unitsOf(Bytes(dst.begin(), dst.begin() + produced));
        EXPECT_EQ(r, c.status) << c.name;
        EXPECT_TRUE(got == c.out) << c.name << ": " << hexUnits(got);
        EXPECT_EQ(consumed, c.consumed) << c.name;
    }
}

// The whole-string call turns a cut tail into one U+FFFD.
TEST_F(CharsetCjk, WholeStringDecodingReplacesACutTail)
{
    char16_t *s = nullptr;
    const uint8_t in[] = {'a', 0xB0};
    ASSERT_EQ(Charset_toUstrN(ctx, in, 2, &s, CharsetCode_korean), 0);
    EXPECT_TRUE(Units(s) == u"a\uFFFD");
    Mem_free(s);
}

TEST_F(CharsetCjk, EncodesSpecialCasesCaseByCase)
{
    struct EncCase {
        const char *name;
        uint32_t code;
        Units in;
        Bytes out;
    } cases[] = {
        {"GB18030 above U+FFFF", 35, u"\U00010000", {0x90, 0x30, 0x81, 0x30}},
        {"GB18030 four-byte BMP", 35, u"\u0080", {0x81, 0x30, 0x81, 0x30}},
        {"GB18030 two-byte", 35, u"\u554A", {0xB0, 0xA1}},
        {"katakana in Shift_JIS", 31, u"\uFF71", {0xB1}},
        {"katakana in EUC-JP", 33, u"\uFF71", {0x8E, 0xB1}},
        // ISO-2022-JP has no half-width katakana: '?' in ASCII, never an
        // eight-bit byte inside two-byte text.
        {"katakana in ISO-2022-JP",
         32,
         u"\u3042\uFF71",
         {0x1B, '$', 'B', 0x24, 0x22, 0x1B, '(', 'B', '?'}},
        {"unmappable in ISO-2022-JP",
         32,
         u"\u3042\u0E01\u3042",
         {0x1B, '$', 'B', 0x24, 0x22, 0x1B, '(', 'B', '?', 0x1B, '$', 'B', 0x24, 0x22, 0x1B, '(',
          'B'}},
        {"code page 932 preferred code", 31, u"\u7E8A", {0xED, 0x40}},
        {"code page 932 extension in EUC-JP", 33, u"\u2460", {0xAD, 0xA1}},
        {"user-defined area has no EUC form", 33, u"\uE000", {'?'}},
        {"replacement character", 30, u"\uFFFD", {'?'}},
        {"character above U+FFFF", 34, u"\U0001F600", {'?'}},
    };
    for (const EncCase &c : cases) {
        char *s = nullptr;
        ASSERT_EQ(Charset_fromUstrN(ctx, c.in.data(), c.in.size(), &s, c.code), 0) << c.name;
        EXPECT_TRUE(Bytes(s, s + strlen(s)) == c.out) << c.name;
        Mem_free(s);
    }
}

TEST_F(CharsetCjk, EncoderStopsBeforeACharacterWithItsEscape)
{
    const Units in = u"a\u3042";
    Bytes src = bytesOf(in);
    uint8_t dst[8];
    size_t consumed = 0, produced = 0;
    CharsetState st = {0, 1};
    // Room for 'a' and the escape but not the pair: nothing of the second
    // character is written and the state stays ASCII.
    EXPECT_EQ(Charset_encodeMultibyte(32, src.data(), src.size(), dst, 4, &consumed, &produced, &st,
                                      ctx->charsetHooks),
              Res_charsetDestFull);
    EXPECT_EQ(consumed, 2u);
    EXPECT_EQ(produced, 1u);
    EXPECT_EQ(st.shift, 0u);
    // A high surrogate at the end waits for its partner.
    const Units cut = u"\xD800";
    src = bytesOf(cut);
    EXPECT_EQ(Charset_encodeMultibyte(35, src.data(), src.size(), dst, 8, &consumed, &produced, &st,
                                      ctx->charsetHooks),
              Res_charsetIncomplete);
    EXPECT_EQ(consumed, 0u);
}

// ISO-2022-JP's shift state lives in the caller's record: a chunk that
// starts inside two-byte text decodes as two-byte text.
TEST_F(CharsetCjk, Iso2022jpKeepsItsShiftStateAcrossCalls)
{
    const Bytes in = {0x1B, '$', 'B', 0x24, 0x22, 0x24, 0x24, 0x1B, '(', 'B', 'z'};
    for (size_t split = 1; split < in.size(); split++) {
        StreamResult r = runStream(multibyte(false, 32, ctx->charsetHooks), in, split, 64);
        EXPECT_TRUE(unitsOf(r.out) == u"\u3042\u3044z") << split;
    }
    CharsetState st = {0, 0};
    uint8_t dst[16];
    size_t consumed, produced;
    const uint8_t first[] = {0x1B, '$', 'B'}, second[] = {0x24, 0x22};
    EXPECT_EQ(Charset_decodeMultibyte(32, first, 3, dst, 16, &consumed, &produced, &st,
                                      ctx->charsetHooks),
              0);
    EXPECT_EQ(st.shift, 2u);
    EXPECT_EQ(Charset_decodeMultibyte(32, second, 2, dst, 16, &consumed, &produced, &st,
                                      ctx->charsetHooks),
              0);
    EXPECT_EQ(unitsOf(Bytes(dst, dst + produced)), u"\u3042");
    // The encoder returns to ASCII at the end only when told it is the end.
    Bytes src = bytesOf(u"\u3042");
    CharsetState enc = {0, 0};
    EXPECT_EQ(Charset_encodeMultibyte(32, src.data(), 2, dst, 16, &consumed, &produced, &enc,
                                      ctx->charsetHooks),
              0);
    EXPECT_EQ(produced, 5u);
    EXPECT_EQ(enc.shift, 2u);
    enc.final = 1;
    EXPECT_EQ(Charset_encodeMultibyte(32, src.data(), 0, dst, 16, &consumed, &produced, &enc,
                                      ctx->charsetHooks),
              0);
    EXPECT_TRUE(Bytes(dst, dst + produced) == (Bytes{0x1B, '(', 'B'}));
    EXPECT_EQ(enc.shift, 0u);
}

TEST_F(CharsetCjk, JisHooksRoundTripEveryRowAndCell)
{
    for (uint32_t row = 0x21; row <= 0x7E; row++) {
        for (uint32_t cell = 0x21; cell <= 0x7E; cell++) {
            uint32_t sjis = Charset_jisToSjis(row, cell);
            uint8_t pair[2] = {uint8_t(sjis >> 8), uint8_t(sjis)};
            ASSERT_EQ(Charset_sjisToJis(pair), 0) << row << " " << cell;
            ASSERT_EQ(pair[0], row);
            ASSERT_EQ(pair[1], cell);
            uint8_t euc[2] = {uint8_t(sjis >> 8), uint8_t(sjis)};
            ASSERT_EQ(Charset_sjisToEuc(euc), 0);
            ASSERT_EQ(euc[0], row + 0x80);
            ASSERT_EQ(euc[1], cell + 0x80);
        }
    }
    uint8_t outside[2] = {0xF0, 0x40};
    EXPECT_NE(Charset_sjisToJis(outside), 0);
    EXPECT_EQ(outside[0], 0xF0);
}

// Every two-byte code of the Japanese table set against code page 932 as
// Python's cp932 codec has it (tests/fixtures/charset/make_cp932_reference.py):
// the table lookup of each code; the decoders of Shift_JIS and, for codes
// with a JIS X 0208 form, EUC-JP over all mapped codes at once; and the
// encoder, which writes each character with the code the codec prefers.
TEST_F(CharsetCjk, EveryJapaneseCodeMatchesCodePage932)
{
    Bytes ref = readFixture("cp932_decode.bin");
    std::map<uint32_t, uint32_t> prefer;
    {
        Bytes text = readFixture("cp932_prefer.txt");
        std::string all(text.begin(), text.end());
        for (size_t at = 0; at + 9 <= all.size(); at += 10)
            prefer[std::stoul(all.substr(at, 4), nullptr, 16)] =
                std::stoul(all.substr(at + 5, 4), nullptr, 16);
        ASSERT_EQ(prefer.size(), all.size() / 10);
    }
    std::vector<uint32_t> leads;
    for (uint32_t l = 0x81; l <= 0x9F; l++)
        leads.push_back(l);
    for (uint32_t l = 0xE0; l <= 0xFC; l++)
        leads.push_back(l);
    ASSERT_EQ(ref.size(), leads.size() * (0xFD - 0x40) * 2);
    const CharsetHooks *h = ctx->charsetHooks;
    Bytes sjis, euc, encoded;
    Units units, eucUnits;
    size_t mapped = 0, at = 0;
    for (uint32_t lead : leads) {
        for (uint32_t trail = 0x40; trail <= 0xFC; trail++, at += 2) {
            uint32_t code = (lead << 8) | trail;
            uint32_t want = ref[at] | (ref[at + 1] << 8);
            ASSERT_EQ(Charset_lookupMultibyte(code, h->japanese, h), want) << std::hex << code;
            if (want == 0xFFFD)
                continue;
            mapped++;
            sjis.push_back(uint8_t(lead));
            sjis.push_back(uint8_t(trail));
            units.push_back(char16_t(want));
            uint32_t preferred = prefer.count(code) ? prefer[code] : code;
            encoded.push_back(uint8_t(preferred >> 8));
            encoded.push_back(uint8_t(preferred));
            uint8_t pair[2] = {uint8_t(lead), uint8_t(trail)};
            if (Charset_sjisToEuc(pair) == 0) {
                euc.push_back(pair[0]);
                euc.push_back(pair[1]);
                eucUnits.push_back(char16_t(want));
            }
        }
    }
    EXPECT_EQ(mapped, 9604u);
    Units got = decode(31, sjis);
    EXPECT_TRUE(got == units) << "unit " << firstDiff(got, units);
    got = decode(33, euc);
    EXPECT_TRUE(got == eucUnits) << "unit " << firstDiff(got, eucUnits);
    char *out = nullptr;
    ASSERT_EQ(Charset_fromUstrN(ctx, units.data(), units.size(), &out, 31), 0);
    Bytes back(out, out + strlen(out));
    Mem_free(out);
    EXPECT_TRUE(back == encoded) << "byte " << firstDiff(back, encoded);
}

// The conversions between Shift_JIS, JIS X 0208 row and cell, and EUC-JP
// at their named points, and the extra pairs.
TEST_F(CharsetCjk, JapanesePairConversions)
{
    struct ToJis {
        uint8_t lead, trail, row, cell;
    } toJis[] = {{0x81, 0x40, 0x21, 0x21}, {0x88, 0x9F, 0x30, 0x21}, {0x81, 0x80, 0x21, 0x60},
                 {0x9F, 0xFC, 0x5E, 0x7E}, {0xE0, 0x40, 0x5F, 0x21}, {0xEF, 0xFC, 0x7E, 0x7E}};
    for (const ToJis &c : toJis) {
        uint8_t pair[2] = {c.lead, c.trail};
        ASSERT_EQ(Charset_sjisToJis(pair), 0);
        EXPECT_EQ(pair[0], c.row);
        EXPECT_EQ(pair[1], c.cell);
        uint8_t e[2] = {c.lead, c.trail};
        ASSERT_EQ(Charset_sjisToEuc(e), 0);
        EXPECT_EQ(e[0], c.row + 0x80);
        EXPECT_EQ(e[1], c.cell + 0x80);
        EXPECT_EQ(Charset_jisToSjis(c.row, c.cell), (uint32_t(c.lead) << 8) | c.trail);
    }
    // Codes without a JIS X 0208 form are left alone.
    for (uint32_t code : {0x817Fu, 0x813Fu, 0x81FDu, 0xA040u, 0xF040u, 0xFA40u}) {
        uint8_t pair[2] = {uint8_t(code >> 8), uint8_t(code)};
        EXPECT_NE(Charset_sjisToJis(pair), 0) << std::hex << code;
        EXPECT_EQ(pair[0], code >> 8);
    }
    const CharsetHooks *h = ctx->charsetHooks;
    EXPECT_EQ(Charset_japaneseFallback(0x8791, h->japanese), 0x2261u);
    EXPECT_EQ(Charset_japaneseFallback(0xFA5C, h->japanese), 0x7E8Au);
    // 0x8790 is code page 932's U+2252 (also 0x81E0).
    EXPECT_EQ(Charset_japaneseFallback(0x8790, h->japanese), 0x2252u);
    EXPECT_EQ(Charset_japaneseFallback(0x8791, h->big5), 0xFFFDu);
    EXPECT_EQ(Charset_japaneseFallback(0x8140, h->japanese), 0xFFFDu);
    EXPECT_EQ(Charset_lookupMultibyte(0x887F, h->japanese, h), 0xFFFDu);
}

// The fallback hook is shared: it must not answer for other tables.
TEST_F(CharsetCjk, JapaneseExtraPairsDoNotLeakIntoOtherTables)
{
    EXPECT_TRUE(decode(31, {0xFA, 0x5C}) == u"\u7E8A");
    EXPECT_TRUE(decode(34, {0xFA, 0x5C}) != u"\u7E8A");
    EXPECT_EQ(Charset_lookupMultibyte(0xFA5C, ctx->charsetHooks->korean, ctx->charsetHooks),
              0xFFFDu);
}

TEST_F(CharsetCjkNoTables, MissingTablesAreReported)
{
    const uint8_t in[] = {0xA4, 0x40};
    Bytes src = bytesOf(u"\u4E00");
    uint8_t dst[8];
    size_t consumed = 9, produced = 9;
    EXPECT_EQ(Charset_isAvailable(ctx, 34), 0);
    EXPECT_EQ(Charset_big5ToUtf16(ctx, in, 2, dst, 8, &consumed, &produced, nullptr),
              Res_charsetNoTable);
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(Charset_encodeMultibyte(34, src.data(), 2, dst, 8, &consumed, &produced, nullptr,
                                      ctx->charsetHooks),
              Res_charsetNoTable);
    EXPECT_EQ(Charset_decodeMultibyte(29, in, 2, dst, 8, &consumed, &produced, nullptr,
                                      ctx->charsetHooks),
              Res_charsetUnknown);
    char16_t *s = reinterpret_cast<char16_t *>(1);
    EXPECT_EQ(Charset_toUstrN(ctx, in, 2, &s, 34), Res_charsetUnknown);
    EXPECT_EQ(s, nullptr);
    char *b = reinterpret_cast<char *>(1);
    EXPECT_EQ(Charset_fromUstrN(ctx, u"\u4E00", 1, &b, 34), Res_charsetUnknown);
    EXPECT_EQ(b, nullptr);
    // Without any hooks record at all.
    EXPECT_EQ(Charset_sjisToUtf16(nullptr, in, 2, dst, 8, &consumed, &produced, nullptr),
              Res_charsetNoTable);
    EXPECT_EQ(Charset_isAvailable(nullptr, 31), 0);
    EXPECT_EQ(Charset_isAvailable(nullptr, 10), 1);

    ASSERT_EQ(Charset_installBig5(ctx->charsetHooks), 0);
    EXPECT_EQ(Charset_isAvailable(ctx, 34), 1);
    EXPECT_EQ(Charset_isAvailable(ctx, 35), 0);
    EXPECT_TRUE(decode(34, {0xA4, 0x40}) == u"\u4E00");
}

// Every allocation of the hooks and the install calls can fail; each
// failure is clean and leaves nothing allocated, and a later call works.
TEST_F(CharsetCjkNoTables, HooksSurviveMemoryExhaustion)
{
    Charset_destroyHooks(ctx);
    int (*const installs[])(CharsetHooks *) = {Charset_installJapanese, Charset_installBig5,
                                               Charset_installKorean, Charset_installChinese};
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        int r = Charset_createHooks(ctx);
        for (auto install : installs) {
            if (r == 0)
                r = install(ctx->charsetHooks);
        }
        Mem_failAfter(0);
        Charset_destroyHooks(ctx);
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << n;
        if (r == 0)
            break;
        EXPECT_EQ(r, Res_noMemory);
        ASSERT_LT(n, 20u);
    }
    ASSERT_EQ(Charset_createHooks(ctx), 0);
}

} // namespace
