// Image decoding speed: PNG and JPEG through the engine's codecs and the
// image store (into 5-6-5 pictures, with the mask for PNG), against
// libpng and libjpeg called directly on the same images (PNG to RGBA,
// JPEG to RGB; JPEG also to YCbCr, the library's part of the codec's
// work). Goal: each codec within 1.25x of its direct call to RGB or RGBA.
// Image arguments: 0 PNG RGB, 1 PNG RGBA, 2 JPEG, 3 progressive JPEG.
//
// The images are made at start-up: a 1024 x 768 picture with smooth
// gradients, edges and some noise, encoded by the libraries themselves
// (PNG as RGB and as RGBA, default compression; JPEG baseline and
// progressive, quality 85, 4:2:0).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

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

namespace {

constexpr int width = 1024, height = 768;

// ------------------------------------------------------------- the images

std::vector<uint8_t> makePixels(int channels)
{
    std::vector<uint8_t> p(size_t(width) * height * channels);
    uint32_t noise = 12345;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            noise = noise * 1103515245u + 12345u;
            int n = int((noise >> 16) & 15) - 8;
            uint8_t *q = &p[(size_t(y) * width + x) * channels];
            int r = (x * 255) / width, g = (y * 255) / height, b = ((x + y) / 4) & 255;
            if ((x / 128 + y / 96) % 3 == 0)
                b = 255 - b;
            q[0] = uint8_t(std::min(255, std::max(0, r + n)));
            q[1] = uint8_t(std::min(255, std::max(0, g + n)));
            q[2] = uint8_t(std::min(255, std::max(0, b + n)));
            if (channels == 4)
                q[3] = uint8_t(((x * y) >> 8) & 255);
        }
    return p;
}

