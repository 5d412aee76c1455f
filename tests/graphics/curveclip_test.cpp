// Cubic flattening with and without a clip rectangle: one line when the
// control points lie inside it, nothing for a closed degenerate curve,
// connected flat pieces on the curve otherwise, callback errors, and
// coordinates at the ends of the 32-bit range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "graphics/curveclip.h"

namespace {

struct Piece {
    int64_t sx, sy, ex, ey;
};

struct Pieces {
    std::vector<Piece> list;
    size_t failAt = SIZE_MAX;
};

int curveclipCollect(const int32_t *end, void *user)
{
    Pieces *p = static_cast<Pieces *>(user);
    p->list.push_back({end[-3], end[-2], end[0], end[1]});
    return p->list.size() - 1 == p->failAt ? 55 : 0;
}

using Cubic = std::vector<int32_t>;

Cubic cubic(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3,
            int32_t y3)
{
    return {x0, y0, 7, x1, y1, x2, y2, x3, y3};
}

void at(const Cubic &c, double t, double *x, double *y)
{
    double s = 1 - t;
    double w[4] = {s * s * s, 3 * s * s * t, 3 * s * t * t, t * t * t};
    const int idx[4] = {0, 3, 5, 7};
    *x = *y = 0;
    for (int i = 0; i < 4; i++) {
        *x += w[i] * c[idx[i]];
        *y += w[i] * c[idx[i] + 1];
    }
}

// Distance from a point to the curve: coarse sampling refined by ternary
// search.
double distanceTo(const Cubic &c, double x, double y)
{
    auto d = [&](double t) {
        double px, py;
        at(c, t, &px, &py);
        return std::hypot(px - x, py - y);
    };
    const int n = 2000;
    int best = 0;
    for (int i = 1; i <= n; i++)
        if (d(double(i) / n) < d(double(best) / n))
            best = i;
    double lo = std::max(0.0, (best - 1.0) / n), hi = std::min(1.0, (best + 1.0) / n);
    for (int i = 0; i < 200; i++) {
        double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
        if (d(m1) < d(m2))
            hi = m2;
        else
            lo = m1;
    }
    return d((lo + hi) / 2);
}

void expectChain(const Pieces &p, const Cubic &c)
{
    ASSERT_FALSE(p.list.empty());
    EXPECT_EQ(p.list.front().sx, c[0]);
    EXPECT_EQ(p.list.front().sy, c[1]);
    EXPECT_EQ(p.list.back().ex, c[7]);
    EXPECT_EQ(p.list.back().ey, c[8]);
    for (size_t i = 1; i < p.list.size(); i++) {
        ASSERT_EQ(p.list[i].sx, p.list[i - 1].ex) << i;
        ASSERT_EQ(p.list[i].sy, p.list[i - 1].ey) << i;
    }
}

TEST(CurveClip, ControlsInsideTheRectangleGiveOneLine)
{
    Cubic c = cubic(0, 0, 300000, 900000, 700000, -900000, 1000000, 0);
    const Rect clip = {-10, -900000, 700000, 900000}; // edges count as inside
    Pieces p;
    ASSERT_EQ(Curve_flattenCubicClipped(c.data(), curveclipCollect, &p, &clip), 0);
    ASSERT_EQ(p.list.size(), 1u);
    EXPECT_EQ(p.list[0].sx, 0);
    EXPECT_EQ(p.list[0].sy, 0);
    EXPECT_EQ(p.list[0].ex, 1000000);
    EXPECT_EQ(p.list[0].ey, 0);
    // A closed degenerate curve with its controls inside gives nothing.
    Cubic closed = cubic(5, 5, 100, 100, 200, -50, 5, 5);
    const Rect around = {0, -100, 300, 300};
    Pieces none;
    ASSERT_EQ(Curve_flattenCubicClipped(closed.data(), curveclipCollect, &none, &around), 0);
    EXPECT_TRUE(none.list.empty());
    // One control outside: the curve is flattened.
    const Rect small = {-10, -10, 700000, 10};
    Pieces some;
    ASSERT_EQ(Curve_flattenCubicClipped(c.data(), curveclipCollect, &some, &small), 0);
    EXPECT_GT(some.list.size(), 1u);
    expectChain(some, c);
}

TEST(CurveClip, WithoutRectangleThePiecesFollowTheCurve)
{
    const Cubic curves[] = {
        cubic(0, 0, 300000, 900000, 700000, -900000, 1000000, 0),
        cubic(-5000000, 0, 5000000, 8000000, -5000000, 8000000, 5000000, 0), // a loop
        cubic(0, 0, 0, 0, 100, 100, 100, 100),
    };
    for (const Cubic &c : curves) {
        Pieces p;
        ASSERT_EQ(Curve_flattenCubicClipped(c.data(), curveclipCollect, &p, nullptr), 0);
        expectChain(p, c);
        for (const Piece &piece : p.list) {
            EXPECT_LT(distanceTo(c, double(piece.ex), double(piece.ey)), 16.0);
            // Flat: the chord's midpoint lies near the curve.
            EXPECT_LT(distanceTo(c, (piece.sx + piece.ex) / 2.0, (piece.sy + piece.ey) / 2.0),
                      100.0);
        }
    }
    // A callback error stops the flattening and is returned.
    Pieces stop;
    stop.failAt = 1;
    EXPECT_EQ(Curve_flattenCubicClipped(curves[0].data(), curveclipCollect, &stop, nullptr), 55);
    EXPECT_EQ(stop.list.size(), 2u);
}

TEST(CurveClip, ExtremeCoordinatesNeitherWrapNorRunOn)
{
    const Cubic curves[] = {
        cubic(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX,
              INT32_MAX),
        cubic(INT32_MAX, 0, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, 0),
    };
    for (const Cubic &c : curves) {
        Pieces p;
        ASSERT_EQ(Curve_flattenCubicClipped(c.data(), curveclipCollect, &p, nullptr), 0);
        expectChain(p, c);
        EXPECT_LE(p.list.size(), size_t(1) << Curve_maxDepth);
        for (size_t i = 0; i < p.list.size(); i += 997)
            EXPECT_LT(distanceTo(c, double(p.list[i].ex), double(p.list[i].ey)), 64.0) << i;
    }
}

} // namespace

