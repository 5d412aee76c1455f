// The viewer's screen operations: turning to the next allowed screen,
// single-screen sets that fall back to orientation 0, full screen on and
// off, the resize notices of listener codes 5 and 6, refused turns, the
// host's request 0x10003, the device turn, and a display view whose pixels
// reach the host turned and in full screen.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/listeners.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/bitmap.h"
#include "host/headless/headless.h"
#include "platform/api/request.h"
#include "platform/api/app.h"
#include "tests/viewer/dispman_fixture.h"
#include "viewer/fvdisplay.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/viewer.h"

namespace {

using Record = std::array<int32_t, 6>;

class ResizeTest : public DispmanFixture {
  protected:
    void SetUp() override
    {
        DispmanFixture::SetUp();
        viewer.context = ctx();
        viewer.screen = &binding;
        Listener_init(&viewer.listeners, &viewer);
        Headless_setRequestHook(e.host, onRequest, this);
    }
    void TearDown() override
    {
        Headless_setRequestHook(e.host, nullptr, nullptr);
        run([this] {
            FvDisplay_free(viewer.display);
            viewer.display = nullptr;
            Mem_free(viewer.orientationCache);
            Listener_freeAll(&viewer.listeners);
            Screen_stopModule(ctx());
        });
        Headless_clearRecords(e.host);
        Headless_setScreenGeometry(e.host, nullptr);
        DispmanFixture::TearDown();
    }
    static void onRequest(void *arg, int32_t code, void *record)
    {
        if (code == Fv_requestScreenResized) {
            const int32_t *w = static_cast<const int32_t *>(record);
            static_cast<ResizeTest *>(arg)->records.push_back(
                Record{w[0], w[1], w[2], w[3], w[4], w[5]});
        }
    }
    static void onNotice(FvViewer *viewer, void *argument, int32_t code)
    {
        ResizeTest *self = static_cast<ResizeTest *>(static_cast<void *>(viewer->values));
        const ResizeNotice *n = static_cast<const ResizeNotice *>(argument);
        self->notices.push_back({code, n->screenIndex, n->rotating, n->sizeGiven, n->orientation});
    }
    static void onStart(FvViewer *viewer, void *argument)
    {
        onNotice(viewer, argument, 5);
    }
    static void onDone(FvViewer *viewer, void *argument)
    {
        onNotice(viewer, argument, 6);
    }
    // A set from a 20 x 28 area at (0, 2) of a 20 x 30 display; screen 0
    // bound, the resize listeners registered.
    void screens(uint32_t options = 0)
    {
        const int32_t g[11] = {0, 0, 2, 20, 28, 20, 30, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(e.host, g);
        run([&] {
            ASSERT_EQ(Screen_startModule(ctx()), 0);
            ASSERT_EQ(ScreenSet_create(ctx(), options), 0);
            ScreenBinding_setScreen(&binding, ScreenList_get(ctx(), 0));
            ASSERT_EQ(Fv_registerResizeListeners(&viewer), 0);
        });
    }
    Screen *boundScreen()
    {
        return ScreenBinding_screen(&binding);
    }
    int32_t orientation()
    {
        return Screen_orientation(boundScreen());
    }
    int call(std::function<int()> fn)
    {
        int r = -1;
        run([&] { r = fn(); });
        return r;
    }

    FvViewer viewer{};
    FvScreen binding{};
    std::vector<Record> records;
    std::vector<std::array<int32_t, 5>> notices;
};

TEST_F(ResizeTest, RotateNextFollowsTheRotatedScreensSetting)
{
    screens();
    // The default, 1, reaches orientations 0 and 1 only.
    for (int32_t expected : {1, 0, 1, 0}) {
        EXPECT_EQ(call([&] { return Fv_rotateNext(&viewer); }), 0);
        EXPECT_EQ(orientation(), expected);
    }
    set("Vexlan_rotatedScreens", u"7");
    for (int32_t expected : {1, 2, 3, 0, 1}) {
        EXPECT_EQ(call([&] { return Fv_rotateNext(&viewer); }), 0);
        EXPECT_EQ(orientation(), expected);
    }
    ASSERT_EQ(records.size(), 9u);
    // Turned screens report their size in the device's orientation.
    EXPECT_EQ(records[0], (Record{0, 2, 20, 28, 0x10004, 1}));
    EXPECT_EQ(records[5], (Record{0, 2, 20, 28, 0x10005, 1}));
    EXPECT_EQ(records[8], (Record{0, 2, 20, 28, 0x10004, 1}));
    // Nothing allowed but the current orientation: nothing happens.
    set("Vexlan_rotatedScreens", u"0");
    run([&] { ASSERT_EQ(Fv_setOrientation(&viewer, 0x10003), 0); });
    size_t before = records.size();
    EXPECT_EQ(call([&] { return Fv_rotateNext(&viewer); }), 0);
    EXPECT_EQ(orientation(), 0);
    EXPECT_EQ(records.size(), before);
}

TEST_F(ResizeTest, SingleScreenSetsFallBackToOrientationZero)
{
    screens(ScreenSet_optionSingle);
    ASSERT_EQ(ScreenList_count(ctx()), 1);
    for (int32_t o = 1; o < 4; o++) {
        records.clear();
        EXPECT_EQ(call([&] { return Fv_resizeScreen(&viewer, 0, 0, 0, 0, o); }), 0) << o;
        EXPECT_EQ(boundScreen(), ScreenList_get(ctx(), 0));
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0], (Record{0, 2, 20, 28, 0x10003, 1})) << o;
        EXPECT_EQ(call([&] { return Fv_setOrientation(&viewer, 0x10003 + o); }), 0) << o;
        EXPECT_EQ(orientation(), 0);
    }
    EXPECT_EQ(call([&] { return Fv_rotateNext(&viewer); }), 0);
    EXPECT_EQ(orientation(), 0);
}

