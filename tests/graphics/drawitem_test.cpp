// Draw items: the work rectangle (clips, buffers outside, smaller masks),
// placement of buffers and paths, the row-operation cache and 265, paint
// and mask callbacks released on every path, prepared tables drawn twice
// and in chunks, stage lists and their chunking, hit tests, buffer
// clipping, running out of memory, and the page background fill.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "document/edr/page.h"
#include "graphics/drawitem.h"
#include "tests/graphics/raster_support.h"

namespace {

bool sameRect(const Rect &a, const Rect &b)
{
    return Rect_equal(&a, &b) != 0;
}

class DrawItemTest : public RasterTest {
  protected:
    // A rectangle item painting a constant grey at full alpha.
    static DrawItem *rectItem(Bitmap *b, uint32_t grey)
    {
        DrawItem *item = b->drawItem;
        item->kind = DrawItem_kindRect;
        item->paintKind = DrawItem_sourceSolid;
        item->paint.solid = {Pixel_formatGrey8, grey};
        item->maskKind = DrawItem_sourceSolid;
        item->mask.solid = {Pixel_formatGrey8, 255};
        item->cachedRowOp = nullptr;
        return item;
    }
    // Rows of a format-0 bitmap as text, top row first: '.' for 0, '#'
    // for anything else.
    static std::vector<std::string> picture(const Bitmap *b)
    {
        std::vector<std::string> out;
        for (int y = 0; y < b->height; y++) {
            std::string row;
            for (int x = 0; x < b->width; x++)
                row += pixel8(b, y, x) ? '#' : '.';
            out.push_back(row);
        }
        return out;
    }
    PixelBuf *grey(int32_t w, int32_t h, uint8_t fill)
    {
        PixelBuf *buf = buffer(w, h, Pixel_formatGrey8);
        memset(buf->pixels, fill, size_t(buf->stride) * h);
        return buf;
    }
};

// ------------------------------------------------------- work rectangle

TEST_F(DrawItemTest, BuffersPlaceTheirPixelsYUp)
{
    Bitmap *b = bitmap(10, 10, Pixel_formatGrey8);
    PixelBuf *paint = buffer(4, 2, Pixel_formatGrey8);
    const uint8_t top[4] = {1, 2, 3, 4}, bottom[4] = {5, 6, 7, 8};
    memcpy(paint->pixels, top, 4);
    memcpy(paint->pixels + paint->stride, bottom, 4);
    DrawItem *item = rectItem(b, 0);
    item->paintKind = DrawItem_sourceBuffer;
    item->paint.buffer = {paint, 2, 3};
    DrawTarget target{b, nullptr, 0, 0};
    ASSERT_EQ(DrawItem_render(item, nullptr, nullptr, &target), Res_ok);
    // The buffer covers y-up rows 3 and 4: memory rows 6 and 5.
    for (int x = 0; x < 4; x++) {
        EXPECT_EQ(pixel8(b, 5, 2 + x), top[x]);
        EXPECT_EQ(pixel8(b, 6, 2 + x), bottom[x]);
    }
    int painted = 0;
    for (uint8_t v : bytes(b))
        painted += v != 0;
    EXPECT_EQ(painted, 8);
    // The same with the origin moved by the target.
    Bitmap *c = bitmap(10, 10, Pixel_formatGrey8);
    item = rectItem(c, 0);
    item->paintKind = DrawItem_sourceBuffer;
    item->paint.buffer = {paint, 0, 0};
    DrawTarget moved{c, nullptr, 2, 3};
    ASSERT_EQ(DrawItem_render(item, nullptr, nullptr, &moved), Res_ok);
    EXPECT_EQ(bytes(c), bytes(b));
}

TEST_F(DrawItemTest, WorkRectangleCases)
{
    struct Case {
        const char *name;
        int32_t paintX, paintY; // the 6 x 6 paint buffer's origin
        int32_t maskW, maskH;   // a mask buffer at (1, 1), or none
        Rect clip;              // or {0, 0, 0, 0} for none
        int painted;
    };
    const Case cases[] = {
        {"paint wholly outside", 20, 2, 0, 0, {0, 0, 0, 0}, 0},
        {"paint partly outside", -3, 0, 0, 0, {0, 0, 0, 0}, 3 * 6},
        {"mask smaller than the paint", 0, 0, 2, 3, {0, 0, 0, 0}, 2 * 3},
        {"clip of zero width", 0, 0, 0, 0, {4, 0, 4, 8}, 0},
        {"clip cuts the paint", 0, 0, 0, 0, {1, 2, 3, 8}, 2 * 4},
    };
    for (const Case &c : cases) {
        Bitmap *b = bitmap(8, 8, Pixel_formatGrey8);
        DrawItem *item = rectItem(b, 0);
        item->paintKind = DrawItem_sourceBuffer;
        item->paint.buffer = {grey(6, 6, 200), c.paintX, c.paintY};
        if (c.maskW) {
            item->maskKind = DrawItem_sourceBuffer;
            item->mask.buffer = {grey(c.maskW, c.maskH, 255), 1, 1};
        }
        bool clipped = c.clip.x1 != 0;
        DrawTarget target{b, clipped ? &c.clip : nullptr, 0, 0};
        ASSERT_EQ(DrawItem_render(item, nullptr, nullptr, &target), Res_ok) << c.name;
        int painted = 0;
        for (uint8_t v : bytes(b))
            painted += v != 0;
        EXPECT_EQ(painted, c.painted) << c.name;
    }
}

TEST_F(DrawItemTest, SolidFormat4PaintIntoFormat4HasNoRowOperation)
{
    Bitmap *b = bitmap(4, 4, Pixel_format565);
    DrawItem *item = rectItem(b, 0);
    item->paint.solid = {Pixel_format565, 0xF800};
    DrawTarget target{b, nullptr, 0, 0};
    EXPECT_EQ(DrawItem_render(item, nullptr, nullptr, &target), Res_pixelNoRowOp);
    for (uint8_t v : bytes(b))
        EXPECT_EQ(v, 0);
    // A format-6 colour has one, and it is kept for this destination.
    item->paint.solid = {Pixel_formatRGBA, 0x000000FF};
    ASSERT_EQ(DrawItem_render(item, nullptr, nullptr, &target), Res_ok);
    EXPECT_EQ(pixel16(b, 0, 0), 0xF800);
    EXPECT_NE(item->cachedRowOp, nullptr);
    EXPECT_EQ(item->cachedFormat, uint32_t(Pixel_format565));
    // A zero constant alpha draws nothing at all.
    item->paint.solid = {Pixel_formatRGBA, 0x00FF0000};
    item->mask.solid = {Pixel_formatGrey8, 0};
    ASSERT_EQ(DrawItem_render(item, nullptr, nullptr, &target), Res_ok);
    EXPECT_EQ(pixel16(b, 0, 0), 0xF800);
}

// ------------------------------------------------------------- callbacks

struct Fetcher {
    int fetches = 0;
    int releases = 0;
    PixelBuf *released = reinterpret_cast<PixelBuf *>(1);
    PixelBuf *give = nullptr;
    int answer = 0;
    Rect asked{};
    int32_t shrinkTop = 0; // rows the fetch takes off the top of the rectangle
};

int fetch(void *user, uint32_t *format, PixelBuf **out, Rect *rect, int32_t, int32_t, Bitmap *,
          int32_t)
{
    Fetcher *f = static_cast<Fetcher *>(user);
    f->fetches++;
    f->asked = *rect;
    rect->y1 -= f->shrinkTop;
    *format = Pixel_formatGrey8;
    *out = f->give;
    return f->answer;
}

void release(void *user, PixelBuf *buf)
{
    Fetcher *f = static_cast<Fetcher *>(user);
    f->releases++;
    f->released = buf;
}

TEST_F(DrawItemTest, CallbackPaintIsReleasedOnEveryPath)
{
    struct Case {
        const char *name;
        Rect clip;
        int answer;
        uint32_t bitmapFormat;
        int result;
        int fetches;
        bool releasedBuffer;
    };
    const Case cases[] = {
        {"drawn", {0, 0, 6, 6}, 0, Pixel_formatGrey8, Res_ok, 1, true},
        {"empty clip: nothing fetched", {3, 0, 3, 6}, 0, Pixel_formatGrey8, Res_ok, 0, false},
        {"fetch error", {0, 0, 6, 6}, 77, Pixel_formatGrey8, 77, 1, true},
        {"no row operation", {0, 0, 6, 6}, 0, Pixel_format565, Res_pixelNoRowOp, 1, true},
    };
    for (const Case &c : cases) {
        Bitmap *b = bitmap(6, 6, c.bitmapFormat);
        Fetcher f;
        f.give = grey(6, 6, 90);
        f.answer = c.answer;
        DrawItem *item = rectItem(b, 0);
        item->paintKind = DrawItem_sourceCallback;
        item->paint.callback = {fetch, release, &f};
        DrawTarget target{b, &c.clip, 0, 0};
        EXPECT_EQ(DrawItem_render(item, nullptr, nullptr, &target), c.result) << c.name;
        EXPECT_EQ(f.fetches, c.fetches) << c.name;
        EXPECT_EQ(f.releases, 1) << c.name;
        EXPECT_EQ(f.released, c.releasedBuffer ? f.give : nullptr) << c.name;
    }
}

TEST_F(DrawItemTest, AFetchThatGivesLessNarrowsTheDrawing)
{
    // A path covering the whole bitmap, painted by a callback that keeps
    // two rows off the top: its buffer's first pixel is the narrowed
    // rectangle's top-left, and the path is placed on what is left.
    Bitmap *b = bitmap(6, 6, Pixel_formatGrey8);
    Path *p = polygons({{-256, -256, 4000, -256, 4000, 4000, -256, 4000}});
    FillRequest req = request(p, 2, 0);
    DrawItem *item = pathItem(b, req, Pixel_formatGrey8, 0);
    Fetcher f;
    f.give = grey(6, 4, 0);
    for (int y = 0; y < 4; y++)
        memset(f.give->pixels + y * f.give->stride, 10 + y, 6);
    f.shrinkTop = 2;
    item->paintKind = DrawItem_sourceCallback;
    item->paint.callback = {fetch, release, &f};
    DrawTarget target{b, nullptr, 0, 0};
    ASSERT_EQ(DrawItem_render(item, nullptr, nullptr, &target), Res_ok);
    EXPECT_EQ(f.asked.y1, 6);
    for (int x = 0; x < 6; x++) {
        EXPECT_EQ(pixel8(b, 0, x), 0);
        EXPECT_EQ(pixel8(b, 1, x), 0);
        for (int y = 2; y < 6; y++)
            EXPECT_EQ(pixel8(b, y, x), 10 + y - 2) << x << ", " << y;
    }
    EXPECT_EQ(f.releases, 1);
}

// ------------------------------------------------------------ path items

TEST_F(DrawItemTest, PathItemsArePlacedByTheTargetOffset)
{
    // A triangle drawn at the origin of one bitmap and moved by (3, 2) into
    // another: the same pixels, moved.
    Path *p = polygons({{0, 0, 1536, 0, 0, 1280}});
    FillRequest req = request(p, 2, 0);
    Bitmap *a = bitmap(12, 12, Pixel_formatGrey8);
    DrawTarget ta{a, nullptr, 0, 0};
    ASSERT_EQ(DrawItem_render(pathItem(a, req, Pixel_formatGrey8, 255), nullptr, nullptr, &ta),
              Res_ok);
    Bitmap *m = bitmap(12, 12, Pixel_formatGrey8);
    DrawTarget tm{m, nullptr, 3, 2};
    ASSERT_EQ(DrawItem_render(pathItem(m, req, Pixel_formatGrey8, 255), nullptr, nullptr, &tm),
              Res_ok);
    int painted = 0;
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 12; x++) {
            uint8_t want = (x >= 3 && y <= 9) ? pixel8(a, y + 2, x - 3) : 0;
            EXPECT_EQ(pixel8(m, y, x), want) << x << ", " << y;
            painted += want != 0;
        }
    EXPECT_GT(painted, 12);
    // Its lower-left corner is the bitmap's lower-left pixel: full.
    EXPECT_EQ(pixel8(a, 11, 0), 255);
    EXPECT_EQ(pixel8(a, 0, 11), 0);
}

