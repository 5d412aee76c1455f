// Stroking and dashing by hand: the line intersection, octants and the
// clockwise test; exact corners and caps (butt, square, round, arrow);
// miter, bevel and round joins and the miter limit; the walk's states
// (closes, breaks, zero-length pieces, curves beyond the clip rectangle);
// bounds; dashing; errors. Shapes are checked either by their exact edges
// or by a non-zero winding test of the tests' own at chosen points.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/geom/geom.h"
#include "core/geom/matrix.h"
#include "graphics/stroke.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pathbounds.h"
#include "graphics/path.h"
#include "graphics/rastergeom.h"
#include "tests/graphics/stroke_support.h"
#include "tests/support/heap_fixture.h"

using namespace stroke_test;

namespace {

uint32_t style(uint32_t join, uint32_t startCap, uint32_t endCap)
{
    return join << Pen_joinShift | startCap << Pen_startCapShift | endCap << Pen_endCapShift;
}

Pen pen(int32_t width, uint32_t join, uint32_t cap, int32_t miterLimit = 1 << 30)
{
    return Pen{style(join, cap, cap), width, miterLimit, 0, 0, nullptr};
}

// ------------------------------------------------------------- geometry

TEST(GeomLines, IntersectionTable)
{
    struct {
        const char *what;
        int32_t p[8];
        int ok;
        Point want;
    } cases[] = {
        {"diagonals", {0, 0, 10, 10, 0, 10, 10, 0}, 1, {5, 5}},
        {"axes", {-7, 3, 20, 3, 4, -100, 4, 50}, 1, {4, 3}},
        {"beyond both segments", {0, 0, 1, 0, 5, 1, 5, 2}, 1, {5, 0}},
        {"quotients truncate toward zero", {0, 0, 3, 1, 0, 1, 1, 0}, 1, {0, 0}},
        {"negative quotient truncates toward zero", {0, 0, -3, 1, 0, 1, -1, 0}, 1, {0, 0}},
        {"parallel: the first line's second point", {0, 0, 10, 0, 0, 5, 10, 5}, 1, {10, 0}},
        {"the same line", {0, 0, 10, 10, 2, 2, 5, 5}, 1, {10, 10}},
        {"a point for a line", {3, 4, 3, 4, 0, 0, 10, 10}, 1, {3, 4}},
        {"far corners, exact",
         {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN},
         1,
         {-1, -1}},
        {"nearly parallel: beyond the 32-bit range",
         {0, 0, 1000000, 0, 0, 2000, 2000000, 1999},
         0,
         {1000000, 0}},
    };
    for (auto &c : cases) {
        Point out{12345, 678};
        int ok = Geom_lineIntersection(&out, c.p[0], c.p[1], c.p[2], c.p[3], c.p[4], c.p[5], c.p[6],
                                       c.p[7]);
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_EQ(out.x, c.want.x) << c.what;
        EXPECT_EQ(out.y, c.want.y) << c.what;
    }
}

// The formula in 128 bits, for comparison.
bool exactIntersection(const int32_t *p, Point *out)
{
    __int128 x1 = p[0], y1 = p[1], x2 = p[2], y2 = p[3], x3 = p[4], y3 = p[5], x4 = p[6], y4 = p[7];
    __int128 d = (y2 - y1) * (x4 - x3) + (y4 - y3) * (x1 - x2);
    if (d == 0) {
        *out = Point{p[2], p[3]};
        return true;
    }
    __int128 n = (y3 - y1) * x4 + (y1 - y4) * x3 + (y4 - y3) * x1;
    __int128 x = x1 - n * (x1 - x2) / d, y = y1 + n * (y2 - y1) / d;
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX)
        return false;
    *out = Point{int32_t(x), int32_t(y)};
    return true;
}

TEST(GeomLines, IntersectionMatchesTheFormulaInWideArithmetic)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; round++) {
        // Small, medium and full-range coordinates.
        int bits = round % 3 == 0 ? 12 : round % 3 == 1 ? 24 : 31;
        std::uniform_int_distribution<int64_t> coord(-(int64_t(1) << bits),
                                                     (int64_t(1) << bits) - 1);
        int32_t p[8];
        for (int32_t &v : p)
            v = int32_t(coord(rng));
        Point want, got;
        bool ok = exactIntersection(p, &want);
        int r = Geom_lineIntersection(&got, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
        if (bits <= 12) {
            // Products of at most 62 bits: exact.
            ASSERT_EQ(r, ok ? 1 : 0);
            if (ok) {
                ASSERT_EQ(got.x, want.x);
                ASSERT_EQ(got.y, want.y);
            }
        } else if (ok && r) {
            ASSERT_LE(std::abs(int64_t(got.x) - want.x), 1);
            ASSERT_LE(std::abs(int64_t(got.y) - want.y), 1);
        } else if (!r) {
            ASSERT_EQ(got.x, p[2]);
            ASSERT_EQ(got.y, p[3]);
        }
    }
}

