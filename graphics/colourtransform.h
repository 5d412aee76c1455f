// The colour transform of a decoded picture through per-channel tables.
#pragma once

#include <cstddef>
#include <cstdint>

struct PixelBuf;

// Multipliers in 16.16 (0x10000 is 1) and offsets in levels of an 8-bit
// channel with 8 fraction bits (256 is one level), each for red, green,
// blue and grey in that order. Image drawing passes a picture's transform
// in the first three words and its mask's (alpha) in the grey word.
struct ColourTransform {
    int32_t multiply[4];
    int32_t offset[4];
};

// The 2^bits-entry table of one channel of a colour transform.
void ColourTransform_channelTable(int32_t multiplier, int32_t offset, uint32_t bits,
                                  uint8_t *table);
// Maps the source's width x height pixels into the destination through the
// transform: grey for a destination of format 0, 5-6-5 for format 4; any
// other format is left alone.
void PixelBuf_applyColourTransform(PixelBuf *destination, const PixelBuf *source,
                                   const ColourTransform *transform);
void PixelBuf_colourTransformGrey(PixelBuf *destination, const PixelBuf *source,
                                  const ColourTransform *transform);
void PixelBuf_colourTransform565(PixelBuf *destination, const PixelBuf *source,
                                 const ColourTransform *transform);
