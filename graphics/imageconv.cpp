// Pixel converters of the image decoders: one small function per output
// format, collected in constant tables so that a decoder picks its
// converter once and calls it per row.
#include "graphics/imageconv.h"

#include <cstring>

#include "graphics/pixelbuf.h"

namespace {

uint32_t red(uint32_t c)
{
    return c & 0xFF;
}
uint32_t green(uint32_t c)
{
    return (c >> 8) & 0xFF;
}
uint32_t blue(uint32_t c)
{
    return (c >> 16) & 0xFF;
}

uint32_t pack444(uint32_t r, uint32_t g, uint32_t b)
{
    return ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4);
}
uint32_t pack565(uint32_t r, uint32_t g, uint32_t b)
{
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}
uint32_t pack555(uint32_t r, uint32_t g, uint32_t b)
{
    return ((b >> 3) << 10) | ((g >> 3) << 5) | (r >> 3);
}
uint32_t pack32(uint32_t r, uint32_t g, uint32_t b)
{
    return r | (g << 8) | (b << 16);
}

uint32_t colour444(uint32_t c)
{
    return pack444(red(c), green(c), blue(c));
}
uint32_t colour565(uint32_t c)
{
    return pack565(red(c), green(c), blue(c));
}
uint32_t colour555(uint32_t c)
{
    return pack555(red(c), green(c), blue(c));
}
uint32_t colour32(uint32_t c)
{
    return c & 0x00FFFFFF;
}

// Writes one converted pixel of a 16-bit format.
template <uint32_t (*Pack)(uint32_t)> void row16(const uint32_t *colours, void *dst, uint32_t n)
{
    uint16_t *out = static_cast<uint16_t *>(dst);
    for (uint32_t i = 0; i < n; i++)
        out[i] = uint16_t(Pack(colours[i]));
}

template <uint32_t (*Pack)(uint32_t)> void rowAlpha16(const uint32_t *colours, void *dst, uint8_t *alpha, uint32_t n)
{
    uint16_t *out = static_cast<uint16_t *>(dst);
    for (uint32_t i = 0; i < n; i++) {
        out[i] = uint16_t(Pack(colours[i]));
        alpha[i] = uint8_t(colours[i] >> 24);
    }
}

template <uint32_t (*Pack)(uint32_t, uint32_t, uint32_t)> void triplets16(const uint8_t *rgb, void *dst, uint32_t n)
{
    uint16_t *out = static_cast<uint16_t *>(dst);
    for (uint32_t i = 0; i < n; i++, rgb += 3)
        out[i] = uint16_t(Pack(rgb[0], rgb[1], rgb[2]));
}

void row32(const uint32_t *colours, void *dst, uint32_t n)
{
    memcpy(dst, colours, size_t(n) * 4);
}

void rowAlpha32(const uint32_t *colours, void *dst, uint8_t *alpha, uint32_t n)
{
    uint32_t *out = static_cast<uint32_t *>(dst);
    for (uint32_t i = 0; i < n; i++) {
        out[i] = colours[i] & 0x00FFFFFF;
        alpha[i] = uint8_t(colours[i] >> 24);
    }
}

void triplets32(const uint8_t *rgb, void *dst, uint32_t n)
{
    uint32_t *out = static_cast<uint32_t *>(dst);
    for (uint32_t i = 0; i < n; i++, rgb += 3)
        out[i] = pack32(rgb[0], rgb[1], rgb[2]);
}

constexpr PalConv palettes[] = {
    {Pixel_format444, colour444, triplets16<pack444>},
    {Pixel_format565Alt, colour565, triplets16<pack565>},
    {Pixel_format555, colour555, triplets16<pack555>},
    {Pixel_format565, colour565, triplets16<pack565>},
    {Pixel_formatRGBA, colour32, triplets32},
};

} // namespace

const PalConv *PalConv_forFormat(EngineContext *, uint32_t format)
{
    for (const PalConv &p : palettes)
        if (p.format == format)
            return &p;
    return nullptr;
}

RowConvFn RowConv_forFormat(EngineContext *, uint32_t format)
{
    switch (format) {
    case Pixel_format444:
        return row16<colour444>;
    case Pixel_format565Alt:
    case Pixel_format565:
        return row16<colour565>;
    case Pixel_format555:
        return row16<colour555>;
    case Pixel_formatRGBA:
        return row32;
    default:
        return nullptr;
    }
}

RowConvAlphaFn RowConvAlpha_forFormat(EngineContext *, uint32_t format, uint32_t maskFormat)
{
    if (maskFormat != Pixel_formatGrey8)
        return nullptr;
    switch (format) {
    case Pixel_format444:
        return rowAlpha16<colour444>;
    case Pixel_format565Alt:
    case Pixel_format565:
        return rowAlpha16<colour565>;
    case Pixel_format555:
        return rowAlpha16<colour555>;
    case Pixel_formatRGBA:
        return rowAlpha32;
    default:
        return nullptr;
    }
}

void RowConv_applyRows(const PalConv *converter, const uint8_t *src, size_t srcStride, uint32_t count,
                       uint32_t rows, uint8_t *dst, size_t dstStride)
{
    for (uint32_t r = 0; r < rows; r++, src += srcStride, dst += dstStride)
        converter->triplets(src, dst, count);
}

void RowConv_applyRowsDirect(RowConvFn convert, const uint8_t *src, size_t srcStride, uint32_t count,
                             uint32_t rows, uint8_t *dst, size_t dstStride)
{
    for (uint32_t r = 0; r < rows; r++, src += srcStride, dst += dstStride)
        convert(reinterpret_cast<const uint32_t *>(src), dst, count);
}

