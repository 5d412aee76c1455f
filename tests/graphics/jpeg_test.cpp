// The JPEG decoder: the colour output routines, the source manager over a
// byte stream, and decoding through the image store (the reference decodes
// within one unit per channel, the library's own reduction, densities, the
// owner's decode table and colour hint, progressive files shown scan by
// scan, files cut short, broken files, and running out of memory).
#include "graphics/codecs/jpeg.h"

#include <array>
#include <cmath>

#include "document/edr/doc.h"
#include "graphics/codecs/jpegcolour.h"
#include "graphics/codecs/png.h"
#include "tests/graphics/rgba_support.h"

namespace {

// ----------------------------------------------------- colour output

uint16_t convertOne(JpegColourFn fn, std::initializer_list<uint8_t> components)
{
    std::vector<uint8_t> in(components);
    uint16_t out = 0xDEAD;
    fn(in.data(), &out, 1, uint32_t(in.size()));
    return out;
}

uint8_t clamp8(double v)
{
    return uint8_t(std::min(255.0, std::max(0.0, v)));
}

TEST(JpegColour, EdgeValuesOfEachRoutine)
{
    EXPECT_EQ(convertOne(JpegColour_grey565, {255}), 0xFFFF);
    EXPECT_EQ(convertOne(JpegColour_grey565, {8}), 0x0841);
    EXPECT_EQ(convertOne(JpegColour_grey565, {0}), 0x0000);
    EXPECT_EQ(convertOne(JpegColour_rgb565, {255, 0, 8}), 0xF801);
    EXPECT_EQ(convertOne(JpegColour_cmyk565, {255, 255, 255, 255}), 0xFFFF)
        << "inverted inks: no ink is white";
    EXPECT_EQ(convertOne(JpegColour_cmyk565, {255, 255, 255, 0}), 0x0000) << "full black";
    EXPECT_EQ(convertOne(JpegColour_cmykPlain565, {0, 0, 0, 0}), 0xFFFF);
    EXPECT_EQ(convertOne(JpegColour_cmykPlain565, {255, 0, 0, 0}), 0x07FF) << "plain cyan";
    EXPECT_EQ(convertOne(JpegColour_ycc565, {255, 128, 128}), 0xFFFF);
    uint16_t red = convertOne(JpegColour_ycc565, {0, 128, 255});
    EXPECT_NE(red >> 11, 0) << "red from Cr";
    EXPECT_EQ(red & 0x07FF, 0) << "green clamped to 0, no blue";
    EXPECT_EQ(convertOne(JpegColour_ycck565, {0, 128, 128, 255}), 0xFFFF) << "inverted YCCK white";
    EXPECT_EQ(convertOne(JpegColour_ycckPlain565, {255, 128, 128, 0}), 0xFFFF)
        << "plain YCCK white";
    EXPECT_EQ(convertOne(JpegColour_ycckPlain565, {255, 128, 128, 255}), 0x0000)
        << "plain YCCK, full black";
}

// Coloured ink and black ink multiply: each channel is (255 - ink) x
// (255 - K) / 255, rounded, whether the inks are stored inverted (Adobe),
// plainly, or as YCCK. Cyan 77, magenta 153, yellow 26 and black 102 give
// 107, 61, 137 (adding the inks would give 76, 0, 127).
TEST(JpegColour, InksMultiply)
{
    struct Case {
        const char *what;
        JpegColourFn fn;
        std::initializer_list<uint8_t> in;
        uint16_t out;
    };
    const uint16_t ink565 = (107 >> 3) << 11 | (61 >> 2) << 5 | 137 >> 3;
    const uint16_t grey565 = (107 >> 3) << 11 | (107 >> 2) << 5 | 107 >> 3;
    const Case cases[] = {
        {"inverted CMYK", JpegColour_cmyk565, {255 - 77, 255 - 153, 255 - 26, 255 - 102}, ink565},
        {"plain CMYK", JpegColour_cmykPlain565, {77, 153, 26, 102}, ink565},
        {"inverted YCCK: Y 77 is stored C, M and Y of 178",
         JpegColour_ycck565,
         {77, 128, 128, 255 - 102},
         grey565},
        {"plain YCCK: Y 178 is ink 77", JpegColour_ycckPlain565, {178, 128, 128, 102}, grey565},
        {"inverted CMYK: half black on no ink", JpegColour_cmyk565, {255, 255, 255, 127}, 0x7BEF},
    };
    for (const Case &c : cases)
        EXPECT_EQ(convertOne(c.fn, c.in), c.out) << c.what;
}

// The fast three-lane YCbCr routine against the JFIF formulas, for every
// Y and a grid of Cb and Cr: never more than one unit apart, and exact
// where no lane is clamped and the green rounding agrees.
TEST(JpegColour, FastYccMatchesTheJfifConversion)
{
    int worst = 0;
    for (int y = 0; y < 256; y++)
        for (int cb = 0; cb < 256; cb += 3)
            for (int cr = 0; cr < 256; cr += 5) {
                uint8_t rgb[3] = {
                    clamp8(std::floor(y + 1.402 * (cr - 128) + 0.5)),
                    clamp8(std::floor(y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128) + 0.5)),
                    clamp8(std::floor(y + 1.772 * (cb - 128) + 0.5))};
                uint16_t got =
                    convertOne(JpegColour_ycc565, {uint8_t(y), uint8_t(cb), uint8_t(cr)});
                worst = std::max(worst, channelDistance(got, rgbTo565(rgb)));
            }
    EXPECT_LE(worst, 1);
    // The YCCK routines are the YCbCr conversion subtracted from K.
    for (int y = 0; y < 256; y += 17)
        for (int c = 0; c < 256; c += 15) {
            uint16_t plain =
                convertOne(JpegColour_ycckPlain565, {uint8_t(y), uint8_t(c), uint8_t(255 - c), 0});
            uint16_t ycc =
                convertOne(JpegColour_ycc565, {uint8_t(y), uint8_t(c), uint8_t(255 - c)});
            EXPECT_LE(channelDistance(plain, ycc), 1) << y << "," << c;
        }
}

