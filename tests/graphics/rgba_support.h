// Test support for the PNG and JPEG decoders: answers in 8-bit RGBA
// (tests/fixtures/images/png and jpeg, made by make_png_jpeg.py), a source
// whose stream hands out its bytes a few at a time, and a fixture that
// decodes through the image store with one real codec registered.
//
// An answer file (.rgba) is two little-endian 32-bit words, width and
// height, then the picture as 8-bit R, G, B, A bytes: the reference
// decoder's output, which the tests turn into 5-6-5 by the engine's rule.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "tests/graphics/codec_support.h"

struct RgbaAnswer {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t *at(int32_t x, int32_t y) const
    {
        return rgba.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
    }
};

inline RgbaAnswer readRgbaAnswer(const std::string &relative)
{
    std::string bytes = readFixture(relative);
    RgbaAnswer a;
    if (bytes.size() < 8)
        return a;
    const uint8_t *p = reinterpret_cast<const uint8_t *>(bytes.data());
    a.width = int32_t(Bytes_peekU32Le(p));
    a.height = int32_t(Bytes_peekU32Le(p + 4));
    a.rgba.assign(p + 8, p + bytes.size());
    EXPECT_EQ(a.rgba.size(), size_t(a.width) * size_t(a.height) * 4) << relative;
    return a;
}

inline uint16_t rgbTo565(const uint8_t *rgb)
{
    return uint16_t(((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3));
}

inline uint8_t mask8(const PixelBuf *b, int32_t x, int32_t y)
{
    return b->pixels[size_t(y) * b->stride + size_t(x)];
}

inline uint32_t pixel32(const PixelBuf *b, int32_t x, int32_t y)
{
    uint32_t v;
    memcpy(&v, b->pixels + size_t(y) * b->stride + size_t(x) * 4, 4);
    return v;
}

// The largest difference of the three channels of two 5-6-5 pixels, in
// units of each channel.
inline int channelDistance(uint16_t a, uint16_t b)
{
    int dr = std::abs(int(a >> 11) - int(b >> 11));
    int dg = std::abs(int((a >> 5) & 0x3F) - int((b >> 5) & 0x3F));
    int db = std::abs(int(a & 0x1F) - int(b & 0x1F));
    return std::max({dr, dg, db});
}

// ---------------------------------------------- a stream in small windows

// A memory stream whose window holds at most `step` bytes: every refill
// moves it on, as data arriving in pieces would.
struct TrickleStream {
    ByteStream base;
    const uint8_t *data;
    size_t size;
    size_t step;
    int32_t endStatus; // the status set when the data end (0: a clean end)
};

inline int trickleGetByte(ByteStream *s)
{
    TrickleStream *t = reinterpret_cast<TrickleStream *>(s);
    size_t at = size_t(s->end - t->data);
    if (s->readPtr < s->end)
        return *s->readPtr++;
    if (at >= t->size) {
        if (t->endStatus)
            s->status = t->endStatus;
        return ByteStream_end;
    }
    s->readPtr = t->data + at;
    s->end = t->data + std::min(t->size, at + t->step);
    return *s->readPtr++;
}

inline int trickleSeek(ByteStream *s, uint64_t position)
{
    TrickleStream *t = reinterpret_cast<TrickleStream *>(s);
    if (position > t->size)
        return Res_byteStreamEnded;
    s->readPtr = s->end = t->data + position;
    return Res_ok;
}

inline int trickleControl(ByteStream *s, uint32_t op, void *arg)
{
    TrickleStream *t = reinterpret_cast<TrickleStream *>(s);
    if (op == ByteStream_opPosition) {
        *static_cast<uint64_t *>(arg) = uint64_t(s->readPtr - t->data);
        return Res_ok;
    }
    return testMemControl(s, op, arg);
}

// A trickle stream over data (the caller keeps data alive and frees the
// stream with ByteStream_close).
inline ByteStream *trickleStream(const uint8_t *data, size_t size, size_t step,
                                 int32_t endStatus = 0)
{
    TrickleStream *t = static_cast<TrickleStream *>(Mem_calloc(1, sizeof(TrickleStream)));
    if (!t)
        return nullptr;
    t->data = data;
    t->size = size;
    t->step = step ? step : 1;
    t->endStatus = endStatus;
    t->base.getByte = trickleGetByte;
    t->base.seek = trickleSeek;
    t->base.close = testMemClose;
    t->base.control = trickleControl;
    t->base.length = size;
    t->base.readPtr = t->base.end = data;
    return &t->base;
}

// A source like fakeSource whose streams trickle.
struct TrickleSource {
    FakeSource fake;
    size_t step;
};

inline int trickleOpen(EngineContext *, ImageSource *s, ByteStream **out)
{
    TrickleSource *t = reinterpret_cast<TrickleSource *>(s);
    *out = trickleStream(t->fake.data, t->fake.size, t->step);
    return *out ? Res_ok : Res_noMemory;
}

inline ImageSource *trickleSource(const std::string &bytes, int key, int *releases, size_t step)
{
    TrickleSource *t = static_cast<TrickleSource *>(Mem_calloc(1, sizeof(TrickleSource)));
    ImageSource *plain = fakeSource(bytes, key, releases);
    if (!t || !plain) {
        Mem_free(t);
        if (plain)
            plain->release(nullptr, plain);
        return nullptr;
    }
    t->fake = *reinterpret_cast<FakeSource *>(plain);
    Mem_free(plain);
    t->step = step;
    t->fake.ops.openStream = trickleOpen;
    return &t->fake.ops;
}

// ------------------------------------------------------------ the fixture

// The image store in dynamic mode (nothing decoded at open) with the
// codec under test registered; images decode in the test's thread.
class DecodeFixture : public ImageStoreFixture {
  protected:
    void makeCodecStore(ImageCodec *(*descriptor)(), uint32_t format = Pixel_format565)
    {
        setInt(nullptr, "DynamicSubsampling", 1);
        baseline = TestHeap_usedBytes();
        ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, format), Res_ok);
        ASSERT_EQ(Plugin_register(ctx, descriptor()), Res_ok);
    }
    // Opens bytes (handed out step bytes at a time when step is given).
    ImageHandle *openBytes(const std::string &bytes, size_t step = 0, ImageHook hook = nullptr,
                           void *hookArg = nullptr)
    {
        ImageHandle *h = nullptr;
        ImageSource *source = step ? trickleSource(bytes, nextKey, &releases, step)
                                   : fakeSource(bytes, nextKey, &releases);
        nextKey++;
        EXPECT_EQ(Image_open(ctx, source, nullptr, nullptr, nullptr, hook, hookArg, 0, 0,
                             ImageOpt_recognise, 0, &h),
                  Res_ok);
        return h;
    }
    // One decoding pass at level firstLevel (the codec's own reduction
    // first); async makes it an asynchronous pass, as the workers run it.
    ImageView *decodeAt(ImageObject *image, int32_t firstLevel, bool async = false)
    {
        ImageView *view = nullptr;
        EXPECT_EQ(ImageView_create(image, &view), Res_ok);
        ImageView_attach(image, view);
        if (async)
            image->state = ImageState_decoding;
        int32_t reason = 0;
        EXPECT_EQ(Image_decode(ctx, image, &reason, firstLevel, ImageStore_noLevelLimit, view),
                  Res_ok);
        image->state = image->result;
        image->reason = reason;
        return view;
    }
    int nextKey = 1;
};
