// Frame sequences: the pool, the queue by display time, borrowing the
// current frame, the clock events.
#include <gtest/gtest.h>

#include "core/result.h"
#include "graphics/animframe.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "tests/graphics/image_support.h"

namespace {

class AnimFrameTest : public ImageStoreFixture {
  protected:
    ImageObject image{};
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        image.app = ctx;
        image.syncPass = 1;
        image.frozen = 1;     // the clock is not started: the tests give the time
        image.moreFrames = 1; // never wait for a free frame
        image.width = 5;
        image.height = 3;
    }
    void TearDown() override
    {
        Image_freeFrames(&image);
        ImageStoreFixture::TearDown();
    }
    // Takes a frame, queues it at time and gives it back as the decoder does.
    AnimFrame *decodeOne(int32_t time, int32_t loop = 0)
    {
        AnimFrame *f = nullptr;
        PixelBuf *p = nullptr, *m = nullptr;
        EXPECT_EQ(Anim_takeFreeFrame(&image, &f, &p, &m), Res_ok);
        if (!f)
            return nullptr;
        Anim_queueFrame(&image, f, time, loop);
        Anim_releaseFrame(&image, f);
        return f;
    }
    int freeCount()
    {
        int n = 0;
        for (AnimFrame *f = image.freeFrames; f; f = f->next)
            n++;
        return n;
    }
    std::vector<AnimFrame *> queueOrder()
    {
        std::vector<AnimFrame *> v;
        for (AnimFrame *f = image.queue; f; f = f->next)
            v.push_back(f);
        return v;
    }
};

TEST_F(AnimFrameTest, APoolIsNeverSmallerThanTwoFrames)
{
    for (int32_t asked : {0, 1, 2, 3}) {
        ASSERT_EQ(Anim_setupFrames(&image, 1, Pixel_format565, Pixel_formatGrey8, asked), Res_ok);
        EXPECT_EQ(image.kind, 2);
        EXPECT_EQ(image.frameCount, std::max(asked, 2));
        int taken = 0;
        AnimFrame *f = nullptr;
        PixelBuf *p = nullptr, *m = nullptr;
        int r;
        while ((r = Anim_takeFreeFrame(&image, &f, &p, &m)) == Res_ok) {
            EXPECT_NE(p, nullptr);
            EXPECT_NE(m, nullptr);
            EXPECT_EQ(p->width, 5);
            taken++;
        }
        EXPECT_EQ(r, Res_imageNoFreeFrame);
        EXPECT_EQ(taken, image.frameCount);
        Image_freeFrames(&image);
    }
}

TEST_F(AnimFrameTest, TheQueueIsByTimeWithEqualTimesInQueueOrder)
{
    ASSERT_EQ(Anim_setupFrames(&image, 0, Pixel_format565, Pixel_formatGrey8, 4), Res_ok);
    AnimFrame *a = decodeOne(100);
    AnimFrame *b = decodeOne(50);
    AnimFrame *c = decodeOne(100);
    AnimFrame *d = decodeOne(0, 1);
    EXPECT_EQ(queueOrder(), (std::vector<AnimFrame *>{d, b, a, c}));
    EXPECT_EQ(image.animates, 1) << "a frame with a loop counter";
    int32_t next = -1, loop = -1;
    // At 60 ms the frame of 50 is current; the next is due at 100.
    EXPECT_EQ(Anim_pickCurrentAt(&image, 60, &next, &loop), 1);
    EXPECT_EQ(image.queue, b);
    EXPECT_EQ(next, 100);
    EXPECT_EQ(loop, 0);
    EXPECT_EQ(freeCount(), 1) << "the passed frame went back";
    EXPECT_TRUE(Image_hasNextFrame(&image));
    // At 100 ms both frames of 100 are due: the later queued one shows.
    EXPECT_EQ(Anim_pickCurrentAt(&image, 100, &next, &loop), 0);
    EXPECT_EQ(image.queue, c);
    EXPECT_FALSE(Image_hasNextFrame(&image));
    EXPECT_EQ(freeCount(), 3);
    Anim_rewind(&image);
    EXPECT_EQ(image.queue, nullptr);
    EXPECT_EQ(freeCount(), 4);
}

