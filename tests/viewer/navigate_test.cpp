// Page navigation, fit and alignment, zoom and pan gestures: the geometry
// of fits, alignments, shown rectangles, pans by orientation, pan limits
// and zoom clamps as tables, and the viewer running on the headless host
// with a multi-page text: page reports, keys, settles and coalescing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/task/appevent.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "platform/api/appqueue.h"
#include "viewer/api/forward.h"
#include "viewer/api/keys.h"
#include "platform/url/url.h"
#include "tests/platform/app_fixture.h"
#include "tests/support/heap_fixture.h"
#include "viewer/fvdisplay.h"
#include "viewer/navigate.h"
#include "viewer/reports.h"
#include "viewer/screen/resize.h"
#include "viewer/view.h"
#include "viewer/zoompan.h"

namespace {

// ------------------------------------------------------------ fit zooms

TEST(FitZoomTest, FitsOfAnA4PageOnTheDefaultScreen)
{
    // 8.27 x 11.69 in at 106 pixels an inch in a 240 x 300 area.
    int32_t w = 0, h = 0, whole = 0;
    ASSERT_EQ(Fv_fitZoomsOf(240.0f, 300.0f, 8.27f * 106.0f, 11.69f * 106.0f, &w, &h, &whole), 0);
    EXPECT_EQ(w, int32_t(240.0f * 65536.0f / (8.27f * 106.0f)));
    EXPECT_EQ(h, int32_t(300.0f * 65536.0f / (11.69f * 106.0f)));
    EXPECT_EQ(whole, std::min(w, h));
    // By hand: 240 / 876.62 = 0.27378 of 65536 is 17942; 300 / 1239.14 =
    // 0.24210 of 65536 is 15866: the height decides.
    EXPECT_NEAR(w, 17942, 2);
    EXPECT_NEAR(h, 15866, 2);
    EXPECT_EQ(whole, h);
}

TEST(FitZoomTest, APageOrAreaWithoutSizeHasNoFit)
{
    struct Case {
        float dw, dh, pw, ph;
    } cases[] = {
        {240, 300, 0, 100},      {240, 300, 100, 0},   {240, 300, -5, 100},
        {0, 300, 100, 100},      {240, 300, NAN, 100}, {240, 300, 100, INFINITY},
        {240, 300, 1e-30f, 100}, // the quotient would not fit an int
    };
    for (const Case &c : cases) {
        int32_t w = 7, h = 7, whole = 7;
        EXPECT_NE(Fv_fitZoomsOf(c.dw, c.dh, c.pw, c.ph, &w, &h, &whole), 0)
            << c.pw << " x " << c.ph;
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
        EXPECT_EQ(whole, 0);
    }
}

// ------------------------------------------------------------ alignment

TEST(AlignTest, OffsetsOfTheAlignmentModes)
{
    // V is where the page is, C the area; a pan by (dx, dy) moves V.
    const Rect area{0, 0, 200, 300};
    const Rect wide{-50, 20, 350, 250}; // wider than the area, shorter
    struct Case {
        int32_t mode;
        Rect v;
        int32_t dx, dy;
    } cases[] = {
        {0, wide, 0, 0},
        {16, wide, 0, 0},
        {2, wide, 50, 50},                   // left and bottom edges onto the area's
        {3, wide, -150, 50},                 // right and bottom
        {4, wide, 50, -20},                  // left and top
        {5, wide, -150, -20},                // right and top
        {6, wide, -50, 15},                  // centres
        {9, wide, -150, 0},                  // the far (right) edge of the previous page
        {13, wide, 50, 0},                   // the left edge of the next page
        {1, Rect{-30, 10, 100, 110}, 30, 0}, // snapped back to the side it left
        {1, Rect{150, 0, 250, 100}, -50, 0},
        {1, Rect{-20, 0, 400, 100}, 0, 0}, // covers the area across: nothing to snap
    };
    for (const Case &c : cases) {
        int32_t dx = 99, dy = 99;
        Fv_alignOffsetsOf(c.mode, &c.v, &area, &dx, &dy);
        EXPECT_EQ(dx, c.dx) << "mode " << c.mode;
        EXPECT_EQ(dy, c.dy) << "mode " << c.mode;
    }
}

TEST(AlignTest, GoingBackShowsThePreviousPagesFarEdgeWhateverItsWidth)
{
    const Rect area{0, 0, 200, 300};
    for (Rect v : {Rect{-300, 0, 100, 300}, Rect{40, 0, 140, 300}, Rect{150, 0, 250, 300}}) {
        int32_t dx = 0, dy = 0;
        Fv_alignOffsetsOf(9, &v, &area, &dx, &dy);
        EXPECT_EQ(v.x1 + dx, area.x1) << v.x0 << ".." << v.x1;
        EXPECT_EQ(dy, 0);
        Fv_alignOffsetsOf(13, &v, &area, &dx, &dy);
        EXPECT_EQ(v.x0 + dx, area.x0) << v.x0 << ".." << v.x1;
    }
}

TEST(AlignTest, HostCode0x10007CentresTheContent)
{
    // The host's alignment code 0x10007 stands for mode 6.
    const Rect area{0, 0, 240, 300};
    const Rect page{-100, -40, 300, 500};
    int32_t dx = 0, dy = 0;
    Fv_alignOffsetsOf(0x10007 - 0x10003 + 2, &page, &area, &dx, &dy);
    EXPECT_EQ((page.x0 + dx + page.x1 + dx) / 2, (area.x0 + area.x1) / 2);
    EXPECT_EQ((page.y0 + dy + page.y1 + dy) / 2, (area.y0 + area.y1) / 2);
}

TEST(AlignTest, AnEmptyRectangleHasSizeAndCentreZero)
{
    for (Rect r : {Rect{0, 0, 0, 0}, Rect{10, 10, 5, 20}, Rect{10, 30, 20, 30}}) {
        int32_t w = 1, h = 1, x = 1, y = 1;
        Fv_rectSizeAndCentre(&r, &w, &h, &x, &y);
        EXPECT_EQ(w | h | x | y, 0);
    }
    Rect r{10, 20, 31, 61};
    int32_t w = 0, h = 0, x = 0, y = 0;
    Fv_rectSizeAndCentre(&r, &w, &h, &x, &y);
    EXPECT_EQ(w, 21);
    EXPECT_EQ(h, 41);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 40);
}