TEST_F(DrawItemTest, CurvedPathsDrawnInBandsMatchOneDraw)
{
    // Curves reaching far above and below each band: their parts outside a
    // band are not flattened, and the bands still join up exactly.
    Path *p = emptyPath();
    ASSERT_EQ(Path_moveTo(p, 200, -90000), Res_ok);
    ASSERT_EQ(Path_curveTo(p, 9000, 40000, -3000, -30000, 7000, 95000), Res_ok);
    ASSERT_EQ(Path_quadTo(p, 4000, -4000, 200, -90000), Res_ok);
    ASSERT_EQ(Path_close(p), Res_ok);
    for (uint32_t s = 0; s <= 3; s++) {
        FillRequest req = request(p, s, 0);
        Bitmap *whole = bitmap(30, 30, Pixel_formatGrey8);
        DrawTarget tw{whole, nullptr, 0, 0};
        ASSERT_EQ(
            DrawItem_render(pathItem(whole, req, Pixel_formatGrey8, 255), nullptr, nullptr, &tw),
            Res_ok);
        Bitmap *bands = bitmap(30, 30, Pixel_formatGrey8);
        for (int32_t y = 0; y < 30; y += 7) {
            const Rect band = {0, y, 30, std::min(y + 7, 30)};
            DrawTarget tb{bands, &band, 0, 0};
            ASSERT_EQ(DrawItem_render(pathItem(bands, req, Pixel_formatGrey8, 255), nullptr,
                                      nullptr, &tb),
                      Res_ok);
        }
        EXPECT_EQ(bytes(bands), bytes(whole)) << s;
        int painted = 0;
        for (uint8_t v : bytes(whole))
            painted += v != 0;
        EXPECT_GT(painted, 50) << s;
    }
}

