// The draw item: the engine's single drawing command.
//
// A draw item paints a shape (a path, a cached glyph mask, a rectangle or
// a prepared coverage mask) with a paint (a solid colour, a pixel buffer,
// or pixels from a callback) under an opacity (a constant alpha, an 8-bit
// mask buffer, or a mask from a callback) into a bitmap. Every bitmap
// carries one (graphics/bitmap.h). Only the record and its creation are
// here so far; rendering comes with the scan converter.
#pragma once

#include <cstdint>

#include "graphics/rowops.h"

enum : uint32_t {
    // Shape kinds.
    DrawItem_kindPath = 0,
    DrawItem_kindGlyphMask = 1,
    DrawItem_kindRect = 2,
    DrawItem_kindCoverageMask = 3,
    // Paint and mask kinds.
    DrawItem_sourceSolid = 0,    // paint: {colour format, colour}; mask: {mask format, alpha}
    DrawItem_sourceBuffer = 1,   // {PixelBuf, x origin, y origin}
    DrawItem_sourceCallback = 2, // {fetch routine, release routine, user data}
};

struct DrawItem {
    uint32_t kind;             // the shape kind
    intptr_t shape[10];        // the shape kind's own words
    uint32_t paintKind;        // DrawItem_source*
    intptr_t paint[3];         // by paintKind (see above)
    intptr_t unused;           // a word rendering does not read
    uint32_t maskKind;         // DrawItem_source*
    intptr_t mask[3];          // by maskKind (see above); a constant alpha is the low byte of mask[1]
    RowOpSetupFn cachedRowOp;  // the row operation last found for this item, or null
    uint32_t cachedFormat;     // the destination format it was found for
};

// A new item: a rectangle painted with colour 0 of format 6 under a
// constant alpha of 0 (so nothing is drawn until the caller sets one), no
// cached row operation. 0 with *out the item (freed with
// DrawItem_destroy); 1 when memory runs out (*out null).
[[nodiscard]] int DrawItem_create(DrawItem **out);
// Frees an item (null allowed).
void DrawItem_destroy(DrawItem *item);
