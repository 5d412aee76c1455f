// Shape geometry: the telling preset outlines worked out by hand (the
// triangle, the rounded rectangle's 0.4477 control distance, the block
// arrows with and without adjusts, the ellipse table, the 5-point star),
// flips that mirror every outline, the stars, types without an outline,
// custom geometry (segment kinds in the top 3 bits, long paths, 32-bit
// vertices, the end entry), path mapping from the 21600 space, mirrored
// arcs, shade sub-paths and running out of memory.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <vector>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/path.h"
#include "office/shape/geometry.h"
#include "tests/support/heap_fixture.h"

namespace {

struct Element {
    uint32_t op;
    std::vector<int32_t> pts;
    bool operator==(const Element &) const = default;
};

std::vector<Element> elementsOf(const Path *p)
{
    std::vector<Element> out;
    const int32_t *w = Path_buffer(p), *end = w + Path_wordCount(p);
    while (w < end) {
        uint32_t n = uint32_t(*w) & 3;
        out.push_back({uint32_t(*w) & 15, std::vector<int32_t>(w + 1, w + 1 + 2 * n)});
        w += 1 + 2 * n;
    }
    return out;
}

Element M(int32_t x, int32_t y)
{
    return {Path_opMove, {x, y}};
}
Element L(int32_t x, int32_t y)
{
    return {Path_opLine, {x, y}};
}
Element B(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f)
{
    return {Path_opCubic, {a, b, c, d, e, f}};
}
Element Z()
{
    return {Path_opClose, {}};
}

// A property set of simple values and arrays, as the accessor sees it.
struct FakeProps {
    std::map<uint32_t, uint32_t> values;
    std::map<uint32_t, std::vector<uint8_t>> arrays;
    std::map<uint32_t, int32_t> sizes;

    static int value(const void *set, uint32_t id, uint32_t *out)
    {
        const FakeProps *p = static_cast<const FakeProps *>(set);
        auto it = p->values.find(id);
        if (it == p->values.end())
            return 0;
        *out = it->second;
        return 1;
    }
    static int array(const void *set, uint32_t id, ShapeArray *out)
    {
        const FakeProps *p = static_cast<const FakeProps *>(set);
        auto it = p->arrays.find(id);
        if (it == p->arrays.end())
            return 0;
        int32_t size = p->sizes.at(id);
        *out = ShapeArray{int32_t(it->second.size() / size_t(size)), size, it->second.data()};
        return 1;
    }
    void vertices16(const std::vector<std::pair<uint16_t, uint16_t>> &v)
    {
        std::vector<uint8_t> &b = arrays[ShapeProp_vertices];
        for (auto [x, y] : v)
            b.insert(b.end(), {uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)});
        sizes[ShapeProp_vertices] = 4;
    }
    void vertices32(const std::vector<std::pair<int32_t, int32_t>> &v)
    {
        std::vector<uint8_t> &b = arrays[ShapeProp_vertices];
        for (auto [x, y] : v)
            for (uint32_t w : {uint32_t(x), uint32_t(y)})
                b.insert(b.end(),
                         {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)});
        sizes[ShapeProp_vertices] = 8;
    }
    void segments(const std::vector<uint16_t> &s)
    {
        std::vector<uint8_t> &b = arrays[ShapeProp_segments];
        for (uint16_t e : s)
            b.insert(b.end(), {uint8_t(e), uint8_t(e >> 8)});
        sizes[ShapeProp_segments] = 2;
    }
};

class ShapeGeometryTest : public LeakCheckedHeapTest<> {
  protected:
    void TearDown() override
    {
        for (Path *p : paths)
            Path_destroy(p);
        ShadePathList_free(shades);
        LeakCheckedHeapTest<>::TearDown();
    }
    Path *make()
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, 0x10000), Res_ok);
        paths.push_back(p);
        return p;
    }
    ShapeGeom shape(uint32_t type, const FakeProps *props = nullptr, uint32_t flags = 0)
    {
        return ShapeGeom{type, flags, {props ? props : &empty, FakeProps::value, FakeProps::array}};
    }
    std::vector<Element> build(uint32_t type, int32_t w, int32_t h,
                               const FakeProps *props = nullptr, uint32_t flags = 0)
    {
        Path *p = make();
        ShapeGeom s = shape(type, props, flags);
        EXPECT_EQ(Shape_buildPath(nullptr, p, &s, w, h, &shades), Res_ok);
        return elementsOf(p);
    }
    FakeProps empty;
    std::vector<Path *> paths;
    ShadePath *shades = nullptr;
};

