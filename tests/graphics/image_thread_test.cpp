// The image store with its two "imageJob" workers: decoding on a worker
// and publishing the result, releasing the last handle while a worker
// decodes, the hold that keeps available images waiting, freezing, and the
// store made by the graphics services. Each test runs its scenario in a
// loop, on a driver task below the workers' priority so that a worker
// finishes whatever it started before the driver looks.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/task/task.h"
#include "graphics/graphics.h"
#include "tests/graphics/image_support.h"
#include "tests/support/task_fixture.h"

namespace {

constexpr int kRounds = 12;

// Counts the final reports of one handle and wakes the driver on each.
struct Waiter {
    ImageHandle *handle = nullptr;
    Sem finals{};
    int reports = 0;
    int sizes = 0;
    int32_t width = 0, height = 0;
};

void onReady(void *user, int32_t, int32_t, int32_t, int32_t)
{
    Waiter *w = static_cast<Waiter *>(user);
    w->reports++;
    uint32_t caps = 0;
    if (Image_getDocImageInfo(w->handle, nullptr, nullptr, &caps) == Res_ok &&
        (caps & ImageCap_final))
        Sem_signal(&w->finals);
}

void onSize(void *user, int32_t width, int32_t height, int32_t)
{
    Waiter *w = static_cast<Waiter *>(user);
    w->sizes++;
    w->width = width;
    w->height = height;
}

std::vector<int> &hookOps()
{
    static std::vector<int> ops;
    return ops;
}

int recordingHook(void *, int32_t op, void *, int32_t *size)
{
    hookOps().push_back(op);
    if (size)
        *size = 0;
    return Res_ok;
}

class ImageThreadTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        fakeLog() = FakeLog{};
        hookOps().clear();
    }
    void TearDown() override
    {
        EXPECT_EQ(ctx()->imageStore, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "heap bytes leaked";
        TaskFixture::TearDown();
    }
    // Runs fn on a driver task below the workers, then every slice.
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("driver", 0, std::move(fn)));
        ASSERT_GE(TestEngine_runAll(&e, 100000), 0) << "the engine aborted";
    }
    // From the driver.
    void makeStore()
    {
        ASSERT_EQ(ImageStore_acquire(ctx(), 0, Pixel_format565), Res_ok);
        ASSERT_EQ(Plugin_register(ctx(), fakeCodec()), Res_ok);
    }
    ImageHandle *open(const std::string &bytes, int key, int available = 0,
                      ImageHook hook = nullptr)
    {
        ImageHandle *h = nullptr;
        EXPECT_EQ(Image_open(ctx(), fakeSource(bytes, key, &releases, available), nullptr, nullptr,
                             nullptr, hook, nullptr, 0, 0, ImageOpt_recognise, 0, &h),
                  Res_ok);
        return h;
    }
    void watch(Waiter *w, ImageHandle *h)
    {
        w->handle = h;
        Sem_init(ctx(), &w->finals, 0, 100);
        Image_setReadyCallbacks(h, onReady, onSize, w);
    }
    int releases = 0;
};

TEST_F(ImageThreadTest, AWorkerDecodesSubsamplesAndPublishes)
{
    run([&] {
        for (int round = 0; round < kRounds; round++) {
            fakeLog() = FakeLog{};
            releases = 0;
            makeStore();
            ASSERT_EQ(ctx()->imageStore->workerCount, 2);
            ImageHandle *h = open(fakePicture(1000, 1000, FakeMode_reduces), 1);
            ASSERT_NE(h, nullptr);
            ImageObject *image = h->image;
            EXPECT_TRUE(h->lockable);
            Waiter w;
            watch(&w, h);
            Sem_wait(&w.finals);
            EXPECT_EQ(image->state, ImageState_done);
            EXPECT_EQ(image->worker, -1);
            EXPECT_EQ(image->width, 250);
            EXPECT_EQ(image->height, 250);
            EXPECT_EQ(image->resolution, 18);
            EXPECT_EQ(fakeLog().decodedWidth, 250);
            EXPECT_EQ(fakeLog().decodes, 1);
            EXPECT_EQ(fakeLog().instances, 0);
            EXPECT_NE(fakeLog().lastFlags & ImageDec_flagAsync, 0u);
            EXPECT_EQ(w.sizes, 1);
            EXPECT_EQ(w.width, 1000);
            EXPECT_EQ(image->pinCount, 0);
            int32_t info[6];
            uint32_t caps = 0;
            ASSERT_EQ(Image_getDocImageInfo(h, info, nullptr, &caps), Res_ok);
            EXPECT_EQ(info[0], 1000);
            EXPECT_EQ(info[2], 72);
            EXPECT_EQ(info[4], 18);
            EXPECT_EQ(Image_getTypeId(image), 77);
            EXPECT_TRUE(Image_isUsable(h));
            ImageHandle_release(h);
            EXPECT_EQ(releases, 1);
            Sem_fini(&w.finals);
            ImageStore_release(ctx());
        }
    });
}

