// The flagged 31-bit setter and Word list-number texts.
#include <gtest/gtest.h>

#include <string>

#include "core/mem/mem.h"
#include "word/reader/listnum.h"
#include "tests/support/heap_fixture.h"

namespace {

TEST(BitsSetLow31, KeepsTheFlagAndReplacesTheValue)
{
    struct Case {
        uint32_t word, value, expect;
    } cases[] = {
        {0x80000005u, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {0x00000005u, 0x80000007u, 0x00000007u},
        {0x80000000u, 0u, 0x80000000u},
        {0x7FFFFFFFu, 0x10000u, 0x00010000u},
    };
    for (const Case &c : cases) {
        uint32_t w = c.word;
        Bits_setLow31(&w, c.value);
        EXPECT_EQ(w, c.expect) << std::hex << c.word << " " << c.value;
    }
}

using ListNumTextTest = LeakCheckedHeapTest<>;

TEST_F(ListNumTextTest, CodesPickTheirListStyles)
{
    struct Case {
        int32_t number;
        uint32_t code;
        std::u16string text;
    } cases[] = {
        {4, 0, u"4"},        {4, 1, u"IV"},  {1999, 1, u"MCMXCIX"}, {4, 2, u"iv"},
        {28, 3, u"BB"},      {28, 4, u"bb"}, {3, 4, u"c"},          {4, 5, u"4"},
        {10, 11, u"\u5341"}, {4, 12, u"4"},  {-3, 0, u"-3"},
    };
    for (const Case &c : cases) {
        char16_t *out = reinterpret_cast<char16_t *>(1);
        ASSERT_EQ(ListNum_wordFormatText(c.number, c.code, &out), 0);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::u16string(out), c.text) << "number " << c.number << " code " << c.code;
        Mem_free(out);
    }
}

TEST_F(ListNumTextTest, OutOfMemory)
{
    char16_t *out = reinterpret_cast<char16_t *>(1);
    Mem_failAfter(1);
    EXPECT_EQ(ListNum_wordFormatText(4, 1, &out), 1);
    Mem_failAfter(0);
    EXPECT_EQ(out, nullptr);
}

} // namespace
