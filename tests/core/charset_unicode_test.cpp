// Unicode converters: UTF-8 and UTF-16 decoding (valid text against
// Python's codecs, fed whole, byte by byte and in chunks; malformed and
// truncated input case by case), Latin-1 and UTF-8 encoding, and the
// whole-string UTF-8 helpers with their round trip above U+FFFF.
#include <cstring>

#include "core/text/charset_internal.h"
#include "tests/core/charset_support.h"

namespace {

using CharsetUnicode = CharsetEngine;

struct DecodeCase {
    const char *name;
    Bytes in;
    Units out;
    int status;
    size_t consumed;
};

int decodeOnce(CharsetConverter fn, const Bytes &in, Units *out, size_t *consumed,
               size_t capUnits = 64)
{
    std::vector<uint8_t> dst(2 * capUnits);
    size_t produced = 0;
    CharsetState st = {0, 0};
    int r = fn(nullptr, in.data(), in.size(), dst.data(), dst.size(), consumed, &produced, &st);
    *out = unitsOf(Bytes(dst.begin(), dst.begin() + produced));
    return r;
}

TEST_F(CharsetUnicode, Utf8DecodesMalformedAndTruncatedInputCaseByCase)
{
    const DecodeCase cases[] = {
        {"overlong two-byte", {0xC0, 0x80}, u"\uFFFD", 0, 2},
        {"overlong three-byte", {0xE0, 0x80, 0xAF}, u"\uFFFD", 0, 3},
        {"cut three-byte", {0xE2, 0x82}, u"", Res_charsetIncomplete, 0},
        {"bad continuation", {0xE2, 0x28, 0xA1}, u"\uFFFD(\uFFFD", 0, 3},
        {"bad continuation at the end", {'a', 0xE2, 0x28}, u"a\uFFFD(", 0, 3},
        {"four-byte", {0xF0, 0x9F, 0x98, 0x80}, u"\U0001F600", 0, 4},
        {"surrogate", {0xED, 0xA0, 0x80}, u"\uFFFD", 0, 3},
        {"above U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, u"\uFFFD", 0, 4},
        {"five-byte form", {0xF8, 0x88, 0x80, 0x80, 0x80, 'x'}, u"\uFFFDx", 0, 6},
        {"lone continuation", {0x80, 'a'}, u"\uFFFDa", 0, 2},
        {"FE and FF", {0xFE, 0xFF}, u"\uFFFD\uFFFD", 0, 2},
        {"cut after valid text", {'o', 'k', 0xF0, 0x9F, 0x98}, u"ok", Res_charsetIncomplete, 2},
    };
    for (const DecodeCase &c : cases) {
        Units out;
        size_t consumed = 0;
        int r = decodeOnce(Charset_utf8ToUtf16, c.in, &out, &consumed);
        EXPECT_EQ(r, c.status) << c.name;
        EXPECT_EQ(out, c.out) << c.name << ": " << hexUnits(out);
        EXPECT_EQ(consumed, c.consumed) << c.name;
    }
}

TEST_F(CharsetUnicode, Utf16DecodesSurrogatesAndByteOrderMarksCaseByCase)
{
    struct Case {
        const char *name;
        CharsetConverter fn;
        Bytes in;
        Units out;
        int status;
        size_t consumed;
    } cases[] = {
        {"LE mark skipped", Charset_utf16leToUtf16, {0xFF, 0xFE, 0x41, 0x00}, u"A", 0, 4},
        {"LE mark in the middle kept",
         Charset_utf16leToUtf16,
         {0x41, 0x00, 0xFF, 0xFE},
         u"A\uFEFF",
         0,
         4},
        {"BE pair", Charset_utf16beToUtf16, {0xD8, 0x3D, 0xDE, 0x00}, u"\U0001F600", 0, 4},
        {"BE broken pair", Charset_utf16beToUtf16, {0xD8, 0x3D, 0x00, 0x41}, u"\uFFFD", 0, 4},
        {"BE cut pair",
         Charset_utf16beToUtf16,
         {0x00, 0x41, 0xD8, 0x3D},
         u"A",
         Res_charsetIncomplete,
         2},
        {"BE lone low", Charset_utf16beToUtf16, {0xDC, 0x00, 0x00, 0x42}, u"\uFFFDB", 0, 4},
        {"odd byte left", Charset_utf16leToUtf16, {0x41, 0x00, 0x42}, u"A", 0, 2},
    };
    for (const Case &c : cases) {
        Units out;
        size_t consumed = 0;
        int r = decodeOnce(c.fn, c.in, &out, &consumed);
        EXPECT_EQ(r, c.status) << c.name;
        EXPECT_EQ(out, c.out) << c.name << ": " << hexUnits(out);
        EXPECT_EQ(consumed, c.consumed) << c.name;
    }
}

TEST_F(CharsetUnicode, DecodersStopBeforeACharacterThatDoesNotFit)
{
    Units out;
    size_t consumed = 0;
    // Room for one unit: a surrogate pair waits, nothing of it taken.
    EXPECT_EQ(decodeOnce(Charset_utf8ToUtf16, {'a', 0xF0, 0x9F, 0x98, 0x80}, &out, &consumed, 1),
              Res_charsetDestFull);
    EXPECT_EQ(out, u"a");
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(decodeOnce(Charset_utf16beToUtf16, {0xD8, 0x3D, 0xDE, 0x00}, &out, &consumed, 1),
              Res_charsetDestFull);
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(decodeOnce(Charset_latin1ToUtf16, {'a', 'b', 'c'}, &out, &consumed, 2),
              Res_charsetDestFull);
    EXPECT_EQ(out, u"ab");
}

// Valid text against Python's codecs, fed whole, byte by byte, in chunks of
// seven bytes and through a destination of three units.
TEST_F(CharsetUnicode, DecodersMatchPythonInEveryFeedingPattern)
{
    for (uint32_t code : {1u, 3u, 4u}) {
        Bytes in = readFixture("dec_" + std::to_string(code) + ".in");
        Units want = unitsOf(readFixture("dec_" + std::to_string(code) + ".out"));
        CharsetConverter fn = Charset_findConverter(code, CharsetCode_utf16, nullptr, nullptr);
        ASSERT_NE(fn, nullptr);
        for (size_t chunk : {size_t(0), size_t(1), size_t(7)}) {
            for (size_t cap : {2 * in.size() + 4, size_t(6)}) {
                StreamResult r = runStream(bindConverter(fn, ctx), in, chunk, cap);
                Units got = unitsOf(r.out);
                EXPECT_EQ(r.status, 0) << code;
                EXPECT_EQ(r.left, 0u) << code;
                size_t at = firstDiff(got, want);
                EXPECT_EQ(got, want)
                    << "code " << code << " chunk " << chunk << " cap " << cap << " at " << at
                    << ": " << hexUnits(got, at) << "/ " << hexUnits(want, at);
            }
        }
        char16_t *s = nullptr;
        ASSERT_EQ(Charset_toUstrN(ctx, in.data(), in.size(), &s, code), 0);
        EXPECT_EQ(Units(s), want) << code;
        Mem_free(s);
    }
}

TEST_F(CharsetUnicode, EncodersMatchPythonInEveryFeedingPattern)
{
    for (uint32_t code : {0u, 1u}) {
        Bytes in = readFixture("enc_" + std::to_string(code) + ".in");
        Bytes want = readFixture("enc_" + std::to_string(code) + ".out");
        CharsetConverter fn = Charset_findConverter(CharsetCode_utf16, code, nullptr, nullptr);
        ASSERT_NE(fn, nullptr);
        for (size_t chunk : {size_t(0), size_t(1), size_t(7)}) {
            for (size_t cap : {2 * in.size() + 4, size_t(5)}) {
                StreamResult r = runStream(bindConverter(fn, ctx), in, chunk, cap);
                EXPECT_EQ(r.status, 0);
                EXPECT_EQ(r.out, want)
                    << "code " << code << " chunk " << chunk << " at " << firstDiff(r.out, want);
            }
        }
        Units text = unitsOf(in);
        char *s = nullptr;
        ASSERT_EQ(Charset_fromUstrN(ctx, text.data(), text.size(), &s, code), 0);
        EXPECT_EQ(Bytes(s, s + strlen(s)), want) << code;
        Mem_free(s);
    }
}

TEST_F(CharsetUnicode, EncodersReadCodePointsPairAware)
{
    auto encode = [](CharsetConverter fn, const Units &u, size_t cap, size_t *consumed,
                     int *status) {
        Bytes src = bytesOf(u);
        std::vector<uint8_t> dst(cap + 1);
        size_t produced = 0;
        *status =
            fn(nullptr, src.data(), src.size(), dst.data(), cap, consumed, &produced, nullptr);
        return Bytes(dst.begin(), dst.begin() + produced);
    };
    size_t consumed;
    int status;
    EXPECT_EQ(encode(Charset_utf16ToLatin1, u"\u00FF\u0100", 8, &consumed, &status),
              (Bytes{0xFF, '?'}));
    EXPECT_EQ(encode(Charset_utf16ToLatin1, u"\U0001F600", 8, &consumed, &status), (Bytes{'?'}));
    // A high surrogate at the end waits for its partner.
    EXPECT_EQ(encode(Charset_utf16ToUtf8, u"a\xD83D", 8, &consumed, &status), (Bytes{'a'}));
    EXPECT_EQ(status, Res_charsetIncomplete);
    EXPECT_EQ(consumed, 2u);
    // Unpaired surrogates read as U+FFFD.
    EXPECT_EQ(encode(Charset_utf16ToUtf8,
                     u"\xDE00"
                     "a"
                     u"\xD83D"
                     "b",
                     16, &consumed, &status),
              (Bytes{0xEF, 0xBF, 0xBD, 'a', 0xEF, 0xBF, 0xBD, 'b'}));
    // The whole sequence must fit.
    EXPECT_EQ(encode(Charset_utf16ToUtf8, u"\u20AC", 2, &consumed, &status), Bytes());
    EXPECT_EQ(status, Res_charsetDestFull);
    EXPECT_EQ(consumed, 0u);
}

// With a state record the byte-order mark is skipped only at the start of
// the text, not at the start of every chunk.
TEST_F(CharsetUnicode, Utf16KeepsAByteOrderMarkThatStartsALaterChunk)
{
    Bytes in = {0xFF, 0xFE, 'A', 0, 0xFF, 0xFE, 'B', 0};
    for (size_t chunk : {size_t(0), size_t(2), size_t(4)}) {
        StreamResult r = runStream(bindConverter(Charset_utf16leToUtf16, ctx), in, chunk, 64);
        EXPECT_EQ(unitsOf(r.out), u"A\uFEFFB") << chunk;
    }
}

// ------------------------------------------------- whole-string helpers

TEST_F(CharsetUnicode, CharactersAboveFFFFSurviveTheUtf8RoundTrip)
{
    const Units text = u"a\u00E9\u20AC\U0001F600\U0010FFFFz";
    size_t size8 = 0, size16 = 0;
    Ustr_utf8Len(text.c_str(), &size8, &size16);
    EXPECT_EQ(size8, 1 + 2 + 3 + 4 + 4 + 1 + 1u);
    EXPECT_EQ(size16, 2 * (text.size() + 1));
    std::vector<char> utf8(size8);
    EXPECT_EQ(Ustr_toUtf8(utf8.data(), text.c_str()), utf8.data() + size8);
    EXPECT_STREQ(utf8.data(), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBFz");
    size_t units = Utf8_charCount(utf8.data());
    EXPECT_EQ(units, text.size() + 1);
    std::vector<char16_t> back(units);
    EXPECT_EQ(Utf8_toUstr(back.data(), utf8.data()), back.data() + units);
    EXPECT_EQ(Units(back.data()), text);
}

TEST_F(CharsetUnicode, UstrToUtf8WritesUnpairedSurrogatesAsReplacement)
{
    const Units text = u"\xDC00"
                       "x"
                       u"\xD800";
    size_t size8 = 0;
    Ustr_utf8Len(text.c_str(), &size8, nullptr);
    EXPECT_EQ(size8, 3 + 1 + 3 + 1u);
    std::vector<char> utf8(size8);
    Ustr_toUtf8(utf8.data(), text.c_str());
    EXPECT_STREQ(utf8.data(), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

// Each text is copied to a block of exactly its size, so the sanitizer
// build reports any read past the terminator.
TEST_F(CharsetUnicode, Utf8ToUstrValidatesAndNeverReadsPastTheEnd)
{
    struct Case {
        const char *in;
        Units out;
    } cases[] = {
        {"\xE2\x82", u"\uFFFD"},
        {"ab\xF0", u"ab\uFFFD"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xC0\x80x", u"\uFFFDx"},
        {"\xE2(\xA1", u"\uFFFD(\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD"},
        {"", u""},
    };
    for (const Case &c : cases) {
        size_t n = strlen(c.in) + 1;
        char *copy = static_cast<char *>(malloc(n));
        memcpy(copy, c.in, n);
        size_t units = Utf8_charCount(copy);
        EXPECT_EQ(units, c.out.size() + 1) << c.in;
        std::vector<char16_t> out(units + 4, 0x7777);
        char16_t *end = Utf8_toUstr(out.data(), copy);
        EXPECT_EQ(size_t(end - out.data()), units) << c.in;
        EXPECT_EQ(Units(out.data()), c.out) << c.in;
        free(copy);
    }
}

} // namespace
