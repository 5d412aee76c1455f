// Shared pieces of the scan conversion and draw item tests: a heap-checked
// fixture whose engine context has the identity coverage table, bitmaps
// over test-owned pixels, and paths built from point lists.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/geom/matrix.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/heap_fixture.h"

// A contour: x, y pairs.
using Contour = std::vector<int32_t>;

// Device coordinates given directly: a 1/256 matrix cancels the scale of
// 256 that a path of the bitmap's own scale gets.
constexpr Matrix deviceUnits = {0x100, 0, 0, 0x100, 0, 0};

class RasterTest : public LeakCheckedHeapTest<(16u << 20)> {
  protected:
    void SetUp() override
    {
        LeakCheckedHeapTest::SetUp();
        for (int i = 0; i < 256; i++)
            identity[i] = uint8_t(i);
        context = EngineContext{};
        context.textTone = identity;
    }
    void TearDown() override
    {
        for (Path *p : paths)
            Path_destroy(p);
        for (Bitmap *b : bitmaps)
            Bitmap_destroy(b);
        for (PixelBuf *b : bufs)
            PixelBuf_destroy(b);
        for (CrossingTable *t : tables)
            CrossingTable_free(t);
        LeakCheckedHeapTest::TearDown();
    }

    // A path of closed (or, with close false, open) polygons.
    Path *polygons(const std::vector<Contour> &contours, bool close = true, int32_t scale = 0x10000)
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, scale), Res_ok);
        paths.push_back(p);
        for (const Contour &c : contours) {
            EXPECT_EQ(Path_moveTo(p, c[0], c[1]), Res_ok);
            for (size_t i = 2; i + 1 < c.size(); i += 2) {
                EXPECT_EQ(Path_lineTo(p, c[i], c[i + 1]), Res_ok);
            }
            if (close) {
                EXPECT_EQ(Path_close(p), Res_ok);
            }
        }
        return p;
    }
    Path *emptyPath(int32_t scale = 0x10000)
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, scale), Res_ok);
        paths.push_back(p);
        return p;
    }
    // A bitmap of the format over pixels held by the test, cleared.
    Bitmap *bitmap(int32_t w, int32_t h, uint32_t format, int32_t scale = 0x10000)
    {
        PixelBuf *buf = nullptr;
        EXPECT_EQ(PixelBuf_create(&buf, w, h, format, scale), Res_ok);
        memset(buf->pixels, 0, size_t(buf->stride) * h);
        bufs.push_back(buf);
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(&context, &b, buf), Res_ok);
        bitmaps.push_back(b);
        return b;
    }
    PixelBuf *buffer(int32_t w, int32_t h, uint32_t format)
    {
        PixelBuf *buf = nullptr;
        EXPECT_EQ(PixelBuf_create(&buf, w, h, format, 0x10000), Res_ok);
        memset(buf->pixels, 0, size_t(buf->stride) * h);
        bufs.push_back(buf);
        return buf;
    }
    CrossingTable *keep(CrossingTable *t)
    {
        if (t)
            tables.push_back(t);
        return t;
    }
    static FillRequest request(const Path *path, uint32_t s, uint32_t rule,
                               const Matrix *m = &deviceUnits)
    {
        FillRequest r{};
        r.path = path;
        r.s = s;
        r.matrix = m;
        r.penKind = 0;
        r.pen.style = rule;
        return r;
    }
    // The bitmap's draw item set to fill a path with a solid paint at full
    // alpha.
    static DrawItem *pathItem(Bitmap *b, const FillRequest &req, uint32_t colourFormat,
                              uint32_t colour)
    {
        DrawItem *item = b->drawItem;
        item->kind = DrawItem_kindPath;
        item->shape.path = req;
        item->paintKind = DrawItem_sourceSolid;
        item->paint.solid = {colourFormat, colour};
        item->maskKind = DrawItem_sourceSolid;
        item->mask.solid = {Pixel_formatGrey8, 255};
        item->cachedRowOp = nullptr;
        return item;
    }
    static uint8_t pixel8(const Bitmap *b, int row, int col)
    {
        return Bitmap_firstRow(b)[row * b->stride + col];
    }
    static uint16_t pixel16(const Bitmap *b, int row, int col)
    {
        uint16_t v;
        memcpy(&v, Bitmap_firstRow(b) + row * b->stride + col * 2, 2);
        return v;
    }
    static std::vector<uint8_t> bytes(const Bitmap *b)
    {
        const uint8_t *p = Bitmap_firstRow(b);
        return std::vector<uint8_t>(p, p + size_t(b->stride) * b->height);
    }

    uint8_t identity[256];
    EngineContext context;
    std::vector<Path *> paths;
    std::vector<Bitmap *> bitmaps;
    std::vector<PixelBuf *> bufs;
    std::vector<CrossingTable *> tables;
};

// A table's rows as (x, direction) lists, for comparisons.
struct Crossing {
    uint32_t x;
    bool down; // the direction bit
    bool operator==(const Crossing &o) const
    {
        return x == o.x && down == o.down;
    }
};

inline std::vector<std::vector<Crossing>> tableRows(const CrossingTable *t)
{
    std::vector<std::vector<Crossing>> out(t->rowCount);
    for (uint32_t r = 0; r < t->rowCount; r++) {
        const uint32_t *rec = CrossingTable_row(t, r);
        for (uint32_t i = 0; i < rec[0]; i++)
            out[r].push_back(
                {rec[1 + i] & Crossing_xMask, (rec[1 + i] & Crossing_directionBit) != 0});
    }
    return out;
}
