// Colour transforms of decoded pictures through per-channel tables.
#include "graphics/colourtransform.h"

#include "graphics/pixelbuf.h"
#include "graphics/transfer.h"
#include "graphics/plane.h"

void ColourTransform_channelTable(int32_t multiplier, int32_t offset, uint32_t bits, uint8_t *table)
{
    int32_t top = (1 << bits) - 1;
    // Arithmetic shifts of signed values, written as floor divisions.
    int32_t m = multiplier >> 8;
    int32_t o = offset >> (8 - bits);
    for (int32_t i = 0; i <= top; i++) {
        int64_t v = int64_t(i) * m + o;
        v += v >> bits;
        if (v < 0)
            v = 0;
        v >>= 8;
        table[i] = uint8_t(v > top ? top : v);
    }
}

void PixelBuf_colourTransformGrey(PixelBuf *destination, const PixelBuf *source,
                                  const ColourTransform *t)
{
    uint8_t table[256];
    ColourTransform_channelTable(t->multiply[3], t->offset[3], 8, table);
    Pixel_mapRows8(table, source->pixels, destination->pixels, uint32_t(source->width),
                   uint32_t(source->height), source->stride, destination->stride);
}

void PixelBuf_colourTransform565(PixelBuf *destination, const PixelBuf *source,
                                 const ColourTransform *t)
{
    uint8_t tables[32 + 64 + 32];
    ColourTransform_channelTable(t->multiply[0], t->offset[0], 5, tables);
    ColourTransform_channelTable(t->multiply[1], t->offset[1], 6, tables + 32);
    ColourTransform_channelTable(t->multiply[2], t->offset[2], 5, tables + 96);
    Pixel_mapChannels565(tables, source->pixels, destination->pixels, source->width, source->height,
                         source->stride, destination->stride);
}

void PixelBuf_applyColourTransform(PixelBuf *destination, const PixelBuf *source,
                                   const ColourTransform *t)
{
    if (!destination || !source || !t || source->width <= 0 || source->height <= 0)
        return;
    if (destination->format == Pixel_formatGrey8)
        PixelBuf_colourTransformGrey(destination, source, t);
    else if (destination->format == Pixel_format565)
        PixelBuf_colourTransform565(destination, source, t);
}
