// Path bounding boxes: random quadratic and cubic paths, with and without a
// matrix, against the exact curve extrema of
// tests/fixtures/pathbounds/make_bounds_refs.py; a single move, an empty
// path, close elements, codes the path format does not define, and the
// quadratic flattening into a growing box.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "graphics/pathbounds.h"

namespace {

Path plainPath(std::vector<int32_t> &words)
{
    Path p = {};
    p.buffer = words.data();
    p.write = words.data() + words.size();
    p.capacity = static_cast<uint32_t>(words.size());
    p.scale = 0x10000;
    p.state = 3;
    return p;
}

struct BoundsCase {
    bool hasMatrix = false;
    Matrix m{};
    std::vector<int32_t> words;
    double exact[4];
    std::string line;
};

std::vector<BoundsCase> loadCases()
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/pathbounds/bounds_refs.txt");
    std::vector<BoundsCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        BoundsCase c;
        c.line = line;
        std::string part[3];
        std::istringstream parts(line);
        for (std::string &p : part)
            std::getline(parts, p, ';');
        std::istringstream m(part[0]);
        std::string first;
        m >> first;
        if (first != "none") {
            c.hasMatrix = true;
            c.m.a = std::stoi(first);
            m >> c.m.b >> c.m.c >> c.m.d >> c.m.tx >> c.m.ty;
        }
        std::istringstream w(part[1]);
        int64_t word;
        while (w >> word)
            c.words.push_back(int32_t(word));
        std::istringstream b(part[2]);
        for (double &v : c.exact)
            b >> v;
        cases.push_back(c);
    }
    return cases;
}

TEST(PathBounds, AgreeWithExactCurveExtrema)
{
    std::vector<BoundsCase> cases = loadCases();
    ASSERT_GE(cases.size(), 70u) << "fixture missing or short";
    int withMatrix = 0;
    for (BoundsCase &c : cases) {
        SCOPED_TRACE(c.line);
        Path p = plainPath(c.words);
        Rect box = {1, 2, 3, 4};
        ASSERT_EQ(Edr_Draw_getBounds(nullptr, &p, c.hasMatrix ? &c.m : nullptr, &box), 0);
        withMatrix += c.hasMatrix;
        bool cubic = false;
        for (size_t i = 0; i < c.words.size(); i += 1 + 2 * (c.words[i] & 3))
            cubic |= (c.words[i] & 15) == Path_opCubic;
        // Inward: the flattening tolerance (a quadratic piece's control lies
        // within 40 units of its midpoint; a cubic piece's controls lie
        // within 64 x sqrt 2 of its chord). Outward: only the halving's and
        // the matrix's rounding.
        double inward = cubic ? 100 : 48;
        double outward = 32;
        const double got[4] = {double(box.x0), double(box.y0), double(box.x1), double(box.y1)};
        for (int i = 0; i < 2; i++) {
            EXPECT_GE(got[i], c.exact[i] - outward) << "side " << i;
            EXPECT_LE(got[i], c.exact[i] + inward) << "side " << i;
            EXPECT_LE(got[i + 2], c.exact[i + 2] + outward) << "side " << i + 2;
            EXPECT_GE(got[i + 2], c.exact[i + 2] - inward) << "side " << i + 2;
        }
        if (!c.hasMatrix) {
            Rect again;
            ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &p, &again), 0);
            EXPECT_TRUE(Rect_equal(&again, &box));
            ASSERT_EQ(Edr_Draw_getBounds(nullptr, &p, Matrix_identity(), &again), 0);
            EXPECT_TRUE(Rect_equal(&again, &box));
        }
    }
    EXPECT_GT(withMatrix, 20);
}

TEST(PathBounds, SinglePointsAndEmptyPaths)
{
    std::vector<int32_t> move = {9, 1000, -2000};
    Path p = plainPath(move);
    Rect box;
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &p, &box), 0);
    EXPECT_EQ(box.x0, 1000);
    EXPECT_EQ(box.x1, 1000);
    EXPECT_EQ(box.y0, -2000);
    EXPECT_EQ(box.y1, -2000);
    // Through a matrix: the mapped point.
    const Matrix shift = {0x20000, 0, 0, 0x10000, 5, 7};
    ASSERT_EQ(Edr_Draw_getBounds(nullptr, &p, &shift, &box), 0);
    EXPECT_EQ(box.x0, 2005);
    EXPECT_EQ(box.y1, -1993);

    std::vector<int32_t> nothing;
    Path empty = plainPath(nothing);
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &empty, &box), 0);
    EXPECT_EQ(box.x0, INT32_MAX);
    EXPECT_EQ(box.y0, INT32_MAX);
    EXPECT_EQ(box.x1, INT32_MIN);
    EXPECT_EQ(box.y1, INT32_MIN);
    EXPECT_GT(box.x0, box.x1);

    EXPECT_EQ(Edr_Draw_getBounds2(nullptr, nullptr, &box), Res_nullInput);
    EXPECT_TRUE(Rect_equal(&box, &Rect_emptyBound));
    EXPECT_EQ(Edr_Draw_getBounds2(nullptr, &p, nullptr), Res_nullInput);
}

