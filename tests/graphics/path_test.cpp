// Vector paths: appends and their states, growth and running out of memory,
// rectangles and arcs against the true ellipse, the packed form (its bit
// layout, its widths, and thousands of random paths packed and unpacked),
// point transforms against a reference, and the copies (trim, clone, embed,
// reserve, transformed copies, translation).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <cstdint>
#include <random>
#include <vector>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/path.h"
#include "tests/support/heap_fixture.h"

namespace {

class PathTest : public LeakCheckedHeapTest<> {
  protected:
    Path *make(int32_t scale = 0x10000)
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, scale), Res_ok);
        paths.push_back(p);
        return p;
    }
    void TearDown() override
    {
        for (Path *p : paths)
            Path_destroy(p);
        LeakCheckedHeapTest<>::TearDown();
    }
    static std::vector<int32_t> words(const Path *p)
    {
        return std::vector<int32_t>(p->buffer, p->write);
    }
    std::vector<Path *> paths;
};

// One element of a plain path: its opcode (low 4 bits) and points.
struct Element {
    uint32_t op;
    std::vector<int32_t> pts;
};

std::vector<Element> elementsOf(const Path *p)
{
    std::vector<Element> out;
    const int32_t *w = p->buffer;
    while (w < p->write) {
        uint32_t n = uint32_t(*w) & 3;
        out.push_back({uint32_t(*w) & 15, std::vector<int32_t>(w + 1, w + 1 + 2 * n)});
        w += 1 + 2 * n;
    }
    return out;
}

TEST_F(PathTest, CreateGivesAnEmptyPathWithRoomFor256Words)
{
    Path *p = make(0x8000);
    EXPECT_EQ(p->capacity, 256u);
    EXPECT_EQ(p->count, 0u);
    EXPECT_EQ(p->state, Path_stateEmpty);
    EXPECT_EQ(p->scale, 0x8000);
    EXPECT_EQ(p->subpathStart, nullptr);
    EXPECT_TRUE(Path_isEmpty(p));
    EXPECT_EQ(Path_wordCount(p), 0u);
    EXPECT_EQ(Path_buffer(p), p->buffer);
    Point pt;
    EXPECT_EQ(Path_currentPoint(p, &pt), 0);
}

TEST_F(PathTest, AppendsWriteOpcodesPointsAndStates)
{
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 1, 2), Res_ok);
    EXPECT_EQ(p->state, Path_stateMove);
    EXPECT_EQ(p->subpathStart, p->buffer + 1);
    ASSERT_EQ(Path_lineTo(p, 3, 4), Res_ok);
    EXPECT_EQ(p->state, Path_stateLine);
    ASSERT_EQ(Path_lineToOp1(p, 5, 6), Res_ok);
    EXPECT_EQ(p->state, Path_stateHidden);
    ASSERT_EQ(Path_quadTo(p, 7, 8, 9, 10), Res_ok);
    EXPECT_EQ(p->state, Path_stateQuad);
    ASSERT_EQ(Path_curveTo(p, 11, 12, 13, 14, 15, 16), Res_ok);
    EXPECT_EQ(p->state, Path_stateCubic);
    Point pt;
    ASSERT_EQ(Path_currentPoint(p, &pt), 1);
    EXPECT_EQ(pt.x, 15);
    EXPECT_EQ(pt.y, 16);
    ASSERT_EQ(Path_close(p), Res_ok);
    EXPECT_EQ(p->state, Path_stateEmpty);
    EXPECT_EQ(Path_currentPoint(p, &pt), 0);
    std::vector<int32_t> want = {9, 1, 2,  5, 3,  4,  1,  5,  6,  6,  7,
                                 8, 9, 10, 7, 11, 12, 13, 14, 15, 16, 4};
    EXPECT_EQ(words(p), want);
    EXPECT_EQ(p->count, 6u);
    EXPECT_FALSE(Path_isEmpty(p));
}

TEST_F(PathTest, MovesAndClosesWithoutACurrentPoint)
{
    // Two moves leave one move with the second point.
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 1, 2), Res_ok);
    ASSERT_EQ(Path_moveTo(p, 3, 4), Res_ok);
    EXPECT_EQ(words(p), (std::vector<int32_t>{9, 3, 4}));
    EXPECT_EQ(p->count, 1u);

    // A move then a close leaves the path as before the move.
    Path *q = make();
    ASSERT_EQ(Path_moveTo(q, 0, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(q, 5, 0), Res_ok);
    ASSERT_EQ(Path_close(q), Res_ok);
    std::vector<int32_t> before = words(q);
    ASSERT_EQ(Path_moveTo(q, 7, 7), Res_ok);
    ASSERT_EQ(Path_close(q), Res_ok);
    EXPECT_EQ(words(q), before);
    EXPECT_EQ(q->count, 3u);
    EXPECT_EQ(q->state, Path_stateEmpty);
    // Closing again without a current point does nothing.
    EXPECT_EQ(Path_close(q), Res_ok);
    EXPECT_EQ(words(q), before);
}

