// The image cache and image views: the byte budget and its eviction order,
// pins, settling, the views' buffers and colour transforms, their list and
// what a released view becomes; plus the rectangle fills and the table
// search that the view code uses.
#include <string>
#include <vector>

#include "graphics/table.h"
#include "tests/graphics/image_support.h"

namespace {

// Plain entries with an evict callback that logs which one went.
struct TestEntry {
    ImageCacheEntry entry;
    int id;
    std::vector<int> *evicted;
};

void logEvict(EngineContext *, ImageCacheEntry *e)
{
    TestEntry *t = reinterpret_cast<TestEntry *>(e);
    t->evicted->push_back(t->id);
}

class ImageCacheTest : public ImageStoreFixture {
  protected:
    void makeCache(uint32_t budget)
    {
        setInt(nullptr, "Vexlan_Image_Cache_Bytes", budget);
        baseline = TestHeap_usedBytes();
        ASSERT_EQ(ImageCache_acquire(ctx), Res_ok);
        cache = ctx->imageCache;
        EXPECT_EQ(cache->budget, budget);
    }
    void TearDown() override
    {
        if (cache && !ctx->imageStore)
            ImageCache_release(ctx);
        ImageStoreFixture::TearDown();
    }
    TestEntry *entry(int id)
    {
        entries.push_back(TestEntry{{}, id, &evicted});
        ImageCache_initEntry(&entries.back().entry, logEvict);
        return &entries.back();
    }
    std::vector<int> order()
    {
        std::vector<int> ids;
        for (ImageCacheEntry *e = cache->oldest; e; e = e->next)
            ids.push_back(reinterpret_cast<TestEntry *>(e)->id);
        return ids;
    }
    ImageCache *cache = nullptr;
    std::vector<TestEntry> entries;
    std::vector<int> evicted;
};

TEST_F(ImageCacheTest, ABudgetOfZeroCachesNothing)
{
    entries.reserve(4);
    makeCache(0);
    TestEntry *a = entry(1);
    EXPECT_EQ(ImageCache_reserveLocked(ctx, &a->entry, 1), 0);
    EXPECT_EQ(a->entry.bytes, 0u);
    EXPECT_EQ(cache->used, 0u);
    a->entry.pins = 1;
    EXPECT_EQ(ImageCache_settle(ctx, &a->entry, 100), 0) << "the caller frees it";
}

TEST_F(ImageCacheTest, EvictionTakesTheOldestUnpinnedUntilTheNewEntryFits)
{
    entries.reserve(8);
    makeCache(1000);
    TestEntry *a = entry(1), *b = entry(2), *c = entry(3), *d = entry(4);
    ASSERT_EQ(ImageCache_reserve(ctx, &a->entry, 300), 1);
    ASSERT_EQ(ImageCache_reserve(ctx, &b->entry, 300), 1);
    ASSERT_EQ(ImageCache_reserve(ctx, &c->entry, 300), 1);
    EXPECT_EQ(ImageCache_reserve(ctx, &a->entry, 999), 1) << "already cached";
    EXPECT_EQ(cache->used, 900u);
    ImageCache_pin(ctx, &a->entry);
    // 900 + 250 needs 150: a is pinned, so b goes and c stays.
    ASSERT_EQ(ImageCache_reserve(ctx, &d->entry, 250), 1);
    EXPECT_EQ(evicted, std::vector<int>{2});
    EXPECT_EQ(order(), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(cache->used, 850u);
    EXPECT_EQ(b->entry.bytes, 0u);

    // A view larger than the whole budget is never cached.
    TestEntry *huge = entry(5);
    EXPECT_EQ(ImageCache_reserve(ctx, &huge->entry, 1001), 0);
    // When the unpinned entries cannot make room nothing is evicted.
    ImageCache_pin(ctx, &c->entry);
    TestEntry *e = entry(6);
    EXPECT_EQ(ImageCache_reserve(ctx, &e->entry, 600), 0);
    EXPECT_EQ(evicted, std::vector<int>{2});
    EXPECT_EQ(order(), (std::vector<int>{1, 3, 4}));
    ImageCache_unpin(ctx, &a->entry);
    ImageCache_unpin(ctx, &c->entry);
    EXPECT_EQ(a->entry.pins, 0);
    ImageCache_unpin(ctx, &c->entry);
    EXPECT_EQ(c->entry.pins, 0) << "pins never go below 0";
}

TEST_F(ImageCacheTest, TouchRemoveAndSettle)
{
    entries.reserve(8);
    makeCache(1000);
    TestEntry *a = entry(1), *b = entry(2), *c = entry(3);
    ASSERT_EQ(ImageCache_reserve(ctx, &a->entry, 100), 1);
    ASSERT_EQ(ImageCache_reserve(ctx, &b->entry, 100), 1);
    ImageCache_lock(ctx);
    ImageCache_touch(ctx, &b->entry);
    ImageCache_unlock(ctx);
    EXPECT_EQ(order(), (std::vector<int>{1, 2})) << "touching the newest changes nothing";
    ImageCache_touch(ctx, &a->entry);
    EXPECT_EQ(order(), (std::vector<int>{2, 1}));
    ImageCache_touch(ctx, &c->entry);
    EXPECT_EQ(order(), (std::vector<int>{2, 1})) << "an entry not cached is not touched";

    struct Case {
        const char *what;
        int32_t pins;
        uint64_t bytes;
        int stays;
        uint32_t cachedAfter;
    };
    const Case cases[] = {
        {"pinned by others", 2, 100, 1, 100},
        {"nobody pins: 0 bytes", 1, 0, 0, 0},
        {"same size: touched", 1, 100, 1, 100},
        {"new size: cached anew", 1, 300, 1, 300},
    };
    for (const Case &k : cases) {
        ImageCache_remove(ctx, &a->entry);
        ASSERT_EQ(ImageCache_reserve(ctx, &a->entry, 100), 1);
        ImageCache_touch(ctx, &b->entry);
        a->entry.pins = k.pins;
        EXPECT_EQ(ImageCache_settle(ctx, &a->entry, k.bytes), k.stays) << k.what;
        EXPECT_EQ(a->entry.bytes, k.cachedAfter) << k.what;
        if (k.cachedAfter && k.pins == 1) {
            EXPECT_EQ(order().back(), 1) << k.what << ": the newest";
        }
    }
    a->entry.pins = 0;
    ImageCache_removeLocked(ctx, &a->entry);
    ImageCache_removeLocked(ctx, &a->entry);
    EXPECT_EQ(cache->used, 100u);
    EXPECT_EQ(order(), std::vector<int>{2});
}

TEST_F(ImageCacheTest, TheCacheIsSharedByReference)
{
    makeCache(10);
    ASSERT_EQ(ImageCache_acquire(ctx), Res_ok);
    EXPECT_EQ(ctx->imageCache, cache);
    EXPECT_EQ(cache->refCount, 2);
    ImageCache_release(ctx);
    EXPECT_EQ(ctx->imageCache, cache);
    ImageCache_release(ctx);
    EXPECT_EQ(ctx->imageCache, nullptr);
    cache = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(ImageCache_acquire(ctx), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(ctx->imageCache, nullptr);
}

// ------------------------------------------------------------- views

class ImageViewTest : public ImageStoreFixture {
  protected:
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        setInt(nullptr, "DynamicSubsampling", 1);
    }
    ImageView *view(ImageObject *image)
    {
        ImageView *v = nullptr;
        EXPECT_EQ(ImageView_create(image, &v), Res_ok);
        return v;
    }
};

TEST_F(ImageViewTest, BuffersGeometryAndByteSize)
{
    makeStore();
    ImageHandle *h = open("unused", 1);
    ImageView *v = view(h->image);
    EXPECT_EQ(v->nextView, v) << "in no list";
    EXPECT_EQ(ImageView_byteSize(nullptr), 0u);
    ImageViewGeometry g{5, 3, 0x10000, Pixel_format565, Pixel_formatGrey8};
    ASSERT_EQ(ImageView_ensureBuffers(v, 1, 1, &g), Res_ok);
    EXPECT_EQ(ImageView_geometryMatches(v), 1);
    // Rows brought up to a multiple of 4 bytes: 12 and 8.
    EXPECT_EQ(ImageView_byteSize(v), 3u * 12 + 3u * 8);
    PixelBuf *oldPicture = v->picture;
    ASSERT_EQ(ImageView_ensureBuffers(v, 1, 1, &g), Res_ok);
    EXPECT_EQ(v->picture, oldPicture) << "matching buffers stay";
    g.width = 6;
    ASSERT_EQ(ImageView_ensureBuffers(v, 1, 1, &g), Res_ok);
    EXPECT_EQ(v->picture->width, 6) << "a new width makes both anew";
    EXPECT_EQ(v->mask->width, 6);
    ASSERT_EQ(ImageView_ensureBuffers(v, 1, 0, &g), Res_ok);
    EXPECT_EQ(v->mask, nullptr);
    v->width = 7;
    EXPECT_EQ(ImageView_geometryMatches(v), 0);

    PixelBuf *pic = v->picture;
    v->picture = nullptr;
    ImageView_setBuffers(v, nullptr, nullptr);
    EXPECT_EQ(v->width, 0);
    EXPECT_EQ(v->pictureFormat, 0u);
    PixelBuf *mask = nullptr;
    ASSERT_EQ(PixelBuf_create(&mask, 9, 4, Pixel_formatGrey8, 3), Res_ok);
    ImageView_setBuffers(v, nullptr, mask);
    EXPECT_EQ(v->width, 9) << "from the mask without a picture";
    EXPECT_EQ(v->scale, 3);
    ImageView_setBuffers(v, pic, mask);
    EXPECT_EQ(v->width, 6);
    EXPECT_EQ(v->maskFormat, uint32_t(Pixel_formatGrey8));

    g = ImageViewGeometry{1 << 20, 1 << 20, 0x10000, Pixel_formatRGBA, 0};
    EXPECT_EQ(ImageView_ensureBuffers(v, 1, 1, &g), Res_noMemory);
    EXPECT_EQ(v->picture, nullptr) << "everything is freed on failure";
    EXPECT_EQ(v->mask, nullptr);
    ImageView_free(v);
    ImageView_free(nullptr);
    ImageHandle_release(h);
}

TEST_F(ImageViewTest, ColourTransformsAndFindingViewsByKind)
{
    makeStore();
    ImageHandle *h = open("unused", 1);
    ImageObject *image = h->image;
    ImageView *plain = view(image), *tinted = view(image);
    ImageView_attach(image, plain);
    ImageView_attach(image, tinted);
    ImageView_attach(image, tinted);
    EXPECT_EQ(image->views, tinted);
    EXPECT_EQ(tinted->nextView, plain);
    EXPECT_EQ(plain->nextView, nullptr);

    ColourTransform identity{{0x10000, 0x10000, 0x10000, 0x10000}, {0, 0, 0, 0}};
    ColourTransform half{{0x8000, 0x10000, 0x10000, 0x10000}, {0, 0, 0, 0}};
    ASSERT_EQ(ImageView_setColourTransform(tinted, &half), Res_ok);
    ASSERT_NE(tinted->transform, nullptr);
    EXPECT_EQ(tinted->transform->multiply[0], 0x8000);
    const ImageViewKey plainKey{0, 0}, transformedKey{1, 0}, convertedKey{0, 1};
    EXPECT_EQ(ImageView_find(image, &plainKey), plain);
    EXPECT_EQ(ImageView_find(image, &transformedKey), tinted);
    EXPECT_EQ(ImageView_find(image, &convertedKey), nullptr);
    ImageView *made = nullptr;
    ASSERT_EQ(ImageView_findOrCreate(image, &convertedKey, &made), Res_ok);
    EXPECT_NE(made, nullptr);
    EXPECT_EQ(made->nextView, made) << "made unattached";
    ImageView_free(made);
    EXPECT_NE(Image_getCapFlags(image) & ImageCap_drawable, 0u) << "a transformed view exists";

    ASSERT_EQ(ImageView_setColourTransform(tinted, &identity), Res_ok);
    EXPECT_EQ(tinted->transform, nullptr) << "the identity frees the transform";
    EXPECT_EQ(ImageView_find(image, &plainKey), tinted);
    Mem_failAfter(1);
    EXPECT_EQ(ImageView_setColourTransform(tinted, &half), Res_noMemory);
    Mem_failAfter(0);
    ImageHandle_release(h);
}

// A released view goes to the cache only as the plain picture of a
// decoded image; otherwise it stays with the image (outside the cache)
// until the image dies.
TEST_F(ImageViewTest, WhatAReleasedViewBecomes)
{
    setInt(nullptr, "Vexlan_Image_Cache_Bytes", 100000);
    makeStore();
    struct Case {
        const char *what;
        int32_t state;
        uint32_t options;
        uint32_t flags;
        bool cached, freed;
    };
    const Case cases[] = {
        {"decoded", ImageState_done, 0, 0, true, false},
        {"still queued", ImageState_queued, 0, 0, false, false},
        {"failed", ImageState_failed, 0, 0, false, false},
        {"releases its decoder", ImageState_done, ImageOpt_releaseDecoder, 0, false, false},
        {"kept with its image", ImageState_done, 0, ImageView_keepWithImage, false, false},
    };
    for (const Case &c : cases) {
        ImageHandle *h = open("unused", 1, ImageOpt_recognise | ImageOpt_neverShare);
        ImageObject *image = h->image;
        image->options |= c.options;
        ImageView *v = view(image);
        ImageViewGeometry g{10, 10, 0x10000, Pixel_format565, 0};
        ASSERT_EQ(ImageView_ensureBuffers(v, 1, 0, &g), Res_ok);
        v->viewFlags = c.flags;
        ImageView_pinAll(image);
        ImageView_attach(image, v);
        EXPECT_EQ(v->entry.pins, 1);
        image->state = c.state;
        ImageView *views[1] = {v};
        ImageView_release(ctx, image, image->generation + 1, views, 1);
        EXPECT_EQ(v->entry.pins, 1) << c.what << ": another generation is left alone";
        ImageView_release(ctx, image, image->generation, views, 1);
        EXPECT_EQ(image->pinCount, 0);
        EXPECT_EQ(image->views, v) << c.what << ": never freed by the release";
        EXPECT_EQ(v->entry.pins, 0);
        EXPECT_EQ(v->entry.bytes, c.cached ? 200u : 0u) << c.what;
        EXPECT_EQ(ctx->imageCache->used, c.cached ? 200u : 0u) << c.what;
        image->state = ImageState_done;
        ImageHandle_release(h);
        EXPECT_EQ(ctx->imageCache->used, 0u) << c.what << ": the image's death drops its views";
    }
}

// With budget 0 a settled view is freed at once through its evict path.
TEST_F(ImageViewTest, ASettledViewIsFreedWhenTheCacheRefusesIt)
{
    makeStore();
    ImageHandle *h = open("unused", 1);
    ImageObject *image = h->image;
    ImageView *v = view(image);
    ImageViewGeometry g{10, 10, 0x10000, Pixel_format565, 0};
    ASSERT_EQ(ImageView_ensureBuffers(v, 1, 0, &g), Res_ok);
    ImageView_pinAll(image);
    ImageView_attach(image, v);
    image->state = ImageState_done;
    size_t before = heapUsed();
    ImageView_settle(v);
    EXPECT_EQ(image->views, nullptr);
    EXPECT_LT(heapUsed(), before);
    ImageView_unpinAll(image);
    ImageHandle_release(h);
}

// Cached views of other images are evicted for a new one, never pinned
// ones; an evicted view leaves its image's list.
TEST_F(ImageViewTest, EvictionFreesViewsOfOtherImages)
{
    setInt(nullptr, "Vexlan_Image_Cache_Bytes", 500);
    makeStore();
    ImageHandle *h1 = open("unused", 1), *h2 = open("unused", 2);
    ImageView *v1 = view(h1->image), *v2 = view(h2->image);
    ImageViewGeometry g{10, 10, 0x10000, Pixel_format565, 0};
    ASSERT_EQ(ImageView_ensureBuffers(v1, 1, 0, &g), Res_ok);
    ASSERT_EQ(ImageView_ensureBuffers(v2, 1, 0, &g), Res_ok);
    for (ImageHandle *h : {h1, h2})
        h->image->state = ImageState_done;
    ImageView_pinAll(h1->image);
    ImageView_attach(h1->image, v1);
    ImageView_settle(v1);
    ImageView_unpinAll(h1->image);
    EXPECT_EQ(v1->entry.bytes, 200u);
    ImageView_pinAll(h2->image);
    ImageView_attach(h2->image, v2);
    g.width = 20;
    ASSERT_EQ(ImageView_ensureBuffers(v2, 1, 0, &g), Res_ok);
    ImageView_settle(v2);
    EXPECT_EQ(h1->image->views, nullptr) << "v1 made room for v2";
    EXPECT_EQ(ctx->imageCache->used, 400u);
    ImageView_unpinAll(h2->image);
    ImageHandle_release(h1);
    ImageHandle_release(h2);
    EXPECT_EQ(ctx->imageCache->used, 0u);
}

// ------------------------------------------------------ rectangle fills

class FillTest : public ImageStoreFixture {};

TEST_F(FillTest, FillRectWritesEachFormatsWordAndWhite)
{
    struct Case {
        uint32_t format;
        uint32_t value, stored, white;
    };
    const Case cases[] = {
        {Pixel_formatGrey8, 0x1234, 0x34, 255},
        {Pixel_format444, 0x12345, 0x2345, 0x0FFF},
        {Pixel_format565Alt, 0xABCDE, 0xBCDE, 0xFFFF},
        {Pixel_format555, 7, 7, 0x7FFF},
        {Pixel_format565, 0x10001, 1, 0xFFFF},
        {Pixel_formatRGBA, 0x11223344, 0x11223344, 0x00FFFFFF},
        {Pixel_format32, 5, 0, 0},
        {Pixel_format1555, 5, 0, 0},
    };
    for (const Case &c : cases) {
        PixelBuf *b = nullptr;
        ASSERT_EQ(PixelBuf_create(&b, 4, 3, c.format, 0x10000), Res_ok);
        memset(b->pixels, 0, size_t(b->stride) * 3);
        uint32_t bpp = Pixel_bytesPerPixel(c.format);
        auto at = [&](int x, int y) {
            uint32_t v = 0;
            memcpy(&v, b->pixels + y * b->stride + x * bpp, bpp);
            return v;
        };
        PixelBuf_fillRect(b, 1, 1, 10, 10, c.value);
        EXPECT_EQ(at(1, 1), c.stored) << c.format;
        EXPECT_EQ(at(3, 2), c.stored) << c.format << ": clipped to the buffer";
        EXPECT_EQ(at(0, 1), 0u) << c.format;
        EXPECT_EQ(at(1, 0), 0u) << c.format << ": rows from the first in memory";
        PixelBuf_fillRectWhite(b, -2, -2, 3, 3);
        EXPECT_EQ(at(0, 0), c.white) << c.format;
        EXPECT_EQ(at(1, 1), c.stored) << c.format;
        PixelBuf_destroy(b);
    }
    PixelBuf_fillRect(nullptr, 0, 0, 1, 1, 0);
    PixelBuf_fillRectWhite(nullptr, 0, 0, 1, 1);
}

// ------------------------------------------------------- table search

TEST(TableFind, FindsEveryKeyAndMissesTheOthers)
{
    struct Record {
        uint32_t key;
        uint32_t payload;
    };
    const Record table[5] = {{10, 0}, {20, 1}, {30, 2}, {40, 3}, {50, 4}};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(Table_find(table, 5, sizeof(Record), table[i].key), i);
    for (uint32_t missing : {0u, 15u, 35u, 45u, 55u, 0xFFFFFFFFu})
        EXPECT_EQ(Table_find(table, 5, sizeof(Record), missing), -1) << missing;
    EXPECT_EQ(Table_find(table, 0, sizeof(Record), 10), -1);
    EXPECT_EQ(Table_find(table, 1, sizeof(Record), 10), 0);
    for (uint32_t n = 1; n <= 17; n++) {
        std::vector<uint32_t> keys;
        for (uint32_t i = 0; i < n; i++)
            keys.push_back(3 * i + 1);
        for (uint32_t i = 0; i < n; i++)
            EXPECT_EQ(Table_find(keys.data(), n, 4, 3 * i + 1), int32_t(i)) << n;
        for (uint32_t i = 0; i <= n; i++)
            EXPECT_EQ(Table_find(keys.data(), n, 4, 3 * i), -1) << n;
    }
    // A table out of order answers without reading outside it.
    const uint32_t unordered[6] = {90, 80, 70, 60, 50, 40};
    for (uint32_t k : {1u, 45u, 95u})
        EXPECT_EQ(Table_find(unordered, 6, 4, k), -1);
}

} // namespace
