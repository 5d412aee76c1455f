// Shared small routines: the 16-bit case-insensitive comparison (also
// against a reference on random strings), event names, the form-control
// test and the writer's entry lookup.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/support/support.h"
#include "core/text/ustr.h"
#include "tests/support/test_engine.h"

namespace {

int sign(int v)
{
    return (v > 0) - (v < 0);
}

TEST(SupportIcmp, Table)
{
    EXPECT_EQ(Ustr_icmp(u"hello", u"HELLO"), 0);
    EXPECT_LT(Ustr_icmp(u"a", u"B"), 0);
    EXPECT_GT(Ustr_icmp(u"B", u"a"), 0);
    EXPECT_EQ(Ustr_icmp(u"\x0100", u"\x0101"), 0);
    EXPECT_EQ(Ustr_icmp(u"\x0130", u"i"), 0);
    EXPECT_EQ(Ustr_icmp(u"\x0178", u"\x00FF"), 0);
    EXPECT_NE(Ustr_icmp(u"\x0410", u"\x0430"), 0);
    EXPECT_EQ(Ustr_icmp(u"\x0410", u"\x0430"), 0x410 - 0x430);
    EXPECT_EQ(Ustr_icmp(u"ab", u"abc"), -'c');
    EXPECT_EQ(Ustr_icmp(u"abc", u"AB"), 'c');
    EXPECT_EQ(Ustr_icmp(u"", u""), 0);
    EXPECT_EQ(Ustr_icmp(u"Z", u"\x0410"), 'z' - 0x410);
}

// Against the rule read literally: fold both sides, compare.
TEST(SupportIcmp, DifferentialAgainstReference)
{
    const char16_t alphabet[] = {u'a', u'A',  u'Z', u'z', 0xC9,  0xE9,  0x130,
                                 u'i', 0x17F, u's', u'S', 0x410, 0x430, 0xFFFF};
    std::mt19937 rng(3);
    for (int round = 0; round < 20000; round++) {
        std::u16string a, b;
        for (int k = rng() % 5; k > 0; k--)
            a += alphabet[rng() % 14];
        for (int k = rng() % 5; k > 0; k--)
            b += alphabet[rng() % 14];
        if (round % 3 == 0)
            b = a;
        size_t i = 0;
        auto f = [](char16_t c) { return static_cast<int>(c <= 0x17F ? Ustr_lowerChar(c) : c); };
        while (i < a.size() && i < b.size() && f(a[i]) == f(b[i]))
            i++;
        int want = (i < a.size() ? f(a[i]) : 0) - (i < b.size() ? f(b[i]) : 0);
        ASSERT_EQ(Ustr_icmp(a.c_str(), b.c_str()), want);
        ASSERT_EQ(sign(Ustr_icmp(b.c_str(), a.c_str())), -sign(want));
    }
}

TEST(SupportHtml, EventNamesAndFormControls)
{
    EXPECT_STREQ(Html_eventName(0), "onload");
    EXPECT_STREQ(Html_eventName(20), "onclick");
    EXPECT_STREQ(Html_eventName(22), "onfocusIn");
    EXPECT_STREQ(Html_eventName(29), "onhardfocusls");
    EXPECT_EQ(Html_eventName(30), nullptr);
    EXPECT_EQ(Html_eventName(0xFFFFFFFFu), nullptr);
    for (uint32_t t = 0; t < 30; t++)
        EXPECT_EQ(strncmp(Html_eventName(t), "on", 2), 0) << t;

    int controls = 0;
    for (uint32_t id = 0; id < 300; id++)
        controls += Html_isFormControl(id);
    EXPECT_EQ(controls, 6);
    for (uint32_t id : {26u, 64u, 86u, 87u, 96u, 107u})
        EXPECT_EQ(Html_isFormControl(id), 1) << id;
}

} // namespace