// A row goes through the wide paths 32 or 16 pixels at a time and the rest
// one by one: every pixel equals its conversion alone, whatever the row's
// length.
TEST(JpegColour, RowsConvertLikeSinglePixels)
{
    std::vector<uint8_t> in(3 * 1003);
    uint32_t seed = 7;
    for (uint8_t &b : in) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    // Saturated corners too.
    for (size_t i = 0; i < 48; i++)
        in[i] = (i % 3 == 0) ? uint8_t((i & 4) ? 255 : 0) : uint8_t((i & 2) ? 255 : 0);
    for (uint32_t n : {1003u, 64u, 31u, 21u, 16u, 5u}) {
        std::vector<uint16_t> row(n);
        JpegColour_ycc565(in.data() + 3 * (1003 - n), row.data(), n, 3);
        for (size_t i = 0; i < n; i++) {
            const uint8_t *p = in.data() + 3 * (1003 - n + i);
            ASSERT_EQ(row[i], convertOne(JpegColour_ycc565, {p[0], p[1], p[2]})) << n << ": " << i;
        }
    }
    std::vector<uint16_t> start(48);
    JpegColour_ycc565(in.data(), start.data(), 48, 3);
    for (size_t i = 0; i < 48; i++)
        ASSERT_EQ(start[i],
                  convertOne(JpegColour_ycc565, {in[3 * i], in[3 * i + 1], in[3 * i + 2]}))
            << i;
}

TEST(JpegColour, InitChoosesByColourSpaceAndOutput)
{
    struct Case {
        int32_t space, components, output;
        JpegColourFn fn; // null: refused
        int32_t outComponents;
    };
    const Case cases[] = {
        {JpegSpace_ycc, 3, JpegOut_565, JpegColour_ycc565, 2},
        {JpegSpace_grey, 1, JpegOut_565, JpegColour_grey565, 2},
        {JpegSpace_rgb, 3, JpegOut_565, JpegColour_rgb565, 2},
        {JpegSpace_cmyk, 4, JpegOut_565, JpegColour_cmyk565, 2},
        {JpegSpace_cmykPlain, 4, JpegOut_565, JpegColour_cmykPlain565, 2},
        {JpegSpace_ycck, 4, JpegOut_565, JpegColour_ycck565, 2},
        {JpegSpace_ycckPlain, 4, JpegOut_565, JpegColour_ycckPlain565, 2},
        {JpegSpace_ycc, 4, JpegOut_565, nullptr, 0},  // the count does not fit the space
        {0, 2, JpegOut_565, nullptr, 0},              // unknown space
        {JpegSpace_rgb, 3, JpegOut_grey, nullptr, 0}, // grey only from grey or YCbCr
    };
    for (const Case &c : cases) {
        JpegColour colour;
        int r = JpegColour_init(&colour, c.space, c.components, c.output);
        EXPECT_EQ(r, c.fn ? Res_ok : Res_notImplemented) << c.space << "/" << c.components;
        EXPECT_EQ(colour.convert, c.fn) << c.space;
        EXPECT_EQ(colour.outComponents, c.outComponents) << c.space;
    }
    // Grey output copies the first component; "same" copies them all.
    JpegColour colour;
    ASSERT_EQ(JpegColour_init(&colour, JpegSpace_ycc, 3, JpegOut_grey), Res_ok);
    const uint8_t ycc[6] = {10, 20, 30, 40, 50, 60};
    uint8_t grey[2] = {};
    colour.convert(ycc, grey, 2, 3);
    EXPECT_EQ(grey[0], 10);
    EXPECT_EQ(grey[1], 40);
    ASSERT_EQ(JpegColour_init(&colour, 0, 2, JpegOut_same), Res_ok);
    EXPECT_EQ(colour.outComponents, 2);
    uint8_t same[4] = {};
    colour.convert(ycc, same, 2, 2);
    EXPECT_EQ(memcmp(same, ycc, 4), 0);
}

// ---------------------------------------------------- source manager

class JpegSourceTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestHeap_open(&heap, 4u << 20, 0));
        memset(&cinfo, 0, sizeof(cinfo));
        JpegErr_init(&err);
        err.pub.error_exit = [](j_common_ptr c) {
            Jmp_long(reinterpret_cast<JpegErrorManager *>(c->err)->jump, 1);
        };
        cinfo.err = &err.pub;
    }
    void TearDown() override
    {
        TestHeap_close(&heap);
    }
    // Refills once; -1 when the refill took the error exit.
    int fill()
    {
        if (Jmp_set(err.jump))
            return -1;
        return JpegSrc_fill(&cinfo) ? 1 : 0;
    }
    TestHeap heap{};
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegSource src;
};