TEST(GeomLines, OctantsRunCounterClockwise)
{
    struct {
        int32_t x, y;
        int octant;
    } cases[] = {
        {5, 1, 0},
        {5, 5, 1},
        {1, 5, 1},
        {0, 5, 2},
        {-1, 5, 2},
        {-5, 5, 2},
        {-5, 1, 3},
        {-5, 0, 4},
        {-5, -1, 4},
        {-5, -5, 5},
        {-1, -5, 5},
        {0, -5, 5},
        {1, -5, 6},
        {5, -5, 6},
        {5, -1, 7},
        {5, 0, 7},
        {0, 0, 5},
        {INT32_MIN, 0, 4},
        {INT32_MIN, INT32_MIN, 5},
        {INT32_MAX, INT32_MIN, 6},
    };
    for (auto &c : cases)
        EXPECT_EQ(Geom_octant(c.x, c.y), c.octant) << c.x << ", " << c.y;
}

// Octants decide only where they can; the answer is the sign of the cross
// product (direction 2 lies clockwise, y up, of direction 1) for every pair
// but exactly opposite directions, whose answer the octants give.
TEST(GeomLines, ClockwiseIsTheSignOfTheCrossProduct)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int32_t> small(-4, 4), any(INT32_MIN, INT32_MAX);
    for (int round = 0; round < 100000; round++) {
        bool tiny = round % 2 == 0;
        int32_t v[4];
        for (int32_t &x : v)
            x = tiny ? small(rng) : any(rng);
        if ((v[0] == 0 && v[1] == 0) || (v[2] == 0 && v[3] == 0))
            continue;
        __int128 cross = __int128(v[0]) * v[3] - __int128(v[1]) * v[2];
        __int128 dot = __int128(v[0]) * v[2] + __int128(v[1]) * v[3];
        if (cross == 0 && dot < 0)
            continue;
        ASSERT_EQ(Geom_isClockwise(v[0], v[1], v[2], v[3]), cross < 0 ? 1 : 0)
            << v[0] << " " << v[1] << " " << v[2] << " " << v[3];
    }
    EXPECT_EQ(Geom_isClockwise(1, 0, 0, -1), 1);
    EXPECT_EQ(Geom_isClockwise(1, 0, 0, 1), 0);
    EXPECT_EQ(Geom_isClockwise(1, 0, -1, 0), 1) << "opposite, octants 7 and 4";
    EXPECT_EQ(Geom_isClockwise(-1, 0, 1, 0), 0) << "opposite, octants 4 and 7";
    EXPECT_EQ(Geom_isClockwise(0, -3, 0, 2), 1) << "opposite, octants 5 and 2";
    EXPECT_EQ(Geom_isClockwise(1, 1, -1, -1), 0) << "opposite, octants 1 and 5";
    EXPECT_EQ(Geom_isClockwise(3, 4, 6, 8), 0) << "equal";
}

TEST(GeomLines, PointDistance)
{
    EXPECT_EQ(Path_pointDistance(0, 0, 3, 4), 5u);
    EXPECT_EQ(Path_pointDistance(10, 10, 10, 10), 0u);
    EXPECT_EQ(Path_pointDistance(0, 0, 1, 1), 1u);
    EXPECT_EQ(Path_pointDistance(0, 0, INT32_MIN, 0), 2147483648u);
    EXPECT_EQ(Path_pointDistance(0, 0, INT32_MIN, INT32_MIN), 3037000499u);
}

// -------------------------------------------------------------- strokes

class Stroke : public LeakCheckedHeapTest<(8u << 20)> {
  protected:
    Path *make()
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, 0x10000), Res_ok);
        paths.push_back(p);
        return p;
    }
    Path *source(const std::string &text)
    {
        Path *p = make();
        EXPECT_TRUE(buildPath(p, text)) << text;
        return p;
    }
    // The outline of text under pen; the stroke must succeed.
    Path *stroke(const std::string &text, const Pen &pn, const Matrix *m = nullptr,
                 int32_t dashScale = 0x10000, const Rect *clip = nullptr)
    {
        Path *out = make();
        EXPECT_EQ(Path_stroke(nullptr, source(text), out, m ? m : Matrix_identity(), &pn, dashScale,
                              clip),
                  Res_ok)
            << text;
        EXPECT_TRUE(edgesBalance(out)) << text;
        return out;
    }
    Rect bounds(const std::string &text, const Pen &pn)
    {
        Rect r;
        EXPECT_EQ(Path_strokeBounds(nullptr, source(text), &r, Matrix_identity(), &pn), Res_ok);
        return r;
    }
    static std::vector<int32_t> words(const Path *p)
    {
        return std::vector<int32_t>(p->buffer, p->write);
    }
    static bool inside(const Path *outline, double x, double y)
    {
        return windingAt(edgesOf(outline), x, y) != 0;
    }
    void TearDown() override
    {
        for (Path *p : paths)
            Path_destroy(p);
        LeakCheckedHeapTest::TearDown();
    }
    std::vector<Path *> paths;
};

// A butt-capped line is the rectangle of its width: two offset edges and
// the two caps, in this order (the start cap waits for the subpath's end).
TEST_F(Stroke, ButtLineIsARectangle)
{
    Path *out = stroke("M 0 0 L 1000 0", pen(200, Pen_joinMiter, Pen_capButt));
    const std::vector<int32_t> want = {
        9, 0,    -100, 5, 1000, -100, 1, 1000, 100, 5, 0, 100, // the piece: U0-U1, V1-V0
        1, 0,    100,  5, 0,    -100,                          // start cap V0-U0
        1, 1000, -100, 5, 1000, 100,                           // end cap U1-V1
        1, 0,    -100,                                         // back at the first corner
    };
    std::vector<int32_t> ops;
    for (const Element &e : elementsOf(out)) {
        ops.push_back(int32_t(e.op));
        for (int64_t v : e.pts)
            ops.push_back(int32_t(v));
    }
    EXPECT_EQ(ops, want);
    EXPECT_TRUE(inside(out, 500, 99));
    EXPECT_TRUE(inside(out, 1, -99));
    EXPECT_FALSE(inside(out, 500, 101));
    EXPECT_FALSE(inside(out, -1, 0));
    EXPECT_FALSE(inside(out, 1001, 0));
}

