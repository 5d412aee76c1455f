// Glyph masks: anti-aliased glyph coverage stored as run-coded rows.
//
// A glyph outline is rasterised once into a mask, which the font engine
// keeps in its glyph-mask cache and the renderer paints row by row. The
// rows are run-coded so that painting touches only the coverage bytes of
// edge pixels:
//  - The row table holds one 32-bit word per pixel row. A word with bit 31
//    set (GlyphMask_emptyRow) marks an empty row; otherwise it is the byte
//    offset of the row's first code from the start of the codes.
//  - Codes are 16-bit little-endian words at even offsets. Bits 0-12 give
//    a run length n, bits 13-14 the kind, and bit 15 marks the row's last
//    code. Kind 0: n pixels at full coverage (255). Kind 1 (0x2000): n
//    pixels left untouched (coverage 0). Kind 2 (0x4000): n pixels with
//    their own coverage, the n bytes following the code, then one pad byte
//    when n is odd. Kind 3 (0x6000): one pixel whose coverage is the
//    code's low byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/rowops.h"

enum : uint32_t {
    GlyphMask_emptyRow = 0x80000000u, // row table word of an empty row
    GlyphMask_lastCode = 0x8000,      // code bit: the row's last code
    GlyphMask_kindMask = 0x6000,      // code bits: the run's kind
    GlyphMask_kindFull = 0x0000,      // n pixels at coverage 255
    GlyphMask_kindSkip = 0x2000,      // n pixels at coverage 0
    GlyphMask_kindLiteral = 0x4000,   // n coverage bytes follow
    GlyphMask_kindPixel = 0x6000,     // one pixel, coverage in the low byte
    GlyphMask_lengthMask = 0x1FFF,    // code bits: the run length
};

struct Bitmap;
struct Rect;
struct SpanRecord;

struct GlyphMask {
    uint16_t width, height; // pixels
    int16_t x, y;           // the pixel box's x0 and y0 relative to the glyph origin
    uint32_t scale;         // scale word of the bitmap the mask was made for
    uint32_t *rows;         // row table: one word per pixel row
    uint32_t rowsSize;      // its size in bytes (height x 4)
    uint8_t *codes;         // run codes; null when every row is empty
    uint32_t codesSize;     // their size in bytes
};

struct FillRequest;

// Rasterises a fill request at the bitmap's scale into a new mask (the
// request is sampled with at least 3 sub-pixel bits; the bitmap's scratch
// buffer 0 is the work space). 0 with *out the mask (freed with
// GlyphMask_free); 1 out of memory; 266 when the shape covers no pixel; the
// device-path preparation's errors. *out is null until success.
[[nodiscard]] int GlyphMask_create(GlyphMask **out, const FillRequest *request, Bitmap *bitmap);
// Frees a mask that GlyphMask_create made (null allowed).
void GlyphMask_free(GlyphMask *mask);

// Copies a mask into one block of at least sizeof(GlyphMask) + rowsSize +
// codesSize bytes (8-byte aligned): the header, the row table right after
// it, then the codes; the copy's rows and codes point inside the block
// (codes null when the mask has none). The block belongs to the caller;
// the mask is only read. Cannot fail.
void GlyphMask_copyTo(void *block, const GlyphMask *mask);

// The shape of a cached glyph mask draw item (kind 1): the mask, a
// divisor u and the glyph origin in units such that (coordinate x bitmap
// scale) / u is pixels.
struct GlyphMaskShape {
    const GlyphMask *mask;
    int32_t divisor;
    int32_t x, y;
};

// The span words that placing a glyph mask fills.
struct GlyphMaskSpans {
    int32_t rowsSkipped;    // mask rows above the work rectangle
    int32_t columnsSkipped; // mask columns left of it
    int32_t zero;
    const GlyphMask *mask;
};

// The three routines of the glyph-mask shape kind: placement (0, or 267
// for a mask made at another scale), painting of one chunk, and the
// one-pixel test (0, or 268 for a mask that cannot be tested).
int GlyphMask_prepare(const GlyphMaskShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy,
                      SpanRecord *spans, Rect *rect);
int GlyphMask_emit(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                   ptrdiff_t destinationStride, const uint8_t *source, ptrdiff_t sourceStride,
                   const uint8_t *mask, ptrdiff_t maskStride, const uint8_t *coverageTable);
int GlyphMask_hit(SpanRecord *spans, int32_t x, int32_t y, int *out);
