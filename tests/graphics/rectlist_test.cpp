// Update-rectangle lists: adding, walking, bounds and the tag selection;
// the outline path of a list as a table of shapes (one rectangle, two
// overlapping, a contained one, an empty list); random rectangle sets whose
// outline, filled by its winding number, covers exactly their union (holes
// included) on a brute-force grid; the fallbacks to the bounding rectangle;
// and running out of memory at every allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/path.h"
#include "graphics/rectlist.h"
#include "tests/support/heap_fixture.h"

namespace {

using RectListTest = LeakCheckedHeapTest<>;

struct R {
    int32_t x0, y0, x1, y1;
    uint32_t tag;
};

RectList *make(const std::vector<R> &rects)
{
    RectList *list = nullptr;
    EXPECT_EQ(RectList_create(&list), 0);
    for (const R &r : rects)
        EXPECT_EQ(RectList_add(list, r.tag, r.x0, r.y0, r.x1, r.y1), 0);
    return list;
}

std::vector<R> contents(RectList *list)
{
    std::vector<R> out;
    // The visitor never stops the walk, so the walk always answers 0.
    (void)RectList_forEach(
        list,
        [](RectList *n, uint32_t tag, void *c) {
            static_cast<std::vector<R> *>(c)->push_back({n->x0, n->y0, n->x1, n->y1, tag});
            return 0;
        },
        &out);
    return out;
}

bool operator==(const R &a, const R &b)
{
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1 && a.tag == b.tag;
}

// The subpaths of a path of moves, lines and closes, as corner lists; each
// must be closed.
using Loop = std::vector<std::pair<int32_t, int32_t>>;
std::vector<Loop> loopsOf(const Path *p)
{
    std::vector<Loop> loops;
    bool open = false;
    for (const int32_t *w = p->buffer; w < p->write;) {
        uint32_t op = uint32_t(*w) & 15, n = uint32_t(*w) & 3;
        if (op == Path_opMove) {
            EXPECT_FALSE(open);
            loops.push_back({{w[1], w[2]}});
            open = true;
        } else if (op == Path_opLine) {
            EXPECT_TRUE(open);
            loops.back().push_back({w[1], w[2]});
        } else {
            EXPECT_EQ(op, Path_opClose);
            open = false;
        }
        w += 1 + 2 * n;
    }
    EXPECT_FALSE(open);
    return loops;
}

// Each loop turned to start at its topmost, then leftmost corner (the walk
// may start a loop anywhere along it).
std::vector<Loop> normalised(std::vector<Loop> loops)
{
    for (Loop &l : loops) {
        size_t best = 0;
        for (size_t i = 1; i < l.size(); i++)
            if (std::make_pair(l[i].second, l[i].first) <
                std::make_pair(l[best].second, l[best].first))
                best = i;
        std::rotate(l.begin(), l.begin() + best, l.end());
    }
    return loops;
}

// Nonzero winding number of the point (px + 1/2, py + 1/2).
int winding(const std::vector<Loop> &loops, int32_t px, int32_t py)
{
    double x = px + 0.5, y = py + 0.5;
    int w = 0;
    for (const Loop &l : loops) {
        for (size_t i = 0; i < l.size(); i++) {
            auto [ax, ay] = l[i];
            auto [bx, by] = l[(i + 1) % l.size()];
            if ((ay <= y) != (by <= y)) {
                double cx = ax + (y - ay) * double(bx - ax) / double(by - ay);
                if (cx > x)
                    w += by > ay ? 1 : -1;
            }
        }
    }
    return w;
}

TEST_F(RectListTest, AddWalkBoundsAndClear)
{
    RectList *list = make({});
    EXPECT_EQ(list->used, 0u);
    EXPECT_TRUE(contents(list).empty());
    ASSERT_EQ(RectList_add(list, 7, 10, 20, 30, 40), 0);
    ASSERT_EQ(RectList_add(list, 8, -5, 25, 12, 60), 0);
    ASSERT_EQ(RectList_add(list, 9, 0, 0, 1, 1), 0);
    EXPECT_EQ(list->next->prev, list);
    EXPECT_EQ(list->prev, nullptr);
    std::vector<R> want = {{10, 20, 30, 40, 7}, {-5, 25, 12, 60, 8}, {0, 0, 1, 1, 9}};
    EXPECT_EQ(contents(list), want);
    Rect b;
    RectList_bounds(list, &b);
    EXPECT_EQ(b.x0, -5);
    EXPECT_EQ(b.y0, 0);
    EXPECT_EQ(b.x1, 30);
    EXPECT_EQ(b.y1, 60);
    // The first non-zero callback result ends the walk.
    int seen = 0;
    EXPECT_EQ(RectList_forEach(
                  list,
                  [](RectList *, uint32_t tag, void *c) {
                      ++*static_cast<int *>(c);
                      return tag == 8 ? 42 : 0;
                  },
                  &seen),
              42);
    EXPECT_EQ(seen, 2);
    RectList_clear(list);
    EXPECT_EQ(list->next, nullptr);
    EXPECT_EQ(list->used, 0u);
    EXPECT_EQ(list->x1, 0);
    ASSERT_EQ(RectList_add(list, 1, 1, 2, 3, 4), 0);
    EXPECT_EQ(contents(list), (std::vector<R>{{1, 2, 3, 4, 1}}));
    RectList_destroy(&list);
    EXPECT_EQ(list, nullptr);
    RectList_destroy(&list);
}

TEST_F(RectListTest, KeepTagKeepsTheConnectedRectangles)
{
    struct Case {
        const char *name;
        std::vector<R> in;
        uint32_t tag;
        std::vector<R> kept;
    } cases[] = {
        {"no rectangle has the tag",
         {{0, 0, 5, 5, 1}, {20, 0, 25, 5, 2}},
         3,
         {{0, 0, 5, 5, 1}, {20, 0, 25, 5, 2}}},
        {"a chain through overlaps",
         {{0, 0, 5, 5, 2},
          {4, 0, 9, 5, 1},
          {8, 0, 12, 5, 1},
          {30, 30, 40, 40, 1},
          {11, 4, 15, 8, 1}},
         2,
         {{0, 0, 5, 5, 2}, {4, 0, 9, 5, 1}, {8, 0, 12, 5, 1}, {11, 4, 15, 8, 1}}},
        {"touching edges and corners overlap",
         {{50, 50, 60, 60, 1}, {0, 0, 10, 10, 4}, {10, 10, 20, 20, 1}, {20, 0, 30, 10, 1}},
         4,
         {{0, 0, 10, 10, 4}, {10, 10, 20, 20, 1}, {20, 0, 30, 10, 1}}},
        {"the head goes",
         {{100, 100, 101, 101, 1}, {0, 0, 1, 1, 2}, {2, 2, 3, 3, 2}},
         2,
         {{0, 0, 1, 1, 2}, {2, 2, 3, 3, 2}}},
    };
    for (const Case &c : cases) {
        RectList *list = make(c.in);
        RectList_keepTag(&list, c.tag);
        EXPECT_EQ(contents(list), c.kept) << c.name;
        EXPECT_EQ(list->prev, nullptr) << c.name;
        RectList_destroy(&list);
    }
}

TEST_F(RectListTest, OutlinesOfSmallShapes)
{
    struct Case {
        const char *name;
        std::vector<R> in;
        std::vector<Loop> loops;
    } cases[] = {
        {"one rectangle", {{10, 20, 30, 40, 0}}, {{{10, 20}, {30, 20}, {30, 40}, {10, 40}}}},
        {"two overlapping",
         {{0, 0, 10, 10, 0}, {5, 5, 15, 15, 0}},
         {{{0, 0}, {10, 0}, {10, 5}, {15, 5}, {15, 15}, {5, 15}, {5, 10}, {0, 10}}}},
        {"one inside another",
         {{0, 0, 10, 10, 0}, {2, 2, 5, 5, 0}},
         {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}}},
        {"an equal one",
         {{0, 0, 10, 10, 0}, {0, 0, 10, 10, 0}},
         {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}}},
        {"side by side",
         {{0, 0, 10, 10, 0}, {10, 0, 20, 10, 0}},
         {{{0, 0}, {20, 0}, {20, 10}, {0, 10}}}},
        {"apart",
         {{0, 0, 1, 1, 0}, {5, 5, 6, 6, 0}},
         {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{5, 5}, {6, 5}, {6, 6}, {5, 6}}}},
        {"empty rectangles add nothing",
         {{0, 0, 0, 9, 0}, {3, 3, 5, 5, 0}, {7, 7, 6, 9, 0}},
         {{{3, 3}, {5, 3}, {5, 5}, {3, 5}}}},
    };
    for (const Case &c : cases) {
        RectList *list = make(c.in);
        Path *path = nullptr;
        ASSERT_EQ(RectList_toPath(list, &path), 0) << c.name;
        ASSERT_NE(path, nullptr) << c.name;
        EXPECT_EQ(normalised(loopsOf(path)), normalised(c.loops)) << c.name;
        Path_destroy(path);
        RectList_destroy(&list);
    }
    // A contained rectangle is marked unused; the others are merged.
    RectList *list = make({{0, 0, 10, 10, 1}, {2, 2, 5, 5, 2}});
    Path *path = nullptr;
    ASSERT_EQ(RectList_toPath(list, &path), 0);
    EXPECT_EQ(list->next->used, 0u);
    EXPECT_EQ(list->merged, 1u);
    EXPECT_EQ(contents(list), (std::vector<R>{{0, 0, 10, 10, 1}}));
    Path_destroy(path);
    RectList_destroy(&list);
    // An empty list gives no path.
    list = make({});
    path = reinterpret_cast<Path *>(1);
    EXPECT_EQ(RectList_toPath(list, &path), 0);
    EXPECT_EQ(path, nullptr);
    RectList_destroy(&list);
}

