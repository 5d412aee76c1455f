// The coded preset outlines built in a fixed 21600-unit square and mapped
// into the shape's box: arcs and rings, wedge and line callouts, quad
// arrows and arrow callouts, curved arrows, ribbons, ellipse ribbons, the
// cloud callout, the moon and the smiley face.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <numbers>

#include "core/geom/geom.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/result.h"
#include "graphics/path.h"
#include "graphics/rastergeom.h"
#include "graphics/vector.h"
#include "office/shape/box_outlines.h"
#include "office/shape/geometry.h"
#include "office/shape/pen.h"

namespace {

using namespace shape_pen;

constexpr int32_t kDegree = 0x10000; // one degree as a 16.16 angle
constexpr int64_t kFull = Shape_space;
constexpr int64_t kHalf = Shape_space / 2;

struct Ctx {
    EscherDrawing *drawing;
    const ShapeGeom *shape;
    int64_t w, h, a1;
};

// Maps the pen's current path into the box from the square source.
void penMap(Pen *p, const Ctx &c, uint32_t source, int swap)
{
    if (!p->err)
        p->err = Shape_scalePath(c.drawing, p->path, w32(c.w), w32(c.h), source, swap);
}

// A whole-circle or whole-ellipse arc over the rectangle, from the ray
// through (x, y) back to it.
void penEllipse(Pen *p, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t x, int64_t y)
{
    penArc(p, x0, y0, x1, y1, x, y, x, y, 0);
}

// (10800, 0) turned by the angle -theta (16.16 degrees).
Point rayPoint(int32_t theta)
{
    Matrix m = {0x10000, 0, 0, 0x10000, 0, 0};
    Matrix_rotation(&m, w32(-int64_t(theta)));
    Point out;
    Matrix_transformPoint(&out, int32_t(kHalf), 0, &m);
    return out;
}

Point rotated(int32_t theta, int64_t x, int64_t y)
{
    Matrix m = {0x10000, 0, 0, 0x10000, 0, 0};
    Matrix_rotation(&m, theta);
    Point out;
    Matrix_transformPoint(&out, w32(x), w32(y), &m);
    return out;
}

const Matrix kOrientation[4] = {
    {0x10000, 0, 0, 0x10000, 0, 0},
    {0, -0x10000, -0x10000, 0, int32_t(kFull), int32_t(kFull)},
    {0, 0x10000, -0x10000, 0, int32_t(kFull), 0},
    {-0x10000, 0, 0, 0x10000, int32_t(kFull), 0},
};

void arc(Pen *p, const Ctx &c)
{
    const int32_t t0 = prop(c.shape, 327, -90 * kDegree), t1 = prop(c.shape, 328, 0);
    const Point p0 = rayPoint(t0), p1 = rayPoint(t1);
    penMove(p, 0, 0);
    penLine1(p, p0.x, p0.y);
    penArc(p, -kHalf, -kHalf, kHalf, kHalf, p0.x, p0.y, p1.x, p1.y, 1);
    penMap(p, c, ShapeSource_bounds, 0);
}

// blockArc and circularArrow: the outer arc, the arrowhead of the circular
// arrow, the inner arc back when the ring has a thickness.
void ring(Pen *p, const Ctx &c, bool arrow)
{
    int32_t t0, t1, t;
    if (arrow) {
        t0 = prop(c.shape, 327, -180 * kDegree);
        t1 = prop(c.shape, 328, 0);
        t = prop(c.shape, 329, 5400);
    } else {
        t0 = w32(c.a1);
        t1 = w32(int64_t(180 * kDegree) - c.a1);
        t = prop(c.shape, 328, 5400);
    }
    const Point p0 = rayPoint(t0), p1 = rayPoint(t1);
    penArc(p, -kHalf, -kHalf, kHalf, kHalf, p0.x, p0.y, p1.x, p1.y, 1);
    if (arrow) {
        const int64_t r = (kHalf - t) / 2;
        const int64_t head[3][2] = {{13500, 0}, {kHalf - r, -2700 - r}, {int64_t(t) - 2700, 0}};
        for (const auto &pt : head) {
            Point q = rotated(w32(-int64_t(t1)), pt[0], pt[1]);
            penLine(p, q.x, q.y);
        }
    }
    if (t != 0)
        penArc(p, -int64_t(t), -int64_t(t), t, t, p1.x, p1.y, p0.x, p0.y, 0);
    penClose(p);
    penMap(p, c, ShapeSource_centred, 0);
}

void noSmoking(Pen *p, const Ctx &c)
{
    // asin's argument leaves [-1, 1] once a1 passes 7200 and its divisor is
    // 0 at 10800: clamp it rather than build from a NaN.
    const double den = double(kFull - 2 * c.a1);
    const double ratio = den != 0 ? double(c.a1) / den : 1.0;
    const double phi = std::asin(std::fmax(-1.0, std::fmin(1.0, ratio)));
    const int64_t r = kHalf - c.a1;
    const double pi = std::numbers::pi;
    auto at = [](double a) {
        return Point{int32_t(10800.0 * std::cos(a)), int32_t(10800.0 * std::sin(a))};
    };
    penEllipse(p, -kHalf, -kHalf, kHalf, kHalf, 0, kHalf);
    penClose(p);
    Point a = at(phi - pi / 4), b = at(3 * pi / 4 - phi);
    penArc(p, -r, -r, r, r, a.x, a.y, b.x, b.y, 0);
    penClose(p);
    a = at(3 * pi / 4 + phi);
    b = at(-pi / 4 - phi);
    penArc(p, -r, -r, r, r, a.x, a.y, b.x, b.y, 0);
    penClose(p);
    penMap(p, c, ShapeSource_centred, 0);
}

Point tipOf(const Ctx &c)
{
    return {w32(prop(c.shape, 327, 1300) - kHalf), w32(kHalf - prop(c.shape, 328, 27000))};
}

void wedgeEllipse(Pen *p, const Ctx &c)
{
    const Point t = tipOf(c);
    penMove(p, t.x, t.y);
    const Point a = rotated(11 * kDegree, t.x, t.y), b = rotated(-11 * kDegree, t.x, t.y);
    penArc(p, -kHalf, -kHalf, kHalf, kHalf, a.x, a.y, b.x, b.y, 0);
    penClose(p);
    penMap(p, c, ShapeSource_centred, 0);
}

// wedgeRectCallout and wedgeRRectCallout: the rectangle drawn side by side
// with quarter turns, then turned so that its opening faces the tip.
void wedgeRect(Pen *p, const Ctx &c, bool rounded)
{
    const Matrix quarter = {0, -0x10000, 0x10000, 0, 0, 0}; // (x, y) to (y, -x)
    const Matrix swap = {0, 0x10000, 0x10000, 0, 0, 0};     // (x, y) to (y, x)
    const int64_t k = kv(3600);
    penMove(p, -1800, -kHalf);
    for (int i = 0; i < 4; i++) {
        if (rounded) {
            penLine(p, 7200, -kHalf);
            penCurve(p, kHalf - k, -kHalf, kHalf, k - kHalf, kHalf, -7200);
        } else {
            penLine(p, kHalf, -kHalf);
        }
        penTransform(p, quarter);
    }
    if (!rounded)
        penLine(p, -7200, -kHalf);
    const Point t = tipOf(c);
    int q;
    if (t.x <= 0)
        q = t.y <= 0 ? 0 : 1;
    else
        q = t.y > 0 ? 2 : 3;
    const int wide = std::llabs(int64_t(t.x)) > std::llabs(int64_t(t.y)) ? 1 : 0;
    if (wide == 1 - (q & 1))
        penTransform(p, swap);
    for (int i = 0; i < q; i++)
        penTransform(p, quarter);
    penLine(p, t.x, t.y);
    penClose(p);
    penMap(p, c, ShapeSource_centred, 0);
}

void moon(Pen *p, const Ctx &c)
{
    const int64_t k2 = kv(kFull), k1 = kv(kHalf);
    penMove(p, kHalf, kHalf);
    penCurve(p, k2 - kHalf, kHalf, -kHalf, kHalf - k1, -kHalf, 0);
    penCurve(p, -kHalf, k1 - kHalf, k2 - kHalf, -kHalf, kHalf, -kHalf);
    const double under = 466560000.0 - double(c.a1) * double(c.a1);
    const int64_t d = under > 0 ? int64_t(233280000.0 / std::sqrt(under)) : 0;
    // The inner edge runs from the bottom tip to the top tip through the
    // ellipse's leftmost point (a1 - 10800, 0): clockwise over the sorted
    // rectangle, whatever the arc would make of one passed top value first.
    penArc(p, c.a1 - kHalf, -d, c.a1 + 32400, d, kHalf, -kHalf, kHalf, kHalf, 1);
    penMap(p, c, ShapeSource_centred, 0);
}

void smiley(Pen *p, const Ctx &c)
{
    const int64_t t = kFull - c.a1, b = 10134 - t;
    penEllipse(p, 0, 0, kFull, kFull, 0, 0);
    penMove(p, 4975, b);
    penCurve(p, 8400, t, 13200, t, 16625, b);
    penCurve(p, 13200, t, 8400, t, 4975, b);
    penMap(p, c, ShapeSource_square, 0);
    if (p->err)
        return;
    // Without its shade sub-path the face is drawn without eyes.
    Path *eyes = Shape_addShadePath(p->shades, ShadePath_shade, 52428);
    if (!eyes)
        return;
    p->path = eyes;
    penEllipse(p, 6214, 12900, 8428, 15160, 0, 0);
    penClose(p);
    penEllipse(p, 15386, 12900, 13172, 15160, 0, 0);
    penMap(p, c, ShapeSource_square, 0);
}

// quadArrow (adjusts a = d from 328, b from 327, c from 329) and
// quadArrowCallout (a, b, c, d from 327 to 330): one point walk in the
// square, placed straight into the box; repeated points are skipped.
void quadArrow(Pen *p, const Ctx &c, bool callout)
{
    int64_t a, b, cc, d;
    if (callout) {
        a = prop(c.shape, 327, 5400);
        b = prop(c.shape, 328, 8100);
        cc = prop(c.shape, 329, 2700);
        d = prop(c.shape, 330, 9400);
    } else {
        a = d = prop(c.shape, 328, 8640);
        b = prop(c.shape, 327, 6480);
        cc = prop(c.shape, 329, 4320);
    }
    const int64_t ai = kFull - a, bi = kFull - b, ci = kFull - cc, di = kFull - d;
    const int64_t pts[][2] = {
        {bi, cc}, {di, cc}, {di, a},  {ai, a},  {ai, d},  {ci, d},  {ci, b},  {kFull, kHalf},
        {ci, bi}, {ci, di}, {ai, di}, {ai, ai}, {di, ai}, {di, ci}, {bi, ci}, {kHalf, kFull},
        {b, ci},  {d, ci},  {d, ai},  {a, ai},  {a, di},  {cc, di}, {cc, bi}, {0, kHalf},
        {cc, b},  {cc, d},  {a, d},   {a, a},   {d, a},   {d, cc},  {b, cc}};
    penMove(p, c.w / 2, 0);
    int64_t px = kHalf, py = 0;
    for (const auto &pt : pts) {
        if (pt[0] == px && pt[1] == py)
            continue;
        px = pt[0];
        py = pt[1];
        penLine(p, sa(px, c.w), sa(py, c.h));
    }
    penClose(p);
}

// The arrow callouts: one walk in the square through the orientation and
// the scale into the box.
void arrowCallout(Pen *p, const Ctx &c, uint32_t type)
{
    static const int kOrient[6] = {0, 3, 1, 2, 0, 1};
    const int o = kOrient[type - 77];
    const bool twin = type >= 81;
    int64_t g[4] = {7200, 5400, 3600, 8100};
    if (twin) {
        g[0] = 5400;
        g[2] = 2700;
    }
    for (int i = 0; i < 4; i++) {
        int32_t v;
        if (present(c.shape, uint32_t(327 + i), &v))
            g[i] = (o >= 2 && (i == 0 || i == 2)) ? kFull - v : v;
    }
    Matrix m = kOrientation[o];
    const Matrix scale = {w32(sa(0x10000, c.w)), 0, 0, w32(sa(0x10000, c.h)), 0, 0};
    Matrix_concat(&m, &scale);
    bool first = true;
    auto to = [&](int64_t x, int64_t y) {
        Point q;
        Matrix_transformPoint(&q, w32(x), w32(y), &m);
        if (first)
            penMove(p, q.x, q.y);
        else
            penLine(p, q.x, q.y);
        first = false;
    };
    const int64_t g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3];
    to(0, kHalf);
    to(g2, g1);
    to(g2, g3);
    to(g0, g3);
    to(g0, 0);
    if (!twin) {
        to(kFull, 0);
        to(kFull, kFull);
    } else {
        to(kFull - g0, 0);
        to(kFull - g0, g3);
        to(kFull - g2, g3);
        to(kFull - g2, g1);
        to(kFull, kHalf);
        to(kFull, kHalf);
        to(kFull - g2, kFull - g1);
        to(kFull - g2, kFull - g3);
        to(kFull - g0, kFull - g3);
        to(kFull - g0, kFull);
    }
    to(g0, kFull);
    to(g0, kFull - g3);
    to(g2, kFull - g3);
    to(g2, kFull - g1);
    penClose(p);
}