TEST_F(Stroke, CornersOfADiagonalPiece)
{
    // (300, 400) has length 500: the offset at h = 50 is (40, -30).
    Path *out = stroke("M 0 0 L 300 400", pen(100, Pen_joinMiter, Pen_capButt));
    std::vector<Element> e = elementsOf(out);
    ASSERT_GE(e.size(), 4u);
    EXPECT_EQ(e[0].pts, (std::vector<int64_t>{40, -30}));  // U0
    EXPECT_EQ(e[1].pts, (std::vector<int64_t>{340, 370})); // U1
    EXPECT_EQ(e[2].pts, (std::vector<int64_t>{260, 430})); // V1
    EXPECT_EQ(e[3].pts, (std::vector<int64_t>{-40, 30}));  // V0
}

TEST_F(Stroke, SquareAndRoundCaps)
{
    const char *line = "M 0 0 L 1000 0";
    Path *square = stroke(line, pen(200, Pen_joinMiter, Pen_capSquare));
    Rect box;
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, square, &box), Res_ok);
    EXPECT_EQ(box.x0, -100);
    EXPECT_EQ(box.x1, 1100);
    EXPECT_TRUE(inside(square, -99, -99));
    EXPECT_TRUE(inside(square, 1099, 99));
    EXPECT_FALSE(inside(square, -101, 0));

    // Round caps are arcs to within 64 units: a large pen shows their shape.
    Path *round = stroke("M 0 0 L 100000 0", pen(20000, Pen_joinMiter, Pen_capRound));
    EXPECT_TRUE(inside(round, -9800, 0));
    EXPECT_TRUE(inside(round, -6900, -6900)); // 97.6% of the radius from the end
    EXPECT_TRUE(inside(round, 106900, 6900));
    EXPECT_FALSE(inside(round, -7400, -7400)); // 104.7%
    EXPECT_FALSE(inside(round, 107400, 7400));
    EXPECT_FALSE(inside(round, -10100, 0));
    // The arc's points lie on the circle, give or take the rounding of the
    // halvings.
    int arcPoints = 0;
    for (const Element &e : elementsOf(round)) {
        double x = double(e.pts.empty() ? 0 : e.pts[0]), y = double(e.pts.empty() ? 0 : e.pts[1]);
        if (e.op == Path_opLine && (x < 0 || x > 100000)) {
            EXPECT_NEAR(std::hypot(x < 0 ? x : x - 100000, y), 10000, 4) << x << ", " << y;
            arcPoints++;
        }
    }
    EXPECT_GE(arcPoints, 16);
}

// Arrow caps by hand: base points at the arrow's half width across the end,
// the tip at its length beyond; the start cap mirrored.
TEST_F(Stroke, ArrowCaps)
{
    Pen p{style(Pen_joinMiter, Pen_capArrow, Pen_capArrow), 100, 1 << 30, 150, 300, nullptr};
    Path *out = stroke("M 0 0 L 1000 0", p);
    std::vector<std::vector<int64_t>> pts;
    for (const Element &e : elementsOf(out))
        pts.push_back(e.pts);
    // Piece (4 elements), start cap (5), end cap (5), back to U0.
    ASSERT_EQ(pts.size(), 15u);
    const std::vector<std::vector<int64_t>> start = {
        {0, 50}, {0, 150}, {-300, 0}, {0, -150}, {0, -50}};
    const std::vector<std::vector<int64_t>> end = {
        {1000, -50}, {1000, -150}, {1300, 0}, {1000, 150}, {1000, 50}};
    EXPECT_EQ(std::vector<std::vector<int64_t>>(pts.begin() + 4, pts.begin() + 9), start);
    EXPECT_EQ(std::vector<std::vector<int64_t>>(pts.begin() + 9, pts.begin() + 14), end);
    EXPECT_TRUE(inside(out, -290, 0));
    EXPECT_TRUE(inside(out, 1010, 140));
    EXPECT_FALSE(inside(out, 1010, -160));

    Rect r = bounds("M 0 0 L 1000 0", p);
    EXPECT_EQ(r.x0, -300);
    EXPECT_EQ(r.y0, -150);
    EXPECT_EQ(r.x1, 1300);
    EXPECT_EQ(r.y1, 150);

    // Different caps at the two ends; a diagonal arrow keeps its length.
    Pen mixed{style(Pen_joinMiter, Pen_capRound, Pen_capArrow), 100, 1 << 30, 100, 500, nullptr};
    Path *diag = stroke("M 0 0 L 3000 4000", mixed);
    EXPECT_TRUE(inside(diag, 3000 + 3 * 490 / 5, 4000 + 4 * 490 / 5));
    EXPECT_FALSE(inside(diag, 3000 + 3 * 510 / 5, 4000 + 4 * 510 / 5));
    EXPECT_TRUE(inside(diag, -3 * 48 / 5, -4 * 48 / 5));
    EXPECT_FALSE(inside(diag, -3 * 52 / 5, -4 * 52 / 5));
}

