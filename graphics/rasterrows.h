// Raster row routines: the block reducers that shrink decoded 5-6-5
// pictures while an image is decoded at a reduced size, and the stencil
// row expanders of the PDF image masks. (The span painter, the third group
// of per-row routines, has its own module: graphics/spanpainter.h.)
#pragma once

#include <cstddef>
#include <cstdint>

// Shrinks a 5-6-5 picture (format 4) in place by 2^k in both directions:
// rows are taken in block rows of 2^k, columns in blocks of 2^k; each
// block's red, green and blue fields are averaged separately with
// rounding (a partial block at the right or bottom edge over its own pixel
// count), and block i of a block row is written to pixel i of that block
// row's first source row (the caller then takes every 2^k-th row). k is 1
// to 3; other values do nothing.
void Rows565_reduceBox(uint32_t k, uint8_t *pixels, ptrdiff_t stride, uint32_t width,
                       uint32_t height);

// Levels 2 (4 x 4) and 3 (8 x 8) of the picture reducer table.
void Rows565_reduce4(uint8_t *pixels, ptrdiff_t stride, uint32_t width, uint32_t height);
void Rows565_reduce8(uint8_t *pixels, ptrdiff_t stride, uint32_t width, uint32_t height);

// One colour word and one alpha byte per stencil sample: a non-zero
// sample gives colour and 255, a zero one 0x0000FFFF and 0 (the two words
// after count are not read). The inverted form swaps the two cases.
void StencilRow_toColour(const uint8_t *samples, uint32_t *colours, uint8_t *alphas, uint32_t count,
                         uint32_t, uint32_t, uint32_t colour);
void StencilRow_toColourInverted(const uint8_t *samples, uint32_t *colours, uint8_t *alphas,
                                 uint32_t count, uint32_t, uint32_t, uint32_t colour);