TEST(PathBounds, ClosedSubpathsAndUndefinedCodes)
{
    // Two subpaths, the first closed, the second left open: the close and
    // the end of the open subpath add nothing and fail nothing.
    std::vector<int32_t> closed = {9,   0, 0, 5, 100, 0,   6, 150, 50,
                                   200, 0, 4, 9, -10, -20, 1, -30, 40};
    Path p = plainPath(closed);
    Rect box;
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &p, &box), 0);
    EXPECT_EQ(box.x0, -30);
    EXPECT_EQ(box.y0, -20);
    EXPECT_EQ(box.x1, 200);
    EXPECT_EQ(box.y1, 40);
    // Codes the format does not define end the walk with 259, in either
    // walk (a curve before them sends the walk round twice).
    for (int32_t op : {2, 3, 8, 10, 11, 12, 13, 14, 15}) {
        std::vector<int32_t> bad = {9, 0, 0, 6, 10, 10, 20, 0, op, 1, 2, 3, 4, 5, 6};
        Path q = plainPath(bad);
        EXPECT_EQ(Edr_Draw_getBounds2(nullptr, &q, &box), Res_notImplemented) << op;
    }
    // A damaged path that starts with a curve (no previous point): only its
    // end point counts.
    std::vector<int32_t> headless = {6, 500000, 900000, 100, 100, 5, 50, -50};
    Path h = plainPath(headless);
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &h, &box), 0);
    const Rect ends = {50, -50, 100, 100};
    EXPECT_TRUE(Rect_equal(&box, &ends));
    // A packed path goes to the packed walker: these plain words read as a
    // packed stream start with a zero code, so it holds no point.
    Path packed = plainPath(closed);
    packed.state = Path_statePacked;
    EXPECT_EQ(Edr_Draw_getBounds2(nullptr, &packed, &box), 0);
    EXPECT_TRUE(Rect_equal(&box, &Rect_emptyBound));
}

TEST(PathBounds, CurvesExtendOnlyAsFarAsTheyReach)
{
    // A control point inside the end points' box adds nothing.
    std::vector<int32_t> inside = {9, 0, 0, 6, 50000, 30000, 100000, 100000};
    Path p = plainPath(inside);
    Rect box;
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &p, &box), 0);
    const Rect ends = {0, 0, 100000, 100000};
    EXPECT_TRUE(Rect_equal(&box, &ends));
    std::vector<int32_t> insideCubic = {9, 0, 0, 7, 10, 90000, 90000, 10, 100000, 100000};
    Path pc = plainPath(insideCubic);
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &pc, &box), 0);
    EXPECT_EQ(box.x0, 0);
    EXPECT_EQ(box.y0, 0);
    EXPECT_EQ(box.x1, 100000);
    EXPECT_EQ(box.y1, 100000);
    // A far control point pulls the box toward it, to the curve's top
    // (half the control's height), never to the control itself.
    std::vector<int32_t> far = {9, 0, 0, 6, 50000, 100000, 100000, 0};
    Path f = plainPath(far);
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, &f, &box), 0);
    EXPECT_EQ(box.x0, 0);
    EXPECT_EQ(box.x1, 100000);
    EXPECT_LE(box.y1, 50000);
    EXPECT_GE(box.y1, 50000 - 40);

    // Flattening into a box: the box grows by the curve, and a piece
    // whose control lies in the box (edges included) goes straight.
    const int32_t seg[Curve_quadWords] = {0, 0, 6, 50000, 100000, 100000, 0};
    Rect grown = {0, 0, 100000, 0};
    Curve_flattenQuad(seg, &grown);
    EXPECT_GE(grown.y1, 50000 - 40);
    EXPECT_LE(grown.y1, 50000);
    Rect roomy = {0, 0, 100000, 100000};
    Curve_flattenQuad(seg, &roomy);
    EXPECT_TRUE(Rect_equal(&roomy, &ends));
}

} // namespace
