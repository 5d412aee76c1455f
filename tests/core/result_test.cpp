// Names and meanings of result codes: what the tools print for an error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/result.h"

namespace {

TEST(ResultNames, NameAndMeaningOfListedCodes)
{
    struct Case {
        int code;
        const char *name;
        const char *text;
    } cases[] = {
        {Res_ok, "ok", "success"},
        {Res_noMemory, "noMemory", "memory ran out"},
        {Res_zipBad, "zipBad", "not a zip archive, a damaged one, or a member it cannot read"},
        {Res_noSuchPage, "noSuchPage", "no such page, or no such item of a column"},
        {Res_vfsDrainFirst, "vfsDrainFirst", "0x6E02: the stream must be drained first"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        ASSERT_NE(Result_name(c.code), nullptr);
        EXPECT_STREQ(Result_name(c.code), c.name);
        EXPECT_STREQ(Result_text(c.code), c.text);
    }
}

TEST(ResultNames, CodesOutsideTheListHaveNone)
{
    for (int code : {-1, 2, 123456789}) {
        EXPECT_EQ(Result_name(code), nullptr) << code;
        EXPECT_EQ(Result_text(code), nullptr) << code;
    }
}

TEST(ResultNames, SharedValueAnswersWithTheFirstName)
{
    // Two modules use 3606; the stream layer's name comes first.
    ASSERT_EQ(int(Res_vfsNotReadable), int(Res_oleWriterAccess));
    EXPECT_STREQ(Result_name(Res_oleWriterAccess), "vfsNotReadable");
}

TEST(ResultNames, EveryListedCodeHasANameAndAMeaning)
{
    // The enumeration and the name table come from one list: each value it
    // declares is found again by value.
#define RESULT_TEST_CHECK(name, value, text)                                                       \
    EXPECT_NE(Result_name(value), nullptr) << #name;                                               \
    EXPECT_GT(strlen(Result_text(value) ? Result_text(value) : ""), 0u) << #name;
    VEXLAN_RESULT_CODES(RESULT_TEST_CHECK)
#undef RESULT_TEST_CHECK
}

} // namespace