void curvedArrow(Pen *p, const Ctx &c, uint32_t type)
{
    static const int kOrient[4] = {0, 3, 2, 1};
    const int o = kOrient[type - 102];
    int32_t v;
    const int64_t a = present(c.shape, 327, &v) ? kFull - v : 9000;
    const int64_t b = present(c.shape, 328, &v) ? kFull - v : 2160;
    const int64_t cc = present(c.shape, 329, &v) ? (o <= 1 ? int64_t(v) : kFull - v) : 14400;
    const int64_t big = kFull - a + b, d = a - 2 * b;
    const double root = std::sqrt(std::fmax(0.0, double(cc) * double(43200 - cc)));
    const int64_t q = int64_t(double(big) * (1.0 - root / 21600.0)) / 2;
    double share = big ? 1.0 - double(d) * double(d) / (double(big) * double(big)) : 0.0;
    const int64_t u = big ? int64_t(21600.0 * std::sqrt(std::fmax(0.0, share))) : 0;
    const int64_t ya = kFull - big / 2, yb = ya - d / 2, yc = ya - d, yd = (a - b) - d / 2;
    const int64_t r1[4] = {0, a - b, 43200, kFull}, r2[4] = {0, b, 43200, kFull - d};
    const Matrix &orient = kOrientation[o];
    penArc(p, r1[0], r1[1], r1[2], r1[3], 0, ya, cc, a - b + q, 0);
    penLine(p, cc, a + q);
    penLine(p, kFull, yd);
    penLine(p, cc, q);
    penArc(p, r2[0], r2[1], r2[2], r2[3], cc, b + q, 0, yc, 1);
    penClose(p);
    penTransform(p, orient);
    penMap(p, c, ShapeSource_square, 0);
    penShade(p, 52428);
    if (o <= 1) {
        penArc(p, r1[0], r1[1], r1[2], r1[3], kFull - u, yb, kFull, kFull, 1);
        penArc(p, r2[0], r2[1], r2[2], r2[3], kFull, kFull - d, kFull - u, yb, 0);
    } else {
        penArc(p, r1[0], r1[1], r1[2], r1[3], 0, ya, kFull, kFull, 1);
        penArc(p, r2[0], r2[1], r2[2], r2[3], kFull, kFull - d, 0, yc, 0);
        penClose(p);
    }
    penTransform(p, orient);
    penMap(p, c, ShapeSource_square, 0);
}