TEST_F(AnimFrameTest, ABorrowedPassedFrameReturnsOnlyWhenReleased)
{
    ASSERT_EQ(Anim_setupFrames(&image, 1, Pixel_format565, Pixel_formatGrey8, 2), Res_ok);
    AnimFrame *first = decodeOne(0);
    AnimFrame *second = decodeOne(100);
    int32_t next = 0;
    EXPECT_EQ(Anim_pickCurrentAt(&image, 0, &next, nullptr), 1);
    PixelBuf *picture = nullptr, *mask = nullptr;
    ASSERT_EQ(Image_acquireCurrentFrame(&image, &picture, &mask), Res_ok);
    EXPECT_EQ(picture, first->picture);
    EXPECT_EQ(mask, first->mask);
    EXPECT_EQ(Anim_pickCurrentAt(&image, 150, &next, nullptr), 0);
    EXPECT_EQ(image.queue, second);
    EXPECT_EQ(freeCount(), 0) << "still borrowed";
    AnimFrame *f = nullptr;
    PixelBuf *p = nullptr, *m = nullptr;
    EXPECT_EQ(Anim_takeFreeFrame(&image, &f, &p, &m), Res_imageNoFreeFrame);
    Image_releaseFrame(&image, picture);
    EXPECT_EQ(freeCount(), 1);
    EXPECT_EQ(Anim_takeFreeFrame(&image, &f, &p, &m), Res_ok);
    EXPECT_EQ(f, first);
    // Without a current frame nothing is borrowed.
    Anim_releaseFrame(&image, f);
    Anim_advanceTo(&image, nullptr, 1);
    EXPECT_EQ(Image_acquireCurrentFrame(&image, &picture, &mask), Res_ok);
    EXPECT_EQ(picture, nullptr);
}

TEST_F(AnimFrameTest, TheViewsBuffersBecomeFrameZeroUnlessTheyDiffer)
{
    ImageView view;
    ImageView_init(&view, &image, nullptr);
    image.targetView = &view;
    image.pictureFormat = Pixel_format565;
    image.maskFormat = Pixel_formatGrey8;
    PixelBuf *picture = nullptr;
    ASSERT_EQ(PixelBuf_create(&picture, 5, 3, Pixel_format565, 0x10000), Res_ok);
    ImageView_setBuffers(&view, picture, nullptr);
    ASSERT_EQ(Anim_setupFrames(&image, 1, Pixel_format565, Pixel_formatGrey8, 2), Res_ok);
    EXPECT_EQ(image.frames[0].picture, picture);
    EXPECT_NE(image.frames[0].mask, nullptr);
    EXPECT_EQ(view.picture, nullptr);
    Image_freeFrames(&image);
    ASSERT_EQ(PixelBuf_create(&picture, 4, 3, Pixel_format565, 0x10000), Res_ok);
    ImageView_setBuffers(&view, picture, nullptr);
    EXPECT_EQ(Anim_setupFrames(&image, 1, Pixel_format565, Pixel_formatGrey8, 2),
              Res_imageSizeChanged);
    EXPECT_EQ(image.frames, nullptr);
    EXPECT_EQ(view.picture, picture);
    PixelBuf_destroy(picture);
    view.picture = nullptr;
}

TEST_F(AnimFrameTest, MemoryRunningOutLeavesNoPool)
{
    baseline = TestHeap_usedBytes();
    for (int n = 1; n < 12; n++) {
        Mem_failAfter(n);
        int r = Anim_setupFrames(&image, 1, Pixel_format565, Pixel_formatGrey8, 3);
        Mem_failAfter(0);
        if (r != Res_ok) {
            EXPECT_EQ(r, Res_noMemory);
            EXPECT_EQ(image.frames, nullptr);
        }
        Image_freeFrames(&image);
    }
}

TEST_F(AnimFrameTest, ClockEventsSetTheirBits)
{
    struct Case {
        int32_t a, b, before, after;
    } cases[] = {
        {1, 1, 0, 0},     // no change
        {1, 0, 2, 1 | 4}, // stopped while running: restart, bit 2 cleared
        {2, 0, 0, 4},     // stopped from paused
        {0, 1, 0, 1 | 2}, // started
        {1, 2, 2, 1},     // paused while running: restart
        {0, 2, 0, 0},
    };
    ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, Pixel_format565), Res_ok);
    for (const Case &c : cases) {
        image.clockEvents[0] = c.before;
        image.clockEvents[1] = 7;
        Anim_onClockEvent(ctx, &image, c.a, c.b);
        EXPECT_EQ(image.clockEvents[0], c.after) << c.a << " to " << c.b;
        EXPECT_EQ(image.clockEvents[1], c.b == 0 && c.a != c.b ? 0 : 7);
    }
    ctx->imageStore->maxAnimLoops = 4;
    EXPECT_EQ(Image_getMaxAnimLoops(&image), 4);
    EXPECT_EQ(Image_markAnimated(&image), Res_ok);
    EXPECT_EQ(image.animated, 1);
}

} // namespace
