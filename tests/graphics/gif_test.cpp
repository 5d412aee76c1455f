// The GIF codec: the fixtures of tests/fixtures/images/make_gif.py decode
// to their answers (ImageMagick's coalesced frames, or the frames the script
// drew), through the store for the first frame and frame by frame for the
// animations; delays, loop counts, disposal, interlace, transparency and the
// errors.
#include <gtest/gtest.h>

#include "core/result.h"
#include "graphics/animframe.h"
#include "graphics/codecs/gif.h"
#include "graphics/imagecache.h"
#include "graphics/imagecodec.h"
#include "graphics/imagerender.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "tests/graphics/codec_support.h"

namespace {

// The frames of a .frames answer: RGBA bytes per frame.
struct Frames {
    int32_t width = 0, height = 0;
    std::vector<std::string> rgba;
};

Frames readFrames(const std::string &name)
{
    std::string s = readFixture("gif/" + name + ".frames");
    Frames f;
    if (s.size() < 12)
        return f;
    uint32_t words[3];
    memcpy(words, s.data(), 12);
    f.width = int32_t(words[0]);
    f.height = int32_t(words[1]);
    size_t size = size_t(f.width) * size_t(f.height) * 4;
    for (uint32_t i = 0; i < words[2] && 12 + (i + 1) * size <= s.size(); i++)
        f.rgba.push_back(s.substr(12 + i * size, size));
    return f;
}

std::string gif(const std::string &name)
{
    return readFixture("gif/" + name + ".gif");
}

// Empty when picture and mask show the answer frame: alpha 0 where the mask
// is 0 (or the picture has no mask and the answer is opaque), the colour
// where it is shown.
std::string differs(const PixelBuf *picture, const PixelBuf *mask, const Frames &answer,
                    size_t frame, int32_t rows = -1)
{
    if (!picture)
        return "no picture";
    if (picture->width != answer.width || picture->height != answer.height)
        return "size " + std::to_string(picture->width) + "x" + std::to_string(picture->height);
    const std::string &a = answer.rgba[frame];
    int32_t height = rows < 0 ? answer.height : rows;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < answer.width; x++) {
            const uint8_t *p =
                reinterpret_cast<const uint8_t *>(a.data()) + (size_t(y) * answer.width + x) * 4;
            bool shown = p[3] != 0;
            bool masked = mask && mask->pixels[size_t(y) * mask->stride + x] == 0;
            char text[128];
            if (shown == masked) {
                snprintf(text, sizeof text, "pixel %d,%d: shown %d, masked %d", x, y, shown,
                         masked);
                return text;
            }
            if (!shown)
                continue;
            uint32_t want = expectedPixel((uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2],
                                          picture->format);
            uint32_t got = pictureAt(picture, x, y);
            if (got != want) {
                snprintf(text, sizeof text, "pixel %d,%d is %#x, not %#x", x, y, got, want);
                return text;
            }
        }
    }
    return "";
}

class GifTest : public CodecFixture {
  protected:
    void makeStore(uint32_t format = Pixel_format565)
    {
        makeCodecStore(format, {Codec_gifDescriptor});
    }