TEST(ScrollReportTest, ThePartAboveTheAreaAndTheHeights)
{
    // View pixels count y upwards: a page's top is its y1.
    struct Case {
        Rect page, area;
        FvScrollReport expected;
    } cases[] = {
        {{0, -2381, 480, 568}, {0, 0, 480, 568}, {0, 2949, 568}},    // the top shows
        {{0, -1869, 480, 1080}, {0, 0, 480, 568}, {512, 2949, 568}}, // a screen down
        {{0, 0, 480, 2949}, {0, 0, 480, 568}, {2381, 2949, 568}},    // the end shows
        {{0, 100, 480, 3049}, {0, 0, 480, 568}, {2381, 2949, 568}},  // past the end: the end
        {{0, -2500, 480, 449}, {0, 0, 480, 568}, {0, 2949, 568}},    // below the top: 0
        {{0, 200, 480, 400}, {0, 0, 480, 568}, {0, 200, 568}},       // a page that fits
        {{0, 0, 0, 0}, {0, 0, 480, 568}, {0, 0, 0}},                 // no page
        {{0, 0, 480, 900}, {0, 0, 0, 0}, {0, 0, 0}},                 // no area
    };
    for (const Case &c : cases) {
        FvScrollReport out{-1, -1, -1};
        Fv_scrollOf(&c.page, &c.area, &out);
        EXPECT_EQ(out.top, c.expected.top) << c.page.y0 << ".." << c.page.y1;
        EXPECT_EQ(out.height, c.expected.height) << c.page.y0 << ".." << c.page.y1;
        EXPECT_EQ(out.visible, c.expected.visible) << c.page.y0 << ".." << c.page.y1;
    }
}

TEST(ShowRectTest, ModesMoveAsTheirRulesSay)
{
    const FvShowArea area{0, 20, 240, 280, 120, 160};
    struct Case {
        int32_t mode;
        int force;
        Point p1, p2;
        int moves;
        int32_t dx, dy;
    } cases[] = {
        // Inside: modes 1 and 2 leave it.
        {1, 0, {50, 100}, {90, 60}, 0, 0, 0},
        {2, 0, {50, 100}, {90, 60}, 0, 0, 0},
        // Forced: centred.
        {1, 1, {50, 100}, {90, 60}, 1, 50, -80},
        // Below the area but within its width: mode 2 moves only vertically.
        {2, 0, {50, 400}, {90, 360}, 1, 0, 220},
        {1, 0, {50, 400}, {90, 360}, 1, 50, 220},
        // Right of it: only horizontally.
        {2, 0, {300, 100}, {340, 60}, 1, -200, 0},
        // Mode 3: the corner onto the area's top-left.
        {3, 0, {50, 100}, {90, 60}, 1, -50, 40},
        {4, 1, {50, 100}, {90, 60}, 0, 0, 0},
    };
    for (const Case &c : cases) {
        int32_t dx = 7, dy = 7;
        EXPECT_EQ(Fv_showRectOffsets(c.mode, c.force, &c.p1, &c.p2, &area, nullptr, &dx, &dy),
                  c.moves)
            << "mode " << c.mode;
        if (c.moves) {
            EXPECT_EQ(dx, c.dx) << "mode " << c.mode;
            EXPECT_EQ(dy, c.dy) << "mode " << c.mode;
        }
    }
}

// ------------------------------------------------------------ pans

TEST(PanTest, ScreenPansTurnWithTheOrientation)
{
    struct Case {
        int32_t o, dx, dy, px, py;
    } cases[] = {
        {0, 5, 0, 5, 0},  {0, 0, 5, 0, -5}, {1, 5, 0, 0, 5},  {1, 0, 5, 5, 0},
        {2, 5, 0, -5, 0}, {2, 0, 5, 0, 5},  {3, 5, 0, 0, -5}, {3, 0, 5, -5, 0},
    };
    for (const Case &c : cases) {
        int32_t px = 9, py = 9;
        Fv_mapPan(c.o, c.dx, c.dy, &px, &py);
        EXPECT_EQ(px, c.px) << "o " << c.o << " (" << c.dx << ", " << c.dy << ")";
        EXPECT_EQ(py, c.py) << "o " << c.o << " (" << c.dx << ", " << c.dy << ")";
    }
}

