// Laying out and drawing text pages.
//
// BM_LayoutText lays out a text document of about 1 MB (lines of 40 to 80
// characters) into its pages; BM_MeasureText measures every character of
// the same text once with TextRun_measureFit, one line-sized piece at a
// time, in the page's font and size. Goal: laying out costs at most 3x
// measuring.
//
// BM_RenderTextPage draws the first full page of that document at
// 1240 x 1754 pixels (the page fitted) through the display manager's band
// memory; bench/render_vs_pil.py compares it with PIL drawing the same
// glyph boxes in the same run (goal: within 2x). Pages per second are
// reported as a counter.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/import/plaintext.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "graphics/bitmap.h"
#include "viewer/pagerender.h"
#include "graphics/pixelbuf.h"
#include "fonts/textrun.h"
#include "layout/layout.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"
#include "viewer/dispman.h"
#include "graphics/rects.h"

namespace {

constexpr size_t kTextBytes = 1 << 20;
constexpr int32_t kPageWidth = 541983; // the text style sheet's page width
constexpr int32_t kTextSize = 7281 * 72;
constexpr int32_t kWidth = 1240, kHeight = 1754;

void onTask(TestEngine *e, std::function<void()> fn)
{
    Task *t = nullptr;
    if (Task_create(
            e->context, &t, 3, [](void *arg) { (*static_cast<std::function<void()> *>(arg))(); },
            &fn, "bench", 4096))
        return;
    Task_detach(t);
    TestEngine_runAll(e, 100000000);
}

std::string sampleText()
{
    std::string s;
    uint32_t state = 12345;
    while (s.size() < kTextBytes) {
        state = state * 1103515245u + 12345u;
        size_t length = 40 + (state >> 8) % 41;
        for (size_t i = 0; i < length; i++)
            s += (i % 6 == 5) ? ' ' : char('a' + (state >> (i % 16)) % 26);
        s += '\n';
    }
    return s;
}

void noteDrawn(void *, const Rect *) {}

struct TextDoc {
    TestEngine e{};
    Edr_HandlerDesc desc{};
    Edr_Doc *doc = nullptr;
    std::string text = sampleText();
    std::vector<uint8_t> bytes;
    bool ok = false;

    TextDoc()
    {
        TestEngine_open(&e, size_t(512) << 20);
        EngineContext *ctx = e.context;
        if (TextDoc_describe(ctx, &desc) || Worker_initPool(ctx) ||
            AppMsg_createDispatcher(ctx, &ctx->eventProc) ||
            TimerQ_startThread(ctx, ctx->eventProc))
            return;
        ctx->config = Config_createStore(ctx, u"bench");
        bytes.assign(text.begin(), text.end());
        onTask(&e, [&] {
            if (Edr_App_init(ctx, 0) || Edr_Doc_create(ctx, &doc, nullptr) ||
                Edr_Doc_setHandler(doc, &desc))
                return;
            Config_setIntA(ctx, ctx->config, u"Core", "EnableAutoDetect", 0, 0);
            VfsHandle *h = nullptr;
            uint32_t accepted = 0;
            if (Vfs_openMemory(ctx, bytes.data(), bytes.size(), 0, Vfs_modeRead | Vfs_modeSeekable,
                               &h, &accepted))
                return;
            ok = TextDoc_open(ctx, &desc, nullptr, h, doc, Edr_Doc_root(doc)) == 0;
        });
    }

