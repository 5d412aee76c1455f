// 16-bit strings: the Latin case rule, comparisons, copies, searches,
// parsing and percent escapes, with a differential run of the comparison
// and search routines against plain reference code on random strings, and
// the allocating routines under memory exhaustion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "core/mem/mem.h"
#include "core/text/ustr.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

using U16 = std::u16string;

class UstrTest : public LeakCheckedHeapTest<(1u << 20)> {};

// ------------------------------------------------------------ reference
// The case rule written out literally, one clause per sentence of its
// description.
uint32_t refLower(uint32_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c | 0x20;
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    if (c == 0x130)
        return 'i';
    if (c >= 0x132 && c <= 0x137 && c % 2 == 0)
        return c + 1;
    if (c >= 0x139 && c <= 0x148 && c % 2 == 1)
        return c + 1;
    if (c == 0x178)
        return 0xFF;
    if (c == 0x179 || c == 0x17B || c == 0x17D)
        return c + 1;
    return c;
}

uint32_t refUpper(uint32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c & ~0x20u;
    if (c == 0xFF)
        return 0x178;
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x14A && c <= 0x177))
        return c & ~1u;
    if (c == 0x131)
        return 'I';
    if (c >= 0x132 && c <= 0x137 && c % 2 == 1)
        return c - 1;
    if (c >= 0x139 && c <= 0x148 && c % 2 == 0)
        return c - 1;
    if (c == 0x17A || c == 0x17C || c == 0x17E)
        return c - 1;
    if (c == 0x17F)
        return 'S';
    return c;
}

int refFold(uint32_t c)
{
    return static_cast<int>(c <= 0x17F ? refLower(c) : c);
}

int refCmp(const U16 &a, const U16 &b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        i++;
    int ca = i < a.size() ? a[i] : 0;
    int cb = i < b.size() ? b[i] : 0;
    return ca - cb;
}

int refNicmp(const U16 &a, const U16 &b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        int ca = i < a.size() ? a[i] : 0;
        int cb = i < b.size() ? b[i] : 0;
        if (ca == 0 && cb == 0)
            return 0;
        int d = refFold(ca) - refFold(cb);
        if (d)
            return d;
    }
    return 0;
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

// Random strings over an alphabet that mixes case pairs, the irregular
// Latin Extended-A letters, a letter above U+017F and a high unit.
U16 randomString(std::mt19937 &rng, size_t maxLen)
{
    static const char16_t alphabet[] = {u'a',  u'A',  u'b',  u'B',   u'z',  u'%',  u' ',
                                        0xDF,  0xFF,  0x178, 0x100,  0x101, 0x130, 0x131,
                                        0x17F, 0x410, 0x430, 0xFF80, u'4',  u'1'};
    std::uniform_int_distribution<size_t> len(0, maxLen);
    std::uniform_int_distribution<size_t> pick(0, sizeof alphabet / sizeof alphabet[0] - 1);
    U16 s;
    size_t n = len(rng);
    for (size_t i = 0; i < n; i++)
        s += alphabet[pick(rng)];
    return s;
}

// ------------------------------------------------------------ case rule

TEST(UstrCase, MatchesTheRuleEverywhere)
{
    for (uint32_t c = 0; c < 0x20000; c++) {
        ASSERT_EQ(Ustr_lowerChar(c), refLower(c)) << std::hex << int(c);
        ASSERT_EQ(Ustr_upperChar(c), refUpper(c)) << std::hex << int(c);
    }
    for (uint32_t c : {0x10FFFFu, 0xFFFFFFFFu, 0x80000000u}) {
        EXPECT_EQ(Ustr_lowerChar(c), c);
        EXPECT_EQ(Ustr_upperChar(c), c);
    }
}

TEST(UstrCase, IrregularLetters)
{
    struct Case {
        uint32_t in, lower, upper;
    } cases[] = {
        {0x130, 'i', 0x130},   {0x178, 0xFF, 0x178},  {0xFF, 0xFF, 0x178},   {0x17F, 0x17F, 'S'},
        {0x131, 0x131, 'I'},   {0xD7, 0xD7, 0xD7},    {0xF7, 0xF7, 0xF7},    {0xDF, 0xDF, 0xDF},
        {0x138, 0x138, 0x138}, {0x149, 0x149, 0x149}, {0x139, 0x13A, 0x139}, {0x148, 0x148, 0x147},
        {0x17D, 0x17E, 0x17D}, {0x17E, 0x17E, 0x17D}, {0xC0, 0xE0, 0xC0},    {0xFE, 0xFE, 0xDE},
        {0x410, 0x410, 0x410}, {0xB5, 0xB5, 0xB5},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Ustr_lowerChar(c.in), c.lower) << std::hex << c.in;
        EXPECT_EQ(Ustr_upperChar(c.in), c.upper) << std::hex << c.in;
    }
}