TEST_F(PathTest, DrawingElementsNeedACurrentPoint)
{
    Path *p = make();
    EXPECT_EQ(Path_lineTo(p, 1, 1), Res_pathNoCurrentPoint);
    EXPECT_EQ(Path_lineToOp1(p, 1, 1), Res_pathNoCurrentPoint);
    EXPECT_EQ(Path_quadTo(p, 1, 1, 2, 2), Res_pathNoCurrentPoint);
    EXPECT_EQ(Path_curveTo(p, 1, 1, 2, 2, 3, 3), Res_pathNoCurrentPoint);
    EXPECT_TRUE(Path_isEmpty(p));
    EXPECT_EQ(p->count, 0u);

    // After a close lines are refused until the next move.
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 1, 0), Res_ok);
    ASSERT_EQ(Path_close(p), Res_ok);
    EXPECT_EQ(Path_lineTo(p, 2, 2), Res_pathNoCurrentPoint);
    ASSERT_EQ(Path_moveTo(p, 2, 2), Res_ok);
    EXPECT_EQ(Path_lineTo(p, 3, 3), Res_ok);
}

TEST_F(PathTest, APackedPathTakesNoAppends)
{
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 10, 0), Res_ok);
    ASSERT_EQ(Path_pack(p), Res_ok);
    std::vector<int32_t> packed = words(p);
    Rect r = {0, 0, 10, 10};
    EXPECT_EQ(Path_moveTo(p, 1, 1), Res_pathNoCurrentPoint);
    EXPECT_EQ(Path_lineTo(p, 1, 1), Res_pathNoCurrentPoint);
    EXPECT_EQ(Path_close(p), Res_pathNoCurrentPoint);
    EXPECT_EQ(Path_addArc(p, &r, 10, 5, 0, 5), Res_pathNoCurrentPoint);
    Path_translate(p, 5, 5);
    EXPECT_EQ(words(p), packed);
    EXPECT_EQ(p->state, Path_statePacked);
}

TEST_F(PathTest, GrowthDoublesAndKeepsTheSubpathStart)
{
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    for (int i = 0; i < 84; i++) // 3 + 84 x 3 = 255 words: still fits
        ASSERT_EQ(Path_lineTo(p, i, -i), Res_ok);
    EXPECT_EQ(p->capacity, 256u);
    ASSERT_EQ(Path_moveTo(p, 1000, 2000), Res_ok); // 258 words: one doubling
    EXPECT_EQ(p->capacity, 512u);
    EXPECT_EQ(Path_wordCount(p), 258u);
    ASSERT_NE(p->subpathStart, nullptr);
    EXPECT_EQ(p->subpathStart - p->buffer, 256);
    EXPECT_EQ(p->subpathStart[0], 1000);
    EXPECT_EQ(p->subpathStart[1], 2000);
    EXPECT_EQ(p->buffer[3 * 50 + 1], 49); // element 50 survived the move
}

TEST_F(PathTest, RunningOutOfMemoryKeepsWhatWasAppended)
{
    Path *none = reinterpret_cast<Path *>(1);
    for (uint64_t n = 1; n <= 2; n++) {
        Mem_failAfter(n);
        EXPECT_EQ(Path_create(&none, 0x10000), Res_noMemory);
        EXPECT_EQ(none, nullptr);
    }
    Mem_failAfter(0);

    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    for (int i = 0; i < 84; i++)
        ASSERT_EQ(Path_lineTo(p, i, i), Res_ok);
    std::vector<int32_t> before = words(p);
    Mem_failAfter(1);
    EXPECT_EQ(Path_lineTo(p, 1, 1), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(words(p), before);
    EXPECT_EQ(p->count, 85u);
    EXPECT_EQ(p->capacity, 256u);
    EXPECT_EQ(Path_lineTo(p, 1, 1), Res_ok);
}

TEST_F(PathTest, ResetKeepsTheBuffer)
{
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 1, 1), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 2, 2), Res_ok);
    int32_t *buffer = p->buffer;
    Path_reset(p);
    EXPECT_EQ(p->buffer, buffer);
    EXPECT_TRUE(Path_isEmpty(p));
    EXPECT_EQ(p->state, Path_stateEmpty);
    EXPECT_EQ(p->subpathStart, nullptr);
}

TEST_F(PathTest, AddRect)
{
    Path *p = make();
    Rect r = {1, 2, 30, 40};
    ASSERT_EQ(Path_addRect(p, &r), Res_ok);
    EXPECT_EQ(words(p), (std::vector<int32_t>{9, 1, 2, 5, 30, 2, 5, 30, 40, 5, 1, 40, 4}));
    EXPECT_EQ(p->count, 5u);
    EXPECT_EQ(p->state, Path_stateEmpty);
}

