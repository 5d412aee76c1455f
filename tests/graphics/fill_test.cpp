// Path scan conversion: crossing tables against a slow computation of the
// row rule (random polygons for every s, the exact cases of the rule at
// s = 0, hidden lines, open subpaths and moves, packed paths, curves),
// table layout (lastGroup, offsets, detaching the scratch buffer, 266 and
// the 64-bit size check), span reduction for both rules, intersections of
// tables, and device bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "graphics/curve.h"
#include "graphics/stroke.h"
#include "graphics/fill.h"
#include "tests/graphics/raster_support.h"

namespace {

// ------------------------------------------------------------------ model

struct Edge {
    int64_t x0, y0, x1, y1;
};

// The edges of closed contours moved by (dx, dy).
std::vector<Edge> edgesOf(const std::vector<Contour> &contours, int64_t dx, int64_t dy)
{
    std::vector<Edge> out;
    for (const Contour &c : contours) {
        size_t n = c.size() / 2;
        for (size_t i = 0; i < n; i++) {
            size_t j = (i + 1) % n;
            out.push_back({c[2 * i] + dx, c[2 * i + 1] + dy, c[2 * j] + dx, c[2 * j + 1] + dy});
        }
    }
    return out;
}

// Wide enough for edges longer than 2^32 units.
using Wide = __int128;

int64_t floorDiv(Wide a, Wide b)
{
    Wide q = a / b;
    return int64_t((a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q);
}

// Sub-row r is crossed by an edge when ytop < centre <= ybottom; its x is
// the edge's at the centre, in sub-columns, rounded down after adding half
// a sub-column: computed here from the formula for every row and edge.
std::vector<std::vector<Crossing>> modelRows(const std::vector<Edge> &edges, uint32_t s,
                                             uint32_t rowCount)
{
    const int64_t step = int64_t(1) << (8 - s), half = step / 2;
    std::vector<std::vector<Crossing>> rows(rowCount);
    for (const Edge &e : edges) {
        if (e.y0 == e.y1)
            continue;
        int64_t top = std::min(e.y0, e.y1), bottom = std::max(e.y0, e.y1);
        for (uint32_t r = 0; r < rowCount; r++) {
            int64_t c = int64_t(r) * step + half;
            if (!(top < c && c <= bottom))
                continue;
            // x = x0 + (x1 - x0)(c - y0) / (y1 - y0); X = floor((x + half) / step).
            Wide num = Wide(e.x0 + half) * (e.y1 - e.y0) + Wide(e.x1 - e.x0) * (c - e.y0);
            Wide den = Wide(e.y1 - e.y0) * step;
            int64_t x = floorDiv(num, den);
            rows[r].push_back({uint32_t(std::max<int64_t>(x, 0)), e.y0 > e.y1});
        }
    }
    return rows;
}

void sortRows(std::vector<std::vector<Crossing>> &rows)
{
    for (auto &r : rows)
        std::sort(r.begin(), r.end(), [](const Crossing &a, const Crossing &b) {
            return a.x != b.x ? a.x < b.x : a.down < b.down;
        });
}

class ScanFillTest : public RasterTest {
  protected:
    CrossingTable *table(const Path *p, uint32_t s, uint32_t rule = 0,
                         const Matrix *m = &deviceUnits)
    {
        Bitmap *b = bitmap(4, 4, Pixel_formatGrey8);
        FillRequest req = request(p, s, rule, m);
        CrossingTable *t = nullptr;
        EXPECT_EQ(Fill_newCrossingTable(&t, &req, b), Res_ok);
        return keep(t);
    }
    // Checks the table of contours against the model.
    void expectModel(const std::vector<Contour> &contours, uint32_t s)
    {
        CrossingTable *t = table(polygons(contours), s);
        ASSERT_NE(t, nullptr);
        int64_t x0 = INT64_MAX, y0 = INT64_MAX, y1 = INT64_MIN;
        for (const Contour &c : contours)
            for (size_t i = 0; i < c.size(); i += 2) {
                x0 = std::min<int64_t>(x0, c[i]);
                y0 = std::min<int64_t>(y0, c[i + 1]);
                y1 = std::max<int64_t>(y1, c[i + 1]);
            }
        int64_t px0 = x0 >> 8, py0 = y0 >> 8, py1 = (y1 + 255) >> 8;
        ASSERT_EQ(t->rowCount, uint32_t((py1 - py0) << s));
        EXPECT_EQ(t->yOffset, py0 * 256);
        EXPECT_EQ(t->clipX0, px0);
        auto want = modelRows(edgesOf(contours, -px0 * 256, -py0 * 256), s, t->rowCount);
        auto got = tableRows(t);
        // The table's rows are in ascending x; ties may come in any order.
        for (const auto &row : got)
            for (size_t i = 1; i < row.size(); i++)
                ASSERT_LE(row[i - 1].x, row[i].x);
        sortRows(want);
        sortRows(got);
        for (uint32_t r = 0; r < t->rowCount; r++)
            ASSERT_EQ(got[r], want[r]) << "sub-row " << r << " s " << s;
    }
};

// ------------------------------------------------------------------ rows

TEST_F(ScanFillTest, RandomPolygonsMatchTheRowRuleForEverySubpixelCount)
{
    std::mt19937 rng(2024);
    for (uint32_t s = 0; s <= 3; s++) {
        for (int k = 0; k < 40; k++) {
            std::vector<Contour> contours;
            int n = 1 + int(rng() % 3);
            for (int c = 0; c < n; c++) {
                Contour pts;
                int m = 3 + int(rng() % 8);
                for (int i = 0; i < m; i++) {
                    // Some points on whole sub-rows and half rows, where the
                    // rule's ties are.
                    int32_t y = int32_t(rng() % 6000) - 2000;
                    if (rng() % 3 == 0)
                        y &= ~31;
                    pts.push_back(int32_t(rng() % 6000) - 1000);
                    pts.push_back(y);
                }
                contours.push_back(pts);
            }
            expectModel(contours, s);
        }
    }
}

TEST_F(ScanFillTest, EdgeRowsFollowTheCentreRuleAtSZero)
{
    // One sub-row per pixel: centres at 128, 384, 640, ...
    struct Case {
        int64_t y0, y1;
        std::vector<uint32_t> rows;
    };
    const Case cases[] = {
        {0, 127, {}},                        // ends below the first centre
        {0, 128, {0}},                       // reaches it
        {128, 384, {1}},                     // starts on row 0's centre: only row 1
        {384, 128, {1}},                     // the same upward
        {129, 640, {1, 2}}, {-500, 100, {}}, // rows above the table
        {700, 5000, {3}},                    // rows past its end are not written
        {200, 200, {}},                      // horizontal
    };
    for (const Case &c : cases) {
        std::vector<uint32_t> rows(4), records(4 * 4, 0);
        for (uint32_t r = 0; r < 4; r++)
            rows[r] = r * 4;
        EdgeRows er{rows.data(), records.data(), 4, 8};
        Edge_addLine(&er, 300, c.y0, 300, c.y1);
        std::vector<uint32_t> hit;
        for (uint32_t r = 0; r < 4; r++) {
            if (records[r * 4] != 0) {
                hit.push_back(r);
                EXPECT_EQ(records[r * 4], 1u);
                EXPECT_EQ(records[r * 4 + 1] & Crossing_xMask, 1u); // (300 + 128) >> 8
                EXPECT_EQ((records[r * 4 + 1] & Crossing_directionBit) != 0, c.y0 > c.y1);
            }
        }
        EXPECT_EQ(hit, c.rows) << c.y0 << " to " << c.y1;
    }
}

TEST_F(ScanFillTest, EdgeXIsExactForLongShallowAndSteepEdges)
{
    // Edges longer than 2^31 device units along x and y go through the wide
    // division; the x at each centre is still the model's.
    struct Case {
        int64_t x0, y0, x1, y1;
    };
    const Case cases[] = {
        {0, 0, 3000000000LL, 2000},
        {3000000000LL, -4000000000LL, 7, 900},
        {17, 5, 19, 1000},
        {1000, 1000, 1000 - 999, 0},
    };
    for (uint32_t s = 0; s <= 3; s++)
        for (const Case &c : cases) {
            const uint32_t rowCount = 8 << s;
            std::vector<uint32_t> rows(rowCount), records(rowCount * 3, 0);
            for (uint32_t r = 0; r < rowCount; r++)
                rows[r] = r * 3;
            EdgeRows er{rows.data(), records.data(), rowCount, 8 - s};
            Edge_addLine(&er, c.x0, c.y0, c.x1, c.y1);
            auto want = modelRows({{c.x0, c.y0, c.x1, c.y1}}, s, rowCount);
            for (uint32_t r = 0; r < rowCount; r++) {
                ASSERT_EQ(records[r * 3], want[r].size()) << r;
                if (!want[r].empty()) {
                    uint32_t x = std::min<uint32_t>(want[r][0].x, Crossing_xMask);
                    EXPECT_EQ(records[r * 3 + 1] & Crossing_xMask, x) << "s " << s << " row " << r;
                }
            }
        }
}

// Rows arrive in every order: already ascending (most rows: shapes added
// left to right), descending, ascending runs one after another (lines of
// one list, then of another), one stray crossing, at random, and many at
// one x in both directions. Each comes out ascending by x with every word
// kept, direction bits with their x.
TEST_F(ScanFillTest, RowsAreSortedWhateverOrderTheyArriveIn)
{
    std::mt19937 rng(5);
    enum Order { kAscending, kDescending, kRuns, kStray, kRandom, kTies };
    for (uint32_t n : {0u, 1u, 2u, 3u, 4u, 5u, 17u, 24u, 25u, 200u, 1000u}) {
        for (Order order : {kAscending, kDescending, kRuns, kStray, kRandom, kTies}) {
            std::vector<uint32_t> words(n);
            for (uint32_t i = 0; i < n; i++) {
                uint32_t x = order == kTies ? rng() % 3 : rng() % 5000;
                words[i] = x | (rng() % 2 ? uint32_t(Crossing_directionBit) : 0u);
            }
            auto byX = [](uint32_t a, uint32_t b) {
                return (a & Crossing_xMask) < (b & Crossing_xMask);
            };
            if (order == kAscending || order == kStray)
                std::stable_sort(words.begin(), words.end(), byX);
            if (order == kDescending)
                std::stable_sort(words.rbegin(), words.rend(), byX);
            if (order == kRuns)
                for (uint32_t at = 0; at < n; at += 1 + n / 5)
                    std::stable_sort(words.begin() + at,
                                     words.begin() + std::min(n, at + 1 + n / 5), byX);
            if (order == kStray && n > 1)
                std::swap(words[n / 3], words[n - 1]);
            std::vector<uint32_t> rows = {0}, records(1 + n);
            records[0] = n;
            std::copy(words.begin(), words.end(), records.begin() + 1);
            Rows_sortCrossings(rows.data(), records.data(), 1);
            std::vector<uint32_t> got(records.begin() + 1, records.end());
            EXPECT_TRUE(std::is_sorted(got.begin(), got.end(), byX)) << n << " order " << order;
            std::sort(got.begin(), got.end());
            std::sort(words.begin(), words.end());
            EXPECT_EQ(got, words) << n << " order " << order;
            EXPECT_EQ(records[0], n);
        }
    }
    EXPECT_EQ(Bits_ceilLog2(0), 0u);
    EXPECT_EQ(Bits_ceilLog2(1), 0u);
    EXPECT_EQ(Bits_ceilLog2(2), 1u);
    EXPECT_EQ(Bits_ceilLog2(0x10000), 16u);
    EXPECT_EQ(Bits_ceilLog2(0x10001), 17u);
    EXPECT_EQ(Bits_ceilLog2(0xFFFFFFFF), 32u);
}

// ------------------------------------------------------------ path shapes

TEST_F(ScanFillTest, OpenSubpathsAndMovesCloseTheSubpathBefore)
{
    const std::vector<Contour> shapes = {{100, 100, 3000, 400, 1500, 2900},
                                         {4000, 200, 5200, 2500, 3900, 2600}};
    CrossingTable *closed = table(polygons(shapes, true), 2);
    CrossingTable *open = table(polygons(shapes, false), 2);
    ASSERT_NE(closed, nullptr);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(tableRows(open), tableRows(closed));
    expectModel(shapes, 2);
}

TEST_F(ScanFillTest, HiddenLinesAreEdgesOnlyWhenThePathItselfIsFilled)
{
    // A square whose right side is a hidden line.
    Path *p = emptyPath();
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 0, 1024), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 1024, 1024), Res_ok);
    ASSERT_EQ(Path_lineToOp1(p, 1024, 0), Res_ok);
    ASSERT_EQ(Path_close(p), Res_ok);
    Bitmap *b = bitmap(8, 8, Pixel_formatGrey8);
    FillRequest req = request(p, 0, 0);
    for (uint32_t hidden : {1u, 0u}) {
        FillContext fc;
        Rect clip;
        Rect_setInvertedEmpty(&clip);
        ASSERT_EQ(Fill_prepareDevicePath(&req, b, &fc, &clip), Res_ok);
        EXPECT_EQ(fc.hiddenLines, 1u); // the path itself is filled
        fc.hiddenLines = hidden;
        CrossingTable t{};
        t.rowCount = 4;
        ASSERT_EQ(Fill_buildCrossings(&fc, &t), Res_ok);
        for (uint32_t r = 0; r < 4; r++)
            EXPECT_EQ(CrossingTable_row(&t, r)[0], hidden ? 2u : 1u) << r;
    }
}

