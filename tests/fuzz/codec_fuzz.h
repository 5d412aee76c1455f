// Shared pieces of the image decoder fuzz targets: a test heap with an
// engine context, a byte stream over the input, and an image record with a
// target view outside any store, decoded synchronously so that a codec's
// decode can run on its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/image.h"
#include "graphics/imagecodec.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace codecfuzz {

inline void requireAt(bool ok, const char *target, int line)
{
    if (ok)
        return;
    fprintf(stderr, "%s: check on line %d failed\n", target, line);
    abort();
}

struct World {
    TestHeap heap;
    EngineContext *ctx;
    bool ready;
};

// The heap and context, made once.
inline EngineContext *world()
{
    static World w{};
    if (!w.ready) {
        if (!TestHeap_open(&w.heap, 64u << 20, 0))
            abort();
        w.ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        if (!w.ctx)
            abort();
        w.ctx->instance = w.heap.instance;
        w.ready = true;
    }
    return w.ctx;
}

// A stream over the caller's bytes (not copied); it can seek.
struct InputStream {
    ByteStream base;
    const uint8_t *data;
    size_t size;
};

inline int inputGetByte(ByteStream *s)
{
    if (s->readPtr < s->end)
        return *s->readPtr++;
    return ByteStream_end;
}

inline int inputSeek(ByteStream *s, uint64_t position)
{
    InputStream *in = reinterpret_cast<InputStream *>(s);
    if (position > in->size)
        return Res_byteStreamEnded;
    s->readPtr = in->data + position;
    return Res_ok;
}

inline void inputInit(InputStream *in, const uint8_t *data, size_t size)
{
    *in = InputStream{};
    in->data = data;
    in->size = size;
    in->base.getByte = inputGetByte;
    in->base.seek = inputSeek;
    in->base.length = size;
    in->base.readPtr = data;
    in->base.end = data + size;
}

// An image outside any store, decoding synchronously into its own view.
struct Target {
    ImageObject image;
    ImageView view;
};

inline void targetInit(Target *t, EngineContext *ctx, ImageHook hook, void *hookArg)
{
    t->image = ImageObject{};
    t->image.app = ctx;
    t->image.syncPass = 1;
    t->image.codecIndex = -1;
    t->image.worker = -1;
    t->image.hook = hook;
    t->image.hookArg = hookArg;
    ImageView_init(&t->view, &t->image, nullptr);
    t->image.targetView = &t->view;
}

inline void targetFree(Target *t)
{
    PixelBuf_destroy(t->image.stagingPicture);
    PixelBuf_destroy(t->image.stagingMask);
    t->image.stagingPicture = t->image.stagingMask = nullptr;
    ImageView_freeBuffers(&t->view);
}

// Runs decode over the input into a fresh target of the picture format;
// the picture, when one was made and kept, is copied to *picture (the
// caller's, width x height words).
inline int decodeInto(EngineContext *ctx, ImageCodec *codec, const uint8_t *data, size_t size,
                      uint32_t format, ImageHook hook, void *hookArg, uint32_t **picture,
                      int32_t *width, int32_t *height)
{
    InputStream in;
    inputInit(&in, data, size);
    Target t;
    targetInit(&t, ctx, hook, hookArg);
    ImageCodecParams params{ImageDec_flagRecognise, format, 0, hook, hookArg};
    int r = codec->decode(ctx, nullptr, &in.base, &t.image, &params);
    *picture = nullptr;
    *width = *height = 0;
    PixelBuf *p = t.view.picture;
    if (r == Res_ok && p) {
        *width = p->width;
        *height = p->height;
        *picture = static_cast<uint32_t *>(
            malloc(sizeof(uint32_t) * size_t(p->width) * size_t(p->height) + 1));
        for (int32_t y = 0; y < p->height; y++) {
            const uint8_t *row = p->pixels + size_t(y) * p->stride;
            for (int32_t x = 0; x < p->width; x++) {
                uint32_t v = 0;
                memcpy(&v, row + size_t(x) * Pixel_bytesPerPixel(p->format),
                       Pixel_bytesPerPixel(p->format));
                (*picture)[size_t(y) * size_t(p->width) + size_t(x)] = v;
            }
        }
    }
    targetFree(&t);
    return r;
}

inline uint32_t to565(uint32_t c)
{
    uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}

// Decodes in format 6 and in 565: the same result, and the 565 picture the
// 32-bit one converted. Nothing may leak.
inline void decodeBothFormats(const char *target, ImageCodec *codec, const uint8_t *data,
                              size_t size, ImageHook hook, void *hookArg)
{
    EngineContext *ctx = world();
    size_t before = TestHeap_usedBytes();
    uint32_t *wide = nullptr, *narrow = nullptr;
    int32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    int r1 = decodeInto(ctx, codec, data, size, Pixel_formatRGBA, hook, hookArg, &wide, &w1, &h1);
    int r2 = decodeInto(ctx, codec, data, size, Pixel_format565, hook, hookArg, &narrow, &w2, &h2);
    // The 32-bit picture needs twice the memory: only it may run out.
    if (r1 != Res_noMemory && r2 != Res_noMemory) {
        requireAt(r1 == r2, target, __LINE__);
        requireAt(w1 == w2 && h1 == h2, target, __LINE__);
    }
    if (wide && narrow) {
        for (size_t i = 0; i < size_t(w1) * size_t(h1); i++)
            requireAt(to565(wide[i]) == narrow[i], target, __LINE__);
    }
    free(wide);
    free(narrow);
    requireAt(TestHeap_usedBytes() == before, target, __LINE__);
    requireAt(Mem_check() == 0, target, __LINE__);
}

} // namespace codecfuzz
