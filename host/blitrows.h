// The pixel conversion of the screen blitter: 16-bit RGB 5-6-5 pixels into
// the frame buffer's 18-bit pixels of three bytes. Kept free of Qt so that
// the benchmark can run it on its own.
#pragma once

#include <cstdint>

// The row bytes of the engine's 16-bit images: two bytes a pixel, rounded
// up to a multiple of four.
inline int Blit_engineRowBytes(int width)
{
    return (2 * width + 3) & ~3;
}

// The 18-bit value B | G << 6 | R << 12 of one 5-6-5 pixel, its blue and
// red channels widened to 6 bits by repeating their top bit.
constexpr uint32_t Blit_pixel18(uint16_t p)
{
    uint32_t r = p >> 11, g = (p >> 5) & 63u, b = p & 31u;
    return ((b << 1) | (b >> 4)) | g << 6 | ((r << 1) | (r >> 4)) << 12;
}

// Converts a block of w x h pixels. Rows of the source are srcRowBytes
// apart, rows of the destination dstLineStep apart. Each pixel becomes
// three bytes, little-endian, with 0xFC set in the third (the frame
// buffer's written mark).
void Blit_rows565To18(const uint8_t *src, int srcRowBytes, uint8_t *dst, int dstLineStep, int w,
                      int h);
