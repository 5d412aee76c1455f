// The coverage curve: its fixed ends, its steps, its symmetry and its
// middle.
#include <gtest/gtest.h>

#include "graphics/coverage.h"

namespace {

TEST(Coverage, CurveRules)
{
    const uint8_t *c = Coverage_curve();
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(c[1], 32);
    EXPECT_EQ(c[254], 223);
    EXPECT_EQ(c[255], 255);
    for (int i = 1; i < 254; i++) {
        EXPECT_GE(c[i + 1], c[i]) << i;
        EXPECT_LE(c[i + 1], c[i] + 1) << i;
    }
    for (int i = 0; i < 256; i++)
        EXPECT_EQ(c[255 - i], 255 - c[i]) << i;
    for (int i = 126; i <= 130; i++)
        EXPECT_EQ(c[i], i);
    EXPECT_EQ(c, Coverage_curve()); // one constant table
}

} // namespace