// ------------------------------------------------------------------ arcs

struct ArcCase {
    const char *name;
    Rect box;
    int32_t sx, sy, ex, ey;
    int quarters; // cubic curves expected
};

// The point at parameter t of the cubic whose start is p[-2..-1].
void cubicAt(const int32_t *start, const int32_t *c, double t, double *x, double *y)
{
    double u = 1 - t;
    double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
    *x = b0 * start[0] + b1 * c[0] + b2 * c[2] + b3 * c[4];
    *y = b0 * start[1] + b1 * c[1] + b2 * c[3] + b3 * c[5];
}

TEST_F(PathTest, ArcsFollowTheEllipse)
{
    const int32_t u = 0x10000;
    const ArcCase cases[] = {
        {"quarter of a circle", {-100 * u, -100 * u, 100 * u, 100 * u}, 100 * u, 0, 0, 100 * u, 1},
        {"half of a wide ellipse",
         {-200 * u, -50 * u, 200 * u, 50 * u},
         200 * u,
         0,
         -200 * u,
         0,
         2},
        {"three quarters of a tall ellipse",
         {0, 0, 60 * u, 300 * u},
         60 * u,
         150 * u,
         30 * u,
         0,
         3},
        {"full ellipse from equal directions",
         {-80 * u, -30 * u, 80 * u, 30 * u},
         10 * u,
         10 * u,
         20 * u,
         20 * u,
         4},
        {"small oblique arc",
         {-100 * u, -100 * u, 100 * u, 100 * u},
         100 * u,
         10 * u,
         30 * u,
         90 * u,
         1},
        {"arc across the x axis",
         {-100 * u, -70 * u, 100 * u, 70 * u},
         50 * u,
         -60 * u,
         50 * u,
         60 * u,
         2},
    };
    for (const ArcCase &c : cases) {
        SCOPED_TRACE(c.name);
        Path *p = make();
        ASSERT_EQ(Path_addArc(p, &c.box, c.sx, c.sy, c.ex, c.ey), Res_ok);
        std::vector<Element> el = elementsOf(p);
        ASSERT_EQ(el.size(), size_t(1 + c.quarters));
        EXPECT_EQ(el[0].op, Path_opMove);
        double cx = (double(c.box.x0) + c.box.x1) / 2, cy = (double(c.box.y0) + c.box.y1) / 2;
        double rx = (double(c.box.x1) - c.box.x0) / 2, ry = (double(c.box.y1) - c.box.y0) / 2;
        // Every sampled point lies on the ellipse within the error of the
        // cubic approximation (under 0.03 % of the radius) and rounding.
        const int32_t *prev = el[0].pts.data();
        for (size_t i = 1; i < el.size(); i++) {
            ASSERT_EQ(el[i].op, Path_opCubic);
            for (double t = 0; t <= 1.0; t += 0.125) {
                double x, y;
                cubicAt(prev, el[i].pts.data(), t, &x, &y);
                double e = std::hypot((x - cx) / rx, (y - cy) / ry);
                EXPECT_NEAR(e, 1.0, 1e-3) << "curve " << i << " t " << t;
            }
            prev = el[i].pts.data() + 4;
        }
        // The arc starts and ends in the directions of the given points
        // (seen from the centre in the ellipse's circle space).
        auto angle = [&](double x, double y) { return std::atan2((y - cy) / ry, (x - cx) / rx); };
        auto sameDirection = [&](double a, double b) {
            double d = std::remainder(a - b, 2 * std::numbers::pi);
            return std::fabs(d) < 1e-4;
        };
        EXPECT_TRUE(sameDirection(angle(el[0].pts[0], el[0].pts[1]), angle(c.sx, c.sy)));
        EXPECT_TRUE(sameDirection(angle(prev[0], prev[1]), angle(c.ex, c.ey)));
    }
}

TEST_F(PathTest, AFullEllipseEndsWhereItStarts)
{
    Path *p = make();
    Rect box = {-50 << 16, -20 << 16, 50 << 16, 20 << 16};
    ASSERT_EQ(Path_addArc(p, &box, 50 << 16, 0, 50 << 16, 0), Res_ok);
    std::vector<Element> el = elementsOf(p);
    ASSERT_EQ(el.size(), 5u);
    EXPECT_EQ(el[0].pts, (std::vector<int32_t>{50 << 16, 0}));
    EXPECT_EQ(el[4].pts[4], 50 << 16);
    EXPECT_EQ(el[4].pts[5], 0);
    // The quarter points lie on the axes.
    EXPECT_EQ(el[1].pts[4], 0);
    EXPECT_EQ(el[1].pts[5], 20 << 16);
    EXPECT_EQ(el[2].pts[4], -50 << 16);
    EXPECT_EQ(el[3].pts[5], -20 << 16);
}

