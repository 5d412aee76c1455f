// Test support for the image store: a byte source over bytes in memory, a
// fake codec driven by the bytes of its "FAKE" pictures, and a fixture
// with an engine context, a settings store and an image store without
// workers (no scheduler, so engine locks do nothing and every image
// decodes in the test's thread).
//
// A fake picture is "FAKE", then little-endian 32-bit words: width,
// height, mode bits (FakeMode_*) and dpi. The codec decodes it into the
// image's picture: pixel (x, y) of the codec's rows is (x + 3 y) & 0xFFFF
// in 565.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "platform/vfs/imagesource.h"
#include "core/task/lock.h"
#include "graphics/image.h"
#include "graphics/imagecache.h"
#include "graphics/imagecodec.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

enum : uint32_t {
    FakeMode_banded = 1,     // whole rows in bands of 8 through the store's staging rows
    FakeMode_reduces = 2,    // can reduce by up to 3 halvings itself (decodes at the size asked)
    FakeMode_block = 4,      // waits on the gate after the header (stoppably)
    FakeMode_resize = 8,     // the first decode reports width - 1, then the real size
    FakeMode_fail = 16,      // fails with 0x2201 after the header
    FakeMode_noPicture = 32, // ends without asking for a picture
    FakeMode_mask = 64,      // asks for a mask too (filled with 0x80)
};

inline std::string fakePicture(uint32_t width, uint32_t height, uint32_t mode = 0,
                               uint32_t dpi = 72)
{
    std::string s = "FAKE";
    for (uint32_t v : {width, height, mode, dpi})
        for (int i = 0; i < 4; i++)
            s += char((v >> (8 * i)) & 0xFF);
    return s;
}

// What the fake codec saw; tests read and reset it.
struct FakeLog {
    int decodes = 0;      // decode calls begun
    int decodesEnded = 0; // decode calls returned
    int instances = 0;    // live instances
    int headersRead = 0;
    int lastResult = -1;
    int32_t decodedWidth = 0; // the picture size of the last decode
    int32_t decodedHeight = 0;
    uint32_t lastFlags = 0;
    Sem *gate = nullptr;         // FakeMode_block waits here
    Sem *reached = nullptr;      // signalled when a blocked decode waits
    std::vector<int> recognised; // type ids of the recognisers asked, in order
};

inline FakeLog &fakeLog()
{
    static FakeLog log;
    return log;
}

// ------------------------------------------------------ memory streams

struct TestMemStream {
    ByteStream base;
    const uint8_t *data;
    size_t size;
    uint32_t mime;
};

inline int testMemGetByte(ByteStream *s)
{
    if (s->readPtr < s->end)
        return *s->readPtr++;
    return ByteStream_end;
}

inline int testMemSeek(ByteStream *s, uint64_t position)
{
    TestMemStream *m = reinterpret_cast<TestMemStream *>(s);
    if (position > m->size)
        return Res_byteStreamEnded;
    s->readPtr = m->data + position;
    return Res_ok;
}

inline int testMemClose(ByteStream *s)
{
    Mem_free(s);
    return Res_ok;
}

inline int testMemControl(ByteStream *s, uint32_t op, void *arg)
{
    TestMemStream *m = reinterpret_cast<TestMemStream *>(s);
    if (op == ByteStream_opMimeId) {
        *static_cast<uint32_t *>(arg) = m->mime;
        return Res_ok;
    }
    if (op == ByteStream_opIsMemory) {
        *static_cast<uint32_t *>(arg) = 1;
        return Res_ok;
    }
    if (op == ByteStream_opKeepInfo)
        return Res_ok;
    return Res_byteStreamNoControl;
}

// ------------------------------------------------------ a memory source

struct FakeSource {
    ImageSource ops;
    uint8_t *data; // engine heap copy
    size_t size;
    int key; // sources with equal keys are the same
    int available;
    int failOpen; // openStream's error
    uint32_t mime;
    int *releases; // counts release calls (the test's)
};

inline int fakeSame(EngineContext *, ImageSource *a, ImageSource *b)
{
    return reinterpret_cast<FakeSource *>(a)->key == reinterpret_cast<FakeSource *>(b)->key;
}

