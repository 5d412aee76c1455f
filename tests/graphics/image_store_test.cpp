// The image store without workers: the sharing rule, lifetimes and the
// hook's last call, failures and their reasons, subsampling in both modes,
// the coarser retry when memory runs out (a fault-injection loop), the
// restart when the size changes, the header and row output of codecs, and
// the queries.
#include <algorithm>
#include <vector>

#include "graphics/imagerender.h"
#include "host/headless/headless.h"
#include "tests/graphics/image_support.h"

namespace {

std::vector<int> &hookOps()
{
    static std::vector<int> ops;
    return ops;
}

// Records every op; answers op 3 with dpi 300 and op 34 with background 0
// when asked to.
struct HookAnswers {
    int dpi = 0;
    int background = -1;
};

int answeringHook(void *arg, int32_t op, void *buffer, int32_t *size)
{
    HookAnswers *a = static_cast<HookAnswers *>(arg);
    hookOps().push_back(op);
    int32_t value = 0;
    bool answer = false;
    if (a && op == 3 && a->dpi) {
        value = a->dpi;
        answer = true;
    }
    if (a && op == 34 && a->background >= 0) {
        value = a->background;
        answer = true;
    }
    if (size)
        *size = answer ? 4 : 0;
    if (buffer && answer)
        memcpy(buffer, &value, 4);
    return Res_ok;
}

class ImageStoreTest : public ImageStoreFixture {
  protected:
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        hookOps().clear();
    }
    // Dynamic subsampling: nothing is decoded at open.
    void makeDynamicStore()
    {
        setInt(nullptr, "DynamicSubsampling", 1);
        makeStore();
    }
};

// ------------------------------------------------------------ sharing

TEST_F(ImageStoreTest, TheSameSourceHookAndOptionsShareOneImage)
{
    makeDynamicStore();
    HookAnswers a1, a2;
    struct Case {
        const char *what;
        int key;
        uint32_t options;
        void *hookArg;
        bool shared;
    };
    const Case cases[] = {
        {"same everything", 1, ImageOpt_recognise, &a1, true},
        {"another source", 2, ImageOpt_recognise, &a1, false},
        {"another hook argument", 1, ImageOpt_recognise, &a2, false},
        {"other options", 1, ImageOpt_recognise | ImageOpt_animations, &a1, false},
        {"never share", 1, ImageOpt_recognise | ImageOpt_neverShare, &a1, false},
    };
    for (const Case &c : cases) {
        releases = 0;
        ImageHandle *first = open(fakePicture(4, 4), 1, ImageOpt_recognise, answeringHook, &a1);
        ImageHandle *second = open(fakePicture(4, 4), c.key, c.options, answeringHook, c.hookArg);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_NE(first, second);
        EXPECT_EQ(first->image == second->image, c.shared) << c.what;
        EXPECT_EQ(releases, c.shared ? 1 : 0) << c.what << ": a shared source is released at once";
        ImageHandle_release(second);
        EXPECT_EQ(releases, 1) << c.what;
        ImageHandle_release(first);
        EXPECT_EQ(releases, 2) << c.what;
        EXPECT_EQ(ctx->imageStore->first, nullptr);
    }
}

// Option 0x100 on the image is ignored unless the caller asks for it.
TEST_F(ImageStoreTest, ReleaseDecoderOptionCountsOnlyWhenAskedFor)
{
    makeDynamicStore();
    const uint32_t base = ImageOpt_recognise | ImageOpt_sync;
    ImageHandle *with = open(fakePicture(4, 4), 1, base | ImageOpt_releaseDecoder);
    ImageHandle *without = open(fakePicture(4, 4), 1, base);
    EXPECT_EQ(with->image, without->image);
    ImageHandle *plain = open(fakePicture(4, 4), 2, base);
    ImageHandle *asking = open(fakePicture(4, 4), 2, base | ImageOpt_releaseDecoder);
    EXPECT_NE(plain->image, asking->image);
    for (ImageHandle *h : {with, without, plain, asking})
        ImageHandle_release(h);
    EXPECT_EQ(releases, 4);
}

// The hook hears op 0 once, when the image goes; synchronous handles have
// no mutex.
TEST_F(ImageStoreTest, TheLastHandleDestroysTheImageAndTellsTheHook)
{
    makeDynamicStore();
    ImageHandle *a = open(fakePicture(4, 4), 1, ImageOpt_recognise, answeringHook, nullptr);
    ImageHandle *b = open(fakePicture(4, 4), 1, ImageOpt_recognise, answeringHook, nullptr);
    EXPECT_FALSE(a->lockable) << "a store without workers opens synchronous images";
    EXPECT_NE(a->image->options & ImageOpt_sync, 0u);
    EXPECT_EQ(a->image->state, ImageState_done);
    ImageHandle_release(a);
    EXPECT_TRUE(std::find(hookOps().begin(), hookOps().end(), 0) == hookOps().end());
    ImageHandle_release(b);
    EXPECT_EQ(std::count(hookOps().begin(), hookOps().end(), 0), 1);
    ImageHandle_release(nullptr);
}

