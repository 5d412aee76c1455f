// Test support for the image decoders: fixture files with their PPM or
// PBM answers, a store without workers with the real codecs registered
// (each decode's result recorded), an image hook answering from a table,
// and the comparison of a decoded picture with an answer.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "graphics/imageconv.h"
#include "tests/graphics/image_support.h"

inline std::string readFixture(const std::string &name)
{
    std::string path = std::string(VEXLAN_FIXTURES) + "/images/" + name;
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        ADD_FAILURE() << "cannot open " << path;
        return data;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    fclose(f);
    return data;
}

// A picture as RGB words 0xRRGGBB, rows from the top.
struct Answer {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int32_t x, int32_t y) const
    {
        return rgb[size_t(y) * size_t(width) + size_t(x)];
    }
};

// Parses a P6 (8-bit RGB) or P4 (1 bit, set = black) file.
inline Answer parsePnm(const std::string &s)
{
    Answer a;
    size_t at = 0;
    auto token = [&]() {
        while (at < s.size() && isspace(uint8_t(s[at])))
            at++;
        size_t start = at;
        while (at < s.size() && !isspace(uint8_t(s[at])))
            at++;
        return s.substr(start, at - start);
    };
    std::string magic = token();
    a.width = std::stoi(token());
    a.height = std::stoi(token());
    if (magic == "P6")
        token(); // maxval
    at++;        // the single white space before the data
    a.rgb.resize(size_t(a.width) * size_t(a.height));
    const uint8_t *p = reinterpret_cast<const uint8_t *>(s.data()) + at;
    for (int32_t y = 0; y < a.height; y++) {
        for (int32_t x = 0; x < a.width; x++) {
            uint32_t v;
            if (magic == "P6") {
                const uint8_t *q = p + (size_t(y) * size_t(a.width) + size_t(x)) * 3;
                v = (uint32_t(q[0]) << 16) | (uint32_t(q[1]) << 8) | q[2];
            } else {
                size_t rowBytes = (size_t(a.width) + 7) / 8;
                bool black = (p[size_t(y) * rowBytes + size_t(x) / 8] >> (7 - x % 8)) & 1;
                v = black ? 0 : 0xFFFFFF;
            }
            a.rgb[size_t(y) * size_t(a.width) + size_t(x)] = v;
        }
    }
    return a;
}

// The pixel word an RGB colour becomes in format 4 (565) or 6 (0x00BBGGRR).
inline uint32_t expectedPixel(uint32_t rgb, uint32_t format)
{
    uint32_t r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    if (format == Pixel_formatRGBA)
        return r | (g << 8) | (b << 16);
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}

inline uint32_t pictureAt(const PixelBuf *p, int32_t x, int32_t y)
{
    const uint8_t *row = p->pixels + size_t(y) * p->stride;
    if (p->format == Pixel_formatRGBA) {
        uint32_t v;
        memcpy(&v, row + size_t(x) * 4, 4);
        return v;
    }
    uint16_t v;
    memcpy(&v, row + size_t(x) * 2, 2);
    return v;
}

// Empty when the picture shows the answer exactly; else the first
// difference.
inline std::string differsFrom(const PixelBuf *picture, const Answer &answer)
{
    if (!picture)
        return "no picture";
    if (picture->width != answer.width || picture->height != answer.height)
        return "size " + std::to_string(picture->width) + "x" + std::to_string(picture->height);
    for (int32_t y = 0; y < answer.height; y++) {
        for (int32_t x = 0; x < answer.width; x++) {
            uint32_t want = expectedPixel(answer.at(x, y), picture->format);
            uint32_t got = pictureAt(picture, x, y);
            if (got != want) {
                char text[96];
                snprintf(text, sizeof text, "pixel %d,%d is %#x, not %#x", x, y, got, want);
                return text;
            }
        }
    }
    return "";
}

// An image record outside any store, for calling a codec's operations
// directly: synchronous (no locks, no size reports), no codec chosen.
inline ImageObject bareImage()
{
    ImageObject image{};
    image.syncPass = 1;
    image.codecIndex = -1;
    image.worker = -1;
    return image;
}