TEST_F(ShapeGeometryTest, TrianglesAndRectanglesByHand)
{
    EXPECT_EQ(build(5, 1000, 600), (std::vector<Element>{M(0, 0), L(1000, 0), L(500, 600), Z()}));
    FakeProps apex;
    apex.values[ShapeProp_adjust1] = 5400;
    EXPECT_EQ(build(5, 1000, 600, &apex),
              (std::vector<Element>{M(0, 0), L(1000, 0), L(250, 600), Z()}));
    EXPECT_EQ(build(1, 300, 200),
              (std::vector<Element>{M(0, 0), L(300, 0), L(300, 200), L(0, 200), Z()}));
    EXPECT_EQ(build(6, 300, 200), (std::vector<Element>{M(0, 0), L(300, 0), L(0, 200), Z()}));
    // A closed rectangle, then two open vertical lines at 1/8 and 7/8.
    EXPECT_EQ(build(112, 800, 100),
              (std::vector<Element>{M(0, 0), L(800, 0), L(800, 100), L(0, 100), Z(), M(100, 0),
                                    L(100, 100), M(700, 0), L(700, 100)}));
    // A box of width 0 builds a degenerate outline without failing.
    EXPECT_EQ(build(1, 0, 200),
              (std::vector<Element>{M(0, 0), L(0, 0), L(0, 200), L(0, 200), Z()}));
}

TEST_F(ShapeGeometryTest, RoundRectangleCornersUseTheControlDistance)
{
    // Default adjust 3600 of the shorter side 1080: radius 180; the control
    // points lie 180 x 0.447715 = 80 from each corner.
    EXPECT_EQ(
        build(2, 2160, 1080),
        (std::vector<Element>{M(2160, 900), B(2160, 1000, 2080, 1080, 1980, 1080), L(180, 1080),
                              B(80, 1080, 0, 1000, 0, 900), L(0, 180), B(0, 80, 80, 0, 180, 0),
                              L(1980, 0), B(2080, 0, 2160, 80, 2160, 180), Z()}));
    // A tall box takes the radius from its width.
    std::vector<Element> tall = build(2, 600, 6000);
    ASSERT_GE(tall.size(), 2u);
    EXPECT_EQ(tall[0], M(600, 6000 - 100));
    EXPECT_EQ(tall[1], B(600, 6000 - 44, 600 - 44, 6000, 500, 6000));
    // 7511415 / 2^24 is the 0.4477 control distance.
    EXPECT_NEAR(7511415.0 / 16777216.0, 0.4477, 1e-4);
}

TEST_F(ShapeGeometryTest, BlockArrowsWithAndWithoutAdjusts)
{
    EXPECT_EQ(build(13, 400, 200),
              (std::vector<Element>{M(400, 100), L(300, 0), L(300, 50), L(0, 50), L(0, 150),
                                    L(300, 150), L(300, 200), Z()}));
    EXPECT_EQ(build(66, 400, 200),
              (std::vector<Element>{M(0, 100), L(100, 0), L(100, 50), L(400, 50), L(400, 150),
                                    L(100, 150), L(100, 200), Z()}));
    FakeProps adj;
    adj.values[ShapeProp_adjust1] = 10800;
    adj.values[ShapeProp_adjust2] = 2700;
    EXPECT_EQ(build(13, 400, 200, &adj),
              (std::vector<Element>{M(400, 100), L(200, 0), L(200, 25), L(0, 25), L(0, 175),
                                    L(200, 175), L(200, 200), Z()}));
    EXPECT_EQ(build(66, 400, 200, &adj),
              (std::vector<Element>{M(0, 100), L(200, 0), L(200, 25), L(400, 25), L(400, 175),
                                    L(200, 175), L(200, 200), Z()}));
    // Only the second adjust given: the shaft keeps its default length.
    FakeProps second;
    second.values[ShapeProp_adjust2] = 0;
    EXPECT_EQ(build(13, 400, 200, &second)[2], L(300, 0));
}