    // Steps through the frames of name: every frame shown, the durations
    // and the last result.
    struct Played {
        std::vector<std::string> differences;
        std::vector<int32_t> durations;
        int result = -1;
        bool ended = false; // the animation ended (loop limit or no frame)
    };
    Played play(const std::string &bytes, const Frames &answer, uint32_t format,
                size_t maxFrames = 40, int32_t maxLoops = 0)
    {
        Played out;
        void *instance = nullptr;
        EXPECT_EQ(Gif_createInstance(ctx, nullptr, 0, &instance), Res_ok);
        GifDecoder *d = static_cast<GifDecoder *>(instance);
        d->maxLoops = maxLoops;
        TestMemStream *stream = memStream(bytes);
        int32_t w = 0, h = 0;
        EXPECT_EQ(Gif_readScreen(d, &stream->base, &w, &h), Res_ok);
        PixelBuf *picture = nullptr, *mask = nullptr;
        EXPECT_EQ(PixelBuf_create(&picture, w, h, format, 0x10000), Res_ok);
        EXPECT_EQ(PixelBuf_create(&mask, w, h, Pixel_formatGrey8, 0x10000), Res_ok);
        for (size_t i = 0; i < maxFrames; i++) {
            int32_t duration = 0, shown = 0;
            out.result = Gif_stepFrame(ctx, d, &stream->base, picture, mask, &shown, &duration);
            out.ended = out.result == Res_ok && !shown;
            if (out.result != Res_ok || !shown)
                break;
            out.durations.push_back(duration);
            size_t n = answer.rgba.size();
            out.differences.push_back(n ? differs(picture, mask, answer, i % n) : "no answer");
        }
        PixelBuf_destroy(picture);
        PixelBuf_destroy(mask);
        (void)ByteStream_close(&stream->base);
        Gif_destroyInstance(nullptr, d);
        return out;
    }
};

TEST_F(GifTest, RecognisesBothSignaturesOnlyWhenAsked)
{
    struct Case {
        const char *bytes;
        uint32_t flags;
        int32_t score;
    } cases[] = {
        {"GIF89a....", ImageDec_flagRecognise, 100},
        {"GIF87a", ImageDec_flagRecognise, 100},
        {"GIF88a", ImageDec_flagRecognise, 0},
        {"GIF89", ImageDec_flagRecognise, 0},
        {"GIF89a", 0, 0},
        {"\x89PNG\r\n", ImageDec_flagRecognise, 0},
    };
    for (const Case &c : cases) {
        int32_t score = -1;
        EXPECT_EQ(Gif_recognise(&score, nullptr, nullptr,
                                reinterpret_cast<const uint8_t *>(c.bytes),
                                uint32_t(strlen(c.bytes)), c.flags),
                  Res_ok);
        EXPECT_EQ(score, c.score) << c.bytes;
    }
}

// The first frame of every fixture through the store, in both formats.
TEST_F(GifTest, FirstFramesThroughTheStoreShowTheAnswers)
{
    const char *names[] = {"still",     "interlaced", "transparent", "still87a", "offscreen",
                           "codesize1", "loop2",      "dispose2",    "dispose3", "delays"};
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        for (const char *name : names) {
            Frames answer = readFrames(name);
            ASSERT_FALSE(answer.rgba.empty()) << name;
            ImageView *view = nullptr;
            ImageHandle *h = decodeBytes(gif(name), &view);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(lastResult(), Res_ok) << name;
            EXPECT_EQ(Image_getTypeId(h->image), Gif_typeId) << name;
            ASSERT_NE(view, nullptr) << name;
            EXPECT_EQ(differs(view->picture, view->mask, answer, 0), "")
                << name << " in format " << format;
            ImageHandle_release(h);
        }
        ImageStore_release(ctx);
    }
}

TEST_F(GifTest, AnOpaqueFullFrameHasNoMask)
{
    makeStore();
    ImageView *view = nullptr;
    ImageHandle *h = decodeBytes(gif("still"), &view);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->mask, nullptr);
    ImageHandle_release(h);
    h = decodeBytes(gif("transparent"), &view);
    ASSERT_NE(view, nullptr);
    EXPECT_NE(view->mask, nullptr) << "a transparent index keeps the mask";
    ImageHandle_release(h);
}

// Animations frame by frame equal ImageMagick's coalesced frames, over
// every pass the loop count allows.
TEST_F(GifTest, AnimationsStepFrameByFrameAsCoalesced)
{
    struct Case {
        const char *name;
        size_t frames;    // frames shown before the loop limit
        int32_t duration; // of every frame
    } cases[] = {
        {"loop2", 9, 250},     // -loop 2: three passes of three frames
        {"notrailer", 9, 250}, // the same without ";"
        {"dispose2", 4, 100},  // endless: stopped after the frames asked
        {"dispose3", 4, 100},
    };
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        for (const Case &c : cases) {
            Frames answer = readFrames(c.name);
            bool endless = c.frames == answer.rgba.size();
            Played p = play(gif(c.name), answer, format, endless ? c.frames * 2 : 40);
            EXPECT_EQ(p.result, Res_ok) << c.name;
            EXPECT_EQ(p.ended, !endless) << c.name;
            ASSERT_EQ(p.differences.size(), endless ? c.frames * 2 : c.frames) << c.name;
            for (size_t i = 0; i < p.differences.size(); i++) {
                EXPECT_EQ(p.differences[i], "") << c.name << " frame " << i << " format " << format;
                EXPECT_EQ(p.durations[i], c.duration) << c.name << " frame " << i;
            }
        }
    }
}