TEST_F(JpegSourceTest, RefillsLendAtMost4096BytesAndThenTheEndMarker)
{
    std::vector<uint8_t> data(10000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = uint8_t(i * 7);
    ByteStream *s = trickleStream(data.data(), data.size(), data.size());
    JpegSrc_install(&cinfo, &src, s, nullptr);
    src.pub.init_source(&cinfo);
    ASSERT_EQ(fill(), 1);
    EXPECT_EQ(src.pub.bytes_in_buffer, 4096u);
    EXPECT_EQ(src.pub.next_input_byte, data.data()) << "lent straight from the stream's buffer";
    // The library reads 100 bytes; sync gives the other 3996 back.
    src.pub.next_input_byte += 100;
    src.pub.bytes_in_buffer -= 100;
    EXPECT_EQ(JpegSrc_sync(&cinfo), 100u);
    EXPECT_EQ(s->readPtr, data.data() + 100);
    EXPECT_EQ(src.pub.bytes_in_buffer, 0u);
    // Skipping across refills.
    ASSERT_EQ(fill(), 1);
    JpegSrc_skip(&cinfo, 5000);
    EXPECT_EQ(src.pub.next_input_byte, data.data() + 5100);
    EXPECT_EQ(*src.pub.next_input_byte, uint8_t(5100 * 7));
    src.pub.bytes_in_buffer = 0;
    ASSERT_EQ(fill(), 1);
    EXPECT_EQ(src.pub.next_input_byte, data.data() + 8292)
        << "the whole lend of 4096 bytes was taken";
    EXPECT_EQ(src.pub.bytes_in_buffer, 10000u - 8292);
    (void)JpegSrc_sync(&cinfo);
    ByteStream_close(s);
}

TEST_F(JpegSourceTest, TheEndOfTheDataGivesTheEndMarkerOrTheStreamError)
{
    const uint8_t data[3] = {1, 2, 3};
    ByteStream *s = trickleStream(data, 3, 3);
    JpegSrc_install(&cinfo, &src, s, nullptr);
    ASSERT_EQ(fill(), 1);
    EXPECT_EQ(src.pub.bytes_in_buffer, 3u);
    src.pub.bytes_in_buffer = 0;
    ASSERT_EQ(fill(), 1);
    ASSERT_EQ(src.pub.bytes_in_buffer, 2u);
    EXPECT_EQ(src.pub.next_input_byte[0], 0xFF);
    EXPECT_EQ(src.pub.next_input_byte[1], 0xD9);
    // Skipping at the end leaves the marker for the library.
    JpegSrc_skip(&cinfo, 50);
    EXPECT_EQ(src.pub.bytes_in_buffer, 2u);
    EXPECT_EQ(JpegSrc_sync(&cinfo), 3u) << "the marker is no stream data";
    ByteStream_close(s);

    ByteStream *failing = trickleStream(data, 3, 3, 0x4444);
    JpegSrc_install(&cinfo, &src, failing, nullptr);
    ASSERT_EQ(fill(), 1);
    src.pub.bytes_in_buffer = 0;
    EXPECT_EQ(fill(), -1);
    EXPECT_EQ(src.error, 0x4444);
    EXPECT_EQ(err.pub.msg_code, 36) << "the library's input read error";
    ByteStream_close(failing);
}

TEST_F(JpegSourceTest, MapRowsAppliesTheTableOfEachComponent)
{
    uint8_t table[2 * 256];
    for (int v = 0; v < 256; v++) {
        table[v] = uint8_t(255 - v);
        table[256 + v] = uint8_t(v / 2);
    }
    uint8_t row0[6] = {0, 10, 20, 30, 255, 100}, row1[6] = {1, 2, 3, 4, 5, 6};
    JSAMPROW rows[2] = {row0, row1};
    JpegSrc_install(&cinfo, &src, nullptr, nullptr);
    cinfo.output_width = 3;
    cinfo.output_components = 2;
    src.map = table;
    src.mapComponents = 2;
    JpegSrc_mapRows(&cinfo, rows, 0, 1);
    const uint8_t want[6] = {255, 5, 235, 15, 0, 50};
    EXPECT_EQ(memcmp(row0, want, 6), 0);
    EXPECT_EQ(row1[0], 1) << "only the rows asked for";
    src.mapComponents = 3;
    JpegSrc_mapRows(&cinfo, rows, 1, 1);
    EXPECT_EQ(row1[0], 1) << "a table of another component count is not applied";
}

TEST(Jpeg, ResolutionFromTheDensityFields)
{
    struct Case {
        uint8_t unit;
        uint16_t x, y;
        int32_t dpi;
    };
    const Case cases[] = {{1, 300, 300, 300}, {1, 1, 1, 72},     {1, 1, 200, 1},   {2, 28, 28, 71},
                          {2, 118, 0, 299},   {0, 300, 300, 72}, {3, 300, 300, 72}};
    for (const Case &c : cases) {
        jpeg_decompress_struct cinfo{};
        cinfo.density_unit = c.unit;
        cinfo.X_density = c.x;
        cinfo.Y_density = c.y;
        EXPECT_EQ(Jpeg_resolution(&cinfo), c.dpi) << int(c.unit) << " " << c.x;
    }
}

TEST(Jpeg, RecognitionNeedsElevenBytesStartingFfD8Ff)
{
    const uint8_t bytes[12] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0, 1};
    int32_t score = -1;
    EXPECT_EQ(Jpeg_recognise(&score, nullptr, nullptr, bytes, 11, ImageDec_flagRecognise), Res_ok);
    EXPECT_EQ(score, 100);
    EXPECT_EQ(Jpeg_recognise(&score, nullptr, nullptr, bytes, 10, ImageDec_flagRecognise), Res_ok);
    EXPECT_EQ(score, 0);
    EXPECT_EQ(Jpeg_recognise(&score, nullptr, nullptr, bytes, 12, 0), Res_ok);
    EXPECT_EQ(score, 0);
    EXPECT_EQ(Jpeg_recognise(&score, nullptr, nullptr, bytes + 1, 11, ImageDec_flagRecognise),
              Res_ok);
    EXPECT_EQ(score, 0);
}

