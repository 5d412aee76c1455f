// Float areas: a fresh area, occupying (the four pieces, contained pieces,
// the used rectangle), the band's 95% rule, clearing, the walk order in
// both modes, the further-rectangle question, random occupations checked
// against a brute-force grid of free cells, and running out of memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "layout/floatarea.h"
#include "tests/support/heap_fixture.h"

static bool operator==(const Rect &a, const Rect &b)
{
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
}

namespace {

using FloatAreaTest = LeakCheckedHeapTest<>;

std::vector<Rect> freeRects(const FloatArea *area)
{
    std::vector<Rect> out;
    for (int32_t i = 0; i < area->count; i++)
        out.push_back(*area->rects[i]);
    std::sort(out.begin(), out.end(), [](const Rect &a, const Rect &b) {
        return std::tie(a.x0, a.y0, a.x1, a.y1) < std::tie(b.x0, b.y0, b.x1, b.y1);
    });
    return out;
}

std::vector<Rect> walk(FloatArea *area, int32_t mode)
{
    std::vector<Rect> out;
    const Rect *r;
    for (FloatArea_first(area, &r, mode); r; FloatArea_next(area, &r))
        out.push_back(*r);
    return out;
}

constexpr int32_t lo = FloatArea_openLow, hi = FloatArea_openHigh;

TEST_F(FloatAreaTest, FreshAreaIsThePlaneAndWalksAsTheArea)
{
    Rect box = {0, 0, 1000, 2000};
    FloatArea *area = nullptr;
    ASSERT_EQ(FloatArea_create(&box, &area), 0);
    EXPECT_EQ(FloatArea_getFlag(area), 1u);
    EXPECT_EQ(freeRects(area), (std::vector<Rect>{{lo, lo, hi, hi}}));
    EXPECT_EQ(walk(area, FloatArea_fromLeft), (std::vector<Rect>{box}));
    EXPECT_EQ(FloatArea_bandWidth(area), 1000);
    Rect used = FloatArea_usedRect(area);
    EXPECT_TRUE(used.x0 >= used.x1);
    FloatArea_destroy(area);
    FloatArea_destroy(nullptr);
}

TEST_F(FloatAreaTest, OccupyingTheMiddleLeavesFourOverlappingPieces)
{
    Rect box = {0, 0, 100, 100};
    FloatArea *area = nullptr;
    ASSERT_EQ(FloatArea_create(&box, &area), 0);
    Rect r = {40, 40, 60, 60};
    ASSERT_EQ(FloatArea_occupy(area, &r), 0);
    EXPECT_EQ(FloatArea_getFlag(area), 0u);
    EXPECT_EQ(freeRects(area),
              (std::vector<Rect>{
                  {lo, lo, 40, hi}, {lo, lo, hi, 40}, {lo, 60, hi, hi}, {60, lo, hi, hi}}));
    EXPECT_EQ(FloatArea_usedRect(area), r);
    // A second obstacle inside the first splits nothing; one over an
    // edge widens the used rectangle only within the area.
    ASSERT_EQ(FloatArea_occupy(area, &r), 0);
    EXPECT_EQ(area->count, 4);
    Rect edge = {90, -50, 200, 10};
    ASSERT_EQ(FloatArea_occupy(area, &edge), 0);
    EXPECT_EQ(FloatArea_usedRect(area), (Rect{40, 0, 100, 60}));
    FloatArea_destroy(area);
}

TEST_F(FloatAreaTest, APieceInsideAnotherFreeRectangleIsNotAddedTwice)
{
    Rect box = {0, 0, 100, 100};
    FloatArea *area = nullptr;
    ASSERT_EQ(FloatArea_create(&box, &area), 0);
    // Two floats on the left at different heights: the strip right of both
    // comes from both splits but is kept once.
    Rect a = {0, 80, 30, 100}, b = {0, 50, 20, 70};
    ASSERT_EQ(FloatArea_occupy(area, &a), 0);
    ASSERT_EQ(FloatArea_occupy(area, &b), 0);
    std::vector<Rect> rects = freeRects(area);
    for (size_t i = 0; i < rects.size(); i++)
        for (size_t j = 0; j < rects.size(); j++)
            if (i != j) {
                EXPECT_FALSE(rects[j].x0 >= rects[i].x0 && rects[j].y0 >= rects[i].y0 &&
                             rects[j].x1 <= rects[i].x1 && rects[j].y1 <= rects[i].y1)
                    << i << " holds " << j;
            }
    EXPECT_EQ(std::count(rects.begin(), rects.end(), Rect{30, lo, hi, hi}), 1);
    FloatArea_destroy(area);
}

TEST_F(FloatAreaTest, BandMarginsAboveNinetyFivePercentAreReducedEvenly)
{
    struct Case {
        int32_t left, right, wantLeft, wantRight;
    } cases[] = {
        {100, 200, 100, 200}, // well within the width
        {500, 500, 475, 475}, // 1000 over a limit of 949: 51 over, 25 off each side
        {0, 2000, 0, 950},    // all from the right: the left stays at 0
        {2000, 0, 950, 0},    // all from the left
        {-100, 1200, 0, 950}, // a negative margin never leaves a negative side
    };
    Rect box = {0, 0, 1000, 1000};
    for (const Case &c : cases) {
        FloatArea *area = nullptr;
        ASSERT_EQ(FloatArea_create(&box, &area), 0);
        FloatArea_setBand(area, c.left, c.right, 30, 10);
        int32_t l, r, t, b;
        EXPECT_EQ(FloatArea_margins(area, &l, &r, &t, &b), 30);
        EXPECT_EQ(l, c.wantLeft) << c.left << "," << c.right;
        EXPECT_EQ(r, c.wantRight) << c.left << "," << c.right;
        EXPECT_GE(l, 0);
        EXPECT_GE(r, 0);
        EXPECT_EQ(t, 30);
        EXPECT_EQ(b, 10);
        EXPECT_EQ(area->band.y1, 970);
        EXPECT_EQ(area->band.y0, 10);
        FloatArea_destroy(area);
    }
}

TEST_F(FloatAreaTest, ClearingFindsTheBottomOfASidesFloats)
{
    Rect box = {0, 0, 100, 100};
    FloatArea *area = nullptr;
    ASSERT_EQ(FloatArea_create(&box, &area), 0);
    FloatArea_setBand(area, 5, 5, 0, 0);
    // No float: the offset stays at the area top.
    EXPECT_EQ(FloatArea_clearTo(area, 2), 0);
    EXPECT_EQ(FloatArea_clearOffset(area), 0);
    Rect left = {0, 70, 30, 100}, right = {60, 40, 100, 100};
    ASSERT_EQ(FloatArea_occupy(area, &left), 0);
    ASSERT_EQ(FloatArea_occupy(area, &right), 0);
    struct Case {
        int32_t side, offset;
    } cases[] = {{0, 30}, {1, 60}, {2, 60}};
    for (const Case &c : cases) {
        FloatArea_setClearOffset(area, 0);
        EXPECT_EQ(FloatArea_clearTo(area, c.side), 0);
        EXPECT_EQ(FloatArea_clearOffset(area), c.offset) << c.side;
        EXPECT_EQ(area->band.y1, 100 - c.offset);
        // The band's sides come back.
        EXPECT_EQ(area->band.x0, 5);
        EXPECT_EQ(area->band.x1, 95);
    }
    // Setting the offset below the top inset keeps the inset.
    FloatArea_setBand(area, 0, 0, 20, 0);
    FloatArea_setClearOffset(area, 10);
    EXPECT_EQ(area->band.y1, 80);
    FloatArea_setClearOffset(area, 50);
    EXPECT_EQ(area->band.y1, 50);
    // A float over the whole width leaves no free space at the side in
    // the area: the band starts below it.
    Rect full = {0, 0, 100, 100};
    ASSERT_EQ(FloatArea_occupy(area, &full), 0);
    FloatArea_clearTo(area, 0);
    EXPECT_EQ(FloatArea_clearOffset(area), 100);
    FloatArea_destroy(area);
}

TEST_F(FloatAreaTest, TheWalkStartsAtTheSideOfItsMode)
{
    Rect box = {0, 0, 100, 100};
    FloatArea *area = nullptr;
    ASSERT_EQ(FloatArea_create(&box, &area), 0);
    // A float in the middle of the top: free columns on both sides reach the top.
    Rect mid = {40, 80, 60, 100};
    ASSERT_EQ(FloatArea_occupy(area, &mid), 0);
    std::vector<Rect> fromLeft = walk(area, FloatArea_fromLeft);
    ASSERT_GE(fromLeft.size(), 2u);
    EXPECT_EQ(fromLeft[0], (Rect{0, 0, 40, 100}));
    EXPECT_EQ(fromLeft[1], (Rect{60, 0, 100, 100}));
    EXPECT_EQ(fromLeft.back(), (Rect{0, 0, 100, 80}));
    std::vector<Rect> fromRight = walk(area, FloatArea_fromRight);
    ASSERT_GE(fromRight.size(), 2u);
    EXPECT_EQ(fromRight[0], (Rect{60, 0, 100, 100}));
    EXPECT_EQ(fromRight[1], (Rect{0, 0, 40, 100}));

    // After the first rectangle from the left, the right column is still
    // ahead of it; after the whole walk nothing is.
    const Rect *r;
    FloatArea_first(area, &r, FloatArea_fromLeft);
    Rect first = *r;
    EXPECT_EQ(FloatArea_hasFurther(area, &first), 1);
    while (r)
        FloatArea_next(area, &r);
    EXPECT_EQ(FloatArea_hasFurther(area, &first), 0);

    // Dropping the first free rectangle removes it from the walk.
    int32_t before = area->count;
    FloatArea_dropFirst(area);
    EXPECT_EQ(area->count, before - 1);
    FloatArea_destroy(area);
}

TEST_F(FloatAreaTest, AboveAFloatTheWideRectangleComesBeforeTheColumnBesideIt)
{
    // A float at the right edge, lower than the top: the full width above
    // it and the column beside it both reach the top from the same edge.
    // The walk hands out the wide one first in both modes, so a line that
    // fits above the float is not squeezed beside it.
    Rect box = {0, 0, 100, 100};
    FloatArea *area = nullptr;
    ASSERT_EQ(FloatArea_create(&box, &area), 0);
    Rect right = {60, 20, 100, 60};
    ASSERT_EQ(FloatArea_occupy(area, &right), 0);
    for (int32_t mode : {FloatArea_fromLeft, FloatArea_fromRight}) {
        std::vector<Rect> order = walk(area, mode);
        ASSERT_GE(order.size(), 2u);
        EXPECT_EQ(order[0], (Rect{0, 60, 100, 100}));
        if (mode == FloatArea_fromLeft) {
            EXPECT_EQ(order[1], (Rect{0, 0, 60, 100}));
        }
    }
    FloatArea_destroy(area);
}

TEST_F(FloatAreaTest, RandomOccupationsMatchAFreeCellGrid)
{
    constexpr int N = 24;
    std::mt19937 rng(24);
    for (int round = 0; round < 40; round++) {
        Rect box = {0, 0, N, N};
        FloatArea *area = nullptr;
        ASSERT_EQ(FloatArea_create(&box, &area), 0);
        bool taken[N + 8][N + 8] = {};
        std::vector<Rect> obstacles;
        int steps = 1 + int(rng() % 12);
        for (int s = 0; s < steps; s++) {
            int32_t x0 = int32_t(rng() % (N + 4)) - 2, y0 = int32_t(rng() % (N + 4)) - 2;
            Rect r = {x0, y0, x0 + 1 + int32_t(rng() % 10), y0 + 1 + int32_t(rng() % 10)};
            ASSERT_EQ(FloatArea_occupy(area, &r), 0);
            obstacles.push_back(r);
            for (int y = std::max(r.y0, 0); y < std::min(r.y1, N); y++)
                for (int x = std::max(r.x0, 0); x < std::min(r.x1, N); x++)
                    taken[y][x] = true;
        }
        std::vector<Rect> rects = freeRects(area);
        for (const Rect &f : rects)
            for (const Rect &o : obstacles)
                ASSERT_FALSE(o.x0 < f.x1 && f.x0 < o.x1 && o.y0 < f.y1 && f.y0 < o.y1)
                    << "free overlaps an obstacle";
        for (size_t i = 0; i < rects.size(); i++)
            for (size_t j = 0; j < rects.size(); j++)
                if (i != j) {
                    ASSERT_FALSE(rects[j].x0 >= rects[i].x0 && rects[j].y0 >= rects[i].y0 &&
                                 rects[j].x1 <= rects[i].x1 && rects[j].y1 <= rects[i].y1);
                }
        for (int y = 0; y < N; y++)
            for (int x = 0; x < N; x++) {
                bool covered = false;
                for (const Rect &f : rects)
                    covered |= f.x0 <= x && x < f.x1 && f.y0 <= y && y < f.y1;
                ASSERT_EQ(covered, !taken[y][x]) << "cell " << x << "," << y << " round " << round;
            }
        // The walk in either mode returns every free rectangle clipped to
        // the area that is not empty, each once.
        for (int32_t mode : {FloatArea_fromLeft, FloatArea_fromRight}) {
            std::vector<Rect> want;
            for (const Rect &f : rects) {
                Rect c = f;
                Rect_intersect(&c, &box);
                if (c.x0 < c.x1 && c.y0 < c.y1)
                    want.push_back(c);
            }
            std::vector<Rect> got = walk(area, mode);
            auto byEdges = [](const Rect &a, const Rect &b) {
                return std::tie(a.x0, a.y0, a.x1, a.y1) < std::tie(b.x0, b.y0, b.x1, b.y1);
            };
            std::sort(want.begin(), want.end(), byEdges);
            std::sort(got.begin(), got.end(), byEdges);
            ASSERT_EQ(got, want);
        }
        FloatArea_destroy(area);
    }
}

TEST_F(FloatAreaTest, RunningOutOfMemoryLeaksNothing)
{
    Rect box = {0, 0, 100, 100};
    for (int n = 1; n < 4; n++) {
        FloatArea *area = nullptr;
        Mem_failAfter(n);
        int rc = FloatArea_create(&box, &area);
        Mem_failAfter(0);
        if (rc == 0)
            FloatArea_destroy(area);
        else
            EXPECT_EQ(area, nullptr);
    }
    for (int n = 1; n < 40; n++) {
        FloatArea *area = nullptr;
        ASSERT_EQ(FloatArea_create(&box, &area), 0);
        Mem_failAfter(n);
        int rc = 0;
        for (int i = 0; i < 8 && rc == 0; i++) {
            Rect r = {i * 12, i * 10, i * 12 + 5, i * 10 + 7};
            rc = FloatArea_occupy(area, &r);
        }
        Mem_failAfter(0);
        EXPECT_TRUE(rc == Res_ok || rc == Res_noMemory);
        FloatArea_destroy(area);
    }
}

} // namespace
