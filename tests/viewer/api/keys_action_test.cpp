// Key actions on the view: which keys apply, pan vectors (turned with the
// screen, scaled and limited in power-zoom mode, page keys by the view's
// size), pans cut into steps, zoom factors and their limits, page jumps,
// hooks, releases and the hidden key sequence. Everything runs on the
// application thread of a running engine, as keys do.
#include <cmath>
#include <limits>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "tests/viewer/api/keys_fixture.h"

namespace {

class KeyActionTest : public KeyFixture {
  protected:
    // Dispatches a press (or repeat) of key on the application thread with
    // arm 0; the pans it posts are logged after it.
    int dispatch(int32_t key, int32_t repeatCount = 0)
    {
        int handled = -1;
        onApp([&] { Key_dispatch(&view, key, repeatCount, &handled, 0); });
        return handled;
    }
    void delta(int32_t key, int32_t repeatCount, int32_t *dx, int32_t *dy)
    {
        onApp([&] { Key_panDelta(&view, key, repeatCount, dx, dy); });
    }
    void setOrientation(uint32_t o)
    {
        view.screenFlags =
            (view.screenFlags & ~uint32_t(Fv_orientationMask)) | (o << Fv_orientationShift);
    }
    static int consumeAll(FvView *, int32_t, int32_t, int)
    {
        note("hook");
        return 1;
    }
};

TEST_F(KeyActionTest, DirectionKeysTurnWithTheScreen)
{
    struct Case {
        uint32_t orientation;
        int32_t key;
        int32_t repeat;
        int32_t dx, dy;
    };
    const Case cases[] = {
        {0, Key_up, 0, 0, -10},
        {0, Key_down, 0, 0, 10},
        {0, Key_right, 0, 7, 0},
        {0, Key_left, 0, -7, 0},
        {0, Key_up, 1, 0, -30},
        {0, Key_right, 5, 21, 0},
        // Turned by one: up acts as right would, and the vector turns.
        {1, Key_up, 0, 0, -7},
        {1, Key_down, 0, 0, 7},
        {1, Key_right, 0, 10, 0},
        {1, Key_left, 0, -10, 0},
        {1, Key_up, 2, 0, -21},
        {2, Key_up, 0, 0, -10},
        {2, Key_right, 0, 7, 0},
        {3, Key_up, 0, 0, -7},
        {3, Key_right, 0, 10, 0},
        {3, Key_left, 1, -30, 0},
    };
    for (const Case &c : cases) {
        setOrientation(c.orientation);
        int32_t dx = -1, dy = -1;
        delta(c.key, c.repeat, &dx, &dy);
        EXPECT_EQ(dx, c.dx) << "o" << c.orientation << " key " << std::hex << c.key << " r"
                            << c.repeat;
        EXPECT_EQ(dy, c.dy) << "o" << c.orientation << " key " << std::hex << c.key << " r"
                            << c.repeat;
    }
}

// In power-zoom mode the distances grow with the zoom and stay within the
// pan limits, each on the side its key points to: a component that is 0
// stays 0, and one that the zoom makes tiny is still the minimum.
TEST_F(KeyActionTest, PowerZoomPansScaleWithTheZoomWithinTheLimits)
{
    view.displayMode = Fv_displayPowerZoom;
    struct Case {
        int32_t zoom;
        int32_t key;
        int32_t dx, dy;
    };
    const Case cases[] = {
        {0x28000, Key_up, 0, -25},                               // 2.5 x -10
        {0x28000, Key_right, 17, 0},                             // 2.5 x 7 rounded towards zero
        {0x28000, Key_left, -17, 0}, {0xA0000, Key_down, 0, 50}, // 10 x 10 above the maximum
        {0xA0000, Key_up, 0, -50},   {0x1999, Key_down, 0, 2},   // 0.1 x 10 below the minimum
        {0x1999, Key_up, 0, -2},     {0x1999, Key_right, 2, 0},
    };
    for (const Case &c : cases) {
        view.zoom = c.zoom;
        int32_t dx = -1, dy = -1;
        delta(c.key, 0, &dx, &dy);
        EXPECT_EQ(dx, c.dx) << std::hex << c.zoom << " " << c.key;
        EXPECT_EQ(dy, c.dy) << std::hex << c.zoom << " " << c.key;
    }
}

TEST_F(KeyActionTest, PageKeysMoveByTheViewLessATenth)
{
    struct Case {
        int32_t width, height;
        int32_t key;
        int32_t repeat;
        int32_t dx, dy;
    };
    const Case cases[] = {
        {200, 100, Key_pageDown, 0, 0, 90},
        {200, 100, Key_pageUp, 0, 0, -90},
        {200, 100, Key_pageRight, 0, 180, 0},
        {200, 100, Key_pageLeft, 0, -180, 0},
        {205, 101, Key_pageDown, 0, 0, 91},
        {205, 101, Key_pageLeft, 0, -185, 0},
        // Repeating page keys do not move without the permission.
        {200, 100, Key_pageDown, 1, 0, 0},
        {200, 100, Key_pageRight, 3, 0, 0},
    };
    for (const Case &c : cases) {
        view.width = c.width;
        view.height = c.height;
        int32_t dx = -1, dy = -1;
        delta(c.key, c.repeat, &dx, &dy);
        EXPECT_EQ(dx, c.dx) << std::hex << c.key << " r" << c.repeat;
        EXPECT_EQ(dy, c.dy) << std::hex << c.key << " r" << c.repeat;
    }
    // With the permission page up and down move while repeating; page left
    // and right still do not.
    setConfig(u"Vexlan_keyPageUpDownRepeat", 1);
    int32_t dx = -1, dy = -1;
    delta(Key_pageUp, 2, &dx, &dy);
    EXPECT_EQ(dy, -90);
    delta(Key_pageLeft, 2, &dx, &dy);
    EXPECT_EQ(dx, 0);
    // Only exactly 1 permits.
    setConfig(u"Vexlan_keyPageUpDownRepeat", 2);
    delta(Key_pageUp, 2, &dx, &dy);
    EXPECT_EQ(dy, 0);
}

TEST_F(KeyActionTest, PansAreCutIntoStepsThatAddUpExactly)
{
    struct Case {
        int32_t steps;
        int32_t key;
        int32_t down;
        const char *log;
    };
    const Case cases[] = {
        {3, Key_down, 10, "0:0,3 0:0,3 0:0,4 "},
        {3, Key_right, 10, "0:2,0 0:2,0 0:3,0 "},
        {2, Key_up, 10, "0:0,-5 0:0,-5 "},
        {1, Key_down, 10, "0:0,10 "},
        {0, Key_down, 10, "0:0,10 "},
        // Steps with nothing in them are not posted.
        {3, Key_down, 2, "0:0,2 "},
        {2, Key_down, 0, ""},
    };
    for (const Case &c : cases) {
        settings.panIterations = c.steps;
        settings.panDown = c.down;
        mark();
        onApp([&] { Key_pan(&view, c.key, 0, 0); });
        EXPECT_EQ(log(), c.log) << c.steps << " " << std::hex << c.key;
    }
    // Power-zoom mode has its own step count.
    view.displayMode = Fv_displayPowerZoom;
    settings.panDown = 10;
    settings.powerZoomPanIterations = 2;
    mark();
    onApp([&] { Key_pan(&view, Key_down, 0, 0); });
    EXPECT_EQ(log(), "0:0,5 0:0,5 ");
}

TEST_F(KeyActionTest, PanStateWord)
{
    view.panState = 2;
    onApp([&] { Key_pan(&view, Key_down, 0, 0); });
    EXPECT_EQ(view.panState, 0);
    onApp([&] { Key_pan(&view, Key_down, 0, 0); });
    EXPECT_EQ(view.panState, 1);
    onApp([&] { Key_pan(&view, Key_down, 0, 0); });
    EXPECT_EQ(view.panState, 1);
}

TEST_F(KeyActionTest, KeysApplyOnlyToAViewThatShowsSomething)
{
    EXPECT_EQ(dispatch(Key_noAction), 1);
    view.doc = nullptr;
    EXPECT_EQ(dispatch(Key_noAction), 0);
    view.doc = doc;
    FvPage *page = view.page;
    view.page = nullptr;
    EXPECT_EQ(dispatch(Key_noAction), 0);
    view.page = page;
    view.settings = nullptr;
    EXPECT_EQ(dispatch(Key_noAction), 0);
    view.settings = &settings;
    view.modal = 1;
    EXPECT_EQ(dispatch(Key_down), 0);
    view.modal = 0;
    int handled = -1;
    onApp([&] { Key_dispatch(nullptr, Key_down, 0, &handled, 1); });
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(log(), "");
}

TEST_F(KeyActionTest, KeysAndTheirActions)
{
    EXPECT_EQ(dispatch(0x10020), 0);
    EXPECT_EQ(dispatch(Key_fitMode2), 1);
    EXPECT_EQ(view.fitMode, 2);
    EXPECT_EQ(dispatch(Key_fitMode4), 1);
    EXPECT_EQ(view.fitMode, 4);
    EXPECT_EQ(dispatch(Key_fitMode1), 1);
    EXPECT_EQ(view.fitMode, 1);
    // Repeats of keys other than pans and zooms do nothing.
    EXPECT_EQ(dispatch(Key_fitMode2, 1), 0);
    EXPECT_EQ(view.fitMode, 1);
    // The screen keys are handled; without a viewer screen they change
    // nothing.
    EXPECT_EQ(dispatch(Key_rotate), 1);
    EXPECT_EQ((view.screenFlags & Fv_orientationMask) >> Fv_orientationShift, 0u);
    EXPECT_EQ(dispatch(Key_screenMode), 1);
    EXPECT_EQ(dispatch(Key_appAction), 1);
    EXPECT_EQ(log(), "action26 ");
    EXPECT_EQ(dispatch(Key_appAction, 1), 0);
    EXPECT_EQ(log(), "action26 ");

    // With the interaction word at 1 a used key is noted.
    view.interaction = 1;
    EXPECT_EQ(dispatch(0x10020), 0);
    EXPECT_EQ(view.keyUsed, 0);
    EXPECT_EQ(dispatch(Key_down), 1);
    EXPECT_EQ(view.keyUsed, 1);

    // Focus navigation that finds nothing leaves the key to pan.
    settings.panFocusObjsOnscreen = 1;
    mark();
    EXPECT_EQ(dispatch(Key_down), 1);
    EXPECT_EQ(log(), "0:0,10 ");
}

TEST_F(KeyActionTest, ZoomKeysMultiplyOrDivideByTheirFactor)
{
    struct Case {
        int32_t mode;
        int32_t start;
        int32_t key;
        int32_t repeat;
        int32_t zoom;
    };
    const Case cases[] = {
        {0, 0x10000, Key_zoomIn, 0, 0x20000},
        {0, 0x10000, Key_zoomOut, 0, 0x8000},
        {0, 0x10000, Key_zoomIn, 1, 0x14000},
        {0, 0x10000, Key_zoomOut, 1, 0xCCCC}, // truncated
        {Fv_displayPowerZoom, 0x10000, Key_zoomIn, 0, 0x40000},
        // A power-zoom repeat starts again from the page view's own scale.
        {Fv_displayPowerZoom, 0x40000, Key_zoomIn, 1, 0x18000},
        {Fv_displayPowerZoom, 0x40000, Key_zoomOut, 2, 0xAAAA},
    };
    for (const Case &c : cases) {
        view.displayMode = c.mode;
        view.zoom = c.start;
        EXPECT_EQ(dispatch(c.key, c.repeat), 1);
        EXPECT_EQ(view.zoom, c.zoom) << std::hex << c.key << " r" << c.repeat << " mode " << c.mode;
    }
}

// A factor that is not a positive number leaves the zoom alone, and the
// zoom never leaves the positive 16.16 range: a zoom of 0 could not grow
// again, and a double out of range does not convert.
TEST_F(KeyActionTest, ZoomStaysPositiveAndInRange)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {0.0, -2.0, nan, inf}) {
        settings.zoomIn = bad;
        settings.zoomOut = bad;
        view.zoom = 0x10000;
        EXPECT_EQ(dispatch(Key_zoomIn), 1);
        EXPECT_EQ(dispatch(Key_zoomOut), 1);
        EXPECT_EQ(view.zoom, 0x10000) << bad;
    }
    settings.zoomIn = 1e12;
    settings.zoomOut = 1e12;
    dispatch(Key_zoomIn);
    EXPECT_EQ(view.zoom, INT32_MAX);
    dispatch(Key_zoomOut);
    EXPECT_EQ(view.zoom, 1);
    dispatch(Key_zoomOut);
    EXPECT_EQ(view.zoom, 1);
}

