// Gradient paint: padded and reflected linear gradients drawn through a
// draw item, the radial table and its lookup, the normalised radial matrix,
// white through the dithered 5-6-5 forms, the general path's refusals, and
// the cached result: reused for the same rectangle, lent as a pinned view
// for a rectangle inside it, and safe from eviction while drawn.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/context/context.h"
#include "core/task/lock.h"
#include "graphics/gradient.h"
#include "graphics/imagecache.h"
#include "tests/graphics/raster_support.h"

namespace {

class GradientTest : public RasterTest {
  protected:
    void SetUp() override
    {
        RasterTest::SetUp();
        cache = ImageCache{};
        cache.refCount = 1;
        cache.budget = 1u << 20;
        ASSERT_EQ(Lock_init(&context, &cache.lock), 0);
        context.imageCache = &cache;
    }
    void TearDown() override
    {
        Lock_fini(&cache.lock);
        context.imageCache = nullptr;
        RasterTest::TearDown();
    }
    // A format-6 ramp of n colours made by colour(i).
    template <typename F> PixelBuf *ramp(int32_t n, F colour)
    {
        PixelBuf *r = buffer(n, 1, Pixel_formatRGBA);
        for (int32_t i = 0; i < n; i++) {
            uint32_t c = colour(i);
            std::memcpy(r->pixels + 4 * i, &c, 4);
        }
        return r;
    }
    int draw(Bitmap *b, GradientPaint *p)
    {
        DrawItem *d = b->drawItem;
        d->kind = DrawItem_kindRect;
        d->paintKind = DrawItem_sourceCallback;
        d->paint.callback = {Gradient_fetchColour, Gradient_releaseColour, p};
        d->maskKind = DrawItem_sourceSolid;
        d->mask.solid = {Pixel_formatGrey8, 255};
        d->cachedRowOp = nullptr;
        DrawTarget t{b, nullptr, 0, 0};
        return DrawItem_render(d, nullptr, nullptr, &t);
    }
    ImageCache cache{};
};

// One period of the gradient over 100 pixels from x = 20.
constexpr Matrix kPeriod100 = {400, 0, 0, 0x10000, 20, 0};

TEST_F(GradientTest, PaddedLinearTakesTheEndColoursOutsideThePeriod)
{
    PixelBuf *r = ramp(256, [](int32_t i) { return 0xFF000000u | uint32_t(i); });
    GradientPaint p{nullptr, r, &kPeriod100, &context, 0, 0, Gradient_padU};
    Bitmap *b = bitmap(140, 3, Pixel_format565);
    ASSERT_EQ(draw(b, &p), 0);
    for (int x = 0; x < 20; x++)
        EXPECT_EQ(pixel16(b, 1, x), 0x0000) << x;
    for (int x = 120; x < 140; x++)
        EXPECT_EQ(pixel16(b, 1, x), 0xF800) << x;
    for (int x = 21; x < 120; x++)
        EXPECT_GE(pixel16(b, 1, x), pixel16(b, 1, x - 1)) << x;
    EXPECT_NEAR(pixel16(b, 1, 70) >> 11, 128 >> 3, 1); // half way: about entry 128
    Gradient_dropCache(&p);
}

TEST_F(GradientTest, ReflectedLinearMirrorsEachPeriod)
{
    PixelBuf *r = ramp(2, [](int32_t i) { return i ? 0xFFFFFFFFu : 0xFF000000u; });
    Matrix m = {400, 0, 0, 0x10000, 0, 0};
    GradientPaint p{nullptr, r, &m, &context, 0, 0, Gradient_reflectU};
    Bitmap *b = bitmap(200, 2, Pixel_format565);
    ASSERT_EQ(draw(b, &p), 0);
    // Pixels sample at their lower-left corners: x and 200 - x mirror.
    for (int x : {5, 25, 50, 75, 95})
        EXPECT_EQ(pixel16(b, 0, x), pixel16(b, 0, 200 - x)) << x;
    EXPECT_LT(pixel16(b, 0, 10), pixel16(b, 0, 90));
    Gradient_dropCache(&p);
}

TEST_F(GradientTest, RadialTableAndLookup)
{
    const uint16_t *t = Gradient_radialTable();
    EXPECT_EQ(t[16 * 17 + 16], 0);   // at (1.0, 1.0)
    EXPECT_EQ(t[16 * 17 + 8], 8192); // at (0.5, 1.0)
    EXPECT_EQ(t[8 * 17 + 16], 8192);
    EXPECT_EQ(t[0], 16383); // clamped
    EXPECT_EQ(Gradient_radialAt(8192, 0x3FFF), 8192u);
    EXPECT_LE(Gradient_radialAt(0x3FFF, 0x3FFF), 4u); // zoomed in near the centre
    EXPECT_NEAR(double(Gradient_radialAt(15360, 0x3FFF)), 1024.0, 8.0);
}

TEST_F(GradientTest, NormalisingARadialMatrixKeepsItsCentre)
{
    Matrix m = {0, 0x10000, -0x10000, 0, 5, 7};
    Point before;
    Matrix_transformPoint(&before, 16384, 16384, &m);
    Gradient_normaliseRadial(&m);
    EXPECT_EQ(m.a, -0x10000);
    EXPECT_EQ(m.b, 0);
    EXPECT_EQ(m.c, 0);
    EXPECT_EQ(m.d, -0x10000);
    EXPECT_EQ(m.tx, 5);
    EXPECT_EQ(m.ty, 7 + 32768);
    Point after;
    Matrix_transformPoint(&after, 16384, 16384, &m);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
}

TEST_F(GradientTest, WhiteStaysWhiteThroughTheDither)
{
    PixelBuf *r256 = ramp(256, [](int32_t) { return 0x00FFFFFFu; });
    PixelBuf *r2 = ramp(2, [](int32_t) { return 0x00FFFFFFu; });
    Matrix m = {97, 13, -5, 0x4000, 3, 1};
    struct Case {
        const PixelBuf *ramp;
        uint32_t flags;
    } cases[] = {
        {r256, Gradient_padU | Gradient_dither},
        {r2, Gradient_padU | Gradient_dither},
        {r256, 0x3B | Gradient_dither},
        {r2, 0xB3 | Gradient_dither},
    };
    for (const Case &c : cases) {
        GradientPaint p{nullptr, c.ramp, &m, &context, 0, 0, c.flags};
        Bitmap *b = bitmap(45, 37, Pixel_format565);
        ASSERT_EQ(draw(b, &p), 0);
        for (int y = 0; y < 37; y++)
            for (int x = 0; x < 45; x++)
                ASSERT_EQ(pixel16(b, y, x), 0xFFFF) << c.flags << " at " << x << "," << y;
        Gradient_dropCache(&p);
    }
}

TEST_F(GradientTest, GeneralPathNeedsAWordBufferAndARamp)
{
    PixelBuf *words = buffer(4, 2, Pixel_formatRGBA);
    PixelBuf *bytes = buffer(4, 2, Pixel_formatGrey8);
    PixelBuf *shortRamp = ramp(100, [](int32_t) { return 0xFFFFFFFFu; });
    EXPECT_EQ(Gradient_mapCoordinates(bytes, nullptr, 0, 0, 0, 0, 0, 0), Gradient_badBuffer);
    EXPECT_EQ(Gradient_radial(bytes), Gradient_badBuffer);
    EXPECT_EQ(Gradient_rampColour(bytes, shortRamp), Gradient_badBuffer);
    std::memset(words->pixels, 0x5A, size_t(words->stride) * 2);
    EXPECT_EQ(Gradient_rampColour(words, shortRamp), 0);
    EXPECT_EQ(Gradient_rampAlpha(words, shortRamp), 0);
    EXPECT_EQ(words->pixels[0], 0x5A); // too short a ramp: left unmapped
    // Pad along v: rows below the start take 0, above the period 0x3FFF.
    Matrix m = {0x10000, 0, 0, 400, 0, 0};
    PixelBuf *tall = buffer(1, 120, Pixel_formatRGBA);
    ASSERT_EQ(Gradient_mapCoordinates(tall, &m, 0, -10, 0, 0, 0, 1), 0);
    auto word = [tall](int row) {
        uint32_t w;
        std::memcpy(&w, tall->pixels + size_t(row) * tall->stride, 4);
        return w;
    };
    EXPECT_EQ(word(119) >> 16, 0u);    // bottom row, y = -10
    EXPECT_EQ(word(0) >> 16, 0x3FFFu); // top row, y = 109
}

// Drawing twice over the same rectangle reuses the cached pixels; a
// rectangle inside it is lent as a view, pinned until released, so the
// cache cannot evict it while it is drawn.
TEST_F(GradientTest, TheCachedResultIsReusedAndPinnedWhileDrawn)
{
    PixelBuf *r = ramp(256, [](int32_t i) { return 0xFF000000u | uint32_t(i) << 8; });
    GradientPaint p{nullptr, r, &kPeriod100, &context, 0, 0, Gradient_padU | Gradient_dither};
    Bitmap *b = bitmap(60, 20, Pixel_format565);
    ASSERT_EQ(draw(b, &p), 0);
    GradientCache *first = p.cache;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->entry.pins, 0);
    EXPECT_EQ(first->entry.bytes, 60u * 20u * 2u);
    std::vector<uint16_t> drawn;
    for (int x = 0; x < 60; x++)
        drawn.push_back(pixel16(b, 5, x));
    std::memset(b->pixels, 0, size_t(b->stride) * 20);
    ASSERT_EQ(draw(b, &p), 0);
    EXPECT_EQ(p.cache, first);
    for (int x = 0; x < 60; x++)
        EXPECT_EQ(pixel16(b, 5, x), drawn[size_t(x)]);

