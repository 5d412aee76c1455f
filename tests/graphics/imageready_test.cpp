// Image readiness: a decoded image does not wait, a waiting task is woken
// by the decoder's report or returns 48 when asked to stop, handle clones,
// and the MIME type of a codec.
#include <functional>
#include <string>

#include "core/task/task.h"
#include "graphics/imageready.h"
#include "tests/graphics/image_support.h"
#include "tests/support/task_fixture.h"

namespace {

void onFinal(void *user, int32_t, int32_t, int32_t, int32_t)
{
    Sem_signal(static_cast<Sem *>(user));
}

int handleCount(ImageObject *image)
{
    int n = 0;
    for (ImageHandle *h = image->handles; h; h = h->nextHandle)
        n++;
    return n;
}

class ImageReadyTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        fakeLog() = FakeLog{};
    }
    void TearDown() override
    {
        EXPECT_EQ(ctx()->imageStore, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        TaskFixture::TearDown();
    }
    void run(std::function<void()> fn, int32_t priority = 0)
    {
        Task_detach(spawn("driver", priority, std::move(fn)));
        ASSERT_GE(TestEngine_runAll(&e, 100000), 0);
    }
    ImageHandle *open(const std::string &bytes)
    {
        ImageHandle *h = nullptr;
        EXPECT_EQ(Image_open(ctx(), fakeSource(bytes, 1, &releases), nullptr, nullptr, nullptr,
                             nullptr, nullptr, 0, 0, ImageOpt_recognise, 0, &h),
                  Res_ok);
        return h;
    }
    int releases = 0;
};

TEST_F(ImageReadyTest, ADecodedImageDoesNotWait)
{
    run([&] {
        ASSERT_EQ(ImageStore_acquire(ctx(), 0, Pixel_format565), Res_ok);
        ASSERT_EQ(Plugin_register(ctx(), fakeCodec()), Res_ok);
        ImageHandle *h = open(fakePicture(20, 10));
        ASSERT_NE(h, nullptr);
        Sem done;
        Sem_init(ctx(), &done, 0, 1);
        Image_setReadyCallbacks(h, onFinal, nullptr, &done);
        Sem_wait(&done);
        ImageObject *image = h->image;
        trace.clear();
        // A higher task that would run the moment the driver slept.
        Task_detach(spawn("other", 0, [&] { log("other"); }));
        EXPECT_EQ(Image_waitReady(image, ImageWait_decodeState), 0);
        EXPECT_EQ(trace, "") << "the wait slept";
        EXPECT_EQ(handleCount(image), 1) << "the clone went with the wait";
        Image_setReadyCallbacks(h, nullptr, nullptr, nullptr);
        Sem_fini(&done);
        ImageHandle_release(h);
        ImageStore_release(ctx());
    });
    EXPECT_EQ(trace, "other ");
}

TEST_F(ImageReadyTest, AWaitEndsWithTheHeaderOrWith48WhenStopped)
{
    run([&] {
        // While the store is held an image whose data is at hand waits
        // undecoded, and so do its waiters.
        ASSERT_EQ(ImageStore_acquire(ctx(), 0, Pixel_format565), Res_ok);
        ASSERT_EQ(Plugin_register(ctx(), fakeCodec()), Res_ok);
        Image_pauseJobs(ctx());
        ImageHandle *h = nullptr;
        ASSERT_EQ(Image_open(ctx(), fakeSource(fakePicture(20, 10), 1, &releases, 1), nullptr,
                             nullptr, nullptr, nullptr, nullptr, 0, 0, ImageOpt_recognise, 0, &h),
                  Res_ok);
        ImageObject *image = h->image;
        int stopped = -1, woken = -1;
        Task *first =
            spawn("first", 1, [&] { stopped = Image_waitReady(image, ImageWait_decodeState); });
        Task *second =
            spawn("second", 1, [&] { woken = Image_waitReady(image, ImageWait_decodeState); });
        for (int i = 0; i < 20 && handleCount(image) < 3; i++)
            Task_reschedule(ctx());
        EXPECT_EQ(stopped, -1);
        EXPECT_EQ(woken, -1);
        EXPECT_EQ(handleCount(image), 3); // the waiters' clones
        Task_requestStop(first);
        EXPECT_EQ(Task_join(first), 0);
        EXPECT_EQ(stopped, Res_stopRequested);
        EXPECT_EQ(handleCount(image), 2);
        // The decoder's report wakes the other.
        Image_resumeJobs(ctx());
        EXPECT_EQ(Task_join(second), 0);
        EXPECT_EQ(woken, 0);
        EXPECT_EQ(handleCount(image), 1);
        ImageHandle_release(h);
        ImageStore_release(ctx());
    });
}

TEST_F(ImageReadyTest, ACloneSharesTheImage)
{
    run([&] {
        ASSERT_EQ(ImageStore_acquire(ctx(), ImageStore_noWorkers, Pixel_format565), Res_ok);
        ASSERT_EQ(Plugin_register(ctx(), fakeCodec()), Res_ok);
        ImageHandle *h = open(fakePicture(20, 10));
        ImageHandle *clone = nullptr;
        ASSERT_EQ(ImageHandle_clone(ctx(), h->image, &clone), 0);
        EXPECT_EQ(clone->image, h->image);
        EXPECT_EQ(handleCount(h->image), 2);
        ImageHandle_release(h);
        EXPECT_EQ(releases, 0) << "the clone keeps the image";
        Mem_failAfter(1);
        ImageHandle *none = reinterpret_cast<ImageHandle *>(1);
        EXPECT_EQ(ImageHandle_clone(ctx(), clone->image, &none), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(none, nullptr);
        ImageHandle_release(clone);
        EXPECT_EQ(releases, 1);
        ImageStore_release(ctx());
    });
}

TEST(ImageMime, CodecTypeIdsGiveTheirMimeTypes)
{
    const struct {
        int32_t codec, mime;
    } cases[] = {{3, 4}, {6, 10}, {7, 16}, {10, 23}, {12, 33}, {5, 36}, {0, 36}, {-1, 36}};
    for (auto c : cases)
        EXPECT_EQ(Image_mimeTypeForCodec(c.codec), c.mime) << c.codec;
}

} // namespace
