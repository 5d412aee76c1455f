// The WBMP codec.
#include "graphics/codecs/wbmp.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/imagecodec.h"
#include "graphics/imageconv.h"
#include "graphics/pixelbuf.h"

namespace {

// Reads one multi-byte integer at *at (below end): false when the bytes
// run out, a third byte would be needed or the value is above 1024.
bool readSize(const uint8_t *bytes, uint32_t end, uint32_t *at, int32_t *value)
{
    int32_t v = 0;
    for (int i = 0; i < 2; i++) {
        if (*at >= end)
            return false;
        uint8_t b = bytes[(*at)++];
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            *value = v;
            return v <= Wbmp_maxSize;
        }
    }
    return false;
}

// Reads and parses the header from the lookahead stream, moves past it and
// publishes the size.
int readHeaderFrom(PeekStream *peek, ImageObject *image, WbmpHeader *h)
{
    size_t got = PeekStream_fill(peek, Wbmp_headerBytes);
    if (got < Wbmp_headerBytes) {
        int status = ByteStream_takeStatus(&peek->base);
        if (status != Res_ok)
            return status;
    }
    Wbmp_parseHeader(peek->base.readPtr, uint32_t(got), h);
    if (!h->valid)
        return Res_wbmpBadHeader;
    peek->base.readPtr += h->headerLength;
    return ImageDec_setHeader(image, h->width, h->height, 0, 0, 3, nullptr);
}

int decodeBody(EngineContext *app, PeekStream *peek, ImageObject *image,
               const ImageCodecParams *params, uint32_t **work)
{
    WbmpHeader h;
    int r = readHeaderFrom(peek, image, &h);
    if (r != Res_ok)
        return r;
    RowConvFn convert = RowConv_forFormat(app, params->pixelFormat);
    PixelBuf *picture = nullptr, *mask = nullptr;
    r = ImageDec_getBuffers(image, &picture, params->pixelFormat, &mask, params->maskFormat, 0);
    if (r != Res_ok)
        return r;
    size_t width = size_t(h.width), height = size_t(h.height);
    *work = static_cast<uint32_t *>(Mem_malloc(width * height * sizeof(uint32_t)));
    if (!*work)
        return Res_noMemory;
    size_t rowBytes = (width + 7) / 8;
    for (size_t y = 0; y < height; y++) {
        if (PeekStream_fill(peek, rowBytes) < rowBytes) {
            int status = ByteStream_takeStatus(&peek->base);
            return status ? status : Res_wbmpShortData;
        }
        const uint8_t *s = peek->base.readPtr;
        uint32_t *out = *work + y * width;
        for (size_t x = 0; x < width; x++)
            out[x] = (s[x >> 3] >> (7 - (x & 7))) & 1 ? 0xFFFFFF : 0;
        peek->base.readPtr += rowBytes;
    }
    int32_t w = h.width < picture->width ? h.width : picture->width;
    int32_t rows = h.height < picture->height ? h.height : picture->height;
    RowConv_applyRowsDirect(convert, reinterpret_cast<const uint8_t *>(*work),
                            width * sizeof(uint32_t), uint32_t(w), uint32_t(rows), picture->pixels,
                            picture->stride);
    r = ImageDec_rowsDone(image, 0, 0, h.width, h.height);
    ImageDec_dropMask(image);
    return r;
}

int32_t wbmpTypeId()
{
    return Wbmp_typeId;
}

} // namespace

void Wbmp_parseHeader(const uint8_t *bytes, uint32_t count, WbmpHeader *header)
{
    *header = WbmpHeader{-1, 0, 1, 1, 0, 0};
    if (count < 4)
        return;
    uint32_t end = count < uint32_t(Wbmp_headerBytes) ? count : uint32_t(Wbmp_headerBytes);
    header->type = bytes[0];
    if (header->type != 0)
        return;
    header->fixedHeader = bytes[1];
    uint32_t at = 2;
    int32_t width = 1, height = 1;
    if (!readSize(bytes, end, &at, &width) || !readSize(bytes, end, &at, &height))
        return;
    header->width = width;
    header->height = height;
    header->headerLength = int32_t(at);
    header->valid = 1;
}

int Wbmp_recognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                   uint32_t flags)
{
    *score = 0;
    if (!(flags & ImageDec_flagRecognise) || !bytes || !count)
        return Res_ok;
    WbmpHeader h;
    Wbmp_parseHeader(bytes, count, &h);
    if (h.valid)
        *score = Wbmp_score;
    return Res_ok;
}

int Wbmp_readHeader(EngineContext *, ByteStream *stream, ImageObject *image, ImageHook, void *)
{
    PeekStream *peek = PeekStream_create(stream, 0);
    if (!peek)
        return Res_noMemory;
    WbmpHeader h;
    int r = readHeaderFrom(peek, image, &h);
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(&peek->base);
    return r;
}

int Wbmp_decode(EngineContext *app, void *, ByteStream *stream, ImageObject *image,
                const ImageCodecParams *params)
{
    if (!RowConv_forFormat(app, params->pixelFormat))
        return Res_wbmpNoConverter;
    PeekStream *peek = PeekStream_create(stream, 0);
    if (!peek)
        return Res_noMemory;
    uint32_t *work = nullptr;
    int r = decodeBody(app, peek, image, params, &work);
    Mem_free(work);
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(&peek->base);
    return r;
}

ImageCodec *Codec_wbmpDescriptor()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->recognise = Wbmp_recognise;
    c->readHeader = Wbmp_readHeader;
    c->decode = Wbmp_decode;
    c->typeId = wbmpTypeId;
    return c;
}
