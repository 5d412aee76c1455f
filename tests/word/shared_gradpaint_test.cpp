// Gradient paint set-up: the linear angles, lengths and origin shifts, the
// elliptical and circular matrices, the ramp (two entries or 256, at most
// 20 stops, transparency) and running out of memory.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/container/stoplist.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pixelbuf.h"
#include "layout/replaced.h"
#include "tests/support/heap_fixture.h"
#include "word/shared/gradpaint.h"

namespace {

constexpr int32_t kOne = 0x10000;
const int32_t kTwoStops[] = {0, int32_t(0xFF0000FFu), kOne, int32_t(0xFFFF0000u)};

class GradPaintTest : public LeakCheckedHeapTest<> {
  protected:
    static GradientDesc linear(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t keep = 0)
    {
        GradientDesc d{};
        d.kind = GradientKind_linear;
        d.x1 = x1;
        d.y1 = y1;
        d.x2 = x2;
        d.y2 = y2;
        d.keepAngle = keep;
        d.count = 2;
        d.stops = kTwoStops;
        return d;
    }
    // The matrix of a linear gradient over box.
    static PaintGradient linearOver(const GradientDesc &d, const Rect &box)
    {
        PaintGradient g{};
        EXPECT_EQ(Paint_setLinearGradient(&g, &d, &box), Res_ok);
        EXPECT_EQ(g.form, uint32_t(GradientForm_linear));
        return g;
    }
};

TEST_F(GradPaintTest, LinearAnglesFromTheEndPoints)
{
    const int32_t w = 200 << 16, h = 100 << 16;
    const Rect box = {10 << 16, 20 << 16, (10 << 16) + w, (20 << 16) + h};
    // Left to right: angle 0, scales 4w and 4h, origin at the start point.
    PaintGradient g = linearOver(linear(0, kOne / 2, kOne, kOne / 2), box);
    EXPECT_EQ(g.matrix.a, 4 * w);
    EXPECT_EQ(g.matrix.b, 0);
    EXPECT_EQ(g.matrix.c, 0);
    EXPECT_EQ(g.matrix.d, 4 * h);
    EXPECT_EQ(g.matrix.tx, 10 << 16);
    EXPECT_EQ(g.matrix.ty, box.y1 - h / 2);
    // Right to left: angle 180.
    g = linearOver(linear(kOne, 0, 0, 0), box);
    EXPECT_EQ(g.matrix.a, -4 * w);
    EXPECT_EQ(g.matrix.d, -4 * h);
    EXPECT_EQ(g.matrix.tx, box.x1);
    // Top to bottom (y2 > y1): angle -90, lengths (h, w).
    g = linearOver(linear(kOne / 2, 0, kOne / 2, kOne), box);
    EXPECT_EQ(g.matrix.a, 0);
    EXPECT_EQ(g.matrix.b, -4 * h);
    EXPECT_EQ(g.matrix.c, 4 * w);
    EXPECT_EQ(g.matrix.d, 0);
    EXPECT_EQ(g.matrix.ty, box.y1);
    // Bottom to top: angle 90.
    g = linearOver(linear(0, kOne, 0, 0), box);
    EXPECT_EQ(g.matrix.a, 0);
    EXPECT_EQ(g.matrix.b, 4 * h);
}

TEST_F(GradPaintTest, DiagonalAnglesShiftTheOrigin)
{
    const int32_t side = 100 << 16;
    const Rect box = {0, 0, side, side};
    struct Case {
        int32_t x1, y1, x2, y2;
        double angle; // degrees after the quarter turn
        int32_t shiftX, shiftY;
    } cases[] = {
        {0, 0, kOne, kOne, 45, -side, 0},
        {kOne, 0, 0, kOne, -45, 0, side},
        {kOne, kOne, 0, 0, 225, side, 0},
        {0, kOne, kOne, 0, 135, 0, -side},
    };
    const double length = 4 * 2 * 100 * std::sqrt(0.5);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        PaintGradient g = linearOver(linear(c.x1, c.y1, c.x2, c.y2), box);
        double a = c.angle * std::numbers::pi / 180;
        EXPECT_NEAR(g.matrix.a / 65536.0, length * std::cos(a), 0.05);
        EXPECT_NEAR(g.matrix.b / 65536.0, length * std::sin(a), 0.05);
        EXPECT_EQ(g.matrix.tx, Rect{box}.x0 + int32_t(int64_t(c.x1) * side >> 16) + c.shiftX);
        EXPECT_EQ(g.matrix.ty, box.y1 + c.shiftY - int32_t(int64_t(c.y1) * side >> 16));
    }
    // Kept angles take no quarter turn and no shift.
    PaintGradient g = linearOver(linear(0, 0, kOne, kOne, 1), box);
    EXPECT_NEAR(g.matrix.a / 65536.0, length * std::cos(-std::numbers::pi / 4), 0.05);
    EXPECT_NEAR(g.matrix.b / 65536.0, length * std::sin(-std::numbers::pi / 4), 0.05);
    EXPECT_EQ(g.matrix.tx, 0);
    EXPECT_EQ(g.matrix.ty, side);
}