void RowConv_applyRowsAlpha(RowConvAlphaFn convert, const uint8_t *src, size_t srcStride, uint32_t count,
                            uint32_t rows, uint8_t *dst, size_t dstStride, uint8_t *mask, size_t maskStride)
{
    for (uint32_t r = 0; r < rows; r++, src += srcStride, dst += dstStride, mask += maskStride)
        convert(reinterpret_cast<const uint32_t *>(src), dst, mask, count);
}

// ------------------------------------------------- sampled image pixels

namespace {

uint32_t decodeSample(const SampleDecode *d, uint32_t sample)
{
    float v = d->offset + float(sample) * d->scale + 0.5f;
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return uint32_t(v);
}

bool inKey(const SampleKey &k, uint32_t v)
{
    return int32_t(v) >= k.min && int32_t(v) <= k.max;
}

uint32_t cmykPart(uint32_t colourant, uint32_t k)
{
    int32_t v = 255 - int32_t(colourant) - int32_t(k);
    return v > 0 ? uint32_t(v) : 0;
}

// One pixel's colour, or false when it is masked.
bool samplePixel(const SampleConv *c, const uint8_t *s, uint32_t *r, uint32_t *g, uint32_t *b)
{
    const SampleDecode *d = c->decode;
    switch (c->kind) {
    case Sample_stencil: {
        uint32_t maskedValue = (!d || d[0].offset == 0.0f) ? 1 : 0;
        if (s[0] == maskedValue)
            return false;
        *r = red(c->paint), *g = green(c->paint), *b = blue(c->paint);
        return true;
    }
    case Sample_rgb:
        *r = s[0], *g = s[1], *b = s[2];
        return true;
    case Sample_rgbScaled:
        *r = uint32_t(s[0] * c->factors[0]) & 255;
        *g = uint32_t(s[1] * c->factors[1]) & 255;
        *b = uint32_t(s[2] * c->factors[2]) & 255;
        return true;
    case Sample_rgbDecodedKeyed:
        if (inKey(c->key[0], s[0]) && inKey(c->key[1], s[1]) && inKey(c->key[2], s[2]))
            return false;
        [[fallthrough]];
    case Sample_rgbDecoded:
        *r = d ? decodeSample(&d[0], s[0]) : s[0];
        *g = d ? decodeSample(&d[1], s[1]) : s[1];
        *b = d ? decodeSample(&d[2], s[2]) : s[2];
        return true;
    case Sample_cmyk:
        *r = cmykPart(s[0], s[3]), *g = cmykPart(s[1], s[3]), *b = cmykPart(s[2], s[3]);
        return true;
    case Sample_cmykScaled: {
        uint32_t v[4];
        for (int i = 0; i < 4; i++)
            v[i] = uint32_t(s[i] * c->factors[i]) & 255;
        *r = cmykPart(v[0], v[3]), *g = cmykPart(v[1], v[3]), *b = cmykPart(v[2], v[3]);
        return true;
    }
    case Sample_cmykDecodedKeyed:
        if (inKey(c->key[0], s[0]) && inKey(c->key[1], s[1]) && inKey(c->key[2], s[2]) && inKey(c->key[3], s[3]))
            return false;
        [[fallthrough]];
    case Sample_cmykDecoded: {
        uint32_t v[4];
        for (int i = 0; i < 4; i++)
            v[i] = d ? decodeSample(&d[i], s[i]) : s[i];
        *r = cmykPart(v[0], v[3]), *g = cmykPart(v[1], v[3]), *b = cmykPart(v[2], v[3]);
        return true;
    }
    case Sample_indexed: {
        if (inKey(c->key[0], s[0]))
            return false;
        if (!c->palette || c->paletteCount == 0) {
            *r = *g = *b = 0;
            return true;
        }
        uint32_t i = s[0] < c->paletteCount ? s[0] : c->paletteCount - 1;
        const uint8_t *p = c->palette + size_t(i) * 3;
        *r = p[0], *g = p[1], *b = p[2];
        return true;
    }
    case Sample_grey:
        *r = *g = *b = s[0];
        return true;
    case Sample_greyScaled:
        *r = *g = *b = uint32_t(s[0] * c->factors[0]) & 255;
        return true;
    case Sample_greyDecodedKeyed:
        if (inKey(c->key[0], s[0]))
            return false;
        [[fallthrough]];
    case Sample_greyDecoded:
        *r = *g = *b = d ? decodeSample(&d[0], s[0]) : s[0];
        return true;
    }
    *r = *g = *b = 0;
    return true;
}

uint32_t bytesPerSample(SampleKind kind)
{
    switch (kind) {
    case Sample_rgb:
    case Sample_rgbScaled:
    case Sample_rgbDecoded:
    case Sample_rgbDecodedKeyed:
        return 3;
    case Sample_cmyk:
    case Sample_cmykScaled:
    case Sample_cmykDecoded:
    case Sample_cmykDecodedKeyed:
        return 4;
    default:
        return 1;
    }
}

} // namespace

void SampleConv_row(const SampleConv *conv, const uint8_t *src, void *dst, uint8_t *mask, uint32_t n)
{
    uint32_t step = bytesPerSample(conv->kind);
    bool wide = conv->format == Pixel_formatRGBA;
    for (uint32_t i = 0; i < n; i++, src += step) {
        uint32_t r = 0, g = 0, b = 0;
        bool shown = samplePixel(conv, src, &r, &g, &b);
        uint32_t pixel = !shown ? uint32_t(Sample_maskedPixel) : wide ? pack32(r, g, b) : pack565(r, g, b);
        if (wide)
            static_cast<uint32_t *>(dst)[i] = pixel;
        else
            static_cast<uint16_t *>(dst)[i] = uint16_t(pixel);
        if (mask)
            mask[i] = shown ? 255 : 0;
    }
}