// Random sets: the outline filled by its winding number covers exactly the
// union, and each of its loops runs along cells whose sides differ.
TEST_F(RectListTest, RandomOutlinesFillExactlyTheUnion)
{
    std::mt19937 rng(47);
    const int size = 14;
    for (int iteration = 0; iteration < 600; iteration++) {
        std::uniform_int_distribution<int> count(1, 9), coord(0, size);
        std::vector<R> rects;
        for (int k = count(rng); k > 0; k--) {
            int a = coord(rng), b = coord(rng), c = coord(rng), d = coord(rng);
            rects.push_back({std::min(a, b), std::min(c, d), std::max(a, b) + (a == b),
                             std::max(c, d) + (c == d), 0});
        }
        RectList *list = make(rects);
        Path *path = nullptr;
        ASSERT_EQ(RectList_toPath(list, &path), 0);
        ASSERT_NE(path, nullptr);
        std::vector<Loop> loops = loopsOf(path);
        for (int y = -1; y <= size + 1; y++) {
            for (int x = -1; x <= size + 1; x++) {
                bool in = false;
                for (const R &r : rects)
                    in = in || (x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1);
                int w = winding(loops, x, y);
                ASSERT_EQ(w != 0, in) << "iteration " << iteration << " at " << x << "," << y;
                ASSERT_TRUE(w == 0 || w == 1 || w == -1) << iteration;
            }
        }
        Path_destroy(path);
        RectList_destroy(&list);
    }
}