// ribbon (53, ordinates counted from the top) and ribbon2 (54).
void ribbon(Pen *p, const Ctx &c, bool down)
{
    int32_t v;
    const int64_t pv = present(c.shape, 328, &v) ? (down ? int64_t(v) : kFull - v) : 2700;
    const int64_t q = pv / 4, a = c.a1;
    auto y = [&](int64_t o) { return down ? kFull - o : o; };
    auto m = [](int64_t x) { return kFull - x; };
    auto bend = [&](int64_t px, int64_t py, int64_t qx, int64_t qy) {
        penCurve(p, px, y(py), px, y(py), qx, y(qy));
    };
    auto line = [&](int64_t x, int64_t o) { penLine(p, x, y(o)); };
    penMove(p, a, y(kFull - pv));
    line(0, kFull - pv);
    line(2700, kHalf - 2 * q);
    line(0, 0);
    line(a + 1975, 0);
    bend(a + 2700, 0, a + 2700, q);
    bend(a + 2700, 2 * q, a + 1975, 2 * q);
    line(a + 725, 2 * q);
    bend(a, 2 * q, a, pv - q);
    bend(a, pv, a + 725, pv);
    line(m(a + 725), pv);
    bend(m(a), pv, m(a), pv - q);
    bend(m(a), 2 * q, m(a + 725), 2 * q);
    line(m(a + 1975), 2 * q);
    bend(m(a + 2700), 2 * q, m(a + 2700), q);
    bend(m(a + 2700), 0, m(a + 1975), 0);
    line(kFull, 0);
    line(18900, kHalf - 2 * q);
    line(kFull, kFull - pv);
    line(m(a), kFull - pv);
    line(m(a), pv - q);
    line(m(a), kFull - q);
    bend(m(a), kFull, m(a + 725), kFull);
    line(a + 725, kFull);
    bend(a, kFull, a, kFull - q);
    line(a, pv - q);
    penMap(p, c, ShapeSource_square, 0);
    penShade(p, 52428);
    for (int side = 0; side < 2; side++) {
        auto x = [&](int64_t at) { return side ? m(at) : at; };
        penMove(p, x(a + 2700), y(pv));
        line(x(a + 725), pv);
        bend(x(a), pv, x(a), pv - q);
        bend(x(a), 2 * q, x(a + 725), 2 * q);
        line(x(a + 1975), 2 * q);
        bend(x(a + 2700), 2 * q, x(a + 2700), q);
        penClose(p);
    }
    penMap(p, c, ShapeSource_square, 0);
}

