// Growable 16-bit text buffers: the growth sequence, 8-bit appends, detach
// and take and reuse, out of memory leaving the buffer as it was, and freeing.
#include <gtest/gtest.h>

#include <string>

#include "core/mem/mem.h"
#include "core/text/ustrbuf.h"
#include "tests/support/heap_fixture.h"

namespace {

using UstrBufTest = LeakCheckedHeapTest<>;

std::u16string ustrbufText(const Ustr_buf &b)
{
    return std::u16string(b.chars, b.length);
}

TEST_F(UstrBufTest, GrowthSequence)
{
    Ustr_buf b;
    Ustr_bufInit(&b, 16);
    EXPECT_EQ(b.growStep, 16u);
    EXPECT_EQ(b.nextStep, 16u);
    EXPECT_EQ(b.capacity, 0u);
    EXPECT_EQ(b.chars, nullptr);
    struct Step {
        size_t n;
        uint32_t capacity, next, length;
    } steps[] = {
        {3, 16, 32, 3},                           // the grow step
        {12, 16, 32, 15},                         // 15 + 1 still fits
        {1, 32, 64, 16},                          // no room for the terminator: the next step
        {20, 64, 128, 36},  {200, 237, 256, 236}, // more than the next step: exactly what is needed
        {0, 237, 256, 236},
    };
    std::u16string want;
    char16_t c = u'a';
    for (const Step &s : steps) {
        std::u16string piece;
        for (size_t i = 0; i < s.n; i++)
            piece += char16_t(c++);
        ASSERT_EQ(Ustr_bufAppend(&b, piece.data(), s.n), 0);
        want += piece;
        EXPECT_EQ(b.capacity, s.capacity) << s.n;
        EXPECT_EQ(b.nextStep, s.next) << s.n;
        EXPECT_EQ(b.length, s.length);
        EXPECT_EQ(ustrbufText(b), want);
    }
    EXPECT_EQ(Ustr_bufFree(&b), 0);
    EXPECT_EQ(b.chars, nullptr);
    EXPECT_EQ(b.length, 0u);
    EXPECT_EQ(b.nextStep, 16u);

    // Grow step 16: 3 characters, then 20 more.
    Ustr_bufInit(&b, 16);
    ASSERT_EQ(Ustr_bufAppendAscii(&b, "abc", 3), 0);
    EXPECT_EQ(b.capacity, 16u);
    EXPECT_EQ(b.nextStep, 32u);
    ASSERT_EQ(Ustr_bufAppendAscii(&b, "01234567890123456789", 20), 0);
    EXPECT_EQ(b.capacity, 32u);
    Ustr_bufFree(&b);
}

TEST_F(UstrBufTest, DetachHandsOverATerminatedStringAndLeavesTheBufferReusable)
{
    Ustr_buf b;
    Ustr_bufInit(&b, 8);
    EXPECT_EQ(Ustr_bufDetach(&b), nullptr); // never allocated
    ASSERT_EQ(Ustr_bufAppendAscii(&b, "abc", 3), 0);
    char16_t *s = Ustr_bufDetach(&b);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::u16string(s), u"abc");
    EXPECT_EQ(s[3], 0);
    EXPECT_EQ(b.chars, nullptr);
    EXPECT_EQ(b.capacity, 0u);
    EXPECT_EQ(b.length, 0u);
    EXPECT_EQ(b.nextStep, 8u);
    Mem_free(s);
    // Reused, with wide and 8-bit pieces; an 8-bit piece ends at its NUL.
    ASSERT_EQ(Ustr_bufAppend(&b, u"x\u00e9", 2), 0);
    ASSERT_EQ(Ustr_bufAppendAscii(&b, "yz\0qq", 5), 0);
    EXPECT_EQ(b.length, 4u);
    s = Ustr_bufDetach(&b);
    EXPECT_EQ(std::u16string(s), u"x\u00e9yz");
    Mem_free(s);
    // An empty buffer that did allocate hands over an empty string.
    ASSERT_EQ(Ustr_bufAppend(&b, u"", 0), 0);
    s = Ustr_bufDetach(&b);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s[0], 0);
    Mem_free(s);
}

// Take hands over an empty string where detach gives null, and fails
// cleanly when even that cannot be allocated.
TEST_F(UstrBufTest, TakeHandsOverEmptyTextToo)
{
    Ustr_buf b;
    Ustr_bufInit(&b, 8);
    char16_t *s = reinterpret_cast<char16_t *>(1);
    Mem_failAfter(1);
    EXPECT_EQ(Ustr_bufTake(&b, &s), 1);
    Mem_failAfter(0);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(b.chars, nullptr);
    ASSERT_EQ(Ustr_bufTake(&b, &s), 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::u16string(s), u"");
    Mem_free(s);
    ASSERT_EQ(Ustr_bufAppendAscii(&b, "ab", 2), 0);
    ASSERT_EQ(Ustr_bufTake(&b, &s), 0);
    EXPECT_EQ(std::u16string(s), u"ab");
    EXPECT_EQ(b.length, 0u);
    EXPECT_EQ(b.chars, nullptr);
    Mem_free(s);
}

TEST_F(UstrBufTest, OutOfMemoryLeavesTheBufferUnchanged)
{
    Ustr_buf b;
    Ustr_bufInit(&b, 4);
    ASSERT_EQ(Ustr_bufAppendAscii(&b, "abc", 3), 0);
    const Ustr_buf before = b;
    Mem_failAfter(1);
    EXPECT_EQ(Ustr_bufAppendAscii(&b, "defgh", 5), 1);
    Mem_failAfter(0);
    EXPECT_EQ(b.capacity, before.capacity);
    EXPECT_EQ(b.nextStep, before.nextStep);
    EXPECT_EQ(b.chars, before.chars);
    EXPECT_EQ(ustrbufText(b), u"abc");
    // It grows normally afterwards.
    ASSERT_EQ(Ustr_bufAppendAscii(&b, "defgh", 5), 0);
    EXPECT_EQ(ustrbufText(b), u"abcdefgh");
    // A failed shrink on detach hands over the larger block.
    Mem_failAfter(1);
    char16_t *s = Ustr_bufDetach(&b);
    Mem_failAfter(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::u16string(s), u"abcdefgh");
    Mem_free(s);
    // A length past 32 bits is refused without allocating.
    Ustr_bufInit(&b, 4);
    EXPECT_EQ(Ustr_bufAppendN(&b, u"", size_t(UINT32_MAX), 1), 1);
    EXPECT_EQ(b.chars, nullptr);
    Ustr_bufFree(&b);
}

} // namespace