inline int fakeAvailable(EngineContext *, ImageSource *s)
{
    return reinterpret_cast<FakeSource *>(s)->available;
}

inline int fakeOpen(EngineContext *, ImageSource *s, ByteStream **out)
{
    *out = nullptr;
    FakeSource *f = reinterpret_cast<FakeSource *>(s);
    if (f->failOpen)
        return f->failOpen;
    TestMemStream *m = static_cast<TestMemStream *>(Mem_calloc(1, sizeof(TestMemStream)));
    if (!m)
        return Res_noMemory;
    m->data = f->data;
    m->size = f->size;
    m->mime = f->mime;
    m->base.getByte = testMemGetByte;
    m->base.seek = testMemSeek;
    m->base.close = testMemClose;
    m->base.control = testMemControl;
    m->base.length = f->size;
    m->base.readPtr = f->data;
    m->base.end = f->data + f->size;
    *out = &m->base;
    return Res_ok;
}

inline void fakeRelease(EngineContext *, ImageSource *s)
{
    FakeSource *f = reinterpret_cast<FakeSource *>(s);
    if (f->releases)
        (*f->releases)++;
    Mem_free(f->data);
    Mem_free(f);
}

// A new source over bytes (null when memory runs out).
inline ImageSource *fakeSource(const std::string &bytes, int key, int *releases, int available = 0)
{
    FakeSource *f = static_cast<FakeSource *>(Mem_calloc(1, sizeof(FakeSource)));
    if (!f)
        return nullptr;
    f->data = static_cast<uint8_t *>(Mem_malloc(bytes.size() + 1));
    if (!f->data) {
        Mem_free(f);
        return nullptr;
    }
    memcpy(f->data, bytes.data(), bytes.size());
    f->size = bytes.size();
    f->key = key;
    f->available = available;
    f->releases = releases;
    f->ops.same = fakeSame;
    f->ops.isAvailable = fakeAvailable;
    f->ops.openStream = fakeOpen;
    f->ops.release = fakeRelease;
    return &f->ops;
}

// ------------------------------------------------------------ the codec

struct FakeHeader {
    uint32_t width, height, mode, dpi;
};

inline bool readFakeHeader(ByteStream *stream, FakeHeader *h)
{
    uint8_t b[20];
    if (ByteStream_readExact(stream, b, 20) != Res_ok || memcmp(b, "FAKE", 4) != 0)
        return false;
    const uint8_t *p = b + 4;
    h->width = Bytes_readU32Le(&p);
    h->height = Bytes_readU32Le(&p);
    h->mode = Bytes_readU32Le(&p);
    h->dpi = Bytes_readU32Le(&p);
    return true;
}

inline int fakeRecognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                         uint32_t flags)
{
    fakeLog().recognised.push_back(77);
    *score =
        (flags & ImageDec_flagRecognise) && count >= 4 && memcmp(bytes, "FAKE", 4) == 0 ? 100 : 0;
    return Res_ok;
}

inline int fakeCreate(EngineContext *, ImageObject *, uint32_t, void **instance)
{
    *instance = Mem_calloc(1, 64);
    if (!*instance)
        return Res_noMemory;
    fakeLog().instances++;
    return Res_ok;
}

inline void fakeDestroy(ImageObject *, void *instance)
{
    fakeLog().instances--;
    Mem_free(instance);
}

inline int fakeReadHeader(EngineContext *, ByteStream *stream, ImageObject *image, ImageHook,
                          void *)
{
    FakeHeader h;
    if (!readFakeHeader(stream, &h))
        return 0x2201;
    fakeLog().headersRead++;
    int32_t reduction = (h.mode & FakeMode_reduces) ? 3 : 0;
    return ImageDec_setHeader(image, int32_t(h.width), int32_t(h.height), int32_t(h.dpi),
                              (h.mode & FakeMode_banded) ? 8 : 0, 3, &reduction);
}