// A pen outline of a closed triangle (a pixel is 256 path units here, rows
// counted from the top): its edges are painted, its inside is not.
TEST_F(DrawItemTest, PenOutlinesAreStroked)
{
    Bitmap *b = bitmap(40, 40, Pixel_formatGrey8);
    FillRequest req = request(polygons({{256, 256, 9000, 256, 9000, 9000}}), 1, 0);
    req.penKind = 1;
    req.pen.width = 0x400; // 4 pixels
    req.pen.style = Pen_atLeastOnePixel;
    DrawTarget target{b, nullptr, 0, 0};
    ASSERT_EQ(DrawItem_render(pathItem(b, req, Pixel_formatGrey8, 255), nullptr, nullptr, &target),
              Res_ok);
    EXPECT_EQ(pixel8(b, 20, 30), 0) << "inside the triangle";
    EXPECT_EQ(pixel8(b, 20, 35), 255) << "on its right edge";
    EXPECT_EQ(pixel8(b, 38, 20), 255) << "on its bottom edge";
    EXPECT_EQ(pixel8(b, 20, 20), 255) << "on its slanted edge";
    EXPECT_EQ(pixel8(b, 10, 5), 0) << "outside";
}

// ------------------------------------------------------- prepared tables

TEST_F(DrawItemTest, PreparedTableDrawsTheSameTwiceAndInParts)
{
    Bitmap *maker = bitmap(4, 4, Pixel_formatGrey8);
    Path *p = polygons({{300, 200, 4000, 900, 2100, 3900}, {700, 2900, 3600, 3100, 1000, 500}});
    FillRequest req = request(p, 1, 1);
    CrossingTable *t = nullptr;
    ASSERT_EQ(Fill_newCrossingTable(&t, &req, maker), Res_ok);
    keep(t);
    std::vector<std::vector<Crossing>> rowsBefore = tableRows(t);

    auto draw = [&](Bitmap *b, const Rect *clip) {
        DrawItem *item = rectItem(b, 255);
        item->kind = DrawItem_kindCoverageMask;
        item->shape.coverage = {t, 1};
        DrawTarget target{b, clip, 2, 1};
        return DrawItem_render(item, nullptr, nullptr, &target);
    };
    Bitmap *once = bitmap(20, 20, Pixel_formatGrey8);
    ASSERT_EQ(draw(once, nullptr), Res_ok);
    Bitmap *again = bitmap(20, 20, Pixel_formatGrey8);
    ASSERT_EQ(draw(again, nullptr), Res_ok);
    EXPECT_EQ(bytes(again), bytes(once));
    // In two parts, cut across the table.
    Bitmap *parts = bitmap(20, 20, Pixel_formatGrey8);
    const Rect lower = {0, 0, 20, 9}, upper = {0, 9, 20, 20};
    ASSERT_EQ(draw(parts, &lower), Res_ok);
    ASSERT_EQ(draw(parts, &upper), Res_ok);
    EXPECT_EQ(bytes(parts), bytes(once));
    EXPECT_EQ(tableRows(t), rowsBefore);
    // It lies where its box says, moved by the target.
    Rect box;
    CrossingTable_bounds(t, 1, &box);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) {
            int yUp = 19 - y;
            bool inBox = x >= box.x0 + 2 && x < box.x1 + 2 && yUp >= box.y0 + 1 && yUp < box.y1 + 1;
            if (!inBox) {
                EXPECT_EQ(pixel8(once, y, x), 0) << x << ", " << y;
            }
        }
    int painted = 0;
    for (uint8_t v : bytes(once))
        painted += v != 0;
    EXPECT_GT(painted, 50);
}