TEST_F(ScanFillTest, PackedPathsGiveTheSameTable)
{
    const std::vector<Contour> shapes = {{-700, 50, 2900, 330, 1400, 2000, 3000, 2100},
                                         {200, 200, 900, 250, 600, 700}};
    Path *plain = polygons(shapes);
    Path *packed = polygons(shapes);
    ASSERT_EQ(Path_pack(packed), Res_ok);
    ASSERT_EQ(packed->state, Path_statePacked);
    for (uint32_t s = 0; s <= 3; s++) {
        CrossingTable *a = table(plain, s), *b = table(packed, s);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(tableRows(a), tableRows(b));
    }
}

TEST_F(ScanFillTest, CurvesBecomeTheirFlattenedLines)
{
    // A closed shape of a quadratic and a cubic curve: its table is the
    // table of the polygon through the flattened points.
    Path *p = emptyPath();
    ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
    ASSERT_EQ(Path_quadTo(p, 3000, -1000, 4000, 2000), Res_ok);
    ASSERT_EQ(Path_curveTo(p, 3000, 5000, -2000, 4000, 0, 0), Res_ok);
    ASSERT_EQ(Path_close(p), Res_ok);
    Contour flat = {0, 0};
    auto collect = [](const int32_t *end, void *user) {
        Contour *c = static_cast<Contour *>(user);
        c->push_back(end[0]);
        c->push_back(end[1]);
        return 0;
    };
    const int32_t quad[Curve_quadWords] = {0, 0, 6, 3000, -1000, 4000, 2000};
    const int32_t cubic[Curve_cubicWords] = {4000, 2000, 7, 3000, 5000, -2000, 4000, 0, 0};
    ASSERT_EQ(Curve_flatten(quad, collect, &flat), 0);
    ASSERT_EQ(Curve_flattenCubic(cubic, collect, &flat), 0);
    flat.resize(flat.size() - 2); // the last point is the first
    ASSERT_GT(flat.size(), 12u);
    for (uint32_t s = 0; s <= 3; s++) {
        CrossingTable *curved = table(p, s);
        CrossingTable *poly = table(polygons({flat}), s);
        ASSERT_NE(curved, nullptr);
        EXPECT_EQ(tableRows(curved), tableRows(poly)) << s;
    }
}