TEST(PanLimitsTest, EdgesReachedByOrientation)
{
    const Rect area{0, 0, 240, 300};
    // A page pushed right (its left part in view, covering the area's
    // height) has reached its "right" limit; one pushed left and down its
    // "left" and "top" ones. The codes turn with the orientation.
    const Rect pushedRight{10, -50, 300, 400};
    const Rect pushedLeftDown{-100, 10, 230, 400};
    const int32_t right[4] = {0x10004, 0x10001, 0x10008, 0x10002};
    const int32_t leftTop[4] = {0x10008 | 0x10002, 0x10002 | 0x10004, 0x10004 | 0x10001,
                                0x10001 | 0x10008};
    for (int32_t o = 0; o < 4; o++) {
        EXPECT_EQ(Fv_panLimitSet(o, &pushedRight, &area, 0), right[o]) << o;
        EXPECT_EQ(Fv_panLimitSet(o, &pushedLeftDown, &area, 0), leftTop[o]) << o;
    }
    // A page covering the area reaches nothing.
    const Rect covering{-10, -10, 250, 310};
    EXPECT_EQ(Fv_panLimitSet(0, &covering, &area, 0), 0);
    // An empty view rectangle reports every edge.
    Rect empty{0, 0, 0, 0};
    EXPECT_EQ(Fv_panLimitSet(0, &empty, &area, 0), 0x1000f);
    // Outside page view the bottom edge needs only the one side.
    const Rect shorter{-100, 10, 300, 290};
    EXPECT_EQ(Fv_panLimitSet(0, &shorter, &area, 0), 0);
    EXPECT_EQ(Fv_panLimitSet(0, &shorter, &area, 1), 0x10001);
}

// ------------------------------------------------------------ zoom

// New settings start from the built-in template.
class ZoomTemplateTest : public LeakCheckedHeapTest<> {};

TEST_F(ZoomTemplateTest, NewSettingsHoldWhatTheKeysGive)
{
    FvZoomPanSettings *s = ZoomPan_createSettings(nullptr);
    ASSERT_NE(s, nullptr);
    // Key handling divides by the zoom-out factor: it must be above 1 for
    // "zoom out" to shrink, as the keys' defaults 60 and 80 make it.
    EXPECT_DOUBLE_EQ(s->zoomOut, ZoomPan_outFactor(60, s->zoomIn));
    EXPECT_DOUBLE_EQ(s->zoomOut, 1.4);
    EXPECT_DOUBLE_EQ(s->zoomOutRepeat, 1.4);
    EXPECT_DOUBLE_EQ(s->powerZoomOut, ZoomPan_outFactor(80, s->powerZoomIn));
    EXPECT_DOUBLE_EQ(s->powerZoomOutRepeat, 1.2);
    EXPECT_GT(s->zoomOut, 1.0);
    EXPECT_EQ(s->panVertMax, 0x7fffffff);
    EXPECT_EQ(s->panLimitsReporting, 0x10001);
    Mem_free(s);
}

TEST(ZoomSettingsTest, ZoomOutKeys)
{
    EXPECT_DOUBLE_EQ(ZoomPan_outFactor(60, 1.4), 1.4);
    EXPECT_DOUBLE_EQ(ZoomPan_outFactor(80, 1.2), 1.2);
    EXPECT_DOUBLE_EQ(ZoomPan_outFactor(150, 1.5), 1.5); // 100 or more: the zoom-in factor
    EXPECT_DOUBLE_EQ(ZoomPan_outFactor(100, 1.3), 1.3);
    EXPECT_DOUBLE_EQ(ZoomPan_outFactor(99, 1.3), 1.01);
}

class ClampZoomTableTest : public LeakCheckedHeapTest<> {};

