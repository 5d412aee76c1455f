// Helpers of the stroke tests: paths from a small text form, the output
// path's elements, and a non-zero winding test of the tests' own that
// samples an outline at points (curves in the outline, the arcs of round
// joins, are flattened finely in double precision).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "graphics/path.h"

namespace stroke_test {

// Appends the elements of text ("M x y L x y H x y Q cx cy x y C ... Z") to
// path; false when an append fails or the text is malformed.
inline bool buildPath(Path *path, const std::string &text)
{
    std::istringstream in(text);
    std::string op;
    while (in >> op) {
        int64_t v[6] = {};
        int n = op == "M" || op == "L" || op == "H" ? 2 : op == "Q" ? 4 : op == "C" ? 6 : 0;
        for (int i = 0; i < n; i++)
            if (!(in >> v[i]))
                return false;
        int32_t a = int32_t(v[0]), b = int32_t(v[1]), c = int32_t(v[2]), d = int32_t(v[3]),
                e = int32_t(v[4]), f = int32_t(v[5]);
        int r;
        if (op == "M")
            r = Path_moveTo(path, a, b);
        else if (op == "L")
            r = Path_lineTo(path, a, b);
        else if (op == "H")
            r = Path_lineToOp1(path, a, b);
        else if (op == "Q")
            r = Path_quadTo(path, a, b, c, d);
        else if (op == "C")
            r = Path_curveTo(path, a, b, c, d, e, f);
        else if (op == "Z")
            r = Path_close(path);
        else
            return false;
        if (r != Res_ok)
            return false;
    }
    return true;
}

struct Element {
    uint32_t op; // low 4 bits of the opcode word
    std::vector<int64_t> pts;
};

inline std::vector<Element> elementsOf(const Path *p)
{
    std::vector<Element> out;
    for (const int32_t *w = p->buffer; w < p->write;) {
        uint32_t n = uint32_t(*w) & 3;
        Element e{uint32_t(*w) & 15, {}};
        for (uint32_t i = 0; i < 2 * n; i++)
            e.pts.push_back(w[1 + i]);
        out.push_back(e);
        w += 1 + 2 * n;
    }
    return out;
}

struct Edge {
    double x0, y0, x1, y1;
};

// The outline's edges: a line (opcode 5) is an edge from the current point;
// moves and hidden lines only move; cubic and quadratic curves become 64
// edges each.
inline std::vector<Edge> edgesOf(const Path *p)
{
    std::vector<Edge> edges;
    double cx = 0, cy = 0;
    for (const Element &e : elementsOf(p)) {
        if (e.op == Path_opLine) {
            edges.push_back({cx, cy, double(e.pts[0]), double(e.pts[1])});
        } else if (e.op == Path_opCubic || e.op == Path_opQuad) {
            const int n = 64;
            double px = cx, py = cy;
            for (int i = 1; i <= n; i++) {
                double t = double(i) / n, s = 1 - t, x, y;
                if (e.op == Path_opCubic) {
                    x = s * s * s * cx + 3 * s * s * t * e.pts[0] + 3 * s * t * t * e.pts[2] +
                        t * t * t * e.pts[4];
                    y = s * s * s * cy + 3 * s * s * t * e.pts[1] + 3 * s * t * t * e.pts[3] +
                        t * t * t * e.pts[5];
                } else {
                    x = s * s * cx + 2 * s * t * e.pts[0] + t * t * e.pts[2];
                    y = s * s * cy + 2 * s * t * e.pts[1] + t * t * e.pts[3];
                }
                edges.push_back({px, py, x, y});
                px = x, py = y;
            }
        }
        if (!e.pts.empty()) {
            cx = double(e.pts[e.pts.size() - 2]);
            cy = double(e.pts[e.pts.size() - 1]);
        }
    }
    return edges;
}

// Winding numbers along the row y at the points xs (ascending): each edge
// that crosses the row (upper end included, lower end excluded) counts +1
// or -1 by its direction for the points to the right of the crossing.
inline std::vector<int> windingRow(const std::vector<Edge> &edges, double y,
                                   const std::vector<double> &xs)
{
    std::vector<std::pair<double, int>> crossings;
    for (const Edge &e : edges) {
        if (e.y0 == e.y1)
            continue;
        bool down = e.y1 > e.y0;
        double top = down ? e.y0 : e.y1, bottom = down ? e.y1 : e.y0;
        if (!(top <= y && y < bottom))
            continue;
        double x = e.x0 + (e.x1 - e.x0) * (y - e.y0) / (e.y1 - e.y0);
        crossings.push_back({x, down ? 1 : -1});
    }
    std::sort(crossings.begin(), crossings.end());
    std::vector<int> out;
    size_t at = 0;
    int winding = 0;
    for (double x : xs) {
        while (at < crossings.size() && crossings[at].first < x)
            winding += crossings[at++].second;
        out.push_back(winding);
    }
    return out;
}

// The winding numbers of a grid of points: rows at ys, columns at xs (both
// ascending). Each edge is offered only to the rows it spans, so a large
// outline over a large grid costs the sum of its edges' heights, not rows
// times edges.
inline std::vector<std::vector<int>> windingGrid(const std::vector<Edge> &edges,
                                                 const std::vector<double> &ys,
                                                 const std::vector<double> &xs)
{
    std::vector<std::vector<Edge>> byRow(ys.size());
    for (const Edge &e : edges) {
        if (e.y0 == e.y1)
            continue;
        double top = std::min(e.y0, e.y1), bottom = std::max(e.y0, e.y1);
        size_t first = size_t(std::lower_bound(ys.begin(), ys.end(), top) - ys.begin());
        for (size_t j = first; j < ys.size() && ys[j] < bottom; j++)
            byRow[j].push_back(e);
    }
    std::vector<std::vector<int>> out;
    out.reserve(ys.size());
    for (size_t j = 0; j < ys.size(); j++)
        out.push_back(windingRow(byRow[j], ys[j], xs));
    return out;
}

inline int windingAt(const std::vector<Edge> &edges, double x, double y)
{
    return windingRow(edges, y, {x})[0];
}

// Whether every chain of the outline, taken together, closes: each point is
// left by as many edges as reach it. (Edges that start and end at the same
// point are left out.)
inline bool edgesBalance(const Path *p)
{
    std::vector<std::pair<std::pair<int64_t, int64_t>, int>> degree;
    auto bump = [&](int64_t x, int64_t y, int d) { degree.push_back({{x, y}, d}); };
    int64_t cx = 0, cy = 0;
    for (const Element &e : elementsOf(p)) {
        if (e.op == Path_opLine || e.op == Path_opCubic || e.op == Path_opQuad) {
            int64_t ex = e.pts[e.pts.size() - 2], ey = e.pts[e.pts.size() - 1];
            if (ex != cx || ey != cy) {
                bump(cx, cy, 1);
                bump(ex, ey, -1);
            }
        }
        if (!e.pts.empty()) {
            cx = e.pts[e.pts.size() - 2];
            cy = e.pts[e.pts.size() - 1];
        }
    }
    std::sort(degree.begin(), degree.end());
    for (size_t i = 0; i < degree.size();) {
        int sum = 0;
        size_t j = i;
        for (; j < degree.size() && degree[j].first == degree[i].first; j++)
            sum += degree[j].second;
        if (sum != 0)
            return false;
        i = j;
    }
    return true;
}

} // namespace stroke_test
