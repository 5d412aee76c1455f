// Fuzz target for laying out text: the input bytes are imported as a text
// document, laid out into pages, and every page is drawn by the banded
// page renderer into a 120 x 160 picture (the page fitted). Layout and
// drawing must succeed on any text, and nothing may leak once the
// document is gone.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/config/config.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "core/text/charset_cjk.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/import/plaintext.h"
#include "graphics/bitmap.h"
#include "viewer/pagerender.h"
#include "graphics/pixelbuf.h"
#include "layout/layout.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"
#include "viewer/dispman.h"
#include "graphics/rects.h"

namespace {

constexpr int32_t kWidth = 120, kHeight = 160;
// Pages drawn at most, so that one input stays quick.
constexpr uint32_t kMaxPages = 8;

using appfuzz::require;

struct Input {
    EngineContext *ctx;
    TestEngine *engine;
    const uint8_t *text;
    size_t size;
    Edr_HandlerDesc desc;
};

void noteDrawn(void *, const Rect *) {}

// Draws the page at index into a picture of its own.
void drawPage(EngineContext *ctx, Edr_Doc *doc, uint32_t index)
{
    int32_t key = 0;
    uint32_t kind = 0;
    require(Edr_Page_getKeyByIndex(&key, &kind, doc, index) == 0);
    Edr_PageEntry *entry = nullptr;
    require(Edr_Page_find(&entry, doc, key, kind, 0) == 0);
    Edr_PageRec *chain = Edr_Page_deref(entry);
    const int32_t *pr = Edr_Page_rectOrDefault(chain);
    int64_t w = int64_t(pr[2]) - pr[0], h = int64_t(pr[3]) - pr[1];
    uint32_t stride = 0;
    uint64_t bytes = 0;
    Pixel_bufferSize(kWidth, kHeight, Pixel_format565, &stride, &bytes);
    std::vector<uint8_t> pixels(bytes);
    std::vector<uint8_t> band(Dispman_pageBandDefault);
    Bitmap *bitmap = nullptr;
    require(Bitmap_create(ctx, &bitmap, kWidth, kHeight, Pixel_format565, 0x10000, pixels.data(),
                          0) == 0);
    RenderBuffers *buffers = nullptr;
    require(RenderBuffers_create(ctx, &buffers, band.data(), uint32_t(band.size())) == 0);
    int32_t a = 1;
    if (w > 0 && h > 0)
        a = int32_t(std::min(int64_t(kWidth) * 0x10000 / w, int64_t(kHeight) * 0x10000 / h));
    Matrix m{a, 0, 0, a, 0, kHeight};
    Rect page{pr[0], pr[1], pr[2], pr[3]}, device;
    Rect_toDevice(&device, &page, &m, bitmap, RectDevice_round);
    Rect clip = device, all{0, 0, kWidth, kHeight};
    Rect_intersect(&clip, &all);
    DrawFlags flags;
    DrawFlags_clear(ctx, &flags);
    flags.flags |= DrawFlags_offscreen | DrawFlags_noHighlights;
    if (clip.x0 < clip.x1 && clip.y0 < clip.y1)
        require(PageRender_walk(ctx, chain, &m, &clip, &device, bitmap, nullptr, &flags, noteDrawn,
                                nullptr, PageRender_drawBanded, buffers, 1, 0) == 0);
    RenderBuffers_free(buffers);
    Bitmap_destroy(bitmap);
    Edr_Page_release(entry, 0);
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    EngineContext *ctx = in->ctx;
    Config_setIntA(ctx, ctx->config, u"Core", "EnableAutoDetect", 0, 0);
    Config_setUstrA(ctx, ctx->config, u"Core", "DefaultCharacterSet", u"utf-8", 0);
    Edr_Doc *doc = nullptr;
    require(Edr_Doc_create(ctx, &doc, nullptr) == 0);
    require(Edr_Doc_setHandler(doc, &in->desc) == 0);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, in->text, in->size, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == 0);
    require(TextDoc_open(ctx, &in->desc, nullptr, h, doc, Edr_Doc_root(doc)) == 0);
    Edr_Doc_readLock(doc);
    int err = Layout_document(doc);
    Edr_Doc_readUnlock(doc);
    require(err == 0);
    uint32_t pages = 0;
    Edr_Page_count(doc, &pages);
    require(pages >= 1);
    for (uint32_t i = 0; i < pages && i < kMaxPages; i++)
        drawPage(ctx, doc, i);
    Edr_Doc_release(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{};
    in.ctx = engine.context;
    in.engine = &engine;
    in.text = data;
    in.size = size;
    require(TextDoc_describe(in.ctx, &in.desc) == 0);
    appfuzz::run(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}