TEST_F(GradPaintTest, EllipticalAndCircularForms)
{
    const Rect box = {0, 0, 200 << 16, 100 << 16};
    GradientDesc d{};
    d.kind = GradientKind_elliptical;
    d.centreX = d.centreY = kOne / 2;
    d.sizeX = d.sizeY = kOne / 2;
    d.count = 2;
    d.stops = kTwoStops;
    Paint paint{};
    ASSERT_EQ(Paint_setGradient(&paint, &d, &box), Res_ok);
    EXPECT_EQ(paint.kind, uint32_t(Paint_kindRamp));
    ASSERT_NE(paint.gradient, nullptr);
    EXPECT_EQ(paint.gradient->form, uint32_t(GradientForm_elliptical));
    EXPECT_EQ(paint.gradient->matrix.a, 400 << 16);
    EXPECT_EQ(paint.gradient->matrix.d, 200 << 16);
    EXPECT_EQ(paint.gradient->matrix.tx, 0);
    EXPECT_EQ(paint.gradient->matrix.ty, 0);
    Paint_free(&paint);

    d.kind = GradientKind_circular;
    ASSERT_EQ(Paint_setGradient(&paint, &d, &box), Res_ok);
    EXPECT_EQ(paint.gradient->form, uint32_t(GradientForm_circular));
    EXPECT_EQ(paint.gradient->matrix.a, 400 << 16);
    EXPECT_EQ(paint.gradient->matrix.d, 400 << 16);
    EXPECT_EQ(paint.gradient->matrix.tx, 0);
    EXPECT_EQ(paint.gradient->matrix.ty, -(50 << 16));
    Paint_free(&paint);
    EXPECT_EQ(paint.gradient, nullptr);
}

TEST_F(GradPaintTest, RampsFromTheStops)
{
    const Rect box = {0, 0, 100, 100};
    GradientDesc d = linear(0, 0, kOne, 0);
    Paint paint{};
    // Two opaque stops at the ends: a two-entry ramp.
    ASSERT_EQ(Paint_setGradient(&paint, &d, &box), Res_ok);
    EXPECT_EQ(paint.gradient->ramp->width, 2);
    EXPECT_EQ(paint.gradient->transparent, 0u);
    Paint_free(&paint);
    // 25 stops: the first 20 make a 256-entry ramp; positions are clamped.
    std::vector<int32_t> many;
    for (int i = 0; i < 25; i++) {
        many.push_back(i < 20 ? i * kOne / 19 : -kOne);
        many.push_back(int32_t(i < 20 ? 0xFF000000u | uint32_t(i) : 0x00FFFFFFu));
    }
    d.count = 25;
    d.stops = many.data();
    ASSERT_EQ(Paint_setGradient(&paint, &d, &box), Res_ok);
    EXPECT_EQ(paint.gradient->ramp->width, 256);
    EXPECT_EQ(paint.gradient->transparent, 0u); // the transparent stops were cut
    const uint8_t *last = paint.gradient->ramp->pixels + 255 * 4;
    EXPECT_EQ(last[0], 19);
    Paint_free(&paint);
    // A half-transparent stop marks the paint.
    const int32_t seeThrough[] = {0, int32_t(0xFF000000u), -5, int32_t(0x80FFFFFFu), 3 * kOne, 0};
    d.count = 3;
    d.stops = seeThrough;
    ASSERT_EQ(Paint_setGradient(&paint, &d, &box), Res_ok);
    EXPECT_EQ(paint.gradient->transparent, 1u);
    Paint_free(&paint);
    Paint_free(nullptr);
}

TEST_F(GradPaintTest, RunningOutOfMemoryFailsCleanly)
{
    const Rect box = {0, 0, 100, 100};
    GradientDesc d = linear(0, 0, kOne, 0);
    for (uint64_t n = 1;; n++) {
        Paint paint{};
        Mem_failAfter(n);
        int err = Paint_setGradient(&paint, &d, &box);
        Mem_failAfter(0);
        if (err == Res_ok) {
            Paint_free(&paint);
            break;
        }
        ASSERT_EQ(err, Res_noMemory);
        ASSERT_EQ(paint.gradient, nullptr);
    }
}

} // namespace
