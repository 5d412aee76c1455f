// Screens: set creation from the host's geometry (screens, memory sizes,
// alignment, formats), the screen list and the orientations it allows,
// locking and the drawing buffer, blocked and flushed presents, rectangles
// flipped for the host, turned copies against a naive reference, and the
// area callback.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/context/context.h"
#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "viewer/screen/bitmapscale.h"
#include "graphics/bitmap.h"
#include "host/headless/headless.h"
#include "tests/viewer/dispman_fixture.h"
#include "viewer/screen/screen.h"

namespace {

class ScreenTest : public DispmanFixture {
  protected:
    void TearDown() override
    {
        run([this] { Screen_stopModule(ctx()); });
        Headless_clearRecords(e.host);
        Headless_setScreenGeometry(e.host, nullptr);
        DispmanFixture::TearDown();
    }
    // The host reports a display of fw x fh with an area w x h at (x, y).
    void geometry(int32_t w, int32_t h, int32_t fw, int32_t fh, int32_t x = 0, int32_t y = 0,
                  int32_t format = 0x10005, int32_t align = 0x10000, int32_t bw = 0, int32_t bh = 0)
    {
        const int32_t g[11] = {0, x, y, w, h, fw, fh, bw, bh, format, align};
        Headless_setScreenGeometry(e.host, g);
    }
    int create(uint32_t options)
    {
        int r = -1;
        run([&] {
            ASSERT_EQ(Screen_startModule(ctx()), 0);
            r = ScreenSet_create(ctx(), options);
        });
        return r;
    }
    Screen *screen(int32_t index)
    {
        return ScreenList_get(ctx(), index);
    }
    int updates()
    {
        return Headless_screenUpdateCount(e.host);
    }
    const HeadlessScreenUpdate *update(int i)
    {
        return Headless_screenUpdate(e.host, i);
    }
    // Fills the drawing buffer chosen by a lock with labelled pixels.
    std::vector<uint16_t> draw(Screen *s)
    {
        std::vector<uint16_t> image;
        run([&] {
            Screen_lock(s);
            ScreenSet *set = Screen_set(s);
            uint32_t stride = Screen_rowBytes(s->width, 2) / 2;
            uint16_t *p = static_cast<uint16_t *>(set->drawingBuffer);
            for (int32_t y = 0; y < s->height; y++)
                for (int32_t x = 0; x < s->width; x++)
                    p[size_t(y) * stride + x] = uint16_t(y * 256 + x + 1);
            image.assign(p, p + size_t(stride) * s->height);
            Screen_unlock(s);
        });
        return image;
    }
};

// The naive turn: pixel by pixel, by the rules of each orientation.
std::vector<uint16_t> naiveTurn(const std::vector<uint16_t> &src, int32_t w, int32_t h, int32_t o)
{
    uint32_t in = Screen_rowBytes(w, 2) / 2;
    int32_t dw = o & 1 ? h : w, dh = o & 1 ? w : h;
    uint32_t to = Screen_rowBytes(dw, 2) / 2;
    std::vector<uint16_t> out(size_t(to) * dh, 0);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            int32_t dx = o == 1 ? h - 1 - y : o == 2 ? w - 1 - x : y;
            int32_t dy = o == 1 ? x : o == 2 ? h - 1 - y : w - 1 - x;
            out[size_t(dy) * to + dx] = src[size_t(y) * in + x];
        }
    return out;
}

