// Glyph masks: made from outlines and drawn through the draw item against
// the same outlines filled as paths, sub-pixel bits raised to 3, empty
// outlines, other scales, chunked painting, hit tests and the block copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "core/mem/mem.h"
#include "graphics/glyphmask.h"
#include "tests/graphics/raster_support.h"

namespace {

class GlyphMaskTest : public RasterTest {
  protected:
    void TearDown() override
    {
        for (GlyphMask *m : masks)
            GlyphMask_free(m);
        RasterTest::TearDown();
    }
    GlyphMask *make(const FillRequest &req, Bitmap *b)
    {
        GlyphMask *m = nullptr;
        EXPECT_EQ(GlyphMask_create(&m, &req, b), Res_ok);
        if (m)
            masks.push_back(m);
        return m;
    }
    static DrawItem *maskItem(Bitmap *b, const GlyphMask *m, int32_t x = 0, int32_t y = 0)
    {
        DrawItem *item = b->drawItem;
        item->kind = DrawItem_kindGlyphMask;
        item->shape.glyph = {m, 0x10000, x, y};
        item->paintKind = DrawItem_sourceSolid;
        item->paint.solid = {Pixel_formatGrey8, 255};
        item->maskKind = DrawItem_sourceSolid;
        item->mask.solid = {Pixel_formatGrey8, 255};
        item->cachedRowOp = nullptr;
        return item;
    }
    // A glyph-like outline in device units (1/256 pixel): a slanted
    // stroke and a ring with a hole, edges off the pixel grid.
    Path *glyph()
    {
        return polygons({{300, 200, 1500, 4100, 2300, 4000, 1000, 150},
                         {2600, 500, 2600, 3000, 5300, 3000, 5300, 500},
                         {3200, 1100, 4700, 1100, 4700, 2400, 3200, 2400}});
    }
    std::vector<GlyphMask *> masks;
};

TEST_F(GlyphMaskTest, MaskDrawsLikeThePathFill)
{
    const int32_t w = 28, h = 20;
    Path *p = glyph();
    Bitmap *viaPath = bitmap(w, h, Pixel_formatGrey8);
    DrawTarget pathTarget{viaPath, nullptr, 3, 2};
    ASSERT_EQ(
        DrawItem_render(pathItem(viaPath, request(p, 3, Fill_ruleEvenOdd), Pixel_formatGrey8, 255),
                        nullptr, nullptr, &pathTarget),
        Res_ok);
    Bitmap *viaMask = bitmap(w, h, Pixel_formatGrey8);
    GlyphMask *m = make(request(p, 3, Fill_ruleEvenOdd), viaMask);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->x, 1);
    EXPECT_EQ(m->y, 0);
    EXPECT_EQ(m->rowsSize, uint32_t(m->height) * 4);
    DrawTarget target{viaMask, nullptr, 3, 2};
    ASSERT_EQ(DrawItem_render(maskItem(viaMask, m), nullptr, nullptr, &target), Res_ok);
    std::vector<uint8_t> a = bytes(viaPath), b = bytes(viaMask);
    int inked = 0;
    for (size_t i = 0; i < a.size(); i++) {
        EXPECT_LE(std::abs(int(a[i]) - int(b[i])), 2) << "pixel " << i;
        inked += a[i] != 0;
    }
    EXPECT_GT(inked, 100);

    // One sub-pixel bit asked for gives the mask of three.
    GlyphMask *low = make(request(p, 1, Fill_ruleEvenOdd), viaMask);
    ASSERT_NE(low, nullptr);
    ASSERT_EQ(low->codesSize, m->codesSize);
    EXPECT_EQ(memcmp(low->codes, m->codes, m->codesSize), 0);
    EXPECT_EQ(memcmp(low->rows, m->rows, m->rowsSize), 0);

    // Hit tests: inside the stroke, in the ring's hole, outside.
    int hit = -1;
    DrawItem *item = maskItem(viaMask, m);
    ASSERT_EQ(DrawItem_hitTest(item, 0, 0, viaMask, 3, 3, &hit), Res_ok);
    EXPECT_EQ(hit, 1);
    ASSERT_EQ(DrawItem_hitTest(item, 0, 0, viaMask, 15, 7, &hit), Res_ok);
    EXPECT_EQ(hit, 0);
    ASSERT_EQ(DrawItem_hitTest(item, 0, 0, viaMask, 11, 3, &hit), Res_ok);
    EXPECT_EQ(hit, 1);
    ASSERT_EQ(DrawItem_hitTest(item, 0, 0, viaMask, 25, 3, &hit), Res_ok);
    EXPECT_EQ(hit, 0);
}