// The destroyer stops the worker and waits for its pass to end: the
// codec has returned before the release does, and the image goes after.
TEST_F(ImageThreadTest, ReleasingTheLastHandleWaitsForTheWorkersPass)
{
    run([&] {
        Sem gate, reached;
        Sem_init(ctx(), &gate, 0, 1);
        Sem_init(ctx(), &reached, 0, 1);
        for (int round = 0; round < kRounds; round++) {
            fakeLog() = FakeLog{};
            fakeLog().gate = &gate;
            fakeLog().reached = &reached;
            hookOps().clear();
            releases = 0;
            makeStore();
            ImageHandle *h = open(fakePicture(40, 30, FakeMode_block), 1, 0, recordingHook);
            ASSERT_NE(h, nullptr);
            Sem_wait(&reached);
            EXPECT_EQ(h->image->state, ImageState_decoding);
            EXPECT_EQ(fakeLog().decodesEnded, 0);
            ImageHandle_release(h);
            EXPECT_EQ(fakeLog().decodesEnded, 1) << "the pass ended before the release returned";
            EXPECT_EQ(fakeLog().lastResult, Res_stopRequested);
            EXPECT_EQ(fakeLog().instances, 0);
            EXPECT_EQ(releases, 1);
            ASSERT_FALSE(hookOps().empty());
            EXPECT_EQ(hookOps().back(), 0) << "told last, once";
            EXPECT_EQ(std::count(hookOps().begin(), hookOps().end(), 0), 1);
            // The worker survives the stop aimed at its pass.
            ImageHandle *again = open(fakePicture(4, 4), 2);
            Waiter w;
            watch(&w, again);
            Sem_wait(&w.finals);
            EXPECT_EQ(again->image->state, ImageState_done);
            ImageHandle_release(again);
            Sem_fini(&w.finals);
            ImageStore_release(ctx());
        }
        Sem_fini(&gate);
        Sem_fini(&reached);
    });
}

// While the store is held, images whose data is at hand wait; when the
// hold ends each is started exactly once. A queued image (data not yet at
// hand) is not held back.
TEST_F(ImageThreadTest, AHeldStoreStartsEachWaitingImageOnceUnheld)
{
    run([&] {
        for (int round = 0; round < kRounds; round++) {
            fakeLog() = FakeLog{};
            makeStore();
            Image_pauseJobs(ctx());
            Image_pauseJobs(ctx());
            ImageHandle *h[3];
            Waiter w[3];
            for (int i = 0; i < 3; i++) {
                h[i] = open(fakePicture(8 + i, 8), 10 + i, 1);
                ASSERT_NE(h[i], nullptr);
                watch(&w[i], h[i]);
            }
            ImageHandle *queued = open(fakePicture(5, 5), 20, 0);
            Waiter wq;
            watch(&wq, queued);
            Sem_wait(&wq.finals);
            Task_reschedule(ctx());
            for (int i = 0; i < 3; i++)
                EXPECT_EQ(h[i]->image->state, ImageState_available);
            EXPECT_EQ(fakeLog().decodes, 1);
            EXPECT_EQ(ctx()->imageStore->deferredCount, 3);
            Image_resumeJobs(ctx());
            EXPECT_EQ(fakeLog().decodes, 1) << "one hold remains";
            Image_resumeJobs(ctx());
            for (int i = 0; i < 3; i++) {
                Sem_wait(&w[i].finals);
                EXPECT_EQ(h[i]->image->state, ImageState_done);
            }
            EXPECT_EQ(fakeLog().decodes, 4);
            EXPECT_EQ(ctx()->imageStore->deferredCount, 0);
            for (int i = 0; i < 3; i++) {
                ImageHandle_release(h[i]);
                Sem_fini(&w[i].finals);
            }
            ImageHandle_release(queued);
            Sem_fini(&wq.finals);
            ImageStore_release(ctx());
            EXPECT_EQ(fakeLog().decodes, 4);
        }
    });
}

