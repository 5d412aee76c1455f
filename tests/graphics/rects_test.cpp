// Rectangle services: document rectangles to device pixels in the three
// modes, and the split of a rectangle around another.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "graphics/bitmap.h"
#include "graphics/rects.h"

namespace {

Bitmap withScale(int32_t scale)
{
    Bitmap b{};
    b.scale = scale;
    return b;
}

bool same(const Rect &a, const Rect &b)
{
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
}

// Scale 0x8000 halves: a value v gives v x 0x10000 >> 17 (+ 0x10000 first
// when rounding), i.e. v / 2.
TEST(RectToDevice, ModesRoundTruncateAndWiden)
{
    const Bitmap half = withScale(0x8000);
    struct Case {
        Rect in;
        uint32_t mode;
        Rect out;
    } cases[] = {
        {{3, 5, 11, 20}, RectDevice_round, {2, 3, 6, 10}}, // halves rounded up
        {{3, 5, 11, 20}, RectDevice_outer, {1, 2, 7, 12}}, // truncated, x1 and y1 + 2
        {{3, 5, 11, 20}, RectDevice_roundAll, {2, 3, 6, 10}},
        {{4, 4, 4, 5}, RectDevice_round, {2, 2, 3, 3}},     // kept one pixel wide and high
        {{4, 4, 4, 5}, RectDevice_roundAll, {2, 2, 2, 3}},  // not in mode 2
        {{-3, -5, 1, 1}, RectDevice_outer, {-2, -3, 2, 2}}, // the shift is arithmetic
        {{3, 5, 11, 20}, 7, {3, 5, 11, 20}},                // other modes do not scale
    };
    for (const Case &c : cases) {
        Rect out;
        Rect_toDevice(&out, &c.in, nullptr, &half, c.mode);
        EXPECT_TRUE(same(out, c.out)) << "mode " << c.mode << ": " << out.x0 << "," << out.y0 << ","
                                      << out.x1 << "," << out.y1;
    }
}

TEST(RectToDevice, CornersGoThroughTheMatrixAndTheInfiniteRectangleStays)
{
    const Bitmap unit = withScale(0x10000);
    // A mirror in y: the corners swap, the result is their bounding box.
    Matrix flip{0x10000, 0, 0, -0x10000, 10, 100};
    Rect r{0, 0, 20, 30}, out;
    Rect_toDevice(&out, &r, &flip, &unit, RectDevice_round);
    EXPECT_TRUE(same(out, Rect{10, 70, 30, 100}));
    // Large page values multiply in 64 bits.
    Rect big{0, 0, 0x7FFF0000, 0x10000};
    Rect_toDevice(&out, &big, nullptr, &unit, RectDevice_roundAll);
    EXPECT_EQ(out.x1, 0x7FFF0000);
    Rect_toDevice(&out, Rect_getInfinite(), &flip, &unit, RectDevice_round);
    EXPECT_TRUE(Rect_isInfinite(&out));
    // out may be the input.
    Rect same{2, 2, 4, 4};
    Rect_toDevice(&same, &same, nullptr, &unit, RectDevice_outer);
    EXPECT_EQ(same.x1, 6);
}

// Mode 0 never makes a non-empty rectangle empty, whatever the scale.
TEST(RectToDevice, ModeZeroNeverEmpties)
{
    for (int32_t scale : {1, 8, 0x100, 0x8000, 0x10000, 0x30000}) {
        const Bitmap b = withScale(scale);
        for (int32_t w : {1, 3, 1000, 0x10000}) {
            Rect r{-7, 11, -7 + w, 11 + w}, out;
            Rect_toDevice(&out, &r, nullptr, &b, RectDevice_round);
            EXPECT_LT(out.x0, out.x1) << scale << " " << w;
            EXPECT_LT(out.y0, out.y1) << scale << " " << w;
        }
    }
}

std::vector<Rect> split(const Rect &r, const Rect &s)
{
    Rect out[4];
    uint32_t n = Rect_splitBands(out, &r, &s);
    return std::vector<Rect>(out, out + n);
}

TEST(RectSplitBands, PartsOutsideInOrderFromWhatIsLeft)
{
    const Rect r{0, 0, 100, 100};
    // Covered entirely: nothing.
    EXPECT_TRUE(split(r, Rect{-1, -1, 101, 101}).empty());
    EXPECT_TRUE(split(r, r).empty());
    // In the middle: above (from s.y1), below, right, left, each cut from
    // what remains.
    std::vector<Rect> parts = split(r, Rect{20, 30, 60, 70});
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_TRUE(same(parts[0], Rect{0, 70, 100, 100}));
    EXPECT_TRUE(same(parts[1], Rect{0, 0, 100, 30}));
    EXPECT_TRUE(same(parts[2], Rect{60, 30, 100, 70}));
    EXPECT_TRUE(same(parts[3], Rect{0, 30, 20, 70}));
    // Edges on or outside r's edges give no part.
    parts = split(r, Rect{0, 50, 100, 120});
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_TRUE(same(parts[0], Rect{0, 0, 100, 50}));
    parts = split(r, Rect{80, -10, 140, 40});
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_TRUE(same(parts[0], Rect{0, 40, 100, 100}));
    EXPECT_TRUE(same(parts[1], Rect{0, 0, 80, 40}));
    // The parts and s tile r.
    parts = split(r, Rect{10, 10, 90, 20});
    int64_t area = 80 * 10;
    for (const Rect &p : parts)
        area += int64_t(p.x1 - p.x0) * (p.y1 - p.y0);
    EXPECT_EQ(area, 100 * 100);
}

} // namespace