void ellipseRibbon(Pen *p, const Ctx &c, bool second)
{
    int32_t v;
    const int64_t m = present(c.shape, 328, &v) ? (second ? kFull - v : int64_t(v)) : 5400;
    const int64_t n = present(c.shape, 329, &v) ? (second ? int64_t(v) : kFull - v) : 2700;
    const int64_t a = c.a1;
    const int64_t xs[8] = {-10800, -8100, a - 10800, a - 8100, 8100 - a, 10800 - a, 8100, 10800};
    int64_t e[4] = {0, 0, 0, 0};
    for (int j = 1; j <= 3; j++) {
        const double under = 16200.0 * 16200.0 - double(xs[j]) * double(xs[j]);
        const int64_t t = 16200 - int64_t(std::sqrt(std::fmax(0.0, under)));
        e[j] = (8 * n * t) / 32400;
    }
    const int64_t ys[10] = {-10800,
                            e[1] + (m - 2 * n) / 2,
                            e[2] - 10800,
                            e[3],
                            10800,
                            m - 10800,
                            10800 - n + e[3],
                            10800 - m + e[2],
                            10800 - m + e[3],
                            m - n - 10800 + e[2]};
    const int64_t ts[8] = {n, 0, e[2], e[3], e[3], e[2], 0, n};
    const int64_t b0 = -10800, b1 = m - n - 10800, b2 = 10800 - m, b3 = 10800 - n;
    auto k = [&](int64_t base, int i, int j) {
        penArc(p, -16200, base, 16200, base + 8 * n, xs[i], base + ts[i], xs[j], base + ts[j], 0);
    };
    const Matrix mirrorX = {-0x10000, 0, 0, 0x10000, 0, 0};
    const Matrix mirrorY = {0x10000, 0, 0, -0x10000, 0, 0};
    penMove(p, xs[1], ys[1]);
    k(b1, 0, 2);
    penLine(p, xs[2], ys[7]);
    k(b0, 2, 5);
    penLine(p, xs[5], ys[7]);
    k(b1, 5, 7);
    penLine(p, xs[6], ys[1]);
    penTransform(p, mirrorX);
    k(b3, 0, 3);
    k(b2, 2, 5);
    k(b3, 4, 7);
    penClose(p);
    if (second)
        penTransform(p, mirrorY);
    penMap(p, c, ShapeSource_centred, 0);
    penShade(p, 52428);
    penMove(p, xs[3], ys[6]);
    k(b2, 2, 3);
    penClose(p);
    penMove(p, xs[4], ys[6]);
    k(b2, 4, 5);
    penClose(p);
    if (second)
        penTransform(p, mirrorY);
    penMap(p, c, ShapeSource_centred, 0);
}

