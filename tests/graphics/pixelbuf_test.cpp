// Pixel buffers and bitmaps: strides and sizes, views and budgets, copies
// and pastes, tiling, crop and extend, format conversion, the bitmap with
// its draw item, clip path and scratch buffers, and solid fills, each as a
// table of cases where there are several.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "tests/support/heap_fixture.h"

namespace {

class PixelTest : public LeakCheckedHeapTest<> {
  protected:
    void TearDown() override
    {
        for (PixelBuf *b : bufs)
            PixelBuf_destroy(b);
        for (Bitmap *b : bitmaps)
            Bitmap_destroy(b);
        LeakCheckedHeapTest<>::TearDown();
    }
    PixelBuf *keep(PixelBuf *b)
    {
        bufs.push_back(b);
        return b;
    }
    PixelBuf *make(int32_t w, int32_t h, uint32_t format)
    {
        PixelBuf *b = nullptr;
        EXPECT_EQ(PixelBuf_create(&b, w, h, format, 0x10000), Res_ok);
        return keep(b);
    }
    Bitmap *bitmapOver(PixelBuf *b)
    {
        Bitmap *bm = nullptr;
        EXPECT_EQ(Bitmap_createLike(nullptr, &bm, b), Res_ok);
        bitmaps.push_back(bm);
        return bm;
    }
    std::vector<PixelBuf *> bufs;
    std::vector<Bitmap *> bitmaps;
};

uint16_t px16(const PixelBuf *b, int row, int col)
{
    uint16_t v;
    memcpy(&v, b->pixels + row * b->stride + col * 2, 2);
    return v;
}

void setPx16(PixelBuf *b, int row, int col, uint16_t v)
{
    memcpy(b->pixels + row * b->stride + col * 2, &v, 2);
}

// Fills every pixel (row r, column c) of a 16-bit buffer with r * 256 + c.
void numberPixels(PixelBuf *b)
{
    for (int r = 0; r < b->height; r++)
        for (int c = 0; c < b->width; c++)
            setPx16(b, r, c, uint16_t(r * 256 + c));
}

// ------------------------------------------------------------ formats

TEST_F(PixelTest, BytesPerPixelAndNormalisedFormats)
{
    const uint32_t bytes[] = {1, 2, 2, 2, 2, 4, 4, 2};
    const uint32_t normal[] = {0, 4, 4, 4, 4, 5, 6, 7};
    for (uint32_t f = 0; f < 8; f++) {
        EXPECT_EQ(Pixel_bytesPerPixel(f), bytes[f]);
        EXPECT_EQ(Pixel_normaliseFormat(f), normal[f]);
    }
    EXPECT_EQ(Pixel_bytesPerPixel(8), 0u);
}

TEST_F(PixelTest, StridesAndSizes)
{
    struct Case {
        int32_t width, height;
        uint32_t format;
        int result;
        uint32_t stride;
        uint64_t bytes;
    } cases[] = {
        {3, 2, Pixel_format565, Res_ok, 8, 16},
        {1, 5, Pixel_formatGrey8, Res_ok, 4, 20},
        {5, 1, Pixel_formatGrey8, Res_ok, 8, 8},
        {4, 1, Pixel_formatGrey8, Res_ok, 4, 4},
        {0, 9, Pixel_format565, Res_ok, 0, 0},
        {3, 3, Pixel_format32, Res_ok, 12, 36},
        {7, 1, Pixel_format1555, Res_ok, 16, 16},
        {1, 0, Pixel_formatRGBA, Res_ok, 4, 0},
        // 64-bit arithmetic: the largest width and height give a size the
        // heap cannot hold, not a wrapped small one.
        {INT32_MAX, INT32_MAX, Pixel_formatGrey8, Res_ok, 0x80000000u, 0x80000000ull * INT32_MAX},
        {INT32_MAX, 1, Pixel_formatRGBA, Res_noMemory, 0, 0},
        {-1, 1, Pixel_format565, Res_nullInput, 0, 0},
        {1, -1, Pixel_format565, Res_nullInput, 0, 0},
        {1, 1, 8, Res_pixelUnsupported, 0, 0},
    };
    for (const Case &c : cases) {
        uint32_t stride = 99;
        uint64_t bytes = 99;
        EXPECT_EQ(Pixel_bufferSize(c.width, c.height, c.format, &stride, &bytes), c.result)
            << c.width;
        EXPECT_EQ(stride, c.stride) << c.width;
        EXPECT_EQ(bytes, c.bytes) << c.width;
    }
}

// ------------------------------------------------------------ buffers

TEST_F(PixelTest, CreateAndItsFailures)
{
    PixelBuf *b = make(3, 2, Pixel_format565);
    EXPECT_EQ(b->width, 3);
    EXPECT_EQ(b->height, 2);
    EXPECT_EQ(b->stride, 8u);
    EXPECT_EQ(b->ownsPixels, 1u);
    EXPECT_EQ(b->format, uint32_t(Pixel_format565));
    EXPECT_EQ(b->scale, 0x10000);
    EXPECT_GE(Mem_blockSize(b->pixels), 16u);

    PixelBuf *none = reinterpret_cast<PixelBuf *>(1);
    for (uint64_t n = 1; n <= 2; n++) {
        Mem_failAfter(n);
        EXPECT_EQ(PixelBuf_create(&none, 10, 10, Pixel_format565, 1), Res_noMemory);
        EXPECT_EQ(none, nullptr);
    }
    Mem_failAfter(0);
    // A size the heap cannot hold fails cleanly.
    EXPECT_EQ(PixelBuf_create(&none, INT32_MAX, INT32_MAX, Pixel_formatGrey8, 1), Res_noMemory);
    EXPECT_EQ(PixelBuf_create(&none, 0x40000000, 2, Pixel_formatRGBA, 1), Res_noMemory);
    EXPECT_EQ(PixelBuf_create(&none, -3, 2, Pixel_formatRGBA, 1), Res_nullInput);
    EXPECT_EQ(PixelBuf_create(&none, 3, 2, 9, 1), Res_pixelUnsupported);
    EXPECT_EQ(none, nullptr);
    // A buffer without pixels still has a block of its own.
    PixelBuf *empty = make(0, 0, Pixel_format565);
    EXPECT_NE(empty->pixels, nullptr);
}

TEST_F(PixelTest, ViewsAndTheirBudget)
{
    uint8_t memory[64];
    struct Case {
        int32_t width, height;
        uint32_t format;
        int32_t maxBytes;
        int result;
    } cases[] = {
        {3, 4, Pixel_format565, 32, Res_ok},              // 4 x 8 bytes, exactly the budget
        {3, 4, Pixel_format565, 31, Res_pixelOverBudget}, // one byte over
        {1, 1, Pixel_formatGrey8, 4, Res_ok},
        {1, 1, Pixel_formatGrey8, 3, Res_pixelOverBudget},
        {1, 1, Pixel_formatGrey8, -1, Res_pixelOverBudget}, // signed comparison
        {0, 0, Pixel_formatGrey8, 0, Res_ok},
        {INT32_MAX, 4, Pixel_formatGrey8, INT32_MAX,
         Res_pixelOverBudget}, // not wrapped to a small size
        {-1, 4, Pixel_formatGrey8, 100, Res_nullInput},
    };
    for (const Case &c : cases) {
        PixelBuf *v = reinterpret_cast<PixelBuf *>(1);
        EXPECT_EQ(PixelBuf_createView(&v, c.width, c.height, c.format, 7, memory, c.maxBytes),
                  c.result)
            << c.width << " x " << c.height << " budget " << c.maxBytes;
        if (c.result == Res_ok) {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v->ownsPixels, 0u);
            EXPECT_EQ(v->pixels, memory);
            EXPECT_EQ(v->scale, 7);
            keep(v);
        } else {
            EXPECT_EQ(v, nullptr);
        }
    }
    PixelBuf *ph = nullptr;
    ASSERT_EQ(PixelBuf_createPlaceholder(&ph), Res_ok);
    keep(ph);
    EXPECT_EQ(ph->width, 1);
    EXPECT_EQ(ph->format, uint32_t(Pixel_formatRGBA));
    EXPECT_EQ(ph->scale, 1);
    EXPECT_EQ(ph->pixels, nullptr);
    uint32_t colour = 0x00123456;
    EXPECT_EQ(PixelBuf_attachPacked(ph, 1, 1, Pixel_formatRGBA, 1, &colour), Res_ok);
    EXPECT_EQ(ph->stride, 4u);
    EXPECT_EQ(ph->pixels, reinterpret_cast<uint8_t *>(&colour));
}

