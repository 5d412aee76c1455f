// Raster geometry utilities and raster row routines: integer roots and
// division, vector lengths, rectangle containment, the run-coded mask hit
// test, polygons as paths, the cached buffer destructors, the 5-6-5 block
// reducers, the stencil row expanders, and the packed path walker.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/pathwalk.h"
#include "core/geom/rect.h"
#include "core/result.h"
#include "graphics/pathbounds.h"
#include "graphics/glyphmask.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "graphics/rastergeom.h"
#include "graphics/rasterrows.h"
#include "graphics/vector.h"
#include "tests/support/heap_fixture.h"

namespace {

class RasterGeomTest : public LeakCheckedHeapTest<> {};

TEST_F(RasterGeomTest, IntegerSquareRoots)
{
    struct Case {
        uint64_t v;
        uint32_t root;
    };
    const Case cases[] = {{0, 0},
                          {1, 1},
                          {3, 1},
                          {0xFFFF, 255},
                          {0x10000, 256},
                          {1ull << 32, 65536},
                          {~0ull, 0xFFFFFFFF},
                          {(1ull << 62) - 1, (1u << 31) - 1}};
    for (const Case &c : cases)
        EXPECT_EQ(Math_isqrt64(uint32_t(c.v), uint32_t(c.v >> 32)), c.root) << c.v;
    std::mt19937_64 rng(3);
    for (int i = 0; i < 2000; i++) {
        uint64_t v = rng() >> (rng() % 64);
        uint64_t r = Math_isqrt64(uint32_t(v), uint32_t(v >> 32));
        unsigned __int128 next = (unsigned __int128)(r + 1) * (r + 1);
        EXPECT_LE(r * r, v);
        EXPECT_TRUE(next > v) << v;
    }
    // Squares and their neighbours, where a rounded root would be one off.
    for (uint64_t r : {uint64_t(3), uint64_t(65535), uint64_t(94906265), uint64_t(3037000499),
                       uint64_t(4294967294), uint64_t(4294967295)}) {
        EXPECT_EQ(Math_isqrt64(uint32_t(r * r), uint32_t((r * r) >> 32)), r);
        EXPECT_EQ(Math_isqrt64(uint32_t(r * r - 1), uint32_t((r * r - 1) >> 32)), r - 1);
        if (r < 4294967295u) {
            uint64_t next = (r + 1) * (r + 1) - 1;
            EXPECT_EQ(Math_isqrt64(uint32_t(next), uint32_t(next >> 32)), r);
        }
    }
    EXPECT_EQ(Path_pointDistance(1, 1, 4, 5), 5u);
    // The difference wraps as a 32-bit value: -1.
    EXPECT_EQ(Path_pointDistance(INT32_MIN, 0, INT32_MAX, 0), 1u);
    EXPECT_EQ(Vector_length(-3, 4), 5u);
    EXPECT_EQ(Vector_length(INT32_MIN, INT32_MIN), 3037000499u);
}

TEST_F(RasterGeomTest, Division64By32)
{
    uint32_t rest = 0;
    EXPECT_EQ(Math_divide64(100, 0, 7, &rest), 14u);
    EXPECT_EQ(rest, 2u);
    EXPECT_EQ(Math_divide64(0, 6, 7, &rest), uint32_t((6ull << 32) / 7));
    EXPECT_EQ(rest, uint32_t((6ull << 32) % 7));
    std::mt19937 rng(9);
    for (int i = 0; i < 1000; i++) {
        uint32_t d = rng() | 1, hi = rng() % d, lo = rng();
        uint64_t v = (uint64_t(hi) << 32) | lo;
        EXPECT_EQ(Math_divide64(lo, hi, d, &rest), uint32_t(v / d));
        EXPECT_EQ(rest, uint32_t(v % d));
    }
    // A quotient that cannot fit saturates instead of wrapping.
    EXPECT_EQ(Math_divide64(0, 7, 7, &rest), 0xFFFFFFFFu);
    EXPECT_EQ(Math_divide64(5, 0, 0, nullptr), 0xFFFFFFFFu);
}

TEST_F(RasterGeomTest, VectorSetLength)
{
    struct Case {
        Point in;
        int32_t length;
        Point out;
    };
    const Case cases[] = {
        {{3, 4}, 10, {6, 8}},         {{3, 4}, -5, {-3, -4}}, {{0, 0}, 7, {0, 0}},
        {{3, 4}, 0, {0, 0}},          {{-3, 4}, 10, {-6, 8}}, {{0, -9}, 2, {0, -2}},
        {{INT32_MIN, 0}, 1, {-1, 0}},
    };
    for (const Case &c : cases) {
        Point v = c.in;
        Vector_setLength(&v, c.length);
        EXPECT_EQ(v.x, c.out.x) << c.in.x << ", " << c.in.y << " to " << c.length;
        EXPECT_EQ(v.y, c.out.y);
    }
}

TEST_F(RasterGeomTest, RectContains)
{
    const Rect outer = {0, 0, 10, 10};
    const Rect cases[] = {
        {0, 0, 10, 10}, {2, 3, 4, 5}, {-1, 0, 5, 5}, {0, 0, 11, 10}, {5, 5, 5, 5}};
    const int want[] = {1, 1, 0, 0, 1};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(Rect_contains(&outer, &cases[i]), want[i]) << i;
}

// Codes of one row: little-endian words, literal bytes, padding.
std::vector<uint8_t> codes(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out;
    for (uint32_t w : words) {
        out.push_back(uint8_t(w));
        out.push_back(uint8_t(w >> 8));
    }
    return out;
}

TEST_F(RasterGeomTest, MaskRleHit)
{
    // One pixel of coverage 128, then 5 transparent pixels, last.
    std::vector<uint8_t> row =
        codes({GlyphMask_kindPixel | 128, GlyphMask_kindSkip | GlyphMask_lastCode | 5});
    int out = -1;
    const int want[] = {1, 0, 0, 0, 0, 0, 0};
    for (int x = 0; x <= 6; x++) {
        ASSERT_EQ(MaskRle_hit(0, row.data(), uint32_t(row.size()), x, &out), Res_ok);
        EXPECT_EQ(out, want[x]) << x;
    }
    // 2 opaque, a literal of 3 (50, 200, 127) with its pad, 1 opaque, last;
    // the row starts 2 bytes into the data.
    std::vector<uint8_t> data = {0xEE, 0xEE};
    for (uint8_t b : codes({GlyphMask_kindFull | 2, GlyphMask_kindLiteral | 3}))
        data.push_back(b);
    for (uint8_t b : {50, 200, 127, 0})
        data.push_back(b);
    for (uint8_t b : codes({GlyphMask_kindFull | GlyphMask_lastCode | 1}))
        data.push_back(b);
    const int want2[] = {1, 1, 0, 1, 0, 1, 0, 0};
    for (int x = 0; x < 8; x++) {
        ASSERT_EQ(MaskRle_hit(2, data.data(), uint32_t(data.size()), x, &out), Res_ok);
        EXPECT_EQ(out, want2[x]) << x;
    }
    // Empty rows, negative x, codes cut short.
    EXPECT_EQ(MaskRle_hit(-1, data.data(), uint32_t(data.size()), 0, &out), Res_ok);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(MaskRle_hit(2, data.data(), uint32_t(data.size()), -1, &out), Res_ok);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(MaskRle_hit(2, data.data(), 7, 3, &out), Res_ok);
    EXPECT_EQ(out, 0);
}

TEST_F(RasterGeomTest, PolygonBecomesAClosedPath)
{
    const int32_t pts[] = {0, 0, 4, 0, 2, 3};
    PolygonShape shape = {3u << 8, 4, 3, pts};
    const Rect rect = {10, 20, 50, 50}; // scale 10 across, 10 down
    Path *p = nullptr;
    ASSERT_EQ(Path_fromPolygon(&shape, &rect, &p), Res_ok);
    std::vector<int32_t> words(p->buffer, p->write);
    EXPECT_EQ(words, (std::vector<int32_t>{9, 10, 20, 5, 50, 20, 5, 30, 50, 4}));
    EXPECT_EQ(p->capacity, uint32_t(words.size())); // trimmed
    EXPECT_EQ(p->scale, 0x10000);
    Path_destroy(p);
    // A zero unit gives zero scale; no points an empty path.
    PolygonShape flat = {3u << 8, 0, 3, pts};
    ASSERT_EQ(Path_fromPolygon(&flat, &rect, &p), Res_ok);
    EXPECT_EQ(p->buffer[1], 10);
    EXPECT_EQ(p->buffer[2], 20);
    EXPECT_EQ(p->buffer[4], 10);
    Path_destroy(p);
    PolygonShape none = {0, 4, 3, pts};
    ASSERT_EQ(Path_fromPolygon(&none, &rect, &p), Res_ok);
    EXPECT_TRUE(Path_isEmpty(p));
    Path_destroy(p);
    for (int n = 1;; n++) {
        Mem_failAfter(n);
        int r = Path_fromPolygon(&shape, &rect, &p);
        Mem_failAfter(0);
        if (r == Res_ok) {
            Path_destroy(p);
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(p, nullptr);
    }
}

// ------------------------------------------------------------- reducers

struct Picture {
    uint32_t width, height;
    std::vector<uint16_t> px;
    uint16_t &at(uint32_t x, uint32_t y)
    {
        return px[y * width + x];
    }
    uint8_t *bytes()
    {
        return reinterpret_cast<uint8_t *>(px.data());
    }
};

// The rounded per-channel average of a block, by the formula.
uint16_t average(Picture &p, uint32_t x0, uint32_t y0, uint32_t cols, uint32_t rows)
{
    uint32_t r = 0, g = 0, b = 0, m = cols * rows;
    for (uint32_t y = y0; y < y0 + rows; y++)
        for (uint32_t x = x0; x < x0 + cols; x++) {
            r += p.at(x, y) >> 11;
            g += (p.at(x, y) >> 5) & 63;
            b += p.at(x, y) & 31;
        }
    return uint16_t((((r + m / 2) / m) << 11) | (((g + m / 2) / m) << 5) | ((b + m / 2) / m));
}

TEST_F(RasterGeomTest, BlockReducersAverageEveryBlock)
{
    std::mt19937 rng(12);
    for (uint32_t k = 1; k <= 3; k++)
        for (uint32_t w : {1u, 6u, 8u, 13u})
            for (uint32_t h : {1u, 4u, 9u}) {
                Picture p{w, h, std::vector<uint16_t>(w * h)};
                for (uint16_t &v : p.px)
                    v = uint16_t(rng());
                Picture before = p;
                Rows565_reduceBox(k, p.bytes(), ptrdiff_t(w * 2), w, h);
                uint32_t n = 1u << k;
                for (uint32_t by = 0; by * n < h; by++)
                    for (uint32_t bx = 0; bx * n < w; bx++) {
                        uint32_t cols = std::min(n, w - bx * n), rows = std::min(n, h - by * n);
                        EXPECT_EQ(p.at(bx, by * n), average(before, bx * n, by * n, cols, rows))
                            << "k " << k << " " << w << "x" << h << " block " << bx << ", " << by;
                    }
            }
    // The worked cases: one colour stays; 0xF800 and three blacks in the
    // first row of a 4 x 4 block give 0x1000.
    Picture solid{4, 4, std::vector<uint16_t>(16, 0x7BEF)};
    Rows565_reduce4(solid.bytes(), 8, 4, 4);
    EXPECT_EQ(solid.at(0, 0), 0x7BEF);
    Picture red{4, 4, std::vector<uint16_t>(16, 0)};
    red.at(0, 0) = 0xF800;
    Rows565_reduce4(red.bytes(), 8, 4, 4);
    EXPECT_EQ(red.at(0, 0), 0x1000);
    // Width 6 at k = 2: a full block and a partial block of 2 columns
    // averaged over 8 pixels.
    Picture six{6, 4, std::vector<uint16_t>(24, 0)};
    for (uint32_t y = 0; y < 4; y++) {
        six.at(4, y) = 0x001F;
        six.at(5, y) = 0x001F;
    }
    Rows565_reduce4(six.bytes(), 12, 6, 4);
    EXPECT_EQ(six.at(0, 0), 0);
    EXPECT_EQ(six.at(1, 0), 0x001F);
    Picture eight{8, 8, std::vector<uint16_t>(64, 0xFFFF)};
    Rows565_reduce8(eight.bytes(), 16, 8, 8);
    EXPECT_EQ(eight.at(0, 0), 0xFFFF);
    Picture two{2, 2, {0x0800, 0x0800, 0, 0}};
    Rows565_reduceBox(1, two.bytes(), 4, 2, 2);
    EXPECT_EQ(two.at(0, 0), 0x0800); // (2 + 2) >> 2 = 1
}

TEST_F(RasterGeomTest, StencilRows)
{
    const uint8_t samples[] = {0, 1, 0, 255};
    uint32_t colours[4];
    uint8_t alphas[4];
    StencilRow_toColour(samples, colours, alphas, 4, 0, 0, 0x123456);
    EXPECT_EQ(std::vector<uint32_t>(colours, colours + 4),
              (std::vector<uint32_t>{0xFFFF, 0x123456, 0xFFFF, 0x123456}));
    EXPECT_EQ(std::vector<uint8_t>(alphas, alphas + 4), (std::vector<uint8_t>{0, 255, 0, 255}));
    StencilRow_toColourInverted(samples, colours, alphas, 4, 0, 0, 0x123456);
    EXPECT_EQ(std::vector<uint32_t>(colours, colours + 4),
              (std::vector<uint32_t>{0x123456, 0xFFFF, 0x123456, 0xFFFF}));
    EXPECT_EQ(std::vector<uint8_t>(alphas, alphas + 4), (std::vector<uint8_t>{255, 0, 255, 0}));
}

// --------------------------------------------------------- packed walker

struct Walked {
    std::vector<std::vector<int32_t>> calls; // slot, points..., last, start
};

template <int Slot>
int note(const int32_t *pts, void *user, const int32_t *last, const int32_t *start)
{
    Walked *w = static_cast<Walked *>(user);
    std::vector<int32_t> c = {Slot};
    int n = Slot == 6 ? 2 : Slot == 7 ? 3 : (Slot == 0 || Slot == 4) ? 0 : 1;
    for (int i = 0; i < 2 * n; i++)
        c.push_back(pts[i]);
    // Curves find their start point three words before their first point.
    if ((Slot == 6 || Slot == 7) && last) {
        c.push_back(pts[-3]);
        c.push_back(pts[-2]);
    }
    c.push_back(last ? last[0] : -1);
    c.push_back(start ? start[1] : -1);
    w->calls.push_back(c);
    return 0;
}

TEST_F(RasterGeomTest, PackedPathsWalkLikePlainOnes)
{
    const PathWalkFn slots[16] = {note<0>, note<1>, nullptr, nullptr, note<4>, note<5>,
                                  note<6>, note<7>, nullptr, note<9>, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr};
    Path *p = nullptr;
    ASSERT_EQ(Path_create(&p, 0x10000), Res_ok);
    ASSERT_EQ(Path_moveTo(p, 5, -7), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 100000, 3), Res_ok);
    ASSERT_EQ(Path_lineToOp1(p, -8, 8), Res_ok);
    ASSERT_EQ(Path_quadTo(p, 1, 2, 3, 4), Res_ok);
    ASSERT_EQ(Path_close(p), Res_ok);
    ASSERT_EQ(Path_moveTo(p, INT32_MIN, INT32_MAX), Res_ok);
    ASSERT_EQ(Path_curveTo(p, 0, 0, 9, 9, -3, 12), Res_ok); // left open
    Walked plain, packed;
    ASSERT_EQ(Path_walk(p, slots, &plain), Res_ok);
    Rect plainBox, packedBox;
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, p, &plainBox), Res_ok);
    ASSERT_EQ(Path_pack(p), Res_ok);
    ASSERT_EQ(Edr_Draw_getBounds2(nullptr, p, &packedBox), Res_ok);
    EXPECT_TRUE(Rect_equal(&plainBox, &packedBox));
    ASSERT_EQ(p->state, Path_statePacked);
    ASSERT_EQ(Path_walk(p, slots, &packed), Res_ok);
    EXPECT_EQ(packed.calls, plain.calls);
    ASSERT_EQ(plain.calls.size(), 8u);
    EXPECT_EQ(plain.calls.back()[0], 0); // the open subpath's end
    // A callback's answer ends the walk.
    const PathWalkFn stop[16] = {
        nullptr, nullptr,
        nullptr, nullptr,
        nullptr, [](const int32_t *, void *, const int32_t *, const int32_t *) { return 42; }};
    EXPECT_EQ(Path_walkPacked(p, stop, nullptr), 42);
    Path_destroy(p);
}

