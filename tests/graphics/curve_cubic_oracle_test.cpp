// The cubic flattener held to the properties of the curve flattening its
// callers rely on, on random curves, against a double-precision evaluation
// of each curve: the pieces run in order from the start to the end point,
// every piece end lies on the curve (up to the rounding of the halvings),
// the curve stays within the flatness the chord test allows of the pieces,
// and a curve whose control points lie on its chord is one piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "graphics/curve.h"

namespace {

struct Pt {
    double x, y;
};

struct Collected {
    std::vector<Pt> points; // the start, then every piece end
};

int cubicCollect(const int32_t *end, void *user)
{
    Collected *c = static_cast<Collected *>(user);
    if (c->points.empty())
        c->points.push_back({double(end[-3]), double(end[-2])});
    c->points.push_back({double(end[0]), double(end[1])});
    return 0;
}

Pt bezier(const std::vector<int32_t> &s, double t)
{
    const double u = 1 - t;
    const double w[4] = {u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t};
    const int idx[4] = {0, 3, 5, 7};
    Pt p{0, 0};
    for (int i = 0; i < 4; i++) {
        p.x += w[i] * s[size_t(idx[i])];
        p.y += w[i] * s[size_t(idx[i]) + 1];
    }
    return p;
}

// The distance from q to the curve: the nearest of a dense sampling,
// refined by ternary search around it.
double distanceToCurve(const std::vector<int32_t> &s, Pt q)
{
    auto at = [&](double t) {
        Pt p = bezier(s, t);
        return std::hypot(p.x - q.x, p.y - q.y);
    };
    const int n = 4000;
    int best = 0;
    double bestD = at(0);
    for (int i = 1; i <= n; i++) {
        double d = at(double(i) / n);
        if (d < bestD)
            bestD = d, best = i;
    }
    double lo = std::max(0.0, (best - 1.0) / n), hi = std::min(1.0, (best + 1.0) / n);
    for (int i = 0; i < 100; i++) {
        double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
        if (at(m1) < at(m2))
            hi = m2;
        else
            lo = m1;
    }
    return std::min(bestD, at((lo + hi) / 2));
}

double distanceToSegment(Pt p, Pt a, Pt b)
{
    double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

double distanceToPolyline(const std::vector<Pt> &line, Pt p)
{
    double best = INFINITY;
    for (size_t i = 1; i < line.size(); i++)
        best = std::min(best, distanceToSegment(p, line[i - 1], line[i]));
    return best;
}

TEST(CubicFlattenOracle, RandomCurvesStayOnAndNearTheCurve)
{
    std::mt19937 rng(13129);
    // A flat piece keeps each control point within 64 x L1 / L2 <= 64 x
    // sqrt(2) of its chord's line, and the curve, inside the control
    // points' hull, within that of the line. (The test does not stop a
    // piece from running a little past its own ends along that line, so
    // the distance to the pieces gets the whole bound, not the three
    // quarters of it that hold across the chord.)
    const double flatness = 64 * std::sqrt(2.0);
    // Each halving rounds its midpoints down: half a unit per level of
    // midpoints, a little over a unit per halving in all.
    const double rounding = 24;
    for (int i = 0; i < 120; i++) {
        const int32_t range = i % 3 == 0 ? 60000 : i % 3 == 1 ? 4000 : 300;
        std::uniform_int_distribution<int32_t> coord(-range, range);
        std::vector<int32_t> s = {coord(rng), coord(rng), 7,          coord(rng), coord(rng),
                                  coord(rng), coord(rng), coord(rng), coord(rng)};
        SCOPED_TRACE(::testing::Message()
                     << "curve " << i << ": " << s[0] << "," << s[1] << " " << s[3] << "," << s[4]
                     << " " << s[5] << "," << s[6] << " " << s[7] << "," << s[8]);
        Collected c;
        ASSERT_EQ(Curve_flattenCubic(s.data(), cubicCollect, &c), 0);
        ASSERT_GE(c.points.size(), 2u);
        EXPECT_EQ(c.points.front().x, s[0]);
        EXPECT_EQ(c.points.front().y, s[1]);
        EXPECT_EQ(c.points.back().x, s[7]);
        EXPECT_EQ(c.points.back().y, s[8]);
        for (const Pt &p : c.points)
            ASSERT_LE(distanceToCurve(s, p), rounding) << p.x << "," << p.y;
        for (int k = 0; k <= 400; k++)
            ASSERT_LE(distanceToPolyline(c.points, bezier(s, k / 400.0)), flatness + rounding)
                << "t = " << k / 400.0;
    }
}

TEST(CubicFlattenOracle, ACurveOnItsChordIsOnePiece)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> coord(-4000, 4000);
    for (int i = 0; i < 50; i++) {
        int32_t x0 = coord(rng), y0 = coord(rng), dx = coord(rng), dy = coord(rng);
        // Control points at a quarter and at three quarters of the chord
        // (multiples of 4 keep them on it exactly), or beyond its ends.
        int32_t ax = dx * 4, ay = dy * 4;
        int32_t k1 = i % 2 ? 1 : -1, k2 = i % 2 ? 3 : 5;
        if (i % 2 == 0) {
            ax = dx;
            ay = dy;
        }
        std::vector<int32_t> s = {x0,
                                  y0,
                                  7,
                                  x0 + k1 * ax / 4,
                                  y0 + k1 * ay / 4,
                                  x0 + k2 * ax / 4,
                                  y0 + k2 * ay / 4,
                                  x0 + ax,
                                  y0 + ay};
        if (s[7] - s[0] > 16383 || s[7] - s[0] < -16384 || s[8] - s[1] > 16383 ||
            s[8] - s[1] < -16384)
            continue; // the 15-bit test splits long chords whatever their shape
        Collected c;
        ASSERT_EQ(Curve_flattenCubic(s.data(), cubicCollect, &c), 0);
        ASSERT_EQ(c.points.size(), 2u) << i;
        EXPECT_EQ(c.points.back().x, s[7]);
        EXPECT_EQ(c.points.back().y, s[8]);
    }
}

} // namespace