TEST_F(GifTest, DelaysBelowTenAreATenthOfASecond)
{
    Frames answer = readFrames("delays");
    Played p = play(gif("delays"), answer, Pixel_format565, 5);
    EXPECT_EQ(p.durations, (std::vector<int32_t>{100, 100, 100, 100, 250}));
    for (const std::string &d : p.differences)
        EXPECT_EQ(d, "");
    EXPECT_EQ(Gif_frameDuration(0), 100);
    EXPECT_EQ(Gif_frameDuration(9), 100);
    EXPECT_EQ(Gif_frameDuration(10), 100);
    EXPECT_EQ(Gif_frameDuration(25), 250);
}

// An endless animation plays on; the store's maximum loop count ends it,
// and a maximum above the file's own count changes nothing.
TEST_F(GifTest, TheStoresMaximumLoopCountLimitsPasses)
{
    Frames delays = readFrames("delays");
    Played endless = play(gif("delays"), delays, Pixel_format565, 23);
    EXPECT_FALSE(endless.ended);
    EXPECT_EQ(endless.durations.size(), 23u);
    Played capped = play(gif("delays"), delays, Pixel_format565, 40, 2);
    EXPECT_TRUE(capped.ended);
    EXPECT_EQ(capped.durations.size(), 10u);
    Frames loop2 = readFrames("loop2");
    Played high = play(gif("loop2"), loop2, Pixel_format565, 40, 7);
    EXPECT_EQ(high.durations.size(), 9u);
    Played low = play(gif("loop2"), loop2, Pixel_format565, 40, 1);
    EXPECT_EQ(low.durations.size(), 3u);
}

TEST_F(GifTest, AStillImageIsOneFrameThenTheEnd)
{
    Frames answer = readFrames("still");
    Played p = play(gif("still"), answer, Pixel_formatRGBA);
    EXPECT_TRUE(p.ended);
    ASSERT_EQ(p.differences.size(), 1u);
    EXPECT_EQ(p.differences[0], "");
}

// A code above the next free code ends the frame with the rows decoded
// before it: two whole rows of 9 x 5, the rest not shown.
TEST_F(GifTest, ACorruptCodeKeepsTheRowsBeforeIt)
{
    Frames answer = readFrames("codesize1");
    makeStore();
    ImageView *view = nullptr;
    ImageHandle *h = decodeBytes(gif("corrupt"), &view);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(lastResult(), Res_ok);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(differs(view->picture, view->mask, answer, 0, 2), "");
    ASSERT_NE(view->mask, nullptr);
    for (int32_t y = 2; y < 5; y++)
        for (int32_t x = 0; x < 9; x++)
            EXPECT_EQ(view->mask->pixels[size_t(y) * view->mask->stride + x], 0) << x << "," << y;
    ImageHandle_release(h);
}