TEST_F(ClampZoomTableTest, Table)
{
    FvZoomPanSettings *created = ZoomPan_createSettings(nullptr);
    ASSERT_NE(created, nullptr);
    FvZoomPanSettings settings = *created;
    Mem_free(created);
    FvZoomPanSettings *s = &settings;
    int32_t lo = 0, hi = 0;
    // The default limits without a fit or view limits (outside page view).
    Fv_zoomLimitsOf(s, 0, 0, 0, 0, 0, &lo, &hi);
    EXPECT_EQ(lo, 3276);
    EXPECT_EQ(hi, 524288);
    // In page view without a fit the smallest zoom is 100 %.
    Fv_zoomLimitsOf(s, 0, 0, 1, 0, 0, &lo, &hi);
    EXPECT_EQ(lo, 0x10000);
    // The display view's own limits narrow them.
    Fv_zoomLimitsOf(s, 0x2000, 0x40000, 1, 1, 0x1000, &lo, &hi);
    EXPECT_EQ(lo, 0x2000);
    EXPECT_EQ(hi, 0x40000);
    // A whole-page fit of 50 % stops zooming out there.
    Fv_zoomLimitsOf(s, 0, 0, 1, 1, 0x8000, &lo, &hi);
    EXPECT_EQ(lo, 0x8000);
    // A small page fitting at 250 %: fitted with "FitSmallImages" 1, kept at
    // 100 % with 0.
    Fv_zoomLimitsOf(s, 0, 0, 1, 1, 0x28000, &lo, &hi);
    EXPECT_EQ(lo, 0x28000);
    s->fitSmallImages = 0;
    Fv_zoomLimitsOf(s, 0, 0, 1, 1, 0x28000, &lo, &hi);
    EXPECT_EQ(lo, 0x10000);
    // A fit beyond the largest zoom: 100 %.
    s->fitSmallImages = 1;
    Fv_zoomLimitsOf(s, 0, 0, 1, 1, 0x900000, &lo, &hi);
    EXPECT_EQ(lo, 0x10000);

    struct Case {
        int32_t lo, hi, r, c;
        int changed;
        int32_t zoom;
    } cases[] = {
        {0x10000, 524288, 0x10003, 0x18000, 1, 0x10000}, // snapped onto the limit
        {0x8000, 524288, 0x4000, 0x10000, 1, 0x8000},    // out to the fit and no further
        {0x8000, 524288, 0x4000, 0x8000, 0, 0},          // at the limit already
        {0x10000, 524288, 0x900000, 0x10000, 1, 524288},
        {0x10000, 524288, 0x900000, 524288, 0, 0},
        {0x10000, 524288, 0x20000, 0x20000, 0, 0},
        {0x10000, 524288, 0x18000, 0x20000, 1, 0x18000},
        {0x28000, 524288, 0x10000, 0x30000, 1, 0x28000}, // a 250 % fit is the floor
    };
    for (const Case &c : cases) {
        int32_t state = 0, zoom = 0;
        int changed = 9;
        (void)Fv_clampZoomTo(c.lo, c.hi, 0, c.r, c.c, &state, &zoom, &changed);
        EXPECT_EQ(changed, c.changed) << std::hex << c.r << " from " << c.c;
        if (c.changed) {
            EXPECT_EQ(zoom, c.zoom) << std::hex << c.r << " from " << c.c;
        }
    }
}

TEST(ClampZoomTest, LimitReportsAreNotRepeated)
{
    int32_t state = 0, zoom = 0;
    int changed = 0;
    const int32_t lo = 0x8000, hi = 0x80000;
    std::vector<int32_t> reports;
    for (int32_t r :
         {0x4000, 0x4000, 0x10000, 0x90000, 0x90000, 0x80000, 0x20000, 0x20000, 0x8000}) {
        int32_t report = Fv_clampZoomTo(lo, hi, 0, r, 0x10000, &state, &zoom, &changed);
        if (report >= 0)
            reports.push_back(report);
    }
    EXPECT_EQ(reports, (std::vector<int32_t>{0x10000, 0x10002, 0x10001, 0x10002, 0x10000}));
    // The force flag repeats a limit report.
    EXPECT_EQ(Fv_clampZoomTo(lo, hi, 1, 0x4000, 0x10000, &state, &zoom, &changed), 0x10000);
}

// ------------------------------------------------------------ the running viewer

class NavigateTest : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        Headless_setRequestHook(host, hook, this);
    }
    static void hook(void *arg, int32_t code, void *record)
    {
        NavigateTest *t = static_cast<NavigateTest *>(arg);
        AppFixture::onRequest(arg, code, record);
        if (!record)
            return;
        if (code == Fv_requestZoom)
            t->zooms.push_back(static_cast<const FvZoomReport *>(record)->zoom);
        if (code == Fv_requestZoomLimit)
            t->limits.push_back(*static_cast<const int32_t *>(record));
        if (code == Fv_requestViewMode)
            t->modes.push_back(*static_cast<const FvViewModeReport *>(record));
    }
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    std::vector<std::pair<int32_t, int32_t>> pages()
    {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (int i = 0; i < Headless_pageReportCount(host); i++) {
            HeadlessPageReport r = Headless_pageReport(host, i);
            out.push_back({r.page, r.count});
        }
        return out;
    }
    // A text of n lines.
    std::string openText(int lines, const std::string &name = "pages")
    {
        std::string text;
        for (int i = 0; i < lines; i++)
            text += "Line " + std::to_string(i + 1) + " of a text that runs over several pages.\n";
        std::string file = writeFile(name + ".txt", text);
        EXPECT_TRUE(open(file));
        return file;
    }
    int32_t pageCount()
    {
        uint32_t count = 0;
        onAppThread([&] { Edr_Page_count(viewer()->page->document, &count); });
        return int32_t(count);
    }
    void key(int32_t code)
    {
        size_t before = seen.size();
        EXPECT_EQ(Engine_keyPress(inst, code, 0), 1);
        EXPECT_EQ(Engine_keyRelease(inst, code), 1);
        drive([&] { return seen.size() > before; }, 200);
        Headless_runTimers(host, 50);
    }

    std::vector<int32_t> zooms;
    std::vector<int32_t> limits;
    std::vector<FvViewModeReport> modes;
};

TEST_F(NavigateTest, PageReportsAreDeduplicatedAndTheCountIsNoPage)
{
    ASSERT_EQ(start(), 1);
    openText(400);
    int32_t count = pageCount();
    ASSERT_GE(count, 2);
    // The first display reports page 1 (of the pages laid out by then).
    EXPECT_EQ(pages().front().first, 1);
    size_t before = pages().size();
    onAppThread([&] {
        FvPage *page = viewer()->page;
        Fv_setCurrentPage(viewer(), page, 1);
        Fv_setCurrentPage(viewer(), page, 1);
        EXPECT_EQ(Fv_gotoPage(viewer(), page, count), 0);
        EXPECT_EQ(Fv_gotoPage(viewer(), page, -1), 0);
        EXPECT_EQ(page->currentIndex, 1);
    });
    ASSERT_EQ(pages().size(), before + 1);
    EXPECT_EQ(pages().back(), std::make_pair(2, count));
}

