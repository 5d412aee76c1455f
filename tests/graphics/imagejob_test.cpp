// The animation loop as the image store's job pass: the hold that runs
// nothing, partial data shown once per (re)start, the stop that ends the
// run, the codes that go round or wait, how a finished image leaves the
// list, and a task waiting for the list's lock making a running pass give
// way. A scripted codec answers each decode with the next code of its
// image. Also the region and size notices of the handles and the changed
// rectangle snapshot.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/task/task.h"
#include "tests/graphics/image_support.h"
#include "tests/support/task_fixture.h"

namespace {

// What the scripted codec answers and saw.
struct JobScript {
    std::map<const ImageObject *, std::vector<int>> codes; // next codes per image (then 0x1C07)
    std::map<const ImageObject *, int> decodes;
    std::vector<const ImageObject *> order;
    int restarts = 0;
    std::function<void(const ImageObject *)> onDecode;
};

JobScript &script()
{
    static JobScript s;
    return s;
}

int jobDecode(EngineContext *, void *, ByteStream *, ImageObject *image, const ImageCodecParams *)
{
    JobScript &s = script();
    s.decodes[image]++;
    s.order.push_back(image);
    if (s.onDecode)
        s.onDecode(image);
    std::vector<int> &codes = s.codes[image];
    if (codes.empty())
        return Res_imageNoFreeFrame;
    int r = codes.front();
    codes.erase(codes.begin());
    return r;
}

int jobRestart(EngineContext *, void *, ImageObject *, const ImageRestart *)
{
    script().restarts++;
    return Res_ok;
}

int32_t jobTypeId()
{
    return 91;
}

int jobRecognise(int32_t *score, ImageHook, void *, const uint8_t *, uint32_t, uint32_t)
{
    *score = 0;
    return Res_ok;
}

ImageCodec *jobCodec()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->recognise = jobRecognise;
    c->decode = jobDecode;
    c->restart = jobRestart;
    c->typeId = jobTypeId;
    return c;
}

// Gives image the scripted codec (registered after the fake one).
void useJobCodec(EngineContext *ctx, ImageObject *image)
{
    for (int32_t i = 0; i < ImageStore_codecSlots; i++)
        if (ctx->imageStore->codecs[i] && ctx->imageStore->codecs[i]->typeId == jobTypeId)
            image->codecIndex = i;
}

struct Regions {
    std::vector<Rect> seen; // x, y, width, height
    int sizes = 0;
};

void onRegion(void *user, int32_t x, int32_t y, int32_t w, int32_t h)
{
    static_cast<Regions *>(user)->seen.push_back(Rect{x, y, w, h});
}

void onSize(void *user, int32_t, int32_t, int32_t)
{
    static_cast<Regions *>(user)->sizes++;
}

bool listed(const ImageStore *store, const ImageObject *image)
{
    for (const ImageObject *i = store->animList; i; i = i->animNext)
        if (i == image)
            return true;
    return false;
}

class ImageJobTest : public ImageStoreFixture {
  protected:
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        script() = JobScript{};
        makeStore();
        ASSERT_EQ(Plugin_register(ctx, jobCodec()), Res_ok);
    }
    void TearDown() override
    {
        for (ImageHandle *h : handles)
            ImageHandle_release(h);
        script() = JobScript{};
        ImageStoreFixture::TearDown();
    }
    // A new 20 x 10 image on the animation list, driven by the scripted
    // codec, with its region notices counted in *regions when given.
    ImageObject *animated(Regions *regions = nullptr)
    {
        ImageHandle *h = open(fakePicture(20, 10), int(handles.size()) + 1);
        EXPECT_NE(h, nullptr);
        if (!h)
            return nullptr;
        handles.push_back(h);
        if (regions) {
            Image_setReadyCallbacks(h, onRegion, onSize, regions);
            regions->seen.clear();
            regions->sizes = 0;
        }
        useJobCodec(ctx, h->image);
        // As a worker's pass leaves it when the image enters the list: the
        // view of the pass that drew it at opening is the cache's now.
        h->image->targetView = nullptr;
        Anim_enterAnimList(h->image);
        return h->image;
    }
    std::vector<ImageHandle *> handles;
};

