// The PNG decoder through the image store: every colour type and bit depth
// against the reference decodes, masks kept or dropped, interlaced images
// in one band, resolutions, data arriving in small pieces, files cut short,
// broken files and their codes, and running out of memory anywhere.
#include "graphics/codecs/png.h"

#include <zlib.h>

#include "tests/graphics/rgba_support.h"

namespace {

class PngTest : public DecodeFixture {
  protected:
    void SetUp() override
    {
        DecodeFixture::SetUp();
    }
    // Decodes fixture png/<name>.png at full size; the handle is the test's.
    ImageHandle *decode(const std::string &name, ImageView **view, size_t step = 0)
    {
        ImageHandle *h = openBytes(readFixture("png/" + name + ".png"), step);
        *view = h ? decodeAt(h->image, 0) : nullptr;
        return h;
    }
};

// Compares the picture (5-6-5) and, when withMask, the mask with the
// answer; names the first pixel that differs.
void expectLikeAnswer(const ImageView *view, const RgbaAnswer &a, bool withMask,
                      const std::string &what)
{
    ASSERT_NE(view->picture, nullptr) << what;
    ASSERT_EQ(view->picture->width, a.width) << what;
    ASSERT_EQ(view->picture->height, a.height) << what;
    if (withMask) {
        ASSERT_NE(view->mask, nullptr) << what << ": the mask is kept";
    } else {
        EXPECT_EQ(view->mask, nullptr) << what << ": an opaque image drops its mask";
    }
    for (int32_t y = 0; y < a.height; y++)
        for (int32_t x = 0; x < a.width; x++) {
            const uint8_t *p = a.at(x, y);
            ASSERT_EQ(pixel16(view->picture, x, y), rgbTo565(p)) << what << " at " << x << "," << y;
            if (withMask) {
                ASSERT_EQ(mask8(view->mask, x, y), p[3]) << what << " alpha at " << x << "," << y;
            }
        }
}

TEST_F(PngTest, EveryColourTypeAndDepthDecodesLikeTheReference)
{
    makeCodecStore(Codec_pngDescriptor);
    struct Case {
        const char *name;
        bool mask;
        bool interlaced;
    };
    const Case cases[] = {
        {"grey1", false, false},
        {"grey2", false, false},
        {"grey4", false, false},
        {"grey8", false, false},
        {"grey16", false, false},
        {"grey8_trns", true, false},
        {"rgb8", false, false},
        {"rgb16", false, false},
        {"rgb8_trns", true, false},
        {"pal1", false, false},
        {"pal2", false, false},
        {"pal4", false, false},
        {"pal8", false, false},
        {"pal4_trns", true, false},
        {"pal8_trns", true, false},
        {"ga8", true, false},
        {"ga16", true, false},
        {"rgba8", true, false},
        {"rgba16", true, false},
        {"interlaced_rgba8", true, true},
        {"interlaced_rgb16", false, true},
        {"interlaced_pal4", false, true},
    };
    for (const Case &c : cases) {
        ImageView *view = nullptr;
        ImageHandle *h = decode(c.name, &view);
        ASSERT_NE(h, nullptr);
        ImageObject *image = h->image;
        EXPECT_EQ(image->state, ImageState_done) << c.name << " error " << image->errorCode;
        EXPECT_EQ(Image_getTypeId(image), Png_typeId);
        EXPECT_EQ(image->stagingRows, c.interlaced ? 0 : 8)
            << c.name << ": bands of 8, or one for interlaced";
        EXPECT_EQ(image->transparency, c.mask ? 1 : 0) << c.name;
        expectLikeAnswer(view, readRgbaAnswer("png/" + std::string(c.name) + ".rgba"), c.mask,
                         c.name);
        ImageHandle_release(h);
    }
}

// In a store of 32-bit pictures every bit of the colour survives.
TEST_F(PngTest, ThirtyTwoBitPicturesKeepEveryBit)
{
    makeCodecStore(Codec_pngDescriptor, Pixel_formatRGBA);
    for (const char *name : {"rgba8", "pal8_trns", "interlaced_rgb16"}) {
        ImageView *view = nullptr;
        ImageHandle *h = decode(name, &view);
        RgbaAnswer a = readRgbaAnswer("png/" + std::string(name) + ".rgba");
        ASSERT_NE(view->picture, nullptr) << name;
        EXPECT_EQ(view->picture->format, uint32_t(Pixel_formatRGBA));
        for (int32_t y = 0; y < a.height; y++)
            for (int32_t x = 0; x < a.width; x++) {
                const uint8_t *p = a.at(x, y);
                ASSERT_EQ(pixel32(view->picture, x, y), uint32_t(p[0] | p[1] << 8 | p[2] << 16))
                    << name;
            }
        ImageHandle_release(h);
    }
}

// The library gets the data in whatever pieces the stream has; one byte
// at a time decodes the same picture.
TEST_F(PngTest, DataInSmallPiecesDecodesTheSame)
{
    makeCodecStore(Codec_pngDescriptor);
    for (const char *name : {"rgba8", "interlaced_pal4", "grey16"})
        for (size_t step : {size_t(1), size_t(7), size_t(1500)}) {
            ImageView *view = nullptr;
            ImageHandle *h = decode(name, &view, step);
            std::string what = std::string(name) + " in pieces of " + std::to_string(step);
            EXPECT_EQ(h->image->state, ImageState_done) << what;
            expectLikeAnswer(
                view, readRgbaAnswer("png/" + std::string(name) + ".rgba"),
                std::string(name) != "interlaced_pal4" && std::string(name) != "grey16", what);
            ImageHandle_release(h);
        }
}

TEST_F(PngTest, ResolutionComesFromThePhysicalPixelChunk)
{
    makeCodecStore(Codec_pngDescriptor);
    struct Case {
        const char *name;
        int32_t dpi;
    };
    const Case cases[] = {{"phys2834", 71}, {"phys9", 72}, {"phys_unit0", 72}, {"rgb8", 72}};
    for (const Case &c : cases) {
        ImageHandle *h = openBytes(readFixture("png/" + std::string(c.name) + ".png"));
        int32_t info[6] = {};
        ASSERT_EQ(Image_getDocImageInfo(h, info, nullptr, nullptr), Res_ok);
        EXPECT_EQ(info[0], 37) << c.name;
        EXPECT_EQ(info[1], 29) << c.name;
        EXPECT_EQ(info[2], c.dpi) << c.name;
        EXPECT_EQ(h->image->views, nullptr) << c.name << ": reading the header decodes nothing";
        ImageHandle_release(h);
    }
    // trunc(x x 2.54 / 100) from 10 pixels per metre up; unit 1 only.
    EXPECT_EQ(Png_resolution(1, 1, 2834), 71);
    EXPECT_EQ(Png_resolution(1, 1, 11811), 299);
    EXPECT_EQ(Png_resolution(1, 1, 9), 72);
    EXPECT_EQ(Png_resolution(1, 1, 10), 0) << "published as 72 by the store";
    EXPECT_EQ(Png_resolution(0, 1, 2834), 72);
    EXPECT_EQ(Png_resolution(1, 0, 2834), 72);
    EXPECT_EQ(Png_resolution(1, 1, 0xFFFFFFFFu), int32_t(0xFFFFFFFFull * 254 / 10000));
}

// A file cut short inside its image data keeps the rows that came; the
// rows after them stay transparent, and the mask stays to show it.
TEST_F(PngTest, AFileCutShortKeepsTheRowsThatCame)
{
    makeCodecStore(Codec_pngDescriptor);
    for (size_t step : {size_t(0), size_t(3)}) {
        ImageView *view = nullptr;
        ImageHandle *h = decode("cut", &view, step);
        EXPECT_EQ(h->image->state, ImageState_done);
        RgbaAnswer a = readRgbaAnswer("png/cut_full.rgba");
        ASSERT_NE(view->picture, nullptr);
        ASSERT_NE(view->mask, nullptr);
        ASSERT_EQ(view->picture->width, a.width);
        int32_t came = 0;
        while (came < a.height && mask8(view->mask, 0, came) == 255)
            came++;
        EXPECT_GT(came, 8) << "whole bands came";
        EXPECT_LT(came, a.height);
        for (int32_t y = 0; y < a.height; y++)
            for (int32_t x = 0; x < a.width; x++) {
                if (y < came) {
                    ASSERT_EQ(pixel16(view->picture, x, y), rgbTo565(a.at(x, y))) << x << "," << y;
                    ASSERT_EQ(mask8(view->mask, x, y), 255);
                } else {
                    ASSERT_EQ(mask8(view->mask, x, y), 0) << "row " << y << " never came";
                }
            }
        ImageHandle_release(h);
    }
}

// Broken files fail with their codes; nothing is left behind.
TEST_F(PngTest, BrokenFilesFailWithTheirCodes)
{
    makeCodecStore(Codec_pngDescriptor);
    struct Case {
        const char *name;
        int code;
    };
    const Case cases[] = {
        {"bad_crc", Res_pngLibrary},
        {"bad_zlib", Res_pngLibrary},
        {"zero_width", Res_pngLibrary},
        {"signature_only", Res_imageNoPicture}, // the data end before the header
    };
    for (const Case &c : cases) {
        ImageView *view = nullptr;
        ImageHandle *h = decode(c.name, &view);
        EXPECT_EQ(h->image->state, ImageState_failed) << c.name;
        EXPECT_EQ(h->image->errorCode, c.code) << c.name;
        ImageHandle_release(h);
    }
    // Reading only the header of data that end before it is a failure too.
    ImageHandle *h = openBytes(readFixture("png/signature_only.png"));
    int32_t state = 0, reason = 0;
    ASSERT_EQ(Image_readHeaderNow(h->image, &state, &reason), Res_ok);
    EXPECT_EQ(state, ImageState_failed);
    ImageHandle_release(h);
}

// The codec's own checks before the library sees anything.
TEST_F(PngTest, SignatureAndFormatChecks)
{
    makeCodecStore(Codec_pngDescriptor);
    std::string png = readFixture("png/rgb8.png");
    int32_t score = -1;
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(png.data());
    EXPECT_EQ(Png_recognise(&score, nullptr, nullptr, bytes, 8, ImageDec_flagRecognise), Res_ok);
    EXPECT_EQ(score, 100);
    EXPECT_EQ(Png_recognise(&score, nullptr, nullptr, bytes, 7, ImageDec_flagRecognise), Res_ok);
    EXPECT_EQ(score, 0) << "fewer than 8 bytes";
    EXPECT_EQ(Png_recognise(&score, nullptr, nullptr, bytes, 8, 0), Res_ok);
    EXPECT_EQ(score, 0) << "recognition not asked for";
    std::string notPng = png;
    notPng[3] = 'X';
    EXPECT_EQ(Png_recognise(&score, nullptr, nullptr,
                            reinterpret_cast<const uint8_t *>(notPng.data()), 8,
                            ImageDec_flagRecognise),
              Res_ok);
    EXPECT_EQ(score, 0);

    // Straight to the codec: 0x2701 for a short or foreign start, before
    // any image is touched.
    for (const std::string &data : {png.substr(0, 7), notPng}) {
        ByteStream *s =
            trickleStream(reinterpret_cast<const uint8_t *>(data.data()), data.size(), 4);
        EXPECT_EQ(Png_readHeader(ctx, s, nullptr, nullptr, nullptr), Res_pngNotPng);
        ImageCodecParams params{ImageDec_flagRecognise, Pixel_format565, 0, nullptr, nullptr};
        EXPECT_EQ(trickleSeek(s, 0), Res_ok);
        EXPECT_EQ(Png_decode(ctx, nullptr, s, nullptr, &params), Res_pngNotPng);
        (void)ByteStream_close(s);
    }
    // A stream error before 8 bytes came is the result.
    ByteStream *s = trickleStream(bytes, 5, 2, 0x4242);
    EXPECT_EQ(Png_readHeader(ctx, s, nullptr, nullptr, nullptr), 0x4242);
    (void)ByteStream_close(s);
    // No converter for grey pictures with an alpha mask.
    ImageCodecParams grey{ImageDec_flagRecognise, Pixel_formatGrey8, 0, nullptr, nullptr};
    EXPECT_EQ(Png_decode(ctx, nullptr, nullptr, nullptr, &grey), Res_pngNoConverter);
}

// A PNG chunk: length, type, data, checksum.
std::string pngChunk(const char *type, const std::string &data)
{
    std::string body = std::string(type, 4) + data;
    uint32_t crc =
        uint32_t(crc32(0, reinterpret_cast<const Bytef *>(body.data()), uInt(body.size())));
    std::string out;
    for (uint32_t v : {uint32_t(data.size()), crc}) {
        std::string word;
        for (int shift = 24; shift >= 0; shift -= 8)
            word += char((v >> shift) & 0xFF);
        out += word;
        if (v == uint32_t(data.size()))
            out += body;
    }
    return out;
}

// A header is not trusted: sizes the heap cannot hold fail as out of
// memory, whether the picture (30000 x 30000) or the whole-image buffer of
// an interlaced image (1200 x 1200: the picture and mask fit the test's
// heap, 4 bytes a pixel more do not) is refused.
TEST_F(PngTest, SizesTheHeapCannotHoldFailAsOutOfMemory)
{
    makeCodecStore(Codec_pngDescriptor);
    for (uint8_t interlace : {uint8_t(0), uint8_t(1)}) {
        uint32_t side = interlace ? 1200 : 30000;
        std::string ihdr;
        for (uint32_t v : {side, side})
            for (int shift = 24; shift >= 0; shift -= 8)
                ihdr += char((v >> shift) & 0xFF);
        ihdr += std::string("\x08\x06\x00\x00", 4) + char(interlace);
        uint8_t packed[64];
        uLongf packedSize = sizeof(packed);
        const uint8_t row[9] = {};
        ASSERT_EQ(compress(packed, &packedSize, row, sizeof(row)), Z_OK);
        std::string png =
            std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) +
            pngChunk("IDAT", std::string(reinterpret_cast<char *>(packed), packedSize)) +
            pngChunk("IEND", "");
        ImageHandle *h = openBytes(png);
        ImageView *view = nullptr;
        ASSERT_EQ(ImageView_create(h->image, &view), Res_ok);
        ImageView_attach(h->image, view);
        // An asynchronous pass without coarser retries: a synchronous one
        // leaves an image short of memory to be tried again.
        h->image->state = ImageState_decoding;
        int32_t reason = 0;
        EXPECT_EQ(Image_decode(ctx, h->image, &reason, 0, 0, view), Res_ok);
        h->image->state = h->image->result;
        EXPECT_EQ(h->image->state, ImageState_failed) << int(interlace);
        EXPECT_EQ(h->image->errorCode, Res_noMemory) << int(interlace);
        EXPECT_EQ(view->picture, nullptr);
        ImageHandle_release(h);
    }
}