TEST(UstrCase, AsciiFormsTouchOnlyAscii)
{
    for (uint32_t c = 0; c < 0x200; c++) {
        EXPECT_EQ(Ustr_lowerAscii(c), c < 128 ? refLower(c) : c);
        EXPECT_EQ(Ustr_upperAscii(c), c < 128 ? refUpper(c) : c);
    }
}

// ----------------------------------------------------------- comparison

TEST(UstrCompare, NullRules)
{
    EXPECT_EQ(Ustr_len(nullptr), 0u);
    EXPECT_EQ(Ustr_cmp(nullptr, u"a"), -1);
    EXPECT_EQ(Ustr_cmp(u"a", nullptr), -1);
    EXPECT_EQ(Ustr_ncmp(nullptr, nullptr, 0), 0);
    EXPECT_EQ(Ustr_ncmp(nullptr, u"a", 1), -1);
    EXPECT_EQ(Ustr_cmpCstr(nullptr, "a"), -1);
    EXPECT_EQ(Ustr_ncmpCstr(u"a", nullptr, 1), -1);
    EXPECT_EQ(Ustr_ncmpCstr(nullptr, nullptr, 0), 0);
}

TEST(UstrCompare, Differences)
{
    EXPECT_EQ(Ustr_cmp(u"abc", u"abc"), 0);
    EXPECT_EQ(Ustr_cmp(u"abd", u"abc"), 1);
    EXPECT_EQ(Ustr_cmp(u"ab", u"abc"), -'c');
    EXPECT_EQ(Ustr_cmp(u"\xFFFF", u"a"), 0xFFFF - 'a');
    EXPECT_EQ(Ustr_ncmp(u"abX", u"abY", 2), 0);
    EXPECT_EQ(Ustr_ncmp(u"ab", u"ab", 10), 0);
    EXPECT_LT(Ustr_ncmp(u"ab", u"abc", 3), 0);
    EXPECT_EQ(Ustr_cmpCstr(u"abc", "abc"), 0);
    // The 8-bit side is read signed: byte 0xE9 is -23, never U+00E9.
    EXPECT_EQ(Ustr_cmpCstr(u"\x00E9", "\xE9"), 0xE9 + 23);
    EXPECT_EQ(Ustr_ncmpCstr(u"abc", "abd", 2), 0);
    EXPECT_EQ(Ustr_ncmpCstr(u"abc", "abd", 3), -1);
}

TEST(UstrCompare, CaseInsensitiveWith8Bit)
{
    EXPECT_EQ(Ustr_icmpCstr(u"Application/MSWord", "application/msword"), 0);
    EXPECT_NE(Ustr_icmpCstr(u"Stra\x00DF"
                            u"e",
                            "STRASSE"),
              0);
    // The walk stops at a unit above U+017F: the raw difference is returned.
    EXPECT_EQ(Ustr_icmpCstr(u"a\x0410", "aA"), 0x410 - 'A');
    // Folding happens only where the units differ; the result is raw.
    EXPECT_EQ(Ustr_icmpCstr(u"AB", "ac"), 'B' - 'c');
    EXPECT_EQ(Ustr_icmpCstr(u"ab", "abc"), -'c');
    EXPECT_GT(Ustr_icmpCstr(u"abc", "ab"), 0);
    EXPECT_NE(Ustr_icmpCstr(u"\x00C9", "\xC9"), 0);
    EXPECT_EQ(Ustr_nicmpCstr(u"HELLO world", "hello WORLD", 11), 0);
    EXPECT_EQ(Ustr_nicmpCstr(u"HELLOx", "hellOy", 5), 0);
    EXPECT_EQ(Ustr_nicmpCstr(u"a", "b", 1), 'a' - 'b');
    EXPECT_EQ(Ustr_nicmp(u"\x0100"
                         u"BC",
                         u"\x0101"
                         u"bc",
                         3),
              0);
    EXPECT_EQ(Ustr_nicmp(u"\x0410", u"\x0430", 1), 0x410 - 0x430);
    EXPECT_EQ(Ustr_nicmp(u"same", u"same", 100), 0);
}