TEST(Vector, StepTowardTable)
{
    struct {
        const char *what;
        int32_t x0, y0, x1, y1, distance;
        Point want;
    } cases[] = {
        {"right", 0, 0, 50, 0, 10, {10, 0}},
        {"left", 0, 0, -50, 0, 10, {-10, 0}},
        {"right, negative distance", 0, 0, 50, 0, -10, {-10, 0}},
        {"down", 3, 4, 3, 90, 7, {3, 11}},
        {"up", 3, 4, 3, -90, 7, {3, -3}},
        {"past the target", 0, 0, 5, 0, 100, {100, 0}},
        {"equal points", 8, 9, 8, 9, 100, {8, 9}},
        {"3-4-5", 10, 20, 40, 60, 10, {16, 28}},
        {"3-4-5, negative distance", 10, 20, 40, 60, -5, {7, 16}},
        {"3-4-5, exact at full length", 0, 0, 3, -4, 5, {3, -4}},
        {"zero distance", 0, 0, 30, 40, 0, {0, 0}},
        // Short vectors are measured after scaling up: (1, 1) is not taken
        // as length 1, and 100 along the diagonal is 70.7 on each axis.
        {"short diagonal", 0, 0, 1, 1, 100, {70, 70}},
        {"short diagonal, 16.16", 0, 0, 1, -1, 0x640000, {0x46B5EF, -0x46B5EF}},
        // Differences past 32 bits keep their direction.
        {"x difference past 2^31", INT32_MIN + 10, 0, INT32_MAX - 10, 1, 100, {INT32_MIN + 110, 0}},
        {"both past 2^31",
         -2000000000,
         -2000000000,
         2000000000,
         2000000000,
         1000,
         {-2000000000 + 707, -2000000000 + 707}},
    };
    for (auto &c : cases) {
        Point p = {};
        Geom_stepToward(&p, c.x0, c.y0, c.x1, c.y1, c.distance);
        EXPECT_EQ(c.want.x, p.x) << c.what;
        EXPECT_EQ(c.want.y, p.y) << c.what;
    }
}

} // namespace