void pngWrite(png_structp png, png_bytep data, size_t n)
{
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

void pngFlush(png_structp) {}

std::vector<uint8_t> encodePng(int channels)
{
    std::vector<uint8_t> pixels = makePixels(channels), out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        abort();
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    png_set_IHDR(png, info, width, height, 8,
                 channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, &pixels[size_t(y) * width * channels]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> encodeJpeg(bool progressive)
{
    std::vector<uint8_t> pixels = makePixels(3);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &pixels[size_t(c.next_scanline) * width * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    free(buffer);
    return out;
}

struct Images {
    std::vector<uint8_t> pngRgb, pngRgba, jpeg, jpegProgressive;
};

const Images &images()
{
    static Images i{encodePng(3), encodePng(4), encodeJpeg(false), encodeJpeg(true)};
    return i;
}

const std::vector<uint8_t> &imageOf(int which)
{
    const Images &i = images();
    switch (which) {
    case 0: return i.pngRgb;
    case 1: return i.pngRgba;
    case 2: return i.jpeg;
    default: return i.jpegProgressive;
    }
}

// ------------------------------------------------ through the engine

struct MemSource {
    ImageSource ops;
    const uint8_t *data;
    size_t size;
};

int memGetByte(ByteStream *s)
{
    if (s->readPtr < s->end)
        return *s->readPtr++;
    return ByteStream_end;
}

int memSeek(ByteStream *s, uint64_t position)
{
    s->readPtr = s->end - s->length + position;
    return Res_ok;
}

int memClose(ByteStream *s)
{
    Mem_free(s);
    return Res_ok;
}

int memControl(ByteStream *, uint32_t, void *)
{
    return Res_byteStreamNoControl;
}

int memOpen(EngineContext *, ImageSource *source, ByteStream **out)
{
    MemSource *m = reinterpret_cast<MemSource *>(source);
    ByteStream *s = static_cast<ByteStream *>(Mem_calloc(1, sizeof(ByteStream)));
    s->getByte = memGetByte;
    s->seek = memSeek;
    s->close = memClose;
    s->control = memControl;
    s->length = m->size;
    s->readPtr = m->data;
    s->end = m->data + m->size;
    *out = s;
    return Res_ok;
}

int memSame(EngineContext *, ImageSource *a, ImageSource *b)
{
    return a == b;
}

int memAvailable(EngineContext *, ImageSource *)
{
    return 1;
}

void memRelease(EngineContext *, ImageSource *s)
{
    Mem_free(s);
}

struct EngineSetup {
    TestHeap heap{};
    EngineContext *ctx = nullptr;
    EngineSetup()
    {
        TestHeap_open(&heap, 256u << 20, 0);
        ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        ctx->instance = heap.instance;
        heap.instance->context = ctx;
        ctx->config = Config_createStore(ctx, u"x");
        Config_setIntA(ctx, ctx->config, nullptr, "DynamicSubsampling", 1, 0);
        (void)ImageStore_acquire(ctx, ImageStore_noWorkers, Pixel_format565);
        (void)Plugin_register(ctx, Codec_pngDescriptor());
        (void)Plugin_register(ctx, Codec_jpegDescriptor());
    }
    ~EngineSetup()
    {
        ImageStore_release(ctx);
        Config_freeStore(ctx, ctx->config);
        heap.instance->context = nullptr;
        Mem_free(ctx);
        TestHeap_close(&heap);
    }
};

// Opens and decodes the image through the store into a new view, at full
// size; range(0) picks the image.
void BM_Codec(benchmark::State &state)
{
    const std::vector<uint8_t> &data = imageOf(int(state.range(0)));
    EngineSetup e;
    for (auto _ : state) {
        MemSource *m = static_cast<MemSource *>(Mem_calloc(1, sizeof(MemSource)));
        m->ops = ImageSource{memSame, memAvailable, nullptr, memOpen, memRelease};
        m->data = data.data();
        m->size = data.size();
        ImageHandle *h = nullptr;
        if (Image_open(e.ctx, &m->ops, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0,
                       ImageOpt_recognise | ImageOpt_neverShare, 0, &h) != Res_ok)
            abort();
        ImageView *view = nullptr;
        (void)ImageView_create(h->image, &view);
        ImageView_attach(h->image, view);
        int32_t reason = 0;
        (void)Image_decode(e.ctx, h->image, &reason, 0, 0, view);
        if (h->image->result != ImageState_done || !view->picture || view->picture->width != width)
            state.SkipWithError("the decode failed");
        benchmark::DoNotOptimize(view->picture->pixels);
        ImageHandle_release(h);
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_Codec)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------- the libraries alone

struct PngReader {
    const std::vector<uint8_t> *data;
    size_t at;
};

void pngRead(png_structp png, png_bytep out, size_t n)
{
    PngReader *r = static_cast<PngReader *>(png_get_io_ptr(png));
    if (r->at + n > r->data->size())
        png_error(png, "short");
    memcpy(out, r->data->data() + r->at, n);
    r->at += n;
}

// libpng's own reader, with the same transformations to 8-bit RGBA.
void BM_PngDirect(benchmark::State &state)
{
    const std::vector<uint8_t> &data = imageOf(int(state.range(0)));
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    std::vector<png_bytep> rows(height);
    for (int y = 0; y < height; y++)
        rows[y] = &rgba[size_t(y) * width * 4];
    for (auto _ : state) {
        PngReader reader{&data, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png)))
            abort();
        png_set_read_fn(png, &reader, pngRead);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(rgba.data());
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_PngDirect)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// libjpeg with its memory source to RGB rows (range(1) 1: YCbCr rows).
void BM_JpegDirect(benchmark::State &state)
{
    const std::vector<uint8_t> &data = imageOf(int(state.range(0)));
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (auto _ : state) {
        jpeg_decompress_struct c;
        jpeg_error_mgr err;
        c.err = jpeg_std_error(&err);
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, data.data(), data.size());
        jpeg_read_header(&c, TRUE);
        c.out_color_space = state.range(1) ? JCS_YCbCr : JCS_RGB;
        jpeg_start_decompress(&c);
        while (c.output_scanline < c.output_height) {
            JSAMPROW row = &rgb[size_t(c.output_scanline) * width * 3];
            jpeg_read_scanlines(&c, &row, 1);
        }
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_JpegDirect)->Args({2, 0})->Args({3, 0})->Args({2, 1})->Unit(benchmark::kMillisecond);

} // namespace