TEST_F(KeyActionTest, PageJumps)
{
    onApp([&] {
        for (int32_t key = 0; key < 3; key++) {
            Edr_PageRec *r = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
            ASSERT_NE(r, nullptr);
            r->doc = doc;
            r->bounds[1] = int32_t(uint32_t(-100) << 16);
            r->bounds[2] = 100 << 16;
            ASSERT_EQ(Edr_Page_publishLayout(doc, key, 0, 0, r, 0, 0), 0);
        }
        uint32_t count = 0;
        Edr_Page_count(doc, &count);
        ASSERT_EQ(count, 3u);
    });
    settle();
    view.zoomCentre[0] = 5;
    view.zoomCentre[1] = 6;
    view.panAnimating = 1;
    EXPECT_EQ(dispatch(Key_lastPage), 1);
    EXPECT_EQ(view.pageIndex, 2);
    EXPECT_EQ(view.zoomCentre[0], -1);
    EXPECT_EQ(view.zoomCentre[1], -1);
    EXPECT_EQ(view.panAnimating, 0);
    EXPECT_EQ(dispatch(Key_nextPage), 1);
    EXPECT_EQ(view.pageIndex, 2);
    EXPECT_EQ(dispatch(Key_previousPage), 1);
    EXPECT_EQ(view.pageIndex, 1);
    EXPECT_EQ(dispatch(Key_firstPage), 1);
    EXPECT_EQ(view.pageIndex, 0);
    EXPECT_EQ(dispatch(Key_previousPage), 1);
    EXPECT_EQ(view.pageIndex, 0);
    EXPECT_EQ(dispatch(Key_nextPage), 1);
    EXPECT_EQ(view.pageIndex, 1);
}