TEST(UstrCompare, DifferentialAgainstReference)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 20000; round++) {
        U16 a = randomString(rng, 6);
        U16 b = (round % 3 == 0) ? a : randomString(rng, 6);
        if (round % 5 == 0 && !b.empty())
            b[rng() % b.size()] = static_cast<char16_t>(refUpper(b[rng() % b.size()]));
        size_t n = rng() % 8;
        ASSERT_EQ(Ustr_len(a.c_str()), a.size());
        ASSERT_EQ(Ustr_cmp(a.c_str(), b.c_str()), refCmp(a, b));
        ASSERT_EQ(sign(Ustr_ncmp(a.c_str(), b.c_str(), n)),
                  sign(refCmp(a.substr(0, n), b.substr(0, n))));
        ASSERT_EQ(Ustr_nicmp(a.c_str(), b.c_str(), n), refNicmp(a, b, n));
        // Search: the first occurrence, as the standard string finds it.
        size_t at = a.find(b);
        char16_t *hit = Ustr_str(a.c_str(), b.c_str());
        ASSERT_EQ(hit ? static_cast<size_t>(hit - a.c_str()) : U16::npos, at);
        if (!b.empty()) {
            char16_t c = b[0];
            char16_t *first = Ustr_chr(a.c_str(), c);
            char16_t *last = Ustr_rchr(a.c_str(), c);
            ASSERT_EQ(first ? static_cast<size_t>(first - a.c_str()) : U16::npos, a.find(c));
            ASSERT_EQ(last ? static_cast<size_t>(last - a.c_str()) : U16::npos, a.rfind(c));
        }
    }
}

TEST(UstrSearch, FindAsciiNoCase)
{
    struct Case {
        const char16_t *haystack;
        const char *needle;
        int at; // -1: no match
    };
    const Case cases[] = {
        {u"/book.zip/page.html", ".zip", 5},
        {u"/Docs.ZIP/x.html", ".zip", 5},
        {u"/a.zIp", ".ZiP", 2},
        {u"a.zi", ".zip", -1},          // the haystack ends inside the needle
        {u"..zip", ".zip", 1},          // a false start is passed over
        {u"\u00C9T\u00C9", "\xE9t", 0}, // Latin-1 letters fold on both sides
        {u"\u0130", "i", 0},            // U+0130 folds to 'i'
        {u"\u0410", "\xE0", -1},        // above U+017F only equal units match
        {u"abc", "", 0},                // an empty needle: the haystack
        {u"", "a", -1},
    };
    for (const Case &c : cases) {
        char16_t *hit = Ustr_findAsciiNoCase(c.haystack, c.needle);
        EXPECT_EQ(hit ? int(hit - c.haystack) : -1, c.at) << c.needle;
    }
}

TEST(UstrLength, EveryAlignmentAndLength)
{
    // Heap blocks, so that the sanitizer build sees reads past the end.
    TestHeap heap{};
    ASSERT_TRUE(TestHeap_open(&heap, 1 << 20, 0));
    for (size_t len = 0; len < 70; len++) {
        for (size_t offset = 0; offset < 4; offset++) {
            size_t units = offset + len + 1;
            char16_t *block = static_cast<char16_t *>(Mem_malloc(units * sizeof(char16_t)));
            ASSERT_NE(block, nullptr);
            for (size_t i = 0; i < units; i++)
                block[i] = static_cast<char16_t>(0x8001 + i * 0x101);
            block[offset + len] = 0;
            ASSERT_EQ(Ustr_len(block + offset), len) << len << " at " << offset;
            Mem_free(block);
        }
    }
    TestHeap_close(&heap);
}

// -------------------------------------------------------------- copying