TEST_F(PathTest, ArcsRunCounterClockwiseBetweenPointRays)
{
    // The points only give directions from the centre (one lies inside the
    // ellipse, one far outside); the sweep runs counter-clockwise with y up.
    Rect box = {-100, -100, 100, 100};
    Path *p = make();
    ASSERT_EQ(Path_addArc(p, &box, 5, 0, 0, -300), Res_ok);
    std::vector<Element> el = elementsOf(p);
    ASSERT_EQ(el.size(), 4u);
    EXPECT_EQ(el[0].pts, (std::vector<int32_t>{100, 0}));
    const int32_t ends[3][2] = {{0, 100}, {-100, 0}, {0, -100}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(el[1 + i].pts[4], ends[i][0]) << i;
        EXPECT_EQ(el[1 + i].pts[5], ends[i][1]) << i;
    }
    // The same rays the other way round: one quarter from the bottom.
    Path *q = make();
    ASSERT_EQ(Path_addArc(q, &box, 0, -300, 5, 0), Res_ok);
    el = elementsOf(q);
    ASSERT_EQ(el.size(), 2u);
    EXPECT_EQ(el[0].pts, (std::vector<int32_t>{0, -100}));
    EXPECT_EQ(el[1].pts[4], 100);
    EXPECT_EQ(el[1].pts[5], 0);
    // The control points of that quarter bulge toward the lower right.
    EXPECT_GT(el[1].pts[0], 0);
    EXPECT_LT(el[1].pts[3], 0);
}

TEST_F(PathTest, FlatArcsAreLines)
{
    struct Flat {
        const char *name;
        Rect box;
        int32_t sx, sy, ex, ey;
    } cases[] = {
        {"zero width", {5, 0, 5, 100}, 5, 0, 5, 100},
        {"zero height", {0, 7, 100, 7}, 0, 7, 100, 7},
        {"start at the centre", {0, 0, 100, 100}, 50, 50, 100, 50},
        {"end at the centre", {0, 0, 100, 100}, 100, 50, 50, 50},
    };
    for (const Flat &c : cases) {
        SCOPED_TRACE(c.name);
        Path *p = make();
        ASSERT_EQ(Path_addArc(p, &c.box, c.sx, c.sy, c.ex, c.ey), Res_ok);
        EXPECT_EQ(words(p), (std::vector<int32_t>{9, c.sx, c.sy, 5, c.ex, c.ey}));
        // With a current point the arc starts with a line.
        Path *q = make();
        ASSERT_EQ(Path_moveTo(q, 1, 1), Res_ok);
        ASSERT_EQ(Path_addArc(q, &c.box, c.sx, c.sy, c.ex, c.ey), Res_ok);
        EXPECT_EQ(words(q), (std::vector<int32_t>{9, 1, 1, 5, c.sx, c.sy, 5, c.ex, c.ey}));
    }
}

TEST_F(PathTest, ArcsAfterACurrentPointStartWithALine)
{
    Path *p = make();
    Rect box = {-100, -100, 100, 100};
    ASSERT_EQ(Path_moveTo(p, 500, 500), Res_ok);
    ASSERT_EQ(Path_addArc(p, &box, 100, 0, 0, 100), Res_ok);
    std::vector<Element> el = elementsOf(p);
    ASSERT_EQ(el.size(), 3u);
    EXPECT_EQ(el[1].op, Path_opLine);
    EXPECT_EQ(el[1].pts, (std::vector<int32_t>{100, 0}));
    EXPECT_EQ(el[2].op, Path_opCubic);
    EXPECT_EQ(el[2].pts[4], 0);
    EXPECT_EQ(el[2].pts[5], 100);
}

// ------------------------------------------------------------- packing

TEST_F(PathTest, PackedBitLayout)
{
    // move (1, 2): deltas 1, 2 in 4 bits, code 0x19; line (-8, 2): deltas
    // -9, 0 in 8 bits, code 0x25; close: code 0x04; then the zero code.
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 1, 2), Res_ok);
    ASSERT_EQ(Path_lineTo(p, -8, 2), Res_ok);
    ASSERT_EQ(Path_close(p), Res_ok);
    ASSERT_EQ(Path_pack(p), Res_ok);
    EXPECT_EQ(p->state, Path_statePacked);
    EXPECT_EQ(p->count, 3u);
    EXPECT_EQ(p->subpathStart, nullptr);
    EXPECT_EQ(words(p), (std::vector<int32_t>{0x191225F7, 0x00040000}));
    EXPECT_EQ(p->capacity, 2u);
    // Packing again changes nothing.
    ASSERT_EQ(Path_pack(p), Res_ok);
    EXPECT_EQ(words(p), (std::vector<int32_t>{0x191225F7, 0x00040000}));
}