TEST_F(ScreenTest, SetCreationFollowsTheHostGeometry)
{
    struct Case {
        const char *name;
        uint32_t options;
        int32_t w, h, fw, fh, format, align, bw, bh;
        int32_t screens;
        size_t memory;
        uint32_t pixelFormat;
    };
    const Case cases[] = {
        // One screen: the full display once, in the device's orientation.
        {"single", ScreenSet_optionSingle, 240, 300, 240, 320, 0x10005, 0x10000, 0, 0, 1, 320 * 480,
         4},
        // Even sizes: two full images either way round.
        {"even", 0, 240, 300, 240, 320, 0x10005, 0x10000, 0, 0, 4, 2 * 320 * 480, 4},
        // Odd sizes: rows are padded to four bytes, and the larger of the
        // two turned images counts: 321 x rowBytes(241) = 321 x 484 against
        // 241 x rowBytes(321) = 241 x 644.
        {"odd", 0, 241, 300, 241, 321, 0x10005, 0x10000, 0, 0, 4, 2 * 321 * 484, 4},
        {"odd single", ScreenSet_optionSingle, 241, 300, 241, 321, 0x10005, 0x10000, 0, 0, 1,
         321 * 484, 4},
        // A larger minimum back buffer wins.
        {"minimum", 0, 100, 80, 100, 90, 0x10005, 0x10000, 400, 300, 4, 300 * 800, 4},
        // Formats: one byte per pixel, rows of 101 padded to 104.
        {"grey", 0, 101, 50, 101, 51, 0x10003, 0x10000, 0, 0, 4, 2 * 51 * 104, 0},
        {"rgba", 0, 10, 10, 10, 12, 0x10006, 0x10000, 0, 0, 4, 2 * 12 * 40, 6},
        {"444", 0, 10, 10, 10, 12, 0x10007, 0x10000, 0, 0, 4, 2 * 12 * 20, 1},
        {"555", 0, 10, 10, 10, 12, 0x10004, 0x10000, 0, 0, 4, 2 * 12 * 20, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        geometry(c.w, c.h, c.fw, c.fh, 0, 0, c.format, c.align, c.bw, c.bh);
        ASSERT_EQ(create(c.options), 0);
        ASSERT_EQ(ScreenList_count(ctx()), c.screens);
        ScreenSet *set = Screen_set(screen(0));
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->memorySize, c.memory);
        EXPECT_EQ(set->refCount, c.screens);
        for (int32_t i = 0; i < c.screens; i++) {
            Screen *s = screen(i);
            EXPECT_EQ(s->index, i);
            EXPECT_EQ(Screen_orientation(s), i);
            EXPECT_EQ(Screen_bufferOrientation(s), i);
            EXPECT_EQ(s->format, c.pixelFormat);
            EXPECT_EQ(s->resolution, 106);
            EXPECT_EQ(s->thirdWord, 50);
            EXPECT_TRUE(s->flags & Screen_flagIndirect);
            EXPECT_EQ(s->width, i & 1 ? c.h : c.w);
            EXPECT_EQ(s->height, i & 1 ? c.w : c.h);
            EXPECT_EQ(s->fullWidth, i & 1 ? c.fh : c.fw);
            EXPECT_EQ(s->fullHeight, i & 1 ? c.fw : c.fh);
            // The pixel word is the set, whose first word is the drawing buffer.
            EXPECT_EQ(*static_cast<void **>(s->pixels), set->outputBuffer);
        }
        run([&] { Screen_stopModule(ctx()); });
    }
}

TEST_F(ScreenTest, TheOutputBufferIsAlignedAsTheHostAsks)
{
    for (int32_t align : {4, 8, 16, 32, 0x10000, 0, 64}) {
        SCOPED_TRACE(align);
        geometry(31, 17, 31, 19, 0, 0, 0x10005, align);
        ASSERT_EQ(create(0), 0);
        ScreenSet *set = Screen_set(screen(0));
        uintptr_t out = reinterpret_cast<uintptr_t>(set->outputBuffer);
        if (align == 4 || align == 8 || align == 16 || align == 32) {
            EXPECT_EQ(out % uintptr_t(align), 0u);
            EXPECT_LT(out - reinterpret_cast<uintptr_t>(set->memory), uintptr_t(align));
        } else {
            EXPECT_EQ(set->outputBuffer, set->memory);
        }
        run([&] { Screen_stopModule(ctx()); });
    }
}

