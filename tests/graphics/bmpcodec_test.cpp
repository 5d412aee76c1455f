// The BMP and WBMP codecs: every fixture decodes to its answer in both
// picture formats, the recognisers, header reading, and every error code
// on a file made to trigger it.
#include "graphics/codecs/bmp.h"
#include "graphics/codecs/wbmp.h"
#include "tests/graphics/codec_support.h"

namespace {

// ---------------------------------------------------------- file builder

void putU16(std::string &s, uint32_t v)
{
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

void putU32(std::string &s, uint32_t v)
{
    putU16(s, v & 0xFFFF);
    putU16(s, v >> 16);
}

struct BmpLayout {
    int32_t width = 2;
    int32_t height = 2;
    uint32_t bits = 8;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t coloursUsed = 0;
    std::vector<uint32_t> palette; // 0xRRGGBB
    std::vector<uint32_t> masks;   // bit fields
    bool masksInside = false;      // the masks from byte 40 of the header, not after it
    uint32_t perMetre = 2835;      // both resolutions
    std::string pixels;
    int32_t offsetShift = 0; // added to the true data offset
};

std::string bmpFile(const BmpLayout &b)
{
    std::string info;
    putU32(info, b.headerSize);
    if (b.headerSize == 12) {
        putU16(info, uint32_t(b.width));
        putU16(info, uint32_t(b.height));
        putU16(info, 1);
        putU16(info, b.bits);
    } else {
        putU32(info, uint32_t(b.width));
        putU32(info, uint32_t(b.height));
        putU16(info, 1);
        putU16(info, b.bits);
        putU32(info, b.compression);
        putU32(info, uint32_t(b.pixels.size()));
        putU32(info, b.perMetre);
        putU32(info, b.perMetre);
        putU32(info, b.coloursUsed);
        putU32(info, 0);
        if (b.masksInside)
            for (uint32_t m : b.masks)
                putU32(info, m);
        info.resize(b.headerSize, '\0');
    }
    if (!b.masksInside)
        for (uint32_t m : b.masks)
            putU32(info, m);
    for (uint32_t c : b.palette) {
        info += char(c & 0xFF);
        info += char((c >> 8) & 0xFF);
        info += char((c >> 16) & 0xFF);
        if (b.headerSize != 12)
            info += '\0';
    }
    std::string file = "BM";
    uint32_t offset = uint32_t(14 + info.size()) + uint32_t(b.offsetShift);
    putU32(file, uint32_t(14 + info.size() + b.pixels.size()));
    putU32(file, 0);
    putU32(file, offset);
    return file + info + b.pixels;
}

// A 2 x 2 8-bit picture: palette entries 0-3 (red, green, blue, white).
BmpLayout small8()
{
    BmpLayout b;
    b.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    b.coloursUsed = 4;
    b.pixels = std::string("\x00\x01\x00\x00\x02\x03\x00\x00", 8); // bottom row first
    return b;
}

// A 4 x 2 RLE8 picture over the same palette.
BmpLayout rle8(const std::string &data)
{
    BmpLayout b = small8();
    b.width = 4;
    b.compression = 1;
    b.pixels = data;
    return b;
}

class BmpTest : public CodecFixture {
  protected:
    void makeStore(uint32_t format = Pixel_format565)
    {
        makeCodecStore(format, {Codec_bmpDescriptor, Codec_wbmpDescriptor});
    }
    // Decodes bytes: the codec's result; *picture the picture (or null).
    int decode(const std::string &bytes, Answer *shown = nullptr)
    {
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(bytes, &view);
        if (!h)
            return -1;
        if (shown && view && view->picture) {
            PixelBuf *p = view->picture;
            shown->width = p->width;
            shown->height = p->height;
            shown->rgb.clear();
            for (int32_t y = 0; y < p->height; y++)
                for (int32_t x = 0; x < p->width; x++)
                    shown->rgb.push_back(pictureAt(p, x, y));
        }
        ImageHandle_release(h);
        return lastResult();
    }
};

// ------------------------------------------------------------- fixtures

TEST_F(BmpTest, EveryFixtureDecodesToItsAnswerInBothFormats)
{
    const char *names[] = {
        "bmp_1bit",
        "bmp_4bit",
        "bmp_8bit",
        "bmp_8bit_core",
        "bmp_8bit_v4",
        "bmp_8bit_used0",
        "bmp_16bit",
        "bmp_16bit_bitfields",
        "bmp_24bit",
        "bmp_24bit_topdown",
        "bmp_32bit",
        "bmp_32bit_bitfields",
        "bmp_32bit_bitfields_wide",
        "bmp_rle8",
        "bmp_rle8_im",
        "bmp_rle4",
    };
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        for (const char *name : names) {
            Answer answer = parsePnm(readFixture(std::string(name) + ".ppm"));
            ImageView *view = nullptr;
            ImageHandle *h = decodeBytes(readFixture(std::string(name) + ".bmp"), &view);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(lastResult(), Res_ok) << name;
            EXPECT_EQ(Image_getTypeId(h->image), Bmp_typeId) << name;
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(differsFrom(view->picture, answer), "") << name << " in format " << format;
            EXPECT_EQ(view->mask, nullptr) << name << ": a BMP is opaque";
            ImageHandle_release(h);
        }
        ImageStore_release(ctx);
    }
}

TEST_F(BmpTest, EveryWbmpFixtureDecodesToItsPbm)
{
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        for (const char *name : {"wbmp_small", "wbmp_wide"}) {
            Answer answer = parsePnm(readFixture(std::string(name) + ".pbm"));
            ImageView *view = nullptr;
            ImageHandle *h = decodeBytes(readFixture(std::string(name) + ".wbmp"), &view);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(lastResult(), Res_ok) << name;
            EXPECT_EQ(Image_getTypeId(h->image), Wbmp_typeId) << name;
            EXPECT_EQ(differsFrom(view->picture, answer), "") << name << " in format " << format;
            EXPECT_EQ(view->mask, nullptr) << name;
            ImageHandle_release(h);
        }
        ImageStore_release(ctx);
    }
}

