// Banded page drawing. A synthetic page of 1240 x 1754 pixels in format 4
// (5-6-5), the size of an A4 page at 150 dpi: the page background, a grid
// of 96 box items (solid frames, and inset and outset sides), 400 small
// rectangles standing for words, 24 triangles, and a piece shown through
// two clip paths. It is drawn through the display manager's 71680-byte
// band memory and through one band holding the whole page (the same
// routine with memory for every row).
//
// Goal: banding costs at most 1.15x the whole-page drawing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "document/edr/page.h"
#include "graphics/pathbounds.h"
#include "graphics/bitmap.h"
#include "graphics/boxitem.h"
#include "graphics/drawitem.h"
#include "viewer/pagerender.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"
#include "viewer/dispman.h"

namespace {

constexpr int32_t kWidth = 1240, kHeight = 1754;

// Page units: 1/256 pixel.
constexpr int32_t U(int32_t px)
{
    return px * 256;
}

constexpr uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255)
{
    return a << 24 | b << 16 | g << 8 | r;
}

// An item that fills its path in a colour.
struct FillPart {
    Path *path;
    uint32_t colour;
};

int fillDraw(EngineContext *, ObjHeader *item, const Rect *, const Matrix *matrix,
             const DrawTarget *target, const DrawFlags *, intptr_t)
{
    FillPart *part = static_cast<FillPart *>(Obj_part(item));
    DrawItem *d = target->bitmap->drawItem;
    d->kind = DrawItem_kindPath;
    d->shape.path = FillRequest{part->path, 2, matrix, 0, {}};
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, part->colour & 0xFFFFFF};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, part->colour >> 24};
    d->cachedRowOp = nullptr;
    return DrawItem_render(d, nullptr, nullptr, target);
}

void fillFree(ObjHeader *item)
{
    Path_destroy(static_cast<FillPart *>(Obj_part(item))->path);
}

const ObjItemOps fillOps = {fillDraw, nullptr, nullptr};
const ObjClass fillClass = {&fillOps, int32_t(sizeof(FillPart)), fillFree, Obj_itemPlain};

struct Page {
    TestHeap heap{};
    EngineContext context{};
    std::vector<uint8_t> pixels;
    Bitmap *bitmap = nullptr;
    Edr_PageRec *chain = nullptr;
    ObjHeader *last = nullptr;

    Page()
    {
        TestHeap_open(&heap, size_t(64) << 20, 0);
        uint32_t stride;
        uint64_t bytes;
        Pixel_bufferSize(kWidth, kHeight, Pixel_format565, &stride, &bytes);
        pixels.assign(bytes, 0);
        (void)Bitmap_create(&context, &bitmap, kWidth, kHeight, Pixel_format565, 0x10000,
                            pixels.data(), 0);
        build();
    }

    static Edr_PageRec *piece(const Rect &r, uint32_t colour)
    {
        Edr_PageRec *p = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        p->bounds[0] = r.x0;
        p->bounds[1] = r.y0;
        p->bounds[2] = r.x1;
        p->bounds[3] = r.y1;
        for (int i = 0; i < 4; i++)
            p->background[i] = uint8_t(colour >> (8 * i));
        return p;
    }
    void add(Edr_PageRec *p, ObjHeader *item)
    {
        if (!p->objects)
            p->objects = item;
        else
            Obj_setNext(last, item);
        last = item;
    }
    static ObjHeader *fill(Path *path, uint32_t colour)
    {
        ObjHeader *item = Obj_create(&fillClass, 0);
        *static_cast<FillPart *>(Obj_part(item)) = FillPart{path, colour};
        Rect box = Rect_emptyBound;
        (void)Edr_Draw_getBounds2(nullptr, path, &box);
        Obj_setBox(item, &box);
        return item;
    }
    static Path *rect(const Rect &r)
    {
        Path *p = nullptr;
        (void)Path_create(&p, 0x10000);
        (void)Path_addRect(p, &r);
        return p;
    }
    static Path *triangle(int32_t x, int32_t y, int32_t w, int32_t h)
    {
        Path *p = nullptr;
        (void)Path_create(&p, 0x10000);
        (void)Path_moveTo(p, U(x), U(-y));
        (void)Path_lineTo(p, U(x + w), U(-y - h / 3));
        (void)Path_lineTo(p, U(x + w / 4), U(-y - h));
        (void)Path_close(p);
        return p;
    }

