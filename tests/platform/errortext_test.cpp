// The unknown-error text and the fatal result check.
#include <gtest/gtest.h>

#include <string>

#include "platform/api/errortext.h"

namespace {

TEST(ErrorText, OneConstantTextForEveryCode)
{
    const char16_t *t = Engine_unknownErrorText(0);
    EXPECT_EQ(std::u16string(t), u"Unknown error (%1,%2,%3)");
    EXPECT_EQ(Engine_unknownErrorText(1), t);
    EXPECT_EQ(Engine_unknownErrorText(48), t);
    EXPECT_EQ(Engine_unknownErrorText(-7), t);
}

TEST(ErrorText, AbortIfErrorPassesZeroAndStopsOnAnythingElse)
{
    Engine_abortIfError(0); // returns, nothing else happens
    // Outside an engine the abort path has no recovery point and ends the
    // process.
    EXPECT_DEATH(Engine_abortIfError(48), "");
}

} // namespace