// Headers and errors, on the fixtures and on bytes made for each.
TEST_F(GifTest, HeadersAndErrors)
{
    std::string still87 = gif("still87a");
    std::string screen87 = still87.substr(0, 13 + 12);
    std::string still = gif("still");
    std::string screen89 = still.substr(0, 13 + 3 * (2 << (uint8_t(still[10]) & 7)));
    // A frame descriptor with the given size and packed byte, then a code
    // size of 2 and an empty data sequence.
    auto frame = [](uint16_t w, uint16_t h, uint8_t packed) {
        std::string s = ",";
        uint8_t d[9] = {0,     0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
                        packed};
        s.append(reinterpret_cast<const char *>(d), 9);
        return s + std::string("\x02\x01\x05\x00;", 5);
    };
    std::string noTable = std::string("GIF89a\x04\x00\x04\x00\x00\x00\x00", 13) + frame(4, 4, 0);

    struct HeaderCase {
        const char *what;
        std::string bytes;
        int result;
        int32_t width, height;
    } headers[] = {
        {"89a: the screen", still, Res_ok, 23, 17},
        {"87a: the first image", still87, Res_ok, 20, 12},
        {"87a: extensions skipped",
         screen87 + "!\xFE\x02hi" + std::string("\0", 1) + still87.substr(25), Res_ok, 20, 12},
        {"87a: the trailer first", screen87 + ";", Res_ok, 0, 0},
        {"87a: a stray introducer", screen87 + "x", Res_gifBadIntroducer, 0, 0},
        {"bad signature", "GIF90a" + still.substr(6), Res_gifBadSignature, 0, 0},
        {"short screen", still.substr(0, 10), Res_byteStreamEnded, 0, 0},
    };
    for (const HeaderCase &c : headers) {
        ImageObject image = bareImage();
        TestMemStream *s = memStream(c.bytes);
        EXPECT_EQ(Gif_readHeader(ctx, &s->base, &image, nullptr, nullptr), c.result) << c.what;
        EXPECT_EQ(image.nominalWidth, c.width) << c.what;
        EXPECT_EQ(image.nominalHeight, c.height) << c.what;
        (void)ByteStream_close(&s->base);
    }

    struct DecodeCase {
        const char *what;
        std::string bytes;
        int result;
    } decodes[] = {
        {"code size 10", gif("codesize10"), Res_gifBadCodeSize},
        {"code size 0", screen89 + frame(4, 4, 0).replace(10, 1, "\x00", 1), Res_gifBadCodeSize},
        {"no colour table", noTable, Res_gifNoColourTable},
        {"zero width", screen89 + frame(0, 4, 0), Res_gifZeroSize},
        {"zero height", screen89 + frame(4, 0, 0), Res_gifZeroSize},
        {"cut inside the data", still.substr(0, still.size() - 20), Res_byteStreamEnded},
        {"cut inside the descriptor", screen89 + ",\x00\x00", Res_byteStreamEnded},
        // Nothing decoded before the data end or turn corrupt: no picture
        // to show, not an empty one.
        {"data ending before the first row", screen89 + frame(4, 4, 0), Res_imageNoPicture},
        {"corrupt before the first row", screen89 + frame(4, 4, 0).replace(12, 1, "\x07", 1),
         Res_imageNoPicture},
        {"no trailer", still.substr(0, still.size() - 1), Res_ok},
        {"a stray byte after the frame", still.substr(0, still.size() - 1) + "zz", Res_ok},
        {"a control block without its '!'",
         screen89 + std::string("\xF9\x04\x00\x00\x00\x00\x00", 7) + still.substr(screen89.size()),
         Res_ok},
    };
    makeStore();
    for (const DecodeCase &c : decodes) {
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(c.bytes, &view);
        ASSERT_NE(h, nullptr) << c.what;
        EXPECT_EQ(lastResult(), c.result) << c.what;
        ImageHandle_release(h);
    }
}

// A frame 3 rows high marked interlaced is decoded row by row.
TEST_F(GifTest, AnInterlacedFrameOfThreeRowsIsNotInterlaced)
{
    std::string bytes = gif("codesize1");
    // Make the frame 9 x 3 (its first 27 pixels) and set the interlace bit.
    size_t at = bytes.find(',', 13);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 7] = 3;
    bytes[at + 9] = char(uint8_t(bytes[at + 9]) | 0x40);
    bytes[8] = 3;
    Frames answer = readFrames("codesize1");
    answer.height = 3;
    answer.rgba[0].resize(9 * 3 * 4);
    makeStore();
    ImageView *view = nullptr;
    ImageHandle *h = decodeBytes(bytes, &view);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(lastResult(), Res_ok);
    EXPECT_EQ(differs(view->picture, view->mask, answer, 0), "");
    ImageHandle_release(h);
}

