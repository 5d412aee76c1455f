// Reading code points from UTF-16 text: pairs, lone surrogates, the end
// pointer cutting a pair, and a walk over random units that must account
// for every unit exactly once.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/text/ustr.h"

namespace {

TEST(NextCodePoint, Table)
{
    struct Case {
        std::u16string text;
        int endAt; // -1: no end pointer
        int result;
        uint32_t cp;
        int advance;
    } cases[] = {
        {u"A", -1, 0, 'A', 1},
        {u"\xD83D\xDE00", -1, 0, 0x1F600, 2},
        {u"\xDBFF\xDFFF", -1, 0, 0x10FFFF, 2},
        {u"\xD800\xDC00", -1, 0, 0x10000, 2},
        {u"\xD83Dx", -1, 0, 0xFFFD, 1},
        {u"\xDE00x", -1, 0, 0xFFFD, 1},
        {std::u16string(1, u'\0'), -1, 0, 0, 1},
        {u"\xD83D\xDE00", 1, 1, 7777, 0},
        {u"\xD83D\xDE00", 2, 0, 0x1F600, 2},
        {u"ab", 0, 1, 7777, 0},
        {u"\xFFFF", 1, 0, 0xFFFF, 1},
    };
    for (const Case &c : cases) {
        const char16_t *p = c.text.c_str();
        const char16_t *end = c.endAt < 0 ? nullptr : p + c.endAt;
        uint32_t cp = 7777;
        EXPECT_EQ(Ustr_nextCodePoint(&p, &cp, end), c.result);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(p - c.text.c_str(), c.advance);
    }
}

TEST(NextCodePoint, RandomWalkAgreesWithReference)
{
    std::mt19937 rng(8);
    const char16_t pool[] = {u'a', 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xD7FF, 0};
    for (int round = 0; round < 5000; round++) {
        std::u16string s;
        for (int k = rng() % 10; k > 0; k--)
            s += pool[rng() % 8];
        const char16_t *p = s.data();
        const char16_t *end = s.data() + s.size();
        size_t i = 0;
        uint32_t cp;
        while (Ustr_nextCodePoint(&p, &cp, end) == 0) {
            char16_t u = s[i];
            uint32_t want;
            size_t step = 1;
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                s[i + 1] <= 0xDFFF) {
                want = 0x10000 + ((u - 0xD800u) << 10) + (s[i + 1] - 0xDC00u);
                step = 2;
            } else if (u >= 0xD800 && u <= 0xDFFF) {
                want = 0xFFFD;
            } else {
                want = u;
            }
            ASSERT_EQ(cp, want);
            i += step;
            ASSERT_EQ(static_cast<size_t>(p - s.data()), i);
        }
        // The walk stops at the end, or before a high surrogate that is the
        // last unit.
        ASSERT_TRUE(i == s.size() || (i + 1 == s.size() && s[i] >= 0xD800 && s[i] <= 0xDBFF));
    }
}

} // namespace
