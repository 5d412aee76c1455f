// A drawing-list page drawn in bands. A synthetic page of 1240 x 1754
// pixels in format 4 (5-6-5) holding one drawing list of 12,000 small
// figures spread over the whole page (stroked polylines with round joins
// and caps, filled triangles, filled and outlined boxes, outlined curves),
// as a plan or a chart drawn by a PDF page is. It is drawn through the
// display manager's 71680-byte band memory (about 29 rows a band), through
// a quarter of it (four times the bands) and through one band holding the
// whole page; each banded drawing once as the renderer draws it, keeping
// the device paths of figures that reach into the next band, and once with
// the store turned off (limit 0), every band mapping and stroking afresh.
//
// Goal: in four times the bands the store keeps the drawing at most 0.85x
// of its cost without the store, and in the default bands at most 0.95x.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawlist.h"
#include "graphics/keptpath.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "graphics/stroke.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"
#include "viewer/dispman.h"
#include "viewer/pagerender.h"

namespace {

constexpr int32_t kWidth = 1240, kHeight = 1754, kFigures = 12000;

// Page units: 1/256 pixel.
constexpr int32_t drawlistbandUnits(int32_t px)
{
    return px * 256;
}

constexpr uint32_t drawlistbandRgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255)
{
    return a << 24 | b << 16 | g << 8 | r;
}

struct DrawlistBandRandom {
    uint32_t state;
    int32_t next(int32_t below)
    {
        state = state * 1103515245u + 12345u;
        return int32_t((state >> 8) % uint32_t(below));
    }
};

struct Page {
    TestHeap heap{};
    EngineContext context{};
    std::vector<uint8_t> pixels;
    Bitmap *bitmap = nullptr;
    Edr_PageRec *chain = nullptr;
    DrawStyle style{};

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

    void add(Path *p, const DrawPaint &paint)
    {
        (void)DrawStyle_appendPath(&style, p, &paint);
        Path_destroy(p);
    }

    void build()
    {
        DrawStyle_init(&style);
        DrawlistBandRandom r{11};
        for (int i = 0; i < kFigures; i++) {
            int32_t x = 10 + r.next(kWidth - 20), y = -(10 + r.next(kHeight - 20));
            DrawPaint paint = DrawPaint_defaults;
            paint.fillColour = drawlistbandRgba(uint32_t(r.next(256)), uint32_t(r.next(256)), 120);
            paint.strokeColour = 0;
            paint.penWidth = drawlistbandUnits(1);
            Path *p = nullptr;
            (void)Path_create(&p, 0x10000);
            switch (i % 4) {
            case 0: // a polyline with round joins and caps
                paint.fillColour = 0;
                paint.strokeColour = drawlistbandRgba(uint32_t(r.next(256)), 40, 40);
                paint.penFlags = Pen_joinRound << Pen_joinShift |
                                 Pen_capRound << Pen_startCapShift |
                                 Pen_capRound << Pen_endCapShift;
                (void)Path_moveTo(p, drawlistbandUnits(x), drawlistbandUnits(y));
                for (int k = 0; k < 4; k++) {
                    x += r.next(33) - 16;
                    y += r.next(33) - 16;
                    (void)Path_lineTo(p, drawlistbandUnits(x), drawlistbandUnits(y));
                }
                break;
            case 1: // a filled triangle
                (void)Path_moveTo(p, drawlistbandUnits(x), drawlistbandUnits(y));
                (void)Path_lineTo(p, drawlistbandUnits(x + 4 + r.next(10)), drawlistbandUnits(y));
                (void)Path_lineTo(p, drawlistbandUnits(x), drawlistbandUnits(y + 4 + r.next(10)));
                (void)Path_close(p);
                break;
            case 2: { // a box, filled and outlined
                paint.strokeColour = drawlistbandRgba(0, 0, 0);
                Rect box{drawlistbandUnits(x), drawlistbandUnits(y),
                         drawlistbandUnits(x + 4 + r.next(14)),
                         drawlistbandUnits(y + 4 + r.next(14))};
                (void)Path_addRect(p, &box);
                break;
            }
            default: // an outlined curve
                paint.fillColour = 0;
                paint.strokeColour = drawlistbandRgba(20, 120, 20);
                (void)Path_moveTo(p, drawlistbandUnits(x), drawlistbandUnits(y));
                (void)Path_curveTo(p, drawlistbandUnits(x + 8), drawlistbandUnits(y + 20),
                                   drawlistbandUnits(x + 16), drawlistbandUnits(y - 20),
                                   drawlistbandUnits(x + 24), drawlistbandUnits(y));
                break;
            }
            add(p, paint);
        }
        Rect bounds{};
        (void)DrawList_bounds(&context, style.words, style.used, &bounds);
        ObjHeader *item = Obj_create(&DrawListItem_class, 0);
        DrawListItemPart *part = static_cast<DrawListItemPart *>(Obj_part(item));
        part->words = style.words;
        part->count = style.used;
        part->bounds = bounds;
        Obj_setBox(item, &bounds);
        chain = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        chain->bounds[0] = 0;
        chain->bounds[1] = drawlistbandUnits(-kHeight);
        chain->bounds[2] = drawlistbandUnits(kWidth);
        chain->bounds[3] = 0;
        for (int i = 0; i < 4; i++)
            chain->background[i] = 0xF0;
        chain->objects = item;
    }

    void draw(benchmark::State &state, uint32_t bandBytes, bool keep)
    {
        std::vector<uint8_t> memory(bandBytes);
        RenderBuffers *buffers = nullptr;
        (void)RenderBuffers_create(&context, &buffers, memory.data(), bandBytes);
        if (!keep)
            buffers->kept.limit = 0;
        Matrix m{0x100, 0, 0, 0x100, 0, kHeight};
        Rect page{0, 0, kWidth, kHeight};
        DrawFlags flags{};
        for (auto _ : state) {
            int r = PageRender_drawBanded(&context, buffers, chain, &page, nullptr, bitmap, &page,
                                          &m, &flags, nullptr, nullptr, 0);
            benchmark::DoNotOptimize(r);
        }
        state.SetItemsProcessed(int64_t(state.iterations()) * kFigures);
        RenderBuffers_free(buffers);
    }
};

Page &drawlistbandPage()
{
    static Page p;
    return p;
}

void BM_DrawListBands71680(benchmark::State &state)
{
    drawlistbandPage().draw(state, Dispman_pageBandDefault, true);
}

void BM_DrawListBands71680NotKept(benchmark::State &state)
{
    drawlistbandPage().draw(state, Dispman_pageBandDefault, false);
}

void BM_DrawListBandsQuarter(benchmark::State &state)
{
    drawlistbandPage().draw(state, Dispman_pageBandDefault / 4, true);
}

void BM_DrawListBandsQuarterNotKept(benchmark::State &state)
{
    drawlistbandPage().draw(state, Dispman_pageBandDefault / 4, false);
}

void BM_DrawListOneBand(benchmark::State &state)
{
    drawlistbandPage().draw(state, uint32_t(kWidth) * kHeight * 2, true);
}

BENCHMARK(BM_DrawListBands71680)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawListBands71680NotKept)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawListBandsQuarter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawListBandsQuarterNotKept)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawListOneBand)->Unit(benchmark::kMillisecond);

} // namespace
