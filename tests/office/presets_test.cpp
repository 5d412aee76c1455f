// Preset shape outlines against the golden outlines written by an
// independent transcription of the outline formulas
// (tests/fixtures/office/presets/make_presets.py): every coded type at its
// default adjusts, at changed adjusts and on a horizontally flipped box,
// main path and shade sub-paths, plus the edge cases of expectations.txt.
//
// The golden lines are replayed into paths (arcs through Shape_addArc,
// transforms through Path_copyTransformed) and the engine's paths must
// hold the same elements, exactly, or within one unit for the values the
// script marks "~" (a truncated double or a mapped translation).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/path.h"
#include "office/shape/geometry.h"
#include "tests/support/heap_fixture.h"

namespace {

std::string fixturePath(const char *name)
{
    return std::string(VEXLAN_FIXTURES) + "/office/presets/" + name;
}

struct GoldenLine {
    std::string op;
    std::vector<int64_t> args;
    bool loose; // the script marked the line "~"
};

struct GoldenCase {
    uint32_t type;
    std::string name, kase;
    int32_t w, h;
    std::vector<std::pair<bool, int32_t>> adjusts; // present, value for 327, 328, ...
    std::vector<GoldenLine> lines;
};

std::vector<GoldenCase> loadCases()
{
    std::vector<GoldenCase> out;
    std::ifstream in(fixturePath("outlines.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        std::string op;
        s >> op;
        if (op == "TYPE") {
            GoldenCase c{};
            std::string k, adj;
            s >> c.type >> c.name >> k >> c.kase >> k >> c.w >> k >> c.h >> k >> adj;
            if (adj != "-") {
                std::istringstream a(adj);
                std::string v;
                while (std::getline(a, v, ','))
                    c.adjusts.push_back(v == "_" ? std::pair(false, 0)
                                                 : std::pair(true, int32_t(std::stoll(v))));
            }
            out.push_back(c);
        } else if (op == "~") {
            if (!out.empty() && !out.back().lines.empty())
                out.back().lines.back().loose = true;
        } else if (op != "END" && !out.empty()) {
            GoldenLine g{op, {}, false};
            int64_t v;
            while (s >> v)
                g.args.push_back(v);
            out.back().lines.push_back(g);
        }
    }
    return out;
}

struct Props {
    std::map<uint32_t, uint32_t> values;
    static int value(const void *set, uint32_t id, uint32_t *out)
    {
        const Props *p = static_cast<const Props *>(set);
        auto it = p->values.find(id);
        if (it == p->values.end())
            return 0;
        *out = it->second;
        return 1;
    }
};

struct Element {
    uint32_t op;
    std::vector<int32_t> pts;
    bool loose;
};

std::vector<Element> elementsOf(const Path *p)
{
    std::vector<Element> out;
    const int32_t *w = Path_buffer(p), *end = w + Path_wordCount(p);
    while (w < end) {
        uint32_t n = uint32_t(*w) & 3;
        out.push_back({uint32_t(*w) & 15, std::vector<int32_t>(w + 1, w + 1 + 2 * n), false});
        w += 1 + 2 * n;
    }
    return out;
}

// One expected path: the golden lines replayed, each element knowing
// whether its line allows one unit.
struct Expected {
    uint32_t kind = 0, value = 0;
    Path *path = nullptr;
    std::vector<bool> loose;
};

std::string describe(const Element &e)
{
    std::ostringstream s;
    s << "op " << e.op;
    for (int32_t v : e.pts)
        s << ' ' << v;
    return s.str();
}

class PresetsTest : public LeakCheckedHeapTest<>, public ::testing::WithParamInterface<GoldenCase> {
  protected:
    void TearDown() override
    {
        for (Expected &e : expected)
            Path_destroy(e.path);
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
    // Replays the golden lines into expected paths (main first, then the
    // sub-paths in creation order).
    void replay(const GoldenCase &c)
    {
        expected.push_back({});
        ASSERT_EQ(Path_create(&expected[0].path, 0x10000), Res_ok);
        size_t cur = 0;
        for (const GoldenLine &g : c.lines) {
            Expected &e = expected[cur];
            const auto &a = g.args;
            const size_t before = e.path->count;
            int err = Res_ok;
            auto i32 = [&](size_t k) { return int32_t(a.at(k)); };
            if (g.op == "M")
                err = Path_moveTo(e.path, i32(0), i32(1));
            else if (g.op == "L")
                err = Path_lineTo(e.path, i32(0), i32(1));
            else if (g.op == "L1")
                err = Path_lineToOp1(e.path, i32(0), i32(1));
            else if (g.op == "C")
                err = Path_curveTo(e.path, i32(0), i32(1), i32(2), i32(3), i32(4), i32(5));
            else if (g.op == "Z")
                err = Path_close(e.path);
            else if (g.op == "A") {
                const Rect r = {i32(0), i32(1), i32(2), i32(3)};
                err = Shape_addArc(e.path, &r, i32(4), i32(5), i32(6), i32(7), i32(8));
            } else if (g.op == "T") {
                const Matrix m = {i32(0), i32(1), i32(2), i32(3), i32(4), i32(5)};
                err = Path_copyTransformed(e.path, e.path, &m);
                if (g.loose)
                    e.loose.assign(e.loose.size(), true);
            } else if (g.op == "S") {
                expected.push_back({uint32_t(a.at(0)), uint32_t(a.at(1)), nullptr, {}});
                cur = expected.size() - 1;
                ASSERT_EQ(Path_create(&expected[cur].path, 0x10000), Res_ok);
                continue;
            } else if (g.op == "P") {
                cur = 0;
                continue;
            } else {
                FAIL() << "unknown golden line " << g.op;
            }
            ASSERT_EQ(err, Res_ok) << "replaying " << g.op;
            Expected &now = expected[cur];
            now.loose.resize(now.path->count, false);
            for (size_t k = before; k < now.loose.size(); k++)
                now.loose[k] = g.loose || (g.op == "A" && g.loose);
        }
    }
    void compare(const char *what, const Path *actual, const Expected &e)
    {
        std::vector<Element> got = elementsOf(actual), want = elementsOf(e.path);
        ASSERT_EQ(got.size(), want.size()) << what;
        for (size_t i = 0; i < got.size(); i++) {
            const bool loose = i < e.loose.size() && e.loose[i];
            bool same = got[i].op == want[i].op && got[i].pts.size() == want[i].pts.size();
            for (size_t k = 0; same && k < got[i].pts.size(); k++)
                same = std::llabs(int64_t(got[i].pts[k]) - want[i].pts[k]) <= (loose ? 1 : 0);
            EXPECT_TRUE(same) << what << " element " << i << ": got " << describe(got[i])
                              << ", want " << describe(want[i]);
        }
    }
    std::vector<Expected> expected;
    std::vector<Path *> paths;
    ShadePath *shades = nullptr;
};

ShapeGeom geomOf(uint32_t type, const Props *props)
{
    return ShapeGeom{type, 0, {props, Props::value, nullptr}};
}

Props propsOf(const GoldenCase &c)
{
    Props p;
    for (size_t i = 0; i < c.adjusts.size(); i++)
        if (c.adjusts[i].first)
            p.values[uint32_t(ShapeProp_adjust1 + i)] = uint32_t(c.adjusts[i].second);
    return p;
}

TEST_P(PresetsTest, MatchesGoldenOutline)
{
    const GoldenCase &c = GetParam();
    replay(c);
    if (c.type == 19) { // the golden arc stops before the mapping from its own bounds
        ASSERT_EQ(Shape_scalePath(nullptr, expected[0].path, c.w, c.h, ShapeSource_bounds, 0),
                  Res_ok);
    }
    const Props props = propsOf(c);
    const ShapeGeom shape = geomOf(c.type, &props);
    Path *path = make();
    ASSERT_EQ(Shape_buildPath(nullptr, path, &shape, c.w, c.h, &shades), Res_ok);
    compare("main path", path, expected[0]);
    std::vector<const ShadePath *> subs;
    for (const ShadePath *s = shades; s; s = s->next)
        subs.insert(subs.begin(), s);
    ASSERT_EQ(subs.size(), expected.size() - 1);
    for (size_t i = 0; i < subs.size(); i++) {
        EXPECT_EQ(subs[i]->kind, expected[i + 1].kind);
        EXPECT_EQ(subs[i]->value, expected[i + 1].value);
        compare("shade sub-path", subs[i]->path, expected[i + 1]);
    }
}

// Running out of memory at any allocation gives out of memory and leaks
// nothing; the smiley face alone succeeds without its shade sub-path, with
// the face and mouth of its golden outline.
TEST_P(PresetsTest, OutOfMemoryFailsCleanly)
{
    const GoldenCase &c = GetParam();
    replay(c);
    const Props props = propsOf(c);
    const ShapeGeom shape = geomOf(c.type, &props);
    bool noShadeSeen = false;
    for (uint64_t n = 1; n < 64; n++) {
        Path *path = make();
        ShadePathList_free(shades);
        shades = nullptr;
        Mem_failAfter(n);
        const int rc = Shape_buildPath(nullptr, path, &shape, c.w, c.h, &shades);
        Mem_failAfter(0);
        if (c.type == 96 && rc == Res_ok && !shades) {
            noShadeSeen = true;
            compare("smiley without eyes", path, expected[0]);
        } else if (rc != Res_ok) {
            EXPECT_EQ(rc, Res_noMemory) << "allocation " << n;
        }
    }
    if (c.type == 96) {
        EXPECT_TRUE(noShadeSeen);
    }
}

// The edge cases of expectations.txt, each on the engine's own output.
struct Expectation {
    uint32_t type;
    std::string kase, check;
    std::vector<int32_t> args;
};

std::vector<Expectation> loadExpectations()
{
    std::vector<Expectation> out;
    std::ifstream in(fixturePath("expectations.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        Expectation e{};
        s >> e.type >> e.kase >> e.check;
        int32_t v;
        while (s >> v)
            e.args.push_back(v);
        out.push_back(e);
    }
    return out;
}

class PresetEdgeTest : public PresetsTest {};

TEST_F(PresetEdgeTest, ExpectationsHold)
{
    const std::vector<GoldenCase> cases = loadCases();
    const std::vector<Expectation> all = loadExpectations();
    ASSERT_FALSE(all.empty());
    for (const Expectation &e : all) {
        SCOPED_TRACE(std::to_string(e.type) + " " + e.kase + " " + e.check);
        const GoldenCase *c = nullptr;
        for (const GoldenCase &g : cases)
            if (g.type == e.type && g.kase == e.kase)
                c = &g;
        ASSERT_NE(c, nullptr);
        const Props props = propsOf(*c);
        const ShapeGeom shape = geomOf(c->type, &props);
        Path *path = make();
        ASSERT_EQ(Shape_buildPath(nullptr, path, &shape, c->w, c->h, &shades), Res_ok);
        const std::vector<Element> got = elementsOf(path);
        if (e.check == "arcs") {
            // The golden case that the engine matches draws this many arcs.
            size_t arcs = 0;
            for (const GoldenLine &g : c->lines)
                arcs += g.op == "A" ? 1 : 0;
            EXPECT_EQ(arcs, size_t(e.args.at(0)));
        } else if (e.check == "points_after_move") {
            ASSERT_GE(got.size(), 2u);
            EXPECT_EQ(got.front().op, Path_opMove);
            EXPECT_EQ(got.back().op, Path_opClose);
            size_t lines = 0;
            for (const Element &el : got)
                lines += el.op == Path_opLine ? 1 : 0;
            EXPECT_EQ(lines, size_t(e.args.at(0)));
            EXPECT_EQ(got.size(), lines + 2);
        } else if (e.check == "repeat") {
            bool found = false;
            for (size_t i = 1; i < got.size(); i++)
                found |= got[i].op == Path_opLine && got[i - 1].op == Path_opLine &&
                         got[i].pts == std::vector<int32_t>{e.args.at(0), e.args.at(1)} &&
                         got[i - 1].pts == got[i].pts;
            EXPECT_TRUE(found);
        } else if (e.check == "builds") {
            EXPECT_FALSE(got.empty());
        } else if (e.check != "no_shade_ok") { // covered by OutOfMemoryFailsCleanly
            ADD_FAILURE() << "unknown check";
        }
        ShadePathList_free(shades);
        shades = nullptr;
    }
}

// Types 14, 17, 18, 24-31, 100, 129 and 136-175 draw nothing; every other
// type up to 202 draws something in the box.
TEST_F(PresetEdgeTest, EveryTypeWithAnOutlineDrawsIt)
{
    for (uint32_t type = 1; type <= Shape_lastPresetType; type++) {
        Props props;
        const ShapeGeom shape = geomOf(type, &props);
        Path *path = make();
        ASSERT_EQ(Shape_buildPath(nullptr, path, &shape, 4000, 2500, &shades), Res_ok) << type;
        EXPECT_EQ(Path_isEmpty(path) != 0, Shape_hasNoOutline(type)) << type;
    }
}

// The moon's inner edge runs from the bottom tip to the top tip through
// the leftmost point of its ellipse, inside the box, on a plain and on a
// flipped box. In a 21600 square box the centred square maps 1:1 with the
// origin at (10800, 10800): the tips are (21600, 0) and (21600, 21600), the
// leftmost point of the edge (a1 - 10800, 0) is (a1, 10800).
TEST_F(PresetEdgeTest, MoonInnerEdgePassesItsLeftmostPoint)
{
    for (int32_t a1 : {10800, 5000, 2000}) {
        for (int32_t sx : {1, -1}) {
            Props props;
            props.values[ShapeProp_adjust1] = uint32_t(a1);
            const ShapeGeom shape = geomOf(184, &props);
            Path *path = make();
            ASSERT_EQ(Shape_buildPath(nullptr, path, &shape, sx * 21600, 21600, &shades), Res_ok);
            const std::vector<Element> got = elementsOf(path);
            ASSERT_GE(got.size(), 5u);
            // Elements 0-2: the move and the outer half ellipse; then the edge.
            EXPECT_NEAR(got[3].pts[0], sx * 21600, 1);
            EXPECT_NEAR(got[3].pts[1], 0, 1);
            EXPECT_NEAR(got.back().pts.end()[-2], sx * 21600, 1);
            EXPECT_NEAR(got.back().pts.end()[-1], 21600, 1);
            int32_t least = INT32_MAX;
            for (size_t i = 4; i < got.size(); i++) {
                const std::vector<int32_t> &q = got[i].pts;
                // Sample the curve finely; its x never leaves the box side
                // of the tips and reaches the leftmost point.
                for (int k = 0; k <= 64; k++) {
                    const double t = k / 64.0, u = 1 - t;
                    const Element &prev = got[i - 1];
                    const double x0 = prev.pts.end()[-2];
                    const double x = u * u * u * x0 + 3 * u * u * t * q[0] + 3 * u * t * t * q[2] +
                                     t * t * t * q[4];
                    least = std::min(least, int32_t(x * sx));
                    EXPECT_LE(x * sx, 21602.0);
                }
            }
            EXPECT_NEAR(least, a1, 40) << "a1 " << a1 << " sign " << sx;
        }
    }
}

// Hostile boxes and adjust values give some outline or a path error,
// never a crash, an overflow or a leak (the sanitizer build checks the
// arithmetic).
TEST_F(PresetEdgeTest, HostileValuesBuildWithoutFault)
{
    const int32_t values[] = {INT32_MIN, -1, 0, 1, 21600, INT32_MAX};
    const int32_t boxes[][2] = {{INT32_MAX, INT32_MAX}, {INT32_MIN, 7}, {0, 0}, {1, -1}};
    for (uint32_t type = 1; type <= Shape_lastPresetType; type++) {
        for (int32_t v : values) {
            for (const auto &box : boxes) {
                Props props;
                for (uint32_t id = ShapeProp_adjust1; id < ShapeProp_adjust1 + 10; id++)
                    props.values[id] = uint32_t(v) + (id & 1);
                const ShapeGeom shape = geomOf(type, &props);
                Path *path = nullptr;
                ASSERT_EQ(Path_create(&path, 0x10000), Res_ok);
                const int rc = Shape_buildPath(nullptr, path, &shape, box[0], box[1], &shades);
                EXPECT_EQ(rc, Res_ok) << type;
                Path_destroy(path);
                ShadePathList_free(shades);
                shades = nullptr;
            }
        }
    }
}

std::string caseName(const ::testing::TestParamInfo<GoldenCase> &info)
{
    std::string s = std::to_string(info.param.type) + "_" + info.param.name + "_" + info.param.kase;
    for (char &ch : s)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return s;
}

void PrintTo(const GoldenCase &c, std::ostream *os)
{
    *os << c.type << ' ' << c.name << ' ' << c.kase;
}

INSTANTIATE_TEST_SUITE_P(Golden, PresetsTest, ::testing::ValuesIn(loadCases()), caseName);

TEST(PresetsFixture, HoldsEveryCodedType)
{
    std::set<uint32_t> types;
    for (const GoldenCase &c : loadCases())
        types.insert(c.type);
    EXPECT_GE(types.size(), 100u);
}

} // namespace