TEST_F(ShapeGeometryTest, EllipseTableIsFourOpenQuarters)
{
    const int32_t one = 0x1000000;
    for (uint32_t type : {3u, 120u}) {
        SCOPED_TRACE(type);
        std::vector<Element> el = build(type, one, one);
        ASSERT_EQ(el.size(), 5u);
        EXPECT_EQ(el[0], M(0, one / 2));
        const int32_t ends[4][2] = {{one / 2, 0}, {one, one / 2}, {one / 2, one}, {0, one / 2}};
        for (int i = 0; i < 4; i++) {
            ASSERT_EQ(el[1 + i].op, Path_opCubic);
            EXPECT_EQ(el[1 + i].pts[4], ends[i][0]);
            EXPECT_EQ(el[1 + i].pts[5], ends[i][1]);
        }
        // The first control point lies 0.5523 of the radius from the start.
        EXPECT_NEAR(double(el[1].pts[1]) / one, 0.5 - 0.5523 / 2, 1e-4);
        // The midpoint of each quarter lies on the circle.
        const int32_t *prev = el[0].pts.data();
        for (int i = 1; i <= 4; i++) {
            const int32_t *c = el[i].pts.data();
            double x = (prev[0] + 3.0 * c[0] + 3.0 * c[2] + c[4]) / 8 / one - 0.5;
            double y = (prev[1] + 3.0 * c[1] + 3.0 * c[3] + c[5]) / 8 / one - 0.5;
            EXPECT_NEAR(std::hypot(x, y), 0.5, 2e-4);
            prev = c + 4;
        }
    }
    // The cross of type 124 follows the ellipse.
    std::vector<Element> cross = build(124, 100, 100);
    ASSERT_EQ(cross.size(), 9u);
    EXPECT_EQ(cross[5], M(0, 50));
    EXPECT_EQ(cross[8], L(50, 100));
}

TEST_F(ShapeGeometryTest, FivePointStarTable)
{
    std::vector<Element> el = build(12, 10000, 10000);
    ASSERT_EQ(el.size(), 11u);
    EXPECT_EQ(el[0], M(5000, 10000));
    EXPECT_EQ(el[10], Z());
    const double want[10][2] = {{0.5, 1},    {0.6187, 0.6187}, {1, 0.6187}, {0.6875, 0.3812},
                                {0.8, 0},    {0.5, 0.2312},    {0.2, 0},    {0.3125, 0.3812},
                                {0, 0.6187}, {0.3812, 0.6187}};
    for (int i = 0; i < 10; i++) {
        EXPECT_NEAR(el[i].pts[0], want[i][0] * 10000, 1.0) << i;
        EXPECT_NEAR(el[i].pts[1], want[i][1] * 10000, 1.0) << i;
    }
}

TEST_F(ShapeGeometryTest, SealsAlternateOuterAndInnerPoints)
{
    struct Seal {
        uint32_t type, points;
    } seals[] = {{187, 4}, {58, 8}, {59, 16}, {92, 24}, {60, 32}};
    const int32_t w = 21600, h = 10800;
    for (const Seal &s : seals) {
        SCOPED_TRACE(s.type);
        std::vector<Element> el = build(s.type, w, h);
        ASSERT_EQ(el.size(), 2 * s.points + 1);
        EXPECT_EQ(el[0], M(w / 2, h));
        EXPECT_EQ(el.back(), Z());
        const double inner = Shape_defaultAdjust(s.type);
        for (uint32_t k = 0; k < 2 * s.points; k++) {
            double a = (90.0 + 180.0 * k / s.points) * std::numbers::pi / 180.0;
            double rx = k % 2 ? inner : w / 2.0, ry = k % 2 ? inner / 2 : h / 2.0;
            EXPECT_NEAR(el[k].pts[0], w / 2 + rx * std::cos(a), 1.5) << k;
            EXPECT_NEAR(el[k].pts[1], h / 2 + ry * std::sin(a), 1.5) << k;
        }
    }
}