// ----------------------------------------------------------------- stages

// A paint stage that makes grey rows from the position: pixel (x, y) of
// the item's space (y-up) gets (7x + 13y) & 255. It notes every chunk.
struct Pattern {
    std::vector<std::pair<int32_t, int32_t>> chunks; // (top y, rows)
};

int patternRows(const uint8_t *, ptrdiff_t, void *parameter, int32_t x, int32_t y, int32_t width,
                int32_t rows, uint8_t *out, ptrdiff_t stride)
{
    Pattern *p = static_cast<Pattern *>(parameter);
    p->chunks.push_back({y, rows});
    for (int32_t r = 0; r < rows; r++)
        for (int32_t i = 0; i < width; i++)
            out[r * stride + i] = uint8_t((7 * (x + i) + 13 * (y - 1 - r)) & 255);
    return 0;
}

int patternDeclare(uint32_t, uint32_t, int32_t width, int32_t, int, void *parameter,
                   StageRecord *rec)
{
    rec->routine.copy = patternRows;
    rec->outputIsBuffer = 1;
    rec->outputFormat = Pixel_formatGrey8;
    rec->worksInPlace = 0;
    rec->outputBytes = uint32_t(width);
    rec->parameter = parameter;
    return 0;
}

int invertRows(uint8_t *pixels, ptrdiff_t stride, void *, int32_t, int32_t, int32_t width,
               int32_t rows)
{
    for (int32_t r = 0; r < rows; r++)
        for (int32_t i = 0; i < width; i++)
            pixels[r * stride + i] = uint8_t(255 - pixels[r * stride + i]);
    return 0;
}