// ----------------------------------------------------------- table layout

TEST_F(ScanFillTest, NewTableTakesTheScratchBufferAndPlacesItsBox)
{
    Bitmap *b = bitmap(4, 4, Pixel_formatGrey8);
    Path *p = polygons({{-1000, 700, 2000, 700, 2000, 3000, -1000, 3000}});
    FillRequest req = request(p, 2, 0);
    CrossingTable *t = nullptr;
    ASSERT_EQ(Fill_newCrossingTable(&t, &req, b), Res_ok);
    keep(t);
    EXPECT_EQ(b->scratch[0], nullptr);
    EXPECT_EQ(b->scratchSize[0], 0u);
    EXPECT_EQ(t->clipX0, -4); // -1000 >> 8
    EXPECT_EQ(t->clipX1, 8);  // (2000 + 255) >> 8
    EXPECT_EQ(t->yOffset, 2 * 256);
    EXPECT_EQ(t->rowCount, (12u - 2u) << 2);
    EXPECT_EQ(t->lastGroup, t->rows + t->rowCount - 4);
    EXPECT_EQ(t->records, t->rows + t->rowCount);
    Rect box;
    CrossingTable_bounds(t, 2, &box);
    EXPECT_EQ(box.x0, -4);
    EXPECT_EQ(box.y0, 2);
    EXPECT_EQ(box.x1, 8);
    EXPECT_EQ(box.y1, 12);
    // The rows' records follow one another.
    for (uint32_t r = 1; r < t->rowCount; r++)
        EXPECT_GE(t->rows[r], t->rows[r - 1] + 1 + CrossingTable_row(t, r - 1)[0]);
}