TEST_F(ShapeGeometryTest, FlipsMirrorEveryOutline)
{
    FakeProps custom;
    custom.vertices16({{0, 0}, {21600, 5000}, {3000, 21600}, {100, 200}});
    custom.segments({0x4000, 0x0002, 0x2001, 0x6001, 0x8000});
    struct Case {
        uint32_t type;
        const FakeProps *props;
    } cases[] = {{1, nullptr},   {2, nullptr},   {3, nullptr},  {5, nullptr},
                 {13, nullptr},  {66, nullptr},  {12, nullptr}, {58, nullptr},
                 {187, nullptr}, {101, nullptr}, {0, &custom}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        std::vector<Element> plain = build(c.type, 3000, 1700, c.props);
        ASSERT_FALSE(plain.empty());
        struct Flip {
            uint32_t flags;
            int sx, sy;
        } flips[] = {{ShapeFlag_flipH, -1, 1},
                     {ShapeFlag_flipV, 1, -1},
                     {ShapeFlag_flipH | ShapeFlag_flipV, -1, -1}};
        for (const Flip &f : flips) {
            std::vector<Element> want = plain;
            for (Element &e : want)
                for (size_t i = 0; i < e.pts.size(); i++)
                    e.pts[i] *= i % 2 ? f.sy : f.sx;
            EXPECT_EQ(build(c.type, 3000, 1700, c.props, f.flags), want) << "flags " << f.flags;
        }
    }
}

TEST_F(ShapeGeometryTest, TypesWithoutAnOutlineBuildNothing)
{
    std::vector<uint32_t> none = {14, 17, 18, 100, 129, 203, 500, 0xFFFFFFFF};
    for (uint32_t t = 24; t <= 31; t++)
        none.push_back(t);
    for (uint32_t t = 136; t <= 175; t++)
        none.push_back(t);
    for (uint32_t t : none) {
        EXPECT_TRUE(build(t, 100, 100).empty()) << t;
        EXPECT_EQ(Shape_hasNoOutline(t), t <= 202) << t;
    }
    // Every other preset type builds without failing.
    for (uint32_t t = 0; t <= 202; t++)
        build(t, 1000, 700);
}

TEST_F(ShapeGeometryTest, AdjustDefaults)
{
    const std::pair<uint32_t, int32_t> cases[] = {
        {1, 10800},  {2, 3600},   {21, 3600},  {189, 1350}, {200, 1350}, {188, 1800},
        {60, 2700},  {7, 5400},   {183, 5400}, {107, 5505}, {182, 6480}, {187, 8100},
        {89, 9257},  {91, 15120}, {94, 16200}, {96, 17520}, {65, 19000}, {95, int32_t(0xFF4C0000u)},
        {201, 10800}};
    for (auto [type, value] : cases)
        EXPECT_EQ(Shape_defaultAdjust(type), value) << type;
    EXPECT_EQ(Shape_scaleAdjust(21600, -300), -300);
    EXPECT_EQ(Shape_scaleAdjust(0x7FFFFFFF, 21600), 0x7FFFFFFF);
    EXPECT_EQ(Shape_scaleFraction(0x800000, 1001), 500);
}

TEST_F(ShapeGeometryTest, CustomPathsFromVerticesAndSegments)
{
    FakeProps p;
    // Geometry box (0, 0)-(100, 100): y grows downward in the geometry and
    // upward in the box.
    p.values[ShapeProp_geoRight] = 100;
    p.values[ShapeProp_geoBottom] = 100;
    p.vertices16(
        {{0, 0}, {100, 0}, {100, 100}, {50, 100}, {0, 50}, {0, 100}, {20, 20}, {40, 40}, {60, 60}});
    // lines (start, two lines), one curve, close, move, end; the vertex
    // after the end entry is never read.
    p.segments({0x0002, 0x2001, 0x6001, 0x4000, 0x8000, 0x0001});
    EXPECT_EQ(build(0, 1000, 2000, &p),
              (std::vector<Element>{M(0, 2000), L(1000, 2000), L(1000, 0), B(500, 0, 0, 1000, 0, 0),
                                    Z(), M(200, 1600)}));

    // A box origin moves the vertices; an empty side maps to 0.
    FakeProps q;
    q.values[ShapeProp_geoLeft] = 10;
    q.values[ShapeProp_geoRight] = 10;
    q.values[ShapeProp_geoTop] = 0;
    q.values[ShapeProp_geoBottom] = 200;
    q.vertices16({{10, 0}, {30, 100}});
    q.segments({0x0001});
    EXPECT_EQ(build(0, 500, 400, &q), (std::vector<Element>{M(0, 400), L(0, 200)}));
}