int invertDeclare(uint32_t, uint32_t format, int32_t width, int32_t, int hadStage, void *,
                  StageRecord *rec)
{
    if (!hadStage)
        return 99;
    rec->routine.inPlace = invertRows;
    rec->outputIsBuffer = 1;
    rec->outputFormat = format;
    rec->worksInPlace = 1;
    rec->outputBytes = uint32_t(width);
    return 0;
}

const StageOps patternOps = {patternDeclare};
const StageOps invertOps = {invertDeclare};

TEST_F(DrawItemTest, StagesRunInChunksAndDrawEveryRowOnce)
{
    const int32_t w = 150, h = 41, dx = 5, dy = 3;
    Bitmap *b = bitmap(w, h, Pixel_formatGrey8);
    Pattern pattern;
    StageNode *invert = StageNode_create(&invertOps, nullptr, nullptr);
    StageNode *skipped = StageNode_create(nullptr, nullptr, invert);
    StageNode *list = StageNode_create(&patternOps, &pattern, skipped);
    ASSERT_NE(list, nullptr);
    DrawItem *item = rectItem(b, 0);
    DrawTarget target{b, nullptr, dx, dy};
    ASSERT_EQ(DrawItem_render(item, list, nullptr, &target), Res_ok);
    // Several chunks, each row once, from the top down.
    ASSERT_GT(pattern.chunks.size(), 2u);
    int32_t next = h - dy;
    for (auto &c : pattern.chunks) {
        EXPECT_EQ(c.first, next);
        next -= c.second;
    }
    EXPECT_EQ(next, -dy);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            int32_t yUp = h - 1 - y;
            uint8_t want = uint8_t(255 - ((7 * (x - dx) + 13 * (yUp - dy)) & 255));
            ASSERT_EQ(pixel8(b, y, x), want) << x << ", " << y;
        }
    // The cached row operation is neither used nor changed by staged draws.
    EXPECT_EQ(item->cachedRowOp, nullptr);
    // A stage that refuses ends the draw with its answer.
    StageNode *lone = StageNode_create(&invertOps, nullptr, nullptr);
    EXPECT_EQ(DrawItem_render(item, lone, nullptr, &target), 99);
    StageList_free(lone);
    StageList_free(list);
}

