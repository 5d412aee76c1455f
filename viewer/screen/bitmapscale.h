// Nearest-neighbour scaling of pixel buffers, and bitmaps over screens.
//
// A picture of a source size is scaled to a scaled size, and the window of
// the scaled picture that starts at a first row and column and has the
// destination's size is written into the destination. Source pixel j of a
// scaled row is the one nearest to j x (source width - 1) / (scaled width
// - 1), an exact half going to the lower one; rows follow the same rule.
// The walk uses an error term only (no division, no per-pixel
// multiplication), and a destination row that maps to the same source row
// as the row above is a copy of it. 16-bit pictures enlarged or shrunk in
// both directions go to the dithered 16-bit scalers instead, which take
// source pixel floor(j x source width / scaled width)
// (graphics/scale565.h).
#pragma once

#include <cstdint>

struct Bitmap;
struct PixelBuf;
struct Screen;

// Scales source into the window of the scaled picture (scaledWidth x
// scaledHeight) that starts at (firstColumn, firstRow) and has the
// destination's width and height. Both buffers must have the same format: 0 (8
// bits), 4 (16 bits) or 6 (32 bits). 0; Res_scaleFormatPair for any other pair,
// with nothing drawn. A non-positive destination or source size, or a scaled
// size below 1, draws nothing. A scaled size of 1 takes the first source pixel
// and row; a window that reaches past the scaled picture repeats the last
// source pixel and row.
[[nodiscard]] int Bitmap_scaleNearest(const PixelBuf *source, int32_t scaledWidth,
                                      int32_t scaledHeight, const PixelBuf *destination,
                                      int32_t firstRow, int32_t firstColumn);

// Writes count pixels (at least one) of the scaled row from firstColumn
// on: 8, 16 and 32 bits per pixel.
void Bitmap_scaleRow8(int32_t sourceWidth, int32_t scaledWidth, const void *sourceRow,
                      void *destinationRow, int32_t firstColumn, int32_t count);
void Bitmap_scaleRow16(int32_t sourceWidth, int32_t scaledWidth, const void *sourceRow,
                       void *destinationRow, int32_t firstColumn, int32_t count);
void Bitmap_scaleRow32(int32_t sourceWidth, int32_t scaledWidth, const void *sourceRow,
                       void *destinationRow, int32_t firstColumn, int32_t count);

// A bitmap over a screen's pixels: its size, pixel format, resolution as
// the scale word, its pixel pointer and its indirect flag, owned by the
// screen's engine. Null when the bitmap cannot be made (or for null).
Bitmap *Bitmap_createFromRecord(const Screen *screen);