TEST_F(ScreenTest, BadHostFormatsAndSizesFailAndLeaveNothing)
{
    geometry(240, 300, 240, 320, 0, 0, 0x10002);
    EXPECT_EQ(create(0), Res_screenBadFormat);
    EXPECT_EQ(ScreenList_count(ctx()), 0);
    geometry(240, 300, 240, 320, 0, 0, 0x10008);
    EXPECT_EQ(create(0), Res_screenBadFormat);
    geometry(240, 300, 0, 320);
    EXPECT_NE(create(0), 0);
    // An area larger than the display would not fit the memory.
    geometry(241, 300, 240, 320);
    EXPECT_EQ(create(0), Res_nullInput);
    geometry(240, 321, 240, 320);
    EXPECT_EQ(create(0), Res_nullInput);
    EXPECT_EQ(ScreenList_count(ctx()), 0);
    run([&] { EXPECT_EQ(ScreenSet_create(nullptr, 0), Res_nullInput); });
}

TEST_F(ScreenTest, StartInFullScreenFromTheOptionOrTheSetting)
{
    geometry(240, 300, 240, 320, 0, 20);
    ASSERT_EQ(create(0), 0);
    EXPECT_EQ(screen(0)->height, 300);
    int32_t x, y;
    run([&] { Screen_getAreaOrigin(screen(0), &x, &y); });
    EXPECT_EQ(y, 20);
    run([&] { Screen_stopModule(ctx()); });

    ASSERT_EQ(create(ScreenSet_optionFullScreen), 0);
    EXPECT_EQ(screen(0)->height, 320);
    EXPECT_TRUE(Screen_isFullSize(screen(1)));
    run([&] { Screen_stopModule(ctx()); });

    set("Vexlan_startFullscreen", u"1");
    ASSERT_EQ(create(0), 0);
    EXPECT_TRUE(Screen_isFullSize(screen(0)));
    run([&] { Screen_getAreaOrigin(screen(0), &x, &y); });
    EXPECT_EQ(y, 0);
}

TEST_F(ScreenTest, RotatedScreensSettingAllowsListPositions)
{
    geometry(240, 300, 240, 320);
    ASSERT_EQ(create(0), 0);
    struct Case {
        const char16_t *setting;
        bool allowed[4];
    };
    const Case cases[] = {{nullptr, {true, true, false, false}},
                          {u"7", {true, true, true, true}},
                          {u"0", {true, false, false, false}},
                          {u"4", {true, false, false, true}}};
    for (const Case &c : cases) {
        if (c.setting)
            set("Vexlan_rotatedScreens", c.setting);
        for (int32_t o = 0; o < 4; o++) {
            int32_t index = -5;
            Screen *s = nullptr;
            run([&] { s = Screen_findAllowedByOrientation(ctx(), o, &index); });
            EXPECT_EQ(s != nullptr, c.allowed[o]) << o;
            EXPECT_EQ(index, c.allowed[o] ? o : 4) << o;
            run([&] { s = Screen_findByOrientation(ctx(), o, &index); });
            EXPECT_EQ(s, screen(o));
        }
    }
}

TEST_F(ScreenTest, ListAddMovesAScreenToTheEndAndRenumbers)
{
    geometry(20, 30, 20, 30);
    ASSERT_EQ(create(0), 0);
    Screen *first = screen(0);
    run([&] { ASSERT_EQ(ScreenList_add(ctx(), first), 0); });
    EXPECT_EQ(ScreenList_count(ctx()), 4);
    EXPECT_EQ(screen(3), first);
    EXPECT_EQ(first->index, 3);
    EXPECT_EQ(screen(0)->index, 0);
    EXPECT_EQ(Screen_orientation(screen(0)), 1);
    EXPECT_EQ(ScreenList_get(ctx(), 4), nullptr);
    EXPECT_EQ(ScreenList_get(ctx(), -1), nullptr);
}