TEST_F(NavigateTest, KeysPageAndZoomAFivePageText)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/app/five_pages.txt"));
    Headless_runTimers(host, 100);
    ASSERT_EQ(pageCount(), 5);
    EXPECT_EQ(pages().back(), std::make_pair(1, 5));

    key(Key_nextPage);
    EXPECT_EQ(pages().back(), std::make_pair(2, 5));
    key(Key_nextPage);
    EXPECT_EQ(pages().back(), std::make_pair(3, 5));
    key(Key_previousPage);
    EXPECT_EQ(pages().back(), std::make_pair(2, 5));

    zooms.clear();
    key(Key_zoomIn);
    ASSERT_FALSE(zooms.empty());
    int32_t in = zooms.back();
    EXPECT_EQ(in & 7, 0);
    key(Key_zoomOut);
    ASSERT_GE(zooms.size(), 2u);
    EXPECT_LT(zooms.back(), in); // zooming out shrinks, from the first key on
    EXPECT_EQ(zooms.back() & 7, 0);
}

TEST_F(NavigateTest, TheFirstDisplayFitsTheWholePage)
{
    ASSERT_EQ(start(), 1);
    openText(20);
    int32_t zoom = 0, width = 0, height = 0;
    float pw = 0, ph = 0;
    int sized = -1;
    onAppThread([&] {
        FvPage *page = viewer()->page;
        zoom = Fv_pageZoom(page);
        Fv_getViewArea(viewer(), &width, &height, nullptr, nullptr);
        sized = Fv_pageSizeAt(page, 0, &pw, &ph);
    });
    ASSERT_EQ(sized, 0);
    ASSERT_GT(pw, 0.0f);
    int32_t w = 0, h = 0, whole = 0;
    ASSERT_EQ(Fv_fitZoomsOf(float(width), float(height), pw * 106.0f, ph * 106.0f, &w, &h, &whole),
              0);
    EXPECT_EQ(zoom, whole);
    ASSERT_FALSE(zooms.empty());
    EXPECT_EQ(zooms.back(), whole);
}

TEST_F(NavigateTest, TheFittedPageIsWhereTheArithmeticPutsIt)
{
    // A text page is 8.27 x 12 in; at 106 pixels an inch in the 240 x 300
    // area of the headless screen the height decides: 300 x 65536 / (12 x
    // 106) = 15456 (0x3c60), the page then 876.6 x 15456 / 65536 = 206
    // pixels wide, centred from x = 17 to 223, filling the height.
    ASSERT_EQ(start(), 1);
    openText(20);
    Headless_runTimers(host, 100);
    onAppThread([&] {
        FvPage *page = viewer()->page;
        EXPECT_EQ(Edr_Fwd_subdocScale(page->pageView), 15456);
        Rect v{0, 0, 0, 0};
        Edr_Fwd_getViewRect(page->pageView, &v);
        EXPECT_EQ(v.x0, 17);
        EXPECT_EQ(v.x1, 223);
        EXPECT_EQ(v.y0, 0);
        EXPECT_EQ(v.y1, 300);
    });
}

TEST_F(NavigateTest, ASecondLastPhaseSettlesNothing)
{
    ASSERT_EQ(start(), 1);
    openText(20);
    onAppThread([&] {
        FvPage *page = viewer()->page;
        page->panSettle = FvSettle_moving;
        EXPECT_EQ(Fv_scheduleSettle(page, 1), 0);
        EXPECT_EQ(page->panSettle, FvSettle_done);
        EXPECT_EQ(Fv_scheduleSettle(page, 1), 2);
        EXPECT_EQ(Fv_scheduleSettle(page, 3), 2);
        // A pan step after a settled gesture moves again; its last phase
        // settles once.
        Fv_panStep(viewer(), page, 5, 0, FvPhase_first);
        EXPECT_EQ(page->panSettle, FvSettle_moving);
        Fv_panStep(viewer(), page, 0, 0, FvPhase_last);
        EXPECT_EQ(page->panSettle, FvSettle_done);
        EXPECT_EQ(Fv_scheduleSettle(page, 1), 2);
    });
}

