// Rectangles (half-open), the unbounded rectangle and the empty bound,
// bounds of point sets, quarter turns and steps toward a point.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/geom/geom.h"
#include "core/geom/rect.h"

namespace {

const int32_t kMin = INT32_MIN, kMax = INT32_MAX;

void expectRect(const Rect &want, const Rect &got, const char *what)
{
    EXPECT_EQ(want.x0, got.x0) << what;
    EXPECT_EQ(want.y0, got.y0) << what;
    EXPECT_EQ(want.x1, got.x1) << what;
    EXPECT_EQ(want.y1, got.y1) << what;
}

TEST(Rect, IntersectTable)
{
    const Rect a = {0, 0, 10, 10};
    struct {
        const char *what;
        Rect r, s, want;
        bool holdsPoints;
    } cases[] = {
        {"overlap", a, {5, -5, 15, 8}, {5, 0, 10, 8}, true},
        {"inside", a, {2, 3, 4, 5}, {2, 3, 4, 5}, true},
        {"touching on the right edge", a, {10, 0, 20, 10}, {10, 0, 10, 10}, false},
        {"touching on the bottom edge", a, {0, 10, 10, 20}, {0, 10, 10, 10}, false},
        {"touching at a corner", a, {10, 10, 20, 20}, {10, 10, 10, 10}, false},
        {"apart: inverted result", a, {20, 30, 25, 35}, {20, 30, 10, 10}, false},
        {"with the unbounded rectangle", a, {kMin, kMin, kMax, kMax}, a, true},
        {"with an empty one", a, {3, 3, 3, 3}, {3, 3, 3, 3}, false},
    };
    for (auto &c : cases) {
        Rect r = c.r;
        Rect_intersect(&r, &c.s);
        expectRect(c.want, r, c.what);
        // An empty result holds none of the corners of either input.
        if (!c.holdsPoints) {
            for (const Rect *src : {&c.r, &c.s}) {
                EXPECT_EQ(0, Rect_containsPoint(&r, src->x0, src->y0)) << c.what;
                EXPECT_EQ(0, Rect_containsPoint(&r, src->x1 - 1, src->y1 - 1)) << c.what;
            }
        } else {
            EXPECT_EQ(1, Rect_containsPoint(&r, r.x0, r.y0)) << c.what;
        }
    }
}

TEST(Rect, ClipOneAxis)
{
    Rect r = {0, 0, 10, 10};
    const Rect s = {5, -5, 15, 8};
    Rect_clipX(&r, &s);
    expectRect({5, 0, 10, 10}, r, "x only");
    r = {0, 0, 10, 10};
    Rect_clipY(&r, &s);
    expectRect({0, 0, 10, 8}, r, "y only");
}

TEST(Rect, UnionTable)
{
    const Rect a = {0, 0, 10, 10};
    struct {
        const char *what;
        Rect r, s, want;
    } cases[] = {
        {"overlap", a, {5, -5, 15, 8}, {0, -5, 15, 10}},
        {"apart", a, {20, 30, 25, 35}, {0, 0, 25, 35}},
        {"empty bound on the right", a, Rect_emptyBound, a},
        {"empty bound on the left", Rect_emptyBound, a, a},
        {"empty bound with itself", Rect_emptyBound, Rect_emptyBound, Rect_emptyBound},
        // Other empty rectangles are not special: they still widen.
        {"inverted rectangle widens", {20, 30, 10, 10}, {0, 0, 1, 1}, {0, 0, 10, 10}},
        {"zero-size rectangle widens", a, {40, 40, 40, 40}, {0, 0, 40, 40}},
    };
    for (auto &c : cases) {
        Rect r = c.r;
        Rect_union(&r, &c.s);
        expectRect(c.want, r, c.what);
    }
}

TEST(Rect, ContainsPointIsHalfOpen)
{
    const Rect a = {0, 0, 10, 10};
    const Rect huge = {-2000000000, -2000000000, 2000000000, 2000000000};
    struct {
        const char *what;
        Rect r;
        int32_t x, y;
        int want;
    } cases[] = {
        {"top-left corner", a, 0, 0, 1},
        {"last unit inside", a, 9, 9, 1},
        {"bottom-right corner", a, 10, 10, 0},
        {"right edge", a, 10, 5, 0},
        {"bottom edge", a, 5, 10, 0},
        {"left of it", a, -1, 5, 0},
        {"above it", a, 5, -1, 0},
        {"far away (differences wrap)", a, kMin, kMin, 0},
        // Widths past 2^31 still compare right.
        {"wider than 2^31", huge, 1900000000, -1900000000, 1},
        {"wider than 2^31, outside", huge, 2000000000, 0, 0},
        {"unbounded, most negative", *Rect_getInfinite(), kMin, kMin, 1},
        {"unbounded, origin", *Rect_getInfinite(), 0, 0, 1},
        {"unbounded, last unit", *Rect_getInfinite(), kMax - 1, kMax - 1, 1},
        {"unbounded, its open edge", *Rect_getInfinite(), kMax, 0, 0},
        {"zero size", {5, 5, 5, 5}, 5, 5, 0},
        {"zero width", {5, 0, 5, 10}, 5, 5, 0},
        // Inverted rectangles hold nothing: the unsigned differences alone
        // would wrap and answer 1 for these points.
        {"inverted, point of the first input", {20, 30, 10, 10}, 0, 0, 0},
        {"inverted, between the edges", {20, 30, 10, 10}, 15, 20, 0},
        {"empty bound, its own corner", Rect_emptyBound, kMax, kMax, 0},
        {"empty bound, origin", Rect_emptyBound, 0, 0, 0},
    };
    for (auto &c : cases)
        EXPECT_EQ(c.want, Rect_containsPoint(&c.r, c.x, c.y)) << c.what;
}

TEST(Rect, DisjointTable)
{
    const Rect a = {0, 0, 10, 10};
    struct {
        const char *what;
        Rect b;
        int want;
    } cases[] = {
        {"overlap", {5, 5, 15, 15}, 0},
        {"identical", a, 0},
        {"inside", {2, 2, 3, 3}, 0},
        {"touching on the right", {10, 0, 20, 10}, 1},
        {"touching on the left", {-10, 0, 0, 10}, 1},
        {"touching above", {0, -10, 10, 0}, 1},
        {"touching below", {0, 10, 10, 20}, 1},
        {"touching at a corner", {10, 10, 20, 20}, 1},
        {"one unit of overlap", {9, 9, 20, 20}, 0},
        {"far apart", {100, 100, 200, 200}, 1},
    };
    for (auto &c : cases) {
        EXPECT_EQ(c.want, Rect_disjoint(&a, &c.b)) << c.what;
        EXPECT_EQ(c.want, Rect_disjoint(&c.b, &a)) << c.what << " (swapped)";
    }
}

TEST(Rect, EqualAndInfinite)
{
    const Rect a = {1, 2, 3, 4};
    Rect b = a;
    EXPECT_EQ(1, Rect_equal(&a, &b));
    for (int i = 0; i < 4; i++) {
        Rect c = a;
        (&c.x0)[i] += 1;
        EXPECT_EQ(0, Rect_equal(&a, &c)) << i;
    }
    const Rect *inf = Rect_getInfinite();
    EXPECT_EQ(inf, Rect_getInfinite());
    expectRect({kMin, kMin, kMax, kMax}, *inf, "unbounded");
    EXPECT_EQ(1, Rect_isInfinite(inf));
    Rect copy = *inf;
    EXPECT_EQ(1, Rect_isInfinite(&copy));
    copy.y1 = kMax - 1;
    EXPECT_EQ(0, Rect_isInfinite(&copy));
    EXPECT_EQ(0, Rect_isInfinite(&Rect_emptyBound));
}

TEST(Rect, ExtendToPointLandsOnTheEdge)
{
    Rect r = Rect_emptyBound;
    Rect_extendToPoint(&r, 3, 4);
    expectRect({3, 4, 3, 4}, r, "first point");
    EXPECT_EQ(0, Rect_containsPoint(&r, 3, 4));
    Rect_extendToPoint(&r, -1, 10);
    expectRect({-1, 4, 3, 10}, r, "second point");
    Rect_extendToPoint(&r, 0, 5);
    expectRect({-1, 4, 3, 10}, r, "point inside");
    EXPECT_EQ(0, Rect_containsPoint(&r, -1 + 4, 10));
}

TEST(Rect, BoundPoints)
{
    const Point pts[] = {{5, 6}, {-3, 8}, {10, -2}, {0, 0}};
    Rect r = {100, 100, 200, 200};
    Rect_boundPoints(&r, pts, 1, 1);
    expectRect({5, 6, 5, 6}, r, "start flag, one point: zero size");

    r = {100, 100, 200, 200};
    Rect_boundPoints(&r, pts, 4, 1);
    expectRect({-3, -2, 10, 8}, r, "start flag, four points");

    r = {100, 100, 200, 200};
    Rect_boundPoints(&r, pts, 4, 0);
    expectRect({-3, -2, 200, 200}, r, "flag clear widens what is there");

    r = Rect_emptyBound;
    Rect_boundPoints(&r, pts, 4, 0);
    expectRect({-3, -2, 10, 8}, r, "from the empty bound");

    for (int start = 0; start < 2; start++) {
        r = {1, 2, 3, 4};
        Rect_boundPoints(&r, pts, 0, start);
        expectRect({1, 2, 3, 4}, r, "count 0 does nothing");
    }
}

TEST(Rect, ToQuadOrder)
{
    const Rect r = {1, 2, 30, 40};
    Point q[4] = {};
    Rect_toQuad(q, &r);
    const Point want[4] = {{1, 2}, {1, 40}, {30, 40}, {30, 2}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(want[i].x, q[i].x) << i;
        EXPECT_EQ(want[i].y, q[i].y) << i;
    }
}

TEST(Geom, RotateQuarterTable)
{
    struct {
        int32_t cx, cy, x, y;
        int flag;
        Point want;
    } cases[] = {
        {100, 200, 101, 200, 1, {100, 201}},
        {100, 200, 101, 200, 0, {100, 199}},
        {100, 200, 103, 205, 1, {95, 203}},
        {100, 200, 103, 205, 0, {105, 197}},
        {0, 0, 0, 0, 1, {0, 0}},
        {-7, 3, -7, 10, 1, {-14, 3}},
        // Any non-zero flag counts as set.
        {0, 0, 1, 0, 5, {0, 1}},
    };
    for (auto &c : cases) {
        Point p = {};
        Geom_rotateQuarter(&p, c.cx, c.cy, c.x, c.y, c.flag);
        EXPECT_EQ(c.want.x, p.x);
        EXPECT_EQ(c.want.y, p.y);
    }
    // Four quarter turns either way come back; the two ways undo each other.
    Point p = {13, -4};
    for (int i = 0; i < 4; i++)
        Geom_rotateQuarter(&p, 2, 3, p.x, p.y, 1);
    EXPECT_EQ(13, p.x);
    EXPECT_EQ(-4, p.y);
    Geom_rotateQuarter(&p, 2, 3, p.x, p.y, 1);
    Geom_rotateQuarter(&p, 2, 3, p.x, p.y, 0);
    EXPECT_EQ(13, p.x);
    EXPECT_EQ(-4, p.y);
}

} // namespace