// ------------------------------------------------------------ recognition

TEST(BmpRecognise, BmScoresOnlyWithTheRecogniseFlag)
{
    struct Case {
        const char *bytes;
        uint32_t count;
        uint32_t flags;
        int32_t bmp;
    };
    const Case cases[] = {
        {"BM\x10\x00", 4, ImageDec_flagRecognise, 100},
        {"BM", 2, ImageDec_flagRecognise, 100},
        {"BA\x10\x00", 4, ImageDec_flagRecognise, 0},
        {"B", 1, ImageDec_flagRecognise, 0},
        {"BM\x10\x00", 4, 0, 0},
    };
    for (const Case &c : cases) {
        int32_t score = -1;
        EXPECT_EQ(Bmp_recognise(&score, nullptr, nullptr,
                                reinterpret_cast<const uint8_t *>(c.bytes), c.count, c.flags),
                  Res_ok);
        EXPECT_EQ(score, c.bmp) << c.bytes;
    }
}

TEST(WbmpRecognise, HeadersParseAsTheRulesSay)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
        int valid;
        int32_t width, height, length;
    };
    const Case cases[] = {
        {"two-byte width", {0x00, 0x00, 0x81, 0x00, 0x40, 0xFF}, 1, 128, 64, 5},
        {"1024 is allowed", {0x00, 0x00, 0x88, 0x00, 0x05, 0x00}, 1, 1024, 5, 5},
        {"1025 is not", {0x00, 0x00, 0x88, 0x01, 0x05, 0x00}, 0, 1, 1, 0},
        {"a third continuation byte", {0x00, 0x00, 0x81, 0x81, 0x01, 0x05}, 0, 1, 1, 0},
        {"type 1", {0x01, 0x00, 0x10, 0x10, 0x00, 0x00}, 0, 1, 1, 0},
        {"fewer than 4 bytes", {0x00, 0x00, 0x10}, 0, 1, 1, 0},
        {"the height runs out", {0x00, 0x00, 0x10, 0x81}, 0, 1, 1, 0},
        {"only 6 bytes are looked at", {0x00, 0x00, 0x81, 0x80, 0x81, 0x80, 0x01}, 0, 1, 1, 0},
        {"4 bytes are enough", {0x00, 0x00, 0x03, 0x02}, 1, 3, 2, 4},
    };
    for (const Case &c : cases) {
        WbmpHeader h;
        Wbmp_parseHeader(c.bytes.data(), uint32_t(c.bytes.size()), &h);
        EXPECT_EQ(h.valid, c.valid) << c.what;
        EXPECT_EQ(h.width, c.width) << c.what;
        EXPECT_EQ(h.height, c.height) << c.what;
        if (c.valid) {
            EXPECT_EQ(h.headerLength, c.length) << c.what;
        }
        int32_t score = -1;
        EXPECT_EQ(Wbmp_recognise(&score, nullptr, nullptr, c.bytes.data(), uint32_t(c.bytes.size()),
                                 ImageDec_flagRecognise),
                  Res_ok);
        EXPECT_EQ(score, c.valid ? 90 : 0) << c.what;
        EXPECT_EQ(
            Wbmp_recognise(&score, nullptr, nullptr, c.bytes.data(), uint32_t(c.bytes.size()), 0),
            Res_ok);
        EXPECT_EQ(score, 0) << c.what << ": no recognise flag";
    }
    int32_t score = -1;
    EXPECT_EQ(Wbmp_recognise(&score, nullptr, nullptr, nullptr, 0, ImageDec_flagRecognise), Res_ok);
    EXPECT_EQ(score, 0);
}

