// The cursor over a memory screen set of 40 x 30: the key moves and their
// clamps at each orientation, the rotation of the sprites, modes on Word
// and other documents, the release report, the point mappings, and a
// cursor turned off. The sprites are picture sprites standing in for the
// cursor and busy images.
#include <gtest/gtest.h>

#include <vector>

#include "core/config/config.h"
#include "core/container/obj.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "host/headless/headless.h"
#include "platform/api/app.h"
#include "viewer/api/keys.h"
#include "platform/vfs/romfs.h"
#include "tests/viewer/dispman_fixture.h"
#include "viewer/anim/anim.h"
#include "viewer/screen/cursor.h"
#include "viewer/screen/overlay.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

namespace {

constexpr int32_t W = 40, H = 30;

std::vector<Point> &released()
{
    static std::vector<Point> points;
    return points;
}

void onRelease(FvViewer *, int32_t code, int32_t x, int32_t y)
{
    EXPECT_EQ(code, 1);
    released().push_back(Point{x, y});
}

class CursorTest : public DispmanFixture {
  protected:
    void SetUp() override
    {
        DispmanFixture::SetUp();
        released().clear();
        const int32_t g[11] = {0, 0, 0, W, H, W, H, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(e.host, g);
        run([&] {
            ASSERT_EQ(Screen_startModule(ctx()), 0);
            ASSERT_EQ(ScreenSet_create(ctx(), 0), 0);
            Screen *s = ScreenList_get(ctx(), 0);
            ASSERT_EQ(Overlay_createManager(ctx(), s, Screen_getBuffer(s)), 1);
        });
        viewer.context = ctx();
        binding.screen = ScreenList_get(ctx(), 0);
        binding.active = 1;
        viewer.screen = &binding;
        Listener_init(&viewer.listeners, &viewer);
        page.viewer = &viewer;
        page.document = reinterpret_cast<Edr_Doc *>(&page); // stands for a shown document
        page.docType = Cursor_wordDocType;
        viewer.page = &page;
        settings.panUp = settings.panDown = settings.panLeft = settings.panRight = 32; // steps of 8
        settings.panUpRepeat = settings.panDownRepeat = settings.panLeftRepeat =
            settings.panRightRepeat = -16;
        view.viewer = &viewer;
        view.settings = &settings;
        e.instance->keyView = &view;
    }
    void TearDown() override
    {
        run([this] {
            Cursor_remove(&viewer);
            Key_freeHooks(&view);
            Listener_freeAll(&viewer.listeners);
            Overlay_destroyManager(ctx());
            Screen_stopModule(ctx());
        });
        e.instance->keyView = nullptr;
        Headless_clearRecords(e.host);
        Headless_setScreenGeometry(e.host, nullptr);
        DispmanFixture::TearDown();
    }
    // A cursor record over two picture sprites of 6 x 9 (cursor) and 7 x 5
    // (busy), as Overlay_createCursor makes it from the images.
    void makeCursor()
    {
        CursorState *c = static_cast<CursorState *>(Mem_calloc(1, sizeof(CursorState)));
        viewer.cursor = c;
        c->onRelease = onRelease;
        c->visible = 1;
        const int32_t cursorSize[2] = {6, 9}, busySize[2] = {7, 5};
        ASSERT_EQ(Overlay_addImageItemSprite(ctx(), cursorSize, W / 2, H / 2, 255, &c->cursorSprite,
                                             Cursor_depth, 0),
                  0);
        ASSERT_EQ(Overlay_addImageItemSprite(ctx(), busySize, W / 2, H / 2, 255, &c->busySprite,
                                             Cursor_depth, 0),
                  0);
        ASSERT_EQ(Cursor_setMode(&viewer, Cursor_modeCursor), 1);
    }
    void turn(int32_t o)
    {
        binding.screen = ScreenList_get(ctx(), o);
        ASSERT_EQ(Overlay_setScreen(ctx(), o), 1);
    }
    int32_t get(OverlaySprite *s, int32_t id)
    {
        int32_t v = 0;
        EXPECT_EQ(Overlay_getProperty(ctx(), s, id, &v), Res_ok);
        return v;
    }
    void put(OverlaySprite *s, int32_t id, int32_t v)
    {
        EXPECT_EQ(Overlay_setProperty(ctx(), s, id, &v), Res_ok);
    }
    CursorState *cursor()
    {
        return viewer.cursor;
    }

    FvViewer viewer{};
    FvScreen binding{};
    FvPage page{};
    FvView view{};
    FvZoomPanSettings settings{};
};

TEST_F(CursorTest, KeysMoveAndClampAtOrientation0)
{
    run([&] {
        makeCursor();
        OverlaySprite *s = cursor()->cursorSprite;
        EXPECT_EQ(cursor()->height, 9);
        struct Case {
            int32_t key, repeat, x, y, handled, x2, y2;
        } cases[] = {
            {0x10005, 0, 10, 15, 0, 10, 15}, // left at x = 10: not handled
            {0x10005, 0, 12, 15, 1, 10, 15}, // 12 with a step of 8 stops at 10
            {0x10005, 0, 30, 15, 1, 22, 15}, // a full step
            {0x10005, 1, 30, 15, 1, 26, 15}, // a repeat: a quarter of |-16|
            {0x10006, 0, 25, 15, 1, 30, 15}, // right: at most W - 10
            {0x10006, 0, 30, 15, 0, 30, 15}, // at the limit: not handled
            {0x10003, 0, 20, 5, 1, 20, 11},  // up: y + 8, at most H - 10 - h = 11
            {0x10004, 0, 20, 5, 1, 20, 1},   // down: y - 8, at least 10 - h = 1
            {0x10004, 0, 20, 1, 0, 20, 1},   // at the lower limit: not handled
        };
        for (const Case &c : cases) {
            for (OverlaySprite *sprite : {s, cursor()->busySprite}) {
                put(sprite, OverlayProp_x, c.x);
                put(sprite, OverlayProp_y, c.y);
            }
            EXPECT_EQ(Cursor_onKey(&viewer, c.key, c.repeat, 0), c.handled)
                << std::hex << c.key << " " << c.x;
            EXPECT_EQ(get(s, OverlayProp_x), c.x2) << std::hex << c.key << " " << c.x;
            EXPECT_EQ(get(s, OverlayProp_y), c.y2) << std::hex << c.key << " " << c.x;
            if (c.handled) {
                // Both sprites move together.
                EXPECT_EQ(get(cursor()->busySprite, OverlayProp_x), c.x2);
                EXPECT_EQ(get(cursor()->busySprite, OverlayProp_y), c.y2);
            }
        }
        // Other keys are not the cursor's.
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10008, 0, 0), 0);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x1000A, 0, 0), 0);
    });
}