TEST_F(ImageJobTest, AHeldQueueRunsNothingUntilEveryHoldIsGone)
{
    ImageObject *a = animated(), *b = animated();
    Image_pauseJobs(ctx);
    Image_pauseJobs(ctx);
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_TRUE(script().order.empty());
    Image_resumeJobs(ctx);
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_TRUE(script().order.empty()) << "one hold remains";
    Image_resumeJobs(ctx);
    EXPECT_EQ(ctx->imageStore->animHold, 0);
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().order, (std::vector<const ImageObject *>{b, a})) << "newest first";
    EXPECT_TRUE(listed(ctx->imageStore, a) && listed(ctx->imageStore, b));
    // More resumes than holds leave the count at 0.
    Image_resumeJobs(ctx);
    EXPECT_EQ(ctx->imageStore->animHold, 0);
    EXPECT_EQ(ctx->imageStore->holdCount, 0);
}

// Partial data shows the whole area once; later frames do not invalidate
// again until a restart shows the first frame anew.
TEST_F(ImageJobTest, PartialDataInvalidatesOncePerStart)
{
    Regions regions;
    ImageObject *a = animated(&regions);
    script().codes[a] = {Res_imageFrameDone, Res_imageFrameDone, Res_imageFrameDone,
                         Res_imageFrameDone};
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().decodes[a], 3);
    ASSERT_EQ(regions.seen.size(), 1u);
    EXPECT_EQ(regions.seen[0].x0, 0);
    EXPECT_EQ(regions.seen[0].y0, 0);
    EXPECT_EQ(regions.seen[0].x1, 20) << "width";
    EXPECT_EQ(regions.seen[0].y1, 10) << "height";
    EXPECT_EQ(a->animWords[0], 1);
    EXPECT_EQ(a->animWords[1], 1);
    a->clockEvents[0] = 1; // a restart is wanted
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().restarts, 1);
    EXPECT_EQ(regions.seen.size(), 2u) << "the restarted image shows once more";
    EXPECT_EQ(a->state, ImageState_animated);
}

// 48 ends the run at once: later images wait for the next run.
TEST_F(ImageJobTest, AStopEndsTheRun)
{
    ImageObject *b = animated(), *a = animated(); // a is the head
    script().codes[a] = {Res_stopRequested};
    EXPECT_EQ(Anim_runLoop(ctx), Res_stopRequested);
    EXPECT_EQ(script().decodes[b], 0);
    EXPECT_TRUE(listed(ctx->imageStore, a) && listed(ctx->imageStore, b));
    EXPECT_EQ(a->state, ImageState_animated);
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().decodes[b], 1);
}

// 0x1C08 goes round at once, also when an image after it answers 0x1C07:
// the go-round of one image is not lost to the wait of another.
TEST_F(ImageJobTest, GoRoundSurvivesALaterImageWithoutAFreeFrame)
{
    ImageObject *b = animated(), *a = animated();
    script().codes[a] = {Res_imageGoRound, Res_imageNoFreeFrame};
    script().codes[b] = {Res_imageNoFreeFrame, Res_imageNoFreeFrame};
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().decodes[a], 2);
    EXPECT_EQ(script().decodes[b], 2);
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().decodes[a], 3) << "0x1C07 waits for the next wake-up";
}

// Any other code finishes the image: off the list, its area shown, state
// 5 for 0, state 6 with reason 1 and the error kept for an error.
TEST_F(ImageJobTest, OtherCodesFinishTheImage)
{
    struct Case {
        int code;
        int32_t state, reason, error;
    };
    for (const Case &c : {Case{Res_ok, ImageState_done, ImageReason_none, 0},
                          Case{0x2201, ImageState_failed, ImageReason_decode, 0x2201}}) {
        Regions regions;
        ImageObject *other = animated();
        ImageObject *a = animated(&regions);
        script().codes[a] = {c.code};
        EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
        EXPECT_FALSE(listed(ctx->imageStore, a));
        EXPECT_TRUE(listed(ctx->imageStore, other)) << "the walk went on";
        EXPECT_EQ(script().decodes[other], 1);
        EXPECT_EQ(a->state, c.state);
        EXPECT_EQ(a->reason, c.reason);
        EXPECT_EQ(a->errorCode, c.error);
        EXPECT_EQ(regions.seen.size(), 1u);
        Anim_leaveAnimList(other);
    }
}