TEST_F(ScanFillTest, EmptyBoxesAndBadScalesAreRefused)
{
    Bitmap *b = bitmap(4, 4, Pixel_formatGrey8);
    CrossingTable *t = reinterpret_cast<CrossingTable *>(1);
    FillRequest none = request(emptyPath(), 1, 0);
    EXPECT_EQ(Fill_newCrossingTable(&t, &none, b), Res_pathEmptyArea);
    EXPECT_EQ(t, nullptr);
    // A flat shape has no rows at all.
    FillRequest flat = request(polygons({{0, 512, 1000, 512, 3000, 512}}), 1, 0);
    EXPECT_EQ(Fill_newCrossingTable(&t, &flat, b), Res_pathEmptyArea);
    FillRequest zeroScale = request(polygons({{0, 0, 500, 0, 500, 500}}, true, 0), 1, 0);
    EXPECT_EQ(Fill_newCrossingTable(&t, &zeroScale, b), Res_nullInput);
    EXPECT_EQ(t, nullptr);
}

TEST_F(ScanFillTest, ATableTooLargeToHoldAnswersOutOfMemory)
{
    // 2^23 pixel rows of 2^8 sub-rows: the row array alone needs 2^33
    // bytes, beyond what 32 bits can say; smaller tables beyond the heap
    // fail the same way. Nothing is kept.
    Bitmap *b = bitmap(4, 4, Pixel_formatGrey8);
    Path *p = polygons({{0, INT32_MIN, 256, INT32_MIN, 256, INT32_MAX, 0, INT32_MAX}});
    for (uint32_t s : {8u, 3u, 0u}) {
        FillRequest req = request(p, s, 0);
        CrossingTable *t = nullptr;
        EXPECT_EQ(Fill_newCrossingTable(&t, &req, b), Res_noMemory) << s;
        EXPECT_EQ(t, nullptr);
    }
    // The bitmap keeps working afterwards.
    FillRequest small = request(polygons({{0, 0, 512, 0, 512, 512}}), 2, 0);
    CrossingTable *t = nullptr;
    EXPECT_EQ(Fill_newCrossingTable(&t, &small, b), Res_ok);
    keep(t);
}