TEST_F(CursorTest, KeysFollowTheTurnedScreen)
{
    run([&] {
        makeCursor();
        OverlaySprite *s = cursor()->cursorSprite;
        // Orientation 1 (W 40, H 30 as the screen reports them): up moves y
        // by the right step, at most W - 10.
        turn(1);
        put(s, OverlayProp_x, 15);
        put(s, OverlayProp_y, 28);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10003, 0, 0), 1);
        EXPECT_EQ(get(s, OverlayProp_y), 30);
        // Down: y - L, at least 10, not handled below 11.
        put(s, OverlayProp_y, 10);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10004, 0, 0), 0);
        // Orientation 2: left is x - R, at least 10; right x + L.
        turn(2);
        put(s, OverlayProp_x, 14);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10005, 0, 0), 1);
        EXPECT_EQ(get(s, OverlayProp_x), 10);
        // Orientation 3: right is x + D, at most H - 10 + h = 29.
        turn(3);
        put(s, OverlayProp_x, 25);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10006, 0, 0), 1);
        EXPECT_EQ(get(s, OverlayProp_x), 29);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10006, 0, 0), 0);
    });
}

TEST_F(CursorTest, RotationAnglesFollowTheOrientation)
{
    run([&] {
        makeCursor();
        // 0: no turn; 1: 270 degrees; 2: 180; 3: 90 (x toward y).
        const int32_t expect[4][4] = {{0x10000, 0, 0, 0x10000},
                                      {0, -0x10000, 0x10000, 0},
                                      {-0x10000, 0, 0, -0x10000},
                                      {0, 0x10000, -0x10000, 0}};
        for (int32_t o = 0; o < 4; o++) {
            turn(o);
            ASSERT_EQ(Cursor_setRotation(&viewer), 1);
            for (OverlaySprite *s : {cursor()->cursorSprite, cursor()->busySprite}) {
                const Matrix *m = s->item->matrix;
                ASSERT_NE(m, nullptr);
                EXPECT_NEAR(m->a, expect[o][0], 1) << o;
                EXPECT_NEAR(m->b, expect[o][1], 1) << o;
                EXPECT_NEAR(m->c, expect[o][2], 1) << o;
                EXPECT_NEAR(m->d, expect[o][3], 1) << o;
            }
            EXPECT_EQ(cursor()->cursorSprite->depth, Cursor_depth);
        }
        // A resize that turns to the screen at index 2 composes it and
        // turns the sprites again.
        binding.screen = ScreenList_get(ctx(), 2);
        ResizeNotice notice{2, 1, 0, 2};
        Cursor_onResizeStart(&viewer, &notice);
        EXPECT_EQ(get(cursor()->current, OverlayProp_hidden), 1);
        Cursor_onResizeDone(&viewer, &notice);
        EXPECT_EQ(get(cursor()->current, OverlayProp_hidden), 0);
        EXPECT_EQ(e.instance->overlay->screen, ScreenList_get(ctx(), 2));
        EXPECT_NEAR(cursor()->cursorSprite->item->matrix->a, -0x10000, 1);
    });
}