TEST_F(GifTest, MemoryRunningOutFailsCleanly)
{
    std::string bytes = gif("dispose2");
    for (int n = 1; n < 12; n++) {
        void *instance = nullptr;
        ASSERT_EQ(Gif_createInstance(ctx, nullptr, 0, &instance), Res_ok);
        GifDecoder *d = static_cast<GifDecoder *>(instance);
        TestMemStream *stream = memStream(bytes);
        int32_t w = 0, h = 0;
        ASSERT_EQ(Gif_readScreen(d, &stream->base, &w, &h), Res_ok);
        PixelBuf *picture = nullptr, *mask = nullptr;
        ASSERT_EQ(PixelBuf_create(&picture, w, h, Pixel_format565, 0x10000), Res_ok);
        ASSERT_EQ(PixelBuf_create(&mask, w, h, Pixel_formatGrey8, 0x10000), Res_ok);
        Mem_failAfter(n);
        int r = Res_ok;
        for (int i = 0; i < 6 && r == Res_ok; i++) {
            int32_t duration = 0, shown = 0;
            r = Gif_stepFrame(ctx, d, &stream->base, picture, mask, &shown, &duration);
        }
        Mem_failAfter(0);
        EXPECT_TRUE(r == Res_ok || r == Res_noMemory) << r;
        PixelBuf_destroy(picture);
        PixelBuf_destroy(mask);
        (void)ByteStream_close(&stream->base);
        Gif_destroyInstance(nullptr, d);
    }
}

} // namespace

namespace {

// With animation wanted the image becomes a frame sequence: frame 0 is the
// first frame at time 0, and each further decode (as the animation loop
// runs it) queues the next frame at its time, until the loop limit leaves
// the image decoded.
TEST_F(GifTest, AnAnimatedImageQueuesItsFramesAtTheirTimes)
{
    makeStore();
    Frames answer = readFrames("loop2");
    ImageHandle *h =
        open(gif("loop2"), ++key, ImageOpt_recognise | ImageOpt_animations | ImageOpt_neverShare);
    ASSERT_NE(h, nullptr);
    // A store without workers decodes the image as it opens.
    ImageObject *image = h->image;
    ASSERT_EQ(image->kind, 2);
    ASSERT_EQ(image->moreFrames, 1);
    EXPECT_EQ(image->frameCount, 3);
    ImageCodec *codec = ImageCodec_of(image);
    ASSERT_NE(codec, nullptr);
    std::vector<int32_t> times;
    std::vector<std::string> shown;
    int r = Res_imageFrameDone;
    int32_t now = 0;
    for (int guard = 0; guard < 100 && image->moreFrames; guard++) {
        ImageCodecParams params{Image_getCapFlags(image), Pixel_format565, 0, nullptr, nullptr};
        r = codec->decode(ctx, image->codecInstance, image->stream, image, &params);
        if (r == Res_imageGoRound)
            continue;
        if (r == Res_imageNoFreeFrame || r == Res_ok) {
            // Show the current frame, then move the clock to the next one.
            int32_t next = 0;
            int more = Anim_pickCurrentAt(image, now, &next, nullptr);
            PixelBuf *picture = nullptr, *mask = nullptr;
            ASSERT_EQ(Image_acquireCurrentFrame(image, &picture, &mask), Res_ok);
            times.push_back(image->queue->time);
            shown.push_back(differs(picture, mask, answer, shown.size() % 3));
            Image_releaseFrame(image, picture);
            if (!more)
                break;
            now = next;
            continue;
        }
        ASSERT_EQ(r, Res_imageFrameDone);
    }
    EXPECT_EQ(r, Res_ok) << "the end of the loops leaves the image decoded";
    EXPECT_EQ(image->moreFrames, 0);
    // Three passes of three frames of 250 ms, the last shown at the end.
    int32_t last = 0;
    for (size_t i = 0; i < shown.size(); i++) {
        EXPECT_EQ(shown[i], "") << "frame " << i;
        EXPECT_GE(times[i], last);
        last = times[i];
    }
    // The frames still queued show on: the last at 8 x 250 ms.
    int32_t next = 0;
    EXPECT_EQ(Anim_pickCurrentAt(image, 100000, &next, nullptr), 0);
    ASSERT_NE(image->queue, nullptr);
    EXPECT_EQ(image->queue->time, 8 * 250);
    EXPECT_EQ(differs(image->queue->picture, image->queue->mask, answer, 2), "");
    ImageHandle_release(h);
}

} // namespace

