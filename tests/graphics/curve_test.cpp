// Quadratic curve flattening: the pieces it hands out (laid out as path
// lines, joined end to start, on the curve), straight and degenerate
// curves, the box test of the shared step, the depth limit, callback
// errors, and coordinates at the ends of the 32-bit range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "graphics/curve.h"
#include "core/result.h"

namespace {

struct Piece {
    int64_t sx, sy, ex, ey;
};

struct Pieces {
    std::vector<Piece> list;
    size_t failAt = SIZE_MAX; // index of the piece that answers 77
};

int curveCollect(const int32_t *end, void *user)
{
    Pieces *p = static_cast<Pieces *>(user);
    p->list.push_back({end[-3], end[-2], end[0], end[1]});
    return p->list.size() - 1 == p->failAt ? 77 : 0;
}

std::vector<int32_t> quad(int32_t x0, int32_t y0, int32_t cx, int32_t cy, int32_t x2, int32_t y2)
{
    return {x0, y0, 6, cx, cy, x2, y2};
}

// The smallest distance from (x, y) to the quadratic curve: the nearest of
// a coarse sampling, refined by ternary search around it.
double distanceToQuad(const std::vector<int32_t> &q, double x, double y)
{
    auto at = [&](double t) {
        double s = 1 - t;
        double px = s * s * q[0] + 2 * s * t * q[3] + t * t * q[5];
        double py = s * s * q[1] + 2 * s * t * q[4] + t * t * q[6];
        return std::hypot(px - x, py - y);
    };
    const int n = 2000;
    int best = 0;
    for (int i = 1; i <= n; i++)
        if (at(double(i) / n) < at(double(best) / n))
            best = i;
    double lo = std::max(0.0, (best - 1.0) / n), hi = std::min(1.0, (best + 1.0) / n);
    for (int i = 0; i < 200; i++) {
        double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
        if (at(m1) < at(m2))
            hi = m2;
        else
            lo = m1;
    }
    return at((lo + hi) / 2);
}

// Pieces join end to start from the curve's start to its end.
void expectChain(const Pieces &p, const std::vector<int32_t> &q)
{
    ASSERT_FALSE(p.list.empty());
    EXPECT_EQ(p.list.front().sx, q[0]);
    EXPECT_EQ(p.list.front().sy, q[1]);
    EXPECT_EQ(p.list.back().ex, q[5]);
    EXPECT_EQ(p.list.back().ey, q[6]);
    for (size_t i = 1; i < p.list.size(); i++) {
        EXPECT_EQ(p.list[i].sx, p.list[i - 1].ex) << i;
        EXPECT_EQ(p.list[i].sy, p.list[i - 1].ey) << i;
    }
    for (const Piece &piece : p.list)
        EXPECT_FALSE(piece.sx == piece.ex && piece.sy == piece.ey) << "zero-length piece";
}

TEST(CurveFlatten, StraightCurveIsOneLine)
{
    std::vector<int32_t> q = quad(0, 0, 500000, 250000, 1000000, 500000);
    Pieces p;
    ASSERT_EQ(Curve_flatten(q.data(), curveCollect, &p), 0);
    ASSERT_EQ(p.list.size(), 1u);
    EXPECT_EQ(p.list[0].sx, 0);
    EXPECT_EQ(p.list[0].ex, 1000000);
    EXPECT_EQ(p.list[0].ey, 500000);
}

TEST(CurveFlatten, PiecesFollowTheCurve)
{
    const std::vector<int32_t> curves[] = {
        quad(0, 0, 655360, 1310720, 1310720, 0),
        quad(-3000000, 100, 4000000, -9000000, 20, 5000000),
        quad(10, 10, 10000, 10, 10, 10000),
    };
    for (const std::vector<int32_t> &q : curves) {
        Pieces p;
        ASSERT_EQ(Curve_flatten(q.data(), curveCollect, &p), 0);
        expectChain(p, q);
        EXPECT_GT(p.list.size(), 4u);
        // Every split point lies on the curve but for the halving's
        // rounding, and each piece is flat: its midpoint is within the
        // flatness of the curve.
        for (const Piece &piece : p.list) {
            EXPECT_LT(distanceToQuad(q, double(piece.ex), double(piece.ey)), 24.0);
            EXPECT_LT(distanceToQuad(q, (piece.sx + piece.ex) / 2.0, (piece.sy + piece.ey) / 2.0),
                      40.0 + 24.0);
        }
    }
}

TEST(CurveFlatten, DegenerateAndStoppedCurves)
{
    // A curve that starts and ends on its control point gives nothing.
    std::vector<int32_t> dot = quad(7, 7, 7, 7, 7, 7);
    Pieces p;
    EXPECT_EQ(Curve_flatten(dot.data(), curveCollect, &p), 0);
    EXPECT_TRUE(p.list.empty());
    // A closed loop (end on start) gives its pieces but no zero-length one.
    std::vector<int32_t> loop = quad(0, 0, 0, 2000000, 0, 0);
    EXPECT_EQ(Curve_flatten(loop.data(), curveCollect, &p), 0);
    expectChain(p, loop);
    // A callback error ends the flattening and is returned.
    std::vector<int32_t> q = quad(0, 0, 655360, 1310720, 1310720, 0);
    Pieces stop;
    stop.failAt = 2;
    EXPECT_EQ(Curve_flatten(q.data(), curveCollect, &stop), 77);
    EXPECT_EQ(stop.list.size(), 3u);
}

TEST(CurveFlatten, StepBoxAndDepthLimit)
{
    std::vector<int32_t> q = quad(0, 0, 655360, 1310720, 1310720, 0);
    // With a box holding the control point (edges count), the curve is flat.
    const Rect box = {0, 0, 655360, 1310720};
    Pieces p;
    ASSERT_EQ(Curve_flattenStep(q.data(), &box, curveCollect, &p, 0), 0);
    ASSERT_EQ(p.list.size(), 1u);
    // At the depth limit any piece counts as flat.
    Pieces deep;
    ASSERT_EQ(Curve_flattenStep(q.data(), nullptr, curveCollect, &deep, Curve_maxDepth), 0);
    EXPECT_EQ(deep.list.size(), 1u);
    Pieces almost;
    ASSERT_EQ(Curve_flattenStep(q.data(), nullptr, curveCollect, &almost, Curve_maxDepth - 1), 0);
    EXPECT_EQ(almost.list.size(), 2u);

    int32_t a[Curve_quadWords], b[Curve_quadWords];
    Curve_flattenSplit(q.data(), a, b);
    const int32_t wantA[] = {0, 0, 6, 327680, 655360, 655360, 655360};
    const int32_t wantB[] = {655360, 655360, 6, 983040, 655360, 1310720, 0};
    for (uint32_t i = 0; i < Curve_quadWords; i++) {
        EXPECT_EQ(a[i], wantA[i]) << i;
        EXPECT_EQ(b[i], wantB[i]) << i;
    }
}

TEST(CurveFlatten, ExtremeCoordinatesNeitherWrapNorRunOn)
{
    EXPECT_EQ(Curve_midpoint(INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(Curve_midpoint(INT32_MIN, INT32_MIN), INT32_MIN);
    EXPECT_EQ(Curve_midpoint(INT32_MIN, INT32_MAX), -1);
    const std::vector<int32_t> curves[] = {
        quad(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX),
        quad(INT32_MIN, 0, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN),
        quad(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN),
    };
    for (const std::vector<int32_t> &q : curves) {
        Pieces p;
        ASSERT_EQ(Curve_flatten(q.data(), curveCollect, &p), 0);
        expectChain(p, q);
        EXPECT_LE(p.list.size(), size_t(1) << 16);
        // Each point stays inside the hull's box: nothing wrapped round.
        int64_t lox = std::min({q[0], q[3], q[5]}), hix = std::max({q[0], q[3], q[5]});
        int64_t loy = std::min({q[1], q[4], q[6]}), hiy = std::max({q[1], q[4], q[6]});
        for (size_t i = 0; i < p.list.size(); i++) {
            const Piece &piece = p.list[i];
            EXPECT_TRUE(piece.ex >= lox && piece.ex <= hix && piece.ey >= loy && piece.ey <= hiy);
            if (i % 64 == 0) {
                EXPECT_LT(distanceToQuad(q, double(piece.ex), double(piece.ey)), 64.0);
            }
        }
    }
}

// The cubic flattener: pieces joined end to start, each short enough that
// its differences fit 15 bits, and close to the chord by the cross-product
// rule; a callback's answer stops it.
TEST(CurveFlattenCubic, PiecesFollowTheSplittingRule)
{
    const std::vector<int32_t> curves[] = {
        {0, 0, 7, 100000, 0, 100000, 100000, 0, 100000},
        {-5000, 300, 7, 9000, -7000, -9000, 7000, 5000, 300},
        {10, 10, 7, 10, 10, 10, 10, 10, 10},
        {INT32_MIN, INT32_MIN, 7, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX},
    };
    for (const std::vector<int32_t> &c : curves) {
        Pieces p;
        ASSERT_EQ(Curve_flattenCubic(c.data(), curveCollect, &p), 0);
        if (c[0] == c[7] && c[1] == c[8] && c[3] == c[0]) {
            EXPECT_TRUE(p.list.empty()); // a point: no piece of any length
            continue;
        }
        ASSERT_FALSE(p.list.empty());
        EXPECT_EQ(p.list.front().sx, c[0]);
        EXPECT_EQ(p.list.front().sy, c[1]);
        EXPECT_EQ(p.list.back().ex, c[7]);
        EXPECT_EQ(p.list.back().ey, c[8]);
        for (size_t i = 0; i < p.list.size(); i++) {
            const Piece &piece = p.list[i];
            if (i > 0) {
                EXPECT_EQ(piece.sx, p.list[i - 1].ex);
                EXPECT_EQ(piece.sy, p.list[i - 1].ey);
            }
            if (c[0] != INT32_MIN) {
                EXPECT_LE(std::llabs(piece.ex - piece.sx), 16384);
                EXPECT_LE(std::llabs(piece.ey - piece.sy), 16384);
            }
        }
    }
    Pieces stop;
    stop.failAt = 2;
    EXPECT_EQ(Curve_flattenCubic(curves[0].data(), curveCollect, &stop), 77);
    EXPECT_EQ(stop.list.size(), 3u);
}

} // namespace
