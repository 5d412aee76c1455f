// Row operations: the per-row pixel routines that every fill, copy, shape
// and glyph of the engine ends in.
//
// A draw picks once, by the formats involved, a setup routine from the
// row-operation table; the setup fills an operation set whose five
// routines then blend a source (one constant colour, or a row of source
// pixels) into the destination pixels under a weight (a constant alpha,
// one mask byte per pixel, a coverage byte per pixel, or one coverage byte
// per colour channel), span by span. Pixel formats are those of
// graphics/pixelbuf.h.
//
// The mode key: bit 0 the mask is a buffer, bits 1-3 the mask format, bit 4
// the source is a buffer, bits 5-7 the source format, bits 8-10 the
// destination format. Eight keys have operations:
//   0x000 format 0 from one 8-bit value, constant alpha
//   0x001 format 0 from one 8-bit value, format-0 mask buffer
//   0x010 format 0 from a format-0 buffer, constant alpha
//   0x011 format 0 from a format-0 buffer, format-0 mask buffer
//   0x490 format 4 from a format-4 buffer, constant alpha
//   0x491 format 4 from a format-4 buffer, format-0 mask buffer
//   0x4C0 format 4 from one format-6 colour, constant alpha
//   0x4C1 format 4 from one format-6 colour, format-0 mask buffer
//
// Weights. A weight t (0-255) becomes a blend factor in 32 levels,
// w = (t + (t >> 7)) >> 3 (format-4 destinations, all operations but
// spanCoverageRGB), or in 256 levels, w = t + (t >> 7) (format-0
// destinations, and spanCoverageRGB). Two weights combine as
// t = (c x (a + (a >> 7))) >> 8, a being the alpha or the mask byte and c
// the coverage. One channel of destination value d moves toward source
// value s as ((d << 5) + w x (s - d)) >> 5, or with 8 in place of 5 in 256
// levels. 5-6-5 pixels are blended in one word, spread as
// (p | p << 16) & 0x07E0F81F, which gives the same result per channel. An
// alpha of 255 selects the opaque set, whose span stores the source
// unchanged (the colour converted to 5-6-5, or a plain copy).
//
// The operations check nothing: every span is at least one pixel long (a
// span of 0 does nothing) and callers keep spans, rows and counts inside
// their buffers.
#pragma once

#include <cstddef>
#include <cstdint>

struct RowOpSet;

// The mode key of a format triple (see above).
typedef uint32_t RowOpKey;

// n pixels at full coverage (span), or n pixels passed over without
// writing (skip); both move the destination, a source buffer and a mask
// buffer on by n pixels.
typedef void (*RowOpSpanFn)(RowOpSet *set, uint32_t n);
// n pixels with one coverage byte each (spanCoverage) or three, red, green
// and blue (spanCoverageRGB), read from *coverage. spanCoverage then moves
// *coverage on to the next even address after its n bytes, so that the
// coverage run of every span starts at an even offset; spanCoverageRGB
// moves it on by 3 x n bytes.
typedef void (*RowOpCoverageFn)(RowOpSet *set, uint32_t n, const uint8_t **coverage);
// One pixel with coverage c (values above 255 count as 255).
typedef void (*RowOpPixelFn)(RowOpSet *set, uint32_t c);

// Fills a set: reads a constant source (a byte for format 0, a format-6
// word otherwise) and a constant alpha byte once, or records the source
// and mask buffers' first pixels.
typedef void (*RowOpSetupFn)(RowOpSet *set, const void *source, const void *mask);

struct RowOpSet {
    // The five operations, in this order (spanCoverageRGB is null for
    // format-0 destinations).
    RowOpSpanFn span;
    RowOpSpanFn skip;
    RowOpCoverageFn spanCoverage;
    RowOpPixelFn pixel;
    RowOpCoverageFn spanCoverageRGB;

    // Where the operations stand; callers point them at each row.
    uint8_t *dst;        // the next destination pixel
    const uint8_t *src;  // the next source pixel (a source buffer)
    const uint8_t *mask; // the next mask byte (a mask buffer)

    // What the setup read.
    uint32_t dstBytes;  // bytes per destination pixel
    uint32_t srcBytes;  // bytes per source pixel of a buffer, 0 for a constant
    uint32_t maskBytes; // 1 for a mask buffer, 0 for a constant alpha
    uint32_t value;     // a constant source in the destination's format
    uint32_t spread;    // a 5-6-5 constant, spread
    uint32_t alphaWide; // the constant alpha in 256 levels (256 when opaque)
    uint32_t weight;    // the span weight of the constant alpha, in the
                        // destination's levels
};

// One entry of the row-operation table.
struct RowOpEntry {
    RowOpKey key;
    RowOpSetupFn setup;
};

enum : uint32_t {
    RowOp_tableSize = 8,
};

// The table, in key order.
extern const RowOpEntry RowOp_table[RowOp_tableSize];

// The setup routine of the format triple, or null when the table has none
// (the caller then reports 265). Formats above 7 have none.
RowOpSetupFn RowOp_find(uint32_t destinationFormat, uint32_t sourceFormat, uint32_t maskFormat,
                        int sourceIsBuffer, int maskIsBuffer);

// Runs the set's span over rows rows of width pixels from destination,
// moving down destinationStride bytes a row, with the same source and
// alpha (or mask) for every row: solid fills.
void RowOp_runRows(void *destination, RowOpSetupFn setup, const void *source, uint32_t width,
                   const void *alpha, uint32_t rows, ptrdiff_t destinationStride);

// The same with the source and mask moved on by their own strides each row
// (a stride of 0 keeps a constant, or repeats one row).
void RowOp_runRect(void *destination, ptrdiff_t destinationStride, uint32_t width, uint32_t rows,
                   const void *source, ptrdiff_t sourceStride, const void *mask,
                   ptrdiff_t maskStride, RowOpSetupFn setup);

// Plays rows rows of run-coded coverage (the row table and codes of
// graphics/glyphmask.h: rowOffsets holds one word per row, codes is the
// start of the code area) through the set: the first skip pixels of each
// coded row are passed over, the next width pixels are drawn at the
// destination. Each row's destination, source and mask start their stride
// after the previous row's (also after an empty row); drawing a row stops
// after its last code or as soon as width pixels are done.
void RowOp_runCodedRows(void *destination, ptrdiff_t destinationStride, const uint32_t *rowOffsets,
                        const uint8_t *codes, uint32_t skip, uint32_t width, uint32_t rows,
                        const void *source, ptrdiff_t sourceStride, const void *mask,
                        ptrdiff_t maskStride, RowOpSetupFn setup);