// A right angle: the miter point lies h beyond both outer edges; the
// distance between the two miter points is 2h * sqrt(2) = 282.8.
TEST_F(Stroke, MiterLimitAndTheTurnSide)
{
    const char *down = "M 0 0 L 1000 0 L 1000 1000";
    auto hasPoint = [](const Path *p, int64_t x, int64_t y) {
        for (const Element &e : elementsOf(p))
            for (size_t i = 0; i + 1 < e.pts.size(); i += 2)
                if (e.pts[i] == x && e.pts[i + 1] == y)
                    return true;
        return false;
    };
    Path *mitred = stroke(down, pen(200, Pen_joinMiter, Pen_capButt, 282));
    EXPECT_TRUE(hasPoint(mitred, 1100, -100));
    EXPECT_TRUE(inside(mitred, 1099, -99));
    Path *bevelled = stroke(down, pen(200, Pen_joinMiter, Pen_capButt, 281));
    EXPECT_FALSE(hasPoint(bevelled, 1100, -100));
    EXPECT_FALSE(inside(bevelled, 1099, -99));
    EXPECT_EQ(words(bevelled), words(stroke(down, pen(200, Pen_joinBevel, Pen_capButt))));
    // Turning the other way puts the miter on the other side.
    Path *up = stroke("M 0 0 L 1000 0 L 1000 -1000", pen(200, Pen_joinMiter, Pen_capButt, 282));
    EXPECT_TRUE(hasPoint(up, 1100, 100));
    EXPECT_TRUE(inside(up, 1099, 99));
}

TEST_F(Stroke, RoundJoinFollowsTheCircle)
{
    const char *down = "M 0 0 L 1000 0 L 1000 1000";
    Path *round = stroke(down, pen(200, Pen_joinRound, Pen_capButt));
    Path *bevel = stroke(down, pen(200, Pen_joinBevel, Pen_capButt));
    EXPECT_TRUE(inside(round, 1069, -69)); // 97.6 from the joint
    EXPECT_FALSE(inside(bevel, 1069, -69));
    EXPECT_FALSE(inside(round, 1074, -74)); // 104.7
    // The inner side is filled whatever the join.
    EXPECT_TRUE(inside(round, 950, 50));
    EXPECT_TRUE(inside(bevel, 950, 50));
}

// Nearly straight round joins: between two corners a few units apart the
// arc is a straight line, not a whole circle (which rounding could turn the
// arc from one corner to the other into).
TEST_F(Stroke, NearlyStraightRoundJoinsKeepTheBand)
{
    for (int dy : {1, 2, 5, 20, -1, -3, -40}) {
        std::string text = "M 0 0 L 100000 0 L 200000 " + std::to_string(dy);
        Path *out = stroke(text, pen(20000, Pen_joinRound, Pen_capButt));
        for (const Element &e : elementsOf(out))
            EXPECT_NE(e.op, uint32_t(Path_opCubic)) << text;
        for (Point p :
             {Point{100000, 9000}, Point{100000, -9000}, Point{99000, 5000}, Point{101000, -5000},
              Point{100000, 0}, Point{100300, 9500}, Point{99700, -9500}})
            EXPECT_TRUE(inside(out, p.x + 0.5, p.y + 0.5)) << text << " at " << p.x << ", " << p.y;
    }
}

// The inner edges of a join run through the joint: a short piece before a
// sharp turn leaves no notch in the next piece.
TEST_F(Stroke, ShortPieceBeforeASharpTurnLeavesNoNotch)
{
    for (uint32_t join : {Pen_joinMiter, Pen_joinRound, Pen_joinBevel}) {
        Path *out = stroke("M 0 0 L 30 0 L 30 1000", pen(400, join, Pen_capButt));
        EXPECT_TRUE(inside(out, -100, 30)) << join;
        EXPECT_TRUE(inside(out, -160, 5)) << join;
        EXPECT_TRUE(inside(out, 25, 150)) << join;
        EXPECT_FALSE(inside(out, -100, -30)) << join;
    }
    // The same along a tight curve: every point of the band is covered.
    Path *curve = stroke("M 0 0 Q 400 0 0 60", pen(400, Pen_joinBevel, Pen_capButt));
    EXPECT_TRUE(inside(curve, 100, 30));
    EXPECT_TRUE(inside(curve, 150, 30));
}

TEST_F(Stroke, ClosedSquareHasJoinsAndNoCaps)
{
    const char *square = "M 0 0 L 1000 0 L 1000 1000 L 0 1000 Z";
    Path *out = stroke(square, pen(200, Pen_joinMiter, Pen_capRound));
    // Every corner is mitred, the start included; nothing sticks out as a cap.
    for (Point c : {Point{-99, -99}, Point{1099, -99}, Point{1099, 1099}, Point{-99, 1099}})
        EXPECT_TRUE(inside(out, c.x, c.y)) << c.x << ", " << c.y;
    EXPECT_FALSE(inside(out, 500, 500));
    EXPECT_FALSE(inside(out, -101, 500));
    Path *open =
        stroke("M 0 0 L 1000 0 L 1000 1000 L 0 1000 L 0 0", pen(200, Pen_joinMiter, Pen_capButt));
    EXPECT_FALSE(inside(open, -99, -99)) << "an open path's ends are not joined";
    // A close that needs no closing piece joins the last piece to the first.
    Path *back =
        stroke("M 0 0 L 1000 0 L 1000 1000 L 0 1000 L 0 0 Z", pen(200, Pen_joinMiter, Pen_capButt));
    EXPECT_TRUE(inside(back, -99, -99));
}

