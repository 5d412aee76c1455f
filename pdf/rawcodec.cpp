// The raw image codec of PDF images.
#include "pdf/rawcodec.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/task.h"
#include "graphics/codecs/lzw.h"
#include "graphics/image.h"
#include "graphics/imageconv.h"
#include "graphics/imagecodec.h"
#include "graphics/pixelbuf.h"
#include "pdf/filter.h"

namespace {

enum : uint32_t {
    modelNone = 0,
    modelGray = 1,
    modelRgb = 2,
    modelIndexed = 3,
    modelCmyk = 4,
    // Transparent pixels: 60399 (0xEBEF) in 5-6-5, as an engine colour
    // 0x00BBGGRR; image masks use white.
    transparentColour = 0x00787CE8,
    maskTransparentColour = 0x00FFFFFF,
};

// Asks op: *answered 1 when the hook returns 0 with a size above 0; *size
// is that size. Errors pass through.
int askSize(ImageHook hook, void *arg, int32_t op, int32_t *size, int *answered)
{
    *answered = 0;
    *size = -1;
    int r = hook(arg, op, nullptr, size);
    if (r == Res_ok && *size > 0)
        *answered = 1;
    return r;
}

// A 4-byte integer answer, or fallback.
int askInt(ImageHook hook, void *arg, int32_t op, int32_t fallback, int32_t *value, int *answered)
{
    *value = fallback;
    int32_t size = 0;
    int r = askSize(hook, arg, op, &size, answered);
    if (r != Res_ok || !*answered)
        return r;
    if (size != 4) {
        *answered = 0;
        return Res_ok;
    }
    return hook(arg, op, value, &size);
}

// An answer read into a new block of at least minimum bytes (zeroed
// beyond the answer); *block null when unanswered.
int askBlock(ImageHook hook, void *arg, int32_t op, size_t minimum, uint8_t **block, int32_t *size)
{
    *block = nullptr;
    int answered = 0;
    int r = askSize(hook, arg, op, size, &answered);
    if (r != Res_ok || !answered)
        return r;
    size_t n = std::max(size_t(*size), minimum);
    *block = static_cast<uint8_t *>(Mem_calloc(1, n ? n : 1));
    if (!*block)
        return Res_noMemory;
    r = hook(arg, op, *block, size);
    if (r != Res_ok) {
        Mem_free(*block);
        *block = nullptr;
    }
    return r;
}

// 1 when op answers with a size of 0 or more (a decoder that applies).
int applies(ImageHook hook, void *arg, int32_t op, int *error)
{
    if (*error != Res_ok)
        return 0;
    int32_t size = -1;
    int r = hook(arg, op, nullptr, &size);
    if (r != Res_ok) {
        *error = r;
        return 0;
    }
    return size >= 0;
}

int32_t rawTypeId()
{
    return PdfRawImage_typeId;
}

int rawInit(EngineContext *)
{
    return Res_ok;
}

void rawShutdown() {}

int rawRecognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *, uint32_t,
                 uint32_t flags)
{
    *score = 0;
    if (!(flags & ImageDec_flagRecognise) || !hook)
        return Res_ok;
    int err = Res_ok;
    for (int32_t op :
         {PdfRawImage_opRaw, PdfRawImage_opFlate, PdfRawImage_opLzw, PdfRawImage_opRunLength}) {
        if (applies(hook, hookArg, op, &err)) {
            *score = 100;
            return Res_ok;
        }
        if (err != Res_ok)
            return err;
    }
    return Res_ok;
}

int rawReadHeader(EngineContext *, ByteStream *, ImageObject *image, ImageHook hook, void *hookArg)
{
    if (!hook)
        return Res_pdfImageBad;
    int32_t w = 0, h = 0;
    int aw = 0, ah = 0;
    int r = askInt(hook, hookArg, PdfRawImage_opWidth, 0, &w, &aw);
    if (r == Res_ok)
        r = askInt(hook, hookArg, PdfRawImage_opHeight, 0, &h, &ah);
    if (r != Res_ok)
        return r;
    if (!aw || !ah)
        return Res_pdfImageBad;
    return ImageDec_setHeader(image, w, h, 72, 1, 3, nullptr);
}

uint8_t clampByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return uint8_t(v);
}

struct RawDecode {
    EngineContext *app;
    ImageObject *image;
    int32_t width, height, bits, samples, model, predictor, imageMask, withMask;
    float offset[32], slope[32];
    float decode0; // the first Decode value
    int32_t *key;  // colour-key [min, max] pairs, or null
    uint8_t *palette;
    uint32_t paletteCount;
    uint32_t fill; // engine colour of the fill
    size_t packedBytes;
    uint8_t *packed, *prev, *samplesRow;
    uint32_t *colours;
    uint8_t *alpha;
    RowConvFn convert;
    ByteStream *input;
    PixelBuf *band, *bandMask;
    int32_t bandRow, bandCount, filled;
};

