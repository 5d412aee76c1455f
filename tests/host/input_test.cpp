// Key and pointer input: the key table, and the pointer machine driven by
// a clock of the test's own, its engine calls recorded.
#include <gtest/gtest.h>

#include <vector>

#include "host/desktopkeys.h"
#include "host/pointer.h"
#include "platform/host/hostplatform.h"
#include "tests/host/gui_fixture.h"

TEST(KeyTable, QtKeysMapToEngineCodes)
{
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        int32_t code;
    } cases[] = {
        // The desktop's keys: arrows pan the view their way in both axes,
        // the page keys turn a screen (a page at the page's edge), Home and
        // End go to the first and last page, Ctrl with plus and minus zoom.
        {Qt::Key_Up, Qt::NoModifier, 0x10003},
        {Qt::Key_Down, Qt::NoModifier, 0x10004},
        {Qt::Key_Left, Qt::NoModifier, 0x10006},
        {Qt::Key_Right, Qt::NoModifier, 0x10005},
        {Qt::Key_PageDown, Qt::NoModifier, 0x10015},
        {Qt::Key_PageUp, Qt::NoModifier, 0x10014},
        {Qt::Key_Space, Qt::NoModifier, 0x10015},
        {Qt::Key_Space, Qt::ShiftModifier, 0x10014},
        {Qt::Key_Backspace, Qt::NoModifier, 0x10014},
        {Qt::Key_Home, Qt::NoModifier, 0x1000D},
        {Qt::Key_End, Qt::NoModifier, 0x1000E},
        {Qt::Key_Plus, Qt::ControlModifier, 0x10007},
        {Qt::Key_Equal, Qt::ControlModifier, 0x10007},
        {Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier | Qt::KeypadModifier, 0x10007},
        {Qt::Key_Minus, Qt::ControlModifier, 0x10009},
        // The phone's keys where they do not clash.
        {Qt::Key_A, Qt::NoModifier, 0x10007},
        {Qt::Key_3, Qt::NoModifier, 0x10007},
        {Qt::Key_2, Qt::NoModifier, 0x10008},
        {Qt::Key_1, Qt::NoModifier, 0x10009},
        {Qt::Key_Z, Qt::NoModifier, 0x10009},
        {Qt::Key_8, Qt::NoModifier, 0x10010},
        {Qt::Key_I, Qt::NoModifier, 0x10012},
        {Qt::Key_O, Qt::NoModifier, 0x10013},
        {Qt::Key_9, Qt::NoModifier, QAlien::reflowToggleKey},
        {Qt::Key_R, Qt::NoModifier, QAlien::reflowToggleKey},
        // Keys the engine does not take: commands of the window, Ctrl with
        // a phone key, Alt with anything, and keys nobody binds.
        {Qt::Key_O, Qt::ControlModifier, 0},
        {Qt::Key_Z, Qt::ControlModifier, 0},
        {Qt::Key_PageDown, Qt::AltModifier, 0},
        {Qt::Key_F, Qt::ControlModifier, 0},
        {Qt::Key_F3, Qt::NoModifier, 0},
        {Qt::Key_F11, Qt::NoModifier, 0},
        {Qt::Key_Plus, Qt::NoModifier, 0},
        {Qt::Key_4, Qt::NoModifier, 0},
        {Qt::Key_Return, Qt::NoModifier, 0},
        {Qt::Key_F1, Qt::NoModifier, 0},
        {Qt::Key_B, Qt::NoModifier, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QAlien::engineKeyCode(c.key, c.mods), c.code)
            << "key 0x" << std::hex << c.key << " modifiers 0x" << c.mods.toInt();
}