namespace {

// An animation decoded again replaces its instance and its pool: nothing
// of the first decode is left behind.
TEST_F(GifTest, AnAnimationDecodedAgainLeaksNothing)
{
    makeStore();
    ImageHandle *h = open(gif("dispose2"), ++key,
                          ImageOpt_recognise | ImageOpt_animations | ImageOpt_neverShare);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(h->image->kind, 2);
    (void)decodeNow(h->image);
    EXPECT_EQ(h->image->kind, 2);
    EXPECT_EQ(h->image->frameCount, 3);
    ImageHandle_release(h);
}

} // namespace

namespace {

// The animation loop drives an animated GIF: each run decodes frames until
// the pool is full; showing frames frees the pool; at the end of its loops
// the image leaves the list decoded (state 5), keeping its last frame.
TEST_F(GifTest, TheAnimationLoopPlaysAGifToItsEnd)
{
    makeStore();
    ImageHandle *h =
        open(gif("loop2"), ++key, ImageOpt_recognise | ImageOpt_animations | ImageOpt_neverShare);
    ASSERT_NE(h, nullptr);
    ImageObject *image = h->image;
    ASSERT_EQ(image->kind, 2);
    Anim_enterAnimList(image);
    EXPECT_EQ(ctx->imageStore->animList, image);
    int32_t now = 0;
    int runs = 0;
    while (ctx->imageStore->animList && runs < 50) {
        EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
        runs++;
        int32_t next = 0;
        if (Anim_pickCurrentAt(image, now, &next, nullptr))
            now = next;
        Anim_wake(ctx);
    }
    EXPECT_EQ(ctx->imageStore->animList, nullptr);
    EXPECT_EQ(image->state, ImageState_done);
    EXPECT_EQ(image->reason, ImageReason_none);
    EXPECT_LT(runs, 50);
    // The frames queued before the end still show, the last one last.
    int32_t next = 0;
    (void)Anim_pickCurrentAt(image, 100000, &next, nullptr);
    ASSERT_NE(image->queue, nullptr);
    EXPECT_EQ(image->queue->time, 8 * 250);
    ImageHandle_release(h);
}

// A decoding error in the loop fails the image (state 6, reason 1).
TEST_F(GifTest, AnErrorInTheAnimationLoopFailsTheImage)
{
    makeStore();
    std::string bytes = gif("loop2");
    // Cut the file inside the last frame's data.
    bytes.resize(bytes.size() - 6);
    ImageHandle *h =
        open(bytes, ++key, ImageOpt_recognise | ImageOpt_animations | ImageOpt_neverShare);
    ASSERT_NE(h, nullptr);
    ImageObject *image = h->image;
    ASSERT_EQ(image->kind, 2);
    Anim_enterAnimList(image);
    for (int i = 0; i < 5 && ctx->imageStore->animList; i++) {
        EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
        Anim_wake(ctx);
    }
    EXPECT_EQ(ctx->imageStore->animList, nullptr);
    EXPECT_EQ(image->state, ImageState_failed);
    EXPECT_EQ(image->reason, ImageReason_decode);
    ImageHandle_release(h);
}

} // namespace