uint32_t rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
}

// The samples of one row to colours and alpha bytes.
void writeRow(RawDecode *d)
{
    const uint8_t *s = d->samplesRow;
    int32_t n = d->samples;
    for (int32_t x = 0; x < d->width; x++, s += n) {
        uint32_t colour = 0;
        bool transparent = false;
        if (d->imageMask || d->model == modelNone) {
            bool paint = (s[0] == 0) == (d->decode0 == 0.0f);
            colour = paint          ? d->fill
                     : d->imageMask ? uint32_t(maskTransparentColour)
                                    : uint32_t(transparentColour);
            transparent = !paint;
        } else if (d->model == modelIndexed) {
            uint32_t i = d->paletteCount ? std::min<uint32_t>(s[0], d->paletteCount - 1) : 0;
            const uint8_t *p = d->palette ? d->palette + 3 * i : nullptr;
            colour = p ? rgb(p[0], p[1], p[2]) : 0;
            if (d->key && int32_t(s[0]) >= d->key[0] && int32_t(s[0]) <= d->key[1])
                transparent = true;
        } else {
            uint8_t v[4] = {0, 0, 0, 0};
            bool inKey = d->key != nullptr;
            for (int32_t c = 0; c < n && c < 4; c++) {
                v[c] = clampByte(d->offset[c] + float(s[c]) * d->slope[c] + 0.5f);
                if (d->key && (int32_t(s[c]) < d->key[2 * c] || int32_t(s[c]) > d->key[2 * c + 1]))
                    inKey = false;
            }
            if (d->model == modelGray)
                colour = rgb(v[0], v[0], v[0]);
            else if (d->model == modelRgb)
                colour = rgb(v[0], v[1], v[2]);
            else
                colour = rgb(uint8_t(std::max(0, 255 - v[0] - v[3])),
                             uint8_t(std::max(0, 255 - v[1] - v[3])),
                             uint8_t(std::max(0, 255 - v[2] - v[3])));
            transparent = inKey;
        }
        if (transparent && !(d->imageMask || d->model == modelNone))
            colour = transparentColour;
        d->colours[x] = colour;
        d->alpha[x] = transparent ? 0 : 255;
    }
}

int flushBand(RawDecode *d)
{
    if (!d->band || d->filled == 0)
        return Res_ok;
    int r = Image_putRows(d->image, d->band, d->bandMask);
    int32_t filled = d->filled;
    d->filled = 0;
    d->band = d->bandMask = nullptr;
    if (r != Res_ok)
        return r;
    return ImageDec_rowsDone(d->image, 0, d->bandRow, d->width, filled);
}

int putRow(RawDecode *d, int32_t y, bool convert)
{
    if (!d->band || y >= d->bandRow + d->bandCount) {
        int r = flushBand(d);
        if (r != Res_ok)
            return r;
        r = Image_getRowBuffer(d->image, &d->band, &d->bandMask, y, &d->bandCount);
        if (r != Res_ok)
            return r;
        d->bandRow = y;
        if (!d->band || d->bandCount <= 0) {
            d->band = d->bandMask = nullptr;
            return Res_ok;
        }
    }
    int32_t i = y - d->bandRow;
    if (i < 0 || i >= d->band->height)
        return Res_ok;
    int32_t w = std::min(d->width, d->band->width);
    if (convert)
        d->convert(d->colours, d->band->pixels + size_t(i) * d->band->stride, uint32_t(w));
    if (convert && d->bandMask && i < d->bandMask->height)
        memcpy(d->bandMask->pixels + size_t(i) * d->bandMask->stride, d->alpha,
               size_t(std::min(w, d->bandMask->width)));
    d->filled = i + 1;
    return d->filled >= d->bandCount ? flushBand(d) : Res_ok;
}

// Unpacks the packed row into one byte per sample.
void unpack(RawDecode *d)
{
    size_t count = size_t(d->width) * size_t(d->samples);
    uint32_t b = uint32_t(d->bits);
    if (b == 8) {
        memcpy(d->samplesRow, d->packed, count);
        return;
    }
    uint32_t mask = (1u << b) - 1;
    for (size_t i = 0; i < count; i++) {
        size_t bit = i * b;
        d->samplesRow[i] = uint8_t((d->packed[bit / 8] >> (8 - b - bit % 8)) & mask);
    }
}