// Without any source the image fails at once with reason 0; a failed
// admission check and a failed prepare release the source and tell the
// hook.
TEST_F(ImageStoreTest, CreationFailuresReleaseTheSourceAndTellTheHook)
{
    makeDynamicStore();
    ImageHandle *h = nullptr;
    ASSERT_EQ(Image_open(ctx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0, &h),
              Res_ok);
    EXPECT_EQ(h->image->state, ImageState_failed);
    EXPECT_EQ(h->image->reason, 0);
    ImageHandle_release(h);

    auto refuse = [](void *arg, int32_t a, int32_t b) -> int {
        *static_cast<int *>(arg) += 1 + a + b;
        return 0x4242;
    };
    int checks = 0;
    ImageHandle *refused = reinterpret_cast<ImageHandle *>(1);
    EXPECT_EQ(Image_open(ctx, fakeSource("x", 1, &releases), refuse, &checks, nullptr,
                         answeringHook, nullptr, 0, 0, 0, 0, &refused),
              0x4242);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(checks, 1) << "called as checkFn(checkArg, 0, 0)";
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(hookOps(), std::vector<int>{0});

    ImageSource *failing = fakeSource("x", 2, &releases);
    failing->prepare = [](EngineContext *, ImageSource *, ImageCheckFn, void *) { return 0x4343; };
    EXPECT_EQ(
        Image_open(ctx, failing, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0, &refused),
        0x4343);
    EXPECT_EQ(releases, 2);
    EXPECT_EQ(ctx->imageStore->first, nullptr);
}

// ------------------------------------------------------------- failures

TEST_F(ImageStoreTest, FailedDecodesGiveStateSixWithTheirReason)
{
    makeDynamicStore();
    struct Case {
        const char *what;
        std::string bytes;
        int failOpen;
        uint32_t mime;
        int32_t reason;
        int error;
    };
    const Case cases[] = {
        {"empty source", "", 0, 0, ImageReason_source, Res_imageEmpty},
        {"unknown bytes", "GIF89a and more bytes", 0, 0, ImageReason_noCodec, Res_imageNoCodec},
        {"short unknown bytes", "BM", 0, 0, ImageReason_noCodec, Res_imageNoCodec},
        {"unknown bytes of MIME type 11", "not a picture at all", 0, 11, ImageReason_source,
         Res_imageEmpty},
        {"source that cannot open", "FAKE", 0x999, 0, ImageReason_source, 0x999},
        {"codec error", fakePicture(4, 4, FakeMode_fail), 0, 0, ImageReason_decode, 0x2201},
        {"no picture", fakePicture(4, 4, FakeMode_noPicture), 0, 0, ImageReason_decode,
         Res_imageNoPicture},
        {"zero width", fakePicture(0, 4), 0, 0, ImageReason_decode, Res_imageZeroSize},
    };
    for (const Case &c : cases) {
        ImageSource *src = fakeSource(c.bytes, 1, &releases);
        reinterpret_cast<FakeSource *>(src)->failOpen = c.failOpen;
        reinterpret_cast<FakeSource *>(src)->mime = c.mime;
        ImageHandle *h = nullptr;
        ASSERT_EQ(Image_open(ctx, src, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0,
                             ImageOpt_recognise, 0, &h),
                  Res_ok);
        int32_t reason = 0;
        decodeNow(h->image, &reason);
        EXPECT_EQ(h->image->state, ImageState_failed) << c.what;
        EXPECT_EQ(reason, c.reason) << c.what;
        EXPECT_EQ(Image_getDocImageState(h), c.error) << c.what;
        EXPECT_FALSE(Image_isUsable(h)) << c.what;
        EXPECT_EQ(Image_getTypeId(h->image), 1) << c.what;
        EXPECT_EQ(h->image->stream, nullptr) << c.what << ": the decoder is dropped";
        EXPECT_EQ(fakeLog().instances, 0) << c.what;
        uint32_t caps = 0;
        EXPECT_EQ(Image_getDocImageInfo(h, nullptr, nullptr, &caps), Res_ok);
        EXPECT_NE(caps & ImageCap_final, 0u) << c.what;
        ImageHandle_release(h);
    }
}

// Without recognition asked for, the fake codec claims nothing.
TEST_F(ImageStoreTest, RecognitionNeedsItsDecodeFlag)
{
    makeDynamicStore();
    ImageHandle *h = open(fakePicture(4, 4), 1, 0);
    int32_t reason = 0;
    decodeNow(h->image, &reason);
    EXPECT_EQ(reason, ImageReason_noCodec);
    ImageHandle_release(h);
}

// ---------------------------------------------------------- subsampling

