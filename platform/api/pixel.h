// Colour conversions of screen captures: RGB565 pixels to YCbCr.
//
// The coefficients are full-range BT.601 in 16.16 fixed point, one table
// of 256 entries per term; 5-bit and 6-bit components index it in the
// studio range 16..235.
#pragma once

#include <cstdint>

// Entry i of sub-table t of the coefficient table.
int32_t Pixel_yccEntry(int table, int index);

// Packed 4:2:2: per pair of source pixels two 16-bit words, (Y0 << 8) | Cb
// and (Y1 << 8) | Cr (bytes Cb, Y0, Cr, Y1 in memory). An odd last pixel
// is paired with itself. Pitches are in bytes; after each row the source
// moves on by (srcPitch / 2 - width) pixels and the destination by
// (dstPitch / 2 - width) words.
void Pixel_rgb565ToYcc422Packed(const uint16_t *src, uint16_t *dst, int32_t srcPitch, int32_t width,
                                int32_t height, int32_t dstPitch);

// One 32-bit word per pixel: Y in bits 16-23, Cb in bits 8-15, Cr in bits
// 0-7. After each row the source moves on by (srcPitch / 2 - width) pixels
// and the destination by (dstPitch / 4 - width) words.
void Pixel_rgb565ToYcc32(const uint16_t *src, uint32_t *dst, int32_t srcPitch, int32_t width,
                         int32_t height, int32_t dstPitch);
// Planar 4:2:2: a Y plane of W x H bytes, then Cb and Cr planes of
// W x H / 2 bytes each (W and H the width and height rounded up to even).
// Rows are walked in pairs as the packed converter does; an odd last pixel
// is paired with itself. Only the source's height rows are written, so an
// odd height leaves the planes' last row to the caller.
void Pixel_rgb565ToYcc422Planar(const uint16_t *src, uint8_t *dst, int32_t srcPitch, int32_t width,
                                int32_t height);