inline int fakeDecodeBody(ByteStream *stream, ImageObject *image, const ImageCodecParams *params)
{
    FakeHeader h;
    if (!readFakeHeader(stream, &h))
        return 0x2201;
    FakeLog &log = fakeLog();
    log.lastFlags = params->flags;
    int32_t reduction = (h.mode & FakeMode_reduces) ? 3 : 0;
    int32_t bands = (h.mode & FakeMode_banded) ? 8 : 0;
    int r = Res_ok;
    if ((h.mode & FakeMode_resize) && log.decodes == 1) {
        int32_t first = reduction;
        r = ImageDec_setHeader(image, int32_t(h.width) - 1, int32_t(h.height), int32_t(h.dpi),
                               bands, 3, &first);
        if (r != Res_ok)
            return r;
    }
    r = ImageDec_setHeader(image, int32_t(h.width), int32_t(h.height), int32_t(h.dpi), bands, 3,
                           &reduction);
    if (r != Res_ok)
        return r;
    if (h.mode & FakeMode_block) {
        if (log.reached)
            Sem_signal(log.reached);
        if (log.gate && Sem_waitStoppable(log.gate) == Res_stopRequested)
            return Res_stopRequested;
    }
    if (h.mode & FakeMode_fail)
        return 0x2201;
    if (h.mode & FakeMode_noPicture)
        return Res_ok;
    // The size the codec decodes at: its own reduction applied.
    int32_t w = int32_t((int64_t(h.width) + (int64_t(1) << reduction) - 1) >> reduction);
    int32_t hh = int32_t((int64_t(h.height) + (int64_t(1) << reduction) - 1) >> reduction);
    bool withMask = (h.mode & FakeMode_mask) != 0;
    if (bands) {
        r = Image_beginPicture(image, params->pixelFormat, 0, withMask ? 1 : 0, 0x10000);
        if (r != Res_ok)
            return r;
        for (int32_t row = 0; row < hh;) {
            PixelBuf *pic = nullptr, *mask = nullptr;
            int32_t count = 0;
            r = Image_getRowBuffer(image, &pic, &mask, row, &count);
            if (r != Res_ok || count <= 0 || !pic)
                return r != Res_ok ? r : 0x2202;
            for (int32_t i = 0; i < count; i++) {
                uint16_t *line =
                    reinterpret_cast<uint16_t *>(pic->pixels + size_t(i) * pic->stride);
                for (int32_t x = 0; x < pic->width; x++)
                    line[x] = uint16_t(x + 3 * (row + i));
                if (mask)
                    memset(mask->pixels + size_t(i) * mask->stride, 0x80, size_t(mask->width));
            }
            r = Image_putRows(image, pic, mask);
            if (r == Res_ok)
                r = ImageDec_rowsDone(image, 0, row, w, count);
            if (r != Res_ok)
                return r;
            row += count;
        }
        log.decodedWidth = w;
        log.decodedHeight = hh;
        return Res_ok;
    }
    PixelBuf *pic = nullptr, *mask = nullptr;
    r = ImageDec_getBuffers(image, &pic, params->pixelFormat, withMask ? &mask : nullptr, 0, 0);
    if (r != Res_ok)
        return r;
    for (int32_t y = 0; y < pic->height; y++) {
        uint16_t *line = reinterpret_cast<uint16_t *>(pic->pixels + size_t(y) * pic->stride);
        for (int32_t x = 0; x < pic->width; x++)
            line[x] = uint16_t(x + 3 * y);
        if (mask)
            memset(mask->pixels + size_t(y) * mask->stride, 0x80, size_t(mask->width));
    }
    log.decodedWidth = pic->width;
    log.decodedHeight = pic->height;
    return ImageDec_rowsDone(image, 0, 0, pic->width, pic->height);
}

inline int fakeDecode(EngineContext *, void *, ByteStream *stream, ImageObject *image,
                      const ImageCodecParams *params)
{
    fakeLog().decodes++;
    int r = fakeDecodeBody(stream, image, params);
    fakeLog().decodesEnded++;
    fakeLog().lastResult = r;
    return r;
}

inline int32_t fakeTypeId()
{
    return 77;
}