// Zero-length pieces have no direction: they are left out, so the joins on
// either side of them are the joins of the pieces around them.
TEST_F(Stroke, ZeroLengthPiecesAreLeftOut)
{
    Pen p = pen(200, Pen_joinMiter, Pen_capSquare);
    EXPECT_EQ(words(stroke("M 0 0 L 1000 0 L 1000 0 L 1000 1000", p)),
              words(stroke("M 0 0 L 1000 0 L 1000 1000", p)));
    EXPECT_EQ(words(stroke("M 5 5 L 5 5", p)), std::vector<int32_t>{});
    EXPECT_EQ(words(stroke("M 5 5 Q 5 5 5 5 Z", p)), std::vector<int32_t>{});
}

// A hidden line ends the chain with the end cap; the next piece starts a
// new one with the start cap. A close joins the last piece to the first
// only where they meet at the subpath's start: after a break straight back
// to the start (the last piece already has its cap), or when the first
// piece begins after a hidden line, the ends are capped as an open path's
// are, and the closing line is drawn even when nothing came before it.
TEST_F(Stroke, BreaksAndCloses)
{
    Pen p = pen(100, Pen_joinMiter, Pen_capButt);
    Path *broken = stroke("M 0 0 L 1000 0 H 1000 1000 L 0 1000", p);
    EXPECT_TRUE(inside(broken, 500, 0));
    EXPECT_TRUE(inside(broken, 500, 1000));
    EXPECT_FALSE(inside(broken, 1000, 500)) << "the hidden line is not stroked";

    struct {
        const char *closed, *open;
    } same[] = {
        {"M 0 0 L 1000 0 L 1000 1000 H 0 0 Z", "M 0 0 L 1000 0 L 1000 1000"},
        {"M 0 0 H 1000 0 L 1000 1000 Z", "M 1000 0 L 1000 1000 L 0 0"},
        {"M 0 0 H 1000 0 Z", "M 1000 0 L 0 0"},
        {"M 0 0 L 1000 0 H 1000 1000 L 0 1000 Z", "M 1000 1000 L 0 1000 L 0 0 L 1000 0"},
    };
    for (auto &c : same) {
        Path *closed = stroke(c.closed, p), *open = stroke(c.open, p);
        for (int y = -300; y <= 1300; y += 50)
            for (int x = -300; x <= 1300; x += 50)
                ASSERT_EQ(inside(closed, x + 0.5, y + 0.5), inside(open, x + 0.5, y + 0.5))
                    << c.closed << " at " << x << ", " << y;
    }
}

// Curves wholly beyond the clip rectangle by more than the pen reaches are
// stroked as one straight piece; a curve outside the rectangle but within
// the pen's reach of it is stroked in full, since its stroke shows inside.
TEST_F(Stroke, CurvesBeyondTheClipRectangle)
{
    const Rect clip = {10000, 0, 20000, 10000};
    Pen p = pen(400, Pen_joinRound, Pen_capButt);
    Path *far = stroke("M 0 0 Q 5000 5000 0 10000", p, nullptr, 0x10000, &clip);
    EXPECT_EQ(words(far), words(stroke("M 0 0 L 0 10000", p)));
    Path *cubic =
        stroke("M 30000 0 C 25000 3000 25000 6000 30000 9000", p, nullptr, 0x10000, &clip);
    EXPECT_EQ(words(cubic), words(stroke("M 30000 0 L 30000 9000", p)));
    // Every point 100 units left of the rectangle, with a pen of half width
    // 200: the curve's stroke shows inside, and differs from its chord's.
    const char *near = "M 9900 0 C 9900 3000 5000 6000 0 9000";
    EXPECT_EQ(words(stroke(near, p, nullptr, 0x10000, &clip)), words(stroke(near, p)));
    EXPECT_NE(words(stroke(near, p)), words(stroke("M 9900 0 L 0 9000", p)));
    Path *inside = stroke("M 0 0 Q 30000 5000 0 10000", p, nullptr, 0x10000, &clip);
    EXPECT_EQ(words(inside), words(stroke("M 0 0 Q 30000 5000 0 10000", p)));
}

// Nearly reversing pieces put the miter point far outside the 32-bit
// range; near the edge of the range an ordinary sharp turn does too. Both
// joins are bevels, never a wrapped point.
TEST_F(Stroke, MiterPointOutOfRangeIsABevel)
{
    Pen miter = pen(20000, Pen_joinMiter, Pen_capButt, INT32_MAX);
    Pen bevel = pen(20000, Pen_joinBevel, Pen_capButt);
    const char *reversal = "M 0 0 L 1000000 0 L 0 1";
    EXPECT_EQ(words(stroke(reversal, miter)), words(stroke(reversal, bevel)));

    // A turn of 150 degrees, the joint 2000 units below INT32_MAX: the miter
    // point lies 3700 units to the right of it.
    const int32_t jx = INT32_MAX - 2000;
    Pen sharp = pen(2000, Pen_joinMiter, Pen_capButt, 100000);
    Pen flat = pen(2000, Pen_joinBevel, Pen_capButt);
    auto path = [](int64_t x) {
        return "M " + std::to_string(x - 10000) + " 0 L " + std::to_string(x) + " 0 L " +
               std::to_string(x - 8660) + " 5000";
    };
    EXPECT_EQ(words(stroke(path(jx), sharp)), words(stroke(path(jx), flat)));
    // Away from the edge the same turn is mitred.
    EXPECT_NE(words(stroke(path(1000000), sharp)), words(stroke(path(1000000), flat)));
}

