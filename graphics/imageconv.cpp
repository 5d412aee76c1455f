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

template <uint32_t (*Pack)(uint32_t)>
void rowAlpha16(const uint32_t *colours, void *dst, uint8_t *alpha, uint32_t n)
{
    uint16_t *out = static_cast<uint16_t *>(dst);
    for (uint32_t i = 0; i < n; i++) {
        out[i] = uint16_t(Pack(colours[i]));
        alpha[i] = uint8_t(colours[i] >> 24);
    }
}

template <uint32_t (*Pack)(uint32_t, uint32_t, uint32_t)>
void triplets16(const uint8_t *rgb, void *dst, uint32_t n)
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
    case Pixel_format444: return row16<colour444>;
    case Pixel_format565Alt:
    case Pixel_format565: return row16<colour565>;
    case Pixel_format555: return row16<colour555>;
    case Pixel_formatRGBA: return row32;
    default: return nullptr;
    }
}

RowConvAlphaFn RowConvAlpha_forFormat(EngineContext *, uint32_t format, uint32_t maskFormat)
{
    if (maskFormat != Pixel_formatGrey8)
        return nullptr;
    switch (format) {
    case Pixel_format444: return rowAlpha16<colour444>;
    case Pixel_format565Alt:
    case Pixel_format565: return rowAlpha16<colour565>;
    case Pixel_format555: return rowAlpha16<colour555>;
    case Pixel_formatRGBA: return rowAlpha32;
    default: return nullptr;
    }
}

void RowConv_applyRows(const PalConv *converter, const uint8_t *src, size_t srcStride,
                       uint32_t count, uint32_t rows, uint8_t *dst, size_t dstStride)
{
    for (uint32_t r = 0; r < rows; r++, src += srcStride, dst += dstStride)
        converter->triplets(src, dst, count);
}

void RowConv_applyRowsDirect(RowConvFn convert, const uint8_t *src, size_t srcStride,
                             uint32_t count, uint32_t rows, uint8_t *dst, size_t dstStride)
{
    for (uint32_t r = 0; r < rows; r++, src += srcStride, dst += dstStride)
        convert(reinterpret_cast<const uint32_t *>(src), dst, count);
}

void RowConv_applyRowsAlpha(RowConvAlphaFn convert, const uint8_t *src, size_t srcStride,
                            uint32_t count, uint32_t rows, uint8_t *dst, size_t dstStride,
                            uint8_t *mask, size_t maskStride)
{
    for (uint32_t r = 0; r < rows; r++, src += srcStride, dst += dstStride, mask += maskStride)
        convert(reinterpret_cast<const uint32_t *>(src), dst, mask, count);
}