// ------------------------------------------------ through the store

// Answers op 14 with a decode list and op 23 with a colour hint.
struct JpegHookAnswers {
    std::vector<float> decodeList;
    int32_t colourHint = 0;
};

int jpegHook(void *arg, int32_t op, void *buffer, int32_t *size)
{
    JpegHookAnswers *a = static_cast<JpegHookAnswers *>(arg);
    if (!size)
        return Res_ok;
    if (op == Jpeg_opDecodeList && !a->decodeList.empty()) {
        *size = int32_t(a->decodeList.size() * sizeof(float));
        if (buffer)
            memcpy(buffer, a->decodeList.data(), size_t(*size));
        return Res_ok;
    }
    if (op == Jpeg_opColourHint && a->colourHint) {
        *size = 4;
        if (buffer)
            memcpy(buffer, &a->colourHint, 4);
        return Res_ok;
    }
    *size = 0;
    return Res_ok;
}

class JpegTest : public DecodeFixture {
  protected:
    ImageHandle *decode(const std::string &name, ImageView **view, int32_t level = 0,
                        size_t step = 0, JpegHookAnswers *answers = nullptr, bool async = false)
    {
        ImageHandle *h = openBytes(readFixture("jpeg/" + name + ".jpg"), step,
                                   answers ? jpegHook : nullptr, answers);
        *view = h ? decodeAt(h->image, level, async) : nullptr;
        return h;
    }
    // The picture against an answer: at most one unit per channel apart.
    void expectClose(const ImageView *view, const RgbaAnswer &a, const std::string &what,
                     int32_t rows = -1)
    {
        ASSERT_NE(view->picture, nullptr) << what;
        ASSERT_EQ(view->picture->width, a.width) << what;
        ASSERT_EQ(view->picture->height, a.height) << what;
        EXPECT_EQ(view->mask, nullptr) << what << ": a JPEG ends opaque";
        int worst = 0;
        for (int32_t y = 0; y < (rows < 0 ? a.height : rows); y++)
            for (int32_t x = 0; x < a.width; x++)
                worst = std::max(
                    worst, channelDistance(pixel16(view->picture, x, y), rgbTo565(a.at(x, y))));
        EXPECT_LE(worst, 1) << what;
    }
};

TEST_F(JpegTest, FixturesDecodeWithinOneUnitOfTheReference)
{
    makeCodecStore(Codec_jpegDescriptor);
    for (const char *name :
         {"baseline", "baseline_odd", "progressive", "grey", "grey_progressive", "cmyk_adobe"}) {
        ImageView *view = nullptr;
        ImageHandle *h = decode(name, &view);
        EXPECT_EQ(h->image->state, ImageState_done) << name << " error " << h->image->errorCode;
        EXPECT_EQ(Image_getTypeId(h->image), Jpeg_typeId);
        expectClose(view, readRgbaAnswer("jpeg/" + std::string(name) + ".rgba"), name);
        ImageHandle_release(h);
    }
}

// The library reads the same file from windows of any size (markers and
// skipped segments cross the refills) and gives the same pixels.
TEST_F(JpegTest, DataInSmallPiecesDecodesTheSame)
{
    makeCodecStore(Codec_jpegDescriptor);
    for (const char *name : {"baseline", "progressive", "cmyk_adobe"}) {
        ImageView *whole = nullptr;
        ImageHandle *first = decode(name, &whole);
        ASSERT_NE(whole->picture, nullptr);
        for (size_t step : {size_t(1), size_t(5), size_t(333)}) {
            ImageView *view = nullptr;
            ImageHandle *h = decode(name, &view, 0, step);
            ASSERT_NE(view->picture, nullptr) << name << " " << step;
            for (int32_t y = 0; y < whole->picture->height; y++)
                ASSERT_EQ(memcmp(view->picture->pixels + size_t(y) * view->picture->stride,
                                 whole->picture->pixels + size_t(y) * whole->picture->stride,
                                 size_t(whole->picture->width) * 2),
                          0)
                    << name << " in pieces of " << step << ", row " << y;
            ImageHandle_release(h);
        }
        ImageHandle_release(first);
    }
}

// Levels 1 to 3 are the library's own DCT scaling; a fourth halving is the
// store's.
TEST_F(JpegTest, TheLibraryReducesByUpToAnEighth)
{
    makeCodecStore(Codec_jpegDescriptor);
    for (const char *name : {"baseline", "baseline_odd"})
        for (int32_t level = 1; level <= 3; level++) {
            ImageView *view = nullptr;
            ImageHandle *h = decode(name, &view, level);
            EXPECT_EQ(h->image->levelAchieved, level);
            EXPECT_EQ(h->image->extraLevels, 0);
            expectClose(view,
                        readRgbaAnswer("jpeg/" + std::string(name) + ".s" + std::to_string(level) +
                                       ".rgba"),
                        std::string(name) + " at level " + std::to_string(level));
            ImageHandle_release(h);
        }
    ImageView *view = nullptr;
    ImageHandle *h = decode("baseline", &view, 4);
    EXPECT_EQ(h->image->levelAchieved, 4);
    EXPECT_EQ(h->image->extraLevels, 1);
    ASSERT_NE(view->picture, nullptr);
    EXPECT_EQ(view->picture->width, 4);
    EXPECT_EQ(view->picture->height, 3);
    ImageHandle_release(h);
}