TEST_F(ImageStoreTest, NominalSizeSubsamplesStaticallyOrDynamically)
{
    makeDynamicStore();
    ImageObject image{};
    image.app = ctx;
    image.maxExtraLevels = ImageStore_maxExtraLevels;
    struct Case {
        const char *what;
        uint32_t options;
        int32_t threshold, stagingRows, levelStart, level;
        int32_t width, height, res;
        int32_t w, h, r, extra, achieved;
    };
    const Case cases[] = {
        {"static, codec halves twice", ImageOpt_staticSubsample, 320, 0, 0, 3, 1000, 1000, 72, 250,
         250, 18, 0, 2},
        {"static, store reduces rows", ImageOpt_staticSubsample, 320, 8, 0, 0, 1000, 1000, 72, 250,
         250, 18, 2, 2},
        {"static, codec then store", ImageOpt_staticSubsample, 100, 8, 0, 1, 1000, 1000, 72, 63, 63,
         5, 3, 4},
        {"static, no codec reduction", ImageOpt_staticSubsample, 320, 0, 0, 0, 1000, 1000, 72, 1000,
         1000, 72, 0, 0},
        {"static, threshold 0", ImageOpt_staticSubsample, 0, 8, 0, 3, 1000, 1000, 72, 1000, 1000,
         72, 0, 0},
        {"static, small enough", ImageOpt_staticSubsample, 320, 8, 0, 3, 320, 320, 72, 320, 320, 72,
         0, 0},
        {"static, odd sizes round up", ImageOpt_staticSubsample, 2, 0, 0, 3, 9, 5, 3, 2, 1, 1, 0,
         3},
        {"dynamic, level 0", 0, 320, 0, 0, 0, 1000, 1000, 72, 1000, 1000, 72, 0, 0},
        {"dynamic, codec level 2", 0, 320, 0, 2, 2, 1000, 999, 72, 250, 250, 18, 0, 2},
        {"dynamic, store adds levels", 0, 320, 8, 3, 1, 1000, 1000, 72, 125, 125, 9, 2, 3},
        {"dynamic, extra capped", 0, 320, 8, 9, 0, 1000, 1000, 72, 63, 63, 5, 4, 4},
        {"dynamic, shift of 32", 0, 320, 0, 40, 32, 1000, 1000, 72, 0, 0, 1, 0, 32},
    };
    for (const Case &c : cases) {
        ctx->imageStore->subsampleThreshold = c.threshold;
        image.options = c.options;
        image.stagingRows = c.stagingRows;
        image.levelStart = c.levelStart;
        Image_setNominalSize(&image, c.width, c.height, c.res, c.level);
        EXPECT_EQ(image.width, c.w) << c.what;
        EXPECT_EQ(image.height, c.h) << c.what;
        EXPECT_EQ(image.resolution, c.r) << c.what;
        EXPECT_EQ(image.extraLevels, c.extra) << c.what;
        EXPECT_EQ(image.levelAchieved, c.achieved) << c.what;
        EXPECT_EQ(image.nominalWidth, c.width) << c.what;
        EXPECT_EQ(image.nominalResolution, c.res) << c.what;
    }
}

// While the store reduces staged rows by its extra levels it keeps every
// 2^level-th row; the others a codec may leave unwritten.
TEST_F(ImageStoreTest, RowsTheStoreDropsWhileReducing)
{
    ImageObject image{};
    PixelBuf *staging = reinterpret_cast<PixelBuf *>(1);
    struct Case {
        PixelBuf *staging;
        int32_t extra, row;
        bool dropped;
    } cases[] = {
        {nullptr, 2, 1, false}, // not staged: every row is the codec's own
        {staging, 0, 1, false}, // staged, not reduced
        {staging, 2, 0, false}, {staging, 2, 1, true},    {staging, 2, 3, true},
        {staging, 2, 4, false}, {staging, 2, 1001, true}, {staging, 4, 16, false},
        {staging, 4, 8, true},
    };
    for (const Case &c : cases) {
        image.stagingPicture = c.staging;
        image.extraLevels = c.extra;
        EXPECT_EQ(Image_rowDropped(&image, c.row), c.dropped) << c.extra << " " << c.row;
    }
}