TEST_F(PixelTest, AttachFreesOwnPixels)
{
    PixelBuf *b = make(4, 4, Pixel_format565);
    uint8_t memory[32];
    EXPECT_EQ(PixelBuf_attach(b, 2, 2, Pixel_formatGrey8, 3, memory, 16), Res_ok);
    EXPECT_EQ(b->ownsPixels, 0u); // the heap check of the fixture shows the old pixels went back
    EXPECT_EQ(b->stride, 16u);
    EXPECT_EQ(b->scale, 3);
    EXPECT_EQ(PixelBuf_attach(b, 2, 2, 8, 3, memory, 16), Res_pixelUnsupported);
    EXPECT_EQ(b->format, uint32_t(Pixel_formatGrey8));
    EXPECT_EQ(PixelBuf_attachPacked(b, 5, 1, Pixel_format565, 1, memory), Res_ok);
    EXPECT_EQ(b->stride, 12u);
    PixelBuf *w = nullptr;
    ASSERT_EQ(PixelBuf_wrap(&w, 2, 2, Pixel_format565, 1, memory, 100), Res_ok);
    keep(w);
    EXPECT_EQ(w->stride, 100u);
}

TEST_F(PixelTest, SubViewCloneCopyAndPaste)
{
    PixelBuf *b = make(6, 5, Pixel_format565);
    numberPixels(b);
    PixelBuf view;
    Rect r = {2, 1, 5, 4}; // rows counted from the top
    PixelBuf_subView(&view, b, &r);
    EXPECT_EQ(view.width, 3);
    EXPECT_EQ(view.height, 3);
    EXPECT_EQ(view.stride, b->stride);
    EXPECT_EQ(view.ownsPixels, 0u);
    EXPECT_EQ(px16(&view, 0, 0), 0x0102);

    // A clone of the view has its own packed stride and the same pixels.
    PixelBuf *c = nullptr;
    ASSERT_EQ(PixelBuf_clone(&view, &c), Res_ok);
    keep(c);
    EXPECT_EQ(c->stride, 8u);
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++)
            EXPECT_EQ(px16(c, row, col), px16(&view, row, col));
    PixelBuf *none = reinterpret_cast<PixelBuf *>(1);
    EXPECT_EQ(PixelBuf_clone(nullptr, &none), Res_ok);
    EXPECT_EQ(none, nullptr);

    // copyRect: a y-up rectangle, clipped; rows from height - y1.
    PixelBuf *d = make(6, 5, Pixel_format565);
    memset(d->pixels, 0, 5 * d->stride);
    Rect y = {4, 3, 9, 9};
    EXPECT_EQ(PixelBuf_copyRect(b, d, &y), Res_ok);
    for (int row = 0; row < 5; row++)
        for (int col = 0; col < 6; col++)
            EXPECT_EQ(px16(d, row, col), row < 2 && col >= 4 ? px16(b, row, col) : 0)
                << row << "," << col;
    EXPECT_EQ(PixelBuf_copyRect(b, d, nullptr), Res_ok);
    EXPECT_EQ(memcmp(b->pixels, d->pixels, 5 * b->stride), 0);
    PixelBuf *other = make(6, 4, Pixel_format565);
    EXPECT_EQ(PixelBuf_copyRect(b, other, nullptr), Res_nullInput); // different geometry

    // paste: clipped at every side, rows from the top.
    PixelBuf *small = make(3, 2, Pixel_format565);
    numberPixels(small);
    memset(d->pixels, 0, 5 * d->stride);
    PixelBuf_paste(small, d, -1, 4);
    EXPECT_EQ(px16(d, 4, 0), 0x0001);
    EXPECT_EQ(px16(d, 4, 1), 0x0002);
    EXPECT_EQ(px16(d, 4, 2), 0);
    EXPECT_EQ(px16(d, 3, 0), 0);
    PixelBuf_paste(small, d, 6, 0); // no overlap
    PixelBuf *grey = make(3, 2, Pixel_formatGrey8);
    PixelBuf_paste(grey, d, 0, 0); // formats differ
    EXPECT_EQ(px16(d, 0, 0), 0);
}

