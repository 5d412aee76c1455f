// Stroked outlines against Ghostscript: every case of
// tests/fixtures/stroke/cases.txt (polylines with sharp and shallow joints,
// a closed square, a circle of cubics, quadratics, a zero-length piece, open
// and closed subpaths, a hidden-line break; every join with every cap; other
// matrices; dash patterns) is stroked, its outline sampled at pixel centres
// with the tests' own non-zero winding test, and compared with Ghostscript's
// rendering of the same stroke at two pixels per design pixel
// (make_stroke_fixtures.py). Pixels within two pixels of the outline's boundary are not compared:
// the two rasterisers round edges differently. The outline's chains must close, and
// Path_strokeBounds must hold the outline: exactly its box for pens without
// round caps, joins or dashes.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "graphics/stroke.h"
#include "core/result.h"
#include "graphics/pathbounds.h"
#include "graphics/path.h"
#include "tests/graphics/stroke_support.h"
#include "tests/support/heap_fixture.h"

using namespace stroke_test;

namespace {

const std::string kDir = std::string(VEXLAN_FIXTURES) + "/stroke/";
const int32_t kDesign = 160 * 256;    // the image's width and height in output units
const int32_t kDashScale = 256 << 16; // dash lengths are in pixels

struct Case {
    std::string name;
    Pen pen{};
    std::vector<int32_t> dash; // ended by -1; empty: solid
    Matrix matrix{};
    std::string path;
};

std::vector<std::string> split(const std::string &s, const std::string &sep)
{
    std::vector<std::string> out;
    size_t at = 0;
    for (;;) {
        size_t next = s.find(sep, at);
        out.push_back(s.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos)
            return out;
        at = next + sep.size();
    }
}

std::vector<Case> loadCases()
{
    std::vector<Case> cases;
    std::ifstream in(kDir + "cases.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = split(line, " | ");
        if (f.size() != 5)
            continue;
        Case c;
        c.name = f[0];
        std::istringstream pen(f[1]);
        uint32_t join, cap;
        pen >> c.pen.width >> join >> cap >> c.pen.miterLimit;
        c.pen.style = join << Pen_joinShift | cap << Pen_startCapShift | cap << Pen_endCapShift;
        if (f[2] != "-") {
            for (const std::string &v : split(f[2], ","))
                c.dash.push_back(std::stoi(v));
            c.dash.push_back(-1);
        }
        std::istringstream m(f[3]);
        m >> c.matrix.a >> c.matrix.b >> c.matrix.c >> c.matrix.d >> c.matrix.tx >> c.matrix.ty;
        c.path = f[4];
        cases.push_back(c);
    }
    return cases;
}

struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> gray;
};

uint32_t be32(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3]);
}