TEST_F(ShapeGeometryTest, CustomPathsStopCleanly)
{
    // Missing vertices or segments build nothing.
    FakeProps noSeg;
    noSeg.vertices16({{0, 0}, {10, 10}});
    EXPECT_TRUE(build(0, 100, 100, &noSeg).empty());
    FakeProps noVert;
    noVert.segments({0x0001});
    EXPECT_TRUE(build(0, 100, 100, &noVert).empty());
    // Vertices that run out end the outline with success.
    FakeProps shortOf;
    shortOf.vertices16({{0, 0}, {21600, 0}});
    shortOf.segments({0x0005, 0x6001});
    EXPECT_EQ(build(0, 100, 100, &shortOf), (std::vector<Element>{M(0, 100), L(100, 100)}));
    // Kinds without geometry (escapes and the like) are skipped.
    FakeProps escape;
    escape.vertices16({{0, 0}, {21600, 0}});
    escape.segments({0xA004, 0x0001});
    EXPECT_EQ(build(0, 100, 100, &escape), (std::vector<Element>{M(0, 100), L(100, 100)}));
}

TEST_F(ShapeGeometryTest, CustomSegmentsCountInTheLow13Bits)
{
    // 300 points in one line segment: count 299 = 0x12B. Read as "low byte
    // count, high byte kind" this would be 43 points of an unknown kind.
    FakeProps p;
    std::vector<std::pair<uint16_t, uint16_t>> v;
    for (int i = 0; i < 300; i++)
        v.push_back({uint16_t(i * 72), uint16_t(i % 2 ? 21600 : 0)});
    p.vertices16(v);
    p.segments({0x012B, 0x6001, 0x8000});
    std::vector<Element> el = build(0, 21600, 21600, &p);
    ASSERT_EQ(el.size(), 301u);
    EXPECT_EQ(el[0], M(0, 21600));
    EXPECT_EQ(el[299], L(299 * 72, 0));
    EXPECT_EQ(el[300], Z());
    // A curve segment of 100 curves: 0x2064.
    FakeProps c;
    std::vector<std::pair<uint16_t, uint16_t>> cv(301, {100, 100});
    c.vertices16(cv);
    c.segments({0x2064});
    EXPECT_EQ(build(0, 21600, 21600, &c).size(), 101u);
}

TEST_F(ShapeGeometryTest, CustomVerticesOfEightBytesAreSigned32Bit)
{
    FakeProps p;
    p.values[ShapeProp_geoLeft] = uint32_t(-100000);
    p.values[ShapeProp_geoTop] = uint32_t(-100000);
    p.values[ShapeProp_geoRight] = 100000;
    p.values[ShapeProp_geoBottom] = 100000;
    p.vertices32({{-100000, -100000}, {100000, 100000}, {70000, -50000}});
    p.segments({0x0002});
    EXPECT_EQ(build(0, 2000, 4000, &p),
              (std::vector<Element>{M(0, 4000), L(2000, 0), L(1700, 3000)}));
}

TEST_F(ShapeGeometryTest, ScalePathMapsSourcesIntoTheBox)
{
    auto run = [&](uint32_t source, int swap, std::vector<std::pair<int32_t, int32_t>> in,
                   int32_t w, int32_t h) {
        Path *p = make();
        bool first = true;
        for (auto [x, y] : in) {
            EXPECT_EQ(first ? Path_moveTo(p, x, y) : Path_lineTo(p, x, y), Res_ok);
            first = false;
        }
        EXPECT_EQ(Shape_scalePath(nullptr, p, w, h, source, swap), Res_ok);
        std::vector<std::pair<int32_t, int32_t>> out;
        for (const Element &e : elementsOf(p))
            out.push_back({e.pts[0], e.pts[1]});
        return out;
    };
    using V = std::vector<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(run(ShapeSource_square, 0, {{0, 0}, {21600, 21600}, {10800, 5400}}, 400, 200),
              (V{{0, 0}, {400, 200}, {200, 50}}));
    // The swap turns the y-down square into the y-up box.
    EXPECT_EQ(run(ShapeSource_square, 1, {{0, 0}, {21600, 21600}, {10800, 5400}}, 400, 200),
              (V{{0, 200}, {400, 0}, {200, 150}}));
    EXPECT_EQ(run(ShapeSource_centred, 0, {{-10800, -10800}, {10800, 10800}, {0, 0}}, 400, 200),
              (V{{0, 0}, {400, 200}, {200, 100}}));
    EXPECT_EQ(run(ShapeSource_bounds, 0, {{50, 10}, {150, 60}}, 1000, 500),
              (V{{0, 0}, {1000, 500}}));
    EXPECT_EQ(run(ShapeSource_bounds, 1, {{50, 10}, {150, 60}}, 1000, 500),
              (V{{0, 500}, {1000, 0}}));
    // A flat source scales that axis to 0.
    EXPECT_EQ(run(ShapeSource_bounds, 0, {{50, 10}, {150, 10}}, 1000, 500), (V{{0, 0}, {1000, 0}}));
}