TEST_F(PathTest, PackedWidths)
{
    struct Width {
        int32_t x;
        uint32_t code; // the element's code byte
    } cases[] = {
        {7, 0x19},          {-8, 0x19},      {8, 0x29},         {-9, 0x29},        {127, 0x29},
        {128, 0x39},        {-2048, 0x39},   {2048, 0x49},      {-32768, 0x49},    {32768, 0x69},
        {-(1 << 23), 0x69}, {1 << 23, 0x89}, {INT32_MIN, 0x89}, {INT32_MAX, 0x89},
    };
    for (const Width &c : cases) {
        SCOPED_TRACE(c.x);
        Path *p = make();
        ASSERT_EQ(Path_moveTo(p, c.x, 0), Res_ok);
        ASSERT_EQ(Path_lineTo(p, c.x, 0), Res_ok);
        ASSERT_EQ(Path_pack(p), Res_ok);
        EXPECT_EQ(uint32_t(p->buffer[0]) >> 24, c.code);
        Path *q = make();
        ASSERT_EQ(Path_unpackInto(q, p), Res_ok);
        std::vector<Element> el = elementsOf(q);
        ASSERT_EQ(el.size(), 2u);
        EXPECT_EQ(el[0].pts, (std::vector<int32_t>{c.x, 0}));
        EXPECT_EQ(el[1].pts, (std::vector<int32_t>{c.x, 0}));
        EXPECT_EQ(uint32_t(q->buffer[0]), c.code); // the unpacked opcode keeps the width code
    }
}