int readParams(RawDecode *d, ImageHook hook, void *arg)
{
    int a = 0;
    int r = askInt(hook, arg, PdfRawImage_opWidth, 0, &d->width, &a);
    if (r != Res_ok)
        return r;
    if (!a || d->width <= 0)
        return Res_pdfImageBad;
    r = askInt(hook, arg, PdfRawImage_opHeight, 0, &d->height, &a);
    if (r != Res_ok)
        return r;
    if (!a || d->height <= 0)
        return Res_pdfImageBad;
    r = askInt(hook, arg, PdfRawImage_opImageMask, 0, &d->imageMask, &a);
    if (r != Res_ok)
        return r;
    if (d->imageMask) {
        d->bits = 1;
        d->withMask = 1;
    } else {
        r = askInt(hook, arg, PdfRawImage_opBits, 0, &d->bits, &a);
        if (r != Res_ok)
            return r;
        if (!a || (d->bits != 1 && d->bits != 2 && d->bits != 4 && d->bits != 8))
            return Res_pdfImageBad;
    }
    r = askInt(hook, arg, PdfRawImage_opSamples, 0, &d->samples, &a);
    if (r != Res_ok)
        return r;
    if (!a || d->samples < 1 || d->samples > 32)
        return Res_pdfImageBad;
    r = askInt(hook, arg, PdfRawImage_opColourModel, 0, &d->model, &a);
    if (r != Res_ok)
        return r;
    if (!a || d->model < 0 || d->model > int32_t(modelCmyk))
        return Res_pdfImageBad;
    if (d->imageMask)
        d->samples = 1;
    if (d->model == modelNone && !d->imageMask) {
        if (d->bits != 1)
            return Res_pdfImageBad;
        d->withMask = 1;
    }
    // Samples per pixel must fit the model.
    static const int32_t need[] = {1, 1, 3, 1, 4};
    if (!d->imageMask && d->samples != need[d->model])
        return Res_pdfImageBad;
    if (d->model == modelIndexed) {
        int32_t size = 0;
        r = askBlock(hook, arg, PdfRawImage_opPalette, 0, &d->palette, &size);
        if (r != Res_ok)
            return r;
        if (size < 0)
            return Res_pdfImageBad;
        d->paletteCount = d->palette ? uint32_t(size) / 3 : 0;
    }
    // Decode pairs: defaults (0, 1) for what the answer leaves out.
    uint8_t *decode = nullptr;
    int32_t size = 0;
    size_t pairs = size_t(d->samples);
    r = askBlock(hook, arg, PdfRawImage_opDecode, 8 * pairs, &decode, &size);
    if (r != Res_ok)
        return r;
    float values[64];
    for (size_t i = 0; i < pairs; i++) {
        values[2 * i] = 0.0f;
        values[2 * i + 1] = 1.0f;
    }
    if (decode) {
        // Only whole pairs count: the rest keep the defaults.
        size_t have = std::min(size_t(size) / 8 * 2, 2 * pairs);
        memcpy(values, decode, have * 4);
        Mem_free(decode);
    }
    d->decode0 = values[0];
    float maxval = float((1u << d->bits) - 1);
    for (size_t i = 0; i < pairs; i++) {
        d->slope[i] = (values[2 * i + 1] - values[2 * i]) * 255.0f / maxval;
        d->offset[i] = values[2 * i] * 255.0f;
    }
    uint8_t *key = nullptr;
    r = askBlock(hook, arg, PdfRawImage_opColourKey, 8 * pairs, &key, &size);
    if (r != Res_ok)
        return r;
    if (key) {
        d->key = reinterpret_cast<int32_t *>(key);
        if (size_t(size) < 8 * pairs)
            return Res_pdfImageBad; // a Mask shorter than two entries per component
        d->withMask = 1;
    }
    int32_t fillSize = 0;
    r = askSize(hook, arg, PdfRawImage_opFill, &fillSize, &a);
    if (r != Res_ok)
        return r;
    if (a && fillSize == 4) {
        uint32_t c = 0;
        r = hook(arg, PdfRawImage_opFill, &c, &fillSize);
        if (r != Res_ok)
            return r;
        d->fill = c & 0xFFFFFF;
    }
    return Res_ok;
}

int openInput(RawDecode *d, ImageHook hook, void *arg, ByteStream *stream)
{
    int err = Res_ok;
    if (applies(hook, arg, PdfRawImage_opRaw, &err)) {
        d->input = stream;
        return Res_ok;
    }
    if (applies(hook, arg, PdfRawImage_opLzw, &err)) {
        int32_t early = 1;
        int a = 0;
        int r = askInt(hook, arg, PdfRawImage_opEarlyChange, 1, &early, &a);
        if (r != Res_ok)
            return r;
        return Lzw_create(stream, &d->input, early);
    }
    if (applies(hook, arg, PdfRawImage_opFlate, &err))
        return Pdf_Filter_flateNew(stream, &d->input);
    if (applies(hook, arg, PdfRawImage_opRunLength, &err))
        return Pdf_Filter_rlNew(stream, &d->input);
    return Res_filterNoDecoder;
}

