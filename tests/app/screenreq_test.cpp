// The host's screen changes on a running application: a turn by host code
// and a new content size (full screen on and off) reach the viewer on the
// application thread, which reports each outcome to the host (request
// 0x10003); bad values are refused or turn the screen upright.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "app/screenreq.h"
#include "platform/api/command.h"
#include "tests/platform/app_fixture.h"
#include "viewer/screen/screen.h"

namespace {

using Record = std::array<int32_t, 6>; // x, y, width, height, host code, success

class ScreenRequestTest : public AppFixture {
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

// A screen 239 pixels wide: its rows (480 bytes) and the turned screen's
// rows (600 bytes) differ in length by more than the turn, so a row length
// taken from the wrong side skews every row the host shows.
class TurnedPictureTest : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        const int32_t g[11] = {0, 0, 0, 239, 300, 239, 320, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(host, g);
        ASSERT_EQ(start(), 1);
    }
    // Drives the engine until no new screen update came for a while.
    void settle()
    {
        for (int round = 0; round < 200; round++) {
            int before = Headless_screenUpdateCount(host);
            drive([] { return false; }, 50);
            if (Headless_screenUpdateCount(host) == before)
                return;
        }
    }
    // The engine's picture of the bound screen in its own orientation (its
    // drawing buffer, rows of Screen_rowBytes), and that orientation.
    std::vector<uint16_t> enginePicture(int32_t *width, int32_t *height, int32_t *orientation)
    {
        std::vector<uint16_t> out;
        onAppThread([&] {
            Screen *s = ScreenBinding_screen(Fv_fromApp(inst)->screen);
            ScreenSet *set = Screen_set(s);
            *width = s->width;
            *height = s->height;
            *orientation = Screen_bufferOrientation(s);
            uint32_t stride = Screen_rowBytes(s->width, 2);
            const uint8_t *rows = static_cast<const uint8_t *>(set->drawingBuffer);
            for (int32_t y = 0; y < s->height; y++)
                for (int32_t x = 0; x < s->width; x++) {
                    uint16_t p;
                    memcpy(&p, rows + size_t(y) * stride + size_t(x) * 2, 2);
                    out.push_back(p);
                }
        });
        return out;
    }
};

TEST_F(TurnedPictureTest, TheHostGetsTheEnginesPictureTurned)
{
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "Line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog.\n";
    ASSERT_EQ(App_setConfigInt(inst, "Vexlan_rotatedScreens", 0x10005), 1);
    ASSERT_TRUE(open(writeFile("turn.txt", text)));
    settle();
    // Upright, turned, in full screen and back: each time the host's whole
    // image holds the engine's picture turned to the device (the cursor
    // aside).
    struct Step {
        int32_t rotation;      // a host code, or 0 for a size
        int32_t width, height; // the size (device orientation)
    };
    const Step steps[] = {{0x10003, 0, 0}, {0x10004, 0, 0}, {0, 239, 320}, {0x10006, 0, 0},
                          {0, 239, 300},   {0x10003, 0, 0}, {0, 239, 320}, {0x10004, 0, 0}};
    for (const Step &step : steps) {
        SCOPED_TRACE(testing::Message()
                     << step.rotation << " " << step.width << "x" << step.height);
        if (step.rotation) {
            ASSERT_EQ(App_setRotation(inst, step.rotation), 1);
        } else {
            ASSERT_EQ(App_setScreenSize(inst, step.width, step.height, 0, 0), 1);
        }
        settle();
        int32_t w = 0, h = 0, o = -1;
        std::vector<uint16_t> picture = enginePicture(&w, &h, &o);
        int n = Headless_screenUpdateCount(host);
        ASSERT_GT(n, 0);
        const HeadlessScreenUpdate *u = Headless_screenUpdate(host, n - 1);
        ASSERT_NE(u->pixels, nullptr);
        const int32_t dw = o & 1 ? h : w, dh = o & 1 ? w : h;
        ASSERT_EQ(u->width, dw);
        ASSERT_EQ(u->height, dh);
        ASSERT_GE(u->rowBytes, dw * 2);
        int differ = 0, plain = 1;
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                // Where the turn puts the engine's pixel (x, y).
                int32_t dx = o == 1 ? h - 1 - y : o == 3 ? y : x;
                int32_t dy = o == 1 ? x : o == 3 ? w - 1 - x : y;
                uint16_t shown;
                memcpy(&shown, u->pixels + size_t(dy) * size_t(u->rowBytes) + size_t(dx) * 2, 2);
                differ += shown != picture[size_t(y) * size_t(w) + size_t(x)];
                plain &= picture[size_t(y) * size_t(w) + size_t(x)] == picture[0];
            }
        EXPECT_FALSE(plain) << "the page shows nothing to compare";
        // The cursor is the only thing composed over the picture.
        EXPECT_LT(differ, 32 * 32) << differ << " of " << w * h << " pixels differ";
    }
}

} // namespace
