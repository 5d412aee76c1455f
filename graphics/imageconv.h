// Pixel converters shared by the image decoders: palette entries, rows of
// colours or RGB triplets, and the samples of sampled images.
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
void RowConv_applyRows(const PalConv *converter, const uint8_t *src, size_t srcStride, uint32_t count,
                       uint32_t rows, uint8_t *dst, size_t dstStride);
void RowConv_applyRowsDirect(RowConvFn convert, const uint8_t *src, size_t srcStride, uint32_t count,
                             uint32_t rows, uint8_t *dst, size_t dstStride);
void RowConv_applyRowsAlpha(RowConvAlphaFn convert, const uint8_t *src, size_t srcStride, uint32_t count,
                            uint32_t rows, uint8_t *dst, size_t dstStride, uint8_t *mask, size_t maskStride);

// ------------------------------------------------- sampled image pixels

// What a sample converter reads per pixel and how it maps it.
enum SampleKind : uint32_t {
    Sample_stencil,          // 1 byte: masked or the paint colour
    Sample_rgb,              // 3 bytes as they are
    Sample_rgbScaled,        // 3 bytes x factor, low 8 bits
    Sample_rgbDecoded,       // 3 bytes through the decode entries
    Sample_rgbDecodedKeyed,  // as above, masked by the colour key on the raw samples
    Sample_cmyk,             // 4 bytes c, m, y, k
    Sample_cmykScaled,
    Sample_cmykDecoded,
    Sample_cmykDecodedKeyed,
    Sample_indexed,          // 1 byte palette index, masked when in the key range
    Sample_grey,             // 1 byte
    Sample_greyDecoded,
    Sample_greyScaled,
    Sample_greyDecodedKeyed,
};

// A decode entry: trunc(offset + sample x scale + 0.5), clamped to 0-255.
struct SampleDecode {
    float offset;
    float scale;
};

// A colour key range of one component (inclusive).
struct SampleKey {
    int32_t min;
    int32_t max;
};

struct SampleConv {
    SampleKind kind;
    uint32_t format;             // 6 (32-bit) or 4 (565)
    const SampleDecode *decode;  // one per component (null: none)
    int32_t factors[4];          // scaled kinds
    SampleKey key[4];            // keyed kinds and indexed (key[0])
    const uint8_t *palette;      // indexed: RGB triplets
    uint32_t paletteCount;
    uint32_t paint;              // stencil: the paint colour 0xAABBGGRR
};

enum : uint32_t {
    Sample_maskedPixel = 0xEBEF, // the pixel value of a masked pixel
};

// Converts n pixels of src into dst (uint32_t pixels for format 6,
// uint16_t for format 4) and, when mask is given, n mask bytes (255 opaque,
// 0 masked).
void SampleConv_row(const SampleConv *conv, const uint8_t *src, void *dst, uint8_t *mask, uint32_t n);
