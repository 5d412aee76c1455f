// Image resampling: pictures scaled in two separable passes, and pattern
// kernels that repeat or mirror a picture under an affine mapping.
//
// Scaling works on 8-bit (format 0) or 5-6-5 (format 4) pixels with one tap
// stream per axis, one byte per tap, weights in 32nds:
// - enlarge stream, one byte per output pixel: bits 0-5 the weight w of the
//   current source pixel (the next one gets 32 - w), bit 7 "step to the
//   next source pixel after this output pixel"; edges are replicated;
// - reduce stream, a group of taps per output pixel over consecutive source
//   pixels: bits 0-5 one weight (the weights of a group add up to 32),
//   bit 6 "the next group starts at the source pixel after this tap"
//   (without it the next group starts where this one did), bit 7 "last tap
//   of the group".
// Enlarging interpolates two neighbours with the cubic 1 - 3t^2 + 2t^3;
// reducing averages the source pixels within one output pixel of the
// output's centre with the same kernel, its rounding errors diffused along
// the group. The 16-bit passes end with the ordered dither of
// Gradient_ditherTable, indexed by the pixel's place in the whole scaled
// picture, so a picture scaled in tiles equals one scaled in one piece.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int {
    Resample_badFormat = 269, // the formats are not both 0 or both 4
    Resample_badSize = 270,   // a source side of 1 pixel or less, or mixed growth
};

// Writes the tile (tileX, tileY, tileWidth, tileHeight), rows counted from
// the top, of the source scaled to destinationWidth x destinationHeight
// into destination (the tile's top-left pixel; rows destinationStride bytes
// apart). Both sides grow or stay: enlarge; both shrink or stay: reduce.
// 0; 270 for a source side below 2 or one side growing while the other
// shrinks (also for a tile outside the scaled picture or sizes below 1);
// 269 unless both formats are 0 or both 4; 1 when memory runs out. Nothing
// is written on failure.
[[nodiscard]] int Image_resample(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                                 ptrdiff_t sourceStride, uint8_t *destination,
                                 int32_t destinationWidth, int32_t destinationHeight,
                                 ptrdiff_t destinationStride, int32_t tileWidth, int32_t tileHeight,
                                 int32_t tileX, int32_t tileY, uint32_t sourceFormat,
                                 uint32_t destinationFormat);

// One axis's enlarge stream for output pixels first .. first + count - 1
// of sourceSize -> destinationSize (tapsOut: count bytes). Returns the
// index of the first source pixel used; *sourceCount (may be null) gets
// the number of source pixels the stream reads (its next pixels included,
// clamped to the picture).
int32_t Resample_enlargeTaps(uint8_t *stream, int32_t sourceSize, int32_t destinationSize,
                             int32_t first, int32_t count, int32_t *sourceCount);
// The reduce stream of the same output pixels. *tapsOut gets its length
// in bytes; stream must hold Resample_reduceStreamBound bytes. Returns the
// first source pixel used; *sourceCount as above.
int32_t Resample_reduceTaps(uint8_t *stream, int32_t sourceSize, int32_t destinationSize,
                            int32_t first, int32_t count, int32_t *tapsOut, int32_t *sourceCount);
// The most bytes a reduce stream of count output pixels can take.
size_t Resample_reduceStreamBound(int32_t sourceSize, int32_t destinationSize, int32_t count);

// Pattern kernels for pixel sizes 1, 2 and 4 bytes: fill a packed
// destination of rows x columns pixels, from its last row up to its first,
// with source pixels at (u >> 16, v >> 16); u and v (16.16) move by du and
// dv per pixel and by duRow and dvRow per row. Repeat kernels wrap the
// coordinates into one period of the picture, mirror kernels into a double
// period read forwards, then backwards.
void Pattern_repeat8(const uint8_t *source, uint8_t *destination, int32_t rows, int32_t columns,
                     int32_t u, int32_t v, int32_t sourceWidth, int32_t sourceHeight, int32_t du,
                     int32_t dv, ptrdiff_t sourceStride, int32_t duRow, int32_t dvRow);
void Pattern_repeat16(const uint8_t *source, uint8_t *destination, int32_t rows, int32_t columns,
                      int32_t u, int32_t v, int32_t sourceWidth, int32_t sourceHeight, int32_t du,
                      int32_t dv, ptrdiff_t sourceStride, int32_t duRow, int32_t dvRow);
void Pattern_mirror8(const uint8_t *source, uint8_t *destination, int32_t rows, int32_t columns,
                     int32_t u, int32_t v, int32_t sourceWidth, int32_t sourceHeight, int32_t du,
                     int32_t dv, ptrdiff_t sourceStride, int32_t duRow, int32_t dvRow);

// The dither step of the 16-bit passes: W, 32 times the weighted mean of
// each channel in the spread layout (blue bits 0-9, red 11-20, green
// 21-31), plus the table word d, saturated and folded to a 5-6-5 pixel.
inline uint16_t Resample_dither565(uint32_t w, uint32_t d)
{
    w &= ~((1u << 10) | (1u << 21));
    uint32_t v = d + (w >> 1);
    if (v & (1u << 9))
        v |= 0x1F8u;
    if (v & (1u << 20))
        v |= 0xFC000u;
    if (v & (1u << 31))
        v |= 0x7E000000u;
    v = (v >> 4) & 0x07E0F81Fu;
    return uint16_t(v | (v >> 16));
}

// A 5-6-5 pixel spread into the layout above (p | p << 16 masked).
inline uint32_t Resample_spread565(uint32_t p)
{
    return (p | (p << 16)) & 0x07E0F81Fu;
}