int paeth(int a, int b, int c)
{
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Reads the fixtures' PNGs: one bit per pixel, grey, not interlaced (what
// Ghostscript's pngmono device writes); gray holds 0 for black, 255 for
// white.
bool loadPng(const std::string &file, Image *out)
{
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return false;
    std::string idat;
    for (size_t at = 8; at + 12 <= bytes.size();) {
        uint32_t length = be32(bytes, at);
        std::string type = bytes.substr(at + 4, 4);
        if (at + 12 + length > bytes.size())
            return false;
        if (type == "IHDR") {
            out->width = be32(bytes, at + 8);
            out->height = be32(bytes, at + 12);
            if (bytes[at + 16] != 1 || bytes[at + 17] != 0 || bytes[at + 20] != 0)
                return false; // not 1-bit grey, or interlaced
        } else if (type == "IDAT") {
            idat += bytes.substr(at + 8, length);
        }
        at += 12 + length;
    }
    const size_t stride = (out->width + 7) / 8;
    std::vector<uint8_t> raw((stride + 1) * out->height);
    uLongf rawSize = uLongf(raw.size());
    if (out->width == 0 ||
        uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef *>(idat.data()),
                   uLong(idat.size())) != Z_OK ||
        rawSize != raw.size())
        return false;
    std::vector<uint8_t> prior(stride, 0), row(stride);
    out->gray.assign(size_t(out->width) * out->height, 0);
    for (uint32_t y = 0; y < out->height; y++) {
        const uint8_t *line = raw.data() + y * (stride + 1);
        for (size_t i = 0; i < stride; i++) {
            int a = i > 0 ? row[i - 1] : 0, b = prior[i], c = i > 0 ? prior[i - 1] : 0,
                x = line[1 + i];
            switch (line[0]) {
            case 0: row[i] = uint8_t(x); break;
            case 1: row[i] = uint8_t(x + a); break;
            case 2: row[i] = uint8_t(x + b); break;
            case 3: row[i] = uint8_t(x + (a + b) / 2); break;
            case 4: row[i] = uint8_t(x + paeth(a, b, c)); break;
            default: return false;
            }
        }
        for (uint32_t x = 0; x < out->width; x++)
            out->gray[size_t(y) * out->width + x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
        prior = row;
    }
    return true;
}

class StrokeOracle : public LeakCheckedHeapTest<(16u << 20)> {};

TEST_F(StrokeOracle, EveryFixtureMatchesGhostscript)
{
    std::vector<Case> cases = loadCases();
    ASSERT_GE(cases.size(), 80u) << "cases.txt missing or short";
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.pen.dash = c.dash.empty() ? nullptr : c.dash.data();
        Path *source = nullptr, *out = nullptr;
        ASSERT_EQ(Path_create(&source, 0x10000), Res_ok);
        ASSERT_EQ(Path_create(&out, 0x10000), Res_ok);
        ASSERT_TRUE(buildPath(source, c.path));
        ASSERT_EQ(Path_stroke(nullptr, source, out, &c.matrix, &c.pen, kDashScale, nullptr),
                  Res_ok);
        EXPECT_TRUE(edgesBalance(out)) << "the outline's chains do not close";

        // The bounds walk holds the outline; without round parts and dashes
        // it is exactly the outline's box.
        Rect bounds, outline;
        ASSERT_EQ(Path_strokeBounds(nullptr, source, &bounds, &c.matrix, &c.pen), Res_ok);
        ASSERT_EQ(Edr_Draw_getBounds2(nullptr, out, &outline), Res_ok);
        EXPECT_LE(bounds.x0, outline.x0);
        EXPECT_LE(bounds.y0, outline.y0);
        EXPECT_GE(bounds.x1, outline.x1);
        EXPECT_GE(bounds.y1, outline.y1);
        uint32_t join = (c.pen.style >> Pen_joinShift) & 3,
                 cap = (c.pen.style >> Pen_startCapShift) & 3;
        if (c.dash.empty() && join != Pen_joinRound && cap != Pen_capRound) {
            EXPECT_EQ(bounds.x0, outline.x0);
            EXPECT_EQ(bounds.y0, outline.y0);
            EXPECT_EQ(bounds.x1, outline.x1);
            EXPECT_EQ(bounds.y1, outline.y1);
        }

        Image gs;
        ASSERT_TRUE(loadPng(kDir + c.name + ".png", &gs));
        ASSERT_GT(gs.width, 0u);
        const double kUnit = double(kDesign) / gs.width; // output units per image pixel
        std::vector<Edge> edges = edgesOf(out);
        std::vector<double> xs;
        for (uint32_t i = 0; i < gs.width; i++)
            xs.push_back(double(i) * kUnit + kUnit / 2);
        std::vector<double> ys;
        for (uint32_t j = 0; j < gs.height; j++)
            ys.push_back(double(j) * kUnit + kUnit / 2);
        std::vector<std::vector<int>> inside = windingGrid(edges, ys, xs);
        for (auto &row : inside)
            for (int &v : row)
                v = v != 0;
        // Counts of inside pixels over every top-left rectangle, so that a
        // pixel's neighbourhood is uniform when its count is 0 or its area.
        const int radius = 2;
        std::vector<std::vector<int>> sums(gs.height + 1, std::vector<int>(gs.width + 1, 0));
        for (uint32_t j = 0; j < gs.height; j++)
            for (uint32_t i = 0; i < gs.width; i++)
                sums[j + 1][i + 1] = sums[j][i + 1] + sums[j + 1][i] - sums[j][i] + inside[j][i];
        int compared = 0, mismatches = 0, painted = 0;
        int mx0 = INT32_MAX, my0 = INT32_MAX, mx1 = -1, my1 = -1;
        std::vector<std::string> map(gs.height, std::string(gs.width, ' '));
        for (int j = 0; j < int(gs.height); j++) {
            for (int i = 0; i < int(gs.width); i++) {
                int here = inside[j][i];
                int y0 = std::max(0, j - radius), y1 = std::min(int(gs.height), j + radius + 1);
                int x0 = std::max(0, i - radius), x1 = std::min(int(gs.width), i + radius + 1);
                int count = sums[y1][x1] - sums[y0][x1] - sums[y1][x0] + sums[y0][x0];
                bool uniform = count == (here ? (y1 - y0) * (x1 - x0) : 0);
                bool black = gs.gray[size_t(j) * gs.width + i] < 128;
                painted += here;
                if (!uniform) {
                    map[j][i] = here ? '+' : '.';
                    continue;
                }
                compared++;
                if (black != bool(here)) {
                    mismatches++;
                    map[j][i] = here ? 'E' : 'G';
                    mx0 = std::min(mx0, i), my0 = std::min(my0, j);
                    mx1 = std::max(mx1, i), my1 = std::max(my1, j);
                } else {
                    map[j][i] = here ? '#' : ' ';
                }
            }
        }
        EXPECT_GT(painted, 100) << "nothing drawn";
        EXPECT_GT(compared, int(gs.width * gs.height / 2));
        if (mismatches != 0) {
            // The part of the map around the differences.
            std::string shown;
            for (int j = std::max(0, my0 - 6); j <= std::min(int(gs.height) - 1, my1 + 6); j++)
                shown +=
                    map[j].substr(size_t(std::max(0, mx0 - 12)), size_t(mx1 - mx0 + 25)) + "\n";
            ADD_FAILURE() << mismatches << " pixels differ from (" << mx0 << ", " << my0
                          << "); E: only the engine paints, G: only Ghostscript, +/.: "
                             "inside/outside near an edge\n"
                          << shown;
        }
        Path_destroy(source);
        Path_destroy(out);
    }
}

} // namespace