TEST_F(JpegTest, DensitiesGiveTheResolution)
{
    makeCodecStore(Codec_jpegDescriptor);
    struct Case {
        const char *name;
        int32_t dpi;
    };
    const Case cases[] = {{"dpi150", 150}, {"dpcm28", 71}, {"density_unit0", 72}};
    for (const Case &c : cases) {
        ImageHandle *h = openBytes(readFixture("jpeg/" + std::string(c.name) + ".jpg"));
        int32_t info[6] = {};
        ASSERT_EQ(Image_getDocImageInfo(h, info, nullptr, nullptr), Res_ok);
        EXPECT_EQ(info[0], 64) << c.name;
        EXPECT_EQ(info[1], 48) << c.name;
        EXPECT_EQ(info[2], c.dpi) << c.name;
        // Density unit 0 states no resolution: 72 is the default.
        EXPECT_EQ(Image_getStatedResolution(h), std::string(c.name) == "density_unit0" ? 0 : c.dpi)
            << c.name;
        EXPECT_EQ(h->image->views, nullptr) << c.name;
        ImageHandle_release(h);
    }
}

// The owner's decode list turns into a table on the components; one pair
// (1, 0) on a grey image inverts it. A list of another length is ignored.
TEST_F(JpegTest, TheDecodeListMapsTheComponents)
{
    makeCodecStore(Codec_jpegDescriptor);
    RgbaAnswer a = readRgbaAnswer("jpeg/grey.rgba");
    JpegHookAnswers invert;
    invert.decodeList = {1.0f, 0.0f};
    ImageView *view = nullptr;
    ImageHandle *h = decode("grey", &view, 0, 0, &invert);
    ASSERT_NE(view->picture, nullptr);
    int worst = 0;
    for (int32_t y = 0; y < a.height; y++)
        for (int32_t x = 0; x < a.width; x++) {
            uint8_t g = uint8_t(255 - a.at(x, y)[0]);
            const uint8_t inverted[3] = {g, g, g};
            worst =
                std::max(worst, channelDistance(pixel16(view->picture, x, y), rgbTo565(inverted)));
        }
    EXPECT_LE(worst, 1);
    ImageHandle_release(h);

    JpegHookAnswers three;
    three.decodeList = {1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f};
    h = decode("grey", &view, 0, 0, &three);
    expectClose(view, a, "a list of three pairs on a grey image");
    ImageHandle_release(h);
    // NaN and out-of-range pairs clamp instead of misbehaving.
    JpegHookAnswers odd;
    odd.decodeList = {std::nanf(""), 7.0f};
    h = decode("grey", &view, 0, 0, &odd);
    EXPECT_EQ(h->image->state, ImageState_done);
    EXPECT_EQ(pixel16(view->picture, 0, 0), 0) << "NaN gives 0";
    ImageHandle_release(h);
}

// The owner may declare the data as CMYK stored without inversion.
TEST_F(JpegTest, TheColourHintReadsCmykUninverted)
{
    makeCodecStore(Codec_jpegDescriptor);
    RgbaAnswer a = readRgbaAnswer("jpeg/cmyk_adobe.rgba");
    JpegHookAnswers hint;
    hint.colourHint = 4;
    ImageView *view = nullptr;
    ImageHandle *h = decode("cmyk_adobe", &view, 0, 0, &hint);
    ASSERT_NE(view->picture, nullptr);
    // Inverted, red is 255 - C - K; read plainly it is C + K - 255 with the
    // same stored bytes: wherever the first is clearly above 0 the second
    // clamps to 0.
    int checked = 0;
    for (int32_t y = 0; y < a.height; y++)
        for (int32_t x = 0; x < a.width; x++)
            if (a.at(x, y)[0] >= 16) {
                EXPECT_EQ(pixel16(view->picture, x, y) >> 11, 0) << x << "," << y;
                checked++;
            }
    EXPECT_GT(checked, 100);
    ImageHandle_release(h);
    // Any other answer leaves the Adobe reading.
    hint.colourHint = 3;
    h = decode("cmyk_adobe", &view, 0, 0, &hint);
    expectClose(view, a, "hint 3");
    ImageHandle_release(h);
}

// Four 8 x 8 blocks of known inks with black, as PIL writes CMYK (stored
// inverted, Adobe transform 0) and as ImageMagick writes it (YCCK, Adobe
// transform 2): every pixel within 2 steps of 5-6-5 of the multiplied inks
// (tests/fixtures/images/pictures/make_pictures.py).
TEST_F(JpegTest, CmykAndYcckFilesShowTheirInks)
{
    makeCodecStore(Codec_jpegDescriptor);
    // (255 - ink) x (255 - K) / 255 of the blocks' CMYK, left to right.
    const uint8_t expected[4][3] = {{127, 127, 127}, {107, 61, 137}, {42, 164, 195}, {216, 31, 66}};
    for (const char *name : {"cmyk_inverted", "ycck"}) {
        ImageHandle *h = openBytes(readFixture(std::string("pictures/") + name + ".jpg"));
        ImageView *view = h ? decodeAt(h->image, 0) : nullptr;
        ASSERT_NE(view, nullptr) << name;
        ASSERT_NE(view->picture, nullptr) << name;
        ASSERT_EQ(view->picture->width, 32) << name;
        ASSERT_EQ(view->picture->height, 8) << name;
        int worst = 0;
        for (int32_t y = 0; y < 8; y++)
            for (int32_t x = 0; x < 32; x++)
                worst = std::max(worst, channelDistance(pixel16(view->picture, x, y),
                                                        rgbTo565(expected[x / 8])));
        EXPECT_LE(worst, 2) << name;
        ImageHandle_release(h);
    }
}