TEST(UstrCopy, Bounds)
{
    char16_t buf[8];
    std::fill(buf, buf + 8, u'#');
    Ustr_ncpy(buf, u"abc", 3);
    EXPECT_EQ(U16(buf, 4), U16(u"abc#")) << "n equal to the length writes no terminator";
    Ustr_ncpy(buf, u"ab", 5);
    EXPECT_EQ(U16(buf), u"ab");
    EXPECT_EQ(buf[3], u'#') << "only one terminator is written";
    std::fill(buf, buf + 8, u'#');
    Ustr_ncpyCstr(buf, "a\xE9", 8);
    EXPECT_EQ(buf[1], 0xFFE9) << "bytes are sign-extended";
    EXPECT_EQ(buf[2], 0);

    EXPECT_EQ(Ustr_cpy(buf, u"xyz"), buf);
    EXPECT_EQ(U16(buf), u"xyz");
    EXPECT_EQ(Ustr_cat(buf, u"12"), buf);
    EXPECT_EQ(U16(buf), u"xyz12");
    EXPECT_EQ(Ustr_cat(nullptr, u"a"), nullptr);
    EXPECT_EQ(Ustr_cat(buf, nullptr), nullptr);
    EXPECT_EQ(Ustr_ncat(buf, u"ABCDEF", 2), buf);
    EXPECT_EQ(U16(buf), u"xyz12AB");
    EXPECT_EQ(Ustr_ncat(nullptr, u"a", 0), nullptr);
    EXPECT_EQ(Ustr_ncat(buf, nullptr, 0), buf) << "n 0 returns dst untouched";
    EXPECT_EQ(Ustr_ncat(buf, nullptr, 1), nullptr);
}

TEST_F(UstrTest, Allocating)
{
    char16_t *d = Ustr_dup(u"hello");
    EXPECT_EQ(U16(d), u"hello");
    Mem_free(d);
    EXPECT_EQ(Ustr_dup(nullptr), nullptr);

    d = Ustr_dupN(u"hello", 3);
    EXPECT_EQ(U16(d), u"hel");
    Mem_free(d);
    d = Ustr_dupN(u"hi", 30);
    EXPECT_EQ(U16(d), u"hi");
    Mem_free(d);

    d = Ustr_fromCstr("caf\xE9");
    EXPECT_EQ(U16(d), u"caf\x00E9") << "Latin-1 reading: zero-extended";
    Mem_free(d);
    d = Ustr_fromCstrN("a\0b", 3);
    EXPECT_EQ(U16(d, 4), U16(u"a\0b\0", 4)) << "NUL bytes are copied";
    Mem_free(d);

    char *c = Cstr_fromUstrN(u"A\x0142z", 3);
    EXPECT_STREQ(c, "A\x42z");
    Mem_free(c);

    char16_t *s = Ustr_appendDup(nullptr, u"ab");
    s = Ustr_appendDup(s, u"cd");
    EXPECT_EQ(U16(s), u"abcd");
    EXPECT_EQ(Ustr_appendDup(s, nullptr), s);
    Mem_free(s);
}

// Every allocating routine fails cleanly: null, nothing leaked, and
// Ustr_appendDup leaves its first string as it was.
TEST_F(UstrTest, OutOfMemory)
{
    const char16_t *src = u"  a lot  of\twords  ";
    for (int which = 0; which < 9; which++) {
        Mem_failAfter(1);
        void *r = nullptr;
        switch (which) {
        case 0: r = Ustr_dup(src); break;
        case 1: r = Ustr_dupN(src, 4); break;
        case 2: r = Ustr_fromCstr("abc"); break;
        case 3: r = Ustr_fromCstrN("abc", 3); break;
        case 4: r = Cstr_fromUstrN(src, 3); break;
        case 5: r = Ustr_collapseSpace(src, Ustr_len(src)); break;
        case 6: r = Ustr_escapeChar(src, u' '); break;
        case 7: r = Ustr_escapeSet(src, u" "); break;
        case 8: r = Ustr_appendDup(nullptr, src); break;
        }
        EXPECT_EQ(r, nullptr) << which;
        Mem_failAfter(0);
        EXPECT_EQ(Mem_takeOutOfMemory(), 1);
    }
    char16_t *first = Ustr_dup(u"keep");
    Mem_failAfter(1);
    EXPECT_EQ(Ustr_appendDup(first, u" more than fits in place, surely"), nullptr);
    Mem_failAfter(0);
    EXPECT_EQ(U16(first), u"keep");
    Mem_free(first);
}

// ------------------------------------------------------------ in place

TEST(UstrInPlace, CaseAndTitle)
{
    char16_t s[] = u"Hello \x0130\x0178\x0410 World";
    Ustr_lowerInPlace(s);
    EXPECT_EQ(U16(s), u"hello i\x00FF\x0410 world");
    Ustr_upperInPlace(s);
    EXPECT_EQ(U16(s), u"HELLO I\x0178\x0410 WORLD");

    char16_t t[] = u"l'homme \x00E9-t";
    Ustr_titleCaseInPlace(t);
    EXPECT_EQ(U16(t), u"L'homme \x00C9-T");
    char16_t u2[] = u"o\x2019neil 2nd x\x00E9y";
    Ustr_titleCaseInPlace(u2);
    EXPECT_EQ(U16(u2), u"O\x2019neil 2nd X\x00E9Y") << "every non-ASCII unit starts a word";

    char16_t r[] = u"abcdef";
    Ustr_reverseN(r, 4);
    EXPECT_EQ(U16(r), u"dcbaef");
    Ustr_reverseN(r, 0);
    Ustr_reverseN(r, 1);
    EXPECT_EQ(U16(r), u"dcbaef");
}

