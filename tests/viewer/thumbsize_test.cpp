// The thumbnail side limits follow their settings through two watches,
// and the watches go when the limits are given up.
#include "document/edr/page.h"
#include "tests/core/config_fixture.h"
#include "viewer/docview.h"
#include "viewer/viewer.h"

namespace {

class ThumbSizeTest : public ConfigFixture {};

TEST_F(ThumbSizeTest, LimitsFollowTheSettings)
{
    int32_t minimum = -1, maximum = -1;
    App_thumbnailLimits(ctx, &minimum, &maximum);
    EXPECT_EQ(minimum, 0) << "no limits before the watches";
    EXPECT_EQ(maximum, 0);
    ASSERT_EQ(Thumb_watchSizeSettings(ctx), 0);
    ASSERT_NE(ctx->thumbSizes, nullptr);
    Config_setIntA(ctx, store, nullptr, "Vexlan_thumbMinSize", 48, 0);
    Config_setIntA(ctx, store, nullptr, "DispmanthumbMaxSize", 1048, 0);
    App_thumbnailLimits(ctx, &minimum, &maximum);
    EXPECT_EQ(minimum, 48);
    EXPECT_EQ(maximum, 1048);
    // Once unwatched, changes no longer reach the limits.
    Thumb_unwatchSizeSettings(ctx);
    Config_setIntA(ctx, store, nullptr, "Vexlan_thumbMinSize", 64, 0);
    App_thumbnailLimits(ctx, &minimum, &maximum);
    EXPECT_EQ(minimum, 48);
    Thumb_freeSizeSettings(ctx);
    EXPECT_EQ(ctx->thumbSizes, nullptr);
    Thumb_unwatchSizeSettings(ctx);
    Thumb_freeSizeSettings(ctx);
}

TEST_F(ThumbSizeTest, OutOfMemoryLeavesNoWatch)
{
    for (uint64_t n = 1; n <= 6; n++) {
        Mem_failAfter(n);
        int r = Thumb_watchSizeSettings(ctx);
        Mem_failAfter(0);
        if (r == 0) {
            Thumb_unwatchSizeSettings(ctx);
            Thumb_freeSizeSettings(ctx);
            continue;
        }
        EXPECT_EQ(r, 1);
        EXPECT_EQ(ctx->thumbSizes, nullptr);
    }
}

} // namespace