// A stream over a copy of bytes (the copy lives as long as the stream's
// data, kept in a heap block after the record). Closing frees both.
inline TestMemStream *memStream(const std::string &bytes)
{
    TestMemStream *m =
        static_cast<TestMemStream *>(Mem_calloc(1, sizeof(TestMemStream) + bytes.size() + 1));
    if (!m)
        return nullptr;
    uint8_t *data = reinterpret_cast<uint8_t *>(m + 1);
    memcpy(data, bytes.data(), bytes.size());
    m->data = data;
    m->size = bytes.size();
    m->base.getByte = testMemGetByte;
    m->base.seek = testMemSeek;
    m->base.close = testMemClose;
    m->base.control = testMemControl;
    m->base.length = bytes.size();
    m->base.readPtr = data;
    m->base.end = data + bytes.size();
    return m;
}

// ------------------------------------------------------------ the hook

// Answers ops from a table of byte strings; others have no answer (size
// -1). failOp makes that op fail with failCode.
struct HookAnswers {
    std::map<int32_t, std::string> answers;
    int32_t failOp = -100;
    int failCode = 0;
    std::vector<int32_t> asked;

    void setInt(int32_t op, int32_t v)
    {
        answers[op] = std::string(reinterpret_cast<const char *>(&v), 4);
    }
    template <typename T> void setBytes(int32_t op, const T &value)
    {
        answers[op] = std::string(reinterpret_cast<const char *>(&value), sizeof value);
    }
};

inline int answeringHook(void *arg, int32_t op, void *buffer, int32_t *size)
{
    HookAnswers *h = static_cast<HookAnswers *>(arg);
    if (!size)
        return Res_ok; // the image goes
    h->asked.push_back(op);
    if (op == h->failOp)
        return h->failCode;
    auto it = h->answers.find(op);
    if (it == h->answers.end()) {
        *size = -1;
        return Res_ok;
    }
    *size = int32_t(it->second.size());
    if (buffer)
        memcpy(buffer, it->second.data(), it->second.size());
    return Res_ok;
}

// ------------------------------------------------- recording the decodes

struct DecodeRecord {
    int lastResult = -1;
    int calls = 0;
    int (*real[16])(EngineContext *, void *, ByteStream *, ImageObject *,
                    const ImageCodecParams *) = {};
};

inline DecodeRecord &decodeRecord()
{
    static DecodeRecord r;
    return r;
}

template <int Slot>
int recordedDecode(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
                   const ImageCodecParams *params)
{
    DecodeRecord &r = decodeRecord();
    r.calls++;
    r.lastResult = r.real[Slot](app, instance, stream, image, params);
    return r.lastResult;
}

// Registers codec with its decode recorded in slot Slot.
template <int Slot> int registerRecorded(EngineContext *app, ImageCodec *codec)
{
    if (codec) {
        decodeRecord().real[Slot] = codec->decode;
        codec->decode = recordedDecode<Slot>;
    }
    return Plugin_register(app, codec);
}

// A store of the given picture format with the given codecs registered
// (recorded), images decoded in the test's thread.
class CodecFixture : public ImageStoreFixture {
  protected:
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        decodeRecord() = DecodeRecord{};
    }
    void makeCodecStore(uint32_t format, std::initializer_list<ImageCodec *(*)()> makers)
    {
        baseline = TestHeap_usedBytes();
        ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, format), Res_ok);
        int slot = 0;
        for (auto make : makers) {
            int r = Res_ok;
            switch (slot++) {
            case 0: r = registerRecorded<0>(ctx, make()); break;
            case 1: r = registerRecorded<1>(ctx, make()); break;
            case 2: r = registerRecorded<2>(ctx, make()); break;
            default: r = registerRecorded<3>(ctx, make()); break;
            }
            ASSERT_EQ(r, Res_ok);
        }
    }
    // Opens bytes as a new image and decodes it now. The handle is the
    // test's (release it); *view the decoded view.
    ImageHandle *decodeBytes(const std::string &bytes, ImageView **view, ImageHook hook = nullptr,
                             void *hookArg = nullptr)
    {
        decodeRecord().lastResult = -1;
        ImageHandle *h =
            open(bytes, ++key, ImageOpt_recognise | ImageOpt_neverShare, hook, hookArg);
        *view = h ? decodeNow(h->image) : nullptr;
        return h;
    }
    int lastResult() const
    {
        return decodeRecord().lastResult;
    }
    int key = 100;
};