// A new fake codec descriptor (null when memory runs out).
inline ImageCodec *fakeCodec()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->recognise = fakeRecognise;
    c->createInstance = fakeCreate;
    c->readHeader = fakeReadHeader;
    c->decode = fakeDecode;
    c->destroyInstance = fakeDestroy;
    c->typeId = fakeTypeId;
    return c;
}

// --------------------------------------------------- the fixture

// An engine heap and context with a settings store; the image store is
// made by makeStore so that tests can set settings first.
class ImageStoreFixture : public ::testing::Test {
  protected:
    void SetUp() override
    {
        fakeLog() = FakeLog{};
        ASSERT_TRUE(TestHeap_open(&heap, 8u << 20, 0));
        ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        ASSERT_NE(ctx, nullptr);
        ctx->instance = heap.instance;
        heap.instance->context = ctx;
        ctx->config = Config_createStore(ctx, u"x");
        ASSERT_NE(ctx->config, nullptr);
        // Every setting the store reads exists from the start, so that
        // reading it stores nothing and heap figures compare.
        (void)Config_getIntA(ctx, ctx->config, nullptr, "Vexlan_Image_Cache_Bytes", 0);
        (void)Config_getIntA(ctx, ctx->config, u"Image", "subsample.threshold", 320);
        (void)Config_getIntA(ctx, ctx->config, nullptr, "DynamicSubsampling", 0);
        (void)Config_getIntA(ctx, ctx->config, nullptr, "Vexlan_maxAnimLoops", 0);
        (void)Config_getIntA(ctx, ctx->config, u"Core", "LowMemoryAnimations", 0);
    }
    void TearDown() override
    {
        Mem_failAfter(0);
        if (ctx->imageStore)
            ImageStore_release(ctx);
        EXPECT_EQ(ctx->imageCache, nullptr);
        if (baseline) {
            EXPECT_EQ(TestHeap_usedBytes(), baseline) << "heap bytes leaked";
        }
        // The settings store keeps every setting read meanwhile.
        Config_freeStore(ctx, ctx->config);
        ctx->config = nullptr;
        EXPECT_EQ(Mem_check(), 0);
        heap.instance->context = nullptr;
        Mem_free(ctx);
        TestHeap_close(&heap);
    }
    void setInt(const char16_t *domain, const char *key, uint32_t value)
    {
        Config_setIntA(ctx, ctx->config, domain, key, value, 0);
    }
    // The store without workers, with the fake codec registered.
    void makeStore(bool withCodec = true)
    {
        baseline = TestHeap_usedBytes();
        ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, Pixel_format565), Res_ok);
        if (withCodec) {
            ASSERT_EQ(Plugin_register(ctx, fakeCodec()), Res_ok);
        }
    }
    ImageHandle *open(const std::string &bytes, int key, uint32_t options = ImageOpt_recognise,
                      ImageHook hook = nullptr, void *hookArg = nullptr)
    {
        ImageHandle *h = nullptr;
        EXPECT_EQ(Image_open(ctx, fakeSource(bytes, key, &releases), nullptr, nullptr, nullptr,
                             hook, hookArg, 0, 0, options, 0, &h),
                  Res_ok);
        return h;
    }
    // Decodes a synchronous image as drawing would: into a new view of its
    // own, kept by the test (freed with the image).
    ImageView *decodeNow(ImageObject *image, int32_t *reason = nullptr,
                         int32_t maxLevel = ImageStore_noLevelLimit)
    {
        ImageView *view = nullptr;
        EXPECT_EQ(ImageView_create(image, &view), Res_ok);
        ImageView_attach(image, view);
        int32_t r = 0;
        EXPECT_EQ(Image_decode(ctx, image, &r, 0, maxLevel, view), Res_ok);
        image->state = image->result;
        image->reason = r;
        if (reason)
            *reason = r;
        return view;
    }
    size_t heapUsed()
    {
        return TestHeap_usedBytes();
    }

    TestHeap heap{};
    EngineContext *ctx = nullptr;
    size_t baseline = 0;
    int releases = 0;
};

inline uint16_t pixel16(const PixelBuf *b, int32_t x, int32_t y)
{
    uint16_t v;
    memcpy(&v, b->pixels + size_t(y) * b->stride + size_t(x) * 2, 2);
    return v;
}