TEST(KeyTable, DesktopCommands)
{
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        int command;
    } cases[] = {
        {Qt::Key_F, Qt::ControlModifier, Desktop_find},
        {Qt::Key_F3, Qt::NoModifier, Desktop_findAgain},
        {Qt::Key_G, Qt::ControlModifier, Desktop_gotoPage},
        {Qt::Key_F11, Qt::NoModifier, Desktop_fullScreen},
        {Qt::Key_O, Qt::ControlModifier, Desktop_open},
        {Qt::Key_Q, Qt::ControlModifier, Desktop_quit},
        {Qt::Key_C, Qt::ControlModifier, Desktop_copy},
        {Qt::Key_Insert, Qt::ControlModifier, Desktop_copy},
        {Qt::Key_F, Qt::NoModifier, Desktop_none},
        {Qt::Key_Q, Qt::NoModifier, Desktop_none},
        {Qt::Key_PageDown, Qt::NoModifier, Desktop_engineKey},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DesktopKeys_binding(c.key, c.mods).command, c.command)
            << "key 0x" << std::hex << c.key << " modifiers 0x" << c.mods.toInt();
    // Page turns repeat as taps of their own; pans and zooms by the engine.
    for (int32_t code : {0x10014, 0x10015, 0x1000D, 0x1000E})
        EXPECT_TRUE(DesktopKeys_repeatsAsTaps(code)) << std::hex << code;
    for (int32_t code : {0x10003, 0x10004, 0x10005, 0x10006, 0x10007, 0x10009})
        EXPECT_FALSE(DesktopKeys_repeatsAsTaps(code)) << std::hex << code;
}

namespace {

// A pointer machine on a platform record, with a clock the test sets and
// the timer and state callbacks recorded.
class Pointer : public ::testing::Test {
  protected:
    void SetUp() override
    {
        platform = HostPlatform_create(this);
        HostPlatform_setCallback(platform, &Pointer::armTimer,
                                 reinterpret_cast<void *>(&Pointer::stateChanged), this);
        Host_setScreenHeight(platform, 500);
        HostPlatform_setScreenArea(platform, 32, 32, 448, 500);
        machine.setPlatform(platform);
        machine.setEngine(reinterpret_cast<EngineInstance *>(&engineWord));
        machine.setClock([this] { return now; });
        CallRecorder::clear();
    }
    void TearDown() override
    {
        HostPlatform_destroy(platform);
    }

    void setMask(uint32_t mask)
    {
        HostPlatform_setKeyMode(platform, mask);
    }
    void pressAt(int64_t t, int x, int y)
    {
        now = t;
        machine.press(x, y);
    }
    static void armTimer(void *self, int32_t ms)
    {
        static_cast<Pointer *>(self)->timers.push_back(ms);
    }
    static void stateChanged(void *self, int32_t state)
    {
        static_cast<Pointer *>(self)->states.push_back(state);
    }

    CallRecorder recorder{false};
    HostPlatform *platform = nullptr;
    PointerMachine machine;
    int64_t now = 100000;
    int engineWord = 0;
    std::vector<int32_t> timers;
    std::vector<int32_t> states;
};

} // namespace

TEST_F(Pointer, QuickPressesMakeADoublePressAndTheThirdStartsAfresh)
{
    setMask(7);
    // A drag after a double press zooms; after a single press it pans.
    pressAt(100000, 200, 200);
    machine.release();
    pressAt(100250, 200, 200);
    machine.move(200, 180);
    EXPECT_EQ(machine.state(), Pointer_zooming);
    machine.release();
    pressAt(100500, 200, 200);
    machine.move(200, 180);
    EXPECT_EQ(machine.state(), Pointer_panning);
    machine.release();
    EXPECT_EQ(CallRecorder::count("pointerDown"), 3);
    EXPECT_EQ(machine.state(), Pointer_idle);
    EXPECT_EQ(states.back(), Pointer_idle);
}

TEST_F(Pointer, APressTenMillisecondsAfterTheLastIsABounce)
{
    setMask(7);
    pressAt(100000, 50, 50);
    machine.release();
    pressAt(100010, 60, 60);
    EXPECT_EQ(CallRecorder::count("pointerDown"), 1);
    EXPECT_EQ(machine.state(), Pointer_idle);
    // 20 ms is no bounce.
    pressAt(100020, 60, 60);
    EXPECT_EQ(CallRecorder::count("pointerDown"), 2);
}