namespace {

// Without a rectangle: a straight curve is one line, a curve whose four
// points coincide gives nothing, and one whose end equals its start but
// whose controls stray is flattened into a closed chain that reaches out
// along the loop.
TEST(CurveClip, StraightAndDegenerateCurvesWithoutRectangle)
{
    Pieces line;
    Cubic straight = cubic(0, 0, 1000, 1000, 2000, 2000, 3000, 3000);
    ASSERT_EQ(Curve_flattenCubicClipped(straight.data(), curveclipCollect, &line, nullptr), 0);
    ASSERT_EQ(line.list.size(), 1u);
    EXPECT_EQ(line.list[0].ex, 3000);
    Pieces none;
    Cubic point = cubic(77, -5, 77, -5, 77, -5, 77, -5);
    ASSERT_EQ(Curve_flattenCubicClipped(point.data(), curveclipCollect, &none, nullptr), 0);
    EXPECT_TRUE(none.list.empty());
    // Closed loops, large and small (within the 15-bit range, where the
    // chord test alone would call the whole loop flat and drop it).
    for (int32_t size : {400000, 1000}) {
        Pieces loop;
        Cubic closed = cubic(0, 0, size, 0, size, size, 0, 0);
        ASSERT_EQ(Curve_flattenCubicClipped(closed.data(), curveclipCollect, &loop, nullptr), 0);
        EXPECT_GT(loop.list.size(), 2u) << size;
        expectChain(loop, closed);
        int64_t far = 0;
        for (const Piece &piece : loop.list)
            far = std::max(far, piece.ex);
        EXPECT_GT(far, size / 2) << size;
    }
}

} // namespace