TEST_F(NavigateTest, SettingsAreReadFromTheirKeysWhenChanged)
{
    ASSERT_EQ(start(), 1);
    onAppThread([&] {
        FvViewer *v = viewer();
        EngineContext *context = v->context;
        Config_setIntA(context, context->config, nullptr, "FV_zoomInAmount", 150, 0);
        Config_setIntA(context, context->config, nullptr, "FV_zoomOutAmount", 150, 0);
        Config_setIntA(context, context->config, nullptr, "FV_powerZoomOutAmount", 75, 0);
        Config_setIntA(context, context->config, nullptr, "FV_ZoomLimitMax", 400, 0);
        Config_setIntA(context, context->config, u"Core", "EnableImages", 0, 0);
        Config_setIntA(context, context->config, nullptr, "Vexlan_enableSmartScrolling", 1, 0);
        FvZoomPanSettings *s = v->zoomPanSettings;
        ASSERT_NE(s, nullptr);
        v->settingsChanged = 1;
        EXPECT_EQ(Fv_readZoomPanSettings(v, s), 1);
        EXPECT_EQ(v->settingsChanged, 0);
        EXPECT_DOUBLE_EQ(s->zoomIn, 1.5);
        EXPECT_DOUBLE_EQ(s->zoomOut, 1.5); // a key of 100 or more: the zoom-in factor
        EXPECT_DOUBLE_EQ(s->powerZoomOut, 1.25);
        EXPECT_DOUBLE_EQ(s->zoomLimitMax, 4.0);
        EXPECT_EQ(s->fitSmallImages, 0); // images are off
        EXPECT_EQ(s->smartScrolling, 0); // not allowed by the start options
        EXPECT_EQ(s->panVertMax, 0x7fffffff);
        // Unchanged settings are not read again.
        Config_setIntA(context, context->config, nullptr, "FV_zoomInAmount", 300, 0);
        EXPECT_EQ(Fv_readZoomPanSettings(v, s), 1);
        EXPECT_DOUBLE_EQ(s->zoomIn, 1.5);
        EXPECT_EQ(Fv_readZoomPanSettings(nullptr, s), 0);
    });
}

TEST_F(NavigateTest, PanLimitReportsFollowTheirSetting)
{
    ASSERT_EQ(start(), 1);
    openText(20);
    Headless_runTimers(host, 50);
    auto reports = [&] { return count(Fv_requestPanLimits); };
    onAppThread([&] {
        FvViewer *v = viewer();
        int32_t once = 0;
        int before = reports();
        v->page->lastLimits = -1;
        Fv_onPanLimits(v, &once, 2);
        EXPECT_EQ(once, 1);
        EXPECT_EQ(reports(), before + 1);
        // The same set again: nothing.
        Fv_onPanLimits(v, &once, 2);
        EXPECT_EQ(reports(), before + 1);
        // Repeats are asked for: the repeat flag brings one.
        EngineContext *context = v->context;
        Config_setIntA(context, context->config, nullptr, "FV_panLimitsReporting", 0x10002, 0);
        v->settingsChanged = 1;
        v->page->limitsRepeat = 1;
        Fv_onPanLimits(v, nullptr, 2);
        EXPECT_EQ(reports(), before + 2);
        EXPECT_EQ(v->page->limitsRepeat, 0);
        Fv_onPanLimits(v, nullptr, 2);
        EXPECT_EQ(reports(), before + 2);
        // Off: nothing at all.
        Config_setIntA(context, context->config, nullptr, "FV_panLimitsReporting", 0x10000, 0);
        v->settingsChanged = 1;
        v->page->lastLimits = -1;
        Fv_onPanLimits(v, nullptr, 2);
        EXPECT_EQ(reports(), before + 2);
    });
}

TEST_F(NavigateTest, PanningPastAFittedPageTurnsThePage)
{
    ASSERT_EQ(start(), 1);
    openText(400);
    ASSERT_GE(pageCount(), 3);
    onAppThread([&] {
        EngineContext *context = viewer()->context;
        Config_setIntA(context, context->config, nullptr, "FV_panToPageEnable", 1, 0);
        viewer()->settingsChanged = 1;
        EXPECT_EQ(Fv_gotoPage(viewer(), viewer()->page, 1), 0);
    });
    Headless_runTimers(host, 100);
    // The whole page is in view: a pan down (dy < 0) goes on to the next
    // page, a pan up back to the previous one.
    onAppThread([&] { Fv_panStep(viewer(), viewer()->page, 0, -5, FvPhase_first); });
    Headless_runTimers(host, 100);
    EXPECT_EQ(pages().back().first, 3);
    onAppThread([&] { Fv_panStep(viewer(), viewer()->page, 0, 5, FvPhase_first); });
    Headless_runTimers(host, 100);
    EXPECT_EQ(pages().back().first, 2);
    // Sideways pans need their own switch.
    onAppThread([&] { Fv_panStep(viewer(), viewer()->page, -5, 0, FvPhase_first); });
    Headless_runTimers(host, 100);
    EXPECT_EQ(pages().back().first, 2);
}
TEST_F(NavigateTest, AFragmentOfTheShownDocumentMovesToItsPageWithoutALoad)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/app/five_pages.txt"));
    Headless_runTimers(host, 100);
    onAppThread([&] { EXPECT_EQ(Fv_gotoPage(viewer(), viewer()->page, 2), 0); });
    EXPECT_EQ(pages().back(), std::make_pair(3, 5));
    int loads = count(Fv_requestDocInfo), starts = count(Fv_requestWorkStarted);
    // The shown document's URL with a fragment: a text's anchors all lead
    // to its top, the first page. The view goes there, nothing loads, and
    // the host hears the URL once.
    onAppThread([&] {
        Url *url = Url_copy(viewer()->page->url);
        ASSERT_NE(url, nullptr);
        ASSERT_TRUE(Url_setPart(url, UrlPart_fragment, u"top"));
        EXPECT_EQ(View_openUrl(viewer(), 0, url, 0), 0);
        EXPECT_EQ(viewer()->page->currentIndex, 0);
    });
    Headless_runTimers(host, 50);
    EXPECT_EQ(pages().back(), std::make_pair(1, 5));
    EXPECT_EQ(count(Fv_requestDocInfo), loads);
    EXPECT_EQ(count(Fv_requestWorkStarted), starts);
    EXPECT_EQ(count(Fv_requestFragment), 1);
    // Once there, the same fragment moves nothing and says nothing.
    onAppThread([&] {
        EXPECT_EQ(
            Fv_gotoFragment(viewer(), viewer()->page, viewer()->page->document, u"top", nullptr, 0),
            0);
    });
    EXPECT_EQ(count(Fv_requestFragment), 1);
}