TEST_F(DrawItemTest, PreparedTableInChunksMatchesOneChunk)
{
    Bitmap *maker = bitmap(4, 4, Pixel_formatGrey8);
    FillRequest req = request(polygons({{100, 100, 38000, 2000, 4000, 9800}}), 2, 0);
    CrossingTable *t = nullptr;
    ASSERT_EQ(Fill_newCrossingTable(&t, &req, maker), Res_ok);
    keep(t);
    auto draw = [&](Bitmap *b, const StageNode *stages) {
        DrawItem *item = rectItem(b, 0);
        item->kind = DrawItem_kindCoverageMask;
        item->shape.coverage = {t, 2};
        DrawTarget target{b, nullptr, 0, 0};
        return DrawItem_render(item, stages, nullptr, &target);
    };
    Bitmap *plain = bitmap(160, 45, Pixel_formatGrey8);
    Pattern pattern;
    StageNode *stages = StageNode_create(&patternOps, &pattern, nullptr);
    ASSERT_EQ(draw(plain, stages), Res_ok);
    ASSERT_GT(pattern.chunks.size(), 2u);
    // The same pattern from a paint buffer, in one chunk.
    Bitmap *whole = bitmap(160, 45, Pixel_formatGrey8);
    PixelBuf *buf = buffer(160, 45, Pixel_formatGrey8);
    for (int y = 0; y < 45; y++)
        for (int x = 0; x < 160; x++)
            buf->pixels[y * buf->stride + x] = uint8_t((7 * x + 13 * (44 - y)) & 255);
    DrawItem *item = rectItem(whole, 0);
    item->kind = DrawItem_kindCoverageMask;
    item->shape.coverage = {t, 2};
    item->paintKind = DrawItem_sourceBuffer;
    item->paint.buffer = {buf, 0, 0};
    DrawTarget target{whole, nullptr, 0, 0};
    ASSERT_EQ(DrawItem_render(item, nullptr, nullptr, &target), Res_ok);
    EXPECT_EQ(bytes(plain), bytes(whole));
    StageList_free(stages);
}

