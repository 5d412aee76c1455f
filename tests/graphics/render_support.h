// Shared pieces of the page rendering tests: a document engine fixture
// with helpers that build page pieces, box items, clip entries and a test
// item class that fills a path, plus pictures to draw into.
//
// Page units here are 1/256 pixel (U(px)); the page matrix {0x100, 0, 0,
// 0x100, 0, height} with a bitmap scale word of 0x10000 maps them to
// device pixels with the page's top edge at the picture's top.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "graphics/pathbounds.h"
#include "graphics/bitmap.h"
#include "graphics/boxitem.h"
#include "graphics/drawitem.h"
#include "viewer/pagerender.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "tests/document/edr_fixture.h"
#include "viewer/dispman.h"

constexpr int32_t U(int32_t px)
{
    return px * 256;
}

// 0xAABBGGRR from its channels.
constexpr uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255)
{
    return a << 24 | b << 16 | g << 8 | r;
}

// 0xAABBGGRR as 5-6-5.
constexpr uint16_t to565(uint32_t c)
{
    return uint16_t(((c & 0xFF) >> 3) << 11 | (((c >> 8) & 0xFF) >> 2) << 5 |
                    ((c >> 16) & 0xFF) >> 3);
}

// A test item class that fills a path (its own) in a colour with the
// item's matrix and origin; it counts its draws and measures its cost.
struct TestPathPart {
    Path *path;
    uint32_t colour;
    uint32_t rule;
    uint32_t cost;
    int draws;
};

inline int testPathDraw(EngineContext *, ObjHeader *item, const Rect *, const Matrix *matrix,
                        const DrawTarget *target, const DrawFlags *, intptr_t)
{
    TestPathPart *part = static_cast<TestPathPart *>(Obj_part(item));
    part->draws++;
    Matrix m = *Matrix_identity();
    m.tx = item->origin[0];
    m.ty = item->origin[1];
    if (item->matrix)
        Matrix_concat(&m, item->matrix);
    Matrix_concat(&m, matrix);
    DrawItem *d = target->bitmap->drawItem;
    d->kind = DrawItem_kindPath;
    d->shape.path = FillRequest{};
    d->shape.path.path = part->path;
    d->shape.path.s = 3;
    d->shape.path.matrix = &m;
    d->shape.path.pen.style = part->rule;
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, part->colour & 0xFFFFFF};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, part->colour >> 24};
    d->cachedRowOp = nullptr;
    return DrawItem_render(d, nullptr, nullptr, target);
}

inline int testPathMeasure(EngineContext *, ObjHeader *item, const Rect *, const Matrix *,
                           const DrawTarget *, const DrawFlags *, uint32_t *amount)
{
    *amount = static_cast<TestPathPart *>(Obj_part(item))->cost;
    return 0;
}

inline void testPathFree(ObjHeader *item)
{
    Path_destroy(static_cast<TestPathPart *>(Obj_part(item))->path);
}

inline const ObjItemOps testPathOps = {testPathDraw, testPathMeasure, nullptr, 1};
inline const ObjClass testPathClass = {&testPathOps, int32_t(sizeof(TestPathPart)), testPathFree,
                                       Obj_itemPlain};

class RenderFixture : public EdrFixture {
  protected:
    void TearDown() override
    {
        for (Bitmap *b : bitmaps)
            Bitmap_destroy(b);
        for (PixelBuf *b : bufs)
            PixelBuf_destroy(b);
        bitmaps.clear();
        bufs.clear();
        EdrFixture::TearDown();
    }