// ------------------------------------------------------------- reduction

TEST_F(ScanFillTest, OverlappingRectanglesReduceByEachRule)
{
    // Two rectangles drawn the same way round, overlapping in x.
    const std::vector<Contour> rects = {{0, 0, 2560, 0, 2560, 1024, 0, 1024},
                                        {1280, 0, 3840, 0, 3840, 1024, 1280, 1024}};
    for (uint32_t rule : {0u, 1u}) {
        CrossingTable *t = table(polygons(rects), 0, rule);
        ASSERT_NE(t, nullptr);
        Rows_reduceToSpans(t->rows, t->records, t->rowCount, rule);
        for (uint32_t r = 0; r < t->rowCount; r++) {
            const uint32_t *rec = CrossingTable_row(t, r);
            std::vector<uint32_t> spans(rec + 1, rec + 1 + rec[0]);
            if (rule == 0)
                EXPECT_EQ(spans, (std::vector<uint32_t>{0, 15}));
            else
                EXPECT_EQ(spans, (std::vector<uint32_t>{0, 5, 10, 15}));
        }
    }
}

TEST_F(ScanFillTest, ReductionDropsEmptySpansAndMergesTouchingOnes)
{
    struct Case {
        uint32_t evenOdd;
        std::vector<uint32_t> crossings; // direction bit set for -1
        std::vector<uint32_t> spans;
    };
    const uint32_t d = Crossing_directionBit;
    const Case cases[] = {
        {0, {2, 5 | d, 5, 9 | d}, {2, 9}}, // touching: merged
        {0, {4, 4 | d, 6, 8 | d}, {6, 8}}, // empty span dropped
        {0, {1, 3, 5 | d, 7 | d}, {1, 7}}, // winding 2 inside
        {0, {1, 3 | d, 3 | d, 7}, {1, 7}}, // winding -1 from 3 on: a span that starts
                                           // where the last ended joins it
        {1, {2, 5, 5, 9}, {2, 9}},         // touching: the shared edge vanishes
        {1, {4, 4, 6, 8}, {6, 8}},         // empty span vanishes
        {1, {1, 3, 5, 7}, {1, 3, 5, 7}},
    };
    for (const Case &c : cases) {
        std::vector<uint32_t> rows = {0}, records = {uint32_t(c.crossings.size())};
        records.insert(records.end(), c.crossings.begin(), c.crossings.end());
        Rows_reduceToSpans(rows.data(), records.data(), 1, c.evenOdd);
        std::vector<uint32_t> got(records.begin() + 1, records.begin() + 1 + records[0]);
        EXPECT_EQ(got, c.spans);
    }
}