// The EXIF orientation of an APP1 segment, in either byte order; anything
// short, damaged or out of range is 1 (as stored).
TEST(Jpeg, ExifOrientationIsReadFromTheFirstDirectory)
{
    auto exif = [](bool big, std::vector<std::array<uint32_t, 4>> entries) {
        std::string s("Exif\0\0", 6);
        auto u16 = [&](uint32_t v) {
            if (big)
                s += char(v >> 8), s += char(v & 0xFF);
            else
                s += char(v & 0xFF), s += char(v >> 8);
        };
        auto u32 = [&](uint32_t v) {
            if (big)
                u16(v >> 16), u16(v & 0xFFFF);
            else
                u16(v & 0xFFFF), u16(v >> 16);
        };
        s += big ? "MM" : "II";
        u16(42);
        u32(8);
        u16(uint32_t(entries.size()));
        for (const auto &e : entries) {
            u16(e[0]);
            u16(e[1]);
            u32(e[2]);
            u16(e[3]);
            u16(0);
        }
        u32(0);
        return s;
    };
    auto orientation = [](const std::string &s) {
        return Jpeg_exifOrientation(reinterpret_cast<const uint8_t *>(s.data()),
                                    uint32_t(s.size()));
    };
    struct Case {
        const char *what;
        std::string data;
        int32_t orientation;
    };
    std::string six = exif(true, {{0x0112, 3, 1, 6}});
    std::string badDirectory = exif(false, {{0x0112, 3, 1, 6}});
    badDirectory[6 + 4] = char(0xF0); // the directory's offset past the end
    const Case cases[] = {
        {"little-endian 8", exif(false, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, 8}}), 8},
        {"big-endian 6", six, 6},
        {"every value 1-8", exif(false, {{0x0112, 3, 1, 5}}), 5},
        {"no orientation tag", exif(false, {{0x010F, 2, 4, 0}}), 1},
        {"value 0", exif(false, {{0x0112, 3, 1, 0}}), 1},
        {"value 9", exif(false, {{0x0112, 3, 1, 9}}), 1},
        {"not a SHORT", exif(false, {{0x0112, 4, 1, 6}}), 1},
        {"two values", exif(false, {{0x0112, 3, 2, 6}}), 1},
        {"cut inside the entry", six.substr(0, six.size() - 10), 1},
        {"directory past the end", badDirectory, 1},
        {"no byte order", std::string("Exif\0\0XX\0\x2A\0\0\0\x08", 14), 1},
        {"not EXIF", std::string("Exif\0x", 6) + six.substr(6), 1},
        {"empty", std::string(), 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(orientation(c.data), c.orientation) << c.what;
}

// A 48 x 32 picture of six 16 x 16 blocks (three across, two down) with
// the EXIF orientations 1, 3, 6 and 8 shows upright: turned half round, a
// quarter clockwise and a quarter anticlockwise, its size turned with it.
// An owner that states the picture's width (as a PDF image dictionary
// does) gets the rows as stored.
TEST_F(JpegTest, TheExifOrientationTurnsThePictureUpright)
{
    makeCodecStore(Codec_jpegDescriptor);
    const uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, Y = 0xFFFF00, C = 0x00FFFF,
                   M = 0xFF00FF;
    struct Case {
        const char *name;
        int32_t columns, rows;        // in blocks
        std::vector<uint32_t> blocks; // rows from the top
    };
    const Case cases[] = {
        {"orient1", 3, 2, {R, G, B, Y, C, M}},
        {"orient3", 3, 2, {M, C, Y, B, G, R}},
        {"orient6", 2, 3, {Y, R, C, G, M, B}},
        {"orient8", 2, 3, {B, M, G, C, R, Y}},
    };
    auto check = [&](ImageHandle *h, const Case &c, const std::string &what) {
        ImageView *view = h ? decodeAt(h->image, 0) : nullptr;
        ASSERT_NE(view, nullptr) << what;
        ASSERT_NE(view->picture, nullptr) << what;
        ASSERT_EQ(view->picture->width, 16 * c.columns) << what;
        ASSERT_EQ(view->picture->height, 16 * c.rows) << what;
        EXPECT_EQ(h->image->nominalWidth, 16 * c.columns) << what;
        for (int32_t by = 0; by < c.rows; by++)
            for (int32_t bx = 0; bx < c.columns; bx++) {
                uint32_t rgb = c.blocks[size_t(by * c.columns + bx)];
                const uint8_t want[3] = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
                // Each block's inside, clear of the edges between blocks.
                int worst = 0;
                for (int32_t y = 16 * by + 3; y < 16 * by + 13; y++)
                    for (int32_t x = 16 * bx + 3; x < 16 * bx + 13; x++)
                        worst = std::max(
                            worst, channelDistance(pixel16(view->picture, x, y), rgbTo565(want)));
                EXPECT_LE(worst, 2) << what << " block " << bx << "," << by;
            }
    };
    for (const Case &c : cases) {
        ImageHandle *h = openBytes(readFixture(std::string("pictures/") + c.name + ".jpg"));
        check(h, c, c.name);
        ImageHandle_release(h);
        // Reduced by the library, the turn is the same.
        h = openBytes(readFixture(std::string("pictures/") + c.name + ".jpg"));
        ImageView *half = h ? decodeAt(h->image, 1) : nullptr;
        ASSERT_NE(half, nullptr);
        ASSERT_NE(half->picture, nullptr);
        EXPECT_EQ(half->picture->width, 8 * c.columns) << c.name << " at half size";
        EXPECT_EQ(half->picture->height, 8 * c.rows) << c.name << " at half size";
        ImageHandle_release(h);
        // A sixteenth: the library's eighth and a halving of the store's
        // own, one pixel per block.
        h = openBytes(readFixture(std::string("pictures/") + c.name + ".jpg"));
        ImageView *tiny = h ? decodeAt(h->image, 4) : nullptr;
        ASSERT_NE(tiny, nullptr);
        ASSERT_NE(tiny->picture, nullptr);
        ASSERT_EQ(tiny->picture->width, c.columns) << c.name << " at a sixteenth";
        ASSERT_EQ(tiny->picture->height, c.rows) << c.name << " at a sixteenth";
        for (int32_t i = 0; i < c.columns * c.rows; i++) {
            uint32_t rgb = c.blocks[size_t(i)];
            const uint8_t want[3] = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
            EXPECT_LE(channelDistance(pixel16(tiny->picture, i % c.columns, i / c.columns),
                                      rgbTo565(want)),
                      2)
                << c.name << " at a sixteenth, block " << i;
        }
        ImageHandle_release(h);
    }
    HookAnswers owner;
    owner.setInt(Jpeg_opOwnerWidth, 48);
    ImageHandle *h = openBytes(readFixture("pictures/orient6.jpg"), 0, answeringHook, &owner);
    check(h, cases[0], "orient6 with an owner's width");
    ImageHandle_release(h);
}