// ---------------------------------------------------------------- headers

TEST_F(BmpTest, ReadingTheHeaderPublishesTheSize)
{
    makeStore();
    struct Case {
        const char *what;
        std::string bytes;
        int result;
        int32_t width, height;
    };
    BmpLayout topDown = small8();
    topDown.width = 7;
    topDown.height = -5;
    BmpLayout core = small8();
    core.headerSize = 12;
    core.width = 300;
    core.height = 9;
    std::string ba = bmpFile(small8());
    ba[1] = 'A';
    const Case cases[] = {
        {"top-down: the absolute height", bmpFile(topDown), Res_ok, 7, 5},
        {"a core header", bmpFile(core), Res_ok, 300, 9},
        {"BA", ba, Res_bmpBadSignature, 0, 0},
        {"header size 16",
         [] {
             std::string s = bmpFile(small8());
             s[14] = 16;
             return s;
         }(),
         Res_bmpBadHeader, 0, 0},
        {"header size 39",
         [] {
             std::string s = bmpFile(small8());
             s[14] = 39;
             return s;
         }(),
         Res_bmpBadHeader, 0, 0},
        {"header size 65537",
         [] {
             std::string s = bmpFile(small8());
             s[14] = 1, s[16] = 1;
             return s;
         }(),
         Res_bmpBadHeader, 0, 0},
        {"cut in the header", bmpFile(small8()).substr(0, 30), Res_bmpShortData, 0, 0},
        {"cut in the file header", std::string("BM\x10", 3), Res_bmpShortData, 0, 0},
    };
    for (const Case &c : cases) {
        ImageObject image = bareImage();
        TestMemStream *stream = memStream(c.bytes);
        EXPECT_EQ(Bmp_readHeader(ctx, &stream->base, &image, nullptr, nullptr), c.result) << c.what;
        if (c.result == Res_ok) {
            EXPECT_EQ(image.nominalWidth, c.width) << c.what;
            EXPECT_EQ(image.nominalHeight, c.height) << c.what;
        }
        if (c.result == Res_bmpBadSignature) {
            // The decoder refuses it the same way.
            ASSERT_EQ(ByteStream_seek(&stream->base, 0), Res_ok);
            ImageCodecParams params{ImageDec_flagRecognise, Pixel_format565, 0, nullptr, nullptr};
            EXPECT_EQ(Bmp_decode(ctx, nullptr, &stream->base, &image, &params),
                      Res_bmpBadSignature);
        }
        (void)ByteStream_close(&stream->base);
    }
}

// ------------------------------------------------------- pixel expansion