TEST_F(CursorTest, ModesOnWordAndOtherDocuments)
{
    run([&] {
        makeCursor();
        CursorState *c = cursor();
        EXPECT_EQ(c->current, c->cursorSprite);
        EXPECT_EQ(get(c->cursorSprite, OverlayProp_hidden), 0);
        EXPECT_EQ(get(c->busySprite, OverlayProp_hidden), 1);
        // Not a Word document: the cursor mode hides both sprites; the busy
        // mode still shows the busy one, without hot-spot height.
        c->visible = 0;
        ASSERT_EQ(Cursor_setMode(&viewer, Cursor_modeCursor), 1);
        EXPECT_EQ(c->current, nullptr);
        EXPECT_EQ(get(c->cursorSprite, OverlayProp_hidden), 1);
        EXPECT_EQ(get(c->busySprite, OverlayProp_hidden), 1);
        ASSERT_EQ(Cursor_setMode(&viewer, Cursor_modeBusy), 1);
        EXPECT_EQ(c->current, c->busySprite);
        EXPECT_EQ(get(c->busySprite, OverlayProp_hidden), 0);
        EXPECT_EQ(c->height, 0);
        Point p{};
        EXPECT_EQ(Cursor_getViewPoint(&viewer, &p), 0);
        ASSERT_EQ(Cursor_setMode(&viewer, Cursor_modeNone), 1);
        EXPECT_EQ(c->current, nullptr);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10005, 0, 0), 0);
    });
}