// A drawing request decodes at the level its range starts at (a banded
// codec's rows reduced by the store), the start raised to the lowest level
// and lowered to the highest.
TEST_F(ImageStoreTest, ARequestDecodesAtTheLevelItStartsAt)
{
    makeDynamicStore();
    ImageHandle *h =
        open(fakePicture(1000, 1000, FakeMode_banded), 1, ImageOpt_sync | ImageOpt_recognise);
    ASSERT_NE(h, nullptr);
    struct Step {
        ImageLevelRange range;
        int32_t size, level;
    } steps[] = {
        {{0, 2, -1, 2}, 250, 2}, {{0, 0, -1, 0}, 1000, 0}, {{0, 3, -1, 3}, 125, 3},
        {{1, 4, -1, 0}, 500, 1}, {{0, 1, -1, 5}, 500, 1},
    };
    for (Step &s : steps) {
        PixelBuf *picture = nullptr;
        ImageDrawRequest *req = nullptr;
        int32_t start = s.range.start;
        ASSERT_EQ(Image_render(h, Pixel_format565, 0, &s.range, nullptr, 0, nullptr, &picture,
                               nullptr, nullptr, &req),
                  Res_ok);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->width, s.size) << start;
        EXPECT_EQ(picture->height, s.size) << start;
        EXPECT_EQ(s.range.level, s.level) << start;
        Image_endRender(ctx, req);
    }
    ImageHandle_release(h);
}

// A 1000 x 1000 picture at threshold 320 in static mode decodes at 250 x
// 250 with resolution 18, whether the codec or the store reduces it.
TEST_F(ImageStoreTest, StaticModeDecodesALargePictureAtAQuarter)
{
    makeStore();
    EXPECT_NE(ctx->imageStore->flags & ImageStore_staticSubsample, 0u);
    for (uint32_t mode : {uint32_t(FakeMode_reduces), uint32_t(FakeMode_banded)}) {
        ImageHandle *h = open(fakePicture(1000, 1000, mode), int(mode));
        ImageObject *image = h->image;
        EXPECT_NE(image->options & ImageOpt_staticSubsample, 0u);
        ImageView *view = decodeNow(image);
        EXPECT_EQ(image->state, ImageState_done) << mode;
        EXPECT_EQ(image->width, 250) << mode;
        EXPECT_EQ(image->height, 250) << mode;
        EXPECT_EQ(image->resolution, 18) << mode;
        EXPECT_EQ(image->levelAchieved, 2) << mode;
        ASSERT_NE(view->picture, nullptr);
        EXPECT_EQ(view->picture->width, 250) << mode;
        EXPECT_EQ(view->picture->height, 250) << mode;
        EXPECT_EQ(view->level, 2) << mode;
        if (mode == FakeMode_banded) {
            EXPECT_EQ(fakeLog().decodedWidth, 1000) << "the codec wrote full rows";
            EXPECT_EQ(image->extraLevels, 2);
            // Every fourth row, four pixels averaged: row 0 holds 0..3,
            // row 4 holds 12..15 in the blue bits.
            EXPECT_EQ(pixel16(view->picture, 0, 0), 1);
            EXPECT_EQ(pixel16(view->picture, 0, 1), 13);
            EXPECT_EQ(image->stagingPicture, nullptr) << "staging buffers go with the codec";
        } else {
            EXPECT_EQ(fakeLog().decodedWidth, 250)
                << "the codec was asked to reduce by two halvings";
            EXPECT_EQ(pixel16(view->picture, 5, 2), 11);
        }
        ImageHandle_release(h);
    }
}

// A synchronous static image is decoded once at open into a view that
// goes to the cache (with budget 0 it is freed at once).
TEST_F(ImageStoreTest, ASynchronousStaticImageIsDecodedAtOpen)
{
    makeStore();
    ImageHandle *h = open(fakePicture(12, 10), 1);
    EXPECT_EQ(fakeLog().decodes, 1);
    EXPECT_EQ(h->image->state, ImageState_done);
    EXPECT_EQ(h->image->width, 12);
    EXPECT_EQ(h->image->views, nullptr) << "budget 0 keeps nothing";
    EXPECT_EQ(h->image->pinCount, 0);
    EXPECT_EQ(fakeLog().instances, 0);
    ImageHandle_release(h);
}

// In static mode a picture whose in-memory data is larger than its
// pixels releases its decoder after decoding, and the view it was drawn
// into stays with the image instead of going to the cache.
TEST_F(ImageStoreTest, SmallPicturesOfLargeDataReleaseTheirDecoder)
{
    makeStore();
    ImageHandle *small = open(fakePicture(2, 2), 1);
    EXPECT_NE(small->image->options & ImageOpt_releaseDecoder, 0u);
    EXPECT_EQ(small->image->stream, nullptr);
    ASSERT_NE(small->image->views, nullptr);
    EXPECT_NE(small->image->views->picture, nullptr);
    ImageHandle *large = open(fakePicture(20, 20), 2);
    EXPECT_EQ(large->image->options & ImageOpt_releaseDecoder, 0u);
    EXPECT_NE(large->image->stream, nullptr) << "kept for decoding again";
    ImageHandle_release(small);
    ImageHandle_release(large);
}