TEST_F(DrawItemTest, RunningOutOfMemoryReturnsOneAndReleases)
{
    Path *p = polygons({{100, 100, 9000, 2000, 4000, 9800}});
    for (int n = 1;; n++) {
        Bitmap *b = bitmap(40, 40, Pixel_formatGrey8);
        FillRequest req = request(p, 3, 0);
        DrawItem *item = pathItem(b, req, Pixel_formatGrey8, 255);
        Fetcher f;
        f.give = grey(40, 40, 50);
        item->maskKind = DrawItem_sourceCallback;
        item->mask.callback = {fetch, release, &f};
        Pattern pattern;
        StageNode *stages = StageNode_create(&patternOps, &pattern, nullptr);
        ASSERT_NE(stages, nullptr);
        DrawTarget target{b, nullptr, 0, 0};
        Mem_failAfter(n);
        int r = DrawItem_render(item, stages, nullptr, &target);
        Mem_failAfter(0);
        StageList_free(stages);
        EXPECT_EQ(f.releases, 1);
        if (r == Res_ok)
            break;
        EXPECT_EQ(r, Res_noMemory) << n;
    }
}

// -------------------------------------------------------------- hit tests

TEST_F(DrawItemTest, HitTests)
{
    Bitmap *b = bitmap(20, 20, Pixel_formatGrey8);
    // A square ring: outer 2..18, hole 6..14 wound the other way; and two
    // overlapping squares wound the same way.
    Path *ring = polygons({{512, 512, 4608, 512, 4608, 4608, 512, 4608},
                           {1536, 1536, 1536, 3584, 3584, 3584, 3584, 1536}});
    Path *pair = polygons(
        {{0, 0, 2560, 0, 2560, 2560, 0, 2560}, {1280, 1280, 3840, 1280, 3840, 3840, 1280, 3840}});
    struct Case {
        const char *name;
        const Path *path;
        uint32_t rule;
        int32_t dx, x, y;
        int want;
    };
    const Case cases[] = {
        {"on the ring", ring, 0, 0, 3, 3, 1},
        {"in the hole", ring, 0, 0, 10, 10, 0}, // spans left and right of it do not count
        {"in the hole, moved", ring, 0, 4, 14, 10, 0},
        {"on the ring, moved", ring, 0, 4, 6, 10, 1},
        {"outside the ring", ring, 0, 0, 19, 19, 0},
        {"overlap non-zero", pair, 0, 0, 7, 7, 1},
        {"overlap even-odd", pair, 1, 0, 7, 7, 0},
        {"one square even-odd", pair, 1, 0, 2, 2, 1},
        {"beyond the box", pair, 1, 0, -5, 2, 0},
    };
    for (const Case &c : cases) {
        FillRequest req = request(c.path, 3, c.rule);
        DrawItem *item = pathItem(b, req, Pixel_formatGrey8, 255);
        int out = -1;
        ASSERT_EQ(DrawItem_hitTest(item, c.dx, 0, b, c.x, c.y, &out), Res_ok) << c.name;
        EXPECT_EQ(out, c.want) << c.name;
    }
    // Rectangles: any pixel, unless a buffer lies away from it.
    DrawItem *item = rectItem(b, 9);
    int out = -1;
    ASSERT_EQ(DrawItem_hitTest(item, 0, 0, b, 1000, -1000, &out), Res_ok);
    EXPECT_EQ(out, 1);
    item->paintKind = DrawItem_sourceBuffer;
    item->paint.buffer = {grey(3, 3, 1), 10, 10};
    ASSERT_EQ(DrawItem_hitTest(item, 0, 0, b, 1, 1, &out), Res_ok);
    EXPECT_EQ(out, 0);
    ASSERT_EQ(DrawItem_hitTest(item, 0, 0, b, 11, 12, &out), Res_ok);
    EXPECT_EQ(out, 1);
    ASSERT_EQ(DrawItem_hitTest(item, -10, -10, b, 1, 2, &out), Res_ok);
    EXPECT_EQ(out, 1);
}