TEST_F(PathTest, PackingDropsALoneMoveAndEndsWithAZeroCode)
{
    Path *empty = make();
    ASSERT_EQ(Path_pack(empty), Res_ok);
    EXPECT_EQ(words(empty), (std::vector<int32_t>{0}));

    Path *lone = make();
    ASSERT_EQ(Path_moveTo(lone, 5, 5), Res_ok);
    ASSERT_EQ(Path_pack(lone), Res_ok);
    EXPECT_EQ(words(lone), (std::vector<int32_t>{0}));
    EXPECT_EQ(lone->count, 0u);

    Path *line = make();
    ASSERT_EQ(Path_moveTo(line, 0, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(line, INT32_MIN, INT32_MAX), Res_ok);
    Path_trim(line);
    ASSERT_EQ(line->capacity, 6u);
    ASSERT_EQ(Path_pack(line), Res_ok);
    // move: code 0x19 and two 4-bit zeros; line: code 0x85 in the same
    // word, then one 32-bit field per word; then a word for the zero code.
    EXPECT_EQ(words(line), (std::vector<int32_t>{0x19008500, INT32_MIN, INT32_MAX, 0}));

    // A path whose packed form fills its last word exactly needs a fresh
    // word for the zero code, one more than its plain form: the buffer
    // grows first.
    Path *full = make();
    ASSERT_EQ(Path_moveTo(full, INT32_MIN, INT32_MAX), Res_ok);
    ASSERT_EQ(Path_lineTo(full, 0, 0), Res_ok);
    Path_trim(full);
    ASSERT_EQ(full->capacity, 6u);
    Mem_failAfter(1);
    EXPECT_EQ(Path_pack(full), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(full->state, Path_stateLine);
    EXPECT_EQ(words(full), (std::vector<int32_t>{9, INT32_MIN, INT32_MAX, 5, 0, 0}));
    ASSERT_EQ(Path_pack(full), Res_ok);
    EXPECT_EQ(words(full),
              (std::vector<int32_t>{int32_t(0x89000000), INT32_MIN, INT32_MAX, int32_t(0x85000000),
                                    INT32_MIN, INT32_MIN + 1, 0}));
    EXPECT_EQ(full->capacity, 7u);
}

// A random plain path: moves, lines, hidden lines, curves and closes with
// deltas of random magnitudes (4 to 32 bits).
void randomPath(Path *p, std::mt19937 &rng)
{
    std::uniform_int_distribution<int> kind(0, 5), len(1, 40), bits(1, 32);
    auto coord = [&]() {
        int b = bits(rng);
        uint32_t v = uint32_t(rng());
        if (b < 32)
            v = uint32_t(int32_t(v << (32 - b)) >> (32 - b));
        return int32_t(v);
    };
    int n = len(rng);
    ASSERT_EQ(Path_moveTo(p, coord(), coord()), Res_ok);
    for (int i = 0; i < n; i++) {
        int r = Res_ok;
        switch (kind(rng)) {
        case 0: r = Path_moveTo(p, coord(), coord()); break;
        case 1: r = Path_lineTo(p, coord(), coord()); break;
        case 2: r = Path_lineToOp1(p, coord(), coord()); break;
        case 3: r = Path_quadTo(p, coord(), coord(), coord(), coord()); break;
        case 4: r = Path_curveTo(p, coord(), coord(), coord(), coord(), coord(), coord()); break;
        default: r = Path_close(p); break;
        }
        if (r == Res_pathNoCurrentPoint)
            r = Path_moveTo(p, coord(), coord());
        ASSERT_EQ(r, Res_ok);
    }
}

TEST_F(PathTest, RandomPathsPackAndUnpackExactly)
{
    std::mt19937 rng(20);
    for (int round = 0; round < 3000; round++) {
        Path *p = nullptr;
        ASSERT_EQ(Path_create(&p, 0x10000 + round), Res_ok);
        randomPath(p, rng);
        Path_trim(p); // drops a trailing lone move as the packer does
        std::vector<Element> want = elementsOf(p);
        uint32_t count = p->count;
        uint32_t plainWords = Path_wordCount(p);
        ASSERT_EQ(Path_pack(p), Res_ok);
        ASSERT_LE(Path_wordCount(p), plainWords + 1);

        Path *q = nullptr;
        ASSERT_EQ(Path_create(&q, 0), Res_ok);
        ASSERT_EQ(Path_reserveFor(q, p), Res_ok);
        uint32_t reserved = q->capacity;
        ASSERT_EQ(Path_unpackInto(q, p), Res_ok);
        EXPECT_EQ(q->capacity, reserved); // the reserve was enough
        EXPECT_EQ(q->count, count);
        EXPECT_EQ(q->scale, 0x10000 + round);
        EXPECT_EQ(q->state, Path_stateEmpty);
        std::vector<Element> got = elementsOf(q);
        ASSERT_EQ(got.size(), want.size()) << "round " << round;
        for (size_t i = 0; i < want.size(); i++) {
            ASSERT_EQ(got[i].op, want[i].op) << "round " << round << " element " << i;
            ASSERT_EQ(got[i].pts, want[i].pts) << "round " << round << " element " << i;
        }
        Path_destroy(q);
        Path_destroy(p);
    }
}

TEST_F(PathTest, UnpackIntoItselfAndIntoASmallPath)
{
    Path *p = make();
    Rect box = {-1000, -1000, 1000, 1000};
    ASSERT_EQ(Path_addArc(p, &box, 1000, 0, 1000, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 5, 5), Res_ok);
    std::vector<Element> want = elementsOf(p);
    ASSERT_EQ(Path_pack(p), Res_ok);
    Path *copy = Path_clone(p);
    ASSERT_NE(copy, nullptr);
    paths.push_back(copy);
    ASSERT_EQ(Path_unpackInto(p, p), Res_ok);
    EXPECT_EQ(p->state, Path_stateEmpty);
    std::vector<Element> got = elementsOf(p);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_EQ(got[i].pts, want[i].pts);

    // A destination without room gets a buffer of its own size.
    Path *small = make();
    ASSERT_EQ(Path_moveTo(small, 0, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(small, 1, 1), Res_ok);
    Path_trim(small);
    ASSERT_EQ(small->capacity, 6u);
    ASSERT_EQ(Path_unpackInto(small, copy), Res_ok);
    EXPECT_EQ(small->capacity, Path_wordCount(p));
    got = elementsOf(small);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(got.back().pts, want.back().pts);
    // A plain source is refused.
    EXPECT_EQ(Path_unpackInto(small, p), Res_nullInput);
}

TEST_F(PathTest, AnUnpackThatRunsOutOfMemoryChangesNothing)
{
    Path *p = make();
    for (int i = 0; i < 100; i++) {
        ASSERT_EQ(Path_moveTo(p, i, i), Res_ok);
        ASSERT_EQ(Path_lineTo(p, i + 1, i), Res_ok);
    }
    ASSERT_EQ(Path_pack(p), Res_ok);
    Path *q = make();
    ASSERT_EQ(Path_moveTo(q, 7, 7), Res_ok);
    ASSERT_EQ(Path_lineTo(q, 8, 8), Res_ok);
    Path_trim(q);
    std::vector<int32_t> before = words(q);
    Mem_failAfter(1);
    EXPECT_EQ(Path_unpackInto(q, p), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(words(q), before);
    EXPECT_EQ(q->state, Path_stateLine);
    EXPECT_EQ(Path_unpackInto(q, p), Res_ok);
    EXPECT_EQ(Path_wordCount(q), 600u);
}

TEST_F(PathTest, ADamagedStreamStopsDecoding)
{
    // A code with width nibble 5 (20 bits is no width) ends the stream.
    int32_t stream[] = {0x19115500, 0x00000000};
    Path packed = {stream + 2, stream, nullptr, 2, 2, 0x10000, Path_statePacked};
    Path *q = make();
    ASSERT_EQ(Path_unpackInto(q, &packed), Res_ok);
    EXPECT_EQ(words(q), (std::vector<int32_t>{0x19, 1, 1}));
    // A stream without a zero code ends with its last word; an element cut
    // off by the end is dropped.
    int32_t cut[] = {0x19112900};
    Path shortPath = {cut + 1, cut, nullptr, 1, 2, 0x10000, Path_statePacked};
    ASSERT_EQ(Path_unpackInto(q, &shortPath), Res_ok);
    EXPECT_EQ(words(q), (std::vector<int32_t>{0x19, 1, 1}));
}

// ------------------------------------------------------------ transforms

// x' = tx + ((a*x + c*y + 0x8000) >> 16) exactly, in 128 bits.
int32_t refMap(int32_t t, int32_t p, int32_t x, int32_t q, int32_t y)
{
    __int128 s = __int128(p) * x + __int128(q) * y + 0x8000;
    return int32_t(uint32_t(t) + uint32_t(uint64_t(int64_t(s >> 16))));
}

TEST_F(PathTest, TransformsMatchTheReference)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> small(-(1 << 20), 1 << 20), coord(-(1 << 24), 1 << 24);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int round = 0; round < 400; round++) {
        bool wide = round % 2;
        auto pick = [&]() { return wide ? any(rng) : small(rng); };
        Matrix m = {pick(), pick(), pick(), pick(), pick(), pick()};
        if (round % 4 == 1)
            m.b = m.c = 0; // scale form
        if (round % 4 == 3)
            m.a = m.d = 0; // swap form
        Path *p = nullptr;
        ASSERT_EQ(Path_create(&p, 0x10000), Res_ok);
        ASSERT_EQ(Path_moveTo(p, wide ? any(rng) : coord(rng), coord(rng)), Res_ok);
        ASSERT_EQ(Path_curveTo(p, coord(rng), coord(rng), coord(rng), coord(rng),
                               wide ? any(rng) : coord(rng), any(rng)),
                  Res_ok);
        ASSERT_EQ(Path_close(p), Res_ok);
        std::vector<int32_t> in = words(p);
        ASSERT_EQ(Path_copyTransformed(p, p, &m), Res_ok);
        std::vector<int32_t> out = words(p);
        ASSERT_EQ(out.size(), in.size());
        for (size_t i : {size_t(1), size_t(4), size_t(6), size_t(8)}) {
            int32_t x = in[i], y = in[i + 1];
            EXPECT_EQ(out[i], refMap(m.tx, m.a, x, m.c, y)) << "round " << round;
            EXPECT_EQ(out[i + 1], refMap(m.ty, m.b, x, m.d, y)) << "round " << round;
            if (!wide) {
                // Within 2^53 the double arithmetic is exact too.
                double sx = double(m.a) * x + double(m.c) * y + 32768.0;
                EXPECT_EQ(out[i], int32_t(m.tx + int64_t(std::floor(sx / 65536.0))));
            }
        }
        EXPECT_EQ(out[0], 9);
        EXPECT_EQ(out[3], 7);
        EXPECT_EQ(out[10], 4);
        Path_destroy(p);
    }
}

TEST_F(PathTest, TransformRoundsHalfUp)
{
    // Identity: unchanged. Half a unit: 0x8000 is added before the shift,
    // so +0.5 rounds up and -0.5 rounds up to 0.
    int32_t in[] = {9, 12345, -6789, 5, INT32_MIN, INT32_MAX};
    int32_t out[6];
    Path_transformPoints(in, in + 6, out, Matrix_identity());
    EXPECT_EQ(std::vector<int32_t>(out, out + 6), std::vector<int32_t>(in, in + 6));
    Matrix half = {0x8000, 0, 0, 0x8000, 0, 0};
    int32_t odd[] = {5, 3, -3, 5, 1, -1};
    Path_transformPoints(odd, odd + 6, odd, &half);
    EXPECT_EQ(std::vector<int32_t>(odd, odd + 6), (std::vector<int32_t>{5, 2, -1, 5, 1, 0}));
    // A damaged element at the end is not copied.
    int32_t cut[] = {5, 10, 10, 7, 1, 1, 2};
    int32_t dst[7] = {};
    Path_transformPoints(cut, cut + 7, dst, Matrix_identity());
    EXPECT_EQ(std::vector<int32_t>(dst, dst + 7), (std::vector<int32_t>{5, 10, 10, 0, 0, 0, 0}));
}

TEST_F(PathTest, CopyTransformedIntoAnotherPath)
{
    Path *src = make();
    ASSERT_EQ(Path_moveTo(src, 1 << 16, 2 << 16), Res_ok);
    ASSERT_EQ(Path_lineTo(src, 3 << 16, 4 << 16), Res_ok);
    Matrix m = {2 << 16, 0, 0, 3 << 16, 10, 20};
    Path *dst = make(0);
    ASSERT_EQ(Path_copyTransformed(dst, src, &m), Res_ok);
    EXPECT_EQ(words(dst), (std::vector<int32_t>{9, (2 << 16) + 10, (6 << 16) + 20, 5,
                                                (6 << 16) + 10, (12 << 16) + 20}));
    EXPECT_EQ(dst->state, Path_stateLine);
    EXPECT_EQ(dst->count, 2u);
    EXPECT_EQ(dst->scale, 0x10000);
    EXPECT_EQ(dst->subpathStart, dst->buffer + 1);
    // From the packed form: unpacked, then transformed.
    ASSERT_EQ(Path_pack(src), Res_ok);
    Path *fromPacked = make(0);
    ASSERT_EQ(Path_copyTransformed(fromPacked, src, &m), Res_ok);
    std::vector<Element> el = elementsOf(fromPacked);
    ASSERT_EQ(el.size(), 2u);
    EXPECT_EQ(el[1].pts, (std::vector<int32_t>{(6 << 16) + 10, (12 << 16) + 20}));
    EXPECT_EQ(fromPacked->state, Path_stateEmpty);
}

TEST_F(PathTest, TranslateMovesEveryPoint)
{
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    ASSERT_EQ(Path_quadTo(p, 1, 2, 3, 4), Res_ok);
    ASSERT_EQ(Path_close(p), Res_ok);
    Path_translate(p, 10, INT32_MAX);
    EXPECT_EQ(words(p),
              (std::vector<int32_t>{9, 10, INT32_MAX, 6, 11, INT32_MIN + 1, 13, INT32_MIN + 3, 4}));
}

// ------------------------------------------------------------- copies

TEST_F(PathTest, TrimDropsALoneMoveAndShrinks)
{
    Path *p = make();
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 1, 1), Res_ok);
    ASSERT_EQ(Path_moveTo(p, 2, 2), Res_ok);
    Path_trim(p);
    EXPECT_EQ(words(p), (std::vector<int32_t>{9, 0, 0, 5, 1, 1}));
    EXPECT_EQ(p->count, 2u);
    EXPECT_EQ(p->state, Path_stateEmpty);
    EXPECT_EQ(p->capacity, 6u);
    // A failed shrink keeps the larger buffer.
    ASSERT_EQ(Path_moveTo(p, 3, 3), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 4, 4), Res_ok);
    EXPECT_EQ(p->capacity, 256u);
    uint32_t cap = p->capacity;
    Mem_failAfter(1);
    Path_trim(p);
    Mem_failAfter(0);
    EXPECT_EQ(p->capacity, cap);
    EXPECT_EQ(Path_wordCount(p), 12u);
    Path_trim(nullptr);
}

