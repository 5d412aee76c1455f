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
    std::string pixels;
    int32_t offsetShift = 0;       // added to the true data offset
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
        putU32(info, 2835);
        putU32(info, 2835);
        putU32(info, b.coloursUsed);
        putU32(info, 0);
        info.resize(b.headerSize, '\0');
    }
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
        "bmp_1bit",        "bmp_4bit",          "bmp_8bit",           "bmp_8bit_core",
        "bmp_8bit_v4",     "bmp_8bit_used0",    "bmp_16bit",          "bmp_16bit_bitfields",
        "bmp_24bit",       "bmp_24bit_topdown", "bmp_32bit",          "bmp_32bit_bitfields",
        "bmp_32bit_bitfields_wide", "bmp_rle8", "bmp_rle8_im",        "bmp_rle4",
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
        EXPECT_EQ(Bmp_recognise(&score, nullptr, nullptr, reinterpret_cast<const uint8_t *>(c.bytes), c.count,
                                c.flags),
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
        EXPECT_EQ(Wbmp_recognise(&score, nullptr, nullptr, c.bytes.data(), uint32_t(c.bytes.size()), 0), Res_ok);
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
        {"header size 64", [] {
             std::string s = bmpFile(small8());
             s[14] = 64;
             return s;
         }(), Res_bmpBadHeader, 0, 0},
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
            EXPECT_EQ(Bmp_decode(ctx, nullptr, &stream->base, &image, &params), Res_bmpBadSignature);
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
        BmpLayout b = rle8(std::string("\x01\x00\x00\x03\x02\x03\x01\x00\x00\x00\x06\x01\x00\x00\x00\x01", 16));
        cases.push_back({"RLE8 runs", b,
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
        cases.push_back({"RLE4 runs", b, {0x00FF00, 0xFF0000, 0xFFFFFF, 0x00FF00, 0xFF0000, 0x0000FF}});
    }
    for (const Case &c : cases) {
        Answer shown;
        EXPECT_EQ(decode(bmpFile(c.layout), &shown), Res_ok) << c.what;
        ASSERT_EQ(shown.rgb.size(), c.pixels.size()) << c.what;
        for (size_t i = 0; i < c.pixels.size(); i++)
            EXPECT_EQ(shown.rgb[i], c.pixels[i]) << c.what << " pixel " << i;
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
        {"a pair after the last row", bmpFile(rle8(std::string("\x04\x01\x00\x00\x04\x02\x00\x00\x02\x02", 10))),
         Res_bmpBadSignature},
        {"data offset inside the headers", changed([](BmpLayout &b) { b.offsetShift = -4; }), Res_bmpNoConverter},
        {"compression 4", changed([](BmpLayout &b) { b.compression = 4; }), Res_bmpBadCompression},
        {"RLE8 with 4 bits", changed([](BmpLayout &b) { b.compression = 1, b.bits = 4; }), Res_bmpBadCompression},
        {"RLE4 with 8 bits", changed([](BmpLayout &b) { b.compression = 2; }), Res_bmpBadCompression},
        {"bit fields with 24 bits", changed([](BmpLayout &b) { b.compression = 3, b.bits = 24; }), Res_bmpBadCompression},
        {"header size 56", patched(small8(), 14, std::string("\x38", 1)), Res_bmpBadHeader},
        {"width 0", changed([](BmpLayout &b) { b.width = 0; }), Res_bmpBadHeader},
        {"width below 0", changed([](BmpLayout &b) { b.width = -2; }), Res_bmpBadHeader},
        {"height 0", changed([](BmpLayout &b) { b.height = 0; }), Res_bmpBadHeader},
        {"the lowest height", changed([](BmpLayout &b) { b.height = INT32_MIN; }), Res_bmpBadHeader},
        {"2 bits", changed([](BmpLayout &b) { b.bits = 2; }), Res_bmpBadDepth},
        {"0 bits", changed([](BmpLayout &b) { b.bits = 0; }), Res_bmpBadDepth},
        {"pixel data cut short", whole.substr(0, whole.size() - 1), Res_bmpShortData},
        {"palette cut short", whole.substr(0, 56), Res_bmpShortData},
        {"data offset past the end", changed([](BmpLayout &b) { b.offsetShift = 100; }), Res_bmpShortData},
        {"RLE row too short", bmpFile(rle8(std::string("\x03\x01\x00\x00", 4))), Res_bmpShortData},
        {"RLE row too long is cut", bmpFile(rle8(std::string("\x09\x01\x00\x00\x04\x02\x00\x01", 8))), Res_ok},
        {"RLE ends a row early", bmpFile(rle8(std::string("\x04\x01\x00\x01", 4))), Res_bmpShortData},
        {"RLE data end before the height", bmpFile(rle8(std::string("\x04\x01\x00\x00", 4))), Res_bmpShortData},
        {"RLE absolute run cut off", bmpFile(rle8(std::string("\x00\x04\x01\x02", 4))), Res_bmpShortData},
        {"RLE after the last row: the end", bmpFile(rle8(std::string("\x04\x01\x00\x00\x04\x02\x00\x00", 8))),
         Res_ok},
        {"RLE end of bitmap at a full row", bmpFile(rle8(std::string("\x04\x01\x00\x00\x04\x02\x00\x01", 8))),
         Res_ok},
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