TEST_F(ShapeGeometryTest, ArcsRunCounterClockwiseUnlessMirrored)
{
    const Rect box = {-1000, -500, 1000, 500};
    for (int mirrored : {0, 1}) {
        SCOPED_TRACE(mirrored);
        Path *p = make();
        // From the ray through (2000, 0) to the ray through (-3, 0): half
        // an ellipse over the top, or with mirroring under the bottom.
        ASSERT_EQ(Shape_addArc(p, &box, 2000, 0, -3, 0, mirrored), Res_ok);
        std::vector<Element> el = elementsOf(p);
        ASSERT_EQ(el.size(), 3u);
        EXPECT_EQ(el[0], M(1000, 0));
        EXPECT_EQ(el[1].pts[4], 0);
        EXPECT_EQ(el[1].pts[5], mirrored ? -500 : 500);
        EXPECT_EQ(el[2].pts[4], -1000);
        EXPECT_EQ(el[2].pts[5], 0);
    }
    // Mirroring leaves what the path held before the arc in place.
    Path *q = make();
    ASSERT_EQ(Path_moveTo(q, 7, 9), Res_ok);
    ASSERT_EQ(Shape_addArc(q, &box, 0, 500, 1000, 0, 1), Res_ok);
    std::vector<Element> el = elementsOf(q);
    ASSERT_EQ(el.size(), 3u);
    EXPECT_EQ(el[0], M(7, 9));
    EXPECT_EQ(el[1], L(0, 500));
    EXPECT_EQ(el[2].pts[4], 1000); // a quarter clockwise: top to right
    EXPECT_EQ(el[2].pts[5], 0);
}

TEST_F(ShapeGeometryTest, ShadePathsAndSmallHelpers)
{
    Path *a = Shape_addShadePath(&shades, ShadePath_shade, 72089);
    Path *b = Shape_addShadePath(&shades, ShadePath_line, 0xFFFFFFFF);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(shades->path, b);
    EXPECT_EQ(shades->kind, uint32_t(ShadePath_line));
    EXPECT_EQ(shades->next->path, a);
    EXPECT_EQ(shades->next->value, 72089u);
    EXPECT_EQ(shades->next->next, nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(Shape_addShadePath(&shades, 0, 0), nullptr);
    Mem_failAfter(2);
    EXPECT_EQ(Shape_addShadePath(&shades, 0, 0), nullptr);
    Mem_failAfter(0);
    EXPECT_EQ(shades->path, b);

    const int32_t xs[] = {10, 20, 30}, ys[] = {1, 2, 3, 4};
    int32_t pt[2];
    Shape_pickPoint(pt, xs, ys, 0x23);
    EXPECT_EQ(pt[0], 30);
    EXPECT_EQ(pt[1], 4);
    int32_t u = 1, v = 2;
    Int_swap(&u, &v);
    EXPECT_EQ(u, 2);
    EXPECT_EQ(v, 1);
}

TEST_F(ShapeGeometryTest, RunningOutOfMemoryFailsCleanly)
{
    FakeProps p;
    std::vector<std::pair<uint16_t, uint16_t>> v;
    for (int i = 0; i < 400; i++)
        v.push_back({uint16_t(i * 50), uint16_t(i * 7)});
    p.vertices16(v);
    p.segments({0x018F, 0x6001});
    ShapeGeom s = shape(0, &p);
    for (uint64_t n = 1;; n++) {
        Path *path = nullptr;
        ASSERT_EQ(Path_create(&path, 0x10000), Res_ok);
        Mem_failAfter(n);
        int err = Shape_buildPath(nullptr, path, &s, 1000, 1000, &shades);
        Mem_failAfter(0);
        Path_destroy(path);
        if (err == Res_ok)
            break;
        ASSERT_EQ(err, Res_noMemory);
        ASSERT_LT(n, 100u);
    }
}

} // namespace