TEST_F(PathTest, CloneEmbedAndReserve)
{
    Path *p = make(0x20000);
    ASSERT_EQ(Path_moveTo(p, 5, 6), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 7, 8), Res_ok);
    Path *c = Path_clone(p);
    ASSERT_NE(c, nullptr);
    paths.push_back(c);
    EXPECT_EQ(words(c), words(p));
    EXPECT_NE(c->buffer, p->buffer);
    EXPECT_EQ(c->capacity, 6u);
    EXPECT_EQ(c->subpathStart, c->buffer + 1);
    EXPECT_EQ(c->scale, 0x20000);
    EXPECT_EQ(c->state, Path_stateLine);
    // The clone grows like any path.
    EXPECT_EQ(Path_lineTo(c, 9, 9), Res_ok);

    Path *e = make();
    Path *emptyClone = Path_clone(e);
    ASSERT_NE(emptyClone, nullptr);
    EXPECT_EQ(emptyClone->capacity, 1u);
    Path_destroy(emptyClone);
    Mem_failAfter(2);
    EXPECT_EQ(Path_clone(p), nullptr);
    Mem_failAfter(0);

    EXPECT_EQ(Path_embeddedBytes(p), sizeof(Path) + 24);
    alignas(Path) unsigned char block[sizeof(Path) + 24];
    Path_embed(block, p);
    const Path *em = reinterpret_cast<const Path *>(block);
    EXPECT_EQ(em->buffer, reinterpret_cast<const int32_t *>(em + 1));
    EXPECT_EQ(words(em), words(p));
    EXPECT_EQ(em->subpathStart, em->buffer + 1);
    EXPECT_EQ(em->capacity, 6u);
    EXPECT_EQ(em->count, 2u);

    // Reserve: the source's words, ten times them for a packed source.
    Path *d = make();
    Path_trim(d);
    ASSERT_EQ(Path_reserveFor(d, p), Res_ok);
    EXPECT_EQ(d->capacity, 256u); // already enough
    ASSERT_EQ(Path_pack(p), Res_ok);
    Path *big = make();
    for (int i = 0; i < 200; i++)
        ASSERT_EQ(Path_moveTo(big, i, i) | Path_lineTo(big, -i, i), Res_ok);
    ASSERT_EQ(Path_pack(big), Res_ok);
    uint32_t packedWords = Path_wordCount(big);
    ASSERT_EQ(Path_reserveFor(d, big), Res_ok);
    EXPECT_EQ(d->capacity, packedWords * 10);
}

} // namespace