TEST_F(ResizeTest, FullScreenTwiceReturnsToTheFirstAreaAndOrigin)
{
    screens();
    for (int32_t o : {0, 1}) {
        SCOPED_TRACE(o);
        run([&] { ASSERT_EQ(Fv_setOrientation(&viewer, 0x10003 + o), 0); });
        records.clear();
        Screen *s = boundScreen();
        int32_t w = s->width, h = s->height, x, y;
        run([&] { Screen_getViewOrigin(s, &x, &y); });
        ASSERT_EQ(call([&] { return Fv_toggleFullScreen(&viewer); }), 0);
        EXPECT_TRUE(Screen_isFullSize(boundScreen()));
        EXPECT_EQ(boundScreen(), s);
        int32_t fx, fy;
        run([&] { Screen_getAreaOrigin(s, &fx, &fy); });
        EXPECT_EQ(fx, 0);
        EXPECT_EQ(fy, 0);
        // Every screen of the set shows the same area.
        EXPECT_TRUE(Screen_isFullSize(ScreenList_get(ctx(), 1 - o)));
        ASSERT_EQ(call([&] { return Fv_toggleFullScreen(&viewer); }), 0);
        EXPECT_EQ(s->width, w);
        EXPECT_EQ(s->height, h);
        int32_t ax, ay;
        run([&] { Screen_getAreaOrigin(s, &ax, &ay); });
        EXPECT_EQ(ax, x);
        EXPECT_EQ(ay, 2);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0], (Record{0, 0, 20, 30, 0x10003 + o, 1}));
        EXPECT_EQ(records[1], (Record{0, 2, 20, 28, 0x10003 + o, 1}));
    }
}

TEST_F(ResizeTest, ListenersHearTheResizeNotices)
{
    screens();
    viewer.values = reinterpret_cast<FvValueNode *>(this);
    run([&] {
        ASSERT_EQ(Listener_add(&viewer.listeners, FvListen_resizeStart, onStart), 1);
        ASSERT_EQ(Listener_add(&viewer.listeners, FvListen_resizeDone, onDone), 1);
    });
    EXPECT_EQ(call([&] { return Fv_rotateNext(&viewer); }), 0);
    EXPECT_EQ(call([&] { return Fv_resizeFromHost(&viewer, 20, 30, 0, 0, 0); }), 0);
    viewer.values = nullptr;
    using N = std::array<int32_t, 5>;
    ASSERT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices[0], (N{5, 1, 1, 0, 1}));
    EXPECT_EQ(notices[1], (N{6, 1, 1, 0, 1}));
    EXPECT_EQ(notices[2], (N{5, 0, 0, 1, 1}));
    EXPECT_EQ(notices[3], (N{6, 0, 0, 1, 1}));
    // The viewer's own code-6 listener used up the state of code 5.
    EXPECT_EQ(viewer.orientationCache, nullptr);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1], (Record{0, 0, 20, 30, 0x10004, 1}));
}

TEST_F(ResizeTest, RefusedTurnsRestoreTheAreasAndReportFailure)
{
    screens();
    viewer.values = reinterpret_cast<FvValueNode *>(this);
    run([&] { ASSERT_EQ(Listener_add(&viewer.listeners, FvListen_resizeStart, onStart), 1); });
    // Orientation 2 is not allowed by default, even with a new size.
    EXPECT_EQ(call([&] { return Fv_resizeScreen(&viewer, 20, 30, 0, 0, 2); }), 1);
    viewer.values = nullptr;
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(orientation(), 0);
    EXPECT_EQ(boundScreen()->height, 28);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (Record{0, 2, 20, 28, 0x10003, 0}));
    // Updates are no longer blocked.
    EXPECT_EQ(Screen_set(boundScreen())->blockCount, 0);
    EXPECT_EQ(viewer.resizing, 0);
}