TEST_F(BmpTest, PixelsExpandAsTheRulesSay)
{
    makeStore(Pixel_formatRGBA);
    struct Case {
        const char *what;
        BmpLayout layout;
        std::vector<uint32_t> pixels; // 0x00BBGGRR, rows from the top
    };
    std::vector<Case> cases;
    {
        BmpLayout b;
        b.width = 1;
        b.height = 1;
        b.bits = 16;
        b.pixels = std::string("\xFF\x7F\x00\x00", 4);
        cases.push_back({"16-bit 0x7FFF is F8 F8 F8", b, {0xF8F8F8}});
    }
    {
        // Bit fields of 12 bits: their top 8 bits, never a negative shift.
        BmpLayout b;
        b.width = 2;
        b.height = 1;
        b.bits = 32;
        b.compression = 3;
        b.masks = {0xFFF00000, 0x000FFF00, 0x000000FF};
        std::string px;
        putU32(px, (0xABCu << 20) | (0x123u << 8) | 0x45);
        putU32(px, (0xFFFu << 20) | (0x00Fu << 8) | 0x80);
        b.pixels = px;
        cases.push_back({"wide bit fields", b, {0x4512AB, 0x8000FF}});
    }
    {
        // A 3-bit field and an empty one.
        BmpLayout b;
        b.width = 1;
        b.height = 1;
        b.bits = 16;
        b.compression = 3;
        b.masks = {0x0007, 0x0000, 0xFF00};
        b.pixels = std::string("\x05\x9C\x00\x00", 4);
        cases.push_back({"narrow and empty fields", b, {0x9C00A0}});
    }
    {
        // Palette indices beyond the colours given are black.
        BmpLayout b = small8();
        b.palette = {0x102030, 0x405060};
        b.coloursUsed = 2;
        b.pixels = std::string("\x01\xC8\x00\x00\x00\x01\x00\x00", 8);
        cases.push_back({"indices beyond the palette", b, {0x302010, 0x605040, 0x605040, 0}});
    }
    {
        // Colours used 0 with 8 bits: 256 entries are read.
        BmpLayout b = small8();
        b.coloursUsed = 0;
        for (uint32_t i = 4; i < 256; i++)
            b.palette.push_back(i * 0x010101);
        b.pixels = std::string("\xFF\x04\x00\x00\x80\x03\x00\x00", 8);
        cases.push_back({"256 palette entries", b, {0x808080, 0xFFFFFF, 0xFFFFFF, 0x040404}});
    }
    {
        BmpLayout b = small8();
        b.height = -2;
        cases.push_back({"top-down rows", b, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}});
    }
    {
        // RLE8: a run, an absolute run of 3 (padded), an end of row, a run
        // cut at the row's end, end of row and end of bitmap.
        BmpLayout b = rle8(
            std::string("\x01\x00\x00\x03\x02\x03\x01\x00\x00\x00\x06\x01\x00\x00\x00\x01", 16));
        cases.push_back(
            {"RLE8 runs",
             b,
             {0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00, 0x0000FF, 0xFF0000, 0xFFFFFF, 0x00FF00}});
    }
    {
        // RLE4: an alternating run, an absolute run of 3 nibbles, a run of
        // one, end of bitmap.
        BmpLayout b = rle8(std::string("\x02\x12\x00\x03\x31\x20\x01\x00\x00\x01", 10));
        b.width = 6;
        b.height = 1;
        b.bits = 4;
        b.compression = 2;
        cases.push_back(
            {"RLE4 runs", b, {0x00FF00, 0xFF0000, 0xFFFFFF, 0x00FF00, 0xFF0000, 0x0000FF}});
    }
    for (const Case &c : cases) {
        Answer shown;
        EXPECT_EQ(decode(bmpFile(c.layout), &shown), Res_ok) << c.what;
        ASSERT_EQ(shown.rgb.size(), c.pixels.size()) << c.what;
        for (size_t i = 0; i < c.pixels.size(); i++)
            EXPECT_EQ(shown.rgb[i], c.pixels[i]) << c.what << " pixel " << i;
    }
}