// --------------------------------------------------------------- tiling

TEST_F(PixelTest, TileCases)
{
    // A 2 x 2 picture of 5-6-5 pixels: 8 bytes a tile.
    PixelBuf *pic = make(2, 2, Pixel_format565);
    numberPixels(pic);
    struct Case {
        const char *name;
        int32_t countX, countY, maxBytes;
        bool withMask;
        int result;
        int32_t nx, ny, countXAfter, countYAfter;
    } cases[] = {
        {"ten across, room for four", 10, 1, 32, false, Res_ok, 4, 1, 3, 1},
        {"two across, five down, room for six", 2, 5, 48, false, Res_ok, 2, 3, 1, 2},
        {"the counts fit whole", 3, 2, 1000, false, Res_ok, 3, 2, 1, 1},
        {"one down is not repeated", 3, 1, 1000, false, Res_ok, 3, 1, 1, 1},
        {"with a mask a tile takes 8 + 8 bytes", 10, 1, 64, true, Res_ok, 4, 1, 3, 1},
        {"room for one tile", 10, 1, 15, false, Res_pixelTooFewTiles, 0, 0, 10, 1},
        {"no count", 0, 1, 1000, false, Res_nullInput, 0, 0, 0, 1},
    };
    PixelBuf *mask = make(2, 2, Pixel_formatGrey8);
    memset(mask->pixels, 0x77, 2 * mask->stride);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int32_t countX = c.countX, countY = c.countY, sizeX = 100, sizeY = 10;
        PixelBuf *outPic = reinterpret_cast<PixelBuf *>(1),
                 *outMask = reinterpret_cast<PixelBuf *>(1);
        int r = PixelBuf_tile(pic, c.withMask ? mask : nullptr, &outPic, &outMask, &countX, &countY,
                              &sizeX, &sizeY, c.maxBytes);
        ASSERT_EQ(r, c.result);
        EXPECT_EQ(countX, c.countXAfter);
        EXPECT_EQ(countY, c.countYAfter);
        if (r != Res_ok) {
            EXPECT_EQ(outPic, nullptr);
            EXPECT_EQ(outMask, nullptr);
            EXPECT_EQ(sizeX, 100);
            continue;
        }
        keep(outPic);
        EXPECT_EQ(sizeX, 100 * c.nx);
        EXPECT_EQ(sizeY, 10 * c.ny);
        ASSERT_EQ(outPic->width, 2 * c.nx);
        ASSERT_EQ(outPic->height, 2 * c.ny);
        for (int row = 0; row < outPic->height; row++)
            for (int col = 0; col < outPic->width; col++)
                EXPECT_EQ(px16(outPic, row, col), px16(pic, row % 2, col % 2));
        if (c.withMask) {
            ASSERT_NE(outMask, nullptr);
            keep(outMask);
            EXPECT_EQ(outMask->width, 2 * c.nx);
            EXPECT_EQ(outMask->pixels[outMask->stride + 2 * c.nx - 1], 0x77);
        } else {
            EXPECT_EQ(outMask, nullptr);
        }
    }
    // Missing arguments and an empty picture.
    int32_t one = 1, size = 1;
    PixelBuf *out = nullptr;
    EXPECT_EQ(PixelBuf_tile(nullptr, nullptr, &out, nullptr, &one, &one, &size, &size, 100),
              Res_nullInput);
    EXPECT_EQ(PixelBuf_tile(pic, nullptr, &out, nullptr, &one, &one, nullptr, &size, 100),
              Res_nullInput);
    PixelBuf *empty = make(0, 2, Pixel_format565);
    EXPECT_EQ(PixelBuf_tile(empty, nullptr, &out, nullptr, &one, &one, &size, &size, 100),
              Res_pixelOverBudget);
    // Out of memory at the picture or the mask: nothing made, nothing changed.
    for (uint64_t n = 1; n <= 4; n++) {
        int32_t cx = 10, cy = 1, sx = 5, sy = 5;
        PixelBuf *op = nullptr, *om = nullptr;
        Mem_failAfter(n);
        EXPECT_EQ(PixelBuf_tile(pic, mask, &op, &om, &cx, &cy, &sx, &sy, 64), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(op, nullptr);
        EXPECT_EQ(om, nullptr);
        EXPECT_EQ(cx, 10);
        EXPECT_EQ(sx, 5);
    }
}

