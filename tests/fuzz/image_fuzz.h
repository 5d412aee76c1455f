// Shared body of the image decoder fuzz targets: an engine heap and
// context with an image store (no workers, dynamic subsampling) and one
// codec registered; each input is decoded twice through the store, once
// whole in a synchronous pass and once handed out a few bytes at a time in
// an asynchronous pass at a coarser level. Either pass may fail, but never
// crash, and the heap must be exactly as before once the image is gone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "platform/vfs/imagesource.h"
#include "graphics/image.h"
#include "graphics/imagecodec.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace imagefuzz {

inline void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "image fuzz: check on line %d failed\n", line);
    abort();
}

// A source over the input whose streams hand out at most `step` bytes per
// refill.
struct Source {
    ImageSource ops;
    const uint8_t *data;
    size_t size;
    size_t step;
};

struct Stream {
    ByteStream base;
    const uint8_t *data;
    size_t size;
    size_t step;
};

inline int streamGetByte(ByteStream *s)
{
    Stream *m = reinterpret_cast<Stream *>(s);
    if (s->readPtr < s->end)
        return *s->readPtr++;
    size_t at = size_t(s->end - m->data);
    if (at >= m->size)
        return ByteStream_end;
    s->readPtr = m->data + at;
    s->end = m->data + (m->size - at < m->step ? m->size : at + m->step);
    return *s->readPtr++;
}

inline int streamSeek(ByteStream *s, uint64_t position)
{
    Stream *m = reinterpret_cast<Stream *>(s);
    if (position > m->size)
        return Res_byteStreamEnded;
    s->readPtr = s->end = m->data + position;
    return Res_ok;
}

inline int streamClose(ByteStream *s)
{
    Mem_free(s);
    return Res_ok;
}

inline int streamControl(ByteStream *s, uint32_t op, void *arg)
{
    Stream *m = reinterpret_cast<Stream *>(s);
    if (op == ByteStream_opPosition) {
        *static_cast<uint64_t *>(arg) = uint64_t(s->readPtr - m->data);
        return Res_ok;
    }
    return Res_byteStreamNoControl;
}

inline int sourceSame(EngineContext *, ImageSource *a, ImageSource *b)
{
    return a == b;
}

inline int sourceAvailable(EngineContext *, ImageSource *)
{
    return 1;
}

inline int sourceOpen(EngineContext *, ImageSource *s, ByteStream **out)
{
    Source *src = reinterpret_cast<Source *>(s);
    Stream *m = static_cast<Stream *>(Mem_calloc(1, sizeof(Stream)));
    *out = nullptr;
    if (!m)
        return Res_noMemory;
    m->data = src->data;
    m->size = src->size;
    m->step = src->step;
    m->base.getByte = streamGetByte;
    m->base.seek = streamSeek;
    m->base.close = streamClose;
    m->base.control = streamControl;
    m->base.length = src->size;
    m->base.readPtr = m->base.end = src->data;
    *out = &m->base;
    return Res_ok;
}

inline void sourceRelease(EngineContext *, ImageSource *s)
{
    Mem_free(s);
}

struct Engine {
    TestHeap heap;
    EngineContext *ctx;
};

// The engine and store, made on the first input.
inline Engine *engine(ImageCodec *(*descriptor)())
{
    static Engine e;
    static bool ready = false;
    if (ready)
        return &e;
    requireAt(TestHeap_open(&e.heap, 64u << 20, 0), __LINE__);
    e.ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    e.ctx->instance = e.heap.instance;
    e.heap.instance->context = e.ctx;
    e.ctx->config = Config_createStore(e.ctx, u"x");
    // Every setting the store reads exists from the start, so that reading
    // it later stores nothing and the heap figures compare.
    (void)Config_getIntA(e.ctx, e.ctx->config, nullptr, "Vexlan_Image_Cache_Bytes", 0);
    (void)Config_getIntA(e.ctx, e.ctx->config, u"Image", "subsample.threshold", 320);
    (void)Config_getIntA(e.ctx, e.ctx->config, nullptr, "Vexlan_maxAnimLoops", 0);
    (void)Config_getIntA(e.ctx, e.ctx->config, u"Core", "LowMemoryAnimations", 0);
    Config_setIntA(e.ctx, e.ctx->config, nullptr, "DynamicSubsampling", 1, 0);
    requireAt(ImageStore_acquire(e.ctx, ImageStore_noWorkers, Pixel_format565) == Res_ok, __LINE__);
    requireAt(Plugin_register(e.ctx, descriptor()) == Res_ok, __LINE__);
    ready = true;
    return &e;
}

// One pass over the data: open, decode at firstLevel, release.
inline void pass(EngineContext *ctx, const uint8_t *data, size_t size, size_t step, bool async,
                 int32_t firstLevel)
{
    Source *src = static_cast<Source *>(Mem_calloc(1, sizeof(Source)));
    requireAt(src != nullptr, __LINE__);
    src->data = data;
    src->size = size;
    src->step = step;
    src->ops.same = sourceSame;
    src->ops.isAvailable = sourceAvailable;
    src->ops.openStream = sourceOpen;
    src->ops.release = sourceRelease;
    ImageHandle *h = nullptr;
    requireAt(Image_open(ctx, &src->ops, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0,
                         ImageOpt_recognise | ImageOpt_neverShare, 0, &h) == Res_ok,
              __LINE__);
    ImageObject *image = h->image;
    ImageView *view = nullptr;
    requireAt(ImageView_create(image, &view) == Res_ok, __LINE__);
    ImageView_attach(image, view);
    if (async)
        image->state = ImageState_decoding;
    int32_t reason = 0;
    requireAt(Image_decode(ctx, image, &reason, firstLevel, firstLevel + 2, view) == Res_ok,
              __LINE__);
    image->state = image->result;
    if (image->result == ImageState_done && view->picture) {
        // Touch every pixel so that the sanitizers see what was written.
        uint32_t sum = 0;
        for (int32_t y = 0; y < view->picture->height; y++)
            for (int32_t x = 0; x < view->picture->width * 2; x++)
                sum += view->picture->pixels[size_t(y) * view->picture->stride + size_t(x)];
        requireAt(sum != 0xFFFFFFFFu, __LINE__);
    }
    ImageHandle_release(h);
}

inline int run(ImageCodec *(*descriptor)(), const uint8_t *data, size_t size)
{
    if (size > 32768)
        return 0;
    Engine *e = engine(descriptor);
    size_t before = TestHeap_usedBytes();
    // The data in their own block, so that reads past them are caught.
    uint8_t *copy = static_cast<uint8_t *>(malloc(size ? size : 1));
    memcpy(copy, data, size);
    pass(e->ctx, copy, size, size ? size : 1, false, 0);
    pass(e->ctx, copy, size, 1 + size % 61, true, int32_t(size % 4));
    free(copy);
    requireAt(TestHeap_usedBytes() == before, __LINE__);
    requireAt(Mem_check() == 0, __LINE__);
    return 0;
}

} // namespace imagefuzz