// ------------------------------------------- longer headers and alpha

// A decoded picture in format 6 (0x00BBGGRR) with its mask, rows from the
// top; no mask: an empty vector.
struct BmpShown {
    int result = -1;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> alpha;
};

// Headers of every length from 40 bytes up read the fields they hold: the
// masks from byte 40 of a header of 52 bytes or more (not the 64-byte OS/2
// one), the alpha mask from 56; a 40-byte header with compression 6 is
// followed by four masks. Alpha stays as a mask; a narrow alpha field's
// largest value is opaque; alpha 0 everywhere is a writer that never
// filled it, shown opaque.
TEST_F(BmpTest, LongerHeadersReadTheirMasksAndAlpha)
{
    makeStore(Pixel_formatRGBA);
    auto shown = [&](const BmpLayout &b) {
        BmpShown out;
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(bmpFile(b), &view);
        out.result = lastResult();
        if (h && view && view->picture) {
            for (int32_t y = 0; y < view->picture->height; y++)
                for (int32_t x = 0; x < view->picture->width; x++) {
                    out.pixels.push_back(pictureAt(view->picture, x, y));
                    if (view->mask)
                        out.alpha.push_back(
                            view->mask->pixels[size_t(y) * view->mask->stride + size_t(x)]);
                }
        }
        ImageHandle_release(h);
        return out;
    };
    // Two 32-bit pixels 0xAARRGGBB.
    auto argb = [](uint32_t first, uint32_t second) {
        std::string px;
        putU32(px, first);
        putU32(px, second);
        return px;
    };
    auto layout = [](uint32_t headerSize, uint32_t bits, uint32_t compression,
                     std::vector<uint32_t> masks, bool inside, std::string pixels) {
        BmpLayout b;
        b.width = 2;
        b.height = 1;
        b.headerSize = headerSize;
        b.bits = bits;
        b.compression = compression;
        b.masks = std::move(masks);
        b.masksInside = inside;
        b.pixels = std::move(pixels);
        return b;
    };
    const std::vector<uint32_t> argbMasks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    const std::vector<uint32_t> rgbMasks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    struct Case {
        const char *what;
        BmpLayout layout;
        std::vector<uint32_t> pixels;
        std::vector<uint8_t> alpha; // empty: opaque, no mask
    };
    std::string px565;
    putU16(px565, 0xF800);
    putU16(px565, 0x07E0);
    px565 += std::string(2, '\0');
    std::string px1555;
    putU16(px1555, 0x8000 | 0x7C00);
    putU16(px1555, 0x001F);
    px1555 += std::string(2, '\0');
    std::string px24("\x01\x02\x03\x04\x05\x06\0\0", 8);
    const Case cases[] = {
        {"52 bytes: 5-6-5 masks inside",
         layout(52, 16, 3, {0xF800, 0x07E0, 0x001F}, true, px565),
         {0x0000F8, 0x00FC00},
         {}},
        {"56 bytes: alpha mask inside",
         layout(56, 32, 3, argbMasks, true, argb(0x80112233, 0xFF445566)),
         {0x332211, 0x665544},
         {0x80, 0xFF}},
        {"108 bytes",
         layout(108, 32, 3, argbMasks, true, argb(0x00112233, 0x40445566)),
         {0x332211, 0x665544},
         {0x00, 0x40}},
        {"124 bytes",
         layout(124, 32, 3, argbMasks, true, argb(0xFF112233, 0x01445566)),
         {0x332211, 0x665544},
         {0xFF, 0x01}},
        {"124 bytes without alpha mask",
         layout(124, 32, 3, rgbMasks, true, argb(0x80112233, 0x01445566)),
         {0x332211, 0x665544},
         {}},
        {"124 bytes, 24 bits, masks not used",
         layout(124, 24, 0, argbMasks, true, px24),
         {0x010203, 0x040506},
         {}},
        {"40 bytes, compression 6: four masks after it",
         layout(40, 32, 6, argbMasks, false, argb(0x7F112233, 0)),
         {0x332211, 0},
         {0x7F, 0}},
        {"1-bit alpha of 1-5-5-5 is opaque",
         layout(124, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, true, px1555),
         {0x0000F8, 0xF80000},
         {0xFF, 0x00}},
        {"alpha 0 everywhere shows opaque",
         layout(124, 32, 3, argbMasks, true, argb(0x00112233, 0x00445566)),
         {0x332211, 0x665544},
         {}},
        {"64 bytes (OS/2): no masks inside",
         layout(64, 24, 0, argbMasks, true, px24),
         {0x010203, 0x040506},
         {}},
    };
    for (const Case &c : cases) {
        BmpShown s = shown(c.layout);
        EXPECT_EQ(s.result, Res_ok) << c.what;
        EXPECT_EQ(s.pixels, c.pixels) << c.what;
        EXPECT_EQ(s.alpha, c.alpha) << c.what;
    }
}