TEST_F(Stroke, JoinBitsThreeAreRefused)
{
    Pen p = pen(100, 0, Pen_capButt);
    p.style |= 3u << Pen_joinShift;
    Path *src = source("M 0 0 L 100 0");
    Path *out = make();
    EXPECT_EQ(Path_stroke(nullptr, src, out, Matrix_identity(), &p, 0x10000, nullptr),
              Res_strokeBadJoin);
    EXPECT_EQ(Path_wordCount(out), 0u);
    Rect r;
    EXPECT_EQ(Path_strokeBounds(nullptr, src, &r, Matrix_identity(), &p), Res_strokeBadJoin);
    EXPECT_EQ(Path_stroke(nullptr, nullptr, out, Matrix_identity(), &p, 0x10000, nullptr),
              Res_nullInput);
    EXPECT_EQ(Path_strokeBounds(nullptr, src, nullptr, Matrix_identity(), &p), Res_nullInput);
}

// An element the path format does not define ends the walk with 259.
TEST_F(Stroke, UndefinedElementsEndTheWalk)
{
    Path *src = source("M 0 0 L 100 0");
    ASSERT_EQ(Path_grow(src, 1), Res_ok);
    *src->write++ = 12; // opcode 12: no such element
    src->count++;
    Path *out = make();
    Pen p = pen(10, Pen_joinMiter, Pen_capButt);
    EXPECT_EQ(Path_stroke(nullptr, src, out, Matrix_identity(), &p, 0x10000, nullptr),
              Res_notImplemented);
    Rect r;
    EXPECT_EQ(Path_strokeBounds(nullptr, src, &r, Matrix_identity(), &p), Res_notImplemented);
    EXPECT_EQ(
        Path_dash(src, out, Matrix_identity(), std::vector<int32_t>{5, 5, -1}.data(), 0x10000),
        Res_notImplemented);
}

// Running out of memory at every allocation in turn: the error comes back,
// the output holds a beginning of the whole outline, and nothing leaks.
TEST_F(Stroke, OutputErrorsEndTheStrokeWithWhatWasWritten)
{
    std::string text = "M 0 0";
    for (int i = 1; i < 200; i++)
        text += " L " + std::to_string(i * 1000) + " " + std::to_string((i % 2) * 3000);
    std::vector<int32_t> dash = {700, 300, -1};
    for (const int32_t *pattern :
         {static_cast<const int32_t *>(nullptr), static_cast<const int32_t *>(dash.data())}) {
        Pen p = pen(100, Pen_joinRound, Pen_capRound);
        p.dash = pattern;
        std::vector<int32_t> full = words(stroke(text, p));
        Path *src = source(text);
        bool done = false;
        for (uint64_t n = 1; !done && n < 200; n++) {
            Path *out = nullptr;
            ASSERT_EQ(Path_create(&out, 0x10000), Res_ok);
            Mem_failAfter(n);
            int r = Path_stroke(nullptr, src, out, Matrix_identity(), &p, 0x10000, nullptr);
            Mem_failAfter(0);
            std::vector<int32_t> got = words(out);
            Path_destroy(out);
            if (r == Res_ok) {
                EXPECT_EQ(got, full);
                done = true;
            } else {
                ASSERT_EQ(r, Res_noMemory);
                ASSERT_LE(got.size(), full.size());
                ASSERT_TRUE(std::equal(got.begin(), got.end(), full.begin()));
            }
        }
        EXPECT_TRUE(done);
    }
    // A packed output path takes no appends.
    Path *packed = source("M 0 0 L 5 5");
    ASSERT_EQ(Path_pack(packed), Res_ok);
    Pen p = pen(100, Pen_joinRound, Pen_capRound);
    EXPECT_EQ(Path_stroke(nullptr, source("M 0 0 L 100 0"), packed, Matrix_identity(), &p, 0x10000,
                          nullptr),
              Res_pathNoCurrentPoint);
}

