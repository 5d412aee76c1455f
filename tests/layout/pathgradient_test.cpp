// Path items filled from a paint server: the gradient runs across the
// item's box between its start and end points (vertical, horizontal and
// diagonal), a see-through stop shows through, and without memory for the
// gradient the first stop fills the path.
#include <gtest/gtest.h>

#include <cstring>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "layout/replaced.h"
#include "tests/graphics/raster_support.h"

namespace {

constexpr int32_t kGradOne = 0x10000;
constexpr int32_t kGradSide = 64; // the bitmap and the square path, in pixels
constexpr uint32_t kGradRed = 0xFF0000FFu, kGradBlue = 0xFFFF0000u;

class PathGradientTest : public RasterTest {
  protected:
    // A kGradSide-pixel square path item painted by a two-stop server from
    // `from` to `to`, drawn into a fresh 5-6-5 bitmap.
    Bitmap *draw(const int32_t start[2], const int32_t end[2], uint32_t from = kGradRed,
                 uint32_t to = kGradBlue, uint64_t failAt = 0)
    {
        Path *path = polygons(
            {{0, 0, kGradSide * 256, 0, kGradSide * 256, kGradSide * 256, 0, kGradSide * 256}});
        ObjHeader *item = Obj_create(&PathItem_class, 0);
        EXPECT_NE(item, nullptr);
        if (!item)
            return nullptr;
        PathItemPart *p = PathItem_part(item);
        p->path = path;
        p->bounds = Rect{0, 0, kGradSide * 256, kGradSide * 256};
        Obj_setBox(item, &p->bounds);
        p->paint = static_cast<PathPaint *>(Mem_calloc(1, sizeof(PathPaint)));
        p->paintKind = 1;
        p->server = static_cast<PaintServer *>(Mem_calloc(1, sizeof(PaintServer)));
        p->server->stops = static_cast<int32_t *>(Mem_calloc(4, sizeof(int32_t)));
        if (!p->paint || !p->server || !p->server->stops) {
            ADD_FAILURE() << "out of memory";
            Obj_destroy(item);
            return nullptr;
        }
        p->server->kind = PaintServer_kindRamp;
        p->server->count = 2;
        const int32_t stops[4] = {0, int32_t(from), kGradOne, int32_t(to)};
        std::memcpy(p->server->stops, stops, sizeof stops);
        p->server->mode = 0;
        p->server->start[0] = start[0];
        p->server->start[1] = start[1];
        p->server->end[0] = end[0];
        p->server->end[1] = end[1];
        Bitmap *b = bitmap(kGradSide, kGradSide, Pixel_format565);
        DrawTarget t{b, nullptr, 0, 0};
        const ObjItemOps *ops = static_cast<const ObjItemOps *>(PathItem_class.ops);
        Mem_failAfter(failAt); // 1: the first allocation of the draw fails
        result = ops->draw(&context, item, nullptr, &deviceUnits, &t, nullptr, 0);
        Mem_failAfter(0);
        Obj_destroy(item);
        return b;
    }
    static int red(const Bitmap *b, int row, int col)
    {
        return pixel16(b, row, col) >> 11;
    }
    static int blue(const Bitmap *b, int row, int col)
    {
        return pixel16(b, row, col) & 31;
    }
    int result = -1;
};

TEST_F(PathGradientTest, RunsFromTheStartPointToTheEndPoint)
{
    // Rows count from the top; points are fractions of the box from its
    // top-left corner. Each case names a pixel near the start (all red),
    // one near the end (all blue) and two half way (an even mix).
    struct Case {
        const char *name;
        int32_t start[2], end[2];
        int startPixel[2], endPixel[2], middle[2][2]; // {row, col}
    };
    const int last = kGradSide - 1, mid = kGradSide / 2;
    const Case cases[] = {
        {"top to bottom", {0, 0}, {0, kGradOne}, {0, 5}, {last, 50}, {{mid, 0}, {mid, last}}},
        {"left to right", {0, 0}, {kGradOne, 0}, {40, 0}, {10, last}, {{0, mid}, {last, mid}}},
        {"right to left",
         {kGradOne, kGradOne / 2},
         {0, kGradOne / 2},
         {9, last},
         {60, 0},
         {{5, mid}, {58, mid}}},
        {"top-left to bottom-right",
         {0, 0},
         {kGradOne, kGradOne},
         {0, 0},
         {last, last},
         {{mid, mid}, {0, last}}},
        {"bottom-left to top-right",
         {0, kGradOne},
         {kGradOne, 0},
         {last, 0},
         {0, last},
         {{mid, mid}, {last, last}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap *b = draw(c.start, c.end);
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(result, Res_ok);
        EXPECT_GE(red(b, c.startPixel[0], c.startPixel[1]), 29);
        EXPECT_LE(blue(b, c.startPixel[0], c.startPixel[1]), 2);
        EXPECT_LE(red(b, c.endPixel[0], c.endPixel[1]), 2);
        EXPECT_GE(blue(b, c.endPixel[0], c.endPixel[1]), 29);
        for (const auto &m : c.middle) {
            EXPECT_NEAR(red(b, m[0], m[1]), 15, 2) << m[0] << ", " << m[1];
            EXPECT_NEAR(blue(b, m[0], m[1]), 15, 2) << m[0] << ", " << m[1];
        }
    }
}

TEST_F(PathGradientTest, ChangesSteadilyAlongItsDirection)
{
    const int32_t start[2] = {0, 0}, end[2] = {kGradOne, 0};
    Bitmap *b = draw(start, end);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(result, Res_ok);
    EXPECT_NE(pixel16(b, 7, 0), pixel16(b, 7, kGradSide - 1));
    for (int col = 1; col < kGradSide; col++) {
        EXPECT_LE(red(b, 7, col), red(b, 7, col - 1)) << col;
        EXPECT_GE(blue(b, 7, col), blue(b, 7, col - 1)) << col;
        EXPECT_EQ(pixel16(b, 7, col), pixel16(b, 50, col)) << col; // the same down each column
    }
}

TEST_F(PathGradientTest, ASeeThroughEndLeavesTheBackgroundThere)
{
    // From opaque white at the top to white of alpha 0 at the bottom, over
    // the black of a fresh bitmap.
    const int32_t start[2] = {0, 0}, end[2] = {0, kGradOne};
    Bitmap *b = draw(start, end, 0xFFFFFFFFu, 0x00FFFFFFu);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(result, Res_ok);
    EXPECT_GE(red(b, 0, 10), 29);
    EXPECT_LE(red(b, kGradSide - 1, 10), 2);
    EXPECT_NEAR(red(b, kGradSide / 2, 10), 15, 2);
}

TEST_F(PathGradientTest, TheFirstStopFillsThePathWithoutMemoryForTheGradient)
{
    const int32_t start[2] = {0, 0}, end[2] = {0, kGradOne};
    Bitmap *drawn = draw(start, end, kGradRed, kGradBlue, 1);
    ASSERT_NE(drawn, nullptr);
    ASSERT_EQ(result, Res_ok);
    for (int row : {0, kGradSide / 2, kGradSide - 1})
        EXPECT_EQ(pixel16(drawn, row, 20), 0xF800) << row;
}

} // namespace