// A waiter counted on the queue makes the walk stop at the next image.
TEST_F(ImageJobTest, AWaiterMakesThePassGiveWay)
{
    ImageObject *b = animated(), *a = animated();
    script().onDecode = [&](const ImageObject *image) {
        if (image == a && script().decodes[a] == 1)
            ImageStore_addWaiters(ctx->imageStore, 1);
    };
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().decodes[a], 1);
    EXPECT_EQ(script().decodes[b], 0) << "the pass gave way before b";
    ImageStore_addWaiters(ctx->imageStore, -1);
    EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
    EXPECT_EQ(script().decodes[b], 1);
}

// ------------------------------------------------------------- notices

TEST_F(ImageJobTest, RegionAndSizeNoticesReachEveryHandleWithACallback)
{
    ImageHandle *h = open(fakePicture(20, 10), 7);
    ASSERT_NE(h, nullptr);
    handles.push_back(h);
    ImageHandle *second = nullptr, *silent = nullptr;
    ASSERT_EQ(ImageHandle_clone(h, &second), Res_ok);
    ASSERT_EQ(ImageHandle_clone(h, &silent), Res_ok);
    handles.push_back(second);
    handles.push_back(silent);
    Regions r1, r2;
    Image_setReadyCallbacks(h, onRegion, onSize, &r1);
    Image_setReadyCallbacks(second, onRegion, nullptr, &r2);
    r1 = Regions{};
    r2 = Regions{};
    Image_notifyRegion(h, 1, 2, 3, 4);
    Image_notifyRegion(silent, 1, 2, 3, 4); // no callback: nothing
    ASSERT_EQ(r1.seen.size(), 1u);
    EXPECT_EQ(r1.seen[0].x0, 1);
    EXPECT_EQ(r1.seen[0].y1, 4);
    EXPECT_TRUE(r2.seen.empty());
    Image_notifyAllRegion(h->image, 5, 6, 7, 8);
    EXPECT_EQ(r1.seen.size(), 2u);
    ASSERT_EQ(r2.seen.size(), 1u);
    EXPECT_EQ(r2.seen[0].x0, 5);
    EXPECT_EQ(r2.seen[0].x1, 7);
    // Invalidating a rectangle reports its width and height and raises
    // the image's version.
    uint32_t version = h->image->version;
    Rect rect{2, 3, 12, 9};
    Image_invalidate(h->image, &rect);
    EXPECT_EQ(h->image->version, version + 1);
    ASSERT_EQ(r2.seen.size(), 2u);
    EXPECT_EQ(r2.seen[1].x1, 10);
    EXPECT_EQ(r2.seen[1].y1, 6);
    Image_notifySize(h->image, 20, 10, 72);
    EXPECT_EQ(r1.sizes, 1);
    EXPECT_EQ(r2.sizes, 0);
}

} // namespace

namespace {

// The changed rectangle grows with the rows a decode reports and starts
// empty with each picture; the snapshot copies it.
TEST_F(ImageStoreFixture, TheChangedRectangleFollowsTheRowsWritten)
{
    makeStore();
    ImageHandle *h = open(fakePicture(40, 30), 1);
    ASSERT_NE(h, nullptr);
    ImageObject *image = h->image;
    Image_rectSnapshot(image, nullptr); // nothing for no output
    Rect r{};
    Image_rectSnapshot(image, &r);
    EXPECT_GT(r.x0, r.x1) << "empty at creation";
    // A decode that is not synchronous reports its rows.
    ImageView *view = nullptr;
    ASSERT_EQ(ImageView_create(image, &view), Res_ok);
    ImageView_attach(image, view);
    image->targetView = view;
    image->width = 40;
    image->height = 30;
    image->nominalWidth = 40;
    image->nominalHeight = 30;
    PixelBuf *pic = nullptr;
    ASSERT_EQ(ImageDec_getBuffers(image, &pic, Pixel_format565, nullptr, 0, 0), Res_ok);
    Image_rectSnapshot(image, &r);
    EXPECT_GT(r.x0, r.x1) << "empty when the picture begins";
    ASSERT_EQ(ImageDec_rowsDone(image, 0, 4, 40, 3), Res_ok);
    ASSERT_EQ(ImageDec_rowsDone(image, 5, 20, 100, 50), Res_ok); // clipped to the image
    Image_rectSnapshot(image, &r);
    EXPECT_EQ(r.x0, 0);
    EXPECT_EQ(r.y0, 4);
    EXPECT_EQ(r.x1, 40);
    EXPECT_EQ(r.y1, 30);
    image->targetView = nullptr;
    ImageHandle_release(h);
}

} // namespace