// Out of memory at every allocation in turn: a clean failure (1, or the
// library's structures refused), never a leak, until the decode succeeds.
TEST_F(PngTest, OutOfMemoryAtEveryAllocation)
{
    makeCodecStore(Codec_pngDescriptor);
    std::string data = readFixture("png/interlaced_rgba8.png");
    RgbaAnswer a = readRgbaAnswer("png/interlaced_rgba8.rgba");
    bool done = false;
    for (uint64_t n = 1; n < 2000 && !done; n++) {
        ImageHandle *h = openBytes(data);
        ASSERT_NE(h, nullptr);
        ImageView *view = nullptr;
        ASSERT_EQ(ImageView_create(h->image, &view), Res_ok);
        ImageView_attach(h->image, view);
        Mem_failAfter(n);
        int32_t reason = 0;
        EXPECT_EQ(Image_decode(ctx, h->image, &reason, 0, 0, view), Res_ok);
        Mem_failAfter(0);
        ImageObject *image = h->image;
        // A synchronous pass that ran out of memory before the header ends
        // "done" without a picture, to be tried again.
        if (image->result == ImageState_done && view->picture) {
            expectLikeAnswer(view, a, true, "after " + std::to_string(n));
            done = true;
        } else if (image->result == ImageState_failed) {
            EXPECT_TRUE(image->errorCode == Res_noMemory || image->errorCode == Res_pngInfo)
                << n << ": " << image->errorCode;
        } else {
            EXPECT_EQ(image->result, ImageState_done) << n;
        }
        ImageHandle_release(h);
        EXPECT_EQ(Mem_check(), 0);
    }
    EXPECT_TRUE(done);
}

