// Block reducers of 5-6-5 pictures and the stencil row expanders.
#include "graphics/rasterrows.h"

#include <cstring>

namespace {

inline uint32_t load16(const uint8_t *p)
{
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}

inline void store16(uint8_t *p, uint32_t v)
{
    uint16_t w = uint16_t(v);
    memcpy(p, &w, 2);
}

// The average of a block of cols x rows pixels at p: each field summed in
// its own bit position, then rounded. Blocks of 2^k x 2^k divide by a
// shift, partial blocks by their pixel count.
uint32_t averageBlock(const uint8_t *p, ptrdiff_t stride, uint32_t cols, uint32_t rows, uint32_t k)
{
    uint32_t red = 0, green = 0, blue = 0;
    for (uint32_t y = 0; y < rows; y++, p += stride)
        for (uint32_t x = 0; x < cols; x++) {
            uint32_t v = load16(p + 2 * x);
            red += v & 0xF800;
            green += v & 0x07E0;
            blue += v & 0x001F;
        }
    uint32_t n = 1u << k, m = cols * rows;
    if (cols == n && rows == n) {
        uint32_t half = (n * n) / 2;
        return (((red + (half << 11)) >> (2 * k)) & 0xF800) |
               (((green + (half << 5)) >> (2 * k)) & 0x07E0) | ((blue + half) >> (2 * k));
    }
    uint32_t half = m / 2;
    return (((red + (half << 11)) / m) & 0xF800) | (((green + (half << 5)) / m) & 0x07E0) |
           (((blue + half) / m) & 0x001F);
}

} // namespace

void Rows565_reduceBox(uint32_t k, uint8_t *pixels, ptrdiff_t stride, uint32_t width,
                       uint32_t height)
{
    if (k < 1 || k > 3 || !pixels)
        return;
    const uint32_t n = 1u << k;
    for (uint32_t top = 0; top < height; top += n) {
        uint8_t *row = pixels + ptrdiff_t(top) * stride;
        uint32_t rows = height - top < n ? height - top : n;
        // Block i is written to pixel i of the row, which the blocks
        // before it have already read.
        for (uint32_t i = 0, left = 0; left < width; i++, left += n) {
            uint32_t cols = width - left < n ? width - left : n;
            store16(row + 2 * i, averageBlock(row + 2 * left, stride, cols, rows, k));
        }
    }
}

void Rows565_reduce4(uint8_t *pixels, ptrdiff_t stride, uint32_t width, uint32_t height)
{
    Rows565_reduceBox(2, pixels, stride, width, height);
}

void Rows565_reduce8(uint8_t *pixels, ptrdiff_t stride, uint32_t width, uint32_t height)
{
    Rows565_reduceBox(3, pixels, stride, width, height);
}

void StencilRow_toColour(const uint8_t *samples, uint32_t *colours, uint8_t *alphas, uint32_t count,
                         uint32_t, uint32_t, uint32_t colour)
{
    for (uint32_t i = 0; i < count; i++) {
        bool paint = samples[i] != 0;
        colours[i] = paint ? colour : 0x0000FFFFu;
        alphas[i] = paint ? 255 : 0;
    }
}

void StencilRow_toColourInverted(const uint8_t *samples, uint32_t *colours, uint8_t *alphas,
                                 uint32_t count, uint32_t, uint32_t, uint32_t colour)
{
    for (uint32_t i = 0; i < count; i++) {
        bool paint = samples[i] == 0;
        colours[i] = paint ? colour : 0x0000FFFFu;
        alphas[i] = paint ? 255 : 0;
    }
}