namespace {

// A task that wants the animation list's lock while the loop decodes gets
// it as soon as that image is done: the loop stops before the next image
// and runs it on its next wake-up, which the waiter's unlock gives.
class ImageJobTaskTest : public TaskFixture {
  protected:
    void TearDown() override
    {
        script() = JobScript{};
        EXPECT_EQ(ctx()->imageStore, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "heap bytes leaked";
        TaskFixture::TearDown();
    }
    int releases = 0;
};

TEST_F(ImageJobTaskTest, AWaitingTaskMakesTheRunningPassGiveWay)
{
    Task_detach(spawn("driver", 0, [&] {
        script() = JobScript{};
        fakeLog() = FakeLog{};
        ASSERT_EQ(ImageStore_acquire(ctx(), ImageStore_noWorkers, Pixel_format565), Res_ok);
        ASSERT_EQ(Plugin_register(ctx(), fakeCodec()), Res_ok);
        ASSERT_EQ(Plugin_register(ctx(), jobCodec()), Res_ok);
        ImageHandle *h[2] = {};
        for (int i = 0; i < 2; i++) {
            ASSERT_EQ(Image_open(ctx(), fakeSource(fakePicture(8, 8), i + 1, &releases), nullptr,
                                 nullptr, nullptr, nullptr, nullptr, 0, 0, ImageOpt_recognise, 0,
                                 &h[i]),
                      Res_ok);
            useJobCodec(ctx(), h[i]->image);
            h[i]->image->targetView = nullptr;
            Anim_enterAnimList(h[i]->image);
        }
        ImageObject *a = h[1]->image, *b = h[0]->image; // a is the head
        Sem reached, gate, done;
        Sem_init(ctx(), &reached, 0, 1);
        Sem_init(ctx(), &gate, 0, 1);
        Sem_init(ctx(), &done, 0, 2);
        script().onDecode = [&](const ImageObject *image) {
            if (image == a && script().decodes[a] == 1) {
                Sem_signal(&reached);
                Sem_wait(&gate);
            }
        };
        int firstRun = -1, bAfterFirstRun = -1, bWhenLocked = -1, secondRun = -1;
        Task_detach(spawn("loop", 1, [&] {
            firstRun = Anim_runLoop(ctx());
            bAfterFirstRun = script().decodes[b];
            secondRun = Anim_runLoop(ctx());
            Sem_signal(&done);
        }));
        Sem_wait(&reached);
        Task_detach(spawn("waiter", 2, [&] {
            ImageStore_lockQueue(ctx());
            bWhenLocked = script().decodes[b];
            EXPECT_EQ(ctx()->imageStore->animWaiters, 0);
            ImageStore_unlockQueue(ctx());
            Sem_signal(&done);
        }));
        Task_reschedule(ctx()); // the waiter runs until it waits for the lock
        // The waiter now waits for the lock the loop holds.
        EXPECT_EQ(ctx()->imageStore->animWaiters, 1);
        EXPECT_EQ(bWhenLocked, -1);
        Sem_signal(&gate);
        Sem_wait(&done);
        Sem_wait(&done);
        EXPECT_EQ(bWhenLocked, 0) << "the pass gave way before the next image";
        EXPECT_EQ(firstRun, Res_ok);
        EXPECT_EQ(bAfterFirstRun, 0);
        EXPECT_EQ(secondRun, Res_ok);
        EXPECT_EQ(script().decodes[b], 1) << "the next wake-up ran it";
        Sem_fini(&reached);
        Sem_fini(&gate);
        Sem_fini(&done);
        for (ImageHandle *x : h)
            ImageHandle_release(x);
        ImageStore_release(ctx());
    }));
    ASSERT_GE(TestEngine_runAll(&e, 100000), 0) << "the engine aborted";
}

} // namespace
