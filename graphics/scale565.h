// Dithered scaling of 16-bit 5-6-5 pictures, for thumbnails and screen
// bitmaps.
//
// A source picture of srcW x srcH pixels (rows srcStride bytes apart) is
// scaled to dstW x dstH, and the window of width x height pixels of the
// scaled picture that starts at column startX, row startY is written to
// dst (rows dstStride bytes apart). Scaled column j takes source column
// floor(j x srcW / dstW), found by an error term that starts at
// 2 x (dstW - 1) and moves by 2 x srcW per column (the down form steps by
// whole pixels srcW / dstW plus the remainder); rows likewise. A window
// reaching past the scaled picture repeats the last source column or row.
// Each chosen pixel is widened to the spread layout (red, green and blue
// apart under the mask 0x07E0F81F), raised by the ordered-dither word of
// its scaled position (column and row mod 32), saturated per channel and
// packed back. Nothing is drawn when width or height is not positive, or
// when a size or pointer is missing.
#pragma once

#include <cstdint>

// The ordered-dither table of the two scalers: 32 rows of 32 words, read at
// row (y & 31), column (x & 31), each a dither offset already spread into
// the 16-bit colour layout. It is the table of the 16-bit gradient and
// resampling passes (Gradient_ditherTable): every channel gains less than
// one unit, so a copied pixel keeps its value and only a channel that would
// overflow saturates.
const uint32_t *Scaler_packedTable();

// The enlarging and the shrinking form (the caller picks one by its own
// rule; each works for any pair of sizes).
void Pixel565_scaleDitherUp(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst,
                            int32_t dstW, int32_t dstH, int32_t startX, int32_t startY,
                            uint32_t srcStride, int32_t width, int32_t height, uint32_t dstStride);
void Pixel565_scaleDitherDown(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst,
                              int32_t dstW, int32_t dstH, int32_t startX, int32_t startY,
                              uint32_t srcStride, int32_t width, int32_t height,
                              uint32_t dstStride);