// ---------------------------------------------------------- crop, extend

TEST_F(PixelTest, ExtendGrowsAndCrops)
{
    // A 3 x 2 picture; y-up row 0 is the bottom (memory row 1).
    PixelBuf *pic = nullptr;
    ASSERT_EQ(PixelBuf_create(&pic, 3, 2, Pixel_format565, 0x20000), Res_ok);
    numberPixels(pic); // memory row r, column c holds r * 256 + c
    // Grow by one pixel on every side, filled with white.
    Rect grow = {-1, -1, 4, 3};
    ASSERT_EQ(PixelBuf_extend(nullptr, &pic, &grow, 0x00FFFFFF), Res_ok);
    keep(pic);
    ASSERT_EQ(pic->width, 5);
    ASSERT_EQ(pic->height, 4);
    EXPECT_EQ(pic->scale, 0x20000);
    for (int row = 0; row < 4; row++)
        for (int col = 0; col < 5; col++) {
            bool inside = row >= 1 && row <= 2 && col >= 1 && col <= 3;
            EXPECT_EQ(px16(pic, row, col), inside ? uint16_t((row - 1) * 256 + col - 1) : 0xFFFF)
                << row << col;
        }
    // Crop to the top-right pixel of the original: y-up (2, 1).
    Rect crop = {3, 2, 4, 3};
    ASSERT_EQ(PixelBuf_extend(nullptr, &pic, &crop, 0), Res_ok);
    bufs.back() = pic;
    ASSERT_EQ(pic->width, 1);
    ASSERT_EQ(pic->height, 1);
    EXPECT_EQ(px16(pic, 0, 0), 0x0002);
}

