// Text services: every class of code point written into UTF-16 with and
// without room, the counted ASCII search, and removing a character in
// place.
#include <gtest/gtest.h>

#include <string>

#include "core/text/ustr.h"

namespace {

TEST(PutCodePoint, EveryClassWithAndWithoutRoom)
{
    struct Case {
        uint32_t value;
        std::u16string units;
    } cases[] = {
        {0x41, u"A"},
        {0, std::u16string(1, u'\0')},
        {0xD7FF, u"\uD7FF"},
        {0xD800, u"\uFFFD"}, // surrogates are not characters
        {0xDBFF, u"\uFFFD"},
        {0xDC00, u"\uFFFD"},
        {0xDFFF, u"\uFFFD"},
        {0xE000, u"\uE000"},
        {0xFFFF, u"\uFFFF"},
        {0x10000, u"\xD800\xDC00"},
        {0x1F600, u"\xD83D\xDE00"},
        {0x10FFFF, u"\xDBFF\xDFFF"}, // the last character is a pair too
        {0x110000, u"\uFFFD"},
        {0xFFFFFFFF, u"\uFFFD"},
    };
    for (const Case &c : cases) {
        // Unlimited, and with exactly enough room.
        for (bool bounded : {false, true}) {
            char16_t buf[4] = {0x2222, 0x2222, 0x2222, 0x2222};
            char16_t *out = buf;
            ASSERT_EQ(Ustr_putCodePoint(&out, c.value, bounded ? buf + c.units.size() : nullptr), 0)
                << c.value;
            EXPECT_EQ(std::u16string(buf, out), c.units) << std::hex << c.value;
            EXPECT_EQ(buf[c.units.size()], 0x2222);
        }
        // One unit short: nothing written, the pointer stays.
        char16_t buf[4] = {0x2222, 0x2222, 0x2222, 0x2222};
        char16_t *out = buf + 1;
        EXPECT_EQ(Ustr_putCodePoint(&out, c.value, buf + c.units.size()), 1) << std::hex << c.value;
        EXPECT_EQ(out, buf + 1);
        EXPECT_EQ(buf[1], 0x2222);
        EXPECT_EQ(buf[2], 0x2222);
    }
    // At or beyond the end: nothing written.
    char16_t buf[2] = {7, 7};
    char16_t *out = buf + 2;
    EXPECT_EQ(Ustr_putCodePoint(&out, 0x41, buf + 1), 1);
    EXPECT_EQ(out, buf + 2);
    EXPECT_EQ(buf[1], 7);
}

TEST(FindAsciiN, CountedSearch)
{
    const std::u16string id = u"http://x.org/my.dtd";
    struct Case {
        std::u16string haystack;
        uint32_t n;
        const char *needle;
        uint32_t m;
        int at; // -1: null
    } cases[] = {
        {id, uint32_t(id.size()), ".dtd", 4, int(id.size()) - 4},
        {id, uint32_t(id.size()) - 1, ".dtd", 4, -1}, // the count ends the haystack
        {u".dt", 3, ".dtd", 4, -1},
        {u"a.dtd.dtd", 9, ".dtd", 4, 1},
        {u"A.DTD", 5, ".dtd", 4, -1}, // exact, no case folding
        {u"abc", 3, "", 0, 0},
        {u"abc", 3, "bcX", 2, 1},                 // m counts
        {u"\u00E9t\u00E9", 3, "\xC3\xA9", 2, -1}, // bytes above 0x7F match nothing
        {u"\u00E9", 1, "\xE9", 1, -1},
        {u"", 0, "a", 1, -1},
    };
    for (const Case &c : cases) {
        char16_t *found = Ustr_findAsciiN(c.haystack.data(), c.n, c.needle, c.m);
        if (c.at < 0)
            EXPECT_EQ(found, nullptr) << c.needle;
        else
            EXPECT_EQ(found, c.haystack.data() + c.at) << c.needle;
    }
    const char16_t *h = u"abc";
    EXPECT_EQ(Ustr_findAsciiN(h, 3, nullptr, 2), h);
    EXPECT_EQ(Ustr_findAsciiN(nullptr, 3, "a", 1), nullptr);
}

TEST(RemoveChar, KeepsTheOthersInOrder)
{
    struct Case {
        std::u16string in;
        size_t n;
        char16_t ch;
        std::u16string out; // the whole buffer afterwards
        size_t kept;
    } cases[] = {
        {u"a-b-c", 5, u'-', u"abc-c", 3}, // nothing written past the kept units
        {u"a-b-c", 0, u'-', u"a-b-c", 0}, {u"----", 4, u'-', u"----", 0},
        {u"abc-", 3, u'-', u"abc-", 3}, // only the first n units
        {u"-a-", 2, u'-', u"aa-", 1},
    };
    for (const Case &c : cases) {
        std::u16string text = c.in;
        EXPECT_EQ(Ustr_removeChar(text.data(), c.n, c.ch), c.kept);
        EXPECT_EQ(text, c.out);
    }
}

} // namespace
