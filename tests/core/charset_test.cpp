// Charset codes, names and the conversion entry points: the name and
// display-name tables, the converter table and its state rule, the identity
// converter, and the whole-string conversions with their faults mended
// (code 2 reads only what it was given, U+00FF is Latin-1 0xFF, UTF-16BE
// and UTF-16LE decode), with every allocating call under memory exhaustion.
#include <cstring>

#include "core/text/ustr.h"
#include "tests/core/charset_support.h"

namespace {

using CharsetEntry = CharsetEngine;

TEST_F(CharsetEntry, NamesMapToCodesCaseInsensitively)
{
    struct Case {
        const char16_t *name;
        int result;
        uint32_t code;
    } cases[] = {
        {u"utf-8", 0, 1},
        {u"Utf-8", 0, 1},
        {u"UTF-8", 0, 1},
        {u"ISO-8859-8-I", 0, 21},
        {u"latin1", Res_charsetUnknown, 0},
        {u"shift_jis", 0, 31},
        {u"GB2312", 0, 35},
        {u"utf-16", 0, 2},
        {u"UTF-16LE", 0, 4},
        {u"ks_c_5601-1987", 0, 30},
        {u"", Res_charsetUnknown, 0},
        {u"UTF-8x", Res_charsetUnknown, 0},
    };
    for (const Case &c : cases) {
        uint32_t code = 77;
        EXPECT_EQ(Charset_fromName(c.name, &code), c.result);
        EXPECT_EQ(code, c.code);
        std::string narrow;
        for (const char16_t *p = c.name; *p; p++)
            narrow += char(*p);
        code = 77;
        EXPECT_EQ(Charset_fromCstrName(narrow.c_str(), &code), c.result) << narrow;
        EXPECT_EQ(code, c.code) << narrow;
    }
}

TEST_F(CharsetEntry, CodesHaveNamesAndDisplayNames)
{
    EXPECT_STREQ(Charset_getName(31), "windows-932");
    EXPECT_STREQ(Charset_getName(29), "unknown");
    EXPECT_STREQ(Charset_getName(36), "unknown");
    EXPECT_STREQ(Charset_getName(21), "ISO-8859-8");
    EXPECT_EQ(Ustr_cmp(Charset_getDisplayName(30), u"WINDOWS-949"), 0);
    EXPECT_EQ(Ustr_cmp(Charset_getDisplayName(17), u"WINDOWS-1252"), 0);
    EXPECT_EQ(Ustr_cmp(Charset_getDisplayName(31), u"Shift_JIS"), 0);
    EXPECT_EQ(Ustr_cmp(Charset_getDisplayName(0), u"ISO-8859-1"), 0);
    EXPECT_EQ(Ustr_cmp(Charset_getDisplayName(7), u"WINDOWS-874"), 0);
}

TEST_F(CharsetEntry, ConverterTableHasItsRows)
{
    for (uint32_t code = 0; code < 36; code++) {
        bool decoder = code != 2 && code != 5 && code != 29;
        bool encoder = code == 0 || code == 1 || (code >= 30 && code <= 35 && code != 34);
        if (code == 2)
            continue;
        EXPECT_EQ(Charset_findConverter(code, 2, nullptr, nullptr) != nullptr, decoder) << code;
        EXPECT_EQ(Charset_findConverter(2, code, nullptr, nullptr) != nullptr, encoder) << code;
    }
    EXPECT_EQ(Charset_findConverter(10, 1, nullptr, nullptr), nullptr);
}

TEST_F(CharsetEntry, FindConverterResetsTheStateOnlyWhenTheConverterChanges)
{
    CharsetState st = {2, 1};
    EXPECT_EQ(Charset_findConverter(10, 10, &st, nullptr), Charset_copyBytes);
    EXPECT_EQ(st.shift, 2u);
    EXPECT_EQ(Charset_findConverter(32, 2, &st, Charset_iso2022jpToUtf16),
              Charset_iso2022jpToUtf16);
    EXPECT_EQ(st.shift, 2u);
    EXPECT_EQ(Charset_findConverter(32, 2, &st, nullptr), Charset_iso2022jpToUtf16);
    EXPECT_EQ(st.shift, 0u);
    EXPECT_EQ(st.final, 0u);
    st = {2, 1};
    EXPECT_EQ(Charset_findConverter(2, 34, &st, Charset_iso2022jpToUtf16), nullptr);
    EXPECT_EQ(st.shift, 0u);
    Charset_resetState(nullptr);
}

TEST_F(CharsetEntry, CopyBytesReportsFullWhenTheCopyFillsTheDestination)
{
    const uint8_t src[5] = {1, 2, 3, 4, 5};
    uint8_t dst[6] = {};
    size_t consumed = 0, produced = 0;
    EXPECT_EQ(Charset_copyBytes(nullptr, src, 5, dst, 5, &consumed, &produced, nullptr),
              Res_charsetDestFull);
    EXPECT_EQ(consumed, 5u);
    EXPECT_EQ(produced, 5u);
    EXPECT_EQ(memcmp(dst, src, 5), 0);
    EXPECT_EQ(Charset_copyBytes(nullptr, src, 5, dst, 6, &consumed, &produced, nullptr), 0);
    EXPECT_EQ(Charset_copyBytes(nullptr, src, 5, dst, 3, &consumed, &produced, nullptr),
              Res_charsetDestFull);
    EXPECT_EQ(consumed, 3u);
}

TEST_F(CharsetEntry, ToUstrDecodesEveryKindOfCode)
{
    struct Case {
        uint32_t code;
        Bytes in;
        size_t n;
        Units out;
    } cases[] = {
        {0, {'a', 0xE9}, 2, u"a\u00E9"},
        {1, {'a', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}, 7, u"a\u00E9\U0001F600"},
        {1, {'a', 0xE2, 0x82}, 3, u"a\uFFFD"},
        {2, {0x41, 0x00, 0x42, 0x00}, 2, u"AB"},
        {3, {0xFE, 0xFF, 0x00, 0x41, 0xD8, 0x3D, 0xDE, 0x00}, 8, u"A\U0001F600"},
        {4, {0x41, 0x00, 0x42}, 3, u"A\uFFFD"},
        {5, {'a'}, 1, u""},
        {29, {'a'}, 1, u""},
        {10, {0x80, 'x'}, 2, u"\u20ACx"},
        {28, {0x4A}, 1, u"\u263A"},
        {31, {0x82, 0xA0}, 2, u"\u3042"},
        {0, {}, 0, u""},
    };
    for (const Case &c : cases) {
        char16_t *s = nullptr;
        ASSERT_EQ(Charset_toUstrN(ctx, c.in.data(), c.n, &s, c.code), 0) << c.code;
        EXPECT_TRUE(Units(s) == c.out) << c.code << ": " << hexUnits(Units(s));
        Mem_free(s);
    }
    char16_t *s = reinterpret_cast<char16_t *>(1);
    EXPECT_EQ(Charset_toUstrN(ctx, reinterpret_cast<const uint8_t *>("a"), 1, &s, 36),
              Res_charsetUnknown);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(Charset_toUstrN(ctx, nullptr, 3, &s, 0), Res_nullInput);
    ASSERT_EQ(Charset_toUstr(ctx, nullptr, &s, 1), 0);
    EXPECT_EQ(s[0], 0);
    Mem_free(s);
    ASSERT_EQ(Charset_toUstr(ctx, "caf\xC3\xA9", &s, 1), 0);
    EXPECT_TRUE(Units(s) == u"caf\u00E9");
    Mem_free(s);
}

// The bytes sit in a block of exactly their size: the sanitizer build
// reports a read of twice the length.
TEST_F(CharsetEntry, ToUstrOfTheEnginesOwnFormReadsOnlyTheBytesGiven)
{
    char *bytes = static_cast<char *>(malloc(6));
    memcpy(bytes, "ABCDE", 6);
    char16_t *s = nullptr;
    ASSERT_EQ(Charset_toUstr(ctx, bytes, &s, CharsetCode_utf16), 0);
    EXPECT_TRUE(Units(s) == u"\u4241\u4443");
    Mem_free(s);
    free(bytes);
}

TEST_F(CharsetEntry, FromUstrEncodesLatin1Utf8AndNothingElse)
{
    struct Case {
        uint32_t code;
        Units in;
        Bytes out;
    } cases[] = {
        {0, u"\u00FF", {0xFF}},
        {0, u"a\u0100\U0001F600", {'a', '?', '?'}},
        {1, u"\u00E9\U0001F600\xD800", {0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80, 0xEF, 0xBF, 0xBD}},
        {1, u"\xDC00x", {0xEF, 0xBF, 0xBD, 'x'}},
        {10, u"\u00FF", {}},
        {2, u"abc", {}},
        {32, u"\u3042", {0x1B, '$', 'B', 0x24, 0x22, 0x1B, '(', 'B'}},
        {32, u"\u3042\xD800", {0x1B, '$', 'B', 0x24, 0x22, 0x1B, '(', 'B', '?'}},
    };
    for (const Case &c : cases) {
        char *s = nullptr;
        ASSERT_EQ(Charset_fromUstrN(ctx, c.in.data(), c.in.size(), &s, c.code), 0) << c.code;
        EXPECT_TRUE(Bytes(s, s + strlen(s)) == c.out) << c.code;
        Mem_free(s);
    }
    char *s = reinterpret_cast<char *>(1);
    EXPECT_EQ(Charset_fromUstr(ctx, nullptr, &s, 1), Res_nullInput);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(Charset_fromUstr(ctx, u"a", &s, 36), Res_charsetUnknown);
    ASSERT_EQ(Charset_fromUstr(ctx, u"h\u00E9", &s, 1), 0);
    EXPECT_STREQ(s, "h\xC3\xA9");
    Mem_free(s);
}

TEST_F(CharsetEntry, RecodeGoesThroughSixteenBitText)
{
    char *s = nullptr;
    const uint8_t latin[] = {'c', 'a', 'f', 0xE9};
    ASSERT_EQ(Charset_recode(ctx, latin, 4, 0, &s, 1), 0);
    EXPECT_STREQ(s, "caf\xC3\xA9");
    Mem_free(s);
    ASSERT_EQ(Charset_recodeCstr(ctx, "\x82\xA0", 31, &s, 33), 0);
    EXPECT_STREQ(s, "\xA4\xA2");
    Mem_free(s);
    EXPECT_EQ(Charset_recodeCstr(ctx, "a", 40, &s, 1), Res_charsetUnknown);
    EXPECT_EQ(s, nullptr);
}

// Every allocating entry point under memory exhaustion: a clean failure,
// *out NULL and nothing leaked, for every allocation that can fail.
TEST_F(CharsetEntry, WholeStringCallsSurviveMemoryExhaustion)
{
    const uint8_t text[] = {0xE6, 0x97, 0xA5, 'x'};
    for (uint64_t n = 1;; n++) {
        size_t before = TestHeap_usedBytes();
        char *s = reinterpret_cast<char *>(1);
        Mem_failAfter(n);
        int r = Charset_recode(ctx, text, 4, 1, &s, 31);
        Mem_failAfter(0);
        if (r == 0) {
            EXPECT_STREQ(s, "\x93\xFAx");
            Mem_free(s);
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), before);
        ASSERT_LT(n, 10u);
    }
}

} // namespace
