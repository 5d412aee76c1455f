// Scaled-image cache entries: what the cache takes and refuses, that pinned
// entries stay, that an entry evicted before its removal frees its buffer
// once, the module hooks, and the scale requests' private copies.
#include <gtest/gtest.h>

#include "core/result.h"
#include "graphics/pixelbuf.h"
#include "tests/graphics/image_support.h"
#include "viewer/scaledentry.h"
#include "viewer/scrollhints.h"

namespace {

class ScaledEntryTest : public ImageStoreFixture {
  protected:
    void start(uint32_t budget)
    {
        setInt(nullptr, "Vexlan_Image_Cache_Bytes", budget);
        baseline = TestHeap_usedBytes();
        ASSERT_EQ(ImageCacheModule_start(ctx), 0);
        ASSERT_NE(ctx->scaledEntryLock, nullptr);
        ASSERT_NE(ctx->imageCache, nullptr);
    }
    void TearDown() override
    {
        ImageCacheModule_stop(ctx);
        ImageStoreFixture::TearDown();
    }
    // A new entry record holding a 10 x 10 buffer of its own.
    ScaledImageEntry *entry(PixelBuf **buffer = nullptr)
    {
        ScaledImageEntry *e =
            static_cast<ScaledImageEntry *>(Mem_calloc(1, sizeof(ScaledImageEntry)));
        EXPECT_NE(e, nullptr);
        EXPECT_EQ(PixelBuf_create(&e->buffer, 10, 10, Pixel_format565, 0x10000), 0);
        if (buffer)
            *buffer = e->buffer;
        return e;
    }
};

TEST_F(ScaledEntryTest, AnEntryLargerThanTheBudgetIsRefusedAndKeepsItsBuffer)
{
    start(1000);
    PixelBuf *buffer = nullptr;
    ScaledImageEntry *e = entry(&buffer);
    EXPECT_EQ(ImageCacheEntry_add(ctx, 2, e, 5000), 0);
    EXPECT_EQ(e->buffer, nullptr) << "handed back to the caller";
    EXPECT_EQ(ctx->imageCache->used, 0u);
    EXPECT_EQ(ctx->imageCache->oldest, nullptr);
    // The caller still owns both.
    EXPECT_EQ(buffer->width, 10);
    PixelBuf_destroy(buffer);
    Mem_free(e);
}

TEST_F(ScaledEntryTest, PinnedEntriesStayAndEvictionThenRemovalFreesOnce)
{
    start(1000);
    ScaledImageEntry *a = entry();
    ASSERT_NE(ImageCacheEntry_add(ctx, 2, a, 600), 0);
    EXPECT_EQ(a->cache.pins, 1) << "arrives pinned once";
    EXPECT_EQ(a->flags & ScaledEntry_holdsBuffer, 1u);
    EXPECT_EQ(a->context, ctx);

    // a is pinned: b cannot make room and is refused; a keeps its buffer.
    PixelBuf *bBuffer = nullptr;
    ScaledImageEntry *b = entry(&bBuffer);
    EXPECT_EQ(ImageCacheEntry_add(ctx, 3, b, 600), 0);
    EXPECT_NE(a->buffer, nullptr);
    EXPECT_EQ(a->flags & ScaledEntry_holdsBuffer, 1u);
    PixelBuf_destroy(bBuffer);
    Mem_free(b);

    // Unpinned, a is evicted for c: its buffer goes, the record stays.
    ImageCache_unpin(ctx, &a->cache);
    ScaledImageEntry *c = entry();
    ASSERT_NE(ImageCacheEntry_add(ctx, 2, c, 600), 0);
    EXPECT_EQ(a->buffer, nullptr);
    EXPECT_EQ(a->flags & ScaledEntry_holdsBuffer, 0u);
    EXPECT_EQ(a->cache.bytes, 0u) << "uncharged first";
    EXPECT_EQ(ctx->imageCache->used, 600u);

    // Removing the evicted entry frees only its record; removing c takes
    // it out of the cache and frees its buffer (the heap check shows both
    // were freed exactly once).
    ImageCacheEntry_remove(a);
    ImageCacheEntry_remove(c);
    EXPECT_EQ(ctx->imageCache->used, 0u);
    EXPECT_EQ(ctx->imageCache->oldest, nullptr);
    ImageCacheEntry_remove(nullptr);
    EXPECT_EQ(ImageCacheEntry_add(ctx, 2, nullptr, 10), 0);
}

TEST_F(ScaledEntryTest, ModuleHooksMakeAndDropTheLockAndTheCacheReference)
{
    start(1000);
    ImageCacheModule_stop(ctx);
    EXPECT_EQ(ctx->scaledEntryLock, nullptr);
    EXPECT_EQ(ctx->imageCache, nullptr);
    ImageCacheModule_stop(ctx); // a second stop does nothing
    EXPECT_EQ(Module_startNothing(ctx), 0);
    Module_stopNothing(ctx);

    // Without the module nothing is taken.
    PixelBuf *buffer = nullptr;
    ScaledImageEntry *e = entry(&buffer);
    EXPECT_EQ(ImageCacheEntry_add(ctx, 2, e, 10), 0);
    PixelBuf_destroy(buffer);
    Mem_free(e);

    // Out of memory at either step: nothing is kept.
    for (uint64_t n = 1; n <= 2; n++) {
        Mem_failAfter(n);
        int r = ImageCacheModule_start(ctx);
        Mem_failAfter(0);
        if (r == 0) {
            ImageCacheModule_stop(ctx);
            continue;
        }
        EXPECT_EQ(r, 1) << n;
        EXPECT_EQ(ctx->scaledEntryLock, nullptr);
        EXPECT_EQ(ctx->imageCache, nullptr);
    }
}

TEST_F(ScaledEntryTest, ScaleRequestsAreCopiedOnceAndFreedByNull)
{
    baseline = TestHeap_usedBytes();
    ImageScaleRequest *field = nullptr;
    ImageScaleRequest r1{100, 50, {1, 2, 3, 4, 5}};
    ASSERT_EQ(Image_setScaleRequest(&field, &r1), 0);
    ASSERT_NE(field, nullptr);
    ImageScaleRequest *first = field;
    EXPECT_EQ(field->width, 100u);
    r1.width = 7; // a private copy: the caller's record may change
    EXPECT_EQ(field->width, 100u);
    ImageScaleRequest r2{30, 40, {9, 9, 9, 9, 9}};
    ASSERT_EQ(Image_setScaleRequest(&field, &r2), 0);
    EXPECT_EQ(field, first) << "the copy is reused";
    EXPECT_EQ(field->height, 40u);
    EXPECT_EQ(field->words[4], 9u);
    EXPECT_EQ(Image_setScaleRequest(&field, nullptr), 0);
    EXPECT_EQ(field, nullptr);
    EXPECT_EQ(Image_setScaleRequest(&field, nullptr), 0) << "clearing twice is harmless";
    Mem_failAfter(1);
    EXPECT_EQ(Image_setScaleRequest(&field, &r2), 1);
    Mem_failAfter(0);
    EXPECT_EQ(field, nullptr);
}

} // namespace