namespace {

// Low-memory animations keep no frames: the first frame shows from the
// first decode, each later one is decoded again when the clock moves on
// and drawing asks for it; the loops end on the last frame.
TEST_F(GifTest, ALowMemoryAnimationReplaysEachFrameWhenShown)
{
    makeStore();
    struct Case {
        const char *name;
        size_t frames; // shown before the end (or asked for an endless one)
        bool ends;
    } cases[] = {
        {"loop2", 9, true},     // three passes of three frames
        {"dispose2", 6, false}, // endless
        {"dispose3", 6, false}, // a frame restored to the previous one is skipped in replays
    };
    for (const Case &c : cases) {
        Frames answer = readFrames(c.name);
        ASSERT_FALSE(answer.rgba.empty()) << c.name;
        ImageHandle *h = open(gif(c.name), ++key,
                              ImageOpt_recognise | ImageOpt_animations | ImageOpt_lowMemAnim |
                                  ImageOpt_neverShare);
        ASSERT_NE(h, nullptr) << c.name;
        ImageObject *image = h->image;
        ASSERT_EQ(image->kind, 2) << c.name;
        EXPECT_EQ(image->state, ImageState_animOnDemand) << c.name;
        std::vector<std::string> shown;
        for (int guard = 0;
             guard < 100 && shown.size() < c.frames && image->state != ImageState_animEnded;
             guard++) {
            PixelBuf *picture = nullptr, *mask = nullptr;
            ASSERT_EQ(Image_acquireCurrentFrame(image, &picture, &mask), Res_ok) << c.name;
            shown.push_back(differs(picture, mask, answer, shown.size() % answer.rgba.size()));
            Image_releaseFrame(image, picture);
            // The clock: the first tick finds no queued successor and asks
            // for a restart; from then on each tick steps one frame.
            if (shown.size() == 1)
                Anim_onClockTick(ctx, image);
            Anim_onClockTick(ctx, image);
        }
        EXPECT_EQ(shown.size(), c.frames) << c.name;
        EXPECT_EQ(image->framesDropped, 1) << c.name;
        EXPECT_EQ(image->state == ImageState_animEnded, c.ends) << c.name;
        for (size_t i = 0; i < shown.size(); i++)
            EXPECT_EQ(shown[i], "") << c.name << " frame " << i;
        {
            // A still is the first frame, kept when the frames were dropped.
            PixelBuf *picture = nullptr, *mask = nullptr;
            ASSERT_EQ(Image_acquireStillFrame(image, &picture, &mask), Res_ok);
            EXPECT_EQ(differs(picture, mask, answer, 0), "") << c.name << " still";
            Image_releaseFrame(image, picture);
        }
        if (c.ends) {
            // The ended animation keeps showing its last frame.
            PixelBuf *picture = nullptr, *mask = nullptr;
            ASSERT_EQ(Image_acquireCurrentFrame(image, &picture, &mask), Res_ok);
            EXPECT_EQ(differs(picture, mask, answer, answer.rgba.size() - 1), "") << c.name;
            Image_releaseFrame(image, picture);
        }
        ImageHandle_release(h);
    }
}

} // namespace

namespace {

// A synchronous decode leaves the image pointing at the view it drew into.
// When the cache frees that view, neither a freeze of an on-demand
// animation (which copies the current picture) nor the error that ends an
// animation on the list (which frees the target's pixels) may reach it.
TEST_F(GifTest, AFreedTargetViewIsNotReachedAfterASynchronousDecode)
{
    struct Case {
        const char *what;
        uint32_t options;
        bool truncate; // the loop then fails the image
    } cases[] = {
        {"freeze of an on-demand animation", ImageOpt_lowMemAnim, false},
        {"error ending the animation", 0, true},
    };
    makeStore();
    for (const Case &c : cases) {
        std::string bytes = gif("loop2");
        if (c.truncate)
            bytes.resize(bytes.size() - 6);
        ImageHandle *h =
            open(bytes, ++key,
                 ImageOpt_recognise | ImageOpt_animations | ImageOpt_neverShare | c.options);
        ASSERT_NE(h, nullptr) << c.what;
        ImageObject *image = h->image;
        ASSERT_EQ(image->kind, 2) << c.what;
        // The store has no workers: the image was decoded as it opened.
        ImageView *view = image->views;
        ASSERT_NE(view, nullptr) << c.what;
        ASSERT_EQ(image->targetView, view) << c.what;
        // An on-demand animation stays off the list and can be frozen;
        // the other plays on the list.
        if (c.truncate)
            Anim_enterAnimList(image);
        // The cache lets go of the view.
        ImageCache_lock(ctx);
        Lock_acquire(&image->imageLock);
        ImageView_dropFromCache(ctx, view);
        Lock_release(&image->imageLock);
        ImageCache_unlock(ctx);
        EXPECT_EQ(image->targetView, nullptr) << c.what;
        if (c.truncate) {
            for (int i = 0; i < 5 && ctx->imageStore->animList; i++) {
                EXPECT_EQ(Anim_runLoop(ctx), Res_ok);
                Anim_wake(ctx);
            }
            EXPECT_EQ(image->state, ImageState_failed) << c.what;
        } else {
            ASSERT_EQ(image->state, ImageState_animOnDemand) << c.what;
            Image_stopLoading(h);
            ASSERT_NE(h->image, image) << c.what << ": the handle holds a frozen copy";
            EXPECT_EQ(h->image->state, ImageState_failed) << c.what << ": with no picture to copy";
        }
        ImageHandle_release(h);
    }
}

} // namespace