TEST_F(Pointer, MovesWithinSixteenPixelsKeepThePress)
{
    setMask(7);
    pressAt(100000, 100, 100);
    machine.move(110, 110); // squared distance 200
    EXPECT_EQ(machine.state(), Pointer_pressed);
    EXPECT_EQ(CallRecorder::count("pointerPan"), 0);
    machine.move(112, 112); // 288
    EXPECT_EQ(machine.state(), Pointer_panning);
    std::vector<EngineCall> pans = CallRecorder::named("pointerPan");
    ASSERT_EQ(pans.size(), 1u);
    EXPECT_EQ(pans[0].a, 12);
    EXPECT_EQ(pans[0].b, 12);
    EXPECT_EQ(pans[0].c, 0x10004);
    machine.move(115, 110);
    pans = CallRecorder::named("pointerPan");
    ASSERT_EQ(pans.size(), 2u);
    EXPECT_EQ(pans[1].a, 3);
    EXPECT_EQ(pans[1].b, -2);
    machine.release();
    pans = CallRecorder::named("pointerPan");
    EXPECT_EQ(pans.back().c, 0x10005);
    // Without the pan bit a drag does nothing.
    setMask(0);
    CallRecorder::clear();
    pressAt(200000, 100, 100);
    machine.move(150, 150);
    EXPECT_EQ(machine.state(), Pointer_idle);
    EXPECT_EQ(CallRecorder::count("pointerPan"), 0);
}

TEST_F(Pointer, ADragUpAfterADoublePressZooms)
{
    setMask(7);
    platform->scale = 0x10000;
    pressAt(100000, 200, 300);
    machine.release();
    pressAt(100250, 200, 300);
    machine.move(200, 200); // 100 pixels up: step 10000 / 12 = 833
    std::vector<EngineCall> zooms = CallRecorder::named("pointerZoom");
    ASSERT_EQ(zooms.size(), 1u);
    EXPECT_EQ(zooms[0].a, (0x10000 * (833 + 256)) >> 8);
    EXPECT_EQ(zooms[0].b, 0x10004);
    EXPECT_EQ(zooms[0].c, intptr_t(200) << 16 | 300); // about the press point
    machine.release();
    zooms = CallRecorder::named("pointerZoom");
    EXPECT_EQ(zooms.back().b, 0x10005);
    EXPECT_EQ(zooms.back().a, 0);
}

TEST(PointerZoom, DragZoomStaysInTheEnginesRange)
{
    const struct {
        uint32_t start;
        int32_t d;
        uint32_t zoom;
    } cases[] = {
        {0x10000, 100, (0x10000u * 1089) >> 8},
        {0x10000, 0, 0x10000},
        {0x10000, -128, 0x8000},           // down by d: the step is d itself
        {0x10000, -1000, Pointer_minZoom}, // the step stops at -256: zoom 0 becomes the least
        // 32-bit arithmetic wrapped here: 0x100000 x 83589 is past 2^32.
        {0x100000, 1000, Pointer_maxZoom},
        {0x10000, 100000, Pointer_maxZoom},
        {Pointer_maxZoom, 20, Pointer_maxZoom},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Pointer_dragZoom(c.start, c.d), c.zoom) << c.start << " " << c.d;
}

TEST_F(Pointer, ASwipeInTheBottomBandStepsAfterSixtyFourPixels)
{
    setMask(7);
    pressAt(100000, 300, 550); // below the usable height (500)
    machine.move(237, 552);
    EXPECT_EQ(machine.state(), Pointer_swiping);
    EXPECT_EQ(CallRecorder::count("postPageStep"), 0); // 63 pixels
    machine.move(236, 552);
    std::vector<EngineCall> steps = CallRecorder::named("postPageStep");
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].a, 0x10002);
    EXPECT_EQ(machine.state(), Pointer_idle); // a single swipe steps once
    machine.release();
    // To the right: the other way.
    pressAt(200000, 100, 560);
    machine.move(170, 560);
    steps = CallRecorder::named("postPageStep");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].a, 0x10003);
    // Above the band the same drag pans.
    machine.release();
    pressAt(300000, 100, 400);
    machine.move(170, 400);
    EXPECT_EQ(machine.state(), Pointer_panning);
}