TEST_F(NavigateTest, APdfIsFittedOnceItsPagesAreLaidOut)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/pdf/pages/tree.pdf"));
    Headless_runTimers(host, 200);
    int32_t n = pageCount();
    ASSERT_GE(n, 2);
    // Its pages came after the first display: the layout's change shows
    // the first of them, fitted.
    EXPECT_EQ(pages().back(), std::make_pair(1, n));
    EXPECT_GE(count(Fv_requestLayoutChanged), 1);
    onAppThread([&] {
        FvPage *page = viewer()->page;
        int32_t w = 0, h = 0, whole = 0;
        ASSERT_EQ(Fv_computeFitZooms(viewer(), page, &w, &h, &whole), 0);
        EXPECT_EQ(Fv_pageZoom(page), whole);
        EXPECT_EQ(Edr_Fwd_subdocScale(page->pageView), whole);
    });
}

TEST_F(NavigateTest, AFittedPageIsFittedAgainAfterAResize)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/app/five_pages.txt"));
    Headless_runTimers(host, 100);
    onAppThread([&] {
        FvViewer *v = viewer();
        // Whole page, decided by the height: bits 0 and 2.
        EXPECT_EQ(Fv_fitFlags(v), 5);
        EXPECT_EQ(Fv_resizeScreen(v, 240, 200, 0, 0, 0), 0);
        // 200 x 65536 / (12 x 106) = 10304.
        EXPECT_EQ(Fv_pageZoom(v->page), 10304);
        EXPECT_EQ(Fv_fitFlags(v), 5);
        EXPECT_EQ(v->orientationCache, nullptr);
    });
}

TEST_F(NavigateTest, PanKeysMoveAZoomedPage)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/app/five_pages.txt"));
    Headless_runTimers(host, 100);
    for (int i = 0; i < 4; i++)
        key(Key_zoomIn);
    Headless_runTimers(host, 100);
    Rect before{0, 0, 0, 0}, after{0, 0, 0, 0};
    onAppThread([&] { Edr_Fwd_getViewRect(viewer()->page->pageView, &before); });
    ASSERT_GT(before.x1 - before.x0, 240); // wider than the screen now
    key(Key_down);
    Headless_runTimers(host, 100);
    onAppThread([&] { Edr_Fwd_getViewRect(viewer()->page->pageView, &after); });
    // The page moved up (view pixels count y upwards) and kept its size;
    // the pan settled once the key was released.
    EXPECT_EQ(after.x1 - after.x0, before.x1 - before.x0);
    EXPECT_EQ(after.x0, before.x0);
    EXPECT_GT(after.y0, before.y0);
    onAppThread([&] { EXPECT_EQ(viewer()->page->panSettle, FvSettle_done); });
}

TEST_F(NavigateTest, GoingToAPageNumberShowsThatPagesStart)
{
    // A zoomed page shown at its bottom-right corner; going to another page
    // by its number shows the new page from its top-left corner.
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/app/five_pages.txt"));
    Headless_runTimers(host, 100);
    onAppThread([&] {
        EXPECT_EQ(Fv_gotoPage(viewer(), viewer()->page, 1), 0);
        Fv_applyZoom(viewer(), viewer()->page, 0x20000);
    });
    Headless_runTimers(host, 100);
    onAppThread([&] { Fv_alignPage(viewer(), viewer()->page, 5, 1); });
    Headless_runTimers(host, 100);
    Rect before{0, 0, 0, 0};
    onAppThread([&] { Edr_Fwd_getViewRect(viewer()->page->pageView, &before); });
    ASSERT_LT(before.x0, 0) << "the page's left edge is out of view";
    ASSERT_GT(before.y1, 300) << "and its top edge";
    ASSERT_EQ(App_gotoPageNumber(inst, 4), 1);
    drive([&] { return pages().size() && pages().back().first == 3; }, 400);
    Headless_runTimers(host, 100);
    onAppThread([&] {
        Rect v{0, 0, 0, 0};
        Edr_Fwd_getViewRect(viewer()->page->pageView, &v);
        EXPECT_EQ(v.x0, 0);
        EXPECT_EQ(v.y1, 300); // view pixels count y upwards
        EXPECT_GT(v.x1, 240);
        EXPECT_LT(v.y0, 0);
    });
}

