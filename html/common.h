// Small routines the rest of the engine calls: white-space collapsing of
// 16-bit text, the colour transform of a decoded picture through
// per-channel tables, and the smallest of an array of doubles.
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

// Copies the n units of source with every run of white space (codes below
// 33 and U+3000) written as one U+0020; no terminator. Returns the count
// written, or only counts it when destination is null (the count is below n
// exactly when some run is longer than one unit).
uint32_t Ustr_collapseSpaceRuns(char16_t *destination, const char16_t *source, uint32_t n);

// The 2^bits-entry table of one channel of a colour transform.
void ColourTransform_channelTable(int32_t multiplier, int32_t offset, uint32_t bits, uint8_t *table);
// Maps the source's width x height pixels into the destination through the
// transform: grey for a destination of format 0, 5-6-5 for format 4; any
// other format is left alone.
void PixelBuf_applyColourTransform(PixelBuf *destination, const PixelBuf *source, const ColourTransform *transform);
void PixelBuf_colourTransformGrey(PixelBuf *destination, const PixelBuf *source, const ColourTransform *transform);
void PixelBuf_colourTransform565(PixelBuf *destination, const PixelBuf *source, const ColourTransform *transform);

// The smallest of n (at least 1) doubles: each later element is taken when
// it compares less than or equal, so of equal values the last wins and a
// NaN never replaces nor is replaced (a NaN first stays the result).
double Double_arrayMin(const double *values, size_t n);