// With the keep-encoded store flag the data is read into memory once and
// every decode reads that copy; a partial drop keeps it.
TEST_F(ImageStoreTest, AStoreThatKeepsEncodedDataDecodesFromItsCopy)
{
    setInt(nullptr, "DynamicSubsampling", 1);
    baseline = heapUsed();
    ASSERT_EQ(
        ImageStore_acquire(ctx, ImageStore_noWorkers | ImageStore_keepEncoded, Pixel_format565),
        Res_ok);
    ASSERT_EQ(Plugin_register(ctx, fakeCodec()), Res_ok);
    ImageHandle *h = open(fakePicture(6, 4), 1);
    ImageObject *image = h->image;
    ImageView *view = decodeNow(image);
    EXPECT_EQ(image->state, ImageState_done) << image->errorCode;
    ASSERT_NE(image->encoded, nullptr);
    EXPECT_EQ(image->encodedSize, 20u);
    ASSERT_NE(view->picture, nullptr);
    EXPECT_EQ(pixel16(view->picture, 5, 3), 14);
    Image_dropDecoder(image, 1);
    EXPECT_EQ(image->stream, nullptr);
    EXPECT_NE(image->encoded, nullptr);
    reinterpret_cast<FakeSource *>(image->source)->failOpen = 0x777;
    view = decodeNow(image);
    EXPECT_EQ(image->state, ImageState_done) << "the copy, not the source, was read";
    Image_dropDecoder(image, 0);
    EXPECT_EQ(image->encoded, nullptr);
    ImageHandle_release(h);
}

// --------------------------------------------- out of memory and retries

// Every allocation fails in turn while an image is opened, decoded and
// released: each run ends cleanly with all memory back, and a failed
// picture is retried at a coarser level.
TEST_F(ImageStoreTest, OutOfMemoryAtEveryAllocationLeavesNoLeakAndRetriesCoarser)
{
    makeDynamicStore();
    size_t before = heapUsed();
    bool sawCoarser = false, sawClean = false;
    for (uint64_t n = 1; n < 200 && !sawClean; n++) {
        fakeLog() = FakeLog{};
        releases = 0;
        ImageHandle *h = nullptr;
        ImageSource *src = fakeSource(fakePicture(64, 48, FakeMode_reduces), 1, &releases);
        ASSERT_NE(src, nullptr);
        Mem_failAfter(n);
        int r = Image_open(ctx, src, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0,
                           ImageOpt_recognise, 0, &h);
        if (r != Res_ok) {
            Mem_failAfter(0);
            EXPECT_EQ(r, Res_noMemory) << n;
            EXPECT_EQ(h, nullptr);
            EXPECT_EQ(releases, 1) << n << ": the source is released";
            EXPECT_EQ(heapUsed(), before) << n;
            continue;
        }
        ImageObject *image = h->image;
        ImageView *view = nullptr;
        int32_t reason = 0;
        if (ImageView_create(image, &view) == Res_ok) {
            ImageView_attach(image, view);
            EXPECT_EQ(Image_decode(ctx, image, &reason, 0, ImageStore_noLevelLimit, view), Res_ok);
            image->state = image->result;
        }
        Mem_failAfter(0);
        EXPECT_EQ(fakeLog().instances, 0) << n;
        if (view && image->state == ImageState_done && view->picture) {
            if (image->levelAchieved > 0) {
                sawCoarser = true;
                EXPECT_EQ(view->picture->width, 32) << n;
            } else {
                EXPECT_EQ(view->picture->width, 64) << n;
            }
        }
        if (view && image->state == ImageState_done && view->picture && image->levelAchieved == 0)
            sawClean = true;
        ImageHandle_release(h);
        EXPECT_EQ(releases, 1) << n;
        EXPECT_EQ(heapUsed(), before) << n;
    }
    EXPECT_TRUE(sawCoarser) << "a failed picture allocation was retried at level 1";
    EXPECT_TRUE(sawClean);
}

// A picture whose size cannot be allocated never wraps to a small buffer:
// every level the codec can reach fails with 1, and the image is left to
// be decoded again (synchronous) without a picture.
TEST_F(ImageStoreTest, APictureTooLargeForTheHeapFailsWithoutWrapping)
{
    makeDynamicStore();
    ImageHandle *h = open(fakePicture(65536, 65537, FakeMode_reduces), 1);
    ImageObject *image = h->image;
    int32_t reason = -5;
    ImageView *view = decodeNow(image, &reason);
    EXPECT_EQ(image->state, ImageState_done) << "a synchronous pass out of memory stays retryable";
    EXPECT_EQ(reason, 0);
    EXPECT_EQ(view->picture, nullptr);
    EXPECT_EQ(image->levelAchieved, 3) << "retried down to the codec's deepest level";
    // Levels 0 to 3, then once more at 3: the store cannot know that the
    // codec reduces no further until it tries.
    EXPECT_EQ(fakeLog().decodes, 5);
    ImageHandle_release(h);

    // The same picture small enough at the codec's deepest level decodes.
    h = open(fakePicture(12000, 12000, FakeMode_reduces), 2);
    view = decodeNow(h->image, &reason);
    ASSERT_NE(view->picture, nullptr);
    EXPECT_EQ(view->picture->width, 1500);
    EXPECT_EQ(h->image->levelAchieved, 3);
    ImageHandle_release(h);
}