// ---------------------------------------------------------- intersections

// Every covered (sub-row, sub-column) sample of an even-odd or non-zero
// table, in absolute sub-columns and sub-rows.
std::vector<std::pair<int64_t, int64_t>> samples(const CrossingTable *t, uint32_t s)
{
    std::vector<std::pair<int64_t, int64_t>> out;
    int64_t firstRow = int64_t(t->yOffset) >> (8 - s);
    for (uint32_t r = 0; r < t->rowCount; r++) {
        const uint32_t *rec = CrossingTable_row(t, r);
        int32_t w = 0;
        for (uint32_t i = 0; i < rec[0]; i++) {
            uint32_t v = rec[1 + i];
            w = t->fillRule ? w ^ 1 : w + ((v & Crossing_directionBit) ? -1 : 1);
            uint32_t from = v & Crossing_xMask;
            uint32_t to = i + 1 < rec[0] ? rec[2 + i] & Crossing_xMask : from;
            if (w != 0)
                for (uint32_t x = from; x < to; x++)
                    out.push_back({firstRow + r, (int64_t(t->clipX0) << s) + x});
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

TEST_F(ScanFillTest, IntersectionHoldsWhatBothTablesCover)
{
    std::mt19937 rng(77);
    for (int k = 0; k < 30; k++) {
        auto shape = [&]() {
            std::vector<Contour> cs;
            for (int c = 0; c < 2; c++) {
                Contour pts;
                for (int i = 0; i < 5; i++) {
                    pts.push_back(int32_t(rng() % 5000) - 800);
                    pts.push_back(int32_t(rng() % 5000) - 800);
                }
                cs.push_back(pts);
            }
            return cs;
        };
        uint32_t s = 1 + k % 2;
        CrossingTable *a = table(polygons(shape()), s, k % 3 == 0);
        CrossingTable *b = table(polygons(shape()), s, k % 2);
        ASSERT_TRUE(a && b);
        auto sa = samples(a, s), sb = samples(b, s);
        std::vector<std::pair<int64_t, int64_t>> both;
        std::set_intersection(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(both));
        CrossingTable *c = nullptr;
        ASSERT_EQ(CrossingTable_intersect(a, b, &c, s), Res_ok);
        keep(c);
        if (!c) {
            EXPECT_TRUE(both.empty());
            continue;
        }
        EXPECT_EQ(c->fillRule, uint32_t(Fill_ruleEvenOdd));
        EXPECT_EQ(c->clipX0, std::max(a->clipX0, b->clipX0));
        EXPECT_EQ(c->clipX1, std::min(a->clipX1, b->clipX1));
        EXPECT_EQ(c->lastGroup, c->rows + c->rowCount - (1u << s));
        // Crossings left of the result's box are cut at its edge.
        auto sc = samples(c, s);
        std::vector<std::pair<int64_t, int64_t>> inBox;
        for (auto &p : both)
            if (p.second >= (int64_t(c->clipX0) << s))
                inBox.push_back(p);
        EXPECT_EQ(sc, inBox) << k;
        // Even-odd rows without zero-length spans.
        for (uint32_t r = 0; r < c->rowCount; r++) {
            const uint32_t *rec = CrossingTable_row(c, r);
            EXPECT_EQ(rec[0] % 2, 0u);
            for (uint32_t i = 0; i + 1 < rec[0]; i++)
                EXPECT_LT(rec[1 + i], rec[2 + i]);
        }
    }
}

TEST_F(ScanFillTest, IntersectionOfRowsThatDoNotMeetIsNull)
{
    CrossingTable *a = table(polygons({{0, 0, 1024, 0, 1024, 1024, 0, 1024}}), 1);
    CrossingTable *b = table(polygons({{0, 1024, 1024, 1024, 1024, 2048, 0, 2048}}), 1);
    CrossingTable *c = reinterpret_cast<CrossingTable *>(1);
    ASSERT_EQ(CrossingTable_intersect(a, b, &c, 1), Res_ok);
    EXPECT_EQ(c, nullptr);
    // Touching side by side: rows overlap, but the region is empty; no
    // zero-length span comes out.
    CrossingTable *d = table(polygons({{1024, 0, 2048, 0, 2048, 1024, 1024, 1024}}), 1);
    ASSERT_EQ(CrossingTable_intersect(a, d, &c, 1), Res_ok);
    keep(c);
    ASSERT_NE(c, nullptr);
    for (uint32_t r = 0; r < c->rowCount; r++)
        EXPECT_EQ(CrossingTable_row(c, r)[0], 0u);
}

TEST_F(ScanFillTest, IntersectionFailsCleanlyWhenMemoryRunsOut)
{
    CrossingTable *a = table(polygons({{0, 0, 3000, 0, 3000, 3000}}), 2);
    CrossingTable *b = table(polygons({{500, 500, 3500, 800, 900, 3900}}), 2);
    for (int n = 1;; n++) {
        Mem_failAfter(n);
        CrossingTable *c = nullptr;
        int r = CrossingTable_intersect(a, b, &c, 2);
        Mem_failAfter(0);
        if (r == Res_ok) {
            keep(c);
            ASSERT_NE(c, nullptr);
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(c, nullptr);
    }
}

// ---------------------------------------------------------------- bounds

TEST_F(ScanFillTest, DeviceBoundsScaleThePathIntoTheTarget)
{
    // A path of scale 0x10000 into a target of scale 0x8000: half size,
    // 8 fractional bits.
    Path *p = polygons({{10, 20, 110, 20, 60, 220}});
    Matrix m = {0x10000, 0, 0, 0x10000, 4, 0};
    FillRequest req = request(p, 0, 0, &m);
    Rect r;
    ASSERT_EQ(Fill_deviceBounds(nullptr, &req, 0x8000, &r), Res_ok);
    EXPECT_EQ(r.x0, (10 + 4) * 128);
    EXPECT_EQ(r.y0, 20 * 128);
    EXPECT_EQ(r.x1, (110 + 4) * 128);
    EXPECT_EQ(r.y1, 220 * 128);
    // A pen outline: the stroke's box, half the pen's width (2 path units,
    // 256 device units) around the edges, the joins bevelled (no miter
    // limit).
    req.penKind = 1;
    req.pen.width = 4;
    ASSERT_EQ(Fill_deviceBounds(nullptr, &req, 0x8000, &r), Res_ok);
    EXPECT_EQ(r.y0, 18 * 128);
    EXPECT_LT(r.x0, 14 * 128);
    EXPECT_GE(r.x0, 12 * 128);
    EXPECT_GT(r.x1, 114 * 128);
    EXPECT_LE(r.x1, 116 * 128);
    EXPECT_GT(r.y1, 220 * 128);
    EXPECT_LE(r.y1, 222 * 128);
    Bitmap *b = bitmap(4, 4, Pixel_formatGrey8);
    CrossingTable *t = nullptr;
    EXPECT_EQ(Fill_newCrossingTable(&t, &req, b), Res_ok);
    ASSERT_NE(t, nullptr);
    tables.push_back(t);
}

} // namespace