// The bumps of the cloud: two control points, the end of the bump and the
// point where the next one starts (y down).
const int16_t kCloud[11][8] = {
    {1560, 3480, 5240, 1300, 6940, 2600, 7620, 3240},
    {7900, 380, 9860, 200, 11200, 1680, 11000, 2320},
    {12390, -500, 13780, -300, 14900, 1000, 14540, 1800},
    {16150, -500, 18760, -200, 19140, 2740, 19180, 3300},
    {21300, 4040, 21400, 6200, 20920, 7720, 20160, 9000},
    {22200, 10000, 21900, 14300, 18720, 15060, 17060, 11500},
    {18680, 18420, 16480, 19620, 14280, 18420, 14400, 17420},
    {13000, 22500, 9800, 22500, 8220, 19580, 7900, 18720},
    {6150, 20860, 4040, 19880, 2880, 17660, 3440, 17460},
    {800, 17680, 0, 15260, 1040, 12700, 2360, 13100},
    {-500, 11000, -500, 7500, 1920, 7180, 2040, 7880},
};

void cloud(Pen *p, const Ctx &c)
{
    constexpr uint32_t kNextControl = 1894; // rows whose fold leans on the next row
    penMove(p, 1920, 7180);
    for (int i = 0; i < 11; i++) {
        const int16_t *t = kCloud[i];
        penCurve(p, t[0], t[1], t[2], t[3], t[4], t[5]);
        int64_t dx = t[2], dy = t[3];
        if (kNextControl >> i & 1) {
            dx = kCloud[(i + 1) % 11][0];
            dy = kCloud[(i + 1) % 11][1];
        }
        const int64_t vx = t[4] - dx, vy = t[5] - dy;
        const double nx = double(t[6] - t[4]), ny = double(t[7] - t[5]);
        const double len = double(vx) * double(vx) + double(vy) * double(vy);
        const int64_t rho = len > 0 ? int64_t(10800.0 * std::sqrt((nx * nx + ny * ny) / len)) : 0;
        const int64_t wx = t[4] + sa(vx, rho), wy = t[5] + sa(vy, rho);
        const int64_t c1x = (2 * wx + t[4]) / 3, c1y = (2 * wy + t[5]) / 3;
        const int64_t c2x = (2 * wx + t[6]) / 3, c2y = (2 * wy + t[7]) / 3;
        penCurve(p, c1x, c1y, c2x, c2y, t[6], t[7]);
        penCurve(p, c2x, c2y, c1x, c1y, t[4], t[5]);
    }
    penClose(p);
    penMap(p, c, ShapeSource_square, 1);
    // The thought bubbles, from the tip toward the cloud's centre.
    Point tip = {prop(c.shape, 327, 1300), prop(c.shape, 328, 26100)};
    const int64_t r =
        (int64_t(Path_pointDistance(tip.x, tip.y, int32_t(kHalf), int32_t(kHalf))) - 17400) / 3;
    const int64_t radius[3] = {600, 1200, 1800}, step[3] = {0, r + 1800, r + 3000};
    for (int i = 0; i < 3; i++) {
        if (i > 0) {
            Point next;
            Geom_stepToward(&next, tip.x, tip.y, int32_t(kHalf), int32_t(kHalf), w32(step[i]));
            tip = next;
        }
        penSub(p, ShadePath_own, 0xFFFFFFFFu);
        const int64_t x0 = tip.x - radius[i], y0 = tip.y - radius[i];
        penEllipse(p, x0, y0, tip.x + radius[i], tip.y + radius[i], x0, y0);
        penClose(p);
        penMap(p, c, ShapeSource_square, 1);
    }
}

