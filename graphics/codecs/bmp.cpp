// The BMP codec.
//
// Every size from the file is checked before it is used: width and height
// must be positive (a height may be negative for top-down rows, but not 0),
// and row and buffer sizes are worked out in 64 bits, so that a size the
// heap cannot hold fails with 1 instead of a short buffer.
#include "graphics/codecs/bmp.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/imagecodec.h"
#include "graphics/imageconv.h"
#include "graphics/pixelbuf.h"

namespace {

enum : uint32_t {
    fileHeaderSize = 14,
    coreHeaderSize = 12,
    infoHeaderSize = 40,
    os2HeaderSize = 64,      // OS/2 2.x: no masks inside
    maskHeaderSize = 52,     // the smallest header holding the colour masks
    alphaHeaderSize = 56,    // ... and the alpha mask
    v4HeaderSize = 108,      // ... and the colour-space fields
    v5HeaderSize = 124,      // ... and the rendering intent and profile
    maxHeaderSize = 0x10000, // larger is no bitmap header
    compressNone = 0,
    compressRle8 = 1,
    compressRle4 = 2,
    compressBitFields = 3,
    compressAlphaBitFields = 6, // bit fields with an alpha mask after the masks
};

// What the headers say.
struct BmpHeader {
    uint32_t dataOffset;
    uint32_t headerSize;
    int32_t width;
    int32_t height; // rows; topDown tells the order
    int32_t topDown;
    uint32_t bits;
    uint32_t compression;
    uint32_t coloursUsed;
    int32_t dpi;          // from the horizontal resolution; 0 when not stated
    uint32_t masks[4];    // red, green, blue, alpha (bit fields)
    int32_t masksRead;    // the header held the masks (52 bytes and more)
    uint32_t colourSpace; // the colour-space type of a version 4 or 5 header
    uint64_t consumed;    // bytes read from the start of the file
};

// One channel of a bit-field pixel: ((pixel & mask) >> shift) scaled to 8
// bits. A channel wider than 8 bits keeps its top 8 bits.
struct BitField {
    uint32_t mask;
    uint32_t shift;
    uint32_t width;
};

BitField bitField(uint32_t mask)
{
    BitField f{mask, 0, 0};
    if (!mask)
        return f;
    while (!((mask >> f.shift) & 1))
        f.shift++;
    while (f.shift + f.width < 32 && ((mask >> (f.shift + f.width)) & 1))
        f.width++;
    return f;
}

uint32_t fieldValue(const BitField &f, uint32_t pixel)
{
    uint32_t v = (pixel & f.mask) >> f.shift;
    if (f.width > 8)
        return (v >> (f.width - 8)) & 0xFF;
    return (v << (8 - f.width)) & 0xFF;
}

// An alpha channel is scaled to the full range, so that the largest value
// of a narrow alpha field (1 bit of a 1-5-5-5 pixel) is opaque.
uint32_t alphaValue(const BitField &f, uint32_t pixel)
{
    uint32_t v = (pixel & f.mask) >> f.shift;
    if (f.width >= 8)
        return (v >> (f.width - 8)) & 0xFF;
    return v * 255 / ((1u << f.width) - 1);
}

// Makes n bytes contiguous at the read pointer of peek: 0, or the
// stream's error, or shortCode when the data end first.
int need(PeekStream *peek, size_t n, int shortCode)
{
    if (PeekStream_fill(peek, n) >= n)
        return Res_ok;
    int status = ByteStream_takeStatus(&peek->base);
    return status ? status : shortCode;
}

// A read or skip result with the plain end of the data as 0x1E07.
int ended(int r)
{
    return r == Res_byteStreamEnded ? Res_bmpShortData : r;
}

// Reads the file header, the header size and the fields of the header
// that the decoder uses: everything a header of 40 bytes or more holds up
// to the colour-space type, or the 12 bytes of the core header. Bytes of a
// longer header are left unread (skipped later); for a 40-byte header with
// bit fields the masks that follow it are left unread too.
int readHeaders(PeekStream *peek, BmpHeader *h)
{
    *h = BmpHeader{};
    size_t got = PeekStream_fill(peek, fileHeaderSize + 4);
    const uint8_t *p = peek->base.readPtr;
    if (got >= 2 && (p[0] != 'B' || p[1] != 'M'))
        return Res_bmpBadSignature;
    int r = need(peek, fileHeaderSize + 4, Res_bmpShortData);
    if (r != Res_ok)
        return r;
    p = peek->base.readPtr;
    h->dataOffset = Bytes_peekU32Le(p + 10);
    h->headerSize = Bytes_peekU32Le(p + 14);
    bool core = h->headerSize == coreHeaderSize;
    if (!core && (h->headerSize < infoHeaderSize || h->headerSize > maxHeaderSize))
        return Res_bmpBadHeader;
    peek->base.readPtr += fileHeaderSize + 4;
    uint32_t rest = (core ? coreHeaderSize : std::min<uint32_t>(h->headerSize, v4HeaderSize)) - 4;
    r = need(peek, rest, Res_bmpShortData);
    if (r != Res_ok)
        return r;
    p = peek->base.readPtr;
    int64_t height = 0;
    if (core) {
        h->width = Bytes_peekU16Le(p);
        height = Bytes_peekU16Le(p + 2);
        h->bits = Bytes_peekU16Le(p + 6);
    } else {
        h->width = int32_t(Bytes_peekU32Le(p));
        height = int32_t(Bytes_peekU32Le(p + 4));
        h->bits = Bytes_peekU16Le(p + 10);
        h->compression = Bytes_peekU32Le(p + 12);
        // Pixels per metre; a value below 10 (under 1 dpi) states nothing.
        uint32_t perMetre = Bytes_peekU32Le(p + 20);
        h->dpi = perMetre >= 10
                     ? int32_t(std::min<uint64_t>(uint64_t(perMetre) * 254 / 10000, INT32_MAX))
                     : 0;
        h->coloursUsed = Bytes_peekU32Le(p + 28);
        // From 52 bytes on the header holds the masks (the 64-byte OS/2
        // header has other fields there), from 56 the alpha mask, from 108
        // the colour-space type.
        if (h->headerSize >= maskHeaderSize && h->headerSize != os2HeaderSize) {
            for (int i = 0; i < 3; i++)
                h->masks[i] = Bytes_peekU32Le(p + 36 + 4 * i);
            h->masksRead = 1;
            if (h->headerSize >= alphaHeaderSize)
                h->masks[3] = Bytes_peekU32Le(p + 48);
            if (h->headerSize >= v4HeaderSize)
                h->colourSpace = Bytes_peekU32Le(p + 52);
        }
    }
    peek->base.readPtr += rest;
    h->consumed = fileHeaderSize + 4 + rest;
    h->topDown = height < 0 ? 1 : 0;
    if (height < 0)
        height = -height;
    if (h->width <= 0 || height <= 0 || height > INT32_MAX)
        return Res_bmpBadHeader;
    h->height = int32_t(height);
    return Res_ok;
}

// Skips n bytes (counted in h->consumed).
int skip(PeekStream *peek, BmpHeader *h, uint64_t n)
{
    if (n > SIZE_MAX)
        return Res_bmpShortData;
    h->consumed += n;
    return ended(ByteStream_skip(&peek->base, size_t(n)));
}

// The state of one decode.
struct BmpDecode {
    ImageObject *image;
    PeekStream *peek;
    BmpHeader h;
    uint32_t *palette; // 256 colours, black beyond the file's entries
    uint32_t *row;     // width colours
    uint8_t *raw;      // one stored row (uncompressed data)
    uint64_t rowBytes;
    BitField fields[4]; // red, green, blue, alpha
    RowConvFn convert;
    RowConvAlphaFn convertAlpha; // set when the pixels carry alpha
    int32_t anyAlpha;            // some pixel's alpha is not 0
    PixelBuf *picture;
    PixelBuf *mask;
    int32_t rowsOut; // rows written so far
};

// Converts the colour row into the next picture row and reports it.
int emitRow(BmpDecode *d)
{
    int32_t y = d->h.topDown ? d->rowsOut : d->h.height - 1 - d->rowsOut;
    d->rowsOut++;
    PixelBuf *pic = d->picture;
    int32_t width = d->h.width < pic->width ? d->h.width : pic->width;
    if (y >= 0 && y < pic->height) {
        uint8_t *out = pic->pixels + size_t(y) * pic->stride;
        if (d->convertAlpha && d->mask && y < d->mask->height) {
            int32_t n = std::min(width, d->mask->width);
            d->convertAlpha(d->row, out, d->mask->pixels + size_t(y) * d->mask->stride,
                            uint32_t(n));
        } else {
            d->convert(d->row, out, uint32_t(width));
            if (d->mask && y < d->mask->height)
                memset(d->mask->pixels + size_t(y) * d->mask->stride, 255, size_t(d->mask->width));
        }
    }
    return ImageDec_rowsDone(d->image, 0, y, d->h.width, 1);
}

// The colour of a bit-field pixel, alpha in the top byte when the pixels
// carry alpha.
uint32_t fieldsColour(BmpDecode *d, uint32_t v)
{
    uint32_t c = fieldValue(d->fields[0], v) | (fieldValue(d->fields[1], v) << 8) |
                 (fieldValue(d->fields[2], v) << 16);
    if (d->convertAlpha) {
        uint32_t a = alphaValue(d->fields[3], v);
        d->anyAlpha |= a != 0;
        c |= a << 24;
    }
    return c;
}

// Expands one stored row into colours.
void expandRow(BmpDecode *d)
{
    const uint8_t *s = d->raw;
    uint32_t *out = d->row;
    uint32_t n = uint32_t(d->h.width);
    switch (d->h.bits) {
    case 1:
        for (uint32_t x = 0; x < n; x++)
            out[x] = d->palette[(s[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    case 4:
        for (uint32_t x = 0; x < n; x++)
            out[x] = d->palette[(x & 1) ? s[x >> 1] & 15 : s[x >> 1] >> 4];
        break;
    case 8:
        for (uint32_t x = 0; x < n; x++)
            out[x] = d->palette[s[x]];
        break;
    case 16:
        for (uint32_t x = 0; x < n; x++) {
            uint32_t v = Bytes_peekU16Le(s + 2 * size_t(x));
            if (d->h.compression == compressBitFields) {
                out[x] = fieldsColour(d, v);
            } else {
                out[x] =
                    ((v & 0x7C00) >> 7) | (((v & 0x03E0) >> 2) << 8) | ((v & 0x001F) << 3 << 16);
            }
        }
        break;
    case 24:
        for (uint32_t x = 0; x < n; x++, s += 3)
            out[x] = s[2] | (uint32_t(s[1]) << 8) | (uint32_t(s[0]) << 16);
        break;
    case 32:
        for (uint32_t x = 0; x < n; x++, s += 4) {
            if (d->h.compression == compressBitFields) {
                out[x] = fieldsColour(d, Bytes_peekU32Le(s));
            } else {
                out[x] = s[2] | (uint32_t(s[1]) << 8) | (uint32_t(s[0]) << 16);
            }
        }
        break;
    }
}

int decodeUncompressed(BmpDecode *d)
{
    if (d->rowBytes > SIZE_MAX)
        return Res_noMemory;
    d->raw = static_cast<uint8_t *>(Mem_malloc(size_t(d->rowBytes)));
    if (!d->raw)
        return Res_noMemory;
    for (int32_t y = 0; y < d->h.height; y++) {
        int r = ended(ByteStream_readExact(&d->peek->base, d->raw, size_t(d->rowBytes)));
        if (r != Res_ok)
            return r;
        expandRow(d);
        r = emitRow(d);
        if (r != Res_ok)
            return r;
    }
    return Res_ok;
}

int decodeRle(BmpDecode *d)
{
    const bool rle8 = d->h.compression == compressRle8;
    const uint32_t width = uint32_t(d->h.width);
    PeekStream *peek = d->peek;
    uint32_t x = 0;
    for (;;) {
        if (d->rowsOut == d->h.height) {
            // After the last row only the end of the bitmap or of the data.
            size_t got = PeekStream_fill(peek, 2);
            if (got == 0)
                return ByteStream_takeStatus(&peek->base);
            const uint8_t *p = peek->base.readPtr;
            return got >= 2 && p[0] == 0 && p[1] == 1 ? Res_ok : Res_bmpBadSignature;
        }
        int r = need(peek, 2, Res_bmpShortData);
        if (r != Res_ok)
            return r;
        uint32_t count = peek->base.readPtr[0], value = peek->base.readPtr[1];
        peek->base.readPtr += 2;
        if (count > 0) {
            // A run; pixels past the row's end are dropped.
            for (uint32_t i = 0; i < count && x < width; i++, x++) {
                uint32_t index = rle8 ? value : (i & 1) ? value & 15 : value >> 4;
                d->row[x] = d->palette[index];
            }
            continue;
        }
        if (value == 0 || value == 1) {
            if (x != width)
                return Res_bmpShortData;
            r = emitRow(d);
            if (r != Res_ok)
                return r;
            x = 0;
            if (value == 1)
                return d->rowsOut == d->h.height ? Res_ok : Res_bmpShortData;
            continue;
        }
        if (value == 2)
            return Res_bmpDeltaEscape;
        // An absolute run of value pixels, padded to an even byte count.
        uint32_t bytes = rle8 ? value : (value + 1) / 2;
        r = need(peek, bytes, Res_bmpShortData);
        if (r != Res_ok)
            return r;
        const uint8_t *s = peek->base.readPtr;
        for (uint32_t i = 0; i < value && x < width; i++, x++) {
            uint32_t index = rle8 ? s[i] : (i & 1) ? s[i >> 1] & 15 : s[i >> 1] >> 4;
            d->row[x] = d->palette[index];
        }
        peek->base.readPtr += bytes;
        if (bytes & 1) {
            if (PeekStream_fill(peek, 1) >= 1)
                peek->base.readPtr++;
        }
    }
}

int decodeBody(EngineContext *app, BmpDecode *d, const ImageCodecParams *params)
{
    d->convert = RowConv_forFormat(app, params->pixelFormat);
    if (!d->convert)
        return Res_bmpNoConverter;
    BmpHeader *h = &d->h;
    int r = readHeaders(d->peek, h);
    if (r != Res_ok)
        return r;
    bool core = h->headerSize == coreHeaderSize;
    // Bit fields with an alpha mask are bit fields whose masks include
    // alpha: after a 40-byte header four masks follow instead of three.
    uint32_t maskCount = 3;
    if (h->compression == compressAlphaBitFields) {
        h->compression = compressBitFields;
        maskCount = 4;
    }
    if (h->compression > compressBitFields)
        return Res_bmpBadCompression;
    if ((h->compression == compressRle8 && h->bits != 8) ||
        (h->compression == compressRle4 && h->bits != 4) ||
        (h->compression == compressBitFields && h->bits != 16 && h->bits != 32))
        return Res_bmpBadCompression;
    if (h->compression == compressBitFields) {
        // A header of 52 bytes or more holds the masks; a shorter one is
        // followed by them.
        if (!h->masksRead) {
            r = need(d->peek, 4 * maskCount, Res_bmpShortData);
            if (r != Res_ok)
                return r;
            for (uint32_t i = 0; i < maskCount; i++)
                h->masks[i] = Bytes_peekU32Le(d->peek->base.readPtr + 4 * i);
            d->peek->base.readPtr += 4 * maskCount;
            h->consumed += 4 * maskCount;
        }
        for (int i = 0; i < 4; i++)
            d->fields[i] = bitField(h->masks[i]);
        if (h->masks[3]) {
            d->convertAlpha = RowConvAlpha_forFormat(app, params->pixelFormat, params->maskFormat);
            if (!d->convertAlpha)
                return Res_bmpNoConverter;
        }
    }
    uint64_t headerEnd = fileHeaderSize + uint64_t(h->headerSize);
    if (h->consumed < headerEnd) {
        r = skip(d->peek, h, headerEnd - h->consumed);
        if (r != Res_ok)
            return r;
    }
    d->palette = static_cast<uint32_t *>(Mem_calloc(256, sizeof(uint32_t)));
    if (!d->palette)
        return Res_noMemory;
    if (h->compression != compressBitFields) {
        if (h->bits == 1 || h->bits == 4 || h->bits == 8) {
            uint32_t entries = 1u << h->bits;
            if (!core && h->coloursUsed != 0 && h->coloursUsed < entries)
                entries = h->coloursUsed;
            uint32_t entrySize = core ? 3 : 4;
            r = need(d->peek, size_t(entries) * entrySize, Res_bmpShortData);
            if (r != Res_ok)
                return r;
            const uint8_t *p = d->peek->base.readPtr;
            for (uint32_t i = 0; i < entries; i++, p += entrySize)
                d->palette[i] = p[2] | (uint32_t(p[1]) << 8) | (uint32_t(p[0]) << 16);
            d->peek->base.readPtr += size_t(entries) * entrySize;
            h->consumed += uint64_t(entries) * entrySize;
        } else if (h->bits != 16 && h->bits != 24 && h->bits != 32) {
            return Res_bmpBadDepth;
        }
    }
    r = ImageDec_setHeader(d->image, h->width, h->height, h->dpi, 0, 3, nullptr);
    if (r != Res_ok)
        return r;
    r = ImageDec_getBuffers(d->image, &d->picture, params->pixelFormat, &d->mask,
                            params->maskFormat, d->convertAlpha ? 1 : 0);
    if (r != Res_ok)
        return r;
    d->row = static_cast<uint32_t *>(Mem_calloc(size_t(h->width), sizeof(uint32_t)));
    if (!d->row)
        return Res_noMemory;
    if (h->dataOffset < h->consumed)
        return Res_bmpNoConverter;
    r = skip(d->peek, h, h->dataOffset - h->consumed);
    if (r != Res_ok)
        return r;
    d->rowBytes = ((uint64_t(h->bits) * uint64_t(h->width) + 7) / 8 + 3) & ~uint64_t(3);
    if (h->compression == compressRle8 || h->compression == compressRle4)
        return decodeRle(d);
    return decodeUncompressed(d);
}

int32_t bmpTypeId()
{
    return Bmp_typeId;
}

} // namespace

int Bmp_recognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                  uint32_t flags)
{
    *score = 0;
    if ((flags & ImageDec_flagRecognise) && count >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        *score = 100;
    return Res_ok;
}

int Bmp_readHeader(EngineContext *, ByteStream *stream, ImageObject *image, ImageHook, void *)
{
    PeekStream *peek = PeekStream_create(stream, 0);
    if (!peek)
        return Res_noMemory;
    BmpHeader h;
    int r = readHeaders(peek, &h);
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(&peek->base);
    if (r != Res_ok)
        return r;
    return ImageDec_setHeader(image, h.width, h.height, h.dpi, 0, 3, nullptr);
}

int Bmp_decode(EngineContext *app, void *, ByteStream *stream, ImageObject *image,
               const ImageCodecParams *params)
{
    PeekStream *peek = PeekStream_create(stream, 0);
    if (!peek)
        return Res_noMemory;
    BmpDecode d{};
    d.image = image;
    d.peek = peek;
    int r = decodeBody(app, &d, params);
    // A picture is opaque unless its pixels carry alpha: then the mask
    // written meanwhile stays. Pixels whose alpha is 0 everywhere come from
    // writers that set an alpha mask but never fill it: such a picture is
    // shown opaque, not as nothing.
    if (r == Res_ok && d.convertAlpha && d.anyAlpha && d.mask)
        ImageDec_setTransparency(image, 1);
    else
        ImageDec_dropMask(image);
    Mem_free(d.palette);
    Mem_free(d.row);
    Mem_free(d.raw);
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(&peek->base);
    return r;
}

ImageCodec *Codec_bmpDescriptor()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->recognise = Bmp_recognise;
    c->readHeader = Bmp_readHeader;
    c->decode = Bmp_decode;
    c->typeId = bmpTypeId;
    return c;
}