// A ring of four rectangles: the outer outline and the hole's, the other
// way round.
TEST_F(RectListTest, AHoleHasItsOwnOutline)
{
    RectList *list =
        make({{0, 0, 10, 2, 0}, {8, 0, 10, 10, 0}, {0, 8, 10, 10, 0}, {0, 0, 2, 10, 0}});
    Path *path = nullptr;
    ASSERT_EQ(RectList_toPath(list, &path), 0);
    std::vector<Loop> loops = loopsOf(path);
    std::vector<Loop> want = {{{0, 0}, {10, 0}, {10, 10}, {0, 10}},
                              {{8, 2}, {2, 2}, {2, 8}, {8, 8}}};
    EXPECT_EQ(normalised(loops), normalised(want));
    EXPECT_EQ(winding(loops, 5, 5), 0);
    EXPECT_NE(winding(loops, 1, 5), 0);
    Path_destroy(path);
    RectList_destroy(&list);
}

TEST_F(RectListTest, CrowdedListsFallBackToTheBoundingRectangle)
{
    const std::vector<Loop> bounding = {{{-3, 0}, {1999, 0}, {1999, 1000}, {-3, 1000}}};
    // 501 separate rectangles: 501 outlines.
    std::vector<R> apart;
    for (int i = 0; i < 501; i++)
        apart.push_back({4 * i - 3, 0, 4 * i - 1, i % 2 ? 1000 : 10, 0});
    // One staircase outline of more than 501 corners.
    std::vector<R> stairs;
    for (int i = 0; i < 260; i++)
        stairs.push_back({i, i, i + 2, i + 2, 0});
    stairs.push_back({-3, 0, -2, 1, 0});
    stairs.push_back({1998, 999, 1999, 1000, 0});
    // Fewer than the limits: no fallback.
    std::vector<R> fewer(apart.begin(), apart.begin() + 499);
    struct Case {
        const char *name;
        const std::vector<R> *in;
        bool fallback;
    } cases[] = {{"501 outlines", &apart, true},
                 {"501 corners", &stairs, true},
                 {"499 outlines", &fewer, false}};
    for (const Case &c : cases) {
        RectList *list = make(*c.in);
        Path *path = nullptr;
        ASSERT_EQ(RectList_toPath(list, &path), 0) << c.name;
        std::vector<Loop> loops = loopsOf(path);
        if (c.fallback)
            EXPECT_EQ(normalised(loops), bounding) << c.name;
        else
            EXPECT_EQ(loops.size(), 499u) << c.name;
        Path_destroy(path);
        RectList_destroy(&list);
    }
}

TEST_F(RectListTest, RunningOutOfMemoryLeavesNothingBehind)
{
    RectList *list = make({{0, 0, 10, 10, 0}, {5, 5, 15, 15, 0}, {20, 0, 30, 3, 0}});
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        Path *path = reinterpret_cast<Path *>(1);
        int r = RectList_toPath(list, &path);
        Mem_failAfter(0);
        if (r == 0) {
            EXPECT_EQ(loopsOf(path).size(), 2u);
            Path_destroy(path);
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(path, nullptr);
    }
    // A failed add leaves the list as it was.
    Mem_failAfter(1);
    EXPECT_EQ(RectList_add(list, 5, 1, 1, 2, 2), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(contents(list).size(), 3u);
    RectList_destroy(&list);
    Mem_failAfter(1);
    EXPECT_EQ(RectList_create(&list), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(list, nullptr);
}

} // namespace
