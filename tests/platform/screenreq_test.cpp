// The host's screen changes on a running application: a turn by host code
// and a new content size (full screen on and off) reach the viewer on the
// application thread, which reports each outcome to the host (request
// 0x10003); bad values are refused or turn the screen upright.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/api/command.h"
#include "tests/platform/app_fixture.h"

namespace
{

using Record = std::array<int32_t, 6>; // x, y, width, height, host code, success

class ScreenRequestTest : public AppFixture
{
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        // A 240 x 300 content area at the top of a 240 x 320 display.
        const int32_t g[11] = {0, 0, 0, 240, 300, 240, 320, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(host, g);
        Headless_setRequestHook(host, onScreenRequest, this);
        ASSERT_EQ(start(), 1);
        ASSERT_EQ(count(Engine_requestReady), 1);
    }
    static void onScreenRequest(void *arg, int32_t code, void *record)
    {
        auto *self = static_cast<ScreenRequestTest *>(arg);
        if (code == 0x10003 && record) {
            const int32_t *w = static_cast<const int32_t *>(record);
            self->records.push_back(Record{w[0], w[1], w[2], w[3], w[4], w[5]});
        }
        onRequest(arg, code, record);
    }
    // Posts with post() and drives the engine until a new report came.
    Record report(const std::function<int()> &post)
    {
        size_t before = records.size();
        EXPECT_EQ(post(), 1);
        EXPECT_TRUE(drive([&] { return records.size() > before; }));
        return records.size() > before ? records.back() : Record{};
    }

    std::vector<Record> records;
};

TEST_F(ScreenRequestTest, TurnsByHostCode)
{
    // A quarter turn and back; the size stays in device orientation.
    EXPECT_EQ(report([&] { return App_setRotation(inst, 0x10004); }),
              (Record{0, 0, 240, 300, 0x10004, 1}));
    // Three quarters is refused while the settings allow only one turned
    // screen; the report keeps the turn the screen has.
    EXPECT_EQ(report([&] { return App_setRotation(inst, 0x10006); }),
              (Record{0, 0, 240, 300, 0x10004, 0}));
    // The program's setting allows it.
    EXPECT_EQ(App_setConfigInt(inst, "Vexlan_rotatedScreens", 0x10005), 1);
    EXPECT_EQ(report([&] { return App_setRotation(inst, 0x10006); }),
              (Record{0, 0, 240, 300, 0x10006, 1}));
    // A code the host does not have turns the screen upright.
    EXPECT_EQ(report([&] { return App_setRotation(inst, 7); }),
              (Record{0, 0, 240, 300, 0x10003, 1}));
    // Upright already: nothing to do, nothing reported.
    size_t before = records.size();
    EXPECT_EQ(App_setRotation(inst, 0x10003), 1);
    drive([] { return false; }, 50);
    EXPECT_EQ(records.size(), before);
}

TEST_F(ScreenRequestTest, FullScreenOnAndOff)
{
    EXPECT_EQ(report([&] { return App_setScreenSize(inst, 240, 320, 0, 0); }),
              (Record{0, 0, 240, 320, 0x10003, 1}));
    EXPECT_EQ(report([&] { return App_setScreenSize(inst, 240, 300, 0, 0); }),
              (Record{0, 0, 240, 300, 0x10003, 1}));
    // A turned screen keeps its turn through a resize.
    report([&] { return App_setRotation(inst, 0x10004); });
    EXPECT_EQ(report([&] { return App_setScreenSize(inst, 240, 320, 0, 0); }),
              (Record{0, 0, 240, 320, 0x10004, 1}));
}

TEST_F(ScreenRequestTest, BadSizesAndAStoppedEngineAreRefused)
{
    EXPECT_EQ(App_setScreenSize(inst, 0, 300, 0, 0), 0);
    EXPECT_EQ(App_setScreenSize(inst, 240, -1, 0, 0), 0);
    EXPECT_EQ(App_setScreenSize(nullptr, 240, 300, 0, 0), 0);
    EXPECT_EQ(App_setRotation(nullptr, 0x10004), 0);
    drive([] { return false; }, 50);
    EXPECT_TRUE(records.empty());
}

} // namespace