// A single-screen set has no second half of memory: even with a turned
// view the drawing buffer stays the output buffer.
TEST_F(ScreenTest, LockingChoosesTheDrawingBuffer)
{
    geometry(20, 30, 20, 30);
    ASSERT_EQ(create(0), 0);
    ScreenSet *set = Screen_set(screen(0));
    uint8_t *back = set->outputBuffer + set->memorySize / 2;
    for (int32_t o = 0; o < 4; o++) {
        run([&] {
            Screen_lock(screen(o));
            EXPECT_EQ(set->drawingBuffer, o ? static_cast<void *>(back) : set->outputBuffer) << o;
            Screen_unlock(screen(o));
        });
    }
    run([&] {
        EXPECT_EQ(Screen_usesBackBuffer(screen(0)), 1);
        Screen_stopModule(ctx());
    });

    ASSERT_EQ(create(ScreenSet_optionSingle), 0);
    Screen *only = screen(0);
    set = Screen_set(only);
    only->flags |= 1u << Screen_orientationShift;
    run([&] {
        Screen_lock(only);
        EXPECT_EQ(set->drawingBuffer, set->outputBuffer);
        Screen_unlock(only);
        EXPECT_EQ(Screen_usesBackBuffer(only), 0);
    });
}

TEST_F(ScreenTest, BlockedPresentsAreHandedOverOnceAfterTheFlush)
{
    geometry(24, 30, 24, 32, 0, 2);
    ASSERT_EQ(create(0), 0);
    Screen *s = screen(0);
    run([&] {
        Screen_blockUpdates(s, 1);
        Screen_blockUpdates(s, 1);
        s->lockOp(s, s->callbackArg, Screen_opPresent, nullptr);
        Screen_flushUpdates(s);
        EXPECT_EQ(Screen_hasPendingUpdates(s), 1);
    });
    EXPECT_EQ(updates(), 0);
    run([&] {
        Screen_blockUpdates(s, 0);
        Screen_flushUpdates(s);
        EXPECT_EQ(Screen_hasPendingUpdates(s), 1);
        Screen_blockUpdates(s, 0);
        Screen_blockUpdates(s, 0); // never below 0
        EXPECT_EQ(Screen_set(s)->blockCount, 0);
        Screen_flushUpdates(s);
        EXPECT_EQ(Screen_hasPendingUpdates(s), 0);
    });
    ASSERT_EQ(updates(), 1);
    const HeadlessScreenUpdate *u = update(0);
    EXPECT_EQ(u->format, 0x10005);
    EXPECT_EQ(u->width, 24);
    EXPECT_EQ(u->height, 30);
    EXPECT_EQ(u->rowBytes, 48);
    EXPECT_EQ(u->x, 0);
    EXPECT_EQ(u->y, 0);
    EXPECT_EQ(u->w, 24);
    EXPECT_EQ(u->h, 30);
    EXPECT_EQ(u->originX, 0);
    EXPECT_EQ(u->originY, 2);
    EXPECT_EQ(Screen_set(s)->presentCount, 1u);
    EXPECT_EQ(e.instance->lastPresented, s);
    // A raise after the count reached 0 blocks again.
    run([&] {
        Screen_blockUpdates(s, 1);
        Screen_presentAll(s);
    });
    EXPECT_EQ(updates(), 1);
}

TEST_F(ScreenTest, RectanglesAreFlippedToCountDownwards)
{
    geometry(40, 30, 40, 30);
    ASSERT_EQ(create(0), 0);
    struct Case {
        Rect given;
        int32_t x, y, w, h;
        bool handed;
    };
    const Case cases[] = {
        {{10, 5, 30, 25}, 10, 5, 20, 20, true},  {{0, 0, 5, 4}, 0, 26, 5, 4, true},
        {{-10, 20, 50, 40}, 0, 0, 40, 10, true}, // clipped to the image
        {{5, 40, 10, 50}, 0, 0, 0, 0, false},    // above the image
        {{7, 3, 7, 9}, 0, 0, 0, 0, false},       // empty
    };
    Screen *s = screen(0);
    for (const Case &c : cases) {
        Headless_clearRecords(e.host);
        run([&] { s->lockOp(s, s->callbackArg, Screen_opPresent, &c.given); });
        ASSERT_EQ(updates(), c.handed ? 1 : 0);
        if (!c.handed)
            continue;
        EXPECT_EQ(update(0)->x, c.x);
        EXPECT_EQ(update(0)->y, c.y);
        EXPECT_EQ(update(0)->w, c.w);
        EXPECT_EQ(update(0)->h, c.h);
    }
    // A turned screen ignores the rectangle and hands over its whole image.
    Headless_clearRecords(e.host);
    Rect r{1, 1, 2, 2};
    run([&] { screen(1)->lockOp(screen(1), screen(1)->callbackArg, Screen_opPresent, &r); });
    ASSERT_EQ(updates(), 1);
    EXPECT_EQ(update(0)->w, 40);
    EXPECT_EQ(update(0)->h, 30);
}