// Row reports of an asynchronous pass reach the handles and, with what
// waits to be passed on, cover the whole picture.
TEST_F(PngTest, AsynchronousPassesReportTheirRows)
{
    makeCodecStore(Codec_pngDescriptor);
    struct Seen {
        int calls = 0;
        int32_t bottom = 0;
    } seen;
    for (const char *name : {"rgb8", "interlaced_rgba8"}) {
        seen = Seen{};
        ImageHandle *h = openBytes(readFixture("png/" + std::string(name) + ".png"), 100);
        Image_setReadyCallbacks(
            h,
            [](void *user, int32_t, int32_t y, int32_t, int32_t height) {
                Seen *s = static_cast<Seen *>(user);
                s->calls++;
                s->bottom = std::max(s->bottom, y + height);
            },
            nullptr, &seen);
        seen = Seen{};
        ImageView *view = decodeAt(h->image, 0, true);
        EXPECT_EQ(h->image->state, ImageState_done) << name;
        // Reports are batched: what was not passed on yet waits in the
        // image's dirty rectangle.
        EXPECT_GE(seen.calls, 1) << name;
        EXPECT_EQ(std::max(seen.bottom, h->image->dirty.y1), 29) << name;
        (void)view;
        ImageHandle_release(h);
    }
}

} // namespace