// An asynchronous pass shows a progressive file after every scan; a
// synchronous one shows it once, complete. Both end with the same pixels.
TEST_F(JpegTest, ProgressiveFilesShowEveryScanWhenAsynchronous)
{
    makeCodecStore(Codec_jpegDescriptor);
    struct Seen {
        int whole = 0;
    };
    auto ready = [](void *user, int32_t x, int32_t y, int32_t w, int32_t hgt) {
        if (x == 0 && y == 0 && w == 64 && hgt == 48)
            static_cast<Seen *>(user)->whole++;
    };
    RgbaAnswer a = readRgbaAnswer("jpeg/progressive.rgba");
    for (bool async : {false, true}) {
        Seen seen;
        ImageHandle *h = openBytes(readFixture("jpeg/progressive.jpg"));
        Image_setReadyCallbacks(h, ready, nullptr, &seen);
        seen = Seen{};
        ImageView *view = decodeAt(h->image, 0, async);
        EXPECT_EQ(h->image->state, ImageState_done);
        if (async)
            EXPECT_GE(seen.whole, 10) << "the file has ten scans";
        else
            EXPECT_EQ(seen.whole, 0);
        expectClose(view, a, async ? "asynchronous" : "synchronous");
        ImageHandle_release(h);
    }
}

// A file cut short decodes as far as its data go: the end-of-image marker
// put after the data ends it cleanly, the rest of the picture grey as the
// reference decoder leaves it.
TEST_F(JpegTest, AFileCutShortDecodesAsFarAsItGoes)
{
    makeCodecStore(Codec_jpegDescriptor);
    for (size_t step : {size_t(0), size_t(64)}) {
        ImageView *view = nullptr;
        ImageHandle *h = decode("cut", &view, 0, step);
        EXPECT_EQ(h->image->state, ImageState_done) << h->image->errorCode;
        expectClose(view, readRgbaAnswer("jpeg/cut.rgba"), "cut short");
        ImageHandle_release(h);
    }
}

TEST_F(JpegTest, BrokenFilesAndUnsupportedFormatsFailWithTheirCodes)
{
    makeCodecStore(Codec_jpegDescriptor);
    ImageView *view = nullptr;
    ImageHandle *h = decode("rubbish", &view);
    EXPECT_EQ(h->image->state, ImageState_failed);
    EXPECT_EQ(h->image->errorCode, Res_jpegLibrary);
    ImageHandle_release(h);
    // A stream error met while refilling is the result.
    std::string data = readFixture("jpeg/baseline.jpg");
    ByteStream *s = trickleStream(reinterpret_cast<const uint8_t *>(data.data()), 300, 100, 0x4343);
    ImageObject image{};
    EXPECT_EQ(Jpeg_readHeader(ctx, s, &image, nullptr, nullptr), 0x4343);
    (void)ByteStream_close(s);
}

// A store of 32-bit pictures gets 0x2301: the colour output writes 5-6-5
// rows only, and must never write them into 32-bit rows.
TEST_F(JpegTest, OnlyFiveSixFivePicturesAreWritten)
{
    makeCodecStore(Codec_jpegDescriptor, Pixel_formatRGBA);
    ImageView *view = nullptr;
    ImageHandle *h = decode("baseline", &view);
    EXPECT_EQ(h->image->state, ImageState_failed);
    EXPECT_EQ(h->image->errorCode, Res_jpegNoConverter);
    ImageHandle_release(h);
}