    // A rectangle inside: a view into the cached pixels, pinned.
    Rect inside{10, 4, 30, 12};
    uint32_t format = 0;
    PixelBuf *view = nullptr;
    ASSERT_EQ(Gradient_fetchColour(&p, &format, &view, &inside, 0, 0, b, b->scale), 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->ownsPixels, 0u);
    EXPECT_EQ(view->width, 20);
    EXPECT_EQ(first->entry.pins, 1);
    uint16_t px;
    std::memcpy(&px, view->pixels + size_t(view->height - 1 - (5 - 4)) * view->stride + 2 * 0, 2);
    EXPECT_EQ(px, drawn[10]); // the view's pixel (10, 5) is the drawn one
    // Nothing can push the pinned result out meanwhile.
    ImageCacheEntry other;
    ImageCache_initEntry(&other, nullptr);
    EXPECT_EQ(ImageCache_reserveLocked(&context, &other, cache.budget), 0);
    EXPECT_EQ(p.cache, first);
    Gradient_releaseColour(&p, view);
    EXPECT_EQ(first->entry.pins, 0);
    // Unpinned, it can be evicted; the paint then has no cached result.
    EXPECT_EQ(ImageCache_reserveLocked(&context, &other, cache.budget), 1);
    EXPECT_EQ(p.cache, nullptr);
    ImageCache_removeLocked(&context, &other);
    Gradient_dropCache(&p);
}

TEST_F(GradientTest, MaskFetchGivesTheRampsAlpha)
{
    PixelBuf *r = ramp(2, [](int32_t i) { return i ? 0xFF000000u : 0x00000000u; });
    GradientPaint p{nullptr, r, &kPeriod100, &context, 0, 0, Gradient_padU};
    Bitmap *b = bitmap(140, 2, Pixel_format565);
    DrawItem *d = b->drawItem;
    d->kind = DrawItem_kindRect;
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, 0x00FFFFFF};
    d->maskKind = DrawItem_sourceCallback;
    d->mask.callback = {Gradient_fetchMask, Gradient_releaseMask, &p};
    d->cachedRowOp = nullptr;
    DrawTarget t{b, nullptr, 0, 0};
    ASSERT_EQ(DrawItem_render(d, nullptr, nullptr, &t), 0);
    EXPECT_EQ(pixel16(b, 0, 5), 0x0000);   // alpha 0 before the start
    EXPECT_GT(pixel16(b, 0, 130), 0xF000); // nearly opaque beyond the end (254)
    Gradient_dropCache(&p);
}

} // namespace