TEST_F(DrawItemTest, ClipToBuffers)
{
    Bitmap *b = bitmap(4, 4, Pixel_formatGrey8);
    DrawItem *item = rectItem(b, 0);
    Rect r = {0, 0, 100, 100};
    DrawItem_clipToBuffers(item, 0, 0, &r);
    EXPECT_TRUE(sameRect(r, Rect{0, 0, 100, 100}));
    item->paintKind = DrawItem_sourceBuffer;
    item->paint.buffer = {grey(10, 10, 1), 5, 5};
    DrawItem_clipToBuffers(item, 0, 0, &r);
    EXPECT_TRUE(sameRect(r, Rect{5, 5, 15, 15}));
    // Already inside: unchanged.
    Rect inner = {6, 7, 9, 12};
    DrawItem_clipToBuffers(item, 0, 0, &inner);
    EXPECT_TRUE(sameRect(inner, Rect{6, 7, 9, 12}));
    // A mask elsewhere leaves nothing.
    item->maskKind = DrawItem_sourceBuffer;
    item->mask.buffer = {grey(3, 3, 1), 40, 40};
    DrawItem_clipToBuffers(item, 0, 0, &r);
    EXPECT_TRUE(r.x0 >= r.x1 || r.y0 >= r.y1);
    // Placement moves both.
    Rect moved = {0, 0, 100, 100};
    item->maskKind = DrawItem_sourceSolid;
    DrawItem_clipToBuffers(item, 10, 20, &moved);
    EXPECT_TRUE(sameRect(moved, Rect{15, 25, 25, 35}));
}

// ------------------------------------------------------- page background

struct HookLog {
    std::vector<int> phases;
    std::vector<Rect> done;
};

void phase(Edr_ScreenHooks *hooks, int p)
{
    static_cast<HookLog *>(hooks->user)->phases.push_back(p);
}

void fillDone(void *argument, const Rect *rect)
{
    static_cast<HookLog *>(argument)->done.push_back(*rect);
}

TEST_F(DrawItemTest, PageBackgroundFillsThroughTheBitmapsItem)
{
    Bitmap *b = bitmap(6, 6, Pixel_format565);
    Edr_PageRec page{};
    page.background[0] = 0xFF; // red
    page.background[3] = 0xFF; // opaque
    HookLog log;
    Edr_ScreenHooks hooks{phase, &log};
    const Rect area = {1, 1, 3, 4};
    b->drawItem->cachedRowOp = reinterpret_cast<RowOpSetupFn>(1); // must be cleared
    ASSERT_EQ(Edr_Page_fillBackground(nullptr, nullptr, nullptr, nullptr, &page, &hooks, b, &area,
                                      fillDone, &log),
              Res_ok);
    EXPECT_EQ(log.phases, (std::vector<int>{0, 1}));
    ASSERT_EQ(log.done.size(), 1u);
    EXPECT_TRUE(Rect_equal(&log.done[0], &area));
    int red = 0;
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++) {
            bool in = x >= 1 && x < 3 && (5 - y) >= 1 && (5 - y) < 4;
            EXPECT_EQ(pixel16(b, y, x), in ? 0xF800 : 0) << x << ", " << y;
            red += in;
        }
    EXPECT_EQ(red, 6);
    // A transparent page colour draws nothing; the done callback still
    // follows the (successful) drawing.
    page.background[3] = 0;
    page.background[1] = 0xFF;
    ASSERT_EQ(Edr_Page_fillBackground(nullptr, nullptr, nullptr, nullptr, &page, nullptr, b, &area,
                                      nullptr, nullptr),
              Res_ok);
    EXPECT_EQ(pixel16(b, 3, 1), 0xF800);
    // A paint buffer at its origin replaces the colour.
    Bitmap *g = bitmap(6, 6, Pixel_formatGrey8);
    page.background[3] = 0xFF;
    const Point origin = {2, 2};
    ASSERT_EQ(Edr_Page_fillBackground(grey(2, 2, 77), &origin, nullptr, nullptr, &page, nullptr, g,
                                      nullptr, nullptr, nullptr),
              Res_ok);
    int painted = 0;
    for (uint8_t v : bytes(g))
        painted += v == 77;
    EXPECT_EQ(painted, 4);
    EXPECT_EQ(pixel8(g, 2, 2), 77);
}

} // namespace