    static Path *polygon(std::initializer_list<int32_t> xy)
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, 0x10000), 0);
        const int32_t *v = xy.begin();
        EXPECT_EQ(Path_moveTo(p, v[0], v[1]), 0);
        for (size_t i = 2; i + 1 < xy.size(); i += 2) {
            EXPECT_EQ(Path_lineTo(p, v[i], v[i + 1]), 0);
        }
        EXPECT_EQ(Path_close(p), 0);
        return p;
    }
    static Path *rectPath(const Rect &r)
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, 0x10000), 0);
        EXPECT_EQ(Path_addRect(p, &r), 0);
        return p;
    }
    // An item filling path, its box the path's bounds.
    static ObjHeader *pathItem(Path *path, uint32_t colour, uint32_t cost = 1)
    {
        ObjHeader *item = Obj_create(&testPathClass, 0);
        *static_cast<TestPathPart *>(Obj_part(item)) = TestPathPart{path, colour, 0, cost, 0};
        Rect box = Rect_emptyBound;
        if (path && Edr_Draw_getBounds2(nullptr, path, &box) == 0 && box.x0 <= box.x1)
            Obj_setBox(item, &box);
        return item;
    }
    static int drawsOf(ObjHeader *item)
    {
        return static_cast<TestPathPart *>(Obj_part(item))->draws;
    }
    static ObjHeader *box(const Rect &r, uint32_t background)
    {
        ObjHeader *item = BoxItem_create(&r);
        BoxItem_part(item)->background.colour = background;
        return item;
    }
    static void borders(ObjHeader *item, uint32_t edge, uint32_t style, uint32_t colour,
                        int32_t width)
    {
        BoxItem_part(item)->borders[edge] = BoxBorder{style, colour, width};
    }
    static void allBorders(ObjHeader *item, uint32_t style, uint32_t colour, int32_t width)
    {
        for (uint32_t e = 0; e < 4; e++)
            borders(item, e, style, colour, width);
    }
    // Chains the items in order and returns the first.
    static ObjHeader *chain(std::initializer_list<ObjHeader *> items)
    {
        ObjHeader *first = nullptr, *last = nullptr;
        for (ObjHeader *i : items) {
            if (last)
                Obj_setNext(last, i);
            else
                first = i;
            last = i;
        }
        return first;
    }
    static Edr_PageRec *piece(Edr_Doc *doc, const Rect &bounds, uint32_t colour, uint32_t kind = 0)
    {
        Edr_PageRec *r = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        r->doc = doc;
        r->bounds[0] = bounds.x0;
        r->bounds[1] = bounds.y0;
        r->bounds[2] = bounds.x1;
        r->bounds[3] = bounds.y1;
        for (int i = 0; i < 4; i++)
            r->background[i] = uint8_t(colour >> (8 * i));
        r->buildState = kind;
        return r;
    }
    static ClipEntry *clipEntry(Path *path, ClipEntry *next = nullptr, uint32_t rule = 0)
    {
        ClipEntry *e = static_cast<ClipEntry *>(Mem_calloc(1, sizeof(ClipEntry)));
        e->path = path;
        e->fillRule = rule;
        e->next = next;
        return e;
    }
    // A format-4 picture (filled with fill) and a bitmap over it.
    Bitmap *picture(int32_t w, int32_t h, uint16_t fill = 0xDEAD, uint32_t format = Pixel_format565,
                    int32_t scale = 0x10000)
    {
        PixelBuf *buf = nullptr;
        EXPECT_EQ(PixelBuf_create(&buf, w, h, format, scale), 0);
        if (format == Pixel_format565 || format == Pixel_format565Alt)
            PixelBuf_fillRect(buf, 0, 0, w, h, fill);
        else
            memset(buf->pixels, 0, size_t(buf->stride) * h);
        bufs.push_back(buf);
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(ctx(), &b, buf), 0);
        bitmaps.push_back(b);
        return b;
    }
    static uint16_t at(const Bitmap *b, int32_t x, int32_t row)
    {
        return reinterpret_cast<const uint16_t *>(static_cast<const uint8_t *>(b->pixels) +
                                                  size_t(row) * b->stride)[x];
    }
    static std::vector<uint16_t> pixels(const Bitmap *b)
    {
        std::vector<uint16_t> v;
        for (int32_t y = 0; y < b->height; y++)
            for (int32_t x = 0; x < b->width; x++)
                v.push_back(at(b, x, y));
        return v;
    }
    static Matrix pageMatrix(int32_t heightPx)
    {
        return Matrix{0x100, 0, 0, 0x100, 0, heightPx};
    }

    std::vector<Bitmap *> bitmaps;
    std::vector<PixelBuf *> bufs;
};