TEST_F(Pointer, ATapIsThePrimaryActionAndAHoldTimesOut)
{
    setMask(15);
    pressAt(100000, 40, 60);
    ASSERT_FALSE(timers.empty());
    EXPECT_EQ(timers.back(), 100);
    EXPECT_EQ(machine.tickCounter(), 10);
    machine.release();
    EXPECT_EQ(CallRecorder::count("primaryAction"), 1);
    EXPECT_EQ(timers.back(), 0); // the release stops the timer

    // Held: the third tick selects at the press point, the tenth ends it.
    CallRecorder::clear();
    pressAt(200000, 40, 60);
    for (int i = 0; i < 3; i++)
        machine.tick();
    std::vector<EngineCall> edits = CallRecorder::named("editCall");
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].a, 40);
    EXPECT_EQ(edits[0].b, 60);
    EXPECT_EQ(edits[0].c, 0x10005);
    EXPECT_EQ(states.back(), Pointer_pressed);
    for (int i = 0; i < 7; i++)
        machine.tick();
    EXPECT_EQ(machine.state(), Pointer_idle);
    EXPECT_EQ(states.back(), Pointer_idle);
}

TEST_F(Pointer, ALateDragSelectsAndScrollsOutsideTheActiveRectangle)
{
    setMask(23); // without the hold selection
    pressAt(100000, 200, 200);
    for (int i = 0; i < 4; i++)
        machine.tick();
    machine.move(260, 200);
    EXPECT_EQ(machine.state(), Pointer_selecting);
    std::vector<EngineCall> edits = CallRecorder::named("editCall");
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0].c, 0x10006);
    EXPECT_EQ(edits[1].c, 0x10007);
    EXPECT_FALSE(machine.autoScrolling());
    // Past the right edge (448) by 12: the view scrolls by -24 and the
    // timer repeats the move every 200 ms.
    machine.move(460, 200);
    std::vector<EngineCall> pans = CallRecorder::named("pointerPan");
    ASSERT_EQ(pans.size(), 2u);
    EXPECT_EQ(pans[0].a, -24);
    EXPECT_EQ(pans[0].b, 0);
    EXPECT_EQ(pans[1].c, 0x10005);
    EXPECT_TRUE(machine.autoScrolling());
    EXPECT_EQ(timers.back(), 200);
    machine.tick();
    EXPECT_EQ(CallRecorder::named("pointerPan").size(), 4u);
    // Back inside: the scrolling stops.
    machine.move(300, 200);
    EXPECT_FALSE(machine.autoScrolling());
    EXPECT_EQ(timers.back(), 0);
}

TEST_F(Pointer, TheDesktopDragSelectsTextKeepsItAndAClickClearsIt)
{
    setMask(7);
    machine.setDragSelects(true);
    // A document whose text can be selected: the drag starts with a caret
    // at the boundary pressed and extends to each move.
    CallRecorder::actionsEnabled = 1;
    pressAt(100000, 200, 200);
    machine.move(230, 204);
    EXPECT_EQ(machine.state(), Pointer_selecting);
    machine.move(260, 206);
    std::vector<EngineCall> edits = CallRecorder::named("editCall");
    ASSERT_EQ(edits.size(), 3u);
    EXPECT_EQ(edits[0].a, 200);
    EXPECT_EQ(edits[0].b, 200);
    EXPECT_EQ(edits[0].c, 0x10006);
    EXPECT_EQ(edits[2].a, 260);
    EXPECT_EQ(edits[2].c, 0x10007);
    EXPECT_EQ(CallRecorder::count("pointerPan"), 0);
    // The release keeps the selection: no contents editor.
    machine.release();
    EXPECT_EQ(CallRecorder::count("secondaryAction"), 0);
    EXPECT_EQ(CallRecorder::count("primaryAction"), 0);
    // A click while it is there clears it (the primary action).
    CallRecorder::editActive = 1;
    pressAt(101000, 100, 100);
    machine.release();
    EXPECT_EQ(CallRecorder::count("primaryAction"), 1);

    // A document without selectable text: the same drag pans.
    CallRecorder::clear();
    pressAt(102000, 200, 200);
    machine.move(230, 204);
    EXPECT_EQ(machine.state(), Pointer_panning);
    EXPECT_EQ(CallRecorder::count("editCall"), 0);
    EXPECT_EQ(CallRecorder::count("pointerPan"), 1);
    machine.release();
}