// The horizontal resolution in pixels per metre is the picture's
// resolution, as PNG's pHYs is; none (or under 10 per metre) leaves the
// default 72 and states nothing.
TEST_F(BmpTest, TheResolutionFieldGivesTheResolution)
{
    makeStore();
    struct Case {
        uint32_t headerSize, perMetre;
        int32_t nominal, stated;
    };
    const Case cases[] = {
        {40, 3780, 96, 96}, {124, 5906, 150, 150}, {40, 2835, 72, 72},
        {40, 0, 72, 0},     {108, 9, 72, 0},
    };
    for (const Case &c : cases) {
        BmpLayout b = small8();
        b.headerSize = c.headerSize;
        b.perMetre = c.perMetre;
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(bmpFile(b), &view);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(lastResult(), Res_ok);
        EXPECT_EQ(h->image->nominalResolution, c.nominal) << c.headerSize << " " << c.perMetre;
        EXPECT_EQ(Image_getStatedResolution(h), c.stated) << c.headerSize << " " << c.perMetre;
        ImageHandle_release(h);
    }
    // A core header has no resolution.
    BmpLayout core = small8();
    core.headerSize = 12;
    ImageObject image = bareImage();
    TestMemStream *stream = memStream(bmpFile(core));
    EXPECT_EQ(Bmp_readHeader(ctx, &stream->base, &image, nullptr, nullptr), Res_ok);
    EXPECT_EQ(image.nominalResolution, 72);
    EXPECT_EQ(image.statedResolution, 0);
    (void)ByteStream_close(&stream->base);
}

// Files written by ImageMagick with the 124-byte header (its default):
// 24 bits at 150 dpi, 4 bits through a palette, 32-bit bit fields with
// alpha 255, 128 and 0 by row (tests/fixtures/images/pictures).
TEST_F(BmpTest, VersionFiveFilesShowTheirPixels)
{
    const uint32_t colours[3][4] = {
        {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
        {0x000000, 0xFFFF00, 0x00FFFF, 0xFF00FF},
        {0x804020, 0x208040, 0x402080, 0xC8C8C8},
    };
    const uint8_t alpha[3] = {255, 128, 0};
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        for (const char *name : {"v5_24", "v5_palette", "v5_alpha"}) {
            ImageView *view = nullptr;
            ImageHandle *h =
                decodeBytes(readFixture(std::string("pictures/") + name + ".bmp"), &view);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(lastResult(), Res_ok) << name;
            ASSERT_NE(view, nullptr);
            ASSERT_NE(view->picture, nullptr) << name;
            ASSERT_EQ(view->picture->width, 4) << name;
            ASSERT_EQ(view->picture->height, 3) << name;
            bool withAlpha = std::string(name) == "v5_alpha";
            EXPECT_EQ(view->mask != nullptr, withAlpha) << name;
            for (int32_t y = 0; y < 3; y++)
                for (int32_t x = 0; x < 4; x++) {
                    if (withAlpha && alpha[y] == 0)
                        continue; // a transparent pixel's colour is the writer's choice
                    EXPECT_EQ(pictureAt(view->picture, x, y), expectedPixel(colours[y][x], format))
                        << name << " " << x << "," << y << " in format " << format;
                    if (withAlpha) {
                        EXPECT_EQ(view->mask->pixels[size_t(y) * view->mask->stride + size_t(x)],
                                  alpha[y])
                            << name << " " << x << "," << y;
                    }
                }
            if (withAlpha) {
                EXPECT_EQ(view->mask->pixels[size_t(2) * view->mask->stride], 0)
                    << "the transparent row";
            }
            EXPECT_EQ(Image_getStatedResolution(h), std::string(name) == "v5_24" ? 149 : 0) << name;
            ImageHandle_release(h);
        }
        ImageStore_release(ctx);
    }
}