TEST_F(GlyphMaskTest, EmptyOutlinesOtherScalesAndUntestableMasks)
{
    Bitmap *b = bitmap(8, 8, Pixel_formatGrey8);
    GlyphMask *m = reinterpret_cast<GlyphMask *>(1);
    FillRequest req = request(emptyPath(), 3, 0);
    EXPECT_EQ(GlyphMask_create(&m, &req, b), Res_pathEmptyArea);
    EXPECT_EQ(m, nullptr);

    GlyphMask *box =
        make(request(polygons({{256, 256, 1024, 256, 1024, 1024, 256, 1024}}), 3, 0), b);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->scale, 0x10000u);
    Bitmap *half = bitmap(8, 8, Pixel_formatGrey8, 0x8000);
    DrawTarget target{half, nullptr, 0, 0};
    EXPECT_EQ(DrawItem_render(maskItem(half, box), nullptr, nullptr, &target), Res_glyphOtherScale);
    for (uint8_t v : bytes(half))
        EXPECT_EQ(v, 0);
    // A whole-pixel square is full runs only.
    EXPECT_EQ(box->width, 3);
    EXPECT_EQ(box->codesSize, 3u * 2);
    GlyphMask marked = *box;
    marked.scale |= 0x80000000u;
    int hit = -1;
    EXPECT_EQ(DrawItem_hitTest(maskItem(b, &marked), 0, 0, b, 2, 2, &hit), Res_glyphNoHitTest);
}

TEST_F(GlyphMaskTest, TwoChunksPaintLikeOne)
{
    const int32_t w = 24, h = 20;
    Bitmap *b = bitmap(w, h, Pixel_formatGrey8);
    GlyphMask *m = make(request(glyph(), 3, Fill_ruleEvenOdd), b);
    ASSERT_NE(m, nullptr);
    RowOpSetupFn setup = RowOp_find(Pixel_formatGrey8, Pixel_formatGrey8, Pixel_formatGrey8, 0, 0);
    ASSERT_NE(setup, nullptr);
    auto paint = [&](std::vector<uint8_t> &pixels, std::vector<int32_t> chunks) {
        pixels.assign(size_t(w) * h, 0);
        GlyphMaskShape shape{m, 0x10000, 0, 0};
        SpanRecord spans{};
        Rect rect = {0, 0, w, h};
        ASSERT_EQ(GlyphMask_prepare(&shape, b, 1, 1, &spans, &rect), Res_ok);
        spans.width = rect.x1 - rect.x0;
        spans.height = rect.y1 - rect.y0;
        const uint8_t colour = 200, alpha = 255;
        for (int32_t rows : chunks) {
            spans.chunkRows = rows;
            int32_t top = h - rect.y1 + spans.rowsDone; // memory row of the chunk's top
            ASSERT_EQ(GlyphMask_emit(&spans, setup, pixels.data() + top * w + rect.x0, w, &colour,
                                     0, &alpha, 0, nullptr),
                      Res_ok);
            spans.rowsDone += rows;
        }
        ASSERT_EQ(spans.rowsDone, spans.height);
    };
    std::vector<uint8_t> one, two;
    paint(one, {m->height});
    paint(two, {5, m->height - 5});
    EXPECT_EQ(one, two);
    int inked = 0;
    for (uint8_t v : one)
        inked += v != 0;
    EXPECT_GT(inked, 100);
}

TEST_F(GlyphMaskTest, CopyIntoOneBlock)
{
    Bitmap *b = bitmap(8, 8, Pixel_formatGrey8);
    GlyphMask *m = make(request(glyph(), 3, 0), b);
    ASSERT_NE(m, nullptr);
    size_t size = sizeof(GlyphMask) + m->rowsSize + m->codesSize;
    void *block = Mem_malloc(size);
    ASSERT_NE(block, nullptr);
    GlyphMask_copyTo(block, m);
    const GlyphMask *c = static_cast<const GlyphMask *>(block);
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(c->rows),
              static_cast<uint8_t *>(block) + sizeof(GlyphMask));
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(c->codes),
              reinterpret_cast<const uint8_t *>(c->rows) + m->rowsSize);
    EXPECT_EQ(memcmp(c->rows, m->rows, m->rowsSize), 0);
    EXPECT_EQ(memcmp(c->codes, m->codes, m->codesSize), 0);
    Mem_free(block);
}

} // namespace