// Freezing keeps what is shown and ends the decoding: a waiting image
// becomes a failed frozen copy for the handle; a decoding one is stopped.
TEST_F(ImageThreadTest, FreezingMovesTheHandleToAFrozenCopy)
{
    run([&] {
        Sem gate, reached;
        Sem_init(ctx(), &gate, 0, 1);
        Sem_init(ctx(), &reached, 0, 1);
        for (int round = 0; round < kRounds; round++) {
            fakeLog() = FakeLog{};
            fakeLog().gate = &gate;
            fakeLog().reached = &reached;
            releases = 0;
            makeStore();
            Image_pauseJobs(ctx());
            ImageHandle *waiting = open(fakePicture(8, 8), 1, 1);
            ImageObject *old = waiting->image;
            Image_stopQueued(waiting);
            ASSERT_NE(waiting->image, old);
            EXPECT_EQ(waiting->image->state, ImageState_failed);
            EXPECT_EQ(waiting->image->options, 0x301u);
            EXPECT_EQ(waiting->image->source, nullptr);
            EXPECT_EQ(releases, 1) << "the old image went with its last handle";
            Image_resumeJobs(ctx());

            ImageHandle *decoding = open(fakePicture(8, 8, FakeMode_block), 2);
            Sem_wait(&reached);
            old = decoding->image;
            Image_stopQueued(decoding);
            EXPECT_EQ(decoding->image, old) << "only queued images are frozen by stopQueued";
            Image_stopLoading(decoding);
            ASSERT_NE(decoding->image, old);
            EXPECT_EQ(fakeLog().lastResult, Res_stopRequested);
            EXPECT_EQ(releases, 2);
            EXPECT_EQ(decoding->image->state, ImageState_failed) << "no picture was made yet";
            ImageHandle_release(waiting);
            ImageHandle_release(decoding);
            ImageStore_release(ctx());
        }
        Sem_fini(&gate);
        Sem_fini(&reached);
    });
}

// Two handles share one image; releasing one keeps it; the last one
// destroys it.
TEST_F(ImageThreadTest, SharedImagesLiveUntilTheirLastHandle)
{
    run([&] {
        for (int round = 0; round < kRounds; round++) {
            releases = 0;
            makeStore();
            ImageHandle *a = open(fakePicture(6, 6), 5);
            ImageHandle *b = open(fakePicture(6, 6), 5);
            ASSERT_EQ(a->image, b->image);
            EXPECT_EQ(releases, 1);
            Waiter w;
            watch(&w, b);
            Sem_wait(&w.finals);
            ImageHandle_release(a);
            EXPECT_EQ(releases, 1);
            EXPECT_EQ(b->image->state, ImageState_done);
            ImageHandle_release(b);
            EXPECT_EQ(releases, 2);
            Sem_fini(&w.finals);
            ImageStore_release(ctx());
        }
    });
}

TEST_F(ImageThreadTest, GraphicsServicesMakeAndFreeTheStore)
{
    run([&] {
        for (int round = 0; round < kRounds; round++) {
            ASSERT_EQ(Graphics_initServices(ctx()), Res_ok);
            ImageStore *store = ctx()->imageStore;
            ASSERT_NE(store, nullptr);
            EXPECT_NE(ctx()->imageCache, nullptr);
            EXPECT_EQ(store->targetFormat, uint32_t(Pixel_format565));
            EXPECT_EQ(store->subsampleThreshold, 320);
            EXPECT_NE(store->flags & ImageStore_staticSubsample, 0u);
            for (Task *t : store->workers) {
                ASSERT_NE(t, nullptr);
                EXPECT_EQ(std::string(t->name), "imageJob");
                EXPECT_EQ(Task_getPriority(t), 1);
            }
            Graphics_freeServices(ctx());
            EXPECT_EQ(ctx()->imageStore, nullptr);
            EXPECT_EQ(ctx()->imageCache, nullptr);
            Graphics_freeServices(ctx());
        }
    });
}

} // namespace
