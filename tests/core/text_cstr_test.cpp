// 8-bit strings and the character class table: the table against its
// ranges, signed and unsigned comparisons, search, the tokenisers (the
// shared one per engine instance), and a differential run against the C
// library where the contracts agree.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>

#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "tests/support/test_engine.h"

namespace {

struct Range {
    int lo, hi;
    uint8_t mask;
};

// The class table as ranges of values.
const Range classRanges[] = {
    {0x00, 0x08, 0x80}, {0x0E, 0x1F, 0x80}, {0x7F, 0x7F, 0x80}, {0x80, 0x9F, 0x80},
    {0x09, 0x0D, 0xC0}, {0x20, 0x20, 0x60}, {0xA0, 0xA0, 0x60}, {0x21, 0x2F, 0x10},
    {0x3A, 0x40, 0x10}, {0x5B, 0x60, 0x10}, {0x7B, 0x7E, 0x10}, {0xA1, 0xBF, 0x10},
    {0xD7, 0xD7, 0x10}, {0xF7, 0xF7, 0x10}, {0x30, 0x39, 0x0C}, {0x41, 0x46, 0x09},
    {0x47, 0x5A, 0x01}, {0xC0, 0xD6, 0x01}, {0xD8, 0xDE, 0x01}, {0x61, 0x66, 0x0A},
    {0x67, 0x7A, 0x02}, {0xDF, 0xF6, 0x02}, {0xF8, 0xFF, 0x02},
};

TEST(CharClass, TableMatchesRanges)
{
    int seen[256] = {};
    for (const Range &r : classRanges) {
        for (int v = r.lo; v <= r.hi; v++) {
            EXPECT_EQ(Char_class(v), r.mask) << std::hex << v;
            seen[v]++;
        }
    }
    for (int v = 0; v < 256; v++)
        EXPECT_EQ(seen[v], 1) << "value " << v << " is in exactly one range";
    for (int v = -128; v < 0; v++)
        EXPECT_EQ(Char_class(v), Char_class(v + 256)) << v;
    // A signed byte indexes the table directly.
    signed char e9 = static_cast<signed char>(0xE9);
    EXPECT_EQ(Char_classTable[e9 + 128], Char_lower);
}

TEST(CharClass, AgreesWithCTypeOnAscii)
{
    for (int c = 0; c < 128; c++) {
        uint8_t m = Char_class(c);
        EXPECT_EQ(!!(m & Char_upper), !!isupper(c)) << c;
        EXPECT_EQ(!!(m & Char_lower), !!islower(c)) << c;
        EXPECT_EQ(!!(m & Char_digit), !!isdigit(c)) << c;
        EXPECT_EQ(!!(m & Char_hex), !!isxdigit(c)) << c;
        EXPECT_EQ(!!(m & Char_punct), !!ispunct(c)) << c;
        EXPECT_EQ(!!(m & Char_space), !!isspace(c)) << c;
        EXPECT_EQ(!!(m & Char_control), !!iscntrl(c)) << c;
    }
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

TEST(CstrCompare, Table)
{
    EXPECT_EQ(Cstr_cmp("abc", "abc"), 0);
    EXPECT_EQ(Cstr_cmp("abc", "abd"), -1);
    EXPECT_EQ(Cstr_cmp("\xE9", "a"), 1) << "unsigned bytes";
    EXPECT_EQ(Cstr_cmp("ab", "a"), 1);

    EXPECT_EQ(Cstr_icmp("Content-Type", "content-type"), 0);
    EXPECT_EQ(Cstr_icmp("a", "B"), -1);
    EXPECT_EQ(Cstr_icmp("\xE9", "a"), -1) << "signed bytes sort before ASCII";
    EXPECT_EQ(Cstr_icmp("abc", "ab"), 1);
    EXPECT_EQ(Cstr_icmp("\xC9", "\xE9"), -1) << "only ASCII letters fold";

    EXPECT_EQ(Cstr_nicmp("HELLO", "help", 3), 0);
    EXPECT_EQ(Cstr_nicmp("HELLO", "help", 4), 'l' - 'p');
    EXPECT_EQ(Cstr_nicmp("ab", "ab", 10), 0);
    EXPECT_EQ(Cstr_nicmp("a", "ab", 2), -'b');
    EXPECT_EQ(Cstr_nicmp("x", "y", 0), 0);

    EXPECT_EQ(Cstr_icmpLen("abc", "ABCD"), -1);
    EXPECT_EQ(Cstr_icmpLen("abc", "ABC"), 0);
    EXPECT_EQ(Cstr_icmpLen("abcde", "A"), 4);
    EXPECT_EQ(Cstr_icmpLen("abd", "ABC"), 1);

    EXPECT_EQ(Mem_cmp("a\0b", "a\0c", 3), -1);
    EXPECT_EQ(Mem_cmp("\xFF", "\x01", 1), 1);
    EXPECT_EQ(Mem_cmp("x", "y", 0), 0);
}

TEST(CstrCompare, DifferentialAgainstCLibrary)
{
    // On ASCII text the signed reading agrees with strcasecmp and friends.
    std::mt19937 rng(7);
    const char alphabet[] = "aAbBzZ09-_ \x7f";
    for (int round = 0; round < 20000; round++) {
        std::string a, b;
        for (int k = rng() % 6; k > 0; k--)
            a += alphabet[rng() % (sizeof alphabet - 1)];
        for (int k = rng() % 6; k > 0; k--)
            b += alphabet[rng() % (sizeof alphabet - 1)];
        if (round % 4 == 0)
            b = a;
        size_t n = rng() % 7;
        ASSERT_EQ(Cstr_cmp(a.c_str(), b.c_str()), sign(strcmp(a.c_str(), b.c_str())));
        ASSERT_EQ(Cstr_icmp(a.c_str(), b.c_str()), sign(strcasecmp(a.c_str(), b.c_str())));
        ASSERT_EQ(sign(Cstr_nicmp(a.c_str(), b.c_str(), n)),
                  sign(strncasecmp(a.c_str(), b.c_str(), n)));
        const char *hit = Cstr_str(a.c_str(), b.c_str());
        ASSERT_EQ(hit, strstr(a.c_str(), b.c_str()));
        int c = b.empty() ? 0 : b[0];
        ASSERT_EQ(Cstr_chr(a.c_str(), c), strchr(a.c_str(), c));
    }
}

TEST(CstrSearch, Nulls)
{
    const char *s = "hello";
    EXPECT_EQ(Cstr_chr(nullptr, 'a'), nullptr);
    EXPECT_EQ(Cstr_chr(s, 0), s + 5) << "searching for 0 finds the terminator";
    EXPECT_EQ(Cstr_chr(s, 'l'), s + 2);
    EXPECT_EQ(Cstr_str(nullptr, "a"), nullptr);
    EXPECT_EQ(Cstr_str(s, nullptr), nullptr);
    EXPECT_EQ(Cstr_str(s, ""), s);
    EXPECT_EQ(Cstr_str(s, "llo"), s + 2);
    EXPECT_EQ(Cstr_str(s, "lloo"), nullptr);
}

TEST(CstrAlloc, DupAndOutOfMemory)
{
    TestHeap heap{};
    ASSERT_TRUE(TestHeap_open(&heap, 1 << 20, 0));
    size_t base = TestHeap_usedBytes();
    char *a = Cstr_dup("text");
    char *b = Cstr_ndup("text", 2);
    char *c = Cstr_ndup("te", 20);
    EXPECT_STREQ(a, "text");
    EXPECT_STREQ(b, "te");
    EXPECT_STREQ(c, "te");
    Mem_free(a);
    Mem_free(b);
    Mem_free(c);
    Mem_failAfter(1);
    EXPECT_EQ(Cstr_dup("x"), nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(Cstr_ndup("x", 1), nullptr);
    Mem_failAfter(0);
    EXPECT_EQ(TestHeap_usedBytes(), base);
    TestHeap_close(&heap);
}

TEST(CstrTok, ReentrantForm)
{
    char text[] = ",,a,b";
    char *pos = nullptr;
    EXPECT_STREQ(Cstr_tokR(text, ",", &pos), "a");
    EXPECT_STREQ(Cstr_tokR(nullptr, ",", &pos), "b");
    EXPECT_EQ(pos, nullptr);
    EXPECT_EQ(Cstr_tokR(nullptr, ",", &pos), nullptr);

    char only[] = " ;; ";
    pos = only;
    EXPECT_EQ(Cstr_tokR(only, "; ", &pos), nullptr);
    EXPECT_EQ(pos, nullptr);

    char two[] = "key = value ;";
    EXPECT_STREQ(Cstr_tokR(two, " =;", &pos), "key");
    EXPECT_STREQ(Cstr_tokR(nullptr, " =;", &pos), "value");
    EXPECT_EQ(Cstr_tokR(nullptr, " =;", &pos), nullptr);
    EXPECT_EQ(Cstr_tokR(nullptr, " =;", &pos), nullptr);

    char none[] = "";
    pos = nullptr;
    EXPECT_EQ(Cstr_tokR(nullptr, ",", &pos), nullptr);
    EXPECT_EQ(Cstr_tokR(none, ",", &pos), nullptr);
}

TEST(CstrTok, SharedFormLivesInTheEngineInstance)
{
    char text[] = "a b";
    EXPECT_EQ(Cstr_tok(text, " "), nullptr) << "no engine instance: no state word";

    TestHeap one{}, two{};
    ASSERT_TRUE(TestHeap_open(&one, 1 << 20, 0));
    char first[] = "x y z";
    EXPECT_STREQ(Cstr_tok(first, " "), "x");
    EXPECT_EQ(one.instance->tokenPos, first + 2);

    // A second engine has its own scan.
    ASSERT_TRUE(TestHeap_open(&two, 1 << 20, 0));
    char second[] = "1,2";
    EXPECT_STREQ(Cstr_tok(second, ","), "1");
    Headless_setCurrent(one.host);
    EXPECT_STREQ(Cstr_tok(nullptr, " "), "y");
    Headless_setCurrent(two.host);
    EXPECT_STREQ(Cstr_tok(nullptr, ","), "2");
    EXPECT_EQ(Cstr_tok(nullptr, ","), nullptr);
    Headless_setCurrent(one.host);
    EXPECT_STREQ(Cstr_tok(nullptr, " "), "z");
    EXPECT_EQ(Cstr_tok(nullptr, " "), nullptr);
    Headless_setCurrent(two.host);
    TestHeap_close(&two);
    Headless_setCurrent(one.host);
    TestHeap_close(&one);
}

} // namespace