// A frame header of 65000 x 65000 pixels: the picture cannot be held at
// any level the store tries, and the decode fails as out of memory.
TEST_F(JpegTest, SizesTheHeapCannotHoldFailAsOutOfMemory)
{
    makeCodecStore(Codec_jpegDescriptor);
    for (const char *name : {"baseline", "progressive"}) {
        std::string data = readFixture("jpeg/" + std::string(name) + ".jpg");
        size_t sof = data.find(name[0] == 'b' ? "\xFF\xC0" : "\xFF\xC2");
        ASSERT_NE(sof, std::string::npos);
        for (size_t at : {sof + 5, sof + 7}) {
            data[at] = char(0xFD);
            data[at + 1] = char(0xE8);
        }
        ImageHandle *h = openBytes(data);
        ImageView *view = nullptr;
        ASSERT_EQ(ImageView_create(h->image, &view), Res_ok);
        ImageView_attach(h->image, view);
        // An asynchronous pass (a synchronous one leaves an image short of
        // memory to be tried again), retried coarser by the library's own
        // reduction only.
        h->image->state = ImageState_decoding;
        int32_t reason = 0;
        EXPECT_EQ(Image_decode(ctx, h->image, &reason, 0, 3, view), Res_ok);
        h->image->state = h->image->result;
        EXPECT_EQ(h->image->result, ImageState_failed) << name;
        EXPECT_EQ(h->image->errorCode, Res_noMemory) << name;
        EXPECT_EQ(h->image->nominalWidth, 65000) << name;
        EXPECT_EQ(h->image->levelAchieved, 3) << name;
        ImageHandle_release(h);
    }
}

// Out of memory at every allocation in turn (the library's working memory
// comes from the engine heap): a clean failure, no leak, and a retry at a
// coarser level when the picture did not fit, until the decode succeeds
// at full size.
TEST_F(JpegTest, OutOfMemoryAtEveryAllocation)
{
    makeCodecStore(Codec_jpegDescriptor);
    for (const char *name : {"progressive", "baseline"}) {
        std::string data = readFixture("jpeg/" + std::string(name) + ".jpg");
        bool full = false;
        int coarser = 0;
        for (uint64_t n = 1; n < 3000 && !full; n++) {
            ImageHandle *h = openBytes(data);
            ImageView *view = nullptr;
            ASSERT_EQ(ImageView_create(h->image, &view), Res_ok);
            ImageView_attach(h->image, view);
            Mem_failAfter(n);
            int32_t reason = 0;
            EXPECT_EQ(Image_decode(ctx, h->image, &reason, 0, 3, view), Res_ok);
            Mem_failAfter(0);
            ImageObject *image = h->image;
            // A synchronous pass that ran out of memory before the header
            // ends "done" without a picture, to be tried again.
            if (image->result == ImageState_done && view->picture) {
                if (image->levelAchieved == 0)
                    full = true;
                else
                    coarser++;
            } else if (image->result == ImageState_failed) {
                EXPECT_EQ(image->errorCode, Res_noMemory) << name << " " << n;
            } else {
                EXPECT_EQ(image->result, ImageState_done) << name << " " << n;
            }
            ImageHandle_release(h);
            EXPECT_EQ(Mem_check(), 0);
        }
        EXPECT_TRUE(full) << name;
        EXPECT_GT(coarser, 0) << name << ": some failures were retried coarser";
    }
}

// Start-up registers the built-in codecs whose decoders exist, in order,
// skipping the getters that answer null.
TEST_F(JpegTest, StartUpRegistersTheRealCodecs)
{
    setInt(nullptr, "DynamicSubsampling", 1);
    baseline = TestHeap_usedBytes();
    ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, Pixel_format565), Res_ok);
    ASSERT_EQ(Edr_App_registerImageCodecs(ctx), Res_ok);
    std::vector<int32_t> types;
    for (ImageCodec *c : ctx->imageStore->codecs)
        if (c)
            types.push_back(c->typeId());
    ASSERT_GE(types.size(), 2u);
    auto jpeg = std::find(types.begin(), types.end(), Jpeg_typeId);
    auto png = std::find(types.begin(), types.end(), Png_typeId);
    EXPECT_NE(jpeg, types.end());
    EXPECT_NE(png, types.end());
    EXPECT_LT(jpeg, png) << "JPEG is registered before PNG";
}

} // namespace

// A picture of one scan declaring far more rows than its data holds (here
// 4,800 rows over the data of 48) decodes its data's rows, and every row
// after the shortage is the same row, as zero coefficients give; those rows
// are made without decoding them, so the cost follows the data.
TEST_F(JpegTest, RowsBeyondTheDataAreAllAlike)
{
    makeCodecStore(Codec_jpegDescriptor);
    std::string bytes = readFixture("jpeg/baseline.jpg");
    size_t frame = bytes.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    const uint32_t rows = 4800;
    bytes[frame + 5] = char(rows >> 8);
    bytes[frame + 6] = char(rows & 0xFF);
    ImageHandle *h = openBytes(bytes, 0, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    ImageView *view = decodeAt(h->image, 0, false);
    EXPECT_EQ(h->image->state, ImageState_done) << "error " << h->image->errorCode;
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->picture, nullptr);
    RgbaAnswer a = readRgbaAnswer("jpeg/baseline.rgba");
    ASSERT_EQ(view->picture->height, int32_t(rows));
    int worst = 0;
    for (int32_t y = 0; y < 8; y++)
        for (int32_t x = 0; x < a.width; x++)
            worst = std::max(worst,
                             channelDistance(pixel16(view->picture, x, y), rgbTo565(a.at(x, y))));
    EXPECT_LE(worst, 1) << "the first rows come from the data";
    for (int32_t y = 200; y < int32_t(rows); y++)
        for (int32_t x = 0; x < a.width; x++)
            ASSERT_EQ(pixel16(view->picture, x, y), pixel16(view->picture, x, 199))
                << "row " << y << ", column " << x;
    ImageHandle_release(h);
}
