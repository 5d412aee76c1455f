// Pixel converters shared by the image decoders: palette entries and rows
// of colours or RGB triplets.
//
// Output formats are those of graphics/pixelbuf.h: 1 (444), 2 and 4 (565,
// sharing converters), 3 (555) and 6 (32-bit 0x00BBGGRR, the alpha going
// to a separate 8-bit mask). Colours come in as 0xAABBGGRR words. A
// converter is chosen once per image or frame and applied row by row
// without allocating.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;

// One colour to the format's pixel word (the pixel word of a palette entry).
typedef uint32_t (*PalColourFn)(uint32_t colour);
// n (R, G, B) byte triplets to n pixels.
typedef void (*TripletRowFn)(const uint8_t *rgb, void *dst, uint32_t n);
// n colours to n pixels.
typedef void (*RowConvFn)(const uint32_t *colours, void *dst, uint32_t n);
// n colours to n pixels and n alpha bytes (each colour's top byte).
typedef void (*RowConvAlphaFn)(const uint32_t *colours, void *dst, uint8_t *alpha, uint32_t n);

struct PalConv {
    uint32_t format;
    PalColourFn toPixel;
    TripletRowFn triplets;
};

// The palette converter of format (1, 2, 3, 4 or 6), or null.
const PalConv *PalConv_forFormat(EngineContext *app, uint32_t format);
// The colour row converter of format (1, 2, 3, 4 or 6), or null.
RowConvFn RowConv_forFormat(EngineContext *app, uint32_t format);
// The colour-and-alpha row converter of format (1, 2, 3, 4 or 6) with an
// 8-bit mask (maskFormat 0), or null.
RowConvAlphaFn RowConvAlpha_forFormat(EngineContext *app, uint32_t format, uint32_t maskFormat);

// Applies a converter to rows rows of count pixels; strides in bytes.
// RowConv_applyRows converts triplet rows with the palette converter's
// triplet function; RowConv_applyRowsDirect converts colour rows;
// RowConv_applyRowsAlpha also writes a mask row per row.
void RowConv_applyRows(const PalConv *converter, const uint8_t *src, size_t srcStride,
                       uint32_t count, uint32_t rows, uint8_t *dst, size_t dstStride);
void RowConv_applyRowsDirect(RowConvFn convert, const uint8_t *src, size_t srcStride,
                             uint32_t count, uint32_t rows, uint8_t *dst, size_t dstStride);
void RowConv_applyRowsAlpha(RowConvAlphaFn convert, const uint8_t *src, size_t srcStride,
                            uint32_t count, uint32_t rows, uint8_t *dst, size_t dstStride,
                            uint8_t *mask, size_t maskStride);

// A decode entry: trunc(offset + sample x scale + 0.5), clamped to 0-255.
struct SampleDecode {
    float offset;
    float scale;
};