// ----------------------------------------------------------------- errors

TEST_F(BmpTest, EveryErrorOnAFileMadeForIt)
{
    makeStore();
    struct Case {
        const char *what;
        std::string bytes;
        int result;
    };
    auto patched = [](BmpLayout b, size_t at, std::string with) {
        std::string s = bmpFile(b);
        s.replace(at, with.size(), with);
        return s;
    };
    auto changed = [](auto change) {
        BmpLayout b = small8();
        change(b);
        return bmpFile(b);
    };
    std::string whole = bmpFile(small8());
    const Case cases[] = {
        {"RLE delta escape", bmpFile(rle8(std::string("\x00\x02\x01\x01", 4))), Res_bmpDeltaEscape},
        {"a pair after the last row",
         bmpFile(rle8(std::string("\x04\x01\x00\x00\x04\x02\x00\x00\x02\x02", 10))),
         Res_bmpBadSignature},
        {"data offset inside the headers", changed([](BmpLayout &b) { b.offsetShift = -4; }),
         Res_bmpNoConverter},
        {"compression 4", changed([](BmpLayout &b) { b.compression = 4; }), Res_bmpBadCompression},
        {"RLE8 with 4 bits", changed([](BmpLayout &b) { b.compression = 1, b.bits = 4; }),
         Res_bmpBadCompression},
        {"RLE4 with 8 bits", changed([](BmpLayout &b) { b.compression = 2; }),
         Res_bmpBadCompression},
        {"bit fields with 24 bits", changed([](BmpLayout &b) { b.compression = 3, b.bits = 24; }),
         Res_bmpBadCompression},
        {"header size 24", patched(small8(), 14, std::string("\x18", 1)), Res_bmpBadHeader},
        {"compression 5 (PNG inside)", changed([](BmpLayout &b) { b.compression = 5; }),
         Res_bmpBadCompression},
        {"alpha bit fields with 8 bits", changed([](BmpLayout &b) { b.compression = 6; }),
         Res_bmpBadCompression},
        {"cut inside a version 5 header",
         changed([](BmpLayout &b) { b.headerSize = 124; }).substr(0, 14 + 60), Res_bmpShortData},
        {"width 0", changed([](BmpLayout &b) { b.width = 0; }), Res_bmpBadHeader},
        {"width below 0", changed([](BmpLayout &b) { b.width = -2; }), Res_bmpBadHeader},
        {"height 0", changed([](BmpLayout &b) { b.height = 0; }), Res_bmpBadHeader},
        {"the lowest height", changed([](BmpLayout &b) { b.height = INT32_MIN; }),
         Res_bmpBadHeader},
        {"2 bits", changed([](BmpLayout &b) { b.bits = 2; }), Res_bmpBadDepth},
        {"0 bits", changed([](BmpLayout &b) { b.bits = 0; }), Res_bmpBadDepth},
        {"pixel data cut short", whole.substr(0, whole.size() - 1), Res_bmpShortData},
        {"palette cut short", whole.substr(0, 56), Res_bmpShortData},
        {"data offset past the end", changed([](BmpLayout &b) { b.offsetShift = 100; }),
         Res_bmpShortData},
        {"RLE row too short", bmpFile(rle8(std::string("\x03\x01\x00\x00", 4))), Res_bmpShortData},
        {"RLE row too long is cut",
         bmpFile(rle8(std::string("\x09\x01\x00\x00\x04\x02\x00\x01", 8))), Res_ok},
        {"RLE ends a row early", bmpFile(rle8(std::string("\x04\x01\x00\x01", 4))),
         Res_bmpShortData},
        {"RLE data end before the height", bmpFile(rle8(std::string("\x04\x01\x00\x00", 4))),
         Res_bmpShortData},
        {"RLE absolute run cut off", bmpFile(rle8(std::string("\x00\x04\x01\x02", 4))),
         Res_bmpShortData},
        {"RLE after the last row: the end",
         bmpFile(rle8(std::string("\x04\x01\x00\x00\x04\x02\x00\x00", 8))), Res_ok},
        {"RLE end of bitmap at a full row",
         bmpFile(rle8(std::string("\x04\x01\x00\x00\x04\x02\x00\x01", 8))), Res_ok},
    };
    for (const Case &c : cases) {
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(c.bytes, &view);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(lastResult(), c.result) << c.what;
        if (c.result != Res_ok) {
            EXPECT_EQ(h->image->state, ImageState_failed) << c.what;
        }
        ImageHandle_release(h);
    }
}