// When the size changes under a running decode the pass decodes once more
// at the new size instead of failing.
TEST_F(ImageStoreTest, ASizeChangeRestartsTheDecodeOnce)
{
    makeDynamicStore();
    ImageHandle *h = open(fakePicture(20, 10, FakeMode_resize), 1);
    int32_t reason = 0;
    ImageView *view = decodeNow(h->image, &reason);
    EXPECT_EQ(h->image->state, ImageState_done);
    EXPECT_EQ(fakeLog().decodes, 2);
    ASSERT_NE(view->picture, nullptr);
    EXPECT_EQ(view->picture->width, 20);
    EXPECT_EQ(h->image->nominalWidth, 20);
    ImageHandle_release(h);
}

// ---------------------------------------------------- header and rows

TEST_F(ImageStoreTest, SetHeaderChecksTheSizeAndTakesTheHooksResolution)
{
    makeDynamicStore();
    HookAnswers answers;
    ImageHandle *h = open("unused", 1, ImageOpt_recognise, answeringHook, &answers);
    ImageObject *image = h->image;
    EXPECT_EQ(ImageDec_setHeader(image, 0, 5, 72, 0, 1, nullptr), Res_imageZeroSize);
    EXPECT_EQ(ImageDec_setHeader(image, 5, -1, 72, 0, 1, nullptr), Res_imageZeroSize);
    EXPECT_EQ(image->headerKnown, 0);
    EXPECT_EQ(ImageDec_setHeader(image, 10, 20, 0, 3, 1, nullptr), Res_ok);
    EXPECT_EQ(image->nominalResolution, 72) << "dpi 0 is 72";
    EXPECT_EQ(image->stagingRows, 8) << "bands of 1 to 7 rows become 8";
    EXPECT_EQ(image->colourKind, 3) << "kept only with flag bit 9";
    EXPECT_EQ(image->headerKnown, 1);
    EXPECT_EQ(ImageDec_setHeader(image, 10, 20, 96, 0, 1, nullptr), Res_ok)
        << "the same size again";
    EXPECT_EQ(ImageDec_setHeader(image, 11, 20, 96, 0, 1, nullptr), Res_imageSizeChanged);
    EXPECT_EQ(image->nominalWidth, 11) << "the new size stays";
    answers.dpi = 300;
    int32_t reduction = 3;
    EXPECT_EQ(ImageDec_setHeader(image, 11, 20, 96, 0, 1, &reduction), Res_ok);
    EXPECT_EQ(image->nominalResolution, 300);
    EXPECT_EQ(reduction, 0) << "dynamic mode at level 0 wants no reduction";
    ImageHandle_release(h);
}

TEST_F(ImageStoreTest, GetBuffersRefusesWhileTheStoreReducesRows)
{
    makeDynamicStore();
    ImageHandle *h = open("unused", 1);
    ImageObject *image = h->image;
    image->levelStart = 2;
    ImageView *view = nullptr;
    ASSERT_EQ(ImageView_create(image, &view), Res_ok);
    ImageView_attach(image, view);
    image->targetView = view;
    image->syncPass = 1;
    ASSERT_EQ(ImageDec_setHeader(image, 1000, 1000, 72, 8, 1, nullptr), Res_ok);
    ASSERT_EQ(image->extraLevels, 2);
    PixelBuf *pic = reinterpret_cast<PixelBuf *>(1), *mask = reinterpret_cast<PixelBuf *>(1);
    EXPECT_EQ(ImageDec_getBuffers(image, &pic, Pixel_format565, &mask, 0, 0), Res_imageRowShift);
    EXPECT_EQ(pic, nullptr);
    EXPECT_EQ(mask, nullptr);
    ASSERT_EQ(ImageDec_setHeader(image, 1000, 1000, 72, 0, 1, nullptr), Res_ok);
    ASSERT_EQ(ImageDec_getBuffers(image, &pic, Pixel_format565, &mask, 0, 1), Res_ok);
    EXPECT_EQ(pic, view->picture);
    EXPECT_EQ(mask, view->mask);
    EXPECT_EQ(pic->width, 1000);
    EXPECT_EQ(image->transparency, 1);
    ImageDec_dropMask(image);
    EXPECT_EQ(view->mask, nullptr);
    EXPECT_EQ(image->noMask, 1);
    image->syncPass = 0;
    image->targetView = nullptr;
    ImageHandle_release(h);
}

struct Reports {
    std::vector<Rect> rects;
};

void collect(void *user, int32_t x, int32_t y, int32_t w, int32_t h)
{
    static_cast<Reports *>(user)->rects.push_back(Rect{x, y, x + w, y + h});
}