TEST_F(ScreenTest, TurnedCopiesMatchTheNaiveTurnOnOddSizes)
{
    for (int32_t o = 1; o < 4; o++) {
        for (auto size : {std::pair{37, 23}, std::pair{5, 71}, std::pair{1, 1}, std::pair{33, 64},
                          std::pair{45, 17}, std::pair{480, 640}}) {
            int32_t w = size.first, h = size.second;
            std::vector<uint16_t> src(size_t(Screen_rowBytes(w, 2) / 2) * h);
            for (size_t i = 0; i < src.size(); i++)
                src[i] = uint16_t(i * 7 + 3);
            int32_t dw = o & 1 ? h : w, dh = o & 1 ? w : h;
            std::vector<uint16_t> out(size_t(Screen_rowBytes(dw, 2) / 2) * dh, 0);
            Screen_turn16(src.data(), w, h, out.data(), o);
            std::vector<uint16_t> expected = naiveTurn(src, w, h, o);
            // Row padding is not part of the image.
            uint32_t to = Screen_rowBytes(dw, 2) / 2;
            for (int32_t y = 0; y < dh; y++)
                for (int32_t x = 0; x < dw; x++)
                    ASSERT_EQ(out[size_t(y) * to + x], expected[size_t(y) * to + x])
                        << o << " " << w << "x" << h << " at " << x << "," << y;
        }
    }
}

// Presenting a turned screen hands the host the device-oriented image.
TEST_F(ScreenTest, PresentingTurnsTheBackBufferForTheHost)
{
    geometry(13, 7, 13, 7);
    ASSERT_EQ(create(0), 0);
    for (int32_t o = 0; o < 4; o++) {
        Headless_clearRecords(e.host);
        Screen *s = screen(o);
        std::vector<uint16_t> image = draw(s);
        run([&] { s->lockOp(s, s->callbackArg, Screen_opPresent, nullptr); });
        ASSERT_EQ(updates(), 1);
        const HeadlessScreenUpdate *u = update(0);
        EXPECT_EQ(u->width, 13);
        EXPECT_EQ(u->height, 7);
        EXPECT_EQ(u->rowBytes, 28);
        std::vector<uint16_t> expected = o ? naiveTurn(image, s->width, s->height, o) : image;
        const uint16_t *got = reinterpret_cast<const uint16_t *>(u->pixels);
        for (int32_t y = 0; y < 7; y++)
            for (int32_t x = 0; x < 13; x++)
                ASSERT_EQ(got[y * 14 + x], expected[size_t(y) * 14 + x])
                    << o << " at " << x << "," << y;
    }
}

// Orientation 0 with a back buffer copies row bytes x height: the last
// row's pixels arrive even when rows are padded.
TEST_F(ScreenTest, UnturnedBackBufferCopiesPaddedRows)
{
    geometry(7, 5, 7, 5);
    ASSERT_EQ(create(0), 0);
    Screen *s = screen(0);
    ScreenSet *set = Screen_set(s);
    uint16_t *back = reinterpret_cast<uint16_t *>(set->outputBuffer + set->memorySize / 2);
    for (int32_t i = 0; i < 4 * 5; i++)
        back[i] = uint16_t(0x1000 + i);
    run([&] {
        set->drawingBuffer = back;
        Screen_copyBackBuffer(s, set->outputBuffer);
    });
    const uint16_t *out = reinterpret_cast<const uint16_t *>(set->outputBuffer);
    EXPECT_EQ(out[4 * 4 + 6], back[4 * 4 + 6]); // the last pixel of the last row
    EXPECT_EQ(memcmp(out, back, 16 * 5), 0);
}

