// The page background fill against fills computed by PIL
// (tests/fixtures/pagefill/make_pagefill_refs.py): solid page colours,
// colours with opacity and pattern pictures, into pictures of every pixel
// format the drawing code blends into; the other formats; and the
// painter's bracket and the done callback around a fill.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/geom/geom.h"
#include "core/geom/rect.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/pixelbuf.h"
#include "tests/support/heap_fixture.h"

namespace {

struct FillCase {
    std::string name;
    uint32_t format = 0;
    int32_t width = 0, height = 0;
    Rect rect{};
    uint8_t colour[4] = {};
    bool pattern = false;
    uint32_t patternFormat = 0;
    int32_t pw = 0, ph = 0, px = 0, py = 0;
    std::vector<uint32_t> patternWords, base, expect;
};

std::vector<uint32_t> words(std::istringstream &in)
{
    std::vector<uint32_t> out;
    uint32_t w;
    while (in >> w)
        out.push_back(w);
    return out;
}

std::vector<FillCase> loadCases()
{
    std::ifstream f(std::string(VEXLAN_FIXTURES) + "/pagefill/pagefill_refs.txt");
    std::vector<FillCase> cases;
    std::string line;
    FillCase c;
    while (std::getline(f, line)) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "case") {
            c = FillCase{};
            in >> c.name >> c.format >> c.width >> c.height;
        } else if (key == "rect") {
            in >> c.rect.x0 >> c.rect.y0 >> c.rect.x1 >> c.rect.y1;
        } else if (key == "colour") {
            for (uint8_t &b : c.colour) {
                int v;
                in >> v;
                b = uint8_t(v);
            }
        } else if (key == "pattern") {
            std::string kind;
            in >> kind;
            if (kind != "none") {
                c.pattern = true;
                c.patternFormat = uint32_t(std::stoul(kind));
                in >> c.pw >> c.ph >> c.px >> c.py;
                c.patternWords = words(in);
            }
        } else if (key == "base") {
            c.base = words(in);
        } else if (key == "expect") {
            c.expect = words(in);
        } else if (key == "end") {
            cases.push_back(c);
        }
    }
    return cases;
}

uint32_t bytesPer(uint32_t format)
{
    return format == Pixel_formatGrey8 ? 1 : format == Pixel_formatRGBA ? 4 : 2;
}

// Pixel words (rows top first) into rows of the format's stride.
void store(std::vector<uint8_t> &pixels, uint32_t format, int32_t width, int32_t height,
           const std::vector<uint32_t> &w)
{
    uint32_t stride = 0;
    uint64_t bytes = 0;
    ASSERT_EQ(Pixel_bufferSize(width, height, format, &stride, &bytes), 0);
    uint32_t n = bytesPer(format);
    pixels.assign(size_t(bytes), 0);
    for (size_t i = 0; i < w.size(); i++)
        for (uint32_t b = 0; b < n; b++)
            pixels[i / size_t(width) * stride + i % size_t(width) * n + b] =
                uint8_t(w[i] >> (8 * b));
}

uint32_t load(const std::vector<uint8_t> &pixels, uint32_t format, int32_t width, int32_t height,
              size_t i)
{
    uint32_t stride = 0;
    uint64_t bytes = 0;
    (void)Pixel_bufferSize(width, height, format, &stride, &bytes);
    uint32_t n = bytesPer(format), w = 0;
    for (uint32_t b = 0; b < n; b++)
        w |= uint32_t(pixels[i / size_t(width) * stride + i % size_t(width) * n + b]) << (8 * b);
    return w;
}

// The channel fields of a format: {shift, bits} three times.
void fields(uint32_t format, int out[3][2])
{
    static const int f565[3][2] = {{11, 5}, {5, 6}, {0, 5}}, f555[3][2] = {{10, 5}, {5, 5}, {0, 5}},
                     f444[3][2] = {{8, 4}, {4, 4}, {0, 4}}, f32[3][2] = {{16, 8}, {8, 8}, {0, 8}},
                     grey[3][2] = {{0, 8}, {0, 0}, {0, 0}};
    const int(*f)[2] = format == Pixel_format565                                 ? f565
                       : format == Pixel_format555 || format == Pixel_format1555 ? f555
                       : format == Pixel_format444                               ? f444
                       : format == Pixel_formatRGBA                              ? f32
                                                                                 : grey;
    for (int i = 0; i < 3; i++) {
        out[i][0] = f[i][0];
        out[i][1] = f[i][1];
    }
}

// Every channel within one step of the reference (PIL and the engine
// round differently at the last bit); the bits outside the channels, such
// as the transparency bit, exactly as before.
bool close(uint32_t format, uint32_t got, uint32_t want, int tolerance)
{
    int f[3][2];
    fields(format, f);
    uint32_t used = 0;
    for (int i = 0; i < 3; i++) {
        if (!f[i][1])
            continue;
        uint32_t mask = (1u << f[i][1]) - 1;
        used |= mask << f[i][0];
        int a = int((got >> f[i][0]) & mask), b = int((want >> f[i][0]) & mask);
        if (std::abs(a - b) > tolerance)
            return false;
    }
    if (format == Pixel_formatRGBA)
        return true; // the top byte of a picture's pixels carries no meaning
    return (got & ~used) == (want & ~used);
}

class PageFillTest : public LeakCheckedContextTest<> {};