// Areas larger than the display, or of negative size, would not fit the
// pixel memory: they are refused and nothing changes.
TEST_F(ResizeTest, SizesBeyondTheDisplayAreRefused)
{
    screens();
    const int32_t sizes[][2] = {{21, 30}, {20, 31}, {-5, 10}, {10, -1}};
    for (const auto &size : sizes) {
        records.clear();
        EXPECT_EQ(call([&] { return Fv_resizeScreen(&viewer, size[0], size[1], 0, 0, 0); }), 1);
        EXPECT_EQ(boundScreen()->width, 20);
        EXPECT_EQ(boundScreen()->height, 28);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0][5], 0);
    }
    // Turned, the display's device size still holds.
    run([&] { ASSERT_EQ(Fv_setOrientation(&viewer, 0x10004), 0); });
    EXPECT_EQ(call([&] { return Fv_resizeScreen(&viewer, 20, 30, 0, 0, 1); }), 0);
    EXPECT_EQ(boundScreen()->width, 30);
    EXPECT_EQ(call([&] { return Fv_resizeScreen(&viewer, 30, 20, 0, 0, 1); }), 1);
}

TEST_F(ResizeTest, DeviceTurnReordersTheScreens)
{
    screens();
    Screen *before[4];
    for (int32_t i = 0; i < 4; i++)
        before[i] = ScreenList_get(ctx(), i);
    run([&] { Screens_applyDeviceTurn(&viewer, 0x10004); });
    ASSERT_EQ(ScreenList_count(ctx()), 4);
    for (int32_t i = 0; i < 4; i++) {
        Screen *s = ScreenList_get(ctx(), i);
        EXPECT_EQ(Screen_orientation(s), i);
        EXPECT_EQ(Screen_bufferOrientation(s), i);
        EXPECT_EQ(s, before[(i + 3) & 3]);
    }
    // The screen of the old buffer orientation (0) is bound.
    EXPECT_EQ(orientation(), 0);
    EXPECT_EQ(boundScreen(), before[3]);
}

// Done when: a display view's pixels reach the host, turned and in full
// screen.
TEST_F(ResizeTest, ADisplayViewReachesTheHostTurnedAndInFullScreen)
{
    start();
    screens();
    run([&] {
        ASSERT_EQ(FvDisplay_create(ctx(), boundScreen(), 0x336699ffu, &viewer.display), 0);
    });
    ASSERT_NE(viewer.display, nullptr);
    ASSERT_EQ(call([&] { return Fv_rotateNext(&viewer); }), 0);
    ASSERT_EQ(call([&] { return Fv_toggleFullScreen(&viewer); }), 0);
    Screen *s = boundScreen();
    EXPECT_EQ(viewer.display->view->client, s);
    EXPECT_EQ(Screen_orientation(s), 1);
    EXPECT_EQ(viewer.display->view->bitmap->width, 30);
    EXPECT_EQ(viewer.display->view->bitmap->height, 20);
    Headless_clearRecords(e.host);
    run([&] {
        Screen_lock(s);
        // Pure red, left half only: x < 15 of the turned view.
        Rect left{0, 0, 15, 20};
        ASSERT_EQ(Bitmap_fillColourAlpha(viewer.display->view->bitmap, 0x000000FFu, 255, &left), 0);
        Rect right{15, 0, 30, 20};
        ASSERT_EQ(Bitmap_fillColourAlpha(viewer.display->view->bitmap, 0x00FF0000u, 255, &right),
                  0);
        Screen_unlock(s);
        Screen_presentAll(s);
    });
    ASSERT_GE(Headless_screenUpdateCount(e.host), 1);
    const HeadlessScreenUpdate *u =
        Headless_screenUpdate(e.host, Headless_screenUpdateCount(e.host) - 1);
    EXPECT_EQ(u->width, 20);
    EXPECT_EQ(u->height, 30);
    EXPECT_EQ(u->w, 20);
    EXPECT_EQ(u->h, 30);
    EXPECT_EQ(u->originX, 0);
    EXPECT_EQ(u->originY, 0);
    // The view's left half (its x below 15) is the device's top half after
    // a quarter turn: view (x, y) goes to device (H - 1 - y, x).
    const uint16_t *p = reinterpret_cast<const uint16_t *>(u->pixels);
    EXPECT_EQ(p[5 * 20 + 3], 0xF800u);  // device row 5: view x 5
    EXPECT_EQ(p[25 * 20 + 3], 0x001Fu); // device row 25: view x 25
}