TEST_F(UstrTest, CollapseSpace)
{
    struct Case {
        const char16_t *in;
        size_t n;
        const char16_t *out;
    } cases[] = {
        {u"  a \t b  ", 9, u"a b"},
        {u"", 0, u""},
        {u"   ", 3, u""},
        {u"one", 3, u"one"},
        {u"one two", 5, u"one t"},
        {u"\x00A0x\x00A0", 3, u"\x00A0x\x00A0"}, // no-break spaces are not white space here
        {u"a\r\n\fb", 5, u"a b"},
    };
    for (const Case &c : cases) {
        char16_t *r = Ustr_collapseSpace(c.in, c.n);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(U16(r), U16(c.out));
        Mem_free(r);
    }
    EXPECT_EQ(Ustr_collapseSpace(nullptr, 3), nullptr);
}

TEST(UstrClassify, ComplexScript)
{
    EXPECT_EQ(Ustr_hasComplexScript(nullptr, 3), 0);
    EXPECT_EQ(Ustr_hasComplexScript(u"\x05D0", 0), 0);
    EXPECT_EQ(Ustr_hasComplexScript(u"ab\x05D0", 2), 0);
    EXPECT_EQ(Ustr_hasComplexScript(u"ab\x05D0", 3), 1);
    for (char16_t c : {0x0590, 0x0E5B, 0xFB1D, 0xFEFC, 0xAC00, 0xD7A3})
        EXPECT_EQ(Ustr_hasComplexScript(&c, 1), 1) << std::hex << int(c);
    for (char16_t c : {0x058F, 0x0E5C, 0xFB1C, 0xFEFD, 0xABFF, 0xD7A4})
        EXPECT_EQ(Ustr_hasComplexScript(&c, 1), 0) << std::hex << int(c);
}

// -------------------------------------------------------------- parsing

TEST(UstrParse, Table)
{
    struct Case {
        int kind; // 0 U16, 1 Uint, 2 Int
        const char16_t *text;
        int endAt; // -1: no end pointer
        int ok;
        int64_t value;
        int stopAt;
    } cases[] = {
        {0, u"65535", -1, 1, 65535, 5},
        {0, u"65536", -1, 0, 0, 4},
        {0, u"0", -1, 1, 0, 1},
        {0, u"", -1, 0, 0, 0},
        {0, u"12x", -1, 0, 0, 2},
        {0, u"12x", 2, 1, 12, 2},
        {0, u"123", 1, 1, 1, 1},
        {1, u"4294967295", -1, 1, 4294967295, 10},
        {1, u"4294967296", -1, 1, 0, 10}, // wraps modulo 2^32
        {1, u"+1", -1, 0, 0, 0},
        {2, u"-12", -1, 1, -12, 3},
        {2, u"+12", -1, 0, 0, 0},
        {2, u"-", -1, 0, 0, 1},
        {2, u"-", 0, 0, 0, 0},
        {2, u"2147483648", -1, 1, -2147483648LL, 10},
        {2, u"-7 ", -1, 0, 0, 2},
        {2, u"-7 ", 2, 1, -7, 2},
    };
    for (const Case &c : cases) {
        const char16_t *end = c.endAt < 0 ? nullptr : c.text + c.endAt;
        const char16_t *stop = nullptr;
        int ok;
        int64_t got;
        if (c.kind == 0) {
            uint16_t v = 7777;
            ok = Ustr_parseU16(c.text, end, &stop, &v);
            got = v;
        } else if (c.kind == 1) {
            uint32_t v = 7777;
            ok = Ustr_parseUint(c.text, end, &stop, &v);
            got = v;
        } else {
            int32_t v = 7777;
            ok = Ustr_parseInt(c.text, end, &stop, &v);
            got = v;
        }
        SCOPED_TRACE(testing::Message()
                     << c.kind << " " << std::string(c.text, c.text + Ustr_len(c.text)));
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(got, c.ok ? c.value : 7777) << "the value is written only on success";
        EXPECT_EQ(stop - c.text, c.stopAt);
    }
    uint16_t v;
    EXPECT_EQ(Ustr_parseU16(u"42", nullptr, nullptr, &v), 1);
    EXPECT_EQ(v, 42);
}