TEST_F(PageFillTest, FillsMatchPilInTheBlendedFormats)
{
    std::vector<FillCase> cases = loadCases();
    ASSERT_EQ(cases.size(), 9u);
    for (const FillCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> pixels, patternPixels;
        store(pixels, c.format, c.width, c.height, c.base);
        Bitmap *bitmap = nullptr;
        ASSERT_EQ(
            Bitmap_createNoFlags(ctx, &bitmap, c.width, c.height, c.format, 0x10000, pixels.data()),
            0);
        Edr_PageRec page{};
        for (int i = 0; i < 4; i++)
            page.background[i] = c.colour[i];
        PixelBuf pattern{};
        Point origin{c.px, c.py};
        if (c.pattern) {
            store(patternPixels, c.patternFormat, c.pw, c.ph, c.patternWords);
            ASSERT_EQ(PixelBuf_attachPacked(&pattern, c.pw, c.ph, c.patternFormat, 0x10000,
                                            patternPixels.data()),
                      0);
        }
        EXPECT_EQ(Edr_Page_fillBackground(c.pattern ? &pattern : nullptr,
                                          c.pattern ? &origin : nullptr, nullptr, nullptr, &page,
                                          nullptr, bitmap, &c.rect, nullptr, nullptr),
                  0);
        int tolerance = 1;
        for (size_t i = 0; i < c.expect.size(); i++) {
            uint32_t got = load(pixels, c.format, c.width, c.height, i);
            EXPECT_TRUE(close(c.format, got, c.expect[i], tolerance))
                << "pixel " << i % size_t(c.width) << "," << i / size_t(c.width) << ": " << got
                << " want " << c.expect[i];
        }
        Bitmap_destroy(bitmap);
    }
}

TEST_F(PageFillTest, PicturesWithoutABlendOfTheirFormatAreLeftAlone)
{
    // Colours are blended into 5-6-5 pictures only; the other formats
    // report that no row operation serves them and keep their pixels.
    const uint32_t formats[] = {Pixel_formatGrey8, Pixel_format444, Pixel_format555,
                                Pixel_formatRGBA, Pixel_format1555};
    for (uint32_t format : formats) {
        SCOPED_TRACE(format);
        std::vector<uint8_t> pixels(4 * 16, 0x5A), before = pixels;
        Bitmap *bitmap = nullptr;
        ASSERT_EQ(Bitmap_createNoFlags(ctx, &bitmap, 4, 4, format, 0x10000, pixels.data()), 0);
        Edr_PageRec page{};
        page.background[0] = 10;
        page.background[3] = 255;
        Rect all{0, 0, 4, 4};
        EXPECT_EQ(Edr_Page_fillBackground(nullptr, nullptr, nullptr, nullptr, &page, nullptr,
                                          bitmap, &all, nullptr, nullptr),
                  265);
        EXPECT_EQ(pixels, before);
        Bitmap_destroy(bitmap);
    }
}

struct Trace {
    std::string calls;
    Rect rect{};
};

void bracket(Edr_ScreenHooks *hooks, int phase)
{
    static_cast<Trace *>(hooks->user)->calls += phase ? "end," : "begin,";
}

void done(void *argument, const Rect *rect)
{
    Trace *t = static_cast<Trace *>(argument);
    t->calls += "done,";
    t->rect = *rect;
}

TEST_F(PageFillTest, PainterBracketsTheDrawingAndDoneFollowsSuccess)
{
    std::vector<uint8_t> pixels(4 * 8, 0);
    Bitmap *bitmap = nullptr;
    ASSERT_EQ(Bitmap_createNoFlags(ctx, &bitmap, 4, 4, Pixel_format565, 0x10000, pixels.data()), 0);
    Edr_PageRec page{};
    page.background[0] = 255;
    page.background[3] = 255;
    Trace trace;
    Edr_ScreenHooks hooks{bracket, &trace};
    Rect r{1, 1, 3, 3};
    EXPECT_EQ(Edr_Page_fillBackground(nullptr, nullptr, nullptr, nullptr, &page, &hooks, bitmap, &r,
                                      done, &trace),
              0);
    EXPECT_EQ(trace.calls, "begin,end,done,");
    EXPECT_EQ(trace.rect.x0, 1);
    EXPECT_EQ(trace.rect.y1, 3);
    // A page colour without opacity draws nothing but still completes.
    page.background[3] = 0;
    std::vector<uint8_t> before = pixels;
    trace.calls.clear();
    Rect all{0, 0, 4, 4};
    EXPECT_EQ(Edr_Page_fillBackground(nullptr, nullptr, nullptr, nullptr, &page, &hooks, bitmap,
                                      &all, done, &trace),
              0);
    EXPECT_EQ(pixels, before);
    EXPECT_EQ(trace.calls, "begin,end,done,");
    // A pattern picture without pixels fails; done is not called.
    PixelBuf empty{};
    empty.width = 2;
    empty.height = 2;
    empty.format = Pixel_format565;
    page.background[3] = 255;
    trace.calls.clear();
    EXPECT_NE(Edr_Page_fillBackground(&empty, nullptr, nullptr, nullptr, &page, &hooks, bitmap,
                                      &all, done, &trace),
              0);
    EXPECT_EQ(trace.calls, "begin,end,");
    Bitmap_destroy(bitmap);
}

} // namespace
