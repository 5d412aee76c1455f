// Smooth image reduction with the cubic B-spline filter.
//
// Each output pixel of an axis is a weighted sum of the source pixels
// under the filter centred on it: the B-spline's support of two pixels
// widened by the reduction factor, so that every source pixel contributes
// and none is skipped. Weights are in 1/1024 and each pixel's weights add
// up to exactly 1024; taps that would fall off either end of the source
// are folded onto the edge pixel. Rows are filtered first into a
// temporary buffer with two extra bits, then the columns into the
// destination.
#pragma once

#include <cstdint>

struct EngineContext;
struct PixelBuf;

// The taps of one axis: output pixel i reads count[i] source pixels from
// first[i] with weights weights[offset[i] ..]; freed with CubicTaps_free.
struct CubicTaps {
    int32_t *first;
    int32_t *count;
    int32_t *offset;
    int16_t *weights;
};

// The four B-spline weights (1/1024, adding up to 1024) of the source
// pixels at -1, 0, 1 and 2 around a position whose fraction is t / 2^30
// (t below 2^30).
void Image_cubicWeights(uint32_t t, int32_t weights[4]);
// The taps of output pixels 0 .. destinationSize - 1 of sourceSize ->
// destinationSize (both at least 1). 0, or 1 when memory runs out.
[[nodiscard]] int Image_cubicTaps(int32_t sourceSize, int32_t destinationSize, CubicTaps *taps);
void CubicTaps_free(CubicTaps *taps);

// Resamples source into destination (its own size, the source's format):
// formats of 1 byte per sample (grey) or 4 bytes per pixel (each byte
// filtered as a channel). 0; 269 for other or mismatched formats; 270 for
// sizes below 1; 1 when memory runs out. Nothing is written on failure.
int Image_resampleCubic(const PixelBuf *source, PixelBuf *destination);
// The smooth reduction: 270 when the source is narrower or lower than 4
// pixels or the destination is larger than the source on either side (the
// caller then falls back to the ordinary scaler), else Image_resampleCubic.
int Image_reduceSmooth(const PixelBuf *source, PixelBuf *destination);

// Draws picture at width x height into target with its top-left corner at
// (x, y), clipped, by the best method quality allows: 2 or more tries the
// smooth reduction, 1 or more the ordinary scaler, and otherwise (or when
// those refuse) the plain drawing is used and its result returned. A
// picture already of that size is drawn plainly.
int Image_drawScaled(EngineContext *ctx, PixelBuf *target, const PixelBuf *picture, int32_t width,
                     int32_t height, int32_t x, int32_t y, int32_t quality);

// Halves a 5-6-5 picture in place: each 2 x 2 block becomes one pixel
// whose red, green and blue are the block's averages, rounded to the
// nearest. The width / 2 x height / 2 result is written from the start of
// the buffer with the same row pitch (in 16-bit units); an odd last row or
// column is dropped.
void Pixel_halveRgb565(uint16_t *pixels, int32_t pitch, int32_t width, int32_t height);