TEST_F(ScreenTest, AreaCallbackSetsAndRestoresTheArea)
{
    geometry(20, 28, 20, 30, 0, 2);
    ASSERT_EQ(create(0), 0);
    Screen *turnedScreen = screen(1);
    Rect full{0, 0, 20, 30};
    run([&] {
        EXPECT_EQ(Screen_callArea(turnedScreen, Screen_areaSet, &full), 1);
        EXPECT_EQ(turnedScreen->width, 30);
        EXPECT_EQ(turnedScreen->height, 20);
        EXPECT_TRUE(Screen_isFullSize(turnedScreen));
        EXPECT_EQ(Screen_callArea(turnedScreen, Screen_areaRestore, nullptr), 1);
        EXPECT_EQ(turnedScreen->width, 28);
        EXPECT_EQ(turnedScreen->height, 20);
        int32_t x, y, w, h;
        Screen_getAreaOrigin(turnedScreen, &x, &y);
        Screen_getAreaSize(turnedScreen, &w, &h);
        EXPECT_EQ(y, 2);
        EXPECT_EQ(w, 20);
        EXPECT_EQ(h, 28);
        Screen_setAreaOrigin(turnedScreen, 3, 4);
        Screen_getAreaOrigin(turnedScreen, &x, &y);
        Screen_getAreaSize(turnedScreen, &w, &h);
        EXPECT_EQ(x, 3);
        EXPECT_EQ(y, 4);
        EXPECT_EQ(h, 28);
    });
    Screen s{};
    EXPECT_EQ(Screen_callArea(&s, Screen_areaSet, &full), 0);
}

} // namespace

namespace {

TEST_F(ScreenTest, BitmapsOverScreensDrawIntoTheDrawingBuffer)
{
    geometry(9, 5, 9, 6);
    ASSERT_EQ(create(0), 0);
    Screen *s = screen(1);
    run([&] {
        Screen_lock(s);
        Bitmap *bitmap = Bitmap_createFromRecord(s);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->width, 5);
        EXPECT_EQ(bitmap->height, 9);
        EXPECT_EQ(bitmap->format, 4u);
        EXPECT_EQ(bitmap->scale, 106);
        EXPECT_EQ(bitmap->flags & Bitmap_flagIndirect, uint32_t(Bitmap_flagIndirect));
        EXPECT_EQ(bitmap->owner, ctx());
        // The turned screen draws into the back buffer.
        EXPECT_EQ(Bitmap_firstRow(bitmap), Screen_set(s)->drawingBuffer);
        EXPECT_NE(Bitmap_firstRow(bitmap), Screen_set(s)->outputBuffer);
        Bitmap_destroy(bitmap);
        Screen_unlock(s);
        EXPECT_EQ(Bitmap_createFromRecord(nullptr), nullptr);
    });
}

TEST_F(ScreenTest, TextEdgeTuningKeysAreReadOnlyWhenEnabled)
{
    geometry(9, 5, 9, 6);
    ASSERT_EQ(create(0), 0);
    // Not read while tuning is off: a sentinel default comes back.
    run([&] {
        EXPECT_EQ(Config_getIntA(ctx(), store, nullptr, "FV_textEdgeTuningContrast", 7), 7u);
    });
    set("FV_textEdgeTuningAdjustEnable", u"1");
    run([&] {
        ASSERT_EQ(Screen_startModule(ctx()), 0);
        EXPECT_EQ(Config_getIntA(ctx(), store, nullptr, "FV_textEdgeTuningIntensity", 0), 0x10000u);
        EXPECT_EQ(Config_getIntA(ctx(), store, nullptr, "FV_textEdgeTuningBrightness", 0), 64u);
    });
}

} // namespace