TEST_F(CursorTest, ReleasingAnArrowReportsTheViewPoint)
{
    run([&] {
        makeCursor();
        OverlaySprite *s = cursor()->cursorSprite;
        put(s, OverlayProp_x, 12);
        put(s, OverlayProp_y, 7);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10006, 0, 1), 0);
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10007, 0, 1), 0); // not an arrow: no report
        ASSERT_EQ(released().size(), 1u);
        // Orientation 0: (sx, H - sy - h).
        EXPECT_EQ(released()[0].x, 12);
        EXPECT_EQ(released()[0].y, H - 7 - 9);
        // Centring puts the sprite at the view's middle.
        Cursor_centre(&viewer);
        Point p{};
        ASSERT_EQ(Cursor_getViewPoint(&viewer, &p), 1);
        EXPECT_EQ(p.x, W / 2);
    });
}

TEST(CursorMappings, ViewAndSpritePointsOfEachOrientation)
{
    struct Case {
        int32_t o;
        Point toSprite, toView;
    } cases[] = {
        {0, {5, 8 - 4}, {5, 30 - 8 - 4}},
        {1, {8 - 4, 40 - 5}, {5 + 4, 40 - 8}},
        {2, {40 - 5, 30 - 8 + 4}, {5, 30 - 8 + 4}},
        {3, {30 - 8 + 4, 5}, {5 - 4, 40 - 8}},
    };
    for (const Case &c : cases) {
        Point s = Cursor_viewToSprite(c.o, 40, 30, 4, 5, 8);
        EXPECT_EQ(s.x, c.toSprite.x) << c.o;
        EXPECT_EQ(s.y, c.toSprite.y) << c.o;
        Point v = Cursor_spriteToView(c.o, 40, 30, 4, 5, 8);
        EXPECT_EQ(v.x, c.toView.x) << c.o;
        EXPECT_EQ(v.y, c.toView.y) << c.o;
    }
}

TEST_F(CursorTest, TurnedOffThereIsNoCursorAndArrowsPan)
{
    run([&] {
        Config_setIntA(ctx(), store, nullptr, "Vexlan_cursorEnable", 0, 0);
        EXPECT_EQ(Overlay_createCursor(&viewer, onRelease), 0);
        EXPECT_EQ(viewer.cursor, nullptr);
        EXPECT_EQ(viewer.listeners.head, nullptr);
        EXPECT_EQ(view.hooks, nullptr); // no hook takes the arrow keys from the pan
        EXPECT_EQ(Cursor_onKey(&viewer, 0x10005, 0, 0), 0);
        EXPECT_EQ(Cursor_setMode(&viewer, Cursor_modeBusy), 0);
        // Turned on but without its images: a failure that leaves nothing.
        Config_setIntA(ctx(), store, nullptr, "Vexlan_cursorEnable", 1, 0);
        EXPECT_EQ(Overlay_createCursor(&viewer, onRelease), 1);
        EXPECT_EQ(viewer.cursor, nullptr);
        EXPECT_EQ(Listener_hasFunction(&viewer.listeners, Cursor_onResizeStart), 0);
        EXPECT_EQ(e.instance->overlay->sprites, nullptr);
    });
}

TEST(BuiltinImages, TheViewerRegistersItsPictures)
{
    EXPECT_EQ(Fv_builtinImages[0].length, 911u);
    EXPECT_EQ(std::string(Fv_builtinImages[0].path), "/okala_dir/Img/magnifier.gif");
    EXPECT_EQ(Fv_builtinImages[1].length, 13203u);
    EXPECT_EQ(std::string(Fv_builtinImages[2].path),
              "/okala_dir/Img/fileviewer-ident-landscape.png");
    EXPECT_EQ(std::string(Fv_builtinImages[3].path), "/okala_dir/Img/cursor.png");
    EXPECT_EQ(std::string(Fv_builtinImages[4].path), "/okala_dir/Img/hourglass.png");
    for (const RomFsEntry &image : Fv_builtinImages) {
        const uint8_t *d = image.data;
        bool png = d[0] == 0x89 && d[1] == 'P';
        bool gif = d[0] == 'G' && d[1] == 'I' && d[2] == 'F';
        EXPECT_TRUE(png || gif) << image.path;
    }
}

} // namespace