    // One layout pass over every section.
    int layOut()
    {
        int err = -1;
        onTask(&e, [&] {
            for (Edr_Node *n = Edr_Node_firstChild(Edr_Doc_root(doc)); n;
                 n = Edr_Node_nextSibling(n))
                n->flags |= Edr_Node_changedBit;
            Edr_Doc_readLock(doc);
            err = Layout_document(doc);
            Edr_Doc_readUnlock(doc);
        });
        return err;
    }
};

TextDoc &document()
{
    static TextDoc d;
    return d;
}

void BM_LayoutText(benchmark::State &state)
{
    TextDoc &d = document();
    if (!d.ok) {
        state.SkipWithError("the text did not load");
        return;
    }
    for (auto _ : state)
        if (d.layOut()) {
            state.SkipWithError("layout failed");
            return;
        }
    uint32_t pages = 0;
    onTask(&d.e, [&] { Edr_Page_count(d.doc, &pages); });
    state.counters["pages"] = pages;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.text.size()));
}
BENCHMARK(BM_LayoutText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MeasureText(benchmark::State &state)
{
    TextDoc &d = document();
    std::u16string text(d.text.begin(), d.text.end());
    static constexpr const char *families[] = {"monospace"};
    FontList *fonts = nullptr;
    if (Font_listCreate(d.e.context->instance, families, 1, 0, nullptr, &fonts) || !fonts) {
        state.SkipWithError("no font list");
        return;
    }
    for (auto _ : state) {
        onTask(&d.e, [&] {
            size_t start = 0;
            while (start < text.size()) {
                size_t end = text.find(u'\n', start);
                if (end == std::u16string::npos)
                    end = text.size();
                Rect box{};
                uint32_t fitted = 0;
                (void)TextRun_measureFit(fonts, kTextSize, 0, nullptr, text.data() + start,
                                         uint32_t(end - start), 0, 0, kPageWidth, &fitted, &box);
                benchmark::DoNotOptimize(fitted);
                start = end + 1;
            }
        });
    }
    Font_listRelease(fonts);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.text.size()));
}
BENCHMARK(BM_MeasureText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderTextPage(benchmark::State &state)
{
    TextDoc &d = document();
    if (!d.ok || d.layOut()) {
        state.SkipWithError("the text did not lay out");
        return;
    }
    EngineContext *ctx = d.e.context;
    uint32_t stride = 0;
    uint64_t bytes = 0;
    Pixel_bufferSize(kWidth, kHeight, Pixel_format565, &stride, &bytes);
    std::vector<uint8_t> pixels(bytes);
    std::vector<uint8_t> band(Dispman_pageBandDefault);
    int err = 0;
    for (auto _ : state) {
        onTask(&d.e, [&] {
            int32_t key = 0;
            uint32_t kind = 0;
            Edr_PageEntry *entry = nullptr;
            err = Edr_Page_getKeyByIndex(&key, &kind, d.doc, 0);
            if (!err)
                err = Edr_Page_find(&entry, d.doc, key, kind, 0);
            if (err)
                return;
            Edr_PageRec *chain = Edr_Page_deref(entry);
            const int32_t *pr = Edr_Page_rectOrDefault(chain);
            int64_t w = int64_t(pr[2]) - pr[0], h = int64_t(pr[3]) - pr[1];
            int32_t a =
                int32_t(std::min(int64_t(kWidth) * 0x10000 / w, int64_t(kHeight) * 0x10000 / h));
            Matrix m{a, 0, 0, a, 0, kHeight};
            Bitmap *bitmap = nullptr;
            RenderBuffers *buffers = nullptr;
            err = Bitmap_create(ctx, &bitmap, kWidth, kHeight, Pixel_format565, 0x10000,
                                pixels.data(), 0);
            if (!err)
                err = RenderBuffers_create(ctx, &buffers, band.data(), uint32_t(band.size()));
            if (!err) {
                Rect page{pr[0], pr[1], pr[2], pr[3]}, device;
                Rect_toDevice(&device, &page, &m, bitmap, RectDevice_round);
                Rect clip = device, all{0, 0, kWidth, kHeight};
                Rect_intersect(&clip, &all);
                DrawFlags flags;
                DrawFlags_clear(ctx, &flags);
                flags.flags |= DrawFlags_offscreen | DrawFlags_noHighlights;
                err = PageRender_walk(ctx, chain, &m, &clip, &device, bitmap, nullptr, &flags,
                                      noteDrawn, nullptr, PageRender_drawBanded, buffers, 1, 0);
            }
            RenderBuffers_free(buffers);
            if (bitmap)
                Bitmap_destroy(bitmap);
            Edr_Page_release(entry, 0);
        });
        if (err) {
            state.SkipWithError("drawing failed");
            return;
        }
    }
    state.counters["pages_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderTextPage)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