// Progress reports are batched: the first after getBuffers always goes
// out, later ones at most every 500 ms or 100 reports, unless the whole
// picture is dirty. Areas are in the nominal size.
TEST_F(ImageStoreTest, RowReportsAreBatched)
{
    Headless_setManualClock(heap.host, 1);
    makeDynamicStore();
    ImageHandle *h = open("unused", 1);
    ImageObject *image = h->image;
    Reports reports;
    h->ready = collect;
    h->user = &reports;
    ImageView *view = nullptr;
    ASSERT_EQ(ImageView_create(image, &view), Res_ok);
    ImageView_attach(image, view);
    image->targetView = view;
    image->levelStart = 1;
    int32_t reduction = 3;
    ASSERT_EQ(ImageDec_setHeader(image, 100, 50, 72, 0, 1, &reduction), Res_ok);
    ASSERT_EQ(reduction, 1);
    PixelBuf *pic = nullptr;
    ASSERT_EQ(ImageDec_getBuffers(image, &pic, Pixel_format565, nullptr, 0, 0), Res_ok);
    EXPECT_EQ(image->noMask, 1);
    image->syncPass = 0; // as on a worker

    EXPECT_EQ(ImageDec_rowsDone(image, 0, 0, 50, 2), Res_ok);
    ASSERT_EQ(reports.rects.size(), 1u);
    EXPECT_EQ(reports.rects[0].x1, 100) << "codec rows are shifted to the nominal size";
    EXPECT_EQ(reports.rects[0].y1, 4);
    for (int i = 1; i < 10; i++)
        EXPECT_EQ(ImageDec_rowsDone(image, 0, 2 * i, 50, 2), Res_ok);
    EXPECT_EQ(reports.rects.size(), 1u) << "held back until 500 ms pass";
    Headless_advanceClock(heap.host, 500);
    EXPECT_EQ(ImageDec_rowsDone(image, 0, 20, 50, 2), Res_ok);
    ASSERT_EQ(reports.rects.size(), 2u);
    EXPECT_EQ(reports.rects[1].y0, 4);
    EXPECT_EQ(reports.rects[1].y1, 44);
    for (int i = 0; i < 101; i++)
        EXPECT_EQ(ImageDec_rowsDone(image, 0, 0, 1, 1), Res_ok);
    EXPECT_EQ(reports.rects.size(), 3u) << "the 101st report flushes";
    EXPECT_EQ(ImageDec_rowsDone(image, -5, -5, 500, 500), Res_ok);
    ASSERT_EQ(reports.rects.size(), 4u) << "the whole picture flushes at once";
    EXPECT_EQ(reports.rects[3].x0, 0);
    EXPECT_EQ(reports.rects[3].x1, 100);
    EXPECT_EQ(reports.rects[3].y1, 50);
    uint32_t version = image->version;
    image->syncPass = 1;
    EXPECT_EQ(ImageDec_rowsDone(image, 0, 0, 100, 100), Res_ok);
    EXPECT_EQ(reports.rects.size(), 4u) << "synchronous decodes report nothing";
    EXPECT_EQ(image->version, version);
    image->syncPass = 0;
    image->targetView = nullptr;
    ImageHandle_release(h);
}

// The canvas takes the background from the hook's op 34 and makes staging
// buffers for banded codecs.
TEST_F(ImageStoreTest, PrepareCanvasFillsAndMakesStagingBuffers)
{
    makeDynamicStore();
    HookAnswers answers;
    ImageHandle *h = open("unused", 1, ImageOpt_recognise, answeringHook, &answers);
    ImageObject *image = h->image;
    ImageView *view = nullptr;
    ASSERT_EQ(ImageView_create(image, &view), Res_ok);
    ImageView_attach(image, view);
    image->levelStart = 1;
    ASSERT_EQ(ImageDec_setHeader(image, 40, 20, 72, 8, 1, nullptr), Res_ok);
    ASSERT_EQ(image->extraLevels, 1);
    image->pictureFormat = Pixel_format565;
    image->pictureWord = 0x10000;
    ASSERT_EQ(Image_prepareCanvas(image, view, 1), Res_ok);
    ASSERT_NE(view->picture, nullptr);
    EXPECT_EQ(view->picture->width, 20);
    EXPECT_EQ(pixel16(view->picture, 3, 3), 0xFFFF) << "white by default";
    EXPECT_EQ(view->mask->pixels[0], 0) << "the mask starts transparent";
    ASSERT_NE(image->stagingPicture, nullptr);
    EXPECT_EQ(image->stagingPicture->width, 40) << "staging rows are the codec's";
    EXPECT_EQ(image->stagingPicture->height, 8);
    EXPECT_NE(image->stagingMask, nullptr);
    answers.background = 0;
    ASSERT_EQ(Image_prepareCanvas(image, view, 0), Res_ok);
    EXPECT_EQ(pixel16(view->picture, 3, 3), 0) << "a background answer of 0 clears";
    EXPECT_EQ(view->mask, nullptr);
    EXPECT_EQ(image->stagingMask, nullptr);
    Image_closeCodec(image);
    ImageHandle_release(h);
}