int decodeRows(RawDecode *d, ImageHook hook, void *arg, ByteStream *stream,
               const ImageCodecParams *params)
{
    int r = readParams(d, hook, arg);
    if (r != Res_ok)
        return r;
    d->convert = RowConv_forFormat(d->app, params->pixelFormat);
    if (!d->convert)
        return Res_pixelUnsupported;
    r = ImageDec_setHeader(d->image, d->width, d->height, 72, 1, 3, nullptr);
    if (r == Res_ok)
        r = Image_beginPicture(d->image, params->pixelFormat, params->maskFormat, d->withMask,
                               0x10000);
    if (r != Res_ok)
        return r;
    uint64_t rowBits = uint64_t(d->width) * uint64_t(d->bits) * uint64_t(d->samples);
    d->packedBytes = size_t((rowBits + 7) / 8);
    size_t count = size_t(d->width) * size_t(d->samples);
    d->packed = static_cast<uint8_t *>(Mem_calloc(1, d->packedBytes + 1));
    d->prev = static_cast<uint8_t *>(Mem_calloc(1, d->packedBytes + 1));
    d->samplesRow = static_cast<uint8_t *>(Mem_malloc(count));
    d->colours = static_cast<uint32_t *>(Mem_malloc(size_t(d->width) * 4));
    d->alpha = static_cast<uint8_t *>(Mem_malloc(size_t(d->width)));
    if (!d->packed || !d->prev || !d->samplesRow || !d->colours || !d->alpha)
        return Res_noMemory;
    r = openInput(d, hook, arg, stream);
    if (r != Res_ok)
        return r == Res_noMemory ? r : Res_filterNoDecoder;
    int a = 0;
    r = askInt(hook, arg, PdfRawImage_opPredictor, 1, &d->predictor, &a);
    if (r != Res_ok)
        return r;
    size_t distance = (size_t(d->bits) * size_t(d->samples) + 7) / 8;
    for (int32_t y = 0; y < d->height; y++) {
        if ((r = Task_checkStop(d->app)) != Res_ok)
            return r;
        int32_t method = d->predictor;
        if (d->predictor >= 10) {
            uint8_t tag = 0;
            r = ByteStream_readByte(d->input, &tag);
            if (r != Res_ok)
                return r == Res_byteStreamEnded ? int(Res_pdfImageBad) : r;
            method = 10 + tag;
        }
        r = ByteStream_readExact(d->input, d->packed, d->packedBytes);
        if (r != Res_ok)
            return r == Res_byteStreamEnded ? int(Res_pdfImageBad) : r;
        switch (method) {
        case 1:
        case 10: break;
        case 2: Pdf_Pred_tiffUndo(d->packed, count, uint32_t(d->bits), size_t(d->samples)); break;
        case 11: Pdf_Pred_pngSub(d->packed, d->prev, d->packedBytes, distance); break;
        case 12: Pdf_Pred_pngUp(d->packed, d->prev, d->packedBytes, distance); break;
        case 13: Pdf_Pred_pngAverage(d->packed, d->prev, d->packedBytes, distance); break;
        case 14: Pdf_Pred_pngPaeth(d->packed, d->prev, d->packedBytes, distance); break;
        default: return Res_pdfImageBad;
        }
        if (d->predictor >= 10)
            memcpy(d->prev, d->packed, d->packedBytes);
        // A row the store drops while reducing is read but not converted.
        bool dropped = Image_rowDropped(d->image, y);
        if (!dropped) {
            unpack(d);
            writeRow(d);
        }
        if ((r = putRow(d, y, !dropped)) != Res_ok)
            return r;
    }
    return Res_ok;
}

int rawDecode(EngineContext *app, void *, ByteStream *stream, ImageObject *image,
              const ImageCodecParams *params)
{
    if (!params->hook)
        return Res_pdfImageBad;
    RawDecode d{};
    d.app = app;
    d.image = image;
    int r = decodeRows(&d, params->hook, params->hookArg, stream, params);
    int flushed = flushBand(&d);
    if (r == Res_ok)
        r = flushed;
    if (r == Res_ok && !d.withMask)
        ImageDec_dropMask(image);
    if (d.input && d.input != stream)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(d.input);
    Mem_free(d.packed);
    Mem_free(d.prev);
    Mem_free(d.samplesRow);
    Mem_free(d.colours);
    Mem_free(d.alpha);
    Mem_free(d.palette);
    Mem_free(d.key);
    return r;
}

} // namespace

ImageCodec *Pdf_RawImageCodec_new()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->init = rawInit;
    c->shutdown = rawShutdown;
    c->recognise = rawRecognise;
    c->readHeader = rawReadHeader;
    c->decode = rawDecode;
    c->typeId = rawTypeId;
    return c;
}