    void build()
    {
        const Rect all{0, U(-kHeight), U(kWidth), 0};
        const uint32_t paper = rgba(0xFA, 0xFA, 0xF5);
        chain = piece(all, paper);
        ObjHeader *background = BoxItem_create(&all);
        BoxItem_part(background)->background.colour = paper;
        add(chain, background);
        // A grid of boxes: 8 across, 12 down.
        for (int row = 0; row < 12; row++) {
            for (int col = 0; col < 8; col++) {
                Rect r{U(20 + col * 150), U(-(40 + row * 140) - 110), U(20 + col * 150 + 130),
                       U(-(40 + row * 140))};
                ObjHeader *box = BoxItem_create(&r);
                BoxItemPart *part = BoxItem_part(box);
                part->background.colour = rgba(0xE0 - row * 8, 0xF0, 0xC0 + col * 8);
                uint32_t style = (row + col) % 3 == 0   ? BorderStyle_solid
                                 : (row + col) % 3 == 1 ? BorderStyle_inset
                                                        : BorderStyle_outset;
                for (BoxBorder &b : part->borders)
                    b = BoxBorder{style, rgba(0x40, 0x50, 0x90), U(4)};
                add(chain, box);
            }
        }
        // Words: short dark rectangles along lines.
        for (int i = 0; i < 400; i++) {
            int32_t x = 30 + (i % 20) * 60, y = 60 + (i / 20) * 84;
            add(chain, fill(rect(Rect{U(x), U(-y - 12), U(x + 40 + i % 15), U(-y)}),
                            rgba(0x20, 0x20, 0x20)));
        }
        for (int i = 0; i < 24; i++)
            add(chain, fill(triangle(40 + (i % 6) * 200, 100 + (i / 6) * 400, 150, 120),
                            rgba(0xE0, 0x60, 0x20)));
        // A piece shown through two clip paths.
        Edr_PageRec *clipped = piece(Rect{U(100), U(-1500), U(1100), U(-900)}, 0);
        last = nullptr;
        add(clipped, fill(triangle(100, 900, 1000, 600), rgba(0x20, 0x60, 0xE0, 0xC0)));
        add(clipped,
            fill(rect(Rect{U(100), U(-1500), U(1100), U(-1200)}), rgba(0x60, 0xE0, 0x20, 0x80)));
        ClipEntry *second = static_cast<ClipEntry *>(Mem_calloc(1, sizeof(ClipEntry)));
        second->path = triangle(80, 880, 1100, 650);
        ClipEntry *first = static_cast<ClipEntry *>(Mem_calloc(1, sizeof(ClipEntry)));
        first->path = rect(Rect{U(150), U(-1450), U(1050), U(-950)});
        first->next = second;
        clipped->layout = first;
        chain->nextRec = clipped;
    }

    void draw(benchmark::State &state, uint32_t bandBytes)
    {
        std::vector<uint8_t> memory(bandBytes);
        RenderBuffers *buffers = nullptr;
        (void)RenderBuffers_create(&context, &buffers, memory.data(), bandBytes);
        Matrix m{0x100, 0, 0, 0x100, 0, kHeight};
        Rect page{0, 0, kWidth, kHeight};
        DrawFlags flags{};
        flags.quality[DrawQuality_box] = 10;
        for (auto _ : state) {
            int r = PageRender_drawBanded(&context, buffers, chain, &page, nullptr, bitmap, &page,
                                          &m, &flags, nullptr, nullptr, 0);
            benchmark::DoNotOptimize(r);
        }
        state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
        RenderBuffers_free(buffers);
    }
};

Page &page()
{
    static Page p;
    return p;
}

void BM_PageBanded71680(benchmark::State &state)
{
    page().draw(state, Dispman_pageBandDefault);
}

void BM_PageOneBand(benchmark::State &state)
{
    page().draw(state, uint32_t(kWidth) * kHeight * 2 * 3);
}

BENCHMARK(BM_PageBanded71680)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageOneBand)->Unit(benchmark::kMillisecond);

} // namespace