// ------------------------------------------------------------- queries

TEST_F(ImageStoreTest, DocImageInfoReadsTheHeaderOfASynchronousImage)
{
    makeDynamicStore();
    ImageHandle *h = nullptr;
    ASSERT_EQ(Image_open(ctx, fakeSource(fakePicture(300, 200, 0, 144), 1, &releases), nullptr,
                         nullptr, nullptr, nullptr, nullptr, 30, 0, ImageOpt_recognise, 0, &h),
              Res_ok);
    EXPECT_EQ(h->image->sizeGiven, 1);
    EXPECT_EQ(h->image->nominalWidth, 30);
    EXPECT_EQ(h->image->nominalHeight, 30) << "a missing hint is 30";
    int32_t info[6];
    int32_t loops = -1;
    uint32_t caps = 0;
    ASSERT_EQ(Image_getDocImageInfo(h, info, &loops, &caps), Res_ok);
    EXPECT_EQ(fakeLog().headersRead, 1);
    EXPECT_EQ(info[0], 300);
    EXPECT_EQ(info[1], 200);
    EXPECT_EQ(info[2], 144);
    EXPECT_EQ(info[3], 144) << "no item scale: the resolution";
    EXPECT_EQ(info[4], 144);
    EXPECT_EQ(loops, 0);
    EXPECT_NE(caps & ImageOpt_sync, 0u);
    EXPECT_NE(caps & ImageCap_final, 0u);
    EXPECT_EQ(caps & ImageCap_async, 0u);
    EXPECT_NE(caps & ImageCap_hasMaskBuffer, 0u);
    EXPECT_EQ(caps & ImageCap_drawable, 0u) << "a decoded image without transformed views";
    ASSERT_EQ(Image_getDocImageInfo(h, info, nullptr, nullptr), Res_ok);
    EXPECT_EQ(fakeLog().headersRead, 1) << "read once";
    int32_t w = 0, hh = 0, scale = 0;
    ASSERT_EQ(Image_getScaledSize(h, &w, &hh, &scale), Res_ok);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(scale, 144);
    ImageHandle_release(h);

    ImageHandle *none = nullptr;
    ASSERT_EQ(ImageHandle_create(ctx, &none, nullptr, 0), Res_ok);
    EXPECT_EQ(Image_getDocImageInfo(none, info, nullptr, nullptr), Res_notFound);
    EXPECT_EQ(Image_getDocImageState(none), 0);
    ImageHandle_release(none);
}

TEST_F(ImageStoreTest, ReadyCallbacksOfADecodedImageRunAtOnce)
{
    makeStore();
    ImageHandle *h = open(fakePicture(7, 5), 1);
    struct Heard {
        Reports reports;
        int sizes = 0;
        int32_t width = 0;
        size_t readyBeforeSize = 99;
    } heard;
    Image_setReadyCallbacks(
        h,
        [](void *user, int32_t x, int32_t y, int32_t w, int32_t hh) {
            collect(&static_cast<Heard *>(user)->reports, x, y, w, hh);
        },
        [](void *user, int32_t w, int32_t, int32_t) {
            Heard *heard = static_cast<Heard *>(user);
            if (heard->sizes++ == 0)
                heard->readyBeforeSize = heard->reports.rects.size();
            heard->width = w;
        },
        &heard);
    EXPECT_EQ(heard.sizes, 1);
    EXPECT_EQ(heard.readyBeforeSize, 0u); // the size comes first, then the ready region
    EXPECT_EQ(heard.width, 7);
    ASSERT_EQ(heard.reports.rects.size(), 1u);
    EXPECT_EQ(heard.reports.rects[0].x1, 7);
    Image_invalidateAll(h->image);
    EXPECT_EQ(heard.reports.rects.size(), 2u);
    Image_notifySize(h->image, 1, 2, 3);
    EXPECT_EQ(heard.width, 1);
    ImageHandle_release(h);
}

// The scaled size divides the item's scale word by the achieved level.
TEST_F(ImageStoreTest, ScaledSizeUsesTheItemsScale)
{
    makeStore();
    ImageHandle *h = nullptr;
    ASSERT_EQ(Image_open(ctx, fakeSource(fakePicture(1000, 1000, FakeMode_reduces), 1, &releases),
                         nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, ImageOpt_recognise,
                         0x10001, &h),
              Res_ok);
    int32_t w = 0, hh = 0, scale = 0;
    ASSERT_EQ(Image_getScaledSize(h, &w, &hh, &scale), Res_ok);
    EXPECT_EQ(w, 250);
    EXPECT_EQ(scale, 0x4001) << "0x10001 / 4 rounded up";
    ImageHandle_release(h);
}

} // namespace