// The line callouts: the text box in the main path, the callout line in a
// line-only sub-path walked by the row's step string.
void lineCallout(Pen *p, const Ctx &c, int index)
{
    static const char *const kSteps[4] = {"0E", "0E", "0HE", "0VHE"};
    static const int32_t kDefaults[4][8] = {
        {-1350, 24188, -1350, 2700},
        {-8288, 24188, -1350, 2700},
        {-10088, 24188, -3525, 2700, -1350, 2700},
        {23288, 24413, 25238, 21600, 25238, 2700, 22950, 2700},
    };
    const int variant = index & 3, row = index >> 2;
    const int32_t *def = kDefaults[row];
    Path *main = p->path;
    penMove(p, 0, 0);
    if (variant & 2) {
        penLine(p, kFull, 0);
        penLine(p, kFull, kFull);
        penLine(p, 0, kFull);
        penClose(p);
    } else {
        penLine1(p, kFull, 0);
        penLine1(p, kFull, kFull);
        penLine1(p, 0, kFull);
    }
    penSub(p, ShadePath_line, 0xFFFFFFFFu);
    int64_t x = prop(c.shape, 327, def[0]), y = prop(c.shape, 328, def[1]);
    penMove(p, x, y);
    uint32_t k = 2;
    for (const char *s = kSteps[row]; *s && *s != 'E'; s++, k += 2) {
        if (*s == '0' || *s == 'H')
            x = prop(c.shape, 327 + k, def[k]);
        if (*s == '0' || *s == 'V')
            y = prop(c.shape, 328 + k, def[k + 1]);
        penLine(p, x, y);
    }
    penMap(p, c, ShapeSource_square, 1);
    if (p->err)
        return;
    p->path = main;
    if ((variant & 1) && row >= 1) {
        penMove(p, x, 0);
        penLine(p, x, kFull);
        penClose(p);
    }
    penMap(p, c, ShapeSource_square, 0);
}