TEST_F(KeyActionTest, HooksComeFirstAndConsumeKeysAndReleases)
{
    EXPECT_EQ(Key_pushHook(nullptr, consumeAll), Res_missingArgument);
    EXPECT_EQ(Key_pushHook(&view, nullptr), Res_missingArgument);
    onApp([&] {
        Mem_failAfter(1);
        EXPECT_EQ(Key_pushHook(&view, consumeAll), Res_noMemory);
        Mem_takeOutOfMemory();
        EXPECT_EQ(view.hooks, nullptr);
        EXPECT_EQ(Key_pushHook(&view, consumeAll), Res_ok);
    });
    mark();
    EXPECT_EQ(dispatch(Key_down), 1);
    EXPECT_EQ(dispatch(Key_fitMode2), 1);
    EXPECT_EQ(view.fitMode, 0);
    int handled = -1;
    onApp([&] { Key_release(&view, Key_down, &handled); });
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(log(), "hook hook hook ");
}

// The release of a pan key after repeats drops the pan messages still
// queued, so that the view stops where the key was let go.
TEST_F(KeyActionTest, ReleaseAfterRepeatsDropsQueuedPans)
{
    for (int32_t repeats : {0, 1}) {
        mark();
        int handled = -1;
        onApp([&] {
            inst->keys->repeatCount = repeats;
            Key_pan(&view, Key_down, 0, 0);
            Key_release(&view, Key_down, &handled);
        });
        EXPECT_EQ(handled, 1);
        EXPECT_EQ(log(), repeats ? "" : "0:0,10 ") << repeats;
    }
    int handled = -1;
    onApp([&] { Key_release(&view, 0x10020, &handled); });
    EXPECT_EQ(handled, 0);
    onApp([&] { Key_release(&view, Key_zoomIn, &handled); });
    EXPECT_EQ(handled, 1);
}

TEST_F(KeyActionTest, HiddenSequence)
{
    const int32_t sequence[] = {Key_up,   Key_up,    Key_down,    Key_down,
                                Key_left, Key_right, Key_noAction};
    for (int i = 0; i < 6; i++) {
        dispatch(sequence[i]);
        EXPECT_EQ(view.keySequence, i + 1);
    }
    dispatch(sequence[6]);
    EXPECT_EQ(view.keySequence, 0);
    // A wrong key starts again; repeats do not count.
    dispatch(Key_up);
    dispatch(Key_up, 1);
    EXPECT_EQ(view.keySequence, 1);
    dispatch(Key_left);
    EXPECT_EQ(view.keySequence, 0);
    // Also without a document.
    view.doc = nullptr;
    dispatch(Key_up);
    EXPECT_EQ(view.keySequence, 1);
}

} // namespace