// ------------------------------------------------------ percent escapes

TEST_F(UstrTest, Escapes)
{
    EXPECT_EQ(Ustr_hexPairValue(u"%41"), 0x41);
    EXPECT_EQ(Ustr_hexPairValue(u"%fF"), 0xFF);
    EXPECT_EQ(Ustr_hexPairValue(u"%4"), 0);
    EXPECT_EQ(Ustr_hexPairValue(u"%"), 0);
    EXPECT_EQ(Ustr_hexPairValue(u"%g1"), 0);
    EXPECT_EQ(Ustr_hexPairValue(u"%\xFF11"
                                u"1"),
              0);

    struct Case {
        const char16_t *in, *out;
    } cases[] = {
        {u"a%41%2", u"aA%2"},   {u"%zz", u"%zz"}, {u"%00x", u"%00x"},    {u"plain", u"plain"},
        {u"%25%34%31", u"%41"}, {u"%", u"%"},     {u"x%e9", u"x\x00E9"},
    };
    for (const Case &c : cases) {
        U16 buf(c.in);
        EXPECT_EQ(Ustr_unescapeInPlace(buf.data()), buf.data());
        EXPECT_EQ(U16(buf.c_str()), U16(c.out));
    }

    char16_t *e = Ustr_escapeChar(u"a b\x0120 ", u' ');
    EXPECT_EQ(U16(e), u"a%20b\x0120%20");
    Mem_free(e);
    e = Ustr_escapeChar(u"\x0141x", 0x141);
    EXPECT_EQ(U16(e), u"%41x") << "the low byte of the unit is written";
    Mem_free(e);
    EXPECT_EQ(Ustr_escapeChar(nullptr, u' '), nullptr);

    e = Ustr_escapeSet(u"a&b=c d", u"&= ");
    EXPECT_EQ(U16(e), u"a%26b%3Dc%20d");
    Mem_free(e);
    EXPECT_EQ(Ustr_escapeSet(nullptr, u"x"), nullptr);
    EXPECT_EQ(Ustr_escapeSet(u"x", nullptr), nullptr);

    // Escaping then unescaping gives the text back for bytes that are not 0.
    std::mt19937 rng(99);
    for (int i = 0; i < 500; i++) {
        U16 s;
        for (int k = rng() % 12; k > 0; k--)
            s += static_cast<char16_t>(1 + rng() % 255);
        char16_t *esc = Ustr_escapeSet(s.c_str(), u"%&= \x00E9");
        ASSERT_NE(esc, nullptr);
        EXPECT_EQ(U16(Ustr_unescapeInPlace(esc)), s);
        Mem_free(esc);
    }
}

TEST(UstrParseDecimalFloat, Table)
{
    struct {
        const char16_t *text;
        float value;
    } cases[] = {
        {u"  -12.5", -12.5f},
        {u"+3", 3.0f},
        {u".5", 0.5f},
        {u"abc", 0.0f},
        {u"", 0.0f},
        {u"1e3", 1.0f},
        {u"\t\n\v\f\r 7", 7.0f},
        {u"2.25.5", 2.25f},
        {u"- 4", 0.0f},
        {u"+-4", 0.0f},
        {u"\u00a05", 0.0f},
        {u"0.1", 0.1f},
        {u"123456789", 123456792.0f},
        {u"3.", 3.0f},
    };
    for (auto c : cases)
        EXPECT_EQ(Ustr_parseDecimalFloat(c.text), c.value)
            << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    EXPECT_EQ(Ustr_parseDecimalFloat(nullptr), 0.0f);
    // A very long fraction stays a number: digits past 10^30 are passed over.
    std::u16string longOne = u"1." + std::u16string(60, u'1');
    EXPECT_NEAR(Ustr_parseDecimalFloat(longOne.c_str()), 1.1111111f, 1e-6f);
    std::u16string tiny = u"0." + std::u16string(60, u'0') + u"7";
    EXPECT_EQ(Ustr_parseDecimalFloat(tiny.c_str()), 0.0f);
    std::u16string huge(50, u'9');
    EXPECT_TRUE(std::isinf(Ustr_parseDecimalFloat((huge + u".5").c_str())));
}

} // namespace