namespace {

// Pixels of picture that are not rgb (as the picture's format holds it).
int otherPixels(const PixelBuf *picture, uint32_t rgb)
{
    int n = 0;
    for (int32_t y = 0; y < picture->height; y++)
        for (int32_t x = 0; x < picture->width; x++)
            n += pictureAt(picture, x, y) != expectedPixel(rgb, picture->format);
    return n;
}

// A still of an animation (a page render, a thumbnail) is its first frame,
// red here, whatever frames the clock has made current since: before the
// clock moved, after it passed the first frame and after further loops,
// with varied delays and with delays of 0. Drawing of the screen goes on
// showing the current frame.
TEST_F(GifTest, AStillIsTheFirstFrameWhateverTheClockDid)
{
    const uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    const char *names[] = {"stills/anim3.gif", "stills/anim3_nodelay.gif"};
    makeStore();
    for (const char *name : names) {
        ImageHandle *h = open(readFixture(name), ++key,
                              ImageOpt_recognise | ImageOpt_animations | ImageOpt_neverShare);
        ASSERT_NE(h, nullptr) << name;
        ImageObject *image = h->image;
        ASSERT_EQ(image->kind, 2) << name;
        auto still = [&](uint32_t mode, uint32_t rgb) {
            PixelBuf *picture = nullptr, *mask = nullptr;
            ImageDrawRequest *request = nullptr;
            ASSERT_EQ(Image_render(h, Pixel_format565, 0, nullptr, nullptr, mode, nullptr, &picture,
                                   &mask, nullptr, &request),
                      Res_ok);
            ASSERT_NE(picture, nullptr);
            EXPECT_EQ(otherPixels(picture, rgb), 0)
                << name << " mode " << mode << " at frame " << image->queue->time;
            Image_endRender(ctx, request);
        };
        still(ImageRender_still, red);
        // Seven frames: round the three-frame loop twice and one more.
        const uint32_t order[] = {red, green, blue};
        int32_t now = 0;
        int shown = 0;
        for (int guard = 0; guard < 100 && shown < 7; guard++) {
            ImageCodecParams params{Image_getCapFlags(image), Pixel_format565, 0, nullptr, nullptr};
            int r = ImageCodec_of(image)->decode(ctx, image->codecInstance, image->stream, image,
                                                 &params);
            if (r == Res_imageGoRound || r == Res_imageFrameDone)
                continue;
            ASSERT_EQ(r, Res_imageNoFreeFrame) << name;
            int32_t next = 0;
            ASSERT_EQ(Anim_pickCurrentAt(image, now, &next, nullptr), 1) << name;
            still(0, order[shown % 3]);
            still(ImageRender_still, red);
            shown++;
            now = next;
        }
        EXPECT_EQ(shown, 7) << name;
        ImageHandle_release(h);
    }
}

} // namespace