// The bounds walk gives the box of the outline the stroke builds.
TEST_F(Stroke, BoundsOfTheOutline)
{
    const char *paths[] = {
        "M 0 0 L 1000 0 L 1000 1000 L 0 1000 Z",
        "M 0 0 L 3000 4000 L 6000 -500 L 9000 4000",
        "M 0 0 Q 5000 8000 10000 0 C 12000 -3000 15000 3000 9000 9000",
        "M 0 0 L 8000 300 H 8000 3000 L 200 2500 Z M 20000 0 L 20000 100",
    };
    for (const char *text : paths) {
        for (uint32_t join : {Pen_joinMiter, Pen_joinBevel})
            for (uint32_t cap : {Pen_capButt, Pen_capSquare, Pen_capArrow}) {
                Pen p{style(join, cap, cap), 600, 2000, 500, 900, nullptr};
                Rect want, got = bounds(text, p);
                ASSERT_EQ(Edr_Draw_getBounds2(nullptr, stroke(text, p), &want), Res_ok);
                EXPECT_TRUE(Rect_equal(&got, &want)) << text << " join " << join << " cap " << cap;
            }
        for (uint32_t cap : {Pen_capButt, Pen_capRound}) {
            Pen p = pen(600, Pen_joinRound, cap);
            Rect want, got = bounds(text, p);
            ASSERT_EQ(Edr_Draw_getBounds2(nullptr, stroke(text, p), &want), Res_ok);
            EXPECT_TRUE(got.x0 <= want.x0 && got.y0 <= want.y0 && got.x1 >= want.x1 &&
                        got.y1 >= want.y1)
                << text;
        }
    }
    // A curve spanning more than 2^24 units is bounded by its control
    // polygon and the pen's reach instead of being flattened.
    for (uint32_t join : {Pen_joinMiter, Pen_joinRound}) {
        const char *huge =
            "M 0 0 L 0 -1000 C 0 40000000 30000000 -40000000 33554432 0 Q 0 50000000 -5000 3000 Z";
        Pen p{style(join, Pen_capSquare, Pen_capArrow), 6000, 50000, 4000, 9000, nullptr};
        Rect want, got = bounds(huge, p);
        ASSERT_EQ(Edr_Draw_getBounds2(nullptr, stroke(huge, p), &want), Res_ok);
        EXPECT_TRUE(got.x0 <= want.x0 && got.y0 <= want.y0 && got.x1 >= want.x1 &&
                    got.y1 >= want.y1)
            << join;
    }
    // Nothing drawn: the empty bound.
    Rect r = bounds("M 5 5", pen(100, Pen_joinMiter, Pen_capRound));
    EXPECT_TRUE(Rect_equal(&r, &Rect_emptyBound));
}

// A dashed pen's bounds hold its dashes, whose caps fall anywhere along the
// pieces (here a square cap at a dash end turned by the piece's corner).
TEST_F(Stroke, BoundsOfADashedPenHoldItsDashes)
{
    std::vector<int32_t> pattern = {997, 13, -1};
    const char *texts[] = {"M 0 0 L 1000 0 L 1000 1000", "M 0 0 L 3000 4000 L 6000 0 Z",
                           "M 0 0 Q 3000 9000 7000 0"};
    for (const char *text : texts)
        for (uint32_t cap : {Pen_capButt, Pen_capRound, Pen_capSquare, Pen_capArrow}) {
            Pen p{style(Pen_joinMiter, cap, cap), 400, 4000, 300, 500, pattern.data()};
            Rect want, got = bounds(text, p);
            ASSERT_EQ(Edr_Draw_getBounds2(nullptr, stroke(text, p), &want), Res_ok);
            EXPECT_TRUE(got.x0 <= want.x0 && got.y0 <= want.y0 && got.x1 >= want.x1 &&
                        got.y1 >= want.y1)
                << text << " cap " << cap;
        }
}

// --------------------------------------------------------------- dashes

class Dash : public Stroke {
  protected:
    std::vector<Element> dash(const std::string &text, std::vector<int32_t> pattern,
                              int32_t scale = 0x10000, const Matrix *m = nullptr)
    {
        Path *out = make();
        EXPECT_EQ(Path_dash(source(text), out, m ? m : Matrix_identity(), pattern.data(), scale),
                  Res_ok);
        return elementsOf(out);
    }
    // The elements as text: "M x y", "L x y", "Z".
    static std::string text(const std::vector<Element> &elements)
    {
        std::string s;
        for (const Element &e : elements) {
            s += s.empty() ? "" : " ";
            s += e.op == Path_opMove    ? "M"
                 : e.op == Path_opLine  ? "L"
                 : e.op == Path_opClose ? "Z"
                                        : "?";
            for (int64_t v : e.pts)
                s += " " + std::to_string(v);
        }
        return s;
    }
};

TEST_F(Dash, TenFiveOnThirty)
{
    // Dashes 0-10 and 15-25; gaps 10-15 and 25-30.
    EXPECT_EQ(text(dash("M 0 0 L 30 0", {10, 5, -1})), "M 0 0 L 10 0 M 15 0 L 25 0 M 30 0");
    // Through a matrix: the lengths are measured after it.
    const Matrix twice = {0x20000, 0, 0, 0x20000, 100, 0};
    EXPECT_EQ(text(dash("M 0 0 L 15 0", {10, 5, -1}, 0x10000, &twice)),
              "M 100 0 L 110 0 M 115 0 L 125 0 M 130 0");
    // The dash scale stretches the pattern.
    EXPECT_EQ(text(dash("M 0 0 L 60 0", {10, 5, -1}, 0x20000)),
              "M 0 0 L 20 0 M 30 0 L 50 0 M 60 0");
    // An odd pattern alternates on: 3 on, 3 off, 3 on.
    EXPECT_EQ(text(dash("M 0 0 L 9 0", {3, -1})), "M 0 0 L 3 0 M 6 0 L 9 0");
}