int lineCalloutIndex(uint32_t type)
{
    static const uint8_t kTypes[16] = {178, 179, 180, 181, 41, 44, 47, 50,
                                       42,  45,  48,  51,  43, 46, 49, 52};
    for (int i = 0; i < 16; i++)
        if (kTypes[i] == type)
            return i;
    return -1;
}

} // namespace

int Shape_buildSquareOutline(EscherDrawing *drawing, Path *path, const ShapeGeom *shape, int32_t w,
                             int32_t h, int32_t a1, ShadePath **shades, bool *built)
{
    Pen pen = {path, shades, Res_ok};
    Pen *p = &pen;
    const Ctx c = {drawing, shape, w, h, a1};
    const uint32_t type = shape->type;
    *built = true;
    switch (type) {
    case 19: arc(p, c); break;
    case 95:
    case 99: ring(p, c, type == 99); break;
    case 57: noSmoking(p, c); break;
    case 61:
    case 62: wedgeRect(p, c, type == 62); break;
    case 63: wedgeEllipse(p, c); break;
    case 184: moon(p, c); break;
    case 96: smiley(p, c); break;
    case 76:
    case 83: quadArrow(p, c, type == 83); break;
    case 77:
    case 78:
    case 79:
    case 80:
    case 81:
    case 82: arrowCallout(p, c, type); break;
    case 102:
    case 103:
    case 104:
    case 105: curvedArrow(p, c, type); break;
    case 53:
    case 54: ribbon(p, c, type == 53); break;
    case 107:
    case 108: ellipseRibbon(p, c, type == 108); break;
    case 106: cloud(p, c); break;
    default: {
        const int index = lineCalloutIndex(type);
        if (index < 0) {
            *built = false;
            break;
        }
        lineCallout(p, c, index);
        break;
    }
    }
    return pen.err;
}