// No decoder trusts the sizes in a header: a picture the heap cannot hold
// fails with 1 and allocates nothing short.
TEST_F(BmpTest, SizesTheHeapCannotHoldFailWithOutOfMemory)
{
    makeStore();
    for (int32_t side : {100000, INT32_MAX}) {
        BmpLayout b;
        b.width = side;
        b.height = side;
        b.bits = 32;
        b.pixels = std::string(64, '\x55');
        EXPECT_EQ(decode(bmpFile(b)), Res_noMemory) << side;
    }
}

TEST_F(BmpTest, NoRowConverterForTheFormat)
{
    makeStore();
    ImageObject image = bareImage();
    TestMemStream *stream = memStream(bmpFile(small8()));
    ImageCodecParams params{ImageDec_flagRecognise, Pixel_format1555, 0, nullptr, nullptr};
    EXPECT_EQ(Bmp_decode(ctx, nullptr, &stream->base, &image, &params), Res_bmpNoConverter);
    ASSERT_EQ(ByteStream_seek(&stream->base, 0), Res_ok);
    EXPECT_EQ(Wbmp_decode(ctx, nullptr, &stream->base, &image, &params), Res_wbmpNoConverter);
    (void)ByteStream_close(&stream->base);
}

TEST_F(BmpTest, WbmpErrors)
{
    makeStore();
    std::string good = readFixture("wbmp_small.wbmp");
    // 21 x 11: 3 bytes a row after a 4-byte header.
    ASSERT_EQ(good.size(), 4u + 11 * 3);
    struct Case {
        const char *what;
        std::string bytes;
        int result;
    };
    std::string wide = good;
    wide[2] = char(0x88);
    wide[3] = 0x01; // width 1025
    const Case cases[] = {
        {"one row short", good.substr(0, good.size() - 3), Res_wbmpShortData},
        {"one byte short", good.substr(0, good.size() - 1), Res_wbmpShortData},
        {"a header only", good.substr(0, 4), Res_wbmpShortData},
        {"width 0", std::string("\x00\x00\x00\x02\xFF\xFF", 6), Res_imageZeroSize},
    };
    for (const Case &c : cases) {
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(c.bytes, &view);
        EXPECT_EQ(lastResult(), c.result) << c.what;
        EXPECT_EQ(h->image->state, ImageState_failed) << c.what;
        EXPECT_EQ(view->picture, nullptr) << c.what << ": nothing shows";
        ImageHandle_release(h);
    }
    // A header the recogniser refuses reaches readHeader only when asked
    // directly.
    ImageObject image = bareImage();
    TestMemStream *stream = memStream(wide);
    EXPECT_EQ(Wbmp_readHeader(ctx, &stream->base, &image, nullptr, nullptr), Res_wbmpBadHeader);
    ASSERT_EQ(ByteStream_seek(&stream->base, 0), Res_ok);
    ImageCodecParams params{ImageDec_flagRecognise, Pixel_format565, 0, nullptr, nullptr};
    EXPECT_EQ(Wbmp_decode(ctx, nullptr, &stream->base, &image, &params), Res_wbmpBadHeader);
    (void)ByteStream_close(&stream->base);
}

} // namespace