TEST_F(PixelTest, ExtendReadsTheBuffersOwnStride)
{
    // A view whose rows are 16 bytes apart, wider than its packed stride
    // of 4: the old rows must be found at 16-byte steps.
    uint8_t memory[16 * 3] = {};
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 2; col++)
            memory[16 * row + col] = uint8_t(10 * row + col + 1);
    PixelBuf *v = nullptr;
    ASSERT_EQ(PixelBuf_wrap(&v, 2, 3, Pixel_formatGrey8, 1, memory, 16), Res_ok);
    Rect same = {0, 0, 2, 3};
    ASSERT_EQ(PixelBuf_extend(nullptr, &v, &same, 0), Res_ok);
    keep(v);
    EXPECT_EQ(v->stride, 4u);
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 2; col++)
            EXPECT_EQ(v->pixels[row * 4 + col], 10 * row + col + 1);
}

TEST_F(PixelTest, ExtendFailureKeepsTheOldBuffer)
{
    PixelBuf *pic = make(2, 2, Pixel_format565);
    numberPixels(pic);
    PixelBuf *before = pic;
    Rect grow = {0, 0, 4, 4};
    for (uint64_t n = 1; n <= 10; n++) {
        Mem_failAfter(n);
        int r = PixelBuf_extend(nullptr, &pic, &grow, 0);
        Mem_failAfter(0);
        if (r == Res_ok) {
            bufs.back() = pic;
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(pic, before);
        EXPECT_EQ(px16(pic, 1, 1), 0x0101);
    }
    EXPECT_EQ(pic->width, 4);
    Rect bad = {0, 0, -1, 2};
    EXPECT_EQ(PixelBuf_extend(nullptr, &pic, &bad, 0), Res_nullInput);
}

// ----------------------------------------------------------- conversion

TEST_F(PixelTest, ConvertCases)
{
    struct Case {
        const char *name;
        uint32_t from, to;
        uint32_t in; // one source pixel
        int result;
        uint32_t out; // the converted pixel
    } cases[] = {
        {"white to grey", 4, 0, 0xFFFF, Res_ok, 250},
        {"black to grey", 2, 0, 0x0000, Res_ok, 0},
        {"red to grey", 4, 0, 0xF800, Res_ok, 74},
        {"green to grey", 4, 0, 0x07E0, Res_ok, 147},
        {"white to 4-4-4", 4, 1, 0xFFFF, Res_ok, 0x0FFF},
        {"channels to 4-4-4", 2, 1, 0x8421, Res_ok, 0x0880},
        {"5-6-5 to 5-6-5", 2, 4, 0x1234, Res_ok, 0x1234},
        {"colour to 5-6-5", 6, 4, 0x00FF8040, Res_ok, 0x441F},
        {"alpha dropped", 6, 4, 0xFF000000, Res_ok, 0},
        {"green 31 becomes 63", 7, 4, 0x03E0, Res_ok, 0x07E0},
        {"green 30 becomes 60", 7, 4, 0x03C0, Res_ok, 0x0780},
        {"red and blue", 7, 4, 0x7C1F, Res_ok, 0xF81F},
        {"transparent bit dropped", 7, 4, 0x8000 | 0x0421, Res_ok, 0x0841},
        {"same format", 3, 3, 0x7FFF, Res_ok, 0x7FFF},
        {"grey to 5-6-5", 0, 4, 0, Res_pixelUnsupported, 0},
        {"colour to grey", 6, 0, 0, Res_pixelUnsupported, 0},
        {"5-5-5 to 5-6-5", 3, 4, 0, Res_pixelUnsupported, 0},
        {"5-6-5 to colour", 4, 6, 0, Res_pixelUnsupported, 0},
        {"colour to the other 5-6-5", 6, 2, 0, Res_pixelUnsupported, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PixelBuf *src = make(3, 2, c.from);
        uint32_t bpp = Pixel_bytesPerPixel(c.from);
        for (int row = 0; row < 2; row++)
            for (int col = 0; col < 3; col++)
                memcpy(src->pixels + row * src->stride + col * bpp, &c.in, bpp);
        PixelBuf *out = reinterpret_cast<PixelBuf *>(1);
        ASSERT_EQ(PixelBuf_convert(src, c.to, &out, nullptr), c.result);
        if (c.result != Res_ok) {
            EXPECT_EQ(out, nullptr);
            continue;
        }
        keep(out);
        EXPECT_EQ(out->format, c.to);
        EXPECT_EQ(out->width, 3);
        uint32_t obpp = Pixel_bytesPerPixel(c.to);
        for (int row = 0; row < 2; row++)
            for (int col = 0; col < 3; col++) {
                uint32_t v = 0;
                memcpy(&v, out->pixels + row * out->stride + col * obpp, obpp);
                EXPECT_EQ(v, c.out);
            }
    }
}

TEST_F(PixelTest, ConvertMakesTheMaskOfTransparentPixels)
{
    PixelBuf *src = make(3, 2, Pixel_format1555);
    for (int row = 0; row < 2; row++)
        for (int col = 0; col < 3; col++)
            setPx16(src, row, col, 0x7FFF);
    PixelBuf *out = nullptr, *mask = reinterpret_cast<PixelBuf *>(1);
    ASSERT_EQ(PixelBuf_convert(src, Pixel_format565, &out, &mask), Res_ok);
    keep(out);
    EXPECT_EQ(mask, nullptr); // no transparent pixel: no mask
    setPx16(src, 1, 2, 0x8000);
    ASSERT_EQ(PixelBuf_convert(src, Pixel_format565, &out, &mask), Res_ok);
    keep(out);
    ASSERT_NE(mask, nullptr);
    keep(mask);
    EXPECT_EQ(mask->format, uint32_t(Pixel_formatGrey8));
    for (int row = 0; row < 2; row++)
        for (int col = 0; col < 3; col++)
            EXPECT_EQ(mask->pixels[row * mask->stride + col], row == 1 && col == 2 ? 0 : 255);
    // Out of memory at the picture or the mask: nothing is left over.
    for (uint64_t n = 1; n <= 4; n++) {
        PixelBuf *o = nullptr, *m = nullptr;
        Mem_failAfter(n);
        EXPECT_EQ(PixelBuf_convert(src, Pixel_format565, &o, &m), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(o, nullptr);
        EXPECT_EQ(m, nullptr);
    }
}

// --------------------------------------------------------------- bitmaps

TEST_F(PixelTest, BitmapCreateWithItsDrawItemAndClipPath)
{
    uint16_t pixels[6];
    Bitmap *bm = nullptr;
    EngineContext *ctx = reinterpret_cast<EngineContext *>(&pixels[0]);
    ASSERT_EQ(Bitmap_create(ctx, &bm, 3, 2, Pixel_format565, 0x8000, pixels, 6), Res_ok);
    bitmaps.push_back(bm);
    EXPECT_EQ(bm->stride, 8u);
    EXPECT_EQ(bm->owner, ctx);
    EXPECT_EQ(bm->flags, 6u);
    ASSERT_NE(bm->drawItem, nullptr);
    EXPECT_EQ(bm->drawItem->kind, uint32_t(DrawItem_kindRect));
    EXPECT_EQ(bm->drawItem->paintKind, uint32_t(DrawItem_sourceSolid));
    EXPECT_EQ(bm->drawItem->paint.solid.format, uint32_t(Pixel_formatRGBA));
    EXPECT_EQ(bm->drawItem->paint.solid.value, 0u);
    EXPECT_EQ(bm->drawItem->maskKind, uint32_t(DrawItem_sourceSolid));
    EXPECT_EQ(bm->drawItem->mask.solid.format, uint32_t(Pixel_formatGrey8));
    EXPECT_EQ(bm->drawItem->mask.solid.value, 0u);
    EXPECT_EQ(bm->drawItem->cachedRowOp, nullptr);
    ASSERT_NE(bm->clipPath, nullptr);
    EXPECT_TRUE(Path_isEmpty(bm->clipPath));
    EXPECT_EQ(bm->clipPath->scale, 0x8000);
    EXPECT_EQ(bm->scratch[0], nullptr);

    // Every allocation failing in turn: 1 and nothing kept.
    for (uint64_t n = 1; n <= 4; n++) {
        Bitmap *none = reinterpret_cast<Bitmap *>(1);
        Mem_failAfter(n);
        EXPECT_EQ(Bitmap_create(ctx, &none, 3, 2, Pixel_format565, 1, pixels, 0), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(none, nullptr);
    }
    Bitmap *none = nullptr;
    EXPECT_EQ(Bitmap_create(ctx, &none, -1, 2, Pixel_format565, 1, pixels, 0), Res_nullInput);
    EXPECT_EQ(Bitmap_create(ctx, &none, 1, 2, 11, 1, pixels, 0), Res_pixelUnsupported);

    // Re-pointing recomputes the stride and the clip path's scale.
    uint8_t bytes[20];
    EXPECT_EQ(Bitmap_attachPixels(ctx, bm, 5, 4, Pixel_formatGrey8, 3, bytes, 0), Res_ok);
    EXPECT_EQ(bm->stride, 8u);
    EXPECT_EQ(bm->clipPath->scale, 3);
    EXPECT_EQ(bm->pixels, bytes);
    PixelBuf *wrapped = nullptr;
    ASSERT_EQ(PixelBuf_wrap(&wrapped, 2, 2, Pixel_format565, 9, bytes, 12), Res_ok);
    keep(wrapped);
    EXPECT_EQ(Bitmap_attachInfo(ctx, bm, wrapped), Res_ok);
    EXPECT_EQ(bm->stride, 12u);
    EXPECT_EQ(bm->scale, 9);
    Bitmap *like = bitmapOver(wrapped);
    EXPECT_EQ(like->stride, 12u);
    EXPECT_EQ(like->pixels, bytes);
    Bitmap *solid = nullptr;
    ASSERT_EQ(Bitmap_createSolid1x1(ctx, &solid), Res_ok);
    bitmaps.push_back(solid);
    EXPECT_EQ(solid->format, uint32_t(Pixel_formatRGBA));
    EXPECT_EQ(solid->scale, 1);
    EXPECT_EQ(solid->pixels, nullptr);
    EXPECT_EQ(Bitmap_fillColour(solid, 0), Res_pixelNoRowOp);
    Bitmap_destroy(nullptr);
}

TEST_F(PixelTest, ScratchBuffersDoubleFrom1024)
{
    Bitmap *bm = bitmapOver(make(1, 1, Pixel_format565));
    void *p = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(Bitmap_scratchBuffer(bm, 0, 10, &p, &size), Res_ok);
    EXPECT_EQ(size, 1024u);
    memset(p, 0xAB, 1024);
    ASSERT_EQ(Bitmap_scratchBuffer(bm, 0, 1024, &p, &size), Res_ok);
    EXPECT_EQ(size, 1024u);
    ASSERT_EQ(Bitmap_scratchBuffer(bm, 0, 3000, &p, &size), Res_ok);
    EXPECT_EQ(size, 4096u);
    EXPECT_EQ(static_cast<uint8_t *>(p)[1023], 0xAB); // contents kept
    // A failed growth keeps the old buffer.
    Mem_failAfter(1);
    EXPECT_EQ(Bitmap_scratchBuffer(bm, 0, 5000, &p, &size), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(bm->scratchSize[0], 4096u);
    ASSERT_NE(bm->scratch[0], nullptr);
    // The second buffer is apart; a bad index is refused.
    ASSERT_EQ(Bitmap_scratchBuffer(bm, 1, 1, &p, &size), Res_ok);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(Bitmap_scratchBuffer(bm, 2, 1, &p, &size), Res_nullInput);
    EXPECT_EQ(Bitmap_scratchFree0(bm), Res_ok);
    EXPECT_EQ(bm->scratch[0], nullptr);
    EXPECT_EQ(bm->scratchSize[0], 0u);
    EXPECT_EQ(Bitmap_scratchFree(bm, 1), Res_ok);
    EXPECT_EQ(bm->scratchSize[1], 0u);
}

// ----------------------------------------------------------------- fills

TEST_F(PixelTest, FillCases)
{
    const uint32_t white = 0x00FFFFFF;
    struct Case {
        const char *name;
        uint32_t format;
        uint32_t colourFormat, colour, alpha;
        Rect rect;
        bool whole;
        int result;
        uint32_t inside; // the value of a filled pixel (from 0)
    } cases[] = {
        {"5-6-5 from a colour", 4, 6, 0x00FF8040, 255, {}, true, Res_ok, 0x441F},
        {"alpha 254 white over black",
         4,
         6,
         white,
         254,
         {},
         true,
         Res_ok,
         (30u << 11) | (61u << 5) | 30u},
        {"the last memory row", 4, 6, white, 255, {0, 0, 4, 1}, false, Res_ok, 0xFFFF},
        {"the first memory row", 4, 6, white, 255, {0, 2, 4, 3}, false, Res_ok, 0xFFFF},
        {"a middle block", 4, 6, white, 255, {1, 1, 3, 2}, false, Res_ok, 0xFFFF},
        {"clipped to the bitmap", 4, 6, white, 255, {-5, 2, 2, 99}, false, Res_ok, 0xFFFF},
        {"an empty rectangle", 4, 6, white, 255, {2, 2, 2, 3}, false, Res_ok, 0},
        {"grey from a value", 0, 0, 200, 255, {1, 0, 3, 2}, false, Res_ok, 200},
        {"grey at alpha 128", 0, 0, 255, 128, {0, 0, 4, 3}, false, Res_ok, 128},
        {"grey from a colour", 0, 6, white, 255, {}, true, Res_pixelNoRowOp, 0},
        {"5-6-5 from 5-6-5", 4, 4, 0xFFFF, 255, {}, true, Res_pixelNoRowOp, 0},
        {"the other 5-6-5 layout", 2, 6, white, 255, {}, true, Res_pixelNoRowOp, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PixelBuf *buf = make(4, 3, c.format);
        memset(buf->pixels, 0, 3 * buf->stride);
        Bitmap *bm = bitmapOver(buf);
        ASSERT_EQ(
            Bitmap_fillGeneral(bm, c.colourFormat, c.colour, c.alpha, c.whole ? nullptr : &c.rect),
            c.result);
        Rect area = {0, 0, 4, 3};
        if (!c.whole)
            Rect_intersect(&area, &c.rect);
        uint32_t bpp = Pixel_bytesPerPixel(c.format);
        for (int row = 0; row < 3; row++)
            for (int col = 0; col < 4; col++) {
                int y = 2 - row; // y-up
                bool in = c.result == Res_ok && col >= area.x0 && col < area.x1 && y >= area.y0 &&
                          y < area.y1;
                uint32_t v = 0;
                memcpy(&v, buf->pixels + row * buf->stride + col * bpp, bpp);
                EXPECT_EQ(v, in ? c.inside : 0) << row << "," << col;
            }
    }
}

TEST_F(PixelTest, FillVariants)
{
    PixelBuf *grey = make(3, 2, Pixel_formatGrey8);
    memset(grey->pixels, 0, 2 * grey->stride);
    Bitmap *g = bitmapOver(grey);
    // The format-0 shortcut sets every byte of the rows, whatever the alpha.
    EXPECT_EQ(Bitmap_fillAlpha(g, Pixel_formatGrey8, 0x1234, 7), Res_ok);
    for (uint32_t i = 0; i < 2 * grey->stride; i++)
        EXPECT_EQ(grey->pixels[i], 0x34);
    EXPECT_EQ(Bitmap_fill(g, Pixel_formatGrey8, 9), Res_ok);
    EXPECT_EQ(grey->pixels[5], 9);
    // A colour on a format-0 bitmap: 265 and the pixels as they were.
    EXPECT_EQ(Bitmap_fillColour(g, 0x00FFFFFF), Res_pixelNoRowOp);
    EXPECT_EQ(grey->pixels[0], 9);

    PixelBuf *rgb = make(2, 2, Pixel_format565);
    memset(rgb->pixels, 0, 2 * rgb->stride);
    Bitmap *b = bitmapOver(rgb);
    Rect top = {0, 1, 2, 2};
    EXPECT_EQ(Bitmap_fillColourAlpha(b, 0x00FFFFFF, 255, &top), Res_ok);
    EXPECT_EQ(px16(rgb, 0, 0), 0xFFFF);
    EXPECT_EQ(px16(rgb, 1, 0), 0);
    EXPECT_EQ(Bitmap_fillColour(b, 0x000000FF), Res_ok);
    EXPECT_EQ(px16(rgb, 1, 1), 0xF800);

    // Through the indirect pixel pointer.
    uint8_t *rows = rgb->pixels;
    Bitmap *ind = nullptr;
    ASSERT_EQ(Bitmap_create(nullptr, &ind, 2, 2, Pixel_format565, 1, &rows, Bitmap_flagIndirect),
              Res_ok);
    bitmaps.push_back(ind);
    EXPECT_EQ(Bitmap_firstRow(ind), rows);
    EXPECT_EQ(Bitmap_fillColour(ind, 0x00FF0000), Res_ok);
    EXPECT_EQ(px16(rgb, 0, 1), 0x001F);
}

TEST_F(PixelTest, Fill16Rows)
{
    uint16_t px[4 * 3];
    for (uint16_t &p : px)
        p = 1;
    Rect r = {5, 7, 7, 9}; // 2 x 2
    Bitmap_fill16Rows(&r, 0x12345, px + 1, 2);
    std::vector<uint16_t> want = {1, 0x2345, 0x2345, 1, 1, 0x2345, 0x2345, 1, 1, 1, 1, 1};
    EXPECT_EQ(std::vector<uint16_t>(px, px + 12), want);
    Rect empty = {3, 3, 3, 9};
    Bitmap_fill16Rows(&empty, 0, px, 0);
    EXPECT_EQ(px[0], 1);
}

} // namespace