// Scaled lengths keep their fractions from one length to the next: 1.5 and
// 1 give dashes 0-1, 2-4, 5-6, 7-9.
TEST_F(Dash, FractionsCarryOver)
{
    EXPECT_EQ(text(dash("M 0 0 L 10 0", {3, 2, -1}, 0x8000)),
              "M 0 0 L 1 0 M 2 0 L 4 0 M 5 0 L 6 0 M 7 0 L 9 0 M 10 0");
}

TEST_F(Dash, CornersMovesAndHiddenLines)
{
    // The pattern runs on round a corner.
    EXPECT_EQ(text(dash("M 0 0 L 8 0 L 8 20", {10, 5, -1})),
              "M 0 0 L 8 0 L 8 2 M 8 7 L 8 17 M 8 20");
    // A move restarts it; a hidden line goes on with it.
    EXPECT_EQ(text(dash("M 0 0 L 12 0 M 100 0 L 112 0", {10, 5, -1})),
              "M 0 0 L 10 0 M 100 0 L 110 0 M 112 0");
    EXPECT_EQ(text(dash("M 0 0 L 12 0 H 100 0 L 112 0", {10, 5, -1})),
              "M 0 0 L 10 0 M 103 0 L 112 0");
}

// A closed subpath that starts and ends inside a dash: the last dash goes
// on to the end of the first piece, so the two are one dash at the start.
TEST_F(Dash, CloseJoinsTheLastDashToTheFirst)
{
    // Perimeter 40: dashes 0-12, 18-30, 36-40 (and on to 48).
    EXPECT_EQ(text(dash("M 0 0 L 10 0 L 10 10 L 0 10 Z", {12, 6, -1})),
              "M 0 0 L 10 0 L 10 2 M 10 8 L 10 10 L 0 10 M 0 4 L 0 0 L 10 0");
    // Ending in a gap: no join.
    EXPECT_EQ(text(dash("M 0 0 L 10 0 L 10 10 L 0 10 Z", {12, 8, -1})),
              "M 0 0 L 10 0 L 10 2 M 10 10 L 0 10 L 0 8 M 0 0");
    // The stroke then joins at the start corner instead of capping there.
    std::vector<int32_t> pattern = {12, 6, -1};
    Pen p = pen(4, Pen_joinMiter, Pen_capButt);
    p.dash = pattern.data();
    EXPECT_TRUE(inside(stroke("M 0 0 L 10 0 L 10 10 L 0 10 Z", p), -1.5, -1.5));
}

TEST_F(Dash, FirstLengthBelowOneDrawsNothing)
{
    EXPECT_EQ(text(dash("M 0 0 L 30 0", {0, 5, -1})), "");
    EXPECT_EQ(text(dash("M 0 0 L 30 0", {-1})), "");
    std::vector<int32_t> pattern = {0, 5, -1};
    Pen p = pen(4, Pen_joinMiter, Pen_capRound);
    p.dash = pattern.data();
    EXPECT_EQ(words(stroke("M 0 0 L 30 0", p)), std::vector<int32_t>{});
    Rect r = bounds("M 0 0 L 30 0", p);
    EXPECT_TRUE(Rect_equal(&r, &Rect_emptyBound));
}

// A pattern whose scaled period is below one output unit (any pattern with
// a scale of 0 or below) would step along a line without getting anywhere:
// the path is drawn solid instead.
TEST_F(Dash, PeriodBelowOneUnitStrokesSolid)
{
    const char *square = "M 0 0 L 1000 0 L 1000 1000 Z";
    Pen solid = pen(100, Pen_joinMiter, Pen_capSquare);
    std::vector<int32_t> want = words(stroke(square, solid));
    std::vector<int32_t> pattern = {1, 1, -1};
    Pen dashed = solid;
    dashed.dash = pattern.data();
    for (int32_t scale : {0x7FFF, 0x4000, 1, 0, -0x10000, INT32_MIN}) {
        EXPECT_EQ(words(stroke(square, dashed, nullptr, scale)), want) << scale;
        EXPECT_EQ(text(dash(square, pattern, scale)), "M 0 0 L 1000 0 L 1000 1000 L 0 0 Z")
            << scale;
    }
    // A period of exactly one unit dashes.
    EXPECT_NE(words(stroke(square, dashed, nullptr, 0x8000)), want);
}

// Lines longer than 2^31 units step in pieces and keep their places.
TEST_F(Dash, LinesLongerThanTheSignedRange)
{
    const int32_t x0 = INT32_MIN + 1;
    std::string line = "M " + std::to_string(x0) + " 0 L " + std::to_string(INT32_MAX) + " 0";
    const int64_t q = int64_t(1) << 30;
    EXPECT_EQ(text(dash(line, {int32_t(q), int32_t(q), -1})),
              "M " + std::to_string(x0) + " 0 L " + std::to_string(x0 + q) + " 0 M " +
                  std::to_string(x0 + 2 * q) + " 0 L " + std::to_string(x0 + 3 * q) + " 0 M " +
                  std::to_string(INT32_MAX) + " 0");
    // A dash of 3 * 2^30 units is stepped in two.
    EXPECT_EQ(text(dash(line, {int32_t(3 * q / 2), 1, -1}, 0x20000)),
              "M " + std::to_string(x0) + " 0 L " + std::to_string(x0 + 3 * q) + " 0 M " +
                  std::to_string(x0 + 3 * q + 2) + " 0 L " + std::to_string(INT32_MAX) + " 0");
}

} // namespace