// The background colour 0xRRGGBBAA paints the bound screen and reaches the
// host; updates blocked hold it back until the flush.
TEST_F(ResizeTest, TheBackgroundColourPaintsTheBoundScreen)
{
    screens();
    run([&] {
        Screen_blockUpdates(boundScreen(), 1);
        Fv_setBackgroundColour(&binding, 0x00FF00FFu);
    });
    EXPECT_EQ(Headless_screenUpdateCount(e.host), 0);
    run([&] {
        Screen_blockUpdates(boundScreen(), 0);
        Screen_flushUpdates(boundScreen());
    });
    ASSERT_EQ(Headless_screenUpdateCount(e.host), 1);
    const HeadlessScreenUpdate *u = Headless_screenUpdate(e.host, 0);
    const uint16_t *p = reinterpret_cast<const uint16_t *>(u->pixels);
    for (int32_t y = 0; y < u->height; y++)
        for (int32_t x = 0; x < u->width; x++)
            ASSERT_EQ(p[size_t(y) * (u->rowBytes / 2) + x], 0x07E0u) << x << "," << y;
    // Without a bound screen nothing happens.
    FvScreen none{};
    run([&] { Fv_setBackgroundColour(&none, 0xFF0000FFu); });
    EXPECT_EQ(Headless_screenUpdateCount(e.host), 1);
}

// The display view's background is the colour with its bytes reversed and
// its alpha forced to 0xff.
TEST_F(ResizeTest, DisplayColoursAreReversed)
{
    start();
    screens();
    run([&] {
        ASSERT_EQ(FvDisplay_create(ctx(), boundScreen(), 0x11223344u, &viewer.display), 0);
        Request *q = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(viewer.display->viewDocument, nullptr, &q), 0);
        const StylePropItem *colour =
            StyleRule_findProp(Request_firstItem(q), PropId_backgroundColor);
        ASSERT_NE(colour, nullptr);
        EXPECT_EQ(Prop_getColour(&colour->value), 0xFF332211u);
        Request_release(q);
    });
}

// A pan step that moves nothing ends the pan.
TEST_F(ResizeTest, APanStepThatDoesNotMoveEndsThePan)
{
    start();
    screens();
    run([&] {
        ASSERT_EQ(FvDisplay_create(ctx(), boundScreen(), 0xffffffffu, &viewer.display), 0);
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        FvPageView *page = nullptr;
        ASSERT_EQ(FvPageView_create(viewer.display, doc, &page), 0);
        int32_t before = dm()->queue.incoming.count;
        ASSERT_EQ(FvPageView_panStep(page, 5, 0), 0);
        ASSERT_EQ(dm()->queue.incoming.count, before + 2);
        EXPECT_EQ(dm()->queue.incoming.entries[before].subCode, uint32_t(DispmanSub_panStep));
        EXPECT_EQ(dm()->queue.incoming.entries[before + 1].subCode, uint32_t(DispmanSub_panEnd));
        FvPageView_free(page);
        Edr_Doc_release(doc);
    });
}

TEST_F(ResizeTest, PageViewsForwardToTheDisplayView)
{
    start();
    screens();
    run([&] {
        ASSERT_EQ(FvDisplay_create(ctx(), boundScreen(), 0xffffffffu, &viewer.display), 0);
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        FvPageView *none = nullptr;
        ASSERT_EQ(FvPageView_create(viewer.display, nullptr, &none), 0);
        EXPECT_EQ(Edr_Fwd_subdocScale(none), 0x10000);
        EXPECT_EQ(Edr_Fwd_subdocScale(nullptr), 0x10000);
        FvPageView_free(none);
        FvPageView *page = nullptr;
        ASSERT_EQ(FvPageView_create(viewer.display, doc, &page), 0);
        ASSERT_NE(page->node, nullptr);
        Edr_Node_subdocPayload(page->node)->placement[0] = 0x18000;
        Edr_Node_subdocPayload(page->node)->placement[4] = 7;
        EXPECT_EQ(Edr_Fwd_subdocScale(page), 0x18000);
        int32_t x, y;
        FvPageView_getPan(page, &x, &y);
        EXPECT_EQ(x, 7);
        int32_t lo, hi;
        FvPageView_getZoomLimits(page, &lo, &hi);
        EXPECT_EQ(lo, 4096);
        EXPECT_EQ(hi, 0x1000000);
        Rect limits{2, 3, 10, 12}, got;
        FvPageView_setPanLimits(page, &limits);
        Edr_Fwd_getSubRect(page, &got);
        EXPECT_EQ(got.x0, 2);
        EXPECT_EQ(got.y1, 12);
        FvPageView_setPanLimits(page, nullptr);
        Edr_Fwd_getSubRect(page, &got);
        EXPECT_EQ(got.x0, 20);
        EXPECT_EQ(got.y0, 28);
        float w, h;
        FvDisplay_getSize(viewer.display, &w, &h);
        EXPECT_EQ(w, 20.0f);
        EXPECT_EQ(h, 28.0f);
        FvPageView_free(page);
        Edr_Doc_release(doc);
    });
}

} // namespace