TEST_F(NavigateTest, PanningTurnsAZoomedPageOnlyAtItsEdge)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/app/five_pages.txt"));
    Headless_runTimers(host, 100);
    onAppThread([&] {
        EngineContext *context = viewer()->context;
        Config_setIntA(context, context->config, nullptr, "FV_panToPageEnable", 1, 0);
        viewer()->settingsChanged = 1;
        EXPECT_EQ(Fv_gotoPage(viewer(), viewer()->page, 2), 0);
        Fv_applyZoom(viewer(), viewer()->page, 0x18000);
    });
    Headless_runTimers(host, 100);
    // The top of the page in view (mode 2: top-left; view pixels count y
    // upwards), its bottom far below.
    onAppThread([&] { Fv_alignPage(viewer(), viewer()->page, 2, 1); });
    Headless_runTimers(host, 100);
    onAppThread([&] {
        Rect v{0, 0, 0, 0};
        Edr_Fwd_getViewRect(viewer()->page->pageView, &v);
        EXPECT_EQ(v.y1, 300);
        EXPECT_LT(v.y0, 0);
    });
    Headless_runTimers(host, 100);
    size_t reports = pages().size();
    onAppThread([&] { Fv_panStep(viewer(), viewer()->page, 0, -5, FvPhase_first); });
    Headless_runTimers(host, 100);
    EXPECT_EQ(pages().size(), reports) << "the bottom edge is not in view";
    // Back up: the first step brings the top edge into view again, the
    // next goes on to the previous page, shown from its bottom edge (the
    // far edge when moving back).
    onAppThread([&] { Fv_panStep(viewer(), viewer()->page, 0, 10, FvPhase_first); });
    Headless_runTimers(host, 100);
    EXPECT_EQ(pages().size(), reports);
    onAppThread([&] { Fv_panStep(viewer(), viewer()->page, 0, 10, FvPhase_first); });
    Headless_runTimers(host, 100);
    EXPECT_EQ(pages().back(), std::make_pair(2, 5)) << "the top edge is";
    onAppThread([&] {
        Rect v{0, 0, 0, 0};
        Edr_Fwd_getViewRect(viewer()->page->pageView, &v);
        EXPECT_EQ(v.y0, 0);
        EXPECT_GT(v.y1, 300);
    });
}

// Queues a pan (15) or zoom (18) gesture event with its words.
bool queueGesture(EngineInstance *inst, int32_t code, int32_t a, int32_t b, int32_t c,
                  int32_t phase)
{
    intptr_t block[7] = {code, reinterpret_cast<intptr_t>(inst), a, b, 0, 0, 0};
    if (code == Fv_panGestureEvent) {
        block[4] = phase;
    } else {
        block[4] = c;
        block[5] = phase;
    }
    return AppEvent_post(block, nullptr, 0) == 1;
}

// The codes and phases still queued, as "15:10004 18:10005 ...".
std::string queued(EngineInstance *inst)
{
    std::string out;
    AppEventRing *ring = inst->queue->ring;
    struct Acc {
        std::string *out;
    } acc{&out};
    EventQ_removeIf(ring, &acc, [](const AppEvent *e, void *arg) {
        if (e->kind != AppEvent_kindApp || (e->block[0] != 15 && e->block[0] != 18))
            return 0;
        char buf[32];
        snprintf(buf, sizeof buf, "%d:%x ", int(e->block[0]),
                 unsigned(e->block[0] == 15 ? e->block[4] : e->block[5]));
        *static_cast<Acc *>(arg)->out += buf;
        return 0;
    });
    return out;
}

TEST_F(NavigateTest, QueuedGesturesAreCoalesced)
{
    ASSERT_EQ(start(), 1);
    struct Case {
        const char *name;
        int32_t code;
        std::vector<std::vector<int32_t>> queue; // {code, a, b, c, phase}
        std::vector<int32_t> merged;             // the values after the scan
        std::string left;
    } cases[] = {
        {"pans add up", 15, {{15, 1, 2, 0, 0x10004}, {15, 3, 4, 0, 0x10004}}, {14, 26, 0}, ""},
        {"a zoom ends the pan's scan",
         15,
         {{15, 1, 1, 0, 0x10004}, {18, 5, 6, 0x20000, 0x10004}, {15, 7, 7, 0, 0x10004}},
         {11, 21, 0},
         "18:10004 15:10004 "},
        {"the gesture's end stays after a first step, once",
         15,
         {{15, 1, 1, 0, 0x10005}, {15, 2, 2, 0, 0x10004}, {15, 0, 0, 0, 0x10005}},
         {12, 22, 0},
         "15:10005 "},
        {"zooms take the newest point and zoom",
         18,
         {{18, 1, 2, 0x18000, 0x10004}, {18, 3, 4, 0x20000, 0x10004}, {15, 9, 9, 0, 0x10004}},
         {3, 4, 0x20000},
         "15:10004 "},
    };
    for (const Case &c : cases) {
        std::vector<int32_t> values{10, 20, 0};
        std::string left;
        onAppThread([&] {
            for (const auto &e : c.queue)
                ASSERT_TRUE(queueGesture(inst, e[0], e[1], e[2], e[3], e[4]));
            Fv_coalesceGestures(inst, c.code, values.data());
            left = queued(inst);
            // Empties the queue of gestures for the next case.
            EventQ_removeIf(inst->queue->ring, nullptr, [](const AppEvent *e, void *) {
                return e->kind == AppEvent_kindApp && (e->block[0] == 15 || e->block[0] == 18) ? 1
                                                                                               : 0;
            });
        });
        EXPECT_EQ(values, c.merged) << c.name;
        EXPECT_EQ(left, c.left) << c.name;
    }
}

} // namespace
